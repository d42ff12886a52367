#pragma once

// The vector lane types and the operations of exact_double.h on them. Lane<V> holds one vector
// of the language extension: 2, 4 or 8 doubles (Double2, Quad, Double8), 4, 8 or 16 floats
// (Float4, Float8, Float16), or their bits; Twin<T> holds twice the lanes of T as two halves.
// Comparisons give masks with all bits of a lane set where true, or a BitMask (kBitMasks); a
// plain value is copied into every lane. The operations here are written with the extension
// alone and carry no instruction set.
//
// The lane contract. An arithmetic path is a lane set: a struct with
//   Floats   the floats of as many butterflies as the path transforms at once (float: one);
//   Wide     their doubles, as many lanes (a Twin of two registers of doubles);
//   Doubles  the doubles of the scaling and the levels (one register);
//   kPath    its ArithmeticPath (the enum and the names are in arithmetic_path.h);
//   CpuRuns  whether this processor has its instructions;
//   Run      its entry point: runs kernel(lanes) compiled for its instructions.
// VectorLanes<N> gives the types for N float lanes. An instruction-set header, one per target
// architecture and included at the end of this one, holds the architecture's table:
//   must supply  its lane sets, and Paths: PathList<PortableLanes, its lane sets narrowest
//                first>, read by the processor check, the build check and the dispatch
//                (arithmetic_path.cpp, lane_paths.h) and through --version by scripts/test;
//                for its lane types ConvertTo (floats to doubles and back, 32-bit masks to
//                64-bit ones, a whole register at once), Fma and Sqrt (rounded once), and None
//                of a vector mask.
//   may override with a more constrained overload (found where a kernel is instantiated, so
//                after this header): Load of floats as doubles, ToFloat of a Twin, Join,
//                NotGreater, Select and Opaque (here through memory) where the instruction set
//                does better; kBitMasks<V> for vectors whose comparisons give a bit per lane,
//                which then need Compare<Comparison> and may have Select of a BitMask.
// Limits: a power of two of float lanes, at most kMaxLanes (the transposes and the first stages
// of the transform), and Doubles at most as wide as Floats. Loads and stores need only the
// alignment of their element; the frames and tables are aligned to 64 bytes, the widest
// register, for speed alone.
// Compiler rules: kernels and lane operations are always inlined (VIREO_KERNEL, and
// VIREO_KERNEL_LAMBDA for the kernels' lambdas), so that each is compiled for the instructions
// of the entry point it ends up in; an operation that needs an instruction carries its path's
// target attribute and is inlined only into the entry points of that path or a wider one. The
// whole build has -ffp-contract=off: the compiler fuses no a × b + c of its own, the fused ones
// are the Fma and MultiplyAdd that a budget allows. Nothing may assume a rounding mode other
// than to nearest, or flush subnormals.

#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace analysis::exact {

// The masks of lanes whose comparisons give a bit per lane, as AVX-512's do (in its k
// registers). Widened to a vector of all-ones lanes, as other masks are, each would cost an
// instruction to form and the tests of their union more.
template <int N> struct BitMask {
  using Word = std::conditional_t<(N > 8), std::uint16_t, std::uint8_t>;
  static constexpr int kCount = N;
  friend VIREO_KERNEL BitMask operator|(BitMask a, BitMask b) { return {Word(a.bits | b.bits)}; }
  friend VIREO_KERNEL BitMask operator&(BitMask a, BitMask b) { return {Word(a.bits & b.bits)}; }
  friend VIREO_KERNEL BitMask operator!(BitMask a) { return {Word(~a.bits)}; }
  Word bits;
};
template <int N> VIREO_KERNEL bool None(BitMask<N> a) {
  return a.bits == 0;
}
template <int N> VIREO_KERNEL bool At(BitMask<N> a, int i) {
  return (a.bits >> i) & 1;
}
template <int N> VIREO_KERNEL BitMask<N / 2> Low(BitMask<N> a) {
  return {typename BitMask<N / 2>::Word(a.bits)};
}
template <int N> VIREO_KERNEL BitMask<N / 2> High(BitMask<N> a) {
  return {typename BitMask<N / 2>::Word(a.bits >> N / 2)};
}
// The comparisons of lanes whose masks are BitMasks, given by Compare<Comparison>.
enum class Comparison { kEqual, kNotEqual, kLess, kGreater };
// Whether the comparisons of vectors V give BitMasks: set by an instruction-set header whose
// comparisons write mask registers, before it uses such lanes.
template <typename V> inline constexpr bool kBitMasks = false;
// The most lanes of any lane type.
inline constexpr int kMaxLanes = 16;

