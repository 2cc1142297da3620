#include "filters/gif_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

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
//
// The level is truncate(c / 51) with the quotient rounded to a float, found
// without dividing: it is the number of thresholds t(n), n = 1 to 5, that c
// reaches, where t(n) is the smallest float whose quotient rounds to n or
// more. Channel values are never negative.
struct LevelThresholds {
  float t[kGifColourLevels - 1];
  LevelThresholds() {
    for (int n = 1; n < kGifColourLevels; ++n) {
      float c = static_cast<float>(kGifLevelStep * n);
      // Step down while the float below still divides to n or more.
      for (;;) {
        const float below = std::nextafter(c, 0.0f);
        if (below / static_cast<float>(kGifLevelStep) < static_cast<float>(n)) break;
        c = below;
      }
      while (c / static_cast<float>(kGifLevelStep) < static_cast<float>(n)) c = std::nextafter(c, 1e9f);
      t[n - 1] = c;
    }
  }
};
const LevelThresholds kLevels;

inline int Level(float c) {
  return (c >= kLevels.t[0]) + (c >= kLevels.t[1]) + (c >= kLevels.t[2]) + (c >= kLevels.t[3]) +
         (c >= kLevels.t[4]);
}

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

namespace {

// Quantises pixel x of a row whose floats are cur and passes its error on;
// below is the row under it (cur itself on the bottom row).
inline void QuantisePixel(float* cur, float* below, int x, int w, std::uint8_t* out) {
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

// Rows quantised together. Pixel x of a row needs the pixels up to x + 1
// of the row above done, so each row runs two pixels behind the one above:
// every float gathers the same additions in the same order as when the
// rows run one after another, and the rows' independent chains of
// additions keep the processor busy.
constexpr int kRowsInFlight = 4;

}  // namespace

void QuantiseToGifPalette(const cv::Mat& frame, std::uint8_t* indices, std::vector<float>& rows) {
  CV_Assert(frame.type() == CV_8UC3);
  const int w = frame.cols;
  const int h = frame.rows;
  if (w <= 0 || h <= 0) return;
  // Only the rows being quantised and the one below them receive errors, so
  // a few rows of floats stand for the float copy of the whole frame: each
  // value starts as its pixel and gathers the errors of its neighbours.
  const int n = 3 * w;
  constexpr int kSlots = kRowsInFlight + 1;
  rows.resize(static_cast<std::size_t>(kSlots) * n);
  const auto slot = [&](int y) { return rows.data() + static_cast<std::size_t>(y % kSlots) * n; };
  LoadRow(frame.ptr<std::uint8_t>(0), slot(0), n);
  for (int y0 = 0; y0 < h; y0 += kRowsInFlight) {
    const int count = std::min(kRowsInFlight, h - y0);
    for (int j = 1; j <= count && y0 + j < h; ++j) LoadRow(frame.ptr<std::uint8_t>(y0 + j), slot(y0 + j), n);
    float* cur[kRowsInFlight];
    float* below[kRowsInFlight];
    std::uint8_t* out[kRowsInFlight];
    for (int j = 0; j < count; ++j) {
      const int y = y0 + j;
      cur[j] = slot(y);
      // On the bottom row the shares meant for the row below stay in this one.
      below[j] = y == h - 1 ? cur[j] : slot(y + 1);
      out[j] = indices + static_cast<std::size_t>(y) * w;
    }
    const int steps = w + 2 * (count - 1);
    for (int t = 0; t < steps; ++t)
      for (int j = 0; j < count; ++j) {
        const int x = t - 2 * j;
        if (x >= 0 && x < w) QuantisePixel(cur[j], below[j], x, w, out[j]);
      }
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
  // Opened here rather than by giflib, which would make the file readable by
  // its owner only; the umask decides as for any other saved picture.
  const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Fail("cannot create '" + temporary_.string() + "': " + std::strerror(errno), 0);
  file_ = EGifOpenFileHandle(fd, &error);
  if (!file_) {
    ::close(fd);
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    return Fail("cannot create '" + temporary_.string() + "'", error);
  }
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
  jobReady_ = quit_ = encodeFailed_ = false;
  encoder_ = std::thread(&GifAnimationWriter::EncoderLoop, this);
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

bool GifAnimationWriter::Encode(const FrameJob& job) {
  if (job.loop && !WriteLoopExtension()) return false;
  if (job.control) {
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&job.controlBlock, extension);
    if (EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_ERROR)
      return false;
  }
  if (EGifPutImageDesc(file_, job.left, job.top, job.width, job.height, false, nullptr) == GIF_ERROR) return false;
  // The whole frame (or rectangle) in one call.
  return EGifPutLine(file_, const_cast<std::uint8_t*>(job.pixels.data()), job.width * job.height) != GIF_ERROR;
}

void GifAnimationWriter::EncoderLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return jobReady_ || quit_; });
    if (!jobReady_) return;
    lock.unlock();
    const bool ok = Encode(job_);
    lock.lock();
    if (!ok && !encodeFailed_) {
      encodeFailed_ = true;
      failedFrame_ = job_.number;
      encodeError_ = file_->Error;
    }
    jobReady_ = false;
    done_.notify_all();
  }
}

