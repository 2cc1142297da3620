#include <cstdint>
#include <cstring>

#include <limits>

#include <gtest/gtest.h>

#include "core/option_panel.h"
#include "core/registry.h"
#include "templates/simple_template.h"
#include "core/template_document.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A simple template made from document text; kept with its document.
struct Made {
  TemplateRef ref;
  CT_SimpleTempl* t = nullptr;
};

Made MakeSimple(const std::string& templateBody, const std::string& attributes = "") {
  auto doc = TemplateDocument::FromText("<t><filter name=\"SimpleTemplate\" " + attributes + ">" + templateBody +
                                        "</filter></t>");
  EXPECT_TRUE(doc);
  Made made;
  made.ref = TemplateRef(CreateTemplateFromDocument(doc, "/tmp"));
  made.t = dynamic_cast<CT_SimpleTempl*>(made.ref.get());
  EXPECT_NE(made.t, nullptr);
  return made;
}

void* SliderPosition(int position) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(position)); }

TEST(SimpleTemplateLoad, VariablesAndTheSliderProtocol) {
  Made m = MakeSimple(
      "<filter name=\"SimpleFilter\"/><variables>"
      "<var1 name=\"Strength\" min=\"0\" max=\"10\" default=\"5\" resolution=\"0.5\"/>"
      "<var2 min=\"-3\" max=\"7\" default=\"2\"/>"
      "<var3 name=\"Broken\" min=\"abc\" max=\"4\" default=\"x\" resolution=\"0\"/></variables>");
  ASSERT_TRUE(m.t);
  const float* p = m.t->Params();
  EXPECT_FLOAT_EQ(p[0], 5);
  EXPECT_FLOAT_EQ(p[1], 2);
  EXPECT_FLOAT_EQ(p[2], 0);  // unreadable default reads as 0
  EXPECT_FLOAT_EQ(m.t->Variable(1).resolution, 1);  // missing resolution becomes 1
  EXPECT_FLOAT_EQ(m.t->Variable(2).resolution, 1);  // zero resolution becomes 1

  std::int32_t range[3] = {};
  m.t->Command(kCmdVariableRange, 0, 0, range);
  EXPECT_EQ(range[0], 0);
  EXPECT_EQ(range[1], 20);
  EXPECT_EQ(range[2], 10);
  m.t->Command(kCmdVariableRange, 0, 1, range);
  EXPECT_EQ(range[0], -3);
  EXPECT_EQ(range[1], 7);

  m.t->Command(kCmdSetVariable, 0, 0, SliderPosition(7));
  EXPECT_FLOAT_EQ(p[0], 3.5f);
  m.t->Command(kCmdSetVariable, 0, 1, SliderPosition(-2));
  EXPECT_FLOAT_EQ(p[1], -2.0f);
  // The filter reads the live block.
  EXPECT_EQ(m.t->Filter()->Variables().Data(), p);

  char name[kVariableNameBufferSize];
  std::memset(name, 'x', sizeof name);
  m.t->Command(kCmdVariableName, 0, 0, name);
  EXPECT_STREQ(name, "Strength");
  m.t->Command(kCmdVariableName, 0, 1, name);
  EXPECT_STREQ(name, "");  // attribute missing
}

TEST(SimpleTemplateLoad, RangeTruncatesTowardZero) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><variables>"
                      "<var1 min=\"-1\" max=\"1\" default=\"0.25\" resolution=\"0.3\"/></variables>");
  std::int32_t range[3] = {};
  m.t->Command(kCmdVariableRange, 0, 0, range);
  EXPECT_EQ(range[0], -3);  // -3.33 -> -3
  EXPECT_EQ(range[1], 3);
  EXPECT_EQ(range[2], 0);
}

TEST(SimpleTemplateLoad, MissingVariablesGiveEmptyRanges) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/>");
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(m.t->Variable(i).min, 0);
    EXPECT_FLOAT_EQ(m.t->Variable(i).max, 0);
    EXPECT_FLOAT_EQ(m.t->Variable(i).resolution, 1);
  }
}

