// The output files of a run: sigma.DAT (estimates), the result file named in
// task.inp, and the message file fort.25.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "run/control_files.hpp"

namespace mglink {

// Refuses a run whose output files would overwrite one of its input files or
// each other: sigma.DAT, the result file and fort.25 against IWAY.DAT, the
// trait and marker files and the control files (same name, or the same file
// under another name).  Called before any file is opened for writing; throws
// RunStop (exit status 1) naming both files.  `dir` is the working directory.
void check_output_names(const TaskNames& task, const std::string& dir = ".");

// A text file written from its beginning (former contents replaced), one
// flushed line at a time.  A file that cannot be opened or written stops the
// run (exit status 3).
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  void line(const std::string& text);
  void lines(const std::vector<std::string>& text);
  // Closes the file; a failure to complete it stops the run.
  void close();

 private:
  std::string path_;
  std::ofstream out_;
};

}  // namespace mglink
