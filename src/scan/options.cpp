#include "scan/options.hpp"

#include <cmath>

#include "prep/arguments.hpp"

namespace mglink::scan {

#ifndef MGLINK_VERSION
#define MGLINK_VERSION "unknown"
#endif

const char* const VERSION = "mglink-scan " MGLINK_VERSION;

const char* const USAGE =
    "usage: mglink-scan --ped PEDFILE --dat DATFILE [--map MAPFILE] --trait NAME [options] OUTDIR\n"
    "       mglink-scan --plink PREFIX [--pheno FILE] [--trait NAME] [options] OUTDIR\n"
    "       mglink-scan --merge SLICE.tsv [SLICE.tsv ...] OUTDIR\n"
    "       mglink-scan --plot-only TSV [SVGFILE]\n"
    "Scans every marker of a study for linkage with a major gene of the trait, exactly and\n"
    "with all of its alleles (five or fewer: mglink's own run; more: the K-allele\n"
    "likelihood), and writes OUTDIR/scan.tsv (one line per marker) and OUTDIR/scan.svg.\n"
    "input:\n"
    "  --ped FILE --dat FILE     LINKAGE/QTDT pedigree file and its data file (T, M, A, C,\n"
    "                            Z, S, S<n>, E items; markers as two columns or one a/b)\n"
    "  --map FILE                map: CHR MARKER POSITION (cM) lines, MERLIN's header allowed,\n"
    "                            or PLINK's CHR MARKER CM BP\n"
    "  --plink PREFIX            PLINK PREFIX.ped and PREFIX.map (phenotype in column 6)\n"
    "  --pheno FILE              PLINK phenotype file (FID IID values; header FID IID names)\n"
    "  --trait NAME              the quantitative trait (data file T item, phenotype name or number)\n"
    "  --missing CODE            a further missing trait code (always: x X NA -; PLINK -9)\n"
    "  --ped-header              the pedigree file's first line is a header\n"
    "  --comment C               pedigree lines starting with C are comments\n"
    "  --add-missing-parents     add absent parents and unknown co-parents as untyped founders\n"
    "  --skip-loops              leave out families with a marriage or consanguinity loop\n"
    "                            (by default they are analysed exactly, on the general path)\n"
    "  --max-family-cost C       leave out, marker by marker, a family with loops whose\n"
    "                            likelihood costs more than C terms (default 2e8, about a\n"
    "                            second per likelihood)\n"
    "markers:\n"
    "  --markers A,B,...         only these markers\n"
    "  --range FIRST:LAST        the markers from FIRST to LAST in scan order\n"
    "  --chr C,...               only markers on these chromosomes\n"
    "  --freq founders|all       allele frequencies counted from typed founders (default, as\n"
    "                            mglink-prep) or from all typed individuals (also: typed)\n"
    "  --freq-file FILE          allele frequencies from a MERLIN-style .freq file\n"
    "  --mendel report|untype    a marker with a Mendelian inconsistency is reported as\n"
    "                            mendel-error (default), or its genotypes in the nuclear\n"
    "                            families concerned are set untyped and it is analysed\n"
    "  --lump                    for comparison: a marker of more than five alleles keeps\n"
    "                            its four most frequent alleles and lumps the rest into a\n"
    "                            fifth, run by mglink (default: every allele kept, the\n"
    "                            exact K-allele likelihood)\n"
    "starts:\n"
    "  --starts fitted|prep      from the trait model fitted once (default) or mglink-prep's\n"
    "  --theta-starts T1,T2,...  theta starts: the first, the others when pass 2 ends below\n"
    "                            pass 1 (default 0.25,0.05,0.45)\n"
    "running:\n"
    "  --threads N               markers analysed at once (default: the machine's hardware\n"
    "                            threads)\n"
    "  --chunk K/N               only the K-th of N equal slices of the marker list\n"
    "  --resume                  keep the markers already in OUTDIR/scan.tsv, run the rest\n"
    "  --force                   replace an existing OUTDIR/scan.tsv\n"
    "  --keep-runs DIR           keep each marker's chosen run directory in DIR/<marker>\n"
    "  --quiet                   no progress and no summary\n"
    "  --help, --version\n"
    "exit status: 0 complete (failed markers are lines with their status), 1 input problems,\n"
    "2 bad command line or an existing table, 3 an output cannot be written, 4 internal error\n";

namespace {

std::vector<std::string> split_list(const std::string& s) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= s.size()) {
    const std::size_t end = s.find(',', at);
    const std::string part = s.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!part.empty()) out.push_back(part);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

}  // namespace