TEST(SimpleTemplateLoad, RegionOfInterestDefaults) {
  struct Case {
    const char* what;
    const char* body;
    bool hasRoi;
    float roi[4];
  } cases[] = {
      {"no roi", "", false, {0.25f, 0.25f, 0.5f, 0.5f}},
      {"roi without attributes", "<roi/>", true, {0.25f, 0.25f, 0.5f, 0.5f}},
      {"only a width", "<roi defaultw=\"0.8\"/>", true, {0, 0, 0.8f, 0}},
      {"all four", "<roi defaultx=\"0.1\" defaulty=\"0.2\" defaultw=\"0.3\" defaulth=\"0.4\"/>", true,
       {0.1f, 0.2f, 0.3f, 0.4f}},
      {"explicit zeros", "<roi defaultx=\"0\" defaulty=\"0\" defaultw=\"0\" defaulth=\"0\"/>", true,
       {0.25f, 0.25f, 0.5f, 0.5f}},
  };
  for (const Case& c : cases) {
    Made m = MakeSimple(std::string("<filter name=\"SimpleFilter\"/>") + c.body);
    EXPECT_EQ(m.t->HasRoi(), c.hasRoi) << c.what;
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(m.t->Params()[3 + i], c.roi[i]) << c.what << " #" << i;
    EXPECT_FLOAT_EQ(m.t->Params()[7], 0.5f);
    EXPECT_FLOAT_EQ(m.t->Params()[8], 0.5f);
  }
}

TEST(SimpleTemplateLoad, InteractionNeedsRoiOrPick) {
  EXPECT_FALSE(MakeSimple("<filter name=\"SimpleFilter\"/>").t->HasInteraction(kInteractionRegion));
  Made pick = MakeSimple("<filter name=\"SimpleFilter\"/><pick/>");
  EXPECT_TRUE(pick.t->HasPick());
  EXPECT_TRUE(pick.t->HasInteraction(kInteractionRegion));
  EXPECT_FALSE(pick.t->HasInteraction(kInteractionFace));
  EXPECT_TRUE(MakeSimple("<filter name=\"SimpleFilter\"/><roi/>").t->HasInteraction(kInteractionRegion));
}

TEST(SimpleTemplateLoad, BackgroundOnlyForDelayOne) {
  struct Case {
    const char* attributes;
    bool background;
  } cases[] = {{"delay=\"1\"", true}, {"delay=\"2\"", false}, {"delay=\"0\"", false},
               {"", false},           {"delay=\"x\"", false}};
  for (const Case& c : cases)
    EXPECT_EQ(MakeSimple("<filter name=\"SimpleFilter\"/>", c.attributes).t->RunsInBackground(), c.background)
        << c.attributes;
  // Without delay the filter answers: a colour pass over 1000 pixels runs in the background.
  Made color = MakeSimple("<filter name=\"ColorFilter\"/>");
  cv::Mat big = test::Flat(1200, 800, {1, 2, 3});
  color.t->SetSources(std::span<const cv::Mat>(&big, 1));
  color.t->PrepareOutput(nullptr);
  EXPECT_TRUE(color.t->RunsInBackground());
}

TEST(SimpleTemplateCommand, HasRoiShowRoiAndUnknownCodes) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi/>");
  std::uint8_t has = 0;
  m.t->Command(kCmdHasRoi, 0, 0, &has);
  EXPECT_EQ(has, 1);
  m.t->Command(kCmdShowRoi, 0, 0, nullptr);
  EXPECT_FALSE(m.t->ShowRoi());
  // The filter still receives the region values while the box is hidden.
  EXPECT_EQ(m.t->Filter()->Variables().Data(), m.t->Params());
  m.t->Command(kCmdShowRoi, 0, 1, nullptr);
  EXPECT_TRUE(m.t->ShowRoi());
  EXPECT_EQ(m.t->Command(12345, 0, 0, nullptr), 1);
  // Null buffers and out-of-range indices are ignored rather than written.
  m.t->Command(kCmdVariableName, 0, 0, nullptr);
  m.t->Command(kCmdVariableRange, 0, 7, nullptr);
  m.t->Command(kCmdSetVariable, 0, -1, SliderPosition(3));
}

