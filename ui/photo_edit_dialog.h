#pragma once

#include <array>
#include <vector>

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <opencv2/core.hpp>

#include "core/image_obj.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace grinsnap {

// One photo the editing dialog works on: its node in the editing layer, the
// record that is marked modified when OK changes its edits, and the photo's
// picture before any edit (what the node's edits apply to).
struct PhotoEditTarget {
  HNODE node = nullptr;
  PhotoRecord* record = nullptr;
  cv::Mat unedited;
};

// The picture with a crop box the user drags: pressing inside the box moves
// it, pressing on a corner resizes it, pressing outside draws a new one.
// The crop is in fractions of the picture shown.
class CropCanvas : public QWidget {
  Q_OBJECT
public:
  explicit CropCanvas(QWidget* parent = nullptr);

  void SetPicture(const QImage& picture);
  void SetCrop(const std::array<float, 4>& crop);
  const std::array<float, 4>& Crop() const { return crop_; }
  // Where the picture is drawn inside the widget.
  QRectF PictureRect() const;

signals:
  void cropChanged(const std::array<float, 4>& crop);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  enum class Drag { None, Move, Span };
  QPointF ToFraction(QPointF point) const;
  void SpanTo(QPointF fraction);

  QImage picture_;
  std::array<float, 4> crop_{0, 0, 1, 1};
  Drag drag_ = Drag::None;
  QPointF anchor_;  // the fixed corner while spanning, the grip offset while moving
};

// The photo-editing dialog over a set of photos: turn left or right, crop
// by dragging a box on the picture, brightness and contrast (-100..100) and
// a caption, with the result shown as it will look. The edits reach the
// photos' nodes only when OK is pressed; Cancel leaves every node as it was.
//
// Children by object name: "rotateLeft", "rotateRight", "brightness",
// "contrast", "caption", "reset", "previous", "next", "canvas", "result",
// "ok", "cancel".
//
// Texts a language file may replace (section DIALOG_IDD_158): OK 1, Cancel
// 2 and the ids below.
class PhotoEditDialog : public QDialog {
  Q_OBJECT
public:
  enum ControlId : int {
    kCtlReset = 1001,
    kCtlBrightness = 1002,
    kCtlContrast = 1003,
    kCtlCaption = 1004,
    kCtlResultLabel = 1005,
    // Texts that are no control's own: the caption's hint, the reset
    // button's tooltip, "Photo %d of %d", the unloadable photo's notice.
    kCtlCaptionHint = 1006,
    kCtlResetTip = 1007,
    kCtlPosition = 1008,
    kCtlNotLoaded = 1009,
  };

  explicit PhotoEditDialog(std::vector<PhotoEditTarget> targets, QWidget* parent = nullptr);
  ~PhotoEditDialog() override;

  int Count() const { return static_cast<int>(entries_.size()); }
  int Current() const { return current_; }
  void ShowPhoto(int index);
  // The edits the dialog holds for a photo (not yet written to its node).
  const PhotoEdits& Edits(int index) const;

  void RotateLeft();
  void RotateRight();
  void SetCrop(const std::array<float, 4>& crop);
  void ResetEdits();

  // The current photo with its edits, at the dialog's working size.
  cv::Mat ResultPicture() const;

  // Writes every photo's edits to its node (marking its record when they
  // changed) and closes.
  void accept() override;

private:
  struct Entry {
    PhotoEditTarget target;
    PhotoEdits edits;
    cv::Mat small;  // the unedited picture at the dialog's working size
  };

  void Turn(int quarterTurns);
  void SyncControls();
  void RenderCanvas();
  void RenderResult();
  Entry* CurrentEntry();
  const Entry* CurrentEntry() const;

  std::vector<Entry> entries_;
  int current_ = 0;
  bool syncing_ = false;

  CropCanvas* canvas_ = nullptr;
  QLabel* result_ = nullptr;
  QLabel* position_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* next_ = nullptr;
  QSlider* brightness_ = nullptr;
  QSlider* contrast_ = nullptr;
  QLabel* brightnessValue_ = nullptr;
  QLabel* contrastValue_ = nullptr;
  QLineEdit* caption_ = nullptr;
  QWidget* tools_ = nullptr;
};

}  // namespace grinsnap
