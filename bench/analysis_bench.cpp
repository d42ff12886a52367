// Speed of the 4096-point transform, of the analysis pass in both scales and of a whole frame
// pass on every arithmetic path this machine runs, against FFTW's single-precision complex
// transform of the same size. After the run one table gives each one's ratio to FFTW and its heap
// allocations per frame.

#include "analysis/arithmetic_path.h"
#include "analysis/fft.h"
#include "analysis/frame_result.h"
#include "analysis/frame_scaling.h"
#include "analysis/level.h"
#include "core/measurement.h"
#include "display/layout.h"
#include "sources/test_patterns.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <QGuiApplication>
#include <QImage>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <numbers>
#include <optional>
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

using analysis::ArithmeticPath;

// Runs `frame` once per iteration on the given path and reports beside the time the heap
// allocations and the values redone the literal way (by kind) per frame.
template <typename Frame> void OnPath(benchmark::State &state, ArithmeticPath path, Frame frame) {
  using analysis::LiteralFallbacks;
  analysis::ForcePath(path);
  const long long before = allocations;
  const LiteralFallbacks fallbacks = analysis::Fallbacks();
  for (auto _ : state) {
    frame();
  }
  const auto perFrame = [&](auto count) {
    return benchmark::Counter(static_cast<double>(count) / static_cast<double>(state.iterations()));
  };
  state.counters["allocations"] = perFrame(allocations - before);
  for (const auto &[name, counter] : {std::pair{"butterflies", &LiteralFallbacks::butterflies},
                                      {"samples", &LiteralFallbacks::samples},
                                      {"levels", &LiteralFallbacks::levels}}) {
    state.counters[name] = perFrame(analysis::Fallbacks().*counter - fallbacks.*counter);
  }
  analysis::ForcePath(std::nullopt);
}

// Leaves the upper halves of the vector registers dirty, as a library's AVX code that ends
// without vzeroupper does (the toolkit's start-up is one); legacy-SSE code that runs after it
// waits on them at every instruction on Intel CPUs until a vzeroupper.
void DirtyUpperHalves() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx")) {
    asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
  }
#endif
}

void ComputeFFT(benchmark::State &state, ArithmeticPath path) {
  const analysis::TimeFrame frame = TestFrame();
  analysis::SpectrumFrame spectrum;
  OnPath(state, path, [&] {
    analysis::ComputeFFT(frame, spectrum);
    benchmark::DoNotOptimize(spectrum.data());
    benchmark::ClobberMemory();
  });
}

// Scaling with the window, the transform and the powers and levels of the lower half of the
// bins, as one frame pass measures them before drawing, and the strongest level; with `dirty`,
// after code that left the upper halves of the vector registers dirty.
void AnalysisPass(benchmark::State &state, ArithmeticPath path, bool decibel, bool dirty) {
  const analysis::TimeFrame source = TestFrame();
  analysis::FrameResult result;
  OnPath(state, path, [&] {
    if (dirty) {
      DirtyUpperHalves();
    }
    result.samples = source;
    analysis::ScaleFrame(result.samples, 1.0, true);
    analysis::ComputeFFT(result.samples, result.spectrum);
    result.measured = 0;
    analysis::MeasureBins(result, decibel, kFrameLength / 2);
    double strongest = 999;
    for (const double &level : result.levels) {
      strongest = analysis::StrongerOf(strongest, level);
    }
    benchmark::DoNotOptimize(strongest);
  });
}

// The copy of a rectangle of the drawing surface into the picture on screen, row by row.
void CopyRect(const display::Canvas &canvas, QImage &picture, display::Rect rect) {
  const int bytes = 3 * (rect.right - rect.left);
  for (int y = rect.top; y < rect.bottom; ++y) {
    std::memcpy(picture.scanLine(y) + 3 * rect.left,
                canvas.Image().constScanLine(y) + 3 * rect.left, bytes);
  }
}

// One frame of a continuous run on the sine pattern with the window on, in dB at eight bins per
// column: the pattern, the analysis, the raw strip and the spectrum, both copied to the picture
// on screen, and the step of the pattern parameter.
void FramePass(benchmark::State &state, ArithmeticPath path) {
  core::Measurement run;
  run.OpenPicture();
  run.view = {true, 8, 0, 1.0};
  run.window = true;
  QImage picture(display::kScreenWidth, display::kScreenHeight, QImage::Format_RGB888);
  OnPath(state, path, [&] {
    run.MakePattern(1);
    run.ProcessFrame();
    CopyRect(run.Picture(), picture, display::kRawStripRect);
    CopyRect(run.Picture(), picture, display::kSpectrumCopyRect);
    run.StepPatternParam();
    benchmark::DoNotOptimize(picture.constBits());
  });
}

// The rows of the table: each one's benchmark, by name and how it runs on a path.
struct Row {
  const char *name;
  void (*run)(benchmark::State &, ArithmeticPath);
};
constexpr Row kRows[] = {
    {"FFT", ComputeFFT},
    {"analysis pass (dB)",
     [](benchmark::State &s, ArithmeticPath p) { AnalysisPass(s, p, true, false); }},
    {"analysis pass (linear)",
     [](benchmark::State &s, ArithmeticPath p) { AnalysisPass(s, p, false, false); }},
    {"frame pass", FramePass},
    {"analysis pass (dB), dirty upper halves",
     [](benchmark::State &s, ArithmeticPath p) { AnalysisPass(s, p, true, true); }},
};

std::string BenchmarkName(const Row &row, ArithmeticPath path) {
  return std::string(row.name) + "/" + std::string(analysis::PathName(path));
}

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

// Collects the CPU time per iteration and the allocations per frame of every benchmark (the
// medians when repeated) while printing as usual.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && run.iterations > 0)) {
        Result &result = results_[run.run_name.function_name];
        result.nanoseconds = run.GetAdjustedCPUTime();
        const auto made = run.counters.find("allocations");
        result.allocations = made == run.counters.end() ? 0 : made->second.value;
      }
    }
  }

  // One row per benchmark, one column per path that the machine runs: the ratio of CPU time to FFTW
  // and, after it, the heap allocations per frame.
  void PrintTable() const {
    const auto reference = results_.find("BM_FftwComplexFloat");
    if (reference == results_.end() || reference->second.nanoseconds <= 0) {
      return;
    }
    std::printf("\nRatio of CPU time to FFTW (complex float, 4096 points), in brackets the heap "
                "allocations per frame\n");
    std::printf("%-40s", "");
    for (const ArithmeticPath path : analysis::AvailablePaths()) {
      std::printf(" %14s", std::string(analysis::PathName(path)).c_str());
    }
    std::printf("\n");
    for (const Row &row : kRows) {
      std::printf("%-40s", row.name);
      for (const ArithmeticPath path : analysis::AvailablePaths()) {
        const auto ours = results_.find(BenchmarkName(row, path));
        if (ours == results_.end()) {
          std::printf(" %14s", "-");
          continue;
        }
        char cell[32];
        std::snprintf(cell, sizeof cell, "%.2f (%g)",
                      ours->second.nanoseconds / reference->second.nanoseconds,
                      ours->second.allocations);
        std::printf(" %14s", cell);
      }
      std::printf("\n");
    }
  }

private:
  struct Result {
    double nanoseconds = 0;
    double allocations = 0;
  };
  std::map<std::string, Result> results_;
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
  for (const Row &row : kRows) {
    for (const ArithmeticPath path : analysis::AvailablePaths()) {
      benchmark::RegisterBenchmark(BenchmarkName(row, path).c_str(), row.run, path);
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
