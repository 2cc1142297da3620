#pragma once

// A small software renderer for textured triangle meshes: a vertex stage
// that rotates, translates, lights and projects, the rasteriser of
// render/rasteriser.h with perspective-correct interpolation, a depth buffer
// of 1/z, and a fragment stage that shades with the vertex colour and a
// texture or calls a caller's pixel shader. Everything runs in single
// precision on the caller's thread; a renderer is used by one thread at a
// time.
//
// Spaces: model positions are rotated (row vector times the row-major
// matrix) and translated into camera space, where the camera sits at the
// origin looking along +z with x to the right and y up; a point is in front
// of the camera when z > 0. It projects to (x / z / focalScale,
// y / z / focalScale, 1 / z), and the viewport maps projected (X, Y) to the
// target with the same scale on both axes: half the viewport's height per
// unit, y up. Winding and the edge rule are those of render/rasteriser.h:
// models wind their faces counter-clockwise as seen from outside.
//
// Colours: varyings, pixel shader outputs and the target are in the
// target's channel order (blue, green, red). Mesh files keep vertex colours
// as red, green, blue; the default vertex stage swaps them.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "render/mesh_file.h"
#include "render/rasteriser.h"

namespace grinsnap {

// Varying format bits: what the vertex stage writes for each vertex.
inline constexpr std::int32_t kVaryingPosition = 1;  // projected x, y and 1/z
inline constexpr std::int32_t kVaryingColour = 2;    // 3 floats
inline constexpr std::int32_t kVaryingTexCoord = 4;  // 2 floats
inline constexpr std::int32_t kVaryingExtra = 8;     // the format's upper 16 bits give the count

// The varyings a vertex format gives by default: the projected position when
// the vertex has a position, a colour when it has a colour or a normal, the
// texture coordinate and the extra attributes when it has them.
std::int32_t DefaultVaryingFormat(std::int32_t vertexFormat);

// Where each varying lies in a projected vertex (-1 absent).
struct VaryingLayout {
  int position = -1;
  int colour = -1;
  int texCoord = -1;
  int extra = -1;
  int extraCount = 0;
  int stride = 0;

  static VaryingLayout Of(std::int32_t varyingFormat);
};

struct Viewport {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// What a custom vertex function reads: the vertex's components (null when
// the vertex format has none) ...
struct VertexComponents {
  int index = 0;
  const float* position = nullptr;  // 3
  const float* colour = nullptr;    // 3, red, green, blue
  const float* normal = nullptr;    // 3
  const float* texCoord = nullptr;  // 2
  const float* extra = nullptr;
  int extraCount = 0;
};

// ... and where it writes (null when the varying format has no such slot).
struct VaryingSlots {
  float* position = nullptr;  // 3: projected x, y and 1/z
  float* colour = nullptr;    // 3
  float* texCoord = nullptr;  // 2
  float* extra = nullptr;
  int extraCount = 0;
};

// What a pixel shader reads for one covered pixel: its position, its
// interpolated varyings (null when absent), its depth z (null without a
// depth buffer) and the number of the triangle being drawn.
struct FragmentInput {
  int x = 0;
  int y = 0;
  const float* colour = nullptr;
  const float* texCoord = nullptr;
  const float* extra = nullptr;
  const float* depth = nullptr;
  int triangle = 0;
};

// Replaces the default transform of one vertex.
using CustomVertexFunction = void (*)(const VertexComponents& vertex, const VaryingSlots& out, void* userData);
// Replaces the default shading of one pixel; writes three values in 0..1.
// It runs only for pixels that pass the depth test and must have no effect
// besides its output.
using PixelShader = void (*)(const FragmentInput& fragment, float out[3], void* userData);

class MeshRenderer {
public:
  MeshRenderer() { InitRenderer(); }

  // Back to the defaults: no mesh, identity rotation, no translation, focal
  // scale 1, no viewport, texture, shader or custom vertex function, no
  // culling, a vertex format of position and texture coordinate.
  void InitRenderer();

