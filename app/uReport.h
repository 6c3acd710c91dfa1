// The report window of a QC run (`TfmReport`, "Quality Check Report"): the
// per-database cruise table in a data-aware grid, one row per cruise with
// which tests ran on it and which found errors, the Booleans drawn as tick
// boxes. The run shows it modally when "CRUISE INFO" is ticked.
#pragma once

#include "platform/toolkit/TForm.h"

#include <QPixmap>

#include <memory>

class QModelIndex;
class QPainter;
class QPushButton;
class QRect;
class QTableView;
class TDataSet;
class TDataSource;
class TDBGridModel;
class TField;

class TfmReport : public TForm {
public:
    // ACruiseTable: the per-database QCCruise table the run wrote (kept
    // alive by the main window). Raises EFOpenError when a bitmap of the
    // images folder cannot be read.
    TfmReport(QWidget *AOwner, TDataSet *ACruiseTable);
    ~TfmReport() override;

    // Draws one data cell: a Boolean field as its bitmap at the cell's
    // top-left corner moved one pixel right and down; false when the cell is
    // not a Boolean one and the grid draws it its own way.
    bool DBGrid1DrawDataCell(QPainter &APainter, const QRect &ARect, const QModelIndex &AIndex);

    QTableView *DBGrid1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // OK
    std::unique_ptr<TDataSource> DataSource1;
    TDBGridModel *GridModel = nullptr;
    QPixmap ReportCheckBmp;  // Check.bmp: false
    QPixmap ReportCheck1Bmp; // Check1.bmp: true

private:
    void FormCreate(TDataSet *ACruiseTable);
};

// The report's caption of each QCCruise field ("" for the hidden ID_Cruise;
// a field not in the report keeps its own name).
const char *ReportFieldCaption(const std::string &AFieldName);
