// The scan order of the markers, chunks, the results table and the LOD plot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "scan/analysis.hpp"
#include "scan/markers.hpp"
#include "scan/plot.hpp"
#include "scan/table.hpp"
#include "support/scratch_dir.hpp"
#include "support/svg_check.hpp"

namespace mglink::scan {
namespace {

Study mapped_study(const std::vector<std::tuple<std::string, std::string, double>>& markers) {
  Study s;
  long line = 0;
  for (const auto& [name, chr, pos] : markers) {
    s.markers.push_back(MarkerData{name, {}, {}, {}});
    if (chr.empty()) {
      s.map.push_back(std::nullopt);
      continue;
    }
    MapEntry e;
    e.chr = chr;
    e.position = pos;
    e.position_text = std::to_string(pos);
    e.line = ++line;
    s.map.push_back(e);
  }
  return s;
}

std::vector<std::string> names(const Study& s, const std::vector<PlannedMarker>& p) {
  std::vector<std::string> n;
  for (const auto& pm : p) n.push_back(s.markers[pm.index].name + (pm.skip ? "*" : ""));
  return n;
}

TEST(ScanPlan, MapOrderSexChromosomesAndUnmappedMarkers) {
  const Study s = mapped_study({{"x1", "X", 5},
                                {"a10", "10", 1},
                                {"a2b", "2", 30},
                                {"none", "", 0},
                                {"a2a", "2", 10},
                                {"un", "Un", 0},
                                {"mt", "MT", 1},
                                {"a1", "1", 50}});
  std::vector<InputProblem> problems;
  const auto p = plan_markers(s, {}, problems);
  EXPECT_TRUE(problems.empty());
  // 1, 2, 10 by number, then X and MT (skipped), other labels, then the
  // unmapped (skipped) in data order.
  EXPECT_EQ(names(s, p), (std::vector<std::string>{"a1", "a2a", "a2b", "a10", "x1*", "mt*", "un", "none*"}));
  EXPECT_EQ(p[4].reason, "the map puts the marker on chromosome X; the model is autosomal");
  EXPECT_EQ(p[7].reason, "the map file gives no position for the marker");

  // Selections.
  Selection sel;
  sel.first = "a2a";
  sel.last = "x1";
  EXPECT_EQ(names(s, plan_markers(s, sel, problems)), (std::vector<std::string>{"a2a", "a2b", "a10", "x1*"}));
  sel = {};
  sel.chromosomes = {"2", "1"};
  EXPECT_EQ(names(s, plan_markers(s, sel, problems)), (std::vector<std::string>{"a1", "a2a", "a2b"}));
  sel = {};
  sel.names = {"a10", "none"};
  EXPECT_EQ(names(s, plan_markers(s, sel, problems)), (std::vector<std::string>{"a10", "none*"}));
  EXPECT_TRUE(problems.empty());
  sel = {};
  sel.names = {"zz"};
  sel.first = "a2b";
  sel.last = "a1";
  plan_markers(s, sel, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]), "--markers: the study has no marker zz");
  problems.clear();
  sel.names.clear();
  plan_markers(s, sel, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]), "--range: marker a1 comes before marker a2b in the scan order");
}

TEST(ScanPlan, ChunksAreEqualSlicesThatCoverTheListOnce) {
  for (std::size_t count : {0u, 1u, 7u, 25u, 100u})
    for (int n : {1, 2, 3, 8, 30}) {
      std::size_t at = 0;
      for (int k = 1; k <= n; ++k) {
        const Slice s = chunk_slice(count, k, n);
        EXPECT_EQ(s.begin, at);
        EXPECT_LE(s.end - s.begin, count / static_cast<std::size_t>(n) + 1);
        EXPECT_GE(s.end - s.begin, count / static_cast<std::size_t>(n));
        at = s.end;
      }
      EXPECT_EQ(at, count);
    }
}

TEST(ScanTable, RowsReadBackAndNumbersRoundTrip) {
  for (double v : {0.1, -1290.4906338537512, 1e-300, 0.49999999999999994, 5e-324})
    EXPECT_EQ(std::strtod(number_text(v).c_str(), nullptr), v) << number_text(v);
  Row r;
  r[COL_MARKER] = "m1";
  r[COL_LOD] = number_text(2.5);
  r[COL_REASON] = "a\ttab and a\nline end";
  const std::string text = header_line() + row_line(r) + row_line(r);
  std::vector<InputProblem> problems;
  const auto rows = parse_table(text, "t.tsv", false, problems);
  ASSERT_TRUE(problems.empty());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][COL_REASON], "a tab and a line end");
  EXPECT_EQ(rows[1][COL_LOD], "2.5");
  // A line cut off is dropped when only complete lines count, else a problem.
  const std::string cut = text + "1\tm2\t3";
  EXPECT_EQ(parse_table(cut, "t.tsv", true, problems).size(), 2u);
  EXPECT_TRUE(problems.empty());
  parse_table(cut, "t.tsv", false, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]), "t.tsv:4: the line has 3 fields, the header 26");
  problems.clear();
  parse_table("chr\tmarker\n", "t.tsv", false, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]),
            "t.tsv:1: the first line is not the header of a scan table (26 columns chr, marker, ..., reason)");
}

