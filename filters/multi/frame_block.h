#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "core/overlay.h"
#include "core/photo_item.h"

namespace grinsnap {

// A window of a frame picture: its four corners in the picture's pixels, in
// the order top-left (point00), top-right (point01), bottom-left (point10),
// bottom-right (point11), x before y.
struct FrameQuad {
  std::array<std::int32_t, 8> corners{};

  cv::Point Corner(int i) const { return {corners[2 * i], corners[2 * i + 1]}; }
  void SetCorner(int i, int x, int y) {
    corners[2 * i] = x;
    corners[2 * i + 1] = y;
  }
};
inline constexpr int kCornerCount = 4;

// The key colour of a window in the frame's mask, red, green, blue.
struct KeyColour {
  float r = 0, g = 0, b = 0;
};

// The frame template's parameter block: what the frame, collage and 3D
// templates tell their multi-source filter beyond the nine variables, and
// what the filter answers back (its natural size, the window under a drop
// point). Owned by the template; the filter keeps a pointer to it.
struct FrameBlock {
  virtual ~FrameBlock() = default;

  std::int32_t extraCount = 0;  // windows beyond the main one
  std::int32_t cellSize = 0;    // the largest side a collected photo is fitted to; 0: the window's own
  std::vector<PhotoItem>* windowPhotos = nullptr;  // the photo of each window (the slots)
  bool hasAspect = false;
  bool collageMode = false;
  float aspect = 1.0f;  // width / height of the main window's photo crop
  bool inputsChanged = true;
  std::int32_t fillMode = 0;  // 0 fills a window with the photo, 1 fits the photo inside it
  std::int32_t stretch = 0;   // non-zero: photos are stretched to the window, aspect ignored
  std::int32_t frameWidth = 0, frameHeight = 0;    // natural size, from the filter
  std::int32_t outputWidth = 0, outputHeight = 0;  // collage output size
  std::int32_t inputPhoto = 0;
  bool resetSlots = false;
  bool modalMode = false;
  ColorRef backgroundColor = 0;  // fills the margins of fitted photos
  FrameQuad mainQuad;
  std::vector<FrameQuad> extraQuads;
  std::vector<float> extraAspects;
  bool hasMaskColor = false;
  KeyColour maskColor;
  std::vector<KeyColour> extraMaskColors;
  bool gray = false;    // photos blend by their brightness instead of covering the frame
  float edge = 0;       // width of the soft edge, as a fraction of the window
  float alpha = 1.0f;   // opacity of the photos
  bool dropInProgress = false;  // asks the filter for the window under (dropX, dropY)
  std::int32_t dropX = 0, dropY = 0;
  std::int32_t selectedWindow = -1;

  // The main window and the extra ones that have a quadrilateral.
  int WindowCount() const {
    return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(extraCount, 0)), extraQuads.size())) + 1;
  }
  const FrameQuad& Quad(int window) const {
    return window == 0 ? mainQuad : extraQuads[static_cast<std::size_t>(window - 1)];
  }
  float Aspect(int window) const {
    if (window == 0) return aspect;
    const auto i = static_cast<std::size_t>(window - 1);
    return i < extraAspects.size() ? extraAspects[i] : 1.0f;
  }
  KeyColour Key(int window) const {
    if (window == 0) return maskColor;
    const auto i = static_cast<std::size_t>(window - 1);
    return i < extraMaskColors.size() ? extraMaskColors[i] : KeyColour{};
  }
};

using Matrix3 = std::array<float, 9>;  // row-major
inline constexpr Matrix3 kIdentity3 = {1, 0, 0, 0, 1, 0, 0, 0, 1};

// Bits of MeshBlock::renderFlags.
inline constexpr std::int32_t kRenderReflect = 1;
inline constexpr std::int32_t kRenderNormaliseNormals = 2;
inline constexpr std::int32_t kRenderSpecular = 4;

// The 3D template's block: the frame block followed by the model's pose,
// camera and lighting.
struct MeshBlock : FrameBlock {
  std::array<float, 3> position{0, 0, -3};
  Matrix3 rotation = kIdentity3;
  std::int32_t moveable = 1;
  std::int32_t renderFlags = 0;
  std::int32_t cullMode = 0;  // 1 drops counter-clockwise faces, 2 clockwise ones
  float fieldOfView = 1.5707964f;
  std::array<float, 3> specular{0, 0, 0};  // blue, green, red
  float rotationSpeed = 0.05f;             // radians per animation step
  std::array<float, 4> configExtra{0, 0, 0, 0};  // the model's viewport, fractions of the output
  std::array<float, 3> lightDirection{0.57735027f, -0.57735027f, 0.57735027f};
};

}  // namespace grinsnap
