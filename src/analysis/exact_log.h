#pragma once

// Logarithms as the extended-precision arithmetic defines them: the logarithm to base 2 of the
// argument, multiplied by a constant that is itself rounded to 64 bits, the exact product
// rounded once to a 64-bit significand (nearest, ties to even). No processor instruction or
// library routine with its own rounding is involved, so every machine gives the same bits.

#include "analysis/exact_double.h"
#include "analysis/extended.h"

namespace analysis {

// ln x for a finite x > 0 as an unevaluated sum of two doubles, within 2^-81 of its magnitude.
exact::DoubleDouble NaturalLogPair(double x);

// RN64(RN64(log10 2) × log2 p) for a finite p > 0.
Extended DecimalLog(double p);

// RN64(RN64(ln 2) × log2 x) for a finite x > 0.
Extended NaturalLog(double x);

// RN64(ln 2), from the pair kLn2 (its sum lies within 2^-109 of ln 2, far from a 64-bit
// midpoint).
inline Extended Ln2() {
  return Extended(exact::kLn2.hi) + exact::kLn2.lo;
}

} // namespace analysis
