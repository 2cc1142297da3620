#include <gtest/gtest.h>

#include "app/language.h"
#include "app/settings.h"
#include "app/template_library.h"
#include "app_test_util.h"
#include "core/template_document.h"
#include "platform/version.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using test::ReadText;
using test::WriteText;

constexpr const char* kDocument =
    "<effect><template name=\"Doc Name\"/><filter name=\"SimpleTemplate\"><filter name=\"ColorFilter\"/></filter>"
    "</effect>";

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

std::vector<std::string> Names(const TemplateColumn& column) {
  std::vector<std::string> names;
  for (const auto& entry : column.entries) names.push_back(entry->name);
  return names;
}

class Library : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = test::FreshFolder("library-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    env_.programFolder = root_ / "prog";
    env_.documents = root_ / "docs";
    env_.appData = root_ / "appdata";
    env_.programVersion = 100;
    fs::create_directories(env_.programFolder);
  }
  std::string Dir(const fs::path& folder) const { return folder.string() + "/"; }

  fs::path root_;
  LibraryEnvironment env_;
  TemplateLibrary library_;
};

TEST_F(Library, DirectoriesMergeColumnsByPath) {
  WriteText(env_.programFolder / "config.cfg",
            "<config>\n"
            "  <template directory=\".\\lib1\\\"/>\n"
            "  <template/>\n"
            "  <template directory=\"\"/>\n"
            "  <other directory=\".\\ignored\\\"/>\n"
            "  <template directory=\"$(Documents)\\lib2\\\"/>\n"
            "  <template directory=\".\\no-such-file-here\\\"/>\n"
            "</config>");
  const fs::path lib1 = env_.programFolder / "lib1";
  const fs::path lib2 = env_.documents / "lib2";
  for (const char* name : {"a", "b", "c", "d", "f", "t1", "t2", "t3"}) {
    WriteText(lib1 / (std::string(name) + ".xml"), kDocument);
    WriteText(lib2 / (std::string(name) + ".xml"), kDocument);
  }
  WriteText(lib1 / "template.cfg",
            "<lib><columns>"
            "<column name=\"2D\" path=\"Effects/2D\"><template name=\"A\" filepath=\".\\a.xml\"/>"
            "<template name=\"B\" filepath=\".\\b.xml\"/></column>"
            "<column name=\"Frames\" path=\"Frames\"><template name=\"F\" filepath=\".\\f.xml\"/></column>"
            "</columns><templates>"
            "<template column=\"Frames\" name=\"T1\" filepath=\".\\t1.xml\"/>"
            "<template column=\"3D\" name=\"Early\" filepath=\".\\t1.xml\"/>"
            "</templates></lib>");
  WriteText(lib2 / "template.cfg",
            "<lib><templates><template column=\"3D\" name=\"BeforeItsColumn\" filepath=\".\\t2.xml\"/></templates>"
            "<columns>"
            "<column name=\"Other\" path=\"Effects/2D\"><template name=\"C\" filepath=\".\\c.xml\"/></column>"
            "<column name=\"3D\" path=\"3D\"><template name=\"D\" filepath=\".\\d.xml\"/></column>"
            "<column name=\"x\" path=\"effects/2d\"/>"
            "</columns></lib>");

  ASSERT_TRUE(library_.Read(env_));
  ASSERT_EQ(library_.ColumnCount(), 4u);
  EXPECT_EQ(library_.ColumnPath(0), "Effects/2D");
  EXPECT_EQ(library_.Columns()[0]->name, "2D");
  EXPECT_EQ(Names(*library_.Columns()[0]), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Names(*library_.Columns()[1]), (std::vector<std::string>{"F", "T1"}));
  EXPECT_EQ(library_.ColumnPath(2), "3D");
  // The templates section is read after the columns of its own file.
  EXPECT_EQ(Names(*library_.Columns()[2]), (std::vector<std::string>{"D", "BeforeItsColumn"}));
  EXPECT_EQ(library_.ColumnPath(3), "effects/2d") << "paths compare with case";
  EXPECT_EQ(library_.ColumnPath(4), "");
  EXPECT_EQ(library_.Column(4), nullptr);
  EXPECT_EQ(library_.Directories(), (std::vector<std::string>{Dir(lib1), Dir(lib2)}));
  EXPECT_TRUE(fs::is_directory(env_.programFolder / "no-such-file-here")) << "folders are created";

  const TemplateEntry& c = *library_.Columns()[0]->entries[2];
  EXPECT_EQ(c.directory, Dir(lib2));
  EXPECT_EQ(c.filePath, (lib2 / "c.xml").string());
  EXPECT_EQ(c.DocumentFolder(), lib2);
  ASSERT_TRUE(c.document);
  EXPECT_STREQ(c.document->TemplateClassName(), "SimpleTemplate");
}

