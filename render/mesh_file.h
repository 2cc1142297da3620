#pragma once

// Meshes and their file format. A mesh file is little-endian:
//
//   int32 vertex format (the bits below)
//   int32 index width: 1 = 16-bit indices, 2 = 32-bit indices
//   int32 vertex count, then that many vertices of FloatsPerVertex floats
//   int32 triangle count, then three indices per triangle
//   optional: int32 L1, then L1 bytes: int32 k, a 256-byte header and k
//             int32 values per triangle (the triangle attributes)
//   optional: int32 L2, then L2 bytes: int32 a, int32 b, a 256-byte header
//             and a x b int32 values (the mesh attributes)
//
// The file may end right after the indices; an L1 of 0 or less means no
// triangle attributes, an L2 below 1 no mesh attributes.
//
// Meshes come with downloaded templates, so a file is never trusted: every
// count is checked against the bytes that are left before anything is
// allocated, every index against the vertex count, and each optional block
// against its own length; vertices must have a position, so every vertex
// takes at least 12 bytes of the file. A file that fails any check is
// refused whole.
//
// What the blocks mean to the 3D effects: the first attribute of a triangle
// names its hole (0 is the main photo, g >= 1 the g-th further photo); row g
// of the mesh attributes holds the planar projection of hole g as nine
// floats stored bit for bit (origin, u axis, v axis), so that a model-space
// point p of the hole lies at u = (p - origin) . uAxis + 0.5 and
// v = (p - origin) . vAxis + 0.5 on its photo.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace grinsnap {

// Vertex format bits; a vertex is a run of floats with the present
// components in this order.
inline constexpr std::int32_t kVertexPosition = 1;  // x, y, z
inline constexpr std::int32_t kVertexColour = 2;    // r, g, b in 0..1
inline constexpr std::int32_t kVertexNormal = 4;    // x, y, z
inline constexpr std::int32_t kVertexTexCoord = 8;  // u, v (fractions of the texture, v downwards)
inline constexpr std::int32_t kVertexExtra = 16;    // the format's upper 16 bits give the count
inline constexpr std::int32_t kVertexKnownBits = 31;

// A format's extra attribute count: its upper 16 bits when the extra bit is
// set, else 0.
inline int ExtraCount(std::int32_t format, std::int32_t extraBit) {
  return (format & extraBit) ? static_cast<int>((static_cast<std::uint32_t>(format) >> 16) & 0xFFFFu) : 0;
}

// Where each component of a vertex lies in its run of floats (-1 absent).
struct VertexLayout {
  int position = -1;
  int colour = -1;
  int normal = -1;
  int texCoord = -1;
  int extra = -1;
  int extraCount = 0;
  int stride = 0;  // floats per vertex

  static VertexLayout Of(std::int32_t vertexFormat);
};

inline constexpr std::size_t kMeshBlockHeaderSize = 256;
// Byte counts of each block's fixed part: its counts and its header.
inline constexpr std::int64_t kTriangleBlockFixedSize = 4 + kMeshBlockHeaderSize;
inline constexpr std::int64_t kMeshBlockFixedSize = 8 + kMeshBlockHeaderSize;
// Larger files are refused before they are read.
inline constexpr std::uintmax_t kMaxMeshFileSize = 256u << 20;

// The triangle attributes: perTriangle values for each triangle, in
// triangle order.
struct TriangleAttributes {
  bool present = false;
  std::int32_t perTriangle = 0;
  std::array<std::uint8_t, kMeshBlockHeaderSize> header{};
  std::vector<std::int32_t> values;
};

// The mesh attributes: rows x columns values, row by row.
struct MeshAttributes {
  bool present = false;
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  std::array<std::uint8_t, kMeshBlockHeaderSize> header{};
  std::vector<std::int32_t> values;
};

// A triangle mesh as the renderer draws it.
struct MeshData {
  std::int32_t vertexFormat = kVertexPosition | kVertexTexCoord;
  std::int32_t vertexCount = 0;
  std::int32_t triangleCount = 0;
  std::vector<float> vertices;         // vertexCount x stride floats
  std::vector<std::int32_t> indices;   // three vertex numbers per triangle
  TriangleAttributes triangleAttributes;
  MeshAttributes meshAttributes;

  int Stride() const { return VertexLayout::Of(vertexFormat).stride; }
  bool Empty() const { return vertexCount == 0 || triangleCount == 0; }
};

// Reads a mesh from the bytes of a mesh file. On failure mesh is left as it
// was and error (when given) says what is wrong with the file.
bool ParseMesh(std::span<const std::uint8_t> bytes, MeshData& mesh, std::string* error = nullptr);

// Reads a mesh file; the same checks, and a file that cannot be read or is
// larger than kMaxMeshFileSize is refused.
bool LoadMeshFile(const std::filesystem::path& path, MeshData& mesh, std::string* error = nullptr);

// The bytes of a mesh file for mesh. indexWidth is 1 (16-bit) or 2 (32-bit);
// 0 picks 16-bit indices when every index fits. The blocks are written when
// present; a mesh without them ends right after its indices.
std::vector<std::uint8_t> SerialiseMesh(const MeshData& mesh, int indexWidth = 0);

// Writes SerialiseMesh's bytes to path; false with error when it cannot.
bool SaveMeshFile(const std::filesystem::path& path, const MeshData& mesh, int indexWidth = 0,
                  std::string* error = nullptr);

}  // namespace grinsnap
