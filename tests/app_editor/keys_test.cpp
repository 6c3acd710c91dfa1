// Enter and Esc over the program's forms and the editor's controls: a form
// clicks its default button on an Enter that no control takes and its
// Cancel button on Esc, a form without them leaves the keys to the focused
// control, and an Esc that no control takes is the application's (the Esc
// hook: an interruption) and closes nothing.
#include "tests/app_editor/edit_fixture.h"

#include "app/Globals.h"
#include "app/manual/UClimatDlg.h"
#include "app/manual/uContDlg.h"
#include "app/uDBPath.h"
#include "app/uFlagToMainDB.h"
#include "app/uQCSettings.h"
#include "app/uReport.h"
#include "app/uWriteFlagProgress.h"
#include "app/uflagcru.h"
#include "platform/toolkit/TApplication.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPointer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace editortest;

namespace {

using TMade = std::vector<std::unique_ptr<QWidget>>;

// A form made anew, as the program makes it (owner first).
template <class T, class... A>
std::function<QWidget *()> New(TMade &AMade, A... AArgs)
{
    return [&AMade, AArgs...] { return AMade.emplace_back(std::make_unique<T>(nullptr, AArgs...)).get(); };
}

// The control of that name in the window, or the window itself.
std::function<QWidget *()> In(std::function<QWidget *()> AWindow, const char *AName = nullptr)
{
    return [AWindow, AName]() -> QWidget * {
        QWidget *W = AWindow();
        W->show();
        return AName ? W->findChild<QWidget *>(QString::fromLatin1(AName)) : W;
    };
}

TEST_F(EditorEdit, EnterAndEscDoOnlyWhatTheFormOrTheFocusedControlGivesThem)
{
    Open();
    Activate();
    // UNDO armed: the level's earlier value waits in the undo list.
    EditLevel(2, "TEMP", "9.5");
    F->SpeedButton15->click();
    Grid().SetRecNoValue(3);
    F->FindLevelUndoValues();
    ASSERT_TRUE(F->BitBtn1->isEnabled());
    int Interrupts = 0;
    InstallEscHook([&] { ++Interrupts; });
    struct TUnhook {
        ~TUnhook() { InstallEscHook({}); }
    } Unhook;
    TMade Made;
    const auto Editor = [this] { return static_cast<QWidget *>(F); };
    ContourFileName = ExtraLinesFile;
    struct TKeyRow {
        std::function<QWidget *()> Control; // made, shown, then focused
        Qt::Key Key;
        const char *Expected; // the modal result set, "closed", "interrupt", "undo"
    };
    const TKeyRow Rows[] = {
        {In(Editor, "DBGrid2"), Qt::Key_Return, ""},
        {In(Editor, "ListBox2"), Qt::Key_Return, ""},
        {[this] {
             return F->Edit2->setText(QString::fromStdString(F->ZqQuery2->FieldByName("TEMP")->AsString())), F->Edit2;
         },
         Qt::Key_Return, ""},
        {[this] { // a cell's editor cancelling its typing
             F->DBGrid2->edit(F->DBGrid2->currentIndex());
             auto *E = F->DBGrid2->viewport()->findChild<QLineEdit *>();
             return QTest::keyClicks(E, QStringLiteral("7")), E;
         },
         Qt::Key_Escape, ""},
        // The undo list's drop-down closes.
        {[this] { return F->ComboBox1->showPopup(), F->ComboBox1->view(); }, Qt::Key_Escape, "closed"},
        {In(Editor, "ListBox1"), Qt::Key_Escape, "interrupt"},
        {In([this] { return F->SpeedButton14->click(), F->ProfileWindow; }, "ListBox2"), Qt::Key_Escape, "interrupt"},
        {In(New<TForm4>(Made), "FileListBox1"), Qt::Key_Escape, "Cancel"},
        {In(New<TfmReport>(Made, nullptr), "DBGrid1"), Qt::Key_Return, "OK"},
        {In(New<TfmFlagToMainDB>(Made)), Qt::Key_Escape, "interrupt"},
        {In(New<Tfmflagcru>(Made), "CheckListBox1"), Qt::Key_Escape, "Cancel"},
        {In(New<TfmWriteFlagProgress>(Made)), Qt::Key_Escape, "interrupt"},
        {In(New<TfmQCSettings>(Made)), Qt::Key_Escape, "Cancel closed"},
        {In(New<TfmContDlg>(Made), "PaintBox1"), Qt::Key_Escape, "Cancel"},
        {In(New<TfmClimatDlg>(Made, ClimSearchPath), "Edit1"), Qt::Key_Return, "OK"},
    };
    const char *const Results[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    for (const TKeyRow &Row : Rows) {
        QWidget *Target = Row.Control();
        const long Index = &Row - Rows;
        ASSERT_TRUE(Target) << "row " << Index;
        QPointer<QWidget> W(Target->window());
        Target->setFocus();
        const int Before = Interrupts;
        QTest::keyClick(Target, Row.Key);
        QCoreApplication::processEvents();
        std::string Outcome;
        auto Add = [&](const char *What) { Outcome += (Outcome.empty() ? "" : " ") + std::string(What); };
        if (auto *Form = W ? dynamic_cast<TForm *>(W.data()) : nullptr; Form && Form->ModalResult() != mrNone)
            Add(Results[Form->ModalResult()]);
        if (!W || !W->isVisible())
            Add("closed");
        if (Interrupts > Before)
            Add("interrupt");
        if (Db("TEMP", 2) != "9.5")
            Add("undo");
        EXPECT_EQ(Outcome, Row.Expected) << "row " << Index;
    }
    // The plot stays in its window after the Esc, and goes back when the
    // window ends as a dialog ends.
    ASSERT_TRUE(F->ProfileWindow);
    EXPECT_EQ(F->Panel4->window(), F->ProfileWindow);
    static_cast<QDialog *>(F->ProfileWindow)->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(F->Panel4->window(), F);
}

} // namespace
