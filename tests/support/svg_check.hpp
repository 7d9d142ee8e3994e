// What an XML parser (python3's ElementTree) finds in a LOD plot: whether
// the file parses, the marker points with their heights and tooltips, the
// tick labels of the LOD axis, the peak's label, the labels of points off
// the scale and the threshold lines.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch_dir.hpp"

namespace mglink::testing {

struct SvgSeen {
  bool parsed = false;
  std::string error;  // python's message when the file does not parse
  std::vector<double> cx, cy;        // per marker point, in file order
  std::vector<std::string> titles;   // per marker point
  std::vector<std::string> ticks;    // labels of the LOD axis, bottom up
  std::string peak;
  std::vector<std::string> off_scale;
  std::size_t thresholds = 0;
};

#if defined(__unix__)
inline SvgSeen read_svg(const std::string& svg_file) {
  ScratchDir d;
  const std::string cmd =
      "python3 -c \"import sys, re, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); "
      "ns = '{http://www.w3.org/2000/svg}'; "
      "[print('circle', e.get('cx'), e.get('cy'), e.find(ns + 'title').text, sep='\\t') for e in r.iter(ns + 'circle') "
      "if e.get('class') == 'marker']; "
      "[print('tick', e.text, sep='\\t') for e in r.iter(ns + 'text') "
      "if e.get('text-anchor') == 'end' and re.fullmatch('-?[0-9]+', e.text or '')]; "
      "[print('peak', e.text, sep='\\t') for e in r.iter(ns + 'text') if e.get('class') == 'peak']; "
      "[print('off', e.text, sep='\\t') for e in r.iter(ns + 'text') if e.get('class') == 'off-scale']; "
      "[print('threshold') for e in r.iter(ns + 'line') if e.get('class') == 'threshold']\" '" +
      svg_file + "' > '" + d.file("out.txt") + "' 2>&1";
  SvgSeen seen;
  const int rc = std::system(cmd.c_str());
  const std::string out = d.read("out.txt");
  if (rc != 0) {
    seen.error = out;
    return seen;
  }
  seen.parsed = true;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    const std::string kind = line.substr(0, tab), rest = tab == std::string::npos ? "" : line.substr(tab + 1);
    if (kind == "circle") {
      const std::size_t t2 = rest.find('\t'), t3 = rest.find('\t', t2 + 1);
      seen.cx.push_back(std::strtod(rest.substr(0, t2).c_str(), nullptr));
      seen.cy.push_back(std::strtod(rest.substr(t2 + 1, t3 - t2 - 1).c_str(), nullptr));
      seen.titles.push_back(rest.substr(t3 + 1));
    } else if (kind == "tick") {
      seen.ticks.push_back(rest);
    } else if (kind == "peak") {
      seen.peak = rest;
    } else if (kind == "off") {
      seen.off_scale.push_back(rest);
    } else if (kind == "threshold") {
      ++seen.thresholds;
    }
  }
  return seen;
}
#endif

}  // namespace mglink::testing
