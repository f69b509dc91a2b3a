// Short blocks are done with a few unaligned loads and stores that may
// overlap (every load before any store, so a move is safe whatever the
// overlap); long ones with 64-byte steps of aligned 16-byte stores between
// a head and a tail loaded first, or with `rep movsb`/`rep stosb` where the
// processor makes those fast. With AVX2, blocks from 512 bytes on take
// 128-byte steps of 32-byte vectors at every length: measured on an AMD
// processor with fast strings, those steps beat `rep movsb` two to one
// from 2 KiB to 256 KiB and match it beyond. Nothing here may call memcpy, memmove or
// memset, which are these functions in the DLL; the file is built without
// loop-to-call rewriting (cmake/windows_dll.cmake).
#include "platform/windows_block_ops.h"

#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#include "platform/cpu_features.h"
#endif

namespace dinfo {
namespace {

using Byte = unsigned char;

#if defined(__x86_64__) && defined(__GNUC__)

// Words read and written at any address, without memcpy.
template <typename Word>
struct __attribute__((packed, may_alias)) Loose {
  Word word;
};
using LooseU64 = Loose<std::uint64_t>;
using LooseU32 = Loose<std::uint32_t>;
using LooseU16 = Loose<std::uint16_t>;

template <typename LooseWord>
inline auto Load(const Byte *at) {
  return reinterpret_cast<const LooseWord *>(at)->word;
}
template <typename LooseWord, typename Word>
inline void Store(Byte *at, Word word) {
  reinterpret_cast<LooseWord *>(at)->word = word;
}

using Vector = __m128i;
constexpr std::size_t VectorSize = 16;
constexpr std::size_t StepSize = 4 * VectorSize;
// From here on the processor's string moves win, where they are fast.
constexpr std::size_t StringOpsFrom = 2048;

inline Vector LoadVector(const Byte *at) { return _mm_loadu_si128(reinterpret_cast<const Vector *>(at)); }
inline void StoreVector(Byte *at, Vector v) { _mm_storeu_si128(reinterpret_cast<Vector *>(at), v); }
inline void StoreAlignedVector(Byte *at, Vector v) { _mm_store_si128(reinterpret_cast<Vector *>(at), v); }

// Up to 16 bytes: the first and the last word of the widest size that fits.
void MoveShort(Byte *to, const Byte *from, std::size_t length) {
  if (length >= 8) {
    const std::uint64_t head = Load<LooseU64>(from), tail = Load<LooseU64>(from + length - 8);
    Store<LooseU64>(to, head);
    Store<LooseU64>(to + length - 8, tail);
  } else if (length >= 4) {
    const std::uint32_t head = Load<LooseU32>(from), tail = Load<LooseU32>(from + length - 4);
    Store<LooseU32>(to, head);
    Store<LooseU32>(to + length - 4, tail);
  } else if (length >= 2) {
    const std::uint16_t head = Load<LooseU16>(from), tail = Load<LooseU16>(from + length - 2);
    Store<LooseU16>(to, head);
    Store<LooseU16>(to + length - 2, tail);
  } else if (length == 1) {
    to[0] = from[0];
  }
}

// 17 to 64 bytes: two vectors from each end.
void MoveMedium(Byte *to, const Byte *from, std::size_t length) {
  if (length <= 2 * VectorSize) {
    const Vector head = LoadVector(from), tail = LoadVector(from + length - VectorSize);
    StoreVector(to, head);
    StoreVector(to + length - VectorSize, tail);
    return;
  }
  const Vector h0 = LoadVector(from), h1 = LoadVector(from + VectorSize);
  const Vector t0 = LoadVector(from + length - 2 * VectorSize), t1 = LoadVector(from + length - VectorSize);
  StoreVector(to, h0);
  StoreVector(to + VectorSize, h1);
  StoreVector(to + length - 2 * VectorSize, t0);
  StoreVector(to + length - VectorSize, t1);
}

// Copies the 64 bytes at `from` to the aligned `to`, all loaded first.
inline void MoveStep(Byte *to, const Byte *from) {
  const Vector v0 = LoadVector(from), v1 = LoadVector(from + VectorSize);
  const Vector v2 = LoadVector(from + 2 * VectorSize), v3 = LoadVector(from + 3 * VectorSize);
  StoreAlignedVector(to, v0);
  StoreAlignedVector(to + VectorSize, v1);
  StoreAlignedVector(to + 2 * VectorSize, v2);
  StoreAlignedVector(to + 3 * VectorSize, v3);
}

// More than 64 bytes, front to back: safe unless the destination starts
// inside the source. Steps run from the first aligned destination address;
// the first vector and the last step, loaded before any store, cover the
// unaligned ends.
void MoveLongForward(Byte *to, const Byte *from, std::size_t length) {
  const Vector head = LoadVector(from);
  const Byte *lastFrom = from + length - StepSize;
  const Vector t0 = LoadVector(lastFrom), t1 = LoadVector(lastFrom + VectorSize);
  const Vector t2 = LoadVector(lastFrom + 2 * VectorSize), t3 = LoadVector(lastFrom + 3 * VectorSize);
  std::size_t at = VectorSize - (reinterpret_cast<std::uintptr_t>(to) & (VectorSize - 1));
  for (; length - at > StepSize; at += StepSize) MoveStep(to + at, from + at);
  Byte *lastTo = to + length - StepSize;
  StoreVector(lastTo, t0);
  StoreVector(lastTo + VectorSize, t1);
  StoreVector(lastTo + 2 * VectorSize, t2);
  StoreVector(lastTo + 3 * VectorSize, t3);
  StoreVector(to, head);
}

// More than 64 bytes, back to front, for a destination inside the source:
// the mirror of MoveLongForward.
void MoveLongBackward(Byte *to, const Byte *from, std::size_t length) {
  const Vector tail = LoadVector(from + length - VectorSize);
  const Vector h0 = LoadVector(from), h1 = LoadVector(from + VectorSize);
  const Vector h2 = LoadVector(from + 2 * VectorSize), h3 = LoadVector(from + 3 * VectorSize);
  std::size_t end = length - (reinterpret_cast<std::uintptr_t>(to + length) & (VectorSize - 1));
  for (; end > StepSize; end -= StepSize) MoveStep(to + end - StepSize, from + end - StepSize);
  StoreVector(to, h0);
  StoreVector(to + VectorSize, h1);
  StoreVector(to + 2 * VectorSize, h2);
  StoreVector(to + 3 * VectorSize, h3);
  StoreVector(to + length - VectorSize, tail);
}

// The 256-bit forms of the long moves and fills, for processors with AVX2:
// the same shape with 32-byte vectors and 128-byte steps, for blocks from
// WideFrom bytes on (shorter ones gain nothing over the 16-byte steps).
// Vectors over 16-byte aligned stack slots are fine: the DLL's build
// encodes aligned moves as unaligned ones (cmake/windows_dll.cmake).
using WideVector = __m256i;
constexpr std::size_t WideSize = 32;
constexpr std::size_t WideStepSize = 4 * WideSize;
constexpr std::size_t WideFrom = 512;

#define DINFO_WIDE __attribute__((target("avx2")))

DINFO_WIDE inline WideVector LoadWide(const Byte *at) {
  return _mm256_loadu_si256(reinterpret_cast<const WideVector *>(at));
}
DINFO_WIDE inline void StoreWide(Byte *at, WideVector v) { _mm256_storeu_si256(reinterpret_cast<WideVector *>(at), v); }
DINFO_WIDE inline void StoreAlignedWide(Byte *at, WideVector v) {
  _mm256_store_si256(reinterpret_cast<WideVector *>(at), v);
}

DINFO_WIDE inline void MoveWideStep(Byte *to, const Byte *from) {
  const WideVector v0 = LoadWide(from), v1 = LoadWide(from + WideSize);
  const WideVector v2 = LoadWide(from + 2 * WideSize), v3 = LoadWide(from + 3 * WideSize);
  StoreAlignedWide(to, v0);
  StoreAlignedWide(to + WideSize, v1);
  StoreAlignedWide(to + 2 * WideSize, v2);
  StoreAlignedWide(to + 3 * WideSize, v3);
}

DINFO_WIDE void MoveWideForward(Byte *to, const Byte *from, std::size_t length) {
  const WideVector head = LoadWide(from);
  const Byte *lastFrom = from + length - WideStepSize;
  const WideVector t0 = LoadWide(lastFrom), t1 = LoadWide(lastFrom + WideSize);
  const WideVector t2 = LoadWide(lastFrom + 2 * WideSize), t3 = LoadWide(lastFrom + 3 * WideSize);
  std::size_t at = WideSize - (reinterpret_cast<std::uintptr_t>(to) & (WideSize - 1));
  for (; length - at > WideStepSize; at += WideStepSize) MoveWideStep(to + at, from + at);
  Byte *lastTo = to + length - WideStepSize;
  StoreWide(lastTo, t0);
  StoreWide(lastTo + WideSize, t1);
  StoreWide(lastTo + 2 * WideSize, t2);
  StoreWide(lastTo + 3 * WideSize, t3);
  StoreWide(to, head);
}

DINFO_WIDE void MoveWideBackward(Byte *to, const Byte *from, std::size_t length) {
  const WideVector tail = LoadWide(from + length - WideSize);
  const WideVector h0 = LoadWide(from), h1 = LoadWide(from + WideSize);
  const WideVector h2 = LoadWide(from + 2 * WideSize), h3 = LoadWide(from + 3 * WideSize);
  std::size_t end = length - (reinterpret_cast<std::uintptr_t>(to + length) & (WideSize - 1));
  for (; end > WideStepSize; end -= WideStepSize) MoveWideStep(to + end - WideStepSize, from + end - WideStepSize);
  StoreWide(to, h0);
  StoreWide(to + WideSize, h1);
  StoreWide(to + 2 * WideSize, h2);
  StoreWide(to + 3 * WideSize, h3);
  StoreWide(to + length - WideSize, tail);
}

DINFO_WIDE void FillWide(Byte *to, Byte value, std::size_t length) {
  const WideVector v = _mm256_set1_epi8(static_cast<char>(value));
  StoreWide(to, v);
  StoreWide(to + WideSize, v);
  std::size_t at = WideSize - (reinterpret_cast<std::uintptr_t>(to) & (WideSize - 1));
  for (; length - at > WideStepSize; at += WideStepSize) {
    StoreAlignedWide(to + at, v);
    StoreAlignedWide(to + at + WideSize, v);
    StoreAlignedWide(to + at + 2 * WideSize, v);
    StoreAlignedWide(to + at + 3 * WideSize, v);
  }
  Byte *lastTo = to + length - WideStepSize;
  StoreWide(lastTo, v);
  StoreWide(lastTo + WideSize, v);
  StoreWide(lastTo + 2 * WideSize, v);
  StoreWide(lastTo + 3 * WideSize, v);
}

#undef DINFO_WIDE

void MoveByString(Byte *to, const Byte *from, std::size_t length) {
  __asm__ volatile("rep movsb" : "+D"(to), "+S"(from), "+c"(length) : : "memory");
}

void FillByString(Byte *to, Byte value, std::size_t length) {
  __asm__ volatile("rep stosb" : "+D"(to), "+c"(length) : "a"(value) : "memory");
}

void FillShort(Byte *to, Byte value, std::size_t length) {
  const std::uint64_t word = 0x0101010101010101u * value;
  if (length >= 8) {
    Store<LooseU64>(to, word);
    Store<LooseU64>(to + length - 8, word);
  } else if (length >= 4) {
    Store<LooseU32>(to, static_cast<std::uint32_t>(word));
    Store<LooseU32>(to + length - 4, static_cast<std::uint32_t>(word));
  } else if (length >= 2) {
    Store<LooseU16>(to, static_cast<std::uint16_t>(word));
    Store<LooseU16>(to + length - 2, static_cast<std::uint16_t>(word));
  } else if (length == 1) {
    to[0] = value;
  }
}

// 17 bytes or more: two vectors at each end, then aligned steps between;
// the last step needs only its first two vectors, the ends hold the rest.
void FillVectors(Byte *to, Vector value, std::size_t length) {
  StoreVector(to, value);
  StoreVector(to + length - VectorSize, value);
  if (length <= 2 * VectorSize) return;
  StoreVector(to + VectorSize, value);
  StoreVector(to + length - 2 * VectorSize, value);
  if (length <= StepSize) return;
  std::size_t at = VectorSize - (reinterpret_cast<std::uintptr_t>(to) & (VectorSize - 1));
  for (; length - at > StepSize; at += StepSize) {
    StoreAlignedVector(to + at, value);
    StoreAlignedVector(to + at + VectorSize, value);
    StoreAlignedVector(to + at + 2 * VectorSize, value);
    StoreAlignedVector(to + at + 3 * VectorSize, value);
  }
  Byte *lastTo = to + length - StepSize;
  StoreVector(lastTo, value);
  StoreVector(lastTo + VectorSize, value);
}

}  // namespace

void *BlockMove(void *destination, const void *source, std::size_t length) {
  auto *to = static_cast<Byte *>(destination);
  const auto *from = static_cast<const Byte *>(source);
  const auto toAddress = reinterpret_cast<std::uintptr_t>(to);
  const auto fromAddress = reinterpret_cast<std::uintptr_t>(from);
  if (length <= VectorSize) {
    MoveShort(to, from, length);
  } else if (length <= StepSize) {
    MoveMedium(to, from, length);
  } else if (length >= WideFrom && CpuHasAvx2()) {
    if (toAddress - fromAddress < length) {
      MoveWideBackward(to, from, length);
    } else {
      MoveWideForward(to, from, length);
    }
  } else if (toAddress - fromAddress < length) {
    MoveLongBackward(to, from, length);
  } else if (length >= StringOpsFrom && fromAddress - toAddress >= length && CpuHasFastStrings()) {
    MoveByString(to, from, length);  // apart: neither starts inside the other
  } else {
    MoveLongForward(to, from, length);
  }
  return destination;
}

void *BlockFill(void *destination, int byteValue, std::size_t length) {
  auto *to = static_cast<Byte *>(destination);
  const auto value = static_cast<Byte>(byteValue);
  if (length <= VectorSize) {
    FillShort(to, value, length);
  } else if (length >= WideFrom && CpuHasAvx2()) {
    FillWide(to, value, length);
  } else if (length >= StringOpsFrom && CpuHasFastStrings()) {
    FillByString(to, value, length);
  } else {
    FillVectors(to, _mm_set1_epi8(static_cast<char>(value)), length);
  }
  return destination;
}

#else  // not x86-64: a byte at a time

}  // namespace

void *BlockMove(void *destination, const void *source, std::size_t length) {
  auto *to = static_cast<Byte *>(destination);
  const auto *from = static_cast<const Byte *>(source);
  if (reinterpret_cast<std::uintptr_t>(to) - reinterpret_cast<std::uintptr_t>(from) >= length) {
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
  } else {
    for (std::size_t i = length; i > 0; --i) to[i - 1] = from[i - 1];
  }
  return destination;
}

void *BlockFill(void *destination, int byteValue, std::size_t length) {
  auto *to = static_cast<Byte *>(destination);
  for (std::size_t i = 0; i < length; ++i) to[i] = static_cast<Byte>(byteValue);
  return destination;
}

#endif

}  // namespace dinfo
