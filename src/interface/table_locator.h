// The table locator: a keyed record of the main section whose selected
// rows say where the wanted table object is stored. It must answer exactly
// two rows (kind, number, unused): kind 80 names the section, kind 81 the
// record id, in either order.
#ifndef DINFO_INTERFACE_TABLE_LOCATOR_H
#define DINFO_INTERFACE_TABLE_LOCATOR_H

#include <cstdint>

#include "common/fault.h"
#include "infofile/file_view.h"
#include "keyed/keyed_block.h"

namespace dinfo {

constexpr std::int32_t LocatorSectionKind = 80;
constexpr std::int32_t LocatorRecordKind = 81;

// Where a lookup of the locator stopped; every answer but Found leaves the
// table unnamed.
enum class LocatorAnswer { Found, LookupFailed, Disabled, WrongRowCount, UnknownKind, SectionZero };

struct TableLocation {
  std::int32_t section;
  std::int32_t recordId;
  Fault lookupFault;     // LookupFailed: why
  std::int16_t rowCount;  // WrongRowCount: how many rows the locator gave
  std::int32_t badKind;   // UnknownKind: the kind that is neither 80 nor 81
};

LocatorAnswer LocateTable(FileView &view, const ConditionVector &vector, TableLocation *location);

}  // namespace dinfo

#endif  // DINFO_INTERFACE_TABLE_LOCATOR_H
