#include <cmath>
#include <fstream>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "core/photo_item.h"
#include "core/render.h"
#include "core/template_document.h"
#include "filters/gif_writer.h"
#include "filters/multi/collage_3d.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "templates/mesh_template.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

struct MeshMade {
  TemplateRef ref;
  CT_3DMesh* t = nullptr;
};

// The shipped photo cube with its own parameters replaced by param.
MeshMade MakeCube(const std::string& param) {
  const fs::path folder = test::ShippedDataDir() / "templates" / "3d";
  const std::string text = "<t><filter name=\"3DMeshTemplate\"><filter name=\"3DCollageFilter\">"
                           "<param width=\"160\" height=\"120\" mesh=\"cube_collage.mesh\"/></filter>" +
                           param + "</filter></t>";
  auto doc = TemplateDocument::FromText(text);
  EXPECT_TRUE(doc);
  MeshMade m;
  m.ref = TemplateRef(CreateTemplateFromDocument(doc, folder));
  m.t = dynamic_cast<CT_3DMesh*>(m.ref.get());
  EXPECT_NE(m.t, nullptr);
  return m;
}

int FrameCount(const fs::path& path, cv::Size* size) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) return -1;
  const int ok = DGifSlurp(gif);
  const int frames = ok == GIF_OK ? gif->ImageCount : -1;
  *size = {gif->SWidth, gif->SHeight};
  DGifCloseFile(gif, &error);
  return frames;
}

TEST(MeshTemplate, LoadDefaultsAndDrags) {
  MeshMade m = MakeCube("<param config=\"cube_collage.cfg\" rotation_speed=\"0\"/>");
  ASSERT_TRUE(m.t);
  const MeshBlock& b = m.t->Block();
  EXPECT_TRUE(m.t->CanExportAnimation());
  EXPECT_FLOAT_EQ(b.rotationSpeed, 0.05f);  // 0 means the default step
  for (float c : {b.lightDirection[0], -b.lightDirection[1], b.lightDirection[2]}) EXPECT_NEAR(c, 0.57735f, 1e-5);
  EXPECT_EQ(b.backgroundColor, MakeColorRef(128, 128, 128));
  EXPECT_EQ(b.cellSize, 100);
  EXPECT_FLOAT_EQ(b.configExtra[2], 1.0f);  // from the configuration file

  // A 100-pixel drag to the right turns the model by one radian about the
  // vertical axis (constraint 0); constraint 2 ignores drags.
  for (const auto& [constraint, angle] : {std::pair{0, 1.0f}, std::pair{2, 0.0f}}) {
    MeshMade d = MakeCube("<param constraint=\"" + std::to_string(constraint) + "\"/>");
    d.t->mouseDown = false;
    d.t->ApplyParams();
    d.t->mouseDown = true;
    d.t->mouseX = 100;
    d.t->ApplyParams();
    const Matrix3& r = d.t->Block().rotation;
    EXPECT_NEAR(r[0], std::cos(angle), 1e-5) << constraint;
    EXPECT_NEAR(r[2], std::sin(angle), 1e-5) << constraint;
  }
}

TEST(CollageAnimation, OneTurnOfFramesNoLargerThanTheCanvasWithProgress) {
  MeshMade m = MakeCube("<param rotation_speed=\"0.5\"/>");
  ASSERT_TRUE(m.t);
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  ASSERT_TRUE(Render(*m.t, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()})
                  .IsFinished());
  const Matrix3 before = m.t->Block().rotation;
  const fs::path folder = test::FreshFolder("cube_gif");
  struct Case {
    int maxWidth, maxHeight;
    cv::Size expected;
  } cases[] = {{1000, 1000, {160, 120}}, {80, 1000, {80, 60}}};
  for (const Case& c : cases) {
    RecordingMessageTarget progress;
    const fs::path path = folder / "cube.gif";
    ASSERT_TRUE(m.t->SaveAnimation(path.string(), c.maxWidth, c.maxHeight, &progress));
    cv::Size size;
    // Steps of 0.5 below 2 pi: 0, 0.5, ..., 6.0.
    EXPECT_EQ(FrameCount(path, &size), 13);
    EXPECT_EQ(size, c.expected);
    std::vector<WParam> percent;
    for (const RecordedMessage& r : progress.Messages())
      if (r.message == kMsgGifProgress) percent.push_back(r.wParam);
    ASSERT_EQ(percent.size(), 13u);
    EXPECT_EQ(percent.front(), 0u);
    EXPECT_EQ(percent.back(), 95u);  // 6.0 / 2 pi
    EXPECT_TRUE(std::is_sorted(percent.begin(), percent.end()));
  }
  EXPECT_EQ(m.t->Block().rotation, before);  // the preview's pose comes back
}

TEST(CollageAnimation, ZeroStepAndUnwritableTargetsFailCleanly) {
  MeshMade m = MakeCube("");
  ASSERT_TRUE(m.t);
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  Render(*m.t, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()});
  auto* filter = dynamic_cast<CF_3DCollage*>(m.t->Filter());
  ASSERT_TRUE(filter);
  const fs::path folder = test::FreshFolder("cube_gif_fail");

  const_cast<MeshBlock&>(m.t->Block()).rotationSpeed = 0;
  EXPECT_FALSE(m.t->SaveAnimation((folder / "zero.gif").string(), 100, 100, nullptr));
  EXPECT_NE(filter->AnimationError().find("rotation step is 0"), std::string::npos) << filter->AnimationError();
  EXPECT_FALSE(fs::exists(folder / "zero.gif"));

  const_cast<MeshBlock&>(m.t->Block()).rotationSpeed = 1;
  EXPECT_FALSE(m.t->SaveAnimation((folder / "missing" / "x.gif").string(), 100, 100, nullptr));
  EXPECT_NE(filter->AnimationError().find("cannot create"), std::string::npos) << filter->AnimationError();
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
}  // namespace grinsnap
