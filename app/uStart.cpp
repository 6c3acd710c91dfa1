// uStart: the start window of the program's set-up.
#include "app/uStart.h"

#include "platform/toolkit/TApplication.h"

#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TfmStart::TfmStart(QWidget *AOwner) : TForm(AOwner, "fmStart")
{
    // A window of its own (not a child drawn inside the main window), on
    // top of the others and without a frame.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(460, 200);
    setStyleSheet("TfmStart, QDialog#fmStart { background: #f4f6fa; border: 2px solid navy; }");

    auto *Box = MakeControl<QVBoxLayout>(this, "StartLayout");
    Box->setContentsMargins(16, 14, 16, 14);
    Label2 = MakeControl<QLabel>(this, "Label2", QString::fromLatin1("MARLIN DATA QUALITY CONTROL UTILITY"));
    QFont Title(QString::fromLatin1("Arial"), 13);
    Title.setBold(true);
    Label2->setFont(Title);
    Label2->setStyleSheet("color: navy;");
    Label2->setAlignment(Qt::AlignCenter);
    Label3 = MakeControl<QLabel>(this, "Label3", QString::fromLatin1("Version 1.00 beta"));
    Label3->setAlignment(Qt::AlignCenter);
    Label4 = MakeControl<QLabel>(this, "Label4", QString::fromLatin1("2008"));
    Label4->setAlignment(Qt::AlignCenter);
    Label1 = MakeControl<QLabel>(this, "Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Gauge1 = MakeControl<QProgressBar>(this, "Gauge1");
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Box->addWidget(Label2);
    Box->addWidget(Label3);
    Box->addWidget(Label4);
    Box->addStretch(1);
    Box->addWidget(Label1);
    Box->addWidget(Gauge1);
    CentreOnDesktop();
}

void TfmStart::SetStage(const std::string &AText)
{
    Label1->setText(QString::fromStdString(AText));
    Label1->repaint();
    ProcessMessages();
}

void TfmStart::SetProgress(int APercent) { Gauge1->setValue(APercent); }

void TfmStart::CentreOnDesktop()
{
    move((ScreenWidth() - width()) / 2, (ScreenHeight() - height()) / 2);
}
