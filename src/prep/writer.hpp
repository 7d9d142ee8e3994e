// mglink-prep's writer: the files of a run directory from a prepared study,
// and the update of a directory that is all or nothing.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "prep/pipeline.hpp"

namespace mglink::prep {

// File names written into the run directory (IWAY.DAT, task.inp, maxpar.inp
// and par.inp have mglink's own names).
inline constexpr const char* TRAIT_FILE = "trait.dat";
inline constexpr const char* MARKER_FILE = "marker.dat";
inline constexpr const char* RESULT_FILE = "result.dat";  // named in task.inp; mglink writes it
inline constexpr const char* MAPPING_FILE = "mapping.txt";

// The trait file, the marker file and the mapping file of a prepared study.
std::string trait_text(const Pedigree& ped);
std::string marker_text(const Pedigree& ped);
std::string mapping_text(const Pedigree& ped, const IwayData& layout);
// task.inp: the trait file, the marker file, the result file.
std::string task_text();

struct WriteOptions {
  bool replace_control_files = false;  // --force: rewrite an existing maxpar.inp and par.inp
  std::string title;                   // first line of par.inp
};

// What a write did, by file name, in the order written.
struct WriteReport {
  std::vector<std::string> written;
  std::vector<std::string> kept;  // control files that existed and were kept
};

// A run directory that cannot be created or updated.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The names a write into `outdir` would replace or create there, in the
// order written: the study files always, maxpar.inp and par.inp when they are
// missing or `replace_control_files`.
std::vector<std::string> files_to_write(const std::filesystem::path& outdir,
                                        const WriteOptions& opt);

// Writes the run directory of a prepared study without problems (creating
// the directory when missing).  All or nothing: every file is first written
// whole into a fresh temporary folder inside `outdir`; only then are the old
// files moved aside and the new ones moved in, IWAY.DAT last, and the old
// ones moved back if a move fails.  A failure throws OutputError naming the
// file, and the temporary folder is removed in every case.  Should even the
// moving back fail, IWAY.DAT is left missing, which mglink refuses by name,
// and the message says so.
WriteReport write_run_directory(const std::filesystem::path& outdir, const Prepared& pr,
                                const WriteOptions& opt);

}  // namespace mglink::prep
