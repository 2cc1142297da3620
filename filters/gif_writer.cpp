#include "filters/gif_writer.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include <gif_lib.h>

namespace grinsnap {

namespace {

// The shares of the error, exact in binary so each costs one rounding.
constexpr float kRight = 7.0f / 16.0f;
constexpr float kBelowLeft = 3.0f / 16.0f;
constexpr float kBelow = 5.0f / 16.0f;
constexpr float kBelowRight = 1.0f / 16.0f;

// One channel's level. A channel that gathered errors from several
// neighbours can reach 6 x 51 near the bottom row, where the clamped shares
// pile up; it takes the top level instead of spilling into the next
// channel's part of the index.
inline int Level(float c) { return std::min(static_cast<int>(c / static_cast<float>(kGifLevelStep)), kGifColourLevels - 1); }

void LoadRow(const std::uint8_t* in, float* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = in[i];
}

}  // namespace

std::array<std::uint8_t, 3 * kGifPaletteSize> GifPaletteTable() {
  std::array<std::uint8_t, 3 * kGifPaletteSize> table{};
  for (int r = 0; r < kGifColourLevels; ++r)
    for (int g = 0; g < kGifColourLevels; ++g)
      for (int b = 0; b < kGifColourLevels; ++b) {
        const int entry = 36 * r + 6 * g + b;
        table[3 * entry + 0] = static_cast<std::uint8_t>(kGifLevelStep * r);
        table[3 * entry + 1] = static_cast<std::uint8_t>(kGifLevelStep * g);
        table[3 * entry + 2] = static_cast<std::uint8_t>(kGifLevelStep * b);
      }
  return table;
}

void QuantiseToGifPalette(const cv::Mat& frame, std::uint8_t* indices, std::vector<float>& rows) {
  CV_Assert(frame.type() == CV_8UC3);
  const int w = frame.cols;
  const int h = frame.rows;
  if (w <= 0 || h <= 0) return;
  // Only the row being quantised and the one below receive errors, so two
  // rows of floats stand for the float copy of the whole frame: each value
  // starts as its pixel and gathers the same additions in the same order.
  const int n = 3 * w;
  rows.resize(static_cast<std::size_t>(2 * n));
  float* cur = rows.data();
  float* next = cur + n;
  LoadRow(frame.ptr<std::uint8_t>(0), cur, n);
  // Error diffusion carries from pixel to pixel: the frame runs in order.
  for (int y = 0; y < h; ++y) {
    const bool bottom = y == h - 1;
    if (!bottom) LoadRow(frame.ptr<std::uint8_t>(y + 1), next, n);
    // On the bottom row the shares meant for the row below stay in this one.
    float* below = bottom ? cur : next;
    std::uint8_t* out = indices + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const int left = x > 0 ? x - 1 : 0;
      const int right = x < w - 1 ? x + 1 : w - 1;
      int index = 0;
      for (int k = 0; k < 3; ++k) {
        const float c = cur[3 * x + k];
        const int q = Level(c);
        index += q * (k == 0 ? 1 : k == 1 ? 6 : 36);
        const float e = c - static_cast<float>(kGifLevelStep * q);
        cur[3 * right + k] += e * kRight;
        below[3 * left + k] += e * kBelowLeft;
        below[3 * x + k] += e * kBelow;
        below[3 * right + k] += e * kBelowRight;
      }
      out[x] = static_cast<std::uint8_t>(index);
    }
    std::swap(cur, next);
  }
}

GifAnimationWriter::GifAnimationWriter(GifWriterOptions options) : options_(options) {}

GifAnimationWriter::~GifAnimationWriter() {
  Abandon();
  ReleasePalette();
}

std::filesystem::path GifAnimationWriter::TemporaryPath(const std::filesystem::path& target) {
  std::filesystem::path temporary = target;
  temporary += ".part";
  return temporary;
}

bool GifAnimationWriter::Fail(const std::string& what, int giflibError) {
  error_ = what;
  if (giflibError != 0) {
    const char* reason = GifErrorString(giflibError);
    if (reason) error_ += std::string(": ") + reason;
  }
  Abandon();
  return false;
}

void GifAnimationWriter::ReleasePalette() {
  if (palette_) GifFreeMapObject(palette_);
  palette_ = nullptr;
}

bool GifAnimationWriter::CreatePalette() {
  ReleasePalette();
  const auto table = GifPaletteTable();
  GifColorType colours[kGifPaletteSize];
  for (int i = 0; i < kGifPaletteSize; ++i) colours[i] = {table[3 * i], table[3 * i + 1], table[3 * i + 2]};
  palette_ = GifMakeMapObject(kGifPaletteSize, colours);
  if (!palette_) error_ = "cannot make the GIF palette";
  return palette_ != nullptr;
}

bool GifAnimationWriter::Open(const std::filesystem::path& target, int width, int height) {
  Abandon();
  if (!palette_) return Fail("the GIF palette was not made", 0);
  if (width < 1 || height < 1 || width > 65535 || height > 65535)
    return Fail("a GIF frame must be 1 to 65535 pixels on a side, not " + std::to_string(width) + " x " +
                    std::to_string(height),
                0);
  target_ = target;
  temporary_ = TemporaryPath(target);
  int error = 0;
  file_ = EGifOpenFileName(temporary_.c_str(), false, &error);
  if (!file_) return Fail("cannot create '" + temporary_.string() + "'", error);
  EGifSetGifVersion(file_, true);
  // A colour resolution of 8 bits writes the same header byte as the 256
  // the format's older callers passed (the value is shifted into 3 bits).
  if (EGifPutScreenDesc(file_, width, height, 8, 0, palette_) == GIF_ERROR)
    return Fail("cannot write the GIF screen descriptor", file_->Error);
  width_ = width;
  height_ = height;
  firstFrame_ = true;
  frames_ = 0;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  indices_.resize(pixels);
  if (options_.mode == GifFrameMode::ChangedRectangle) previous_.assign(pixels, 0);
  return true;
}

