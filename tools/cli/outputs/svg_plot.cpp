#include "outputs/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dinfo::cli {
namespace {

constexpr double Width = 800;
constexpr double PanelHeight = 230;
constexpr double TitleHeight = 40;
constexpr double MarginLeft = 92;  // room for "-2147483648"
constexpr double MarginRight = 20;
constexpr double MarginTop = 44;
constexpr double MarginBottom = 36;
constexpr int TickTarget = 6;

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

// Whole numbers in full (an int32 has up to 11 characters), others short.
std::string Number(double value) {
  char text[40];
  if (std::nearbyint(value) == value && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value == 0 ? 0.0 : value);
  } else {
    std::snprintf(text, sizeof text, "%.6g", value);
  }
  return text;
}

std::string Coordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
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
    Series series{"entry " + name, {}, entry.value("view", std::string())};
    series.values.reserve(entry["values"].size());
    for (const Json &value : entry["values"]) series.values.push_back(value.get<double>());
    out.push_back(std::move(series));
  }
}

// Round steps (1, 2 or 5 times a power of ten) from low to high, whole
// numbers when `whole`.
std::vector<double> Ticks(double low, double high, bool whole) {
  const double raw = (high - low) / TickTarget;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double residual = raw / magnitude;
  double step = (residual > 5 ? 10 : residual > 2 ? 5 : residual > 1 ? 2 : 1) * magnitude;
  if (whole) step = std::max(step, 1.0);
  std::vector<double> ticks;
  for (double tick = std::ceil(low / step) * step; tick <= high + step * 1e-9; tick += step) {
    ticks.push_back(std::fabs(tick) < step * 1e-9 ? 0 : tick);
  }
  return ticks;
}

struct Frame {
  double left, right, top, bottom;
  double low, high;  // the value range the frame spans
  std::size_t count;
  double X(double index) const {
    return count == 1 ? (left + right) / 2 : left + (right - left) * index / double(count - 1);
  }
  double Y(double value) const { return bottom - (bottom - top) * (value - low) / (high - low); }
};

// The series as points: every value, or for a series longer than the
// frame is wide, each pixel column's minimum and maximum.
std::string Points(const Series &series, const Frame &frame) {
  const std::size_t count = series.values.size();
  const auto columns = static_cast<std::size_t>(frame.right - frame.left);
  std::string points;
  auto add = [&](double x, double value) {
    points += (points.empty() ? "" : " ") + Coordinate(x) + "," + Coordinate(frame.Y(value));
  };
  if (count <= 2 * columns) {
    for (std::size_t i = 0; i < count; ++i) add(frame.X(double(i)), series.values[i]);
    return points;
  }
  for (std::size_t column = 0; column < columns; ++column) {
    const std::size_t begin = count * column / columns;
    const std::size_t end = count * (column + 1) / columns;
    const auto [low, high] = std::minmax_element(series.values.begin() + std::ptrdiff_t(begin),
                                                 series.values.begin() + std::ptrdiff_t(end));
    const double x = frame.left + double(column) + 0.5;
    add(x, *low);
    add(x, *high);
  }
  return points;
}

std::string Axes(const Frame &frame) {
  std::string out;
  for (double tick : Ticks(frame.low, frame.high, false)) {
    const std::string y = Coordinate(frame.Y(tick));
    out += "    <line class=\"grid\" x1=\"" + Coordinate(frame.left) + "\" y1=\"" + y + "\" x2=\"" +
           Coordinate(frame.right) + "\" y2=\"" + y + "\"/>\n";
    out += "    <line class=\"tick\" x1=\"" + Coordinate(frame.left - 5) + "\" y1=\"" + y + "\" x2=\"" +
           Coordinate(frame.left) + "\" y2=\"" + y + "\"/>\n";
    out += "    <text class=\"axis\" x=\"" + Coordinate(frame.left - 8) + "\" y=\"" + Coordinate(frame.Y(tick) + 4) +
           "\" text-anchor=\"end\">" + Number(tick) + "</text>\n";
  }
  const double lastIndex = double(frame.count - 1);
  const std::vector<double> xTicks = frame.count == 1 ? std::vector<double>{0} : Ticks(0, lastIndex, true);
  for (double tick : xTicks) {
    const std::string x = Coordinate(frame.X(tick));
    out += "    <line class=\"grid\" x1=\"" + x + "\" y1=\"" + Coordinate(frame.top) + "\" x2=\"" + x + "\" y2=\"" +
           Coordinate(frame.bottom) + "\"/>\n";
    out += "    <line class=\"tick\" x1=\"" + x + "\" y1=\"" + Coordinate(frame.bottom) + "\" x2=\"" + x + "\" y2=\"" +
           Coordinate(frame.bottom + 5) + "\"/>\n";
    out += "    <text class=\"axis\" x=\"" + x + "\" y=\"" + Coordinate(frame.bottom + 17) +
           "\" text-anchor=\"middle\">" + Number(tick) + "</text>\n";
  }
  out += "    <text class=\"axis\" x=\"" + Coordinate(frame.right) + "\" y=\"" + Coordinate(frame.bottom + 31) +
         "\" text-anchor=\"end\">element index</text>\n";
  return out;
}

