// Writes the models the program ships as mesh files:
//   grinsnap-mesh-writer FOLDER
// scripts/make-meshes.sh runs it for data/media/Meshes.
#include <cstdio>
#include <filesystem>
#include <string>

#include "render/mesh_file.h"
#include "tools/mesh_shapes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const grinsnap::meshes::ShippedShape& shape : grinsnap::meshes::ShippedShapes()) {
    const grinsnap::MeshData mesh = shape.make();
    std::string error;
    if (!grinsnap::SaveMeshFile(folder / shape.file, mesh, 0, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::printf("%-14s %6d vertices %6d triangles %2d holes\n", shape.file, mesh.vertexCount, mesh.triangleCount,
                mesh.meshAttributes.rows);
  }
  return 0;
}
