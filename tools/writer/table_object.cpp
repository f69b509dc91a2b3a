#include <algorithm>

#include "writer/lzw_encoder.h"
#include "writer/table_writer.h"

namespace dinfo::writer {
namespace {

constexpr std::uint32_t Magic = 0x50178516u;
constexpr std::uint32_t Scrambled = 0x80000000u;
constexpr std::uint32_t Compressed = 0x40000000u;
constexpr std::uint32_t DeltaCoded = 0x20000000u;

void PutWord(Bytes &out, std::size_t at, std::uint32_t value, bool bigEndian) {
  for (std::size_t k = 0; k < 4; ++k) {
    const std::size_t shift = bigEndian ? 24 - 8 * k : 8 * k;
    out[at + k] = static_cast<std::uint8_t>(value >> shift);
  }
}

// Elements of 2 and 4 bytes follow the object's byte order; all others are
// stored least significant byte first whatever the order.
Bytes PackElements(const TableEntryDescription &entry, bool bigEndian) {
  const auto size = std::size_t(entry.elementSize);
  Bytes out = entry.bytes;
  if (out.empty()) {
    for (std::int64_t value : entry.values) {
      for (std::size_t k = 0; k < size; ++k) {
        out.push_back(k < 8 ? static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * k)) : std::uint8_t{0});
      }
    }
  }
  if (bigEndian && (size == 2 || size == 4)) {
    for (std::size_t at = 0; at + size <= out.size(); at += size) {
      std::reverse(out.begin() + std::ptrdiff_t(at), out.begin() + std::ptrdiff_t(at + size));
    }
  }
  return out;
}

std::uint64_t ReadElement(const Bytes &data, std::size_t at, std::size_t width, bool bigEndian) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < width; ++k) {
    const std::size_t shift = bigEndian ? 8 * (width - 1 - k) : 8 * k;
    value |= std::uint64_t(data[at + k]) << shift;
  }
  return value;
}

void WriteElement(Bytes &data, std::size_t at, std::size_t width, bool bigEndian, std::uint64_t value) {
  for (std::size_t k = 0; k < width; ++k) {
    const std::size_t shift = bigEndian ? 8 * (width - 1 - k) : 8 * k;
    data[at + k] = static_cast<std::uint8_t>(value >> shift);
  }
}

// Each element becomes its difference from the one before, wrapping at the
// width: the inverse of the running sum the reader takes.
Bytes DeltaCode(const Bytes &plain, std::size_t width, bool bigEndian) {
  Bytes out = plain;
  for (std::size_t at = width; at + width <= plain.size(); at += width) {
    const std::uint64_t difference =
        ReadElement(plain, at, width, bigEndian) - ReadElement(plain, at - width, width, bigEndian);
    WriteElement(out, at, width, bigEndian, difference);
  }
  return out;
}

bool IsDeltaCodable(const TableEntryDescription &entry) {
  if (entry.kind == TableEntryKind::RawRun) return true;
  return entry.kind == TableEntryKind::TypedArray &&
         (entry.elementSize == 1 || entry.elementSize == 2 || entry.elementSize == 4);
}

std::uint32_t TagOf(const TableEntryDescription &entry, std::size_t length) {
  if (entry.tag) return *entry.tag;
  switch (entry.kind) {
    case TableEntryKind::TypedArray:
      return (std::uint32_t(entry.elementSize - 1) << 26) |
             std::uint32_t(length / std::size_t(entry.elementSize));
    case TableEntryKind::RawRun: return 0x9A000000u | std::uint32_t(length);
    case TableEntryKind::NestedTable: return 0xDC000000u;
    case TableEntryKind::Inline: return 0xF8000000u;
  }
  return 0;
}

std::size_t Advance(TableEntryKind kind, std::size_t length) {
  switch (kind) {
    case TableEntryKind::TypedArray: return (length + 7) / 8 * 8;
    case TableEntryKind::RawRun: return (length + 8) / 8 * 8;
    case TableEntryKind::NestedTable: return length;
    case TableEntryKind::Inline: return 0;
  }
  return 0;
}

