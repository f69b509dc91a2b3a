// PrepareTableObject on a copy of the input in a block of its own, as
// DIGetTable hands it a record. Whatever comes back is checked and given
// back with the harness's own block.
#include "common/block.h"
#include "common/bytes.h"
#include "fuzz_support.h"
#include "tableobj/table_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace dinfo::fuzz;
  const Holdings before = Held();
  {
    const dinfo::OwnedBlock object = dinfo::AllocateBlock(static_cast<std::int64_t>(size));
    if (object.empty()) return 0;
    dinfo::CopyBytes(data, object.get().data(), static_cast<std::int32_t>(size));
    const dinfo::TableInBlock prepared = dinfo::PrepareTableObject(object.get());
    if (prepared.fault == dinfo::Fault::None) {
      RequirePreparedTable(prepared.object.data());
      if (!prepared.made.empty()) {
        dinfo::TableHeader header{};
        dinfo::ReadTableHeader(prepared.object, &header);
        Require(std::size_t(header.totalSize) == prepared.made.get().size(), "a new table's size is not its block's");
      }
    }
  }
  RequireHeld(before);
  return 0;
}
