// uStart: the start window TfmStart. It shows, above everything and without
// a border, the title of the program, the stage that the main window's
// set-up has reached (Label1) and how far it has got (Gauge1, 0 to 100).
// The main window owns it and hides it at the end of the set-up; the
// cruise-list synchronisation still writes into it after a change of
// database, while it is hidden.
#pragma once

#include "platform/toolkit/TForm.h"

#include <string>

class QLabel;
class QProgressBar;

class TfmStart : public TForm {
public:
    explicit TfmStart(QWidget *AOwner);

    QLabel *Label1 = nullptr;       // the stage text
    QProgressBar *Gauge1 = nullptr; // the progress, 0 to 100
    QLabel *Label2 = nullptr;       // title
    QLabel *Label3 = nullptr;       // version
    QLabel *Label4 = nullptr;       // year

    // Shows a stage: the text, a repaint and the pending messages handled,
    // so that the text is on the screen before the stage's work begins.
    void SetStage(const std::string &AText);
    void SetProgress(int APercent);
    // Centres the window on the desktop (the injectable screen size).
    void CentreOnDesktop();
};
