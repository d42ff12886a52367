// Writes the constant tables of the frame arithmetic, from GNU MPFR (command line: see
// table_file.h): the rows of the logarithm's table, the FFT's twiddles and the window weights.
// Where the values that the analysis has always used are not the correctly rounded ones, the
// table keeps them; those entries are listed below with their distance from the exact rounding.

#include "table_file.h"

#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

constexpr mpfr_prec_t kBits = 256;
constexpr int kFrameLength = 4096;
constexpr int kLogRows = 256;

// cos and sin of the twiddle angles as the C library gave them to the first releases, one
// double ulp from the correctly rounded value: angle index → ulps to add (toward +∞ if 1).
const std::map<int, int> kCosKept = {{1856, -1}, {2315, -1}, {3312, -1}, {3365, 1}, {3411, 1}};
const std::map<int, int> kSinKept = {{141, 1}, {1751, 1}, {3773, -1}, {3997, 1}};
// Window weights as the C library's extended sine gave them to the first releases, one 64-bit
// ulp from the correctly rounded value (70 of 4096, most near the end, where the sine is small).
const std::map<int, int> kWindowKept = {
    {2765, 1},  {3529, 1},  {3614, -1}, {3907, -1}, {3910, -1}, {3912, -1}, {3921, -1}, {3923, -1},
    {3929, -1}, {3930, -1}, {3931, -1}, {3935, 1},  {3938, 1},  {3942, 1},  {3947, 1},  {3949, 1},
    {3953, 1},  {3955, 1},  {3959, 1},  {3961, 1},  {3968, 1},  {3972, 1},  {3973, 1},  {3974, 1},
    {3976, 1},  {3978, 1},  {3979, 1},  {3981, 1},  {3987, 1},  {3988, 1},  {3989, 1},  {3990, 1},
    {3992, 1},  {3996, 1},  {3998, 1},  {4000, 1},  {4004, 1},  {4005, 1},  {4007, 1},  {4010, 1},
    {4011, 1},  {4014, 1},  {4020, -1}, {4025, -1}, {4027, -1}, {4028, -1}, {4031, -1}, {4038, -1},
    {4039, -1}, {4041, -1}, {4042, -1}, {4048, -1}, {4058, -1}, {4063, -1}, {4064, -1}, {4067, -1},
    {4069, -1}, {4071, -1}, {4072, -1}, {4074, -1}, {4075, -1}, {4076, 1},  {4078, 1},  {4082, 1},
    {4085, 1},  {4087, 1},  {4088, 1},  {4089, 1},  {4092, -1}, {4094, -1}};