template <typename E, int N> struct VectorOf {
  typedef E type __attribute__((vector_size(sizeof(E) * N)));
  typedef E unaligned __attribute__((vector_size(sizeof(E) * N), aligned(alignof(E))));
};
// N lanes of E as one vector of the language extension, and the same in memory aligned only as E.
template <typename E, int N> using Vector = typename VectorOf<E, N>::type;
template <typename E, int N> using Unaligned = typename VectorOf<E, N>::unaligned;

// One vector register with the operators of the language extension. The register is copied as a
// whole: with the implicit copy, GCC may split a copy into integer pieces in a kernel's body,
// which it compiles without the path's instructions before inlining it.
template <typename V> struct Lane {
  using Element = std::remove_cvref_t<decltype(V{}[0])>;
  static constexpr int kCount = sizeof(V) / sizeof(Element);
  using Words =
      Vector<std::conditional_t<sizeof(Element) == 8, std::uint64_t, std::uint32_t>, kCount>;
  // Masks of one type per lane width: the types that comparisons give differ between compilers
  // and between element types (long or long long).
  static constexpr bool kBitMask = kBitMasks<V>;
  using Mask = std::conditional_t<
      kBitMask, BitMask<kCount>,
      Lane<Vector<std::conditional_t<sizeof(Element) == 8, std::int64_t, std::int32_t>, kCount>>>;
  Lane() = default;
  VIREO_KERNEL Lane(const V &vector) : v(vector) {}
  template <typename S>
  requires std::is_arithmetic_v<S> VIREO_KERNEL Lane(S x) : v(static_cast<Element>(x) - V{}) {}
  Lane(const Lane &other) : v(other.v) {}
  Lane &operator=(const Lane &other) {
    v = other.v;
    return *this;
  }
  friend VIREO_KERNEL Lane operator+(const Lane &a, const Lane &b) { return a.v + b.v; }
  friend VIREO_KERNEL Lane operator-(const Lane &a, const Lane &b) { return a.v - b.v; }
  friend VIREO_KERNEL Lane operator*(const Lane &a, const Lane &b) { return a.v * b.v; }
  friend VIREO_KERNEL Lane operator/(const Lane &a, const Lane &b) { return a.v / b.v; }
  // Bitwise through a view as words, which keeps GCC from turning a chain of compared masks into
  // blends.
  friend VIREO_KERNEL Lane operator&(const Lane &a, const Lane &b) {
    return V(Words(a.v) & Words(b.v));
  }
  friend VIREO_KERNEL Lane operator|(const Lane &a, const Lane &b) {
    return V(Words(a.v) | Words(b.v));
  }
  friend VIREO_KERNEL Lane operator>>(const Lane &a, int bits) { return a.v >> bits; }
  friend VIREO_KERNEL Lane operator-(const Lane &a) { return -a.v; }
  friend VIREO_KERNEL Lane operator!(const Lane &a) { return V(~Words(a.v)); } // of a mask
#define VIREO_LANE_COMPARISON(op, comparison)                                                      \
  friend VIREO_KERNEL Mask operator op(const Lane &a, const Lane &b) {                             \
    if constexpr (kBitMask) {                                                                      \
      return Compare<comparison>(a, b);                                                            \
    } else {                                                                                       \
      return decltype(Mask::v)(a.v op b.v);                                                        \
    }                                                                                              \
  }
  VIREO_LANE_COMPARISON(==, Comparison::kEqual)
  VIREO_LANE_COMPARISON(!=, Comparison::kNotEqual)
  VIREO_LANE_COMPARISON(<, Comparison::kLess)
  VIREO_LANE_COMPARISON(>, Comparison::kGreater)
#undef VIREO_LANE_COMPARISON
  V v;
};
using Float2 = Lane<Vector<float, 2>>;
using Double2 = Lane<Vector<double, 2>>;
using Quad = Lane<Vector<double, 4>>;
using Double8 = Lane<Vector<double, 8>>;
using Float4 = Lane<Vector<float, 4>>;
using Float8 = Lane<Vector<float, 8>>;
using Float16 = Lane<Vector<float, 16>>;
template <int N> using FloatMask = Lane<Vector<std::int32_t, N>>;
template <int N> using DoubleMask = Lane<Vector<std::int64_t, N>>;

