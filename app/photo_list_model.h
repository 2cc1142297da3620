#pragma once

#include <optional>
#include <vector>

namespace grinsnap {

// Context-menu commands of the photo strip.
inline constexpr int kCmdDeletePhoto = 32779;
inline constexpr int kCmdDeleteSelection = 32796;
inline constexpr int kCmdDeleteAllPhotos = 32789;
inline constexpr int kCmdHistoryAddToInput = 32782;
inline constexpr int kCmdHistoryDelete = 32783;

// The state and rules of the photo strip, without any drawing: which item
// lies under a point, scrolling, the press / move / release sequence, what a
// click does to the template's inputs, how the selection follows moves and
// removals. The widget owns one, feeds it the engine's counts and carries out
// the engine calls the model asks for.
//
// Items are laid out one after the other, kCellLength pixels each, along the
// strip (x for a horizontal strip, y for a vertical one). "count" arguments
// are the number of items of the current mode (photos or history entries);
// "stripLength" is the visible length of the strip in pixels.
class PhotoListModel {
public:
  static constexpr int kCellLength = 90;
  static constexpr int kWheelStep = 20;
  // A pressed photo becomes a drag once the pointer left this many pixels.
  static constexpr int kDragThreshold = 5;
  // Where the thumbnail starts inside its cell; the grab point is taken
  // relative to it.
  static constexpr int kGrabOriginX = 17;
  static constexpr int kGrabOriginY = 2;

  enum Mode : int { kPhotoMode = 0, kHistoryMode = 1 };
  enum DragState : int { kNoDrag = 0, kScrollDrag = 1, kPhotoDrag = 2 };

  struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
  };

  // What a click on photo b asks the widget to do with the engine.
  struct ClickOutcome {
    enum class Action { kNothing, kSelectSingle, kAddInput };
    Action action = Action::kNothing;
    int photo = -1;
    bool runTemplate = false;
    bool operator==(const ClickOutcome&) const = default;
  };

  // What a button release asks for.
  struct ReleaseOutcome {
    enum class Kind { kNothing, kPhotoClick, kHistoryChosen };
    Kind kind = Kind::kNothing;
    // The clicked photo, or the chosen history entry (already clamped).
    int index = -1;
    ClickOutcome click;
  };

  // A photo dropped on the strip: MovePhoto(from, to).
  struct MoveOutcome {
    int from = -1;
    int to = -1;
    bool operator==(const MoveOutcome&) const = default;
  };

  // The engine calls a deletion needs: RemovePhoto for each index in order
  // (each index is valid after the removals before it), then, when
  // selectPhotoZero is set, SelectSingleInput(0).
  struct DeleteOutcome {
    std::vector<int> removeOrder;
    bool selectPhotoZero = false;
  };

  // The scroll bar's thumb along the strip.
  struct BarThumb {
    int start = 0;
    int length = 0;
  };

  // ---- State ----
  int Mode() const { return mode_; }
  // Switching mode keeps each mode's own scroll position; hover and press end.
  void SetMode(int mode);
  bool Vertical() const { return vertical_; }
  void SetVertical(bool vertical) { vertical_ = vertical; }
  // Scroll position of the current mode.
  int Offset() const { return mode_ == kHistoryMode ? historyOffset_ : photoOffset_; }
  int OffsetOf(int mode) const { return mode == kHistoryMode ? historyOffset_ : photoOffset_; }
  void SetOffset(int offset) { (mode_ == kHistoryMode ? historyOffset_ : photoOffset_) = offset; }
  int CurrentPhoto() const { return currentPhoto_; }
  void SetCurrentPhoto(int index) { currentPhoto_ = index; }
  int CurrentHistory() const { return currentHistory_; }
  void SetCurrentHistory(int entry) { currentHistory_ = entry; }
  const std::vector<int>& Selection() const { return selection_; }
  void SetSelection(std::vector<int> selection) { selection_ = std::move(selection); }
  bool IsSelected(int photo) const;
  int Hover() const { return hover_; }
  int Pressed() const { return pressed_; }
  Point Grab() const { return grab_; }
  int DragState() const { return dragState_; }

