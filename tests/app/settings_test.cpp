#include <climits>
#include <tuple>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/ini_file.h"
#include "app/settings.h"
#include "app/settings_storage_ini.h"
#include "app_test_util.h"
#include "platform/folders.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using test::ReadText;
using test::WriteText;

CGRSSettings NonDefaultSettings() {
  CGRSSettings s;
  s.language = "lang_deu.ini";
  s.languageAuto = false;
  s.wndLeft = -12;
  s.wndTop = 30;
  s.wndRight = 1900;
  s.wndBottom = 1000;
  s.photoShareMessage = "Line one\nline \"two\"\twith a tab \\ and ümlaut";
  s.photoTag = "  padded  ";
  s.privateShare = true;
  s.username = "user=name;[x]";
  s.password = "p\x01ss";
  s.remacc = 7;
  s.exportPath = "/home/u/Documents/Grinsnap/my picture.jpg";
  s.maximized = true;
  return s;
}

void ExpectSameValues(const CGRSSettings& a, const CGRSSettings& b) {
  EXPECT_EQ(a.language, b.language);
  EXPECT_EQ(a.languageAuto, b.languageAuto);
  EXPECT_EQ(a.WindowRect(), b.WindowRect());
  EXPECT_EQ(a.photoShareMessage, b.photoShareMessage);
  EXPECT_EQ(a.photoTag, b.photoTag);
  EXPECT_EQ(a.privateShare, b.privateShare);
  EXPECT_EQ(a.username, b.username);
  EXPECT_EQ(a.password, b.password);
  EXPECT_EQ(a.remacc, b.remacc);
  EXPECT_EQ(a.exportPath, b.exportPath);
  EXPECT_EQ(a.maximized, b.maximized);
}

TEST(Settings, DefaultsAndReset) {
  CGRSSettings s = NonDefaultSettings();
  CSettingsStorageIni unused(test::FreshFolder("settings-reset") / "never.ini");
  EXPECT_TRUE(s.Serialize(true, unused, true));
  EXPECT_FALSE(fs::exists(test::TempHome() / "scratch/settings-reset/never.ini"));
  EXPECT_EQ(s.language, "auto");
  EXPECT_TRUE(s.languageAuto);
  EXPECT_EQ(s.WindowRect(), ScreenRect{});
  EXPECT_EQ(s.photoShareMessage, "Wow, I made this picture with Grinsnap! Cool!");
  EXPECT_EQ(s.photoTag, "Grinsnap");
  EXPECT_FALSE(s.privateShare);
  EXPECT_EQ(s.username, "");
  EXPECT_EQ(s.password, "");
  EXPECT_EQ(s.remacc, 0);
  EXPECT_EQ(s.exportPath, "");
  EXPECT_FALSE(s.maximized);
}

