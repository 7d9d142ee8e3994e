#include "pedigree_likelihood/family_table.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace mglink::pedlik {

namespace {

// Marker genotype of classes m <= n.
struct Pair {
  int m, n;
};

std::size_t idx(int i) { return static_cast<std::size_t>(i); }

// Each member's marker genotypes: the observed one, or all R(R+1)/2.
std::vector<std::vector<Pair>> start_lists(const Family& fam, long first, const Marker& marker,
                                           const FamilyTable& t) {
  std::vector<std::vector<Pair>> lists(idx(fam.size));
  for (int e = 1; e <= fam.size; ++e) {
    const auto obs = marker.alleles[static_cast<std::size_t>(first + e - 1)];
    auto& list = lists[idx(e - 1)];
    if (obs[0] != 0) {
      int m = t.class_of[idx(obs[0] - 1)], n = t.class_of[idx(obs[1] - 1)];
      if (m > n) std::swap(m, n);
      list.push_back({m, n});
      continue;
    }
    for (int m = 0; m < t.R; ++m)
      for (int n = m; n < t.R; ++n) list.push_back({m, n});
  }
  return lists;
}

// One sweep over a nuclear family with children; true when it removed a
// genotype.  `where` is scratch of R*R entries, all -1 on entry and exit.
bool sweep_nuclear(const NuclearFamily& nf, std::vector<std::vector<Pair>>& lists, int R,
                   std::vector<int>& where) {
  const auto& e = nf.members;
  const std::size_t kids = e.size() - 2;
  auto& A = lists[idx(e[0] - 1)];
  auto& B = lists[idx(e[1] - 1)];
  std::vector<char> keepA(A.size(), 0), keepB(B.size(), 0);
  std::vector<std::vector<char>> keepK(kids);
  // pos[c][m*R+n]: position of {m, n} in child c's list, -1 if absent.
  std::vector<std::vector<int>> pos(kids);
  for (std::size_t c = 0; c < kids; ++c) {
    const auto& L = lists[idx(e[c + 2] - 1)];
    keepK[c].assign(L.size(), 0);
    pos[c] = where;
    for (std::size_t i = 0; i < L.size(); ++i) pos[c][idx(L[i].m * R + L[i].n)] = static_cast<int>(i);
  }
  for (std::size_t ia = 0; ia < A.size(); ++ia) {
    const int a[2] = {A[ia].m, A[ia].n};
    for (std::size_t ib = 0; ib < B.size(); ++ib) {
      const int b[2] = {B[ib].m, B[ib].n};
      bool ok = true;
      for (std::size_t c = 0; c < kids && ok; ++c) {
        bool hit = false;
        for (int i = 0; i < 2; ++i)
          for (int j = 0; j < 2; ++j)
            if (pos[c][idx(std::min(a[i], b[j]) * R + std::max(a[i], b[j]))] >= 0) hit = true;
        ok = hit;
      }
      if (!ok) continue;
      keepA[ia] = keepB[ib] = 1;
      for (std::size_t c = 0; c < kids; ++c) {
        for (int i = 0; i < 2; ++i)
          for (int j = 0; j < 2; ++j) {
            const int m = std::min(a[i], b[j]), n = std::max(a[i], b[j]);
            const int p = pos[c][idx(m * R + n)];
            if (p >= 0) keepK[c][idx(p)] = 1;
          }
      }
    }
  }
  bool removed = false;
  auto prune = [&removed](std::vector<Pair>& L, const std::vector<char>& keep) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < L.size(); ++i)
      if (keep[i]) L[k++] = L[i];
    if (k != L.size()) removed = true;
    L.resize(k);
  };
  prune(A, keepA);
  prune(B, keepB);
  for (std::size_t c = 0; c < kids; ++c) prune(lists[idx(e[c + 2] - 1)], keepK[c]);
  return removed;
}

