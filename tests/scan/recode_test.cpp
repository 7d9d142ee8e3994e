// Recoding a marker's allele labels to the model's five alleles, lumping,
// and the allele frequencies of each source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/recode.hpp"
#include "scan/study_prep.hpp"

namespace mglink::scan {
namespace {

// A study of founders (two per family) and their children; genotypes given
// as "a/b" texts per individual ("" = untyped).
struct Fixture {
  Study study;
  void person(const std::string& fam, const std::string& id, const std::string& fa, const std::string& mo,
              int sex, const std::string& genotype) {
    Individual p;
    p.line = static_cast<long>(study.people.size()) + 1;
    p.family = fam;
    p.id = id;
    p.father = fa;
    p.mother = mo;
    p.sex = sex;
    p.trait_missing = false;
    p.trait = 10.0 + static_cast<double>(study.people.size());
    study.people.push_back(p);
    if (study.markers.empty()) study.markers.push_back(MarkerData{"M1", {}, {}, {}});
    MarkerData& m = study.markers[0];
    std::uint16_t a = 0, b = 0;
    if (!genotype.empty()) {
      const auto slash = genotype.find('/');
      a = intern_allele(m, genotype.substr(0, slash));
      b = intern_allele(m, genotype.substr(slash + 1));
    }
    m.a1.push_back(a);
    m.a2.push_back(b);
  }
  RecodedMarker recode(FreqSource src = FreqSource::founders, const GivenFrequencies* g = nullptr) {
    std::vector<std::size_t> all(study.people.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return scan::recode(study.markers[0], study.people, all, src, g);
  }
  // The model allele of a label.
  int code(const RecodedMarker& r, const std::string& label) {
    const auto& l = study.markers[0].labels;
    return r.code[static_cast<std::size_t>(std::find(l.begin(), l.end(), label) - l.begin())];
  }
};

TEST(Recode, LabelsSortAsNumbersWhenAllAreNumbersElseAsText) {
  struct Case {
    std::vector<std::string> genotypes;
    std::vector<std::pair<std::string, int>> codes;
  };
  const Case cases[] = {
      // Sizes: 98 before 104 before 112 (as text "104" < "112" < "98").
      {{"112/98", "104/104", ""}, {{"98", 1}, {"104", 2}, {"112", 3}}},
      {{"T/A", "G/A"}, {{"A", 1}, {"G", 2}, {"T", 3}}},
      // Mixed labels sort as text.
      {{"10/9", "A/9"}, {{"10", 1}, {"9", 2}, {"A", 3}}},
      {{"5/1", "3/2", "4/4"}, {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"5", 5}}},
  };
  for (const Case& c : cases) {
    Fixture f;
    for (std::size_t i = 0; i < c.genotypes.size(); ++i) f.person("1", std::to_string(i + 1), "0", "0", 1, c.genotypes[i]);
    const RecodedMarker r = f.recode();
    EXPECT_EQ(r.alleles, static_cast<int>(c.codes.size()));
    EXPECT_EQ(r.lumped, 0);
    for (const auto& [label, code] : c.codes) EXPECT_EQ(f.code(r, label), code) << label;
    long typed = 0;
    for (std::size_t i = 0; i < c.genotypes.size(); ++i) {
      typed += c.genotypes[i].empty() ? 0 : 1;
      EXPECT_LE(r.allele1[i], r.allele2[i]);
      EXPECT_EQ(r.allele1[i] == 0, c.genotypes[i].empty());
    }
    EXPECT_EQ(r.typed, typed);
  }
}

// Seven alleles a..g whose founder counts are 10, 1, 8, 6, 2, 9, 3: the four
// most frequent (a, f, c, d) keep alleles 1..4 in label order, the other
// three are lumped into allele 5.  A child's alleles count only for `all`.
Fixture seven_alleles() {
  Fixture f;
  const std::vector<std::pair<std::string, int>> counts = {{"a", 10}, {"b", 1}, {"c", 8}, {"d", 6},
                                                           {"e", 2},  {"f", 9}, {"g", 3}};
  std::vector<std::string> alleles;
  for (const auto& [l, n] : counts)
    for (int k = 0; k < n; ++k) alleles.push_back(l);
  // 39 founder alleles: pairs, the last founder homozygous for the odd one.
  int id = 0;
  for (std::size_t k = 0; k + 1 < alleles.size(); k += 2)
    f.person("F" + std::to_string(id), std::to_string(++id), "0", "0", 1, alleles[k] + "/" + alleles[k + 1]);
  f.person("F0", "x", "0", "0", 1, alleles.back() + "/" + alleles.back());  // g twice: g counts 4
  f.person("F0", "y", "0", "0", 2, "");
  f.person("F0", "kid", "x", "y", 1, "g/b");
  return f;
}

TEST(Recode, LumpsAllButTheFourMostFrequentAllelesIntoTheFifth) {
  Fixture f = seven_alleles();
  const RecodedMarker r = f.recode();
  EXPECT_EQ(r.alleles, 7);
  EXPECT_EQ(r.lumped, 3);
  EXPECT_EQ(f.code(r, "a"), 1);
  EXPECT_EQ(f.code(r, "c"), 2);
  EXPECT_EQ(f.code(r, "d"), 3);
  EXPECT_EQ(f.code(r, "f"), 4);
  for (const char* l : {"b", "e", "g"}) EXPECT_EQ(f.code(r, l), 5) << l;
  EXPECT_EQ(r.lumped_labels, "b e g");
  EXPECT_EQ(r.founder_alleles, 40);
  // The child g/b is 5/5.
  EXPECT_EQ(r.allele1.back(), 5);
  EXPECT_EQ(r.allele2.back(), 5);
}

TEST(Recode, TiesAmongTheMostFrequentGoByLabelOrder) {
  Fixture f;
  // Six alleles, each twice among founders: 1..4 kept, 5 and 6 lumped.
  for (const char* g : {"6/5", "4/3", "2/1", "1/2", "3/4", "5/6"}) f.person(g, "1", "0", "0", 1, g);
  const RecodedMarker r = f.recode();
  EXPECT_EQ(r.lumped, 2);
  for (int a = 1; a <= 4; ++a) EXPECT_EQ(f.code(r, std::to_string(a)), a);
  EXPECT_EQ(f.code(r, "5"), 5);
  EXPECT_EQ(f.code(r, "6"), 5);
}

TEST(Recode, FounderFrequenciesAreMglinkPrepsCountsOfTheRecodedAlleles) {
  // mglink-prep counts the typed founders' recoded alleles: allele 5 gets the
  // summed count of the lumped alleles b (1), e (2) and g (4) of 40.
  Fixture f = seven_alleles();
  const RecodedMarker r = f.recode();
  const PrepView v = make_view(f.study, "study.ped", false);
  const prep::Prepared pr = prepare_marker(v, r.allele1, r.allele2);
  ASSERT_TRUE(pr.problems.empty()) << pr.problems.front().text;
  EXPECT_EQ(pr.start.marker_text[0], "0.2500000000");  // a: 10
  EXPECT_EQ(pr.start.marker_text[1], "0.2000000000");  // c: 8
  EXPECT_EQ(pr.start.marker_text[2], "0.1500000000");  // d: 6
  EXPECT_EQ(pr.start.marker_text[3], "0.2250000000");  // f: 9
  EXPECT_EQ(pr.start.marker_text[4], "0.1750000000");  // b + e + g: 7
}

TEST(Recode, AllTypedAndGivenFrequencySources) {
  Fixture f = seven_alleles();
  // All typed: the child adds g and b, so allele 5 counts 9 of 42.
  const RecodedMarker all = f.recode(FreqSource::all);
  const FrequencyText ft = frequency_text(all.weight);
  EXPECT_EQ(ft.text[4], "0.2142857143");
  EXPECT_EQ(ft.text[0], "0.2380952380");  // 10/42, the largest, takes the rounding

  // Given frequencies rank the alleles too: here b, d, e, g are the most
  // frequent; a, c and f are lumped, and h (in the file, seen by nobody)
  // joins them in allele 5.
  GivenFrequencies g{"M1", {"a", "b", "c", "d", "e", "f", "g", "h"}, {0.05, 0.2, 0.05, 0.2, 0.2, 0.05, 0.2, 0.05}, 1};
  const RecodedMarker given = f.recode(FreqSource::given, &g);
  EXPECT_EQ(given.lumped, 3);
  EXPECT_EQ(f.code(given, "b"), 1);
  EXPECT_EQ(f.code(given, "g"), 4);
  EXPECT_EQ(f.code(given, "a"), 5);
  const FrequencyText gt = frequency_text(given.weight);
  EXPECT_EQ(gt.text, (std::array<std::string, 5>{"0.2000000000", "0.2000000000", "0.2000000000", "0.2000000000",
                                                 "0.2000000000"}));

  // Fewer than five alleles: the file's alleles nobody carries take the
  // first unused allele, so the others keep their frequencies.
  Fixture small;
  small.person("1", "1", "0", "0", 1, "x/y");
  GivenFrequencies g2{"M1", {"x", "y", "z", "w"}, {0.5, 0.3, 0.1, 0.1}, 1};
  const RecodedMarker r2 = small.recode(FreqSource::given, &g2);
  EXPECT_EQ(frequency_text(r2.weight).text,
            (std::array<std::string, 5>{"0.5000000000", "0.3000000000", "0.2000000000", "0.0000000000", "0.0000000000"}));
}

TEST(Recode, FrequencyTextSumsToExactlyOneAndNeverRoundsAPositiveWeightToZero) {
  const std::array<double, 5> cases[] = {{1, 1, 1, 0, 0}, {1e-12, 1, 0, 0, 0}, {3, 7, 11, 13, 17}, {1, 1, 1, 1, 1}};
  for (const auto& w : cases) {
    const FrequencyText ft = frequency_text(w);
    long long units = 0;
    for (std::size_t k = 0; k < 5; ++k) {
      ASSERT_EQ(ft.text[k].size(), 12u) << ft.text[k];
      units += std::stoll(ft.text[k].substr(0, 1)) * 10000000000LL + std::stoll(ft.text[k].substr(2));
      EXPECT_EQ(w[k] > 0, ft.value[k] > 0) << k;
    }
    EXPECT_EQ(units, 10000000000LL);
  }
  EXPECT_EQ(frequency_text({1, 1, 1, 0, 0}).text[0], "0.3333333334");
}

TEST(Recode, GivenFrequenciesMustCoverEveryTypedAllele) {
  Fixture f;
  f.person("1", "1", "0", "0", 1, "x/y");
  const std::vector<GivenFrequencies> given = {{"M1", {"x", "y"}, {1.0, 0.0}, 3}};
  std::vector<InputProblem> problems;
  check_given_frequencies(f.study, {0}, given, "m.freq", problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]), "m.freq:3: marker M1: allele y is typed but has frequency 0 in the file");
  problems.clear();
  check_given_frequencies(f.study, {0}, {}, "m.freq", problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]), "m.freq: the file gives no frequencies for marker M1");
}

}  // namespace
}  // namespace mglink::scan
