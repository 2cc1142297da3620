#include "app/picture_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <zlib.h>

// exiv2 0.27 hands its images out as std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include "platform/colour_profile.h"
#include "platform/version.h"

namespace grinsnap {

struct PhotoMetadata {
  Exiv2::ExifData exif;
  Exiv2::IptcData iptc;
  Exiv2::XmpData xmp;
};

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

// The XMP toolkit inside exiv2 must be started once and serialised between
// threads (batch runs write pictures on several); exiv2's own messages on
// standard error would repeat what the warnings say.
void StartExiv2() {
  static std::once_flag once;
  static std::mutex xmpMutex;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(
        [](void* data, bool lock) {
          auto* mutex = static_cast<std::mutex*>(data);
          if (lock) mutex->lock();
          else mutex->unlock();
        },
        &xmpMutex);
  });
}

// IFD0 tags that describe how a file stores its pixels, not the photo: the
// source's would contradict the picture written; the encoder writes its own.
bool DescribesStorage(const Exiv2::Exifdatum& datum) {
  const std::string group = datum.groupName();
  if (group.rfind("SubImage", 0) == 0 || group.rfind("Thumbnail", 0) == 0) return true;
  if (group != "Image") return false;
  static constexpr std::uint16_t kStorageTags[] = {
      0x00FE, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0111, 0x0115, 0x0116, 0x0117, 0x011C, 0x013D,
      0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x0152, 0x0153, 0x0201, 0x0202, 0x0212, 0x8773,
  };
  return std::find(std::begin(kStorageTags), std::end(kStorageTags), datum.tag()) != std::end(kStorageTags);
}

// Sets an XMP property only where the photo had it.
void UpdateXmp(Exiv2::XmpData& xmp, const char* key, const std::string& value) {
  const auto it = xmp.findKey(Exiv2::XmpKey(key));
  if (it != xmp.end()) it->setValue(value);
}

void EraseXmpPrefix(Exiv2::XmpData& xmp, const std::string& prefix) {
  for (auto it = xmp.begin(); it != xmp.end();) {
    if (it->key().rfind(prefix, 0) == 0) it = xmp.erase(it);
    else ++it;
  }
}

bool CanWrite(const Exiv2::Image& image, Exiv2::MetadataId id) {
  const Exiv2::AccessMode mode = image.checkMode(id);
  return mode == Exiv2::amWrite || mode == Exiv2::amReadWrite;
}

// What the picture says about itself: the photo's metadata made true of
// the picture, then the program's own tags.
void FillMetadata(Exiv2::Image& image, PictureFormat format, const cv::Mat& picture, const PictureWriteOptions& options,
                  bool withSource) {
  const PhotoMetadata* source = withSource && !options.strip ? options.source : nullptr;
  // A TIFF's own directory holds its storage tags, which stay.
  Exiv2::ExifData exif = format == PictureFormat::kTiff ? image.exifData() : Exiv2::ExifData();
  if (source) {
    for (const Exiv2::Exifdatum& datum : source->exif)
      if (!DescribesStorage(datum)) exif[datum.key()].setValue(&datum.value());
    Exiv2::ExifThumb(exif).erase();
    const auto set = [&](const char* key, auto value) {
      if (exif.findKey(Exiv2::ExifKey(key)) != exif.end()) exif[key] = value;
    };
    set("Exif.Image.Orientation", std::uint16_t(1));
    set("Exif.Photo.ColorSpace", std::uint16_t(1));  // sRGB
    set("Exif.Iop.InteroperabilityIndex", std::string("R98"));
    if (exif.findKey(Exiv2::ExifKey("Exif.Photo.ExifVersion")) != exif.end() ||
        exif.findKey(Exiv2::ExifKey("Exif.Photo.PixelXDimension")) != exif.end()) {
      exif["Exif.Photo.PixelXDimension"] = std::uint32_t(picture.cols);
      exif["Exif.Photo.PixelYDimension"] = std::uint32_t(picture.rows);
    }
  }
  if (!options.strip) exif["Exif.Image.Software"] = std::string("Grinsnap ") + kVersionText;
  if (!options.description.empty()) exif["Exif.Image.ImageDescription"] = options.description;
  if (!options.title.empty()) {
    // ImageTitle is not in exiv2's tag list: it goes in as an ASCII value.
    const Exiv2::AsciiValue title(options.title);
    exif[Exiv2::ExifKey(0x0320, "Image").key()].setValue(&title);
  }
  if (CanWrite(image, Exiv2::mdExif)) image.setExifData(exif);

  Exiv2::XmpData xmp = source ? source->xmp : Exiv2::XmpData();
  if (source) {
    const std::string width = std::to_string(picture.cols), height = std::to_string(picture.rows);
    UpdateXmp(xmp, "Xmp.tiff.Orientation", "1");
    UpdateXmp(xmp, "Xmp.tiff.ImageWidth", width);
    UpdateXmp(xmp, "Xmp.tiff.ImageLength", height);
    UpdateXmp(xmp, "Xmp.exif.PixelXDimension", width);
    UpdateXmp(xmp, "Xmp.exif.PixelYDimension", height);
    UpdateXmp(xmp, "Xmp.exif.ColorSpace", "1");
    EraseXmpPrefix(xmp, "Xmp.photoshop.ICCProfile");
    EraseXmpPrefix(xmp, "Xmp.xmp.Thumbnails");
  }
  if (!options.title.empty()) xmp["Xmp.dc.title"] = "lang=x-default " + options.title;
  if (!options.description.empty()) xmp["Xmp.dc.description"] = "lang=x-default " + options.description;
  if (CanWrite(image, Exiv2::mdXmp) && !xmp.empty()) image.setXmpData(xmp);
  if (source && CanWrite(image, Exiv2::mdIptc) && !source->iptc.empty()) image.setIptcData(source->iptc);

  // exiv2's access table says no profile for WebP, yet its writer puts one
  // in; every format that gets here takes one.
  const std::vector<std::uint8_t>& srgb = SrgbIccProfile();
  Exiv2::DataBuf profile(srgb.data(), long(srgb.size()));
  image.setIccProfile(profile, true);
}