std::string parse_options(const std::vector<std::string>& args, Options& opt) {
  std::vector<std::string> positional;
  for (prep::Arguments it(args); it.next();) {
    const std::string& a = it.name();
    std::string value;
    auto need = [&]() -> bool { return it.value(value); };
    auto text = [&](std::string& target) -> std::string {
      if (!need() || value.empty()) return a + " needs a value";
      target = value;
      return "";
    };
    std::string why;
    if (a == "-h" || a == "--help") {
      opt.mode = Mode::help;
      return "";
    } else if (a == "--version") {
      opt.mode = Mode::version;
      return "";
    } else if (a == "--ped") {
      why = text(opt.ped);
    } else if (a == "--dat") {
      why = text(opt.dat);
    } else if (a == "--map") {
      why = text(opt.map);
    } else if (a == "--plink") {
      why = text(opt.plink);
    } else if (a == "--pheno") {
      why = text(opt.pheno);
    } else if (a == "--trait") {
      why = text(opt.read.trait);
    } else if (a == "--missing") {
      why = text(opt.read.missing);
    } else if (a == "--ped-header") {
      opt.read.header = true;
    } else if (a == "--comment") {
      if (!need() || value.size() != 1) return "--comment needs one character";
      opt.read.comment = value[0];
    } else if (a == "--add-missing-parents") {
      opt.add_missing_parents = true;
    } else if (a == "--skip-loops") {
      opt.skip_loops = true;
    } else if (a == "--max-family-cost") {
      double v = 0;
      if (!need() || !parse_number(value, v) || !(v > 0)) return "--max-family-cost needs a positive number";
      opt.max_family_cost = v;
    } else if (a == "--markers") {
      std::string v;
      why = text(v);
      for (const auto& n : split_list(v)) opt.selection.names.push_back(n);
    } else if (a == "--range") {
      std::string v;
      why = text(v);
      const auto colon = v.find(':');
      if (why.empty() && (colon == std::string::npos || v.find(':', colon + 1) != std::string::npos))
        return "--range needs FIRST:LAST (marker names; either may be empty)";
      if (why.empty()) {
        opt.selection.first = v.substr(0, colon);
        opt.selection.last = v.substr(colon + 1);
      }
    } else if (a == "--chr") {
      std::string v;
      why = text(v);
      for (auto c : split_list(v)) {
        if (c.size() > 3 && (c.rfind("chr", 0) == 0 || c.rfind("CHR", 0) == 0)) c.erase(0, 3);
        opt.selection.chromosomes.push_back(c);
      }
    } else if (a == "--freq") {
      std::string v;
      why = text(v);
      if (why.empty()) {
        if (v == "founders") opt.freq = FreqSource::founders;
        else if (v == "all" || v == "typed") opt.freq = FreqSource::all;
        else return "--freq needs founders or all (a frequency file: --freq-file FILE)";
      }
    } else if (a == "--freq-file") {
      why = text(opt.freq_file);
      opt.freq = FreqSource::given;
    } else if (a == "--mendel") {
      std::string v;
      why = text(v);
      if (why.empty()) {
        if (v == "report") opt.untype_mendel = false;
        else if (v == "untype") opt.untype_mendel = true;
        else return "--mendel needs report or untype";
      }
    } else if (a == "--lump") {
      opt.lump = true;
    } else if (a == "--starts") {
      std::string v;
      why = text(v);
      if (why.empty()) {
        if (v == "fitted") opt.prep_starts = false;
        else if (v == "prep") opt.prep_starts = true;
        else return "--starts needs fitted or prep";
      }
    } else if (a == "--theta-starts") {
      std::string v;
      why = text(v);
      opt.theta_starts.clear();
      for (const auto& t : split_list(v)) {
        double x = 0;
        if (!parse_number(t, x) || !(x > 0 && x < 0.5))
          return "--theta-starts needs values strictly between 0 and 0.5, not " + t;
        opt.theta_starts.push_back(x);
      }
      if (why.empty() && opt.theta_starts.empty()) return "--theta-starts needs at least one value";
    } else if (a == "--threads") {
      if (!need() || !prep::parse_whole_number(value, 9, 1, 1024, opt.threads)) return "--threads needs a number from 1 to 1024";
    } else if (a == "--chunk") {
      if (!need()) return "--chunk needs K/N";
      const auto slash = value.find('/');
      if (slash == std::string::npos || !prep::parse_whole_number(value.substr(slash + 1), 9, 1, 1000000, opt.chunk_n) ||
          !prep::parse_whole_number(value.substr(0, slash), 9, 1, opt.chunk_n, opt.chunk_k))
        return "--chunk needs K/N with 1 <= K <= N, not " + value;
    } else if (a == "--resume") {
      opt.resume = true;
    } else if (a == "--force") {
      opt.force = true;
    } else if (a == "--quiet") {
      opt.quiet = true;
    } else if (a == "--keep-runs") {
      why = text(opt.keep_runs);
    } else if (a == "--merge") {
      opt.mode = Mode::merge;
    } else if (a == "--plot-only") {
      opt.mode = Mode::plot_only;
      why = text(opt.plot_table);
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else {
      positional.push_back(a);
    }
    if (!why.empty()) return why;
  }
  if (opt.resume && opt.force) return "--resume and --force exclude each other";
  switch (opt.mode) {
    case Mode::merge:
      if (positional.size() < 2) return "--merge needs one or more tables and the output directory";
      opt.outdir = positional.back();
      positional.pop_back();
      opt.merge_inputs = positional;
      return "";
    case Mode::plot_only:
      if (positional.size() > 1) return "--plot-only takes a table and at most one SVG file";
      if (!positional.empty()) opt.plot_svg = positional[0];
      return "";
    default:
      break;
  }
  if (positional.size() != 1) return "give one output directory";
  opt.outdir = positional[0];
  const bool linkage = !opt.ped.empty() || !opt.dat.empty();
  if (linkage && !opt.plink.empty()) return "--plink excludes --ped and --dat";
  if (!linkage && opt.plink.empty()) return "give --ped and --dat, or --plink";
  if (linkage && (opt.ped.empty() || opt.dat.empty())) return "--ped and --dat go together";
  if (linkage && opt.read.trait.empty()) return "--trait NAME is needed with --ped";
  if (linkage && !opt.pheno.empty()) return "--pheno goes with --plink";
  if (!opt.plink.empty() && !opt.map.empty()) return "--map goes with --ped (PLINK's map is PREFIX.map)";
  return "";
}

}  // namespace mglink::scan
