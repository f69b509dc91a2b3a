#include "keyed/value_list.h"

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "keyed/keyed_status.h"

namespace dinfo {
namespace {

std::int32_t ReadSignedValue(const std::uint8_t *at, std::int32_t size) {
  switch (size) {
    case 1: return static_cast<std::int8_t>(at[0]);
    case 2: return ReadI16LittleEndian(at);
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
  std::int16_t result;  // ErrListMemory, ErrListFailed, or the row count
  Block work;
  std::size_t written;  // bytes of `work` the lookup wrote
};

// Runs the lookup into a fresh work area; on success the caller reads the
// rows from `work` and releases it. The area starts out unfilled: the
// caller zeroes what it reads beyond `written` (ZeroUnwritten).
Selection LookupIntoWorkArea(std::int32_t recordId, const ConditionVector *conditions,
                             FileView &view, std::int32_t workSize) {
  Selection selection{0, AllocateBlockToOverwrite(workSize), 0};
  if (selection.work.empty()) return {ErrListMemory, {}, 0};
  std::int16_t count = 0;
  std::int16_t disabledFlag = 0;
  const std::int16_t status = LookupKeyedRecord(conditions, view, MainSection, recordId, &count,
                                                &disabledFlag, selection.work, &selection.written);
  selection.result = status != StatusOk || disabledFlag != 0 ? ErrListFailed : count;
  return selection;
}

// A list reads `count` elements of `elementBytes` (checked to fit the work
// area) from the work area; what they reach past the rows the lookup wrote
// (rows narrower than an element, a single block holding fewer rows than
// it claims) reads as zero, as in an area zero-filled before the lookup.
void ZeroUnwritten(const Selection &selection, std::int16_t count, std::int32_t elementBytes) {
  const std::size_t read = std::size_t(count) * std::size_t(elementBytes);
  if (read > selection.written) {
    FillBytes(selection.work.data() + selection.written, 0,
              static_cast<std::int32_t>(read - selection.written));
  }
}

}  // namespace

std::int16_t GetValueList(std::int32_t recordId, const ConditionVector *conditions,
                          IntegerTriplet *list, std::int16_t start, FileView &view,
                          std::int32_t expectedType) {
  Selection selection = LookupIntoWorkArea(recordId, conditions, view, ValueListWorkSize);
  std::int16_t result = selection.result;
  const bool typeHandled = expectedType == 1 || expectedType == 2 || expectedType == 4;
  if (result >= 0 && !typeHandled) result = ErrListFailed;
  if (result > 0 && (list == nullptr ||
                     !SelectionFits(start, result, 3 * expectedType, ValueListWorkSize))) {
    result = ErrListFailed;
  }
  if (result > 0) ZeroUnwritten(selection, result, 3 * expectedType);
  for (std::int16_t i = 0; i < result; ++i) {
    const std::uint8_t *values = selection.work.data() + std::size_t(i) * 3u * std::size_t(expectedType);
    IntegerTriplet &element = list[start + i];
    for (std::int32_t k = 0; k < 3; ++k) {
      element.values[k] = ReadSignedValue(values + k * expectedType, expectedType);
    }
  }
  ReleaseBlock(selection.work);
  return result;
}

std::int16_t GetNamedEntryList(std::int32_t recordId, const ConditionVector *conditions,
                               NamedEntry *list, std::int16_t start, FileView &view,
                               std::int32_t expectedType) {
  Selection selection = LookupIntoWorkArea(recordId, conditions, view, NamedEntryListWorkSize);
  std::int16_t result = selection.result;
  const bool typeHandled = expectedType == ValueTypeText || expectedType == ValueTypeNamedEntry;
  if (result >= 0 && !typeHandled) result = ErrListFailed;
  if (result > 0 && (list == nullptr ||
                     !SelectionFits(start, result, expectedType, NamedEntryListWorkSize))) {
    result = ErrListFailed;
  }
  if (result > 0) ZeroUnwritten(selection, result, expectedType);
  for (std::int16_t i = 0; i < result; ++i) {
    const std::uint8_t *value = selection.work.data() + std::size_t(i) * std::size_t(expectedType);
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
  ReleaseBlock(selection.work);
  return result;
}

}  // namespace dinfo
