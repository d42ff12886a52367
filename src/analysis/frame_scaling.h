#pragma once

// The scaling step of a frame pass: gain, the factor 2/4096 and the optional sine window.

#include "analysis/frame.h"

namespace analysis {

// Replaces every sample x[i], i ascending, by x[i] × gain × 2 × 2^-12, or with `window` by
// sin(i × π × 2^-12) × (x[i] × gain × 2 × 2^-12): a half-period sine that is 0 at sample 0 and
// exactly 1 at sample 2048. Formed at extended precision and rounded once to float. Scaling a
// frame again scales the already scaled values (at gain 1 it shrinks by 2048 per pass).
void ScaleFrame(TimeFrame &data, double gain, bool window);

} // namespace analysis
