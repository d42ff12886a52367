#include "app/app_icon.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

constexpr int kIconSize = 32;

// The standard 16-colour palette.
constexpr std::array<QRgb, 16> kColours = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

// One character per pixel: '.' black, 'N' navy, 'S' silver, 'M' fuchsia, 'P' purple,
// 'R' red, 'Y' yellow, 'G' lime, 'B' blue.
// clang-format off
constexpr std::array<std::string_view, kIconSize> kPixels = {
    "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN",
    "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN",
    "NNSSSSSSSSSSSSSSSSSSSSSSSSSSSSNN",
    "NNSSMMMMMMSSMMMMMMSSMMMMMMSSSSNN",
    "NNSSMMMMMMPSMMMMMMPSMMMMMMPSSSNN",
    "NNSSMMPPPPPSMMPPPPPSSPMMPPPSSSNN",
    "NNSSMMPSSSSSMMPSSSSSSSMMPSSSSSNN",
    "NNSSMMMMSSSSMMMMSSSSSSMMPSSSSSNN",
    "NNSSMMMMPSSSMMMMPSSSSSMMPSSSSSNN",
    "NNSSMMPPPSSSMMPPPSSSSSMMPSSSSSNN",
    "NNSSMMPSSSSSMMPSSSSSSSMMPSSSSSNN",
    "NNSSMMPSSSSSMMPSSSSSSSMMPSSSSSNN",
    "NNSSMMPSSSSSMMPSSSSSSSMMPSSSSSNN",
    "NNSSSPPSSSSSSPPSSSSSSSSPPSSSSSNN",
    "NN............................NN",
    "NN............................NN",
    "NN............................NN",
    "NN.RR.........................NN",
    "NN.RR....GG...................NN",
    "NN.RR....GG...................NN",
    "NN.RR.YY.GG...................NN",
    "NN.RR.YY.GG....RR.............NN",
    "NN.RR.YY.GG....RR.............NN",
    "NN.RR.YY.GG.BB.RR.............NN",
    "NN.RR.YY.GG.BB.RR....GG.......NN",
    "NN.RR.YY.GG.BB.RR.YY.GG.......NN",
    "NN.RR.YY.GG.BB.RR.YY.GG....RR.NN",
    "NN.RR.YY.GG.BB.RR.YY.GG.BB.RR.NN",
    "NN.RR.YY.GG.BB.RR.YY.GG.BB.RR.NN",
    "NN............................NN",
    "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN",
    "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN",
};
// clang-format on

// The palette index of a pixel's letter; '.' and any letter not listed are black.
int ColourIndex(char pixel) {
  constexpr std::pair<char, int> kLetters[] = {{'N', 4},  {'P', 5},  {'S', 7},  {'R', 9},
                                               {'G', 10}, {'Y', 11}, {'B', 12}, {'M', 13}};
  for (const auto &[letter, index] : kLetters) {
    if (letter == pixel) {
      return index;
    }
  }
  return 0;
}

} // namespace

QImage AppIconImage() {
  QImage image(kIconSize, kIconSize, QImage::Format_Indexed8);
  image.setColorTable(QList<QRgb>(kColours.begin(), kColours.end()));
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      image.setPixel(x, y, ColourIndex(kPixels[y][x]));
    }
  }
  return image;
}

QImage AppIconImage(int size) {
  const Qt::TransformationMode mode =
      size % kIconSize == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
  return AppIconImage().scaled(size, size, Qt::IgnoreAspectRatio, mode);
}
