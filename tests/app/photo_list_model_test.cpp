#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/photo_list_model.h"
#include "core/process_engine.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

using Model = PhotoListModel;
using Action = Model::ClickOutcome::Action;
using Kind = Model::ReleaseOutcome::Kind;
using P = Model::Point;

constexpr int kStrip = 450;  // five cells visible

// A horizontal model in photo mode scrolled to offset.
Model At(int offset, bool vertical = false) {
  Model model;
  model.SetVertical(vertical);
  model.SetOffset(offset);
  return model;
}

TEST(PhotoListModel, ItemUnderAPoint) {
  struct Case {
    int along, offset, count, expected;
  } cases[] = {
      {0, 0, 3, 0},   {89, 0, 3, 0},   {90, 0, 3, 1},  {269, 0, 3, 2},  {270, 0, 3, -1},
      {0, 100, 3, 1}, {79, 100, 3, 1}, {80, 100, 3, 2}, {-1, 0, 3, -1}, {-30, 100, 3, 0},
      {-101, 100, 3, -1}, {10, 0, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "along " << c.along << " offset " << c.offset << " count " << c.count);
    EXPECT_EQ(At(c.offset).ItemAt(c.along, c.count), c.expected);
    // Along the strip is x for a horizontal strip and y for a vertical one.
    const Model horizontal = At(c.offset), vertical = At(c.offset, true);
    EXPECT_EQ(horizontal.ItemAt(horizontal.Along(P{c.along, 999}), c.count), c.expected);
    EXPECT_EQ(vertical.ItemAt(vertical.Along(P{999, c.along}), c.count), c.expected);
  }
}

TEST(PhotoListModel, HistoryShowsNewestFirst) {
  EXPECT_EQ(Model::HistoryEntryAt(0, 5), 4);
  EXPECT_EQ(Model::HistoryEntryAt(4, 5), 0);
  EXPECT_EQ(Model::HistoryEntryAt(2, 5), 2);
  EXPECT_EQ(Model::HistoryEntryAt(5, 5), -1);
  EXPECT_EQ(Model::HistoryEntryAt(-1, 5), -1);
  EXPECT_EQ(Model::HistoryEntryAt(0, 0), -1);
  for (int entry = 0; entry < 5; ++entry) EXPECT_EQ(Model::HistoryEntryAt(Model::HistoryPositionOf(entry, 5), 5), entry);
}

TEST(PhotoListModel, DropTargetIsTheNearestGap) {
  struct Case {
    int along, offset, count, expected;
  } cases[] = {
      {0, 0, 4, 0},   {44, 0, 4, 0},   {45, 0, 4, 1},  {134, 0, 4, 1}, {135, 0, 4, 2},
      {260, 30, 4, 3}, {284, 30, 4, 3}, {285, 30, 4, 4}, {400, 0, 4, 4}, {900, 0, 4, 4}, {-200, 0, 4, 0}, {10, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "along " << c.along << " offset " << c.offset);
    EXPECT_EQ(At(c.offset).DropTarget(c.along, c.count), c.expected);
  }
}

TEST(PhotoListModel, WheelScrollsTwentyPixelsAStepOnlyWhenTheContentIsLonger) {
  Model model;
  // Five photos fill a 450-pixel strip exactly: nothing to scroll.
  EXPECT_FALSE(model.Wheel(3, 5, kStrip));
  EXPECT_EQ(model.Offset(), 0);
  EXPECT_FALSE(model.Wheel(-3, 2, kStrip));
  EXPECT_EQ(model.Offset(), 0);

  // Eight photos: 720 pixels of content, at most 270 of offset.
  EXPECT_TRUE(model.Wheel(1, 8, kStrip));
  EXPECT_EQ(model.Offset(), 20);
  EXPECT_TRUE(model.Wheel(2, 8, kStrip));
  EXPECT_EQ(model.Offset(), 60);
  EXPECT_TRUE(model.Wheel(-1, 8, kStrip));
  EXPECT_EQ(model.Offset(), 40);
  EXPECT_TRUE(model.Wheel(100, 8, kStrip));
  EXPECT_EQ(model.Offset(), 270);
  EXPECT_FALSE(model.Wheel(1, 8, kStrip));
  EXPECT_TRUE(model.Wheel(-100, 8, kStrip));
  EXPECT_EQ(model.Offset(), 0);

  // Each mode keeps its own position.
  model.Wheel(2, 8, kStrip);
  model.SetMode(Model::kHistoryMode);
  EXPECT_EQ(model.Offset(), 0);
  model.Wheel(1, 8, kStrip);
  EXPECT_EQ(model.OffsetOf(Model::kHistoryMode), 20);
  EXPECT_EQ(model.OffsetOf(Model::kPhotoMode), 40);
}

