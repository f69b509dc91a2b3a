#include "formats/file_structure.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "analysis/problem_codes.h"
#include "analysis/query_trace.h"
#include "common/bytes.h"
#include "common/scramble.h"
#include "infofile/directory_entry.h"
#include "infofile/information_file.h"
#include "query/query.h"
#include "formats/info_file_json.h"
#include "keyed/keyed_block.h"
#include "formats/keyed_json.h"
#include "formats/table_json.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;

constexpr std::int64_t SectionScanLimit = 65536;

enum class Purpose { Status, MainEntries, MainTriplets, Category, Locator, Values };

struct FixedRecord {
  std::int32_t id;
  Purpose purpose;
  const char *role;
};

constexpr FixedRecord FixedRecords[] = {
    {StatusRecordId, Purpose::Status, "status record"},
    {MainEntriesRecordId, Purpose::MainEntries, "main named entries"},
    {MainTripletsRecordId, Purpose::MainTriplets, "main triplets"},
    {CategoryVRecordId, Purpose::Category, "category V"},
    {CategorySRecordId, Purpose::Category, "category S"},
    {TableLocatorRecordId, Purpose::Locator, "table locator"},
};

struct RecordInfo {
  std::int32_t section = 0;
  std::int32_t id = 0;
  std::int32_t offset = 0;
  bool readable = false;
  Bytes body;
  Json content = Json::object();  // "keyed" / "table" / "raw" and their notes
  bool keyedSound = false;
  std::string role;
};

std::string RecordName(std::int32_t section, std::int32_t id) {
  return "record " + std::to_string(id) + " in section " + std::to_string(section);
}

class Inspector {
 public:
  Inspector(const std::string &path, bool rebuild, const ArrayViews &views)
      : path_(path), rebuild_(rebuild), views_(views), bytes_(ReadWholeFile(path)) {
    // Named as a caller names a file, by its folder (UTF-16) and its name,
    // so that a folder of any name opens on Windows too.
    const std::filesystem::path native = NativePath(path);
    const std::u16string folder = native.parent_path().u16string();
    const std::u8string name = native.filename().u8string();
    const std::string exportName = ToExportName(std::string(name.begin(), name.end()));
    file_ = OpenInformationFile(folder.empty() ? nullptr : reinterpret_cast<const WideChar *>(folder.c_str()),
                                exportName.c_str());
    if (file_ == nullptr) throw CliError(ExitBadInput, "cannot open '" + path + "' as an information file");
  }
  ~Inspector() { CloseHandle(file_); }
  Inspector(const Inspector &) = delete;
  Inspector &operator=(const Inspector &) = delete;

  Json Run();

 private:
  void Problem(const char *code, const std::string &where, const std::string &what) {
    problems_.push_back(Json{{"code", code}, {"severity", SeverityName(FindProblemCode(code).severity)},
                             {"where", where}, {"what", what}});
  }
  std::int64_t WordAt(std::int64_t position) const {
    if (position < 0 || position + 4 > static_cast<std::int64_t>(bytes_.size())) return -1;
    return ReadI32LittleEndian(bytes_.data() + position);
  }
  std::string DirectoryProblem(std::int32_t section, Fault fault) const;
  std::string RecordProblem(std::int32_t offset, Fault fault) const;
  bool ReadSection(std::int32_t section, bool reportFailure);
  void ReadRecordBodies(std::int32_t section);
  void Decode(RecordInfo &record);
  Json Node(std::int32_t id, Purpose purpose, const std::string &role, std::vector<std::int32_t> &path);
  Json FinalNode(const Json &keyed, Purpose purpose, const std::string &role,
                 std::vector<std::int32_t> &path);
  void ScanForSections();
  bool PlausibleDirectory(std::int32_t section) const;
  Json ReadFrame();
  void ValueTypesOf(std::int32_t id, std::set<std::string> &types, std::set<std::int32_t> &seen) const;
  void CheckListedTypes(const std::vector<std::int32_t> &listed, const std::string &role);
  void NoteUnreachableRecords();
  void NoteTableAddresses(const Json &addresses, const std::string &role);
  void CheckTableAddresses();
  Json Describe();
  bool Rebuild(Json &description, std::string &error) const;

