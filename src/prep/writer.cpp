#include "prep/writer.hpp"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <utility>

#include "prep/pedigree_checks.hpp"
#include "run/control_files.hpp"

namespace mglink::prep {

namespace fs = std::filesystem;

std::string trait_text(const Pedigree& ped) {
  std::string s;
  for (const Family& f : ped.families)
    for (const Person& p : f.people) s += (p.trait_missing ? "-999" : real_text(p.trait)) + "\n";
  return s;
}

std::string marker_text(const Pedigree& ped) {
  std::string s;
  for (const Family& f : ped.families)
    for (const Person& p : f.people) s += std::to_string(marker_code(p.allele1, p.allele2)) + "\n";
  return s;
}

std::string mapping_text(const Pedigree& ped, const IwayData& layout) {
  std::string s =
      "# number family member family_id individual_id line (line 0: added by mglink-prep)\n";
  for (std::size_t f = 0; f < ped.families.size(); ++f) {
    const Family& fam = ped.families[f];
    for (std::size_t w = 0; w < fam.people.size(); ++w) {
      const Person& p = fam.people[w];
      s += std::to_string(layout.famoff[f] + static_cast<int>(w) + 1) + " " +
           std::to_string(f + 1) + " " + std::to_string(w + 1) + " " + fam.id + " " + p.id + " " +
           std::to_string(p.line) + "\n";
    }
  }
  return s;
}

std::string task_text() {
  return std::string(TRAIT_FILE) + "\n" + MARKER_FILE + "\n" + RESULT_FILE + "\n";
}

std::vector<std::string> files_to_write(const fs::path& outdir, const WriteOptions& opt) {
  std::vector<std::string> names = {FAMILY_FILE, TRAIT_FILE, MARKER_FILE, TASK_FILE, MAPPING_FILE};
  for (const char* control : {MAXPAR_FILE, PAR_FILE}) {
    std::error_code ec;
    if (opt.replace_control_files || !fs::exists(fs::symlink_status(outdir / control, ec)))
      names.push_back(control);
  }
  return names;
}

namespace {

// A fresh folder inside outdir for the new files; removed with whatever it
// holds when the write ends, however it ends.
class Staging {
 public:
  explicit Staging(const fs::path& outdir) {
    std::string templ = (outdir / ".mglink-prep-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr)
      throw OutputError("cannot write in the run directory " + outdir.string() + ": " +
                        std::generic_category().message(errno));
    path_ = templ;
  }
  ~Staging() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void write_whole(const fs::path& path, const std::string& text, const fs::path& shown) {
  std::ofstream o(path, std::ios::binary | std::ios::trunc);
  if (!o) throw OutputError("cannot write " + shown.string());
  o << text;
  o.flush();
  if (!o) throw OutputError("cannot write " + shown.string() + " (is the disk full?)");
  o.close();
  if (!o) throw OutputError("cannot write " + shown.string() + " (is the disk full?)");
}

}  // namespace

WriteReport write_run_directory(const fs::path& outdir, const Prepared& pr, const WriteOptions& opt) {
  std::error_code ec;
  fs::create_directories(outdir, ec);
  if (ec || !fs::is_directory(outdir))
    throw OutputError("cannot create the run directory " + outdir.string() +
                      (ec ? ": " + ec.message() : std::string()));

  WriteReport report;
  const std::vector<std::string> names = files_to_write(outdir, opt);
  for (const char* control : {MAXPAR_FILE, PAR_FILE}) {
    bool written = false;
    for (const auto& n : names) written = written || n == control;
    if (!written) report.kept.push_back(control);
  }
  // Every name to be replaced must be a file (or missing): a directory or
  // anything else under that name would stop the update half-way.
  for (const auto& n : names) {
    const fs::file_status s = fs::symlink_status(outdir / n, ec);
    if (fs::exists(s) && !fs::is_regular_file(s) && !fs::is_symlink(s))
      throw OutputError("cannot write " + (outdir / n).string() +
                        ": the name is taken by something that is not a file (nothing written)");
  }

  const Staging staging(outdir);
  auto text_of = [&](const std::string& n) -> std::string {
    if (n == FAMILY_FILE) return iway_text(pr.layout);
    if (n == TRAIT_FILE) return trait_text(pr.ped);
    if (n == MARKER_FILE) return marker_text(pr.ped);
    if (n == TASK_FILE) return task_text();
    if (n == MAPPING_FILE) return mapping_text(pr.ped, pr.layout);
    if (n == MAXPAR_FILE) return maxpar_text();
    return par_text(pr.start, opt.title);
  };
  // 1. Every new file whole, in the staging folder; a failure here leaves
  //    the run directory as it was.
  for (const auto& n : names)
    write_whole(staging.path() / ("new." + n), text_of(n), outdir / n);

  // 2. IWAY.DAT moves in last, so that at every moment the directory holds
  //    either the old study or no IWAY.DAT at all.
  std::vector<std::string> order;
  for (const auto& n : names)
    if (n != FAMILY_FILE) order.push_back(n);
  order.insert(order.begin(), FAMILY_FILE);  // the old one moves aside first ...
  std::vector<std::pair<fs::path, fs::path>> done;  // (from, to) of each move made
  auto move = [&](const fs::path& from, const fs::path& to) {
    fs::rename(from, to, ec);
    if (ec) return false;
    done.emplace_back(from, to);
    return true;
  };
  std::string failure;
  for (const auto& n : order) {  // old files aside
    if (fs::exists(fs::symlink_status(outdir / n, ec)) && !move(outdir / n, staging.path() / ("old." + n))) {
      failure = "cannot replace " + (outdir / n).string() + ": " + ec.message();
      break;
    }
  }
  if (failure.empty()) {
    std::vector<std::string> in(order.begin() + 1, order.end());
    in.push_back(FAMILY_FILE);  // ... and the new one moves in last
    for (const auto& n : in) {
      if (!move(staging.path() / ("new." + n), outdir / n)) {
        failure = "cannot write " + (outdir / n).string() + ": " + ec.message();
        break;
      }
    }
  }
  if (failure.empty()) {
    report.written = names;
    return report;  // the old files go with the staging folder
  }
  // 3. Undo in reverse order.
  bool undone = true;
  for (auto it = done.rbegin(); it != done.rend(); ++it) {
    fs::rename(it->second, it->first, ec);
    undone = undone && !ec;
  }
  if (undone) throw OutputError(failure + " (the run directory is as it was)");
  // Whatever is left, IWAY.DAT must not describe a study the other files do
  // not hold: without it mglink refuses to run, naming the file.
  fs::remove(outdir / FAMILY_FILE, ec);
  throw OutputError(failure + "; the old files could not all be put back, so " +
                    (outdir / FAMILY_FILE).string() +
                    " was removed and mglink will not run there: run mglink-prep again");
}

}  // namespace mglink::prep
