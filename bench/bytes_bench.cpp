// Byte swapping and delta restoration on large arrays of each width,
// beside memcpy of the same size (BM_Memcpy, in scramble_bench.cpp).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tableobj/table_object.h"

namespace {

constexpr std::int64_t SmallArray = 64 << 10;
constexpr std::int64_t LargeArray = 16 << 20;

void BM_SwapBytes(benchmark::State &state, std::int32_t width) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  const auto count = static_cast<std::int32_t>(state.range(0) / width);
  for (auto _ : state) {
    dinfo::SwapBytes(bytes.data(), width, count);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetLabel("vs BM_Memcpy/" + std::to_string(state.range(0)));
}
BENCHMARK_CAPTURE(BM_SwapBytes, width2, 2)->Arg(SmallArray)->Arg(LargeArray);
BENCHMARK_CAPTURE(BM_SwapBytes, width4, 4)->Arg(SmallArray)->Arg(LargeArray);

void PutWord(std::uint8_t *at, std::uint32_t value, bool swapped) {
  if (swapped) {
    dinfo::WriteU32BigEndian(at, value);
  } else {
    dinfo::WriteU32LittleEndian(at, value);
  }
}

// A delta-coded table object: one typed array of `width`-byte elements
// filling the data area. The flags word is set again before every run,
// since restoring clears it.
void BM_RestoreDeltas(benchmark::State &state, std::int32_t width, bool swapped) {
  const auto dataBytes = static_cast<std::uint32_t>(state.range(0));
  std::vector<std::uint8_t> object(24 + dataBytes);
  std::mt19937 random(5);
  for (std::size_t i = 24; i < object.size(); ++i) object[i] = static_cast<std::uint8_t>(random());
  PutWord(object.data(), dinfo::TableObjectMagic, swapped);
  PutWord(object.data() + 4, static_cast<std::uint32_t>(object.size()), swapped);
  PutWord(object.data() + 8, 1, swapped);
  PutWord(object.data() + 16, (static_cast<std::uint32_t>(width - 1) << 26) | (dataBytes / static_cast<std::uint32_t>(width)), swapped);
  PutWord(object.data() + 20, 24, swapped);
  for (auto _ : state) {
    PutWord(object.data() + 12, dinfo::FlagDeltaCoded, swapped);
    if (dinfo::RestoreDeltas(dinfo::Block(object)) != dinfo::Fault::None) state.SkipWithError("refused");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetLabel("vs BM_Memcpy/" + std::to_string(state.range(0)));
}
BENCHMARK_CAPTURE(BM_RestoreDeltas, width1, 1, false)->Arg(SmallArray)->Arg(LargeArray);
BENCHMARK_CAPTURE(BM_RestoreDeltas, width2, 2, false)->Arg(SmallArray)->Arg(LargeArray);
BENCHMARK_CAPTURE(BM_RestoreDeltas, width4, 4, false)->Arg(SmallArray)->Arg(LargeArray);
BENCHMARK_CAPTURE(BM_RestoreDeltas, width2_swapped, 2, true)->Arg(SmallArray)->Arg(LargeArray);
BENCHMARK_CAPTURE(BM_RestoreDeltas, width4_swapped, 4, true)->Arg(SmallArray)->Arg(LargeArray);

}  // namespace
