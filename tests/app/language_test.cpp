#include <map>

#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "app/ini_file.h"
#include "app/language.h"
#include "app/settings.h"
#include "app/string_table.h"
#include "app/system_language.h"
#include "app_test_util.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using test::WriteText;

fs::path ShippedLangFolder() { return test::DataDir().parent_path().parent_path() / "data" / "lang"; }

TEST(IniFile, ProfileRules) {
  const std::string longValue(1500, 'a');
  const std::string umlauts = std::string(1022, 'x') + "\xC3\xBC\xC3\xBC";  // 1024 characters, 1026 bytes
  const IniFile ini = IniFile::Parse(
      "\xEF\xBB\xBF"
      "orphan=before any section\r\n"
      "[ General ]\r\n"
      "  Language  =   Deutsch   \r\n"
      "dup=first\n"
      "DUP=second\n"
      "; comment line\n"
      "; comment=still a key\n"
      "quoted=\"  inner blanks  \"\n"
      "single='x'\n"
      "twice=\"\"x\"\"\n"
      "mismatched=\"x'\n"
      "half=\"x\n"
      "equals=a=b\n"
      "empty=\n"
      "no equals line\n"
      "long=" + longValue + "\n"
      "utf8=" + umlauts + "\r"
      "[general]\n"
      "later=hidden by the first section of the same name\n");
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  } cases[] = {
      {"GENERAL", "language", "Deutsch"},
      {"General", "dup", "first"},
      {"General", "quoted", "  inner blanks  "},
      {"General", "single", "x"},
      {"General", "twice", "\"x\""},
      {"General", "mismatched", "\"x'"},
      {"General", "half", "\"x"},
      {"General", "equals", "a=b"},
      {"General", "empty", ""},
      {"General", "; comment line", std::nullopt},
      {"General", "; comment", "still a key"},
      {"General", "no equals line", std::nullopt},
      {"General", "orphan", std::nullopt},
      {"General", "later", std::nullopt},
      {"General", "long", std::string(1023, 'a')},
      {"General", "utf8", std::string(1022, 'x') + "\xC3\xBC"},
      {"Missing", "language", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ini.ProfileString(c.section, c.key), c.expected) << c.key;
}

TEST(IniFile, Utf16FilesAreRead) {
  const std::string text = "[S]\nk=\xC3\xA4\xF0\x9F\x98\x80\n";  // ä and an emoji
  std::u16string wide = u"[S]\nk=\u00E4\U0001F600\n";
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (char16_t c : wide) {
    little += static_cast<char>(c & 0xFF);
    little += static_cast<char>(c >> 8);
    big += static_cast<char>(c >> 8);
    big += static_cast<char>(c & 0xFF);
  }
  EXPECT_EQ(IniFile::Parse(little).ProfileString("s", "K"), "\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(IniFile::Parse(big).ProfileString("s", "K"), "\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(IniFile::Parse(text).ProfileString("s", "K"), "\xC3\xA4\xF0\x9F\x98\x80");
}

TEST(IniFile, GarbageAndHugeLinesFailSoft) {
  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage += static_cast<char>((i * 7919 + i / 13) & 0xFF);
  const IniFile noise = IniFile::Parse(garbage);
  (void)noise.ProfileString("STRING", "101");

  std::string huge = "[STRING]\n101=" + std::string(10000, 'y') + "\n" + "102=" + std::string(10000, '"') + "\n" +
                     std::string(10000, '[') + "\n103=in the section of brackets\n[" + std::string(10000, 'k') + "]\n" +
                     std::string(10000, 'k') + "=v\n" + std::string("\0\0[STRING]\0=\0\n", 14);
  const IniFile ini = IniFile::Parse(huge);
  EXPECT_EQ(ini.ProfileString("STRING", "101"), std::string(1023, 'y'));
  EXPECT_EQ(ini.ProfileString("STRING", "102"), std::string(1023, '"'));
  EXPECT_EQ(ini.ProfileString("STRING", "103"), std::nullopt);
  EXPECT_EQ(ini.ProfileString(std::string(9999, '['), "103"), "in the section of brackets");
  EXPECT_EQ(ini.ProfileString(std::string(10000, 'K'), std::string(10000, 'K')), "v");
  // An odd-length UTF-16 file with unpaired surrogates.
  EXPECT_NO_FATAL_FAILURE(IniFile::Parse(std::string("\xFF\xFE\x00\xD8[\x00S\x00]\x00\x00\xDC!", 13)));
}

// A language folder with one language file and the lookup file.
class LanguageFiles : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ = test::FreshFolder("lang-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    settings_.language = "lang_tst.ini";
    settings_.languageAuto = false;
  }
  void Write(const std::string& name, const std::string& text) { WriteText(folder_ / name, text); }

  fs::path folder_;
  CGRSSettings settings_;
};

