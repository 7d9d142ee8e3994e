// The mglink-scan command on the shipped example study: the table against
// mglink's own runs, threads, chunks and merge, resume after a kill, the
// statuses and messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "io/fixed_format.hpp"
#include "prep/writer.hpp"
#include "scan/table.hpp"
#include "support/scratch_dir.hpp"
#include "support/svg_check.hpp"

namespace mglink::scan {
namespace {

namespace fs = std::filesystem;
using mglink::testing::read_file;
using mglink::testing::ScratchDir;

#if defined(MGLINK_SCAN_BIN) && defined(MGLINK_BIN)

const std::string EXAMPLE = std::string(MGLINK_SOURCE_DIR) + "/examples/scan";
const std::string STUDY = "--ped '" + EXAMPLE + "/study.ped' --dat '" + EXAMPLE + "/study.dat' --map '" + EXAMPLE +
                          "/study.map' --trait Q1 --quiet";
// Markers of 2, 4, 5 and 8 alleles on both chromosomes, the one with a
// Mendelian inconsistency and the one on X.
const std::string SOME = " --markers D1S01,D1S02,D1S06,D1S07,D1S08,D2S03,D2S05,DXS01";

class ScanCommand : public ::testing::Test {
 protected:
  // Runs mglink-scan with `args` in the scratch directory; returns the exit status.
  int scan(const std::string& args) {
    const std::string cmd = "cd '" + dir_.string() + "' && '" + MGLINK_SCAN_BIN + "' " + args + " >out.txt 2>err.txt";
    const int rc = std::system(cmd.c_str());
    out_ = read_file(dir_ / "out.txt");
    err_ = read_file(dir_ / "err.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string read(const std::string& name) { return read_file(dir_ / name); }
  std::vector<Row> rows(const std::string& name) {
    std::vector<InputProblem> problems;
    auto r = parse_table(read(name), name, false, problems);
    EXPECT_TRUE(problems.empty()) << name;
    return r;
  }

  ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
  std::string out_, err_;
};

// The number after `key` in a result file.
double result_value(const std::string& text, const std::string& key) {
  const auto at = text.find(key);
  EXPECT_NE(at, std::string::npos) << key;
  return std::strtod(text.c_str() + at + key.size(), nullptr);
}

TEST_F(ScanCommand, ExampleStudyMatchesMglinkRunByRunForAnyNumberOfThreads) {
  ASSERT_EQ(scan(STUDY + " --threads 2 --keep-runs runs two"), 0) << err_;
  const std::vector<Row> table = rows("two/scan.tsv");
  ASSERT_EQ(table.size(), 25u);
  std::map<std::string, std::string> status;
  long analysed = 0;
  for (const Row& r : table) {
    status[r[COL_MARKER]] = r[COL_STATUS];
    if (r[COL_LOD].empty()) continue;
    ++analysed;
    // No marker ends below the null with the default starts.
    EXPECT_EQ(r[COL_STATUS], "ok") << r[COL_MARKER] << ": " << r[COL_REASON];
    // The numbers are those of the kept run's result file, as mglink writes them.
    const std::string result = read("runs/" + r[COL_MARKER] + "/" + std::string(prep::RESULT_FILE));
    const double lod = std::strtod(r[COL_LOD].c_str(), nullptr);
    EXPECT_EQ("LOD SCORE=" + format_E(lod, 14, 7), result.substr(result.find("LOD SCORE=")).substr(0, 24));
    EXPECT_EQ(format_E(std::strtod(r[COL_LNL0].c_str(), nullptr), 14, 7),
              format_E(result_value(result, "LH(0.5)="), 14, 7));
    EXPECT_EQ(std::stoi(r[COL_STARTS]), 1) << r[COL_MARKER];
  }
  EXPECT_EQ(analysed, 23);
  EXPECT_EQ(status["D1S06"], "mendel-error");
  EXPECT_EQ(status["DXS01"], "skipped");
  EXPECT_NE(table[5][COL_REASON].find("family F59, individual 9"), std::string::npos) << table[5][COL_REASON];
  // The peak: the marker next to the major gene.
  double best = -1;
  std::string peak;
  for (const Row& r : table)
    if (!r[COL_LOD].empty() && std::strtod(r[COL_LOD].c_str(), nullptr) > best) {
      best = std::strtod(r[COL_LOD].c_str(), nullptr);
      peak = r[COL_MARKER];
    }
  EXPECT_EQ(peak, "D1S07");
  EXPECT_GT(best, 3.0);

  // mglink run in a kept directory writes the same sigma.DAT and result file
  // (markers of 2, 4 and 5 alleles; one of 8 is analysed exactly, not by
  // mglink: ScanCommand.MarkersOfMoreThanFiveAllelesAreAnalysedExactly).
  for (const char* m : {"D1S01", "D1S02", "D1S03"}) {
    const fs::path kept = dir_ / "runs" / m, again = dir_ / (std::string("again-") + m);
    fs::copy(kept, again);
    fs::remove(again / "sigma.DAT");
    fs::remove(again / prep::RESULT_FILE);
    const std::string cmd = "cd '" + again.string() + "' && '" + MGLINK_BIN + "' </dev/null >console.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << m;
    EXPECT_EQ(read_file(again / "sigma.DAT"), read_file(kept / "sigma.DAT")) << m;
    EXPECT_EQ(read_file(again / prep::RESULT_FILE), read_file(kept / prep::RESULT_FILE)) << m;
    EXPECT_FALSE(read_file(kept / "sigma.DAT").empty());
  }

  // One thread: the same lines, byte for byte (a marker's line does not
  // depend on the other markers of the scan).
  ASSERT_EQ(scan(STUDY + SOME + " --threads 1 one"), 0) << err_;
  std::string expected = header_line();
  for (const Row& r : table)
    if (SOME.find(r[COL_MARKER]) != std::string::npos) expected += row_line(r);
  EXPECT_EQ(read("one/scan.tsv"), expected);
  EXPECT_FALSE(fs::exists(dir_ / "one" / ".mglink-scan-work"));

  // --plot-only redraws the same picture.
  ASSERT_EQ(scan("--plot-only two/scan.tsv redrawn.svg"), 0) << err_;
  EXPECT_EQ(read("redrawn.svg"), read("two/scan.svg"));
  const std::string svg = read("two/scan.svg");
  std::size_t points = 0;
  for (std::size_t at = 0; (at = svg.find("<circle class=\"marker\"", at)) != std::string::npos; ++at) ++points;
  EXPECT_EQ(points, 23u);
}

// Markers of more than five alleles keep every allele (path k-allele,
// nothing lumped), and the kept directory holds the exact figures; with
// --lump they are the five-allele analysis of the lumped marker, which
// mglink reproduces in its kept directory; a marker of at most five alleles
// gives the same line either way.
TEST_F(ScanCommand, MarkersOfMoreThanFiveAllelesAreAnalysedExactly) {
  const std::string some = " --markers D1S03,D1S04,D1S08";
  ASSERT_EQ(scan(STUDY + some + " --threads 2 --keep-runs exactruns exact"), 0) << err_;
  ASSERT_EQ(scan(STUDY + some + " --threads 2 --lump --keep-runs lumpruns lumped"), 0) << err_;
  const std::vector<Row> exact = rows("exact/scan.tsv"), lumped = rows("lumped/scan.tsv");
  ASSERT_EQ(exact.size(), 3u);
  ASSERT_EQ(lumped.size(), 3u);
  EXPECT_EQ(exact[0], lumped[0]);
  EXPECT_EQ(exact[0][COL_PATH], "five-allele");
  for (std::size_t i : {std::size_t{1}, std::size_t{2}}) {
    const std::string m = exact[i][COL_MARKER];
    SCOPED_TRACE(m);
    EXPECT_EQ(exact[i][COL_ALLELES], "8");
    EXPECT_EQ(exact[i][COL_LUMPED], "0");
    EXPECT_EQ(exact[i][COL_PATH], "k-allele");
    EXPECT_EQ(exact[i][COL_STATUS], "ok") << exact[i][COL_REASON];
    EXPECT_EQ(exact[i][COL_REASON].find("lumped"), std::string::npos);
    EXPECT_EQ(lumped[i][COL_LUMPED], "4");
    EXPECT_EQ(lumped[i][COL_PATH], "lumped");
    EXPECT_NE(lumped[i][COL_REASON].find("4 alleles lumped into allele 5"), std::string::npos);
    EXPECT_NE(exact[i][COL_LNL0], lumped[i][COL_LNL0]);
    // The exact run's result file holds the line's figures.
    const std::string result = read("exactruns/" + m + "/" + std::string(prep::RESULT_FILE));
    EXPECT_EQ("LOD SCORE=" + format_E(std::strtod(exact[i][COL_LOD].c_str(), nullptr), 14, 7),
              result.substr(result.find("LOD SCORE=")).substr(0, 24));
    // mglink in the lumped analysis's kept directory writes what it kept.
    const fs::path kept = dir_ / "lumpruns" / m, again = dir_ / ("again-" + m);
    fs::copy(kept, again);
    fs::remove(again / "sigma.DAT");
    fs::remove(again / prep::RESULT_FILE);
    const std::string cmd = "cd '" + again.string() + "' && '" + MGLINK_BIN + "' </dev/null >console.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(again / "sigma.DAT"), read_file(kept / "sigma.DAT"));
    EXPECT_EQ(read_file(again / prep::RESULT_FILE), read_file(kept / prep::RESULT_FILE));
  }
}

TEST_F(ScanCommand, ChunksMergeIntoTheWholeScanByteForByte) {
  // The whole scan on one thread, the chunks on two.
  ASSERT_EQ(scan(STUDY + SOME + " --threads 1 whole"), 0) << err_;
  ASSERT_EQ(rows("whole/scan.tsv").size(), 8u);
  for (int k = 1; k <= 3; ++k)
    ASSERT_EQ(scan(STUDY + SOME + " --threads 2 --chunk " + std::to_string(k) + "/3 c" + std::to_string(k)), 0) << err_;
  EXPECT_EQ(rows("c1/scan.tsv").size() + rows("c2/scan.tsv").size() + rows("c3/scan.tsv").size(), 8u);
  ASSERT_EQ(scan("--quiet --merge c1/scan.tsv c2/scan.tsv c3/scan.tsv merged"), 0) << err_;
  EXPECT_EQ(read("merged/scan.tsv"), read("whole/scan.tsv"));
  EXPECT_EQ(read("merged/scan.svg"), read("whole/scan.svg"));

  // A marker twice, a table that is not a scan table, an existing output.
  EXPECT_EQ(scan("--merge c1/scan.tsv c1/scan.tsv dup"), 1);
  EXPECT_EQ(err_.substr(0, err_.find('\n')),
            "mglink-scan: c1/scan.tsv:2: marker D1S01 is already on c1/scan.tsv:2");
  EXPECT_FALSE(fs::exists(dir_ / "dup"));
  scratch_.write("bad.tsv", "marker\tlod\nm\t1\n");
  EXPECT_EQ(scan("--merge c1/scan.tsv bad.tsv dup"), 1);
  EXPECT_NE(err_.find("mglink-scan: bad.tsv:1: the first line is not the header of a scan table"), std::string::npos)
      << err_;
  EXPECT_EQ(scan("--merge c1/scan.tsv c2/scan.tsv merged"), 2);
  EXPECT_EQ(err_, "mglink-scan: merged/scan.tsv exists; --force replaces it\n");
}

TEST_F(ScanCommand, ResumeAfterAKillGivesTheSameTable) {
  ASSERT_EQ(scan(STUDY + SOME + " --threads 2 whole"), 0) << err_;
  // Killed once the table holds three markers (one thread: the others wait).
  const std::string cmd = "cd '" + dir_.string() + "' && ('" + MGLINK_SCAN_BIN + "' " + STUDY + SOME +
                          " --threads 1 cut & p=$!; "
                          "while [ \"$(cat cut/scan.tsv 2>/dev/null | wc -l)\" -lt 4 ]; do sleep 0.02; done; "
                          "kill -9 $p; wait $p) >/dev/null 2>&1";
  std::system(cmd.c_str());
  const std::string part = read("cut/scan.tsv");
  ASSERT_LT(rows("cut/scan.tsv").size(), 8u) << "the scan ended before the kill";
  EXPECT_EQ(read("whole/scan.tsv").substr(0, part.size()), part);
  EXPECT_EQ(scan(STUDY + SOME + " cut"), 2);
  EXPECT_EQ(err_, "mglink-scan: cut/scan.tsv exists; --resume continues it, --force replaces it\n");
  ASSERT_EQ(scan(STUDY + SOME + " --resume --threads 2 cut"), 0) << err_;
  EXPECT_EQ(read("cut/scan.tsv"), read("whole/scan.tsv"));
  EXPECT_EQ(read("cut/scan.svg"), read("whole/scan.svg"));

  // A line cut off in the middle is dropped and run again.
  const std::string whole = read("whole/scan.tsv");
  const std::size_t third = whole.find('\n', whole.find('\n', whole.find('\n') + 1) + 1);
  scratch_.write("cut/scan.tsv", whole.substr(0, third + 20));
  ASSERT_EQ(scan(STUDY + SOME + " --resume cut"), 0) << err_;
  EXPECT_EQ(read("cut/scan.tsv"), whole);

  // A table of another scan is not continued.
  EXPECT_EQ(scan(STUDY + " --markers D1S02,D1S03 --resume cut"), 1);
  EXPECT_EQ(err_,
            "mglink-scan: cut/scan.tsv, line 2: marker D1S01 is not the scan's marker D1S02 there; the table "
            "belongs to another scan (--force replaces it)\n");
  EXPECT_EQ(scan(STUDY + " --markers D1S01 --resume cut"), 1);
  EXPECT_EQ(err_,
            "mglink-scan: cut/scan.tsv, line 3: marker D1S02 is beyond the scan's 1 marker; the table belongs to "
            "another scan (--force replaces it)\n");
  EXPECT_EQ(read("cut/scan.tsv"), whole);
}

// A table saved on another system (CR-LF line ends) is read as its lines:
// --resume continues it into the table an uninterrupted scan writes (the
// kept lines written again with LF), --merge and --plot-only give what they
// give for the LF table.
TEST_F(ScanCommand, TablesWithCrLfLineEndsReadAsTheirLines) {
  ASSERT_EQ(scan(STUDY + SOME + " --threads 2 whole"), 0) << err_;
  const std::string whole = read("whole/scan.tsv"), svg = read("whole/scan.svg");
  std::vector<std::string> lines;  // each with its "\n"
  for (std::size_t at = 0; at < whole.size();) {
    const std::size_t end = whole.find('\n', at) + 1;
    lines.push_back(whole.substr(at, end - at));
    at = end;
  }
  ASSERT_EQ(lines.size(), 9u);
  auto crlf = [](const std::string& t) {
    std::string o;
    for (char c : t) o += c == '\n' ? "\r\n" : std::string(1, c);
    return o;
  };
  auto join = [&](std::size_t from, std::size_t to) {  // lines[from, to)
    std::string t;
    for (std::size_t k = from; k < to; ++k) t += lines[k];
    return t;
  };

  const std::string four = crlf(join(0, 4));  // the header and three markers
  const std::vector<std::pair<const char*, std::string>> tables = {
      {"the header", crlf(lines[0])},
      {"three markers", four},
      {"three markers and a line cut off", four + lines[4].substr(0, 20)},
      {"three markers and a line cut off before its LF", four + crlf(lines[4]).substr(0, lines[4].size())},
      {"three markers, then LF lines", four + join(4, 6)},
      {"every marker", crlf(whole)},
  };
  for (const auto& [name, table] : tables) {
    SCOPED_TRACE(name);
    fs::remove_all(dir_ / "r");
    fs::create_directory(dir_ / "r");
    scratch_.write("r/scan.tsv", table);
    ASSERT_EQ(scan(STUDY + SOME + " --resume r"), 0) << err_;
    EXPECT_EQ(read("r/scan.tsv"), whole);
    EXPECT_EQ(read("r/scan.svg"), svg);
    std::set<std::string> files;  // no temporary file left
    for (const auto& e : fs::directory_iterator(dir_ / "r")) files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"scan.svg", "scan.tsv"}));
  }
  // A CR-LF table of another scan is left as it is.
  scratch_.write("r/scan.tsv", four);
  EXPECT_EQ(scan(STUDY + " --markers D1S02,D1S03 --resume r"), 1);
  EXPECT_EQ(read("r/scan.tsv"), four);

