#include "likelihood/portable_math.hpp"

#include <bit>
#include <cstdint>
#include <limits>

#include <atomic>

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#endif

namespace mglink {

namespace {

std::uint32_t high_word(double x) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32); }
std::uint32_t low_word(double x) { return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x)); }
double with_high_word(double x, std::uint32_t hi) {
  const std::uint64_t bits = (std::bit_cast<std::uint64_t>(x) & 0xffffffffULL) | (static_cast<std::uint64_t>(hi) << 32);
  return std::bit_cast<double>(bits);
}

// ln 2 split so that k * LN2_HI is exact for the k that occur.
constexpr double LN2_HI = 6.93147180369123816490e-01;  // 0x3FE62E42FEE00000
constexpr double LN2_LO = 1.90821492927058770002e-10;  // 0x3DEA39EF35793C76

// exp's reduction and polynomial.
constexpr double INVLN2 = 1.44269504088896338700e+00;  // 0x3FF71547652B82FE
constexpr double P1 = 1.66666666666666019037e-01;      // 0x3FC555555555553E
constexpr double P2 = -2.77777777770155933842e-03;     // 0xBF66C16C16BEBD93
constexpr double P3 = 6.61375632143793436117e-05;      // 0x3F11566AAF25DE2C
constexpr double P4 = -1.65339022054652515390e-06;     // 0xBEBBBD41C5D26BF1
constexpr double P5 = 4.13813679705723846039e-08;      // 0x3E66376972BEA4D0

}  // namespace

// exp(x) = 2^k * exp(r), x = k ln2 + r, |r| <= ln2/2; exp(r) from a rational
// form whose polynomial R(r^2) approximates r (e^r + 1)/(e^r - 1) - 2.
double exp_portable(double x) {
  constexpr double O_THRESHOLD = 7.09782712893383973096e+02;
  constexpr double U_THRESHOLD = -7.45133219101941108420e+02;
  constexpr double TWO_M1000 = 9.33263618503218878990e-302;  // 2^-1000

  std::uint32_t hx = high_word(x);
  const int xsb = static_cast<int>((hx >> 31) & 1);
  hx &= 0x7fffffffU;

  if (hx >= 0x40862E42U) {  // |x| >= 709.78...
    if (hx >= 0x7ff00000U) {
      if (((hx & 0xfffffU) | low_word(x)) != 0) return x + x;  // NaN
      return xsb == 0 ? x : 0.0;                               // exp(+-inf)
    }
    if (x > O_THRESHOLD) return std::numeric_limits<double>::infinity();
    if (x < U_THRESHOLD) return 0.0;
  }

  double hi = 0.0, lo = 0.0;
  int k = 0;
  if (hx > 0x3fd62e42U) {      // |x| > ln2/2
    if (hx < 0x3FF0A2B2U) {    // and |x| < 3 ln2/2
      hi = xsb == 0 ? x - LN2_HI : x + LN2_HI;
      lo = xsb == 0 ? LN2_LO : -LN2_LO;
      k = 1 - xsb - xsb;
    } else {
      k = static_cast<int>(INVLN2 * x + (xsb == 0 ? 0.5 : -0.5));
      const double t = k;
      hi = x - t * LN2_HI;  // exact
      lo = t * LN2_LO;
    }
    x = hi - lo;
  } else if (hx < 0x3e300000U) {  // |x| < 2^-28
    return 1.0 + x;
  }

  const double t = x * x;
  const double c = x - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
  const double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
  if (k >= -1021) return with_high_word(y, high_word(y) + (static_cast<std::uint32_t>(k) << 20));
  return with_high_word(y, high_word(y) + (static_cast<std::uint32_t>(k + 1000) << 20)) * TWO_M1000;
}

