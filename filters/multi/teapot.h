#pragma once

#include <string>

#include "filters/multi/frame_block.h"
#include "filters/simple_filter.h"
#include "render/mesh_renderer.h"

namespace grinsnap {

// The model filter ("TeapotFilter"): a 3D model ("mesh") drawn over the
// photo with the software renderer, posed by the 3D template's block. With
// `reflect` the model is a mirror: the photo, taken as a panorama all round
// the model, shows reflected in it. Otherwise the mesh's own texture
// coordinates map the photo onto the model. Without a photo the model is
// drawn lit from the camera on black.
class CF_Teapot : public CF_SimpleFilter {
public:
  static constexpr const char* kClassName = "TeapotFilter";
  static constexpr FilterTraits kTraits{.needsSource = false};

  CF_Teapot();

  int Load() override;
  void SetFrameBlock(FrameBlock* block) override;
  bool PrepareOutput(const cv::Size* box) override;
  // One turn of the model about the vertical axis as a looping GIF.
  bool SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) override;
  const std::string& AnimationError() const { return animationError_; }

  const MeshRenderer& Renderer() const { return renderer_; }

  // The mirror's vertex stage; public for the renderer's function pointer.
  static void MirrorVertex(const VertexComponents& vertex, const VaryingSlots& out, void* self);

protected:
  RenderResult Run() override;

private:
  MeshBlock* mesh_ = nullptr;
  MeshRenderer renderer_;
  cv::Mat depth_;
  cv::Mat photo_;
  std::string animationError_;  // the source as 8-bit BGR, the renderer's texture
};

}  // namespace grinsnap
