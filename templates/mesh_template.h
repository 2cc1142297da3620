#pragma once

#include <array>
#include <filesystem>

#include <string>

#include "filters/multi/frame_block.h"
#include "platform/message_target.h"
#include "templates/simple_template.h"

namespace grinsnap {

// Command codes of the 3D template.
inline constexpr int kCmdResetRotation = 450;
inline constexpr int kCmdStartSpin = 500;
inline constexpr int kCmdStopSpin = 600;
inline constexpr int kCmdSpecular = 650;
// The spin timer's period.
inline constexpr int kSpinIntervalMs = 20;

// The model configuration file: rest rotation (9 floats), rest position (3),
// the model's viewport as fractions of the output (4) and the field of view
// (1), little-endian, 68 bytes.
struct ModelConfig {
  Matrix3 restRotation = kIdentity3;
  std::array<float, 3> restPosition{0, 0, -3};
  std::array<float, 4> viewport{0, 0, 0, 0};
  float fieldOfView = 1.5707964f;
};
inline constexpr std::size_t kModelConfigSize = 68;
// Largest magnitude accepted for any value of a configuration file; beyond
// it the model would be thrown out of every view.
inline constexpr float kMaxModelConfigValue = 1.0e4f;
// Reads a configuration file into config. A file that cannot be opened, is
// not exactly kModelConfigSize bytes long, or holds a value that is not
// finite, beyond kMaxModelConfigValue, or a field of view outside (0, pi)
// leaves config whole as it was and returns false with the reason in error.
bool ReadModelConfig(const std::filesystem::path& path, ModelConfig& config, std::string* error = nullptr);
std::array<std::uint8_t, kModelConfigSize> SerialiseModelConfig(const ModelConfig& config);

// The 3D template ("3DMeshTemplate"): the photos on a model its filter
// renders. The model's rotation is its rest orientation from the
// configuration file, turned by the spinning animation and by the user's
// drags on the preview. It can always export the turning model as a GIF.
class CT_3DMesh : public CT_SimpleTempl {
public:
  static constexpr const char* kClassName = "3DMeshTemplate";

  CT_3DMesh();
  ~CT_3DMesh() override;

  int Load() override;
  void ApplyParams() override;
  int Command(int code, int reserved, int index, void* data) override;
  bool HasInteraction(int kind) override { return kind == kInteractionRegion; }
  bool OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) override;
  void DrawOverlay(int kind, OverlayPainter& painter, const ViewGeometry& view) override {
    (void)kind, (void)painter, (void)view;
  }
  bool CanExportAnimation() override { return true; }
  bool RunsInBackground() override;
  bool SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) override;
  void ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) override;
  std::vector<COptionPanel*>* CreateOptionPanes(int panel) override;
  // One step of the spinning animation (the 20 ms timer's tick).
  void SpinStep();
  // The spin timer's tick: a step, then the engine renders the new pose and
  // its notify window hears that the result is ready.
  void OnTimer(int id) override;
  // Whether the spin timer runs (Command 500 started it, 600 stopped it).
  bool Spinning() const { return spinTimer_ != nullptr; }

  const MeshBlock& Block() const { return block_; }
  int RotationMode() const { return rotationMode_; }

private:
  void HandBlock();
  void UpdateRotation();
  void StopSpin();
  void TellPanesAnimation(bool running);

  MeshBlock block_;
  Matrix3 restRotation_ = kIdentity3;
  Matrix3 userRotation_ = kIdentity3;
  Matrix3 animRotation_ = kIdentity3;
  Matrix3 stepRotation_ = kIdentity3;
  std::array<float, 3> restPosition_{0, 0, -3};
  int rotationMode_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
  // The window's timers while the model spins; null when it stands still.
  TimerService* spinTimer_ = nullptr;
};

// Row-major product a x b.
Matrix3 MultiplyMatrices(const Matrix3& a, const Matrix3& b);
// Rows made orthonormal again (Gram-Schmidt), against drift from many products.
Matrix3 Reorthonormalise(const Matrix3& m);

}  // namespace grinsnap
