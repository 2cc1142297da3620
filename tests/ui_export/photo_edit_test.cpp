#include "ui/photo_edit_dialog.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

#include <opencv2/imgcodecs.hpp>

#include "app/export_rules.h"
#include "export_test_util.h"
#include "platform/folders.h"
#include "platform/image_loader.h"
#include "ui/export_dialog.h"
#include "ui/export_flow.h"
#include "ui/message_box.h"
#include "ui/preview_dialog.h"

namespace grinsnap {
namespace {

using test::Child;

bool IsRed(const cv::Vec3b& p) { return p[2] > 200 && p[0] < 60; }
bool IsBlue(const cv::Vec3b& p) { return p[0] > 200 && p[2] < 60; }

class PhotoEditTest : public test::ExportFixture {
protected:
  // A 30 x 20 photo file, left half red and right half blue, as the input.
  std::filesystem::path AddInputPhoto() {
    cv::Mat photo = test::Flat(30, 20, {0, 0, 255});
    photo.colRange(15, 30).setTo(cv::Scalar(255, 0, 0));
    const std::filesystem::path path = root_ / "input.png";
    cv::imwrite(path.string(), photo);
    app_.engine.InsertPhoto(-1, PhotoItem(path));
    app_.engine.SelectSingleInput(0);
    return path;
  }
};

TEST_F(PhotoEditTest, RotatingAnInputRebuildsIt) {
  AddInputPhoto();
  ASSERT_EQ(app_.engine.GetInput(0).WorkingImage().size(), cv::Size(30, 20));
  test::OnModal<PhotoEditDialog>([](PhotoEditDialog* dialog) {
    EXPECT_EQ(dialog->Count(), 1);
    Child<QPushButton>(dialog, "rotateRight")->click();
    Child<QPushButton>(dialog, "ok")->click();
  });
  EXPECT_TRUE(EditInputs(nullptr, app_));

  const cv::Mat turned = app_.engine.GetInput(0).WorkingImage();
  ASSERT_EQ(turned.size(), cv::Size(20, 30));
  // A clockwise turn brings the left (red) half to the top.
  EXPECT_TRUE(IsRed(turned.at<cv::Vec3b>(2, 10)));
  EXPECT_TRUE(IsBlue(turned.at<cv::Vec3b>(27, 10)));
  EXPECT_EQ(CImageObj::GetEdits(app_.engine.GetPhoto(0).node).quarterTurns, 1);
  EXPECT_TRUE(app_.engine.ImageObj().Nodes().empty()) << "the editing set is emptied";
}

TEST_F(PhotoEditTest, CancelLeavesTheInputsAsTheyWere) {
  AddInputPhoto();
  test::OnModal<PhotoEditDialog>([](PhotoEditDialog* dialog) {
    Child<QPushButton>(dialog, "rotateLeft")->click();
    Child<QSlider>(dialog, "brightness")->setValue(50);
    Child<QPushButton>(dialog, "cancel")->click();
  });
  EXPECT_FALSE(EditInputs(nullptr, app_));
  EXPECT_EQ(app_.engine.GetInput(0).WorkingImage().size(), cv::Size(30, 20));
  EXPECT_TRUE(CImageObj::GetEdits(app_.engine.GetInput(0).node).IsIdentity());
}

TEST_F(PhotoEditTest, EditsReachTheNodeOnlyOnOk) {
  PhotoRecord record;
  HNODE node = nullptr;
  CImageObj::AddPhotoListNode(record, &node);
  cv::Mat picture = test::Flat(40, 20, {0, 0, 255});
  picture.colRange(20, 40).setTo(cv::Scalar(255, 0, 0));
  {
    PhotoEditDialog dialog({{node, &record, picture}});
    dialog.SetCrop({0, 0, 0.5f, 1});  // the red half
    dialog.RotateRight();
    EXPECT_EQ(dialog.Edits(0).crop, (std::array<float, 4>{0, 0, 1, 0.5f})) << "the crop turns with the picture";
    Child<QSlider>(&dialog, "contrast")->setValue(-20);
    Child<QLineEdit>(&dialog, "caption")->setText("Hi");
    const cv::Mat result = dialog.ResultPicture();
    EXPECT_EQ(result.size(), cv::Size(20, 20));
    EXPECT_TRUE(CImageObj::GetEdits(node).IsIdentity()) << "nothing is written before OK";
    dialog.reject();
  }
  EXPECT_FALSE(record.modified);
  {
    PhotoEditDialog dialog({{node, &record, picture}});
    dialog.SetCrop({0, 0, 0.5f, 1});
    dialog.RotateRight();
    Child<QSlider>(&dialog, "brightness")->setValue(10);
    dialog.accept();
  }
  const PhotoEdits edits = CImageObj::GetEdits(node);
  EXPECT_EQ(edits.quarterTurns, 1);
  EXPECT_EQ(edits.brightness, 10);
  EXPECT_EQ(edits.crop, (std::array<float, 4>{0, 0, 1, 0.5f}));
  EXPECT_TRUE(record.modified);
  CImageObj::ReleaseNode(node);
}

TEST_F(PhotoEditTest, DraggingOnThePictureDrawsTheCropBox) {
  PhotoRecord record;
  HNODE node = nullptr;
  CImageObj::AddPhotoListNode(record, &node);
  PhotoEditDialog dialog({{node, &record, test::Flat(400, 300, {90, 90, 90})}});
  dialog.resize(900, 600);
  dialog.show();
  auto* canvas = Child<CropCanvas>(&dialog, "canvas");
  const QRectF r = canvas->PictureRect();
  ASSERT_FALSE(r.isEmpty());
  const auto at = [&](double fx, double fy) { return QPointF(r.left() + fx * r.width(), r.top() + fy * r.height()); };
  const auto mouse = [&](QEvent::Type type, QPointF point) {
    QMouseEvent event(type, point, canvas->mapToGlobal(point), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
  };
  // The full-picture box's corner at the top left is grabbed: drag it in.
  mouse(QEvent::MouseButtonPress, at(0, 0));
  mouse(QEvent::MouseMove, at(0.25, 0.5));
  mouse(QEvent::MouseButtonRelease, at(0.25, 0.5));
  std::array<float, 4> crop = dialog.Edits(0).crop;
  EXPECT_NEAR(crop[0], 0.25, 0.01);
  EXPECT_NEAR(crop[1], 0.5, 0.01);
  EXPECT_NEAR(crop[2], 0.75, 0.01);
  EXPECT_NEAR(crop[3], 0.5, 0.01);
  // Inside the box: the box moves and stays inside the picture.
  mouse(QEvent::MouseButtonPress, at(0.5, 0.75));
  mouse(QEvent::MouseMove, at(0.1, 0.9));
  mouse(QEvent::MouseButtonRelease, at(0.1, 0.9));
  crop = dialog.Edits(0).crop;
  EXPECT_NEAR(crop[0], 0.0, 0.01);
  EXPECT_NEAR(crop[1], 0.5, 0.01);
  EXPECT_NEAR(crop[2], 0.75, 0.01);
  // Outside the box: a new one is drawn, never narrower than a sliver.
  mouse(QEvent::MouseButtonPress, at(0.9, 0.1));
  mouse(QEvent::MouseMove, at(0.9, 0.1));
  mouse(QEvent::MouseButtonRelease, at(0.9, 0.1));
  crop = dialog.Edits(0).crop;
  EXPECT_GT(crop[2], 0.0f);
  EXPECT_LE(crop[0] + crop[2], 1.0f);
  EXPECT_FALSE(dialog.ResultPicture().empty());
  CImageObj::ReleaseNode(node);
}

TEST_F(PhotoEditTest, PreviewWritesItsFileAndEditsItsOwnPhoto) {
  PhotoItem source(root_ / "holiday.png");
  source.editRecord->title = "Holiday";
  source.editRecord->description = "By the sea";
  PreviewDialog preview(app_, result_, source, (root_ / "Untitled.jpg").string());

  EXPECT_EQ(preview.TempFile(), AppDataFolder() / "temp_preview.png");
  std::string title, description;
  const cv::Mat written = LoadImageFile(preview.TempFile(), &title, &description);
  EXPECT_EQ(written.size(), cv::Size(800, 600));
  EXPECT_EQ(title, "Holiday");
  EXPECT_EQ(description, "By the sea");

  test::OnModal<PhotoEditDialog>([](PhotoEditDialog* dialog) {
    Child<QPushButton>(dialog, "rotateLeft")->click();
    Child<QPushButton>(dialog, "ok")->click();
  });
  EXPECT_TRUE(preview.EditPhoto());
  const cv::Mat edited = preview.Picture();
  ASSERT_EQ(edited.size(), cv::Size(600, 800));
  // Turned to the left: the right (blue) half comes to the top.
  EXPECT_TRUE(IsBlue(edited.at<cv::Vec3b>(10, 300)));
  EXPECT_TRUE(IsRed(edited.at<cv::Vec3b>(790, 300)));
  EXPECT_FALSE(app_.engine.Output().empty());
  EXPECT_EQ(app_.engine.Output().size(), cv::Size(800, 600)) << "the engine's result is not touched";

  std::filesystem::path temp;
  {
    PreviewDialog again(app_, result_, source, (root_ / "Untitled.jpg").string());
    temp = again.TempFile();
    EXPECT_TRUE(std::filesystem::exists(temp));
  }
  EXPECT_FALSE(std::filesystem::exists(temp)) << "the preview file goes with its dialog";
}

TEST_F(PhotoEditTest, ExportTakesTheSettingAndGivesItBack) {
  UseTemplate();
  app_.settings.exportPath = (root_ / "out" / "Untitled.jpg").string();
  ScopedMessageRecorder messages;
  std::string shownPath;
  test::OnModal<PreviewDialog>([&](PreviewDialog* preview) {
    test::OnModal<ExportDialog>([&](ExportDialog* dialog) {
      shownPath = dialog->Path();
      Child<QLineEdit>(dialog, "width")->setText("200");
      Child<QPushButton>(dialog, "ok")->click();
    });
    Child<QPushButton>(preview, "save")->click();
    Child<QPushButton>(preview, "close")->click();
  });
  RunExport(nullptr, app_);

  EXPECT_EQ(shownPath, (root_ / "out" / "Untitled.jpg").string());
  EXPECT_EQ(cv::imread((root_ / "out" / "Untitled.jpg").string()).size(), cv::Size(200, 150));
  EXPECT_EQ(app_.settings.exportPath, (root_ / "out" / "Untitled.jpg").string());
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "Success");
}

TEST_F(PhotoEditTest, ExportWithoutAResultSaysSo) {
  app_.engine.RemoveHistoryEntry(0);
  ScopedMessageRecorder messages;
  RunExport(nullptr, app_);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "No image");
}

}  // namespace
}  // namespace grinsnap
