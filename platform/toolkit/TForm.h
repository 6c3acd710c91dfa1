// Forms and named controls.
//
// A form is a QDialog with the toolkit's modal result: setting ModalResult
// to anything but mrNone while the form runs modally closes it with that
// result. ShowModal goes through the dialog seam (TDialogs.h).
//
// Enter and Esc do on a form only what the form gives them: Enter clicks
// the focused push button, else the form's default button (the one made
// default with setDefault); Esc clicks the form's Cancel button. A form
// without them leaves both keys to its focused control, where a dialog
// would click its first push button and close itself.
//
// Every named control is made through MakeControl, which gives it its name
// as objectName, so that tests find "Label11" or "CheckListBox6".
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <string>

class QAbstractButton;
class QKeyEvent;

class TForm : public QDialog {
public:
    explicit TForm(QWidget *AOwner = nullptr, const char *AName = nullptr);

    int ModalResult() const { return FModalResult; }
    void SetModalResult(int AValue);
    int ShowModal(); // through the dialog seam
    // Runs the real modal loop; only the program's seam calls this.
    int ExecModal();
    // The button that Esc clicks (while it is visible and enabled).
    void SetCancelButton(QAbstractButton *AButton);

protected:
    void keyPressEvent(QKeyEvent *AEvent) override;
    // A form shown is kept within the screen's work area, however its
    // controls size it, then and whenever it grows.
    void showEvent(QShowEvent *AEvent) override;
    void resizeEvent(QResizeEvent *AEvent) override;

private:
    int FModalResult = 0;
    bool FInModal = false;
    QPointer<QAbstractButton> FCancelButton;
};

// The Enter of a form, for any window of the program (the main window is
// no form): clicks the focused push button, else the window's default
// button; true when the key was Enter (left unaccepted when neither takes
// it), false for any other key.
bool TakeEnter(QWidget &AWindow, QKeyEvent *AEvent);

// A push button made here is the default of its dialog only when made so
// with setDefault, never by having the focus once or by coming first.
void ControlMade(QObject *AControl);

template <class T, class... A>
T *MakeControl(QWidget *Parent, const char *Name, A &&...Args)
{
    T *Control = new T(std::forward<A>(Args)..., Parent); // owned by Parent
    Control->setObjectName(QString::fromLatin1(Name));
    ControlMade(Control);
    return Control;
}
