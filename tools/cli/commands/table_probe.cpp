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
  ConditionVector vector;
  TableLocation location{};
  if (open.handle == nullptr || !MakeVector(selector, pairs, &vector) ||
      LocateTable(open.keyed, vector, &location) != LocatorAnswer::Found) {
    return probe;
  }
  auto [record, fault] = ReadRecord(open.keyed.view, location.section, location.recordId);
  if (record.empty()) return probe;
  probe.section = location.section;
  probe.recordId = location.recordId;
  probe.storedView = DecodeTableRecord(std::vector<std::uint8_t>(record.get().begin(), record.get().end())).view;
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