  std::string path_;
  bool rebuild_;
  ArrayViews views_;
  std::vector<const RecordInfo *> described_;  // the records of the description, in its order
  Bytes bytes_;
  HANDLE file_ = nullptr;
  Json problems_ = Json::array();
  Json tables_ = Json::array();  // the table objects the locator names
  Json directories_ = Json::array();
  std::set<std::int32_t> sections_;
  std::map<std::pair<std::int32_t, std::int32_t>, RecordInfo> records_;
  std::set<std::int32_t> expanded_;
  std::set<std::int32_t> locatedSections_;
  struct TableAddress {
    std::int32_t section;
    std::int32_t recordId;
    std::string role;
  };
  std::vector<TableAddress> tableAddresses_;
  bool mainDirectoryRead_ = false;
};

bool KeysCompatible(const Json &a, const Json &b);

std::string Inspector::DirectoryProblem(std::int32_t section, Fault fault) const {
  const std::int64_t directory = WordAt(section);
  switch (fault) {
    case Fault::BadArgument: return "section " + std::to_string(section) + " is negative";
    case Fault::BadEntryCount:
      return "entryCount " + std::to_string(WordAt(directory)) + " at " + std::to_string(directory) +
             " is below 1 or more entries than the file could hold";
    case Fault::NoMemory: return "a block for the directory could not be taken";
    default:
      if (directory < 0) return "the section word at " + std::to_string(section) + " lies outside the file";
      return "the directory at " + std::to_string(directory) + " does not fit in the file of " +
             std::to_string(bytes_.size()) + " bytes";
  }
}

std::string Inspector::RecordProblem(std::int32_t offset, Fault fault) const {
  switch (fault) {
    case Fault::BadRecordSize: return "recordSize " + std::to_string(WordAt(offset)) + " is 0 or negative";
    case Fault::NoMemory: return "a block for the record could not be taken";
    case Fault::BadArgument: return "offset " + std::to_string(offset) + " is negative";
    default:
      if (WordAt(offset) < 0 && offset >= 0 && std::size_t(offset) + 4 > bytes_.size()) {
        return "offset " + std::to_string(offset) + " lies past the end of the file";
      }
      return "recordSize " + std::to_string(WordAt(offset)) + " at " + std::to_string(offset) +
             " reaches past the end of the file of " + std::to_string(bytes_.size()) + " bytes";
  }
}

// Reads a section's directory the way the library does and notes each
// entry; the first entry for a record id is the one lookups take.
bool Inspector::ReadSection(std::int32_t section, bool reportFailure) {
  auto [directory, fault] = ReadSectionDirectory(file_, section);
  const auto entryCount = std::int32_t(directory.get().size() / DirectoryEntrySize);
  Json description{{"section", section}};
  if (WordAt(section) >= 0) description["offset"] = WordAt(section);
  if (directory.empty()) {
    if (!reportFailure) return false;
    const std::string what = DirectoryProblem(section, fault);
    description["problem"] = what;
    Problem("section-unreadable", "directory of section " + std::to_string(section), what);
    directories_.push_back(description);
    sections_.insert(section);
    return false;
  }
  sections_.insert(section);
  description["entryCount"] = entryCount;
  Json entries = Json::array();
  for (std::int32_t i = 0; i < entryCount; ++i) {
    const auto [key, id, offset] = ReadDirectoryEntry(directory.get(), i);
    Json entry{{"section", key}, {"id", id}, {"offset", offset}};
    if (key != section) {
      entry["note"] = "names section " + std::to_string(key) + ": lookups in this section pass over it";
      Problem("foreign-entry", "directory of section " + std::to_string(section),
              "entry " + std::to_string(i) + " (record " + std::to_string(id) + ") " + entry["note"].get<std::string>());
    } else if (records_.count({section, id}) != 0) {
      entry["note"] = "shadowed: lookups take the earlier entry for this record";
      Problem("duplicate-record", RecordName(section, id),
              "appears again at entry " + std::to_string(i) + " (offset " + std::to_string(offset) +
                  "); lookups take the first entry (offset " + std::to_string(records_[{section, id}].offset) +
                  "), so this one can never be read");
    } else {
      RecordInfo record;
      record.section = section;
      record.id = id;
      record.offset = offset;
      if (offset < 0) entry["note"] = "marks the record absent";
      records_[{section, id}] = record;
    }
    entries.push_back(entry);
  }
  description["entries"] = entries;
  directories_.push_back(description);
  ReadRecordBodies(section);
  return true;
}

