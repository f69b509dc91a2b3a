// The LZW decoder through DecodeLzw and ExpandLzw: hand-made streams for
// each rule and fault, the output buffer's growth and limits, and the
// copying decoder checked against the plain reference on encoder output and
// on random and hostile code streams.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

#include <memory>
#include <random>

#include "each_failure.h"
#include "lzw_reference.h"
#include "platform/test_seam.h"
#include "lzw/lzw.h"
#include "lzw/lzw_decoder.h"
#include "writer/lzw_encoder.h"

namespace dinfo::test {
namespace {

using writer::Bytes;

struct Decoded {
  Fault fault = Fault::None;
  Bytes output;  // what the buffer holds, also after a fault
  ReferenceLzw state;  // the decoder's fields, in the reference's terms
};

// ExpandLzw must give the decoder's fault, and on success its bytes after
// the room in front, in a block of exactly that size.
void ExpectExpandedAs(const Bytes &stream, const Decoded &decoded) {
  LzwExpansion expansion = ExpandLzw(stream.data(), static_cast<std::int32_t>(stream.size()));
  EXPECT_EQ(expansion.fault, decoded.fault);
  if (expansion.fault == Fault::None) {
    ASSERT_EQ(expansion.output.get().size(), decoded.output.size() + OutputHeaderRoom);
    EXPECT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(),
                           expansion.output.get().begin() + OutputHeaderRoom));
  } else {
    EXPECT_TRUE(expansion.output.empty());
  }
}

// Decodes with a fresh decoder and gives everything back.
Decoded Decode(const Bytes &stream) {
  const std::int64_t blocksBefore = seam::LiveBlocks();
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  EXPECT_NE(decoder, nullptr);
  Decoded decoded;
  decoded.fault = DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder);
  decoded.output.assign(decoder->outputStart, decoder->outputPos);
  ReferenceLzw &state = decoded.state;
  state.width = decoder->codeWidth;
  state.nextCode = decoder->nextCode;
  state.previousCode = decoder->previousCode;
  state.firstByte = decoder->firstByte;
  state.bitBuffer = decoder->bitBuffer;
  state.bitCount = decoder->bitCount;
  for (std::size_t code = 0; code < 4096; ++code) {
    state.prefix[code] = code < 258 ? 0 : decoder->prefix[code];
    state.suffix[code] = code < 258 ? 0 : decoder->suffix[code];
  }
  EXPECT_EQ(decoder->maxCode, (1 << decoder->codeWidth) - 1);
  owner.reset();
  if (!stream.empty()) ExpectExpandedAs(stream, decoded);
  EXPECT_EQ(seam::LiveBlocks(), blocksBefore);
  return decoded;
}

// The length the measuring pass gives the output buffer, or -1.
std::int64_t Measure(const Bytes &stream) {
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  const std::int64_t measured =
      MeasureLzwOutput(stream.data(), static_cast<std::int32_t>(stream.size()), decoder);
  owner.reset();
  return measured;
}

// The library's fault and bytes must equal the reference's. Wherever the
// measuring pass gives a length, decoding succeeds with that many bytes.
void ExpectAsReference(const Bytes &stream, const char *what) {
  ReferenceLzw reference;
  const Fault expected = reference.Decode(stream);
  const Decoded decoded = Decode(stream);
  ASSERT_EQ(decoded.fault, expected) << what;
  const std::int64_t measured = Measure(stream);
  if (measured >= 0) {
    ASSERT_EQ(expected, Fault::None) << what;
    ASSERT_EQ(measured, std::int64_t(reference.output.size())) << what;
  }
  ASSERT_EQ(decoded.output, reference.output) << what;
  // The table and the reader stand exactly where the reference's do.
  const ReferenceLzw &state = decoded.state;
  EXPECT_EQ(state.width, reference.width) << what;
  EXPECT_EQ(state.nextCode, reference.nextCode) << what;
  EXPECT_EQ(state.previousCode, reference.previousCode) << what;
  EXPECT_EQ(state.firstByte, reference.firstByte) << what;
  EXPECT_EQ(state.bitBuffer, reference.bitBuffer) << what;
  EXPECT_EQ(state.bitCount, reference.bitCount) << what;
  for (std::size_t code = 258; code < 4096; ++code) {
    ASSERT_EQ(state.prefix[code], reference.prefix[code]) << what << " prefix " << code;
    ASSERT_EQ(state.suffix[code], reference.suffix[code]) << what << " suffix " << code;
  }
}

