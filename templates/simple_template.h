#pragma once

#include <memory>
#include <string>

#include "core/effect_template.h"
#include "core/variable_block.h"
#include "filters/image_filter.h"

namespace grinsnap {

// Command codes of the variable protocol between a simple template and its
// option pane.
inline constexpr int kCmdVariableName = 150;   // copy var<index+1>'s caption into a 200-byte buffer
inline constexpr int kCmdVariableRange = 250;  // write min, max, default in slider steps (3 x int32)
inline constexpr int kCmdSetVariable = 350;    // set a variable from an integer slider position
inline constexpr int kCmdHasRoi = 550;         // write hasRoi into a byte
inline constexpr int kCmdShowRoi = 650;        // show the region box when index != 0
inline constexpr int kVariableNameBufferSize = 200;

inline constexpr int kVariableCount = 3;

// Smallest size of the region of interest while a side is dragged, and the
// half-width of the zones around its sides, in view pixels.
inline constexpr int kRoiMinimumSize = 40;
inline constexpr int kRoiZoneMargin = 10;

// The region-of-interest box is drawn dashed in this colour.
inline constexpr ColorRef kRoiColor = MakeColorRef(241, 84, 230);

struct TemplateVariable {
  float min = 0, max = 0, defaultValue = 0, resolution = 1;
};

// The template that wraps one filter and gives it up to three variables, a
// region of interest the user drags on the preview and a pick point.
// Registered as "SimpleTemplate"; the base of the frame, collage and 3D
// templates.
class CT_SimpleTempl : public CEffectTemplate {
public:
  static constexpr const char* kClassName = "SimpleTemplate";

  CT_SimpleTempl();
  ~CT_SimpleTempl() override;

  int Load() override;

  void SetSources(std::span<const cv::Mat> images) override;
  void Reseed() override;
  void Process() override;
  void Abort() override;
  const cv::Mat* GetOutput() override;
  bool PrepareOutput(const cv::Size* box) override;
  bool RunsInBackground() override;

  void ApplyParams() override;
  bool HasInteraction(int kind) override;
  void DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) override;
  bool OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) override;
  int Command(int code, int reserved, int index, void* data) override;
  std::vector<COptionPanel*>* CreateOptionPanes(int panel) override;
  void ClearAbort() override;
  RenderResult LastRun() const override;
  void SetSeed(std::uint32_t seed) override;

  CImageFilter* Filter() const { return filter_.get(); }
  const float* Params() const { return params_.data(); }
  const TemplateVariable& Variable(int i) const { return variables_[i]; }
  // Whether the document defines variable i (var1 is 0), and its caption.
  bool HasVariable(int i) const;
  std::string VariableName(int i) const;
  // Sets one entry of the parameter block and hands the block to the filter.
  void SetParam(int index, float value);
  bool HasRoi() const { return hasRoi_; }
  bool ShowRoi() const { return showRoi_; }
  bool HasPick() const { return hasPick_; }
  int DragZone() const { return dragZone_; }
  CursorShape Cursor() const { return cursor_; }

protected:
  // Loading steps the derived templates reuse.
  void LoadFilter();
  void LoadVariables();
  void LoadRoiAndPick();

  std::unique_ptr<CImageFilter> filter_;
  TemplateVariable variables_[kVariableCount];
  std::array<float, kVariableBlockSize> params_ = kDefaultVariableBlock;
  bool hasRoi_ = false;
  bool showRoi_ = true;
  bool hasPick_ = false;

private:
  bool EditRoi(const MouseInput& mouse, const ViewGeometry& view);
  bool MovePick(const MouseInput& mouse, const ViewGeometry& view);

  int dragZone_ = 0;
  int lastMouseX_ = 0;
  int lastMouseY_ = 0;
  bool lastButtonDown_ = false;
  CursorShape cursor_ = CursorShape::Arrow;
};

// The region of interest in view pixels, for a view of the displayed picture.
ViewRect RoiToView(const float* params, const ViewRect& imageRect);

// Keeps a region (left, top, width, height as fractions) inside the picture:
// NaN reads as 0, left and top lie in 0..1, width and height in 0..1 - left
// and 0..1 - top.
void KeepRegionInside(float* region);

// The zone (0 for none, 1 to 9) of the region box that a point is over, tested
// in the order move, right, top-right, top, top-left, left, bottom-left,
// bottom, bottom-right; the first hit wins.
int HitTestRoiZone(const ViewRect& roi, int x, int y);

CursorShape CursorForZone(int zone);

}  // namespace grinsnap