TEST(Settings, RoundTripKeepsEveryValueAndItsType) {
  const fs::path file = test::FreshFolder("settings-roundtrip") / "Velmora" / "Grinsnap.ini";
  CGRSSettings saved = NonDefaultSettings();
  CSettingsStorageIni storage(file);
  ASSERT_TRUE(saved.Save(storage));

  CGRSSettings loaded;
  CSettingsStorageIni reader(file);
  ASSERT_TRUE(loaded.Load(reader));
  ExpectSameValues(saved, loaded);

  // Names and types as the program has always stored them.
  IniFile ini = IniFile::Parse(ReadText(file));
  const std::pair<const char*, const char*> raw[] = {
      {"language", "\"lang_deu.ini\""}, {"languageAuto", "dword:00000000"}, {"wndleft", "dword:fffffff4"},
      {"wndbottom", "dword:000003e8"},  {"Private", "dword:00000001"},      {"remacc", "dword:00000007"},
      {"PhotoTag", "\"  padded  \""},       {"wndmaximized", "dword:00000001"},
  };
  for (const auto& [name, value] : raw) {
    const std::string* found = ini.FindRaw("Grinsnap", name);
    ASSERT_NE(found, nullptr) << name;
    EXPECT_EQ(*found, value) << name;
  }
  EXPECT_EQ(fs::status(file).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
      << "the file holds a password";
}

TEST(Settings, MissingOrUnreadableValuesTakeTheirDefaults) {
  const fs::path file = test::FreshFolder("settings-partial") / "Grinsnap.ini";
  // Only the language is stored, among values of the wrong type, garbage,
  // another program's section and a duplicate key (the first one counts).
  WriteText(file,
            "[Other]\nlanguage=\"lang_xxx.ini\"\n"
            "[grinsnap]\n"
            "LANGUAGE=\"lang_deu.ini\"\n"
            "language=\"lang_fra.ini\"\n"
            "languageAuto=\"yes\"\n"
            "wndleft=dword:zz\n"
            "wndtop=dword:123456789\n"
            "PhotoTag=\"unterminated\n"
            "remacc=hex:01,02\n"
            "\x01\x02 garbage \xff\xfe\n");
  CGRSSettings s = NonDefaultSettings();
  CSettingsStorageIni storage(file);
  EXPECT_TRUE(s.Load(storage));
  CGRSSettings expected;
  expected.language = "lang_deu.ini";
  ExpectSameValues(s, expected);
}

TEST(Settings, FirstStartPlacesTheWindowAndTheExportPath) {
  const fs::path home = test::FreshFolder("settings-first");
  struct Case {
    ScreenRect workArea;
    ScreenRect expected;
  } cases[] = {
      {{0, 0, 1920, 1040}, {450, 205, 1470, 834}},
      // Centred on the work area's size, measured from the screen origin.
      {{100, 50, 1380, 1074}, {130, 197, 1150, 826}},
      // Smaller than the window: integer division truncates toward zero.
      {{0, 0, 800, 600}, {-110, -14, 910, 615}},
      {{0, 0, 1021, 630}, {0, 0, 1020, 629}},
  };
  for (const Case& c : cases) {
    CGRSSettings s;
    CSettingsStorageIni missing(home / "missing.ini");
    EXPECT_FALSE(s.LoadAtStart(missing, c.workArea, home / "Docs"));
    EXPECT_EQ(s.WindowRect(), c.expected) << c.workArea.right;
    EXPECT_EQ(s.exportPath, (home / "Docs" / "Grinsnap" / "Untitled.jpg").string());
  }

  // A stored rectangle and export path stay as they are.
  CGRSSettings stored = NonDefaultSettings();
  stored.wndLeft = stored.wndTop = stored.wndRight = 0;
  stored.wndBottom = 1;
  CSettingsStorageIni storage(home / "stored.ini");
  ASSERT_TRUE(stored.Save(storage));
  CGRSSettings s;
  EXPECT_TRUE(s.LoadAtStart(storage, {0, 0, 1920, 1080}, home / "Docs"));
  EXPECT_EQ(s.WindowRect(), (ScreenRect{0, 0, 0, 1}));
  EXPECT_EQ(s.exportPath, stored.exportPath);
}

TEST(Settings, NonsenseWindowRectanglesGiveTheFirstRunWindow) {
  const fs::path home = test::FreshFolder("settings-rect");
  const ScreenRect firstRun{450, 205, 1470, 834};
  const std::pair<ScreenRect, ScreenRect> cases[] = {
      {{-1, 0, 0x7fffffff, 700}, firstRun},          // a width beyond int
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, firstRun},
      {{500, 10, 100, 900}, firstRun},                // right of its left edge
      {{10, 900, 1000, 10}, firstRun},
      {{-3000, -20, -1000, 700}, {-3000, -20, -1000, 700}},  // a screen left of the main one
  };
  for (const auto& [stored, expected] : cases) {
    CGRSSettings s;
    std::tie(s.wndLeft, s.wndTop, s.wndRight, s.wndBottom) = std::tuple(stored.left, stored.top, stored.right,
                                                                           stored.bottom);
    CSettingsStorageIni storage(home / "Grinsnap.ini");
    ASSERT_TRUE(s.Save(storage));
    CGRSSettings loaded;
    EXPECT_TRUE(loaded.LoadAtStart(storage, {0, 0, 1920, 1040}, home));
    EXPECT_EQ(loaded.WindowRect(), expected) << stored.left << " " << stored.right;
  }
}

