// "-" for a file: standard input where the tool reads one, standard output
// where it writes one. The library opens files by name, so an information
// file given as "-" is first copied to a file of its own in the temporary
// folder, which is removed when the command ends.
#ifndef DINFO_TOOLS_CLI_STANDARD_STREAMS_H
#define DINFO_TOOLS_CLI_STANDARD_STREAMS_H

#include <cstdint>
#include <string>
#include <vector>

namespace dinfo::cli {

constexpr const char *StandardStream = "-";

inline bool IsStandardStream(const std::string &path) { return path == StandardStream; }

// "standard input" for "-", else the path.
std::string InputName(const std::string &path);

// At most MaxInputSize bytes; throws CliError(ExitBadInput) beyond.
std::vector<std::uint8_t> ReadStandardInput();
void WriteStandardOutput(const std::vector<std::uint8_t> &bytes);

// Standard input in a new file that only this command uses.
class StandardInputCopy {
 public:
  StandardInputCopy();  // throws CliError(ExitBadInput)
  ~StandardInputCopy();
  StandardInputCopy(const StandardInputCopy &) = delete;
  StandardInputCopy &operator=(const StandardInputCopy &) = delete;

  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_STANDARD_STREAMS_H
