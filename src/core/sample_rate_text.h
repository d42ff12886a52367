#pragma once

#include <QString>

#include <optional>

namespace core {

// Reads a sampling frequency typed by the user: plain decimal notation (optional sign, digits
// with an optional decimal point, surrounding spaces allowed) whatever the locale. Anything
// else, and any value that is not a finite double, gives no value.
std::optional<double> ParseSampleRate(const QString &text);

// The general decimal form of a sampling frequency: at most 15 significant digits, no trailing
// zeros and no decimal point for a whole number ("44100", "8000.5").
QString FormatSampleRate(double rate);

} // namespace core
