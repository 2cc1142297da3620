// libFuzzer target for mesh files: every input is read as a mesh file; what
// reads must be a consistent mesh that writes back to the same mesh and
// renders without touching memory it does not own. scripts/fuzz-mesh.sh
// builds and runs it and keeps the inputs it finds in tests/data/mesh_corpus.
#include <cstdint>
#include <cstdlib>
#include <span>

#include <opencv2/core.hpp>

#include "render/mesh_file.h"
#include "render/mesh_renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grinsnap;
  MeshData mesh;
  if (!ParseMesh(std::span(data, size), mesh)) return 0;
  if (mesh.vertices.size() != static_cast<std::size_t>(mesh.vertexCount) * mesh.Stride() ||
      mesh.indices.size() != static_cast<std::size_t>(mesh.triangleCount) * 3)
    std::abort();
  for (std::int32_t index : mesh.indices)
    if (index < 0 || index >= mesh.vertexCount) std::abort();
  MeshData again;
  if (!ParseMesh(SerialiseMesh(mesh), again) || again.indices != mesh.indices) std::abort();

  MeshRenderer renderer;
  renderer.SetMesh(std::move(mesh));
  renderer.SetTranslation({0, 0, 3});
  cv::Mat target(24, 32, CV_8UC3, cv::Scalar::all(0));
  cv::Mat depth(24, 32, CV_32FC1, cv::Scalar(0));
  renderer.Render(&depth, target);
  return 0;
}
