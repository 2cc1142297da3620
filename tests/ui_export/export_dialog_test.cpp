#include "ui/export_dialog.h"

#include <semaphore>

#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include <opencv2/imgcodecs.hpp>

#include "app/string_table.h"
#include "export_test_util.h"
#include "ui/export_progress_dialog.h"
#include "ui/message_box.h"

namespace grinsnap {
namespace {

using test::Child;

class ExportDialogTest : public test::ExportFixture {
protected:
  QLineEdit* Width(ExportDialog& d) { return Child<QLineEdit>(&d, "width"); }
  QLineEdit* Height(ExportDialog& d) { return Child<QLineEdit>(&d, "height"); }
  QLineEdit* PathEdit(ExportDialog& d) { return Child<QLineEdit>(&d, "path"); }
  void Click(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
  }
  std::string Target(const char* name) { return (root_ / name).string(); }
};

TEST_F(ExportDialogTest, SizeFieldsFollowTheRulesWhileTyping) {
  UseTemplate();
  ExportDialog dialog(app_, {}, Target("out.jpg"));
  EXPECT_EQ(Width(dialog)->text(), "800") << "the fields start at the result's size";
  EXPECT_EQ(Height(dialog)->text(), "600");

  Width(dialog)->clear();
  test::Type(Width(dialog), "1200");
  EXPECT_EQ(Width(dialog)->text(), "1200");
  EXPECT_EQ(Height(dialog)->text(), "900") << "keep aspect: the height follows the width";

  Height(dialog)->selectAll();
  test::Type(Height(dialog), "6000");
  EXPECT_EQ(Height(dialog)->text(), "3750") << "a width over 5000 pulls both back";
  EXPECT_EQ(Width(dialog)->text(), "5000");

  Child<QCheckBox>(&dialog, "keepAspect")->setChecked(false);
  Width(dialog)->setText("640");
  EXPECT_EQ(Height(dialog)->text(), "3750") << "without keep aspect the height stays";
  Child<QCheckBox>(&dialog, "keepAspect")->setChecked(true);
  EXPECT_EQ(Width(dialog)->text(), "640") << "switching it on fits the pair";
  EXPECT_EQ(Height(dialog)->text(), "480");
}

TEST_F(ExportDialogTest, RecommendedSizesAreHighlightedUntilTheNextEdit) {
  UseTemplate();
  ExportDialog dialog(app_, {}, Target("out.jpg"));
  auto* thumbnail = Child<RecommendedSizeItem>(&dialog, "recommended0");
  Click(thumbnail);
  EXPECT_EQ(Width(dialog)->text(), "133");
  EXPECT_EQ(Height(dialog)->text(), "100");
  EXPECT_TRUE(thumbnail->Highlighted());
  const auto background = [](QWidget* item) { return item->grab().toImage().pixelColor(4, item->height() / 2); };
  EXPECT_EQ(background(thumbnail), QColor(0xd6, 0xe6, 0xf8)) << "drawn on light blue";
  EXPECT_NE(background(Child<RecommendedSizeItem>(&dialog, "recommended1")), QColor(0xd6, 0xe6, 0xf8));
  Click(Child<RecommendedSizeItem>(&dialog, "recommended3"));
  EXPECT_FALSE(thumbnail->Highlighted()) << "one highlight at a time";
  EXPECT_TRUE(Child<RecommendedSizeItem>(&dialog, "recommended3")->Highlighted());
  test::Type(Width(dialog), "0");
  EXPECT_EQ(dialog.Fields().highlighted, kNoRecommendedSize);
  EXPECT_FALSE(Child<RecommendedSizeItem>(&dialog, "recommended3")->Highlighted());
}

TEST_F(ExportDialogTest, ModeSwitchChangesTheExtensionAndTheLimit) {
  UseTemplate();
  ExportDialog dialog(app_, {}, Target("out.png"));
  Width(dialog)->setText("2000");
  EXPECT_EQ(Height(dialog)->text(), "1500");

  Child<QRadioButton>(&dialog, "gif")->click();
  EXPECT_EQ(dialog.Mode(), ExportMode::kGif);
  EXPECT_EQ(PathEdit(dialog)->text().toStdString(), Target("out.gif"));
  EXPECT_EQ(Width(dialog)->text(), "1024") << "the size check of GIF mode";
  EXPECT_EQ(Height(dialog)->text(), "768");

  Child<QRadioButton>(&dialog, "image")->click();
  EXPECT_EQ(dialog.Path(), Target("out.jpg"));
  EXPECT_EQ(dialog.Fields().limit, kImageSizeLimit);
}

TEST_F(ExportDialogTest, ModesFollowTheTemplate) {
  {
    ExportDialog dialog(app_, {}, Target("out.jpg"));
    EXPECT_FALSE(Child<QRadioButton>(&dialog, "image")->isEnabled()) << "no template selected";
    EXPECT_FALSE(Child<QPushButton>(&dialog, "ok")->isEnabled());
  }
  UseTemplate(false);
  ExportDialog still(app_, {}, Target("out.jpg"));
  EXPECT_TRUE(Child<QRadioButton>(&still, "image")->isChecked());
  EXPECT_FALSE(Child<QRadioButton>(&still, "gif")->isEnabled()) << "the template cannot animate";
  EXPECT_TRUE(Child<QPushButton>(&still, "ok")->isEnabled());
}

TEST_F(ExportDialogTest, OkRefusesASizeBelowOne) {
  UseTemplate();
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, Target("out.jpg"));
  Child<QCheckBox>(&dialog, "keepAspect")->setChecked(false);
  Width(dialog)->setText("0");
  Height(dialog)->setText("300");
  Child<QPushButton>(&dialog, "ok")->click();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, "Input parameter is not valid, please check.");
  EXPECT_EQ(messages.Messages()[0].caption, "Error");
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(std::filesystem::exists(Target("out.jpg")));
}

