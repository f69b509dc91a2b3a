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
                     Block *block) {
  *block = TakeRestoredBlock(view, section, recordId);
  if (block->empty()) {
    *block = ReadRecord(view, section, recordId).block;
    if (block->empty()) return Fault::RecordUnreadable;
    if (!Restore(*block)) {
      ReleaseBlock(*block);
      return Fault::RecordDamaged;
    }
  }
  ParseKeyedHeader(header, *block);
  if (!KeyedBlockIsSound(*header, conditions != nullptr)) {
    KeepRestoredBlock(view, section, recordId, *block);
    return Fault::RecordDamaged;
  }
  return Fault::None;
}

// The final block of a chain, with the id the view keeps it under.
struct ChainEnd {
  Block block;
  std::int32_t recordId;
};

void KeepFinalBlock(FileView &view, std::int32_t section, ChainEnd &end) {
  KeepRestoredBlock(view, section, end.recordId, end.block);
}

// The section and the conditions stay the same along a chain and the file
// cannot change during the call, so the next id is a function of the
// current one: a chain that names a record it has already passed through
// goes round for ever. Brent's cycle check finds that without memory: it
// keeps the id reached after 1, 2, 4, 8, ... links since the last one it
// kept, and the chain has looped once a later link names the kept id. A
// loop ends within three times the links it took to close it, and a chain
// that ends pays a comparison a link.
struct LoopCheck {
  std::int32_t kept;
  std::int64_t linksBetweenKeeps;
  std::int64_t linksSinceKept;
};

bool ComesBack(LoopCheck &check, std::int32_t next) {
  if (next == check.kept) return true;
  if (++check.linksSinceKept == check.linksBetweenKeeps) {
    check = {next, 2 * check.linksBetweenKeeps, 0};
  }
  return false;
}

// Follows the chain from recordId; on success *end holds the final block,
// which the caller hands back to the view (KeepFinalBlock). Each link goes
// back to the view before the next is read. A chain that comes back on
// itself fails as a damaged record.
Fault FollowChain(const ConditionVector *conditions, FileView &view, std::int32_t section,
                  std::int32_t recordId, KeyedHeader *header, ChainEnd *end) {
  std::int32_t current = recordId;
  LoopCheck loop{recordId, 1, 0};
  for (;;) {
    Block block;
    const Fault fault = ReadKeyedBlock(conditions, view, section, current, header, &block);
    if (fault != Fault::None) return fault;
    if (header->kind != ChainBlock || conditions == nullptr) {
      *end = {block, current};
      return Fault::None;
    }
    const std::uint8_t *payload = FirstMatchingPayload(conditions, *header);
    const std::int32_t link = current;
    if (payload != nullptr) current = ReadI32LittleEndian(payload);
    KeepRestoredBlock(view, section, link, block);
    if (payload == nullptr) return Fault::ChainSelection;
    if (ComesBack(loop, current)) return Fault::RecordDamaged;
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
