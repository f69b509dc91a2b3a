// Whole information files as JSON. `build` turns a description into the
// file's bytes through the writer; `inspect` reads a file the way the
// library does and gives back the same description, with what it found on
// the way (directories, chains, problems) beside it.
#ifndef DINFO_TOOLS_CLI_INFO_FILE_JSON_H
#define DINFO_TOOLS_CLI_INFO_FILE_JSON_H

#include <string>

#include "json_util.h"
#include "writer/writer.h"

namespace dinfo::cli {

constexpr int DescriptionVersion = 1;

// Throws CliError naming the place of a fault in the description.
writer::Bytes BuildInformationFile(const Json &description);

// Never throws for a damaged file: every fault is reported in "problems"
// (and beside the part it concerns) and the rest is still described.
// Throws CliError only when the file cannot be read at all.
Json InspectInformationFile(const std::string &path);

// The inspection as indented text; long arrays summarised unless `all`.
std::string RenderInspection(const Json &inspection, bool all);
// "FILE: no problems found", or the count and one line per problem.
std::string RenderProblems(const Json &inspection);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_INFO_FILE_JSON_H
