#include "common/bytes.h"
#include "infofile/information_file.h"
#include "common/scramble.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Restores a block read from the file; false when it is shorter than a
// header or cannot be unscrambled.
bool Restore(Block block) {
  const auto length = static_cast<std::int32_t>(block.size());
  return length >= SmallestKeyedBlock && UnscrambleBlock(block.data(), length) == 0;
}

// One block of the chain, restored and with its header checked: the one
// the view kept when this call restored it before, else read anew.
Fault ReadKeyedBlock(const ConditionVector *conditions, FileView &view,
                     std::int32_t section, std::int32_t recordId, KeyedHeader *header,
                     Block *block, std::int32_t *directoryCount) {
  *block = TakeRestoredBlock(view, section, recordId, directoryCount);
  if (block->empty()) {
    *block = ReadRecord(view, section, recordId, directoryCount).block;
    if (block->empty()) return Fault::RecordUnreadable;
    if (!Restore(*block)) {
      ReleaseBlock(*block);
      return Fault::RecordDamaged;
    }
  }
  ParseKeyedHeader(header, *block);
  if (!KeyedBlockIsSound(*header, conditions != nullptr)) {
    KeepRestoredBlock(view, section, recordId, *directoryCount, *block);
    return Fault::RecordDamaged;
  }
  return Fault::None;
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

// Follows the chain from recordId; on success *end holds the final block,
// which the caller hands back to the view (KeepFinalBlock). Each link goes
// back to the view before the next is read. A chain can visit no more
// distinct records than its section's directory has entries, so one more
// link than that means it came back on itself. The view finds each link's
// entry in an index of the kept directory, so even a loop through a huge
// directory ends promptly.
Fault FollowChain(const ConditionVector *conditions, FileView &view, std::int32_t section,
                  std::int32_t recordId, KeyedHeader *header, ChainEnd *end) {
  std::int32_t current = recordId;
  for (std::int64_t linksRead = 1;; ++linksRead) {
    std::int32_t directoryCount = 0;
    Block block;
    const Fault fault =
        ReadKeyedBlock(conditions, view, section, current, header, &block, &directoryCount);
    if (fault != Fault::None) return fault;
    if (header->kind != ChainBlock || conditions == nullptr) {
      *end = {block, current, directoryCount};
      return Fault::None;
    }
    const std::uint8_t *payload = FirstMatchingPayload(conditions, *header);
    const bool looped = linksRead >= directoryCount;
    const std::int32_t link = current;
    if (payload != nullptr) current = ReadI32LittleEndian(payload);
    KeepRestoredBlock(view, section, link, directoryCount, block);
    if (payload == nullptr) return Fault::ChainSelection;
    if (looped) return Fault::RecordDamaged;
  }
}

}  // namespace

Fault LookupKeyedRecord(const ConditionVector *conditions, FileView &view,
                        std::int32_t section, std::int32_t recordId, std::int16_t *count,
                        std::int16_t *disabledFlag, Block output, std::size_t *written) {
  KeyedHeader header{};
  ChainEnd end{};
  Fault fault = FollowChain(conditions, view, section, recordId, &header, &end);
  if (fault != Fault::None) return fault;

  std::int16_t selected = 0;
  std::size_t stored = 0;
  if (header.kind == SingleBlock) {
    if (header.byteCount > 0 && std::size_t(header.byteCount) > output.size()) {
      fault = Fault::RecordDamaged;
    } else {
      StoreRowValues(header.rows.data(), output.data(), header.byteCount);
      selected = header.rowCount;
      stored = header.byteCount > 0 ? std::size_t(header.byteCount) : 0;
    }
  } else {
    fault = SelectRows(conditions, header, &selected, output, &stored);
  }
  KeepFinalBlock(view, section, end);
  if (fault != Fault::None) return fault;
  *disabledFlag = header.disabledFlag;
  *count = selected;
  if (written != nullptr) *written = stored;
  return Fault::None;
}

Fault ReadKeyedHeader(const ConditionVector *conditions, FileView &view,
                      std::int32_t section, std::int32_t recordId, KeyedHeader *header) {
  ChainEnd end{};
  const Fault fault = FollowChain(conditions, view, section, recordId, header, &end);
  if (fault != Fault::None) return fault;
  KeepFinalBlock(view, section, end);
  header->rows = {};
  return Fault::None;
}

}  // namespace dinfo
