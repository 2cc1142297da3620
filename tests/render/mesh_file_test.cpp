#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <gtest/gtest.h>

#include "render/mesh_file.h"
#include "render/mesh_renderer.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Six vertices of position and texture coordinate, four triangles; the
// blocks only when asked for.
MeshData SmallMesh(bool triangleBlock, bool meshBlock) {
  MeshData mesh;
  mesh.vertexFormat = kVertexPosition | kVertexTexCoord;
  mesh.vertexCount = 6;
  mesh.triangleCount = 4;
  for (int i = 0; i < 30; ++i) mesh.vertices.push_back(0.25f * i);
  mesh.indices = {0, 1, 2, 2, 1, 3, 3, 4, 5, 5, 4, 0};
  if (triangleBlock) {
    mesh.triangleAttributes = {true, 2, {}, {0, 7, 1, 7, 2, 7, 3, 7}};
    mesh.triangleAttributes.header[0] = 'h';
  }
  if (meshBlock) mesh.meshAttributes = {true, 2, 3, {}, {1, 2, 3, 4, 5, 6}};
  return mesh;
}

// Offsets in the bytes of SmallMesh with 16-bit indices.
constexpr std::size_t kVertexCountAt = 8;
constexpr std::size_t kTriangleCountAt = 12 + 6 * 5 * 4;
constexpr std::size_t kIndicesAt = kTriangleCountAt + 4;
constexpr std::size_t kIndicesEnd = kIndicesAt + 4 * 3 * 2;
constexpr std::size_t kBlock1End = kIndicesEnd + 4 + 260 + 4 * 8;

void Put(Bytes& b, std::size_t at, std::int32_t v) { std::memcpy(b.data() + at, &v, 4); }

bool SameMesh(const MeshData& a, const MeshData& b) {
  return a.vertexFormat == b.vertexFormat && a.vertexCount == b.vertexCount && a.triangleCount == b.triangleCount &&
         a.vertices == b.vertices && a.indices == b.indices &&
         a.triangleAttributes.present == b.triangleAttributes.present &&
         a.triangleAttributes.perTriangle == b.triangleAttributes.perTriangle &&
         a.triangleAttributes.header == b.triangleAttributes.header &&
         a.triangleAttributes.values == b.triangleAttributes.values &&
         a.meshAttributes.present == b.meshAttributes.present && a.meshAttributes.rows == b.meshAttributes.rows &&
         a.meshAttributes.columns == b.meshAttributes.columns && a.meshAttributes.values == b.meshAttributes.values;
}

TEST(MeshFile, IndexWidthsAndOptionalBlocksReadBack) {
  struct Case {
    const char* what;
    bool block1, block2;
    int indexWidth;
    std::size_t size;
  } cases[] = {
      {"16-bit indices, ending after them: 24 bytes for 4 triangles", false, false, 1, kIndicesEnd},
      {"32-bit indices", false, false, 2, kIndicesEnd + 24},
      {"triangle attributes only", true, false, 1, kBlock1End},
      {"mesh attributes only, after an empty first block", false, true, 1, kIndicesEnd + 4 + 4 + 264 + 24},
      {"both blocks", true, true, 2, kBlock1End + 24 + 4 + 264 + 24},
  };
  for (const Case& c : cases) {
    const MeshData mesh = SmallMesh(c.block1, c.block2);
    const Bytes bytes = SerialiseMesh(mesh, c.indexWidth);
    EXPECT_EQ(bytes.size(), c.size) << c.what;
    MeshData read;
    std::string error;
    ASSERT_TRUE(ParseMesh(bytes, read, &error)) << c.what << ": " << error;
    EXPECT_TRUE(SameMesh(read, mesh)) << c.what;
  }
  // Length fields of 0 or less mean "no block"; a first block longer than
  // its values is fine.
  Bytes noBlocks = SerialiseMesh(SmallMesh(false, false), 1);
  for (std::int32_t length : {0, -5}) {
    Bytes b = noBlocks;
    b.resize(b.size() + 8);
    Put(b, kIndicesEnd, length);
    Put(b, kIndicesEnd + 4, length);
    MeshData read;
    ASSERT_TRUE(ParseMesh(b, read)) << length;
    EXPECT_FALSE(read.triangleAttributes.present || read.meshAttributes.present) << length;
  }
  Bytes padded = SerialiseMesh(SmallMesh(true, false), 1);
  Put(padded, kIndicesEnd, 260 + 32 + 12);
  padded.insert(padded.end(), 12, 0);
  MeshData read;
  EXPECT_TRUE(ParseMesh(padded, read));
}

