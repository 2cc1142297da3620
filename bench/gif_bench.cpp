// Times the animated-GIF writer: 36 frames of 640 x 480 (a photo with a
// moving disc, like a turning collage) quantised and written to a file, in
// the whole-frame mode and in the smaller-file mode, and the quantiser alone
// on one frame. With GRINSNAP_GIF_BENCH_FRAMES set to a folder, the frames
// are also written there once as one-frame GIFs (frame_NN.gif), with both
// animations, for comparing with other tools on the same frames.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "filters/gif_writer.h"

namespace grinsnap {
namespace {

constexpr int kFrames = 36;

const std::vector<cv::Mat>& Frames() {
  static const std::vector<cv::Mat> frames = [] {
    cv::Mat base = cv::imread(GRINSNAP_BENCH_PHOTO, cv::IMREAD_COLOR);
    if (base.empty()) base = cv::Mat(480, 640, CV_8UC3, cv::Scalar(90, 120, 150));
    cv::resize(base, base, {640, 480});
    std::vector<cv::Mat> out;
    for (int i = 0; i < kFrames; ++i) {
      cv::Mat f = base.clone();
      cv::circle(f, {160 + i * 9, 240}, 90, cv::Scalar(40, 200, 250), -1);
      out.push_back(f);
    }
    return out;
  }();
  return frames;
}

void BenchWrite(benchmark::State& state, GifFrameMode mode) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "grinsnap_gif_bench.gif";
  const auto& frames = Frames();
  for (auto _ : state) {
    GifAnimationWriter writer({.mode = mode});
    if (!writer.CreatePalette() || !writer.Open(path, 640, 480)) state.SkipWithError("cannot open");
    for (const cv::Mat& f : frames) writer.WriteFrame(f);
    if (!writer.Close()) state.SkipWithError("cannot close");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}

bool WriteGif(const std::filesystem::path& path, const std::vector<cv::Mat>& frames, GifFrameMode mode) {
  GifAnimationWriter writer({.mode = mode});
  if (!writer.CreatePalette() || !writer.Open(path, frames[0].cols, frames[0].rows)) return false;
  for (const cv::Mat& f : frames)
    if (!writer.WriteFrame(f)) return false;
  return writer.Close();
}

void KeepFrames() {
  const char* folder = std::getenv("GRINSNAP_GIF_BENCH_FRAMES");
  if (!folder) return;
  const std::filesystem::path dir(folder);
  std::filesystem::create_directories(dir);
  const auto& frames = Frames();
  for (std::size_t i = 0; i < frames.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%02zu.gif", i);
    WriteGif(dir / name, {frames[i]}, GifFrameMode::Whole);
  }
  WriteGif(dir / "whole.gif", frames, GifFrameMode::Whole);
  WriteGif(dir / "changed.gif", frames, GifFrameMode::ChangedRectangle);
}

void BenchQuantise(benchmark::State& state) {
  const cv::Mat& frame = Frames()[0];
  std::vector<std::uint8_t> indices(frame.total());
  std::vector<float> rows;
  for (auto _ : state) {
    QuantiseToGifPalette(frame, indices.data(), rows);
    benchmark::DoNotOptimize(indices.data());
  }
}

}  // namespace

BENCHMARK_CAPTURE(BenchWrite, whole_36x640x480, GifFrameMode::Whole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BenchWrite, changed_36x640x480, GifFrameMode::ChangedRectangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BenchQuantise)->Unit(benchmark::kMillisecond);

}  // namespace grinsnap

int main(int argc, char** argv) {
  grinsnap::KeepFrames();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

