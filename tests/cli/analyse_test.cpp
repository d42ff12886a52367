// vireo-analyse, run as a separate process without a display: the same files and picture as
// the window, audio files in several sample formats, and its answers to bad input.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/level.h"
#include "cli/analyse.h"
#include "cli/options.h"
#include "cli_test_support.h"
#include "form_probe.h"

namespace {

class AnalyseTest : public ProgramFolder {
protected:
  // Runs the program in the test folder with no display and a comma-decimal locale (where the
  // system has it), optionally with its standard output going to `outputFile`.
  Result Run(const QStringList &args, const QString &outputFile = {}) const {
    QProcess process;
    if (!outputFile.isEmpty()) {
      process.setStandardOutputFile(outputFile);
    }
    StartAnalyse(process, dir.path(), args);
    return Finish(process);
  }

  // A mono 44100 Hz WAV file of a 3000 Hz tone of half the full scale, two frames long, in the
  // given sample format; every format holds the same 16-bit values exactly.
  QString WriteTone(const QString &name, int format) const {
    const QString path = Path(name);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    // Each format gets the data type that it stores exactly: integers fill the 16 or 24 bits
    // from the top, and a floating-point sample x stands for x × 32767.
    const std::size_t length = 2 * analysis::kFrameLength;
    std::vector<int> integers(length);
    std::vector<double> reals(length);
    for (std::size_t i = 0; i < length; ++i) {
      const long sample = std::lrint(16384 * std::sin(2 * M_PI * 3000 * i / 44100.0));
      integers[i] = static_cast<int>(sample * 65536);
      reals[i] = sample / 32767.0;
    }
    const sf_count_t written = format == SF_FORMAT_FLOAT
                                   ? sf_writef_double(file, reals.data(), length)
                                   : sf_writef_int(file, integers.data(), length);
    EXPECT_EQ(written, static_cast<sf_count_t>(length));
    sf_close(file);
    return path;
  }
};

TEST_F(AnalyseTest, GivesTheWindowsQuickSaveAndPictureForTheSameSettings) {
  // QuickSave of the window's current frame against the program's files for `args`, and the
  // window's picture against the program's.
  const auto expectSame = [this](TForm1Probe &probe, QStringList args) {
    probe.AppDir() = dir.path() + '/';
    QTest::keyClick(probe.Edit2(), Qt::Key_Return);
    const QString saved = QStringLiteral("Filename%1").arg(probe.QuickSaveNumber() - 1);
    args << "--out"
         << "X"
         << "--png";
    const Result result = Run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    for (const char *extension : {".raw", ".spc"}) {
      EXPECT_EQ(ReadAll(Path(QStringLiteral("X1") + extension)), ReadAll(Path(saved + extension)))
          << extension;
    }
    const QImage picture(Path("X1.png"));
    ASSERT_EQ(picture.size(), QSize(320, 240));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB888),
              probe.Image1()->Picture().convertToFormat(QImage::Format_RGB888));
  };

  TForm1 form;
  TForm1Probe probe(form);
  {
    SCOPED_TRACE("start-up");
    expectSame(probe, {"--pattern", "1"});
  }
  // Every setting changed: a one-shot measurement draws what a run's first frame draws.
  probe.ComboBox2()->setCurrentIndex(6);
  emit probe.ComboBox2()->activated(6);
  probe.CheckBox1()->setChecked(false);
  probe.CheckBox2()->setChecked(true);
  probe.RadioGroup2()->SetItemIndex(2);
  probe.ScrollBar1()->setValue(1500);
  probe.Button1()->click();
  SCOPED_TRACE("gain 10, linear, window, 4 bins per column from bin 1024");
  expectSame(probe, {"--pattern", "1", "--param", "4001", "--gain", "10", "--linear", "--window",
                     "--zoom", "4", "--view", "1500"});
}

