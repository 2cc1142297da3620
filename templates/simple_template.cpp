#include "templates/simple_template.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <tinyxml2.h>

#include "core/numeric.h"
#include "core/xml_params.h"
#include "filters/filter_factory.h"

namespace grinsnap {

namespace {

constexpr const char* kVariableElements[kVariableCount] = {"var1", "var2", "var3"};

const tinyxml2::XMLElement* VariableElement(const tinyxml2::XMLElement* templateElement, int index) {
  return FirstChild(FirstChild(templateElement, "variables"), kVariableElements[index]);
}

struct Box {
  int left, top, right, bottom;
};

bool Inside(const Box& b, int x, int y) { return x >= b.left && x < b.right && y >= b.top && y < b.bottom; }

}  // namespace

CT_SimpleTempl::CT_SimpleTempl() { SetClassName(kClassName); }

CT_SimpleTempl::~CT_SimpleTempl() {
  ReleasePanes();
  filter_.reset();
}

void CT_SimpleTempl::LoadFilter() {
  const tinyxml2::XMLElement* filterElement = FirstChild(element_, "filter");
  if (!filterElement) return;
  const char* name = filterElement->Attribute("name");
  filter_ = CreateFilterFromXml(name, filterElement, Folder(), false, nullptr);
}

void CT_SimpleTempl::LoadVariables() {
  for (int i = 0; i < kVariableCount; ++i) {
    const tinyxml2::XMLElement* var = VariableElement(element_, i);
    TemplateVariable v;
    v.resolution = 0;
    ReadAttribute(var, "min", v.min);
    ReadAttribute(var, "max", v.max);
    ReadAttribute(var, "default", v.defaultValue);
    ReadAttribute(var, "resolution", v.resolution);
    // Slider positions are values divided by the resolution: a step of 0
    // means 1, and so does a step too small to divide by.
    if (!(std::fabs(v.resolution) >= std::numeric_limits<float>::min())) v.resolution = 1;
    variables_[i] = v;
    params_[i] = v.defaultValue;
  }
}

void CT_SimpleTempl::LoadRoiAndPick() {
  if (const tinyxml2::XMLElement* roi = FirstChild(element_, "roi")) {
    hasRoi_ = true;
    float r[4] = {0, 0, 0, 0};
    ReadAttribute(roi, "defaultx", r[0]);
    ReadAttribute(roi, "defaulty", r[1]);
    ReadAttribute(roi, "defaultw", r[2]);
    ReadAttribute(roi, "defaulth", r[3]);
    // All four zero means "not given": the centred half-size box stays.
    if (r[0] != 0 || r[1] != 0 || r[2] != 0 || r[3] != 0) {
      KeepRegionInside(r);
      std::copy(r, r + 4, params_.begin() + kBlockRoiX);
    }
  }
  if (FirstChild(element_, "pick")) hasPick_ = true;
}

int CT_SimpleTempl::Load() {
  LoadFilter();
  LoadVariables();
  LoadRoiAndPick();
  if (!filter_) return 0;
  filter_->SetVariables(params_);
  return 1;
}

void CT_SimpleTempl::SetSources(std::span<const cv::Mat> images) {
  if (filter_) filter_->SetSources(images);
}

void CT_SimpleTempl::Reseed() {
  if (filter_) filter_->Reseed();
}

void CT_SimpleTempl::Process() {
  if (filter_) filter_->Process();
}

void CT_SimpleTempl::Abort() {
  if (filter_) filter_->Abort();
}

void CT_SimpleTempl::ClearAbort() {
  if (filter_) filter_->ClearAbort();
}

RenderResult CT_SimpleTempl::LastRun() const { return filter_ ? filter_->LastRun() : RenderResult::Done(); }

void CT_SimpleTempl::SetSeed(std::uint32_t seed) {
  if (filter_) filter_->SetSeed(seed);
}

const cv::Mat* CT_SimpleTempl::GetOutput() { return filter_ ? filter_->GetOutput() : nullptr; }

bool CT_SimpleTempl::PrepareOutput(const cv::Size* box) { return filter_ ? filter_->PrepareOutput(box) : false; }

bool CT_SimpleTempl::RunsInBackground() {
  int delay = 0;
  ReadAttribute(element_, "delay", delay);
  if (delay == 1) return true;
  return filter_ ? filter_->RunsInBackground() : false;
}

void CT_SimpleTempl::ApplyParams() {
  if (filter_) filter_->SetVariables(params_);
}

bool CT_SimpleTempl::HasInteraction(int kind) { return kind == kInteractionRegion && (hasRoi_ || hasPick_); }

int CT_SimpleTempl::Command(int code, int reserved, int index, void* data) {
  (void)reserved;
  const bool validIndex = index >= 0 && index < kVariableCount;
  switch (code) {
    case kCmdVariableName:
      if (data) {
        std::string name = AttributeText(validIndex ? VariableElement(element_, index) : nullptr, "name");
        char* buffer = static_cast<char*>(data);
        std::size_t n = std::min(name.size(), static_cast<std::size_t>(kVariableNameBufferSize - 1));
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
      }
      break;
    case kCmdVariableRange:
      if (data && validIndex) {
        const TemplateVariable& v = variables_[index];
        const std::int32_t range[3] = {SaturateToInt32(v.min / v.resolution),
                                       SaturateToInt32(v.max / v.resolution),
                                       SaturateToInt32(v.defaultValue / v.resolution)};
        std::memcpy(data, range, sizeof range);
      }
      break;
    case kCmdSetVariable:
      // The slider position travels in the data argument itself.
      if (validIndex) {
        const int position = static_cast<int>(reinterpret_cast<std::intptr_t>(data));
        params_[index] = static_cast<float>(position) * variables_[index].resolution;
      }
      break;
    case kCmdHasRoi:
      if (data) *static_cast<std::uint8_t*>(data) = hasRoi_ ? 1 : 0;
      break;
    case kCmdShowRoi:
      showRoi_ = index != 0;
      break;
    default:
      break;
  }
  if (!filter_) return 0;
  filter_->SetVariables(params_);
  return 1;
}

bool CT_SimpleTempl::HasVariable(int i) const {
  return i >= 0 && i < kVariableCount && VariableElement(element_, i) != nullptr;
}

std::string CT_SimpleTempl::VariableName(int i) const {
  return HasVariable(i) ? AttributeText(VariableElement(element_, i), "name") : std::string();
}

void CT_SimpleTempl::SetParam(int index, float value) {
  if (index < 0 || index >= kVariableBlockSize) return;
  params_[static_cast<std::size_t>(index)] = value;
  if (filter_) filter_->SetVariables(params_);
}

std::vector<COptionPanel*>* CT_SimpleTempl::CreateOptionPanes(int panel) {
  if (panel != kTemplateParamPanel) return nullptr;
  int noAdjust = 0;
  ReadAttribute(element_, "no_adjust", noAdjust);
  if (noAdjust != 0) return nullptr;
  return MakeOptionPane("OptionPane_2D");
}

ViewRect RoiToView(const float* params, const ViewRect& image) {
  const double w = image.Width();
  const double h = image.Height();
  ViewRect roi;
  roi.left = image.left + static_cast<int>(params[kBlockRoiX] * w);
  roi.top = image.top + static_cast<int>(params[kBlockRoiY] * h);
  roi.right = image.left + static_cast<int>((params[kBlockRoiX] + params[kBlockRoiWidth]) * w);
  roi.bottom = image.top + static_cast<int>((params[kBlockRoiY] + params[kBlockRoiHeight]) * h);
  return roi;
}

void KeepRegionInside(float* region) {
  for (int k = 0; k < 4; ++k)
    if (!(region[k] == region[k])) region[k] = 0;
  region[0] = std::clamp(region[0], 0.0f, 1.0f);
  region[1] = std::clamp(region[1], 0.0f, 1.0f);
  region[2] = std::clamp(region[2], 0.0f, 1.0f - region[0]);
  region[3] = std::clamp(region[3], 0.0f, 1.0f - region[1]);
}

int HitTestRoiZone(const ViewRect& r, int x, int y) {
  constexpr int m = kRoiZoneMargin;
  const Box zones[9] = {
      {r.left + m, r.top + m, r.right - m, r.bottom - m},     // 1 move
      {r.right - m, r.top + m, r.right + m, r.bottom - m},    // 2 right edge
      {r.right - m, r.top - m, r.right + m, r.top + m},       // 3 top-right
      {r.left + m, r.top - m, r.right - m, r.top + m},        // 4 top edge
      {r.left - m, r.top - m, r.left + m, r.top + m},         // 5 top-left
      {r.left - m, r.top + m, r.left + m, r.bottom - m},      // 6 left edge
      {r.left - m, r.bottom - m, r.left + m, r.bottom + m},   // 7 bottom-left
      {r.left + m, r.bottom - m, r.right - m, r.bottom + m},  // 8 bottom edge
      {r.right - m, r.bottom - m, r.right + m, r.bottom + m}, // 9 bottom-right
  };
  for (int i = 0; i < 9; ++i)
    if (Inside(zones[i], x, y)) return i + 1;
  return 0;
}

CursorShape CursorForZone(int zone) {
  switch (zone) {
    case 1: return CursorShape::SizeAll;
    case 2: case 6: return CursorShape::SizeWE;
    case 4: case 8: return CursorShape::SizeNS;
    case 3: case 7: return CursorShape::SizeNESW;
    case 5: case 9: return CursorShape::SizeNWSE;
    default: return CursorShape::Arrow;
  }
}

void CT_SimpleTempl::DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) {
  if (kind != kInteractionRegion || !hasRoi_ || !showRoi_ || !GetOutput()) return;
  const Pen previous = painter.SelectPen({PenStyle::Dash, 1, kRoiColor});
  painter.SelectNullBrush();
  painter.DrawRectangle(RoiToView(params_.data(), view.imageRect));
  painter.SelectPen(previous);
}

