#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "core/photo_item.h"
#include "core/process_engine.h"
#include "core/registry.h"
#include "core/render.h"
#include "core/template_document.h"
#include "templates/frame_template.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

// A 400 x 300 frame picture with two windows keyed red (main) and green
// (extra0) in its white mask; extra1 has no aspect and no key; extra3
// follows a missing extra2.
constexpr const char* kFrameDocument = R"(<t><filter name="FrameTemplate">
  <filter name="FrameFilter"><param background="frame.png" mask="mask.png"/></filter>
  <param aspect="1.25" stretch="0" alpha="0" edge="0.05" gray="0">
    <point00 x="20" y="20"/><point01 x="180" y="20"/><point10 x="20" y="280"/><point11 x="180" y="280"/>
    <maskclr r="255" g="0" b="0"/>
    <extra0 aspect="0.8"><point00 x="220" y="20"/><point01 x="380" y="20"/><point10 x="220" y="280"/>
      <point11 x="380" y="280"/><maskclr r="0" g="255" b="0"/></extra0>
    <extra1><point00 x="0" y="0"/><point01 x="1" y="0"/><point10 x="0" y="1"/><point11 x="1" y="1"/></extra1>
    <extra3 aspect="9"/>
  </param></filter></t>)";

struct FrameMade {
  std::filesystem::path folder;
  TemplateRef ref;
  CT_Frame* t = nullptr;
};

FrameMade MakeFrame() {
  FrameMade m;
  m.folder = test::FreshFolder("frame_template");
  cv::Mat mask(300, 400, CV_8UC3, cv::Scalar(255, 255, 255));
  mask(cv::Rect(20, 20, 160, 260)).setTo(cv::Scalar(0, 0, 255));
  mask(cv::Rect(220, 20, 160, 260)).setTo(cv::Scalar(0, 255, 0));
  EXPECT_TRUE(cv::imwrite((m.folder / "mask.png").string(), mask));
  EXPECT_TRUE(cv::imwrite((m.folder / "frame.png").string(), test::Flat(400, 300, {40, 80, 120})));
  auto doc = TemplateDocument::FromText(kFrameDocument);
  EXPECT_TRUE(doc);
  m.ref = TemplateRef(CreateTemplateFromDocument(doc, m.folder));
  m.t = dynamic_cast<CT_Frame*>(m.ref.get());
  EXPECT_NE(m.t, nullptr);
  return m;
}

TEST(FrameTemplateLoad, WindowsAspectsKeysAndTheNaturalSize) {
  FrameMade m = MakeFrame();
  ASSERT_TRUE(m.t);
  const FrameBlock& b = m.t->Block();
  EXPECT_EQ(b.extraCount, 2);  // extra3 is not read past the missing extra2
  EXPECT_TRUE(b.hasAspect);
  EXPECT_FLOAT_EQ(b.aspect, 1.25f);
  ASSERT_EQ(b.extraAspects.size(), 2u);
  EXPECT_FLOAT_EQ(b.extraAspects[0], 0.8f);
  EXPECT_FLOAT_EQ(b.extraAspects[1], 1.0f);
  EXPECT_TRUE(b.hasMaskColor);
  EXPECT_FLOAT_EQ(b.extraMaskColors[0].g, 255);
  EXPECT_FLOAT_EQ(b.extraMaskColors[1].g, 0);
  EXPECT_FLOAT_EQ(b.alpha, 1.0f);  // 0 means opaque
  EXPECT_EQ(b.mainQuad.Corner(3), cv::Point(180, 280));
  EXPECT_EQ(m.t->FrameSize(), cv::Size(400, 300));
  EXPECT_EQ(m.t->CreateOptionPanes(1), nullptr);
  EXPECT_EQ(m.t->Command(kCmdResetSlots, 0, 0, nullptr), kCmdResetSlots);
  EXPECT_TRUE(b.resetSlots);
}

TEST(FrameTemplateDrag, CornerHotBoxesAndTheViewScale) {
  struct Scale {
    cv::Size view, frame;
    double expected;
  } scales[] = {{{400, 400}, {1000, 800}, 0.4}, {{900, 900}, {300, 200}, 2.0}, {{400, 300}, {400, 300}, 1.0}};
  for (const Scale& s : scales) EXPECT_DOUBLE_EQ(CT_Frame::DragScale(s.view, s.frame), s.expected);

  // In a view of the frame's own size the corner (20, 20) shows at (20, 20).
  FrameQuad quad{{20, 20, 180, 20, 20, 280, 180, 280}};
  const cv::Size size(400, 300);
  struct Press {
    int x, y, corner;
  } presses[] = {{17, 17, 0}, {22, 22, 0}, {23, 20, -1}, {20, 23, -1}, {177, 277, 3}, {183, 280, -1}, {100, 100, -1}};
  for (const Press& p : presses) EXPECT_EQ(CT_Frame::CornerAt(quad, {p.x, p.y}, size, size), p.corner) << p.x << "," << p.y;
  // Half size: the frame's centre stays at the view's centre.
  EXPECT_EQ(CT_Frame::CornerInView({20, 20}, {200, 150}, size), cv::Point(10, 10));
  EXPECT_EQ(CT_Frame::ViewToFrame({10, 10}, {200, 150}, size), cv::Point(20, 20));
}

