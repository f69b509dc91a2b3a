// LZW expansion of compressed table object bodies.
//
// The stream: codes of 9 to 12 bits, packed most significant bit first.
// 256 clears the table and sets the width back to 9, 257 ends the stream.
// Each data code after the first of a clear assigns the next entry, from
// 258 on: the previous code's string plus the first byte of this one's.
//
// Its quirks, each of which a valid stream may rely on:
//  - The width grows one code early: to 10 bits once 511 is the next entry,
//    not 512, and likewise at 1023 and 2047.
//  - A stream must open with a clear code; a data code before it is damage.
//  - The first code after a clear is taken as its low byte, whatever its
//    value: 258 or more is not refused, and assigns nothing.
//  - A clear at 9 bits leaves the table's entries as they were: codes that
//    reach them later (through such a first code of 258 or more) read the
//    stale strings of the table before.
//  - A clear at 10 bits or more empties the table: an emptied entry reads
//    as prefix 0 and suffix 0, so it spells zero bytes.
//  - A code equal to the entry being assigned is the previous string plus
//    its own first byte; a code above that is damage.
//  - A full table (next entry 4096) accepts only a clear or an end code;
//    any data code is damage, not a frozen dictionary.
//  - A string is at most 4096 bytes; a chain of stale entries that loops
//    (an entry its own prefix) reaches that limit and is damage.
//  - Running out of input where a code would begin ends the stream as an
//    end code does; leftover bits and anything after an end code are
//    ignored.
//  - The whole output is at most 2^30 bytes.
#ifndef DINFO_LZW_LZW_H
#define DINFO_LZW_LZW_H

#include <cstdint>

#include "common/block.h"
#include "common/fault.h"

namespace dinfo {

// Bytes kept in front of an expansion's output: room for a table object's
// header, so that the expansion becomes the object without a copy.
constexpr std::int32_t OutputHeaderRoom = 16;

// The outcome of ExpandLzw: Fault::None and the output block, or a fault
// and an empty block.
struct LzwExpansion {
  Fault fault = Fault::None;
  // OutputHeaderRoom bytes, not set, then the decoded bytes; its view is
  // exactly that long.
  OwnedBlock output;
};

// Decodes the `length` bytes of the stream at `data` (at least one byte)
// into a new block. Faults: StreamDamaged (an empty stream or a broken
// rule above), OutputTooLarge, NoMemory. Nothing is held after a fault.
LzwExpansion ExpandLzw(const std::uint8_t *data, std::int32_t length);

// The outcome of ExpandLzwInto: the bytes written into the caller's
// output, and about how many bytes of the stream their codes took.
struct LzwIntoOutput {
  Fault fault = Fault::None;
  std::int64_t written = 0;
  std::int64_t consumed = 0;
};

// Decodes the stream into `output`, which never grows: a stream that
// writes more stops with OutputTooLarge once `output` is full (the bytes
// written are then the expansion's first). Other faults as ExpandLzw's.
LzwIntoOutput ExpandLzwInto(const std::uint8_t *data, std::int32_t length, Block output);

// The length of the stream's whole expansion, from its codes alone (about
// a cycle a code), when it decodes without a fault and its table stays
// plain (each clear code followed by a literal); -1 otherwise, or without
// memory for the lengths, when only decoding it tells.
std::int64_t MeasureLzwExpansion(const std::uint8_t *data, std::int32_t length);

}  // namespace dinfo

#endif  // DINFO_LZW_LZW_H
