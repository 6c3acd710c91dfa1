// qxZqDatSTable: tables, load modes, row import and the table list.
#include "dataaccess/dats/qxZqDatSTable.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "platform/rtl/SysUtils.h"

namespace dats {



namespace {
constexpr uint32_t CRowObjectSize = (sizeof(TZqDatSRow) + 7) & ~uint32_t(7);
}

TZqDatSTable::TZqDatSTable() : TZqDatSCounted(this) { Init(); }

TZqDatSTable::TZqDatSTable(const std::string &AName) : TZqDatSCounted(this) {
    Init();
    if (!AName.empty()) SetName(AName);
    FSourceName = FName;
}

void TZqDatSTable::Init() {
    SetDefaultName("TZqDatSTable");
    FSourceName = FName;
    FColumns = std::make_unique<TZqDatSColumnList>(this);
    FConstraints = std::make_unique<TZqDatSConstraintList>(this);
    FRows = std::make_unique<TZqDatSTableRowList>(this);
    FViews = std::make_unique<TZqDatSViewList>(this);
    FJournal = std::make_unique<TZqDatSUpdatesJournal>(this);
}

TZqDatSTable::~TZqDatSTable() {
    FViews->Clear();
    FConstraints->Clear();
    FLoadMode = lmClearing;
    BeginUpdate();
    // Rows go before the journal they may still be linked into.
    FreeOwnedPart(FRows);
    FreeOwnedPart(FJournal);
    FreeOwnedPart(FViews);
    FreeOwnedPart(FConstraints);
    FreeOwnedPart(FColumns);
}


void TZqDatSTable::EnsureLayout() { FColumns->EnsureLayout(CRowObjectSize); }

TZqDatSRow *TZqDatSTable::NewRow(bool AAssignDefaults) { return TZqDatSRow::Create(this, AAssignDefaults); }

TZqDatSRow *TZqDatSTable::NewChildRow(bool AAssignDefaults, const std::vector<TZqDatSRow *> &AParents) {
    std::unique_ptr<TZqDatSRow> R(NewRow(AAssignDefaults));
    for (TZqDatSRow *P : AParents) {
        if (!P) continue;
        for (int I = 0; I < FConstraints->Count(); ++I) {
            TZqDatSConstraintBase *C = FConstraints->GetItem(I);
            if (C->RelatedTable() == P->Table() && C->IsActive()) C->FillChildRow(P, R.get());
        }
    }
    return R.release();
}

std::vector<TZqDatSTable *> TZqDatSTable::NestedTables() {
    std::vector<TZqDatSTable *> R;
    TZqDatSRowLayout *L = FColumns->Layout();
    if (!L || !(L->LayoutFlags & lfReferences)) return R;
    for (int I = 0; I < FColumns->Count(); ++I) {
        TZqDatSColumn *C = FColumns->GetItem(I);
        TZqDataType T = C->DataType();
        if (T == dtRowSetRef || T == dtCursorRef || T == dtRowRef || T == dtArrayRef)
            if (TZqDatSTable *N = C->GetNestedTable()) R.push_back(N);
    }
    return R;
}

void TZqDatSTable::BeginLoadData(TZqDatSLoadMode AMode) {
    if (FLoadMode != lmNormal) {
        // Another mode is in force: this begin is ignored, and so must be
        // its end.
        ++FIgnoredLoads;
        return;
    }
    EnsureLayout();
    bool Suspend = IsSuspendingLoadMode(AMode);
    if (Suspend) BeginUpdate();
    if (AMode != lmRefreshMerge) FConstraints->SetEnforce(false);
    if (Suspend) FViews->SetViewsActive(false);
    FLoadMode = AMode;
    for (TZqDatSTable *N : NestedTables()) N->BeginLoadData(AMode);
}

void TZqDatSTable::EndLoadData() {
    if (FLoadMode == lmNormal) return;
    if (FIgnoredLoads > 0) {
        --FIgnoredLoads;
        return;
    }
    for (TZqDatSTable *N : NestedTables()) N->EndLoadData();
    TZqDatSLoadMode Mode = FLoadMode;
    FLoadMode = lmNormal;
    bool Suspend = IsSuspendingLoadMode(Mode);
    if (Suspend) {
        try {
            // Every view is rebuilt once: invalidated first, then rebuilt
            // as the list becomes active again.
            for (int I = 0; I < FViews->Count(); ++I) FViews->GetItem(I)->Invalidate();
            FViews->SetViewsActive(true);
        } catch (...) {
        }
    }
    try {
        if (Mode != lmRefreshMerge) FConstraints->SetEnforce(true);
    } catch (...) {
        if (Suspend) EndUpdate();
        throw;
    }
    if (Suspend) EndUpdate();
}

void TZqDatSTable::ClearRows() {
    if (FRows->Count() == 0 || FLoadMode == lmClearing) return;
    if (FLoadMode == lmNormal) {
        BeginLoadData(lmClearing);
        try {
            FRows->Clear();
        } catch (...) {
            EndLoadData();
            throw;
        }
        EndLoadData();
        return;
    }
    // Inside another load mode: clear under mode 5 and return to it.
    TZqDatSLoadMode Saved = FLoadMode;
    BeginUpdate();
    bool WasActive = FViews->ViewsActive();
    FViews->SetViewsActive(false);
    FLoadMode = lmClearing;
    try {
        FRows->Clear();
    } catch (...) {
        FLoadMode = Saved;
        EndUpdate();
        throw;
    }
    FLoadMode = Saved;
    for (int I = 0; I < FViews->Count(); ++I) FViews->GetItem(I)->Invalidate();
    if (WasActive) FViews->SetViewsActive(true);
    EndUpdate();
}

void TZqDatSTable::Reset() {
    if (FLoadMode == lmClearing) return;
    FLoadMode = lmClearing;
    try {
        FConstraints->Clear();
        FViews->Clear();
        BeginUpdate();
        try {
            FRows->Clear();
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        if (FManager) {
            TZqDatSRelationList *RL = FManager->Relations();
            for (int I = RL->Count() - 1; I >= 0; --I)
                if (I < RL->Count() && RL->GetItem(I)->ChildTable() == this) RL->RemoveAt(I, false);
            for (int I = RL->Count() - 1; I >= 0; --I)
                if (I < RL->Count() && RL->GetItem(I)->ParentTable() == this) RL->RemoveAt(I, false);
        }
        FColumns->Clear();
    } catch (...) {
        FLoadMode = lmNormal;
        throw;
    }
    FLoadMode = lmNormal;
    FIgnoredLoads = 0;
}

bool TZqDatSTable::HasChanges(TZqDatSRowStates AStates) {
    if (FOwnJournal) return FJournal->FirstChange(this) != nullptr;
    for (int I = 0; I < FRows->Count(); ++I)
        if (AStates & RowStateBit(FRows->GetItem(I)->RowState())) return true;
    return false;
}

void TZqDatSTable::CheckNoRows() {
    if (FRows && FRows->Count() > 0 && FLoadMode != lmClearing) DatSError(38, FName);
}

bool TZqDatSTable::ConstraintsEnforced() const { return FConstraints->Enforce(); }

std::vector<TZqDatSRelation *> TZqDatSTable::GetParentRelations() {
    if (!FManager) return {};
    return FManager->Relations()->GetRelationsOf(true, this);
}

std::vector<TZqDatSRelation *> TZqDatSTable::GetChildRelations() {
    if (!FManager) return {};
    return FManager->Relations()->GetRelationsOf(false, this);
}

int TZqDatSTable::GetRowsCapacity() const { return FRows->Capacity(); }
void TZqDatSTable::SetRowsCapacity(int AValue) { FRows->SetCapacity(AValue); }

void TZqDatSTable::RecheckAfterCompareChange() {
    FViews->RebuildAll();
    FConstraints->CheckAllRowsAll();
}

void TZqDatSTable::SetLocale(int AValue) {
    if (AValue == FLocale) return;
    FLocale = AValue;
    RecheckAfterCompareChange();
}

void TZqDatSTable::SetCaseSensitive(bool AValue) {
    if (AValue == FCaseSensitive) return;
    FCaseSensitive = AValue;
    RecheckAfterCompareChange();
}

TZqDatSView *TZqDatSTable::GetDefaultView() {
    if (!FDefaultView) {
        TZqDatSView *V = TZqDatSView::CreateForTable(this, "", "", 0);
        V->SetCreatorKind(4);
        // The view is already in the list: it is renamed to the unique name.
        std::string Name = FViews->BuildUniqueName("_Zq_ZqF");
        V->SetName(Name);
        FDefaultView = V;
    }
    return FDefaultView;
}

TZqDatSView *TZqDatSTable::Select(const std::string &AFilter, const std::string &ASort, TZqDatSRowStates AStates) {
    TZqDatSView *V = TZqDatSView::CreateForTable(this, AFilter, ASort, AStates);
    V->SetName(FViews->BuildUniqueName("_Zq_SEL"));
    V->SetCreatorKind(7);
    return V;
}

void TZqDatSTable::HandleNotification(TZqDatSNotification &N) {
    if (N.ListKind == 1 && (FLoadMode == lmBatch || FLoadMode == lmFetchAll)) return;
    FColumns->HandleNotification(N);
    FConstraints->HandleNotification(N);
    FRows->HandleNotification(N);
    FViews->HandleNotification(N);
    if (N.Kind == nkAfterRemove && N.Item) {
        if (N.Item == FDefaultView) FDefaultView = nullptr;
        if (N.Item == FView2) FView2 = nullptr;
        if (N.Item == FView3) FView3 = nullptr;
    }
}

void TZqDatSTable::AfterInsert() {
    FManager = FOwner ? FOwner->GetManager() : nullptr;
    if (FManager) FOwnJournal = !FManager->UpdatesRegistry();
}

void TZqDatSTable::AfterRemove(TZqDatSObject *) { FManager = nullptr; }

void TZqDatSTable::BeforeRemove() {
    if (FLoadMode == lmClearing) return;
    FViews->SetViewsActive(false);
    Reset();
}

void TZqDatSTable::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSTable *>(ASource);
    DATS_ASSERT(S != nullptr);
    Reset();
    TZqDatSBindedObject::Assign(S);
    FRows->SetCapacity(S->FRows->Capacity());
    FCaseSensitive = S->FCaseSensitive;
    FLocale = S->FLocale;
    FOwnJournal = S->FOwnJournal;
    FColumns->Assign(S->Columns());
    FViews->Assign(S->Views());
    FDefaultView = S->FDefaultView ? FViews->FindView(S->FDefaultView->Name()) : nullptr;
    FView2 = S->FView2 ? FViews->FindView(S->FView2->Name()) : nullptr;
    FView3 = S->FView3 ? FViews->FindView(S->FView3->Name()) : nullptr;
    FConstraints->Assign(S->Constraints());
}

bool TZqDatSTable::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSNamedObject::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSTable *>(AOther);
    return FRows->Capacity() == O->FRows->Capacity() && FCaseSensitive == O->FCaseSensitive &&
           FLocale == O->FLocale && ConstraintsEnforced() == O->ConstraintsEnforced() &&
           FColumns->IsEqual(O->Columns()) && FConstraints->IsEqual(O->Constraints()) && FOwnJournal == O->FOwnJournal;
}

