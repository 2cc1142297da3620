// Times what colour management adds to loading a 12 MP photo: the
// conversion of an Adobe RGB picture to sRGB on one thread and on all, and
// the load of the same JPEG with and without its profile (the search for a
// profile is all a photo without one pays).
//
//   grinsnap_colour_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <lcms2.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/colour_profile.h"
#include "platform/image_loader.h"
#include "tests/test_support/colour_test.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

template <typename Work>
double BestMs(Work work, int runs = 5) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  cv::Mat photo = cv::imread(GRINSNAP_BENCH_JPEG, cv::IMREAD_COLOR);
  if (photo.empty()) photo = cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 120, 150));
  cv::resize(photo, photo, {4000, 3000}, 0, 0, cv::INTER_CUBIC);
  const std::vector<std::uint8_t> profile = grinsnap::test::AdobeRgbProfile();

  const int threads = cv::getNumThreads();
  for (const int n : {1, threads}) {
    cv::setNumThreads(n);
    cv::Mat copy;
    const double ms = BestMs([&] {
      copy = photo.clone();
      grinsnap::ConvertToSrgb(copy, profile, false);
    });
    std::printf("convert 4000x3000 Adobe RGB -> sRGB, %d thread%s: %.1f ms (with a %.1f ms copy)\n", n, n == 1 ? "" : "s",
                ms, BestMs([&] { copy = photo.clone(); }));
  }
  cv::setNumThreads(threads);

  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", photo, jpeg, {cv::IMWRITE_JPEG_QUALITY, 92});
  std::vector<std::uint8_t> tagged(jpeg.begin(), jpeg.begin() + 2);
  const std::size_t length = 2 + 14 + profile.size();
  tagged.insert(tagged.end(), {0xFF, 0xE2, std::uint8_t(length >> 8), std::uint8_t(length)});
  const char name[] = "ICC_PROFILE";
  tagged.insert(tagged.end(), name, name + 12);
  tagged.insert(tagged.end(), {1, 1});
  tagged.insert(tagged.end(), profile.begin(), profile.end());
  tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
  const fs::path folder = fs::temp_directory_path();
  std::ofstream(folder / "grinsnap-colour-srgb.jpg", std::ios::binary)
      .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
  std::ofstream(folder / "grinsnap-colour-adobe.jpg", std::ios::binary)
      .write(reinterpret_cast<const char*>(tagged.data()), std::streamsize(tagged.size()));
  for (const char* file : {"grinsnap-colour-srgb.jpg", "grinsnap-colour-adobe.jpg"}) {
    const double ms = BestMs([&] { grinsnap::LoadImageFile(folder / file); });
    std::printf("load %s (4000x3000): %.1f ms\n", file, ms);
  }
  const double search = BestMs([&] { grinsnap::ReadIccProfile(jpeg); }, 20);
  std::printf("profile search in the profile-less JPEG (%.1f MB): %.3f ms\n", double(jpeg.size()) / 1e6, search);
  return 0;
}
