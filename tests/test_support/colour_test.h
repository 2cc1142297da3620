#pragma once

// Colours for tests: an Adobe RGB-compatible profile built by Little CMS
// from its primaries, and the sRGB colour an Adobe RGB one should become.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <lcms2.h>
#include <opencv2/core.hpp>

namespace grinsnap::test {

// D65 white, the Adobe RGB (1998) primaries and its 563/256 gamma.
inline std::vector<std::uint8_t> AdobeRgbProfile() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<std::uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

// What an Adobe RGB colour (blue, green, red bytes) is in sRGB, worked out
// from the two spaces' published matrices (both D65) and curves, without
// the colour management the program uses.
inline cv::Vec3d AdobeToSrgb(cv::Vec3b bgr) {
  const double m[3][3] = {{0.5767309, 0.1855540, 0.1881852}, {0.2973769, 0.6273491, 0.0752741},
                          {0.0270343, 0.0706872, 0.9911085}};
  const double inv[3][3] = {{3.2404542, -1.5371385, -0.4985314}, {-0.9692660, 1.8760108, 0.0415560},
                            {0.0556434, -0.2040259, 1.0572252}};
  double linear[3], xyz[3] = {0, 0, 0};
  for (int c = 0; c < 3; ++c) linear[c] = std::pow(bgr[2 - c] / 255.0, 563.0 / 256.0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) xyz[r] += m[r][c] * linear[c];
  cv::Vec3d out;
  for (int r = 0; r < 3; ++r) {
    double v = inv[r][0] * xyz[0] + inv[r][1] * xyz[1] + inv[r][2] * xyz[2];
    v = std::clamp(v, 0.0, 1.0);
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    out[2 - r] = 255.0 * v;
  }
  return out;
}

}  // namespace grinsnap::test
