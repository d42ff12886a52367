#include "display/cursor_readout.h"

#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

#include "display/number_format.h"

namespace display {

namespace {

constexpr int kActiveLeft = 17;
constexpr int kActiveRight = 273;
constexpr int kActiveTop = 9;
constexpr int kActiveBottom = 137;
constexpr long double kColumnScale = 1.0L / 4096;
constexpr long double kInverseA4 = 1.0L / 440;
// 440 Hz is note 45; the half rounds the nearest note up before truncation.
constexpr long double kNotePositionOffset = 45.5L;
constexpr int kHighestOctaveNote = 95;
constexpr std::size_t kFrequencyWidth = 6;

// Solfège names by the remainder of the note number; entry 10 ends in a full-width sharp.
constexpr std::array<std::string_view, 12> kNoteNames = {
    " ド", " ド#", " レ", " レ#", " ミ", " ファ", " ファ#", " ソ", " ソ#", " ラ", " ラ＃", " シ"};

} // namespace

int NoteNumber(double frequency) {
  if (!(frequency > 0) || !std::isfinite(frequency)) {
    return -1;
  }
  // The ratio and the scaled logarithm are each rounded to double, as stored intermediates.
  const double ratio = static_cast<double>(frequency * kInverseA4);
  const double semitones = static_cast<double>(12 * std::log(static_cast<long double>(ratio)));
  return static_cast<int>(semitones / std::numbers::ln2_v<long double> + kNotePositionOffset);
}

std::string NoteText(double frequency) {
  std::string text;
  const int note = NoteNumber(frequency);
  if (note >= 0 && note <= kHighestOctaveNote) {
    text += " オクターブ" + std::to_string(note / 12 + 1);
  }
  const int remainder = note % 12;
  if (remainder >= 0) {
    text += kNoteNames[remainder];
  }
  return text;
}

std::optional<std::string> CursorReadout(int x, int y, double sampleRate, double frameTime,
                                         int viewOffset, int binsPerColumn) {
  if (x < kActiveLeft || x > kActiveRight || y < kActiveTop || y > kActiveBottom) {
    return std::nullopt;
  }
  const double frequency =
      static_cast<double>(sampleRate * kColumnScale * binsPerColumn * (x - kActiveLeft) +
                          static_cast<long double>(viewOffset) / frameTime);

  std::string text = FormatFixed(frequency, 1);
  if (text.size() < kFrequencyWidth) {
    text.insert(0, kFrequencyWidth - text.size(), ' ');
  }
  text += "Hz:";
  text += NoteText(frequency);
  return text;
}

} // namespace display
