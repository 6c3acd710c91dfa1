// uDBPath: the path dialog of the main station database.
#include "app/uDBPath.h"

#include "app/Globals.h"

#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TItemClick.h"

#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The mask "*.mdb", letter case aside, as the file list of the platform
// matched it.
bool IsMdbName(const std::string &AName)
{
    if (AName.size() < 4)
        return false;
    std::string Ext = AName.substr(AName.size() - 4);
    std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](unsigned char C) { return char(std::tolower(C)); });
    return Ext == ".mdb";
}

} // namespace

void FillFileListBox(QListWidget &AList, const std::string &AFolder,
                     const std::function<bool(const std::string &AName)> &AAccept)
{
    AList.clear();
    std::vector<std::string> Names;
    std::error_code Ec;
    for (fs::directory_iterator It(AFolder, Ec), End; !Ec && It != End; It.increment(Ec)) {
        std::error_code TypeEc;
        if (It->is_regular_file(TypeEc) && AAccept(It->path().filename().string()))
            Names.push_back(It->path().filename().string());
    }
    std::sort(Names.begin(), Names.end());
    for (const std::string &Name : Names)
        AList.addItem(QString::fromStdString(Name));
}

TForm4::TForm4(QWidget *AOwner) : TForm(AOwner, "Form4")
{
    setWindowTitle(QString::fromLatin1("SELECTION OF PATH TO TORVAL DATABASE"));
    resize(640, 420);
    auto *Box = MakeControl<QVBoxLayout>(this, "Form4Layout");
    Label1 = MakeControl<QLabel>(this, "Label1",
        QString::fromLatin1("SELECT THE PATH TO TORVAL DATABASE AND DOUBLE CLICK (OR CLICK ONCE AND CLICK <OK> "
                            "BUTTON) THE NAME OF DATABASE *.mdb FILE"));
    Label1->setWordWrap(true);
    Box->addWidget(Label1);

    auto *Lists = MakeControl<QWidget>(this, "ListsPanel");
    auto *Row = MakeControl<QHBoxLayout>(Lists, "ListsLayout");
    Row->setContentsMargins(0, 0, 0, 0);
    ShellTreeView1 = MakeControl<TShellTreeView>(Lists, "ShellTreeView1", "FolderModel");
    FileListBox1 = MakeControl<QListWidget>(Lists, "FileListBox1");
    Row->addWidget(ShellTreeView1, 3);
    Row->addWidget(FileListBox1, 2);
    Box->addWidget(Lists, 1);

    auto *Buttons = MakeControl<QWidget>(this, "ButtonPanel");
    auto *ButtonRow = MakeControl<QHBoxLayout>(Buttons, "ButtonLayout");
    ButtonRow->addStretch(1);
    BitBtn1 = MakeControl<QPushButton>(Buttons, "BitBtn1", QString::fromLatin1("OK"));
    BitBtn2 = MakeControl<QPushButton>(Buttons, "BitBtn2", QString::fromLatin1("Cancel"));
    BitBtn1->setEnabled(false);
    BitBtn1->setDefault(true);
    SetCancelButton(BitBtn2);
    ButtonRow->addWidget(BitBtn1);
    ButtonRow->addWidget(BitBtn2);
    Box->addWidget(Buttons);

    QObject::connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
                     [this] { ShellTreeView1Change(); });
    InstallItemClick(*FileListBox1, [this] { FileListBox1Click(); });
    QObject::connect(FileListBox1, &QListWidget::itemDoubleClicked, this, [this] { FileListBox1DblClick(); });
    QObject::connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    QObject::connect(BitBtn2, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
}

void TForm4::SetFolder(const std::string &AFolder)
{
    // A folder gone (the database's, moved or deleted) would leave the tree
    // at the file system's root: the program's own folder stands in.
    std::error_code Ec;
    const std::string Folder = fs::is_directory(AFolder, Ec) ? AFolder : ProgramDir;
    ShellTreeView1->SetFolder(Folder);
    // The list follows even when the model has not read the folder yet.
    FDirectory = Folder;
    if (!FDirectory.empty() && FDirectory.back() != '/')
        FDirectory += '/';
    FillFileListBox(*FileListBox1, FDirectory, IsMdbName);
}

void TForm4::SelectFile(const std::string &AFileName)
{
    const auto Found = FileListBox1->findItems(QString::fromStdString(AFileName), Qt::MatchExactly);
    if (!Found.isEmpty())
        FileListBox1->setCurrentItem(Found.front());
}

void TForm4::ShellTreeView1Change()
{
    // A folder that cannot be listed leaves the list as it was, silently.
    const std::string Folder = ShellTreeView1->Folder();
    if (Folder.empty() || Folder == FDirectory)
        return;
    FDirectory = Folder;
    FillFileListBox(*FileListBox1, FDirectory, IsMdbName);
}

void TForm4::FileListBox1Click() { BitBtn1->setEnabled(true); }

void TForm4::FileListBox1DblClick()
{
    FileListBox1Click();
    SetModalResult(mrOk);
}

void TForm4::keyPressEvent(QKeyEvent *AEvent)
{
    // A file highlighted from the start (the current database, or the only
    // one of the folder) was never clicked: Enter chooses it all the same.
    const int Key = AEvent->key();
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && focusWidget() == FileListBox1 &&
        FileListBox1->currentItem()) {
        FileListBox1DblClick();
        return;
    }
    TForm::keyPressEvent(AEvent);
}

void TForm4::FormClose()
{
    const QListWidgetItem *Item = FileListBox1->currentItem();
    Result = Item ? FDirectory + Item->text().toStdString() : std::string();
}

int TForm4::Execute()
{
    const int Answer = ShowModal();
    FormClose();
    return Answer;
}
