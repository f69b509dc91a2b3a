// Many threads call every export on the same files at once, and each must
// get exactly the answers that one thread alone gets. The library shares
// nothing writable between calls, so the tsan preset runs this test under
// ThreadSanitizer to prove that no call races with another.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "sample_file.h"
#include "table_support.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

constexpr int Threads = 8;
constexpr int Rounds = 20;

template <typename T>
Bytes BytesOf(const T *items, std::int32_t count) {
  if (count <= 0) return {};
  const auto *bytes = reinterpret_cast<const std::uint8_t *>(items);
  return Bytes(bytes, bytes + sizeof(T) * std::size_t(count));
}

// Everything every export answers for one file.
struct Answers {
  std::int32_t formatType = 0;
  std::int16_t mainInfo = 0;
  Bytes mainLists;
  std::int16_t categoryV = 0;
  Bytes categoryVList;
  std::int16_t categoryS = 0;
  Bytes categorySList;
  std::vector<Bytes> tables;

  bool operator==(const Answers &) const = default;
};

Answers Ask(const std::string &name, const DIWideChar *folder) {
  Answers answers;
  answers.formatType = DIGetTableFormatType(name.c_str(), folder);
  NamedEntry named[8] = {};
  IntegerTriplet triplets[8] = {};
  std::int16_t namedCount = 0;
  std::int16_t tripletCount = 0;
  answers.mainInfo = DIGetMainInfo(name.c_str(), folder, named, triplets, &namedCount, &tripletCount);
  answers.mainLists = BytesOf(named, namedCount);
  const Bytes tripletBytes = BytesOf(triplets, tripletCount);
  answers.mainLists.insert(answers.mainLists.end(), tripletBytes.begin(), tripletBytes.end());
  IntegerTriplet categoryTriplets[8] = {};
  answers.categoryV = DIGetCategoryInfoV(name.c_str(), folder, 1, nullptr, categoryTriplets, 0);
  answers.categoryVList = BytesOf(categoryTriplets, answers.categoryV);
  NamedEntry categoryNamed[8] = {};
  answers.categoryS = DIGetCategoryInfoS(name.c_str(), folder, 1, nullptr, categoryNamed, 0);
  answers.categorySList = BytesOf(categoryNamed, answers.categoryS);
  for (std::int32_t selector = 1; selector <= SampleTableCount + 1; ++selector) {
    void *table = DIGetTable(name.c_str(), folder, selector, nullptr, 0);
    answers.tables.push_back(table != nullptr ? TableBytes(table) : Bytes{});
    DIFreeTable(table);
  }
  return answers;
}

using ConcurrencyTest = FileTest;

TEST_F(ConcurrencyTest, ThreadsGetTheAnswersOfASingleThread) {
  Write("sample.dat", writer::Finish(SampleFile()));
  Write("unusable.dat", writer::Finish(FileWithStatus(5, 2)));
  const std::vector<std::string> names = {"sample.dat", "unusable.dat", "missing.dat"};
  std::vector<Answers> alone;
  for (const std::string &name : names) alone.push_back(Ask(name, Folder()));
  ASSERT_EQ(alone[0].formatType, SampleFormatType);
  ASSERT_EQ(alone[0].categoryV, SampleCategoryVCount);
  for (std::int32_t s = 0; s < SampleTableCount; ++s) ASSERT_FALSE(alone[0].tables[std::size_t(s)].empty());
  ASSERT_EQ(alone[1].mainInfo, ErrFileUnusable);
  ASSERT_EQ(alone[2].formatType, ErrOpenFile);

  std::atomic<int> mismatches{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      // Start together, each thread on a different file first.
      ++ready;
      while (ready.load() < Threads) std::this_thread::yield();
      for (int round = 0; round < Rounds; ++round) {
        const std::size_t which = std::size_t(t + round) % names.size();
        if (!(Ask(names[which], Folder()) == alone[which])) ++mismatches;
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace dinfo::test
