#include "ui/option_panes.h"

#include <climits>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <opencv2/imgcodecs.hpp>

#include "core/photo_item.h"
#include "templates/mesh_template.h"
#include "templates/simple_template.h"
#include "core/template_document.h"
#include "platform/messages.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "ui/app_context.h"
#include "ui/qt_message_target.h"

namespace grinsnap {
namespace {

// A simple template that records the Command calls its pane makes.
class RecordingTemplate : public CT_SimpleTempl {
public:
  struct Call {
    int code = 0;
    int index = 0;
    std::intptr_t value = 0;  // the slider position of kCmdSetVariable
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;

  int Command(int code, int reserved, int index, void* data) override {
    calls.push_back({code, index, code == kCmdSetVariable ? reinterpret_cast<std::intptr_t>(data) : 0});
    return CT_SimpleTempl::Command(code, reserved, index, data);
  }
};

struct RecordingHost : PaneHost {
  RecordingMessageTarget redraw;
  MessageTarget* RedrawTarget() override { return &redraw; }
};

// A host that is a window: the pane becomes its child.
struct WidgetHost : QWidget, PaneHost {
  RecordingMessageTarget redraw;
  MessageTarget* RedrawTarget() override { return &redraw; }
};

std::string Document(const std::string& templateAttributes, const std::string& body) {
  return "<effect><template name=\"T\"/><filter name=\"SimpleTemplate\" " + templateAttributes +
         "><filter name=\"EmbossFilter\"/>" + body + "</filter></effect>";
}

// var1 steps of 0.05 with a default that does not divide evenly, no var2,
// var3 below zero, and a region of interest.
const std::string kGlowDocument =
    Document("", "<variables><var1 name=\"Glow\" min=\"0.5\" max=\"2\" default=\"1.3\" resolution=\"0.05\"/>"
                 "<var3 name=\"Angle\" min=\"-90\" max=\"90\" default=\"10\"/></variables><roi/>");

std::vector<std::uint32_t> Ids(const RecordingMessageTarget& target) {
  std::vector<std::uint32_t> ids;
  for (const RecordedMessage& m : target.Messages()) ids.push_back(m.message);
  return ids;
}

class OptionPanesTest : public testing::Test {
protected:
  OptionPanesTest() {
    test::QtApp();
    SetApp(&app_);
    RegisterUiClasses();
  }
  ~OptionPanesTest() override {
    app_.engine.SetTemplate(nullptr);
    template_ = TemplateRef();
    for (COptionPanel* pane : panes_) delete pane;
    SetApp(nullptr);
  }

  // Loads the document into a recording template, current in the engine on
  // a photo, and makes its pane through the registry.
  COptionPane2D* MakePane(const std::string& xml, PaneHost* host = nullptr) {
    auto document = TemplateDocument::FromText(xml);
    auto* t = new RecordingTemplate;
    t->SetEngine(&app_.engine);
    t->SetElement(document->TemplateElement());
    t->KeepDocument(document);
    t->Load();
    t->SetMainWindow(host ? host : &host_);
    template_ = TemplateRef(t);
    recorder_ = t;
    if (app_.engine.GetPhotoCount() == 0) {
      app_.engine.InsertPhoto(-1, PhotoItem::FromImage(test::Flat(64, 48, {40, 120, 200})));
      app_.engine.SelectSingleInput(0);
    }
    app_.engine.SetTemplate(t);
    host_.redraw.Clear();
    std::vector<COptionPanel*>* panes = t->CreateOptionPanes(kTemplateParamPanel);
    if (!panes || panes->size() != 1) return nullptr;
    auto* pane = dynamic_cast<COptionPane2D*>(panes->front());
    if (!host) panes_.push_back(pane);
    creationCalls_ = std::move(t->calls);
    t->calls.clear();
    return pane;
  }

  // A language file in a fresh folder, made current.
  void UseLanguage(const std::string& fileName, const std::string& text) {
    if (langFolder_.empty()) langFolder_ = test::FreshFolder("lang");
    std::ofstream(langFolder_ / fileName) << text;
    app_.settings.languageAuto = false;
    app_.settings.language = fileName;
    if (!app_.language) app_.language = std::make_unique<CLanguage>(langFolder_, app_.settings);
  }

