#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <semaphore>
#include <string>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "core/effect_template.h"
#include "platform/message_target.h"
#include "platform/messages.h"
#include "test_support/qt_test_app.h"
#include "test_support/test_support.h"
#include "tests/app/app_test_util.h"
#include "ui/app_context.h"

namespace grinsnap::test {

// A template that writes a stand-in animation and reports progress as the
// real animation writers do.
class AnimatedTemplate : public CEffectTemplate {
public:
  bool canExport = true;
  bool succeed = true;
  // What SaveAnimation was asked for, read after the worker ended.
  std::string savedTo;
  int maxWidth = 0;
  int maxHeight = 0;
  // When set, the animation waits for it after its first progress report.
  std::binary_semaphore* gate = nullptr;

  void SetSources(std::span<const cv::Mat>) override {}
  void Process() override {}
  const cv::Mat* GetOutput() override { return &output_; }
  bool CanExportAnimation() override { return canExport; }
  bool SaveAnimation(const std::string& path, int width, int height, MessageTarget* progress) override {
    savedTo = path;
    maxWidth = width;
    maxHeight = height;
    progress->Post(kMsgGifProgress, 0, 0);
    if (gate) gate->acquire();
    for (int percent : {40, 100}) progress->Post(kMsgGifProgress, static_cast<WParam>(percent), 0);
    if (!succeed) return false;
    WriteText(path, "GIF89a stand-in");
    return true;
  }

private:
  cv::Mat output_;
};

// An application context with a result in the engine: a picture of
// 800 x 600, left half red and right half blue.
class ExportFixture : public ::testing::Test {
protected:
  void SetUp() override {
    QtApp();
    SetApp(&app_);
    result_ = Flat(800, 600, {0, 0, 255});
    result_.colRange(400, 800).setTo(cv::Scalar(255, 0, 0));
    app_.engine.PushHistory(result_);
    app_.engine.SetHistoryPos(0);
    root_ = FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { SetApp(nullptr); }

  AnimatedTemplate& UseTemplate(bool canExport = true) {
    auto* t = new AnimatedTemplate;
    t->canExport = canExport;
    app_.engine.SetTemplate(t);
    template_ = TemplateRef(t);
    return *t;
  }

  AppContext app_;
  TemplateRef template_;
  cv::Mat result_;
  std::filesystem::path root_;
};

// Types text into a widget key by key, as a user would.
inline void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, c.unicode(), Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// Runs the action on the next modal dialog of type T once its event loop
// shows it; the test code that opens the dialog runs meanwhile.
template <class T>
void OnModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->stop();
    timer->deleteLater();
    action(dialog);
  });
  timer->start();
}

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

}  // namespace grinsnap::test
