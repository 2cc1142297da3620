#pragma once

#include "core/data_object.h"

namespace grinsnap {

class CEffectTemplate;

class MessageTarget;

// The window an option pane lives in; implemented by the user interface.
// Panes send it their redraw requests.
class PaneHost {
public:
  virtual ~PaneHost() = default;
  virtual MessageTarget* RedrawTarget() { return nullptr; }
};

// Base of the option panes that tune a template. The registry makes them by
// name; the user interface derives its widgets from this class as well.
class COptionPanel : public CImageDataObject {
public:
  COptionPanel() { SetIdentity(ObjectKind::OptionPane, "COptionPanel"); }

  // Whether the pane's window exists; panes without one are destroyed when
  // their template makes new panes.
  virtual bool HasWindow() const { return false; }

  bool MadeByRegistry() const { return madeByRegistry_; }
  PaneHost* Parent() const { return parent_; }
  CEffectTemplate* Owner() const { return owner_; }

  void AttachByRegistry(PaneHost* parent, CEffectTemplate* owner) {
    madeByRegistry_ = true;
    parent_ = parent;
    owner_ = owner;
    Attached();
  }
  // Called at the end of AttachByRegistry, once parent and owner are known:
  // the user interface builds the pane's window here.
  virtual void Attached() {}
  // The template's animation started (true) or stopped (false).
  virtual void AnimationStateChanged(bool running) { (void)running; }
  // Called when the owning template is destroyed while the pane lives on.
  void DetachFromTemplate() { owner_ = nullptr; }

private:
  bool madeByRegistry_ = false;
  PaneHost* parent_ = nullptr;
  CEffectTemplate* owner_ = nullptr;
};

}  // namespace grinsnap