TEST(PhotoListModel, ScrollBarDragMovesByContentOverStrip) {
  // Ten photos on a 300-pixel strip: content 900, three pixels of list per
  // pixel of bar, offset at most 600.
  Model model;
  model.Press(P{50, 95}, true, 10);
  EXPECT_EQ(model.DragState(), Model::kScrollDrag);
  EXPECT_EQ(model.Pressed(), -1);
  EXPECT_TRUE(model.MoveWithButton(P{60, 95}, 10, 300));
  EXPECT_EQ(model.Offset(), 30);
  // Movement across the strip does not scroll.
  EXPECT_FALSE(model.MoveWithButton(P{60, 40}, 10, 300));
  EXPECT_EQ(model.Offset(), 30);
  EXPECT_TRUE(model.MoveWithButton(P{53, 40}, 10, 300));
  EXPECT_EQ(model.Offset(), 9);
  model.MoveWithButton(P{-500, 40}, 10, 300);
  EXPECT_EQ(model.Offset(), 0);
  model.MoveWithButton(P{900, 40}, 10, 300);
  EXPECT_EQ(model.Offset(), 600);
  // Releasing ends the scroll and clicks nothing.
  const Model::ReleaseOutcome release = model.Release(P{100, 40}, true, false, 10, 0);
  EXPECT_EQ(release.kind, Kind::kNothing);
  EXPECT_EQ(model.DragState(), Model::kNoDrag);
  EXPECT_TRUE(model.Selection().empty());

  // A vertical strip scrolls with y.
  Model vertical = At(0, true);
  vertical.Press(P{95, 10}, true, 10);
  vertical.MoveWithButton(P{20, 14}, 10, 300);
  EXPECT_EQ(vertical.Offset(), 12);

  // The thumb spans strip * strip / content and travels with the offset.
  const Model::BarThumb thumb = vertical.ScrollBarThumb(10, 300);
  EXPECT_EQ(thumb.length, 100);
  EXPECT_EQ(thumb.start, 4);
  EXPECT_EQ(vertical.ScrollBarThumb(3, 300).length, 0);
}

TEST(PhotoListModel, PressRecordsTheGrabInsideTheCell) {
  Model model = At(40);
  model.Press(P{200, 30}, false, 5);
  // (200 + 40) / 90 = 2; the cell starts at 180 - 40 = 140.
  EXPECT_EQ(model.Pressed(), 2);
  EXPECT_EQ(model.Grab(), (P{200 - 140 - 17, 30 - 2}));

  Model vertical = At(40, true);
  vertical.Press(P{30, 200}, false, 5);
  EXPECT_EQ(vertical.Pressed(), 2);
  EXPECT_EQ(vertical.Grab(), (P{30 - 17, 200 - 140 - 2}));

  // Nothing is pressed on empty strip or in history mode.
  model.Press(P{600, 30}, false, 5);
  EXPECT_EQ(model.Pressed(), -1);
  Model history;
  history.SetMode(Model::kHistoryMode);
  history.Press(P{10, 10}, false, 5);
  EXPECT_EQ(history.Pressed(), -1);
}

TEST(PhotoListModel, FivePixelsOrLessIsStillAClick) {
  struct Case {
    int dx, dy;
    bool drags;
  } cases[] = {
      {0, 0, false}, {5, 0, false}, {-5, 5, false}, {3, -3, false},
      {6, 0, true},  {0, -6, true}, {-6, 2, true},  {40, 40, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "moved " << c.dx << ", " << c.dy);
    Model model;
    model.Press(P{100, 40}, false, 4);
    model.MoveWithButton(P{100 + c.dx, 40 + c.dy}, 4, kStrip);
    EXPECT_EQ(model.DragState(), c.drags ? Model::kPhotoDrag : Model::kNoDrag);
    if (c.drags) continue;
    const Model::ReleaseOutcome release = model.Release(P{100 + c.dx, 40 + c.dy}, true, false, 4, 0);
    EXPECT_EQ(release.kind, Kind::kPhotoClick);
    EXPECT_EQ(release.index, 1);
    EXPECT_EQ(release.click, (Model::ClickOutcome{Action::kSelectSingle, 1, true}));
  }

  // Once a drag, always a drag: coming back near the grab does not undo it,
  // and the drag never reads as a click.
  Model model;
  model.Press(P{100, 40}, false, 4);
  model.MoveWithButton(P{120, 40}, 4, kStrip);
  model.MoveWithButton(P{101, 40}, 4, kStrip);
  EXPECT_EQ(model.DragState(), Model::kPhotoDrag);
  EXPECT_EQ(model.Release(P{101, 40}, true, false, 4, 0).kind, Kind::kNothing);
  EXPECT_TRUE(model.Selection().empty());
}

