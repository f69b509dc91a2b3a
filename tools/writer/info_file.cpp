#include "writer/writer.h"

namespace dinfo::writer {

// Bytes 0..7 carry no meaning to the reader; the writer puts a tag there so
// that its files are easy to recognise in a dump.
InfoFile NewInfoFile() {
  InfoFile file;
  file.bytes = {'D', 'I', 'N', 'F', 1, 0, 0, 0, 0, 0, 0, 0};
  file.sections.push_back({MainSectionKey, {}, std::nullopt});
  return file;
}

std::int32_t AddSection(InfoFile &file) {
  const auto key = static_cast<std::int32_t>(file.bytes.size());
  AppendI32(file.bytes, 0);
  file.sections.push_back({key, {}, std::nullopt});
  return key;
}

Section &SectionOf(InfoFile &file, std::int32_t sectionKey) {
  for (Section &section : file.sections) {
    if (section.key == sectionKey) return section;
  }
  file.sections.push_back({sectionKey, {}, std::nullopt});
  return file.sections.back();
}

std::int32_t AppendRaw(InfoFile &file, const Bytes &raw) {
  const auto position = static_cast<std::int32_t>(file.bytes.size());
  file.bytes.insert(file.bytes.end(), raw.begin(), raw.end());
  return position;
}

std::int32_t AddRecord(InfoFile &file, std::int32_t sectionKey, std::int32_t recordId,
                       const Bytes &body) {
  Bytes record;
  AppendI32(record, static_cast<std::int32_t>(body.size()));
  record.insert(record.end(), body.begin(), body.end());
  const std::int32_t position = AppendRaw(file, record);
  AddEntry(file, sectionKey, {sectionKey, recordId, position});
  return position;
}

void AddEntry(InfoFile &file, std::int32_t sectionKey, DirectoryEntry entry) {
  SectionOf(file, sectionKey).entries.push_back(entry);
}

// Each section's directory goes after the records, and its position into
// the four bytes at the section's key (when those lie inside the file).
Bytes Finish(const InfoFile &file) {
  Bytes out = file.bytes;
  for (const Section &section : file.sections) {
    const auto directory = static_cast<std::int32_t>(out.size());
    AppendI32(out, section.entryCount.value_or(static_cast<std::int32_t>(section.entries.size())));
    for (const DirectoryEntry &entry : section.entries) {
      AppendI32(out, entry.sectionKey);
      AppendI32(out, entry.recordId);
      AppendI32(out, entry.recordOffset);
    }
    if (section.key >= 0 && std::size_t(section.key) + 4 <= file.bytes.size()) {
      PutI32(out, std::size_t(section.key), directory);
    }
  }
  return out;
}

}  // namespace dinfo::writer
