#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "core/effect_template.h"
#include "core/image_obj.h"
#include "core/photo_item.h"
#include "core/render_result.h"

namespace grinsnap {

class MessageTarget;

// The process-wide processing engine: the user's photos, the inputs of the
// current template, the template, the current result and the edit history.
// It runs the template on the calling (interface) thread, or on a worker
// thread when the template runs in the background, and keeps the photos'
// thumbnails up to date on a low-priority thread.
//
// Every public operation is called from the interface thread, except
// RenderTemplateThumbnail (the gallery's own thread) and the photo and input
// getters. Locks: the photo lock guards the photo list and the photo ids, the
// input lock the inputs and their photo indices. Where both are needed the
// photo lock is taken first; the input lock is never held while the photo
// lock is taken.
class CProcessEngine {
public:
  static constexpr int kHistoryLimit = 100;
  static constexpr int kPhotoThumbnailBox = 90;

  CProcessEngine();
  ~CProcessEngine();
  CProcessEngine(const CProcessEngine&) = delete;
  CProcessEngine& operator=(const CProcessEngine&) = delete;

  // ---- Photo list ----
  int GetPhotoCount() const;
  // A copy; an empty item for a bad index.
  PhotoItem GetPhoto(int index) const;
  // index -1 appends; other indices are clamped to 0..count.
  void InsertPhoto(int index, const PhotoItem& item);
  // Stores a copy without its working image and cached pictures; false for a
  // bad index.
  bool ReplacePhoto(int index, const PhotoItem& item);
  void RemovePhoto(int index);
  void MovePhoto(int from, int to);
  void RemoveAllPhotos();
  // The index of the photo read from this file, or -1.
  int FindPhoto(const std::filesystem::path& path) const;

  int CurrentPhoto() const { return currentPhoto_; }
  void SetCurrentPhoto(int index) { currentPhoto_ = index; }

  // ---- Inputs ----
  int GetInputCount() const;
  PhotoItem GetInput(int index, bool lock = true) const;
  std::vector<int> InputPhotoIndices() const;
  void AddInput(int photoIndex);
  void SelectSingleInput(int photoIndex);
  void UpdatePhotoAndInput(int position, PhotoItem item, bool lockInputs);
  // Empties the input list (a new template takes its photos afresh).
  void ClearInputs();
  // Editing the inputs in the photo-editing dialog: gives every input a node
  // in the editing layer and puts the nodes in the editing set.
  void BeginEditingInputs();
  // Ends an editing session: every input the dialog changed is reset to no
  // turn, the full crop and no face data, and its photo and working image
  // are rebuilt from the edits. Returns how many inputs changed.
  int FinishEditingInputs();

  // ---- Processing ----
  // Takes a reference on t (null clears) and drops the old template's.
  void SetTemplate(CEffectTemplate* t);
  CEffectTemplate* Template() const { return template_.get(); }
  // Runs the current template on the inputs; true when it ended here,
  // false when it goes on on the worker thread (the result-ready message
  // follows). LastResult tells how the run ended.
  bool Apply();
  // Waits for a background run to end on its own (no cancel); for front ends
  // without an event loop, after Apply returned false.
  void WaitForResult();
  // A quick re-run with the inputs already handed, while a slider moves.
  void Refresh();
  // A photo of the list dropped on the preview of a template that places
  // dropped photos: the template puts it where it was dropped (placement
  // holds the point and the view), then the result is rendered again with
  // the inputs as they are. Returns false when the template does not take
  // drops or the photo does not load.
  bool PlaceDroppedPhoto(int photoIndex, const PlacementRecord* placement);
  // Runs the template on the history (output at its natural size).
  bool ApplyHistoryRun();
  void Undo();
  void Redo();
  void AddOutputAsPhoto();
  void ClearOutput();
  // Appends a copy of the picture to the history after the current entry
  // (dropping the entries after it) and makes it the current one.
  void PushHistory(const cv::Mat& picture);
  // Makes the current result a history entry, shown from there; false when
  // there is no result or it is already an entry.
  bool CommitOutputToHistory();

  // Makes entry k (clamped to the history) the current one and shows it.
  void SetHistoryPos(int k);
  // Removes one entry; the current position follows the entries after it.
  void RemoveHistoryEntry(int index);

