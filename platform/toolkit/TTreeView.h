// The toolkit's tree view: nodes with a text, a level, a node image, a
// selected image and a state image (check boxes and the like), in an overall
// display order (absolute index: parents before their children).
//
// Each node shows its state image (when StateImages are set and its state
// index is above 0) to the left of its node image. Every node added, in code
// or from a file, passes through OnAddition.
#pragma once

#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

class QPixmap;
class TTreeView;

// A list of equally sized images (16 x 16 unless set otherwise).
class TImageList {
public:
    int Width = 16;
    int Height = 16;
    void Clear() { FImages.clear(); }
    int Count() const { return int(FImages.size()); }
    void Add(const QPixmap &Image);
    const QPixmap *Image(int Index) const;
    // Loads a bitmap file as one image of the list's size; false when the
    // file cannot be read (an empty image is added, so indices stay in step).
    bool AddFromFile(const std::string &FileName);

private:
    std::vector<QPixmap> FImages;
};

class TTreeNode : public QTreeWidgetItem {
public:
    std::string Text() const;
    void SetText(const std::string &AText);
    int Level() const;
    TTreeNode *Parent() const;
    int Count() const { return childCount(); }
    TTreeNode *Item(int Index) const;
    TTreeNode *GetFirstChild() const { return Item(0); }
    TTreeNode *GetLastChild() const { return Item(childCount() - 1); }
    TTreeNode *GetNextSibling() const;
    TTreeNode *GetPrevSibling() const;
    TTreeNode *GetNext() const; // next node in display order, nullptr after the last
    int AbsoluteIndex() const;
    TTreeView *TreeView() const;

    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int AValue);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int AValue);
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int AValue);

private:
    friend class TTreeView;
    TTreeNode() = default;
    int FStateIndex = -1;
    int FImageIndex = -1;
    int FSelectedIndex = -1;
};

enum THitTest { htNowhere, htOnStateIcon, htOnIcon, htOnLabel, htOnRight, htOnIndent };

class TTreeView : public QTreeWidget {
public:
    explicit TTreeView(QWidget *Parent = nullptr);

    // Adding nodes. AddNode puts a node at the end of Sibling's level (the
    // top level when Sibling is nullptr), AddChild at the end of Parent's
    // children, InsertNode just before Sibling.
    TTreeNode *AddNode(TTreeNode *Sibling, const std::string &Text);
    TTreeNode *AddChild(TTreeNode *Parent, const std::string &Text);
    TTreeNode *InsertNode(TTreeNode *Sibling, const std::string &Text);
    void DeleteNode(TTreeNode *Node); // with its children
    void ClearNodes();
    // One node a line, its level given by the number of leading tabs (or
    // blanks); a line deeper than the one before becomes its child. False
    // when the file cannot be read.
    bool LoadFromFile(const std::string &FileName);

    int NodeCount() const; // all nodes at every level
    TTreeNode *Node(int AbsoluteIndex) const;
    TTreeNode *GetFirstNode() const;
    TTreeNode *Selected() const;
    void SetSelected(TTreeNode *Node);

    TImageList *Images() const { return FImages; }
    void SetImages(TImageList *List); // not owned
    TImageList *StateImages() const { return FStateImages; }
    void SetStateImages(TImageList *List); // not owned

    TTreeNode *GetNodeAt(int X, int Y) const; // viewport coordinates
    THitTest GetHitTestInfoAt(int X, int Y) const;
    // The node's row (its label and images) in viewport coordinates.
    QRect DisplayRect(const TTreeNode *Node) const;
    QRect StateIconRect(const TTreeNode *Node) const;

    std::function<void(TTreeNode *Node)> OnAddition;
    std::function<void(int Button, int X, int Y)> OnMouseDown; // 0 left, 1 right, 2 middle
    std::function<void()> OnClick;
    std::function<void(TTreeNode *Node)> OnChange; // the selection moved to Node
    std::function<void(int X, int Y)> OnMouseMoveWhileDown;
    std::function<void(int X, int Y)> OnMouseUp;

    void UpdateNodeImages(TTreeNode *Node);

protected:
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    TTreeNode *NewNode(const std::string &Text);
    void Added(TTreeNode *Node);
    QRect DecorationRect(const TTreeNode *Node) const;

    TImageList *FImages = nullptr;
    TImageList *FStateImages = nullptr;
    // A node is being deleted: the selection that leaves it leaves a node
    // already half taken down.
    bool FDeleting = false;
};
