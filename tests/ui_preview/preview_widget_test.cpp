#include <vector>

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QImage>
#include <QInputDevice>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include "app/preview_view.h"
#include "templates/simple_template.h"
#include "core/template_document.h"
#include "test_support/qt_input.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/photo_list.h"
#include "ui/preview_widget.h"

namespace grinsnap {
namespace {

class PreviewWidgetTest : public testing::Test {
protected:
  PreviewWidgetTest() {
    // No window may pop up, however the suite is started.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's device list must outlive the static application: synthetic mouse
    // events register a default pointer that the application deletes at exit.
    QInputDevice::devices();
    test::QtApp();
    SetApp(&app_);
  }
  ~PreviewWidgetTest() override { SetApp(nullptr); }

  void SetOutput(const cv::Mat& picture) {
    app_.engine.PushHistory(picture);
    app_.engine.SetHistoryPos(app_.engine.HistoryCount() - 1);
  }

  // A 400 x 300 preview showing a flat 800 x 600 output (or 400 x 300 with a region box).
  std::unique_ptr<PreviewWidget> Make(bool withRoi = false) {
    if (withRoi) {
      auto doc = TemplateDocument::FromText(
          "<t><filter name=\"SimpleTemplate\"><filter name=\"SimpleFilter\"/><roi/></filter></t>");
      TemplateRef t(CreateTemplateFromDocument(doc, "/tmp"));
      app_.engine.SetTemplate(t.get());
      roi_ = dynamic_cast<CT_SimpleTempl*>(t.get());
    }
    auto p = std::make_unique<PreviewWidget>(app_.engine);
    p->resize(400, 300);
    SetOutput(withRoi ? test::Flat(400, 300, {60, 60, 60}) : test::Flat(800, 600, {90, 90, 90}));
    p->ShowResult();
    return p;
  }

  AppContext app_;
  CT_SimpleTempl* roi_ = nullptr;
};

using test::Mouse;
using test::Wheel;

void Drag(QWidget& w, QPoint from, QPoint to) {
  Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  Mouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  Mouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void RunEvents(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

int CountRoiPixels(const QImage& img, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) n += img.pixel(x, y) == qRgb(241, 84, 230);
  return n;
}

TEST_F(PreviewWidgetTest, TheWheelZoomsAboutThePointerAndDraggingPans) {
  auto w = Make();
  const PreviewView& v = w->View();
  Wheel(*w, {100, 100}, QPoint(), Qt::ScrollEnd);  // a touchpad's empty end notice is no turn
  Drag(*w, {200, 150}, {100, 100});                // fitted: nothing to pan
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.0);
  EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);

  // J = K = 1 before the step: the origin moves by (1 - 1/1.05) px / Wc.
  Wheel(*w, {100, 100}, {0, 120});
  EXPECT_DOUBLE_EQ(v.Zoom(), 1 / 1.05);
  EXPECT_NEAR(v.OriginX(), (1 - 1 / 1.05) * 100 / 400, 1e-12);
  EXPECT_NEAR(v.OriginY(), (1 - 1 / 1.05) * 100 / 300, 1e-12);
  EXPECT_EQ(w->cursor().shape(), Qt::OpenHandCursor);
  Wheel(*w, {100, 100}, {0, -120});
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);
  w->ZoomIn();  // about the centre
  EXPECT_NEAR(v.OriginX(), (1 - 1 / 1.05) / 2, 1e-12);
  w->ZoomOut();
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);

  for (int i = 0; i < 14; ++i) w->ZoomIn();
  const double s = v.Zoom(), ox = v.OriginX(), oy = v.OriginY();
  Drag(*w, {200, 150}, {150, 120});  // pointer left and up: the view moves right and down
  EXPECT_NEAR(v.OriginX(), ox + 50.0 / 400 * s, 1e-12);
  EXPECT_NEAR(v.OriginY(), oy + 30.0 / 300 * s, 1e-12);
  EXPECT_EQ(v.Current().srcLeft, static_cast<int>(800 * v.OriginX()));
  Drag(*w, {300, 250}, {-2000, -2000});
  EXPECT_NEAR(v.OriginX(), 1 - s, 1e-12);
  EXPECT_NEAR(v.OriginY(), 1 - s, 1e-12);
  Mouse(*w, QEvent::MouseButtonPress, {200, 150}, Qt::RightButton, Qt::RightButton);
  Mouse(*w, QEvent::MouseMove, {300, 250}, Qt::NoButton, Qt::RightButton);  // only the left button pans
  EXPECT_NEAR(v.OriginX(), 1 - s, 1e-12);
}

