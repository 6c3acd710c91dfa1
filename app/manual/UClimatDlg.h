// TfmClimatDlg ("Climate Addition Dialog"): browsing for a climatology text
// file, checking its first line, previewing it whole in a grid, and listing
// its sub-regions, months, pressures and parameter columns in four check
// lists for the climatology loader.
//
// The climatology text format: one record a line. The first line is the
// header: its first six characters, in upper case, are "REGION" and its
// seventh is the column separator (any single character). Columns are
// sub-region, month, pressure, then pairs of value columns named P + "_" +
// suffix, the pair "PAVG", "PSTD" (climatic mean and standard deviation of
// parameter P) or "PMIN", "PMAX" (its range), P being a parameter of the
// local "param" table. Values stay text here; the loader converts them.
//
// The loader (LoadClimatology) takes the dialog's Import after FormClose.
#pragma once

#include "app/UQC.h"
#include "platform/toolkit/TForm.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QTableView;
class QToolButton;
class TCheckListBox;
class TDataSet;
class TShellTreeView;

// The Param column of a dataset over the local "param" table (RangeQry), in
// its order: the parameters a header may name. None without a dataset.
std::vector<std::string> ClimParamsOf(TDataSet *AParams);

class TfmClimatDlg : public TForm {
public:
    // The folder tree starts at ASearchPath; header pairs are checked
    // against the engine's RangeQry.
    TfmClimatDlg(QWidget *AOwner, const std::string &ASearchPath);
    ~TfmClimatDlg() override;

    // Checks and previews the file chosen in the list (or named in Edit1).
    void FileListBox1DblClick();
    // The file list shows the folder chosen in the tree.
    void ShellTreeView1Change();
    void FilterComboBox1Change();
    // Takes the ticks of the four lists into Import for the loader and
    // remembers the folder (ClimSearchPath, the engine's). Called when the dialog closes,
    // whatever the button.
    void FormClose();

    // The folder the tree shows, with a trailing "/".
    std::string FolderPath() const;
    void SetFolderPath(const std::string &APath);
    // The grid (ClimGrid), the four lists (ClimParamList1 to 4) and the seas
    // (ClimFileHasMs, ClimFileHasBs) as the loader takes them.
    const TClimImport &Import() const { return FImport; }

    TShellTreeView *ShellTreeView1; // keeps the folder it opened on in sight
    QListView *FileListBox1;
    QComboBox *FilterComboBox1;
    QLineEdit *Edit1;
    QGroupBox *Panel1; // the grid's panel; its caption tells the building
    QProgressBar *Gauge2;
    QTableView *StringGrid1;
    TCheckListBox *CheckListBox1; // sub-regions
    TCheckListBox *CheckListBox2; // months
    TCheckListBox *CheckListBox3; // pressures
    TCheckListBox *CheckListBox4; // parameters
    QLabel *Label1, *Label2, *Label3, *Label4;
    QToolButton *SpeedButton[21]; // 1 to 20; [0] is not used
    QGroupBox *GroupBox1;         // "Select Region"
    QCheckBox *CheckBox1;         // "The Black Sea"
    QCheckBox *CheckBox2;         // "The Mediterranean Sea"
    QPushButton *BitBtn1;         // OK
    QPushButton *BitBtn2;         // Cancel
    QPushButton *BitBtn3;         // Help

private:
    class TGridModel;
    // Holds no file: the grid, the lists and the seas emptied.
    void Forget();
    TClimImport FImport;
    TGridModel *FGridModel;
    QFileSystemModel *FFiles;
};
