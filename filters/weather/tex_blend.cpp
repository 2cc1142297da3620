// Particles blended from a texture: hearts, bubbles, petals, lights
// scattered over the photo.
//
// Each particle is the texture turned, scaled and placed at random: five
// draws, x, y, size, turn and opacity, in that order for one particle after
// the other. Sizes run from min_scale to max_scale of the shorter side,
// drawn as the square of a uniform number so that small particles are the
// many and large ones the few, as things scattered through a depth of space
// appear. For the same reason the particles are drawn from the smallest to
// the largest (the near ones cover the far ones) and the small ones are
// fainter. Turns stay within 35 degrees of upright, so hearts and petals
// read as themselves.
//
// "argb" lays the texture over the photo through its alpha; "rgb" adds its
// light to the photo as a screen blend (255 - (255 - c)(1 - t)), for lights
// and glows drawn on black.
//
// A particle reads the texture through its inverse turn and scale with the
// image sampler, from a level of a pyramid of halved textures no more than
// twice the particle's size, so small particles are smooth rather than
// speckled. Particles overlap and cover each other in their order, so each
// pixel takes its particles in order; rows are independent once the
// particles are drawn and run in parallel.
#include "filters/weather/tex_blend.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "core/sampler.h"
#include "core/xml_params.h"
#include "filters/filter_assets.h"
#include "filters/kernel_support.h"
#include "filters/weather/weather_textures.h"

namespace grinsnap {

namespace {

constexpr float kMostTurn = 35.0f * std::numbers::pi_v<float> / 180.0f;

// A scale from the document: a fraction of the shorter side, held within
// sense (NaN reads as the smallest).
float Fraction(float v) { return v > 0.0f ? std::min(v, 4.0f) : 0.0f; }

}  // namespace

std::vector<Particle> DrawParticles(CrtRandom& random, const TexBlendSettings& settings, cv::Size size) {
  const int count = std::clamp(settings.particles, 0, kMostParticles);
  float lo = Fraction(settings.minScale), hi = Fraction(settings.maxScale);
  if (lo > hi) std::swap(lo, hi);
  const float shorter = static_cast<float>(std::min(size.width, size.height));
  std::vector<Particle> particles(static_cast<std::size_t>(count));
  for (Particle& p : particles) {
    p.x = random.NextUnit() * static_cast<float>(size.width);
    p.y = random.NextUnit() * static_cast<float>(size.height);
    const float u = random.NextUnit();
    p.width = (lo + (hi - lo) * u * u) * shorter;
    p.angle = (2.0f * random.NextUnit() - 1.0f) * kMostTurn;
    p.opacity = 0.7f + 0.3f * random.NextUnit();
  }
  std::stable_sort(particles.begin(), particles.end(), [](const Particle& a, const Particle& b) { return a.width < b.width; });
  // The smallest are fainter: they are farther away.
  const float largest = particles.empty() ? 0.0f : particles.back().width;
  for (Particle& p : particles)
    if (largest > 0.0f) p.opacity *= 0.55f + 0.45f * p.width / largest;
  return particles;
}

bool TexBlendKernel(const cv::Mat& src, cv::Mat& dst, const cv::Mat& texture, const TexBlendSettings& settings,
                    CrtRandom& random, const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && !texture.empty() && (texture.type() == CV_8UC4 || texture.type() == CV_8UC3));
  if (src.data != dst.data) src.copyTo(dst);
  if (dst.empty()) return true;
  const bool light = settings.mode == TexBlendMode::Rgb;
  cv::Mat base;
  if (texture.type() == CV_8UC4)
    base = texture;
  else
    cv::cvtColor(texture, base, cv::COLOR_BGR2BGRA);
  // The pyramid: the texture and its halves down to a few pixels.
  std::vector<cv::Mat> levels{base};
  while (levels.back().cols > 4 && levels.back().rows > 4) {
    cv::Mat half;
    cv::resize(levels.back(), half, cv::Size((levels.back().cols + 1) / 2, (levels.back().rows + 1) / 2), 0, 0,
               cv::INTER_AREA);
    levels.push_back(half);
  }
  const std::vector<Particle> particles = DrawParticles(random, settings, dst.size());
  const float textureAspect = static_cast<float>(base.rows) / static_cast<float>(base.cols);
  const float aspect = std::isfinite(settings.aspect) ? std::clamp(settings.aspect, 0.05f, 20.0f) : 1.0f;