TEST(SimpleTemplateFilterless, EveryForwardedOperationDoesNothing) {
  for (const char* body : {"", "<filter name=\"NoSuchFilter\"/>", "<filter/>"}) {
    Made m = MakeSimple(body);
    ASSERT_TRUE(m.t) << body;
    EXPECT_EQ(m.t->Filter(), nullptr);
    cv::Mat photo = test::Flat(10, 10, {1, 2, 3});
    m.t->SetSources(std::span<const cv::Mat>(&photo, 1));
    cv::Size box(5, 5);
    EXPECT_FALSE(m.t->PrepareOutput(&box));
    m.t->ApplyParams();
    m.t->Reseed();
    m.t->Process();
    m.t->Abort();
    EXPECT_EQ(m.t->GetOutput(), nullptr);
    EXPECT_FALSE(m.t->RunsInBackground());
    EXPECT_EQ(m.t->Command(kCmdShowRoi, 0, 0, nullptr), 0);
    EXPECT_FALSE(m.t->SaveAnimation("/tmp/x.gif", 10, 10, nullptr));
    EXPECT_FALSE(m.t->CanExportAnimation());
  }
}

// Records the overlay drawing calls.
class RecordingPainter : public OverlayPainter {
public:
  Pen SelectPen(const Pen& pen) override {
    pens.push_back(pen);
    Pen old = current;
    current = pen;
    return old;
  }
  void SelectNullBrush() override { ++nullBrushes; }
  void DrawRectangle(const ViewRect& rect) override { rects.push_back(rect); }

  Pen current{PenStyle::Solid, 3, 0x123456};
  std::vector<Pen> pens;
  std::vector<ViewRect> rects;
  int nullBrushes = 0;
};

ViewGeometry View(int left, int top, int width, int height, double scale = 1.0, bool fitted = true) {
  return {{left, top, left + width, top + height}, scale, fitted};
}

TEST(SimpleTemplateOverlay, DrawsTheDashedBoxAndRestoresThePen) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi/>");
  RecordingPainter painter;
  const Pen original = painter.current;
  m.t->DrawOverlay(kInteractionRegion, painter, View(100, 50, 400, 200));
  ASSERT_EQ(painter.rects.size(), 1u);
  EXPECT_EQ(painter.rects[0], (ViewRect{200, 100, 400, 200}));
  ASSERT_EQ(painter.pens.size(), 2u);
  EXPECT_EQ(painter.pens[0], (Pen{PenStyle::Dash, 1, 0xE654F1}));
  EXPECT_EQ(painter.current, original);
  EXPECT_EQ(painter.nullBrushes, 1);

  // Hidden box, no region, or no output: nothing is drawn.
  RecordingPainter quiet;
  m.t->Command(kCmdShowRoi, 0, 0, nullptr);
  m.t->DrawOverlay(kInteractionRegion, quiet, View(0, 0, 100, 100));
  MakeSimple("<filter name=\"SimpleFilter\"/>").t->DrawOverlay(kInteractionRegion, quiet, View(0, 0, 100, 100));
  MakeSimple("<roi/>").t->DrawOverlay(kInteractionRegion, quiet, View(0, 0, 100, 100));
  EXPECT_TRUE(quiet.rects.empty());
}

TEST(RoiZones, HitTestInOrderWithTenPixelMargins) {
  const ViewRect roi{100, 100, 300, 200};
  struct Case {
    int x, y, zone;
    CursorShape cursor;
  } cases[] = {
      {200, 150, 1, CursorShape::SizeAll},  {300, 150, 2, CursorShape::SizeWE},  {305, 95, 3, CursorShape::SizeNESW},
      {200, 100, 4, CursorShape::SizeNS},   {95, 95, 5, CursorShape::SizeNWSE},  {100, 150, 6, CursorShape::SizeWE},
      {100, 200, 7, CursorShape::SizeNESW}, {200, 205, 8, CursorShape::SizeNS},  {309, 209, 9, CursorShape::SizeNWSE},
      {310, 150, 0, CursorShape::Arrow},    {50, 50, 0, CursorShape::Arrow},     {110, 110, 1, CursorShape::SizeAll},
      {109, 150, 6, CursorShape::SizeWE},   {290, 110, 2, CursorShape::SizeWE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitTestRoiZone(roi, c.x, c.y), c.zone) << c.x << "," << c.y;
    EXPECT_EQ(CursorForZone(HitTestRoiZone(roi, c.x, c.y)), c.cursor) << c.x << "," << c.y;
  }
}

