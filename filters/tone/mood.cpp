#include "filters/tone/mood.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "core/sampler.h"
#include "filters/tone/tone_support.h"
#include "core/xml_params.h"

namespace grinsnap {
namespace {

// One set of four plane waves and how the surface they make is read.
struct WaveSet {
  float a[4];         // wave number along u
  float b[4];         // wave number along v
  float p[4];         // phase speed: the phase moves by p * t
  float uScale;       // u = uScale * x / W
  float vScale;       // v = vScale * y / H
  float heightShift;  // height = sqrt(s + heightShift), defined where s + heightShift > 0
  float brighten;     // how strongly a facing surface lifts the colour
};

constexpr WaveSet kWaveSets[2] = {
    {{17.571430f, -31.714287f, -22.428572f, 18.857143f},
     {-24.285715f, 31.714287f, -7.571429f, 35.0f},
     {1.0f, -15.0f, 2.0f, -22.0f},
     1.5f,
     1.0f,
     0.0f,
     1.0f},
    {{17.571430f, -31.714287f, -22.428572f, 0.0f},
     {-24.285715f, 31.714287f, -7.571429f, 18.857143f},
     {100.0f, -150.0f, 200.0f, -220.0f},
     -2.5f,
     2.5f,
     1.0f,
     3.0f},
};

// How far (as a fraction of the picture) the surface normal shifts the view.
constexpr float kRefraction = 0.01f;

}  // namespace

float DrawMoodTime(CrtRandom& random, int type) {
  if (type == 0) return static_cast<float>(random.Next() % 100) / 100.0f;
  if (type == 1) return random.NextUnit();
  return 0.0f;
}

bool MoodKernel(const cv::Mat& src, cv::Mat& dst, int type, float t, const std::atomic<bool>* cancel) {
  if (type != 0 && type != 1) return true;
  if (src.empty()) return true;
  CV_Assert(src.type() == CV_8UC3);
  // Pixels read their refracted neighbours, so the picture cannot be
  // rewritten in place.
  const cv::Mat input = Unaliased(src, dst);
  dst.create(input.size(), CV_8UC3);

  const WaveSet& waves = kWaveSets[type];
  const int width = input.cols;
  const int height = input.rows;
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const SampleOptions sampling{true, true, SampleBorder::Clamp, cv::Scalar::all(0)};

  // The phase terms p * t are the same for every pixel and a * u the same for
  // every column: computed once, as the separate products they are in the
  // per-pixel sum, so the result is unchanged.
  float timeTerm[4];
  for (int j = 0; j < 4; ++j) timeTerm[j] = waves.p[j] * t;
  std::vector<float> columnTerm(static_cast<std::size_t>(width) * 4);
  for (int x = 0; x < width; ++x) {
    const float u = waves.uScale * static_cast<float>(x) / w;
    for (int j = 0; j < 4; ++j) columnTerm[static_cast<std::size_t>(x) * 4 + j] = waves.a[j] * u;
  }

  // Parallel over rows: t is fixed before the loop and each pixel reads only
  // input, so the split cannot change the picture. An abort stops new rows.
  return ParallelRows(height, cancel, [&](int y) {
    const float v = waves.vScale * static_cast<float>(y) / h;
    float rowTerm[4];
    for (int j = 0; j < 4; ++j) rowTerm[j] = waves.b[j] * v;
    const float yFraction = static_cast<float>(y) / h;

    const std::uint8_t* in = input.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      const float* aU = &columnTerm[static_cast<std::size_t>(x) * 4];
      float s = 0.0f, gx = 0.0f, gy = 0.0f;
      for (int j = 0; j < 4; ++j) {
        const float phase = aU[j] + rowTerm[j] + timeTerm[j];
        const float cosine = std::cos(phase);
        s += std::sin(phase);
        gx += waves.a[j] * cosine;
        gy += waves.b[j] * cosine;
      }
      const float lifted = s + waves.heightShift;
      if (!(lifted > 0.0f)) {
        // No surface here: the light passes straight through.
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        continue;
      }
      const float r = std::sqrt(lifted);
      const float nx0 = 0.5f * gx / r;
      const float ny0 = 0.5f * gy / r;
      const float length = std::sqrt(nx0 * nx0 + ny0 * ny0 + 1.0f);
      const float nx = nx0 / length;
      const float ny = ny0 / length;
      const float nz = 1.0f / length;

      const cv::Vec3f seen = SampleImage(input, static_cast<float>(x) / w - kRefraction * nx * nz,
                                         yFraction - kRefraction * ny * nz, sampling);
      // E^10 as a product chain: a highlight only where the surface faces
      // the viewer almost squarely.
      const float e2 = nz * nz;
      const float e4 = e2 * e2;
      const float e8 = e4 * e4;
      const float highlight = 255.0f * (e8 * e2);
      for (int ch = 0; ch < 3; ++ch) {
        const float c = seen[ch];
        out[ch] = ClampToByte(c + waves.brighten * nz * (255.0f - c) + highlight);
      }
    }
  });
}

CF_Mood::CF_Mood() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Mood::Load() {
  CF_SimpleFilter::Load();
  type_ = 0;
  ReadAttribute(element_, "type", type_);
  return 0;
}

bool CF_Mood::RunKernel(const cv::Mat& in, cv::Mat& out) {
  // Other types leave the output as it is.
  if (type_ != 0 && type_ != 1) return true;
  CrtRandom random(seed_);
  const float t = DrawMoodTime(random, type_);
  return MoodKernel(in, out, type_, t, StopFlag());
}

}  // namespace grinsnap
