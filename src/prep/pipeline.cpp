#include "prep/pipeline.hpp"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "core/console.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "likelihood/genmmp.hpp"
#include "prep/pedigree_checks.hpp"
#include "prep/pedigree_table.hpp"
#include "run/control_files.hpp"

namespace mglink::prep {

namespace {

// Table columns beyond this are not a pedigree table.
constexpr int MAX_COLUMN = 100000;

void check_capacity(Prepared& pr) {
  auto over = [&](long count, long limit, const std::string& what, const char* name) {
    if (count > limit) {
      pr.problems.push_back(Problem{0, "", "",
                                    "the study has " + std::to_string(count) + " " + what +
                                        "; mglink holds at most " + std::to_string(limit) + " (" +
                                        name + "; mglink-scan analyses larger studies)"});
      pr.beyond_capacity = true;
    }
  };
  const IwayData& d = pr.layout;
  over(d.nfam(), N_FAM, "families", "N_FAM");
  over(d.nind(), N_IGOFF, "individuals", "N_SIZE");
  over(static_cast<long>(d.nnuc()) + 2, N_WAY, "nuclear families plus 2", "N_WAY");
  over(static_cast<long>(d.member.size()), N_WAY, "member entries of nuclear families", "N_WAY");
}

// The family data of a prepared study in a model state, as WWDAT would
// leave them after reading the files written.
void load_study(ModelState& S, const Prepared& pr) {
  const IwayData& d = pr.layout;
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
}

// The first evaluation of a pass at the parameters already in S (ISETUP -1:
// full set-up and genotype lists), with console output kept aside.
double first_evaluation(ModelState& S) {
  std::ostringstream console_out;
  std::istringstream console_in;
  Console con(console_out, console_in);
  S.IMAX.ISETUP = -1;
  double lh = 0.0;
  GENMMP(S, con, lh);
  return lh;
}

// The table id of family f (1-based), or "" when f names none.
std::string family_id(const Prepared& pr, int f) {
  return f >= 1 && f <= static_cast<int>(pr.ped.families.size())
             ? pr.ped.families[static_cast<std::size_t>(f - 1)].id
             : std::string();
}

// Evaluates the prepared study as mglink's first pass would at the start
// values (theta held at 0.5): the genotype lists must fit their capacity and
// every family must have a positive likelihood.
void evaluate_start(Prepared& pr) {
  auto st = make_model_state();
  ModelState& S = *st;
  load_study(S, pr);
  const std::array<double, 11> x = start_parameters(pr.start, 0.5);  // as mglink's first pass
  S.IMAX.NPAR = 6;
  for (int k = 1; k <= 11; ++k) S.OPTPAR1.X(k) = x[static_cast<std::size_t>(k - 1)];
  for (int k = 1; k <= 6; ++k) S.OPTPAR2.LINK(k) = k;  // all held: no bounds test
  try {
    pr.start_loglik = first_evaluation(S);
  } catch (const RunStop& stop) {
    pr.problems.push_back(Problem{0, "", "", stop.detail().empty() ? stop.console() : stop.detail()});
    // More possible genotypes than mglink's lists hold.
    if (S.work.N1 > N_WAY) pr.beyond_capacity = true;
    return;
  }
  pr.genotype_slots = S.GENOT.IGOFF(S.GENOT.NTOT);
  if (pr.start_loglik > UNUSABLE) return;
  const int f = S.rejection.kind == Rejection::Kind::Family ? S.rejection.family : 0;
  pr.problems.push_back(Problem{
      0, family_id(pr, f), "",
      "the likelihood is zero at the start values (a trait value far from all others?)"});
}

std::string number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace

std::vector<Problem> option_problems(const PrepOptions& opt) {
  std::vector<Problem> out;
  auto column = [&](int c, const char* what, bool zero_ok) {
    if ((zero_ok && c == 0) || (c >= 6 && c <= MAX_COLUMN)) return;
    out.push_back(Problem{0, "", "",
                          std::string("the ") + what + " column " + std::to_string(c) +
                              " is not a column number from 6 to " + std::to_string(MAX_COLUMN)});
  };
  column(opt.table.trait_column, "trait", false);
  column(opt.table.marker_column, "marker", true);
  if (opt.frequencies.source == FrequencySource::given) {
    double sum = 0;
    bool ok = true;
    for (double f : opt.frequencies.given) {
      ok = ok && std::isfinite(f) && f >= 0.0;
      sum += f;
    }
    if (!ok || !(std::fabs(sum - 1.0) <= 1e-5)) {
      std::string list;
      for (double f : opt.frequencies.given) {
        if (!list.empty()) list += ',';
        list += number(f);
      }
      out.push_back(Problem{0, "", "",
                            "the given marker allele frequencies " + list +
                                " are not five numbers of at least 0 summing to 1 (within 1e-5)"});
    }
  }
  return out;
}

Prepared prepare(std::istream& table, const PrepOptions& opt) {
  Prepared pr;
  pr.problems = option_problems(opt);
  if (!pr.problems.empty()) return pr;
  pr.ped = read_table(table, opt.table, pr.problems);
  link_families(pr.ped, opt.table, pr.problems);
  for (const Family& f : pr.ped.families)
    for (const Person& p : f.people) pr.added += p.added ? 1 : 0;
  // Loops and Mendel are checked on whatever links are sound, so that one
  // report lists everything; the layout needs a table without problems.
  check_loops(pr.ped, pr.problems);
  check_mendel(pr.ped, pr.problems);
  if (!pr.problems.empty()) return pr;
  pr.layout = build_layout(pr.ped, opt.layout);
  if (opt.check_capacity) check_capacity(pr);
  if (!pr.problems.empty()) return pr;
  // The peeling rules are checked against mglink's tables, whose sizes a
  // study beyond the capacities exceeds.
  auto bad = opt.check_capacity ? check_layout(pr.layout) : std::vector<std::string>{};
  if (!bad.empty()) throw std::logic_error("the layout built breaks a peeling rule: " + bad.front());
  pr.start = start_values(pr.ped, opt.frequencies);
  if (opt.frequencies.source == FrequencySource::given) {
    // A typed allele of frequency 0 makes its carriers' data impossible.
    std::array<bool, 5> typed{};
    for (const Family& f : pr.ped.families)
      for (const Person& p : f.people)
        if (p.allele1 != 0) typed[static_cast<std::size_t>(p.allele1 - 1)] =
            typed[static_cast<std::size_t>(p.allele2 - 1)] = true;
    for (std::size_t k = 0; k < 5; ++k)
      if (typed[k] && !(pr.start.marker_freq[k] > 0))
        pr.problems.push_back(Problem{0, "", "",
                                      "marker allele " + std::to_string(k + 1) +
                                          " is typed in the table, but its given frequency is 0"});
    if (!pr.problems.empty()) return pr;
  }
  // A study beyond mglink's capacities cannot be evaluated by mglink.
  if (opt.check_capacity) evaluate_start(pr);
  return pr;
}

Prepared prepare(std::istream& table, const TableOptions& opt, const LayoutOptions& layout) {
  PrepOptions o;
  o.table = opt;
  o.layout = layout;
  return prepare(table, o);
}

std::vector<Problem> check_start_file(const Prepared& pr, const std::string& par_path,
                                      const std::string& shown) {
  const std::string way_out = "; correct the file, or replace it with --force";
  auto st = make_model_state();
  ModelState& S = *st;
  S.IMAX.NPAR = 6;
  for (int pass = 1; pass <= 2; ++pass) {
    try {
      const int nest = read_par(S, pass, par_path);
      load_study(S, pr);
      const double lh = first_evaluation(S);
      if (lh > UNUSABLE) continue;
      const Rejection& r = S.rejection;
      std::string why;
      if (r.kind == Rejection::Kind::Bounds) {
        if (nest == 0) continue;  // mglink tests the bounds of estimated parameters only
        why = "parameter " + std::to_string(r.param) + " starts at " + number(S.OPTPAR1.X(r.param)) +
              ", on or outside its bounds " + number(S.OPTPAR1.XLOW(r.param)) + " and " +
              number(S.OPTPAR1.XUPP(r.param));
      } else {
        const std::string id = r.kind == Rejection::Kind::Family ? family_id(pr, r.family) : "";
        why = (id.empty() ? std::string("a family") : "family " + id) +
              " has likelihood zero at its start values";
      }
      return {Problem{0, "", "",
                      shown + ", pass " + std::to_string(pass) +
                          (pass == 1 ? " (theta held at 0.5): " : " (theta as in the file): ") +
                          why + way_out}};
    } catch (const RunStop& stop) {
      std::string text = stop.detail().empty() ? stop.console() : stop.detail();
      // The set-up names the file by its plain name.
      if (text.rfind(std::string(PAR_FILE) + ":", 0) == 0) text.replace(0, std::string(PAR_FILE).size(), shown);
      return {Problem{0, "", "", text + way_out}};
    }
  }
  return {};
}

}  // namespace mglink::prep
