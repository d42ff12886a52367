// The command-line options, handled before any window exists.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/command_line.h"

namespace {

TEST(CommandLine, OptionsAndErrors) {
  const std::string usage = "Usage: vireo [OPTION]\n";
  const std::string tryHelp = "'\nTry 'vireo --help' for more information.\n";
  const struct {
    std::vector<const char *> args;
    std::optional<int> exitCode;
    std::string out, err; // out: its first line(s) only
  } cases[] = {
      {{"vireo"}, std::nullopt, "", ""},
      {{"vireo", "--version"}, 0, "Vireo 0.7.0\n", ""},
      {{"vireo", "-v", "--bogus"}, 0, "Vireo 0.7.0\n", ""},
      {{"vireo", "--help"}, 0, usage, ""},
      {{"vireo", "-h"}, 0, usage, ""},
      {{"vireo", "--bogus"}, 2, "", "vireo: unknown option '--bogus" + tryHelp},
      {{"vireo", "file.raw", "--help"}, 2, "", "vireo: unexpected argument 'file.raw" + tryHelp},
  };
  for (const auto &c : cases) {
    std::ostringstream out, err;
    std::vector<char *> argv;
    for (const char *arg : c.args) {
      argv.push_back(const_cast<char *>(arg));
    }
    EXPECT_EQ(HandleCommandLine(argv, out, err), c.exitCode) << c.args.back();
    EXPECT_EQ(out.str().substr(0, c.out.size()), c.out) << c.args.back();
    EXPECT_EQ(out.str().empty(), c.out.empty());
    EXPECT_EQ(err.str(), c.err);
  }
}

} // namespace
