#include "cli/analyse.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "analysis/frame_result.h"
#include "cli/audio_file.h"
#include "cli/file_io.h"
#include "cli/frame_source.h"
#include "cli/ordered_output.h"
#include "cli/progress_bar.h"
#include "cli/recording.h"
#include "cli/sonogram.h"
#include "cli/stop_signals.h"
#include "cli/table.h"
#include "core/data_export.h"
#include "core/sample_rate_text.h"
#include "core/staged_file.h"
#include "display/cursor_readout.h"
#include "display/layout.h"
#include "display/plot.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr int kAllBins = analysis::kFrameLength / 2;

// One source of the command and where its files go.
struct Job {
  std::string input;   // the path as given, "-" for standard input; empty for a pattern or capture
  std::string name;    // the source's name in peak lines and tables
  std::string outBase; // frame n's files are outBase + n + ".raw" ...; empty: none
};

// The extensions of the formats libsndfile reads, for the files found in a folder: those of its
// major and sub formats (.mp3 ...) and their common aliases. Headerless data (.raw, .vox) is
// left out: its format cannot be told from its bytes, and the .raw files found are the frames
// that this program writes.
std::set<std::string> AudioExtensions() {
  std::set<std::string> extensions = {"aif", "aifc", "snd", "ogg", "opus", "mp3", "wave"};
  for (const auto &[countCommand, listCommand] :
       {std::pair{SFC_GET_FORMAT_MAJOR_COUNT, SFC_GET_FORMAT_MAJOR},
        std::pair{SFC_GET_FORMAT_SUBTYPE_COUNT, SFC_GET_FORMAT_SUBTYPE}}) {
    int count = 0;
    sf_command(nullptr, countCommand, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
      SF_FORMAT_INFO info{};
      info.format = i;
      sf_command(nullptr, listCommand, &info, sizeof info);
      if (info.extension != nullptr) {
        extensions.insert(info.extension);
      }
    }
  }
  extensions.erase("raw");
  extensions.erase("vox");
  return extensions;
}