void Inspector::ReadRecordBodies(std::int32_t section) {
  for (auto &[address, record] : records_) {
    if (address.first != section || record.offset < 0 || record.readable || !record.content.empty()) continue;
    auto [body, fault] = ReadRecordAt(file_, record.offset);
    if (body.empty()) {
      const std::string what = RecordProblem(record.offset, fault);
      record.content["problem"] = what;
      Problem("record-unreadable", RecordName(section, record.id), what);
      continue;
    }
    record.readable = true;
    record.body.assign(body.get().begin(), body.get().end());
    Decode(record);
  }
}

void Inspector::Decode(RecordInfo &record) {
  Json &content = record.content;
  const std::string where = RecordName(record.section, record.id);
  if (LooksLikeTableObject(record.body)) {
    TableDecoding table = DecodeTableRecord(record.body, rebuild_, views_);
    if (!table.table.empty()) content["table"] = table.table;
    if (!table.view.empty()) content["tableView"] = table.view;
    for (const std::string &what : table.problems) Problem("table-damaged", where, what);
    if (!table.problems.empty()) content["problems"] = table.problems;
    if (!table.exact) {
      content["raw"] = ToHex(record.body);
      if (table.problems.empty() && rebuild_) content["note"] = "the table's bytes differ from what build makes of it; kept as raw";
    }
    return;
  }
  KeyedDecoding keyed = DecodeKeyedRecord(record.body);
  // Outside the main section a record may hold anything; only a sound
  // keyed block is shown as one.
  if (record.section != MainSection && !keyed.sound) {
    content["raw"] = ToHex(record.body);
    content["note"] = "neither a table object nor a sound keyed block";
    return;
  }
  if (keyed.parsed) content["keyed"] = keyed.block;
  record.keyedSound = keyed.sound;
  for (const std::string &what : keyed.problems) Problem("record-damaged", where, what);
  if (!keyed.problems.empty()) content["problems"] = keyed.problems;
  if (!keyed.exact) {
    content["raw"] = ToHex(record.body);
    if (keyed.sound) content["note"] = "fill bytes or unused header fields are not zero; kept as raw";
  }
}

// The final block of a chain: what its rows mean depends on which fixed
// record the chain started from.
Json Inspector::FinalNode(const Json &keyed, Purpose purpose,
                          const std::string &role, std::vector<std::int32_t> &path) {
  Json node = Json::object();
  const Json rows = keyed.value("rows", Json::array());
  node["rows"] = rows.size();
  if (purpose == Purpose::Status && keyed["valueType"] != "int32") {
    Problem("status-value-type", role, "holds " + keyed["valueType"].dump() + " values; its values are read as int32");
  } else if (purpose == Purpose::MainEntries && keyed["valueType"] != "text" && keyed["valueType"] != "named-entry") {
    Problem("main-value-type", role, "holds value type " + keyed["valueType"].dump() +
                      "; DIGetMainInfo reads only text or named-entry values and gives " + StatusName(ErrMainInfo));
  }
  if (purpose == Purpose::Category) {
    Json lists = Json::array();
    for (const Json &row : rows) {
      Json list{{"keys", row.value("keys", Json::array())}, {"records", Json::array()}};
      std::vector<std::int32_t> listed;
      for (const Json &value : row.value("values", Json::array())) {
        if (!value.is_number_integer() || value.get<std::int64_t>() == 0) break;
        listed.push_back(value.get<std::int32_t>());
        list["records"].push_back(Node(listed.back(), Purpose::Values, "listed by " + role, path));
      }
      CheckListedTypes(listed, role);
      lists.push_back(list);
    }
    node["lists"] = lists;
  } else if (purpose == Purpose::Locator) {
    Json addresses = Json::array();
    for (const Json &row : rows) {
      const Json values = row.value("values", Json::array());
      Json address{{"keys", row.value("keys", Json::array())}, {"values", values}};
      if (values.size() >= 2 && values[0].is_number_integer() && values[1].is_number_integer()) {
        const std::int64_t kind = values[0].get<std::int64_t>();
        if (kind == LocatorSectionKind) {
          address["section"] = values[1];
          locatedSections_.insert(values[1].get<std::int32_t>());
        } else if (kind == LocatorRecordKind) {
          address["record"] = values[1];
        } else {
          address["problem"] = "kind " + std::to_string(kind) + " is neither " + std::to_string(LocatorSectionKind) +
                               " (section) nor " + std::to_string(LocatorRecordKind) + " (record)";
        }
      }
      addresses.push_back(address);
    }
    node["addresses"] = addresses;
    NoteTableAddresses(addresses, role);
  }
  return node;
}

