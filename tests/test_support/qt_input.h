#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace grinsnap::test {

// Mouse and wheel input sent straight to a widget, as Qt delivers it.
inline void Mouse(QWidget& widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                  Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QMouseEvent event(type, QPointF(pos), QPointF(widget.mapToGlobal(pos)), button, buttons, modifiers);
  QApplication::sendEvent(&widget, &event);
}

inline void Click(QWidget& widget, QPoint pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Mouse(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton, modifiers);
  Mouse(widget, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton, modifiers);
}

// What Qt delivers for a double click: the second press comes as a double click.
inline void DoubleClick(QWidget& widget, QPoint pos) {
  Click(widget, pos);
  Mouse(widget, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
  Mouse(widget, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

inline void RightClick(QWidget& widget, QPoint pos) {
  Mouse(widget, QEvent::MouseButtonPress, pos, Qt::RightButton, Qt::RightButton);
  Mouse(widget, QEvent::MouseButtonRelease, pos, Qt::RightButton, Qt::NoButton);
}

inline void Wheel(QWidget& widget, QPoint pos, QPoint angleDelta, Qt::ScrollPhase phase = Qt::NoScrollPhase) {
  QWheelEvent event(QPointF(pos), QPointF(widget.mapToGlobal(pos)), QPoint(), angleDelta, Qt::NoButton,
                    Qt::NoModifier, phase, false);
  QApplication::sendEvent(&widget, &event);
}

// A vertical wheel turn of this many eighths of a degree (120 is one notch).
inline void Wheel(QWidget& widget, QPoint pos, int angle) { Wheel(widget, pos, QPoint(0, angle)); }

}  // namespace grinsnap::test
