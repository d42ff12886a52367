// vireo-analyse: Vireo's analysis from the command line, without a display.
#include <QGuiApplication>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "analysis/arithmetic_path.h"
#include "cli/analyse.h"

namespace {

// Prints the text of --help or --version; a text that cannot be written is an error.
int Print(std::string_view text) {
  errno = 0;
  std::cout << text;
  if (std::cout.flush()) {
    return cli::kExitSuccess;
  }
  std::cerr << "vireo-analyse: cannot write the standard output"
            << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
  return cli::kExitFailure;
}

} // namespace

int main(int argc, char *argv[]) {
  const cli::ParsedCommandLine command =
      cli::ParseCommandLine({argv + 1, static_cast<std::size_t>(argc - 1)});
  // The help needs no arithmetic: it is shown whatever VIREO_ARITHMETIC says.
  if (command.request == cli::Request::Help) {
    return Print(cli::UsageText());
  }
  if (const auto error = analysis::PathChoiceError()) {
    std::cerr << "vireo-analyse: " << *error << '\n';
    return cli::kExitFailure;
  }
  if (command.request == cli::Request::Version) {
    // The path in use, and every path this machine runs (read by scripts/test).
    std::string text = "vireo-analyse (Vireo) " VIREO_VERSION "\narithmetic: " +
                       std::string(analysis::PathName(analysis::CurrentPath())) +
                       "\narithmetic paths:";
    for (const analysis::ArithmeticPath path : analysis::AvailablePaths()) {
      text.append(" ").append(analysis::PathName(path));
    }
    return Print(text + "\n");
  }
  if (!command.error.empty()) {
    std::cerr << "vireo-analyse: " << command.error << '\n';
    return cli::kExitUsage;
  }
  // The picture's text needs a GUI application; it never shows a window, so the offscreen
  // platform serves on any machine, with or without a display. Qt's own options are not
  // offered: the application sees the program name only.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's notes about the environment (no runtime folder and the like) are not the program's
  // messages: only its critical errors reach standard error.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::cerr << message.toLocal8Bit().constData() << '\n';
    }
  });
  // Decoding libraries print notes of their own about damaged data (libmpg123's "Trying to
  // resync...") through the C library's stderr stream. They go nowhere: the program says what
  // went wrong in one line, through std::cerr, which keeps the stream it was made with.
  if (std::FILE *const nowhere = std::fopen("/dev/null", "w")) {
    stderr = nowhere;
  }
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  // The application set the locale from the environment; numbers always use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  return cli::Analyse(command.options, std::cout, std::cerr);
}
