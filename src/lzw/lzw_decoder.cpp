// The decoder record and its small operations: its owner, the
// code width, string expansion on the decode stack, and the output buffer.
#include <cstddef>
#include <utility>

#include "lzw/lzw_decoder.h"

#include "common/block.h"
#include "common/bytes.h"

namespace dinfo {
namespace {

// Literal codes copy from the decoder's own table of byte values, whose
// places are one byte apart (the fast loop takes one off a literal's
// length); 256 holds the place after 255's. 257 holds a place above any
// buffer: the lengths of 256 and 257 then come out above any short
// string's, and the fast loop looks at them closely.
void InitLiteralStrings(LzwDecoder *decoder) {
  for (std::int32_t value = 0; value < 256; ++value) {
    const auto index = static_cast<std::size_t>(value);
    decoder->literals[index] = static_cast<std::uint8_t>(value);
    decoder->stringStart[index] = reinterpret_cast<std::uintptr_t>(&decoder->literals[index]);
  }
  decoder->stringStart[ClearCode] = reinterpret_cast<std::uintptr_t>(&decoder->literals[ClearCode]);
  decoder->stringStart[EndCode] = ~std::uintptr_t{0} - 64;
}

// The plain strings point into the old buffer; move them to the new one
// while the old one is still held.
void RebaseStrings(LzwDecoder *decoder, std::uint8_t *newStart) {
  if (decoder->plain == 0 || decoder->previousCode < 0) return;
  const std::uintptr_t shift = reinterpret_cast<std::uintptr_t>(newStart) -
                               reinterpret_cast<std::uintptr_t>(decoder->outputStart);
  for (std::int32_t code = FirstFreeCode; code <= decoder->nextCode; ++code) {
    decoder->stringStart[static_cast<std::size_t>(code)] += shift;
  }
}

// Zero-fills the record but for the decode stack and the string places,
// which are written before they are read: they are most of the record, and
// filling them was the better part of the cost of expanding a small table.
void ClearRecord(std::uint8_t *record) {
  FillBytes(record, 0, static_cast<std::int32_t>(offsetof(LzwDecoder, stack)));
  FillBytes(record + offsetof(LzwDecoder, plain), 0,
            static_cast<std::int32_t>(offsetof(LzwDecoder, stringStart) -
                                      offsetof(LzwDecoder, plain)));
  FillBytes(record + offsetof(LzwDecoder, literals), 0,
            static_cast<std::int32_t>(sizeof(LzwDecoder) - offsetof(LzwDecoder, literals)));
}

// Doubling from 1 KiB copies the whole output once more on its way, and
// leaves a buffer up to twice the output, which the expanded object would
// then have to move out of. Once the output has passed SizeFrom bytes, the
// buffer grows instead to the size of the whole expansion: measured
// exactly where the output is many times its input (long runs, where the
// copies cost more than the measuring pass), otherwise expected from the
// share of the input read so far, with a small margin. If the output grows
// past that, doubling goes on from there. Once per call.
constexpr std::int64_t SizeFrom = 16 * 1024;
constexpr std::int64_t MeasureAtExpansion = 16;

std::int64_t ExpectedOutput(std::int64_t capacity, LzwDecoder *decoder) {
  const std::int64_t consumed = decoder->input - decoder->inputBegin;
  const std::int64_t whole = decoder->input + decoder->inputLeft - decoder->inputBegin;
  if (capacity >= MeasureAtExpansion * consumed) {
    return MeasureLzwOutput(decoder->inputBegin, static_cast<std::int32_t>(whole), decoder);
  }
  return whole * capacity / consumed * 17 / 16;
}

// The output never passes 2^30 bytes: a full buffer of that size cannot
// grow, and no growth goes beyond it.
std::int64_t CapacityToGrowTo(std::int64_t capacity, LzwDecoder *decoder) {
  std::int64_t wanted = 2 * capacity;
  if (decoder->measureOutput != 0 && capacity >= SizeFrom) {
    decoder->measureOutput = 0;
    const std::int64_t expected = ExpectedOutput(capacity, decoder);
    if (expected > capacity) wanted = expected;
  }
  return wanted < MaxOutputCapacity + 1 ? wanted : MaxOutputCapacity + 1;
}

}  // namespace

OwnedLzwDecoder::OwnedLzwDecoder()
    : record_(AllocateBlockToOverwrite(sizeof(LzwDecoder))),
      output_(AllocateBlock(OutputHeaderRoom + InitialOutputSize)) {
  if (record_.empty() || output_.empty()) {
    record_ = {};
    output_ = {};
    return;
  }
  Start(output_.get().subspan(OutputHeaderRoom), &output_);
}

OwnedLzwDecoder::OwnedLzwDecoder(Block output) : record_(AllocateBlockToOverwrite(sizeof(LzwDecoder))) {
  if (!record_.empty()) Start(output, nullptr);
}

void OwnedLzwDecoder::Start(Block output, OwnedBlock *outputBlock) {
  ClearRecord(record_.get().data());
  // A zero-filled record is valid: every field is a plain value.
  decoder_ = reinterpret_cast<LzwDecoder *>(record_.get().data());
  decoder_->outputBlock = outputBlock;
  decoder_->outputStart = output.data();
  decoder_->outputPos = decoder_->outputStart;
  decoder_->outputEnd = decoder_->outputStart + output.size();
  SetCodeWidth(MinCodeWidth, decoder_);
  decoder_->nextCode = -1;
  InitLiteralStrings(decoder_);
}

OwnedBlock TakeLzwOutput(LzwDecoder *decoder) {
  if (decoder->outputStart == nullptr || decoder->outputBlock == nullptr) return {};
  OwnedBlock taken = std::move(*decoder->outputBlock);
  taken.KeepFirst(static_cast<std::size_t>(decoder->outputPos - decoder->outputStart) + OutputHeaderRoom);
  decoder->outputStart = nullptr;
  decoder->outputEnd = nullptr;
  decoder->outputPos = nullptr;
  return taken;
}

void CompleteEntries(LzwDecoder *decoder) {
  if (decoder->plain == 0) return;
  std::int32_t prefixCode = decoder->pendingPrefix;
  std::int64_t position = decoder->pendingPosition;
  const std::int32_t from = decoder->pendingFrom;
  for (std::int32_t code = from; code < decoder->nextCode; ++code) {
    const auto index = static_cast<std::size_t>(code);
    decoder->prefix[index] = static_cast<std::int16_t>(prefixCode);
    decoder->suffix[index] = *reinterpret_cast<const std::uint8_t *>(decoder->stringStart[index + 1]);
    const std::int32_t width = AssigningWidth(code);
    // A code read before: all of it is in this call's input.
    prefixCode = ReadCodeAt(decoder->inputBegin,
                            static_cast<std::uint64_t>(decoder->input + decoder->inputLeft -
                                                       decoder->inputBegin),
                            static_cast<std::uint64_t>(position), static_cast<std::uint32_t>(width));
    position += width;
  }
  if (from < decoder->nextCode) {
    decoder->pendingFrom = decoder->nextCode;
    decoder->pendingPrefix = prefixCode;
    decoder->pendingPosition = position;
  }
  if (decoder->tableWrittenTo < decoder->nextCode) decoder->tableWrittenTo = decoder->nextCode;
}

// The entries of an earlier table stay: every reader stops at nextCode. The
// code that assigns entry 258 is the next one read.
void ClearStrings(LzwDecoder *decoder) {
  decoder->pendingFrom = FirstFreeCode;
  decoder->pendingPrefix = decoder->previousCode;
  decoder->pendingPosition = (decoder->input - decoder->inputBegin) * 8 - decoder->bitCount;
  decoder->stringStart[FirstFreeCode] = reinterpret_cast<std::uintptr_t>(decoder->outputPos - 1);
}

void SetCodeWidth(std::int32_t width, LzwDecoder *decoder) {
  if (width < decoder->codeWidth) {
    const std::int32_t written = decoder->tableWrittenTo;
    FillBytes(decoder->prefix.data(), 0,
              written * static_cast<std::int32_t>(sizeof(decoder->prefix[0])));
    FillBytes(decoder->suffix.data(), 0, written);
    decoder->tableWrittenTo = 0;
  }
  decoder->codeWidth = static_cast<std::int16_t>(width);
  decoder->maxCode = static_cast<std::int16_t>((1 << width) - 1);
}

// Codes below 258 end the walk as their low 8 bits. The bound of 4095 also
// ends walks around a loop of stale entries.
std::int32_t ExpandCode(std::int32_t code, std::int32_t startIndex, LzwDecoder *decoder) {
  std::int32_t i = startIndex;
  std::int32_t c = code;
  while (c >= FirstFreeCode) {
    if (i >= StackSize - 1) return -1;
    decoder->stack[static_cast<std::size_t>(i++)] = decoder->suffix[static_cast<std::size_t>(c)];
    c = decoder->prefix[static_cast<std::size_t>(c)];
  }
  decoder->stack[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(c);
  return i;
}

Fault GrowOutput(LzwDecoder *decoder) {
  const std::int64_t capacity = decoder->outputEnd - decoder->outputStart;
  if (capacity > MaxOutputCapacity || decoder->outputBlock == nullptr) return Fault::OutputTooLarge;
  // Nothing reads a byte of the new buffer before it is written: the old
  // bytes are copied in, the rest is output, and the room in front becomes
  // a header.
  std::int64_t newCapacity = CapacityToGrowTo(capacity, decoder);
  OwnedBlock bigger = AllocateBlockToOverwrite(OutputHeaderRoom + newCapacity);
  if (bigger.empty() && newCapacity > 2 * capacity) {
    // An expected size may be above where doubling would end: without the
    // memory for it, doubling may still get there.
    newCapacity = 2 * capacity;
    bigger = AllocateBlockToOverwrite(OutputHeaderRoom + newCapacity);
  }
  if (bigger.empty()) return Fault::NoMemory;
  std::uint8_t *const start = bigger.get().data() + OutputHeaderRoom;
  CopyBytes(decoder->outputStart, start, static_cast<std::int32_t>(capacity));
  RebaseStrings(decoder, start);
  *decoder->outputBlock = std::move(bigger);  // the old buffer goes back
  decoder->outputStart = start;
  decoder->outputEnd = start + newCapacity;
  decoder->outputPos = start + capacity;
  return Fault::None;
}

Fault EmitByte(std::uint8_t byte, LzwDecoder *decoder) {
  if (decoder->outputPos == decoder->outputEnd) {
    const Fault grown = GrowOutput(decoder);
    if (grown != Fault::None) return grown;
  }
  *decoder->outputPos++ = byte;
  return Fault::None;
}

}  // namespace dinfo
