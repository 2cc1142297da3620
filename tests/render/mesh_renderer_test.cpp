#include <array>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "render/mesh_renderer.h"
#include "render/rasteriser.h"

namespace grinsnap {
namespace {

using Point = std::array<float, 3>;
using Colour = std::array<float, 3>;  // red, green, blue, as a mesh file keeps them

struct Triangle {
  Point a, b, c;
  Colour colour;
};

// A renderer holding the triangles in camera space (no rotation, no
// translation), each with one vertex colour.
MeshRenderer Scene(const std::vector<Triangle>& triangles, CullMode cull = CullMode::None) {
  MeshRenderer renderer;
  const int n = static_cast<int>(triangles.size());
  renderer.CreateMesh(n, kVertexPosition | kVertexColour, 3 * n);
  for (int t = 0; t < n; ++t) {
    const Point* corners[3] = {&triangles[t].a, &triangles[t].b, &triangles[t].c};
    for (int k = 0; k < 3; ++k) {
      float* v = renderer.Vertex(3 * t + k);
      std::copy_n(corners[k]->data(), 3, v);
      std::copy_n(triangles[t].colour.data(), 3, v + 3);
      renderer.Triangle(t)[k] = 3 * t + k;
    }
  }
  renderer.SetCullMode(cull);
  return renderer;
}

constexpr Colour kRed{1, 0, 0};
constexpr Colour kBlue{0, 0, 1};
// Counter-clockwise on the picture: bottom left, bottom right, top.
Triangle Facing(float z, Colour colour) { return {{-z, -z, z}, {z, -z, z}, {0, z, z}, colour}; }
Triangle Reversed(float z, Colour colour) { return {{-z, -z, z}, {0, z, z}, {z, -z, z}, colour}; }

TEST(MeshRenderer, WhatIsDrawnByPositionAndCulling) {
  struct Case {
    const char* what;
    Triangle triangle;
    CullMode cull;
    bool drawn;
  } cases[] = {
      {"in front", Facing(2, kRed), CullMode::None, true},
      {"all three corners behind the camera", Facing(-2, kRed), CullMode::None, false},
      {"one corner behind is drawn as projected", {{-1, -1, 2}, {1, -1, 2}, {1, 2, -2}, kRed}, CullMode::None, true},
      {"counter-clockwise, no culling", Facing(2, kRed), CullMode::None, true},
      {"counter-clockwise dropped by ccw", Facing(2, kRed), CullMode::CounterClockwise, false},
      {"counter-clockwise kept by cw", Facing(2, kRed), CullMode::Clockwise, true},
      {"clockwise, no culling", Reversed(2, kRed), CullMode::None, true},
      {"clockwise dropped by cw", Reversed(2, kRed), CullMode::Clockwise, false},
      {"clockwise kept by ccw", Reversed(2, kRed), CullMode::CounterClockwise, true},
      {"without height", {{-1, 0, 2}, {1, 0, 2}, {0, 0, 2}, kRed}, CullMode::None, false},
  };
  for (const Case& c : cases) {
    MeshRenderer renderer = Scene({c.triangle}, c.cull);
    cv::Mat target(30, 40, CV_8UC3, cv::Scalar::all(0));
    renderer.Render(nullptr, target);
    const int lit = cv::countNonZero(target.reshape(1));
    EXPECT_EQ(lit > 0, c.drawn) << c.what;
    // The mesh's red lands in the picture's red byte.
    if (c.drawn && c.triangle.a[2] > 0 && c.triangle.b[2] > 0 && c.triangle.c[2] > 0) {
      EXPECT_EQ(target.at<cv::Vec3b>(15, 20), cv::Vec3b(0, 0, 255)) << c.what;
    }
  }
}

TEST(MeshRenderer, TheNearerOfTwoOverlappingTrianglesWinsInEitherOrder) {
  const Triangle nearRed = Facing(2, kRed), farBlue = Facing(4, kBlue);
  for (bool nearFirst : {true, false}) {
    MeshRenderer renderer = Scene(nearFirst ? std::vector{nearRed, farBlue} : std::vector{farBlue, nearRed});
    cv::Mat target(30, 40, CV_8UC3, cv::Scalar::all(0));
    cv::Mat depth(30, 40, CV_32FC1, cv::Scalar(0));
    renderer.Render(&depth, target);
    EXPECT_EQ(target.at<cv::Vec3b>(15, 20), cv::Vec3b(0, 0, 255)) << nearFirst;
    EXPECT_FLOAT_EQ(depth.at<float>(15, 20), 0.5f) << nearFirst;
    EXPECT_EQ(depth.at<float>(0, 0), 0.0f) << "nothing drawn there";
  }
}

// Records each fragment's texture coordinate (a test shader may keep
// what it sees).
struct Captured {
  cv::Mat uv{30, 40, CV_32FC2, cv::Scalar::all(-1)};
};
void CaptureTexCoord(const FragmentInput& f, float out[3], void* user) {
  static_cast<Captured*>(user)->uv.at<cv::Vec2f>(f.y, f.x) = {f.texCoord[0], f.texCoord[1]};
  out[0] = out[1] = out[2] = 1;
}

TEST(MeshRenderer, TextureCoordinatesFollowThePerspective) {
  // A triangle in the slanted plane z = 3 + x, with u growing along x and v
  // along y. Along the ray through a pixel the plane is met at t = 3 / (1 - X),
  // where u = (X t + 1) / 2 and v = (Y t + 1) / 2; a linear interpolation on
  // the picture would be off by up to 0.1 here.
  MeshRenderer renderer;
  renderer.CreateMesh(1, kVertexPosition | kVertexTexCoord, 3);
  const float vertices[3][5] = {{-1, -1, 2, 0, 0}, {1, -1, 4, 1, 0}, {-1, 1, 2, 0, 1}};
  for (int k = 0; k < 3; ++k) {
    std::copy_n(vertices[k], 5, renderer.Vertex(k));
    renderer.Triangle(0)[k] = k;
  }
  Captured captured;
  renderer.SetPixelShader(CaptureTexCoord);
  renderer.SetUserData(&captured);
  cv::Mat target(30, 40, CV_8UC3, cv::Scalar::all(0));
  renderer.Render(nullptr, target);
  int checked = 0;
  for (int row = 0; row < 30; ++row)
    for (int column = 0; column < 40; ++column) {
      const cv::Vec2f uv = captured.uv.at<cv::Vec2f>(row, column);
      if (uv[0] < 0) continue;
      const double x = (column + 0.5 - 20) / 15, y = (15 - (row + 0.5)) / 15, t = 3 / (1 - x);
      EXPECT_NEAR(uv[0], (x * t + 1) / 2, 1e-4) << column << "," << row;
      EXPECT_NEAR(uv[1], (y * t + 1) / 2, 1e-4) << column << "," << row;
      ++checked;
    }
  EXPECT_GT(checked, 50);
  EXPECT_EQ(renderer.VaryingOffsets(), (std::array<int, 4>{-1, -1, 0, -1}));
}

TEST(Rasteriser, TrianglesSharingEdgesCoverEveryPixelOnce) {
  // A fan around (4.5, 4.5) over the square 0..8, with edges through pixel
  // centres (the diagonals, the horizontal at 4.5) and mixed windings.
  const float rim[][2] = {{0, 0}, {3.5f, 0}, {8, 0}, {8, 4.5f}, {8, 8}, {4.5f, 8}, {0, 8}, {0, 2.5f}};
  cv::Mat count(10, 10, CV_32S, cv::Scalar(0));
  const int n = 8;
  for (int i = 0; i < n; ++i) {
    const float* p = rim[i];
    const float* q = rim[(i + 1) % n];
    ProjectedCorner corners[3] = {{4.5f, 4.5f, 1}, {p[0], p[1], 1}, {q[0], q[1], 1}};
    if (i % 2) std::swap(corners[1], corners[2]);
    RasteriseTriangle(corners, {}, count.size(), CullMode::None,
                      [&](int x, int y, float, float) { ++count.at<int>(y, x); });
  }
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(count.at<int>(y, x), x < 8 && y < 8 ? 1 : 0) << x << "," << y;
}

}  // namespace
}  // namespace grinsnap
