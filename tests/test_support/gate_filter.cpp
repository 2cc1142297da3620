#include "test_support/gate_filter.h"

#include <chrono>
#include <cmath>

#include "core/registry.h"

namespace grinsnap::test {

void CF_TestGate::Control::Reset() {
  std::lock_guard lock(mutex);
  gateOpen = false;
  background = true;
  workMode = false;
  workRows = 0;
  runOutOfMemory = false;
  tag = 0;
  entered = 0;
  runs.clear();
}

void CF_TestGate::Control::OpenGate() {
  std::lock_guard lock(mutex);
  gateOpen = true;
  changed.notify_all();
}

bool CF_TestGate::Control::WaitEntered(int count, int timeoutMs) {
  std::unique_lock lock(mutex);
  return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return entered >= count; });
}

CF_TestGate::Control& CF_TestGate::Shared() {
  static Control control;
  return control;
}

CF_TestGate::CF_TestGate() : CF_SimpleFilter(kClassName, {}) {}

void CF_TestGate::Abort() {
  CF_SimpleFilter::Abort();
  // Notify under the mutex so a Process about to wait cannot miss the abort.
  std::lock_guard lock(Shared().mutex);
  Shared().changed.notify_all();
}

bool CF_TestGate::RunKernel(const cv::Mat& in, cv::Mat& out) {
  Control& control = Shared();
  int tag = 0;
  bool workMode = false;
  int workRows = 0;
  {
    std::lock_guard lock(control.mutex);
    tag = control.tag;
    workMode = control.workMode;
    workRows = control.workRows;
    ++control.entered;
    control.runs[tag] = {};
    control.changed.notify_all();
    if (control.runOutOfMemory) throw std::bad_alloc();
  }
  // The source at the output size, with the run's tag in the first pixel.
  in.copyTo(out);
  out.at<cv::Vec3b>(0, 0) = cv::Vec3b::all(static_cast<uchar>(tag & 0xFF));

  bool aborted = false;
  if (workMode) {
    // Rows of busy work on the output, with the abort test once per row as
    // the real kernels do.
    volatile double sink = 0;
    for (int row = 0; row < workRows && !aborted; ++row) {
      aborted = StopRequested();
      for (int i = 0; i < 2000; ++i) sink = sink + std::sqrt(static_cast<double>(i + row));
    }
  } else {
    std::unique_lock lock(control.mutex);
    control.changed.wait(lock, [&] { return control.gateOpen || StopRequested(); });
    aborted = !control.gateOpen && StopRequested();
  }
  std::lock_guard lock(control.mutex);
  control.runs[tag] = {!aborted, aborted};
  return !aborted;
}

void RegisterTestClasses() { RegisterClass<CF_TestGate>(); }

}  // namespace grinsnap::test
