// Forms with the toolkit's modal result and their Enter and Esc.
#include "platform/toolkit/TForm.h"

#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"

#include <QKeyEvent>
#include <QPushButton>

void ControlMade(QObject *AControl)
{
    // Qt makes every push button of a dialog an "auto default": the first
    // one becomes the dialog's default when it is shown, and so does each
    // one the focus passes through, so that an Enter no control used
    // clicks whichever that was.
    if (auto *Button = qobject_cast<QPushButton *>(AControl))
        Button->setAutoDefault(false);
}

TForm::TForm(QWidget *AOwner, const char *AName) : QDialog(AOwner)
{
    if (AName)
        setObjectName(QString::fromLatin1(AName));
}

void TForm::SetModalResult(int AValue)
{
    FModalResult = AValue;
    // Outside a modal loop the result is only recorded (scripted runs and
    // forms shown modeless keep their window).
    if (FInModal && AValue != mrNone)
        done(AValue);
}

void TForm::SetCancelButton(QAbstractButton *AButton) { FCancelButton = AButton; }

int TForm::ShowModal() { return ::ShowModal(*this); }

int TForm::ExecModal()
{
    FModalResult = mrNone;
    FInModal = true;
    const int Result = exec();
    FInModal = false;
    if (FModalResult == mrNone)
        FModalResult = Result == QDialog::Accepted ? int(mrOk) : int(mrCancel);
    return FModalResult;
}

void TForm::showEvent(QShowEvent *AEvent)
{
    QDialog::showEvent(AEvent);
    if (isWindow())
        KeepInWorkArea(*this);
}

void TForm::resizeEvent(QResizeEvent *AEvent)
{
    QDialog::resizeEvent(AEvent);
    if (isWindow() && isVisible())
        KeepInWorkArea(*this);
}

void TForm::keyPressEvent(QKeyEvent *AEvent)
{
    const int Key = AEvent->key();
    const Qt::KeyboardModifiers Mods = AEvent->modifiers() & ~Qt::KeypadModifier;
    if (Mods == Qt::NoModifier && Key == Qt::Key_Escape) {
        // What no control took goes on to the application (its Esc hook).
        if (FCancelButton && FCancelButton->isVisible() && FCancelButton->isEnabled())
            FCancelButton->click();
        else
            AEvent->ignore();
        return;
    }
    if (TakeEnter(*this, AEvent))
        return;
    QDialog::keyPressEvent(AEvent);
}

bool TakeEnter(QWidget &AWindow, QKeyEvent *AEvent)
{
    const int Key = AEvent->key();
    const Qt::KeyboardModifiers Mods = AEvent->modifiers() & ~Qt::KeypadModifier;
    if (Mods != Qt::NoModifier || (Key != Qt::Key_Return && Key != Qt::Key_Enter))
        return false;
    // A focused push button takes Enter as it takes the space bar.
    auto *Focused = qobject_cast<QPushButton *>(AWindow.focusWidget());
    if (Focused && Focused->isVisible() && Focused->isEnabled()) {
        Focused->click();
        return true;
    }
    // QDialog's own look-up would take the default button of a window the
    // form owns, such as the QC settings window over the editor.
    for (QPushButton *Button : AWindow.findChildren<QPushButton *>())
        if (Button->isDefault() && Button->window() == &AWindow && Button->isVisible()) {
            if (Button->isEnabled())
                Button->click();
            return true;
        }
    AEvent->ignore();
    return true;
}
