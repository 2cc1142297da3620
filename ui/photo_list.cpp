#include "ui/photo_list.h"

#include <algorithm>
#include <memory>
#include <string>

#include <QAction>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QWheelEvent>

#include <opencv2/imgproc.hpp>

#include "app/language.h"
#include "app/photo_list_model.h"
#include "core/process_engine.h"
#include "platform/messages.h"
#include "ui/app_context.h"
#include "ui/palette.h"
#include "ui/qt_image.h"
#include "ui/qt_message_target.h"

namespace grinsnap {

namespace {

// Thumbnails are made (and drawn) at most this size, inside the 90-pixel cells.
constexpr int kThumbBox = kPhotoThumbnailBox;
// Room across the strip for the thin scroll bar, which runs along its far edge.
constexpr int kBarArea = 8;
constexpr int kBarThickness = 4;
constexpr int kTileInset = 2;
constexpr int kWheelDelta = 120;  // one notch of a wheel in Qt's eighths of a degree

const QColor kFrame(0xb4, 0xb4, 0xb4);
const QColor kHoverFill(0xe2, 0xe8, 0xf0);
const QColor kHoverFrame(0xb8, 0xc6, 0xd8);
const QColor kPlaceholder(0xdc, 0xdc, 0xdc);
const QColor kBarTrack(0xe0, 0xe0, 0xe0);
const QColor kBarThumb(0xa8, 0xa8, 0xa8);

QPixmap ToPixmap(const cv::Mat& picture) { return QPixmap::fromImage(ToQImage(picture)); }

PhotoListModel::Point ToModel(const QPoint& p) { return {p.x(), p.y()}; }
PhotoListModel::Point ToModel(const QPointF& p) { return ToModel(p.toPoint()); }

// The language layer's view of one context menu: command items take their
// text from the language file by command id.
class QMenuTextTarget final : public MenuTextTarget {
public:
  explicit QMenuTextTarget(QMenu& menu) : menu_(menu) {}
  int ItemCount() const override { return static_cast<int>(menu_.actions().size()); }
  ItemKind Kind(int position) const override {
    const QAction* action = menu_.actions().at(position);
    if (action->isSeparator()) return ItemKind::Separator;
    return action->menu() ? ItemKind::SubMenu : ItemKind::Command;
  }
  int CommandId(int position) const override { return menu_.actions().at(position)->data().toInt(); }
  void SetItemText(int position, const std::string& text) override {
    menu_.actions().at(position)->setText(QString::fromStdString(text));
  }
  MenuTextTarget* SubMenu(int) override { return nullptr; }

private:
  QMenu& menu_;
};

}  // namespace

struct PhotoList::Impl {
  // One photo's drawn thumbnail. Stale entries are fetched again from the
  // engine when they are next drawn, so a repaint request of the thumbnail
  // thread costs one copy per visible photo, not one per photo.
  struct PhotoThumb {
    QPixmap pixmap;
    bool stale = true;
  };
  // One history entry's drawn thumbnail. Holding the entry's header keeps its
  // pixels alive, so an address is never mistaken for a newer entry's.
  struct HistoryThumb {
    cv::Mat entry;
    QPixmap pixmap;
  };

  Impl(PhotoList& owner, CProcessEngine& eng)
      : self(owner),
        engine(eng),
        target([this](std::uint32_t message, WParam, LParam) -> LParam {
          if (message == kMsgRepaint) {
            MarkPhotoThumbsStale();
            self.update();
          }
          return 0;
        }),
        photoMenu(&owner),
        historyMenu(&owner) {}

  PhotoList& self;
  CProcessEngine& engine;
  PhotoListModel model;
  QtMessageTarget target;
  QPointer<QWidget> preview;
  QMenu photoMenu;
  QMenu historyMenu;
  std::vector<PhotoThumb> photoThumbs;
  std::vector<HistoryThumb> historyThumbs;
  int wheelRemainder = 0;
  // The gap a photo dragged over the strip would drop into; -1 none.
  int dropGap = -1;

  // ---- Counts and geometry ----
  int PhotoCount() const { return engine.GetPhotoCount(); }
  // A history run on the worker changes the history; while the engine is
  // busy the list goes on with the entries it saw last.
  int HistoryCount() {
    if (!engine.IsBusy()) SyncHistoryThumbs();
    return static_cast<int>(historyThumbs.size());
  }
  int ItemCount() { return model.Mode() == PhotoListModel::kHistoryMode ? HistoryCount() : PhotoCount(); }
  int StripLength() const { return model.Vertical() ? self.height() : self.width(); }
  int CrossLength() const { return std::max(0, (model.Vertical() ? self.width() : self.height()) - kBarArea); }

