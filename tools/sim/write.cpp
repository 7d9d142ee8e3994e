// The run directory: the family data files, the control files and the
// pedigree table of the same individuals.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "data/family_layout.hpp"
#include "sim.hpp"

namespace mglink::sim {
namespace {

// A trait value in hundredths as a decimal with two places; -999 when missing.
std::string trait_text(const Person& p) {
  if (!p.trait_known) return "-999";
  const long h = p.trait_hundredths;
  const long a = h < 0 ? -h : h;
  std::string s = h < 0 ? "-" : "";
  s += std::to_string(a / 100);
  s += '.';
  s += static_cast<char>('0' + a % 100 / 10);
  s += static_cast<char>('0' + a % 10);
  return s;
}

std::string put_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (f) f << text;
  if (f) f.close();
  if (!f) return path.string() + ": cannot write the file: " + std::strerror(errno);
  return "";
}

// The shortest decimal that reads back as v.
std::string decimal(double v) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

// A parameter line: tie, flag, start value, step, lower and upper bound, remark.
std::string par_line(int i, double start, double step, double low, double upp, const char* what) {
  std::string line = std::to_string(i) + " 1";
  for (double v : {start, step, low, upp}) {
    std::string f = decimal(v);
    f.resize(std::max<std::size_t>(f.size() + 1, 7), ' ');
    line += ' ' + f;
  }
  return line + what + "\n";
}

std::string par_inp(const Settings& s) {
  const Model& m = s.model;
  // Start values near the simulated model but not on it, all six estimated;
  // every start value lies inside its bounds in both passes (pass 1 holds
  // theta at 0.5, which is then not bounds-tested).
  std::string out = "mglink-sim: start values, steps and bounds of the six parameters\n";
  out += par_line(1, m.p + 0.05, 0.05, 0.0, 1.0, "frequency of major allele 1");
  out += par_line(2, m.mean[0] + 3.0, 1.0, 50.0, 150.0, "trait mean of genotype 1/1");
  out += par_line(3, m.mean[1] + 1.0, 1.0, 50.0, 150.0, "trait mean of genotype 1/2");
  out += par_line(4, m.mean[2] - 3.0, 1.0, 50.0, 150.0, "trait mean of genotype 2/2");
  out += par_line(5, 0.15, 0.05, 0.0, 0.5, "theta");
  out += par_line(6, m.variance + 5.0, 2.0, 1.0, 200.0, "trait variance");
  for (int a = 0; a < 5; ++a) {
    std::string f = decimal(m.marker_freq[a]);
    f.resize(7, ' ');
    out += f + "frequency of marker allele " + std::to_string(a + 1) + "\n";
  }
  return out;
}

}  // namespace

std::string write_run(const std::vector<Family>& fams, const Settings& s, const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return dir + ": cannot create the directory: " + ec.message();
  const std::filesystem::path d(dir);

  std::string trait, marker, pre;
  for (std::size_t f = 0; f < fams.size(); ++f) {
    const Family& fam = fams[f];
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      const Person& p = fam.people[i];
      trait += trait_text(p) + "\n";
      marker += std::to_string(marker_code(p)) + "\n";
      int a = p.typed ? p.hap[0].marker : 0, b = p.typed ? p.hap[1].marker : 0;
      if (a > b) std::swap(a, b);
      pre += std::to_string(f + 1) + " " + std::to_string(i + 1) + " " + std::to_string(p.father) + " " +
             std::to_string(p.mother) + " " + std::to_string(p.sex) + " " + trait_text(p) + " " +
             std::to_string(a) + " " + std::to_string(b) + "\n";
    }
  }
  const std::string maxpar =
      "0        IPRINT: progress lines of the maximiser (1) or none (0)\n"
      "0.0001   EPSX: relative step tolerance\n"
      "500      MAXIT: iteration limit\n"
      "0.5      RHO: pull-back factor\n"
      "0.0001   EPSF: minimal gain of an iteration\n";
  const std::pair<const char*, std::string> files[] = {
      {"IWAY.DAT", family_layout_text(layout_of(fams), 20)},
      {"trait.dat", trait},
      {"marker.dat", marker},
      {"task.inp", "'trait.dat'\n'marker.dat'\n'result.dat'\n"},
      {"maxpar.inp", maxpar},
      {"par.inp", par_inp(s)},
      {"pedigree.pre", pre},
  };
  for (const auto& [name, text] : files) {
    const std::string err = put_file(d / name, text);
    if (!err.empty()) return err;
  }
  return "";
}

}  // namespace mglink::sim
