#include "analysis/exact_log.h"
#include "analysis/extended.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace analysis {
namespace {

// An MPFR number at 64 bits holding the exact value of an Extended (finite, zero or infinite).
class Reference {
public:
  Reference() { mpfr_init2(value_, 64); }
  explicit Reference(Extended e) : Reference() { Set(e); }
  ~Reference() { mpfr_clear(value_); }
  Reference(const Reference &) = delete;
  Reference &operator=(const Reference &) = delete;

  void Set(Extended e) {
    if (e.IsNaN()) {
      mpfr_set_nan(value_);
    } else if (e.IsInfinite()) {
      mpfr_set_inf(value_, e.Negative() ? -1 : 1);
    } else if (e.IsZero()) {
      mpfr_set_zero(value_, e.Negative() ? -1 : 1);
    } else {
      mpfr_set_uj_2exp(value_, e.Significand(), e.Exponent(), MPFR_RNDN);
      if (e.Negative()) {
        mpfr_neg(value_, value_, MPFR_RNDN);
      }
    }
  }
  mpfr_ptr get() { return value_; }

private:
  mpfr_t value_;
};

// True when e holds exactly the value (and the sign of zero) of r.
bool Same(Extended e, mpfr_ptr r) {
  Reference mine(e);
  if (mpfr_nan_p(r) || mpfr_nan_p(mine.get())) {
    return mpfr_nan_p(r) && mpfr_nan_p(mine.get());
  }
  return mpfr_equal_p(mine.get(), r) && mpfr_signbit(mine.get()) == mpfr_signbit(r);
}

// Operands of every kind the frame arithmetic meets and more: random 64-bit significands over a
// wide exponent range, doubles and floats of random bits (subnormals included), near-ties and
// cancelling pairs, and the special values.
std::vector<Extended> Operands() {
  std::mt19937_64 random(20261207);
  std::vector<Extended> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -1.0,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::denorm_min(),
                                  Extended::FromParts(false, ~std::uint64_t{0}, 0),
                                  Extended::FromParts(true, (std::uint64_t{1} << 63) + 1, -70)};
  // Exact ties of a conversion to double (11 dropped bits) and to float (40), kept part even
  // and odd.
  for (int dropped : {11, 40}) {
    for (std::uint64_t kept : {std::uint64_t{2}, std::uint64_t{3}}) {
      const std::uint64_t tie =
          (std::uint64_t{1} << 63) | kept << dropped | std::uint64_t{1} << (dropped - 1);
      values.push_back(Extended::FromParts(kept == 3, tie, -63));
    }
  }
  for (int n = 0; n < 300; ++n) {
    const std::uint64_t bits = random();
    values.push_back(
        Extended::FromParts(bits & 1, bits | 1, static_cast<int>(random() % 400) - 200));
    values.push_back(
        Extended::FromParts(bits & 2, bits >> 20, static_cast<int>(random() % 40) - 20));
    const double d = std::bit_cast<double>(random());
    if (!std::isnan(d)) {
      values.push_back(d);
    }
    values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
  }
  return values;
}

