#include "ui/message_box.h"

#include <QMessageBox>

namespace grinsnap {

namespace {

MessageHook& Hook() {
  static MessageHook hook;
  return hook;
}

}  // namespace

MessageHook SetMessageHook(MessageHook hook) {
  MessageHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

int ShowMessage(QWidget* parent, const QString& text, const QString& caption, MessageButtons buttons,
                MessageDefault defaultButton) {
  if (Hook()) return Hook()(text, caption, buttons, defaultButton);

  QMessageBox::StandardButtons shown = QMessageBox::Ok;
  switch (buttons) {
    case MessageButtons::Ok: shown = QMessageBox::Ok; break;
    case MessageButtons::OkCancel: shown = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MessageButtons::YesNo: shown = QMessageBox::Yes | QMessageBox::No; break;
    case MessageButtons::YesNoCancel: shown = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MessageButtons::RetryCancel: shown = QMessageBox::Retry | QMessageBox::Cancel; break;
  }
  QMessageBox box(QMessageBox::NoIcon, caption, text, shown, parent);
  if (defaultButton == MessageDefault::Safe) {
    if (shown & QMessageBox::Cancel)
      box.setDefaultButton(QMessageBox::Cancel);
    else if (shown & QMessageBox::No)
      box.setDefaultButton(QMessageBox::No);
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return MessageResult::Ok;
    case QMessageBox::Retry: return MessageResult::Retry;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    case QMessageBox::Cancel: return MessageResult::Cancel;
    default: break;
  }
  // Closed with the window's close button or Escape.
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Cancel;
}

ScopedMessageRecorder::ScopedMessageRecorder(int defaultAnswer) : defaultAnswer_(defaultAnswer) {
  previous_ = SetMessageHook([this](const QString& text, const QString& caption, MessageButtons buttons,
                                    MessageDefault defaultButton) {
    messages_.push_back({text, caption, buttons, defaultButton});
    if (answers_.empty()) return defaultAnswer_;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
}

ScopedMessageRecorder::~ScopedMessageRecorder() { SetMessageHook(std::move(previous_)); }

}  // namespace grinsnap
