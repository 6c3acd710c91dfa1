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
// What the loader reads after the dialog closed (FormClose) lives in the
// unit variables below; it is valid until the dialog is freed.
#pragma once

#include "platform/toolkit/TForm.h"

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
class QTreeView;
class TCheckListBox;
class TDataSet;

// The preview grid's text: row 0 the header, row n the n-th data line;
// the header fixes the column count.
class TClimGrid {
public:
    int RowCount() const { return int(FRows.size()); }
    int ColCount() const { return FColCount; }
    // "" outside the grid.
    const std::string &Cells(int ACol, int ARow) const;
    void Clear();
    // Adds a row; the first row sets the column count, later rows are cut
    // to it.
    void AddRow(std::vector<std::string> ACells);

private:
    std::vector<std::vector<std::string>> FRows;
    int FColCount = 0;
};

// Splits a line of a climatology file: the text before each separator is a
// cell, the rest after the last one is the last cell when it is not empty
// (a separator at the end adds no empty cell; two in a row give one). An
// empty separator makes the whole line one cell.
std::vector<std::string> SplitClimLine(const std::string &ALine, const std::string &ASeparator);

// The Param column of a dataset over the local "param" table (the engine's
// RangeQry), in its order: the parameters a header may name.
std::vector<std::string> ClimParamsOf(TDataSet &AParams);

class TfmClimatDlg : public TForm {
public:
    // AKnownParams: the Param column of the local "param" table; the folder
    // tree starts at ASearchPath.
    TfmClimatDlg(QWidget *AOwner, const std::string &ASearchPath, std::vector<std::string> AKnownParams);
    ~TfmClimatDlg() override;

    // Checks and previews the file chosen in the list (or named in Edit1).
    void FileListBox1DblClick();
    // The file list shows the folder chosen in the tree.
    void ShellTreeView1Change();
    void FilterComboBox1Change();
    // Hands the grid and the lists to the loader (ClimGrid, ClimParamList1
    // to 4) and remembers the folder (ClimSearchPath). Called when the
    // dialog closes, whatever the button.
    void FormClose();

    // The folder the tree shows, with a trailing "/".
    std::string FolderPath() const;
    void SetFolderPath(const std::string &APath);
    const TClimGrid &Grid() const { return *FGrid; }

    QTreeView *ShellTreeView1;
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
    void BuildLists(int ALineCount);
    std::unique_ptr<TClimGrid> FGrid;
    TGridModel *FGridModel;
    QFileSystemModel *FFolders;
    QFileSystemModel *FFiles;
    std::vector<std::string> FKnownParams;
};

// Set by TfmClimatDlg::FormClose for the loader.
extern const TClimGrid *ClimGrid;
extern TCheckListBox *ClimParamList1; // sub-regions
extern TCheckListBox *ClimParamList2; // months
extern TCheckListBox *ClimParamList3; // pressures
extern TCheckListBox *ClimParamList4; // parameters: P + "(climat)" or P + "(ranges)"
extern bool ClimFileHasBs;
extern bool ClimFileHasMs;
// The folder browsed last (main.ini, Clim/SearchClimPath).
extern std::string ClimSearchPath;
