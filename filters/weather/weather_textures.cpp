#include "filters/weather/weather_textures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "filters/kernel_support.h"
#include "filters/warp/noise_field.h"
#include "platform/crt_random.h"

namespace grinsnap {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// Supersampling: each pixel's coverage is the mean of 4 x 4 samples of an
// inside test, so the edges of the shapes are smooth.
template <typename Inside>
float Coverage(float px, float py, float pixel, Inside&& inside) {
  int hits = 0;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i)
      if (inside(px + (static_cast<float>(i) + 0.5f) * pixel / 4.0f, py + (static_cast<float>(j) + 0.5f) * pixel / 4.0f))
        ++hits;
  return static_cast<float>(hits) / 16.0f;
}

void Put(cv::Mat& m, int x, int y, float b, float g, float r, float a) {
  cv::Vec4b& p = m.at<cv::Vec4b>(y, x);
  p = {ClampToByte(b + 0.5f), ClampToByte(g + 0.5f), ClampToByte(r + 0.5f), ClampToByte(a * 255.0f + 0.5f)};
}

cv::Mat Heart() {
  const int n = 128;
  cv::Mat m(n, n, CV_8UC4, cv::Scalar::all(0));
  const float pixel = 2.8f / n;
  auto inside = [](float x, float y) {
    // (x^2 + y^2 - 1)^3 - x^2 y^3 <= 0, y pointing up.
    const float yy = -y;
    const float a = x * x + yy * yy - 1.0f;
    return a * a * a - x * x * yy * yy * yy <= 0.0f;
  };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float px = -1.4f + x * pixel, py = -1.25f + y * pixel;
      const float cover = Coverage(px, py, pixel, inside);
      if (cover <= 0.0f) continue;
      // A soft highlight at the upper left lobe, darker towards the point.
      const float hx = px + 0.5f, hy = py + 0.25f;
      const float highlight = std::exp(-(hx * hx + hy * hy) * 6.0f);
      const float shade = 0.75f + 0.25f * (1.0f - std::clamp((py + 1.0f) / 2.4f, 0.0f, 1.0f));
      Put(m, x, y, (70 + 150 * highlight) * shade, (40 + 170 * highlight) * shade, (225 + 30 * highlight) * shade, cover);
    }
  return m;
}

cv::Mat Bubble() {
  const int n = 128;
  cv::Mat m(n, n, CV_8UC4, cv::Scalar::all(0));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float px = (x + 0.5f) / n * 2.0f - 1.0f, py = (y + 0.5f) / n * 2.0f - 1.0f;
      const float r = std::sqrt(px * px + py * py);
      const float edge = 1.0f - SmoothStep(0.93f, 0.99f, r);
      if (edge <= 0.0f) continue;
      // Thin film: clear in the middle, a coloured rim that catches the light.
      const float rim = std::pow(std::clamp(r, 0.0f, 1.0f), 6.0f);
      const float angle = std::atan2(py, px);
      const float hue = 0.5f + 0.5f * std::cos(3.0f * angle + 4.0f * r);
      const float hx = px + 0.38f, hy = py + 0.42f;
      const float spot = std::exp(-(hx * hx + hy * hy) * 28.0f);
      const float lower = std::exp(-((px - 0.35f) * (px - 0.35f) + (py - 0.5f) * (py - 0.5f)) * 18.0f) * 0.35f;
      const float alpha = std::clamp(0.08f + 0.7f * rim + 0.9f * spot + lower, 0.0f, 1.0f) * edge;
      const float b = 215 + 40 * hue, g = 225 + 30 * (1 - hue), r2 = 205 + 50 * std::fabs(std::sin(2.0f * angle));
      Put(m, x, y, std::min(255.0f, b + 255 * spot), std::min(255.0f, g + 255 * spot), std::min(255.0f, r2 + 255 * spot), alpha);
    }
  return m;
}

