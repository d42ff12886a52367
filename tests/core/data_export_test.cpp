// The export files: their format, and writing them without ever losing data.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/mount.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "analysis/extended.h"
#include "analysis/level.h"
#include "core/data_export.h"
#include "export_text.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The file formats.

// A frame's result for the spectrum, measured in the scale `decibel` as a pass measures it.
analysis::FrameResult Measured(const analysis::SpectrumFrame &spectrum, bool decibel) {
  analysis::FrameResult result{};
  result.spectrum = spectrum;
  analysis::MeasureBins(result, decibel, analysis::kFrameLength);
  return result;
}

TEST(DataExportFormat, RawFileIsEverySampleAsPrintfWritesIt) {
  analysis::TimeFrame frame{};
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    frame[i] = static_cast<float>((i % 7 - 3) * 0.3141592f * (i % 5 == 0 ? 1000 : 1));
  }
  frame[5] = -0.25f;
  frame[4095] = 1e30f;
  std::string expected;
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%d\t%f\r\n", i, static_cast<double>(frame[i]));
    expected += line;
  }
  const std::string text = core::FormatRawData(frame);
  EXPECT_EQ(text, expected);
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size(), 4096u);
  EXPECT_EQ(lines[5], "5\t-0.250000");
}

TEST(DataExportFormat, SpectrumColumns) {
  analysis::SpectrumFrame spectrum{};
  const auto setBin = [&](int j, float re, float im) {
    spectrum[2 * j] = re;
    spectrum[2 * j + 1] = im;
  };
  setBin(1, 0.6f, 0.8f);
  setBin(2, 0.1f, 0.0f);
  setBin(3, 0.0f, -0.001f);

  const auto decibel = Lines(core::FormatSpectrumData(Measured(spectrum, true), 44100));
  ASSERT_EQ(decibel.size(), 4096u);
  EXPECT_EQ(decibel[0], "0.000000\t-999.000000");
  EXPECT_EQ(decibel[1], "10.766602\t0.000000");
  EXPECT_EQ(decibel[2], "21.533203\t-20.000000");
  EXPECT_EQ(decibel[3], "32.299805\t-60.000000");
  EXPECT_EQ(decibel[96], "1033.593750\t-999.000000");
  EXPECT_EQ(decibel[4095], "44089.233398\t-999.000000");

  const auto linear = Lines(core::FormatSpectrumData(Measured(spectrum, false), 44100));
  ASSERT_EQ(linear.size(), 4096u);
  EXPECT_EQ(linear[0], "0.000000\t0.000000");
  EXPECT_EQ(linear[1], "10.766602\t1.000000");
  EXPECT_EQ(linear[2], "21.533203\t0.100000");
  EXPECT_EQ(linear[3], "32.299805\t0.001000");

  // A typed fractional sampling frequency is used as it is.
  const auto fractional = Lines(core::FormatSpectrumData(Measured(spectrum, true), 44100.5));
  EXPECT_EQ(fractional[1], "10.766724\t0.000000");
  EXPECT_EQ(fractional[4095], "44089.733276\t-999.000000");
}

// The spectrum text as printf writes it, for spectra of every magnitude at rates that follow
// each other and come back, as the frequency texts of a rate are kept and formed again.
TEST(DataExportFormat, SpectrumTextIsWhatPrintfWrites) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-60, 60);
  analysis::SpectrumFrame spectrum{};
  for (float &value : spectrum) {
    value = std::ldexp(mantissa(random), exponent(random));
  }
  for (const double rate : {44100.0, 8000.5, 44100.0, 1e-3, 192000.0, 123456.789}) {
    for (const bool decibel : {true, false}) {
      const analysis::FrameResult result = Measured(spectrum, decibel);
      std::string expected;
      for (int j = 0; j < analysis::kFrameLength; ++j) {
        using analysis::Extended;
        const double frequency =
            (Extended(j) * Extended(1.0 / analysis::kFrameLength) * Extended(rate)).ToDouble();
        const double level = result.levels[j];
        char line[160];
        std::snprintf(line, sizeof line, "%f\t%f\r\n", frequency,
                      decibel ? -level : analysis::LevelToAmplitude(level));
        expected += line;
      }
      EXPECT_EQ(core::FormatSpectrumData(result, rate), expected) << rate << ' ' << decibel;
    }
  }
}

