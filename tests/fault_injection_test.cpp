// Every allocation and every read of every export made to fail in turn, the
// N-th for N = 0, 1, 2, ... until the call succeeds. Each failure must give
// exactly the result documented for the step in which it happened, and no
// block and no handle may be left behind. The steps are measured by running
// them one by one on the same file, so the expectations follow the frame
// (open, status check, format check, query) rather than fixed counts.
#include <vector>

#include "infofile/information_file.h"
#include "interface/frame.h"
#include "interface/status_codes.h"
#include "sample_file.h"
#include "table_support.h"
#include "test_support.h"

namespace dinfo::test {
namespace {

// The operations one step of an export takes, and the export's result when
// one of them fails.
struct Step {
  std::int64_t allocations;
  std::int64_t reads;
  std::int32_t failure;
};

class FaultInjectionTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    Write("info.dat", writer::Finish(SampleFile()));
  }

  // Runs one step and counts what it took.
  template <typename Run>
  static Step Measure(Run run, std::int32_t failure) {
    const std::int64_t allocations = seam::AllocationAttempts();
    const std::int64_t reads = seam::ReadAttempts();
    run();
    return {seam::AllocationAttempts() - allocations, seam::ReadAttempts() - reads, failure};
  }

  HANDLE Open() const {
    return OpenInformationFile(reinterpret_cast<const WideChar *>(Folder()), "info.dat");
  }

  // The open, then the steps that `query` measures on the open file. The
  // last step is whatever the whole call takes beyond the measured ones.
  template <typename Query, typename Call>
  std::vector<Step> StepsOf(Query query, Call call, std::int32_t lastFailure) {
    std::vector<Step> steps;
    HANDLE handle = nullptr;
    steps.push_back(Measure([&] { handle = Open(); }, ErrOpenFile));
    EXPECT_NE(handle, nullptr);
    {
      ExportFile file(handle);
      query(file, steps);
    }
    CloseHandle(handle);
    Step whole = Measure(call, 0);
    for (const Step &step : steps) {
      whole.allocations -= step.allocations;
      whole.reads -= step.reads;
    }
    whole.failure = lastFailure;
    steps.push_back(whole);
    return steps;
  }

  static std::int32_t Expected(const std::vector<Step> &steps, bool allocations, std::int64_t n) {
    for (const Step &step : steps) {
      const std::int64_t taken = allocations ? step.allocations : step.reads;
      if (n < taken) return step.failure;
      n -= taken;
    }
    ADD_FAILURE() << "operation " << n << " lies beyond every measured step";
    return 0;
  }

  // Fails each allocation, then each read, in turn.
  template <typename Call>
  void EveryFault(const std::vector<Step> &steps, Call call, std::int32_t success) {
    for (bool allocations : {true, false}) {
      auto inject = allocations ? &seam::FailAllocationsAfter : &seam::ShortenReadsAfter;
      std::int64_t total = 0;
      for (const Step &step : steps) total += allocations ? step.allocations : step.reads;
      const std::int64_t taken = InjectEachFailureInTurn(inject, call, [&](std::int64_t n, bool fired, std::int32_t result) {
        ExpectNothingHeld();
        EXPECT_EQ(result, fired ? Expected(steps, allocations, n) : success)
            << (allocations ? "allocation " : "read ") << n << (fired ? " failed" : " and none failed");
      });
      EXPECT_EQ(taken, total) << (allocations ? "allocations" : "reads");
    }
  }

  // The steps of the category queries: the frame, the category lookup,
  // the header of the first listed record, then the lists.
  template <typename Call>
  std::vector<Step> CategorySteps(std::int32_t recordId, std::int32_t firstId, Call call,
                                  std::int32_t listFailure) {
    return StepsOf(
        [&](ExportFile &file, std::vector<Step> &steps) {
          steps.push_back(Measure([&] { CheckFileStatus(file); }, ErrStatusLookup));
          steps.push_back(Measure([&] { GetFormatType(file); }, ErrRecordDisabled));
          ConditionVector vector;
          BuildConditionVector(1, nullptr, 0, &vector);
          steps.push_back(Measure(
              [&] {
                std::uint8_t ids[160] = {};
                std::int16_t count = 0;
                std::int16_t flag = 0;
                LookupKeyedRecord(&vector, file, MainSection, recordId, &count, &flag, Block(ids, 160));
              },
              ErrCategoryLookup));
          steps.push_back(Measure(
              [&] {
                KeyedFields header{};
                ReadKeyedHeader(&vector, file, MainSection, firstId, &header);
              },
              ErrValueList));
        },
        call, listFailure);
  }

  NamedEntry named_[16] = {};
  IntegerTriplet triplets_[16] = {};
};

