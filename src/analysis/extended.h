#pragma once

// Extended precision as the frame arithmetic defines it: binary floating point with a 64-bit
// significand, every operation rounded to nearest with ties to even. It is computed with integer
// arithmetic, so it gives the same bits on every processor. The exponent range is wider than any
// value the program forms (and at least that of the 80-bit format), so no result is subnormal or
// overflows before it is rounded to double or float.
//
// Special values follow x86-64: an invalid operation (inf - inf, 0 × inf, 0 / 0, the square root
// of a negative number) gives the negative quiet NaN; a NaN operand is passed on quieted, the
// first one when both are NaN.

#include <compare>
#include <cstdint>

namespace analysis {

class Extended {
public:
  // +0.
  constexpr Extended() = default;
  // Exact, so that doubles, floats and integers up to 2^53 mix with extended values as they do
  // in a C expression evaluated at extended precision.
  Extended(double value);

  // Exact: (-1)^negative × significand × 2^exponent, normalised here.
  static Extended FromParts(bool negative, std::uint64_t significand, int exponent);
  // Exact for every 64-bit integer.
  static Extended FromInteger(std::int64_t value);

  friend Extended operator+(Extended a, Extended b);
  friend Extended operator-(Extended a, Extended b);
  friend Extended operator*(Extended a, Extended b);
  friend Extended operator/(Extended a, Extended b);
  friend Extended operator-(Extended a);
  friend Extended Sqrt(Extended a);
  // IEEE comparison: NaN is unordered, -0 equals +0.
  friend std::partial_ordering operator<=>(Extended a, Extended b);
  friend bool operator==(Extended a, Extended b);

  // Rounded to nearest even, with the target's subnormals, overflow to infinity and NaN payload
  // truncation as a hardware conversion does them.
  double ToDouble() const;
  float ToFloat() const;
  // Truncated toward zero, as a C cast to an integer does. NaN, infinities and values of
  // magnitude 2^63 or more give INT64_MIN, the hardware conversion's "integer indefinite".
  std::int64_t Truncate() const;

  bool IsNaN() const { return kind_ == Kind::NaN; }
  bool IsInfinite() const { return kind_ == Kind::Infinite; }
  bool IsZero() const { return kind_ == Kind::Zero; }
  bool Negative() const { return negative_; }
  // For finite non-zero values: value = ±Significand() × 2^Exponent(), top bit of the
  // significand set. For NaN the significand holds the payload, top bit (quiet) set.
  std::uint64_t Significand() const { return significand_; }
  int Exponent() const { return exponent_; }

private:
  enum class Kind : std::uint8_t { Zero, Finite, Infinite, NaN };

  Kind kind_ = Kind::Zero;
  bool negative_ = false;
  std::uint64_t significand_ = 0;
  int exponent_ = 0;

  static Extended Special(Kind kind, bool negative, std::uint64_t significand = 0,
                          int exponent = 0);
  static Extended DefaultNaN();
  // The first of the operands that is a NaN, made quiet.
  static Extended PassNaN(Extended a, Extended b);
  // ToDouble and ToFloat.
  template <typename Binary> Binary Narrowed() const;
  // Rounds ±magnitude × 2^exponent, a 128-bit magnitude, to 64 bits; sticky is true when
  // non-zero bits lie below the 128 given.
  static Extended Round(bool negative, unsigned __int128 magnitude, int exponent, bool sticky);
};

// Also callable with a double or an integer.
Extended Sqrt(Extended a);

} // namespace analysis