  QRect CellRect(int position) const {
    const int start = model.CellStart(position);
    return model.Vertical() ? QRect(0, start, CrossLength(), PhotoListModel::kCellLength)
                            : QRect(start, 0, PhotoListModel::kCellLength, CrossLength());
  }
  QRect BarRect() const {
    return model.Vertical() ? QRect(self.width() - kBarArea, 0, kBarArea, self.height())
                            : QRect(0, self.height() - kBarArea, self.width(), kBarArea);
  }
  bool OnScrollBar(const QPoint& p) {
    return PhotoListModel::Scrolls(ItemCount(), StripLength()) && BarRect().contains(p);
  }
  // Where a thumbnail of this size sits in its cell: centred.
  QRect ThumbRect(int position, QSize size) const {
    const QRect cell = CellRect(position);
    return QRect(cell.center().x() - size.width() / 2 + 1, cell.center().y() - size.height() / 2 + 1, size.width(),
                 size.height());
  }

  // ---- Thumbnails ----
  void MarkPhotoThumbsStale() {
    for (PhotoThumb& thumb : photoThumbs) thumb.stale = true;
  }
  const QPixmap& PhotoPixmap(int index) {
    if (index >= static_cast<int>(photoThumbs.size())) photoThumbs.resize(static_cast<std::size_t>(index) + 1);
    PhotoThumb& thumb = photoThumbs[static_cast<std::size_t>(index)];
    if (thumb.stale) {
      thumb.pixmap = ToPixmap(engine.GetPhoto(index).thumbnail);
      thumb.stale = false;
    }
    return thumb.pixmap;
  }
  // Call only while the engine is not busy.
  void SyncHistoryThumbs() {
    const int count = engine.HistoryCount();
    bool same = count == static_cast<int>(historyThumbs.size());
    for (int k = 0; same && k < count; ++k)
      same = historyThumbs[static_cast<std::size_t>(k)].entry.data == engine.HistoryEntry(k).data;
    if (same) return;
    std::vector<HistoryThumb> fresh(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      HistoryThumb& thumb = fresh[static_cast<std::size_t>(k)];
      thumb.entry = engine.HistoryEntry(k);
      for (const HistoryThumb& old : historyThumbs)
        if (old.entry.data == thumb.entry.data) thumb.pixmap = old.pixmap;
    }
    historyThumbs = std::move(fresh);
  }
  const QPixmap& HistoryPixmap(int entry) {
    HistoryThumb& thumb = historyThumbs[static_cast<std::size_t>(entry)];
    if (thumb.pixmap.isNull() && !thumb.entry.empty())
      thumb.pixmap = ToPixmap(ScaleToFit(thumb.entry, {kThumbBox, kThumbBox}, true, cv::INTER_AREA));
    return thumb.pixmap;
  }

  // ---- Changes ----
  // After the list changed through this widget: the engine's thumbnail
  // thread was stopped by the change and starts again.
  void AfterPhotoChange() {
    photoThumbs.resize(static_cast<std::size_t>(std::max(0, PhotoCount())));
    MarkPhotoThumbsStale();
    ClampOffsets();
    engine.StartThumbnails();
    self.update();
  }
  void ClampOffsets() { model.ClampOffsets(PhotoCount(), HistoryCount(), StripLength()); }

  void ApplyDelete(const PhotoListModel::DeleteOutcome& outcome) {
    for (int index : outcome.removeOrder) engine.RemovePhoto(index);
    if (outcome.selectPhotoZero) engine.SelectSingleInput(0);
    AfterPhotoChange();
  }

  void DeletePhoto() {
    ApplyDelete(model.DeleteCurrent(PhotoCount()));
    emit self.photosRemoved();
    emit self.commandState(kMsgCommandState300, 6);
  }
  void DeleteSelection() {
    ApplyDelete(model.DeleteSelection(PhotoCount()));
    emit self.photosRemoved();
    emit self.commandState(kMsgCommandState300, 6);
  }
  void DeleteAll() {
    engine.RemoveAllPhotos();
    model.DeleteAll();
    AfterPhotoChange();
    emit self.photosRemoved();
    emit self.commandState(kMsgCommandState800, 0);
    emit self.commandState(kMsgCommandState600, 4);
  }
  void AddHistoryToInputList() {
    // The entry is read from the history, which a history run on the worker
    // may be changing.
    if (engine.IsBusy()) return;
    const int entry = model.CurrentHistory();
    if (entry < 0 || entry >= engine.HistoryCount()) return;
    engine.InsertPhoto(0, PhotoItem::FromImage(engine.HistoryEntry(entry)));
    model.PhotoInserted(0);
    AfterPhotoChange();
  }
  void DeleteHistoryEntry() {
    engine.RemoveHistoryEntry(model.CurrentHistory());
    model.HistoryEntryDeleted(engine.HistoryCount());
    SyncHistoryThumbs();
    ClampOffsets();
    self.update();
    emit self.commandState(kMsgCommandState300, 6);
  }

