#include "filters/tone/color.h"

#include <cmath>
#include <cstdint>

#include <opencv2/core/utility.hpp>
#include <tinyxml2.h>

#include "filters/simd_support.h"
#include "filters/tone/tone_support.h"
#include "core/xml_params.h"

namespace grinsnap {

void ColorTransform::Then(const ColorTransform& next) {
  // The offset goes through the new matrix too, so that a colour passing the
  // first transform and then the second gets exactly one composed transform.
  float offsetOut[3];
  float matrixOut[3][3];
  for (int j = 0; j < 3; ++j) {
    offsetOut[j] = next.offset[j];
    for (int i = 0; i < 3; ++i) offsetOut[j] += offset[i] * next.matrix[i][j];
  }
  for (int r = 0; r < 3; ++r)
    for (int j = 0; j < 3; ++j) {
      matrixOut[r][j] = 0;
      for (int i = 0; i < 3; ++i) matrixOut[r][j] += matrix[r][i] * next.matrix[i][j];
    }
  std::copy(&offsetOut[0], &offsetOut[0] + 3, offset);
  std::copy(&matrixOut[0][0], &matrixOut[0][0] + 9, &matrix[0][0]);
}

float SoftClip::Apply(float d) const {
  // Upper knee. Between upper - edge and upper + edge the parabola joins the
  // straight part (slope 1 at upper - edge) to the clip level (slope 0 at
  // upper + edge), so the curve has neither a jump nor a kink. A knee of no
  // width is a hard clip; it would otherwise divide by zero.
  if (upperEdge <= 0) {
    if (d > upper) d = upper;
  } else if (d >= upper - upperEdge) {
    if (d > upper + upperEdge) {
      d = upper;
    } else {
      const float t = (d - upper - upperEdge) * 0.5f / upperEdge;
      d = upper - upperEdge * t * t;
    }
  }
  // Lower knee, on the result of the upper one, mirrored.
  if (lowerEdge <= 0) {
    if (d < lower) d = lower;
  } else if (d <= lower + lowerEdge) {
    if (d < lower - lowerEdge) {
      d = lower;
    } else {
      const float t = (d - lower + lowerEdge) * 0.5f / lowerEdge;
      d = lower + lowerEdge * t * t;
    }
  }
  return d;
}

namespace {

// Truncates toward zero and keeps the low eight bits. With the clip levels
// inside 0..255 the value is already in range; levels outside it wrap as the
// byte store always did, and values no int can hold store 0.
inline std::uint8_t StoreLowByte(float d) {
  if (!(d > -2147483648.0f && d < 2147483648.0f)) return 0;
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(d));
}

// One pixel, the reference for the vector path below.
inline void ColorPixel(const std::uint8_t* in, std::uint8_t* out, const ColorTransform& t, const SoftClip& clip) {
  const float(&m)[3][3] = t.matrix;
  // Bytes are stored blue, green, red; the matrix works on (R, G, B).
  const float r = in[2], g = in[1], b = in[0];
  const float wr = r * m[0][0] + g * m[1][0] + b * m[2][0] + t.offset[0];
  const float wg = r * m[0][1] + g * m[1][1] + b * m[2][1] + t.offset[1];
  const float wb = r * m[0][2] + g * m[1][2] + b * m[2][2] + t.offset[2];
  out[2] = StoreLowByte(clip.Apply(wr));
  out[1] = StoreLowByte(clip.Apply(wg));
  out[0] = StoreLowByte(clip.Apply(wb));
}

// The vector path runs the same float operations in the same order on 16
// pixels at a time, so it gives the same bytes as ColorPixel. It needs
// results that stay inside 0..255 (the pack saturates where the byte store
// would wrap) and knees of positive width.
bool VectorPathFits(const SoftClip& clip) {
  return clip.upperEdge > 0 && clip.lowerEdge > 0 && clip.lower >= 0 && clip.upper <= 255 &&
         clip.lower + clip.lowerEdge <= 255 && clip.upper - clip.upperEdge >= 0;
}

#if CV_SIMD128
struct VectorClip {
  cv::v_float32x4 upper, upperEdge, upperLow, upperHigh, lower, lowerEdge, lowerLow, lowerHigh, half;

  explicit VectorClip(const SoftClip& c)
      : upper(cv::v_setall_f32(c.upper)), upperEdge(cv::v_setall_f32(c.upperEdge)),
        upperLow(cv::v_setall_f32(c.upper - c.upperEdge)), upperHigh(cv::v_setall_f32(c.upper + c.upperEdge)),
        lower(cv::v_setall_f32(c.lower)), lowerEdge(cv::v_setall_f32(c.lowerEdge)),
        lowerLow(cv::v_setall_f32(c.lower - c.lowerEdge)), lowerHigh(cv::v_setall_f32(c.lower + c.lowerEdge)),
        half(cv::v_setall_f32(0.5f)) {}

