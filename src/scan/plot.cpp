#include "scan/plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mglink::scan {

namespace {

std::string xml(const std::string& s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '"': o += "&quot;"; break;
      default: o += c;
    }
  }
  return o;
}

std::string fmt(double v, int decimals = 1) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

struct Point {
  std::string marker;
  double x = 0;  // position (or index)
  double lod = 0;
};

// A LOD score beyond +-OFF_SCALE (a damaged or hand-edited table) leaves the
// axis to the other markers: it is drawn at the top (bottom) edge and
// written out next to its point.  The axis, its ticks and so the picture
// stay small whatever the table holds.
constexpr double OFF_SCALE = 1000;

bool off_scale(double lod) { return lod > OFF_SCALE || lod < -OFF_SCALE; }

// A LOD score as shown: `decimals` places on the scale, the shortest text
// that reads back off it (1e+308 rather than 309 digits).
std::string lod_text(double lod, int decimals) { return off_scale(lod) ? number_text(lod) : fmt(lod, decimals); }

// The distance between ticks on an axis spanning `range`: 1, 2 or 5 up to a
// span of 100, beyond it 10, 20, 50, 100, ... so that it holds at most 20
// steps.
double tick_step(double range) {
  if (range <= 8) return 1;
  if (range <= 20) return 2;
  if (range <= 100) return 5;
  double step = 10;
  for (int k = 0; range / step > 20; k = (k + 1) % 3) step *= k == 1 ? 2.5 : 2;
  return step;
}

struct Panel {
  std::string chr;
  std::vector<Point> points;
  double lo = 0, hi = 0;  // position range
  double left = 0, width = 0;  // in pixels
  double span = 0;  // its share of the width is in proportion to it
};

}  // namespace

