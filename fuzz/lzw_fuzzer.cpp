// DecompressTableObject on the input as a compressed body. The first byte
// chooses the header: bit 0 the opposite byte order, bit 1 FlagDeltaCoded
// beside FlagCompressed. The body is the rest, padded with zero bytes to a
// multiple of 8 as the header's totalSize requires.
#include "common/block.h"
#include "common/bytes.h"
#include "fuzz_support.h"
#include "tableobj/table_object.h"


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo;
  using namespace dinfo::fuzz;
  if (size < 1 || size > (1u << 24)) return 0;
  const ByteOrder order = (data[0] & 1) != 0 ? ByteOrder::Swapped : ByteOrder::Native;
  const std::uint32_t flags = FlagCompressed | ((data[0] & 2) != 0 ? FlagDeltaCoded : 0);
  const std::size_t bodyLength = (size - 1 + 7) / 8 * 8;
  const Holdings before = Held();
  Block object = AllocateBlock(static_cast<std::int64_t>(TableHeaderSize + bodyLength));
  if (object.empty()) return 0;
  WriteTableWord(object.data(), TableObjectMagic, order);
  WriteTableWord(object.data() + 4, static_cast<std::uint32_t>(object.size()), order);
  WriteTableWord(object.data() + 8, 0, order);
  WriteTableWord(object.data() + 12, flags, order);
  CopyBytes(data + 1, object.data() + TableHeaderSize, static_cast<std::int32_t>(size - 1));
  Block expanded = DecompressTableObject(object);
  if (!expanded.empty()) {
    Require(expanded.data() != object.data(), "a compressed object came back unexpanded");
    TableHeader header{};
    Require(ReadTableHeader(expanded, &header), "an expanded object has no magic");
    Require(header.order == order, "expansion changed the byte order");
    Require(header.flags == (flags & ~FlagCompressed), "expansion changed the flags");
    Require(std::size_t(header.totalSize) == expanded.size(), "an expanded object's size is not its block's");
    ReleaseBlock(expanded);
  }
  ReleaseBlock(object);
  RequireHeld(before);
  return 0;
}
