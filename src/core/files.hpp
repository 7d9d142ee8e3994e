// The file names every part of a run shares, and the path of a file of a run
// directory.
#pragma once

#include <filesystem>
#include <string>

namespace mglink {

// The input files of a run whose names are fixed (the trait and marker
// files are named in task.inp).
inline constexpr const char* MAXPAR_FILE = "maxpar.inp";
inline constexpr const char* TASK_FILE = "task.inp";
inline constexpr const char* PAR_FILE = "par.inp";
inline constexpr const char* FAMILY_FILE = "IWAY.DAT";

// The output files every run writes (the result file is named in task.inp).
inline constexpr const char* SIGMA_FILE = "sigma.DAT";
inline constexpr const char* MESSAGE_FILE = "fort.25";

// dir/name, or just the name when dir is empty or "." (so that a run in the
// working directory names its files as the user wrote them).
inline std::string in_dir(const std::filesystem::path& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return (dir / name).string();
}

}  // namespace mglink