TEST(DataExportFormat, NumbersKeepTheDecimalPointInAnyLocale) {
  GermanLocale german;
  if (!german.Active()) {
    GTEST_SKIP() << kNoGermanLocale;
  }
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 0.5);
  ASSERT_STREQ(printed, "0,5") << "the locale did not take effect";
  analysis::TimeFrame frame{};
  frame[1] = 0.5f;
  EXPECT_EQ(Lines(core::FormatRawData(frame))[1], "1\t0.500000");
  analysis::SpectrumFrame spectrum{};
  spectrum[2] = 0.1f;
  EXPECT_EQ(Lines(core::FormatSpectrumData(Measured(spectrum, true), 44100))[1],
            "10.766602\t-20.000000");
}

// ---------------------------------------------------------------------------------------------
// Writing a file.

class ExportFileTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string Path(const char *name) const { return dir.filePath(name).toStdString(); }
  QTemporaryDir dir;
};

TEST_F(ExportFileTest, WritesTheBytesAndTruncates) {
  const std::string path = Path("a.raw");
  ASSERT_TRUE(core::WriteExportFile(path, "a longer first content\r\n"));
  ASSERT_TRUE(core::WriteExportFile(path, std::string_view("x\ty\r\n\0z", 7)));
  EXPECT_EQ(ReadFile(QString::fromStdString(path)), std::string("x\ty\r\n\0z", 7));
}

TEST_F(ExportFileTest, ReportsEveryFailure) {
  EXPECT_FALSE(core::WriteExportFile(Path("missing/a.raw"), "x"));
  EXPECT_FALSE(core::WriteExportFile(dir.path().toStdString(), "x")) << "a directory";
  // A full device accepts the open and refuses the bytes.
  EXPECT_FALSE(core::WriteExportFile("/dev/full", std::string(100000, 'x')));
  EXPECT_FALSE(core::WriteExportFile("/dev/full", "short text, refused only by the close"));
  // An embedded NUL would otherwise write to "a".
  EXPECT_FALSE(core::WriteExportFile(Path("a") + std::string(1, '\0') + "b", "x"));
  EXPECT_FALSE(QFile::exists(dir.filePath("a")));
}

// A file system of 64 KiB, too small for a spectrum file, mounted for the test's life.
class FullDiskTest : public ExportFileTest {
protected:
  void SetUp() override {
    ExportFileTest::SetUp();
    const std::string point = dir.path().toStdString();
    if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "mounting a small tmpfs is not permitted here (needs root): "
                   << std::strerror(errno);
    }
    mounted = true;
  }
  void TearDown() override {
    if (mounted) {
      ::umount2(dir.path().toStdString().c_str(), MNT_DETACH);
    }
  }
  bool mounted = false;
};

TEST_F(FullDiskTest, AFailedWriteKeepsTheOldFileAndLeavesNoPartOfTheNewOne) {
  const std::string large(200000, 'x');
  ASSERT_TRUE(core::WriteExportFile(Path("old.spc"), "old content\r\n"));
  EXPECT_FALSE(core::WriteExportFile(Path("old.spc"), large));
  EXPECT_FALSE(core::WriteExportFile(Path("new.spc"), large));
  EXPECT_TRUE(ReadFile(dir.filePath("old.spc")) == "old content\r\n") << "the old file changed";
  EXPECT_EQ(QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .join(' ')
                .toStdString(),
            "old.spc");
}

TEST_F(ExportFileTest, ALinkUpdatesTheFileItNamesAndStaysALink) {
  ASSERT_TRUE(core::WriteExportFile(Path("target.raw"), "old"));
  ASSERT_TRUE(QFile::setPermissions(dir.filePath("target.raw"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
  ASSERT_TRUE(QFile::link("target.raw", dir.filePath("link.raw")));
  ASSERT_TRUE(core::WriteExportFile(Path("link.raw"), "new"));
  EXPECT_TRUE(QFileInfo(dir.filePath("link.raw")).isSymLink());
  EXPECT_EQ(ReadFile(dir.filePath("target.raw")), "new");
  EXPECT_EQ(QFile::permissions(dir.filePath("target.raw")), QFile::ReadOwner | QFile::WriteOwner |
                                                                QFile::ReadOther | QFile::ReadUser |
                                                                QFile::WriteUser);
  EXPECT_EQ(QDir(dir.path()).count(), 4u) << "only the two names, no file left behind";
}

} // namespace