TEST(Settings, SavingKeepsCommentsWritesThroughLinksAndHidesThePassword) {
  const fs::path folder = test::FreshFolder("settings-keep");
  const fs::path real = folder / "dotfiles" / "Grinsnap.ini";
  WriteText(real, "; my settings, kept in git\n[Grinsnap]\n# the language I use\nlanguage=\"lang_deu.ini\"\n"
                  "; end\n");
  ::chmod(real.c_str(), 0644);
  fs::create_symlink("dotfiles/Grinsnap.ini", folder / "Grinsnap.ini");

  CGRSSettings s;
  CSettingsStorageIni storage(folder / "Grinsnap.ini");
  ASSERT_TRUE(s.Load(storage));
  s.password = "secret";
  ASSERT_TRUE(s.Save(storage)) << storage.LastError();
  EXPECT_TRUE(fs::is_symlink(folder / "Grinsnap.ini")) << "the link stays a link";
  const std::string text = ReadText(real);
  EXPECT_EQ(text.rfind("; my settings, kept in git\n[Grinsnap]\n# the language I use\nlanguage=\"lang_deu.ini\"\n"
                       "; end\n", 0), 0u) << text;
  EXPECT_NE(text.find("password=\"secret\""), std::string::npos);
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  // Saved again, the file stays the same size: nothing is added per save.
  ASSERT_TRUE(s.Save(storage));
  EXPECT_EQ(ReadText(real), text);
}

TEST(Settings, WindowRectangleNeedsAtLeast800By600) {
  CGRSSettings s;
  ASSERT_TRUE(s.StoreWindowRect({10, 10, 810, 610}));
  EXPECT_FALSE(s.StoreWindowRect({10, 10, 809, 900}));
  EXPECT_FALSE(s.StoreWindowRect({10, 10, 1000, 609}));
  EXPECT_FALSE(s.StoreWindowRect({500, 10, 100, 900}));
  EXPECT_EQ(s.WindowRect(), (ScreenRect{10, 10, 810, 610}));
}

TEST(Settings, ShareDialogRemembersTheAccountOnlyWhenTicked) {
  CGRSSettings s;
  s.TakeShareDialogResult({"anna", "secret", true, "Look!", "holiday", true});
  EXPECT_EQ(s.username, "anna");
  EXPECT_EQ(s.password, "secret");
  EXPECT_EQ(s.remacc, 1);
  ShareDialogValues shown = s.ShareDefaults();
  EXPECT_TRUE(shown.remember);
  EXPECT_EQ(shown.message, "Look!");
  EXPECT_EQ(shown.tag, "holiday");
  EXPECT_TRUE(shown.privateShare);

  shown.remember = false;
  shown.privateShare = false;
  s.TakeShareDialogResult(shown);
  EXPECT_EQ(s.username, "");
  EXPECT_EQ(s.password, "");
  EXPECT_EQ(s.remacc, 0);
  EXPECT_FALSE(s.privateShare);
}

TEST(Settings, SaveReportsAFailedWriteAndKeepsTheOldFile) {
  const fs::path folder = test::FreshFolder("settings-savefail");
  WriteText(folder / "blocker", "a file where a folder should be");
  CGRSSettings s;
  CSettingsStorageIni blocked(folder / "blocker" / "Grinsnap.ini");
  EXPECT_FALSE(s.Save(blocked));

  // A file that is a folder cannot be replaced; the folder stays.
  fs::create_directories(folder / "Grinsnap.ini");
  CSettingsStorageIni folderTarget(folder / "Grinsnap.ini");
  EXPECT_FALSE(s.Save(folderTarget));
  EXPECT_TRUE(fs::is_directory(folder / "Grinsnap.ini"));
  // The reason names the file or folder and what went wrong.
  EXPECT_NE(blocked.LastError().find((folder / "blocker").string()), std::string::npos) << blocked.LastError();
  EXPECT_NE(folderTarget.LastError().find("Grinsnap.ini"), std::string::npos) << folderTarget.LastError();
}

