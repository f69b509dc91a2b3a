#include "table_json.h"

#include "common/bytes.h"
#include "common/scramble.h"
#include "keyed_json.h"
#include "tableobj/table_object.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;

// As deep as the library walks nested tables.
constexpr int MaxNesting = 256;
constexpr std::uint32_t LowFlagBits = 0x1FFFFFFFu;

struct Walk {
  Json view = Json::object();         // every entry with kind, location, values
  Json description = Json::object();  // what build takes
  std::vector<std::string> problems;
  // Where the aligned layout of the entries ends, and where their data end.
  std::int64_t layoutEnd = 0;
  std::int64_t dataEnd = 0;
};

// How far the aligned layout advances after an entry of `length` bytes: a
// typed array to the next multiple of 8, a raw run past at least one zero
// byte, a nested table by its size, an inline entry not at all.
std::int64_t Advance(const std::string &kind, std::int64_t length) {
  if (kind == "array") return (length + 7) / 8 * 8;
  if (kind == "raw run") return (length + 8) / 8 * 8;
  if (kind == "nested table") return length;
  return 0;
}

std::uint32_t TagKind(std::uint32_t tag) { return tag >> 24; }

bool IsTypedArray(std::uint32_t tag) { return static_cast<std::int32_t>(tag) > 0; }

// Element k of a typed array as a number (sizes 1, 2, 4, in the object's
// byte order) or as hex (other sizes, which no byte order changes).
Json Element(const std::uint8_t *at, std::int32_t size, ByteOrder order) {
  switch (size) {
    case 1: return static_cast<std::int8_t>(at[0]);
    case 2: return static_cast<std::int16_t>(order == ByteOrder::Native ? ReadU16LittleEndian(at) : ReadU16BigEndian(at));
    case 4: return static_cast<std::int32_t>(ReadTableWord(at, order));
    default: return ToHex(at, std::size_t(size));
  }
}

// Running sums undo delta coding; they wrap at the element width.
void RestoreRunningSums(Json &values, std::int32_t size) {
  std::int64_t sum = 0;
  for (Json &value : values) {
    sum += value.get<std::int64_t>();
    const std::int64_t bits = size == 1 ? 0xFF : size == 2 ? 0xFFFF : 0xFFFFFFFFll;
    const std::int64_t half = (bits + 1) / 2;
    std::int64_t wrapped = sum & bits;
    if (wrapped >= half) wrapped -= bits + 1;
    sum = wrapped;
    value = wrapped;
  }
}

Walk WalkObject(const std::uint8_t *object, std::size_t available, bool stored, int depth);

