// TCheckTree: a tree view whose nodes carry three-state check boxes drawn as
// state images, plus a locked state that a click does not change.
//
// State index of a node:
//   0 no check box        1 unchecked        2 partly checked
//   3 checked             4 locked
// A click on a node's state image (InvertNodeStates) checks or unchecks it
// with its whole subtree (locked and box-less nodes keep their state), then
// recomputes every ancestor from its children: 1 when none is above 1, 3
// when all are checked, else 2. Every added node starts in the state that
// the ini file gives (section "ADD", key "INISTATUS", default 1). Checked
// nodes can be dragged to another place when DragReorder is set.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/toolkit/TTreeView.h"

#include <functional>
#include <memory>
#include <string>

namespace rtl {
class TIniFile;
}

class TCheckTree : public TTreeView {
public:
    TCheckTree(QWidget *AOwner, const std::string &CfgFileName);
    ~TCheckTree() override;

    std::unique_ptr<TImageList> Imgs;
    std::unique_ptr<TImageList> StateImgs;
    std::unique_ptr<rtl::TIniFile> CfgFile;
    TTreeNode *CurNode = nullptr; // the node last toggled
    rtl::TStringList SelList, CfgSLst, ImgSLst;
    bool NoFirstCheck = false;
    bool DragReorder = false;
    int InitialState = 1;
    uint8_t ImageMode = 0; // 0 image = level; 1 image 0; 2 image 0, selected image 1

    // Called after the tree's own handling.
    std::function<void(int X, int Y)> AfterDragDrop;
    std::function<void(int Button, int X, int Y)> AfterMouseDown;
    std::function<void()> AfterClick;
    std::function<void(TTreeNode *Node)> AfterAddition;

    int ReadIniStatus();
    // Node images from the first list file, state images from the second;
    // each line of a list file names a bitmap under ImgsDir.
    void LoadImageLists(const std::string &NodeImagesFile, const std::string &StateImagesFile);
    void LoadImageList(TImageList &List, const std::string &FileName);

    void NodeAdded(TTreeNode *Node);
    void InvertNodeStates();
    void MouseDownHandler(int Button, int X, int Y);
    // The drop of a dragged node at (X, Y) of the tree.
    void DragDropHandler(int X, int Y);
    // 0 no child above 1, 2 every child checked, 1 otherwise.
    static int ChildCheckSummary(const TTreeNode *Node);

    // The width that shows every node's images and whole name with the
    // whole tree expanded, frame and vertical scroll bar included.
    int NamesWidth() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    bool HoldsNode(const TTreeNode *Node) const;
    int FDownX = 0, FDownY = 0;
    bool FDragPending = false;
    bool FDragging = false;
};

extern TTreeNode *DragNode;             // the node under the last mouse-down
extern bool ClickTogglesAnywhere;       // a click anywhere on the node toggles it
