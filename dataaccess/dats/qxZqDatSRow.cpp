// qxZqDatSRow: row memory, the state machine, journal links, errors, locks
// and nested rows.
#include "dataaccess/dats/qxZqDatSRow.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSExpr.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"

namespace dats {



namespace {
bool IsTempState(TZqDatSRowState S) {
    return S == rsInitializing || S == rsCalculating || S == rsChecking || S == rsForceWrite;
}
bool IsImporting(TZqDatSRowState S) { return S >= rsImportingCurent && S <= rsImportingProposed; }
} // namespace

// ---- temporary states ---------------------------------------------------

TZqTempState::TZqTempState(TZqDatSRow *ARow, TZqDatSRowState ATemp)
    : FRow(ARow), FSavedState(ARow->FRowState), FSavedPrior(ARow->FPriorState) {
    // Nested temporary states keep the real state underneath.
    if (!IsTempState(ARow->FRowState)) ARow->FPriorState = ARow->FRowState;
    ARow->FRowState = ATemp;
}

TZqTempState::~TZqTempState() {
    FRow->FRowState = FSavedState;
    FRow->FPriorState = FSavedPrior;
}

// ---- construction and destruction --------------------------------------

TZqDatSRow::TZqDatSRow(TZqDatSTable *ATable, TZqDatSRowLayout *ALayout) : FTable(ATable), FLayout(ALayout) {
    FOwner = ATable;
}

TZqDatSRow *TZqDatSRow::Create(TZqDatSTable *ATable, bool AAssignDefaults) {
    DATS_ASSERT(ATable != nullptr);
    ATable->EnsureLayout();
    TZqDatSRowLayout *L = ATable->Columns()->Layout();
    DATS_ASSERT(L != nullptr && L->RowObjectSize >= sizeof(TZqDatSRow));
    void *Mem = std::malloc(L->RowAllocSize());
    if (!Mem) throw std::bad_alloc();
    std::unique_ptr<TZqDatSRow> R(new (Mem) TZqDatSRow(ATable, L));
    std::memset(R->Tail(), 0, L->ChangedBitsSize + L->RefSlotsSize);
    R->FProposed = R->NewBuffer();
    if (L->RefCount > 0) {
        for (const TZqDatSLayoutColumn &C : L->Columns)
            if (C.RefSlot >= 0 && (C.DataType == dtRowSetRef || C.DataType == dtCursorRef))
                R->SetSlot(C.RefSlot, new TZqDatSNestedRowList(R.get()));
    }
    if (AAssignDefaults) R->AssignDefaults();
    R->SetAllChanged(!IsFetchLoadMode(ATable->LoadMode()));
    return R.release();
}

void TZqDatSRow::operator delete(void *APtr) noexcept { std::free(APtr); }

TZqDatSRow::~TZqDatSRow() {
    // A detached row may outlive its table (a kept locate row): it touches
    // nothing of the table here, only its own layout.
    if (FOwner == FTable) FOwner = nullptr;
    if (FRowState == rsEditing) {
        FreeBuffer(FProposed);
        FRowState = FPriorState;
    }
    FPriorState = FRowState;
    FRowState = rsDestroying;
    if (FChangeSerial != -1) JournalRemove();
    if (FLayout->ParentRowRefIndex >= 0) {
        try {
            if (GetParentRow()) SetParentRow(nullptr);
        } catch (...) {
        }
    }
    FSide.reset();
    FreeBuffer(FCurrent);
    FreeBuffer(FOriginal);
    FreeBuffer(FProposed);
    FreeNested();
}

void TZqDatSRow::FreeNested() {
    if (FLayout->RefCount == 0) return;
    for (const TZqDatSLayoutColumn &C : FLayout->Columns) {
        if (C.RefSlot < 0) continue;
        void *S = GetSlot(C.RefSlot);
        if (!S) continue;
        SetSlot(C.RefSlot, nullptr);
        if (C.DataType == dtRowSetRef || C.DataType == dtCursorRef) {
            auto *L = static_cast<TZqDatSNestedRowList *>(S);
            // The nested rows belong to their own table's row list; they only
            // lose their parent here.
            while (L->Count() > 0) {
                TZqDatSRow *Child = L->GetItem(L->Count() - 1);
                L->RemoveLinked(Child);
                ReleaseChild(Child);
            }
            delete L;
        } else if (C.DataType == dtRowRef || C.DataType == dtArrayRef) {
            ReleaseChild(static_cast<TZqDatSRow *>(S));
        }
    }
}

void TZqDatSRow::ReleaseChild(TZqDatSRow *AChild) {
    // The child loses its parent; one that is in no table any more (it
    // left with its parent) belongs to nobody else and goes with it.
    if (AChild->FLayout->ParentRowRefIndex >= 0)
        AChild->SetSlot(AChild->FLayout->Columns[size_t(AChild->FLayout->ParentRowRefIndex)].RefSlot, nullptr);
    if (!AChild->InTable()) delete AChild;
}

void *TZqDatSRow::GetSlot(int ARefSlot) const {
    void *P;
    std::memcpy(&P, Tail() + FLayout->ChangedBitsSize + size_t(ARefSlot) * sizeof(void *), sizeof P);
    return P;
}

void TZqDatSRow::SetSlot(int ARefSlot, void *AValue) {
    std::memcpy(Tail() + FLayout->ChangedBitsSize + size_t(ARefSlot) * sizeof(void *), &AValue, sizeof AValue);
}

bool TZqDatSRow::InTable() const {
    return FOwner != nullptr && FOwner == static_cast<TZqDatSObject *>(FTable->Rows());
}

TZqDatSManager *TZqDatSRow::GetManager() { return FTable ? FTable->GetManager() : nullptr; }

bool TZqDatSRow::LoadMode() const { return IsFetchLoadMode(FTable->LoadMode()); }

// ---- buffers ------------------------------------------------------------

uint8_t *TZqDatSRow::CopyBuffer(const uint8_t *ASource) {
    uint8_t *B = NewBuffer();
    if (!ASource) return B;
    std::memcpy(B, ASource, FLayout->BufferSize);
    if (FLayout->LayoutFlags & lfOutOfLine) {
        // Out-of-line values and objects get their own copies.
        for (const TZqDatSLayoutColumn &C : FLayout->Columns) {
            if (!(B[C.NullByte] & C.NullMask)) continue;
            if (C.Blob) {
                uint8_t *Src;
                std::memcpy(&Src, B + C.Offset, sizeof Src);
                if (!Src) continue;
                uint32_t Len = TZqDatSBlobCache::Length(Src);
                uint32_t CharSize = IsWideType(C.DataType) ? 2 : 1;
                uint32_t Term = C.DataType == dtAnsiString ? 1 : C.DataType == dtWideString ? 2 : 0;
                uint8_t *Dst = TZqDatSBlobCache::Alloc(Len, CharSize, Term);
                std::memcpy(TZqDatSBlobCache::Data(Dst), TZqDatSBlobCache::Data(Src), Len * CharSize + Term);
                std::memcpy(B + C.Offset, &Dst, sizeof Dst);
            } else if (C.DataType == dtObject) {
                IZqDatSObjectValue *O;
                std::memcpy(&O, B + C.Offset, sizeof O);
                ZqDatSKeepObject(O);
            }
        }
    }
    return B;
}

void TZqDatSRow::ReleaseValues(uint8_t *ABuffer) {
    if (!(FLayout->LayoutFlags & lfOutOfLine)) return;
    for (const TZqDatSLayoutColumn &C : FLayout->Columns) {
        if (C.Blob) {
            uint8_t *Blk;
            std::memcpy(&Blk, ABuffer + C.Offset, sizeof Blk);
            if (Blk) TZqDatSBlobCache::Release(Blk);
        } else if (C.DataType == dtObject) {
            IZqDatSObjectValue *O;
            std::memcpy(&O, ABuffer + C.Offset, sizeof O);
            ZqDatSDropObject(O);
        }
    }
}

void TZqDatSRow::FreeBuffer(uint8_t *&ABuffer) {
    if (!ABuffer) return;
    ReleaseValues(ABuffer);
    if (ABuffer != InlineBuffer()) FLayout->FreeBuffer(ABuffer);
    ABuffer = nullptr;
}

uint8_t *TZqDatSRow::NewBuffer() {
    uint8_t *Own = InlineBuffer();
    if (FOriginal == Own || FCurrent == Own || FProposed == Own) return FLayout->AllocBuffer();
    std::memset(Own, 0, FLayout->BufferSize ? FLayout->BufferSize : 1);
    return Own;
}

void TZqDatSRow::SetAllChanged(bool AValue) {
    std::memset(Tail(), AValue ? 0xFF : 0, FLayout->ChangedBitsSize);
}

bool TZqDatSRow::GetColumnChanged(int AColumn) const {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    return (Tail()[AColumn / 8] & (1u << (AColumn % 8))) != 0;
}

void TZqDatSRow::SetColumnChanged(int AColumn, bool AValue) {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    uint8_t &B = Tail()[AColumn / 8];
    if (AValue)
        B |= uint8_t(1u << (AColumn % 8));
    else
        B &= uint8_t(~(1u << (AColumn % 8)));
}

// ---- journal ------------------------------------------------------------

TZqDatSUpdatesJournal *TZqDatSRow::Journal() const {
    TZqDatSManager *M = FTable->GetManager();
    if (M && M->UpdatesRegistry()) return M->Journal();
    return FTable->Journal();
}

void TZqDatSRow::JournalAdd() { Journal()->AddRow(this); }

void TZqDatSRow::JournalRemove() {
    if (FChangeSerial == -1) return;
    Journal()->RemoveRow(this);
}

void TZqDatSRow::SendRowChanged() { SendNotify(nkRowChanged, 1, this, this); }

// ---- checks, calculation, defaults ----------------------------------------

void TZqDatSRow::CheckRow(TZqDatSRowState AAction) {
    if (!FOwner) return;
    TZqDatSLoadMode Mode = FTable->LoadMode();
    if ((Mode != lmNormal && Mode != lmRefreshMerge) || FRowState == rsChecking) return;
    TZqDatSManager *M = FTable->GetManager();
    bool TableEnforces = FTable->ConstraintsEnforced() && (!M || M->EnforceConstraints());
    bool HasForeign = M && M->EnforceConstraints() && M->Tables()->Count() > 0;
    if (!TableEnforces && !HasForeign) return;
    TZqTempState Guard(this, rsChecking);
    if (FLayout->ParentRowRefIndex >= 0 && AAction == rsInserted) {
        // A nested row enters its table only under a live parent row.
        TZqDatSRow *P = GetParentRow();
        if (!P || P->FRowState == rsInitializing || P->FRowState == rsDetached || P->FRowState == rsDeleted)
            DatSError(13);
        if (P->FRowState == rsUnchanged) P->BeginEdit();
    }
    if (FLayout->RefCount > 0) FollowNested(AAction);
    if (TableEnforces) {
        if (AAction == rsInserted || AAction == rsModified) {
            TZqDatSColumnList *Cols = FTable->Columns();
            for (int I = 0; I < FLayout->ColumnCount; ++I) {
                const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(I)];
                if (IsRefType(C.DataType)) continue;
                if (IsNull(I, rvDefault) && !Cols->GetItem(I)->GetAllowNull())
                    DatSError(14, Cols->GetItem(I)->Name());
            }
        }
        FTable->Constraints()->CheckAll(this, AAction, 0);
    }
    if (HasForeign) CheckForeignKeys(AAction);
}

