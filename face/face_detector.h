#pragma once

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include "face/face_state.h"

namespace grinsnap {

// A face box in working-image pixels; the all-zero box means no face.
struct FaceBox {
  std::int32_t x = 0, y = 0, width = 0, height = 0;

  bool IsZero() const { return x == 0 && y == 0 && width == 0 && height == 0; }
  bool operator==(const FaceBox&) const = default;
};

// The frontal-face cascade, inside the program's data folder.
inline constexpr const char* kFaceCascadeFile = "media/Configurations/haarcascade_frontalface_alt2.xml";
// The sides of the box the working image is fitted into.
inline constexpr int kFaceWorkingWidth = 800;
inline constexpr int kFaceWorkingHeight = 600;
// The detector runs on the working image shrunk by this factor.
inline constexpr double kFaceDetectShrink = 1.3;

// The photo the face code works on, fitted into 800 x 600: bilinear resize
// by s = min(800 / W, 600 / H) in single precision, sides truncated, so a
// smaller photo is enlarged until it touches the box. Empty for an empty
// source.
cv::Mat MakeFaceWorkingImage(const cv::Mat& source);
cv::Size FaceWorkingSize(cv::Size source);

// The face the face filter assumes when none is found, in source pixels: a
// square of side min(W, H) / 2 centred horizontally, its centre at 40 % of
// the height.
FeatureQuad DefaultFaceBox(int sourceWidth, int sourceHeight);

// Where the detector writes its lines: the timing line of every detection
// call and the two lines of a cascade that does not load. Null streams keep
// the lines to themselves.
struct FaceDetectorLog {
  std::FILE* timing = stdout;
  std::FILE* errors = stderr;
};

// The Haar-cascade face detector with the faces of its last detection. One
// call hands out one face; calls step through the faces in the order the
// detector reported them, and after the last one the next call detects
// afresh and starts with the first face again. Every member may be called
// from any thread: the lock serialises the detector run and every look at
// the cached faces.
class FaceDetector {
public:
  // Without a file the cascade is looked for in the program's data folder
  // each time loading is tried.
  explicit FaceDetector(std::optional<std::filesystem::path> cascadeFile = std::nullopt);

  // 0 when the cascade is loaded (now or earlier); -1, with the two error
  // lines, when it does not load. A failed load is tried again next time.
  int LoadCascade();
  bool Loaded() const;
  // The next face of the current detection in working-image pixels, or the
  // zero box. Without a loaded cascade always the zero box. When
  // facesInDetection is given it receives the number of faces of the
  // detection the box comes from (0 when none).
  FaceBox DetectNext(const cv::Mat& working, int* facesInDetection = nullptr);
  // Forgets the cached faces: the next call detects again.
  void ResetSearch();

  void SetLog(const FaceDetectorLog& log);
  std::filesystem::path CascadePath() const;

private:
  // The detector run itself, under the lock: the faces of a grey image
  // (already shrunk and equalised) in its own pixels, in detector order.
  std::vector<cv::Rect> RunCascade(const cv::Mat& smallGrey);

  mutable std::mutex lock_;
  std::optional<std::filesystem::path> cascadeFile_;
  cv::CascadeClassifier cascade_;
  bool loaded_ = false;
  // The faces of the last detection while some are still to be handed out.
  std::optional<std::vector<cv::Rect>> results_;
  int count_ = 0;
  int next_ = 0;
  FaceDetectorLog log_;
};

// A face the cascade found in the shrunk image, in working-image pixels:
// each value times 1.3 in double precision, truncated toward zero.
FaceBox ScaleDetectedFace(const cv::Rect& found);

// Puts the cascade's faces in a fixed order: by left edge, then top edge,
// then size, so that a photo lists its faces the same way on every run.
void SortFacesLeftToRight(std::vector<cv::Rect>& faces);

// The grey, shrunk and equalised image the cascade runs on: BGR to grey,
// bilinear resize to round(W / 1.3) x round(H / 1.3), histogram equalisation.
cv::Mat FaceDetectionImage(const cv::Mat& working);

// Settings of the cascade run: scale step 1.1, two neighbours, full search,
// windows from 30 x 30 pixels up.
inline constexpr double kFaceScaleFactor = 1.1;
inline constexpr int kFaceMinNeighbours = 2;
inline constexpr int kFaceMinWindow = 30;

// The process's detector, shared by every face filter, and the calls the
// face filter makes on it.
FaceDetector& SharedFaceDetector();
int LoadFaceCascade();
FaceBox DetectNextFace(const cv::Mat& working);
void ResetFaceSearch();

}  // namespace grinsnap
