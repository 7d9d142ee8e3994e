#include "prep/start_values.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mglink::prep {

std::string real_text(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

FrequencyText frequency_text(const std::array<double, 5>& weight) {
  // Units of 1e-10, adding up to exactly 1e10; the largest takes the rounding.
  FrequencyText ft;
  double total = 0;
  for (double c : weight) total += c;
  constexpr long long UNIT = 10000000000LL;
  std::array<long long, 5> u{};
  long long sum = 0;
  std::size_t largest = 0;
  for (std::size_t k = 0; k < 5; ++k) {
    u[k] = std::llround(weight[k] / total * static_cast<double>(UNIT));
    if (weight[k] > 0 && u[k] == 0) u[k] = 1;
    sum += u[k];
    if (u[k] > u[largest]) largest = k;
  }
  u[largest] += UNIT - sum;
  for (std::size_t k = 0; k < 5; ++k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%010lld", u[k] / UNIT, u[k] % UNIT);
    ft.text[k] = buf;
    ft.value[k] = std::strtod(buf, nullptr);
  }
  return ft;
}

StartValues start_values(const Pedigree& ped, const FrequencyOptions& freq) {
  StartValues sv;
  std::array<double, 5> founders{}, everyone{};
  std::array<bool, 5> present{};
  for (const Family& fam : ped.families)
    for (const Person& p : fam.people) {
      if (p.allele1 == 0) continue;
      for (int a : {p.allele1, p.allele2}) {
        const auto k = static_cast<std::size_t>(a - 1);
        everyone[k] += 1;
        present[k] = true;
        if (p.father < 0 && p.mother < 0) founders[k] += 1;
      }
    }
  double nf = 0, ne = 0;
  for (std::size_t k = 0; k < 5; ++k) {
    nf += founders[k];
    ne += everyone[k];
  }
  std::array<double, 5> count{};
  const char* const way_out =
      "; --frequencies typed counts the alleles of every typed individual, --frequencies "
      "F1,F2,F3,F4,F5 gives the five frequencies";
  if (freq.source == FrequencySource::given) {
    count = freq.given;
    present.fill(false);  // no half counts: the values are the user's
    sv.marker_basis = "--frequencies (given)";
  } else if (nf > 0 && freq.source == FrequencySource::founders) {
    count = founders;
    sv.marker_basis = "the " + std::to_string(static_cast<long>(nf)) + " typed alleles of founders";
    if (nf < static_cast<double>(FEW_FOUNDER_ALLELES))
      sv.marker_warnings.push_back("the marker allele frequencies rest on only " +
                                   std::to_string(static_cast<long>(nf)) +
                                   " typed alleles of founders" + way_out);
    std::string absent;
    for (std::size_t k = 0; k < 5; ++k)
      if (present[k] && founders[k] == 0) {
        if (!absent.empty()) absent += ' ';
        absent += std::to_string(k + 1);
      }
    if (!absent.empty())
      sv.marker_warnings.push_back(
          std::string(absent.size() > 1 ? "marker alleles " : "marker allele ") + absent +
          (absent.size() > 1 ? " are" : " is") +
          " typed in non-founders but in no founder and " + (absent.size() > 1 ? "get" : "gets") +
          " half a count" + way_out);
  } else if (ne > 0) {
    count = everyone;
    sv.marker_basis = "the " + std::to_string(static_cast<long>(ne)) +
                      (freq.source == FrequencySource::typed
                           ? " typed alleles of all individuals (--frequencies typed)"
                           : " typed alleles of all individuals (no founder is typed)");
  } else {
    count.fill(1.0);
    present.fill(true);
    sv.marker_basis = "nobody is typed: equal frequencies";
  }
  for (std::size_t k = 0; k < 5; ++k)
    if (present[k] && count[k] == 0) count[k] = 0.5;

  const FrequencyText ft = frequency_text(count);
  sv.marker_text = ft.text;
  sv.marker_freq = ft.value;

  double s = 0;
  for (const Family& fam : ped.families)
    for (const Person& p : fam.people)
      if (!p.trait_missing) {
        s += p.trait;
        ++sv.trait_count;
      }
  if (sv.trait_count == 0) {
    sv.warnings.push_back("no trait value is observed; start means 0 and variance 1");
    return sv;
  }
  sv.trait_mean = s / static_cast<double>(sv.trait_count);
  double q = 0;
  for (const Family& fam : ped.families)
    for (const Person& p : fam.people)
      if (!p.trait_missing) q += (p.trait - sv.trait_mean) * (p.trait - sv.trait_mean);
  sv.trait_variance = sv.trait_count > 1 ? q / static_cast<double>(sv.trait_count - 1) : 0.0;
  if (!(sv.trait_variance > 0) || !std::isfinite(sv.trait_variance)) {
    sv.trait_variance = 1.0;
    sv.warnings.push_back("the observed trait values do not vary; start variance 1");
  }
  return sv;
}

namespace {

std::string g(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// Ten significant digits where they keep the start value strictly inside its
// bounds and the step nonzero; otherwise every digit.
std::string parameter_line(int i, double x, double step, double lo, double hi, const char* what) {
  auto back = [](double v) { return std::strtod(g(v).c_str(), nullptr); };
  const bool short_ok = back(lo) < back(x) && back(x) < back(hi) && back(step) != 0;
  auto t = [&](double v) { return short_ok ? g(v) : real_text(v); };
  return std::to_string(i) + " 1 " + t(x) + " " + t(step) + " " + t(lo) + " " + t(hi) + "   " +
         what + "\n";
}

}  // namespace

std::array<double, 11> start_parameters(const StartValues& sv, double theta) {
  const double m = sv.trait_mean, v = sv.trait_variance, sd = std::sqrt(v);
  return {0.5, m - sd, m, m + sd, theta, v / 2, sv.marker_freq[0], sv.marker_freq[1], sv.marker_freq[2],
          sv.marker_freq[3], sv.marker_freq[4]};
}

std::string par_text(const StartValues& sv, const std::string& title) {
  const double m = sv.trait_mean, v = sv.trait_variance, sd = std::sqrt(v);
  const std::array<double, 11> x = start_parameters(sv, 0.2);
  std::string s = title + "\n";
  s += parameter_line(1, x[0], 0.05, 0.0, 1.0, "frequency of major allele 1");
  s += parameter_line(2, x[1], sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 11");
  s += parameter_line(3, x[2], sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 12");
  s += parameter_line(4, x[3], sd / 10, m - 10 * sd, m + 10 * sd, "trait mean, genotype 22");
  s += parameter_line(5, x[4], 0.05, 0.0, 0.5, "theta");
  s += parameter_line(6, x[5], v / 10, 0.0, 10 * v, "trait variance within a genotype");
  for (int k = 0; k < 5; ++k)
    s += sv.marker_text[static_cast<std::size_t>(k)] + "   frequency of marker allele " +
         std::to_string(k + 1) + "\n";
  return s;
}

std::string maxpar_text() {
  return "1   IPRINT: progress after each iteration\n"
         "0.0001   EPSX: relative step tolerance\n"
         "500   MAXIT: iteration limit\n"
         "0.5   RHO: pull-back factor\n"
         "0.00001   EPSF: minimal gain of an iteration\n";
}

}  // namespace mglink::prep