TEST_F(Library, ProgramMacroNamesDocumentsAndThumbnailsInTheProgramFolder) {
  const fs::path dir = root_ / "user";
  WriteText(env_.programFolder / "templates" / "a.xml", kDocument);
  WriteText(dir / "template.cfg",
            "<lib><columns><column name=\"c\" path=\"p\">"
            "<template name=\"shipped\" filepath=\"$(Program)\\templates\\a.xml\" "
            "thumb=\"$(Program)\\thumb\\a.jpg\"/>"
            "</column></columns></lib>");
  ASSERT_TRUE(library_.ReadDirectory(Dir(dir), {}, env_));
  ASSERT_EQ(library_.Columns()[0]->entries.size(), 1u);
  const TemplateEntry& entry = *library_.Columns()[0]->entries[0];
  EXPECT_TRUE(entry.document);
  EXPECT_EQ(fs::path(entry.filePath), env_.programFolder / "templates" / "a.xml");
  EXPECT_EQ(fs::path(entry.ThumbPath()), env_.programFolder / "thumb" / "a.jpg");
}

TEST_F(Library, EntryRules) {
  const fs::path dir = root_ / "lib";
  WriteText(dir / "t" / "ok.xml", kDocument);
  WriteText(dir / "t" / "broken.xml", "<effect><template name=\"x\">");
  WriteText(dir / "dl" / "present.xml", kDocument);
  WriteText(dir / "t" / "deep.xml", Nested(10000));
  WriteText(dir / "template.cfg",
            "<lib><columns><column name=\"c\" path=\"p\">"
            "<template name=\"local\" filepath=\".\\t\\ok.xml\" thumb=\".\\thumbs\\ok.jpg\" preset=\"1\" hide=\"12abc\"/>"
            "<template name=\"local-missing\" filepath=\".\\t\\gone.xml\"/>"
            "<template name=\"local-no-path\"/>"
            "<template name=\"broken\" filepath=\".\\t\\broken.xml\"/>"
            "<template name=\"too-deep\" filepath=\".\\t\\deep.xml\"/>"
            "<template filepath=\".\\t\\ok.xml\" online=\"0x1\"/>"
            "<template name=\"\" filepath=\".\\t\\ok.xml\"/>"
            "<template name=\"online-no-url\" online=\"1\" filepath=\".\\t\\ok.xml\"/>"
            "<template name=\"pending\" online=\"1\" url=\"http://x/p.zip\" filepath=\"\" thumb=\"thumbs/p.jpg\"/>"
            "<template name=\"vanished\" online=\"1\" url=\"http://x/v.zip\" downloaded=\"1\" "
            "filepath=\".\\dl\\v.xml\"/>"
            "<template name=\"no-path\" online=\"1\" url=\"http://x/n.zip\" downloaded=\"1\"/>"
            "<template name=\"present\" online=\"-1\" url=\"\" downloaded=\" 2\" filepath=\".\\dl\\present.xml\"/>"
            "</column></columns></lib>");

  ASSERT_TRUE(library_.ReadDirectory(Dir(dir), {}, env_));
  ASSERT_EQ(library_.ColumnCount(), 1u);
  const TemplateColumn& column = *library_.Columns()[0];
  EXPECT_EQ(Names(column), (std::vector<std::string>{"local", "Doc Name", "", "pending", "vanished", "no-path",
                                                     "present"}));
  const auto& e = column.entries;

  EXPECT_EQ(e[0]->filePath, Dir(dir) + "t/ok.xml");
  EXPECT_TRUE(e[0]->document);
  EXPECT_TRUE(e[0]->preset);
  EXPECT_TRUE(e[0]->hide);
  EXPECT_FALSE(e[0]->online);
  EXPECT_EQ(e[0]->ThumbPath(), Dir(dir) + "thumbs/ok.jpg");
  EXPECT_FALSE(e[1]->online) << "\"0x1\" reads as 0";

  EXPECT_FALSE(e[3]->document);
  EXPECT_EQ(e[3]->url, "http://x/p.zip");
  EXPECT_EQ(e[3]->filePath, "");
  EXPECT_EQ(e[3]->ThumbPath(), Dir(dir) + "thumbs/p.jpg");

  // A downloaded template whose document vanished is offered for download again.
  EXPECT_FALSE(e[4]->downloaded);
  EXPECT_STREQ(e[4]->element->Attribute("downloaded"), "0");
  EXPECT_STREQ(e[4]->element->Attribute("filepath"), "");
  EXPECT_FALSE(e[5]->downloaded);
  EXPECT_STREQ(e[5]->element->Attribute("downloaded"), "0");
  EXPECT_EQ(e[5]->element->Attribute("filepath"), nullptr);

  EXPECT_TRUE(e[6]->online);
  EXPECT_TRUE(e[6]->downloaded);
  EXPECT_EQ(e[6]->url, "");
  EXPECT_TRUE(e[6]->document);

  ASSERT_TRUE(library_.WriteBack());
  const std::string written = ReadText(dir / "template.cfg");
  EXPECT_NE(written.find("name=\"vanished\" online=\"1\" url=\"http://x/v.zip\" downloaded=\"0\" filepath=\"\""),
            std::string::npos)
      << written;

  library_.Release();
  EXPECT_EQ(library_.ColumnCount(), 0u);
  EXPECT_TRUE(library_.Directories().empty());
}

