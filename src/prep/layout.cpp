#include "prep/layout.hpp"

#include "core/errors.hpp"
#include "io/free_reader.hpp"
#include "prep/splitmix.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sstream>

namespace mglink::prep {

namespace {

using Random = SplitMix64;

std::size_t ix(int i) { return static_cast<std::size_t>(i); }

// Lays out one family, appending its nuclear families to d.
void layout_family(const Family& fam, IwayData& d, Random* rnd) {
  const int n = static_cast<int>(fam.people.size());
  const int m = static_cast<int>(fam.nuclear.size());
  // Bipartite graph: people 0..n-1, nuclear families n..n+m-1.
  std::vector<std::vector<int>> adj(ix(n + m));
  for (int j = 0; j < m; ++j) {
    const Nuclear& nf = fam.nuclear[ix(j)];
    for (int p : nf.members()) {
      adj[ix(p)].push_back(n + j);
      adj[ix(n + j)].push_back(p);
    }
  }
  if (rnd != nullptr)
    for (auto& a : adj) rnd->shuffle(a);

  auto emit = [&](std::vector<int> members, int connector) {
    for (int& p : members) ++p;  // numbers within the family
    d.add_nuclear(members, connector);
  };

  std::vector<char> seen(ix(n + m), 0);
  for (int start = 0; start < n; ++start) {
    if (seen[ix(start)]) continue;
    // The connected part of `start`.
    std::vector<int> part_nuclear;
    std::deque<int> queue{start};
    seen[ix(start)] = 1;
    while (!queue.empty()) {
      int x = queue.front();
      queue.pop_front();
      if (x >= n) part_nuclear.push_back(x - n);
      for (int y : adj[ix(x)])
        if (!seen[ix(y)]) {
          seen[ix(y)] = 1;
          queue.push_back(y);
        }
    }
    if (part_nuclear.empty()) {  // an individual alone
      emit({start}, 0);
      continue;
    }
    std::sort(part_nuclear.begin(), part_nuclear.end());

    int root = -1, collector = -1;
    if (rnd == nullptr) {
      for (int j : part_nuclear) {
        const Nuclear& nf = fam.nuclear[ix(j)];
        if (fam.people[ix(nf.father)].father < 0 && fam.people[ix(nf.father)].mother < 0 &&
            fam.people[ix(nf.mother)].father < 0 && fam.people[ix(nf.mother)].mother < 0) {
          root = j;
          break;
        }
      }
      if (root < 0) root = part_nuclear.front();  // not reached in a pedigree without loops
      collector = fam.nuclear[ix(root)].father;
    } else {
      root = part_nuclear[rnd->below(part_nuclear.size())];
      collector = rnd->below(2) == 0 ? fam.nuclear[ix(root)].father : fam.nuclear[ix(root)].mother;
    }

    // Post-order walk of the tree from the collector; the root comes last
    // among the collector's nuclear families, so it closes the part (the
    // collector's list is not read again after this part).
    std::vector<int>& first = adj[ix(collector)];
    std::stable_partition(first.begin(), first.end(), [&](int y) { return y != n + root; });
    struct Frame {
      int node, parent;
      std::size_t next;
    };
    std::vector<Frame> stack{{collector, -1, 0}};
    while (!stack.empty()) {
      Frame& fr = stack.back();
      const std::vector<int>& nb = adj[ix(fr.node)];
      if (fr.next < nb.size()) {
        int y = nb[fr.next++];
        if (y != fr.parent) stack.push_back({y, fr.node, 0});
        continue;
      }
      const int node = fr.node, parent = fr.parent;
      stack.pop_back();
      if (node < n) continue;
      const Nuclear& nf = fam.nuclear[ix(node - n)];
      std::vector<int> parents{nf.father, nf.mother};
      std::vector<int> children = nf.children;
      if (rnd != nullptr) {
        rnd->shuffle(children);
        if (rnd->below(2) == 1) std::swap(parents[0], parents[1]);
      }
      int connector;
      if (node - n == root) {
        connector = 0;
        if (parents[0] != collector) std::swap(parents[0], parents[1]);
      } else {
        connector = parent + 1;
        auto c = std::find(children.begin(), children.end(), parent);
        if (c != children.end()) std::rotate(children.begin(), c, c + 1);
      }
      std::vector<int> members = parents;
      members.insert(members.end(), children.begin(), children.end());
      emit(members, connector);
    }
  }
}

}  // namespace

IwayData build_layout(const Pedigree& ped, const LayoutOptions& opt) {
  IwayData d;
  Random rnd{opt.seed};
  for (const Family& fam : ped.families) {
    layout_family(fam, d, opt.seed == 0 ? nullptr : &rnd);
    d.close_family(static_cast<int>(fam.people.size()));
  }
  return d;
}

std::vector<std::string> check_layout(const IwayData& d) {
  std::string problem = family_layout_problem(d, true);
  if (problem.empty()) return {};
  return {problem};
}

std::string iway_text(const IwayData& d) { return family_layout_text(d, 10); }

bool parse_iway(const std::string& text, IwayData& d, std::string& error,
                const std::string& file_name) {
  FreeReader r(file_name, text);
  FamilyFile f;
  try {
    f = read_family_layout(r);
  } catch (const RunStop& stop) {
    error = stop.detail().empty() ? stop.console() : stop.detail();
    return false;
  }
  const FamilyCounts& n = f.counts;
  if (n.N < 1) {
    error = file_name + ": no families (N = " + std::to_string(n.N) + ")";
    return false;
  }
  if (f.NFAM != n.N) {
    error = file_name + ": NFAM = " + std::to_string(f.NFAM) + " differs from N = " +
            std::to_string(n.N) + " (families beyond NFAM are not evaluated)";
    return false;
  }
  if (n.S != f.layout.nind()) {
    error = file_name + ": S = " + std::to_string(n.S) +
            " differs from the number of individuals FAMOFF(N+1) = " +
            std::to_string(f.layout.nind());
    return false;
  }
  d = std::move(f.layout);
  return true;
}

}  // namespace mglink::prep
