// vireo-analyse on a recording as a whole: statistics, bands, weighting and comparison against
// references computed here from the frames' own .spc values, closed-form answers, the digest,
// and the combinations it refuses.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QImage>

#include <cmath>
#include <map>
#include <random>

#include "cli_test_support.h"

namespace {

constexpr int kRate = 44100;

// `frames` frames of noise, with a tone on bin 279 in frame `burst` (from 1) only.
std::vector<short> NoiseWithBurst(int frames, int burst, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-300, 300);
  std::vector<short> samples(static_cast<std::size_t>(frames) * 4096);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const bool tone = static_cast<int>(i / 4096) + 1 == burst;
    samples[i] = static_cast<short>(
        noise(random) +
        (tone ? std::lrint(12000 * std::sin(2 * M_PI * 279 * static_cast<double>(i) / 4096)) : 0));
  }
  return samples;
}

// The second numbers of the 4096 lines of a .spc text.
std::vector<double> SpcValues(const QByteArray &text) {
  std::vector<double> values;
  for (const QByteArray &line : text.split('\n')) {
    if (const qsizetype tab = line.indexOf('\t'); tab >= 0) {
      values.push_back(line.mid(tab + 1).trimmed().toDouble());
    }
  }
  return values;
}

double Power(double decibels) {
  return decibels == -999 ? 0 : std::pow(10.0, decibels / 10);
}

// The C weighting's closed form in dB, normalised at 1 kHz.
double CWeighting(double f) {
  const auto response = [](double f) {
    return f * f / ((f * f + 20.598997 * 20.598997) * (f * f + 12194.217 * 12194.217));
  };
  return 20 * std::log10(response(f) / response(1000));
}

// CSV rows as maps from column name to text.
std::vector<std::map<std::string, std::string>> CsvRows(const std::string &text) {
  const QStringList lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
  std::vector<std::map<std::string, std::string>> rows;
  const QStringList names = lines.value(0).split(',');
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QStringList fields = lines[i].split(',');
    auto &row = rows.emplace_back();
    for (qsizetype j = 0; j < names.size(); ++j) {
      row[names[j].toStdString()] = fields.value(j).toStdString();
    }
  }
  return rows;
}

class RecordingTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(
        WriteSamples(Path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, NoiseWithBurst(6, 3, 1)));
    ASSERT_TRUE(
        WriteSamples(Path("ref.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, NoiseWithBurst(5, 0, 2)));
  }
  QString Path(const QString &name) const { return dir.filePath(name); }
  Result Run(const QStringList &args, const QStringList &wrapper = {},
             const QByteArray &input = {}) const {
    QProcess process;
    StartAnalyse(process, dir.path(), args, wrapper);
    if (!input.isNull()) {
      process.write(input);
      process.closeWriteChannel();
    }
    return Finish(process);
  }
  // The per-frame .spc values of an input, frame by frame.
  std::vector<std::vector<double>> Frames(const QString &input, int frames) const {
    EXPECT_EQ(Run({input, "--out", input + "-frame"}).exitCode, 0);
    std::vector<std::vector<double>> values;
    for (int f = 1; f <= frames; ++f) {
      values.push_back(
          SpcValues(ReadAll(Path(QStringLiteral("%1-frame%2.spc").arg(input).arg(f)))));
    }
    return values;
  }
  QTemporaryDir dir;
};

TEST_F(RecordingTest, StatisticsBandsAndDifferencesEqualTheFramesValues) {
  const auto in = Frames("in.wav", 6), ref = Frames("ref.wav", 5);
  // Mean power, max and min of a bin's frame values, in dB.
  const auto statistic = [](const std::vector<std::vector<double>> &frames, int bin,
                            const std::string &s) {
    double sum = 0, max = -1e9, min = 1e9;
    for (const auto &frame : frames) {
      sum += Power(frame[bin]);
      max = std::max(max, frame[bin]);
      min = std::min(min, frame[bin]);
    }
    return s == "max" ? max : s == "min" ? min : 10 * std::log10(sum / frames.size());
  };
  const Result bins = Run({"in.wav", "--average", "min,mean,max", "--reference", "ref.wav",
                           "--table", "csv", "--bins", "--out", "S"});
  ASSERT_EQ(bins.exitCode, 0) << bins.err;
  const auto rows = CsvRows(bins.out);
  ASSERT_EQ(rows.size(), 4096u);
  for (const std::string s : {"mean", "max", "min"}) {
    const std::vector<double> file =
        SpcValues(ReadAll(Path(QString::fromStdString("S-" + s + ".spc"))));
    for (int bin = 0; bin < 4096; ++bin) {
      const double expected = statistic(in, bin, s), reference = statistic(ref, bin, s);
      ASSERT_NEAR(file[bin], expected, 2e-6) << s << bin;
      ASSERT_EQ(std::stod(rows[bin].at(s)), file[bin]) << s << bin;
      ASSERT_NEAR(std::stod(rows[bin].at("reference_" + s)), reference, 2e-6) << s << bin;
      ASSERT_NEAR(std::stod(rows[bin].at("difference_" + s)), expected - reference, 4e-6);
    }
  }
  // The burst's bin keeps its frame's peak; the other frames are noise, 40 dB below.
  EXPECT_EQ(statistic(in, 279, "max"), in[2][279]);
  EXPECT_GT(statistic(in, 279, "max") - statistic(in, 279, "min"), 40);

  const Result bands = Run({"in.wav", "--bands", "third", "--weighting", "C", "--offset", "94",
                            "--average", "mean,max", "--table", "csv"});
  ASSERT_EQ(bands.exitCode, 0) << bands.err;
  // Each band's power per frame from its bins' weighted frame values, then mean and max.
  for (const auto &row : CsvRows(bands.out)) {
    const double lower = std::stod(row.at("lower")), upper = std::stod(row.at("upper"));
    double mean = 0, max = 0;
    int count = 0;
    for (const auto &frame : in) {
      double band = 0;
      count = 0;
      for (int bin = 1; bin < 2048; ++bin) {
        const double f = bin * double{kRate} / 4096;
        if (f >= lower && f < upper) {
          band += Power(frame[bin] + CWeighting(f));
          ++count;
        }
      }
      mean += band / in.size();
      max = std::max(max, band);
    }
    const auto written = [](double power) {
      return power == 0 ? -999 : 10 * std::log10(power) + 94;
    };
    EXPECT_EQ(std::stoi(row.at("bins")), count) << row.at("nominal");
    EXPECT_NEAR(std::stod(row.at("mean")), written(mean), 1e-5) << row.at("nominal");
    EXPECT_NEAR(std::stod(row.at("max")), written(max), 1e-5) << row.at("nominal");
  }
}

TEST_F(RecordingTest, ClosedFormAnswers) {
  // A full-scale sine on bin 93 reads 0 dB in the 1 kHz third and nothing elsewhere; A weighting on
  // bins of exactly 100 Hz and 1000 Hz (40960 Hz: 10 Hz per bin) moves them by -19.1 and 0 dB.
  const Result sine =
      Run({"--pattern", "1", "--param", "93", "--bands", "third", "--table", "csv"});
  for (const auto &row : CsvRows(sine.out)) {
    const double mean = std::stod(row.at("mean"));
    EXPECT_TRUE(row.at("nominal") == "1000" ? std::fabs(mean) < 1e-5 : mean < -120) << mean;
  }
  for (const auto &[bin, decibels] : std::map<std::string, double>{{"10", -19.1}, {"100", 0}}) {
    const QStringList args = {"--pattern", "1",     "--param",   QString::fromStdString(bin),
                              "--rate",    "40960", "--average", "mean",
                              "--table",   "csv",   "--bins"};
    const auto z = CsvRows(Run(args).out), a = CsvRows(Run(QStringList(args) << "--weighting"
                                                                             << "A")
                                                           .out);
    EXPECT_NEAR(std::stod(a[std::stoi(bin)].at("mean")) - std::stod(z[std::stoi(bin)].at("mean")),
                decibels, 0.1);
  }
  // White noise: each bin's mean of 256 frames within 1.5 dB of the average of them all
  // (a mean of 256 exponential powers has a spread of 0.27 dB).
  const auto noise = CsvRows(
      Run({"--pattern", "7", "--frames", "256", "--average", "mean", "--table", "csv", "--bins"})
          .out);
  double total = 0;
  for (int bin = 1; bin < 2048; ++bin) {
    total += Power(std::stod(noise[bin].at("mean"))) / 2047;
  }
  for (int bin = 1; bin < 2048; ++bin) {
    ASSERT_NEAR(std::stod(noise[bin].at("mean")), 10 * std::log10(total), 1.5) << bin;
  }
}

TEST_F(RecordingTest, OneFrameIsItsOwnStatisticAndDigestsAreTheSpcText) {
  ASSERT_EQ(Run({"in.wav", "--frames", "1", "--out", "F"}).exitCode, 0);
  ASSERT_EQ(Run({"in.wav", "--frames", "1", "--average", "max,mean", "--out", "S"}).exitCode, 0);
  EXPECT_EQ(ReadAll(Path("S-max.spc")), ReadAll(Path("F1.spc")));
  EXPECT_EQ(ReadAll(Path("S-mean.spc")), ReadAll(Path("F1.spc")));
  // Frames: the .spc files in order; statistics: theirs, mean before max.
  QCryptographicHash frames(QCryptographicHash::Sha256), statistics(QCryptographicHash::Sha256);
  ASSERT_EQ(Run({"in.wav", "--out", "G"}).exitCode, 0);
  for (int f = 1; f <= 6; ++f) {
    frames.addData(ReadAll(Path(QStringLiteral("G%1.spc").arg(f))));
  }
  ASSERT_EQ(Run({"in.wav", "--average", "max,mean", "--out", "T"}).exitCode, 0);
  statistics.addData(ReadAll(Path("T-mean.spc")) + ReadAll(Path("T-max.spc")));
  EXPECT_EQ(Run({"in.wav", "--digest"}).out,
            "in.wav\t6\t" + frames.result().toHex().toStdString() + "\n");
  EXPECT_EQ(Run({"in.wav", "--digest", "--average", "mean,max"}).out,
            "in.wav\t6\t" + statistics.result().toHex().toStdString() + "\n");
}

TEST_F(RecordingTest, TheSameBytesForEveryJobCountPathAndPipe) {
  const QStringList args = {"--average", "mean,max,min", "--bands", "octave",      "--table",
                            "json",      "--table-out",  "t.json",  "--weighting", "C",
                            "--digest"};
  const Result one = Run(QStringList{"in.wav", "ref.wav", "-j", "1"} + args);
  ASSERT_EQ(one.exitCode, 0) << one.err;
  EXPECT_EQ(QString::fromStdString(one.out).count('\n'), 2);
  const QByteArray table = ReadAll(Path("t.json"));
  EXPECT_EQ(Run(QStringList{"in.wav", "ref.wav", "-j", "2"} + args).out, one.out);
  EXPECT_EQ(ReadAll(Path("t.json")), table);
  EXPECT_EQ(Run(QStringList{"in.wav", "ref.wav"} + args, {"env", "VIREO_ARITHMETIC=portable"}).out,
            one.out);
  EXPECT_EQ(ReadAll(Path("t.json")), table);
  const std::string first = one.out.substr(0, one.out.find('\n') + 1);
  EXPECT_EQ(Run(QStringList{"-"} + args, {}, ReadAll(Path("in.wav"))).out,
            std::string("-").append(first, first.find('\t')));
}

TEST_F(RecordingTest, TheDifferencePictureRisesFromTheMiddleRow) {
  // The input against itself at half the amplitude: 6 dB up everywhere, a bar above the grey
  // zero row in every column and nothing below it.
  std::vector<short> half = NoiseWithBurst(6, 3, 1);
  for (short &sample : half) {
    sample = static_cast<short>(sample / 2);
  }
  ASSERT_TRUE(WriteSamples(Path("half.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, half));
  ASSERT_EQ(Run({"in.wav", "--average", "max", "--reference", "half.wav", "--out", "D", "--png"})
                .exitCode,
            0);
  const QImage picture(Path("D-max.png"));
  ASSERT_EQ(picture.size(), QSize(320, 240));
  for (int x = 17; x < 17 + 256; ++x) {
    ASSERT_EQ(picture.pixel(x, 73) & 0xFFFFFF, 0x777777u) << x;
    ASSERT_NE(picture.pixel(x, 72) & 0xFFFFFF, 0x333333u) << x;
    ASSERT_EQ(picture.pixel(x, 60) & 0xFFFFFF, 0x333333u) << x;
    ASSERT_EQ(picture.pixel(x, 74) & 0xFFFFFF, 0x333333u) << x;
  }
}

TEST_F(RecordingTest, BadCombinationsAndReferencesAreOneLineErrors) {
  ASSERT_TRUE(WriteSamples(Path("other.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                           NoiseWithBurst(2, 0, 3), 48000));
  ASSERT_TRUE(
      WriteSamples(Path("short.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, std::vector<short>(4000)));
  const std::vector<std::pair<QStringList, std::string>> rows = {
      {{"--average", "mean", "--reference", "other.wav", "--digest"},
       "in.wav is sampled at 44100 Hz, the reference at 48000 Hz"},
      {{"--average", "mean", "--reference", "short.wav", "--digest"},
       "short.wav holds 4000 samples; a whole frame needs 4096"},
      {{"--bands", "third", "--table", "csv", "--bins"},
       "--bands and --bins ask for different rows; give one"},
      {{"--bands", "third"}, "--bands goes with --table FORMAT"},
      {{"--reference", "ref.wav", "--peak"}, "--reference goes with --average or --bands"},
      {{"--offset", "3", "--average", "mean", "--peak", "--linear"},
       "--offset goes with the dB scale, not --linear"},
      {{"--average", "mean", "--table", "csv"},
       "--average with --table goes with --bins or --bands"},
      {{"--digest", "--peak"}, "--digest and --peak both print to the standard output"},
      {{"--average", "mean,mean", "--peak"}, "--average: 'mean,mean' names mean twice"},
      {{"--average", "median", "--peak"}, "--average: 'median' is not a list of mean, max and min"},
      {{"--bands", "fifth", "--table", "csv"}, "--bands: 'fifth' is not octave or third"},
      {{"--weighting", "B", "--bands", "octave", "--table", "csv"},
       "--weighting: 'B' is not A, C or Z"},
  };
  for (const auto &[args, message] : rows) {
    const Result result = Run(QStringList{"in.wav"} + args);
    EXPECT_EQ(result.exitCode, message.find("--") == 0 ? 2 : 1) << message;
    EXPECT_EQ(result.err, "vireo-analyse: " + message + "\n");
  }
}

} // namespace