void TZqDatSRow::FollowNested(TZqDatSRowState AAction) {
    // Nested rows follow what happens to their parent: they leave with it,
    // enter with it (and have their edits posted), or are deleted with it.
    std::vector<TZqDatSRow *> Kids;
    for (const TZqDatSLayoutColumn &C : FLayout->Columns) {
        if (C.RefSlot < 0 || C.DataType == dtParentRowRef) continue;
        void *S = GetSlot(C.RefSlot);
        if (!S) continue;
        if (C.DataType == dtRowSetRef || C.DataType == dtCursorRef) {
            auto *L = static_cast<TZqDatSNestedRowList *>(S);
            for (int I = 0; I < L->Count(); ++I) Kids.push_back(L->GetItem(I));
        } else {
            Kids.push_back(static_cast<TZqDatSRow *>(S));
        }
    }
    for (TZqDatSRow *K : Kids) {
        switch (AAction) {
        case rsInitializing:
        case rsDetached:
            if (K->InTable() && (K->FRowState == rsInserted || K->FRowState == rsDeleted))
                K->FTable->Rows()->Remove(K, true);
            break;
        case rsInserted:
        case rsModified:
            if (K->FRowState == rsDetached && K->FOwner == K->FTable)
                K->FTable->Rows()->Add(K);
            else if (K->FRowState == rsEditing)
                K->EndEdit();
            break;
        case rsDeleted:
            if (K->InTable() && K->FRowState != rsDeleted) K->Delete(true);
            break;
        default: break;
        }
    }
}

