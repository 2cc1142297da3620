// Times every registered filter at the preview size (800 x 600) and at the
// engine's working cap (4096 x 3072), on a real photo scaled up, and prints a
// table of milliseconds per render at the end.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include "templates/builtin_classes.h"
#include "core/registry.h"
#include "core/render.h"
#include "filters/filter_factory.h"
#include "filters/image_filter.h"

namespace grinsnap {
namespace {

// Filters that are timed with other inputs by their own benchmarks.
const std::set<std::string> kSkipped = {"CombineFilter", "MultiSrcFilter", "FrameFilter", "3DCollageFilter",
                                        "FaceFilter"};

const cv::Size kSizes[] = {{800, 600}, {4096, 3072}};

cv::Mat PhotoAt(cv::Size size) {
  static cv::Mat photo = cv::imread(GRINSNAP_BENCH_PHOTO, cv::IMREAD_COLOR);
  if (photo.empty()) return cv::Mat(size, CV_8UC3, cv::Scalar(90, 120, 150));
  cv::Mat scaled;
  cv::resize(photo, scaled, size, 0, 0, cv::INTER_CUBIC);
  return scaled;
}

// Variants a filter takes only from its document, timed beside the
// defaults; label, then the filter element.
const std::pair<const char*, const char*> kDocumentVariants[] = {
    {"WaterPaintFilter(type1)", "<filter name=\"WaterPaintFilter\" type=\"1\"/>"},
    {"PaintFilter(type1)", "<filter name=\"PaintFilter\" type=\"1\"/>"},
    {"StrokeSketchFilter(wash)",
     "<filter name=\"StrokeSketchFilter\"><param inktype=\"2\" image=\"0.8\"/>"
     "<filter name=\"WaterPaintFilter\" type=\"1\"/></filter>"},
};

void BenchFilter(benchmark::State& state, std::string name, cv::Size size, const char* xml) {
  const cv::Mat photo = PhotoAt(size);
  tinyxml2::XMLDocument document;
  const tinyxml2::XMLElement* element = nullptr;
  if (xml && document.Parse(xml) == tinyxml2::XML_SUCCESS) element = document.RootElement();
  auto filter = CreateFilterFromXml(element ? element->Attribute("name") : name.c_str(), element, {}, false, nullptr);
  if (!filter) {
    state.SkipWithError("not created");
    return;
  }
  // Filters run with their declared defaults; those that need the template's
  // block get an untouched template's.
  if (filter->Traits().needsBlock) filter->SetVariables(kDefaultVariableBlock);
  if (!Render(*filter, {.sources = std::span<const cv::Mat>(&photo, 1), .process = false}).IsFinished()) {
    state.SkipWithError("sources not taken");
    return;
  }
  for (auto _ : state) {
    const RenderResult result = Render(*filter, {.size = OutputSize::Natural(), .seed = 42});
    if (!result.IsFinished()) state.SkipWithError(result.message.c_str());
    benchmark::DoNotOptimize(filter->GetOutput());
  }
}

// Prints the usual console lines and collects the times for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // The machine is shared: the median of several repetitions is the figure.
      if (run.error_occurred || run.aggregate_name != "median") continue;
      // Names look like "ColorFilter/800x600/min_time:0.500/real_time".
      const std::string full = run.benchmark_name();
      const auto first = full.find('/');
      const auto second = full.find('/', first + 1);
      const double ms = run.GetAdjustedRealTime();  // in the run's time unit: milliseconds
      times_[full.substr(0, first)][full.substr(first + 1, second - first - 1)] = ms;
    }
  }

  void PrintTable() const {
    std::printf("\n%-22s %14s %16s\n", "filter", "800x600 ms", "4096x3072 ms");
    for (const auto& [name, bySize] : times_) {
      auto cell = [&](const char* key) {
        auto it = bySize.find(key);
        return it == bySize.end() ? -1.0 : it->second;
      };
      std::printf("%-22s %14.2f %16.2f\n", name.c_str(), cell("800x600"), cell("4096x3072"));
    }
    std::printf("(%d threads)\n", cv::getNumThreads());
  }

private:
  std::map<std::string, std::map<std::string, double>> times_;
};

}  // namespace
}  // namespace grinsnap

int main(int argc, char** argv) {
  using namespace grinsnap;
  RegisterBuiltinClasses();
  for (const std::string& name : RegisteredClassNames()) {
    auto object = CreateDataObject(name.c_str());
    if (!object || object->Kind() != ObjectKind::Filter || kSkipped.count(name)) continue;
    for (cv::Size size : kSizes) {
      const std::string label = name + "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
      benchmark::RegisterBenchmark(label.c_str(), BenchFilter, name, size, nullptr)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(size.width > 1000 ? 0.5 : 0.2)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
  }
  for (const auto& [variant, xml] : kDocumentVariants)
    for (cv::Size size : kSizes) {
      const std::string label = std::string(variant) + "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
      benchmark::RegisterBenchmark(label.c_str(), BenchFilter, std::string(variant), size, xml)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(size.width > 1000 ? 0.5 : 0.2)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
