// Byte swapping and delta restoration on large arrays of each width,
// beside memcpy of the same size (BM_Memcpy, in scramble_bench.cpp); the
// running sum alone with each choice of vectors (one element at a time is
// the first version).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tableobj/running_sum.h"
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

// Each element restored again and again: the work does not depend on the
// values. Wide vectors are skipped where the processor lacks them.
void BM_RunningSum(benchmark::State &state, std::int32_t width, bool swapped) {
  const auto vectors = static_cast<dinfo::SumVectors>(state.range(0));
  if (vectors == dinfo::SumVectors::Wide && dinfo::WidestSumVectors() != dinfo::SumVectors::Wide) {
    state.SkipWithError("no 32-byte vectors");
    return;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(1)));
  std::mt19937 random(5);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  const auto order = swapped ? dinfo::ByteOrder::Swapped : dinfo::ByteOrder::Native;
  for (auto _ : state) {
    dinfo::RunningSumWith(vectors, bytes.data(), state.range(1) / width, width, order);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(1));
  state.SetLabel("vs BM_Memcpy/" + std::to_string(state.range(1)));
}
void SumArguments(benchmark::internal::Benchmark *benchmark) {
  for (std::int64_t vectors : {0, 1, 2}) {
    for (std::int64_t size : {std::int64_t{1024}, SmallArray, LargeArray}) benchmark->Args({vectors, size});
  }
}
BENCHMARK_CAPTURE(BM_RunningSum, width1, 1, false)->Apply(SumArguments);
BENCHMARK_CAPTURE(BM_RunningSum, width2, 2, false)->Apply(SumArguments);
BENCHMARK_CAPTURE(BM_RunningSum, width4, 4, false)->Apply(SumArguments);
BENCHMARK_CAPTURE(BM_RunningSum, width2_swapped, 2, true)->Apply(SumArguments);
BENCHMARK_CAPTURE(BM_RunningSum, width4_swapped, 4, true)->Apply(SumArguments);

}  // namespace
