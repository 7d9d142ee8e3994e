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
    for (int p : members) d.member.push_back(p + 1);
    d.iconn.push_back(connector);
    d.memoff.push_back(static_cast<int>(d.member.size()));
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

void append_read(std::ostringstream& out, const std::vector<int>& values) {
  // Ten values to a line; the reader continues a read over as many lines as
  // it needs.  An empty read is one empty line.
  for (std::size_t i = 0; i < values.size(); ++i) {
    out << values[i];
    out << ((i + 1) % 10 == 0 || i + 1 == values.size() ? '\n' : ' ');
  }
  if (values.empty()) out << '\n';
}

}  // namespace

IwayData build_layout(const Pedigree& ped, const LayoutOptions& opt) {
  IwayData d;
  Random rnd{opt.seed};
  d.famoff.push_back(0);
  d.nucoff.push_back(0);
  d.memoff.push_back(0);
  for (const Family& fam : ped.families) {
    layout_family(fam, d, opt.seed == 0 ? nullptr : &rnd);
    d.famoff.push_back(d.famoff.back() + static_cast<int>(fam.people.size()));
    d.nucoff.push_back(static_cast<int>(d.iconn.size()));
  }
  return d;
}

std::vector<std::string> check_layout(const IwayData& d) {
  std::vector<std::string> bad;
  const int nfam = d.nfam();
  if (nfam < 1) return {"no families"};
  if (static_cast<int>(d.nucoff.size()) != nfam + 1) return {"NUCOFF has the wrong length"};
  if (d.memoff.size() != d.iconn.size() + 1) return {"MEMOFF and ICONN lengths disagree"};
  if (d.famoff[0] != 0 || d.nucoff[0] != 0 || d.memoff[0] != 0) bad.push_back("offsets do not start at 0");
  if (d.nucoff.back() != d.nnuc()) bad.push_back("NUCOFF(NFAM+1) is not the number of nuclear families");
  if (d.memoff.back() != static_cast<int>(d.member.size()))
    bad.push_back("MEMOFF(NNUC+1) is not the number of member entries");
  for (int j = 0; j < d.nnuc(); ++j)
    if (d.memoff[ix(j + 1)] <= d.memoff[ix(j)] || d.memoff[ix(j + 1)] > static_cast<int>(d.member.size()))
      bad.push_back("nuclear family " + std::to_string(j + 1) + " has no member entries");
  if (!bad.empty()) return bad;

  for (int f = 0; f < nfam; ++f) {
    const std::string fname = "family " + std::to_string(f + 1);
    const int size = d.famoff[ix(f + 1)] - d.famoff[ix(f)];
    const int j0 = d.nucoff[ix(f)], j1 = d.nucoff[ix(f + 1)];
    if (size < 1) bad.push_back(fname + " has no individuals");
    if (j1 <= j0) bad.push_back(fname + " has no nuclear family");
    if (size < 1 || j1 < j0 || j1 > d.nnuc()) continue;
    std::vector<int> summed(ix(size + 1), 0);     // times summed out
    std::vector<char> listed(ix(size + 1), 0);
    for (int j = j0; j < j1; ++j) {
      const std::string jname = fname + ", nuclear family " + std::to_string(j + 1);
      std::vector<int> ms(d.member.begin() + d.memoff[ix(j)], d.member.begin() + d.memoff[ix(j + 1)]);
      bool ok = true;
      for (std::size_t a = 0; a < ms.size(); ++a) {
        if (ms[a] < 1 || ms[a] > size) {
          bad.push_back(jname + ": member " + std::to_string(ms[a]) + " is not in the family");
          ok = false;
        }
        for (std::size_t b = 0; b < a; ++b)
          if (ms[a] == ms[b]) {
            bad.push_back(jname + ": member " + std::to_string(ms[a]) + " is listed twice");
            ok = false;
          }
      }
      const int c = d.iconn[ix(j)];
      const auto pos = std::find(ms.begin(), ms.end(), c) - ms.begin();
      if (c != 0 && pos == static_cast<long>(ms.size())) {
        bad.push_back(jname + ": connector " + std::to_string(c) + " is not a member");
        ok = false;
      } else if (c != 0 && pos > 2) {
        bad.push_back(jname + ": connector " + std::to_string(c) + " is a child but not the first child");
        ok = false;
      }
      if (!ok) continue;
      const int collector = c != 0 ? c : ms[0];
      for (int x : ms) {
        listed[ix(x)] = 1;
        if (summed[ix(x)] > 0) {
          bad.push_back(jname + ": member " + std::to_string(x) +
                        " was already summed out in an earlier nuclear family");
        }
        if (x != collector || c == 0) ++summed[ix(x)];
      }
    }
    for (int w = 1; w <= size; ++w) {
      if (!listed[ix(w)])
        bad.push_back(fname + ": individual " + std::to_string(w) + " is in no nuclear family");
      else if (summed[ix(w)] == 0)
        bad.push_back(fname + ": individual " + std::to_string(w) +
                      " is never summed out (a part of the family without a root)");
      else if (summed[ix(w)] > 1)
        bad.push_back(fname + ": individual " + std::to_string(w) + " is summed out " +
                      std::to_string(summed[ix(w)]) + " times");
    }
  }
  return bad;
}