TEST(MeshFile, HostileFilesAreRefusedWhole) {
  const Bytes valid = SerialiseMesh(SmallMesh(true, true), 1);
  const std::size_t block1 = kIndicesEnd + 4, block2 = kBlock1End + 4;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
  } cases[] = {
      {"vertex count beyond the file", [](Bytes& b) { Put(b, kVertexCountAt, 0x7FFFFFFF); }},
      {"negative vertex count", [](Bytes& b) { Put(b, kVertexCountAt, -6); }},
      {"extra attributes beyond the file", [](Bytes& b) { Put(b, 0, kVertexPosition | kVertexExtra | (0xFFFF << 16)); }},
      {"unknown vertex format", [](Bytes& b) { Put(b, 0, 32 | kVertexPosition); }},
      {"vertices of no floats claiming a billion vertices",
       [](Bytes& b) { Put(b, 0, 0x050D0000), Put(b, kVertexCountAt, 0x64000000); }},
      {"vertices without a position", [](Bytes& b) { Put(b, 0, kVertexTexCoord | kVertexColour); }},
      {"unknown index width", [](Bytes& b) { Put(b, 4, 3); }},
      {"triangle count beyond the file", [](Bytes& b) { Put(b, kTriangleCountAt, 0x7FFFFFFF); }},
      {"negative triangle count", [](Bytes& b) { Put(b, kTriangleCountAt, -1); }},
      {"index past the vertices", [](Bytes& b) { b[kIndicesAt + 10] = 6; }},
      {"cut inside the vertices", [](Bytes& b) { b.resize(kTriangleCountAt - 3); }},
      {"a length field cut short", [](Bytes& b) { b.resize(kIndicesEnd + 2); }},
      {"first block longer than the file", [&](Bytes& b) { Put(b, kIndicesEnd, 100000); }},
      {"first block shorter than its header", [&](Bytes& b) { Put(b, kIndicesEnd, 259); }},
      {"negative attributes per triangle", [&](Bytes& b) { Put(b, block1, -1); }},
      {"attributes per triangle beyond the block", [&](Bytes& b) { Put(b, block1, 0x40000000); }},
      {"second block longer than the file", [&](Bytes& b) { Put(b, kBlock1End, 100000); }},
      {"second block shorter than its header", [&](Bytes& b) { Put(b, kBlock1End, 263); }},
      {"negative rows and columns", [&](Bytes& b) { Put(b, block2, -1), Put(b, block2 + 4, -1); }},
      {"rows times columns beyond the block", [&](Bytes& b) { Put(b, block2, 0x40000000), Put(b, block2 + 4, 0x40000000); }},
  };
  for (const Case& c : cases) {
    Bytes b = valid;
    c.spoil(b);
    MeshData mesh = SmallMesh(false, false);
    std::string error;
    EXPECT_FALSE(ParseMesh(b, mesh, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_TRUE(SameMesh(mesh, SmallMesh(false, false))) << c.what << ": the mesh it had is kept";
  }
  // Every prefix of the file either is one of its three legal ends or is refused.
  for (std::size_t n = 0; n < valid.size(); ++n) {
    MeshData mesh;
    const bool legal = n == kIndicesEnd || n == kBlock1End;
    EXPECT_EQ(ParseMesh(std::span(valid.data(), n), mesh), legal) << n << " bytes";
  }
  // 32-bit indices: negative and too large.
  const Bytes wide = SerialiseMesh(SmallMesh(false, false), 2);
  for (std::int32_t index : {-1, 6, 0x7FFFFFFF}) {
    Bytes b = wide;
    Put(b, kIndicesAt + 8, index);
    MeshData mesh;
    EXPECT_FALSE(ParseMesh(b, mesh)) << index;
  }
}

TEST(MeshFile, TheRendererKeepsItsMeshWhenALoadFails) {
  const std::filesystem::path folder = test::FreshFolder("mesh_files");
  ASSERT_TRUE(SaveMeshFile(folder / "good.mesh", SmallMesh(true, false)));
  std::ofstream(folder / "bad.mesh", std::ios::binary) << "not a mesh at all";
  MeshRenderer renderer;
  std::string error;
  ASSERT_TRUE(renderer.LoadMesh(folder / "good.mesh", &error)) << error;
  EXPECT_EQ(renderer.Mesh().triangleCount, 4);
  for (const char* name : {"bad.mesh", "missing.mesh"}) {
    error.clear();
    EXPECT_FALSE(renderer.LoadMesh(folder / name, &error)) << name;
    EXPECT_NE(error.find(name), std::string::npos) << error;
    EXPECT_TRUE(SameMesh(renderer.Mesh(), SmallMesh(true, false))) << name;
  }
}

}  // namespace
}  // namespace grinsnap