  // A mesh of zeroed vertices and indices for its owner to fill. Throws
  // std::invalid_argument for negative counts or an unknown vertex format.
  void CreateMesh(int triangleCount, std::int32_t vertexFormat, int vertexCount);
  // Reads a mesh file (render/mesh_file.h). On failure the renderer keeps
  // the mesh it had and error says why.
  bool LoadMesh(const std::filesystem::path& path, std::string* error = nullptr);
  bool LoadMesh(std::span<const std::uint8_t> bytes, std::string* error = nullptr);
  // Takes a mesh built in memory; its indices must name its vertices
  // (std::invalid_argument otherwise).
  void SetMesh(MeshData mesh);
  void ReleaseMesh();

  // Draws every triangle, in index order, into target (8-bit, three or four
  // channels; the first three bytes of a pixel are written). depthBuffer is
  // null or a 32-bit float, one-channel image of the target's size holding
  // 1/z of what is drawn there (0, nothing yet, counts as infinitely far); a
  // pixel is drawn only where it is nearer. Extra attributes are
  // interpolated only for a pixel shader (the default shading does not read
  // them). Returns false when the cancel flag stopped it between triangles.
  // Throws std::invalid_argument for targets and buffers of other kinds and
  // for indices outside the mesh.
  bool Render(cv::Mat* depthBuffer, cv::Mat& target);

  MeshData& Mesh() { return mesh_; }
  const MeshData& Mesh() const { return mesh_; }
  float* Vertex(int i) { return mesh_.vertices.data() + static_cast<std::size_t>(i) * mesh_.Stride(); }
  std::int32_t* Triangle(int t) { return mesh_.indices.data() + static_cast<std::size_t>(t) * 3; }

  void SetViewport(std::optional<Viewport> viewport) { viewport_ = viewport; }
  // Row-major; positions and normals are row vectors multiplied by it.
  void SetRotation(const std::array<float, 9>& rotation) { rotation_ = rotation; }
  void SetTranslation(const std::array<float, 3>& translation) { translation_ = translation; }
  // Divides the projected x and y: the tangent of half the field of view.
  void SetFocalScale(float focalScale) { focalScale_ = focalScale; }
  void SetNormaliseNormals(bool on) { normaliseNormals_ = on; }
  void SetCullMode(CullMode mode) { cullMode_ = mode; }
  // Read with the image sampler (normalised, interpolated, clamped); the
  // picture is shared, not copied. An empty picture means no texture.
  void SetTexture(const cv::Mat& texture) { texture_ = texture; }
  void SetCustomVertexFunction(CustomVertexFunction function) { customVertex_ = function; }
  void SetPixelShader(PixelShader shader) { pixelShader_ = shader; }
  void SetUserData(void* userData) { userData_ = userData; }
  // Polled between triangles (a mesh from a file may hold millions); null
  // for none.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // What the vertex stage writes; the projected vertices are made again at
  // the next render.
  void SetVaryingFormat(std::int32_t format);

  std::int32_t VaryingFormat() const { return varyingFormat_; }
  CullMode Cull() const { return cullMode_; }
  float FocalScale() const { return focalScale_; }
  int CurrentTriangle() const { return currentTriangle_; }
  // Offsets of depth, colour, texture coordinate and extra attributes in a
  // fragment's varyings during the last render (-1 absent).
  const std::array<int, 4>& VaryingOffsets() const { return varyingOffsets_; }
  const std::vector<float>& ProjectedVertices() const { return projected_; }

private:
  void RunVertexStage();

  MeshData mesh_;
  std::int32_t varyingFormat_ = 0;
  std::optional<Viewport> viewport_;
  std::array<float, 9> rotation_{};
  std::array<float, 3> translation_{};
  float focalScale_ = 1.0f;
  bool normaliseNormals_ = false;
  CullMode cullMode_ = CullMode::None;
  cv::Mat texture_;
  CustomVertexFunction customVertex_ = nullptr;
  PixelShader pixelShader_ = nullptr;
  void* userData_ = nullptr;
  const std::atomic<bool>* cancel_ = nullptr;
  std::array<int, 4> varyingOffsets_{-1, -1, -1, -1};
  std::vector<float> projected_;
  int currentTriangle_ = 0;
};

}  // namespace grinsnap
