#include <fstream>

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "filters/gif_writer.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Quantised(const cv::Mat& frame) {
  std::vector<std::uint8_t> indices(frame.total());
  std::vector<float> rows;
  QuantiseToGifPalette(frame, indices.data(), rows);
  return indices;
}

cv::Mat Rgb(int width, int height, int r, int g, int b) { return test::Flat(width, height, cv::Vec3b(b, g, r)); }

// A decoded file: its frames composed as a viewer shows them, and what the
// decoder saw along the way.
struct Decoded {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<std::vector<std::uint8_t>> shown;  // palette indices per frame
  int loopExtensions = 0;
  int loopExtensionFrame = -1;
  int controlExtensions = 0;
  std::vector<std::uint8_t> palette;
};

Decoded Decode(const fs::path& path) {
  Decoded d;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) return d;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return d;
  }
  d.width = gif->SWidth;
  d.height = gif->SHeight;
  if (gif->SColorMap)
    for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
      const GifColorType c = gif->SColorMap->Colors[i];
      d.palette.insert(d.palette.end(), {c.Red, c.Green, c.Blue});
    }
  std::vector<std::uint8_t> canvas(static_cast<std::size_t>(d.width) * d.height, 0);
  for (int f = 0; f < gif->ImageCount; ++f) {
    const SavedImage& image = gif->SavedImages[f];
    int transparent = -1;
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
          std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
        ++d.loopExtensions;
        d.loopExtensionFrame = f;
      }
      if (block.Function == GRAPHICS_EXT_FUNC_CODE) {
        ++d.controlExtensions;
        GraphicsControlBlock gcb;
        DGifExtensionToGCB(block.ByteCount, block.Bytes, &gcb);
        transparent = gcb.TransparentColor;
      }
    }
    const GifImageDesc& desc = image.ImageDesc;
    for (int y = 0; y < desc.Height; ++y)
      for (int x = 0; x < desc.Width; ++x) {
        const std::uint8_t v = image.RasterBits[y * desc.Width + x];
        if (v != transparent) canvas[static_cast<std::size_t>(desc.Top + y) * d.width + desc.Left + x] = v;
      }
    d.shown.push_back(canvas);
  }
  DGifCloseFile(gif, &error);
  d.ok = true;
  return d;
}

std::vector<cv::Mat> TurningFrames(int count, cv::Size size) {
  // A photo-like picture with a moving disc, so frames differ in part.
  cv::Mat base = test::SamplePhoto("chelsea.png");
  cv::resize(base, base, size);
  std::vector<cv::Mat> frames;
  for (int i = 0; i < count; ++i) {
    cv::Mat f = base.clone();
    cv::circle(f, {size.width / 4 + i * 3, size.height / 2}, size.height / 6, cv::Scalar(40, 200, 250), -1);
    frames.push_back(f);
  }
  return frames;
}

bool Write(const fs::path& path, const std::vector<cv::Mat>& frames, GifWriterOptions options = {}) {
  GifAnimationWriter writer(options);
  if (!writer.CreatePalette() || !writer.Open(path, frames[0].cols, frames[0].rows)) return false;
  for (const cv::Mat& f : frames)
    if (!writer.WriteFrame(f)) return false;
  return writer.Close();
}

