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
  NoMemory,          // a work area or a block for what is read could not be taken
  ListFailed,        // a value list's lookup or value type failed
  BadArgument,       // no file or table object, or a value the step does not accept
  BadData,           // a table object or its content is not what the format allows
  ScrambleRefused,   // the body of a table object could not be unscrambled
  TooMuchWork,       // a table object would take more work or memory than it may
  StreamDamaged,     // a compressed stream broke its rules (lzw/lzw.h)
  OutputTooLarge,    // an expansion would pass its size limit
  // The file reads' own faults.
  ReadFailed,     // a seek or a read failed, or read fewer bytes than asked
  BadEntryCount,  // a directory's entry count below 1 or too large
  BadRecordSize,  // a record's size 0 or negative
  RecordAbsent,   // no entry for the record, or its first entry marks it absent
};

}  // namespace dinfo

#endif  // DINFO_COMMON_FAULT_H
