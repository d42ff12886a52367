// Speed of the 4096-point transform, of the analysis pass and of a whole frame pass, against
// FFTW's single-precision complex transform of the same size. After the run the ratio of each
// to FFTW and the heap allocations per frame pass are printed.

#include "analysis/fft.h"
#include "analysis/frame_scaling.h"
#include "analysis/level.h"
#include "core/measurement.h"
#include "display/layout.h"
#include "sources/test_patterns.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <QGuiApplication>
#include <QImage>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <numbers>
#include <string>
#include <vector>

// Every heap allocation of the program is counted, so that a benchmark can report how many its
// loop made.
namespace {
std::atomic<long long> allocations{0};
} // namespace

void *operator new(std::size_t size) {
  ++allocations;
  if (void *p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}

void operator delete(void *p) noexcept {
  std::free(p);
}

void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using analysis::kFrameLength;

// A sine on bin 100 plus a weaker one between two bins: a typical frame.
analysis::TimeFrame TestFrame() {
  analysis::TimeFrame frame;
  for (int i = 0; i < kFrameLength; ++i) {
    const double phase = 2 * std::numbers::pi * i / kFrameLength;
    frame[i] = static_cast<float>(0.8 * std::sin(100 * phase) + 0.1 * std::sin(1234.5 * phase));
  }
  return frame;
}

void BM_ComputeFFT(benchmark::State &state) {
  const analysis::TimeFrame frame = TestFrame();
  analysis::SpectrumFrame spectrum;
  for (auto _ : state) {
    analysis::ComputeFFT(frame, spectrum);
    benchmark::DoNotOptimize(spectrum.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ComputeFFT);

// Scaling with the window, the transform and the levels of the 2048 displayed bins folded into
// their columns of eight, as one frame pass does before drawing.
void BM_AnalysisPass(benchmark::State &state) {
  const analysis::TimeFrame source = TestFrame();
  analysis::TimeFrame frame;
  analysis::SpectrumFrame spectrum;
  std::array<double, kFrameLength / 2> levels;
  for (auto _ : state) {
    frame = source;
    analysis::ScaleFrame(frame, 1.0, true);
    analysis::ComputeFFT(frame, spectrum);
    analysis::BinLevels(spectrum, 0, kFrameLength / 2, true, levels.data());
    double strongest = 999;
    for (const double &level : levels) {
      strongest = analysis::StrongerOf(strongest, level);
    }
    benchmark::DoNotOptimize(strongest);
  }
}
BENCHMARK(BM_AnalysisPass);

// The copy of a rectangle of the drawing surface into the picture on screen, row by row.
void CopyRect(const display::Canvas &canvas, QImage &picture, display::Rect rect) {
  const int bytes = 3 * (rect.right - rect.left);
  for (int y = rect.top; y < rect.bottom; ++y) {
    std::memcpy(picture.scanLine(y) + 3 * rect.left,
                canvas.Image().constScanLine(y) + 3 * rect.left, bytes);
  }
}

long long framePassAllocations = -1;

// One frame of a continuous run on the sine pattern with the window on, in dB at eight bins per
// column: the pattern, the analysis, the raw strip and the spectrum, both copied to the picture
// on screen, and the step of the pattern parameter.
void BM_FramePass(benchmark::State &state) {
  core::Measurement run;
  run.OpenPicture();
  run.view = {true, 8, 0, 1.0};
  run.window = true;
  QImage picture(display::kScreenWidth, display::kScreenHeight, QImage::Format_RGB888);
  const long long before = allocations;
  for (auto _ : state) {
    run.MakePattern(1);
    run.ProcessFrame();
    CopyRect(run.Picture(), picture, display::kRawStripRect);
    CopyRect(run.Picture(), picture, display::kSpectrumCopyRect);
    run.StepPatternParam();
    benchmark::DoNotOptimize(picture.constBits());
  }
  const long long made = allocations - before;
  framePassAllocations =
      state.iterations() > 0 ? made / static_cast<long long>(state.iterations()) : 0;
  state.counters["allocations"] =
      static_cast<double>(made) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FramePass);

void BM_FftwComplexFloat(benchmark::State &state) {
  auto *in = fftwf_alloc_complex(kFrameLength);
  auto *out = fftwf_alloc_complex(kFrameLength);
  const fftwf_plan plan = fftwf_plan_dft_1d(kFrameLength, in, out, FFTW_FORWARD, FFTW_MEASURE);
  const analysis::TimeFrame frame = TestFrame();
  for (int i = 0; i < kFrameLength; ++i) { // after planning: FFTW_MEASURE overwrites the arrays
    in[i][0] = frame[i];
    in[i][1] = 0.0f;
  }
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
}
BENCHMARK(BM_FftwComplexFloat);

// Collects the CPU time per iteration of every benchmark (the median when repeated) while
// printing as usual.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && run.iterations > 0)) {
        nanoseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }

  void PrintRatios() const {
    const auto reference = nanoseconds_.find("BM_FftwComplexFloat");
    if (reference == nanoseconds_.end() || reference->second <= 0) {
      return;
    }
    std::printf("Ratio of CPU time to FFTW (complex float, 4096 points):\n");
    for (const char *name : {"BM_ComputeFFT", "BM_AnalysisPass", "BM_FramePass"}) {
      const auto ours = nanoseconds_.find(name);
      if (ours != nanoseconds_.end()) {
        std::printf("  %-16s %6.2f\n", name, ours->second / reference->second);
      }
    }
    if (framePassAllocations >= 0) {
      std::printf("Heap allocations per BM_FramePass iteration: %lld\n", framePassAllocations);
    }
  }

private:
  std::map<std::string, double> nanoseconds_;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  // The run object draws the legend and axis texts when it opens its picture, as vireo-analyse
  // does: with the fonts of an off-screen application.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
