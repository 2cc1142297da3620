#include <chrono>
#include <random>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "core/process_engine.h"
#include "core/template_document.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "test_support/gate_filter.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

using test::CF_TestGate;

class EngineTest : public testing::Test {
protected:
  void SetUp() override {
    CF_TestGate::Shared().Reset();
    engine_.SetNotifyWindow(&notify_);
    engine_.SetMainWindow(&main_);
    engine_.SetPhotoListWindow(&photoList_);
    engine_.SetViewRect({0, 0, 40, 30});
  }

  // Photos of flat colours (value 10 * (i + 1)) written as files, appended.
  void AddPhotos(int count, const std::string& folderName = "engine_photos") {
    const auto folder = test::FreshFolder(folderName);
    for (int i = 0; i < count; ++i) {
      const auto path = folder / ("photo" + std::to_string(i) + ".png");
      const auto value = static_cast<uchar>(10 * (i + 1));
      ASSERT_TRUE(cv::imwrite(path.string(), test::Flat(64 + i, 48, {value, value, value})));
      engine_.InsertPhoto(-1, PhotoItem(path));
    }
  }

  static CEffectTemplate* MakeTemplate(const char* text) {
    auto document = TemplateDocument::FromText(text);
    return CreateTemplateFromDocument(document, test::TempHome());
  }

  // Installs a fresh gate template in the engine (the engine holds the only reference).
  void UseGateTemplate() {
    TemplateRef gate(MakeTemplate(test::kGateTemplateDocument));
    ASSERT_TRUE(gate);
    engine_.SetTemplate(gate.get());
  }

  int Count(std::uint32_t message) const {
    int n = 0;
    for (const RecordedMessage& m : notify_.Messages()) n += m.message == message;
    return n;
  }

  RecordingMessageTarget notify_, main_, photoList_;
  CProcessEngine engine_;
};

std::string IdsOf(CProcessEngine& engine) {
  std::string ids;
  for (int i = 0; i < engine.GetPhotoCount(); ++i) ids += std::to_string(engine.GetPhoto(i).PhotoId());
  return ids;
}

TEST_F(EngineTest, InsertingKeepsIdsCurrentPhotoAndInputsRight) {
  AddPhotos(3);
  EXPECT_EQ(IdsOf(engine_), "012");
  engine_.SelectSingleInput(1);
  ASSERT_EQ(engine_.CurrentPhoto(), 1);

  const PhotoItem inserted(test::TempHome() / "none.png");
  engine_.InsertPhoto(1, inserted);
  EXPECT_EQ(engine_.CurrentPhoto(), 2);
  EXPECT_EQ(engine_.InputPhotoIndices(), std::vector<int>{2});
  EXPECT_EQ(inserted.PhotoId(), 1) << "copies in the list share the id";
  EXPECT_EQ(IdsOf(engine_), "0123");

  engine_.InsertPhoto(99, inserted);  // clamped to the end
  EXPECT_EQ(engine_.GetPhotoCount(), 5);
  EXPECT_EQ(engine_.CurrentPhoto(), 2);
  engine_.InsertPhoto(-1, inserted);
  EXPECT_EQ(engine_.GetPhotoCount(), 6);
  EXPECT_TRUE(engine_.GetPhoto(6).IsEmpty());
  EXPECT_TRUE(engine_.GetPhoto(-1).IsEmpty());
  EXPECT_FALSE(engine_.ReplacePhoto(6, inserted));
}