TEST_F(Library, FlagsAreWrittenIntoTheFileAtWriteBack) {
  const fs::path dir1 = root_ / "one", dir2 = root_ / "two";
  WriteText(dir1 / "a.xml", kDocument);
  WriteText(dir1 / "template.cfg",
            "\xEF\xBB\xBF<lib><columns><column name=\"c\" path=\"p\"><template name=\"Sunset\" filepath=\".\\a.xml\"/>"
            "</column></columns></lib>");
  WriteText(dir2 / "template.cfg",
            "<lib><columns><column name=\"d\" path=\"q\"><template name=\"Web\" online=\"1\" url=\"u\"/>"
            "</column></columns></lib>");
  ASSERT_TRUE(library_.ReadDirectory(Dir(dir1), {}, env_));
  ASSERT_TRUE(library_.ReadDirectory(Dir(dir2), {}, env_));
  TemplateEntry& sunset = *library_.Column(0)->entries[0];
  TemplateEntry& web = *library_.Column(1)->entries[0];
  TemplateLibrary::SetFlag(sunset, TemplateFlag::Hide, true);
  TemplateLibrary::SetFlag(web, TemplateFlag::Downloaded, true);
  TemplateLibrary::SetFilePath(web, ".\\dl\\web.xml");
  EXPECT_TRUE(sunset.Flag(TemplateFlag::Hide));
  EXPECT_TRUE(web.Flag(TemplateFlag::Downloaded));
  EXPECT_EQ(web.filePath, Dir(dir2) + "dl/web.xml");

  // Display names come from the dictionary of the current language.
  WriteText(root_ / "lang" / "lang_deu.ini", "[DICTIONARY]\nSunset=Sonnenuntergang\n");
  CGRSSettings settings;
  settings.language = "lang_deu.ini";
  CLanguage language(root_ / "lang", settings);
  EXPECT_EQ(sunset.DisplayName(&language), "Sonnenuntergang");
  EXPECT_EQ(web.DisplayName(&language), "Web");
  EXPECT_EQ(sunset.DisplayName(nullptr), "Sunset");

  // The second directory's file cannot be replaced: the first is still written.
  fs::remove(dir2 / "template.cfg");
  fs::create_directories(dir2 / "template.cfg" / "blocker");
  EXPECT_FALSE(library_.WriteBack());
  const std::string one = ReadText(dir1 / "template.cfg");
  EXPECT_EQ(one.rfind("\xEF\xBB\xBF<lib>", 0), 0u) << "the byte order mark stays";
  EXPECT_NE(one.find("<template name=\"Sunset\" filepath=\".\\a.xml\" hide=\"1\"/>"), std::string::npos) << one;
}

