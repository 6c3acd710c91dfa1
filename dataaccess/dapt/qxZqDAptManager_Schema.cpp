// The schema adapter and its list of table adapters: see qxZqDAptManager.h.
#include <algorithm>
#include <mutex>
#include <vector>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"

using namespace dats;

// ---- moving a table between managers -------------------------------------------

void ZqDAptMoveTable(TZqDatSTable *ATable, TZqDatSManager *AManager)
{
    if (!ATable || ATable->Manager() == AManager) return;
    TZqDatSManager *Old = ATable->Manager();
    // A name taken in the new manager refuses the move before anything changes.
    if (AManager && !ATable->Name().empty()) AManager->Tables()->CheckUniqueName(ATable->Name(), ATable);
    // Pending changes leave the journal they are recorded in and enter the
    // one they will be recorded in, in their order.
    std::vector<TZqDatSRow *> Changed;
    TZqDatSUpdatesJournal *From = ZqDAptTableJournal(ATable);
    for (TZqDatSRow *R = From->FirstChange(ATable); R; R = From->NextChange(R, ATable)) Changed.push_back(R);
    for (TZqDatSRow *R : Changed) From->RemoveRow(R);
    // Leaving a table list resets a table unless it is being cleared: the
    // clearing mode keeps its structure and rows through the move.
    ATable->BeginLoadData(lmClearing);
    try {
        if (Old) {
            TZqDatSRelationList *RL = Old->Relations();
            for (int I = RL->Count() - 1; I >= 0; --I)
                if (RL->GetItem(I)->ChildTable() == ATable || RL->GetItem(I)->ParentTable() == ATable)
                    RL->RemoveAt(I, false);
            Old->Tables()->Remove(ATable, true);
        }
        if (AManager) AManager->Tables()->Add(ATable);
        else ATable->SetOwnJournal(true);
    } catch (...) {
        ATable->EndLoadData();
        TZqDatSUpdatesJournal *To = ZqDAptTableJournal(ATable);
        for (TZqDatSRow *R : Changed) To->AddRow(R);
        throw;
    }
    ATable->EndLoadData();
    TZqDatSUpdatesJournal *To = ZqDAptTableJournal(ATable);
    for (TZqDatSRow *R : Changed) To->AddRow(R);
}

// ---- the adapter list ------------------------------------------------------------

TZqDAptTableAdapters::~TZqDAptTableAdapters()
{
    while (!FItems.empty()) {
        TZqDAptTableAdapter *A = FItems.back();
        FItems.pop_back();
        A->FList = nullptr;
        delete A;
    }
}

int32_t TZqDAptTableAdapters::_AddRef() { return FSchema ? FSchema->_AddRef() : -1; }

int32_t TZqDAptTableAdapters::_Release() { return FSchema ? FSchema->_Release() : -1; }

TZqIntfPtr<IZqDAptTableAdapter> TZqDAptTableAdapters::GetItems(int AIndex)
{
    return TZqIntfPtr<IZqDAptTableAdapter>(FItems.at(size_t(AIndex)));
}

int TZqDAptTableAdapters::IndexOf(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    for (size_t I = 0; I < FItems.size(); ++I)
        if (FItems[I]->MatchesKey(AKey, AKind)) return int(I);
    return -1;
}

TZqDAptTableAdapter *TZqDAptTableAdapters::Find(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    const int I = IndexOf(AKey, AKind);
    return I >= 0 ? FItems[size_t(I)] : nullptr;
}

TZqIntfPtr<IZqDAptTableAdapter> TZqDAptTableAdapters::Lookup(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    return TZqIntfPtr<IZqDAptTableAdapter>(Find(AKey, AKind));
}

TZqIntfPtr<IZqDAptTableAdapter> TZqDAptTableAdapters::Add(const std::string &ASourceRecordSetName,
                                                          const std::string &ADatSTableName,
                                                          const std::string &AUpdateTableName)
{
    auto *A = new TZqDAptTableAdapter(this);
    TZqIntfPtr<IZqDAptTableAdapter> Result(A);
    A->SetSourceRecordSetName(ASourceRecordSetName);
    A->SetDatSTableName(ADatSTableName);
    A->SetUpdateTableName(AUpdateTableName);
    return Result;
}

void TZqDAptTableAdapters::Attach(TZqDAptTableAdapter *AAdapter)
{
    FItems.push_back(AAdapter);
    AAdapter->FList = this;
    if (!FSchema) return;
    FSchema->IncRefCount(AAdapter->RefCount());
    // One journal for the schema: the adapter's table joins its manager.
    if (TZqDatSTable *T = AAdapter->FDatSTable) ZqDAptMoveTable(T, FSchema->GetDatSManager());
    AAdapter->RefreshCommandHandlers();
}

void TZqDAptTableAdapters::Detach(TZqDAptTableAdapter *AAdapter)
{
    auto It = std::find(FItems.begin(), FItems.end(), AAdapter);
    if (It == FItems.end()) return;
    FItems.erase(It);
    AAdapter->FList = nullptr;
    if (!FSchema) return;
    FSchema->DecRefCount(AAdapter->RefCount());
}

void TZqDAptTableAdapters::AddAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter)
{
    auto *A = ZqQueryRaw<TZqDAptTableAdapter>(AAdapter.Get());
    if (!A || A->FList == this) return;
    if (A->FList) A->FList->RemoveAdapter(AAdapter);
    Attach(A);
}

