#include "templates/frame_template.h"

#include <algorithm>
#include <cmath>

#include <tinyxml2.h>

#include "core/process_engine.h"
#include "core/xml_params.h"

namespace grinsnap {

namespace {

constexpr const char* kCornerElements[kCornerCount] = {"point00", "point01", "point10", "point11"};

FrameQuad ReadQuad(const tinyxml2::XMLElement* parent) {
  FrameQuad quad;
  for (int i = 0; i < kCornerCount; ++i) {
    const tinyxml2::XMLElement* corner = FirstChild(parent, kCornerElements[i]);
    int x = 0, y = 0;
    ReadAttribute(corner, "x", x);
    ReadAttribute(corner, "y", y);
    quad.SetCorner(i, x, y);
  }
  return quad;
}

// The key colour of a window; false when it has none.
bool ReadKey(const tinyxml2::XMLElement* parent, KeyColour& key) {
  const tinyxml2::XMLElement* colour = FirstChild(parent, "maskclr");
  if (!colour) return false;
  double r = 0, g = 0, b = 0;
  ReadAttribute(colour, "r", r);
  ReadAttribute(colour, "g", g);
  ReadAttribute(colour, "b", b);
  key = {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
  return true;
}

// Puts an item into slot i: assigned when the slot exists, appended otherwise.
void PutSlot(std::vector<PhotoItem>& slots, std::size_t i, const PhotoItem& item) {
  if (i < slots.size())
    slots[i] = item.Snapshot();
  else
    slots.push_back(item.Snapshot());
}

}  // namespace

CT_Frame::CT_Frame() { SetClassName(kClassName); }

CT_Frame::~CT_Frame() {
  ReleasePanes();
  filter_.reset();
}

void CT_Frame::HandBlock() {
  if (!filter_) return;
  filter_->SetVariables(params_);
  filter_->SetFrameBlock(&block_);
}

int CT_Frame::Load() {
  const int loaded = CT_SimpleTempl::Load();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  block_ = FrameBlock{};
  block_.mainQuad = ReadQuad(param);
  if (param && param->Attribute("aspect")) {
    block_.hasAspect = true;
    ReadAttribute(param, "aspect", block_.aspect);
    ReadAttribute(param, "stretch", block_.stretch);
  }
  if (ReadKey(param, block_.maskColor)) block_.hasMaskColor = true;
  for (const tinyxml2::XMLElement* extra : NumberedChildren(param, "extra")) {
    block_.extraQuads.push_back(ReadQuad(extra));
    float aspect = 1.0f;
    if (extra->Attribute("aspect")) {
      block_.hasAspect = true;
      ReadAttribute(extra, "aspect", aspect);
    }
    block_.extraAspects.push_back(aspect);
    KeyColour key;
    if (ReadKey(extra, key)) block_.hasMaskColor = true;
    block_.extraMaskColors.push_back(key);
  }
  block_.extraCount = static_cast<std::int32_t>(block_.extraQuads.size());
  int gray = 0;
  ReadAttribute(param, "gray", gray);
  block_.gray = gray != 0;
  ReadAttribute(param, "alpha", block_.alpha);
  if (block_.alpha == 0) block_.alpha = 1.0f;
  ReadAttribute(param, "edge", block_.edge);
  block_.windowPhotos = &slots_;
  HandBlock();
  if (filter_) filter_->PublishLayout();
  return loaded;
}

void CT_Frame::SetSources(std::span<const cv::Mat> images) {
  if (Engine()) block_.inputPhoto = Engine()->CurrentPhoto();
  CT_SimpleTempl::SetSources(images);
  block_.inputsChanged = false;
}

int CT_Frame::Command(int code, int reserved, int index, void* data) {
  (void)reserved, (void)index, (void)data;
  if (code == kCmdInputsChanged) block_.inputsChanged = true;
  if (code == kCmdResetSlots) block_.resetSlots = true;
  return code;
}

int CT_Frame::SetInputPhotos(std::span<PhotoItem> items) {
  const std::size_t windows = static_cast<std::size_t>(block_.WindowCount());
  const std::size_t n = items.size();
  if (block_.resetSlots) {
    slots_.clear();
    block_.resetSlots = false;
  }
  if (block_.selectedWindow < 0) {
    for (std::size_t i = 0; i < windows && i < n; ++i) PutSlot(slots_, i, items[i]);
  } else if (n > 0) {
    // The first photo goes to the selected window, the others to the
    // windows before it, in order, passing over the selected one.
    const auto selected = static_cast<std::size_t>(block_.selectedWindow);
    while (slots_.size() <= selected) slots_.emplace_back();
    slots_[selected] = items[0].Snapshot();
    for (std::size_t k = 1; k < n && slots_.size() < windows; ++k)
      if (k - 1 != selected) PutSlot(slots_, k - 1, items[k]);
  }
  // The filter gets the windows' photos in window order, so that a photo
  // placed in a window stays there when the inputs are handed again; the
  // first input stands in for a main window without a photo.
  std::vector<cv::Mat> pictures;
  const std::size_t count = std::max<std::size_t>(std::min(slots_.size(), windows), n > 0 ? 1 : 0);
  for (std::size_t w = 0; w < count; ++w) {
    cv::Mat picture;
    if (w < slots_.size() && !slots_[w].IsEmpty()) picture = slots_[w].WorkingImage();
    if (w == 0 && picture.empty() && n > 0) picture = items[0].WorkingImage();
    pictures.push_back(picture);
  }
  SetSources(pictures);
  // The slots keep only the items; their pictures are built again when needed.
  for (PhotoItem& slot : slots_) slot.DropWorkingImage();
  return static_cast<int>(pictures.size());
}

void CT_Frame::SetInputPhotosEx(std::span<PhotoItem> items, const PlacementRecord* placement) {
  if (items.empty() || items.front().WorkingImage().empty()) return;
  pendingPhoto_ = &items.front();
  CEffectTemplate::SetInputPhotosEx(items, placement);
  pendingPhoto_ = nullptr;
}

cv::Size CT_Frame::FrameSize() {
  if (block_.frameWidth > 0 && block_.frameHeight > 0) return {block_.frameWidth, block_.frameHeight};
  cv::Size size(0, 0);
  if (filter_) filter_->GetOutputSize(&size);
  return size;
}

cv::Size CT_Frame::ViewSize() const {
  if (Engine() && !Engine()->ViewRect().empty()) return Engine()->ViewRect().size();
  return {0, 0};
}

void CT_Frame::ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) {
  if (!filter_) return;
  const cv::Size frame = FrameSize();
  const cv::Point at = placement ? cv::Point(placement->x, placement->y) : cv::Point(mouseX, mouseY);
  cv::Point point;
  const ViewRect* shown = placement ? &placement->view.imageRect : nullptr;
  if (shown && shown->Width() > 0 && shown->Height() > 0) {
    point.x = static_cast<int>(std::floor(static_cast<double>(at.x - shown->left) * frame.width / shown->Width()));
    point.y = static_cast<int>(std::floor(static_cast<double>(at.y - shown->top) * frame.height / shown->Height()));
  } else {
    point = ViewToFrame(at, ViewSize(), frame);
  }
  if (block_.outputWidth > 0 && block_.outputHeight > 0 && frame.width > 0 && frame.height > 0) {
    point.x = static_cast<int>(static_cast<double>(point.x) * block_.outputWidth / frame.width);
    point.y = static_cast<int>(static_cast<double>(point.y) * block_.outputHeight / frame.height);
  }
  block_.dropInProgress = true;
  block_.dropX = point.x;
  block_.dropY = point.y;
  HandBlock();
  filter_->PublishLayout();
  block_.dropInProgress = false;
  const int window = block_.selectedWindow;
  if (window < 0 || !pendingPhoto_) return;
  while (slots_.size() <= static_cast<std::size_t>(window)) slots_.emplace_back();
  PhotoItem& slot = slots_[static_cast<std::size_t>(window)];
  slot = pendingPhoto_->Snapshot();
  slot.DropWorkingImage();
  filter_->ApplyPlacement(images, placement);
}

double CT_Frame::DragScale(cv::Size view, cv::Size frame) {
  if (frame.width <= 0 || frame.height <= 0 || view.width <= 0 || view.height <= 0) return 1.0;
  return std::min({static_cast<double>(view.width) / frame.width, static_cast<double>(view.height) / frame.height,
                   kCornerDragMaxScale});
}

cv::Point CT_Frame::CornerInView(cv::Point corner, cv::Size view, cv::Size frame) {
  const double scale = DragScale(view, frame);
  return {view.width / 2 + static_cast<int>(std::lround((corner.x - frame.width * 0.5) * scale)),
          view.height / 2 + static_cast<int>(std::lround((corner.y - frame.height * 0.5) * scale))};
}

cv::Point CT_Frame::ViewToFrame(cv::Point point, cv::Size view, cv::Size frame) {
  const double scale = DragScale(view, frame);
  return {frame.width / 2 + static_cast<int>(std::lround((point.x - view.width * 0.5) / scale)),
          frame.height / 2 + static_cast<int>(std::lround((point.y - view.height * 0.5) / scale))};
}

int CT_Frame::CornerAt(const FrameQuad& quad, cv::Point point, cv::Size view, cv::Size frame) {
  for (int i = 0; i < kCornerCount; ++i) {
    const cv::Point c = CornerInView(quad.Corner(i), view, frame);
    // A 6 x 6 box around the corner, its right and bottom edges left out.
    if (point.x >= c.x - kCornerHotBox && point.x < c.x + kCornerHotBox && point.y >= c.y - kCornerHotBox &&
        point.y < c.y + kCornerHotBox)
      return i;
  }
  return -1;
}

void CT_Frame::ApplyParams() {
  if (mouseDown) {
    const cv::Size view = ViewSize();
    const cv::Size frame = FrameSize();
    const cv::Point mouse(mouseX, mouseY);
    if (!previousMouseDown_) {
      selectedCorner_ = CornerAt(block_.mainQuad, mouse, view, frame);
    } else if (selectedCorner_ != -1) {
      const cv::Point moved = ViewToFrame(mouse, view, frame);
      block_.mainQuad.SetCorner(selectedCorner_, moved.x, moved.y);
    }
  }
  previousMouseDown_ = mouseDown;
  HandBlock();
}

bool CT_Frame::OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) {
  (void)view;
  if (kind != kInteractionRegion) return false;
  // A press on a corner, the drag that follows and its release re-render;
  // the corner itself moves in ApplyParams.
  if (mouse.buttonDown && !previousMouseDown_)
    return CornerAt(block_.mainQuad, {mouse.x, mouse.y}, ViewSize(), FrameSize()) != -1;
  return selectedCorner_ != -1 && (mouse.buttonDown || previousMouseDown_);
}

void CT_Frame::DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) {
  (void)view;
  if (kind != kInteractionRegion || !GetOutput()) return;
  const cv::Size viewSize = ViewSize();
  if (viewSize.width <= 0) return;
  const Pen previous = painter.SelectPen({PenStyle::Solid, 1, kRoiColor});
  painter.SelectNullBrush();
  for (int i = 0; i < kCornerCount; ++i) {
    const cv::Point c = CornerInView(block_.mainQuad.Corner(i), viewSize, FrameSize());
    painter.DrawRectangle({c.x - kCornerHotBox, c.y - kCornerHotBox, c.x + kCornerHotBox, c.y + kCornerHotBox});
  }
  painter.SelectPen(previous);
}

}  // namespace grinsnap