// The entries of an object whose body is plain (unscrambled, expanded).
void WalkEntries(const Bytes &object, const TableHeader &header, bool deltaCoded, bool stored, int depth,
                 Walk &walk) {
  const std::int64_t size = static_cast<std::int64_t>(object.size());
  const std::int64_t dataStart = TableHeaderSize + std::int64_t{DescriptorSize} * header.descriptorCount;
  if (header.descriptorCount < 0 || dataStart > size) {
    walk.problems.push_back(std::to_string(header.descriptorCount) + " descriptors do not fit in the object's " +
                            std::to_string(size) + " bytes");
    return;
  }
  Json viewEntries = Json::array();
  Json entries = Json::array();
  walk.layoutEnd = dataStart;
  walk.dataEnd = dataStart;
  bool aligned = true;
  for (std::int32_t i = 0; i < header.descriptorCount; ++i) {
    const std::uint8_t *at = object.data() + TableHeaderSize + DescriptorSize * i;
    const std::uint32_t tag = ReadTableWord(at, header.order);
    const auto location = static_cast<std::int32_t>(ReadTableWord(at + 4, header.order));
    const std::string where = "entry " + std::to_string(i);
    Json view{{"index", i}, {"tag", HexWord(tag)}, {"location", location}};
    Json entry;
    if (IsTypedArray(tag)) {
      const std::int32_t count = static_cast<std::int32_t>(tag & 0x3FFFFFFu);
      const std::int32_t elementSize = static_cast<std::int32_t>((tag >> 26) & 15u) + 1;
      view["kind"] = "array";
      view["elementSize"] = elementSize;
      view["count"] = count;
      if (!RangeFits(size, location, std::int64_t{count} * elementSize) || location < dataStart) {
        walk.problems.push_back(where + ": array of " + std::to_string(count) + " x " + std::to_string(elementSize) +
                                " bytes at " + std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      Json values = Json::array();
      for (std::int32_t k = 0; k < count; ++k) values.push_back(Element(object.data() + location + k * elementSize, elementSize, header.order));
      if (deltaCoded) {
        if (elementSize == 1 || elementSize == 2 || elementSize == 4) {
          RestoreRunningSums(values, elementSize);
        } else {
          walk.problems.push_back(where + ": a delta-coded array of " + std::to_string(elementSize) +
                                  "-byte elements, which preparation refuses");
        }
      }
      view["values"] = values;
      entry = Json{{"elementSize", elementSize}, {"array", values}};
    } else if (TagKind(tag) == TagRawRun) {
      const std::int32_t length = static_cast<std::int32_t>(tag & 0xFFFFFFu);
      view["kind"] = "raw run";
      view["length"] = length;
      if (!RangeFits(size, location, length) || location < dataStart) {
        walk.problems.push_back(where + ": raw run of " + std::to_string(length) + " bytes at " +
                                std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      Bytes run(object.begin() + location, object.begin() + location + length);
      if (deltaCoded) {
        for (std::size_t k = 1; k < run.size(); ++k) run[k] = static_cast<std::uint8_t>(run[k] + run[k - 1]);
      }
      view["bytes"] = ToHex(run);
      entry = Json{{"rawRun", ToHex(run)}};
    } else if (TagKind(tag) == TagNestedTable) {
      view["kind"] = "nested table";
      if (location < dataStart || location >= size) {
        walk.problems.push_back(where + ": nested table at " + std::to_string(location) + " lies outside the data area");
        viewEntries.push_back(view);
        continue;
      }
      if (depth >= MaxNesting) {
        walk.problems.push_back(where + ": tables nested more than " + std::to_string(MaxNesting) + " deep");
        viewEntries.push_back(view);
        continue;
      }
      Walk nested = WalkObject(object.data() + location, object.size() - std::size_t(location), stored, depth + 1);
      for (const std::string &problem : nested.problems) walk.problems.push_back(where + ": " + problem);
      view["table"] = nested.view;
      entry = Json{{"table", nested.description}};
      if ((tag & 0xFFFFFFu) != 0) entry["tagBits"] = view["tagBits"] = tag & 0xFFFFFFu;
    } else if (TagKind(tag) == TagInline) {
      view["kind"] = "inline";
      entry = Json{{"inline", location}};
      if ((tag & 0xFFFFFFu) != 0) entry["tagBits"] = view["tagBits"] = tag & 0xFFFFFFu;
    } else {
      view["kind"] = "invalid";
      walk.problems.push_back(where + ": tag " + HexWord(tag) + " names no kind of entry");
      viewEntries.push_back(view);
      continue;
    }
    const std::string kind = view["kind"];
    std::int64_t length = 0;
    if (kind == "array") length = view["count"].get<std::int64_t>() * view["elementSize"].get<std::int64_t>();
    if (kind == "raw run") length = view["length"].get<std::int64_t>();
    if (kind == "nested table") length = view["table"].value("totalSize", 0);
    if (kind != "inline" && location != walk.layoutEnd) aligned = false;
    if (length > 0) walk.dataEnd = walk.layoutEnd + length;
    walk.layoutEnd += Advance(kind, length);
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
    const Bytes body(plain.begin() + TableHeaderSize, plain.end());
    const std::uint32_t key = RecoverScrambleKey(body);
    if (UnscrambleBlock(plain.data() + TableHeaderSize, header.totalSize - TableHeaderSize) != 0) {
      walk.problems.push_back("the scrambled body of " + std::to_string(header.totalSize - TableHeaderSize) +
                              " bytes cannot be unscrambled (a body needs at least 4 bytes)");
      return false;
    }
    WriteTableWord(plain.data() + 12, header.flags & ~FlagScrambled, header.order);
    codings.push_back("scrambled");
    walk.view["scrambleKey"] = HexWord(key);
    walk.description["scrambleKey"] = HexWord(key);
  }
  if ((header.flags & FlagCompressed) != 0) {
    Block expanded = DecompressTableObject(Block(plain.data(), plain.size()));
    if (expanded.empty()) {
      walk.problems.push_back("the compressed body does not expand to whole 8-byte units");
      return false;
    }
    Bytes copy(expanded.begin(), expanded.end());
    if (expanded.data() != plain.data()) ReleaseBlock(expanded);
    plain = std::move(copy);
    codings.push_back("compressed");
    walk.description["compressed"] = true;
  }
  if ((header.flags & FlagDeltaCoded) != 0) {
    codings.push_back("delta-coded");
    walk.description["deltaCoded"] = true;
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

Walk WalkObject(const std::uint8_t *object, std::size_t available, bool stored, int depth) {
  Walk walk;
  TableHeader header{};
  if (!ReadTableHeader(ConstBlock(object, available), &header)) {
    walk.problems.push_back("no table object: the first word is not the magic 0x50178516 in either byte order");
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
  WalkEntries(plain, header, stored && deltaCoded, stored, depth, walk);
  if (stored) DescribeTail(static_cast<std::int64_t>(plain.size()), header.flags, walk);
  return walk;
}

}  // namespace

bool LooksLikeTableObject(const Bytes &stored) {
  if (stored.size() < 4) return false;
  const std::uint32_t magic = ReadU32LittleEndian(stored.data());
  return magic == TableObjectMagic || magic == TableObjectMagicSwapped;
}

TableDecoding DecodeTableRecord(const Bytes &stored) {
  TableDecoding result;
  Walk walk = WalkObject(stored.data(), stored.size(), true, 0);
  result.problems = walk.problems;
  if (walk.view.contains("totalSize") && walk.view["totalSize"] != stored.size() && walk.problems.empty()) {
    result.problems.push_back("the record holds " + std::to_string(stored.size()) + " bytes, the object " +
                              walk.view["totalSize"].dump());
  }
  result.decoded = result.problems.empty();
  result.table = walk.description;
  result.view = walk.view;
  if (result.decoded) {
    try {
      Json description = walk.description;
      result.exact = EncodeTableRecord(description, "table") == stored;
    } catch (const CliError &) {
      result.exact = false;
    }
  }
  return result;
}

Json ViewPreparedTable(const std::uint8_t *object, std::size_t length) {
  Walk walk = WalkObject(object, length, false, 0);
  if (!walk.problems.empty()) walk.view["problems"] = walk.problems;
  return walk.view;
}

}  // namespace dinfo::cli
