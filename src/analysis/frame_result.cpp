#include "analysis/frame_result.h"

#include "analysis/level.h"

namespace analysis {

void MeasureBins(FrameResult &result, bool decibel) {
  BinLevels(result.spectrum, 0, kFrameLength, decibel, result.powers.data(), result.levels.data());
  result.decibel = decibel;
}

} // namespace analysis