TEST_F(PreviewWidgetTest, DropsOfPhotosAndLocalFilesAreReported) {
  auto w = Make();
  std::vector<std::pair<int, QPoint>> photos;
  std::vector<QStringList> files;
  QObject::connect(w.get(), &PreviewWidget::photoDropped, [&](int i, QPoint p) { photos.push_back({i, p}); });
  QObject::connect(w.get(), &PreviewWidget::filesDropped, [&](const QStringList& f) { files.push_back(f); });
  auto drop = [&](QMimeData& data) {
    QDragEnterEvent enter(QPoint(40, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(w.get(), &enter);
    QDropEvent e(QPointF(40, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &e);
    return enter.isAccepted();
  };
  QMimeData photo, bad, negative, urls, text, remote;
  photo.setData(kPhotoDragMimeType, "7");
  bad.setData(kPhotoDragMimeType, "seven");
  negative.setData(kPhotoDragMimeType, "-3");
  urls.setUrls({QUrl::fromLocalFile("/tmp/a b.jpg"), QUrl("https://example.com/x.png"), QUrl::fromLocalFile("/tmp/c.png")});
  text.setText("hello");
  remote.setUrls({QUrl("https://example.com/x.png")});

  EXPECT_TRUE(drop(photo));
  drop(bad);
  drop(negative);
  EXPECT_TRUE(drop(urls));
  EXPECT_FALSE(drop(text));
  EXPECT_FALSE(drop(remote));
  ASSERT_EQ(photos.size(), 1u);
  EXPECT_EQ(photos[0], std::make_pair(7, QPoint(40, 50)));
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], (QStringList{"/tmp/a b.jpg", "/tmp/c.png"}));
}

TEST_F(PreviewWidgetTest, ShowResultTakesACopyAndKeepsTheViewForTheSameSize) {
  auto w = Make();
  EXPECT_EQ(w->Picture().at<cv::Vec3b>(0, 0), cv::Vec3b(90, 90, 90));
  EXPECT_NE(w->Picture().data, app_.engine.Output().data);
  w->ZoomIn();
  SetOutput(test::Flat(800, 600, {1, 2, 3}));
  w->ShowResult();
  EXPECT_EQ(w->Picture().at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));
  EXPECT_DOUBLE_EQ(w->View().Zoom(), 1 / 1.05);
  // Another size starts from the fitted view; a grey output is shown in colour.
  SetOutput(cv::Mat(300, 200, CV_8UC1, cv::Scalar(77)));
  w->ShowResult();
  ASSERT_EQ(w->Picture().type(), CV_8UC3);
  EXPECT_EQ(w->Picture().at<cv::Vec3b>(299, 199), cv::Vec3b(77, 77, 77));
  EXPECT_DOUBLE_EQ(w->View().Zoom(), 1.0);
  // The owner's picture covers the output until it is cleared.
  w->SetPicture(test::Flat(50, 40, {200, 0, 0}));
  EXPECT_EQ(w->Picture().size(), cv::Size(50, 40));
  w->SetPicture(cv::Mat());
  EXPECT_EQ(w->Picture().size(), cv::Size(200, 300));
  app_.engine.ClearOutput();
  w->ShowResult();
  EXPECT_TRUE(w->Picture().empty());
  w->ZoomIn();  // nothing to zoom
  EXPECT_DOUBLE_EQ(w->View().Zoom(), 1.0);
  const QImage hint = w->grab().toImage();
  int ink = 0;
  for (int x = 100; x < 300; ++x) ink += hint.pixel(x, 150) != qRgb(0xf0, 0xf0, 0xf0);
  EXPECT_GT(ink, 0);
}

