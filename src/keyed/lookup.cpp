#include "common/bytes.h"
#include "infofile/information_file.h"
#include "infofile/scramble.h"
#include "keyed/keyed_status.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Restores a block read from the file; false when it is too short or its
// trailer does not check.
bool Restore(Block block) {
  const auto length = static_cast<std::int32_t>(block.size());
  return length >= KeyedHeaderSize + KeyedTrailerSize &&
         UnscrambleBlock(block.data(), length) == 0;
}

// One block of the chain, restored and with its header checked: the one
// the view kept when this call restored it before, else read anew.
std::int16_t ReadKeyedBlock(const ConditionVector *conditions, FileView &view,
                            std::int32_t section, std::int32_t recordId, KeyedHeader *header,
                            Block *block, std::int32_t *directoryCount) {
  *block = TakeRestoredBlock(view, section, recordId, directoryCount);
  if (block->empty()) {
    std::int32_t sizeOrCode = 0;
    *block = ReadRecord(view, section, recordId, &sizeOrCode, directoryCount);
    if (block->empty()) return ErrRecordUnreadable;
    if (!Restore(*block)) {
      ReleaseBlock(*block);
      return ErrRecordDamaged;
    }
  }
  ParseKeyedHeader(header, *block);
  if (!KeyedBlockIsSound(*header, conditions != nullptr)) {
    KeepRestoredBlock(view, section, recordId, *directoryCount, *block);
    return ErrRecordDamaged;
  }
  return StatusOk;
}

// The final block of a chain, with what the view needs to keep it.
struct ChainEnd {
  Block block;
  std::int32_t recordId;
  std::int32_t directoryCount;
};

void KeepFinalBlock(FileView &view, std::int32_t section, ChainEnd &end) {
  KeepRestoredBlock(view, section, end.recordId, end.directoryCount, end.block);
}

// The directory is kept for the call, but every link still scans it for
// its record, so a chain costs its length times the directory's size. A
// chain may scan this many entries in all: hundreds of links through
// directories of 100,000 entries, while a loop through a huge directory
// (its records last) ends in a fraction of a second.
constexpr std::int64_t ChainScanBudget = std::int64_t{1} << 26;

// Follows the chain from recordId; on success *end holds the final block,
// which the caller hands back to the view (KeepFinalBlock). Each link goes
// back to the view before the next is read. A chain can visit no more
// distinct records than its section's directory has entries, so one more
// link than that means it came back on itself.
std::int16_t FollowChain(const ConditionVector *conditions, FileView &view, std::int32_t section,
                         std::int32_t recordId, KeyedHeader *header, ChainEnd *end) {
  std::int32_t current = recordId;
  std::int64_t entriesScanned = 0;
  for (std::int64_t linksRead = 1;; ++linksRead) {
    std::int32_t directoryCount = 0;
    Block block;
    const std::int16_t status =
        ReadKeyedBlock(conditions, view, section, current, header, &block, &directoryCount);
    if (status != StatusOk) return status;
    if (header->kind != ChainBlock || conditions == nullptr) {
      *end = {block, current, directoryCount};
      return StatusOk;
    }
    const std::uint8_t *payload = FirstMatchingPayload(conditions, *header);
    entriesScanned += directoryCount;
    const bool looped = linksRead >= directoryCount ||
                        entriesScanned + directoryCount > ChainScanBudget;
    const std::int32_t link = current;
    if (payload != nullptr) current = ReadI32LittleEndian(payload);
    KeepRestoredBlock(view, section, link, directoryCount, block);
    if (payload == nullptr) return ErrChainSelection;
    if (looped) return ErrRecordDamaged;
  }
}

}  // namespace

std::int16_t LookupKeyedRecord(const ConditionVector *conditions, FileView &view,
                               std::int32_t section, std::int32_t recordId, std::int16_t *count,
                               std::int16_t *disabledFlag, Block output, std::size_t *written) {
  KeyedHeader header{};
  ChainEnd end{};
  std::int16_t status = FollowChain(conditions, view, section, recordId, &header, &end);
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
  KeepFinalBlock(view, section, end);
  if (status != StatusOk) return status;
  *disabledFlag = header.disabledFlag;
  *count = selected;
  if (written != nullptr) *written = stored;
  return StatusOk;
}

std::int16_t ReadKeyedHeader(const ConditionVector *conditions, FileView &view,
                             std::int32_t section, std::int32_t recordId, KeyedHeader *header) {
  ChainEnd end{};
  const std::int16_t status = FollowChain(conditions, view, section, recordId, header, &end);
  if (status != StatusOk) return status;
  KeepFinalBlock(view, section, end);
  header->rows = {};
  return StatusOk;
}

}  // namespace dinfo
