// The main window as a form: every named control in place with its text,
// the wizard's pages shown by their Tag, the Esc hook, and the path dialog.
#include "tests/app_support/main_fixture.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/CheckTree.h"
#include "app/manual/UClimatDlg.h"
#include "app/manual/uContDlg.h"
#include "app/manual/uQCManual.h"
#include "app/uDBPath.h"
#include "app/uFlagToMainDB.h"
#include "app/uQCSettings.h"
#include "app/uReport.h"
#include "app/uStart.h"
#include "app/uWriteFlagProgress.h"
#include "app/uflagcru.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>

using namespace maintest;

using WindowForm = MainWindow;

TEST_F(WindowForm, EveryNamedControlCarriesItsTextAndEveryPageItsStep)
{
    Form = std::make_unique<TForm1>(); // the form alone, no set-up
    const std::pair<const char *, const char *> Texts[] = {
        {"BitBtn8", "Change Database"},     {"BitBtn1", "NEXT"},
        {"BitBtn2", "BACK"},                {"BitBtn3", "View"},
        {"BitBtn4", "Apply"},               {"BitBtn5", "Update climate/range"},
        {"Label2", "LISt OF PARAMETETRS"},  {"Label11", "Cruise"},
        {"Label12", "Total"},               {"CheckBox3", "CRUISE INFO"},
        {"CheckBox4", "One - side change"}, {"CheckBox5", "Visual mode only"},
        {"CheckBox6", "Show ships for the selected country"},
        {"CheckBox7", "Show cruises for the selected ship"},
        {"CheckBox9", "Auto adding of '*' symbol in the end"},
        {"CheckBox1", "Allow to select only unchecked cruises"},
        {"RadioButton2", "CHECK AUTOMATICALLY AND COME BACK TO THE FIRST STEP"},
        {"RadioButton3", "CHECK AUTOMATICALLY AND CLOSE MARLIN CONTROL UNIT"}};
    for (const auto &[Name, Text] : Texts) {
        QWidget *W = Control(Name);
        ASSERT_NE(W, nullptr) << Name;
        QString Shown;
        if (auto *B = qobject_cast<QAbstractButton *>(W))
            Shown = B->text();
        else if (auto *L = qobject_cast<QLabel *>(W))
            Shown = L->text();
        EXPECT_EQ(Shown.toStdString(), Text) << Name;
    }
    EXPECT_EQ(Control<QGroupBox>("GroupBox2")->title().toStdString(), "WHAT TO DO?");
    EXPECT_EQ(Control<QGroupBox>("RadioGroup1")->title().toStdString(), "SELECT QUALITY CHECK MODE");
    EXPECT_EQ(Control<QGroupBox>("GroupBox1")->title().toStdString(), "INFORMATION");
    EXPECT_EQ(Control<QGroupBox>("RadioGroup2")->title().toStdString(), "Duplicates Search For");
    EXPECT_EQ(Form->RadioGroup2->ItemIndex(), 1);
    EXPECT_TRUE(Control<QRadioButton>("RadioButton4")->isChecked());
    auto *Options = Control<QTabWidget>("Pagecontrol1");
    EXPECT_EQ(Options->tabText(0).toStdString(), "QUALITY CHECK OPTIONS");
    EXPECT_EQ(Options->tabText(1).toStdString(), "SELECT CRUISE");
    auto *Choice = Control<QTabWidget>("PageControl4");
    EXPECT_EQ(Choice->tabText(0).toStdString(), "Country/Ship/Cuise");
    EXPECT_EQ(Choice->tabText(1).toStdString(), "Context Searh");
    for (int N = 1; N <= 25; ++N)
        EXPECT_NE(Form->findChild<QToolButton *>(QString::fromStdString("SpeedButton" + std::to_string(N))), nullptr)
            << N;
    for (const char *Name : {"CheckListBox1", "CheckListBox2", "CheckListBox5", "CheckListBox6", "CheckListBox7"})
        EXPECT_NE(Form->findChild<TCheckListBox *>(QString::fromLatin1(Name)), nullptr) << Name;
    const std::tuple<const char *, int, int, int> UpDowns[] = {{"UpDown1", 0, 5, 0},  {"UpDown2", 0, 5, 0},
                                                               {"UpDown3", 10, 22, 12}, {"UpDown4", 1, 7, 3},
                                                               {"UpDown5", 0, 25, 10}, {"UpDown6", 1, 10, 10}};
    for (const auto &[Name, Min, Max, Position] : UpDowns) {
        auto *U = Control<QSpinBox>(Name);
        EXPECT_EQ(U->minimum(), Min) << Name;
        EXPECT_EQ(U->maximum(), Max) << Name;
        EXPECT_EQ(U->value(), Position) << Name;
    }
    // Threshold panels by test, pages by step.
    const std::pair<const char *, int> PanelTags[] = {{"Panel3", 0}, {"Panel4", 1}, {"Panel5", 2},
                                                      {"Panel7", 3}, {"Panel6", 4}, {"Panel10", 5}};
    for (const auto &[Name, Tag] : PanelTags)
        EXPECT_EQ(TagOf(Control(Name)), Tag) << Name;
    for (int Step = 0; Step < 4; ++Step) {
        Form->WizardStep = Step;
        Form->ShowWizardPage();
        std::vector<std::string> Shown;
        for (QObject *Child : Form->Panel1->children())
            if (auto *W = qobject_cast<QWidget *>(Child); W && !W->isHidden())
                Shown.push_back(W->objectName().toStdString());
        const std::vector<std::vector<std::string>> Expected = {
            {"RadioGroup1", "BitBtn8"}, {"Pagecontrol1"}, {"Label2", "Panel8"}, {"GroupBox2"}};
        EXPECT_EQ(Shown, Expected[size_t(Step)]) << Step;
        EXPECT_EQ(Form->BitBtn2->isEnabled(), Step != 0);
    }
    const std::pair<const char *, int> Actions[] = {
        {"RadioButton1", 0}, {"RadioButton2", 1}, {"RadioButton3", 2}, {"RadioButton4", 3}};
    for (const auto &[Name, Tag] : Actions)
        EXPECT_EQ(TagOf(Control(Name)), Tag) << Name;
}