std::string svg_plot(const std::vector<Row>& rows, const PlotOptions& opt) {
  // Panels: chromosomes in order of appearance; without positions one panel
  // in marker order.
  std::vector<Panel> panels;
  bool positions = true;
  for (const Row& r : rows)
    if (!r[COL_LOD].empty() && r[COL_POS].empty()) positions = false;
  long index = 0;
  for (const Row& r : rows) {
    ++index;
    double lod = 0;
    if (!parse_number(r[COL_LOD], lod)) continue;
    const std::string chr = positions ? r[COL_CHR] : "";
    auto it = std::find_if(panels.begin(), panels.end(), [&](const Panel& p) { return p.chr == chr; });
    if (it == panels.end()) {
      panels.push_back(Panel{chr, {}, 0, 0, 0, 0});
      it = panels.end() - 1;
    }
    double x = static_cast<double>(index);
    if (positions) parse_number(r[COL_POS], x);
    it->points.push_back(Point{r[COL_MARKER], x, lod});
  }

  const double W = 960, H = 420, left = 64, right = 20, top = 48, bottom = 64;
  const double plot_w = W - left - right, plot_h = H - top - bottom;
  double ymax = 3.5, ymin = 0;
  const Point* peak = nullptr;
  for (const Panel& p : panels)
    for (const Point& pt : p.points) {
      if (!off_scale(pt.lod)) {
        ymax = std::max(ymax, pt.lod);
        ymin = std::min(ymin, pt.lod);
      }
      if (peak == nullptr || pt.lod > peak->lod) peak = &pt;
    }
  ymax = std::ceil(ymax + 0.5);
  ymin = std::floor(ymin);
  auto Y = [&](double lod) {
    if (off_scale(lod)) return lod > 0 ? top : top + plot_h;
    return top + plot_h * (ymax - lod) / (ymax - ymin);
  };

  // Panel widths in proportion to their spans, each at least a share.
  const double gap = 12;
  double total_span = 0;
  for (Panel& p : panels) {
    p.lo = p.hi = p.points.front().x;
    for (const Point& pt : p.points) {
      p.lo = std::min(p.lo, pt.x);
      p.hi = std::max(p.hi, pt.x);
    }
    p.span = p.hi - p.lo;
    total_span += p.span;
  }
  const double n = static_cast<double>(panels.size());
  // Positions near the ends of the doubles' range: the spans halved (exact)
  // and divided among the panels, so that they and their sum stay finite.
  if (!std::isfinite(total_span)) {
    total_span = 0;
    for (Panel& p : panels) {
      p.span = (p.hi / 2 - p.lo / 2) / n;
      total_span += p.span;
    }
  }
  const double usable = plot_w - gap * std::max(0.0, n - 1);
  double at = left;
  for (Panel& p : panels) {
    const double share = total_span > 0 ? p.span / total_span : 1.0 / n;
    p.width = usable * (0.2 / n + 0.8 * share);
    p.left = at;
    at += p.width + gap;
  }
  auto X = [&](const Panel& p, double x) {
    const double margin = 6;
    if (p.hi == p.lo) return p.left + p.width / 2;
    const double d = p.hi - p.lo;
    const double f = std::isfinite(d) ? (x - p.lo) / d : (x / 2 - p.lo / 2) / (p.hi / 2 - p.lo / 2);
    return p.left + margin + (p.width - 2 * margin) * f;
  };

  std::string s;
  s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fmt(W, 0) + "\" height=\"" + fmt(H, 0) +
       "\" viewBox=\"0 0 " + fmt(W, 0) + " " + fmt(H, 0) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<text x=\"" + fmt(W / 2) + "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">" + xml(opt.title) + "</text>\n";
  // Axes and ticks.
  s += "<g class=\"axes\" stroke=\"black\" fill=\"none\">\n";
  s += "<line x1=\"" + fmt(left) + "\" y1=\"" + fmt(top) + "\" x2=\"" + fmt(left) + "\" y2=\"" + fmt(top + plot_h) + "\"/>\n";
  s += "<line x1=\"" + fmt(left) + "\" y1=\"" + fmt(Y(0)) + "\" x2=\"" + fmt(W - right) + "\" y2=\"" + fmt(Y(0)) + "\"/>\n";
  s += "</g>\n";
  const double step = tick_step(ymax - ymin);
  for (double t = std::ceil(ymin / step) * step; t <= ymax; t += step) {
    s += "<line x1=\"" + fmt(left - 4) + "\" y1=\"" + fmt(Y(t)) + "\" x2=\"" + fmt(left) + "\" y2=\"" + fmt(Y(t)) +
         "\" stroke=\"black\"/>\n";
    s += "<text x=\"" + fmt(left - 7) + "\" y=\"" + fmt(Y(t) + 4) + "\" text-anchor=\"end\">" + fmt(t, 0) + "</text>\n";
  }
  s += "<text x=\"16\" y=\"" + fmt(top + plot_h / 2) + "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " +
       fmt(top + plot_h / 2) + ")\">LOD</text>\n";
  const std::string xlabel = positions ? (panels.size() > 1 ? "chromosome, position (" + opt.position_unit + ")"
                                                            : "position (" + opt.position_unit + ")")
                                       : "marker (in scan order)";
  s += "<text x=\"" + fmt(left + plot_w / 2) + "\" y=\"" + fmt(H - 14) + "\" text-anchor=\"middle\">" + xml(xlabel) + "</text>\n";
  // The line at LOD 3.
  s += "<line class=\"threshold\" x1=\"" + fmt(left) + "\" y1=\"" + fmt(Y(3)) + "\" x2=\"" + fmt(W - right) +
       "\" y2=\"" + fmt(Y(3)) + "\" stroke=\"#c03030\" stroke-dasharray=\"6 4\"/>\n";
  s += "<text x=\"" + fmt(W - right - 2) + "\" y=\"" + fmt(Y(3) - 4) + "\" text-anchor=\"end\" fill=\"#c03030\">LOD 3</text>\n";
  // Panels: a light band, the chromosome's name, the curve and the points.
  for (std::size_t k = 0; k < panels.size(); ++k) {
    const Panel& p = panels[k];
    s += "<g class=\"chromosome\">\n";
    if (k % 2 == 1)
      s += "<rect x=\"" + fmt(p.left) + "\" y=\"" + fmt(top) + "\" width=\"" + fmt(p.width) + "\" height=\"" +
           fmt(plot_h) + "\" fill=\"#f0f0f0\"/>\n";
    if (positions)
      s += "<text x=\"" + fmt(p.left + p.width / 2) + "\" y=\"" + fmt(top + plot_h + 18) +
           "\" text-anchor=\"middle\">" + xml(p.chr) + "</text>\n";
    std::string pts;
    for (const Point& pt : p.points) pts += fmt(X(p, pt.x)) + "," + fmt(Y(pt.lod)) + " ";
    if (!pts.empty()) pts.pop_back();
    s += "<polyline points=\"" + pts + "\" fill=\"none\" stroke=\"#3060a0\" stroke-width=\"1.5\"/>\n";
    for (const Point& pt : p.points)
      s += "<circle class=\"marker\" cx=\"" + fmt(X(p, pt.x)) + "\" cy=\"" + fmt(Y(pt.lod)) +
           "\" r=\"3\" fill=\"#3060a0\"><title>" + xml(pt.marker) + ": LOD " + lod_text(pt.lod, 3) + "</title></circle>\n";
    // Points off the scale: their LOD written by them (the peak's is in its
    // label).
    for (const Point& pt : p.points) {
      if (!off_scale(pt.lod) || &pt == peak) continue;
      const double px = X(p, pt.x);
      const bool right_side = px > left + plot_w * 0.75;
      s += "<text class=\"off-scale\" x=\"" + fmt(right_side ? px - 6 : px + 6) + "\" y=\"" +
           fmt(pt.lod > 0 ? top + 12 : top + plot_h - 4) + "\" text-anchor=\"" + (right_side ? "end" : "start") +
           "\" font-size=\"10\">LOD " + lod_text(pt.lod, 3) + "</text>\n";
    }
    s += "</g>\n";
  }
  if (peak != nullptr) {
    const Panel* pp = nullptr;
    for (const Panel& p : panels)
      for (const Point& pt : p.points)
        if (&pt == peak) pp = &p;
    const double px = X(*pp, peak->x), py = Y(peak->lod);
    const bool right_side = px > left + plot_w * 0.75;
    s += "<text class=\"peak\" x=\"" + fmt(right_side ? px - 8 : px + 8) + "\" y=\"" + fmt(std::max(top + 12, py - 8)) +
         "\" text-anchor=\"" + (right_side ? "end" : "start") + "\" font-weight=\"bold\">" + xml(peak->marker) +
         " (LOD " + lod_text(peak->lod, 2) + ")</text>\n";
  }
  if (panels.empty())
    s += "<text x=\"" + fmt(left + plot_w / 2) + "\" y=\"" + fmt(top + plot_h / 2) +
         "\" text-anchor=\"middle\">no marker analysed</text>\n";
  s += "</svg>\n";
  return s;
}

}  // namespace mglink::scan