TEST(ScanStatistics, OneSidedPValue) {
  EXPECT_EQ(one_sided_pvalue(0.0), 1.0);
  EXPECT_EQ(one_sided_pvalue(-3.0), 1.0);
  EXPECT_NEAR(one_sided_pvalue(2.705543454095404), 0.05, 1e-12);  // 90% quantile of chi-square(1)
  EXPECT_NEAR(one_sided_pvalue(1e-12), 0.5, 1e-6);
}

TEST(ScanPlan, RunDirectoryNamesAreSafeAndUnique) {
  const Study s = mapped_study({{"D1S01", "1", 1}, {"rs1/2 x", "1", 2}, {"..", "1", 3}, {"rs1_2_x", "1", 4},
                                {"rs1:2 x", "1", 5}});
  std::vector<InputProblem> problems;
  std::vector<PlannedMarker> p = plan_markers(s, {}, problems);
  name_run_directories(s, p);
  std::vector<std::string> n;
  for (const auto& pm : p) n.push_back(pm.run_name);
  EXPECT_EQ(n, (std::vector<std::string>{"D1S01", "rs1_2_x", "_..", "rs1_2_x_2", "rs1_2_x_3"}));
}

#if defined(__unix__)
using mglink::testing::read_svg;
using mglink::testing::SvgSeen;

// The SVG parses as XML and holds one point per analysed marker, the line
// at LOD 3 and the peak's label.
TEST(ScanPlot, SvgParsesAndHoldsOnePointPerAnalysedMarker) {
  std::vector<Row> rows;
  auto add = [&](const char* chr, const char* name, const char* pos, const char* lod) {
    Row r;
    r[COL_CHR] = chr;
    r[COL_MARKER] = name;
    r[COL_POS] = pos;
    r[COL_LOD] = lod;
    rows.push_back(r);
  };
  add("1", "a<&>", "0", "0.5");
  add("1", "peak", "10", "4.25");
  add("1", "failed", "20", "");
  add("2", "c", "0", "-0.5");
  add("X", "x", "3", "");
  mglink::testing::ScratchDir d;
  d.write("p.svg", svg_plot(rows, PlotOptions{"title", "cM"}));
  const SvgSeen seen = read_svg(d.file("p.svg"));
  ASSERT_TRUE(seen.parsed) << seen.error;
  EXPECT_EQ(seen.titles, (std::vector<std::string>{"a<&>: LOD 0.500", "peak: LOD 4.250", "c: LOD -0.500"}));
  EXPECT_EQ(seen.thresholds, 1u);
  EXPECT_EQ(seen.peak, "peak (LOD 4.25)");
  EXPECT_EQ(seen.ticks, (std::vector<std::string>{"-1", "0", "1", "2", "3", "4", "5"}));
  EXPECT_TRUE(seen.off_scale.empty());
}

