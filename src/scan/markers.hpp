// The markers a scan runs, in map order, and the slice of them a chunk runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scan/study.hpp"

namespace mglink::scan {

// Which markers (--markers, --range, --chr); empty fields select all.
struct Selection {
  std::vector<std::string> names;    // these markers only
  std::string first, last;           // from marker `first` to marker `last` in scan order
  std::vector<std::string> chromosomes;  // on these chromosomes only
};

// One marker of the scan.
struct PlannedMarker {
  std::size_t index = 0;   // into Study::markers
  std::string chr;         // "" without a map
  std::string pos;         // as the map writes it; "" without a map
  double position = 0.0;
  bool skip = false;       // reported as skipped, not analysed
  std::string reason;      // why it is skipped
};

// Chromosome labels the model does not treat (sex chromosomes and the
// mitochondrion): X, Y, XY, MT and their numbers 23..26.
bool non_autosomal(const std::string& chr);

// The markers in scan order: with a map, by chromosome (1..22, then X, Y, XY,
// MT, then other labels in order of first appearance), position and map
// line; markers the map does not list come last, in data-file order, and
// are skipped.  Without a map, in data-file order.  The selection narrows
// the list; a name it gives that the study lacks is a problem.
std::vector<PlannedMarker> plan_markers(const Study& study, const Selection& sel,
                                        std::vector<InputProblem>& problems);

// The k-th (1-based) of n equal slices of `count` items: [begin, end).
struct Slice {
  std::size_t begin = 0, end = 0;
};
Slice chunk_slice(std::size_t count, int k, int n);

}  // namespace mglink::scan
