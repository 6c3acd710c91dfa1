// The dialog seam, timers, the Esc hook, screen size and cursor, and the
// check list box and tree view.
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TForm.h"
#include "platform/toolkit/TItemClick.h"
#include "platform/toolkit/TTimer.h"
#include "platform/toolkit/TTreeView.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/rtl/SysUtils.h"

#include <chrono>
#include <functional>
#include <fstream>
#include <stdexcept>
#include <tuple>

namespace {

TEST(DialogSeam, ScriptedAnswersAndRecordedBoxes)
{
    TScriptedDialogs Script;
    Script.MessageAnswers.push_back(mrNo);
    EXPECT_EQ(MessageDlg("One More Quality check procedure ?", mtConfirmation, mbYesNo), mrNo);
    // With no answer queued the box's first button of OK, Yes, ... is taken.
    EXPECT_EQ(MessageDlg("Wrong Rect", mtError, mbOK), mrOk);
    ShowMessage("done");
    ASSERT_EQ(Script.Messages.size(), 3u);
    EXPECT_EQ(Script.Messages[0].Caption, "Confirm");
    EXPECT_EQ(Script.Messages[1].Caption, "Error");
    EXPECT_EQ(Script.Messages[1].Icon, mtError);
    EXPECT_EQ(Script.Messages[2].Caption, ApplicationTitle());
    EXPECT_EQ(Script.Texts()[2], "done");
}

TEST(DialogSeam, ModalFormRunsTheQueuedHandler)
{
    TScriptedDialogs Script;
    TForm Form(nullptr, "Form4");
    auto *Edit = MakeControl<QLabel>(&Form, "Label1");
    Script.ModalHandlers.push_back([](TForm &F) {
        F.findChild<QLabel *>(QStringLiteral("Label1"))->setText(QStringLiteral("answered"));
        return int(mrOk);
    });
    EXPECT_EQ(Form.ShowModal(), mrOk);
    EXPECT_EQ(Edit->text(), QStringLiteral("answered"));
    EXPECT_EQ(Form.ModalResult(), mrOk);
    EXPECT_EQ(Form.ShowModal(), mrCancel); // nothing queued
    EXPECT_EQ(Script.ModalForms, (std::vector<std::string>{"Form4", "Form4"}));
}

TEST(DialogSeam, TheMainLoopRunsThroughTheSeam)
{
    QWidget Window;
    Window.setObjectName(QStringLiteral("Form1"));
    bool Handled = false;
    {
        // A script shows the window, handles what is queued and returns.
        TScriptedDialogs Script;
        QMetaObject::invokeMethod(&Window, [&] { Handled = true; }, Qt::QueuedConnection);
        EXPECT_EQ(RunApplication(Window), 0);
        EXPECT_TRUE(Window.isVisible());
        EXPECT_TRUE(Handled);
        EXPECT_EQ(Script.MainLoops, (std::vector<std::string>{"Form1"}));
    }
    // The real seam runs the application's loop until it quits.
    Window.hide();
    IDialogSeam *Previous = SetDialogSeam(nullptr);
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(3); }, Qt::QueuedConnection);
    EXPECT_EQ(RunApplication(Window), 3);
    EXPECT_TRUE(Window.isVisible());
    SetDialogSeam(Previous);
}

// A real box shown while a stay-on-top window (the start window) is up is
// kept on top too, so it is not hidden under it; otherwise it is not.
TEST(DialogSeam, RealBoxShowsAboveAStayOnTopWindow)
{
    IDialogSeam *Previous = SetDialogSeam(nullptr);
    const auto BoxOnTop = [] {
        bool OnTop = false;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, [&] {
            for (QWidget *W : QApplication::topLevelWidgets())
                if (auto *Box = qobject_cast<QMessageBox *>(W); Box && Box->isVisible()) {
                    OnTop = Box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                    Box->buttons().front()->click();
                }
        });
        Poll.start(5);
        MessageDlg("Can't Connect to Main Database", mtError, mbOK);
        return OnTop;
    };
    EXPECT_FALSE(BoxOnTop());
    QWidget Start;
    Start.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    Start.show();
    EXPECT_TRUE(BoxOnTop());
    SetDialogSeam(Previous);
}

