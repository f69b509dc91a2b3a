// Every status code of the library. The exports' codes come from the public
// header; the faults of the layers below become those codes (or a null
// table) in the exports. The codes the faults had as numbers remain for
// tools that describe a lookup's fault.
#ifndef DINFO_INTERFACE_STATUS_CODES_H
#define DINFO_INTERFACE_STATUS_CODES_H

#include <cstdint>

#include "common/fault.h"
#include "dinfo/dinfo.h"

namespace dinfo {

constexpr std::int16_t StatusOk = 0;
constexpr std::int16_t ErrListMemory = -2004;        // a value list's work area was not had
constexpr std::int16_t ErrRecordUnreadable = -2007;  // a record of a chain did not read
constexpr std::int16_t ErrChainSelection = -2008;    // a chain block matched no row
constexpr std::int16_t ErrRecordDamaged = -2010;     // a record is empty, or its block is unsound
constexpr std::int16_t ErrListFailed = -1;           // a value list's lookup or type failed

constexpr std::int16_t StatusCodeOf(Fault fault) {
  switch (fault) {
    case Fault::None: return StatusOk;
    case Fault::RecordUnreadable: return ErrRecordUnreadable;
    case Fault::ChainSelection: return ErrChainSelection;
    case Fault::NoMemory: return ErrListMemory;
    case Fault::ListFailed: return ErrListFailed;
    // A damaged record, and any read fault a lookup passes on. A table
    // object's faults never come here: DIGetTable answers them with null.
    default: return ErrRecordDamaged;
  }
}

// The numbers the file reads' faults are known by in the tool's reports.
constexpr std::int32_t ReadBadArgument = -128;
constexpr std::int32_t ReadFailed = -138;
constexpr std::int32_t ReadBadCount = -108;  // also: a block could not be taken
constexpr std::int32_t ReadBadSize = -148;
constexpr std::int32_t ReadNotFound = -1;

constexpr std::int32_t ReadCodeOf(Fault fault) {
  switch (fault) {
    case Fault::None: return 0;
    case Fault::BadArgument: return ReadBadArgument;
    case Fault::BadEntryCount:
    case Fault::NoMemory: return ReadBadCount;
    case Fault::BadRecordSize: return ReadBadSize;
    case Fault::RecordAbsent: return ReadNotFound;
    default: return ReadFailed;
  }
}

}  // namespace dinfo

#endif  // DINFO_INTERFACE_STATUS_CODES_H
