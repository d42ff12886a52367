#include "cli/sonogram_axes.h"

#include <algorithm>

#include "display/layout.h"
#include "display/number_format.h"

namespace cli {

namespace {

constexpr int kTickLength = 3;
constexpr int kRowsPerLabel = 64;
constexpr int kColumnsPerLabel = 100;
// The least distance of two labels beside the picture: a text cell is 10 rows high.
constexpr int kLeastLabelRows = 12;
// Columns of the labels below the picture drawn at a time.
constexpr int kFootChunk = 4096;

} // namespace

std::vector<RowLabel> LinearRowLabels(int rows, double firstHz, double rowHz) {
  std::vector<RowLabel> labels;
  for (int row = 0; row < rows; row += kRowsPerLabel) {
    labels.push_back({row, display::FormatFixed(firstHz + row * rowHz, 0) + " Hz"});
  }
  return labels;
}

std::vector<RowLabel> BandRowLabels(const std::vector<core::Band> &bands, int perOctave) {
  int octaves = 1;
  while (octaves * perOctave < kLeastLabelRows) {
    octaves *= 2;
  }
  std::vector<RowLabel> labels;
  for (int row = 0; row < static_cast<int>(bands.size()); ++row) {
    if (bands[row].x % (octaves * perOctave) == 0) {
      labels.push_back({row, bands[row].nominal + " Hz"});
    }
  }
  return labels;
}

display::Canvas DrawSide(int rows, const std::vector<RowLabel> &labels) {
  display::Canvas side(kLabelWidth, rows + kLabelHeight);
  side.SetFontColor(display::kWhite);
  for (const RowLabel &label : labels) {
    const int y = rows - 1 - label.row;
    for (int x = kLabelWidth - kTickLength; x < kLabelWidth; ++x) {
      side.SetPixel(x, y, display::kWhite);
    }
    side.TextOut(0, std::max(0, y - 4), label.text);
  }
  return side;
}

// Drawn in strips of kFootChunk pixels, each with every label that reaches into it drawn in
// order, so the pixels are those of one drawing of the whole row of labels, where a later label
// covers an earlier one.
std::vector<std::vector<bool>> DrawFoot(int width, std::int64_t columns, std::int64_t frames,
                                        const SpectrogramScale &scale) {
  struct Label {
    int x;
    int width;
    std::string text;
  };
  const double frameSeconds = scale.sampleRate > 0 ? scale.hop / scale.sampleRate : 0;
  const double startSeconds = scale.sampleRate > 0 ? scale.start / scale.sampleRate : 0;
  std::vector<std::vector<bool>> white(kLabelHeight, std::vector<bool>(width));
  std::vector<Label> labels; // those that may reach into the strip, left to right
  std::int64_t column = 0;
  for (int x0 = 0; x0 < width; x0 += kFootChunk) {
    const int x1 = std::min(width, x0 + kFootChunk);
    display::Canvas strip(0, 0);
    for (; column < columns && kLabelWidth + column < x1; column += kColumnsPerLabel) {
      const double frame = static_cast<double>(column * frames / columns);
      std::string text = display::FormatFixed(startSeconds + frame * frameSeconds, 1) + " s";
      labels.push_back(
          {kLabelWidth + static_cast<int>(column), strip.TextWidth(text), std::move(text)});
    }
    std::erase_if(labels,
                  [x0](const Label &label) { return label.x + std::max(label.width, 1) <= x0; });
    const int left = labels.empty() ? x0 : std::min(x0, labels.front().x);
    strip = display::Canvas(x1 - left, kLabelHeight);
    strip.SetFontColor(display::kWhite);
    strip.SetPenColor(display::kWhite);
    for (const Label &label : labels) {
      strip.VerticalLine(label.x - left, 0, kTickLength);
      strip.TextOut(label.x - left, kTickLength, label.text);
    }
    for (int row = 0; row < kLabelHeight; ++row) {
      for (int x = x0; x < x1; ++x) {
        white[row][x] = strip.Pixel(x - left, row) == display::kWhite;
      }
    }
  }
  return white;
}

} // namespace cli