// LOD scores far off any linkage study's scale (a damaged or hand-edited
// table) keep the picture small: the axis is that of the other markers,
// with at most 21 ticks, and a point off the scale sits on the edge with
// its LOD written by it (the peak's in the peak's label).  Scores that do
// not read as finite numbers (inf, nan) are not drawn, as a failed marker.
TEST(ScanPlot, LodScoresOffTheScaleKeepThePlotSmall) {
  struct Case {
    const char* name;
    std::vector<std::string> lods;  // markers m1, m2, ... on chromosome 1, 10 cM apart
    std::string peak;
    std::vector<std::string> off_scale;
    std::vector<std::string> ticks;  // the first and the last
    std::size_t tick_count;
  };
  std::vector<std::string> mixed;  // 1e300, 0.2, 0.3, 2e300, 0.5, ... (60 markers), and 1e7, -1e8
  for (int i = 1; i <= 60; ++i)
    mixed.push_back(i % 3 == 1 ? std::to_string(i / 3 + 1) + "e300" : std::to_string(i / 10.0));
  mixed[30] = "1e7";
  mixed[33] = "-1e8";
  std::vector<Case> cases = {
      {"one huge among ordinary", {"0.5", "1e308", "2.25", "-0.5"}, "m2 (LOD 1e+308)", {}, {"-1", "4"}, 6},
      {"the largest double both ways",
       {"1.7976931348623157e308", "-1.7976931348623157e308", "3.5"},
       "m1 (LOD 1.7976931348623157e+308)",
       {"LOD -1.7976931348623157e+308"},
       {"0", "4"},
       5},
      {"many huge and ordinary mixed",
       mixed,
       "m58 (LOD 2e+301)",
       {},  // set below
       {"0", "7"},
       8},
      {"nothing but huge", {"1e308", "5e307", "-1e308"}, "m1 (LOD 1e+308)", {"LOD 5e+307", "LOD -1e+308"}, {"0", "4"}, 5},
      {"just beyond the scale", {"1000.5", "1000", "-999.5", "2"}, "m1 (LOD 1000.5)", {}, {"-1000", "1000"}, 11},
      {"wide but on the scale", {"150", "0.5"}, "m1 (LOD 150.00)", {}, {"0", "150"}, 16},
      {"inf and nan stay out", {"inf", "-inf", "nan", "1e308", "1"}, "m4 (LOD 1e+308)", {}, {"0", "4"}, 5},
  };
  for (std::size_t i = 0; i < mixed.size(); ++i)  // every point off the scale but the peak (m58) labelled
    if (i != 57 && i % 3 == 0) cases[2].off_scale.push_back("LOD " + number_text(std::stod(mixed[i])));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Row> rows;
    std::vector<std::string> titles;  // of the points drawn, the LOD's text only for those off the scale
    std::size_t above = 0, below = 0;
    for (std::size_t i = 0; i < c.lods.size(); ++i) {
      Row r;
      r[COL_CHR] = std::to_string(1);
      r[COL_MARKER] = std::string(1, 'm') + std::to_string(i + 1);
      r[COL_POS] = std::to_string(10 * i);
      r[COL_LOD] = c.lods[i];
      rows.push_back(r);
      double v = 0;
      if (!parse_number(c.lods[i], v)) continue;
      above += v > 1000;
      below += v < -1000;
      titles.push_back(r[COL_MARKER] + ": LOD " + (v > 1000 || v < -1000 ? number_text(v) : ""));
    }
    const std::string svg = svg_plot(rows, PlotOptions{"title", "cM"});
    EXPECT_LT(svg.size(), 100'000u);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    mglink::testing::ScratchDir d;
    d.write("p.svg", svg);
    const SvgSeen seen = read_svg(d.file("p.svg"));
    ASSERT_TRUE(seen.parsed) << seen.error;
    ASSERT_EQ(seen.titles.size(), titles.size());
    for (std::size_t k = 0; k < titles.size(); ++k) {
      if (titles[k].back() == ' ')  // on the scale: the name checked
        EXPECT_EQ(seen.titles[k].substr(0, titles[k].size()), titles[k]);
      else  // off it: the LOD in full
        EXPECT_EQ(seen.titles[k], titles[k]);
    }
    EXPECT_EQ(seen.peak, c.peak);
    ASSERT_FALSE(seen.ticks.empty());
    EXPECT_EQ(seen.ticks.front(), c.ticks[0]);
    EXPECT_EQ(seen.ticks.back(), c.ticks[1]);
    EXPECT_EQ(seen.ticks.size(), c.tick_count);
    // Every point inside the plot area (y from 48 to 356), those off the
    // scale on its edge.
    for (std::size_t k = 0; k < seen.cy.size(); ++k) {
      EXPECT_GE(seen.cy[k], 48.0) << seen.titles[k];
      EXPECT_LE(seen.cy[k], 356.0) << seen.titles[k];
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(seen.cy.begin(), seen.cy.end(), 48.0)), above);
    EXPECT_EQ(static_cast<std::size_t>(std::count(seen.cy.begin(), seen.cy.end(), 356.0)), below);
    EXPECT_EQ(seen.off_scale, c.off_scale);
  }
}

// Positions at the ends of the doubles' range (their spans overflow): every
// point within its panel, in order, the widths finite.
TEST(ScanPlot, PositionsAtTheEndsOfTheDoublesRange) {
  std::vector<Row> rows;
  for (const auto& [chr, pos] : std::vector<std::pair<std::string, std::string>>{
           {"1", "-1.7976931348623157e308"}, {"1", "0"}, {"1", "1.7976931348623157e308"},
           {"2", "-1e308"}, {"2", "1e308"}, {"3", "5"}, {"3", "25"}}) {
    Row r;
    r[COL_CHR] = chr;
    r[COL_MARKER] = "m" + std::to_string(rows.size() + 1);
    r[COL_POS] = pos;
    r[COL_LOD] = "1.5";
    rows.push_back(r);
  }
  const std::string svg = svg_plot(rows, PlotOptions{"title", "bp"});
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  mglink::testing::ScratchDir d;
  d.write("p.svg", svg);
  const SvgSeen seen = read_svg(d.file("p.svg"));
  ASSERT_TRUE(seen.parsed) << seen.error;
  ASSERT_EQ(seen.cx.size(), rows.size());
  // Inside the plot (x from 64 to 940), left to right; the middle point of
  // chromosome 1 halfway between its ends.
  EXPECT_GE(seen.cx.front(), 64.0);
  EXPECT_LE(seen.cx.back(), 940.0);
  for (std::size_t k = 1; k < seen.cx.size(); ++k) EXPECT_LT(seen.cx[k - 1], seen.cx[k]) << k;
  EXPECT_NEAR(seen.cx[1], (seen.cx[0] + seen.cx[2]) / 2, 0.1);
}
#endif

}  // namespace
}  // namespace mglink::scan
