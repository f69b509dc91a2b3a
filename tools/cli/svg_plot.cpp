#include "svg_plot.h"

#include <algorithm>
#include <cstdio>

namespace dinfo::cli {
namespace {

constexpr double Width = 800;
constexpr double PanelHeight = 200;
constexpr double TitleHeight = 40;
constexpr double MarginLeft = 70;
constexpr double MarginRight = 20;
constexpr double MarginTop = 28;
constexpr double MarginBottom = 30;

std::string Escape(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string Coordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

void CollectSeries(const Json &view, const std::string &prefix, std::vector<Series> &out) {
  for (const Json &entry : view.value("entries", Json::array())) {
    const std::string name = prefix + entry["index"].dump();
    if (entry["kind"] == "nested table" && entry.contains("table")) {
      CollectSeries(entry["table"], name + ".", out);
      continue;
    }
    if (entry["kind"] != "array" || !entry.contains("values") || entry["values"].empty()) continue;
    if (!entry["values"][0].is_number()) continue;
    Series series{"entry " + name, {}};
    for (const Json &value : entry["values"]) series.values.push_back(value.get<double>());
    out.push_back(series);
  }
}

// One panel: frame, axis labels, and the series as a polyline scaled to it.
std::string Panel(const Series &series, std::size_t index, double top) {
  const double left = MarginLeft;
  const double right = Width - MarginRight;
  const double plotTop = top + MarginTop;
  const double bottom = top + PanelHeight - MarginBottom;
  auto [lowIt, highIt] = std::minmax_element(series.values.begin(), series.values.end());
  double low = *lowIt;
  double high = *highIt;
  if (high == low) {
    low -= 1;
    high += 1;
  }
  const std::size_t count = series.values.size();
  std::string points;
  for (std::size_t i = 0; i < count; ++i) {
    const double x = count == 1 ? (left + right) / 2 : left + (right - left) * double(i) / double(count - 1);
    const double y = bottom - (bottom - plotTop) * (series.values[i] - low) / (high - low);
    points += (points.empty() ? "" : " ") + Coordinate(x) + "," + Coordinate(y);
  }
  std::string out = "  <g class=\"panel\" id=\"panel-" + std::to_string(index) + "\">\n";
  out += "    <text x=\"" + Coordinate(left) + "\" y=\"" + Coordinate(top + 18) + "\" class=\"name\">" +
         Escape(series.name) + " (" + std::to_string(count) + " values)</text>\n";
  out += "    <rect x=\"" + Coordinate(left) + "\" y=\"" + Coordinate(plotTop) + "\" width=\"" +
         Coordinate(right - left) + "\" height=\"" + Coordinate(bottom - plotTop) + "\" class=\"frame\"/>\n";
  out += "    <text x=\"" + Coordinate(left - 6) + "\" y=\"" + Coordinate(plotTop + 4) + "\" class=\"axis\" text-anchor=\"end\">" +
         Number(*highIt) + "</text>\n";
  out += "    <text x=\"" + Coordinate(left - 6) + "\" y=\"" + Coordinate(bottom) + "\" class=\"axis\" text-anchor=\"end\">" +
         Number(*lowIt) + "</text>\n";
  out += "    <text x=\"" + Coordinate(left) + "\" y=\"" + Coordinate(bottom + 16) + "\" class=\"axis\">0</text>\n";
  out += "    <text x=\"" + Coordinate(right) + "\" y=\"" + Coordinate(bottom + 16) + "\" class=\"axis\" text-anchor=\"end\">" +
         std::to_string(count - 1) + "</text>\n";
  out += "    <polyline class=\"series\" data-name=\"" + Escape(series.name) + "\" points=\"" + points + "\"/>\n";
  if (count == 1) {
    const std::size_t comma = points.find(',');
    out += "    <circle class=\"point\" cx=\"" + points.substr(0, comma) + "\" cy=\"" + points.substr(comma + 1) +
           "\" r=\"3\"/>\n";
  }
  out += "  </g>\n";
  return out;
}

}  // namespace

std::vector<Series> NumericSeries(const Json &tableView) {
  std::vector<Series> out;
  CollectSeries(tableView, "", out);
  return out;
}

std::string RenderSvg(const std::vector<Series> &series, const std::string &title) {
  const double height = TitleHeight + PanelHeight * double(std::max<std::size_t>(series.size(), 1));
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Coordinate(Width) + "\" height=\"" +
         Coordinate(height) + "\" viewBox=\"0 0 " + Coordinate(Width) + " " + Coordinate(height) + "\">\n";
  out += "  <style>\n"
         "    text { font-family: sans-serif; font-size: 12px; fill: #222; }\n"
         "    .title { font-size: 16px; font-weight: bold; }\n"
         "    .axis { fill: #555; }\n"
         "    .frame { fill: #fafafa; stroke: #bbb; }\n"
         "    .series { fill: none; stroke: #1f6fb4; stroke-width: 1.5; }\n"
         "    .point { fill: #1f6fb4; }\n"
         "  </style>\n";
  out += "  <rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  out += "  <text x=\"" + Coordinate(MarginLeft) + "\" y=\"26\" class=\"title\">" + Escape(title) + "</text>\n";
  if (series.empty()) {
    out += "  <text x=\"" + Coordinate(MarginLeft) + "\" y=\"" + Coordinate(TitleHeight + 30) +
           "\">the table holds no numeric array</text>\n";
  }
  for (std::size_t i = 0; i < series.size(); ++i) out += Panel(series[i], i, TitleHeight + PanelHeight * double(i));
  out += "</svg>\n";
  return out;
}

std::string PlotTableArrays(const Json &tableView, const std::string &title) {
  return RenderSvg(NumericSeries(tableView), "table of " + title);
}

}  // namespace dinfo::cli
