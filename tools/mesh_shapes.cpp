#include "tools/mesh_shapes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "tools/teapot_data.h"

namespace grinsnap::meshes {
namespace {

using Vec3 = std::array<double, 3>;

Vec3 operator+(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 operator-(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 operator*(double s, const Vec3& a) { return {s * a[0], s * a[1], s * a[2]}; }
double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 Normalised(const Vec3& a) {
  const double length = std::sqrt(Dot(a, a));
  return length > 0 ? (1.0 / length) * a : a;
}

constexpr double kPi = std::numbers::pi;
constexpr std::int32_t kFormat = kVertexPosition | kVertexNormal | kVertexTexCoord;

void SetHeader(std::array<std::uint8_t, kMeshBlockHeaderSize>& header, const char* text) {
  header.fill(0);
  std::memcpy(header.data(), text, std::min(std::strlen(text), header.size() - 1));
}

// Collects vertices, triangles and holes into a mesh.
class MeshBuilder {
public:
  int AddVertex(const Vec3& position, const Vec3& normal, double u, double v) {
    const Vec3 n = Normalised(normal);
    for (double c : position) vertices_.push_back(static_cast<float>(c));
    for (double c : n) vertices_.push_back(static_cast<float>(c));
    vertices_.push_back(static_cast<float>(u));
    vertices_.push_back(static_cast<float>(v));
    positions_.push_back(position);
    normals_.push_back(n);
    return static_cast<int>(positions_.size()) - 1;
  }

  // Adds the triangle wound counter-clockwise as seen from outside (where
  // its vertex normals point). In camera space, with x right, y up and z
  // away from the viewer, that is a right-handed cross product of its edges
  // pointing into the surface. Triangles without area are left out.
  void AddTriangle(int a, int b, int c, int hole) {
    const Vec3 edges = Cross(positions_[b] - positions_[a], positions_[c] - positions_[a]);
    if (Dot(edges, edges) < 1e-20) return;
    const Vec3 outward = normals_[a] + normals_[b] + normals_[c];
    if (Dot(edges, outward) > 0) std::swap(b, c);
    for (int i : {a, b, c}) indices_.push_back(i);
    holes_.push_back(hole);
  }

  // Adds a quad a-b-c-d (in order around it) as two triangles.
  void AddQuad(int a, int b, int c, int d, int hole) {
    AddTriangle(a, b, c, hole);
    AddTriangle(a, c, d, hole);
  }

  // The planar projection of the next hole: a point p lies on the hole's
  // photo at ((p - origin) . uAxis + 0.5, (p - origin) . vAxis + 0.5).
  void AddHole(const Vec3& origin, const Vec3& uAxis, const Vec3& vAxis) {
    for (const Vec3* part : {&origin, &uAxis, &vAxis})
      for (double c : *part) projections_.push_back(std::bit_cast<std::int32_t>(static_cast<float>(c)));
  }

  MeshData Build() const {
    MeshData mesh;
    mesh.vertexFormat = kFormat;
    mesh.vertexCount = static_cast<std::int32_t>(positions_.size());
    mesh.triangleCount = static_cast<std::int32_t>(holes_.size());
    mesh.vertices = vertices_;
    mesh.indices = indices_;
    mesh.triangleAttributes.present = true;
    mesh.triangleAttributes.perTriangle = 1;
    SetHeader(mesh.triangleAttributes.header, "hole");
    mesh.triangleAttributes.values = holes_;
    mesh.meshAttributes.present = true;
    mesh.meshAttributes.rows = static_cast<std::int32_t>(projections_.size() / 9);
    mesh.meshAttributes.columns = 9;
    SetHeader(mesh.meshAttributes.header, "planar projection: origin, u axis, v axis");
    mesh.meshAttributes.values = projections_;
    return mesh;
  }

private:
  std::vector<float> vertices_;
  std::vector<Vec3> positions_;
  std::vector<Vec3> normals_;
  std::vector<std::int32_t> indices_;
  std::vector<std::int32_t> holes_;
  std::vector<std::int32_t> projections_;
};

// A flat face seen from outside along -normal, with right and up as the
// viewer sees them; half sizes along right and up; subdivided n x n.
void AddFace(MeshBuilder& mesh, const Vec3& centre, const Vec3& normal, const Vec3& right, const Vec3& up,
             double halfRight, double halfUp, int hole) {
  const int first = mesh.AddVertex(centre - halfRight * right + halfUp * up, normal, 0, 0);
  mesh.AddVertex(centre + halfRight * right + halfUp * up, normal, 1, 0);
  mesh.AddVertex(centre + halfRight * right - halfUp * up, normal, 1, 1);
  mesh.AddVertex(centre - halfRight * right - halfUp * up, normal, 0, 1);
  mesh.AddQuad(first, first + 1, first + 2, first + 3, hole);
  mesh.AddHole(centre, (0.5 / halfRight) * right, (-0.5 / halfUp) * up);
}

MeshData Cuboid(double hx, double hy, double hz) {
  MeshBuilder mesh;
  struct Face {
    Vec3 normal, right, up;
  } faces[] = {
      {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},   // front, towards the camera
      {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},    // right
      {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},   // back
      {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  // left
      {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},    // top, its front edge at the bottom of the photo
      {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}},  // bottom, its front edge at the top
  };
  const Vec3 half{hx, hy, hz};
  auto extent = [&](const Vec3& axis) { return std::fabs(Dot(axis, half)); };
  int hole = 0;
  for (const Face& f : faces) {
    const Vec3 centre = extent(f.normal) * f.normal;
    AddFace(mesh, centre, f.normal, f.right, f.up, extent(f.right), extent(f.up), hole++);
  }
  return mesh.Build();
}

}  // namespace

MeshData Cube() { return Cuboid(1, 1, 1); }

MeshData Box() { return Cuboid(1, 0.75, 0.25); }

MeshData Cylinder(int segments) {
  MeshBuilder mesh;
  // The side: angle phi from the front (-z) towards the right (+x), the seam
  // at the back, so the photo's middle faces the camera.
  std::vector<int> top, bottom;
  for (int i = 0; i <= segments; ++i) {
    const double phi = -kPi + 2 * kPi * i / segments;
    const Vec3 out{std::sin(phi), 0, -std::cos(phi)};
    const double u = static_cast<double>(i) / segments;
    top.push_back(mesh.AddVertex(out + Vec3{0, 1, 0}, out, u, 0));
    bottom.push_back(mesh.AddVertex(out - Vec3{0, 1, 0}, out, u, 1));
  }
  for (int i = 0; i < segments; ++i) mesh.AddQuad(top[i], top[i + 1], bottom[i + 1], bottom[i], 0);
  mesh.AddHole({0, 0, 0}, {0.5, 0, 0}, {0, -0.5, 0});

  // The caps, mapped from above and from below like the cube's top and bottom.
  for (int cap = 0; cap < 2; ++cap) {
    const double y = cap == 0 ? 1 : -1;
    const Vec3 normal{0, y, 0};
    const int centre = mesh.AddVertex({0, y, 0}, normal, 0.5, 0.5);
    std::vector<int> rim;
    for (int i = 0; i <= segments; ++i) {
      const double phi = -kPi + 2 * kPi * i / segments;
      const double x = std::sin(phi), z = -std::cos(phi);
      rim.push_back(mesh.AddVertex({x, y, z}, normal, (x + 1) / 2, cap == 0 ? (1 - z) / 2 : (1 + z) / 2));
    }
    for (int i = 0; i < segments; ++i) mesh.AddTriangle(centre, rim[i], rim[i + 1], 1 + cap);
    mesh.AddHole({0, y, 0}, {0.5, 0, 0}, {0, 0, cap == 0 ? -0.5 : 0.5});
  }
  return mesh.Build();
}

MeshData Sphere(int slices, int stacks) {
  MeshBuilder mesh;
  std::vector<int> grid;
  for (int j = 0; j <= stacks; ++j) {
    const double theta = kPi * j / stacks;  // from the top
    for (int i = 0; i <= slices; ++i) {
      const double phi = -kPi + 2 * kPi * i / slices;
      const Vec3 p{std::sin(theta) * std::sin(phi), std::cos(theta), -std::sin(theta) * std::cos(phi)};
      grid.push_back(mesh.AddVertex(p, p, static_cast<double>(i) / slices, static_cast<double>(j) / stacks));
    }
  }
  const int row = slices + 1;
  for (int j = 0; j < stacks; ++j)
    for (int i = 0; i < slices; ++i)
      mesh.AddQuad(grid[j * row + i], grid[j * row + i + 1], grid[(j + 1) * row + i + 1], grid[(j + 1) * row + i], 0);
  mesh.AddHole({0, 0, 0}, {0.5, 0, 0}, {0, -0.5, 0});
  return mesh.Build();
}

MeshData Plane(int columns, int rows) {
  MeshBuilder mesh;
  constexpr double kHalfWidth = 1, kHalfHeight = 0.75;
  const Vec3 normal{0, 0, -1};
  std::vector<int> grid;
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= columns; ++i) {
      const double u = static_cast<double>(i) / columns, v = static_cast<double>(j) / rows;
      grid.push_back(mesh.AddVertex({(2 * u - 1) * kHalfWidth, (1 - 2 * v) * kHalfHeight, 0}, normal, u, v));
    }
  const int row = columns + 1;
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i)
      mesh.AddQuad(grid[j * row + i], grid[j * row + i + 1], grid[(j + 1) * row + i + 1], grid[(j + 1) * row + i], 0);
  mesh.AddHole({0, 0, 0}, {0.5 / kHalfWidth, 0, 0}, {0, -0.5 / kHalfHeight, 0});
  return mesh.Build();
}

namespace {

// The cubic Bernstein weights and their derivatives at t.
void Bernstein(double t, double b[4], double d[4]) {
  const double s = 1 - t;
  b[0] = s * s * s, b[1] = 3 * t * s * s, b[2] = 3 * t * t * s, b[3] = t * t * t;
  d[0] = -3 * s * s, d[1] = 3 * s * s - 6 * t * s, d[2] = 6 * t * s - 3 * t * t, d[3] = 3 * t * t;
}

// A point of a teapot patch and the derivatives along a row (s, around) and
// down the rows (t), in the teapot's own coordinates.
void PatchPoint(int patch, double s, double t, Vec3& point, Vec3& alongS, Vec3& alongT) {
  double bs[4], ds[4], bt[4], dt[4];
  Bernstein(s, bs, ds);
  Bernstein(t, bt, dt);
  point = alongS = alongT = {0, 0, 0};
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) {
      const float* c = kTeapotPoint[kTeapotPatch[patch][row * 4 + column]];
      const Vec3 control{c[0], c[1], c[2]};
      point = point + (bt[row] * bs[column]) * control;
      alongS = alongS + (bt[row] * ds[column]) * control;
      alongT = alongT + (dt[row] * bs[column]) * control;
    }
}

// The surface normal of a patch at (s, t); where the patch closes to a point
// (the top of the knob, the middle of the bottom) it is taken a little way in.
Vec3 PatchNormal(int patch, double s, double t) {
  Vec3 point, alongS, alongT;
  PatchPoint(patch, s, t, point, alongS, alongT);
  Vec3 n = Cross(alongS, alongT);
  if (Dot(n, n) < 1e-12) {
    PatchPoint(patch, std::clamp(s, 1e-3, 1 - 1e-3), std::clamp(t, 1e-3, 1 - 1e-3), point, alongS, alongT);
    n = Cross(alongS, alongT);
  }
  return Normalised(n);
}

enum class TeapotPart { Rim, Body, Handle, Spout, Knob, Lid, Bottom };

TeapotPart PartOf(int patch) {
  if (patch < 4) return TeapotPart::Rim;
  if (patch < 12) return TeapotPart::Body;
  if (patch < 16) return TeapotPart::Handle;
  if (patch < 20) return TeapotPart::Spout;
  if (patch < 24) return TeapotPart::Knob;
  if (patch < 28) return TeapotPart::Lid;
  return TeapotPart::Bottom;
}

// Whether the patch's own normal (row direction cross column direction)
// points out of the pot: away from the axis of the handle and the spout
// (their tubes lie across the plane y = 0), away from the middle of the pot
// for the rest.
bool NormalPointsOut(int patch) {
  Vec3 point, alongS, alongT;
  PatchPoint(patch, 0.5, 0.5, point, alongS, alongT);
  const Vec3 n = PatchNormal(patch, 0.5, 0.5);
  const TeapotPart part = PartOf(patch);
  const Vec3 away = part == TeapotPart::Handle || part == TeapotPart::Spout ? Vec3{0, point[1], 0}
                                                                             : point - Vec3{0, 0, 1.2};
  return Dot(n, away) > 0;
}

// The teapot's coordinates to the model's: z up becomes y up, centred on the
// height of the pot and scaled to about the size of the other models. (The
// pot is symmetric about its y = 0 plane, so exchanging y and z mirrors
// nothing that can be seen.)
constexpr double kTeapotScale = 1.0 / 3.0;
constexpr double kTeapotMiddle = 1.575;  // half its height
Vec3 ToModel(const Vec3& p) { return {p[0] * kTeapotScale, (p[2] - kTeapotMiddle) * kTeapotScale, p[1] * kTeapotScale}; }
Vec3 NormalToModel(const Vec3& n) { return {n[0], n[2], n[1]}; }

int HoleOf(TeapotPart part) {
  switch (part) {
    case TeapotPart::Knob:
    case TeapotPart::Lid: return 1;
    case TeapotPart::Handle: return 2;
    case TeapotPart::Spout: return 3;
    default: return 0;
  }
}

// The photo position of a point of a patch. Around the pot the photo wraps
// once, its middle at the front (-z in the model) and its seam at the back;
// it runs down over the rim and the body. The lid and the bottom are mapped
// from above and from below, the handle and the spout along their tubes.
std::array<double, 2> TeapotTexCoord(int patch, double s, double t, const Vec3& p) {
  const TeapotPart part = PartOf(patch);
  const int quarter = patch % 4;
  switch (part) {
    case TeapotPart::Rim:
    case TeapotPart::Body: {
      // Along a row the angle falls from the +x side through the front
      // (after the first quarter) to the back.
      double u = 0.75 - (quarter + s) / 4;
      if (u < 0) u += 1;
      const double top = part == TeapotPart::Rim ? 0 : patch < 8 ? 0.1 : 0.55;
      const double height = part == TeapotPart::Rim ? 0.1 : 0.45;
      return {u, top + height * t};
    }
    case TeapotPart::Handle:
    case TeapotPart::Spout: {
      const int index = part == TeapotPart::Handle ? patch - 12 : patch - 16;
      return {(index % 2 + s) / 2, (index / 2 + t) / 2};
    }
    case TeapotPart::Knob:
    case TeapotPart::Lid: return {0.5 + p[0] / 2.6, 0.5 - p[1] / 2.6};
    case TeapotPart::Bottom: return {0.5 + p[0] / 3.0, 0.5 + p[1] / 3.0};
  }
  return {0, 0};
}

}  // namespace

