#include "core/data_export.h"

#include "analysis/extended.h"
#include "analysis/level.h"
#include "display/number_format.h"

namespace core {

namespace {

constexpr int kDecimals = 6;
constexpr std::string_view kLineEnd = "\r\n";

// About the length of one line, so that the text is allocated once.
constexpr std::size_t kLineReserve = 32;

// "first", TAB, then `second` with six decimals.
std::string Line(std::string first, double second) {
  first += '\t';
  first += display::FormatFixed(second, kDecimals);
  return first;
}

// The 4096 lines lineOf(0) ... lineOf(4095), each followed by the line end.
template <typename LineOf> std::string Lines(LineOf lineOf) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    text += lineOf(i);
    text += kLineEnd;
  }
  return text;
}

} // namespace

std::string FormatRawData(const analysis::TimeFrame &timeData) {
  return Lines([&](int i) { return Line(std::to_string(i), timeData[i]); });
}

std::string SpectrumLine(const analysis::SpectrumFrame &spectrumData, int bin, double sampleRate,
                         bool decibel) {
  const double re = spectrumData[2 * bin];
  const double im = spectrumData[2 * bin + 1];
  // bin × 2^-12 (exact) × sampleRate at extended precision, then rounded to double.
  using analysis::Extended;
  const double frequency =
      (Extended(bin) * Extended(1.0 / analysis::kFrameLength) * Extended(sampleRate)).ToDouble();
  // The level scale counts attenuation; the file shows the power in dB, so the sign flips
  // and the zero-power level 999 becomes -999.
  const double value = decibel ? -analysis::BinLevel(re, im, true)
                               : analysis::LevelToAmplitude(analysis::BinLevel(re, im, false));
  return Line(display::FormatFixed(frequency, kDecimals), value);
}

std::string FormatSpectrumData(const analysis::SpectrumFrame &spectrumData, double sampleRate,
                               bool decibel) {
  return Lines([&](int j) { return SpectrumLine(spectrumData, j, sampleRate, decibel); });
}

} // namespace core