// exp_portable's steps for several arguments side by side, in the vector
// registers of x86-64 CPUs (SSE2, which every one has: two lanes; AVX2 where
// the CPU has it: four): each operation is the scalar one in each lane, so
// every lane gives the scalar routine's bits.  Its branches are replaced by
// choices between values computed both ways.  In the common range
// (2^-28 <= |x| <= 700) the scalar routine takes one of three paths:
// |x| <= ln2/2 (k = 0, no reduction); |x| < 3 ln2/2 (k = +-1, x reduced by
// ln2 directly); otherwise k = [x/ln2 +- 1/2].  The second gives what the
// third would (k is +-1 there and k * LN2_HI is exact), so two ways are
// computed, and no result needs scaling below 2^-1021.  A lane outside the
// common range is given to the scalar routine.
namespace {

std::atomic<int> exp_kernel_choice{-1};  // ExpKernel, -1: not chosen yet

void exp_scalar_n(const double* x, double* y, long n) {
  for (long i = 0; i < n; ++i) y[i] = exp_portable(x[i]);
}

#if defined(__x86_64__) && defined(__SSE2__)
#define MGLINK_EXP_VECTOR 1

inline __m128d choose(__m128d mask, __m128d a, __m128d b) {
  return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

void exp_sse2_n(const double* x, double* y, long n) {
  const __m128d sign = _mm_set1_pd(-0.0);
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d two = _mm_set1_pd(2.0);
  long i = 0;
  for (; i + 2 <= n; i += 2) {
    const __m128d X = _mm_loadu_pd(x + i);
    const __m128d ax = _mm_andnot_pd(sign, X);
    const __m128d common = _mm_and_pd(_mm_cmpge_pd(ax, _mm_set1_pd(0x1p-28)), _mm_cmple_pd(ax, _mm_set1_pd(700.0)));
    const __m128d xi = choose(common, X, one);  // other lanes are computed on 1 and replaced
    // |x| <= ln2/2: the high word of |x| at most 0x3fd62e42.
    const __m128d small = _mm_cmplt_pd(_mm_andnot_pd(sign, xi), _mm_set1_pd(0x1.62e43p-2));
    const __m128d half = _mm_or_pd(_mm_and_pd(sign, xi), _mm_set1_pd(0.5));  // +-0.5 with the sign of x
    const __m128i k32 = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(INVLN2), xi), half));
    const __m128d t = _mm_cvtepi32_pd(k32);
    const __m128d hi = _mm_sub_pd(xi, _mm_mul_pd(t, _mm_set1_pd(LN2_HI)));
    const __m128d lo = _mm_mul_pd(t, _mm_set1_pd(LN2_LO));
    const __m128d r = choose(small, xi, _mm_sub_pd(hi, lo));
    const __m128d rr = _mm_mul_pd(r, r);
    __m128d p = _mm_add_pd(_mm_set1_pd(P4), _mm_mul_pd(rr, _mm_set1_pd(P5)));
    p = _mm_add_pd(_mm_set1_pd(P3), _mm_mul_pd(rr, p));
    p = _mm_add_pd(_mm_set1_pd(P2), _mm_mul_pd(rr, p));
    p = _mm_add_pd(_mm_set1_pd(P1), _mm_mul_pd(rr, p));
    const __m128d c = _mm_sub_pd(r, _mm_mul_pd(rr, p));
    const __m128d q = _mm_div_pd(_mm_mul_pd(r, c), choose(small, _mm_sub_pd(c, two), _mm_sub_pd(two, c)));
    const __m128d v = choose(small, _mm_sub_pd(one, _mm_sub_pd(q, r)),
                             _mm_sub_pd(one, _mm_sub_pd(_mm_sub_pd(lo, q), hi)));
    // 2^k times v: k added to the exponent field (k = 0 for the first path).
    const __m128i k64 = _mm_unpacklo_epi32(k32, _mm_srai_epi32(k32, 31));
    const __m128i kbits = _mm_andnot_si128(_mm_castpd_si128(small), _mm_slli_epi64(k64, 52));
    const __m128d result = _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(v), kbits));
    const int lanes = _mm_movemask_pd(common);
    if (lanes == 3) {
      _mm_storeu_pd(y + i, result);
    } else {  // the scalar routine for a lane outside the common range (y may be x)
      double out[2], in[2];
      _mm_storeu_pd(out, result);
      _mm_storeu_pd(in, X);
      for (int j = 0; j < 2; ++j) y[i + j] = (lanes >> j & 1) != 0 ? out[j] : exp_portable(in[j]);
    }
  }
  exp_scalar_n(x + i, y + i, n - i);
}

__attribute__((target("avx2"))) inline __m256d choose4(__m256d mask, __m256d a, __m256d b) {
  return _mm256_blendv_pd(b, a, mask);
}

// Stores four results at y, each lane j not in `lanes` (bit j) replaced by
// the scalar routine's value of its argument X[j].  The scalar routines are
// compiled for SSE2: the upper halves of the vector registers are cleared
// before calling them, or every SSE instruction after them (here and in the
// rest of the program) may pay for the switch.
__attribute__((target("avx2"))) inline void store_lanes(double* y, __m256d result, __m256d X, int lanes,
                                                        double (*scalar)(double)) {
  if (lanes == 15) {
    _mm256_storeu_pd(y, result);
    return;
  }
  double out[4], in[4];
  _mm256_storeu_pd(out, result);
  _mm256_storeu_pd(in, X);
  _mm256_zeroupper();
  // out and in are read back from memory: without this the compiler takes
  // their lanes from the vector registers it reloads, upper halves and all.
  asm volatile("" ::: "memory");
  for (int j = 0; j < 4; ++j) y[j] = (lanes >> j & 1) != 0 ? out[j] : scalar(in[j]);
}