  AppContext app_;
  RecordingHost host_;
  TemplateRef template_;
  RecordingTemplate* recorder_ = nullptr;
  std::vector<RecordingTemplate::Call> creationCalls_;
  std::vector<COptionPanel*> panes_;
  std::filesystem::path langFolder_;
};

TEST_F(OptionPanesTest, RefreshShowsTheVariablesTheTemplateDefines) {
  struct Case {
    const char* what;
    std::string xml;
    bool shown[3];
    int range[3][3];  // min, max, position of the shown sliders
    const char* caption[3];
    bool clipBox;
  };
  std::ifstream shipped(test::DataDir() / "../../data/templates/2d/emboss.xml");
  const std::string emboss((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
  const Case cases[] = {
      {"shipped emboss", emboss, {true, true, false}, {{1, 8, 3}, {60, 200, 128}, {}}, {"Depth", "Brightness", ""},
       false},
      // 1.3 / 0.05 is just under 26 in float and truncates to 25.
      {"steps of 0.05", kGlowDocument, {true, false, true}, {{10, 40, 25}, {}, {-90, 90, 10}}, {"Glow", "", "Angle"},
       true},
      // A range under one step truncates to 0..0, which hides the slider.
      {"all ranges empty",
       Document("", "<variables><var1 name=\"A\" min=\"0\" max=\"0\" default=\"4\"/>"
                    "<var2 name=\"B\" min=\"0\" max=\"0.4\"/></variables>"),
       {false, false, false}, {}, {"", "", ""}, false},
      // Numbers no slider can hold saturate; NaN and infinities are not read.
      {"numbers beyond int",
       Document("", "<variables><var1 name=\"A\" min=\"-1e308\" max=\"1e308\" default=\"nan\" resolution=\"1e-300\"/>"
                    "<var2 name=\"B\" min=\"0\" max=\"inf\" default=\"5\" resolution=\"nan\"/>"
                    "<var3 name=\"C\" min=\"1e308\" max=\"1e308\" resolution=\"1e-45\"/></variables>"),
       {true, false, true}, {{INT_MIN, INT_MAX, 0}, {}, {INT_MAX, INT_MAX, INT_MAX}}, {"A", "", "C"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    COptionPane2D* pane = MakePane(c.xml);
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->HasWindow());
    EXPECT_STREQ(pane->ClassName(), "OptionPane_2D");
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(!pane->Slider(i)->isHidden(), c.shown[i]);
      EXPECT_EQ(!pane->Label(i)->isHidden(), c.shown[i]);
      if (!c.shown[i]) continue;
      EXPECT_EQ(pane->Slider(i)->minimum(), c.range[i][0]);
      EXPECT_EQ(pane->Slider(i)->maximum(), c.range[i][1]);
      EXPECT_EQ(pane->Slider(i)->value(), c.range[i][2]);
      EXPECT_EQ(pane->Label(i)->text().toStdString(), c.caption[i]);
    }
    EXPECT_EQ(!pane->ClipBox()->isHidden(), c.clipBox);
    EXPECT_TRUE(pane->ClipBox()->isChecked());
    // Names and ranges in variable order, then the clip box question; setting
    // the sliders up is no change.
    const std::vector<RecordingTemplate::Call> asked = {
        {kCmdVariableName, 0, 0}, {kCmdVariableRange, 0, 0}, {kCmdVariableName, 1, 0}, {kCmdVariableRange, 1, 0},
        {kCmdVariableName, 2, 0}, {kCmdVariableRange, 2, 0}, {kCmdHasRoi, 0, 0}};
    EXPECT_EQ(creationCalls_, asked);
    EXPECT_TRUE(host_.redraw.Messages().empty());
  }
}

TEST_F(OptionPanesTest, MovingASliderSendsAllThreePositionsAndAsksForARedraw) {
  for (bool background : {false, true}) {
    SCOPED_TRACE(background ? "on the worker" : "synchronous");
    std::string xml = kGlowDocument;
    if (background) xml.replace(xml.find("name=\"SimpleTemplate\""), 0, "delay=\"1\" ");
    COptionPane2D* pane = MakePane(xml);
    ASSERT_NE(pane, nullptr);
    host_.redraw.Clear();
    {
      const QSignalBlocker blocker(pane->Slider(2));
      pane->Slider(2)->setValue(-30);
    }
    pane->Slider(0)->setValue(12);
    const std::vector<RecordingTemplate::Call> expected = {
        {kCmdSetVariable, 0, 12}, {kCmdSetVariable, 1, 0}, {kCmdSetVariable, 2, -30}};
    EXPECT_EQ(recorder_->calls, expected);
    EXPECT_FLOAT_EQ(recorder_->Params()[0], 12 * 0.05f);
    EXPECT_FLOAT_EQ(recorder_->Params()[2], -30.0f);
    const std::uint32_t redraw = background ? kMsgProcessingContinues : kMsgResultReady;
    ASSERT_EQ(host_.redraw.Messages().size(), 1u);
    EXPECT_EQ(host_.redraw.Messages()[0], (RecordedMessage{redraw, 0, 0, true}));
    app_.engine.WaitForResult();
  }
}

TEST_F(OptionPanesTest, DraggingShowsQuickStepsAndAppliesOnRelease) {
  COptionPane2D* pane = MakePane(kGlowDocument);
  ASSERT_NE(pane, nullptr);
  QSlider* slider = pane->Slider(0);
  EXPECT_TRUE(app_.engine.Output().empty());
  slider->setSliderDown(true);
  slider->setSliderPosition(14);
  slider->setSliderPosition(16);
  EXPECT_EQ(Ids(host_.redraw), (std::vector<std::uint32_t>{kMsgRepaint, kMsgRepaint}));
  EXPECT_FALSE(app_.engine.Output().empty()) << "each step is shown";
  EXPECT_FLOAT_EQ(recorder_->Params()[0], 16 * 0.05f);
  slider->setSliderDown(false);
  EXPECT_EQ(Ids(host_.redraw), (std::vector<std::uint32_t>{kMsgRepaint, kMsgRepaint, kMsgResultReady}));
  EXPECT_EQ(recorder_->calls.size(), 9u) << "three positions per step and on release";

  // Pressing and letting go without moving changes nothing.
  host_.redraw.Clear();
  recorder_->calls.clear();
  slider->setSliderDown(true);
  slider->setSliderDown(false);
  EXPECT_TRUE(host_.redraw.Messages().empty());
  EXPECT_TRUE(recorder_->calls.empty());
}

TEST_F(OptionPanesTest, ClipBoxSwitchesTheRegionBox) {
  COptionPane2D* pane = MakePane(kGlowDocument);
  ASSERT_NE(pane, nullptr);
  host_.redraw.Clear();
  pane->ClipBox()->click();
  EXPECT_FALSE(recorder_->ShowRoi());
  pane->ClipBox()->click();
  EXPECT_TRUE(recorder_->ShowRoi());
  EXPECT_EQ(recorder_->calls,
            (std::vector<RecordingTemplate::Call>{{kCmdShowRoi, 0, 0}, {kCmdShowRoi, 1, 0}}));
  EXPECT_EQ(Ids(host_.redraw), (std::vector<std::uint32_t>{kMsgResultReady, kMsgResultReady}));
}

TEST_F(OptionPanesTest, APaneOutlivingItsTemplateIgnoresChanges) {
  COptionPane2D* pane = MakePane(kGlowDocument);
  ASSERT_NE(pane, nullptr);
  app_.engine.SetTemplate(nullptr);
  template_ = TemplateRef();  // the template goes, its pane has a window and stays
  EXPECT_EQ(pane->Owner(), nullptr);
  host_.redraw.Clear();
  pane->Slider(0)->setValue(20);
  pane->Slider(0)->setSliderDown(true);
  pane->Slider(0)->setSliderPosition(30);
  pane->Slider(0)->setSliderDown(false);
  pane->ClipBox()->click();
  pane->Messages()->Send(kMsgLanguageChanged, 0, 0);
  EXPECT_TRUE(host_.redraw.Messages().empty());
}

TEST_F(OptionPanesTest, APaneDeletedWithItsWindowLeavesItsTemplate) {
  auto* host = new WidgetHost;
  COptionPane2D* pane = MakePane(kGlowDocument, host);
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->parentWidget(), host);
  pane->Slider(0)->setValue(11);
  EXPECT_EQ(Ids(host->redraw), (std::vector<std::uint32_t>{kMsgResultReady}));
  delete host;
  EXPECT_TRUE(template_->Panes().empty());
  // Making a new pane for the same template must not reach the dead one.
  template_->SetMainWindow(&host_);
  ASSERT_NE(template_->CreateOptionPanes(kTemplateParamPanel), nullptr);
  panes_.push_back(template_->Panes().back());
}

TEST_F(OptionPanesTest, CaptionsAndTextsFollowTheLanguage) {
  UseLanguage("lang_one.ini",
              "[DICTIONARY]\nGlow=Leuchten\n[DIALOG_IDD_159]\n1010=Ausschnitt\n"
              "[DIALOG_IDD_181]\n1011=Groesser\n1014=Rechts drehen\n");
  COptionPane2D* pane = MakePane(kGlowDocument);
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->Label(0)->text(), "Leuchten");
  EXPECT_EQ(pane->Label(2)->text(), "Angle") << "no entry: the name itself";
  EXPECT_EQ(pane->ClipBox()->text(), "Ausschnitt");

  pane->Slider(0)->setValue(30);  // the user's position survives a language change
  UseLanguage("lang_two.ini", "[DICTIONARY]\nGlow=Lueur\nAngle=Angle de vue\n[DIALOG_IDD_159]\n1010=Cadre\n");
  pane->Messages()->Send(kMsgLanguageChanged, 0, 0);
  EXPECT_EQ(pane->Label(0)->text(), "Lueur");
  EXPECT_EQ(pane->Label(2)->text(), "Angle de vue");
  EXPECT_TRUE(pane->Label(1)->isHidden());
  EXPECT_EQ(pane->ClipBox()->text(), "Cadre");
  EXPECT_EQ(pane->Slider(0)->value(), 30);

  UseLanguage("lang_empty.ini", "");
  COptionPaneOrgImgDefault original;
  EXPECT_EQ(original.findChild<QPushButton*>("zoomIn")->text(), "Zoom In") << "empty file: built-in texts";
  UseLanguage("lang_three.ini", "[DIALOG_IDD_181]\n1011=Groesser\n1014=Rechts drehen\n");
  original.OnLanguageChanged();
  EXPECT_EQ(original.findChild<QPushButton*>("zoomIn")->text(), "Groesser");
  EXPECT_EQ(original.findChild<QPushButton*>("rotateRight")->text(), "Rechts drehen");
  EXPECT_EQ(original.findChild<QPushButton*>("zoomOut")->text(), "Zoom Out");
}

TEST_F(OptionPanesTest, PanesPaintTheirBackground) {
  COptionPane2D* pane = MakePane(kGlowDocument);
  ASSERT_NE(pane, nullptr);
  pane->resize(280, 200);
  EXPECT_FALSE(pane->HasBackgroundImage());
  EXPECT_EQ(pane->grab().toImage().pixelColor(2, 2), QColor(0xf0, 0xf0, 0xf0));

  COptionPaneOrgImgDefault original;
  original.resize(280, 120);
  EXPECT_EQ(original.grab().toImage().pixelColor(2, 2), QColor(200, 200, 200));

  // The language file's background image is stretched over the colour.
  UseLanguage("lang_img.ini", "[IMAGE]\n291=pane_back.png\n");
  ASSERT_TRUE(cv::imwrite((langFolder_ / "pane_back.png").string(), test::Flat(4, 4, {30, 160, 90})));
  COptionPane2D* pictured = MakePane(kGlowDocument);
  ASSERT_NE(pictured, nullptr);
  pictured->resize(280, 200);
  EXPECT_TRUE(pictured->HasBackgroundImage());
  const QImage shot = pictured->grab().toImage();
  EXPECT_EQ(shot.pixelColor(2, 2), QColor(90, 160, 30));
  EXPECT_EQ(shot.pixelColor(277, 197), QColor(90, 160, 30));
}

TEST_F(OptionPanesTest, OriginalImagePaneSendsItsFiveMessages) {
  constexpr std::uint32_t kMessage = kWmUser + 77;
  COptionPaneOrgImgDefault pane;
  EXPECT_TRUE(pane.HasWindow());
  EXPECT_EQ(pane.BackgroundColor(), MakeColorRef(200, 200, 200));
  pane.findChild<QPushButton*>("zoomIn")->click();  // no target yet: nothing to send to

  RecordingMessageTarget target;
  pane.SetTarget(&target, kMessage);
  pane.SetClipBoxChecked(true);
  EXPECT_TRUE(target.Messages().empty()) << "the owner's own state is not echoed";
  pane.ClipBox()->click();
  pane.ClipBox()->click();
  for (const char* name : {"zoomIn", "zoomOut", "rotateLeft", "rotateRight"})
    pane.findChild<QPushButton*>(name)->click();
  const std::vector<RecordedMessage> expected = {
      {kMessage, 1, 0, true}, {kMessage, 1, 1, true}, {kMessage, 2, 0, true},
      {kMessage, 3, 0, true}, {kMessage, 4, 0, true}, {kMessage, 5, 0, true}};
  EXPECT_EQ(target.Messages(), expected);
}

}  // namespace
}  // namespace grinsnap

namespace grinsnap {
namespace {

// The shipped photo cube, current in the engine on a photo, with its pane.
class Pane3DTest : public testing::Test {
protected:
  Pane3DTest() {
    test::QtApp();
    SetApp(&app_);
    RegisterUiClasses();
    auto doc = TemplateDocument::FromText(
        "<t><filter name=\"3DMeshTemplate\"><filter name=\"3DCollageFilter\">"
        "<param width=\"160\" height=\"120\" mesh=\"cube_collage.mesh\"/></filter><param/></filter></t>");
    template_ = TemplateRef(CreateTemplateFromDocument(doc, test::ShippedDataDir() / "templates" / "3d"));
    mesh_ = dynamic_cast<CT_3DMesh*>(template_.get());
    if (!mesh_) return;
    mesh_->SetEngine(&app_.engine);
    mesh_->SetMainWindow(&host_);
    app_.engine.InsertPhoto(-1, PhotoItem::FromImage(test::Flat(64, 48, {40, 120, 200})));
    app_.engine.SelectSingleInput(0);
    app_.engine.SetTemplate(mesh_);
    std::vector<COptionPanel*>* panes = mesh_->CreateOptionPanes(kTemplateParamPanel);
    if (panes && panes->size() == 1) pane_ = dynamic_cast<COptionPane3D*>(panes->front());
  }
  ~Pane3DTest() override {
    delete pane_;
    app_.engine.SetTemplate(nullptr);
    template_ = TemplateRef();
    SetApp(nullptr);
  }