void TZqDatSRow::CheckForeignKeys(TZqDatSRowState AAction) {
    // Every foreign key of the manager's tables that points at this table.
    TZqDatSManager *M = FTable->GetManager();
    if (!M || !M->EnforceConstraints()) return;
    TZqDatSTableList *Tabs = M->Tables();
    for (int T = 0; T < Tabs->Count(); ++T) {
        TZqDatSConstraintList *CL = Tabs->GetItem(T)->Constraints();
        if (!CL->Enforce()) continue;
        for (int I = 0; I < CL->Count(); ++I)
            if (CL->GetItem(I)->RelatedTable() == FTable) CL->GetItem(I)->Check(this, AAction, 0);
    }
}

std::vector<TZqDatSRow *> TZqDatSRow::RowSetChildren() const {
    std::vector<TZqDatSRow *> Kids;
    if (FLayout->RefCount == 0) return Kids;
    for (const TZqDatSLayoutColumn &C : FLayout->Columns) {
        if (C.DataType != dtRowSetRef && C.DataType != dtCursorRef) continue;
        if (auto *L = static_cast<TZqDatSNestedRowList *>(GetSlot(C.RefSlot)))
            for (int I = 0; I < L->Count(); ++I) Kids.push_back(L->GetItem(I));
    }
    return Kids;
}

