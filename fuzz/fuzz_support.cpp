#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/block.h"
#include "common/bytes.h"
#include "platform/test_seam.h"
#include "tableobj/table_object.h"

namespace dinfo::fuzz {
namespace {

struct Folder {
  std::string path;
  std::u16string wide;
};

void RemoveFolder();

// One folder per process, in memory when /dev/shm is there; removed at
// exit. It is never destroyed, so the exit handler can still read it.
Folder &TheFolder() {
  static Folder *const folder = [] {
    std::error_code error;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, error)) base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "dinfo-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    auto *made = new Folder{pattern, {}};
    for (char c : pattern) made->wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    std::atexit(RemoveFolder);
    return made;
  }();
  return *folder;
}

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(TheFolder().path, ignored);
}

// Reads an int32 at `at` when it lies inside the bytes.
bool ReadInside(const std::vector<std::uint8_t> &bytes, std::int64_t at, std::int32_t *value) {
  if (!RangeFits(static_cast<std::int64_t>(bytes.size()), at, 4)) return false;
  *value = ReadI32LittleEndian(bytes.data() + at);
  return true;
}

// Rewrites a record's trailer to the lane sums of its data, which makes
// the key 0: the key stream is then all zero and the data stay as stored.
void SealRecord(std::vector<std::uint8_t> &bytes, std::int64_t body, std::int32_t length) {
  if (length < 4 || length % 4 != 0 || !RangeFits(std::int64_t(bytes.size()), body, length)) return;
  std::uint8_t lanes[4] = {};
  for (std::int32_t i = 0; i < length - 4; ++i) {
    lanes[i & 3] = static_cast<std::uint8_t>(lanes[i & 3] + bytes[std::size_t(body + i)]);
  }
  std::uint8_t *trailer = bytes.data() + body + length - 4;
  trailer[0] = lanes[0];
  trailer[1] = lanes[3];
  trailer[2] = lanes[1];
  trailer[3] = lanes[2];
}

// Seals every record that the main section's directory names.
void SealMainSection(std::vector<std::uint8_t> &bytes) {
  std::int32_t directory = 0;
  std::int32_t count = 0;
  if (!ReadInside(bytes, 8, &directory) || !ReadInside(bytes, directory, &count)) return;
  for (std::int64_t i = 0; i < count; ++i) {
    std::int32_t section = 0;
    std::int32_t position = 0;
    std::int32_t length = 0;
    const std::int64_t entry = std::int64_t{directory} + 4 + 12 * i;
    if (!ReadInside(bytes, entry, &section) || !ReadInside(bytes, entry + 8, &position)) return;
    if (section != 8 || !ReadInside(bytes, position, &length)) continue;
    SealRecord(bytes, std::int64_t{position} + 4, length);
  }
}

}  // namespace

const DIWideChar *WriteInformationFile(const std::uint8_t *data, std::size_t size,
                                       bool plainRecords) {
  std::vector<std::uint8_t> bytes(data, data + size);
  if (plainRecords) SealMainSection(bytes);
  data = bytes.data();
  Folder &folder = TheFolder();
  const std::string path = folder.path + "/" + FileName;
  std::FILE *file = std::fopen(path.c_str(), "wb");
  Require(file != nullptr, "cannot create the information file");
  Require(size == 0 || std::fwrite(data, 1, size, file) == size, "cannot write the information file");
  Require(std::fclose(file) == 0, "cannot close the information file");
  return folder.wide.c_str();
}

bool TakeQuery(const std::uint8_t *data, std::size_t size, Query *query) {
  if (size < ConditionBytes) return false;
  query->selector = ReadI32LittleEndian(data);
  const auto count = ReadI16LittleEndian(data + 4);
  query->pairCount = count > MaxPairs ? static_cast<std::int16_t>(count % (MaxPairs + 1)) : count;
  query->nullPairs = (data[6] & 1) != 0;
  query->plainRecords = (data[6] & 2) != 0;
  for (std::int16_t i = 0; i < MaxPairs; ++i) {
    query->pairs[i] = {};
    query->pairs[i].index = ReadI32LittleEndian(data + 8 + 8 * i);
    query->pairs[i].value = ReadI32LittleEndian(data + 12 + 8 * i);
  }
  return true;
}

const DIWideChar *TakeInput(const std::uint8_t *data, std::size_t size, Query *query) {
  if (!TakeQuery(data, size, query)) return nullptr;
  return WriteInformationFile(data + ConditionBytes, size - ConditionBytes, query->plainRecords);
}

NamedEntry *NamedEntryList() {
  static const std::unique_ptr<NamedEntry[]> list(new NamedEntry[ListLength]);
  return list.get();
}

IntegerTriplet *TripletList() {
  static const std::unique_ptr<IntegerTriplet[]> list(new IntegerTriplet[ListLength]);
  return list.get();
}

Holdings Held() { return {seam::LiveBlocks(), seam::OpenHandles()}; }

void Require(bool condition, const char *what) {
  if (condition) return;
  std::fprintf(stderr, "dinfo fuzz invariant broken: %s\n", what);
  std::abort();
}

void RequireHeld(const Holdings &before) {
  const Holdings now = Held();
  Require(now.blocks == before.blocks, "a block outlived the call");
  Require(now.handles == before.handles, "a handle outlived the call");
}

void RequirePreparedTable(const std::uint8_t *table) {
  TableHeader header{};
  Require(ReadTableHeader(ConstBlock(table, TableHeaderSize), &header),
          "a prepared table has no magic");
  Require((header.flags & (FlagScrambled | FlagCompressed)) == 0,
          "a prepared table is still scrambled or compressed");
  volatile std::uint8_t sum = 0;
  for (std::int32_t i = TableHeaderSize; i < header.totalSize; ++i) sum = sum + table[i];
}

bool IsOneOf(std::int32_t result, std::initializer_list<std::int32_t> codes) {
  for (std::int32_t code : codes) {
    if (result == code) return true;
  }
  return false;
}

}  // namespace dinfo::fuzz
