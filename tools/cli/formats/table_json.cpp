#include "formats/table_json.h"

#include <cstring>
#include <optional>


#include "common/bytes.h"
#include "common/scramble.h"
#include "formats/keyed_json.h"
#include "tableobj/table_entry.h"
#include "tableobj/table_object.h"
#include "writer/table_writer.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;

// The bits of a nested or inline entry's tag below the byte that names its
// kind; they carry no length.
constexpr std::uint32_t TagLowBits = 0xFFFFFFFFu >> 8;
// The flag bits that name no coding.
constexpr std::uint32_t LowFlagBits = ~(FlagScrambled | FlagCompressed | FlagDeltaCoded);

struct Walk {
  Json view = Json::object();         // every entry with kind, location, values
  Json description = Json::object();  // what build takes
  std::vector<std::string> problems;
  // Where the aligned layout of the entries ends, and where their data end.
  std::int64_t layoutEnd = 0;
  std::int64_t dataEnd = 0;
};

// Which arrays are read how, and where in the outermost object the walk is
// ("3." inside its entry 3).
struct WalkViews {
  const ArrayViews &views;
  std::string prefix;
};

bool IsViewedWidth(std::int32_t size) { return size == 1 || size == 2 || size == 4; }

// Element k of a typed array as a number (sizes 1, 2, 4, in the object's
// byte order, through its view) or as hex (other sizes, which no byte order
// changes).
Json Element(const std::uint8_t *at, std::int32_t size, ByteOrder order, const ArrayView &view) {
  if (IsViewedWidth(size)) return ReadViewed(at, view, order);
  return ToHex(at, std::size_t(size));
}

Walk WalkObject(const std::uint8_t *object, std::size_t available, bool stored, int depth, const WalkViews &views);

