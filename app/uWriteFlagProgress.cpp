// The write-back's progress window, built in code.
#include "app/uWriteFlagProgress.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

TfmWriteFlagProgress::TfmWriteFlagProgress(QWidget *AOwner) : TForm(AOwner, "fmWriteFlagProgress")
{
    setWindowTitle(QStringLiteral("Writing flags --- progress"));
    auto *Layout = new QGridLayout(this); // owned by the form
    Label2 = MakeControl<QLabel>(this, "Label2", QStringLiteral("Total"));
    Gauge1 = MakeControl<QProgressBar>(this, "Gauge1");
    Label3 = MakeControl<QLabel>(this, "Label3", QStringLiteral("Cruise"));
    Gauge2 = MakeControl<QProgressBar>(this, "Gauge2");
    Label1 = MakeControl<QLabel>(this, "Label1",
                                 QStringLiteral("Press <Esc> if you want to interrupt quality check procedure"));
    for (QProgressBar *G : {Gauge1, Gauge2}) {
        G->setRange(0, 100);
        G->setValue(0);
    }
    Layout->addWidget(Label2, 0, 0);
    Layout->addWidget(Gauge1, 0, 1);
    Layout->addWidget(Label3, 1, 0);
    Layout->addWidget(Gauge2, 1, 1);
    Layout->addWidget(Label1, 2, 0, 1, 2);
    resize(420, 120);
}