Bytes Literals(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST(LzwDecoderTest, WorkedExamples) {
  EXPECT_EQ(Decode({0x80, 0x10, 0x48, 0x50, 0x10}).output, (Bytes{0x41, 0x42}));
  // 258 is the code being assigned: the previous string plus its first byte.
  const Decoded repeated = Decode({0x80, 0x10, 0x60, 0x50, 0x10});
  EXPECT_EQ(repeated.fault, Fault::None);
  EXPECT_EQ(repeated.output, (Bytes{0x41, 0x41, 0x41}));
}

TEST(LzwDecoderTest, AStreamMustOpenWithAClearCode) {
  const Decoded decoded = Decode(PackCodes({65, 66, EndCode}));
  EXPECT_EQ(decoded.fault, Fault::StreamDamaged);
  EXPECT_TRUE(decoded.output.empty());
  const Decoded ended = Decode(PackCodes({EndCode}));  // nothing to refuse yet
  EXPECT_EQ(ended.fault, Fault::None);
  EXPECT_TRUE(ended.output.empty());
}

TEST(LzwDecoderTest, ClearThenEndIsEmpty) {
  for (const Bytes &stream : {PackCodes({ClearCode, EndCode}), PackCodes({ClearCode, ClearCode, EndCode})}) {
    const Decoded decoded = Decode(stream);
    EXPECT_EQ(decoded.fault, Fault::None);
    EXPECT_TRUE(decoded.output.empty());
  }
}

TEST(LzwDecoderTest, AStreamMayStopWithoutEndCode) {
  // Clear, 'A', 'B' are 27 bits: four bytes leave 5 bits, not a code.
  const Bytes stream = PackCodes({ClearCode, 65, 66});
  ASSERT_EQ(stream.size(), 4u);
  EXPECT_EQ(Decode(stream).output, (Bytes{0x41, 0x42}));
  // A code cut short by the end of the input is ignored.
  Bytes cut = PackCodes({ClearCode, 65, 66, 258, 259});
  cut.pop_back();
  EXPECT_EQ(Decode(cut).output, (Bytes{0x41, 0x42, 0x41, 0x42}));
}

TEST(LzwDecoderTest, DataAfterEndCodeIsIgnored) {
  const Bytes stream = PackCodes({ClearCode, 65, EndCode, 66, 67});
  EXPECT_EQ(Decode(stream).output, (Bytes{0x41}));
}

// 254 data codes at 9 bits (the first assigns nothing, then 258..510), and
// the 255th at 10: the width grows one code before 512.
TEST(LzwDecoderTest, WidthGrowsAfter254CodesOfNineBits) {
  CodePacker packer;
  packer.Put(ClearCode, 9);
  const Bytes plain = Literals(254, 3);
  for (std::uint8_t byte : plain) packer.Put(byte, 9);
  packer.Put(0x5A, 10);
  packer.Put(EndCode, 10);
  Bytes expected = plain;
  expected.push_back(0x5A);
  EXPECT_EQ(Decode(packer.Finish()).output, expected);

  // Read with 9 bits, the same code would be something else entirely.
  CodePacker late;
  late.Put(ClearCode, 9);
  for (std::uint8_t byte : plain) late.Put(byte, 9);
  late.Put(0x5A, 9);
  late.Put(EndCode, 9);
  EXPECT_NE(Decode(late.Finish()).output, expected);
}

// Codes that fill the table from 258 up: the first after a clear assigns
// nothing, each further one assigns the next code.
std::vector<int> FillTable(int dataCodes) {
  std::vector<int> codes{ClearCode};
  for (int i = 0; i < dataCodes; ++i) codes.push_back(i % 256);
  return codes;
}

TEST(LzwDecoderTest, AClearAtTwelveBitsEmptiesTheTable) {
  std::vector<int> codes = FillTable(2100);  // past 2046: 12 bits
  codes.insert(codes.end(), {ClearCode, 300, 258, EndCode});
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  const Bytes stream = PackCodes(codes);
  ASSERT_EQ(DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder),
            Fault::None);
  // 300 right after the clear is emitted as its low byte 0x2C; 258 is then
  // 300's string (an emptied entry: 00 00) plus the first byte 0x2C.
  const std::uint8_t *const start = decoder->outputStart;
  ASSERT_EQ(decoder->outputPos - start, 2100 + 4);
  EXPECT_EQ(Bytes(start + 2100, start + 2104), (Bytes{0x2C, 0x00, 0x00, 0x2C}));
  EXPECT_EQ(decoder->codeWidth, 9);
  EXPECT_EQ(decoder->prefix[259], 0);
  EXPECT_EQ(decoder->suffix[259], 0);
  owner.reset();
  ExpectAsReference(stream, "clear at 12 bits");
}

