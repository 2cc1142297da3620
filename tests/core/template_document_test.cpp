#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "core/registry.h"
#include "templates/simple_template.h"
#include "core/template_document.h"
#include "core/photo_item.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

TEST(TemplateDocument, BrokenDocumentsGiveNoTemplate) {
  struct Case {
    const char* what;
    const char* text;
    bool parses;
  } cases[] = {
      {"not xml", "this is not <xml", false},
      {"empty", "", false},
      {"unclosed element", "<root><filter name=\"SimpleTemplate\"></root>", false},
      {"no filter child", "<root><template name=\"A\"/></root>", true},
      {"filter without name", "<root><filter/></root>", true},
      {"unknown template class", "<root><filter name=\"NoSuchTemplate\"/></root>", true},
      {"a filter class named as template", "<root><filter name=\"SimpleFilter\"/></root>", true},
  };
  for (const Case& c : cases) {
    std::string error;
    auto doc = TemplateDocument::FromText(c.text, &error);
    EXPECT_EQ(doc != nullptr, c.parses) << c.what;
    if (!doc) {
      EXPECT_FALSE(error.empty()) << c.what;
      continue;
    }
    EXPECT_EQ(CreateTemplateFromDocument(doc, "/tmp"), nullptr) << c.what;
  }
  EXPECT_EQ(CreateTemplateFromDocument(nullptr, "/tmp"), nullptr);
  std::string error;
  EXPECT_EQ(TemplateDocument::FromFile("/no/such/file.xml", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST(TemplateDocument, CreatesTheNamedTemplateWithItsDisplayName) {
  auto doc = TemplateDocument::FromText(
      "<anything><template name=\"Warm light\"/><filter name=\"SimpleTemplate\">"
      "<filter name=\"ColorFilter\"/></filter></anything>");
  ASSERT_TRUE(doc);
  TemplateRef t(CreateTemplateFromDocument(doc, "/tmp/warm"));
  ASSERT_TRUE(t);
  EXPECT_STREQ(t->ClassName(), "SimpleTemplate");
  EXPECT_EQ(t->Kind(), ObjectKind::Template);
  EXPECT_STREQ(t->DisplayName(), "Warm light");
  EXPECT_EQ(t->Folder(), "/tmp/warm");
  EXPECT_EQ(t->Element(), doc->TemplateElement());
  EXPECT_EQ(t->RefCount(), 1);
  auto* simple = dynamic_cast<CT_SimpleTempl*>(t.get());
  ASSERT_NE(simple, nullptr);
  ASSERT_NE(simple->Filter(), nullptr);
  EXPECT_STREQ(simple->Filter()->ClassName(), "ColorFilter");
  EXPECT_EQ(simple->Filter()->Folder(), "/tmp/warm");
}

TEST(TemplateDocument, MissingTemplateElementGivesNoDisplayName) {
  auto doc = TemplateDocument::FromText("<t><filter name=\"SimpleTemplate\"/></t>");
  TemplateRef t(CreateTemplateFromDocument(doc, "/tmp"));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->DisplayName(), nullptr);
  // A template made without a document has an empty name, not a null one.
  CT_SimpleTempl bare;
  EXPECT_STREQ(bare.DisplayName(), "");
}

TEST(TemplateDocument, TemplateKeepsItsDocumentAlive) {
  CEffectTemplate* raw = nullptr;
  {
    auto doc = TemplateDocument::FromText("<t><template name=\"Kept\"/><filter name=\"SimpleTemplate\"/></t>");
    raw = CreateTemplateFromDocument(doc, "/tmp");
  }
  ASSERT_NE(raw, nullptr);
  EXPECT_STREQ(raw->DisplayName(), "Kept");  // read after the caller dropped the document
  raw->Release();
}

TEST(TemplateDocument, LoadsFromAFile) {
  auto folder = test::FreshFolder("template-doc");
  std::ofstream(folder / "warm.xml") << "<t><filter name=\"SimpleTemplate\"><filter name=\"SimpleFilter\"/></filter></t>";
  auto doc = TemplateDocument::FromFile(folder / "warm.xml");
  ASSERT_TRUE(doc);
  EXPECT_STREQ(doc->TemplateClassName(), "SimpleTemplate");
}

std::string Utf16(const std::string& ascii, bool bigEndian, bool mark) {
  std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

TEST(TemplateDocument, LimitsEncodingsAndFilesThatAreNoDocuments) {
  const std::string simple = "<t><filter name=\"SimpleTemplate\"><filter name=\"SimpleFilter\"/></filter></t>";
  std::string deep = "<t>", wide = "<t>", attributes = "<t a0=\"0\"";
  for (int i = 0; i < 64; ++i) deep += "<a>";
  for (int i = 0; i < 64; ++i) deep += "</a>";
  for (int i = 0; i < 257; ++i) wide += "<filter/>";
  for (int i = 1; i < 257; ++i) attributes += " a" + std::to_string(i) + "='x=y'";
  const std::pair<std::string, bool> texts[] = {
      {deep + "</t>", false},                        // 65 levels with the document element
      {deep.substr(3), true},                       // 64 levels
      {wide + "</t>", false},                        // 257 children
      {wide.substr(0, wide.size() - 9) + "</t>", true},
      {attributes + "/>", false},                    // 257 attributes
      {attributes.substr(0, attributes.rfind(' ')) + "/>", true},
      {"<!-- a=1 a=2 --><t x=\">=\"/>", true},      // '=' in comments and values are no attributes
      {Utf16(simple, false, true), true},
      {Utf16(simple, true, true), true},
      {Utf16(simple, false, false), true},
  };
  for (const auto& [text, parses] : texts) {
    std::string error;
    const auto document = TemplateDocument::FromText(text, &error);
    EXPECT_EQ(document != nullptr, parses) << text.substr(0, 60);
    if (!document) {
      EXPECT_FALSE(error.empty());
    }
  }
  EXPECT_STREQ(TemplateDocument::FromText(Utf16(simple, true, false))->TemplateClassName(), "SimpleTemplate");

  const auto folder = test::FreshFolder("template-doc-special");
  ASSERT_EQ(::mkfifo((folder / "fifo.xml").c_str(), 0600), 0);
  std::ofstream(folder / "big.xml") << "<t>" << std::string(kMaxDataFileBytes, ' ') << "</t>";
  for (const fs::path& path : {folder / "fifo.xml", fs::path("/dev/zero"), folder / "big.xml"}) {
    std::string error;
    EXPECT_EQ(TemplateDocument::FromFile(path, &error), nullptr) << path;
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  }
}

// Counts destructions to see when reference counting frees a template.
int g_destroyed = 0;
class CountedTemplate : public CT_SimpleTempl {
public:
  ~CountedTemplate() override { ++g_destroyed; }
};

TEST(TemplateRefCount, LastReleaseDestroys) {
  g_destroyed = 0;
  auto* t = new CountedTemplate;
  EXPECT_EQ(t->RefCount(), 1);
  t->AddRef();  // the engine takes its own reference
  t->Release();
  EXPECT_EQ(g_destroyed, 0);
  t->Release();  // a thumbnail template released right after rendering: 1 -> 0
  EXPECT_EQ(g_destroyed, 1);

  g_destroyed = 0;
  {
    TemplateRef a(new CountedTemplate);
    TemplateRef b = a;
    EXPECT_EQ(a->RefCount(), 2);
  }
  EXPECT_EQ(g_destroyed, 1);
}

TEST(GalleryThumbnail, FitsInto129By86KeepingTheAspectRatio) {
  struct Case {
    cv::Size in, out;
  } cases[] = {
      {{800, 600}, {115, 86}}, {{600, 400}, {129, 86}}, {{400, 800}, {43, 86}},
      {{2000, 100}, {129, 6}}, {{50, 50}, {86, 86}},    {{1, 1}, {86, 86}},
  };
  for (const Case& c : cases) EXPECT_EQ(ThumbnailFitSize(c.in), c.out) << c.in;
}

TEST(GalleryThumbnail, RendersTheTemplateAtThumbnailSize) {
  auto doc = TemplateDocument::FromText(
      "<t><filter name=\"SimpleTemplate\"><filter name=\"ColorFilter\">"
      "<mat><r r=\"0\" g=\"0\" b=\"1\"/><g g=\"1\"/><b r=\"1\"/></mat></filter></filter></t>");
  TemplateRef t(CreateTemplateFromDocument(doc, "/tmp"));
  ASSERT_TRUE(t);
  PhotoItem photo = PhotoItem::FromImage(test::Flat(600, 300, {40, 90, 200}));  // B, G, R
  cv::Mat thumb;
  EXPECT_TRUE(RenderGalleryThumbnail(*t, std::span<PhotoItem>(&photo, 1), thumb).IsFinished());
  ASSERT_FALSE(thumb.empty());
  EXPECT_EQ(thumb.size(), cv::Size(129, 65));
  // Red and blue swapped by the filter.
  EXPECT_EQ(thumb.at<cv::Vec3b>(30, 60), cv::Vec3b(200, 90, 40));
}

}  // namespace
}  // namespace grinsnap
