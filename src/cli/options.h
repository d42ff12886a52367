// The command line of vireo-analyse: what to analyse, with which settings, and what to write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/settings.h"

namespace cli {

struct Options {
  // Source: a test pattern (0 ... 7) with its parameter, or an audio file.
  std::optional<int> pattern;
  std::int32_t param = core::kInitialPatternParam;
  std::optional<std::string> input;
  std::int64_t start = 0;
  std::int64_t hop = analysis::kFrameLength;
  int frames = 1;

  // Settings; without a rate the file's own rate, or 44100 for a pattern, is used.
  std::optional<double> rate;
  double gain = 1.0;
  bool window = false;
  bool linear = false;
  int binsPerColumn = 1;
  int viewPosition = 0;

  // Output.
  std::optional<std::string> out;
  bool png = false;
  bool peak = false;
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
// or after '=' ("--gain 10", "--gain=10"). --help and --version win over everything else.
ParsedCommandLine ParseCommandLine(std::span<const char *const> args);

// The text that --help prints.
std::string UsageText();

} // namespace cli