// Drives a drag: hover (button up) at from, press, move to `to`, release.
void Drag(CT_SimpleTempl& t, const ViewGeometry& view, int fx, int fy, int tx, int ty) {
  t.OnMouse(kInteractionRegion, {fx, fy, false}, view);
  t.OnMouse(kInteractionRegion, {fx, fy, true}, view);
  t.OnMouse(kInteractionRegion, {tx, ty, true}, view);
  t.OnMouse(kInteractionRegion, {tx, ty, false}, view);
}

TEST(RoiEditing, MovingClampsInsideThePicture) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi/>");
  const ViewGeometry view = View(0, 0, 400, 200);  // box at 100..300 x 50..150
  Drag(*m.t, view, 200, 100, 240, 120);
  const float* p = m.t->Params();
  EXPECT_FLOAT_EQ(p[3], 0.35f);
  EXPECT_FLOAT_EQ(p[4], 0.35f);
  Drag(*m.t, view, 200, 100, 2000, -900);  // far outside: clamped to the edges
  EXPECT_FLOAT_EQ(p[3], 0.5f);
  EXPECT_FLOAT_EQ(p[4], 0.0f);
  EXPECT_FLOAT_EQ(p[5], 0.5f);
  EXPECT_FLOAT_EQ(p[6], 0.5f);
}

TEST(RoiEditing, SidesKeepFortyPixelsAndStayInsideThePicture) {
  struct Case {
    const char* what;
    int fx, fy, tx, ty;
    float x, y, w, h;
  } cases[] = {
      // View 400 x 400, box 100..300 on both axes.
      {"right edge out", 300, 200, 900, 200, 0.25f, 0.25f, 0.75f, 0.5f},
      {"right edge past left", 300, 200, 0, 200, 0.25f, 0.25f, 0.1f, 0.5f},
      {"left edge out", 100, 200, -50, 200, 0.0f, 0.25f, 0.75f, 0.5f},
      {"left edge past right", 100, 200, 390, 200, 0.65f, 0.25f, 0.1f, 0.5f},
      {"top edge", 200, 100, 200, 60, 0.25f, 0.15f, 0.5f, 0.6f},
      {"bottom edge past top", 200, 300, 200, 10, 0.25f, 0.25f, 0.5f, 0.1f},
      {"top-left corner", 100, 100, 20, 40, 0.05f, 0.1f, 0.7f, 0.65f},
      {"bottom-right corner", 300, 300, 420, 380, 0.25f, 0.25f, 0.75f, 0.7f},
  };
  for (const Case& c : cases) {
    Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi/>");
    Drag(*m.t, View(0, 0, 400, 400), c.fx, c.fy, c.tx, c.ty);
    const float* p = m.t->Params();
    EXPECT_NEAR(p[3], c.x, 1e-6) << c.what;
    EXPECT_NEAR(p[4], c.y, 1e-6) << c.what;
    EXPECT_NEAR(p[5], c.w, 1e-6) << c.what;
    EXPECT_NEAR(p[6], c.h, 1e-6) << c.what;
  }
}

TEST(RoiEditing, ABoxNarrowerThanFortyPixelsCannotLeaveThePicture) {
  // Box 5..25 of a 400-pixel view; its left side is dragged out past the edge.
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi defaultx=\"0.0125\" defaulty=\"0.25\" "
                      "defaultw=\"0.05\" defaulth=\"0.5\"/>");
  Drag(*m.t, View(0, 0, 400, 400), 5, 200, -80, 200);
  const float* p = m.t->Params();
  EXPECT_FLOAT_EQ(p[3], 0.0f);
  EXPECT_NEAR(p[5], 0.0625f, 1e-6);
}