TEST_F(LanguageFiles, EscapesDependOnTheSection) {
  Write("lang_tst.ini",
        "[STRING]\n"
        "152=Two\\nlines\\tand a tab, a \\\\ and \\q stay\n"
        "137=\n"
        "[DICTIONARY]\n"
        "Two\\nlines=Zwei\\nZeilen\\t!\n"
        "Sunset=\"Sonnenuntergang\"\n"
        "[MENU]\n"
        "32797=&Open\\tCtrl+O\\n\n"
        "[DIALOG_IDD_300]\n"
        "title=Hin\\nweis\n"
        "1077=Nicht\\nmehr\\tzeigen\n");
  CLanguage language(folder_, settings_);
  EXPECT_EQ(language.Text(kIdsConfirmQuit), "Two\nlines\tand a tab, a \\\\ and \\q stay");
  EXPECT_EQ(language.Text(kIdsInvalidExportSize), "Input parameter is not valid, please check.") << "empty value";
  EXPECT_EQ(language.Text(kIdsExport), "Export") << "absent value";
  EXPECT_EQ(language.Text(kIdsLatestVersion), "\n\nCongratulations! You are currently running the latest version.");
  EXPECT_EQ(language.Text(99), "");
  EXPECT_EQ(language.Translate("Two\\nlines"), "Zwei\\nZeilen\\t!");
  EXPECT_EQ(language.Translate("Sunset"), "Sonnenuntergang");
  EXPECT_EQ(language.Translate("Not in the dictionary"), "Not in the dictionary");
  EXPECT_EQ(language.MenuText("32797"), "&Open\tCtrl+O\n");
  EXPECT_EQ(language.DialogTitle(kDlgFaceNotDetected), "Hin\\nweis");
  EXPECT_EQ(language.ControlText(kDlgFaceNotDetected, 1077), "Nicht\nmehr\\tzeigen");
  EXPECT_EQ(language.ControlText(kDlgFaceNotDetected, 1), "");
}

TEST_F(LanguageFiles, EveryLookupSeesTheCurrentFile) {
  Write("lang_tst.ini", "[STRING]\n105=Exportieren\n[BITMAP]\n7=b.bmp\n[IMAGE]\n291=pane.png\n8=\n");
  Write("lang_two.ini", "[STRING]\n105=Exporter\n");
  CLanguage language(folder_, settings_);
  EXPECT_EQ(language.Text(kIdsExport), "Exportieren");
  EXPECT_EQ(language.BitmapFile(7), folder_ / "b.bmp");
  EXPECT_EQ(language.ImageFile(291), folder_ / "pane.png");
  EXPECT_EQ(language.ImageFile(8), std::nullopt);
  EXPECT_EQ(language.BitmapFile(291), std::nullopt);
  EXPECT_EQ(language.CurrentFile(), folder_ / "lang_tst.ini");

  settings_.language = "lang_two.ini";
  EXPECT_EQ(language.Text(kIdsExport), "Exporter");
  Write("lang_two.ini", "[STRING]\n105=Exporter (modifié)\n");
  EXPECT_EQ(language.Text(kIdsExport), "Exporter (modifié)");
  settings_.language = "lang_gone.ini";
  EXPECT_EQ(language.Text(kIdsExport), "Export");
  EXPECT_EQ(language.Translate("x"), "x");
}

