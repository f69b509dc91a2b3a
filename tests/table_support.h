// Shared helpers of the table object tests: library blocks made from
// writer bytes, and a fixture whose file holds one table behind a locator.
#ifndef DINFO_TESTS_TABLE_SUPPORT_H
#define DINFO_TESTS_TABLE_SUPPORT_H

#include <algorithm>
#include <optional>

#include "common/block.h"
#include "common/bytes.h"
#include "tableobj/table_object.h"
#include "test_support.h"
#include "writer/table_writer.h"

namespace dinfo::test {

using writer::TableDescription;

// A library block holding the bytes.
inline OwnedBlock ToBlock(const Bytes &bytes) {
  OwnedBlock block = AllocateBlock(std::int64_t(bytes.size()));
  CopyBytes(bytes.data(), block.get().data(), static_cast<std::int32_t>(bytes.size()));
  return block;
}

// The first totalSize bytes of a table object, its totalSize read in the
// order its magic tells.
inline Bytes TableBytes(const void *table) {
  const auto *at = static_cast<const std::uint8_t *>(table);
  TableHeader header{};
  if (!ReadTableHeader(ConstBlock(at, TableHeaderSize), &header) || header.totalSize < 16) return {};
  return Bytes(at, at + header.totalSize);
}

inline std::uint32_t WordAt(const Bytes &bytes, std::size_t at, bool bigEndian) {
  return bigEndian ? ReadU32BigEndian(bytes.data() + at) : ReadU32LittleEndian(bytes.data() + at);
}

inline void PutWord(Bytes &bytes, std::size_t at, std::uint32_t value, bool bigEndian) {
  if (bigEndian) {
    WriteU32BigEndian(bytes.data() + at, value);
  } else {
    WriteU32LittleEndian(bytes.data() + at, value);
  }
}

// A table object laid out by hand, for layouts the writer does not make:
// the header, the descriptors (tag, location) as given, then `data`. A
// totalSize of 0 stands for the length of the whole.
struct Descriptor {
  std::uint32_t tag;
  std::int32_t location;
};
inline Bytes HandObject(bool bigEndian, const std::vector<Descriptor> &descriptors, const Bytes &data,
                        std::int32_t totalSize = 0, std::uint32_t flags = 0) {
  // Sized once and filled in place: GCC 12 at -O3 misreads an insert into
  // a 16-byte vector as a copy out of its bounds.
  const std::size_t dataAt = 16 + 8 * descriptors.size();
  Bytes out(dataAt + data.size(), 0);
  std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt));
  PutWord(out, 0, TableObjectMagic, bigEndian);
  PutWord(out, 4, static_cast<std::uint32_t>(totalSize != 0 ? totalSize : std::int32_t(out.size())), bigEndian);
  PutWord(out, 8, static_cast<std::uint32_t>(descriptors.size()), bigEndian);
  PutWord(out, 12, flags, bigEndian);
  for (std::size_t i = 0; i < descriptors.size(); ++i) {
    PutWord(out, 16 + 8 * i, descriptors[i].tag, bigEndian);
    PutWord(out, 20 + 8 * i, static_cast<std::uint32_t>(descriptors[i].location), bigEndian);
  }
  return out;
}

// Prepares a copy of the bytes. The result, if any, is copied out; every
// block is released and none may be left.
struct Prepared {
  bool inPlace = false;
  std::optional<Bytes> bytes;
};
inline Prepared Prepare(const Bytes &stored) {
  const std::int64_t before = seam::LiveBlocks();
  Prepared prepared;
  {
    const OwnedBlock block = ToBlock(stored);
    const TableInBlock result = PrepareTableObject(block.get());
    if (result.fault == Fault::None) {
      prepared.inPlace = result.made.empty();
      prepared.bytes = TableBytes(result.object.data());
    }
  }
  EXPECT_EQ(seam::LiveBlocks(), before);
  return prepared;
}

