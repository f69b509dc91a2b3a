// Value lists: the values a keyed record yields, turned into the caller's
// list elements and appended from index `start` on. A value list reads
// three values per element as signed 8-, 16- or 32-bit integers (widened
// with their sign); a named entry list reads 256-byte texts (leading value
// 0, trailing value 1) or whole 264-byte named entries.
#ifndef DINFO_INTERFACE_VALUE_LIST_H
#define DINFO_INTERFACE_VALUE_LIST_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "keyed/keyed_block.h"

namespace dinfo {

constexpr std::int32_t ValueListWorkSize = 2400;
constexpr std::int32_t NamedEntryListWorkSize = 52800;
constexpr std::int32_t MaxListElements = 32767;

// What a list appended: `count` elements (0 or more) when `fault` is
// Fault::None, else nothing; Fault::NoMemory or Fault::ListFailed. A
// selection larger than the work area, or one that would take the list
// past element 32767, fails instead of being cut short.
struct ListResult {
  Fault fault;
  std::int16_t count;
};

ListResult GetValueList(std::int32_t recordId, const ConditionVector *conditions,
                        IntegerTriplet *list, std::int16_t start, FileView &view,
                        std::int32_t expectedType);
ListResult GetNamedEntryList(std::int32_t recordId, const ConditionVector *conditions,
                             NamedEntry *list, std::int16_t start, FileView &view,
                             std::int32_t expectedType);

}  // namespace dinfo

#endif  // DINFO_INTERFACE_VALUE_LIST_H
