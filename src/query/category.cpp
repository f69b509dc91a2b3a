#include "common/bytes.h"
#include "infofile/information_file.h"
#include "query/query.h"

namespace dinfo {
namespace {

constexpr std::int32_t IdBufferCapacity = CategoryIdBufferSize / 4;

// Whether the id list ends with a 0 inside its 40 places.
bool IdListEnds(const std::uint8_t *ids) {
  for (std::int32_t i = 0; i < IdBufferCapacity; ++i) {
    if (ReadI32LittleEndian(ids + 4 * i) == 0) return true;
  }
  return false;
}

// Appends the values of every listed record, in list order.
CategoryAnswer GatherListedRecords(KeyedFile &file, const ConditionVector &vector,
                                   const std::uint8_t *ids, CategoryAnswer answer, void *entries) {
  // A null `entries` fails in the lists, and only where they would write.
  if (!IdListEnds(ids)) return {CategoryStop::ListFailed, Fault::ListFailed, answer.valueType, 0};
  const bool asTriplets = IsValueListType(answer.valueType);
  std::int16_t total = 0;
  for (std::int32_t i = 0; ReadI32LittleEndian(ids + 4 * i) != 0; ++i) {
    const std::int32_t id = ReadI32LittleEndian(ids + 4 * i);
    const ListResult added =
        asTriplets ? GetValueList(id, &vector, static_cast<IntegerTriplet *>(entries), total, file,
                                  answer.valueType)
                   : GetNamedEntryList(id, &vector, static_cast<NamedEntry *>(entries), total, file,
                                       answer.valueType);
    if (added.fault != Fault::None) return {CategoryStop::ListFailed, added.fault, answer.valueType, total};
    total = static_cast<std::int16_t>(total + added.count);
  }
  return {CategoryStop::Gathered, Fault::None, answer.valueType, total};
}

}  // namespace

CategoryAnswer ReadCategoryListing(KeyedFile &file, const ConditionVector &vector,
                                   CategoryVariant variant, std::uint8_t (&ids)[CategoryIdBufferSize]) {
  for (std::uint8_t &byte : ids) byte = 0;
  std::int16_t count = 0;
  std::int16_t disabledFlag = 0;
  const std::int32_t recordId = variant == CategoryVariant::V ? CategoryVRecordId : CategorySRecordId;
  const Fault lookup = LookupKeyedRecord(&vector, file, MainSection, recordId, &count, &disabledFlag,
                                         Block(ids, sizeof ids));
  if (lookup != Fault::None) return {CategoryStop::LookupFailed, lookup, 0, 0};
  if (disabledFlag != 0) return {CategoryStop::Disabled, Fault::None, 0, 0};
  if (count == 0) return {CategoryStop::NoCategory, Fault::None, 0, 0};
  KeyedFields header{};
  const Fault headerFault = ReadKeyedHeader(&vector, file, MainSection, ReadI32LittleEndian(ids), &header);
  if (headerFault != Fault::None) return {CategoryStop::HeaderFailed, headerFault, 0, 0};
  const bool listed = IsValueListType(header.valueType) || IsNamedListType(header.valueType);
  return {listed ? CategoryStop::Gathered : CategoryStop::NotAList, Fault::None, header.valueType, 0};
}

CategoryAnswer GatherCategory(KeyedFile &file, const ConditionVector &vector,
                              CategoryVariant variant, void *entries) {
  std::uint8_t ids[CategoryIdBufferSize];
  const CategoryAnswer listing = ReadCategoryListing(file, vector, variant, ids);
  if (listing.stop != CategoryStop::Gathered) return listing;
  return GatherListedRecords(file, vector, ids, listing, entries);
}

}  // namespace dinfo
