#pragma once

#include <condition_variable>
#include <map>
#include <mutex>

#include "filters/simple_filter.h"

namespace grinsnap::test {

// A filter made for the engine tests, registered as "TestGateFilter". Its
// Process makes its output from the source and marks its first pixel with
// the current run tag, then either waits until
// the test opens the gate or, in work mode, runs a number of rows of busy
// work; both end early when the run is aborted. What every run did is
// recorded by tag, so a test can drive and check the engine's threading
// without sleeping.
class CF_TestGate : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "TestGateFilter";

  struct RunRecord {
    bool finished = false;  // ran to its end
    bool aborted = false;   // left early because of an abort
  };

  // Shared by every instance: the state the test drives.
  struct Control {
    std::mutex mutex;
    std::condition_variable changed;
    bool gateOpen = false;
    bool background = true;
    bool workMode = false;  // busy work of workRows rows instead of the gate
    int workRows = 0;
    bool runOutOfMemory = false;  // the run throws std::bad_alloc
    int tag = 0;            // the tag the next run records under
    int entered = 0;        // Process calls started
    std::map<int, RunRecord> runs;

    void Reset();
    void OpenGate();
    // Waits until Process has been entered this many times; false after timeoutMs.
    bool WaitEntered(int count, int timeoutMs);
  };
  static Control& Shared();

  CF_TestGate();
  bool RunsInBackground() override { return Shared().background; }
  void Abort() override;

protected:
  bool RunKernel(const cv::Mat& in, cv::Mat& out) override;
};

// A template document whose simple template drives the gate filter.
inline constexpr const char* kGateTemplateDocument =
    "<t><template name=\"Gate\"/><filter name=\"SimpleTemplate\"><filter name=\"TestGateFilter\"/></filter></t>";

void RegisterTestClasses();

}  // namespace grinsnap::test
