#include "scan/study.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace mglink::scan {

std::string format_problem(const InputProblem& p) {
  std::string s = p.file;
  if (p.line > 0) {
    s += ':';
    s += std::to_string(p.line);
  }
  s += ": ";
  if (!p.family.empty()) s += "family " + p.family + (p.individual.empty() ? ": " : ", ");
  if (!p.individual.empty()) s += "individual " + p.individual + ": ";
  return s + p.text;
}

bool missing_allele(const std::string& label) {
  return label == "0" || label == "x" || label == "X" || label == "-" || label == "N";
}

bool missing_trait(const std::string& text, const std::string& code) {
  if (text == "x" || text == "X" || text == "NA" || text == "-") return true;
  if (code.empty()) return false;
  if (text == code) return true;
  double a = 0, b = 0;
  return parse_number(code, a) && parse_number(text, b) && a == b;
}

bool parse_number(const std::string& text, double& v) {
  std::string_view s(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

std::uint16_t intern_allele(MarkerData& m, const std::string& label) {
  const auto it = std::find(m.labels.begin(), m.labels.end(), label);
  if (it != m.labels.end()) return static_cast<std::uint16_t>(it - m.labels.begin() + 1);
  if (m.labels.size() + 1 >= std::numeric_limits<std::uint16_t>::max()) return 0;
  m.labels.push_back(label);
  return static_cast<std::uint16_t>(m.labels.size());
}

}  // namespace mglink::scan
