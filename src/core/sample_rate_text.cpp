#include "core/sample_rate_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace core {

std::optional<double> ParseSampleRate(const QString &text) {
  const std::string s = text.trimmed().toStdString();
  std::size_t i = 0;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    ++i;
  }
  // from_chars takes no plus sign.
  const std::size_t numberStart = !s.empty() && s[0] == '+' ? 1 : 0;
  int digits = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) {
    return std::nullopt;
  }
  double value = 0;
  const char *first = s.data() + numberStart;
  const auto [end, error] =
      std::from_chars(first, s.data() + s.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) {
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
