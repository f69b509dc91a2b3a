// `dinfo build DESCRIPTION -o FILE`: an information file written from its
// JSON description (formats/info_file_json.h).
#ifndef DINFO_TOOLS_CLI_COMMANDS_BUILD_H
#define DINFO_TOOLS_CLI_COMMANDS_BUILD_H

#include <string>

namespace dinfo::cli {

struct BuildOptions {
  std::string description;  // the JSON description's path
  std::string output;       // the information file to write
  bool json = false;
  bool force = false;  // write even what check calls an error
};

int RunBuild(const BuildOptions &options);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_COMMANDS_BUILD_H
