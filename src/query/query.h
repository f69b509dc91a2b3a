// The queries of the exports, answered in the library's own terms: the
// status record, condition vectors, the table locator, value lists and
// category gathering. The exports (src/interface) turn these answers into
// status codes; the dinfo tool asks the same functions to retrace a call.
// Every lookup reports its steps to the file's observer when it has one.
#ifndef DINFO_QUERY_QUERY_H
#define DINFO_QUERY_QUERY_H

#include <cstdint>

#include "dinfo/dinfo.h"
#include "keyed/keyed_block.h"
#include "keyed/lookup_observer.h"

namespace dinfo {

constexpr std::int32_t StatusRecordId = 1000;
constexpr std::int32_t MainEntriesRecordId = 1001;
constexpr std::int32_t MainTripletsRecordId = 1002;
constexpr std::int32_t CategoryVRecordId = 1003;
constexpr std::int32_t CategorySRecordId = 1004;
constexpr std::int32_t TableLocatorRecordId = 1005;

// The status record (record 1000 of the main section) holds fileStatus
// (int32 at output bytes 0..3; positive: the file is unusable) and
// formatType (bytes 4..7). It is looked up without conditions into a
// zeroed buffer of this size, so a record that yields no row reads as
// status 0.
constexpr std::int32_t StatusBufferSize = 400;

struct StatusValues {
  Fault lookup;
  std::int16_t count;
  std::int16_t disabledFlag;
  std::int32_t fileStatus;
  std::int32_t formatType;
};

StatusValues ReadStatusRecord(KeyedFile &file);

// The status record judged as the exports judge it, in their codes.
// The status check: 0, ErrStatusLookup or ErrFileUnusable.
constexpr std::int16_t FileStatusCode(const StatusValues &values) {
  if (values.lookup != Fault::None) return ErrStatusLookup;
  return values.fileStatus > 0 ? std::int16_t{ErrFileUnusable} : std::int16_t{0};
}

// The stored formatType (any sign), ErrFormatType or ErrRecordDisabled.
constexpr std::int32_t FormatTypeCode(const StatusValues &values) {
  if (values.lookup != Fault::None) return ErrFormatType;
  if (values.disabledFlag != 0) return ErrRecordDisabled;
  if (values.count < 2) return ErrFormatType;
  return values.formatType;
}


// All entries -1, the selector at index 1, then each pair in order. False
// when a pair's index lies outside 0..299, or pairs is null with a positive
// count.
bool BuildConditionVector(std::int32_t selector, const ConditionPair *pairs,
                          std::int16_t pairCount, ConditionVector *vector);

// The table locator: a keyed record of the main section whose selected
// rows say where the wanted table object is stored. It must answer exactly
// two rows (kind, number, unused): kind 80 names the section, kind 81 the
// record id, in either order.
constexpr std::int32_t LocatorSectionKind = 80;
constexpr std::int32_t LocatorRecordKind = 81;

// Where a lookup of the locator stopped; every answer but Found leaves the
// table unnamed.
enum class LocatorAnswer { Found, LookupFailed, Disabled, WrongRowCount, UnknownKind, SectionZero };

struct TableLocation {
  std::int32_t section;
  std::int32_t recordId;
  Fault lookupFault;      // LookupFailed: why (NoMemory included)
  std::int16_t rowCount;  // WrongRowCount: how many rows the locator gave
  std::int32_t badKind;   // UnknownKind: the kind that is neither 80 nor 81
};

// Releases the locator's block before it returns, so that the table read
// next is never held beside it.
LocatorAnswer LocateTable(KeyedFile &file, const ConditionVector &vector, TableLocation *location);

// Value lists: the values a keyed record yields, turned into the caller's
// list elements and appended from index `start` on. A value list reads
// three values per element as signed 8-, 16- or 32-bit integers (widened
// with their sign); a named entry list reads 256-byte texts (leading value
// 0, trailing value 1) or whole 264-byte named entries.
constexpr std::int32_t ValueListWorkSize = 2400;
constexpr std::int32_t NamedEntryListWorkSize = 52800;
constexpr std::int32_t MaxListElements = 32767;

// What a list appended: `count` elements (0 or more) when `fault` is
// Fault::None, else nothing; Fault::NoMemory (the work area or a record's
// block) or Fault::ListFailed. A selection larger than the work area, or
// one that would take the list past element 32767, fails instead of being
// cut short.
struct ListResult {
  Fault fault;
  std::int16_t count;
};

ListResult GetValueList(std::int32_t recordId, const ConditionVector *conditions,
                        IntegerTriplet *list, std::int16_t start, KeyedFile &file,
                        std::int32_t expectedType);
ListResult GetNamedEntryList(std::int32_t recordId, const ConditionVector *conditions,
                             NamedEntry *list, std::int16_t start, KeyedFile &file,
                             std::int32_t expectedType);

// Categories: record 1003 (V) or 1004 (S) lists up to 40 record ids,
// ended by 0; the values of every listed record are gathered in list
// order, all read as the value type of the first listed record.
enum class CategoryVariant { V, S };

constexpr std::int32_t CategoryIdBufferSize = 160;

// Where gathering a category stopped.
enum class CategoryStop {
  Gathered,      // `count` elements written
  LookupFailed,  // the category record's lookup failed (`fault`)
  Disabled,      // the category record is disabled
  NoCategory,    // the category record yielded no row
  HeaderFailed,  // the header of the first listed record did not read (`fault`)
  NotAList,      // the first listed record's value type makes no list: nothing written
  ListFailed,    // the id list is not ended, or a listed record's list failed (`fault`)
};

struct CategoryAnswer {
  CategoryStop stop;
  Fault fault;
  std::int32_t valueType;  // of the first listed record, once read
  std::int16_t count;
};

// Reads the category record and the first listed record's header only:
// stops at NotAList or, when a list could be made, at Gathered with
// count 0.
CategoryAnswer ReadCategoryListing(KeyedFile &file, const ConditionVector &vector,
                                   CategoryVariant variant, std::uint8_t (&ids)[CategoryIdBufferSize]);

// The whole query: the listing, then the lists into `entries`, which
// receives IntegerTriplet elements for the value types 1, 2 and 4 and
// NamedEntry elements for 256 and 264.
CategoryAnswer GatherCategory(KeyedFile &file, const ConditionVector &vector,
                              CategoryVariant variant, void *entries);

constexpr bool IsValueListType(std::int32_t valueType) {
  return valueType == ValueTypeInt8 || valueType == ValueTypeInt16 || valueType == ValueTypeInt32;
}

constexpr bool IsNamedListType(std::int32_t valueType) {
  return valueType == ValueTypeText || valueType == ValueTypeNamedEntry;
}

// A category query's result: the count gathered or the code of the step
// that stopped it. A list's failure, memory included, is the list's code.
constexpr std::int16_t CategoryCode(const CategoryAnswer &answer) {
  switch (answer.stop) {
    case CategoryStop::Gathered: return answer.count;
    case CategoryStop::LookupFailed: return ErrCategoryLookup;
    case CategoryStop::Disabled: return ErrRecordDisabled;
    case CategoryStop::NoCategory: return ErrNoCategory;
    case CategoryStop::HeaderFailed: return ErrValueList;
    case CategoryStop::NotAList: return 0;
    case CategoryStop::ListFailed: break;
  }
  return IsValueListType(answer.valueType) ? std::int16_t{ErrValueList} : std::int16_t{ErrEntryList};
}

}  // namespace dinfo

#endif  // DINFO_QUERY_QUERY_H
