#pragma once

#include <functional>
#include <map>

#include <QObject>
#include <QTimer>

#include "platform/message_target.h"

namespace grinsnap {

// A message target on the interface thread's event loop: Post queues the
// message as an event (safe from any thread), Send delivers it at once on
// the interface thread and blocks a worker until it has been handled.
class QtMessageTarget : public QObject, public MessageTarget {
  Q_OBJECT
public:
  using Handler = std::function<LParam(std::uint32_t message, WParam wParam, LParam lParam)>;

  explicit QtMessageTarget(Handler handler, QObject* parent = nullptr);

  void Post(std::uint32_t message, WParam wParam, LParam lParam) override;
  LParam Send(std::uint32_t message, WParam wParam, LParam lParam) override;

protected:
  bool event(QEvent* event) override;

private:
  Handler handler_;
};

// Timers by id on the interface thread; each tick calls the handler with the id.
class QtTimerService : public QObject, public TimerService {
  Q_OBJECT
public:
  explicit QtTimerService(std::function<void(int id)> onTick, QObject* parent = nullptr);
  void SetTimer(int id, int intervalMs) override;
  void KillTimer(int id) override;
  bool IsActive(int id) const;

private:
  std::function<void(int)> onTick_;
  std::map<int, QTimer*> timers_;
};

}  // namespace grinsnap
