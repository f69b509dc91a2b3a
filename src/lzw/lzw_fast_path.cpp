// The fast loop of the LZW decoder. In a plain table every code's string
// already stands in the output, so a code is one copy from there instead of
// a walk down its prefix chain; output room is checked once per string.
// Whatever it does not handle (clear, end, a refused code, a full table,
// the last input bytes, a string that needs a bigger buffer) it leaves to
// the code-by-code decoder, with the decoder's fields as that one would
// have left them.
//
// Entry assumptions (DecodePlainCodes returns at once otherwise):
//  - the table is plain (`plain`) and past the first code of a clear
//    (`previousCode` >= 0), and `nextCode` is below 4096;
//  - at least 16 input bytes are left, and the bit buffer holds at most
//    the 7 unused bits of the byte before `input`, which must lie in this
//    call's data (the loop reads the next code from that byte on);
//  - `stringStart[258 .. nextCode]` point at the strings in the output,
//    `stringStart[nextCode]` at the previous one, and the literals, clear
//    and end codes hold their fixed places (OwnedLzwDecoder).
// Inside, a code is read only while the 8 bytes from its first byte lie in
// the input, and a string is copied only while the output has CopySlack
// (short strings) or LongSlack (long ones) bytes of room past it: copies
// write whole 16- or 64-byte chunks. It neither allocates nor fails.
//
// On return:
//  - `input`, `inputLeft`, `bitCount` and `bitBuffer` stand after the last
//    code decoded, as the byte-by-byte reader would hold them;
//  - `outputPos`, `codeWidth`, `maxCode`, `nextCode`, `previousCode` and
//    `firstByte` are those of decoding the same codes one by one;
//  - `prefix` and `suffix` are not written: the entries from `pendingFrom`
//    on wait for CompleteEntries; the bytes past `outputPos` are scratch;
//  - the next code is one it leaves to the code-by-code decoder, or the
//    table is full, or the input or the output room ran short.
#include <algorithm>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "lzw/lzw_decoder.h"

#include "common/bytes.h"

// The per-code step must be inlined into the loops: called, it would keep
// the loop's state in memory.
#if defined(_MSC_VER) && !defined(__clang__)
#define DINFO_ALWAYS_INLINE __forceinline
#else
#define DINFO_ALWAYS_INLINE __attribute__((always_inline)) inline
#endif

