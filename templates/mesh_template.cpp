#include "templates/mesh_template.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include <tinyxml2.h>

#include "core/option_panel.h"
#include "core/process_engine.h"
#include "core/xml_params.h"
#include "platform/messages.h"
#include "platform/paths.h"

namespace grinsnap {

namespace {

Matrix3 AboutY(float a) {
  const float c = std::cos(a), s = std::sin(a);
  return {c, 0, s, 0, 1, 0, -s, 0, c};
}

Matrix3 AboutX(float b) {
  const float c = std::cos(b), s = std::sin(b);
  return {1, 0, 0, 0, c, -s, 0, s, c};
}

// Drags turn the model by one radian per 100 pixels.
constexpr float kDragRadiansPerPixel = 0.01f;
constexpr float kDefaultRotationSpeed = 0.05f;

}  // namespace

Matrix3 MultiplyMatrices(const Matrix3& a, const Matrix3& b) {
  Matrix3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  return r;
}

Matrix3 Reorthonormalise(const Matrix3& m) {
  double r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = m[3 * i + j];
    for (int k = 0; k < i; ++k) {
      const double d = r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2];
      for (int j = 0; j < 3; ++j) r[i][j] -= d * r[k][j];
    }
    const double n = std::sqrt(r[i][0] * r[i][0] + r[i][1] * r[i][1] + r[i][2] * r[i][2]);
    if (n > 0)
      for (double& v : r[i]) v /= n;
  }
  Matrix3 out{};
  for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(r[i / 3][i % 3]);
  return out;
}

bool ReadModelConfig(const std::filesystem::path& path, ModelConfig& config, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path.string() + ": " + why;
    return false;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot be opened");
  // One byte more than the record tells a longer file from a whole one.
  std::array<char, kModelConfigSize + 1> bytes{};
  in.read(bytes.data(), bytes.size());
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got != kModelConfigSize)
    return fail(got < kModelConfigSize ? "shorter than " + std::to_string(kModelConfigSize) + " bytes"
                                       : "longer than " + std::to_string(kModelConfigSize) + " bytes");
  float f[kModelConfigSize / 4];
  std::memcpy(f, bytes.data(), sizeof f);
  for (float v : f)
    if (!std::isfinite(v) || std::fabs(v) > kMaxModelConfigValue) return fail("holds a value out of range");
  if (!(f[16] > 0 && f[16] < 3.14159265f)) return fail("field of view out of range");
  ModelConfig read;
  std::copy(f, f + 9, read.restRotation.begin());
  std::copy(f + 9, f + 12, read.restPosition.begin());
  std::copy(f + 12, f + 16, read.viewport.begin());
  read.fieldOfView = f[16];
  config = read;
  return true;
}

std::array<std::uint8_t, kModelConfigSize> SerialiseModelConfig(const ModelConfig& config) {
  float f[kModelConfigSize / 4];
  std::copy(config.restRotation.begin(), config.restRotation.end(), f);
  std::copy(config.restPosition.begin(), config.restPosition.end(), f + 9);
  std::copy(config.viewport.begin(), config.viewport.end(), f + 12);
  f[16] = config.fieldOfView;
  std::array<std::uint8_t, kModelConfigSize> bytes{};
  std::memcpy(bytes.data(), f, sizeof f);
  return bytes;
}

CT_3DMesh::CT_3DMesh() { SetClassName(kClassName); }

CT_3DMesh::~CT_3DMesh() {
  // A timer left running would tick into a template that is gone.
  StopSpin();
  ReleasePanes();
  filter_.reset();
}

void CT_3DMesh::HandBlock() {
  if (!filter_) return;
  filter_->SetVariables(params_);
  filter_->SetFrameBlock(&block_);
}

int CT_3DMesh::Load() {
  LoadFilter();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  block_ = MeshBlock{};
  ReadAttribute(param, "stretch", block_.stretch);
  ReadAttribute(param, "fillmode", block_.fillMode);
  block_.hasAspect = true;
  block_.collageMode = true;
  block_.backgroundColor = MakeColorRef(128, 128, 128);
  if (const tinyxml2::XMLElement* colour = FirstChild(param, "bkcolor")) {
    int r = 0, g = 0, b = 0;
    ReadAttribute(colour, "r", r);
    ReadAttribute(colour, "g", g);
    ReadAttribute(colour, "b", b);
    block_.backgroundColor = MakeColorRef(r, g, b);
  }
  const int shorter = std::min(block_.frameWidth, block_.frameHeight);
  block_.cellSize = shorter < 100 ? 100 : shorter;

  ModelConfig config;
  config.restRotation = restRotation_;
  config.restPosition = restPosition_;
  config.viewport = block_.configExtra;
  config.fieldOfView = block_.fieldOfView;
  const std::string configFile = AttributeText(param, "config");
  if (!configFile.empty()) ReadModelConfig(ResolveDataPath(Folder(), configFile), config);
  restRotation_ = config.restRotation;
  restPosition_ = config.restPosition;
  block_.configExtra = config.viewport;
  block_.fieldOfView = config.fieldOfView;

  double specular = 0;
  ReadAttribute(param, "specular", specular);
  block_.specular.fill(static_cast<float>(specular));
  ReadAttribute(param, "rotation_speed", block_.rotationSpeed);
  const std::string cull = AttributeText(param, "cull");
  block_.cullMode = cull == "ccw" ? 1 : cull == "cw" ? 2 : 0;
  ReadAttribute(param, "constraint", rotationMode_);
  std::array<double, 3> light{1, -1, 1};
  ReadAttribute(param, "speclx", light[0]);
  ReadAttribute(param, "specly", light[1]);
  ReadAttribute(param, "speclz", light[2]);
  const double length = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
  for (int i = 0; i < 3; ++i) block_.lightDirection[i] = static_cast<float>(length > 0 ? light[i] / length : 0);
  // Blue, green, red.
  ReadAttribute(param, "specb", block_.specular[0]);
  ReadAttribute(param, "specg", block_.specular[1]);
  ReadAttribute(param, "specr", block_.specular[2]);
  if (block_.rotationSpeed == 0) block_.rotationSpeed = kDefaultRotationSpeed;

  stepRotation_ = AboutY(block_.rotationSpeed);
  animRotation_ = kIdentity3;
  UpdateRotation();
  HandBlock();
  return filter_ ? 1 : 0;
}

