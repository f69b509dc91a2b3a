// Keyed blocks: small tables whose rows carry keys, each key compared with
// one position of the caller's condition vector. After unscrambling, a
// record holds an 80-byte header, then rows (or one payload), and ends in
// the 4-byte scrambling trailer, which belongs to no field.
//
// Header (int16 unless noted, little-endian):
//   0 kind, 2 disabledFlag, 4 keyCount, 6 valuesPerRow, 8 valueType,
//   10 rowCount, 12 reserved, 16 byteCount (int32, single block) or
//   16..79 keyIndex[16] (int32, other kinds).
// A row is keyCount int32 keys, then payloadStride bytes whose first
// valueBytes are the row's values.
#ifndef DINFO_KEYED_KEYED_BLOCK_H
#define DINFO_KEYED_KEYED_BLOCK_H

#include <cstdint>

#include "common/block.h"
#include "common/fault.h"
#include "infofile/file_view.h"
#include "keyed/lookup_observer.h"

namespace dinfo {

constexpr std::int32_t ConditionVectorSize = 300;
constexpr std::int32_t SelectorIndex = 1;
constexpr std::int32_t KeyWildcard = -32768;
constexpr std::int32_t NoCondition = -1;

constexpr std::int16_t ChainBlock = 0;
constexpr std::int16_t SingleBlock = 1;
constexpr std::int16_t FirstMatchBlock = 2;

constexpr std::int16_t ValueTypeInt8 = 1;
constexpr std::int16_t ValueTypeInt16 = 2;
constexpr std::int16_t ValueTypeInt32 = 4;
constexpr std::int16_t ValueTypeText = 256;
constexpr std::int16_t ValueTypeNamedEntry = 264;

constexpr std::int32_t KeyedHeaderSize = 80;
constexpr std::int32_t KeyedTrailerSize = 4;
// The trailer may lie over the header's last bytes, which a single block
// never reads, so a block of the header's size alone is read.
constexpr std::int32_t SmallestKeyedBlock = KeyedHeaderSize;
constexpr std::int32_t MaxKeyCount = 16;
constexpr std::int32_t TextValueSize = 256;
constexpr std::int32_t NamedEntrySize = 264;

// The bytes one value of the type takes in a row; 0 for a code that names
// no value type.
constexpr std::int32_t ValueWidth(std::int32_t valueType) {
  switch (valueType) {
    case ValueTypeInt8: return 1;
    case ValueTypeInt16: return 2;
    case ValueTypeInt32: return 4;
    case ValueTypeText: return TextValueSize;
    case ValueTypeNamedEntry: return NamedEntrySize;
    default: return 0;
  }
}

struct ConditionVector {
  std::int32_t entries[ConditionVectorSize];
};

// The block a lookup restored last, kept for the call so that a record
// needed twice (a list's header, then its values) is read once.
struct RestoredBlock {
  std::int32_t section = 0;
  std::int32_t recordId = 0;
  OwnedBlock block;  // empty: nothing kept
};

// A file as keyed lookups read it: the call's view of the file, the block
// kept, and the observer told each step (null for the exports).
struct KeyedFile {
  explicit KeyedFile(HANDLE handle) : view(handle) {}