TEST(LzwDecoderTest, AClearAtNineBitsKeepsStaleEntries) {
  // 258 = 'AB' from the first run; after the clear 258 is reached through
  // the anomalous first code 258 (emitted as 0x02).
  const Bytes stream = PackCodes({ClearCode, 65, 66, ClearCode, 258, 258, EndCode});
  EXPECT_EQ(Decode(stream).output, (Bytes{0x41, 0x42, 0x02, 0x41, 0x42, 0x02}));
  ExpectAsReference(stream, "stale entries");
}

TEST(LzwDecoderTest, AFullTableAcceptsOnlyClearOrEnd) {
  // 3839 data codes assign 258..4095: nextCode is then 4096.
  std::vector<int> full = FillTable(3839);
  std::vector<int> thenClear = full;
  thenClear.insert(thenClear.end(), {ClearCode, 66, EndCode});
  const Decoded cleared = Decode(PackCodes(thenClear));
  EXPECT_EQ(cleared.fault, Fault::None);
  EXPECT_EQ(cleared.output.size(), 3839u + 1u);
  EXPECT_EQ(cleared.output.back(), 66);

  std::vector<int> thenEnd = full;
  thenEnd.push_back(EndCode);
  const Decoded ended = Decode(PackCodes(thenEnd));
  EXPECT_EQ(ended.fault, Fault::None);
  EXPECT_EQ(ended.output.size(), 3839u);

  std::vector<int> thenData = full;
  thenData.insert(thenData.end(), {300, EndCode});
  const Decoded refused = Decode(PackCodes(thenData));
  EXPECT_EQ(refused.fault, Fault::StreamDamaged);
  // The refused code's string was written before the table was found full.
  EXPECT_EQ(refused.output.size(), 3839u + 2u);
  ExpectAsReference(PackCodes(thenData), "full table");
}

TEST(LzwDecoderTest, ACodeAboveNextCodeIsRefused) {
  const Decoded first = Decode(PackCodes({ClearCode, 65, 259}));
  EXPECT_EQ(first.fault, Fault::StreamDamaged);
  EXPECT_EQ(first.output, (Bytes{0x41}));
  const Decoded second = Decode(PackCodes({ClearCode, 65, 66, 260}));
  EXPECT_EQ(second.fault, Fault::StreamDamaged);
  EXPECT_EQ(second.output, (Bytes{0x41, 0x42}));
}

// The entries of the first table stay behind the clear; a code above
// nextCode must be refused even where such an entry has a short string,
// also with plenty of input left after it.
TEST(LzwDecoderTest, AStaleEntryAboveNextCodeIsRefused) {
  std::vector<int> codes{ClearCode};
  for (int i = 0; i < 200; ++i) codes.push_back(65 + i % 3);
  codes.push_back(ClearCode);
  for (int i = 0; i < 20; ++i) codes.push_back(70 + i % 5);
  codes.push_back(300);
  for (int i = 0; i < 40; ++i) codes.push_back(80);
  const Bytes stream = PackCodes(codes);
  const Decoded decoded = Decode(stream);
  EXPECT_EQ(decoded.fault, Fault::StreamDamaged);
  EXPECT_EQ(decoded.output.size(), 220u);
  ExpectAsReference(stream, "stale entry above nextCode");
}

TEST(LzwDecoderTest, FirstCodeAfterAClearIsItsLowByte) {
  EXPECT_EQ(Decode(PackCodes({ClearCode, 0x1FF, EndCode})).output, (Bytes{0xFF}));
  EXPECT_EQ(Decode(PackCodes({ClearCode, 0x141, 0x42, EndCode})).output, (Bytes{0x41, 0x42}));
}

// 258 made to be its own prefix: its string never ends.
TEST(LzwDecoderTest, AStringLongerThan4096BytesIsRefused) {
  const Decoded decoded = Decode(PackCodes({ClearCode, 258, 258, 258, EndCode}));
  EXPECT_EQ(decoded.fault, Fault::StreamDamaged);
  EXPECT_EQ(decoded.output, (Bytes{0x02, 0x00, 0x00, 0x02}));
}