void TZqDatSRow::Calculate(bool AAllExpressions) {
    if (!(FLayout->LayoutFlags & lfCalculated) && !AAllExpressions) return;
    TZqDatSColumnList *Cols = FTable->Columns();
    if (Cols->Layout() != FLayout) return; // a row of an older structure
    TZqTempState Guard(this, rsCalculating);
    for (int I = 0; I < FLayout->ColumnCount; ++I) {
        TZqDatSColumn *C = Cols->GetItem(I);
        if (C->Expression().empty()) continue;
        if (!AAllExpressions && !HasAttr(C->Attributes(), caCalculated)) continue;
        if (!C->Evaluator()) continue;
        // A column expression is compiled as an assignment to its column:
        // evaluating it stores the value. An evaluator that answers the
        // value instead has it stored here.
        rtl::Variant V = C->Evaluator()->Evaluate(this);
        if (!V.IsEmpty()) SetDataFromVariant(I, V);
    }
    if (!AAllExpressions && FTable->Callback()) FTable->Callback()->CalculateRow(this);
}

void TZqDatSRow::AssignDefaults() {
    if (!(FLayout->LayoutFlags & lfExprOrAutoInc) || LoadMode()) return;
    TZqDatSColumnList *Cols = FTable->Columns();
    if (Cols->Layout() != FLayout) return;
    TZqTempState Guard(this, rsInitializing);
    std::vector<int32_t> &AutoInc = Cols->AutoIncValues();
    for (int I = 0; I < FLayout->ColumnCount; ++I) {
        TZqDatSColumn *C = Cols->GetItem(I);
        if (!C->AutoIncrement() || AutoInc.empty()) continue;
        int32_t V = AutoInc[size_t(I)] += C->AutoIncrementStep();
        switch (C->DataType()) {
        case dtSByte: case dtByte: { uint8_t B = uint8_t(V); SetData(I, &B, 1); break; }
        case dtInt16: case dtUInt16: { uint16_t W = uint16_t(V); SetData(I, &W, 2); break; }
        case dtInt32: case dtUInt32: SetData(I, &V, 4); break;
        case dtInt64: case dtUInt64: { int64_t L = V; SetData(I, &L, 8); break; }
        case dtDouble: { double D = V; SetData(I, &D, 8); break; }
        case dtBCD: case dtFmtBCD: { rtl::TBcd B = rtl::IntegerToBcd(V); SetData(I, &B, 34); break; }
        default: SetData(I, nullptr, 0); break;
        }
    }
    if (FLayout->LayoutFlags & lfDefaults) Calculate(true);
}

