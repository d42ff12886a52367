#include <gtest/gtest.h>

#include "core/sample_rate_text.h"

namespace {

TEST(SampleRateText, ParsesPlainDecimals) {
  EXPECT_EQ(ParseSampleRate("44100"), 44100.0);
  EXPECT_EQ(ParseSampleRate(" 8000.5 "), 8000.5);
  EXPECT_EQ(ParseSampleRate("-12"), -12.0);
  EXPECT_EQ(ParseSampleRate("+.5"), 0.5);
  EXPECT_EQ(ParseSampleRate("5."), 5.0);
}

TEST(SampleRateText, RefusesEverythingElse) {
  for (const char *text :
       {"", " ", ".", "-", "+-1", "1e3", "1e999", "inf", "nan", "0x10", "1,5", "12a", "1.2.3"}) {
    EXPECT_FALSE(ParseSampleRate(text).has_value()) << text;
  }
  // Too large for a double.
  EXPECT_FALSE(ParseSampleRate(QString(400, '9')).has_value());
}

TEST(SampleRateText, GeneralDecimalForm) {
  EXPECT_EQ(FormatSampleRate(44100), "44100");
  EXPECT_EQ(FormatSampleRate(8000.5), "8000.5");
  EXPECT_EQ(FormatSampleRate(0), "0");
  EXPECT_EQ(FormatSampleRate(1.0 / 3), "0.333333333333333");
}

} // namespace
