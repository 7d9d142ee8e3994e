// The one place where the K-allele likelihood meets mglink's shared model
// state: the family data a run has loaded, turned into a study, and the
// evaluation wrapped the way GENMMP is (ties, bounds, rejection).
#pragma once

#include "pedigree_likelihood/evaluator.hpp"
#include "pedigree_likelihood/study.hpp"
#include "core/model_state.hpp"

namespace mglink::kallele {

using pedlik::Evaluator;
using pedlik::Marker;
using pedlik::Parameters;
using pedlik::Pedigree;

// The families, nuclear families (members, connectors, in the listed order)
// and trait values of a state loaded by the family data reader.  Reads NFAM,
// FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN, TRAIT.
Pedigree pedigree_from_state(const ModelState& st);

// The state's own five-allele marker: MARKER codes 1..15 as allele pairs,
// the frequencies X(7..11).  Reads MARKER, X.
Marker marker_from_state(const ModelState& st);

// X(1..6) of the state.
Parameters parameters_of(const ModelState& st);

// The log-likelihood as GENMMP gives it, with the K-allele evaluator: ties
// applied and estimated parameters tested against their open bounds
// (accept_parameters), then every family at X(1..6).  LH = -1e18 when the
// vector is outside its bounds or a family has likelihood zero (or a value
// that is not finite), and st.rejection says which, as GENMMP's.  Reads and
// writes X and IFREE (ties), rejection.
void GENMMP_K(ModelState& st, Evaluator& ev, double& LH);

}  // namespace mglink::kallele