template <typename L> inline constexpr bool kIsLane = false;
template <typename V> inline constexpr bool kIsLane<Lane<V>> = true;

// Twice the lanes of T as two halves; a plain value is copied into both halves.
template <typename T> struct Twin {
  static constexpr int kCount = 2 * T::kCount;
  Twin() = default;
  VIREO_KERNEL Twin(const T &low, const T &high) : lo(low), hi(high) {}
  template <typename S> VIREO_KERNEL Twin(const S &x) : lo(x), hi(x) {}
  friend VIREO_KERNEL Twin operator-(const Twin &a) { return {-a.lo, -a.hi}; }
  friend VIREO_KERNEL auto operator!(const Twin &a) { return exact::Twin(!a.lo, !a.hi); }
  friend VIREO_KERNEL auto Bits(const Twin &a) { return exact::Twin(Bits(a.lo), Bits(a.hi)); }
  friend VIREO_KERNEL auto FromBits(const Twin &a) {
    return exact::Twin(FromBits(a.lo), FromBits(a.hi));
  }
  friend VIREO_KERNEL Twin Abs(const Twin &a) { return {Abs(a.lo), Abs(a.hi)}; }
  friend VIREO_KERNEL auto NotGreater(const Twin &a, const Twin &b) {
    return exact::Twin(NotGreater(a.lo, b.lo), NotGreater(a.hi, b.hi));
  }
  friend VIREO_KERNEL Twin Fma(const Twin &a, const Twin &b, const Twin &c) {
    return {Fma(a.lo, b.lo, c.lo), Fma(a.hi, b.hi, c.hi)};
  }
  friend VIREO_KERNEL Twin Sqrt(const Twin &a) { return {Sqrt(a.lo), Sqrt(a.hi)}; }
#define VIREO_TWIN_OPERATOR(op)                                                                    \
  friend VIREO_KERNEL auto operator op(const Twin &a, const Twin &b) {                             \
    return exact::Twin(a.lo op b.lo, a.hi op b.hi);                                                \
  }
  VIREO_TWIN_OPERATOR(+)
  VIREO_TWIN_OPERATOR(-)
  VIREO_TWIN_OPERATOR(*)
  VIREO_TWIN_OPERATOR(/)
  VIREO_TWIN_OPERATOR(&)
  VIREO_TWIN_OPERATOR(|)
  VIREO_TWIN_OPERATOR(==)
  VIREO_TWIN_OPERATOR(!=)
  VIREO_TWIN_OPERATOR(<)
  VIREO_TWIN_OPERATOR(>)
#undef VIREO_TWIN_OPERATOR
  friend VIREO_KERNEL auto operator>>(const Twin &a, int bits) {
    return exact::Twin(a.lo >> bits, a.hi >> bits);
  }
  T lo, hi;
};

// The bits of each lane as an unsigned integer, and back.
template <typename V> VIREO_KERNEL auto Bits(const Lane<V> &a) {
  return Lane<typename Lane<V>::Words>(typename Lane<V>::Words(a.v));
}
template <typename V> VIREO_KERNEL auto FromBits(const Lane<V> &a) {
  return Lane<Vector<double, Lane<V>::kCount>>(
      reinterpret_cast<Vector<double, Lane<V>::kCount>>(a.v));
}
template <typename V> VIREO_KERNEL Lane<V> Abs(const Lane<V> &a) {
  return (!Lane<V>(-0.0)) & a;
}
// !(a > b): true where either is NaN (lanes_x86.h has single instructions for it).
template <typename V> VIREO_KERNEL auto NotGreater(const Lane<V> &a, const Lane<V> &b) {
  return !(a > b);
}
template <typename V> VIREO_KERNEL auto IsInfinite(const Lane<V> &a) {
  return Abs(a) == Lane<V>(INFINITY);
}
// Lanes that are infinite or NaN.
template <typename V> VIREO_KERNEL auto IsNotFinite(const Lane<V> &a) {
  return NotGreater(Lane<V>(INFINITY), Abs(a));
}

