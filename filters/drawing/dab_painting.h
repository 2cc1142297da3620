#pragma once

// The dab painters' shared steps: thinning a brush at random, dabbing a
// white canvas until it is covered, and filling what is left.

#include <atomic>
#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/crt_random.h"

namespace grinsnap {

// How many offsets a brush of n loses when it keeps the share k:
// truncate(n (1 - k)), within 0..n.
std::size_t ThinningCount(std::size_t n, float k);

// Removes `remove` offsets from the brush one at a time, each at index
// rand() x (current length) / 32768, keeping the order of the rest; then
// moves `accents` offsets one at a time (while any are left) into *accentsOut
// the same way, in the order they were taken.
void ThinBrush(std::vector<cv::Point>& brush, std::size_t remove, CrtRandom& random, std::size_t accents = 0,
               std::vector<cv::Point>* accentsOut = nullptr);

// The dab loop of the crayon painters on a white canvas (8-bit BGR) over
// src (the same size): with r = width x height, each dab draws a column
// rand() x width / 32768, then a row rand() x height / 32768, takes the
// source colour C there and paints every pure white pixel the brush offsets
// reach inside the picture with C, and every pure white pixel the accent
// offsets reach with 2C - (C blue + C green + C red) / 3 per channel
// (clamped); r drops by the number painted, at least 1, until it is at most
// 500. Needs a brush and more than 500 pixels; does nothing otherwise.
// With a cancel flag it is polled after every dab; returns false when it
// stopped the loop.
bool PaintCrayonDabs(const cv::Mat& src, cv::Mat& canvas, const std::vector<cv::Point>& brush,
                     const std::vector<cv::Point>& accents, CrtRandom& random, const std::atomic<bool>* cancel);

// Every pure white pixel of the canvas takes the source colour at its place.
void FillWhite(const cv::Mat& src, cv::Mat& canvas);

// The number of pixels a picture must have for the dabs to run, and where
// the loop stops.
inline constexpr long long kDabRemainder = 500;

}  // namespace grinsnap
