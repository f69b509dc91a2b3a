#include "writer/compressed_table.h"

#include "writer/lzw_encoder.h"

namespace dinfo::writer {
namespace {

constexpr std::uint32_t FlagScrambled = 0x80000000u;
constexpr std::uint32_t FlagCompressed = 0x40000000u;

// The magic's first byte tells the order: 0x16 when stored least
// significant byte first.
bool IsBigEndian(const Bytes &object) { return object[0] != 0x16; }

std::uint32_t GetWord(const Bytes &bytes, std::size_t at, bool bigEndian) {
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    value |= std::uint32_t(bytes[at + k]) << (bigEndian ? 24 - 8 * k : 8 * k);
  }
  return value;
}

void SetWord(Bytes &bytes, std::size_t at, std::uint32_t value, bool bigEndian) {
  for (std::size_t k = 0; k < 4; ++k) {
    bytes[at + k] = static_cast<std::uint8_t>(value >> (bigEndian ? 24 - 8 * k : 8 * k));
  }
}

}  // namespace

Bytes CompressTableObject(const Bytes &object, bool scramble, std::uint32_t key) {
  const bool bigEndian = IsBigEndian(object);
  const std::size_t totalSize = GetWord(object, 4, bigEndian);
  Bytes out(object.begin(), object.begin() + 16);
  const Bytes stream = LzwEncode(Bytes(object.begin() + 16, object.begin() + std::ptrdiff_t(totalSize)));
  out.insert(out.end(), stream.begin(), stream.end());
  // Scrambling takes the body's last four bytes for its trailer, so the
  // stream must end before them.
  out.resize((out.size() + (scramble ? 4 : 0) + 7) / 8 * 8, 0);
  std::uint32_t flags = GetWord(object, 12, bigEndian) | FlagCompressed;
  if (scramble) {
    Bytes body(out.begin() + 16, out.end());
    ScrambleBlock(body, key);
    std::copy(body.begin(), body.end(), out.begin() + 16);
    flags |= FlagScrambled;
  }
  SetWord(out, 4, static_cast<std::uint32_t>(out.size()), bigEndian);
  SetWord(out, 12, flags, bigEndian);
  return out;
}

TableEntrySpec StoredNestedTable(const Bytes &object) {
  TableEntrySpec entry = RawRun(object);
  entry.tag = 0xDC000000u;
  return entry;
}

}  // namespace dinfo::writer
