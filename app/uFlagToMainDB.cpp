// The write-back's confirmation form, built in code.
#include "app/uFlagToMainDB.h"

#include "platform/toolkit/TDialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfmFlagToMainDB::TfmFlagToMainDB(QWidget *AOwner) : TForm(AOwner, "fmFlagToMainDB")
{
    setWindowTitle(QStringLiteral("fmFlagToMainDB"));
    auto *Layout = new QVBoxLayout(this); // owned by the form
    Label1 = MakeControl<QLabel>(this, "Label1",
                                 QStringLiteral("Would you like replace all old quality flags by new estimations?"));
    Label1->setWordWrap(true);
    QFont Bold = Label1->font();
    Bold.setBold(true);
    Label1->setFont(Bold);
    // Two blanks before "the flags": the text is the program's own.
    Label2 = MakeControl<QLabel>(
        this, "Label2",
        QStringLiteral("Attention!! Replacement of the old quality flags by the new estimations will take about 1 "
                       "hour, if you'll select \"NO\"  the flags will be available for work and visualization in "
                       "this software, but will be stored separately"));
    Label2->setWordWrap(true);
    Layout->addWidget(Label1);
    Layout->addWidget(Label2);

    auto *Buttons = new QHBoxLayout; // owned by the form's layout
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("&Yes"));
    BitBtn2 = MakeControl<QPushButton>(this, "BitBtn2", QStringLiteral("&No"));
    BitBtn3 = MakeControl<QPushButton>(this, "BitBtn3", QStringLiteral("&Help"));
    BitBtn1->setDefault(true);
    // Esc answers No: nothing is written.
    SetCancelButton(BitBtn2);
    Buttons->addStretch();
    Buttons->addWidget(BitBtn1);
    Buttons->addWidget(BitBtn2);
    Buttons->addWidget(BitBtn3);
    Buttons->addStretch();
    Layout->addLayout(Buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrYes); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { SetModalResult(mrNo); });
    // There are no help pages: Help leaves the dialog without writing, as No does.
    connect(BitBtn3, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    resize(460, 170);
}