// The two-locus genotypes of marker genotype {m, n}.
void add_slots(const Pair& p, int R, std::vector<Slot>& out) {
  auto make = [R](int ha, int hb) {
    Slot s;
    s.a = static_cast<std::uint8_t>(std::min(ha, hb));
    s.b = static_cast<std::uint8_t>(std::max(ha, hb));
    s.major = static_cast<std::uint8_t>(ha / R + hb / R);
    const int ma = ha / R, ca = ha % R, mb = hb / R, cb = hb % R;
    if (ha == hb) {
      s.nt = 1;
      s.hap[0] = static_cast<std::uint8_t>(ha);
      s.prob[0] = PROB_ONE;
    } else if (ma == mb || ca == cb) {
      s.nt = 2;
      s.hap[0] = s.a;
      s.hap[1] = s.b;
      s.prob[0] = s.prob[1] = PROB_HALF;
    } else {
      s.nt = 4;
      s.hap[0] = s.a;
      s.hap[1] = s.b;
      s.hap[2] = static_cast<std::uint8_t>(ma * R + cb);
      s.hap[3] = static_cast<std::uint8_t>(mb * R + ca);
      s.prob[0] = s.prob[1] = PROB_PARENTAL;
      s.prob[2] = s.prob[3] = PROB_RECOMBINANT;
    }
    return s;
  };
  const int m = p.m, n = p.n;
  if (m == n) {
    out.push_back(make(m, m));
    out.push_back(make(m, R + m));
    out.push_back(make(R + m, R + m));
  } else {
    out.push_back(make(m, n));
    out.push_back(make(m, R + n));
    out.push_back(make(R + m, n));
    out.push_back(make(R + m, R + n));
  }
}

}  // namespace

void recode_alleles(const Family& fam, long first, const Marker& marker, bool recode,
                    FamilyTable& t) {
  const int K = marker.K;
  t.class_of.assign(idx(K), -1);
  if (!recode) {
    t.R = K;
    for (int a = 1; a <= K; ++a) t.class_of[idx(a - 1)] = a - 1;
  } else {
    std::vector<char> seen(idx(K), 0);
    for (int e = 1; e <= fam.size; ++e) {
      const auto obs = marker.alleles[static_cast<std::size_t>(first + e - 1)];
      for (int a : obs)
        if (a != 0) seen[idx(a - 1)] = 1;
    }
    int R = 0;
    for (int a = 1; a <= K; ++a)
      if (seen[idx(a - 1)]) t.class_of[idx(a - 1)] = R++;
    bool rest = false;
    for (int a = 1; a <= K; ++a)
      if (!seen[idx(a - 1)]) {
        t.class_of[idx(a - 1)] = R;
        rest = true;
      }
    t.R = R + (rest ? 1 : 0);
  }
  if (t.R > MAX_CLASSES)
    throw std::invalid_argument("a marker of " + std::to_string(K) + " alleles has more than " +
                                std::to_string(MAX_CLASSES) + " allele classes in one family");
  t.class_frequency.assign(idx(t.R), 0.0);
  for (int a = 1; a <= K; ++a) {
    double& q = t.class_frequency[idx(t.class_of[idx(a - 1)])];
    q = q + marker.frequency[idx(a - 1)];
  }
}

FamilyTable build_family_table(const Family& fam, long first, const Marker& marker, bool recode) {
  FamilyTable t;
  recode_alleles(fam, first, marker, recode, t);
  const int R = t.R;

  const auto parents = parents_of(fam);
  t.founder.assign(idx(fam.size), 1);
  for (int e = 1; e <= fam.size; ++e)
    if (parents[idx(e - 1)][0] != 0) t.founder[idx(e - 1)] = 0;
  t.trait.assign(idx(fam.size), 0.0);

  auto lists = start_lists(fam, first, marker, t);
  std::vector<int> where(idx(R * R), -1);
  const std::vector<NuclearFamily> sibships = sibships_of(fam);
  for (bool removed = true; removed;) {
    removed = false;
    for (const NuclearFamily& nf : sibships)
      if (sweep_nuclear(nf, lists, R, where)) removed = true;
  }

  t.slot_begin.assign(idx(fam.size + 1), 0);
  for (int e = 1; e <= fam.size; ++e) {
    for (const Pair& p : lists[idx(e - 1)]) add_slots(p, R, t.slots);
    t.slot_begin[idx(e)] = static_cast<int>(t.slots.size());
  }
  return t;
}

}  // namespace mglink::pedlik