MeshData Teapot(int segments) {
  MeshBuilder mesh;
  for (int patch = 0; patch < kTeapotPatches; ++patch) {
    const double sign = NormalPointsOut(patch) ? 1 : -1;
    const int hole = HoleOf(PartOf(patch));
    std::vector<int> grid;
    for (int j = 0; j <= segments; ++j)
      for (int i = 0; i <= segments; ++i) {
        const double s = static_cast<double>(i) / segments, t = static_cast<double>(j) / segments;
        Vec3 point, alongS, alongT;
        PatchPoint(patch, s, t, point, alongS, alongT);
        const std::array<double, 2> uv = TeapotTexCoord(patch, s, t, point);
        grid.push_back(mesh.AddVertex(ToModel(point), NormalToModel(sign * PatchNormal(patch, s, t)), uv[0], uv[1]));
      }
    const int row = segments + 1;
    for (int j = 0; j < segments; ++j)
      for (int i = 0; i < segments; ++i)
        mesh.AddQuad(grid[j * row + i], grid[j * row + i + 1], grid[(j + 1) * row + i + 1], grid[(j + 1) * row + i],
                     hole);
  }
  // Front views of the body, the handle and the spout, the lid from above,
  // each over the part's extent in the model.
  const double s = kTeapotScale;
  mesh.AddHole({0, 0, 0}, {0.25 / s, 0, 0}, {0, -1 / (3.15 * s), 0});
  mesh.AddHole({0, (2.9 - kTeapotMiddle) * s, 0}, {1 / (2.6 * s), 0, 0}, {0, 0, -1 / (2.6 * s)});
  mesh.AddHole({-2.35 * s, (1.6 - kTeapotMiddle) * s, 0}, {1 / (1.5 * s), 0, 0}, {0, -1 / (1.7 * s), 0});
  mesh.AddHole({2.6 * s, (1.55 - kTeapotMiddle) * s, 0}, {1 / (1.9 * s), 0, 0}, {0, -1 / (1.9 * s), 0});
  return mesh.Build();
}

namespace {

MeshData DefaultCylinder() { return Cylinder(); }
MeshData DefaultSphere() { return Sphere(); }
MeshData DefaultPlane() { return Plane(); }
MeshData DefaultTeapot() { return Teapot(); }

}  // namespace

std::span<const ShippedShape> ShippedShapes() {
  static constexpr ShippedShape kShapes[] = {
      {"box.mesh", Box},
      {"cube.mesh", Cube},
      {"cylinder.mesh", DefaultCylinder},
      {"plane.mesh", DefaultPlane},
      {"sphere.mesh", DefaultSphere},
      {"teapot.mesh", DefaultTeapot},
  };
  return kShapes;
}

}  // namespace grinsnap::meshes