// ---- import -------------------------------------------------------------

TZqDatSRow *TZqDatSTable::ImportRow(TZqDatSRow *ASource, TZqDatSRow *ADestination) {
    DATS_ASSERT(ASource != nullptr && ASource != ADestination);
    DATS_ASSERT(!ADestination || ADestination->Table() == this);
    TZqDatSRow *Dst = ADestination;
    bool Created = false;
    TZqDatSRowState SrcState = ASource->FRowState, SrcPrior = ASource->FPriorState;
    TZqDatSRowState DstState = rsDetached, DstPrior = rsDetached;
    bool SrcForcedDetached = SrcState == rsForceWrite && SrcPrior == rsDetached;
    if (Dst) {
        DstState = Dst->FRowState;
        DstPrior = Dst->FPriorState;
    } else {
        Dst = NewRow(true);
        Created = true;
        DstState = Dst->FRowState;
        DstPrior = Dst->FPriorState;
    }
    bool DstForced = DstState == rsForceWrite && DstPrior == rsDetached;
    // The destination's own buffers: those the source lacks are dropped
    // only once the copy has succeeded, so a failed import leaves a
    // caller's row as it was.
    const bool HadOriginal = Dst->FOriginal, HadCurrent = Dst->FCurrent, HadProposed = Dst->FProposed;
    bool SrcInTable = SrcState >= rsInserted && !SrcForcedDetached && ASource->FOwner != ASource->FTable;
    bool DstInTable = Dst->InTable();
    try {
        // Column mapping: same structure copies raw by index; otherwise by
        // name, raw for equal types and through a variant for others.
        TZqDatSTable *ST = ASource->FTable;
        bool Same = ST == this && ASource->FLayout == Dst->FLayout;
        int N = ASource->FLayout->ColumnCount;
        std::vector<int> Map(size_t(N), -1);
        std::vector<bool> Raw(size_t(N), true);
        for (int I = 0; I < N; ++I) {
            if (Same) {
                Map[size_t(I)] = I;
                continue;
            }
            int J = ST->Columns()->GetItem(I) ? FColumns->IndexOfName(ST->Columns()->GetItem(I)->Name()) : -1;
            Map[size_t(I)] = J;
            if (J >= 0)
                Raw[size_t(I)] = Dst->FLayout->Columns[size_t(J)].DataType ==
                                 ASource->FLayout->Columns[size_t(I)].DataType;
        }
        const TZqDatSRowState Versions[3] = {rsImportingCurent, rsImportingOriginal, rsImportingProposed};
        for (TZqDatSRowState V : Versions) {
            uint8_t *SB = V == rsImportingCurent ? ASource->FCurrent
                          : V == rsImportingOriginal ? ASource->FOriginal : ASource->FProposed;
            if (!SB) continue;
            uint8_t *&DB = V == rsImportingCurent ? Dst->FCurrent : V == rsImportingOriginal ? Dst->FOriginal : Dst->FProposed;
            if (!DB) DB = Dst->NewBuffer();
            TZqTempState GS(ASource, V);
            TZqTempState GD(Dst, V);
            ASource->FRowState = V;
            Dst->FRowState = V;
            for (int I = 0; I < N; ++I) {
                int J = Map[size_t(I)];
                if (J < 0) continue;
                const TZqDatSLayoutColumn &SC = ASource->FLayout->Columns[size_t(I)];
                if (IsRefType(SC.DataType)) continue;
                if (Raw[size_t(I)]) {
                    void *P = nullptr;
                    uint32_t L = 0;
                    if (ASource->GetData(I, rvDefault, P, 0, L, false))
                        Dst->SetData(J, P, L);
                    else
                        Dst->SetData(J, nullptr, 0);
                } else {
                    Dst->SetDataFromVariant(J, ASource->GetDataAsVariant(I, rvDefault));
                }
            }
        }
        if (!ASource->FOriginal) Dst->FreeBuffer(Dst->FOriginal);
        if (!ASource->FCurrent) Dst->FreeBuffer(Dst->FCurrent);
        if (!ASource->FProposed) Dst->FreeBuffer(Dst->FProposed);
        if (SrcInTable && (!DstInTable || DstForced)) {
            Dst->FRowState = (SrcState == rsDeleted || SrcState == rsUnchanged) ? rsImportingOriginal : rsImportingCurent;
            FRows->Add(Dst);
            DstInTable = true;
        }
        Dst->FRowState = SrcState;
        Dst->FPriorState = SrcPrior;
        if (ASource->GetRowError()) Dst->SetRowError(ASource->GetRowError());
        if (DstInTable && !DstForced) {
            if (SrcState != rsInserted) Dst->SendRowChanged();
            if (Dst->HasErrors()) Dst->SendNotify(nkRowErrorChanged, 1, Dst, Dst);
            if (SrcState == rsInserted || SrcState == rsDeleted || SrcState == rsModified) Dst->JournalAdd();
        }
        if (SrcState != rsEditing && DstInTable) {
            if (SrcState != rsForceWrite || SrcPrior != rsDetached) Dst->FreeBuffer(Dst->FProposed);
        }
    } catch (...) {
        // Only a row made here is freed; a row the caller passed in gets its
        // states back, and the source keeps its own (restored by the guards).
        if (Created) {
            if (Dst->InTable()) {
                Dst->FRowState = rsInserted;
                FRows->Remove(Dst, false);
            } else {
                delete Dst;
            }
        } else {
            if (!HadOriginal) Dst->FreeBuffer(Dst->FOriginal);
            if (!HadCurrent) Dst->FreeBuffer(Dst->FCurrent);
            if (!HadProposed) Dst->FreeBuffer(Dst->FProposed);
            Dst->FRowState = DstState;
            Dst->FPriorState = DstPrior;
        }
        ASource->FRowState = SrcState;
        ASource->FPriorState = SrcPrior;
        throw;
    }
    return Dst;
}

// ---- table list ---------------------------------------------------------

TZqDatSTableList::TZqDatSTableList(TZqDatSManager *AManager) {
    DATS_ASSERT(AManager != nullptr);
    FOwner = AManager;
    FOwnsItems = true;
}

TZqDatSManager *TZqDatSTableList::GetManager() { return static_cast<TZqDatSManager *>(FOwner); }

TZqDatSTable *TZqDatSTableList::AddTable(const std::string &AName) {
    return AddOwned(std::make_unique<TZqDatSTable>(AName));
}

TZqDatSTable *TZqDatSTableList::TableByName(const std::string &AName) {
    return static_cast<TZqDatSTable *>(ItemByName(AName));
}

} // namespace dats
