#include <cmath>
#include <cstring>
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

const fs::path kShipped3d = test::ShippedDataDir() / "templates" / "3d";

// The shipped photo cube with its own parameters replaced by param, loaded
// from folder (which must hold cube_collage.mesh).
MeshMade MakeCube(const std::string& param, const fs::path& folder = kShipped3d) {
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

bool IsOrthonormal(const Matrix3& m, double tolerance) {
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) {
      const double d = m[3 * i] * m[3 * k] + m[3 * i + 1] * m[3 * k + 1] + m[3 * i + 2] * m[3 * k + 2];
      if (std::fabs(d - (i == k ? 1.0 : 0.0)) > tolerance) return false;
    }
  return true;
}

TEST(MeshTemplate, BadConfigurationFilesKeepTheDefaults) {
  const fs::path folder = test::FreshFolder("mesh_config");
  fs::copy_file(kShipped3d / "cube_collage.mesh", folder / "cube_collage.mesh");
  ModelConfig good;
  good.restPosition = {0.5f, 0.25f, -4};
  good.viewport = {0.1f, 0.2f, 0.5f, 0.6f};
  good.fieldOfView = 1.0f;
  const auto bytes = SerialiseModelConfig(good);
  auto with = [&](int index, float v) {
    auto b = bytes;
    std::memcpy(b.data() + 4 * index, &v, 4);
    return std::string(b.begin(), b.end());
  };
  const std::string whole(bytes.begin(), bytes.end());
  struct Case {
    const char* name;
    std::string content;
    bool accepted;
  } cases[] = {
      {"whole", whole, true},
      {"short", whole.substr(0, 67), false},
      {"empty", "", false},
      {"long", whole + '\0', false},
      {"nan_rotation", with(4, std::nanf("")), false},
      {"inf_position", with(11, INFINITY), false},
      {"huge_viewport", with(14, 1e30f), false},
      {"zero_fov", with(16, 0.0f), false},
      {"flat_fov", with(16, 3.5f), false},
  };
  for (const Case& c : cases) {
    const fs::path path = folder / (std::string(c.name) + ".cfg");
    std::ofstream(path, std::ios::binary) << c.content;
    ModelConfig read;
    read.restPosition = {7, 8, 9};
    std::string error;
    EXPECT_EQ(ReadModelConfig(path, read, &error), c.accepted) << c.name;
    EXPECT_EQ(error.empty(), c.accepted) << c.name << ": " << error;
    EXPECT_EQ(read.restPosition, (c.accepted ? good.restPosition : std::array<float, 3>{7, 8, 9})) << c.name;

    // The template keeps every default: nothing of a bad file is applied.
    MeshMade m = MakeCube("<param config=\"" + std::string(c.name) + ".cfg\"/>", folder);
    ASSERT_TRUE(m.t) << c.name;
    const MeshBlock& b = m.t->Block();
    EXPECT_FLOAT_EQ(b.fieldOfView, c.accepted ? 1.0f : 1.5707964f) << c.name;
    EXPECT_EQ(b.configExtra, (c.accepted ? good.viewport : std::array<float, 4>{0, 0, 0, 0})) << c.name;
    EXPECT_EQ(b.position, (c.accepted ? good.restPosition : std::array<float, 3>{0, 0, -3})) << c.name;
  }
}

TEST(MeshTemplate, SpinTimerStartsStopsAndKeepsTheMatrixOrthonormal) {
  MeshMade m = MakeCube("<param rotation_speed=\"0.01\"/>");
  ASSERT_TRUE(m.t);
  RecordingTimerService timers;
  m.t->Command(kCmdStartSpin, 0, 0, &timers);
  EXPECT_TRUE(m.t->Spinning());
  EXPECT_TRUE(timers.IsActive(kTimerMeshRotation));
  EXPECT_EQ(timers.Events().front(), (TimerEvent{kTimerMeshRotation, 20}));

  m.t->mouseDown = true;  // no ticks while the user drags
  m.t->OnTimer(kTimerMeshRotation);
  EXPECT_EQ(m.t->Block().rotation, kIdentity3);
  m.t->mouseDown = false;
  m.t->OnTimer(kTimerPreviewBusy);  // another timer's id
  EXPECT_EQ(m.t->Block().rotation, kIdentity3);

  constexpr int kTicks = 10000;
  for (int i = 0; i < kTicks; ++i) m.t->OnTimer(kTimerMeshRotation);
  const Matrix3& r = m.t->Block().rotation;
  EXPECT_TRUE(IsOrthonormal(r, 1e-5));
  // 10,000 steps of 0.01 about the vertical axis: 100 radians.
  EXPECT_NEAR(r[0], std::cos(100.0), 1e-3);
  EXPECT_NEAR(r[2], std::sin(100.0), 1e-3);

  m.t->Command(kCmdStopSpin, 0, 0, nullptr);
  EXPECT_FALSE(m.t->Spinning());
  EXPECT_FALSE(timers.IsActive(kTimerMeshRotation));
  m.t->OnTimer(kTimerMeshRotation);  // a late tick after the stop
  EXPECT_EQ(m.t->Block().rotation, r);

  // A template destroyed while spinning kills its timer.
  RecordingTimerService other;
  {
    MeshMade gone = MakeCube("");
    gone.t->Command(kCmdStartSpin, 0, 0, &other);
  }
  EXPECT_FALSE(other.IsActive(kTimerMeshRotation));
}

