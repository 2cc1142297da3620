#include "filters/multi/teapot.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "core/xml_params.h"
#include "filters/kernel_support.h"
#include "filters/multi/model_turn.h"
#include "platform/paths.h"

namespace grinsnap {

namespace {

// Varying formats: position and colour; position, colour and texture coordinate.
constexpr std::int32_t kLitFormat = kVaryingPosition | kVaryingColour;
constexpr std::int32_t kMirrorFormat = kVaryingPosition | kVaryingColour | kVaryingTexCoord;

}  // namespace

CF_Teapot::CF_Teapot() : CF_SimpleFilter(kClassName, kTraits) {}

int CF_Teapot::Load() {
  CF_SimpleFilter::Load();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  const std::string mesh = AttributeText(param, "mesh");
  if (!mesh.empty()) {
    std::string error;
    if (!renderer_.LoadMesh(ResolveDataPath(Folder(), mesh), &error)) renderer_.ReleaseMesh();
  }
  return 0;
}

void CF_Teapot::SetFrameBlock(FrameBlock* block) {
  mesh_ = dynamic_cast<MeshBlock*>(block);
}

bool CF_Teapot::PrepareOutput(const cv::Size* box) {
  const bool replaced = CF_SimpleFilter::PrepareOutput(box);
  if (!output_.empty() && depth_.size() != output_.size()) depth_.create(output_.size(), CV_32FC1);
  return replaced;
}

void CF_Teapot::MirrorVertex(const VertexComponents& vertex, const VaryingSlots& out, void* self) {
  const MeshBlock& b = *static_cast<CF_Teapot*>(self)->mesh_;
  const Matrix3& m = b.rotation;
  const float* p = vertex.position;
  const float* n = vertex.normal;
  float P[3], N[3];
  for (int j = 0; j < 3; ++j) {
    P[j] = p[0] * m[j] + p[1] * m[3 + j] + p[2] * m[6 + j] - b.position[j];
    N[j] = n ? n[0] * m[j] + n[1] * m[3 + j] + n[2] * m[6 + j] : 0.0f;
  }
  const float nLength = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
  if (nLength > 0)
    for (float& v : N) v /= nLength;
  const float focal = std::tan(b.fieldOfView / 2);
  if (out.position) {
    out.position[0] = P[0] / P[2] / focal;
    out.position[1] = P[1] / P[2] / focal;
    out.position[2] = 1 / P[2];
  }
  const float c = P[0] * N[0] + P[1] * N[1] + P[2] * N[2];
  const float pLength = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
  if (out.colour) {
    const float shade = pLength > 0 ? std::fabs(c / pLength) : 0.0f;
    out.colour[0] = out.colour[1] = out.colour[2] = shade;
  }
  if (out.texCoord) {
    // The reflected ray, as longitude and latitude of the panorama.
    const float R[3] = {2 * c * N[0] - P[0], 2 * c * N[1] - P[1], 2 * c * N[2] - P[2]};
    const float rLength = std::sqrt(R[0] * R[0] + R[1] * R[1] + R[2] * R[2]);
    float u0 = std::atan(R[0] / R[2]) / std::numbers::pi_v<float>;
    if (R[2] < 0 && R[0] > 0) u0 += 1;
    if (R[2] < 0 && R[0] < 0) u0 -= 1;
    out.texCoord[0] = (u0 + 1) / 2;
    out.texCoord[1] = rLength > 0 ? std::asin(R[1] / rLength) / std::numbers::pi_v<float> + 0.5f : 0.5f;
  }
}

bool CF_Teapot::SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) {
  animationError_.clear();
  return SaveModelTurn(*this, mesh_, GifWriterOptions{}, path, maxWidth, maxHeight, progress, animationError_);
}

RenderResult CF_Teapot::Run() {
  if (!mesh_) throw std::runtime_error("the model filter needs the 3D template's parameters");
  const cv::Size size = output_.size();
  if (depth_.size() != size) depth_.create(size, CV_32FC1);
  depth_.setTo(cv::Scalar(0));
  output_.setTo(cv::Scalar::all(0));
  const bool havePhoto = !source_.empty();
  if (havePhoto) {
    cv::Mat scratch;
    photo_ = SourceAt(source_.size(), scratch).clone();
    cv::resize(photo_, output_, size, 0, 0, cv::INTER_LINEAR);
  } else {
    photo_.release();
  }
  if (renderer_.Mesh().Empty()) return RenderResult::Done();

  const MeshBlock& b = *mesh_;
  renderer_.SetCullMode(static_cast<CullMode>(std::clamp(b.cullMode, 0, 2)));
  if (b.moveable != 0) {
    renderer_.SetTranslation({-b.position[0], -b.position[1], -b.position[2]});
    renderer_.SetRotation(b.rotation);
    renderer_.SetFocalScale(std::tan(b.fieldOfView / 2));
  } else {
    renderer_.SetTranslation({0, 0, 3});
    renderer_.SetRotation(kIdentity3);
  }
  const bool reflect = (b.renderFlags & kRenderReflect) != 0;
  renderer_.SetTexture(havePhoto ? photo_ : cv::Mat());
  renderer_.SetCustomVertexFunction(havePhoto && reflect ? &CF_Teapot::MirrorVertex : nullptr);
  renderer_.SetUserData(this);
  renderer_.SetPixelShader(nullptr);
  renderer_.SetNormaliseNormals((b.renderFlags & kRenderNormaliseNormals) != 0);
  const std::int32_t format = reflect ? (havePhoto ? kMirrorFormat : kLitFormat)
                                      : DefaultVaryingFormat(renderer_.Mesh().vertexFormat);
  renderer_.SetVaryingFormat(format);
  renderer_.SetCancelFlag(StopFlag());
  if (!renderer_.Render(&depth_, output_)) return RenderResult::Stopped();
  return RenderResult::Done();
}

}  // namespace grinsnap
