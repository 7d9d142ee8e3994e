// The example study of mglink-scan is what examples/make-scan-study writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

#ifdef MGLINK_SIM_BIN
TEST(ScanExample, CommittedFilesAreReproducedByTheSimulator) {
  mglink::testing::ScratchDir d;
  const std::string script = std::string(MGLINK_SOURCE_DIR) + "/examples/make-scan-study";
  const std::string cmd = "'" + script + "' '" + MGLINK_SIM_BIN + "' '" + d.path() + "/ex' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* f : {"study.ped", "study.dat", "study.map", "study.freq", "plink.ped", "plink.map"}) {
    const std::string committed = mglink::testing::read_file(std::string(MGLINK_SOURCE_DIR) + "/examples/scan/" + f);
    EXPECT_FALSE(committed.empty()) << f;
    EXPECT_EQ(d.read(std::string("ex/") + f), committed) << f;
  }
}
#endif

}  // namespace
}  // namespace mglink::scan
