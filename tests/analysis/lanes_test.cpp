// Every operation of the lane types of each arithmetic path this machine runs, against the
// one-lane double type of the portable path: the same kernel runs on both, and every output lane
// must have the same bits, so that a fault shows at the operation that has it.

#include "analysis/lane_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace analysis::exact {
namespace {

constexpr int kCount = 256;

// Signed zeros, infinities, a NaN (one only: which of two NaNs an operation passes on depends on
// the order of its operands, which the compiler may swap), subnormals, the float range's ends and
// midpoints (exact and one ulp off), then random doubles of every magnitude and random floats.
std::vector<double> Inputs() {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.5,
                                INFINITY,
                                -INFINITY,
                                -NAN,
                                -0x1p-1070,
                                0x1p-126,
                                -0x1p-127,
                                0x1p-1074,
                                DBL_MAX,
                                1 + 0x1p-24,
                                1 + 0x1p-24 + 0x1p-52,
                                0x1p128 - 0x1p103,
                                3.0e38,
                                0.1,
                                1.0 / 3,
                                -7.25,
                                0x1p-149,
                                0x1p-60,
                                1 + 0x1p-23,
                                -0x1.fffffep127,
                                0x1p-1022};
  std::mt19937_64 engine(24);
  std::uniform_int_distribution<int> exponent(-160, 160);
  std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
  while (values.size() < kCount) {
    const double x = std::ldexp(mantissa(engine), exponent(engine));
    values.push_back(values.size() % 2 ? static_cast<float>(x) : x);
  }
  return values;
}

// The bits of every lane of x in order: doubles and floats as their bits, unsigned integers as
// they are, masks (signed lanes, bits, or bool) as 0 or 1.
template <typename X> void Append(std::vector<std::uint64_t> &out, const X &x) {
  if constexpr (std::is_same_v<X, double>) {
    out.push_back(std::bit_cast<std::uint64_t>(x));
  } else if constexpr (std::is_same_v<X, float>) {
    out.push_back(std::bit_cast<std::uint32_t>(x));
  } else if constexpr (std::is_same_v<X, bool> || std::is_signed_v<X>) {
    out.push_back(x != 0);
  } else if constexpr (std::is_unsigned_v<X>) {
    out.push_back(x);
  } else if constexpr (requires { x.bits; }) {
    for (int i = 0; i < 8 * int{sizeof(x.bits)}; ++i) {
      out.push_back(At(x, i));
    }
  } else if constexpr (kIsLane<X>) {
    for (int i = 0; i < X::kCount; ++i) {
      Append(out, static_cast<typename X::Element>(x.v[i]));
    }
  } else {
    Append(out, x.lo);
    Append(out, x.hi);
  }
}

using Outputs = std::map<std::string, std::vector<std::uint64_t>>;

