// The path of a file of a run directory.
#pragma once

#include <filesystem>
#include <string>

namespace mglink {

// dir/name, or just the name when dir is empty or "." (so that a run in the
// working directory names its files as the user wrote them).
inline std::string in_dir(const std::filesystem::path& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return (dir / name).string();
}

}  // namespace mglink
