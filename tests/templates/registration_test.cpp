// The registration lists: what every executable registers at start-up.
#include <cstring>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/registry.h"
#include "templates/builtin_classes.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Registration, ListsAreSortedUniqueAndFollowTheNamingRule) {
  std::set<std::string> seen;
  std::ostringstream failures;
  for (std::span<const ClassEntry> list : BuiltinClassLists()) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string name = list[i].name;
      if (i > 0 && std::strcmp(list[i - 1].name, list[i].name) >= 0)
        failures << name << " is out of order after " << list[i - 1].name << "\n";
      if (!seen.insert(name).second) failures << name << " is registered twice\n";
      auto object = std::unique_ptr<CImageDataObject>(list[i].create());
      if (std::strcmp(object->ClassName(), list[i].name) != 0)
        failures << name << " makes an object named " << object->ClassName() << "\n";
      const bool filter = object->Kind() == ObjectKind::Filter;
      const bool effect = object->Kind() == ObjectKind::Template;
      if (filter && name.find("Filter") == std::string::npos) failures << name << ": a filter without 'Filter'\n";
      if (effect && !EndsWith(name, "Template")) failures << name << ": a template not ending in 'Template'\n";
      if (!filter && !effect) failures << name << ": neither a filter nor a template\n";
    }
  }
  for (const std::string& name : RegistryConflicts())
    if (seen.count(name)) failures << name << " was replaced by another class\n";
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

// Every class a shipped document names is registered with the right kind:
// the template element's class is a template, every filter in it a filter.
void CheckFilters(const tinyxml2::XMLElement* parent, const std::string& document, std::ostringstream& failures) {
  for (const tinyxml2::XMLElement* child = parent->FirstChildElement(); child; child = child->NextSiblingElement()) {
    if (std::strcmp(child->Name(), "filter") == 0) {
      const char* name = child->Attribute("name");
      auto object = CreateDataObject(name);
      if (!object || object->Kind() != ObjectKind::Filter)
        failures << document << ": filter '" << (name ? name : "") << "' is not a registered filter\n";
    }
    CheckFilters(child, document, failures);
  }
}

TEST(Registration, EveryClassOfEveryShippedDocumentIsRegistered) {
  const auto documents = test::ShippedTemplateDocuments();
  ASSERT_FALSE(documents.empty());
  std::ostringstream failures;
  for (const auto& path : documents) {
    tinyxml2::XMLDocument doc;
    const std::string label = path.lexically_relative(test::ShippedDataDir()).string();
    if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS || !doc.RootElement()) {
      failures << label << ": does not parse\n";
      continue;
    }
    const tinyxml2::XMLElement* templateElement = doc.RootElement()->FirstChildElement("filter");
    const char* name = templateElement ? templateElement->Attribute("name") : nullptr;
    auto object = CreateDataObject(name);
    if (!object || object->Kind() != ObjectKind::Template) {
      failures << label << ": template class '" << (name ? name : "") << "' is not registered\n";
      continue;
    }
    CheckFilters(templateElement, label, failures);
  }
  EXPECT_TRUE(failures.str().empty()) << failures.str();
}

}  // namespace
}  // namespace grinsnap