namespace dinfo {
namespace {

constexpr std::int64_t CopySlack = 16;  // a short string's copy may write this far past it
constexpr std::int64_t LongSlack = 64;  // and a long one's this far

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
  std::uintptr_t *places;       // the decoder's stringStart
  std::uint32_t next;
  const std::uint8_t *previousString;  // places[next], kept at hand for runs
  // The last string written as a run of one byte, within this call of the
  // loop (the buffer does not move meanwhile), or null.
  const std::uint8_t *runString;
  bool literalsMissed;  // the loop looking for four literals gave up
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

// A code whose string is not a short one: a long string, the code being
// assigned, or one the loop leaves to the code-by-code decoder.
inline Step DecodeLongCode(LoopState &s, std::uint32_t code) {
  std::uint8_t *const at = s.out;
  const std::uint8_t *source = nullptr;
  std::uint32_t copied = 0;  // bytes copied from `source`, then maybe its first byte again
  std::uint32_t length = 0;
  if (code == s.next) {
    // The previous string, which ends right at `at`, and its first byte
    // again.
    source = s.previousString;
    copied = static_cast<std::uint32_t>(at - source);
    length = copied + 1;
  } else if (code > s.next || code == std::uint32_t(ClearCode) || code == std::uint32_t(EndCode)) {
    return Step::StopBefore;
  } else {
    source = reinterpret_cast<const std::uint8_t *>(s.places[code]);
    length = static_cast<std::uint32_t>(s.places[code + 1] - s.places[code]) + 1;
    copied = length;
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
  s.places[s.next + 1] = reinterpret_cast<std::uintptr_t>(at);
  ++s.next;
  s.previousString = at;
  s.out = at + length;
  return Step::StopAfter;
}

// One code of a plain table, with at least CopySlack bytes of room: copies
// its string to the output and assigns the next entry, whose end the
// string's start marks. StopBefore leaves the code unread for the
// code-by-code decoder; StopAfter follows a long string, after which the
// room must be looked at again.
DINFO_ALWAYS_INLINE Step DecodeCode(LoopState &s, std::uint32_t code) {
  std::uint8_t *const at = s.out;
  // Bytes after the first: the next place less this one's, and one less
  // for literals, whose places are one byte apart; at least 16 for the
  // clear and end codes and, through the clear code's places, for the codes
  // from `next` on (unset, or left from an earlier table).
  const std::uint32_t index = code < s.next ? code : std::uint32_t(ClearCode);
  const std::uintptr_t more =
      s.places[index + 1] - s.places[index] - std::uintptr_t{code < 256};
  if (more >= 16) return DecodeLongCode(s, code);
  Copy16(at, reinterpret_cast<const std::uint8_t *>(s.places[index]));
  s.places[s.next + 1] = reinterpret_cast<std::uintptr_t>(at);
  ++s.next;
  s.previousString = at;
  s.out = at + more + 1;
  return Step::Next;
}

// The top bits of four codes of `Width` bits at the top of a word: all
// clear when the four are literals.
template <std::uint32_t Width>
constexpr std::uint64_t LiteralMask() {
  std::uint64_t mask = 0;
  for (std::uint32_t i = 0; i < 4; ++i) {
    mask |= ((std::uint64_t{1} << (Width - 8)) - 1) << (64 - i * Width - (Width - 8));
  }
  return mask;
}

// Four literals in a row, the common case of data that does not compress:
// four bytes, and each one's entry ends one byte after it starts.
template <std::uint32_t Width>
inline void DecodeFourLiterals(LoopState &s, std::uint64_t bits) {
  std::uint8_t *const at = s.out;
  std::uintptr_t *const places = s.places + s.next + 1;
  at[0] = static_cast<std::uint8_t>(bits >> (64 - Width));
  at[1] = static_cast<std::uint8_t>(bits >> (64 - 2 * Width));
  at[2] = static_cast<std::uint8_t>(bits >> (64 - 3 * Width));
  at[3] = static_cast<std::uint8_t>(bits >> (64 - 4 * Width));
  places[0] = reinterpret_cast<std::uintptr_t>(at);
  places[1] = reinterpret_cast<std::uintptr_t>(at + 1);
  places[2] = reinterpret_cast<std::uintptr_t>(at + 2);
  places[3] = reinterpret_cast<std::uintptr_t>(at + 3);
  s.next += 4;
  s.previousString = at + 3;
  s.out = at + 4;
}

// After a run grown by one more of its byte, the codes that follow are
// often the code being assigned again and again: the run plus one more
// byte each time. Those are taken here without writing them one by one;
// the bytes they add are filled at once. Stops before any other code, at
// `lastNext`, and where the room would not hold the fill.
template <std::uint32_t Width>
DINFO_ALWAYS_INLINE void ExtendRun(LoopState &s, std::uint64_t codeBase, std::uint32_t lastNext) {
  std::uint8_t *const from = s.out;
  const std::uint8_t value = s.previousString[0];
  while (s.next < lastNext) {
    const std::uint64_t position = codeBase + std::uint64_t{s.next} * Width;
    const auto code = static_cast<std::uint32_t>(InputWindow(s.base, position) >> (64 - Width));
    const auto length = static_cast<std::uint32_t>(s.out - s.previousString) + 1;
    if (code != s.next || s.outputEnd - s.out < std::int64_t{length}) break;
    s.places[s.next + 1] = reinterpret_cast<std::uintptr_t>(s.out);
    ++s.next;
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
// With `Literals` it first looks whether the four are literals, and gives
// up looking (`literalsMissed`) once they are not most of the groups: a
// failed look is a mispredicted branch.
template <std::uint32_t Width, bool Literals>
bool DecodeCodes(LoopState &r, std::uint32_t watch) {
  LoopState s = r;
  if (s.position > s.positionLimit) return true;
  // Every code decoded assigns one entry, so `next` counts the codes read
  // and the input position follows from it.
  const std::uint32_t firstNext = s.next;
  std::uint64_t most = (s.positionLimit - s.position) / Width + 1;
  most = std::min<std::uint64_t>(most, watch - s.next);
  std::uint32_t lastNext = s.next + static_cast<std::uint32_t>(most);
  // Looking for four literals stops when they are not most groups.
  std::int32_t budget = 16;
  auto window = [&] {
    const std::uint64_t position = r.position + std::uint64_t{s.next - firstNext} * Width;
    return InputWindow(s.base, position);
  };
  auto code = [](std::uint64_t bits, std::uint32_t index) {
    return static_cast<std::uint32_t>((bits << (index * Width)) >> (64 - Width));
  };
  Step step = Step::Next;
  for (;;) {
    while (lastNext - s.next >= 4 && s.outputEnd - s.out >= 4 * CopySlack) {
      // 57 bits from the code's first bit on: four codes of up to 12.
      const std::uint64_t bits = window();
      if (Literals) {
        if ((bits & LiteralMask<Width>()) == 0) {
          DecodeFourLiterals<Width>(s, bits);
          ++budget;
          continue;
        }
        budget -= 4;
        if (budget < 0) {
          s.literalsMissed = true;
          lastNext = s.next;
          break;
        }
      }
      step = DecodeCode(s, code(bits, 0));
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 1));
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 2));
      if (step != Step::Next) break;
      step = DecodeCode(s, code(bits, 3));
      if (step != Step::Next) break;
    }
    if (step == Step::Next) {
      if (s.next == lastNext || s.outputEnd - s.out < CopySlack) break;
      step = DecodeCode(s, code(window(), 0));
    }
    if (step == Step::StopBefore) break;
    if (s.runString == s.previousString) {
      ExtendRun<Width>(s, r.position - std::uint64_t{firstNext} * Width, lastNext);
    }
    step = Step::Next;  // after a long string: on with the room looked at again
  }
  s.position = r.position + std::uint64_t{s.next - firstNext} * Width;
  r = s;
  return step != Step::StopBefore;
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
  r.places = decoder->stringStart.data();
  r.previousString = PreviousString(decoder);
  r.runString = nullptr;
  auto width = static_cast<std::uint32_t>(decoder->codeWidth);
  bool literals = decoder->literalCodes != 0;

