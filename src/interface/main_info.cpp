#include "interface/frame.h"
#include "interface/status_codes.h"
#include "keyed/value_list.h"

namespace dinfo {
namespace {

// Both main lists must be non-empty. Record 1001 is read as the value type
// its own header names; record 1002 always as 32-bit values.
std::int16_t QueryMainInfo(HANDLE file, NamedEntry *namedEntries, IntegerTriplet *triplets,
                           std::int16_t *namedCount, std::int16_t *tripletCount) {
  KeyedHeader header{};
  if (ReadKeyedHeader(nullptr, file, MainEntriesRecordId, MainSection, &header) < 0) {
    return ErrMainInfo;
  }
  const std::int16_t named =
      GetNamedEntryList(MainEntriesRecordId, nullptr, namedEntries, 0, file, header.valueType);
  if (named <= 0) return ErrMainInfo;
  *namedCount = named;
  const std::int16_t tripletTotal =
      GetValueList(MainTripletsRecordId, nullptr, triplets, 0, file, ValueTypeInt32);
  if (tripletTotal <= 0) return ErrMainInfo;
  *tripletCount = tripletTotal;
  return StatusOk;
}

}  // namespace
}  // namespace dinfo

extern "C" DI_API int16_t DIGetMainInfo(const char *fileName, const DIWideChar *folder,
                                        NamedEntry *namedEntries, IntegerTriplet *triplets,
                                        int16_t *namedCount, int16_t *tripletCount) {
  if (namedCount != nullptr) *namedCount = 0;
  if (tripletCount != nullptr) *tripletCount = 0;
  // The counts are written whatever the file holds; a null list fails only
  // where elements would be written through it.
  if (namedCount == nullptr || tripletCount == nullptr) return ErrMainInfo;
  HANDLE file = dinfo::OpenForExport(fileName, folder);
  if (file == nullptr) return ErrOpenFile;
  std::int16_t result = dinfo::CheckFileStatus(file);
  if (result == dinfo::StatusOk) {
    result = dinfo::QueryMainInfo(file, namedEntries, triplets, namedCount, tripletCount);
  }
  CloseHandle(file);
  return result;
}
