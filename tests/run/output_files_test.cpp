// Output files that would overwrite an input file are refused before anything
// is written; output files are written from their beginning.
#include "run/output_files.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/errors.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

namespace fs = std::filesystem;

class OutputNames : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"IWAY.DAT", "trait.dat", "marker.dat", "maxpar.inp", "task.inp",
                          "par.inp"}) {
      scratch.write(f, "1\n");
    }
  }

  // The message of the refusal, or "" when the names are accepted.
  std::string check(const std::string& trait, const std::string& marker,
                    const std::string& result) {
    try {
      check_output_names(TaskNames{trait, marker, result}, dir.string());
      return "";
    } catch (const RunStop& stop) {
      EXPECT_EQ(stop.status(), EXIT_INPUT_ERROR);
      EXPECT_TRUE(stop.console().empty());
      return stop.detail();
    }
  }

  mglink::testing::ScratchDir scratch;
  const fs::path dir = scratch.path();
};

TEST_F(OutputNames, ResultFileNamedLikeAnInputOrOwnOutputIsRefused) {
  EXPECT_EQ(check("trait.dat", "marker.dat", "result.txt"), "");
  const char* refused[] = {"IWAY.DAT",   "trait.dat", "marker.dat", "maxpar.inp", "task.inp",
                           "par.inp",    "sigma.DAT", "fort.25",    "./par.inp"};
  for (const char* r : refused) {
    SCOPED_TRACE(r);
    const std::string msg = check("trait.dat", "marker.dat", r);
    EXPECT_NE(msg.find("result file " + std::string(r)), std::string::npos) << msg;
    EXPECT_NE(msg.find("no file was written"), std::string::npos) << msg;
  }
  // An input file that does not exist yet is still protected by its name.
  EXPECT_NE(check("nofile.dat", "marker.dat", "nofile.dat"), "");
  for (const auto& [name, f] : {std::pair{"sigma.DAT", "r"}, std::pair{"fort.25", "r"}}) {
    (void)f;
    EXPECT_NE(check(name, "marker.dat", "result.txt").find("trait file " + std::string(name)),
              std::string::npos);
    EXPECT_NE(check("trait.dat", name, "result.txt").find("marker file " + std::string(name)),
              std::string::npos);
  }
  // Nothing was created or changed.
  EXPECT_FALSE(fs::exists(dir / "sigma.DAT"));
  EXPECT_FALSE(fs::exists(dir / "result.txt"));
  std::ifstream in(dir / "IWAY.DAT");
  std::string first;
  in >> first;
  EXPECT_EQ(first, "1");
}

TEST_F(OutputNames, ResultFileThatIsAnotherNameOfAnInputIsRefused) {
  fs::create_hard_link(dir / "trait.dat", dir / "res.txt");
  EXPECT_NE(check("trait.dat", "marker.dat", "res.txt").find("trait file"), std::string::npos);
  fs::create_symlink("marker.dat", dir / "res2.txt");
  EXPECT_NE(check("trait.dat", "marker.dat", "res2.txt").find("marker file"),
            std::string::npos);
}

TEST(OutputFileTest, ReplacesFormerContentsAndStopsWhenItCannotOpen) {
  const mglink::testing::ScratchDir scratch;
  const fs::path dir = scratch.path();
  scratch.write("out.txt", "a much longer former content\nsecond line\n");
  {
    OutputFile f((dir / "out.txt").string());
    f.line("LH(0.5)=-0.1000000E+02");
    f.close();
  }
  EXPECT_EQ(scratch.read("out.txt"), "LH(0.5)=-0.1000000E+02\n");
  try {
    OutputFile f((dir / "missing-dir" / "out.txt").string());
    FAIL() << "opened";
  } catch (const RunStop& stop) {
    EXPECT_EQ(stop.status(), EXIT_OUTPUT_ERROR);
    EXPECT_NE(stop.detail().find("out.txt"), std::string::npos);
  }
}

}  // namespace
}  // namespace mglink