cv::Mat Petal() {
  const int w = 96, h = 128;
  cv::Mat m(h, w, CV_8UC4, cv::Scalar::all(0));
  const float pixel = 2.0f / h;
  // A rounded petal with a small notch at its wide end, the base at the bottom.
  auto inside = [](float x, float y) {
    const float t = (1.0f - y) / 2.0f;  // 0 at the bottom, 1 at the top
    if (t < 0.0f || t > 1.0f) return false;
    const float halfWidth = 0.72f * std::pow(std::sin(kPi * std::pow(t, 0.8f)), 0.75f) * (0.35f + 0.65f * t);
    if (std::fabs(x) > halfWidth) return false;
    const float notch = 0.12f * (1.0f - std::fabs(x) / 0.18f);
    return !(std::fabs(x) < 0.18f && t > 1.0f - notch);
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float px = (x - w / 2.0f) * pixel, py = -1.0f + y * pixel;
      const float cover = Coverage(px, py, pixel, inside);
      if (cover <= 0.0f) continue;
      const float t = std::clamp((1.0f - py) / 2.0f, 0.0f, 1.0f);
      const float vein = 0.06f * std::cos(px * 40.0f) * t;
      const float pink = 0.35f + 0.65f * t;  // white at the base, pink to the tip
      Put(m, x, y, 235 - 40 * pink + 255 * vein, 235 - 95 * pink + 255 * vein, 252, cover * 0.95f);
    }
  return m;
}

cv::Mat Bokeh() {
  const int n = 128;
  cv::Mat m(n, n, CV_8UC3, cv::Scalar::all(0));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float px = (x + 0.5f) / n * 2.0f - 1.0f, py = (y + 0.5f) / n * 2.0f - 1.0f;
      const float r = std::sqrt(px * px + py * py);
      // An out-of-focus light: a flat disc with a slightly brighter rim.
      const float disc = 1.0f - SmoothStep(0.86f, 0.96f, r);
      const float rim = std::exp(-(r - 0.88f) * (r - 0.88f) * 250.0f) * 0.35f;
      const float v = disc * (0.62f + rim + 0.05f * (1.0f - r));
      m.at<cv::Vec3b>(y, x) = {ClampToByte(200.0f * v), ClampToByte(232.0f * v), ClampToByte(255.0f * v)};
    }
  return m;
}

cv::Mat Sparkle() {
  const int n = 128;
  cv::Mat m(n, n, CV_8UC3, cv::Scalar::all(0));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float px = (x + 0.5f) / n * 2.0f - 1.0f, py = (y + 0.5f) / n * 2.0f - 1.0f;
      const float r = std::sqrt(px * px + py * py);
      const float glow = std::exp(-r * r * 30.0f) + 0.25f * std::exp(-r * r * 6.0f);
      // Four long rays and four short diagonal ones, fading outwards.
      const float fade = std::max(0.0f, 1.0f - r);
      const float rays = std::exp(-std::fabs(px) * 60.0f) * fade * fade + std::exp(-std::fabs(py) * 60.0f) * fade * fade;
      const float u = (px + py) * 0.7071f, v = (px - py) * 0.7071f;
      const float fade2 = std::max(0.0f, 1.0f - 2.0f * r);
      const float diagonal = 0.5f * (std::exp(-std::fabs(u) * 70.0f) + std::exp(-std::fabs(v) * 70.0f)) * fade2 * fade2;
      const float value = std::min(1.0f, glow + rays + diagonal);
      m.at<cv::Vec3b>(y, x) = {ClampToByte(255.0f * value), ClampToByte(250.0f * value), ClampToByte(235.0f * value)};
    }
  return m;
}