TEST(PhotoListModel, ReleaseOutsideTheStripOrOnNoItemClicksNothing) {
  Model model;
  model.Press(P{10, 10}, false, 2);
  EXPECT_EQ(model.Release(P{10, 10}, false, false, 2, 0).kind, Kind::kNothing);
  model.Press(P{400, 10}, false, 2);
  EXPECT_EQ(model.Release(P{400, 10}, true, false, 2, 0).kind, Kind::kNothing);
  EXPECT_TRUE(model.Selection().empty());
  EXPECT_EQ(model.Pressed(), -1);
}

TEST(PhotoListModel, ClickRules) {
  struct Case {
    const char* name;
    std::vector<int> selection;
    int b;
    bool ctrl;
    Model::ClickOutcome expected;
    std::vector<int> after;
  } cases[] = {
      {"empty selection", {}, 2, false, {Action::kSelectSingle, 2, true}, {2}},
      {"empty selection with ctrl", {}, 2, true, {Action::kSelectSingle, 2, true}, {2}},
      {"ctrl adds", {0}, 2, true, {Action::kAddInput, 2, true}, {0, 2}},
      {"ctrl on a selected photo", {0, 2}, 2, true, {Action::kNothing, 2, false}, {0, 2}},
      {"ctrl on the only selected photo", {2}, 2, true, {Action::kNothing, 2, false}, {2}},
      {"click on the only selected photo", {2}, 2, false, {Action::kNothing, 2, false}, {2}},
      {"click on another photo", {0}, 2, false, {Action::kSelectSingle, 2, true}, {2}},
      {"click on one of several selected", {2, 0}, 2, false, {Action::kSelectSingle, 2, true}, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.SetSelection(c.selection);
    model.SetCurrentPhoto(c.selection.empty() ? -1 : c.selection.back());
    const int currentBefore = model.CurrentPhoto();
    EXPECT_EQ(model.ClickPhoto(c.b, c.ctrl), c.expected);
    EXPECT_EQ(model.Selection(), c.after);
    EXPECT_EQ(model.CurrentPhoto(), c.expected.action == Action::kNothing ? currentBefore : c.b);
  }
}

TEST(PhotoListModel, ChoosingAHistoryEntry) {
  Model model;
  model.SetMode(Model::kHistoryMode);
  model.Sync({}, 0, 4, 3);
  EXPECT_EQ(model.CurrentHistory(), 3);
  // Position 0 shows the newest entry, the current one: nothing to do.
  EXPECT_EQ(model.Release(P{10, 10}, true, false, 0, 4).kind, Kind::kNothing);
  // Position 3 shows the oldest.
  const Model::ReleaseOutcome oldest = model.Release(P{3 * 90 + 10, 10}, true, false, 0, 4);
  EXPECT_EQ(oldest.kind, Kind::kHistoryChosen);
  EXPECT_EQ(oldest.index, 0);
  EXPECT_EQ(model.CurrentHistory(), 0);
  EXPECT_EQ(model.Release(P{3 * 90 + 10, 10}, true, false, 0, 4).kind, Kind::kNothing);
  // Choosing clamps to the history.
  EXPECT_TRUE(model.ChooseHistory(9, 4));
  EXPECT_EQ(model.CurrentHistory(), 3);
  EXPECT_FALSE(model.ChooseHistory(1, 0));
}

TEST(PhotoListModel, RightReleaseRemembersTheItem) {
  Model model;
  EXPECT_TRUE(model.RightRelease(P{100, 10}, 3, 0));
  EXPECT_EQ(model.CurrentPhoto(), 1);
  EXPECT_TRUE(model.Selection().empty());
  EXPECT_FALSE(model.RightRelease(P{300, 10}, 3, 0));
  EXPECT_EQ(model.CurrentPhoto(), 1);

  model.SetMode(Model::kHistoryMode);
  EXPECT_TRUE(model.RightRelease(P{100, 10}, 0, 5));
  EXPECT_EQ(model.CurrentHistory(), 3);
  EXPECT_FALSE(model.RightRelease(P{500, 10}, 0, 5));
}

TEST(PhotoListModel, ScrollIntoView) {
  struct Case {
    int offset, position, expected;
  } cases[] = {
      {0, 2, 0},      // fully visible
      {0, 4, 0},      // the last whole cell: 360..450
      {0, 5, 90},     // ends after: 450 + 90 - 450
      {0, 7, 270},    // 630 - 450 + 90
      {200, 1, 90},   // starts before: cell start
      {200, 2, 180},
      {200, 3, 200},  // 270..360 inside 200..650
      {200, 7, 270},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " position " << c.position);
    Model model = At(c.offset);
    model.ScrollIntoView(c.position, kStrip);
    EXPECT_EQ(model.Offset(), c.expected);
  }
}

