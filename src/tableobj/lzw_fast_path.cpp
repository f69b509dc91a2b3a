// The fast loop of the LZW decoder. In a plain table every code's string
// already stands in the output, so a code is one copy from there instead of
// a walk down its prefix chain; output room is checked once per string.
// Whatever it does not handle (clear, end, a refused code, a full table,
// the last input bytes, a string that needs a bigger buffer) it leaves to
// the code-by-code decoder, with the decoder's fields as that one would
// have left them.
#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(_MSC_VER) && !defined(__clang__)
#include <stdlib.h>
#endif

#include "tableobj/lzw_decoder.h"

#include "common/bytes.h"

namespace dinfo {
namespace {

constexpr std::int64_t CopySlack = 16;  // a short string's copy may write this far past it
constexpr std::int64_t LongSlack = 64;  // and a long one's this far

// One load and a byte swap: the library runs on little-endian machines.
inline std::uint64_t LoadU64BigEndian(const std::uint8_t *p) {
  static_assert(std::endian::native == std::endian::little);
  std::uint64_t value = 0;
  std::memcpy(&value, p, sizeof(value));
#if defined(_MSC_VER) && !defined(__clang__)
  return _byteswap_uint64(value);
#else
  return __builtin_bswap64(value);
#endif
}

// Loads before it stores, so a source just before the destination is fine.
inline void Copy16(std::uint8_t *destination, const std::uint8_t *source) {
  std::uint8_t chunk[16];
  std::memcpy(chunk, source, 16);
  std::memcpy(destination, chunk, 16);
}

// `length` bytes (rounded up to 64) from a source that ends at or before
// the destination. Whole 64-byte blocks keep the loop short: its exit is
// the branch that strings of varying length mispredict.
inline void CopyForward(std::uint8_t *destination, const std::uint8_t *source,
                        std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; i += 64) {
    std::uint8_t chunk[64];
    std::memcpy(chunk, source + i, 64);
    std::memcpy(destination + i, chunk, 64);
  }
}

// Whole bytes consumed and the unused bits of the last one, as the
// byte-by-byte reader holds them.
void StoreInput(const std::uint8_t *base, std::uint64_t position, const std::uint8_t *inputEnd,
                LzwDecoder *decoder) {
  const auto count = static_cast<std::int32_t>((8 - (position & 7)) & 7);
  decoder->input = base + ((position + 7) >> 3);
  decoder->inputLeft = static_cast<std::int32_t>(inputEnd - decoder->input);
  decoder->bitCount = count;
  decoder->bitBuffer = count == 0 ? 0u : base[position >> 3] & ((1u << count) - 1u);
}

// The loop's view of the decoder, in locals the compiler can keep in
// registers.
struct LoopState {
  const std::uint8_t *base;     // the input, read by bit position
  std::uint64_t position;
  std::uint64_t positionLimit;  // a code read up to here has its 8 bytes in the input
  std::uint8_t *out;
  std::uint8_t *outputEnd;
  std::uint32_t next;
  std::uint32_t previousCode;
  const std::uint8_t *previousString;
  // The last string written as a run of one byte, within this call of the
  // loop (the buffer does not move meanwhile), or null.
  const std::uint8_t *runString;
};

// `length` bytes (rounded up to 64) of one value: nothing is read back from
// the output, which keeps long runs at the speed of plain stores. The
// pattern is built in a register, not in memory.
inline void FillRun(std::uint8_t *destination, std::uint8_t value, std::uint32_t length) {
#if defined(__SSE2__) || defined(_M_X64)
  const __m128i chunk = _mm_set1_epi8(static_cast<char>(value));
  for (std::uint32_t i = 0; i < length; i += 64) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(destination + i), chunk);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(destination + i + 16), chunk);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(destination + i + 32), chunk);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(destination + i + 48), chunk);
  }
#else
  for (std::uint32_t i = 0; i < length; i += 64) std::memset(destination + i, value, 64);
#endif
}

enum class Step { Next, StopBefore, StopAfter };

