#include "table_json.h"

namespace dinfo::cli {

// Table objects are written once the writer can lay them out.
writer::Bytes EncodeTableRecord(const Json &, const std::string &where) {
  BadDescription(where, "table objects cannot be built yet");
}

}  // namespace dinfo::cli
