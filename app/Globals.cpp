// Shared folders, list and tree routines, integer lists and the depth colours.
#include "app/Globals.h"

#include "app/manual/Isolines.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TTreeView.h"

#include <cmath>

std::string ProgramDir;
std::string MapsDir;
std::string ImgsDir;
std::string CfgDir;
std::string LocalDbDir;
std::string MainDbPath;
std::string MainDbDir;
std::string MainDbSqlName;
std::string ExtraLinesFile;
std::string GridFileName;

namespace {

template <class F>
void ForNonHeaders(TCheckListBox &List, F Change)
{
    for (int i = 0; i < List.Count(); ++i)
        if (!List.Header(i))
            List.SetChecked(i, Change(List.Checked(i)));
    if (List.OnClickCheck)
        List.OnClickCheck(List);
}

} // namespace

void CheckListCheckAll(TCheckListBox &List) { ForNonHeaders(List, [](bool) { return true; }); }
void CheckListUncheckAll(TCheckListBox &List) { ForNonHeaders(List, [](bool) { return false; }); }
void CheckListInvert(TCheckListBox &List) { ForNonHeaders(List, [](bool b) { return !b; }); }

void CheckListCheckSelected(TCheckListBox &List)
{
    for (int i = 0; i < List.Count(); ++i)
        if (!List.Checked(i))
            List.SetChecked(i, List.Selected(i));
}

void CheckListUncheckSelected(TCheckListBox &List)
{
    for (int i = 0; i < List.Count(); ++i)
        if (List.Checked(i))
            List.SetChecked(i, !List.Selected(i));
}

namespace {
int Summary(int Ticked, int Total) { return Ticked == 0 ? 0 : Ticked == Total ? 2 : 1; }
} // namespace

int CheckListState(const TCheckListBox &List)
{
    int Ticked = 0;
    for (int i = 0; i < List.Count(); ++i)
        Ticked += List.Checked(i);
    return Summary(Ticked, List.Count());
}

int TreeCheckState(const TTreeView &Tree)
{
    int Ticked = 0, Total = 0;
    for (const TTreeNode *N = Tree.GetFirstNode(); N; N = N->GetNext()) {
        ++Total;
        Ticked += N->StateIndex() >= 2;
    }
    return Summary(Ticked, Total);
}

TTreeNode *FindTreeNode(const TTreeView &Tree, const std::string &Text)
{
    const std::string Wanted = rtl::AnsiUpperCase(Text);
    for (TTreeNode *N = Tree.GetFirstNode(); N; N = N->GetNext())
        if (rtl::AnsiUpperCase(N->Text()) == Wanted)
            return N;
    return nullptr;
}

TTreeNode *FindChildNode(const TTreeView &, const std::string &Text, const TTreeNode *Parent)
{
    if (!Parent)
        return nullptr;
    TTreeNode *Found = nullptr;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->Item(i)->Text() == Text)
            Found = Parent->Item(i);
    return Found;
}

TTreeNode *FindOrAddRootNode(TTreeView &Tree, const std::string &Text)
{
    if (!FindTreeNode(Tree, Text))
        Tree.AddNode(nullptr, Text);
    return FindTreeNode(Tree, Text);
}

TTreeNode *FindOrAddChildNode(TTreeView &Tree, const std::string &Text, TTreeNode *Parent)
{
    if (!Parent)
        return nullptr;
    if (!FindChildNode(Tree, Text, Parent))
        Tree.AddChild(Parent, Text);
    return FindChildNode(Tree, Text, Parent);
}

TTreeNode *TopParentNode(const TTreeView &, TTreeNode *Node)
{
    while (Node && Node->Parent())
        Node = Node->Parent();
    return Node;
}

void ReadIntList(const std::string &FileName, TIntArr &List)
{
    List.clear();
    rtl::TTextFileReader In(FileName);
    while (In.NextNonBlankLine())
        List.push_back(In.ReadInteger());
}

const float DepthColorLevels[23] = {-2000, -1500, -1000, -500, -200, -100, -50, -20, -10, 0,    1,    10,
                                    20,    50,    100,   200,  500,  1000, 1500, 2000, 2500, 3000, 3500};

namespace {

constexpr TColor DeepSea = 0x800000, ShallowSea = 0xFFFF00, LowLand = 0xC0DCC0, HighLand = 0x003C00;

// Each channel low + (high - low) * weight, to the nearest integer, halves to even.
TColor Blend(TColor Low, TColor High, double Weight)
{
    auto Channel = [&](int l, int h) { return int(std::nearbyint(l + (h - l) * Weight)); };
    return RGBColor(Channel(GetRValue(Low), GetRValue(High)), Channel(GetGValue(Low), GetGValue(High)),
                    Channel(GetBValue(Low), GetBValue(High)));
}

} // namespace

void BuildMapColors()
{
    MapColors.assign(24, clBlack);
    for (int i = 0; i < 23; ++i) {
        if (DepthColorLevels[i] > 0) {
            MapColors[size_t(i) + 1] = Blend(LowLand, HighLand, (i - 9) / 14.0);
        } else {
            MapColors[size_t(i)] = Blend(DeepSea, ShallowSea, i / 10.0);
            if (DepthColorLevels[i] == 0)
                MapColors[size_t(i) + 1] = Blend(LowLand, HighLand, (i - 9) / 14.0);
        }
    }
}

void BuildDepthColors()
{
    LoadGrid(GridFileName, DepthGrid);
    BuildMapColors();
}
