#include "render/mesh_file.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace grinsnap {

VertexLayout VertexLayout::Of(std::int32_t vertexFormat) {
  VertexLayout layout;
  int next = 0;
  if (vertexFormat & kVertexPosition) layout.position = next, next += 3;
  if (vertexFormat & kVertexColour) layout.colour = next, next += 3;
  if (vertexFormat & kVertexNormal) layout.normal = next, next += 3;
  if (vertexFormat & kVertexTexCoord) layout.texCoord = next, next += 2;
  layout.extraCount = ExtraCount(vertexFormat, kVertexExtra);
  if (layout.extraCount > 0) layout.extra = next, next += layout.extraCount;
  layout.stride = next;
  return layout;
}

namespace {

// Reads little-endian values from a byte span and remembers how far it got.
class ByteReader {
public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Left() const { return bytes_.size() - offset_; }
  std::size_t Offset() const { return offset_; }

  std::uint32_t U32() {
    const std::uint8_t* p = bytes_.data() + offset_;
    offset_ += 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::uint16_t U16() {
    const std::uint8_t* p = bytes_.data() + offset_;
    offset_ += 2;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
  }
  float F32() { return std::bit_cast<float>(U32()); }
  void Copy(std::uint8_t* out, std::size_t n) {
    std::memcpy(out, bytes_.data() + offset_, n);
    offset_ += n;
  }
  void Skip(std::size_t n) { offset_ += n; }

private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// n x size bytes, or -1 when that does not fit in 63 bits.
std::int64_t Bytes(std::int64_t n, std::int64_t size) {
  if (n < 0 || size < 0) return -1;
  if (size != 0 && n > std::numeric_limits<std::int64_t>::max() / size) return -1;
  return n * size;
}

// Whether 4 x a x b values fit in the bytes a block has after its fixed part.
bool ValuesFit(std::int64_t a, std::int64_t b, std::int64_t bytesLeft) {
  const std::int64_t count = Bytes(a, b);
  return count >= 0 && count <= bytesLeft / 4;
}

}  // namespace

bool ParseMesh(std::span<const std::uint8_t> bytes, MeshData& out, std::string* error) {
  ByteReader in(bytes);
  if (in.Left() < 12) return Fail(error, "the mesh file is too short for its header");
  MeshData mesh;
  mesh.vertexFormat = in.I32();
  const std::int32_t indexWidth = in.I32();
  mesh.vertexCount = in.I32();
  if (mesh.vertexFormat & ~kVertexKnownBits & 0xFFFF)
    return Fail(error, "the mesh file has an unknown vertex format " + std::to_string(mesh.vertexFormat));
  // Vertices without a position cannot be drawn, and a vertex of no floats
  // would let a few bytes claim billions of vertices.
  if (!(mesh.vertexFormat & kVertexPosition)) return Fail(error, "the vertices of the mesh file have no position");
  if (indexWidth != 1 && indexWidth != 2)
    return Fail(error, "the mesh file has an unknown index width " + std::to_string(indexWidth));
  if (mesh.vertexCount < 0) return Fail(error, "the mesh file has a negative vertex count");

  const int stride = VertexLayout::Of(mesh.vertexFormat).stride;
  const std::int64_t vertexBytes = Bytes(Bytes(mesh.vertexCount, stride), 4);
  if (vertexBytes < 0 || static_cast<std::uint64_t>(vertexBytes) > in.Left())
    return Fail(error, "the mesh file ends inside its " + std::to_string(mesh.vertexCount) + " vertices");
  mesh.vertices.resize(static_cast<std::size_t>(mesh.vertexCount) * stride);
  for (float& v : mesh.vertices) v = in.F32();

  if (in.Left() < 4) return Fail(error, "the mesh file ends before its triangle count");
  mesh.triangleCount = in.I32();
  if (mesh.triangleCount < 0) return Fail(error, "the mesh file has a negative triangle count");
  const int indexSize = indexWidth == 1 ? 2 : 4;
  const std::int64_t indexBytes = Bytes(Bytes(mesh.triangleCount, 3), indexSize);
  if (indexBytes < 0 || static_cast<std::uint64_t>(indexBytes) > in.Left())
    return Fail(error, "the mesh file ends inside its " + std::to_string(mesh.triangleCount) + " triangles");
  mesh.indices.resize(static_cast<std::size_t>(mesh.triangleCount) * 3);
  for (std::size_t i = 0; i < mesh.indices.size(); ++i) {
    const std::int64_t index = indexWidth == 1 ? static_cast<std::int64_t>(in.U16()) : in.I32();
    if (index < 0 || index >= mesh.vertexCount)
      return Fail(error, "triangle " + std::to_string(i / 3) + " of the mesh file names vertex " +
                             std::to_string(index) + " of " + std::to_string(mesh.vertexCount));
    mesh.indices[i] = static_cast<std::int32_t>(index);
  }

  // The optional blocks. A length field cut short is a damaged file, not
  // the end of one.
  if (in.Left() == 0) {
    out = std::move(mesh);
    return true;
  }
  if (in.Left() < 4) return Fail(error, "the mesh file ends inside the length of its triangle attributes");
  const std::int32_t length1 = in.I32();
  if (length1 > 0) {
    if (static_cast<std::uint64_t>(length1) > in.Left())
      return Fail(error, "the triangle attributes of the mesh file are cut short");
    if (length1 < kTriangleBlockFixedSize) return Fail(error, "the triangle attributes of the mesh file are too short");
    const std::size_t blockEnd = in.Offset() + static_cast<std::size_t>(length1);
    TriangleAttributes& block = mesh.triangleAttributes;
    block.perTriangle = in.I32();
    if (block.perTriangle < 0 || !ValuesFit(block.perTriangle, mesh.triangleCount, length1 - kTriangleBlockFixedSize))
      return Fail(error, "the triangle attributes of the mesh file do not fit their block");
    in.Copy(block.header.data(), kMeshBlockHeaderSize);
    block.values.resize(static_cast<std::size_t>(block.perTriangle) * static_cast<std::size_t>(mesh.triangleCount));
    for (std::int32_t& v : block.values) v = in.I32();
    block.present = true;
    in.Skip(blockEnd - in.Offset());
  }

  if (in.Left() == 0) {
    out = std::move(mesh);
    return true;
  }
  if (in.Left() < 4) return Fail(error, "the mesh file ends inside the length of its mesh attributes");
  const std::int32_t length2 = in.I32();
  if (length2 >= 1) {
    if (static_cast<std::uint64_t>(length2) > in.Left())
      return Fail(error, "the mesh attributes of the mesh file are cut short");
    if (length2 < kMeshBlockFixedSize) return Fail(error, "the mesh attributes of the mesh file are too short");
    MeshAttributes& block = mesh.meshAttributes;
    block.rows = in.I32();
    block.columns = in.I32();
    if (block.rows < 0 || block.columns < 0 || !ValuesFit(block.rows, block.columns, length2 - kMeshBlockFixedSize))
      return Fail(error, "the mesh attributes of the mesh file do not fit their block");
    in.Copy(block.header.data(), kMeshBlockHeaderSize);
    block.values.resize(static_cast<std::size_t>(block.rows) * static_cast<std::size_t>(block.columns));
    for (std::int32_t& v : block.values) v = in.I32();
    block.present = true;
  }
  out = std::move(mesh);
  return true;
}

bool LoadMeshFile(const std::filesystem::path& path, MeshData& mesh, std::string* error) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Fail(error, "cannot read the mesh file " + path.string() + ": " + ec.message());
  if (size > kMaxMeshFileSize) return Fail(error, "the mesh file " + path.string() + " is too large");
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file || !file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    return Fail(error, "cannot read the mesh file " + path.string());
  std::string why;
  if (!ParseMesh(bytes, mesh, &why)) return Fail(error, path.string() + ": " + why);
  return true;
}

namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutI32(std::vector<std::uint8_t>& out, std::int32_t v) { PutU32(out, static_cast<std::uint32_t>(v)); }

}  // namespace

