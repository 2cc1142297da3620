#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <opencv2/core/types.hpp>

#include "core/photo_item.h"

namespace grinsnap {

// A face feature as four corners, top-left, top-right, bottom-right,
// bottom-left, each x then y. Quadrilaterals the feature fit produces have
// vertical left and right edges; ones the user edited may be any four points.
struct FeatureQuad {
  enum Corner { kTopLeft = 0, kTopRight = 1, kBottomRight = 2, kBottomLeft = 3 };

  std::array<float, 8> v{};

  cv::Point2f At(int corner) const { return {v[2 * corner], v[2 * corner + 1]}; }
  void Set(int corner, cv::Point2f p) {
    v[2 * corner] = p.x;
    v[2 * corner + 1] = p.y;
  }
  // The axis-aligned rectangle with these edges, corners in the usual order.
  static FeatureQuad Rectangle(float left, float top, float right, float bottom) {
    return {{left, top, right, top, right, bottom, left, bottom}};
  }
  bool IsZero() const {
    for (float c : v)
      if (c != 0) return false;
    return true;
  }
  bool operator==(const FeatureQuad&) const = default;
};

// Which quadrilateral: the engine's quads and the face state's are indexed so.
enum FeatureKind : int { kLeftEye = 0, kRightEye = 1, kMouth = 2, kFaceQuad = 3 };

// The per-photo part of the face state: what the face template saves with
// each photo (as the photo item's 168 bytes of face data) and restores when
// the photo is chosen again. The padding is spelled out so that the bytes of
// a copy are always the same.
struct PhotoFaceData {
  std::uint8_t alignFeatures = 0;  // "Align Face Features"
  std::uint8_t padding0[3] = {};
  // Outer eye corners, inner eye corners, mouth corners: -1, 0 or 1 each.
  std::int32_t expressionSigns[3] = {1, 0, 1};
  float maskSizes[3] = {1.25f, 1.25f, 1.25f};  // left eye, right eye, mouth
  FeatureQuad quads[4] = {};                   // left eye, right eye, mouth, face; source pixels
  std::uint8_t quadValid[4] = {};              // which of quads hold a position
  std::uint8_t faceBlend = 0;                  // "Enable Face Blend"
  std::uint8_t enhancedColour = 0;             // "Enable Enhanced Color Blending"
  std::uint8_t faceFound = 0;                  // a face box is settled for this photo
  std::uint8_t featuresFound = 0;              // eye and mouth quads are settled for this photo
  std::uint8_t stateChanged = 0;               // the filter changed this part; the template copies it back
  std::uint8_t padding1[3] = {};
};
static_assert(std::is_trivially_copyable_v<PhotoFaceData>);
static_assert(sizeof(PhotoFaceData) == kFaceDataSize, "the photo item carries exactly this block");

inline FaceData ToFaceData(const PhotoFaceData& data) {
  FaceData bytes;
  std::memcpy(bytes.data(), &data, bytes.size());
  return bytes;
}

inline PhotoFaceData FromFaceData(const FaceData& bytes) {
  PhotoFaceData data;
  std::memcpy(&data, bytes.data(), bytes.size());
  return data;
}

// The record the face template shares with the face filter: the per-call
// requests and options first, then the per-photo block.
struct FaceState {
  enum Mode : std::int32_t { kChangeFace = 1, kExpression = 2 };

  std::uint8_t needsProcessing = 0;  // the template's; the filter clears it after Process
  std::uint8_t searchNextFace = 0;   // request: detect the next face ("Search Face")
  std::uint8_t newImage = 0;         // request: the photo changed, forget face and features
  std::uint8_t animating = 0;        // the expression animation runs
  std::int32_t mode = kChangeFace;
  float faceScale = 1.0f;     // zoom of the face on the dome
  float featherWidth = 0.2f;  // soft-edge width
  std::uint8_t thumbnailMode = 0;  // set while a gallery thumbnail is rendered
  std::uint8_t greySource = 0;     // use the user's face in grey
  PhotoFaceData photo;
};

}  // namespace grinsnap