TEST(FrameTemplateDrop, APhotoDroppedOnAWindowFillsThatWindow) {
  FrameMade m = MakeFrame();
  ASSERT_TRUE(m.t);
  std::vector<PhotoItem> inputs = {PhotoItem::FromImage(test::Flat(64, 48, {0, 0, 250}))};
  m.t->SetInputPhotos(inputs);
  ASSERT_EQ(m.t->Slots().size(), 1u);

  std::vector<PhotoItem> dropped = {PhotoItem::FromImage(test::Flat(64, 48, {250, 0, 0}))};
  PlacementRecord place;
  place.view.imageRect = {0, 0, 200, 150};  // the frame shown at half size
  place.x = 150;                            // (300, 100) in the frame: the green window
  place.y = 50;
  m.t->SetInputPhotosEx(dropped, &place);
  EXPECT_EQ(m.t->Block().selectedWindow, 1);
  ASSERT_GE(m.t->Slots().size(), 2u);
  EXPECT_TRUE(m.t->Slots()[1].SameSource(dropped[0]));

  ASSERT_TRUE(Render(*m.t, {.size = OutputSize::Natural()}).IsFinished());
  const cv::Mat& out = *m.t->GetOutput();
  ASSERT_EQ(out.size(), cv::Size(400, 300));
  EXPECT_EQ(out.at<cv::Vec3b>(150, 100), cv::Vec3b(0, 0, 250));   // main window: the input
  EXPECT_EQ(out.at<cv::Vec3b>(150, 300), cv::Vec3b(250, 0, 0));   // extra window: the dropped photo
  EXPECT_EQ(out.at<cv::Vec3b>(5, 5), cv::Vec3b(40, 80, 120));     // the frame itself

  // Handing the inputs again keeps the dropped photo in its window: the
  // selected window now takes the first input.
  std::vector<PhotoItem> next = {PhotoItem::FromImage(test::Flat(64, 48, {0, 250, 0}))};
  m.t->SetInputPhotos(next);
  EXPECT_TRUE(m.t->Slots()[1].SameSource(next[0]));

  // A drop on the frame itself (white in the mask) places nothing.
  place.x = 100;
  place.y = 148;
  m.t->SetInputPhotosEx(dropped, &place);
  EXPECT_EQ(m.t->Block().selectedWindow, -1);
}

TEST(FrameTemplateDrop, TheEnginePlacesAPhotoOfTheListWhereItWasDropped) {
  FrameMade m = MakeFrame();
  ASSERT_TRUE(m.t);
  const std::filesystem::path red = m.folder / "red.png", blue = m.folder / "blue.png";
  ASSERT_TRUE(cv::imwrite(red.string(), test::Flat(64, 48, {0, 0, 250})));
  ASSERT_TRUE(cv::imwrite(blue.string(), test::Flat(64, 48, {250, 0, 0})));
  CProcessEngine engine;
  engine.InsertPhoto(-1, PhotoItem(red));
  engine.InsertPhoto(-1, PhotoItem(blue));
  engine.SelectSingleInput(0);
  engine.SetViewRect({0, 0, 400, 300});
  engine.SetTemplate(m.t);
  if (!engine.Apply()) engine.WaitForResult();

  PlacementRecord place;
  place.view.imageRect = {0, 0, 400, 300};
  place.x = 300;  // the green window
  place.y = 150;
  ASSERT_TRUE(engine.PlaceDroppedPhoto(1, &place));
  ASSERT_EQ(engine.Output().size(), cv::Size(400, 300));
  EXPECT_EQ(engine.Output().at<cv::Vec3b>(150, 100), cv::Vec3b(0, 0, 250));
  EXPECT_EQ(engine.Output().at<cv::Vec3b>(150, 300), cv::Vec3b(250, 0, 0));
  EXPECT_FALSE(engine.PlaceDroppedPhoto(7, &place)) << "no such photo";
  engine.SetTemplate(nullptr);
}

}  // namespace
}  // namespace grinsnap