// One code of a plain table, with at least CopySlack bytes of room: copies
// its string to the output and assigns the next entry. StopBefore leaves
// the code unread for the code-by-code decoder; StopAfter follows a long
// string, after which the room must be looked at again.
inline Step DecodeCode(LoopState &s, std::uint32_t code, LzwDecoder *decoder) {
  std::uint8_t *const at = s.out;
  // Entries from `next` on are unset or left from an earlier table: no
  // string yet.
  std::uint32_t length = code < s.next ? decoder->stringInfo[code] & 0xFFFFu : NoString;
  Step step = Step::Next;
  if (length <= 16) {
    Copy16(at, decoder->stringStart[code]);
  } else {
    const std::uint8_t *const source =
        length == NoString ? s.previousString : decoder->stringStart[code];
    // The previous string ends where the output stands.
    const auto previousLength = static_cast<std::uint32_t>(at - s.previousString);
    const std::uint32_t copied = length == NoString ? previousLength : length;
    // Only the code being assigned goes on without a string: the previous
    // string, which ends right at `at`, and its first byte again.
    if (length == NoString) {
      if (code != s.next) return Step::StopBefore;
      length = previousLength + 1;
    }
    if (s.outputEnd - at < std::int64_t{length} + LongSlack) return Step::StopBefore;
    if (length != copied && (copied == 1 || source == s.runString)) {
      // A run grown by one more of its byte.
      FillRun(at, source[0], length);
      s.runString = at;
    } else {
      if (copied <= 16) {
        Copy16(at, source);
      } else {
        CopyForward(at, source, copied);
      }
      if (length != copied) at[copied] = source[0];
    }
    step = Step::StopAfter;
  }
  decoder->stringStart[s.next] = s.previousString;
  decoder->stringInfo[s.next] =
      StringInfo(static_cast<std::uint32_t>(at - s.previousString) + 1, s.previousCode);
  ++s.next;
  s.previousCode = code;
  s.previousString = at;
  s.out = at + length;
  return step;
}

// After a run grown by one more of its byte, the codes that follow are
// often the code being assigned again and again: the run plus one more
// byte each time. Those are taken here without writing them one by one;
// the bytes they add are filled at once. Stops before any other code, at
// `lastNext`, and where the room would not hold the fill.
template <std::uint32_t Width>
void ExtendRun(LoopState &s, std::uint64_t codeBase, std::uint32_t lastNext,
               LzwDecoder *decoder) {
  std::uint8_t *const from = s.out;
  const std::uint8_t value = s.previousString[0];
  while (s.next < lastNext) {
    const std::uint64_t position = codeBase + std::uint64_t{s.next} * Width;
    const auto code = static_cast<std::uint32_t>(
        (LoadU64BigEndian(s.base + (position >> 3)) << (position & 7)) >> (64 - Width));
    const auto length = static_cast<std::uint32_t>(s.out - s.previousString) + 1;
    if (code != s.next || s.outputEnd - s.out < std::int64_t{length}) break;
    decoder->stringStart[s.next] = s.previousString;
    decoder->stringInfo[s.next] = StringInfo(length, s.previousCode);
    ++s.next;
    s.previousCode = code;
    s.previousString = s.out;
    s.out += length;
  }
  if (s.out != from) {
    FillBytes(from, value, static_cast<std::int32_t>(s.out - from));
    s.runString = s.previousString;
  }
}

