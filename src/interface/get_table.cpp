#include "infofile/information_file.h"
#include "interface/frame.h"
#include "interface/status_codes.h"
#include "tableobj/table_object.h"

namespace dinfo {
namespace {

// The record is handed to preparation as read: a table object carries its
// own scrambling flag. Every fault of preparation gives a null table; the
// block that does not hold the prepared table is released.
void *QueryTable(KeyedFile &file, std::int32_t selector, const ConditionPair *pairs,
                 std::int16_t pairCount) {
  ConditionVector vector;
  TableLocation address{};
  if (!BuildConditionVector(selector, pairs, pairCount, &vector) ||
      LocateTable(file, vector, &address) != LocatorAnswer::Found) {
    return nullptr;
  }
  OwnedBlock record = ReadRecord(file.view, address.section, address.recordId).block;
  if (record.empty()) return nullptr;
  TableInBlock prepared = PrepareTableObject(record.get());
  if (prepared.fault != Fault::None) return nullptr;
  OwnedBlock &holder = prepared.made.empty() ? record : prepared.made;
  return holder.HandOut().data();
}

}  // namespace
}  // namespace dinfo

extern "C" DI_API void *DIGetTable(const char *fileName, const DIWideChar *folder,
                                   int32_t selector, const ConditionPair *pairs,
                                   int16_t pairCount) {
  void *table = nullptr;
  dinfo::RunExport(fileName, folder, {true, true}, [&](dinfo::ExportFile &file) -> std::int32_t {
    table = dinfo::QueryTable(file, selector, pairs, pairCount);
    return dinfo::StatusOk;
  });
  return table;
}
