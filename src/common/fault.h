// The faults that the library's layers report to the layers above. Each
// caller turns them into its own result; only the exports turn them into
// status codes (interface/status_codes.h).
#ifndef DINFO_COMMON_FAULT_H
#define DINFO_COMMON_FAULT_H

#include <cstdint>

namespace dinfo {

enum class Fault : std::int32_t {
  None,
  RecordUnreadable,  // a record of a chain did not read
  ChainSelection,    // a chain block matched no row
  RecordDamaged,     // a record too short or unsound, or its selection too large
  NoMemory,          // a work area could not be taken
  ListFailed,        // a value list's lookup or value type failed
  BadArgument,       // no table object, or a header value the step does not accept
  BadData,           // a table object or its content is not what the format allows
  ScrambleRefused,   // the body of a table object could not be unscrambled
  TooMuchWork,       // a table object would take more work or memory than it may
  StreamDamaged,     // a compressed stream broke its rules (lzw/lzw.h)
  OutputTooLarge,    // an expansion would pass its size limit
};

}  // namespace dinfo

#endif  // DINFO_COMMON_FAULT_H