TEST(PhotoListModel, OffsetsClampToTheirContent) {
  Model model = At(500);
  model.SetMode(Model::kHistoryMode);
  model.SetOffset(300);
  model.ClampOffsets(8, 4, kStrip);
  EXPECT_EQ(model.OffsetOf(Model::kPhotoMode), 270);
  EXPECT_EQ(model.OffsetOf(Model::kHistoryMode), 0);
}

TEST(PhotoListModel, FollowMove) {
  struct Case {
    int index, from, to, expected;
  } cases[] = {
      {2, 2, 5, 4},  // forward: lands one before the gap
      {3, 2, 5, 2}, {4, 2, 5, 3}, {5, 2, 5, 5}, {1, 2, 5, 1},
      {4, 4, 1, 1},  // backward: lands at the gap
      {1, 4, 1, 2}, {3, 4, 1, 4}, {0, 4, 1, 0}, {5, 4, 1, 5},
      {2, 2, 3, 2},  // the gap right after: no move
      {3, 2, 2, 3}, {1, 1, 99, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " when " << c.from << " moves to " << c.to);
    EXPECT_EQ(Model::FollowMove(c.index, c.from, c.to, 6), c.expected);
  }
}

TEST(PhotoListModel, DropOnStripMovesAndTheSelectionFollows) {
  Model model;
  model.SetSelection({0, 2, 3});
  model.SetCurrentPhoto(2);
  model.Press(P{2 * 90 + 30, 30}, false, 6);
  model.MoveWithButton(P{300, 30}, 6, kStrip);
  ASSERT_EQ(model.DragState(), Model::kPhotoDrag);
  // Dropped at 460: gap (460 + 45) / 90 = 5.
  const auto move = model.DropOnStrip(2, 460, 6);
  ASSERT_TRUE(move);
  EXPECT_EQ(*move, (Model::MoveOutcome{2, 5}));
  EXPECT_EQ(model.Selection(), (std::vector<int>{0, 4, 2}));
  EXPECT_EQ(model.CurrentPhoto(), 4);
  EXPECT_EQ(model.DragState(), Model::kNoDrag);
  EXPECT_FALSE(model.DropOnStrip(6, 10, 6));
  EXPECT_FALSE(model.DropOnStrip(-1, 10, 6));
}