// The value types of the final blocks a record's chains lead to.
void Inspector::ValueTypesOf(std::int32_t id, std::set<std::string> &types, std::set<std::int32_t> &seen) const {
  const auto found = records_.find({MainSection, id});
  if (!seen.insert(id).second || found == records_.end() || !found->second.keyedSound) return;
  const Json &keyed = found->second.content.at("keyed");
  if (keyed.at("kind") != "chain") {
    types.insert(keyed.at("valueType").is_string() ? keyed.at("valueType").get<std::string>() : keyed.at("valueType").dump());
    return;
  }
  for (const Json &row : keyed.value("rows", Json::array())) {
    const Json values = row.value("values", Json::array());
    if (!values.empty() && values[0].is_number_integer()) ValueTypesOf(values[0].get<std::int32_t>(), types, seen);
  }
}

// A category reads every record it lists as the first one's value type.
void Inspector::CheckListedTypes(const std::vector<std::int32_t> &listed, const std::string &role) {
  if (listed.size() < 2) return;
  std::set<std::string> first;
  std::set<std::int32_t> seen;
  ValueTypesOf(listed[0], first, seen);
  for (std::size_t i = 1; i < listed.size() && first.size() == 1; ++i) {
    std::set<std::string> types;
    seen.clear();
    ValueTypesOf(listed[i], types, seen);
    for (const std::string &type : types) {
      if (type == *first.begin()) continue;
      Problem("mixed-value-types", role,
              "lists record " + std::to_string(listed[i]) + " (" + type + ") after record " + std::to_string(listed[0]) +
                  " (" + *first.begin() + "): its values are read as " + *first.begin());
    }
  }
}

// Records that nothing leads to: in the main section no fixed record,
// chain or list; elsewhere no locator.
void Inspector::NoteUnreachableRecords() {
  for (const auto &[address, record] : records_) {
    if (!record.role.empty() || record.offset < 0 || (address.first == MainSection && !mainDirectoryRead_)) continue;
    Problem("unreachable-record", RecordName(address.first, address.second),
            address.first == MainSection ? "no fixed record, chain or category list leads to it"
                                         : "no table locator row names it");
  }
}

