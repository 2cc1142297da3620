#include <fstream>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "app/picture_file.h"
#include "platform/colour_profile.h"
#include "platform/image_loader.h"
#include "test_support/camera_photo.h"
#include "test_support/test_support.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

// An Adobe RGB colour, stored as blue, green, red.
const cv::Vec3b kAdobeColour(40, 60, 200);

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::span<const std::uint8_t> View(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

std::string Tag(const Exiv2::ExifData& exif, const char* key) {
  const auto it = exif.findKey(Exiv2::ExifKey(key));
  return it == exif.end() ? std::string("(none)") : it->toString();
}

void ExpectColour(const cv::Mat& picture, cv::Vec3d expected, double tolerance, const std::string& what) {
  ASSERT_FALSE(picture.empty()) << what;
  const cv::Vec3b seen = picture.at<cv::Vec3b>(picture.rows / 2, picture.cols / 2);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], expected[c], tolerance) << what << " channel " << c;
}

// A camera JPEG stored sideways (orientation 6), 64 x 48, in Adobe RGB.
fs::path CameraPhoto(const fs::path& folder) {
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(kAdobeColour[0], kAdobeColour[1], kAdobeColour[2])), jpeg,
               {cv::IMWRITE_JPEG_QUALITY, 98});
  const fs::path path = folder / "camera.jpg";
  WriteBytes(path, test::WithCameraMetadata(jpeg, test::AdobeRgbProfile(), 6, {64, 48}));
  return path;
}

TEST(PictureMetadata, ACameraPhotoKeepsItsTagsAndColoursInEveryFormat) {
  const fs::path photo = CameraPhoto(test::FreshFolder("camera_round_trip"));
  const cv::Vec3d srgb = test::AdobeToSrgb(kAdobeColour);
  const cv::Mat loaded = LoadImageFile(photo);
  ASSERT_EQ(loaded.size(), cv::Size(48, 64)) << "turned upright";
  ExpectColour(loaded, srgb, 3, "loaded");
  const PhotoMetadataRead read = ReadPhotoMetadata(photo);
  ASSERT_TRUE(read.metadata) << read.problem;

  struct Case {
    PictureFormat format;
    bool iptc;
  };
  for (const Case& c : {Case{PictureFormat::kJpeg, true}, Case{PictureFormat::kPng, true},
                        Case{PictureFormat::kWebp, false}, Case{PictureFormat::kTiff, true}}) {
    const std::string name = "format " + std::to_string(int(c.format));
    PictureWriteOptions options;
    options.source = read.metadata.get();
    options.title = "Lift-off";
    std::string bytes;
    std::vector<std::string> warnings;
    ASSERT_TRUE(EncodePicture(loaded, c.format, options, bytes, &warnings)) << name;
    EXPECT_TRUE(warnings.empty()) << name << ": " << (warnings.empty() ? "" : warnings.front());
    const auto image = test::ReadBackMetadata(bytes);
    const Exiv2::ExifData& exif = image->exifData();
    EXPECT_EQ(Tag(exif, "Exif.Photo.DateTimeOriginal"), test::kCameraCaptureDate) << name;
    EXPECT_EQ(Tag(exif, "Exif.Image.Model"), "Canon EOS 5D Mark IV") << name;
    EXPECT_EQ(Tag(exif, "Exif.GPSInfo.GPSLatitude"), "48/1 51/1 2400/100") << name;
    EXPECT_EQ(Tag(exif, "Exif.Image.Orientation"), "1") << name;
    EXPECT_EQ(Tag(exif, "Exif.Photo.PixelXDimension"), "48") << name;
    EXPECT_EQ(Tag(exif, "Exif.Photo.PixelYDimension"), "64") << name;
    EXPECT_EQ(Tag(exif, "Exif.Photo.ColorSpace"), "1") << name;
    EXPECT_EQ(Tag(exif, "Exif.Image.Software").rfind("Grinsnap ", 0), 0u) << name;
    EXPECT_EQ(Exiv2::ExifThumbC(exif).copy().size_, 0) << name << ": the photo's thumbnail is not the picture's";
    EXPECT_EQ(image->xmpData()["Xmp.xmp.Rating"].toString(), "4") << name;
    if (c.iptc) {
      EXPECT_EQ(image->iptcData()["Iptc.Application2.City"].toString(), "Paris") << name;
    }
    EXPECT_TRUE(IsSrgbProfile(ReadIccProfile(View(bytes)).bytes)) << name;
    // The title reaches the program's own reader; the colours are sRGB and
    // stay so when the picture is loaded again.
    EXPECT_EQ(ReadImageMetadata(View(bytes)).title.value_or("(none)"), "Lift-off") << name;
    const fs::path again = photo.parent_path() / ("again" + std::to_string(int(c.format)));
    WriteBytes(again, bytes);
    ExpectColour(LoadImageFile(again), srgb, 4, name + " loaded again");
  }

  PictureWriteOptions strip;
  strip.source = read.metadata.get();
  strip.strip = true;
  std::string bytes;
  ASSERT_TRUE(EncodePicture(loaded, PictureFormat::kJpeg, strip, bytes));
  const auto stripped = test::ReadBackMetadata(bytes);
  EXPECT_TRUE(stripped->exifData().empty());
  EXPECT_TRUE(stripped->xmpData().empty());
  EXPECT_TRUE(stripped->iptcData().empty());
  EXPECT_NE(stripped->iccProfile()->size_, 0) << "the colours stay described";
}

