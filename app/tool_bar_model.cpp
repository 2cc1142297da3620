#include "app/tool_bar_model.h"

#include "app/string_table.h"

namespace grinsnap {

namespace {

ToolBarEntry Button(int command, int captionId, int tooltipId) {
  ToolBarEntry entry;
  entry.command = command;
  entry.captionId = captionId;
  entry.tooltipId = tooltipId;
  return entry;
}

constexpr std::size_t kFirstEntryNeedingPhotos = 4;  // the fifth entry

}  // namespace

std::vector<ToolBarEntry> ComposeToolBar(const ToolBarState& state) {
  std::vector<ToolBarEntry> bar = {
      Button(kCmdAddImage, kIdsAddImage, kIdsAddImageTip),
      Button(kCmdEdit, kIdsEdit, kIdsEditTip),
      Button(kCmdExport, kIdsExport, kIdsExportTip),
      ToolBarEntry{.separator = true},
      Button(kCmdZoomIn, kIdsZoomIn, kIdsZoomInTip),
      Button(kCmdZoomOut, kIdsZoomOut, kIdsZoomOutTip),
  };
  if (state.editingOriginal) {
    bar.push_back(Button(kCmdRotateLeft, kIdsRotateLeft, kIdsRotateLeftTip));
    bar.push_back(Button(kCmdRotateRight, kIdsRotateRight, kIdsRotateRightTip));
  } else if (state.templateHasPane) {
    bar.push_back(state.paneShown ? Button(kCmdToggleControlPanel, kIdsHideControlPanel, kIdsHideControlPanelTip)
                                   : Button(kCmdToggleControlPanel, kIdsShowControlPanel, kIdsShowControlPanelTip));
  }
  for (const ToolButtonDesc& extra : state.templateButtons) {
    ToolBarEntry entry = Button(extra.command, extra.captionId, extra.tooltipId);
    entry.onPress = extra.onPress;
    entry.owner = extra.owner;
    bar.push_back(entry);
  }
  if (state.photoListEmpty)
    for (std::size_t i = kFirstEntryNeedingPhotos; i < bar.size(); ++i) bar[i].enabled = false;
  return bar;
}

std::vector<ToolBarEntry> ComposeModeBar(const ToolBarState& state) {
  std::vector<ToolBarEntry> bar;
  if (state.editingOriginal)
    bar.push_back(Button(state.hasTemplate ? kCmdShowTemplateMode : kCmdShowFirstMode, kIdsShowResult,
                         kIdsShowResultTip));
  else
    bar.push_back(Button(kCmdShowSecondMode, kIdsOriginalImage, kIdsOriginalImageTip));
  ToolBarEntry add = Button(kCmdAddToInput, kIdsAddToInput, kIdsAddToInputTip);
  add.enabled = state.canAddResult;
  bar.push_back(add);
  if (state.photoListEmpty)
    for (ToolBarEntry& entry : bar) entry.enabled = false;
  return bar;
}

}  // namespace grinsnap
