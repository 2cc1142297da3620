#pragma once

#include <array>
#include <filesystem>
#include <string>

#include <QDialog>
#include <QFrame>

#include <opencv2/core.hpp>

#include "app/export_rules.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace grinsnap {

struct AppContext;

// What is being exported: a photo's picture with the title and description
// written into the file and the photo's name, or, with an empty picture, the
// engine's current result.
struct ExportSource {
  cv::Mat picture;
  std::string title;
  std::string description;
  // The photo's file name without folder and extension; "" when it has none.
  std::string name;
  // The photo's own file, which the dialog never proposes to write over.
  std::filesystem::path file;
};

// A recommended size in the export dialog: its name and size, clicked to
// choose it, drawn on a light blue background while highlighted.
class RecommendedSizeItem : public QFrame {
  Q_OBJECT
public:
  RecommendedSizeItem(int index, QWidget* parent);
  QLabel* NameLabel() const { return name_; }
  void SetSize(ExportSize size);
  void SetHighlighted(bool on);
  bool Highlighted() const { return highlighted_; }

signals:
  void clicked(int index);

protected:
  void mousePressEvent(QMouseEvent* event) override;

private:
  int index_;
  bool highlighted_ = false;
  QLabel* name_;
  QLabel* size_;
};

// The export dialog: saves the picture as an image file of a chosen size,
// or the current template's animation as a GIF file, to a chosen path.
//
// Control ids (section DIALOG_IDD_165 of a language file): the OK and
// Cancel buttons 1 and 2, the rest below. Children by object name: "image",
// "gif", "path", "browse", "openFolder", "keepAspect", "width", "height",
// "recommended0".."recommended5", "ok", "cancel".
class ExportDialog : public QDialog {
  Q_OBJECT
public:
  enum ControlId : int {
    kCtlOk = 1,
    kCtlCancel = 2,
    kCtlModeGroup = 1000,
    kCtlImageMode = 1001,
    kCtlGifMode = 1002,
    kCtlPathLabel = 1003,
    kCtlBrowse = 1004,
    kCtlOpenFolder = 1005,
    kCtlKeepAspect = 1006,
    kCtlWidthLabel = 1007,
    kCtlHeightLabel = 1008,
    kCtlSizeGroup = 1009,
    kCtlRecommendedFirst = 1010,  // 1010..1015, one per recommended size
  };

  ExportDialog(AppContext& app, ExportSource source, std::string path, QWidget* parent = nullptr);
  ~ExportDialog() override;

  const std::string& Path() const { return path_; }
  ExportMode Mode() const { return mode_; }
  const SizeFields& Fields() const { return fields_; }

  // What the dialog's controls do.
  void ChooseMode(ExportMode mode);
  void ChooseRecommended(int index);
  void Browse();
  void OpenFolder();
  // OK: checks the size, then saves the image or exports the animation;
  // the dialog closes when that succeeded.
  void accept() override;

private:
  void BuildControls();
  void ApplyTexts();
  // Shows the fields' values; the field being typed in keeps its text
  // unless a rule changed the number it reads.
  void ShowFields(const QLineEdit* typing = nullptr);
  void ShowPath();
  void SaveImage();
  void ExportGif();
  bool ConfirmOverwrite();
  ExportSize ScreenSize() const;

  AppContext& app_;
  ExportSource source_;
  std::string path_;
  ExportMode mode_ = ExportMode::kImage;
  SizeFields fields_;
  bool showing_ = false;

  QRadioButton* imageMode_ = nullptr;
  QRadioButton* gifMode_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QCheckBox* keepAspect_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLineEdit* height_ = nullptr;
  QPushButton* ok_ = nullptr;
  std::array<RecommendedSizeItem*, kRecommendedSizeCount> recommended_{};
};

}  // namespace grinsnap
