#include "analysis/level.h"

#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/exact_log.h"
#include "analysis/extended.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace analysis {

namespace {

// The linear scale maps magnitude 0.1 to level 0 and each 0.01 of magnitude to 9.031 units.
constexpr double kLinearLevelScale = 90.31;
constexpr double kZeroPowerLevel = 999;

// The power rounded to double the literal way: the exact sum rounded to 64 bits, then to 53.
double LiteralPower(double re, double im) {
  const Extended real = re, imaginary = im;
  return (real * real + imaginary * imaginary).ToDouble();
}

// The level of a power the literal way: every step rounded to 64 bits, the result to double.
// NaN power has the zero-power level, as it compares false with 0.
double LiteralLevel(double power, bool decibel) {
  if (!decibel) {
    return ((1 - Sqrt(Extended(power)) * 10) * kLinearLevelScale).ToDouble();
  }
  if (!(power > 0)) {
    return kZeroPowerLevel;
  }
  if (std::isinf(power)) {
    return -power;
  }
  return (DecimalLog(power) * -10).ToDouble();
}

// A value as an unevaluated sum hi + lo with |lo| at most half an ulp of hi.
struct DoubleDouble {
  double hi, lo;
};

DoubleDouble TwoSum(double a, double b) {
  const double sum = a + b;
  const double bPart = sum - a;
  return {sum, (a - (sum - bPart)) + (b - bPart)};
}

double Ulp(double x) {
  const std::uint64_t exponent = std::bit_cast<std::uint64_t>(x) & 0x7ff0000000000000u;
  return std::bit_cast<double>(exponent - (std::uint64_t{52} << 52));
}

bool IsPowerOfTwo(double x) {
  return (std::bit_cast<std::uint64_t>(x) & 0x000fffffffffffffu) == 0;
}

// The exact sum of two squares of floats (each exact in double), rounded to double; false when
// rounding it first to 64 bits might land on a double midpoint and round the other way.
bool FastPower(double square0, double square1, double &power) {
  const DoubleDouble sum = TwoSum(square0, square1);
  power = sum.hi;
  if (sum.lo == 0) {
    return true;
  }
  if (IsPowerOfTwo(power) || !std::isfinite(power)) {
    return false;
  }
  const double half = Ulp(power) / 2;
  const double error = std::fabs(sum.lo);
  // A 64-bit rounding moves the sum by at most half an ulp of 64 bits, 2^-11 of a double ulp.
  return error == half || std::fabs(error - half) > half * 0x1p-10;
}

// Table of the logarithm: mantissas m in [1 + i/256, 1 + (i + 1)/256) are multiplied by
// inverse = N/512, chosen so that r = m × inverse - 1 is below 2^-8 in magnitude and exact in
// double; logOffset is -ln(N/512) for i < 128 and -ln(N/256) for the upper half (whose exponent
// is counted one higher), correctly rounded as a pair of doubles. Entries 0 and 255 are exactly
// 1 and 1/2 with offset 0, so that powers near 1 keep their full relative precision.
struct LogEntry {
  constexpr LogEntry(int numerator, double logHi, double logLo)
      : inverse(numerator * 0x1p-9), hi(logHi), lo(logLo) {}
  double inverse, hi, lo;
};
constexpr LogEntry kLogTable[256] = {
    {512, 0x0.0p+0, 0x0.0p+0},
    {509, 0x1.8121214586b54p-8, 0x1.c14b9f9377a1dp-65},
    {507, 0x1.41929f96832f0p-7, -0x1.c5517f64bc223p-61},
    {505, 0x1.c317384c75f06p-7, 0x1.806208c04c220p-61},
    {503, 0x1.228fb1fea2e28p-6, -0x1.cd7b66e01c26dp-61},
    {501, 0x1.63d6178690bd6p-6, -0x1.8ed4d357c9c97p-64},
    {499, 0x1.a55f548c5c43fp-6, 0x1.ec1a5f86d41f9p-62},
    {497, 0x1.e72bf2813ce51p-6, 0x1.75b44595cab18p-60},
    {496, 0x1.0415d89e74444p-5, 0x1.c05cf1d753622p-59},
    {494, 0x1.252f32f8d183fp-5, -0x1.947f792615916p-59},
    {492, 0x1.466aed42de3eap-5, -0x1.cdd6f7f4a137ep-59},
    {490, 0x1.67c94f2d4bb58p-5, 0x1.0413e6505e603p-59},
    {488, 0x1.894aa149fb343p-5, 0x1.a8be97660a23dp-60},
    {486, 0x1.aaef2d0fb10fcp-5, 0x1.a353bb42e0addp-61},
    {485, 0x1.bbcebfc68f420p-5, 0x1.e5cf3a0f56f72p-60},
    {483, 0x1.dda8adc67ee4ep-5, 0x1.4e6c986f44c55p-59},
    {481, 0x1.ffa6911ab9301p-5, -0x1.cd9f1f95c2eedp-59},
    {479, 0x1.10e45b3cae831p-4, -0x1.a4a128d192686p-58},
    {477, 0x1.2207b5c78549ep-4, -0x1.cc0fbce104eaap-58},
    {476, 0x1.2aa04a44717a5p-4, -0x1.d15d38d2fa3f7p-58},
    {474, 0x1.3bdf5a7d1ee64p-4, 0x1.7a976d3b5b45fp-59},
    {472, 0x1.4d3115d207eacp-4, 0x1.769f42c7842ccp-58},
    {471, 0x1.55e10050e0384p-4, -0x1.45f9d61c68c1bp-58},
    {469, 0x1.674f089365a7ap-4, -0x1.9acd8b33f8fdcp-58},
    {467, 0x1.78d02263d82d3p-4, 0x1.abca5b4fdb880p-58},
    {466, 0x1.8197e2f40e3f0p-4, 0x1.b9f2dffbeed43p-60},
    {464, 0x1.9335e5d594989p-4, -0x1.478a85704ccb7p-58},
    {462, 0x1.a4e7640b1bc38p-4, -0x1.5b5ca203e4259p-58},
    {461, 0x1.adc77ee5aea8cp-4, 0x1.37d8f39bee659p-58},
    {459, 0x1.bf968769fca11p-4, -0x1.cdc9f6f5f38c7p-59},
    {457, 0x1.d179788219364p-4, 0x1.9daf7df76ad2ap-59},
    {456, 0x1.da727638446a2p-4, 0x1.401fa71733019p-58},
    {454, 0x1.ec739830a1120p-4, -0x1.a2bf991780d3fp-59},
    {453, 0x1.f57bc7d9005dbp-4, -0x1.9361574fb24e2p-58},
    {451, 0x1.03cdc0a51ec0dp-3, 0x1.39e2d3f8b7d10p-57},
    {450, 0x1.08598b59e3a07p-3, -0x1.dd7009902bf32p-57},
    {448, 0x1.1178e8227e47cp-3, -0x1.0e63a5f01c691p-58},
    {447, 0x1.160c8024b27b1p-3, -0x1.2d56ff61c2bfbp-57},
    {445, 0x1.1f3b925f25d41p-3, 0x1.62c9ef939ac5dp-59},
    {444, 0x1.23d712a49c202p-3, -0x1.6e38161051d69p-57},
    {442, 0x1.2d1610c86813ap-3, -0x1.499a3f25af95fp-58},
    {441, 0x1.31b994d3a4f85p-3, -0x1.c4716bdfc0cc9p-58},
    {439, 0x1.3b08b6757f2a9p-3, 0x1.70d6cdf05266cp-60},
    {438, 0x1.3fb45a59928ccp-3, -0x1.d87e6a354d056p-57},
    {436, 0x1.4913d8333b561p-3, -0x1.0d5604930f135p-58},
    {435, 0x1.4dc7b897bc1c8p-3, -0x1.927d47803c5f4p-57},
    {433, 0x1.5737cc9018cddp-3, 0x1.4f4d710fec38ep-57},
    {432, 0x1.5bf406b543db2p-3, -0x1.1f5b44c0df7e7p-61},
    {430, 0x1.6574ebe8c133ap-3, -0x1.d34f0f4621bedp-60},
    {429, 0x1.6a399dabbd383p-3, 0x1.96332bd4b341fp-57},
    {428, 0x1.6f0128b756abcp-3, -0x1.8de59c21e166cp-57},
    {426, 0x1.7898d85444c73p-3, 0x1.ef8f6ebcfb201p-58},
    {425, 0x1.7d6903caf5ad0p-3, -0x1.ac5f0c075b847p-59},
    {423, 0x1.871213750e994p-3, 0x1.d685f35eea2a0p-57},
    {422, 0x1.8beafeb38fe8cp-3, 0x1.55aa8b6997a40p-58},
    {421, 0x1.90c6db9fcbcd9p-3, 0x1.054473941ad99p-57},
    {419, 0x1.9a8778debaa38p-3, 0x1.f47dfd871f87fp-57},
    {418, 0x1.9f6c407089664p-3, 0x1.35a19605e67efp-59},
    {417, 0x1.a454082e6ab05p-3, 0x1.df207dc5c34c6p-58},
    {415, 0x1.ae2ca6f672bd4p-3, 0x1.ab5ca9eaa088ap-57},
    {414, 0x1.b31d8575bce3dp-3, -0x1.6353ab386a94dp-57},
    {413, 0x1.b811730b823d2p-3, 0x1.a0ee735d9f0ecp-60},
    {412, 0x1.bd087383bd8adp-3, 0x1.dd355f6a516d7p-60},
    {410, 0x1.c6ffbc6f00f71p-3, -0x1.8e58b2c57a4a5p-57},
    {409, 0x1.cc000c9db3c52p-3, 0x1.53d154280394fp-57},
    {408, 0x1.d1037f2655e7bp-3, 0x1.60629242471a2p-57},
    {406, 0x1.db13db0d48940p-3, 0x1.aa11d49f96cb9p-58},
    {405, 0x1.e020cc6235ab5p-3, 0x1.fea48dd7b81d1p-58},
    {404, 0x1.e530effe71012p-3, 0x1.2276041f43042p-59},
    {403, 0x1.ea4449f04aaf5p-3, -0x1.d33919ab94074p-57},
    {401, 0x1.f474b134df229p-3, -0x1.27c77ded76aadp-58},
    {400, 0x1.f991c6cb3b379p-3, 0x1.f665066f980a2p-57},
    {399, 0x1.feb2233ea07cdp-3, 0x1.8de00938b4c40p-61},
    {398, 0x1.01eae5626c691p-2, -0x1.18290bd2932e2p-59},
    {397, 0x1.047e60cde83b8p-2, -0x1.0779634061cbcp-56},
    {395, 0x1.09aa572e6c6d4p-2, 0x1.43c2e68684d53p-57},
    {394, 0x1.0c42d676162e3p-2, 0x1.162c79d5d11eep-58},
    {393, 0x1.0edd060b78081p-2, -0x1.92b49ef282b09p-57},
    {392, 0x1.1178e8227e47cp-2, -0x1.0e63a5f01c691p-57},
    {391, 0x1.14167ef367783p-2, 0x1.e0936abd4fa6ep-62},
    {390, 0x1.16b5ccbacfb73p-2, 0x1.66fbd28b40935p-56},
    {388, 0x1.1bf99635a6b95p-2, -0x1.12aeb84249223p-57},
    {387, 0x1.1e9e1678899f4p-2, 0x1.512c3749a1e4ep-56},
    {386, 0x1.214456d0eb8d4p-2, 0x1.f7ae91aeba60ap-57},
    {385, 0x1.23ec5991eba49p-2, 0x1.bb75d1addf870p-60},
    {384, 0x1.269621134db92p-2, 0x1.e0efadd9db02bp-56},
    {383, 0x1.2941afb186b7cp-2, -0x1.856e61c515740p-57},
    {382, 0x1.2bef07cdc9354p-2, -0x1.82dad7fd86088p-56},
    {380, 0x1.314f1e1d35ce4p-2, -0x1.3d69909e5c3dcp-56},
    {379, 0x1.3401e12aecba1p-2, -0x1.cd55b8a4746c0p-58},
    {378, 0x1.36b6776be1117p-2, -0x1.324f0e883858ep-58},
    {377, 0x1.396ce359bbf54p-2, -0x1.ce2b31b31e8b0p-58},
    {376, 0x1.3c25277333184p-2, -0x1.2ad27e50a8ec6p-56},
    {375, 0x1.3edf463c1683ep-2, 0x1.83d680d3c1084p-56},
    {374, 0x1.419b423d5e8c7p-2, 0x1.0dbb243827392p-57},
    {373, 0x1.44591e0539f49p-2, -0x1.2b125247b0fa5p-56},
    {372, 0x1.4718dc271c41bp-2, 0x1.8fb4c14c56eefp-60},
    {371, 0x1.49da7f3bcc41fp-2, -0x1.9964a168ccacap-57},
    {370, 0x1.4c9e09e172c3cp-2, -0x1.123615b147a5dp-58},
    {369, 0x1.4f637ebba9810p-2, -0x1.58cb3124b9245p-56},
    {368, 0x1.522ae0738a3d8p-2, -0x1.8f7e9b38a6979p-57},
    {367, 0x1.54f431b7be1a9p-2, -0x1.aacfdbbdab914p-56},
    {366, 0x1.57bf753c8d1fbp-2, -0x1.0908d15f88b63p-57},
    {365, 0x1.5a8cadbbedfa1p-2, -0x1.e6c2bdfb3e037p-58},
    {364, 0x1.5d5bddf595f30p-2, -0x1.6541148cbb8a2p-56},
    {363, 0x1.602d08af091ecp-2, -0x1.6e8920c09b73fp-58},
    {362, 0x1.630030b3aac49p-2, 0x1.dc18ce51fff99p-57},
    {361, 0x1.65d558d4ce00bp-2, -0x1.7605a4748480ap-56},
    {360, 0x1.68ac83e9c6a14p-2, 0x1.a64eadd740178p-58},
    {359, 0x1.6b85b4cffa3fdp-2, -0x1.8af2c8dafcb08p-57},
    {358, 0x1.6e60ee6af1972p-2, 0x1.657c222d868cdp-58},
    {357, 0x1.713e33a46a17cp-2, -0x1.9367a05ae38d3p-56},
    {356, 0x1.741d876c67bb1p-2, 0x1.84a4ee3059583p-56},
    {355, 0x1.76feecb947175p-2, -0x1.118d9eb4ea362p-56},
    {354, 0x1.79e26687cfb3ep-2, -0x1.c168817443f22p-56},
    {353, 0x1.7cc7f7db46a0ep-2, -0x1.8438023cdc3d3p-56},
    {352, 0x1.7fafa3bd8151cp-2, -0x1.219024acd3b77p-58},
    {351, 0x1.82996d3ef8bcbp-2, -0x1.2aa30536bb6bep-56},
    {350, 0x1.85855776dcbfbp-2, -0x1.486666443b153p-56},
    {349, 0x1.8873658327ccfp-2, -0x1.c43eff892d8d0p-58},
    {348, 0x1.8b639a88b2df5p-2, -0x1.70f2f38238303p-56},
    {347, 0x1.8e55f9b349b83p-2, 0x1.e2763763baffcp-56},
    {346, 0x1.914a8635bf68ap-2, -0x1.ad4bb98c1f2c5p-56},
    {345, 0x1.9441434a03259p-2, 0x1.c0e4afffa1b77p-56},
    {344, 0x1.973a3431356aep-2, -0x1.89d2816cf838fp-57},
    {344, 0x1.973a3431356aep-2, -0x1.89d2816cf838fp-57},
    {343, 0x1.9a355c33bd6bap-2, -0x1.959578e82a9d9p-57},
    {342, 0x1.9d32bea15ed3bp-2, 0x1.87bcbcfd3e187p-59},
    {341, -0x1.2596010df763ap-2, 0x1.0f76c57075e9ep-58},
    {340, -0x1.22941fbcf7966p-2, 0x1.76f5eb09628afp-56},
    {339, -0x1.1f8ff9e48a2f3p-2, 0x1.c9fdf9a0c4b07p-56},
    {338, -0x1.1c898c16999fbp-2, 0x1.0e5c62aff1c44p-60},
    {337, -0x1.1980d2dd4236fp-2, -0x1.9d3d1b0e4d147p-56},
    {337, -0x1.1980d2dd4236fp-2, -0x1.9d3d1b0e4d147p-56},
    {336, -0x1.1675cababa60ep-2, -0x1.ce63eab883717p-61},
    {335, -0x1.136870293a8b0p-2, -0x1.7b66298edd24ap-56},
    {334, -0x1.1058bf9ae4ad5p-2, -0x1.89fa0ab4cb31dp-58},
    {333, -0x1.0d46b579ab74bp-2, -0x1.03ec81c3cbd92p-57},
    {332, -0x1.0a324e27390e3p-2, -0x1.7dcfde8061c03p-56},
    {331, -0x1.071b85fcd590dp-2, -0x1.d1707f97bde80p-58},
    {331, -0x1.071b85fcd590dp-2, -0x1.d1707f97bde80p-58},
    {330, -0x1.0402594b4d041p-2, 0x1.28ec217a5022dp-57},
    {329, -0x1.00e6c45ad501dp-2, 0x1.cb9568ff6feadp-57},
    {328, -0x1.fb9186d5e3e2bp-3, 0x1.caaae64f21acbp-57},
    {327, -0x1.f550a564b7b37p-3, -0x1.c5f6dfd018c37p-61},
    {326, -0x1.ef0adcbdc5936p-3, -0x1.48637950dc20dp-57},
    {326, -0x1.ef0adcbdc5936p-3, -0x1.48637950dc20dp-57},
    {325, -0x1.e8c0252aa5a60p-3, 0x1.6e03a39bfc89bp-59},
    {324, -0x1.e27076e2af2e6p-3, 0x1.61578001e0162p-59},
    {323, -0x1.dc1bca0abec7dp-3, -0x1.834c51998b6fcp-57},
    {322, -0x1.d5c216b4fbb91p-3, -0x1.6e443597e4d40p-57},
    {322, -0x1.d5c216b4fbb91p-3, -0x1.6e443597e4d40p-57},
    {321, -0x1.cf6354e09c5dcp-3, -0x1.239a07d55b695p-57},
    {320, -0x1.c8ff7c79a9a22p-3, 0x1.4f689f8434012p-57},
    {319, -0x1.c2968558c18c1p-3, 0x1.73dee38a3fb6bp-57},
    {319, -0x1.c2968558c18c1p-3, 0x1.73dee38a3fb6bp-57},
    {318, -0x1.bc286742d8cd6p-3, -0x1.4fce744870f55p-58},
    {317, -0x1.b5b519e8fb5a4p-3, -0x1.ba27fdc19e1a0p-57},
    {316, -0x1.af3c94e80bff3p-3, 0x1.398cff3641985p-58},
    {315, -0x1.a8becfc882f19p-3, 0x1.e8c37918c39ebp-58},
    {315, -0x1.a8becfc882f19p-3, 0x1.e8c37918c39ebp-58},
    {314, -0x1.a23bc1fe2b563p-3, -0x1.93711b07a998cp-59},
    {313, -0x1.9bb362e7dfb83p-3, -0x1.575e31f003e0cp-57},
    {312, -0x1.9525a9cf456b4p-3, -0x1.d904c1d4e2e26p-57},
    {312, -0x1.9525a9cf456b4p-3, -0x1.d904c1d4e2e26p-57},
    {311, -0x1.8e928de886d41p-3, 0x1.569d851a56770p-57},
    {310, -0x1.87fa06520c911p-3, 0x1.bf7fdbfa08d9ap-57},
    {309, -0x1.815c0a14357ebp-3, 0x1.4be48073a0564p-58},
    {309, -0x1.815c0a14357ebp-3, 0x1.4be48073a0564p-58},
    {308, -0x1.7ab890210d909p-3, -0x1.be36b2d6a0608p-59},
    {307, -0x1.740f8f54037a5p-3, 0x1.b264062a84cdbp-58},
    {307, -0x1.740f8f54037a5p-3, 0x1.b264062a84cdbp-58},
    {306, -0x1.6d60fe719d21dp-3, 0x1.caae268ecd179p-57},
    {305, -0x1.66acd4272ad51p-3, 0x1.0900e4e1ea8b2p-58},
    {304, -0x1.5ff3070a793d4p-3, 0x1.bc60efafc6f6ep-58},
    {304, -0x1.5ff3070a793d4p-3, 0x1.bc60efafc6f6ep-58},
    {303, -0x1.59338d9982086p-3, 0x1.65d22aa8ad7cfp-58},
    {302, -0x1.526e5e3a1b438p-3, 0x1.746ff8a470d3ap-57},
    {302, -0x1.526e5e3a1b438p-3, 0x1.746ff8a470d3ap-57},
    {301, -0x1.4ba36f39a55e5p-3, -0x1.68981bcc36756p-57},
    {300, -0x1.44d2b6ccb7d1ep-3, -0x1.9f4f6543e1f88p-57},
    {300, -0x1.44d2b6ccb7d1ep-3, -0x1.9f4f6543e1f88p-57},
    {299, -0x1.3dfc2b0ecc62ap-3, 0x1.ab3a8e7d81017p-58},
    {298, -0x1.371fc201e8f74p-3, -0x1.de6cb62af18a0p-58},
    {298, -0x1.371fc201e8f74p-3, -0x1.de6cb62af18a0p-58},
    {297, -0x1.303d718e47fd3p-3, 0x1.6b9c7d96091fap-63},
    {296, -0x1.29552f81ff523p-3, -0x1.301771c407dbfp-57},
    {296, -0x1.29552f81ff523p-3, -0x1.301771c407dbfp-57},
    {295, -0x1.2266f190a5acbp-3, -0x1.f547bf1809e88p-57},
    {294, -0x1.1b72ad52f67a0p-3, -0x1.483023472cd74p-58},
    {294, -0x1.1b72ad52f67a0p-3, -0x1.483023472cd74p-58},
    {293, -0x1.14785846742acp-3, -0x1.a28813e3a7f07p-57},
    {292, -0x1.0d77e7cd08e59p-3, -0x1.9a5dc5e9030acp-57},
    {292, -0x1.0d77e7cd08e59p-3, -0x1.9a5dc5e9030acp-57},
    {291, -0x1.0671512ca596ep-3, -0x1.50c647eb86499p-58},
    {290, -0x1.fec9131dbeabbp-4, 0x1.5746b9981b36cp-58},
    {290, -0x1.fec9131dbeabbp-4, 0x1.5746b9981b36cp-58},
    {289, -0x1.f0a30c01162a6p-4, -0x1.85f325c5bbacdp-58},
    {288, -0x1.e27076e2af2e6p-4, 0x1.61578001e0162p-60},
    {288, -0x1.e27076e2af2e6p-4, 0x1.61578001e0162p-60},
    {287, -0x1.d4313d66cb35dp-4, -0x1.790dd951d90fap-58},
    {286, -0x1.c5e548f5bc743p-4, -0x1.5d617ef8161b1p-60},
    {286, -0x1.c5e548f5bc743p-4, -0x1.5d617ef8161b1p-60},
    {285, -0x1.b78c82bb0eda1p-4, -0x1.0878cf0327e21p-61},
    {285, -0x1.b78c82bb0eda1p-4, -0x1.0878cf0327e21p-61},
    {284, -0x1.a926d3a4ad563p-4, -0x1.942f48aa70ea9p-58},
    {283, -0x1.9ab42462033adp-4, 0x1.2099e1c184e8ep-59},
    {283, -0x1.9ab42462033adp-4, 0x1.2099e1c184e8ep-59},
    {282, -0x1.8c345d6319b21p-4, 0x1.4a697ab3424a9p-61},
    {282, -0x1.8c345d6319b21p-4, 0x1.4a697ab3424a9p-61},
    {281, -0x1.7da766d7b12cdp-4, 0x1.eeedfcdd94131p-58},
    {280, -0x1.6f0d28ae56b4cp-4, 0x1.906d99184b992p-58},
    {280, -0x1.6f0d28ae56b4cp-4, 0x1.906d99184b992p-58},
    {279, -0x1.60658a93750c4p-4, 0x1.388458ec21b6ap-58},
    {279, -0x1.60658a93750c4p-4, 0x1.388458ec21b6ap-58},
    {278, -0x1.51b073f06183fp-4, -0x1.a49e39a1a8be4p-58},
    {277, -0x1.42edcbea646f0p-4, -0x1.ddd4f935996c9p-59},
    {277, -0x1.42edcbea646f0p-4, -0x1.ddd4f935996c9p-59},
    {276, -0x1.341d7961bd1d1p-4, 0x1.b599f227becbbp-58},
    {276, -0x1.341d7961bd1d1p-4, 0x1.b599f227becbbp-58},
    {275, -0x1.253f62f0a1417p-4, 0x1.c125963fc4cfdp-62},
    {274, -0x1.16536eea37ae1p-4, 0x1.79da3e8c22cdap-60},
    {274, -0x1.16536eea37ae1p-4, 0x1.79da3e8c22cdap-60},
    {273, -0x1.075983598e471p-4, -0x1.80da5333c45b8p-59},
    {273, -0x1.075983598e471p-4, -0x1.80da5333c45b8p-59},
    {272, -0x1.f0a30c01162a6p-5, -0x1.85f325c5bbacdp-59},
    {272, -0x1.f0a30c01162a6p-5, -0x1.85f325c5bbacdp-59},
    {271, -0x1.d276b8adb0b52p-5, -0x1.1e3c53257fd47p-61},
    {271, -0x1.d276b8adb0b52p-5, -0x1.1e3c53257fd47p-61},
    {270, -0x1.b42dd711971bfp-5, 0x1.eb9759c130499p-60},
    {269, -0x1.95c830ec8e3ebp-5, -0x1.f5a0e80520bf2p-59},
    {269, -0x1.95c830ec8e3ebp-5, -0x1.f5a0e80520bf2p-59},
    {268, -0x1.77458f632dcfcp-5, -0x1.18d3ca87b9296p-59},
    {268, -0x1.77458f632dcfcp-5, -0x1.18d3ca87b9296p-59},
    {267, -0x1.58a5bafc8e4d5p-5, 0x1.ce55c2b4e2b72p-59},
    {267, -0x1.58a5bafc8e4d5p-5, 0x1.ce55c2b4e2b72p-59},
    {266, -0x1.39e87b9febd60p-5, 0x1.5bfa937f551bbp-59},
    {266, -0x1.39e87b9febd60p-5, 0x1.5bfa937f551bbp-59},
    {265, -0x1.1b0d98923d980p-5, 0x1.e9ae889bac481p-60},
    {265, -0x1.1b0d98923d980p-5, 0x1.e9ae889bac481p-60},
    {264, -0x1.f829b0e783300p-6, -0x1.33e3f04f1ef23p-60},
    {263, -0x1.b9fc027af9198p-6, 0x1.0ae69229dc868p-64},
    {263, -0x1.b9fc027af9198p-6, 0x1.0ae69229dc868p-64},
    {262, -0x1.7b91b07d5b11bp-6, 0x1.5b602ace3a510p-60},
    {262, -0x1.7b91b07d5b11bp-6, 0x1.5b602ace3a510p-60},
    {261, -0x1.3cea44346a575p-6, 0x1.0cb5a902b3a1cp-62},
    {261, -0x1.3cea44346a575p-6, 0x1.0cb5a902b3a1cp-62},
    {260, -0x1.fc0a8b0fc03e4p-7, 0x1.83092c59642a1p-62},
    {260, -0x1.fc0a8b0fc03e4p-7, 0x1.83092c59642a1p-62},
    {259, -0x1.7dc475f810a77p-7, 0x1.16d7687d3df21p-62},
    {259, -0x1.7dc475f810a77p-7, 0x1.16d7687d3df21p-62},
    {258, -0x1.fe02a6b106789p-8, 0x1.e44b7e3711ebfp-67},
    {258, -0x1.fe02a6b106789p-8, 0x1.e44b7e3711ebfp-67},
    {257, -0x1.ff00aa2b10bc0p-9, -0x1.2821ad5a6d353p-63},
    {257, -0x1.ff00aa2b10bc0p-9, -0x1.2821ad5a6d353p-63},
    {256, 0x0.0p+0, 0x0.0p+0},
};

// 1/3, 1/4, … 1/9: the series of log1p from its cubic term on, in powers of -r. With |r| below
// 2^-8 the terms from r^10 on stay below 2^-72 of log1p(r).
constexpr int kLogSeriesTerms = 7;
constexpr double kLogSeries[kLogSeriesTerms] = {1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6,
                                                1.0 / 7, 1.0 / 8, 1.0 / 9};

// ln 2 and -10 / ln 10 as pairs of doubles.
constexpr DoubleDouble kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr DoubleDouble kDecibelFactor = {-0x1.15f2ced384f29p+2, 0x1.02bea6b55233cp-53};

// -10 × log10(p) for a positive finite normal power, rounded to double as the literal route
// rounds it, unless the value lies within 2^-59 of its magnitude from a rounding boundary; then
// false.
// Lemma: if the literal value V and the value F = hi + lo computed here lie strictly between
// the same two adjacent double midpoints, both round to hi.
// Budget: V = RN64(RN64(c × log2 p) × -10) with c = RN64(log10 2) is three 64-bit roundings
// away from X = -10 log10 p: |V - X| ≤ 3 × 2^-64 (1 + 2^-63) |X| < 2^-62.4 |X|. F has a relative
// error below 2^-70: the table offsets and ln 2 as pairs of doubles (2^-106 each, times at most
// 1075 octaves against a logarithm of at least 2^-8 when either is used), the series cut after
// r^9 (|r|^10 < 2^-80, 2^-72 of log1p(r)), its tail in plain double (2^-50 of r³/3, below 2^-75
// of r), and the double-double sums and the product (2^-100 together).
// Threshold: a margin above 2^-59 |hi| exceeds |V - F| ≤ 2^-62.3 |X| by a factor of nine, so V
// lies between the same midpoints as F. Powers of two as results are left out: their rounding
// interval is not symmetric.
bool FastDecibels(double power, double &level) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(power);
  const int index = static_cast<int>((bits >> 44) & 0xff);
  int exponent = static_cast<int>(bits >> 52) - 1023;
  const LogEntry &entry = kLogTable[index];
  exponent += index >= 128 ? 1 : 0;
  const double mantissa = std::bit_cast<double>((bits & 0x000fffffffffffffu) | 0x3ff0000000000000u);
  const double r = std::fma(mantissa, entry.inverse, -1.0);

