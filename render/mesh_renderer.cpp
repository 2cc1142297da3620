#include "render/mesh_renderer.h"

#include <cmath>
#include <stdexcept>
#include <type_traits>

#include <opencv2/core/hal/intrin.hpp>

#include "core/sampler.h"

namespace grinsnap {

std::int32_t DefaultVaryingFormat(std::int32_t vertexFormat) {
  std::int32_t format = 0;
  if (vertexFormat & kVertexPosition) format |= kVaryingPosition;
  if (vertexFormat & (kVertexColour | kVertexNormal)) format |= kVaryingColour;
  if (vertexFormat & kVertexTexCoord) format |= kVaryingTexCoord;
  const int extra = ExtraCount(vertexFormat, kVertexExtra);
  if (extra > 0) format |= kVaryingExtra | (extra << 16);
  return format;
}

VaryingLayout VaryingLayout::Of(std::int32_t varyingFormat) {
  VaryingLayout layout;
  int next = 0;
  if (varyingFormat & kVaryingPosition) layout.position = next, next += 3;
  if (varyingFormat & kVaryingColour) layout.colour = next, next += 3;
  if (varyingFormat & kVaryingTexCoord) layout.texCoord = next, next += 2;
  layout.extraCount = ExtraCount(varyingFormat, kVaryingExtra);
  if (layout.extraCount > 0) layout.extra = next, next += layout.extraCount;
  layout.stride = next;
  return layout;
}

void MeshRenderer::InitRenderer() {
  mesh_ = MeshData();
  varyingFormat_ = DefaultVaryingFormat(mesh_.vertexFormat);
  viewport_.reset();
  rotation_ = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  translation_ = {0, 0, 0};
  focalScale_ = 1.0f;
  normaliseNormals_ = false;
  cullMode_ = CullMode::None;
  texture_.release();
  customVertex_ = nullptr;
  pixelShader_ = nullptr;
  userData_ = nullptr;
  varyingOffsets_ = {-1, -1, -1, -1};
  projected_.clear();
  currentTriangle_ = 0;
}

void MeshRenderer::CreateMesh(int triangleCount, std::int32_t vertexFormat, int vertexCount) {
  if (triangleCount < 0 || vertexCount < 0) throw std::invalid_argument("a mesh cannot have negative counts");
  if (vertexFormat & ~kVertexKnownBits & 0xFFFF) throw std::invalid_argument("unknown vertex format");
  MeshData mesh;
  mesh.vertexFormat = vertexFormat;
  mesh.vertexCount = vertexCount;
  mesh.triangleCount = triangleCount;
  mesh.vertices.assign(static_cast<std::size_t>(vertexCount) * VertexLayout::Of(vertexFormat).stride, 0.0f);
  mesh.indices.assign(static_cast<std::size_t>(triangleCount) * 3, 0);
  mesh_ = std::move(mesh);
  varyingFormat_ = DefaultVaryingFormat(vertexFormat);
  projected_.clear();
}

bool MeshRenderer::LoadMesh(const std::filesystem::path& path, std::string* error) {
  MeshData mesh;
  if (!LoadMeshFile(path, mesh, error)) return false;
  SetMesh(std::move(mesh));
  return true;
}

bool MeshRenderer::LoadMesh(std::span<const std::uint8_t> bytes, std::string* error) {
  MeshData mesh;
  if (!ParseMesh(bytes, mesh, error)) return false;
  SetMesh(std::move(mesh));
  return true;
}

void MeshRenderer::SetMesh(MeshData mesh) {
  const std::size_t stride = static_cast<std::size_t>(VertexLayout::Of(mesh.vertexFormat).stride);
  if (mesh.vertexCount < 0 || mesh.triangleCount < 0 ||
      mesh.vertices.size() != static_cast<std::size_t>(mesh.vertexCount) * stride ||
      mesh.indices.size() != static_cast<std::size_t>(mesh.triangleCount) * 3)
    throw std::invalid_argument("the mesh's arrays do not match its counts");
  for (std::int32_t index : mesh.indices)
    if (index < 0 || index >= mesh.vertexCount) throw std::invalid_argument("a triangle names a vertex outside the mesh");
  mesh_ = std::move(mesh);
  varyingFormat_ = DefaultVaryingFormat(mesh_.vertexFormat);
  projected_.clear();
}

void MeshRenderer::ReleaseMesh() {
  mesh_ = MeshData();
  viewport_.reset();
  projected_.clear();
}

void MeshRenderer::SetVaryingFormat(std::int32_t format) {
  varyingFormat_ = format;
  projected_.clear();
}

void MeshRenderer::RunVertexStage() {
  const VertexLayout in = VertexLayout::Of(mesh_.vertexFormat);
  const VaryingLayout out = VaryingLayout::Of(varyingFormat_);
  const std::size_t size = static_cast<std::size_t>(mesh_.vertexCount) * out.stride;
  if (projected_.size() != size) projected_.assign(size, 0.0f);
  const float* m = rotation_.data();
  const float* t = translation_.data();
  for (int i = 0; i < mesh_.vertexCount; ++i) {
    const float* v = mesh_.vertices.data() + static_cast<std::size_t>(i) * in.stride;
    float* p = projected_.data() + static_cast<std::size_t>(i) * out.stride;
    VertexComponents vertex;
    vertex.index = i;
    vertex.position = in.position >= 0 ? v + in.position : nullptr;
    vertex.colour = in.colour >= 0 ? v + in.colour : nullptr;
    vertex.normal = in.normal >= 0 ? v + in.normal : nullptr;
    vertex.texCoord = in.texCoord >= 0 ? v + in.texCoord : nullptr;
    vertex.extra = in.extra >= 0 ? v + in.extra : nullptr;
    vertex.extraCount = in.extraCount;
    VaryingSlots slots;
    slots.position = out.position >= 0 ? p + out.position : nullptr;
    slots.colour = out.colour >= 0 ? p + out.colour : nullptr;
    slots.texCoord = out.texCoord >= 0 ? p + out.texCoord : nullptr;
    slots.extra = out.extra >= 0 ? p + out.extra : nullptr;
    slots.extraCount = out.extraCount;
    if (customVertex_) {
      customVertex_(vertex, slots, userData_);
      continue;
    }

    const float zero[3] = {0, 0, 0};
    const float* q = vertex.position ? vertex.position : zero;
    const float x = q[0] * m[0] + q[1] * m[3] + q[2] * m[6] + t[0];
    const float y = q[0] * m[1] + q[1] * m[4] + q[2] * m[7] + t[1];
    const float z = q[0] * m[2] + q[1] * m[5] + q[2] * m[8] + t[2];
    if (slots.position) {
      slots.position[0] = x / z / focalScale_;
      slots.position[1] = y / z / focalScale_;
      slots.position[2] = 1.0f / z;
    }

    // A light at the camera lights both faces: the absolute cosine between
    // the normal and the line of sight.
    float light = 1.0f;
    if (vertex.normal) {
      const float* n = vertex.normal;
      float nx = n[0] * m[0] + n[1] * m[3] + n[2] * m[6];
      float ny = n[0] * m[1] + n[1] * m[4] + n[2] * m[7];
      float nz = n[0] * m[2] + n[1] * m[5] + n[2] * m[8];
      if (normaliseNormals_) {
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (length > 0.0f) nx /= length, ny /= length, nz /= length;
      }
      const float distance = std::sqrt(x * x + y * y + z * z);
      light = std::fabs(-(nx * x + ny * y + nz * z) / distance);
    }
    if (slots.colour) {
      // Red, green, blue in the mesh; blue, green, red in the varyings.
      const float* c = vertex.colour;
      slots.colour[0] = (c ? c[2] : 1.0f) * light;
      slots.colour[1] = (c ? c[1] : 1.0f) * light;
      slots.colour[2] = (c ? c[0] : 1.0f) * light;
    }
    if (slots.texCoord) {
      slots.texCoord[0] = vertex.texCoord ? vertex.texCoord[0] : 0.0f;
      slots.texCoord[1] = vertex.texCoord ? vertex.texCoord[1] : 0.0f;
    }
    if (slots.extra) {
      const bool same = vertex.extraCount == slots.extraCount;
      for (int e = 0; e < slots.extraCount; ++e) slots.extra[e] = same ? vertex.extra[e] : 0.0f;
    }
  }
}

namespace {

inline std::uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<std::uint8_t>(v);
}

// The texture as the default shading reads it: the typed sampler for 8-bit
// three-channel pictures, the general one for the rest. Both give the same
// values.
struct GeneralTexture {
  const cv::Mat& image;
  cv::Vec3f At(float u, float v) const { return SampleImage(image, u, v, {}); }
};
struct Bgr8Texture {
  TypedSampler<std::uint8_t, 3, 3> sampler;
  cv::Vec3f At(float u, float v) const { return sampler.At(u, v); }
};

#if CV_SIMD128
// Stores the first three lanes as ToByte does: NaN and values below 0 give
// 0, values of 255 and more (infinity too) give 255, the rest are truncated.
inline void StoreColour(std::uint8_t* pixel, cv::v_float32x4 colour) {
  colour = cv::v_min(cv::v_setall_f32(255.0f), colour);  // NaN stays NaN and truncates to 0
  const cv::v_int32x4 whole = cv::v_trunc(colour);
  const cv::v_uint8x16 bytes = cv::v_pack_u(cv::v_pack(whole, whole), cv::v_pack(whole, whole));
  const std::uint32_t bits = cv::v_reinterpret_as_u32(bytes).get0();
  pixel[0] = static_cast<std::uint8_t>(bits);
  pixel[1] = static_cast<std::uint8_t>(bits >> 8);
  pixel[2] = static_cast<std::uint8_t>(bits >> 16);
}
#endif
struct NoTexture {
  cv::Vec3f At(float, float) const { return {1, 1, 1}; }
};

// Everything a triangle's fragments need.
struct FragmentSetup {
  int count = 0;        // varyings per fragment
  int depth = -1;       // offsets, -1 absent
  int colour = -1;
  int texCoord = -1;
  int extra = -1;
  std::vector<float> base, step2, step3;  // A1, A2 - A1, A3 - A1
  std::vector<float> value;               // the current fragment's varyings
};

// N > 0: fragments of exactly N varyings, kept in local arrays the compiler
// can hold in registers; N = 0: any count, in the setup's vectors.
template <typename Texture, int N>
bool DrawTriangles(const MeshData& mesh, const std::vector<float>& projected, const VaryingLayout& layout,
                   const ScreenMapping& map, CullMode cull, cv::Mat* depthBuffer, cv::Mat& target,
                   const Texture& texture, bool textured, PixelShader shader, void* userData, int& currentTriangle,
                   FragmentSetup& f, const std::atomic<bool>* cancel) {
  const int channels = target.channels();
  const cv::Size size = target.size();
  constexpr bool kFixed = N > 0;
  const int count = kFixed ? N : f.count;
  float fixedBase[kFixed ? N : 1], fixedStep2[kFixed ? N : 1], fixedStep3[kFixed ? N : 1], fixedValue[kFixed ? N : 1];
  float* const base = kFixed ? fixedBase : f.base.data();
  float* const step2 = kFixed ? fixedStep2 : f.step2.data();
  float* const step3 = kFixed ? fixedStep3 : f.step3.data();
  float* const value = kFixed ? fixedValue : f.value.data();
  for (int t = 0; t < mesh.triangleCount; ++t) {
    if (cancel && t % 64 == 0 && cancel->load(std::memory_order_relaxed)) return false;
    currentTriangle = t;
    const std::int32_t* index = mesh.indices.data() + static_cast<std::size_t>(t) * 3;
    ProjectedCorner corner[3];
    const float* vertex[3];
    for (int k = 0; k < 3; ++k) {
      vertex[k] = projected.data() + static_cast<std::size_t>(index[k]) * layout.stride;
      const float* position = vertex[k] + layout.position;
      corner[k] = {position[0], position[1], position[2]};
    }
    // The fragment varyings of each corner: depth, colour, texture
    // coordinate, extra attributes.
    float* corners[3] = {base, step2, step3};
    for (int k = 0; k < 3; ++k) {
      float* a = corners[k];
      if (f.depth >= 0) a[f.depth] = 1.0f / vertex[k][layout.position + 2];
      if (f.colour >= 0) std::copy_n(vertex[k] + layout.colour, 3, a + f.colour);
      if (f.texCoord >= 0) std::copy_n(vertex[k] + layout.texCoord, 2, a + f.texCoord);
      if (f.extra >= 0) std::copy_n(vertex[k] + layout.extra, layout.extraCount, a + f.extra);
    }
    for (int i = 0; i < count; ++i) {
      step2[i] -= base[i];
      step3[i] -= base[i];
    }

    RasteriseTriangle(corner, map, size, cull, [&](int x, int y, float beta, float gamma) {
      for (int i = 0; i < count; ++i) value[i] = base[i] + beta * step2[i] + gamma * step3[i];
      if (depthBuffer) {
        float& stored = depthBuffer->ptr<float>(y)[x];
        const float d = 1.0f / value[f.depth];
        if (!(stored < d)) return;
        stored = d;
      }
      float colour[3];
      if (shader) {
        FragmentInput in;
        in.x = x;
        in.y = y;
        in.colour = f.colour >= 0 ? value + f.colour : nullptr;
        in.texCoord = f.texCoord >= 0 ? value + f.texCoord : nullptr;
        in.extra = f.extra >= 0 ? value + f.extra : nullptr;
        in.depth = f.depth >= 0 ? value + f.depth : nullptr;
        in.triangle = currentTriangle;
        shader(in, colour, userData);
        for (float& c : colour) c *= 255.0f;
      } else {
#if CV_SIMD128
        if constexpr (std::is_same_v<Texture, Bgr8Texture>) {
          // The default shading of an 8-bit texture in vector lanes: the
          // same operations in the same order as below.
          cv::v_float32x4 shade = cv::v_setall_f32(1.0f);
          if (f.colour >= 0)
            shade = cv::v_max(cv::v_float32x4(value[f.colour], value[f.colour + 1], value[f.colour + 2], 0.0f),
                              cv::v_setall_f32(0.0f));
          const cv::v_float32x4 texel = texture.sampler.AtLanes(value[f.texCoord], value[f.texCoord + 1]);
          shade = shade * (texel / cv::v_setall_f32(255.0f)) * cv::v_setall_f32(255.0f);
          StoreColour(target.ptr<std::uint8_t>(y) + static_cast<std::ptrdiff_t>(x) * channels, shade);
          return;
        }
#endif
        for (int c = 0; c < 3; ++c) colour[c] = f.colour >= 0 ? std::max(value[f.colour + c], 0.0f) : 1.0f;
        if (textured) {
          const cv::Vec3f texel = texture.At(value[f.texCoord], value[f.texCoord + 1]);
          for (int c = 0; c < 3; ++c) colour[c] *= texel[c] / 255.0f;
        }
        for (float& c : colour) c *= 255.0f;
      }
      std::uint8_t* pixel = target.ptr<std::uint8_t>(y) + static_cast<std::ptrdiff_t>(x) * channels;
      pixel[0] = ToByte(colour[0]);
      pixel[1] = ToByte(colour[1]);
      pixel[2] = ToByte(colour[2]);
    });
  }
  return true;
}

}  // namespace

