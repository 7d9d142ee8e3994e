// The multi-marker study of mglink-sim --scan-study.
#include "scan_study.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim.hpp"

namespace mglink::sim {
namespace {

const char* const kScanUsage =
    "usage: mglink-sim --scan-study [options] --out DIR\n"
    "Writes a study of many markers into DIR: study.ped, study.dat, study.map, study.freq\n"
    "(LINKAGE/QTDT) and plink.ped, plink.map (PLINK), for mglink-scan.\n"
    "  --seed N               seed of the random numbers (default 1)\n"
    "  --families N           number of families (default 60; mixed shapes; at most 100000)\n"
    "  --nuclear N            every family two parents and N children (default: mixed shapes)\n"
    "  --markers-per-chr N    markers on each of chromosomes 1 and 2, 10 cM apart (default 12)\n"
    "  --typed F              fraction of members typed (default 0.85; grandparents never are)\n"
    "  --missing F            fraction of trait values missing (default 0.1)\n"
    "  --errors N             genotyping errors put in (a child given an allele its typed\n"
    "                         parents lack; default 0)\n"
    "  --loops KIND[,KIND...] give some families a loop, the kinds in turn: first-cousins\n"
    "                         (a child of each of two sibs marry), double-first-cousins\n"
    "                         (two brothers marry two sisters; a child of each couple mate),\n"
    "                         multiple-marriages (a man has children by two sisters)\n"
    "  --loop-families N      how many families get a loop, spread evenly through the study\n"
    "                         (default a quarter of them, rounded up, at least one of each\n"
    "                         kind, at most all)\n"
    "  --out DIR              directory to write (created if missing; its files are replaced)\n"
    "  --help                 show this text\n";

[[noreturn]] void fail(const std::string& msg) {
  std::fprintf(stderr, "mglink-sim: %s\n", msg.c_str());
  std::exit(2);
}

// exp(-x) for 0 <= x <= 4 in basic arithmetic only (the same bits on every
// machine): a series for exp(-x/64), then six squarings.
double portable_exp_neg(double x) {
  const double y = x / 64.0;
  double term = 1.0, sum = 1.0;
  for (int k = 1; k <= 12; ++k) {
    term = term * (-y) / static_cast<double>(k);
    sum = sum + term;
  }
  for (int k = 0; k < 6; ++k) sum = sum * sum;
  return sum;
}

// Recombination fraction of d cM (Haldane).
double haldane(double cm) { return 0.5 * (1.0 - portable_exp_neg(2.0 * cm / 100.0)); }

struct Locus {
  std::string name;      // empty for the major gene
  std::string chr;
  double cm = 0;
  int alleles = 2;       // marker alleles (the major gene: 2)
  std::vector<double> freq;
  std::vector<std::string> labels;
  bool slash = false;    // written as one a/b column
};

struct Chromosome {
  std::vector<Locus> loci;     // in map order
  std::vector<double> theta;   // between locus i and i+1
};

std::vector<std::string> labels_for(int k) {
  std::vector<std::string> l;
  for (int a = 0; a < k; ++a) {
    if (k == 2) l.push_back(a == 0 ? "A" : "G");
    else if (k == 4) l.push_back(std::to_string(112 + 4 * a));
    else if (k == 5) l.push_back(std::to_string(a + 1));
    else l.push_back(std::to_string(201 + 2 * a));
  }
  return l;
}

Locus marker(const std::string& name, const std::string& chr, double cm, int k) {
  Locus m;
  m.name = name;
  m.chr = chr;
  m.cm = cm;
  m.alleles = k;
  double total = 0;
  for (int a = 0; a < k; ++a) total += k - a;
  for (int a = 0; a < k; ++a) m.freq.push_back((k - a) / total);
  m.labels = labels_for(k);
  m.slash = k == 8;
  return m;
}

std::vector<Chromosome> panel(int per_chr) {
  const int counts[4] = {2, 4, 5, 8};
  std::vector<Chromosome> chrs(3);
  int n = 0;
  for (int c = 1; c <= 2; ++c)
    for (int i = 0; i < per_chr; ++i, ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "D%dS%02d", c, i + 1);
      chrs[static_cast<std::size_t>(c - 1)].loci.push_back(marker(name, std::to_string(c), 10.0 * i, counts[n % 4]));
    }
  chrs[2].loci.push_back(marker("DXS01", "X", 30.0, 4));
  // The major gene on chromosome 1 at 52 cM.
  Locus major;
  major.chr = "1";
  major.cm = 52.0;
  major.freq = {0.4, 0.6};
  auto& l1 = chrs[0].loci;
  l1.insert(std::upper_bound(l1.begin(), l1.end(), major.cm, [](double cm, const Locus& x) { return cm < x.cm; }), major);
  for (Chromosome& c : chrs)
    for (std::size_t i = 0; i + 1 < c.loci.size(); ++i) c.theta.push_back(haldane(c.loci[i + 1].cm - c.loci[i].cm));
  return chrs;
}

// One person's two haplotypes on each chromosome (allele indices from 0).
struct Genome {
  std::vector<std::vector<int>> hap[2];  // [from father, from mother][chromosome][locus]
};

int draw(const std::vector<double>& f, Rng& rng) {
  const double u = rng.uniform();
  double cum = 0;
  for (std::size_t a = 0; a + 1 < f.size(); ++a) {
    cum = cum + f[a];
    if (u < cum) return static_cast<int>(a);
  }
  return static_cast<int>(f.size()) - 1;
}

std::vector<int> transmit(const Genome& parent, const Chromosome& c, std::size_t ci, Rng& rng) {
  std::vector<int> h(c.loci.size());
  int k = rng.below(2);
  for (std::size_t i = 0; i < c.loci.size(); ++i) {
    if (i > 0 && rng.chance(c.theta[i - 1])) k = 1 - k;
    h[i] = parent.hap[k][ci][i];
  }
  return h;
}

struct ScanSettings {
  std::uint64_t seed = 1;
  int families = 60;
  int per_chr = 12;
  double typed = 0.85;
  double missing = 0.1;
  int errors = 0;
  std::vector<Loop> loops;  // kinds of loop, in turn; none: no looped family
  int loop_families = -1;   // -1: the default share
  int nuclear = 0;          // > 0: every family two parents and this many children
  std::string out;
};

// Two parents and `children` children (sexes drawn), genes not yet dropped.
Family fixed_nuclear(int children, Rng& rng) {
  Family f;
  Person father, mother;
  father.sex = 1;
  mother.sex = 2;
  f.people.push_back(father);
  f.people.push_back(mother);
  for (int k = 0; k < children; ++k) {
    Person c;
    c.father = 1;
    c.mother = 2;
    c.sex = 1 + rng.below(2);
    f.people.push_back(c);
  }
  return f;
}

// The kinds of --loops, a comma-separated list of distinct names.
std::vector<Loop> loop_kinds(const std::string& v) {
  std::vector<Loop> kinds;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = v.find(',', at);
    const std::string name = v.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    Loop k;
    if (name == "first-cousins") k = Loop::first_cousins;
    else if (name == "double-first-cousins") k = Loop::double_first_cousins;
    else if (name == "multiple-marriages") k = Loop::multiple_marriages;
    else
      fail("unknown kind of loop \"" + name + "\" in --loops (first-cousins, double-first-cousins or " +
           "multiple-marriages)");
    if (std::find(kinds.begin(), kinds.end(), k) != kinds.end()) fail("--loops names \"" + name + "\" twice");
    kinds.push_back(k);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return kinds;
}

double fraction(const std::string& opt, const std::string& v) {
  char* end = nullptr;
  errno = 0;
  const double x = std::strtod(v.c_str(), &end);
  if (end == v.c_str() || *end != '\0' || errno != 0 || !(x >= 0 && x <= 1))
    fail(opt + " needs a number from 0 to 1, not \"" + v + "\"");
  return x;
}

long count(const std::string& opt, const std::string& v, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  const long x = std::strtol(v.c_str(), &end, 10);
  if (end == v.c_str() || *end != '\0' || errno != 0 || x < lo || x > hi)
    fail(opt + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not \"" + v + "\"");
  return x;
}

void put(const std::filesystem::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  if (f) f << text;
  if (f) f.close();
  if (!f) fail(p.string() + ": cannot write the file: " + std::strerror(errno));
}

std::string trait_text(long hundredths) {
  const long a = hundredths < 0 ? -hundredths : hundredths;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%ld.%02ld", hundredths < 0 ? "-" : "", a / 100, a % 100);
  return buf;
}

}  // namespace

