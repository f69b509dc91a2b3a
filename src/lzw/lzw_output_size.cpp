// The measuring pass: the length of a whole expansion, from the codes
// alone. In a plain table a code's string is as long as the previous
// string plus one, so a table of lengths stands in for the strings.
#include <algorithm>

#include "lzw/lzw_decoder.h"

#include "common/bytes.h"

namespace dinfo {
namespace {

constexpr std::int64_t OutputLimit = std::int64_t{1} << 30;

struct Measure {
  std::uint64_t position;         // bit position of the next code
  std::uint32_t width;
  std::uint32_t next;             // 0 before the first clear code
  std::uint32_t previousLength;   // 0 right after a clear code
  std::int64_t total;
};

// Codes of `Width` bits until the width changes, four from each read of
// the data, while the data holds 8 bytes from the code on. Stops before a
// code that is not an ordinary string of the table: a clear, an end, a
// code above `next`.
template <std::uint32_t Width>
void MeasureCodes(const std::uint8_t *data, std::uint64_t positionLimit, Measure &m,
                  std::uint16_t *lengths) {
  constexpr std::uint32_t watch = WatchCode(Width);
  auto step = [&](std::uint32_t code) {
    const std::uint32_t assigned = m.previousLength + 1;
    lengths[m.next] = static_cast<std::uint16_t>(assigned);
    // Codes from `next` on look at the clear code's entry, 0, like the clear
    // and end codes; entries there may never have been written. The code
    // being assigned takes its length as it is, not read back from the
    // table, which would wait for the store.
    const std::uint32_t index = code < m.next ? code : std::uint32_t(ClearCode);
    const std::uint32_t length = code == m.next ? assigned : lengths[index];
    if (length == 0) return false;
    m.total += length;
    m.previousLength = length;
    ++m.next;
    return true;
  };
  auto code = [](std::uint64_t bits, std::uint32_t index) {
    return static_cast<std::uint32_t>((bits << (index * Width)) >> (64 - Width));
  };
  while (m.next + 4 <= watch && m.position <= positionLimit && m.total <= OutputLimit) {
    // 55 bits from the code's first bit on: four codes of up to 12.
    const std::uint64_t bits = InputWindow(data, m.position);
    const std::uint32_t firstNext = m.next;
    if (step(code(bits, 0)) && step(code(bits, 1)) && step(code(bits, 2))) step(code(bits, 3));
    m.position += (m.next - firstNext) * Width;
    if (m.next - firstNext < 4) return;
  }
}

// The width grows one code early, as the decoder's does.
void GrowWidth(Measure &m) {
  if (m.next >= (1u << m.width) - 1 && m.width < std::uint32_t(MaxCodeWidth)) ++m.width;
}

void MeasureStretch(const std::uint8_t *data, std::uint64_t positionLimit, Measure &m,
                    std::uint16_t *lengths) {
  if (m.previousLength == 0 || m.next >= std::uint32_t(CodeLimit)) return;
  switch (m.width) {
    case 9: MeasureCodes<9>(data, positionLimit, m, lengths); break;
    case 10: MeasureCodes<10>(data, positionLimit, m, lengths); break;
    case 11: MeasureCodes<11>(data, positionLimit, m, lengths); break;
    default: MeasureCodes<12>(data, positionLimit, m, lengths); break;
  }
  GrowWidth(m);
}

// One code as the decoder takes it: 1 to go on, 0 at the end of the
// stream, -1 where the decoding would fail or leave plain tables.
std::int32_t MeasureOneCode(std::int32_t code, Measure &m, std::uint16_t *lengths) {
  if (code < 0 || code == EndCode) return 0;
  m.position += m.width;
  if (code == ClearCode) {
    m.width = MinCodeWidth;
    m.next = FirstFreeCode;
    m.previousLength = 0;
    return 1;
  }
  const auto value = static_cast<std::uint32_t>(code);
  if (m.next == 0) return -1;
  std::uint32_t length = 1;
  if (m.previousLength == 0) {
    // Only a literal after a clear code keeps the table plain.
    m.total += 1;
    m.previousLength = 1;
    return value < 256 ? 1 : -1;
  }
  if (value >= std::uint32_t(FirstFreeCode)) {
    if (value > m.next) return -1;
    length = value == m.next ? m.previousLength + 1 : lengths[value];
  }
  m.total += length;
  if (m.total > OutputLimit || m.next >= std::uint32_t(CodeLimit)) return -1;
  lengths[m.next] = static_cast<std::uint16_t>(m.previousLength + 1);
  ++m.next;
  GrowWidth(m);
  m.previousLength = length;
  return 1;
}

}  // namespace

std::int32_t ReadCodeAt(const std::uint8_t *data, std::uint64_t length, std::uint64_t position,
                        std::uint32_t width) {
  if (position + width > length * 8) return -1;
  const std::uint64_t first = position >> 3;
  std::uint64_t bits = 0;
  if (first + 8 <= length) {
    bits = ReadU64BigEndian(data + first);
  } else {
    // Near the end: the bytes that are there, then zeros.
    for (std::uint64_t i = first; i < first + 8; ++i) bits = (bits << 8) | (i < length ? data[i] : 0u);
  }
  return static_cast<std::int32_t>((bits << (position & 7)) >> (64 - width));
}

std::int64_t MeasureLzwOutput(const std::uint8_t *data, std::int32_t length,
                              LzwDecoder *decoder) {
  if (data == nullptr || length <= 0) return -1;
  std::uint16_t *const lengths = decoder->measuredLength.data();
  std::fill(lengths, lengths + 256, std::uint16_t{1});
  lengths[ClearCode] = 0;  // no string: the stretches stop at them
  lengths[EndCode] = 0;
  const auto dataLength = static_cast<std::uint64_t>(length);
  // A code read at a position up to this one has its 8 bytes in the data.
  const std::uint64_t positionLimit = dataLength >= 8 ? (dataLength - 8) * 8 : 0;
  Measure m{0, std::uint32_t(MinCodeWidth), 0, 0, 0};
  for (;;) {
    if (dataLength >= 8) MeasureStretch(data, positionLimit, m, lengths);
    if (m.total > OutputLimit) return -1;
    const std::int32_t going =
        MeasureOneCode(ReadCodeAt(data, dataLength, m.position, m.width), m, lengths);
    if (going <= 0) return going == 0 ? m.total : -1;
  }
}

}  // namespace dinfo
