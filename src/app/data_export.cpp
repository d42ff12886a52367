#include "app/data_export.h"

#include <cstdio>

#include "analysis/level.h"
#include "display/number_format.h"

namespace {

constexpr int kDecimals = 6;
constexpr long double kBinScale = 1.0L / analysis::kFrameLength;
constexpr std::string_view kLineEnd = "\r\n";

// About the length of one line, so that the text is allocated once.
constexpr std::size_t kLineReserve = 32;

void AppendLine(std::string &text, const std::string &first, double second) {
  text += first;
  text += '\t';
  text += display::FormatFixed(second, kDecimals);
  text += kLineEnd;
}

} // namespace

std::string FormatRawData(const analysis::TimeFrame &timeData) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    AppendLine(text, std::to_string(i), timeData[i]);
  }
  return text;
}

std::string FormatSpectrumData(const analysis::SpectrumFrame &spectrumData, double sampleRate,
                               bool decibel) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int j = 0; j < analysis::kFrameLength; ++j) {
    const double re = spectrumData[2 * j];
    const double im = spectrumData[2 * j + 1];
    const double frequency = static_cast<double>(j * kBinScale * sampleRate);
    // The level scale counts attenuation; the file shows the power in dB, so the sign flips
    // and the zero-power level 999 becomes -999.
    const double value = decibel ? -analysis::BinLevel(re, im, true)
                                 : analysis::LevelToAmplitude(analysis::BinLevel(re, im, false));
    AppendLine(text, display::FormatFixed(frequency, kDecimals), value);
  }
  return text;
}

bool WriteExportFile(const std::string &fileName, std::string_view text) {
  // A name with an embedded NUL would silently name another file.
  if (fileName.find('\0') != std::string::npos) {
    return false;
  }
  std::FILE *file = std::fopen(fileName.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  // Closing flushes the buffer: a full disk often shows only here.
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}
