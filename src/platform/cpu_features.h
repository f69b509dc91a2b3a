// What the processor offers beyond the x86-64 baseline, read with cpuid
// (and xgetbv for the state the system saves) on first use. Needs no C
// runtime start-up, so the DLL chooses its wide paths as the Linux library
// does. Every answer is false on other processors.
#ifndef DINFO_PLATFORM_CPU_FEATURES_H
#define DINFO_PLATFORM_CPU_FEATURES_H

namespace dinfo {

// 256-bit integer vectors, with their registers saved by the system.
bool CpuHasAvx2();

// Fast `rep movsb`/`rep stosb` for long blocks (ERMS or FSRM).
bool CpuHasFastStrings();

}  // namespace dinfo

#endif  // DINFO_PLATFORM_CPU_FEATURES_H
