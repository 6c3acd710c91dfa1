// The shell's folder tree of the program's folder choices (the path
// dialog, the location panel, the climatology import), over the platform's
// file-system model.
#pragma once

#include <QTreeView>

#include <string>

class QFileSystemModel;

// The shell's folder tree: the folders of the file system from its root,
// one column, no header; a right click selects a folder as a left click
// does (the view's own press). A folder chosen in code (SetFolder, or the
// current index set by its owner) is opened down to and kept in sight
// while the tree reads the folders above and beside it, which come in
// after it and would push it out of view; the tree stops following once
// the operator uses it.
class TShellTreeView : public QTreeView {
public:
    TShellTreeView(const char *AModelName, QWidget *AParent);

    QFileSystemModel *Model() const { return FModel; }
    // Selects AFolder (when it exists) and keeps it in sight.
    void SetFolder(const std::string &AFolder);
    // The folder selected, with a trailing "/" ("" when none).
    std::string Folder() const;

protected:
    void mousePressEvent(QMouseEvent *AEvent) override;
    void keyPressEvent(QKeyEvent *AEvent) override;
    void wheelEvent(QWheelEvent *AEvent) override;
    void resizeEvent(QResizeEvent *AEvent) override;

private:
    void KeepCurrentInSight();
    QFileSystemModel *FModel;
    bool FFollowCurrent = true;
};
