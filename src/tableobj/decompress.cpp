#include "tableobj/table_object.h"

namespace dinfo {

// Placeholder until the LZW decoder lands: compressed objects are refused.
Block DecompressTableObject(Block object) {
  TableHeader header{};
  if (!ReadTableHeader(object, &header) || (header.flags & FlagCompressed) != 0) return {};
  return object;
}

}  // namespace dinfo