// Each operation on the inputs (and two rotations of them) with the lanes of the current path.
Outputs RunOperations(const std::vector<double> &a, const std::vector<double> &b,
                      const std::vector<double> &c) {
  Outputs out;
  std::vector<float> fa(a.begin(), a.end()), fb(b.begin(), b.end());
  struct Row {
    double other, value;
  };
  std::vector<Row> rows(256);
  for (int k = 0; k < 256; ++k) {
    rows[k] = {a[k], b[k]};
  }
  OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    using L = decltype(lanes);
    using D = typename L::Doubles;
    using F = typename L::Floats;
    using W = typename L::Wide;
    const auto record = [&](const char *name, const auto &x) { Append(out[name], x); };
    for (int i = 0; i < kCount; i += kWidth<D>) {
      D x, y, z, fromFloats;
      Load(&a[i], x);
      Load(&b[i], y);
      Load(&c[i], z);
      Load(&fa[i], fromFloats);
      record("x + y", x + y);
      record("x - y", x - y);
      record("x * y", x * y);
      record("-x", -x);
      record("Fma", Fma(x, y, z));
      record("Abs", Abs(x));
      record("Select", Select(x < y, x, z));
      record("NotGreater", NotGreater(x, y));
      record("==", x == y);
      record("!=", x != y);
      record("<", x < y);
      record(">", x > y);
      record("! of a mask", !(x < y));
      record("& of masks", (x < y) & (y < z));
      record("| of masks", (x < y) | (y < z));
      record("Bits", Bits(x));
      record("Bits >>", Bits(x) >> 29);
      record("Bits &", Bits(x) & Bits(y));
      record("Bits |", Bits(x) | Bits(y));
      record("FromBits", FromBits(Bits(x) | Bits(y)));
      record("TwoSum", TwoSum(x, y).hi);
      record("TwoSum error", TwoSum(x, y).lo);
      record("FastTwoSum error", FastTwoSum(x, y).lo);
      record("InexactSum", InexactSum(x, y));
      record("Ulp", Ulp(x));
      record("IsPowerOfTwo", IsPowerOfTwo(x));
      record("IsFloatMidpoint", IsFloatMidpoint(Bits(x)));
      record("NearFloatMidpoint", NearFloatMidpoint(x, 8));
      record("OutOfFloatRange", OutOfFloatRange(x));
      record("IsInfinite", IsInfinite(x));
      record("IsNotFinite", IsNotFinite(x));
      record("x / y", x / y);
      record("Sqrt", Sqrt(Abs(x)));
      record("Gather", Gather<D>(rows.data(), Bits(x) & 0xffu, &Row::value));
      D first, second;
      GatherPairs(b.data(), Bits(x) & 0x7fu, first, second);
      record("GatherPairs first", first);
      record("GatherPairs second", second);
      record("Load from floats", fromFloats);
      double doubles[kMaxLanes];
      Store(doubles, x);
      D odd = x; // y at the odd inputs, x elsewhere
      for (int lane = 0; lane < kWidth<D>; ++lane) {
        record("Store as doubles", doubles[lane]);
        record("At", At(x, lane));
        if ((i + lane) % 2 == 1) {
          SetAt(odd, lane, At(y, lane));
        }
      }
      record("SetAt", odd);
      if (i < kCount / 2) {
        D re, im;
        LoadPairs(&fa[2 * i], re, im);
        record("LoadPairs re", re);
        record("LoadPairs im", im);
        LoadPairs(&a[2 * i], re, im);
        record("LoadPairs of doubles, first", re);
        record("LoadPairs of doubles, second", im);
      }
      float stored[kMaxLanes];
      Store(stored, x);
      for (int lane = 0; lane < kWidth<D>; ++lane) {
        record("Store as floats", stored[lane]);
      }
    }
    for (int i = 0; i < kCount; i += kWidth<F>) {
      F f, g;
      Load(&fa[i], f);
      Load(&fb[i], g);
      const W wide = Widen<W>(f), other = Widen<W>(g);
      record("float +", f + g);
      record("float -", f - g);
      record("float *", f * g);
      record("float Abs", Abs(f));
      record("float NotGreater", NotGreater(f, g));
      record("float IsInfinite", IsInfinite(f));
      record("float IsNotFinite", IsNotFinite(f));
      record("float OutOfFloatRange", OutOfFloatRange(f));
      record("Widen", wide);
      record("WidenMask", WidenMask<W>(NotGreater(f, g)));
      record("ToFloat", ToFloat(wide * other));
      record("wide Fma", Fma(wide, other, wide));
      record("wide / and Sqrt", Sqrt(Abs(wide)) / other);
      record("wide Gather", Gather<W>(rows.data(), Bits(wide) & 0xffu, &Row::value));
      if (i < kCount / 2) {
        W re, im;
        LoadPairs(&fa[2 * i], re, im);
        record("wide LoadPairs", re - im);
      }
      double doubles[kMaxLanes];
      Store(doubles, wide);
      for (int lane = 0; lane < kWidth<W>; ++lane) {
        record("wide Store and At", doubles[lane] - At(wide, lane));
      }
      record("wide IsFloatMidpoint", IsFloatMidpoint(Bits(wide * other)));
      record("wide InexactSum", InexactSum(wide * other, wide));
      record("LowWords", LowWords(wide * other) & 0xffffffffu);
      float pairs[2 * kMaxLanes];
      StoreInterleaved(pairs, f, g);
      for (int k = 0; k < 2 * kWidth<F>; ++k) {
        record("StoreInterleaved", pairs[k]);
      }
    }
  });
  return out;
}

// The lanes of LowWords come in no particular order within a group.
void SortGroups(std::vector<std::uint64_t> &values, int group) {
  for (std::size_t i = 0; i < values.size(); i += group) {
    std::sort(values.begin() + i, values.begin() + i + group);
  }
}