  // A thumbnail fitted into 90 x 90 for the photo (or, with inputs from the
  // history, the history entry) at index; empty for a bad index. path, when
  // given, receives the photo's path.
  cv::Mat MakeThumbnail(int index, std::filesystem::path* path = nullptr);
  // The gallery thumbnail of a template rendered on the current inputs.
  RenderResult RenderTemplateThumbnail(CEffectTemplate& t, cv::Mat& thumbnail);
  // (Re)starts the photo thumbnail thread.
  void StartThumbnails();
  void StopThumbnails();

  // The current result; empty when there is none. Read it only while no
  // background run is busy.
  const cv::Mat& Output() const { return output_; }
  bool OutputBorrowed() const { return outputBorrowed_; }
  bool IsBusy() const { return busy_.load(); }
  // How the last run ended: Finished with the result in Output(), Failed
  // with the reason (no output then), or Cancelled. Read it on the
  // interface thread after Apply returned true or the result-ready message
  // came.
  RenderResult LastResult() const;

  int HistoryCount() const { return static_cast<int>(history_.size()); }
  int HistoryPos() const { return historyPos_; }
  const cv::Mat& HistoryEntry(int index) const { return history_.at(static_cast<std::size_t>(index)); }

  // ---- Settings ----
  void SetViewRect(const cv::Rect& rect) { viewRect_ = rect; }
  const cv::Rect& ViewRect() const { return viewRect_; }
  void SetRequestTag(int tag) { requestTag_ = tag; }
  int RequestTag() const { return requestTag_; }
  void SetNotifyWindow(MessageTarget* window) { notifyWindow_ = window; }
  MessageTarget* NotifyWindow() const { return notifyWindow_; }
  void SetMainWindow(MessageTarget* window) { mainWindow_ = window; }
  void SetPhotoListWindow(MessageTarget* window) { photoListWindow_ = window; }
  void SetInputsFromHistory(bool on) { inputsFromHistory_ = on; }
  bool InputsFromHistory() const { return inputsFromHistory_; }
  void SetPrimaryHistoryEntry(int index) { primaryHistoryEntry_ = index; }
  void SetThumbnailSize(int width, int height);
  CImageObj& ImageObj() { return imageObj_; }

private:
  void StopWorker();
  bool Run(int runMode);
  void StartWorker(int runMode);
  void WorkerRun(int runMode, int tag);
  void StopThumbnailsLocked();
  void ThumbnailLoop();
  // Only under the photo lock.
  void RenumberPhotos();
  void ReleaseOutput();
  void TruncateHistoryAfterPos();
  void TrimHistory();
  // The steps before Process: the inputs (when handed), the output size
  // (the view's, or the natural one) and the parameters.
  RenderResult Prepare(bool handInputs, bool naturalSize, bool reseed);
  // Process and the copy of its result, on whichever thread runs it.
  RenderResult ProcessAndTakeOutput(int runMode);
  void SetLastResult(RenderResult result);
  // Builds the working image of a copy of photo index; an empty item for a bad index.
  PhotoItem PhotoWithWorkingImage(int photoIndex);

  mutable std::mutex photoLock_;
  mutable std::mutex inputLock_;

  std::vector<PhotoItem> photos_;
  std::vector<PhotoItem> inputs_;
  std::vector<int> inputPhotoIndex_;
  std::deque<cv::Mat> history_;
  int historyPos_ = -1;
  cv::Mat output_;
  TemplateRef template_;
  std::atomic<int> currentPhoto_{0};
  int primaryHistoryEntry_ = 0;
  std::atomic<int> requestTag_{0};
  cv::Rect viewRect_;
  int runMode_ = 0;
  MessageTarget* notifyWindow_ = nullptr;
  MessageTarget* mainWindow_ = nullptr;
  MessageTarget* photoListWindow_ = nullptr;
  std::atomic<bool> busy_{false};
  bool outputBorrowed_ = false;
  bool inputsFromHistory_ = false;
  std::atomic<int> thumbWidth_{0};
  std::atomic<int> thumbHeight_{0};
  CImageObj imageObj_;

  // The worker's verdict on its result is taken under this mutex, and a
  // cancel clears resultWanted under it, so a run that is being cancelled
  // never posts its result.
  mutable std::mutex resultMutex_;
  bool resultWanted_ = true;
  RenderResult lastResult_;
  std::thread worker_;

  std::mutex thumbMutex_;
  std::condition_variable thumbWake_;
  bool stopThumbs_ = false;
  std::thread thumbThread_;
};

}  // namespace grinsnap