TEST_F(EngineTest, RemovingAPhotoRemovesItsInputAndRenumbers) {
  AddPhotos(5);
  engine_.AddInput(1);
  engine_.AddInput(3);
  engine_.AddInput(4);
  engine_.SetCurrentPhoto(4);
  const PhotoItem removed = engine_.GetPhoto(3);

  engine_.RemovePhoto(3);
  EXPECT_EQ(removed.PhotoId(), -1);
  EXPECT_EQ(IdsOf(engine_), "0123");
  EXPECT_EQ(engine_.CurrentPhoto(), 3);
  EXPECT_EQ(engine_.InputPhotoIndices(), (std::vector<int>{1, 3}));
  ASSERT_EQ(engine_.GetInputCount(), 2);
  EXPECT_EQ(engine_.GetInput(0).WorkingImage().at<cv::Vec3b>(0, 0)[0], 20);
  EXPECT_EQ(engine_.GetInput(1).WorkingImage().at<cv::Vec3b>(0, 0)[0], 50);

  engine_.RemovePhoto(7);  // out of range: nothing
  EXPECT_EQ(engine_.GetPhotoCount(), 4);
}

TEST_F(EngineTest, TheLastInputOfAnEmptiedListStays) {
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  engine_.RemovePhoto(0);
  EXPECT_EQ(engine_.GetPhotoCount(), 0);
  EXPECT_EQ(engine_.GetInputCount(), 1);
  EXPECT_TRUE(engine_.InputPhotoIndices().empty());

  engine_.RemoveAllPhotos();
  EXPECT_EQ(engine_.CurrentPhoto(), 0);
  engine_.AddInput(0);  // nothing to add from an empty list
  engine_.SelectSingleInput(3);
  EXPECT_EQ(engine_.GetInputCount(), 1);
}

TEST_F(EngineTest, MovingAPhotoMovesCurrentPhotoAndInputsWithIt) {
  struct Case {
    int from, to, current, expectedCurrent;
    const char* order;  // photo values / 10 - 1 after the move
  } cases[] = {
      {2, 5, 2, 4, "0134256"},  // forward: lands before position 5
      {5, 1, 5, 1, "0512346"},  // backward
      {2, 5, 3, 2, "0134256"},  // photos between shift back
      {5, 1, 1, 2, "0512346"},  // photos between shift forward
      {0, 7, 6, 5, "1234560"},  // to the end
      {3, 3, 3, 3, "0123456"},  // no move
      {3, 4, 3, 3, "0123456"},  // before the next one: no move
      {6, -4, 0, 1, "6012345"},  // clamped to the front
  };
  for (const Case& c : cases) {
    engine_.RemoveAllPhotos();
    engine_.ClearInputs();
    AddPhotos(7, "move");
    engine_.AddInput(c.current);
    engine_.SetCurrentPhoto(c.current);
    engine_.MovePhoto(c.from, c.to);
    std::string order;
    for (int i = 0; i < 7; ++i) order += std::to_string(engine_.GetPhoto(i).WorkingImage().at<cv::Vec3b>(0, 0)[0] / 10 - 1);
    EXPECT_EQ(order, c.order) << c.from << "->" << c.to;
    EXPECT_EQ(engine_.CurrentPhoto(), c.expectedCurrent) << c.from << "->" << c.to;
    EXPECT_EQ(engine_.InputPhotoIndices(), std::vector<int>{c.expectedCurrent}) << c.from << "->" << c.to;
    EXPECT_EQ(IdsOf(engine_), "0123456");
  }
}

TEST_F(EngineTest, WithoutATemplateApplyFinishesWithNothing) {
  engine_.SetRequestTag(5);
  EXPECT_TRUE(engine_.Apply());
  EXPECT_EQ(engine_.RequestTag(), 0);
  EXPECT_TRUE(engine_.Output().empty());
  engine_.Refresh();
  EXPECT_TRUE(engine_.ApplyHistoryRun());
}

