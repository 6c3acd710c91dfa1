// The updates journal processor: see qxZqDAptManager.h.
#include <set>
#include <utility>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"

using namespace dats;

namespace {

// Preconditions of the adapter guard what it posts: they raise in every
// build, so a caller's slip is an error, never a write of the wrong row.
const char *const CUnit = "qxZqDAptManager";

// StartWait now, StopWait whatever happens.
class TWait {
public:
    TWait()
    {
        ZqCreateInterface(FCursor, true);
        if (FCursor) FCursor->StartWait();
    }
    ~TWait()
    {
        if (FCursor) FCursor->StopWait();
    }
    IZqGUIxWaitCursor *operator->() const { return FCursor.Get(); }
    explicit operator bool() const { return bool(FCursor); }

private:
    TZqIntfPtr<IZqGUIxWaitCursor> FCursor;
};

} // namespace

TZqDatSUpdatesJournal *ZqDAptTableJournal(TZqDatSTable *ATable)
{
    if (!ATable) return nullptr;
    // The rows decide: a manager's journal holds them only while the
    // manager keeps one for all its tables.
    if (TZqDatSManager *M = ATable->Manager())
        if (M->UpdatesRegistry()) return M->Journal();
    return ATable->Journal();
}

TZqDAptUpdatesJournalProcessor::TZqDAptUpdatesJournalProcessor(TZqDAptTableAdapter *AAdapter)
    : FAdapter(AAdapter), FUpdateHandler(AAdapter->GetUpdateHandler())
{
    // An adapter without a table has nothing to post.
    if (TZqDatSTable *T = AAdapter->GetDatSTable()) FWalks.push_back({ZqDAptTableJournal(T), T});
}

TZqDAptUpdatesJournalProcessor::TZqDAptUpdatesJournalProcessor(TZqDAptSchemaAdapter *ASchema)
    : FAdapters(ASchema->Adapters()), FUpdateHandler(ASchema->GetUpdateHandler())
{
    TZqDatSManager *M = ASchema->GetDatSManager();
    if (M->UpdatesRegistry()) {
        FWalks.push_back({M->Journal(), nullptr});
    } else {
        // A manager given by the user may leave the journals with the
        // tables: each table's own is walked then.
        for (int I = 0; I < M->Tables()->Count(); ++I)
            FWalks.push_back({M->Tables()->GetItem(I)->Journal(), M->Tables()->GetItem(I)});
    }
}

TZqDAptTableAdapter *TZqDAptUpdatesJournalProcessor::AdapterFor(TZqDatSRow *ARow)
{
    if (FAdapter) {
        ZQ_ASSERT(ARow->Table() == FAdapter->GetDatSTable(), CUnit);
        return FAdapter;
    }
    if (!FAdapters) return nullptr;
    // The adapter bound to the row's table, else the one that names it.
    for (int I = 0; I < FAdapters->GetCount(); ++I)
        if (FAdapters->Item(I)->GetDatSTable() == ARow->Table()) return FAdapters->Item(I);
    return FAdapters->Find(TZqMappingKey(ARow->Table()->Name()), mkDatSName);
}

TZqErrorAction TZqDAptUpdatesJournalProcessor::PostRow(TZqDAptTableAdapter *AAdapter, TZqDatSRow *ARow)
{
    const TZqDatSRowState State = ARow->RowState();
    TZqPhysUpdateRowOptions LockOpts = ZqUpdOpt(uoDeferedLock), PostOpts = 0, UnlockOpts = 0;
    if (State == rsInserted) {
        LockOpts |= ZqUpdOpt(uoNoSrvRecord);
        PostOpts = ZqUpdOpt(uoNoSrvRecord);
    } else if (State == rsDeleted) {
        LockOpts |= ZqUpdOpt(uoNoSrvRecord);
        UnlockOpts = ZqUpdOpt(uoNoSrvRecord);
    }
    TZqErrorAction Action = eaApplied;
    bool Posted = false;
    TZqErrorAction Outcome = eaApplied;
    try {
        AAdapter->Lock(ARow, Action, LockOpts);
        if (Action == eaApplied) {
            Posted = true;
            Outcome = eaFail; // until the post returns
            AAdapter->UpdateRow(ARow, Action, arFromRow, PostOpts);
            // A statement that ran leaves the action at eaDefault: that is a
            // posted row, whose lock must be committed, not rolled back.
            if (Action == eaDefault) Action = eaApplied;
            Outcome = Action;
        }
    } catch (const EZqException &E) {
        Action = eaFail;
        Outcome = eaFail;
        // A failure the driver did not put on the row (a count of affected
        // records, a refused request) is kept there all the same: Reconcile
        // only offers rows that carry an error.
        if (!ARow->HasErrors()) ARow->SetRowError(&E);
    } catch (...) {
        Action = eaFail;
        Outcome = eaFail;
    }
    try {
        if (Action != eaApplied) {
            UnlockOpts |= ZqUpdOpt(uoCancelUnlock);
            if (State == rsInserted) UnlockOpts |= ZqUpdOpt(uoNoSrvRecord);
            if (State == rsDeleted) UnlockOpts &= TZqPhysUpdateRowOptions(~ZqUpdOpt(uoNoSrvRecord));
            TZqErrorAction Unlock = eaApplied;
            AAdapter->UnLock(ARow, Unlock, UnlockOpts);
            if (!Posted) Outcome = Action;
        } else {
            AAdapter->UnLock(ARow, Action, UnlockOpts);
            if (!Posted) Outcome = Action;
        }
    } catch (...) {
        Outcome = eaFail;
    }
    return Outcome;
}

