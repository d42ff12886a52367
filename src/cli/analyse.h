// The frame passes of vireo-analyse and the files and lines they write.
#pragma once

#include <iosfwd>

#include "cli/options.h"

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1; // unreadable input, unwritable output
inline constexpr int kExitUsage = 2;

// Runs the frames that `options` ask for, as a continuous run of the window started with those
// settings would, and writes each frame's files and peak line. Errors go to `err` as one line
// each. Returns the exit status. Drawing the picture needs a QGuiApplication.
int Analyse(const Options &options, std::ostream &out, std::ostream &err);

} // namespace cli
