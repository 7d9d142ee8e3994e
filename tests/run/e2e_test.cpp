// End-to-end runs of the built program.  Each case under tests/run/e2e/ holds
// the files of a working directory (input/) and what the run must leave
// (expected/): its standard output and error, its exit status, and every file
// it writes.  The program runs in a scratch copy of input/ with standard input
// closed; afterwards the scratch directory must hold exactly the input files,
// unchanged, plus the expected output files, byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch_dir.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kCases = fs::path(MGLINK_SOURCE_DIR) / "tests" / "run" / "e2e";

using mglink::testing::read_file;

// The files of a directory (names relative to it) with their contents.
std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> out;
  if (!fs::exists(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = read_file(e.path());
  }
  return out;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kCases)) {
    if (e.is_directory() && fs::exists(e.path() / "expected")) {
      names.push_back(e.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class EndToEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, OutputMatchesByteForByte) {
  const fs::path src = kCases / GetParam();
  const mglink::testing::ScratchDir dir;
  const fs::path scratch = dir.path();
  fs::create_directories(scratch / "work");
  if (fs::exists(src / "input")) {
    fs::copy(src / "input", scratch / "work", fs::copy_options::recursive);
  }

  // Standard input closed (<&-): a pause must not wait for anyone.
  const std::string cmd = "cd '" + (scratch / "work").string() + "' && exec '" MGLINK_BIN
                          "' <&- >'" + (scratch / "stdout").string() + "' 2>'" +
                          (scratch / "stderr").string() + "'";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw)) << "the program did not exit normally: " << raw;
  const int status = WEXITSTATUS(raw);

  const fs::path exp = src / "expected";
  EXPECT_EQ(status, std::stoi(read_file(exp / "status")));
  EXPECT_EQ(read_file(scratch / "stdout"), read_file(exp / "stdout"));
  EXPECT_EQ(read_file(scratch / "stderr"), fs::exists(exp / "stderr") ? read_file(exp / "stderr") : "");

  // The working directory afterwards: the inputs unchanged, plus exactly the
  // expected output files.
  std::map<std::string, std::string> want = files_in(src / "input");
  for (const auto& [name, text] : files_in(exp / "files")) want[name] = text;
  const std::map<std::string, std::string> have = files_in(scratch / "work");
  for (const auto& [name, text] : want) {
    const auto it = have.find(name);
    if (it == have.end()) {
      ADD_FAILURE() << "missing file " << name;
    } else {
      EXPECT_EQ(it->second, text) << "file " << name;
    }
  }
  for (const auto& [name, text] : have) {
    EXPECT_TRUE(want.count(name)) << "unexpected file " << name << ":\n" << text;
  }
}

// With all three standard streams closed, the console output goes nowhere:
// in particular not into the first files the run opens.
TEST(EndToEndStreams, ClosedStandardStreamsLeaveTheFilesClean) {
  const fs::path src = kCases / "nest0";
  const mglink::testing::ScratchDir dir;
  const fs::path work = dir.path();
  fs::copy(src / "input", work, fs::copy_options::recursive);
  const std::string cmd = "cd '" + work.string() + "' && exec '" MGLINK_BIN "' <&- >&- 2>&-";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_EQ(read_file(work / "sigma.DAT"), read_file(src / "expected" / "files" / "sigma.DAT"));
  EXPECT_EQ(read_file(work / "result.txt"), read_file(src / "expected" / "files" / "result.txt"));
  EXPECT_EQ(read_file(work / "par.inp"), read_file(src / "input" / "par.inp"));
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
