// Reading studies in the LINKAGE/QTDT and PLINK formats, maps and frequency
// files, and the messages for malformed files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/input.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

using mglink::testing::ScratchDir;

// A genotype of individual i of marker k as "a/b" ("" when untyped).
std::string genotype(const Study& s, std::size_t k, std::size_t i) {
  const MarkerData& m = s.markers[k];
  if (m.a1[i] == 0) return "";
  return m.labels[m.a1[i] - 1u] + "/" + m.labels[m.a2[i] - 1u];
}

std::vector<std::string> texts(const std::vector<InputProblem>& problems) {
  std::vector<std::string> t;
  for (const auto& p : problems) t.push_back(format_problem(p));
  return t;
}

TEST(ScanInput, LinkageFilesWithEveryItemTypeBothGenotypeFormsAndAMap) {
  ScratchDir d;
  d.write("s.dat",
          "A disease\n"
          "T height\n"
          "C age\n"
          "M m1\n"
          "S2 skipped_pair\n"
          "T Q1\n"
          "M m2\n"
          "E\n"
          "M after_end\n");
  d.write("s.ped",
          "f1 1 0 0 1  2 170 40  112 116  9 9  x     A/C\n"
          "f1 2 0 0 2  1 160 38  0 0      9 9  12.5  x/x\n"
          "f1 3 1 2 m  0 x   12  112 112  9 9  NA    C/C\r\n"
          "\n"
          "f2 a 0 0 F  1 -   50  120 116  9 9  -3e1  N/N\n");
  d.write("s.map",
          "CHROMOSOME MARKER POSITION\n"
          "2 m2 10.5\n"
          "chr1 m1 0\n"
          "1 other 5\n");
  std::vector<InputProblem> problems;
  ReadOptions opt;
  opt.trait = "Q1";
  const Study s = read_linkage(d.file("s.ped"), d.file("s.dat"), d.file("s.map"), opt, problems);
  ASSERT_TRUE(problems.empty()) << texts(problems).front();
  ASSERT_EQ(s.people.size(), 4u);
  ASSERT_EQ(s.markers.size(), 2u);
  EXPECT_EQ(s.markers[0].name, "m1");
  EXPECT_EQ(s.markers[1].name, "m2");
  EXPECT_EQ(s.people[2].sex, 1);
  EXPECT_EQ(s.people[3].sex, 2);
  EXPECT_EQ(s.people[3].line, 5);
  EXPECT_TRUE(s.people[0].trait_missing);  // x
  EXPECT_FALSE(s.people[1].trait_missing);
  EXPECT_EQ(s.people[1].trait, 12.5);
  EXPECT_TRUE(s.people[2].trait_missing);  // NA
  EXPECT_EQ(s.people[3].trait, -30.0);
  EXPECT_EQ(genotype(s, 0, 0), "112/116");
  EXPECT_EQ(genotype(s, 0, 1), "");
  EXPECT_EQ(genotype(s, 0, 3), "120/116");
  EXPECT_EQ(genotype(s, 1, 0), "A/C");
  EXPECT_EQ(genotype(s, 1, 1), "");  // x/x
  EXPECT_EQ(genotype(s, 1, 3), "");  // N/N
  ASSERT_EQ(s.map.size(), 2u);
  ASSERT_TRUE(s.map[0] && s.map[1]);
  EXPECT_EQ(s.map[0]->chr, "1");
  EXPECT_EQ(s.map[1]->chr, "2");
  EXPECT_EQ(s.map[1]->position, 10.5);
  EXPECT_EQ(s.map[1]->position_text, "10.5");
  EXPECT_FALSE(s.map_in_bp);
}

