// Checked reads of the JSON descriptions: every failure names the place in
// the document ("records[3].keyed.rows[0].keys[1]") and what was expected.
#ifndef DINFO_TOOLS_CLI_JSON_UTIL_H
#define DINFO_TOOLS_CLI_JSON_UTIL_H

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_common.h"

namespace dinfo::cli {

using Json = nlohmann::ordered_json;

// Indented JSON, or one line after SetCompactJson(true) (--compact); bytes
// that are not UTF-8 (a file name, say) are replaced rather than refused.
std::string ToText(const Json &value);
void SetCompactJson(bool compact);

// A JSON library error's message without its "[json.exception...]" prefix.
std::string JsonErrorText(const std::exception &error);

[[noreturn]] void BadDescription(const std::string &where, const std::string &what);

// An integer in [low, high]; hex strings ("0x1f") are accepted too.
std::int64_t ToInteger(const Json &value, const std::string &where, std::int64_t low,
                       std::int64_t high);
std::int64_t IntegerField(const Json &object, const char *key, const std::string &where,
                          std::int64_t low, std::int64_t high, std::int64_t fallback);
std::int64_t RequiredIntegerField(const Json &object, const char *key, const std::string &where,
                                  std::int64_t low, std::int64_t high);
bool BoolField(const Json &object, const char *key, const std::string &where, bool fallback);
const Json &ArrayField(const Json &object, const char *key, const std::string &where);
// Refuses keys other than the listed ones, so that typos do not pass silently.
void OnlyKeys(const Json &object, const std::string &where, std::initializer_list<const char *> keys);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_JSON_UTIL_H
