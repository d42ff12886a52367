#include "cli/options.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstdint>
#include <limits>
#include <set>
#include <string_view>

#include "core/sample_rate_text.h"
#include "sources/test_patterns.h"

namespace cli {

namespace {

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
  if (text.empty() || error != std::errc() || last != end || value < minimum) {
    return minimum == std::numeric_limits<Integer>::min()
               ? "is not a whole number"
               : "is not a whole number of at least " + std::to_string(minimum);
  }
  options.*member = value;
  return std::nullopt;
}

template <auto member> Refusal SetText(Options &options, std::string_view text) {
  options.*member = std::string(text);
  return std::nullopt;
}

std::optional<double> ParseDecimal(std::string_view text) {
  return ParseSampleRate(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

Refusal SetPattern(Options &options, std::string_view text) {
  if (SetInteger<&Options::pattern, 0>(options, text) ||
      *options.pattern >= sources::kPatternCount) {
    return "is not a pattern number 0 ... 7";
  }
  return std::nullopt;
}

Refusal SetRate(Options &options, std::string_view text) {
  options.rate = ParseDecimal(text);
  return options.rate ? Refusal() : "is not a decimal number";
}

Refusal SetGain(Options &options, std::string_view text) {
  const auto gain = ParseDecimal(text);
  if (!gain || std::find(core::kGains.begin(), core::kGains.end(), *gain) == core::kGains.end()) {
    return "is not one of the gains 0.1 0.2 0.5 1.0 2 5 10 20 50 100";
  }
  options.gain = *gain;
  return std::nullopt;
}

Refusal SetZoom(Options &options, std::string_view text) {
  if (SetInteger<&Options::binsPerColumn, 1>(options, text) ||
      std::popcount(static_cast<unsigned>(options.binsPerColumn)) != 1 ||
      options.binsPerColumn > 8) {
    return "is not 1, 2, 4 or 8";
  }
  return std::nullopt;
}

const KnownOption kOptions[] = {
    {"--pattern", nullptr, SetPattern},
    {"--param", nullptr, SetInteger<&Options::param, INT32_MIN>},
    {"--frames", nullptr, SetInteger<&Options::frames, 1>},
    {"--input", nullptr, SetText<&Options::input>},
    {"--start", nullptr, SetInteger<&Options::start, std::int64_t{0}>},
    {"--hop", nullptr, SetInteger<&Options::hop, std::int64_t{1}>},
    {"--rate", nullptr, SetRate},
    {"--gain", nullptr, SetGain},
    {"--window", &Options::window, nullptr},
    {"--linear", &Options::linear, nullptr},
    {"--zoom", nullptr, SetZoom},
    {"--view", nullptr, SetInteger<&Options::viewPosition, INT_MIN>},
    {"--out", nullptr, SetText<&Options::out>},
    {"--png", &Options::png, nullptr},
    {"--peak", &Options::peak, nullptr},
    {"--quiet", &Options::quiet, nullptr},
};

// The combinations that make no sense; empty when the options fit together.
std::string CheckCombination(const Options &o, const std::set<std::string_view> &given) {
  if (o.pattern.has_value() == o.input.has_value()) {
    return "give one source: --pattern N or --input FILE";
  }
  if (given.contains("--param") && !o.pattern) {
    return "--param goes with --pattern";
  }
  for (const std::string_view fileOnly : {"--start", "--hop"}) {
    if (given.contains(fileOnly) && !o.input) {
      return std::string(fileOnly) + " goes with --input";
    }
  }
  if (o.png && !o.out) {
    return "--png needs --out NAME";
  }
  if (!o.out && !o.peak) {
    return "nothing to write: give --out NAME or --peak";
  }
  return {};
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const char *const> args) {
  ParsedCommandLine result;
  for (const std::string_view arg : args) {
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
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const auto known = std::find_if(std::begin(kOptions), std::end(kOptions),
                                    [&](const KnownOption &o) { return o.name == name; });
    if (known == std::end(kOptions)) {
      result.error = (arg.starts_with('-') ? "unknown option '" : "unexpected argument '") +
                     std::string(arg) + "'";
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
    const std::string_view value =
        equals == std::string_view::npos ? args[++i] : arg.substr(equals + 1);
    if (const Refusal refusal = known->set(result.options, value)) {
      result.error = std::string(name) + ": '" + std::string(value) + "' " + *refusal;
      return result;
    }
  }
  result.error = CheckCombination(result.options, given);
  return result;
}

std::string UsageText() {
  return "Usage: vireo-analyse (--pattern N | --input FILE) [OPTION]... (--out NAME | --peak)\n"
         "Runs Vireo's frame passes on a test pattern or an audio file and writes what the\n"
         "window shows and saves.\n"
         "\n"
         "Source:\n"
         "  --pattern N    test pattern 0-7: zero, sine, detuned sine, half-wave, full-wave,\n"
         "                 square, impulse train, noise\n"
         "  --param K      pattern parameter of the first frame (default 4000); it steps after\n"
         "                 every frame as in a continuous run\n"
         "  --input FILE   audio file (any format libsndfile reads); its first channel\n"
         "  --start S      first sample of the first frame (default 0)\n"
         "  --hop H        samples from one frame's start to the next (default 4096)\n"
         "  --frames M     number of frames (default 1)\n"
         "\n"
         "Settings:\n"
         "  --rate R       sampling frequency in Hz (default: the file's, or 44100)\n"
         "  --gain G       0.1, 0.2, 0.5, 1.0, 2, 5, 10, 20, 50 or 100 (default 1.0)\n"
         "  --window       apply the sine window\n"
         "  --linear       linear level scale instead of dB\n"
         "  --zoom Z       bins per column of the picture: 1, 2, 4 or 8 (default 1)\n"
         "  --view V       first bin shown (default 0), held within the range shown\n"
         "\n"
         "Output:\n"
         "  --out NAME     write NAME1.raw and NAME1.spc, NAME2... for each frame\n"
         "  --png          also write the picture of each frame as NAME1.png...\n"
         "  --peak         print frame, strongest bin (0-2047), its frequency and level\n"
         "  --quiet        no progress bar\n"
         "  -h, --help     show this help and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "Exit status: 0 success, 1 unreadable input or unwritable output, 2 usage error.\n";
}

} // namespace cli
