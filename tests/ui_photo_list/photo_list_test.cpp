#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QInputDevice>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/photo_list_model.h"
#include "platform/messages.h"
#include "test_support/qt_input.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/photo_list.h"

namespace grinsnap {
namespace {

constexpr int kCell = PhotoListModel::kCellLength;

// The centre of the cell shown at a position of a horizontal strip.
QPoint Cell(int position) { return QPoint(position * kCell + kCell / 2, kCell / 2); }

using test::Click;
using test::Mouse;
using test::RightClick;
using test::Wheel;

// Drags a payload onto the widget and drops it, as the drag manager delivers
// it (the drop goes to the widget that accepted the drag's entry). Returns
// whether the drop was accepted.
bool DropAt(QWidget& widget, const QByteArray& payload, QPoint pos) {
  QMimeData mime;
  mime.setData(kPhotoDragMimeType, payload);
  QDragEnterEvent enter(pos, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &enter);
  QDropEvent drop(QPointF(pos), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &drop);
  return drop.isAccepted();
}

// Runs a context-menu command the way choosing it in the open menu does.
void Command(PhotoList& list, int commandId) {
  QAction* action = list.CommandAction(commandId);
  ASSERT_NE(action, nullptr) << commandId;
  action->trigger();
  for (QMenu* menu : list.findChildren<QMenu*>()) menu->hide();
}

class PhotoListTest : public testing::Test {
protected:
  void SetUp() override {
    // The mouse events below make Qt create its pointing device as a child
    // of the application, which is a function-local static. The device
    // unregisters itself from Qt's device list when the application goes at
    // exit, so that list must be made first to be destroyed last.
    static const bool deviceListFirst = !QInputDevice::devices().isEmpty();
    (void)deviceListFirst;
    test::QtApp();
    SetApp(&app_);
  }
  void TearDown() override { SetApp(nullptr); }

  // Photos "p0".."p<n-1>" of distinct colours, with their thumbnails made,
  // so that drawing does not wait for the thumbnail thread.
  void AddPhotos(int count) {
    const auto folder = test::FreshFolder("photo_list_" + std::to_string(count));
    for (int i = 0; i < count; ++i) {
      const auto path = folder / ("p" + std::to_string(i) + ".png");
      cv::imwrite(path.string(), test::Flat(24, 16, cv::Vec3b(40, 80, static_cast<uchar>(30 * i))));
      PhotoItem item(path);
      item.MakeThumbnail(80, 80);
      item.DropWorkingImage();
      engine().InsertPhoto(-1, item);
    }
  }
  std::vector<std::string> PhotoNames() {
    std::vector<std::string> names;
    for (int i = 0; i < engine().GetPhotoCount(); ++i) names.push_back(engine().GetPhoto(i).path.stem().string());
    return names;
  }
  CProcessEngine& engine() { return app_.engine; }

  // A list over the engine, with what it signals written to log_.
  std::unique_ptr<PhotoList> MakeList(int width = 450) {
    auto list = std::make_unique<PhotoList>(engine());
    engine().SetPhotoListWindow(&list->Target());
    list->resize(width, kCell + 10);
    list->show();
    list->Reload();
    QObject::connect(list.get(), &PhotoList::photoClicked, [this](int i) { log_.push_back("clicked " + std::to_string(i)); });
    QObject::connect(list.get(), &PhotoList::runTemplate, [this] { log_.push_back("run"); });
    QObject::connect(list.get(), &PhotoList::historyChosen,
                     [this](int k) { log_.push_back("history " + std::to_string(k)); });
    QObject::connect(list.get(), &PhotoList::photosRemoved, [this] { log_.push_back("removed"); });
    QObject::connect(list.get(), &PhotoList::commandState, [this](std::uint32_t message, int wParam) {
      log_.push_back("state " + std::to_string(message) + " " + std::to_string(wParam));
    });
    return list;
  }
  std::vector<std::string> TakeLog() { return std::exchange(log_, {}); }

  static std::string State(std::uint32_t message, int wParam) {
    return "state " + std::to_string(message) + " " + std::to_string(wParam);
  }