// ---- state operations ---------------------------------------------------

void TZqDatSRow::BeginEdit() {
    if (!InTable()) return;
    if (FRowState != rsInserted && FRowState != rsModified && FRowState != rsUnchanged) DatSError(6);
    FProposed = CopyBuffer(GetBuffer(rvCurrent));
    FPriorState = FRowState;
    FRowState = rsEditing;
    SendRowChanged();
}

void TZqDatSRow::CancelEdit() {
    if (FRowState != rsEditing) return;
    for (TZqDatSRow *K : RowSetChildren())
        if (K->FRowState == rsEditing) K->CancelEdit();
    FreeBuffer(FProposed);
    FRowState = FPriorState;
    SendRowChanged();
}

void TZqDatSRow::EndEdit() {
    if (FRowState != rsEditing) return;
    switch (FPriorState) {
    case rsInserted:
    case rsModified: {
        CheckRow(rsModified);
        FreeBuffer(FCurrent);
        FCurrent = FProposed;
        FProposed = nullptr;
        TZqDatSRowState Was = FPriorState;
        FRowState = Was;
        FPriorState = Was == rsInserted ? rsDetached : rsUnchanged;
        break;
    }
    case rsUnchanged:
        CheckRow(rsModified);
        FCurrent = FProposed;
        FProposed = nullptr;
        FRowState = rsModified;
        break;
    default:
        return;
    }
    // Calculated values are in place before the views re-place the row.
    Calculate(false);
    SendRowChanged();
    JournalAdd();
}

void TZqDatSRow::Delete(bool AKeep) {
    switch (FRowState) {
    case rsInitializing: case rsDetached: case rsDeleted: case rsCalculating: case rsChecking: case rsForceWrite:
        DatSError(8);
    default: break;
    }
    // An inserted row being edited leaves the table: its edit is cancelled
    // first, so it never turns into a journalled delete.
    if (FRowState == rsEditing && FPriorState == rsInserted) {
        BeginUpdate();
        FreeBuffer(FProposed);
        FRowState = rsInserted;
        EndUpdate();
    }
    if (FRowState == rsInserted) {
        JournalRemove();
        if (InTable()) FTable->Rows()->Remove(this, AKeep);
        return;
    }
    CheckRow(rsDeleted);
    BeginUpdate();
    if (FRowState == rsEditing) {
        FreeBuffer(FProposed);
        FRowState = FPriorState;
    }
    FRowState = rsDeleted;
    EndUpdate();
    SendRowChanged();
    JournalAdd();
}

void TZqDatSRow::AcceptChanges(bool ACascade) {
    if (IsTempState(FRowState)) DatSError(28);
    for (TZqDatSRow *K : RowSetChildren()) K->AcceptChanges(ACascade);
    if (FRowState == rsEditing) EndEdit();
    JournalRemove();
    if (ACascade && FOwner) CheckForeignKeys(rsUnchanged);
    ClearLockMark();
    switch (FRowState) {
    case rsDeleted:
        if (InTable()) FTable->Rows()->Remove(this, false);
        return;
    case rsInserted:
    case rsModified:
        FreeBuffer(FOriginal);
        FOriginal = FCurrent;
        FCurrent = nullptr;
        FRowState = rsUnchanged;
        SendRowChanged();
        break;
    default: break;
    }
}

