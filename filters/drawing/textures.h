#pragma once

// Procedural pictures of the drawing and painting materials: papers, pen
// and brush strokes, brush stamps and wood. The shipped texture files are
// written from these by the texture generator (tools/); the filters make
// the same pictures in memory when a document names no file.
//
// Strokes and brushes are grey pictures with dark for ink or paint, as a
// scanned stroke on white paper would be; papers are grey with white for the
// paper's surface and darker pits where the grain lies; wood is colour. All
// tile without a seam except the strokes and brushes.

#include <opencv2/core.hpp>

namespace grinsnap {

enum class PaperKind { kColdPress, kSketchbook };
enum class StrokeKind { kPen, kDryBrush };
enum class BrushKind { kBristle, kRound };
enum class WoodKind { kLight, kDark };

// size x size, 8-bit grey.
cv::Mat MakePaperTexture(PaperKind kind, int size = 512);
// 256 x 32 (pen) or 256 x 48 (dry brush), 8-bit grey; u runs along the stroke.
cv::Mat MakeStrokeTexture(StrokeKind kind);
// 256 x 64 (bristle) or 96 x 96 (round), 8-bit grey.
cv::Mat MakeBrushTexture(BrushKind kind);
// size x size, 8-bit BGR, the grain running from top to bottom.
cv::Mat MakeWoodTexture(WoodKind kind, int size = 512);

// The same pictures made once per process, for the filters' defaults.
const cv::Mat& DefaultPaper(PaperKind kind);
const cv::Mat& DefaultStroke(StrokeKind kind);
const cv::Mat& DefaultBrush(BrushKind kind);
const cv::Mat& DefaultWood(WoodKind kind);

}  // namespace grinsnap
