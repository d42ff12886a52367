// The command line of vireo-analyse: what to analyse, with which settings, and what to write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/frame_scaling.h"
#include "core/bands.h"
#include "core/settings.h"
#include "core/statistics.h"

namespace cli {

enum class TableFormat { Csv, Json };

struct Options {
  // Source: a test pattern (0 ... 7) with its parameter, audio inputs, or a live capture.
  std::optional<int> pattern;
  std::int32_t param = core::kInitialPatternParam;
  // Files ("-" is standard input) in the order given, and folders whose audio files, found
  // at any depth, follow them in name order.
  std::vector<std::string> inputs;
  std::vector<std::string> recursive;
  // Seconds of sound from the audio server's default source; 0 until stopped.
  std::optional<double> capture;
  std::int64_t start = 0;
  std::int64_t hop = analysis::kFrameLength;
  // Frames per source; without a count one frame of a pattern, or every whole frame of an
  // input.
  std::optional<int> frames;

  // Settings; without a rate the file's own rate, or 44100 for a pattern or a capture, is
  // used.
  std::optional<double> rate;
  double gain = analysis::kGains[analysis::kDefaultGainIndex].value;
  bool window = false;
  bool linear = false;
  int binsPerColumn = display::kBinsPerColumn[0];
  int viewPosition = 0;
  // --zoom or --view was given: the spectrogram shows the picture's page of bins.
  bool viewChosen = false;

  // Output.
  std::optional<std::string> out;
  std::optional<std::string> outDir;
  bool png = false;
  bool peak = false;
  // Peak lines start with the source's name for any number of sources.
  bool names = false;
  std::optional<TableFormat> table;
  std::optional<std::string> tableOut;
  bool bins = false;
  std::optional<std::string> spectrogram;
  bool axes = false;
  // The spectrogram's shape: that many columns, each over its share of the frames, instead of
  // one per frame; rows by log frequency, that many per octave.
  std::optional<int> columns;
  bool logFrequency = false;
  int rowsPerOctave = 3;
  // A recording as a whole: statistics over each input's frames (in the order mean, max, min)
  // instead of per-frame output, bands, the weighting and dB offset of both, a reference input
  // to compare with, and a digest line per input.
  std::vector<core::Statistic> average;
  std::optional<core::BandWidth> bands;
  core::Weighting weighting = core::Weighting::Z;
  double offset = 0;
  std::optional<std::string> reference;
  bool digest = false;
  int jobs = 1;
  bool quiet = false;
};

enum class Request { Run, Help, Version };

struct ParsedCommandLine {
  Request request = Request::Run;
  Options options;
  // One line naming the bad option or value; empty when the command line is valid.
  std::string error;
};

// Reads the arguments after the program name. Options take their value as the next argument
// or after '=' ("--gain 10", "--gain=10"), -j also joined ("-j4"); other arguments, and every
// argument after "--", are input files. --help and --version before any "--" win over
// everything else.
ParsedCommandLine ParseCommandLine(std::span<const char *const> args);

// The text that --help prints.
std::string UsageText();

} // namespace cli