TEST_F(EngineTest, ASynchronousTemplateRunsAtThePreviewSize) {
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  CF_TestGate::Shared().background = false;
  CF_TestGate::Shared().OpenGate();
  CF_TestGate::Shared().tag = 9;
  UseGateTemplate();
  engine_.SetRequestTag(3);
  EXPECT_TRUE(engine_.Apply());
  EXPECT_EQ(engine_.RequestTag(), 0);
  ASSERT_FALSE(engine_.Output().empty());
  EXPECT_EQ(engine_.Output().size(), cv::Size(40, 30));
  EXPECT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 9);
  EXPECT_NE(engine_.Output().data, engine_.Template()->GetOutput()->data) << "the engine keeps a clone";
  EXPECT_EQ(Count(kMsgResultReady), 0) << "callers of a synchronous run send the message themselves";

  // Refresh writes into the same buffer.
  const uchar* buffer = engine_.Output().data;
  CF_TestGate::Shared().tag = 11;
  engine_.Refresh();
  EXPECT_EQ(engine_.Output().data, buffer);
  EXPECT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 11);

  // An empty view asks for the natural size.
  engine_.SetViewRect({});
  engine_.Apply();
  EXPECT_EQ(engine_.Output().size(), cv::Size(64, 48));
}

TEST_F(EngineTest, ApplyingTwiceCancelsTheFirstRunAndPostsOnlyTheSecond) {
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  UseGateTemplate();
  CF_TestGate::Control& gate = CF_TestGate::Shared();

  gate.tag = 1;
  engine_.SetRequestTag(101);
  EXPECT_FALSE(engine_.Apply());
  EXPECT_TRUE(engine_.IsBusy());
  ASSERT_TRUE(gate.WaitEntered(1, 5000));

  gate.tag = 2;
  engine_.SetRequestTag(102);
  EXPECT_FALSE(engine_.Apply());  // cancels and joins run 1 first
  ASSERT_TRUE(gate.WaitEntered(2, 5000));
  {
    std::lock_guard lock(gate.mutex);
    EXPECT_TRUE(gate.runs[1].aborted);
  }
  EXPECT_EQ(Count(kMsgResultReady), 0);

  gate.OpenGate();
  ASSERT_TRUE(notify_.WaitFor(kMsgResultReady, 5000));
  engine_.ClearOutput();  // joins the finished worker
  EXPECT_FALSE(engine_.IsBusy());
  const auto messages = notify_.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], (RecordedMessage{kMsgResultReady, 102, 0, false}));
  EXPECT_EQ(main_.Messages(), (std::vector<RecordedMessage>{{kMsgCommandState600, 1, 5, false},
                                                            {kMsgCommandState600, 0, 4, false}}));
  EXPECT_EQ(engine_.RequestTag(), 0);
}

TEST_F(EngineTest, ABackgroundResultIsKeptAndTheFilterRunsAgainAfterACancel) {
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  UseGateTemplate();
  CF_TestGate::Control& gate = CF_TestGate::Shared();
  gate.tag = 1;
  engine_.Apply();
  ASSERT_TRUE(gate.WaitEntered(1, 5000));
  engine_.ClearOutput();  // cancels
  EXPECT_TRUE(engine_.Output().empty());

  // The abort flag was cleared after the join: the next run is not cut short.
  gate.OpenGate();
  gate.tag = 7;
  engine_.Apply();
  ASSERT_TRUE(notify_.WaitFor(kMsgResultReady, 5000));
  while (engine_.IsBusy()) std::this_thread::yield();
  ASSERT_FALSE(engine_.Output().empty());
  EXPECT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 7);
  std::lock_guard lock(gate.mutex);
  EXPECT_TRUE(gate.runs[7].finished);
}

TEST_F(EngineTest, ARunThatRunsOutOfMemoryFailsWithAReasonOnEitherThread) {
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  CF_TestGate::Control& gate = CF_TestGate::Shared();
  gate.OpenGate();
  for (bool background : {false, true}) {
    SCOPED_TRACE(background ? "worker" : "interface thread");
    gate.background = background;
    gate.runOutOfMemory = true;
    UseGateTemplate();
    engine_.SetRequestTag(31);
    if (!engine_.Apply()) {
      ASSERT_TRUE(notify_.WaitFor(kMsgResultReady, 5000));
      engine_.WaitForResult();
      EXPECT_EQ(notify_.Messages().back().wParam, 31u);  // the interface hears of it and stops waiting
    }
    EXPECT_TRUE(engine_.LastResult().IsFailed());
    EXPECT_NE(engine_.LastResult().message.find("memory"), std::string::npos) << engine_.LastResult().message;
    EXPECT_TRUE(engine_.Output().empty());
    // The program goes on: the next run renders.
    gate.runOutOfMemory = false;
    if (!engine_.Apply()) engine_.WaitForResult();
    EXPECT_TRUE(engine_.LastResult().IsFinished());
    EXPECT_FALSE(engine_.Output().empty());
    notify_.Clear();
  }
}

