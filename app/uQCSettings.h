// The floating QC settings window (`TfmQCSettings`): the manual editor shows
// the main window's options page control (tests and thresholds) in it, with
// OK and Cancel; the page control goes back to the main window when the
// window hides or is freed. OK copies the thresholds, the ticked tests and
// the location region into the QC engine; otherwise the pages get back the
// values they showed when the window opened.
#pragma once

#include "platform/toolkit/TForm.h"

#include <QPointer>

#include <functional>

class QPushButton;

// The main window's options pages (Pagecontrol1), set at start-up; kept
// alive by the main window.
extern QWidget *QcSettingsPages;

class TfmQCSettings : public TForm {
public:
    explicit TfmQCSettings(QWidget *AOwner = nullptr);
    ~TfmQCSettings() override;

    // Moves QcSettingsPages into the window, filling it, and shows it.
    void FormShow();
    // Gives the page control back to the parent and place it came from,
    // with its values of the opening unless OK took them.
    void GiveBack();

    QPushButton *BitBtn1 = nullptr; // OK
    QPushButton *BitBtn2 = nullptr; // Cancel

protected:
    void showEvent(QShowEvent *AEvent) override;
    void hideEvent(QHideEvent *AEvent) override;

private:
    QPointer<QWidget> FHosted;
    std::function<void()> FRestore; // puts the pages' values of the opening back
    QPointer<QWidget> FHomeParent;
    int FHomeIndex = -1;
    QRect FHomeGeometry;
    bool FHomeVisible = false;
};
