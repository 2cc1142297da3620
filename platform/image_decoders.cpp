#include "platform/image_decoders.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <tiffio.h>

#include <opencv2/imgproc.hpp>

#include "platform/image_loader.h"

namespace grinsnap {
namespace {

using Bytes = std::span<const std::uint8_t>;

// ---------------------------------------------------------------------------
// GIF

struct GifSource {
  Bytes bytes;
  std::size_t at = 0;
};

int ReadGifBytes(GifFileType* gif, GifByteType* out, int count) {
  auto* source = static_cast<GifSource*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(std::size_t(std::max(count, 0)), source->bytes.size() - source->at);
  std::memcpy(out, source->bytes.data() + source->at, n);
  source->at += n;
  return int(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// The rows of an interlaced frame in the order they are stored: every 8th
// from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
std::vector<int> GifRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(std::size_t(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = starts[pass]; y < height; y += steps[pass]) rows.push_back(y);
  return rows;
}

// ---------------------------------------------------------------------------
// TIFF

struct TiffSource {
  Bytes bytes;
  toff_t at = 0;
};

tmsize_t TiffRead(thandle_t handle, void* out, tmsize_t count) {
  auto* source = static_cast<TiffSource*>(handle);
  if (count <= 0 || source->at >= source->bytes.size()) return 0;
  const std::size_t n = std::min<std::size_t>(std::size_t(count), source->bytes.size() - std::size_t(source->at));
  std::memcpy(out, source->bytes.data() + source->at, n);
  source->at += n;
  return tmsize_t(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TiffSource*>(handle);
  const toff_t base = whence == SEEK_CUR ? source->at : whence == SEEK_END ? source->bytes.size() : 0;
  if (offset > std::numeric_limits<toff_t>::max() - base) return toff_t(-1);
  source->at = base + offset;
  return source->at;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TiffSource*>(handle)->bytes.size(); }
// The bytes are already in memory: "mapping" hands them over. (libtiff's
// reader without a mapping refuses tiles it reads fine from one.)
int TiffMap(thandle_t handle, void** base, toff_t* size) {
  auto* source = static_cast<TiffSource*>(handle);
  *base = const_cast<std::uint8_t*>(source->bytes.data());
  *size = source->bytes.size();
  return 1;
}
void TiffUnmap(thandle_t, void*, toff_t) {}
// Errors and warnings of a damaged file become an empty result, not output.
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

float HalfToFloat(std::uint16_t h) {
  const std::uint32_t sign = std::uint32_t(h & 0x8000) << 16;
  std::uint32_t exponent = (h >> 10) & 0x1F;
  std::uint32_t mantissa = h & 0x3FF;
  std::uint32_t bits;
  if (exponent == 0x1F) {
    bits = sign | 0x7F800000 | (mantissa << 13);
  } else if (exponent != 0) {
    bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
  } else if (mantissa == 0) {
    bits = sign;
  } else {
    // A subnormal half becomes a normal float.
    exponent = 113;
    while (!(mantissa & 0x400)) {
      mantissa <<= 1;
      --exponent;
    }
    bits = sign | (exponent << 23) | ((mantissa & 0x3FF) << 13);
  }
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Floating-point samples, interleaved, row by row or tile by tile.
cv::Mat ReadFloatTiff(TIFF* tiff, std::uint32_t width, std::uint32_t height, int samples, int bits) {
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  if (planar != PLANARCONFIG_CONTIG || samples < 1 || samples > 4 || (bits != 16 && bits != 32 && bits != 64))
    return {};
  cv::Mat out(int(height), int(width), CV_32FC(samples));
  const std::size_t sampleBytes = std::size_t(bits / 8);
  auto convert = [&](const std::uint8_t* in, float* dst, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, in += sampleBytes) {
      if (bits == 16) {
        std::uint16_t h;
        std::memcpy(&h, in, 2);
        dst[i] = HalfToFloat(h);
      } else if (bits == 32) {
        std::memcpy(&dst[i], in, 4);
      } else {
        double d;
        std::memcpy(&d, in, 8);
        dst[i] = float(d);
      }
    }
  };
  if (TIFFIsTiled(tiff)) {
    std::uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t tileBytes = TIFFTileSize(tiff);
    if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 ||
        std::uint64_t(tileWidth) * tileHeight * samples * sampleBytes > std::uint64_t(tileBytes))
      return {};
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileBytes));
    for (std::uint32_t y = 0; y < height; y += tileHeight)
      for (std::uint32_t x = 0; x < width; x += tileWidth) {
        if (TIFFReadTile(tiff, tile.data(), x, y, 0, 0) < 0) return {};
        const std::uint32_t rows = std::min(tileHeight, height - y), cols = std::min(tileWidth, width - x);
        for (std::uint32_t r = 0; r < rows; ++r)
          convert(tile.data() + std::size_t(r) * tileWidth * samples * sampleBytes,
                  out.ptr<float>(int(y + r)) + std::size_t(x) * samples, std::size_t(cols) * samples);
      }
  } else {
    const tmsize_t lineBytes = TIFFScanlineSize(tiff);
    if (lineBytes <= 0 || std::uint64_t(width) * samples * sampleBytes > std::uint64_t(lineBytes)) return {};
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
    for (std::uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) return {};
      convert(line.data(), out.ptr<float>(int(y)), std::size_t(width) * samples);
    }
  }
  if (samples == 3) cv::cvtColor(out, out, cv::COLOR_RGB2BGR);
  if (samples == 4) cv::cvtColor(out, out, cv::COLOR_RGBA2BGRA);
  return out;
}

}  // namespace

