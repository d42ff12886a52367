#include "core/data_export.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>

#include "analysis/extended.h"
#include "analysis/level.h"
#include "display/number_format.h"

namespace core {

namespace {

constexpr int kDecimals = 6;
constexpr std::string_view kLineEnd = "\r\n";

// About the length of one line, so that the text is allocated once.
constexpr std::size_t kLineReserve = 32;

// The frequency texts of every bin at one sample rate (its bits), end to end.
struct FrequencyColumn {
  std::optional<std::uint64_t> sampleRate;
  std::string text;
  std::array<std::uint32_t, analysis::kFrameLength + 1> starts{};
};

// The 4096 lines, each `fill` appending one to the text and followed by the line end.
template <typename Fill> std::string Lines(Fill fill) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    fill(text, i);
    text += kLineEnd;
  }
  return text;
}

} // namespace

std::string FormatRawData(const analysis::TimeFrame &timeData) {
  return Lines([&](std::string &text, int i) {
    char digits[8];
    text.append(digits, std::to_chars(std::begin(digits), std::end(digits), i).ptr);
    text += '\t';
    display::AppendFixed(text, timeData[i], kDecimals);
  });
}

std::string_view FrequencyText(int bin, double sampleRate) {
  thread_local FrequencyColumn column;
  if (column.sampleRate != std::bit_cast<std::uint64_t>(sampleRate)) {
    column.sampleRate = std::bit_cast<std::uint64_t>(sampleRate);
    column.text.clear();
    for (int j = 0; j < analysis::kFrameLength; ++j) {
      // j × 2^-12 (exact) × sampleRate at extended precision, then rounded to double.
      using analysis::Extended;
      const double frequency =
          (Extended(j) * Extended(1.0 / analysis::kFrameLength) * Extended(sampleRate)).ToDouble();
      column.starts[j] = static_cast<std::uint32_t>(column.text.size());
      display::AppendFixed(column.text, frequency, kDecimals);
    }
    column.starts[analysis::kFrameLength] = static_cast<std::uint32_t>(column.text.size());
  }
  return std::string_view(column.text)
      .substr(column.starts[bin], column.starts[bin + 1] - column.starts[bin]);
}

char *WriteSpectrumValue(char *first, char *last, const analysis::FrameResult &result, int bin) {
  // The level scale counts attenuation; the file shows the power in dB, so the sign flips
  // and the zero-power level 999 becomes -999.
  const double level = result.levels[bin];
  const double value = result.decibel ? -level : analysis::LevelToAmplitude(level);
  return std::to_chars(first, last, value, std::chars_format::fixed, kDecimals).ptr;
}

void AppendSpectrumValue(std::string &text, const analysis::FrameResult &result, int bin) {
  std::array<char, 400> buffer;
  text.append(buffer.data(), WriteSpectrumValue(buffer.begin(), buffer.end(), result, bin));
}

std::string SpectrumLine(const analysis::FrameResult &result, int bin, double sampleRate) {
  std::string line(FrequencyText(bin, sampleRate));
  line += '\t';
  AppendSpectrumValue(line, result, bin);
  return line;
}

std::string FormatSpectrumData(const analysis::FrameResult &result, double sampleRate) {
  return Lines([&](std::string &text, int j) {
    text += FrequencyText(j, sampleRate);
    text += '\t';
    AppendSpectrumValue(text, result, j);
  });
}

} // namespace core
