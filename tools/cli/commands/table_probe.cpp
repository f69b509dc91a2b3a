#include "commands/table_probe.h"

#include "common/bytes.h"
#include "infofile/information_file.h"
#include "query/query.h"
#include "formats/table_json.h"
#include "tableobj/table_object.h"

namespace dinfo::cli {
namespace {

struct OpenFile {
  explicit OpenFile(const FileArgument &file)
      : handle(OpenInformationFile(reinterpret_cast<const WideChar *>(file.Folder()), file.FileName())) {}
  ~OpenFile() {
    if (handle != nullptr) CloseHandle(handle);
  }
  OpenFile(const OpenFile &) = delete;
  OpenFile &operator=(const OpenFile &) = delete;
  HANDLE handle;
  // Declared after the handle, so that it ends before the handle closes.
  KeyedFile keyed{handle};
};

bool MakeVector(std::int32_t selector, const std::vector<ConditionPair> &pairs, ConditionVector *vector) {
  return BuildConditionVector(selector, pairs.empty() ? nullptr : pairs.data(),
                              static_cast<std::int16_t>(pairs.size()), vector);
}

// Finds the table's section and record id the way DIGetTable does, and
// says which step stopped it.
bool Locate(KeyedFile &file, const ConditionVector &vector, TableProbe &probe) {
  TableLocation location{};
  const LocatorAnswer answer = LocateTable(file, vector, &location);
  probe.section = location.section;
  probe.recordId = location.recordId;
  switch (answer) {
    case LocatorAnswer::Found: return true;
    case LocatorAnswer::LookupFailed:
      probe.failure = "the locator lookup (record " + std::to_string(TableLocatorRecordId) +
                      ") failed: " + DescribeFault(location.lookupFault);
      break;
    case LocatorAnswer::Disabled: probe.failure = "the locator's final block is disabled"; break;
    case LocatorAnswer::WrongRowCount:
      probe.failure = "the locator answered " + Plural(std::size_t(location.rowCount), "row") + "; it must answer exactly 2";
      break;
    case LocatorAnswer::UnknownKind:
      probe.failure = "a locator row has kind " + std::to_string(location.badKind) +
                      ", neither " + std::to_string(LocatorSectionKind) +
                      " (section) nor " + std::to_string(LocatorRecordKind) + " (record)";
      break;
    case LocatorAnswer::SectionZero: probe.failure = "the locator names section 0"; break;
  }
  return false;
}

}  // namespace

std::int32_t CategoryValueType(const FileArgument &file, char variant, std::int32_t selector,
                               const std::vector<ConditionPair> &pairs) {
  OpenFile open(file);
  ConditionVector vector;
  if (open.handle == nullptr || !MakeVector(selector, pairs, &vector)) return 0;
  std::uint8_t ids[CategoryIdBufferSize];
  const CategoryAnswer listing =
      ReadCategoryListing(open.keyed, vector, variant == 'v' ? CategoryVariant::V : CategoryVariant::S, ids);
  const bool read = listing.stop == CategoryStop::Gathered || listing.stop == CategoryStop::NotAList;
  return read ? listing.valueType : 0;
}

TableProbe ProbeTable(const FileArgument &file, std::int32_t selector, const std::vector<ConditionPair> &pairs) {
  TableProbe probe;
  OpenFile open(file);
  if (open.handle == nullptr) {
    probe.failure = "the information file did not open";
    return probe;
  }
  const StatusValues status = ReadStatusRecord(open.keyed);
  if (const std::int16_t code = FileStatusCode(status); code != 0) {
    probe.failure = "the status check failed: " + DescribeStatus(code);
    return probe;
  }
  if (const std::int32_t formatType = FormatTypeCode(status); formatType < 0) {
    probe.failure = "the format type is not usable: " + DescribeStatus(formatType);
    return probe;
  }
  ConditionVector vector;
  if (!MakeVector(selector, pairs, &vector)) {
    probe.failure = "a condition index lies outside 0 to 299";
    return probe;
  }
  if (!Locate(open.keyed, vector, probe)) return probe;
  auto [record, fault] = ReadRecord(open.keyed.view, probe.section, probe.recordId);
  if (record.empty()) {
    probe.failure = "record " + std::to_string(probe.recordId) + " of section " + std::to_string(probe.section) +
                    " did not read: " + DescribeFault(fault);
    return probe;
  }
  const std::vector<std::uint8_t> stored(record.get().begin(), record.get().end());
  TableDecoding decoding = DecodeTableRecord(stored);
  probe.storedView = decoding.view;
  if (!decoding.problems.empty()) {
    probe.failure = "the stored table object is refused: " + decoding.problems.front();
  }
  return probe;
}

std::size_t PreparedTableSize(const std::uint8_t *table) {
  TableHeader header{};
  if (!ReadTableHeader(ConstBlock(table, TableHeaderSize), &header) || header.totalSize < TableHeaderSize) {
    return TableHeaderSize;
  }
  return std::size_t(header.totalSize);
}

void AnnotateStoredCodings(Json &preparedView, const Json &storedView) {
  if (storedView.contains("codings")) preparedView["codingsUndone"] = storedView["codings"];
  if (storedView.contains("scrambleKey")) preparedView["scrambleKey"] = storedView["scrambleKey"];
  if (!preparedView.contains("entries") || !storedView.contains("entries")) return;
  Json &entries = preparedView["entries"];
  const Json &stored = storedView["entries"];
  for (std::size_t i = 0; i < entries.size() && i < stored.size(); ++i) {
    if (entries[i].contains("table") && stored[i].contains("table")) {
      AnnotateStoredCodings(entries[i]["table"], stored[i]["table"]);
    }
  }
}

}  // namespace dinfo::cli
