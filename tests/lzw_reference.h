// A deliberately plain LZW decoder for the tests: prefix/suffix table, a
// string rebuilt by walking its chain, one byte at a time into a vector.
// It follows the decoder's rules step by step and is what the library's
// copying decoder is checked against. Also: packing codes into bytes, and
// the width schedule a stream of codes is read with.
#ifndef DINFO_TESTS_LZW_REFERENCE_H
#define DINFO_TESTS_LZW_REFERENCE_H

#include <array>
#include <cstdint>
#include <vector>

#include "lzw/lzw_decoder.h"
#include "writer/writer.h"

namespace dinfo::test {

struct ReferenceLzw {
  int width = 9;
  int nextCode = -1;
  int previousCode = 0;
  std::uint8_t firstByte = 0;
  std::uint32_t bitBuffer = 0;
  int bitCount = 0;
  std::array<int, 4096> prefix{};
  std::array<std::uint8_t, 4096> suffix{};
  std::vector<std::uint8_t> output;

  void SetWidth(int newWidth) {
    if (newWidth < width) {
      prefix.fill(0);
      suffix.fill(0);
    }
    width = newWidth;
  }

  // The fault DecodeLzw gives for the same bytes, with the output in
  // `output`. The state stays for a following call.
  Fault Decode(const writer::Bytes &data) {
    std::size_t at = 0;
    for (;;) {
      while (bitCount < width) {
        if (at == data.size()) return Fault::None;
        bitBuffer = bitBuffer * 256u + data[at++];
        bitCount += 8;
      }
      bitCount -= width;
      const int code = static_cast<int>(bitBuffer >> bitCount);
      bitBuffer &= (1u << bitCount) - 1u;
      if (code == ClearCode) {
        SetWidth(9);
        previousCode = -1;
        nextCode = 258;
        continue;
      }
      if (code == EndCode) return Fault::None;
      if (previousCode == -1) {
        previousCode = code;
        firstByte = static_cast<std::uint8_t>(code);
        output.push_back(firstByte);
        continue;
      }
      std::vector<std::uint8_t> reversed;
      int c = code;
      if (code == nextCode) {
        reversed.push_back(firstByte);
        c = previousCode;
      } else if (code > nextCode) {
        return Fault::StreamDamaged;  // above the code being assigned
      }
      while (c >= 258) {
        if (reversed.size() >= 4095) return Fault::StreamDamaged;  // too long
        reversed.push_back(suffix[static_cast<std::size_t>(c)]);
        c = prefix[static_cast<std::size_t>(c)];
      }
      reversed.push_back(static_cast<std::uint8_t>(c));
      firstByte = reversed.back();
      output.insert(output.end(), reversed.rbegin(), reversed.rend());
      if (nextCode > 4095) return Fault::StreamDamaged;  // the table is full
      prefix[static_cast<std::size_t>(nextCode)] = previousCode;
      suffix[static_cast<std::size_t>(nextCode)] = firstByte;
      ++nextCode;
      if (nextCode >= (1 << width) - 1 && width < 12) SetWidth(width + 1);
      previousCode = code;
    }
  }
};

// Packs codes most significant bit first; the last byte is padded with 0.
struct CodePacker {
  writer::Bytes bytes;
  std::uint64_t buffer = 0;
  int count = 0;
  void Put(int code, int width) {
    buffer = (buffer << width) | static_cast<std::uint64_t>(code);
    count += width;
    while (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(buffer >> count));
    }
    buffer &= (std::uint64_t{1} << count) - 1;
  }
  writer::Bytes Finish() {
    writer::Bytes out = bytes;
    if (count > 0) out.push_back(static_cast<std::uint8_t>(buffer << (8 - count)));
    return out;
  }
};

// The width and next code a decoder reads with, for streams that only use
// accepted codes: tracks clears, the first code of each, and early growth.
struct WidthSchedule {
  int width = 9;
  int nextCode = -1;
  bool first = false;
  void Clear() {
    width = 9;
    nextCode = 258;
    first = true;
  }
  void Data() {
    if (first) {
      first = false;
      return;
    }
    if (nextCode > 4095) return;
    ++nextCode;
    if (nextCode >= (1 << width) - 1 && width < 12) ++width;
  }
};

// Codes written with the widths the decoder reads them with.
inline writer::Bytes PackCodes(const std::vector<int> &codes) {
  CodePacker packer;
  WidthSchedule schedule;
  for (int code : codes) {
    packer.Put(code, schedule.width);
    if (code == ClearCode) {
      schedule.Clear();
    } else if (code != EndCode) {
      schedule.Data();
    }
  }
  return packer.Finish();
}

// `rounds` times 7,370,880 zero bytes: each round, after a clear code,
// repeats the string before it plus one zero, from code 258 to 4095.
inline writer::Bytes ZeroRounds(int rounds) {
  std::vector<int> codes;
  for (int round = 0; round < rounds; ++round) {
    codes.push_back(ClearCode);
    codes.push_back(0);
    for (int code = FirstFreeCode; code < CodeLimit; ++code) codes.push_back(code);
  }
  codes.push_back(EndCode);
  return PackCodes(codes);
}

}  // namespace dinfo::test

#endif  // DINFO_TESTS_LZW_REFERENCE_H