TEST_F(LanguageFiles, BinaryGarbageFileFailsSoft) {
  std::string garbage("[STRING]\n105=\xff\xfe\x00\x01\n", 18);
  for (int i = 0; i < 50000; ++i) garbage += static_cast<char>(i * 31 % 256);
  garbage += "\n[DICTIONARY]\n" + std::string(10000, 'z') + "=" + std::string(10000, 'w') + "\n";
  Write("lang_tst.ini", garbage);
  CLanguage language(folder_, settings_);
  EXPECT_EQ(language.Text(kIdsExport), std::string("\xff\xfe\x00\x01", 4));
  EXPECT_EQ(language.Translate(std::string(10000, 'z')), std::string(1023, 'w'));
  EXPECT_EQ(language.Text(kIdsAddImage), "Add Image");
}

TEST_F(LanguageFiles, ResolutionAtStartAndOnAuto) {
  Write("lang_eng.ini", "[General]\nLanguage=English\n");
  Write("lang_deu.ini", "[General]\nLanguage=Deutsch\n");
  Write("language_lookup.ini",
        "[language]\n0x0407=lang_deu.ini\n0x040C=lang_fra.ini\n0x0409=lang_eng.ini\n0x0412=../outside.ini\n");
  test::WriteText(folder_.parent_path() / "outside.ini", "[STRING]\n101=outside\n");
  struct Case {
    const char* what;
    bool languageAuto;
    const char* language;
    std::uint16_t system;
    const char* expected;
  } cases[] = {
      {"auto flag, German system", true, "lang_eng.ini", 0x0407, "lang_deu.ini"},
      {"auto name, German system", false, "auto", 0x0407, "lang_deu.ini"},
      {"auto, system not in the lookup", true, "lang_deu.ini", 0x0411, "lang_eng.ini"},
      {"auto, lookup names a missing file", true, "auto", 0x040C, "lang_eng.ini"},
      {"fixed choice wins over the system", false, "lang_deu.ini", 0x0409, "lang_deu.ini"},
      {"fixed choice of a missing file", false, "lang_fra.ini", 0x0407, "lang_eng.ini"},
      {"empty name", false, "", 0x0407, "lang_eng.ini"},
      // Only files inside the lang folder are language files.
      {"a file beside the folder", false, "../outside.ini", 0x0407, "lang_eng.ini"},
      {"an absolute path", false, "/etc/hostname", 0x0407, "lang_eng.ini"},
      {"lookup names a file beside the folder", true, "auto", 0x0412, "lang_eng.ini"},
  };
  for (const Case& c : cases) {
    CGRSSettings s;
    s.languageAuto = c.languageAuto;
    s.language = c.language;
    ResolveLanguageAtStart(s, folder_, c.system);
    EXPECT_EQ(s.language, c.expected) << c.what;
    EXPECT_EQ(s.languageAuto, c.languageAuto) << c.what;
  }

  CGRSSettings s;
  ChooseLanguage(s, "lang_deu.ini");
  EXPECT_FALSE(s.languageAuto);
  EXPECT_EQ(s.language, "lang_deu.ini");
  ChooseAutoLanguage(s, folder_, 0x0409);
  EXPECT_TRUE(s.languageAuto);
  EXPECT_EQ(s.language, "lang_eng.ini");

  // A setting that names a file outside the folder reads nothing there.
  s.language = "../outside.ini";
  EXPECT_EQ(CLanguage(folder_, s).Lookup("STRING", "101"), std::nullopt);

  // Without any lookup file the system language cannot be mapped.
  fs::remove(folder_ / "language_lookup.ini");
  s.language = "auto";
  ResolveLanguageAtStart(s, folder_, 0x0407);
  EXPECT_EQ(s.language, "lang_eng.ini");
}