TEST(GifPalette, LevelsOf51WithRedSlowestAndBlackBeyond215) {
  const auto table = GifPaletteTable();
  struct Case {
    int entry, r, g, b;
  } cases[] = {{0, 0, 0, 0}, {1, 0, 0, 51}, {6, 0, 51, 0}, {36, 51, 0, 0}, {51, 51, 102, 153},
               {215, 255, 255, 255}, {216, 0, 0, 0}, {255, 0, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(table[3 * c.entry], c.r) << c.entry;
    EXPECT_EQ(table[3 * c.entry + 1], c.g) << c.entry;
    EXPECT_EQ(table[3 * c.entry + 2], c.b) << c.entry;
  }
}

TEST(GifQuantiser, HandWorkedIndices) {
  // (100, 150, 200) quantises to index 51 with errors 49, 48, 47 (r, g, b);
  // 7/16 of them lift the next pixel to (121.4, 171, 220.6): index 94.
  // Grey 35 (error 35) tells clamped neighbours from dropped ones: with the
  // edge clamped, the second pixel of one row gets 8/16 (52.5, index 43),
  // and the second of one column gets 3/16 + 5/16 + 1/16 (54.7, index 43);
  // with the shares dropped both would stay below 51 (index 0).
  struct Case {
    const char* name;
    cv::Mat frame;
    std::vector<std::uint8_t> expected;
  } cases[] = {
      {"single pixel", Rgb(1, 1, 100, 150, 200), {51}},
      {"error to the right", Rgb(2, 2, 100, 150, 200), {51, 94, 94, 94}},
      {"bottom row keeps its shares", Rgb(2, 1, 35, 35, 35), {0, 43}},
      {"right column keeps its shares", Rgb(1, 2, 35, 35, 35), {0, 43}},
      {"white", Rgb(3, 3, 255, 255, 255), std::vector<std::uint8_t>(9, 215)},
      {"black", Rgb(3, 3, 0, 0, 0), std::vector<std::uint8_t>(9, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(Quantised(c.frame), c.expected) << c.name;
}

// The diffusion as plainly written: a float copy of the whole frame, pixels
// in reading order, neighbours outside the frame clamped to its edge.
std::vector<std::uint8_t> PlainQuantised(const cv::Mat& frame) {
  cv::Mat copy;
  frame.convertTo(copy, CV_32FC3);
  std::vector<std::uint8_t> indices(frame.total());
  const int w = frame.cols, h = frame.rows;
  const auto at = [&](int x, int y) -> cv::Vec3f& {
    return copy.at<cv::Vec3f>(std::clamp(y, 0, h - 1), std::clamp(x, 0, w - 1));
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int index = 0;
      for (int k = 0; k < 3; ++k) {
        const float c = at(x, y)[k];
        const int q = std::min(static_cast<int>(c / 51.0f), 5);
        index += q * (k == 0 ? 1 : k == 1 ? 6 : 36);
        const float e = c - 51.0f * q;
        at(x + 1, y)[k] += e * (7.0f / 16);
        at(x - 1, y + 1)[k] += e * (3.0f / 16);
        at(x, y + 1)[k] += e * (5.0f / 16);
        at(x + 1, y + 1)[k] += e * (1.0f / 16);
      }
      indices[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(index);
    }
  return indices;
}

TEST(GifQuantiser, SameIndicesAsThePlainDiffusionOnPhotosOfAnyShape) {
  const cv::Mat photo = test::SamplePhoto("coffee.png");
  for (const cv::Size size : {cv::Size(97, 61), cv::Size(1, 9), cv::Size(9, 1), cv::Size(2, 3), cv::Size(320, 7)}) {
    cv::Mat frame;
    cv::resize(photo, frame, size, 0, 0, cv::INTER_AREA);
    EXPECT_EQ(Quantised(frame), PlainQuantised(frame)) << size;
  }
}

TEST(GifQuantiser, DitheringKeepsTheMeanColourAndStaysInThePalette) {
  const auto table = GifPaletteTable();
  const cv::Mat photo = test::SamplePhoto("chelsea.png");
  // Flat patches, and a bright patch whose errors pile up on the bottom row.
  for (const cv::Mat& frame : {Rgb(64, 64, 100, 150, 200), Rgb(64, 64, 254, 254, 254), Rgb(64, 64, 20, 240, 130)}) {
    const std::vector<std::uint8_t> indices = Quantised(frame);
    cv::Vec3d sum(0, 0, 0);
    for (std::uint8_t i : indices) {
      ASSERT_LT(i, kGifUsedColours);
      sum += cv::Vec3d(table[3 * i + 2], table[3 * i + 1], table[3 * i]);
    }
    const cv::Vec3b colour = frame.at<cv::Vec3b>(0, 0);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(sum[k] / indices.size(), colour[k], 1.5) << k;
  }
}

TEST(GifWriter, FramesDecodeBackToTheQuantisedPicturesWithOneLoopExtension) {
  const fs::path path = test::FreshFolder("gif_whole") / "turn.gif";
  const std::vector<cv::Mat> frames = TurningFrames(4, {40, 30});
  ASSERT_TRUE(Write(path, frames));
  const Decoded d = Decode(path);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 40);
  EXPECT_EQ(d.height, 30);
  const auto table = GifPaletteTable();
  EXPECT_EQ(d.palette, std::vector<std::uint8_t>(table.begin(), table.end()));
  EXPECT_EQ(d.loopExtensions, 1);
  EXPECT_EQ(d.loopExtensionFrame, 0);
  EXPECT_EQ(d.controlExtensions, 0);
  ASSERT_EQ(d.shown.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(d.shown[i], Quantised(frames[i])) << i;

  // Header: version 89a, global table, colour resolution 8, 256 entries; background 0;
  // the loop block right after the table: sub-block 1, repeat forever.
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 13u + 768u + 19u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(bytes[10], 0xF7);
  EXPECT_EQ(bytes[11], 0);
  const std::vector<unsigned char> loop(bytes.begin() + 13 + 768, bytes.begin() + 13 + 768 + 19);
  const std::vector<unsigned char> expected = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                               'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
  EXPECT_EQ(loop, expected);
}

TEST(GifWriter, SmallerFileModeShowsTheSameFramesInLessSpace) {
  const fs::path folder = test::FreshFolder("gif_changed");
  const std::vector<cv::Mat> frames = TurningFrames(6, {120, 90});
  ASSERT_TRUE(Write(folder / "whole.gif", frames));
  ASSERT_TRUE(Write(folder / "changed.gif", frames, {.mode = GifFrameMode::ChangedRectangle, .delayCentiseconds = 7}));
  const Decoded d = Decode(folder / "changed.gif");
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.loopExtensions, 1);
  EXPECT_EQ(d.controlExtensions, static_cast<int>(frames.size()));
  ASSERT_EQ(d.shown.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(d.shown[i], Quantised(frames[i])) << i;
  EXPECT_LT(fs::file_size(folder / "changed.gif"), fs::file_size(folder / "whole.gif"));
}

TEST(GifWriter, FailuresLeaveNothingUnderTheFinalName) {
  const fs::path folder = test::FreshFolder("gif_fail");
  const cv::Mat frame = Rgb(8, 6, 10, 20, 30);
  struct Case {
    const char* name;
    fs::path target;
    cv::Mat badFrame;  // written after one good frame; empty: writer dropped unclosed
  } cases[] = {
      {"frame of another size", folder / "size.gif", Rgb(9, 6, 0, 0, 0)},
      {"grey frame", folder / "grey.gif", cv::Mat(6, 8, CV_8UC1, cv::Scalar(0))},
      {"dropped before Close", folder / "dropped.gif", cv::Mat()},
  };
  for (const Case& c : cases) {
    {
      std::ofstream(c.target) << "old";
      GifAnimationWriter writer;
      ASSERT_TRUE(writer.CreatePalette());
      ASSERT_TRUE(writer.Open(c.target, 8, 6)) << c.name;
      ASSERT_TRUE(writer.WriteFrame(frame)) << c.name;
      if (!c.badFrame.empty()) {
        EXPECT_FALSE(writer.WriteFrame(c.badFrame)) << c.name;
        EXPECT_FALSE(writer.Error().empty()) << c.name;
        EXPECT_FALSE(writer.Close()) << c.name;
      }
    }
    std::ifstream in(c.target);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "old") << c.name;
    EXPECT_FALSE(fs::exists(GifAnimationWriter::TemporaryPath(c.target))) << c.name;
  }

  GifAnimationWriter writer;
  EXPECT_FALSE(writer.Open(folder / "x.gif", 8, 6)) << "no palette";
  ASSERT_TRUE(writer.CreatePalette());
  EXPECT_FALSE(writer.Open(folder / "missing" / "x.gif", 8, 6));
  EXPECT_NE(writer.Error().find("cannot create"), std::string::npos) << writer.Error();
  EXPECT_FALSE(writer.Open(folder / "x.gif", 0, 6));
  EXPECT_FALSE(fs::exists(folder / "x.gif"));
}

}  // namespace
}  // namespace grinsnap
