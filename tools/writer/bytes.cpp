#include "writer/writer.h"

#include <cstdio>

namespace dinfo::writer {

void AppendI16(Bytes &out, std::int16_t value) {
  const auto bits = static_cast<std::uint16_t>(value);
  out.push_back(static_cast<std::uint8_t>(bits));
  out.push_back(static_cast<std::uint8_t>(bits >> 8));
}

void AppendI32(Bytes &out, std::int32_t value) {
  out.resize(out.size() + 4);
  PutI32(out, out.size() - 4, value);
}

void PutI32(Bytes &out, std::size_t at, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int k = 0; k < 4; ++k) out[at + std::size_t(k)] = static_cast<std::uint8_t>(bits >> (8 * k));
}

Bytes PackValues(const std::vector<std::int32_t> &values, int width) {
  Bytes out;
  for (std::int32_t value : values) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int k = 0; k < width; ++k) out.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
  }
  return out;
}

Bytes PackText(const std::string &text) {
  Bytes out(256, 0);
  for (std::size_t i = 0; i < text.size() && i < 256; ++i) out[i] = static_cast<std::uint8_t>(text[i]);
  return out;
}

Bytes PackNamedEntry(std::int32_t leading, const std::string &name, std::int32_t trailing) {
  Bytes out;
  AppendI32(out, leading);
  Bytes text = PackText(name);
  out.insert(out.end(), text.begin(), text.end());
  AppendI32(out, trailing);
  return out;
}

bool WriteBytes(const std::string &path, const Bytes &bytes) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace dinfo::writer
