#pragma once

#include <vector>

#include "core/effect_template.h"

namespace grinsnap {

// Command indices of the main window's tool bar and system bar.
enum MainCommand : int {
  kCmdAddImage = 0,
  kCmdEdit = 1,
  kCmdShowFirstMode = 2,
  kCmdShowTemplateMode = 3,
  kCmdExport = 4,
  kCmdShowSecondMode = 6,
  kCmdAddToInput = 7,
  kCmdZoomIn = 8,
  kCmdZoomOut = 9,
  kCmdRotateLeft = 10,
  kCmdRotateRight = 11,
  kCmdToggleControlPanel = 12,
  kCmdSettings = 13,
  kCmdMinimize = 14,
  kCmdMaximize = 15,
  kCmdRestore = 16,
  kCmdClose = 17,
};

// One entry of the main tool bar: a button or a separator.
struct ToolBarEntry {
  bool separator = false;
  int command = 0;
  int captionId = 0;
  int tooltipId = 0;
  bool enabled = true;
  // A template's own button: pressing it runs onPress(owner).
  void (*onPress)(CEffectTemplate* owner) = nullptr;
  CEffectTemplate* owner = nullptr;

  bool operator==(const ToolBarEntry&) const = default;
};

// What the tool bar depends on.
struct ToolBarState {
  bool editingOriginal = false;    // the work area shows the original image
  bool templateHasPane = false;    // the current template has an option pane
  bool paneShown = false;
  bool photoListEmpty = false;
  std::vector<ToolButtonDesc> templateButtons;  // from the template's GetToolButtons
  bool hasTemplate = false;        // a template is selected
  bool canAddResult = false;       // a finished result not yet added to the photo list
};

// The tool bar, rebuilt on every mode change: Add Image, Edit, Export, a
// separator, Zoom in, Zoom out; then Rotate Left and Rotate Right while the
// original image is edited, otherwise Show/Hide Control Panel when the
// template has a pane; then the template's own buttons. With an empty photo
// list every entry from the fifth on is disabled.
std::vector<ToolBarEntry> ComposeToolBar(const ToolBarState& state);

// The bar beside it with the view and the result's commands: "Result"
// (command 3, or 2 without a template) while the original image is shown,
// else "Original Image" (command 6); then "Add To Input" (command 7), on
// only while there is a result it can add. An empty photo list disables both.
std::vector<ToolBarEntry> ComposeModeBar(const ToolBarState& state);

}  // namespace grinsnap
