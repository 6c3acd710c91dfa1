// The dialog seam: real message boxes for the program, scripted ones for tests.
#include "platform/toolkit/TDialogs.h"

#include "platform/toolkit/TForm.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

#include <initializer_list>

namespace {

std::string &TitleStore()
{
    static std::string Title = "MARLIN QUALITY CONTROL UNIT";
    return Title;
}

struct TButtonInfo {
    TMsgDlgBtn Bit;
    int Result;
    const char *Caption;
};

// The order of the buttons on a box, left to right.
constexpr TButtonInfo ButtonOrder[] = {
    {mbYes, mrYes, "&Yes"},         {mbNo, mrNo, "&No"},          {mbOK, mrOk, "OK"},
    {mbCancel, mrCancel, "Cancel"}, {mbAbort, mrAbort, "&Abort"}, {mbRetry, mrRetry, "&Retry"},
    {mbIgnore, mrIgnore, "&Ignore"}, {mbAll, mrAll, "&All"},      {mbNoToAll, mrNoToAll, "N&o to All"},
    {mbYesToAll, mrYesToAll, "Yes to &All"},
};

// A window kept on top of the others (the start window) would hide a box
// shown while it is up, and the operator would wait on a window that waits on
// him: such a box is kept on top as well, and being the newer, shows above.
void KeepAboveStayOnTop(QMessageBox &Box)
{
    for (const QWidget *W : QApplication::topLevelWidgets())
        if (W != &Box && W->isVisible() && (W->windowFlags() & Qt::WindowStaysOnTopHint)) {
            Box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
            return;
        }
}

// No box grows past the screen: a text taller than half the screen (a list
// of stations or cruises) scrolls in a pane of that height, and the box's
// buttons stay in sight, Enter or a click answering it as any other. The
// pane shows the text in a label of its own that always wraps at the pane's
// width: QMessageBox sizes itself as it is shown and turns its own label's
// wrapping off when the box comes out narrower than half the screen, which
// within the pane would cut every line wider than the pane at the box's
// right edge. The text is measured in the font it is shown in: the style or
// the desktop's theme may give a box's text its own as the box is polished.
void FitToScreen(QMessageBox &Box)
{
    auto *Label = Box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    auto *Grid = qobject_cast<QGridLayout *>(Box.layout());
    const QScreen *Screen = Box.screen() ? Box.screen() : QGuiApplication::primaryScreen();
    if (!Label || !Grid || !Screen)
        return;
    Box.ensurePolished();
    const QRect Room = Screen->availableGeometry();
    const int MaxWidth = Room.width() * 3 / 5, MaxHeight = Room.height() / 2;
    const QRect Text = Label->fontMetrics().boundingRect(QRect(0, 0, MaxWidth, 1 << 24),
                                                         Qt::TextWordWrap | Qt::AlignLeft, Label->text());
    if (Text.height() <= MaxHeight)
        return;
    const int At = Grid->indexOf(Label);
    int Row = 0, Column = 0, Rows = 1, Columns = 1;
    Grid->getItemPosition(At, &Row, &Column, &Rows, &Columns);
    Grid->removeWidget(Label);
    Label->hide();
    auto *Pane = new QScrollArea(&Box); // owned by Box
    Pane->setObjectName(QStringLiteral("MessagePane"));
    Pane->setFrameShape(QFrame::NoFrame);
    Pane->setWidgetResizable(true);
    auto *Shown = new QLabel(Label->text()); // owned by Pane
    Shown->setObjectName(QStringLiteral("MessageText"));
    Shown->setFont(Label->font());
    Shown->setTextFormat(Label->textFormat());
    Shown->setTextInteractionFlags(Label->textInteractionFlags());
    Shown->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    Shown->setWordWrap(true);
    Pane->setWidget(Shown);
    const int Bar = Pane->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    Pane->setFixedSize(std::min(Text.width(), MaxWidth) + Bar + 8, MaxHeight);
    Grid->addWidget(Pane, Row, Column, Rows, Columns);
}

class TRealDialogs : public IDialogSeam {
public:
    int Message(const TMessageRequest &R) override
    {
        QMessageBox Box;
        Box.setWindowTitle(QString::fromStdString(R.Caption));
        Box.setText(QString::fromStdString(R.Text));
        switch (R.Icon) {
        case mtWarning: Box.setIcon(QMessageBox::Warning); break;
        case mtError: Box.setIcon(QMessageBox::Critical); break;
        case mtInformation: Box.setIcon(QMessageBox::Information); break;
        case mtConfirmation: Box.setIcon(QMessageBox::Question); break;
        case mtCustom: Box.setIcon(QMessageBox::NoIcon); break;
        }
        std::vector<std::pair<QAbstractButton *, int>> Buttons;
        for (const TButtonInfo &B : ButtonOrder)
            if (R.Buttons & B.Bit)
                Buttons.emplace_back(Box.addButton(QString::fromLatin1(B.Caption), QMessageBox::AcceptRole), B.Result);
        if (Buttons.empty())
            Buttons.emplace_back(Box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole), int(mrOk));
        // Enter takes OK, else Yes, else Retry; Esc takes Cancel, else No,
        // else OK: a question asked with Yes and No is answered No by Esc.
        const auto ButtonOf = [&](std::initializer_list<int> AResults) -> QAbstractButton * {
            for (const int Wanted : AResults)
                for (const auto &[Button, Result] : Buttons)
                    if (Result == Wanted)
                        return Button;
            return nullptr;
        };
        int Named = mrNone;
        for (const TButtonInfo &B : ButtonOrder)
            if (R.Default & R.Buttons & B.Bit)
                Named = B.Result;
        if (auto *Default = qobject_cast<QPushButton *>(Named != mrNone ? ButtonOf({Named})
                                                                         : ButtonOf({mrOk, mrYes, mrRetry})))
            Box.setDefaultButton(Default);
        if (QAbstractButton *Escape = ButtonOf({mrCancel, mrNo, mrOk}))
            Box.setEscapeButton(Escape);
        KeepAboveStayOnTop(Box);
        FitToScreen(Box);
        Box.exec();
        for (const auto &[Button, Result] : Buttons)
            if (Box.clickedButton() == Button)
                return Result;
        return (R.Buttons & mbCancel) ? int(mrCancel) : Buttons.front().second;
    }
    int RunModal(TForm &Form) override { return Form.ExecModal(); }
};

