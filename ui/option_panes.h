#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QPixmap>
#include <QWidget>

#include "app/language.h"
#include "core/option_panel.h"
#include "core/overlay.h"
#include "platform/message_target.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace grinsnap {

class QtMessageTarget;
class QtTimerService;

// Registers the option panes that templates create by name. main() and the
// widget tests call it once, after RegisterBuiltinClasses().
void RegisterUiClasses();

// The language file's IMAGE entry drawn stretched over every pane.
inline constexpr int kPaneBackgroundImageId = 291;

// Base of the option panes under the preview: a child window that is also
// the COptionPanel its template created. It paints its background colour
// and, when the language file names one, the background image stretched
// over it; child controls draw on top of that with transparent backgrounds.
//
// Panes made by name are built in Attached(), parented to the pane host when
// the host is a QWidget. Panes made directly call CreateWindow().
//
// Redraw protocol towards the host's RedrawTarget(): after a change the pane
// runs the engine's Apply and sends kMsgResultReady (finished here) or
// kMsgProcessingContinues (going on on the worker). While a slider is
// dragged it runs the engine's quick Refresh instead and sends kMsgRepaint,
// so the host shows the step without treating it as a finished result.
// A pane whose template is gone (Owner() null) ignores every change.
class OptionPaneWidget : public QWidget, public COptionPanel {
  Q_OBJECT
public:
  OptionPaneWidget();
  ~OptionPaneWidget() override;

  // Builds the controls under parent (may be null), loads the background
  // image, applies the language file's texts and refreshes. Once only.
  void CreateWindow(QWidget* parent);
  bool HasWindow() const override { return created_; }

  // The dialog whose texts a language file may replace (DIALOG_IDD_<id>).
  virtual int DialogId() const = 0;
  // Reads the controls' state from the template.
  virtual void Refresh() {}

  void SetBackgroundColor(ColorRef color);
  ColorRef BackgroundColor() const { return background_; }
  bool HasBackgroundImage() const { return !backgroundImage_.isNull(); }

  // Receives kMsgLanguageChanged from the main window.
  MessageTarget* Messages() const;
  // Applies the language file to the pane again and redraws it.
  virtual void OnLanguageChanged();

protected:
  void Attached() override;
  // Creates the child controls and their layout; called once by CreateWindow.
  virtual void CreateControls() = 0;
  void ApplyDialogTexts();

  // The host's receiver of redraw requests; null when there is none.
  MessageTarget* RedrawTarget() const;
  // Sends kMsgResultReady when applied, else kMsgProcessingContinues.
  void RequestRedraw(bool applied);
  // Runs the engine's Apply and requests the matching redraw.
  void ApplyAndRedraw();
  // The quick step while a slider is dragged: the engine's Refresh, then
  // kMsgRepaint to the host.
  void RefreshAndRepaint();

  void paintEvent(QPaintEvent* event) override;

private:
  bool created_ = false;
  ColorRef background_ = MakeColorRef(0xf0, 0xf0, 0xf0);
  QPixmap backgroundImage_;
  QtMessageTarget* messages_ = nullptr;
};

// The template-variable pane ("OptionPane_2D"): up to three sliders with
// their captions above them, and "Show Clip Box" when the template has a
// region of interest. Talks to its template through the variable protocol
// of Command (kCmdVariableName, kCmdVariableRange, kCmdSetVariable,
// kCmdHasRoi, kCmdShowRoi).
//
// Control ids (section DIALOG_IDD_159): "Show Clip Box" 1010. The captions
// carry no id: they are the variables' names, translated through the
// language file's DICTIONARY. Children by object name: "label0".."label2",
// "slider0".."slider2", "clipBox".
class COptionPane2D : public OptionPaneWidget {
  Q_OBJECT
public:
  static constexpr const char* kClassName = "OptionPane_2D";
  static constexpr int kSliderCount = 3;
  enum ControlId : int { kCtlClipBox = 1010 };

  COptionPane2D();

  int DialogId() const override { return kDlg2DPane; }
  // Hides everything, then shows a caption and slider for each variable
  // whose range is not 0..0 (range and start from the template) and the
  // clip box, ticked, when the template has a region of interest.
  void Refresh() override;
  // Re-reads the captions in the new language.
  void OnLanguageChanged() override;

