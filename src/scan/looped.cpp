#include "scan/looped.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "pedigree_likelihood/family_table.hpp"
#include "pedigree_likelihood/graph_elimination.hpp"

namespace mglink::scan {

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

// "3.2e+09" for a cost in terms.
std::string cost_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

}  // namespace

std::vector<std::size_t> LoopedFamilies::people() const {
  std::vector<std::size_t> out;
  for (long p : person)
    if (p >= 0) out.push_back(idx(p));
  std::sort(out.begin(), out.end());
  return out;
}

LoopedFamilies looped_families(const prep::Prepared& full, const std::set<std::string>& ids,
                               const PrepView& view) {
  LoopedFamilies lf;
  for (const prep::Family& fam : full.ped.families) {
    if (ids.count(fam.id) == 0) continue;
    lf.ids.push_back(fam.id);
    pedlik::Family g;
    g.size = static_cast<int>(fam.people.size());
    for (const prep::Person& p : fam.people) {
      // Both parents or none (the pedigree checks passed).
      if (p.father >= 0 && p.mother >= 0)
        g.parents.push_back({p.father + 1, p.mother + 1});
      else
        g.parents.push_back({0, 0});
      lf.trait.push_back(p.trait_missing ? pedlik::TRAIT_UNKNOWN - 1.0 : p.trait);
      lf.person.push_back(p.added ? -1 : person_of_line(view, p.line));
    }
    lf.families.push_back(std::move(g));
  }
  return lf;
}

std::vector<std::array<int, 2>> looped_alleles(const LoopedFamilies& lf,
                                               const std::vector<std::uint16_t>& allele1,
                                               const std::vector<std::uint16_t>& allele2,
                                               const std::vector<std::uint8_t>& typed) {
  std::vector<std::array<int, 2>> out;
  out.reserve(lf.person.size());
  for (long p : lf.person) {
    if (p < 0 || typed[idx(p)] == 0 || allele1[idx(p)] == 0)
      out.push_back({0, 0});
    else
      out.push_back({allele1[idx(p)], allele2[idx(p)]});
  }
  return out;
}

LoopedCheck check_looped(const LoopedFamilies& lf, int K, const std::vector<double>& frequency,
                         const std::vector<std::array<int, 2>>& alleles, double max_cost) {
  LoopedCheck c;
  pedlik::Marker mk;
  mk.K = K;
  mk.frequency = frequency;
  mk.alleles = alleles;
  long first = 0;
  for (std::size_t f = 0; f < lf.families.size(); ++f) {
    const pedlik::Family& fam = lf.families[f];
    const pedlik::FamilyTable t = pedlik::build_family_table(fam, first, mk, true);
    first += fam.size;
    for (int e = 1; e <= fam.size; ++e)
      if (t.last(e) == t.first(e) && c.inconsistent.empty()) c.inconsistent = lf.ids[f];
    const pedlik::EliminationPlan plan = pedlik::plan_elimination(fam, t);
    if (plan.cost > max_cost) {
      c.notes.push_back("family " + lf.ids[f] + " left out: its pedigree has loops whose likelihood costs " +
                        (std::isinf(plan.cost) ? "more than " + cost_text(pedlik::MAX_COST)
                                               : "about " + cost_text(plan.cost)) +
                        " terms, beyond --max-family-cost " + cost_text(max_cost));
      continue;
    }
    // The tables of one evaluation are held at once: a worker's memory.
    const double mib = static_cast<double>(plan.store) * 8.0 / 1048576.0;
    if (mib > MAX_FAMILY_MIB) {
      c.notes.push_back("family " + lf.ids[f] + " left out: its pedigree has loops whose likelihood needs about " +
                        cost_text(mib) + " MiB of tables, beyond " + cost_text(MAX_FAMILY_MIB) + " MiB");
      continue;
    }
    c.kept.push_back(f);
  }
  return c;
}

void write_looped_note(const std::filesystem::path& dir, const LoopedFamilies& lf,
                       const std::vector<std::size_t>& kept) {
  std::string text =
      "This study has families whose pedigrees have loops.  mglink peels only pedigrees\n"
      "without loops, so its family files here (IWAY.DAT, trait.dat, marker.dat, when\n"
      "present) hold the other families only, and mglink run here analyses those alone.\n"
      "sigma.DAT and result.dat are mglink-scan's general path: the families below\n"
      "summed out over their pedigree graphs, with every other family peeled as mglink\n"
      "peels it, all in one likelihood.\n\nFamilies with loops in this analysis:\n";
  for (std::size_t f : kept) text += "  " + lf.ids[f] + "\n";
  if (kept.size() < lf.ids.size()) {
    text += "Left out for the cost of their likelihood (--max-family-cost):\n";
    for (std::size_t f = 0; f < lf.ids.size(); ++f)
      if (std::find(kept.begin(), kept.end(), f) == kept.end()) text += "  " + lf.ids[f] + "\n";
  }
  const std::filesystem::path path = dir / LOOPS_NOTE;
  std::ofstream o(path, std::ios::binary | std::ios::trunc);
  o << text;
  o.close();
  if (!o) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace mglink::scan
