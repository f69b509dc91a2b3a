#include "common/bytes.h"
#include "infofile/information_file.h"
#include "interface/frame.h"
#include "interface/status_codes.h"
#include "tableobj/table_object.h"

namespace dinfo {
namespace {

constexpr std::int32_t LocatorWorkSize = 2400;
constexpr std::int32_t LocatorSectionKind = 80;
constexpr std::int32_t LocatorRecordKind = 81;

struct TableAddress {
  std::int32_t section;
  std::int32_t recordId;
};

// The locator must answer exactly two rows (kind, number, unused): kind 80
// names the section, kind 81 the record id, in either order.
bool LocateTable(FileView &view, const ConditionVector &vector, TableAddress *address) {
  const OwnedBlock work(AllocateBlock(LocatorWorkSize));
  if (work.empty()) return false;
  std::int16_t count = 0;
  std::int16_t disabledFlag = 0;
  bool found = LookupKeyedRecord(&vector, view, MainSection, TableLocatorRecordId, &count,
                                 &disabledFlag, work.get()) == Fault::None &&
               disabledFlag == 0 && count == 2;
  *address = {0, 0};
  for (std::int32_t row = 0; found && row < 2; ++row) {
    const std::int32_t kind = ReadI32LittleEndian(work.get().data() + 12 * row);
    const std::int32_t number = ReadI32LittleEndian(work.get().data() + 12 * row + 4);
    if (kind == LocatorSectionKind) {
      address->section = number;
    } else if (kind == LocatorRecordKind) {
      address->recordId = number;
    } else {
      found = false;
    }
  }
  return found && address->section != 0;
}

// The record is handed to preparation as read: a table object carries its
// own scrambling flag. Every fault of preparation gives a null table; the
// block that does not hold the prepared table is released.
void *QueryTable(FileView &view, std::int32_t selector, const ConditionPair *pairs,
                 std::int16_t pairCount) {
  ConditionVector vector;
  TableAddress address{};
  if (!BuildConditionVector(selector, pairs, pairCount, &vector) ||
      !LocateTable(view, vector, &address)) {
    return nullptr;
  }
  OwnedBlock record(ReadRecord(view, address.section, address.recordId).block);
  if (record.empty()) return nullptr;
  OwnedBlock moved;
  if (PrepareTableObject(record.get(), &moved) != Fault::None) return nullptr;
  return (moved.empty() ? record : moved).Release().data();
}

}  // namespace
}  // namespace dinfo

extern "C" DI_API void *DIGetTable(const char *fileName, const DIWideChar *folder,
                                   int32_t selector, const ConditionPair *pairs,
                                   int16_t pairCount) {
  void *table = nullptr;
  dinfo::RunExport(fileName, folder, {true, true}, [&](dinfo::ExportFile &file) -> std::int32_t {
    table = dinfo::QueryTable(file.view, selector, pairs, pairCount);
    return dinfo::StatusOk;
  });
  return table;
}
