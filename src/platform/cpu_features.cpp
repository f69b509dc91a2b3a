#include "platform/cpu_features.h"

#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#endif

namespace dinfo {
namespace {

constexpr std::uint32_t Known = 1u << 0;
constexpr std::uint32_t Avx2 = 1u << 1;
constexpr std::uint32_t FastStrings = 1u << 2;

#if defined(__x86_64__) && defined(__GNUC__)
// The register state the system saves on a switch: bit 1 the 128-bit and
// bit 2 the upper 128-bit halves.
std::uint64_t SavedRegisterState() {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
}

std::uint32_t ReadFeatures() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid_max(0, nullptr) < 7) return Known;
  __cpuid(1, eax, ebx, ecx, edx);
  const bool osSavesAvx = (ecx & bit_OSXSAVE) != 0 && (ecx & bit_AVX) != 0 &&
                          (SavedRegisterState() & 0x6u) == 0x6u;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  std::uint32_t features = Known;
  if (osSavesAvx && (ebx & bit_AVX2) != 0) features |= Avx2;
  constexpr unsigned ErmsBit = 1u << 9;   // leaf 7, ebx
  constexpr unsigned FsrmBit = 1u << 4;   // leaf 7, edx
  if ((ebx & ErmsBit) != 0 || (edx & FsrmBit) != 0) features |= FastStrings;
  return features;
}
#else
std::uint32_t ReadFeatures() { return Known; }
#endif

// Threads that come first at once each read the same answer and store it;
// the race is harmless.
std::uint32_t cachedFeatures = 0;

std::uint32_t Features() {
  std::uint32_t features = __atomic_load_n(&cachedFeatures, __ATOMIC_RELAXED);
  if (features == 0) {
    features = ReadFeatures();
    __atomic_store_n(&cachedFeatures, features, __ATOMIC_RELAXED);
  }
  return features;
}

}  // namespace

bool CpuHasAvx2() { return (Features() & Avx2) != 0; }

bool CpuHasFastStrings() { return (Features() & FastStrings) != 0; }

}  // namespace dinfo
