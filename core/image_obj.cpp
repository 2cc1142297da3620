#include "core/image_obj.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "platform/image_loader.h"

namespace grinsnap {

// What the handles of one photo share: the path, the edits and the decoded
// picture kept between renders. The mutex guards all three, since a photo's
// handles can be used by the interface and the thumbnail thread at once.
struct ImageNodeState {
  std::mutex mutex;
  std::string path;
  PhotoEdits edits;
  cv::Mat decoded;
};

bool PhotoEdits::IsIdentity() const {
  return quarterTurns % 4 == 0 && crop == std::array<float, 4>{0, 0, 1, 1} && brightness == 0 &&
         contrast == 0 && caption.empty();
}

HNODE CImageObj::DupHandle(HNODE node) {
  if (!node) return nullptr;
  return new ImageNode{node->state};
}

void CImageObj::ReleaseNode(HNODE node) { delete node; }

void CImageObj::ReleaseImgBuf(HNODE node) {
  if (!node || !node->state) return;
  std::lock_guard lock(node->state->mutex);
  node->state->decoded.release();
}

cv::Mat CImageObj::GetOutImg(HNODE node, std::string* failure) {
  if (!node || !node->state) return {};
  ImageNodeState& state = *node->state;
  std::lock_guard lock(state.mutex);
  if (state.decoded.empty()) {
    ImageLoadResult loaded = LoadImageFile(state.path, ImageLoadOptions{});
    state.decoded = std::move(loaded.image);
    if (failure) *failure = std::move(loaded.failure);
  }
  if (state.decoded.empty()) return {};
  return ApplyPhotoEdits(state.decoded, state.edits);
}

int CImageObj::AddPhotoListNode(PhotoRecord& record, HNODE* node) {
  if (!node) return 0;
  auto state = std::make_shared<ImageNodeState>();
  state->path = record.path;
  *node = new ImageNode{std::move(state)};
  return 1;
}

PhotoEdits CImageObj::GetEdits(HNODE node) {
  if (!node || !node->state) return {};
  std::lock_guard lock(node->state->mutex);
  return node->state->edits;
}

void CImageObj::SetEdits(HNODE node, const PhotoEdits& edits, PhotoRecord* record) {
  if (!node || !node->state) return;
  std::lock_guard lock(node->state->mutex);
  if (node->state->edits == edits) return;
  node->state->edits = edits;
  if (record) record->modified = true;
}

void CImageObj::AddNode(HNODE node) {
  if (!node) return;
  for (HNODE held : nodes_)
    if (held->state == node->state) return;
  nodes_.push_back(DupHandle(node));
}

void CImageObj::RemoveAllNodes() {
  for (HNODE held : nodes_) ReleaseNode(held);
  nodes_.clear();
}

static int PositiveQuarterTurns(int quarterTurns) { return ((quarterTurns % 4) + 4) % 4; }

cv::Mat TurnPicture(const cv::Mat& picture, int quarterTurns) {
  cv::Mat turned;
  switch (PositiveQuarterTurns(quarterTurns)) {
    case 1: cv::rotate(picture, turned, cv::ROTATE_90_CLOCKWISE); break;
    case 2: cv::rotate(picture, turned, cv::ROTATE_180); break;
    case 3: cv::rotate(picture, turned, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    default: turned = picture.clone(); break;
  }
  return turned;
}

std::array<float, 4> TurnCrop(std::array<float, 4> crop, int quarterTurns) {
  // One clockwise turn takes the point (x, y) to (1 - y, x).
  for (int i = PositiveQuarterTurns(quarterTurns); i > 0; --i) {
    const auto [left, top, width, height] = crop;
    crop = {1.0f - top - height, left, height, width};
  }
  return crop;
}

cv::Rect CropPixels(const std::array<float, 4>& crop, cv::Size picture) {
  const cv::Rect whole(0, 0, picture.width, picture.height);
  for (float v : crop)
    if (!std::isfinite(v)) return whole;
  const auto edge = [](float fraction, int size) {
    return static_cast<int>(std::lround(std::clamp(static_cast<double>(fraction), 0.0, 1.0) * size));
  };
  const int x0 = edge(crop[0], picture.width);
  const int y0 = edge(crop[1], picture.height);
  const int x1 = edge(crop[0] + crop[2], picture.width);
  const int y1 = edge(crop[1] + crop[3], picture.height);
  if (x1 <= x0 || y1 <= y0) return whole;
  return {x0, y0, x1 - x0, y1 - y0};
}

cv::Mat ApplyPhotoEdits(const cv::Mat& picture, const PhotoEdits& edits) {
  cv::Mat turned = TurnPicture(picture, edits.quarterTurns);
  cv::Mat result = turned(CropPixels(edits.crop, turned.size())).clone();
  if (edits.brightness != 0 || edits.contrast != 0) {
    const double slope = (100.0 + std::clamp(edits.contrast, -100, 100)) / 100.0;
    const double offset = 128.0 * (1.0 - slope) + std::clamp(edits.brightness, -100, 100) * 255.0 / 100.0;
    result.convertTo(result, -1, slope, offset);
  }
  if (!edits.caption.empty() && result.rows >= 16 && result.cols >= 16) {
    const double scale = std::max(0.4, result.rows / 600.0);
    const int thickness = std::max(1, static_cast<int>(scale * 2));
    int baseline = 0;
    const cv::Size text = cv::getTextSize(edits.caption, cv::FONT_HERSHEY_SIMPLEX, scale, thickness, &baseline);
    const cv::Point origin((result.cols - text.width) / 2, result.rows - baseline - text.height / 2);
    cv::putText(result, edits.caption, origin, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(0, 0, 0), thickness + 2,
                cv::LINE_AA);
    cv::putText(result, edits.caption, origin, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255, 255, 255), thickness,
                cv::LINE_AA);
  }
  return result;
}

}  // namespace grinsnap