  AppContext app_;
  std::vector<std::string> log_;
};

using Inputs = std::vector<int>;

TEST_F(PhotoListTest, ClickChoosesTheSingleInput) {
  AddPhotos(3);
  auto list = MakeList();
  Click(*list, Cell(1));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{1});
  EXPECT_EQ(engine().GetInputCount(), 1);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"clicked 1", "run"}));

  // The only selected photo again: clicked, but the template does not run.
  Click(*list, Cell(1));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"clicked 1"});

  Click(*list, Cell(2));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{2});
  EXPECT_EQ(engine().CurrentPhoto(), 2);
  EXPECT_EQ(list->CurrentPhoto(), 2);
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"clicked 2", "run"}));

  // Past the last photo nothing is clicked.
  Click(*list, Cell(4));
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{2});
}

TEST_F(PhotoListTest, CtrlClickAddsEachPhotoOnce) {
  AddPhotos(4);
  auto list = MakeList();
  Click(*list, Cell(0));
  Click(*list, Cell(3), Qt::ControlModifier);
  Click(*list, Cell(1), Qt::ControlModifier);
  EXPECT_EQ(engine().InputPhotoIndices(), (Inputs{0, 3, 1}));
  EXPECT_EQ(engine().GetInputCount(), 3);
  EXPECT_EQ(list->Selection(), (Inputs{0, 3, 1}));
  TakeLog();

  // Already selected: nothing changes and nothing runs.
  Click(*list, Cell(3), Qt::ControlModifier);
  EXPECT_EQ(engine().InputPhotoIndices(), (Inputs{0, 3, 1}));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"clicked 3"});

  // A plain click goes back to one input.
  Click(*list, Cell(3));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{3});
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"clicked 3", "run"}));
}

TEST_F(PhotoListTest, SmallDragIsAClick) {
  AddPhotos(3);
  auto list = MakeList();
  const QPoint start = Cell(1);
  const QPoint end = start + QPoint(3, -3);
  Mouse(*list, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  Mouse(*list, QEvent::MouseMove, start + QPoint(2, 0), Qt::NoButton, Qt::LeftButton);
  Mouse(*list, QEvent::MouseMove, end, Qt::NoButton, Qt::LeftButton);
  Mouse(*list, QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{1});
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"clicked 1", "run"}));
}

TEST_F(PhotoListTest, DeleteTheOnlySelectedPhotoMakesPhotoZeroTheInput) {
  AddPhotos(3);
  auto list = MakeList();
  Click(*list, Cell(2));
  RightClick(*list, Cell(2));
  EXPECT_EQ(list->CurrentPhoto(), 2);
  TakeLog();
  Command(*list, kCmdDeletePhoto);
  EXPECT_EQ(PhotoNames(), (std::vector<std::string>{"p0", "p1"}));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{0});
  EXPECT_EQ(engine().GetInputCount(), 1);
  EXPECT_EQ(engine().GetInput(0).path.stem(), "p0");
  EXPECT_EQ(list->Selection(), Inputs{0});
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"removed", State(kMsgCommandState300, 6)}));

  // Deleting an unselected photo keeps the input, shifted down.
  Click(*list, Cell(1));
  RightClick(*list, Cell(0));
  Command(*list, kCmdDeletePhoto);
  EXPECT_EQ(PhotoNames(), std::vector<std::string>{"p1"});
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{0});
  EXPECT_EQ(engine().GetInput(0).path.stem(), "p1");
}

TEST_F(PhotoListTest, DeleteSelectionThenDeleteAll) {
  AddPhotos(5);
  auto list = MakeList();
  Click(*list, Cell(3));
  Click(*list, Cell(1), Qt::ControlModifier);
  Click(*list, Cell(4), Qt::ControlModifier);
  TakeLog();
  RightClick(*list, Cell(0));
  Command(*list, kCmdDeleteSelection);
  EXPECT_EQ(PhotoNames(), (std::vector<std::string>{"p0", "p2"}));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{0});
  EXPECT_EQ(engine().GetInput(0).path.stem(), "p0");
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"removed", State(kMsgCommandState300, 6)}));

  RightClick(*list, Cell(1));
  Command(*list, kCmdDeleteAllPhotos);
  EXPECT_EQ(engine().GetPhotoCount(), 0);
  EXPECT_EQ(list->CurrentPhoto(), -1);
  EXPECT_TRUE(list->Selection().empty());
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"removed", State(kMsgCommandState800, 0),
                                                 State(kMsgCommandState600, 4)}));
  // A right click on the empty strip opens nothing and remembers nothing.
  RightClick(*list, Cell(0));
  EXPECT_EQ(list->CurrentPhoto(), -1);
}

