#include "display/number_format.h"

#include <array>
#include <charconv>

namespace display {

std::string FormatFixed(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  return text;
}

void AppendFixed(std::string &text, double value, int decimals) {
  // Room for the 309 integer digits of the largest double, a sign, a point and the decimals.
  std::array<char, 400> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, decimals);
  if (result.ec == std::errc{}) {
    text.append(buffer.data(), result.ptr);
  }
}

} // namespace display