std::string iway_text(const IwayData& d) {
  std::ostringstream out;
  const int n = d.nfam();
  std::vector<int> r1{n, n};
  r1.insert(r1.end(), d.famoff.begin(), d.famoff.end());
  append_read(out, r1);
  std::vector<int> r2{0};
  r2.insert(r2.end(), d.nucoff.begin(), d.nucoff.end());
  append_read(out, r2);
  std::vector<int> r3{d.nnuc() + 2, 0};
  r3.insert(r3.end(), d.memoff.begin(), d.memoff.end());
  append_read(out, r3);
  std::vector<int> r4{static_cast<int>(d.member.size())};
  r4.insert(r4.end(), d.member.begin(), d.member.end());
  append_read(out, r4);
  append_read(out, d.iconn);
  std::vector<int> r6(ix(d.nind() + 1), 0);
  r6[0] = d.nind();
  append_read(out, r6);
  append_read(out, std::vector<int>(ix(d.nind()), 0));
  return out.str();
}

bool parse_iway(const std::string& text, IwayData& d, std::string& error,
                const std::string& file_name) {
  FreeReader r(file_name, text);
  auto list = [&](std::vector<int>& v, long n, const char* item) {
    v.clear();
    for (long i = 1; i <= n; ++i) {
      std::int32_t x = 0;
      r.read(x, item, i);
      v.push_back(x);
    }
  };
  try {
    std::int32_t n = 0, nfam = 0, spare = 0, m = 0, k = 0, s = 0;
    r.begin_read("read 1 (N, NFAM, FAMOFF)");
    r.read(n, "N");
    r.read(nfam, "NFAM");
    list(d.famoff, n + 1, "FAMOFF");
    r.end_read();
    r.begin_read("read 2 (NUCOFF)");
    r.read(spare, "spare word of read 2");
    list(d.nucoff, n + 1, "NUCOFF");
    r.end_read();
    r.begin_read("read 3 (M, MEMOFF)");
    r.read(m, "M");
    if (m >= 1) r.read(spare, "spare word of read 3");
    list(d.memoff, m - 1, "MEMOFF");
    r.end_read();
    r.begin_read("read 4 (K, MEMBER)");
    r.read(k, "K");
    list(d.member, k, "MEMBER");
    r.end_read();
    r.begin_read("read 5 (ICONN)");
    list(d.iconn, m - 2, "ICONN");
    r.end_read();
    r.begin_read("read 6 (S, INDCODE)");
    r.read(s, "S");
    std::vector<int> ignored;
    list(ignored, s, "INDCODE");
    r.end_read();
    r.begin_read("read 7 (IPROB)");
    list(ignored, s, "IPROB");
    r.end_read();
    if (n < 1 || m < 2) {
      error = file_name + ": no families (N = " + std::to_string(n) + ", M = " + std::to_string(m) + ")";
      return false;
    }
    if (nfam != n) {
      error = file_name + ": NFAM = " + std::to_string(nfam) + " differs from N = " + std::to_string(n) +
              " (families beyond NFAM are not evaluated)";
      return false;
    }
    if (s != d.nind()) {
      error = file_name + ": S = " + std::to_string(s) + " differs from the number of individuals FAMOFF(N+1) = " +
              std::to_string(d.nind());
      return false;
    }
  } catch (const RunStop& stop) {
    error = stop.detail().empty() ? stop.console() : stop.detail();
    return false;
  }
  return true;
}

}  // namespace mglink::prep
