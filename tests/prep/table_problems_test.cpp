// Bad pedigree tables: every problem is reported with its line, family and
// individual, and all problems of a table are listed together.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "prep/prep.hpp"

namespace mglink::prep {
namespace {

std::vector<std::string> problems_of(const std::string& table, TableOptions opt = {}) {
  std::istringstream in(table);
  Prepared pr = prepare(in, opt);
  std::vector<std::string> out;
  for (const Problem& p : pr.problems) out.push_back(format_problem("ped", p));
  return out;
}

struct BadCase {
  const char* name;
  const char* table;
  std::vector<std::string> expected;
};

TEST(PrepTableProblems, EachProblemHasItsMessage) {
  const std::vector<BadCase> cases = {
      {"too few columns", "1 a 0 0 1 2.5 1\n",
       {"ped:1: family 1, individual a: the line has 7 columns; 8 are needed (family, individual, "
        "father, mother, sex, trait, two marker alleles)"}},
      {"columns differ between lines", "1 a 0 0 1 2.5 1 1\n1 b 0 0 1 2.5 3 1 1\n",
       {"ped:2: family 1, individual b: the line has 9 columns, line 1 has 8"}},
      {"sex code", "1 a 0 0 M 2.5 1 1\n",
       {"ped:1: family 1, individual a: sex 'M' is not 1 (male), 2 (female) or 0 (unknown)"}},
      {"trait not a number", "1 a 0 0 1 tall 1 1\n",
       {"ped:1: family 1, individual a: trait value 'tall' is not a number nor a missing-value "
        "code (-999, NA, x)"}},
      {"trait read as unknown by mglink", "1 a 0 0 1 -998 1 1\n",
       {"ped:1: family 1, individual a: trait value -998 is at or below -998, which mglink reads "
        "as unknown; shift the trait or write the missing-value code"}},
      {"allele outside 1..5", "1 a 0 0 1 1 1 7\n1 b 0 0 2 1 A 2\n",
       {"ped:1: family 1, individual a: marker allele '7' is not one of the alleles 1 to 5 (0 = "
        "untyped)",
        "ped:2: family 1, individual b: marker allele 'A' is not one of the alleles 1 to 5 (0 = "
        "untyped)",
        "ped: the model has five marker alleles, coded 1 to 5; recode the marker (alleles in the "
        "table: 1 2 7 A)"}},
      {"half-typed marker", "1 a 0 0 1 1 0 3\n",
       {"ped:1: family 1, individual a: only one marker allele is typed (0 3); give both "
        "alleles, or 0 0 for untyped"}},
      {"individual id 0", "1 0 0 0 1 1 1 1\n",
       {"ped:1: family 1, individual 0: the individual id 0 is reserved for unknown parents"}},
      {"duplicate id", "1 a 0 0 1 1 1 1\n1 b 0 0 2 1 1 1\n1 a 0 0 1 2 1 1\n",
       {"ped:3: family 1, individual a: the individual id appears twice in the family (first on "
        "line 1); this line is ignored"}},
      {"own parent", "1 a a 0 1 1 1 1\n",
       {"ped:1: family 1, individual a: is given as his or her own father",
        "ped:1: family 1, individual a: only the father is known (mother 0): give both parents "
        "or neither, or use --add-missing-parents"}},
      {"absent parent", "1 f 0 0 1 1 1 1\n1 c f m 2 1 1 1\n",
       {"ped:2: family 1, individual c: the mother 'm' has no line in the family (add the line, "
        "or use --add-missing-parents)"}},
      {"one parent known", "1 f 0 0 1 1 1 1\n1 c f 0 2 1 1 1\n",
       {"ped:2: family 1, individual c: only the father is known (mother 0): give both parents "
        "or neither, or use --add-missing-parents"}},
      {"father not male",
       "1 f 0 0 2 1 1 1\n1 m 0 0 2 1 1 1\n1 c f m 1 1 1 1\n",
       {"ped:1: family 1, individual f: is the father of 'c' (line 3) but has sex 2; a father "
        "must have sex 1"}},
      {"mother of unknown sex",
       "1 f 0 0 1 1 1 1\n1 m 0 0 0 1 1 1\n1 c f m 1 1 1 1\n",
       {"ped:2: family 1, individual m: is the mother of 'c' (line 3) but has sex 0; a mother "
        "must have sex 2"}},
      {"father and mother",
       "1 a 0 0 1 1 1 1\n1 b 0 0 2 1 1 1\n1 c 0 0 1 1 1 1\n1 d a b 1 1 1 1\n1 e c a 1 1 1 1\n",
       {"ped:1: family 1, individual a: is the father of 'd' (line 4) and the mother of 'e' (line "
        "5)"}},
      {"one person as both parents", "1 a 0 0 1 1 1 1\n1 c a a 1 1 1 1\n",
       {"ped:1: family 1, individual a: is the father of 'c' (line 2) and the mother of 'c' "
        "(line 2)"}},
      {"empty table", "# nothing here\n\n", {"ped: the table holds no pedigree lines"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(problems_of(c.table), c.expected);
  }
}

TEST(PrepTableProblems, LoopsNameTheIndividualsOnThem) {
  // Two sibs' children marry: a consanguinity loop.
  const char* cousins =
      "F gf 0 0 1 1 0 0\nF gm 0 0 2 1 0 0\n"
      "F s1 gf gm 1 1 0 0\nF w1 0 0 2 1 0 0\nF s2 gf gm 2 1 0 0\nF h2 0 0 1 1 0 0\n"
      "F c1 s1 w1 1 1 0 0\nF c2 h2 s2 2 1 0 0\nF k c1 c2 1 1 0 0\n";
  EXPECT_EQ(problems_of(cousins),
            std::vector<std::string>{
                "ped:8: family F, individual c2: the pedigree has a loop through the individuals "
                "'c1', 's1', 's2', 'c2' and the nuclear family of father 'c1' and mother 'c2' (a "
                "marriage or consanguinity loop); mglink peels only pedigrees without loops (mglink-scan "
                "analyses such pedigrees)"});
  // Two brothers marry two sisters: a marriage loop.
  const char* marriage =
      "M a 0 0 1 1 0 0\nM b 0 0 2 1 0 0\nM c 0 0 1 1 0 0\nM d 0 0 2 1 0 0\n"
      "M b1 a b 1 1 0 0\nM b2 a b 1 1 0 0\nM s1 c d 2 1 0 0\nM s2 c d 2 1 0 0\n"
      "M x b1 s1 1 1 0 0\nM y b2 s2 1 1 0 0\n";
  auto p = problems_of(marriage);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("loop through the individuals 'b2', 'b1', 's1', 's2'"), std::string::npos)
      << p[0];
  // Someone who is his own grandfather.
  const char* ancestor =
      "A a b m 1 1 0 0\nA m 0 0 2 1 0 0\nA b a w 1 1 0 0\nA w 0 0 2 1 0 0\n";
  p = problems_of(ancestor);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("loop through the individuals"), std::string::npos) << p[0];
}

TEST(PrepTableProblems, MendelianInconsistenciesNameTheNuclearFamily) {
  const std::vector<BadCase> cases = {
      {"child not from typed parents", "1 f 0 0 1 1 1 2\n1 m 0 0 2 1 3 3\n1 c f m 1 1 1 2\n",
       {"ped:3: family 1, individual c: marker genotype 1/2 cannot come from father 'f' (1/2) "
        "and mother 'm' (3/3), in the nuclear family of father 'f' and mother 'm'"}},
      {"child shares nothing with the typed parent",
       "1 f 0 0 1 1 4 4\n1 m 0 0 2 1 0 0\n1 c f m 1 1 1 2\n",
       {"ped:3: family 1, individual c: marker genotype 1/2 shares no allele with father 'f' "
        "(4/4), in the nuclear family of father 'f' and mother 'm'"}},
      {"five alleles among sibs",
       "1 f 0 0 1 1 0 0\n1 m 0 0 2 1 0 0\n1 c1 f m 1 1 1 2\n1 c2 f m 1 1 3 4\n1 c3 f m 1 1 5 5\n",
       {"ped:3: family 1: the marker genotypes of the nuclear family of father 'f' and mother 'm' "
        "fit no pair of parental genotypes ('f' 0/0, 'm' 0/0, 'c1' 1/2, 'c2' 3/4, 'c3' 5/5)"}},
      {"across generations",
       // Grandparents 1/1 x 1/1 force f to be 1/1; f's children then cannot be 2/2 and 3/3.
       "1 gf 0 0 1 1 1 1\n1 gm 0 0 2 1 1 1\n1 f gf gm 1 1 0 0\n1 m 0 0 2 1 0 0\n"
       "1 c1 f m 1 1 2 2\n",
       {"ped:5: family 1: the marker genotypes do not follow Mendel's laws across the "
        "generations of the family: no marker genotypes fit the nuclear family of father 'f' and "
        "mother 'm' together with their relatives ('f' 0/0, 'm' 0/0, 'c1' 2/2; 0/0 = untyped)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(problems_of(c.table), c.expected);
  }
}

TEST(PrepTableProblems, AllProblemsOfATableAreListed) {
  const char* table =
      "1 a 0 0 3 1 1 1\n"      // sex
      "1 b 0 0 2 1 1 9\n"      // allele
      "2 c x 0 1 1 1 1\n"      // absent father, one parent known
      "2 c 0 0 1 1 1 1\n";     // duplicate
  auto p = problems_of(table);
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].substr(0, 29), "ped:1: family 1, individual a");
  EXPECT_EQ(p[1].substr(0, 29), "ped:2: family 1, individual b");
  EXPECT_EQ(p[2].substr(0, 29), "ped:4: family 2, individual c");
  EXPECT_EQ(p[3], "ped: the model has five marker alleles, coded 1 to 5; recode the marker "
                  "(alleles in the table: 1 9)");
  EXPECT_NE(p[4].find("the father 'x' has no line"), std::string::npos);
  EXPECT_NE(p[5].find("only the father is known"), std::string::npos);
}

TEST(PrepTableProblems, CapacitiesOfMglink) {
  // 605 families of one, the last with 24394 more people: 24999 in all.
  std::string table;
  for (int f = 1; f <= 605; ++f) table += std::to_string(f) + " a 0 0 1 1 1 1\n";
  for (int i = 1; i <= 24394; ++i) table += "605 b" + std::to_string(i) + " 0 0 1 1 1 1\n";
  EXPECT_EQ(problems_of(table),
            (std::vector<std::string>{
                "ped: the study has 605 families; mglink holds at most 604 (N_FAM; mglink-scan analyses larger studies)",
                "ped: the study has 24999 individuals; mglink holds at most 24998 (N_SIZE; mglink-scan analyses "
                "larger studies)"}));
  // 1700 untyped individuals keep 55 genotypes each: more than N_WAY slots.
  table.clear();
  for (int i = 1; i <= 1700; ++i) table += "1 b" + std::to_string(i) + " 0 0 1 1 0 0\n";
  EXPECT_EQ(problems_of(table),
            std::vector<std::string>{"ped: the families have 93500 possible (individual, "
                                     "genotype) pairs; the genotype lists have room for 92000 "
                                     "(N_WAY)"});
}

TEST(PrepTableProblems, ZeroLikelihoodAtTheStartValues) {
  // One trait value so far from all others that its density underflows.
  std::string table;
  for (int i = 1; i <= 1000; ++i) table += "A b" + std::to_string(i) + " 0 0 1 0 0 0\n";
  table += "B far 0 0 1 1000 0 0\n";
  EXPECT_EQ(problems_of(table),
            std::vector<std::string>{"ped: family B: the likelihood is zero at the start values "
                                     "(a trait value far from all others?)"});
}

TEST(PrepTableProblems, AddMissingParentsRepairsTheLinks) {
  TableOptions opt;
  opt.add_missing_parents = true;
  std::istringstream in(
      "1 c1 f 0 1 1 1 1\n"   // only the father known, and he has no line
      "1 c2 f 0 2 1 1 2\n"   // his second child: shares the placeholder mother
      "1 c3 0 m 1 1 0 0\n"); // mother without a line, unknown father
  Prepared pr = prepare(in, opt);
  ASSERT_TRUE(pr.problems.empty()) << format_problem("ped", pr.problems.front());
  ASSERT_EQ(pr.ped.families.size(), 1u);
  const Family& fam = pr.ped.families[0];
  ASSERT_EQ(fam.people.size(), 7u);
  EXPECT_EQ(pr.added, 4);
  std::vector<std::string> ids;
  for (const Person& p : fam.people) ids.push_back(p.id + "/" + std::to_string(p.sex));
  EXPECT_EQ(ids, (std::vector<std::string>{"c1/1", "c2/2", "c3/1", "f/1", "m/2",
                                           "_mate_of_f/2", "_mate_of_m/1"}));
  ASSERT_EQ(fam.nuclear.size(), 2u);
  EXPECT_EQ(fam.nuclear[0].children, (std::vector<int>{0, 1}));
  EXPECT_EQ(fam.nuclear[1].children, (std::vector<int>{2}));
  for (int k = 3; k < 7; ++k) {
    EXPECT_TRUE(fam.people[static_cast<std::size_t>(k)].added);
    EXPECT_EQ(fam.people[static_cast<std::size_t>(k)].allele1, 0);
    EXPECT_TRUE(fam.people[static_cast<std::size_t>(k)].trait_missing);
  }
}

TEST(PrepTableProblems, ColumnsCommentsAndMissingCodes) {
  TableOptions opt;
  opt.trait_column = 7;
  opt.comment = '%';
  opt.missing = "-1";
  std::istringstream in(
      "% two traits; the second is analysed\n"
      "1 a 0 0 1 5.5 -1 1 2 % a remark\n"
      "1 b 0 0 2 -999 2.25 3 3\n"
      "1 c 0 0 2 1 NA 0 0\n");
  Prepared pr = prepare(in, opt);
  ASSERT_TRUE(pr.problems.empty()) << format_problem("ped", pr.problems.front());
  const auto& ps = pr.ped.families[0].people;
  EXPECT_TRUE(ps[0].trait_missing);
  EXPECT_FALSE(ps[1].trait_missing);
  EXPECT_EQ(ps[1].trait, 2.25);
  EXPECT_TRUE(ps[2].trait_missing);
  EXPECT_EQ(ps[1].allele1, 3);
  EXPECT_EQ(trait_text(pr.ped), "-999\n2.25\n-999\n");
  EXPECT_EQ(marker_text(pr.ped), "2\n10\n0\n");

  // A byte-order mark before the first line is not part of the family id.
  std::istringstream bom("\xEF\xBB\xBF" "1 a 0 0 1 1 1 1\n1 b 0 0 2 1 1 1\n");
  pr = prepare(bom, TableOptions{});
  ASSERT_TRUE(pr.problems.empty());
  ASSERT_EQ(pr.ped.families.size(), 1u);
  EXPECT_EQ(pr.ped.families[0].id, "1");

  TableOptions plink;
  plink.plink = true;
  std::istringstream ped("1 a 0 0 1 -9 1 2 A C\n1 b 0 0 2 3.5 2 2 C C\n");
  pr = prepare(ped, plink);
  ASSERT_TRUE(pr.problems.empty()) << format_problem("ped", pr.problems.front());
  EXPECT_EQ(trait_text(pr.ped), "-999\n3.5\n");
  EXPECT_EQ(marker_text(pr.ped), "2\n6\n");
}

}  // namespace
}  // namespace mglink::prep
