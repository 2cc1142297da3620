#include "core/process_engine.h"

#include <algorithm>
#include <chrono>

#include <opencv2/imgproc.hpp>

#include "core/render.h"
#include "core/template_document.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "platform/thread_priority.h"

namespace grinsnap {

namespace {

// Pictures of the thumbnail thread wait this long between photos so that the
// interface stays responsive.
constexpr auto kThumbnailPause = std::chrono::milliseconds(100);

// Command-state updates the main window gets when a background run ends.
constexpr WParam kCommandStateBusyOff = 1;
constexpr LParam kCommandStateBusyOffArg = 5;
constexpr WParam kCommandStateRefresh = 0;
constexpr LParam kCommandStateRefreshArg = 4;

}  // namespace

CProcessEngine::CProcessEngine() = default;

CProcessEngine::~CProcessEngine() {
  StopWorker();
  StopThumbnails();
}

// ---- Photo list ----

int CProcessEngine::GetPhotoCount() const {
  std::lock_guard lock(photoLock_);
  return static_cast<int>(photos_.size());
}

PhotoItem CProcessEngine::GetPhoto(int index) const {
  std::lock_guard lock(photoLock_);
  if (index < 0 || index >= static_cast<int>(photos_.size())) return {};
  return photos_[static_cast<std::size_t>(index)];
}

void CProcessEngine::RenumberPhotos() {
  for (std::size_t i = 0; i < photos_.size(); ++i)
    if (photos_[i].source) photos_[i].source->photoId = static_cast<int>(i);
}

void CProcessEngine::InsertPhoto(int index, const PhotoItem& item) {
  StopThumbnails();
  std::lock_guard lock(photoLock_);
  const int count = static_cast<int>(photos_.size());
  if (index == -1) {
    index = count;
  } else {
    index = std::clamp(index, 0, count);
    if (currentPhoto_ >= index) ++currentPhoto_;
  }
  PhotoItem stored = item;
  // Every photo in the list needs its own source record for its id.
  if (!stored.source) stored.source = std::make_shared<SourceRecord>();
  photos_.insert(photos_.begin() + index, std::move(stored));
  RenumberPhotos();
  // The inputs keep pointing at the same photos.
  std::lock_guard inputLock(inputLock_);
  for (int& photoIndex : inputPhotoIndex_)
    if (photoIndex >= index) ++photoIndex;
}

bool CProcessEngine::ReplacePhoto(int index, const PhotoItem& item) {
  std::lock_guard lock(photoLock_);
  if (index < 0 || index >= static_cast<int>(photos_.size())) return false;
  PhotoItem stored = item;
  stored.DropWorkingImage();
  photos_[static_cast<std::size_t>(index)] = std::move(stored);
  return true;
}

void CProcessEngine::RemovePhoto(int index) {
  StopThumbnails();
  std::lock_guard lock(photoLock_);
  if (index < 0 || index >= static_cast<int>(photos_.size())) return;
  auto removed = photos_.begin() + index;
  if (removed->source) removed->source->photoId = -1;
  photos_.erase(removed);
  RenumberPhotos();
  const int count = static_cast<int>(photos_.size());
  currentPhoto_ = std::min(currentPhoto_.load(), count - 1);

  std::lock_guard inputLock(inputLock_);
  for (std::size_t i = 0; i < inputPhotoIndex_.size();) {
    if (inputPhotoIndex_[i] != index) {
      if (inputPhotoIndex_[i] > index) --inputPhotoIndex_[i];
      ++i;
      continue;
    }
    inputPhotoIndex_.erase(inputPhotoIndex_.begin() + static_cast<std::ptrdiff_t>(i));
    // The last input of an emptied list stays, so the preview keeps its picture.
    const bool lastOfEmptyList = count == 0 && inputs_.size() == 1;
    if (!lastOfEmptyList && i < inputs_.size()) inputs_.erase(inputs_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void CProcessEngine::MovePhoto(int from, int to) {
  StopThumbnails();
  std::lock_guard lock(photoLock_);
  const int count = static_cast<int>(photos_.size());
  if (from < 0 || from >= count) return;
  to = std::clamp(to, 0, count);
  // to is a position between photos of the list before the move, so a photo
  // moved forward lands one before it.
  const int dest = to > from ? to - 1 : to;
  if (dest == from) return;
  const auto follow = [from, dest](int i) {
    if (i == from) return dest;
    if (from < dest && i > from && i <= dest) return i - 1;
    if (dest < from && i >= dest && i < from) return i + 1;
    return i;
  };

  PhotoItem moved = std::move(photos_[static_cast<std::size_t>(from)]);
  photos_.erase(photos_.begin() + from);
  photos_.insert(photos_.begin() + dest, std::move(moved));
  RenumberPhotos();
  currentPhoto_ = follow(currentPhoto_);

  std::lock_guard inputLock(inputLock_);
  for (int& photoIndex : inputPhotoIndex_) photoIndex = follow(photoIndex);
}

void CProcessEngine::RemoveAllPhotos() {
  StopThumbnails();
  std::lock_guard lock(photoLock_);
  for (PhotoItem& photo : photos_)
    if (photo.source) photo.source->photoId = -1;
  photos_.clear();
  currentPhoto_ = 0;
}

int CProcessEngine::FindPhoto(const std::filesystem::path& path) const {
  std::error_code error;
  const std::filesystem::path wanted = std::filesystem::weakly_canonical(path, error);
  std::lock_guard lock(photoLock_);
  for (std::size_t i = 0; i < photos_.size(); ++i) {
    const std::filesystem::path& photoPath = photos_[i].path;
    if (photoPath.empty()) continue;
    if (photoPath == path || std::filesystem::weakly_canonical(photoPath, error) == wanted)
      return static_cast<int>(i);
  }
  return -1;
}

// ---- Inputs ----

int CProcessEngine::GetInputCount() const {
  std::lock_guard lock(inputLock_);
  return static_cast<int>(inputs_.size());
}

PhotoItem CProcessEngine::GetInput(int index, bool lock) const {
  std::unique_lock guard(inputLock_, std::defer_lock);
  if (lock) guard.lock();
  if (index < 0 || index >= static_cast<int>(inputs_.size())) return {};
  return inputs_[static_cast<std::size_t>(index)];
}

std::vector<int> CProcessEngine::InputPhotoIndices() const {
  std::lock_guard lock(inputLock_);
  return inputPhotoIndex_;
}

PhotoItem CProcessEngine::PhotoWithWorkingImage(int photoIndex) {
  PhotoItem copy;
  {
    std::lock_guard lock(photoLock_);
    if (photoIndex < 0 || photoIndex >= static_cast<int>(photos_.size())) return {};
    copy = photos_[static_cast<std::size_t>(photoIndex)];
  }
  // Loading happens outside the photo lock, so the thumbnail thread and the
  // gallery do not wait for it.
  copy.WorkingImage();
  return copy;
}

void CProcessEngine::AddInput(int photoIndex) {
  const int count = GetPhotoCount();
  if (count == 0) return;
  photoIndex = std::clamp(photoIndex, 0, count - 1);
  PhotoItem input = PhotoWithWorkingImage(photoIndex);
  if (input.IsEmpty()) return;
  std::lock_guard lock(inputLock_);
  inputs_.push_back(std::move(input));
  inputPhotoIndex_.push_back(photoIndex);
}

void CProcessEngine::SelectSingleInput(int photoIndex) {
  const int count = GetPhotoCount();
  if (count == 0) return;
  photoIndex = std::clamp(photoIndex, 0, count - 1);
  currentPhoto_ = photoIndex;
  PhotoItem input = PhotoWithWorkingImage(photoIndex);
  if (input.IsEmpty()) return;
  std::lock_guard lock(inputLock_);
  inputs_.clear();
  inputs_.push_back(std::move(input));
  inputPhotoIndex_.assign(1, photoIndex);
}

void CProcessEngine::UpdatePhotoAndInput(int position, PhotoItem item, bool lockInputs) {
  item.DropWorkingImage();
  item.WorkingImage();
  const int thumbWidth = thumbWidth_, thumbHeight = thumbHeight_;
  if (thumbWidth > 0 && thumbHeight > 0) item.MakeThumbnail(thumbWidth, thumbHeight);
  {
    std::unique_lock guard(inputLock_, std::defer_lock);
    if (lockInputs) guard.lock();
    const int id = item.PhotoId();
    auto match = std::find_if(inputs_.begin(), inputs_.end(),
                              [&](const PhotoItem& input) { return id >= 0 && input.PhotoId() == id; });
    if (match != inputs_.end())
      *match = item;
    else if (position >= 0 && position < static_cast<int>(inputs_.size()))
      inputs_[static_cast<std::size_t>(position)] = item;
  }
  item.DropWorkingImage();
  std::lock_guard lock(photoLock_);
  const int count = static_cast<int>(photos_.size());
  const int id = item.PhotoId();
  if (currentPhoto_ >= 0 && currentPhoto_ < count && id >= 0 && id < count)
    photos_[static_cast<std::size_t>(id)] = std::move(item);
}

void CProcessEngine::ClearInputs() {
  std::lock_guard lock(inputLock_);
  inputs_.clear();
  inputPhotoIndex_.clear();
}

void CProcessEngine::BeginEditingInputs() {
  imageObj_.RemoveAllNodes();
  for (int i = 0; i < GetInputCount(); ++i) {
    PhotoItem input = GetInput(i);
    if (input.IsEmpty()) continue;
    if (!input.node) {
      if (!input.editRecord) input.editRecord = std::make_shared<PhotoRecord>();
      input.editRecord->path = input.path.string();
      CImageObj::AddPhotoListNode(*input.editRecord, &input.node);
      // The photo keeps its new handle.
      UpdatePhotoAndInput(i, input, true);
    }
    imageObj_.AddNode(input.node);
  }
}

int CProcessEngine::FinishEditingInputs() {
  imageObj_.RemoveAllNodes();
  int changed = 0;
  for (int i = 0; i < GetInputCount(); ++i) {
    PhotoItem input = GetInput(i);
    if (input.IsEmpty() || !input.editRecord || !input.editRecord->modified) continue;
    // The edits now carry the turn and the crop.
    input.rotation = 0;
    input.cropRotation = 0;
    input.crop = {0, 0, 1, 1};
    input.faceData = {};
    input.editRecord->modified = false;
    UpdatePhotoAndInput(i, input, true);
    ++changed;
  }
  return changed;
}

// ---- Processing ----

void CProcessEngine::StopWorker() {
  {
    std::lock_guard lock(resultMutex_);
    resultWanted_ = false;
  }
  if (worker_.joinable()) {
    if (template_) template_->Abort();
    worker_.join();
    // The filter tree may run again only once the worker is gone.
    if (template_) template_->ClearAbort();
  }
  std::lock_guard lock(resultMutex_);
  resultWanted_ = true;
}

void CProcessEngine::WaitForResult() {
  if (worker_.joinable()) worker_.join();
}

void CProcessEngine::StartWorker(int runMode) {
  busy_ = true;
  runMode_ = runMode;
  // The tag belongs to this run: a caller may set the next run's tag before
  // the next Apply cancels this one.
  const int tag = requestTag_.exchange(0);
  worker_ = std::thread([this, runMode, tag] { WorkerRun(runMode, tag); });
}

void CProcessEngine::WorkerRun(int runMode, int tag) {
  const RenderResult result = ProcessAndTakeOutput(runMode);
  std::lock_guard lock(resultMutex_);
  // A run that is being cancelled posts nothing; the one after it will.
  const bool post = resultWanted_ && !result.IsCancelled();
  busy_ = false;
  if (post && notifyWindow_) {
    notifyWindow_->Post(kMsgResultReady, static_cast<WParam>(tag), 0);
    if (mainWindow_) {
      mainWindow_->Post(kMsgCommandState600, kCommandStateBusyOff, kCommandStateBusyOffArg);
      mainWindow_->Post(kMsgCommandState600, kCommandStateRefresh, kCommandStateRefreshArg);
    }
  }
}

RenderResult CProcessEngine::ProcessAndTakeOutput(int runMode) {
  RenderResult result = Render(*template_, {.applyParams = false});
  std::lock_guard lock(resultMutex_);
  ReleaseOutput();
  if (!resultWanted_ && result.IsFinished()) result = RenderResult::Stopped();
  if (result.IsFinished()) {
    result = Guarded([&] {
      const cv::Mat* picture = template_->GetOutput();
      if (picture && !picture->empty()) {
        if (runMode == 1) TruncateHistoryAfterPos();
        output_ = picture->clone();
        if (runMode == 1) TrimHistory();
      }
      return RenderResult::Done();
    });
  }
  lastResult_ = result;
  return result;
}

RenderResult CProcessEngine::LastResult() const {
  std::lock_guard lock(resultMutex_);
  return lastResult_;
}

void CProcessEngine::SetLastResult(RenderResult result) {
  std::lock_guard lock(resultMutex_);
  lastResult_ = std::move(result);
}

void CProcessEngine::SetTemplate(CEffectTemplate* t) {
  StopWorker();
  if (t) t->AddRef();
  template_ = TemplateRef(t);
}

RenderResult CProcessEngine::Prepare(bool handInputs, bool naturalSize, bool reseed) {
  const cv::Size box = viewRect_.size();
  RenderRequest request{.size = naturalSize || viewRect_.empty() ? OutputSize::Natural() : OutputSize::Fit(box),
                        .reseed = reseed,
                        .process = false};
  if (!handInputs) return Render(*template_, request);

  std::lock_guard lock(inputLock_);
  if (inputsFromHistory_) {
    std::vector<cv::Mat> pictures;
    pictures.reserve(history_.size());
    const int count = static_cast<int>(history_.size());
    const bool hasPrimary = primaryHistoryEntry_ >= 0 && primaryHistoryEntry_ < count;
    if (hasPrimary) pictures.push_back(history_[static_cast<std::size_t>(primaryHistoryEntry_)]);
    for (int i = 0; i < count; ++i)
      if (!hasPrimary || i != primaryHistoryEntry_) pictures.push_back(history_[static_cast<std::size_t>(i)]);
    request.sources = pictures;
    return Render(*template_, request);
  }
  // Templates copy what they keep, so the copies may share pixels with the inputs.
  std::vector<PhotoItem> copies;
  copies.reserve(inputs_.size());
  for (const PhotoItem& input : inputs_) copies.push_back(input.Snapshot());
  request.photos = copies;
  return Render(*template_, request);
}

void CProcessEngine::ReleaseOutput() {
  output_.release();
  outputBorrowed_ = false;
}

// Runs the steps before Process and then Process itself, here or on the
// worker thread. Returns true when the run ended here. A plain run hands
// the inputs and renders a new variation at the view's size; a history run
// re-renders the template as it is at its natural size.
bool CProcessEngine::Run(int runMode) {
  StopWorker();
  if (!template_) {
    requestTag_ = 0;
    return true;
  }
  const bool plain = runMode == 0;
  RenderResult prepared = Prepare(plain, !plain, plain);
  if (!prepared.IsFinished()) {
    ReleaseOutput();
    SetLastResult(std::move(prepared));
    requestTag_ = 0;
    return true;
  }
  if (template_->RunsInBackground()) {
    StartWorker(runMode);
    return false;
  }
  ProcessAndTakeOutput(runMode);
  requestTag_ = 0;
  return true;
}

bool CProcessEngine::Apply() { return Run(0); }

void CProcessEngine::Refresh() {
  StopWorker();
  if (!template_) return;
  RenderResult result = Prepare(false, false, false);
  if (result.IsFinished()) result = Render(*template_, {.applyParams = false});
  if (result.IsFinished()) {
    result = Guarded([&] {
      const cv::Mat* picture = template_->GetOutput();
      if (!picture || picture->empty()) {
        ReleaseOutput();
      } else if (outputBorrowed_ || output_.empty() || output_.type() != picture->type()) {
        output_ = picture->clone();
      } else {
        // Reuses the buffer of the previous step instead of allocating per slider move.
        cv::resize(*picture, output_, output_.size(), 0, 0, cv::INTER_LINEAR);
      }
      return RenderResult::Done();
    });
  }
  if (!result.IsFinished()) ReleaseOutput();
  outputBorrowed_ = false;
  SetLastResult(std::move(result));
}

bool CProcessEngine::PlaceDroppedPhoto(int photoIndex, const PlacementRecord* placement) {
  StopWorker();
  if (!template_ || !template_->TakesDroppedPhotos()) return false;
  PhotoItem photo = PhotoWithWorkingImage(photoIndex);
  if (photo.IsEmpty() || photo.WorkingImage().empty()) return false;
  std::vector<PhotoItem> dropped = {std::move(photo)};
  const RenderResult placed = Guarded([&] {
    template_->SetInputPhotosEx(dropped, placement);
    return RenderResult::Done();
  });
  if (!placed.IsFinished()) {
    SetLastResult(placed);
    return false;
  }
  Refresh();
  return true;
}

bool CProcessEngine::ApplyHistoryRun() { return Run(1); }

void CProcessEngine::TruncateHistoryAfterPos() {
  const std::size_t keep = static_cast<std::size_t>(historyPos_ + 1);
  if (history_.size() > keep) history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(keep), history_.end());
}

void CProcessEngine::TrimHistory() {
  while (history_.size() > static_cast<std::size_t>(kHistoryLimit)) {
    history_.pop_front();
    if (--historyPos_ < 0) {
      historyPos_ = 0;
      output_ = history_.front();
      outputBorrowed_ = true;
    }
  }
}

void CProcessEngine::PushHistory(const cv::Mat& picture) {
  if (picture.empty()) return;
  TruncateHistoryAfterPos();
  history_.push_back(picture.clone());
  historyPos_ = static_cast<int>(history_.size()) - 1;
  TrimHistory();
}

void CProcessEngine::SetHistoryPos(int k) {
  StopWorker();
  if (history_.empty()) return;
  historyPos_ = std::clamp(k, 0, static_cast<int>(history_.size()) - 1);
  output_ = history_[static_cast<std::size_t>(historyPos_)];
  outputBorrowed_ = true;
}

void CProcessEngine::RemoveHistoryEntry(int index) {
  StopWorker();
  if (index < 0 || index >= static_cast<int>(history_.size())) return;
  const bool showingIt = outputBorrowed_ && output_.data == history_[static_cast<std::size_t>(index)].data;
  history_.erase(history_.begin() + index);
  if (historyPos_ > index || historyPos_ >= static_cast<int>(history_.size())) --historyPos_;
  if (showingIt) {
    // The picture shown is gone: show the entry that is now current.
    if (historyPos_ >= 0) {
      output_ = history_[static_cast<std::size_t>(historyPos_)];
    } else {
      output_.release();
      outputBorrowed_ = false;
    }
  }
}

bool CProcessEngine::CommitOutputToHistory() {
  StopWorker();
  if (output_.empty() || outputBorrowed_) return false;
  TruncateHistoryAfterPos();
  history_.push_back(output_);
  historyPos_ = static_cast<int>(history_.size()) - 1;
  outputBorrowed_ = true;
  TrimHistory();
  return true;
}

static void StepHistory(int step, std::deque<cv::Mat>& history, int& historyPos, cv::Mat& output,
                        bool& outputBorrowed) {
  const int count = static_cast<int>(history.size());
  const bool showingCurrent = outputBorrowed && historyPos >= 0 && historyPos < count &&
                              output.data == history[static_cast<std::size_t>(historyPos)].data;
  if (!outputBorrowed) output.release();
  if (historyPos != -1 && historyPos < count && !showingCurrent) {
    // The first step back only shows the current entry again.
    output = history[static_cast<std::size_t>(historyPos)];
    outputBorrowed = true;
    return;
  }
  historyPos = std::clamp(historyPos + step, -1, count - 1);
  if (historyPos >= 0) {
    output = history[static_cast<std::size_t>(historyPos)];
    outputBorrowed = true;
  } else {
    output.release();
    outputBorrowed = false;
  }
}

void CProcessEngine::Undo() {
  StopWorker();
  template_ = TemplateRef();
  StepHistory(-1, history_, historyPos_, output_, outputBorrowed_);
}

void CProcessEngine::Redo() {
  StopWorker();
  template_ = TemplateRef();
  StepHistory(+1, history_, historyPos_, output_, outputBorrowed_);
}

void CProcessEngine::AddOutputAsPhoto() {
  StopWorker();
  if (output_.empty()) return;
  // The photo keeps a copy: the next refresh rewrites the output in place.
  InsertPhoto(0, PhotoItem::FromImage(output_.clone()));
}

void CProcessEngine::ClearOutput() {
  StopWorker();
  ReleaseOutput();
}

cv::Mat CProcessEngine::MakeThumbnail(int index, std::filesystem::path* path) {
  const cv::Size box(kPhotoThumbnailBox, kPhotoThumbnailBox);
  if (inputsFromHistory_) {
    if (index < 0 || index >= static_cast<int>(history_.size())) return {};
    return ScaleToFit(history_[static_cast<std::size_t>(index)], box, true, cv::INTER_AREA);
  }
  PhotoItem photo = GetPhoto(index);
  if (photo.IsEmpty()) return {};
  if (path) *path = photo.path;
  photo.MakeThumbnail(box.width, box.height);
  return photo.thumbnail.clone();
}

RenderResult CProcessEngine::RenderTemplateThumbnail(CEffectTemplate& t, cv::Mat& thumbnail) {
  std::vector<PhotoItem> copies;
  {
    std::lock_guard lock(inputLock_);
    copies.reserve(inputs_.size());
    for (const PhotoItem& input : inputs_) copies.push_back(input.Snapshot());
  }
  // The template is the gallery's own; the copies share pixels that nobody
  // changes in place, so the rendering needs no lock.
  return RenderGalleryThumbnail(t, copies, thumbnail);
}

// ---- Photo thumbnails ----

void CProcessEngine::SetThumbnailSize(int width, int height) {
  thumbWidth_ = std::max(0, width);
  thumbHeight_ = std::max(0, height);
}

void CProcessEngine::StartThumbnails() {
  StopThumbnails();
  thumbThread_ = std::thread([this] { ThumbnailLoop(); });
}

void CProcessEngine::StopThumbnails() {
  {
    std::lock_guard lock(thumbMutex_);
    stopThumbs_ = true;
  }
  thumbWake_.notify_all();
  if (thumbThread_.joinable()) thumbThread_.join();
  std::lock_guard lock(thumbMutex_);
  stopThumbs_ = false;
}

void CProcessEngine::ThumbnailLoop() {
  LowerThreadPriority();
  for (std::size_t i = 0;; ++i) {
    const int width = thumbWidth_, height = thumbHeight_;
    PhotoItem copy;
    {
      std::lock_guard lock(photoLock_);
      if (i >= photos_.size()) break;
      copy = photos_[i].Snapshot();
    }
    bool worked = false;
    if (width > 0 && height > 0 && !copy.ThumbnailCurrent(width, height)) {
      // The picture is decoded outside the lock; the thumbnail goes back only
      // to the same photo, still turned and cropped the same way.
      copy.MakeThumbnail(width, height);
      copy.DropWorkingImage();
      std::lock_guard lock(photoLock_);
      if (i < photos_.size() && photos_[i].SameSource(copy) && photos_[i].rotation == copy.rotation &&
          photos_[i].cropRotation == copy.cropRotation && photos_[i].crop == copy.crop) {
        photos_[i].thumbnail = copy.thumbnail;
        photos_[i].CopyThumbnailKeyFrom(copy);
      }
      worked = true;
    }
    if (photoListWindow_ && worked) photoListWindow_->Post(kMsgRepaint, 0, 0);
    std::unique_lock lock(thumbMutex_);
    if (stopThumbs_) break;
    if (worked && thumbWake_.wait_for(lock, kThumbnailPause, [this] { return stopThumbs_; })) break;
  }
}

}  // namespace grinsnap
