// Recoding a marker's alleles, whatever their labels, to mglink's alleles
// 1..5, and its allele frequencies: the coding of the five-allele path, of
// mglink-prep's checks for every marker, and of --lump.  (A marker of more
// than five alleles is analysed with all of them by the exact path, whose
// coding is full_coding in exact.hpp.)
//
// Labels sort as numbers when all of them are numbers (sizes, codes), else as
// text.  A marker with at most five distinct alleles keeps them all, coded
// 1, 2, ... in label order.  A marker with more keeps its four most frequent
// alleles (by the chosen frequency basis; ties in label order), coded 1..4
// in label order, and lumps the rest into allele 5, whose frequency is then
// their sum: mglink's model has five marker alleles, and lumping loses the
// information that tells the lumped alleles apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "prep/start_values.hpp"
#include "scan/input.hpp"
#include "scan/study.hpp"

namespace mglink::scan {

// Where the allele frequencies come from.
enum class FreqSource {
  founders,  // typed founders (all typed individuals when no founder is typed), as mglink-prep counts
  all,       // all typed individuals
  given,     // a frequency file
};

struct RecodedMarker {
  int alleles = 0;  // distinct alleles observed
  int lumped = 0;   // observed alleles lumped into allele 5 (0 when alleles <= 5)
  long typed = 0;   // typed individuals
  std::vector<int> code;  // model allele (1..5) of each label of the marker
  // Model alleles per individual, allele1 <= allele2; 0 0 = untyped.
  std::vector<std::uint8_t> allele1, allele2;
  // Frequency weights of the model alleles 1..5 (not normalised) for the
  // sources all and given; founders' counts are mglink-prep's own.
  std::array<double, 5> weight{};
  long founder_alleles = 0;  // typed alleles of founders
  std::string lumped_labels;  // the labels lumped into allele 5, for the reason column
};

// Whether label a sorts before label b among the labels of one marker
// (numeric when both are numbers).
bool label_before(const std::string& a, const std::string& b, bool numeric);

// The typed alleles of marker m among the individuals `included` (indices
// into people; the others count as untyped), per label, and the labels that
// occur, in label order: what every recoding of the marker starts from.
struct AlleleCounts {
  std::vector<double> all, founder;  // alleles of each label: all typed, typed founders
  long typed = 0;                    // typed individuals
  long founder_alleles = 0;          // typed alleles of founders
  bool numeric = false;              // every label is a number (label_before)
  std::vector<std::size_t> observed;  // labels that occur, in label order
};
AlleleCounts count_alleles(const MarkerData& m, const std::vector<Individual>& people,
                           const std::vector<std::size_t>& included);

// Recodes marker m of a study for the individuals `included` (indices into
// people; the others count as untyped).  `given` is the frequency file's
// entry for the marker (source given only; nullptr otherwise); every typed
// label must be in it with a positive frequency (check_given_frequencies).
RecodedMarker recode(const MarkerData& m, const std::vector<Individual>& people,
                     const std::vector<std::size_t>& included, FreqSource source,
                     const GivenFrequencies* given);

// The problems of a frequency file for the markers of a study: a marker it
// does not list, a typed allele it does not list or gives frequency 0.
void check_given_frequencies(const Study& study, const std::vector<std::size_t>& markers,
                             const std::vector<GivenFrequencies>& given, const std::string& file,
                             std::vector<InputProblem>& problems);

// Frequencies as mglink-prep writes them: prep::frequency_text.
using prep::FrequencyText;
using prep::frequency_text;

}  // namespace mglink::scan
