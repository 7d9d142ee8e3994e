#include "scan/exact.hpp"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "io/message_file.hpp"
#include "pedigree_likelihood/evaluator.hpp"
#include "pedigree_likelihood/family_table.hpp"
#include "kallele/from_state.hpp"
#include "kallele/two_pass.hpp"
#include "core/console.hpp"
#include "run/control_files.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "run/output_files.hpp"
#include "run/pass_output.hpp"
#include "run/search_warning.hpp"

namespace mglink::scan {

namespace fs = std::filesystem;

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

// The families of a prepared marker with their trait values, as the run
// directory's IWAY.DAT and trait.dat list them (trait.dat's values read back
// to the same numbers), without reading the files back: a study beyond
// mglink's capacities has no model state to read them into.
pedlik::Pedigree structure_of(const prep::Prepared& pr) {
  const prep::IwayData& L = pr.layout;
  pedlik::Pedigree ped;
  for (int f = 0; f < L.nfam(); ++f) {
    pedlik::Family fam;
    fam.size = L.famoff[idx(f + 1)] - L.famoff[idx(f)];
    for (int j = L.nucoff[idx(f)]; j < L.nucoff[idx(f + 1)]; ++j) {
      pedlik::NuclearFamily nf;
      for (int i = L.memoff[idx(j)]; i < L.memoff[idx(j + 1)]; ++i) nf.members.push_back(L.member[idx(i)]);
      nf.connector = L.iconn[idx(j)];
      fam.nuclear.push_back(nf);
    }
    for (const prep::Person& p : pr.ped.families[idx(f)].people) ped.trait.push_back(p.trait_missing ? -999.0 : p.trait);
    if (static_cast<int>(pr.ped.families[idx(f)].people.size()) != fam.size)
      throw std::logic_error("family " + pr.ped.families[idx(f)].id + " has other members in its layout");
    ped.families.push_back(fam);
  }
  return ped;
}

// The marker in the order of IWAY.DAT: individual w of family f is person
// w of the prepared family f; individuals mglink-prep added are untyped.
pedlik::Marker marker_of(const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                          const std::vector<std::uint8_t>& typed1) {
  pedlik::Marker mk;
  mk.K = static_cast<int>(fc.frequency.size());
  mk.frequency = fc.frequency;
  for (const prep::Family& fam : mc.prepared.ped.families)
    for (const prep::Person& p : fam.people) {
      const long i = p.added ? -1 : person_of_line(ctx.view, p.line);
      if (i < 0 || typed1[idx(i)] == 0 || fc.allele1[idx(i)] == 0) {
        mk.alleles.push_back({0, 0});
      } else {
        mk.alleles.push_back({fc.allele1[idx(i)], fc.allele2[idx(i)]});
      }
    }
  return mk;
}

std::string number(double v) {
  std::ostringstream o;
  o.precision(15);
  o << v;
  return o.str();
}

// Why the start values of a pass give no usable likelihood.
std::string unusable_reason(const kallele::TwoPassResult& r, const ModelState& st,
                            const MarkerCase& mc, const LoopedFamilies& looped) {
  const int pass = r.passes + 1;
  std::string head = "pass " + std::to_string(pass) + " (" +
                     (pass == 1 ? "null hypothesis" : "alternative hypothesis") +
                     "): the start values give no usable likelihood with every allele kept: ";
  if (r.rejection.kind == Rejection::Kind::Bounds) {
    const int i = r.rejection.param;
    return head + "parameter " + std::to_string(i) + " = " + number(st.OPTPAR1.X(i)) +
           " is on or outside its bounds " + number(st.OPTPAR1.XLOW(i)) + " and " +
           number(st.OPTPAR1.XUPP(i));
  }
  if (r.rejection.kind == Rejection::Kind::Family) {
    const int f = r.rejection.family;
    const int laid_out = static_cast<int>(mc.prepared.ped.families.size());
    std::string id = std::to_string(f);
    if (f >= 1 && f <= laid_out)
      id = mc.prepared.ped.families[idx(f - 1)].id;
    else if (f > laid_out && f - laid_out <= static_cast<int>(mc.looped_kept.size()))
      id = looped.ids[mc.looped_kept[idx(f - laid_out - 1)]];
    return head + "family " + id + " has likelihood zero at these values";
  }
  return head + "the log-likelihood is at or below -1e17";
}

// Families `kept` of the looped families, with their members' trait values
// and `alleles` (every looped member's), after those of ped and mk.
void append_looped(const LoopedFamilies& lf, const std::vector<std::size_t>& kept,
                   const std::vector<std::array<int, 2>>& alleles, pedlik::Pedigree& ped, pedlik::Marker& mk) {
  std::vector<long> first(lf.families.size() + 1, 0);
  for (std::size_t f = 0; f < lf.families.size(); ++f) first[f + 1] = first[f] + lf.families[f].size;
  for (std::size_t f : kept) {
    ped.families.push_back(lf.families[f]);
    for (long i = first[f]; i < first[f + 1]; ++i) {
      ped.trait.push_back(lf.trait[idx(i)]);
      mk.alleles.push_back(alleles.empty() ? std::array<int, 2>{0, 0} : alleles[idx(i)]);
    }
  }
}

}  // namespace

