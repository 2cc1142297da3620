#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "render/mesh_file.h"
#include "render/mesh_renderer.h"
#include "test_support/test_support.h"

namespace grinsnap {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The inputs the fuzzer kept (tests/data/mesh_corpus, see
// scripts/fuzz-mesh.sh): each is refused or reads as a mesh whose indices
// name its vertices, writes back to a file that reads the same, and renders.
TEST(MeshFile, FuzzCorpusReadsSafely) {
  const std::filesystem::path corpus = test::DataDir() / "mesh_corpus";
  ASSERT_TRUE(std::filesystem::is_directory(corpus));
  int files = 0, meshes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ++files;
    MeshData mesh;
    if (!ParseMesh(bytes, mesh)) continue;
    ++meshes;
    const std::string name = entry.path().filename().string();
    ASSERT_EQ(mesh.vertices.size(), static_cast<std::size_t>(mesh.vertexCount) * mesh.Stride()) << name;
    ASSERT_EQ(mesh.indices.size(), static_cast<std::size_t>(mesh.triangleCount) * 3) << name;
    for (std::int32_t index : mesh.indices) ASSERT_TRUE(index >= 0 && index < mesh.vertexCount) << name;
    MeshData again;
    ASSERT_TRUE(ParseMesh(SerialiseMesh(mesh), again)) << name;
    EXPECT_EQ(again.indices, mesh.indices) << name;
    MeshRenderer renderer;
    renderer.SetMesh(mesh);
    renderer.SetTranslation({0, 0, 3});
    cv::Mat target(24, 32, CV_8UC3, cv::Scalar::all(0)), depth(24, 32, CV_32FC1, cv::Scalar(0));
    renderer.Render(&depth, target);
  }
  EXPECT_GT(files, 10);
  EXPECT_GT(meshes, 0);
}

}  // namespace
}  // namespace grinsnap
