// Reads through the KERNEL32 subset the library uses: whatever mix of small
// and large reads, seeks and sequential reads, ReadFile gives the file's own
// bytes and comes back short only at the end of the file.
#include <algorithm>
#include <random>
#include <string>

#include "platform/kernel32.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

class FileReadsTest : public FileTest {
 protected:
  HANDLE OpenForReading(const std::string &name) {
    const std::basic_string<DIWideChar> path = Folder() + ToU16("/" + name);
    return CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, FILE_SHARE_READ,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

Bytes RandomBytes(std::size_t size, std::mt19937 &random) {
  Bytes bytes(size);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Mostly small reads (the lengths and records of a lookup), some larger
// than any buffering, some empty.
DWORD PickLength(std::mt19937 &random) {
  const auto below = [&random](std::uint32_t limit) { return static_cast<DWORD>(random() % limit); };
  switch (random() % 6) {
    case 0: return 4;
    case 1: return below(5);
    case 2: return below(9000);
    default: return below(2100);
  }
}

TEST_F(FileReadsTest, EveryReadGivesTheFilesOwnBytes) {
  std::mt19937 random(20261207);
  for (std::size_t size : {0u, 1u, 7u, 511u, 4095u, 4096u, 4097u, 9000u, 70000u}) {
    SCOPED_TRACE(size);
    const Bytes content = RandomBytes(size, random);
    Write("file.dat", content);
    HANDLE file = OpenForReading("file.dat");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::size_t position = 0;
    for (int read = 0; read < 500; ++read) {
      if (random() % 3 != 0) {
        position = random() % (size + 5000);
        ASSERT_EQ(SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN), position);
      }
      const DWORD length = PickLength(random);
      Bytes buffer(length + 1, 0xEE);
      DWORD got = 12345;
      ASSERT_TRUE(ReadFile(file, buffer.data(), length, &got, nullptr));
      const std::size_t expected = std::min<std::size_t>(length, size - std::min(size, position));
      ASSERT_EQ(got, expected) << "at " << position << " for " << length;
      EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got),
                             content.begin() + static_cast<std::ptrdiff_t>(position)));
      EXPECT_EQ(buffer[got], 0xEE) << "wrote past what it read";
      position += got;
    }
    EXPECT_TRUE(CloseHandle(file));
  }
}

TEST_F(FileReadsTest, FoldersAndMissingFilesDoNotOpen) {
  Write("file.dat", Bytes(10, 1));
  EXPECT_EQ(OpenForReading(""), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenForReading("missing.dat"), INVALID_HANDLE_VALUE);
  HANDLE file = OpenForReading("file.dat");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
}  // namespace dinfo::test
