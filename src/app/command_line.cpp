#include "app/command_line.h"

#include "analysis/arithmetic_path.h"

#include <string_view>

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

constexpr std::string_view kUsage = "Usage: vireo [OPTION]\n"
                                    "Real-time spectrum analyser.\n"
                                    "\n"
                                    "  -h, --help     show this help and exit\n"
                                    "  -v, --version  show the version and exit\n";

} // namespace

std::optional<int> HandleCommandLine(std::span<char *const> args, std::ostream &out,
                                     std::ostream &err) {
  if (const auto error = analysis::PathChoiceError()) {
    err << "vireo: " << *error << '\n';
    return kFailure;
  }
  if (args.size() <= 1) {
    return std::nullopt;
  }
  // The first argument decides: what follows a help or version request is not looked at.
  const std::string_view first = args[1];
  if (first == "-h" || first == "--help") {
    out << kUsage;
    return 0;
  }
  if (first == "-v" || first == "--version") {
    out << "Vireo " VIREO_VERSION "\narithmetic: " << analysis::PathName(analysis::CurrentPath())
        << '\n';
    return 0;
  }
  err << "vireo: " << (first.starts_with('-') ? "unknown option" : "unexpected argument") << " '"
      << first << "'\nTry 'vireo --help' for more information.\n";
  return kUsageError;
}
