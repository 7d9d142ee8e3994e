#include "pedigree_likelihood/study.hpp"

#include <algorithm>
#include <cmath>

namespace mglink::pedlik {

long Pedigree::first(std::size_t f) const {
  long n = 0;
  for (std::size_t i = 0; i < f; ++i) n += families[i].size;
  return n;
}

std::vector<std::array<int, 2>> parents_of(const Family& fam) {
  if (!fam.parents.empty()) return fam.parents;
  std::vector<std::array<int, 2>> par(static_cast<std::size_t>(fam.size), {0, 0});
  for (const NuclearFamily& nf : fam.nuclear)
    for (std::size_t i = 2; i < nf.members.size(); ++i)
      par[static_cast<std::size_t>(nf.members[i] - 1)] = {nf.members[0], nf.members[1]};
  return par;
}

std::vector<NuclearFamily> sibships_of(const Family& fam) {
  std::vector<NuclearFamily> out;
  if (fam.parents.empty()) {
    for (const NuclearFamily& nf : fam.nuclear)
      if (nf.members.size() > 2) out.push_back(nf);
    return out;
  }
  for (int e = 1; e <= fam.size; ++e) {
    const auto p = fam.parents[static_cast<std::size_t>(e - 1)];
    if (p[0] == 0) continue;
    auto it = std::find_if(out.begin(), out.end(), [&p](const NuclearFamily& nf) {
      return nf.members[0] == p[0] && nf.members[1] == p[1];
    });
    if (it == out.end()) {
      out.push_back(NuclearFamily{{p[0], p[1]}, 0});
      it = out.end() - 1;
    }
    it->members.push_back(e);
  }
  return out;
}

std::string check_study(const Pedigree& ped, const Marker& marker) {
  long n = 0;
  for (std::size_t f = 0; f < ped.families.size(); ++f) {
    const Family& fam = ped.families[f];
    const std::string where = "family " + std::to_string(f + 1);
    if (fam.size < 0) return where + ": negative size";
    for (std::size_t j = 0; j < fam.nuclear.size(); ++j) {
      const NuclearFamily& nf = fam.nuclear[j];
      const std::string nuc = where + ", nuclear family " + std::to_string(j + 1);
      if (nf.members.empty()) return nuc + ": no members";
      for (int e : nf.members)
        if (e < 1 || e > fam.size)
          return nuc + ": member " + std::to_string(e) + " is not a number 1.." +
                 std::to_string(fam.size);
      if (nf.connector < 0 || nf.connector > fam.size)
        return nuc + ": connector " + std::to_string(nf.connector) + " is not a member";
    }
    if (!fam.parents.empty()) {
      if (static_cast<int>(fam.parents.size()) != fam.size)
        return where + ": " + std::to_string(fam.parents.size()) + " parent pairs for " +
               std::to_string(fam.size) + " members";
      for (int e = 1; e <= fam.size; ++e) {
        const auto p = fam.parents[static_cast<std::size_t>(e - 1)];
        const std::string who = where + ", member " + std::to_string(e);
        for (int q : p)
          if (q < 0 || q > fam.size) return who + ": parent " + std::to_string(q) + " is not a member";
        if ((p[0] == 0) != (p[1] == 0)) return who + ": one parent is given, the other is not";
        if (p[0] != 0 && (p[0] == p[1] || p[0] == e || p[1] == e))
          return who + ": the parents " + std::to_string(p[0]) + " and " + std::to_string(p[1]) +
                 " are not two other members";
      }
      // Nobody is his or her own ancestor: members are taken off when their
      // parents are; what is left sits on a cycle of descent.
      std::vector<char> placed(static_cast<std::size_t>(fam.size + 1), 0);
      placed[0] = 1;
      for (bool more = true; more;) {
        more = false;
        for (int e = 1; e <= fam.size; ++e) {
          const auto p = fam.parents[static_cast<std::size_t>(e - 1)];
          if (!placed[static_cast<std::size_t>(e)] && placed[static_cast<std::size_t>(p[0])] &&
              placed[static_cast<std::size_t>(p[1])])
            placed[static_cast<std::size_t>(e)] = more = true;
        }
      }
      for (int e = 1; e <= fam.size; ++e)
        if (!placed[static_cast<std::size_t>(e)])
          return where + ", member " + std::to_string(e) + ": an ancestor of his or her own";
    } else if (!fam.has_plan() && fam.size > 0) {
      return where + ": neither a peeling plan nor the members' parents";
    }
    n += fam.size;
  }
  if (n != ped.individuals())
    return "the families have " + std::to_string(n) + " members but " +
           std::to_string(ped.individuals()) + " trait values are given";
  if (static_cast<long>(marker.alleles.size()) != n)
    return "the families have " + std::to_string(n) + " members but " +
           std::to_string(marker.alleles.size()) + " marker genotypes are given";
  if (marker.K < 1) return "the marker has no alleles";
  if (static_cast<int>(marker.frequency.size()) != marker.K)
    return "the marker has " + std::to_string(marker.K) + " alleles but " +
           std::to_string(marker.frequency.size()) + " frequencies";
  for (int a = 1; a <= marker.K; ++a) {
    const double q = marker.frequency[static_cast<std::size_t>(a - 1)];
    if (!(q >= 0.0 && std::isfinite(q)))
      return "allele " + std::to_string(a) + " has frequency " + std::to_string(q);
  }
  double sum = 0.0;
  for (double q : marker.frequency) sum = sum + q;
  if (!(std::fabs(sum - 1.0) <= 1e-5))
    return "the allele frequencies sum to " + std::to_string(sum) + ", not 1";
  for (long i = 0; i < n; ++i) {
    const auto g = marker.alleles[static_cast<std::size_t>(i)];
    const bool untyped = g[0] == 0 && g[1] == 0;
    const bool typed = g[0] >= 1 && g[0] <= marker.K && g[1] >= 1 && g[1] <= marker.K;
    if (!untyped && !typed)
      return "individual " + std::to_string(i + 1) + " has the marker genotype " +
             std::to_string(g[0]) + "/" + std::to_string(g[1]) + " (alleles are 1.." +
             std::to_string(marker.K) + ", or 0/0 untyped)";
  }
  return "";
}

}  // namespace mglink::pedlik
