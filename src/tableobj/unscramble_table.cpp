#include "common/scramble.h"
#include "tableobj/table_object.h"

namespace dinfo {

// The header stays plain; only the body, descriptors included, is
// scrambled. A totalSize past the block is refused like any bad size.
std::int32_t UnscrambleTableObject(Block object) {
  if (object.empty()) return StatusBadArgument;
  TableHeader header{};
  if (!ReadTableHeader(object, &header)) return StatusBadData;
  if (header.totalSize == -1 || header.totalSize % 8 != 0 || header.totalSize < TableHeaderSize ||
      std::uint64_t(header.totalSize) > object.size()) {
    return StatusBadArgument;
  }
  if ((header.flags & FlagScrambled) == 0) return 0;
  const std::int32_t result =
      UnscrambleBlock(object.data() + TableHeaderSize, header.totalSize - TableHeaderSize);
  if (result != 0) return result;
  WriteTableWord(object.data() + 12, header.flags & ~FlagScrambled, header.order);
  return 0;
}

}  // namespace dinfo
