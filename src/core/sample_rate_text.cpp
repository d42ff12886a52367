#include "core/sample_rate_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace core {

std::optional<double> ParseSampleRate(const QString &text) {
  const std::string s = text.trimmed().toStdString();
  // After one sign only digits and at most one point, with a digit among them: no exponent,
  // "inf" or "nan", which from_chars would take. from_chars takes no plus sign.
  const std::size_t plus = s.starts_with('+') ? 1 : 0;
  const std::string_view digits = std::string_view(s).substr(s.starts_with('-') ? 1 : plus);
  if (digits.find_first_not_of("0123456789.") != std::string_view::npos ||
      std::ranges::count(digits, '.') > 1 ||
      digits.find_first_not_of('.') == std::string_view::npos) {
    return std::nullopt;
  }
  double value = 0;
  const char *const end = s.data() + s.size();
  const auto [last, error] = std::from_chars(s.data() + plus, end, value, std::chars_format::fixed);
  if (error != std::errc() || last != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

QString FormatSampleRate(double rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", rate);
  return QString::fromLatin1(text);
}

} // namespace core
