#include "ui/qt_language.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>

#include "ui/app_context.h"

namespace grinsnap {

namespace {
constexpr const char* kControlIdProperty = "controlId";
}

QtDialogText::QtDialogText(QWidget* dialog) : dialog_(dialog) {
  for (QWidget* child : dialog->findChildren<QWidget*>())
    if (child->property(kControlIdProperty).isValid()) children_.push_back(child);
}

void QtDialogText::SetCaption(const std::string& text) { dialog_->setWindowTitle(QString::fromStdString(text)); }

int QtDialogText::ChildCount() const { return static_cast<int>(children_.size()); }

int QtDialogText::ChildControlId(int index) const { return children_[index]->property(kControlIdProperty).toInt(); }

void QtDialogText::SetChildText(int index, const std::string& text) {
  const QString value = QString::fromStdString(text);
  QWidget* child = children_[index];
  if (auto* button = qobject_cast<QAbstractButton*>(child))
    button->setText(value);
  else if (auto* label = qobject_cast<QLabel*>(child))
    label->setText(value);
  else if (auto* group = qobject_cast<QGroupBox*>(child))
    group->setTitle(value);
}

void QtDialogText::SetControlId(QWidget* child, int controlId) { child->setProperty(kControlIdProperty, controlId); }

QtMenuText::QtMenuText(QWidget* menu) : actions_(menu->actions()) { subMenus_.resize(actions_.size()); }

int QtMenuText::ItemCount() const { return static_cast<int>(actions_.size()); }

MenuTextTarget::ItemKind QtMenuText::Kind(int position) const {
  const QAction* action = actions_[position];
  if (action->isSeparator()) return ItemKind::Separator;
  return action->menu() ? ItemKind::SubMenu : ItemKind::Command;
}

int QtMenuText::CommandId(int position) const { return actions_[position]->data().toInt(); }

void QtMenuText::SetItemText(int position, const std::string& text) {
  actions_[position]->setText(QString::fromStdString(text));
}

MenuTextTarget* QtMenuText::SubMenu(int position) {
  QMenu* menu = actions_[position]->menu();
  if (!menu) return nullptr;
  auto& sub = subMenus_[static_cast<std::size_t>(position)];
  if (!sub) sub = std::make_unique<QtMenuText>(menu);
  return sub.get();
}

QString LanguageText(int dialogId, int controlId, const char* builtin) {
  if (const AppContext* app = CurrentApp(); app && app->language) {
    const std::string text = app->language->ControlText(dialogId, controlId);
    if (!text.empty()) return QString::fromStdString(text);
  }
  return QString::fromUtf8(builtin);
}

}  // namespace grinsnap
