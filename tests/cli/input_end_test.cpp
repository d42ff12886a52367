// How an input ends (intact, cut short or damaged) in every format that libsndfile reads, the
// same from a file, a pipe and a FIFO; the files that a folder search finds; and the command
// line's own rules and sentences.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <sys/stat.h>

#include <cmath>

#include "cli_test_support.h"

namespace {

// 2.5 s of a tone rising from 200 Hz to 5 kHz: 26 whole frames at 44100 Hz.
std::vector<short> RisingTone(int rate) {
  std::vector<short> samples(static_cast<std::size_t>(2.5 * rate));
  double phase = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    phase += 2 * M_PI * (200 + 1920.0 * static_cast<double>(i) / rate) / rate;
    samples[i] = static_cast<short>(std::lrint(10000 * std::sin(phase)));
  }
  return samples;
}

// What damage in the middle of a stream gives: PCM data has no check sum, so changed samples
// are samples; an MP3 frame still decodes with flipped bits, while zeroed frames are lost from
// the count that its Xing header gives; FLAC frames and Ogg pages carry check sums.
struct Format {
  const char *extension;
  int format;
  int rate;
  const char *flipped;
  const char *zeroed;
};
const Format kFormats[] = {
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, "", ""},
    {"w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, 44100, "", ""},
    {"au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 44100, "", ""},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, "", ""},
    {"caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 44100, "", ""},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, "damaged", "damaged"},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, "damaged", "damaged"},
    {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, "damaged", "damaged"},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, "", "damaged"},
};

class InputEndTest : public ProgramFolder {};

// Each format whole, cut to 60 %, with 16 bytes flipped and 600 bytes zeroed in the middle,
// and asked for more frames than it holds: one outcome by every route, and the whole frames
// before the end or the damage kept.
TEST_F(InputEndTest, EveryFormatEndsTheSameWayByEveryRoute) {
  ASSERT_EQ(::mkfifo(Path("fifo").toLocal8Bit().constData(), 0600), 0);
  for (const Format &f : kFormats) {
    const QString name = QStringLiteral("a.") + f.extension;
    ASSERT_TRUE(WriteSamples(Path(name), f.format, RisingTone(f.rate), f.rate)) << name.data();
    const QByteArray whole = ReadAll(Path(name));
    std::string wholeOut;
    const auto changed = [&whole](int from, int count, char mask) {
      QByteArray bytes = whole;
      for (int i = from; i < from + count; ++i) {
        bytes[i] = mask == 0 ? '\0' : static_cast<char>(bytes[i] ^ mask);
      }
      return bytes;
    };
    const struct {
      const char *kind;
      QByteArray bytes;
      std::string outcome;
      QStringList args;
    } cases[] = {
        {"whole", whole, "", {}},
        {"cut", whole.left(whole.size() * 6 / 10), "cut short", {}},
        {"flipped", changed(whole.size() / 2, 16, 0x55), f.flipped, {}},
        {"zeroed", changed(whole.size() / 2, 600, 0), f.zeroed, {}},
        {"beyond", whole, "holds", {"--frames", "40", "--out-dir"}},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(f.extension) + ' ' + c.kind);
      ASSERT_TRUE(WriteBytes(Path(name), c.bytes));
      std::optional<Result> first;
      // A format with check sums keeps no frame of the damage: each kept frame is the whole
      // file's (MP3 finds its damage only at the end).
      const bool keepsOnlyWholeFrames =
          !c.outcome.empty() && std::string_view(f.extension) != "mp3";
      for (const QString &route : {name, QStringLiteral("-"), QStringLiteral("fifo")}) {
        EXPECT_TRUE(QDir(Path(route + "-out")).removeRecursively());
        // The files of the frames before the end, written to a folder of their own.
        const QStringList args = QStringList{route, "--peak"} + c.args +
                                 (c.args.isEmpty() ? QStringList() : QStringList{route + "-out"});
        Result result = route == name ? Run(args) : RunFed(args, route, c.bytes);
        result.err = QString::fromStdString(result.err)
                         .replace("analyse: " + route, "analyse: NAME")
                         .toStdString();
        const QRegularExpressionMatch match =
            QRegularExpression(R"(^vireo-analyse: NAME:? (?:.* )?(?:after|holds) (\d+) samples)")
                .match(QString::fromStdString(result.err));
        if (c.outcome.empty()) {
          EXPECT_EQ(result.exitCode, 0) << result.err;
          EXPECT_EQ(result.err, "");
        } else {
          EXPECT_EQ(result.exitCode, 1);
          ASSERT_TRUE(match.hasMatch()) << result.err;
          EXPECT_TRUE(result.err.find(c.outcome) != std::string::npos) << result.err;
          EXPECT_EQ(QByteArray::fromStdString(result.out).count('\n'),
                    match.captured(1).toInt() / 4096);
        }
        EXPECT_EQ(QDir(Path(route + "-out")).entryList(QDir::Files).size(),
                  c.args.isEmpty() ? 0 : 2 * QByteArray::fromStdString(result.out).count('\n'))
            << "the files of the lines";
        if (keepsOnlyWholeFrames) {
          EXPECT_TRUE(wholeOut.starts_with(result.out)) << result.out;
        }
        if (std::string_view(c.kind) == "whole") {
          wholeOut = result.out;
        }
        if (first) {
          EXPECT_EQ(result.out, first->out) << route.toStdString();
          EXPECT_EQ(result.err, first->err) << route.toStdString();
        }
        first = result;
      }
    }
    ASSERT_TRUE(WriteBytes(Path(name), whole));
  }
  // A folder with one file of each format under each of its names finds every one of them.
  ASSERT_TRUE(QDir(dir.path()).mkdir("r"));
  const std::pair<const char *, const char *> aliases[] = {
      {"wav", "wav"},   {"w64", "w64"},   {"au", "au"},   {"au", "snd"},    {"aiff", "aiff"},
      {"aiff", "aifc"}, {"aiff", "aif"},  {"caf", "caf"}, {"flac", "flac"}, {"ogg", "ogg"},
      {"ogg", "oga"},   {"opus", "opus"}, {"mp3", "mp3"},
  };
  for (const auto &[from, to] : aliases) {
    ASSERT_TRUE(QFile::copy(Path(QStringLiteral("a.") + from), Path(QStringLiteral("r/a.") + to)));
  }
  const Result found = Run({"--recursive", "r", "--peak"});
  EXPECT_EQ(found.exitCode, 0) << found.err;
  QSet<QString> names;
  for (const QString &line : QString::fromStdString(found.out).split('\n', Qt::SkipEmptyParts)) {
    names.insert(line.section('\t', 0, 0));
  }
  EXPECT_EQ(names.size(), static_cast<qsizetype>(std::size(aliases)));
}

