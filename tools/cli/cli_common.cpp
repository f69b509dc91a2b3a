#include "cli_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "standard_streams.h"

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <io.h>
#  include <windows.h>
#  include <shellapi.h>
#endif

namespace dinfo::cli {

const char *const ExitCodeTable =
    "Exit codes (every command):\n"
    "  0  success\n"
    "  1  the library refused the query (its status is printed by name), or diff found differences\n"
    "  2  bad arguments\n"
    "  3  an input that could not be read, parsed or built, or an output that could not be written\n"
    "  4  check (or inspect --check) found an error in a file, or build refused to write one\n";

std::u16string ToUtf16(const std::string &text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t point = lead;
    std::size_t extra = 0;
    if (lead >= 0xF0) {
      point = lead & 0x07u, extra = 3;
    } else if (lead >= 0xE0) {
      point = lead & 0x0Fu, extra = 2;
    } else if (lead >= 0xC0) {
      point = lead & 0x1Fu, extra = 1;
    }
    for (std::size_t k = 1; k <= extra && i + k < text.size(); ++k) {
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    i += extra + 1;
    if (point >= 0x10000) {
      point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
  }
  return out;
}

const char *FileArgument::FileName() const { return exportName.c_str(); }

const DIWideChar *FileArgument::Folder() const {
  static_assert(sizeof(DIWideChar) == sizeof(char16_t));
  return path.empty() && !folder.empty() ? reinterpret_cast<const DIWideChar *>(folderWide.c_str()) : nullptr;
}

std::string FileArgument::Describe() const {
  if (standardInput) return "standard input";
  if (!path.empty()) return path;
  return folder.empty() ? name : "'" + name + "' in '" + folder + "'";
}

std::string FileArgument::ResolvedPath() const {
  if (!path.empty()) return path;
  if (folder.empty()) return name;
  return folder.back() == '/' || folder.back() == '\\' ? folder + name : folder + "/" + name;
}

void FileArgument::Check() const {
  if (!path.empty() && (!name.empty() || !folder.empty())) {
    throw CliError(ExitUsage, "give the file either as FILE or as --folder DIR --name NAME, not both");
  }
  if (path.empty() && name.empty()) {
    throw CliError(ExitUsage, "no information file: give FILE, or --name NAME (with --folder DIR)");
  }
}

#if defined(_WIN32)

namespace {

std::string ToUtf8(const wchar_t *text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? std::size_t(bytes) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

// The exports take the name in the ANSI code page, as a Windows caller
// holds it; a name that page cannot spell would open another file or none.
std::string ToExportName(const std::string &text) {
  const std::u16string wide = ToUtf16(text);
  const auto *units = reinterpret_cast<const wchar_t *>(wide.c_str());
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, -1, nullptr, 0, nullptr, &lost);
  std::string out(bytes > 0 ? std::size_t(bytes) : 1, '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, -1, out.data(), bytes, nullptr, &lost);
  if (lost) {
    throw CliError(ExitUsage, "'" + text + "' cannot be written in the ANSI code page the exports take file names in; "
                              "give its folder with --folder and its name with --name");
  }
  out.resize(out.size() - 1);
  return out;
}

std::vector<std::string> Utf8Arguments(int argc, char **argv) {
  int count = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

#else

std::string ToExportName(const std::string &text) { return text; }

std::vector<std::string> Utf8Arguments(int argc, char **argv) { return std::vector<std::string>(argv, argv + argc); }

#endif

void FileArgument::Prepare(bool forQuery) {
  Check();
  if (IsStandardStream(path) && !standardInput) {
    standardInput = std::make_shared<StandardInputCopy>();
    path = standardInput->path();
  }
  folderWide = ToUtf16(folder);
  if (forQuery) exportName = ToExportName(path.empty() ? name : path);
}

std::filesystem::path NativePath(const std::string &path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The names and causes come from the public header, which names the codes
// of lookup steps too.
const char *StatusName(std::int32_t code) { return di_status_name(code); }

std::string DescribeStatus(std::int32_t code) {
  if (const char *name = di_status_name(code)) {
    return std::string(name) + " (" + std::to_string(code) + "): " + di_status_cause(code);
  }
  return "status " + std::to_string(code) + ": not a code the library names";
}

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

std::string DescribeFault(Fault fault) {
  switch (fault) {
    case Fault::None: return "no fault";
    case Fault::RecordUnreadable: return DescribeStatus(ErrRecordUnreadable);
    case Fault::ChainSelection: return DescribeStatus(ErrChainSelection);
    case Fault::RecordDamaged: return DescribeStatus(ErrRecordDamaged);
    case Fault::NoMemory: return "memory could not be had";
    case Fault::ListFailed: return "a value list's lookup or value type failed";
    case Fault::BadArgument: return "a value the step does not accept";
    case Fault::BadData: return "a table object or its content is not what the format allows";
    case Fault::ScrambleRefused: return "the body of a table object could not be unscrambled";
    case Fault::TooMuchWork: return "a table object would take more work or memory than the library allows";
    case Fault::StreamDamaged: return "a compressed stream is damaged";
    case Fault::OutputTooLarge: return "an expansion would pass its size limit";
    case Fault::ReadFailed: return "a read of the file failed or fell short";
    case Fault::BadEntryCount: return "a directory's entry count is below 1 or too large";
    case Fault::BadRecordSize: return "a record's size is 0 or negative";
    case Fault::RecordAbsent: return "the section holds no such record";
  }
  return "fault " + std::to_string(static_cast<std::int32_t>(fault));
}

std::string ToHex(const std::uint8_t *bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 15]);
  }
  return out;
}

std::string ToHex(const std::vector<std::uint8_t> &bytes) { return ToHex(bytes.data(), bytes.size()); }

std::vector<std::uint8_t> FromHex(const std::string &text, const std::string &where) {
  std::vector<std::uint8_t> out;
  int pending = -1;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c == ' ' || c == '\n' || c == '\t') {
      if (pending >= 0) throw CliError(ExitBadInput, where + ": hex digits must come in pairs");
      continue;
    } else {
      throw CliError(ExitBadInput, where + ": '" + std::string(1, c) + "' is not a hex digit");
    }
    if (pending < 0) {
      pending = digit;
    } else {
      out.push_back(static_cast<std::uint8_t>(pending * 16 + digit));
      pending = -1;
    }
  }
  if (pending >= 0) throw CliError(ExitBadInput, where + ": odd number of hex digits");
  return out;
}

std::string HexWord(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string Plural(std::size_t count, const std::string &word) {
  if (count == 1) return "1 " + word;
  // "entry", "query": a y after a consonant becomes "ies".
  const std::size_t size = word.size();
  if (size >= 2 && word[size - 1] == 'y' && std::string("aeiou").find(word[size - 2]) == std::string::npos) {
    return std::to_string(count) + " " + word.substr(0, size - 1) + "ies";
  }
  return std::to_string(count) + " " + word + "s";
}

namespace {

std::string Reason() { return std::strerror(errno); }

#if defined(_WIN32)
// Binary mode, and the UTF-16 name; sizes beyond 2 GiB need the 64-bit stat.
int OpenReadOnly(const std::string &path) { return _wopen(NativePath(path).c_str(), _O_RDONLY | _O_BINARY); }
using FileStatus = struct _stat64;
int StatusOf(int fd, FileStatus *status) { return _fstat64(fd, status); }
#else
int OpenReadOnly(const std::string &path) { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
using FileStatus = struct stat;
int StatusOf(int fd, FileStatus *status) { return fstat(fd, status); }
#endif

std::string KindOf(unsigned mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
#if defined(S_ISBLK)
  if (S_ISBLK(mode)) return "a block device";
#endif
#if defined(S_ISSOCK)
  if (S_ISSOCK(mode)) return "a socket";
#endif
  return "not a regular file";
}

// An open descriptor of a regular file no larger than MaxInputSize. Opened
// without blocking, so that a FIFO is refused rather than waited on.
class InputFile {
 public:
  explicit InputFile(const std::string &path) : fd_(OpenReadOnly(path)) {
    if (fd_ < 0) {
      // Windows does not open a folder at all.
      std::error_code ignored;
      if (std::filesystem::is_directory(NativePath(path), ignored)) {
        throw CliError(ExitBadInput, "cannot read '" + path + "': it is a folder, not a file");
      }
      throw CliError(ExitBadInput, "cannot open '" + path + "': " + Reason());
    }
    FileStatus status{};
    if (StatusOf(fd_, &status) != 0) throw CliError(ExitBadInput, "cannot read '" + path + "': " + Reason());
    if (!S_ISREG(status.st_mode)) {
      throw CliError(ExitBadInput, "cannot read '" + path + "': it is " + KindOf(status.st_mode) + ", not a file");
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
    if (size_ > MaxInputSize) {
      throw CliError(ExitBadInput, "cannot read '" + path + "': its " + std::to_string(size_) +
                                       " bytes are more than the " + std::to_string(MaxInputSize) +
                                       " that 32-bit file positions reach");
    }
  }
  ~InputFile() {
    if (fd_ >= 0) close(fd_);
  }
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

  int fd() const { return fd_; }
  std::uint64_t size() const { return size_; }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

}  // namespace

void CheckInputFile(const std::string &path) {
  if (!IsStandardStream(path)) InputFile checked(path);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string &path) {
  if (IsStandardStream(path)) return ReadStandardInput();
  InputFile file(path);
  std::vector<std::uint8_t> bytes(file.size());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto got = read(file.fd(), bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw CliError(ExitBadInput, "cannot read '" + path + "': " + Reason());
    if (got == 0) break;  // the file shrank while being read
    done += std::size_t(got);
  }
  bytes.resize(done);
  return bytes;
}

void WriteWholeFile(const std::string &path, const std::vector<std::uint8_t> &bytes) {
  if (IsStandardStream(path)) return WriteStandardOutput(bytes);
#if defined(_WIN32)
  std::FILE *out = _wfopen(NativePath(path).c_str(), L"wb");
#else
  std::FILE *out = std::fopen(path.c_str(), "wb");
#endif
  if (out == nullptr) throw CliError(ExitBadInput, "cannot write '" + path + "': " + Reason());
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int writeError = errno;
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    errno = written ? errno : writeError;
    throw CliError(ExitBadInput, "cannot write '" + path + "': " + Reason());
  }
}

void RefuseToOverwriteInputs(const std::string &output, const std::string &option,
                             const std::vector<std::string> &inputs) {
  if (output.empty() || IsStandardStream(output)) return;
  for (const std::string &input : inputs) {
    std::error_code error;
    if (output == input || std::filesystem::equivalent(NativePath(output), NativePath(input), error)) {
      throw CliError(ExitUsage, option + " '" + output + "' would replace the input '" + input + "'; name another file");
    }
  }
}

namespace {

// Whether bytes form well-formed UTF-8 (no overlong forms, no surrogates)
// without control characters other than tab and newline.
bool IsCleanUtf8(const std::uint8_t *bytes, std::size_t length) {
  for (std::size_t i = 0; i < length;) {
    const std::uint8_t lead = bytes[i];
    std::size_t extra = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead < 0x80) {
      if ((lead < 0x20 && lead != '\t' && lead != '\n') || lead == 0x7F) return false;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (extra > 0 && i + extra >= length) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const std::uint8_t next = bytes[i + k];
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::optional<std::string> CleanText(const std::uint8_t *bytes, std::size_t length) {
  std::size_t end = 0;
  while (end < length && bytes[end] != 0) ++end;
  for (std::size_t i = end; i < length; ++i) {
    if (bytes[i] != 0) return std::nullopt;
  }
  if (!IsCleanUtf8(bytes, end)) return std::nullopt;
  return std::string(reinterpret_cast<const char *>(bytes), end);
}

}  // namespace dinfo::cli
