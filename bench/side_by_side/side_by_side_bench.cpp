// Times the exports of the shipped library (dinfo.dll under Wine, or the
// Linux libdinfo.so) on writer-made files, each beside its platform's
// floor: the call's own I/O and memory replayed (call_trace.h). The
// Windows program records them from the DLL's imports and saves one trace
// a figure in its working folder; the Linux program replays those traces
// (the library above the platform layer is the same code, so it makes the
// same reads and takes the same blocks). Call and floor alternate, and
// each figure is the median wall time of its runs, in microseconds: one
// line "name call floor peak table record" a figure, the last three the
// bytes the call held at most at once, the table it returned and its
// longest read, from the trace. scripts/bench-windows.sh runs the two and
// compares them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dinfo/dinfo.h"
#include "call_trace.h"
#include "sample_files.h"


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
  SampleShape deltaBigEndian{.tableSize = BigTable, .deltaCoded = true, .bigEndian = true};
  SampleShape lzw{.tableSize = BigTable, .deltaCoded = true, .compressed = true};
  SampleShape nested{.tableSize = BigTable, .deltaCoded = true, .compressed = true, .nested = true};
  // The nested tables beside their twins, the same tables unsplit.
  SampleShape lzwSmall{.tableSize = 1 << 20, .deltaCoded = true, .compressed = true};
  SampleShape nestedSmall{.tableSize = 1 << 20, .deltaCoded = true, .compressed = true, .nested = true};
  const auto lzwOf = [](LzwData data) {
    return SampleShape{.tableSize = BigTable, .scrambled = false, .compressed = true, .curve = false, .data = data};
  };
  return {
      {"DIGetTableFormatType/small", Export::FormatType, {}},
      {"DIGetMainInfo/small", Export::MainInfo, {}},
      {"DIGetCategoryInfoV/small", Export::CategoryV, {}},
      {"DIGetCategoryInfoS/small", Export::CategoryS, {}},
      {"DIGetTable/small", Export::Table, {}},
      {"DIGetTable/plain:16M", Export::Table, plain},
      {"DIGetTable/scrambled:16M", Export::Table, scrambled},
      {"DIGetTable/delta:16M", Export::Table, delta},
      {"DIGetTable/delta_be:16M", Export::Table, deltaBigEndian},
      {"DIGetTable/lzw_delta:16M", Export::Table, lzw},
      {"DIGetTable/lzw_text:16M", Export::Table, lzwOf(LzwData::Text)},
      {"DIGetTable/lzw_image:16M", Export::Table, lzwOf(LzwData::Image)},
      {"DIGetTable/lzw_random:16M", Export::Table, lzwOf(LzwData::Random)},
      {"DIGetTable/lzw_runs:16M", Export::Table, lzwOf(LzwData::Runs)},
      {"DIGetTable/nested_lzw_delta:16M", Export::Table, nested},
      {"DIGetTable/lzw_delta:1M", Export::Table, lzwSmall},
      {"DIGetTable/nested_lzw_delta:1M", Export::Table, nestedSmall},
  };
}

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

namespace dinfo::bench {
namespace {

// The figure's trace: recorded from a call on Windows and saved in
// `traces`, read from there on Linux.
bool TraceOf(const Figure &figure, const std::string &file, const std::string &traces, CallTrace &trace) {
  const std::string path = traces + "/" + file + ".trace";
#if defined(_WIN32)
  Outputs out;
  StartRecording();
  Call(figure.call, file, out);
  trace = StopRecording();
  return SaveTrace(path, trace);
#else
  (void)figure;
  return LoadTrace(path, trace);
#endif
}

}  // namespace
}  // namespace dinfo::bench

// Arguments: runs of each small-file figure and of each 16 MiB one, the
// folder of the traces (written on Windows, read on Linux), and optionally
// a part of the names of the figures to run (to profile one).
int main(int argc, char **argv) {
  using namespace dinfo::bench;
  const int smallRuns = argc > 1 ? std::atoi(argv[1]) : 301;
  const int bigRuns = argc > 2 ? std::atoi(argv[2]) : 15;
  const std::string traces = argc > 3 ? argv[3] : ".";
  const std::string only = argc > 4 ? argv[4] : "";
#if defined(_WIN32)
  if (!HookLibraryImports()) {
    std::fprintf(stderr, "cannot redirect dinfo.dll's imports\n");
    return 1;
  }
#endif
  for (const Figure &figure : Figures()) {
    std::string name = figure.name;
    if (name.find(only) == std::string::npos) continue;
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), ':', '_');
    const std::string file = SaveSample(name + ".dat", figure.shape);
    const std::string path = SampleFolder() + "/" + file;
    const int runs = figure.shape.tableSize >= BigTable ? bigRuns : smallRuns;
    std::vector<double> calls, floors;
    Outputs out;
    Call(figure.call, file, out);  // once first, to bring the file into the cache
    CallTrace trace;
    if (!TraceOf(figure, file, traces, trace)) {
      std::fprintf(stderr, "no trace of %s in %s\n", figure.name, traces.c_str());
      return 1;
    }
    for (int run = 0; run < runs; ++run) {
      calls.push_back(MicrosecondsOf([&] { return Call(figure.call, file, out); }));
      floors.push_back(MicrosecondsOf([&] { return ReplayTrace(trace, path); }));
    }
    const HeldBytes held = HeldBytesOf(trace);
    std::printf("%s %.1f %.1f %lld %lld %lld\n", figure.name, Median(calls), Median(floors),
                static_cast<long long>(held.peak), static_cast<long long>(held.lastFreed),
                static_cast<long long>(held.longestRead));
    std::fflush(stdout);
  }
  return 0;
}
