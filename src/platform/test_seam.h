// Test-only view into the Linux KERNEL32 layer: counts of live blocks and
// open handles, and failure injection for allocations and reads. The library
// itself never calls these; tests use them to prove that no path leaks and
// that every failure gives the documented result.
#ifndef DINFO_PLATFORM_TEST_SEAM_H
#define DINFO_PLATFORM_TEST_SEAM_H

#include <cstdint>

namespace dinfo::seam {

std::int64_t LiveBlocks();
std::int64_t OpenHandles();
// Total allocation attempts since the process started (successful or not).
std::int64_t AllocationAttempts();
std::int64_t ReadAttempts();
// Reads made of the file system itself; several ReadFile calls may share one.
std::int64_t SystemReads();

// The bytes usable in a block that GlobalAlloc gave: at least those asked
// for; on Linux a few dozen more for a small block, or up to a page more
// for a large one, as the C library rounds them.
std::int64_t BlockBytes(const void *block);

// The bytes of every block held now (each as BlockBytes sizes it), and the
// most held at once since ResetPeakLiveBytes: what a call takes at its
// peak is PeakLiveBytes() after the call less LiveBytes() before it. One
// count for the whole process.
std::int64_t LiveBytes();
std::int64_t PeakLiveBytes();
void ResetPeakLiveBytes();

// Lets `successes` more allocations succeed, then fails every later one.
// A negative value switches injection off.
void FailAllocationsAfter(std::int64_t successes);
// Lets `successes` more allocations succeed, fails the next one alone and
// lets every later one succeed again: a refusal a call may get over. A
// negative value switches injection off.
void FailOneAllocationAfter(std::int64_t successes);
// Fails every allocation of more than `bytes` bytes (memory that runs out
// for large blocks only). A negative value switches it off.
void FailAllocationsLargerThan(std::int64_t bytes);
// Lets `successes` more ReadFile calls succeed, then makes every later one
// come back one byte short. A negative value switches injection off.
void ShortenReadsAfter(std::int64_t successes);
// Whether an injected failure has fired since injection was last set.
bool InjectedFailureFired();

// One ReadFile call: where it read and how much it asked for.
struct TracedRead {
  std::int64_t position;
  std::int64_t length;
};
// While set, every ReadFile call is noted in `reads` (up to `capacity`
// entries) and counted in *count, which starts at 0. Null switches tracing
// off. For one thread at a time: benchmarks replay a call's reads with it.
void TraceReads(TracedRead *reads, std::int64_t capacity, std::int64_t *count);

}  // namespace dinfo::seam

#endif  // DINFO_PLATFORM_TEST_SEAM_H