class Merge : public Library {
protected:
  void SetUp() override {
    Library::SetUp();
    dir_ = Dir(root_ / "user");
    fs::create_directories(dir_);
    init_ = env_.programFolder / "init" / "template.cfg";
    user_ = fs::path(dir_) / "template.cfg";
    WriteText(env_.programFolder / "thumb" / "a.jpg", "shipped a");
    WriteText(env_.programFolder / "thumb" / "b_user.jpg", "shipped b");
    WriteText(env_.programFolder / "thumb" / "n.jpg", "shipped n");
    WriteText(init_,
              "<lib><columns><column name=\"c\" path=\"p\">"
              "<template name=\"A\" ver=\"2\" thumb=\".\\thumbs\\a.jpg\"/>"
              "<template name=\"B\" ver=\"1\" thumb=\".\\thumbs\\b.jpg\"/>"
              "</column></columns><templates>"
              "<template column=\"c\" name=\"N\" thumb=\".\\thumbs\\new\\n.jpg\"/>"
              "<template column=\"c\" name=\"NoThumb\" thumb=\"\"/>"
              "</templates></lib>");
  }
  std::string UserFile(const char* version) {
    return std::string("<lib>") + version +
           "<columns><column name=\"c\" path=\"p\">"
           "<template name=\"A\" ver=\"1\" hide=\"1\" thumb=\".\\thumbs\\a.jpg\"/>"
           "<template name=\"B\" ver=\"1\" hide=\"1\" downloaded=\"1\" thumb=\".\\thumbs\\b_user.jpg\"/>"
           "<template name=\"UserOnly\"/></column></columns>"
           "<templates><template column=\"c\" name=\"B\" ver=\"0\" hide=\"0\"/></templates></lib>";
  }

  std::string dir_;
  fs::path init_, user_;
};

TEST_F(Merge, SameOrLaterVersionLeavesTheUserFileAlone) {
  for (const char* version : {"<version ver=\"100\"/>", "<version ver=\"250\"/><version ver=\"1\"/>"}) {
    const std::string original = UserFile(version);
    WriteText(user_, original);
    EXPECT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::UpToDate);
    EXPECT_EQ(ReadText(user_), original);
    EXPECT_FALSE(fs::exists(fs::path(dir_) / "thumbs"));
  }
}

TEST_F(Merge, HigherShippedRevisionReplacesTheUserEntry) {
  WriteText(user_, UserFile("<version ver=\"99\"/>"));
  ASSERT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::Merged);

  tinyxml2::XMLDocument merged;
  ASSERT_TRUE(LoadXmlFile(merged, user_));
  const tinyxml2::XMLElement* root = merged.FirstChildElement();
  EXPECT_STREQ(root->FirstChildElement("version")->Attribute("ver"), "100");
  const tinyxml2::XMLElement* column = root->FirstChildElement("columns")->FirstChildElement("column");
  const tinyxml2::XMLElement* a = column->FirstChildElement("template");
  const tinyxml2::XMLElement* b = a->NextSiblingElement("template");
  // A: shipped ver 2 beats the user's ver 1, so the user's hide flag is lost.
  EXPECT_STREQ(a->Attribute("name"), "A");
  EXPECT_STREQ(a->Attribute("ver"), "2");
  EXPECT_EQ(a->Attribute("hide"), nullptr);
  // B: the user's later duplicate (ver 0) is the one compared; 0 < 1, shipped wins.
  EXPECT_STREQ(b->Attribute("name"), "B");
  EXPECT_EQ(b->Attribute("hide"), nullptr);
  EXPECT_EQ(b->NextSiblingElement("template"), nullptr) << "entries only the user had are not carried over";
  const tinyxml2::XMLElement* n = root->FirstChildElement("templates")->FirstChildElement("template");
  EXPECT_STREQ(n->Attribute("name"), "N");

  EXPECT_EQ(ReadText(fs::path(dir_) / "thumbs" / "a.jpg"), "shipped a");
  EXPECT_EQ(ReadText(fs::path(dir_) / "thumbs" / "new" / "n.jpg"), "shipped n");
  EXPECT_FALSE(fs::exists(fs::path(dir_) / "thumbs" / "b.jpg")) << "no shipped b.jpg: the copy fails quietly";
}

TEST_F(Merge, EqualRevisionKeepsTheUserEntry) {
  // The user's file names B only once here, with the shipped revision.
  std::string user = UserFile("");
  user.replace(user.find("<templates>"), std::string::npos, "</lib>");
  WriteText(user_, user);
  ASSERT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::Merged);
  tinyxml2::XMLDocument merged;
  ASSERT_TRUE(LoadXmlFile(merged, user_));
  const tinyxml2::XMLElement* b =
      merged.FirstChildElement()->FirstChildElement("columns")->FirstChildElement("column")->LastChildElement();
  EXPECT_STREQ(b->Attribute("name"), "B");
  EXPECT_STREQ(b->Attribute("hide"), "1");
  EXPECT_STREQ(b->Attribute("downloaded"), "1");
  // The kept entry's own thumbnail is the one copied.
  EXPECT_EQ(ReadText(fs::path(dir_) / "thumbs" / "b_user.jpg"), "shipped b");
}

