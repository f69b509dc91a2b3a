#include "common/bytes.h"
#include "infofile/information_file.h"
#include "infofile/scramble.h"
#include "interface/status_codes.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Reads and restores one block of the chain and checks its header.
std::int16_t ReadKeyedBlock(const ConditionVector *conditions, HANDLE file, std::int32_t section,
                            std::int32_t recordId, KeyedHeader *header, Block *block,
                            std::int32_t *directoryCount) {
  std::int32_t sizeOrCode = 0;
  *block = ReadRecord(file, section, recordId, &sizeOrCode, directoryCount);
  if (block->empty()) return ErrRecordUnreadable;
  const auto length = static_cast<std::int32_t>(block->size());
  if (length < KeyedHeaderSize + KeyedTrailerSize || UnscrambleBlock(block->data(), length) != 0) {
    ReleaseBlock(*block);
    return ErrRecordDamaged;
  }
  ParseKeyedHeader(header, *block);
  if (!KeyedBlockIsSound(*header, conditions != nullptr)) {
    ReleaseBlock(*block);
    return ErrRecordDamaged;
  }
  return StatusOk;
}

// Every link reads and scans its section's directory, so a chain costs its
// length times the directory's size. A chain may scan this many entries in
// all: hundreds of links through directories of 100,000 entries, while a
// loop through a huge directory ends in a fraction of a second.
constexpr std::int64_t ChainScanBudget = std::int64_t{1} << 26;

// Follows the chain from recordId; on success *finalBlock holds the final
// block, which the caller releases. Exactly one block is held at a time.
// A chain can visit no more distinct records than its section's directory
// has entries, so one more link than that means it came back on itself.
std::int16_t FollowChain(const ConditionVector *conditions, HANDLE file, std::int32_t recordId,
                         std::int32_t section, KeyedHeader *header, Block *finalBlock) {
  std::int32_t current = recordId;
  std::int64_t entriesScanned = 0;
  for (std::int64_t linksRead = 1;; ++linksRead) {
    std::int32_t directoryCount = 0;
    Block block;
    const std::int16_t status =
        ReadKeyedBlock(conditions, file, section, current, header, &block, &directoryCount);
    if (status != StatusOk) return status;
    if (header->kind != ChainBlock || conditions == nullptr) {
      *finalBlock = block;
      return StatusOk;
    }
    const std::uint8_t *payload = FirstMatchingPayload(conditions, *header);
    entriesScanned += directoryCount;
    const bool looped = linksRead >= directoryCount ||
                        entriesScanned + directoryCount > ChainScanBudget;
    if (payload != nullptr) current = ReadI32LittleEndian(payload);
    ReleaseBlock(block);
    if (payload == nullptr) return ErrChainSelection;
    if (looped) return ErrRecordDamaged;
  }
}

}  // namespace

std::int16_t LookupKeyedRecord(const ConditionVector *conditions, HANDLE file,
                               std::int32_t recordId, std::int32_t section, std::int16_t *count,
                               std::int16_t *disabledFlag, Block output, std::size_t *written) {
  KeyedHeader header{};
  Block block;
  std::int16_t status = FollowChain(conditions, file, recordId, section, &header, &block);
  if (status != StatusOk) return status;

  std::int16_t selected = 0;
  std::size_t stored = 0;
  if (header.kind == SingleBlock) {
    if (header.byteCount > 0 && std::size_t(header.byteCount) > output.size()) {
      status = ErrRecordDamaged;
    } else {
      StoreRowValues(header.rows.data(), output.data(), header.byteCount);
      selected = header.rowCount;
      stored = header.byteCount > 0 ? std::size_t(header.byteCount) : 0;
    }
  } else {
    status = SelectRows(conditions, header, &selected, output, &stored);
  }
  ReleaseBlock(block);
  if (status != StatusOk) return status;
  *disabledFlag = header.disabledFlag;
  *count = selected;
  if (written != nullptr) *written = stored;
  return StatusOk;
}

std::int16_t ReadKeyedHeader(const ConditionVector *conditions, HANDLE file,
                             std::int32_t recordId, std::int32_t section, KeyedHeader *header) {
  Block block;
  const std::int16_t status = FollowChain(conditions, file, recordId, section, header, &block);
  if (status != StatusOk) return status;
  ReleaseBlock(block);
  header->rows = {};
  return StatusOk;
}

}  // namespace dinfo
