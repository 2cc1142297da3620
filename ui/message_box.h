#pragma once

#include <deque>
#include <functional>
#include <vector>

#include <QString>

class QWidget;

namespace grinsnap {

// The buttons a message box offers.
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };

// What a message box answers: the button pressed, with the values the
// program has always used for them (ShowMessage(...) == MessageResult::Ok).
struct MessageResult {
  enum : int { Ok = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7 };
};

// Which button Enter presses: the first one (OK, Yes, Retry) or the one
// that changes nothing (Cancel, No). Questions whose first answer destroys
// something (replacing a file) take the safe one.
enum class MessageDefault { First, Safe };

// Shows a modal message box with this text and caption and returns the
// answer. Closing the box without a button answers Cancel (or No when there
// is no Cancel, OK for a box with OK alone). While a hook is set, the hook
// answers instead and nothing is shown.
int ShowMessage(QWidget* parent, const QString& text, const QString& caption,
                MessageButtons buttons = MessageButtons::Ok, MessageDefault defaultButton = MessageDefault::First);

// Replaces the message box by a function, for tests; an empty hook restores
// the real box. Returns the hook that was set before.
using MessageHook = std::function<int(const QString& text, const QString& caption, MessageButtons buttons,
                                      MessageDefault defaultButton)>;
MessageHook SetMessageHook(MessageHook hook);

// For tests: while it lives, every message is recorded instead of shown and
// answered with the queued answers in turn, then with the default answer.
class ScopedMessageRecorder {
public:
  struct Message {
    QString text;
    QString caption;
    MessageButtons buttons;
    MessageDefault defaultButton;
  };

  explicit ScopedMessageRecorder(int defaultAnswer = MessageResult::Ok);
  ~ScopedMessageRecorder();
  ScopedMessageRecorder(const ScopedMessageRecorder&) = delete;
  ScopedMessageRecorder& operator=(const ScopedMessageRecorder&) = delete;

  void QueueAnswer(int answer) { answers_.push_back(answer); }
  const std::vector<Message>& Messages() const { return messages_; }
  void Clear() { messages_.clear(); }

private:
  int defaultAnswer_;
  std::deque<int> answers_;
  std::vector<Message> messages_;
  MessageHook previous_;
};

}  // namespace grinsnap
