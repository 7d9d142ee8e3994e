// mglink-sim: writes a simulated family study as a run directory for mglink.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "scan_study.hpp"
#include "sim.hpp"

#ifndef MGLINK_VERSION
#define MGLINK_VERSION "unknown"
#endif

namespace {

using mglink::sim::Settings;
using mglink::sim::Shape;

const char* const kUsage =
    "usage: mglink-sim [options] --out DIR\n"
    "Writes a simulated family study into DIR: IWAY.DAT, trait.dat, marker.dat,\n"
    "task.inp, maxpar.inp, par.inp and the pedigree table pedigree.pre.\n"
    "  --preset NAME    typed | deep | capacity | study (the other options override it)\n"
    "  --seed N         seed of the random numbers (default 1)\n"
    "  --families N     number of families\n"
    "  --shape NAME     nuclear | three-gen | spouses | deep | large | mix\n"
    "  --typed F        fraction of members typed at the marker (grandparents never are)\n"
    "  --missing F      fraction of trait values missing\n"
    "  --theta F        recombination fraction between major gene and marker (0 .. 0.5)\n"
    "  --out DIR        directory to write (created if missing; its files are replaced)\n"
    "  --scan-study     write a study of many markers for mglink-scan instead, with\n"
    "                   looped pedigrees if asked (--loops; see mglink-sim --scan-study --help)\n"
    "  --help           show this text\n"
    "  --version        show the version\n";

[[noreturn]] void fail(const std::string& msg) {
  std::fprintf(stderr, "mglink-sim: %s\n", msg.c_str());
  std::exit(2);
}

double parse_fraction(const std::string& opt, const char* text, double hi) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !(v >= 0.0 && v <= hi))
    fail(opt + " needs a number from 0 to " + (hi == 1.0 ? "1" : "0.5") + ", not \"" + text + "\"");
  return v;
}

unsigned long long parse_count(const std::string& opt, const char* text, unsigned long long lo,
                               unsigned long long hi) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || text[0] == '-' || v < lo || v > hi)
    fail(opt + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
         ", not \"" + text + "\"");
  return v;
}

Shape parse_shape(const char* text) {
  const std::string_view s(text);
  if (s == "nuclear") return Shape::nuclear;
  if (s == "three-gen") return Shape::three_gen;
  if (s == "spouses") return Shape::spouses;
  if (s == "deep") return Shape::deep;
  if (s == "large") return Shape::large;
  if (s == "mix") return Shape::mix;
  fail(std::string("unknown shape \"") + text + "\" (nuclear, three-gen, spouses, deep, large or mix)");
}

// The data sets of the benchmarks and the example study.
Settings preset(const std::string& name) {
  Settings s;
  if (name == "typed") {  // many small typed families
    s.families = 600;
    s.shape = Shape::nuclear;
    s.typed = 0.9;
    s.missing = 0.05;
  } else if (name == "deep") {  // untyped grandparents and several spouses
    s.families = 200;
    s.shape = Shape::deep;
    s.typed = 0.65;
    s.missing = 0.1;
  } else if (name == "capacity") {  // near the limits: 604 families, ~24,000 members, ~92,000 slots
    s.families = 604;
    s.shape = Shape::large;
    s.typed = 1.0;
    s.missing = 0.05;
    s.untyped_grandparents = false;
    s.slot_target = 91800;
  } else if (name == "study") {  // the example study: mixed shapes, clear linkage
    s.families = 40;
    s.shape = Shape::mix;
    s.typed = 0.85;
    s.missing = 0.1;
    s.model.theta = 0.05;
  } else {
    fail("unknown preset \"" + name + "\" (typed, deep, capacity or study)");
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args)
    if (a == "--scan-study") return mglink::sim::run_scan_study(args);
  Settings s;
  // A preset first, whatever its place: the other options change it.
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--preset") s = preset(args[i + 1]);
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt == "--help" || opt == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (opt == "--version") {
      std::printf("mglink-sim %s\n", MGLINK_VERSION);
      return 0;
    }
    if (i + 1 >= args.size()) fail(opt.rfind("--", 0) == 0 ? opt + " needs a value" : "unknown argument \"" + opt + "\"\n" + kUsage);
    const char* v = args[++i].c_str();
    if (opt == "--preset") continue;
    if (opt == "--seed") s.seed = parse_count(opt, v, 0, ~0ULL);
    else if (opt == "--families") s.families = static_cast<int>(parse_count(opt, v, 1, 100000));
    else if (opt == "--shape") s.shape = parse_shape(v);
    else if (opt == "--typed") s.typed = parse_fraction(opt, v, 1.0);
    else if (opt == "--missing") s.missing = parse_fraction(opt, v, 1.0);
    else if (opt == "--theta") s.model.theta = parse_fraction(opt, v, 0.5);
    else if (opt == "--out") out = v;
    else fail("unknown option \"" + opt + "\"\n" + kUsage);
  }
  if (out.empty()) fail(std::string("--out DIR is required\n") + kUsage);

  const auto fams = mglink::sim::simulate(s);
  long nind = 0, nnuc = 0, typed = 0, known = 0, slots = 0;
  bool exact = true;
  for (std::size_t f = 0; f < fams.size(); ++f) {
    const std::string err = mglink::sim::check_layout(fams[f]);
    if (!err.empty()) fail("internal error: family " + std::to_string(f + 1) + ": " + err);
    nind += static_cast<long>(fams[f].people.size());
    nnuc += static_cast<long>(fams[f].nucs.size());
    slots += mglink::sim::family_slots(fams[f]);
    for (std::size_t i = 0; i < fams[f].people.size(); ++i) {
      const auto& p = fams[f].people[i];
      typed += p.typed ? 1 : 0;
      known += p.trait_known ? 1 : 0;
      // An untyped parent may lose genotypes in the enumeration.
      if (!p.typed && mglink::sim::is_parent(fams[f], static_cast<int>(i + 1))) exact = false;
    }
  }
  const std::string err = mglink::sim::write_run(fams, s, out);
  if (!err.empty()) fail(err);
  std::printf("%s: %zu families, %ld individuals, %ld nuclear families, %ld typed, %ld traits known\n",
              out.c_str(), fams.size(), nind, nnuc, typed, known);
  std::printf("genotype slots after enumeration: %s %ld\n", exact ? "exactly" : "at most", slots);
  return 0;
}
