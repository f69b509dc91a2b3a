// Whole information files as JSON descriptions: `build` turns one into the
// file's bytes through the writer. `inspect` gives the same description
// back from a file (formats/file_structure.h).
#ifndef DINFO_TOOLS_CLI_FORMATS_INFO_FILE_JSON_H
#define DINFO_TOOLS_CLI_FORMATS_INFO_FILE_JSON_H

#include "json_util.h"
#include "writer/writer.h"

namespace dinfo::cli {

constexpr int DescriptionVersion = 1;

// Throws CliError naming the place of a fault in the description.
writer::Bytes BuildInformationFile(const Json &description);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FORMATS_INFO_FILE_JSON_H
