#include "scan/analysis.hpp"

#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <stdexcept>

#include "core/errors.hpp"
#include "run/control_files.hpp"
#include "run/pass_output.hpp"
#include "scan/exact.hpp"

namespace mglink::scan {

namespace fs = std::filesystem;

double one_sided_pvalue(double chi2) {
  if (!(chi2 > 0)) return 1.0;
  return 0.5 * std::erfc(std::sqrt(chi2 / 2.0));
}


namespace {

void remove_directory(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
}

double read_back(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// A parameter line of par.inp: tie, flag, start, step, bounds, remark; every
// value in the shortest text that reads back exactly.
std::string parameter_line(int i, double x, double step, double lo, double hi, const char* what) {
  return std::to_string(i) + " 1 " + prep::real_text(x) + " " + prep::real_text(step) + " " +
         prep::real_text(lo) + " " + prep::real_text(hi) + "   " + what + "\n";
}

}  // namespace

std::string marker_par_text(const TraitModel& trait, const prep::StartValues& sv, double theta,
                            const std::string& title) {
  const double m = sv.trait_mean, v = sv.trait_variance, sd = std::sqrt(v);
  const std::array<double, 11> prep_x = prep::start_parameters(sv, theta);
  struct Line {
    double step, lo, hi;
    const char* what;
  };
  const Line lines[6] = {{0.05, 0.0, 1.0, "frequency of major allele 1"},
                         {sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 11"},
                         {sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 12"},
                         {sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 22"},
                         {0.05, 0.0, 0.5, "theta"},
                         {v / 10, 0.0, 10 * v, "trait variance within a genotype"}};
  std::string s = title + "\n";
  for (int i = 1; i <= 6; ++i) {
    const Line& l = lines[i - 1];
    double x = prep_x[static_cast<std::size_t>(i - 1)];
    if (trait.fitted && i != 5) {
      // The fitted value where it lies strictly inside the bounds as written.
      const double f = trait.X[static_cast<std::size_t>(i)];
      const double back = read_back(prep::real_text(f));
      if (read_back(prep::real_text(l.lo)) < back && back < read_back(prep::real_text(l.hi))) x = f;
    }
    s += parameter_line(i, x, l.step, l.lo, l.hi, l.what);
  }
  for (int k = 0; k < 5; ++k)
    s += sv.marker_text[static_cast<std::size_t>(k)] + "   frequency of marker allele " + std::to_string(k + 1) + "\n";
  return s;
}

TraitModel fit_trait_model(const prep::Prepared& study, const fs::path& dir, Evaluator& eval) {
  TraitModel t;
  t.start = study.start;
  remove_directory(dir);
  write_marker_run(dir, study, prep::par_text(study.start, "mglink-scan: the trait model (no marker information)"));
  std::ostringstream out;
  std::istringstream in;
  const RunResult r = run_directory(dir, eval, out, in);
  remove_directory(dir);
  return trait_model_of(r, t);
}

TraitModel trait_model_of(const RunResult& r, TraitModel t) {
  if (r.status == EXIT_OUTPUT_ERROR) throw std::runtime_error(r.detail);
  if (r.status != EXIT_OK || r.passes < 1) {
    t.note = "the trait model could not be fitted (" + (r.detail.empty() ? r.console : r.detail) +
             "); every marker starts from mglink-prep's start values";
    return t;
  }
  t.fitted = true;
  t.X = r.pass[0].X;
  t.lnL = r.pass[0].FMAX;
  if (r.pass[0].end == SearchEnd::IterationLimit)
    t.note = "the fit of the trait model reached the iteration limit (MAXIMUM NOT FOUND); its point is used all the same";
  return t;
}

namespace {

// The row's leading fields.
Row row_head(const ScanContext& ctx, const PlannedMarker& pm) {
  Row r;
  r[COL_CHR] = pm.chr;
  r[COL_MARKER] = ctx.view.study->markers[pm.index].name;
  r[COL_POS] = pm.pos;
  return r;
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : sep) + p;
  return s;
}

// "1=112 2=116 ..." for a recoded marker.
std::string code_table(const MarkerData& m, const RecodedMarker& rec) {
  std::map<int, std::vector<std::string>> by_code;
  for (std::size_t k = 0; k < m.labels.size(); ++k)
    if (rec.code[k] > 0) by_code[rec.code[k]].push_back(m.labels[k]);
  std::string s;
  for (const auto& [code, labels] : by_code)
  {
    if (!s.empty()) s += ' ';
    s += std::to_string(code);
    s += '=';
    s += join(labels, "+");
  }
  return s;
}

// The study individuals of the nuclear family that a Mendel problem names:
// the individual on its line (a child) with its parents and their children.
std::vector<std::size_t> nuclear_family_of(const PrepView& v, long person) {
  const Individual& c = v.study->people[static_cast<std::size_t>(person)];
  std::vector<std::size_t> out;
  for (std::size_t i : v.people) {
    const Individual& p = v.study->people[i];
    if (p.family != c.family) continue;
    const bool parent = p.id == c.father || p.id == c.mother;
    const bool sib = c.father != "0" && p.father == c.father && p.mother == c.mother;
    if (parent || sib || i == static_cast<std::size_t>(person)) out.push_back(i);
  }
  return out;
}

}  // namespace

Row skipped_row(const ScanContext& ctx, const PlannedMarker& pm, const std::string& reason) {
  Row r = row_head(ctx, pm);
  r[COL_STATUS] = "skipped";
  r[COL_REASON] = reason;
  return r;
}

PathResult analyse_starts(const ScanContext& ctx, const MarkerCase& mc, int worker, const RunOne& run_one) {
  const ScanSettings& s = ctx.settings;
  const fs::path base = s.scratch / ("worker" + std::to_string(worker));
  std::vector<double> thetas = s.theta_starts;
  if (s.prep_starts || !ctx.trait.fitted) thetas.resize(1);
  std::vector<RunResult> runs;
  std::vector<fs::path> dirs;
  std::size_t best = 0;
  // The maximiser ends a search when an iteration gains less than EPSF, so
  // the maxima of the two passes are known to within EPSF only: pass 2 ends
  // below pass 1 when it ends lower by more than that.
  double tolerance = 0.0;
  for (std::size_t j = 0; j < thetas.size(); ++j) {
    const fs::path dir = base / ("start" + std::to_string(j + 1));
    remove_directory(dir);
    std::string par;
    if (s.prep_starts || !ctx.trait.fitted) {
      par = prep::par_text(mc.prepared.start, "mglink-scan: marker " + mc.name + ", mglink-prep's start values");
    } else {
      par = marker_par_text(ctx.trait, mc.prepared.start, thetas[j],
                            "mglink-scan: marker " + mc.name + ", the fitted trait model, theta from " +
                                prep::real_text(thetas[j]));
    }
    write_marker_run(dir, mc.prepared, par);
    if (!ctx.looped.empty()) write_looped_note(dir, ctx.looped, mc.looped_kept);
    if (ctx.beyond_capacity) write_capacity_note(dir, mc.prepared);
    runs.push_back(run_one(dir));
    dirs.push_back(dir);
    const RunResult& r = runs.back();
    if (r.status == EXIT_OUTPUT_ERROR) throw std::runtime_error(r.detail);
    if (j == 0 && r.status == EXIT_OK) tolerance = read_maxpar((dir / MAXPAR_FILE).string()).EPSF;
    // Keep the highest pass-2 ln L among complete runs.
    const RunResult& b = runs[best];
    if (j > 0 && r.status == EXIT_OK && (b.status != EXIT_OK || r.pass[1].FMAX > b.pass[1].FMAX)) best = j;
    const RunResult& now = runs[best];
    if (now.status == EXIT_OK && !(now.pass[1].FMAX < now.pass[0].FMAX - tolerance)) break;
  }
  PathResult pr;
  pr.starts = static_cast<int>(runs.size());
  const RunResult& r = runs[best];
  pr.run = r;
  if (r.status == EXIT_OK) {
    const bool limit = r.pass[0].end == SearchEnd::IterationLimit || r.pass[1].end == SearchEnd::IterationLimit;
    if (limit) {
      pr.status = "maximum-not-found";
      pr.reason = std::string("the search of pass ") + (r.pass[0].end == SearchEnd::IterationLimit ? "1" : "2") +
                  " reached the iteration limit MAXIT";
    } else if (r.pass[1].FMAX < r.pass[0].FMAX - tolerance) {
      pr.status = "below-null";
      pr.reason = "pass 2 ends below pass 1 from every start";
    } else {
      pr.status = "ok";
      if (r.pass[1].FMAX < r.pass[0].FMAX)
        pr.reason = "pass 2 ends " + number_text(r.pass[0].FMAX - r.pass[1].FMAX) +
                    " below pass 1, within the maximiser's tolerance EPSF = " + number_text(tolerance);
    }
  } else if (r.status == EXIT_UNUSABLE_START) {
    pr.status = "unusable-start";
    pr.reason = r.detail;
  } else {
    pr.status = "skipped";
    pr.reason = join({r.console, r.detail}, ": ");
  }
  if (runs.size() > 1 && r.status == EXIT_OK)
    pr.reason = join({pr.reason, "best of " + std::to_string(runs.size()) + " starts: theta from " +
                                     prep::real_text(thetas[best])},
                     "; ");
  for (std::size_t j = 0; j < dirs.size(); ++j) {
    if (j == best && s.keep_runs) {
      const fs::path target = *s.keep_runs / mc.planned->run_name;
      remove_directory(target);
      std::error_code ec;
      fs::create_directories(target.parent_path(), ec);
      fs::rename(dirs[j], target, ec);
      if (ec) {
        fs::copy(dirs[j], target, fs::copy_options::recursive, ec);
        if (ec) throw std::runtime_error("cannot write the run directory " + target.string() + ": " + ec.message());
      }
    }
    remove_directory(dirs[j]);
  }
  return pr;
}

PathResult analyse_five_allele(const ScanContext& ctx, const MarkerCase& mc, Evaluator& eval, int worker) {
  return analyse_starts(ctx, mc, worker, [&eval](const fs::path& dir) {
    std::ostringstream out;
    std::istringstream in;
    return run_directory(dir, eval, out, in);
  });
}


Row analyse_marker(const ScanContext& ctx, const PlannedMarker& pm, Evaluator& eval, int worker) {
  if (pm.skip) return skipped_row(ctx, pm, pm.reason);
  const Study& study = *ctx.view.study;
  const MarkerData& m = study.markers[pm.index];
  const ScanSettings& s = ctx.settings;
  const GivenFrequencies* given = nullptr;
  if (s.source == FreqSource::given && s.given != nullptr)
    for (const GivenFrequencies& g : *s.given)
      if (g.marker == m.name) given = &g;

  MarkerCase mc;
  mc.planned = &pm;
  mc.data = &m;
  mc.name = m.name;
  // Alleles are counted over every individual analysed, those of the looped
  // families too.
  const std::vector<std::size_t>& counted = ctx.counted.empty() ? ctx.view.people : ctx.counted;
  const bool general = !ctx.looped.empty() || ctx.beyond_capacity;
  mc.recoded = recode(m, study.people, counted, s.source, given);
  const RecodedMarker& rec = mc.recoded;
  Row row = row_head(ctx, pm);
  row[COL_ALLELES] = std::to_string(rec.alleles);
  // A marker of more than five alleles keeps them all (the exact path)
  // unless --lump asks for the five-allele path with the rarer ones lumped.
  // A study with looped families takes the general path for every marker:
  // mglink's run directory cannot hold a loop.
  bool exact = general || (rec.alleles > 5 && !s.lump);
  row[COL_LUMPED] = exact ? "0" : std::to_string(rec.lumped);
  row[COL_PATH] = exact ? "k-allele" : rec.alleles <= 5 ? "five-allele" : "lumped";
  row[COL_TYPED] = std::to_string(rec.typed);
  if (rec.typed == 0 || rec.alleles < 2) {
    row[COL_STATUS] = "skipped";
    row[COL_REASON] = rec.typed == 0 ? "nobody is typed at the marker"
                                     : "only one allele is observed: the marker carries no linkage information";
    return row;
  }
  if (rec.lumped > 0 && !exact)
    mc.notes.push_back(std::to_string(rec.lumped) + " alleles lumped into allele 5 (" + rec.lumped_labels + ")");

  // mglink-prep's pipeline; Mendelian inconsistencies reported, or their
  // nuclear families untyped and the marker prepared again.
  std::vector<std::uint8_t> a1 = rec.allele1, a2 = rec.allele2;
  std::set<std::string> untyped_families;
  while (true) {
    if (ctx.view.people.empty()) {  // every family has a loop: nothing for mglink-prep
      mc.prepared = prep::Prepared{};
      break;
    }
    mc.prepared = prepare_marker(ctx.view, a1, a2);
    if (mc.prepared.beyond_capacity && ctx.view.check_capacity) {
      // More genotypes than mglink's lists hold: this marker on the general
      // path, which has no such limit.
      PrepView unlimited = ctx.view;
      unlimited.check_capacity = false;
      mc.prepared = prepare_marker(unlimited, a1, a2);
      if (!exact) {
        exact = true;
        row[COL_LUMPED] = "0";
        row[COL_PATH] = "k-allele";
        mc.notes.push_back("more possible genotypes than mglink holds: the general path");
        std::erase_if(mc.notes, [](const std::string& n) {
          return n.find(" alleles lumped into allele 5 (") != std::string::npos;
        });
      }
    }
    if (mc.prepared.problems.empty()) break;
    std::vector<std::string> mendel, other;
    bool changed = false;
    for (const prep::Problem& p : mc.prepared.problems) {
      const InputProblem ip = input_problem(ctx.view, p);
      if (p.line == 0) {
        other.push_back(format_problem(ip));
        continue;
      }
      mendel.push_back(format_problem(ip));
      if (!s.untype_mendel) continue;
      const long person = person_of_line(ctx.view, p.line);
      std::vector<std::size_t> members = nuclear_family_of(ctx.view, person);
      bool any = false;
      for (std::size_t i : members) any = any || a1[i] != 0;
      if (!any)  // nothing left to untype there: the whole family
        for (std::size_t i : ctx.view.people)
          if (study.people[i].family == study.people[static_cast<std::size_t>(person)].family) members.push_back(i);
      for (std::size_t i : members) {
        if (a1[i] != 0) changed = true;
        a1[i] = a2[i] = 0;
      }
      const Individual& c = study.people[static_cast<std::size_t>(person)];
      untyped_families.insert("family " + c.family + " (father " + c.father + ", mother " + c.mother + ")");
    }
    Row r = row;
    if (!other.empty()) {
      r[COL_STATUS] = "skipped";
      r[COL_REASON] = join(other, "; ");
      return r;
    }
    if (!s.untype_mendel || !changed) {
      r[COL_STATUS] = "mendel-error";
      r[COL_REASON] = join(mendel, "; ") + " [alleles recoded " + code_table(m, rec) + "]";
      return r;
    }
  }
  // The check above sees the lumped alleles; with every allele kept a family
  // may still be inconsistent: reported, or the family untyped.
  FullCoding fc;
  if (exact) {
    fc = full_coding(m, study.people, counted, s.source, given);
    for (std::string fam; !(fam = exact_mendel_family(ctx, mc, fc, a1)).empty();) {
      if (!s.untype_mendel) {
        row[COL_STATUS] = "mendel-error";
        row[COL_REASON] = "family " + fam +
                          ": the genotypes cannot be inherited when every allele is kept (the check of "
                          "the alleles lumped to five passes)";
        return row;
      }
      for (std::size_t i : ctx.view.people)
        if (study.people[i].family == fam) a1[i] = a2[i] = 0;
      untyped_families.insert("family " + fam + " (all of it: every allele kept)");
    }
    // The looped families: genotype elimination over each pedigree graph,
    // and the cost of each family's likelihood.
    while (!ctx.looped.empty()) {
      mc.looped_alleles = looped_alleles(ctx.looped, fc.allele1, fc.allele2, a1);
      const LoopedCheck lc =
          check_looped(ctx.looped, static_cast<int>(fc.frequency.size()), fc.frequency, mc.looped_alleles,
                       s.max_family_cost);
      if (lc.inconsistent.empty()) {
        mc.looped_kept = lc.kept;
        mc.notes.insert(mc.notes.end(), lc.notes.begin(), lc.notes.end());
        break;
      }
      if (!s.untype_mendel) {
        row[COL_STATUS] = "mendel-error";
        row[COL_REASON] = "family " + lc.inconsistent +
                          ": the genotypes cannot be inherited (a pedigree with loops, every allele kept)";
        return row;
      }
      for (std::size_t j = 0; j < ctx.looped.person.size(); ++j) {
        const long i = ctx.looped.person[j];
        if (i >= 0 && study.people[static_cast<std::size_t>(i)].family == lc.inconsistent)
          a1[static_cast<std::size_t>(i)] = a2[static_cast<std::size_t>(i)] = 0;
      }
      untyped_families.insert("family " + lc.inconsistent + " (all of it: a pedigree with loops)");
    }
  }
  if (!untyped_families.empty()) {
    std::vector<std::string> fams(untyped_families.begin(), untyped_families.end());
    mc.notes.push_back("Mendelian inconsistencies: genotypes set untyped in the nuclear families of " + join(fams, ", "));
    long typed = 0;
    for (std::size_t i = 0; i < a1.size(); ++i) typed += a1[i] != 0 ? 1 : 0;
    row[COL_TYPED] = std::to_string(typed);
  }
  if (general) {
    // Steps and bounds from the trait over every family, loops included.
    const prep::StartValues& all = ctx.trait.start;
    mc.prepared.start.trait_count = all.trait_count;
    mc.prepared.start.trait_mean = all.trait_mean;
    mc.prepared.start.trait_variance = all.trait_variance;
    if (mc.prepared.ped.families.empty()) mc.prepared.start.marker_text = all.marker_text;
  }
  if (s.source != FreqSource::founders) {
    const FrequencyText ft = frequency_text(rec.weight);
    mc.prepared.start.marker_text = ft.text;
    mc.prepared.start.marker_freq = ft.value;
  } else if (rec.founder_alleles < s.few_founder_alleles) {
    mc.notes.push_back("allele frequencies rest on " + std::to_string(rec.founder_alleles) + " typed founder alleles");
  }

  const PathResult path = exact ? analyse_exact(ctx, mc, fc, a1, worker) : analyse_five_allele(ctx, mc, eval, worker);
  row[COL_STARTS] = std::to_string(path.starts);
  row[COL_STATUS] = path.status;
  std::vector<std::string> reason = mc.notes;
  if (!path.reason.empty()) reason.insert(reason.begin(), path.reason);
  row[COL_REASON] = join(reason, "; ");
  const RunResult& r = *path.run;
  if (r.passes >= 1) {
    row[COL_LNL0] = number_text(r.pass[0].FMAX);
    row[COL_ITER0] = std::to_string(r.pass[0].ITER);
    row[COL_EVALS0] = std::to_string(r.pass[0].NFUN);
  }
  if (r.status == EXIT_OK && r.passes == 2) {
    const PassResult& p2 = r.pass[1];
    const LinkageStatistic st = linkage_statistic(p2.FMAX, r.pass[0].FMAX);
    row[COL_LNL1] = number_text(p2.FMAX);
    row[COL_THETA] = number_text(p2.X[5]);
    row[COL_P] = number_text(p2.X[1]);
    row[COL_MU1] = number_text(p2.X[2]);
    row[COL_MU2] = number_text(p2.X[3]);
    row[COL_MU3] = number_text(p2.X[4]);
    row[COL_VAR] = number_text(p2.X[6]);
    row[COL_CHI2] = number_text(st.CHI2);
    row[COL_LOD] = number_text(st.LOD);
    row[COL_LOG10_LR] = number_text((p2.FMAX - r.pass[0].FMAX) / std::numbers::ln10);
    row[COL_PVALUE] = number_text(one_sided_pvalue(st.CHI2));
    row[COL_ITER1] = std::to_string(p2.ITER);
    row[COL_EVALS1] = std::to_string(p2.NFUN);
  }
  return row;
}

}  // namespace mglink::scan
