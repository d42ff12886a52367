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

std::string SpectrumLine(const analysis::FrameResult &result, int bin, double sampleRate) {
  // bin × 2^-12 (exact) × sampleRate at extended precision, then rounded to double.
  using analysis::Extended;
  const double frequency =
      (Extended(bin) * Extended(1.0 / analysis::kFrameLength) * Extended(sampleRate)).ToDouble();
  // The level scale counts attenuation; the file shows the power in dB, so the sign flips
  // and the zero-power level 999 becomes -999.
  const double level = result.levels[bin];
  const double value = result.decibel ? -level : analysis::LevelToAmplitude(level);
  return Line(display::FormatFixed(frequency, kDecimals), value);
}

std::string FormatSpectrumData(const analysis::FrameResult &result, double sampleRate) {
  return Lines([&](int j) { return SpectrumLine(result, j, sampleRate); });
}

} // namespace core
