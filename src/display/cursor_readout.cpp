#include "display/cursor_readout.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include "analysis/exact_log.h"
#include "analysis/extended.h"
#include "display/layout.h"
#include "display/number_format.h"

namespace display {

namespace {

constexpr double kColumnScale = 1.0 / 4096;
// 440 Hz is note 45; the half rounds the nearest note up before truncation.
constexpr double kNotePositionOffset = 45.5;
constexpr int kHighestOctaveNote = 95;
constexpr std::size_t kFrequencyWidth = 6;

// Solfège names by the remainder of the note number; entry 10 ends in a full-width sharp.
constexpr std::array<std::string_view, 12> kNoteNames = {
    " ド", " ド#", " レ", " レ#", " ミ", " ファ", " ファ#", " ソ", " ソ#", " ラ", " ラ＃", " シ"};

} // namespace

int NoteNumber(double frequency) {
  using analysis::Extended;
  if (!(frequency > 0) || !std::isfinite(frequency)) {
    return -1;
  }
  // At extended precision, with 1/440 and ln 2 rounded to 64 bits; the ratio and the scaled
  // logarithm are each rounded to double, as stored intermediates.
  static const Extended inverseA4 = Extended(1.0) / Extended(440.0);
  static const Extended ln2 = analysis::Ln2();
  const double ratio = (Extended(frequency) * inverseA4).ToDouble();
  if (ratio == 0) {
    // Below the double range: the logarithm is -inf, and the note the lowest there is.
    return std::numeric_limits<int>::min();
  }
  const double semitones = (Extended(12.0) * analysis::NaturalLog(ratio)).ToDouble();
  return static_cast<int>((Extended(semitones) / ln2 + Extended(kNotePositionOffset)).Truncate());
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
  // The readout answers on the right and bottom edges of the plot area too.
  const Rect &area = kPlotAreaRect;
  if (x < area.left || x > area.right || y < area.top || y > area.bottom) {
    return std::nullopt;
  }
  // At extended precision, rounded to double once.
  using analysis::Extended;
  const double frequency = (Extended(sampleRate) * Extended(kColumnScale) *
                                Extended(binsPerColumn) * Extended(x - kPlotLeft) +
                            Extended(viewOffset) / Extended(frameTime))
                               .ToDouble();

  std::string text = FormatFixed(frequency, 1);
  if (text.size() < kFrequencyWidth) {
    text.insert(0, kFrequencyWidth - text.size(), ' ');
  }
  text += "Hz:";
  text += NoteText(frequency);
  return text;
}

} // namespace display
