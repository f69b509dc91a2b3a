// Streams written by libtiff's LZW encoder (TIFF's LZW is the same code
// stream) decode to what libtiff itself decodes from them. Built only where
// libtiff is found.
#ifdef DINFO_HAVE_LIBTIFF
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <random>

#include "lzw_reference.h"
#include "lzw/lzw.h"

namespace dinfo::test {
namespace {

using writer::Bytes;

struct Strip {
  Bytes raw;      // the LZW code stream
  Bytes decoded;  // libtiff's own decoding of it
};

// One 8-bit strip of `width` x rows, written and read back by libtiff.
Strip ThroughLibtiff(const Bytes &plain, std::uint32_t width) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "dinfo_lzw_libtiff_test.tif").string();
  const auto rows = static_cast<std::uint32_t>(plain.size() / width);
  TIFF *out = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(out, nullptr);
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, rows);
  TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rows);
  TIFFWriteEncodedStrip(out, 0, const_cast<std::uint8_t *>(plain.data()),
                        static_cast<tmsize_t>(std::size_t(width) * rows));
  TIFFClose(out);
  TIFF *in = TIFFOpen(path.c_str(), "r");
  Strip strip;
  strip.raw.resize(static_cast<std::size_t>(TIFFRawStripSize(in, 0)));
  TIFFReadRawStrip(in, 0, strip.raw.data(), static_cast<tmsize_t>(strip.raw.size()));
  strip.decoded.resize(std::size_t(width) * rows);
  TIFFReadEncodedStrip(in, 0, strip.decoded.data(), static_cast<tmsize_t>(strip.decoded.size()));
  TIFFClose(in);
  std::filesystem::remove(path);
  return strip;
}

TEST(LzwLibtiffTest, DecodesWhatLibtiffDecodes) {
  std::mt19937 random(99);
  std::vector<Bytes> inputs;
  Bytes noise(1 << 20);
  for (auto &byte : noise) byte = static_cast<std::uint8_t>(random());
  inputs.push_back(noise);
  Bytes smooth(1 << 21);
  for (std::size_t i = 0; i < smooth.size(); ++i) {
    smooth[i] = static_cast<std::uint8_t>((i % 1024) / 5 + (i / 1024) / 7 + random() % 3);
  }
  inputs.push_back(smooth);
  Bytes runs;
  while (runs.size() < (1u << 21)) runs.insert(runs.end(), 1 + random() % 5000, std::uint8_t(random()));
  runs.resize(1 << 21);
  inputs.push_back(runs);
  inputs.push_back(Bytes(1024, 0x33));
  inputs.push_back(Bytes(noise.begin(), noise.begin() + 1024));
  for (const Bytes &plain : inputs) {
    const Strip strip = ThroughLibtiff(plain, 1024);
    ASSERT_EQ(strip.decoded, plain);
    const LzwExpansion expansion =
        ExpandLzw(strip.raw.data(), static_cast<std::int32_t>(strip.raw.size()));
    ASSERT_EQ(expansion.fault, Fault::None);
    const Block output = expansion.output.get();
    EXPECT_EQ(Bytes(output.begin() + OutputHeaderRoom, output.end()), strip.decoded);
  }
}

}  // namespace
}  // namespace dinfo::test
#endif  // DINFO_HAVE_LIBTIFF
