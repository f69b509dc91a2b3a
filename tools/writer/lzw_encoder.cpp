#include "writer/lzw_encoder.h"

#include <cstdint>
#include <vector>

namespace dinfo::writer {
namespace {

constexpr std::uint32_t ClearCode = 256;
constexpr std::uint32_t EndCode = 257;
constexpr std::uint32_t FirstFreeCode = 258;
constexpr std::uint32_t CodeLimit = 4096;

class BitWriter {
 public:
  explicit BitWriter(Bytes &out) : out_(out) {}
  void Put(std::uint32_t code, std::uint32_t width) {
    buffer_ = (buffer_ << width) | code;
    count_ += width;
    while (count_ >= 8) {
      count_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(buffer_ >> count_));
    }
    buffer_ &= (1u << count_) - 1u;
  }
  void Flush() {
    if (count_ > 0) out_.push_back(static_cast<std::uint8_t>(buffer_ << (8 - count_)));
    count_ = 0;
  }

 private:
  Bytes &out_;
  std::uint32_t buffer_ = 0;
  std::uint32_t count_ = 0;
};

// The dictionary maps (code, next byte) to a code; entries of earlier
// clears are told apart by their generation.
class Dictionary {
 public:
  Dictionary() : code_(CodeLimit * 256), generation_(CodeLimit * 256, 0) {}
  void Clear() {
    ++current_;
    free_ = FirstFreeCode;
  }
  bool Find(std::uint32_t prefix, std::uint8_t byte, std::uint32_t *code) const {
    const std::size_t slot = prefix * 256u + byte;
    if (generation_[slot] != current_) return false;
    *code = code_[slot];
    return true;
  }
  void Add(std::uint32_t prefix, std::uint8_t byte) {
    const std::size_t slot = prefix * 256u + byte;
    code_[slot] = static_cast<std::uint16_t>(free_++);
    generation_[slot] = current_;
  }
  std::uint32_t Free() const { return free_; }

 private:
  std::vector<std::uint16_t> code_;
  std::vector<std::uint32_t> generation_;
  std::uint32_t current_ = 1;
  std::uint32_t free_ = FirstFreeCode;
};

// The decoder's view: it assigns a code for every data code but the first
// after a clear, and widens once its next code reaches 2^width - 1.
struct DecoderWidth {
  std::uint32_t width = 9;
  std::uint32_t next = FirstFreeCode;
  bool first = true;
  void Clear() {
    width = 9;
    next = FirstFreeCode;
    first = true;
  }
  void DataCode() {
    if (first) {
      first = false;
      return;
    }
    ++next;
    if (next >= (1u << width) - 1u && width < 12) ++width;
  }
};

}  // namespace

Bytes LzwEncode(const Bytes &plain) {
  Bytes out;
  BitWriter bits(out);
  // Kept between calls: a fresh one zeroes 5 MB, which the fuzzers that
  // encode tables on every input cannot afford.
  static thread_local Dictionary dictionary;
  dictionary.Clear();
  DecoderWidth decoder;
  bits.Put(ClearCode, decoder.width);
  if (!plain.empty()) {
    std::uint32_t current = plain[0];
    for (std::size_t i = 1; i < plain.size(); ++i) {
      std::uint32_t longer = 0;
      if (dictionary.Find(current, plain[i], &longer)) {
        current = longer;
        continue;
      }
      bits.Put(current, decoder.width);
      decoder.DataCode();
      dictionary.Add(current, plain[i]);
      current = plain[i];
      // Start over while the decoder's next code is still below 4096.
      if (dictionary.Free() == CodeLimit) {
        bits.Put(ClearCode, decoder.width);
        decoder.Clear();
        dictionary.Clear();
      }
    }
    bits.Put(current, decoder.width);
    decoder.DataCode();
  }
  bits.Put(EndCode, decoder.width);
  bits.Flush();
  return out;
}

}  // namespace dinfo::writer
