#pragma once

#include <filesystem>
#include <string>

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <opencv2/core.hpp>

#include "core/photo_item.h"
#include "share/photo_share.h"

namespace grinsnap {

struct AppContext;

// A picture drawn fitted into the widget, centred, keeping its aspect ratio.
class FittedPictureView : public QWidget {
  Q_OBJECT
public:
  explicit FittedPictureView(QWidget* parent = nullptr);
  void SetPicture(const cv::Mat& picture);
  const QImage& Picture() const { return picture_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage picture_;
};

// The preview of the result the user is exporting. It keeps the result as
// its own photo, which Edit changes in the photo-editing dialog and Save
// writes through the export dialog. At start it writes the result to
// "temp_preview.<extension of the source photo>" in the application-data
// folder, and removes that file when it closes.
//
// Control ids (section DIALOG_IDD_157 of a language file): Edit 1001, Save
// 1002, Close 2. Children by object name: "picture", "edit", "save", "close",
// and the share buttons "share0" (Facebook) to "share3" (the album service).
class PreviewDialog : public QDialog {
  Q_OBJECT
public:
  enum ControlId : int { kCtlClose = 2, kCtlEdit = 1001, kCtlSave = 1002 };

  // result: the picture to export. sourcePhoto: the photo it was made from
  // (its file extension, name, title and description are used); may be empty.
  PreviewDialog(AppContext& app, const cv::Mat& result, const PhotoItem& sourcePhoto, std::string exportPath,
                QWidget* parent = nullptr);
  ~PreviewDialog() override;

  // The path the export dialog last had; goes back into the settings.
  const std::string& ExportPath() const { return exportPath_; }
  // Whether Save wrote a file while the dialog was open.
  bool Saved() const { return saved_; }
  const std::filesystem::path& TempFile() const { return tempFile_; }
  // The photo being exported, with the edits made through Edit.
  PhotoItem& Photo() { return photo_; }
  const cv::Mat& Picture() { return photo_.WorkingImage(); }

  // Edit: the photo in the photo-editing dialog; true when it changed.
  bool EditPhoto();
  // Save: the export dialog for the photo.
  void Save();
  // A share button: the upload wizard for the service.
  void Share(share::ShareService service);

private:
  void WriteTempFile(const std::string& sourcePath);

  AppContext& app_;
  PhotoItem photo_;
  std::string photoName_;
  std::filesystem::path photoFile_;
  std::string exportPath_;
  std::filesystem::path tempFile_;
  bool saved_ = false;
  FittedPictureView* view_ = nullptr;
};

}  // namespace grinsnap