  // Slices, CR-LF or not, merge into the LF table.
  scratch_.write("s1.tsv", crlf(join(0, 4)));
  scratch_.write("s2.tsv", lines[0] + join(4, 7));
  scratch_.write("s3.tsv", crlf(lines[0] + join(7, 9)));
  ASSERT_EQ(scan("--quiet --merge s1.tsv s2.tsv s3.tsv merged"), 0) << err_;
  EXPECT_EQ(read("merged/scan.tsv"), whole);
  EXPECT_EQ(read("merged/scan.svg"), svg);

  // The plot of the CR-LF table is that of the LF table.
  scratch_.write("crlf.tsv", crlf(whole));
  ASSERT_EQ(scan("--quiet --plot-only crlf.tsv"), 0) << err_;
  EXPECT_EQ(read("crlf.svg"), svg);
}

// A LOD score that rounds to zero is 0.000 in the summary, whatever its
// sign (a pass 2 a hair below pass 1 gives a score of -5e-14).
TEST_F(ScanCommand, SummaryWritesAScoreThatRoundsToZeroWithoutASign) {
  ASSERT_EQ(scan(STUDY + " --markers D2S03,D2S05 whole"), 0) << err_;
  std::vector<Row> table = rows("whole/scan.tsv");
  ASSERT_EQ(table.size(), 2u);
  table[0][COL_LOD] = "-4.942906090372927e-14";
  table[1][COL_LOD] = "-0.0004";
  std::string text = header_line();
  for (const Row& r : table) text += row_line(r);
  scratch_.write("zero.tsv", text);
  ASSERT_EQ(scan("--merge zero.tsv merged"), 0) << err_;
  EXPECT_NE(out_.find("top LOD scores: D2S03 (chr 2 at 20.0) 0.000; D2S05 (chr 2 at 40.0) 0.000\n"),
            std::string::npos)
      << out_;
}

// A table holding LOD scores far off any study's scale (1e308, -1e308, 1e7:
// damaged or edited by hand) is drawn in a small picture, by --plot-only, --merge
// and --resume alike, one point per analysed marker; the summary writes the
// scores in full.
TEST_F(ScanCommand, HugeLodScoresInATableKeepThePlotSmall) {
  ASSERT_EQ(scan(STUDY + SOME + " --threads 2 whole"), 0) << err_;
  std::vector<Row> table = rows("whole/scan.tsv");
  ASSERT_EQ(table.size(), 8u);
  table[1][COL_LOD] = "1e308";
  table[3][COL_LOD] = "1e7";
  table[4][COL_LOD] = "-1e308";
  std::string text = header_line();
  std::size_t analysed = 0;
  for (const Row& r : table) {
    text += row_line(r);
    analysed += !r[COL_LOD].empty();
  }
  EXPECT_EQ(analysed, 6u);
  scratch_.write("huge.tsv", text);
  ASSERT_EQ(scan("--quiet --plot-only huge.tsv"), 0) << err_;
  const std::string svg = read("huge.svg");
  EXPECT_LT(svg.size(), 20'000u);
  const mglink::testing::SvgSeen seen = mglink::testing::read_svg((dir_ / "huge.svg").string());
  ASSERT_TRUE(seen.parsed) << seen.error;
  EXPECT_EQ(seen.titles.size(), analysed);
  EXPECT_EQ(seen.peak, "D1S02 (LOD 1e+308)");
  EXPECT_EQ(seen.off_scale, (std::vector<std::string>{"LOD 1e+07", "LOD -1e+308"}));

  // The merge of the table: the same table and picture, the scores in full
  // in the summary.
  ASSERT_EQ(scan("--merge huge.tsv merged"), 0) << err_;
  EXPECT_EQ(read("merged/scan.tsv"), text);
  EXPECT_EQ(read("merged/scan.svg"), svg);
  EXPECT_NE(out_.find("top LOD scores: D1S02 (chr 1 at 10.0) 1e+308; D1S07 (chr 1 at 60.0) 10000000.000;"),
            std::string::npos)
      << out_;
  // A scan resumed after the edited lines draws it too.
  fs::create_directory(dir_ / "r");
  scratch_.write("r/scan.tsv", text.substr(0, text.find("2\tD2S03")));
  ASSERT_EQ(scan(STUDY + SOME + " --resume r"), 0) << err_;
  EXPECT_EQ(read("r/scan.tsv"), text);
  EXPECT_EQ(read("r/scan.svg"), svg);
}

TEST_F(ScanCommand, MendelUntypeStartsFromPrepAndPlinkFiles) {
  ASSERT_EQ(scan(STUDY + " --markers D1S06,D1S07 --mendel untype --keep-runs runs u"), 0) << err_;
  std::vector<Row> r = rows("u/scan.tsv");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0][COL_STATUS], "ok");
  EXPECT_EQ(r[0][COL_REASON],
            "Mendelian inconsistencies: genotypes set untyped in the nuclear families of family F59 (father 7, "
            "mother 1)");
  EXPECT_LT(std::stol(r[0][COL_TYPED]), 383);
  EXPECT_TRUE(fs::exists(dir_ / "runs" / "D1S06" / "sigma.DAT"));

