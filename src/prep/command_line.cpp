// mglink-prep's command line: options, the checks that protect the user's
// files, and the report.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "prep/arguments.hpp"
#include "prep/prep.hpp"
#include "run/control_files.hpp"
#include "run/output_files.hpp"

#ifndef MGLINK_VERSION
#define MGLINK_VERSION "unknown"
#endif

namespace mglink::prep {

namespace fs = std::filesystem;

namespace {

const char* USAGE =
    "usage: mglink-prep [options] PEDFILE OUTDIR\n"
    "       mglink-prep --check DIR\n"
    "       mglink-prep --help | --version\n"
    "options:\n"
    "  --missing CODE          trait missing-value code (default -999, PLINK -9; NA and x\n"
    "                          always count as missing)\n"
    "  --trait-column N        column of the trait (6 to 100000; default 6)\n"
    "  --marker-column N       column of the first marker allele (6 to 100000; default: the\n"
    "                          last two columns; PLINK: 7)\n"
    "  --comment C             comment character (default #; '' for none)\n"
    "  --plink                 PLINK .ped table (phenotype in column 6, marker in 7 and 8)\n"
    "  --add-missing-parents   add absent parents and unknown co-parents as untyped founders\n"
    "  --frequencies SOURCE    marker allele frequencies: founders (default: the typed\n"
    "                          founders), typed (every typed individual), or the five\n"
    "                          frequencies F1,F2,F3,F4,F5\n"
    "  --force                 replace an existing maxpar.inp and par.inp\n"
    "  --check DIR             check the peeling layout of DIR/IWAY.DAT\n"
    "  --help                  show this text\n"
    "  --version               show the version\n"
    "exit status: 0 written (--check: valid), 1 the table cannot be read or has problems,\n"
    "or a kept par.inp gives mglink no start (nothing written; --check: invalid), 2 bad\n"
    "command line or a table among the run directory's files, 3 the run directory cannot\n"
    "be written (it is as it was), 4 internal error\n";

int check_directory(const std::string& dir, std::ostream& out, std::ostream& err) {
  const fs::path path = fs::path(dir) / FAMILY_FILE;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    err << "mglink-prep: cannot open " << path.string() << "\n";
    return PREP_TABLE_ERROR;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  IwayData d;
  std::string error;
  if (!parse_iway(ss.str(), d, error, path.string())) {
    err << "mglink-prep: " << error << "\n";
    return PREP_TABLE_ERROR;
  }
  auto bad = check_layout(d);
  for (const auto& b : bad) err << "mglink-prep: " << path.string() << ": " << b << "\n";
  if (!bad.empty()) return PREP_TABLE_ERROR;
  out << "mglink-prep: " << path.string() << ": a valid peeling layout of " << d.nfam()
      << " families, " << d.nind() << " individuals, " << d.nnuc() << " nuclear families\n";
  return PREP_OK;
}

// --frequencies: founders, typed, or five numbers separated by commas.
bool parse_frequencies(const std::string& v, FrequencyOptions& f) {
  if (v == "founders" || v == "typed") {
    f.source = v == "founders" ? FrequencySource::founders : FrequencySource::typed;
    return true;
  }
  std::array<double, 5> x{};
  std::size_t pos = 0;
  double sum = 0;
  for (std::size_t k = 0; k < 5; ++k) {
    const std::size_t comma = k < 4 ? v.find(',', pos) : v.size();
    if (comma == std::string::npos) return false;
    const std::string part = v.substr(pos, comma - pos);
    char* end = nullptr;
    x[k] = std::strtod(part.c_str(), &end);
    if (part.empty() || end != part.c_str() + part.size() || !std::isfinite(x[k]) || x[k] < 0)
      return false;
    sum += x[k];
    pos = comma + 1;
  }
  if (!(std::fabs(sum - 1.0) <= 1e-5)) return false;
  f.source = FrequencySource::given;
  f.given = x;
  return true;
}

// The table must not be one of the files of the run directory: the update
// would replace it (or a run of mglink there would).  Returns the message,
// "" when the table is elsewhere.  Compares the files themselves, so that
// ./, .., links and other names of the same file are seen through.
std::string table_in_run_directory(const std::string& pedfile, const fs::path& outdir,
                                   const WriteOptions& wopt) {
  std::error_code ec;
  auto same = [&](const std::string& name) {
    const fs::path p = outdir / name;
    return fs::exists(p, ec) && fs::equivalent(pedfile, p, ec);
  };
  const std::string tail =
      "; move the table out of the run directory or choose another one (nothing written)";
  for (const auto& n : files_to_write(outdir, wopt))
    if (same(n))
      return "the pedigree file " + pedfile + " is " + (outdir / n).string() +
             ", which mglink-prep would replace" + tail;
  for (const char* n : {RESULT_FILE, SIGMA_FILE, MESSAGE_FILE})
    if (same(n))
      return "the pedigree file " + pedfile + " is " + (outdir / n).string() +
             ", which mglink writes when it runs there" + tail;
  return "";
}

}  // namespace

int run_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PrepOptions opt;
  bool force = false;
  std::string check_dir;
  bool check = false;
  std::vector<std::string> positional;
  auto usage = [&](const std::string& why) {
    err << "mglink-prep: " << escaped(why) << "\n" << USAGE;
    return PREP_USAGE;
  };
  for (Arguments it(args); it.next();) {
    const std::string& a = it.name();
    std::string value;
    auto need = [&]() -> bool { return it.value(value); };
    // A column number from 6 to 100000: anything else (a sign, a huge
    // number, trailing letters) is refused here.
    auto column = [&](int& target) -> bool { return need() && parse_whole_number(value, 6, 6, 100000, target); };
    if (a == "-h" || a == "--help") {
      out << USAGE;
      return PREP_OK;
    } else if (a == "--version") {
      out << "mglink-prep " << MGLINK_VERSION << "\n";
      return PREP_OK;
    } else if (a == "--plink") {
      opt.table.plink = true;
    } else if (a == "--add-missing-parents") {
      opt.table.add_missing_parents = true;
    } else if (a == "--force") {
      force = true;
    } else if (a == "--missing") {
      if (!need() || value.empty()) return usage("--missing needs a code");
      opt.table.missing = value;
    } else if (a == "--trait-column") {
      if (!column(opt.table.trait_column))
        return usage("--trait-column needs a column number from 6 to 100000");
    } else if (a == "--marker-column") {
      if (!column(opt.table.marker_column))
        return usage("--marker-column needs a column number from 6 to 100000");
    } else if (a == "--comment") {
      if (!need() || value.size() > 1) return usage("--comment needs one character, or '' for none");
      opt.table.comment = value.empty() ? '\0' : value[0];
    } else if (a == "--frequencies") {
      if (!need() || !parse_frequencies(value, opt.frequencies))
        return usage("--frequencies needs founders, typed, or five frequencies F1,F2,F3,F4,F5 of "
                     "at least 0 that sum to 1");
    } else if (a == "--check") {
      if (!need()) return usage("--check needs a directory");
      check_dir = value;
      check = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (check) {
    if (!positional.empty()) return usage("--check takes only a directory");
    if (check_dir.empty()) return usage("--check needs a directory");
    return check_directory(check_dir, out, err);
  }
  if (positional.size() != 2) return usage("give a pedigree file and a run directory");
  const std::string& pedfile = positional[0];
  const fs::path outdir = positional[1];
  WriteOptions wopt;
  wopt.replace_control_files = force;
  wopt.title = "start values by mglink-prep from " + fs::path(pedfile).filename().string();

  if (const std::string clash = table_in_run_directory(pedfile, outdir, wopt); !clash.empty()) {
    err << "mglink-prep: " << escaped(clash) << "\n";
    return PREP_USAGE;
  }
  std::ifstream in(pedfile, std::ios::binary);
  if (!in) {
    err << "mglink-prep: cannot open the pedigree file " << escaped(pedfile) << "\n";
    return PREP_TABLE_ERROR;
  }
  Prepared pr;
  try {
    pr = prepare(in, opt);
  } catch (const std::logic_error& e) {
    err << "mglink-prep: internal error: " << e.what() << "\n";
    return PREP_INTERNAL;
  }
  if (in.bad()) {
    err << "mglink-prep: cannot read the pedigree file " << escaped(pedfile) << "\n";
    return PREP_TABLE_ERROR;
  }
  if (!pr.problems.empty()) {
    for (const Problem& p : pr.problems) err << format_problem(pedfile, p) << "\n";
    err << "mglink-prep: " << pr.problems.size()
        << (pr.problems.size() == 1 ? " problem" : " problems") << " in " << escaped(pedfile)
        << "; nothing written\n";
    return PREP_TABLE_ERROR;
  }
  // A par.inp that stays must give mglink a start, as the tool's own does.
  const fs::path kept_par = outdir / PAR_FILE;
  bool par_kept = true;
  for (const auto& n : files_to_write(outdir, wopt)) par_kept = par_kept && n != PAR_FILE;
  if (par_kept) {
    const auto bad = check_start_file(pr, kept_par.string(), kept_par.string());
    if (!bad.empty()) {
      for (const Problem& p : bad) err << "mglink-prep: " << escaped(p.text) << "\n";
      err << "mglink-prep: nothing written\n";
      return PREP_TABLE_ERROR;
    }
  }

  WriteReport report;
  try {
    report = write_run_directory(outdir, pr, wopt);
  } catch (const OutputError& e) {
    err << "mglink-prep: " << escaped(e.what()) << "\n";
    return PREP_OUTPUT_ERROR;
  }
  bool par_written = false;
  for (const auto& w : report.written) par_written = par_written || w == PAR_FILE;

  const IwayData& d = pr.layout;
  out << "mglink-prep: " << escaped(pedfile) << ": " << d.nfam()
      << (d.nfam() == 1 ? " family, " : " families, ") << d.nind() << " individuals";
  if (pr.added > 0) out << " (" << pr.added << " added)";
  out << ", " << d.nnuc() << " nuclear families\n";
  if (par_written) {
    out << "mglink-prep: marker allele frequencies from " << pr.start.marker_basis << "\n";
    for (const auto& w : pr.start.marker_warnings) err << "mglink-prep: warning: " << w << "\n";
  }
  for (const auto& w : pr.start.warnings) err << "mglink-prep: warning: " << w << "\n";
  char lh[64];
  std::snprintf(lh, sizeof lh, "%.6f", pr.start_loglik);
  out << "mglink-prep: log-likelihood at mglink-prep's start values with theta 0.5: " << lh << " ("
      << pr.genotype_slots << " genotype slots)\n";
  out << "mglink-prep: wrote";
  for (const auto& w : report.written) out << " " << w;
  out << " in " << escaped(outdir.string()) << "\n";
  for (const auto& k : report.kept)
    out << "mglink-prep: kept the existing " << escaped((outdir / k).string())
        << " (--force replaces it)\n";
  return PREP_OK;
}

}  // namespace mglink::prep
