// The sampling frequency as typed, from any bytes read as UTF-8. An accepted text is plain
// decimal notation, so the C library's correctly rounded reading of it (the fuzzer runs in the
// "C" locale) must give the same double; the text shown for an accepted rate, when it is in
// plain notation, must be accepted again and shown the same.
#include <QString>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/sample_rate_text.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const std::optional<double> rate = core::ParseSampleRate(text);
  if (!rate) {
    return 0;
  }
  Require(std::isfinite(*rate));
  const std::string plain = text.trimmed().toStdString();
  char *end = nullptr;
  const double expected = std::strtod(plain.c_str(), &end);
  Require(end == plain.c_str() + plain.size());
  Require(std::bit_cast<std::uint64_t>(*rate) == std::bit_cast<std::uint64_t>(expected));

  const QString shown = core::FormatSampleRate(*rate);
  if (!shown.contains(u'e')) {
    const std::optional<double> again = core::ParseSampleRate(shown);
    Require(again.has_value() && core::FormatSampleRate(*again) == shown);
  }
  return 0;
}
