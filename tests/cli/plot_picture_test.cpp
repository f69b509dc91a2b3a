// Plots as people see them: rendered to PNG by rsvg-convert, the picture
// has the expected size and a drawn plot area, and a table of 500,000
// values stays small and keeps its extreme values readable.
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "cli_test_support.h"
#include "xml_check.h"

namespace dinfo::cli::test {
namespace {

using writer::Bytes;

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t channels = 0;        // 3 (RGB) or 4 (RGBA)
  std::vector<std::uint8_t> pixels;  // rows of width * channels bytes
  const std::uint8_t *Pixel(std::uint32_t x, std::uint32_t y) const {
    return &pixels[(std::size_t(y) * width + x) * channels];
  }
};

std::uint32_t BigEndian(const std::uint8_t *at) {
  return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

std::uint8_t Paeth(int left, int up, int upLeft) {
  const int estimate = left + up - upLeft;
  const int toLeft = std::abs(estimate - left), toUp = std::abs(estimate - up), toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<std::uint8_t>(left);
  return static_cast<std::uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// The 8-bit RGB or RGBA, non-interlaced PNG that rsvg-convert writes.
Picture DecodePng(const Bytes &png) {
  Picture picture;
  const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 33 || !std::equal(signature, signature + 8, png.begin())) return picture;
  Bytes compressed;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = BigEndian(&png[at]);
    const std::string type(png.begin() + std::ptrdiff_t(at + 4), png.begin() + std::ptrdiff_t(at + 8));
    if (at + 12 + length > png.size()) return Picture{};
    const std::uint8_t *data = &png[at + 8];
    if (type == "IHDR") {
      if (data[8] != 8 || (data[9] != 2 && data[9] != 6) || data[12] != 0) return Picture{};
      picture.channels = data[9] == 6 ? 4 : 3;
      picture.width = BigEndian(data);
      picture.height = BigEndian(data + 4);
    }
    if (type == "IDAT") compressed.insert(compressed.end(), data, data + length);
    at += 12 + length;
  }
  const std::size_t stride = std::size_t(picture.width) * picture.channels;
  const std::size_t step = picture.channels;
  Bytes filtered((stride + 1) * picture.height);
  uLongf size = static_cast<uLongf>(filtered.size());
  if (uncompress(filtered.data(), &size, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK ||
      size != filtered.size()) {
    return Picture{};
  }
  picture.pixels.resize(stride * picture.height);
  for (std::size_t y = 0; y < picture.height; ++y) {
    const std::uint8_t filter = filtered[y * (stride + 1)];
    for (std::size_t i = 0; i < stride; ++i) {
      const int left = i >= step ? picture.pixels[y * stride + i - step] : 0;
      const int up = y > 0 ? picture.pixels[(y - 1) * stride + i] : 0;
      const int upLeft = y > 0 && i >= step ? picture.pixels[(y - 1) * stride + i - step] : 0;
      const int raw = filtered[y * (stride + 1) + 1 + i];
      const int predicted = filter == 1 ? left : filter == 2 ? up : filter == 3 ? (left + up) / 2
                            : filter == 4 ? Paeth(left, up, upLeft) : 0;
      picture.pixels[y * stride + i] = static_cast<std::uint8_t>(raw + predicted);
    }
  }
  return picture;
}

// Pixels in the rectangle drawn in the series' blue.
std::size_t SeriesPixels(const Picture &picture, std::uint32_t left, std::uint32_t top, std::uint32_t right,
                         std::uint32_t bottom) {
  std::size_t count = 0;
  for (std::uint32_t y = top; y < bottom && y < picture.height; ++y) {
    for (std::uint32_t x = left; x < right && x < picture.width; ++x) {
      const std::uint8_t *pixel = picture.Pixel(x, y);
      count += pixel[2] > 120 && pixel[2] > pixel[0] + 60 ? 1 : 0;
    }
  }
  return count;
}

class PlotPictureTest : public CliTest {
 protected:
  // The picture rsvg-convert makes of the SVG, or none when the tool is
  // missing outside CI.
  std::optional<Picture> Render(const std::string &svg) const {
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string command = "rsvg-convert '" + Path(svg) + "' -o '" + Path(svg + ".png") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return DecodePng(ReadFile(svg + ".png"));
  }
};

#define RENDER_OR_SKIP(picture, svg)                                                      \
  const std::optional<Picture> picture = Render(svg);                                     \
  if (!picture) {                                                                         \
    if (std::getenv("CI") != nullptr) FAIL() << "rsvg-convert (librsvg2-bin) is missing"; \
    GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";                       \
  }

TEST_F(PlotPictureTest, TheSampleTableIsDrawnWithLabelledAxes) {
  const std::string file = BuildSample();
  const RunResult result = Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--plot", "sample.svg"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Bytes svgBytes = ReadFile("sample.svg");
  const std::string svg(svgBytes.begin(), svgBytes.end());
  EXPECT_NE(svg.find("entry 0: 33 i16 values, min 0, max 4095"), std::string::npos);
  EXPECT_NE(svg.find("selector 1, condition 9=0; arrays as i8, i16, i32"), std::string::npos);
  EXPECT_GE(CountOccurrences(svg, "class=\"grid\""), 4u * 8u);
  EXPECT_NE(svg.find(">4000</text>"), std::string::npos);  // a y tick of the first panel
  // The plot never replaces the file it was drawn from.
  const Bytes before = ReadFile("sample.dat");
  EXPECT_EQ(Dinfo({"table", file, "--selector", "1", "--cond", "9=0", "--plot", file}).exitCode, 2);
  EXPECT_EQ(ReadFile("sample.dat"), before);

  RENDER_OR_SKIP(picture, "sample.svg");
  ASSERT_EQ(picture->width, 800u);
  ASSERT_EQ(picture->height, 40u + 4u * 230u);
  // Each of the four panels has its series drawn inside its frame, and
  // nothing blue lies in the margins left of the frames.
  for (std::uint32_t panel = 0; panel < 4; ++panel) {
    const std::uint32_t top = 40 + panel * 230;
    EXPECT_GT(SeriesPixels(*picture, 92, top + 44, 780, top + 194), 300u) << "panel " << panel;
  }
  EXPECT_EQ(SeriesPixels(*picture, 0, 0, 80, picture->height), 0u);
}

TEST_F(PlotPictureTest, HalfAMillionValuesAreThinnedAndTheirExtremesLabelledInFull) {
  Json values = Json::array();
  for (int i = 0; i < 500000; ++i) values.push_back(i % 1000 == 0 ? INT32_MIN : (i % 1000 == 500 ? INT32_MAX : i));
  const Json description = {
      {"sections", {8, 12}},
      {"records",
       {{{"id", 1000}, {"keyed", {{"kind", "single"}, {"valuesPerRow", 1}, {"rows", {{{"values", {0}}}, {{"values", {3}}}}}}}},
        {{"id", 1005}, {"keyed", {{"kind", "single"}, {"valuesPerRow", 3},
                                  {"rows", {{{"values", {80, 12, 0}}}, {{"values", {81, 1, 0}}}}}}}},
        {{"section", 12}, {"id", 1}, {"table", {{"entries", {{{"elementSize", 4}, {"array", values}}}}}}}}}};
  WriteText("large.json", description.dump());
  ASSERT_EQ(Dinfo({"build", "large.json", "-o", "large.dat", "--force"}).exitCode, 0);
  const RunResult result = Dinfo({"table", "large.dat", "--plot", "large.svg"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Bytes svgBytes = ReadFile("large.svg");
  EXPECT_LT(svgBytes.size(), 300u * 1024u);
  const std::string svg(svgBytes.begin(), svgBytes.end());
  std::string problem;
  EXPECT_TRUE(IsWellFormedXml(svg, &problem)) << problem;
  EXPECT_NE(svg.find("500000 i32 values, min -2147483648, max 2147483647 (min and max per pixel column)"),
            std::string::npos);
  EXPECT_NE(svg.find(">-2000000000</text>"), std::string::npos);
  EXPECT_NE(svg.find(">400000</text>"), std::string::npos);  // an x tick

  RENDER_OR_SKIP(picture, "large.svg");
  ASSERT_EQ(picture->width, 800u);
  // The band reaches from the bottom of the frame to its top.
  EXPECT_GT(SeriesPixels(*picture, 92, 84, 780, 90), 100u);
  EXPECT_GT(SeriesPixels(*picture, 92, 228, 780, 234), 100u);
}

}  // namespace
}  // namespace dinfo::cli::test
