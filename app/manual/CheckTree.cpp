// The three-state check tree with its locked state.
#include "app/manual/CheckTree.h"

#include "app/Globals.h"
#include "platform/rtl/IniFiles.h"

#include <QPixmap>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cstdlib>

TTreeNode *DragNode = nullptr;
bool ClickTogglesAnywhere = false;

TCheckTree::TCheckTree(QWidget *AOwner, const std::string &CfgFileName)
    : TTreeView(AOwner), Imgs(std::make_unique<TImageList>()), StateImgs(std::make_unique<TImageList>()),
      CfgFile(std::make_unique<rtl::TIniFile>(CfgFileName))
{
    InitialState = ReadIniStatus();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    OnAddition = [this](TTreeNode *N) { NodeAdded(N); };
    OnClick = [this] { InvertNodeStates(); };
    OnMouseDown = [this](int Button, int X, int Y) { MouseDownHandler(Button, X, Y); };
    OnMouseMoveWhileDown = [this](int X, int Y) {
        if (FDragPending && (std::abs(X - FDownX) > 2 || std::abs(Y - FDownY) > 2))
            FDragging = true;
    };
    OnMouseUp = [this](int X, int Y) {
        // The only drag source the tree accepts is itself.
        if (FDragging)
            DragDropHandler(X, Y);
        FDragPending = FDragging = false;
    };
}

TCheckTree::~TCheckTree()
{
    // The nodes go before the image lists they show.
    if (HoldsNode(DragNode))
        DragNode = nullptr;
    OnAddition = nullptr;
    OnChange = nullptr;
    ClearNodes();
}

bool TCheckTree::HoldsNode(const TTreeNode *Node) const
{
    if (!Node)
        return false;
    for (const TTreeNode *N = GetFirstNode(); N; N = N->GetNext())
        if (N == Node)
            return true;
    return false;
}

int TCheckTree::ReadIniStatus() { return CfgFile->ReadInteger("ADD", "INISTATUS", 1); }

void TCheckTree::LoadImageLists(const std::string &NodeImagesFile, const std::string &StateImagesFile)
{
    LoadImageList(*Imgs, NodeImagesFile);
    SetImages(Imgs.get());
    LoadImageList(*StateImgs, StateImagesFile);
    SetStateImages(StateImgs.get());
}

void TCheckTree::LoadImageList(TImageList &List, const std::string &FileName)
{
    List.Clear();
    rtl::TStringList Lines;
    Lines.LoadFromFile(FileName);
    for (int i = 0; i < Lines.Count(); ++i)
        List.AddFromFile(ImgsDir + rtl::Trim(Lines[i]));
}

void TCheckTree::NodeAdded(TTreeNode *Node)
{
    Node->SetStateIndex(NoFirstCheck && Node->AbsoluteIndex() == 0 ? 0 : InitialState);
    switch (ImageMode) {
    case 0:
        Node->SetImageIndex(Node->Level());
        Node->SetSelectedIndex(Node->Level());
        break;
    case 1:
        Node->SetImageIndex(0);
        Node->SetSelectedIndex(0);
        break;
    default:
        Node->SetImageIndex(0);
        Node->SetSelectedIndex(1);
        break;
    }
    if (AfterAddition)
        AfterAddition(Node);
    updateGeometry();
}

int TCheckTree::ChildCheckSummary(const TTreeNode *Node)
{
    bool Any = false, All = true;
    for (int i = 0; i < Node->Count(); ++i) {
        const int s = Node->Item(i)->StateIndex();
        Any = Any || s > 1;
        All = All && s == 3;
    }
    return !Any ? 0 : All ? 2 : 1;
}

int TCheckTree::NamesWidth() const
{
    QStyleOptionViewItem Option;
    initViewItemOption(&Option);
    int Widest = 0;
    for (const TTreeNode *N = GetFirstNode(); N; N = N->GetNext()) {
        const QModelIndex Index = indexFromItem(N);
        const int Indent = indentation() * (N->Level() + (rootIsDecorated() ? 1 : 0));
        Widest = std::max(Widest, Indent + itemDelegateForIndex(Index)->sizeHint(Option, Index).width());
    }
    return Widest + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

QSize TCheckTree::sizeHint() const { return QSize(NamesWidth(), TTreeView::sizeHint().height()); }

QSize TCheckTree::minimumSizeHint() const { return QSize(NamesWidth(), TTreeView::minimumSizeHint().height()); }

void TCheckTree::InvertNodeStates()
{
    TTreeNode *Node = Selected();
    if (NodeCount() == 0 || !Node)
        return;
    if (!ClickTogglesAnywhere && (GetNodeAt(FDownX, FDownY) != Node || GetHitTestInfoAt(FDownX, FDownY) != htOnStateIcon))
        return;
    CurNode = Node;
    const int NewState = Node->StateIndex() == 3 ? 1 : 3;
    if (Node->StateIndex() != 4)
        Node->SetStateIndex(NewState);
    // The subtree: the nodes after it in display order down to its last descendant.
    for (TTreeNode *N = Node->GetNext(); N && N->Level() > Node->Level(); N = N->GetNext())
        if (N->StateIndex() != 4 && N->StateIndex() != 0)
            N->SetStateIndex(NewState);
    for (TTreeNode *A = Node->Parent(); A; A = A->Parent())
        A->SetStateIndex(1 + ChildCheckSummary(A));
    if (AfterClick)
        AfterClick();
}

void TCheckTree::MouseDownHandler(int Button, int X, int Y)
{
    if (NodeCount() == 0)
        return;
    FDownX = X;
    FDownY = Y;
    DragNode = GetNodeAt(X, Y);
    const THitTest Hit = GetHitTestInfoAt(X, Y);
    FDragPending = DragReorder && DragNode && Button == 0 &&
                   (Hit == htOnLabel || Hit == htOnIcon || Hit == htOnStateIcon) && DragNode->StateIndex() == 3;
    FDragging = false;
    if (AfterMouseDown)
        AfterMouseDown(Button, X, Y);
    viewport()->update();
}

void TCheckTree::DragDropHandler(int X, int Y)
{
    // DragNode may have been deleted since the mouse went down: compare
    // pointers only until it is found among the nodes.
    if (!DragReorder || !HoldsNode(DragNode))
        return;
    TTreeNode *Target = GetNodeAt(X, Y);
    // A node dropped into its own subtree would be deleted with itself.
    for (TTreeNode *N = Target; N; N = N->Parent())
        if (N == DragNode && Target != DragNode)
            return;
    const std::string Text = DragNode->Text();
    if (Target) {
        const QRect R = DisplayRect(Target);
        if (Y < R.top() + R.height() / 2)
            InsertNode(Target, Text);
        else if (TTreeNode *Next = Target->GetNextSibling())
            InsertNode(Next, Text);
        else
            AddNode(nullptr, Text);
    } else if (TTreeNode *First = GetFirstNode()) {
        if (Y < DisplayRect(First).top())
            InsertNode(First, Text);
        else
            AddNode(nullptr, Text);
    }
    TTreeNode *Gone = DragNode;
    DragNode = nullptr;
    DeleteNode(Gone);
    if (AfterDragDrop)
        AfterDragDrop(X, Y);
}
