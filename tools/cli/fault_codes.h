// The numbers the tool prints for the library's faults: the file reads'
// codes in inspect's reports, and a lookup's step codes (named in the
// public header's DI_LOOKUP_STEP_CODES) when it retraces a failed call.
#ifndef DINFO_TOOLS_CLI_FAULT_CODES_H
#define DINFO_TOOLS_CLI_FAULT_CODES_H

#include <cstdint>

#include "common/fault.h"
#include "dinfo/dinfo.h"

namespace dinfo::cli {

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

// The step codes, as DI_LOOKUP_STEP_CODES names them.
constexpr std::int32_t StepRecordUnreadable = -2007;
constexpr std::int32_t StepChainSelection = -2008;
constexpr std::int32_t StepRecordDamaged = -2010;

// A lookup's fault as its step code; memory that could not be had has no
// step code of its own, and 0 stands for it.
constexpr std::int32_t LookupStepCodeOf(Fault fault) {
  switch (fault) {
    case Fault::None:
    case Fault::NoMemory: return 0;
    case Fault::RecordUnreadable: return StepRecordUnreadable;
    case Fault::ChainSelection: return StepChainSelection;
    default: return StepRecordDamaged;
  }
}

}  // namespace dinfo::cli

#endif  // DINFO_TOOLS_CLI_FAULT_CODES_H
