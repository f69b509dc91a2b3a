// A whole information file read the way the library reads it, given back
// as the description `build` takes (formats/info_file_json.h), with what
// was found on the way (directories, chains, problems) beside it.
#ifndef DINFO_TOOLS_CLI_FORMATS_FILE_STRUCTURE_H
#define DINFO_TOOLS_CLI_FORMATS_FILE_STRUCTURE_H

#include <string>

#include "formats/array_view.h"
#include "json_util.h"

namespace dinfo::cli {

// Never throws for a damaged file: every fault is reported in "problems"
// (and beside the part it concerns) and the rest is still described.
// Throws CliError only when the file cannot be read at all. Without
// `rebuild` the description is not built again to compare it with the
// file (nor each table object encoded again): what check needs, faster.
// Table arrays are read through `views`.
Json InspectInformationFile(const std::string &path, bool rebuild = true, const ArrayViews &views = ArrayViews());

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FORMATS_FILE_STRUCTURE_H