// A settings object with one value of every type, nested in another.
struct AllTypes : CSettings {
  std::string text = "t";
  float f = 1.5f;
  double d = -2.25;
  std::uint64_t u64 = 1;
  std::int64_t i64 = -1;
  std::uint8_t u8 = 1;
  std::int8_t i8 = -1;
  std::uint16_t u16 = 1;
  std::int16_t i16 = -1;
  std::uint32_t u32 = 1;
  std::int32_t i32 = -1;
  std::vector<std::uint8_t> block = std::vector<std::uint8_t>(2, 7);
  bool flag = false;

  bool Serialize(bool write, CSettingsStorage& st, bool) override {
    bool ok = true;
    ok &= st.Value("text", text, write);
    ok &= st.Value("f", f, write);
    ok &= st.Value("d", d, write);
    ok &= st.Value("u64", u64, write);
    ok &= st.Value("i64", i64, write);
    ok &= st.Value("u8", u8, write);
    ok &= st.Value("i8", i8, write);
    ok &= st.Value("u16", u16, write);
    ok &= st.Value("i16", i16, write);
    ok &= st.Value("u32", u32, write);
    ok &= st.Value("i32", i32, write);
    ok &= st.Value("block", block, write);
    ok &= st.Value("flag", flag, write);
    return ok;
  }
};

struct Outer : CSettings {
  AllTypes inner;
  std::vector<std::string> items;
  bool Serialize(bool write, CSettingsStorage& st, bool) override {
    bool ok = st.Value("Inner", inner, write);
    std::int32_t count = static_cast<std::int32_t>(items.size());
    std::unique_ptr<CSettingsStorage> list = st.BeginList("Recent", count, write);
    if (!list) return false;
    if (!write) items.assign(static_cast<size_t>(count), "");
    for (int i = 0; i < count; ++i) ok &= list->Value(CSettingsStorage::ListItemName(i), items[i], write);
    return ok;
  }
};

