// The fast loop of the LZW decoder. In a plain table every code's string
// already stands in the output, so a code is one copy from there instead of
// a walk down its prefix chain. The bit reader lives in a 64-bit register
// and takes up to 7 bytes at once; output room is checked once per string.
// Whatever it does not handle (clear, end, a refused code, a full table,
// the last input bytes, a string that needs a bigger buffer) it leaves to
// the code-by-code decoder, with the decoder's fields as that one would
// have left them.
#include <cstring>

#include "tableobj/lzw_decoder.h"

namespace dinfo {
namespace {

constexpr std::int64_t CopySlack = 16;  // a copy may write this far past its string

inline std::uint64_t LoadU64BigEndian(const std::uint8_t *p) {
  std::uint64_t value = 0;
  for (int k = 0; k < 8; ++k) value = (value << 8) | p[k];
  return value;
}

// Loads before it stores, so a source just before the destination is fine.
inline void Copy16(std::uint8_t *destination, const std::uint8_t *source) {
  std::uint8_t chunk[16];
  std::memcpy(chunk, source, 16);
  std::memcpy(destination, chunk, 16);
}

// `length` bytes (rounded up to 16) from a source that ends at or before
// the destination.
inline void CopyForward(std::uint8_t *destination, const std::uint8_t *source,
                        std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; i += 16) Copy16(destination + i, source + i);
}

// The register form of the decoder's fields for the loop.
struct FastState {
  const std::uint8_t *in;
  const std::uint8_t *inputEnd;
  std::uint64_t bits;  // unused bits at the top
  std::uint32_t count;
  std::uint8_t *out;
  std::uint32_t width;
  std::uint32_t next;
  std::uint32_t previousCode;
  const std::uint8_t *previousString;
  std::uint32_t previousLength;
};

FastState LoadState(const LzwDecoder *decoder) {
  FastState s{};
  s.in = decoder->input;
  s.inputEnd = decoder->input + decoder->inputLeft;
  s.count = static_cast<std::uint32_t>(decoder->bitCount);
  s.bits = s.count == 0 ? 0 : std::uint64_t{decoder->bitBuffer} << (64 - s.count);
  s.out = decoder->outputPos;
  s.width = static_cast<std::uint32_t>(decoder->codeWidth);
  s.next = static_cast<std::uint32_t>(decoder->nextCode);
  s.previousCode = static_cast<std::uint32_t>(decoder->previousCode);
  s.previousString = decoder->previousString;
  s.previousLength = static_cast<std::uint32_t>(decoder->previousLength);
  return s;
}

// Whole bytes still in the register go back to the input, as the
// byte-by-byte reader would not have taken them yet.
void StoreState(const FastState &s, LzwDecoder *decoder) {
  const std::uint32_t heldBytes = s.count >> 3;
  const std::uint32_t count = s.count & 7u;
  decoder->input = s.in - heldBytes;
  decoder->inputLeft = static_cast<std::int32_t>(s.inputEnd - decoder->input);
  decoder->bitCount = static_cast<std::int32_t>(count);
  decoder->bitBuffer = count == 0 ? 0u : static_cast<std::uint32_t>(s.bits >> (64 - count));
  decoder->outputPos = s.out;
  decoder->codeWidth = static_cast<std::int16_t>(s.width);
  decoder->maxCode = static_cast<std::int16_t>((1 << s.width) - 1);
  decoder->nextCode = static_cast<std::int16_t>(s.next);
  decoder->previousCode = static_cast<std::int16_t>(s.previousCode);
  decoder->previousString = s.previousString;
  decoder->previousLength = static_cast<std::int32_t>(s.previousLength);
  decoder->firstByte = s.previousString[0];
}

// The width after which the loop must look again: the early growth point
// below 12 bits, the full table at 12.
inline std::uint32_t WatchCode(std::uint32_t width) {
  return width < std::uint32_t(MaxCodeWidth) ? (1u << width) - 1u : std::uint32_t(CodeLimit);
}

}  // namespace

void DecodePlainCodes(LzwDecoder *decoder) {
  if (decoder->plain == 0 || decoder->previousCode < 0 || decoder->nextCode >= CodeLimit ||
      decoder->inputLeft < 8) {
    return;
  }
  FastState s = LoadState(decoder);
  const std::uint8_t *const lastLoad = s.inputEnd - 8;
  std::uint8_t *const outputEnd = decoder->outputEnd;
  const std::uint8_t **const starts = decoder->stringStart.data();
  std::uint16_t *const lengths = decoder->stringLength.data();
  std::int16_t *const prefix = decoder->prefix.data();
  std::uint8_t *const suffix = decoder->suffix.data();
  std::uint32_t watch = WatchCode(s.width);

  while (s.in <= lastLoad && outputEnd - s.out >= 2 * CopySlack) {
    s.bits |= LoadU64BigEndian(s.in) >> s.count;
    s.in += (63 - s.count) >> 3;
    s.count |= 56;
    const auto code = static_cast<std::uint32_t>(s.bits >> (64 - s.width));
    std::uint8_t *const out = s.out;
    std::uint32_t length = 0;
    if (code < s.next) {
      const std::uint8_t *source = starts[code];
      length = lengths[code];
      Copy16(out, source);
      if (length - 1u >= 16u) {
        if (length == 0) break;  // clear or end code
        if (outputEnd - out < std::int64_t{length} + CopySlack) break;
        CopyForward(out, source, length);
      }
    } else if (code == s.next) {
      // The code being assigned: the previous string, which ends right here,
      // and its first byte again.
      length = s.previousLength + 1;
      if (outputEnd - out < std::int64_t{length} + CopySlack) break;
      if (s.previousLength <= 16) {
        Copy16(out, s.previousString);
      } else {
        CopyForward(out, s.previousString, s.previousLength);
      }
      out[s.previousLength] = s.previousString[0];
    } else {
      break;  // refused by the code-by-code decoder
    }
    s.bits <<= s.width;
    s.count -= s.width;
    prefix[s.next] = static_cast<std::int16_t>(s.previousCode);
    suffix[s.next] = out[0];
    starts[s.next] = s.previousString;
    lengths[s.next] = static_cast<std::uint16_t>(s.previousLength + 1);
    s.previousCode = code;
    s.previousString = out;
    s.previousLength = length;
    s.out = out + length;
    if (++s.next >= watch) {
      if (s.width == std::uint32_t(MaxCodeWidth)) break;  // full: the next code decides
      ++s.width;
      watch = WatchCode(s.width);
    }
  }
  StoreState(s, decoder);
}

}  // namespace dinfo
