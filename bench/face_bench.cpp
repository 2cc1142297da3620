// Times face detection on the 800 x 600 working image beside OpenCV's own
// detector with the same settings on the same image, and the feature
// location of the face it finds. Run both detectors in one run, with
// --benchmark_repetitions and --benchmark_enable_random_interleaving on a
// busy machine.
#include <cstdio>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include "face/face_detector.h"
#include "face/face_engine.h"

namespace {

using namespace grinsnap;

// The astronaut's face on an 800 x 600 photo: its working image is itself.
const cv::Mat& WorkingImage() {
  static const cv::Mat working = [] {
    cv::Mat photo(600, 800, CV_8UC3, cv::Scalar(170, 160, 150));
    cv::Mat astronaut = cv::imread(GRINSNAP_BENCH_FACE_PHOTO, cv::IMREAD_COLOR);
    if (astronaut.empty()) return photo;
    cv::resize(astronaut, astronaut, {600, 600}, 0, 0, cv::INTER_LINEAR);
    astronaut.copyTo(photo(cv::Rect(100, 0, 600, 600)));
    return MakeFaceWorkingImage(photo);
  }();
  return working;
}

FaceDetector& Detector() {
  static FaceDetector* detector = [] {
    auto* d = new FaceDetector(std::filesystem::path(GRINSNAP_BENCH_CASCADE));
    d->SetLog({nullptr, stderr});
    if (d->LoadCascade() != 0) std::fprintf(stderr, "no cascade at %s\n", GRINSNAP_BENCH_CASCADE);
    return d;
  }();
  return *detector;
}

// Ours: grey, shrink, equalise, the cascade, the box scaled back.
void BM_FaceDetection(benchmark::State& state) {
  FaceDetector& detector = Detector();
  int faces = 0;
  for (auto _ : state) {
    detector.ResetSearch();
    benchmark::DoNotOptimize(detector.DetectNext(WorkingImage(), &faces));
  }
  state.counters["faces"] = faces;
}

// OpenCV's own detector on the same image with the same settings.
void BM_FaceDetectionOpenCv(benchmark::State& state) {
  static cv::CascadeClassifier cascade(GRINSNAP_BENCH_CASCADE);
  std::vector<cv::Rect> found;
  for (auto _ : state) {
    cv::Mat grey, small;
    cv::cvtColor(WorkingImage(), grey, cv::COLOR_BGR2GRAY);
    cv::resize(grey, small, {cvRound(grey.cols / 1.3), cvRound(grey.rows / 1.3)}, 0, 0, cv::INTER_LINEAR);
    cv::equalizeHist(small, small);
    cascade.detectMultiScale(small, found, 1.1, 2, 0, {30, 30});
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["faces"] = static_cast<double>(found.size());
}

// The feature fit on the face found, with threads (1 or 2) for the
// parallel trial scores.
void BM_LocateFeatures(benchmark::State& state) {
  const int threads = cv::getNumThreads();
  cv::setNumThreads(static_cast<int>(state.range(0)));
  CFaceEngine engine;
  engine.SetSourceImage(WorkingImage());
  Detector().ResetSearch();
  engine.SetBox(Detector().DetectNext(engine.WorkingImage()));
  engine.BuildFacePatch();
  for (auto _ : state) engine.LocateFeatures();
  state.counters["located"] = engine.FeaturesLocated();
  cv::setNumThreads(threads);
}

void BM_BuildFacePatch(benchmark::State& state) {
  CFaceEngine engine;
  engine.SetSourceImage(WorkingImage());
  engine.SetBox({260, 60, 160, 160});
  for (auto _ : state) engine.BuildFacePatch();
}

BENCHMARK(BM_FaceDetection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FaceDetectionOpenCv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LocateFeatures)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildFacePatch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