TEST(LzwDecoderTest, AnEmptyStreamIsRefused) {
  const std::int64_t blocksBefore = seam::LiveBlocks();
  const Bytes stream = PackCodes({ClearCode, 65, EndCode});
  for (const LzwExpansion &expansion : {ExpandLzw(stream.data(), 0), ExpandLzw(nullptr, 5)}) {
    EXPECT_EQ(expansion.fault, Fault::StreamDamaged);
    EXPECT_TRUE(expansion.output.empty());
  }
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  EXPECT_EQ(DecodeLzw(stream.data(), 0, decoder), Fault::StreamDamaged);
  owner.reset();
  EXPECT_EQ(seam::LiveBlocks(), blocksBefore);
}

// A failed decode leaves the decoder with the failed stream's state; a
// second call goes on from there exactly as the reference does.
TEST(LzwDecoderTest, ADecoderGoesOnAfterAFailure) {
  const Bytes text = writer::LzwEncode(Literals(20000, 5));
  // Cut the stream where ones appended make a code above nextCode.
  std::size_t cut = 3000;
  Bytes first;
  for (;; ++cut) {
    first.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(cut));
    first.insert(first.end(), {0xFF, 0xFF});
    if (ReferenceLzw().Decode(first) != Fault::None) break;
  }
  const Bytes second(text.begin() + static_cast<std::ptrdiff_t>(cut), text.end());
  ReferenceLzw reference;
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  for (const Bytes *part : std::array<const Bytes *, 2>{&first, &second}) {
    const Fault expected = reference.Decode(*part);
    EXPECT_EQ(DecodeLzw(part->data(), static_cast<std::int32_t>(part->size()), decoder),
              expected);
    EXPECT_EQ(Bytes(decoder->outputStart, decoder->outputPos), reference.output);
  }
  owner.reset();
}

// The output buffer starts at 1024 bytes; the 1025th byte needs a second
// block, whether it is a string's or the first after a clear. Through
// ExpandLzw, the decoder's and the output's allocations fail too.
TEST(LzwDecoderTest, AFailedGrowthIsNoMemory) {
  std::vector<int> literals = FillTable(1024);
  std::vector<int> asString = literals;
  asString.insert(asString.end(), {65, EndCode});
  std::vector<int> asFirstByte = literals;
  asFirstByte.insert(asFirstByte.end(), {ClearCode, 65, EndCode});
  for (const std::vector<int> &codes : {asString, asFirstByte}) {
    const Bytes stream = PackCodes(codes);
    auto owner = std::make_unique<OwnedLzwDecoder>();
    LzwDecoder *decoder = owner->get();
    seam::FailAllocationsAfter(0);
    const Fault fault = DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder);
    seam::FailAllocationsAfter(-1);
    EXPECT_EQ(fault, Fault::NoMemory);
    EXPECT_EQ(decoder->outputPos, decoder->outputEnd);
    owner.reset();
    const std::int64_t blocksBefore = seam::LiveBlocks();
    for (std::int64_t successes : {0, 1, 2}) {
      seam::FailAllocationsAfter(successes);
      LzwExpansion expansion = ExpandLzw(stream.data(), static_cast<std::int32_t>(stream.size()));
      seam::FailAllocationsAfter(-1);
      EXPECT_EQ(expansion.fault, Fault::NoMemory) << successes;
      EXPECT_TRUE(expansion.output.empty());
      EXPECT_EQ(seam::LiveBlocks(), blocksBefore);
    }
  }
}

// Random bytes double the buffer step by step; long runs make it grow once
// to its final size after the first steps.
void ExpectGrowthFailuresReported(const Bytes &plain) {
  const Bytes stream = writer::LzwEncode(plain);
  const std::int64_t blocksBefore = seam::LiveBlocks();
  struct Run {
    std::unique_ptr<OwnedLzwDecoder> owner = std::make_unique<OwnedLzwDecoder>();
    Fault fault = Fault::NoMemory;  // also when the decoder itself cannot be had
  };
  InjectEachFailureInTurn(
      &seam::FailAllocationsAfter,
      [&] {
        Run run;
        if (run.owner->get() != nullptr) {
          run.fault = DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), run.owner->get());
        }
        return run;
      },
      [&](std::int64_t n, bool fired, Run &run) {
        EXPECT_EQ(run.fault, fired ? Fault::NoMemory : Fault::None) << n;
        if (!fired) {
          EXPECT_EQ(Bytes((*run.owner)->outputStart, (*run.owner)->outputPos), plain);
        }
        run.owner.reset();
        EXPECT_EQ(seam::LiveBlocks(), blocksBefore);
      });
}

