// What a lookup did, step by step, for a reader that must tell why a query
// answered as it did (the tool's explanations and checks): each record
// read, each chain link with the conditions it compared and the row that
// matched or the condition no row accepted, the final block's selection,
// and where the lookup stopped and why. The exports pass no observer; a
// lookup then pays one test of a null pointer a link.
#ifndef DINFO_KEYED_LOOKUP_OBSERVER_H
#define DINFO_KEYED_LOOKUP_OBSERVER_H

#include <cstdint>

#include "common/fault.h"

namespace dinfo {

struct ConditionVector;
class KeyedHeader;

// A record of the lookup: read from the file, or the block kept for the
// call; `fault` is None when it read and was restored.
struct RecordReadStep {
  std::int32_t section;
  std::int32_t recordId;
  bool kept;
  Fault fault;
};

// A condition position that no row's key accepts: neither the wildcard
// nor the position's value. `index` is -1 when every position is accepted
// by some row, though by no single row all together.
struct ConditionMiss {
  std::int32_t index;
  std::int32_t value;
};

// A chain block compared with the conditions. The keys it compared are
// header->fields().keyIndex[0 .. keyCount); both pointers last only for the call.
struct ChainLinkStep {
  std::int32_t section;
  std::int32_t recordId;
  const KeyedHeader *header;
  const ConditionVector *conditions;
  std::int32_t matchedRow;    // -1 when no row matched
  std::int32_t nextRecordId;  // the record the matched row names
  ConditionMiss miss;         // when no row matched
};

// The final block and the rows it gave, selected with `conditions` (null
// for a lookup without them; both pointers last only for the call).
struct FinalBlockStep {
  std::int32_t section;
  std::int32_t recordId;
  const KeyedHeader *header;
  std::int16_t rowsSelected;
  const ConditionVector *conditions;
};

// Where the lookup ended: Fault::None when it answered.
struct LookupStop {
  std::int32_t section;
  std::int32_t recordId;
  Fault fault;
};

// Callbacks a lookup calls with `context`; any of them may be null.
struct LookupObserver {
  void *context;
  void (*recordRead)(void *context, const RecordReadStep &step);
  void (*chainLink)(void *context, const ChainLinkStep &step);
  void (*finalBlock)(void *context, const FinalBlockStep &step);
  void (*stopped)(void *context, const LookupStop &stop);
};

}  // namespace dinfo

#endif  // DINFO_KEYED_LOOKUP_OBSERVER_H
