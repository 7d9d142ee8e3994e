// The LOD plot: an SVG picture of the LOD score against map position, one
// panel per chromosome side by side (marker order when the table has no
// positions), a dashed line at LOD 3, the peak labelled.  Each analysed
// marker (a row with a LOD score) is one <circle class="marker"> holding a
// <title> with its name and LOD.  A LOD score beyond +-1000 (a damaged or
// hand-edited table) is drawn on the top (bottom) edge of an axis drawn for
// the others, with its value written by it, so that the picture stays small
// whatever the table holds.
#pragma once

#include <string>
#include <vector>

#include "scan/table.hpp"

namespace mglink::scan {

struct PlotOptions {
  std::string title;            // shown above the plot
  std::string position_unit = "cM";  // "cM" or "bp"
};

std::string svg_plot(const std::vector<Row>& rows, const PlotOptions& opt);

}  // namespace mglink::scan
