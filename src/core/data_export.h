#pragma once

// The two export files of a measurement: the processed frame (name.raw) and its spectrum
// (name.spc), tab-separated text with a CR LF after every line on every platform and numbers
// written with a decimal point whatever the process locale.

#include <string>
#include <string_view>

#include "analysis/frame.h"
#include "analysis/frame_result.h"

namespace core {

// 4096 lines "%d\t%f": the index and the sample, widened to double.
std::string FormatRawData(const analysis::TimeFrame &timeData);

// The line of bin `bin` (0 ... 4095) in the spectrum file, without its line end: "%f\t%f" of
// the frequency and the value that FormatSpectrumData writes for it.
std::string SpectrumLine(const analysis::FrameResult &result, int bin, double sampleRate);

// The frequency of bin `bin` (0 ... 4095) as the spectrum file writes it: "%f" of
// bin × sampleRate / 4096. A thread forms the 4096 texts of a rate once and keeps them while it
// asks for that rate.
std::string_view FrequencyText(int bin, double sampleRate);

// Appends the value that the spectrum file writes for bin `bin` of `result` ("%f").
void AppendSpectrumValue(std::string &text, const analysis::FrameResult &result, int bin);
// Writes that value from `first` on, with room up to `last` (327 characters always suffice);
// returns its end.
char *WriteSpectrumValue(char *first, char *last, const analysis::FrameResult &result, int bin);

// 4096 lines "%f\t%f", one per bin j of the whole transform: the frequency j × sampleRate /
// 4096, then from the bin's level in the result's scale: in dB the power, 10 × log10(re² + im²)
// or -999 for zero power, otherwise the amplitude sqrt(re² + im²) as recovered from the linear
// level.
std::string FormatSpectrumData(const analysis::FrameResult &result, double sampleRate);

// Writes `text` byte for byte to the file `fileName` (in the file system's encoding), creating
// it or replacing its content. True only when every byte reached the disk. On failure an
// existing file keeps its old content and no new or partial file is left; a name that is a
// symbolic link updates the file it points to. Devices and pipes are written in place.
bool WriteExportFile(const std::string &fileName, std::string_view text);

} // namespace core