  QLabel* Label(int i) const { return labels_[i]; }
  // The slider's position beside it ("value0".."value2").
  QLabel* ValueLabel(int i) const { return values_[i]; }
  // The three slider positions, and setting them (with the template's
  // variables, without a run): a history step brings its sliders back.
  std::vector<int> Positions() const;
  void SetPositions(const std::vector<int>& positions);
  QSlider* Slider(int i) const { return sliders_[i]; }
  QCheckBox* ClipBox() const { return clipBox_; }

protected:
  void CreateControls() override;

private:
  std::string VariableCaption(int i) const;
  void SendPositions();
  void OnSliderValueChanged();
  void OnSliderReleased();
  void OnClipBoxClicked(bool checked);

  QLabel* labels_[kSliderCount] = {};
  QLabel* values_[kSliderCount] = {};
  QSlider* sliders_[kSliderCount] = {};
  QCheckBox* clipBox_ = nullptr;
  // A drag changed the values; its release runs the full Apply.
  bool dragChanged_ = false;
};

// The 3D model pane ("OptionPane_3D"): "Rotate Model" starts (kCmdStartSpin,
// with the pane's timers) and stops (kCmdStopSpin) the model's spin,
// "Reset to Default Position" undoes the user's drags (kCmdResetRotation),
// "Specular Light" switches the highlights (kCmdSpecular). Reset and the
// highlight switch redraw the preview; the spin redraws through its ticks.
//
// Control ids (section DIALOG_IDD_160): "Rotate Model" 1020, "Reset to
// Default Position" 1021, "Specular Light" 1022. Children by object name:
// "rotateBox", "resetButton", "specularBox".
class COptionPane3D : public OptionPaneWidget {
  Q_OBJECT
public:
  static constexpr const char* kClassName = "OptionPane_3D";
  enum ControlId : int { kCtlRotate = 1020, kCtlReset = 1021, kCtlSpecular = 1022 };

  COptionPane3D();
  ~COptionPane3D() override;

  int DialogId() const override { return kDlg3DPane; }
  // Unticks both check boxes.
  void Refresh() override;
  // Ticks "Rotate Model" while the template's model spins.
  void AnimationStateChanged(bool running) override;

  QCheckBox* RotateBox() const { return rotateBox_; }
  QPushButton* ResetButton() const { return resetButton_; }
  QCheckBox* SpecularBox() const { return specularBox_; }
  // The timers the spin runs on; their ticks go to the template.
  TimerService* Timers() const;

protected:
  void CreateControls() override;

private:
  void OnRotateClicked(bool checked);
  void OnResetClicked();
  void OnSpecularClicked(bool checked);

  QCheckBox* rotateBox_ = nullptr;
  QPushButton* resetButton_ = nullptr;
  QCheckBox* specularBox_ = nullptr;
  QtTimerService* timers_ = nullptr;
};

// The pane of the original-image view: "Show Clip Box", "Zoom In",
// "Zoom Out", "Rotate Left", "Rotate Right" on a grey background. Made
// directly by the work area and bound to a target and a message number;
// each control sends (message, action, value) to the target.
//
// Control ids (section DIALOG_IDD_181): "Show Clip Box" 1010, "Zoom In"
// 1011, "Zoom Out" 1012, "Rotate Left" 1013, "Rotate Right" 1014. Children
// by object name: "clipBox", "zoomIn", "zoomOut", "rotateLeft", "rotateRight".
class COptionPaneOrgImgDefault : public OptionPaneWidget {
  Q_OBJECT
public:
  enum ControlId : int {
    kCtlClipBox = 1010,
    kCtlZoomIn = 1011,
    kCtlZoomOut = 1012,
    kCtlRotateLeft = 1013,
    kCtlRotateRight = 1014,
  };
  // wParam of the messages; the clip box passes its check state as lParam,
  // the buttons pass 0.
  enum Action : WParam {
    kActionClipBox = 1,
    kActionZoomIn = 2,
    kActionZoomOut = 3,
    kActionRotateLeft = 4,
    kActionRotateRight = 5,
  };

  explicit COptionPaneOrgImgDefault(QWidget* parent = nullptr);

  int DialogId() const override { return kDlgOriginalImagePane; }
  void SetTarget(MessageTarget* target, std::uint32_t message);
  // Sets the check box without sending anything (the owner's own state).
  void SetClipBoxChecked(bool checked);

  QCheckBox* ClipBox() const { return clipBox_; }

protected:
  void CreateControls() override;

private:
  void Notify(WParam action, LParam value);

  MessageTarget* target_ = nullptr;
  std::uint32_t message_ = 0;
  QCheckBox* clipBox_ = nullptr;
};

}  // namespace grinsnap