int run_scan_study(const std::vector<std::string>& args) {
  ScanSettings s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt == "--scan-study") continue;
    if (opt == "--help" || opt == "-h") {
      std::fputs(kScanUsage, stdout);
      return 0;
    }
    if (i + 1 >= args.size()) fail(opt + " needs a value\n" + kScanUsage);
    const std::string v = args[++i];
    if (opt == "--seed") s.seed = static_cast<std::uint64_t>(count(opt, v, 0, 2147483647));
    else if (opt == "--families") s.families = static_cast<int>(count(opt, v, 1, 100000));
    else if (opt == "--nuclear") s.nuclear = static_cast<int>(count(opt, v, 1, 20));
    else if (opt == "--markers-per-chr") s.per_chr = static_cast<int>(count(opt, v, 1, 500));
    else if (opt == "--typed") s.typed = fraction(opt, v);
    else if (opt == "--missing") s.missing = fraction(opt, v);
    else if (opt == "--errors") s.errors = static_cast<int>(count(opt, v, 0, 1000));
    else if (opt == "--loops") s.loops = loop_kinds(v);
    else if (opt == "--loop-families") s.loop_families = static_cast<int>(count(opt, v, 1, 100000));
    else if (opt == "--out") s.out = v;
    else fail("unknown option \"" + opt + "\" of --scan-study\n" + kScanUsage);
  }
  if (s.out.empty()) fail(std::string("--out DIR is required\n") + kScanUsage);
  if (s.loop_families > 0 && s.loops.empty()) fail("--loop-families needs --loops");
  if (s.loop_families > s.families)
    fail("--loop-families " + std::to_string(s.loop_families) + " is more than the " + std::to_string(s.families) +
         " families");
  // Looped families: a quarter by default, at least one of each kind.
  int looped = 0;
  if (!s.loops.empty())
    looped = s.loop_families > 0 ? s.loop_families
                                 : std::min(s.families, std::max(static_cast<int>(s.loops.size()), (s.families + 3) / 4));

  const std::vector<Chromosome> chrs = panel(s.per_chr);
  Rng rng(s.seed);
  std::vector<Family> fams;
  std::vector<std::vector<Genome>> genomes;
  for (int f = 0, j = 0; f < s.families; ++f) {
    // Looped family j (from 0) is family j * families / looped (from 0), of
    // the j-th kind in turn; the others are drawn as without loops.
    const bool loop = j < looped && f == static_cast<int>(static_cast<long>(j) * s.families / looped);
    Family fam = loop           ? build_looped_family(s.loops[static_cast<std::size_t>(j) % s.loops.size()], rng)
                 : s.nuclear > 0 ? fixed_nuclear(s.nuclear, rng)
                                 : build_family(Shape::mix, rng);
    if (loop) ++j;
    std::vector<Genome> g(fam.people.size());
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      const Person& p = fam.people[i];
      for (std::size_t c = 0; c < chrs.size(); ++c)
        for (int side = 0; side < 2; ++side) {
          if (p.father == 0) {
            std::vector<int> h;
            for (const Locus& l : chrs[c].loci) h.push_back(draw(l.freq, rng));
            g[i].hap[side].push_back(h);
          } else {
            const Genome& parent = g[static_cast<std::size_t>((side == 0 ? p.father : p.mother) - 1)];
            g[i].hap[side].push_back(transmit(parent, chrs[c], c, rng));
          }
        }
    }
    // Observations: typed members, trait values from the major genotype.
    const double means[3] = {85, 100, 115};
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      Person& p = fam.people[i];
      p.typed = !p.grandparent && rng.chance(s.typed);
      p.trait_known = !rng.chance(s.missing);
      std::size_t mi = 0;
      while (!chrs[0].loci[mi].name.empty()) ++mi;
      const int geno = g[i].hap[0][0][mi] + g[i].hap[1][0][mi];  // 0: 1/1, 1: 1/2, 2: 2/2
      const double y = means[geno] + 5.0 * rng.normal();
      p.trait_hundredths = std::lround(y * 100.0);
    }
    fams.push_back(std::move(fam));
    genomes.push_back(std::move(g));
  }

  // The markers in map order, as (chromosome, locus) pairs.
  std::vector<std::pair<std::size_t, std::size_t>> markers;
  for (std::size_t c = 0; c < chrs.size(); ++c)
    for (std::size_t i = 0; i < chrs[c].loci.size(); ++i)
      if (!chrs[c].loci[i].name.empty()) markers.emplace_back(c, i);

  // Genotyping errors: a typed child of typed parents given an allele that
  // neither parent carries at a marker of four or more alleles.
  struct Error {
    std::size_t fam, person, marker;
    int allele;
  };
  std::vector<Error> errors;
  for (int e = 0, tries = 0; e < s.errors && tries < 100000; ++tries) {
    const std::size_t f = static_cast<std::size_t>(rng.below(s.families));
    const std::size_t i = static_cast<std::size_t>(rng.below(static_cast<int>(fams[f].people.size())));
    const std::size_t m = static_cast<std::size_t>(rng.below(static_cast<int>(markers.size())));
    const Person& p = fams[f].people[i];
    const Locus& l = chrs[markers[m].first].loci[markers[m].second];
    if (p.father == 0 || !p.typed || l.alleles < 4) continue;
    const Person& fa = fams[f].member(p.father);
    const Person& mo = fams[f].member(p.mother);
    if (!fa.typed || !mo.typed) continue;
    std::vector<int> carried;
    for (const Genome* g : {&genomes[f][static_cast<std::size_t>(p.father - 1)], &genomes[f][static_cast<std::size_t>(p.mother - 1)]})
      for (int side = 0; side < 2; ++side) carried.push_back(g->hap[side][markers[m].first][markers[m].second]);
    std::vector<int> absent;
    for (int a = 0; a < l.alleles; ++a)
      if (std::find(carried.begin(), carried.end(), a) == carried.end()) absent.push_back(a);
    if (absent.empty()) continue;
    errors.push_back(Error{f, i, m, absent[static_cast<std::size_t>(rng.below(static_cast<int>(absent.size())))]});
    ++e;
  }

  // LINKAGE/QTDT files.
  std::string dat = "T Q1\nC age\n";
  for (const auto& [c, i] : markers) dat += "M " + chrs[c].loci[i].name + "\n";
  dat += "E\n";
  std::string map = "CHROMOSOME MARKER POSITION\n", pmap;
  for (const auto& [c, i] : markers) {
    const Locus& l = chrs[c].loci[i];
    char pos[32];
    std::snprintf(pos, sizeof pos, "%.1f", l.cm);
    map += l.chr + "\t" + l.name + "\t" + pos + "\n";
    pmap += (l.chr == "X" ? "23" : l.chr) + " " + l.name + " " + pos + " " +
            std::to_string(1000000 + static_cast<long>(l.cm * 1000000)) + "\n";
  }
  std::string freq;
  for (const auto& [c, i] : markers) {
    const Locus& l = chrs[c].loci[i];
    freq += "M " + l.name + "\n";
    for (int a = 0; a < l.alleles; ++a) {
      char f[32];
      std::snprintf(f, sizeof f, "%.4f", l.freq[static_cast<std::size_t>(a)]);
      freq += "A " + l.labels[static_cast<std::size_t>(a)] + " " + f + "\n";
    }
  }
  std::string ped, pped;
  for (std::size_t f = 0; f < fams.size(); ++f) {
    const Family& fam = fams[f];
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      const Person& p = fam.people[i];
      const std::string fid = "F" + std::to_string(f + 1);
      auto id = [&](int m) { return m == 0 ? std::string("0") : std::to_string(m); };
      const std::string lead = fid + " " + id(static_cast<int>(i + 1)) + " " + id(p.father) + " " + id(p.mother) + " " +
                               std::to_string(p.sex);
      const std::string trait = p.trait_known ? trait_text(p.trait_hundredths) : "x";
      ped += lead + " " + trait + " " + std::to_string(20 + rng.below(50));
      pped += lead + " " + (p.trait_known ? trait : "-9");
      for (std::size_t m = 0; m < markers.size(); ++m) {
        const Locus& l = chrs[markers[m].first].loci[markers[m].second];
        int a = genomes[f][i].hap[0][markers[m].first][markers[m].second];
        int b = genomes[f][i].hap[1][markers[m].first][markers[m].second];
        for (const Error& e : errors)
          if (e.fam == f && e.person == i && e.marker == m) b = e.allele;
        // A few genotypes fail: 3% of a typed member's markers are missing.
        const bool typed = p.typed && !rng.chance(0.03);
        const std::string x = typed ? l.labels[static_cast<std::size_t>(std::min(a, b))] : "0";
        const std::string y = typed ? l.labels[static_cast<std::size_t>(std::max(a, b))] : "0";
        ped += l.slash ? "  " + x + "/" + y : "  " + x + " " + y;
        pped += "  " + x + " " + y;
      }
      ped += "\n";
      pped += "\n";
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(s.out, ec);
  if (ec) fail(s.out + ": cannot create the directory: " + ec.message());
  const std::filesystem::path d(s.out);
  put(d / "study.ped", ped);
  put(d / "study.dat", dat);
  put(d / "study.map", map);
  put(d / "study.freq", freq);
  put(d / "plink.ped", pped);
  put(d / "plink.map", pmap);
  long people = 0;
  for (const Family& f : fams) people += static_cast<long>(f.people.size());
  if (looped > 0)
    std::printf("%s: %zu families (%d with a loop), %ld individuals, %zu markers (%zu genotyping errors)\n",
                s.out.c_str(), fams.size(), looped, people, markers.size(), errors.size());
  else
    std::printf("%s: %zu families, %ld individuals, %zu markers (%zu genotyping errors)\n", s.out.c_str(),
                fams.size(), people, markers.size(), errors.size());
  return 0;
}

}  // namespace mglink::sim
