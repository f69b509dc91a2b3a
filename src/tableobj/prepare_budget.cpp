#include "tableobj/prepare_budget.h"

namespace dinfo {

bool TakeWork(PrepareBudget *budget, std::int64_t units) {
  budget->workLeft -= units;
  return budget->workLeft >= 0;
}

bool HoldBytes(PrepareBudget *budget, std::int64_t bytes) {
  if (bytes > MaxBytesHeld - budget->bytesHeld) return false;
  budget->bytesHeld += bytes;
  return true;
}

namespace {

OwnedBlock TakeCounted(PrepareBudget *budget, std::int64_t size, OwnedBlock (*allocate)(std::int64_t)) {
  if (size <= 0 || !HoldBytes(budget, size)) return {};
  OwnedBlock block = allocate(size);
  if (block.empty()) budget->bytesHeld -= size;
  return block;
}

}  // namespace

OwnedBlock TakeBlock(PrepareBudget *budget, std::int64_t size) { return TakeCounted(budget, size, AllocateBlock); }

OwnedBlock TakeBlockToOverwrite(PrepareBudget *budget, std::int64_t size) {
  return TakeCounted(budget, size, AllocateBlockToOverwrite);
}

}  // namespace dinfo
