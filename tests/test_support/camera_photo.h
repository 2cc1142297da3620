#pragma once

// Test photos like a camera's, made at run time: the EXIF, IPTC and XMP a
// camera and a photo manager write, written by exiv2.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "test_support/colour_test.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace grinsnap::test {

inline constexpr const char* kCameraCaptureDate = "2021:07:14 18:03:52";

// The encoded picture with a camera's metadata: maker and model, capture
// date, GPS position, orientation, colour space "uncalibrated" (as cameras
// mark Adobe RGB), a thumbnail, IPTC keywords and city, an XMP rating and
// subject; and the profile, when given.
inline std::string WithCameraMetadata(const std::vector<std::uint8_t>& encoded, const std::vector<std::uint8_t>& profile,
                                      int orientation, const cv::Size& stored) {
  Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(encoded.data(), long(encoded.size()));
  image->readMetadata();
  Exiv2::ExifData exif;
  exif["Exif.Image.Make"] = "Canon";
  exif["Exif.Image.Model"] = "Canon EOS 5D Mark IV";
  exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
  exif["Exif.Photo.DateTimeOriginal"] = kCameraCaptureDate;
  exif["Exif.Photo.ExifVersion"] = "48 50 51 48";
  exif["Exif.Photo.PixelXDimension"] = std::uint32_t(stored.width);
  exif["Exif.Photo.PixelYDimension"] = std::uint32_t(stored.height);
  exif["Exif.Photo.ColorSpace"] = std::uint16_t(0xFFFF);
  exif["Exif.Iop.InteroperabilityIndex"] = "R03";
  exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
  exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 2400/100";
  exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
  exif["Exif.GPSInfo.GPSLongitude"] = "2/1 17/1 4000/100";
  std::vector<std::uint8_t> thumbnail;
  cv::imencode(".jpg", cv::Mat(12, 16, CV_8UC3, cv::Scalar(90, 80, 70)), thumbnail);
  Exiv2::ExifThumb(exif).setJpegThumbnail(thumbnail.data(), long(thumbnail.size()));
  image->setExifData(exif);
  Exiv2::IptcData iptc;
  iptc["Iptc.Application2.Keywords"] = "rocket";
  iptc["Iptc.Application2.City"] = "Paris";
  image->setIptcData(iptc);
  Exiv2::XmpData xmp;
  xmp["Xmp.xmp.Rating"] = "4";
  xmp["Xmp.dc.subject"] = "launch";
  image->setXmpData(xmp);
  if (!profile.empty()) {
    Exiv2::DataBuf buffer(profile.data(), long(profile.size()));
    image->setIccProfile(buffer, true);
  }
  image->writeMetadata();
  Exiv2::BasicIo& io = image->io();
  io.seek(0, Exiv2::BasicIo::beg);
  const Exiv2::DataBuf written = io.read(long(io.size()));
  return std::string(reinterpret_cast<const char*>(written.pData_), std::size_t(written.size_));
}

// The metadata of encoded picture bytes, as exiv2 reads them.
inline Exiv2::Image::AutoPtr ReadBackMetadata(const std::string& bytes) {
  Exiv2::Image::AutoPtr image =
      Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.data()), long(bytes.size()));
  image->readMetadata();
  return image;
}

}  // namespace grinsnap::test

#pragma GCC diagnostic pop
