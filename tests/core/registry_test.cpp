#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/effect_template.h"
#include "core/option_panel.h"
#include "core/registry.h"
#include "filters/filter_factory.h"
#include "filters/simple_filter.h"
#include "templates/simple_template.h"

namespace grinsnap {
namespace {

// Two creators under one name tell which one the registry keeps.
class FirstVersion : public CF_SimpleFilter {
public:
  FirstVersion() { SetClassName("RegistryTestFilter"); }
};
class SecondVersion : public CF_SimpleFilter {
public:
  SecondVersion() { SetClassName("RegistryTestFilter"); }
};

class TestPane : public COptionPanel {
public:
  static constexpr const char* kClassName = "OptionPane_RegistryTest";
  TestPane() { SetClassName(kClassName); }
};

TEST(Registry, LaterRegistrationReplacesEarlierOne) {
  RegisterDataObjectClass("RegistryTestFilter", []() -> CImageDataObject* { return new FirstVersion; });
  RegisterDataObjectClass("RegistryTestFilter", []() -> CImageDataObject* { return new SecondVersion; });
  auto object = CreateDataObject("RegistryTestFilter");
  ASSERT_TRUE(object);
  EXPECT_NE(dynamic_cast<SecondVersion*>(object.get()), nullptr);
}

TEST(Registry, RegisterReturnsItsCreator) {
  DataObjectCreator creator = []() -> CImageDataObject* { return new FirstVersion; };
  EXPECT_EQ(RegisterDataObjectClass("RegistryTestReturn", creator), creator);
}

TEST(Registry, UnknownNullAndCaseMismatchedNamesGiveNothing) {
  EXPECT_EQ(CreateDataObject(nullptr), nullptr);
  EXPECT_EQ(CreateDataObject("NoSuchFilter"), nullptr);
  EXPECT_EQ(CreateDataObject("simpletemplate"), nullptr);
  EXPECT_EQ(CreateFilterFromXml("NoSuchFilter", nullptr, {}, false, nullptr), nullptr);
  EXPECT_EQ(CreateTemplate("NoSuchTemplate", "x", nullptr, {}), nullptr);
  EXPECT_EQ(CreateOptionPane("NoSuchPane", nullptr, nullptr), nullptr);
}

TEST(Registry, KindsAndClassNamesOfCreatedObjects) {
  struct Case {
    const char* name;
    ObjectKind kind;
  } cases[] = {{"SimpleFilter", ObjectKind::Filter},
               {"CombineFilter", ObjectKind::Filter},
               {"ColorFilter", ObjectKind::Filter},
               {"SimpleTemplate", ObjectKind::Template}};
  for (const Case& c : cases) {
    auto object = CreateDataObject(c.name);
    ASSERT_TRUE(object) << c.name;
    EXPECT_EQ(object->Kind(), c.kind) << c.name;
    EXPECT_STREQ(object->ClassName(), c.name);
  }
}

TEST(Registry, CreateFilterFromXmlRunsTheCreationSequence) {
  tinyxml2::XMLDocument doc;
  doc.Parse("<filter name=\"SimpleFilter\"/>");
  const float block[9] = {};
  auto filter = CreateFilterFromXml("SimpleFilter", doc.RootElement(), "/tmp/tmpl", true, block);
  ASSERT_TRUE(filter);
  EXPECT_EQ(filter->Element(), doc.RootElement());
  EXPECT_EQ(filter->Variables().Data(), block);
  EXPECT_TRUE(filter->ShareSources());
  EXPECT_EQ(filter->Folder(), "/tmp/tmpl");
  // Load ran: the simple base made its 800 x 600 black output.
  ASSERT_NE(filter->GetOutput(), nullptr);
  EXPECT_EQ(filter->GetOutput()->size(), cv::Size(800, 600));
}

TEST(Registry, OptionPanesOnlyForOptionPaneKinds) {
  RegisterClass<TestPane>();
  CT_SimpleTempl owner;
  COptionPanel* pane = CreateOptionPane(TestPane::kClassName, nullptr, &owner);
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->MadeByRegistry());
  EXPECT_EQ(pane->Owner(), &owner);
  EXPECT_EQ(pane->Kind(), ObjectKind::OptionPane);
  delete pane;
  // A filter's name gives no pane, and nothing leaks (checked under ASan).
  EXPECT_EQ(CreateOptionPane("SimpleFilter", nullptr, &owner), nullptr);
  EXPECT_EQ(CreateOptionPane("SimpleTemplate", nullptr, &owner), nullptr);
}

TEST(Registry, NamesAreListedSortedAndIncludeTheBuiltins) {
  const std::vector<std::string> names = RegisteredClassNames();
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (const char* builtin : {"CombineFilter", "SimpleFilter", "SimpleTemplate", "ColorFilter"})
    EXPECT_NE(std::find(names.begin(), names.end(), builtin), names.end()) << builtin;
}

}  // namespace
}  // namespace grinsnap
