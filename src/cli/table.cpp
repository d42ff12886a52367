#include "cli/table.h"

#include <cstdio>

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

std::string JsonText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

} // namespace

std::string TableHeader(TableFormat format, bool bins) {
  if (format == TableFormat::Json) {
    return {};
  }
  return bins ? "input,frame,start,time,bin,frequency,level\n"
              : "input,frame,start,time,bin,frequency,level,note\n";
}

std::string TableRow(TableFormat format, const FramePlace &place, int bin,
                     std::string_view spectrumLine, const std::string *note) {
  const std::size_t tab = spectrumLine.find('\t');
  const std::string_view frequency = spectrumLine.substr(0, tab);
  const std::string_view level = spectrumLine.substr(tab + 1);
  const std::string time = display::FormatFixed(place.time, kDecimals);
  const bool json = format == TableFormat::Json;
  const auto field = [json](std::string &row, std::string_view name, std::string_view value) {
    if (json) {
      row += row.size() == 1 ? "\"" : ",\"";
      row += name;
      row += "\":";
    } else if (!row.empty()) {
      row += ',';
    }
    row += value;
  };
  std::string row = json ? "{" : "";
  field(row, "input", json ? JsonText(place.input) : CsvText(place.input));
  field(row, "frame", std::to_string(place.frame));
  field(row, "start", std::to_string(place.start));
  field(row, "time", time);
  field(row, "bin", std::to_string(bin));
  field(row, "frequency", frequency);
  field(row, "level", level);
  if (note != nullptr) {
    field(row, "note", json ? JsonText(*note) : CsvText(*note));
  }
  row += json ? "}\n" : "\n";
  return row;
}

} // namespace cli