TEST(PictureMetadata, AProfilelessPngIsUnchangedInColour) {
  const fs::path folder = test::FreshFolder("profileless_png");
  cv::Mat picture(30, 40, CV_8UC3);
  cv::randu(picture, 0, 256);
  std::vector<std::uint8_t> png;
  cv::imencode(".png", picture, png);
  WriteBytes(folder / "plain.png", std::string(png.begin(), png.end()));
  const cv::Mat loaded = LoadImageFile(folder / "plain.png");
  ASSERT_EQ(cv::norm(loaded, picture, cv::NORM_INF), 0);
  std::string bytes;
  ASSERT_TRUE(EncodePicture(loaded, PictureFormat::kPng, {}, bytes));
  const cv::Mat decoded = cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_UNCHANGED);
  EXPECT_EQ(cv::norm(decoded, picture, cv::NORM_INF), 0);
}

TEST(PictureMetadata, AlphaIsKeptByTheFormatsThatStoreIt) {
  cv::Mat picture(8, 8, CV_8UC4, cv::Scalar(10, 20, 30, 128));
  for (const auto& [format, channels] : {std::pair{PictureFormat::kPng, 4}, std::pair{PictureFormat::kWebp, 4},
                                         std::pair{PictureFormat::kTiff, 4}, std::pair{PictureFormat::kJpeg, 3},
                                         std::pair{PictureFormat::kBmp, 3}}) {
    PictureWriteOptions options;
    options.quality = 100;
    std::string bytes;
    ASSERT_TRUE(EncodePicture(picture, format, options, bytes)) << int(format);
    const cv::Mat decoded = cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(decoded.channels(), channels) << int(format);
  }
}

TEST(PictureMetadata, MetadataTooLargeOrDamagedNeverCostsThePicture) {
  const fs::path folder = test::FreshFolder("metadata_too_large");
  // 100 KB of EXIF: more than a JPEG segment holds, fine for a PNG.
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", test::Flat(16, 16, {1, 2, 3}), jpeg);
  auto image = Exiv2::ImageFactory::open(jpeg.data(), long(jpeg.size()));
  image->readMetadata();
  Exiv2::ExifData exif;
  exif["Exif.Image.Make"] = "Big";
  std::vector<std::uint8_t> note(100000, 'x');
  exif["Exif.Photo.UserComment"].setValue(std::string(note.begin(), note.end()));
  // Written as PNG, where it fits, and then carried into a JPEG, where it does not.
  std::vector<std::uint8_t> png;
  cv::imencode(".png", test::Flat(16, 16, {1, 2, 3}), png);
  auto pngImage = Exiv2::ImageFactory::open(png.data(), long(png.size()));
  pngImage->readMetadata();
  pngImage->setExifData(exif);
  pngImage->writeMetadata();
  pngImage->io().seek(0, Exiv2::BasicIo::beg);
  const Exiv2::DataBuf written = pngImage->io().read(long(pngImage->io().size()));
  WriteBytes(folder / "big.png", std::string(reinterpret_cast<const char*>(written.pData_), std::size_t(written.size_)));
  const PhotoMetadataRead read = ReadPhotoMetadata(folder / "big.png");
  ASSERT_TRUE(read.metadata) << read.problem;

  PictureWriteOptions options;
  options.source = read.metadata.get();
  std::string bytes;
  std::vector<std::string> warnings;
  // The tags that do not fit are dropped; the rest and the profile stay.
  ASSERT_TRUE(EncodePicture(test::Flat(16, 16, {1, 2, 3}), PictureFormat::kJpeg, options, bytes, &warnings));
  const auto back = test::ReadBackMetadata(bytes);
  EXPECT_EQ(Tag(back->exifData(), "Exif.Image.Make"), "Big");
  EXPECT_EQ(Tag(back->exifData(), "Exif.Image.Software").rfind("Grinsnap", 0), 0u);
  EXPECT_TRUE(IsSrgbProfile(ReadIccProfile(View(bytes)).bytes));
  EXPECT_EQ(cv::imdecode(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR).size(),
            cv::Size(16, 16));

  // Damaged EXIF in the photo: said, and the pictures go without it.
  std::vector<std::uint8_t> damaged(jpeg.begin(), jpeg.begin() + 2);
  const std::string app1 = std::string("\xFF\xE1\x00\x20" "Exif\0\0" "II*\0", 14) + std::string("\xF0\xFF\xFF\x7F", 4) +
                           std::string(14, '\xEE');
  damaged.insert(damaged.end(), app1.begin(), app1.end());
  damaged.insert(damaged.end(), jpeg.begin() + 2, jpeg.end());
  WriteBytes(folder / "damaged.jpg", std::string(damaged.begin(), damaged.end()));
  const PhotoMetadataRead damagedRead = ReadPhotoMetadata(folder / "damaged.jpg");
  options.source = damagedRead.metadata.get();
  EXPECT_TRUE(EncodePicture(LoadImageFile(folder / "damaged.jpg"), PictureFormat::kJpeg, options, bytes));
}

}  // namespace
}  // namespace grinsnap