void TZqDatSRow::RejectChanges(bool ACascade) {
    if (IsTempState(FRowState)) DatSError(28);
    for (TZqDatSRow *K : RowSetChildren()) K->RejectChanges(ACascade);
    if (FRowState == rsEditing) CancelEdit();
    JournalRemove();
    if (ACascade && FOwner) CheckForeignKeys(rsDestroying);
    ClearLockMark();
    switch (FRowState) {
    case rsInserted:
        if (InTable()) FTable->Rows()->Remove(this, false);
        return;
    case rsDeleted:
    case rsModified:
        FreeBuffer(FCurrent);
        FRowState = rsUnchanged;
        SendRowChanged();
        break;
    default: break;
    }
}

void TZqDatSRow::Clear(bool AAssignDefaults) {
    TZqDatSRowState Was = FRowState;
    bool ForcedDetached = FRowState == rsForceWrite && FPriorState == rsDetached;
    BeginUpdate();
    try {
        if (FRowState == rsEditing) CancelEdit();
        JournalRemove();
        if (FRowState != rsForceWrite) FPriorState = rsDetached;
        bool Detached = FOwner == FTable;
        if (Detached) {
            if (FRowState != rsForceWrite) FRowState = rsDetached;
            FreeBuffer(FCurrent);
            FreeBuffer(FProposed);
            FProposed = NewBuffer();
        } else {
            if (FRowState != rsForceWrite) FRowState = rsInserted;
            FreeBuffer(FProposed);
            FreeBuffer(FCurrent);
            FCurrent = NewBuffer();
        }
        FreeBuffer(FOriginal);
        FreeNested();
        if (FLayout->RefCount > 0)
            for (const TZqDatSLayoutColumn &C : FLayout->Columns)
                if (C.RefSlot >= 0 && (C.DataType == dtRowSetRef || C.DataType == dtCursorRef))
                    SetSlot(C.RefSlot, new TZqDatSNestedRowList(this));
        if (FSide) {
            FSide->Error.reset();
            TrimSide();
        }
        SetAllChanged(true);
        if (AAssignDefaults) AssignDefaults();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    if (Was != rsInitializing && Was != rsDetached && !ForcedDetached) SendRowChanged();
}

void TZqDatSRow::BeginForceWrite() {
    DATS_ASSERT(FRowState == rsInitializing || FRowState == rsDetached);
    FRowState = rsForceWrite;
    FPriorState = rsDetached;
}

void TZqDatSRow::EndForceWrite() {
    DATS_ASSERT(FRowState == rsForceWrite);
    FRowState = rsDetached;
}

// ---- list hooks ---------------------------------------------------------

void TZqDatSRow::BeforeInsert() {
    switch (FRowState) {
    case rsInitializing: case rsDetached: case rsInserted:
    case rsImportingCurent: case rsImportingOriginal: case rsImportingProposed: break;
    default: DatSError(13);
    }
    CheckRow(rsInserted);
}

void TZqDatSRow::AfterInsert() {
    TZqDatSTable *T = FOwner ? FOwner->GetTable() : nullptr;
    if (T) FTable = T;
    if (FRowID == -1) FRowID = FTable->Rows()->TakeRowID();
    if (IsImporting(FRowState)) {
        JournalAdd();
    } else if (LoadMode()) {
        FreeBuffer(FOriginal);
        FRowState = rsUnchanged;
        FOriginal = FProposed;
        FProposed = nullptr;
    } else {
        FRowState = rsInserted;
        FreeBuffer(FCurrent);
        FCurrent = FProposed;
        FProposed = nullptr;
        JournalAdd();
    }
    Calculate(false);
}

void TZqDatSRow::BeforeRemove() {
    if (FRowState == rsDestroying) return;
    if (FRowState == rsEditing) CancelEdit();
    if (FTable->LoadMode() != lmClearing && FRowState != rsInserted && FRowState != rsDeleted) DatSError(8);
    CheckRow(rsDetached);
}

void TZqDatSRow::AfterRemove(TZqDatSObject *) {
    if (FRowState == rsDestroying) return;
    FRowState = rsDetached;
    if (FProposed) FreeBuffer(FProposed);
    FProposed = FCurrent;
    FCurrent = nullptr;
    FOwner = FTable;
    JournalRemove();
}

// ---- side record: errors and locks --------------------------------------

TZqDatSRowSide *TZqDatSRow::Side() {
    if (!FSide) FSide = std::make_unique<TZqDatSRowSide>();
    return FSide.get();
}

void TZqDatSRow::TrimSide() {
    if (FSide && FSide->CheckColumn == -1 && !FSide->Error && FSide->LockMark == 0) {
        FSide.reset();
    }
}

EZqException *TZqDatSRow::GetRowError() const { return FSide ? FSide->Error.get() : nullptr; }

bool TZqDatSRow::SetRowError(const EZqException *AError) {
    bool Had = HasErrors();
    if (AError) {
        std::unique_ptr<EZqException> Copy;
        AError->Duplicate(Copy);
        Side()->Error = std::move(Copy);
    } else if (FSide) {
        FSide->Error.reset();
        TrimSide();
    }
    return Had;
}

void TZqDatSRow::ClearErrors() {
    for (TZqDatSRow *K : RowSetChildren()) K->ClearErrors();
    if (SetRowError(nullptr)) SendNotify(nkRowErrorChanged, 1, this, this);
}

void TZqDatSRow::Lock(int32_t AMark) {
    DATS_ASSERT(AMark != 0);
    if (FSide && FSide->LockMark != 0) DatSError(40);
    Side()->LockMark = AMark;
}

void TZqDatSRow::ClearLockMark() {
    if (!FSide) return;
    FSide->LockMark = 0;
    TrimSide();
}

void TZqDatSRow::Unlock() {
    if (!FSide) return;
    if (FSide->LockMark == 0) DatSError(41);
    FSide->LockMark = 0;
    TrimSide();
}

// ---- nested rows --------------------------------------------------------

TZqDatSRow *TZqDatSRow::GetNestedRow(int AColumn) {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    if (C.DataType != dtRowRef && C.DataType != dtArrayRef && C.DataType != dtParentRowRef)
        DatSError(25, FTable->Columns()->GetItem(AColumn)->Name());
    return static_cast<TZqDatSRow *>(GetSlot(C.RefSlot));
}

TZqDatSNestedRowList *TZqDatSRow::GetNestedRows(int AColumn) {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    if (C.DataType != dtRowSetRef && C.DataType != dtCursorRef)
        DatSError(26, FTable->Columns()->GetItem(AColumn)->Name());
    return static_cast<TZqDatSNestedRowList *>(GetSlot(C.RefSlot));
}

TZqDatSRow *TZqDatSRow::GetParentRow() const {
    if (FLayout->ParentRowRefIndex < 0) return nullptr;
    return static_cast<TZqDatSRow *>(GetSlot(FLayout->Columns[size_t(FLayout->ParentRowRefIndex)].RefSlot));
}

void TZqDatSRow::SetParentRow(TZqDatSRow *AParent) {
    TZqDatSManager *M = FTable->GetManager();
    if (FLayout->ParentRowRefIndex < 0 || !M) DatSError(24);
    TZqDatSRow *Old = GetParentRow();
    if (Old == AParent) return;
    if (Old && AParent) DatSError(23);
    TZqDatSRow *Ref = AParent ? AParent : Old;
    TZqDatSRelation *R = M->Relations()->FindRelation(Ref->FTable, FTable, true);
    if (!R || R->ParentTable() != Ref->FTable || R->ParentColumnCount() == 0) DatSError(23);
    int PCol = R->GetParentColumn(0)->Index();
    // A row being destroyed always lets go of its parent.
    if (FTable->LoadMode() == lmNormal && FRowState != rsDestroying) {
        CheckWritable(FLayout->ParentRowRefIndex);
        Ref->CheckWritable(PCol);
    }
    SetSlot(FLayout->Columns[size_t(FLayout->ParentRowRefIndex)].RefSlot, AParent);
    const TZqDatSLayoutColumn &PC = Ref->FLayout->Columns[size_t(PCol)];
    if (PC.DataType == dtRowSetRef || PC.DataType == dtCursorRef) {
        auto *L = static_cast<TZqDatSNestedRowList *>(Ref->GetSlot(PC.RefSlot));
        if (L) {
            if (AParent)
                L->AddLinked(this);
            else
                L->RemoveLinked(this);
        }
    } else {
        Ref->SetSlot(PC.RefSlot, AParent ? this : nullptr);
    }
}

} // namespace dats
