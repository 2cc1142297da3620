#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// The size of the stone relief for an output of size W x H: the output
// scaled to fit 800 x 800, never enlarged, each side rounded.
cv::Size StoneTextureSize(cv::Size output);

// The stone relief at the given size, one float channel: stones of up to
// 101 pixels grown at random until the relief is covered, each with a
// bevel that lights its upper and left rims and darkens the others.
// Returns false when cancel stopped it (the relief is then partly laid).
bool StoneRelief(cv::Size size, CrtRandom& random, cv::Mat& relief, const std::atomic<bool>* cancel);

// Stones ("CollageFilter"): the photo covered with a relief of small random
// stones. Block entry 0 is the relief's strength; at 0 the photo shows
// unchanged.
class CF_Collage : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "CollageFilter";
  static constexpr BlockParam kStrength{0, "relief", 1.0f, 0.0f, 4.0f};
  static constexpr BlockParam kParams[] = {kStrength};
  static constexpr FilterTraits kTraits{.seeded = true, .background = Background::Always, .params = kParams};

  CF_Collage();

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

// The tile layouts of the tile collage.
enum class TileLayout : int { Squares = 0, Bricks = 1, Honeycomb = 2 };

// One tile of a layout before it is turned and shifted: its centre, the
// extent of its corners about the centre, the photo rectangle it is cut
// from and which texture and mask pair frames it.
struct TileCell {
  cv::Point2d centre;
  double left = 0, right = 0, top = 0, bottom = 0;     // corner offsets about the centre
  double srcLeft = 0, srcRight = 0, srcTop = 0, srcBottom = 0;
  int pair = 0;
};

// The columns and rows of a layout over W x H with cell size D, and cell
// (col, row) of it.
cv::Size TileGrid(TileLayout layout, cv::Size output, double d);
TileCell TileAt(TileLayout layout, int col, int row, double d);

// Tiles ("CollageFilter2"): the photo cut into tiles shaped by a mask and
// framed by a texture, laid at random angles and shifts over grey as
// squares ("type" 0), bricks (1) or a honeycomb (2); other types leave the
// output black. Up to two "param" elements name the "tex" (with alpha) and
// "mask" pictures: bricks alternate between the two pairs. A tile whose
// pair is missing is drawn with the photo alone. Block entries: the number
// of cells across the shorter side, the angle spread and the shift spread.
class CF_Collage2 : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "CollageFilter2";
  static constexpr BlockParam kCells{0, "cells", 20.0f, 1.0f, 200.0f};
  static constexpr BlockParam kAngleSpread{1, "angle spread", 0.2f, 0.0f, 1.0f};
  static constexpr BlockParam kShiftSpread{2, "shift spread", 0.2f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kCells, kAngleSpread, kShiftSpread};
  static constexpr FilterTraits kTraits{
      .seeded = true, .background = Background::AboveSize, .backgroundLimit = 400, .params = kParams};

  CF_Collage2();

  int Load() override;
  int Type() const { return type_; }
  const cv::Mat& Texture(int pair) const { return textures_[pair]; }
  const cv::Mat& Mask(int pair) const { return masks_[pair]; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  int type_ = 0;
  cv::Mat textures_[2];  // 8-bit BGRA
  cv::Mat masks_[2];     // 8-bit BGR
};

}  // namespace grinsnap
