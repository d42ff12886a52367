// Decimal text of doubles, independent of the process locale.
#pragma once

#include <string>

namespace display {

// value with the given number of decimals and '.' as the decimal point, the last digit
// rounded to nearest with exact halves to even, as printf's "%.*f" in the C locale:
// FormatFixed(1102.5, 0) is "1102", FormatFixed(0.0928798, 3) is "0.093".
std::string FormatFixed(double value, int decimals);

// Appends FormatFixed(value, decimals) to `text`.
void AppendFixed(std::string &text, double value, int decimals);

} // namespace display
