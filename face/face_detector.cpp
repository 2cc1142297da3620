#include "face/face_detector.h"

#include <algorithm>
#include <string>
#include <tuple>

#include <opencv2/imgproc.hpp>

#include "platform/files.h"
#include "platform/folders.h"

namespace grinsnap {

cv::Size FaceWorkingSize(cv::Size source) {
  if (source.width <= 0 || source.height <= 0) return {};
  // The scale is single precision on purpose: 1000 x 300 must give 800 x 240.
  const float s = std::min(static_cast<float>(kFaceWorkingWidth) / static_cast<float>(source.width),
                           static_cast<float>(kFaceWorkingHeight) / static_cast<float>(source.height));
  // A sliver of a photo (10000 x 1) would truncate to no rows at all.
  return {std::max(1, static_cast<int>(static_cast<float>(source.width) * s)),
          std::max(1, static_cast<int>(static_cast<float>(source.height) * s))};
}

cv::Mat MakeFaceWorkingImage(const cv::Mat& source) {
  if (source.empty()) return {};
  cv::Mat working;
  cv::resize(source, working, FaceWorkingSize(source.size()), 0, 0, cv::INTER_LINEAR);
  return working;
}

FeatureQuad DefaultFaceBox(int sourceWidth, int sourceHeight) {
  const float d = static_cast<float>(std::min(sourceWidth, sourceHeight)) * 0.25f;
  const float cx = static_cast<float>(sourceWidth) * 0.5f;
  const float cy = static_cast<float>(sourceHeight) * 0.4f;
  return FeatureQuad::Rectangle(cx - d, cy - d, cx + d, cy + d);
}

FaceBox ScaleDetectedFace(const cv::Rect& r) {
  return {static_cast<std::int32_t>(r.x * kFaceDetectShrink), static_cast<std::int32_t>(r.y * kFaceDetectShrink),
          static_cast<std::int32_t>(r.width * kFaceDetectShrink),
          static_cast<std::int32_t>(r.height * kFaceDetectShrink)};
}

cv::Mat FaceDetectionImage(const cv::Mat& working) {
  cv::Mat grey;
  if (working.channels() == 1)
    grey = working;
  else
    cv::cvtColor(working, grey, working.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
  const cv::Size smallSize(std::max(1, cvRound(grey.cols / kFaceDetectShrink)),
                           std::max(1, cvRound(grey.rows / kFaceDetectShrink)));
  cv::Mat small;
  cv::resize(grey, small, smallSize, 0, 0, cv::INTER_LINEAR);
  cv::equalizeHist(small, small);
  return small;
}

FaceDetector::FaceDetector(std::optional<std::filesystem::path> cascadeFile) : cascadeFile_(std::move(cascadeFile)) {}

void SortFacesLeftToRight(std::vector<cv::Rect>& faces) {
  std::sort(faces.begin(), faces.end(), [](const cv::Rect& a, const cv::Rect& b) {
    return std::tie(a.x, a.y, a.width, a.height) < std::tie(b.x, b.y, b.width, b.height);
  });
}

std::filesystem::path FaceDetector::CascadePath() const {
  return cascadeFile_ ? *cascadeFile_ : ProgramDataFolder() / kFaceCascadeFile;
}

void FaceDetector::SetLog(const FaceDetectorLog& log) {
  std::lock_guard guard(lock_);
  log_ = log;
}

bool FaceDetector::Loaded() const {
  std::lock_guard guard(lock_);
  return loaded_;
}

int FaceDetector::LoadCascade() {
  std::lock_guard guard(lock_);
  if (loaded_) return 0;
  // The cascade is read like every other data file (a regular file, never a
  // FIFO that would block), then parsed from memory.
  std::string bytes;
  bool ok = ReadRegularFile(CascadePath(), bytes);
  if (ok) {
    try {
      cv::FileStorage storage(bytes, cv::FileStorage::READ | cv::FileStorage::MEMORY);
      cv::CascadeClassifier cascade;
      ok = storage.isOpened() && cascade.read(storage.getFirstTopLevelNode()) && !cascade.empty();
      if (ok) cascade_ = cascade;
    } catch (const cv::Exception&) {
      ok = false;  // not a cascade OpenCV can parse
    }
  }
  if (!ok) {
    if (log_.errors) {
      std::fputs("ERROR: Could not load classifier cascade\n", log_.errors);
      std::fputs("Usage: facedetect --cascade=\"<cascade_path>\" [filename|camera_index]\n", log_.errors);
      std::fflush(log_.errors);
    }
    return -1;
  }
  loaded_ = true;
  return 0;
}

std::vector<cv::Rect> FaceDetector::RunCascade(const cv::Mat& smallGrey) {
  std::vector<cv::Rect> faces;
  cascade_.detectMultiScale(smallGrey, faces, kFaceScaleFactor, kFaceMinNeighbours, 0,
                            cv::Size(kFaceMinWindow, kFaceMinWindow));
  // OpenCV scans the picture on several threads and groups what they found
  // in the order they finished, so the same photo can list its faces in
  // another order from one run to the next. "Search Face" steps through
  // them left to right (top to bottom where they share a column) instead,
  // the same on every run.
  SortFacesLeftToRight(faces);
  return faces;
}

FaceBox FaceDetector::DetectNext(const cv::Mat& working, int* facesInDetection) {
  FaceBox box;
  if (facesInDetection) *facesInDetection = 0;
  if (working.empty()) return box;
  // Conversion and shrinking need no lock.
  const cv::Mat small = FaceDetectionImage(working);

  std::lock_guard guard(lock_);
  if (!loaded_) return box;
  const std::int64_t start = cv::getTickCount();
  if (!results_) {
    results_ = RunCascade(small);
    count_ = static_cast<int>(results_->size());
    next_ = 0;
    if (count_ < 1) {
      count_ = 0;
      results_.reset();
    }
  }
  const std::int64_t end = cv::getTickCount();
  if (log_.timing) {
    std::fprintf(log_.timing, "detection time = %gms\n",
                 static_cast<double>(end - start) / cv::getTickFrequency() * 1000.0);
    std::fflush(log_.timing);
  }

  if (facesInDetection) *facesInDetection = count_;
  if (results_) {
    box = ScaleDetectedFace((*results_)[static_cast<std::size_t>(next_)]);
  }
  // After the last face (or a detection without one) the next call starts over.
  if (++next_ >= count_) {
    count_ = 0;
    next_ = 0;
    results_.reset();
  }
  return box;
}

void FaceDetector::ResetSearch() {
  std::lock_guard guard(lock_);
  results_.reset();
  count_ = 0;
  next_ = 0;
}

FaceDetector& SharedFaceDetector() {
  // Lives to the end of the process, like the cascade it holds.
  static FaceDetector* detector = new FaceDetector();
  return *detector;
}

int LoadFaceCascade() { return SharedFaceDetector().LoadCascade(); }

FaceBox DetectNextFace(const cv::Mat& working) { return SharedFaceDetector().DetectNext(working); }

void ResetFaceSearch() { SharedFaceDetector().ResetSearch(); }

}  // namespace grinsnap