TEST_F(AnalyseTest, AToneFilePeaksAtItsBinInEverySampleFormat) {
  std::string sixteenBitPeaks;
  for (const auto &[name, format] :
       {std::pair{"16.wav", SF_FORMAT_PCM_16}, std::pair{"24.wav", SF_FORMAT_PCM_24},
        std::pair{"float.wav", SF_FORMAT_FLOAT}}) {
    SCOPED_TRACE(name);
    const QString out = QStringLiteral("tone") + name;
    const Result result = Run({"--input", WriteTone(name, format), "--frames", "2", "--hop", "2048",
                               "--peak", "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QStringList lines = QString::fromStdString(result.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    // Frame, bin, then the bin's line of the .spc file: 3000 Hz lies in bin 279 at 44100 Hz.
    const QString spectrumLine =
        QString::fromLatin1(ReadAll(Path(out + "1.spc"))).split(QStringLiteral("\r\n")).value(279);
    EXPECT_EQ(lines[0], QStringLiteral("1\t279\t") + spectrumLine);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("2\t279\t3003.881836\t")))
        << lines[1].toStdString();
    if (sixteenBitPeaks.empty()) {
      sixteenBitPeaks = result.out;
    }
    EXPECT_EQ(result.out, sixteenBitPeaks);
  }
}