// Decodes codes of `Width` bits up to `watch`, as far as the input and the
// output room allow, four from each read of the input. Returns false when
// it stopped at a code it leaves to the code-by-code decoder. The room is
// looked at once per four codes: it runs out only near the buffer's end,
// so the code-by-code decoder has little to do before the buffer grows.
template <std::uint32_t Width>
bool DecodeCodes(LoopState &r, std::uint32_t watch, LzwDecoder *decoder) {
  LoopState s = r;
  if (s.position > s.positionLimit) return true;
  // Every code decoded assigns one entry, so `next` counts the codes read
  // and the input position follows from it.
  const std::uint32_t firstNext = s.next;
  std::uint64_t most = (s.positionLimit - s.position) / Width + 1;
  most = std::min<std::uint64_t>(most, watch - s.next);
  const std::uint32_t lastNext = s.next + static_cast<std::uint32_t>(most);
  auto window = [&] {
    const std::uint64_t position = r.position + std::uint64_t{s.next - firstNext} * Width;
    return LoadU64BigEndian(s.base + (position >> 3)) << (position & 7);
  };
  auto code = [](std::uint64_t bits, std::uint32_t index) {
    return static_cast<std::uint32_t>((bits << (index * Width)) >> (64 - Width));
  };
  Step step = Step::Next;
  for (;;) {
    while (lastNext - s.next >= 4 && s.outputEnd - s.out >= 4 * CopySlack) {
      // 57 bits from the code's first bit on: four codes of up to 12.
      const std::uint64_t bits = window();
      step = DecodeCode(s, code(bits, 0), decoder);
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 1), decoder);
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 2), decoder);
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 3), decoder);
      if (step != Step::Next) break;
    }
    if (step == Step::Next) {
      if (s.next == lastNext || s.outputEnd - s.out < CopySlack) break;
      step = DecodeCode(s, code(window(), 0), decoder);
    }
    if (step == Step::StopBefore) break;
    if (s.runString == s.previousString) {
      ExtendRun<Width>(s, r.position - std::uint64_t{firstNext} * Width, lastNext, decoder);
    }
    step = Step::Next;  // after a long string: on with the room looked at again
  }
  s.position = r.position + std::uint64_t{s.next - firstNext} * Width;
  r = s;
  return step != Step::StopBefore;
}

// The next code after which the width must be looked at again: the early
// growth point below 12 bits, the full table at 12.
inline std::uint32_t WatchCode(std::uint32_t width) {
  return width < std::uint32_t(MaxCodeWidth) ? (1u << width) - 1u : std::uint32_t(CodeLimit);
}

}  // namespace

// The input is read by bit position from `base`: each code is the top bits
// of the 8 bytes from its first byte on, so no bit buffer is carried. The
// unused bits of a previous code belong to the byte before `input`.
void DecodePlainCodes(LzwDecoder *decoder) {
  if (decoder->plain == 0 || decoder->previousCode < 0 || decoder->nextCode >= CodeLimit ||
      decoder->bitCount > 7 || decoder->inputLeft < 16 ||
      (decoder->bitCount > 0 && decoder->input == decoder->inputBegin)) {
    return;
  }
  LoopState r{};
  r.base = decoder->input - (decoder->bitCount > 0 ? 1 : 0);
  const std::uint8_t *const inputEnd = decoder->input + decoder->inputLeft;
  // A code read at a position up to this one has its 8 bytes in the input.
  r.positionLimit = static_cast<std::uint64_t>(inputEnd - r.base - 8) * 8;
  r.position = static_cast<std::uint64_t>((8 - decoder->bitCount) & 7);
  r.out = decoder->outputPos;
  r.outputEnd = decoder->outputEnd;
  r.next = static_cast<std::uint32_t>(decoder->nextCode);
  r.previousCode = static_cast<std::uint32_t>(decoder->previousCode);
  r.previousString = decoder->previousString;
  r.runString = nullptr;
  auto width = static_cast<std::uint32_t>(decoder->codeWidth);

  for (;;) {
    const std::uint32_t watch = WatchCode(width);
    bool going = false;
    switch (width) {
      case 9: going = DecodeCodes<9>(r, watch, decoder); break;
      case 10: going = DecodeCodes<10>(r, watch, decoder); break;
      case 11: going = DecodeCodes<11>(r, watch, decoder); break;
      default: going = DecodeCodes<12>(r, watch, decoder); break;
    }
    // Short of the width's end, the input or the room ran out.
    if (!going || r.next != watch || width == std::uint32_t(MaxCodeWidth)) break;
    ++width;
  }
  StoreInput(r.base, r.position, inputEnd, decoder);
  decoder->outputPos = r.out;
  decoder->codeWidth = static_cast<std::int16_t>(width);
  decoder->maxCode = static_cast<std::int16_t>((1 << width) - 1);
  decoder->nextCode = static_cast<std::int16_t>(r.next);
  decoder->previousCode = static_cast<std::int16_t>(r.previousCode);
  decoder->previousString = r.previousString;
  decoder->previousLength = static_cast<std::int32_t>(r.out - r.previousString);
  decoder->firstByte = r.previousString[0];
}

}  // namespace dinfo
