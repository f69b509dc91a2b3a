#include "json_util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dinfo::cli {

namespace {
bool compactJson = false;
}  // namespace

void SetCompactJson(bool compact) { compactJson = compact; }

std::string ToText(const Json &value) {
  return value.dump(compactJson ? -1 : 2, ' ', false, Json::error_handler_t::replace);
}

void BadDescription(const std::string &where, const std::string &what) {
  throw CliError(ExitBadInput, where + ": " + what);
}

namespace {

// A value as the message quotes it, cut short when long.
std::string Excerpt(const Json &value) {
  std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

}  // namespace

std::string JsonErrorText(const std::exception &error) {
  // The library prefixes its messages with "[json.exception.NAME.ID] ".
  const std::string text = error.what();
  const std::size_t end = text.rfind("] ", 64);
  return text.rfind("[json.exception.", 0) == 0 && end != std::string::npos ? text.substr(end + 2) : text;
}

std::int64_t ToInteger(const Json &value, const std::string &where, std::int64_t low,
                       std::int64_t high) {
  std::int64_t number = 0;
  if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
    BadDescription(where, value.dump() + " is outside " + std::to_string(low) + " to " + std::to_string(high));
  }
  if (value.is_number_float()) {
    // Integers beyond 64 bits are read as floating point; name them as given.
    const double real = value.get<double>();
    if (std::floor(real) == real && std::abs(real) >= 0x1p63) {
      BadDescription(where, value.dump() + " is outside " + std::to_string(low) + " to " + std::to_string(high));
    }
    BadDescription(where, "expected an integer, got " + value.dump());
  }
  if (value.is_number_integer()) {
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
    BadDescription(where, "expected an integer, got " + std::string(value.type_name()) + " " + Excerpt(value));
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