TEST_F(PhotoListTest, MenusCarryTheirCommands) {
  auto list = MakeList();
  struct Case {
    int command;
    const char* caption;
  } cases[] = {
      {kCmdDeletePhoto, "Delete"},
      {kCmdDeleteSelection, "Delete Selection"},
      {kCmdDeleteAllPhotos, "Delete All"},
      {kCmdHistoryAddToInput, "Add to Input List"},
      {kCmdHistoryDelete, "Delete"},
  };
  for (const Case& c : cases) {
    QAction* action = list->CommandAction(c.command);
    ASSERT_NE(action, nullptr) << c.command;
    EXPECT_EQ(action->text().toStdString(), c.caption);
  }
  EXPECT_EQ(list->CommandAction(1), nullptr);
}

class HistoryTest : public PhotoListTest {
protected:
  // Entries 0, 1, 2 in blue, green and red.
  void AddHistory() {
    for (const cv::Vec3b& colour : {cv::Vec3b(255, 0, 0), cv::Vec3b(0, 255, 0), cv::Vec3b(0, 0, 255)})
      engine().PushHistory(test::Flat(60, 40, colour));
  }
};

TEST_F(HistoryTest, ShowsTheNewestFirst) {
  AddHistory();
  auto list = MakeList();
  list->SetMode(PhotoListModel::kHistoryMode);
  EXPECT_EQ(list->ItemAt(Cell(0)), 2);
  EXPECT_EQ(list->ItemAt(Cell(2)), 0);
  EXPECT_EQ(list->ItemAt(Cell(3)), -1);

  // What is drawn agrees: the newest entry (red) comes first.
  const QImage shot = list->grab().toImage();
  EXPECT_EQ(shot.pixelColor(Cell(0)), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(Cell(1)), QColor(0, 255, 0));
  EXPECT_EQ(shot.pixelColor(Cell(2)), QColor(0, 0, 255));

  // The current entry (the newest) clicked again does nothing; the oldest
  // becomes the engine's position.
  Click(*list, Cell(0));
  EXPECT_TRUE(TakeLog().empty());
  Click(*list, Cell(2));
  EXPECT_EQ(engine().HistoryPos(), 0);
  EXPECT_EQ(list->CurrentHistory(), 0);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"history 0"});
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{});
}

TEST_F(HistoryTest, AddToInputListAndDelete) {
  AddPhotos(2);
  AddHistory();
  auto list = MakeList();
  Click(*list, Cell(1));
  list->SetMode(PhotoListModel::kHistoryMode);

  RightClick(*list, Cell(1));  // entry 1, green
  EXPECT_EQ(list->CurrentHistory(), 1);
  Command(*list, kCmdHistoryAddToInput);
  ASSERT_EQ(engine().GetPhotoCount(), 3);
  PhotoItem added = engine().GetPhoto(0);
  EXPECT_TRUE(added.path.empty());
  EXPECT_EQ(added.WorkingImage().at<cv::Vec3b>(0, 0), cv::Vec3b(0, 255, 0));
  // The selected photo moved up with the insertion, in the list and in the engine.
  EXPECT_EQ(list->Selection(), Inputs{2});
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{2});

  RightClick(*list, Cell(0));  // entry 2, the newest
  TakeLog();
  Command(*list, kCmdHistoryDelete);
  EXPECT_EQ(engine().HistoryCount(), 2);
  EXPECT_EQ(list->CurrentHistory(), 1);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{State(kMsgCommandState300, 6)});
  EXPECT_EQ(list->ItemAt(Cell(0)), 1);
  EXPECT_EQ(list->ItemAt(Cell(2)), -1);
}

TEST_F(PhotoListTest, DropOnTheStripMovesThePhoto) {
  AddPhotos(4);
  auto list = MakeList();
  Click(*list, Cell(0));
  Click(*list, Cell(2), Qt::ControlModifier);
  // Dropped just after photo 2: gap 3.
  EXPECT_TRUE(DropAt(*list, "0", QPoint(3 * kCell - 10, 40)));
  EXPECT_EQ(PhotoNames(), (std::vector<std::string>{"p1", "p2", "p0", "p3"}));
  EXPECT_EQ(list->Selection(), (Inputs{2, 1}));
  EXPECT_EQ(engine().InputPhotoIndices(), (Inputs{2, 1}));

  // A payload that names no photo is refused.
  EXPECT_FALSE(DropAt(*list, "9", QPoint(10, 40)));
  EXPECT_FALSE(DropAt(*list, "one", QPoint(10, 40)));
  EXPECT_EQ(PhotoNames(), (std::vector<std::string>{"p1", "p2", "p0", "p3"}));
}