// Runs on the current path: None of masks with each single lane set and with none, and the
// transpose of a square of floats.
void CheckNoneAndTranspose(const std::vector<float> &floats, const std::string &path) {
  OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    using L = decltype(lanes);
    using D = typename L::Doubles;
    using F = typename L::Floats;
    for (int lane = 0; lane < kWidth<D>; ++lane) {
      double unit[kMaxLanes] = {};
      unit[lane] = 1;
      D x;
      Load(unit, x);
      EXPECT_FALSE(None(x != 0.0)) << path << ", lane " << lane;
      EXPECT_TRUE(None(x == 2.0)) << path << ", lane " << lane;
    }
    constexpr int n = kWidth<F>;
    F rows[n];
    for (int j = 0; j < n; ++j) {
      Load(&floats[n * j], rows[j]);
    }
    Transpose(rows);
    float transposed[n * n];
    for (int j = 0; j < n; ++j) {
      Store(&transposed[n * j], rows[j]);
    }
    for (int j = 0; j < n; ++j) {
      for (int k = 0; k < n; ++k) {
        EXPECT_EQ(transposed[n * j + k], floats[n * k + j]) << path << ", transpose " << j << k;
      }
    }
  });
}

TEST(Lanes, EveryOperationOfEveryPathMatchesTheOneLaneType) {
  const std::vector<double> a = Inputs();
  std::vector<double> b = a, c = a;
  std::rotate(b.begin(), b.begin() + 7, b.end());
  std::rotate(c.begin(), c.begin() + 13, c.end());
  std::vector<float> floats(kCount);
  std::iota(floats.begin(), floats.end(), 1.0f);

  ForcePath(ArithmeticPath::Portable);
  Outputs expected = RunOperations(a, b, c);
  for (ArithmeticPath path : AvailablePaths()) {
    ForcePath(path);
    const std::string name(PathName(path));
    Outputs got = RunOperations(a, b, c);
    CheckNoneAndTranspose(floats, name);
    const int width = OnCurrentPath(
        [](auto lanes) VIREO_KERNEL_LAMBDA { return kWidth<typename decltype(lanes)::Floats>; });
    Outputs reference = expected;
    SortGroups(reference["LowWords"], width);
    SortGroups(got["LowWords"], width);
    ASSERT_EQ(got.size(), reference.size()) << name;
    for (const auto &[operation, values] : reference) {
      const std::vector<std::uint64_t> &lanes = got[operation];
      ASSERT_EQ(lanes.size(), values.size()) << name << ", " << operation;
      const auto [mismatch, _] = std::mismatch(values.begin(), values.end(), lanes.begin());
      EXPECT_EQ(mismatch, values.end())
          << name << ", " << operation << ": first difference at input "
          << (mismatch - values.begin()) << std::hex << ", 0x" << *mismatch << " expected, 0x"
          << lanes[mismatch - values.begin()];
    }
  }
  ForcePath(std::nullopt);
}

// The exact product and the multiply-add that cancels, on the one-lane double (from the halves of
// the factors where the processor has no fused multiply-add), against libm's fma, exact on every
// processor: at the ends of their range, with errors down to a subnormal, with short factors, and
// with random factors of every bit pattern (a split into halves of 27 bits would fail on some).
TEST(Lanes, ProductsAreExactToTheEndsOfTheirRange) {
  struct Case {
    double a, b;
    bool shortB; // b has at most 27 significant bits
  };
  std::vector<Case> cases = {{0x1.fffffffffffffp994, 0x1.ffffffffffffep-1, false},
                             {-0x1.6a09e667f3bcdp-485, 0x1.6a09e667f3bcdp-485, false},
                             {0x1.0000000000001p-969, 0x1.0000000000001p0, false},
                             {0x1.fffffffffffffp-969, -0x1.fffffffffffffp994, false},
                             {1 + 0x1p-52, -1 - 0x1p-52, false},
                             {0.1, 0.1, false},
                             {0.0, -5.0, false},
                             {0x1.62e42fefa39efp-1, -1074.0, true},
                             {0x1.fffffffffffffp0, 509 * 0x1p-9, true},
                             {-0x1.fffffffffffffp990, 0x1.ffffffcp3, true}};
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
  for (int i = 0; i < 10000; ++i) {
    cases.push_back({std::ldexp(mantissa(engine), i % 900 - 450), mantissa(engine), false});
  }
  for (const auto &[a, b, shortB] : cases) {
    const Pair<double> product = shortB ? TwoProduct<true>(a, b) : TwoProduct(a, b);
    const double c = -0.75 * product.hi;
    EXPECT_EQ(product.hi, a * b) << a << " × " << b;
    EXPECT_EQ(product.lo, std::fma(a, b, -product.hi)) << a << " × " << b;
    EXPECT_EQ(shortB ? CancellingFma<true>(a, b, c) : CancellingFma(a, b, c), std::fma(a, b, c))
        << a << " × " << b;
  }
}

} // namespace
} // namespace analysis::exact