TEST_F(EngineTest, UndoAndRedoStepThroughTheHistory) {
  for (int i = 1; i <= 3; ++i) engine_.PushHistory(test::Flat(4, 4, {uchar(i), 0, 0}));
  ASSERT_EQ(engine_.HistoryPos(), 2);

  CF_TestGate::Shared().background = false;
  CF_TestGate::Shared().OpenGate();
  CF_TestGate::Shared().tag = 77;
  UseGateTemplate();
  engine_.SetInputsFromHistory(true);
  EXPECT_TRUE(engine_.Apply());
  EXPECT_TRUE(engine_.ApplyHistoryRun());
  EXPECT_FALSE(engine_.OutputBorrowed());
  EXPECT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 77);

  const auto shown = [&] { return engine_.Output().empty() ? -1 : engine_.Output().at<cv::Vec3b>(0, 0)[0]; };
  engine_.Undo();  // shows the current entry first
  EXPECT_EQ(engine_.Template(), nullptr);
  EXPECT_EQ(engine_.HistoryPos(), 2);
  EXPECT_EQ(shown(), 3);
  EXPECT_TRUE(engine_.OutputBorrowed());
  engine_.Undo();
  EXPECT_EQ(engine_.HistoryPos(), 1);
  EXPECT_EQ(shown(), 2);
  engine_.Undo();
  engine_.Undo();
  EXPECT_EQ(engine_.HistoryPos(), -1);
  EXPECT_EQ(shown(), -1);
  engine_.Undo();
  EXPECT_EQ(engine_.HistoryPos(), -1);
  engine_.Redo();
  EXPECT_EQ(shown(), 1);
  engine_.Redo();
  engine_.Redo();
  engine_.Redo();
  EXPECT_EQ(engine_.HistoryPos(), 2);
  EXPECT_EQ(shown(), 3);

  // A new entry after stepping back drops the entries after the current one.
  engine_.Undo();
  engine_.PushHistory(test::Flat(4, 4, {9, 0, 0}));
  EXPECT_EQ(engine_.HistoryCount(), 3);
  EXPECT_EQ(engine_.HistoryEntry(2).at<cv::Vec3b>(0, 0)[0], 9);
}

TEST_F(EngineTest, ACommittedResultIsTheCurrentEntrySoUndoStepsBack) {
  EXPECT_FALSE(engine_.CommitOutputToHistory());
  AddPhotos(1);
  engine_.SelectSingleInput(0);
  CF_TestGate::Shared().background = false;
  CF_TestGate::Shared().OpenGate();
  for (int tag : {1, 2}) {
    CF_TestGate::Shared().tag = tag;
    UseGateTemplate();
    ASSERT_TRUE(engine_.Apply());
    EXPECT_TRUE(engine_.CommitOutputToHistory());
    EXPECT_FALSE(engine_.CommitOutputToHistory()) << "already an entry";
  }
  EXPECT_EQ(engine_.HistoryCount(), 2);
  EXPECT_TRUE(engine_.OutputBorrowed());
  engine_.Undo();
  EXPECT_EQ(engine_.HistoryPos(), 0);
  EXPECT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 1);
}

