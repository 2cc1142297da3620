#pragma once

#include <string>

#include "filters/gif_writer.h"
#include "filters/multi/multi_src.h"
#include "render/mesh_renderer.h"

namespace grinsnap {

// The 3D collage filter ("3DCollageFilter"): the photos mapped onto the
// holes of a 3D model ("mesh") rendered in software over a background, with
// a second picture laid over by its alpha; the 3D template's block gives the
// pose, camera and lighting. SaveAnimation turns the model once about the
// vertical axis into a looping GIF.
class CF_3DCollage : public CF_MultiSrc {
public:
  static constexpr const char* kClassName = "3DCollageFilter";
  static constexpr FilterTraits kTraits{.ownStopFlag = true, .needsSource = true};

  CF_3DCollage();

  int Load() override;
  void SetSources(std::span<const cv::Mat> images) override;
  void SetFrameBlock(FrameBlock* block) override;
  bool PrepareOutput(const cv::Size* box) override;
  // True until a Process has collected the photos for these sources.
  bool RunsInBackground() override { return backgroundRun_; }
  bool SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) override;
  // How SaveAnimation writes its frames (whole frames without timing unless
  // told otherwise).
  void SetGifOptions(const GifWriterOptions& options) { gifOptions_ = options; }

  MeshBlock* Mesh3D() const { return mesh_; }
  const MeshRenderer& Renderer() const { return renderer_; }
  // Why the last SaveAnimation failed.
  const std::string& AnimationError() const { return animationError_; }
  // The number of holes the mesh's triangles name (at least 1).
  int HoleCount() const { return holeCount_; }

  // Renderer callbacks; public for the renderer's function pointers.
  static void VertexFunction(const VertexComponents& vertex, const VaryingSlots& out, void* self);
  static void PixelFunction(const FragmentInput& fragment, float out[3], void* self);

protected:
  RenderResult Run() override;

private:
  cv::Size Canvas() const;
  // The picture of hole g: the main source for 0, else the collected one.
  const cv::Mat& HoleImage(int g) const;

  MeshBlock* mesh_ = nullptr;
  cv::Mat background_;
  cv::Mat background2_;  // blue, green, red, alpha
  cv::Mat depth_;
  cv::Size canvas_{kDefaultOutputWidth, kDefaultOutputHeight};
  MeshRenderer renderer_;
  bool meshHasTexCoords_ = false;
  int holeCount_ = 1;
  bool backgroundRun_ = true;
  std::string animationError_;
  GifWriterOptions gifOptions_;
  // Per render: the samplers of the holes' pictures and the varying offsets.
  struct HoleSampler;
  std::vector<HoleSampler> samplers_;
  int extraOffset_ = 0;  // where N and P start among the extras
};

}  // namespace grinsnap
