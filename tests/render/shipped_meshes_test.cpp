// The models in data/media/Meshes: what the mesh writer makes, with what the
// 3D effects need, wound the way the renderer's culling expects.
#include <cmath>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "render/mesh_renderer.h"
#include "test_support/test_support.h"
#include "tools/mesh_shapes.h"

namespace grinsnap {
namespace {

// Which triangle each pixel shows: a test shader may keep what it sees.
void RecordTriangle(const FragmentInput& f, float out[3], void* user) {
  static_cast<cv::Mat*>(user)->at<int>(f.y, f.x) = f.triangle;
  out[0] = out[1] = out[2] = 1;
}

cv::Mat VisibleTriangles(const MeshData& mesh, CullMode cull) {
  MeshRenderer renderer;
  renderer.SetMesh(mesh);
  // Turned so that the front, the top and the right-hand side show.
  const float a = 0.5f, b = 0.6f;
  const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  // Row vectors: first about y by b, then about x by a.
  renderer.SetRotation({cb, sb * sa, -sb * ca, 0, ca, sa, sb, -cb * sa, cb * ca});
  renderer.SetTranslation({0, 0, 3});
  renderer.SetCullMode(cull);
  cv::Mat shown(240, 320, CV_32S, cv::Scalar(-1));
  renderer.SetPixelShader(RecordTriangle);
  renderer.SetUserData(&shown);
  cv::Mat target(240, 320, CV_8UC3, cv::Scalar::all(0)), depth(240, 320, CV_32FC1, cv::Scalar(0));
  renderer.Render(&depth, target);
  return shown;
}

TEST(ShippedMeshes, AreWhatTheWriterMakesAndFaceOutwards) {
  for (const meshes::ShippedShape& shape : meshes::ShippedShapes()) {
    const MeshData mesh = shape.make();
    const std::filesystem::path path = test::ShippedDataDir() / "media" / "Meshes" / shape.file;
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> shipped{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(shipped == SerialiseMesh(mesh)) << shape.file << " differs from what scripts/make-meshes.sh writes";

    EXPECT_EQ(mesh.vertexFormat, kVertexPosition | kVertexNormal | kVertexTexCoord) << shape.file;
    ASSERT_TRUE(mesh.triangleAttributes.present && mesh.meshAttributes.present) << shape.file;
    EXPECT_EQ(mesh.triangleAttributes.perTriangle, 1) << shape.file;
    EXPECT_EQ(mesh.meshAttributes.columns, 9) << shape.file;
    for (std::int32_t hole : mesh.triangleAttributes.values)
      ASSERT_TRUE(hole >= 0 && hole < mesh.meshAttributes.rows) << shape.file;

    // Dropping the clockwise triangles keeps what a depth test shows: the
    // faces turned towards the camera are the counter-clockwise ones. Only
    // the teapot shows some of its inside through its openings.
    const cv::Mat all = VisibleTriangles(mesh, CullMode::None);
    const cv::Mat front = VisibleTriangles(mesh, CullMode::Clockwise);
    int shown = 0, same = 0;
    for (int y = 0; y < all.rows; ++y)
      for (int x = 0; x < all.cols; ++x) {
        if (all.at<int>(y, x) < 0) continue;
        ++shown;
        same += all.at<int>(y, x) == front.at<int>(y, x);
      }
    EXPECT_GT(shown, 2000) << shape.file;
    EXPECT_GE(same, shown * 97 / 100) << shape.file;
  }
}

}  // namespace
}  // namespace grinsnap