// The entries of an object whose body is plain (unscrambled, expanded, and
// with its deltas restored unless preparation refuses them).
void WalkEntries(const Bytes &object, const TableHeader &header, bool deltaCoded, bool stored, int depth,
                 const WalkViews &views, Walk &walk) {
  const std::int64_t size = static_cast<std::int64_t>(object.size());
  TableLayout layout{};
  if (!ReadTableLayout(object, &layout)) {
    walk.problems.push_back(std::to_string(header.descriptorCount) +
                            (header.descriptorCount == 1 ? " descriptor does" : " descriptors do") +
                            " not fit in the object's " + std::to_string(size) + " bytes");
    return;
  }
  Json viewEntries = Json::array();
  Json entries = Json::array();
  walk.layoutEnd = layout.dataStart();
  walk.dataEnd = layout.dataStart();
  bool aligned = true;
  for (std::int32_t i = 0; i < layout.descriptorCount(); ++i) {
    const TableEntry found = ReadEntry(layout, i);
    const std::int32_t location = found.location;
    const bool fits = EntryFits(layout, found);
    const std::string where = "entry " + std::to_string(i);
    Json view{{"index", i}, {"tag", HexWord(found.tag)}, {"location", location}};
    Json entry;
    std::int64_t length = found.length;
    if (found.kind == EntryKind::TypedArray) {
      const auto count = static_cast<std::int32_t>(found.tag & ElementCountMask);
      const std::int32_t elementSize = found.elementSize;
      view["kind"] = "array";
      view["elementSize"] = elementSize;
      view["count"] = count;
      if (!fits) {
        walk.problems.push_back(where + ": array of " + std::to_string(count) + " x " + std::to_string(elementSize) +
                                " bytes at " + std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      const ArrayView arrayView = views.views.For(views.prefix + std::to_string(i), elementSize);
      Json values = Json::array();
      for (std::int32_t k = 0; k < count; ++k) {
        values.push_back(Element(object.data() + location + k * elementSize, elementSize, layout.order(), arrayView));
      }
      if (deltaCoded && elementSize != 1 && elementSize != 2 && elementSize != 4) {
        walk.problems.push_back(where + ": a delta-coded array of " + std::to_string(elementSize) +
                                "-byte elements, which preparation refuses");
      }
      entry = Json{{"elementSize", elementSize}};
      if (IsViewedWidth(elementSize)) {
        view["view"] = ViewName(arrayView);
        // The description names a view only where it is not the default.
        if (!arrayView.isSigned) entry["view"] = view["view"];
      }
      view["values"] = values;
      entry["array"] = values;
    } else if (found.kind == EntryKind::RawRun) {
      view["kind"] = "raw run";
      view["length"] = length;
      if (!fits) {
        walk.problems.push_back(where + ": raw run of " + Plural(std::size_t(length), "byte") + " at " +
                                std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      const std::uint8_t *run = length > 0 ? object.data() + location : nullptr;
      view["bytes"] = ToHex(run, std::size_t(length));
      entry = Json{{"rawRun", view["bytes"]}};
    } else if (found.kind == EntryKind::NestedTable) {
      view["kind"] = "nested table";
      if (!fits) {
        walk.problems.push_back(where + ": nested table at " + std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      if (depth >= MaxToolNesting) {
        walk.problems.push_back(where + ": tables nested more than " + std::to_string(MaxToolNesting) +
                                " deep, deeper than dinfo follows");
        viewEntries.push_back(view);
        continue;
      }
      Walk nested = WalkObject(object.data() + location, object.size() - std::size_t(location), stored, depth + 1,
                               WalkViews{views.views, views.prefix + std::to_string(i) + "."});
      for (const std::string &problem : nested.problems) walk.problems.push_back(where + ": " + problem);
      view["table"] = nested.view;
      entry = Json{{"table", nested.description}};
      if ((found.tag & TagLowBits) != 0) entry["tagBits"] = view["tagBits"] = found.tag & TagLowBits;
      length = view["table"].value("totalSize", 0);
    } else if (found.kind == EntryKind::Inline) {
      view["kind"] = "inline";
      entry = Json{{"inline", location}};
      if ((found.tag & TagLowBits) != 0) entry["tagBits"] = view["tagBits"] = found.tag & TagLowBits;
    } else {
      view["kind"] = "invalid";
      walk.problems.push_back(where + ": tag " + HexWord(found.tag) + " names no kind of entry");
      viewEntries.push_back(view);
      continue;
    }
    if (found.kind != EntryKind::Inline && location != walk.layoutEnd) aligned = false;
    if (length > 0) walk.dataEnd = walk.layoutEnd + length;
    walk.layoutEnd += AlignedAdvance(found.kind, length);
    viewEntries.push_back(view);
    entries.push_back(entry);
  }
  if (!aligned) walk.view["note"] = "the entries do not follow the aligned layout";
  walk.view["entries"] = viewEntries;
  walk.description["entries"] = entries;
}

// Undoes scrambling and compression of a stored object's body into `plain`.
bool UndoStoredCodings(const std::uint8_t *object, const TableHeader &header, Bytes &plain, Walk &walk) {
  plain.assign(object, object + header.totalSize);
  Json codings = Json::array();
  if ((header.flags & FlagScrambled) != 0) {
    const std::int32_t bodySize = header.totalSize - TableHeaderSize;
    const std::uint32_t key = RecoverScrambleKey(plain.data() + TableHeaderSize, bodySize);
    if (UnscrambleTableObject(Block(plain.data(), plain.size())) != Fault::None) {
      walk.problems.push_back("the scrambled body of " + std::to_string(bodySize) +
                              " bytes cannot be unscrambled (a body needs at least 4 bytes)");
      return false;
    }
    codings.push_back("scrambled");
    walk.view["scrambleKey"] = HexWord(key);
    walk.description["scrambleKey"] = HexWord(key);
  }
  if ((header.flags & FlagCompressed) != 0) {
    const TableInBlock expanded = DecompressTableObject(Block(plain.data(), plain.size()));
    if (expanded.fault != Fault::None) {
      walk.problems.push_back("the compressed body does not expand to whole 8-byte units");
      return false;
    }
    plain = Bytes(expanded.object.begin(), expanded.object.end());
    codings.push_back("compressed");
    walk.description["compressed"] = true;
  }
  if ((header.flags & FlagDeltaCoded) != 0) {
    codings.push_back("delta-coded");
    walk.description["deltaCoded"] = true;
    // Restored on a copy: an object that preparation refuses shows its
    // stored values, and the walk names its faults.
    Bytes restored = plain;
    if (RestoreDeltas(Block(restored.data(), restored.size())) == Fault::None) plain = std::move(restored);
  }
  walk.view["codings"] = codings;
  return true;
}

// Zero bytes after the layout. A scrambled, uncompressed object whose data
// would reach into its trailer is stored with 8 more of them.
void DescribeTail(std::int64_t size, std::uint32_t flags, Walk &walk) {
  std::int64_t tail = size - walk.layoutEnd;
  const bool scrambledOnly = (flags & FlagScrambled) != 0 && (flags & FlagCompressed) == 0;
  if (scrambledOnly && tail >= 8 && walk.dataEnd + 4 > size - 8) tail -= 8;
  if (tail != 0) walk.description["tailBytes"] = tail;
}

Walk WalkObject(const std::uint8_t *object, std::size_t available, bool stored, int depth, const WalkViews &views) {
  Walk walk;
  TableHeader header{};
  if (!ReadTableHeader(ConstBlock(object, available), &header)) {
    walk.problems.push_back("no table object: the first word is not the magic " + HexWord(TableObjectMagic) +
                            " in either byte order");
    return walk;
  }
  const char *order = header.order == ByteOrder::Native ? "little" : "big";
  walk.view["byteOrder"] = order;
  walk.view["totalSize"] = header.totalSize;
  walk.view["descriptorCount"] = header.descriptorCount;
  walk.view["flags"] = HexWord(header.flags);
  walk.description["byteOrder"] = order;
  if (header.totalSize < TableHeaderSize || header.totalSize % 8 != 0 ||
      std::size_t(header.totalSize) > available) {
    walk.problems.push_back("totalSize " + std::to_string(header.totalSize) +
                            (std::size_t(std::max(header.totalSize, 0)) > available
                                 ? " reaches past the " + std::to_string(available) + " bytes that hold the object"
                                 : " is not a multiple of 8 of at least 16"));
    return walk;
  }
  const bool deltaCoded = (header.flags & FlagDeltaCoded) != 0;
  if (deltaCoded && (header.flags & LowFlagBits) != 0) {
    walk.problems.push_back("delta-coded with flag bits 0 to 28 set (" + HexWord(header.flags) +
                            "), which preparation refuses");
  }
  if ((header.flags & LowFlagBits) != 0) walk.description["flags"] = HexWord(header.flags & LowFlagBits);
  Bytes plain;
  if (stored) {
    if (!UndoStoredCodings(object, header, plain, walk)) return walk;
    TableHeader expanded{};
    ReadTableHeader(plain, &expanded);
    header.totalSize = expanded.totalSize;
  } else {
    plain.assign(object, object + header.totalSize);
  }
  WalkEntries(plain, header, stored && deltaCoded, stored, depth, views, walk);
  if (stored) DescribeTail(static_cast<std::int64_t>(plain.size()), header.flags, walk);
  return walk;
}

}  // namespace

bool LooksLikeTableObject(const Bytes &stored) {
  if (stored.size() < 4) return false;
  const std::uint32_t magic = ReadU32LittleEndian(stored.data());
  return magic == TableObjectMagic || magic == TableObjectMagicSwapped;
}

TableDecoding DecodeTableRecord(const Bytes &stored, bool compareEncoding, const ArrayViews &views) {
  TableDecoding result;
  Walk walk = WalkObject(stored.data(), stored.size(), true, 0, WalkViews{views, ""});
  result.problems = walk.problems;
  if (walk.view.contains("totalSize") && walk.view["totalSize"] != stored.size() && walk.problems.empty()) {
    result.problems.push_back("the record holds " + std::to_string(stored.size()) + " bytes, the object " +
                              walk.view["totalSize"].dump());
  }
  result.decoded = result.problems.empty();
  result.table = walk.description;
  result.view = walk.view;
  if (result.decoded && compareEncoding) {
    try {
      Json description = walk.description;
      result.exact = EncodeTableRecord(description, "table") == stored;
    } catch (const CliError &) {
      result.exact = false;
    }
  }
  return result;
}

Json ViewPreparedTable(const std::uint8_t *object, std::size_t length, const ArrayViews &views) {
  Walk walk = WalkObject(object, length, false, 0, WalkViews{views, ""});
  if (!walk.problems.empty()) walk.view["problems"] = walk.problems;
  return walk.view;
}

// Encoding: a description through the writer.
namespace {

using writer::TableEntryDescription;
using writer::TableDescription;

constexpr std::uint32_t DefaultTableScrambleKey = 0x3C5A96E1u;

std::uint32_t TagBits(const Json &entry, const std::string &where, std::uint32_t kind) {
  return kind | static_cast<std::uint32_t>(IntegerField(entry, "tagBits", where, 0, TagLowBits, 0));
}

TableEntryDescription ArrayEntry(const Json &entry, const std::string &where) {
  OnlyKeys(entry, where, {"array", "elementSize", "view"});
  const auto size = static_cast<std::int32_t>(RequiredIntegerField(entry, "elementSize", where, 1, 16));
  std::optional<ArrayView> view;
  if (entry.contains("view")) {
    view = entry["view"].is_string() ? ArrayViewNamed(entry["view"].get<std::string>()) : std::nullopt;
    if (!view) BadDescription(where + ".view", std::string("expected ") + ArrayViewNames);
    if (view->width != size) {
      BadDescription(where + ".view", entry["view"].get<std::string>() + " does not read " + std::to_string(size) + "-byte elements");
    }
  }
  const Json &values = ArrayField(entry, "array", where);
  if (values.size() > ElementCountMask) {
    BadDescription(where, "more than " + std::to_string(ElementCountMask) + " elements");
  }
  if (values.empty() && size == 1) {
    BadDescription(where, "an empty array of 1-byte elements would have the tag 0, which readers refuse");
  }
  if (size == 1 || size == 2 || size == 4) {
    // Without a view, either sign's values are taken.
    const auto [low, high] = view ? ViewRange(*view)
                                  : std::make_pair(ViewRange({size, true}).first, ViewRange({size, false}).second);
    std::vector<std::int64_t> numbers;
    for (std::size_t k = 0; k < values.size(); ++k) {
      numbers.push_back(ToInteger(values[k], where + ".array[" + std::to_string(k) + "]", low, high));
    }
    return writer::TypedArray(size, std::move(numbers));
  }
  // Wider or odd-sized elements are given as their bytes, which no byte
  // order changes.
  Bytes bytes;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::string at = where + ".array[" + std::to_string(k) + "]";
    if (!values[k].is_string()) BadDescription(at, "elements of " + std::to_string(size) + " bytes are given as hex");
    const Bytes element = FromHex(values[k].get<std::string>(), at);
    if (element.size() != std::size_t(size)) BadDescription(at, "expected " + std::to_string(size) + " bytes");
    bytes.insert(bytes.end(), element.begin(), element.end());
  }
  return writer::TypedBytes(size, std::move(bytes));
}

TableDescription TableOf(const Json &table, const std::string &where, int depth);

TableEntryDescription EntryOf(const Json &entry, const std::string &where, int depth) {
  if (!entry.is_object()) BadDescription(where, "expected an entry object");
  if (entry.contains("array")) return ArrayEntry(entry, where);
  if (entry.contains("rawRun")) {
    OnlyKeys(entry, where, {"rawRun"});
    if (!entry.at("rawRun").is_string()) BadDescription(where + ".rawRun", "expected a hex string");
    Bytes bytes = FromHex(entry.at("rawRun").get<std::string>(), where + ".rawRun");
    if (bytes.size() > 0xFFFFFF) BadDescription(where + ".rawRun", "longer than 16777215 bytes");
    return writer::RawRun(std::move(bytes));
  }
  if (entry.contains("table")) {
    OnlyKeys(entry, where, {"table", "tagBits"});
    if (depth >= MaxToolNesting) {
      BadDescription(where, "tables nested more than " + std::to_string(MaxToolNesting) + " deep, deeper than dinfo follows");
    }
    TableEntryDescription nested = writer::NestedTable(TableOf(entry.at("table"), where + ".table", depth + 1));
    if (entry.contains("tagBits")) nested.tag = TagBits(entry, where, TagNestedTable << 24);
    return nested;
  }
  if (entry.contains("inline")) {
    OnlyKeys(entry, where, {"inline", "tagBits"});
    TableEntryDescription inlineEntry =
        writer::InlineEntry(static_cast<std::int32_t>(ToInteger(entry.at("inline"), where + ".inline", INT32_MIN, 0xFFFFFFFFll)));
    if (entry.contains("tagBits")) inlineEntry.tag = TagBits(entry, where, TagInline << 24);
    return inlineEntry;
  }
  BadDescription(where, "an entry needs \"array\", \"rawRun\", \"table\" or \"inline\"");
}

TableDescription TableOf(const Json &table, const std::string &where, int depth) {
  OnlyKeys(table, where, {"byteOrder", "scrambled", "scrambleKey", "compressed", "deltaCoded", "flags", "tailBytes",
                          "entries"});
  TableDescription object;
  const std::string order = table.value("byteOrder", std::string("little"));
  if (order != "little" && order != "big") BadDescription(where + ".byteOrder", "expected \"little\" or \"big\"");
  object.bigEndian = order == "big";
  object.scrambled = BoolField(table, "scrambled", where, table.contains("scrambleKey"));
  object.scrambleKey = static_cast<std::uint32_t>(
      IntegerField(table, "scrambleKey", where, 0, 0xFFFFFFFFll, DefaultTableScrambleKey));
  object.compressed = BoolField(table, "compressed", where, false);
  object.deltaCoded = BoolField(table, "deltaCoded", where, false);
  object.strayFlags = static_cast<std::uint32_t>(IntegerField(table, "flags", where, 0, LowFlagBits, 0));
  if (object.deltaCoded && object.strayFlags != 0) {
    BadDescription(where + ".flags", "a delta-coded table must have flag bits 0 to 28 clear, or readers refuse it");
  }
  object.tailBytes = static_cast<std::int32_t>(IntegerField(table, "tailBytes", where, 0, 1 << 24, 0));
  if (object.tailBytes % 8 != 0) BadDescription(where + ".tailBytes", "must be a multiple of 8");
  const Json &entries = ArrayField(table, "entries", where);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    object.entries.push_back(EntryOf(entries[i], where + ".entries[" + std::to_string(i) + "]", depth));
  }
  return object;
}

}  // namespace

Bytes EncodeTableRecord(const Json &table, const std::string &where) {
  const TableDescription object = TableOf(table, where, 0);
  Bytes stored = writer::EncodeTable(object).stored;
  if (stored.size() > std::size_t(INT32_MAX)) BadDescription(where, "the table object would pass 2 GiB");
  if (object.scrambled && stored.size() <= 16) {
    BadDescription(where, "a scrambled table needs a body: give it an entry or tailBytes");
  }
  return stored;
}

}  // namespace dinfo::cli
