#include "filters/multi/collage_3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/sampler.h"
#include "core/xml_params.h"
#include "filters/gif_writer.h"
#include "filters/multi/model_turn.h"
#include "filters/kernel_support.h"
#include "platform/image_loader.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "platform/paths.h"

namespace grinsnap {

namespace {

constexpr float kGrey = 128.0f;
constexpr float kSpecularPower = 50.0f;

// Varying formats: position, colour, texture coordinate and extras.
constexpr std::int32_t kSpecularWithTexCoords = 0x6000F;
constexpr std::int32_t kSpecularWithoutTexCoords = 0x9000B;
constexpr std::int32_t kPlainWithTexCoords = 7;
constexpr std::int32_t kPlainWithoutTexCoords = 0x3000B;

using Vec3 = std::array<float, 3>;

float Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Row vector times a row-major matrix.
Vec3 Times(const float* v, const Matrix3& m) {
  return {v[0] * m[0] + v[1] * m[3] + v[2] * m[6], v[0] * m[1] + v[1] * m[4] + v[2] * m[7],
          v[0] * m[2] + v[1] * m[5] + v[2] * m[8]};
}

cv::Mat LoadPicture(const std::filesystem::path& folder, const tinyxml2::XMLElement* param, const char* name,
                    bool keepAlpha) {
  const char* file = param ? param->Attribute(name) : nullptr;
  if (!file) return {};
  return LoadImageFile(ResolveDataPath(folder, file), ImageLoadOptions{.keepAlpha = keepAlpha}).image;
}

}  // namespace

struct CF_3DCollage::HoleSampler {
  std::optional<TypedSampler<std::uint8_t, 3, 3>> sampler;
  float k = 1, s = 1;
};

CF_3DCollage::CF_3DCollage() : CF_MultiSrc(kClassName, kTraits) {}

int CF_3DCollage::Load() {
  CF_MultiSrc::Load();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  background_ = LoadPicture(Folder(), param, "background", false);
  background2_ = LoadPicture(Folder(), param, "background2", true);
  if (!background2_.empty() && background2_.channels() == 3) cv::cvtColor(background2_, background2_, cv::COLOR_BGR2BGRA);
  int width = 0, height = 0;
  ReadAttribute(param, "width", width);
  ReadAttribute(param, "height", height);
  if (width >= 1 && height >= 1)
    canvas_ = {width, height};
  else if (!background_.empty())
    canvas_ = background_.size();
  if (const char* mesh = param ? param->Attribute("mesh") : nullptr) {
    std::string error;
    if (renderer_.LoadMesh(ResolveDataPath(Folder(), mesh), &error)) {
      const MeshData& m = renderer_.Mesh();
      meshHasTexCoords_ = (m.vertexFormat & kVertexTexCoord) != 0;
      holeCount_ = 1;
      const TriangleAttributes& a = m.triangleAttributes;
      if (a.present && a.perTriangle > 0)
        for (std::size_t t = 0; t < a.values.size(); t += static_cast<std::size_t>(a.perTriangle))
          holeCount_ = std::max(holeCount_, a.values[t] + 1);
    }
  }
  return 0;
}

cv::Size CF_3DCollage::Canvas() const { return canvas_; }

void CF_3DCollage::SetFrameBlock(FrameBlock* block) {
  CF_MultiSrc::SetFrameBlock(block);
  mesh_ = dynamic_cast<MeshBlock*>(block);
  // The 3D template leaves the canvas to the filter.
  if (block && (block->frameWidth < 1 || block->frameHeight < 1)) {
    block->frameWidth = canvas_.width;
    block->frameHeight = canvas_.height;
  }
}

void CF_3DCollage::SetSources(std::span<const cv::Mat> images) {
  CF_MultiSrc::SetSources(images);
  backgroundRun_ = true;
}

bool CF_3DCollage::PrepareOutput(const cv::Size* box) {
  const bool replaced = CF_MultiSrc::PrepareOutput(box);
  if (!output_.empty()) depth_ = cv::Mat::zeros(output_.size(), CV_32FC1);
  return replaced;
}

const cv::Mat& CF_3DCollage::HoleImage(int g) const {
  static const cv::Mat kNone;
  if (g <= 0) return source_;
  const auto i = static_cast<std::size_t>(g - 1);
  return i < holeImages_.size() ? holeImages_[i] : kNone;
}

void CF_3DCollage::VertexFunction(const VertexComponents& vertex, const VaryingSlots& out, void* self) {
  const auto& f = *static_cast<const CF_3DCollage*>(self);
  const MeshBlock& b = *f.mesh_;
  const float* p = vertex.position;
  Vec3 P = Times(p, b.rotation);
  for (int i = 0; i < 3; ++i) P[i] -= b.position[i];
  static constexpr float kNoNormal[3] = {0, 0, -1};
  Vec3 N = Times(vertex.normal ? vertex.normal : kNoNormal, b.rotation);
  const float length = std::sqrt(Dot(N, N));
  if (length > 0)
    for (float& c : N) c /= length;
  const float fov = b.fieldOfView;
  if (out.position) {
    out.position[0] = P[0] / P[2] / fov;
    out.position[1] = P[1] / P[2] / fov;
    out.position[2] = 1.0f / P[2];
  }
  const float distance = std::sqrt(Dot(P, P));
  const float light = 0.3f + 0.7f * (distance > 0 ? std::fabs(Dot(P, N)) / distance : 0.0f);
  if (out.colour) out.colour[0] = out.colour[1] = out.colour[2] = light;
  int next = 0;
  if (f.meshHasTexCoords_) {
    if (out.texCoord && vertex.texCoord) out.texCoord[0] = vertex.texCoord[0], out.texCoord[1] = vertex.texCoord[1];
  } else if (out.extra && out.extraCount >= 3) {
    std::copy(p, p + 3, out.extra);
    next = 3;
  }
  if ((b.renderFlags & kRenderSpecular) && out.extra && out.extraCount >= next + 6) {
    std::copy(N.begin(), N.end(), out.extra + next);
    std::copy(P.begin(), P.end(), out.extra + next + 3);
  }
}

void CF_3DCollage::PixelFunction(const FragmentInput& fragment, float out[3], void* self) {
  const auto& f = *static_cast<const CF_3DCollage*>(self);
  const MeshBlock& b = *f.mesh_;
  const MeshData& mesh = f.renderer_.Mesh();
  const TriangleAttributes& attributes = mesh.triangleAttributes;
  int g = 0;
  if (attributes.present && attributes.perTriangle > 0) {
    const std::size_t at = static_cast<std::size_t>(fragment.triangle) * static_cast<std::size_t>(attributes.perTriangle);
    if (at < attributes.values.size()) g = std::max(0, attributes.values[at]);
  }
  float u = 0.5f, v = 0.5f;
  if (fragment.texCoord) {
    u = fragment.texCoord[0];
    v = fragment.texCoord[1];
  } else if (fragment.extra && mesh.meshAttributes.present && g < mesh.meshAttributes.rows &&
             mesh.meshAttributes.columns >= 9) {
    // The hole's planar projection: origin, u axis, v axis, stored bit for bit.
    float row[9];
    std::memcpy(row, mesh.meshAttributes.values.data() + static_cast<std::size_t>(g) * mesh.meshAttributes.columns,
                sizeof row);
    const Vec3 d = {fragment.extra[0] - row[0], fragment.extra[1] - row[1], fragment.extra[2] - row[2]};
    u = Dot(d, {row[3], row[4], row[5]}) + 0.5f;
    v = Dot(d, {row[6], row[7], row[8]}) + 0.5f;
  }
  cv::Vec3f texel(kGrey, kGrey, kGrey);
  if (static_cast<std::size_t>(g) < f.samplers_.size() && f.samplers_[static_cast<std::size_t>(g)].sampler) {
    const HoleSampler& h = f.samplers_[static_cast<std::size_t>(g)];
    texel = h.sampler->At(0.5f + h.k * (u - 0.5f) / h.s, 0.5f + (v - 0.5f) / h.s);
  }
  const float* colour = fragment.colour;
  for (int c = 0; c < 3; ++c) out[c] = (colour ? colour[c] : 1.0f) * texel[c] / 255.0f;
  if ((b.renderFlags & kRenderSpecular) && fragment.extra) {
    const float* N = fragment.extra + f.extraOffset_;
    const float* P = N + 3;
    const float length = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
    if (length > 0) {
      const Vec3 V = {P[0] / length, P[1] / length, P[2] / length};
      const float c = V[0] * N[0] + V[1] * N[1] + V[2] * N[2];
      const Vec3 R = {2 * c * N[0] - V[0], 2 * c * N[1] - V[1], 2 * c * N[2] - V[2]};
      const float h = std::max(Dot(R, b.lightDirection), 0.0f);
      const float shine = std::pow(h, kSpecularPower);
      for (int k = 0; k < 3; ++k) out[k] += b.specular[k] * shine;
    }
  }
}

RenderResult CF_3DCollage::Run() {
  if (!mesh_) throw std::runtime_error("the 3D collage filter needs the 3D template's parameters");
  const cv::Size size = output_.size();
  if (!background_.empty())
    cv::resize(background_, output_, size, 0, 0, cv::INTER_LINEAR);
  else
    output_.setTo(cv::Scalar::all(kGrey));
  if (depth_.size() != size) depth_.create(size, CV_32FC1);
  depth_.setTo(cv::Scalar(0));

  const int shorter = std::min(size.width, size.height);
  mesh_->cellSize = shorter < 100 ? 100 : shorter;
  const int cell = mesh_->cellSize;
  if (!CollectHoleImages(holeCount_, [cell](int) { return cell; })) return RenderResult::Stopped();
  backgroundRun_ = false;
  if (renderer_.Mesh().Empty()) return RenderResult::Done();

  // One sampler per hole; the crop or fit of each photo to its face.
  samplers_.assign(static_cast<std::size_t>(holeCount_), HoleSampler{});
  const bool fit = mesh_->fillMode == 1;
  const cv::Scalar fill((mesh_->backgroundColor >> 16) & 0xFF, (mesh_->backgroundColor >> 8) & 0xFF,
                        mesh_->backgroundColor & 0xFF);
  for (int g = 0; g < holeCount_; ++g) {
    const cv::Mat& image = HoleImage(g);
    if (image.empty() || image.type() != CV_8UC3) continue;
    HoleSampler& h = samplers_[static_cast<std::size_t>(g)];
    const bool margins = mesh_->hasAspect && fit;
    h.sampler.emplace(image, margins ? SampleBorder::Constant : SampleBorder::Clamp, fill);
    if (mesh_->hasAspect) {
      h.k = static_cast<float>(image.rows) / static_cast<float>(image.cols);
      h.s = fit ? std::min(h.k, 1.0f) : std::max(h.k, 1.0f);
    }
  }

  const MeshBlock& b = *mesh_;
  renderer_.SetCullMode(static_cast<CullMode>(std::clamp(b.cullMode, 0, 2)));
  renderer_.SetTranslation({-b.position[0], -b.position[1], -b.position[2]});
  renderer_.SetRotation(b.rotation);
  renderer_.SetFocalScale(std::tan(b.fieldOfView / 2));
  Viewport viewport{TruncateToInt(b.configExtra[0] * size.width), TruncateToInt(b.configExtra[1] * size.height),
                    TruncateToInt(b.configExtra[2] * size.width), TruncateToInt(b.configExtra[3] * size.height)};
  // A model without a viewport of its own fills the picture.
  if (viewport.width <= 0 || viewport.height <= 0) viewport = {0, 0, size.width, size.height};
  renderer_.SetViewport(viewport);
  renderer_.SetTexture(cv::Mat());
  renderer_.SetNormaliseNormals((b.renderFlags & kRenderNormaliseNormals) != 0);
  const bool specular = (b.renderFlags & kRenderSpecular) != 0;
  renderer_.SetVaryingFormat(specular ? (meshHasTexCoords_ ? kSpecularWithTexCoords : kSpecularWithoutTexCoords)
                                      : (meshHasTexCoords_ ? kPlainWithTexCoords : kPlainWithoutTexCoords));
  extraOffset_ = meshHasTexCoords_ ? 0 : 3;
  renderer_.SetCustomVertexFunction(&CF_3DCollage::VertexFunction);
  renderer_.SetPixelShader(&CF_3DCollage::PixelFunction);
  renderer_.SetUserData(this);
  renderer_.SetCancelFlag(StopFlag());
  if (!renderer_.Render(&depth_, output_)) return RenderResult::Stopped();

  if (!background2_.empty()) {
    cv::Mat overlay;
    cv::resize(background2_, overlay, size, 0, 0, cv::INTER_LINEAR);
    // Rows are independent: the overlay is laid on in parallel.
    ParallelRows(size.height, nullptr, [&](int y) {
      const std::uint8_t* o = overlay.ptr<std::uint8_t>(y);
      std::uint8_t* p = output_.ptr<std::uint8_t>(y);
      for (int x = 0; x < size.width; ++x, o += 4, p += 3) {
        const float a = o[3] / 255.0f;
        for (int c = 0; c < 3; ++c) p[c] = ClampToByte(a * o[c] + (1.0f - a) * p[c]);
      }
    });
  }
  return RenderResult::Done();
}

bool CF_3DCollage::SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) {
  animationError_.clear();
  return SaveModelTurn(*this, mesh_, gifOptions_, path, maxWidth, maxHeight, progress, animationError_);
}

}  // namespace grinsnap
