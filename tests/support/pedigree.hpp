// Test support: families written straight into the shared model state.
//
// A Family lists its members (trait value and marker code, numbered 1..n
// within the family in the order given) and its nuclear families (parent 1,
// parent 2, children, as numbers within the family, and the connector, 0 for
// a root).  load_families writes a list of families into the family-data
// blocks exactly as the family data reader would leave them, without files.
#pragma once

#include <array>
#include <vector>

#include "core/model_state.hpp"

namespace mglink::test {

inline constexpr double MISSING = -999.0;  // an unknown trait value

struct Member {
  double trait = MISSING;
  int marker = 0;  // 0 = untyped, 1..15 = marker genotype code
};

struct Nuclear {
  std::vector<int> members;  // parent 1, parent 2, children; one entry: a single individual
  int connector = 0;         // number within the family, 0 = root
};

struct Family {
  std::vector<Member> members;
  std::vector<Nuclear> nuclear;
};

// Writes NFAM, FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN, TRAIT, MARKER (and zero
// INDCODE, IPROB) for `families`, in order.
void load_families(ModelState& st, const std::vector<Family>& families);

// The parameter vector X(1..11): allele-1 frequency, the three means, theta,
// the variance, five marker allele frequencies.
using ParameterVector = std::array<double, 11>;

// Sets NPAR = 6, X(1..11), every parameter independent (LINK(i) = i) and
// held (IFREE = 0), bounds 0 .. 1e30.  ISETUP is left as it is.
void set_parameters(ModelState& st, const ParameterVector& x);

}  // namespace mglink::test
