// The LZW decoder on the input's bytes, twice over. The first byte chooses
// a header (bit 0: the opposite byte order; bit 1: FlagDeltaCoded beside
// FlagCompressed); the rest is a code stream.
//  1. DecodeLzw on the stream, checked against the plain reference decoder
//     of the tests: the same fault, and on success the same bytes, which
//     ExpandLzw must give too. A failed decoder is run once more, as a
//     careless caller might. A stream that decodes is also measured and
//     decoded into a caller's block of its length and of a byte less.
//  2. DecompressTableObject on the header and the stream padded with zero
//     bytes to a multiple of 8: a new block whose header keeps the order
//     and flags and whose size is its block's, or null as the decoder says.
#include <algorithm>

#include "common/block.h"
#include "common/bytes.h"
#include "fuzz_support.h"
#include "lzw_reference.h"
#include "lzw/lzw.h"
#include "lzw/lzw_decoder.h"
#include "tableobj/table_object.h"

namespace {

using namespace dinfo;
using fuzz::Require;

// A stream that decodes: its measured length, when the measure can tell,
// is the decoded one; decoding into a block of exactly that length gives
// the same bytes, and into one a byte shorter stops full, with a prefix.
void CheckFixedOutputs(const std::uint8_t *stream, std::int32_t length, const writer::Bytes &expected) {
  const std::int64_t measured = MeasureLzwExpansion(stream, length);
  Require(measured == -1 || measured == std::int64_t(expected.size()), "the measured length is not the decoded one");
  const OwnedBlock exact = AllocateBlock(static_cast<std::int64_t>(expected.size()) + 1);
  if (exact.empty()) return;
  const Block whole = exact.get().first(expected.size());
  const LzwIntoOutput into = ExpandLzwInto(stream, length, whole);
  if (into.fault == Fault::NoMemory) return;
  Require(into.fault == Fault::None && into.written == std::int64_t(expected.size()) &&
              std::equal(whole.begin(), whole.end(), expected.begin()),
          "decoding into a block of the decoded length gave other bytes");
  if (expected.empty()) return;
  const Block shorter = exact.get().first(expected.size() - 1);
  const LzwIntoOutput cut = ExpandLzwInto(stream, length, shorter);
  if (cut.fault == Fault::NoMemory) return;
  Require(cut.fault == Fault::OutputTooLarge && cut.written <= std::int64_t(shorter.size()) &&
              std::equal(shorter.begin(), shorter.begin() + cut.written, expected.begin()),
          "decoding into a block too short did not stop with a prefix");
}

// The decoded length (or -1 after a fault), after checking the fault and
// the bytes against the reference decoder, and ExpandLzw against both.
std::int64_t DecodeBoth(const std::uint8_t *stream, std::int32_t length) {
  Fault fault = Fault::None;
  std::int64_t decoded = 0;
  {
    const OwnedLzwDecoder decoder;
    if (decoder.get() == nullptr) return -1;
    fault = DecodeLzw(stream, length, decoder.get());
    test::ReferenceLzw reference;
    const Fault expected = reference.Decode(writer::Bytes(stream, stream + length));
    Require(fault == expected, "DecodeLzw and the reference decoder disagree");
    decoded = decoder->outputPos - decoder->outputStart;
    if (fault == Fault::None) {
      Require(std::size_t(decoded) == reference.output.size() &&
                  std::equal(decoder->outputStart, decoder->outputPos, reference.output.begin()),
              "DecodeLzw decoded other bytes than the reference decoder");
    } else {
      DecodeLzw(stream, length, decoder.get());
    }
    const LzwExpansion expansion = ExpandLzw(stream, length);
    Require(expansion.fault == fault, "ExpandLzw and DecodeLzw disagree");
    if (fault == Fault::None) {
      const Block output = expansion.output.get();
      Require(std::equal(output.begin() + OutputHeaderRoom, output.end(), reference.output.begin(),
                         reference.output.end()),
              "ExpandLzw decoded other bytes than the reference decoder");
      CheckFixedOutputs(stream, length, reference.output);
    }
  }
  return fault == Fault::None ? decoded : -1;
}

// DecompressTableObject on a header and the stream; returns whether it
// gave an expanded object.
bool Decompress(const std::uint8_t *stream, std::size_t length, ByteOrder order, std::uint32_t flags) {
  const std::size_t bodyLength = (length + 7) / 8 * 8;
  const OwnedBlock owned = AllocateBlock(static_cast<std::int64_t>(TableHeaderSize + bodyLength));
  if (owned.empty()) return false;
  const Block object = owned.get();
  WriteTableWord(object.data(), TableObjectMagic, order);
  WriteTableWord(object.data() + 4, static_cast<std::uint32_t>(object.size()), order);
  WriteTableWord(object.data() + 8, 0, order);
  WriteTableWord(object.data() + 12, flags, order);
  CopyBytes(stream, object.data() + TableHeaderSize, static_cast<std::int32_t>(length));
  const TableInBlock expanded = DecompressTableObject(object);
  const bool made = expanded.fault == Fault::None;
  if (made) {
    Require(!expanded.made.empty(), "a compressed object came back unexpanded");
    TableHeader header{};
    Require(ReadTableHeader(expanded.object, &header), "an expanded object has no magic");
    Require(header.order == order, "expansion changed the byte order");
    Require(header.flags == (flags & ~FlagCompressed), "expansion changed the flags");
    Require(std::size_t(header.totalSize) == expanded.object.size(),
            "an expanded object's size is not its block's");
  }
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const ByteOrder order = (data[0] & 1) != 0 ? ByteOrder::Swapped : ByteOrder::Native;
  const std::uint32_t flags = FlagCompressed | ((data[0] & 2) != 0 ? FlagDeltaCoded : 0);
  const std::uint8_t *stream = data + 1;
  const auto length = static_cast<std::int32_t>(size - 1);
  const fuzz::Holdings before = fuzz::Held();
  const std::int64_t decoded = length > 0 ? DecodeBoth(stream, length) : -1;
  const bool expanded = Decompress(stream, std::size_t(length), order, flags);
  // Without padding both see the same stream.
  if (length > 0 && length % 8 == 0) {
    Require(expanded == (decoded >= 0 && decoded % 8 == 0), "expansion disagrees with the decoder");
  }
  fuzz::RequireHeld(before);
  return 0;
}
