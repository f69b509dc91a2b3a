#include <utility>

#include "common/bytes.h"
#include "common/scramble.h"
#include "infofile/information_file.h"
#include "keyed/keyed_block.h"

namespace dinfo {
namespace {

// Restores a block read from the file; false when it is shorter than a
// header or cannot be unscrambled.
bool Restore(Block block) {
  const auto length = static_cast<std::int32_t>(block.size());
  return length >= SmallestKeyedBlock && UnscrambleBlock(block.data(), length) == 0;
}

// The block kept for (section, recordId), handed over; empty when none
// is. A block kept for another record is released, so that one keyed
// block is held at a time: the next is read only after it goes.
OwnedBlock TakeRestoredBlock(KeyedFile &file, std::int32_t section, std::int32_t recordId) {
  RestoredBlock &kept = file.restored;
  if (kept.block.empty() || kept.section != section || kept.recordId != recordId) {
    kept.block = {};
    return {};
  }
  return std::move(kept.block);
}

// Keeps a restored block in place of the one kept before.
void KeepRestoredBlock(KeyedFile &file, std::int32_t section, std::int32_t recordId,
                       OwnedBlock block) {
  file.restored.block = std::move(block);
  file.restored.section = section;
  file.restored.recordId = recordId;
}

// Observing is the tool's business: the exports pass no observer, so the
// telling stays out of the lookup's path (cold, not inlined) and a lookup
// pays one test of a null pointer a step.
[[gnu::cold, gnu::noinline]] void TellRead(const LookupObserver &observer, const RecordReadStep &step) {
  if (observer.recordRead != nullptr) observer.recordRead(observer.context, step);
}

inline void ReportRead(const KeyedFile &file, const RecordReadStep &step) {
  if (file.observer != nullptr) [[unlikely]] TellRead(*file.observer, step);
}

// A record that cannot be had fails the lookup as unreadable, unless it
// was memory that failed.
Fault ReadFault(Fault read) { return read == Fault::NoMemory ? Fault::NoMemory : Fault::RecordUnreadable; }

// One block of the chain, restored and with its header checked: the one
// the file kept when this call restored it before, else read anew.
Fault ReadKeyedBlock(const ConditionVector *conditions, KeyedFile &file, std::int32_t section,
                     std::int32_t recordId, KeyedHeader *header, OwnedBlock *block) {
  *block = TakeRestoredBlock(file, section, recordId);
  const bool kept = !block->empty();
  if (!kept) {
    ReadOutcome read = ReadRecord(file.view, section, recordId);
    if (read.fault != Fault::None) {
      ReportRead(file, {section, recordId, false, read.fault});
      return ReadFault(read.fault);
    }
    *block = std::move(read.block);
    if (!Restore(block->get())) {
      ReportRead(file, {section, recordId, false, Fault::RecordDamaged});
      return Fault::RecordDamaged;
    }
  }
  if (!CheckKeyedBlock(block->get(), conditions != nullptr, header)) {
    ReportRead(file, {section, recordId, kept, Fault::RecordDamaged});
    KeepRestoredBlock(file, section, recordId, std::move(*block));
    return Fault::RecordDamaged;
  }
  ReportRead(file, {section, recordId, kept, Fault::None});
  return Fault::None;
}

// The final block of a chain, with the id the file keeps it under.
struct ChainEnd {
  OwnedBlock block;
  std::int32_t recordId;
};

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

// Tells the observer what a chain link compared.
[[gnu::cold, gnu::noinline]] void TellLink(const LookupObserver &observer, const ConditionVector *conditions,
                                           std::int32_t section, std::int32_t recordId,
                                           const KeyedHeader &header, std::int32_t matchedRow,
                                           std::int32_t next) {
  if (observer.chainLink == nullptr) return;
  const ConditionMiss miss = matchedRow < 0 ? FindConditionMiss(conditions, header) : ConditionMiss{-1, 0};
  observer.chainLink(observer.context, {section, recordId, &header, conditions, matchedRow, next, miss});
}

// Follows the chain from recordId; on success *end holds the final block,
// which the caller hands back to the file. Each link goes back to the
// file before the next is read. A chain that comes back on itself fails
// as a damaged record; *stoppedAt is the record where the chain stopped.
Fault FollowChain(const ConditionVector *conditions, KeyedFile &file, std::int32_t section,
                  std::int32_t recordId, KeyedHeader *header, ChainEnd *end,
                  std::int32_t *stoppedAt) {
  std::int32_t current = recordId;
  LoopCheck loop{recordId, 1, 0};
  for (;;) {
    *stoppedAt = current;
    OwnedBlock block;
    const Fault fault = ReadKeyedBlock(conditions, file, section, current, header, &block);
    if (fault != Fault::None) return fault;
    if (header->fields().kind != ChainBlock || conditions == nullptr) {
      *end = {std::move(block), current};
      return Fault::None;
    }
    const std::int32_t row = FirstMatchingRow(conditions, *header);
    const std::int32_t link = current;
    if (row >= 0) current = ReadI32LittleEndian(header->PayloadOfRow(row));
    if (file.observer != nullptr) [[unlikely]] {
      TellLink(*file.observer, conditions, section, link, *header, row, current);
    }
    KeepRestoredBlock(file, section, link, std::move(block));
    if (row < 0) return Fault::ChainSelection;
    if (ComesBack(loop, current)) return Fault::RecordDamaged;
  }
}

[[gnu::cold, gnu::noinline]] void TellStop(const LookupObserver &observer, const LookupStop &stop) {
  if (observer.stopped != nullptr) observer.stopped(observer.context, stop);
}

[[gnu::cold, gnu::noinline]] void TellFinal(const LookupObserver &observer, const FinalBlockStep &step) {
  if (observer.finalBlock != nullptr) observer.finalBlock(observer.context, step);
}

inline Fault ReportStop(const KeyedFile &file, std::int32_t section, std::int32_t recordId, Fault fault) {
  if (file.observer != nullptr) [[unlikely]] TellStop(*file.observer, {section, recordId, fault});
  return fault;
}

// The final block's values go to `output`: a single block's payload, or
// the rows the conditions select.
Fault SelectFinal(const ConditionVector *conditions, const KeyedHeader &header,
                  std::int16_t *selected, Block output, std::size_t *stored) {
  const KeyedFields &fields = header.fields();
  if (fields.kind != SingleBlock) return SelectRows(conditions, header, selected, output, stored);
  if (fields.byteCount > 0 && std::size_t(fields.byteCount) > output.size()) return Fault::RecordDamaged;
  StoreRowValues(header.Payload(), output.data(), fields.byteCount);
  *selected = fields.rowCount;
  *stored = fields.byteCount > 0 ? std::size_t(fields.byteCount) : 0;
  return Fault::None;
}

}  // namespace

Fault LookupKeyedRecord(const ConditionVector *conditions, KeyedFile &file,
                        std::int32_t section, std::int32_t recordId, std::int16_t *count,
                        std::int16_t *disabledFlag, Block output, std::size_t *written) {
  KeyedHeader header;
  ChainEnd end{};
  std::int32_t stoppedAt = recordId;
  Fault fault = FollowChain(conditions, file, section, recordId, &header, &end, &stoppedAt);
  if (fault != Fault::None) return ReportStop(file, section, stoppedAt, fault);

  std::int16_t selected = 0;
  std::size_t stored = 0;
  fault = SelectFinal(conditions, header, &selected, output, &stored);
  if (fault == Fault::None && file.observer != nullptr) [[unlikely]] {
    TellFinal(*file.observer, {section, end.recordId, &header, selected, conditions});
  }
  KeepRestoredBlock(file, section, end.recordId, std::move(end.block));
  if (fault != Fault::None) return ReportStop(file, section, stoppedAt, fault);
  *disabledFlag = header.fields().disabledFlag;
  *count = selected;
  if (written != nullptr) *written = stored;
  return ReportStop(file, section, stoppedAt, Fault::None);
}

Fault ReadKeyedHeader(const ConditionVector *conditions, KeyedFile &file,
                      std::int32_t section, std::int32_t recordId, KeyedFields *fields) {
  KeyedHeader header;
  ChainEnd end{};
  std::int32_t stoppedAt = recordId;
  const Fault fault = FollowChain(conditions, file, section, recordId, &header, &end, &stoppedAt);
  if (fault != Fault::None) return ReportStop(file, section, stoppedAt, fault);
  KeepRestoredBlock(file, section, end.recordId, std::move(end.block));
  *fields = header.fields();
  fields->rows = {};
  return ReportStop(file, section, stoppedAt, Fault::None);
}

void ReleaseRestoredBlock(KeyedFile &file) { file.restored.block = {}; }

}  // namespace dinfo
