#pragma once

#include <memory>
#include <span>
#include <vector>

#include "core/data_object.h"
#include "core/overlay.h"

namespace tinyxml2 {
class XMLElement;
}

namespace grinsnap {

class CProcessEngine;
class COptionPanel;
class PaneHost;
class PhotoItem;
class CEffectTemplate;

// An extra tool-bar button a template contributes: the command index, three
// background images and an icon (image ids), caption and tooltip string ids,
// margins, and what pressing it does.
struct ToolButtonDesc {
  int command = 0;
  int backgrounds[3] = {0, 0, 0};
  int icon = 0;
  int captionId = 0;
  int tooltipId = 0;
  int marginX = 0;
  int marginY = 0;
  void (*onPress)(CEffectTemplate* owner) = nullptr;
  CEffectTemplate* owner = nullptr;
};

// Overlay and mouse routing kinds of HasInteraction, DrawOverlay and OnMouse.
inline constexpr int kInteractionFace = 1;
inline constexpr int kInteractionRegion = 2;  // region of interest, pick point, window selection

// The template-parameter panel of CreateOptionPanes.
inline constexpr int kTemplateParamPanel = 1;

// Hint string ids shown when a template is selected.
inline constexpr int kHintCollage = 193;
inline constexpr int kHintModalCollage = 194;

// Base of every effect template: the object a template document names. It
// is reference-counted (the engine and the gallery each hold a reference),
// owns its filter and the option panes it created, and keeps pointers into
// its XML document, which it keeps alive.
class CEffectTemplate : public CTemplateObject {
public:
  CEffectTemplate();
  ~CEffectTemplate() override;

  // Reference counting. The count is a plain integer: it is changed on one
  // thread at a time (the GUI thread after the worker stopped, or the
  // thumbnail thread for a template of its own).
  void AddRef() { ++refCount_; }
  // Drops one reference; destroys the template when none is left.
  void Release();
  int RefCount() const { return refCount_; }

  // Hands the current parameter block to the filter before processing.
  virtual void ApplyParams() {}
  virtual void Reserved(int) {}
  // Whether the preview routes overlay drawing and mouse input of this kind here.
  virtual bool HasInteraction(int kind) {
    (void)kind;
    return false;
  }
  virtual void DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) {
    (void)kind, (void)painter, (void)view;
  }
  // Edits the on-image controls; returns whether the parameters changed.
  virtual bool OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) {
    (void)kind, (void)mouse, (void)view;
    return false;
  }
  // Hands input photos: builds each item's working image and passes the
  // pictures to SetSources (an empty picture for a photo that does not load).
  virtual int SetInputPhotos(std::span<PhotoItem> items);
  // The photo of the selected window of a collage; -1 when none is selected.
  virtual int GetSelectedPhoto(PhotoItem* out) {
    (void)out;
    return -1;
  }
  // Parameter get/set protocol between the template and its option pane.
  virtual int Command(int code, int reserved, int index, void* data) {
    (void)code, (void)reserved, (void)index, (void)data;
    return 0;
  }
  virtual bool CanExportAnimation() { return false; }
  // A tick of a timer the template started on a window's TimerService.
  virtual void OnTimer(int id) { (void)id; }
  // Panel 1 is the template-parameter panel; null when no pane was made.
  virtual std::vector<COptionPanel*>* CreateOptionPanes(int panel) {
    (void)panel;
    return nullptr;
  }
  // Extra tool-bar buttons; the vector is left as it is when there are none.
  virtual void GetToolButtons(std::vector<ToolButtonDesc>& buttons) { (void)buttons; }
  virtual int GetHintStringId() { return 0; }
  virtual void SetThumbnailMode(bool on) { (void)on; }
  virtual void ResetParams() {}
  // Whether a photo dropped on the preview goes to SetInputPhotosEx, to be
  // placed by the template where it was dropped, instead of becoming the input.
  virtual bool TakesDroppedPhotos() { return false; }
  // Hands a photo dropped on the preview: working images to ApplyPlacement.
  virtual void SetInputPhotosEx(std::span<PhotoItem> items, const PlacementRecord* placement);

  // Fields set by CreateTemplate.
  void SetEngine(CProcessEngine* engine) { engine_ = engine; }
  CProcessEngine* Engine() const { return engine_; }
  void SetDisplayName(const char* name) { displayName_ = name; }
  const char* DisplayName() const { return displayName_; }
  void SetElement(const tinyxml2::XMLElement* element) { element_ = element; }
  const tinyxml2::XMLElement* Element() const { return element_; }
  // The window that parents option panes.
  void SetMainWindow(PaneHost* window) { mainWindow_ = window; }
  PaneHost* MainWindow() const { return mainWindow_; }
  // Keeps the XML document alive as long as the template points into it.
  void KeepDocument(std::shared_ptr<const void> document) { document_ = std::move(document); }

  const std::vector<COptionPanel*>& Panes() const { return panes_; }
  // A pane destroyed by its window tells its template to stop listing it.
  void ForgetPane(COptionPanel* pane);

  // Written by the preview window.
  bool mouseDown = false;
  int mouseX = 0;
  int mouseY = 0;

protected:
  // Creates the named pane for this template, drops the panes that have no
  // window, appends the new one and returns the list; null when no pane was
  // created.
  std::vector<COptionPanel*>* MakeOptionPane(const char* paneName);
  // Destroys the panes that have no window and detaches the others. Derived
  // templates call it before they destroy their filter, so that panes go
  // first; the base destructor calls it too.
  void ReleasePanes();

  const tinyxml2::XMLElement* element_ = nullptr;

private:
  CProcessEngine* engine_ = nullptr;
  PaneHost* mainWindow_ = nullptr;
  std::vector<COptionPanel*> panes_;
  const char* displayName_ = "";
  int refCount_ = 1;
  std::shared_ptr<const void> document_;
};

// A reference to a template, released when it goes out of scope.
class TemplateRef {
public:
  TemplateRef() = default;
  // Adopts a reference the caller already holds (as CreateTemplate returns).
  explicit TemplateRef(CEffectTemplate* adopted) : t_(adopted) {}
  TemplateRef(const TemplateRef& other) : t_(other.t_) {
    if (t_) t_->AddRef();
  }
  TemplateRef(TemplateRef&& other) noexcept : t_(other.t_) { other.t_ = nullptr; }
  TemplateRef& operator=(TemplateRef other) noexcept {
    std::swap(t_, other.t_);
    return *this;
  }
  ~TemplateRef() {
    if (t_) t_->Release();
  }
  CEffectTemplate* get() const { return t_; }
  CEffectTemplate* operator->() const { return t_; }
  CEffectTemplate& operator*() const { return *t_; }
  explicit operator bool() const { return t_ != nullptr; }

private:
  CEffectTemplate* t_ = nullptr;
};

}  // namespace grinsnap