  AppContext app_;
  RecordingHost host_;
  TemplateRef template_;
  CT_3DMesh* mesh_ = nullptr;
  COptionPane3D* pane_ = nullptr;
};

TEST_F(Pane3DTest, ControlsSpinResetAndLightTheModel) {
  ASSERT_NE(pane_, nullptr);
  EXPECT_FALSE(pane_->RotateBox()->isChecked());
  EXPECT_FALSE(pane_->SpecularBox()->isChecked());
  host_.redraw.Clear();

  pane_->RotateBox()->click();
  EXPECT_TRUE(mesh_->Spinning());
  EXPECT_TRUE(static_cast<QtTimerService*>(pane_->Timers())->IsActive(kTimerMeshRotation));
  EXPECT_TRUE(host_.redraw.Messages().empty());  // starting the spin asks for no redraw
  pane_->RotateBox()->click();
  EXPECT_FALSE(mesh_->Spinning());
  EXPECT_FALSE(static_cast<QtTimerService*>(pane_->Timers())->IsActive(kTimerMeshRotation));

  pane_->SpecularBox()->click();
  EXPECT_TRUE(mesh_->Block().renderFlags & kRenderSpecular);
  pane_->ResetButton()->click();
  // One redraw request each; the cube's first runs go on on the worker.
  EXPECT_EQ(Ids(host_.redraw),
            (std::vector<std::uint32_t>{kMsgProcessingContinues, kMsgProcessingContinues}));
  app_.engine.WaitForResult();

  // The template's own start and stop reach the check box.
  RecordingTimerService timers;
  mesh_->Command(kCmdStartSpin, 0, 0, &timers);
  EXPECT_TRUE(pane_->RotateBox()->isChecked());
  mesh_->Command(kCmdStopSpin, 0, 0, nullptr);
  EXPECT_FALSE(pane_->RotateBox()->isChecked());

  // A pane that goes while the model spins stops the spin on its timers.
  pane_->RotateBox()->click();
  delete pane_;
  pane_ = nullptr;
  EXPECT_FALSE(mesh_->Spinning());
}

}  // namespace
}  // namespace grinsnap
