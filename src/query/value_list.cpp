#include <utility>

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "query/query.h"

namespace dinfo {
namespace {

std::int32_t ReadSignedValue(const std::uint8_t *at, std::int32_t valueType) {
  switch (valueType) {
    case ValueTypeInt8: return static_cast<std::int8_t>(at[0]);
    case ValueTypeInt16: return ReadI16LittleEndian(at);
    default: return ReadI32LittleEndian(at);
  }
}

// Whether `count` elements of `elementBytes` each fit the work area and
// the list's 16-bit index range from `start` on.
bool SelectionFits(std::int16_t start, std::int16_t count, std::int32_t elementBytes,
                   std::int32_t workSize) {
  return start >= 0 && std::int32_t{start} + count <= MaxListElements &&
         std::int64_t{count} * elementBytes <= workSize;
}

struct Selection {
  Fault fault;
  std::int16_t count;   // rows selected, when there is no fault
  OwnedBlock work;
  std::size_t written;  // bytes of `work` the lookup wrote
};

// Runs the lookup into a fresh work area, from which the caller reads the
// rows. The area starts out unfilled: the caller zeroes what it reads
// beyond `written` (ZeroUnwritten). A flagged record, or a single block
// claiming fewer than no rows, fails the list; memory that could not be
// had stays NoMemory.
Selection LookupIntoWorkArea(std::int32_t recordId, const ConditionVector *conditions,
                             KeyedFile &file, std::int32_t workSize) {
  Selection selection{Fault::None, 0, AllocateBlockToOverwrite(workSize), 0};
  if (selection.work.empty()) {
    selection.fault = Fault::NoMemory;
    return selection;
  }
  std::int16_t disabledFlag = 0;
  const Fault fault = LookupKeyedRecord(conditions, file, MainSection, recordId, &selection.count,
                                        &disabledFlag, selection.work.get(), &selection.written);
  if (fault == Fault::NoMemory) {
    selection.fault = Fault::NoMemory;
  } else if (fault != Fault::None || disabledFlag != 0 || selection.count < 0) {
    selection.fault = Fault::ListFailed;
  }
  return selection;
}

// The rows a list may take: none after a fault; a fault too when the value
// type is not the list's or the rows would not fit.
std::int16_t TakeRows(Selection &selection, bool typeHandled, bool listGiven, std::int16_t start,
                      std::int32_t elementBytes, std::int32_t workSize) {
  if (selection.fault != Fault::None) return 0;
  if (!typeHandled || (selection.count > 0 &&
                       (!listGiven || !SelectionFits(start, selection.count, elementBytes, workSize)))) {
    selection.fault = Fault::ListFailed;
    return 0;
  }
  return selection.count;
}

// A list reads `count` elements of `elementBytes` (checked to fit the work
// area) from the work area; what they reach past the rows the lookup wrote
// (rows narrower than an element, a single block holding fewer rows than
// it claims) reads as zero, as in an area zero-filled before the lookup.
void ZeroUnwritten(const Selection &selection, std::int16_t count, std::int32_t elementBytes) {
  const std::size_t read = std::size_t(count) * std::size_t(elementBytes);
  if (read > selection.written) {
    FillBytes(selection.work.get().data() + selection.written, 0,
              static_cast<std::int32_t>(read - selection.written));
  }
}

}  // namespace

ListResult GetValueList(std::int32_t recordId, const ConditionVector *conditions,
                        IntegerTriplet *list, std::int16_t start, KeyedFile &file,
                        std::int32_t expectedType) {
  Selection selection = LookupIntoWorkArea(recordId, conditions, file, ValueListWorkSize);
  const bool typeHandled = expectedType == ValueTypeInt8 || expectedType == ValueTypeInt16 ||
                           expectedType == ValueTypeInt32;
  const std::int32_t valueBytes = ValueWidth(expectedType);
  const std::int32_t elementBytes = 3 * valueBytes;
  const std::int16_t result = TakeRows(selection, typeHandled, list != nullptr, start,
                                       elementBytes, ValueListWorkSize);
  if (result > 0) ZeroUnwritten(selection, result, elementBytes);
  for (std::int16_t i = 0; i < result; ++i) {
    const std::uint8_t *values = selection.work.get().data() + std::size_t(i) * std::size_t(elementBytes);
    IntegerTriplet &element = list[start + i];
    for (std::int32_t k = 0; k < 3; ++k) {
      element.values[k] = ReadSignedValue(values + k * valueBytes, expectedType);
    }
  }
  return {selection.fault, result};
}

ListResult GetNamedEntryList(std::int32_t recordId, const ConditionVector *conditions,
                             NamedEntry *list, std::int16_t start, KeyedFile &file,
                             std::int32_t expectedType) {
  Selection selection = LookupIntoWorkArea(recordId, conditions, file, NamedEntryListWorkSize);
  const bool typeHandled = expectedType == ValueTypeText || expectedType == ValueTypeNamedEntry;
  const std::int32_t elementBytes = ValueWidth(expectedType);
  const std::int16_t result = TakeRows(selection, typeHandled, list != nullptr, start,
                                       elementBytes, NamedEntryListWorkSize);
  if (result > 0) ZeroUnwritten(selection, result, elementBytes);
  for (std::int16_t i = 0; i < result; ++i) {
    const std::uint8_t *value = selection.work.get().data() + std::size_t(i) * std::size_t(elementBytes);
    NamedEntry &element = list[start + i];
    if (expectedType == ValueTypeText) {
      element.leadingValue = 0;
      CopyBytes(value, element.name, TextValueSize);
      element.trailingValue = 1;
    } else {
      element.leadingValue = ReadI32LittleEndian(value);
      CopyBytes(value + 4, element.name, TextValueSize);
      element.trailingValue = ReadI32LittleEndian(value + 4 + TextValueSize);
    }
  }
  return {selection.fault, result};
}

}  // namespace dinfo
