// qxZqDatSRowList: row lists, their sort and the per-row aggregate storage.
#include "dataaccess/dats/qxZqDatSRowList.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSSortRows.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"

namespace dats {

// ---- base ---------------------------------------------------------------

int TZqDatSRowListBase::Add(TZqDatSRow *ARow) {
    Insert(ARow, -1);
    return Count() - 1;
}

namespace {

struct TSorter {
    TZqDatSRowCompare Cmp;
    void *Ctx;
    uint8_t Opt;
    int operator()(TZqDatSRow *A, TZqDatSRow *B) const { return Cmp(Ctx, A, B, Opt, -1); }
};

} // namespace

void TZqDatSRowListBase::Sort(uint8_t AOptions, TZqDatSRowCompare ACompare, void *AContext) {
    DATS_ASSERT(reinterpret_cast<uintptr_t>(ACompare) >= 65536);
    DatSSortRows(RowData(), Count(), TSorter{ACompare, AContext, AOptions});
}

void TZqDatSRowListBase::CheckDuplicates(uint8_t AOptions, TZqDatSRowCompare ACompare, void *AContext) {
    DATS_ASSERT(reinterpret_cast<uintptr_t>(ACompare) >= 65536);
    for (int I = 0; I + 1 < Count(); ++I) {
        if (ACompare(AContext, GetItem(I), GetItem(I + 1), AOptions, -1) == 0) {
            auto *N = dynamic_cast<TZqDatSNamedObject *>(FOwner);
            DatSError(15, N ? N->Name() : std::string());
        }
    }
}

std::string TZqDatSRowListBase::ColumnText(const std::string &AColumnName, const std::string &ASeparator,
                                           const std::string &ANullText) {
    std::string R;
    for (int I = 0; I < Count(); ++I) {
        TZqDatSRow *Row = GetItem(I);
        TZqDatSColumn *C = Row->Table()->Columns()->ColumnByName(AColumnName);
        rtl::Variant V = Row->GetDataAsVariantByColumn(C);
        if (I) R += ASeparator;
        R += V.IsNull() ? ANullText : rtl::VarToStr(V);
    }
    return R;
}

void TZqDatSRowListBase::DumpColumn(int AColumn, bool AWithName, std::string &AText) {
    if (Count() == 0) return;
    TZqDatSColumn *C = GetItem(0)->Table()->Columns()->GetItem(AColumn);
    if (AWithName) AText += C->Name() + ": ";
    AText += ColumnText(C->Name(), "; ", "<null>");
}

void TZqDatSRowListBase::MoveRow(int AFrom, int ATo) { Move(AFrom, ATo); }

// ---- aggregate storage --------------------------------------------------

void TZqDatSRowListWithAggregates::TAggRows::Insert(int APos, int ASlotCount) {
    // Room first, so that nothing can fail between making the array and
    // storing it.
    FItems.reserve(FItems.size() + 1);
    auto New = std::make_unique<TSlots>(size_t(ASlotCount));
    FItems.insert(FItems.begin() + APos, New.get());
    (void)New.release();
}

void TZqDatSRowListWithAggregates::TAggRows::Erase(int APos) {
    delete FItems[size_t(APos)];
    FItems.erase(FItems.begin() + APos);
}

void TZqDatSRowListWithAggregates::TAggRows::Move(int AFrom, int ATo) {
    if (AFrom < ATo)
        std::rotate(FItems.begin() + AFrom, FItems.begin() + AFrom + 1, FItems.begin() + ATo + 1);
    else if (AFrom > ATo)
        std::rotate(FItems.begin() + ATo, FItems.begin() + AFrom, FItems.begin() + AFrom + 1);
}

void TZqDatSRowListWithAggregates::TAggRows::Clear() {
    for (TSlots *S : FItems) delete S;
    FItems.clear();
}

TZqDatSRowListWithAggregates::~TZqDatSRowListWithAggregates() { ClearAllSlots(); }

void TZqDatSRowListWithAggregates::Insert(TZqDatSObject *AItem, int AIndex) {
    int Pos = AIndex < 0 ? Count() : AIndex;
    TZqDatSRowListBase::Insert(AItem, AIndex);
    if (FSlotCapacity > 0) FAggRows.Insert(Pos, FSlotCapacity);
}

void TZqDatSRowListWithAggregates::RemoveAt(int AIndex, bool AKeep) {
    if (AIndex < FAggRows.Size()) FAggRows.Erase(AIndex);
    TZqDatSRowListBase::RemoveAt(AIndex, AKeep);
}

void TZqDatSRowListWithAggregates::Clear() {
    FAggRows.Clear();
    TZqDatSRowListBase::Clear();
}

void TZqDatSRowListWithAggregates::MoveRow(int AFrom, int ATo) {
    TZqDatSRowListBase::MoveRow(AFrom, ATo);
    if (AFrom < FAggRows.Size() && ATo < FAggRows.Size()) FAggRows.Move(AFrom, ATo);
}

int TZqDatSRowListWithAggregates::TakeSlot() {
    int Slot = -1;
    for (int I = 0; I < 64; ++I)
        if (!(FSlotMap & (uint64_t(1) << I))) {
            Slot = I;
            break;
        }
    if (Slot < 0) DatSError(30);
    while (FAggRows.Size() < Count()) FAggRows.Insert(FAggRows.Size(), FSlotCapacity);
    if (Slot >= FSlotCapacity) {
        for (TSlots *S : FAggRows) S->resize(size_t(Slot + 4));
        FSlotCapacity = Slot + 4;
    }
    FSlotMap |= uint64_t(1) << Slot;
    for (TSlots *S : FAggRows) (*S)[size_t(Slot)].Reset();
    if (Slot + 1 > FSlotCount) FSlotCount = Slot + 1;
    return Slot;
}

void TZqDatSRowListWithAggregates::FreeSlot(int &ASlot) {
    if (ASlot < 0) return;
    ClearSlot(ASlot);
    FSlotMap &= ~(uint64_t(1) << ASlot);
    if (ASlot == FSlotCount - 1) --FSlotCount;
    ASlot = -1;
}

void TZqDatSRowListWithAggregates::SetValue(int ARow, int ASlot, TZqDatSAggregateValue *AValue) {
    DATS_ASSERT(ARow >= 0 && ARow < FAggRows.Size() && ASlot >= 0 && ASlot < FSlotCapacity);
    FAggRows[ARow][size_t(ASlot)].Reset(AValue);
}

TZqDatSAggregateValue *TZqDatSRowListWithAggregates::GetValue(int ARow, int ASlot) const {
    if (ARow < 0 || ARow >= FAggRows.Size() || ASlot < 0 || ASlot >= FSlotCapacity) return nullptr;
    return FAggRows[ARow][size_t(ASlot)].Get();
}

void TZqDatSRowListWithAggregates::ClearValue(int ARow, int ASlot) { SetValue(ARow, ASlot, nullptr); }

void TZqDatSRowListWithAggregates::ClearSlot(int ASlot) {
    if (ASlot < 0 || ASlot >= FSlotCapacity) return;
    for (TSlots *S : FAggRows) (*S)[size_t(ASlot)].Reset();
}

void TZqDatSRowListWithAggregates::ClearAllSlots() {
    FAggRows.Clear();
    FSlotMap = 0;
    FSlotCapacity = 0;
    FSlotCount = 0;
}

// ---- table row list -----------------------------------------------------

TZqDatSTableRowList::TZqDatSTableRowList(TZqDatSTable *ATable) : FTable(ATable) {
    DATS_ASSERT(ATable != nullptr);
    FOwner = ATable;
    FOwnsItems = true;
}

int32_t TZqDatSTableRowList::TakeRowID() {
    DATS_ASSERT(FNextRowID != -1);
    return FNextRowID++;
}

void TZqDatSTableRowList::Insert(TZqDatSObject *AItem, int AIndex) {
    auto *Row = static_cast<TZqDatSRow *>(AItem);
    bool AtEnd = AIndex == -1 || AIndex == Count();
    // A row that keeps an old number (one taken out and put back) breaks
    // the order as surely as an insertion in the middle.
    int32_t LastID = Count() > 0 ? GetItem(Count() - 1)->RowID() : -1;
    TZqDatSRowListWithAggregates::Insert(AItem, AIndex);
    if (!AtEnd || (Row->RowID() != -1 && Count() > 1 && uint32_t(Row->RowID()) <= uint32_t(LastID)))
        FInOrder = false;
}

void TZqDatSTableRowList::RemoveAt(int AIndex, bool AKeep) {
    TZqDatSRowListWithAggregates::RemoveAt(AIndex, AKeep);
    if (Count() == 0) FInOrder = true;
}

void TZqDatSTableRowList::Clear() {
    TZqDatSRowListWithAggregates::Clear();
    FNextRowID = 0;
    FInOrder = true;
}

int TZqDatSTableRowList::IndexOf(TZqDatSObject *AItem) {
    DATS_ASSERT(AItem != nullptr);
    if (!FInOrder) return TZqDatSList::IndexOf(AItem);
    auto *Row = static_cast<TZqDatSRow *>(AItem);
    int32_t ID = Row->RowID();
    if (ID == -1 || Count() == 0) return -1;
    int Lo = 0, Hi = Count() - 1;
    TZqDatSRow **A = RowData();
    while (Lo <= Hi) {
        int Mid = (Lo + Hi) / 2;
        int32_t M = A[Mid]->RowID();
        if (M == ID) return A[Mid] == Row ? Mid : -1;
        if (M < ID)
            Lo = Mid + 1;
        else
            Hi = Mid - 1;
    }
    return -1;
}

// ---- view row list ------------------------------------------------------

TZqDatSViewRowList::TZqDatSViewRowList(TZqDatSView *AView) {
    DATS_ASSERT(AView != nullptr);
    FOwner = AView;
    FUpdateLock = 1;
}

void TZqDatSViewRowList::InsertRow(TZqDatSRow *ARow, int AIndex) {
    int Pos = AIndex < 0 ? Count() : AIndex;
    if (FInRowIDOrder) {
        uint32_t ID = uint32_t(ARow->RowID());
        if ((Pos > 0 && uint32_t(GetItem(Pos - 1)->RowID()) >= ID) ||
            (Pos < Count() && uint32_t(GetItem(Pos)->RowID()) <= ID))
            FInRowIDOrder = false;
    }
    TZqDatSRowListWithAggregates::Insert(reinterpret_cast<TZqDatSObject *>(ARow), AIndex);
}

void TZqDatSViewRowList::RemoveRow(int AIndex) { TZqDatSRowListWithAggregates::RemoveAt(AIndex, true); }

void TZqDatSViewRowList::Clear() {
    TZqDatSRowListWithAggregates::Clear();
    FInRowIDOrder = false;
}

int TZqDatSViewRowList::FindRow(TZqDatSRow *ARow) {
    if (FInRowIDOrder && ARow->RowID() != -1) {
        uint32_t ID = uint32_t(ARow->RowID());
        int Lo = 0, Hi = Count() - 1;
        TZqDatSRow **A = RowData();
        while (Lo <= Hi) {
            int Mid = (Lo + Hi) / 2;
            uint32_t M = uint32_t(A[Mid]->RowID());
            if (M == ID) {
                if (A[Mid] == ARow) return Mid;
                break;
            }
            if (M < ID)
                Lo = Mid + 1;
            else
                Hi = Mid - 1;
        }
    }
    TZqDatSRow **A = RowData();
    for (int I = 0, N = Count(); I < N; ++I)
        if (A[I] == ARow) return I;
    return -1;
}

// ---- nested row list ----------------------------------------------------

TZqDatSNestedRowList::TZqDatSNestedRowList(TZqDatSRow *AParent) : FParent(AParent) {
    DATS_ASSERT(AParent != nullptr);
    FOwner = AParent;
    FUpdateLock = 1;
}

void TZqDatSNestedRowList::Insert(TZqDatSObject *AItem, int AIndex) {
    (void)AIndex;
    DATS_ASSERT(AItem != nullptr);
    // Linking the row under the parent adds it here.
    static_cast<TZqDatSRow *>(AItem)->SetParentRow(FParent);
}

void TZqDatSNestedRowList::RemoveAt(int AIndex, bool AKeep) {
    (void)AKeep;
    GetItem(AIndex)->SetParentRow(nullptr);
}

void TZqDatSNestedRowList::RemoveLinked(TZqDatSRow *ARow) {
    for (int I = Count() - 1; I >= 0; --I)
        if (GetItem(I) == ARow) {
            RawRemoveAt(I);
            return;
        }
}

} // namespace dats
