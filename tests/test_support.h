// Shared test support: files written by the writer into a fresh folder, and
// a fixture that checks that every call gives back all blocks and handles.
#ifndef DINFO_TESTS_TEST_SUPPORT_H
#define DINFO_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dinfo/dinfo.h"
#include "keyed/keyed_block.h"
#include "each_failure.h"
#include "platform/test_seam.h"
#include "writer/writer.h"

// Tests that would take minutes under valgrind do less there, or nothing.
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

namespace dinfo::test {

// The key that matches any condition value, short for tables of rows.
constexpr std::int32_t W = KeyWildcard;

using writer::Bytes;

// The bytes of an ASCII text as a wide string of the library's wide type.
std::basic_string<DIWideChar> ToU16(const std::string &text);

// A folder of its own per test, removed afterwards.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the bytes as `name` inside the test's folder.
  void Write(const std::string &name, const Bytes &bytes);
  const DIWideChar *Folder() const { return folderWide_.c_str(); }
  const std::string &FolderPath() const { return folder_; }

  // Blocks and handles must be back where they were after every call.
  void ExpectNothingHeld() const;

 private:
  std::string folder_;
  std::basic_string<DIWideChar> folderWide_;
  std::int64_t blocksAtStart_ = 0;
  std::int64_t handlesAtStart_ = 0;
};

// A status record (record 1000) as a single block of two int32 values.
Bytes StatusRecord(std::int32_t fileStatus, std::int32_t formatType);
// A file with just a status record.
writer::InfoFile FileWithStatus(std::int32_t fileStatus, std::int32_t formatType);

}  // namespace dinfo::test

#endif  // DINFO_TESTS_TEST_SUPPORT_H
