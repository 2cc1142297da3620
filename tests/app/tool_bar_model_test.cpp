#include <gtest/gtest.h>

#include "app/string_table.h"
#include "app/tool_bar_model.h"

namespace grinsnap {
namespace {

std::vector<int> Captions(const std::vector<ToolBarEntry>& bar) {
  std::vector<int> ids;
  for (const ToolBarEntry& entry : bar) ids.push_back(entry.separator ? -1 : entry.captionId);
  return ids;
}

ToolBarState State(bool editingOriginal, bool hasPane, bool paneShown) {
  ToolBarState state;
  state.editingOriginal = editingOriginal;
  state.templateHasPane = hasPane;
  state.paneShown = paneShown;
  return state;
}

TEST(ToolBar, ComposesByModeAndPane) {
  const std::vector<int> common = {kIdsAddImage, kIdsEdit, kIdsExport, -1, kIdsZoomIn, kIdsZoomOut};
  struct Case {
    ToolBarState state;
    std::vector<int> tail;
  } cases[] = {
      {State(false, false, false), {}},
      {State(false, true, false), {kIdsShowControlPanel}},
      {State(false, true, true), {kIdsHideControlPanel}},
      {State(true, true, false), {kIdsRotateLeft, kIdsRotateRight}},
  };
  for (const Case& c : cases) {
    std::vector<int> expected = common;
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(Captions(ComposeToolBar(c.state)), expected);
  }
  const auto bar = ComposeToolBar(State(false, true, true));
  EXPECT_EQ(bar.back().tooltipId, kIdsHideControlPanelTip);
  EXPECT_EQ(bar.back().command, kCmdToggleControlPanel);
  // The tooltips of the fixed buttons, in order.
  const auto rotate = ComposeToolBar(State(true, false, false));
  std::vector<int> tips;
  for (const ToolBarEntry& e : rotate)
    if (!e.separator) tips.push_back(e.tooltipId);
  EXPECT_EQ(tips, (std::vector<int>{161, 175, 108, 130, 131, 165, 166}));
}

TEST(ToolBar, TemplateButtonsComeLastAndAnEmptyListDisablesFromTheFifthEntry) {
  ToolBarState state;
  state.photoListEmpty = true;
  state.templateButtons.push_back({.command = 1, .captionId = kIdsSearchFace, .tooltipId = kIdsSearchFaceTip});
  const auto bar = ComposeToolBar(state);
  ASSERT_EQ(bar.size(), 7u);
  EXPECT_EQ(bar.back().captionId, kIdsSearchFace);
  for (std::size_t i = 0; i < bar.size(); ++i) EXPECT_EQ(bar[i].enabled, i < 4) << i;
  state.photoListEmpty = false;
  for (const ToolBarEntry& entry : ComposeToolBar(state)) EXPECT_TRUE(entry.enabled);
}

TEST(ToolBar, TheModeBarSwitchesTheViewAndAddsTheResult) {
  ToolBarState state;
  state.hasTemplate = true;
  auto bar = ComposeModeBar(state);
  ASSERT_EQ(bar.size(), 2u);
  EXPECT_EQ(bar[0].command, kCmdShowSecondMode);
  EXPECT_EQ(bar[1].command, kCmdAddToInput);
  EXPECT_EQ(bar[1].captionId, kIdsAddToInput);
  EXPECT_EQ(bar[1].tooltipId, kIdsAddToInputTip);
  EXPECT_FALSE(bar[1].enabled) << "no result to add";
  state.canAddResult = true;
  EXPECT_TRUE(ComposeModeBar(state)[1].enabled);
  state.editingOriginal = true;
  EXPECT_EQ(ComposeModeBar(state)[0].command, kCmdShowTemplateMode);
  state.hasTemplate = false;
  EXPECT_EQ(ComposeModeBar(state)[0].command, kCmdShowFirstMode);
  state.photoListEmpty = true;
  for (const ToolBarEntry& entry : ComposeModeBar(state)) EXPECT_FALSE(entry.enabled);
}

}  // namespace
}  // namespace grinsnap
