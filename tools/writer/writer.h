// The writer: builds information files in memory and on disk for tests,
// fuzz seeds and the command-line tool. It is the exact inverse of what the
// library reads, and is never linked into the library.
#ifndef DINFO_TOOLS_WRITER_WRITER_H
#define DINFO_TOOLS_WRITER_WRITER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dinfo::writer {

using Bytes = std::vector<std::uint8_t>;

void AppendI16(Bytes &out, std::int16_t value);
void AppendI32(Bytes &out, std::int32_t value);
void PutI32(Bytes &out, std::size_t at, std::int32_t value);

// Values of one row as stored: n values of `width` bytes, little-endian.
Bytes PackValues(const std::vector<std::int32_t> &values, int width);
Bytes PackText(const std::string &text);  // 256 bytes, zero-padded
Bytes PackNamedEntry(std::int32_t leading, const std::string &name, std::int32_t trailing);

// Scrambles a block in place so that UnscrambleBlock restores it. The last
// four bytes are the trailer and are overwritten; the key's bytes from the
// most significant down are T2, T0, T1, T3.
void ScrambleBlock(Bytes &block, std::uint32_t key);

// A keyed block as the producer describes it. The header's counts follow
// from the rows unless overridden (to make damaged blocks for tests).
struct KeyedRow {
  std::vector<std::int32_t> keys;
  Bytes values;  // valueBytes of the row; padded to the payload stride
};

struct KeyedBlock {
  std::int16_t kind = 3;
  std::int16_t disabledFlag = 0;
  std::int16_t valuesPerRow = 3;
  std::int16_t valueType = 4;
  std::int16_t reserved = 0;
  std::vector<std::int32_t> keyIndex;  // one per key column
  std::vector<KeyedRow> rows;
  // Single blocks (kind 1): the payload and the rows it stands for.
  Bytes singlePayload;
  std::int16_t singleRowCount = 0;
  // Overrides for damaged blocks.
  std::optional<std::int16_t> keyCount;
  std::optional<std::int16_t> rowCount;
  std::optional<std::int32_t> byteCount;
};

// The plain block: header, rows, and four trailer bytes of zero.
Bytes EncodeKeyedBlock(const KeyedBlock &block);
// The block as stored in a file: encoded and scrambled with `key`.
Bytes KeyedRecord(const KeyedBlock &block, std::uint32_t key = 0x1234ABCDu);

// Convenience blocks.
KeyedBlock SingleValues(std::int16_t valueType, std::int16_t valuesPerRow, std::int16_t rowCount,
                        const Bytes &payload);
// Rows of three values each, `valueType` bytes a value (1, 2 or 4), every
// row with the same keys.
KeyedBlock TripletRows(std::int16_t valueType, const std::vector<std::vector<std::int32_t>> &rows,
                       const std::vector<std::int32_t> &keyIndex = {},
                       const std::vector<std::int32_t> &keys = {});
// One named entry a row: (value, name, value + 1).
KeyedBlock NamedEntryRows(const std::vector<std::pair<std::int32_t, std::string>> &entries);
// A chain block: one key column per (index) and rows of (keys..., next id).
KeyedBlock ChainTo(const std::vector<std::int32_t> &keyIndex,
                   const std::vector<std::pair<std::vector<std::int32_t>, std::int32_t>> &links);

// A whole information file. Records are laid down as they are added;
// directories are written by Finish.
struct DirectoryEntry {
  std::int32_t sectionKey;
  std::int32_t recordId;
  std::int32_t recordOffset;
};

struct Section {
  std::int32_t key;  // file position holding the directory's position
  std::vector<DirectoryEntry> entries;
  std::optional<std::int32_t> entryCount;  // override, for damaged directories
};

struct InfoFile {
  Bytes bytes;
  std::vector<Section> sections;  // sections[0] is the main section (key 8)
};

constexpr std::int32_t MainSectionKey = 8;

InfoFile NewInfoFile();
std::int32_t AddSection(InfoFile &file);
Section &SectionOf(InfoFile &file, std::int32_t sectionKey);
// Appends the record and an entry for it; returns the record's position.
std::int32_t AddRecord(InfoFile &file, std::int32_t sectionKey, std::int32_t recordId,
                       const Bytes &body);
// Appends raw bytes (for records whose size field lies) and returns their position.
std::int32_t AppendRaw(InfoFile &file, const Bytes &raw);
void AddEntry(InfoFile &file, std::int32_t sectionKey, DirectoryEntry entry);
Bytes Finish(const InfoFile &file);

bool WriteBytes(const std::string &path, const Bytes &bytes);

}  // namespace dinfo::writer

#endif  // DINFO_TOOLS_WRITER_WRITER_H
