#include "prep/prep.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "core/console.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "likelihood/genmmp.hpp"
#include "prep/pedigree_checks.hpp"
#include "prep/pedigree_table.hpp"
#include "run/control_files.hpp"

namespace mglink::prep {

namespace fs = std::filesystem;

namespace {

void check_capacity(Prepared& pr) {
  auto over = [&](long count, long limit, const std::string& what, const char* name) {
    if (count > limit)
      pr.problems.push_back(Problem{0, "", "",
                                    "the study has " + std::to_string(count) + " " + what +
                                        "; mglink holds at most " + std::to_string(limit) + " (" +
                                        name + ")"});
  };
  const IwayData& d = pr.layout;
  over(d.nfam(), N_FAM, "families", "N_FAM");
  over(d.nind(), N_IGOFF, "individuals", "N_SIZE");
  over(static_cast<long>(d.nnuc()) + 2, N_WAY, "nuclear families plus 2", "N_WAY");
  over(static_cast<long>(d.member.size()), N_WAY, "member entries of nuclear families", "N_WAY");
}

// Evaluates the prepared study as mglink's first pass would at the start
// values (theta held at 0.5): the genotype lists must fit their capacity and
// every family must have a positive likelihood.
void evaluate_start(Prepared& pr) {
  const IwayData& d = pr.layout;
  auto st = make_model_state();
  ModelState& S = *st;
  S.BUF1.NFAM = d.nfam();
  for (int f = 0; f <= d.nfam(); ++f) {
    S.BUF1.FAMOFF(f + 1) = d.famoff[static_cast<std::size_t>(f)];
    S.BUF3.NUCOFF(f + 1) = d.nucoff[static_cast<std::size_t>(f)];
  }
  for (int j = 0; j <= d.nnuc(); ++j) S.BUF14.MEMOFF(j + 1) = d.memoff[static_cast<std::size_t>(j)];
  for (int j = 0; j < d.nnuc(); ++j) S.BUF15.ICONN(j + 1) = d.iconn[static_cast<std::size_t>(j)];
  for (std::size_t k = 0; k < d.member.size(); ++k)
    S.BUF16.MEMBER(static_cast<long>(k) + 1) = d.member[k];
  long i = 0;
  for (const Family& fam : pr.ped.families)
    for (const Person& p : fam.people) {
      ++i;
      S.BUF2.TRAIT(i) = p.trait_missing ? -999.0 : p.trait;
      S.BUF2.MARKER(i) = marker_code(p.allele1, p.allele2);
    }
  const std::array<double, 11> x = start_parameters(pr.start, 0.5);  // as mglink's first pass
  S.IMAX.NPAR = 6;
  for (int k = 1; k <= 11; ++k) S.OPTPAR1.X(k) = x[static_cast<std::size_t>(k - 1)];
  for (int k = 1; k <= 6; ++k) S.OPTPAR2.LINK(k) = k;  // all held: no bounds test
  S.IMAX.ISETUP = -1;

  std::ostringstream console_out;
  std::istringstream console_in;
  Console con(console_out, console_in);
  try {
    GENMMP(S, con, pr.start_loglik);
  } catch (const RunStop& stop) {
    pr.problems.push_back(Problem{0, "", "", stop.detail().empty() ? stop.console() : stop.detail()});
    return;
  }
  pr.genotype_slots = S.GENOT.IGOFF(S.GENOT.NTOT);
  if (pr.start_loglik > UNUSABLE) return;
  const int f = S.rejection.kind == Rejection::Kind::Family ? S.rejection.family : 0;
  pr.problems.push_back(Problem{
      0, f >= 1 ? pr.ped.families[static_cast<std::size_t>(f - 1)].id : std::string(), "",
      "the likelihood is zero at the start values (a trait value far from all others?)"});
}

}  // namespace

Prepared prepare(std::istream& table, const TableOptions& opt, const LayoutOptions& layout) {
  Prepared pr;
  pr.ped = read_table(table, opt, pr.problems);
  link_families(pr.ped, opt, pr.problems);
  for (const Family& f : pr.ped.families)
    for (const Person& p : f.people) pr.added += p.added ? 1 : 0;
  // Loops and Mendel are checked on whatever links are sound, so that one
  // report lists everything; the layout needs a table without problems.
  check_loops(pr.ped, pr.problems);
  check_mendel(pr.ped, pr.problems);
  if (!pr.problems.empty()) return pr;
  pr.layout = build_layout(pr.ped, layout);
  check_capacity(pr);
  if (!pr.problems.empty()) return pr;
  auto bad = check_layout(pr.layout);
  if (!bad.empty()) throw std::logic_error("the layout built breaks a peeling rule: " + bad.front());
  pr.start = start_values(pr.ped);
  evaluate_start(pr);
  return pr;
}

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

namespace {

const char* USAGE =
    "usage: mglink-prep [options] PEDFILE OUTDIR\n"
    "       mglink-prep --check DIR\n"
    "options:\n"
    "  --missing CODE          trait missing-value code (default -999, PLINK -9; NA and x\n"
    "                          always count as missing)\n"
    "  --trait-column N        column of the trait (default 6)\n"
    "  --marker-column N       column of the first marker allele (default: the last two\n"
    "                          columns; PLINK: 7)\n"
    "  --comment C             comment character (default #; '' for none)\n"
    "  --plink                 PLINK .ped table (phenotype in column 6, marker in 7 and 8)\n"
    "  --add-missing-parents   add absent parents and unknown co-parents as untyped founders\n"
    "  --force                 replace an existing maxpar.inp and par.inp\n"
    "  --check DIR             check the peeling layout of DIR/IWAY.DAT\n";

struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes path through a temporary file, so that a failed write leaves any
// earlier file whole.
void write_file(const fs::path& path, const std::string& text) {
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    if (!o) throw OutputError("cannot write " + tmp.string());
    o << text;
    o.flush();
    if (!o) throw OutputError("cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) throw OutputError("cannot write " + path.string() + ": " + ec.message());
}

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

}  // namespace

int run_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TableOptions opt;
  bool force = false;
  std::string check_dir;
  std::vector<std::string> positional;
  auto usage = [&](const std::string& why) {
    err << "mglink-prep: " << why << "\n" << USAGE;
    return PREP_USAGE;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    bool has_value = false;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      has_value = true;
    }
    auto need = [&]() -> bool {
      if (has_value) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    auto column = [&](int& target) -> bool {
      if (!need()) return false;
      try {
        std::size_t used = 0;
        int v = std::stoi(value, &used);
        if (used != value.size() || v < 6) return false;
        target = v;
        return true;
      } catch (const std::exception&) {
        return false;
      }
    };
    if (a == "-h" || a == "--help") {
      out << USAGE;
      return PREP_OK;
    } else if (a == "--plink") {
      opt.plink = true;
    } else if (a == "--add-missing-parents") {
      opt.add_missing_parents = true;
    } else if (a == "--force") {
      force = true;
    } else if (a == "--missing") {
      if (!need() || value.empty()) return usage("--missing needs a code");
      opt.missing = value;
    } else if (a == "--trait-column") {
      if (!column(opt.trait_column)) return usage("--trait-column needs a column number of 6 or more");
    } else if (a == "--marker-column") {
      if (!column(opt.marker_column)) return usage("--marker-column needs a column number of 6 or more");
    } else if (a == "--comment") {
      if (!need() || value.size() > 1) return usage("--comment needs one character, or '' for none");
      opt.comment = value.empty() ? '\0' : value[0];
    } else if (a == "--check") {
      if (!need()) return usage("--check needs a directory");
      check_dir = value;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (!check_dir.empty()) {
    if (!positional.empty()) return usage("--check takes only a directory");
    return check_directory(check_dir, out, err);
  }
  if (positional.size() != 2) return usage("give a pedigree file and a run directory");
  const std::string& pedfile = positional[0];
  const fs::path outdir = positional[1];

  std::ifstream in(pedfile, std::ios::binary);
  if (!in) {
    err << "mglink-prep: cannot open the pedigree file " << pedfile << "\n";
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
    err << "mglink-prep: cannot read the pedigree file " << pedfile << "\n";
    return PREP_TABLE_ERROR;
  }
  if (!pr.problems.empty()) {
    for (const Problem& p : pr.problems) err << format_problem(pedfile, p) << "\n";
    err << "mglink-prep: " << pr.problems.size()
        << (pr.problems.size() == 1 ? " problem" : " problems") << " in " << pedfile
        << "; nothing written\n";
    return PREP_TABLE_ERROR;
  }

  const IwayData& d = pr.layout;
  std::vector<std::string> written, kept;
  bool par_written = false;
  try {
    std::error_code ec;
    fs::create_directories(outdir, ec);
    if (ec || !fs::is_directory(outdir))
      throw OutputError("cannot create the run directory " + outdir.string() +
                        (ec ? ": " + ec.message() : std::string()));
    auto put = [&](const char* name, const std::string& text) {
      write_file(outdir / name, text);
      written.push_back(name);
    };
    put(FAMILY_FILE, iway_text(d));
    put(TRAIT_FILE, trait_text(pr.ped));
    put(MARKER_FILE, marker_text(pr.ped));
    put(TASK_FILE, std::string(TRAIT_FILE) + "\n" + MARKER_FILE + "\n" + RESULT_FILE + "\n");
    put(MAPPING_FILE, mapping_text(pr.ped, d));
    // The control files are the user's to tune: an existing one is kept
    // unless --force.
    const auto put_control = [&](const char* name, const std::string& text) {
      if (!force && fs::exists(outdir / name)) {
        kept.push_back(name);
        return false;
      }
      put(name, text);
      return true;
    };
    put_control(MAXPAR_FILE, maxpar_text());
    const std::string title = "start values by mglink-prep from " + fs::path(pedfile).filename().string();
    par_written = put_control(PAR_FILE, par_text(pr.start, title));
  } catch (const OutputError& e) {
    err << "mglink-prep: " << e.what() << "\n";
    return PREP_OUTPUT_ERROR;
  }

  out << "mglink-prep: " << pedfile << ": " << d.nfam() << (d.nfam() == 1 ? " family, " : " families, ")
      << d.nind() << " individuals";
  if (pr.added > 0) out << " (" << pr.added << " added)";
  out << ", " << d.nnuc() << " nuclear families\n";
  if (par_written)
    out << "mglink-prep: marker allele frequencies from " << pr.start.marker_basis << "\n";
  for (const auto& w : pr.start.warnings) err << "mglink-prep: warning: " << w << "\n";
  char lh[64];
  std::snprintf(lh, sizeof lh, "%.6f", pr.start_loglik);
  out << "mglink-prep: log-likelihood at mglink-prep's start values with theta 0.5: " << lh << " ("
      << pr.genotype_slots << " genotype slots)\n";
  out << "mglink-prep: wrote";
  for (const auto& w : written) out << " " << w;
  out << " in " << outdir.string() << "\n";
  for (const auto& k : kept)
    out << "mglink-prep: kept the existing " << (outdir / k).string() << " (--force replaces it)\n";
  return PREP_OK;
}

}  // namespace mglink::prep