TEST(ScanInput, PlinkFilesWithAndWithoutAPhenotypeFile) {
  ScratchDir d;
  d.write("p.map", "1 rs1 0 1000\n1 rs2 0 5000\n23 rsX 0 100\n");
  d.write("p.ped",
          "fam1 1 0 0 1 3.5  A G  1 2  0 0\n"
          "fam1 2 0 0 2 -9   G G  2 2  A A\n"
          "fam1 3 1 2 2 NA   0 0  1 1  A A\n");
  d.write("p.pheno", "FID IID bmi ldl\nfam1 1 20 1.5\nfam1 3 22 -9\nother 9 1 1\n");
  d.write("q.pheno", "fam1 2 7 8\n");
  std::vector<InputProblem> problems;
  ReadOptions opt;
  Study s = read_plink(d.file("p"), "", opt, problems);
  ASSERT_TRUE(problems.empty()) << texts(problems).front();
  ASSERT_EQ(s.markers.size(), 3u);
  EXPECT_EQ(s.trait_name, "phenotype");
  EXPECT_EQ(s.people[0].trait, 3.5);
  EXPECT_TRUE(s.people[1].trait_missing);
  EXPECT_TRUE(s.people[2].trait_missing);
  EXPECT_EQ(genotype(s, 0, 0), "A/G");
  EXPECT_EQ(genotype(s, 2, 1), "A/A");
  EXPECT_TRUE(s.map_in_bp);  // every cM position is 0
  EXPECT_EQ(s.map[1]->position, 5000.0);
  EXPECT_EQ(s.map[2]->chr, "23");

  opt.trait = "ldl";
  s = read_plink(d.file("p"), d.file("p.pheno"), opt, problems);
  ASSERT_TRUE(problems.empty()) << texts(problems).front();
  EXPECT_EQ(s.people[0].trait, 1.5);
  EXPECT_TRUE(s.people[1].trait_missing);  // not in the file
  EXPECT_TRUE(s.people[2].trait_missing);  // -9

  opt.trait = "2";  // no header: the second value column
  s = read_plink(d.file("p"), d.file("q.pheno"), opt, problems);
  ASSERT_TRUE(problems.empty()) << texts(problems).front();
  EXPECT_EQ(s.people[1].trait, 8.0);
  EXPECT_TRUE(s.people[0].trait_missing);
}

TEST(ScanInput, FrequencyFilesInBothForms) {
  ScratchDir d;
  d.write("f.freq", "M m1\nF 0.5 0.25 0.25\nM m2\nA 112 0.7\nA 116 0.3\n");
  std::vector<InputProblem> problems;
  const auto g = read_frequencies(d.file("f.freq"), problems);
  ASSERT_TRUE(problems.empty());
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].labels, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(g[0].freq, (std::vector<double>{0.5, 0.25, 0.25}));
  EXPECT_EQ(g[1].labels, (std::vector<std::string>{"112", "116"}));
  EXPECT_EQ(g[1].line, 3);
}

// Malformed files and the exact problems reported (every problem of a file,
// not just the first).
TEST(ScanInput, MalformedFilesAreNamedWithFileLineFamilyAndIndividual) {
  struct Case {
    const char* what;
    std::string dat, ped, map;
    std::vector<std::string> problems;  // with D for the scratch directory
  };
  const std::string dat = "T Q1\nM m1\nM m2\n";
  const Case cases[] = {
      {"unknown item, item without a name, duplicate name",
       "T Q1\nQ what\nM\nM m1\nM m1\n", "1 1 0 0 1 5 1 1 1 1\n", "",
       {"D/s.dat:2: unknown item type 'Q' (T trait, M marker, A affection, C covariate, Z zygosity, S or S<n> "
        "skipped columns, E end)",
        "D/s.dat:3: the item M has no name", "D/s.dat:5: the name 'm1' is given to two items"}},
      {"no such trait", "T Q2\nT Q3\nM m1\n", "", "",
       {"D/s.dat: the data file has no trait (T item) named Q1 (its traits: Q2, Q3)"}},
      {"header line, short line, long line, bad sex, trait and genotypes", dat,
       "FAM ID FA MO SEX Q1 m1 m1 m2 m2\n"
       "1 1 0 0 1 5 1 2\n"
       "1 2 0 0 1 5 1 2 1 2 7\n"
       "1 3 0 0 3 five 1 0 1/2/3\n"
       "# a comment\n",
       "",
       {"D/s.ped:1: family FAM, individual ID: sex 'SEX' is not 1 or m (male), 2 or f (female), or 0 (unknown) "
        "(a header line? --ped-header skips the first line)",
        "D/s.ped:2: family 1, individual 1: the line ends after 8 columns, before marker m2 (line 3 of D/s.dat)",
        "D/s.ped:3: family 1, individual 2: the line has 11 columns; the data file D/s.dat describes 10 (with the "
        "five leading columns)",
        "D/s.ped:4: family 1, individual 3: sex '3' is not 1 or m (male), 2 or f (female), or 0 (unknown)",
        "D/s.ped:4: family 1, individual 3: the value 'five' of trait Q1 is not a number nor a missing-value code "
        "(x, X, NA, -)",
        "D/s.ped:4: family 1, individual 3: marker m1: only one allele is typed (1 0); give both alleles, or 0 0 "
        "for untyped",
        "D/s.ped:4: family 1, individual 3: marker m2: the genotype '1/2/3' is not of the form a/b",
        "D/s.ped:5: family #, individual a: the line has 3 columns; a pedigree line starts with family, "
        "individual, father, mother and sex (a comment line? --comment # skips such lines)"}},
      {"map: wrong columns, not a number, marker twice, mixed widths", dat, "1 1 0 0 1 5 1 2 1 2\n",
       "1 m1\n1 m1 x\n1 m2 3\n1 m2 4\n1 m3 5 100\n",
       {"D/s.map:1: a map line has 3 columns (CHR MARKER POSITION) or 4 (CHR MARKER CM BP), not 2",
        "D/s.map:2: marker m1: the position 'x' is not a number",
        "D/s.map:4: marker m2 is listed twice (first on line 3)",
        "D/s.map:5: the line has 4 columns, the lines before it 3"}},
      {"missing files", dat, "", "",
       {"D/s.ped: cannot open the file"}},
  };
  for (const Case& c : cases) {
    ScratchDir d;
    d.write("s.dat", c.dat);
    if (!c.ped.empty()) d.write("s.ped", c.ped);
    if (!c.map.empty()) d.write("s.map", c.map);
    std::vector<InputProblem> problems;
    ReadOptions opt;
    opt.trait = "Q1";
    read_linkage(d.file("s.ped"), d.file("s.dat"), c.map.empty() ? "" : d.file("s.map"), opt, problems);
    std::vector<std::string> want;
    for (std::string p : c.problems) {
      // Each "D/" from where the last replacement ended: the directory's
      // random name may itself end in D.
      for (std::size_t at = 0; (at = p.find("D/", at)) != std::string::npos; at += d.path().size() + 1)
        p.replace(at, 1, d.path());
      want.push_back(p);
    }
    EXPECT_EQ(texts(problems), want) << c.what;
  }
}

