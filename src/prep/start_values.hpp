// Start values of a new study: marker allele frequencies counted from the
// data, and trait means and variance from the observed trait distribution.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "prep/pedigree.hpp"

namespace mglink::prep {

// Where the marker allele frequencies come from.
enum class FrequencySource {
  founders,  // the typed alleles of the founders (of everyone typed when no founder is)
  typed,     // the typed alleles of every individual
  given,     // FrequencyOptions::given
};

struct FrequencyOptions {
  FrequencySource source = FrequencySource::founders;
  // source == given: the five frequencies, each at least 0, summing to 1
  // within 1e-5 (see option_problems in pipeline.hpp).
  std::array<double, 5> given{};
};

// Fewer founder alleles than this make the founders' counts a weak basis.
inline constexpr long FEW_FOUNDER_ALLELES = 20;

struct StartValues {
  // Marker allele frequencies as written: ten decimals, summing to exactly
  // 1 in decimal (so within rounding of 1 when read back).
  std::array<std::string, 5> marker_text;
  std::array<double, 5> marker_freq{};  // the same values, as read back
  std::string marker_basis;             // where the counts came from, for the report

  long trait_count = 0;    // individuals with an observed trait
  double trait_mean = 0.0;
  double trait_variance = 1.0;  // sample variance; 1 when it cannot be estimated

  std::vector<std::string> warnings;         // about the trait start values
  std::vector<std::string> marker_warnings;  // about the marker allele frequencies
};

// Marker allele frequencies: by default the alleles of the typed founders
// are counted (of all typed individuals when no founder is typed; 0.2 each
// when nobody is typed); FrequencySource::typed counts every typed
// individual, FrequencySource::given takes the five values given (rescaled
// to sum to exactly 1).  When counted, an allele that occurs in the data but
// not among the counted alleles gets half a count, so that the data it
// occurs in keep a positive likelihood; an allele absent from the data gets
// frequency 0.  From the founders, a marker warning says when they hold
// fewer than FEW_FOUNDER_ALLELES typed alleles, or when an allele typed in
// non-founders is absent among them.
// Trait: mean and sample variance over the observed values.
StartValues start_values(const Pedigree& ped, const FrequencyOptions& freq = {});

// The start vector X(1..11) (x[k-1] = X(k)) at recombination fraction
// theta: major allele frequency 0.5, genotype means mean - sd, mean,
// mean + sd, theta, variance/2, the marker frequencies as read back.
std::array<double, 11> start_parameters(const StartValues& sv, double theta);

// par.inp: title line, the six parameter lines, the five marker frequencies.
//   1 major allele 1 frequency  start 0.5, step 0.05, bounds (0, 1)
//   2..4 genotype means         start mean - sd, mean, mean + sd, step sd/10,
//                               bounds mean -+ 10 sd
//   5 theta                     start 0.2, step 0.05, bounds (0, 0.5)
//   6 variance                  start variance/2, step variance/10,
//                               bounds (0, 10 variance)
// All six are estimated (theta is held at 0.5 in the first pass by mglink).
// With allele frequency 1/2 the genotype means mean -+ sd add variance/2
// between genotypes, so the start model has the observed mean and variance.
std::string par_text(const StartValues& sv, const std::string& title);

// maxpar.inp: progress on, EPSX 1e-4, at most 500 iterations, RHO 0.5,
// EPSF 1e-5; each value with a remark.
std::string maxpar_text();

// Marker allele frequencies as written to par.inp, from weights (counts): ten decimals summing to exactly 1
// in decimal (units of 1e-10; the largest takes the rounding; a positive
// weight never rounds to 0), and the values as read back.
struct FrequencyText {
  std::array<std::string, 5> text;
  std::array<double, 5> value{};
};
FrequencyText frequency_text(const std::array<double, 5>& weight);

// Shortest text that reads back as exactly v.
std::string real_text(double v);

}  // namespace mglink::prep
