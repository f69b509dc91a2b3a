#include "formats/keyed_json.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/scramble.h"
#include "keyed/keyed_block.h"
#include "query/query.h"

namespace dinfo::cli {
namespace {

using writer::Bytes;

struct NamedValue {
  std::int16_t value;
  const char *name;
};

constexpr NamedValue Kinds[] = {
    {ChainBlock, "chain"}, {SingleBlock, "single"}, {FirstMatchBlock, "first-match"}, {3, "all-matches"}};
constexpr NamedValue ValueTypes[] = {{ValueTypeInt8, "int8"},
                                     {ValueTypeInt16, "int16"},
                                     {ValueTypeInt32, "int32"},
                                     {ValueTypeText, "text"},
                                     {ValueTypeNamedEntry, "named-entry"}};

template <std::size_t N>
Json NameOrNumber(std::int16_t value, const NamedValue (&table)[N]) {
  for (const NamedValue &entry : table) {
    if (entry.value == value) return entry.name;
  }
  return value;
}

template <std::size_t N>
std::int16_t NumberOf(const Json &value, const std::string &where, const NamedValue (&table)[N]) {
  if (value.is_string() && value.get<std::string>().rfind("0x", 0) != 0) {
    for (const NamedValue &entry : table) {
      if (value.get<std::string>() == entry.name) return entry.value;
    }
    std::string names;
    for (const NamedValue &entry : table) names += std::string(names.empty() ? "" : ", ") + entry.name;
    BadDescription(where, "\"" + value.get<std::string>() + "\" is none of " + names + " (or a number)");
  }
  return static_cast<std::int16_t>(ToInteger(value, where, INT16_MIN, INT16_MAX));
}

// The bytes of one integer value of the type; 0 for the text types and for
// codes that name no value type.
std::int32_t IntegerWidth(std::int16_t valueType) { return IsValueListType(valueType) ? ValueWidth(valueType) : 0; }

Json TextValue(const std::uint8_t *bytes, std::size_t length) {
  if (auto text = CleanText(bytes, length)) return *text;
  return Json{{"hex", ToHex(bytes, length)}};
}

// The values of one row (or one row's worth of a single payload).
Json DecodeRowValues(const std::uint8_t *at, const KeyedFields &header) {
  Json values = Json::array();
  const std::int32_t width = IntegerWidth(header.valueType);
  if (width > 0) {
    for (std::int32_t k = 0; k < header.valuesPerRow; ++k) {
      const std::uint8_t *p = at + k * width;
      if (width == 1) values.push_back(static_cast<std::int8_t>(p[0]));
      if (width == 2) values.push_back(ReadI16LittleEndian(p));
      if (width == 4) values.push_back(ReadI32LittleEndian(p));
    }
  } else if (header.valueType == ValueTypeText) {
    for (std::int32_t k = 0; k < header.valuesPerRow; ++k) {
      values.push_back(TextValue(at + k * TextValueSize, TextValueSize));
    }
  } else if (header.valueType == ValueTypeNamedEntry) {
    values.push_back(Json{{"leading", ReadI32LittleEndian(at)},
                          {"name", TextValue(at + 4, TextValueSize)},
                          {"trailing", ReadI32LittleEndian(at + 260)}});
  }
  return values;
}

Json KeyValue(std::int32_t key) { return key == KeyWildcard ? Json("*") : Json(key); }

// Each check that the library makes of a header before it uses the block,
// but the chain's, which only lookups with conditions make.
std::vector<std::string> HeaderProblems(const KeyedFields &header) {
  std::vector<std::string> problems;
  const std::uint32_t flaws = FindKeyedHeaderFlaws(header);
  const std::int64_t room = static_cast<std::int64_t>(header.rows.size());
  if ((flaws & PayloadPastBlock) != 0) {
    problems.push_back("single payload of " + std::to_string(header.byteCount) +
                       " bytes reaches past the block (room for " + std::to_string(room) + ")");
  }
  if ((flaws & KeyCountOutOfRange) != 0) {
    problems.push_back("keyCount " + std::to_string(header.keyCount) + " is outside 0 to 16");
  }
  if ((flaws & ValuesPerRowNegative) != 0) {
    problems.push_back("valuesPerRow " + std::to_string(header.valuesPerRow) + " is negative");
  }
  for (std::int32_t j = 0; (flaws & KeyIndexOutOfRange) != 0 && j < header.keyCount && j < MaxKeyCount; ++j) {
    if (header.keyIndex[j] < 0 || header.keyIndex[j] >= ConditionVectorSize) {
      problems.push_back("keyIndex[" + std::to_string(j) + "] = " + std::to_string(header.keyIndex[j]) +
                         " is outside 0 to " + std::to_string(ConditionVectorSize - 1));
    }
  }
  if ((flaws & RowsPastBlock) != 0) {
    problems.push_back(Plural(std::size_t(std::max<std::int16_t>(header.rowCount, 0)), "row") + " of " +
                       Plural(std::size_t(LayoutOf(header).rowStride), "byte") + (header.rowCount == 1 ? " reaches" : " reach") + " past the block (room for " + std::to_string(room) + ")");
  }
  return problems;
}

void DecodeRows(const KeyedFields &header, Json &block) {
  Json rows = Json::array();
  if (header.kind == SingleBlock) {
    const std::int32_t valueBytes = LayoutOf(header).valueBytes;
    const bool wholeRows = valueBytes > 0 && header.rowCount >= 0 &&
                           std::int64_t{header.rowCount} * valueBytes == header.byteCount;
    if (!wholeRows) {
      const std::size_t length = header.byteCount > 0 ? std::size_t(header.byteCount) : 0;
      block["payload"] = ToHex(header.rows.data(), length);
      block["rowCount"] = header.rowCount;
      return;
    }
    for (std::int32_t r = 0; r < header.rowCount; ++r) {
      rows.push_back(Json{{"values", DecodeRowValues(header.rows.data() + r * valueBytes, header)}});
    }
  } else {
    const RowLayout layout = LayoutOf(header);
    for (std::int32_t r = 0; r < header.rowCount; ++r) {
      const std::uint8_t *row = header.rows.data() + std::int64_t{r} * layout.rowStride;
      Json keys = Json::array();
      for (std::int32_t j = 0; j < header.keyCount; ++j) keys.push_back(KeyValue(ReadI32LittleEndian(row + 4 * j)));
      rows.push_back(Json{{"keys", keys}, {"values", DecodeRowValues(row + 4 * header.keyCount, header)}});
    }
  }
  block["rows"] = rows;
}

}  // namespace

std::string KindName(std::int16_t kind) {
  const Json name = NameOrNumber(kind, Kinds);
  return name.is_string() ? name.get<std::string>() : "all-matches (kind " + std::to_string(kind) + ")";
}

std::string ValueTypeName(std::int16_t valueType) {
  const Json name = NameOrNumber(valueType, ValueTypes);
  return name.is_string() ? name.get<std::string>() : "type " + std::to_string(valueType) + " (keys only)";
}

KeyedDecoding DecodeKeyedRecord(const Bytes &stored) {
  KeyedDecoding result;
  const std::size_t n = stored.size();
  if (n < std::size_t(SmallestKeyedBlock)) {
    result.problems.push_back("record of " + std::to_string(n) +
                              " bytes is shorter than a keyed block's 80-byte header");
    return result;
  }
  if (n % 4 != 0) {
    result.problems.push_back("record of " + std::to_string(n) + " bytes is not a whole number of 4-byte groups, "
                              "so it cannot be unscrambled");
    return result;
  }
  Bytes plain = stored;
  UnscrambleBlock(plain.data(), static_cast<std::int32_t>(n));
  const KeyedFields header = ParseKeyedFields(plain);
  result.parsed = true;

  Json &block = result.block;
  block["kind"] = NameOrNumber(header.kind, Kinds);
  if (header.disabledFlag != 0) block["disabled"] = header.disabledFlag;
  block["valueType"] = NameOrNumber(header.valueType, ValueTypes);
  block["valuesPerRow"] = header.valuesPerRow;
  if (header.reserved != 0) block["reserved"] = header.reserved;
  result.problems = HeaderProblems(header);
  if (header.kind != SingleBlock) {
    Json keyIndex = Json::array();
    for (std::int32_t j = 0; j < header.keyCount && j < MaxKeyCount; ++j) keyIndex.push_back(header.keyIndex[j]);
    block["keyIndex"] = keyIndex;
  }
  if ((FindKeyedHeaderFlaws(header) & ChainWithoutIds) != 0) {
    result.problems.push_back("a chain block must carry int32 values, the first the next record id; "
                              "a lookup with conditions refuses it");
  }
  KeyedHeader checked;
  result.sound = CheckKeyedBlock(plain, false, &checked);
  if (result.sound) {
    DecodeRows(header, block);
  } else {
    block["keyCount"] = header.keyCount;
    block["rowCount"] = header.rowCount;
    if (header.kind == SingleBlock) block["byteCount"] = header.byteCount;
  }
  block["scrambleKey"] = HexWord(RecoverScrambleKey(stored.data(), static_cast<std::int32_t>(n)));
  if (result.sound) {
    try {
      result.exact = EncodeKeyedRecord(block, "record") == stored;
    } catch (const CliError &) {
      result.exact = false;
    }
  }
  return result;
}

namespace {

Bytes EncodeText(const Json &value, const std::string &where) {
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    if (text.size() > std::size_t(TextValueSize)) BadDescription(where, "text is longer than 256 bytes");
    return writer::PackText(text);
  }
  if (value.is_object() && value.contains("hex") && value.size() == 1) {
    Bytes bytes = FromHex(value.at("hex").get<std::string>(), where + ".hex");
    if (bytes.size() != std::size_t(TextValueSize)) BadDescription(where, "hex text must be 256 bytes");
    return bytes;
  }
  BadDescription(where, "expected a text (string, or {\"hex\": ...} of 256 bytes)");
}

Bytes EncodeRowValues(const Json &values, const std::string &where, std::int16_t valueType,
                      std::int16_t valuesPerRow) {
  if (!values.is_array()) BadDescription(where, "expected an array of values");
  const std::int32_t width = IntegerWidth(valueType);
  const std::size_t expected = valueType == ValueTypeNamedEntry ? 1
                               : (width > 0 || valueType == ValueTypeText) ? std::size_t(valuesPerRow)
                                                                          : 0;
  if (values.size() != expected) {
    BadDescription(where, "holds " + std::to_string(values.size()) + " values, the block's value type and "
                          "valuesPerRow call for " + std::to_string(expected));
  }
  Bytes out;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const std::string at = where + "[" + std::to_string(k) + "]";
    if (width > 0) {
      const std::int64_t high = (std::int64_t{1} << (8 * width)) - 1;
      const std::int64_t low = -(std::int64_t{1} << (8 * width - 1));
      const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInteger(values[k], at, low, high)));
      Bytes packed = writer::PackValues({value}, width);
      out.insert(out.end(), packed.begin(), packed.end());
    } else if (valueType == ValueTypeText) {
      Bytes text = EncodeText(values[k], at);
      out.insert(out.end(), text.begin(), text.end());
    } else {
      const Json &entry = values[k];
      OnlyKeys(entry, at, {"leading", "name", "trailing"});
      writer::AppendI32(out, static_cast<std::int32_t>(RequiredIntegerField(entry, "leading", at, INT32_MIN, INT32_MAX)));
      if (!entry.contains("name")) BadDescription(at, "\"name\" is missing");
      Bytes name = EncodeText(entry.at("name"), at + ".name");
      out.insert(out.end(), name.begin(), name.end());
      writer::AppendI32(out, static_cast<std::int32_t>(RequiredIntegerField(entry, "trailing", at, INT32_MIN, INT32_MAX)));
    }
  }
  return out;
}

