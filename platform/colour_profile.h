#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace grinsnap {

// Colour management with Little CMS: pictures come into the program as
// sRGB, the colours every effect and every output assume.

// Converts an 8-bit BGR or BGRA picture in place from the colours an ICC
// profile describes to sRGB, with perceptual intent (alpha is kept). RGB
// and grey profiles are used (a grey profile only for a picture decoded from
// grey, whose channels are equal); a profile that already is sRGB (same
// white point, primaries and tone curves) leaves the picture as it is.
//
// Returns "" when the picture is in sRGB now, else why the profile cannot be
// used; the picture is then left untouched, that is taken as sRGB.
std::string ConvertToSrgb(cv::Mat& picture, std::span<const std::uint8_t> profile, bool grey);

// Whether a profile describes sRGB; false for one that cannot be read.
bool IsSrgbProfile(std::span<const std::uint8_t> profile);

// The sRGB profile written into saved pictures: Little CMS's own, a
// version 4 profile of under 600 bytes with sRGB's exact curves (a version 2
// one needs 8.8 KB of curve tables, more than a small picture itself).
const std::vector<std::uint8_t>& SrgbIccProfile();

}  // namespace grinsnap
