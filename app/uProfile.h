// The floating profile window (`TfmProfile`): the manual editor moves its
// profile plot panel into it to undock the plot, and closing the window
// puts the panel back into the editor where it was.
#pragma once

#include "platform/toolkit/TForm.h"

// Set by the editor when it undocks its profile panel: the editor's panel
// that hosts the plot (the plot goes back into it, aligned right), the width
// the plot had there, and the button that undocked it (hidden while the plot
// floats). The editor keeps all three alive.
extern QWidget *ProfilePanel;
extern int ProfilePanelWidth;
extern QWidget *ProfileUndockButton;

class TfmProfile : public TForm {
public:
    explicit TfmProfile(QWidget *AOwner = nullptr);

    // Takes the editor's plot panel as the window's only control.
    void HostPanel(QWidget *APanel);
    // Gives the panel back to ProfilePanel, shows the undock button again;
    // the window then frees itself. Safe to call twice.
    void FormClose();

    // Closing as a dialog closes (done, reject) gives the panel back too.
    void done(int AResult) override;

protected:
    void closeEvent(QCloseEvent *AEvent) override;

private:
    QWidget *FirstControl() const;
};