TEST(PhotoListModel, DeleteRules) {
  struct Case {
    const char* name;
    bool wholeSelection;  // "Delete Selection" instead of "Delete"
    std::vector<int> selection;
    int current, count;
    std::vector<int> removeOrder;
    bool selectPhotoZero;
    std::vector<int> selectionAfter;
    int currentAfter;
  } cases[] = {
      {"the only selected photo, others left: photo 0 becomes the input", false, {2}, 2, 4, {2}, true, {0}, 0},
      {"an unselected photo: the selection shifts down behind it", false, {3, 0}, 1, 4, {1}, false, {2, 0}, 1},
      {"the last photo: nothing is left to select", false, {0}, 0, 1, {0}, false, {}, -1},
      {"the selection, last selected first, each index valid when used", true, {3, 1, 4}, 4, 6, {4, 1, 2}, true,
       {0}, 0},
      {"an empty selection still leaves photo 0 chosen", true, {}, 1, 3, {}, true, {0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.SetSelection(c.selection);
    model.SetCurrentPhoto(c.current);
    const Model::DeleteOutcome outcome = c.wholeSelection ? model.DeleteSelection(c.count) : model.DeleteCurrent(c.count);
    EXPECT_EQ(outcome.removeOrder, c.removeOrder);
    EXPECT_EQ(outcome.selectPhotoZero, c.selectPhotoZero);
    EXPECT_EQ(model.Selection(), c.selectionAfter);
    EXPECT_EQ(model.CurrentPhoto(), c.currentAfter);
  }

  Model model = At(300);
  model.SetSelection({1, 2});
  model.SetCurrentPhoto(2);
  model.DeleteAll();
  EXPECT_TRUE(model.Selection().empty());
  EXPECT_EQ(model.CurrentPhoto(), -1);
  EXPECT_EQ(model.Offset(), 0);
}

TEST(PhotoListModel, HistoryDeleteClampsAndInsertShifts) {
  Model model;
  model.SetCurrentHistory(4);
  model.HistoryEntryDeleted(4);
  EXPECT_EQ(model.CurrentHistory(), 3);
  model.HistoryEntryDeleted(6);
  EXPECT_EQ(model.CurrentHistory(), 3);
  model.HistoryEntryDeleted(0);
  EXPECT_EQ(model.CurrentHistory(), -1);

  model.SetSelection({0, 2});
  model.SetCurrentPhoto(2);
  model.PhotoInserted(0);
  EXPECT_EQ(model.Selection(), (std::vector<int>{1, 3}));
  EXPECT_EQ(model.CurrentPhoto(), 3);
}

TEST(PhotoListModel, SyncKeepsValidDistinctInputs) {
  Model model;
  model.SetCurrentPhoto(7);
  model.Sync({3, 1, 3, 9, -1, 0}, 4, 2, 5);
  EXPECT_EQ(model.Selection(), (std::vector<int>{3, 1, 0}));
  EXPECT_EQ(model.CurrentPhoto(), 3);
  EXPECT_EQ(model.CurrentHistory(), 1);
  model.Sync({}, 0, 0, -1);
  EXPECT_EQ(model.CurrentPhoto(), -1);
  EXPECT_EQ(model.CurrentHistory(), -1);
}

// The list's selection must name the same photos as the engine's inputs
// after every move and removal.
class PhotoListModelEngine : public testing::Test {
protected:
  void Fill(CProcessEngine& engine, int count) {
    const auto folder = test::FreshFolder("photo_list_model");
    for (int i = 0; i < count; ++i) {
      const auto path = folder / ("p" + std::to_string(i) + ".png");
      cv::imwrite(path.string(), test::Flat(4, 3, cv::Vec3b(0, 0, static_cast<uchar>(i * 20))));
      engine.InsertPhoto(-1, PhotoItem(path));
    }
  }
};

TEST_F(PhotoListModelEngine, SelectionFollowsMovesLikeTheInputs) {
  constexpr int kCount = 5;
  for (int from = 0; from < kCount; ++from) {
    for (int to = 0; to <= kCount; ++to) {
      SCOPED_TRACE(testing::Message() << from << " to " << to);
      CProcessEngine engine;
      Fill(engine, kCount);
      Model model;
      model.SetSelection({4, 0, 2});
      model.SetCurrentPhoto(2);
      for (int index : model.Selection()) engine.AddInput(index);
      engine.SetCurrentPhoto(2);
      // A drop at the gap's own coordinate.
      model.Press(P{from * 90 + 30, 30}, false, kCount);
      ASSERT_TRUE(model.DropOnStrip(from, to * 90, kCount));
      engine.MovePhoto(from, to);
      EXPECT_EQ(model.Selection(), engine.InputPhotoIndices());
      EXPECT_EQ(model.CurrentPhoto(), engine.CurrentPhoto());
    }
  }
}

TEST_F(PhotoListModelEngine, DeleteSelectionRemovesTheSelectedPhotos) {
  CProcessEngine engine;
  Fill(engine, 6);
  Model model;
  for (int index : {3, 1, 4}) {
    engine.AddInput(index);
  }
  model.SetSelection({3, 1, 4});
  const Model::DeleteOutcome outcome = model.DeleteSelection(engine.GetPhotoCount());
  for (int index : outcome.removeOrder) engine.RemovePhoto(index);
  ASSERT_EQ(engine.GetPhotoCount(), 3);
  EXPECT_EQ(engine.GetInputCount(), 0);
  std::vector<std::string> left;
  for (int i = 0; i < engine.GetPhotoCount(); ++i) left.push_back(engine.GetPhoto(i).path.stem().string());
  EXPECT_EQ(left, (std::vector<std::string>{"p0", "p2", "p5"}));
}

}  // namespace
}  // namespace grinsnap
