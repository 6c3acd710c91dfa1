// Number entries: the decimal point they take and the words of a refusal.
#include "platform/toolkit/TNumberEntry.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace {

// Turns the keypad's decimal key into "." for the entry it is installed on.
class TKeypadPoint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *AWatched, QEvent *AEvent) override
    {
        if (AEvent->type() != QEvent::KeyPress && AEvent->type() != QEvent::KeyRelease)
            return false;
        auto *Key = static_cast<QKeyEvent *>(AEvent);
        if (!(Key->modifiers() & Qt::KeypadModifier) || Key->text() != QStringLiteral(","))
            return false;
        QKeyEvent Point(Key->type(), Qt::Key_Period, Key->modifiers(), QStringLiteral("."), Key->isAutoRepeat(),
                        ushort(Key->count()));
        QCoreApplication::sendEvent(AWatched, &Point);
        return true;
    }
};

} // namespace

std::string WithDecimalPointHint(const std::string &AMessage, const std::string &AText)
{
    if (AText.find(',') == std::string::npos)
        return AMessage;
    return AMessage + (!AMessage.empty() && AMessage.back() == '.' ? " " : ". ") + "Numbers are written with \".\".";
}

void TypeKeypadDecimalPoint(QWidget &AEntry) { AEntry.installEventFilter(new TKeypadPoint(&AEntry)); }