  struct Placed {
    float x, y, cosA, sinA, halfW, halfH, opacity;
    int level, top, bottom, left, right;
  };
  std::vector<Placed> placed;
  placed.reserve(particles.size());
  for (const Particle& p : particles) {
    const float w = p.width, h = p.width * textureAspect * aspect;
    if (!(w >= 0.5f) || !(h >= 0.5f)) continue;
    Placed q;
    q.x = p.x, q.y = p.y, q.cosA = std::cos(p.angle), q.sinA = std::sin(p.angle);
    q.halfW = 0.5f * w, q.halfH = 0.5f * h, q.opacity = p.opacity;
    q.level = 0;
    while (q.level + 1 < static_cast<int>(levels.size()) && levels[q.level + 1].cols >= w) ++q.level;
    const float reach = std::sqrt(q.halfW * q.halfW + q.halfH * q.halfH);
    q.top = std::max(0, static_cast<int>(std::floor(q.y - reach)));
    q.bottom = std::min(dst.rows - 1, static_cast<int>(std::ceil(q.y + reach)));
    q.left = std::max(0, static_cast<int>(std::floor(q.x - reach)));
    q.right = std::min(dst.cols - 1, static_cast<int>(std::ceil(q.x + reach)));
    if (q.top <= q.bottom && q.left <= q.right) placed.push_back(q);
  }
  std::vector<TypedSampler<std::uint8_t, 4, 4>> samplers;
  for (const cv::Mat& level : levels) samplers.emplace_back(level, SampleBorder::Constant, cv::Scalar::all(0));

  return ParallelRows(dst.rows, cancel, [&](int y) {
    std::uint8_t* row = dst.ptr<std::uint8_t>(y);
    const float py = static_cast<float>(y) + 0.5f;
    for (const Placed& q : placed) {
      if (y < q.top || y > q.bottom) continue;
      const auto& sampler = samplers[static_cast<std::size_t>(q.level)];
      const float dy = py - q.y;
      for (int x = q.left; x <= q.right; ++x) {
        // The pixel in the particle's own frame, turned back, as fractions
        // of the texture.
        const float dx = static_cast<float>(x) + 0.5f - q.x;
        const float along = dx * q.cosA + dy * q.sinA, across = -dx * q.sinA + dy * q.cosA;
        const float u = 0.5f + 0.5f * along / q.halfW, v = 0.5f + 0.5f * across / q.halfH;
        if (u < -0.01f || u > 1.01f || v < -0.01f || v > 1.01f) continue;
        const cv::Vec4f t = sampler.At(u, v);
        std::uint8_t* p = row + 3 * x;
        if (light) {
          for (int c = 0; c < 3; ++c) {
            const float keep = 1.0f - q.opacity * t[c] / 255.0f;
            p[c] = ClampToByte(255.0f - (255.0f - static_cast<float>(p[c])) * keep + 0.5f);
          }
        } else {
          const float alpha = q.opacity * t[3] / 255.0f;
          if (alpha <= 0.0f) continue;
          for (int c = 0; c < 3; ++c) {
            const float now = static_cast<float>(p[c]);
            p[c] = ClampToByte(now + alpha * (t[c] - now) + 0.5f);
          }
        }
      }
    }
  });
}

CF_TexBlend::CF_TexBlend() : CF_SimpleFilter(kClassName, kTraits) {}

CF_TexBlend::~CF_TexBlend() = default;

int CF_TexBlend::Load() {
  CF_SimpleFilter::Load();
  settings_ = TexBlendSettings();
  texture_.release();
  missing_.clear();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  if (AttributeText(param, "color_mode") == "rgb") settings_.mode = TexBlendMode::Rgb;
  ReadAttribute(param, "aspect", settings_.aspect);
  ReadAttribute(param, "particle", settings_.particles);
  ReadAttribute(param, "max_scale", settings_.maxScale);
  ReadAttribute(param, "min_scale", settings_.minScale);
  const std::string image = AttributeText(param, "image");
  texture_ = image.empty() ? DefaultParticle() : LoadAsset(Folder(), image, missing_, true);
  return 0;
}

bool CF_TexBlend::RunKernel(const cv::Mat& in, cv::Mat& out) {
  if (texture_.empty()) throw std::runtime_error("the texture particles cannot read " + missing_);
  CrtRandom random(seed_);
  return TexBlendKernel(in, out, texture_, settings_, random, StopFlag());
}

}  // namespace grinsnap
