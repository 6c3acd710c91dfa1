// qxZqDatSManager: the updates journal and the DatS manager.
#include "dataaccess/dats/qxZqDatSManager.h"

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"

namespace dats {

// ---- journal ------------------------------------------------------------

TZqDatSUpdatesJournal::TZqDatSUpdatesJournal(TZqDatSObject *AOwner) : FOwner(AOwner) {
    DATS_ASSERT(AOwner != nullptr);
}

TZqDatSUpdatesJournal::~TZqDatSUpdatesJournal() {
    // Rows that outlive the journal must not point into it.
    for (TZqDatSRow *R = FFirst; R;) {
        TZqDatSRow *Next = R->FJournalNext;
        R->FJournalNext = R->FJournalPrior = nullptr;
        R->FChangeSerial = -1;
        R = Next;
    }
}

uint32_t TZqDatSUpdatesJournal::AddRow(TZqDatSRow *ARow) {
    DATS_ASSERT(ARow != nullptr);
    if (ARow->FChangeSerial != -1) return uint32_t(ARow->FChangeSerial);
    DATS_ASSERT(FNextSerial != 4294967295u);
    uint32_t Serial = FNextSerial++;
    ARow->FChangeSerial = int32_t(Serial);
    ARow->FJournalPrior = FLast;
    ARow->FJournalNext = nullptr;
    if (FLast)
        FLast->FJournalNext = ARow;
    else
        FFirst = ARow;
    FLast = ARow;
    return Serial;
}

void TZqDatSUpdatesJournal::RemoveRow(TZqDatSRow *ARow) {
    DATS_ASSERT(ARow != nullptr);
    if (ARow->FChangeSerial == -1) return;
    TZqDatSRow *P = ARow->FJournalPrior, *N = ARow->FJournalNext;
    if (P) P->FJournalNext = N;
    if (N) N->FJournalPrior = P;
    if (FFirst == ARow) FFirst = N;
    if (FLast == ARow) FLast = P;
    if (FCursor == ARow) FCursor = N;
    ARow->FJournalNext = ARow->FJournalPrior = nullptr;
    ARow->FChangeSerial = -1;
}

bool TZqDatSUpdatesJournal::Matches(TZqDatSRow *ARow, TZqDatSObject *AFilter) {
    if (!AFilter) return true;
    if (auto *T = dynamic_cast<TZqDatSTable *>(AFilter)) return ARow->Table() == T;
    return ARow->GetManager() == AFilter;
}

TZqDatSRow *TZqDatSUpdatesJournal::FirstChange(TZqDatSObject *AFilter) {
    for (TZqDatSRow *R = FFirst; R; R = R->FJournalNext)
        if (Matches(R, AFilter)) return R;
    return nullptr;
}

TZqDatSRow *TZqDatSUpdatesJournal::NextChange(TZqDatSRow *ARow, TZqDatSObject *AFilter) {
    if (!ARow) return nullptr;
    for (TZqDatSRow *R = ARow->FJournalNext; R; R = R->FJournalNext)
        if (Matches(R, AFilter)) return R;
    return nullptr;
}

void TZqDatSUpdatesJournal::AcceptChanges(TZqDatSObject *AFilter) {
    DATS_ASSERT(!FWalking);
    FWalking = true;
    try {
        TZqDatSRow *R = FFirst;
        while (R) {
            FCursor = R->FJournalNext;
            if (Matches(R, AFilter)) R->AcceptChanges(true);
            R = FCursor;
        }
    } catch (...) {
        FCursor = nullptr;
        FWalking = false;
        throw;
    }
    FCursor = nullptr;
    FWalking = false;
}

// ---- manager ------------------------------------------------------------

TZqDatSManager::TZqDatSManager() : TZqDatSCounted(this) {
    SetDefaultName("TZqDatSManager");
    FRelations = std::make_unique<TZqDatSRelationList>(this);
    FTables = std::make_unique<TZqDatSTableList>(this);
    FJournal = std::make_unique<TZqDatSUpdatesJournal>(this);
}

TZqDatSManager::~TZqDatSManager() {
    BeginUpdate();
    // Tables (and their rows) go before the shared journal they may be
    // linked into.
    FreeOwnedPart(FTables);
    FreeOwnedPart(FRelations);
    FreeOwnedPart(FJournal);
}


void TZqDatSManager::Clear() {
    FTables->Clear();
    FRelations->Clear();
}

void TZqDatSManager::SetEnforceConstraints(bool AValue) {
    if (AValue == FEnforceConstraints) return;
    FEnforceConstraints = AValue;
    for (int I = 0; I < FTables->Count(); ++I) FTables->GetItem(I)->Constraints()->RecheckAll();
}

void TZqDatSManager::SetUpdatesRegistry(bool AValue) {
    if (AValue == FUpdatesRegistry) return;
    constexpr TZqDatSRowStates Pending = RowStateBit(rsInserted) | RowStateBit(rsDeleted) | RowStateBit(rsModified);
    for (int I = 0; I < FTables->Count(); ++I)
        if (FTables->GetItem(I)->HasChanges(Pending)) DatSError(29, FName);
    for (int I = 0; I < FTables->Count(); ++I) FTables->GetItem(I)->SetOwnJournal(!AValue);
    FUpdatesRegistry = AValue;
}

void TZqDatSManager::SetCaseSensitive(bool AValue) {
    if (AValue == FCaseSensitive) return;
    FCaseSensitive = AValue;
    for (int I = 0; I < FTables->Count(); ++I) FTables->GetItem(I)->SetCaseSensitive(AValue);
}

void TZqDatSManager::SetLocale(int AValue) {
    if (AValue == FLocale) return;
    FLocale = AValue;
    for (int I = 0; I < FTables->Count(); ++I) FTables->GetItem(I)->SetLocale(AValue);
}

void TZqDatSManager::HandleNotification(TZqDatSNotification &N) {
    FRelations->HandleNotification(N);
    FTables->HandleNotification(N);
}

void TZqDatSManager::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSManager *>(ASource);
    DATS_ASSERT(S != nullptr);
    Clear();
    SetName(S->Name());
    SetCaseSensitive(S->FCaseSensitive);
    SetLocale(S->FLocale);
    SetEnforceConstraints(S->FEnforceConstraints);
    SetUpdatesRegistry(S->FUpdatesRegistry);
    FTables->Assign(S->FTables.get());
    FRelations->Assign(S->FRelations.get());
}

bool TZqDatSManager::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSNamedObject::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSManager *>(AOther);
    return FCaseSensitive == O->FCaseSensitive && FLocale == O->FLocale &&
           FEnforceConstraints == O->FEnforceConstraints && FUpdatesRegistry == O->FUpdatesRegistry &&
           FTables->IsEqual(O->FTables.get()) && FRelations->IsEqual(O->FRelations.get());
}

} // namespace dats
