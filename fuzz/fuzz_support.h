// Shared pieces of the fuzz harnesses: the input written as the information
// file that the exports open, the caller's conditions taken from the input,
// and the accounting that turns a block or handle outliving a call into a
// crash the fuzzer reports.
#ifndef DINFO_FUZZ_FUZZ_SUPPORT_H
#define DINFO_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "dinfo/dinfo.h"

namespace dinfo::fuzz {

// The name of the information file inside the harness's folder.
inline constexpr const char *FileName = "fuzz.dat";

// Writes the bytes as the information file; returns its folder, a UTF-16
// path of this process's own temporary folder. With `plainRecords` every
// record of the main section is taken to hold its block unscrambled, and
// its trailer is rewritten so that unscrambling leaves the bytes as they
// are (the key 0): a mutated keyed block then still reads as one, instead
// of unscrambling to noise.
const DIWideChar *WriteInformationFile(const std::uint8_t *data, std::size_t size,
                                       bool plainRecords);

// The caller's side of a query, taken from the first ConditionBytes bytes
// of an input: selector (int32), pairCount (int16), a flag byte (bit 0:
// pass null pairs; bit 1: plain records, see above), one unused byte, then
// three pairs of (index, value). The rest of the input is the file.
// A pairCount above 3 is taken modulo 4 so that no pair is read outside
// the array; zero or negative counts stay as they are.
inline constexpr std::size_t ConditionBytes = 32;
inline constexpr std::int16_t MaxPairs = 3;

struct Query {
  std::int32_t selector;
  std::int16_t pairCount;
  bool nullPairs;
  bool plainRecords;
  ConditionPair pairs[MaxPairs];
  const ConditionPair *Pairs() const { return nullPairs ? nullptr : pairs; }
};

// False when the input is too short to hold the conditions.
bool TakeQuery(const std::uint8_t *data, std::size_t size, Query *query);

// Takes the query from the input and writes the rest as the information
// file; returns its folder, or null when the input is too short.
const DIWideChar *TakeInput(const std::uint8_t *data, std::size_t size, Query *query);

// Lists as long as a 16-bit count can reach, shared by the harnesses: a
// write past them is an overflow that the sanitizers report.
inline constexpr std::size_t ListLength = 32767;
NamedEntry *NamedEntryList();
IntegerTriplet *TripletList();

// The blocks and handles held by the library right now.
struct Holdings {
  std::int64_t blocks;
  std::int64_t handles;
};
Holdings Held();

// Aborts, naming `what`, unless the condition holds. Used for invariants
// that no input may break.
void Require(bool condition, const char *what);

// Aborts unless the library holds exactly what it held before.
void RequireHeld(const Holdings &before);

// Checks what a caller may rely on in a prepared table object: its magic
// reads in one of the two byte orders, the scrambled and compressed flags
// are clear, and all `totalSize` bytes can be read (the sanitizers report
// a size that reaches past the block).
void RequirePreparedTable(const std::uint8_t *table);

// True when `result` is one of `codes`.
bool IsOneOf(std::int32_t result, std::initializer_list<std::int32_t> codes);

}  // namespace dinfo::fuzz

#endif  // DINFO_FUZZ_FUZZ_SUPPORT_H
