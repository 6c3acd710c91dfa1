// The floating QC settings window: borrows the main window's options page
// control and returns it.
#include "app/uQCSettings.h"

#include "app/uQCMain.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

QWidget *QcSettingsPages = nullptr;

TfmQCSettings::TfmQCSettings(QWidget *AOwner) : TForm(AOwner, "fmQCSettings")
{
    setWindowTitle(QStringLiteral("QC Settings"));
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"));
    BitBtn2 = MakeControl<QPushButton>(this, "BitBtn2", QStringLiteral("Cancel"));
    BitBtn1->setDefault(true);
    SetCancelButton(BitBtn2);
    // The editor shows the window modeless, where a modal result alone
    // closes nothing: both buttons close it. OK hands what the pages show
    // to the QC engine, so that the editor's next check uses it; any other
    // way out puts back what they showed when the window opened.
    for (const auto &Button : {std::pair{BitBtn1, int(mrOk)}, std::pair{BitBtn2, int(mrCancel)}}) {
        const int Result = Button.second;
        QObject::connect(Button.first, &QPushButton::clicked, this, [this, Result] {
            if (Result == mrOk) {
                // A fault in taking them keeps the window open, shown.
                if (!RunGuarded([this] {
                        if (FHosted && Form1)
                            Form1->ApplyQcSettings();
                    }))
                    return;
                FRestore = nullptr;
            }
            SetModalResult(Result);
            if (isVisible())
                close();
        });
    }
    auto *Buttons = new QHBoxLayout; // owned by the form's layout
    Buttons->addStretch();
    Buttons->addWidget(BitBtn1);
    Buttons->addWidget(BitBtn2);
    auto *Layout = new QVBoxLayout(this); // owned by the form
    Layout->addLayout(Buttons);
}

TfmQCSettings::~TfmQCSettings()
{
    // The page control belongs to the main window: it must not die with us.
    GiveBack();
}

void TfmQCSettings::showEvent(QShowEvent *AEvent)
{
    FormShow();
    TForm::showEvent(AEvent);
}

void TfmQCSettings::hideEvent(QHideEvent *AEvent)
{
    GiveBack();
    TForm::hideEvent(AEvent);
}

void TfmQCSettings::FormShow()
{
    if (!QcSettingsPages || FHosted == QcSettingsPages)
        return;
    FHosted = QcSettingsPages;
    if (Form1)
        FRestore = Form1->KeepQcSettings();
    FHomeParent = QcSettingsPages->parentWidget();
    FHomeGeometry = QcSettingsPages->geometry();
    FHomeVisible = QcSettingsPages->isVisibleTo(FHomeParent ? FHomeParent.data() : QcSettingsPages);
    FHomeIndex = -1;
    if (FHomeParent && FHomeParent->layout()) {
        FHomeIndex = FHomeParent->layout()->indexOf(QcSettingsPages);
        FHomeParent->layout()->removeWidget(QcSettingsPages);
    }
    QcSettingsPages->setParent(this);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, QcSettingsPages, 1);
    QcSettingsPages->setVisible(true);
}

void TfmQCSettings::GiveBack()
{
    if (FRestore)
        std::exchange(FRestore, nullptr)();
    if (!FHosted)
        return;
    QWidget *Pages = FHosted;
    FHosted = nullptr;
    layout()->removeWidget(Pages);
    Pages->setParent(FHomeParent);
    auto *Box = FHomeParent ? qobject_cast<QBoxLayout *>(FHomeParent->layout()) : nullptr;
    if (Box && FHomeIndex >= 0)
        Box->insertWidget(FHomeIndex, Pages);
    else
        Pages->setGeometry(FHomeGeometry);
    Pages->setVisible(FHomeVisible);
}
