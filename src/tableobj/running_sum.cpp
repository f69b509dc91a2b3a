#include "tableobj/running_sum.h"

#include "common/bytes.h"
#include "platform/cpu_features.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define DINFO_SUM_VECTORS 1
#endif

namespace dinfo {
namespace {

// The element before `from`, restored, as a number (0 before the first).
std::uint32_t SumBefore(const std::uint8_t *data, std::int64_t from, std::int32_t width, bool swapped) {
  if (from == 0) return 0;
  const std::uint8_t *at = data + (from - 1) * width;
  if (width == 1) return *at;
  if (width == 2) return swapped ? ReadU16BigEndian(at) : ReadU16LittleEndian(at);
  return swapped ? ReadU32BigEndian(at) : ReadU32LittleEndian(at);
}

// One element at a time from element `from` on; the sum stays in a
// register.
template <typename Unit, Unit (*Read)(const std::uint8_t *), void (*Write)(std::uint8_t *, Unit)>
void SumUnits(std::uint8_t *data, std::int64_t from, std::int64_t count, std::uint32_t before) {
  auto sum = static_cast<Unit>(before);
  for (std::int64_t k = from; k < count; ++k) {
    std::uint8_t *element = data + k * std::int64_t{sizeof(Unit)};
    sum = static_cast<Unit>(sum + Read(element));
    Write(element, sum);
  }
}

std::uint8_t ReadByte(const std::uint8_t *at) { return *at; }
void WriteByte(std::uint8_t *at, std::uint8_t value) { *at = value; }

void SumUnitsFrom(std::uint8_t *data, std::int64_t from, std::int64_t count, std::int32_t width,
                  bool swapped) {
  const std::uint32_t before = SumBefore(data, from, width, swapped);
  if (width == 1) {
    SumUnits<std::uint8_t, ReadByte, WriteByte>(data, from, count, before);
  } else if (width == 2 && !swapped) {
    SumUnits<std::uint16_t, ReadU16LittleEndian, WriteU16LittleEndian>(data, from, count, before);
  } else if (width == 2) {
    SumUnits<std::uint16_t, ReadU16BigEndian, WriteU16BigEndian>(data, from, count, before);
  } else if (!swapped) {
    SumUnits<std::uint32_t, ReadU32LittleEndian, WriteU32LittleEndian>(data, from, count, before);
  } else {
    SumUnits<std::uint32_t, ReadU32BigEndian, WriteU32BigEndian>(data, from, count, before);
  }
}

#if defined(DINFO_SUM_VECTORS)

// Both vector loops take whole vectors from element `from` on and return
// where they stopped; the carry holds the sum so far in every lane. The
// 16-byte forms use SSE2 alone, so that every x86-64 processor runs them.
using Vector = __m128i;

// Long arrays come from beyond the core's own caches, and the processor
// does not fetch them ahead fast enough for the loops: asked for this far
// ahead, they arrive in time (at 16 MiB the 16-byte loops ran up to four
// times faster). Shorter ones are in the cache already.
constexpr std::int64_t PrefetchAhead = 2048;
constexpr std::int64_t PrefetchFrom = 256 * 1024;
template <bool Far>
inline void Prefetch(const std::uint8_t *at) {
  if constexpr (Far) _mm_prefetch(reinterpret_cast<const char *>(at + PrefetchAhead), _MM_HINT_T0);
}

inline Vector LoadVector(const std::uint8_t *at) { return _mm_loadu_si128(reinterpret_cast<const Vector *>(at)); }
inline void StoreVector(std::uint8_t *at, Vector v) { _mm_storeu_si128(reinterpret_cast<Vector *>(at), v); }

template <int Width>
inline Vector AddLanes(Vector a, Vector b) {
  if constexpr (Width == 1) return _mm_add_epi8(a, b);
  if constexpr (Width == 2) return _mm_add_epi16(a, b);
  return _mm_add_epi32(a, b);
}

template <int Width>
inline Vector SpreadValue(std::uint32_t value) {
  if constexpr (Width == 1) return _mm_set1_epi8(static_cast<char>(value));
  if constexpr (Width == 2) return _mm_set1_epi16(static_cast<short>(value));
  return _mm_set1_epi32(static_cast<int>(value));
}

// Each lane plus every lane before it.
template <int Width>
inline Vector PrefixSums(Vector x) {
  if constexpr (Width == 1) x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
  if constexpr (Width <= 2) x = AddLanes<Width>(x, _mm_slli_si128(x, 2));
  x = AddLanes<Width>(x, _mm_slli_si128(x, 4));
  return AddLanes<Width>(x, _mm_slli_si128(x, 8));
}

// The last lane in every lane.
template <int Width>
inline Vector SpreadLast(Vector x) {
  if constexpr (Width == 1) x = _mm_unpackhi_epi8(x, x);
  if constexpr (Width <= 2) x = _mm_shufflehi_epi16(x, 0xFF);
  return _mm_shuffle_epi32(x, 0xFF);
}

// Reverses the bytes of every lane.
template <int Width>
inline Vector ReverseLanes(Vector x) {
  if constexpr (Width == 1) return x;
  x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
  if constexpr (Width == 4) x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
  return x;
}

template <int Width, bool Swapped, bool Far>
std::int64_t SumPlain(std::uint8_t *data, std::int64_t from, std::int64_t count) {
  constexpr std::int64_t Lanes = 16 / Width;
  Vector carry = SpreadValue<Width>(SumBefore(data, from, Width, Swapped));
  std::int64_t k = from;
  for (; count - k >= Lanes; k += Lanes) {
    std::uint8_t *at = data + k * Width;
    Prefetch<Far>(at);
    Vector x = LoadVector(at);
    if constexpr (Swapped) x = ReverseLanes<Width>(x);
    const Vector sums = PrefixSums<Width>(x);
    Vector restored = AddLanes<Width>(sums, carry);
    carry = AddLanes<Width>(carry, SpreadLast<Width>(sums));
    if constexpr (Swapped) restored = ReverseLanes<Width>(restored);
    StoreVector(at, restored);
  }
  return k;
}

// The 32-byte forms, for processors with AVX2: the shifts work within each
// 16-byte half, and the low half's total is then added to the high half.
#define DINFO_WIDE __attribute__((target("avx2")))
using WideVector = __m256i;

DINFO_WIDE inline WideVector LoadWide(const std::uint8_t *at) {
  return _mm256_loadu_si256(reinterpret_cast<const WideVector *>(at));
}
DINFO_WIDE inline void StoreWide(std::uint8_t *at, WideVector v) {
  _mm256_storeu_si256(reinterpret_cast<WideVector *>(at), v);
}

template <int Width>
DINFO_WIDE inline WideVector AddWideLanes(WideVector a, WideVector b) {
  if constexpr (Width == 1) return _mm256_add_epi8(a, b);
  if constexpr (Width == 2) return _mm256_add_epi16(a, b);
  return _mm256_add_epi32(a, b);
}

template <int Width>
DINFO_WIDE inline WideVector SpreadWideValue(std::uint32_t value) {
  if constexpr (Width == 1) return _mm256_set1_epi8(static_cast<char>(value));
  if constexpr (Width == 2) return _mm256_set1_epi16(static_cast<short>(value));
  return _mm256_set1_epi32(static_cast<int>(value));
}

// Byte indexes within each half: the last lane everywhere, and every lane
// reversed.
template <int Width>
DINFO_WIDE inline WideVector LastLaneIndexes() {
  if constexpr (Width == 1) return _mm256_set1_epi8(15);
  if constexpr (Width == 2) return _mm256_set1_epi16(0x0F0E);
  return _mm256_set1_epi32(0x0F0E0D0C);
}
template <int Width>
DINFO_WIDE inline WideVector ReversedLaneIndexes() {
  if constexpr (Width == 2) {
    return _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
                            1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  }
  return _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,
                          3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
}

template <int Width, bool Swapped, bool Far>
DINFO_WIDE std::int64_t SumWide(std::uint8_t *data, std::int64_t from, std::int64_t count) {
  constexpr std::int64_t Lanes = 32 / Width;
  const WideVector lastLane = LastLaneIndexes<Width>();
  const WideVector reversed = ReversedLaneIndexes<Width == 1 ? 2 : Width>();
  WideVector carry = SpreadWideValue<Width>(SumBefore(data, from, Width, Swapped));
  std::int64_t k = from;
  for (; count - k >= Lanes; k += Lanes) {
    std::uint8_t *at = data + k * Width;
    Prefetch<Far>(at);
    WideVector x = LoadWide(at);
    if constexpr (Swapped) x = _mm256_shuffle_epi8(x, reversed);
    if constexpr (Width == 1) x = _mm256_add_epi8(x, _mm256_slli_si256(x, 1));
    if constexpr (Width <= 2) x = AddWideLanes<Width>(x, _mm256_slli_si256(x, 2));
    x = AddWideLanes<Width>(x, _mm256_slli_si256(x, 4));
    x = AddWideLanes<Width>(x, _mm256_slli_si256(x, 8));
    // Each half's total, then the low one added to the high half.
    const WideVector halves = _mm256_shuffle_epi8(x, lastLane);
    const WideVector sums = AddWideLanes<Width>(x, _mm256_permute2x128_si256(halves, halves, 0x08));
    WideVector restored = AddWideLanes<Width>(sums, carry);
    carry = AddWideLanes<Width>(
        carry, AddWideLanes<Width>(halves, _mm256_permute2x128_si256(halves, halves, 0x01)));
    if constexpr (Swapped) restored = _mm256_shuffle_epi8(restored, reversed);
    StoreWide(at, restored);
  }
  return k;
}

#undef DINFO_WIDE

template <int Width, bool Swapped, bool Far>
void SumVectorsOf(SumVectors vectors, std::uint8_t *data, std::int64_t count) {
  std::int64_t done = 0;
  if (vectors == SumVectors::Wide) done = SumWide<Width, Swapped, Far>(data, done, count);
  if (vectors != SumVectors::None) done = SumPlain<Width, Swapped, Far>(data, done, count);
  SumUnitsFrom(data, done, count, Width, Swapped);
}

template <int Width, bool Swapped>
void SumVectorsOf(SumVectors vectors, std::uint8_t *data, std::int64_t count) {
  if (count * Width >= PrefetchFrom) {
    SumVectorsOf<Width, Swapped, true>(vectors, data, count);
  } else {
    SumVectorsOf<Width, Swapped, false>(vectors, data, count);
  }
}

#endif

// Below this many bytes the 16-byte vectors are as fast.
constexpr std::int64_t WideFrom = 64;

}  // namespace

SumVectors WidestSumVectors() {
#if defined(DINFO_SUM_VECTORS)
  return CpuHasAvx2() ? SumVectors::Wide : SumVectors::Plain;
#else
  return SumVectors::None;
#endif
}

void RunningSumWith(SumVectors vectors, std::uint8_t *data, std::int64_t count, std::int32_t width,
                    ByteOrder order) {
  const bool swapped = order == ByteOrder::Swapped && width > 1;
#if defined(DINFO_SUM_VECTORS)
  if (width == 1) return SumVectorsOf<1, false>(vectors, data, count);
  if (width == 2) {
    return swapped ? SumVectorsOf<2, true>(vectors, data, count) : SumVectorsOf<2, false>(vectors, data, count);
  }
  return swapped ? SumVectorsOf<4, true>(vectors, data, count) : SumVectorsOf<4, false>(vectors, data, count);
#else
  (void)vectors;
  SumUnitsFrom(data, 0, count, width, swapped);
#endif
}

void RunningSum(std::uint8_t *data, std::int64_t count, std::int32_t width, ByteOrder order) {
  SumVectors vectors = WidestSumVectors();
  if (vectors == SumVectors::Wide && count * width < WideFrom) vectors = SumVectors::Plain;
  RunningSumWith(vectors, data, count, width, order);
}

}  // namespace dinfo
