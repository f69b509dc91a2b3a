// Table objects as JSON: a stored table object (as its record holds it)
// decoded into the description `build` accepts and into a view of its
// entries, and a description encoded back through the writer.
#ifndef DINFO_TOOLS_CLI_FORMATS_TABLE_JSON_H
#define DINFO_TOOLS_CLI_FORMATS_TABLE_JSON_H

#include <string>
#include <vector>

#include "formats/array_view.h"
#include "json_util.h"
#include "writer/writer.h"

namespace dinfo::cli {

// The library prepares tables nested to any depth the record holds. The
// tool takes them apart and builds them recursively, so it follows them
// this deep and reports deeper nesting as beyond it.
constexpr int MaxToolNesting = 1024;

struct TableDecoding {
  bool decoded = false;  // the object and its nested tables were taken apart
  bool exact = false;    // encoding `table` again gives the stored bytes
  Json table;            // the description, as far as it could be read
  Json view;             // header, codings, and every entry with its location
  std::vector<std::string> problems;
};

// Whether the first word is a table object's magic, in either byte order.
bool LooksLikeTableObject(const writer::Bytes &stored);

// Without `compareEncoding`, `exact` is left false: a caller that only
// reads the object spares encoding it again. Arrays are read through
// `views` (signed by default).
TableDecoding DecodeTableRecord(const writer::Bytes &stored, bool compareEncoding = true,
                                const ArrayViews &views = ArrayViews());

writer::Bytes EncodeTableRecord(const Json &table, const std::string &where);

// A prepared table object (as DIGetTable hands it over) as a view: header,
// and each entry with its kind, location and values.
Json ViewPreparedTable(const std::uint8_t *object, std::size_t length, const ArrayViews &views = ArrayViews());

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FORMATS_TABLE_JSON_H
