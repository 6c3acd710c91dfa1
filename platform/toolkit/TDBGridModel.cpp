// The data-aware grid's table model.
#include "platform/toolkit/TDBGridModel.h"

#include <QColor>

#include <algorithm>

#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TNumberEntry.h"

#include <QScopedValueRollback>

class TDBGridModel::TLink : public TDataLink {
public:
    explicit TLink(TDBGridModel *AModel) : FModel(AModel) {}

    // Reads a field of record ARow (a link record) without moving the cursor.
    template <class F>
    auto AtRow(int ARow, F AReader) -> decltype(AReader())
    {
        int Old = ActiveRecord();
        SetActiveRecord(ARow);
        struct TRestore {
            TLink *L;
            int Old;
            ~TRestore() { L->SetActiveRecord(Old); }
        } Restore{this, Old};
        return AReader();
    }

protected:
    void ActiveChanged() override { FModel->Rebuild(); }
    void LayoutChanged() override { FModel->Rebuild(); }
    void DataSetChanged() override { FModel->RefreshAll(); }
    void DataSetScrolled(int) override { FModel->RefreshAll(); }
    // Every move of the dataset (First, MoveBy, RecNo, Locate...) starts
    // here, while the record it leaves is still current.
    void CheckBrowseMode() override { FModel->CommitBeforeMove(); }
    void RecordChanged(TField *) override
    {
        if (Active())
            FModel->RefreshRow(ActiveRecord());
    }

private:
    TDBGridModel *FModel;
};

TDBGridModel::TDBGridModel(QObject *AParent)
    : QAbstractTableModel(AParent), FLink(std::make_unique<TLink>(this))
{
}

TDBGridModel::~TDBGridModel()
{
    // The link goes first so that no notification reaches a half-destroyed model.
    FLink.reset();
}

TDataSource *TDBGridModel::DataSource() const { return FLink->DataSource(); }

void TDBGridModel::SetDataSource(TDataSource *AValue)
{
    FLink->SetDataSource(AValue);
    Rebuild();
}

TField *TDBGridModel::ColumnField(int AColumn) const
{
    return AColumn >= 0 && AColumn < int(FColumns.size()) ? FColumns[size_t(AColumn)] : nullptr;
}

int TDBGridModel::CurrentRow() const
{
    return FLink->Active() && FRows > 0 ? FLink->ActiveRecord() : -1;
}

void TDBGridModel::Rebuild()
{
    TDataSet *D = FLink->Active() ? FLink->DataSet() : nullptr;
    if (D) {
        // Every record in the window: a painted row needs no cursor move. A
        // window grows forward from the current record, so one that was
        // linked further down is filled again from the first record.
        const int Want = std::min(std::max(D->RecordCount(), 0) + 1, MaxRows);
        FLink->SetBufferCount(std::max(Want, 1));
        if (FLink->RecordCount() < Want - 1) {
            D->UpdateCursorPos();
            D->Resync(0);
        }
    }
    beginResetModel();
    FColumns.clear();
    FRows = 0;
    if (D) {
        for (int I = 0; I < D->FieldCount(); ++I)
            if (D->Fields()[I]->Visible())
                FColumns.push_back(D->Fields()[I]);
        FRows = FLink->RecordCount();
    }
    endResetModel();
}

void TDBGridModel::RefreshAll()
{
    TDataSet *D = FLink->DataSet();
    if (!FLink->Active() || !D) {
        Rebuild();
        return;
    }
    int Want = std::min(std::max(D->RecordCount(), 0) + 1, MaxRows);
    if (D->State() == dsInsert)
        ++Want; // the record being inserted is not counted yet
    if (Want > FLink->BufferCount())
        FLink->SetBufferCount(Want);
    int Rows = FLink->RecordCount();
    if (Rows != FRows) {
        beginResetModel();
        FRows = Rows;
        endResetModel();
    } else if (FRows > 0 && !FColumns.empty()) {
        emit dataChanged(index(0, 0), index(FRows - 1, int(FColumns.size()) - 1));
    }
}

void TDBGridModel::RefreshRow(int ARow)
{
    if (ARow >= 0 && ARow < FRows && !FColumns.empty())
        emit dataChanged(index(ARow, 0), index(ARow, int(FColumns.size()) - 1));
}

int TDBGridModel::rowCount(const QModelIndex &AParent) const
{
    return AParent.isValid() ? 0 : FRows;
}

int TDBGridModel::columnCount(const QModelIndex &AParent) const
{
    return AParent.isValid() ? 0 : int(FColumns.size());
}

