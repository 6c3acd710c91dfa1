// Forms and named controls.
//
// A form is a QDialog with the toolkit's modal result: setting ModalResult
// to anything but mrNone while the form runs modally closes it with that
// result. ShowModal goes through the dialog seam (TDialogs.h).
//
// Every named control is made through MakeControl, which gives it its name
// as objectName, so that tests find "Label11" or "CheckListBox6".
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class TForm : public QDialog {
public:
    explicit TForm(QWidget *AOwner = nullptr, const char *AName = nullptr);

    int ModalResult() const { return FModalResult; }
    void SetModalResult(int AValue);
    int ShowModal(); // through the dialog seam
    // Runs the real modal loop; only the program's seam calls this.
    int ExecModal();

private:
    int FModalResult = 0;
    bool FInModal = false;
};

template <class T, class... A>
T *MakeControl(QWidget *Parent, const char *Name, A &&...Args)
{
    T *Control = new T(std::forward<A>(Args)..., Parent); // owned by Parent
    Control->setObjectName(QString::fromLatin1(Name));
    return Control;
}
