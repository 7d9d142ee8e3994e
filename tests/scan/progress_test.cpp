// Progress lines of a scan: in place on a terminal, plain lines otherwise.
#include <gtest/gtest.h>

#include <sstream>

#include "scan/progress.hpp"

namespace mglink::scan {
namespace {

TEST(ScanProgress, InPlaceOnATerminalPlainLinesOtherwiseNothingWhenQuiet) {
  std::ostringstream tty;
  Progress a(tty, 3, true, false);
  a.update(1);  // too soon after the start to redraw
  a.update(3);
  a.finish();
  EXPECT_EQ(tty.str(), "\rmglink-scan: 3/3 markers, 0:00 elapsed\x1b[K\n");

  std::ostringstream log;
  Progress b(log, 20, false, false);
  for (long k = 1; k <= 5; ++k) b.update(k);  // a line every tenth: at 2 and 4
  b.update(20);
  b.finish();
  EXPECT_EQ(log.str(),
            "mglink-scan: 2/20 markers, 0:00 elapsed, about 0:00 left\n"
            "mglink-scan: 4/20 markers, 0:00 elapsed, about 0:00 left\n"
            "mglink-scan: 20/20 markers, 0:00 elapsed\n");

  std::ostringstream quiet;
  Progress c(quiet, 5, true, true);
  c.update(5);
  c.finish();
  EXPECT_EQ(quiet.str(), "");
  EXPECT_EQ(clock_text(59.4), "0:59");
  EXPECT_EQ(clock_text(3725), "1:02:05");
}

}  // namespace
}  // namespace mglink::scan
