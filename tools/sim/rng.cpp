#include <cmath>

#include "sim.hpp"

namespace mglink::sim {
namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Rng::Rng(std::uint64_t seed) {
  for (auto& w : s_) w = splitmix64(seed);
}

std::uint64_t Rng::next() {
  const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
  const std::uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = rotl(s_[3], 45);
  return result;
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

int Rng::below(int n) {
  // Rejection keeps every value equally likely.
  const std::uint64_t range = static_cast<std::uint64_t>(n);
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
  std::uint64_t x;
  do {
    x = next();
  } while (x >= limit);
  return static_cast<int>(x % range);
}

int Rng::between(int lo, int hi) { return lo + below(hi - lo + 1); }

double Rng::normal() {
  double u, v, s;
  do {
    u = 2.0 * uniform() - 1.0;
    v = 2.0 * uniform() - 1.0;
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  return u * std::sqrt(-2.0 * portable_log(s) / s);
}

double portable_log(double x) {
  // x = m 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh(t), t = (m-1)/(m+1),
  // |t| < 0.172, summed over a fixed number of odd powers.
  int e = 0;
  double m = std::frexp(x, &e);  // exact
  if (m < 0.70710678118654752) {
    m = m * 2.0;
    e = e - 1;
  }
  const double t = (m - 1.0) / (m + 1.0);
  const double t2 = t * t;
  double power = t;
  double sum = 0.0;
  for (int k = 1; k <= 41; k += 2) {
    sum = sum + power / k;
    power = power * t2;
  }
  return static_cast<double>(e) * 0.69314718055994530942 + 2.0 * sum;
}

}  // namespace mglink::sim
