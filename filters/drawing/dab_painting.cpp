#include "filters/drawing/dab_painting.h"

#include <algorithm>
#include <cstdint>

#include "filters/drawing/drawing_support.h"

namespace grinsnap {

std::size_t ThinningCount(std::size_t n, float k) {
  const float removed = static_cast<float>(n) * (1.0f - k);
  if (!(removed > 0.0f)) return 0;
  if (removed >= static_cast<float>(n)) return n;
  return std::min(static_cast<std::size_t>(removed), n);
}

void ThinBrush(std::vector<cv::Point>& brush, std::size_t remove, CrtRandom& random, std::size_t accents,
               std::vector<cv::Point>* accentsOut) {
  OrderedPicker picker(brush.size());
  remove = std::min(remove, brush.size());
  for (std::size_t i = 0; i < remove; ++i) picker.Take(RandomIndex(random, picker.Left()));
  if (accentsOut) {
    accentsOut->clear();
    for (std::size_t i = 0; i < accents && picker.Left() > 0; ++i) {
      // (length x rand()) >> 15 is rand() x length / 32768.
      const std::size_t index = picker.Take(RandomIndex(random, picker.Left()));
      accentsOut->push_back(brush[index]);
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < brush.size(); ++i)
    if (!picker.Taken(i)) brush[kept++] = brush[i];
  brush.resize(kept);
}

namespace {

inline std::int64_t PaintOffsets(cv::Mat& canvas, const std::vector<cv::Point>& offsets, int col, int row,
                                 const std::uint8_t colour[3]) {
  std::int64_t painted = 0;
  for (const cv::Point& d : offsets) {
    const int x = col + d.x, y = row + d.y;
    if (x < 0 || y < 0 || x >= canvas.cols || y >= canvas.rows) continue;
    std::uint8_t* p = canvas.ptr<std::uint8_t>(y) + 3 * x;
    if (!IsPureWhite(p)) continue;
    p[0] = colour[0], p[1] = colour[1], p[2] = colour[2];
    ++painted;
  }
  return painted;
}

}  // namespace

bool PaintCrayonDabs(const cv::Mat& src, cv::Mat& canvas, const std::vector<cv::Point>& brush,
                     const std::vector<cv::Point>& accents, CrtRandom& random, const std::atomic<bool>* cancel) {
  const int width = src.cols, height = src.rows;
  std::int64_t remaining = static_cast<std::int64_t>(width) * height;
  if (brush.empty() || remaining <= kDabRemainder) return true;
  // Each dab covers white pixels only, so the order of the draws is the
  // picture: the loop is sequential.
  do {
    const int col = static_cast<int>(static_cast<std::int64_t>(random.Next()) * width / 32768);
    const int row = static_cast<int>(static_cast<std::int64_t>(random.Next()) * height / 32768);
    const std::uint8_t* c = src.ptr<std::uint8_t>(row) + 3 * col;
    std::int64_t painted = PaintOffsets(canvas, brush, col, row, c);
    if (!accents.empty()) {
      const int mean = (c[0] + c[1] + c[2]) / 3;
      const std::uint8_t strong[3] = {static_cast<std::uint8_t>(std::clamp(2 * c[0] - mean, 0, 255)),
                                      static_cast<std::uint8_t>(std::clamp(2 * c[1] - mean, 0, 255)),
                                      static_cast<std::uint8_t>(std::clamp(2 * c[2] - mean, 0, 255))};
      painted += PaintOffsets(canvas, accents, col, row, strong);
    }
    remaining -= std::max<std::int64_t>(painted, 1);
    if (CancelRequested(cancel)) return false;
  } while (remaining > kDabRemainder);
  return true;
}

void FillWhite(const cv::Mat& src, cv::Mat& canvas) {
  ParallelRows(canvas.rows, nullptr, [&](int y) {
    const std::uint8_t* s = src.ptr<std::uint8_t>(y);
    std::uint8_t* p = canvas.ptr<std::uint8_t>(y);
    for (int x = 0; x < canvas.cols; ++x)
      if (IsPureWhite(p + 3 * x)) p[3 * x] = s[3 * x], p[3 * x + 1] = s[3 * x + 1], p[3 * x + 2] = s[3 * x + 2];
  });
}

}  // namespace grinsnap
