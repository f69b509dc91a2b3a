// The LZW decoder's record and the steps inside ExpandLzw (lzw/lzw.h),
// which lists the stream's rules. Tests and benchmarks use this header to
// look at the decoder closely; everything else goes through lzw/lzw.h.
#ifndef DINFO_LZW_LZW_DECODER_H
#define DINFO_LZW_LZW_DECODER_H

#include <array>
#include <bit>
#include <cstdint>

#include "common/block.h"
#include "common/bytes.h"
#include "common/fault.h"
#include "lzw/lzw.h"

namespace dinfo {

constexpr std::int32_t ClearCode = 256;
constexpr std::int32_t EndCode = 257;
constexpr std::int32_t FirstFreeCode = 258;
constexpr std::int32_t MinCodeWidth = 9;
constexpr std::int32_t MaxCodeWidth = 12;
constexpr std::int32_t CodeLimit = 4096;        // codes run from 0 to 4095
constexpr std::int32_t StackSize = 4096;        // the longest string decoded
constexpr std::int32_t InitialOutputSize = 1024;
constexpr std::int64_t MaxOutputCapacity = 0x3FFFFFFF;  // a full buffer above this cannot grow
constexpr std::int32_t TableEntries = 5021;     // only entries 258 to 4095 are used

// The decoder's whole state; one block per expansion (zero-filled but for
// `stack`, `stringStart` and `measuredLength`, written before read), owned
// by an OwnedLzwDecoder. The output buffer is a block of its own,
// OutputHeaderRoom bytes before `outputStart`, owned by the same.
struct LzwDecoder {
  std::int16_t codeWidth;
  std::int16_t maxCode;       // (1 << codeWidth) - 1
  std::int16_t nextCode;      // -1 until the first clear code, then 258 to 4096
  std::int16_t previousCode;  // -1 right after a clear code
  std::uint8_t firstByte;     // first byte of the string decoded last
  const std::uint8_t *input;
  std::int32_t inputLeft;
  std::int32_t bitCount;
  std::uint32_t bitBuffer;    // unused bits, in the low bitCount bits
  OwnedBlock *outputBlock;    // the owner's, holding the output buffer; null for a caller's
  std::uint8_t *outputStart;
  std::uint8_t *outputEnd;
  std::uint8_t *outputPos;
  std::array<std::int16_t, TableEntries> prefix;
  std::array<std::uint8_t, TableEntries> suffix;
  std::array<std::uint8_t, StackSize> stack;  // a string's bytes, last byte first

  // Copying strings from the output. While a clear code's first code was a
  // literal and nothing has failed since ("plain"), every code's string
  // stands in the output exactly where it was written: entry e is the
  // string of the code before the one that assigned it plus that code's
  // first byte, so it starts where the code before's string starts, and
  // `stringStart[e + 1]` (where the assigning code's string starts) is one
  // byte short of its end. `stringStart[nextCode]` is thus where the
  // previous string starts, and one store per code keeps the table. Literals
  // point into `literals`; the clear and end codes hold places that give
  // lengths above any short string, so the fast loop looks at them closely.
  // The fast loop writes neither `prefix` nor `suffix`: from entry
  // `pendingFrom` on they are completed when something needs them, the
  // suffix from the output and the prefix codes read again from the input,
  // where the widths place them (a plain table lives within one call).
  std::int32_t plain;
  const std::uint8_t *inputBegin;      // data of the current DecodeLzw call
  std::int32_t pendingFrom;
  std::int32_t pendingPrefix;          // prefix code of entry pendingFrom
  std::int64_t pendingPosition;        // bit of the code that assigns pendingFrom, from inputBegin
  std::int32_t literalCodes;           // the fast loop looks for four literals at a time
  // Entries of `prefix` and `suffix` from here on are still 0, so emptying
  // the table clears only the entries written since it was last emptied.
  std::int32_t tableWrittenTo;
  // Set while the output so far is all of this call's output, so that the
  // length of the whole expansion may be measured from the call's data.
  std::int32_t measureOutput;
  std::array<std::uintptr_t, CodeLimit + 1> stringStart;
  std::array<std::uint16_t, CodeLimit> measuredLength;  // string lengths of the measuring pass
  std::array<std::uint8_t, 256 + 16> literals;  // each byte value, room for a 16-byte read
};

// Owns a decoder: its record and its output buffer, given back when it
// goes out of scope. It stays where it was made, as the record points at
// the owner of its buffer.
class OwnedLzwDecoder {
 public:
  // A ready decoder with its first output buffer of 1024 bytes; get() is
  // null when either allocation fails (then nothing is held).
  OwnedLzwDecoder();
  // A ready decoder writing into `output`, which never grows: the output
  // stops with OutputTooLarge once it is full.
  explicit OwnedLzwDecoder(Block output);
  OwnedLzwDecoder(const OwnedLzwDecoder &) = delete;
  OwnedLzwDecoder &operator=(const OwnedLzwDecoder &) = delete;