std::string Hex(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

// An MPFR number with kBits bits.
class Real {
public:
  Real() { mpfr_init2(value_, kBits); }
  Real(const Real &) = delete;
  Real &operator=(const Real &) = delete;
  ~Real() { mpfr_clear(value_); }
  mpfr_ptr operator*() { return value_; }

private:
  mpfr_t value_;
};

// Throws unless the value, with one rounding at kBits bits (none if inexact is 0), lies far
// enough from a rounding boundary of `bits` bits that this rounding cannot matter.
void CheckRounding(mpfr_ptr value, int inexact, mpfr_prec_t bits, const std::string &what) {
  if (inexact != 0 && !mpfr_can_round(value, kBits - 2, MPFR_RNDN, MPFR_RNDZ, bits + 1)) {
    throw std::runtime_error(what + " needs more bits");
  }
}

double Kept(double correct, const std::map<int, int> &kept, int index) {
  const auto found = kept.find(index);
  return found == kept.end() ? correct : std::nextafter(correct, found->second * INFINITY);
}

// Row i covers mantissas in [1 + i/256, 1 + (i + 1)/256) and multiplies them by N/512, N the
// integer nearest 512 over the middle of the interval (512 for row 0, so that mantissas near 1
// keep their full precision); the offset is -ln(N/512), or -ln(N/256) for rows from 128 on,
// whose exponent is counted one higher. It is split into the nearest double and the double
// nearest the rest.
void LogTable(std::ostringstream &out) {
  out << "// Rows of the natural logarithm: mantissas m in [1 + i/256, 1 + (i + 1)/256) are "
         "multiplied by\n"
         "// inverse = N/512, so that r = m × inverse - 1 is below 2^-8 in magnitude and exact "
         "in double;\n"
         "// hi + lo is -ln(N/512) for i < 128 and -ln(N/256) for the upper half (whose "
         "exponent is counted\n"
         "// one higher), hi the nearest double and lo the double nearest the rest. Rows 0 and "
         "255 are\n"
         "// exactly 1 and 1/2 with offset 0, so that powers near 1 keep their full relative "
         "precision.\n"
         "struct LogRow {\n  double inverse, hi, lo;\n};\n"
         "inline constexpr LogRow kLog["
      << kLogRows << "] = {\n";
  Real offset;
  for (int i = 0; i < kLogRows; ++i) {
    const int numerator =
        i == 0 ? 512 : static_cast<int>(std::lround(512 / (1 + (i + 0.5) / kLogRows)));
    mpfr_set_ui(*offset, numerator, MPFR_RNDN);
    mpfr_div_ui(*offset, *offset, i < kLogRows / 2 ? 512 : 256, MPFR_RNDN);
    mpfr_log(*offset, *offset, MPFR_RNDN);
    mpfr_neg(*offset, *offset, MPFR_RNDN);
    const double hi = mpfr_get_d(*offset, MPFR_RNDN);
    mpfr_sub_d(*offset, *offset, hi, MPFR_RNDN);
    const double lo = mpfr_get_d(*offset, MPFR_RNDN);
    out << "    {" << numerator << " * 0x1p-9, " << Hex(hi) << ", " << Hex(lo) << "},\n";
  }
  out << "};\n\n";
}

// cos(i × w) and -sin(i × w) for w = 2π/4096 rounded to float (13176795 × 2^-33); i × w is
// exact in double.
void TwiddleTables(std::ostringstream &out) {
  std::ostringstream cosines, sines;
  Real angle, value;
  for (int i = 0; i < kFrameLength; ++i) {
    mpfr_set_d(*angle, i * (13176795 * 0x1p-33), MPFR_RNDN);
    CheckRounding(*value, mpfr_cos(*value, *angle, MPFR_RNDN), 53, "cos " + std::to_string(i));
    cosines << "    " << Hex(Kept(mpfr_get_d(*value, MPFR_RNDN), kCosKept, i)) << ",\n";
    CheckRounding(*value, mpfr_sin(*value, *angle, MPFR_RNDN), 53, "sin " + std::to_string(i));
    sines << "    " << Hex(-Kept(mpfr_get_d(*value, MPFR_RNDN), kSinKept, i)) << ",\n";
  }
  out << "// cos(i × w) and -sin(i × w) for w = 2π/4096 rounded to float, 13176795 × 2^-33: "
         "the\n// nearest double, except for the entries that the first releases had one ulp "
         "off\n// (cos 1856, 2315, 3312, 3365, 3411; sin 141, 1751, 3773, 3997).\n"
         "inline constexpr double kCos["
      << kFrameLength << "] = {\n"
      << cosines.str() << "};\ninline constexpr double kNegSin[" << kFrameLength << "] = {\n"
      << sines.str() << "};\n\n";
}

// The window weight of sample i: the sine of the double nearest RN64(i × π) × 2^-12 (π the
// double), rounded to a 64-bit significand, as significand × 2^exponent.
void WindowTable(std::ostringstream &out) {
  out << "// sin(a) for a the double nearest RN64(i × π) × 2^-12, π the double: the nearest "
         "value with a\n// 64-bit significand, as significand × 2^exponent (0 for i = 0).\n"
         "struct WindowWeight {\n  std::uint64_t significand;\n  int exponent;\n};\n"
         "inline constexpr WindowWeight kWindow["
      << kFrameLength << "] = {\n";
  Real angle, value;
  for (int i = 0; i < kFrameLength; ++i) {
    mpfr_set_prec(*angle, 64);
    mpfr_set_d(*angle, std::numbers::pi, MPFR_RNDN);
    mpfr_mul_si(*angle, *angle, i, MPFR_RNDN);
    const double a = std::ldexp(mpfr_get_d(*angle, MPFR_RNDN), -12);
    mpfr_set_prec(*angle, kBits);
    mpfr_set_d(*angle, a, MPFR_RNDN);
    mpfr_set_prec(*value, kBits);
    CheckRounding(*value, mpfr_sin(*value, *angle, MPFR_RNDN), 64,
                  "window weight " + std::to_string(i));
    std::uint64_t significand = 0;
    long exponent = 0;
    if (!mpfr_zero_p(*value)) {
      mpfr_prec_round(*value, 64, MPFR_RNDN);
      exponent = mpfr_get_exp(*value) - 64;
      mpfr_mul_2si(*value, *value, -exponent, MPFR_RNDN);
      significand = mpfr_get_uj(*value, MPFR_RNDN);
      const auto found = kWindowKept.find(i);
      if (found != kWindowKept.end()) {
        significand += found->second;
      }
    }
    out << "    {0x" << std::hex << significand << std::dec << "u, " << exponent << "},\n";
  }
  out << "};\n\n";
}

std::string Tables() {
  std::ostringstream out;
  out << "// Generated by tools/make_analysis_tables.cpp from GNU MPFR; do not edit.\n"
         "#pragma once\n\n#include <cstdint>\n\nnamespace analysis::tables {\n\n"
         "// clang-format off\n";
  LogTable(out);
  TwiddleTables(out);
  WindowTable(out);
  out << "// clang-format on\n\n} // namespace analysis::tables\n";
  return out.str();
}

} // namespace

int main(int argc, char **argv) {
  return tools::WriteOrCheck(argc, argv, Tables);
}
