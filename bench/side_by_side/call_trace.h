// A call's own I/O and memory, step by step: the files it opened, where it
// moved the file pointer, what it read (position, length, and into which
// of its blocks at which offset), and the blocks it took and gave back.
// Recorded from the DLL's KERNEL32 imports, saved as text, and replayed as
// the floor of the call on either platform.
#ifndef DINFO_BENCH_SIDE_BY_SIDE_CALL_TRACE_H
#define DINFO_BENCH_SIDE_BY_SIDE_CALL_TRACE_H

#include <cstdint>
#include <string>
#include <vector>

namespace dinfo::bench {

enum class StepKind { Open, Seek, Read, Allocate, Free, Close };

struct Step {
  StepKind kind;
  std::int64_t position = 0;  // seek and read
  std::int64_t length = 0;    // read: bytes asked for; allocate: bytes
  std::int32_t block = -1;    // read (-1: a buffer of the call's own), allocate, free
  std::int64_t offset = 0;    // read: where in the block
  std::uint32_t flags = 0;    // allocate
};

using CallTrace = std::vector<Step>;

bool SaveTrace(const std::string &path, const CallTrace &trace);
bool LoadTrace(const std::string &path, CallTrace &trace);

// The blocks a trace takes, and the largest read into no block of its own.
std::int32_t BlocksOf(const CallTrace &trace);
std::int64_t LooseReadBytes(const CallTrace &trace);

// What a call held: the most bytes of blocks at once, the block it gave
// back last (the table a DIGetTable call returns, released after it) and
// its longest read (the table's record).
struct HeldBytes {
  std::int64_t peak = 0;
  std::int64_t lastFreed = 0;
  std::int64_t longestRead = 0;
};
HeldBytes HeldBytesOf(const CallTrace &trace);

#if defined(_WIN32)
// Redirects dinfo.dll's imports to recorders; false when it cannot.
bool HookLibraryImports();
// Records every step of the DLL between the two.
void StartRecording();
CallTrace StopRecording();
#endif

// Makes the trace's steps on this platform, on the file at `path`.
bool ReplayTrace(const CallTrace &trace, const std::string &path);

}  // namespace dinfo::bench

#endif  // DINFO_BENCH_SIDE_BY_SIDE_CALL_TRACE_H