  LzwDecoder *get() const { return decoder_; }
  LzwDecoder *operator->() const { return decoder_; }

 private:
  void Start(Block output, OwnedBlock *outputBlock);

  OwnedBlock record_;
  OwnedBlock output_;
  LzwDecoder *decoder_ = nullptr;
};

// Hands the output buffer over: a block of OutputHeaderRoom bytes followed
// by the output written (the memory behind the view may be longer). The
// decoder keeps no buffer.
OwnedBlock TakeLzwOutput(LzwDecoder *decoder);

// Sets codeWidth and maxCode; a smaller width than the current one also
// empties the table (every prefix and suffix entry becomes 0).
void SetCodeWidth(std::int32_t width, LzwDecoder *decoder);

// Writes the string of `code` into `stack`, last byte first, from
// `startIndex` on. Returns the position of the string's first byte (the
// highest written), or -1 when it would not fit.
std::int32_t ExpandCode(std::int32_t code, std::int32_t startIndex, LzwDecoder *decoder);

// Appends one byte, doubling the buffer when full. Fault::NoMemory, or
// Fault::OutputTooLarge for a full buffer of 2^30 bytes.
Fault EmitByte(std::uint8_t byte, LzwDecoder *decoder);

// Doubles a full output buffer (or grows it to the expected size), with
// EmitByte's faults. Keeps the places of the plain strings pointing at
// their bytes.
Fault GrowOutput(LzwDecoder *decoder);

// The number of bytes that decoding `length` bytes at `data` with a new
// decoder writes, when it decodes them successfully with plain tables
// (each clear code followed by a literal); -1 otherwise, or when it passes
// the 2^30-byte limit. Only lengths are followed, about a cycle a code, so
// the output buffer can be sized once instead of doubled step by step.
std::int64_t MeasureLzwOutput(const std::uint8_t *data, std::int32_t length,
                              LzwDecoder *decoder);

// Decodes `length` bytes at `data` with a decoder from OwnedLzwDecoder.
// The output, whole or up to the fault, stays the decoder's, from
// `outputStart` to `outputPos`. After a fault the decoder holds the failed
// stream's state, and a further call goes on from there.
Fault DecodeLzw(const std::uint8_t *data, std::int32_t length, LzwDecoder *decoder);

// The 64 bits of input from bit `position` of `base` on, the first at the
// top: a code of w bits there is the top w. The 8 bytes from that bit's
// byte on must lie in the input.
inline std::uint64_t InputWindow(const std::uint8_t *base, std::uint64_t position) {
  return ReadU64BigEndian(base + (position >> 3)) << (position & 7);
}

// The next code after which the width must be looked at again: the early
// growth point below 12 bits, the full table at 12.
constexpr std::uint32_t WatchCode(std::uint32_t width) {
  return width < std::uint32_t(MaxCodeWidth) ? (1u << width) - 1u : std::uint32_t(CodeLimit);
}

// The `width`-bit code at bit `position` of the `length` bytes at `data`,
// or -1 where no whole code is left there.
std::int32_t ReadCodeAt(const std::uint8_t *data, std::uint64_t length, std::uint64_t position,
                        std::uint32_t width);

// Writes `prefix` and `suffix` of every entry from `pendingFrom` on: the
// suffix as the first byte of the assigning code's string, the prefix as
// the code read before that one, read again from the input.
void CompleteEntries(LzwDecoder *decoder);

// Starts a plain table after its first code: every entry from 258 on is
// pending for CompleteEntries, and entry 258 starts at the previous string.
void ClearStrings(LzwDecoder *decoder);

// The width of the code that assigns `entry` (258 to 4095): the width grows
// one code early.
inline std::int32_t AssigningWidth(std::int32_t entry) {
  const auto width =
      static_cast<std::int32_t>(std::bit_width(static_cast<std::uint32_t>(entry) + 1u));
  return width < MaxCodeWidth ? width : MaxCodeWidth;
}

// Where the string of the previous code starts, while the table is plain.
inline const std::uint8_t *PreviousString(const LzwDecoder *decoder) {
  return reinterpret_cast<const std::uint8_t *>(
      decoder->stringStart[static_cast<std::size_t>(decoder->nextCode)]);
}

// The fast loop: decodes codes of a plain table while the input holds 8
// bytes from the code on and the output has room for the string, and stops
// before any code it does not handle (clear, end, a refused code) or once
// the table is full. Afterwards the decoder's fields are exactly those of
// decoding code by code, `prefix` and `suffix` once CompleteEntries ran.
void DecodePlainCodes(LzwDecoder *decoder);

}  // namespace dinfo

#endif  // DINFO_LZW_LZW_DECODER_H
