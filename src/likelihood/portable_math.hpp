// exp and log computed by a fixed sequence of IEEE double operations.
//
// The C library's exp and log differ between library versions, and glibc
// picks a different code path on CPUs with fused multiply-add, so the last
// bit of a density or of a family's log-likelihood could depend on the
// machine.  These two are the classic argument-reduction-plus-polynomial
// methods (error below one unit in the last place), written in plain
// arithmetic: with the build's -ffp-contract=off they give the same bits on
// every x86-64 machine.
#pragma once

namespace mglink {

double exp_portable(double x);
// y[i] = exp_portable(x[i]) for i < n, bit for bit (y may be x).  On x86-64
// several at a time in the vector registers, without branches.
void exp_portable_n(const double* x, double* y, long n);

// The instructions exp_portable_n uses: every choice gives the same bits.
// By default the widest the CPU has; the tests try each.
enum class ExpKernel { Scalar, SSE2, AVX2 };
bool exp_kernel_available(ExpKernel k);
ExpKernel exp_kernel();
void set_exp_kernel(ExpKernel k);  // ignored when the CPU lacks k
double log_portable(double x);
// y[i] = log_portable(x[i]) for i < n, bit for bit (y may be x): four at a
// time with the AVX2 kernel of exp_portable_n (when that is the one chosen),
// else one at a time.
void log_portable_n(const double* x, double* y, long n);

}  // namespace mglink