cv::Mat DecodeGifFirstFrame(Bytes bytes) {
  GifSource source{bytes};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, ReadGifBytes, &error));
  if (!gif || gif->SWidth <= 0 || gif->SHeight <= 0 ||
      !ImageSizeAllowed(std::uint64_t(gif->SWidth), std::uint64_t(gif->SHeight)))
    return {};

  int transparent = -1;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return {};
    if (record == TERMINATE_RECORD_TYPE) return {};
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return {};
      GraphicsControlBlock control;
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 &&
          DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
        transparent = control.TransparentColor;
      while (block)
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return {};
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;

    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return {};
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || colours->ColorCount <= 0 || frame.Width <= 0 || frame.Height <= 0) return {};
    const bool alpha = transparent >= 0;
    cv::Vec4b background(0, 0, 0, 0);
    if (gif->SColorMap && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < gif->SColorMap->ColorCount) {
      const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
      background = {c.Blue, c.Green, c.Red, 0};
    }
    if (!alpha) background[3] = 255;
    cv::Mat canvas(gif->SHeight, gif->SWidth, CV_8UC4, cv::Scalar(background));
    std::vector<GifPixelType> line(std::size_t(frame.Width));
    for (const int y : GifRowOrder(frame.Height, frame.Interlace)) {
      if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return {};
      const int row = frame.Top + y;
      if (row < 0 || row >= canvas.rows) continue;
      auto* out = canvas.ptr<cv::Vec4b>(row);
      for (int x = 0; x < frame.Width; ++x) {
        const int column = frame.Left + x;
        const int index = line[std::size_t(x)];
        if (column < 0 || column >= canvas.cols || index == transparent || index >= colours->ColorCount) continue;
        const GifColorType& c = colours->Colors[index];
        out[column] = {c.Blue, c.Green, c.Red, 255};
      }
    }
    if (alpha) return canvas;
    cv::Mat bgr;
    cv::cvtColor(canvas, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
  }
}

cv::Mat DecodeTiff(Bytes bytes) {
  TiffSource source{bytes};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return {};
  TIFFOpenOptionsSetErrorHandlerExtR(options, TiffQuiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, TiffQuiet, nullptr);
  // No single buffer of a damaged file may claim more than a picture at the
  // loader's limit would need.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(1) << 30);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt("picture", "r", &source, TiffRead, TiffWrite, TiffSeek,
                                                           TiffClose, TiffSize, TiffMap, TiffUnmap, options));
  TIFFOpenOptionsFree(options);
  if (!tiff) return {};
  std::uint32_t width = 0, height = 0;
  std::uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT;
  if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
    return {};
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &format);
  if (!ImageSizeAllowed(width, height)) return {};
  if (format == SAMPLEFORMAT_IEEEFP) return ReadFloatTiff(tiff.get(), width, height, samples, bits);

  cv::Mat rgba(int(height), int(width), CV_8UC4);
  if (!TIFFReadRGBAImageOriented(tiff.get(), width, height, reinterpret_cast<std::uint32_t*>(rgba.data),
                                 ORIENTATION_TOPLEFT, 0))
    return {};
  // The reader packs each pixel as A B G R from the high byte down, which
  // lies in memory as R G B A.
  cv::Mat bgra;
  cv::cvtColor(rgba, bgra, cv::COLOR_RGBA2BGRA);
  return bgra;
}

}  // namespace grinsnap
