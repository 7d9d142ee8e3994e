// MMPFAM: the log-likelihood of one family, by peeling its nuclear families
// in their listed order onto their connectors, with rescaling.
//
// Notation of the peeling cases: a member m of the family owns the slots
// IGOFF(famoff+m-1)+1 .. IGOFF(famoff+m); the weight of slot s is
// XX(s - base), base = IGOFF(famoff); its genotype is LGEN(s).  For a child h
// and parental genotypes (a, b) the child sum is
//   C(h; b, a) = sum over the slots z of h of CTRANS(LGEN(z), b, a) * w(z).
#pragma once

#include "core/model_state.hpp"

namespace mglink {

// The members of one nuclear family: entries first..last of MEMBER, as
// numbers within the family, with the family's offsets.
struct NuclearFamily {
  int32 famoff;  // FAMOFF(f): global number of member m is famoff + m
  int32 base;    // IGOFF(famoff): slots before the family
  int32 first;   // index in MEMBER of parent 1
  int32 last;    // index in MEMBER of the last entry
  int32 entries() const { return last - first + 1; }
};

// Connector is a parent c (with the other parent o): for each slot u of c,
// w(u) = w(u) * sum over the slots v of o of w(v) * P(v), P(v) the product
// over the children of C(h; t(v), t(u)) (1 when there are none).
// Reads MEMBER, IGOFF, LGEN, CTRANS and XX; writes the slots of c in XX.
void fold_onto_parent(ModelState& st, const NuclearFamily& nf, int32 c, int32 o);

// Connector is the first child: for each slot u of it, w(u) = w(u) * the sum
// over the slots v of parent 1 and x of parent 2 of
// Q(v,x) * CTRANS(t(u), t(x), t(v)) * w(v) * w(x), Q the product over the
// other children of C(h; t(x), t(v)).  Reads and writes as fold_onto_parent.
void fold_onto_child(ModelState& st, const NuclearFamily& nf);

// Divides the weights of member c by their sum T; returns T.  When T is 0
// the weights are left as they are.  Reads IGOFF; reads and writes XX.
double rescale(ModelState& st, const NuclearFamily& nf, int32 c);

// Sum of the weights of member c.  Reads IGOFF and XX.
double weight_sum(const ModelState& st, const NuclearFamily& nf, int32 c);

// Natural log of the likelihood of family IFAM from the starting weights
// that MASSIX left in XX.  Reads FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN, IGOFF,
// LGEN, CTRANS; overwrites the connectors' weights in XX.  A family whose
// likelihood is zero (a rescaling sum of 0) gives FLOGL = -infinity at once;
// weights that are not numbers give a FLOGL that is not finite.
void MMPFAM(ModelState& st, int32 IFAM, double& FLOGL);

}  // namespace mglink