  // log1p(r) = r - r²/2 + r³ (1/3 - r/4 + …), the tail in plain double (below 2^-24 × r).
  const double square = r * r;
  const double squareError = std::fma(r, r, -square);
  double tail = kLogSeries[kLogSeriesTerms - 1];
  for (int n = kLogSeriesTerms - 2; n >= 0; --n) {
    tail = tail * -r + kLogSeries[n];
  }
  tail *= square * r;
  const DoubleDouble head = TwoSum(r, -0.5 * square);
  const double e = exponent;
  const double octaves = e * kLn2.hi;
  const double octavesError = std::fma(e, kLn2.hi, -octaves);
  const DoubleDouble first = TwoSum(octaves, entry.hi);
  const DoubleDouble second = TwoSum(first.hi, head.hi);
  const double low = first.lo + second.lo + (octavesError + e * kLn2.lo + entry.lo) +
                     (head.lo - 0.5 * squareError + tail);
  const DoubleDouble logarithm = TwoSum(second.hi, low);

  const double product = kDecibelFactor.hi * logarithm.hi;
  const double productLow = std::fma(kDecibelFactor.hi, logarithm.hi, -product) +
                            (kDecibelFactor.hi * logarithm.lo + kDecibelFactor.lo * logarithm.hi);
  const DoubleDouble result = TwoSum(product, productLow);
  if (result.hi == 0 || IsPowerOfTwo(result.hi)) {
    return false;
  }
  level = result.hi;
  return Ulp(result.hi) / 2 - std::fabs(result.lo) > std::fabs(result.hi) * 0x1p-59;
}

