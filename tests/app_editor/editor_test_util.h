// Helpers of the editor's GUI tests: mouse input delivered to a named
// control as the window system would deliver it.
#pragma once

#include <QMouseEvent>
#include <QString>
#include <QWidget>
#include <QCoreApplication>


namespace editortest {

inline void Mouse(QWidget *W, QEvent::Type Type, int X, int Y, Qt::MouseButton Button = Qt::LeftButton)
{
    const QPointF Local(X, Y);
    const QPointF Global = W->mapToGlobal(Local);
    const Qt::MouseButtons Buttons = Type == QEvent::MouseButtonRelease || Type == QEvent::MouseMove
                                         ? Qt::MouseButtons()
                                         : Qt::MouseButtons(Button);
    QMouseEvent E(Type, Local, Global, Type == QEvent::MouseMove ? Qt::NoButton : Button, Buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &E);
}
inline void MoveTo(QWidget *W, int X, int Y) { Mouse(W, QEvent::MouseMove, X, Y); }
inline void Press(QWidget *W, int X, int Y) { Mouse(W, QEvent::MouseButtonPress, X, Y); }
inline void Release(QWidget *W, int X, int Y) { Mouse(W, QEvent::MouseButtonRelease, X, Y); }

template <class T> T *Named(QWidget *Form, const char *Name)
{
    return Form->findChild<T *>(QString::fromLatin1(Name));
}

} // namespace editortest
