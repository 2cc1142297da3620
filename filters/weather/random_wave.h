#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// The three surfaces of the random waves.
enum class RandomWaveType : int {
  Raindrops = 0,  // rings spreading from raindrops that fell at random places
  Water = 1,      // a random water surface made from the noise field
  Swell = 2,      // long wind-driven waves across the picture, bent at random
};

struct RandomWaveParams {
  RandomWaveType type = RandomWaveType::Raindrops;
  float cellX = 20.0f;      // block entry 0
  float cellY = 20.0f;      // block entry 1
  float refraction = 0.75f;  // block entry 2
};

// The height map of a random wave surface (one-channel float, created at
// size), values around 0.5, drawing from the generator. Returns false when
// cancel stopped it.
bool RandomWaveHeights(cv::Size size, const RandomWaveParams& params, CrtRandom& random, cv::Mat& heights,
                       const std::atomic<bool>* cancel);

// The photo src (8-bit BGR) seen through the random surface, into dst
// (created at src's size). Returns false when cancel stopped it.
bool RandomWaveKernel(const cv::Mat& src, cv::Mat& dst, const RandomWaveParams& params, CrtRandom& random,
                      const std::atomic<bool>* cancel);

// Random waves ("RandomWaveFilter"). "type" on the filter element picks the
// surface (0, 1 or 2; any other value draws nothing and leaves the output as
// it is). Block entries 0 and 1 are the sizes of the surface's cells across
// and down, entry 2 the refraction ratio.
class CF_RandomWave : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "RandomWaveFilter";
  static constexpr BlockParam kCellX{0, "cell width", 20.0f, 2.0f, 200.0f};
  static constexpr BlockParam kCellY{1, "cell height", 20.0f, 2.0f, 200.0f};
  static constexpr BlockParam kRefraction{2, "refraction", 0.75f, 0.0f, 1.0f};
  static constexpr BlockParam kParams[] = {kCellX, kCellY, kRefraction};
  static constexpr FilterTraits kTraits{
      .seeded = true, .background = Background::AboveSize, .backgroundLimit = 600, .params = kParams};

  CF_RandomWave();

  int Load() override;
  int Type() const { return type_; }

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

private:
  int type_ = 0;
};

}  // namespace grinsnap