TEST(SimpleTemplate, ExtremeNumbersInTheDocumentStayDefined) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><variables>"
                      "<var1 name=\"A\" min=\"-1e308\" max=\"1e308\" default=\"nan\" resolution=\"1e-300\"/>"
                      "<var2 name=\"B\" min=\"0\" max=\"inf\" default=\"5\" resolution=\"nan\"/></variables>"
                      "<roi defaultx=\"-3\" defaulty=\"nan\" defaultw=\"7\" defaulth=\"-0.5\"/>");
  std::int32_t range[3] = {};
  m.t->Command(kCmdVariableRange, 0, 0, range);
  EXPECT_EQ(range[0], std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(range[1], std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(range[2], 0);
  m.t->Command(kCmdVariableRange, 0, 1, range);
  EXPECT_EQ(range[1], 0);  // infinity is refused: the maximum stays 0
  EXPECT_EQ(range[2], 5);  // a resolution that is not a number is 1
  const float* p = m.t->Params();
  EXPECT_FLOAT_EQ(p[3], 0.0f);
  EXPECT_FLOAT_EQ(p[4], 0.0f);
  EXPECT_FLOAT_EQ(p[5], 1.0f);
  EXPECT_FLOAT_EQ(p[6], 0.0f);
}

TEST(RoiEditing, NothingMovesWithoutAPressOverAZone) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><roi/>");
  const ViewGeometry view = View(0, 0, 400, 400);
  // Button already down when the pointer arrives: the first pressed event only records.
  EXPECT_FALSE(m.t->OnMouse(kInteractionRegion, {200, 200, true}, view));
  // Pressed outside every zone.
  Drag(*m.t, view, 20, 20, 30, 30);
  EXPECT_FLOAT_EQ(m.t->Params()[3], 0.25f);
  EXPECT_EQ(m.t->Cursor(), CursorShape::Arrow);
  // Another kind is not ours.
  EXPECT_FALSE(m.t->OnMouse(kInteractionFace, {200, 200, true}, view));
}

TEST(PickPoint, FollowsThePressedMouseWhileThePictureIsFitted) {
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/><pick/>");
  // The fitted preview of a large picture shows it at less than 1:1.
  EXPECT_TRUE(m.t->OnMouse(kInteractionRegion, {150, 75, true}, View(50, 25, 400, 200, 0.37)));
  EXPECT_FLOAT_EQ(m.t->Params()[7], 0.25f);
  EXPECT_FLOAT_EQ(m.t->Params()[8], 0.25f);
  // Zoomed preview or released button: unchanged.
  EXPECT_FALSE(m.t->OnMouse(kInteractionRegion, {250, 125, true}, View(50, 25, 800, 400, 2.0, false)));
  EXPECT_FALSE(m.t->OnMouse(kInteractionRegion, {250, 125, false}, View(50, 25, 400, 200)));
  EXPECT_FLOAT_EQ(m.t->Params()[7], 0.25f);
}

class TestPane2D : public COptionPanel {
public:
  static constexpr const char* kClassName = "OptionPane_2D";
  TestPane2D() { SetClassName(kClassName); }
  bool HasWindow() const override { return windowed; }
  bool windowed = false;
};

TEST(SimpleTemplatePanes, PanelOneGivesThe2DPaneUnlessNoAdjust) {
  RegisterClass<TestPane2D>();
  Made m = MakeSimple("<filter name=\"SimpleFilter\"/>");
  std::vector<COptionPanel*>* panes = m.t->CreateOptionPanes(kTemplateParamPanel);
  ASSERT_NE(panes, nullptr);
  ASSERT_EQ(panes->size(), 1u);
  EXPECT_STREQ((*panes)[0]->ClassName(), "OptionPane_2D");
  EXPECT_EQ((*panes)[0]->Owner(), m.t);
  // A second call drops the windowless pane and keeps one with a window.
  static_cast<TestPane2D*>((*panes)[0])->windowed = true;
  panes = m.t->CreateOptionPanes(kTemplateParamPanel);
  ASSERT_NE(panes, nullptr);
  EXPECT_EQ(panes->size(), 2u);
  // The third call deletes the windowless second pane.
  panes = m.t->CreateOptionPanes(kTemplateParamPanel);
  EXPECT_EQ(panes->size(), 2u);
  EXPECT_EQ(m.t->CreateOptionPanes(2), nullptr);

  // A pane with a window outlives its template and is detached from it.
  COptionPanel* survivor = (*panes)[0];
  m.ref = TemplateRef();
  EXPECT_EQ(survivor->Owner(), nullptr);
  delete survivor;

  Made fixed = MakeSimple("<filter name=\"SimpleFilter\"/>", "no_adjust=\"1\"");
  EXPECT_EQ(fixed.t->CreateOptionPanes(kTemplateParamPanel), nullptr);
  EXPECT_TRUE(fixed.t->Panes().empty());
}

}  // namespace
}  // namespace grinsnap