  void Click(const PhotoListModel::ReleaseOutcome& outcome) {
    using Kind = PhotoListModel::ReleaseOutcome::Kind;
    using Action = PhotoListModel::ClickOutcome::Action;
    if (outcome.kind == Kind::kHistoryChosen) {
      engine.SetHistoryPos(outcome.index);
      emit self.historyChosen(outcome.index);
      return;
    }
    if (outcome.kind != Kind::kPhotoClick) return;
    emit self.photoClicked(outcome.index);
    const PhotoListModel::ClickOutcome& click = outcome.click;
    if (click.action == Action::kSelectSingle) engine.SelectSingleInput(click.photo);
    if (click.action == Action::kAddInput) engine.AddInput(click.photo);
    if (click.action != Action::kNothing) model.ScrollIntoView(click.photo, StripLength());
    if (click.runTemplate) emit self.runTemplate();
  }

  void StartPhotoDrag() {
    const int photo = model.Pressed();
    auto* mime = new QMimeData;
    mime->setData(kPhotoDragMimeType, QByteArray::number(photo));
    auto* drag = new QDrag(&self);
    drag->setMimeData(mime);
    const QPixmap& pixmap = PhotoPixmap(photo);
    if (!pixmap.isNull()) {
      // The dragged image is the thumbnail, a little see-through, held where
      // the pointer grabbed it.
      QPixmap ghost(pixmap.size());
      ghost.fill(Qt::transparent);
      QPainter painter(&ghost);
      painter.setOpacity(0.75);
      painter.drawPixmap(0, 0, pixmap);
      painter.end();
      drag->setPixmap(ghost);
      const PhotoListModel::Point cell = model.CellOrigin(photo);
      const PhotoListModel::Point grab = model.Grab();
      const QPoint press(cell.x + grab.x + PhotoListModel::kGrabOriginX, cell.y + grab.y + PhotoListModel::kGrabOriginY);
      const QPoint hotSpot = press - ThumbRect(photo, pixmap.size()).topLeft();
      drag->setHotSpot(QPoint(std::clamp(hotSpot.x(), 0, pixmap.width() - 1),
                              std::clamp(hotSpot.y(), 0, pixmap.height() - 1)));
    }
    // A drop on the strip itself moves the photo (dropEvent); the preview
    // places it with the template.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    model.EndDrag();
    dropGap = -1;
    self.update();
  }

  void OpenMenu(const QPoint& globalPos) {
    QMenu& menu = model.Mode() == PhotoListModel::kHistoryMode ? historyMenu : photoMenu;
    if (App().language) {
      QMenuTextTarget texts(menu);
      App().language->ApplyToMenu(texts);
    }
    menu.popup(globalPos);
  }

  void AddCommand(QMenu& menu, int commandId, const char* caption, void (Impl::*handler)()) {
    QAction* action = menu.addAction(QString::fromUtf8(caption));
    action->setData(commandId);
    QObject::connect(action, &QAction::triggered, &self, [this, handler] { (this->*handler)(); });
  }