// The status record as the exports read it (no conditions) and judge it:
// the status check, then the format check.
Json Inspector::ReadFrame() {
  KeyedFile keyed(file_);
  const StatusValues status = ReadStatusRecord(keyed);
  const std::string where = "status record " + std::to_string(StatusRecordId);
  const std::int16_t statusCheck = FileStatusCode(status);
  const std::int32_t formatType = FormatTypeCode(status);
  Json frame{{"lookup", status.lookup == Fault::None ? "answered" : DescribeFault(status.lookup)}};
  if (status.lookup == Fault::None) {
    frame["rows"] = status.count;
    frame["fileStatus"] = status.fileStatus;
    if (status.count >= 2) frame["storedFormatType"] = status.formatType;
  }
  frame["statusCheck"] = statusCheck == 0 ? Json("passes") : Json(StatusName(statusCheck));
  frame["formatType"] = formatType;
  if (statusCheck != 0) {
    const std::string reason = status.lookup != Fault::None
                                   ? "its lookup fails (" + DescribeFault(status.lookup) + ")"
                                   : "file status " + std::to_string(status.fileStatus) + " marks the file unusable";
    Problem(FileStatusCode(status) == ErrFileUnusable ? "file-unusable" : "status-lookup", where, reason + ": every query but the format query gives " + StatusName(statusCheck));
  }
  const bool storedNegative = status.lookup == Fault::None && status.disabledFlag == 0 && status.count >= 2;
  if (formatType < 0) {
    std::string what = FormatTypeReason(status) + ": ";
    if (status.lookup != Fault::None) what = FormatTypeReason(status) + " (" + DescribeFault(status.lookup) + "): ";
    if (!storedNegative) what += std::string("the format query gives ") + StatusName(formatType) + ", ";
    Problem(storedNegative ? "format-type-negative" : "format-type-unreadable", where, what + "every " + (storedNegative ? "query but the format query" : "other query") + " gives " +
                       (statusCheck != 0 ? StatusName(statusCheck) : StatusName(ErrRecordDisabled)));
  }
  return frame;
}

// Two rows can be selected together when no key column holds two
// different non-wildcard keys.
bool KeysCompatible(const Json &a, const Json &b) {
  for (std::size_t j = 0; j < a.size() && j < b.size(); ++j) {
    if (a[j] != "*" && b[j] != "*" && a[j] != b[j]) return false;
  }
  return true;
}

// Every section row paired with every record row it can be selected with
// names a table object that should exist.
void Inspector::NoteTableAddresses(const Json &addresses, const std::string &role) {
  for (const Json &sectionRow : addresses) {
    if (!sectionRow.contains("section")) continue;
    for (const Json &recordRow : addresses) {
      if (!recordRow.contains("record") || !KeysCompatible(sectionRow["keys"], recordRow["keys"])) continue;
      tableAddresses_.push_back({sectionRow["section"].get<std::int32_t>(), recordRow["record"].get<std::int32_t>(), role});
    }
  }
}

Json Inspector::Node(std::int32_t id, Purpose purpose, const std::string &role, std::vector<std::int32_t> &path) {
  Json node{{"id", id}, {"role", role}};
  auto found = records_.find({MainSection, id});
  if (found == records_.end() || found->second.offset < 0) {
    node["problem"] = "no such record in section " + std::to_string(MainSection) + ": a lookup fails with " +
                      StatusName(ErrRecordUnreadable);
    if (mainDirectoryRead_) Problem("missing-record", RecordName(MainSection, id) + " (" + role + ")", "missing");
    return node;
  }
  RecordInfo &record = found->second;
  if (record.role.empty()) record.role = role;
  if (!record.readable || !record.keyedSound) {
    node["problem"] = "unreadable or damaged: a lookup fails";
    return node;
  }
  if (std::find(path.begin(), path.end(), id) != path.end()) {
    node["loop"] = true;
    return node;
  }
  if (expanded_.count(id) != 0) {
    node["seen"] = true;  // shown in full where it was first met
    return node;
  }
  expanded_.insert(id);
  const Json &keyed = record.content.at("keyed");
  node["kind"] = keyed.at("kind");
  if (keyed.contains("disabled")) node["disabled"] = keyed.at("disabled");
  if (keyed.at("kind") != "chain") {
    node["valueType"] = keyed.at("valueType");
    if (keyed.contains("keyIndex")) node["keyIndex"] = keyed.at("keyIndex");
    node.update(FinalNode(keyed, purpose, role, path));
    return node;
  }
  node["keyIndex"] = keyed.at("keyIndex");
  path.push_back(id);
  Json links = Json::array();
  for (const Json &row : keyed.value("rows", Json::array())) {
    const Json values = row.value("values", Json::array());
    Json link{{"keys", row.value("keys", Json::array())}};
    if (values.empty() || !values[0].is_number_integer()) {
      link["problem"] = "no next record id";
    } else {
      const auto next = values[0].get<std::int32_t>();
      link["next"] = next;
      if (std::find(path.begin(), path.end(), next) != path.end()) {
        link["loop"] = true;
        Problem("chain-loop", RecordName(MainSection, id), "its chain comes back to record " + std::to_string(next));
      } else {
        link["block"] = Node(next, purpose, role, path);
      }
    }
    links.push_back(link);
  }
  path.pop_back();
  node["links"] = links;
  return node;
}

