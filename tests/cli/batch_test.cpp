// vireo-analyse on many inputs at once, on streams, on compressed formats and live capture, and
// what it leaves behind when it is stopped.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <optional>
#include <random>
#include <thread>

#include "cli_test_support.h"
#include "display/palette.h"

namespace {

constexpr int kRate = 44100;

// A tone on bin 279 with noise around it, `seconds` long: every frame has a clear peak and no
// bin is silent.
std::vector<short> ToneWithNoise(double seconds, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-300, 300);
  std::vector<short> samples(static_cast<std::size_t>(seconds * kRate));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<short>(
        std::lrint(12000 * std::sin(2 * M_PI * 279 * static_cast<double>(i) / 4096)) +
        noise(random));
  }
  return samples;
}

// Every file under `folder` by its relative name, with its bytes.
std::map<QString, QByteArray> Files(const QString &folder) {
  std::map<QString, QByteArray> files;
  for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
       it.hasNext();) {
    const QString path = it.next();
    files[QDir(folder).relativeFilePath(path)] = ReadAll(path);
  }
  return files;
}

class BatchTest : public ProgramFolder {};

// Each compressed or streamed input gives the spectra of the WAV file decoded from it straight
// through, at hops below, between and far above the frame length.
TEST_F(BatchTest, EveryInputIsReadOnceStraightThrough) {
  const std::vector<short> signal = ToneWithNoise(1.5);
  ASSERT_TRUE(WriteSamples(Path("tone.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, signal));
  ASSERT_TRUE(WriteSamples(Path("tone.gsm.wav"), SF_FORMAT_WAV | SF_FORMAT_GSM610, signal));
  ASSERT_TRUE(WriteSamples(Path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, signal));
  ASSERT_EQ(::mkfifo(Path("fifo").toLocal8Bit().constData(), 0600), 0);
  const struct {
    QString input; // "-" takes tone.wav through a pipe, "fifo" through the FIFO
    QString decoded;
    int hop;
  } cases[] = {
      {"tone.ogg", "tone.ogg", 2048},  {"tone.ogg", "tone.ogg", 5000},
      {"tone.ogg", "tone.ogg", 44100}, {"tone.gsm.wav", "tone.gsm.wav", 3000},
      {"-", "tone.wav", 1000},         {"fifo", "tone.wav", 6000},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE((c.input + " at hop " + QString::number(c.hop)).toStdString());
    ASSERT_TRUE(WriteSamples(Path("decoded.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                             DecodeStraightThrough(Path(c.decoded))));
    const QStringList common = {"--hop", QString::number(c.hop), "--quiet"};
    const Result reference = Run(QStringList{"decoded.wav", "--out", "ref"} + common);
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const QStringList args = QStringList{c.input, "--out", "got"} + common;
    const Result result = c.input == "-" || c.input == "fifo"
                              ? RunFed(args, c.input, ReadAll(Path("tone.wav")))
                              : Run(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const int frames = (static_cast<int>(signal.size()) - 4096) / c.hop + 1;
    for (int frame = 1; frame <= frames; ++frame) {
      const QString name = QString::number(frame) + ".spc";
      ASSERT_FALSE(ReadAll(Path("ref" + name)).isEmpty()) << frame;
      ASSERT_EQ(ReadAll(Path("got" + name)), ReadAll(Path("ref" + name))) << frame;
    }
    EXPECT_FALSE(QFile::exists(Path("got" + QString::number(frames + 1) + ".spc")));
    for (const QString &name : QDir(dir.path()).entryList({"ref*", "got*"})) {
      QFile::remove(Path(name));
    }
  }
}

// Every format gives the same frames through a pipe and a FIFO as from the file, those that
// libsndfile decodes only where it can seek among them.
TEST_F(BatchTest, APipeOrFifoGivesTheFramesOfTheFileInEveryFormat) {
  const std::vector<short> signal = ToneWithNoise(0.6);
  ASSERT_EQ(::mkfifo(Path("fifo").toLocal8Bit().constData(), 0600), 0);
  const struct {
    const char *name;
    int format;
  } formats[] = {
      {"pcm.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610},
      {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
      {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"a.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},
      {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
      {"a.au", SF_FORMAT_AU | SF_FORMAT_ULAW},
      {"float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT},
  };
  for (const auto &f : formats) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(WriteSamples(Path(f.name), f.format, signal));
    const auto run = [&](const QString &input, const QString &out) {
      EXPECT_TRUE(QDir(Path(out)).removeRecursively() && QDir(dir.path()).mkdir(out));
      const QStringList args = {input, "--hop", "3000", "--peak", "--out", out + "/x"};
      return input == f.name ? Run(args) : RunFed(args, input, ReadAll(Path(f.name)));
    };
    const Result fromFile = run(f.name, "file");
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
    // 26460 samples hold 8 frames, or 9 after the padding of the last ADPCM block.
    ASSERT_GE(QByteArray::fromStdString(fromFile.out).count('\n'), 8);
    for (const char *stream : {"-", "fifo"}) {
      const Result result = run(stream, "stream");
      EXPECT_EQ(result.exitCode, 0) << stream << ": " << result.err;
      EXPECT_EQ(result.out, fromFile.out) << stream;
      EXPECT_TRUE(Files(Path("stream")) == Files(Path("file"))) << stream;
    }
  }
}

// A WAV stream is analysed as it comes: two frames end the run while the writer keeps the pipe
// open, and a stream that ends before its header's length is cut short.
TEST_F(BatchTest, AWaveStreamIsReadAsItComes) {
  ASSERT_TRUE(WriteSamples(Path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.5)));
  const QByteArray wave = ReadAll(Path("tone.wav"));
  QProcess process;
  StartAnalyse(process, dir.path(), {"-", "--frames", "2", "--peak"});
  process.write(wave.left(44 + 2 * 4096 * 2));
  EXPECT_TRUE(process.waitForFinished(10000)) << "waited for the end of the stream";
  const Result two = Finish(process);
  EXPECT_EQ(two.exitCode, 0) << two.err;
  EXPECT_EQ(QByteArray::fromStdString(two.out).count('\n'), 2);
  const Result cut = Run({"-", "--peak"}, wave.left(wave.size() / 2));
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_EQ(cut.err, "vireo-analyse: -: cut short after " +
                         std::to_string((wave.size() / 2 - 44) / 2) + " samples\n");
}

// Several inputs, one of them bad: the same files and table for any number of jobs, every row
// repeating its .spc line, and the bad input reported once.
TEST_F(BatchTest, ManyInputsGiveTheSameBytesForAnyNumberOfJobs) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("a/deeper"));
  ASSERT_TRUE(
      WriteSamples(Path("a/one.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.5)));
  ASSERT_TRUE(WriteSamples(Path("a/deeper/one.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                           ToneWithNoise(0.3, 2)));
  ASSERT_TRUE(
      WriteSamples(Path("two.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ToneWithNoise(0.4, 3)));
  QFile bad(Path("a/bad.wav"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("not a sound") > 0);
  bad.close();
  for (const char *format : {"csv", "json"}) {
    SCOPED_TRACE(format);
    std::string firstTable;
    std::map<QString, QByteArray> firstFiles;
    for (const char *jobs : {"1", "3"}) {
      const QString out = QStringLiteral("out%1%2").arg(format, jobs);
      const Result result = Run({"two.flac", "--recursive", "a", "-j", jobs, "--out-dir", out,
                                 "--table", format, "--hop", "3000"});
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.err, "vireo-analyse: cannot read a/bad.wav: Format not recognised\n");
      const std::map<QString, QByteArray> files = Files(Path(out));
      if (firstFiles.empty()) {
        firstTable = result.out;
        firstFiles = files;
        continue;
      }
      EXPECT_EQ(result.out, firstTable);
      EXPECT_TRUE(files == firstFiles) << "files differ between -j 1 and -j 3";
    }
    // 0.5 s, 0.3 s and 0.4 s hold 6, 4 and 5 frames 3000 samples apart.
    EXPECT_EQ(firstFiles.size(), 2u * (6 + 4 + 5));
    EXPECT_TRUE(firstFiles.contains("a/deeper/one.wav-3.spc"));
    const QRegularExpression row(
        format == std::string("csv")
            ? R"re(^([^,]+),(\d+),(\d+),([\d.]+),(\d+),([\d.]+),(-?[\d.]+),(.*)$)re"
            : R"re(^\{"input":"([^"]+)","frame":(\d+),"start":(\d+),"time":([\d.]+),)re"
              R"re("bin":(\d+),"frequency":([\d.]+),"level":(-?[\d.]+),"note":"(.*)"\}$)re");
    QStringList lines = QString::fromStdString(firstTable).split('\n', Qt::SkipEmptyParts);
    if (format == std::string("csv")) {
      EXPECT_EQ(lines.takeFirst(), "input,frame,start,time,bin,frequency,level,note");
    }
    ASSERT_EQ(lines.size(), 15);
    EXPECT_TRUE(lines[0].startsWith(format == std::string("csv") ? "two.flac,1,0,0.000000,279,"
                                                                 : R"({"input":"two.flac")"));
    for (const QString &line : lines) {
      const QRegularExpressionMatch match = row.match(line);
      ASSERT_TRUE(match.hasMatch()) << line.toStdString();
      const QString spectrum = QString::fromLatin1(
          firstFiles[QStringLiteral("%1-%2.spc").arg(match.captured(1), match.captured(2))]);
      EXPECT_EQ(spectrum.split("\r\n").value(match.captured(5).toInt()),
                match.captured(6) + '\t' + match.captured(7));
      EXPECT_EQ(match.captured(3).toLongLong(), (match.captured(2).toLongLong() - 1) * 3000);
      EXPECT_EQ(match.captured(8), QStringLiteral("オクターブ7 ファ#")) << "3003.9 Hz";
    }
  }
}

// A folder searched again finds its audio files only: not the run's own results inside it,
// nor the frames of another run beside them.
TEST_F(BatchTest, ARecursiveSearchSkipsTheProgramsOwnFiles) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("takes"));
  ASSERT_TRUE(
      WriteSamples(Path("takes/a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.2)));
  std::string first;
  for (const char *out : {"takes/results", "takes/results", "elsewhere"}) {
    SCOPED_TRACE(out);
    const Result result = Run({"--recursive", "takes", "--out-dir", out, "--table", "csv"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    first = first.empty() ? result.out : first;
    EXPECT_EQ(result.out, first);
  }
  EXPECT_EQ(QByteArray::fromStdString(first).count('\n'), 1 + 2);
}

// A file name with a tab, a line feed, a comma, a quote and a byte that is not UTF-8 keeps
// each JSON row valid, each CSV row one quoted field, and each peak line four tabs.
TEST_F(BatchTest, AnyFileNameKeepsTablesAndPeakLinesWhole) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("n"));
  ASSERT_TRUE(
      WriteSamples(Path("n/plain.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.1)));
  const std::string odd = "n/a\tb\nc,\"d\xff.wav";
  ASSERT_EQ(::rename(Path("n/plain.wav").toLocal8Bit().constData(),
                     (dir.path().toStdString() + '/' + odd).c_str()),
            0);
  ASSERT_TRUE(
      WriteSamples(Path("n/plain.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.1)));
  const Result json = Run({"--recursive", "n", "--table", "json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const QList<QByteArray> rows = QByteArray::fromStdString(json.out).split('\n');
  ASSERT_EQ(rows.size(), 3);
  QJsonParseError error{};
  EXPECT_EQ(QJsonDocument::fromJson(rows[0], &error)["input"].toString(),
            QStringLiteral("n/a\tb\nc,\"d") + QChar(0xDCFF) + ".wav")
      << error.errorString().toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(rows[1])["input"].toString(), "n/plain.wav");
  const Result csv = Run({"--recursive", "n", "--table", "csv"});
  EXPECT_TRUE(csv.out.find("\n\"n/a\tb\nc,\"\"d\xff.wav\",1,0,") != std::string::npos) << csv.out;
  const Result peaks = Run({"--recursive", "n", "--peak"});
  EXPECT_EQ(peaks.out.substr(0, 20), "n/a\\tb\\nc,\"d\xff.wav\t1\t");
  for (const QByteArray &line : QByteArray::fromStdString(peaks.out).split('\n')) {
    EXPECT_EQ(line.count('\t'), line.isEmpty() ? 0 : 4) << line.toStdString();
  }
}

// A stop by any signal leaves whole files only, each .raw beside its .spc; Ctrl-C and
// SIGTERM never part a pair.
TEST_F(BatchTest, AStoppedRunLeavesNoTemporaryFiles) {
  for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const QString out = Path(QStringLiteral("stopped%1").arg(signal));
    QProcess process;
    StartAnalyse(process, dir.path(), {"--pattern", "7", "--frames", "100000", "--out-dir", out});
    for (int waited = 0; waited < 1000 && QDir(out).entryList(QDir::Files).size() < 20; ++waited) {
      QTest::qWait(10);
    }
    ::kill(static_cast<pid_t>(process.processId()), signal);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    const QStringList names = QDir(out).entryList(QDir::Files | QDir::Hidden);
    ASSERT_GE(names.size(), 20);
    for (const QString &name : names) {
      ASSERT_TRUE(QRegularExpression(R"(^pattern7-\d+\.(raw|spc)$)").match(name).hasMatch())
          << name.toStdString();
      QString partner = name;
      partner.replace(".raw", ".spc");
      EXPECT_TRUE(names.contains(partner)) << name.toStdString();
      EXPECT_EQ(ReadAll(out + '/' + name).count("\r\n"), 4096) << name.toStdString();
    }
  }
}

// A background job of a script, started with Ctrl-C ignored, is not stopped by it; SIGTERM,
// which was not ignored, still stops it.
TEST_F(BatchTest, ASignalIgnoredOnEntryStaysIgnored) {
  QProcess process;
  StartAnalyse(process, dir.path(), {"--pattern", "7", "--frames", "1000000", "--peak"},
               {"sh", "-c", "trap '' INT; exec \"$0\" \"$@\""});
  ASSERT_TRUE(process.waitForReadyRead(10000));
  const auto pid = static_cast<pid_t>(process.processId());
  ::kill(pid, SIGINT);
  EXPECT_FALSE(process.waitForFinished(1000)) << "ended by the ignored SIGINT";
  ::kill(pid, SIGTERM);
  EXPECT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
}

// A file that the user may not write to is refused as a plain write would refuse it, and not
// replaced through the folder, which would allow it. Root, who may write anything, runs the
// program as the user nobody.
TEST_F(BatchTest, AReadOnlyFileIsNotReplaced) {
  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::Permissions(0x7777)));
  QFile locked(Path("locked1.raw"));
  ASSERT_TRUE(locked.open(QIODevice::WriteOnly) && locked.write("old") == 3);
  locked.close();
  ASSERT_TRUE(QFile::setPermissions(Path("locked1.raw"), QFile::ReadOwner | QFile::ReadOther));
  QProcess process;
  StartAnalyse(process, dir.path(), {"--pattern", "1", "--out", "locked"},
               ::geteuid() == 0
                   ? QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}
                   : QStringList{});
  const Result result = Finish(process);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.starts_with("vireo-analyse: cannot write locked1.raw: ")) << result.err;
  EXPECT_EQ(ReadAll(Path("locked1.raw")), "old");
}

// The pixel of a tone's bin has the colour of the plot's bar for its level, and the bins
// without sound the plot's grey, for every bin and for the picture's page of bins.
TEST_F(BatchTest, TheSpectrogramColoursEachLevelAsThePlotDoes) {
  std::vector<short> tone(4 * 4096);
  for (std::size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<short>(std::lrint(16384 * std::sin(2 * M_PI * 100 * i / 4096.0)));
  }
  ASSERT_TRUE(WriteSamples(Path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone));
  ASSERT_EQ(Run({"tone.wav", "--frames", "1", "--out", "tone"}).exitCode, 0);
  const double decibel =
      QString::fromLatin1(ReadAll(Path("tone1.spc"))).split("\r\n")[100].split('\t')[1].toDouble();
  const display::Palette palette = display::BuildPalette();
  const int h = static_cast<int>(128 - 1.4 * -decibel);
  const QColor expected(palette[h] & 0xFF, (palette[h] >> 8) & 0xFF, palette[h] >> 16);
  const struct {
    QStringList view;
    int rows;
    int toneRow; // from the bottom
  } cases[] = {{{}, 2048, 100}, {{"--zoom", "2", "--view", "64"}, 256, 18}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.rows);
    const Result result = Run(QStringList{"tone.wav", "--spectrogram", "s.png"} + c.view);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QImage picture(Path("s.png"));
    ASSERT_EQ(picture.size(), QSize(4, c.rows));
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(picture.pixelColor(x, c.rows - 1 - c.toneRow), expected);
      EXPECT_EQ(picture.pixelColor(x, 0), QColor(0x33, 0x33, 0x33));
    }
  }
  const Result labelled = Run({"tone.wav", "--spectrogram", "axes.png", "--axes"});
  ASSERT_EQ(labelled.exitCode, 0) << labelled.err;
  EXPECT_GT(QImage(Path("axes.png")).width(), 4);
}

// A spectrogram wider than the block of columns kept in memory, read from a pipe: each column is
// the picture of its frame alone, read from the file.
TEST_F(BatchTest, ALongSpectrogramHasEachFramesOwnColumn) {
  ASSERT_TRUE(
      WriteSamples(Path("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.15)));
  const Result whole =
      Run({"-", "--hop", "1", "--spectrogram", "whole.png"}, ReadAll(Path("long.wav")));
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  const QImage picture = QImage(Path("whole.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(2520, 2048));
  for (const int column : {0, 2047, 2048, 2519}) {
    SCOPED_TRACE(column);
    const QStringList one = {"--start", QString::number(column), "--frames", "1"};
    ASSERT_EQ(Run(QStringList{"long.wav", "--spectrogram", "one.png"} + one).exitCode, 0);
    EXPECT_EQ(picture.copy(column, 0, 1, 2048),
              QImage(Path("one.png")).convertToFormat(QImage::Format_RGB32));
  }
}

// The colour of the plot's bar for a power's dB level, worked out from the .spc text: nothing
// where the bar height lies too close to a whole number for the text's six decimals to tell.
std::optional<QColor> BarColour(double power) {
  const double height = 128 - 1.4 * -10 * std::log10(power);
  if (std::abs(height - std::round(height)) < 1e-4) {
    return std::nullopt;
  }
  static const display::Palette palette = display::BuildPalette();
  const int h = std::min(static_cast<int>(height), 127);
  return h > 0 ? QColor(palette[h] & 0xFF, (palette[h] >> 8) & 0xFF, palette[h] >> 16)
               : QColor(0x33, 0x33, 0x33);
}

// Each bin's power in the frames NAME1.spc ... NAMEn.spc: 10^(level / 10).
std::vector<std::vector<double>> SpcPowers(const QString &base, int frames) {
  std::vector<std::vector<double>> powers;
  for (int frame = 1; frame <= frames; ++frame) {
    const QStringList lines =
        QString::fromLatin1(ReadAll(base + QString::number(frame) + ".spc")).split("\r\n");
    powers.emplace_back();
    for (int bin = 0; bin < 2048; ++bin) {
      powers.back().push_back(std::pow(10.0, lines[bin].split('\t')[1].toDouble() / 10));
    }
  }
  return powers;
}

// --columns N over 7 frames: each column's pixel of a bin has the colour of the mean (or the
// maximum) of the bin's power over the column's share of the frames, from the frames' .spc
// values; a pipe,
// whose frames are counted only at its end, gives the same picture as the file; N = 7 gives
// the picture of one column per frame, and N above 7 repeats its columns.
TEST_F(BatchTest, ColumnsShowTheMeanPowerOfTheirShareOfTheFrames) {
  ASSERT_TRUE(WriteSamples(Path("seven.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                           ToneWithNoise(7 * 4096 / 44100.0, 3)));
  ASSERT_EQ(Run({"seven.wav", "--out", "F", "--spectrogram", "plain.png"}).exitCode, 0);
  const std::vector<std::vector<double>> powers = SpcPowers(Path("F"), 7);
  const QImage plain = QImage(Path("plain.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(plain.size(), QSize(7, 2048));
  for (const auto &[columns, statistic] :
       {std::pair{3, "mean"}, std::pair{7, "mean"}, std::pair{10, "mean"}, std::pair{3, "max"}}) {
    SCOPED_TRACE(statistic + std::to_string(columns));
    const QStringList args = {"--spectrogram",          "c.png",     "--columns",
                              QString::number(columns), "--average", statistic};
    ASSERT_EQ(Run(QStringList{"-"} + args, ReadAll(Path("seven.wav"))).exitCode, 0);
    const QImage piped = QImage(Path("c.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(Run(QStringList{"seven.wav"} + args).exitCode, 0);
    const QImage picture = QImage(Path("c.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(picture, piped);
    ASSERT_EQ(picture.size(), QSize(columns, 2048));
    for (int c = 0; c < columns; ++c) {
      const int first = c * 7 / columns;
      const int end = std::max((c + 1) * 7 / columns, first + 1);
      EXPECT_TRUE(columns < 7 || picture.copy(c, 0, 1, 2048) == plain.copy(first, 0, 1, 2048));
      for (int bin = 0; bin < 2048; ++bin) {
        double sum = 0;
        double max = 0;
        for (int frame = first; frame < end; ++frame) {
          sum += powers[frame][bin];
          max = std::max(max, powers[frame][bin]);
        }
        const std::optional<QColor> colour =
            BarColour(statistic == std::string("max") ? max : sum / (end - first));
        EXPECT_TRUE(!colour || picture.pixelColor(c, 2047 - bin) == *colour) << c << ' ' << bin;
      }
    }
  }
}

// --log-frequency: one row per band of 1/b octave from the band of bin 1 up to that of bin
// 2047, each with the colour of the sum of its bins' powers from the .spc values.
TEST_F(BatchTest, LogFrequencyRowsShowTheSumOfTheirBinsPowers) {
  ASSERT_TRUE(WriteSamples(Path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, ToneWithNoise(0.1)));
  ASSERT_EQ(Run({"tone.wav", "--frames", "1", "--out", "F"}).exitCode, 0);
  const std::vector<double> powers = SpcPowers(Path("F"), 1)[0];
  const auto centre = [](int k) { return k * 44100.0 / 4096; };
  for (const int b : {3, 6}) {
    SCOPED_TRACE(b);
    const Result result = Run({"tone.wav", "--frames", "1", "--spectrogram", "log.png",
                               "--log-frequency", "--rows", QString::number(b)});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QImage picture = QImage(Path("log.png")).convertToFormat(QImage::Format_RGB32);
    const auto edge = [b](int x, int side) {
      return 1000 * std::pow(10.0, (6.0 * x + 3 * side) / (20 * b));
    };
    int x = static_cast<int>(std::floor((20 * b * std::log10(centre(1) / 1000) - 3) / 6)) + 1;
    int k = 1;
    for (int row = 0; k < 2048; ++row, ++x) {
      double sum = 0;
      for (; k < 2048 && centre(k) < edge(x, 1); ++k) {
        sum += centre(k) >= edge(x, -1) ? powers[k] : 0;
      }
      const std::optional<QColor> colour = sum > 0 ? BarColour(sum) : QColor(0x33, 0x33, 0x33);
      ASSERT_LT(row, picture.height());
      EXPECT_TRUE(!colour || picture.pixelColor(0, picture.height() - 1 - row) == *colour) << row;
      EXPECT_TRUE(k < 2048 || row + 1 == picture.height()) << "a row per band";
    }
  }
}

bool ServerExpected() {
  return qEnvironmentVariable("VIREO_TEST_PULSE") == "1";
}

// A capture from the test server's 1000 Hz tone peaks at its bin (93 at 44100 Hz), streams its
// lines and ends cleanly on Ctrl-C; without a server it says why on one line.
TEST_F(BatchTest, ACaptureShowsTheTonesBinAndEndsCleanlyOnCtrlC) {
  QProcess process;
  StartAnalyse(process, dir.path(), {"--capture", "0", "--peak"});
  QByteArray out;
  while (out.count('\n') < 3 && process.waitForReadyRead(10000)) {
    out += process.readAllStandardOutput();
  }
  if (out.isEmpty() && !ServerExpected()) {
    process.kill();
    process.waitForFinished();
    GTEST_SKIP() << "no audio server";
  }
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  const Result result = Finish(process);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const QStringList lines =
      QString::fromLatin1(out + QByteArray::fromStdString(result.out)).split('\n');
  ASSERT_GE(lines.size(), 4);
  EXPECT_EQ(lines.last(), "") << "the last line is whole";
  EXPECT_TRUE(lines[2].startsWith("3\t93\t1001.293945\t")) << lines[2].toStdString();

  QProcess noServer;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PULSE_SERVER", "unix:/nonexistent/vireo/native");
  noServer.setProcessEnvironment(env);
  noServer.start(QStringLiteral(VIREO_ANALYSE), {"--capture", "1", "--peak"});
  const Result refused = Finish(noServer);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err,
            "vireo-analyse: cannot capture from the audio server: Connection refused\n");
}

} // namespace
