// The rows of --table: one per frame (or per bin of a frame) as CSV or JSON, for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/frame_result.h"
#include "cli/options.h"

namespace cli {

// Where a row's frame lies: its source's name, its number from 1, its first sample and that
// sample's time in seconds.
struct FramePlace {
  std::string_view input;
  int frame;
  std::int64_t start;
  double time;
};

// A source's name for the start of a peak line: a backslash, a tab, a line feed and a carriage
// return written as \\, \t, \n and \r, so that the name ends at the line's first tab and the
// line at its end, for readers that take a carriage return for a line end as well.
std::string EscapedName(std::string_view name);

// The CSV header line (with its line end); JSON has none.
std::string TableHeader(TableFormat format, bool bins);
std::string TableHeaderOf(TableFormat format, const std::vector<std::string> &names);

// A field of a row: its column name and its value as written; a `text` value is quoted as a
// CSV or JSON string, any other written as it is (a number).
struct TableField {
  std::string_view name;
  std::string value;
  bool text = false;
};

// One row of fields with its line end.
std::string TableLine(TableFormat format, const std::vector<TableField> &fields);

// One row with its line end. `spectrumLine` is the bin's line of the .spc file (frequency TAB
// level), whose two numbers the row repeats as they are written there; `note` is the cursor
// readout's note text of the frequency, without its leading space, for the peak row only.
std::string TableRow(TableFormat format, const FramePlace &place, int bin,
                     std::string_view spectrumLine, const std::string *note);

// The rows of every bin 0 ... 4095 of a frame, each as TableRow writes it from the bin's line
// of the .spc file at `sampleRate`. The text lies in a buffer of the calling thread, valid until
// its next call.
std::string_view BinRows(TableFormat format, const FramePlace &place,
                         const analysis::FrameResult &result, double sampleRate);

} // namespace cli