FullCoding full_coding(const MarkerData& m, const std::vector<Individual>& people,
                       const std::vector<std::size_t>& included, FreqSource source,
                       const GivenFrequencies* given) {
  FullCoding fc;
  const std::size_t nl = m.labels.size();
  const AlleleCounts counts = count_alleles(m, people, included);
  const std::vector<std::size_t>& observed = counts.observed;
  fc.K = static_cast<int>(observed.size());
  fc.code.assign(nl, 0);
  for (std::size_t j = 0; j < observed.size(); ++j) fc.code[observed[j]] = static_cast<int>(j + 1);

  fc.allele1.assign(people.size(), 0);
  fc.allele2.assign(people.size(), 0);
  for (std::size_t i : included) {
    if (m.a1[i] == 0) continue;
    const int x = fc.code[m.a1[i] - 1u], y = fc.code[m.a2[i] - 1u];
    fc.allele1[i] = static_cast<std::uint16_t>(std::min(x, y));
    fc.allele2[i] = static_cast<std::uint16_t>(std::max(x, y));
  }

  std::vector<double> w(observed.size(), 0.0);
  double extra = 0.0;
  if (source == FreqSource::given && given != nullptr) {
    for (std::size_t g = 0; g < given->labels.size(); ++g) {
      const auto it = std::find(m.labels.begin(), m.labels.end(), given->labels[g]);
      const std::size_t k = static_cast<std::size_t>(it - m.labels.begin());
      if (it != m.labels.end() && fc.code[k] > 0)
        w[idx(fc.code[k] - 1)] += given->freq[g];
      else
        extra += given->freq[g];
    }
  } else {
    const bool founders = source == FreqSource::founders && counts.founder_alleles > 0;
    const std::vector<double>& count = founders ? counts.founder : counts.all;
    for (std::size_t j = 0; j < observed.size(); ++j) {
      const double c = count[observed[j]];
      w[j] = c > 0 ? c : 0.5;  // seen, but not among the counted alleles
    }
  }
  double total = extra;
  for (double v : w) total += v;
  for (double v : w) fc.frequency.push_back(v / total);
  if (extra > 0) fc.frequency.push_back(extra / total);
  return fc;
}

std::string exact_mendel_family(const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                                const std::vector<std::uint8_t>& typed1) {
  const pedlik::Pedigree ped = structure_of(mc.prepared);
  const pedlik::Marker mk = marker_of(ctx, mc, fc, typed1);
  long first = 0;
  for (std::size_t f = 0; f < ped.families.size(); ++f) {
    const pedlik::Family& fam = ped.families[f];
    const pedlik::FamilyTable t = pedlik::build_family_table(fam, first, mk, true);
    for (int e = 1; e <= fam.size; ++e)
      if (t.last(e) == t.first(e)) return mc.prepared.ped.families[f].id;
    first += fam.size;
  }
  return "";
}

