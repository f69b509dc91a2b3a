#include "common/scramble.h"
#include "tableobj/preparation.h"

namespace dinfo {

// The header stays plain; only the body, descriptors included, is
// scrambled.
Fault UnscrambleStored(StoredTable *stored) {
  const TableHeader &header = stored->header();
  if (UnscrambleBlock(stored->object().data() + TableHeaderSize, header.totalSize - TableHeaderSize) != 0) {
    return Fault::ScrambleRefused;
  }
  stored->ClearFlag(FlagScrambled);
  return Fault::None;
}

// Sizes are checked before the flag, so a bad size is refused even when
// there is nothing to undo. A totalSize past the block is refused like any
// bad size; -1 is neither a multiple of 8 nor a header's length.
Fault UnscrambleTableObject(Block object) {
  if (object.empty()) return Fault::BadArgument;
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return Fault::BadData;
  StoredTable stored{};
  if (header.totalSize % 8 != 0 || !CheckStoredTable(object, header, &stored)) return Fault::BadArgument;
  if ((header.flags & FlagScrambled) == 0) return Fault::None;
  return UnscrambleStored(&stored);
}

}  // namespace dinfo
