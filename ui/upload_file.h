#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

namespace grinsnap {

// The longest side of an uploaded picture; larger pictures are shrunk.
inline constexpr int kUploadMaxSide = 800;

// The size a picture of width x height is uploaded at: scaled by
// min(800 / width, 800 / height), never enlarged, each side rounded.
cv::Size UploadSize(int width, int height);

// "tmp_upload.jpg" in the application-data folder.
std::filesystem::path UploadFilePath();

// Writes the picture to upload as a JPEG: shrunk to UploadSize, the
// watermark text drawn along its bottom left in half-transparent white
// ("Arial Black", max(height / 15, 20) pixels, shrunk to fit the width),
// top at height - 1.5 x size. False when the picture is empty or the file
// cannot be written.
bool MakeUploadFile(const cv::Mat& picture, const std::string& watermark, const std::filesystem::path& target);

}  // namespace grinsnap