double FloatBinLevel(float re, float im, bool decibel) {
  double power;
  const double square0 = static_cast<double>(re) * re;
  const double square1 = static_cast<double>(im) * im;
  if (!decibel || !FastPower(square0, square1, power)) {
    if (decibel) {
      ++Fallbacks().levels;
    }
    return LiteralLevel(LiteralPower(re, im), decibel);
  }
  if (power == 0) {
    return kZeroPowerLevel;
  }
  double level;
  if (std::isfinite(power) && FastDecibels(power, level)) {
    return level;
  }
  ++Fallbacks().levels;
  return LiteralLevel(power, true);
}

#if defined(__x86_64__)

struct Pair {
  __m256d hi, lo;
};

VIREO_AVX2_INLINE Pair TwoSum4(__m256d a, __m256d b) {
  const __m256d sum = _mm256_add_pd(a, b);
  const __m256d bPart = _mm256_sub_pd(sum, a);
  return {sum, _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(sum, bPart)), _mm256_sub_pd(b, bPart))};
}

// TwoSum when |a| has at least the exponent of |b| (or a is 0): three operations.
VIREO_AVX2_INLINE Pair FastTwoSum4(__m256d a, __m256d b) {
  const __m256d sum = _mm256_add_pd(a, b);
  return {sum, _mm256_sub_pd(b, _mm256_sub_pd(sum, a))};
}

