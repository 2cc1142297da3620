// Times the mesh renderer: a textured sphere of 10,000 triangles (100
// slices, 51 stacks) filling nine tenths of the height of the picture, or
// at a distance where it fills under half of it, drawn with a depth buffer
// at 800 x 600 and 1920 x 1080, with no culling (the far side is drawn and
// hidden by the depth test) and with the far side culled. Each render
// clears the picture and the depth buffer first, as a caller does.
#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "render/mesh_renderer.h"
#include "tools/mesh_shapes.h"

namespace grinsnap {
namespace {

void BenchSphere(benchmark::State& state, cv::Size size, CullMode cull, float distance) {
  static const MeshData sphere = meshes::Sphere(100, 51);
  cv::Mat texture = cv::imread(GRINSNAP_BENCH_PHOTO, cv::IMREAD_COLOR);
  if (texture.empty()) texture = cv::Mat(400, 600, CV_8UC3, cv::Scalar(90, 120, 150));
  MeshRenderer renderer;
  renderer.SetMesh(sphere);
  renderer.SetTexture(texture);
  renderer.SetTranslation({0, 0, distance});
  renderer.SetRotation({0.8f, 0, -0.6f, 0, 1, 0, 0.6f, 0, 0.8f});
  renderer.SetCullMode(cull);
  cv::Mat target(size, CV_8UC3), depth(size, CV_32FC1);
  std::int64_t drawn = 0;
  for (auto _ : state) {
    target.setTo(cv::Scalar::all(0));
    depth.setTo(cv::Scalar(0));
    renderer.Render(&depth, target);
    benchmark::DoNotOptimize(target.data);
  }
  drawn = cv::countNonZero(depth);
  state.counters["triangles"] = sphere.triangleCount;
  state.counters["pixels"] = static_cast<double>(drawn);
}

}  // namespace
}  // namespace grinsnap

int main(int argc, char** argv) {
  using namespace grinsnap;
  for (cv::Size size : {cv::Size(800, 600), cv::Size(1920, 1080)}) {
    const std::string label = std::to_string(size.width) + "x" + std::to_string(size.height);
    for (auto [scene, distance] : {std::pair{"near", 1.5f}, std::pair{"far", 2.4f}})
      for (auto [name, cull] : {std::pair{"no culling", CullMode::None}, std::pair{"far side culled", CullMode::Clockwise}})
        benchmark::RegisterBenchmark(("TexturedSphere10k/" + label + "/" + scene + "/" + name).c_str(), BenchSphere,
                                     size, cull, distance)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
