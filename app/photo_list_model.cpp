#include "app/photo_list_model.h"

#include <algorithm>
#include <cstdlib>

namespace grinsnap {

void PhotoListModel::SetMode(int mode) {
  mode_ = mode == kHistoryMode ? kHistoryMode : kPhotoMode;
  hover_ = -1;
  pressed_ = -1;
  dragState_ = kNoDrag;
}

bool PhotoListModel::IsSelected(int photo) const {
  return std::find(selection_.begin(), selection_.end(), photo) != selection_.end();
}

// ---- Geometry ----

int PhotoListModel::ItemAt(int along, int count) const {
  const int position = along + Offset();
  // Integer division truncates towards zero, so a point just before the strip
  // would otherwise land on the first item.
  if (position < 0) return -1;
  const int index = position / kCellLength;
  return index < count ? index : -1;
}

int PhotoListModel::HistoryEntryAt(int position, int historyCount) {
  if (position < 0 || position >= historyCount) return -1;
  return historyCount - position - 1;
}

int PhotoListModel::DropTarget(int along, int count) const {
  // Half a cell of slack: the drop goes into the gap nearest the pointer.
  const int position = along + Offset() + kCellLength / 2;
  if (position < 0) return 0;
  return std::min(position / kCellLength, std::max(count, 0));
}

PhotoListModel::Point PhotoListModel::CellOrigin(int position) const {
  const int start = CellStart(position);
  return vertical_ ? Point{0, start} : Point{start, 0};
}

int PhotoListModel::MaxOffset(int count, int stripLength) {
  return std::max(0, ContentLength(count) - stripLength);
}

PhotoListModel::BarThumb PhotoListModel::ScrollBarThumb(int count, int stripLength) const {
  if (stripLength <= 0 || !Scrolls(count, stripLength)) return {};
  const int content = ContentLength(count);
  // Long lists would make the thumb too small to hit; it keeps a minimum
  // length and then travels over what remains of the bar.
  constexpr int kMinThumb = 12;
  const int length = std::min(stripLength, std::max(kMinThumb, stripLength * stripLength / content));
  const int travel = stripLength - length;
  const int maxOffset = MaxOffset(count, stripLength);
  const int offset = std::clamp(Offset(), 0, maxOffset);
  return {static_cast<int>(static_cast<long long>(offset) * travel / maxOffset), length};
}

// ---- Scrolling ----

bool PhotoListModel::Wheel(int stepsTowardUser, int count, int stripLength) {
  if (!Scrolls(count, stripLength)) return false;
  const int before = Offset();
  SetOffset(std::clamp(before + stepsTowardUser * kWheelStep, 0, MaxOffset(count, stripLength)));
  return Offset() != before;
}

void PhotoListModel::ScrollIntoView(int position, int stripLength) {
  if (position < 0) return;
  const int start = position * kCellLength;
  if (start < Offset())
    SetOffset(start);
  else if (start + kCellLength > Offset() + stripLength)
    SetOffset(start - stripLength + kCellLength);
}

void PhotoListModel::ClampOffsets(int photoCount, int historyCount, int stripLength) {
  photoOffset_ = std::clamp(photoOffset_, 0, MaxOffset(photoCount, stripLength));
  historyOffset_ = std::clamp(historyOffset_, 0, MaxOffset(historyCount, stripLength));
}

// ---- Mouse ----

PhotoListModel::Point PhotoListModel::GrabPoint(Point p) const {
  const Point cell = CellOrigin(pressed_);
  return {p.x - cell.x - kGrabOriginX, p.y - cell.y - kGrabOriginY};
}

void PhotoListModel::Press(Point p, bool onScrollBar, int count) {
  pressed_ = -1;
  dragState_ = kNoDrag;
  if (onScrollBar) {
    dragState_ = kScrollDrag;
    lastScroll_ = p;
    return;
  }
  if (mode_ != kPhotoMode) return;
  pressed_ = ItemAt(Along(p), count);
  if (pressed_ >= 0) grab_ = GrabPoint(p);
}

bool PhotoListModel::MoveWithButton(Point p, int count, int stripLength) {
  if (dragState_ == kScrollDrag) {
    const int movement = Along(p) - Along(lastScroll_);
    lastScroll_ = p;
    if (stripLength <= 0 || movement == 0) return false;
    // The bar stands for the whole content: one pixel on it is
    // content / strip pixels of the list.
    const long long step = static_cast<long long>(movement) * ContentLength(count) / stripLength;
    const int before = Offset();
    SetOffset(static_cast<int>(std::clamp<long long>(before + step, 0, MaxOffset(count, stripLength))));
    return Offset() != before;
  }
  if (dragState_ == kNoDrag && pressed_ >= 0 && mode_ == kPhotoMode) {
    const Point now = GrabPoint(p);
    if (std::abs(now.x - grab_.x) > kDragThreshold || std::abs(now.y - grab_.y) > kDragThreshold)
      dragState_ = kPhotoDrag;
  }
  return false;
}

bool PhotoListModel::MoveWithoutButton(Point p, int count) {
  const int before = hover_;
  hover_ = ItemAt(Along(p), count);
  return hover_ != before;
}

PhotoListModel::ReleaseOutcome PhotoListModel::Release(Point p, bool insideStrip, bool ctrl, int photoCount,
                                                       int historyCount) {
  const int state = dragState_;
  dragState_ = kNoDrag;
  pressed_ = -1;
  ReleaseOutcome outcome;
  if (state != kNoDrag || !insideStrip) return outcome;
  if (mode_ == kPhotoMode) {
    const int b = ItemAt(Along(p), photoCount);
    if (b < 0) return outcome;
    outcome.kind = ReleaseOutcome::Kind::kPhotoClick;
    outcome.index = b;
    outcome.click = ClickPhoto(b, ctrl);
    return outcome;
  }
  const int entry = HistoryEntryAt(ItemAt(Along(p), historyCount), historyCount);
  if (entry >= 0 && ChooseHistory(entry, historyCount)) {
    outcome.kind = ReleaseOutcome::Kind::kHistoryChosen;
    outcome.index = currentHistory_;
  }
  return outcome;
}

void PhotoListModel::EndDrag() {
  dragState_ = kNoDrag;
  pressed_ = -1;
}

std::optional<PhotoListModel::MoveOutcome> PhotoListModel::DropOnStrip(int from, int along, int count) {
  EndDrag();
  if (mode_ != kPhotoMode || from < 0 || from >= count) return std::nullopt;
  const int to = DropTarget(along, count);
  for (int& index : selection_) index = FollowMove(index, from, to, count);
  if (currentPhoto_ >= 0) currentPhoto_ = FollowMove(currentPhoto_, from, to, count);
  return MoveOutcome{from, to};
}

bool PhotoListModel::RightRelease(Point p, int photoCount, int historyCount) {
  if (mode_ == kPhotoMode) {
    const int item = ItemAt(Along(p), photoCount);
    if (item < 0) return false;
    currentPhoto_ = item;
    return true;
  }
  const int entry = HistoryEntryAt(ItemAt(Along(p), historyCount), historyCount);
  if (entry < 0) return false;
  currentHistory_ = entry;
  return true;
}

// ---- Selection rules ----

PhotoListModel::ClickOutcome PhotoListModel::ClickPhoto(int b, bool ctrl) {
  using Action = ClickOutcome::Action;
  if (!selection_.empty()) {
    if (ctrl) {
      if (IsSelected(b)) return {Action::kNothing, b, false};
      selection_.push_back(b);
      currentPhoto_ = b;
      return {Action::kAddInput, b, true};
    }
    if (selection_.size() == 1 && selection_.front() == b) return {Action::kNothing, b, false};
  }
  selection_.assign(1, b);
  currentPhoto_ = b;
  return {Action::kSelectSingle, b, true};
}

bool PhotoListModel::ChooseHistory(int entry, int historyCount) {
  if (entry == currentHistory_ || historyCount <= 0) return false;
  currentHistory_ = std::clamp(entry, 0, historyCount - 1);
  return true;
}

int PhotoListModel::FollowMove(int index, int from, int to, int count) {
  to = std::clamp(to, 0, count);
  const int dest = to > from ? to - 1 : to;
  if (index == from) return dest;
  if (from < dest && index > from && index <= dest) return index - 1;
  if (dest < from && index >= dest && index < from) return index + 1;
  return index;
}

// ---- Deleting and inserting ----

void PhotoListModel::PhotoRemoved(int index, int newCount) {
  selection_.erase(std::remove(selection_.begin(), selection_.end(), index), selection_.end());
  for (int& selected : selection_)
    if (selected > index) --selected;
  currentPhoto_ = std::min(currentPhoto_, newCount - 1);
  if (hover_ >= newCount) hover_ = -1;
}

PhotoListModel::DeleteOutcome PhotoListModel::FinishDelete(DeleteOutcome outcome, int photoCount) {
  if (selection_.empty() && photoCount > 0) {
    selection_.assign(1, 0);
    currentPhoto_ = 0;
    outcome.selectPhotoZero = true;
  }
  return outcome;
}

PhotoListModel::DeleteOutcome PhotoListModel::DeleteCurrent(int photoCount) {
  DeleteOutcome outcome;
  if (currentPhoto_ >= 0 && currentPhoto_ < photoCount) {
    outcome.removeOrder.push_back(currentPhoto_);
    PhotoRemoved(currentPhoto_, --photoCount);
  }
  return FinishDelete(std::move(outcome), photoCount);
}

PhotoListModel::DeleteOutcome PhotoListModel::DeleteSelection(int photoCount) {
  DeleteOutcome outcome;
  while (!selection_.empty()) {
    const int photo = selection_.back();
    selection_.pop_back();
    if (photo < 0 || photo >= photoCount) continue;
    outcome.removeOrder.push_back(photo);
    // The photos selected earlier shift down behind the removed one.
    PhotoRemoved(photo, --photoCount);
  }
  return FinishDelete(std::move(outcome), photoCount);
}

void PhotoListModel::DeleteAll() {
  selection_.clear();
  currentPhoto_ = -1;
  photoOffset_ = 0;
  hover_ = -1;
  pressed_ = -1;
}

void PhotoListModel::HistoryEntryDeleted(int newCount) { currentHistory_ = std::min(currentHistory_, newCount - 1); }

void PhotoListModel::PhotoInserted(int index) {
  for (int& selected : selection_)
    if (selected >= index) ++selected;
  if (currentPhoto_ >= index) ++currentPhoto_;
}

void PhotoListModel::Sync(const std::vector<int>& inputIndices, int photoCount, int historyCount, int historyPos) {
  selection_.clear();
  for (int index : inputIndices)
    if (index >= 0 && index < photoCount && !IsSelected(index)) selection_.push_back(index);
  currentPhoto_ = std::min(currentPhoto_, photoCount - 1);
  currentHistory_ = std::clamp(historyPos, -1, historyCount - 1);
  const int count = mode_ == kHistoryMode ? historyCount : photoCount;
  if (hover_ >= count) hover_ = -1;
  if (pressed_ >= photoCount) EndDrag();
}

}  // namespace grinsnap
