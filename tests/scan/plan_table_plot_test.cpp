// The scan order of the markers, chunks, the results table and the LOD plot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scan/analysis.hpp"
#include "scan/markers.hpp"
#include "scan/plot.hpp"
#include "scan/table.hpp"
#include "support/scratch_dir.hpp"

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
  EXPECT_EQ(format_problem(problems[0]), "t.tsv:4: the line has 3 fields, the header 25");
  problems.clear();
  parse_table("chr\tmarker\n", "t.tsv", false, problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(format_problem(problems[0]),
            "t.tsv:1: the first line is not the header of a scan table (25 columns chr, marker, ..., reason)");
}

TEST(ScanStatistics, OneSidedPValueAndDirectoryNames) {
  EXPECT_EQ(one_sided_pvalue(0.0), 1.0);
  EXPECT_EQ(one_sided_pvalue(-3.0), 1.0);
  EXPECT_NEAR(one_sided_pvalue(2.705543454095404), 0.05, 1e-12);  // 90% quantile of chi-square(1)
  EXPECT_NEAR(one_sided_pvalue(1e-12), 0.5, 1e-6);
  EXPECT_EQ(directory_name("D1S01"), "D1S01");
  EXPECT_EQ(directory_name("rs1/2 x"), "rs1_2_x");
  EXPECT_EQ(directory_name(".."), "_..");
}

#if defined(__unix__)
// The SVG parses as XML (python3's parser) and holds one point per analysed
// marker, the line at LOD 3 and the peak's label.
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
  const std::string cmd =
      "python3 -c \"import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); "
      "ns = '{http://www.w3.org/2000/svg}'; "
      "c = [e for e in r.iter(ns + 'circle') if e.get('class') == 'marker']; "
      "t = [e.text for e in r.iter(ns + 'text') if e.get('class') == 'peak']; "
      "l = [e for e in r.iter(ns + 'line') if e.get('class') == 'threshold']; "
      "print(len(c), len(l), t[0], ';'.join(e.find(ns + 'title').text for e in c))\" '" +
      d.file("p.svg") + "' > '" + d.file("out.txt") + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << d.read("out.txt");
  EXPECT_EQ(d.read("out.txt"), "3 1 peak (LOD 4.25) a<&>: LOD 0.500;peak: LOD 4.250;c: LOD -0.500\n");
}
#endif

}  // namespace
}  // namespace mglink::scan
