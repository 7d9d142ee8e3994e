// The control files maxpar.inp, task.inp and par.inp.
#include "run/control_files.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "io/free_reader.hpp"
#include "run/errors.hpp"

namespace mglink {

namespace {

// Read n of maxpar.inp: one value on a line of its own.
template <class T>
void read_setting(FreeReader& r, int n, T& v, const char* item) {
  r.begin_read("read " + std::to_string(n) + " of the maximiser settings");
  r.read(v, item);
  r.end_read();
}

}  // namespace

MaxparSettings read_maxpar(const std::string& path) {
  FreeReader r = FreeReader::open(path);
  MaxparSettings s;
  read_setting(r, 1, s.IPRINT, "IPRINT");
  read_setting(r, 2, s.EPSX, "EPSX");
  read_setting(r, 3, s.MAXIT, "MAXIT");
  read_setting(r, 4, s.RHO, "RHO");
  read_setting(r, 5, s.EPSF, "EPSF");
  return s;
}

namespace {

// One name of task.inp; an empty name (a blank or null value) would name no
// file, so it is refused here rather than as a puzzling "cannot open".
std::string read_task_name(FreeReader& r, int n, const char* item, const char* role) {
  std::string name;
  r.begin_read(std::string("read ") + std::to_string(n) + " of the task");
  r.read_name(name, item);
  const long line = r.line();
  r.end_read();
  std::string trimmed = trim_name(name);
  if (trimmed.empty()) {
    throw input_error(r.file_name() + ", line " + std::to_string(line) + ": the name of the " +
                      role + " (" + item + ") is empty");
  }
  return trimmed;
}

}  // namespace

TaskNames read_task(const std::string& path) {
  FreeReader r = FreeReader::open(path);
  TaskNames t;
  t.TRAITFILE = read_task_name(r, 1, "TRAITFILE", "trait data file");
  t.MARKERFILE = read_task_name(r, 2, "MARKERFILE", "marker data file");
  t.RESULTFILE = read_task_name(r, 3, "RESULTFILE", "result file");
  return t;
}

namespace {

std::string value_text(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

const char* parameter_role(int i) {
  switch (i) {
    case 1: return "the frequency of major allele 1";
    case 5: return "theta";
    case 6: return "the trait variance";
    default: return "a trait mean";
  }
}

// Values whose meaning they cannot have: a probability outside [0, 1], a
// variance at or below 0, a negative marker allele frequency, bounds of an
// estimated probability that reach outside [0, 1].  A tied parameter's own
// start value is never used (it takes its partner's), so it is not checked.
// `where(i)` names the line of parameter i (1..6) or of X(i) (7..11).
template <class Where>
void check_par_values(const Optpar1& p, const Optpar2& q, const Where& where) {
  for (int i = 1; i <= 6; ++i) {
    const std::string is = std::to_string(i);
    const std::string head = where(i) + "X(" + is + ") = " + value_text(p.X(i)) + ", but ";
    if (q.LINK(i) == i) {
      if ((i == 1 || i == 5) && !(p.X(i) >= 0.0 && p.X(i) <= 1.0))
        throw input_error(head + parameter_role(i) + " must lie between 0 and 1");
      if (i == 6 && !(p.X(i) > 0.0))
        throw input_error(head + "the trait variance must be above 0");
    }
    if ((i == 1 || i == 5) && p.IFREE(i) == 1 && !(p.XLOW(i) >= 0.0 && p.XUPP(i) <= 1.0))
      throw input_error(where(i) + "the bounds XLOW(" + is + ") = " + value_text(p.XLOW(i)) +
                        " and XUPP(" + is + ") = " + value_text(p.XUPP(i)) + " of " +
                        parameter_role(i) +
                        ", which is estimated, reach outside 0 to 1; bounds from 0 to 1 at most");
  }
  for (int k = 7; k <= 11; ++k)
    if (!(p.X(k) >= 0.0))
      throw input_error(where(k) + "X(" + std::to_string(k) + ") = " + value_text(p.X(k)) +
                        ", but a marker allele frequency cannot be below 0");
}

}  // namespace

int read_par(ModelState& st, int pass, const std::string& path) {
  const int32 npar = st.IMAX.NPAR;
  if (npar != 6) {
    // The file layout (six parameter lines, then X(7..11)) assumes it.
    throw std::logic_error("read_par: NPAR must be 6 before par.inp is read, not " +
                           std::to_string(npar));
  }
  auto& p = st.OPTPAR1;
  auto& LINK = st.OPTPAR2.LINK;

  FreeReader r = FreeReader::open(path);
  std::array<long, 12> lines{};  // where each parameter line and X(7..11) start
  r.skip_line("the title line of the parameters");
  for (int32 i = 1; i <= npar; ++i) {
    const std::string is = std::to_string(i);
    r.begin_read("parameter line " + is);
    r.read(LINK(i), "LINK", i);
    const long line = r.line();  // where the parameter line starts
    lines[static_cast<std::size_t>(i)] = line;
    r.read(p.IFREE(i), "IFREE", i);
    r.read(p.X(i), "X", i);
    r.read(p.STEP(i), "STEP", i);
    r.read(p.XLOW(i), "XLOW", i);
    r.read(p.XUPP(i), "XUPP", i);
    r.end_read();
    const std::string where =
        r.file_name() + ", line " + std::to_string(line) + " (parameter " + is + "): ";
    if (LINK(i) < 1 || LINK(i) > 11) {
      throw input_error(where + "LINK(" + is + ") = " + std::to_string(LINK(i)) +
                        ", but a tie must name a parameter from 1 to 11 (" + is +
                        " leaves the parameter independent)");
    }
    if (p.IFREE(i) != 0 && p.IFREE(i) != 1) {
      throw input_error(where + "IFREE(" + is + ") = " + std::to_string(p.IFREE(i)) +
                        ", but the flag must be 1 (estimated) or 0 (held at its value)");
    }
  }
  for (int32 k = 7; k <= 11; ++k) {
    r.begin_read("marker allele frequency X(" + std::to_string(k) + ")");
    r.read(p.X(k), "X", k);
    lines[static_cast<std::size_t>(k)] = r.line();
    r.end_read();
  }
  check_par_values(p, st.OPTPAR2, [&](int i) {
    return r.file_name() + ", line " + std::to_string(lines[static_cast<std::size_t>(i)]) +
           (i <= 6 ? " (parameter " + std::to_string(i) + "): "
                   : " (marker allele frequency X(" + std::to_string(i) + ")): ");
  });

  // Pass rule: the null hypothesis holds theta at 0.5, whatever the file says.
  if (pass == 1) {
    p.IFREE(5) = 0;
    p.X(5) = 0.5;
  }
  int nest = 0;
  for (int32 i = 1; i <= npar; ++i) nest += p.IFREE(i);
  return nest;
}

}  // namespace mglink
