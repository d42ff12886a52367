#pragma once

// The reduction of the natural logarithm, written once for every lane type. A positive normal
// double x is 2^e × m with m in [1, 2); the top 8 bits of m's fraction pick a row of kLog
// (analysis_tables.h) whose factor f = N/512 (N/256 in the upper half, where e counts one higher)
// makes r = m × f - 1 below 2^-8 in magnitude and exact in double (a multiple of 2^-61, formed by
// CancellingFma). Then ln x = e ln 2 + offset + log1p(r), the row holding offset = -ln f as a pair
// of doubles.

#include "analysis/analysis_tables.h"
#include "analysis/exact_double.h"

#include <cstdint>

namespace analysis::exact {

// The rows of the logarithm table at each lane's index (Gather: one by one).
template <typename L> struct LogRows { L inverse, hi, lo; };
template <typename L, typename I> VIREO_KERNEL LogRows<L> LoadLogRows(const I &index) {
  using tables::kLog;
  return {Gather<L>(kLog, index, &tables::LogRow::inverse),
          Gather<L>(kLog, index, &tables::LogRow::hi), Gather<L>(kLog, index, &tables::LogRow::lo)};
}

template <typename L> struct ReducedLog {
  L octaves; // e, an integer
  LogRows<L> row;
  L r;
};

// x reduced in each lane, for positive normal x; e becomes a double through 2^52 + e.
template <typename L> VIREO_KERNEL ReducedLog<L> ReduceLog(const L &x) {
  const auto bits = Bits(x);
  const auto index = (bits >> 44) & 0xff;
  const LogRows<L> row = LoadLogRows<L>(index);
  const L e = FromBits(((bits >> 52) + (index >> 7)) | 0x4330000000000000u) - (0x1p52 + 1023);
  const L mantissa = FromBits((bits & kMantissaMask) | 0x3ff0000000000000u);
  return {e, row, CancellingFma<true>(mantissa, row.inverse, -1.0)};
}

// e ln 2 + offset as hi + lo. FastTwoSum suffices: |e| ln 2 is at least ln 2 unless e is 0, and
// every offset is below 0.41 in magnitude. The two are zero, or their sum is at least 2^-9 in
// magnitude (rows 0 and 255 have offset 0), so the errors of ln 2 and the offset as pairs of
// doubles (2^-106 of each) and the roundings of the low part (2^-53 of e × 2^-53, and without
// FMA of e × 2^-55) stay below 2^-96 of the sum.
template <typename L> VIREO_KERNEL Pair<L> OctavesAndOffset(const ReducedLog<L> &x) {
  const Pair<L> octaves = TwoProduct<true>(kLn2.hi, x.octaves);
  const Pair<L> sum = FastTwoSum(octaves.hi, x.row.hi);
  return {sum.hi, sum.lo + (MultiplyAdd(x.octaves, kLn2.lo, octaves.lo) + x.row.lo)};
}

} // namespace analysis::exact