QVariant TDBGridModel::data(const QModelIndex &AIndex, int ARole) const
{
    TField *F = ColumnField(AIndex.column());
    if (!F || AIndex.row() < 0 || AIndex.row() >= FLink->RecordCount())
        return {};
    switch (ARole) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        try {
            std::string S = FLink->AtRow(AIndex.row(), [&] {
                return ARole == Qt::DisplayRole ? F->DisplayText() : F->Text();
            });
            return QString::fromStdString(S);
        } catch (const std::exception &) {
            return {};
        }
    case Qt::ToolTipRole:
    case Qt::BackgroundRole: {
        const std::string Note = RowNote(AIndex.row());
        if (Note.empty())
            return {};
        return ARole == Qt::ToolTipRole ? QVariant(QString::fromStdString(Note)) : QVariant(QColor(255, 236, 179));
    }
    case Qt::TextAlignmentRole:
        return F->Alignment() == 1   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
               : F->Alignment() == 2 ? QVariant(int(Qt::AlignCenter))
                                     : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

std::string TDBGridModel::RowNote(int ARow) const
{
    TDataSet *D = FLink->DataSet();
    if (!FRowNote || !D || ARow < 0 || ARow >= FLink->RecordCount())
        return "";
    try {
        return FLink->AtRow(ARow, [this, D] { return FRowNote(*D); });
    } catch (const std::exception &) {
        return "";
    }
}

QVariant TDBGridModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const
{
    if (AOrientation == Qt::Vertical && ARole == Qt::ToolTipRole) {
        const std::string Note = RowNote(ASection);
        return Note.empty() ? QVariant() : QVariant(QString::fromStdString(Note));
    }
    if (ARole != Qt::DisplayRole)
        return {};
    if (AOrientation == Qt::Vertical)
        return RowNote(ASection).empty() ? QVariant(ASection + 1) : QVariant(QString::number(ASection + 1) + " !");
    TField *F = ColumnField(ASection);
    return F ? QVariant(QString::fromStdString(F->DisplayLabel())) : QVariant();
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex &AIndex) const
{
    Qt::ItemFlags Result = QAbstractTableModel::flags(AIndex);
    TField *F = ColumnField(AIndex.column());
    if (F && !FLink->ReadOnly() && F->CanModify() && !IsComputed(*F))
        Result |= Qt::ItemIsEditable;
    return Result;
}

void TDBGridModel::CommitBeforeMove()
{
    // Only a move in browse state: a post or cancel under way (this model's
    // own write among them) is no move, and the text is the edit's already.
    TDataSet *D = FLink->DataSet();
    if (!FCommitOpenEditor || FSetting || FCommitting || !D || D->State() != dsBrowse)
        return;
    bool Written = false;
    {
        const QScopedValueRollback<bool> Committing(FCommitting, true);
        Written = FCommitOpenEditor();
    }
    if (!Written)
        rtl::Abort();
}

bool TDBGridModel::IsComputed(const TField &F) const
{
    return std::any_of(FComputed.begin(), FComputed.end(),
                       [&](const std::string &N) { return rtl::SameText(N, F.FieldName()); });
}

bool TDBGridModel::setData(const QModelIndex &AIndex, const QVariant &AValue, int ARole)
{
    TField *F = ColumnField(AIndex.column());
    TDataSet *D = FLink->DataSet();
    // A message shown while an edit is written (its failure, or one of the
    // dataset's own handlers) takes the focus from the cell's editor, which
    // then commits its text once more: that commit is no edit of its own.
    if (ARole != Qt::EditRole || !F || !D || AIndex.row() < 0 || AIndex.row() >= FRows || FSetting ||
        IsComputed(*F))
        return false;
    const QScopedValueRollback<bool> Setting(FSetting, true);
    FLastError.clear();
    const std::string Text = AValue.toString().toStdString();
    try {
        // A cell left as its editor got it writes nothing: the edit text
        // may be rounded by the field's display format.
        if (FLink->AtRow(AIndex.row(), [&] { return F->Text(); }) == Text)
            return true;
        int Distance = AIndex.row() - FLink->ActiveRecord();
        if (Distance != 0)
            D->MoveBy(Distance);
        D->Edit();
        F->SetText(Text);
        D->Post();
        return true;
    } catch (const std::exception &E) {
        FLastError = QString::fromStdString(dynamic_cast<TNumericField *>(F) ? WithDecimalPointHint(E.what(), Text)
                                                                             : std::string(E.what()));
        try {
            D->Cancel();
        } catch (const std::exception &) {
            // The edit stays pending; the operator is told of the failure.
        }
    }
    // The cell goes back to its value, and the operator is told why.
    ++FRefusals;
    MessageDlg(FLastError.toStdString(), mtError, mbOK);
    return false;
}
