// DecodeLzw: the code-by-code decoder, which is exact for every stream,
// with the fast loop taking over the long plain stretches between.
#include "tableobj/lzw_decoder.h"
#include "tableobj/table_object.h"

namespace dinfo {
namespace {

constexpr std::int32_t StepNext = 0;
constexpr std::int32_t StepDone = 1;

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
std::int32_t StartString(std::int32_t code, LzwDecoder *decoder) {
  decoder->previousCode = static_cast<std::int16_t>(code);
  decoder->firstByte = static_cast<std::uint8_t>(code);
  decoder->plain = 0;  // nothing of the old table to keep while the buffer grows
  const std::int32_t failure = EmitByte(decoder->firstByte, decoder);
  if (failure != 0) return PackLzwResult(failure, SiteFirstByte);
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

std::int32_t DecodeString(std::int32_t code, LzwDecoder *decoder) {
  CompleteEntries(decoder);
  std::int32_t top = 0;
  if (code < decoder->nextCode) {
    top = ExpandCode(code, 0, decoder);
  } else if (code == decoder->nextCode) {
    // The code being assigned: the previous string plus its first byte.
    decoder->stack[0] = decoder->firstByte;
    top = ExpandCode(decoder->previousCode, 1, decoder);
  } else {
    return PackLzwResult(StatusBadData, SiteCodeRange);
  }
  if (top < 0) return PackLzwResult(StatusBadData, SiteStringLength);
  decoder->firstByte = decoder->stack[static_cast<std::size_t>(top)];
  for (std::int32_t i = top; i >= 0; --i) {
    const std::int32_t failure = EmitByte(decoder->stack[static_cast<std::size_t>(i)], decoder);
    if (failure != 0) return PackLzwResult(failure, SiteString);
  }
  // A full table fails the stream even though the string went out.
  if (decoder->nextCode > CodeLimit - 1) return PackLzwResult(StatusBadData, SiteTableFull);
  AssignCode(decoder);
  decoder->previousCode = static_cast<std::int16_t>(code);
  // Where this string starts: one byte short of the new entry's end.
  decoder->stringStart[static_cast<std::size_t>(decoder->nextCode)] =
      reinterpret_cast<std::uintptr_t>(decoder->outputPos - (top + 1));
  return StepNext;
}

// One code: StepNext, StepDone, or a packed failure.
std::int32_t DecodeStep(LzwDecoder *decoder) {
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

std::int32_t DecodeLzw(const std::uint8_t *data, std::int32_t length,
                       std::uint8_t **outputStartOut, LzwDecoder *decoder) {
  if (length <= 0 || outputStartOut == nullptr) {
    return PackLzwResult(StatusBadArgument, SiteArguments);
  }
  if (decoder == nullptr) return PackLzwResult(StatusBadArgument, SiteNoDecoder);
  if (decoder->stateTag != DecoderReady) return PackLzwResult(StatusBadState, SiteState);
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
    const std::int32_t step = DecodeStep(decoder);
    if (step == StepDone) break;
    if (step != StepNext) {
      // The output no longer ends with the previous string.
      CompleteEntries(decoder);
      decoder->plain = 0;
      return step;
    }
  }
  CompleteEntries(decoder);
  decoder->stateTag = DecoderFinished;
  *outputStartOut = decoder->outputStart;
  return static_cast<std::int32_t>(decoder->outputPos - decoder->outputStart);
}

}  // namespace dinfo