RunResult run_exact(const fs::path& dir, const ScanContext& ctx, const MarkerCase& mc,
                    const FullCoding& fc, const std::vector<std::uint8_t>& typed1) {
  const std::unique_ptr<ModelState> st = make_model_state();
  st->IMAX.NPAR = 6;
  const std::string par = (dir / PAR_FILE).string();
  const TaskNames task = read_task((dir / TASK_FILE).string());
  read_par(*st, 1, par);
  pedlik::Pedigree ped;
  pedlik::Marker mk;
  mk.K = static_cast<int>(fc.frequency.size());
  mk.frequency = fc.frequency;
  if (!mc.prepared.ped.families.empty()) {
    ped = structure_of(mc.prepared);
    mk = marker_of(ctx, mc, fc, typed1);
    if (mk.alleles.size() != ped.trait.size())
      throw std::logic_error("the prepared pedigree and its layout list different numbers of individuals");
  }
  // The looped families, after those laid out, as graphs.
  append_looped(ctx.looped, mc.looped_kept, mc.looped_alleles, ped, mk);
  pedlik::Evaluator ev(ped, mk);

  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  MessageFile messages((dir / MESSAGE_FILE).string());
  const auto load = [&par](ModelState& s, int pass) { return read_par(s, pass, par); };
  const kallele::TwoPassResult t =
      kallele::run_two_passes(*st, ev, read_maxpar((dir / MAXPAR_FILE).string()), load, con, messages);
  // sigma.DAT and the result file, as mglink writes them for its passes.
  {
    OutputFile result((dir / task.RESULTFILE).string());
    OutputFile sigma((dir / SIGMA_FILE).string());
    for (int p = 0; p < t.passes; ++p) {
      if (t.pass[static_cast<std::size_t>(p)].NEST > 0)
        sigma.lines(sigma_block(p + 1, t.searched[static_cast<std::size_t>(p)], 6));
      if (p == 0) result.line(null_result_line(t.pass[0].FMAX));
      else result.lines(alternative_result_lines(t.pass[1].X[5], t.pass[1].FMAX, t.pass[0].FMAX));
    }
    sigma.close();
    result.close();
  }
  RunResult r;
  r.passes = t.passes;
  r.pass = t.pass;
  if (t.unusable_start) {
    r.status = EXIT_UNUSABLE_START;
    r.detail = unusable_reason(t, *st, mc, ctx.looped);
  } else {
    r.status = EXIT_OK;
    if (t.pass[1].NEST > 0) r.warning = below_null_warning(t.pass[0].FMAX, t.pass[1].FMAX);
  }
  return r;
}

namespace {

// run_exact, with a run that stops (files it cannot read, a study the
// likelihood refuses) turned into the RunResult of that stop.
RunResult run_exact_caught(const fs::path& dir, const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                           const std::vector<std::uint8_t>& typed1) {
  RunResult r;
  try {
    r = run_exact(dir, ctx, mc, fc, typed1);
  } catch (const RunStop& stop) {
    r.status = stop.status();
    r.console = stop.console();
    r.detail = stop.detail();
  } catch (const std::invalid_argument& e) {
    r.status = EXIT_INPUT_ERROR;
    r.detail = e.what();
  }
  return r;
}

}  // namespace

TraitModel fit_trait_model_general(const ScanContext& ctx, const prep::Prepared& study, const fs::path& dir) {
  TraitModel t;
  t.start = ctx.trait.start;
  std::error_code ec;
  fs::remove_all(dir, ec);
  // A marker of one allele that nobody is typed for: the trait's likelihood.
  MarkerCase mc;
  mc.prepared = study;
  mc.prepared.start = t.start;
  mc.name = "(the trait model)";
  FullCoding fc;
  fc.K = 1;
  fc.frequency = {1.0};
  fc.allele1.assign(ctx.view.study->people.size(), 0);
  fc.allele2 = fc.allele1;
  const std::vector<std::uint8_t> typed1(fc.allele1.size(), 0);
  mc.looped_alleles.assign(ctx.looped.person.size(), {0, 0});
  mc.looped_kept = check_looped(ctx.looped, 1, fc.frequency, mc.looped_alleles, ctx.settings.max_family_cost).kept;
  write_marker_run(dir, mc.prepared, prep::par_text(t.start, "mglink-scan: the trait model (no marker information)"));
  write_looped_note(dir, ctx.looped, mc.looped_kept);
  const RunResult r = run_exact_caught(dir, ctx, mc, fc, typed1);
  fs::remove_all(dir, ec);
  return trait_model_of(r, t);
}

PathResult analyse_exact(const ScanContext& ctx, const MarkerCase& mc, const FullCoding& fc,
                         const std::vector<std::uint8_t>& typed1, int worker) {
  return analyse_starts(ctx, mc, worker,
                        [&](const fs::path& dir) { return run_exact_caught(dir, ctx, mc, fc, typed1); });
}

}  // namespace mglink::scan