void CT_3DMesh::UpdateRotation() {
  block_.rotation = MultiplyMatrices(MultiplyMatrices(animRotation_, restRotation_), userRotation_);
  block_.position = restPosition_;
}

void CT_3DMesh::ApplyParams() {
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  int moveable = 1, reflect = 0, normalise = 0;
  ReadAttribute(param, "moveable", moveable);
  ReadAttribute(param, "reflect", reflect);
  ReadAttribute(param, "normalizenormals", normalise);
  block_.moveable = moveable == 1 ? 1 : 0;
  if (reflect == 1) block_.renderFlags |= kRenderReflect;
  if (normalise == 1) block_.renderFlags |= kRenderNormaliseNormals;
  if (mouseDown) {
    const float a = static_cast<float>(mouseX - lastX_) * kDragRadiansPerPixel;
    const float b = static_cast<float>(mouseY - lastY_) * kDragRadiansPerPixel;
    if (rotationMode_ == 1)
      userRotation_ = Reorthonormalise(MultiplyMatrices(MultiplyMatrices(userRotation_, AboutY(a)), AboutX(b)));
    else if (rotationMode_ == 0)
      animRotation_ = MultiplyMatrices(animRotation_, AboutY(a));
  }
  lastX_ = mouseX;
  lastY_ = mouseY;
  UpdateRotation();
  HandBlock();
}

void CT_3DMesh::SpinStep() {
  if (mouseDown) return;
  animRotation_ = Reorthonormalise(MultiplyMatrices(animRotation_, stepRotation_));
  UpdateRotation();
  HandBlock();
}

void CT_3DMesh::OnTimer(int id) {
  if (id != kTimerMeshRotation || !spinTimer_ || mouseDown) return;
  SpinStep();
  CProcessEngine* engine = Engine();
  if (!engine) return;
  // A run that goes on on the worker reports its own end.
  if (engine->Apply())
    if (MessageTarget* notify = engine->NotifyWindow()) notify->Send(kMsgResultReady, 0, 0);
}

void CT_3DMesh::StopSpin() {
  if (!spinTimer_) return;
  spinTimer_->KillTimer(kTimerMeshRotation);
  spinTimer_ = nullptr;
}

void CT_3DMesh::TellPanesAnimation(bool running) {
  for (COptionPanel* pane : Panes())
    if (pane) pane->AnimationStateChanged(running);
}

int CT_3DMesh::Command(int code, int reserved, int index, void* data) {
  (void)reserved;
  // 500 passes the window's timers; without them there is nothing to spin on.
  if (code == kCmdStartSpin && data) {
    StopSpin();
    spinTimer_ = static_cast<TimerService*>(data);
    spinTimer_->SetTimer(kTimerMeshRotation, kSpinIntervalMs);
    TellPanesAnimation(true);
  }
  if (code == kCmdStopSpin) {
    StopSpin();
    TellPanesAnimation(false);
  }
  if (code == kCmdResetRotation) {
    userRotation_ = kIdentity3;
    UpdateRotation();
  }
  if (code == kCmdSpecular) {
    if (index != 0)
      block_.renderFlags |= kRenderSpecular;
    else
      block_.renderFlags &= ~kRenderSpecular;
  }
  HandBlock();
  return filter_ ? 1 : 0;
}

bool CT_3DMesh::OnMouse(int kind, const MouseInput& mouse, const ViewGeometry& view) {
  (void)view;
  // A drag turns the model (in ApplyParams) unless the template forbids it.
  return kind == kInteractionRegion && mouse.buttonDown && (rotationMode_ == 0 || rotationMode_ == 1);
}

bool CT_3DMesh::RunsInBackground() { return filter_ ? filter_->RunsInBackground() : false; }

bool CT_3DMesh::SaveAnimation(const std::string& path, int maxWidth, int maxHeight, MessageTarget* progress) {
  return filter_ ? filter_->SaveAnimation(path, maxWidth, maxHeight, progress) : false;
}

void CT_3DMesh::ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) {
  if (filter_) filter_->ApplyPlacement(images, placement);
}

std::vector<COptionPanel*>* CT_3DMesh::CreateOptionPanes(int panel) {
  return panel == kTemplateParamPanel ? MakeOptionPane("OptionPane_3D") : nullptr;
}

}  // namespace grinsnap
