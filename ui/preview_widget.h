#pragma once

#include <QPoint>
#include <QWidget>

#include <opencv2/core.hpp>

namespace grinsnap {

class CProcessEngine;
class PreviewView;

// The preview: shows the engine's current result (or, in original-image
// mode, a picture set by the owner) through the zoom-and-pan view, draws the
// current template's overlay, routes the mouse to the template, accepts
// photos dropped from the photo list and files from the file manager, and
// animates while the engine works in the background.
class PreviewWidget : public QWidget {
  Q_OBJECT
public:
  explicit PreviewWidget(CProcessEngine& engine, QWidget* parent = nullptr);
  ~PreviewWidget() override;

  // Takes a copy of the engine's current output and redraws; the view's zoom
  // and position stay when the picture keeps its size.
  void ShowResult();
  // Shows this picture instead of the engine's output; an empty picture goes
  // back to the output.
  void SetPicture(const cv::Mat& picture);
  // The text shown while there is no picture; empty for the default text.
  void SetHint(const QString& hint);
  // The default text, in the current language.
  void SetDefaultHint(const QString& hint);
  // What shows while the engine has no result (no template picked yet, or
  // undone past the first step): the current photo. Empty shows the hint.
  void SetFallbackPicture(const cv::Mat& picture);
  bool ShowingFallback() const;
  // Back to the whole picture fitted into the window.
  void ZoomToFit();
  // The busy animation while photos are being read (on top of SetBusy).
  void SetLoading(bool loading);
  // One zoom step about the centre of the window.
  void ZoomIn();
  void ZoomOut();
  // The busy animation (timer 37, 10 ms) while a background run is going.
  void SetBusy(bool busy);
  bool IsBusy() const;

  // The picture on show (8-bit BGR copy; empty when there is none).
  const cv::Mat& Picture() const;
  // The zoom and pan state and the current layout.
  const PreviewView& View() const;
  // Whether the busy animation's timer runs, and its phase (0.01 per tick).
  bool BusyTimerActive() const;
  double BusyPhase() const;

signals:
  // A photo of the photo list was dropped here, at pos in this widget.
  void photoDropped(int photoIndex, QPoint pos);
  // Picture files were dropped here from outside the program.
  void filesDropped(const QStringList& paths);
  // The template's on-image controls changed; finished is true on release.
  void parametersChanged(bool finished);
  // A left double click on the preview (it starts the download of a
  // selected online template).
  void doubleClicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  struct Impl;
  Impl* impl_;
};

}  // namespace grinsnap
