#include <gtest/gtest.h>

#include "core/sample_rate_text.h"

namespace {

TEST(SampleRateText, ParsesPlainDecimals) {
  EXPECT_EQ(core::ParseSampleRate("44100"), 44100.0);
  EXPECT_EQ(core::ParseSampleRate(" 8000.5 "), 8000.5);
  EXPECT_EQ(core::ParseSampleRate("-12"), -12.0);
  EXPECT_EQ(core::ParseSampleRate("+.5"), 0.5);
  EXPECT_EQ(core::ParseSampleRate("5."), 5.0);
}

TEST(SampleRateText, RefusesEverythingElse) {
  for (const char *text :
       {"", " ", ".", "-", "+-1", "1e3", "1e999", "inf", "nan", "0x10", "1,5", "12a", "1.2.3"}) {
    EXPECT_FALSE(core::ParseSampleRate(text).has_value()) << text;
  }
  // Too large for a double.
  EXPECT_FALSE(core::ParseSampleRate(QString(400, '9')).has_value());
}

TEST(SampleRateText, GeneralDecimalForm) {
  EXPECT_EQ(core::FormatSampleRate(44100), "44100");
  EXPECT_EQ(core::FormatSampleRate(8000.5), "8000.5");
  EXPECT_EQ(core::FormatSampleRate(0), "0");
  EXPECT_EQ(core::FormatSampleRate(1.0 / 3), "0.333333333333333");
}

} // namespace
