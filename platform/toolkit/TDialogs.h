// The one seam through which every message box and modal form is shown.
//
// Application code never calls QMessageBox or exec() itself: it asks this
// seam, which answers with the button pressed (a modal result). The program
// runs with the seam that shows real dialogs; tests install a scripted seam
// (TScriptedDialogs) that records every request and answers from a queue,
// so no test ever waits in a modal loop.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QWidget;
class TForm;

// Modal results (the button that closed a box or form).
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
                    mrAll = 8, mrNoToAll = 9, mrYesToAll = 10 };

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// A set of buttons, as bits.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3, mbAbort = 1u << 4,
    mbRetry = 1u << 5, mbIgnore = 1u << 6, mbAll = 1u << 7, mbNoToAll = 1u << 8, mbYesToAll = 1u << 9
};
using TMsgDlgButtons = unsigned;
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
inline constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

struct TMessageRequest {
    std::string Text;
    std::string Caption;
    TMsgDlgType Icon = mtCustom;
    TMsgDlgButtons Buttons = mbOK;
    // The button Return takes (one of Buttons); 0: OK, else Yes, else Retry.
    TMsgDlgButtons Default = 0;
};

class IDialogSeam {
public:
    virtual ~IDialogSeam() = default;
    virtual int Message(const TMessageRequest &Request) = 0;
    virtual int RunModal(TForm &Form) = 0;
    // The application's message loop with AMainWindow shown, until the
    // application quits; its exit code. The real seam runs Qt's loop.
    virtual int RunMainLoop(QWidget &AMainWindow);
};

// The seam in force; SetDialogSeam returns the previous one (nullptr restores
// the real dialogs). The seam is not owned.
IDialogSeam &DialogSeam();
IDialogSeam *SetDialogSeam(IDialogSeam *Seam);

// The application's title, the caption of ShowMessage boxes.
void SetApplicationTitle(const std::string &Title);
const std::string &ApplicationTitle();

// A box with only OK and no icon, captioned with the application title.
void ShowMessage(const std::string &Text);
// A box captioned by its kind ("Error", "Warning", "Information", "Confirm").
int MessageDlg(const std::string &Text, TMsgDlgType Type, TMsgDlgButtons Buttons);
// The same with the button Return takes: a question whose Yes would undo
// what the operator decided defaults to No.
int MessageDlg(const std::string &Text, TMsgDlgType Type, TMsgDlgButtons Buttons, TMsgDlgBtn ADefault);
// A box with a caption of its own.
int MessageBox(const std::string &Text, const std::string &Caption, TMsgDlgType Icon, TMsgDlgButtons Buttons);
// The modal loop of a form, through the seam.
int ShowModal(TForm &Form);
// The program's message loop around its main window, through the seam.
int RunApplication(QWidget &AMainWindow);
// The seam that shows real dialogs, for a seam of its own that hands some
// requests on.
IDialogSeam &RealDialogSeam();

// Scripted answers for tests. Each message takes the next answer of
// MessageAnswers (or, when the queue is empty, the box's default button
// where it names one, as Return would, else the first button the box
// offers out of OK, Yes, ...); each modal form runs the next handler of
// ModalHandlers (which may fill in the form's controls) and takes its
// result, or mrCancel when none is queued. Installs itself on creation and
// restores the previous seam on destruction.
class TScriptedDialogs : public IDialogSeam {
public:
    TScriptedDialogs();
    ~TScriptedDialogs() override;
    TScriptedDialogs(const TScriptedDialogs &) = delete;
    TScriptedDialogs &operator=(const TScriptedDialogs &) = delete;

    int Message(const TMessageRequest &Request) override;
    int RunModal(TForm &Form) override;
    // Shows the window, handles what is queued and returns 0 at once.
    int RunMainLoop(QWidget &AMainWindow) override;

    std::vector<TMessageRequest> Messages;       // every box asked for, in order
    std::deque<int> MessageAnswers;
    std::deque<std::function<int(TForm &)>> ModalHandlers;
    std::vector<std::string> ModalForms;         // objectName of every form run modally
    std::vector<std::string> MainLoops;          // objectName of every main window run

    std::vector<std::string> Texts() const;

private:
    IDialogSeam *FPrevious;
};
