// TShellTreeView: the shell's folder tree.
#include "platform/toolkit/TShellTreeView.h"

#include "platform/toolkit/TForm.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

TShellTreeView::TShellTreeView(const char *AModelName, QWidget *AParent) : QTreeView(AParent)
{
    FModel = MakeControl<QFileSystemModel>(this, AModelName);
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FModel->setRootPath(QString::fromLatin1("/"));
    setModel(FModel);
    for (int Column = 1; Column < FModel->columnCount(); ++Column)
        hideColumn(Column);
    header()->hide();
    // Rows read come in batches after the read and are sorted later still:
    // the tree looks again once the view has laid them out.
    const auto Later = [this] {
        QMetaObject::invokeMethod(this, [this] { KeepCurrentInSight(); }, Qt::QueuedConnection);
    };
    QObject::connect(selectionModel(), &QItemSelectionModel::currentChanged, this, Later);
    QObject::connect(FModel, &QFileSystemModel::directoryLoaded, this, Later);
    QObject::connect(FModel, &QAbstractItemModel::rowsInserted, this, Later);
    QObject::connect(FModel, &QAbstractItemModel::layoutChanged, this, Later);
    // Scrolling by the bar is the operator's too.
    QObject::connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { FFollowCurrent = false; });
}

void TShellTreeView::SetFolder(const std::string &AFolder)
{
    const QModelIndex Index = FModel->index(QString::fromStdString(AFolder));
    if (!Index.isValid())
        return;
    FFollowCurrent = true;
    setCurrentIndex(Index);
    KeepCurrentInSight();
}

std::string TShellTreeView::Folder() const
{
    std::string Path = FModel->filePath(currentIndex()).toStdString();
    if (!Path.empty() && Path.back() != '/')
        Path += '/';
    return Path;
}

void TShellTreeView::KeepCurrentInSight()
{
    if (FFollowCurrent && currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

void TShellTreeView::mousePressEvent(QMouseEvent *AEvent)
{
    // Any button chooses the folder under it (the view's own press).
    FFollowCurrent = false;
    QTreeView::mousePressEvent(AEvent);
}

void TShellTreeView::keyPressEvent(QKeyEvent *AEvent)
{
    FFollowCurrent = false;
    QTreeView::keyPressEvent(AEvent);
}

void TShellTreeView::wheelEvent(QWheelEvent *AEvent)
{
    FFollowCurrent = false;
    QTreeView::wheelEvent(AEvent);
}

void TShellTreeView::resizeEvent(QResizeEvent *AEvent)
{
    QTreeView::resizeEvent(AEvent);
    KeepCurrentInSight();
}
