// DecodeLzw: the code-by-code decoder, which is exact for every stream,
// with the fast loop taking over the long plain stretches between; and
// ExpandLzw around it.
#include <utility>

#include "lzw/lzw.h"
#include "lzw/lzw_decoder.h"

namespace dinfo {
namespace {

// What one code leaves: go on, the stream's end, or a fault.
struct Step {
  bool done = false;
  Fault fault = Fault::None;
};
constexpr Step StepNext{};
constexpr Step StepDone{true, Fault::None};
constexpr Step Failed(Fault fault) { return Step{true, fault}; }

// The next code, or -1 when the input ends before a whole code.
std::int32_t ReadCode(LzwDecoder *decoder) {
  while (decoder->bitCount < decoder->codeWidth) {
    if (decoder->inputLeft <= 0) return -1;
    decoder->bitBuffer = decoder->bitBuffer * 256u + *decoder->input++;
    decoder->bitCount += 8;
    --decoder->inputLeft;
  }
  decoder->bitCount -= decoder->codeWidth;
  const auto code = static_cast<std::int32_t>(decoder->bitBuffer >> decoder->bitCount);
  decoder->bitBuffer &= (1u << decoder->bitCount) - 1u;
  return code;
}

// The first code after a clear code stands for its low 8 bits, whatever
// its value. Only a literal keeps the table plain.
Step StartString(std::int32_t code, LzwDecoder *decoder) {
  decoder->previousCode = static_cast<std::int16_t>(code);
  decoder->firstByte = static_cast<std::uint8_t>(code);
  decoder->plain = 0;  // nothing of the old table to keep while the buffer grows
  const Fault fault = EmitByte(decoder->firstByte, decoder);
  if (fault != Fault::None) return Failed(fault);
  decoder->plain = code < 256 ? 1 : 0;
  if (decoder->plain != 0) ClearStrings(decoder);
  return StepNext;
}

// Assigns nextCode (previous string plus this string's first byte) and
// grows the width one code early.
void AssignCode(LzwDecoder *decoder) {
  const auto next = static_cast<std::size_t>(decoder->nextCode);
  decoder->prefix[next] = decoder->previousCode;
  decoder->suffix[next] = decoder->firstByte;
  ++decoder->nextCode;
  if (decoder->tableWrittenTo < decoder->nextCode) decoder->tableWrittenTo = decoder->nextCode;
  if (decoder->nextCode >= decoder->maxCode && decoder->codeWidth < MaxCodeWidth) {
    SetCodeWidth(decoder->codeWidth + 1, decoder);
  }
}

Step DecodeString(std::int32_t code, LzwDecoder *decoder) {
  CompleteEntries(decoder);
  std::int32_t top = 0;
  if (code < decoder->nextCode) {
    top = ExpandCode(code, 0, decoder);
  } else if (code == decoder->nextCode) {
    // The code being assigned: the previous string plus its first byte.
    decoder->stack[0] = decoder->firstByte;
    top = ExpandCode(decoder->previousCode, 1, decoder);
  } else {
    return Failed(Fault::StreamDamaged);
  }
  if (top < 0) return Failed(Fault::StreamDamaged);  // longer than StackSize
  decoder->firstByte = decoder->stack[static_cast<std::size_t>(top)];
  for (std::int32_t i = top; i >= 0; --i) {
    const Fault fault = EmitByte(decoder->stack[static_cast<std::size_t>(i)], decoder);
    if (fault != Fault::None) return Failed(fault);
  }
  // A full table fails the stream even though the string went out.
  if (decoder->nextCode > CodeLimit - 1) return Failed(Fault::StreamDamaged);
  AssignCode(decoder);
  decoder->previousCode = static_cast<std::int16_t>(code);
  // Where this string starts: one byte short of the new entry's end.
  decoder->stringStart[static_cast<std::size_t>(decoder->nextCode)] =
      reinterpret_cast<std::uintptr_t>(decoder->outputPos - (top + 1));
  return StepNext;
}

// One code.
Step DecodeStep(LzwDecoder *decoder) {
  const std::int32_t code = ReadCode(decoder);
  if (code < 0 || code == EndCode) return StepDone;
  if (code == ClearCode) {
    // A clear at 9 bits leaves the entries in the table; at more bits they
    // are emptied anyway.
    if (decoder->codeWidth == MinCodeWidth) CompleteEntries(decoder);
    SetCodeWidth(MinCodeWidth, decoder);
    decoder->previousCode = -1;
    decoder->nextCode = FirstFreeCode;
    return StepNext;
  }
  if (decoder->previousCode == -1) return StartString(code, decoder);
  return DecodeString(code, decoder);
}

}  // namespace

Fault DecodeLzw(const std::uint8_t *data, std::int32_t length, LzwDecoder *decoder) {
  if (length <= 0) return Fault::StreamDamaged;
  decoder->input = data;
  decoder->inputBegin = data;
  // Only the output of this call's data is in the buffer, so measuring
  // that data gives the whole output's length.
  decoder->measureOutput = decoder->nextCode == -1 && decoder->bitCount == 0 &&
                                   decoder->outputPos == decoder->outputStart
                               ? 1
                               : 0;
  decoder->inputLeft = length;
  for (;;) {
    DecodePlainCodes(decoder);
    const Step step = DecodeStep(decoder);
    if (!step.done) continue;
    if (step.fault != Fault::None) {
      // The output no longer ends with the previous string.
      CompleteEntries(decoder);
      decoder->plain = 0;
      return step.fault;
    }
    break;
  }
  CompleteEntries(decoder);
  return Fault::None;
}

namespace {

// The decoder's buffer becomes the output, unless it is more than an
// eighth larger than the output and its room: then the output moves to a
// block of its own size.
LzwExpansion TakeOutput(LzwDecoder *decoder) {
  const std::int64_t length = decoder->outputPos - decoder->outputStart;
  const std::int64_t size = length + OutputHeaderRoom;
  const std::int64_t bufferSize = (decoder->outputEnd - decoder->outputStart) + OutputHeaderRoom;
  if (bufferSize - size <= size / 8) return {Fault::None, TakeLzwOutput(decoder)};
  OwnedBlock output = AllocateBlockToOverwrite(size);
  if (output.empty()) return {Fault::NoMemory, {}};
  CopyBytes(decoder->outputStart, output.get().data() + OutputHeaderRoom,
            static_cast<std::int32_t>(length));
  return {Fault::None, std::move(output)};
}

}  // namespace

LzwExpansion ExpandLzw(const std::uint8_t *data, std::int32_t length) {
  if (data == nullptr || length <= 0) return {Fault::StreamDamaged, {}};
  const OwnedLzwDecoder decoder;
  if (decoder.get() == nullptr) return {Fault::NoMemory, {}};
  const Fault fault = DecodeLzw(data, length, decoder.get());
  if (fault != Fault::None) return {fault, {}};
  return TakeOutput(decoder.get());
}

}  // namespace dinfo

namespace dinfo {

LzwIntoOutput ExpandLzwInto(const std::uint8_t *data, std::int32_t length, Block output) {
  if (data == nullptr || length <= 0) return {Fault::StreamDamaged, 0, 0};
  const OwnedLzwDecoder decoder(output);
  if (decoder.get() == nullptr) return {Fault::NoMemory, 0, 0};
  const Fault fault = DecodeLzw(data, length, decoder.get());
  return {fault, decoder->outputPos - decoder->outputStart, decoder->input - data};
}

std::int64_t MeasureLzwExpansion(const std::uint8_t *data, std::int32_t length) {
  // Only the lengths of the record are used, each written before it is read.
  const OwnedBlock record = AllocateBlockToOverwrite(sizeof(LzwDecoder));
  if (record.empty()) return -1;
  return MeasureLzwOutput(data, length, reinterpret_cast<LzwDecoder *>(record.get().data()));
}

}  // namespace dinfo
