#pragma once

#include <string>
#include <utility>

namespace grinsnap {

// How one render of a template or filter ended.
enum class RenderStatus {
  Finished,   // the output is complete
  Cancelled,  // stopped early by Abort; the output holds a part and is discarded
  Failed,     // an error (bad input, missing resource, no memory); message says which
};

struct RenderResult {
  RenderStatus status = RenderStatus::Finished;
  std::string message;

  static RenderResult Done() { return {}; }
  static RenderResult Stopped() { return {RenderStatus::Cancelled, {}}; }
  static RenderResult Failure(std::string why) { return {RenderStatus::Failed, std::move(why)}; }

  bool IsFinished() const { return status == RenderStatus::Finished; }
  bool IsCancelled() const { return status == RenderStatus::Cancelled; }
  bool IsFailed() const { return status == RenderStatus::Failed; }
};

// The worse of two outcomes, for objects that run several parts: a failure
// outweighs a cancel, which outweighs a finished part.
inline RenderResult Worse(RenderResult a, RenderResult b) {
  return static_cast<int>(b.status) > static_cast<int>(a.status) ? std::move(b) : std::move(a);
}

}  // namespace grinsnap
