// Test support: commands run in a scratch directory, their standard output
// and error kept, and the rows of a results table read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/table.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::testing {

class ScanRun : public ::testing::Test {
 protected:
  // Runs the shell command `cmd` in the scratch directory; returns its exit
  // status, with out_ and err_ holding what it printed.
  int run(const std::string& cmd) {
    const int rc = std::system(("cd '" + dir_.string() + "' && " + cmd + " >out.txt 2>err.txt").c_str());
    out_ = read_file(dir_ / "out.txt");
    err_ = read_file(dir_ / "err.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  // The rows of the results table `name` (relative to the scratch directory).
  std::vector<scan::Row> rows(const std::string& name) {
    std::vector<scan::InputProblem> problems;
    auto r = scan::parse_table(read_file(dir_ / name), name, false, problems);
    EXPECT_TRUE(problems.empty()) << name;
    return r;
  }

  ScratchDir scratch_;
  const std::filesystem::path dir_ = scratch_.path();
  std::string out_, err_;
};

// A number of a table field.
inline double number(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

}  // namespace mglink::testing