bool CT_SimpleTempl::EditRoi(const MouseInput& mouse, const ViewGeometry& view) {
  const ViewRect& image = view.imageRect;
  if (image.Width() <= 0 || image.Height() <= 0) return false;
  if (!mouse.buttonDown) {
    dragZone_ = HitTestRoiZone(RoiToView(params_.data(), image), mouse.x, mouse.y);
    cursor_ = CursorForZone(dragZone_);
    return false;
  }
  if (!lastButtonDown_ || dragZone_ == 0) return false;

  const double w = image.Width();
  const double h = image.Height();
  float* roi = params_.data() + kBlockRoiX;  // x, y, width, height
  if (dragZone_ == 1) {
    // The box moves whole: its size stays and it stops at the edges.
    KeepRegionInside(roi);
    roi[0] = std::clamp(roi[0] + static_cast<float>((mouse.x - lastMouseX_) / w), 0.0f, 1.0f - roi[2]);
    roi[1] = std::clamp(roi[1] + static_cast<float>((mouse.y - lastMouseY_) / h), 0.0f, 1.0f - roi[3]);
    return true;
  }

  // The other zones move the sides they touch, in view pixels; only the
  // moved sides are converted back, so the opposite side stays put. A side
  // keeps 40 pixels from the opposite one, but never leaves the picture: a
  // region narrower than that at the edge stays narrow.
  const ViewRect r = RoiToView(params_.data(), image);
  const int z = dragZone_;
  if (z == 2 || z == 3 || z == 9) {
    const int right = std::min(std::max(std::min(mouse.x, image.right), r.left + kRoiMinimumSize), image.right);
    roi[2] = static_cast<float>((right - image.left) / w) - roi[0];
  }
  if (z == 5 || z == 6 || z == 7) {
    const int left = std::max(std::min(std::max(mouse.x, image.left), r.right - kRoiMinimumSize), image.left);
    const float newX = static_cast<float>((left - image.left) / w);
    roi[2] += roi[0] - newX;
    roi[0] = newX;
  }
  if (z == 3 || z == 4 || z == 5) {
    const int top = std::max(std::min(std::max(mouse.y, image.top), r.bottom - kRoiMinimumSize), image.top);
    const float newY = static_cast<float>((top - image.top) / h);
    roi[3] += roi[1] - newY;
    roi[1] = newY;
  }
  if (z == 7 || z == 8 || z == 9) {
    const int bottom = std::min(std::max(std::min(mouse.y, image.bottom), r.top + kRoiMinimumSize), image.bottom);
    roi[3] = static_cast<float>((bottom - image.top) / h) - roi[1];
  }
  KeepRegionInside(roi);
  return true;
}

bool CT_SimpleTempl::MovePick(const MouseInput& mouse, const ViewGeometry& view) {
  const ViewRect& image = view.imageRect;
  // The point follows the pointer while the preview shows the whole picture.
  if (!mouse.buttonDown || !view.fitted) return false;
  if (image.Width() <= 0 || image.Height() <= 0) return false;
  params_[kBlockPointX] = std::clamp(static_cast<float>(double(mouse.x - image.left) / image.Width()), 0.0f, 1.0f);
  params_[kBlockPointY] = std::clamp(static_cast<float>(double(mouse.y - image.top) / image.Height()), 0.0f, 1.0f);
  return true;
}

bool CT_SimpleTempl::OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) {
  if (kind != kInteractionRegion) return false;
  bool changed = (hasRoi_ && showRoi_) ? EditRoi(mouse, view) : MovePick(mouse, view);
  lastMouseX_ = mouse.x;
  lastMouseY_ = mouse.y;
  lastButtonDown_ = mouse.buttonDown;
  if (changed && filter_) filter_->SetVariables(params_);
  return changed;
}

}  // namespace grinsnap