TEST(SettingsStorage, EveryTypeRoundTripsAndTypesAreChecked) {
  const fs::path file = test::FreshFolder("storage-types") / "s.ini";
  Outer saved;
  AllTypes& v = saved.inner;
  v.text = "";
  v.f = -0.1f;
  v.d = 1e300;
  v.u64 = 0xFEDCBA9876543210ull;
  v.i64 = INT64_MIN;
  v.u8 = 255;
  v.i8 = -128;
  v.u16 = 65535;
  v.i16 = -32768;
  v.u32 = 0xFFFFFFFFu;
  v.i32 = INT32_MIN;
  v.block = {};
  v.flag = true;
  saved.items = {"a", "", "c=d"};
  CSettingsStorageIni storage(file);
  ASSERT_TRUE(saved.Save(storage));

  Outer loaded;
  CSettingsStorageIni reader(file);
  ASSERT_TRUE(loaded.Load(reader));
  const AllTypes& w = loaded.inner;
  EXPECT_EQ(w.text, v.text);
  EXPECT_EQ(w.f, v.f);
  EXPECT_EQ(w.d, v.d);
  EXPECT_EQ(w.u64, v.u64);
  EXPECT_EQ(w.i64, v.i64);
  EXPECT_EQ(w.u8, v.u8);
  EXPECT_EQ(w.i8, v.i8);
  EXPECT_EQ(w.u16, v.u16);
  EXPECT_EQ(w.i16, v.i16);
  EXPECT_EQ(w.u32, v.u32);
  EXPECT_EQ(w.i32, v.i32);
  EXPECT_EQ(w.block, v.block);
  EXPECT_EQ(w.flag, v.flag);
  EXPECT_EQ(loaded.items, saved.items);

  const std::string text = ReadText(file);
  EXPECT_NE(text.find("[Grinsnap\\Inner]"), std::string::npos);
  EXPECT_NE(text.find("[Grinsnap\\Recent]"), std::string::npos);
  EXPECT_NE(text.find("Count=dword:00000003"), std::string::npos);
  EXPECT_NE(text.find("Item.2=\"c=d\""), std::string::npos);

  // Reading a value as another type, or one that does not fit, fails and
  // leaves the reference alone.
  CSettingsStorageIni typed(file, "Grinsnap\\Inner");
  ASSERT_TRUE(typed.OpenForRead());
  std::string s = "keep";
  EXPECT_FALSE(typed.Value("u8", s, false));
  EXPECT_EQ(s, "keep");
  std::uint8_t small = 9;
  EXPECT_FALSE(typed.Value("u16", small, false));
  EXPECT_FALSE(typed.Value("i8", small, false)) << "-128 is no unsigned byte";
  EXPECT_EQ(small, 9);
  float f = 3;
  EXPECT_FALSE(typed.Value("d", f, false)) << "8 bytes are no float";
  EXPECT_FALSE(typed.Value("missing", f, false));
  EXPECT_EQ(f, 3);
  EXPECT_EQ(typed.OpenNested("absent"), nullptr) << "reading does not create keys";
  EXPECT_TRUE(typed.CloseAfterRead());

  // Values of a closed storage neither read nor write.
  EXPECT_FALSE(typed.Value("text", s, false));
  EXPECT_FALSE(typed.Value("text", s, true));
}

TEST(SettingsStorage, TextEncodingRejectsMalformedValues) {
  for (const char* bad : {"", "\"", "abc", "\"abc", "\"a\"b\"", "\"a\\\"", "\"\\q\"", "\"\\x4\"", "\"\\xzz\""}) {
    std::string out = "kept";
    EXPECT_FALSE(CSettingsStorageIni::DecodeText(bad, out)) << bad;
    EXPECT_EQ(out, "kept");
  }
  const std::string all = std::string("\x00\x01\x1f\x7f \"\\\n\r\t end", 14);
  std::string back;
  ASSERT_TRUE(CSettingsStorageIni::DecodeText(CSettingsStorageIni::EncodeText(all), back));
  EXPECT_EQ(back, all);
}

TEST(SettingsStorage, UnknownValuesSurviveASave) {
  const fs::path file = test::FreshFolder("storage-keep") / "Grinsnap.ini";
  WriteText(file, "[Grinsnap]\nfuture=dword:00000005\nlanguage=\"old\"\n[Elsewhere]\nx=\"y\"\n");
  CGRSSettings s;
  CSettingsStorageIni storage(file);
  ASSERT_TRUE(s.Save(storage));
  const IniFile ini = IniFile::Parse(ReadText(file));
  EXPECT_EQ(*ini.FindRaw("Grinsnap", "future"), "dword:00000005");
  EXPECT_EQ(*ini.FindRaw("Grinsnap", "language"), "\"auto\"");
  EXPECT_EQ(*ini.FindRaw("Elsewhere", "x"), "\"y\"");
}

TEST(Settings, DefaultStorageIsThePerUserSettingsFile) {
  const fs::path file = test::TempHome() / ".config" / "Velmora" / "Grinsnap.ini";
  fs::remove_all(file.parent_path());
  CGRSSettings s = NonDefaultSettings();
  CSettingsStorageIni storage;
  ASSERT_TRUE(s.Save(storage));
  EXPECT_EQ(SettingsFile(), file);
  EXPECT_NE(ReadText(file).find("[Grinsnap]\nlanguage=\"lang_deu.ini\"\nlanguageAuto=dword:00000000\n"),
            std::string::npos);
}

}  // namespace
}  // namespace grinsnap