TEST_F(EngineTest, HistoryEntriesCanBeChosenAndRemoved) {
  for (int i = 1; i <= 4; ++i) engine_.PushHistory(test::Flat(4, 4, {uchar(i), 0, 0}));
  const auto shown = [&] { return engine_.Output().empty() ? -1 : engine_.Output().at<cv::Vec3b>(0, 0)[0]; };
  engine_.SetHistoryPos(9);
  EXPECT_EQ(engine_.HistoryPos(), 3);
  engine_.SetHistoryPos(1);
  EXPECT_EQ(shown(), 2);
  engine_.RemoveHistoryEntry(3);  // after the current one
  EXPECT_EQ(engine_.HistoryPos(), 1);
  engine_.RemoveHistoryEntry(0);  // before it: the position follows its entry
  EXPECT_EQ(engine_.HistoryPos(), 0);
  EXPECT_EQ(shown(), 2);
  engine_.RemoveHistoryEntry(0);  // the shown one
  EXPECT_EQ(engine_.HistoryCount(), 1);
  EXPECT_EQ(engine_.HistoryPos(), 0);
  EXPECT_EQ(shown(), 3);
  engine_.RemoveHistoryEntry(0);
  EXPECT_EQ(engine_.HistoryPos(), -1);
  EXPECT_EQ(shown(), -1);
  engine_.RemoveHistoryEntry(0);  // nothing left: nothing happens
}

TEST_F(EngineTest, HistoryInputsHandThePrimaryEntryFirst) {
  for (int i = 1; i <= 3; ++i) engine_.PushHistory(test::Flat(4, 4, {uchar(i), 0, 0}));
  // The gate's output shows its first source.
  CF_TestGate::Shared().background = false;
  CF_TestGate::Shared().OpenGate();
  UseGateTemplate();
  engine_.SetInputsFromHistory(true);
  engine_.SetViewRect({});
  for (int primary : {1, 2, 0, -1, 3}) {
    engine_.SetPrimaryHistoryEntry(primary);
    ASSERT_TRUE(engine_.Apply());
    ASSERT_FALSE(engine_.Output().empty());
    const int expected = primary >= 0 && primary < 3 ? primary + 1 : 1;
    EXPECT_EQ(engine_.Output().at<cv::Vec3b>(1, 1)[0], expected) << primary;
  }
}

TEST_F(EngineTest, TheHistoryKeepsAtMostAHundredEntries) {
  for (int i = 0; i < 105; ++i) engine_.PushHistory(test::Flat(2, 2, {uchar(i), 0, 0}));
  EXPECT_EQ(engine_.HistoryCount(), CProcessEngine::kHistoryLimit);
  EXPECT_EQ(engine_.HistoryPos(), 99);
  EXPECT_EQ(engine_.HistoryEntry(0).at<cv::Vec3b>(0, 0)[0], 5);
}

TEST_F(EngineTest, AResultBecomesAPhotoAtTheFront) {
  AddPhotos(2);
  engine_.SelectSingleInput(1);
  CF_TestGate::Shared().background = false;
  CF_TestGate::Shared().OpenGate();
  CF_TestGate::Shared().tag = 66;
  UseGateTemplate();
  engine_.Apply();
  engine_.AddOutputAsPhoto();
  ASSERT_EQ(engine_.GetPhotoCount(), 3);
  EXPECT_EQ(engine_.CurrentPhoto(), 2);
  EXPECT_EQ(engine_.InputPhotoIndices(), std::vector<int>{2});
  // A later refresh rewrites the output in place; the photo keeps its own pixels.
  CF_TestGate::Shared().tag = 77;
  engine_.Refresh();
  ASSERT_EQ(engine_.Output().at<cv::Vec3b>(0, 0)[0], 77);
  PhotoItem made = engine_.GetPhoto(0);
  EXPECT_TRUE(made.path.empty());
  made.DropWorkingImage();
  EXPECT_EQ(made.WorkingImage().at<cv::Vec3b>(0, 0)[0], 66);
  // It survives a rebuild, as after an edit.
  made.DropWorkingImage();
  made.rotation = 1;
  EXPECT_EQ(made.WorkingImage().size(), cv::Size(30, 40));
}