VIREO_AVX2_INLINE __m256d Ulp4(__m256d x) {
  const __m256i exponent =
      _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(0x7ff0000000000000));
  return _mm256_castsi256_pd(
      _mm256_sub_epi64(exponent, _mm256_set1_epi64x(std::int64_t{52} << 52)));
}

// Lanes that are a power of two (or zero): no mantissa bits.
VIREO_AVX2_INLINE __m256d PowerOfTwoLanes(__m256d x) {
  const __m256i mantissa =
      _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(0x000fffffffffffff));
  return _mm256_castsi256_pd(_mm256_cmpeq_epi64(mantissa, _mm256_setzero_si256()));
}

VIREO_AVX2_INLINE __m256d Abs4(__m256d x) {
  return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
}

// FastPower and FastDecibels on four bins at once; `doubtful` marks the lanes that the scalar
// code must decide (zero power included, which has its own level).
VIREO_AVX2 __m256d VectorDecibels(__m256d square0, __m256d square1, __m256d &doubtful) {
  const Pair power = TwoSum4(square0, square1);
  const __m256d p = power.hi;
  const __m256d half = _mm256_mul_pd(Ulp4(p), _mm256_set1_pd(0.5));
  const __m256d error = Abs4(power.lo);
  const __m256d powerSure = _mm256_or_pd(
      _mm256_cmp_pd(power.lo, _mm256_setzero_pd(), _CMP_EQ_OQ),
      _mm256_andnot_pd(
          PowerOfTwoLanes(p),
          _mm256_or_pd(_mm256_cmp_pd(error, half, _CMP_EQ_OQ),
                       _mm256_cmp_pd(Abs4(_mm256_sub_pd(error, half)),
                                     _mm256_mul_pd(half, _mm256_set1_pd(0x1p-10)), _CMP_GT_OQ))));
  const __m256d normal =
      _mm256_and_pd(_mm256_cmp_pd(p, _mm256_set1_pd(0x1p-1022), _CMP_GE_OQ),
                    _mm256_cmp_pd(p, _mm256_set1_pd(0x1.fffffffffffffp1023), _CMP_LE_OQ));

  const __m256i bits = _mm256_castpd_si256(p);
  const __m256i index = _mm256_and_si256(_mm256_srli_epi64(bits, 44), _mm256_set1_epi64x(0xff));
  // Table rows looked up one by one: gathers are slow on some CPUs.
  alignas(32) std::int64_t rows[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(rows), index);
  const LogEntry &e0 = kLogTable[rows[0]], &e1 = kLogTable[rows[1]];
  const LogEntry &e2 = kLogTable[rows[2]], &e3 = kLogTable[rows[3]];
  const __m256d inverse = _mm256_set_pd(e3.inverse, e2.inverse, e1.inverse, e0.inverse);
  const __m256d offsetHi = _mm256_set_pd(e3.hi, e2.hi, e1.hi, e0.hi);
  const __m256d offsetLo = _mm256_set_pd(e3.lo, e2.lo, e1.lo, e0.lo);
  // The exponent, one higher for the upper half of the table, as a double via 2^52 + e.
  const __m256i biased = _mm256_add_epi64(_mm256_srli_epi64(bits, 52), _mm256_srli_epi64(index, 7));
  const __m256d e = _mm256_sub_pd(
      _mm256_castsi256_pd(_mm256_or_si256(biased, _mm256_set1_epi64x(0x4330000000000000))),
      _mm256_set1_pd(0x1p52 + 1023));
  const __m256d mantissa = _mm256_castsi256_pd(
      _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(0x000fffffffffffff)),
                      _mm256_set1_epi64x(0x3ff0000000000000)));
  const __m256d r = _mm256_fmsub_pd(mantissa, inverse, _mm256_set1_pd(1.0));

  const __m256d square = _mm256_mul_pd(r, r);
  const __m256d squareError = _mm256_fmsub_pd(r, r, square);
  const __m256d minusR = _mm256_xor_pd(r, _mm256_set1_pd(-0.0));
  // Estrin's scheme: pairs of terms first, for a short dependency chain.
  const __m256d r2 = _mm256_mul_pd(minusR, minusR), r4 = _mm256_mul_pd(r2, r2);
  const __m256d low2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[1]), minusR, _mm256_set1_pd(kLogSeries[0]));
  const __m256d mid2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[3]), minusR, _mm256_set1_pd(kLogSeries[2]));
  const __m256d high2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[5]), minusR, _mm256_set1_pd(kLogSeries[4]));
  __m256d tail = _mm256_fmadd_pd(_mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[6]), r2, high2), r4,
                                 _mm256_fmadd_pd(mid2, r2, low2));
  tail = _mm256_mul_pd(tail, _mm256_mul_pd(square, r));
  const __m256d halfSquare = _mm256_mul_pd(square, _mm256_set1_pd(-0.5));
  const Pair head = TwoSum4(r, halfSquare);
  const __m256d ln2Hi = _mm256_set1_pd(kLn2.hi);
  const __m256d octaves = _mm256_mul_pd(e, ln2Hi);
  const __m256d octavesError = _mm256_fmsub_pd(e, ln2Hi, octaves);
  // |e| ln 2 is at least ln 2 unless e is 0, and every offset is below 0.41 in magnitude.
  const Pair first = FastTwoSum4(octaves, offsetHi);
  const Pair second = TwoSum4(first.hi, head.hi);
  const __m256d low = _mm256_add_pd(
      _mm256_add_pd(
          _mm256_add_pd(first.lo, second.lo),
          _mm256_add_pd(_mm256_fmadd_pd(e, _mm256_set1_pd(kLn2.lo), octavesError), offsetLo)),
      _mm256_add_pd(_mm256_fmadd_pd(squareError, _mm256_set1_pd(-0.5), head.lo), tail));
  const Pair logarithm = FastTwoSum4(second.hi, low);

  const __m256d factorHi = _mm256_set1_pd(kDecibelFactor.hi);
  const __m256d product = _mm256_mul_pd(factorHi, logarithm.hi);
  const __m256d productLow = _mm256_add_pd(
      _mm256_fmsub_pd(factorHi, logarithm.hi, product),
      _mm256_fmadd_pd(factorHi, logarithm.lo,
                      _mm256_mul_pd(_mm256_set1_pd(kDecibelFactor.lo), logarithm.hi)));
  const Pair result = FastTwoSum4(product, productLow);
  const __m256d margin =
      _mm256_sub_pd(_mm256_mul_pd(Ulp4(result.hi), _mm256_set1_pd(0.5)), Abs4(result.lo));
  const __m256d levelSure = _mm256_andnot_pd(
      PowerOfTwoLanes(result.hi),
      _mm256_cmp_pd(margin, _mm256_mul_pd(Abs4(result.hi), _mm256_set1_pd(0x1p-59)), _CMP_GT_OQ));
  doubtful = _mm256_xor_pd(_mm256_and_pd(_mm256_and_pd(powerSure, normal), levelSure),
                           _mm256_castsi256_pd(_mm256_set1_epi64x(-1)));
  return result.hi;
}

