#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tiffio.h>
#include <zlib.h>

#include "platform/colour_profile.h"
#include "platform/image_loader.h"
#include "test_support/colour_test.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBe32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}
void PutLe32(Bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(v >> shift));
}
void Append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes Encode(const char* ext, const cv::Mat& picture) {
  Bytes bytes;
  EXPECT_TRUE(cv::imencode(ext, picture, bytes, {cv::IMWRITE_JPEG_QUALITY, 98}));
  return bytes;
}

Bytes Compress(const Bytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, data.data(), uLong(data.size()), 9), Z_OK);
  out.resize(size);
  return out;
}

Bytes SavedProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

Bytes LinearGreyProfile() {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  const Bytes bytes = SavedProfile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
  cmsFreeToneCurve(linear);
  return bytes;
}

// A JPEG with the profile in APP2 segments: parts numbered 1..count, in
// the order given (a part number over count leaves a part out).
Bytes JpegWithProfile(const cv::Mat& picture, const Bytes& profile, std::vector<int> order, int count) {
  const Bytes jpeg = Encode(".jpg", picture);
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const std::size_t part = (profile.size() + std::size_t(count) - 1) / std::size_t(count);
  for (int number : order) {
    const std::size_t from = std::min(profile.size(), part * std::size_t(number - 1));
    const std::size_t to = std::min(profile.size(), from + part);
    const std::size_t length = 2 + 14 + (to - from);
    out.insert(out.end(), {0xFF, 0xE2, std::uint8_t(length >> 8), std::uint8_t(length)});
    Append(out, std::string_view("ICC_PROFILE\0", 12));
    out.push_back(std::uint8_t(number));
    out.push_back(std::uint8_t(count));
    out.insert(out.end(), profile.begin() + long(from), profile.begin() + long(to));
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// A PNG with an iCCP chunk holding the compressed bytes.
Bytes PngWithCompressedProfile(const cv::Mat& picture, const Bytes& compressed) {
  const Bytes png = Encode(".png", picture);
  Bytes body;
  Append(body, "iCCPicc");
  body.insert(body.end(), {0, 0});
  Append(body, compressed);
  Bytes chunk;
  PutBe32(chunk, std::uint32_t(body.size() - 4));
  Append(chunk, body);
  PutBe32(chunk, std::uint32_t(crc32(0, body.data(), uInt(body.size()))));
  Bytes out(png.begin(), png.begin() + 33);  // signature and IHDR
  Append(out, chunk);
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

// A lossless WebP in the extended layout, with an ICCP chunk.
Bytes WebpWithProfile(const cv::Mat& picture, const Bytes& profile) {
  const Bytes webp = Encode(".webp", picture);
  Bytes chunks;
  Append(chunks, "VP8X");
  PutLe32(chunks, 10);
  chunks.insert(chunks.end(), {0x20, 0, 0, 0});
  for (int side : {picture.cols - 1, picture.rows - 1})
    chunks.insert(chunks.end(), {std::uint8_t(side), std::uint8_t(side >> 8), std::uint8_t(side >> 16)});
  Append(chunks, "ICCP");
  PutLe32(chunks, std::uint32_t(profile.size()));
  Append(chunks, profile);
  if (profile.size() % 2) chunks.push_back(0);
  chunks.insert(chunks.end(), webp.begin() + 12, webp.end());
  Bytes out;
  Append(out, "RIFF");
  PutLe32(out, std::uint32_t(4 + chunks.size()));
  Append(out, "WEBP");
  Append(out, chunks);
  return out;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteTiffWithProfile(const fs::path& path, const cv::Mat& bgr, const Bytes& profile) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, bgr.cols);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, bgr.rows);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ICCPROFILE, std::uint32_t(profile.size()), profile.data());
  cv::Mat rgb;
  cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
  for (int y = 0; y < rgb.rows; ++y) TIFFWriteScanline(tiff, rgb.ptr(y), std::uint32_t(y));
  TIFFClose(tiff);
}

const cv::Vec3b kColour(40, 60, 200);

std::vector<int> Numbers(int count) {
  std::vector<int> numbers;
  for (int n = 1; n <= count; ++n) numbers.push_back(n);
  return numbers;
}  // blue, green, red

