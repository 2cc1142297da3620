#include "platform/message_target.h"

#include <algorithm>
#include <chrono>

namespace grinsnap {

void RecordingMessageTarget::Record(const RecordedMessage& m) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(m);
  }
  arrived_.notify_all();
}

void RecordingMessageTarget::Post(std::uint32_t message, WParam wParam, LParam lParam) {
  Record({message, wParam, lParam, false});
}

LParam RecordingMessageTarget::Send(std::uint32_t message, WParam wParam, LParam lParam) {
  Record({message, wParam, lParam, true});
  return 0;
}

std::vector<RecordedMessage> RecordingMessageTarget::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

bool RecordingMessageTarget::WaitFor(std::uint32_t message, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return std::any_of(messages_.begin(), messages_.end(),
                       [&](const RecordedMessage& m) { return m.message == message; });
  });
}

void RecordingMessageTarget::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

void RecordingTimerService::KillTimer(int id) {
  events_.push_back({id, 0});
  active_.erase(std::remove(active_.begin(), active_.end(), id), active_.end());
}

bool RecordingTimerService::IsActive(int id) const {
  return std::find(active_.begin(), active_.end(), id) != active_.end();
}

}  // namespace grinsnap
