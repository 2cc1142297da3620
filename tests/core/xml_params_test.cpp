#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "core/xml_params.h"

namespace grinsnap {
namespace {

TEST(XmlParams, NumberedChildrenStopAtTheFirstGap) {
  tinyxml2::XMLDocument doc;
  doc.Parse("<param><extra1 aspect=\"2\"/><extra0 aspect=\"1\"/><extra3/><other/></param>");
  auto extras = NumberedChildren(doc.RootElement(), "extra");
  ASSERT_EQ(extras.size(), 2u);  // extra2 is missing: extra3 is never read
  EXPECT_STREQ(extras[0]->Name(), "extra0");
  EXPECT_STREQ(extras[1]->Name(), "extra1");
  EXPECT_TRUE(NumberedChildren(nullptr, "extra").empty());
}

TEST(XmlParams, MissingOrUnreadableAttributesKeepTheDefault) {
  tinyxml2::XMLDocument doc;
  doc.Parse("<param a=\"12\" b=\"x\" c=\"1.75\" d=\"\" e=\"-3\"/>");
  const tinyxml2::XMLElement* p = doc.RootElement();
  int a = 7, b = 7, missing = 7;
  ReadAttribute(p, "a", a);
  ReadAttribute(p, "b", b);
  ReadAttribute(p, "zz", missing);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(missing, 7);
  float c = 0, d = 5;
  ReadAttribute(p, "c", c);
  ReadAttribute(p, "d", d);
  EXPECT_FLOAT_EQ(c, 1.75f);
  EXPECT_FLOAT_EQ(d, 5);
  double e = 0;
  ReadAttribute(p, "e", e);
  EXPECT_DOUBLE_EQ(e, -3);
  ReadAttribute(nullptr, "e", e);
  EXPECT_DOUBLE_EQ(e, -3);
  EXPECT_EQ(AttributeText(p, "a"), "12");
  EXPECT_EQ(AttributeText(p, "none"), "");
  EXPECT_EQ(ChildrenNamed(p, "x").size(), 0u);
}

TEST(XmlParams, NumbersBeyondTheirTypeSaturateAndNonNumbersAreRefused) {
  tinyxml2::XMLDocument doc;
  doc.Parse("<p big=\"99999999999\" small=\"-99999999999\" huge=\"1e308\" tiny=\"-1e308\" nan=\"nan\" "
            "inf=\"inf\" hex=\"0x10\"/>");
  const tinyxml2::XMLElement* p = doc.RootElement();
  struct IntCase {
    const char* name;
    int expected;
  } ints[] = {{"big", std::numeric_limits<int>::max()}, {"small", std::numeric_limits<int>::min()}, {"hex", 16},
              {"nan", 7}};
  for (const IntCase& c : ints) {
    int v = 7;
    ReadAttribute(p, c.name, v);
    EXPECT_EQ(v, c.expected) << c.name;
  }
  struct FloatCase {
    const char* name;
    float expected;
  } floats[] = {{"huge", std::numeric_limits<float>::max()}, {"tiny", -std::numeric_limits<float>::max()},
                {"nan", 5}, {"inf", 5}};
  for (const FloatCase& c : floats) {
    float v = 5;
    ReadAttribute(p, c.name, v);
    EXPECT_EQ(v, c.expected) << c.name;
    double d = 5;
    ReadAttribute(p, c.name, d);
    EXPECT_TRUE(std::isfinite(d)) << c.name;
  }
}

}  // namespace
}  // namespace grinsnap
