// The whole run in a directory of its own: several runs at once, each in its
// own directory with its own evaluator, write exactly what one run alone
// writes, and nothing outside their directories.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "evaluator/evaluator.hpp"
#include "run/errors.hpp"
#include "run/run_driver.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchDir;

const fs::path kStudy = fs::path(MGLINK_SOURCE_DIR) / "examples" / "study";

// The files of a directory with their contents.
std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) out[e.path().filename().string()] = read_file(e.path());
  return out;
}

struct StudyRun {
  explicit StudyRun(EvaluatorOptions opt) : eval(opt) { fs::copy(kStudy, dir.path(), fs::copy_options::recursive); }
  void operator()() { result = run_directory(dir.path(), eval, out, in); }
  ScratchDir dir;
  Evaluator eval;
  std::ostringstream out;
  std::istringstream in{""};
  RunResult result;
};

TEST(RunDirectory, TwoRunsAtOnceWriteWhatOneRunWrites) {
  const fs::path cwd = fs::current_path();
  const bool had_sigma = fs::exists(cwd / "sigma.DAT"), had_result = fs::exists(cwd / "result.dat");

  StudyRun alone(EvaluatorOptions{true, 1});  // the literal evaluation, by itself
  alone();
  ASSERT_EQ(alone.result.status, EXIT_OK) << alone.result.detail;
  const std::map<std::string, std::string> expected = files_in(alone.dir.path());
  ASSERT_TRUE(expected.count("sigma.DAT") && expected.count("result.dat"));
  // The example study's documented result.
  EXPECT_EQ(expected.at("result.dat").substr(0, 23), "LH(0.5)=-0.1290491E+04\n");
  EXPECT_EQ(alone.result.passes, 2);

  StudyRun a(EvaluatorOptions{false, 2}), b(EvaluatorOptions{false, 1});
  std::thread ta(std::ref(a)), tb(std::ref(b));
  ta.join();
  tb.join();
  for (StudyRun* r : {&a, &b}) {
    SCOPED_TRACE(r == &a ? "fast, 2 threads" : "fast, 1 thread");
    EXPECT_EQ(r->result.status, EXIT_OK) << r->result.detail;
    EXPECT_EQ(files_in(r->dir.path()), expected);
    EXPECT_EQ(r->out.str(), alone.out.str());
    EXPECT_EQ(r->result.passes, 2);
    for (int p = 0; p < 2; ++p) {
      const PassResult& x = r->result.pass[static_cast<std::size_t>(p)];
      const PassResult& y = alone.result.pass[static_cast<std::size_t>(p)];
      EXPECT_EQ(x.NEST, y.NEST);
      EXPECT_EQ(x.FINIT, y.FINIT);
      EXPECT_EQ(x.FMAX, y.FMAX);
      EXPECT_EQ(x.X, y.X);
      EXPECT_EQ(x.ITER, y.ITER);
      EXPECT_EQ(x.NFUN, y.NFUN);
      EXPECT_EQ(x.end, y.end);
    }
  }
  // What the driver saw agrees with what it wrote: theta 0.5 held in pass 1,
  // estimated (0.043...) in pass 2; 14 and 11 iterations (sigma.DAT).
  const RunResult& r = alone.result;
  EXPECT_EQ(r.pass[0].X[5], 0.5);
  EXPECT_LT(r.pass[1].X[5], 0.05);
  EXPECT_EQ(r.pass[0].ITER, 14);
  EXPECT_EQ(r.pass[1].ITER, 11);
  EXPECT_GT(r.pass[1].FMAX, r.pass[0].FMAX);
  EXPECT_NE(r.pass[0].end, SearchEnd::IterationLimit);

  // Nothing was written in the working directory.
  EXPECT_EQ(fs::exists(cwd / "sigma.DAT"), had_sigma);
  EXPECT_EQ(fs::exists(cwd / "result.dat"), had_result);
}

// A stop is returned, not printed: the console line and our explanation,
// which names the file in its directory, and the passes done before it.
TEST(RunDirectory, StopsAreReturnedWithTheFileInItsDirectory) {
  {
    StudyRun r(EvaluatorOptions{false, 1});
    fs::remove(fs::path(r.dir.path()) / "IWAY.DAT");
    r();
    EXPECT_EQ(r.result.status, EXIT_INPUT_ERROR);
    EXPECT_EQ(r.result.passes, 0);
    EXPECT_EQ(r.result.detail,
              (fs::path(r.dir.path()) / "IWAY.DAT").string() + ": cannot open the file: No such file or directory");
    EXPECT_EQ(r.out.str(), "");
  }
  {
    // An iteration limit of 0 ends each search at once: " MAXIMUM NOT
    // FOUND" in fort.25, the run goes on, and each pass says why it ended.
    StudyRun r(EvaluatorOptions{false, 1});
    std::string maxpar = read_file(fs::path(r.dir.path()) / "maxpar.inp");
    maxpar.replace(maxpar.find("500 "), 4, "0   ");
    r.dir.write("maxpar.inp", maxpar);
    r();
    EXPECT_EQ(r.result.status, EXIT_OK) << r.result.detail;
    EXPECT_EQ(r.result.passes, 2);
    EXPECT_EQ(r.result.pass[0].end, SearchEnd::IterationLimit);
    EXPECT_EQ(r.result.pass[1].end, SearchEnd::IterationLimit);
    EXPECT_EQ(r.dir.read("fort.25"), " MAXIMUM NOT FOUND\n MAXIMUM NOT FOUND\n");
  }
}

}  // namespace
}  // namespace mglink
