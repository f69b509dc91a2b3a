#include <set>

#include "formats/info_file_json.h"
#include "formats/keyed_json.h"
#include "formats/table_json.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;

constexpr std::size_t PrefixSize = 8;

// Fields that inspect adds for the reader; build passes over them.
constexpr std::initializer_list<const char *> TopLevelKeys = {
    "dinfo", "file", "size", "prefix", "sections", "directories", "records", "frame", "tables", "chains", "problems",
    "rebuildsIdentically", "rebuildError"};
constexpr std::initializer_list<const char *> RecordKeys = {
    "section", "id", "keyed", "table", "raw", "offset", "size", "role", "problems", "note", "tableView", "keyedView"};

Bytes RecordBody(const Json &record, const std::string &where) {
  std::string bodies;
  for (const char *body : {"keyed", "table", "raw"}) {
    if (record.contains(body)) bodies += std::string(bodies.empty() ? "\"" : " and \"") + body + "\"";
  }
  if (bodies.find(" and ") != std::string::npos) {
    BadDescription(where, "a record holds exactly one of \"keyed\", \"table\" or \"raw\", this one has " + bodies);
  }
  if (record.contains("raw")) {
    if (!record.at("raw").is_string()) BadDescription(where + ".raw", "expected a hex string");
    return FromHex(record.at("raw").get<std::string>(), where + ".raw");
  }
  if (record.contains("keyed")) return EncodeKeyedRecord(record.at("keyed"), where + ".keyed");
  if (record.contains("table")) return EncodeTableRecord(record.at("table"), where + ".table");
  BadDescription(where, "a record needs \"keyed\", \"table\" or \"raw\"");
}

// Section words are laid down first, in the order given, each at its key;
// the bytes between them are zero.
std::set<std::int32_t> LayOutSections(writer::InfoFile &file, const Json &description) {
  std::set<std::int32_t> keys = {writer::MainSectionKey};
  const Json &sections = ArrayField(description, "sections", "description");
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::string where = "sections[" + std::to_string(i) + "]";
    const auto key = static_cast<std::int32_t>(ToInteger(sections[i], where, 0, INT32_MAX));
    if (key == writer::MainSectionKey) continue;
    if (std::size_t(key) < file.bytes.size()) {
      BadDescription(where, "section " + std::to_string(key) + " would overlap what lies before it: "
                                "give extra sections in ascending order from 12");
    }
    if (key - static_cast<std::int64_t>(file.bytes.size()) > (1 << 20)) {
      BadDescription(where, "section " + std::to_string(key) + " leaves a gap of more than 1 MiB");
    }
    file.bytes.resize(std::size_t(key), 0);
    writer::AddSection(file);
    keys.insert(key);
  }
  return keys;
}

}  // namespace

Bytes BuildInformationFile(const Json &description) {
  OnlyKeys(description, "description", TopLevelKeys);
  if (description.contains("dinfo") &&
      ToInteger(description.at("dinfo"), "dinfo", 0, INT32_MAX) != DescriptionVersion) {
    BadDescription("dinfo", "this tool reads descriptions of version " + std::to_string(DescriptionVersion));
  }
  writer::InfoFile file = writer::NewInfoFile();
  if (description.contains("prefix")) {
    if (!description.at("prefix").is_string()) BadDescription("prefix", "expected a hex string");
    const Bytes prefix = FromHex(description.at("prefix").get<std::string>(), "prefix");
    if (prefix.size() != PrefixSize) BadDescription("prefix", "must be 8 bytes (16 hex digits)");
    std::copy(prefix.begin(), prefix.end(), file.bytes.begin());
  }
  const std::set<std::int32_t> sections = LayOutSections(file, description);

  const Json &records = ArrayField(description, "records", "description");
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string where = "records[" + std::to_string(i) + "]";
    OnlyKeys(records[i], where, RecordKeys);
    const auto section = static_cast<std::int32_t>(
        IntegerField(records[i], "section", where, INT32_MIN, INT32_MAX, writer::MainSectionKey));
    if (sections.count(section) == 0) {
      BadDescription(where + ".section", "section " + std::to_string(section) + " is not listed in \"sections\"");
    }
    const auto id = static_cast<std::int32_t>(RequiredIntegerField(records[i], "id", where, INT32_MIN, INT32_MAX));
    const Bytes body = RecordBody(records[i], where);
    if (body.empty()) BadDescription(where, "a record holds at least one byte");
    if (file.bytes.size() + body.size() + 4 > std::size_t(INT32_MAX)) {
      BadDescription(where, "the file would grow past 2 GiB, beyond what its 32-bit positions reach");
    }
    writer::AddRecord(file, section, id, body);
  }
  for (const writer::Section &section : file.sections) {
    if (section.entries.empty() && section.key != writer::MainSectionKey) {
      BadDescription("sections", "section " + std::to_string(section.key) +
                                     " holds no record; readers refuse a directory of 0 entries");
    }
  }
  Bytes bytes = writer::Finish(file);
  if (bytes.size() > std::size_t(INT32_MAX)) BadDescription("records", "the file would grow past 2 GiB");
  return bytes;
}

}  // namespace dinfo::cli