  // ---- Drawing ----
  void Paint(QPainter& painter, const QRect& dirty);
  void PaintTile(QPainter& painter, int position, int item, bool marked, int badge);
  void PaintScrollBar(QPainter& painter, int count);
};

void PhotoList::Impl::PaintTile(QPainter& painter, int position, int item, bool marked, int badge) {
  const QRect tile = CellRect(position).adjusted(kTileInset, kTileInset, -kTileInset, -kTileInset);
  const bool hovered = model.Hover() == position;
  if (marked) {
    QColor fill = kAccent;
    fill.setAlpha(40);
    painter.setPen(QPen(kAccent, 2));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(tile).adjusted(1, 1, -1, -1), 4, 4);
  } else if (hovered) {
    painter.setPen(QPen(kHoverFrame, 1));
    painter.setBrush(kHoverFill);
    painter.drawRoundedRect(QRectF(tile).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  }

  const bool history = model.Mode() == PhotoListModel::kHistoryMode;
  const QPixmap& pixmap = history ? HistoryPixmap(item) : PhotoPixmap(item);
  // Pictures and their one-pixel frames sit on whole pixels; only the
  // rounded marks are smoothed.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  if (pixmap.isNull()) {
    // Not made yet (the thumbnail thread is on its way) or unreadable.
    const QRect box = ThumbRect(position, QSize(kThumbBox * 3 / 4, kThumbBox * 3 / 4));
    painter.fillRect(box, kPlaceholder);
    painter.setPen(kFrame);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
  } else {
    const QRect box = ThumbRect(position, pixmap.size());
    painter.drawPixmap(box.topLeft(), pixmap);
    painter.setPen(marked ? kAccent : kFrame);
    painter.drawRect(box.adjusted(-1, -1, 0, 0));
  }

  painter.setRenderHint(QPainter::Antialiasing, true);
  if (badge > 0) {
    // The order in which the inputs reach the template.
    const QRectF circle(tile.left() + 3, tile.top() + 3, 17, 17);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawEllipse(circle);
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(circle, Qt::AlignCenter, QString::number(badge));
  }
}

void PhotoList::Impl::PaintScrollBar(QPainter& painter, int count) {
  const int strip = StripLength();
  const PhotoListModel::BarThumb thumb = model.ScrollBarThumb(count, strip);
  if (thumb.length <= 0) return;
  const QRect area = BarRect();
  const int margin = (kBarArea - kBarThickness) / 2;
  const QRectF track = model.Vertical()
                           ? QRectF(area.left() + margin, 0, kBarThickness, strip)
                           : QRectF(0, area.top() + margin, strip, kBarThickness);
  const QRectF handle = model.Vertical() ? QRectF(track.left(), thumb.start, kBarThickness, thumb.length)
                                         : QRectF(thumb.start, track.top(), thumb.length, kBarThickness);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBarTrack);
  painter.drawRoundedRect(track, 2, 2);
  painter.setBrush(model.DragState() == PhotoListModel::kScrollDrag ? kAccent : kBarThumb);
  painter.drawRoundedRect(handle, 2, 2);
}

void PhotoList::Impl::Paint(QPainter& painter, const QRect& dirty) {
  painter.fillRect(dirty, kBackground);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const bool history = model.Mode() == PhotoListModel::kHistoryMode;
  const int count = ItemCount();
  const int strip = StripLength();
  const int first = std::max(0, model.Offset() / PhotoListModel::kCellLength);
  const int last = std::min(count - 1, (model.Offset() + strip) / PhotoListModel::kCellLength);
  const std::vector<int>& selection = model.Selection();
  for (int position = first; position <= last; ++position) {
    if (!CellRect(position).intersects(dirty)) continue;
    if (history) {
      const int entry = PhotoListModel::HistoryEntryAt(position, count);
      PaintTile(painter, position, entry, entry == model.CurrentHistory(), 0);
      continue;
    }
    const auto found = std::find(selection.begin(), selection.end(), position);
    const bool selected = found != selection.end();
    const int badge = selected && selection.size() > 1 ? static_cast<int>(found - selection.begin()) + 1 : 0;
    PaintTile(painter, position, position, selected, badge);
  }

  if (dropGap >= 0) {
    // Where the dragged photo will land.
    const int at = std::clamp(dropGap * PhotoListModel::kCellLength - model.Offset(), 1, std::max(1, strip - 2));
    painter.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
    if (model.Vertical())
      painter.drawLine(QPoint(4, at), QPoint(CrossLength() - 4, at));
    else
      painter.drawLine(QPoint(at, 4), QPoint(at, CrossLength() - 4));
  }
  PaintScrollBar(painter, count);
}

// ---- PhotoList ----