namespace {

// Counts the key presses that reach it.
class TKeyCounter : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    int EscPresses = 0;

protected:
    void keyPressEvent(QKeyEvent *Event) override
    {
        if (Event->key() == Qt::Key_Escape)
            ++EscPresses;
        QLineEdit::keyPressEvent(Event);
    }
};

} // namespace

TEST_F(WindowForm, EscWhileWorkRunsSetsBothFlagsAndTheKeyStillReachesItsWindow)
{
    ASSERT_TRUE(Start());
    TInterruptible Running;
    AbortRequested = false;
    QcInterrupted = false;
    TKeyCounter Edit(Form.get());
    QTest::keyClick(&Edit, Qt::Key_A);
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcInterrupted);
    QTest::keyClick(&Edit, Qt::Key_Escape);
    EXPECT_TRUE(AbortRequested);
    EXPECT_TRUE(QcInterrupted);
    EXPECT_EQ(Edit.EscPresses, 1);
    // With the abort already asked for, a second Esc leaves QcInterrupted
    // as the run left it.
    QcInterrupted = false;
    QTest::keyClick(&Edit, Qt::Key_Escape);
    EXPECT_FALSE(QcInterrupted);
    EXPECT_EQ(Edit.EscPresses, 2);
    AbortRequested = false;
}

