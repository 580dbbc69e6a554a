#include "search/search_report.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/conversions.h"

namespace gp::sim {
namespace {

constexpr double kWidth = 1000, kHeight = 600;
constexpr const char* kBestColour = "#1f5fbf";
constexpr const char* kStartColour = "#d9822b";
constexpr const char* kPointColour = "#a0a0a0";

struct Box {
  double left, top, width, height;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

std::string Num(double v, int digits = 1) { return FixedText(v, digits); }

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
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

// Round numbers for an axis from lo to hi: about `count` of them, 1, 2 or 5
// times a power of ten apart.
std::vector<double> Ticks(double lo, double hi, int count) {
  const double raw = (hi - lo) / count;
  if (!(raw > 0) || !std::isfinite(raw)) return {lo};
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (const double f : {1.0, 2.0, 5.0, 10.0}) {
    step = f * power;
    if (step >= raw) break;
  }
  std::vector<double> ticks;
  for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) ticks.push_back(std::abs(t) < step * 1e-9 ? 0 : t);
  return ticks;
}

int Decimals(const std::vector<double>& ticks) {
  if (ticks.size() < 2) return 2;
  const double step = ticks[1] - ticks[0];
  return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start", int size = 13,
                 const char* extra = "") {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + std::to_string(size) +
         "\" text-anchor=\"" + anchor + "\"" + extra + ">" + Escaped(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const char* style) {
  return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\" " +
         style + "/>\n";
}

std::string Polyline(const std::vector<std::pair<double, double>>& points, const char* colour, double width,
                     const char* extra = "") {
  if (points.empty()) return {};
  std::string s = "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"" + Num(width) +
                  "\" stroke-linejoin=\"round\"" + extra + " points=\"";
  for (const auto& [x, y] : points) s += Num(x) + "," + Num(y) + " ";
  return s + "\"/>\n";
}

// Frame, grid and tick labels of one chart; returns the SVG.
std::string Axes(const Box& box, const std::vector<double>& xTicks, const std::vector<double>& yTicks,
                 double x0, double x1, double y0, double y1, const std::string& xLabel, const std::string& yLabel) {
  std::string s;
  const auto px = [&](double x) { return box.left + (x - x0) / (x1 - x0) * box.width; };
  const auto py = [&](double y) { return box.bottom() - (y - y0) / (y1 - y0) * box.height; };
  s += "<rect x=\"" + Num(box.left) + "\" y=\"" + Num(box.top) + "\" width=\"" + Num(box.width) + "\" height=\"" +
       Num(box.height) + "\" fill=\"#ffffff\" stroke=\"#404040\"/>\n";
  const int xd = Decimals(xTicks), yd = Decimals(yTicks);
  for (const double t : xTicks) {
    if (t < x0 || t > x1) continue;
    s += Line(px(t), box.top, px(t), box.bottom(), "stroke=\"#e4e4e4\"");
    s += Text(px(t), box.bottom() + 18, Num(t, xd), "middle", 12);
  }
  for (const double t : yTicks) {
    if (t < y0 || t > y1) continue;
    s += Line(box.left, py(t), box.right(), py(t), t == 0 ? "stroke=\"#b0b0b0\"" : "stroke=\"#e4e4e4\"");
    s += Text(box.left - 6, py(t) + 4, Num(t, yd), "end", 12);
  }
  s += Text(box.left + box.width / 2, box.bottom() + 40, xLabel, "middle", 13);
  s += "<text x=\"" + Num(box.left - 52) + "\" y=\"" + Num(box.top + box.height / 2) +
       "\" font-size=\"13\" text-anchor=\"middle\" transform=\"rotate(-90 " + Num(box.left - 52) + " " +
       Num(box.top + box.height / 2) + ")\">" + Escaped(yLabel) + "</text>\n";
  return s;
}

std::string LegendEntry(double x, double y, const char* colour, const std::string& label, const char* dash = "") {
  return Line(x, y - 4, x + 24, y - 4, (std::string("stroke=\"") + colour + "\" stroke-width=\"3\"" + dash).c_str()) +
         Text(x + 30, y, label, "start", 12);
}

std::string ScoreChart(const SearchResult& result, const Box& box) {
  const std::string unit = GoalUnit(result.goal);
  std::vector<double> scores;
  for (const auto& e : result.history)
    if (!e.failed) scores.push_back(e.score);
  double lo = 0, hi = 0;
  if (!scores.empty()) {
    lo = std::min(0.0, *std::min_element(scores.begin(), scores.end()));
    hi = std::max(0.0, *std::max_element(scores.begin(), scores.end()));
  }
  if (hi - lo < 1e-9) hi = lo + 1;
  const double pad = (hi - lo) * 0.05;
  lo -= pad;
  hi += pad;
  const double n = std::max<double>(static_cast<double>(result.history.size()), 2);
  const std::vector<double> xTicks = Ticks(1, n, 6);
  const std::vector<double> yTicks = Ticks(lo, hi, 6);
  std::string s = Axes(box, xTicks, yTicks, 1, n, lo, hi, "evaluations, in the search's order",
                       std::string("score (") + unit + ")");
  const auto px = [&](double x) { return box.left + (x - 1) / (n - 1) * box.width; };
  const auto py = [&](double y) { return box.bottom() - (y - lo) / (hi - lo) * box.height; };

  std::vector<std::pair<double, double>> best;
  bool have = false;
  double bestSoFar = 0;
  for (std::size_t i = 0; i < result.history.size(); ++i) {
    const auto& e = result.history[i];
    const double x = px(static_cast<double>(i + 1));
    if (e.failed) {
      s += Line(x, box.bottom() - 6, x, box.bottom(), "stroke=\"#c00000\"");
      continue;
    }
    if (e.rejected) {
      // Scored, but a gait the line could not carry: never the best.
      s += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(py(e.score)) + "\" r=\"2.2\" fill=\"none\" stroke=\"" +
           kPointColour + "\"/>\n";
      continue;
    }
    s += "<circle cx=\"" + Num(x) + "\" cy=\"" + Num(py(e.score)) + "\" r=\"2.2\" fill=\"" + kPointColour + "\"/>\n";
    if (!have || e.score > bestSoFar) {
      if (have) best.emplace_back(x, py(bestSoFar));
      bestSoFar = e.score;
      have = true;
      best.emplace_back(x, py(bestSoFar));
    }
  }
  if (have) best.emplace_back(px(static_cast<double>(result.history.size())), py(bestSoFar));
  if (result.haveStart)
    s += Line(box.left, py(result.startScore), box.right(), py(result.startScore),
              (std::string("stroke=\"") + kStartColour + "\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"").c_str());
  s += Polyline(best, kBestColour, 2.5);
  // The key below the chart, where no curve can hide it.
  const double y = box.bottom() + 68;
  s += LegendEntry(box.left, y, kBestColour, "best so far");
  if (result.haveStart) s += LegendEntry(box.left + 120, y, kStartColour, "start gait", " stroke-dasharray=\"6 4\"");
  s += "<circle cx=\"" + Num(box.left + 252) + "\" cy=\"" + Num(y - 4) + "\" r=\"2.5\" fill=\"" + kPointColour + "\"/>\n";
  s += Text(box.left + 262, y, "each evaluation", "start", 12);
  return s;
}

std::string PathChart(const SearchResult& result, const Box& box) {
  std::vector<const std::vector<std::array<double, 3>>*> paths;
  if (result.haveStart) paths.push_back(&result.startRun.path);
  if (result.haveBest) paths.push_back(&result.bestRun.path);
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  for (const auto* path : paths) {
    for (const auto& p : *path) {
      x0 = std::min(x0, p[1]);
      x1 = std::max(x1, p[1]);
      y0 = std::min(y0, p[2]);
      y1 = std::max(y1, p[2]);
    }
  }
  // Equal scales on both axes, so that a curve looks as curved as it is.
  double span = std::max({x1 - x0, y1 - y0, 0.1}) * 1.1;
  const double aspect = box.width / box.height;
  double w = span, h = span;
  if (aspect > 1) w = span * aspect;
  else h = span / aspect;
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  x0 = cx - w / 2;
  x1 = cx + w / 2;
  y0 = cy - h / 2;
  y1 = cy + h / 2;
  std::string s = Axes(box, Ticks(x0, x1, 6), Ticks(y0, y1, 6), x0, x1, y0, y1, "x (m)", "y (m)");
  const auto px = [&](double x) { return box.left + (x - x0) / (x1 - x0) * box.width; };
  const auto py = [&](double y) { return box.bottom() - (y - y0) / (y1 - y0) * box.height; };
  const auto draw = [&](const std::vector<std::array<double, 3>>& path, const char* colour, const char* dash) {
    std::vector<std::pair<double, double>> points;
    for (const auto& p : path) points.emplace_back(px(p[1]), py(p[2]));
    std::string out = Polyline(points, colour, 2.5, dash);
    if (!points.empty())
      out += "<circle cx=\"" + Num(points.back().first) + "\" cy=\"" + Num(points.back().second) + "\" r=\"4\" fill=\"" +
             colour + "\"/>\n";
    return out;
  };
  if (result.haveStart) s += draw(result.startRun.path, kStartColour, " stroke-dasharray=\"6 4\"");
  if (result.haveBest) s += draw(result.bestRun.path, kBestColour, "");
  s += "<circle cx=\"" + Num(px(0)) + "\" cy=\"" + Num(py(0)) + "\" r=\"5\" fill=\"none\" stroke=\"#000000\"/>\n";
  const double seconds = result.haveBest ? result.bestRun.seconds : result.startRun.seconds;
  const double y = box.bottom() + 68;
  s += LegendEntry(box.left, y, kBestColour, "best gait");
  if (result.haveStart) s += LegendEntry(box.left + 120, y, kStartColour, "start gait", " stroke-dasharray=\"6 4\"");
  s += Text(box.left, y + 20, "centre of mass over " + Num(seconds, 0) + " s from the ring; dots: where it ended",
            "start", 12);
  return s;
}

}  // namespace

std::string SearchReportSvg(const SearchResult& result, const SearchReportText& text) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth, 0) + "\" height=\"" + Num(kHeight, 0) +
       "\" viewBox=\"0 0 " + Num(kWidth, 0) + " " + Num(kHeight, 0) +
       "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" fill=\"#202020\">\n";
  s += "<title>" + Escaped(text.title) + "</title>\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"#f7f7f7\"/>\n";
  s += Text(30, 32, text.title, "start", 18, " font-weight=\"bold\"");
  s += Text(30, 56, text.subtitle, "start", 13);
  s += Text(30, 76, text.detail, "start", 13);
  const Box left{90, 120, 380, 360};
  const Box right{590, 120, 380, 360};
  s += Text(left.left, left.top - 12, "Best score against evaluations", "start", 14, " font-weight=\"bold\"");
  s += Text(right.left, right.top - 12, "Path on the floor, seen from above", "start", 14, " font-weight=\"bold\"");
  s += ScoreChart(result, left);
  s += PathChart(result, right);
  return s + "</svg>\n";
}

}  // namespace gp::sim
