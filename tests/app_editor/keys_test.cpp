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
#include <QListWidget>
#include <QPointer>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace editortest;

namespace {

struct TKeyRow {
    const char *Where;
    std::function<QWidget *()> Window;           // the window, made or found
    std::function<QWidget *(QWidget &)> Control; // the control that has the focus
    Qt::Key Key;
    const char *Expected; // the modal result set, "closed", "interrupt", "undo"
};

std::function<QWidget *(QWidget &)> Named(const char *AName)
{
    return [AName](QWidget &W) { return W.findChild<QWidget *>(QString::fromLatin1(AName)); };
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
    std::vector<std::unique_ptr<QWidget>> Made;
    auto Make = [&](auto &&AMake) {
        return [&Made, AMake] {
            Made.push_back(AMake());
            return Made.back().get();
        };
    };
    auto Editor = [this] { return static_cast<QWidget *>(F); };
    auto Self = [](QWidget &W) { return &W; };
    ContourFileName = ExtraLinesFile;
    const TKeyRow Rows[] = {
        {"data grid, no cell open", Editor, Named("DBGrid2"), Qt::Key_Return, ""},
        {"parameter list", Editor, Named("ListBox2"), Qt::Key_Return, ""},
        {"value box by the plot", Editor,
         [this](QWidget &) {
             F->Edit2->setText(QString::fromStdString(F->ZqQuery2->FieldByName("TEMP")->AsString()));
             return static_cast<QWidget *>(F->Edit2);
         },
         Qt::Key_Return, ""},
        {"cell editor cancelling its typing", Editor,
         [this](QWidget &) -> QWidget * {
             const QModelIndex Cell = F->DBGrid2->currentIndex();
             F->DBGrid2->edit(Cell);
             auto *E = F->DBGrid2->viewport()->findChild<QLineEdit *>();
             QTest::keyClicks(E, QStringLiteral("7"));
             return E;
         },
         Qt::Key_Escape, ""},
        {"undo list dropped down", Editor,
         [this](QWidget &) -> QWidget * {
             F->ComboBox1->showPopup();
             return F->ComboBox1->view();
         },
         Qt::Key_Escape, ""},
        {"cruise list", Editor, Named("ListBox1"), Qt::Key_Escape, "interrupt"},
        {"undocked profile window", [this] { return F->SpeedButton14->click(), F->ProfileWindow; }, Named("ListBox2"),
         Qt::Key_Escape, "interrupt"},
        {"path dialog, OK still disabled", Make([] { return std::make_unique<TForm4>(nullptr); }),
         Named("FileListBox1"), Qt::Key_Return, ""},
        {"path dialog", Make([] { return std::make_unique<TForm4>(nullptr); }), Named("FileListBox1"),
         Qt::Key_Escape, "Cancel"},
        {"report", Make([] { return std::make_unique<TfmReport>(nullptr, nullptr); }), Named("DBGrid1"),
         Qt::Key_Return, "OK"},
        {"report", Make([] { return std::make_unique<TfmReport>(nullptr, nullptr); }), Named("DBGrid1"),
         Qt::Key_Escape, "interrupt"},
        {"write-back question", Make([] { return std::make_unique<TfmFlagToMainDB>(nullptr); }), Self,
         Qt::Key_Return, "Yes"},
        {"write-back question", Make([] { return std::make_unique<TfmFlagToMainDB>(nullptr); }), Self,
         Qt::Key_Escape, "interrupt"},
        {"cruise choice", Make([] { return std::make_unique<Tfmflagcru>(nullptr); }), Named("CheckListBox1"),
         Qt::Key_Return, "OK"},
        {"cruise choice", Make([] { return std::make_unique<Tfmflagcru>(nullptr); }), Named("CheckListBox1"),
         Qt::Key_Escape, "Cancel"},
        {"write-back progress", Make([] { return std::make_unique<TfmWriteFlagProgress>(nullptr); }), Self,
         Qt::Key_Escape, "interrupt"},
        {"settings", Make([] { return std::make_unique<TfmQCSettings>(nullptr); }), Self, Qt::Key_Escape,
         "Cancel closed"},
        {"contour dialog", Make([] { return std::make_unique<TfmContDlg>(nullptr); }), Named("PaintBox1"),
         Qt::Key_Return, "OK"},
        {"contour dialog", Make([] { return std::make_unique<TfmContDlg>(nullptr); }), Named("PaintBox1"),
         Qt::Key_Escape, "Cancel"},
        {"climatology dialog", Make([] { return std::make_unique<TfmClimatDlg>(nullptr, ClimSearchPath); }),
         Named("Edit1"), Qt::Key_Return, "OK"},
        {"climatology dialog", Make([] { return std::make_unique<TfmClimatDlg>(nullptr, ClimSearchPath); }),
         Named("Edit1"), Qt::Key_Escape, "Cancel"},
    };
    const char *const Results[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    for (const TKeyRow &Row : Rows) {
        QWidget *W = Row.Window();
        ASSERT_TRUE(W) << Row.Where;
        W->show();
        QWidget *Target = Row.Control(*W);
        ASSERT_TRUE(Target) << Row.Where;
        Target->setFocus();
        const int Before = Interrupts;
        QPointer<QWidget> Alive(W);
        QTest::keyClick(Target, Row.Key);
        QCoreApplication::processEvents();
        std::string Outcome;
        auto Add = [&](const char *What) { Outcome += (Outcome.empty() ? "" : " ") + std::string(What); };
        if (auto *Form = Alive ? dynamic_cast<TForm *>(W) : nullptr; Form && Form->ModalResult() != mrNone)
            Add(Results[Form->ModalResult()]);
        if (!Alive || !W->isVisible())
            Add("closed");
        if (Interrupts > Before)
            Add("interrupt");
        if (Db("TEMP", 2) != "9.5")
            Add("undo");
        EXPECT_EQ(Outcome, Row.Expected) << Row.Where << ", key " << Row.Key;
    }
    // The plot stays in its window after the Esc, and goes back when the
    // window ends as a dialog ends.
    ASSERT_TRUE(F->ProfileWindow);
    EXPECT_EQ(F->Panel4->window(), F->ProfileWindow);
    static_cast<QDialog *>(F->ProfileWindow)->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(F->Panel4->window(), F);
    InstallEscHook({});
}

} // namespace
