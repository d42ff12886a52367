#include "cli/table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "core/data_export.h"
#include "display/number_format.h"

namespace cli {

namespace {

constexpr int kDecimals = 6;

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvText(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + '"';
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when its first byte
// does not begin one (a stray, overlong or surrogate sequence, or one beyond U+10FFFF).
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
  if (length == 0 || length > text.size()) {
    return 0;
  }
  // The second byte's range: narrower after E0 (overlong), ED (surrogates), F0 and F4.
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  for (std::size_t i = 1; i < length; ++i) {
    if (byte(i) < (i == 1 ? low : 0x80) || byte(i) > (i == 1 ? high : 0xBF)) {
      return 0;
    }
  }
  return length;
}

// A JSON string of UTF-8 text; a byte that is not part of UTF-8 becomes the lone surrogate
// \udcXX, as Python's "surrogateescape" decodes a file name, so that the line stays valid JSON
// and the name's bytes can be recovered.
std::string JsonText(std::string_view text) {
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text.substr(i));
    if (length == 0 || byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, length == 0 ? "\\udc%02x" : "\\u%04x", byte);
      quoted += escape;
      ++i;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      quoted += '\\';
    }
    quoted.append(text.substr(i, length));
    i += length;
  }
  return quoted + '"';
}

// The fields of a frame's place that its rows start with.
std::vector<TableField> PlaceFields(const FramePlace &place) {
  return {{"input", std::string(place.input), true},
          {"frame", std::to_string(place.frame)},
          {"start", std::to_string(place.start)},
          {"time", display::FormatFixed(place.time, kDecimals)}};
}

// The text between a row's place and its level, for every bin at one rate, in one format.
struct BinMiddles {
  std::optional<std::uint64_t> sampleRate;
  bool json = false;
  std::string text;
  std::array<std::size_t, analysis::kFrameLength + 1> starts{};
};

} // namespace

std::string EscapedName(std::string_view name) {
  std::string escaped;
  for (const char c : name) {
    const char *const replacement = c == '\\'   ? "\\\\"
                                    : c == '\t' ? "\\t"
                                    : c == '\n' ? "\\n"
                                    : c == '\r' ? "\\r"
                                                : nullptr;
    if (replacement != nullptr) {
      escaped += replacement;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string TableHeaderOf(TableFormat format, const std::vector<std::string> &names) {
  if (format == TableFormat::Json) {
    return {};
  }
  std::string header;
  for (const std::string &name : names) {
    header += (header.empty() ? "" : ",") + name;
  }
  return header + '\n';
}

std::string TableHeader(TableFormat format, bool bins) {
  std::vector<std::string> names = {"input", "frame", "start", "time", "bin", "frequency", "level"};
  if (!bins) {
    names.emplace_back("note");
  }
  return TableHeaderOf(format, names);
}

std::string TableLine(TableFormat format, const std::vector<TableField> &fields) {
  const bool json = format == TableFormat::Json;
  std::string row = json ? "{" : "";
  for (const TableField &field : fields) {
    if (&field != &fields.front()) {
      row += ',';
    }
    if (json) {
      row += '"';
      row += field.name;
      row += "\":";
    }
    row += !field.text ? field.value : json ? JsonText(field.value) : CsvText(field.value);
  }
  row += json ? "}\n" : "\n";
  return row;
}

std::string TableRow(TableFormat format, const FramePlace &place, int bin,
                     std::string_view spectrumLine, const std::string *note) {
  const std::size_t tab = spectrumLine.find('\t');
  std::vector<TableField> fields = PlaceFields(place);
  fields.insert(fields.end(), {{"bin", std::to_string(bin)},
                               {"frequency", std::string(spectrumLine.substr(0, tab))},
                               {"level", std::string(spectrumLine.substr(tab + 1))}});
  if (note != nullptr) {
    fields.push_back({"note", *note, true});
  }
  return TableLine(format, fields);
}

std::string_view BinRows(TableFormat format, const FramePlace &place,
                         const analysis::FrameResult &result, double sampleRate) {
  const bool json = format == TableFormat::Json;
  // The fields that every row of the frame starts with, as TableLine writes them, without the
  // row's end.
  std::string head = TableLine(format, PlaceFields(place));
  head.erase(head.find_last_not_of("}\n") + 1);
  // What follows them up to the level, for every bin at the rate: the bin and its frequency as
  // TableRow adds them, formed once per rate and format.
  thread_local BinMiddles middles;
  if (middles.sampleRate != std::bit_cast<std::uint64_t>(sampleRate) || middles.json != json) {
    middles.sampleRate = std::bit_cast<std::uint64_t>(sampleRate);
    middles.json = json;
    middles.text.clear();
    for (int bin = 0; bin < analysis::kFrameLength; ++bin) {
      middles.starts[bin] = middles.text.size();
      middles.text += json ? ",\"bin\":" : ",";
      middles.text += std::to_string(bin);
      middles.text += json ? ",\"frequency\":" : ",";
      middles.text += core::FrequencyText(bin, sampleRate);
      middles.text += json ? ",\"level\":" : ",";
    }
    middles.starts[analysis::kFrameLength] = middles.text.size();
  }
  // The rows go straight into a buffer of the thread's that keeps its room from frame to frame:
  // at most the head, the middles, a value of the .spc file (its 309 integer digits, a sign, a
  // point and six decimals) and the line end each.
  thread_local std::unique_ptr<char[]> buffer;
  thread_local std::size_t room = 0;
  const std::size_t most = middles.text.size() + analysis::kFrameLength * (head.size() + 320 + 2);
  if (room < most) {
    buffer.reset(new char[most]);
    room = most;
  }
  char *at = buffer.get();
  char *const last = at + room;
  for (int bin = 0; bin < analysis::kFrameLength; ++bin) {
    at = std::copy(head.begin(), head.end(), at);
    at = std::copy(middles.text.data() + middles.starts[bin],
                   middles.text.data() + middles.starts[bin + 1], at);
    at = core::WriteSpectrumValue(at, last, result, bin);
    if (json) {
      *at++ = '}';
    }
    *at++ = '\n';
  }
  return {buffer.get(), static_cast<std::size_t>(at - buffer.get())};
}

} // namespace cli
