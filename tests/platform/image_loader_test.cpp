#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/folders.h"
#include "platform/image_loader.h"
#include "test_support/test_support.h"

namespace fs = std::filesystem;

namespace grinsnap {
namespace {

using ByteVector = std::vector<std::uint8_t>;
using namespace std::string_literals;

// ---------------------------------------------------------------------------
// File builders: the loader is tested on files made here, byte by byte where
// the encoders cannot write what a case needs.

void Put16(ByteVector& out, std::uint32_t v, bool little) {
  if (little) out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
  else out.insert(out.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
}
void Put32(ByteVector& out, std::uint32_t v, bool little) {
  Put16(out, little ? v & 0xFFFF : v >> 16, little);
  Put16(out, little ? v >> 16 : v & 0xFFFF, little);
}
void PutText(ByteVector& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void WriteFile(const fs::path& path, const ByteVector& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

ByteVector Encode(const std::string& ext, const cv::Mat& image) {
  ByteVector bytes;
  EXPECT_TRUE(cv::imencode(ext, image, bytes, {cv::IMWRITE_JPEG_QUALITY, 95}));
  return bytes;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

ByteVector PngChunk(std::string_view type, const ByteVector& data) {
  ByteVector chunk;
  Put32(chunk, std::uint32_t(data.size()), false);
  PutText(chunk, type);
  chunk.insert(chunk.end(), data.begin(), data.end());
  Put32(chunk, Crc32(chunk.data() + 4, chunk.size() - 4), false);
  return chunk;
}

// An encoded PNG with extra chunks right after IHDR.
ByteVector PngWithChunks(const cv::Mat& image, const std::vector<ByteVector>& chunks) {
  ByteVector png = Encode(".png", image);
  constexpr std::size_t kAfterIhdr = 8 + 12 + 13;
  for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) png.insert(png.begin() + kAfterIhdr, it->begin(), it->end());
  return png;
}

struct TiffField {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  ByteVector value;  // already in the file's byte order
};

TiffField ShortField(std::uint16_t tag, std::uint16_t v, bool little) {
  ByteVector value;
  Put16(value, v, little);
  return {tag, 3, 1, value};
}
TiffField LongField(std::uint16_t tag, std::uint32_t v, bool little) {
  ByteVector value;
  Put32(value, v, little);
  return {tag, 4, 1, value};
}
TiffField AsciiField(std::uint16_t tag, std::string_view text) {
  ByteVector value(text.begin(), text.end());
  value.push_back(0);
  return {tag, 2, std::uint32_t(value.size()), value};
}
// Windows' XP fields: UTF-16LE code units as a BYTE array, NUL-terminated.
TiffField Utf16Field(std::uint16_t tag, const std::vector<std::uint16_t>& units) {
  ByteVector value;
  for (std::uint16_t u : units) Put16(value, u, true);
  Put16(value, 0, true);
  return {tag, 1, std::uint32_t(value.size()), value};
}

// A TIFF structure with one directory; values longer than 4 bytes go after it.
ByteVector BuildTiff(bool little, const std::vector<TiffField>& fields) {
  ByteVector out;
  PutText(out, little ? "II" : "MM");
  Put16(out, 42, little);
  Put32(out, 8, little);
  Put16(out, std::uint32_t(fields.size()), little);
  std::uint32_t extraAt = 8 + 2 + 12 * std::uint32_t(fields.size()) + 4;
  ByteVector extra;
  for (const TiffField& f : fields) {
    Put16(out, f.tag, little);
    Put16(out, f.type, little);
    Put32(out, f.count, little);
    if (f.value.size() <= 4) {
      ByteVector inPlace = f.value;
      inPlace.resize(4, 0);
      out.insert(out.end(), inPlace.begin(), inPlace.end());
    } else {
      Put32(out, extraAt + std::uint32_t(extra.size()), little);
      extra.insert(extra.end(), f.value.begin(), f.value.end());
    }
  }
  Put32(out, 0, little);
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

// An encoded JPEG with an Exif APP1 segment spliced in right after SOI.
ByteVector JpegWithExif(const cv::Mat& image, const ByteVector& tiff) {
  ByteVector jpeg = Encode(".jpg", image);
  ByteVector app1 = {0xFF, 0xE1};
  Put16(app1, std::uint32_t(2 + 6 + tiff.size()), false);
  app1.insert(app1.end(), {'E', 'x', 'i', 'f', 0, 0});
  app1.insert(app1.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
  return jpeg;
}

// The stored pixels of an upright picture under an EXIF orientation, from
// what the tag says about where row 0 and column 0 of the stored picture lie.
cv::Mat StoredFromUpright(const cv::Mat& u, int orientation) {
  const int w = u.cols, h = u.rows;
  const bool swapped = orientation >= 5;
  cv::Mat s(swapped ? w : h, swapped ? h : w, u.type());
  for (int r = 0; r < s.rows; ++r) {
    for (int c = 0; c < s.cols; ++c) {
      int y = r, x = c;
      switch (orientation) {
        case 2: x = w - 1 - c; break;
        case 3: y = h - 1 - r; x = w - 1 - c; break;
        case 4: y = h - 1 - r; break;
        case 5: y = c; x = r; break;
        case 6: y = c; x = w - 1 - r; break;
        case 7: y = h - 1 - c; x = w - 1 - r; break;
        case 8: y = h - 1 - c; x = r; break;
        default: break;
      }
      s.at<cv::Vec3b>(r, c) = u.at<cv::Vec3b>(y, x);
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// The log of failed loads.

fs::path LogFile() { return AppDataFolder() / "log.txt"; }

std::string LogText() {
  std::ifstream in(LogFile(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines appended to the log while f runs.
template <typename F>
std::string LoggedDuring(F f) {
  const std::string before = LogText();
  f();
  const std::string after = LogText();
  EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the log was rewritten, not appended to";
  return after.substr(std::min(before.size(), after.size()));
}

std::string LinePrefix(const fs::path& path) { return "Load Image File\"" + path.string() + "\"failed. error:"; }

// Checks that text is exactly one failure line for path and returns its reason.
std::string ReasonOfOneLine(const std::string& text, const fs::path& path) {
  const std::string prefix = LinePrefix(path);
  EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
  EXPECT_GE(text.size(), prefix.size() + 3) << text;
  if (text.size() < prefix.size() + 3) return {};
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::string reason = text.substr(prefix.size(), text.size() - prefix.size() - 2);
  EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << "more than one line: " << text;
  EXPECT_FALSE(reason.empty());
  return reason;
}

// ---------------------------------------------------------------------------

TEST(ImageLoader, AlphaIsKeptOnlyWhenAsked) {
  const fs::path dir = test::FreshFolder("loader-alpha");
  cv::Mat bgra(4, 6, CV_8UC4, cv::Scalar(10, 20, 30, 255));
  bgra(cv::Rect(0, 0, 3, 4)).setTo(cv::Scalar(200, 100, 50, 0));  // fully transparent half
  bgra(cv::Rect(3, 2, 3, 2)).setTo(cv::Scalar(1, 2, 3, 128));
  const fs::path path = dir / "alpha.png";
  WriteFile(path, Encode(".png", bgra));

  const cv::Mat kept = LoadImageFile(path, nullptr, nullptr, true);
  ASSERT_EQ(kept.type(), CV_8UC4);
  EXPECT_EQ(cv::norm(kept, bgra, cv::NORM_INF), 0);

  const cv::Mat dropped = LoadImageFile(path);
  ASSERT_EQ(dropped.type(), CV_8UC3);
  cv::Mat expected;
  cv::cvtColor(bgra, expected, cv::COLOR_BGRA2BGR);
  EXPECT_EQ(cv::norm(dropped, expected, cv::NORM_INF), 0);

  // An opaque picture stays 3 channels even with the flag.
  const fs::path opaque = dir / "opaque.png";
  WriteFile(opaque, Encode(".png", test::Flat(5, 3, {1, 2, 3})));
  EXPECT_EQ(LoadImageFile(opaque, nullptr, nullptr, true).type(), CV_8UC3);
}

TEST(ImageLoader, GreySixteenBitAndPalettePicturesBecomeEightBitColour) {
  const fs::path dir = test::FreshFolder("loader-formats");
  struct Case {
    const char* name;
    cv::Mat stored;
    cv::Vec3b expected;  // every pixel
  };
  const std::vector<Case> cases = {
      {"grey.png", cv::Mat(3, 4, CV_8UC1, cv::Scalar(77)), {77, 77, 77}},
      {"grey16.png", cv::Mat(3, 4, CV_16UC1, cv::Scalar(257 * 200)), {200, 200, 200}},
      {"colour16.png", cv::Mat(3, 4, CV_16UC3, cv::Scalar(65535, 257 * 100, 0)), {255, 100, 0}},
      {"grey.bmp", cv::Mat(3, 4, CV_8UC1, cv::Scalar(9)), {9, 9, 9}},
      {"colour.bmp", cv::Mat(3, 4, CV_8UC3, cv::Scalar(1, 2, 3)), {1, 2, 3}},
      {"grey.tif", cv::Mat(3, 4, CV_16UC1, cv::Scalar(65535)), {255, 255, 255}},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / c.name;
    WriteFile(path, Encode(path.extension().string(), c.stored));
    const cv::Mat image = LoadImageFile(path);
    ASSERT_EQ(image.type(), CV_8UC3) << c.name;
    EXPECT_EQ(image.size(), c.stored.size()) << c.name;
    const cv::Mat expected(image.size(), CV_8UC3, cv::Scalar(c.expected[0], c.expected[1], c.expected[2]));
    EXPECT_EQ(cv::norm(image, expected, cv::NORM_INF), 0) << c.name;
  }
}

// An 8-bit palette BMP of 3 x 2 pixels, rows bottom-up (the usual layout) or
// top-down (negative height).
ByteVector PaletteBmp(bool bottomUp, const std::vector<std::vector<std::uint8_t>>& rows,
                      const std::vector<cv::Vec3b>& palette) {
  const std::uint32_t width = 3, height = 2, stride = 4;
  const std::uint32_t pixelsAt = 14 + 40 + 4 * std::uint32_t(palette.size());
  ByteVector b;
  PutText(b, "BM");
  Put32(b, pixelsAt + stride * height, true);
  Put32(b, 0, true);
  Put32(b, pixelsAt, true);
  Put32(b, 40, true);
  Put32(b, width, true);
  Put32(b, bottomUp ? height : std::uint32_t(-std::int32_t(height)), true);
  Put16(b, 1, true);
  Put16(b, 8, true);
  Put32(b, 0, true);
  Put32(b, stride * height, true);
  Put32(b, 2835, true);
  Put32(b, 2835, true);
  Put32(b, std::uint32_t(palette.size()), true);
  Put32(b, 0, true);
  for (const cv::Vec3b& bgr : palette) b.insert(b.end(), {bgr[0], bgr[1], bgr[2], 0});
  for (std::uint32_t i = 0; i < height; ++i) {
    const auto& row = rows[bottomUp ? height - 1 - i : i];
    b.insert(b.end(), row.begin(), row.end());
    b.push_back(0);  // padding to 4 bytes
  }
  return b;
}

TEST(ImageLoader, PaletteBmpComesOutUprightWithItsColours) {
  const fs::path dir = test::FreshFolder("loader-bmp");
  const std::vector<cv::Vec3b> palette = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}};
  const std::vector<std::vector<std::uint8_t>> rows = {{0, 1, 2}, {3, 0, 1}};
  for (bool bottomUp : {true, false}) {
    const fs::path path = dir / (bottomUp ? "up.bmp" : "down.bmp");
    WriteFile(path, PaletteBmp(bottomUp, rows, palette));
    const cv::Mat image = LoadImageFile(path);
    ASSERT_EQ(image.type(), CV_8UC3);
    ASSERT_EQ(image.size(), cv::Size(3, 2));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(image.at<cv::Vec3b>(y, x), palette[rows[y][x]]) << "bottomUp " << bottomUp << " at " << x << "," << y;
  }
}

TEST(ImageLoader, ConvertsEveryDepthAndChannelCount) {
  // Grey + alpha: grey spread over three channels, alpha kept only on request.
  cv::Mat greyAlpha(2, 2, CV_8UC2, cv::Scalar(40, 90));
  cv::Mat out = ToEightBitColour(greyAlpha, true);
  ASSERT_EQ(out.type(), CV_8UC4);
  EXPECT_EQ(out.at<cv::Vec4b>(1, 1), cv::Vec4b(40, 40, 40, 90));
  out = ToEightBitColour(greyAlpha, false);
  ASSERT_EQ(out.type(), CV_8UC3);
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(40, 40, 40));

  struct Case {
    int type;
    double value;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {CV_16UC3, 65535, 255}, {CV_16UC3, 257 * 3, 3}, {CV_16UC1, 128, 0},  {CV_32FC3, 1.0, 255},
      {CV_32FC3, 0.5, 128},   {CV_64FC1, 2.0, 255},   {CV_32FC1, -1, 0},   {CV_16SC1, 32767, 255},
  };
  for (const Case& c : cases) {
    const cv::Mat in(2, 3, c.type, cv::Scalar::all(c.value));
    const cv::Mat converted = ToEightBitColour(in, false);
    ASSERT_EQ(converted.type(), CV_8UC3) << "type " << c.type;
    EXPECT_EQ(converted.at<cv::Vec3b>(1, 2), cv::Vec3b(c.expected, c.expected, c.expected))
        << "type " << c.type << " value " << c.value;
  }
  EXPECT_TRUE(ToEightBitColour(cv::Mat(), false).empty());
}

TEST(ImageOrientation, EveryOrientationTurnsStoredPixelsUpright) {
  cv::Mat upright(3, 5, CV_8UC3);
  cv::randu(upright, 0, 256);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const cv::Mat stored = StoredFromUpright(upright, orientation);
    const cv::Mat result = ApplyExifOrientation(stored, orientation);
    ASSERT_EQ(result.size(), upright.size()) << "orientation " << orientation;
    EXPECT_EQ(cv::norm(result, upright, cv::NORM_INF), 0) << "orientation " << orientation;
  }
  // Values outside 1..8 leave the picture alone.
  EXPECT_EQ(cv::norm(ApplyExifOrientation(upright, 0), upright, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(ApplyExifOrientation(upright, 9), upright, cv::NORM_INF), 0);
}

TEST(ImageOrientation, CameraJpegsComeInUprightInBothByteOrders) {
  // Four flat quadrants, large enough for JPEG to keep their colours.
  const int w = 64, h = 32;
  cv::Mat upright(h, w, CV_8UC3);
  upright(cv::Rect(0, 0, w / 2, h / 2)).setTo(cv::Scalar(0, 0, 255));
  upright(cv::Rect(w / 2, 0, w / 2, h / 2)).setTo(cv::Scalar(0, 255, 0));
  upright(cv::Rect(0, h / 2, w / 2, h / 2)).setTo(cv::Scalar(255, 0, 0));
  upright(cv::Rect(w / 2, h / 2, w / 2, h / 2)).setTo(cv::Scalar(255, 255, 255));
  const cv::Point probes[] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};

  const fs::path dir = test::FreshFolder("loader-orientation");
  for (bool little : {true, false}) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(std::string(little ? "II" : "MM") + " orientation " + std::to_string(orientation));
      const ByteVector tiff = BuildTiff(little, {ShortField(274, std::uint16_t(orientation), little)});
      const fs::path path = dir / ("o" + std::to_string(orientation) + (little ? "le" : "be") + ".jpg");
      WriteFile(path, JpegWithExif(StoredFromUpright(upright, orientation), tiff));
      const cv::Mat image = LoadImageFile(path);
      ASSERT_EQ(image.size(), upright.size());
      for (const cv::Point& p : probes) {
        const cv::Vec3b got = image.at<cv::Vec3b>(p), want = upright.at<cv::Vec3b>(p);
        for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(got[ch], want[ch], 40) << "at " << p;
      }
    }
  }
}

TEST(ImageOrientation, PngExifChunkIsApplied) {
  cv::Mat upright(2, 3, CV_8UC3);
  cv::randu(upright, 0, 256);
  const ByteVector exif = BuildTiff(false, {ShortField(274, 6, false)});
  const fs::path path = test::FreshFolder("loader-png-exif") / "turned.png";
  WriteFile(path, PngWithChunks(StoredFromUpright(upright, 6), {PngChunk("eXIf", exif)}));
  const cv::Mat image = LoadImageFile(path);
  ASSERT_EQ(image.size(), upright.size());
  EXPECT_EQ(cv::norm(image, upright, cv::NORM_INF), 0);
}

// An uncompressed RGB TIFF in one strip, with an orientation tag and a description.
ByteVector RgbTiff(const cv::Mat& bgr, int orientation) {
  auto fields = [&](std::uint32_t pixelsAt) {
    ByteVector bitsPerSample;
    for (int i = 0; i < 3; ++i) Put16(bitsPerSample, 8, true);
    return std::vector<TiffField>{
        ShortField(256, std::uint16_t(bgr.cols), true),
        ShortField(257, std::uint16_t(bgr.rows), true),
        {258, 3, 3, bitsPerSample},
        ShortField(259, 1, true),  // no compression
        ShortField(262, 2, true),  // RGB
        LongField(273, pixelsAt, true),
        ShortField(274, std::uint16_t(orientation), true),
        ShortField(277, 3, true),
        ShortField(278, std::uint16_t(bgr.rows), true),
        LongField(279, std::uint32_t(bgr.total() * 3), true),
        AsciiField(270, "tiff description"),
    };
  };
  ByteVector tiff = BuildTiff(true, fields(0));
  tiff = BuildTiff(true, fields(std::uint32_t(tiff.size())));
  for (int y = 0; y < bgr.rows; ++y)
    for (int x = 0; x < bgr.cols; ++x) {
      const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
      tiff.insert(tiff.end(), {p[2], p[1], p[0]});
    }
  return tiff;
}

TEST(ImageOrientation, TiffIsTurnedExactlyOnce) {
  cv::Mat upright(2, 3, CV_8UC3);
  cv::randu(upright, 0, 256);
  const fs::path dir = test::FreshFolder("loader-tiff");
  for (int orientation : {1, 3, 6, 8}) {
    const fs::path path = dir / ("o" + std::to_string(orientation) + ".tif");
    WriteFile(path, RgbTiff(StoredFromUpright(upright, orientation), orientation));
    std::string description;
    const cv::Mat image = LoadImageFile(path, nullptr, &description);
    ASSERT_EQ(image.size(), upright.size()) << "orientation " << orientation;
    EXPECT_EQ(cv::norm(image, upright, cv::NORM_INF), 0) << "orientation " << orientation;
    EXPECT_EQ(description, "tiff description");
  }
}

TEST(ImageMetadata, PngTextChunksGiveTitleAndDescription) {
  ByteVector title;
  PutText(title, "Title\0Caf\xE9 at noon"s);  // tEXt is Latin-1
  ByteVector description;
  PutText(description, "Description\0\0\0en\0\0Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e"s);
  ByteVector other;
  PutText(other, "Author\0Nobody"s);

  const fs::path path = test::FreshFolder("loader-png-text") / "text.png";
  WriteFile(path, PngWithChunks(test::Flat(4, 4, {9, 9, 9}),
                                {PngChunk("tEXt", other), PngChunk("tEXt", title), PngChunk("iTXt", description)}));
  std::string gotTitle = "unset", gotDescription = "unset";
  ASSERT_FALSE(LoadImageFile(path, &gotTitle, &gotDescription).empty());
  EXPECT_EQ(gotTitle, "Caf\xC3\xA9 at noon");
  EXPECT_EQ(gotDescription, "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e");
}

TEST(ImageMetadata, JpegExifGivesTitleAndDescription) {
  const cv::Mat photo = test::Flat(16, 16, {0, 128, 255});
  const fs::path dir = test::FreshFolder("loader-jpeg-text");
  // "Hi 😀" in UTF-16, with a surrogate pair.
  const std::vector<std::uint16_t> xpTitle = {'H', 'i', ' ', 0xD83D, 0xDE00};
  const std::string xpTitleUtf8 = "Hi \xF0\x9F\x98\x80";
  struct Case {
    const char* name;
    bool little;
    std::vector<TiffField> fields;
    std::string title, description;  // "unset" when the output must stay untouched
  };
  const std::vector<Case> cases = {
      {"le", true, {AsciiField(270, "A long description"), Utf16Field(0x9C9B, xpTitle)}, xpTitleUtf8,
       "A long description"},
      {"be", false, {AsciiField(270, "Short"), Utf16Field(0x9C9B, xpTitle)}, xpTitleUtf8, "Short"},
      // Tag 800 is preferred to XPTitle; camera padding is trimmed.
      {"tag800", true, {Utf16Field(0x9C9B, xpTitle), AsciiField(800, "Plain title"), AsciiField(270, "Desc   ")},
       "Plain title", "Desc"},
      // Latin-1 bytes in an ASCII field are taken as Latin-1.
      {"latin1", false, {AsciiField(270, "Ni\xF1o")}, "unset", "Ni\xC3\xB1o"},
      // A blank description is no description.
      {"blank", true, {AsciiField(270, "        "), ShortField(274, 1, true)}, "unset", "unset"},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / (std::string(c.name) + ".jpg");
    WriteFile(path, JpegWithExif(photo, BuildTiff(c.little, c.fields)));
    std::string title = "unset", description = "unset";
    ASSERT_FALSE(LoadImageFile(path, &title, &description).empty()) << c.name;
    EXPECT_EQ(title, c.title) << c.name;
    EXPECT_EQ(description, c.description) << c.name;
  }
}

TEST(ImageMetadata, DamagedExifIsIgnored) {
  // Directory entries pointing past the data, a count running off the end,
  // a wrong magic number: metadata is simply absent.
  ByteVector pointsOutside = BuildTiff(true, {AsciiField(270, "a description long enough")});
  pointsOutside[8 + 2 + 8] = 0xF0;  // value offset far past the end
  ByteVector countTooLarge = BuildTiff(false, {ShortField(274, 6, false)});
  countTooLarge[9] = 200;
  ByteVector badMagic = BuildTiff(true, {ShortField(274, 6, true)});
  badMagic[2] = 43;
  for (const ByteVector& tiff : {pointsOutside, countTooLarge, badMagic, ByteVector{'I', 'I'}, ByteVector{}}) {
    const ImageFileMetadata metadata = ReadExifMetadata(tiff);
    EXPECT_FALSE(metadata.description.has_value());
    EXPECT_FALSE(metadata.title.has_value());
    EXPECT_EQ(metadata.orientation, countTooLarge == tiff ? 6 : 1);  // the first entry still reads
  }
}

TEST(ImageGuard, SizeLimits) {
  struct Case {
    std::uint64_t width, height;
    bool allowed;
  };
  // Camera photos of 100 to 200 MP pass; 2^28 pixels in all is the limit.
  const Case cases[] = {
      {1, 1, true},          {65535, 1, true},        {65536, 1, false},         {1, 65536, false},
      {12000, 9000, true},   {16320, 12240, true},    {16384, 16384, true},      {16384, 16385, false},
      {65535, 4096, true},   {65535, 4097, false},    {0, 10, false},            {10, 0, false},
      {100000, 100000, false}, {1ull << 40, 1, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImageSizeAllowed(c.width, c.height), c.allowed) << c.width << " x " << c.height;
}

TEST(ImageGuard, ProbeReadsDeclaredSizes) {
  auto bytes = [](std::string_view text) { return ByteVector(text.begin(), text.end()); };
  ByteVector png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Put32(png, 13, false);
  PutText(png, "IHDR");
  Put32(png, 70000, false);
  Put32(png, 3, false);

  // APP0, a stray fill byte and APP1 before the frame header.
  ByteVector jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xFF, 0xE1, 0x00, 0x02,
                     0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x01, 0x2C, 0x02, 0x58, 0x01, 0x01, 0x11, 0x00};

  ByteVector bmpInfo = {'B', 'M'};
  bmpInfo.resize(14, 0);
  Put32(bmpInfo, 40, true);
  Put32(bmpInfo, 640, true);
  Put32(bmpInfo, std::uint32_t(-480), true);  // top-down
  ByteVector bmpCore = {'B', 'M'};
  bmpCore.resize(14, 0);
  Put32(bmpCore, 12, true);
  Put16(bmpCore, 33, true);
  Put16(bmpCore, 44, true);

  ByteVector gif = bytes("GIF89a");
  Put16(gif, 500, true);
  Put16(gif, 20, true);

  auto webp = [&](std::string_view fourcc, const ByteVector& payload) {
    ByteVector b = bytes("RIFF");
    Put32(b, 100, true);
    PutText(b, "WEBP");
    PutText(b, fourcc);
    Put32(b, std::uint32_t(payload.size()), true);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
  };
  ByteVector vp8 = {0, 0, 0, 0x9D, 0x01, 0x2A};
  Put16(vp8, 0xC000 | 300, true);  // the top bits are a scale, not size
  Put16(vp8, 200, true);
  ByteVector vp8l = {0x2F};
  Put32(vp8l, (299u) | (199u << 14), true);
  ByteVector vp8x = {0, 0, 0, 0, 0x1F, 0x4E, 0x00, 0x09, 0x00, 0x00};  // 19999 + 1, 9 + 1

  ByteVector tiffLe = BuildTiff(true, {LongField(256, 5000, true), ShortField(257, 4000, true)});
  ByteVector tiffBe = BuildTiff(false, {ShortField(256, 7, false), LongField(257, 90000, false)});

  ByteVector sun = {0x59, 0xA6, 0x6A, 0x95};
  Put32(sun, 123, false);
  Put32(sun, 456, false);

  ByteVector j2k = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29, 0x00, 0x00};
  Put32(j2k, 1100, false);  // grid size
  Put32(j2k, 900, false);
  Put32(j2k, 100, false);  // image offset on the grid
  Put32(j2k, 0, false);
  ByteVector jp2 = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  Put32(jp2, 8 + 4, false);
  PutText(jp2, "ftypjp2 ");
  Put32(jp2, std::uint32_t(8 + j2k.size()), false);
  PutText(jp2, "jp2c");
  jp2.insert(jp2.end(), j2k.begin(), j2k.end());

  using F = ImageFileFormat;
  struct Case {
    const char* name;
    ByteVector data;
    F format;
    std::uint64_t width, height;
  };
  const std::vector<Case> cases = {
      {"png", png, F::kPng, 70000, 3},
      {"png cut short", ByteVector(png.begin(), png.begin() + 20), F::kPng, 0, 0},
      {"jpeg", jpeg, F::kJpeg, 600, 300},
      {"jpeg without frame", ByteVector(jpeg.begin(), jpeg.begin() + 13), F::kJpeg, 0, 0},
      {"bmp", bmpInfo, F::kBmp, 640, 480},
      {"bmp os/2", bmpCore, F::kBmp, 33, 44},
      {"gif", gif, F::kGif, 500, 20},
      {"webp lossy", webp("VP8 ", vp8), F::kWebp, 300, 200},
      {"webp lossless", webp("VP8L", vp8l), F::kWebp, 300, 200},
      {"webp extended", webp("VP8X", vp8x), F::kWebp, 20000, 10},
      {"tiff le", tiffLe, F::kTiff, 5000, 4000},
      {"tiff be", tiffBe, F::kTiff, 7, 90000},
      {"ppm", bytes("P6\n# made by hand\n 640 480\n255\n"), F::kPnm, 640, 480},
      {"pgm", bytes("P5 3 2 255 "), F::kPnm, 3, 2},
      {"pam", bytes("P7\nWIDTH 12\nHEIGHT 34\nDEPTH 3\nMAXVAL 255\nENDHDR\n"), F::kPnm, 12, 34},
      {"pfm", bytes("PF\n20000 20000\n-1.0\n"), F::kPnm, 20000, 20000},
      {"sun raster", sun, F::kSunRaster, 123, 456},
      {"radiance", bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 30 +X 40\n"), F::kRadiance, 40, 30},
      {"jpeg 2000 codestream", j2k, F::kJpeg2000, 1000, 900},
      {"jp2", jp2, F::kJpeg2000, 1000, 900},
      {"text", bytes("hello, world"), F::kUnknown, 0, 0},
      {"empty", {}, F::kUnknown, 0, 0},
  };
  for (const Case& c : cases) {
    const ImageFileHeader header = ProbeImageHeader(c.data);
    EXPECT_EQ(header.format, c.format) << c.name;
    EXPECT_EQ(header.width, c.width) << c.name;
    EXPECT_EQ(header.height, c.height) << c.name;
  }
}

TEST(ImageGuard, ProbeAgreesWithOpenCvEncoders) {
  // What OpenCV's own encoders write must be sized by the probe and load.
  using F = ImageFileFormat;
  const std::pair<const char*, F> formats[] = {
      {".png", F::kPng},   {".jpg", F::kJpeg}, {".bmp", F::kBmp},       {".webp", F::kWebp},
      {".tiff", F::kTiff}, {".ppm", F::kPnm},  {".pam", F::kPnm},       {".ras", F::kSunRaster},
      {".hdr", F::kRadiance}, {".jp2", F::kJpeg2000},
  };
  const cv::Mat picture = test::Flat(130, 70, {10, 200, 90});
  const fs::path dir = test::FreshFolder("loader-encoders");
  for (const auto& [ext, format] : formats) {
    const ByteVector bytes = Encode(ext, picture);
    const ImageFileHeader header = ProbeImageHeader(bytes);
    EXPECT_EQ(header.format, format) << ext;
    EXPECT_EQ(header.width, 130u) << ext;
    EXPECT_EQ(header.height, 70u) << ext;
    const fs::path path = dir / (std::string("picture") + ext);
    WriteFile(path, bytes);
    const cv::Mat image = LoadImageFile(path);
    ASSERT_EQ(image.type(), CV_8UC3) << ext;
    EXPECT_EQ(image.size(), picture.size()) << ext;
    EXPECT_LE(cv::norm(image, picture, cv::NORM_INF), 3) << ext;
  }
}

TEST(ImageGuard, OversizedPicturesAreRefusedBeforeDecoding) {
  const fs::path dir = test::FreshFolder("loader-guard");
  auto pngClaiming = [](std::uint32_t width, std::uint32_t height) {
    ByteVector ihdr;
    Put32(ihdr, width, false);
    Put32(ihdr, height, false);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    ByteVector png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const ByteVector chunk = PngChunk("IHDR", ihdr);
    png.insert(png.end(), chunk.begin(), chunk.end());
    const ByteVector end = PngChunk("IEND", {});
    png.insert(png.end(), end.begin(), end.end());
    return png;
  };
  ByteVector wideJpeg = Encode(".jpg", test::Flat(16, 16, {1, 2, 3}));
  for (std::size_t i = 2; i + 8 < wideJpeg.size(); ++i) {  // rewrite the frame header to 65535 x 4097
    if (wideJpeg[i] == 0xFF && wideJpeg[i + 1] == 0xC0) {
      wideJpeg[i + 5] = 0x10, wideJpeg[i + 6] = 0x01;     // height
      wideJpeg[i + 7] = 0xFF, wideJpeg[i + 8] = 0xFF;     // width
      break;
    }
  }

  struct Case {
    const char* name;
    ByteVector data;
  };
  // All but the first are within OpenCV's own limits: only the loader's
  // check stops them.
  const std::vector<Case> cases = {
      {"huge.png", pngClaiming(100000, 100000)},
      {"square.png", pngClaiming(20000, 20000)},
      {"many.png", pngClaiming(16384, 16385)},
      {"long.png", pngClaiming(65536, 1)},
      {"wide.jpg", wideJpeg},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / c.name;
    WriteFile(path, c.data);
    cv::Mat image;
    const auto start = std::chrono::steady_clock::now();
    const std::string logged = LoggedDuring([&] { image = LoadImageFile(path); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(image.empty()) << c.name;
    EXPECT_LT(elapsed, std::chrono::seconds(1)) << c.name;
    const std::string reason = ReasonOfOneLine(logged, path);
    EXPECT_NE(reason.find("too large"), std::string::npos) << c.name << ": " << reason;
  }
}

TEST(ImageLoaderLog, EveryFailedLoadAppendsOneLine) {
  const fs::path dir = test::FreshFolder("loader-failures");
  ByteVector truncatedPng = Encode(".png", test::Flat(64, 64, {5, 6, 7}));
  truncatedPng.resize(60);
  ByteVector headerOnlyJpeg = Encode(".jpg", test::Flat(16, 16, {5, 6, 7}));
  headerOnlyJpeg.resize(100);

  struct Case {
    const char* name;
    std::optional<ByteVector> data;  // nullopt: the file does not exist
    const char* reason;              // expected reason, or nullptr for any
  };
  const std::vector<Case> cases = {
      {"not-a-picture.png", ByteVector{'h', 'e', 'l', 'l', 'o'}, "unknown or unsupported format"},
      {"truncated.png", truncatedPng, nullptr},
      {"header-only.jpg", headerOnlyJpeg, nullptr},
      {"empty.jpg", ByteVector{}, "empty file"},
      {"missing.jpg", std::nullopt, "file not found"},
  };
  for (const Case& c : cases) {
    const fs::path path = dir / c.name;
    if (c.data) WriteFile(path, *c.data);
    std::string title = "kept", description = "kept";
    cv::Mat image;
    const std::string logged = LoggedDuring([&] { image = LoadImageFile(path, &title, &description, true); });
    EXPECT_TRUE(image.empty()) << c.name;
    EXPECT_EQ(title, "kept");
    EXPECT_EQ(description, "kept");
    const std::string reason = ReasonOfOneLine(logged, path);
    if (c.reason) {
      EXPECT_EQ(reason, c.reason) << c.name;
    }
  }

  // A folder is no picture either.
  EXPECT_EQ(ReasonOfOneLine(LoggedDuring([&] { EXPECT_TRUE(LoadImageFile(dir).empty()); }), dir),
            "not a regular file");
}

// Peak resident memory of this process so far, in bytes.
std::size_t PeakMemory() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return std::size_t(usage.ru_maxrss) * 1024;
}

TEST(ImageLoader, HostileFilesFailAtOnceWithoutMemory) {
  const fs::path dir = test::FreshFolder("loader-hostile");
  const cv::Mat small = test::Flat(16, 16, {5, 6, 7});
  // A 5 KB PNG whose text chunk says it holds 2 GB.
  ByteVector text = PngWithChunks(small, {PngChunk("tEXt", ByteVector(5000, 'x'))});
  const ByteVector claim = {0x7F, 0xFF, 0xFF, 0xF0};
  std::copy(claim.begin(), claim.end(), text.begin() + 8 + 12 + 13);
  WriteFile(dir / "claims-2gb.png", text);
  // A small PNG followed by 2 GB of nothing (a sparse file).
  WriteFile(dir / "padded.png", Encode(".png", small));
  fs::resize_file(dir / "padded.png", (std::uintmax_t(1) << 31) - 100);
  ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);

  const std::pair<fs::path, std::string> cases[] = {
      {dir / "claims-2gb.png", "damaged PNG: a chunk claims more bytes than the file holds"},
      {dir / "padded.png", "file too large for its picture: 2147483548 bytes for 16 x 16 pixels"},
      {dir / "fifo.png", "not a regular file"},
      {"/dev/zero", "not a regular file"},
  };
  const std::size_t peakBefore = PeakMemory();
  for (const auto& [path, reason] : cases) {
    const auto start = std::chrono::steady_clock::now();
    const ImageLoadResult result = LoadImageFile(path, ImageLoadOptions{});
    EXPECT_TRUE(result.image.empty()) << path;
    EXPECT_EQ(result.failure, reason) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path;
  }
  EXPECT_LT(PeakMemory() - peakBefore, std::size_t(256) << 20);

  // A FIFO in place of the log is not waited on either.
  const fs::path log = AppDataFolder() / "log.txt";
  fs::create_directories(log.parent_path());
  fs::remove(log);
  ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(LoadImageFile(dir / "missing.png").empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  fs::remove(log);
}

// A GIF of two rows of four pixels, red green blue white and back, with
// white transparent; its codes are written 3 bits wide (a clear code before
// the table would grow keeps them so).
ByteVector SmallGif(bool interlaced) {
  ByteVector gif;
  PutText(gif, "GIF89a");
  Put16(gif, 4, true);
  Put16(gif, 2, true);
  gif.insert(gif.end(), {0x81, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
  gif.insert(gif.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x03, 0x00});
  gif.push_back(0x2C);
  for (int v : {0, 0, 4, 2}) Put16(gif, std::uint32_t(v), true);
  gif.push_back(interlaced ? 0x40 : 0x00);
  // Interlaced, row 0 comes first and row 1 last: the same order for two rows.
  const int codes[] = {4, 0, 1, 4, 2, 3, 4, 3, 2, 4, 1, 0, 5};
  ByteVector data;
  std::uint32_t bits = 0, count = 0;
  for (int code : codes) {
    bits |= std::uint32_t(code) << count;
    for (count += 3; count >= 8; count -= 8, bits >>= 8) data.push_back(std::uint8_t(bits));
  }
  if (count) data.push_back(std::uint8_t(bits));
  gif.push_back(2);
  gif.push_back(std::uint8_t(data.size()));
  gif.insert(gif.end(), data.begin(), data.end());
  gif.insert(gif.end(), {0x00, 0x3B});
  return gif;
}

// A TIFF written by libtiff, tiled or in strips.
void WriteTiff(const fs::path& path, int width, int height, int bits, int format, const void* pixels, int tile) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, format);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const auto* bytes = static_cast<const std::uint8_t*>(pixels);
  const std::size_t pixelBytes = std::size_t(3 * bits / 8);
  if (tile > 0) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
    std::vector<std::uint8_t> buffer(std::size_t(tile * tile) * pixelBytes);
    for (int y = 0; y < height; y += tile)
      for (int x = 0; x < width; x += tile) {
        std::fill(buffer.begin(), buffer.end(), 0);
        for (int r = 0; r < tile && y + r < height; ++r)
          std::copy_n(bytes + (std::size_t(y + r) * width + x) * pixelBytes,
                      std::size_t(std::min(tile, width - x)) * pixelBytes, buffer.begin() + std::size_t(r * tile) * pixelBytes);
        TIFFWriteTile(tiff, buffer.data(), std::uint32_t(x), std::uint32_t(y), 0, 0);
      }
  } else {
    for (int y = 0; y < height; ++y)
      TIFFWriteScanline(tiff, const_cast<std::uint8_t*>(bytes + std::size_t(y) * width * pixelBytes), std::uint32_t(y));
  }
  TIFFClose(tiff);
}

TEST(ImageLoader, GifTiledTiffAndHalfFloatTiffLoad) {
  const fs::path dir = test::FreshFolder("loader-formats");
  for (const bool interlaced : {false, true}) {
    const fs::path gif = dir / (interlaced ? "interlaced.gif" : "plain.gif");
    WriteFile(gif, SmallGif(interlaced));
    const cv::Mat withAlpha = LoadImageFile(gif, nullptr, nullptr, true);
    ASSERT_EQ(withAlpha.type(), CV_8UC4) << gif;
    const cv::Vec4b expected[2][4] = {{{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {0, 0, 255, 0}},
                                      {{0, 0, 255, 0}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}}};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(withAlpha.at<cv::Vec4b>(y, x), expected[y][x]) << x << "," << y;
    EXPECT_EQ(LoadImageFile(gif).type(), CV_8UC3);
  }

  // 40 x 24 in 16 x 16 tiles: the last column and row of tiles are partly outside.
  cv::Mat rgb(24, 40, CV_8UC3);
  cv::randu(rgb, 0, 256);
  WriteTiff(dir / "tiled.tif", 40, 24, 8, SAMPLEFORMAT_UINT, rgb.data, 16);
  cv::Mat bgr;
  cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
  const cv::Mat tiled = LoadImageFile(dir / "tiled.tif");
  ASSERT_EQ(tiled.size(), bgr.size());
  EXPECT_EQ(cv::norm(tiled, bgr, cv::NORM_INF), 0);

  // Half floats 0, 0.5 and 1 in red, green and blue.
  const std::uint16_t half[3] = {0x0000, 0x3800, 0x3C00};
  std::vector<std::uint16_t> pixels;
  for (int i = 0; i < 6 * 4; ++i) pixels.insert(pixels.end(), half, half + 3);
  for (const int tile : {0, 16}) {
    const fs::path path = dir / ("half" + std::to_string(tile) + ".tif");
    WriteTiff(path, 6, 4, 16, SAMPLEFORMAT_IEEEFP, pixels.data(), tile);
    const cv::Mat loaded = LoadImageFile(path);
    ASSERT_EQ(loaded.size(), cv::Size(6, 4)) << path;
    EXPECT_EQ(loaded.at<cv::Vec3b>(3, 5), cv::Vec3b(255, 128, 0)) << path;  // 0.5 x 255 rounded
  }
}

TEST(ImageLoaderLog, RepeatedAndConcurrentFailuresEachLogOneWholeLine) {
  const fs::path path = test::FreshFolder("loader-repeat") / "broken.jpg";
  WriteFile(path, {0xFF, 0xD8, 0xFF, 0xD9});
  const std::string once = LoggedDuring([&] { LoadImageFile(path); });
  const std::string reason = ReasonOfOneLine(once, path);
  const std::string line = LinePrefix(path) + reason + "\r\n";

  EXPECT_EQ(LoggedDuring([&] { LoadImageFile(path); LoadImageFile(path); }), line + line);

  constexpr int kThreads = 8, kLoadsEach = 6;
  const std::string concurrent = LoggedDuring([&] {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < kLoadsEach; ++i) LoadImageFile(path);
      });
    for (std::thread& t : threads) t.join();
  });
  std::string expected;
  for (int i = 0; i < kThreads * kLoadsEach; ++i) expected += line;
  EXPECT_EQ(concurrent, expected);
}

TEST(ImageLoader, BigJpegsAreDecodedReducedButNoSmallerThanTheirFittedSize) {
  struct Reduction {
    std::uint64_t width, height;
    int orientation;
    cv::Size box;
    int scale;
  };
  const Reduction reductions[] = {
      {12000, 9000, 1, {4096, 4096}, 2},   // 6000 x 4500 covers 4096 x 3072, 3000 x 2250 does not
      {16384, 12288, 1, {4096, 4096}, 4},  // exactly the fitted size
      {7999, 1000, 1, {1000, 1000}, 8},    // the decoder rounds up: 1000 x 125
      {12000, 9000, 1, {800, 600}, 8},
      {4096, 3072, 1, {4096, 4096}, 1},    // inside the box already
      {3000, 12000, 6, {4000, 1000}, 2},   // upright 12000 x 3000 fits 4000 x 1000
      {3000, 12000, 1, {4000, 1000}, 8},
      {0, 10, 1, {100, 100}, 1},
      {100, 100, 1, {0, 0}, 1},
  };
  for (const Reduction& r : reductions)
    EXPECT_EQ(JpegReduction(r.width, r.height, r.orientation, r.box), r.scale)
        << r.width << " x " << r.height << " orientation " << r.orientation << " into " << r.box;

  // A quarter-scale decode is about the picture a full decode scaled down gives.
  cv::Mat picture;
  cv::resize(test::SamplePhoto("rocket.jpg"), picture, {2400, 1800}, 0, 0, cv::INTER_CUBIC);
  const fs::path dir = test::FreshFolder("loader-reduced");
  WriteFile(dir / "big.jpg", Encode(".jpg", picture));
  WriteFile(dir / "turned.jpg", JpegWithExif(picture, BuildTiff(true, {ShortField(274, 6, true)})));
  ImageLoadOptions options;
  options.fitBox = cv::Size(500, 500);
  const ImageLoadResult reduced = LoadImageFile(dir / "big.jpg", options);
  ASSERT_EQ(reduced.image.size(), cv::Size(600, 450));
  ASSERT_EQ(reduced.image.type(), CV_8UC3);
  cv::Mat expected;
  cv::resize(LoadImageFile(dir / "big.jpg"), expected, {600, 450}, 0, 0, cv::INTER_AREA);
  EXPECT_LT(cv::norm(reduced.image, expected, cv::NORM_L1) / double(expected.total() * 3), 1.0);
  EXPECT_EQ(LoadImageFile(dir / "turned.jpg", options).image.size(), cv::Size(450, 600));
  options.fitBox = cv::Size(2400, 2400);
  EXPECT_EQ(LoadImageFile(dir / "big.jpg", options).image.size(), cv::Size(2400, 1800));
}

TEST(ImageLoader, SaysWhyALoadFailedAndWarnsAboutJpegsCutShort) {
  const fs::path dir = test::FreshFolder("loader-report");
  const fs::path missing = dir / "missing.jpg";
  ImageLoadResult failed;
  const std::string logged = LoggedDuring([&] { failed = LoadImageFile(missing, ImageLoadOptions{}); });
  EXPECT_TRUE(failed.image.empty());
  EXPECT_EQ(failed.failure, "file not found");
  EXPECT_EQ(ReasonOfOneLine(logged, missing), failed.failure);

  const ByteVector whole = Encode(".jpg", test::SamplePhoto("rocket.jpg"));
  ByteVector withThumbnail = BuildTiff(true, {});  // an Exif thumbnail holds an end marker of its own
  const ByteVector thumbnail = Encode(".jpg", test::Flat(8, 8, {1, 2, 3}));
  withThumbnail.insert(withThumbnail.end(), thumbnail.begin(), thumbnail.end());
  const ByteVector exifJpeg = JpegWithExif(test::SamplePhoto("rocket.jpg"), withThumbnail);
  auto cut = [](const ByteVector& bytes, std::size_t keep) { return ByteVector(bytes.begin(), bytes.begin() + keep); };
  ByteVector trailing = whole;
  PutText(trailing, "camera trailer \xFF\xD8");

  struct Case {
    const char* name;
    ByteVector data;
    bool complete;
  };
  const std::vector<Case> cases = {
      {"whole.jpg", whole, true},
      {"trailing.jpg", trailing, true},
      {"no-end-marker.jpg", cut(whole, whole.size() - 2), false},
      {"half.jpg", cut(whole, whole.size() / 2), false},
      {"exif-whole.jpg", exifJpeg, true},
      {"exif-half.jpg", cut(exifJpeg, exifJpeg.size() / 2), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JpegHasEndMarker(c.data), c.complete) << c.name;
    const fs::path path = dir / c.name;
    WriteFile(path, c.data);
    ImageLoadResult loaded;
    EXPECT_EQ(LoggedDuring([&] { loaded = LoadImageFile(path, ImageLoadOptions{}); }), "") << c.name;
    EXPECT_EQ(loaded.image.size(), cv::Size(640, 427)) << c.name;
    EXPECT_TRUE(loaded.failure.empty()) << c.name;
    ASSERT_EQ(loaded.warnings.size(), c.complete ? 0u : 1u) << c.name;
    if (!c.complete) {
      EXPECT_NE(loaded.warnings[0].find("cut short"), std::string::npos) << loaded.warnings[0];
    }
  }
}

TEST(ImageLoader, SuccessfulLoadsLogNothingAndMatchOpenCv) {
  // These sample photos have no EXIF rotation and no colour profile, so
  // OpenCV's own colour read is the reference.
  for (const char* name : {"coffee.png", "astronaut.png"}) {
    const fs::path path = test::DataDir() / "photos" / name;
    cv::Mat image;
    EXPECT_EQ(LoggedDuring([&] { image = LoadImageFile(path); }), "") << name;
    const cv::Mat reference = cv::imread(path.string(), cv::IMREAD_COLOR);
    ASSERT_EQ(image.size(), reference.size()) << name;
    EXPECT_EQ(cv::norm(image, reference, cv::NORM_INF), 0) << name;
  }
  // The rocket is Adobe RGB: as sRGB its colours are stronger than the
  // stored values read as sRGB.
  const fs::path rocket = test::DataDir() / "photos" / "rocket.jpg";
  const auto meanSaturation = [](const cv::Mat& bgr) {
    cv::Mat hsv;
    cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
    return cv::mean(hsv)[1] / 255.0;
  };
  const double stored = meanSaturation(cv::imread(rocket.string(), cv::IMREAD_COLOR));
  const ImageLoadResult converted = LoadImageFile(rocket, ImageLoadOptions{});
  EXPECT_TRUE(converted.warnings.empty());
  EXPECT_GT(meanSaturation(converted.image), stored * 1.2) << "stored values read as sRGB: " << stored;
  // Paths are UTF-8 and may hold any character.
  const fs::path unusual = test::FreshFolder("loader-names") / "été \xE2\x98\x80.png";
  WriteFile(unusual, Encode(".png", test::Flat(2, 2, {1, 2, 3})));
  EXPECT_EQ(LoadImageFile(unusual).size(), cv::Size(2, 2));
}

}  // namespace
}  // namespace grinsnap