TEST_F(Merge, MissingOrBrokenFiles) {
  // No user file yet: the shipped file becomes it.
  EXPECT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::Merged);
  EXPECT_NE(ReadText(user_).find("<version ver=\"100\"/>"), std::string::npos);

  // A user file that does not parse is replaced.
  WriteText(user_, "<lib><columns>");
  EXPECT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::Merged);
  EXPECT_NE(ReadText(user_).find("name=\"NoThumb\""), std::string::npos);

  // A shipped file that does not parse (or is nested too deep) touches nothing.
  for (const std::string& broken : {std::string("<lib"), std::string(), Nested(10000), std::string("\0\xff", 2)}) {
    WriteText(user_, "<mine/>");
    WriteText(init_, broken);
    EXPECT_EQ(MergeInitialTemplateFile(dir_, init_, user_, env_), MergeResult::NoInitialFile);
    EXPECT_EQ(ReadText(user_), "<mine/>");
  }
  EXPECT_EQ(MergeInitialTemplateFile(dir_, init_ / "missing", user_, env_), MergeResult::NoInitialFile);
}

TEST_F(Merge, ConfigInitFileRunsTheMergeBeforeReading) {
  WriteText(env_.programFolder / "config.cfg",
            "<c><template directory=\"$(AppData)\\Velmora\\Grinsnap\\lib\\\" init_file=\".\\init\\template.cfg\"/>"
            "</c>");
  WriteText(init_,
            "<lib><columns><column name=\"c\" path=\"p\"><template name=\"Web\" online=\"1\" url=\"u\" "
            "thumb=\".\\thumbs\\a.jpg\"/></column></columns></lib>");
  ASSERT_TRUE(library_.Read(env_));
  const fs::path dir = env_.appData / "Velmora" / "Grinsnap" / "lib";
  EXPECT_EQ(library_.Directories(), std::vector<std::string>{Dir(dir)});
  ASSERT_EQ(library_.ColumnCount(), 1u);
  EXPECT_EQ(Names(*library_.Column(0)), std::vector<std::string>{"Web"});
  EXPECT_EQ(ReadText(dir / "thumbs" / "a.jpg"), "shipped a");
  EXPECT_EQ(library_.Column(0)->entries[0]->ThumbPath(), (dir / "thumbs" / "a.jpg").string());
}

TEST_F(Library, MalformedFilesFailSoft) {
  struct Case {
    const char* what;
    std::string config;
  } configs[] = {
      {"not xml", "this is not xml <<<"},
      {"empty", ""},
      {"binary", std::string("\xEF\xBB\xBF\x00\x01<c>\xff", 8)},
      {"nested 10,000 deep", Nested(10000)},
      {"comment only", "<!-- nothing -->"},
  };
  for (const Case& c : configs) {
    WriteText(env_.programFolder / "config.cfg", c.config);
    EXPECT_FALSE(library_.Read(env_)) << c.what;
    EXPECT_EQ(library_.ColumnCount(), 0u) << c.what;
  }
  fs::remove(env_.programFolder / "config.cfg");
  EXPECT_FALSE(library_.Read(env_));

  // template.cfg files that parse badly or lack what they need.
  const std::pair<const char*, std::string> templateFiles[] = {
      {"deep", Nested(10000)},
      {"garbage", std::string(20000, '\xfe')},
      {"unclosed", "<lib><columns><column name=\"x\" path=\"y\">"},
      {"no columns", "<lib><templates><template column=\"c\" name=\"n\"/></templates></lib>"},
      {"missing attributes",
       "<lib><version/><columns><column path=\"no-name\"><template name=\"lost\" online=\"1\" url=\"u\"/></column>"
       "<column name=\"no-path\"/><column name=\"ok\" path=\"ok\"><template/><template online=\"1\"/>"
       "<template online=\"1\" url=\"u\"/></column><column/></columns>"
       "<templates><template/><template column=\"\"/><template name=\"n\" column=\"ok\" online=\"1\" url=\"u\"/>"
       "</templates></lib>"},
  };
  std::string config = "<c>";
  for (const auto& [name, text] : templateFiles) {
    WriteText(root_ / name / "template.cfg", text);
    config += "<template directory=\"" + (root_ / name).string() + "/\"/>";
  }
  WriteText(env_.programFolder / "config.cfg", config + "</c>");
  ASSERT_TRUE(library_.Read(env_));
  EXPECT_EQ(library_.Directories(), (std::vector<std::string>{Dir(root_ / "no columns"),
                                                              Dir(root_ / "missing attributes")}));
  ASSERT_EQ(library_.ColumnCount(), 1u);
  EXPECT_EQ(library_.ColumnPath(0), "ok");
  EXPECT_EQ(Names(*library_.Column(0)), (std::vector<std::string>{"", "n"}));
  EXPECT_TRUE(library_.WriteBack());
}

