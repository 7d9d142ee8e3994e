// A study as the scan reads it: the individuals of a pedigree file, the
// chosen quantitative trait, every marker's genotypes with their allele
// labels as written, and the map.
//
// Markers keep their allele labels (sizes, letters, codes) interned per
// marker; the recoding (to mglink's five alleles, recode.hpp, or to all K
// of them, exact.hpp) happens per marker.  Problems of the input files are collected, not thrown, so
// that one report lists them all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mglink::scan {

// One problem of an input file: the file, the line (0 when it concerns no
// single line), the family and individual (empty when not about one).
struct InputProblem {
  std::string file;
  long line = 0;
  std::string family;
  std::string individual;
  std::string text;
};

// "FILE:LINE: family F, individual I: text" (parts left out when empty).
std::string format_problem(const InputProblem& p);

struct Individual {
  long line = 0;  // line of the pedigree file
  std::string family, id, father, mother;  // "0" = unknown parent
  int sex = 0;    // 0 unknown, 1 male, 2 female
  bool trait_missing = true;
  double trait = 0.0;
  // Both parent ids "0": a founder (the individuals whose alleles the
  // default frequencies count).
  bool founder() const { return father == "0" && mother == "0"; }
};

// One marker's genotypes: per individual two allele indices into `labels`
// plus one (0 = untyped).
struct MarkerData {
  std::string name;
  std::vector<std::string> labels;
  std::vector<std::uint16_t> a1, a2;  // one entry per individual
};

// Where the map puts a marker.
struct MapEntry {
  std::string chr;        // as written (without a "chr" prefix)
  double position = 0.0;  // cM, or bp when the map has no cM positions
  std::string position_text;  // as written
  long line = 0;
};

struct Study {
  std::string trait_name;
  std::vector<Individual> people;  // in file order
  std::vector<MarkerData> markers; // in the order of the data file / PLINK map
  // One entry per marker when a map was read (empty otherwise); nullopt
  // for a marker the map does not list.
  std::vector<std::optional<MapEntry>> map;
  bool map_in_bp = false;  // positions are base pairs (PLINK map without cM)
};

// Allele labels that mean "not typed": 0, x, X, -, N.
bool missing_allele(const std::string& label);
// Trait texts that mean "missing": x, X, NA, -, and `code` when not empty.
bool missing_trait(const std::string& text, const std::string& code);
// A finite number written in full ("12", "-3.5", "1e3"); false otherwise.
bool parse_number(const std::string& text, double& v);

// Interns an allele label of a marker; returns its index plus one.
std::uint16_t intern_allele(MarkerData& m, const std::string& label);

}  // namespace mglink::scan