PhotoList::PhotoList(CProcessEngine& engine, QWidget* parent) : QWidget(parent), impl_(new Impl(*this, engine)) {
  setMouseTracking(true);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A click gives the strip the keyboard, for Delete.
  setFocusPolicy(Qt::ClickFocus);
  impl_->AddCommand(impl_->photoMenu, kCmdDeletePhoto, "Delete", &Impl::DeletePhoto);
  impl_->AddCommand(impl_->photoMenu, kCmdDeleteSelection, "Delete Selection", &Impl::DeleteSelection);
  impl_->AddCommand(impl_->photoMenu, kCmdDeleteAllPhotos, "Delete All", &Impl::DeleteAll);
  impl_->AddCommand(impl_->historyMenu, kCmdHistoryAddToInput, "Add to Input List", &Impl::AddHistoryToInputList);
  impl_->AddCommand(impl_->historyMenu, kCmdHistoryDelete, "Delete", &Impl::DeleteHistoryEntry);
  engine.SetThumbnailSize(kThumbBox, kThumbBox);
  impl_->model.Sync(engine.InputPhotoIndices(), engine.GetPhotoCount(), engine.IsBusy() ? 0 : engine.HistoryCount(),
                    engine.HistoryPos());
}

PhotoList::~PhotoList() {
  // The thumbnail thread posts to this list's target: it must be done
  // before the target goes.
  impl_->engine.StopThumbnails();
  impl_->engine.SetPhotoListWindow(nullptr);
  delete impl_;
}

void PhotoList::SetMode(int mode) {
  impl_->model.SetMode(mode);
  impl_->dropGap = -1;
  impl_->ClampOffsets();
  update();
}

int PhotoList::Mode() const { return impl_->model.Mode(); }

void PhotoList::SetVertical(bool vertical) {
  if (impl_->model.Vertical() == vertical) return;
  impl_->model.SetVertical(vertical);
  impl_->ClampOffsets();
  updateGeometry();
  update();
}

void PhotoList::Reload() {
  CProcessEngine& engine = impl_->engine;
  const int historyCount = impl_->HistoryCount();
  const int historyPos = engine.IsBusy() ? impl_->model.CurrentHistory() : engine.HistoryPos();
  impl_->model.Sync(engine.InputPhotoIndices(), engine.GetPhotoCount(), historyCount, historyPos);
  impl_->AfterPhotoChange();
}

void PhotoList::ChoosePhoto(int index) {
  const int count = impl_->PhotoCount();
  if (count > 0) {
    index = std::clamp(index, 0, count - 1);
    impl_->engine.SelectSingleInput(index);
    impl_->model.SetSelection({index});
    impl_->model.SetCurrentPhoto(index);
    if (impl_->model.Mode() == PhotoListModel::kPhotoMode) impl_->model.ScrollIntoView(index, impl_->StripLength());
  }
  impl_->AfterPhotoChange();
}

MessageTarget& PhotoList::Target() { return impl_->target; }

void PhotoList::SetPreviewWidget(QWidget* preview) { impl_->preview = preview; }

int PhotoList::ItemAt(const QPoint& pos) const {
  const int count = impl_->ItemCount();
  const int position = impl_->model.ItemAt(impl_->model.Along(ToModel(pos)), count);
  if (impl_->model.Mode() == PhotoListModel::kHistoryMode) return PhotoListModel::HistoryEntryAt(position, count);
  return position;
}

std::vector<int> PhotoList::Selection() const { return impl_->model.Selection(); }
int PhotoList::CurrentPhoto() const { return impl_->model.CurrentPhoto(); }
int PhotoList::CurrentHistory() const { return impl_->model.CurrentHistory(); }
int PhotoList::Offset() const { return impl_->model.Offset(); }

QAction* PhotoList::CommandAction(int commandId) const {
  for (QMenu* menu : {&impl_->photoMenu, &impl_->historyMenu})
    for (QAction* action : menu->actions())
      if (action->data().toInt() == commandId) return action;
  return nullptr;
}

QSize PhotoList::sizeHint() const {
  const int across = PhotoListModel::kCellLength + kBarArea + 2;
  const int along = PhotoListModel::kCellLength * 6;
  return impl_->model.Vertical() ? QSize(across, along) : QSize(along, across);
}

QSize PhotoList::minimumSizeHint() const {
  const int across = PhotoListModel::kCellLength + kBarArea + 2;
  return impl_->model.Vertical() ? QSize(across, PhotoListModel::kCellLength)
                                 : QSize(PhotoListModel::kCellLength, across);
}

void PhotoList::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  impl_->Paint(painter, event->rect());
}

void PhotoList::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  impl_->model.Press(ToModel(pos), impl_->OnScrollBar(pos), impl_->ItemCount());
  update();
}

