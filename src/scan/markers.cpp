#include "scan/markers.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace mglink::scan {

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The rank of a chromosome label: 1..22 and X, Y, XY, MT as 23..26 first.
long chromosome_rank(const std::string& chr, std::map<std::string, long>& others) {
  const std::string u = upper(chr);
  if (u == "X") return 23;
  if (u == "Y") return 24;
  if (u == "XY") return 25;
  if (u == "MT" || u == "M") return 26;
  if (!u.empty() && u.size() <= 3 && std::all_of(u.begin(), u.end(), ::isdigit)) return std::stol(u);
  const auto it = others.try_emplace(chr, 1000 + static_cast<long>(others.size())).first;
  return it->second;
}

}  // namespace

bool non_autosomal(const std::string& chr) {
  const std::string u = upper(chr);
  return u == "X" || u == "Y" || u == "XY" || u == "MT" || u == "M" || u == "23" || u == "24" ||
         u == "25" || u == "26";
}

std::vector<PlannedMarker> plan_markers(const Study& study, const Selection& sel,
                                        std::vector<InputProblem>& problems) {
  std::vector<PlannedMarker> all;
  std::vector<PlannedMarker> unmapped;
  std::map<std::string, long> others;
  struct Key {
    long rank;
    double position;
    long line;
  };
  std::vector<Key> keys;
  for (std::size_t k = 0; k < study.markers.size(); ++k) {
    PlannedMarker pm;
    pm.index = k;
    if (!study.map.empty()) {
      if (!study.map[k]) {
        pm.skip = true;
        pm.reason = "the map file gives no position for the marker";
        unmapped.push_back(pm);
        continue;
      }
      const MapEntry& e = *study.map[k];
      pm.chr = e.chr;
      pm.pos = e.position_text;
      pm.position = e.position;
      if (non_autosomal(e.chr)) {
        pm.skip = true;
        pm.reason = "the map puts the marker on chromosome " + e.chr + "; the model is autosomal";
      } else if (study.map_in_bp && e.position < 0) {
        pm.skip = true;
        pm.reason = "the map excludes the marker (negative base-pair position)";
      }
      keys.push_back(Key{chromosome_rank(e.chr, others), e.position, e.line});
    } else {
      keys.push_back(Key{0, 0.0, static_cast<long>(k)});
    }
    all.push_back(pm);
  }
  std::vector<std::size_t> order(all.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const Key &x = keys[a], &y = keys[b];
    if (x.rank != y.rank) return x.rank < y.rank;
    if (x.position != y.position) return x.position < y.position;
    return x.line < y.line;
  });
  std::vector<PlannedMarker> planned;
  for (std::size_t i : order) planned.push_back(all[i]);
  planned.insert(planned.end(), unmapped.begin(), unmapped.end());

  // The selection.
  auto name = [&](const PlannedMarker& pm) -> const std::string& { return study.markers[pm.index].name; };
  auto find = [&](const std::string& n) {
    return std::find_if(planned.begin(), planned.end(), [&](const PlannedMarker& pm) { return name(pm) == n; });
  };
  for (const std::string& n : sel.names)
    if (find(n) == planned.end())
      problems.push_back(InputProblem{"--markers", 0, "", "", "the study has no marker " + n});
  for (const std::string* n : {&sel.first, &sel.last})
    if (!n->empty() && find(*n) == planned.end())
      problems.push_back(InputProblem{"--range", 0, "", "", "the study has no marker " + *n});
  if (!problems.empty()) return {};
  if (!sel.first.empty() || !sel.last.empty()) {
    auto b = sel.first.empty() ? planned.begin() : find(sel.first);
    auto e = sel.last.empty() ? planned.end() - 1 : find(sel.last);
    if (e < b) {
      problems.push_back(InputProblem{"--range", 0, "", "",
                                      "marker " + sel.last + " comes before marker " + sel.first +
                                          " in the scan order"});
      return {};
    }
    planned = std::vector<PlannedMarker>(b, e + 1);
  }
  if (!sel.names.empty()) {
    const std::set<std::string> wanted(sel.names.begin(), sel.names.end());
    std::erase_if(planned, [&](const PlannedMarker& pm) { return wanted.count(name(pm)) == 0; });
  }
  if (!sel.chromosomes.empty()) {
    const std::set<std::string> wanted(sel.chromosomes.begin(), sel.chromosomes.end());
    std::erase_if(planned, [&](const PlannedMarker& pm) { return wanted.count(pm.chr) == 0; });
    if (planned.empty())
      problems.push_back(InputProblem{"--chr", 0, "", "", "no marker of the study lies on the chromosomes chosen"});
  }
  return planned;
}

Slice chunk_slice(std::size_t count, int k, int n) {
  const auto at = [&](int j) { return count * static_cast<std::size_t>(j) / static_cast<std::size_t>(n); };
  return Slice{at(k - 1), at(k)};
}

}  // namespace mglink::scan
