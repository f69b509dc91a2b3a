// Unscrambling throughput beside memcpy of the same size, and beside the
// one-register-step-a-byte restore it replaced.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/scramble.h"

namespace {

constexpr std::int64_t SmallBlock = 64 << 10;
constexpr std::int64_t LargeBlock = 16 << 20;

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::mt19937 random(3);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

void BM_Memcpy(benchmark::State &state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> source = RandomBytes(size);
  std::vector<std::uint8_t> destination(size);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), size);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(96)->Arg(612)->Arg(1024)->Arg(SmallBlock)->Arg(LargeBlock);

// The block is restored in place again and again; the work does not depend
// on what the bytes hold.
void BM_UnscrambleBlock(benchmark::State &state) {
  std::vector<std::uint8_t> block = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(dinfo::UnscrambleBlock(block.data(), static_cast<std::int32_t>(block.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetLabel("vs BM_Memcpy");
}
BENCHMARK(BM_UnscrambleBlock)->Arg(96)->Arg(612)->Arg(SmallBlock)->Arg(LargeBlock);

// The restore as first written: three passes, one register step a byte.
void UnscrambleByteAtATime(std::uint8_t *block, std::int32_t length) {
  const std::int32_t dataLength = length - 4;
  std::array<std::uint8_t, 4> lanes{};
  for (std::int32_t i = 0; i < dataLength; ++i) lanes[i & 3] = static_cast<std::uint8_t>(lanes[i & 3] + block[i]);
  std::uint8_t *trailer = block + dataLength;
  const std::uint8_t t0 = trailer[0] ^ lanes[0], t1 = trailer[1] ^ lanes[3];
  const std::uint8_t t2 = trailer[2] ^ lanes[1], t3 = trailer[3] ^ lanes[2];
  std::uint32_t key = (std::uint32_t{t2} << 24) | (std::uint32_t{t0} << 16) | (std::uint32_t{t1} << 8) | t3;
  for (std::int32_t i = 0; i < dataLength; ++i) {
    block[i] ^= static_cast<std::uint8_t>(key);
    key = dinfo::AdvanceKey(key);
  }
  std::uint32_t sum = dinfo::ScrambleCheckSumStart;
  for (std::int32_t i = 0; i < dataLength; i += 4) {
    sum += 23u * block[i] + 249u * block[i + 1] + 41u * (block[i + 2] % 13u) + 71u * block[i + 3] + 9u;
  }
  trailer[0] = static_cast<std::uint8_t>(t0 - (sum >> 16));
  trailer[1] = static_cast<std::uint8_t>(t1 - sum);
  trailer[2] = static_cast<std::uint8_t>(t3 - (sum >> 24));
  trailer[3] = static_cast<std::uint8_t>(t2 - (sum >> 8));
}

void BM_UnscrambleByteAtATime(benchmark::State &state) {
  std::vector<std::uint8_t> block = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    UnscrambleByteAtATime(block.data(), static_cast<std::int32_t>(block.size()));
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetLabel("vs BM_Memcpy");
}
BENCHMARK(BM_UnscrambleByteAtATime)->Arg(96)->Arg(612)->Arg(SmallBlock)->Arg(LargeBlock);

}  // namespace