// Prepares `rounds` copies of the bytes, each with a few words changed
// to values that matter to the format. Any outcome will do as long as
// nothing is touched outside the block (the sanitizer build checks that)
// and no block is left behind.
inline void PrepareDamagedCopies(const Bytes &stored, int rounds) {
  const std::uint32_t values[] = {0,           1,           8,           16,          24,
                                  0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xDC000000u, 0x9A000010u,
                                  0x3FFFFFFFu, 0x20000000u, 0xF8000000u, 0x50178516u, 0x16851750u};
  std::uint32_t random = 12345;
  const auto next = [&random] { return random = random * 1103515245u + 12345u, random >> 8; };
  for (int round = 0; round < rounds; ++round) {
    Bytes damaged = stored;
    for (int change = 0; change < 1 + round % 3; ++change) {
      const std::size_t at = next() % (damaged.size() / 4) * 4;
      PutWord(damaged, at, values[next() % std::size(values)] + (next() % 4 == 0 ? next() % 64 : 0),
              next() % 2 == 0);
    }
    Prepare(damaged);
  }
}

// A returned table's block may be at most an eighth larger than the table
// (beyond the few dozen bytes by which the C library may round up a small
// block on Linux).
inline void ExpectBlockFits(const void *table, std::int64_t tableSize) {
  const std::int64_t blockSize = seam::BlockBytes(table);
  EXPECT_GE(blockSize, tableSize);
  EXPECT_LE(blockSize, tableSize + std::max<std::int64_t>(tableSize / 8, 64)) << "table of " << tableSize;
}

// A file whose status is fine and whose locator names record 12 of a
// section of its own, which holds the table.
class TableFileTest : public FileTest {
 protected:
  static constexpr std::int32_t TableRecordId = 12;

  // The file without its locator, and the table's section.
  struct TableFile {
    writer::InfoFile file;
    std::int32_t section;
  };
  static TableFile NewTableFile(const Bytes &storedTable, std::int32_t fileStatus = 0) {
    TableFile table{FileWithStatus(fileStatus, 1), 0};
    table.section = writer::AddSection(table.file);
    writer::AddRecord(table.file, table.section, TableRecordId, storedTable);
    return table;
  }
  static writer::InfoFile WithLocator(TableFile table, const writer::KeyedBlock &locator) {
    writer::AddRecord(table.file, writer::MainSectionKey, writer::LocatorRecordId,
                      writer::KeyedRecord(locator));
    return table.file;
  }
  static writer::InfoFile FileWithTable(const Bytes &storedTable) {
    TableFile table = NewTableFile(storedTable);
    return WithLocator(table, writer::LocatorBlock({{writer::LocatorSectionKind, table.section},
                                                    {writer::LocatorRecordKind, TableRecordId}}));
  }

  // DIGetTable on the written file: the table's bytes, or nothing for
  // null. The table is freed and nothing may be held afterwards.
  std::optional<Bytes> GetTable(std::int32_t selector = 1) {
    void *table = DIGetTable("info.dat", Folder(), selector, nullptr, 0);
    std::optional<Bytes> result;
    if (table != nullptr) {
      result = TableBytes(table);
      ExpectBlockFits(table, std::int64_t(result->size()));
    }
    DIFreeTable(table);
    ExpectNothingHeld();
    return result;
  }

  std::optional<Bytes> GetTable(const writer::InfoFile &file) {
    Write("info.dat", writer::Finish(file));
    return GetTable();
  }

  std::optional<Bytes> GetStoredTable(const TableDescription &described) {
    return GetTable(FileWithTable(writer::EncodeTableObject(described)));
  }

  // Lets 0, 1, 2, ... allocations succeed until none fails: every failure
  // must give null with nothing held, and the last call the whole table.
  // Returns how many calls failed.
  std::int64_t FailEachAllocationInTurn(const TableDescription &described) {
    Write("info.dat", writer::Finish(FileWithTable(writer::EncodeTableObject(described))));
    return InjectEachFailureInTurn(
        &seam::FailAllocationsAfter, [&] { return DIGetTable("info.dat", Folder(), 1, nullptr, 0); },
        [&](std::int64_t, bool fired, void *table) {
          EXPECT_EQ(table != nullptr, !fired);
          if (table != nullptr) {
            EXPECT_EQ(TableBytes(table), writer::PreparedTableObject(described));
            ExpectBlockFits(table, std::int64_t(TableBytes(table).size()));
          }
          DIFreeTable(table);
          ExpectNothingHeld();
        });
  }
};

}  // namespace dinfo::test

#endif  // DINFO_TESTS_TABLE_SUPPORT_H