// The same steps, four lanes.  (Written out again rather than shared with
// the two-lane kernel through a template: the compiler builds AVX2 code only
// inside a function that carries the AVX2 target, and the two-lane kernel
// must not carry it.)
__attribute__((target("avx2"))) void exp_avx2_n(const double* x, double* y, long n) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d two = _mm256_set1_pd(2.0);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d X = _mm256_loadu_pd(x + i);
    const __m256d ax = _mm256_andnot_pd(sign, X);
    const __m256d common = _mm256_and_pd(_mm256_cmp_pd(ax, _mm256_set1_pd(0x1p-28), _CMP_GE_OQ),
                                         _mm256_cmp_pd(ax, _mm256_set1_pd(700.0), _CMP_LE_OQ));
    const __m256d xi = choose4(common, X, one);
    const __m256d small = _mm256_cmp_pd(_mm256_andnot_pd(sign, xi), _mm256_set1_pd(0x1.62e43p-2), _CMP_LT_OQ);
    const __m256d half = _mm256_or_pd(_mm256_and_pd(sign, xi), _mm256_set1_pd(0.5));
    const __m128i k32 = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(INVLN2), xi), half));
    const __m256d t = _mm256_cvtepi32_pd(k32);
    const __m256d hi = _mm256_sub_pd(xi, _mm256_mul_pd(t, _mm256_set1_pd(LN2_HI)));
    const __m256d lo = _mm256_mul_pd(t, _mm256_set1_pd(LN2_LO));
    const __m256d r = choose4(small, xi, _mm256_sub_pd(hi, lo));
    const __m256d rr = _mm256_mul_pd(r, r);
    __m256d p = _mm256_add_pd(_mm256_set1_pd(P4), _mm256_mul_pd(rr, _mm256_set1_pd(P5)));
    p = _mm256_add_pd(_mm256_set1_pd(P3), _mm256_mul_pd(rr, p));
    p = _mm256_add_pd(_mm256_set1_pd(P2), _mm256_mul_pd(rr, p));
    p = _mm256_add_pd(_mm256_set1_pd(P1), _mm256_mul_pd(rr, p));
    const __m256d c = _mm256_sub_pd(r, _mm256_mul_pd(rr, p));
    const __m256d q =
        _mm256_div_pd(_mm256_mul_pd(r, c), choose4(small, _mm256_sub_pd(c, two), _mm256_sub_pd(two, c)));
    const __m256d v = choose4(small, _mm256_sub_pd(one, _mm256_sub_pd(q, r)),
                              _mm256_sub_pd(one, _mm256_sub_pd(_mm256_sub_pd(lo, q), hi)));
    const __m256i k64 = _mm256_cvtepi32_epi64(k32);
    const __m256i kbits = _mm256_andnot_si256(_mm256_castpd_si256(small), _mm256_slli_epi64(k64, 52));
    const __m256d result = _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(v), kbits));
    store_lanes(y + i, result, X, _mm256_movemask_pd(common), exp_portable);
  }
  exp_sse2_n(x + i, y + i, n - i);
}

