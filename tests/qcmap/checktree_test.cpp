// The check tree: five states, propagation down and up, the locked state,
// its ini and image-list files, and dragging checked nodes.
#include "tests/support/TestEnvironment.h"
#include "app/manual/CheckTree.h"

#include "app/Globals.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

std::string ProgramFolder() { return testsupport::ProgramDir(); }

class CheckTreeStates : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::unique_ptr<TCheckTree> Tree;
    TTreeNode *Root = nullptr, *A = nullptr, *B = nullptr, *A1 = nullptr, *Other = nullptr;

    void Make(const std::string &Ini)
    {
        const std::string Path = Dir.filePath(QStringLiteral("MapTree.ini")).toStdString();
        std::ofstream(Path) << Ini;
        ImgsDir = ProgramFolder() + "Imgs/";
        Tree = std::make_unique<TCheckTree>(nullptr, Path);
        Tree->LoadImageLists(ProgramFolder() + "Cfg/qc.img", ProgramFolder() + "Cfg/2.img");
        Root = Tree->AddNode(nullptr, "Location");
        A = Tree->AddChild(Root, "Contour file");
        A1 = Tree->AddChild(A, "ALL_.bln");
        B = Tree->AddChild(Root, "Region");
        Other = Tree->AddNode(nullptr, "Velocity");
        Tree->resize(400, 300);
        Tree->expandAll();
        Tree->show();
    }
    void ClickState(TTreeNode *N)
    {
        const QRect R = Tree->StateIconRect(N);
        ASSERT_TRUE(R.isValid()) << N->Text();
        QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, R.center());
    }
    void ClickLabel(TTreeNode *N)
    {
        const QRect S = Tree->StateIconRect(N);
        QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, QPoint(S.right() + 16 + 10, S.center().y()));
    }
    std::string States() const
    {
        std::string s;
        for (TTreeNode *N = Tree->GetFirstNode(); N; N = N->GetNext())
            s += char('0' + N->StateIndex());
        return s;
    }
};

TEST_F(CheckTreeStates, MissingIniStatusStartsUnchecked)
{
    Make("[OTHER]\nX=1\n");
    EXPECT_EQ(Tree->InitialState, 1);
    EXPECT_EQ(States(), "11111");
    EXPECT_EQ(A1->ImageIndex(), 2); // image = level
}

TEST_F(CheckTreeStates, CheckingChildrenMakesTheParentPartlyThenFullyChecked)
{
    Make("[ADD]\nINISTATUS=1\n");
    ClickState(B);
    EXPECT_EQ(States(), "21131"); // Root partly, B checked
    EXPECT_EQ(Tree->CurNode, B);
    ClickState(A);
    EXPECT_EQ(States(), "33331"); // A with A1, then Root all checked
    ClickState(A1); // unchecking a leaf: its parent has none checked, the root some
    EXPECT_EQ(States(), "21131");
}

TEST_F(CheckTreeStates, ClickOnTheLabelChangesNothing)
{
    Make("[ADD]\nINISTATUS=1\n");
    ClickLabel(B);
    EXPECT_EQ(Tree->Selected(), B);
    EXPECT_EQ(States(), "11111");
    ClickTogglesAnywhere = true;
    ClickLabel(B);
    ClickTogglesAnywhere = false;
    EXPECT_EQ(States(), "21131");
}

TEST_F(CheckTreeStates, LockedNodesKeepTheirStateAndHoldTheParentBack)
{
    Make("[ADD]\nINISTATUS=3\n");
    EXPECT_EQ(States(), "33333");
    B->SetStateIndex(4); // order: Location, Contour file, ALL_.bln, Region, Velocity
    ClickState(Root);    // checked -> unchecked; the locked child stays
    EXPECT_EQ(States(), "11143");
    ClickState(Root); // the clicked node itself is not recomputed
    EXPECT_EQ(States(), "33343");
    ClickState(A); // a locked child keeps its parent partly checked
    EXPECT_EQ(States(), "21143");
    ClickState(A);
    EXPECT_EQ(States(), "23343");
    ClickState(B); // a click on a locked node leaves it locked
    EXPECT_EQ(B->StateIndex(), 4);
}

TEST_F(CheckTreeStates, NoFirstCheckGivesTheFirstNodeNoBox)
{
    const std::string Path = Dir.filePath(QStringLiteral("t.ini")).toStdString();
    std::ofstream(Path) << "[ADD]\nINISTATUS=3\n";
    TCheckTree T(nullptr, Path);
    T.NoFirstCheck = true;
    std::vector<std::string> Added;
    T.AfterAddition = [&](TTreeNode *N) { Added.push_back(N->Text()); };
    ASSERT_TRUE(T.LoadFromFile(ProgramFolder() + "Cfg/QcParams.txt"));
    ASSERT_GT(T.NodeCount(), 2);
    EXPECT_EQ(T.Node(0)->StateIndex(), 0);
    EXPECT_EQ(T.Node(1)->StateIndex(), 3);
    EXPECT_EQ(int(Added.size()), T.NodeCount());
    EXPECT_EQ(T.Node(0)->Text(), "Duplicates");
}

TEST_F(CheckTreeStates, CheckedNodesDragToANewPlace)
{
    Make("[ADD]\nINISTATUS=3\n");
    Tree->DragReorder = true;
    int Dropped = 0;
    Tree->AfterDragDrop = [&](int, int) { ++Dropped; };
    // Drag "Velocity" onto the upper half of "Contour file".
    const QRect To = Tree->DisplayRect(A);
    const QPoint From(Tree->StateIconRect(Other).right() + 16 + 10, Tree->StateIconRect(Other).center().y());
    QTest::mousePress(Tree->viewport(), Qt::LeftButton, {}, From);
    QTest::mouseMove(Tree->viewport(), From + QPoint(0, -10));
    QTest::mouseRelease(Tree->viewport(), Qt::LeftButton, {}, QPoint(To.center().x(), To.top() + 2));
    EXPECT_EQ(Dropped, 1);
    ASSERT_EQ(Tree->NodeCount(), 5);
    EXPECT_EQ(Tree->Node(1)->Text(), "Velocity");
    EXPECT_EQ(Tree->Node(1)->Level(), 1);
    // A node dropped into its own subtree is left where it is.
    DragNode = Root;
    Tree->DragDropHandler(To.center().x(), Tree->DisplayRect(A1).bottom() - 1);
    EXPECT_EQ(Tree->NodeCount(), 5);
    EXPECT_EQ(Dropped, 1);
}

} // namespace