bool GifAnimationWriter::HandToEncoder() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !jobReady_; });
  if (encodeFailed_) return false;
  std::swap(job_, pending_);
  jobReady_ = true;
  wake_.notify_all();
  return true;
}

bool GifAnimationWriter::WaitForEncoder() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !jobReady_; });
  return !encodeFailed_;
}

void GifAnimationWriter::StopEncoder() {
  if (!encoder_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  encoder_.join();
}

bool GifAnimationWriter::EncoderFailure() {
  return Fail("cannot write GIF frame " + std::to_string(failedFrame_ + 1), encodeError_);
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
  // The frame is quantised here while the one before it is still being
  // compressed on the encoder thread.
  QuantiseToGifPalette(frame, indices_.data(), rows_);
  pending_.number = frames_;
  pending_.loop = firstFrame_;
  firstFrame_ = false;
  if (options_.mode == GifFrameMode::ChangedRectangle) {
    PrepareChanged();
  } else {
    pending_.control = false;
    pending_.left = pending_.top = 0;
    pending_.width = width_;
    pending_.height = height_;
    pending_.pixels.swap(indices_);
    indices_.resize(static_cast<std::size_t>(width_) * height_);
  }
  if (!HandToEncoder()) return EncoderFailure();
  ++frames_;
  return true;
}

void GifAnimationWriter::PrepareChanged() {
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
  pending_.pixels.resize(static_cast<std::size_t>(rw) * rh);
  for (int y = 0; y < rh; ++y) {
    const std::size_t row = static_cast<std::size_t>(top + y) * w + left;
    const std::uint8_t* now = indices_.data() + row;
    std::uint8_t* shown = previous_.data() + row;
    std::uint8_t* out = pending_.pixels.data() + static_cast<std::size_t>(y) * rw;
    for (int x = 0; x < rw; ++x) {
      // Unchanged pixels let the frame below show through; long runs of
      // the one transparent index also pack well.
      out[x] = (frames_ > 0 && now[x] == shown[x]) ? kGifTransparentIndex : now[x];
      shown[x] = now[x];
    }
  }
  pending_.left = left;
  pending_.top = top;
  pending_.width = rw;
  pending_.height = rh;
  pending_.control = true;
  pending_.controlBlock = GraphicsControlBlock{};
  pending_.controlBlock.DisposalMode = DISPOSE_DO_NOT;
  pending_.controlBlock.UserInputFlag = false;
  pending_.controlBlock.DelayTime = std::max(0, options_.delayCentiseconds);
  pending_.controlBlock.TransparentColor = frames_ > 0 ? kGifTransparentIndex : NO_TRANSPARENT_COLOR;
}

bool GifAnimationWriter::Close() {
  if (!file_) {
    if (error_.empty()) error_ = "the GIF file is not open";
    return false;
  }
  const bool encoded = WaitForEncoder();
  StopEncoder();
  if (!encoded) return EncoderFailure();
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
  StopEncoder();
  if (!file_) return;
  int error = 0;
  EGifCloseFile(file_, &error);
  file_ = nullptr;
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

}  // namespace grinsnap
