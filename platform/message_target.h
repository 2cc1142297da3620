#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace grinsnap {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

// What stands in for a window handle: something that receives messages.
// Post queues the message for the receiver's thread; Send delivers it
// synchronously and returns the receiver's answer. Worker threads only post.
class MessageTarget {
public:
  virtual ~MessageTarget() = default;
  virtual void Post(std::uint32_t message, WParam wParam, LParam lParam) = 0;
  virtual LParam Send(std::uint32_t message, WParam wParam, LParam lParam) = 0;
};

// Periodic timers owned by a window; ids are the kTimer* constants.
class TimerService {
public:
  virtual ~TimerService() = default;
  virtual void SetTimer(int id, int intervalMs) = 0;
  virtual void KillTimer(int id) = 0;
};

struct RecordedMessage {
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  bool sent = false;  // true for Send, false for Post

  bool operator==(const RecordedMessage&) const = default;
};

// A message target for tests: records every message and lets a test wait for
// one without sleeping.
class RecordingMessageTarget final : public MessageTarget {
public:
  void Post(std::uint32_t message, WParam wParam, LParam lParam) override;
  LParam Send(std::uint32_t message, WParam wParam, LParam lParam) override;

  std::vector<RecordedMessage> Messages() const;
  // Blocks until a message with this id has arrived; false after timeoutMs.
  bool WaitFor(std::uint32_t message, int timeoutMs) const;
  void Clear();

private:
  void Record(const RecordedMessage& m);

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<RecordedMessage> messages_;
};

struct TimerEvent {
  int id = 0;
  int intervalMs = 0;  // 0 for KillTimer
  bool operator==(const TimerEvent&) const = default;
};

// A timer service for tests: records SetTimer and KillTimer calls.
class RecordingTimerService final : public TimerService {
public:
  void SetTimer(int id, int intervalMs) override { events_.push_back({id, intervalMs}); active_.push_back(id); }
  void KillTimer(int id) override;
  const std::vector<TimerEvent>& Events() const { return events_; }
  bool IsActive(int id) const;

private:
  std::vector<TimerEvent> events_;
  std::vector<int> active_;
};

}  // namespace grinsnap
