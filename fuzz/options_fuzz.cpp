// The command line of vireo-analyse from any bytes: the input is split at NUL bytes into the
// arguments after the program name. Every command line gets either options or an error, and
// options that are accepted hold only values the run can use.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/options.h"
#include "sources/test_patterns.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string> words;
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t end = std::min(text.find('\0', from), text.size());
    words.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  std::vector<const char *> args;
  for (const std::string &word : words) {
    args.push_back(word.c_str());
  }
  const cli::ParsedCommandLine parsed = cli::ParseCommandLine(args);
  if (parsed.request != cli::Request::Run || !parsed.error.empty()) {
    return 0;
  }
  const cli::Options &o = parsed.options;
  const bool usable =
      (!o.pattern || (*o.pattern >= 0 && *o.pattern < sources::kPatternCount)) &&
      (!o.frames || *o.frames >= 1) && o.start >= 0 && o.hop >= 1 && o.jobs >= 1 &&
      (!o.rate || (std::isfinite(*o.rate) && *o.rate > 0)) && (!o.capture || *o.capture >= 0) &&
      std::ranges::count(display::kBinsPerColumn, o.binsPerColumn) == 1 &&
      std::ranges::count(analysis::kGains, o.gain, &analysis::GainEntry::value) == 1;
  if (!usable) {
    std::abort();
  }
  return 0;
}
