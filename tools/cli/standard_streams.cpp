#include "standard_streams.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

#include "cli_common.h"

namespace dinfo::cli {
namespace {

constexpr int NameAttempts = 16;

#if defined(_WIN32)
void BinaryMode(std::FILE *stream) { _setmode(_fileno(stream), _O_BINARY); }
// Created only when no file of the name exists, so that nothing placed in
// the temporary folder beforehand is written through.
int CreateNew(const std::filesystem::path &path) {
  return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
#else
void BinaryMode(std::FILE *) {}
int CreateNew(const std::filesystem::path &path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}
#endif

std::string RandomName() {
  std::random_device source;
  char text[40];
  std::snprintf(text, sizeof text, "dinfo-stdin-%08x%08x.dat", source(), source());
  return text;
}

void WriteAll(int fd, const std::vector<std::uint8_t> &bytes, const std::string &path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto wrote = write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) throw CliError(ExitBadInput, "cannot write '" + path + "': " + std::strerror(errno));
    done += std::size_t(wrote);
  }
}

}  // namespace

std::string InputName(const std::string &path) { return IsStandardStream(path) ? "standard input" : path; }

std::vector<std::uint8_t> ReadStandardInput() {
  BinaryMode(stdin);
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, stdin);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > MaxInputSize) {
      throw CliError(ExitBadInput, "standard input holds more than the " + std::to_string(MaxInputSize) +
                                       " bytes that 32-bit file positions reach");
    }
    if (got < sizeof chunk) break;
  }
  if (std::ferror(stdin)) throw CliError(ExitBadInput, std::string("cannot read standard input: ") + std::strerror(errno));
  return bytes;
}

void WriteStandardOutput(const std::vector<std::uint8_t> &bytes) {
  std::cout.flush();
  BinaryMode(stdout);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
    throw CliError(ExitBadInput, std::string("cannot write standard output: ") + std::strerror(errno));
  }
}

StandardInputCopy::StandardInputCopy() {
  const std::vector<std::uint8_t> bytes = ReadStandardInput();
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) throw CliError(ExitBadInput, "no temporary folder to copy standard input to: " + error.message());
  for (int attempt = 0; attempt < NameAttempts && path_.empty(); ++attempt) {
    const std::filesystem::path candidate = folder / RandomName();
    const int fd = CreateNew(candidate);
    if (fd < 0 && errno == EEXIST) continue;
    const std::u8string name = candidate.u8string();
    const std::string shown(name.begin(), name.end());
    if (fd < 0) throw CliError(ExitBadInput, "cannot copy standard input to '" + shown + "': " + std::strerror(errno));
    path_ = shown;
    try {
      WriteAll(fd, bytes, path_);
    } catch (...) {
      close(fd);
      std::filesystem::remove(NativePath(path_), error);
      throw;
    }
    close(fd);
  }
  if (path_.empty()) throw CliError(ExitBadInput, "cannot find a free name in the temporary folder for standard input");
}

StandardInputCopy::~StandardInputCopy() {
  std::error_code ignored;
  std::filesystem::remove(NativePath(path_), ignored);
}

}  // namespace dinfo::cli