  for (;;) {
    const std::uint32_t watch = WatchCode(width);
    bool going = false;
    const std::uint8_t *const out = r.out;
    const std::uint32_t next = r.next;
    if (literals) {
      switch (width) {
        case 9: going = DecodeCodes<9, true>(r, watch); break;
        case 10: going = DecodeCodes<10, true>(r, watch); break;
        case 11: going = DecodeCodes<11, true>(r, watch); break;
        default: going = DecodeCodes<12, true>(r, watch); break;
      }
    } else {
      switch (width) {
        case 9: going = DecodeCodes<9, false>(r, watch); break;
        case 10: going = DecodeCodes<10, false>(r, watch); break;
        case 11: going = DecodeCodes<11, false>(r, watch); break;
        default: going = DecodeCodes<12, false>(r, watch); break;
      }
    }
    // Four literals at a time pay only where nearly all codes are literals
    // (data that does not compress); on mixed data the look's branch is
    // mispredicted too often. The codes just decoded choose: under 1.06
    // bytes a code.
    if (r.literalsMissed) {
      // On without looking for literals to the end of this width.
      r.literalsMissed = false;
      literals = false;
      if (going && r.next != watch) continue;
    } else if (r.next - next >= 32) {
      literals = (r.out - out) * 50 < std::int64_t{r.next - next} * 53;
    }
    // Short of the width's end, the input or the room ran out.
    if (!going || r.next != watch || width == std::uint32_t(MaxCodeWidth)) break;
    ++width;
  }
  decoder->literalCodes = literals ? 1 : 0;
  StoreInput(r.base, r.position, inputEnd, decoder);
  decoder->outputPos = r.out;
  decoder->codeWidth = static_cast<std::int16_t>(width);
  decoder->maxCode = static_cast<std::int16_t>((1 << width) - 1);
  if (r.next != static_cast<std::uint32_t>(decoder->nextCode)) {
    // The last code read, which assigned the last entry.
    const auto lastWidth =
        static_cast<std::uint32_t>(AssigningWidth(static_cast<std::int32_t>(r.next - 1)));
    const std::uint64_t at = r.position - lastWidth;
    decoder->previousCode =
        static_cast<std::int16_t>(InputWindow(r.base, at) >> (64 - lastWidth));
  }
  decoder->nextCode = static_cast<std::int16_t>(r.next);
  decoder->firstByte = PreviousString(decoder)[0];
}

}  // namespace dinfo
