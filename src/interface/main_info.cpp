#include "interface/frame.h"
#include "interface/status_codes.h"

namespace dinfo {
namespace {

// Both main lists must be non-empty. Record 1001 is read as the value type
// its own header names; record 1002 always as 32-bit values.
std::int16_t QueryMainInfo(KeyedFile &file, NamedEntry *namedEntries, IntegerTriplet *triplets,
                           std::int16_t *namedCount, std::int16_t *tripletCount) {
  KeyedFields header{};
  if (ReadKeyedHeader(nullptr, file, MainSection, MainEntriesRecordId, &header) != Fault::None) {
    return ErrMainInfo;
  }
  const ListResult named =
      GetNamedEntryList(MainEntriesRecordId, nullptr, namedEntries, 0, file, header.valueType);
  if (named.fault != Fault::None || named.count == 0) return ErrMainInfo;
  *namedCount = named.count;
  const ListResult tripletList =
      GetValueList(MainTripletsRecordId, nullptr, triplets, 0, file, ValueTypeInt32);
  if (tripletList.fault != Fault::None || tripletList.count == 0) return ErrMainInfo;
  *tripletCount = tripletList.count;
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
  return static_cast<int16_t>(dinfo::RunExport(
      fileName, folder, {true, false}, [&](dinfo::ExportFile &file) -> std::int32_t {
        return dinfo::QueryMainInfo(file, namedEntries, triplets, namedCount, tripletCount);
      }));
}
