#include "cli/options.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string_view>

#include "analysis/frame_scaling.h"
#include "core/sample_rate_text.h"
#include "sources/test_patterns.h"

namespace cli {

namespace {

// Enough rows per octave for any picture: 100 make 1100 rows over the bins of a frame.
constexpr int kMostRowsPerOctave = 100;
// Columns enough for any screen; more, beyond the frames, would only repeat them.
constexpr int kMostColumns = 1000000;

// Stores the value of an option; returns why the value is refused, or nothing.
using Refusal = std::optional<std::string>;
using Setter = Refusal (*)(Options &options, std::string_view value);

struct KnownOption {
  std::string_view name;
  // Either a switch without a value or an option whose value `set` takes.
  bool Options::*flag;
  Setter set;
};

// A whole number of at least `minimum` for the field `member`.
template <auto member, auto minimum> Refusal SetInteger(Options &options, std::string_view text) {
  using Integer = decltype(minimum);
  Integer value{};
  const char *end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  if (error == std::errc::result_out_of_range && last == end && !text.starts_with('-')) {
    return "is too large (at most " + std::to_string(std::numeric_limits<Integer>::max()) + ")";
  }
  if (text.empty() || error != std::errc() || last != end || value < minimum) {
    return minimum == std::numeric_limits<Integer>::min()
               ? (error == std::errc::result_out_of_range ? "is too small"
                                                          : "is not a whole number")
               : "is not a whole number of at least " + std::to_string(minimum);
  }
  options.*member = value;
  return std::nullopt;
}

// The items' texts separated by `separator`, the last one by `last`: "1, 2, 4 or 8".
template <typename Items, typename Text>
std::string Listed(const Items &items, Text text, std::string_view separator = ", ",
                   std::string_view last = " or ") {
  std::string list;
  for (std::size_t i = 0; i < items.size(); ++i) {
    list += i == 0 ? "" : i + 1 == items.size() ? last : separator;
    list += std::invoke(text, items[i]);
  }
  return list;
}

std::string Number(int value) {
  return std::to_string(value);
}

// The help lines of an option: its description from column 20 on, broken at spaces into lines
// of at most 79 characters.
std::string HelpLine(std::string_view option, std::string_view description) {
  constexpr std::size_t kIndent = 19;
  constexpr std::size_t kWidth = 79;
  std::string text = "  " + std::string(option);
  text.resize(kIndent, ' ');
  std::size_t lineStart = 0;
  for (std::size_t word = 0; word < description.size();) {
    const std::size_t end = std::min(description.find(' ', word), description.size());
    if (text.size() - lineStart + (end - word) > kWidth && text.back() == ' ') {
      text.back() = '\n';
      lineStart = text.size();
      text.append(kIndent, ' ');
    }
    text.append(description.substr(word, end - word + 1));
    word = end + 1;
  }
  return text + '\n';
}

// The name of a file or folder to write: an empty one would name none.
template <auto member> Refusal SetName(Options &options, std::string_view text) {
  if (text.empty()) {
    return "is no name";
  }
  options.*member = std::string(text);
  return std::nullopt;
}

template <auto member> Refusal AddText(Options &options, std::string_view text) {
  (options.*member).emplace_back(text);
  return std::nullopt;
}

std::optional<double> ParseDecimal(std::string_view text) {
  return core::ParseSampleRate(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

Refusal SetPattern(Options &options, std::string_view text) {
  if (SetInteger<&Options::pattern, 0>(options, text) ||
      *options.pattern >= sources::kPatternCount) {
    return "is not a pattern number 0 ... " + Number(sources::kPatternCount - 1);
  }
  return std::nullopt;
}

Refusal SetRate(Options &options, std::string_view text) {
  options.rate = ParseDecimal(text);
  return options.rate && *options.rate > 0 ? Refusal() : "is not a decimal number above 0";
}

Refusal SetGain(Options &options, std::string_view text) {
  const auto gain = ParseDecimal(text);
  if (!gain || std::ranges::find(analysis::kGains, *gain, &analysis::GainEntry::value) ==
                   analysis::kGains.end()) {
    return "is not one of the gains " +
           Listed(analysis::kGains, &analysis::GainEntry::text, " ", " ");
  }
  options.gain = *gain;
  return std::nullopt;
}

Refusal SetZoom(Options &options, std::string_view text) {
  if (SetInteger<&Options::binsPerColumn, 1>(options, text) ||
      std::ranges::find(display::kBinsPerColumn, options.binsPerColumn) ==
          display::kBinsPerColumn.end()) {
    return "is not " + Listed(display::kBinsPerColumn, Number);
  }
  return std::nullopt;
}

Refusal SetFrames(Options &options, std::string_view text) {
  if (text == "all") {
    options.frames.reset();
    return std::nullopt;
  }
  const Refusal refusal = SetInteger<&Options::frames, 1>(options, text);
  return refusal && !refusal->starts_with("is too large")
             ? "is not 'all' or a whole number of at least 1"
             : refusal;
}

Refusal SetCapture(Options &options, std::string_view text) {
  options.capture = ParseDecimal(text);
  if (!options.capture || *options.capture < 0) {
    return "is not a number of seconds (0: until stopped)";
  }
  return std::nullopt;
}

Refusal SetTable(Options &options, std::string_view text) {
  if (text != "csv" && text != "json") {
    return "is not csv or json";
  }
  options.table = text == "csv" ? TableFormat::Csv : TableFormat::Json;
  return std::nullopt;
}

Refusal SetAverage(Options &options, std::string_view text) {
  std::vector<core::Statistic> &average = options.average;
  average.clear();
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const auto name = std::ranges::find(core::kStatisticNames, text.substr(start, end - start));
    if (name == core::kStatisticNames.end()) {
      return "is not a list of mean, max and min";
    }
    const auto statistic = static_cast<core::Statistic>(name - core::kStatisticNames.begin());
    if (std::ranges::find(average, statistic) != average.end()) {
      return "names " + std::string(*name) + " twice";
    }
    average.push_back(statistic);
    start = end + 1;
  }
  std::ranges::sort(average);
  return std::nullopt;
}

Refusal SetBands(Options &options, std::string_view text) {
  if (text != "octave" && text != "third") {
    return "is not octave or third";
  }
  options.bands = text == "octave" ? core::BandWidth::Octave : core::BandWidth::Third;
  return std::nullopt;
}

Refusal SetWeighting(Options &options, std::string_view text) {
  constexpr std::string_view kNames[] = {"A", "C", "Z"};
  const auto name = std::ranges::find(kNames, text);
  if (name == std::end(kNames)) {
    return "is not A, C or Z";
  }
  options.weighting = static_cast<core::Weighting>(name - std::begin(kNames));
  return std::nullopt;
}

Refusal SetOffset(Options &options, std::string_view text) {
  const auto offset = ParseDecimal(text);
  if (!offset) {
    return "is not a decimal number of dB";
  }
  options.offset = *offset;
  return std::nullopt;
}

Refusal SetColumns(Options &options, std::string_view text) {
  if (SetInteger<&Options::columns, 1>(options, text) || *options.columns > kMostColumns) {
    return "is not a whole number 1 ... " + Number(kMostColumns);
  }
  return std::nullopt;
}

Refusal SetRows(Options &options, std::string_view text) {
  if (SetInteger<&Options::rowsPerOctave, 1>(options, text) ||
      options.rowsPerOctave > kMostRowsPerOctave) {
    return "is not a whole number 1 ... " + Number(kMostRowsPerOctave);
  }
  return std::nullopt;
}

const KnownOption kOptions[] = {
    {"--pattern", nullptr, SetPattern},
    {"--param", nullptr, SetInteger<&Options::param, INT32_MIN>},
    {"--frames", nullptr, SetFrames},
    {"--input", nullptr, AddText<&Options::inputs>},
    {"--recursive", nullptr, AddText<&Options::recursive>},
    {"--capture", nullptr, SetCapture},
    {"--start", nullptr, SetInteger<&Options::start, std::int64_t{0}>},
    {"--hop", nullptr, SetInteger<&Options::hop, std::int64_t{1}>},
    {"--rate", nullptr, SetRate},
    {"--gain", nullptr, SetGain},
    {"--window", &Options::window, nullptr},
    {"--linear", &Options::linear, nullptr},
    {"--zoom", nullptr, SetZoom},
    {"--view", nullptr, SetInteger<&Options::viewPosition, INT_MIN>},
    {"--out", nullptr, SetName<&Options::out>},
    {"--out-dir", nullptr, SetName<&Options::outDir>},
    {"--png", &Options::png, nullptr},
    {"--peak", &Options::peak, nullptr},
    {"--names", &Options::names, nullptr},
    {"--table", nullptr, SetTable},
    {"--table-out", nullptr, SetName<&Options::tableOut>},
    {"--bins", &Options::bins, nullptr},
    {"--spectrogram", nullptr, SetName<&Options::spectrogram>},
    {"--axes", &Options::axes, nullptr},
    {"--columns", nullptr, SetColumns},
    {"--log-frequency", &Options::logFrequency, nullptr},
    {"--rows", nullptr, SetRows},
    {"--average", nullptr, SetAverage},
    {"--bands", nullptr, SetBands},
    {"--weighting", nullptr, SetWeighting},
    {"--offset", nullptr, SetOffset},
    {"--reference", nullptr, SetName<&Options::reference>},
    {"--digest", &Options::digest, nullptr},
    {"-j", nullptr, SetInteger<&Options::jobs, 1>},
    {"--jobs", nullptr, SetInteger<&Options::jobs, 1>},
    {"--quiet", &Options::quiet, nullptr},
};

// The combinations that make no sense; empty when the options fit together.
std::string CheckCombination(const Options &o, const std::set<std::string_view> &given) {
  const bool files = !o.inputs.empty() || !o.recursive.empty();
  if (o.pattern.has_value() + files + o.capture.has_value() != 1) {
    return "give one source: --pattern N, input files or --capture SECONDS";
  }
  if (given.contains("--param") && !o.pattern) {
    return "--param goes with --pattern";
  }
  for (const std::string_view fileOnly : {"--start", "--hop"}) {
    if (given.contains(fileOnly) && !files) {
      return std::string(fileOnly) + " goes with input files";
    }
  }
  if (given.contains("--frames") && !o.frames && !files) {
    return "--frames all goes with input files";
  }
  if (given.contains("--frames") && o.capture) {
    return "--capture SECONDS sets the frames itself";
  }
  const bool several = o.inputs.size() > 1 || !o.recursive.empty();
  if (o.out && (several || o.outDir)) {
    return "--out NAME takes one input; give --out-dir DIR for several";
  }
  if (o.png && !o.out && !o.outDir) {
    return "--png goes with --out NAME or --out-dir DIR";
  }
  for (const std::string_view viewOnly : {"--zoom", "--view"}) {
    if (given.contains(viewOnly) && !o.png && !o.spectrogram) {
      return std::string(viewOnly) + " goes with --png or --spectrogram FILE";
    }
  }
  if (o.names && !o.peak) {
    return "--names goes with --peak";
  }
  if ((o.tableOut || o.bins) && !o.table) {
    return std::string(o.bins ? "--bins" : "--table-out") + " goes with --table FORMAT";
  }
  if (o.peak && o.table && !o.tableOut) {
    return "--peak and --table both print to the standard output; give --table-out FILE";
  }
  if (o.digest && (o.peak || (o.table && !o.tableOut))) {
    return std::string("--digest and ") + (o.peak ? "--peak" : "--table") +
           " both print to the standard output";
  }
  const bool whole = !o.average.empty() || o.bands;
  for (const std::string_view wholeOnly : {"--reference", "--weighting", "--offset"}) {
    if (given.contains(wholeOnly) && !whole) {
      return std::string(wholeOnly) + " goes with --average or --bands";
    }
  }
  if (given.contains("--offset") && o.linear) {
    return "--offset goes with the dB scale, not --linear";
  }
  if (o.bands && o.bins) {
    return "--bands and --bins ask for different rows; give one";
  }
  if (o.bands && !o.table) {
    return "--bands goes with --table FORMAT";
  }
  if (!o.average.empty() && o.table && !o.bins && !o.bands) {
    return "--average with --table goes with --bins or --bands";
  }
  if (o.spectrogram && several) {
    return "--spectrogram FILE draws one input";
  }
  for (const std::string_view shape : {"--axes", "--columns", "--log-frequency"}) {
    if (given.contains(shape) && !o.spectrogram) {
      return std::string(shape) + " goes with --spectrogram FILE";
    }
  }
  if (o.columns && o.average.size() > 1) {
    return "--columns draws one statistic; give --average with one of mean, max and min";
  }
  if (given.contains("--rows") && !o.logFrequency) {
    return "--rows goes with --log-frequency";
  }
  if (o.logFrequency && o.viewChosen) {
    return "--log-frequency and --zoom or --view choose the rows differently; give one";
  }
  if (!o.out && !o.outDir && !o.peak && !o.table && !o.spectrogram && !o.digest) {
    return "nothing to write: give --out NAME, --out-dir DIR, --peak, --table FORMAT, "
           "--spectrogram FILE or --digest";
  }
  return {};
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const char *const> args) {
  ParsedCommandLine result;
  for (const std::string_view arg : args) {
    if (arg == "--") {
      break;
    }
    if (arg == "--help" || arg == "-h") {
      result.request = Request::Help;
      return result;
    }
    if (arg == "--version") {
      result.request = Request::Version;
      return result;
    }
  }
  std::set<std::string_view> given;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    // After "--" every argument is an input, even one that starts with '-'.
    if (arg == "--" && !optionsEnded) {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
      result.options.inputs.emplace_back(arg);
      continue;
    }
    const bool joined = arg.starts_with("-j") && arg.size() > 2;
    const std::size_t equals = joined ? 1 : arg.find('=');
    const std::string_view name = arg.substr(0, joined ? 2 : equals);
    const auto known = std::find_if(std::begin(kOptions), std::end(kOptions),
                                    [&](const KnownOption &o) { return o.name == name; });
    if (known == std::end(kOptions)) {
      result.error = "unknown option '" + std::string(arg) + "'";
      return result;
    }
    given.insert(known->name);
    if (known->flag != nullptr) {
      if (equals != std::string_view::npos) {
        result.error = std::string(name) + " takes no value";
        return result;
      }
      result.options.*(known->flag) = true;
      continue;
    }
    if (equals == std::string_view::npos && i + 1 == args.size()) {
      result.error = std::string(name) + " needs a value";
      return result;
    }
    const std::string_view value = equals == std::string_view::npos ? args[++i]
                                   : joined                         ? arg.substr(2)
                                                                    : arg.substr(equals + 1);
    if (const Refusal refusal = known->set(result.options, value)) {
      result.error = std::string(name) + ": '" + std::string(value) + "' " + *refusal;
      return result;
    }
  }
  result.options.viewChosen = given.contains("--zoom") || given.contains("--view");
  result.error = CheckCombination(result.options, given);
  return result;
}

std::string UsageText() {
  return "Usage: vireo-analyse [SOURCE] [OPTION]... OUTPUT...\n"
         "Runs Vireo's frame passes on a test pattern, audio files or a live capture and\n"
         "writes what the window shows and saves, tables for scripts and spectrograms.\n"
         "\n"
         "Source (one kind):\n" +
         HelpLine("--pattern N",
                  "test pattern 0-" + Number(sources::kPatternCount - 1) + ": " +
                      Listed(sources::kPatterns, &sources::Pattern::name, ", ", ", ")) +
         "  --param K        pattern parameter of the first frame (default " +
         Number(core::kInitialPatternParam) +
         "); it\n"
         "                   steps after every frame as in a continuous run\n"
         "  FILE..., --input FILE\n"
         "                   audio files in any format libsndfile reads, '-' for standard\n"
         "                   input; pipes and FIFOs too. Each is read once, straight\n"
         "                   through; its first channel is analysed. A pipe or FIFO of\n"
         "                   WAV with integer or float samples is read as it comes; any\n"
         "                   other is first copied to its end into an unnamed file in\n"
         "                   $TMPDIR (or /tmp), which takes its size on disk until done\n"
         "  --recursive DIR  every audio file under DIR, in name order (may be repeated):\n"
         "                   the extensions of libsndfile's formats and their common\n"
         "                   aliases (.wav .flac .ogg .oga .opus .mp3 .aiff .aifc .au\n"
         "                   .snd .caf .w64 ...), except .raw files and the --out-dir\n"
         "                   folder. A file's format is taken from its bytes, never from\n"
         "                   its name, as a pipe's must be\n"
         "  --capture S      S seconds from the audio server's default source, frame\n"
         "                   after frame (0: until Ctrl-C, which ends the capture\n"
         "                   cleanly)\n"
         "  --start S        first sample of the first frame of each input (default 0)\n"
         "  --hop H          samples from one frame's start to the next (default 4096)\n"
         "  --frames M|all   frames per source (default: 1 of a pattern, every whole\n"
         "                   frame of an input); an input too short for M frames, or\n"
         "                   for one, is an error after the frames that it holds\n"
         "\n"
         "Settings:\n" +
         HelpLine("--rate R", "sampling frequency in Hz, above 0 (default: the file's, or " +
                                  core::FormatSampleRate(core::kDefaultSampleRate).toStdString() +
                                  ")") +
         HelpLine("--gain G", Listed(analysis::kGains, &analysis::GainEntry::text) + " (default " +
                                  analysis::kGains[analysis::kDefaultGainIndex].text + ")") +
         "  --window         apply the sine window\n"
         "  --linear         linear level scale instead of dB\n" +
         HelpLine("--zoom Z",
                  "bins per column of the picture: " + Listed(display::kBinsPerColumn, Number) +
                      " (default " + Number(display::kBinsPerColumn[0]) + ")") +
         "  --view V         first bin shown (default 0), held within the range shown\n"
         "                   (--zoom and --view go with --png or --spectrogram)\n"
         "\n"
         "Output:\n"
         "  --out NAME       write NAME1.raw and NAME1.spc, NAME2... for each frame (one\n"
         "                   source)\n"
         "  --out-dir DIR    write DIR/INPUT-1.raw, DIR/INPUT-1.spc... where INPUT is the\n"
         "                   input's path as given without its root and '..' parts (or\n"
         "                   stdin, patternN, capture); folders are made as needed\n"
         "  --png            also write the picture of each frame as NAME1.png...\n"
         "  --peak           print frame, strongest bin (0-2047), its frequency and\n"
         "                   level. A line starts with the input's name and a tab when\n"
         "                   the command names several inputs or a --recursive folder\n"
         "                   (whatever it holds), or with --names; a tab, line feed,\n"
         "                   carriage return and backslash in it are written as \\t,\n"
         "                   \\n, \\r and \\\\\n"
         "  --names          with --peak: start every line with the input's name\n"
         "  --table FORMAT   one row per frame and input, csv or json (one object per\n"
         "                   line): input, frame, start sample, time in seconds, peak\n"
         "                   bin, frequency, level and the note as the window's cursor\n"
         "                   readout names it. CSV holds the input's name as its bytes,\n"
         "                   quoted where needed; JSON writes each byte of it that is not\n"
         "                   UTF-8 as \\udcXX (as Python's surrogateescape reads it).\n"
         "                   Rows and peak lines end with LF, not CR LF: they are for\n"
         "                   this system's line tools, which would keep a CR in the last\n"
         "                   field (the .raw and .spc files keep the window's CR LF).\n"
         "                   The CSV header comes with the first row, none without rows\n"
         "  --bins           with --table: a row for every bin of every frame instead\n"
         "  --table-out FILE\n"
         "                   write the table to FILE instead of the standard output\n"
         "  --spectrogram FILE.png\n"
         "                   one column per frame, one row per bin 0-2047 (with --zoom or\n"
         "                   --view: per column of the picture), coloured as the plot's\n"
         "                   bars; any length in little memory, the columns waiting in an\n"
         "                   unnamed file in $TMPDIR (or /tmp)\n"
         "  --axes           with --spectrogram: label frequencies and times\n"
         "  --columns N      with --spectrogram: N columns, column c showing the frames\n"
         "                   from floor(c T / N) up to floor((c + 1) T / N) of the T\n"
         "                   frames, each pixel the level of the mean power of its row\n"
         "                   over them (or the one --average statistic named); with N\n"
         "                   above T, column c shows frame floor(c T / N) alone. Where\n"
         "                   T is not known before the end (a pipe of WAV, a capture)\n"
         "                   each frame's row powers wait in an unnamed file in\n"
         "                   $TMPDIR, 8 bytes a row. N is at most " +
         Number(kMostColumns) +
         "\n"
         "  --log-frequency  with --spectrogram: one row per third-octave band of base\n"
         "                   10 (midbands 1000 x 10^(x/10) Hz), from the band of bin 1 to\n"
         "                   the band of bin 2047, each the level of the sum of the\n"
         "                   powers of its bins; at 4096 points the lowest bands hold\n"
         "                   few bins or none, and a band without one is grey\n"
         "  --rows N         with --log-frequency: N rows per octave instead of 3 (1 ...\n"
         "                   " +
         Number(kMostRowsPerOctave) +
         ")\n"
         "  -j N, --jobs N   analyse N inputs at once (default 1); the output is the same\n"
         "  --quiet          no progress bar\n"
         "  -h, --help       show this help and exit\n"
         "  --version        show the version and exit\n"
         "\n"
         "  --               end of the options: every argument after it is an input\n"
         "\n"
         "A recording as a whole:\n"
         "  --average LIST   statistics of each bin's power over an input's frames\n"
         "                   instead of frame by frame: mean (the averaged periodogram),\n"
         "                   max (peak hold) and min, comma-separated. --out NAME\n"
         "                   writes NAME-mean.spc..., --out-dir DIR writes\n"
         "                   DIR/INPUT-mean.spc..., --png their pictures, --table with\n"
         "                   --bins one row per input and bin\n"
         "                   (input,bin,frequency,mean,max,min), --peak each statistic's\n"
         "                   strongest bin\n"
         "  --bands B        octave or third: with --table, one row per input and band\n"
         "                   (input,band,nominal,lower,upper,bins, then the statistics,\n"
         "                   mean if --average names none); a band's power is the sum of\n"
         "                   its bins 1-2047 whose centre lies in [lower, upper). At 4096\n"
         "                   points the lowest bands hold few bins or none: an empty band\n"
         "                   writes 0 bins and -999\n"
         "  --weighting W    A, C or Z (none, the default): weight each bin's power at\n"
         "                   its frequency before the statistics and bands\n"
         "  --offset DB      add DB to every dB value of the statistics and bands, e.g.\n"
         "                   to read dB SPL\n"
         "  --reference FILE analyse FILE with the same settings and add the columns\n"
         "                   reference_S and difference_S (input minus reference, dB) for\n"
         "                   each statistic S; --png draws the difference\n"
         "  --digest         print each input's name, frame count and the SHA-256 of the\n"
         "                   .spc text of all its frames (with --average: of its\n"
         "                   statistics) as --out writes them: the same on every machine\n"
         "\n"
         "Files appear whole or not at all: a frame's .spc is in place before its .raw,\n"
         "and an interrupted run leaves no temporary files. A bad input is reported on\n"
         "one line and the others are still analysed. An input whose data ends before\n"
         "its header or container says it should is reported as 'NAME: cut short after\n"
         "N samples'; one whose decoder fails, or gives fewer samples than promised\n"
         "with data left, as 'NAME: damaged after N samples: REASON'. Either keeps the\n"
         "whole frames before the end or the damage.\n"
         "\n"
         "Exit status: 0 success, 1 unreadable input or unwritable output, 2 usage error.\n";
}

} // namespace cli
