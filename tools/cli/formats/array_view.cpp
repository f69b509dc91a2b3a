#include "formats/array_view.h"

#include <algorithm>

#include "common/bytes.h"
#include "suggest.h"

namespace dinfo::cli {
namespace {

std::size_t WidthSlot(std::int32_t width) { return width == 1 ? 0 : width == 2 ? 1 : 2; }

// An entry path: indexes joined by dots, as the plots name entries.
bool IsEntryPath(const std::string &path) {
  bool digitBefore = false;
  for (const char c : path) {
    if (c == '.' && digitBefore) {
      digitBefore = false;
    } else if (c >= '0' && c <= '9') {
      digitBefore = true;
    } else {
      return false;
    }
  }
  return digitBefore;
}

// The entry at `path` of a table view, or null.
const Json *EntryAt(const Json &tableView, const std::string &path) {
  const std::size_t dot = path.find('.');
  if (std::min(dot, path.size()) > 9) return nullptr;  // more entries than a table holds
  const std::size_t index = std::stoul(path.substr(0, dot));
  const auto entries = tableView.find("entries");
  if (entries == tableView.end() || index >= entries->size()) return nullptr;
  const Json &entry = (*entries)[index];
  if (dot == std::string::npos) return &entry;
  if (!entry.contains("table")) return nullptr;
  return EntryAt(entry["table"], path.substr(dot + 1));
}

}  // namespace

std::string ViewName(const ArrayView &view) {
  return std::string(view.isSigned ? "i" : "u") + std::to_string(8 * view.width);
}

std::optional<ArrayView> ArrayViewNamed(const std::string &name) {
  for (const std::int32_t width : {1, 2, 4}) {
    for (const bool isSigned : {true, false}) {
      if (ViewName({width, isSigned}) == name) return ArrayView{width, isSigned};
    }
  }
  return std::nullopt;
}

std::pair<std::int64_t, std::int64_t> ViewRange(const ArrayView &view) {
  const std::int64_t span = std::int64_t{1} << (8 * view.width);
  return view.isSigned ? std::make_pair(-span / 2, span / 2 - 1) : std::make_pair(std::int64_t{0}, span - 1);
}

std::int64_t ReadViewed(const std::uint8_t *at, const ArrayView &view, ByteOrder order) {
  std::uint32_t bits = 0;
  switch (view.width) {
    case 1: bits = at[0]; break;
    case 2: bits = order == ByteOrder::Native ? ReadU16LittleEndian(at) : ReadU16BigEndian(at); break;
    default: bits = ReadTableWord(at, order); break;
  }
  const std::int64_t value = bits;
  const std::int64_t span = std::int64_t{1} << (8 * view.width);
  return view.isSigned && value >= span / 2 ? value - span : value;
}

ArrayViews ArrayViews::FromOptions(const std::vector<std::string> &options) {
  ArrayViews views;
  for (const std::string &option : options) {
    const std::size_t equals = option.find('=');
    const std::string name = equals == std::string::npos ? option : option.substr(equals + 1);
    const std::optional<ArrayView> view = ArrayViewNamed(name);
    if (!view) {
      throw CliError(ExitUsage, "--as '" + option + "': expected " + ArrayViewNames + ", or ENTRY=VIEW" +
                                    DidYouMean(name, {"i8", "u8", "i16", "u16", "i32", "u32"}));
    }
    if (equals == std::string::npos) {
      views.byWidth_[WidthSlot(view->width)] = *view;
      continue;
    }
    const std::string path = option.substr(0, equals);
    if (!IsEntryPath(path)) {
      throw CliError(ExitUsage, "--as '" + option + "': the entry is its index, or indexes joined by dots (3.1)");
    }
    views.byEntry_[path] = *view;
  }
  return views;
}

ArrayView ArrayViews::For(const std::string &entryPath, std::int32_t width) const {
  const auto found = byEntry_.find(entryPath);
  if (found != byEntry_.end() && found->second.width == width) return found->second;
  return byWidth_[WidthSlot(width)];
}

std::string ArrayViews::Describe() const {
  std::string text = "arrays as";
  for (const ArrayView &view : byWidth_) text += (view.width == 1 ? " " : ", ") + ViewName(view);
  for (const auto &[path, view] : byEntry_) text += "; entry " + path + " as " + ViewName(view);
  return text;
}

void ArrayViews::CheckEntries(const Json &tableView) const {
  for (const auto &[path, view] : byEntry_) {
    const Json *entry = EntryAt(tableView, path);
    const std::string option = "--as " + path + "=" + ViewName(view);
    if (entry == nullptr || entry->value("kind", "") != "array") {
      throw CliError(ExitUsage, option + ": the table has no array at entry " + path);
    }
    if (entry->value("elementSize", 0) != view.width) {
      throw CliError(ExitUsage, option + ": entry " + path + " holds " + entry->value("elementSize", Json()).dump() +
                                    "-byte elements");
    }
  }
}

}  // namespace dinfo::cli
