#include "ui/qt_message_target.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

namespace grinsnap {

namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct MessageEvent : QEvent {
  MessageEvent(std::uint32_t m, WParam w, LParam l) : QEvent(kMessageEventType), message(m), wParam(w), lParam(l) {}
  std::uint32_t message;
  WParam wParam;
  LParam lParam;
};

}  // namespace

QtMessageTarget::QtMessageTarget(Handler handler, QObject* parent) : QObject(parent), handler_(std::move(handler)) {}

void QtMessageTarget::Post(std::uint32_t message, WParam wParam, LParam lParam) {
  QCoreApplication::postEvent(this, new MessageEvent(message, wParam, lParam));
}

LParam QtMessageTarget::Send(std::uint32_t message, WParam wParam, LParam lParam) {
  if (QThread::currentThread() == thread()) return handler_ ? handler_(message, wParam, lParam) : 0;
  LParam result = 0;
  QMetaObject::invokeMethod(
      this, [&] { result = handler_ ? handler_(message, wParam, lParam) : 0; }, Qt::BlockingQueuedConnection);
  return result;
}

bool QtMessageTarget::event(QEvent* event) {
  if (event->type() != kMessageEventType) return QObject::event(event);
  const auto* m = static_cast<MessageEvent*>(event);
  if (handler_) handler_(m->message, m->wParam, m->lParam);
  return true;
}

QtTimerService::QtTimerService(std::function<void(int)> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {}

void QtTimerService::SetTimer(int id, int intervalMs) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (onTick_) onTick_(id);
    });
  }
  timer->start(intervalMs);
}

void QtTimerService::KillTimer(int id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

bool QtTimerService::IsActive(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

}  // namespace grinsnap