  // mglink-prep's start values: one run each, the run of the prepared directory.
  ASSERT_EQ(scan(STUDY + " --markers D1S07,D2S05 --starts prep --keep-runs prepruns p"), 0) << err_;
  r = rows("p/scan.tsv");
  ASSERT_EQ(r.size(), 2u);
  for (const Row& row : r) EXPECT_EQ(row[COL_STARTS], "1");
  EXPECT_EQ(read("prepruns/D1S07/par.inp").substr(0, 48), "mglink-scan: marker D1S07, mglink-prep's start v");
  EXPECT_NE(read("prepruns/D1S07/par.inp").find("\n5 1 0.2 0.05 0 0.5"), std::string::npos);

  // The same markers from the PLINK files: the same numbers.
  ASSERT_EQ(scan("--plink '" + EXAMPLE + "/plink' --trait Q1 --quiet --markers D1S01,D1S04,D2S03 pl"), 0) << err_;
  ASSERT_EQ(scan(STUDY + " --markers D1S01,D1S04,D2S03 lk"), 0) << err_;
  EXPECT_EQ(read("pl/scan.tsv"), read("lk/scan.tsv"));
}

TEST_F(ScanCommand, ExitStatusesAndMessages) {
  EXPECT_EQ(scan("--version"), 0);
  EXPECT_EQ(out_.substr(0, 12), "mglink-scan ");
  EXPECT_EQ(out_.find('\n'), out_.size() - 1);
  EXPECT_EQ(scan("--help"), 0);
  EXPECT_EQ(out_.substr(0, 18), "usage: mglink-scan");
  EXPECT_EQ(scan("--ped a.ped out"), 2);
  EXPECT_EQ(err_.substr(0, err_.find('\n')), "mglink-scan: --ped and --dat go together");
  EXPECT_EQ(scan("--threads 0 --plink x out"), 2);
  EXPECT_EQ(err_.substr(0, err_.find('\n')), "mglink-scan: --threads needs a number from 1 to 1024");

  // Input problems: all listed, nothing written.
  scratch_.write("s.dat", "T Q1\nM m\n");
  scratch_.write("s.ped", "1 1 0 0 1 5 1 2\n1 2 0 0 2 x 1 1\n1 3 1 9 1 7 1 1\n1 4 1 2 2 y 1 2\n");
  EXPECT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 out"), 1);
  EXPECT_EQ(err_,
            "mglink-scan: s.ped:4: family 1, individual 4: the value 'y' of trait Q1 is not a number nor a "
            "missing-value code (x, X, NA, -)\n"
            "mglink-scan: s.ped:3: family 1, individual 3: the mother '9' has no line in the family (add the "
            "line, or use --add-missing-parents)\n"
            "mglink-scan: 2 problems in the input; nothing written\n");
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  scratch_.write("s.ped", "1 1 0 0 1 5 1 2\n1 2 0 0 2 x 1 1\n1 3 1 9 1 7 1 1\n1 4 1 2 2 8 1 2\n");
  EXPECT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 out"), 1);
  EXPECT_EQ(err_,
            "mglink-scan: s.ped:3: family 1, individual 3: the mother '9' has no line in the family (add the "
            "line, or use --add-missing-parents)\n"
            "mglink-scan: 1 problem in the input; nothing written\n");
  EXPECT_FALSE(fs::exists(dir_ / "out"));

  // An output directory that cannot be made.
  scratch_.write("file", "");
  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --add-missing-parents file/out"), 3);
  EXPECT_EQ(err_.substr(0, 49), "mglink-scan: cannot create the directory file/out");
}

#endif

}  // namespace
}  // namespace mglink::scan
