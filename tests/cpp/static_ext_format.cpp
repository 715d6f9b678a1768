// The extended type at compile time: literals, and the software format
// against the compiler's own folding of x87 arithmetic (which rounds as the
// unit does) on operands that stay finite.
#include "cxmath/ext/ext.hpp"
#include "../../tools/check/ext_compare.hpp"

namespace {

using namespace cxmath;

constexpr bool same_bits(ext a, std::uint16_t se, std::uint64_t m) {
  return ext_sign_exp(a) == se && ext_significand(a) == m;
}

// Literals give the encoding of their exact value in either type.
static_assert(same_bits(0x1.921fb54442d1846ap+0_x, 0x3fff, 0xc90fdaa22168c235));  // pi/2
static_assert(same_bits(0x1.5bf0a8b145769536p+1_x, 0x4000, 0xadf85458a2bb4a9b));  // e
static_assert(same_bits(-0x1p-63_x, 0xbfc0, 0x8000000000000000));
static_assert(same_bits(0x0.8p-16382_x, 0, 0x4000000000000000));  // a denormal
static_assert(same_bits(0x1p-16445_x, 0, 1));                      // the smallest
static_assert(same_bits(0x1.fffffffffffffffep+16383_x, 0x7ffe, ~std::uint64_t(0)));
static_assert(same_bits(0xcafe.8p4_x, 0x4012, 0xcafe800000000000));
static_assert(same_bits(18446744073709551615_x, 0x403e, ~std::uint64_t(0)));
static_assert(same_bits(0_x, 0, 0) && same_bits(1'000_x, 0x4008, 0xfa00000000000000));

#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
constexpr bool same_x87(soft_ext s, long double x) {
  const auto b = std::bit_cast<ext_detail::Layout>(x);
  return s.sign_exp() == b.sign_exp && s.significand() == b.sig;
}
constexpr long double to_long(soft_ext s) {
  return std::bit_cast<long double>(ext_detail::Layout{s.significand(), s.sign_exp(), {}});
}

static_assert(same_x87(soft_ext(0.1), 0.1));
static_assert(same_x87(soft_ext(-0x1p-1074), -0x1p-1074));
static_assert(same_x87(soft_ext(INT64_MIN), static_cast<long double>(INT64_MIN)));

// Disagreements on n operand pairs of the families whose results the
// compiler folds (finite, no overflow, no invalid operation).
constexpr int folded_disagreements(int n, std::uint64_t seed) {
  using ext_check::Op;
  constexpr int families[] = {1, 2, 3, 4, 7};
  ext_check::Rng g{seed};
  int bad = 0;
  for (int i = 0; i < n; ++i) {
    const Op op = static_cast<Op>(i % 4);
    soft_ext a, b;
    ext_check::operands(op, families[(i / 4) % 5], g, a, b);
    const soft_ext s = op == ext_check::ADD ? a + b : op == ext_check::SUB ? a - b
                     : op == ext_check::MUL ? a * b : a / b;
    if (!(fabs(s) < soft_ext::infinity()) || b == 0) continue;
    const long double x = op == ext_check::ADD ? to_long(a) + to_long(b) : op == ext_check::SUB ? to_long(a) - to_long(b)
                        : op == ext_check::MUL ? to_long(a) * to_long(b) : to_long(a) / to_long(b);
    if (!same_x87(s, x)) ++bad;
    // And the rounding to double (not of extended denormals: clang 14
    // folds some of them to the smallest subnormal double instead of 0,
    // where the unit and GCC give 0).
    if ((s.sign_exp() & 0x7fff) != 0 &&
        std::bit_cast<std::uint64_t>(static_cast<double>(s)) != std::bit_cast<std::uint64_t>(static_cast<double>(x))) ++bad;
  }
  return bad;
}
static_assert(folded_disagreements(3000, 1) == 0);
static_assert(folded_disagreements(3000, 2) == 0);
#endif

}  // namespace