TEST_F(PreviewWidgetTest, BusyRunsTheAnimationTimerAndDrawsTheSpinner) {
  auto w = Make();
  const QImage idle = w->grab().toImage();
  w->SetBusy(true);
  EXPECT_TRUE(w->IsBusy());
  EXPECT_TRUE(w->BusyTimerActive());
  RunEvents(80);
  const double phase = w->BusyPhase();
  EXPECT_GT(phase, 0.0);
  EXPECT_NEAR(phase * 100, std::round(phase * 100), 1e-6);  // whole ticks of 0.01
  EXPECT_NE(w->grab().toImage(), idle);
  w->SetBusy(false);
  EXPECT_FALSE(w->IsBusy());
  EXPECT_FALSE(w->BusyTimerActive());
  RunEvents(40);
  EXPECT_DOUBLE_EQ(w->BusyPhase(), phase);
  EXPECT_EQ(w->grab().toImage(), idle);
}

TEST_F(PreviewWidgetTest, TheRegionBoxIsDrawnDashedWhereTheTemplateSays) {
  auto w = Make(true);
  ASSERT_NE(roi_, nullptr);
  // Drawn 1:1: the box covers 100..299 x 75..224, outline only.
  const QImage img = w->grab().toImage();
  const int top = CountRoiPixels(img, 90, 75, 310, 75);
  EXPECT_GT(top, 120);  // dashed: most of the 200 pixels, not all
  EXPECT_LT(top, 200);
  EXPECT_GT(CountRoiPixels(img, 100, 224, 299, 224), 0);
  EXPECT_GT(CountRoiPixels(img, 299, 75, 299, 224), 0);
  EXPECT_GT(CountRoiPixels(img, 100, 75, 100, 224), 0);
  EXPECT_EQ(CountRoiPixels(img, 101, 76, 298, 223), 0);
  EXPECT_EQ(CountRoiPixels(img, 300, 0, 399, 299) + CountRoiPixels(img, 0, 225, 399, 299), 0);
  // Zoomed, it follows the picture.
  w->ZoomIn();
  const ViewRect box = RoiToView(roi_->Params(), w->View().Geometry().imageRect);
  EXPECT_NE(box, (ViewRect{100, 75, 300, 225}));
  const QImage zoomed = w->grab().toImage();
  EXPECT_GT(CountRoiPixels(zoomed, box.left, box.top, box.right - 1, box.top), 120);
  EXPECT_EQ(CountRoiPixels(zoomed, box.left + 1, box.top + 1, box.right - 2, box.bottom - 2), 0);
  roi_->Command(kCmdShowRoi, 0, 0, nullptr);
  EXPECT_EQ(CountRoiPixels(w->grab().toImage(), 0, 0, 399, 299), 0);
}

TEST_F(PreviewWidgetTest, DraggingTheRegionBoxEditsTheTemplateInsteadOfPanning) {
  auto w = Make(true);
  ASSERT_NE(roi_, nullptr);
  std::vector<bool> changes;
  QObject::connect(w.get(), &PreviewWidget::parametersChanged, [&](bool finished) { changes.push_back(finished); });
  Mouse(*w, QEvent::MouseMove, {200, 150}, Qt::NoButton, Qt::NoButton);  // over the move zone
  EXPECT_EQ(w->cursor().shape(), Qt::SizeAllCursor);
  Mouse(*w, QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(roi_->mouseDown);
  Mouse(*w, QEvent::MouseMove, {240, 180}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(roi_->mouseX, 240);
  EXPECT_EQ(roi_->mouseY, 180);
  Mouse(*w, QEvent::MouseMove, {260, 180}, Qt::NoButton, Qt::LeftButton);
  Mouse(*w, QEvent::MouseButtonRelease, {260, 180}, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(roi_->mouseDown);
  EXPECT_EQ(changes, (std::vector<bool>{false, false, true}));
  EXPECT_NEAR(roi_->Params()[kBlockRoiX], 0.25 + 60.0 / 400, 1e-6);
  EXPECT_NEAR(roi_->Params()[kBlockRoiY], 0.25 + 30.0 / 300, 1e-6);

  // Away from the box a zoomed view pans, and the template reports nothing.
  changes.clear();
  for (int i = 0; i < 10; ++i) w->ZoomIn();
  Mouse(*w, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w->cursor().shape(), Qt::OpenHandCursor);
  const double ox = w->View().OriginX();
  Drag(*w, {5, 5}, {1, 5});
  EXPECT_NEAR(w->View().OriginX(), ox + 4.0 / 400 * w->View().Zoom(), 1e-12);
  EXPECT_TRUE(changes.empty());
}

}  // namespace
}  // namespace grinsnap
