// Check-list and tree routines, integer lists and the depth colour scale.
#include "app/Globals.h"
#include "app/manual/Isolines.h"

#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TTreeView.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(DepthColourScale, MatchesThePaletteTable)
{
    const int Expected[24][3] = {
        {0, 0, 128},     {0, 26, 141},    {0, 51, 153},    {0, 76, 166},    {0, 102, 179},   {0, 128, 192},
        {0, 153, 204},   {0, 178, 217},   {0, 204, 230},   {0, 230, 242},   {192, 220, 192}, {178, 209, 178},
        {165, 197, 165}, {151, 186, 151}, {137, 174, 137}, {123, 163, 123}, {110, 151, 110}, {96, 140, 96},
        {82, 129, 82},   {69, 117, 69},   {55, 106, 55},   {41, 94, 41},    {27, 83, 27},    {14, 71, 14}};
    BuildMapColors();
    ASSERT_EQ(MapColors.size(), 24u);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(MapColors[size_t(i)], RGBColor(Expected[i][0], Expected[i][1], Expected[i][2])) << i;
    EXPECT_EQ(MapColors[0], 0x800000u);  // navy
    EXPECT_EQ(MapColors[10], 0xC0DCC0u); // low land
    for (TColor C : MapColors) {
        EXPECT_NE(C, 0xFFFF00u); // aqua is never reached
        EXPECT_NE(C, 0x003C00u);
    }
}

class CheckLists : public ::testing::Test {
protected:
    TCheckListBox List;
    int Fired = 0;
    void SetUp() override
    {
        for (const char *s : {"Countries", "Greece", "Italy", "Ships", "Akademik"})
            List.AddItem(s);
        List.SetHeader(0, true);
        List.SetHeader(3, true);
        List.OnClickCheck = [this](TCheckListBox &) { ++Fired; };
    }
    std::string Ticks() const
    {
        std::string s;
        for (int i = 0; i < List.Count(); ++i)
            s += List.Checked(i) ? 'x' : '.';
        return s;
    }
};

TEST_F(CheckLists, TickRoutinesSkipHeadersAndFireOnce)
{
    CheckListCheckAll(List);
    EXPECT_EQ(Ticks(), ".xx.x");
    EXPECT_EQ(Fired, 1);
    List.SetChecked(2, false);
    CheckListInvert(List);
    EXPECT_EQ(Ticks(), "..x..");
    CheckListUncheckAll(List);
    EXPECT_EQ(Ticks(), ".....");
    EXPECT_EQ(Fired, 3);
}

TEST_F(CheckLists, SelectedRoutinesFollowTheHighlight)
{
    List.SetMultiSelect(true);
    List.SetChecked(4, true);
    List.SetSelected(1, true);
    List.SetSelected(4, true);
    CheckListCheckSelected(List);
    EXPECT_EQ(Ticks(), ".x..x");
    CheckListUncheckSelected(List);
    EXPECT_EQ(Ticks(), ".....");
    EXPECT_EQ(Fired, 0);
}

TEST_F(CheckLists, StateCountsHeadersToo)
{
    EXPECT_EQ(CheckListState(List), 0);
    List.SetChecked(1, true);
    EXPECT_EQ(CheckListState(List), 1);
    CheckListCheckAll(List);
    EXPECT_EQ(CheckListState(List), 1); // the headers are not ticked
    TCheckListBox Empty;
    EXPECT_EQ(CheckListState(Empty), 0);
    TCheckListBox Headers;
    Headers.AddItem("A");
    Headers.SetHeader(0, true);
    Headers.SetChecked(0, true);
    EXPECT_EQ(CheckListState(Headers), 2);
}

TEST(TreeLookups, FindByTextAcrossLevels)
{
    TTreeView Tree;
    TTreeNode *Loc = Tree.AddNode(nullptr, "Location");
    TTreeNode *Err = Tree.AddChild(Loc, "Possible Location Error");
    TTreeNode *A = Tree.AddChild(Err, "4711");
    TTreeNode *B = Tree.AddChild(Err, "4711");
    EXPECT_EQ(FindTreeNode(Tree, "possible location error"), Err);
    EXPECT_EQ(FindTreeNode(Tree, "nothing"), nullptr);
    EXPECT_EQ(FindChildNode(Tree, "4711", Err), B); // the last match
    EXPECT_EQ(FindChildNode(Tree, "4711", Loc), nullptr);
    EXPECT_EQ(TopParentNode(Tree, A), Loc);
    // A text that exists only as a child is returned, nothing is added.
    EXPECT_EQ(FindOrAddRootNode(Tree, "POSSIBLE LOCATION ERROR"), Err);
    EXPECT_EQ(Tree.NodeCount(), 4);
    TTreeNode *Vel = FindOrAddRootNode(Tree, "Velocity");
    EXPECT_EQ(Vel->Level(), 0);
    EXPECT_EQ(FindOrAddChildNode(Tree, "12", Vel), FindOrAddChildNode(Tree, "12", Vel));
    EXPECT_EQ(Vel->Count(), 1);
    EXPECT_EQ(FindOrAddChildNode(Tree, "12", nullptr), nullptr);
    EXPECT_EQ(TreeCheckState(Tree), 0);
    for (TTreeNode *N = Tree.GetFirstNode(); N; N = N->GetNext())
        N->SetStateIndex(3);
    EXPECT_EQ(TreeCheckState(Tree), 2);
    A->SetStateIndex(1);
    EXPECT_EQ(TreeCheckState(Tree), 1);
    TTreeView Empty;
    EXPECT_EQ(TreeCheckState(Empty), 0);
}

TEST(IntLists, ReadsTheFirstNumberOfEachLine)
{
    QTemporaryDir Dir;
    const std::string Good = Dir.filePath(QStringLiteral("crd.txt")).toStdString();
    std::ofstream(Good) << "2\n 3 widths\n\n-4\r\n";
    TIntArr L{99};
    ReadIntList(Good, L);
    EXPECT_EQ(L, (TIntArr{2, 3, -4}));
    const std::string Empty = Dir.filePath(QStringLiteral("empty.txt")).toStdString();
    std::ofstream(Empty).flush();
    ReadIntList(Empty, L);
    EXPECT_TRUE(L.empty());
    const std::string Bad = Dir.filePath(QStringLiteral("bad.txt")).toStdString();
    std::ofstream(Bad) << "2\nx\n";
    try {
        ReadIntList(Bad, L);
        FAIL() << "no error";
    } catch (const EInOutError &E) {
        EXPECT_EQ(E.ErrorCode, 106);
    }
    EXPECT_THROW(ReadIntList(Dir.filePath(QStringLiteral("none.txt")).toStdString(), L), EInOutError);
}

} // namespace