// Added to a double below 2^51 in magnitude, rounds it to the nearest integer (ties to even) and
// leaves that integer's two's complement in the low bits of the sum.
inline constexpr double kRoundingShift = 0x1.8p52;

// a in the lanes where the mask (of a's width) is set, b elsewhere.
template <typename V, typename M>
VIREO_KERNEL Lane<V> Select(const Lane<M> &mask, const Lane<V> &a, const Lane<V> &b) {
  const Lane<V> set = V(mask.v);
  return (set & a) | ((!set) & b);
}
template <std::floating_point T> T Select(bool mask, T a, T b) {
  return mask ? a : b;
}

// Lane by lane conversion of the elements (float to double exact, double to float rounded to
// nearest, 32-bit masks to 64-bit ones), a whole register at once: the ConvertTo of lanes_x86.h
// and lanes_neon.h (GCC 12 converts floats to doubles one by one).
template <typename To, typename V> VIREO_KERNEL Lane<To> Convert(const Lane<V> &a) {
  return ConvertTo(a, static_cast<Lane<To> *>(nullptr));
}

// Lanes loaded from floats or doubles (converted to the lane's element), and stored as floats.
template <typename V, typename T> VIREO_KERNEL void Load(const T *from, Lane<V> &to) {
  // A copy of the type aligned as T: a reference to it would bind as a V, aligned as V.
  const Vector<T, Lane<V>::kCount> loaded =
      *reinterpret_cast<const Unaligned<T, Lane<V>::kCount> *>(from);
  if constexpr (std::is_same_v<T, typename Lane<V>::Element>) {
    to = loaded;
  } else {
    to = Convert<V>(Lane<Vector<T, Lane<V>::kCount>>(loaded));
  }
}
template <typename T, typename V> VIREO_KERNEL void Store(T *to, const Lane<V> &x) {
  using Target = Unaligned<T, Lane<V>::kCount>;
  if constexpr (std::is_same_v<typename Lane<V>::Element, T>) {
    *reinterpret_cast<Target *>(to) = x.v;
  } else {
    *reinterpret_cast<Target *>(to) = Convert<Vector<T, Lane<V>::kCount>>(x).v;
  }
}
// The lanes unchanged, as a value the compiler must take as unknown (see Opaque in
// exact_double.h): here through memory (a few cycles, on rare branches), where an instruction-set
// header names no register for them.
template <typename V> VIREO_KERNEL Lane<V> Opaque(Lane<V> a) {
  asm("" : "+m"(a.v));
  return a;
}
// Lane i, read and set (for the rare lanes that are redone one by one).
template <typename V> VIREO_KERNEL auto At(const Lane<V> &a, int i) {
  return a.v[i];
}
template <typename V> VIREO_KERNEL void SetAt(Lane<V> &a, int i, typename Lane<V>::Element x) {
  a.v[i] = x;
}
template <typename T, typename E> VIREO_KERNEL void Load(const E *from, Twin<T> &to) {
  Load(from, to.lo);
  Load(from + T::kCount, to.hi);
}
template <typename E, typename T> VIREO_KERNEL void Store(E *to, const Twin<T> &x) {
  Store(to, x.lo);
  Store(to + T::kCount, x.hi);
}
// The other operations of one Lane on two halves: the low one holds the first lanes.
template <typename T> VIREO_KERNEL bool None(const Twin<T> &a) {
  return None(a.lo | a.hi);
}
template <typename T> VIREO_KERNEL auto At(const Twin<T> &a, int i) {
  return i < T::kCount ? At(a.lo, i) : At(a.hi, i - T::kCount);
}
template <typename T> VIREO_KERNEL void LoadPairs(const float *from, Twin<T> &re, Twin<T> &im) {
  LoadPairs(from, re.lo, im.lo);
  LoadPairs(from + 2 * T::kCount, re.hi, im.hi);
}
template <typename L, typename Row, typename T>
VIREO_KERNEL L Gather(const Row *table, const Twin<T> &index, double Row::*field) {
  return {Gather<decltype(L::lo)>(table, index.lo, field),
          Gather<decltype(L::hi)>(table, index.hi, field)};
}
// The low and the high half of the lanes, and two halves joined.
template <std::size_t Offset, typename V, std::size_t... I>
VIREO_KERNEL auto Part(const Lane<V> &a, std::index_sequence<I...>) {
  return Lane<Vector<typename Lane<V>::Element, sizeof...(I)>>(
      __builtin_shufflevector(a.v, a.v, Offset + I...));
}
template <typename V> VIREO_KERNEL auto Low(const Lane<V> &a) {
  return Part<0>(a, std::make_index_sequence<Lane<V>::kCount / 2>());
}
template <typename V> VIREO_KERNEL auto High(const Lane<V> &a) {
  return Part<Lane<V>::kCount / 2>(a, std::make_index_sequence<Lane<V>::kCount / 2>());
}
template <typename V, std::size_t... I>
VIREO_KERNEL auto Join(const Lane<V> &low, const Lane<V> &high, std::index_sequence<I...>) {
  return Lane<Vector<typename Lane<V>::Element, sizeof...(I)>>(
      __builtin_shufflevector(low.v, high.v, I...));
}
template <typename V> VIREO_KERNEL auto Join(const Lane<V> &low, const Lane<V> &high) {
  return Join(low, high, std::make_index_sequence<2 * Lane<V>::kCount>());
}

