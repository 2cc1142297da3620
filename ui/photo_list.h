#pragma once

#include <cstdint>
#include <vector>

#include <QWidget>

class QAction;

namespace grinsnap {

class CProcessEngine;
class MessageTarget;

// Mime type of a photo dragged out of the photo list; the payload is the
// photo's index as decimal text.
inline constexpr char kPhotoDragMimeType[] = "application/x-grinsnap-photo";
// The box the strip's thumbnails are made in (inside its 90-pixel cells).
inline constexpr int kPhotoThumbnailBox = 80;

// The strip of photo thumbnails (mode 0) or of edit-history entries, newest
// first (mode 1). Clicking chooses the template's inputs, dragging reorders
// photos or drops one on the preview, the context menu deletes.
class PhotoList : public QWidget {
  Q_OBJECT
public:
  explicit PhotoList(CProcessEngine& engine, QWidget* parent = nullptr);
  ~PhotoList() override;

  void SetMode(int mode);
  int Mode() const;
  void SetVertical(bool vertical);
  // The photo list or history changed from outside: takes the engine's
  // inputs as the selection and its history position as the current entry,
  // clamps, restarts the thumbnail thread and repaints.
  void Reload();
  // Makes the photo the single input, scrolls it into view and repaints
  // (after adding a photo, or selecting one by id).
  void ChoosePhoto(int index);
  // The engine's photo-list window: repaint requests of the thumbnail thread.
  MessageTarget& Target();
  // Where a dragged photo may be dropped to be placed by the template. The
  // drag itself is a QDrag of kPhotoDragMimeType, so the preview receives
  // the drop through its own drop handling.
  void SetPreviewWidget(QWidget* preview);

  // The photo (photo mode) or history entry (history mode) under a point of
  // the widget; -1 when there is none.
  int ItemAt(const QPoint& pos) const;
  // The selected photos in the order they were chosen (the template's inputs).
  std::vector<int> Selection() const;
  // The photo chosen last (-1 none) and the history entry chosen last.
  int CurrentPhoto() const;
  int CurrentHistory() const;
  // Scroll position of the current mode in pixels along the strip.
  int Offset() const;
  // The context-menu action of a command (kCmdDeletePhoto ... in
  // app/photo_list_model.h); null for an unknown command.
  QAction* CommandAction(int commandId) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

signals:
  // A photo was clicked (before the selection rules ran).
  void photoClicked(int index);
  // The inputs changed: the template should run again.
  void runTemplate();
  // A history entry was chosen: show it.
  void historyChosen(int entry);
  // Photos were deleted: the preview should redraw.
  void photosRemoved();
  // Command-state updates for the main window (message, wParam).
  void commandState(std::uint32_t message, int wParam);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  // Delete removes the selected photos, as "Delete Selection" does.
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool event(QEvent* event) override;

private:
  struct Impl;
  Impl* impl_;
};

}  // namespace grinsnap