int TZqDAptUpdatesJournalProcessor::Process(int AMaxErrors)
{
    TWait Wait;
    int Errors = 0;
    for (const TWalk &W : FWalks) {
        if (!W.Journal) continue;
        TZqDatSRow *Row = W.Journal->FirstChange(W.Filter);
        while (Row) {
            // Posting may take the row out of the journal.
            TZqDatSRow *Next = W.Journal->NextChange(Row, W.Filter);
            const TZqDatSRowState State = Row->RowState();
            TZqDAptTableAdapter *A =
                State == rsInserted || State == rsDeleted || State == rsModified ? AdapterFor(Row) : nullptr;
            if (A && PostRow(A, Row) == eaFail) {
                ++Errors;
                if (AMaxErrors != -1 && Errors > AMaxErrors) return Errors;
            }
            Row = Next;
        }
    }
    return Errors;
}

bool TZqDAptUpdatesJournalProcessor::Reconcile()
{
    TWait Wait;
    if (FWalks.empty() || !FUpdateHandler) return true;
    bool Abort = false;
    for (const TWalk &W : FWalks) {
        if (!W.Journal) continue;
        // Rows asked about already, by table and lifetime row number.
        std::set<std::pair<TZqDatSTable *, int32_t>> Asked;
        TZqDatSRow *Row = W.Journal->FirstChange(W.Filter);
        while (Row && !Abort) {
            TZqDatSRow *Next = W.Journal->NextChange(Row, W.Filter);
            const std::pair<TZqDatSTable *, int32_t> Key(Row->Table(), Row->RowID());
            TZqDAptTableAdapter *A = Row->HasErrors() && !Asked.count(Key) ? AdapterFor(Row) : nullptr;
            if (A) {
                Asked.insert(Key);
                TZqDAptReconcileAction Action = raMerge;
                if (Wait) Wait->RestoreWait();
                try {
                    FUpdateHandler->ReconcileRowHandler(Row, Action);
                } catch (...) {
                    if (Wait) Wait->SuspendWait();
                    throw;
                }
                if (Wait) Wait->SuspendWait();
                switch (Action) {
                case raSkip: break;
                case raAbort: Abort = true; break;
                case raMerge:
                    Row->ClearErrors();
                    Row->AcceptChanges();
                    break;
                case raCorrect: Row->ClearErrors(); break;
                case raCancel:
                    Row->ClearErrors();
                    Row->RejectChanges();
                    break;
                case raRefresh: {
                    Row->ClearErrors();
                    // The server's values replace the change: a deleted row
                    // could not take them, and a modified one would keep
                    // posting a change nobody wants any more.
                    if (Row->RowState() == rsModified || Row->RowState() == rsDeleted) Row->RejectChanges();
                    TZqErrorAction Fetch = eaApplied;
                    IZqStanOptions *O = A->GetOptions();
                    TZqFetchItems Items = O ? O->GetFetchOptions()->Items() : TZqFetchItems();
                    A->FetchRow(Row, Fetch, Items, -1, true);
                    break;
                }
                }
                // Accepting or rejecting a row inside a manager cascades to
                // its child rows, which may leave the journal or be freed:
                // the row noted as next may be gone, so the walk starts over.
                if ((Action == raMerge || Action == raCancel || Action == raRefresh) && Key.first->Manager()) {
                    Row = W.Journal->FirstChange(W.Filter);
                    continue;
                }
            }
            Row = Next;
        }
        if (Abort) break;
    }
    for (const TWalk &W : FWalks)
        if (W.Journal && W.Journal->HasChanges(W.Filter)) return false;
    return true;
}
