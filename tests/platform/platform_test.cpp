#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/crt_random.h"
#include "platform/folders.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

TEST(CrtRandom, MatchesTheClassicCRuntimeSequence) {
  // The first values of the Microsoft C runtime's rand() after srand(1) and srand(0).
  CrtRandom one(1);
  const int expectedOne[] = {41, 18467, 6334, 26500, 19169, 15724};
  for (int expected : expectedOne) EXPECT_EQ(one.Next(), expected);
  CrtRandom zero(0);
  EXPECT_EQ(zero.Next(), 38);
  EXPECT_EQ(zero.Next(), 7719);
}

TEST(CrtRandom, DiscardJumpsExactlyAsFarAsDrawing) {
  for (std::uint64_t n : {0ull, 1ull, 2ull, 7ull, 1000ull, 123457ull}) {
    CrtRandom stepped(12345), jumped(12345);
    for (std::uint64_t i = 0; i < n; ++i) stepped.Next();
    jumped.Discard(n);
    EXPECT_EQ(stepped.State(), jumped.State()) << "n = " << n;
    EXPECT_EQ(stepped.Next(), jumped.Next());
  }
}

TEST(CrtRandom, StaysWithinFifteenBits) {
  CrtRandom r(987654321);
  int highest = 0;
  for (int i = 0; i < 100000; ++i) {
    int v = r.Next();
    ASSERT_GE(v, 0);
    highest = std::max(highest, v);
  }
  EXPECT_LE(highest, CrtRandom::kMax);
  EXPECT_GT(highest, 32000);
}

TEST(Paths, AcceptBothSeparators) {
  struct Case {
    const char* folder;
    const char* name;
    const char* expected;
  } cases[] = {
      {"/data/tmpl", ".\\media\\Configurations\\face.xml", "/data/tmpl/media/Configurations/face.xml"},
      {"/data/tmpl", "./frame/bg.png", "/data/tmpl/frame/bg.png"},
      {"/data/tmpl", "tex\\paper.jpg", "/data/tmpl/tex/paper.jpg"},
      {"/data/tmpl", "a/../b/./c.png", "/data/tmpl/b/c.png"},
      // A resource never lies outside its template's folder.
      {"/data/tmpl", "/abs/pic.png", ""},
      {"/data/tmpl", "..\\shared\\x.png", ""},
      {"/data/tmpl", "a\\..\\..\\x.png", ""},
      {"/data/tmpl", ".", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveDataPath(c.folder, c.name).string(), c.expected) << c.name;
  EXPECT_TRUE(ResolveDataPath("/data", "").empty());
  EXPECT_EQ(NormalizeSeparators("a\\b/c\\"), "a/b/c/");
}

// Sets an environment variable for the scope of a test.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, hadOld_ = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (hadOld_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

TEST(Folders, FollowTheXdgVariablesAndFallBackBelowHome) {
  ScopedEnv home("HOME", "/home/tester");
  {
    ScopedEnv data("XDG_DATA_HOME", "/xdg/data");
    ScopedEnv config("XDG_CONFIG_HOME", "/xdg/config");
    ScopedEnv docs("XDG_DOCUMENTS_DIR", "/xdg/docs");
    EXPECT_EQ(AppDataFolder(), "/xdg/data/Velmora/Grinsnap");
    EXPECT_EQ(SettingsFile(), "/xdg/config/Velmora/Grinsnap.ini");
    EXPECT_EQ(DocumentsFolder(), "/xdg/docs");
  }
  {
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv docs("XDG_DOCUMENTS_DIR", nullptr);
    EXPECT_EQ(AppDataFolder(), "/home/tester/.local/share/Velmora/Grinsnap");
    EXPECT_EQ(SettingsFile(), "/home/tester/.config/Velmora/Grinsnap.ini");
    EXPECT_EQ(DocumentsFolder(), "/home/tester/Documents");
  }
}

TEST(Folders, ProgramDataFolderCanBeOverridden) {
  ScopedEnv dir("GRINSNAP_DATA_DIR", "/opt/grinsnap-data");
  EXPECT_EQ(ProgramDataFolder(), "/opt/grinsnap-data");
}

TEST(Folders, ProgramDataFolderIsFoundBesideTheBuiltOrInstalledProgram) {
  // Folders of a tree below `root` holding a config.cfg, the executable's
  // folder, and the data folder it must find ("" for the configured prefix).
  struct Case {
    const char* name;
    std::vector<const char*> marked;
    const char* exeFolder;
    const char* expected;
  } cases[] = {
      {"build tree", {"build/bin"}, "build/bin", "build/bin"},
      {"installed prefix", {"prefix/share/grinsnap"}, "prefix/bin", "prefix/share/grinsnap"},
      {"build tree wins", {"both/bin", "both/share/grinsnap"}, "both/bin", "both/bin"},
      {"a folder named config.cfg is no data", {}, "odd/bin", ""},
      {"nothing beside", {}, "bare/bin", ""},
  };
  const std::filesystem::path root = test::FreshFolder("program-data-folder");
  const std::filesystem::path configured =
      ProgramDataFolderFor(root / "nowhere/bin");  // the configured prefix's share folder
  EXPECT_EQ(configured.filename(), "grinsnap");
  EXPECT_EQ(configured.parent_path().filename(), "share");
  std::filesystem::create_directories(root / "odd/bin/config.cfg");
  for (const Case& c : cases) {
    std::filesystem::create_directories(root / c.exeFolder);
    for (const char* folder : c.marked) {
      std::filesystem::create_directories(root / folder);
      std::ofstream(root / folder / "config.cfg") << "<config/>";
    }
    const std::filesystem::path expected = *c.expected ? root / c.expected : configured;
    EXPECT_EQ(ProgramDataFolderFor(root / c.exeFolder), expected) << c.name;
  }
}

TEST(Messages, KeepTheirNumericIds) {
  EXPECT_EQ(kMsgResultReady, 0x400u + 100);
  EXPECT_EQ(kMsgGifProgress, 0xCDCu);
  EXPECT_EQ(kMsgPhotoDropped, 0x400u + 2267);
}

TEST(RecordingMessageTarget, RecordsPostsAndSendsAndWakesAWaiter) {
  RecordingMessageTarget target;
  std::thread worker([&] { target.Post(kMsgResultReady, 7, -1); });
  EXPECT_TRUE(target.WaitFor(kMsgResultReady, 5000));
  worker.join();
  target.Send(kMsgPaneRefresh, 1, 2);
  const std::vector<RecordedMessage> expected = {{kMsgResultReady, 7, -1, false}, {kMsgPaneRefresh, 1, 2, true}};
  EXPECT_EQ(target.Messages(), expected);
  EXPECT_FALSE(target.WaitFor(kMsgGifProgress, 1));
}

TEST(RecordingTimerService, TracksActiveTimers) {
  RecordingTimerService timers;
  timers.SetTimer(kTimerMeshRotation, 20);
  EXPECT_TRUE(timers.IsActive(kTimerMeshRotation));
  timers.KillTimer(kTimerMeshRotation);
  EXPECT_FALSE(timers.IsActive(kTimerMeshRotation));
  ASSERT_EQ(timers.Events().size(), 2u);
  EXPECT_EQ(timers.Events()[0], (TimerEvent{43, 20}));
}

}  // namespace
}  // namespace grinsnap
