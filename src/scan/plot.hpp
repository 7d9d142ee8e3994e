// The LOD plot: an SVG picture of the LOD score against map position, one
// panel per chromosome side by side (marker order when the table has no
// positions), a dashed line at LOD 3, the peak labelled.  Each analysed
// marker (a row with a LOD score) is one <circle class="marker"> holding a
// <title> with its name and LOD.
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
