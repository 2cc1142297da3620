#pragma once

#include <QDialog>
#include <QMenu>
#include <QMenuBar>

#include "app/language.h"

namespace grinsnap {

// The language layer's view of a Qt dialog: its title and the child widgets
// that carry a control id (the dynamic property "controlId").
class QtDialogText : public DialogTextTarget {
public:
  explicit QtDialogText(QWidget* dialog);
  void SetCaption(const std::string& text) override;
  int ChildCount() const override;
  int ChildControlId(int index) const override;
  void SetChildText(int index, const std::string& text) override;

  // Marks a child widget with its control id.
  static void SetControlId(QWidget* child, int controlId);

private:
  QWidget* dialog_;
  QList<QWidget*> children_;
};

// The language layer's view of a menu bar or a menu: its actions in order,
// where an action with a menu is a sub-menu and an action's data holds its
// command id.
class QtMenuText : public MenuTextTarget {
public:
  explicit QtMenuText(QWidget* menu);
  int ItemCount() const override;
  ItemKind Kind(int position) const override;
  int CommandId(int position) const override;
  void SetItemText(int position, const std::string& text) override;
  MenuTextTarget* SubMenu(int position) override;

private:
  QList<QAction*> actions_;
  std::vector<std::unique_ptr<QtMenuText>> subMenus_;
};

// A text of a dialog by control id from the current language file, else
// the built-in text given. For texts a dialog shows that are not a control's
// own (hints, tooltips, texts filled in as the dialog goes).
QString LanguageText(int dialogId, int controlId, const char* builtin);

}  // namespace grinsnap
