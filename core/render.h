#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>

#include <opencv2/core.hpp>

#include "core/data_object.h"
#include "core/render_result.h"

namespace grinsnap {

class PhotoItem;

// The size a render asks for.
struct OutputSize {
  std::optional<cv::Size> box;  // fitted into this box; none: the natural size
  static OutputSize Natural() { return {}; }
  static OutputSize Fit(cv::Size box) { return {box}; }
};

// The steps of one render of a template or filter, each taken only when
// asked for, always in this order: hand the inputs, size the output, hand
// the parameters, pick the random variation, run Process.
struct RenderRequest {
  std::optional<std::span<const cv::Mat>> sources;  // SetSources with these pictures
  std::optional<std::span<PhotoItem>> photos;       // templates: SetInputPhotos
  std::optional<OutputSize> size;                   // PrepareOutput
  bool applyParams = true;                          // templates: ApplyParams (after sizing)
  bool thumbnailMode = false;                       // templates: thumbnail mode during the render
  bool reseed = false;                              // a new random variation (Reseed)
  std::optional<std::uint32_t> seed;                // or this one (SetSeed)
  bool process = true;                              // run Process
};

// The one way a template or filter is rendered, by the engine (on the
// interface thread and on its worker), the gallery, the command line, the
// tests and the benchmarks. Returns how Process ended (Finished when the
// request did not ask for it); an exception anywhere in the steps, memory
// running out among them, ends as Failed with a message, never beyond this
// call. After Process the object's abort flags are cleared, so a stop aimed
// at this run does not hold back the next one.
RenderResult Render(CTemplateObject& object, const RenderRequest& request);

// Runs f and turns what it throws into a failed result; what is rendered
// elsewhere (taking a result's copy, say) fails the same way.
template <typename F>
RenderResult Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return RenderResult::Failure("not enough memory for this picture");
  } catch (const cv::Exception& e) {
    if (e.code == cv::Error::StsNoMem) return RenderResult::Failure("not enough memory for this picture");
    return RenderResult::Failure(e.err.empty() ? std::string(e.what()) : e.err);
  } catch (const std::exception& e) {
    return RenderResult::Failure(e.what());
  } catch (...) {
    return RenderResult::Failure("unexpected error");
  }
}

}  // namespace grinsnap