TEST(ColourProfiles, PhotosWithAProfileComeInAsSrgb) {
  const fs::path dir = test::FreshFolder("colour_profiles");
  const cv::Mat flat(24, 32, CV_8UC3, cv::Scalar(kColour[0], kColour[1], kColour[2]));
  const cv::Mat grey(24, 32, CV_8UC1, cv::Scalar(128));
  const Bytes adobe = test::AdobeRgbProfile();
  const cv::Vec3d fromAdobe = test::AdobeToSrgb(kColour);
  const cv::Vec3d unchanged(kColour[0], kColour[1], kColour[2]);
  // Linear grey 128/255 in sRGB's curve.
  const double linearGrey = 255.0 * (1.055 * std::pow(128.0 / 255.0, 1 / 2.4) - 0.055);
  Bytes lab = SavedProfile(cmsCreateLab4Profile(nullptr));
  Bytes garbage(600);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = std::uint8_t(i * 37 + 11);
  WriteTiffWithProfile(dir / "adobe.tif", flat, adobe);

  struct Case {
    const char* name;
    Bytes file;
    cv::Vec3d expected;
    const char* warning;  // "" for none
  };
  const Case cases[] = {
      {"jpeg", JpegWithProfile(flat, adobe, {1}, 1), fromAdobe, ""},
      {"jpeg in three parts out of order", JpegWithProfile(flat, adobe, {2, 1, 3}, 3), fromAdobe, ""},
      {"png", PngWithCompressedProfile(flat, Compress(adobe)), fromAdobe, ""},
      {"webp", WebpWithProfile(flat, adobe), fromAdobe, ""},
      {"png with sRGB", PngWithCompressedProfile(flat, Compress(SrgbIccProfile())), unchanged, ""},
      {"grey png, linear grey", PngWithCompressedProfile(grey, Compress(LinearGreyProfile())),
       {linearGrey, linearGrey, linearGrey}, ""},
      {"no profile", Encode(".png", flat), unchanged, ""},
      {"jpeg with a part missing", JpegWithProfile(flat, adobe, {1}, 2), unchanged, "missing some of its parts"},
      {"png with a damaged profile", PngWithCompressedProfile(flat, Compress(garbage)), unchanged, "damaged"},
      {"png with a profile of 8 MB", PngWithCompressedProfile(flat, Compress(Bytes(8 << 20, 0))), unchanged,
       "damaged or too large"},
      {"jpeg with a profile of 5 MB", JpegWithProfile(flat, Bytes(5 << 20, 7), Numbers(100), 100), unchanged,
       "too large"},
      {"png with a Lab profile", PngWithCompressedProfile(flat, Compress(lab)), unchanged, "not for RGB or grey"},
      {"colour png with a grey profile", PngWithCompressedProfile(flat, Compress(LinearGreyProfile())), unchanged,
       "for grey pictures"},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / "photo";
    WriteBytes(path, c.file);
    const ImageLoadResult loaded = LoadImageFile(path, ImageLoadOptions{});
    ASSERT_FALSE(loaded.image.empty()) << c.name << ": " << loaded.failure;
    const cv::Vec3b seen = loaded.image.at<cv::Vec3b>(12, 16);
    for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(seen[ch], c.expected[ch], 3) << c.name << " channel " << ch;
    if (*c.warning) {
      ASSERT_EQ(loaded.warnings.size(), 1u) << c.name;
      EXPECT_NE(loaded.warnings[0].find(c.warning), std::string::npos) << c.name << ": " << loaded.warnings[0];
      EXPECT_NE(loaded.warnings[0].find("taken as sRGB"), std::string::npos) << c.name;
    } else {
      EXPECT_TRUE(loaded.warnings.empty()) << c.name << ": " << loaded.warnings.front();
    }
  }
  const cv::Mat tiff = LoadImageFile(dir / "adobe.tif");
  ASSERT_FALSE(tiff.empty());
  for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(tiff.at<cv::Vec3b>(12, 16)[ch], fromAdobe[ch], 2) << "tiff " << ch;
}

TEST(ColourProfiles, AlphaIsKeptAndThreadsChangeNothing) {
  const fs::path dir = test::FreshFolder("colour_profile_threads");
  cv::Mat picture(203, 301, CV_8UC4);
  cv::randu(picture, 0, 256);
  WriteBytes(dir / "alpha.png", PngWithCompressedProfile(picture, Compress(test::AdobeRgbProfile())));
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  const cv::Mat one = LoadImageFile(dir / "alpha.png", nullptr, nullptr, true);
  cv::setNumThreads(threads);
  const cv::Mat many = LoadImageFile(dir / "alpha.png", nullptr, nullptr, true);
  ASSERT_EQ(one.type(), CV_8UC4);
  EXPECT_EQ(cv::norm(one, many, cv::NORM_INF), 0);
  cv::Mat alpha, original;
  cv::extractChannel(one, alpha, 3);
  cv::extractChannel(picture, original, 3);
  EXPECT_EQ(cv::norm(alpha, original, cv::NORM_INF), 0);
  EXPECT_GT(cv::norm(one, picture, cv::NORM_INF), 0) << "the colours were converted";
}

}  // namespace
}  // namespace grinsnap
