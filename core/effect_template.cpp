#include "core/effect_template.h"

#include <algorithm>

#include "core/option_panel.h"
#include "core/photo_item.h"
#include "core/registry.h"

namespace grinsnap {

CEffectTemplate::CEffectTemplate() { SetIdentity(ObjectKind::Template, "CEffectTemplate"); }

CEffectTemplate::~CEffectTemplate() { ReleasePanes(); }

// The working images of the items, in order; empty pictures for photos that
// do not load. The pictures share pixels with the items.
static std::vector<cv::Mat> WorkingImages(std::span<PhotoItem> items) {
  std::vector<cv::Mat> pictures;
  pictures.reserve(items.size());
  for (PhotoItem& item : items) pictures.push_back(item.WorkingImage());
  return pictures;
}

void CEffectTemplate::ForgetPane(COptionPanel* pane) { std::erase(panes_, pane); }

int CEffectTemplate::SetInputPhotos(std::span<PhotoItem> items) {
  const std::vector<cv::Mat> pictures = WorkingImages(items);
  SetSources(pictures);
  return static_cast<int>(pictures.size());
}

void CEffectTemplate::SetInputPhotosEx(std::span<PhotoItem> items, const PlacementRecord* placement) {
  const std::vector<cv::Mat> pictures = WorkingImages(items);
  ApplyPlacement(pictures, placement);
}

void CEffectTemplate::ReleasePanes() {
  // Panes without a window go with the template; the others live on in their
  // window and only lose their pointer to it.
  for (COptionPanel* pane : panes_) {
    if (pane->HasWindow())
      pane->DetachFromTemplate();
    else
      delete pane;
  }
  panes_.clear();
}

void CEffectTemplate::Release() {
  if (--refCount_ <= 0) delete this;
}

std::vector<COptionPanel*>* CEffectTemplate::MakeOptionPane(const char* paneName) {
  COptionPanel* pane = CreateOptionPane(paneName, mainWindow_, this);
  auto windowless = std::stable_partition(panes_.begin(), panes_.end(),
                                          [](COptionPanel* p) { return p->HasWindow(); });
  for (auto it = windowless; it != panes_.end(); ++it) delete *it;
  panes_.erase(windowless, panes_.end());
  if (!pane) return nullptr;
  panes_.push_back(pane);
  return &panes_;
}

}  // namespace grinsnap
