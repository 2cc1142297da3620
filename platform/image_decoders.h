#pragma once

#include <cstdint>
#include <span>

#include <opencv2/core.hpp>

namespace grinsnap {

// Decoders for the pictures OpenCV's own reader does not take. Each returns
// an empty Mat when the bytes are not a picture it can read, and never reads
// outside the bytes it is given. The caller checks the declared size first.

// The first frame of a GIF on its logical screen: 8-bit BGRA when the frame
// has a transparent colour (transparent pixels and the screen outside the
// frame take alpha 0 and the background colour), else BGR.
cv::Mat DecodeGifFirstFrame(std::span<const std::uint8_t> bytes);

// A TIFF through libtiff: tiled and striped pictures of any layout its RGBA
// reader takes come out as 8-bit BGRA (turned upright by their orientation
// tag); floating-point samples (16, 32 or 64 bits, one to four samples a
// pixel) come out as 32-bit float BGR/BGRA or grey, as stored.
cv::Mat DecodeTiff(std::span<const std::uint8_t> bytes);

}  // namespace grinsnap