TEST_F(PhotoListTest, WheelScrollsOnlyAStripLongerThanItsContent) {
  AddPhotos(5);
  auto list = MakeList(450);
  Wheel(*list, Cell(1), -120);
  EXPECT_EQ(list->Offset(), 0);

  AddPhotos(3);
  list->Reload();
  Wheel(*list, Cell(1), -120);
  EXPECT_EQ(list->Offset(), 20);
  Wheel(*list, Cell(1), -240);
  EXPECT_EQ(list->Offset(), 60);
  Wheel(*list, Cell(1), 120);
  EXPECT_EQ(list->Offset(), 40);
  // The hit test follows the scroll.
  EXPECT_EQ(list->ItemAt(QPoint(49, 40)), 0);
  EXPECT_EQ(list->ItemAt(QPoint(50, 40)), 1);
  EXPECT_EQ(list->ItemAt(QPoint(410, 40)), 5);

  // Choosing a photo off the end scrolls it into view.
  Click(*list, QPoint(449, 40));  // photo 5, cut off at the end
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{5});
  EXPECT_EQ(list->Offset(), 6 * kCell - 450);
}

TEST_F(PhotoListTest, VerticalStripRunsTopToBottom) {
  AddPhotos(3);
  auto list = MakeList();
  list->SetVertical(true);
  list->resize(kCell + 10, 450);
  EXPECT_EQ(list->ItemAt(QPoint(40, 2 * kCell + 5)), 2);
  EXPECT_EQ(list->ItemAt(QPoint(2 * kCell + 5, 40)), 0);
  Click(*list, QPoint(40, kCell + 40));
  EXPECT_EQ(engine().InputPhotoIndices(), Inputs{1});
}

TEST_F(PhotoListTest, DrawsThumbnailsAndMarksTheSelection) {
  const std::vector<std::string> samples{"astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg"};
  const auto folder = test::FreshFolder("photo_list_samples");
  for (std::size_t i = 0; i < 6; ++i) {
    cv::Mat photo = test::SamplePhoto(samples[i % samples.size()]);
    cv::resize(photo, photo, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
    const auto path = folder / ("s" + std::to_string(i) + ".png");
    cv::imwrite(path.string(), photo);
    PhotoItem item(path);
    item.MakeThumbnail(80, 80);
    item.DropWorkingImage();
    engine().InsertPhoto(-1, item);
  }
  auto list = MakeList(500);
  Click(*list, Cell(1));
  Click(*list, Cell(3), Qt::ControlModifier);
  Mouse(*list, QEvent::MouseMove, Cell(4), Qt::NoButton, Qt::NoButton);
  const QImage shot = list->grab().toImage();
  cv::Mat saved(shot.height(), shot.width(), CV_8UC4);
  const QImage rgba = shot.convertToFormat(QImage::Format_RGBA8888);
  for (int y = 0; y < rgba.height(); ++y) std::memcpy(saved.ptr(y), rgba.constScanLine(y), rgba.width() * 4u);
  cv::cvtColor(saved, saved, cv::COLOR_RGBA2BGR);
  test::WriteTestOutput(saved, "photo_list_strip");

  const QColor accent(0x2f, 0x7f, 0xd8);
  const QColor background(0xf0, 0xf0, 0xf0);
  // The selected cells carry an accent frame near their edge, the others do not.
  EXPECT_EQ(shot.pixelColor(kCell + 3, kCell / 2), accent);
  EXPECT_EQ(shot.pixelColor(3 * kCell + 3, kCell / 2), accent);
  EXPECT_EQ(shot.pixelColor(3, kCell / 2), background);
  EXPECT_NE(shot.pixelColor(4 * kCell + 4, kCell / 2), background);  // hovered
  EXPECT_NE(shot.pixelColor(4 * kCell + 4, kCell / 2), accent);
  // Every photo's thumbnail is drawn in its cell.
  for (int i = 0; i < 5; ++i) EXPECT_NE(shot.pixelColor(Cell(i)), background) << i;
  // The scroll bar shows: six photos do not fit into 500 pixels.
  EXPECT_NE(shot.pixelColor(10, shot.height() - 4), background);
}

}  // namespace
}  // namespace grinsnap
