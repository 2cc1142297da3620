// The export dialog with the shipped templates themselves: GIF export is
// offered for the photo cube and not for a frame, and the cube's animation
// is written at most 1024 pixels on a side.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include <gif_lib.h>

#include "core/render.h"
#include "core/template_document.h"
#include "export_test_util.h"
#include "ui/export_dialog.h"
#include "ui/message_box.h"

namespace grinsnap {
namespace {

using test::Child;

class ExportAnimationTest : public test::ExportFixture {
protected:
  void UseShipped(const char* folder, const char* document) {
    const std::filesystem::path path = test::ShippedDataDir() / "templates" / folder / document;
    auto doc = TemplateDocument::FromFile(path);
    ASSERT_TRUE(doc);
    TemplateRef made(CreateTemplateFromDocument(doc, path.parent_path()));
    ASSERT_TRUE(made);
    const cv::Mat photo = test::SamplePhoto("coffee.png");
    ASSERT_TRUE(Render(*made, {.sources = std::span<const cv::Mat>(&photo, 1), .size = OutputSize::Natural()})
                    .IsFinished());
    app_.engine.SetTemplate(made.get());
    template_ = made;
  }
};

TEST_F(ExportAnimationTest, GifModeOnlyForTemplatesThatAnimate) {
  struct Case {
    const char* folder;
    const char* document;
    bool gif;
  } cases[] = {{"frames", "wood_frame.xml", false}, {"3d", "cube_collage.xml", true}};
  for (const Case& c : cases) {
    UseShipped(c.folder, c.document);
    ExportDialog dialog(app_, {}, (root_ / "out.jpg").string());
    EXPECT_EQ(Child<QRadioButton>(&dialog, "gif")->isEnabled(), c.gif) << c.document;
  }
}

TEST_F(ExportAnimationTest, TheCubeTurnsOnceWithinTheGifSizeLimit) {
  UseShipped("3d", "cube_collage.xml");
  ScopedMessageRecorder messages;
  ExportDialog dialog(app_, {}, (root_ / "cube.jpg").string());
  Child<QCheckBox>(&dialog, "keepAspect")->setChecked(false);
  Child<QLineEdit>(&dialog, "width")->setText("2000");
  Child<QLineEdit>(&dialog, "height")->setText("1500");
  Child<QRadioButton>(&dialog, "gif")->click();  // the size check clamps to 1024
  EXPECT_EQ(Child<QLineEdit>(&dialog, "width")->text(), "1024");
  Child<QPushButton>(&dialog, "ok")->click();

  const std::filesystem::path written = root_ / "cube.gif";
  int error = 0;
  GifFileType* gif = DGifOpenFileName(written.c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->ImageCount, 36);
  // The 800 x 600 canvas is not enlarged.
  EXPECT_EQ(gif->SWidth, 800);
  EXPECT_EQ(gif->SHeight, 600);
  DGifCloseFile(gif, &error);
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].caption, "Success");
}

}  // namespace
}  // namespace grinsnap