// A cheap look at the copy in memory before the library reads a candidate
// section: its directory lies in the file and its first entry carries its key.
bool Inspector::PlausibleDirectory(std::int32_t section) const {
  const std::int64_t directory = WordAt(section);
  const std::int64_t count = WordAt(directory);
  const std::int64_t room = static_cast<std::int64_t>(bytes_.size()) - directory - 4;
  return directory >= 0 && count >= 1 && count <= room / 12 && WordAt(directory + 4) == section;
}

// Sections that no locator names can still be found: their words lie
// between the main section's word and the first record, each pointing at
// a directory whose every entry carries that section's key.
void Inspector::ScanForSections() {
  std::int64_t end = static_cast<std::int64_t>(bytes_.size());
  for (const auto &[address, record] : records_) {
    if (record.offset >= 0) end = std::min<std::int64_t>(end, record.offset);
  }
  end = std::min(end, WordAt(MainSection) >= 0 ? WordAt(MainSection) : end);
  for (std::int64_t p = 12; p + 4 <= end && p < SectionScanLimit; ++p) {
    const auto section = static_cast<std::int32_t>(p);
    if (sections_.count(section) != 0 || !PlausibleDirectory(section)) continue;
    const OwnedBlock directory = ReadSectionDirectory(file_, section).block;
    if (directory.empty()) continue;
    bool all = true;
    for (std::size_t i = 0; i < directory.get().size() / DirectoryEntrySize && all; ++i) {
      all = ReadDirectoryEntry(directory.get(), std::int32_t(i)).sectionKey == section;
    }
    if (all) ReadSection(section, false);
  }
}

void Inspector::CheckTableAddresses() {
  std::set<std::pair<std::int32_t, std::int32_t>> checked;
  for (const TableAddress &address : tableAddresses_) {
    if (!checked.insert({address.section, address.recordId}).second) continue;
    auto found = records_.find({address.section, address.recordId});
    if (found == records_.end() || found->second.offset < 0) {
      Problem("missing-record", address.role, "names record " + std::to_string(address.recordId) + " of section " +
                                                  std::to_string(address.section) + ", which that section does not hold");
    } else if (!found->second.content.contains("table") && found->second.readable) {
      Problem("not-a-table", address.role, "names record " + std::to_string(address.recordId) + " of section " +
                                               std::to_string(address.section) + ", which is not a table object");
    } else {
      if (found->second.role.empty()) found->second.role = "table object";
      if (found->second.readable) tables_.push_back(Json{{"section", address.section}, {"record", address.recordId}});
    }
  }
}

// The number N of a build refusal that begins "records[N]".
std::optional<std::size_t> RefusedRecord(const std::string &refusal) {
  const std::string lead = "records[";
  if (refusal.rfind(lead, 0) != 0) return std::nullopt;
  std::size_t index = 0;
  std::size_t at = lead.size();
  for (; at < refusal.size() && std::isdigit(static_cast<unsigned char>(refusal[at])); ++at) {
    index = index * 10 + std::size_t(refusal[at] - '0');
  }
  if (at == lead.size() || at >= refusal.size() || refusal[at] != ']') return std::nullopt;
  return index;
}

