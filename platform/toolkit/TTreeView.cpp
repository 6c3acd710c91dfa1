// Tree view over QTreeWidget with node, selected and state images.
#include "platform/toolkit/TTreeView.h"

#include "platform/rtl/Classes.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionViewItem>

void TImageList::Add(const QPixmap &Image) { FImages.push_back(Image.scaled(Width, Height)); }

const QPixmap *TImageList::Image(int Index) const
{
    return Index >= 0 && Index < Count() ? &FImages[size_t(Index)] : nullptr;
}

bool TImageList::AddFromFile(const std::string &FileName)
{
    QPixmap P;
    const bool Ok = P.load(QString::fromStdString(FileName));
    if (!Ok) {
        P = QPixmap(Width, Height);
        P.fill(Qt::transparent);
    }
    Add(P);
    return Ok;
}

std::string TTreeNode::Text() const { return text(0).toStdString(); }
void TTreeNode::SetText(const std::string &AText) { setText(0, QString::fromStdString(AText)); }

int TTreeNode::Level() const
{
    int L = 0;
    for (const QTreeWidgetItem *P = parent(); P; P = P->parent())
        ++L;
    return L;
}

TTreeNode *TTreeNode::Parent() const { return static_cast<TTreeNode *>(parent()); }

TTreeNode *TTreeNode::Item(int Index) const
{
    return Index >= 0 && Index < childCount() ? static_cast<TTreeNode *>(child(Index)) : nullptr;
}

TTreeNode *TTreeNode::GetNextSibling() const
{
    if (QTreeWidgetItem *P = parent())
        return static_cast<TTreeNode *>(P->child(P->indexOfChild(const_cast<TTreeNode *>(this)) + 1));
    QTreeWidget *W = treeWidget();
    if (!W)
        return nullptr;
    return static_cast<TTreeNode *>(W->topLevelItem(W->indexOfTopLevelItem(const_cast<TTreeNode *>(this)) + 1));
}

TTreeNode *TTreeNode::GetPrevSibling() const
{
    if (QTreeWidgetItem *P = parent())
        return static_cast<TTreeNode *>(P->child(P->indexOfChild(const_cast<TTreeNode *>(this)) - 1));
    QTreeWidget *W = treeWidget();
    if (!W)
        return nullptr;
    return static_cast<TTreeNode *>(W->topLevelItem(W->indexOfTopLevelItem(const_cast<TTreeNode *>(this)) - 1));
}

TTreeNode *TTreeNode::GetNext() const
{
    if (childCount() > 0)
        return Item(0);
    for (const TTreeNode *N = this; N; N = N->Parent())
        if (TTreeNode *S = N->GetNextSibling())
            return S;
    return nullptr;
}

int TTreeNode::AbsoluteIndex() const
{
    const TTreeView *V = TreeView();
    if (!V)
        return -1;
    int i = 0;
    for (const TTreeNode *N = V->GetFirstNode(); N; N = N->GetNext(), ++i)
        if (N == this)
            return i;
    return -1;
}

TTreeView *TTreeNode::TreeView() const { return static_cast<TTreeView *>(treeWidget()); }

void TTreeNode::SetStateIndex(int AValue)
{
    if (FStateIndex == AValue)
        return;
    FStateIndex = AValue;
    if (TTreeView *V = TreeView())
        V->UpdateNodeImages(this);
}

void TTreeNode::SetImageIndex(int AValue)
{
    FImageIndex = AValue;
    if (TTreeView *V = TreeView())
        V->UpdateNodeImages(this);
}

void TTreeNode::SetSelectedIndex(int AValue)
{
    FSelectedIndex = AValue;
    if (TTreeView *V = TreeView())
        V->UpdateNodeImages(this);
}

TTreeView::TTreeView(QWidget *Parent) : QTreeWidget(Parent)
{
    setColumnCount(1);
    header()->hide();
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *Current, QTreeWidgetItem *Previous) {
        if (Previous && !FDeleting)
            UpdateNodeImages(static_cast<TTreeNode *>(Previous));
        if (Current)
            UpdateNodeImages(static_cast<TTreeNode *>(Current));
        if (OnChange)
            OnChange(static_cast<TTreeNode *>(Current));
    });
}

