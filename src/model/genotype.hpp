// GENOTYPE: the possible two-locus genotypes of every individual, once per
// pass, as the slot lists that the densities and the peeling loop over.
#pragma once

#include "core/console.hpp"
#include "core/model_state.hpp"

namespace mglink {

// Reads NFAM, FAMOFF, NUCOFF, MEMOFF, MEMBER, MARKER, MRKGEN, CTRANS.
// Works in IPOSS, N0, N1.  Writes NTOT, IGOFF, NGEN, LGEN (only after the
// limit check).  Prints " N0=" once and " N1=" after every elimination sweep.
// More than N_WAY possible (individual, genotype) pairs: prints
// " Number of possible genotypes > N_WAY", pauses, and stops the run; more
// individuals than the slot offsets hold (N_SIZE - 2) stops it at once.
void GENOTYPE(ModelState& st, Console& con);

// One elimination sweep over all nuclear families of all families (the part
// of GENOTYPE that prunes parental genotypes).  Reads the family structure
// and CTRANS; writes IPOSS.  `nonnegative` says whether every CTRANS entry
// is a number >= 0 (transmission_nonnegative), which lets a parental
// genotype's sum stop at its first term of at least 1e-15.
void elimination_sweep(ModelState& st, bool nonnegative);
// The sweep over families first..last only (each family's nuclear families
// in order; families share no individual, so the families of a sweep may be
// swept in any order).
void elimination_sweep(ModelState& st, bool nonnegative, int32 first, int32 last);

// Every genotype possible for individuals first..last, then the marker
// filter: a typed individual keeps the genotypes of its marker code.  Reads
// MARKER, MRKGEN; writes IPOSS.
void mark_marker_genotypes(ModelState& st, int32 first, int32 last);

// The genotype lists of individuals first..last, their slots numbered from
// s + 1 on: LGEN, IGOFF(k) (the last slot of k) and NGEN(k) from IPOSS.
// Returns the last slot.  Reads IPOSS; writes LGEN, IGOFF, NGEN.
int32 list_slots(ModelState& st, int32 first, int32 last, int32 s);

// The (individual, genotype) pairs still possible (IPOSS = 1) of
// individuals first..last.  Reads IPOSS.
int32 count_possible(const ModelState& st, int32 first, int32 last);

// The end of a run whose genotype lists would hold more than N_WAY slots
// (N1 of them): the message, the pause and the stop.  Reads N1.
[[noreturn]] void stop_too_many_genotypes(const ModelState& st, Console& con);

// Whether every CTRANS entry is a number >= 0, as it is when theta lies in
// [0, 1].  Reads CTRANS.
bool transmission_nonnegative(const ModelState& st);

}  // namespace mglink