bool MeshRenderer::Render(cv::Mat* depthBuffer, cv::Mat& target) {
  varyingOffsets_ = {-1, -1, -1, -1};
  if (target.depth() != CV_8U || (target.channels() != 3 && target.channels() != 4))
    throw std::invalid_argument("the renderer draws into 8-bit pictures of three or four channels");
  if (depthBuffer && (depthBuffer->type() != CV_32FC1 || depthBuffer->size() != target.size()))
    throw std::invalid_argument("the depth buffer must be a 32-bit float picture of the target's size");
  if (mesh_.Empty() || target.empty()) return true;
  for (std::int32_t index : mesh_.indices)
    if (index < 0 || index >= mesh_.vertexCount) throw std::invalid_argument("a triangle names a vertex outside the mesh");

  RunVertexStage();
  const VaryingLayout layout = VaryingLayout::Of(varyingFormat_);
  if (layout.position < 0) return true;

  FragmentSetup f;
  if (depthBuffer) f.depth = f.count, f.count += 1;
  if (layout.colour >= 0) f.colour = f.count, f.count += 3;
  if (layout.texCoord >= 0) f.texCoord = f.count, f.count += 2;
  // Only a pixel shader reads the extra attributes; the default shading
  // would interpolate them for nothing.
  if (layout.extra >= 0 && pixelShader_) f.extra = f.count, f.count += layout.extraCount;
  varyingOffsets_ = {f.depth, f.colour, f.texCoord, f.extra};
  f.base.assign(static_cast<std::size_t>(f.count), 0.0f);
  f.step2 = f.base;
  f.step3 = f.base;
  f.value = f.base;

  const Viewport view = viewport_.value_or(Viewport{0, 0, target.cols, target.rows});
  const float scale = static_cast<float>(view.height) / 2.0f;
  const ScreenMapping map{static_cast<float>(view.x) + static_cast<float>(view.width) / 2.0f,
                          static_cast<float>(view.y) + static_cast<float>(view.height) / 2.0f, scale, -scale};

  const bool textured = !pixelShader_ && !texture_.empty() && f.texCoord >= 0;
  auto draw = [&](const auto& texture, bool withTexture) {
    using Texture = std::decay_t<decltype(texture)>;
    auto run = [&]<int N>() {
      return DrawTriangles<Texture, N>(mesh_, projected_, layout, map, cullMode_, depthBuffer, target, texture,
                                       withTexture, pixelShader_, userData_, currentTriangle_, f, cancel_);
    };
    // The usual fragments (depth, colour and texture coordinate, or fewer)
    // get a fixed count; shaders with extra attributes the general loop.
    switch (f.count) {
      case 2: return run.template operator()<2>();
      case 3: return run.template operator()<3>();
      case 4: return run.template operator()<4>();
      case 5: return run.template operator()<5>();
      case 6: return run.template operator()<6>();
      default: return run.template operator()<0>();
    }
  };
  if (textured && texture_.type() == CV_8UC3)
    return draw(Bgr8Texture{TypedSampler<std::uint8_t, 3, 3>(texture_, SampleBorder::Clamp)}, true);
  if (textured) return draw(GeneralTexture{texture_}, true);
  return draw(NoTexture{}, false);
}

}  // namespace grinsnap