// Enter and Esc answer a real box as the operator expects: Esc answers a
// Yes/No question No, and Cancel wherever there is one.
TEST(DialogSeam, EnterAndEscAnswerARealBox)
{
    IDialogSeam *Previous = SetDialogSeam(nullptr);
    const struct {
        TMsgDlgButtons Buttons;
        Qt::Key Key;
        int Want;
    } Rows[] = {{mbYesNo, Qt::Key_Escape, mrNo},     {mbYesNoCancel, Qt::Key_Escape, mrCancel},
                {mbOK, Qt::Key_Escape, mrOk},        {mbYesNo, Qt::Key_Return, mrYes},
                {mbOKCancel, Qt::Key_Return, mrOk}, {mbOKCancel, Qt::Key_Escape, mrCancel}};
    for (const auto &R : Rows) {
        int Polls = 0;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, [&] {
            if (auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                ++Polls < 50 ? QTest::keyClick(Box, R.Key) : Box->buttons().front()->click();
        });
        Poll.start(5);
        EXPECT_EQ(MessageDlg("One More Quality check procedure ?", mtConfirmation, R.Buttons), R.Want)
            << int(R.Buttons) << " " << R.Key;
    }
    SetDialogSeam(Previous);
}

// No box grows past the screen: a list of two thousand cruises scrolls in
// its box, and OK stays in sight; and no line is cut at the box's right
// edge, whatever font the desktop gives the box's text as it is shown.
TEST(DialogSeam, ALongTextScrollsInABoxThatFitsTheScreen)
{
    IDialogSeam *Previous = SetDialogSeam(nullptr);
    const std::tuple<const char *, int, const char *> Rows[] = {
        {": not written", 2008, ""}, {": PTS_Data not written", 40, "QLabel { font-size: 14pt; }"}};
    for (const auto &[Line, Lines, Style] : Rows) {
        std::string Text = "Flags updating was interrupted!";
        for (int I = 0; I < Lines; ++I)
            Text += "\nBS02_GD" + std::to_string(I) + Line;
        qApp->setStyleSheet(QString::fromLatin1(Style));
        QRect Box, Ok, Room;
        bool Cut = true;
        QTimer Poll;
        QObject::connect(&Poll, &QTimer::timeout, [&] {
            if (auto *B = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Box = B->frameGeometry();
                Ok = QRect(B->buttons().front()->mapTo(B, QPoint()), B->buttons().front()->size());
                Room = B->screen()->availableGeometry();
                if (auto *Pane = B->findChild<QScrollArea *>(QStringLiteral("MessagePane")))
                    Cut = Pane->horizontalScrollBar()->isVisible() ||
                          Pane->widget()->width() > Pane->viewport()->width();
                B->buttons().front()->click();
            }
        });
        Poll.start(5);
        MessageDlg(Text, mtWarning, mbOK);
        qApp->setStyleSheet(QString());
        EXPECT_TRUE(QRect(QPoint(), Room.size()).contains(QRect(QPoint(), Box.size()))) << Style;
        EXPECT_TRUE(QRect(QPoint(), Box.size()).contains(Ok) && !Cut) << Style;
    }
    SetDialogSeam(Previous);
}

TEST(DialogSeam, ScriptRestoresThePreviousSeam)
{
    IDialogSeam *Before = &DialogSeam();
    {
        TScriptedDialogs Outer;
        {
            TScriptedDialogs Inner;
            EXPECT_EQ(&DialogSeam(), &Inner);
        }
        EXPECT_EQ(&DialogSeam(), &Outer);
    }
    EXPECT_EQ(&DialogSeam(), Before);
}

TEST(DialogSeam, ExceptionsFromHandlersAreShownOnce)
{
    TScriptedDialogs Script;
    EXPECT_FALSE(RunGuarded([] { throw rtl::Exception("Can't Connect to Main Database"); }));
    EXPECT_FALSE(RunGuarded([] { throw rtl::EAbort(); }));
    EXPECT_TRUE(RunGuarded([] {}));
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("Done."); }));
    ASSERT_EQ(Script.Messages.size(), 2u);
    EXPECT_EQ(Script.Messages[0].Text, "Can't Connect to Main Database.");
    EXPECT_EQ(Script.Messages[0].Icon, mtError);
    EXPECT_EQ(Script.Messages[0].Caption, ApplicationTitle());
    EXPECT_EQ(Script.Messages[1].Text, "Done.");
}

TEST(ManualClock, FiresTimersAsTimePasses)
{
    TTimer::SetManualClock(true);
    int Fired = 0;
    TTimer T;
    T.OnTimer = [&] { ++Fired; };
    T.SetInterval(250);
    T.SetEnabled(true);
    TTimer::AdvanceTimers(249);
    EXPECT_EQ(Fired, 0);
    TTimer::AdvanceTimers(1);
    EXPECT_EQ(Fired, 1);
    TTimer::AdvanceTimers(1000);
    EXPECT_EQ(Fired, 5);
    T.SetEnabled(false);
    TTimer::AdvanceTimers(1000);
    EXPECT_EQ(Fired, 5);
    // A handler that stops its own timer fires once.
    T.OnTimer = [&] { ++Fired; T.SetEnabled(false); };
    T.SetEnabled(true);
    TTimer::AdvanceTimers(5000);
    EXPECT_EQ(Fired, 6);
    TTimer::SetManualClock(false);
}

