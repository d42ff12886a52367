// Speed of the 4096-point transform and of the whole analysis pass, against FFTW's
// single-precision complex transform of the same size. After the run the ratio of the two
// transform times is printed.

#include "analysis/fft.h"
#include "analysis/frame_scaling.h"
#include "analysis/level.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

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

// Scaling with the window, the transform and the levels of the 2048 displayed bins, as one
// frame pass does before drawing.
void BM_AnalysisPass(benchmark::State &state) {
  const analysis::TimeFrame source = TestFrame();
  analysis::TimeFrame frame;
  analysis::SpectrumFrame spectrum;
  for (auto _ : state) {
    frame = source;
    analysis::ScaleFrame(frame, 1.0, true);
    analysis::ComputeFFT(frame, spectrum);
    double strongest = 999;
    for (int k = 0; k < kFrameLength / 2; ++k) {
      const double level = analysis::BinLevel(spectrum[2 * k], spectrum[2 * k + 1], true);
      strongest = analysis::StrongerOf(strongest, level);
    }
    benchmark::DoNotOptimize(strongest);
  }
}
BENCHMARK(BM_AnalysisPass);

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

// Collects the CPU time per iteration of every benchmark (the mean when repeated) while
// printing as usual.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
      if (mean || (run.run_type == Run::RT_Iteration && run.iterations > 0)) {
        nanoseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }

  void PrintRatio() const {
    const auto ours = nanoseconds_.find("BM_ComputeFFT");
    const auto reference = nanoseconds_.find("BM_FftwComplexFloat");
    if (ours != nanoseconds_.end() && reference != nanoseconds_.end() && reference->second > 0) {
      std::printf("ComputeFFT / FFTW (complex float, 4096 points): %.2f\n",
                  ours->second / reference->second);
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
  analysis::BuildBitReverseTable();
  analysis::BuildTwiddleTables();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
