// The exports' status codes, from the public header, and the place where
// the query layer's answers become them (the status record's verdicts are
// the query layer's own: FileStatusCode, FormatTypeCode). Faults stay
// inside the library below this folder.
#ifndef DINFO_INTERFACE_STATUS_CODES_H
#define DINFO_INTERFACE_STATUS_CODES_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "query/query.h"

namespace dinfo {

constexpr std::int16_t StatusOk = 0;

// A category query's result: the count gathered or the code of the step
// that stopped it. A list's failure, memory included, is the list's code.
constexpr std::int16_t CategoryCode(const CategoryAnswer &answer) {
  switch (answer.stop) {
    case CategoryStop::Gathered: return answer.count;
    case CategoryStop::LookupFailed: return ErrCategoryLookup;
    case CategoryStop::Disabled: return ErrRecordDisabled;
    case CategoryStop::NoCategory: return ErrNoCategory;
    case CategoryStop::HeaderFailed: return ErrValueList;
    case CategoryStop::NotAList: return 0;
    case CategoryStop::ListFailed: break;
  }
  return IsValueListType(answer.valueType) ? std::int16_t{ErrValueList} : std::int16_t{ErrEntryList};
}

}  // namespace dinfo

#endif  // DINFO_INTERFACE_STATUS_CODES_H