TEST(EscHook, SeesEscOnAnyWindowWhileWorkRunsAndLetsItThrough)
{
    int Seen = 0;
    InstallEscHook([&] { ++Seen; });
    QLabel W;
    W.show();
    TInterruptible Running;
    QTest::keyClick(&W, Qt::Key_Escape);
    QTest::keyClick(&W, Qt::Key_A);
    EXPECT_EQ(Seen, 1);
    InstallEscHook({});
    QTest::keyClick(&W, Qt::Key_Escape);
    EXPECT_EQ(Seen, 1);
}

// Qt builds each key event afresh, often at the address the last one had;
// every press must count, not only the first one an address carried.
TEST(EscHook, EveryPressCountsAgain)
{
    int Seen = 0;
    InstallEscHook([&] { ++Seen; });
    TInterruptible Running;
    QLabel W;
    W.show();
    for (int I = 0; I < 3; ++I)
        QTest::keyClick(&W, Qt::Key_Escape);
    EXPECT_EQ(Seen, 3);
    InstallEscHook({});
}

// Long loops pump at every step: an Esc posted to a window reaches the hook
// on the very next call however soon after the last one it comes, and a
// tight loop of calls still runs the timers that fall due.
TEST(EscHook, PostedEscArrivesWithTheNextPumpAndTimersStillRun)
{
    int Seen = 0;
    InstallEscHook([&] { ++Seen; });
    TInterruptible Running;
    QLabel W;
    W.show();
    ProcessMessages();
    for (int I = 1; I <= 50; ++I) {
        QCoreApplication::postEvent(&W, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        ProcessMessages();
        ASSERT_EQ(Seen, I);
    }
    InstallEscHook({});

    QTimer Timer;
    Timer.setSingleShot(true);
    bool Fired = false;
    QObject::connect(&Timer, &QTimer::timeout, [&] { Fired = true; });
    Timer.start(2);
    const auto Start = std::chrono::steady_clock::now();
    while (!Fired && std::chrono::steady_clock::now() - Start < std::chrono::seconds(5))
        ProcessMessages();
    EXPECT_TRUE(Fired);
}

TEST(Screen, SizeCanBeFixedAndCursorRestored)
{
    SetScreenSize(800, 600);
    EXPECT_EQ(ScreenWidth(), 800);
    EXPECT_EQ(ScreenHeight(), 600);
    SetScreenSize(1280, 1024);
    {
        THourglass Wait;
        EXPECT_EQ(ScreenCursor(), crHourGlass);
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(ScreenCursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(CheckListBoxItems, HeadersKeepTicksButShowNoBox)
{
    TCheckListBox L;
    L.AddItem("Countries");
    L.AddItem("Greece");
    L.SetHeader(0, true);
    L.SetChecked(0, true);
    EXPECT_TRUE(L.Checked(0));
    EXPECT_FALSE(L.item(0)->data(Qt::CheckStateRole).isValid());
    EXPECT_FALSE(L.item(0)->flags() & Qt::ItemIsUserCheckable);
    int Clicks = 0;
    L.OnClickCheck = [&](TCheckListBox &) { ++Clicks; };
    L.SetChecked(1, true); // code does not fire the event
    EXPECT_EQ(Clicks, 0);
    L.item(1)->setCheckState(Qt::Unchecked); // as a click on the box does
    EXPECT_EQ(Clicks, 1);
    EXPECT_FALSE(L.Checked(1));
}

TEST(TreeViewNodes, LoadsTabIndentedTextInDisplayOrder)
{
    QTemporaryDir Dir;
    const std::string File = Dir.filePath(QStringLiteral("tree.txt")).toStdString();
    std::ofstream(File) << "A\n\tA1\n\t\tA1x\n\tA2\nB\n\t\t\tB1\n";
    TTreeView T;
    std::vector<std::string> Added;
    T.OnAddition = [&](TTreeNode *N) { Added.push_back(N->Text()); };
    ASSERT_TRUE(T.LoadFromFile(File));
    ASSERT_EQ(T.NodeCount(), 6);
    EXPECT_EQ(Added, (std::vector<std::string>{"A", "A1", "A1x", "A2", "B", "B1"}));
    EXPECT_EQ(T.Node(2)->Text(), "A1x");
    EXPECT_EQ(T.Node(2)->Level(), 2);
    EXPECT_EQ(T.Node(5)->Level(), 1); // too deep a line becomes a child
    EXPECT_EQ(T.Node(3)->AbsoluteIndex(), 3);
    EXPECT_EQ(T.Node(2)->GetNext()->Text(), "A2");
    TTreeNode *Ins = T.InsertNode(T.Node(4), "Before B");
    EXPECT_EQ(Ins->AbsoluteIndex(), 4);
    // The selected node deleted: the selection moves on to a node that
    // stands.
    std::vector<std::string> Changes;
    T.OnChange = [&](TTreeNode *N) { Changes.push_back(N ? N->Text() : "-"); };
    T.setCurrentItem(T.Node(0));
    T.DeleteNode(T.Node(0));
    EXPECT_EQ(T.NodeCount(), 3);
    EXPECT_EQ(Changes, (std::vector<std::string>{"A", "Before B"}));
    EXPECT_FALSE(T.LoadFromFile(Dir.filePath(QStringLiteral("missing.txt")).toStdString()));
}

// The operator's moves through a list, one a row: what the step does, the
// highlighted row afterwards and how many clicks ran in all by then.
struct TListStep {
    const char *What;
    std::function<void(QListWidget &)> Do;
    int Row;
    int Clicks;
};

void ClickRow(QListWidget &L, int Row)
{
    QTest::mouseClick(L.viewport(), Qt::LeftButton, {}, L.visualItemRect(L.item(Row)).center());
}

TEST(ItemClick, EveryMoveOfTheHighlightByTheOperatorClicksOnce)
{
    QListWidget L;
    for (const char *Text : {"a", "b", "c", "d", "e"})
        L.addItem(QString::fromLatin1(Text));
    L.resize(200, 200);
    L.show();
    L.setCurrentRow(0);
    int Clicks = 0;
    InstallItemClick(L, [&] { ++Clicks; });
    const TListStep Steps[] = {
        {"arrow down", [](QListWidget &W) { QTest::keyClick(&W, Qt::Key_Down); }, 1, 1},
        {"End", [](QListWidget &W) { QTest::keyClick(&W, Qt::Key_End); }, 4, 2},
        {"End at the end", [](QListWidget &W) { QTest::keyClick(&W, Qt::Key_End); }, 4, 2},
        {"Home", [](QListWidget &W) { QTest::keyClick(&W, Qt::Key_Home); }, 0, 3},
        {"mouse on another row", [](QListWidget &W) { ClickRow(W, 2); }, 2, 4},
        {"mouse on the highlighted row", [](QListWidget &W) { ClickRow(W, 2); }, 2, 5},
        {"a row set in code", [](QListWidget &W) { W.setCurrentRow(3); }, 3, 5},
        {"a row set in code after a key that moved nothing",
         [](QListWidget &W) {
             QTest::keyClick(&W, Qt::Key_End);
             QTest::keyClick(&W, Qt::Key_End);
             W.setCurrentRow(1);
         },
         1, 6},
        {"a typed letter", [](QListWidget &W) { QTest::keyClick(&W, Qt::Key_D); }, 3, 7},
        {"a drag over two rows",
         [](QListWidget &W) {
             const QPoint From = W.visualItemRect(W.item(1)).center(), To = W.visualItemRect(W.item(3)).center();
             QTest::mousePress(W.viewport(), Qt::LeftButton, {}, From);
             QMouseEvent Move(QEvent::MouseMove, QPointF(To), W.viewport()->mapToGlobal(QPointF(To)), Qt::NoButton,
                              Qt::LeftButton, Qt::NoModifier);
             QCoreApplication::sendEvent(W.viewport(), &Move);
             QTest::mouseRelease(W.viewport(), Qt::LeftButton, {}, To);
         },
         3, 9},
    };
    for (const TListStep &S : Steps) {
        S.Do(L);
        EXPECT_EQ(L.currentRow(), S.Row) << S.What;
        EXPECT_EQ(Clicks, S.Clicks) << S.What;
    }
    // A handler that moves its own list runs once, not again for its move.
    InstallItemClick(L, [&] {
        ++Clicks;
        L.setCurrentRow(0);
    });
    QTest::keyClick(&L, Qt::Key_Down);
    EXPECT_EQ(Clicks, 10);
    EXPECT_EQ(L.currentRow(), 0);
    InstallItemClick(L, {});
    QTest::keyClick(&L, Qt::Key_Down);
    EXPECT_EQ(Clicks, 10);
}

} // namespace
