// DIGetTable and DIFreeTable: the conditions come from the input's first
// bytes, the rest is the information file. A returned table is read whole,
// as its header describes it, then given back.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  Query query{};
  const DIWideChar *folder = TakeInput(data, size, &query);
  if (folder == nullptr) return 0;
  const Holdings before = Held();
  void *table = DIGetTable(FileName, folder, query.selector, query.Pairs(), query.pairCount);
  if (table != nullptr) {
    Require(Held().blocks == before.blocks + 1, "DIGetTable kept more than the table");
    RequirePreparedTable(static_cast<const std::uint8_t *>(table));
    DIFreeTable(table);
  }
  RequireHeld(before);
  return 0;
}
