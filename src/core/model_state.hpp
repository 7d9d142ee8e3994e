// The shared model state: every table that more than one routine touches.
//
// One record, zero at the start of the run, allocated once (make_model_state)
// and passed by reference to every routine.  The blocks keep the fields,
// capacities and index ranges of the model; who writes and reads each field,
// and for how long it is valid, is noted beside it:
//
//   per run          NPAR
//   per pass         BUF1 BUF3 BUF14 BUF16 BUF15 BUF2 IPROB (family data reader),
//                    X STEP IFREE XLOW XUPP LINK (par.inp; X, STEP, IFREE then move),
//                    MAJGEN MRKGEN GENOT (first evaluation of the pass)
//   per evaluation   GFREQ HTRANS CTRANS GMEAN SIGMA (set-up or update)
//   per family       XX (individual densities, then the peeling)
//
// Entries beyond the counts of the current data keep what they held before;
// no routine reads them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "core/farray.hpp"
#include "core/parameters.hpp"

namespace mglink {

// Capacities, fixed at compile time (CMake cache variables MGLINK_N_FAM,
// MGLINK_N_SIZE, MGLINK_N_WAY).
#ifndef MGLINK_N_FAM
#define MGLINK_N_FAM 604
#endif
#ifndef MGLINK_N_SIZE
#define MGLINK_N_SIZE 25000
#endif
#ifndef MGLINK_N_WAY
#define MGLINK_N_WAY 92000
#endif

inline constexpr long N_FAM = MGLINK_N_FAM;    // families
inline constexpr long N_SIZE = MGLINK_N_SIZE;  // individuals over all families
inline constexpr long N_WAY = MGLINK_N_WAY;    // member entries, nuclear-family offsets, slots
inline constexpr long N_GEN = 55;              // two-locus genotypes
inline constexpr long N_HAP = 10;              // haplotypes
inline constexpr long N_IGOFF = N_SIZE - 2;    // individuals the slot offsets have room for

static_assert(N_FAM >= 1 && N_SIZE >= 3 && N_WAY >= 2, "capacities too small");

// Family structure and observations (written by the family data reader).
struct Buf1 {
  int32 NFAM = 0;                   // number of families evaluated
  FArray<int32, 1, N_FAM + 3> FAMOFF;  // individuals before family f; FAMOFF(NFAM+1) = NIND
};
struct Buf3 {
  int32 spare = 0;                    // first word of read 2, never consulted
  FArray<int32, 1, N_SIZE - 1> NUCOFF;  // nuclear families before family f
};
struct Buf14 {
  int32 spare = 0;                   // first word of read 3, never consulted
  FArray<int32, 1, N_WAY - 1> MEMOFF;  // member entries before nuclear family j
};
struct Buf16 {
  FArray<int32, 1, N_WAY> MEMBER;  // parent 1, parent 2, children (numbers within the family)
};
struct Buf15 {
  FArray<int32, 1, N_WAY> ICONN;  // connector of each nuclear family, 0 = none
};
struct Buf2 {
  FArray<double, 1, N_SIZE> TRAIT;   // trait value (<= -998 unknown, <= -1e7 skipped)
  FArray<int32, 1, N_SIZE> INDCODE;  // per-individual integer from IWAY.DAT, kept only
  FArray<int32, 1, N_SIZE> MARKER;   // marker genotype code, 0 = untyped, 1..15
};

// Parameter ties.
struct Optpar2 {
  FArray<int32, 1, N_PARAM> LINK;  // tie of each parameter (LINK(i) = i: independent)
};
struct Imax {
  FArray<double, 1, 3> GMEAN;  // trait mean per major-locus genotype
  double SIGMA = 0.0;          // trait standard deviation
  int32 ISETUP = 0;            // -1: next evaluation does the full set-up
  int32 NPAR = 0;              // parameters with tie, flag and bounds (6)
};
struct Prpar {
  FArray<double, 1, N_GEN> GFREQ;  // population frequency of each two-locus genotype
  FArray<int32, 1, N_GEN> MAJGEN;  // major-locus genotype 1..3
  FArray<int32, 1, N_GEN> MRKGEN;  // marker genotype 1..15
};
struct Tranc {
  FArray2<double, N_GEN, 15> HTRANS;           // HTRANS(k,h), columns 1..10 used
  FArray3<double, N_GEN, N_GEN, N_GEN> CTRANS;  // CTRANS(c,b,a), c fastest
};
struct Genot {
  int32 NTOT = 0;                          // individuals over all families
  FArray<int32, 0, N_IGOFF> IGOFF;          // slots of individuals 1..k
  FArray<int32, 1, N_SIZE> NGEN;            // possible genotypes per individual
  FArray<int32, 1, N_WAY> LGEN;             // genotype held in each slot
};

// Why the last evaluation was unusable (kept for the run driver's diagnostics;
// no computation reads it).
struct Rejection {
  enum class Kind { None, Bounds, Family };
  Kind kind = Kind::None;
  int32 param = 0;    // Bounds: the parameter on or outside its bounds
  int32 family = 0;   // Family: the first family with zero or non-finite likelihood
  double value = 0.0; // Family: that family's log-likelihood as computed
};

// Working tables private to one routine that survive between its calls.
struct WorkTables {
  FArray2<int32, N_GEN, N_SIZE> IPOSS;  // genotype enumeration: possibility flags
  int32 N0 = 0, N1 = 0;                 // genotype enumeration: counts
  FArray<int32, 1, N_SIZE> IDONE;       // individual densities: member handled
  FArray<double, 1, N_HAP> HFREQ_STAP0;   // full set-up: haplotype frequencies
  FArray<double, 1, N_HAP> HFREQ_STAPAR;  // update: haplotype frequencies
};

struct ModelState {
  Buf1 BUF1;
  Buf3 BUF3;
  Buf14 BUF14;
  Buf16 BUF16;
  Buf15 BUF15;
  Buf2 BUF2;
  FArray<int32, 1, N_SIZE> IPROB;  // second per-individual integer from IWAY.DAT, kept only
  Optpar1 OPTPAR1;
  Optpar2 OPTPAR2;
  Imax IMAX;
  Prpar PRPAR;
  Tranc TRANC;
  Genot GENOT;
  FArray<double, 1, N_WAY> XX;  // per-slot weights of the family being evaluated

  WorkTables work;
  Rejection rejection;

  // Zeroed memory (see make_model_state).
  static void* operator new(std::size_t n);
  static void operator delete(void* p, std::size_t n) noexcept;
};

// A fresh state, every field zero. Large (about 9 MB): always on the heap,
// and in memory the system hands over zeroed (ModelState::operator new), so
// that the pages a run never uses are never touched: the tables are sized
// for the largest data, and writing zeros over all of them took a tenth of
// a short run.  Default-initialisation then sets only the fields that have
// initialisers of their own; the arrays keep the zeros.  On Linux the state
// is mapped on its own, and the two tables that every run writes all over
// are asked for in 2 MiB pages (model_state.cpp).
std::unique_ptr<ModelState> make_model_state();

}  // namespace mglink
