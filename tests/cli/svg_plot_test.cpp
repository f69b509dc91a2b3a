// The SVG charts: well-formed XML, one polyline per numeric array.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outputs/svg_plot.h"
#include "xml_check.h"

namespace dinfo::cli {
namespace {

TEST(SvgPlot, OnePanelPerSeriesAndWellFormed) {
  const std::vector<Series> series = {{"entry 0", {1, 4, 9, 16}, "int32"}, {"entry 2.1 <&>", {5}, ""}, {"flat", {3, 3, 3}, ""}};
  const std::string svg = RenderSvg(series, "a \"title\" & more");
  std::string problem;
  EXPECT_TRUE(test::IsWellFormedXml(svg, &problem)) << problem << "\n" << svg;
  EXPECT_EQ(test::CountOccurrences(svg, "<polyline class=\"series\""), 3u);
  EXPECT_NE(svg.find("entry 2.1 &lt;&amp;&gt;"), std::string::npos);
}

TEST(SvgPlot, SeriesComeFromNumericArraysNestedOnesIncluded) {
  const Json view = Json::parse(R"({"entries": [
    {"index": 0, "kind": "array", "values": [1, 2, 3]},
    {"index": 1, "kind": "raw run", "bytes": "0102"},
    {"index": 2, "kind": "array", "values": ["0011223344556677"]},
    {"index": 3, "kind": "nested table", "table": {"entries": [{"index": 0, "kind": "array", "values": [-1, 1]}]}},
    {"index": 4, "kind": "array", "values": []}]})");
  const std::vector<Series> series = NumericSeries(view);
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(series[0].name, "entry 0");
  EXPECT_EQ(series[1].name, "entry 3.0");
  EXPECT_EQ(series[1].values, (std::vector<double>{-1, 1}));
  std::string problem;
  EXPECT_TRUE(test::IsWellFormedXml(RenderSvg({}, "empty"), &problem)) << problem;
}

TEST(XmlCheck, CatchesWhatABrowserWouldRefuse) {
  std::string problem;
  EXPECT_FALSE(test::IsWellFormedXml("<a><b></a></b>", &problem));
  EXPECT_FALSE(test::IsWellFormedXml("<a>x & y</a>", &problem));
  EXPECT_FALSE(test::IsWellFormedXml("<a x=1/>", &problem));
  EXPECT_FALSE(test::IsWellFormedXml("<a></a><b/>", &problem));
  EXPECT_TRUE(test::IsWellFormedXml("<?xml version=\"1.0\"?>\n<a x=\"1\"><b/>t &amp; u</a>\n", &problem)) << problem;
}

}  // namespace
}  // namespace dinfo::cli