// Floats widened exactly to the doubles of W (a Lane or a Twin of as many lanes).
template <typename W, typename V> VIREO_KERNEL W Widen(const Lane<V> &a) {
  if constexpr (kIsLane<W>) {
    return Convert<decltype(W::v)>(a);
  } else {
    return {Widen<decltype(W::lo)>(Low(a)), Widen<decltype(W::hi)>(High(a))};
  }
}
// Doubles rounded to nearest floats.
template <typename V> VIREO_KERNEL auto ToFloat(const Lane<V> &a) {
  return Convert<Vector<float, Lane<V>::kCount>>(a);
}
template <typename T> VIREO_KERNEL auto ToFloat(const Twin<T> &a) {
  return Join(ToFloat(a.lo), ToFloat(a.hi));
}
// The mask of each float widened to its double's lane (of W's shape).
template <typename W, typename M> VIREO_KERNEL auto WidenMask(const M &a) {
  if constexpr (kIsLane<W>) {
    if constexpr (W::kBitMask) {
      return a;
    } else {
      return Convert<Vector<std::int64_t, M::kCount>>(a);
    }
  } else {
    return Twin(WidenMask<decltype(W::lo)>(Low(a)), WidenMask<decltype(W::hi)>(High(a)));
  }
}

// The low 32 bits of each double (all 29 below float precision) gathered into one vector, lanes
// in no useful order: enough for a test of whether any lane is on a float midpoint.
template <typename V, std::size_t... I>
VIREO_KERNEL auto LowWords(const Lane<V> &a, std::index_sequence<I...>) {
  using Narrow = Vector<std::uint32_t, 2 * Lane<V>::kCount>;
  const Narrow all = reinterpret_cast<Narrow>(a.v);
  return Lane<Vector<std::uint32_t, sizeof...(I)>>(__builtin_shufflevector(all, all, 2 * I...));
}
template <typename V> VIREO_KERNEL auto LowWords(const Lane<V> &a) {
  return LowWords(a, std::make_index_sequence<Lane<V>::kCount>());
}
// Of two halves: word i of the result comes from 128-bit block i / 4, of the low half for
// i % 4 < 2, so that the picks stay within the blocks of the registers.
constexpr std::size_t TwinLowWord(std::size_t i, std::size_t halfWords) {
  return 4 * (i / 4) + 2 * (i % 2) + (i % 4 / 2) * halfWords;
}
// The words are picked as floats, which x86-64 does in one instruction (as integers in two).
template <typename T, std::size_t... I>
VIREO_KERNEL auto LowWords(const Twin<T> &a, std::index_sequence<I...>) {
  constexpr std::size_t kHalfWords = 2 * T::kCount;
  using Narrow = Vector<float, kHalfWords>;
  return Lane<Vector<std::uint32_t, sizeof...(I)>>(
      reinterpret_cast<Vector<std::uint32_t, sizeof...(I)>>(__builtin_shufflevector(
          reinterpret_cast<Narrow>(a.lo.v), reinterpret_cast<Narrow>(a.hi.v),
          TwinLowWord(I, kHalfWords)...)));
}
template <typename T> VIREO_KERNEL auto LowWords(const Twin<T> &a) {
  return LowWords(a, std::make_index_sequence<2 * T::kCount>());
}