TEST(SystemLanguage, LocaleNamesMapToLanguageIdentifiers) {
  const std::pair<const char*, std::uint16_t> cases[] = {
      {"de_DE.UTF-8", 0x0407}, {"de_AT", 0x0C07},       {"de_CH.utf8@euro", 0x0807}, {"de", 0x0407},
      {"en_US.UTF-8", 0x0409}, {"en_GB", 0x0809},       {"fr_FR", 0x040C},           {"fr_CA.UTF-8", 0x0C0C},
      {"es_ES", 0x0C0A},       {"es_MX", 0x080A},       {"zh_CN.GB2312", 0x0804},    {"zh_TW", 0x0404},
      {"ja_JP.eucJP", 0x0411}, {"pt_BR", 0x0416},       {"pt_PT", 0x0816},           {"sr_RS@latin", 0x241A},
      {"nb_NO", 0x0414},       {"DE_de", 0x0407},       {"de_XX", 0x0407},           {"C", 0x0409},
      {"POSIX", 0x0409},       {"", 0x0409},            {"tlh_QO", 0x0409},
  };
  for (const auto& [locale, id] : cases) EXPECT_EQ(LangIdFromLocale(locale), id) << locale;
  EXPECT_EQ(LangIdKey(0x0407), "0x0407");
  EXPECT_EQ(LangIdKey(0x0C0A), "0x0C0A");

  setenv("LC_ALL", "", 1);
  setenv("LC_MESSAGES", "de_AT.UTF-8", 1);
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(SystemDefaultLangId(), 0x0C07);
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(SystemDefaultLangId(), 0x040C);
}

