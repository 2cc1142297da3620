#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/render.h"
#include "filters/filter_factory.h"
#include "filters/multi/collage.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

cv::Mat Gradient(int w, int h) {
  cv::Mat m(h, w, CV_8UC3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 255 / w, y * 255 / h, (x + y) % 256);
  return m;
}

cv::Mat RenderFilter(const char* name, const char* xml, const std::array<float, kVariableBlockSize>& block,
                     const cv::Mat& photo, std::uint32_t seed, const std::filesystem::path& folder = {}) {
  tinyxml2::XMLDocument doc;
  doc.Parse(xml);
  auto filter = CreateFilterFromXml(name, doc.RootElement(), folder, false, block);
  EXPECT_TRUE(filter);
  const cv::Mat sources[] = {photo};
  RenderRequest request;
  request.sources = std::span<const cv::Mat>(sources);
  request.size = OutputSize::Natural();
  request.seed = seed;
  EXPECT_EQ(Render(*filter, request).status, RenderStatus::Finished);
  return filter->GetOutput()->clone();
}

TEST(StoneCollage, TextureSizeReliefAndSeed) {
  struct Size {
    cv::Size output, texture;
  } sizes[] = {{{1600, 1200}, {800, 600}}, {{640, 480}, {640, 480}}, {{4096, 3072}, {800, 600}}, {{300, 2000}, {120, 800}}};
  for (const Size& s : sizes) EXPECT_EQ(StoneTextureSize(s.output), s.texture) << s.output;

  // Every pixel ends in some stone, and the bevel only takes the listed sums.
  CrtRandom random(7);
  cv::Mat relief;
  ASSERT_TRUE(StoneRelief({60, 40}, random, relief, nullptr));
  double lo, hi;
  cv::minMaxLoc(relief, &lo, &hi);
  EXPECT_LT(lo, 0);
  EXPECT_GT(hi, 0);
  EXPECT_LE(hi, 20 + 15 + 17.5 + 2.5 + 2.5 + 0.01);  // up, left and the three upper or left diagonals

  const cv::Mat photo = Gradient(160, 120);
  const auto flat = RenderFilter("CollageFilter", "<filter/>", test::BlockWith({0}), photo, 3);
  EXPECT_EQ(cv::norm(flat, photo, cv::NORM_INF), 0);
  const auto a = RenderFilter("CollageFilter", "<filter/>", test::BlockWith({1}), photo, 3);
  const auto b = RenderFilter("CollageFilter", "<filter/>", test::BlockWith({1}), photo, 3);
  const auto c = RenderFilter("CollageFilter", "<filter/>", test::BlockWith({1}), photo, 4);
  EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(a, c, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(a, photo, cv::NORM_INF), 0);
}

TEST(TileCollage, GridsAndCells) {
  struct Case {
    TileLayout layout;
    cv::Size grid;
    int col, row;
    cv::Point2d centre;
    double srcLeft, srcTop;
    int pair;
  } cases[] = {
      // 200 x 100 with D = 10.
      {TileLayout::Squares, {20, 10}, 2, 3, {25, 35}, 19.5, 29.5, 0},
      {TileLayout::Bricks, {41, 10}, 3, 1, {15, 15}, 14.5, 9.5, 0},
      {TileLayout::Bricks, {41, 10}, 2, 1, {10, 15}, 9.5, 9.5, 1},
      // h = 8.660: 200 / h + 0.75 gives 23 + 1 columns, 400 / 30 + 0.75 gives 14 rows.
      {TileLayout::Honeycomb, {24, 14}, 1, 1, {8.660, 12.5}, 3.897, 7, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TileGrid(c.layout, {200, 100}, 10), c.grid) << int(c.layout);
    const TileCell t = TileAt(c.layout, c.col, c.row, 10);
    EXPECT_NEAR(t.centre.x, c.centre.x, 1e-3) << int(c.layout);
    EXPECT_NEAR(t.centre.y, c.centre.y, 1e-3) << int(c.layout);
    EXPECT_NEAR(t.srcLeft, c.srcLeft, 1e-3) << int(c.layout);
    EXPECT_NEAR(t.srcTop, c.srcTop, 1e-3) << int(c.layout);
    EXPECT_EQ(t.pair, c.pair) << int(c.layout);
  }
}

TEST(TileCollage, ZeroSpreadsLayTilesStraightAndOtherTypesDrawNothing) {
  const std::filesystem::path folder = test::FreshFolder("tile_collage");
  // A white mask shows the photo everywhere; the texture is then hidden.
  ASSERT_TRUE(cv::imwrite((folder / "mask.png").string(), test::Flat(16, 16, {255, 255, 255})));
  cv::Mat tex(16, 16, CV_8UC4, cv::Scalar(0, 0, 255, 255));
  ASSERT_TRUE(cv::imwrite((folder / "tex.png").string(), tex));
  const cv::Mat photo = Gradient(200, 100);
  const char* squares = "<filter type='0'><param tex='tex.png' mask='mask.png'/></filter>";
  const cv::Mat straight = RenderFilter("CollageFilter2", squares, test::BlockWith({10, 0, 0}), photo, 5, folder);
  // Inside the cells the tiles give back the photo (up to truncation).
  cv::Mat diff;
  cv::absdiff(straight(cv::Rect(2, 2, 196, 96)), photo(cv::Rect(2, 2, 196, 96)), diff);
  double worst;
  cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
  EXPECT_LE(worst, 1);
  const cv::Mat turned = RenderFilter("CollageFilter2", squares, test::BlockWith({10, 0.3f, 0.2f}), photo, 5, folder);
  EXPECT_GT(cv::norm(turned, straight, cv::NORM_INF), 10);

  const cv::Mat none = RenderFilter("CollageFilter2", "<filter type='3'/>", test::BlockWith({10, 0, 0}), photo, 5);
  EXPECT_EQ(cv::countNonZero(none.reshape(1)), 0);
}

}  // namespace
}  // namespace grinsnap