TTreeNode *TTreeView::NewNode(const std::string &Text)
{
    auto *N = new TTreeNode; // owned by the tree once inserted below
    N->SetText(Text);
    return N;
}

void TTreeView::Added(TTreeNode *Node)
{
    UpdateNodeImages(Node);
    if (OnAddition)
        OnAddition(Node);
}

TTreeNode *TTreeView::AddNode(TTreeNode *Sibling, const std::string &Text)
{
    TTreeNode *N = NewNode(Text);
    if (Sibling && Sibling->parent())
        Sibling->parent()->addChild(N);
    else
        addTopLevelItem(N);
    Added(N);
    return N;
}

TTreeNode *TTreeView::AddChild(TTreeNode *Parent, const std::string &Text)
{
    if (!Parent)
        return AddNode(nullptr, Text);
    TTreeNode *N = NewNode(Text);
    Parent->addChild(N);
    Added(N);
    return N;
}

TTreeNode *TTreeView::InsertNode(TTreeNode *Sibling, const std::string &Text)
{
    if (!Sibling)
        return AddNode(nullptr, Text);
    TTreeNode *N = NewNode(Text);
    if (QTreeWidgetItem *P = Sibling->parent())
        P->insertChild(P->indexOfChild(Sibling), N);
    else
        insertTopLevelItem(indexOfTopLevelItem(Sibling), N);
    Added(N);
    return N;
}

void TTreeView::DeleteNode(TTreeNode *Node)
{
    // QTreeWidgetItem unlinks itself and its children; where the selection
    // was in them, it moves on while the node is taken down.
    const QScopedValueRollback<bool> Deleting(FDeleting, true);
    delete Node;
}

void TTreeView::ClearNodes() { clear(); }

bool TTreeView::LoadFromFile(const std::string &FileName)
{
    // Read as the program reads every text file (byte-order mark, line ends).
    rtl::TStringList Lines;
    try {
        Lines.LoadFromFile(FileName);
    } catch (const rtl::EFOpenError &) {
        return false;
    }
    ClearNodes();
    std::vector<TTreeNode *> Last; // last node seen at each level
    for (int I = 0; I < Lines.Count(); ++I) {
        const QString Line = QString::fromStdString(Lines[I]);
        int Level = 0;
        while (Level < Line.size() && (Line[Level] == QLatin1Char('\t') || Line[Level] == QLatin1Char(' ')))
            ++Level;
        const QString Text = Line.mid(Level);
        if (Text.trimmed().isEmpty())
            continue;
        // A line may go at most one level deeper than the one before it.
        Level = std::min<int>(Level, int(Last.size()));
        TTreeNode *N = Level == 0 ? AddNode(nullptr, Text.toStdString()) : AddChild(Last[size_t(Level) - 1], Text.toStdString());
        Last.resize(size_t(Level));
        Last.push_back(N);
    }
    return true;
}

int TTreeView::NodeCount() const
{
    int n = 0;
    for (const TTreeNode *N = GetFirstNode(); N; N = N->GetNext())
        ++n;
    return n;
}

TTreeNode *TTreeView::Node(int AbsoluteIndex) const
{
    int i = 0;
    for (TTreeNode *N = GetFirstNode(); N; N = N->GetNext(), ++i)
        if (i == AbsoluteIndex)
            return N;
    return nullptr;
}

TTreeNode *TTreeView::GetFirstNode() const { return static_cast<TTreeNode *>(topLevelItem(0)); }

TTreeNode *TTreeView::Selected() const { return static_cast<TTreeNode *>(currentItem()); }

void TTreeView::SetSelected(TTreeNode *Node) { setCurrentItem(Node); }

void TTreeView::SetImages(TImageList *List)
{
    FImages = List;
    for (TTreeNode *N = GetFirstNode(); N; N = N->GetNext())
        UpdateNodeImages(N);
}

void TTreeView::SetStateImages(TImageList *List)
{
    FStateImages = List;
    for (TTreeNode *N = GetFirstNode(); N; N = N->GetNext())
        UpdateNodeImages(N);
}