// log_portable's steps, four lanes.  A lane whose argument is not a positive
// normal number, or lies within 2^-20 of a power of two (the scalar
// routine's short path), is given to the scalar routine; every other lane
// takes one of two formulas (whether i > 0), both computed and the right one
// chosen, each the scalar operations in the scalar order.
__attribute__((target("avx2"))) void log_avx2_n(const double* x, double* y, long n) {
  constexpr double Lg1 = 6.666666666666735130e-01;
  constexpr double Lg2 = 3.999999999940941908e-01;
  constexpr double Lg3 = 2.857142874366239149e-01;
  constexpr double Lg4 = 2.222219843214978396e-01;
  constexpr double Lg5 = 1.818357216161805012e-01;
  constexpr double Lg6 = 1.531383769920937332e-01;
  constexpr double Lg7 = 1.479819860511658591e-01;
  const __m256i low32 = _mm256_set1_epi64x(0xffffffffLL);
  const __m256i m20 = _mm256_set1_epi64x(0x000fffff);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i pick = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);  // the low halves of the four lanes
  const __m256d one = _mm256_set1_pd(1.0);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d X = _mm256_loadu_pd(x + i);
    const __m256i bits = _mm256_castpd_si256(X);
    __m256i hx = _mm256_srli_epi64(bits, 32);  // the high word, 0 .. 2^32 - 1
    // Normal and positive: 0x00100000 <= hx < 0x7ff00000.
    const __m256i normal = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_set1_epi64x(0x00100000), hx),
                                               _mm256_cmpgt_epi64(_mm256_set1_epi64x(0x7ff00000), hx));
    __m256i k = _mm256_sub_epi64(_mm256_srli_epi64(hx, 20), _mm256_set1_epi64x(1023));
    hx = _mm256_and_si256(hx, m20);
    const __m256i i0 = _mm256_and_si256(_mm256_add_epi64(hx, _mm256_set1_epi64x(0x95f64)), _mm256_set1_epi64x(0x100000));
    const __m256i newhi = _mm256_or_si256(hx, _mm256_xor_si256(i0, _mm256_set1_epi64x(0x3ff00000)));
    const __m256d xr = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, low32), _mm256_slli_epi64(newhi, 32)));
    k = _mm256_add_epi64(k, _mm256_srli_epi64(i0, 20));
    // The short path: (0x000fffff & (2 + hx)) < 3.
    const __m256i tiny = _mm256_cmpgt_epi64(_mm256_set1_epi64x(3), _mm256_and_si256(_mm256_add_epi64(hx, _mm256_set1_epi64x(2)), m20));
    const __m256d f = _mm256_sub_pd(xr, one);
    const __m256d dk = _mm256_cvtepi32_pd(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(k, pick)));
    const __m256d s = _mm256_div_pd(f, _mm256_add_pd(_mm256_set1_pd(2.0), f));
    const __m256d z = _mm256_mul_pd(s, s);
    const __m256i ii = _mm256_sub_epi64(hx, _mm256_set1_epi64x(0x6147a));
    const __m256d w = _mm256_mul_pd(z, z);
    const __m256i jj = _mm256_sub_epi64(_mm256_set1_epi64x(0x6b851), hx);
    const __m256d t1 = _mm256_mul_pd(
        w, _mm256_add_pd(_mm256_set1_pd(Lg2),
                         _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(Lg4), _mm256_mul_pd(w, _mm256_set1_pd(Lg6))))));
    const __m256d t2 = _mm256_mul_pd(
        z, _mm256_add_pd(
               _mm256_set1_pd(Lg1),
               _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(Lg3),
                                              _mm256_mul_pd(w, _mm256_add_pd(_mm256_set1_pd(Lg5),
                                                                             _mm256_mul_pd(w, _mm256_set1_pd(Lg7))))))));
    const __m256d ipos = _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_or_si256(ii, jj), zero));
    const __m256d R = _mm256_add_pd(t2, t1);
    // The formulas for k != 0; with k = 0 they give the bits of the scalar
    // routine's k = 0 formulas: dk ln2 is +0 in both parts, and
    // 0 - ((u + 0) - f) is f - u exactly.
    const __m256d hi = _mm256_mul_pd(dk, _mm256_set1_pd(LN2_HI));
    const __m256d lo = _mm256_mul_pd(dk, _mm256_set1_pd(LN2_LO));
    // i > 0:
    const __m256d hfsq = _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(0.5), f), f);
    const __m256d sh = _mm256_mul_pd(s, _mm256_add_pd(hfsq, R));
    const __m256d a = _mm256_sub_pd(hi, _mm256_sub_pd(_mm256_sub_pd(hfsq, _mm256_add_pd(sh, lo)), f));
    // i <= 0:
    const __m256d sf = _mm256_mul_pd(s, _mm256_sub_pd(f, R));
    const __m256d b = _mm256_sub_pd(hi, _mm256_sub_pd(_mm256_sub_pd(sf, lo), f));
    const __m256d result = _mm256_blendv_pd(b, a, ipos);
    store_lanes(y + i, result, X, _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_andnot_si256(tiny, normal))),
                log_portable);
  }
  _mm256_zeroupper();  // before the scalar routine (see store_lanes)
  for (; i < n; ++i) y[i] = log_portable(x[i]);
}
#endif

bool kernel_available(ExpKernel k) {
  switch (k) {
    case ExpKernel::Scalar: return true;
#ifdef MGLINK_EXP_VECTOR
    case ExpKernel::SSE2: return true;
    case ExpKernel::AVX2: return __builtin_cpu_supports("avx2") != 0;
#else
    default: return false;
#endif
  }
  return false;
}

}  // namespace

bool exp_kernel_available(ExpKernel k) { return kernel_available(k); }