std::uint32_t GetBe32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint8_t(b[at + 3]);
}
std::uint32_t GetLe32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at + 3])) << 24 | std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 1])) << 8 | std::uint8_t(b[at]);
}
void SetBe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = char(v >> (24 - 8 * i));
}

// exiv2 0.27 writes the profile chunks of two formats wrongly: a PNG's
// iCCP without the profile name the format requires (libpng then drops the
// profile), and a WebP's profile under the fourcc "VP8X" instead of "ICCP"
// (readers then find no profile). Both are put right in place.
void RepairProfileChunk(std::string& b, PictureFormat format) {
  if (format == PictureFormat::kPng) {
    std::size_t pos = 8;
    while (pos + 12 <= b.size()) {
      const std::size_t length = GetBe32(b, pos);
      if (length > b.size() - pos - 12) return;
      if (b.compare(pos + 4, 4, "iCCP") == 0) {
        if (length == 0 || b[pos + 8] != '\0') return;  // named already
        constexpr std::string_view kName = "sRGB";
        b.insert(pos + 8, kName);
        SetBe32(b, pos, std::uint32_t(length + kName.size()));
        const auto* chunk = reinterpret_cast<const Bytef*>(b.data() + pos + 4);
        SetBe32(b, pos + 8 + length + kName.size(), std::uint32_t(crc32(0, chunk, uInt(4 + length + kName.size()))));
        return;
      }
      if (b.compare(pos + 4, 4, "IDAT") == 0) return;
      pos += 12 + length;
    }
  } else if (format == PictureFormat::kWebp) {
    std::size_t pos = 12;
    bool first = true;
    while (pos + 8 <= b.size()) {
      const std::size_t size = GetLe32(b, pos + 4);
      if (size > b.size() - pos - 8) return;
      // An ICC profile says "acsp" at byte 36.
      if (!first && b.compare(pos, 4, "VP8X") == 0 && size > 40 && b.compare(pos + 8 + 36, 4, "acsp") == 0)
        b.replace(pos, 4, "ICCP");
      first = false;
      pos += 8 + size + (size & 1);
    }
  }
}

// The encoded picture with its metadata written in by exiv2.
std::string WithMetadata(const std::string& encoded, PictureFormat format, const cv::Mat& picture,
                         const PictureWriteOptions& options, bool withSource) {
  Exiv2::Image::AutoPtr image =
      Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(encoded.data()), long(encoded.size()));
  if (!image.get()) throw Exiv2::Error(Exiv2::kerInputDataReadFailed);
  image->readMetadata();
  FillMetadata(*image, format, picture, options, withSource);
  image->writeMetadata();
  Exiv2::BasicIo& io = image->io();
  io.seek(0, Exiv2::BasicIo::beg);
  const Exiv2::DataBuf written = io.read(long(io.size()));
  if (written.size_ <= 0) throw Exiv2::Error(Exiv2::kerInputDataReadFailed);
  std::string bytes(reinterpret_cast<const char*>(written.pData_), std::size_t(written.size_));
  RepairProfileChunk(bytes, format);
  return bytes;
}

}  // namespace

