// uDBPath: the path dialog TForm4, "SELECTION OF PATH TO TORVAL DATABASE".
// A folder tree on the left, the "*.mdb" files of the chosen folder on the
// right; OK is enabled once a file is clicked, a double click on a file
// acts as OK, and so does Enter on the file the list highlights. The
// dialog's result is the full path of the file selected in the list when it
// closes (empty when none is).
#pragma once

#include "platform/toolkit/TForm.h"
#include "platform/toolkit/TShellTreeView.h"

#include <functional>
#include <string>

class QFileSystemModel;
class QLabel;
class QListWidget;
class QPushButton;

// A file list box showing the files of a folder that AAccept takes, by
// name, sorted; a folder that cannot be read leaves the list empty.
void FillFileListBox(QListWidget &AList, const std::string &AFolder,
                     const std::function<bool(const std::string &AName)> &AAccept);

class TForm4 : public TForm {
public:
    explicit TForm4(QWidget *AOwner);

    TShellTreeView *ShellTreeView1 = nullptr;
    QListWidget *FileListBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // OK
    QPushButton *BitBtn2 = nullptr; // Cancel

    // The tree selects AFolder and the list shows its "*.mdb" files; a
    // folder that does not exist gives way to the program folder.
    void SetFolder(const std::string &AFolder);
    // The folder the list shows, with a trailing "/".
    const std::string &Directory() const { return FDirectory; }
    // Selects a file of the shown folder by its name (without folder).
    void SelectFile(const std::string &AFileName);

    void ShellTreeView1Change();
    void FileListBox1Click();
    void FileListBox1DblClick();
    void FormClose();

    // Runs the dialog modally (through the dialog seam) and then its close
    // handler: the answer is the modal result, the path is Result.
    int Execute();
    std::string Result;

protected:
    void keyPressEvent(QKeyEvent *AEvent) override;

private:
    std::string FDirectory;
};
