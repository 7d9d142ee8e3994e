#include "scan/recode.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace mglink::scan {

bool label_before(const std::string& a, const std::string& b, bool numeric) {
  if (numeric) {
    double x = 0, y = 0;
    parse_number(a, x);
    parse_number(b, y);
    if (x != y) return x < y;
  }
  return a < b;
}

namespace {

// Index of label in the given frequencies, or -1.
int given_index(const GivenFrequencies& g, const std::string& label) {
  const auto it = std::find(g.labels.begin(), g.labels.end(), label);
  return it == g.labels.end() ? -1 : static_cast<int>(it - g.labels.begin());
}

}  // namespace

AlleleCounts count_alleles(const MarkerData& m, const std::vector<Individual>& people,
                           const std::vector<std::size_t>& included) {
  AlleleCounts c;
  const std::size_t nl = m.labels.size();
  c.all.assign(nl, 0.0);
  c.founder.assign(nl, 0.0);
  for (std::size_t i : included) {
    if (m.a1[i] == 0) continue;
    ++c.typed;
    for (std::uint16_t a : {m.a1[i], m.a2[i]}) {
      c.all[a - 1u] += 1;
      if (people[i].founder()) {
        c.founder[a - 1u] += 1;
        ++c.founder_alleles;
      }
    }
  }
  // Labels that occur in the data (a label is interned only when typed).
  for (std::size_t k = 0; k < nl; ++k)
    if (c.all[k] > 0) c.observed.push_back(k);
  c.numeric = std::all_of(m.labels.begin(), m.labels.end(), [](const std::string& s) {
    double v = 0;
    return parse_number(s, v);
  });
  std::sort(c.observed.begin(), c.observed.end(), [&](std::size_t a, std::size_t b) {
    return label_before(m.labels[a], m.labels[b], c.numeric);
  });
  return c;
}

RecodedMarker recode(const MarkerData& m, const std::vector<Individual>& people,
                     const std::vector<std::size_t>& included, FreqSource source,
                     const GivenFrequencies* given) {
  RecodedMarker r;
  const std::size_t nl = m.labels.size();
  const AlleleCounts counts = count_alleles(m, people, included);
  const std::vector<double>& founder_count = counts.founder;
  const std::vector<double>& all_count = counts.all;
  const std::vector<std::size_t>& observed = counts.observed;
  r.typed = counts.typed;
  r.founder_alleles = counts.founder_alleles;
  r.alleles = static_cast<int>(observed.size());
  auto by_label = [&](std::size_t a, std::size_t b) {
    return label_before(m.labels[a], m.labels[b], counts.numeric);
  };

  // The weight of each label on which the ranking rests.
  std::vector<double> rank_weight(nl, 0.0);
  if (source == FreqSource::given && given != nullptr) {
    for (std::size_t k = 0; k < nl; ++k) {
      const int g = given_index(*given, m.labels[k]);
      rank_weight[k] = g < 0 ? 0.0 : given->freq[static_cast<std::size_t>(g)];
    }
  } else if (source == FreqSource::founders && r.founder_alleles > 0) {
    rank_weight = founder_count;
  } else {
    rank_weight = all_count;
  }

  r.code.assign(nl, 0);
  if (observed.size() <= 5) {
    for (std::size_t j = 0; j < observed.size(); ++j) r.code[observed[j]] = static_cast<int>(j + 1);
  } else {
    std::vector<std::size_t> ranked = observed;
    std::stable_sort(ranked.begin(), ranked.end(), [&](std::size_t a, std::size_t b) {
      return rank_weight[a] > rank_weight[b];
    });
    std::vector<std::size_t> kept(ranked.begin(), ranked.begin() + 4);
    std::sort(kept.begin(), kept.end(), by_label);
    for (std::size_t j = 0; j < 4; ++j) r.code[kept[j]] = static_cast<int>(j + 1);
    for (std::size_t k : observed)
      if (r.code[k] == 0) {
        r.code[k] = 5;
        ++r.lumped;
        r.lumped_labels += (r.lumped_labels.empty() ? "" : " ") + m.labels[k];
      }
  }

  r.allele1.resize(people.size());
  r.allele2.resize(people.size());
  for (std::size_t i : included) {
    if (m.a1[i] == 0) continue;
    const int x = r.code[m.a1[i] - 1u], y = r.code[m.a2[i] - 1u];
    r.allele1[i] = static_cast<std::uint8_t>(std::min(x, y));
    r.allele2[i] = static_cast<std::uint8_t>(std::max(x, y));
  }

  if (source == FreqSource::all) {
    for (std::size_t k : observed) r.weight[static_cast<std::size_t>(r.code[k] - 1)] += all_count[k];
  } else if (source == FreqSource::given && given != nullptr) {
    // Observed alleles keep their given frequencies; alleles of the file
    // nobody carries join allele 5 when it is a lumped class, or take the
    // first unused allele when the marker has fewer than five.
    double unseen = 0;
    for (std::size_t g = 0; g < given->labels.size(); ++g) {
      const auto it = std::find(m.labels.begin(), m.labels.end(), given->labels[g]);
      const std::size_t k = static_cast<std::size_t>(it - m.labels.begin());
      if (it != m.labels.end() && all_count[k] > 0)
        r.weight[static_cast<std::size_t>(r.code[k] - 1)] += given->freq[g];
      else
        unseen += given->freq[g];
    }
    if (observed.size() > 5) r.weight[4] += unseen;
    else if (observed.size() < 5) r.weight[observed.size()] += unseen;
  }
  return r;
}

void check_given_frequencies(const Study& study, const std::vector<std::size_t>& markers,
                             const std::vector<GivenFrequencies>& given, const std::string& file,
                             std::vector<InputProblem>& problems) {
  for (std::size_t k : markers) {
    const MarkerData& m = study.markers[k];
    const auto it = std::find_if(given.begin(), given.end(),
                                 [&](const GivenFrequencies& g) { return g.marker == m.name; });
    if (it == given.end()) {
      problems.push_back(InputProblem{file, 0, "", "", "the file gives no frequencies for marker " + m.name});
      continue;
    }
    for (const std::string& label : m.labels) {
      const int g = given_index(*it, label);
      if (g < 0)
        problems.push_back(InputProblem{file, it->line, "", "",
                                        "marker " + m.name + ": allele " + label +
                                            " is typed but has no frequency in the file"});
      else if (!(it->freq[static_cast<std::size_t>(g)] > 0))
        problems.push_back(InputProblem{file, it->line, "", "",
                                        "marker " + m.name + ": allele " + label +
                                            " is typed but has frequency 0 in the file"});
    }
  }
}


}  // namespace mglink::scan