// The icon of a node: a slot for the state image when the tree has state
// images, then a slot for the node image when it has node images; every node
// has the same slots, so that the state image sits at the same place on each.
void TTreeView::UpdateNodeImages(TTreeNode *Node)
{
    const int Slots = (FStateImages ? 1 : 0) + (FImages ? 1 : 0);
    if (Slots == 0) {
        Node->setIcon(0, QIcon());
        return;
    }
    const int W = 16, H = 16;
    setIconSize(QSize(W * Slots, H));
    QPixmap Icon(W * Slots, H);
    Icon.fill(Qt::transparent);
    QPainter P(&Icon);
    int x = 0;
    if (FStateImages) {
        if (Node->StateIndex() > 0)
            if (const QPixmap *S = FStateImages->Image(Node->StateIndex()))
                P.drawPixmap(x, 0, *S);
        x += W;
    }
    if (FImages) {
        const int Index = currentItem() == Node ? Node->SelectedIndex() : Node->ImageIndex();
        if (const QPixmap *I = FImages->Image(Index))
            P.drawPixmap(x, 0, *I);
    }
    P.end();
    Node->setIcon(0, QIcon(Icon));
}

TTreeNode *TTreeView::GetNodeAt(int X, int Y) const
{
    QTreeWidgetItem *I = itemAt(X, Y);
    return static_cast<TTreeNode *>(I);
}

QRect TTreeView::DisplayRect(const TTreeNode *Node) const
{
    return Node ? visualItemRect(Node) : QRect();
}

QRect TTreeView::DecorationRect(const TTreeNode *Node) const
{
    if (!Node)
        return QRect();
    const QModelIndex Index = indexFromItem(Node);
    QStyleOptionViewItem Opt;
    initViewItemOption(&Opt);
    Opt.rect = visualRect(Index);
    Opt.features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
    Opt.icon = Node->icon(0);
    Opt.decorationSize = iconSize();
    Opt.text = Node->text(0);
    Opt.index = Index;
    return style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &Opt, this);
}

QRect TTreeView::StateIconRect(const TTreeNode *Node) const
{
    if (!FStateImages || !Node || Node->StateIndex() <= 0)
        return QRect();
    const QRect D = DecorationRect(Node);
    return QRect(D.left(), D.top() + (D.height() - 16) / 2, 16, 16);
}

THitTest TTreeView::GetHitTestInfoAt(int X, int Y) const
{
    TTreeNode *N = GetNodeAt(X, Y);
    if (!N)
        return htNowhere;
    const QPoint P(X, Y);
    if (StateIconRect(N).contains(P))
        return htOnStateIcon;
    const QRect D = DecorationRect(N);
    if (D.contains(P))
        return htOnIcon;
    if (X < D.left())
        return htOnIndent;
    const int TextRight = D.right() + 4 + fontMetrics().horizontalAdvance(N->text(0));
    return X <= TextRight ? htOnLabel : htOnRight;
}

void TTreeView::mousePressEvent(QMouseEvent *Event)
{
    QTreeWidget::mousePressEvent(Event);
    if (OnMouseDown) {
        const int Button = Event->button() == Qt::RightButton ? 1 : Event->button() == Qt::MiddleButton ? 2 : 0;
        OnMouseDown(Button, Event->position().toPoint().x(), Event->position().toPoint().y());
    }
}

void TTreeView::mouseMoveEvent(QMouseEvent *Event)
{
    QTreeWidget::mouseMoveEvent(Event);
    if ((Event->buttons() & Qt::LeftButton) && OnMouseMoveWhileDown)
        OnMouseMoveWhileDown(Event->position().toPoint().x(), Event->position().toPoint().y());
}

void TTreeView::mouseReleaseEvent(QMouseEvent *Event)
{
    QTreeWidget::mouseReleaseEvent(Event);
    if (OnMouseUp)
        OnMouseUp(Event->position().toPoint().x(), Event->position().toPoint().y());
    if (Event->button() == Qt::LeftButton && OnClick)
        OnClick();
}
