// The exports' status codes, from the public header. The query layer's
// answers become them in query/query.h (FileStatusCode, FormatTypeCode,
// CategoryCode), where the dinfo tool reads them too. Faults stay inside
// the library below this folder.
#ifndef DINFO_INTERFACE_STATUS_CODES_H
#define DINFO_INTERFACE_STATUS_CODES_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "query/query.h"

namespace dinfo {

constexpr std::int16_t StatusOk = 0;

}  // namespace dinfo

#endif  // DINFO_INTERFACE_STATUS_CODES_H