std::int16_t DefaultValuesPerRow(std::int16_t kind, std::int16_t valueType, const Json &rows) {
  if (kind == ChainBlock || valueType == ValueTypeNamedEntry) return 1;
  if (rows.empty() || !rows[0].is_object() || !rows[0].contains("values") || !rows[0]["values"].is_array()) return 0;
  return static_cast<std::int16_t>(rows[0]["values"].size());
}

}  // namespace

Bytes EncodeKeyedRecord(const Json &description, const std::string &where) {
  OnlyKeys(description, where, {"kind", "disabled", "valueType", "valuesPerRow", "reserved", "keyIndex",
                                "rows", "payload", "rowCount", "scrambleKey"});
  writer::KeyedBlock block;
  if (!description.contains("kind")) BadDescription(where, "\"kind\" is missing");
  block.kind = NumberOf(description.at("kind"), where + ".kind", Kinds);
  block.disabledFlag = static_cast<std::int16_t>(IntegerField(description, "disabled", where, INT16_MIN, INT16_MAX, 0));
  block.valueType = description.contains("valueType")
                        ? NumberOf(description.at("valueType"), where + ".valueType", ValueTypes)
                        : ValueTypeInt32;
  block.reserved = static_cast<std::int16_t>(IntegerField(description, "reserved", where, INT16_MIN, INT16_MAX, 0));
  const Json &rows = ArrayField(description, "rows", where);
  if (rows.size() > 32767) BadDescription(where + ".rows", "more than 32767 rows");
  block.valuesPerRow = static_cast<std::int16_t>(IntegerField(
      description, "valuesPerRow", where, 0, INT16_MAX, DefaultValuesPerRow(block.kind, block.valueType, rows)));
  const auto key = static_cast<std::uint32_t>(
      IntegerField(description, "scrambleKey", where, 0, 0xFFFFFFFFll, DefaultScrambleKey));

  const Json &keyIndex = ArrayField(description, "keyIndex", where);
  if (keyIndex.size() > std::size_t(MaxKeyCount)) BadDescription(where + ".keyIndex", "more than 16 key columns");
  for (std::size_t j = 0; j < keyIndex.size(); ++j) {
    block.keyIndex.push_back(static_cast<std::int32_t>(
        ToInteger(keyIndex[j], where + ".keyIndex[" + std::to_string(j) + "]", 0, ConditionVectorSize - 1)));
  }

  if (block.kind == SingleBlock) {
    if (!keyIndex.empty()) BadDescription(where + ".keyIndex", "a single block has no key columns");
    if (description.contains("payload")) {
      if (!rows.empty()) BadDescription(where, "give a single block either rows or payload, not both");
      block.singlePayload = FromHex(description.at("payload").get<std::string>(), where + ".payload");
      block.singleRowCount = static_cast<std::int16_t>(RequiredIntegerField(description, "rowCount", where, INT16_MIN, INT16_MAX));
    } else {
      for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string at = where + ".rows[" + std::to_string(r) + "]";
        OnlyKeys(rows[r], at, {"values", "keys"});
        if (!ArrayField(rows[r], "keys", at).empty()) BadDescription(at + ".keys", "rows of a single block have no keys");
        Bytes values = EncodeRowValues(rows[r].value("values", Json::array()), at + ".values", block.valueType,
                                       block.valuesPerRow);
        block.singlePayload.insert(block.singlePayload.end(), values.begin(), values.end());
      }
      block.singleRowCount = static_cast<std::int16_t>(rows.size());
    }
    return writer::KeyedRecord(block, key);
  }
  if (description.contains("payload")) BadDescription(where + ".payload", "only a single block has a payload");

  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::string at = where + ".rows[" + std::to_string(r) + "]";
    OnlyKeys(rows[r], at, {"keys", "values"});
    const Json &keys = ArrayField(rows[r], "keys", at);
    if (keys.size() != block.keyIndex.size()) {
      BadDescription(at + ".keys", "holds " + std::to_string(keys.size()) + " keys for " +
                                       std::to_string(block.keyIndex.size()) + " key columns");
    }
    writer::KeyedRow row;
    for (std::size_t j = 0; j < keys.size(); ++j) {
      const std::string keyAt = at + ".keys[" + std::to_string(j) + "]";
      row.keys.push_back(keys[j] == "*" ? KeyWildcard
                                        : static_cast<std::int32_t>(ToInteger(keys[j], keyAt, INT32_MIN, INT32_MAX)));
    }
    row.values = EncodeRowValues(rows[r].value("values", Json::array()), at + ".values", block.valueType,
                                 block.valuesPerRow);
    block.rows.push_back(row);
  }
  return writer::KeyedRecord(block, key);
}

}  // namespace dinfo::cli
