#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gif_lib.h>
#include <opencv2/core.hpp>

namespace grinsnap {

// Every frame of an animation is mapped to one fixed palette: entry
// 36 r + 6 g + b (r, g, b from 0 to 5) is (51 r, 51 g, 51 b), red varying
// slowest; entries 216 to 255 are black.
inline constexpr int kGifPaletteSize = 256;
inline constexpr int kGifColourLevels = 6;
inline constexpr int kGifLevelStep = 51;
inline constexpr int kGifUsedColours = kGifColourLevels * kGifColourLevels * kGifColourLevels;  // 216

// The 768 bytes of the palette, (red, green, blue) per entry.
std::array<std::uint8_t, 3 * kGifPaletteSize> GifPaletteTable();

// Maps an 8-bit BGR frame to palette indices with error diffusion: each
// channel is cut to its level truncate(c / 51), the index is
// blue + 6 green + 36 red, and the (never negative) remainder goes to the
// neighbours with the Floyd-Steinberg weights 7/16 right, 3/16 below left,
// 5/16 below and 1/16 below right. A neighbour outside the frame is the
// nearest edge pixel instead, so at the right edge the 7/16 share lands on
// the pixel itself and on the bottom row the shares stay in the row.
// indices holds frame.cols x frame.rows bytes, row after row. rows is two
// rows of floats kept between calls so that frames allocate nothing.
void QuantiseToGifPalette(const cv::Mat& frame, std::uint8_t* indices, std::vector<float>& rows);

// How frames go into the file.
enum class GifFrameMode {
  // Every frame whole, without a graphic control extension: no delay, no
  // disposal, no transparency; the viewer's default frame timing applies.
  Whole,
  // From the second frame on only the rectangle that changed, with the
  // pixels that did not change made transparent, over the frame before it
  // (disposal "leave in place"); every frame carries the delay.
  ChangedRectangle,
};

struct GifWriterOptions {
  GifFrameMode mode = GifFrameMode::Whole;
  // Hundredths of a second per frame (ChangedRectangle only).
  int delayCentiseconds = 4;
};

// The transparent index of the changed-rectangle mode: the first of the
// black entries no frame pixel maps to.
inline constexpr std::uint8_t kGifTransparentIndex = kGifUsedColours;

// Writes a looping animated GIF, one frame after another, all of one size.
// Frames are compressed on a thread of the writer's own while the caller
// prepares the next one; a frame that fails to be written makes the next
// WriteFrame or Close fail.
// The file is written under a temporary name beside the target and takes
// the target's name only when Close succeeds; a writer given up on (an
// error, or destroyed unclosed) removes its temporary file, so a failed
// export never leaves a partial file under the final name.
class GifAnimationWriter {
public:
  explicit GifAnimationWriter(GifWriterOptions options = {});
  ~GifAnimationWriter();
  GifAnimationWriter(const GifAnimationWriter&) = delete;
  GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

  // Builds the giflib colour map of the palette.
  bool CreatePalette();
  // Opens the temporary file and writes the "89a" header and the screen
  // descriptor (256 colours, background 0, the palette as the global table).
  // CreatePalette must have succeeded.
  bool Open(const std::filesystem::path& target, int width, int height);
  // Appends a frame: 8-bit BGR of exactly the opened size. The first frame
  // is preceded by the one NETSCAPE2.0 extension that makes it loop forever.
  bool WriteFrame(const cv::Mat& frame);
  // Finishes the file and moves it onto the target.
  bool Close();
  // Closes and removes the temporary file; the target stays as it was.
  void Abandon();

  bool IsOpen() const { return file_ != nullptr; }
  int FramesWritten() const { return frames_; }
  // What went wrong last, for the user.
  const std::string& Error() const { return error_; }
  // The temporary file of a target.
  static std::filesystem::path TemporaryPath(const std::filesystem::path& target);

private:
  // One frame for the encoder thread: palette indices of a rectangle.
  struct FrameJob {
    int number = 0;
    bool loop = false;     // the loop extension goes first
    bool control = false;  // a graphic control extension goes first
    GraphicsControlBlock controlBlock{};
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
  };

  bool Fail(const std::string& what, int giflibError);
  bool WriteLoopExtension();
  void PrepareChanged();
  void ReleasePalette();
  // The encoder thread compresses one frame while the caller renders and
  // quantises the next; giflib's file is touched by one thread at a time.
  void EncoderLoop();
  bool Encode(const FrameJob& job);
  // Waits for the encoder to take the pending frame; false when an earlier
  // frame failed.
  bool HandToEncoder();
  bool WaitForEncoder();
  void StopEncoder();
  bool EncoderFailure();

  GifWriterOptions options_;
  bool firstFrame_ = true;
  int width_ = 0;
  int height_ = 0;
  int frames_ = 0;
  GifFileType* file_ = nullptr;
  ColorMapObject* palette_ = nullptr;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::string error_;
  std::vector<std::uint8_t> indices_;
  std::vector<std::uint8_t> previous_;  // what the viewer shows (changed-rectangle mode)
  std::vector<float> rows_;

  std::thread encoder_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  FrameJob job_;      // being encoded (encoder thread)
  FrameJob pending_;  // being prepared (caller thread)
  bool jobReady_ = false;
  bool quit_ = false;
  bool encodeFailed_ = false;
  int failedFrame_ = 0;
  int encodeError_ = 0;
};

}  // namespace grinsnap