TEST_F(EngineTest, UpdatingAPhotoReplacesItsInputAndTheListEntry) {
  AddPhotos(3);
  engine_.SetThumbnailSize(20, 20);
  engine_.SelectSingleInput(2);
  engine_.AddInput(0);
  PhotoItem edited = engine_.GetPhoto(0);
  edited.rotation = 1;
  engine_.UpdatePhotoAndInput(0, edited, true);

  EXPECT_EQ(engine_.GetInput(1).WorkingImage().size(), cv::Size(48, 64)) << "the input with the same id";
  EXPECT_EQ(engine_.GetInput(0).WorkingImage().size(), cv::Size(66, 48));
  const PhotoItem stored = engine_.GetPhoto(0);
  EXPECT_EQ(stored.rotation, 1);
  EXPECT_TRUE(stored.workingImage.empty()) << "the list does not keep working images";
  EXPECT_EQ(stored.thumbnail.size(), cv::Size(15, 20));
}

TEST_F(EngineTest, ThumbnailsFitTheirBoxes) {
  AddPhotos(2);
  std::filesystem::path path;
  const cv::Mat thumb = engine_.MakeThumbnail(1, &path);
  EXPECT_EQ(thumb.size(), cv::Size(90, 66));
  EXPECT_EQ(path.filename(), "photo1.png");
  EXPECT_TRUE(engine_.MakeThumbnail(2).empty());

  engine_.PushHistory(test::Flat(300, 100, {1, 2, 3}));
  engine_.SetInputsFromHistory(true);
  EXPECT_EQ(engine_.MakeThumbnail(0).size(), cv::Size(90, 30));
  EXPECT_TRUE(engine_.MakeThumbnail(1).empty());
}

TEST_F(EngineTest, TheThumbnailThreadFillsEveryPhotoAndStopsOnRequest) {
  AddPhotos(3);
  engine_.InsertPhoto(-1, PhotoItem(test::TempHome() / "missing.jpg"));
  engine_.SetThumbnailSize(32, 32);
  engine_.StartThumbnails();
  // Stopping waits for the thread; a second start makes the rest.
  engine_.StopThumbnails();
  engine_.StartThumbnails();
  for (int i = 0; i < 3; ++i) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine_.GetPhoto(i).thumbnail.empty() && std::chrono::steady_clock::now() < deadline)
      photoList_.WaitFor(kMsgRepaint, 100), photoList_.Clear();
    EXPECT_EQ(engine_.GetPhoto(i).thumbnail.size(), FitInside({64 + i, 48}, {32, 32}, true)) << i;
  }
  engine_.StopThumbnails();
  EXPECT_TRUE(engine_.GetPhoto(3).thumbnail.empty());
}

TEST_F(EngineTest, APhotoThatDoesNotLoadGivesNoOutputAndNoCrash) {
  engine_.InsertPhoto(-1, PhotoItem(test::TempHome() / "broken.jpg"));
  engine_.SelectSingleInput(0);
  ASSERT_EQ(engine_.GetInputCount(), 1);
  EXPECT_TRUE(engine_.GetInput(0).workingImage.empty());
  for (const char* document :
       {"<t><filter name=\"SimpleTemplate\"><filter name=\"ColorFilter\"/></filter></t>",
        "<t><filter name=\"SimpleTemplate\"><filter name=\"SunnyFilter\"/></filter></t>",
        "<t><filter name=\"SimpleTemplate\"><filter name=\"CombineFilter\"><filter name=\"MoodFilter\"/>"
        "</filter></filter></t>"}) {
    TemplateRef t(MakeTemplate(document));
    ASSERT_TRUE(t) << document;
    engine_.SetTemplate(t.get());
    if (!engine_.Apply()) {
      ASSERT_TRUE(notify_.WaitFor(kMsgResultReady, 10000)) << document;
      notify_.Clear();
      engine_.ClearInputs();  // joins through the next operation
      engine_.Refresh();
    }
    // No kernel runs: the output is missing or the black of an unsized filter.
    EXPECT_TRUE(engine_.Output().empty() || cv::countNonZero(engine_.Output().reshape(1)) == 0) << document;
    cv::Mat thumb;
    engine_.RenderTemplateThumbnail(*t, thumb);
    EXPECT_TRUE(thumb.empty() || cv::countNonZero(thumb.reshape(1)) == 0) << document;
  }
}