// Header, descriptors and data in the aligned layout; `extraTail` zero
// bytes follow. `dataEnd` receives where the last entry's data end.
Bytes LayOut(const TableDescription &described, const std::vector<Bytes> &data, std::uint32_t flags,
             std::size_t extraTail, std::size_t *dataEnd) {
  const std::size_t count = described.entries.size();
  Bytes out(16 + 8 * count, 0);
  *dataEnd = out.size();
  for (std::size_t i = 0; i < count; ++i) {
    const TableEntryDescription &entry = described.entries[i];
    const std::size_t position = out.size();
    const auto location = entry.kind == TableEntryKind::Inline
                              ? entry.inlineLocation
                              : static_cast<std::int32_t>(position);
    PutWord(out, 16 + 8 * i, TagOf(entry, data[i].size()), described.bigEndian);
    PutWord(out, 20 + 8 * i, static_cast<std::uint32_t>(entry.location.value_or(location)),
            described.bigEndian);
    out.insert(out.end(), data[i].begin(), data[i].end());
    if (!data[i].empty()) *dataEnd = out.size();
    out.resize(position + Advance(entry.kind, data[i].size()), 0);
  }
  out.resize(out.size() + std::size_t(described.tailBytes) + extraTail, 0);
  PutWord(out, 0, Magic, described.bigEndian);
  PutWord(out, 4, static_cast<std::uint32_t>(described.totalSize.value_or(static_cast<std::int32_t>(out.size()))),
          described.bigEndian);
  PutWord(out, 8, static_cast<std::uint32_t>(described.descriptorCount.value_or(static_cast<std::int32_t>(count))),
          described.bigEndian);
  PutWord(out, 12, described.flags.value_or(flags), described.bigEndian);
  return out;
}

// What the reader leaves in a scrambled block's last four bytes: the key
// bytes less the bytes of a check sum over the restored data.
void PutRestoredTrailer(Bytes &object, std::uint32_t key) {
  const std::size_t end = object.size();
  std::uint32_t sum = 0x5E3A91C7u;
  for (std::size_t at = 16; at + 4 < end; at += 4) {
    sum += 23u * object[at] + 249u * object[at + 1] + 41u * (object[at + 2] % 13u) +
           71u * object[at + 3] + 9u;
  }
  object[end - 4] = static_cast<std::uint8_t>((key >> 16) - (sum >> 16));
  object[end - 3] = static_cast<std::uint8_t>((key >> 8) - sum);
  object[end - 2] = static_cast<std::uint8_t>(key - (sum >> 24));
  object[end - 1] = static_cast<std::uint8_t>((key >> 24) - (sum >> 8));
}

// The body is compressed after delta coding, as a whole, and padded with
// zeros to a multiple of 8; when it is also scrambled, at least four of
// them, so that the trailer never covers the code stream.
void Compress(const TableDescription &described, Bytes &object) {
  Bytes body = LzwEncode(Bytes(object.begin() + 16, object.end()));
  body.resize((body.size() + (described.scrambled ? 4 : 0) + 7) / 8 * 8, 0);
  object.resize(16);
  object.insert(object.end(), body.begin(), body.end());
  if (!described.totalSize) PutWord(object, 4, static_cast<std::uint32_t>(object.size()), described.bigEndian);
}

}  // namespace

TableEntryDescription TypedArray(std::int32_t elementSize, std::vector<std::int64_t> values) {
  TableEntryDescription entry;
  entry.kind = TableEntryKind::TypedArray;
  entry.elementSize = elementSize;
  entry.values = std::move(values);
  return entry;
}

TableEntryDescription TypedBytes(std::int32_t elementSize, Bytes elementBytes) {
  TableEntryDescription entry;
  entry.kind = TableEntryKind::TypedArray;
  entry.elementSize = elementSize;
  entry.bytes = std::move(elementBytes);
  return entry;
}

