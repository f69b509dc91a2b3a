#include "common/bytes.h"
#include "interface/frame.h"
#include "interface/status_codes.h"
#include "interface/value_list.h"

namespace dinfo {
namespace {

constexpr std::int32_t IdBufferSize = 160;
constexpr std::int32_t IdBufferCapacity = IdBufferSize / 4;

enum class CategoryVariant { V, S };

bool IsValueListType(std::int32_t valueType) {
  return valueType == ValueTypeInt8 || valueType == ValueTypeInt16 || valueType == ValueTypeInt32;
}

bool IsNamedListType(std::int32_t valueType) {
  return valueType == ValueTypeText || valueType == ValueTypeNamedEntry;
}

// Whether the id list ends with a 0 inside its 40 places.
bool IdListEnds(const std::uint8_t *ids) {
  for (std::int32_t i = 0; i < IdBufferCapacity; ++i) {
    if (ReadI32LittleEndian(ids + 4 * i) == 0) return true;
  }
  return false;
}

// Appends the values of every listed record, in list order, all read as
// the value type of the first listed record.
std::int16_t GatherListedRecords(const ConditionVector &vector, FileView &view,
                                 const std::uint8_t *ids, void *entries) {
  KeyedHeader header{};
  if (ReadKeyedHeader(&vector, view, MainSection, ReadI32LittleEndian(ids), &header) != Fault::None) {
    return ErrValueList;
  }
  const std::int32_t valueType = header.valueType;
  const bool asTriplets = IsValueListType(valueType);
  if (!asTriplets && !IsNamedListType(valueType)) return 0;
  const std::int16_t listFailure = asTriplets ? ErrValueList : ErrEntryList;
  // A null `entries` fails in the lists, and only where they would write.
  if (!IdListEnds(ids)) return listFailure;

  std::int16_t total = 0;
  for (std::int32_t i = 0; ReadI32LittleEndian(ids + 4 * i) != 0; ++i) {
    const std::int32_t id = ReadI32LittleEndian(ids + 4 * i);
    const ListResult added =
        asTriplets
            ? GetValueList(id, &vector, static_cast<IntegerTriplet *>(entries), total, view, valueType)
            : GetNamedEntryList(id, &vector, static_cast<NamedEntry *>(entries), total, view, valueType);
    if (added.fault != Fault::None) return listFailure;
    total = static_cast<std::int16_t>(total + added.count);
  }
  return total;
}

std::int16_t QueryCategory(FileView &view, std::int32_t selector, const ConditionPair *pairs,
                           void *entries, std::int16_t pairCount, CategoryVariant variant) {
  ConditionVector vector;
  if (!BuildConditionVector(selector, pairs, pairCount, &vector)) return ErrConditionIndex;
  std::uint8_t ids[IdBufferSize] = {};
  std::int16_t count = 0;
  std::int16_t disabledFlag = 0;
  const std::int32_t recordId = variant == CategoryVariant::V ? CategoryVRecordId : CategorySRecordId;
  if (LookupKeyedRecord(&vector, view, MainSection, recordId, &count, &disabledFlag,
                        Block(ids, sizeof ids)) != Fault::None) {
    return ErrCategoryLookup;
  }
  if (disabledFlag != 0) return ErrRecordDisabled;
  if (count == 0) return ErrNoCategory;
  return GatherListedRecords(vector, view, ids, entries);
}

std::int16_t GetCategoryInfo(const char *fileName, const DIWideChar *folder, std::int32_t selector,
                             const ConditionPair *pairs, void *entries, std::int16_t pairCount,
                             CategoryVariant variant) {
  return static_cast<std::int16_t>(
      RunExport(fileName, folder, {true, true}, [&](ExportFile &file) -> std::int32_t {
        return QueryCategory(file.view, selector, pairs, entries, pairCount, variant);
      }));
}

}  // namespace
}  // namespace dinfo

extern "C" DI_API int16_t DIGetCategoryInfoV(const char *fileName, const DIWideChar *folder,
                                             int32_t selector, const ConditionPair *pairs,
                                             void *entries, int16_t pairCount) {
  return dinfo::GetCategoryInfo(fileName, folder, selector, pairs, entries, pairCount,
                                dinfo::CategoryVariant::V);
}

extern "C" DI_API int16_t DIGetCategoryInfoS(const char *fileName, const DIWideChar *folder,
                                             int32_t selector, const ConditionPair *pairs,
                                             void *entries, int16_t pairCount) {
  return dinfo::GetCategoryInfo(fileName, folder, selector, pairs, entries, pairCount,
                                dinfo::CategoryVariant::S);
}
