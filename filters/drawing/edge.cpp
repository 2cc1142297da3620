// The edge painter is this program's own design: a felt-pen drawing over a
// soft colour wash. The colours go through HSV with the saturation scaled by
// 0.8, so that the wash is a little quieter than the photo and the lines
// stand out. An 11 x 11 Gaussian whose spread grows with the detail value
// softens the wash and the grey the edges are found in; the 3 x 3 Sobel pair
// gives the gradient. Edges are thinned by suppressing every pixel that is
// not the largest along its gradient direction (four sectors), so each line
// is one pixel wide, then weighted by how far their strength lies above a
// threshold taken from the picture's mean gradient (so dull and crisp photos
// get a similar amount of line), spread a little for a pen's width, and
// drawn in a dark shade of the wash colour beneath them.
#include "filters/drawing/edge.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "filters/kernel_support.h"

namespace grinsnap {
namespace {

constexpr int kSoftening = 11;
constexpr float kSaturationScale = 0.8f;
// What the line pen leaves of the colour beneath: its darkest shade.
constexpr float kInkShade = 0.22f;
constexpr float kInkOpacity = 0.9f;

}  // namespace

bool EdgeKernel(const cv::Mat& src, cv::Mat& dst, int detail, float lines, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3);
  const int width = src.cols, height = src.rows;
  dst.create(src.size(), CV_8UC3);
  if (src.empty()) return true;

  cv::Mat hsv;
  cv::cvtColor(src, hsv, cv::COLOR_BGR2HSV);
  std::vector<cv::Mat> planes;
  cv::split(hsv, planes);
  planes[1].convertTo(planes[1], CV_8U, kSaturationScale);
  cv::merge(planes, hsv);
  cv::Mat muted;
  cv::cvtColor(hsv, muted, cv::COLOR_HSV2BGR);

  const double sigma = 0.3 * std::clamp(detail, 1, 15);
  const cv::Mat gauss = cv::getGaussianKernel(kSoftening, sigma, CV_32F);
  cv::Mat soft;
  cv::sepFilter2D(muted, soft, CV_8U, gauss, gauss, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
  cv::Mat grey;
  cv::cvtColor(soft, grey, cv::COLOR_BGR2GRAY);
  cv::Mat gx, gy;
  cv::Sobel(grey, gx, CV_32F, 1, 0, 3, 1.0 / 8.0, 0, cv::BORDER_REPLICATE);
  cv::Sobel(grey, gy, CV_32F, 0, 1, 3, 1.0 / 8.0, 0, cv::BORDER_REPLICATE);
  cv::Mat magnitude;
  cv::magnitude(gx, gy, magnitude);
  if (CancelRequested(cancel)) return false;

  // More lines lower the threshold; a line amount that is not a number
  // counts as 0.
  const float amount = std::isfinite(lines) ? std::clamp(lines, -4.0f, 4.0f) : 0.0f;
  const float threshold = std::max(1.5f, 2.2f * static_cast<float>(cv::mean(magnitude)[0])) * std::exp2(-1.5f * amount);
  cv::Mat ink(src.size(), CV_32FC1, cv::Scalar(0));
  if (!ParallelRows(height, cancel, [&](int y) {
        const float* m = magnitude.ptr<float>(y);
        const float* up = magnitude.ptr<float>(std::max(y - 1, 0));
        const float* down = magnitude.ptr<float>(std::min(y + 1, height - 1));
        const float* dx = gx.ptr<float>(y);
        const float* dy = gy.ptr<float>(y);
        float* out = ink.ptr<float>(y);
        for (int x = 0; x < width; ++x) {
          const float v = m[x];
          if (v < threshold * 0.5f) continue;
          const int l = std::max(x - 1, 0), r = std::min(x + 1, width - 1);
          // The two neighbours across the edge, by the gradient's sector.
          const float ax = std::fabs(dx[x]), ay = std::fabs(dy[x]);
          float a, b;
          if (ay <= ax * 0.4142f) {
            a = m[l], b = m[r];
          } else if (ax <= ay * 0.4142f) {
            a = up[x], b = down[x];
          } else if ((dx[x] > 0) == (dy[x] > 0)) {
            a = up[l], b = down[r];
          } else {
            a = up[r], b = down[l];
          }
          if (v < a || v < b) continue;
          out[x] = std::clamp((v - 0.5f * threshold) / threshold, 0.0f, 1.0f);
        }
      }))
    return false;
  // A pen line is wider than one pixel and its rim is soft.
  cv::GaussianBlur(ink, ink, cv::Size(3, 3), 0.7, 0.7, cv::BORDER_REPLICATE);

  return ParallelRows(height, cancel, [&](int y) {
    const std::uint8_t* s = soft.ptr<std::uint8_t>(y);
    const float* k = ink.ptr<float>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x) {
      const float alpha = std::min(k[x] * 2.2f, 1.0f) * kInkOpacity;
      for (int c = 0; c < 3; ++c) {
        const float base = s[3 * x + c];
        out[3 * x + c] = ClampToByte(base * (1.0f - alpha) + base * kInkShade * alpha + 0.5f);
      }
    }
  });
}

CF_Edge::CF_Edge() : CF_SimpleFilter(kClassName, kTraits) {}

bool CF_Edge::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return EdgeKernel(in, out, TruncateToInt(Param(kDetail)), Param(kLines), StopFlag());
}

}  // namespace grinsnap