  FileView view;
  RestoredBlock restored;
  const LookupObserver *observer = nullptr;
};

// A keyed block's header as stored, not checked against its block: for
// readers that report its flaws instead of refusing it.
struct KeyedFields {
  ConstBlock rows;  // block byte 80 up to the trailer; valid while the block is held
  std::int16_t kind;
  std::int16_t disabledFlag;
  std::int16_t keyCount;
  std::int16_t valuesPerRow;
  std::int16_t valueType;
  std::int16_t rowCount;
  std::int16_t reserved;
  std::int32_t byteCount;
  std::int32_t keyIndex[MaxKeyCount];
};

// Bytes that a selected row yields, and bytes its payload takes in a row.
struct RowLayout {
  std::int32_t valueBytes;
  std::int32_t payloadStride;
  std::int32_t rowStride;
};

// The header of a block of at least KeyedHeaderSize bytes.
KeyedFields ParseKeyedFields(ConstBlock block);

RowLayout LayoutOf(const KeyedFields &fields);

// The checks of a header against its block one by one, for readers that
// report every flaw instead of refusing the block: a bit for each check
// the header fails.
enum KeyedHeaderFlaw : std::uint32_t {
  PayloadPastBlock = 1u << 0,      // a single block's byteCount passes its room
  KeyCountOutOfRange = 1u << 1,    // outside 0 to 16
  ValuesPerRowNegative = 1u << 2,  // for the value types whose width it sets
  KeyIndexOutOfRange = 1u << 3,    // among the first keyCount (at most 16)
  RowsPastBlock = 1u << 4,         // checked when none of the above is found
  ChainWithoutIds = 1u << 5,       // a chain block's values are no int32 ids
};
std::uint32_t FindKeyedHeaderFlaws(const KeyedFields &fields);

// A keyed block whose header agrees with it: key count and indexes in
// range, rows or payload inside the block, and for a chain block read with
// a condition vector, a 32-bit id at the head of every row. Only
// CheckKeyedBlock makes one (a default one has no rows), and its rows are
// read through it.
class KeyedHeader {
 public:
  KeyedHeader() = default;

  const KeyedFields &fields() const { return fields_; }
  const RowLayout &layout() const { return layout_; }
  // Row `row`, 0 <= row < rowCount: its keys, then its payload.
  const std::uint8_t *Row(std::int32_t row) const {
    return fields_.rows.data() + std::size_t(row) * std::size_t(layout_.rowStride);
  }
  // The payload of row `row`, 0 <= row < rowCount.
  const std::uint8_t *PayloadOfRow(std::int32_t row) const { return Row(row) + 4 * fields_.keyCount; }
  // A single block's payload of byteCount bytes.
  const std::uint8_t *Payload() const { return fields_.rows.data(); }

 private:
  KeyedHeader(const KeyedFields &fields, const RowLayout &layout) : fields_(fields), layout_(layout) {}
  friend bool CheckKeyedBlock(ConstBlock block, bool withConditions, KeyedHeader *header);

  KeyedFields fields_{};
  RowLayout layout_{};
};

// Reads the header of a block of at least KeyedHeaderSize bytes and checks
// it as above; false when it fails a check.
bool CheckKeyedBlock(ConstBlock block, bool withConditions, KeyedHeader *header);

// Copies one row's values (or a single block's payload). Nothing for a
// length of 0 or less.
void StoreRowValues(const std::uint8_t *payload, std::uint8_t *destination, std::int32_t length);

// The index of the first row whose keys all match, or -1.
std::int32_t FirstMatchingRow(const ConditionVector *conditions, const KeyedHeader &header);

// For a block no row of which matched: the first key position that no row
// accepts on its own (see ConditionMiss).
ConditionMiss FindConditionMiss(const ConditionVector *conditions, const KeyedHeader &header);

// Applies the selection rule; the values of matching rows go to `output`,
// packed, and *written (when given) says how many bytes they took.
// Fault::RecordDamaged when they would not fit.
Fault SelectRows(const ConditionVector *conditions, const KeyedHeader &header,
                 std::int16_t *count, Block output, std::size_t *written = nullptr);

// Follows the chain from (section, recordId) and hands back the final
// block's selected values; *written (when given) is how many bytes of
// `output` they took. Fault::RecordUnreadable, ChainSelection,
// RecordDamaged, or NoMemory when a record's block could not be taken.
// The last block read stays with the file, restored, so that a later
// lookup of the same record in the call reads nothing.
Fault LookupKeyedRecord(const ConditionVector *conditions, KeyedFile &file,
                        std::int32_t section, std::int32_t recordId, std::int16_t *count,
                        std::int16_t *disabledFlag, Block output,
                        std::size_t *written = nullptr);

// Releases the block the file keeps, before a read that no keyed lookup
// of the call will follow (the table after its locator).
void ReleaseRestoredBlock(KeyedFile &file);

// Follows the same chain and hands back the final block's header (its rows
// reference is cleared: the block is the file's by then).
Fault ReadKeyedHeader(const ConditionVector *conditions, KeyedFile &file,
                      std::int32_t section, std::int32_t recordId, KeyedFields *fields);

}  // namespace dinfo

#endif  // DINFO_KEYED_KEYED_BLOCK_H
