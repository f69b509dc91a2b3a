// Keyed blocks as JSON: a stored (scrambled) record decoded into the
// description that `build` accepts, and a description encoded back into
// the stored bytes through the writer.
//
//   {"kind": "chain" | "single" | "first-match" | "all-matches" | <int16>,
//    "valueType": "int8" | "int16" | "int32" | "text" | "named-entry" | <int16>,
//    "valuesPerRow": 3, "disabled": 0, "reserved": 0, "keyIndex": [1, 7],
//    "rows": [{"keys": ["*", 3], "values": [10, 20, 30]}, ...],
//    "scrambleKey": "0x1234abcd"}
//
// A single block has rows without keys (its payload is their values one
// after the other), or "payload" (hex) with "rowCount" when its payload is
// not whole rows.
#ifndef DINFO_TOOLS_CLI_FORMATS_KEYED_JSON_H
#define DINFO_TOOLS_CLI_FORMATS_KEYED_JSON_H

#include <string>
#include <vector>

#include "json_util.h"
#include "writer/writer.h"

namespace dinfo::cli {

constexpr std::uint32_t DefaultScrambleKey = 0x1234ABCDu;

struct KeyedDecoding {
  bool parsed = false;  // the header could be read (long enough, unscrambled)
  bool sound = false;   // the header agrees with the block: rows were decoded
  bool exact = false;   // encoding `block` again gives the stored bytes
  Json block;           // the description (as far as it could be read)
  std::vector<std::string> problems;  // each failed check, as the library would meet it
};

KeyedDecoding DecodeKeyedRecord(const writer::Bytes &stored);

// The stored (scrambled) bytes of a description; throws CliError naming
// the place of a fault.
writer::Bytes EncodeKeyedRecord(const Json &block, const std::string &where);

std::string KindName(std::int16_t kind);
std::string ValueTypeName(std::int16_t valueType);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FORMATS_KEYED_JSON_H
