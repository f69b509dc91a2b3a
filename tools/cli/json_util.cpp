#include "json_util.h"

#include <algorithm>
#include <cstdlib>

namespace dinfo::cli {

std::string ToText(const Json &value) { return value.dump(2, ' ', false, Json::error_handler_t::replace); }

void BadDescription(const std::string &where, const std::string &what) {
  throw CliError(ExitBadInput, where + ": " + what);
}

std::int64_t ToInteger(const Json &value, const std::string &where, std::int64_t low,
                       std::int64_t high) {
  std::int64_t number = 0;
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
      BadDescription(where, "number out of range");
    }
    number = value.get<std::int64_t>();
  } else if (value.is_string()) {
    const std::string text = value.get<std::string>();
    char *end = nullptr;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.size() < 3 || digits[0] != '0' || (digits[1] != 'x' && digits[1] != 'X')) {
      BadDescription(where, "expected an integer or a hex string like \"0x1f\", got \"" + text + "\"");
    }
    const unsigned long long magnitude = std::strtoull(digits.c_str() + 2, &end, 16);
    if (*end != '\0' || magnitude > 0xFFFFFFFFFFull) BadDescription(where, "bad hex number \"" + text + "\"");
    number = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  } else {
    BadDescription(where, "expected an integer, got " + std::string(value.type_name()));
  }
  if (number < low || number > high) {
    BadDescription(where, std::to_string(number) + " is outside " + std::to_string(low) + " to " +
                              std::to_string(high));
  }
  return number;
}

std::int64_t IntegerField(const Json &object, const char *key, const std::string &where,
                          std::int64_t low, std::int64_t high, std::int64_t fallback) {
  if (!object.contains(key)) return fallback;
  return ToInteger(object.at(key), where + "." + key, low, high);
}

std::int64_t RequiredIntegerField(const Json &object, const char *key, const std::string &where,
                                  std::int64_t low, std::int64_t high) {
  if (!object.contains(key)) BadDescription(where, std::string("\"") + key + "\" is missing");
  return ToInteger(object.at(key), where + "." + key, low, high);
}

bool BoolField(const Json &object, const char *key, const std::string &where, bool fallback) {
  if (!object.contains(key)) return fallback;
  if (!object.at(key).is_boolean()) BadDescription(where + "." + key, "expected true or false");
  return object.at(key).get<bool>();
}

const Json &ArrayField(const Json &object, const char *key, const std::string &where) {
  static const Json empty = Json::array();
  if (!object.contains(key)) return empty;
  if (!object.at(key).is_array()) BadDescription(where + "." + key, "expected an array");
  return object.at(key);
}

void OnlyKeys(const Json &object, const std::string &where, std::initializer_list<const char *> keys) {
  if (!object.is_object()) BadDescription(where, "expected an object");
  for (const auto &item : object.items()) {
    const bool known = std::any_of(keys.begin(), keys.end(),
                                   [&](const char *key) { return item.key() == key; });
    if (!known) BadDescription(where, "unknown field \"" + item.key() + "\"");
  }
}

}  // namespace dinfo::cli