TEST(LzwDecoderTest, GrowthFailureAtEveryDoubling) {
  ExpectGrowthFailuresReported(Literals(300000, 9));
  ExpectGrowthFailuresReported(Bytes(300000, 0x5A));
}

// After the first steps the buffer grows to the size the whole output is
// measured (exactly) or expected (within an eighth) to need; if the output
// passes it (a start of random bytes followed by a long run), doubling
// goes on.
TEST(LzwDecoderTest, TheBufferGrowsToTheSizeOfTheWholeOutput) {
  Bytes randomThenRuns = Literals(40000, 4);
  randomThenRuns.resize(2000000, 0x33);
  for (const auto &[plain, growths, slack] :
       {std::tuple{Bytes(300000, 0x5A), 5, 0}, std::tuple{Literals(300000, 8), 5, 300000 / 8},
        std::tuple{randomThenRuns, 11, 2000000}}) {
    const Bytes stream = writer::LzwEncode(plain);
    auto owner = std::make_unique<OwnedLzwDecoder>();
    LzwDecoder *decoder = owner->get();
    const std::int64_t attemptsBefore = seam::AllocationAttempts();
    ASSERT_EQ(DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder),
              Fault::None);
    ASSERT_EQ(decoder->outputPos - decoder->outputStart, std::int64_t(plain.size()));
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), decoder->outputStart));
    EXPECT_EQ(seam::AllocationAttempts() - attemptsBefore, growths);
    EXPECT_GE(decoder->outputEnd - decoder->outputStart, std::int64_t(plain.size()));
    EXPECT_LE(decoder->outputEnd - decoder->outputStart, std::int64_t(plain.size()) + slack);
    owner.reset();
  }
}

// 1,000,000 random bytes are expected to need a little more, above 1 MiB
// where doubling ends: without memory for the expected size the expansion
// doubles there and succeeds.
TEST(LzwDecoderTest, WithoutMemoryForTheExpectedSizeTheBufferDoubles) {
  const Bytes plain = Literals(1000000, 6);
  const Bytes stream = writer::LzwEncode(plain);
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  seam::FailAllocationsLargerThan(OutputHeaderRoom + (1 << 20));
  const Fault fault = DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder);
  const bool refused = seam::InjectedFailureFired();
  seam::FailAllocationsLargerThan(-1);
  EXPECT_TRUE(refused);
  ASSERT_EQ(fault, Fault::None);
  ASSERT_EQ(decoder->outputPos - decoder->outputStart, std::int64_t(plain.size()));
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), decoder->outputStart));
  EXPECT_EQ(decoder->outputEnd - decoder->outputStart, 1 << 20);
  owner.reset();
}

TEST(LzwDecoderTest, EmitByteDoublesTheBuffer) {
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  for (int i = 0; i < 1025; ++i) {
    ASSERT_EQ(EmitByte(static_cast<std::uint8_t>(i), decoder), Fault::None);
  }
  EXPECT_EQ(decoder->outputEnd - decoder->outputStart, 2048);
  EXPECT_EQ(decoder->outputPos - decoder->outputStart, 1025);
  for (int i = 0; i < 1025; ++i) ASSERT_EQ(decoder->outputStart[i], static_cast<std::uint8_t>(i));
  owner.reset();
}

// The taken buffer is the caller's: the room in front, then the output;
// the decoder no longer holds it, and the buffer grows as before.
TEST(LzwDecoderTest, TheOutputCanBeTakenOver) {
  const Bytes plain = Literals(5000, 3);
  const Bytes stream = writer::LzwEncode(plain);
  const std::int64_t blocksBefore = seam::LiveBlocks();
  auto owner = std::make_unique<OwnedLzwDecoder>();
  LzwDecoder *decoder = owner->get();
  ASSERT_EQ(DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder),
            Fault::None);
  const std::uint8_t *const start = decoder->outputStart;
  EXPECT_EQ(decoder->outputEnd - decoder->outputStart, 8192);
  OwnedBlock taken = TakeLzwOutput(decoder);
  ASSERT_EQ(taken.get().size(), 5000u + OutputHeaderRoom);
  EXPECT_EQ(taken.get().data() + OutputHeaderRoom, start);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), taken.get().begin() + OutputHeaderRoom));
  EXPECT_TRUE(TakeLzwOutput(decoder).empty());
  owner.reset();
  EXPECT_EQ(seam::LiveBlocks(), blocksBefore + 1);
  taken = {};
  EXPECT_EQ(seam::LiveBlocks(), blocksBefore);
}

