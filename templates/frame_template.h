#pragma once

#include <vector>

#include "core/photo_item.h"
#include "filters/multi/frame_block.h"
#include "templates/simple_template.h"

namespace grinsnap {

// A photo dropped on the preview: the drop point in view pixels and where
// the preview shows the output.
struct PlacementRecord {
  int x = 0;
  int y = 0;
  ViewGeometry view;
};

// Half the side of a corner's hot box on the preview, in view pixels.
inline constexpr int kCornerHotBox = 3;
// The preview shows a frame at most twice its size while corners are dragged.
inline constexpr double kCornerDragMaxScale = 2.0;

// Command codes of the frame template.
inline constexpr int kCmdInputsChanged = 200;
inline constexpr int kCmdResetSlots = 972;

// The frame template ("FrameTemplate"): puts photos into the windows of a
// frame picture. Each window is a quadrilateral of the frame picture (the
// main one from "param", further ones from "extra0", "extra1", ...). The
// user drags the main window's corners on the preview and drops photos
// from the photo list onto a window to fill it. The frame filter draws.
class CT_Frame : public CT_SimpleTempl {
public:
  static constexpr const char* kClassName = "FrameTemplate";

  CT_Frame();
  ~CT_Frame() override;

  int Load() override;
  void SetSources(std::span<const cv::Mat> images) override;
  int Command(int code, int reserved, int index, void* data) override;
  int SetInputPhotos(std::span<PhotoItem> items) override;
  void SetInputPhotosEx(std::span<PhotoItem> items, const PlacementRecord* placement) override;
  void ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) override;
  // Moves the selected corner of the main window while the button is down.
  void ApplyParams() override;
  bool HasInteraction(int kind) override { return kind == kInteractionRegion; }
  bool OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) override;
  void DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) override;
  std::vector<COptionPanel*>* CreateOptionPanes(int panel) override {
    (void)panel;
    return nullptr;
  }
  bool TakesDroppedPhotos() override { return true; }

  const FrameBlock& Block() const { return block_; }
  const std::vector<PhotoItem>& Slots() const { return slots_; }
  int SelectedCorner() const { return selectedCorner_; }
  // The filter's natural size (the frame picture's).
  cv::Size FrameSize();
  // Where a corner of the frame picture appears in a view of size view, and
  // back, for a frame picture of size frame.
  static double DragScale(cv::Size view, cv::Size frame);
  static cv::Point CornerInView(cv::Point corner, cv::Size view, cv::Size frame);
  static cv::Point ViewToFrame(cv::Point point, cv::Size view, cv::Size frame);
  // The first corner of the main window whose hot box holds the point; -1 none.
  static int CornerAt(const FrameQuad& quad, cv::Point point, cv::Size view, cv::Size frame);

protected:
  // The block and the variables to the filter.
  void HandBlock();
  cv::Size ViewSize() const;

  FrameBlock block_;
  std::vector<PhotoItem> slots_;
  int selectedCorner_ = -1;
  bool previousMouseDown_ = false;
  PhotoItem* pendingPhoto_ = nullptr;
};

}  // namespace grinsnap