TEST(TemplateFiles, PathAndNumberRules) {
  const std::pair<const char*, int> numbers[] = {
      {"1", 1}, {" 42abc", 42}, {"-3", -3}, {"+7", 7}, {"abc", 0}, {"", 0}, {"0x10", 0}, {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(ParseLeadingInt(text), value) << text;
  EXPECT_EQ(ParseLeadingInt(nullptr), 0);

  const std::tuple<const char*, const char*, const char*> paths[] = {
      {"/lib/", ".\\t\\a.xml", "/lib/t/a.xml"},
      {"/lib/", "./t/a.xml", "/lib/t/a.xml"},
      {"/lib", ".\\a.xml", "/lib/a.xml"},
      {"/lib/", "/abs/a.xml", "/abs/a.xml"},
      {"/lib/", "t\\a.xml", "/lib/t/a.xml"},
      {"/lib/", "", ""},
  };
  for (const auto& [dir, value, expected] : paths) EXPECT_EQ(ResolveTemplatePath(dir, value), expected) << value;
  // Documents shipped in the program folder, listed in a user's file.
  EXPECT_EQ(ResolveTemplatePath("/user/lib/", "$(Program)\\templates\\a.xml", "/opt/grinsnap"),
            "/opt/grinsnap/templates/a.xml");
  EXPECT_EQ(ResolveTemplatePath("/user/lib/", "$(Program)/a.xml", "/opt/grinsnap/"), "/opt/grinsnap/a.xml");

  LibraryEnvironment env;
  env.programFolder = "/opt/grinsnap/";
  env.documents = "/home/u/Documents";
  env.appData = "/home/u/.local/share";
  const std::pair<const char*, const char*> directories[] = {
      {".\\templates\\", "/opt/grinsnap/templates/"},
      {"$(Documents)\\Grinsnap\\$(Documents)\\", "/home/u/Documents/Grinsnap/$(Documents)/"},
      {"$(AppData)\\Velmora\\Grinsnap\\", "/home/u/.local/share/Velmora/Grinsnap/"},
      {"/srv/t/", "/srv/t/"},
      {"relative/", "/opt/grinsnap/relative/"},
  };
  for (const auto& [value, expected] : directories) EXPECT_EQ(ResolveConfigDirectory(value, env), expected) << value;
  EXPECT_EQ(ResolveConfigInitFile(".\\init\\template.cfg", env), "/opt/grinsnap/init/template.cfg");
  EXPECT_EQ(ResolveConfigInitFile("$(Documents)/x.cfg", env), "/opt/grinsnap/$(Documents)/x.cfg");

  const fs::path root = test::FreshFolder("folders-along");
  EXPECT_TRUE(CreateFoldersAlong((root / "a" / "b").string() + "\\c\\file.txt"));
  EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "c"));
  EXPECT_FALSE(fs::exists(root / "a" / "b" / "c" / "file.txt"));
  WriteText(root / "plain", "x");
  EXPECT_FALSE(CreateFoldersAlong((root / "plain" / "sub" / "f").string()));
}

TEST(TemplateFiles, CurrentEnvironmentUsesTheUserFolders) {
  const LibraryEnvironment env = LibraryEnvironment::Current();
  EXPECT_EQ(env.documents, test::TempHome() / "Documents");
  EXPECT_EQ(env.appData, test::TempHome() / ".local/share");
  // The number made from project(VERSION ...): major x 100 + minor x 10 + patch.
  EXPECT_EQ(env.programVersion, kProgramVersionNumber);
}

}  // namespace
}  // namespace grinsnap