// One panel: title, frame, grid, ticked axes, and the series.
std::string Panel(const Series &series, std::size_t index, double top, const std::string &query) {
  const auto [lowIt, highIt] = std::minmax_element(series.values.begin(), series.values.end());
  Frame frame{MarginLeft, Width - MarginRight, top + MarginTop, top + PanelHeight - MarginBottom,
              *lowIt, *highIt, series.values.size()};
  if (frame.high == frame.low) frame.low -= 1, frame.high += 1;
  std::string heading = series.name + ": " + std::to_string(frame.count) + " " +
                        (series.type.empty() ? "values" : series.type + " values") + ", min " + Number(*lowIt) +
                        ", max " + Number(*highIt);
  if (frame.count > 2 * std::size_t(frame.right - frame.left)) heading += " (min and max per pixel column)";
  std::string out = "  <g class=\"panel\" id=\"panel-" + std::to_string(index) + "\">\n";
  out += "    <text x=\"" + Coordinate(frame.left) + "\" y=\"" + Coordinate(top + 16) + "\" class=\"name\">" +
         Escape(heading) + "</text>\n";
  out += "    <text x=\"" + Coordinate(frame.left) + "\" y=\"" + Coordinate(top + 32) + "\" class=\"query\">" +
         Escape(query) + "</text>\n";
  out += "    <rect x=\"" + Coordinate(frame.left) + "\" y=\"" + Coordinate(frame.top) + "\" width=\"" +
         Coordinate(frame.right - frame.left) + "\" height=\"" + Coordinate(frame.bottom - frame.top) +
         "\" class=\"frame\"/>\n";
  out += Axes(frame);
  const std::string points = Points(series, frame);
  out += "    <polyline class=\"series\" data-name=\"" + Escape(series.name) + "\" points=\"" + points + "\"/>\n";
  if (frame.count == 1) {
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
         "    .query { fill: #555; }\n"
         "    .axis { font-size: 11px; fill: #555; }\n"
         "    .frame { fill: #fcfcfc; stroke: #999; }\n"
         "    .grid { stroke: #e4e4e4; stroke-width: 1; }\n"
         "    .tick { stroke: #999; stroke-width: 1; }\n"
         "    .series { fill: none; stroke: #1f6fb4; stroke-width: 1.5; stroke-linejoin: round; }\n"
         "    .point { fill: #1f6fb4; }\n"
         "  </style>\n";
  out += "  <rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  out += "  <text x=\"" + Coordinate(MarginLeft) + "\" y=\"26\" class=\"title\">" + Escape(title) + "</text>\n";
  if (series.empty()) {
    out += "  <text x=\"" + Coordinate(MarginLeft) + "\" y=\"" + Coordinate(TitleHeight + 30) +
           "\">the table holds no numeric array</text>\n";
  }
  for (std::size_t i = 0; i < series.size(); ++i) {
    out += Panel(series[i], i, TitleHeight + PanelHeight * double(i), title);
  }
  out += "</svg>\n";
  return out;
}

std::string PlotTableArrays(const Json &tableView, const std::string &title) {
  return RenderSvg(NumericSeries(tableView), title);
}

}  // namespace dinfo::cli