// The editor's "QC Parameters": OK reaches its next check, Cancel restores.
// Station 288 of cruise 9 lies 19.7 knots from the one before it (limit 12).
TEST_F(WindowForm, TheEditorsQcParametersReachItsNextCheckOnOkOnly)
{
    ASSERT_TRUE(Start());
    Form->BitBtn1->click(), Form->BitBtn1->click(), Form->BitBtn1->click();
    Form->RadioButton4->click(); // the editor only
    std::string Seen; // after each step: 288's velocity error (+) or none (-), and the limit shown
    Dialogs->ModalHandlers.push_back([&](TForm &AForm) {
        auto &E = dynamic_cast<TForm2 &>(AForm);
        E.CheckBox1->click(); // MANUAL QC: "Check metadata" by hand
        E.ListBox1->setCurrentItem(E.ListBox1->findItems(QStringLiteral("BS95_AD07"), Qt::MatchExactly).value(0));
        E.ListBox1Click();
        for (const auto &[Limit, Button] : {std::pair{0, ""}, {22, "BitBtn1"}, {15, "BitBtn2"}}) {
            if (*Button) {
                E.SpeedButton20->click();
                Form->UpDown3->setValue(Limit);
                apptest::SaveScreenshot(*E.findChild<TfmQCSettings *>(), "editor_qc_settings");
                E.findChild<TfmQCSettings *>()->findChild<QPushButton *>(QString::fromLatin1(Button))->click();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            E.BitBtn4->click();
            const TTreeNode *Node = FindTreeNode(*E.TreeView1, "Possible Velosity Error");
            Seen += (Node && Node->Parent()->Text() == "288" ? "+" : "-") + std::to_string(Form->UpDown3->value());
        }
        return int(mrOk);
    });
    Form->BitBtn1->click(); // CHECK: the editor
    EXPECT_EQ(Seen, "+12-22-22");
}

using PathDialog = MainWindow;

TEST_F(PathDialog, ListsOnlyMdbFilesAndOkWaitsForAClick)
{
    const std::string Folder = Install->Dir() + "dbs/";
    std::filesystem::create_directories(Folder + "sub.mdb");
    for (const char *Name : {"a.mdb", "B.MDB", "notes.txt", "c.mdb.bak"})
        std::ofstream(Folder + Name) << "x";
    TForm4 Dialog(nullptr);
    Dialog.SetFolder(Folder);
    std::vector<std::string> Names;
    for (int I = 0; I < Dialog.FileListBox1->count(); ++I)
        Names.push_back(Dialog.FileListBox1->item(I)->text().toStdString());
    EXPECT_EQ(Names, (std::vector<std::string>{"B.MDB", "a.mdb"}));
    EXPECT_FALSE(Dialog.BitBtn1->isEnabled());
    EXPECT_EQ(Dialog.Label1->text().toStdString(),
              "SELECT THE PATH TO TORVAL DATABASE AND DOUBLE CLICK (OR CLICK ONCE AND CLICK <OK> BUTTON) THE NAME "
              "OF DATABASE *.mdb FILE");
    Dialog.FormClose();
    EXPECT_EQ(Dialog.Result, "");

    QListWidgetItem *Item = Dialog.FileListBox1->item(1);
    const QRect R = Dialog.FileListBox1->visualItemRect(Item);
    Dialog.show();
    // The keyboard chooses a file as the mouse does.
    QTest::keyClick(Dialog.FileListBox1, Qt::Key_Down);
    EXPECT_TRUE(Dialog.BitBtn1->isEnabled());
    QTest::mouseClick(Dialog.FileListBox1->viewport(), Qt::LeftButton, {}, R.center());
    apptest::SaveScreenshot(Dialog, "app_path_dialog");
    Dialog.FormClose();
    EXPECT_EQ(Dialog.Result, Folder + "a.mdb");
    Dialog.hide();
}

// The folder's one database, highlighted from the start and never clicked:
// Enter on it acts as a double click.
TEST_F(PathDialog, EnterOnTheHighlightedFileEndsTheDialogWithOk)
{
    const std::string Db = Install->DbPath();
    Dialogs->ModalHandlers.push_back([Db](TForm &AForm) {
        auto &Dialog = dynamic_cast<TForm4 &>(AForm);
        Dialog.SetFolder(std::filesystem::path(Db).parent_path().string());
        Dialog.SelectFile("marlin_demo.mdb");
        Dialog.FileListBox1->setFocus(), QTest::keyClick(Dialog.FileListBox1, Qt::Key_Return);
        return Dialog.ModalResult();
    });
    TForm4 Dialog(nullptr);
    EXPECT_EQ(Dialog.Execute(), int(mrOk));
    EXPECT_EQ(Dialog.Result, Install->DbPath());
}

TEST_F(PathDialog, OpensOnItsFolderInSightAndSelectsOnARightClick)
{
    const std::string Folder = Install->Dir() + "demo";
    TForm4 Dialog(nullptr);
    QFileSystemModel &Folders = *Dialog.ShellTreeView1->Model();
    QSignalSpy Loaded(&Folders, &QFileSystemModel::directoryLoaded);
    QSignalSpy Rows(&Folders, &QAbstractItemModel::rowsInserted);
    Dialog.SetFolder(Folder);
    Dialog.show();
    // Every folder above it read (each read puts rows above it).
    for (QDir D(QString::fromStdString(Folder)); D.cdUp();) {
        const auto Read = [&] {
            return std::any_of(Loaded.begin(), Loaded.end(),
                               [&](const QList<QVariant> &A) { return A.at(0).toString() == D.absolutePath(); });
        };
        ASSERT_TRUE(QTest::qWaitFor(Read, 10000)) << D.absolutePath().toStdString();
    }
    // Their rows come in batches after each read: until none comes for a while.
    for (int Batches = 0; Batches < 50 && Rows.wait(300); ++Batches) {
    }
    ProcessMessages();
    QTreeView &Tree = *Dialog.ShellTreeView1;
    ASSERT_EQ(Folders.filePath(Tree.currentIndex()).toStdString(), Folder);
    EXPECT_TRUE(Tree.selectionModel()->isSelected(Tree.currentIndex()));
    EXPECT_TRUE(Tree.viewport()->rect().contains(Tree.visualRect(Tree.currentIndex())));
    apptest::SaveScreenshot(Dialog, "app_path_dialog_on_its_folder");

    // The folder above, by a right click: chosen as by a left click.
    const QModelIndex Parent = Tree.currentIndex().parent();
    QTest::mouseClick(Tree.viewport(), Qt::RightButton, {}, Tree.visualRect(Parent).center());
    EXPECT_EQ(Tree.currentIndex(), Parent);
    EXPECT_EQ(Dialog.Directory(), Install->Dir());
    Dialog.hide();
}

// ---- the caption check every form's test relies on ----------------------------

namespace {

// A small window, laid out by hand as a form's code would, and what the
// caption check says about it: nothing on a sound form, the control at
// fault on a faulty one.
struct TCaptionCase {
    const char *Name;
    std::function<void(QWidget &)> Build;
    std::vector<std::string> Blamed; // names each problem must mention, in order
};

template <class T, class... A> T *Place(QWidget &AParent, const char *AName, const QRect &AGeometry, A &&...AArgs)
{
    T *Control = new T(std::forward<A>(AArgs)..., &AParent); // owned by AParent
    Control->setObjectName(QString::fromLatin1(AName));
    Control->setGeometry(AGeometry);
    return Control;
}

QString Long() { return QStringLiteral("QUALITY CONTROL PROCEDURE FOR CUSTOM SELECTED CRUISES"); }

} // namespace

TEST(CaptionCheck, FindsCutAndCoveredCaptionsAndNothingOnSoundForms)
{
    const TCaptionCase Cases[] = {
        {"laid out by a layout",
         [](QWidget &W) {
             auto *Box = new QVBoxLayout(&W);
             Box->addWidget(new QLabel(Long()));
             Box->addWidget(new QCheckBox(Long()));
             Box->addWidget(new QRadioButton(Long()));
             Box->addWidget(new QPushButton(Long()));
             auto *Group = new QGroupBox(Long());
             (new QVBoxLayout(Group))->addWidget(new QLineEdit);
             Box->addWidget(Group);
             auto *Tabs = new QTabWidget;
             Tabs->addTab(new QWidget, Long());
             Box->addWidget(Tabs);
         },
         {}},
        {"placed by hand, room enough",
         [](QWidget &W) {
             // A framed holder around the captions and a bare one over them hide nothing.
             Place<QFrame>(W, "Panel9", {0, 0, 300, 300})->setFrameShape(QFrame::StyledPanel);
             Place<QLabel>(W, "Label1", {10, 10, 60, 20}, QStringLiteral("Cruise"));
             Place<QPushButton>(W, "BitBtn1", {80, 10, 80, 30}, QStringLiteral("NEXT"));
             Place<QLabel>(W, "Label5", {10, 50, 120, 200}, Long() + QStringLiteral(" ") + Long())->setWordWrap(true);
             (new QWidget(&W))->setGeometry(0, 0, 200, 100);
         },
         {}},
        {"captions their controls or panels cut",
         [](QWidget &W) {
             Place<QLabel>(W, "Label3", {10, 10, 120, 20}, Long());
             Place<QLabel>(W, "Label4", {10, 40, 60, 6}, QStringLiteral("Total"));
             Place<QLabel>(W, "Label5", {10, 60, 120, 20}, Long() + QStringLiteral(" ") + Long())->setWordWrap(true);
             // A check box's text starts after its box.
             const int Text = QFontMetrics(W.font()).horizontalAdvance(QStringLiteral("CRUISE INFO"));
             Place<QCheckBox>(W, "CheckBox3", {10, 90, Text + 4, 24}, QStringLiteral("CRUISE INFO"));
             Place<QRadioButton>(W, "RadioButton1", {10, 120, 200, 24}, Long());
             Place<QPushButton>(W, "BitBtn5", {10, 150, 70, 30}, QStringLiteral("Update climate/range"));
             auto *Panel = Place<QGroupBox>(W, "Panel2", {10, 190, 100, 60}, QString());
             Place<QLabel>(*Panel, "Label6", {60, 20, 200, 20}, QStringLiteral("Velosity Limit"));
         },
         {"Label3", "Label4", "Label5", "CheckBox3", "RadioButton1", "BitBtn5", "Label6"}},
        {"captions other controls cover",
         [](QWidget &W) {
             Place<QLabel>(W, "Label1", {10, 10, 150, 20}, QStringLiteral("Press <Esc>"));
             Place<QProgressBar>(W, "Gauge1", {40, 12, 100, 16});
             Place<QLabel>(W, "Label2", {10, 50, 200, 20}, QStringLiteral("LISt OF PARAMETETRS"));
             Place<QFrame>(W, "Panel8", {40, 55, 300, 60})->setFrameShape(QFrame::StyledPanel);
             // A group box's own button over its title.
             auto *Group = Place<QGroupBox>(W, "GroupBox2", {10, 130, 300, 100}, QStringLiteral("WHAT TO DO?"));
             Place<QRadioButton>(*Group, "RadioButton4", {0, 0, 300, 24}, QStringLiteral("X"));
         },
         {"Gauge1", "Panel8", "RadioButton4"}},
        {"tab texts the tab bar cuts",
         [](QWidget &W) {
             auto *Tabs = Place<QTabWidget>(W, "Pagecontrol1", {0, 0, 300, 100});
             Tabs->tabBar()->setObjectName(QStringLiteral("Pagecontrol1Tabs"));
             Tabs->setUsesScrollButtons(false);
             Tabs->setElideMode(Qt::ElideRight);
             Tabs->addTab(new QWidget, Long());
             Tabs->addTab(new QWidget, Long());
         },
         {"Pagecontrol1Tabs", "Pagecontrol1Tabs"}},
    };
    for (const TCaptionCase &Case : Cases) {
        QWidget Window;
        Window.resize(400, 300);
        Case.Build(Window);
        Window.show();
        ProcessMessages();
        const std::vector<std::string> Problems = apptest::CaptionProblems(Window);
        ASSERT_EQ(Problems.size(), Case.Blamed.size()) << Case.Name << ": " << ::testing::PrintToString(Problems);
        for (size_t I = 0; I < Problems.size(); ++I)
            EXPECT_EQ(Problems[I].rfind(Case.Blamed[I], 0), 0u) << Case.Name << ": " << Problems[I];
    }
}

// ---- every form as the operator meets it on a 1280 x 1024 screen ------------

namespace {

// Shows a window as the program shows it, keeps its picture and lists what
// of it cannot be read.
std::vector<std::string> Read(QWidget &AWindow, const std::string &AName)
{
    AWindow.show();
    ProcessMessages();
    apptest::SaveScreenshot(AWindow, "form_" + AName);
    return apptest::CaptionProblems(AWindow);
}

const std::vector<std::string> None;

// The threshold lines of the test tree and the panels they open.
struct TThresholdLine {
    const char *Name;
    QFrame *TForm1::*Panel;
};
const TThresholdLine ThresholdLines[] = {
    {"Search window", &TForm1::Panel3}, {"Contour file", &TForm1::Panel4},
    {"Speed limit", &TForm1::Panel5},   {"Depth tolerance", &TForm1::Panel7},
    {"Confidence interval", &TForm1::Panel6}, {"Relative jump", &TForm1::Panel10}};

// Where a node's name stands in the tree's viewport.
QRect NameRect(TCheckTree &ATree, TTreeNode *ANode)
{
    const QRect Row = ATree.visualItemRect(ANode);
    return {Row.left() + ATree.iconSize().width() + 8, Row.top(),
            ATree.fontMetrics().horizontalAdvance(QString::fromStdString(ANode->Text())), Row.height()};
}

// A click in the middle of a node's name, as the operator aims at it.
void ClickName(TCheckTree &ATree, const char *AName)
{
    TTreeNode *Node = FindTreeNode(ATree, AName);
    ASSERT_NE(Node, nullptr) << AName;
    ATree.scrollToItem(Node);
    QTest::mouseClick(ATree.viewport(), Qt::LeftButton, {}, NameRect(ATree, Node).center());
    ProcessMessages();
}

// The names the tree's viewport cuts (the tree itself is one control to
// the caption check).
std::vector<std::string> CutNames(TCheckTree &ATree)
{
    std::vector<std::string> Cut;
    for (TTreeNode *N = ATree.GetFirstNode(); N; N = N->GetNext())
        if (NameRect(ATree, N).right() >= ATree.viewport()->width())
            Cut.push_back(N->Text());
    return Cut;
}

} // namespace

using EveryForm = MainWindow;

// On a 1024 x 768 screen, and on one scaled by 1.5 (683 x 512 points), step
// 0 shows every mode's button and lets the rest of its text scroll into sight;
// on the first, the custom choice says its counts whole.
TEST_F(EveryForm, OnASmallOrScaledScreenEveryModeOfStepZeroCanBeSeen)
{
    for (const QSize Screen : {QSize(1024, 768), QSize(683, 512)}) {
        SetScreenSize(Screen.width(), Screen.height());
        ASSERT_TRUE(Start());
        Form->show();
        ProcessMessages();
        EXPECT_TRUE(Form->Panel1->rect().contains(Form->RadioGroup1->geometry())) << Screen.width();
        for (int I = 0; I < Form->RadioGroup1->Count(); ++I) {
            QRadioButton *Mode = Form->RadioGroup1->Button(I);
            const QRect Button(0, 0, 20, Mode->height());
            EXPECT_EQ(Mode->visibleRegion().intersected(Button), QRegion(Button)) << Screen.width() << " " << I;
        }
        // Tab stops only where the focus shows: not on the page's scroll area.
        for (QWidget *W = Form->nextInFocusChain(); W != Form.get(); W = W->nextInFocusChain())
            if (W->isVisible() && W->isEnabled() && (W->focusPolicy() & Qt::TabFocus))
                EXPECT_FALSE(W->inherits("QScrollArea")) << W->objectName().toStdString();
        // The custom choice's lists say how much they hold in words read
        // whole (on the scaled screen its page is squeezed below its least).
        if (Screen.width() == 1024) {
            Form->RadioGroup1->Button(3)->click();
            Form->BitBtn1->click();
            Form->Pagecontrol1->setCurrentWidget(Form->TabSheet2);
            ProcessMessages();
            EXPECT_EQ(apptest::CaptionProblems(*Form->TabSheet3), None);
        }
        Stop();
    }
    SetScreenSize(1280, 1024);
}

TEST_F(EveryForm, EveryCaptionIsWholeAndEveryDialogsEnterAndEscAreItsButtons)
{
    // The test main's screen is 1280 x 1024; the program sizes its window
    // from it.
    ASSERT_TRUE(Start());
    EXPECT_EQ(Read(*Form, "main_start_page"), None);
    Form->RadioGroup1->Button(3)->click(); // the custom choice: both tabs on step 1
    Form->BitBtn1->click();
    EXPECT_EQ(Read(*Form, "main_options"), None);
    // Each threshold line opens its panel from its name; the tree keeps
    // every name whole beside it.
    for (const TThresholdLine &Line : ThresholdLines) {
        ClickName(*Form->TestTree, Line.Name);
        ASSERT_TRUE((Form.get()->*Line.Panel)->isVisible()) << Line.Name;
        EXPECT_EQ(Read(*Form, std::string("main_options_") + Line.Name), None);
        EXPECT_EQ(CutNames(*Form->TestTree), None) << Line.Name;
    }
    Form->Pagecontrol1->setCurrentWidget(Form->TabSheet2);
    // A country and a ship chosen, as the operator narrows the cruises.
    for (TCheckListBox *List : {Form->CheckListBox6, Form->CheckListBox7}) {
        ASSERT_GT(List->Count(), 0);
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, List->visualItemRect(List->item(0)).center());
        ProcessMessages();
    }
    EXPECT_EQ(Read(*Form, "main_cruise_choice"), None);
    Form->PageControl4->setCurrentWidget(Form->TabSheet4);
    EXPECT_EQ(Read(*Form, "main_cruise_search"), None);

    // Back to the start for a run over all cruises, through every page.
    Form->BitBtn2->click();
    Form->RadioGroup1->Button(0)->click();
    Form->BitBtn1->click();
    Form->BitBtn1->click();
    EXPECT_EQ(Read(*Form, "main_parameters"), None);
    Form->BitBtn1->click();
    EXPECT_EQ(Read(*Form, "main_actions"), None);

    // The run, read inside its first cruise: the run pumps messages once
    // before its cruise loop and then between stations. Esc ends it there.
    Form->RadioButton2->click();
    std::vector<std::string> DuringRun{"not read"};
    QTimer::singleShot(0, Form.get(), [&] {
        QTimer::singleShot(0, Form.get(), [&] {
            DuringRun = Read(*Form, "main_run");
            QKeyEvent Esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(Form->BitBtn1, &Esc);
        });
    });
    Form->BitBtn1->setFocus(), QTest::keyClick(Form->BitBtn1, Qt::Key_Return); // CHECK by Enter
    EXPECT_EQ(DuringRun, None);
    ASSERT_TRUE(Form->fmStart);
    Form->fmStart->SetStage("Synchronization of Cruise List...");
    Form->fmStart->SetProgress(45);
    EXPECT_EQ(Read(*Form->fmStart, "start_window"), None);
    Form->fmStart->hide();
    Form->hide();

    // The windows, each on its own as the program opens it.
    const auto Own = [](QWidget *AWindow) { return std::shared_ptr<QWidget>(AWindow, [](QWidget *) {}); };
    const std::pair<const char *, std::function<std::shared_ptr<QWidget>()>> Dialogs[] = {
        {"main_window_idle", [&] { return Own(Form.get()); }},
        {"start_window_idle", [&] { return Own(Form->fmStart); }},
        {"path_dialog", [] { return std::make_unique<TForm4>(nullptr); }},
        {"report", [this] { return std::make_unique<TfmReport>(nullptr, Form->QcCruTbl); }},
        {"flag_confirmation", [] { return std::make_unique<TfmFlagToMainDB>(nullptr); }},
        {"flag_cruises",
         [] {
             auto Choice = std::make_unique<Tfmflagcru>(nullptr);
             Choice->CheckListBox1->AddItem("BS91_BI01");
             return Choice;
         }},
        {"flag_progress", [] { return std::make_unique<TfmWriteFlagProgress>(nullptr); }},
        {"qc_settings", [] { return std::make_unique<TfmQCSettings>(nullptr); }},
        {"contour_dialog",
         [] {
             ContourFileName = ExtraLinesFile;
             return std::make_unique<TfmContDlg>(nullptr);
         }},
        {"climatology_dialog", [] { return std::make_unique<TfmClimatDlg>(nullptr, ClimSearchPath); }},
        {"manual_editor_find_undo", [] { // as "Find Undo Value" leaves it
             auto Editor = std::make_unique<TForm2>(nullptr);
             Editor->show(), ProcessMessages(), Editor->SpeedButton15->click();
             return Editor;
         }},
    };
    // An Enter or an Esc on a control of each (none: on the dialog) gives its
    // default or Cancel button's result; without such a button there is none,
    // the window stays open. An Esc interrupts only where work runs: the
    // write-back's progress, not the idle editor.
    const std::set<std::string> Interrupting{"flag_progress"};
    const std::map<std::string, std::tuple<const char *, Qt::Key, int>> Keys{
        {"main_window_idle", {nullptr, Qt::Key_Escape, mrNone}},
        {"start_window_idle", {nullptr, Qt::Key_Escape, mrNone}},
        {"path_dialog", {"FileListBox1", Qt::Key_Escape, mrCancel}},
        {"report", {"DBGrid1", Qt::Key_Escape, mrOk}},
        {"flag_confirmation", {nullptr, Qt::Key_Escape, mrNo}},
        {"flag_cruises", {"CheckListBox1", Qt::Key_Escape, mrCancel}},
        {"flag_progress", {nullptr, Qt::Key_Escape, mrNone}},
        {"qc_settings", {nullptr, Qt::Key_Escape, mrCancel}},
        {"contour_dialog", {"PaintBox1", Qt::Key_Escape, mrCancel}},
        {"climatology_dialog", {"Edit1", Qt::Key_Return, mrOk}},
        {"manual_editor_find_undo", {nullptr, Qt::Key_Escape, mrNone}}};
    for (const auto &[Name, Make] : Dialogs) {
        std::shared_ptr<QWidget> Dialog = Make();
        EXPECT_EQ(Read(*Dialog, Name), None) << Name;
        const auto &[Focus, Key, Result] = Keys.at(Name);
        QWidget *Target = Focus ? Dialog->findChild<QWidget *>(Focus) : Dialog.get();
        ASSERT_TRUE(Target) << Name;
        AbortRequested = QcInterrupted = false;
        QTest::keyClick(Target, Key);
        if (auto *AsForm = dynamic_cast<TForm *>(Dialog.get()))
            EXPECT_EQ(AsForm->ModalResult(), Result) << Name;
        const bool Interrupts = Interrupting.count(Name) > 0;
        EXPECT_EQ(std::make_pair(AbortRequested, QcInterrupted), std::make_pair(Interrupts, Interrupts)) << Name;
    }
    AbortRequested = QcInterrupted = false;
    // Scaled by 1.5, 1280 x 1024 less a panel: each form fits (the editor takes it all).
    const QRect Scaled(0, 24, 853, 658);
    SetScreenWorkArea(Scaled);
    for (const auto &[Name, Make] : Dialogs)
        if (std::string(Name) != "main_window_idle" && std::string(Name) != "manual_editor_find_undo") {
            const std::shared_ptr<QWidget> Dialog = Make();
            Dialog->hide(), Dialog->show(), ProcessMessages();
            EXPECT_TRUE(Scaled.contains(Dialog->frameGeometry())) << Name;
        }
    SetScreenWorkArea(QRect());
}
