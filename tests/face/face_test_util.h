#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

#include "test_support/test_support.h"

namespace grinsnap::test {

// The face cascade in the data folder the build lays out.
inline std::filesystem::path BuiltCascade() {
  return std::filesystem::path(GRINSNAP_BUILT_DATA_DIR) / "media/Configurations/haarcascade_frontalface_alt2.xml";
}

// A temporary file that collects what is written to it.
class CapturedStream {
public:
  CapturedStream() : file_(std::tmpfile()) {}
  ~CapturedStream() {
    if (file_) std::fclose(file_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* File() const { return file_; }
  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    return text;
  }

private:
  std::FILE* file_;
};

// The astronaut's head, 200 x 230: the face fills about half of it.
inline cv::Mat AstronautHead() { return SamplePhoto("astronaut.png")(cv::Rect(124, 10, 200, 230)).clone(); }

}  // namespace grinsnap::test
