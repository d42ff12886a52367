#pragma once

// The status-bar text for the mouse over the plot: the frequency under the cursor and the
// nearest musical note with its octave.

#include <optional>
#include <string>

namespace display {

// The semitone index of `frequency`: 45 for 440 Hz, 0 for the C of octave 1, 12 per octave,
// truncate(12 × ln(f × (1/440)) / ln 2 + 45.5) toward zero; -1 when the frequency is not a
// positive finite number.
int NoteNumber(double frequency);

// The note part of the readout for `frequency`, UTF-8: " オクターブ" and the octave for notes
// 0 to 95, then the note name for every note whose remainder modulo 12 is not negative;
// empty otherwise.
std::string NoteText(double frequency);

// The UTF-8 status text for the cursor at Image1 pixel (x, y), or no value outside the active
// area 17 ≤ x ≤ 273, 9 ≤ y ≤ 137. The frequency is that of the first bin of the plot column
// under the cursor, sampleRate × 2^-12 × binsPerColumn × (x - 17) + viewOffset / frameTime,
// shown as "%6.1fHz:" with exact halves to even, then its NoteText.
std::optional<std::string> CursorReadout(int x, int y, double sampleRate, double frameTime,
                                         int viewOffset, int binsPerColumn);

} // namespace display
