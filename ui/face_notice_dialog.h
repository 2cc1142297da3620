#pragma once

#include <functional>

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace grinsnap {

struct AppContext;

// The notice that no face was found in the photo (dialog 300): the text
// asks the user to place the face box by hand, and a check box turns the
// notice off until the program ends.
class CDlgInfoNotDetected : public QDialog {
  Q_OBJECT
public:
  static constexpr int kDoNotShowAgainId = 1077;

  CDlgInfoNotDetected(const AppContext& app, QWidget* parent = nullptr);

  bool DoNotShowAgain() const;
  QLabel* Text() const { return text_; }
  QCheckBox* DoNotShowAgainBox() const { return doNotShowAgain_; }
  QPushButton* OkButton() const { return ok_; }

private:
  QLabel* text_ = nullptr;
  QCheckBox* doNotShowAgain_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Shows the notice modally unless the user turned it off in this run, and
// turns it off when the user closes it with the box ticked. Returns whether
// it was shown. While a hook is set the dialog is built and handed to the
// hook instead of being run (the hook may tick the box).
bool ShowFaceNotice(AppContext& app, QWidget* parent);
using FaceNoticeHook = std::function<void(CDlgInfoNotDetected& dialog)>;
FaceNoticeHook SetFaceNoticeHook(FaceNoticeHook hook);

}  // namespace grinsnap