bool GifAnimationWriter::WriteLoopExtension() {
  static constexpr std::uint8_t kNetscape[11] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  // Sub-block 1, loop count 0: repeat forever.
  static constexpr std::uint8_t kLoop[3] = {1, 0, 0};
  return EGifPutExtensionLeader(file_, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
         EGifPutExtensionBlock(file_, sizeof kNetscape, kNetscape) != GIF_ERROR &&
         EGifPutExtensionBlock(file_, sizeof kLoop, kLoop) != GIF_ERROR &&
         EGifPutExtensionTrailer(file_) != GIF_ERROR;
}

bool GifAnimationWriter::WriteFrame(const cv::Mat& frame) {
  if (!file_) {
    if (error_.empty()) error_ = "the GIF file is not open";
    return false;
  }
  if (frame.type() != CV_8UC3 || frame.cols != width_ || frame.rows != height_)
    return Fail("a GIF frame must be 8-bit colour of " + std::to_string(width_) + " x " + std::to_string(height_) +
                    " pixels",
                0);
  if (firstFrame_ && !WriteLoopExtension()) return Fail("cannot write the GIF loop extension", file_->Error);
  firstFrame_ = false;
  QuantiseToGifPalette(frame, indices_.data(), rows_);
  const bool written = options_.mode == GifFrameMode::ChangedRectangle ? WriteChanged() : WriteWhole();
  if (!written) return Fail("cannot write GIF frame " + std::to_string(frames_ + 1), file_->Error);
  ++frames_;
  return true;
}

bool GifAnimationWriter::WriteWhole() {
  if (EGifPutImageDesc(file_, 0, 0, width_, height_, false, nullptr) == GIF_ERROR) return false;
  // The whole frame in one call.
  return EGifPutLine(file_, indices_.data(), width_ * height_) != GIF_ERROR;
}

bool GifAnimationWriter::WriteChanged() {
  const int w = width_;
  int left = w, right = -1, top = height_, bottom = -1;
  if (frames_ == 0) {
    left = top = 0;
    right = w - 1;
    bottom = height_ - 1;
  } else {
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t* now = indices_.data() + static_cast<std::size_t>(y) * w;
      const std::uint8_t* before = previous_.data() + static_cast<std::size_t>(y) * w;
      if (std::memcmp(now, before, static_cast<std::size_t>(w)) == 0) continue;
      int first = 0;
      while (now[first] == before[first]) ++first;
      int last = w - 1;
      while (now[last] == before[last]) --last;
      left = std::min(left, first);
      right = std::max(right, last);
      top = std::min(top, y);
      bottom = y;
    }
    // A frame that changes nothing still holds its place in the timing.
    if (right < 0) left = right = top = bottom = 0;
  }
  const int rw = right - left + 1;
  const int rh = bottom - top + 1;
  rect_.resize(static_cast<std::size_t>(rw) * rh);
  for (int y = 0; y < rh; ++y) {
    const std::size_t row = static_cast<std::size_t>(top + y) * w + left;
    const std::uint8_t* now = indices_.data() + row;
    std::uint8_t* shown = previous_.data() + row;
    std::uint8_t* out = rect_.data() + static_cast<std::size_t>(y) * rw;
    for (int x = 0; x < rw; ++x) {
      // Unchanged pixels let the frame below show through; long runs of
      // the one transparent index also pack well.
      out[x] = (frames_ > 0 && now[x] == shown[x]) ? kGifTransparentIndex : now[x];
      shown[x] = now[x];
    }
  }
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = std::max(0, options_.delayCentiseconds);
  control.TransparentColor = frames_ > 0 ? kGifTransparentIndex : NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const std::size_t length = EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_ERROR) return false;
  if (EGifPutImageDesc(file_, left, top, rw, rh, false, nullptr) == GIF_ERROR) return false;
  return EGifPutLine(file_, rect_.data(), rw * rh) != GIF_ERROR;
}

bool GifAnimationWriter::Close() {
  if (!file_) {
    if (error_.empty()) error_ = "the GIF file is not open";
    return false;
  }
  int error = 0;
  const bool closed = EGifCloseFile(file_, &error) != GIF_ERROR;
  file_ = nullptr;
  std::error_code ignored;
  if (!closed) {
    std::filesystem::remove(temporary_, ignored);
    error_ = "cannot finish '" + temporary_.string() + "'";
    if (const char* reason = GifErrorString(error)) error_ += std::string(": ") + reason;
    return false;
  }
  std::error_code moved;
  std::filesystem::rename(temporary_, target_, moved);
  if (moved) {
    std::filesystem::remove(temporary_, ignored);
    error_ = "cannot move the animation to '" + target_.string() + "': " + moved.message();
    return false;
  }
  return true;
}

void GifAnimationWriter::Abandon() {
  if (!file_) return;
  int error = 0;
  EGifCloseFile(file_, &error);
  file_ = nullptr;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

}  // namespace grinsnap
