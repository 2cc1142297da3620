#include <gtest/gtest.h>

#include "core/registry.h"
#include "core/render.h"
#include "core/template_document.h"
#include "templates/collage_template.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

TemplateRef MakeCollage(const std::string& param) {
  const std::string text = "<t><filter name='CollageTemplate'><filter name='FrameFilter'>"
                           "<param width='400' height='300'/></filter>" + param + "</filter></t>";
  auto doc = TemplateDocument::FromText(text);
  EXPECT_TRUE(doc);
  return TemplateRef(CreateTemplateFromDocument(doc, test::FreshFolder("collage_template")));
}

TEST(CollageTemplate, GridCornersCountsAndBackground) {
  TemplateRef ref = MakeCollage(
      "<param row='2' col='3' left='10' top='20' right='310' bottom='220' fillmode='1'>"
      "<bkcolor r='1' g='2' b='3'/></param>");
  auto* t = dynamic_cast<CT_Collage*>(ref.get());
  ASSERT_TRUE(t);
  const FrameBlock& b = t->Block();
  EXPECT_EQ(b.extraCount, 5);
  EXPECT_EQ(b.cellSize, 100);
  EXPECT_TRUE(b.collageMode);
  EXPECT_TRUE(b.hasAspect);
  EXPECT_EQ(b.fillMode, 1);
  EXPECT_EQ(b.backgroundColor, MakeColorRef(1, 2, 3));
  EXPECT_EQ(b.frameWidth, 400);
  const FrameQuad& cell = b.Quad(5);  // row 1, column 2
  const cv::Point expected[4] = {{210, 120}, {311, 120}, {210, 221}, {311, 221}};
  for (int i = 0; i < kCornerCount; ++i) EXPECT_EQ(cell.Corner(i), expected[i]) << i;
  EXPECT_EQ(b.Quad(0).Corner(0), cv::Point(10, 20));

  CollageLayout layout;
  EXPECT_EQ(t->Command(kCmdGetCollageLayout, 0, 0, &layout), kCmdGetCollageLayout);
  EXPECT_EQ(layout.naturalWidth, 400);
  EXPECT_EQ(layout.width, 300);
  layout.rows = layout.cols = 1;
  EXPECT_EQ(t->Command(kCmdSetCollageLayout, 0, 0, &layout), 0);
  EXPECT_EQ(t->Block().WindowCount(), 1);
  EXPECT_TRUE(t->RunsInBackground());
  EXPECT_EQ(t->GetHintStringId(), 193);

  TemplateRef plain = MakeCollage("<param row='1' col='2' right='400' bottom='300'/>");
  EXPECT_EQ(dynamic_cast<CT_Collage*>(plain.get())->Block().backgroundColor, kCollageDefaultBackground);
}

TEST(CollageTemplate, MorePhotosThanWindowsAndOnePhoto) {
  TemplateRef ref = MakeCollage("<param row='2' col='2' right='400' bottom='300'/>");
  struct Case {
    int photos;
  } cases[] = {{1}, {3}, {6}};
  for (const Case& c : cases) {
    std::vector<PhotoItem> items;
    for (int i = 0; i < c.photos; ++i)
      items.push_back(PhotoItem::FromImage(test::Flat(40, 30, {static_cast<unsigned char>(40 * i + 20), 90, 90})));
    RenderRequest request;
    request.photos = std::span<PhotoItem>(items);
    request.size = OutputSize::Natural();
    ASSERT_EQ(Render(*ref, request).status, RenderStatus::Finished) << c.photos;
    const cv::Mat out = *ref->GetOutput();
    ASSERT_EQ(out.size(), cv::Size(400, 300));
    // The first photo fills the first cell; a cell without a photo stays as the canvas leaves it.
    EXPECT_EQ(out.at<cv::Vec3b>(75, 100)[0], 20) << c.photos;
    if (c.photos >= 3) EXPECT_EQ(out.at<cv::Vec3b>(225, 100)[0], 100) << c.photos;
  }
}

}  // namespace
}  // namespace grinsnap