// Pairs (re, im) one after the other from `from` on, split into their parts and widened to the
// double lanes re and im.
template <typename V, std::size_t... I>
VIREO_KERNEL void LoadPairs(const float *from, Lane<V> &re, Lane<V> &im,
                            std::index_sequence<I...>) {
  using Pairs = Vector<float, 2 * sizeof...(I)>;
  Lane<Pairs> pairs;
  Load(from, pairs);
  using Parts = Lane<Vector<float, sizeof...(I)>>;
  re = Convert<V>(Parts(__builtin_shufflevector(pairs.v, pairs.v, 2 * I...)));
  im = Convert<V>(Parts(__builtin_shufflevector(pairs.v, pairs.v, 2 * I + 1 ...)));
}
template <typename V> VIREO_KERNEL void LoadPairs(const float *from, Lane<V> &re, Lane<V> &im) {
  LoadPairs(from, re, im, std::make_index_sequence<Lane<V>::kCount>());
}

// Pairs of doubles one after the other from `from` on, the first and the second of each pair in
// the lanes of `first` and `second`.
template <typename V, std::size_t... I>
VIREO_KERNEL void LoadPairs(const double *from, Lane<V> &first, Lane<V> &second,
                            std::index_sequence<I...>) {
  Lane<Vector<double, 2 * sizeof...(I)>> pairs;
  Load(from, pairs);
  first = __builtin_shufflevector(pairs.v, pairs.v, 2 * I...);
  second = __builtin_shufflevector(pairs.v, pairs.v, 2 * I + 1 ...);
}
template <typename V>
VIREO_KERNEL void LoadPairs(const double *from, Lane<V> &first, Lane<V> &second) {
  LoadPairs(from, first, second, std::make_index_sequence<Lane<V>::kCount>());
}
inline void LoadPairs(const double *from, double &first, double &second) {
  first = from[0];
  second = from[1];
}

// Lane i of the result is member `field` of the table's row at lane i of the index, loaded one by
// one (gather instructions are slow on some CPUs).
template <typename L, typename Row, typename V>
VIREO_KERNEL L Gather(const Row *table, const Lane<V> &index, double Row::*field) {
  double values[L::kCount];
  for (int i = 0; i < L::kCount; ++i) {
    values[i] = table[index.v[i]].*field;
  }
  L gathered;
  Load(values, gathered);
  return gathered;
}

// Lanes i of `first` and `second`: the doubles from[2 × index[i]] and from[2 × index[i] + 1],
// loaded as one pair. The even rows side by side and the odd ones, then each 128-bit block split.
template <std::size_t Odd, std::size_t... J>
VIREO_KERNEL auto JoinRows(const Double2 *rows, std::index_sequence<J...>) {
  if constexpr (sizeof...(J) == 1) {
    return rows[Odd];
  } else {
    constexpr std::size_t kHalf = sizeof...(J) / 2;
    return Join(JoinRows<Odd>(rows, std::make_index_sequence<kHalf>()),
                JoinRows<Odd>(rows + 2 * kHalf, std::make_index_sequence<kHalf>()));
  }
}
template <typename V, typename I, std::size_t... J>
VIREO_KERNEL void GatherPairs(const double *from, const Lane<I> &index, Lane<V> &first,
                              Lane<V> &second, std::index_sequence<J...>) {
  constexpr std::size_t kCount = sizeof...(J);
  Double2 rows[kCount];
  for (std::size_t j = 0; j < kCount; ++j) {
    Load(from + 2 * index.v[j], rows[j]);
  }
  const auto even = JoinRows<0>(rows, std::make_index_sequence<kCount / 2>());
  const auto odd = JoinRows<1>(rows, std::make_index_sequence<kCount / 2>());
  first = __builtin_shufflevector(even.v, odd.v, (J % 2 ? kCount + J - 1 : J)...);
  second = __builtin_shufflevector(even.v, odd.v, (J % 2 ? kCount + J : J + 1)...);
}
template <typename V, typename I>
VIREO_KERNEL void GatherPairs(const double *from, const Lane<I> &index, Lane<V> &first,
                              Lane<V> &second) {
  GatherPairs(from, index, first, second, std::make_index_sequence<Lane<V>::kCount>());
}
inline void GatherPairs(const double *from, std::uint64_t index, double &first, double &second) {
  first = from[2 * index];
  second = from[2 * index + 1];
}

