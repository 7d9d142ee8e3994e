// The command lines of the four programs: --help and --version print and
// exit 0; mglink with any other argument prints its usage and exits 1
// without touching a file of the directory it is started in.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "support/scratch_dir.hpp"

namespace {

namespace fs = std::filesystem;
using mglink::testing::read_file;

struct Ran {
  int status;
  std::string out, err;
};

Ran run_in(const fs::path& dir, const std::string& program, const std::string& args) {
  const std::string cmd = "cd '" + dir.string() + "' && '" + program + "' " + args +
                          " <&- >'" + (dir / ".out").string() + "' 2>'" + (dir / ".err").string() + "'";
  const int rc = std::system(cmd.c_str());
  Ran r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file(dir / ".out"), read_file(dir / ".err")};
  fs::remove(dir / ".out");
  fs::remove(dir / ".err");
  return r;
}

std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out[e.path().filename().string()] = read_file(e.path());
  return out;
}

TEST(CommandLine, HelpAndVersionOfEveryProgram) {
  struct Program {
    const char* name;
    std::string bin;
    const char* usage_start;
  };
  std::vector<Program> programs = {{"mglink", MGLINK_BIN, "usage: mglink "}};
#ifdef MGLINK_PREP_BIN
  programs.push_back({"mglink-prep", MGLINK_PREP_BIN, "usage: mglink-prep "});
#endif
#ifdef MGLINK_SCAN_BIN
  programs.push_back({"mglink-scan", MGLINK_SCAN_BIN, "usage: mglink-scan "});
#endif
#ifdef MGLINK_SIM_BIN
  programs.push_back({"mglink-sim", MGLINK_SIM_BIN, "usage: mglink-sim "});
#endif
  const mglink::testing::ScratchDir dir;
  for (const auto& p : programs) {
    SCOPED_TRACE(p.name);
    for (const char* help : {"--help", "-h"}) {
      const Ran h = run_in(dir.path(), p.bin, help);
      EXPECT_EQ(h.status, 0);
      EXPECT_EQ(h.out.rfind(p.usage_start, 0), 0u) << h.out;
      EXPECT_NE(h.out.find("--version"), std::string::npos) << h.out;
      EXPECT_EQ(h.err, "");
    }
    const Ran v = run_in(dir.path(), p.bin, "--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, std::string(p.name) + " " + MGLINK_VERSION + "\n");
    EXPECT_EQ(v.err, "");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));  // nothing written by any of them
}

TEST(CommandLine, MglinkRefusesAnyOtherArgumentWithoutTouchingAFile) {
  // A complete study: without arguments mglink would run and write here.
  const mglink::testing::ScratchDir dir;
  fs::copy(fs::path(MGLINK_SOURCE_DIR) / "tests" / "run" / "e2e" / "complete" / "input", dir.path(),
           fs::copy_options::recursive);
  const auto before = files_in(dir.path());
  const Ran usage = run_in(dir.path(), MGLINK_BIN, "--help");
  for (const char* args : {"run", "--bogus", "-x", "--help extra", "--version --help", "''"}) {
    SCOPED_TRACE(args);
    const Ran r = run_in(dir.path(), MGLINK_BIN, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string first = r.err.substr(0, r.err.find('\n') + 1);
    EXPECT_EQ(first.rfind("mglink: unknown argument \"", 0), 0u) << r.err;
    EXPECT_NE(first.find("\": mglink takes no arguments and works in the current directory (no "
                         "file was touched)\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.substr(first.size()), usage.out);  // the usage follows
    EXPECT_EQ(files_in(dir.path()), before);
  }
  const Ran bogus = run_in(dir.path(), MGLINK_BIN, "--bogus");
  EXPECT_EQ(bogus.err.substr(0, bogus.err.find('\n') + 1),
            "mglink: unknown argument \"--bogus\": mglink takes no arguments and works in the "
            "current directory (no file was touched)\n");
}

}  // namespace