// The audio files under `folder` at any depth, in name order, outside the folder `outDir`
// where the run writes.
std::vector<std::string> FindAudioFiles(const std::string &folder,
                                        const std::optional<std::string> &outDir,
                                        std::string &error) {
  static const std::set<std::string> extensions = AudioExtensions();
  std::vector<std::string> found;
  std::error_code code;
  for (fs::recursive_directory_iterator entry(folder, code), end; !code && entry != end;
       entry.increment(code)) {
    std::error_code notThere;
    if (outDir && entry->is_directory() && fs::equivalent(entry->path(), *outDir, notThere)) {
      entry.disable_recursion_pending();
      continue;
    }
    std::string extension = entry->path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (entry->is_regular_file() && extension.size() > 1 &&
        extensions.contains(extension.substr(1))) {
      found.push_back(entry->path().string());
    }
  }
  if (code) {
    error = "cannot read the folder " + folder + ": " + code.message();
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The name under --out-dir for an input: its path as given, without the root and without
// "." and "..", so that every file of a command gets a name of its own inside the folder.
std::string OutName(const std::string &input) {
  if (input == "-") {
    return "stdin";
  }
  fs::path name;
  for (const fs::path &part : fs::path(input).lexically_normal().relative_path()) {
    if (part != "." && part != ".." && !part.empty()) {
      name /= part;
    }
  }
  return name.string();
}

// Writes `picture` as the PNG file `name`, whole or not at all.
bool WritePng(const std::string &name, const QImage &picture, std::string &error) {
  QByteArray png;
  QBuffer buffer(&png);
  errno = 0;
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
      !core::WriteExportFile(name, std::string_view(png.constData(), png.size()))) {
    error = "cannot write " + name + Reason();
    return false;
  }
  return true;
}

// Begins a run on a source of `rate` Hz as a window begins one: opened (with a picture for
// --png, drawn as a window opens it), set to the options' settings, and started.
void BeginRun(core::Measurement &run, const Options &options, double rate) {
  if (options.png) {
    run.OpenPicture();
  }
  run.sampleRate = rate;
  run.UpdateFrameTime();
  run.gain = options.gain;
  run.patternParam = options.param;
  run.window = options.window;
  run.view.decibel = !options.linear;
  run.view.binsPerColumn = options.binsPerColumn;
  run.view.viewOffset =
      core::ClampViewOffset(options.viewPosition, core::PageSize(options.binsPerColumn));
  run.StartRun();
}

// The strongest of the displayable bins 0 ... 2047 by the level of the run's scale; the lowest
// bin among equals.
int PeakBin(const analysis::FrameResult &result) {
  const auto &levels = result.levels;
  return static_cast<int>(std::min_element(levels.begin(), levels.begin() + kAllBins) -
                          levels.begin());
}

// The note and octave of the bin's frequency as the cursor readout names them, without the
// space it starts with. bin × rate rounded once to double and scaled by 2^-12 exactly: the
// frequency that the .spc file and the cursor readout form with one rounding.
std::string NoteName(const core::Measurement &run, int bin) {
  const std::string note = display::NoteText(bin * run.sampleRate / analysis::kFrameLength);
  return note.starts_with(' ') ? note.substr(1) : note;
}

// The spectrogram of a source that the options ask for: rows of the whole lower half of the
// spectrum, of the page of bins that the picture shows or of bands of log frequency; a column
// per frame or per share of the frames.
SpectrogramShape ShapeOf(const Options &options, const core::Measurement &run,
                         const FrameSource &source) {
  SpectrogramShape shape;
  if (options.viewChosen) {
    shape.first = run.view.viewOffset;
    shape.rows = display::kPlotColumns;
    shape.binsPerRow = run.view.binsPerColumn;
  }
  if (options.logFrequency) {
    shape.bands = core::BandsOverBins(options.rowsPerOctave, source.SampleRate());
    shape.perOctave = options.rowsPerOctave;
  }
  shape.columns = options.columns;
  shape.frames = source.Frames();
  shape.statistic = options.average.empty() ? core::Statistic::Mean : options.average.front();
  shape.decibel = run.view.decibel;
  return shape;
}

// Everything a command keeps while its sources are analysed.
class Run {
public:
  Run(const Options &options, std::ostream &out, std::ostream &err)
      : options_(options), out_(out), err_(err) {}

  int Execute();

private:
  // Builds the list of sources; an exit status when it cannot.
  std::optional<int> PrepareJobs();
  std::int64_t ExpectedFrames() const;
  void Work();
  // Analyses job `index`; false with `error` set when it failed.
  bool RunJob(std::size_t index, std::string &error);
  bool WriteFiles(const Job &job, const core::Measurement &run, const std::string &spectrumText,
                  int frame, std::string &error);
  // The reference's statistics, or an exit status when it has none.
  std::optional<int> AnalyseReference();
  // What the statistics and bands of job `index` write after its last frame; their .spc text
  // goes into the digest.
  bool WriteWhole(std::size_t index, const WholeInput &whole, QCryptographicHash &digest,
                  std::string &error);
  void WriteLines(std::size_t index, core::Measurement &run, const FramePlace &place);
  // Whether peak lines start with the input's name. The command line alone decides the layout:
  // a folder that holds one file gives the lines of one that holds many.
  bool NamedLines() const {
    return options_.names || options_.inputs.size() > 1 || !options_.recursive.empty();
  }
  void Stop(int signal);
  int Fail(const std::string &message) {
    err_ << "vireo-analyse: " << message << '\n';
    return kExitFailure;
  }

  const Options &options_;
  std::ostream &out_;
  std::ostream &err_;
  std::vector<Job> jobs_;
  std::unique_ptr<ProgressBar> progress_;
  std::unique_ptr<OrderedOutput> peaks_;
  std::unique_ptr<OrderedOutput> table_;
  std::unique_ptr<OrderedOutput> errors_;
  std::unique_ptr<WholeInput::Summary> reference_;
  double referenceRate_ = 0;
  core::StagedFile tableFile_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::atomic<bool> stop_{false};
};

std::optional<int> Run::PrepareJobs() {
  std::vector<std::string> inputs = options_.inputs;
  bool found = true;
  for (const std::string &folder : options_.recursive) {
    std::string error;
    const std::vector<std::string> files = FindAudioFiles(folder, options_.outDir, error);
    if (!error.empty()) {
      Fail(error);
      found = false;
    }
    inputs.insert(inputs.end(), files.begin(), files.end());
  }
  if (options_.pattern) {
    jobs_.push_back({{}, "pattern" + std::to_string(*options_.pattern), {}});
  } else if (options_.capture) {
    jobs_.push_back({{}, "capture", {}});
  }
  for (const std::string &input : inputs) {
    jobs_.push_back({input, input, {}});
  }
  std::map<std::string, std::string> names;
  for (Job &job : jobs_) {
    if (options_.out) {
      job.outBase = *options_.out;
    } else if (options_.outDir) {
      const std::string name = job.input.empty() ? job.name : OutName(job.input);
      job.outBase = (fs::path(*options_.outDir) / name).string() + '-';
      const auto [other, added] = names.emplace(name, job.name);
      if (!added) {
        Fail(other->second + " and " + job.name + " would write the same files in " +
             *options_.outDir);
        return kExitUsage;
      }
    }
  }
  if (jobs_.empty()) {
    return Fail("no audio files found");
  }
  return found ? std::nullopt : std::optional(kExitFailure);
}

std::int64_t Run::ExpectedFrames() const {
  std::int64_t frames = 0;
  for (const Job &job : jobs_) {
    std::error_code code;
    if (job.input.empty()) {
      frames += options_.frames.value_or(options_.capture ? 0 : 1);
    } else if (job.input != "-" && fs::is_regular_file(job.input, code)) {
      // Only regular files: opening a pipe or a FIFO would take its data.
      if (const AudioFile file(job.input); file.Length()) {
        frames += FramesIn(options_, *file.Length());
      }
    } else {
      return 0; // not known before the end
    }
  }
  return frames;
}

bool Run::WriteFiles(const Job &job, const core::Measurement &run, const std::string &spectrumText,
                     int frame, std::string &error) {
  const std::string name = job.outBase + std::to_string(frame);
  const auto failed = [&error](const core::StagedFile &file) {
    error = "cannot write " + file.Name() + Reason();
    return false;
  };
  errno = 0;
  core::StagedFile raw;
  core::StagedFile spectrum;
  if (!raw.Open(name + ".raw") || !raw.Write(run.RawText())) {
    return failed(raw);
  }
  if (!spectrum.Open(name + ".spc") || !spectrum.Write(spectrumText)) {
    return failed(spectrum);
  }
  // The spectrum takes its name first: a .raw file is never newer than its .spc.
  if (const core::StagedFile *refused = core::StagedFile::CommitPair(spectrum, raw)) {
    return failed(*refused);
  }
  return !options_.png || WritePng(name + ".png", run.Picture().Image(), error);
}

void Run::WriteLines(std::size_t index, core::Measurement &run, const FramePlace &place) {
  const analysis::FrameResult &result =
      run.Measured(options_.table && options_.bins ? analysis::kFrameLength : kAllBins);
  const int peak = PeakBin(result);
  const auto spectrumLine = [&](int bin) {
    return core::SpectrumLine(result, bin, run.sampleRate);
  };
  if (options_.peak) {
    std::string line = NamedLines() ? EscapedName(place.input) + '\t' : std::string();
    line += std::to_string(place.frame) + '\t' + std::to_string(peak) + '\t' + spectrumLine(peak) +
            '\n';
    peaks_->Write(index, line);
  }
  if (!options_.table || options_.bands) {
    return;
  }
  if (options_.bins) {
    table_->Write(index, BinRows(*options_.table, place, result, run.sampleRate));
  } else {
    const std::string note = NoteName(run, peak);
    table_->Write(index, TableRow(*options_.table, place, peak, spectrumLine(peak), &note));
  }
}

// The digest line of an input: its name, its frame count and the SHA-256 of its .spc text.
std::string DigestLine(std::string_view name, std::int64_t frames,
                       const QCryptographicHash &digest) {
  return EscapedName(name) + '\t' + std::to_string(frames) + '\t' +
         digest.result().toHex().toStdString() + '\n';
}

std::optional<int> Run::AnalyseReference() {
  // The input's settings, on the reference file whatever the command's source.
  Options options = options_;
  options.pattern.reset();
  options.capture.reset();
  options.png = false;
  std::string error;
  FrameSource source(options, *options.reference, error);
  if (!source.IsOpen()) {
    return Fail(error);
  }
  core::Measurement run;
  BeginRun(run, options, source.SampleRate());
  WholeInput whole(options, source.SampleRate());
  for (int frame = 0; source.Next(frame, run, stop_, error); ++frame) {
    run.ProcessFrame();
    whole.Add(run.Measured());
  }
  if (!error.empty()) {
    return Fail(error);
  }
  if (whole.Frames() == 0) {
    return Fail(*options.reference + " holds no whole frame to compare with");
  }
  reference_ = std::make_unique<WholeInput::Summary>(whole.Summarise());
  referenceRate_ = source.SampleRate();
  return std::nullopt;
}

bool Run::WriteWhole(std::size_t index, const WholeInput &whole, QCryptographicHash &digest,
                     std::string &error) {
  const Job &job = jobs_[index];
  if (whole.Frames() == 0) {
    error = job.name + " holds no whole frame to take statistics of";
    return false;
  }
  const WholeInput::Summary summary = whole.Summarise();
  const double rate = whole.Rate();
  for (std::size_t s = 0; s < options_.average.size(); ++s) {
    const std::string text = StatisticText(summary.bins[s], rate, options_.offset);
    digest.addData(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (job.outBase.empty()) {
      continue;
    }
    const std::string name =
        job.outBase + (options_.out ? "-" : "") +
        std::string(core::kStatisticNames[static_cast<std::size_t>(options_.average[s])]);
    errno = 0;
    core::StagedFile file;
    if (!file.Open(name + ".spc") || !file.Write(text) || !file.Commit()) {
      error = "cannot write " + file.Name() + Reason();
      return false;
    }
    if (options_.png) {
      core::Measurement picture;
      BeginRun(picture, options_, rate);
      picture.result = summary.bins[s];
      if (reference_) {
        DrawDifference(picture.Picture(), picture.Palette(), picture.view, summary.bins[s],
                       reference_->bins[s]);
      } else {
        picture.DrawSpectrum();
      }
      if (!WritePng(name + ".png", picture.Picture().Image(), error)) {
        return false;
      }
    }
  }
  if (options_.peak && !options_.average.empty()) {
    peaks_->Write(index, StatisticPeakLines(options_, NamedLines() ? job.name : "", rate, summary));
  }
  if (options_.table) {
    table_->Write(index, WholeTableRows(options_, job.name, whole, summary, reference_.get()));
  }
  return true;
}

bool Run::RunJob(std::size_t index, std::string &error) {
  const Job &job = jobs_[index];
  FrameSource source(options_, job.input, error);
  if (!source.IsOpen()) {
    return false;
  }
  const double rate = source.SampleRate();
  if (reference_ && rate != referenceRate_) {
    error = job.name + " is sampled at " + core::FormatSampleRate(rate).toStdString() +
            " Hz, the reference at " + core::FormatSampleRate(referenceRate_).toStdString() + " Hz";
    return false;
  }
  if (options_.outDir) {
    std::error_code code;
    const fs::path folder = fs::path(job.outBase).parent_path();
    if (fs::create_directories(folder, code); code) {
      error = "cannot make the folder " + folder.string() + ": " + code.message();
      return false;
    }
  }
  core::Measurement run;
  BeginRun(run, options_, rate);
  std::unique_ptr<Spectrogram> spectrogram;
  if (options_.spectrogram) {
    spectrogram = std::make_unique<Spectrogram>(ShapeOf(options_, run, source));
  }
  // With --average the statistics are written instead of the frames.
  const bool frames = options_.average.empty();
  std::optional<WholeInput> whole;
  if (!frames || options_.bands) {
    whole.emplace(options_, rate);
  }
  QCryptographicHash digest(QCryptographicHash::Sha256);
  int frame = 0;
  for (; source.Next(frame, run, stop_, error); ++frame) {
    run.ProcessFrame();
    if (whole) {
      whole->Add(run.Measured());
    }
    if (frames) {
      const std::string spectrumText = job.outBase.empty() && !options_.digest
                                           ? std::string()
                                           : core::FormatSpectrumData(run.Measured(), rate);
      if (!job.outBase.empty() && !WriteFiles(job, run, spectrumText, frame + 1, error)) {
        return false;
      }
      if (options_.digest) {
        digest.addData(
            QByteArrayView(spectrumText.data(), static_cast<qsizetype>(spectrumText.size())));
      }
      const std::int64_t start = source.First() + frame * source.Hop();
      WriteLines(index, run, {job.name, frame + 1, start, rate > 0 ? start / rate : 0});
    }
    if (spectrogram && !spectrogram->AddColumn(run, error)) {
      return false;
    }
    progress_->FrameDone();
    // The pattern parameter steps after every frame, as in a continuous run.
    run.StepPatternParam();
  }
  if (!error.empty() || (whole && !WriteWhole(index, *whole, digest, error))) {
    return false;
  }
  if (options_.digest) {
    peaks_->Write(index, DigestLine(job.name, frame, digest));
  }
  if (spectrogram && frame == 0) {
    error = job.name + " holds no whole frame to draw";
    return false;
  }
  const SpectrogramScale scale{rate, source.First(), source.Hop()};
  return !spectrogram ||
         spectrogram->Write(*options_.spectrogram, options_.axes ? &scale : nullptr, error);
}

void Run::Work() {
  for (std::size_t index; (index = next_++) < jobs_.size();) {
    std::string error;
    if (!RunJob(index, error)) {
      failed_ = true;
      errors_->Write(index, "vireo-analyse: " + error + '\n');
    }
    for (OrderedOutput *output : {peaks_.get(), table_.get(), errors_.get()}) {
      output->Finish(index);
    }
    progress_->FileDone();
  }
}

void Run::Stop(int signal) {
  if (options_.capture) {
    // The end of a capture: the frame in progress and every file are completed.
    stop_ = true;
    return;
  }
  // Nothing is cut in half: no line of text (unless its reader has stopped reading), no pair
  // of files, no file at all.
  for (OrderedOutput *output : {peaks_.get(), table_.get(), errors_.get()}) {
    output->Hold(std::chrono::seconds(1));
  }
  progress_->End();
  core::AbandonStagedFiles();
  EndBySignal(signal);
}

int Run::Execute() {
  if (const std::optional<int> status = PrepareJobs()) {
    return *status;
  }
  if (const std::optional<int> status = options_.reference ? AnalyseReference() : std::nullopt) {
    return *status;
  }
  const bool textOnTerminal =
      (options_.peak || (options_.table && !options_.tableOut)) && isatty(STDOUT_FILENO);
  // Lines on the same terminal show the progress themselves.
  const bool bar = !options_.quiet && !textOnTerminal && isatty(STDERR_FILENO);
  progress_ = std::make_unique<ProgressBar>(bar, static_cast<std::int64_t>(jobs_.size()),
                                            bar ? ExpectedFrames() : 0);

  const auto toStandardOutput = [this](std::string_view text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out_.flush());
  };
  peaks_ = std::make_unique<OrderedOutput>(jobs_.size(), toStandardOutput);
  errors_ = std::make_unique<OrderedOutput>(jobs_.size(), [this](std::string_view text) {
    progress_->End();
    err_ << text;
    return true;
  });
  errno = 0;
  if (options_.tableOut && !tableFile_.Open(*options_.tableOut)) {
    return Fail("cannot write " + *options_.tableOut + ": " + std::strerror(errno));
  }
  // The header comes with the first row: a table without rows is empty.
  table_ = std::make_unique<OrderedOutput>(
      jobs_.size(), [this, toStandardOutput, header = true](std::string_view rows) mutable {
        std::string text;
        if (std::exchange(header, false)) {
          text = !options_.average.empty() || options_.bands
                     ? WholeTableHeader(options_, options_.reference.has_value())
                     : TableHeader(*options_.table, options_.bins);
        }
        text += rows;
        return options_.tableOut ? tableFile_.Write(text) : toStandardOutput(text);
      });

  {
    const StopSignals stopSignals([this](int signal) { Stop(signal); });
    const auto workers =
        std::min<std::size_t>(static_cast<std::size_t>(options_.jobs), jobs_.size());
    std::vector<std::jthread> pool;
    for (std::size_t i = 1; i < workers; ++i) {
      pool.emplace_back([this] { Work(); });
    }
    Work();
  }
  progress_->End();
  const int peakFailure = peaks_->Failure();
  const int tableFailure = table_->Failure();
  if (peakFailure != 0 || (!options_.tableOut && tableFailure != 0)) {
    return Fail(std::string("cannot write the standard output: ") +
                std::strerror(peakFailure != 0 ? peakFailure : tableFailure));
  }
  errno = tableFailure;
  if (options_.tableOut && (tableFailure != 0 || !tableFile_.Commit())) {
    return Fail("cannot write " + *options_.tableOut + Reason());
  }
  return failed_ ? kExitFailure : kExitSuccess;
}

} // namespace

int Analyse(const Options &options, std::ostream &out, std::ostream &err) {
  return Run(options, out, err).Execute();
}

} // namespace cli
