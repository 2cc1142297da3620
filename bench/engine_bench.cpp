// Times how long the engine takes to cancel a background run: from the
// moment the interface thread asks to stop (Abort) to the join of the
// worker, on a 4096 x 3072 photo, for every filter that runs in the
// background. Cancels land at several points of the render.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "templates/builtin_classes.h"
#include "core/process_engine.h"
#include "core/registry.h"
#include "core/template_document.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main() {
  using namespace grinsnap;
  RegisterBuiltinClasses();
  cv::Mat photo = cv::imread(GRINSNAP_BENCH_PHOTO, cv::IMREAD_COLOR);
  if (photo.empty()) photo = cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 120, 150));
  cv::resize(photo, photo, {4096, 3072}, 0, 0, cv::INTER_CUBIC);

  std::printf("%-16s %12s %14s %14s %8s\n", "filter", "render ms", "cancel med ms", "cancel max ms", "cancels");
  for (const std::string& name : RegisteredClassNames()) {
    // delay="1" sends every filter to the worker, so each one's cancel is timed.
    const std::string text =
        "<t><filter name=\"SimpleTemplate\" delay=\"1\"><filter name=\"" + name + "\"/></filter></t>";
    TemplateRef effect(CreateTemplateFromDocument(TemplateDocument::FromText(text), "."));
    if (!effect) continue;
    CProcessEngine engine;
    engine.InsertPhoto(-1, PhotoItem::FromImage(photo));
    engine.SelectSingleInput(0);
    engine.SetTemplate(effect.get());

    // A full render first, for the scale of the delays; filters that run
    // here and now are not cancelled.
    auto start = Clock::now();
    if (engine.Apply()) continue;
    while (engine.IsBusy()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double render = Ms(Clock::now() - start);

    std::vector<double> cancels;
    for (int i = 1; i <= 20; ++i) {
      engine.Apply();
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(render * i / 24.0));
      if (!engine.IsBusy()) continue;  // finished before the cancel
      start = Clock::now();
      engine.ClearOutput();
      cancels.push_back(Ms(Clock::now() - start));
    }
    std::sort(cancels.begin(), cancels.end());
    const double median = cancels.empty() ? 0 : cancels[cancels.size() / 2];
    const double worst = cancels.empty() ? 0 : cancels.back();
    std::printf("%-16s %12.1f %14.2f %14.2f %8zu\n", name.c_str(), render, median, worst, cancels.size());
  }
  return 0;
}
