// Expansion of a compressed table object into a new block: the decoder's
// output buffer, which keeps room for the header in front, or a copy when
// that buffer is much larger than the object. The header stays
// as stored (byte order, magic, descriptorCount, other flags) except for
// totalSize, which becomes 16 + the expanded length, and FlagCompressed.
#include "tableobj/lzw_decoder.h"
#include "tableobj/table_object.h"

namespace dinfo {
namespace {

// The expanded body must be whole descriptors' worth of 8-byte units and
// must hold the descriptor table the header announces, or later steps
// would read past the block.
bool ExpansionFits(std::int32_t expandedLength, const TableHeader &header) {
  return expandedLength >= 0 && expandedLength % DescriptorSize == 0 &&
         std::int64_t{DescriptorSize} * header.descriptorCount <= expandedLength;
}

// The decoder's buffer, with the header written into the room in front of
// it, becomes the expanded object, unless the buffer is more than an eighth
// larger than the object: then the object moves to a block of its own size.
Block ExpandedObject(std::int32_t length, const TableHeader &header, LzwDecoder *decoder) {
  if (!ExpansionFits(length, header)) return {};
  const std::int64_t objectSize = std::int64_t{length} + TableHeaderSize;
  const std::int64_t bufferSize = (decoder->outputEnd - decoder->outputStart) + OutputHeaderRoom;
  Block expanded{};
  if (bufferSize - objectSize > objectSize / 8) {
    expanded = AllocateBlockToOverwrite(objectSize);
    if (expanded.empty()) return {};
    CopyBytes(decoder->outputStart, expanded.data() + TableHeaderSize, length);
  } else {
    expanded = TakeLzwOutput(decoder);
  }
  std::uint8_t *const at = expanded.data();
  WriteTableWord(at, TableObjectMagic, header.order);
  WriteTableWord(at + 4, static_cast<std::uint32_t>(objectSize), header.order);
  WriteTableWord(at + 8, static_cast<std::uint32_t>(header.descriptorCount), header.order);
  WriteTableWord(at + 12, header.flags & ~FlagCompressed, header.order);
  return expanded;
}

}  // namespace

Block DecompressTableObject(Block object) {
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return {};
  const std::int32_t totalSize = header.totalSize;
  if (totalSize == -1 || totalSize % 8 != 0 || totalSize < TableHeaderSize) return {};
  if ((header.flags & FlagCompressed) == 0) return object;
  // The stored body must lie inside the block it came in.
  if (!RangeFits(static_cast<std::int64_t>(object.size()), 0, totalSize)) return {};

  LzwDecoder *decoder = CreateLzwDecoder();
  if (decoder == nullptr) return {};
  std::uint8_t *output = nullptr;
  const std::int32_t length =
      DecodeLzw(object.data() + TableHeaderSize, totalSize - TableHeaderSize, &output, decoder);
  Block expanded = length < 0 ? Block{} : ExpandedObject(length, header, decoder);
  ReleaseLzwDecoder(decoder);
  return expanded;
}

}  // namespace dinfo