TEST_F(LanguageFiles, MenuOffersNamedLanguageFilesOnly) {
  Write("lang_deu.ini", "[General]\nLanguage=Deutsch\n");
  Write("LANG_ENG.INI", "[general]\nlanguage=\"English\"\n");
  Write("lang_bad.ini", "[STRING]\n101=no language name\n");
  Write("lang_fra.ini", "[General]\nLanguage=Français\n");
  Write("lang_toolong.ini", "[General]\nLanguage=Too long\n");
  Write("lang_x.ini", "[General]\nLanguage=Too short\n");
  Write("language_lookup.ini", "[General]\nLanguage=Not a language file\n");
  fs::create_directories(folder_ / "lang_dir.ini");

  settings_.languageAuto = false;
  settings_.language = "Lang_Fra.ini";
  LanguageMenu menu = BuildLanguageMenu(folder_, settings_);
  ASSERT_EQ(menu.entries.size(), 3u);
  const std::pair<const char*, const char*> expected[] = {
      {"English", "LANG_ENG.INI"}, {"Deutsch", "lang_deu.ini"}, {"Français", "lang_fra.ini"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(menu.entries[i].commandId, 33000 + static_cast<int>(i));
    EXPECT_EQ(menu.entries[i].caption, expected[i].first);
    EXPECT_EQ(menu.entries[i].fileName, expected[i].second);
    EXPECT_EQ(menu.entries[i].checked, i == 2);
  }
  EXPECT_FALSE(menu.autoChecked);
  ASSERT_NE(FindLanguageEntry(menu, 33001), nullptr);
  EXPECT_EQ(FindLanguageEntry(menu, 33001)->fileName, "lang_deu.ini");
  EXPECT_EQ(FindLanguageEntry(menu, 33003), nullptr);

  // Choosing the upper-case file reads it: its name keeps its case.
  Write("LANG_ENG.INI", "[general]\nlanguage=\"English\"\n[STRING]\n101=from the upper-case file\n");
  ChooseLanguage(settings_, FindLanguageEntry(menu, 33000)->fileName);
  EXPECT_EQ(CLanguage(folder_, settings_).Text(kIdsAboutMenuItem), "from the upper-case file");

  settings_.languageAuto = true;
  menu = BuildLanguageMenu(folder_, settings_);
  EXPECT_TRUE(menu.autoChecked);
  for (const LanguageMenuEntry& entry : menu.entries) EXPECT_FALSE(entry.checked);

  // A file without a language name can still be the current language.
  settings_.language = "lang_bad.ini";
  EXPECT_EQ(CLanguage(folder_, settings_).Text(kIdsAboutMenuItem), "no language name");
  EXPECT_TRUE(BuildLanguageMenu(folder_ / "missing", settings_).entries.empty());
}

class FakeDialog : public DialogTextTarget {
public:
  std::string caption = "built-in caption";
  std::vector<std::pair<int, std::string>> children;
  void SetCaption(const std::string& text) override { caption = text; }
  int ChildCount() const override { return static_cast<int>(children.size()); }
  int ChildControlId(int index) const override { return children[static_cast<size_t>(index)].first; }
  void SetChildText(int index, const std::string& text) override { children[static_cast<size_t>(index)].second = text; }
};

TEST_F(LanguageFiles, DialogTextsReplaceOnlyWhereTheFileHasText) {
  Write("lang_tst.ini", "[DIALOG_IDD_136]\n1016=Gesicht suchen\n1020=\n1019=Zeile\\neins\n");
  CLanguage language(folder_, settings_);
  FakeDialog dialog;
  dialog.children = {{1016, "Search Face"}, {1020, "Animate"}, {1019, ""}, {1016, "second 1016"}, {-1, "static"}};
  language.ApplyToDialog(dialog, kDlgExpressionPane);
  EXPECT_EQ(dialog.caption, "built-in caption");
  const std::vector<std::pair<int, std::string>> expected = {
      {1016, "Gesicht suchen"}, {1020, "Animate"}, {1019, "Zeile\neins"}, {1016, "Gesicht suchen"}, {-1, "static"}};
  EXPECT_EQ(dialog.children, expected);

  Write("lang_tst.ini", "[dialog_idd_136]\nTITLE=Ausdruck\n");
  language.ApplyToDialog(dialog, kDlgExpressionPane);
  EXPECT_EQ(dialog.caption, "Ausdruck");
}

// A menu tree whose items record the text they were given.
class FakeMenu : public MenuTextTarget {
public:
  struct Item {
    ItemKind kind;
    int command = 0;
    std::string text;
    std::unique_ptr<FakeMenu> sub;
  };
  std::vector<Item> items;

  FakeMenu& Command(int id) {
    items.push_back({ItemKind::Command, id, "", nullptr});
    return *this;
  }
  FakeMenu& Separator() {
    items.push_back({ItemKind::Separator, 0, "", nullptr});
    return *this;
  }
  FakeMenu& Sub(FakeMenu sub) {
    items.push_back({ItemKind::SubMenu, 0, "", std::make_unique<FakeMenu>(std::move(sub))});
    return *this;
  }
  int ItemCount() const override { return static_cast<int>(items.size()); }
  ItemKind Kind(int p) const override { return items[static_cast<size_t>(p)].kind; }
  int CommandId(int p) const override { return items[static_cast<size_t>(p)].command; }
  void SetItemText(int p, const std::string& text) override { items[static_cast<size_t>(p)].text = text; }
  MenuTextTarget* SubMenu(int p) override { return items[static_cast<size_t>(p)].sub.get(); }
};

TEST_F(LanguageFiles, MenuKeysFollowTheNesting) {
  // Every key names itself, so the text shows which key an item used.
  std::string file = "[MENU]\n";
  for (int n = 1; n <= 400; ++n) file += "item_" + std::to_string(n) + "=item_" + std::to_string(n) + "\n";
  file += "32797=Open\\tCtrl+O\n32788=About\n";
  Write("lang_tst.ini", file);

  FakeMenu level2;
  level2.Command(32788).Sub(FakeMenu{});
  FakeMenu second;
  second.Command(32797).Separator().Sub(std::move(level2));
  FakeMenu top;
  top.Sub(FakeMenu{}).Sub(std::move(second)).Command(32800);

  CLanguage(folder_, settings_).ApplyToMenu(top);
  EXPECT_EQ(top.items[0].text, "item_1");
  EXPECT_EQ(top.items[1].text, "item_2");
  EXPECT_EQ(top.items[2].text, "") << "command without a text in the file";
  FakeMenu& s = *top.items[1].sub;
  EXPECT_EQ(s.items[0].text, "Open\tCtrl+O");
  EXPECT_EQ(s.items[1].text, "");
  // Position 2 of the sub-menu at top position 1: 2 + 10 * 1 + 11.
  EXPECT_EQ(s.items[2].text, "item_23");
  FakeMenu& deep = *s.items[2].sub;
  EXPECT_EQ(deep.items[0].text, "About");
  // Its parent number is 2 + 10 * 1 + 10 = 22: position 1 gives 1 + 220 + 11.
  EXPECT_EQ(deep.items[1].text, "item_232");
}

TEST(ShippedLanguageFiles, EnglishMatchesTheBuiltInTableAndGermanIsComplete) {
  const fs::path folder = ShippedLangFolder();
  IniFile english, german, lookup;
  ASSERT_TRUE(english.Load(folder / "lang_eng.ini"));
  ASSERT_TRUE(german.Load(folder / "lang_deu.ini"));
  ASSERT_TRUE(lookup.Load(folder / "language_lookup.ini"));
  EXPECT_EQ(english.ProfileString("General", "Language"), "English");
  EXPECT_EQ(german.ProfileString("General", "Language"), "Deutsch");

  int count = 0;
  const BuiltinStringEntry* table = BuiltinStrings(&count);
  ASSERT_GT(count, 50);
  int translated = 0;
  for (int i = 0; i < count; ++i) {
    const std::string key = std::to_string(table[i].id);
    EXPECT_GE(table[i].id, kFirstStringId);
    EXPECT_LE(table[i].id, kLastStringId);
    EXPECT_STREQ(BuiltinString(table[i].id), table[i].text);
    const auto en = english.ProfileString("STRING", key);
    ASSERT_TRUE(en.has_value()) << key;
    EXPECT_EQ(ExpandEscapes(*en, true), table[i].text) << key;
    const auto de = german.ProfileString("STRING", key);
    ASSERT_TRUE(de && !de->empty()) << key;
    translated += *de != *en;
    // Format fields must survive the translation in the same order.
    auto fields = [](const std::string& text) {
      std::string found;
      for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 2)) found += text.substr(p, 2);
      return found;
    };
    EXPECT_EQ(fields(*de), fields(*en)) << key;
  }
  EXPECT_GE(translated, count - 2) << "German texts equal to the English ones";

  // Every key of the English file has its German counterpart.
  for (const IniFile::Section& section : english.Sections()) {
    for (const IniFile::Entry& entry : section.entries)
      EXPECT_TRUE(german.ProfileString(section.name, entry.key)) << section.name << "/" << entry.key;
  }
  EXPECT_EQ(lookup.ProfileString("LANGUAGE", LangIdKey(0x0407)), "lang_deu.ini");
  EXPECT_EQ(lookup.ProfileString("LANGUAGE", LangIdKey(0x0C07)), "lang_deu.ini");
  EXPECT_EQ(lookup.ProfileString("LANGUAGE", LangIdKey(0x0409)), "lang_eng.ini");
  for (const IniFile::Entry& entry : lookup.FindSection("LANGUAGE")->entries)
    EXPECT_TRUE(fs::is_regular_file(folder / entry.value)) << entry.key;

  CGRSSettings s;
  s.language = "lang_deu.ini";
  s.languageAuto = false;
  CLanguage language(folder, s);
  EXPECT_EQ(language.Text(kIdsUpgradeQuestion),
            "Eine neue Version ist verfügbar. Es wird empfohlen, Ihre aktuelle Version zu aktualisieren.\n\n"
            "Möchten Sie jetzt aktualisieren?");
  EXPECT_EQ(language.Translate("Frames"), "Rahmen");
}

