// Running vireo-analyse as a separate process, and the audio files it is given.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sndfile.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline QByteArray ReadAll(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Starts the program in `folder` with no display and a comma-decimal locale (where the system
// has it), through the command `wrapper` if one is given.
inline void StartAnalyse(QProcess &process, const QString &folder, const QStringList &args,
                         QStringList wrapper = {}) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(folder);
  wrapper << QStringLiteral(VIREO_ANALYSE) << args;
  process.start(wrapper.takeFirst(), wrapper);
}

inline Result Finish(QProcess &process) {
  process.waitForFinished(60000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

// Writes mono 16-bit samples at `rate` Hz into `path` in the libsndfile `format`.
inline bool WriteSamples(const QString &path, int format, const std::vector<short> &samples,
                         int rate = 44100) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = format;
  SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  if (file == nullptr) {
    return false;
  }
  const auto count = static_cast<sf_count_t>(samples.size());
  const bool written = sf_writef_short(file, samples.data(), count) == count;
  return sf_close(file) == 0 && written;
}

// Every sample of the first channel of `path`, read straight through as 16-bit values.
inline std::vector<short> DecodeStraightThrough(const QString &path) {
  SF_INFO info{};
  SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  std::vector<short> samples;
  if (file == nullptr) {
    return samples;
  }
  std::vector<short> chunk(4096 * static_cast<std::size_t>(info.channels));
  for (sf_count_t got; (got = sf_readf_short(file, chunk.data(), 4096)) > 0;) {
    for (sf_count_t i = 0; i < got; ++i) {
      samples.push_back(chunk[static_cast<std::size_t>(i * info.channels)]);
    }
  }
  sf_close(file);
  return samples;
}

// A test folder and the program run in it, with bytes on its standard input or in a FIFO.
class ProgramFolder : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const QString &name) const { return dir.filePath(name); }
  Result Run(const QStringList &args, const QByteArray &input = {}) const {
    QProcess process;
    StartAnalyse(process, dir.path(), args);
    if (!input.isNull()) {
      process.write(input);
      process.closeWriteChannel();
    }
    return Finish(process);
  }
  // Runs with `bytes` on standard input ("-" in `args`) or written into the FIFO `fifo`.
  Result RunFed(const QStringList &args, const QString &fifo, const QByteArray &bytes) const {
    if (fifo == "-") {
      return Run(args, bytes);
    }
    std::thread feeder([&] {
      QFile into(Path(fifo));
      if (into.open(QIODevice::WriteOnly)) {
        into.write(bytes);
      }
    });
    const Result result = Run(args);
    feeder.join();
    return result;
  }
  QTemporaryDir dir;
};