// Pairs (re[i], im[i]) stored one after the other from `to` on: the first half of the pairs, then
// the second.
template <typename V, std::size_t... I>
VIREO_KERNEL void StoreInterleaved(float *to, const Lane<V> &re, const Lane<V> &im,
                                   std::index_sequence<I...>) {
  constexpr std::size_t n = sizeof...(I);
  Store(to, Lane<V>(__builtin_shufflevector(re.v, im.v, (I / 2 + I % 2 * n)...)));
  Store(to + n, Lane<V>(__builtin_shufflevector(re.v, im.v, (n / 2 + I / 2 + I % 2 * n)...)));
}
template <typename V>
VIREO_KERNEL void StoreInterleaved(float *to, const Lane<V> &re, const Lane<V> &im) {
  StoreInterleaved(to, re, im, std::make_index_sequence<Lane<V>::kCount>());
}

// Transposes the square of floats held in rows[0 … n - 1] (n lanes each). Element (r, c) of the
// square goes to (c, r), which exchanges the bits of r and c: the step for bit b exchanges it in
// each pair of rows r, r + b, swapping the elements whose column has bit b set in row r with
// those whose column lacks it in row r + b.
template <std::size_t B, typename V, std::size_t... I>
VIREO_KERNEL void TransposeStep(Lane<V> *rows, std::index_sequence<I...>) {
  constexpr std::size_t n = sizeof...(I);
  for (std::size_t r = 0; r < n; ++r) {
    if ((r & B) == 0) {
      const V low = rows[r].v, high = rows[r + B].v;
      rows[r] = __builtin_shufflevector(low, high, ((I & B) ? n + I - B : I)...);
      rows[r + B] = __builtin_shufflevector(low, high, ((I & B) ? n + I : I + B)...);
    }
  }
}
template <typename V, std::size_t... B>
VIREO_KERNEL void Transpose(Lane<V> *rows, std::index_sequence<B...>) {
  (TransposeStep<std::size_t{1} << B>(rows, std::make_index_sequence<Lane<V>::kCount>()), ...);
}
template <typename V> VIREO_KERNEL void Transpose(Lane<V> (&rows)[Lane<V>::kCount]) {
  Transpose(rows, std::make_index_sequence<std::countr_zero(unsigned{Lane<V>::kCount})>());
}

// The lane types of a path with N float lanes (see the lane contract above).
template <int N> struct VectorLanes {
  static_assert(std::has_single_bit(unsigned{N}) && N <= kMaxLanes);
  using Floats = Lane<Vector<float, N>>;
  using Wide = Twin<Lane<Vector<double, N / 2>>>;
  using Doubles = Lane<Vector<double, N / 2>>;
};

// The lane sets of the paths of an architecture, narrowest first.
template <typename... Sets> struct PathList {
  // Calls visit(lanes) with each lane set in turn.
  template <typename Visit> static void ForEach(Visit &&visit) { (visit(Sets{}), ...); }
};

// Called where legacy-SSE code (the portable path, the scalar loops) is entered: clears the upper
// halves of the vector registers (vzeroupper) on a CPU with AVX. Code that ends with them dirty
// (the toolkit's start-up does) makes every legacy-SSE instruction wait on them on Intel CPUs, the
// portable analysis pass 20 times slower.
inline void CleanUpperHalves();

// One double or float at a time, on every processor. On x86-64 that is legacy SSE: it starts
// with clean upper register halves.
struct PortableLanes {
  using Floats = float;
  using Wide = double;
  using Doubles = double;
  static constexpr ArithmeticPath kPath = ArithmeticPath::Portable;
  static bool CpuRuns() { return true; }
  template <typename Kernel> static auto Run(Kernel &kernel) {
    CleanUpperHalves();
    return kernel(PortableLanes{});
  }
};

} // namespace analysis::exact

#if defined(__x86_64__)
#include "analysis/lanes_x86.h"
#elif defined(__aarch64__)
#include "analysis/lanes_neon.h"
#else
namespace analysis::exact {
using Paths = PathList<PortableLanes>;
} // namespace analysis::exact
#endif

namespace analysis::exact {

inline void CleanUpperHalves() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx")) {
    ZeroUpperHalves();
  }
#endif
}

} // namespace analysis::exact