// Builds the description again. A record whose decoded form build refuses
// is given as raw instead, so that the description still builds; a refusal
// that cannot be mended that way is left in `error`.
bool Inspector::Rebuild(Json &description, std::string &error) const {
  Json &records = description["records"];
  for (std::size_t attempt = 0; attempt <= records.size(); ++attempt) {
    try {
      return BuildInformationFile(description) == bytes_;
    } catch (const CliError &refusal) {
      error = refusal.what();
      const std::optional<std::size_t> index = RefusedRecord(error);
      if (!index || *index >= records.size() || records[*index].contains("raw")) return false;
      Json &record = records[*index];
      record["raw"] = ToHex(described_[*index]->body);
      record["note"] = "build refuses its decoded form (" + error + "); kept as raw";
      record.erase("table");
      if (record.contains("keyed")) {
        record["keyedView"] = record["keyed"];
        record.erase("keyed");
      }
      error.clear();
    }
  }
  return false;
}

Json Inspector::Describe() {
  Json description;
  description["dinfo"] = DescriptionVersion;
  description["prefix"] = ToHex(bytes_.data(), std::min<std::size_t>(8, bytes_.size()));
  std::vector<const RecordInfo *> ordered;
  std::set<std::int32_t> describedSections = {MainSection};
  for (const auto &[address, record] : records_) {
    if (record.readable) ordered.push_back(&record), describedSections.insert(record.section);
  }
  // A section none of whose records could be read cannot be described:
  // build refuses an empty directory.
  std::vector<std::int32_t> sections;
  for (std::int32_t section : sections_) {
    if (describedSections.count(section) != 0) sections.push_back(section);
  }
  description["sections"] = Json(sections);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const RecordInfo *a, const RecordInfo *b) { return a->offset < b->offset; });
  Json records = Json::array();
  for (const RecordInfo *record : ordered) {
    Json entry{{"section", record->section}, {"id", record->id}};
    if (!record->role.empty()) entry["role"] = record->role;
    entry["offset"] = record->offset;
    entry["size"] = record->body.size();
    entry.update(record->content);
    // A record kept as raw carries its decoded form only for the reader.
    if (entry.contains("raw")) {
      entry.erase("table");
      if (entry.contains("keyed")) {
        entry["keyedView"] = entry["keyed"];
        entry.erase("keyed");
      }
    }
    records.push_back(entry);
  }
  described_ = ordered;
  description["records"] = records;
  return description;
}

Json Inspector::Run() {
  if (bytes_.size() < 12) Problem("file-too-short", "file", "shorter than 12 bytes: no room for the main section's word at 8");
  mainDirectoryRead_ = ReadSection(MainSection, true);

  Json chains = Json::array();
  std::vector<std::int32_t> path;
  const Json frame = ReadFrame();
  for (const FixedRecord &fixed : FixedRecords) chains.push_back(Node(fixed.id, fixed.purpose, fixed.role, path));
  for (std::int32_t section : locatedSections_) {
    if (sections_.count(section) == 0) ReadSection(section, true);
  }
  ScanForSections();
  CheckTableAddresses();
  NoteUnreachableRecords();
  for (auto &[address, record] : records_) {
    if (address.first != MainSection && record.role.empty() && record.content.contains("table")) {
      record.role = "table object";
    }
  }

  Json description = Describe();
  Json inspection;
  inspection["dinfo"] = DescriptionVersion;
  inspection["file"] = path_;
  inspection["size"] = bytes_.size();
  for (const auto &item : description.items()) inspection[item.key()] = item.value();
  inspection["directories"] = directories_;
  inspection["frame"] = frame;
  inspection["tables"] = tables_;
  inspection["chains"] = chains;
  inspection["problems"] = problems_;
  std::string rebuildError;
  if (rebuild_) inspection["rebuildsIdentically"] = Rebuild(description, rebuildError);
  inspection["records"] = description["records"];
  if (!rebuildError.empty()) inspection["rebuildError"] = rebuildError;
  // Field order: what build reads first, then what inspect found.
  Json ordered;
  for (const char *key : {"dinfo", "file", "size", "prefix", "sections", "directories", "records", "frame", "tables", "chains",
                          "problems", "rebuildsIdentically", "rebuildError"}) {
    if (inspection.contains(key)) ordered[key] = inspection[key];
  }
  return ordered;
}

}  // namespace

Json InspectInformationFile(const std::string &path, bool rebuild, const ArrayViews &views) {
  Inspector inspector(path, rebuild, views);
  return inspector.Run();
}

}  // namespace dinfo::cli