ExpKernel exp_kernel() {
  int k = exp_kernel_choice.load(std::memory_order_relaxed);
  if (k < 0) {
    k = static_cast<int>(kernel_available(ExpKernel::AVX2)   ? ExpKernel::AVX2
                         : kernel_available(ExpKernel::SSE2) ? ExpKernel::SSE2
                                                             : ExpKernel::Scalar);
    exp_kernel_choice.store(k, std::memory_order_relaxed);
  }
  return static_cast<ExpKernel>(k);
}

void set_exp_kernel(ExpKernel k) {
  if (kernel_available(k)) exp_kernel_choice.store(static_cast<int>(k), std::memory_order_relaxed);
}

void log_portable_n(const double* x, double* y, long n) {
#ifdef MGLINK_EXP_VECTOR
  if (exp_kernel() == ExpKernel::AVX2) {
    log_avx2_n(x, y, n);
    return;
  }
#endif
  for (long i = 0; i < n; ++i) y[i] = log_portable(x[i]);
}

void exp_portable_n(const double* x, double* y, long n) {
  switch (exp_kernel()) {
#ifdef MGLINK_EXP_VECTOR
    case ExpKernel::AVX2: exp_avx2_n(x, y, n); return;
    case ExpKernel::SSE2: exp_sse2_n(x, y, n); return;
#endif
    default: exp_scalar_n(x, y, n); return;
  }
}

// log(x) = k ln2 + log(1 + f), 1 + f in [sqrt(2)/2, sqrt(2)); log(1 + f) from
// s = f / (2 + f) and a polynomial in s^2.
double log_portable(double x) {
  constexpr double TWO54 = 1.80143985094819840000e+16;  // 2^54
  constexpr double Lg1 = 6.666666666666735130e-01;      // 0x3FE5555555555593
  constexpr double Lg2 = 3.999999999940941908e-01;      // 0x3FD999999997FA04
  constexpr double Lg3 = 2.857142874366239149e-01;      // 0x3FD2492494229359
  constexpr double Lg4 = 2.222219843214978396e-01;      // 0x3FCC71C51D8E78AF
  constexpr double Lg5 = 1.818357216161805012e-01;      // 0x3FC7466496CB03DE
  constexpr double Lg6 = 1.531383769920937332e-01;      // 0x3FC39A09D078C69F
  constexpr double Lg7 = 1.479819860511658591e-01;      // 0x3FC2F112DF3E5244

  std::int32_t hx = static_cast<std::int32_t>(high_word(x));
  const std::uint32_t lx = low_word(x);

  int k = 0;
  if (hx < 0x00100000) {  // x < 2^-1022
    if (((hx & 0x7fffffff) | static_cast<std::int32_t>(lx)) == 0)
      return -std::numeric_limits<double>::infinity();  // log(+-0)
    if (hx < 0) return std::numeric_limits<double>::quiet_NaN();  // log of a negative number
    k -= 54;
    x *= TWO54;  // subnormal: scale up
    hx = static_cast<std::int32_t>(high_word(x));
  }
  if (hx >= 0x7ff00000) return x + x;  // inf or NaN
  k += (hx >> 20) - 1023;
  hx &= 0x000fffff;
  const std::int32_t i0 = (hx + 0x95f64) & 0x100000;
  x = with_high_word(x, static_cast<std::uint32_t>(hx | (i0 ^ 0x3ff00000)));  // x or x/2 in range
  k += (i0 >> 20);
  const double f = x - 1.0;
  const double dk = static_cast<double>(k);
  if ((0x000fffff & (2 + hx)) < 3) {  // |f| < 2^-20
    if (f == 0.0) return k == 0 ? 0.0 : dk * LN2_HI + dk * LN2_LO;
    const double R = f * f * (0.5 - 0.33333333333333333 * f);
    if (k == 0) return f - R;
    return dk * LN2_HI - ((R - dk * LN2_LO) - f);
  }
  const double s = f / (2.0 + f);
  const double z = s * s;
  std::int32_t i = hx - 0x6147a;
  const double w = z * z;
  const std::int32_t j = 0x6b851 - hx;
  const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
  const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
  i |= j;
  const double R = t2 + t1;
  if (i > 0) {
    const double hfsq = 0.5 * f * f;
    if (k == 0) return f - (hfsq - s * (hfsq + R));
    return dk * LN2_HI - ((hfsq - (s * (hfsq + R) + dk * LN2_LO)) - f);
  }
  if (k == 0) return f - s * (f - R);
  return dk * LN2_HI - ((s * (f - R) - dk * LN2_LO) - f);
}

}  // namespace mglink