void TZqDAptTableAdapters::Remove(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    if (TZqDAptTableAdapter *A = Find(AKey, AKind)) RemoveAdapter(TZqIntfPtr<IZqDAptTableAdapter>(A));
}

void TZqDAptTableAdapters::RemoveAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter)
{
    auto *A = ZqQueryRaw<TZqDAptTableAdapter>(AAdapter.Get());
    if (!A || std::find(FItems.begin(), FItems.end(), A) == FItems.end()) return;
    TZqDatSTable *T = A->FDatSTable;
    if (T && FSchema && T->Manager() == FSchema->GetDatSManager()) {
        ZqDAptMoveTable(T, nullptr);
        // Out of the manager nobody else owns it: the adapter's reference does.
        T->CountRef(1);
    }
    Detach(A);
    A->RefreshCommandHandlers();
}

// ---- the schema adapter -------------------------------------------------------------

TZqDAptSchemaAdapter::TZqDAptSchemaAdapter() : FAdapters(std::make_unique<TZqDAptTableAdapters>(this)) {}

TZqDAptSchemaAdapter::~TZqDAptSchemaAdapter()
{
    // The adapters let go of their tables while the manager still holds
    // them; the manager then frees them unless someone else keeps it.
    if (FDatSManager)
        for (TZqDAptTableAdapter *A : FAdapters->FItems)
            if (A->FDatSTable && A->FDatSTable->Manager() == FDatSManager) A->SetDatSTable(nullptr);
    FDatSManager.Reset();
    FAdapters.reset();
}

TZqIntfPtr<IZqDAptTableAdapters> TZqDAptSchemaAdapter::GetTableAdapters()
{
    return TZqIntfPtr<IZqDAptTableAdapters>(FAdapters.get());
}

void TZqDAptSchemaAdapter::SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue)
{
    if (AValue == FErrorHandler) return;
    FErrorHandler = AValue;
    for (TZqDAptTableAdapter *A : FAdapters->FItems) A->RefreshCommandHandlers();
}

TZqDatSManager *TZqDAptSchemaAdapter::GetDatSManager()
{
    if (!FDatSManager) {
        auto *M = new TZqDatSManager();
        M->CountRef(0);
        M->SetUpdatesRegistry(true);
        SetDatSManager(M);
    }
    return FDatSManager;
}

void TZqDAptSchemaAdapter::SetDatSManager(TZqDatSManager *AValue)
{
    if (AValue == FDatSManager) return;
    // The old manager stays alive until its tables have moved.
    const TZqDatSRef<TZqDatSManager> Old(FDatSManager);
    // The adapters' tables, bound or named, as the old manager holds them.
    std::vector<std::pair<TZqDAptTableAdapter *, TZqDatSTable *>> Tables;
    for (TZqDAptTableAdapter *A : FAdapters->FItems) {
        TZqDatSTable *T = A->FDatSTable;
        if (!T && Old) {
            const std::string Name = A->GetDatSTableName();
            const int I = Name.empty() ? -1 : Old->Tables()->IndexOfName(Name);
            if (I >= 0) T = Old->Tables()->GetItem(I);
        }
        if (T) Tables.emplace_back(A, T);
    }
    FDatSManager.Reset(AValue);
    for (auto &[A, T] : Tables) {
        if (AValue) {
            ZqDAptMoveTable(T, AValue);
        } else if (A->FDatSTable == T && T->Manager() == Old) {
            // Without a new manager the tables stay with the old one, which
            // may free them: the adapters let go first.
            A->SetDatSTable(nullptr);
        }
    }
}

int TZqDAptSchemaAdapter::ApplyUpdates(int AMaxErrors)
{
    TZqDAptUpdatesJournalProcessor P(this);
    return P.Process(AMaxErrors);
}

bool TZqDAptSchemaAdapter::Reconcile()
{
    TZqDAptUpdatesJournalProcessor P(this);
    return P.Reconcile();
}

int TZqDAptSchemaAdapter::MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult)
{
    TZqDAptTableAdapter *A = FAdapters->Find(AKey, AKind);
    // A position no adapter keeps leaves the answer to the name asked next.
    if (!A) return AKind == mkSourceID ? 0 : 2;
    return A->AnswerTable(AResult);
}

int TZqDAptSchemaAdapter::MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind,
                                    const TZqMappingKey &AColumnKey, TZqMappingKeyKind AColumnKind,
                                    TZqColumnMapResult &AResult)
{
    TZqDAptTableAdapter *A = FAdapters->Find(ATableKey, ATableKind);
    if (!A) return 2;
    return A->AnswerColumn(AColumnKey, AColumnKind, AResult);
}

std::string TZqDAptSchemaAdapter::GetName()
{
    std::string Prefix = FDatSManager ? FDatSManager->Name() + ": " : std::string();
    return Prefix + ZqObjectTraceName(this);
}

// ---- registration ------------------------------------------------------------------

void RegisterDAptManager()
{
    ZqRegisterMultiInstance<TZqDAptTableAdapter>(IID_IZqDAptTableAdapter);
    ZqRegisterMultiInstance<TZqDAptSchemaAdapter>(IID_IZqDAptSchemaAdapter);
}

void ZqDAptInitialize()
{
    static std::mutex Lock;
    static uint64_t Done = 0;
    ZqStanInitialize();
    std::lock_guard<std::mutex> G(Lock);
    // Once per registry, told apart by generation (see ZqManagerGeneration).
    const uint64_t Current = ZqManagerGeneration();
    if (Done == Current) return;
    Done = Current;
    RegisterDAptManager();
}