#if !defined(_WIN32)
// The 2^30 limit without a gigabyte of real memory: the buffer's bounds are
// pointed into a reservation whose pages are only touched at the end.
class OutputLimitTest : public ::testing::Test {
 protected:
  static constexpr std::size_t Gigabyte = std::size_t{1} << 30;
  void SetUp() override {
    reservation_ = mmap(nullptr, Gigabyte, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(reservation_, MAP_FAILED);
    owner_ = std::make_unique<OwnedLzwDecoder>();
    decoder_ = owner_->get();
    saved_ = {decoder_->outputStart, decoder_->outputEnd, decoder_->outputPos};
    auto *start = static_cast<std::uint8_t *>(reservation_);
    decoder_->outputStart = start;
    decoder_->outputEnd = start + Gigabyte;
  }
  void TearDown() override {
    decoder_->outputStart = saved_[0];
    decoder_->outputEnd = saved_[1];
    decoder_->outputPos = saved_[2];
    owner_.reset();
    munmap(reservation_, Gigabyte);
  }
  void LeaveRoom(std::size_t bytes) { decoder_->outputPos = decoder_->outputEnd - bytes; }
  Fault Decode(const Bytes &stream) {
    return DecodeLzw(stream.data(), static_cast<std::int32_t>(stream.size()), decoder_);
  }

  void *reservation_ = nullptr;
  std::unique_ptr<OwnedLzwDecoder> owner_;
  LzwDecoder *decoder_ = nullptr;
  std::array<std::uint8_t *, 3> saved_{};
};

TEST_F(OutputLimitTest, EmitByteStopsAtTheLimit) {
  LeaveRoom(1);
  EXPECT_EQ(EmitByte(7, decoder_), Fault::None);
  EXPECT_EQ(decoder_->outputEnd[-1], 7);
  EXPECT_EQ(EmitByte(8, decoder_), Fault::OutputTooLarge);
}

TEST_F(OutputLimitTest, AStringPastTheLimitFailsAtItsByte) {
  // 'A', 'B', then 258 = "AB": only its first byte fits.
  LeaveRoom(3);
  EXPECT_EQ(Decode(PackCodes({ClearCode, 65, 66, 258, EndCode})), Fault::OutputTooLarge);
  EXPECT_EQ(decoder_->outputPos, decoder_->outputEnd);
  EXPECT_EQ(decoder_->outputEnd[-1], 0x41);
}

TEST_F(OutputLimitTest, AFirstBytePastTheLimitFails) {
  LeaveRoom(1);
  EXPECT_EQ(Decode(PackCodes({ClearCode, 65, ClearCode, 66, EndCode})), Fault::OutputTooLarge);
  EXPECT_EQ(decoder_->outputEnd[-1], 0x41);
}

TEST_F(OutputLimitTest, TheFastLoopLeavesTheLastStringsToTheLimit) {
  const Bytes plain = Literals(100000, 11);
  LeaveRoom(50000);
  EXPECT_EQ(Decode(writer::LzwEncode(plain)), Fault::OutputTooLarge);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 50000, decoder_->outputEnd - 50000));
}
#endif  // !_WIN32

std::vector<Bytes> VariedData() {
  std::mt19937 random(21);
  std::vector<Bytes> data;
  data.push_back({});
  data.push_back({0x7F});
  data.push_back(Bytes(100000, 0xAA));               // one long run
  data.push_back(Literals(1 << 20, 17));             // random
  Bytes text;
  const char *words[] = {"table ", "object ", "scanner ", "the ", "of ", "light\n", "a "};
  while (text.size() < (3u << 20)) {
    for (char c : std::string(words[random() % 7])) text.push_back(static_cast<std::uint8_t>(c));
  }
  data.push_back(text);
  Bytes runs;
  while (runs.size() < (2u << 20)) runs.insert(runs.end(), random() % 3000, static_cast<std::uint8_t>(random()));
  data.push_back(runs);
  Bytes ramp(1 << 20);
  for (std::size_t i = 0; i < ramp.size(); ++i) {
    ramp[i] = static_cast<std::uint8_t>((i % 4096) / 16 + random() % 3);
  }
  data.push_back(ramp);
  // Noise broken by repeats within a table: the decoder's look for four
  // literals at a time is turned on and given up again and again.
  Bytes mixed;
  while (mixed.size() < (1u << 20)) {
    const std::size_t stretch = 100 + random() % 2000;
    if (random() % 2 == 0) {
      for (std::size_t i = 0; i < stretch; ++i) mixed.push_back(static_cast<std::uint8_t>(random()));
    } else {
      for (std::size_t i = 0; i < stretch; ++i) mixed.push_back(static_cast<std::uint8_t>(i % 7));
    }
  }
  data.push_back(mixed);
  return data;
}