TEST(MeshTemplate, FreeDragsStayOrthonormalAndResetComesBack) {
  MeshMade m = MakeCube("<param constraint=\"1\"/>");
  ASSERT_TRUE(m.t);
  m.t->ApplyParams();
  m.t->mouseDown = true;
  for (int i = 1; i <= 200; ++i) {
    m.t->mouseX = 7 * i;
    m.t->mouseY = 3 * i;
    m.t->ApplyParams();
  }
  EXPECT_TRUE(IsOrthonormal(m.t->Block().rotation, 1e-5));
  EXPECT_NE(m.t->Block().rotation, kIdentity3);
  m.t->mouseDown = false;
  m.t->Command(kCmdResetRotation, 0, 0, nullptr);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(m.t->Block().rotation[i], kIdentity3[i], 1e-6);
}

}  // namespace
}  // namespace grinsnap

namespace grinsnap {
namespace {

TEST(TeapotFilter, MirrorAndTexturedModelsOverThePhoto) {
  const fs::path folder = test::FreshFolder("teapot");
  fs::copy_file(test::ShippedDataDir() / "media" / "Meshes" / "teapot.mesh", folder / "teapot.mesh");
  // Left half blue, right half red: a mirror shows both.
  cv::Mat photo(120, 160, CV_8UC3, cv::Scalar(200, 60, 20));
  photo.colRange(80, 160).setTo(cv::Scalar(20, 60, 200));
  struct Case {
    const char* name;
    bool withPhoto, reflect;
  } cases[] = {{"grey_on_black", false, true}, {"textured", true, false}, {"mirror", true, true}};
  for (const Case& c : cases) {
    const std::string text = std::string("<t><filter name=\"3DMeshTemplate\"><filter name=\"TeapotFilter\">"
                                         "<param mesh=\"teapot.mesh\"/></filter><param reflect=\"") +
                             (c.reflect ? "1" : "0") + "\"/></filter></t>";
    TemplateRef t(CreateTemplateFromDocument(TemplateDocument::FromText(text), folder));
    ASSERT_TRUE(t) << c.name;
    const RenderResult r = Render(*t, {.sources = c.withPhoto ? std::span<const cv::Mat>(&photo, 1)
                                                             : std::span<const cv::Mat>(),
                                       .size = OutputSize::Natural()});
    ASSERT_TRUE(r.IsFinished()) << c.name << ": " << r.message;
    ASSERT_TRUE(t->GetOutput()) << c.name;
    const cv::Mat out = *t->GetOutput();
    ASSERT_EQ(out.size(), c.withPhoto ? photo.size() : cv::Size(800, 600)) << c.name;
    // The corner is background: black, or the photo.
    const cv::Vec3b corner = out.at<cv::Vec3b>(0, 0);
    EXPECT_EQ(corner, c.withPhoto ? photo.at<cv::Vec3b>(0, 0) : cv::Vec3b(0, 0, 0)) << c.name;
    const cv::Vec3b centre = out.at<cv::Vec3b>(out.rows / 2, out.cols / 2);
    cv::Mat differs;
    if (c.withPhoto) {
      cv::compare(out.reshape(1), photo.reshape(1), differs, cv::CMP_NE);
      EXPECT_GT(cv::countNonZero(differs), static_cast<int>(photo.total() / 20)) << c.name;  // the model covers the middle
    } else {
      EXPECT_GT(centre[0], 0) << c.name;
      EXPECT_TRUE(centre[0] == centre[1] && centre[1] == centre[2]) << c.name;  // grey
    }
  }
}

}  // namespace
}  // namespace grinsnap

namespace grinsnap {
namespace {

TEST(TeapotFilter, ExportsOneTurnAsAGif) {
  const fs::path folder = test::FreshFolder("teapot_gif");
  fs::copy_file(test::ShippedDataDir() / "media" / "Meshes" / "teapot.mesh", folder / "teapot.mesh");
  const std::string text = "<t><filter name=\"3DMeshTemplate\"><filter name=\"TeapotFilter\">"
                           "<param mesh=\"teapot.mesh\"/></filter><param reflect=\"1\" rotation_speed=\"1\"/></filter></t>";
  TemplateRef t(CreateTemplateFromDocument(TemplateDocument::FromText(text), folder));
  ASSERT_TRUE(t);
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  ASSERT_TRUE(Render(*t, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()}).IsFinished());
  const fs::path path = folder / "teapot.gif";
  ASSERT_TRUE(t->SaveAnimation(path.string(), 200, 200, nullptr));
  cv::Size size;
  EXPECT_EQ(FrameCount(path, &size), 7);  // steps of 1 below 2 pi: 0, 1, ..., 6
  EXPECT_LE(std::max(size.width, size.height), 200);
}

}  // namespace
}  // namespace grinsnap
