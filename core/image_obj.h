#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace grinsnap {

// The edits the photo-editing dialog makes to one photo. Applied in this
// order: quarter turns, crop, brightness and contrast, caption.
struct PhotoEdits {
  int quarterTurns = 0;                    // clockwise; any integer, taken modulo 4
  std::array<float, 4> crop{0, 0, 1, 1};   // left, top, width, height as fractions of the turned picture
  int brightness = 0;                      // -100..100, added as brightness * 255 / 100
  int contrast = 0;                        // -100..100, slope (100 + contrast) / 100 about grey 128
  std::string caption;                     // drawn along the bottom edge when not empty

  bool IsIdentity() const;
  bool operator==(const PhotoEdits&) const = default;
};

// A photo's record in the editing layer, shared between the copies of a
// photo item: the photo's path, the title and description the loader found
// in the file, whether those are filled, and whether the editing dialog
// changed the photo.
struct PhotoRecord {
  std::string path;
  std::string title;
  std::string description;
  bool pathsFilled = false;
  bool modified = false;
};

struct ImageNodeState;

// A handle to one photo in the editing layer. Handles made by DupHandle share
// the photo and its edits but are released independently.
struct ImageNode {
  std::shared_ptr<ImageNodeState> state;
};
using HNODE = ImageNode*;

// Our stand-in for the photo-editing library: nodes that remember a photo's
// path and its edits and render the edited picture, plus the set of nodes an
// editing session works on. Handle operations do not need an instance, so a
// photo item can duplicate and release its handles on any thread.
class CImageObj {
public:
  CImageObj() = default;
  ~CImageObj() { RemoveAllNodes(); }
  CImageObj(const CImageObj&) = delete;
  CImageObj& operator=(const CImageObj&) = delete;

  // An independent handle to the same photo; null for null.
  static HNODE DupHandle(HNODE node);
  static void ReleaseNode(HNODE node);
  // Frees the node's cached decoded picture; the node stays.
  static void ReleaseImgBuf(HNODE node);
  // The edited picture, 8-bit three-channel; empty when the photo does not
  // load, and failure (when given) then says why. The caller owns the result.
  static cv::Mat GetOutImg(HNODE node, std::string* failure = nullptr);
  // A new node for the record's path.
  static int AddPhotoListNode(PhotoRecord& record, HNODE* node);

  static PhotoEdits GetEdits(HNODE node);
  // Replaces the node's edits and marks the record modified when they changed.
  static void SetEdits(HNODE node, const PhotoEdits& edits, PhotoRecord* record);

  // The set of nodes an editing session works on. The set holds its own
  // duplicates, so the photos' handles may come and go meanwhile.
  void AddNode(HNODE node);
  void RemoveAllNodes();
  const std::vector<HNODE>& Nodes() const { return nodes_; }

  void SetTextEffectBaseFolder(const std::filesystem::path& folder) { textEffectFolder_ = folder; }
  const std::filesystem::path& TextEffectBaseFolder() const { return textEffectFolder_; }
  void SetLanguageString(const std::string& language) { language_ = language; }
  const std::string& LanguageString() const { return language_; }

  // Album decorations: none are offered, so the album is always empty.
  bool IsAlbumEmpty() const { return true; }
  void ApplyAlbumToNode(HNODE) {}
  void RemoveAllAlbumSprites() {}

private:
  std::vector<HNODE> nodes_;
  std::filesystem::path textEffectFolder_;
  std::string language_;
};

// Applies edits to a picture (8-bit three-channel); the result is new.
cv::Mat ApplyPhotoEdits(const cv::Mat& picture, const PhotoEdits& edits);

// Turns a crop rectangle (fractions) by quarter turns clockwise, following
// the picture it belongs to.
std::array<float, 4> TurnCrop(std::array<float, 4> crop, int quarterTurns);
// The pixel rectangle of a crop in a picture of this size; the whole picture
// when the crop is unusable (not finite, or empty after clamping).
cv::Rect CropPixels(const std::array<float, 4>& crop, cv::Size picture);
// Turns a picture by quarter turns clockwise (any integer, modulo 4).
cv::Mat TurnPicture(const cv::Mat& picture, int quarterTurns);

}  // namespace grinsnap
