#include "display/palette.h"

#include <gtest/gtest.h>

namespace display {
namespace {

TEST(PaletteTest, RampEntriesAreExact) {
  const Palette palette = BuildPalette();
  const std::pair<int, Color> expected[] = {
      {0, 0x9F0000},   {1, 0xA10500},   {47, 0xFDF400},  {48, 0xFFFF00}, {79, 0x07FFF8},
      {80, 0x00FFFF},  {85, 0x00E4FF},  {90, 0x00CAFF},  {93, 0x00BBFF}, {126, 0x000FFF},
      {127, 0x000AFF}, {128, 0xFFFFFF}, {255, 0xFFFFFF},
  };
  for (const auto &[entry, colour] : expected) {
    EXPECT_EQ(palette[entry], colour) << "entry " << entry;
  }
}

TEST(PaletteTest, UpperHalfIsWhiteAndTopBytesAreZero) {
  const Palette palette = BuildPalette();
  for (int j = 0; j < 256; ++j) {
    EXPECT_EQ(palette[j] >> 24, 0u) << j;
    if (j >= 128) {
      EXPECT_EQ(palette[j], 0xFFFFFFu) << j;
    }
  }
}

} // namespace
} // namespace display
