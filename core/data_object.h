#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include <opencv2/core.hpp>

#include "core/render_result.h"

namespace grinsnap {

class MessageTarget;
struct PlacementRecord;  // a photo dropped on the preview; defined with the frame template

// What an object made by name is.
enum class ObjectKind : int { DataObject = 0, Filter = 1, Template = 2, OptionPane = 3 };

// Root of every object the class registry creates. It records what kind of
// object it is and the name its class was registered under.
class CImageDataObject {
public:
  virtual ~CImageDataObject() = default;
  CImageDataObject(const CImageDataObject&) = delete;
  CImageDataObject& operator=(const CImageDataObject&) = delete;

  ObjectKind Kind() const { return kind_; }
  const char* ClassName() const { return className_; }

protected:
  CImageDataObject() = default;
  // Each constructor level overwrites both: the most derived one wins.
  void SetIdentity(ObjectKind kind, const char* className) {
    kind_ = kind;
    className_ = className;
  }
  void SetClassName(const char* className) { className_ = className; }

private:
  ObjectKind kind_ = ObjectKind::DataObject;
  const char* className_ = "CImageDataObject";
};

// The processing contract shared by filters and templates. The engine drives
// templates through it, and templates drive their filters through the same
// operations, so an operation means the same on both sides.
//
// Images are cv::Mat, 8-bit BGR unless stated otherwise. An empty Mat in a
// source array stands for a missing picture.
class CTemplateObject : public CImageDataObject {
public:
  // Reads own parameters and resources; called once, right after creation.
  virtual int Load() { return 0; }
  // Hands the input photos. The object copies them unless told to share.
  virtual void SetSources(std::span<const cv::Mat> images) = 0;
  // Starts a new random variation; called right before a fresh Process.
  virtual void Reseed() {}
  virtual void Process() = 0;
  // Asks a Process running on another thread to stop soon. A stop request
  // stays until ClearAbort, so one that comes before Process starts is
  // not lost.
  virtual void Abort() {}
  // Lets the object run again after an abort; called once the run that was
  // aborted has ended.
  virtual void ClearAbort() {}
  // How the last Process ended.
  virtual RenderResult LastRun() const { return RenderResult::Done(); }
  // Seeded effects: use this seed from now on, as Reseed would pick one.
  virtual void SetSeed(std::uint32_t seed) { (void)seed; }
  // The result, owned by the object (null when there is none); callers
  // clone what they keep.
  virtual const cv::Mat* GetOutput() = 0;
  // Requested output size; null means the natural size. Returns whether the
  // output image was replaced.
  virtual bool PrepareOutput(const cv::Size* box) {
    (void)box;
    return false;
  }
  // Size of the effect's own output or base picture; fills and returns size.
  virtual cv::Size* GetOutputSize(cv::Size* size) { return size; }
  // True when Process is long and should run on the engine's worker thread.
  virtual bool RunsInBackground() { return false; }
  // Writes the animation to a GIF file, reporting progress to a window.
  virtual bool SaveAnimation(const std::string& path, int maxWidth, int maxHeight,
                             MessageTarget* progress) {
    (void)path, (void)maxWidth, (void)maxHeight, (void)progress;
    return false;
  }
  // Hands a photo dropped on the preview (frame-based effects).
  virtual void ApplyPlacement(std::span<const cv::Mat> images, const PlacementRecord* placement) {
    (void)images, (void)placement;
  }

  // Folder of the template document; resource file names resolve against it.
  const std::filesystem::path& Folder() const { return folder_; }
  void SetFolder(const std::filesystem::path& folder) { folder_ = folder; }

protected:
  CTemplateObject() = default;

private:
  std::filesystem::path folder_;
};

}  // namespace grinsnap
