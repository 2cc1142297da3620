#pragma once

#include <atomic>

#include "filters/simple_filter.h"
#include "platform/crt_random.h"

namespace grinsnap {

// Draws the time of the rippled surface from a freshly seeded generator:
// type 0 takes (rand() % 100) / 100, type 1 rand() / 32767. Other types draw
// nothing and return 0.
float DrawMoodTime(CrtRandom& random, int type);

// Light through a rippled glass surface of four plane waves at time t, from
// src (8-bit BGR) into dst (created at src's size). Where the surface has a
// height the picture is refracted along the surface normal and brightened by
// how squarely the surface faces the viewer; elsewhere the pixel is copied.
// Types other than 0 and 1 leave dst untouched. Returns false when cancel
// stopped the run.
bool MoodKernel(const cv::Mat& src, cv::Mat& dst, int type, float t, const std::atomic<bool>* cancel);

// The rippled-glass light effect ("MoodFilter"). Its "type" (on the filter
// element) picks one of two wave sets; a new seed gives a new time.
class CF_Mood : public CF_SimpleFilter {
 public:
  static constexpr const char* kClassName = "MoodFilter";
  static constexpr FilterTraits kTraits{.seeded = true};

  CF_Mood();

  int Load() override;

  int Type() const { return type_; }

 protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;

 private:
  int type_ = 0;
};

}  // namespace grinsnap