TEST_F(FaultInjectionTest, FormatType) {
  auto call = [&] { return DIGetTableFormatType("info.dat", Folder()); };
  const auto steps = StepsOf([](ExportFile &, std::vector<Step> &) {}, call, ErrFormatType);
  EveryFault(steps, call, SampleFormatType);
}

TEST_F(FaultInjectionTest, MainInfo) {
  std::int16_t namedCount = 0;
  std::int16_t tripletCount = 0;
  auto call = [&] {
    const std::int16_t result = DIGetMainInfo("info.dat", Folder(), named_, triplets_, &namedCount, &tripletCount);
    if (result != 0) {
      EXPECT_EQ(tripletCount, 0);
    }
    return result;
  };
  const auto steps = StepsOf(
      [](ExportFile &file, std::vector<Step> &frame) {
        frame.push_back(Measure([&] { CheckFileStatus(file); }, ErrStatusLookup));
      },
      call, ErrMainInfo);
  EveryFault(steps, call, 0);
  EXPECT_EQ(namedCount, SampleNamedCount);
  EXPECT_EQ(tripletCount, SampleTripletCount);
}

TEST_F(FaultInjectionTest, CategoryInfoV) {
  auto call = [&] { return DIGetCategoryInfoV("info.dat", Folder(), 1, nullptr, triplets_, 0); };
  EveryFault(CategorySteps(1003, 7, call, ErrValueList), call, SampleCategoryVCount);
}

TEST_F(FaultInjectionTest, CategoryInfoS) {
  auto call = [&] { return DIGetCategoryInfoS("info.dat", Folder(), 1, nullptr, named_, 0); };
  EveryFault(CategorySteps(1004, 20, call, ErrEntryList), call, SampleCategorySCount);
}

// DIGetTable reports every failure as null; 1 stands for a table here.
// The tables are plain, compressed, and nested compressed (spliced once
// and three times), so the faults reach expansion and splicing too.
TEST_F(FaultInjectionTest, GetTable) {
  for (std::int32_t selector = 1; selector <= SampleTableCount; ++selector) {
    SCOPED_TRACE(selector);
    Bytes last;
    auto call = [&] {
      void *table = DIGetTable("info.dat", Folder(), selector, nullptr, 0);
      last = table != nullptr ? TableBytes(table) : Bytes{};
      DIFreeTable(table);
      return table != nullptr ? 1 : 0;
    };
    auto steps = StepsOf([](ExportFile &, std::vector<Step> &) {}, call, 0);
    for (Step &step : steps) step.failure = 0;
    EveryFault(steps, call, 1);
    EXPECT_EQ(last, SamplePreparedTable(selector));
  }
}

// The index of a large directory only saves time. A locator chain of 20
// links through 2,000 entries looks up enough records for the call to
// sort the directory into an index; with each of the call's allocations
// refused alone in turn, the call gives null or the table, and it gives
// the table when the refused block was one only the index would have used.
TEST_F(FaultInjectionTest, ACallWhoseDirectoryIndexIsRefusedStillAnswers) {
  writer::InfoFile file = SampleFile();
  auto &entries = writer::SectionOf(file, writer::MainSectionKey).entries;
  std::erase_if(entries, [](const writer::DirectoryEntry &entry) { return entry.recordId == 1005; });
  for (std::int32_t i = 0; i < 2000; ++i) {
    writer::AddEntry(file, writer::MainSectionKey, {writer::MainSectionKey, 300000 + i, -1});
  }
  constexpr std::int32_t Links = 20;
  for (std::int32_t i = 0; i < Links; ++i) {
    const std::int32_t id = i == 0 ? 1005 : 10000 + i;
    const std::int32_t next = i + 1 < Links ? 10001 + i : 61;  // 61 locates table 1
    writer::AddRecord(file, writer::MainSectionKey, id,
                      writer::KeyedRecord(writer::ChainTo({1}, {{{W}, next}})));
  }
  Write("chain.dat", writer::Finish(file));
  const Bytes expected = SamplePreparedTable(1);
  std::int64_t answeredDespiteARefusal = 0;
  InjectEachFailureInTurn(
      &seam::FailOneAllocationAfter, [&] { return DIGetTable("chain.dat", Folder(), 1, nullptr, 0); },
      [&](std::int64_t n, bool fired, void *table) {
        if (table != nullptr) {
          EXPECT_EQ(TableBytes(table), expected) << "allocation " << n << " refused";
          if (fired) ++answeredDespiteARefusal;
        } else {
          EXPECT_TRUE(fired) << "no allocation refused, yet no table";
        }
        DIFreeTable(table);
        ExpectNothingHeld();
      });
  EXPECT_GT(answeredDespiteARefusal, 0);
}

}  // namespace
}  // namespace dinfo::test
