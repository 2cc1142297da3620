#pragma once

// Procedural pictures for the texture particles and the window decorations.
// The shipped files are written from these by the texture generator
// (tools/); the texture particles make their default in memory when a
// document names no picture.
//
// Particles are 8-bit BGRA with straight (not premultiplied) alpha, except
// the light particles (bokeh, sparkle), which are BGR on black for the
// lightening blend. Decorations are BGRA pictures of 4 : 3, laid over a
// whole photo.

#include <opencv2/core.hpp>

namespace grinsnap {

enum class ParticleKind { kHeart, kBubble, kPetal, kBokeh, kSparkle };
enum class DecorationKind { kFrost, kWindowFrame };

// 128 x 128 (the petal 96 x 128).
cv::Mat MakeParticleTexture(ParticleKind kind);
// 1024 x 768.
cv::Mat MakeDecoration(DecorationKind kind);

// The bubble, made once per process: the texture particles' default.
const cv::Mat& DefaultParticle();

}  // namespace grinsnap
