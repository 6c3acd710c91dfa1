// qxZqCompDataSet_Apply: the cached-updates side of the dataset. Changes
// wait in the updates journal that the table really uses (its own, or its
// DatS manager's); ApplyUpdates hands them to the source, CommitUpdates and
// CancelUpdates settle them locally, Reconcile settles the rows that failed
// to apply through OnReconcileError.
#include "dataaccess/comp/qxZqCompDataSet.h"

#include <algorithm>

#include "dataaccess/comp/qxZqCompDataSetInt.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"

using namespace dats;
using compds::TWaitScope;

namespace {

TUpdateKind UpdateKindOf(TZqDatSRow *ARow)
{
    TZqDatSRowState S = ARow->RowState();
    if (S == rsEditing)
        S = ARow->PriorState();
    switch (S) {
    case rsInserted: return ukInsert;
    case rsDeleted: return ukDelete;
    default: return ukModify;
    }
}

} // namespace

bool TZqDataSet::UpdatesPending() const
{
    TZqDatSUpdatesJournal *J = GetUpdates();
    return J && FTable && J->HasChanges(FTable);
}

int TZqDataSet::ChangeCount() const
{
    TZqDatSUpdatesJournal *J = GetUpdates();
    if (!J || !FTable)
        return 0;
    int N = 0;
    for (TZqDatSRow *R = J->FirstChange(FTable); R; R = J->NextChange(R, FTable))
        ++N;
    return N;
}

// The cursor's row is remembered by RowID, never by address: settling the
// journal may free it (a rejected insert). It is found again when it is
// still shown, else the cursor keeps its position.
TZqDataSet::TPosition TZqDataSet::SavePosition()
{
    UpdateCursorPos();
    TPosition P{-1, FCurrentIndex};
    if (!IsEmpty())
        if (TZqDatSRow *Row = GetRowOfBuffer(ActiveBuffer(), true))
            P.RowID = Row->RowID();
    return P;
}

void TZqDataSet::RestorePosition(const TPosition &APosition)
{
    TZqDatSRow *Row = FindRowByID(APosition.RowID);
    int Pos = Row ? FActiveView->IndexOf(Row) : -1;
    FCurrentIndex = Pos >= 0 ? Pos : std::min(APosition.Index, FActiveView->Rows()->Count() - 1);
    Resync(0);
}

int TZqDataSet::ApplyUpdates(int AMaxErrors)
{
    CheckActive();
    CheckBrowseMode();
    TWaitScope Wait(FSilent);
    TPosition Keep = SavePosition();
    int Errors = ApplySourceUpdates(AMaxErrors);
    RestorePosition(Keep);
    return Errors;
}

void TZqDataSet::CommitUpdates()
{
    CheckActive();
    CheckBrowseMode();
    TZqDatSUpdatesJournal *J = GetUpdates();
    if (!J)
        return;
    TPosition Keep = SavePosition();
    for (TZqDatSRow *R = J->FirstChange(FTable); R;) {
        TZqDatSRow *Next = J->NextChange(R, FTable);
        R->ClearErrors();
        R->AcceptChanges();
        R = Next;
    }
    RestorePosition(Keep);
}

void TZqDataSet::CancelUpdates()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        Cancel();
    CheckBrowseMode();
    TZqDatSUpdatesJournal *J = GetUpdates();
    if (!J)
        return;
    TPosition Keep = SavePosition();
    // Newest first: a row changed after its parent is undone before it.
    std::vector<TZqDatSRow *> Rows;
    for (TZqDatSRow *R = J->FirstChange(FTable); R; R = J->NextChange(R, FTable))
        Rows.push_back(R);
    for (auto It = Rows.rbegin(); It != Rows.rend(); ++It) {
        (*It)->ClearErrors();
        (*It)->RejectChanges();
    }
    RestorePosition(Keep);
}

void TZqDataSet::RevertRecord()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert) {
        Cancel();
        if (FState != dsBrowse)
            return;
    }
    if (IsEmpty())
        return;
    TPosition Keep = SavePosition();
    TZqDatSRow *Row = GetRowOfBuffer(ActiveBuffer(), true);
    if (!Row)
        return;
    TZqDatSRowState S = Row->RowState();
    if (S != rsInserted && S != rsModified && S != rsDeleted)
        return;
    Row->ClearErrors();
    Row->RejectChanges();
    RestorePosition(Keep);
}

bool TZqDataSet::Reconcile()
{
    CheckActive();
    CheckBrowseMode();
    TZqDatSUpdatesJournal *J = GetUpdates();
    if (!J)
        return true;
    // Without a handler nobody decides: failed rows keep their error and
    // their change for the next apply, and the answer says so.
    if (!OnReconcileError)
        return !J->HasChanges(FTable);
    TWaitScope Wait(FSilent);
    TPosition Keep = SavePosition();
    for (TZqDatSRow *R = J->FirstChange(FTable); R;) {
        TZqDatSRow *Next = J->NextChange(R, FTable);
        if (!R->HasErrors()) {
            R = Next;
            continue;
        }
        TZqDAptReconcileAction Action = raMerge;
        DoReconcileErrorHandler(R, R->GetRowError(), UpdateKindOf(R), Action);
        bool Stop = false;
        switch (Action) {
        case raSkip:
            break;
        case raAbort:
            Stop = true;
            break;
        case raMerge:
            R->ClearErrors();
            R->AcceptChanges();
            break;
        case raCorrect:
            R->ClearErrors();
            break;
        case raCancel:
            R->ClearErrors();
            R->RejectChanges();
            break;
        case raRefresh:
            R->ClearErrors();
            // The row's values come again from the source, read afresh.
            FetchRowFromSource(R, -1, 1u << 6);
            break;
        }
        if (Stop)
            break;
        R = Next;
    }
    RestorePosition(Keep);
    return !J->HasChanges(FTable);
}