TEST_F(EngineTest, EditedInputsTakeTheirEditsAndLoseTheirOwnTurnAndCrop) {
  AddPhotos(3);
  engine_.SelectSingleInput(1);
  engine_.AddInput(2);
  PhotoItem turned = engine_.GetInput(1);
  turned.rotation = 2;
  turned.crop = {0, 0, 0.5f, 0.5f};
  engine_.UpdatePhotoAndInput(1, turned, true);

  engine_.BeginEditingInputs();
  ASSERT_EQ(engine_.ImageObj().Nodes().size(), 2u);
  EXPECT_NE(engine_.GetPhoto(1).node, nullptr) << "the photo keeps its new node";
  // The dialog turns the first input and leaves the second alone.
  PhotoEdits edits;
  edits.quarterTurns = 1;
  CImageObj::SetEdits(engine_.ImageObj().Nodes()[0], edits, engine_.GetInput(0).editRecord.get());

  EXPECT_EQ(engine_.FinishEditingInputs(), 1);
  EXPECT_TRUE(engine_.ImageObj().Nodes().empty());
  EXPECT_EQ(engine_.GetInput(0).WorkingImage().size(), cv::Size(48, 65));
  EXPECT_FALSE(engine_.GetInput(0).editRecord->modified);
  EXPECT_EQ(engine_.GetPhoto(1).rotation, 0);
  EXPECT_EQ(engine_.GetInput(1).rotation, 2) << "an input the dialog did not change keeps its own turn";
  EXPECT_EQ(engine_.GetInput(1).WorkingImage().size(), cv::Size(33, 24));
}

// Many background runs, each cancelled by the next after a random short
// time, while the thumbnail thread works and inputs change. Under the tsan
// preset this also checks for data races; the test's time limit catches a
// deadlock.
TEST_F(EngineTest, CancellingBackgroundRunsUnderLoadPostsOnlyFinishedRuns) {
  AddPhotos(4, "stress");
  engine_.SetThumbnailSize(24, 24);
  engine_.SelectSingleInput(0);
  UseGateTemplate();
  CF_TestGate::Control& gate = CF_TestGate::Shared();
  gate.workMode = true;

  std::mt19937 random(1234);
  constexpr int kRounds = 1000;
  for (int round = 1; round <= kRounds; ++round) {
    {
      std::lock_guard lock(gate.mutex);
      gate.tag = round;
      gate.workRows = static_cast<int>(random() % 200);
    }
    engine_.SetRequestTag(round);
    engine_.Apply();
    if (round % 50 == 0) {
      engine_.SetThumbnailSize(16 + round % 3, 24);
      engine_.StartThumbnails();
    }
    if (round % 97 == 0) engine_.SelectSingleInput(round % 4);
    const auto delay = std::chrono::microseconds(random() % 400);
    const auto until = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
  }
  // The last run is not cancelled: it finishes and posts.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (engine_.IsBusy() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_FALSE(engine_.IsBusy());
  engine_.StopThumbnails();
  engine_.ClearInputs();
  std::lock_guard lock(gate.mutex);
  int posted = 0;
  for (const RecordedMessage& m : notify_.Messages()) {
    if (m.message != kMsgResultReady) continue;
    ++posted;
    const auto run = gate.runs.find(static_cast<int>(m.wParam));
    ASSERT_NE(run, gate.runs.end()) << m.wParam;
    EXPECT_TRUE(run->second.finished) << "result of cancelled run " << m.wParam << " was posted";
  }
  EXPECT_GE(posted, 1);
  EXPECT_EQ(notify_.Messages().back().wParam, static_cast<WParam>(kRounds));
  EXPECT_EQ(gate.entered, kRounds);
}

}  // namespace
}  // namespace grinsnap
