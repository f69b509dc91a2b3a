// Shared pieces of the dinfo tool: how a file is named on the command line,
// status codes by name and meaning, hex text, and the error type the
// subcommands throw for a clear message and exit code.
#ifndef DINFO_TOOLS_CLI_CLI_COMMON_H
#define DINFO_TOOLS_CLI_CLI_COMMON_H

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fault.h"
#include "dinfo/dinfo.h"

namespace dinfo::cli {

class StandardInputCopy;

// The codes of a lookup's steps, as the public header names them.
#define DINFO_CLI_STEP_ENUMERATOR(name, code, cause) name = code,
enum LookupStepCode : std::int32_t { DI_LOOKUP_STEP_CODES(DINFO_CLI_STEP_ENUMERATOR) };
#undef DINFO_CLI_STEP_ENUMERATOR

// Exit codes of the tool, the same for every subcommand.
constexpr int ExitOk = 0;
constexpr int ExitQueryFailed = 1;    // the library answered with a failure
constexpr int ExitUsage = 2;          // bad arguments
constexpr int ExitBadInput = 3;       // a file that could not be read, parsed, built or written
constexpr int ExitProblemsFound = 4;  // inspect --check found problems in the file
constexpr int ExitFilesDiffer = 1;    // diff: the files differ, as diff(1) says

// The table above as the help and the README show it.
extern const char *const ExitCodeTable;

// A failure the tool reports on stderr before exiting with `exitCode`.
struct CliError : std::runtime_error {
  CliError(int code, const std::string &message) : std::runtime_error(message), exitCode(code) {}
  int exitCode;
};

// A file named as a path, or as a folder and a name the way the exports
// take them.
struct FileArgument {
  std::string path;    // a path given directly
  std::string folder;  // with --folder
  std::string name;    // with --name
  // The exports' two arguments: the name, and the folder or none.
  const char *FileName() const;
  const DIWideChar *Folder() const;
  std::string Describe() const;
  // The path as the library composes it (folder, separator, name).
  std::string ResolvedPath() const;
  void Check() const;  // throws CliError(ExitUsage) when neither or both forms are given
  // Checks, then converts the folder, and for a query also the name, to
  // what the exports take. A path "-" is standard input, copied to a file
  // that `path` names from then on.
  void Prepare(bool forQuery);

  std::u16string folderWide;
  std::string exportName;  // in the ANSI code page on Windows
  std::shared_ptr<StandardInputCopy> standardInput;
};

std::u16string ToUtf16(const std::string &text);

// The tool works in UTF-8. On Windows its arguments come from the wide
// command line and its paths go to the system as UTF-16; elsewhere both
// pass unchanged.
std::vector<std::string> Utf8Arguments(int argc, char **argv);
std::filesystem::path NativePath(const std::string &path);
// A file name as the exports take it: in the ANSI code page on Windows
// (throws CliError when that page cannot spell it), UTF-8 elsewhere.
std::string ToExportName(const std::string &utf8);

// "ErrOpenFile (-2006): the information file did not open", or a plain
// description for codes the library does not name.
std::string DescribeStatus(std::int32_t code);
const char *StatusName(std::int32_t code);  // null when unnamed

// What stopped a step of the library, in words: the step code's name and
// cause for a lookup's faults, a plain description for the others.
std::string DescribeFault(Fault fault);

// Whether standard error is a terminal (where a progress line may be drawn).
bool StderrIsTerminal();

std::string ToHex(const std::uint8_t *bytes, std::size_t length);
std::string ToHex(const std::vector<std::uint8_t> &bytes);
// Whitespace between byte pairs is allowed; throws CliError on bad text.
std::vector<std::uint8_t> FromHex(const std::string &text, const std::string &where);
std::string HexWord(std::uint32_t value);  // "0x1234abcd"

// "1 row", "2 rows", "2 entries".
std::string Plural(std::size_t count, const std::string &word);

// Files as the tool reads them: regular files only (a folder, a FIFO or a
// device is refused before anything waits on it), at most `MaxInputSize`
// bytes. Every refusal names the file and the system's reason. "-" reads
// standard input and writes standard output.
constexpr std::uint64_t MaxInputSize = 0x7FFFFFFF;  // what 32-bit positions reach
void CheckInputFile(const std::string &path);
std::vector<std::uint8_t> ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::vector<std::uint8_t> &bytes);

// Refuses (ExitUsage) an output that would replace one of the command's
// inputs: the same path, or another name of the same file.
void RefuseToOverwriteInputs(const std::string &output, const std::string &option,
                             const std::vector<std::string> &inputs);

// A 256-byte text field as printable text when it is clean UTF-8 ended by
// zero bytes; nullopt otherwise.
std::optional<std::string> CleanText(const std::uint8_t *bytes, std::size_t length);

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_CLI_COMMON_H