void PhotoList::mouseMoveEvent(QMouseEvent* event) {
  PhotoListModel& model = impl_->model;
  const PhotoListModel::Point pos = ToModel(event->position());
  if (event->buttons() & Qt::LeftButton) {
    if (model.MoveWithButton(pos, impl_->ItemCount(), impl_->StripLength())) update();
    if (model.DragState() == PhotoListModel::kPhotoDrag) impl_->StartPhotoDrag();
    return;
  }
  if (model.MoveWithoutButton(pos, impl_->ItemCount())) update();
}

void PhotoList::mouseReleaseEvent(QMouseEvent* event) {
  PhotoListModel& model = impl_->model;
  const QPoint pos = event->position().toPoint();
  const bool inside = rect().contains(pos);
  if (event->button() == Qt::LeftButton) {
    const int photoCount = impl_->PhotoCount();
    const int historyCount = impl_->HistoryCount();
    impl_->Click(model.Release(ToModel(pos), inside, event->modifiers() & Qt::ControlModifier, photoCount,
                               historyCount));
    update();
  } else if (event->button() == Qt::RightButton) {
    if (inside && model.RightRelease(ToModel(pos), impl_->PhotoCount(), impl_->HistoryCount())) {
      update();
      impl_->OpenMenu(event->globalPosition().toPoint());
    }
  }
}

void PhotoList::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  impl_->wheelRemainder += delta.y() != 0 ? delta.y() : delta.x();
  const int steps = impl_->wheelRemainder / kWheelDelta;
  impl_->wheelRemainder -= steps * kWheelDelta;
  // Qt counts a turn away from the user as positive.
  if (steps != 0 && impl_->model.Wheel(-steps, impl_->ItemCount(), impl_->StripLength())) {
    // The item under the pointer changed with the scroll.
    impl_->model.MoveWithoutButton(ToModel(event->position()), impl_->ItemCount());
    update();
  }
  event->accept();
}

void PhotoList::keyPressEvent(QKeyEvent* event) {
  const bool photos = impl_->model.Mode() == PhotoListModel::kPhotoMode;
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && photos && impl_->PhotoCount() > 0 &&
      !impl_->model.Selection().empty()) {
    impl_->DeleteSelection();
    update();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PhotoList::leaveEvent(QEvent* event) {
  impl_->model.Leave();
  update();
  QWidget::leaveEvent(event);
}

void PhotoList::resizeEvent(QResizeEvent* event) {
  impl_->ClampOffsets();
  QWidget::resizeEvent(event);
}

namespace {
// The photo index a drag carries; -1 when it carries none.
int DraggedPhoto(const QMimeData* mime) {
  if (!mime || !mime->hasFormat(kPhotoDragMimeType)) return -1;
  bool ok = false;
  const int index = mime->data(kPhotoDragMimeType).toInt(&ok);
  return ok ? index : -1;
}
}  // namespace

void PhotoList::dragEnterEvent(QDragEnterEvent* event) {
  if (impl_->model.Mode() == PhotoListModel::kPhotoMode && DraggedPhoto(event->mimeData()) >= 0)
    event->acceptProposedAction();
  else
    event->ignore();
}

void PhotoList::dragMoveEvent(QDragMoveEvent* event) {
  if (impl_->model.Mode() != PhotoListModel::kPhotoMode || DraggedPhoto(event->mimeData()) < 0) {
    event->ignore();
    return;
  }
  const int along = impl_->model.Along(ToModel(event->position()));
  impl_->dropGap = impl_->model.DropTarget(along, impl_->PhotoCount());
  event->acceptProposedAction();
  update();
}

void PhotoList::dragLeaveEvent(QDragLeaveEvent* event) {
  impl_->dropGap = -1;
  update();
  event->accept();
}

void PhotoList::dropEvent(QDropEvent* event) {
  impl_->dropGap = -1;
  const int photo = DraggedPhoto(event->mimeData());
  const int along = impl_->model.Along(ToModel(event->position()));
  const auto move = impl_->model.DropOnStrip(photo, along, impl_->PhotoCount());
  if (!move) {
    event->ignore();
    update();
    return;
  }
  impl_->engine.MovePhoto(move->from, move->to);
  impl_->AfterPhotoChange();
  event->setDropAction(Qt::MoveAction);
  event->accept();
}

bool PhotoList::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int item = impl_->model.Mode() == PhotoListModel::kPhotoMode ? ItemAt(help->pos()) : -1;
    const std::filesystem::path path = item >= 0 ? impl_->engine.GetPhoto(item).path : std::filesystem::path();
    if (path.empty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), QString::fromStdString(path.filename().string()), this);
    return true;
  }
  return QWidget::event(event);
}

}  // namespace grinsnap