// Decibel levels of the bins first … first + count - 1, four at a time, the doubtful ones
// through FloatBinLevel.
VIREO_AVX2 void VectorBinLevels(const SpectrumFrame &spectrum, int first, int count,
                                double *levels) {
  constexpr int kLanes = 4;
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const __m256 pairs = _mm256_loadu_ps(&spectrum[2 * (first + i)]);
    const __m256d low = _mm256_cvtps_pd(_mm256_castps256_ps128(pairs));
    const __m256d high = _mm256_cvtps_pd(_mm256_extractf128_ps(pairs, 1));
    const __m256d lowSquares = _mm256_mul_pd(low, low), highSquares = _mm256_mul_pd(high, high);
    // Bins in the lane order 0, 2, 1, 3, put back in order when stored.
    __m256d doubtful;
    const __m256d level = VectorDecibels(_mm256_unpacklo_pd(lowSquares, highSquares),
                                         _mm256_unpackhi_pd(lowSquares, highSquares), doubtful);
    _mm256_storeu_pd(&levels[i], _mm256_permute4x64_pd(level, 0xd8));
    const int redo = _mm256_movemask_pd(_mm256_permute4x64_pd(doubtful, 0xd8));
    for (int lane = 0; redo != 0 && lane < kLanes; ++lane) {
      if (redo & (1 << lane)) {
        const int bin = first + i + lane;
        levels[i + lane] = FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], true);
      }
    }
  }
  for (; i < count; ++i) {
    levels[i] = FloatBinLevel(spectrum[2 * (first + i)], spectrum[2 * (first + i) + 1], true);
  }
}

#endif

} // namespace

double BinLevel(double re, double im, bool decibel) {
  const float reFloat = static_cast<float>(re), imFloat = static_cast<float>(im);
  if (reFloat == re && imFloat == im) {
    return FloatBinLevel(reFloat, imFloat, decibel);
  }
  return LiteralLevel(LiteralPower(re, im), decibel);
}

void BinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel, double *levels) {
#if defined(__x86_64__)
  if (decibel && UsesVectorPath()) {
    VectorBinLevels(spectrum, first, count, levels);
    return;
  }
#endif
  for (int i = 0; i < count; ++i) {
    const int bin = first + i;
    levels[i] = FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel);
  }
}

double LevelToAmplitude(double linearLevel) {
  // The reciprocal of the double 90.31 and the factor 0.1, each rounded to 64 bits:
  // 0.011072970878086590353 and 0.1000000000000000000013553. With them zero power (level
  // 90.31) comes back as exactly 0.
  static const Extended inverseScale = Extended(1) / kLinearLevelScale;
  static const Extended amplitudeScale = Extended(1) / 10;
  return ((1 - linearLevel * inverseScale) * amplitudeScale).ToDouble();
}

} // namespace analysis
