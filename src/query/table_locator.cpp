#include "common/bytes.h"
#include "infofile/information_file.h"
#include "query/query.h"

namespace dinfo {
namespace {

constexpr std::int32_t LocatorWorkSize = 2400;
constexpr std::int32_t LocatorRowSize = 12;

LocatorAnswer ReadLocatorRows(ConstBlock rows, TableLocation *location) {
  for (std::int32_t row = 0; row < 2; ++row) {
    const std::uint8_t *at = rows.data() + LocatorRowSize * row;
    const std::int32_t kind = ReadI32LittleEndian(at);
    const std::int32_t number = ReadI32LittleEndian(at + 4);
    if (kind == LocatorSectionKind) {
      location->section = number;
    } else if (kind == LocatorRecordKind) {
      location->recordId = number;
    } else {
      location->badKind = kind;
      return LocatorAnswer::UnknownKind;
    }
  }
  return location->section == 0 ? LocatorAnswer::SectionZero : LocatorAnswer::Found;
}

}  // namespace

LocatorAnswer LocateTable(KeyedFile &file, const ConditionVector &vector, TableLocation *location) {
  *location = {0, 0, Fault::None, 0, 0};
  const OwnedBlock work = AllocateBlock(LocatorWorkSize);
  if (work.empty()) {
    location->lookupFault = Fault::NoMemory;
    return LocatorAnswer::LookupFailed;
  }
  std::int16_t disabledFlag = 0;
  location->lookupFault = LookupKeyedRecord(&vector, file, MainSection, TableLocatorRecordId,
                                            &location->rowCount, &disabledFlag, work.get());
  LocatorAnswer answer = LocatorAnswer::Found;
  if (location->lookupFault != Fault::None) {
    answer = LocatorAnswer::LookupFailed;
  } else if (disabledFlag != 0) {
    answer = LocatorAnswer::Disabled;
  } else if (location->rowCount != 2) {
    answer = LocatorAnswer::WrongRowCount;
  } else {
    answer = ReadLocatorRows(work.get(), location);
  }
  // The table is read next: its record and the locator's are never held
  // together.
  ReleaseRestoredBlock(file);
  return answer;
}

}  // namespace dinfo