// The FLAC decoder stands in for a frame that fails its check sum with silence: wherever the
// damage lies, no frame of it is kept.
TEST_F(InputEndTest, NoFrameOfDamagedFlacIsKept) {
  ASSERT_TRUE(WriteSamples(Path("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, RisingTone(44100)));
  const QByteArray whole = ReadAll(Path("a.flac"));
  const std::string wholeOut = Run({"a.flac", "--peak"}).out;
  for (int twentieth = 2; twentieth < 19; ++twentieth) {
    QByteArray bytes = whole;
    for (int i = whole.size() * twentieth / 20; i < whole.size() * twentieth / 20 + 16; ++i) {
      bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
    }
    ASSERT_TRUE(WriteBytes(Path("d.flac"), bytes));
    const Result result = Run({"d.flac", "--peak"});
    EXPECT_TRUE(wholeOut.starts_with(result.out)) << twentieth << "/20: " << result.out;
  }
}

// The command line's rules, each with its exit status and its one sentence.
TEST_F(InputEndTest, TheCommandLineKeepsOneRuleEach) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("one"));
  // 5000 samples: one frame.
  for (const char *name : {"one/x.wav", "-x.wav", "a\rb.wav"}) {
    ASSERT_TRUE(WriteSamples(Path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, RisingTone(2000)));
  }
  ASSERT_TRUE(WriteBytes(Path("empty.wav"), {}));
  // Damaged AU header bytes that libsndfile would take for headerless data by the name alone.
  QByteArray au = ReadAll(Path("-x.wav"));
  au.replace(0, 4, "\0\0\0\0");
  ASSERT_TRUE(WriteBytes(Path("bad.au"), au));
  const struct {
    QStringList args;
    QStringList environment;
    int exitCode;
    std::string out; // the start of the standard output
    std::string err;
  } cases[] = {
      {{"--help"}, {"VIREO_ARITHMETIC=bogus"}, 0, "Usage: vireo-analyse", ""},
      {{"--pattern", "1", "--out", ""}, {}, 2, "", "--out: '' is no name"},
      {{"--pattern", "1", "--out-dir", ""}, {}, 2, "", "--out-dir: '' is no name"},
      {{"--pattern", "1", "--zoom", "2", "--peak"}, {}, 2, "", "--zoom goes with --png or"},
      {{"--pattern", "1", "--view", "9", "--out", "v"}, {}, 2, "", "--view goes with --png or"},
      {{"--pattern", "1", "--start", "5", "--peak"}, {}, 2, "", "--start goes with input files"},
      {{"--pattern", "1", "--frames", "all", "--peak"}, {}, 2, "", "--frames all goes with input"},
      {{"--peak", "--", "-x.wav"}, {}, 0, "1\t", ""},
      // The system's reason in the user's language: here English.
      {{"missing.wav", "--peak"},
       {"LC_ALL=C.UTF-8"},
       1,
       "",
       "cannot read missing.wav: No such file or directory"},
      {{"empty.wav", "--peak"}, {}, 1, "", "cannot read empty.wav: it is empty"},
      {{"bad.au", "--peak"}, {}, 1, "", "cannot read bad.au: Format not recognised (only its name"},
      {{"a\rb.wav", "--peak", "--names"}, {}, 0, "a\\rb.wav\t1\t", ""},
      {{"--recursive", "one", "--peak"}, {}, 0, "one/x.wav\t1\t", ""},
      {{"missing.wav", "--table", "csv"}, {}, 1, "", "cannot read missing.wav"},
      {{"empty.wav", "--table", "csv", "--table-out", "t.csv"}, {}, 1, "", "cannot read empty.wav"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    QProcess process;
    StartAnalyse(process, dir.path(), c.args, QStringList{"env"} + c.environment);
    const Result result = Finish(process);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_TRUE(result.out.starts_with(c.out) && (!c.out.empty() || result.out.empty()))
        << result.out.substr(0, 200);
    EXPECT_TRUE(c.err.empty() ? result.err.empty()
                              : result.err.starts_with("vireo-analyse: " + c.err))
        << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), c.err.empty() ? 0 : 1);
  }
  EXPECT_EQ(ReadAll(Path("t.csv")), "") << "no header without rows";
  // The progress bar on a terminal counts "1 frame" (the pipe's total is not known).
  QProcess terminal;
  terminal.setWorkingDirectory(dir.path());
  terminal.start("script",
                 {"-qec",
                  QStringLiteral("%1 - one/x.wav --out-dir o < one/x.wav").arg(VIREO_ANALYSE),
                  "/dev/null"});
  const Result shown = Finish(terminal);
  EXPECT_TRUE(QString::fromStdString(shown.out).contains(QRegularExpression("files, 1 frame[^s]")))
      << shown.out;
}

} // namespace
