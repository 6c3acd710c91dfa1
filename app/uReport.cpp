// The report window of a QC run: a read-only grid over the per-database
// cruise table with the report's column captions and tick-box Booleans.
#include "app/uReport.h"

#include "app/Globals.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TDialogs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <cstring>

namespace {

struct TCaption {
    const char *Field;
    const char *Caption;
};

// The blank at the end of "Checked on duplicates " is the report's own.
const TCaption ReportCaptions[] = {
    {"ID_Cruise", ""},
    {"MAR", "MARIS CRUISE ID"},
    {"Cruise_Name", "Cruise Name"},
    {"ChDuplicates", "Checked on duplicates "},
    {"ChLocation", "Checked on location"},
    {"ChVelosity", "Checked on velosity"},
    {"ChDepth", "Checked on depth"},
    {"ChDataClimat", "Climatic Data Control"},
    {"ChDataSpike", "Spike Data Control"},
    {"Duplicates", "Duplicates"},
    {"Location", "Location Errors"},
    {"Velosity", "Velosity Errors"},
    {"Depth", "Depth Errors"},
    {"DataClimat", "Data errors"},
    {"DataSpike", "Spikes"},
};

QPixmap LoadReportBitmap(const std::string &AName)
{
    QPixmap Result;
    const std::string Path = ImgsDir + AName;
    if (!Result.load(QString::fromStdString(Path)))
        throw rtl::EFOpenError("Cannot open file \"" + Path + "\"");
    return Result;
}

// The grid's cell painter: hands every data cell to the form first.
class TReportCellDelegate : public QStyledItemDelegate {
public:
    TReportCellDelegate(TfmReport &AForm, QObject *AParent) : QStyledItemDelegate(AParent), FForm(AForm) {}
    void paint(QPainter *APainter, const QStyleOptionViewItem &AOption, const QModelIndex &AIndex) const override
    {
        if (!FForm.DBGrid1DrawDataCell(*APainter, AOption.rect, AIndex))
            QStyledItemDelegate::paint(APainter, AOption, AIndex);
    }

private:
    TfmReport &FForm;
};

} // namespace

const char *ReportFieldCaption(const std::string &AFieldName)
{
    for (const TCaption &C : ReportCaptions)
        if (AFieldName == C.Field)
            return C.Caption;
    return nullptr;
}

TfmReport::TfmReport(QWidget *AOwner, TDataSet *ACruiseTable) : TForm(AOwner, "fmReport")
{
    setWindowTitle(QStringLiteral("Quality Check Report"));
    DBGrid1 = MakeControl<QTableView>(this, "DBGrid1");
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"));
    BitBtn1->setDefault(true);
    // The report only shows what the run left: Esc closes it as OK does.
    SetCancelButton(BitBtn1);
    QObject::connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    auto *Buttons = new QHBoxLayout; // owned by the form's layout
    Buttons->addStretch();
    Buttons->addWidget(BitBtn1);
    auto *Layout = new QVBoxLayout(this); // owned by the form
    Layout->addWidget(DBGrid1);
    Layout->addLayout(Buttons);
    resize(900, 400);
    FormCreate(ACruiseTable);
}

TfmReport::~TfmReport()
{
    // The model's data link must leave the data source before it goes.
    if (GridModel)
        GridModel->SetDataSource(nullptr);
}

void TfmReport::FormCreate(TDataSet *ACruiseTable)
{
    DataSource1 = std::make_unique<TDataSource>();
    DataSource1->SetDataSet(ACruiseTable);
    ReportCheckBmp = LoadReportBitmap("Check.bmp");
    ReportCheck1Bmp = LoadReportBitmap("Check1.bmp");
    if (ACruiseTable) {
        for (int I = 0; I < ACruiseTable->FieldCount(); ++I) {
            TField *F = ACruiseTable->Fields().Fields(I);
            if (const char *Caption = ReportFieldCaption(F->FieldName()))
                F->SetDisplayLabel(Caption);
        }
        if (TField *Id = ACruiseTable->FindField("ID_Cruise"))
            Id->SetVisible(false);
        // The run leaves the table on its last cruise; the report reads
        // from the first, so the grid's window holds every cruise.
        if (ACruiseTable->Active())
            ACruiseTable->First();
    }
    GridModel = new TDBGridModel(this); // owned by the form
    GridModel->SetDataSource(DataSource1.get());
    DBGrid1->setModel(GridModel);
    DBGrid1->setItemDelegate(new TReportCellDelegate(*this, DBGrid1)); // owned by the grid
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->resizeColumnsToContents();
}

bool TfmReport::DBGrid1DrawDataCell(QPainter &APainter, const QRect &ARect, const QModelIndex &AIndex)
{
    TField *F = GridModel ? GridModel->ColumnField(AIndex.column()) : nullptr;
    if (!F || F->DataType() != rtl::ftBoolean)
        return false;
    // The grid reads a Boolean as its text; an empty value counts as false.
    const bool Value = GridModel->data(AIndex, Qt::EditRole).toString() == QStringLiteral("True");
    APainter.fillRect(ARect, Qt::white);
    APainter.drawPixmap(ARect.topLeft() + QPoint(1, 1), Value ? ReportCheck1Bmp : ReportCheckBmp);
    return true;
}
