// `dinfo inspect FILE`: the file's structure as the library reads it;
// `inspect --check FILE` is `check FILE`.
#ifndef DINFO_TOOLS_CLI_COMMANDS_STRUCTURE_H
#define DINFO_TOOLS_CLI_COMMANDS_STRUCTURE_H

#include <string>
#include <vector>

#include "cli_common.h"

namespace dinfo::cli {

struct InspectOptions {
  FileArgument file;
  bool json = false;
  bool all = false;    // every value of long arrays
  bool check = false;  // check the file instead
  std::vector<std::string> views;  // --as: how table arrays are read
};

int RunInspect(const InspectOptions &options);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_STRUCTURE_H