TRealDialogs RealDialogs;
IDialogSeam *CurrentSeam = nullptr;

} // namespace

int IDialogSeam::RunMainLoop(QWidget &AMainWindow)
{
    AMainWindow.show();
    return QApplication::exec();
}

IDialogSeam &DialogSeam() { return CurrentSeam ? *CurrentSeam : RealDialogs; }

IDialogSeam &RealDialogSeam() { return RealDialogs; }

IDialogSeam *SetDialogSeam(IDialogSeam *Seam)
{
    IDialogSeam *Previous = CurrentSeam;
    CurrentSeam = Seam;
    return Previous;
}

void SetApplicationTitle(const std::string &Title) { TitleStore() = Title; }
const std::string &ApplicationTitle() { return TitleStore(); }

void ShowMessage(const std::string &Text)
{
    DialogSeam().Message(TMessageRequest{Text, ApplicationTitle(), mtCustom, mbOK});
}

int MessageDlg(const std::string &Text, TMsgDlgType Type, TMsgDlgButtons Buttons)
{
    static const char *const Captions[] = {"Warning", "Error", "Information", "Confirm", ""};
    const std::string Caption = Type == mtCustom ? ApplicationTitle() : std::string(Captions[Type]);
    return DialogSeam().Message(TMessageRequest{Text, Caption, Type, Buttons});
}

int MessageDlg(const std::string &Text, TMsgDlgType Type, TMsgDlgButtons Buttons, TMsgDlgBtn ADefault)
{
    static const char *const Captions[] = {"Warning", "Error", "Information", "Confirm", ""};
    const std::string Caption = Type == mtCustom ? ApplicationTitle() : std::string(Captions[Type]);
    TMessageRequest Request{Text, Caption, Type, Buttons};
    Request.Default = ADefault;
    return DialogSeam().Message(Request);
}

int MessageBox(const std::string &Text, const std::string &Caption, TMsgDlgType Icon, TMsgDlgButtons Buttons)
{
    return DialogSeam().Message(TMessageRequest{Text, Caption, Icon, Buttons});
}

int ShowModal(TForm &Form) { return DialogSeam().RunModal(Form); }

int RunApplication(QWidget &AMainWindow) { return DialogSeam().RunMainLoop(AMainWindow); }

TScriptedDialogs::TScriptedDialogs() : FPrevious(SetDialogSeam(this)) {}

TScriptedDialogs::~TScriptedDialogs() { SetDialogSeam(FPrevious); }

int TScriptedDialogs::Message(const TMessageRequest &Request)
{
    Messages.push_back(Request);
    if (!MessageAnswers.empty()) {
        const int Answer = MessageAnswers.front();
        MessageAnswers.pop_front();
        return Answer;
    }
    for (const TButtonInfo &B : ButtonOrder)
        if (Request.Default & Request.Buttons & B.Bit)
            return B.Result;
    for (const TMsgDlgBtn Bit : {mbOK, mbYes, mbNo, mbCancel, mbAbort, mbRetry, mbIgnore})
        if (Request.Buttons & Bit)
            for (const TButtonInfo &B : ButtonOrder)
                if (B.Bit == Bit)
                    return B.Result;
    return mrOk;
}

int TScriptedDialogs::RunModal(TForm &Form)
{
    ModalForms.push_back(Form.objectName().toStdString());
    if (ModalHandlers.empty())
        return mrCancel;
    auto Handler = std::move(ModalHandlers.front());
    ModalHandlers.pop_front();
    const int Result = Handler(Form);
    Form.SetModalResult(Result);
    return Result;
}

int TScriptedDialogs::RunMainLoop(QWidget &AMainWindow)
{
    MainLoops.push_back(AMainWindow.objectName().toStdString());
    AMainWindow.show();
    QCoreApplication::processEvents();
    return 0;
}

std::vector<std::string> TScriptedDialogs::Texts() const
{
    std::vector<std::string> Out;
    for (const TMessageRequest &M : Messages)
        Out.push_back(M.Text);
    return Out;
}