// Every name the gallery and the panes show from the shipped templates (group
// path segments, template names, variable names) has its German entry.
TEST(ShippedLanguageFiles, GermanNamesEveryShippedTemplateGroupAndVariable) {
  IniFile german;
  ASSERT_TRUE(german.Load(ShippedLangFolder() / "lang_deu.ini"));
  const fs::path templates = ShippedLangFolder().parent_path() / "templates";
  std::set<std::string> names;
  const std::regex attribute(R"re(<(column|template|var\d)\s[^>]*?\b(path|name)="([^"]+)")re");
  for (const auto& file : fs::recursive_directory_iterator(templates)) {
    const std::string extension = file.path().extension().string();
    if (extension != ".cfg" && extension != ".xml") continue;
    const std::string text = test::ReadText(file.path());
    for (std::sregex_iterator it(text.begin(), text.end(), attribute), end; it != end; ++it) {
      const std::string kind = (*it)[1], key = (*it)[2], value = (*it)[3];
      if (kind == "column" && key == "path") {
        std::stringstream segments(value);
        for (std::string segment; std::getline(segments, segment, '\\');) names.insert(segment);
      } else if (kind != "column" && key == "name" && !(kind == "template" && extension == ".xml")) {
        names.insert(value);
      }
    }
  }
  ASSERT_GT(names.size(), 40u);
  for (const std::string& name : names)
    EXPECT_TRUE(german.ProfileString("DICTIONARY", name).has_value()) << "no German name for \"" << name << "\"";
}

}  // namespace
}  // namespace grinsnap
