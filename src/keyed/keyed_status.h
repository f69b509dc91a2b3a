// The codes of the keyed lookups and the value lists. They stay inside the
// library: the exports turn them into their own codes.
#ifndef DINFO_KEYED_KEYED_STATUS_H
#define DINFO_KEYED_KEYED_STATUS_H

#include <cstdint>

namespace dinfo {

constexpr std::int16_t StatusOk = 0;
constexpr std::int16_t ErrListMemory = -2004;        // a value list's work area was not had
constexpr std::int16_t ErrRecordUnreadable = -2007;  // a record of a chain did not read
constexpr std::int16_t ErrChainSelection = -2008;    // a chain block matched no row
constexpr std::int16_t ErrRecordDamaged = -2010;     // a record is empty, or its block is unsound
constexpr std::int16_t ErrListFailed = -1;           // a value list's lookup or type failed

}  // namespace dinfo

#endif  // DINFO_KEYED_KEYED_STATUS_H
