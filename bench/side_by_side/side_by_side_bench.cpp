// Times the exports of the shipped library (dinfo.dll under Wine, or the
// Linux libdinfo.so) on writer-made files, each beside its platform's
// floor: open the file, read it whole into a block of its size, free the
// block, close it (Windows: CreateFileW, ReadFile, GlobalAlloc/GlobalFree,
// CloseHandle; Linux: open, pread, malloc/free, close). Call and floor
// alternate, and each figure is the median wall time of its runs, in
// microseconds: one line "name call floor" a figure. One program, built for
// both; scripts/bench-windows.sh runs the two and compares them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dinfo/dinfo.h"
#include "sample_files.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dinfo::bench {
namespace {

struct Figure {
  const char *name;
  Export call;
  SampleShape shape;
};

constexpr std::int32_t BigTable = 16 << 20;

std::vector<Figure> Figures() {
  SampleShape plain{.tableSize = BigTable, .scrambled = false};
  SampleShape scrambled{.tableSize = BigTable};
  SampleShape delta{.tableSize = BigTable, .deltaCoded = true};
  SampleShape lzw{.tableSize = BigTable, .deltaCoded = true, .compressed = true};
  SampleShape nested{.tableSize = BigTable, .deltaCoded = true, .compressed = true, .nested = true};
  return {
      {"DIGetTableFormatType/small", Export::FormatType, {}},
      {"DIGetMainInfo/small", Export::MainInfo, {}},
      {"DIGetCategoryInfoV/small", Export::CategoryV, {}},
      {"DIGetCategoryInfoS/small", Export::CategoryS, {}},
      {"DIGetTable/small", Export::Table, {}},
      {"DIGetTable/plain:16M", Export::Table, plain},
      {"DIGetTable/scrambled:16M", Export::Table, scrambled},
      {"DIGetTable/delta:16M", Export::Table, delta},
      {"DIGetTable/lzw_delta:16M", Export::Table, lzw},
      {"DIGetTable/nested_lzw_delta:16M", Export::Table, nested},
  };
}

#if defined(_WIN32)
bool ReadWhole(const std::string &path) {
  const std::wstring widePath(path.begin(), path.end());
  HANDLE file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  const auto length = static_cast<DWORD>(size.QuadPart);
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, length);
  DWORD got = 0;
  const bool read = block != nullptr && ReadFile(file, block, length, &got, nullptr) && got == length;
  GlobalFree(block);
  CloseHandle(file);
  return read;
}
#else
bool ReadWhole(const std::string &path) {
  const int file = open(path.c_str(), O_RDONLY);
  if (file < 0) return false;
  struct stat status {};
  fstat(file, &status);
  const auto length = static_cast<std::size_t>(status.st_size);
  void *block = std::malloc(length);
  const bool read = block != nullptr && pread(file, block, length, 0) == static_cast<ssize_t>(length);
  std::free(block);
  close(file);
  return read;
}
#endif

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

template <typename Work>
double MicrosecondsOf(Work work) {
  const auto start = std::chrono::steady_clock::now();
  if (!work()) {
    std::fprintf(stderr, "a call or its floor failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace
}  // namespace dinfo::bench

// Arguments: runs of each small-file figure and of each 16 MiB one.
int main(int argc, char **argv) {
  using namespace dinfo::bench;
  const int smallRuns = argc > 1 ? std::atoi(argv[1]) : 301;
  const int bigRuns = argc > 2 ? std::atoi(argv[2]) : 15;
  for (const Figure &figure : Figures()) {
    std::string name = figure.name;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), ':', '_');
    const std::string file = SaveSample(name + ".dat", figure.shape);
    const std::string path = SampleFolder() + "/" + file;
    const int runs = figure.shape.tableSize >= BigTable ? bigRuns : smallRuns;
    std::vector<double> calls, floors;
    Outputs out;
    Call(figure.call, file, out);  // once first, to bring the file into the cache
    for (int run = 0; run < runs; ++run) {
      calls.push_back(MicrosecondsOf([&] { return Call(figure.call, file, out); }));
      floors.push_back(MicrosecondsOf([&] { return ReadWhole(path); }));
    }
    std::printf("%s %.1f %.1f\n", figure.name, Median(calls), Median(floors));
    std::fflush(stdout);
  }
  return 0;
}
