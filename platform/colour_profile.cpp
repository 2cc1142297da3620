#include "platform/colour_profile.h"

#include <cmath>
#include <memory>
#include <mutex>

#include <lcms2.h>

namespace grinsnap {
namespace {

// One context per conversion: it carries the error text lcms reports, so
// that concurrent loads do not share it.
struct Context {
  Context() : handle(cmsCreateContext(nullptr, &message)) {
    if (handle) cmsSetLogErrorHandlerTHR(handle, [](cmsContext context, cmsUInt32Number, const char* text) {
      auto* message = static_cast<std::string*>(cmsGetContextUserData(context));
      if (message && message->empty() && text) *message = text;
    });
  }
  ~Context() {
    if (handle) cmsDeleteContext(handle);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  std::string message;
  cmsContext handle;
};

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
  void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

// Profiles store their XYZ values as 16.16 fixed point and their curves as
// tables of 16-bit values: two sRGB profiles from different makers agree to
// about 1e-4 in colorants and 1/1000 in curves.
constexpr double kColorantTolerance = 0.002;
constexpr float kCurveTolerance = 0.004f;

bool SameXyz(cmsHPROFILE a, cmsHPROFILE b, cmsTagSignature tag) {
  const auto* x = static_cast<const cmsCIEXYZ*>(cmsReadTag(a, tag));
  const auto* y = static_cast<const cmsCIEXYZ*>(cmsReadTag(b, tag));
  return x && y && std::abs(x->X - y->X) <= kColorantTolerance && std::abs(x->Y - y->Y) <= kColorantTolerance &&
         std::abs(x->Z - y->Z) <= kColorantTolerance;
}

bool SameCurve(cmsHPROFILE a, cmsHPROFILE b, cmsTagSignature tag) {
  const auto* x = static_cast<const cmsToneCurve*>(cmsReadTag(a, tag));
  const auto* y = static_cast<const cmsToneCurve*>(cmsReadTag(b, tag));
  if (!x || !y) return false;
  for (int i = 0; i <= 32; ++i) {
    const float v = float(i) / 32.0f;
    if (std::abs(cmsEvalToneCurveFloat(x, v) - cmsEvalToneCurveFloat(y, v)) > kCurveTolerance) return false;
  }
  return true;
}

// A matrix-and-curves RGB profile with sRGB's white point, primaries and
// tone curves. Table-based profiles are never taken for sRGB: converting
// through them is always right.
bool IsSrgb(cmsHPROFILE profile, cmsHPROFILE srgb) {
  if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return false;
  if (cmsIsTag(profile, cmsSigAToB0Tag)) return false;
  for (cmsTagSignature tag : {cmsSigMediaWhitePointTag, cmsSigRedColorantTag, cmsSigGreenColorantTag,
                              cmsSigBlueColorantTag})
    if (!SameXyz(profile, srgb, tag)) return false;
  for (cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag})
    if (!SameCurve(profile, srgb, tag)) return false;
  return true;
}

std::string Unusable(const std::string& what, const Context& context) {
  return what + (context.message.empty() ? std::string() : " (" + context.message + ")");
}

}  // namespace

bool IsSrgbProfile(std::span<const std::uint8_t> bytes) {
  Context context;
  if (!context.handle || bytes.empty()) return false;
  const Profile profile(cmsOpenProfileFromMemTHR(context.handle, bytes.data(), cmsUInt32Number(bytes.size())));
  const Profile srgb(cmsCreate_sRGBProfileTHR(context.handle));
  return profile && srgb && IsSrgb(profile.get(), srgb.get());
}

std::string ConvertToSrgb(cv::Mat& picture, std::span<const std::uint8_t> bytes, bool grey) {
  if (picture.empty() || picture.depth() != CV_8U || (picture.channels() != 3 && picture.channels() != 4))
    return "the colour profile is for another kind of picture";
  Context context;
  if (!context.handle) return "colour management cannot start";
  const Profile profile(cmsOpenProfileFromMemTHR(context.handle, bytes.data(), cmsUInt32Number(bytes.size())));
  if (!profile) return Unusable("its colour profile is damaged", context);
  const Profile srgb(cmsCreate_sRGBProfileTHR(context.handle));
  if (!srgb) return Unusable("colour management cannot start", context);

  const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
  const int extra = picture.channels() - 1;
  cmsUInt32Number input = 0;
  if (space == cmsSigRgbData) {
    if (IsSrgb(profile.get(), srgb.get())) return {};
    input = picture.channels() == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
  } else if (space == cmsSigGrayData) {
    if (!grey) return "its colour profile is for grey pictures, the picture has colours";
    // A grey picture has come out of the decoder as equal blue, green and
    // red: the first byte of each pixel is its grey, the others ride along.
    input = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(cmsUInt32Number(extra));
  } else {
    return "its colour profile is not for RGB or grey pictures";
  }
  const cmsUInt32Number output = picture.channels() == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
  // Without cmsFLAGS_COPY_ALPHA the transform leaves the alpha bytes of the
  // output alone; converting in place therefore keeps them.
  const Transform transform(cmsCreateTransformTHR(context.handle, profile.get(), input, srgb.get(), output,
                                                  INTENT_PERCEPTUAL, 0));
  if (!transform) return Unusable("its colour profile cannot be used", context);

  // Each pixel is converted on its own, so rows in parallel give the same
  // picture as one pass (the transform's one-pixel cache is per call).
  const int width = picture.cols;
  cv::parallel_for_(cv::Range(0, picture.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      std::uint8_t* row = picture.ptr<std::uint8_t>(y);
      cmsDoTransform(transform.get(), row, row, cmsUInt32Number(width));
    }
  });
  return {};
}

const std::vector<std::uint8_t>& SrgbIccProfile() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> out;
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) return out;
    if (cmsMLU* description = cmsMLUalloc(nullptr, 1)) {
      cmsMLUsetASCII(description, "en", "US", "sRGB IEC61966-2.1");
      cmsWriteTag(srgb.get(), cmsSigProfileDescriptionTag, description);
      cmsMLUfree(description);
    }
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(srgb.get(), nullptr, &size) || size == 0) return out;
    out.resize(size);
    if (!cmsSaveProfileToMem(srgb.get(), out.data(), &size)) out.clear();
    out.resize(size);
    return out;
  }();
  return bytes;
}

}  // namespace grinsnap
