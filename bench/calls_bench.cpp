// Whole calls of every export on writer-made files, each beside its floor:
// a loop that opens the same file, makes the same reads (same positions,
// same lengths, one pread each) and closes it. The calls are timed on the
// shipped libdinfo.so, loaded at run time, as users pay them; the reads
// are taken from a call traced through the test build's platform seam
// (the library above the platform layer is the same code, so it makes the
// same reads). The floor's "reads" counter says how many it replays. A
// nested compressed table is compared with its twin, the same table
// unsplit, instead, and large compressed tables also count the memory the
// call holds at its peak. Also: calls per second with one and two threads.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dinfo/dinfo.h"
#include "platform/test_seam.h"
#include "sample_files.h"
#include "shipped_library.h"

namespace dinfo::bench {
namespace {

std::vector<seam::TracedRead> TraceCall(Export call, const std::string &file) {
  std::vector<seam::TracedRead> reads(4096);
  std::int64_t count = 0;
  Outputs out;
  seam::TraceReads(reads.data(), static_cast<std::int64_t>(reads.size()), &count);
  Call(call, file, out);
  seam::TraceReads(nullptr, 0, nullptr);
  reads.resize(static_cast<std::size_t>(count < 4096 ? count : 4096));
  return reads;
}

// A call that does not give the sample's answer is still timed (the table
// preparation may not be there yet) and says so in its label.
void RunCall(benchmark::State &state, Export call, const std::string &file,
             const std::string &baseline) {
  Outputs out;
  const Exports &shipped = ShippedExports();
  const bool answers = Call(shipped, call, file, out);
  for (auto _ : state) benchmark::DoNotOptimize(Call(shipped, call, file, out));
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.SetLabel("vs " + baseline + (answers ? "" : " (call fails)"));
  }
}

// The most a DIGetTable call holds at once, beside the table it returns
// and the record it reads (the longest of its reads), in MiB: measured
// once through the test build's platform layer, whose library above it is
// the same code as the shipped one. `over` is the peak less both.
void CountHeldBytes(benchmark::State &state, const std::string &file) {
  std::int64_t record = 0;
  for (const auto &read : TraceCall(Export::Table, file)) record = read.length > record ? read.length : record;
  const std::int64_t before = seam::LiveBytes();
  seam::ResetPeakLiveBytes();
  void *table = DIGetTable(file.c_str(), Folder(), SampleSelector, nullptr, 0);
  const std::int64_t peak = seam::PeakLiveBytes() - before;
  std::int64_t size = 0;
  if (table != nullptr) std::memcpy(&size, static_cast<const char *>(table) + 4, 4);
  DIFreeTable(table);
  constexpr double MiB = 1 << 20;
  state.counters["peak_MiB"] = double(peak) / MiB;
  state.counters["table_MiB"] = double(size) / MiB;
  state.counters["record_MiB"] = double(record) / MiB;
  state.counters["over_MiB"] = double(peak - size - record) / MiB;
}

// Opens the file, makes the traced reads, closes it; again and again.
void RunFloorReads(benchmark::State &state, const std::vector<seam::TracedRead> &reads,
                   const std::string &file) {
  std::int64_t largest = 1;
  for (const auto &read : reads) largest = read.length > largest ? read.length : largest;
  std::vector<char> buffer(static_cast<std::size_t>(largest));
  const std::string path = SampleFolder() + "/" + file;
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    for (const auto &read : reads) {
      benchmark::DoNotOptimize(pread(fd, buffer.data(), static_cast<std::size_t>(read.length), read.position));
    }
    close(fd);
  }
  state.counters["reads"] = static_cast<double>(reads.size());
  state.SetItemsProcessed(state.iterations());
}

void RunFloor(benchmark::State &state, Export call, const std::string &file) {
  RunFloorReads(state, TraceCall(call, file), file);
}

// A call's reads, traced by the first thread that needs them.
struct TracedOnce {
  std::once_flag once;
  std::vector<seam::TracedRead> reads;
};

// `baseline` names what the call is compared with: its floor, or for a
// nested table its twin, the same table unsplit.
struct Case {
  Export call;
  std::string shapeName;
  SampleShape shape;
  std::string baseline = "Floor";
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const Export all[] = {Export::FormatType, Export::MainInfo, Export::CategoryV,
                        Export::CategoryS, Export::Table};
  for (Export call : all) cases.push_back({call, "small", {}});
  for (std::int32_t entries : {10, 100, 1000, 10000, 100000}) {
    SampleShape shape;
    shape.directoryEntries = entries;
    for (Export call : {Export::FormatType, Export::CategoryV, Export::Table}) {
      cases.push_back({call, "entries:" + std::to_string(entries), shape});
    }
  }
  for (std::int32_t links : {1, 2, 4, 8}) {
    SampleShape shape;
    shape.chainLinks = links;
    cases.push_back({Export::Table, "links:" + std::to_string(links), shape});
  }
  for (std::int32_t size : {1 << 10, 64 << 10, 1 << 20, 16 << 20}) {
    const std::string bytes = std::to_string(size);
    SampleShape shape;
    shape.tableSize = size;
    cases.push_back({Export::Table, "table:" + bytes, shape});
    shape.deltaCoded = true;
    cases.push_back({Export::Table, "delta_table:" + bytes, shape});
    shape.bigEndian = true;
    cases.push_back({Export::Table, "delta_be_table:" + bytes, shape});
    shape.bigEndian = false;
    shape.compressed = true;
    cases.push_back({Export::Table, "lzw_delta_table:" + bytes, shape});
    shape.nested = true;
    cases.push_back({Export::Table, "nested_lzw_delta_table:" + bytes, shape,
                     "Call/DIGetTable/lzw_delta_table:" + bytes});
  }
  return cases;
}

// Registered before main runs; the files are written on first use.
const bool registered = [] {
  for (const Case &c : Cases()) {
    const std::string file = c.shapeName + ".dat";
    const std::string suffix = std::string("/") + NameOf(c.call) + "/" + c.shapeName;
    auto make = [c, file] { return SaveSample(file, c.shape); };
    benchmark::RegisterBenchmark(("Call" + suffix).c_str(), [c, make](benchmark::State &state) {
      RunCall(state, c.call, make(), c.baseline);
      if (c.shape.compressed && c.shape.tableSize >= (1 << 20)) CountHeldBytes(state, make());
    });
    benchmark::RegisterBenchmark(("Floor" + suffix).c_str(), [c, make](benchmark::State &state) {
      RunFloor(state, c.call, make());
    });
  }
  // The floor with threads shows how far the system itself lets opens and
  // reads of one file scale; the reads are traced once, before the threads.
  for (Export call : {Export::FormatType, Export::Table}) {
    const std::string suffix = std::string("/") + NameOf(call) + "/small";
    benchmark::RegisterBenchmark(("Threads" + suffix).c_str(), [call](benchmark::State &state) {
      static const std::string file = SaveSample("small.dat", {});
      RunCall(state, call, file, "ThreadsFloor");
    })->Threads(1)->Threads(2)->UseRealTime();
    auto traced = std::make_shared<TracedOnce>();
    benchmark::RegisterBenchmark(("ThreadsFloor" + suffix).c_str(), [call, traced](benchmark::State &state) {
      static const std::string file = SaveSample("small.dat", {});
      std::call_once(traced->once, [&] { traced->reads = TraceCall(call, file); });
      RunFloorReads(state, traced->reads, file);
    })->Threads(1)->Threads(2)->UseRealTime();
  }
  return true;
}();

}  // namespace
}  // namespace dinfo::bench