TableEntryDescription RawRun(Bytes bytes) {
  TableEntryDescription entry;
  entry.kind = TableEntryKind::RawRun;
  entry.bytes = std::move(bytes);
  return entry;
}

TableEntryDescription NestedTable(TableDescription table) {
  TableEntryDescription entry;
  entry.kind = TableEntryKind::NestedTable;
  entry.nested.push_back(std::move(table));
  return entry;
}

TableEntryDescription InlineEntry(std::int32_t location) {
  TableEntryDescription entry;
  entry.kind = TableEntryKind::Inline;
  entry.inlineLocation = location;
  return entry;
}

// A parent whose nested table needs a block of its own is rebuilt by the
// reader into a zero-filled block, so the trailer the unscrambling left in
// its tail is gone; otherwise the trailer stays. Uncompressed scrambled
// objects get 8 more tail bytes when their data would reach into the
// trailer.
EncodedTable EncodeTable(const TableDescription &described) {
  std::vector<Bytes> stored;
  std::vector<Bytes> prepared;
  TableDescription preparedDescription = described;  // a spliced-in nested table's tag is renewed
  bool rebuilt = false;
  for (std::size_t i = 0; i < described.entries.size(); ++i) {
    const TableEntryDescription &entry = described.entries[i];
    if (entry.kind == TableEntryKind::NestedTable) {
      EncodedTable nested = EncodeTable(entry.nested.at(0));
      rebuilt = rebuilt || nested.needsOwnBlock;
      if (nested.needsOwnBlock) preparedDescription.entries[i].tag.reset();
      stored.push_back(std::move(nested.stored));
      prepared.push_back(std::move(nested.prepared));
      continue;
    }
    Bytes plain = entry.kind == TableEntryKind::TypedArray ? PackElements(entry, described.bigEndian) : entry.bytes;
    const bool coded = described.deltaCoded && IsDeltaCodable(entry);
    stored.push_back(coded ? DeltaCode(plain, std::size_t(entry.elementSize), described.bigEndian) : plain);
    prepared.push_back(std::move(plain));
  }

  const std::uint32_t codings = (described.scrambled ? Scrambled : 0) | (described.compressed ? Compressed : 0) |
                                (described.deltaCoded ? DeltaCoded : 0);
  std::size_t dataEnd = 0;
  EncodedTable result;
  result.stored = LayOut(described, stored, described.strayFlags | codings, 0, &dataEnd);
  std::size_t extraTail = 0;
  if (described.scrambled && !described.compressed && dataEnd + 4 > result.stored.size()) {
    extraTail = 8;
    result.stored = LayOut(described, stored, described.strayFlags | codings, extraTail, &dataEnd);
  }
  result.prepared = LayOut(preparedDescription, prepared, described.deltaCoded ? 0 : described.strayFlags, extraTail, &dataEnd);
  result.needsOwnBlock = rebuilt || described.compressed;
  if (described.compressed) Compress(described, result.stored);
  for (const auto &[at, value] : described.storedPatches) {
    if (at < result.stored.size()) result.stored[at] = value;
  }
  if (described.scrambled && result.stored.size() >= 20) {
    if (!result.needsOwnBlock) {
      Bytes restored = result.stored;
      PutRestoredTrailer(restored, described.scrambleKey);
      std::copy(restored.end() - 4, restored.end(), result.prepared.end() - 4);
    }
    Bytes body(result.stored.begin() + 16, result.stored.end());
    ScrambleBlock(body, described.scrambleKey);
    std::copy(body.begin(), body.end(), result.stored.begin() + 16);
  }
  return result;
}

KeyedBlock LocatorBlock(const std::vector<LocatorRow> &rows) {
  std::vector<std::int32_t> values;
  for (const LocatorRow &row : rows) values.insert(values.end(), {row.kind, row.number, 0});
  return SingleValues(4, 3, static_cast<std::int16_t>(rows.size()), PackValues(values, 4));
}

Bytes LocatorRecord(const std::vector<LocatorRow> &rows) { return KeyedRecord(LocatorBlock(rows)); }

}  // namespace dinfo::writer
