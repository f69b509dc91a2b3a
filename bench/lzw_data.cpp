#include "lzw_data.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace dinfo::bench {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t Width = 2048;

// Words of a made-up language, drawn with a skewed (Zipf-like) frequency,
// with numbers, punctuation and line breaks.
Bytes TextLike(std::size_t size, std::mt19937 &random) {
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    const int length = 1 + static_cast<int>(random() % 9);
    for (int k = 0; k < length; ++k) word.push_back(static_cast<char>('a' + random() % 26));
    words.push_back(word);
  }
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Bytes text;
  while (text.size() < size) {
    const auto rank = static_cast<std::size_t>(std::pow(3000.0, unit(random))) - 1;
    std::string word = words[rank];
    if (random() % 12 == 0) word[0] = static_cast<char>(word[0] - 32);
    if (random() % 15 == 0) word = std::to_string(random() % 100000);
    const char *separators[] = {" ", " ", " ", " ", ", ", ". ", "\n", "; ", " - "};
    word += separators[random() % 9];
    text.insert(text.end(), word.begin(), word.end());
  }
  text.resize(size);
  return text;
}

// A grey image: gradients, discs, flat regions and regions of mild and
// strong noise.
Bytes ImageLike(std::size_t size, std::mt19937 &random) {
  const std::size_t rows = size / Width;
  Bytes image(size);
  struct Disc {
    double x, y, r;
    int level;
  };
  std::vector<Disc> discs;
  for (int i = 0; i < 60; ++i) {
    discs.push_back({double(random() % Width), double(random() % rows), double(20 + random() % 200),
                     int(random() % 256)});
  }
  for (std::size_t y = 0; y < rows; ++y) {
    const int noise = (y / 256) % 4 == 0 ? 0 : (y / 256) % 4 == 1 ? 2 : (y / 256) % 4 == 2 ? 6 : 24;
    for (std::size_t x = 0; x < Width; ++x) {
      double value = 128 + 100 * std::sin(double(x) / 300.0) * std::cos(double(y) / 410.0);
      for (const Disc &d : discs) {
        const double dx = double(x) - d.x;
        const double dy = double(y) - d.y;
        if (dx * dx + dy * dy < d.r * d.r) value = d.level;
      }
      if (noise > 0) value += double(int(random() % std::uint32_t(2 * noise + 1)) - noise);
      image[y * Width + x] = static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
    }
  }
  return image;
}

Bytes RandomBytes(std::size_t size, std::mt19937 &random) {
  Bytes bytes(size);
  for (auto &byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Runs of one byte, 200 to 20000 long.
Bytes RunHeavy(std::size_t size, std::mt19937 &random) {
  Bytes bytes;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  while (bytes.size() < size) {
    const auto length = static_cast<std::size_t>(200.0 * std::pow(100.0, unit(random)));
    bytes.insert(bytes.end(), length, static_cast<std::uint8_t>(random()));
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> MakeLzwData(LzwData kind, std::size_t size, std::mt19937 &random) {
  switch (kind) {
    case LzwData::Text: return TextLike(size, random);
    case LzwData::Image: return ImageLike(size, random);
    case LzwData::Random: return RandomBytes(size, random);
    case LzwData::Runs: return RunHeavy(size, random);
  }
  return {};
}

}  // namespace dinfo::bench
