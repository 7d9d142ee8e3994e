#include "run/output_files.hpp"

#include <filesystem>
#include <system_error>

#include "core/errors.hpp"

namespace mglink {

namespace fs = std::filesystem;

namespace {

struct NamedFile {
  std::string role;  // what the file is to the run
  std::string name;  // as given
};

// Same name, or two names of one existing file.
bool same_file(const fs::path& dir, const std::string& a, const std::string& b) {
  const fs::path pa = (dir / a).lexically_normal();
  const fs::path pb = (dir / b).lexically_normal();
  if (pa == pb) return true;
  std::error_code ec;
  const bool eq = fs::equivalent(pa, pb, ec);
  return !ec && eq;
}

}  // namespace

void check_output_names(const TaskNames& task, const std::string& dir) {
  const std::vector<NamedFile> inputs{
      {"the family structure file", FAMILY_FILE},
      {"the trait file", task.TRAITFILE},
      {"the marker file", task.MARKERFILE},
      {"the control file", MAXPAR_FILE},
      {"the control file", TASK_FILE},
      {"the control file", PAR_FILE},
  };
  const fs::path d(dir);
  const std::string nothing = " (no file was written)";
  // The result file first: its name is the one the user chose for output.
  for (const NamedFile& in : inputs) {
    if (same_file(d, task.RESULTFILE, in.name)) {
      throw input_error("task.inp: the result file " + task.RESULTFILE + " is also " + in.role +
                        " " + in.name + "; the run would overwrite it. Name another result "
                        "file in task.inp" + nothing);
    }
  }
  const char* const own_files[] = {SIGMA_FILE, MESSAGE_FILE};  // written by every run
  for (const char* own : own_files) {
    if (same_file(d, task.RESULTFILE, own)) {
      throw input_error("task.inp: the result file " + task.RESULTFILE + " is also the file " +
                        own + " that the run writes itself. Name another result file in "
                        "task.inp" + nothing);
    }
  }
  // The files the run always writes must not be inputs either.
  for (const char* own : own_files) {
    for (const NamedFile& in : inputs) {
      if (same_file(d, own, in.name)) {
        throw input_error("task.inp: " + in.role + " " + in.name + " is also the file " + own +
                          " that the run writes; the run would overwrite it. Rename " +
                          in.role + nothing);
      }
    }
  }
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  out_.open(path_, std::ios::out | std::ios::trunc);
  if (!out_.is_open()) {
    throw output_error("cannot open the output file " + path_ + " for writing");
  }
}

void OutputFile::line(const std::string& text) {
  out_ << text << '\n';
  out_.flush();
  if (!out_) throw output_error("cannot write the output file " + path_);
}

void OutputFile::lines(const std::vector<std::string>& text) {
  for (const std::string& t : text) line(t);
}

void OutputFile::close() {
  if (!out_.is_open()) return;
  out_.close();
  if (!out_) throw output_error("cannot complete the output file " + path_);
}

}  // namespace mglink
