#include "analysis/frame_result.h"

#include "analysis/level.h"

namespace analysis {

void MeasureBins(FrameResult &result, bool decibel, int bins) {
  if (result.decibel != decibel) {
    result.decibel = decibel;
    result.measured = 0;
  }
  const int first = result.measured;
  if (bins > first) {
    BinLevels(result.spectrum, first, bins - first, decibel, &result.powers[first],
              &result.levels[first]);
    result.measured = bins;
  }
}

} // namespace analysis