  cv::v_float32x4 Apply(cv::v_float32x4 d) const {
    // Most values of a photo lie on the straight part between the knees.
    if (cv::v_check_all((d < upperLow) & (d > lowerHigh))) return d;
    cv::v_float32x4 t = (d - upper - upperEdge) * half / upperEdge;
    cv::v_float32x4 knee = upper - upperEdge * t * t;
    d = cv::v_select(d < upperLow, d, cv::v_select(d > upperHigh, upper, knee));
    t = (d - lower + lowerEdge) * half / lowerEdge;
    knee = lower + lowerEdge * t * t;
    return cv::v_select(d > lowerHigh, d, cv::v_select(d < lowerLow, lower, knee));
  }
};

// Widens 16 bytes to four vectors of floats.
inline void ToFloats(const cv::v_uint8x16& v, cv::v_float32x4 f[4]) {
  cv::v_int32x4 ints[4];
  WidenBytes(v, ints);
  for (int k = 0; k < 4; ++k) f[k] = cv::v_cvt_f32(ints[k]);
}

// Runs 16 pixels at a time; returns the number of pixels done.
int ColorRowVector(const std::uint8_t* in, std::uint8_t* out, int width, const ColorTransform& t,
                   const VectorClip& clip) {
  const float(&m)[3][3] = t.matrix;
  cv::v_float32x4 mv[3][3], cv3[3];
  for (int i = 0; i < 3; ++i) {
    cv3[i] = cv::v_setall_f32(t.offset[i]);
    for (int j = 0; j < 3; ++j) mv[i][j] = cv::v_setall_f32(m[i][j]);
  }
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    cv::v_uint8x16 b8, g8, r8;
    cv::v_load_deinterleave(in + 3 * x, b8, g8, r8);
    cv::v_float32x4 b[4], g[4], r[4], ob[4], og[4], orr[4];
    ToFloats(b8, b);
    ToFloats(g8, g);
    ToFloats(r8, r);
    for (int k = 0; k < 4; ++k) {
      orr[k] = clip.Apply(r[k] * mv[0][0] + g[k] * mv[1][0] + b[k] * mv[2][0] + cv3[0]);
      og[k] = clip.Apply(r[k] * mv[0][1] + g[k] * mv[1][1] + b[k] * mv[2][1] + cv3[1]);
      ob[k] = clip.Apply(r[k] * mv[0][2] + g[k] * mv[1][2] + b[k] * mv[2][2] + cv3[2]);
    }
    cv::v_store_interleave(out + 3 * x, TruncateToBytes(ob), TruncateToBytes(og), TruncateToBytes(orr));
  }
  return x;
}
#endif

}  // namespace

bool ColorKernel(const cv::Mat& src, cv::Mat& dst, const ColorTransform& transform, const SoftClip& clip,
                 const std::atomic<bool>* cancel) {
  CV_Assert(src.type() == CV_8UC3 && dst.type() == CV_8UC3 && src.size() == dst.size());
#if CV_SIMD128
  const bool vector = VectorPathFits(clip);
  const VectorClip vectorClip(clip);
#endif

  // Every pixel depends on itself alone, so rows run in parallel; the split
  // cannot change the result. The stop flag is polled between rows: a
  // cancelled render leaves the rows done so far.
  return ParallelRows(src.rows, cancel, [&](int y) {
    const std::uint8_t* in = src.ptr<std::uint8_t>(y);
    std::uint8_t* out = dst.ptr<std::uint8_t>(y);
    int x = 0;
#if CV_SIMD128
    if (vector) x = ColorRowVector(in, out, src.cols, transform, vectorClip);
#endif
    for (; x < src.cols; ++x) ColorPixel(in + 3 * x, out + 3 * x, transform, clip);
  });
}

// The class name and the traits go to the base; nothing else is set up here.
CF_Color::CF_Color() : CF_SimpleFilter(kClassName, kTraits) {}

// Load runs once, right after the filter is made from its element. A filter
// reads its parameters here and only here; whatever is missing or unreadable
// keeps the default set above, so a bare <filter name="ColorFilter"/> is a
// valid effect (the identity with soft clipping).
int CF_Color::Load() {
  // The simple base makes the 800 x 600 black output that PrepareOutput
  // later resizes.
  CF_SimpleFilter::Load();
  transform_ = ColorTransform();
  clip_ = SoftClip();
  if (!element_) return 0;

  static constexpr const char* kRows[3] = {"r", "g", "b"};
  for (const tinyxml2::XMLElement* mat = element_->FirstChildElement("mat"); mat;
       mat = mat->NextSiblingElement("mat")) {
    // Every entry of a "mat" is read, with 0 for a missing row or attribute,
    // so a row that is not written feeds nothing.
    ColorTransform step;
    for (int row = 0; row < 3; ++row) {
      const tinyxml2::XMLElement* rowElement = mat->FirstChildElement(kRows[row]);
      for (int col = 0; col < 3; ++col) {
        double value = 0;
        ReadAttribute(rowElement, kRows[col], value);
        step.matrix[row][col] = static_cast<float>(value);
      }
    }
    const tinyxml2::XMLElement* offset = mat->FirstChildElement("c");
    for (int col = 0; col < 3; ++col) {
      double value = 0;
      ReadAttribute(offset, kRows[col], value);
      step.offset[col] = static_cast<float>(value);
    }
    transform_.Then(step);
  }

  const tinyxml2::XMLElement* param = element_->FirstChildElement("param");
  ReadAttribute(param, "upper", clip_.upper);
  ReadAttribute(param, "lower", clip_.lower);
  ReadAttribute(param, "uedge", clip_.upperEdge);
  ReadAttribute(param, "ledge", clip_.lowerEdge);
  return 0;
}

// The base calls RunKernel once per Process, only when there is a source
// and an output: in is the source resized (bilinear) to the output size, out
// is the output, already sized and black. Parameters that come from the
// template's variable block would be read here, at every run, with
// Param(kSomeParam) for entries declared in kTraits.params; this filter has
// none. The kernel polls StopFlag() between rows and says whether it ran to
// the end; the base turns that into Finished or Cancelled.
bool CF_Color::RunKernel(const cv::Mat& in, cv::Mat& out) {
  return ColorKernel(in, out, transform_, clip_, StopFlag());
}

}  // namespace grinsnap