std::optional<PictureFormat> PictureFormatOf(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  const std::string ext = Lower(extension);
  if (ext == "jpg" || ext == "jpeg" || ext == "jpe") return PictureFormat::kJpeg;
  if (ext == "png") return PictureFormat::kPng;
  if (ext == "bmp") return PictureFormat::kBmp;
  if (ext == "webp") return PictureFormat::kWebp;
  if (ext == "tif" || ext == "tiff") return PictureFormat::kTiff;
  return std::nullopt;
}

bool KeepsAlpha(PictureFormat format) {
  return format == PictureFormat::kPng || format == PictureFormat::kWebp || format == PictureFormat::kTiff;
}

std::size_t MetadataEntryCount(const PhotoMetadata& metadata) {
  return metadata.exif.count() + metadata.iptc.count() + metadata.xmp.count();
}

PhotoMetadataRead ReadPhotoMetadata(const std::filesystem::path& photo) {
  PhotoMetadataRead read;
  // exiv2 maps the file: only a regular file of a size a picture can have
  // is opened (a FIFO would block, a device never end).
  std::error_code error;
  if (!std::filesystem::is_regular_file(photo, error)) return read;
  const std::uintmax_t size = std::filesystem::file_size(photo, error);
  if (error || size == 0 || size > std::uintmax_t(INT_MAX)) return read;
  StartExiv2();
  try {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(photo.string(), false);
    if (!image.get()) return read;
    image->readMetadata();
    auto metadata = std::make_shared<PhotoMetadata>();
    metadata->exif = image->exifData();
    metadata->iptc = image->iptcData();
    metadata->xmp = image->xmpData();
    if (MetadataEntryCount(*metadata) > 0) read.metadata = std::move(metadata);
  } catch (const Exiv2::AnyError& e) {
    // Formats exiv2 does not know (GIF, PNM) have no metadata to keep.
    if (e.code() != Exiv2::kerFileContainsUnknownImageType) read.problem = e.what();
  } catch (const std::exception& e) {
    read.problem = e.what();
  }
  return read;
}

bool EncodePicture(const cv::Mat& picture, PictureFormat format, const PictureWriteOptions& options,
                   std::string& bytes, std::vector<std::string>* warnings) {
  bytes.clear();
  if (picture.empty() || picture.depth() != CV_8U) return false;
  cv::Mat pixels = picture;
  if (picture.channels() == 4 && !KeepsAlpha(format)) cv::cvtColor(picture, pixels, cv::COLOR_BGRA2BGR);
  // The sRGB profile is for colour pictures; a grey file may not carry it.
  if (picture.channels() == 1) cv::cvtColor(picture, pixels, cv::COLOR_GRAY2BGR);
  std::vector<int> params;
  const char* extension = ".jpg";
  switch (format) {
    case PictureFormat::kJpeg:
      if (options.quality) params = {cv::IMWRITE_JPEG_QUALITY, std::clamp(*options.quality, 1, 100)};
      break;
    case PictureFormat::kPng: extension = ".png"; break;
    case PictureFormat::kBmp: extension = ".bmp"; break;
    case PictureFormat::kWebp:
      extension = ".webp";
      if (options.quality) params = {cv::IMWRITE_WEBP_QUALITY, std::clamp(*options.quality, 1, 100)};
      break;
    case PictureFormat::kTiff: extension = ".tiff"; break;
  }
  std::vector<std::uint8_t> encoded;
  try {
    if (!cv::imencode(extension, pixels, encoded, params)) return false;
  } catch (const cv::Exception&) {
    return false;  // a picture the encoder does not take
  }
  bytes.assign(encoded.begin(), encoded.end());
  if (format == PictureFormat::kBmp) return true;

  StartExiv2();
  // The photo's metadata may be more than the format holds (a JPEG segment
  // takes 64 KiB) or damaged in ways that show only when it is written:
  // then the picture goes without it, and at worst without any.
  for (const bool withSource : {true, false}) {
    if (!withSource && (!options.source || options.strip)) break;
    try {
      bytes = WithMetadata(bytes, format, pixels, options, withSource);
      return true;
    } catch (const std::exception& e) {
      if (warnings)
        warnings->push_back(withSource && options.source && !options.strip
                                ? std::string("the photo's metadata cannot be written (") + e.what() + "); left out"
                                : std::string("no colour profile or tags could be written (") + e.what() + ")");
    }
  }
  bytes.assign(encoded.begin(), encoded.end());
  return true;
}

}  // namespace grinsnap

#pragma GCC diagnostic pop
