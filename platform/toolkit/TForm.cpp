// Forms with the toolkit's modal result.
#include "platform/toolkit/TForm.h"

#include "platform/toolkit/TDialogs.h"

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
