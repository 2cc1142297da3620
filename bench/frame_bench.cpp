// Times the shipped frame templates at the preview size (800 x 600): one
// render as corner dragging asks for it (size, parameters, Process), after
// the photos were handed once, so that dragging stays live.
#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include "core/photo_item.h"
#include "core/render.h"
#include "core/template_document.h"
#include "templates/builtin_classes.h"

namespace grinsnap {
namespace {

void BenchFrame(benchmark::State& state, const char* document) {
  const std::filesystem::path path = std::filesystem::path(GRINSNAP_FRAMES_DIR) / document;
  auto doc = TemplateDocument::FromFile(path);
  if (!doc) {
    state.SkipWithError("cannot read the template");
    return;
  }
  TemplateRef effect(CreateTemplateFromDocument(doc, path.parent_path()));
  std::vector<PhotoItem> photos;
  for (const char* name : {"coffee.png", "chelsea.png", "astronaut.png"})
    photos.emplace_back(std::filesystem::path(GRINSNAP_BENCH_PHOTOS) / name);
  if (!effect || !Render(*effect, {.photos = photos, .size = OutputSize::Fit({800, 600})}).IsFinished()) {
    state.SkipWithError("cannot render the template");
    return;
  }
  for (auto _ : state) {
    const RenderResult result = Render(*effect, {.size = OutputSize::Fit({800, 600})});
    benchmark::DoNotOptimize(result);
  }
}

}  // namespace
}  // namespace grinsnap

int main(int argc, char** argv) {
  grinsnap::RegisterBuiltinClasses();
  for (const char* document : {"wood_frame.xml", "gilt_oval.xml", "instant_photo.xml", "film_strip.xml", "keepsake.xml"})
    benchmark::RegisterBenchmark(document, grinsnap::BenchFrame, document)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