TEST(ScanInput, HeaderAndCommentLinesAreSkippedOnlyWhenAsked) {
  ScratchDir d;
  d.write("s.dat", "T Q1\nM m1\n");
  d.write("s.ped", "FAM ID FA MO SEX Q1 A B\n% note\n1 1 0 0 1 5 1 2\n");
  std::vector<InputProblem> problems;
  ReadOptions opt;
  opt.trait = "Q1";
  opt.header = true;
  opt.comment = '%';
  const Study s = read_linkage(d.file("s.ped"), d.file("s.dat"), "", opt, problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(s.people.size(), 1u);
  EXPECT_EQ(s.people[0].line, 3);
}

TEST(ScanInput, MalformedPlinkAndPhenotypeFiles) {
  ScratchDir d;
  d.write("p.map", "1 rs1 0 1000\n1 rs2 0 5000\n");
  d.write("p.ped", "f 1 0 0 1 3.5 A G 1\nf 2 0 0 2 1 A 0 1 1\n");
  d.write("x.pheno", "FID IID a b\nf 1 1 2\nf 1 3 4\nf 2 5\n");
  std::vector<InputProblem> problems;
  ReadOptions opt;
  opt.trait = "c";
  read_plink(d.file("p"), d.file("x.pheno"), opt, problems);
  const std::string D = d.path();
  EXPECT_EQ(texts(problems), (std::vector<std::string>{D + "/x.pheno:1: the header names no phenotype c (its phenotypes: a, b)"}));
  problems.clear();
  opt.trait = "b";
  read_plink(d.file("p"), d.file("x.pheno"), opt, problems);
  EXPECT_EQ(texts(problems),
            (std::vector<std::string>{
                D + "/x.pheno:3: family f, individual 1: the individual is listed twice (first on line 2)",
                D + "/x.pheno:4: family f, individual 2: the line has 3 columns, the first line 4",
                D + "/p.ped:1: family f, individual 1: the line has 9 columns; 10 are needed (six leading columns and "
                    "two alleles for each of the 2 markers of " + D + "/p.map)",
                D + "/p.ped:2: family f, individual 2: marker rs1: only one allele is typed (A 0); give both alleles, "
                    "or 0 0 for untyped"}));
}

}  // namespace
}  // namespace mglink::scan