TEST(ExtendedTest, OperationsAreCorrectlyRoundedTo64Bits) {
  using Exact = std::function<int(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t)>;
  using Mine = std::function<Extended(Extended, Extended)>;
  const struct {
    const char *name;
    Mine mine;
    Exact exact;
  } operations[] = {
      {"+", [](Extended a, Extended b) { return a + b; }, mpfr_add},
      {"-", [](Extended a, Extended b) { return a - b; }, mpfr_sub},
      {"*", [](Extended a, Extended b) { return a * b; }, mpfr_mul},
      {"/", [](Extended a, Extended b) { return a / b; }, mpfr_div},
      {"sqrt", [](Extended a, Extended) { return Sqrt(a); },
       [](mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr, mpfr_rnd_t rnd) { return mpfr_sqrt(r, a, rnd); }},
  };
  const std::vector<Extended> operands = Operands();
  Reference a, b, expected;
  int mismatches = 0;
  for (const auto &operation : operations) {
    for (std::size_t i = 0; i < operands.size(); ++i) {
      // Each operand with itself, its neighbours and a spread of others.
      for (std::size_t j : {i, (i + 1) % operands.size(), (i * 7 + 3) % operands.size(),
                            (i * 31 + 11) % operands.size()}) {
        a.Set(operands[i]);
        b.Set(operands[j]);
        operation.exact(expected.get(), a.get(), b.get(), MPFR_RNDN);
        const Extended result = operation.mine(operands[i], operands[j]);
        if (!Same(result, expected.get()) && ++mismatches <= 5) {
          ADD_FAILURE() << operation.name << " of operands " << i << " and " << j;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ExtendedTest, ConversionsRoundOnceWithSubnormalsAndOverflow) {
  int mismatches = 0;
  for (Extended e : Operands()) {
    // Scaled into and beyond the float and double ranges, subnormals included.
    for (int scale : {0, -1040, -1100, -130, -160, 100, 1000}) {
      const Extended x = e * Extended::FromParts(false, 1, scale);
      Reference r(x);
      const double d = mpfr_get_d(r.get(), MPFR_RNDN);
      const float f = mpfr_get_flt(r.get(), MPFR_RNDN);
      const bool same =
          x.IsNaN()
              ? std::isnan(x.ToDouble()) && std::isnan(x.ToFloat())
              : std::bit_cast<std::uint64_t>(x.ToDouble()) == std::bit_cast<std::uint64_t>(d) &&
                    std::bit_cast<std::uint32_t>(x.ToFloat()) == std::bit_cast<std::uint32_t>(f);
      mismatches += same ? 0 : 1;
      if (x.IsZero() || x.IsInfinite() || x.IsNaN() || std::fabs(d) >= 0x1p62) {
        continue;
      }
      EXPECT_EQ(x.Truncate(), static_cast<std::int64_t>(mpfr_get_sj(r.get(), MPFR_RNDZ)));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ExtendedTest, SpecialValuesFollowTheX86Rules) {
  const double inf = std::numeric_limits<double>::infinity();
  const auto bits = [](Extended e) { return std::bit_cast<std::uint64_t>(e.ToDouble()); };
  const std::uint64_t defaultNaN = 0xfff8000000000000u;
  EXPECT_EQ(bits(Extended(inf) - inf), defaultNaN);
  EXPECT_EQ(bits(Extended(0.0) * -inf), defaultNaN);
  EXPECT_EQ(bits(Extended(0.0) / 0.0), defaultNaN);
  EXPECT_EQ(bits(Sqrt(-1.0)), defaultNaN);
  EXPECT_EQ(std::bit_cast<std::uint32_t>((Extended(inf) + -inf).ToFloat()), 0xffc00000u);
  // A NaN operand passes on with its sign and payload, quieted; the first of two wins.
  const double nan = std::bit_cast<double>(0x7ff4000000000123u);
  const double other = std::bit_cast<double>(0xfff8000000000456u);
  EXPECT_EQ(bits(Extended(nan) * 2.0), 0x7ffc000000000123u);
  EXPECT_EQ(bits(Extended(1.0) - nan), 0x7ffc000000000123u);
  EXPECT_EQ(bits(Extended(other) + nan), 0xfff8000000000456u);
  // Narrowed, a signalling NaN is quieted too, even one whose payload the float cannot hold.
  EXPECT_EQ(bits(Extended(nan)), 0x7ffc000000000123u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(Extended(nan).ToFloat()), 0x7fe00000u);
  EXPECT_EQ(
      std::bit_cast<std::uint32_t>(Extended(std::bit_cast<double>(0xfff0000000005095u)).ToFloat()),
      0xffc00000u);
  EXPECT_EQ(bits(Sqrt(-0.0)), 0x8000000000000000u);
  EXPECT_EQ(bits(Extended(-0.0) + -0.0), 0x8000000000000000u);
  EXPECT_EQ(bits(Extended(1.0) - 1.0), 0u);
  EXPECT_FALSE(Extended(nan) == Extended(nan));
  EXPECT_TRUE(Extended(-0.0) == Extended(0.0));
  EXPECT_LT(Extended(-inf), Extended(-1e300));
  EXPECT_EQ(Extended(nan).Truncate(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Extended::FromInteger(std::numeric_limits<std::int64_t>::min()).ToDouble(), -0x1p63);
}

// The pair of NaturalLogPair within 2^-81 of ln x: near 1, where ln x is as small as the reduced
// argument (up to 2^-8) and the fourth power's roundings weigh most, and at random.
TEST(ExtendedTest, NaturalLogPairStaysWithinItsBound) {
  std::vector<double> arguments;
  for (int k = -512; k <= 512; ++k) {
    arguments.push_back(1 + k * 0x1p-17);
  }
  std::mt19937_64 engine(81);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  for (int i = 0; i < 2000; ++i) {
    arguments.push_back(std::ldexp(mantissa(engine), i % 200 - 100));
  }
  int outside = 0;
  double first = 0;
  mpfr_t logarithm, error;
  mpfr_inits2(256, logarithm, error, static_cast<mpfr_ptr>(nullptr));
  for (const double x : arguments) {
    const exact::DoubleDouble pair = NaturalLogPair(x);
    mpfr_set_d(logarithm, x, MPFR_RNDN);
    mpfr_log(logarithm, logarithm, MPFR_RNDN);
    mpfr_set_d(error, pair.hi, MPFR_RNDN);
    mpfr_add_d(error, error, pair.lo, MPFR_RNDN);
    mpfr_sub(error, error, logarithm, MPFR_RNDN);
    mpfr_mul_2si(logarithm, logarithm, -81, MPFR_RNDN);
    if (mpfr_cmpabs(error, logarithm) > 0 && outside++ == 0) {
      first = x;
    }
  }
  mpfr_clears(logarithm, error, static_cast<mpfr_ptr>(nullptr));
  EXPECT_EQ(outside, 0) << "the first at " << std::hexfloat << first;
}

} // namespace
} // namespace analysis