std::vector<std::uint8_t> SerialiseMesh(const MeshData& mesh, int indexWidth) {
  if (indexWidth == 0) {
    indexWidth = 1;
    for (std::int32_t index : mesh.indices)
      if (index < 0 || index > 0xFFFF) indexWidth = 2;
  }
  std::vector<std::uint8_t> out;
  PutI32(out, mesh.vertexFormat);
  PutI32(out, indexWidth);
  PutI32(out, mesh.vertexCount);
  for (float v : mesh.vertices) PutU32(out, std::bit_cast<std::uint32_t>(v));
  PutI32(out, mesh.triangleCount);
  for (std::int32_t index : mesh.indices) {
    if (indexWidth == 1) {
      out.push_back(static_cast<std::uint8_t>(index));
      out.push_back(static_cast<std::uint8_t>(index >> 8));
    } else {
      PutI32(out, index);
    }
  }
  const TriangleAttributes& triangles = mesh.triangleAttributes;
  const MeshAttributes& attributes = mesh.meshAttributes;
  if (!triangles.present && !attributes.present) return out;
  if (triangles.present) {
    PutI32(out, static_cast<std::int32_t>(kTriangleBlockFixedSize + 4 * triangles.values.size()));
    PutI32(out, triangles.perTriangle);
    out.insert(out.end(), triangles.header.begin(), triangles.header.end());
    for (std::int32_t v : triangles.values) PutI32(out, v);
  } else {
    PutI32(out, 0);
  }
  if (attributes.present) {
    PutI32(out, static_cast<std::int32_t>(kMeshBlockFixedSize + 4 * attributes.values.size()));
    PutI32(out, attributes.rows);
    PutI32(out, attributes.columns);
    out.insert(out.end(), attributes.header.begin(), attributes.header.end());
    for (std::int32_t v : attributes.values) PutI32(out, v);
  }
  return out;
}

bool SaveMeshFile(const std::filesystem::path& path, const MeshData& mesh, int indexWidth, std::string* error) {
  const std::vector<std::uint8_t> bytes = SerialiseMesh(mesh, indexWidth);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file || !file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    return Fail(error, "cannot write the mesh file " + path.string());
  file.close();
  if (!file) return Fail(error, "cannot write the mesh file " + path.string());
  return true;
}

}  // namespace grinsnap