  // ---- Geometry ----
  // The coordinate of a point along the strip.
  int Along(Point p) const { return vertical_ ? p.y : p.x; }
  // Shown position of the item under a coordinate along the strip, -1 when
  // there is none (before the first or after the last item).
  int ItemAt(int along, int count) const;
  // History entry shown at a position: newest first.
  static int HistoryEntryAt(int position, int historyCount);
  // Shown position of a history entry (the same mapping, it is its own inverse).
  static int HistoryPositionOf(int entry, int historyCount) { return HistoryEntryAt(entry, historyCount); }
  // The gap (0..count) a dragged photo would be dropped into.
  int DropTarget(int along, int count) const;
  // Start of an item's cell along the strip, in widget coordinates.
  int CellStart(int position) const { return position * kCellLength - Offset(); }
  // Top-left corner of an item's cell in widget coordinates.
  Point CellOrigin(int position) const;
  static int ContentLength(int count) { return count * kCellLength; }
  static int MaxOffset(int count, int stripLength);
  // Whether the content is longer than the strip (only then it scrolls).
  static bool Scrolls(int count, int stripLength) { return ContentLength(count) > stripLength; }
  // The thumb of the scroll bar for the current offset; length 0 when the
  // content fits.
  BarThumb ScrollBarThumb(int count, int stripLength) const;

  // ---- Scrolling ----
  // Steps towards the user (positive) scroll forward by 20 pixels each, steps
  // away scroll back; nothing happens when the content fits. True when the
  // offset changed.
  bool Wheel(int stepsTowardUser, int count, int stripLength);
  // Brings the item at a shown position fully into view.
  void ScrollIntoView(int position, int stripLength);
  // Keeps both modes' offsets inside their content.
  void ClampOffsets(int photoCount, int historyCount, int stripLength);

  // ---- Mouse ----
  // Left button down. On the scroll bar a scroll drag starts; otherwise, in
  // photo mode, the photo under the point is pressed and the grab recorded.
  void Press(Point p, bool onScrollBar, int count);
  // Pointer moved with the left button down. True when the widget must
  // repaint (the strip scrolled); when the press turned into a photo drag
  // DragState() becomes kPhotoDrag and the widget starts the drag.
  bool MoveWithButton(Point p, int count, int stripLength);
  // Pointer moved without a button: hover follows it. True when it changed.
  bool MoveWithoutButton(Point p, int count);
  // The pointer left the strip.
  void Leave() { hover_ = -1; }
  // Left button up at p (no photo drag: that one ends in a drop). A release
  // inside the strip applies the click rules in photo mode and the history
  // choice in history mode; the press and any scroll drag end.
  ReleaseOutcome Release(Point p, bool insideStrip, bool ctrl, int photoCount, int historyCount);
  // A photo drag ended without a drop on the strip.
  void EndDrag();
  // Photo `from` dropped on the strip at a coordinate along it. The selection
  // and the current photo follow the move; the drag ends. Nothing for a bad
  // photo index.
  std::optional<MoveOutcome> DropOnStrip(int from, int along, int count);
  // Right button up: the item under the point becomes the remembered one
  // (currentPhoto or currentHistory). True when a context menu should open.
  bool RightRelease(Point p, int photoCount, int historyCount);

  // ---- Selection rules ----
  // A click on photo b (ctrl: the Ctrl key was held).
  ClickOutcome ClickPhoto(int b, bool ctrl);
  // A history entry clicked: true when it differs from the current entry and
  // the engine must go to it (currentHistory is then the clamped entry).
  bool ChooseHistory(int entry, int historyCount);
  // Where an index ends up when photo `from` moves to gap `to` of a list of
  // `count` photos (a forward move lands one before the gap).
  static int FollowMove(int index, int from, int to, int count);

  // ---- Deleting and inserting ----
  DeleteOutcome DeleteCurrent(int photoCount);
  // Removes every selected photo, the last selected first.
  DeleteOutcome DeleteSelection(int photoCount);
  void DeleteAll();
  // The history entry currentHistory was removed; the history now has newCount entries.
  void HistoryEntryDeleted(int newCount);
  // A photo was inserted at index: later indices move up by one.
  void PhotoInserted(int index);
  // Takes the engine's input indices as the selection (valid, distinct ones
  // in their order) and its history position as the current entry, and
  // clamps the current photo.
  void Sync(const std::vector<int>& inputIndices, int photoCount, int historyCount, int historyPos);

private:
  void PhotoRemoved(int index, int newCount);
  DeleteOutcome FinishDelete(DeleteOutcome outcome, int photoCount);
  // The grab-relative position of a point for the pressed cell.
  Point GrabPoint(Point p) const;

  int mode_ = kPhotoMode;
  bool vertical_ = false;
  int photoOffset_ = 0;
  int historyOffset_ = 0;
  int currentPhoto_ = -1;
  int currentHistory_ = -1;
  std::vector<int> selection_;
  int hover_ = -1;
  int pressed_ = -1;
  Point grab_;
  Point lastScroll_;
  int dragState_ = kNoDrag;
};

}  // namespace grinsnap
