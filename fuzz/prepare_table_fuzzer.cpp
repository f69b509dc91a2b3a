// PrepareTableObject on a copy of the input in a block of its own, as
// DIGetTable hands it a record. Whatever comes back is checked and given
// back; the given block is the harness's to release.
#include "common/block.h"
#include "common/bytes.h"
#include "fuzz_support.h"
#include "tableobj/table_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  const Holdings before = Held();
  dinfo::Block object = dinfo::AllocateBlock(static_cast<std::int64_t>(size));
  if (object.empty()) return 0;
  dinfo::CopyBytes(data, object.data(), static_cast<std::int32_t>(size));
  {
    dinfo::OwnedBlock moved;
    if (dinfo::PrepareTableObject(object, &moved) == dinfo::Fault::None) {
      RequirePreparedTable((moved.empty() ? object : moved.get()).data());
      if (!moved.empty()) {
        dinfo::TableHeader header{};
        dinfo::ReadTableHeader(moved.get(), &header);
        Require(std::size_t(header.totalSize) == moved.get().size(), "a new table's size is not its block's");
      }
    }
  }
  dinfo::ReleaseBlock(object);
  RequireHeld(before);
  return 0;
}