cv::Mat Frost() {
  const int w = 1024, h = 768;
  cv::Mat m(h, w, CV_8UC4, cv::Scalar::all(0));
  CrtRandom random(1817);
  // Ice grows in from the edges and thickest in the corners; its crystals
  // are the crests of fine noise at several scales.
  cv::Mat reach(h, w, CV_32FC1), coarse(h, w, CV_32FC1), fine(h, w, CV_32FC1), finest(h, w, CV_32FC1);
  NoiseField(reach, 6, 4.5, random);
  NoiseField(coarse, 24, 18, random);
  NoiseField(fine, 64, 48, random);
  NoiseField(finest, 160, 120, random);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float u = (x + 0.5f) / w, v = (y + 0.5f) / h;
      const float ex = std::min(u, 1.0f - u) * 4.0f / 3.0f, ey = std::min(v, 1.0f - v);
      // Distance to the edge, shortest in the corners.
      const float edge = std::min(ex, ey) * 0.6f + std::sqrt(ex * ey) * 0.4f;
      const float grow = 0.16f + 0.14f * reach.at<float>(y, x);
      const float density = 1.0f - SmoothStep(grow * 0.4f, grow, edge);
      if (density <= 0.0f) continue;
      auto ridge = [](float n) { return std::max(0.0f, 1.0f - 4.0f * std::fabs(n - 0.5f)); };
      const float crystals = std::clamp(0.5f * ridge(coarse.at<float>(y, x)) + 0.6f * ridge(fine.at<float>(y, x)) +
                                            0.5f * ridge(finest.at<float>(y, x)),
                                        0.0f, 1.0f);
      const float alpha = density * (0.35f + 0.6f * crystals * crystals) * (0.6f + 0.4f * density);
      const float tint = 240 + 15 * crystals;
      Put(m, x, y, 255, tint, tint - 10, std::min(alpha, 0.95f));
    }
  return m;
}

cv::Mat WindowFrame() {
  const int w = 1024, h = 768;
  cv::Mat m(h, w, CV_8UC4, cv::Scalar::all(0));
  CrtRandom random(2024);
  cv::Mat grain(h, w, CV_32FC1), knots(h, w, CV_32FC1);
  NoiseField(grain, 6, 90, random);
  NoiseField(knots, 10, 10, random);
  const int border = 56, bar = 34;
  const int mullionX = w / 2, transomY = static_cast<int>(h * 0.42f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int toEdge = std::min({x, y, w - 1 - x, h - 1 - y});
      const int toMullion = std::abs(x - mullionX), toTransom = std::abs(y - transomY);
      const bool frame = toEdge < border;
      const bool vertical = toMullion < bar / 2;
      const bool horizontal = toTransom < bar / 2;
      if (!frame && !vertical && !horizontal) {
        // A little shadow of the frame falls on the glass beside it.
        const int near = std::min({toEdge - border, toMullion - bar / 2, toTransom - bar / 2});
        if (near < 10) Put(m, x, y, 20, 25, 30, 0.28f * (1.0f - near / 10.0f));
        continue;
      }
      // The grain runs along each piece: the field's fine direction is down
      // the picture, so the uprights read it transposed.
      const bool upright = frame ? (std::min(x, w - 1 - x) < border && std::min(y, h - 1 - y) >= border) : vertical;
      const float g = upright ? grain.at<float>(x * (h - 1) / (w - 1), y * (w - 1) / (h - 1)) : grain.at<float>(y, x);
      const float lines = 0.5f + 0.5f * std::sin(g * 60.0f);
      const float k = knots.at<float>(y, x);
      // Bevel: lighter on the upper left of each piece, darker on the lower right.
      float bevel = 0.0f;
      if (frame) {
        const float inner = static_cast<float>(border - toEdge) / border;
        bevel = (x < border || y < border) ? 0.15f * (1.0f - inner) : -0.15f * (1.0f - inner);
      } else {
        const float off = vertical ? static_cast<float>(x - mullionX) / (bar / 2) : static_cast<float>(y - transomY) / (bar / 2);
        bevel = -0.18f * off;
      }
      const float base = (0.72f + 0.18f * lines + 0.1f * k) * (1.0f + bevel);
      Put(m, x, y, 38 * base, 72 * base, 118 * base, 1.0f);
    }
  return m;
}

}  // namespace

cv::Mat MakeParticleTexture(ParticleKind kind) {
  switch (kind) {
    case ParticleKind::kHeart: return Heart();
    case ParticleKind::kBubble: return Bubble();
    case ParticleKind::kPetal: return Petal();
    case ParticleKind::kBokeh: return Bokeh();
    case ParticleKind::kSparkle: return Sparkle();
  }
  return Bubble();
}

cv::Mat MakeDecoration(DecorationKind kind) {
  return kind == DecorationKind::kFrost ? Frost() : WindowFrame();
}

const cv::Mat& DefaultParticle() {
  static const cv::Mat bubble = Bubble();
  return bubble;
}

}  // namespace grinsnap
