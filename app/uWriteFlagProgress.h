// TfmWriteFlagProgress: the modeless progress window of the flag write-back,
// a gauge over all chosen cruises and one over the casts of the current
// cruise, with the hint that Esc interrupts: the write-back runs, and an
// Esc interrupts it, while the window exists.
#pragma once

#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TForm.h"

class QLabel;
class QProgressBar;

class TfmWriteFlagProgress : public TForm {
public:
    explicit TfmWriteFlagProgress(QWidget *AOwner);

    QProgressBar *Gauge1; // "Total"
    QProgressBar *Gauge2; // "Cruise"
    QLabel *Label1;       // the Esc hint
    QLabel *Label2;       // caption of Gauge1
    QLabel *Label3;       // caption of Gauge2

private:
    TInterruptible FRunning;
};
