// Throughput of the divider: nanoseconds per division instruction with
// eight independent quotients in flight (so latency is hidden wherever the
// unit is pipelined), for scalar doubles, 2-, 4- and 8-lane packs and the
// extended type, and the latency of one dependent chain for comparison.
// benchmarks/divisions.py multiplies these by the divisions each function
// executes per element to state how far its time is from the divider's.
//
// Output: one line per kind, "<kind> <ns per instruction> <lanes>".
#include <immintrin.h>

#include <chrono>
#include <cstdio>

#include "cxmath/ext/ext.hpp"

namespace {

using cxmath::ext;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The divisor is read through a volatile so the compiler cannot turn the
// quotients into products; 1 + 2^-20 keeps every quotient normal for the
// whole run.
volatile double divisor = 1.0000009536743164;

// Eight independent quotients a[k] <- a[k] / d, n rounds; the result
// combines them so that none is dead code.
#define EIGHT_QUOTIENTS(T, init, d, DIV)                     \
  T a[8];                                                    \
  for (int k = 0; k < 8; ++k) a[k] = (init);                 \
  for (long i = 0; i < n; ++i)                               \
    for (int k = 0; k < 8; ++k) a[k] = DIV(a[k], (d));       \
  T s = a[0];                                                \
  for (int k = 1; k < 8; ++k) s = DIV(s, a[k]);

#define PLAIN_DIV(x, y) ((x) / (y))

double scalar_chain(long n) {
  double a = 1, d = divisor;
  for (long i = 0; i < n; ++i) a = a / d;
  return a;
}
// Each quotient passes through an empty asm statement that claims to
// change it, so the compiler cannot pack the eight scalar divisions into
// vector ones.
inline double opaque(double v) {
  asm volatile("" : "+x"(v));
  return v;
}
#define SCALAR_DIV(x, y) opaque((x) / (y))

double scalar(long n) {
  const double d = divisor;
  EIGHT_QUOTIENTS(double, 1.0, d, SCALAR_DIV)
  return s;
}
double ext_chain(long n) {
  ext a = 1, d = divisor;
  for (long i = 0; i < n; ++i) a = a / d;
  return static_cast<double>(a);
}
double extended(long n) {
  const ext d = divisor;
  EIGHT_QUOTIENTS(ext, ext(1), d, PLAIN_DIV)
  return static_cast<double>(s);
}
double sse2(long n) {
  const __m128d d = _mm_set1_pd(divisor);
  EIGHT_QUOTIENTS(__m128d, _mm_set1_pd(1), d, _mm_div_pd)
  return _mm_cvtsd_f64(s);
}
__attribute__((target("avx2"))) double avx2(long n) {
  const __m256d d = _mm256_set1_pd(divisor);
  EIGHT_QUOTIENTS(__m256d, _mm256_set1_pd(1), d, _mm256_div_pd)
  return _mm256_cvtsd_f64(s);
}
__attribute__((target("avx512f"))) double avx512(long n) {
  const __m512d d = _mm512_set1_pd(divisor);
  EIGHT_QUOTIENTS(__m512d, _mm512_set1_pd(1), d, _mm512_div_pd)
  return _mm512_cvtsd_f64(s);
}

struct Kind {
  const char* name;
  double (*run)(long);
  int lanes;
  int in_flight;
  bool (*available)();
};

bool always() { return true; }
bool has_avx2() { return __builtin_cpu_supports("avx2"); }
bool has_avx512() { return __builtin_cpu_supports("avx512f"); }

}  // namespace

int main() {
  const long divisions = 4000000;
  const Kind kinds[] = {
      {"scalar-latency", scalar_chain, 1, 1, always}, {"scalar", scalar, 1, 8, always},
      {"ext-latency", ext_chain, 1, 1, always},       {"ext", extended, 1, 8, always},
      {"sse2", sse2, 2, 8, always},                   {"avx2", avx2, 4, 8, has_avx2},
      {"avx512", avx512, 8, 8, has_avx512},
  };
  __builtin_cpu_init();
  for (const Kind& k : kinds) {
    if (!k.available()) continue;
    const long n = divisions / k.in_flight;
    double best = 1e9;
    for (int r = 0; r < 7; ++r) {
      const double t0 = now();
      volatile double sink = k.run(n);
      (void)sink;
      const double t = now() - t0;
      if (t < best) best = t;
    }
    std::printf("%s %.4f %d\n", k.name, best / (static_cast<double>(n) * k.in_flight) * 1e9, k.lanes);
  }
}