TEST(LzwDecoderTest, TheEncoderRoundTripsVariedData) {
  for (const Bytes &plain : VariedData()) {
    const Bytes stream = writer::LzwEncode(plain);
    const Decoded decoded = Decode(stream);
    ASSERT_EQ(decoded.fault, Fault::None);
    ASSERT_EQ(decoded.output, plain) << plain.size();
    EXPECT_EQ(Measure(stream), static_cast<std::int64_t>(plain.size()));
    ExpectAsReference(stream, "encoder output");
  }
}

// Random code streams that the decoder mostly accepts: literals, known
// codes, the code being assigned, anomalous first codes, clears at every
// width, and now and then a refused code or a full table.
Bytes HostileStream(std::mt19937 &random) {
  CodePacker packer;
  WidthSchedule schedule;
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  const double clearRate = std::uniform_real_distribution<double>(0.0002, 0.02)(random);
  const double oddFirstRate = chance(random) < 0.5 ? 0.0 : chance(random) * 0.3;
  const double refusedRate = chance(random) < 0.5 ? 0.0 : 0.0005;
  const int length = static_cast<int>(random() % 20000);
  packer.Put(ClearCode, 9);
  schedule.Clear();
  for (int i = 0; i < length; ++i) {
    const double roll = chance(random);
    int code = 0;
    if (roll < clearRate || (schedule.nextCode > 4095 && roll < 0.9)) {
      code = ClearCode;
    } else if (schedule.first) {
      code = chance(random) < oddFirstRate ? 258 + static_cast<int>(random() % 254)
                                  : static_cast<int>(random() % 256);
    } else if (roll < 0.35) {
      code = static_cast<int>(random() % 256);
    } else if (roll < 0.85 && schedule.nextCode > 258) {
      code = 258 + static_cast<int>(random() % static_cast<std::uint32_t>(schedule.nextCode - 258));
    } else if (roll < 1.0 - refusedRate) {
      code = schedule.nextCode;
    } else {
      code = static_cast<int>(random() % (1u << schedule.width));
    }
    if (code >= (1 << schedule.width)) code = static_cast<int>(random() % 256);
    packer.Put(code, schedule.width);
    if (code == ClearCode) {
      schedule.Clear();
    } else if (code != EndCode) {
      schedule.Data();
    }
  }
  if (chance(random) < 0.5) packer.Put(EndCode, schedule.width);
  return packer.Finish();
}

TEST(LzwDecoderTest, MatchesTheReferenceOnHostileStreams) {
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    ExpectAsReference(HostileStream(random), "hostile");
  }
  for (int round = 0; round < 200; ++round) {
    Bytes noise = Literals(random() % 4000, static_cast<std::uint32_t>(round));
    if (!noise.empty()) noise[0] = 0x80;  // open with a clear code
    if (noise.size() > 1) noise[1] &= 0x7F;
    ExpectAsReference(noise, "noise");
  }
}

// Streams the measuring pass cannot size: it leaves them to doubling.
TEST(LzwDecoderTest, MeasuringGivesUpOnTablesThatAreNotPlain) {
  EXPECT_EQ(Measure(PackCodes({ClearCode, 65, 258, 259, 66, 260, EndCode})), 11);
  EXPECT_EQ(Measure(PackCodes({ClearCode, 300, 65, EndCode})), -1);  // not a literal first
  EXPECT_EQ(Measure(PackCodes({65, EndCode})), -1);                   // refused
  EXPECT_EQ(Measure(PackCodes({ClearCode, 65, 259, EndCode})), -1);   // above nextCode
}

}  // namespace
}  // namespace dinfo::test
