// mglink-sim --scan-study: a whole linkage study with many markers on two
// chromosomes and one on X, written in the formats family-study tools
// exchange (LINKAGE/QTDT pedigree, data, map and frequency files, and the
// same study as PLINK text files), for mglink-scan.
//
// Chromosome 1 carries the major gene at 52 cM between markers every 10 cM;
// chromosome 2 carries markers only (unlinked); one marker lies on X.  The
// markers have 2, 4, 5 and 8 alleles in turn, labelled as letters, sizes or
// codes.  Alleles pass from parent to child along each chromosome with
// Haldane's map function between neighbouring loci.  With --loops some of the
// families have a loop (first cousins or double first cousins married, or a
// man with children by two sisters); the genes pass down them the same way.
#pragma once

#include <string>
#include <vector>

namespace mglink::sim {

// Runs the mode on the arguments after the program name; returns the exit
// status (0, or 2 with a message for a bad argument).
int run_scan_study(const std::vector<std::string>& args);

}  // namespace mglink::sim
