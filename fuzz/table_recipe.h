// The input of the table_structure harness: a recipe from which the
// writer builds a table object, then changes made to its fields. Read by
// the harness, written by fuzz/seeds.cpp. A recipe read past its end
// reads zeros.
//
//   recipe   := table mutationCount(%16) mutation*
//   table    := flags [entryCount(%8) entry*]      entryCount absent for HeaderOnly
//               [delta]                            OddSize: totalSize = stored size + int8 delta
//   entry    := kind ...  by kind & 3:
//      Typed:  kind count pattern a b  element size by (kind >> 2) & 7; Long: count (count + 1) * 32
//      Raw:    kind length(%64) pattern a b
//      Nested: kind table                          deeper than MaxDepth: a raw run instead
//      Inline: kind low high                       the location word
//   pattern  := Constant a, Ramp a + i * b, Alternate a b, or FromInput (the bytes follow)
//   mutation := target what choice a b [word]     target: a table in preorder (0 the root);
//                                                  word (4 bytes) only for the Raw choice
#ifndef DINFO_FUZZ_TABLE_RECIPE_H
#define DINFO_FUZZ_TABLE_RECIPE_H

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace dinfo::fuzz::recipe {

using Bytes = std::vector<std::uint8_t>;

// Table flags.
constexpr std::uint8_t BigEndian = 1;
constexpr std::uint8_t Scrambled = 2;
constexpr std::uint8_t Compressed = 4;
constexpr std::uint8_t DeltaCoded = 8;
constexpr std::uint8_t StrayFlag = 16;   // flag bit 7, which carries no meaning
constexpr std::uint8_t HeaderOnly = 32;  // no descriptors and totalSize 0
constexpr std::uint8_t OddSize = 64;

// Entry kinds.
constexpr std::uint8_t Typed = 0;
constexpr std::uint8_t Raw = 1;
constexpr std::uint8_t Nested = 2;
constexpr std::uint8_t Inline = 3;
constexpr std::uint8_t Long = 128;
constexpr std::int32_t ElementSizes[8] = {1, 2, 4, 1, 2, 3, 8, 16};
constexpr std::uint8_t TypedOf(std::uint8_t sizeIndex, bool isLong = false) {
  return std::uint8_t(Typed | (sizeIndex << 2) | (isLong ? Long : 0));
}

// Patterns.
constexpr std::uint8_t Constant = 0;
constexpr std::uint8_t Ramp = 1;
constexpr std::uint8_t Alternate = 2;
constexpr std::uint8_t FromInput = 3;

constexpr int MaxDepth = 3;
constexpr std::size_t MaxTables = 16;
constexpr std::size_t MaxDataBytes = 24 * 1024;

// Mutations (what % 8) and their choices (choice % count, Raw the last,
// which reads a word). Entries are
// named by index modulo the target's descriptors; `pos` is where the
// writer put an entry, `size` the target's stored size, `d` an int8.
enum What : std::uint8_t {
  TotalSize,        // 0, 16, size-1, size+1, size-8, size+8, size of table a, size+d(a), Raw
  DescriptorCount,  // n+d(a), 0, n-1, n+1, Raw
  Flags,            // codings from a's top 3 bits | a's low 5 bits, natural ^ (1 << a%32), 0, Raw
  Tag,              // of entry a: nested, raw run of b bytes, inline, tag of entry b,
                    //   typed (b%16, count a), own + 1, Raw
  Location,         // of entry a: pos of entry b, pos of entry a + d(b), size + d(b), 0,
                    //   dataStart, Raw
  Swap,             // descriptors a and b exchange their words
  Share,            // descriptor b takes descriptor a's words
  StoredByte,       // byte (a | b << 8) % size of the stored form: 0, 0x9A, 0xDC, 0xF8, 0xFF, Raw
};

// Seed writing.
inline void Append(Bytes &out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }
inline void Mutation(Bytes &out, std::uint8_t target, What what, std::uint8_t choice, std::uint8_t a,
                     std::uint8_t b) {
  Append(out, {target, what, choice, a, b});
}

}  // namespace dinfo::fuzz::recipe

#endif  // DINFO_FUZZ_TABLE_RECIPE_H