// Every reader of a frame takes its levels from the frame's result: a run in this process
// measures each bin it reads once per frame, the upper half only when the .spc text or the rows
// of every bin need it.
TEST_F(AnalyseTest, EachFrameMeasuresItsBinsOnce) {
  const std::string out = Path("N").toStdString(), png = Path("s.png").toStdString(),
                    table = Path("t.csv").toStdString();
  const struct {
    std::vector<const char *> args;
    std::uint64_t binsPerFrame;
  } cases[] = {
      {{"--out", out.c_str(), "--png", "--peak", "--table", "csv", "--table-out", table.c_str(),
        "--spectrogram", png.c_str()},
       4096},
      {{"--linear", "--table", "json", "--bins", "--spectrogram", png.c_str(), "--zoom", "8"},
       4096},
      {{"--peak", "--table", "csv", "--table-out", table.c_str(), "--spectrogram", png.c_str(),
        "--axes", "--view", "1900"},
       2048},
  };
  for (const auto &c : cases) {
    std::vector<const char *> args = {"--pattern", "7", "--frames", "3", "--quiet"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const cli::ParsedCommandLine command = cli::ParseCommandLine(args);
    ASSERT_EQ(command.error, "");
    std::ostringstream text, errors;
    const std::uint64_t before = analysis::BinsMeasured();
    EXPECT_EQ(cli::Analyse(command.options, text, errors), cli::kExitSuccess) << errors.str();
    EXPECT_EQ(analysis::BinsMeasured() - before, 3 * c.binsPerFrame) << c.args[0];
  }
}

// The rows of every bin repeat the frame's place and the bin's .spc line, in both formats.
TEST_F(AnalyseTest, BinRowsRepeatTheSpectrumFile) {
  const std::string out = Path("N").toStdString();
  for (const char *format : {"csv", "json"}) {
    std::vector<const char *> args = {"--pattern", "6",      "--frames", "2",
                                      "--rate",    "8000.5", "--table",  format,
                                      "--bins",    "--out",  out.c_str()};
    const cli::ParsedCommandLine command = cli::ParseCommandLine(args);
    ASSERT_EQ(command.error, "");
    std::ostringstream text, errors;
    ASSERT_EQ(cli::Analyse(command.options, text, errors), cli::kExitSuccess) << errors.str();
    std::istringstream rows(text.str());
    std::string row;
    if (format == std::string_view("csv")) {
      std::getline(rows, row);
    }
    for (int frame = 1; frame <= 2; ++frame) {
      const std::string spectrum = ReadAll(Path("N%1.spc").arg(frame)).toStdString();
      std::istringstream lines(spectrum);
      const std::string time = frame == 1 ? "0.000000" : "0.511968";
      for (int bin = 0; bin < analysis::kFrameLength && std::getline(rows, row); ++bin) {
        std::string line;
        std::getline(lines, line);
        const std::size_t tab = line.find('\t');
        const std::string frequency = line.substr(0, tab);
        const std::string level = line.substr(tab + 1, line.size() - tab - 2);
        const std::string place = std::to_string(frame) + "," + std::to_string((frame - 1) * 4096);
        ASSERT_EQ(row, format == std::string_view("csv")
                           ? "pattern6," + place + "," + time + "," + std::to_string(bin) + "," +
                                 frequency + "," + level
                           : "{\"input\":\"pattern6\",\"frame\":" + std::to_string(frame) +
                                 ",\"start\":" + std::to_string((frame - 1) * 4096) +
                                 ",\"time\":" + time + ",\"bin\":" + std::to_string(bin) +
                                 ",\"frequency\":" + frequency + ",\"level\":" + level + "}");
      }
    }
    EXPECT_FALSE(std::getline(rows, row)) << "rows after the last bin";
  }
}

TEST_F(AnalyseTest, BadInputIsRefusedWithItsReason) {
  QFile notAudio(Path("notes.wav"));
  ASSERT_TRUE(notAudio.open(QIODevice::WriteOnly));
  notAudio.write("just some text, not a sound\n");
  notAudio.close();
  const QString shortFile = WriteTone("short.wav", SF_FORMAT_PCM_16);
  // An export file whose name leads to a full device: the write must fail, not pass as done.
  ASSERT_TRUE(QFile::link("/dev/full", Path("full1.raw")));
  ASSERT_TRUE(
      WriteSamples(Path("441.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, std::vector<short>(441)));
  // An IMA ADPCM file whose first bytes look like MPEG audio: the MPEG decoder's own notes
  // must not reach the user.
  QByteArray adpcm = ReadAll(WriteTone("adpcm.wav", SF_FORMAT_IMA_ADPCM));
  adpcm.replace(0, 4, QByteArray::fromHex("fffb9064"));
  ASSERT_TRUE(WriteBytes(Path("mpeg-like.wav"), adpcm));
  // Files cut short at 60 %: the message gives the samples that decode straight through.
  std::map<QString, std::string> cutAfter;
  for (const auto &[name, format] : {std::pair{"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                     std::pair{"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                     std::pair{"cut.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
    std::vector<short> tone(5 * 44100);
    for (std::size_t i = 0; i < tone.size(); ++i) {
      tone[i] = static_cast<short>(std::lrint(9000 * std::sin(i * 0.3)));
    }
    ASSERT_TRUE(WriteSamples(Path(name), format, tone));
    const QByteArray whole = ReadAll(Path(name));
    ASSERT_TRUE(WriteBytes(Path(name), whole.left(whole.size() * 6 / 10)));
    cutAfter[name] = std::string(name) + ": cut short after " +
                     std::to_string(DecodeStraightThrough(Path(name)).size()) + " samples";
  }

  const struct {
    QStringList args;
    QString output; // where standard output goes, when not to the test
    int exitCode;
    std::string message;
  } cases[] = {
      {{"--input", "missing.wav", "--peak"}, {}, 1, "cannot read missing.wav: "},
      {{"--input", "notes.wav", "--peak"}, {}, 1, "cannot read notes.wav: "},
      {{"--input", shortFile, "--frames", "3", "--peak"}, {}, 1, "holds 8192 samples"},
      {{"--pattern", "8", "--peak"}, {}, 2, "--pattern: '8' is not a pattern number"},
      {{"--pattern", "1", "--gain", "3", "--peak"}, {}, 2, "--gain: '3' is not one of the gains"},
      {{"--pattern", "1", "--rate", "abc", "--peak"}, {}, 2, "--rate: 'abc' is not a decimal"},
      {{"--pattern", "1", "--out", "missing/X"}, {}, 1, "cannot write missing/X1.raw"},
      {{"--pattern", "1", "--out", "full"}, {}, 1, "cannot write full1.raw: "},
      {{"--pattern", "1", "--peak"}, "/dev/full", 1, "cannot write the standard output: "},
      {{"--pattern", "1", "--table", "csv", "--table-out", "/dev/full"},
       {},
       1,
       "cannot write /dev/full: "},
      {{"441.wav", "--peak"}, {}, 1, "441.wav holds 441 samples; a whole frame needs 4096"},
      {{"441.wav", "--out", "S"}, {}, 1, "441.wav holds 441 samples"},
      {{"441.wav", "--table", "json"}, {}, 1, "441.wav holds 441 samples"},
      {{"short.wav", "--start", "5000", "--peak"}, {}, 1, "8192 samples; a whole frame needs 9096"},
      {{"--pattern", "1", "--rate", "0", "--peak"}, {}, 2, "'0' is not a decimal number above 0"},
      {{"--pattern", "1", "--rate", "-5", "--peak"}, {}, 2, "'-5' is not a decimal number above"},
      {{"mpeg-like.wav", "--peak"}, {}, 1, "mpeg-like.wav: the data is damaged or in no format"},
      {{"cut.wav", "--peak"}, {}, 1, cutAfter["cut.wav"]},
      {{"cut.flac", "--out", "C"}, {}, 1, cutAfter["cut.flac"]},
      {{"cut.ogg", "--table", "csv"}, {}, 1, cutAfter["cut.ogg"]},
      {{"--pattern", "1"}, {}, 2, "nothing to write"},
      {{"--pattern", "1", "--colour", "--peak"}, {}, 2, "unknown option '--colour'"},
      {{"--input", ".", "--peak"}, {}, 1, "cannot read .: it is a directory"},
      {{"--pattern", "1", "--frames", "99999999999", "--peak"}, {}, 2, "' is too large"},
      {{"--help"}, "/dev/full", 1, "cannot write the standard output: "},
      {{"short.wav", "notes.wav", "--out", "X"}, {}, 2, "--out NAME takes one input"},
      {{"short.wav", "./short.wav", "--out-dir", "D"}, {}, 2, "would write the same files in D"},
      {{"--pattern", "1", "--columns", "9", "--peak"}, {}, 2, "--columns goes with --spectrogram"},
      {{"--pattern", "1", "--spectrogram", "s.png", "--columns", "1000001"},
       {},
       2,
       "'1000001' is not a whole number 1 ... 1000000"},
      {{"--pattern", "1", "--spectrogram", "s.png", "--rows", "6"}, {}, 2, "--rows goes with"},
      {{"--pattern", "1", "--spectrogram", "s.png", "--log-frequency", "--zoom", "2"},
       {},
       2,
       "--log-frequency and --zoom or --view choose the rows differently"},
      {{"--pattern", "1", "--spectrogram", "s.png", "--log-frequency", "--rows", "101"},
       {},
       2,
       "'101' is not a whole number 1 ... 100"},
      {{"--pattern", "1", "--spectrogram", "/dev/full"}, {}, 1, "cannot write /dev/full: "},
      {{"--pattern", "1", "--spectrogram", "s.png", "--columns", "2", "--average", "max,min"},
       {},
       2,
       "--columns draws one statistic"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const Result result = Run(c.args, c.output);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_TRUE(result.err.starts_with("vireo-analyse: ") &&
                result.err.find(c.message) != std::string::npos &&
                std::count(result.err.begin(), result.err.end(), '\n') == 1)
        << result.err;
  }
  EXPECT_FALSE(QFile::exists(Path("X1.raw")));
  EXPECT_FALSE(QFile::exists(Path("full1.spc"))) << "written after the first file failed";
  // The whole frames before the damage are kept.
  const auto cutFrames = static_cast<int>(DecodeStraightThrough(Path("cut.flac")).size() / 4096);
  EXPECT_TRUE(QFile::exists(Path(QStringLiteral("C%1.spc").arg(cutFrames))));
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("C%1.spc").arg(cutFrames + 1))));
}

} // namespace