TEST_F(ExportDialogTest, SavingWritesTheChosenSizeAndKeepsThePath) {
  UseTemplate();
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, Target("sub/folder/out.gif"));
  Width(dialog)->setText("200");
  EXPECT_EQ(Height(dialog)->text(), "150");
  Child<QPushButton>(&dialog, "ok")->click();

  const std::string written = Target("sub/folder/out.gif.jpg");
  const cv::Mat saved = cv::imread(written);
  ASSERT_FALSE(saved.empty()) << "an unchanged .gif path gets .jpg appended";
  EXPECT_EQ(saved.size(), cv::Size(200, 150));
  // Left red, right blue, as the result.
  EXPECT_GT(saved.at<cv::Vec3b>(75, 20)[2], 200);
  EXPECT_GT(saved.at<cv::Vec3b>(75, 180)[0], 200);
  EXPECT_EQ(dialog.Path(), written);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, "Save image suceeded!");
  EXPECT_EQ(messages.Messages()[0].caption, "Success");
}

TEST_F(ExportDialogTest, SavingTheGivenPhotoUsesItsPictureAndName) {
  UseTemplate();
  ScopedMessageRecorder messages;
  ExportSource photo{test::Flat(50, 100, {0, 255, 0}), "Title", "", "beach"};
  ExportDialog dialog(app_, photo, Target("Untitled.jpg"));
  EXPECT_EQ(dialog.Path(), Target("beach.jpg"));
  EXPECT_EQ(Width(dialog)->text(), "50");
  Height(dialog)->setText("300");
  Child<QPushButton>(&dialog, "ok")->click();
  EXPECT_EQ(cv::imread(Target("beach.jpg")).size(), cv::Size(150, 300));
}

TEST_F(ExportDialogTest, OverwriteRefusedLeavesTheFileAndSaysNothingMore) {
  UseTemplate();
  test::WriteText(Target("out.jpg"), "precious");
  ScopedMessageRecorder messages(MessageResult::Cancel);
  ExportDialog dialog(app_, {}, Target("out.jpg"));
  Child<QPushButton>(&dialog, "ok")->click();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, "The file already exists, would you like to overwrite it?");
  EXPECT_EQ(messages.Messages()[0].caption, "warning");
  EXPECT_EQ(messages.Messages()[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(messages.Messages()[0].defaultButton, MessageDefault::Safe) << "Enter keeps the file";
  EXPECT_EQ(test::ReadText(Target("out.jpg")), "precious");
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  messages.QueueAnswer(MessageResult::Ok);
  Child<QPushButton>(&dialog, "ok")->click();
  EXPECT_EQ(cv::imread(Target("out.jpg")).size(), cv::Size(800, 600));
}

TEST_F(ExportDialogTest, NoResultMeansNothingToSave) {
  UseTemplate();
  app_.engine.RemoveHistoryEntry(0);
  ASSERT_TRUE(app_.engine.Output().empty());
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, Target("out.jpg"));
  Child<QPushButton>(&dialog, "ok")->click();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "No image");
  EXPECT_EQ(messages.Messages()[0].text, app_.QText(kIdsNoImageToSave));
}

TEST_F(ExportDialogTest, GifExportRunsTheTemplateBehindTheProgressDialog) {
  test::AnimatedTemplate& animated = UseTemplate();
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, Target("anim/out.jpg"));
  Child<QRadioButton>(&dialog, "gif")->click();
  Child<QCheckBox>(&dialog, "keepAspect")->setChecked(false);
  Width(dialog)->setText("300");
  Height(dialog)->setText("100");
  std::binary_semaphore gate(0);
  animated.gate = &gate;
  bool closable = true;
  test::OnModal<ExportProgressDialog>([&](ExportProgressDialog* progress) {
    // The worker waits on the gate: the dialog must refuse to go.
    progress->reject();
    progress->close();
    closable = !progress->isVisible();
    gate.release();
  });
  Child<QPushButton>(&dialog, "ok")->click();

  EXPECT_EQ(test::ReadText(Target("anim/out.gif")), "GIF89a stand-in");
  EXPECT_EQ(animated.maxWidth, 300) << "the size as entered";
  EXPECT_EQ(animated.maxHeight, 100);
  EXPECT_EQ(std::filesystem::path(animated.savedTo).filename(), "tmp.gif");
  EXPECT_FALSE(closable) << "the progress dialog stays while the worker runs";
  EXPECT_EQ(dialog.Path(), Target("anim/out.gif"));
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, "Export gif file succeeded!");
  EXPECT_EQ(messages.Messages()[0].caption, "Success");
}

TEST_F(ExportDialogTest, GifExportFailuresAreTold) {
  test::AnimatedTemplate& animated = UseTemplate();
  animated.succeed = false;
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, Target("out.gif"));
  dialog.ChooseMode(ExportMode::kGif);
  Child<QPushButton>(&dialog, "ok")->click();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, "Export gif file failed!");
  EXPECT_EQ(messages.Messages()[0].caption, "Failed");
  EXPECT_FALSE(std::filesystem::exists(Target("out.gif")));

  animated.canExport = false;
  messages.Clear();
  Child<QPushButton>(&dialog, "ok")->click();
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "No gif export");
  EXPECT_EQ(messages.Messages()[0].text, app_.QText(kIdsNoGifTemplate));
}

}  // namespace
}  // namespace grinsnap
