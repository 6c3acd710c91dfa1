// qxZqDatSView: views, their incremental maintenance and the view list.
#include "dataaccess/dats/qxZqDatSView.h"

#include <algorithm>
#include <typeinfo>

#include "dataaccess/dats/qxZqDatSAggregate.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/rtl/SysUtils.h"

namespace dats {



TZqDatSView::TZqDatSView() : TZqDatSCounted(this) {
    SetDefaultName("TZqDatSView");
    FMechanisms = std::make_unique<TZqDatSViewMechList>(this);
    FRows = std::make_unique<TZqDatSViewRowList>(this);
    FAggregates = std::make_unique<TZqDatSAggregateList>(this);
}

TZqDatSView::~TZqDatSView() {
    BeginUpdate();
    FActive = false;
    FUsable = false;
    FreeOwnedPart(FAggregates);
    FreeOwnedPart(FMechanisms);
    FreeOwnedPart(FRows);
}

TZqDatSView *TZqDatSView::CreateForTable(TZqDatSTable *ATable, const std::string &AFilter, const std::string &ASort,
                                         TZqDatSRowStates AStates) {
    DATS_ASSERT(ATable != nullptr);
    auto V = std::make_unique<TZqDatSView>();
    if (!ASort.empty()) V->FMechanisms->AddSort(ASort);
    if (!AFilter.empty()) V->FMechanisms->AddFilter(AFilter);
    V->FMechanisms->AddRowState(AStates ? AStates : CDefaultViewRowStates);
    V->FActive = true;
    return ATable->Views()->AddOwned(std::move(V));
}

TZqDatSView *TZqDatSView::CreateEx(TZqDatSTable *ATable, const std::string &AName, uint8_t ACreatorKind,
                                   bool ACountRef) {
    DATS_ASSERT(ATable != nullptr);
    auto V = std::make_unique<TZqDatSView>();
    if (!AName.empty()) V->FName = ATable->Views()->BuildUniqueName(AName);
    V->FCreatorKind = ACreatorKind;
    TZqDatSView *P = ATable->Views()->AddOwned(std::move(V));
    if (ACountRef) P->CountRef(1);
    return P;
}


TZqDatSTable *TZqDatSView::GetTable() {
    auto *L = dynamic_cast<TZqDatSViewList *>(FOwner);
    return L ? L->GetTable() : nullptr;
}

// ---- activity -----------------------------------------------------------

bool TZqDatSView::ComputeUsable() {
    if (!FActive) return false;
    auto *L = dynamic_cast<TZqDatSViewList *>(FOwner);
    if (!L || !L->GetTable() || !L->ViewsActive()) return false;
    if (FSourceView) return FSourceView->FActive && FSourceView->GetTable() == L->GetTable();
    return true;
}

void TZqDatSView::SetActive(bool AValue) {
    if (AValue == FActive) return;
    FActive = AValue;
    UpdateActive();
}

void TZqDatSView::UpdateActive() {
    bool U = ComputeUsable();
    if (U == FUsable) return;
    FUsable = U;
    BeginUpdate();
    try {
        for (int I = 0; I < FMechanisms->Count(); ++I)
            if (FMechanisms->GetItem(I)->Kinds() & mkSort) FMechanisms->GetItem(I)->UpdateActualActive();
        FindSortMech();
        for (int I = 0; I < FMechanisms->Count(); ++I)
            if (!(FMechanisms->GetItem(I)->Kinds() & mkSort)) FMechanisms->GetItem(I)->UpdateActualActive();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    if (U) {
        RebuildIfNeeded();
    } else {
        // An unusable view drops its rows at once: rows freed while nothing
        // tells it (a suspending load mode) must never stay in it.
        Invalidate();
    }
    // Views built on this one follow its activity.
    if (TZqDatSTable *T = GetTable()) {
        TZqDatSViewList *L = T->Views();
        for (int I = 0; I < L->Count(); ++I)
            if (L->GetItem(I)->FSourceView == this) L->GetItem(I)->UpdateActive();
    }
}

void TZqDatSView::FindSortMech(TZqDatSView *AExcluded) {
    FSortMech = nullptr;
    for (int I = FMechanisms->Count() - 1; I >= 0; --I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (M->ActualActive() && (M->Kinds() & mkSort))
            if (auto *S = dynamic_cast<IZqDataMechSort *>(M)) {
                FSortMech = S;
                return;
            }
    }
    if (FSourceView && FSourceView != AExcluded) FSortMech = FSourceView->FSortMech;
}

void TZqDatSView::SetSourceView(TZqDatSView *AView) {
    DATS_ASSERT(AView != this);
    if (AView == FSourceView) return;
    SetActive(false);
    FSourceView = AView;
    if (AView) {
        TZqDatSTable *T = GetTable();
        if (T && AView->GetTable() == T) {
            TZqDatSViewList *L = T->Views();
            int Mine = L->IndexOf(this), Its = L->IndexOf(AView);
            // A source always precedes the views built on it.
            if (Its > Mine && Mine >= 0) L->Move(Its, Mine);
        }
    }
}

bool TZqDatSView::SourceInRowIDOrder() {
    if (FSourceView) return FSourceView->FRows->InRowIDOrder();
    TZqDatSTable *T = GetTable();
    return T && T->Rows()->InOrder();
}

bool TZqDatSView::IsSourceOf(TZqDatSView *AView) {
    for (TZqDatSView *S = AView ? AView->FSourceView : nullptr; S; S = S->FSourceView)
        if (S == this) return true;
    return false;
}

// ---- rebuild ------------------------------------------------------------

void TZqDatSView::Invalidate() {
    if (FRows->Count() > 0) FRows->Clear();
    FPositionHint = -1;
    FLastPosition = -1;
    FEditRow = nullptr;
    FEditPos = -1;
    FStateFlags |= 1;
}

bool TZqDatSView::AcceptedByFilters(TZqDatSRow *ARow) {
    for (int I = 0, N = FMechanisms->Count(); I < N; ++I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (!M->ActualActive() || M->Passive() || !(M->Kinds() & mkFilter)) continue;
        if (!M->AcceptRow(ARow, rvDefault)) return false;
    }
    return true;
}

void TZqDatSView::Rebuild() {
    Invalidate();
    TZqDatSTable *T = GetTable();
    if (!T) return;
    TZqDatSRowListBase *Src = FSourceView ? static_cast<TZqDatSRowListBase *>(FSourceView->FRows.get())
                                          : static_cast<TZqDatSRowListBase *>(T->Rows());
    int Lo = 0, Hi = Src->Count() - 1;
    bool Replaced = false;
    for (int I = 0; I < FMechanisms->Count(); ++I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (!M->ActualActive() || M->Passive()) continue;
        if (auto *R = dynamic_cast<TZqDatSMechRange *>(M)) {
            // A range narrows by binary search only over rows sorted by its
            // own sort: the source view's rows.
            if (FSourceView && R->Sort() && R->Sort() == FSourceView->FSortMech && !Replaced) {
                TZqDatSRowListBase *Rows = Src;
                int L2 = Lo, H2 = Hi;
                if (R->NarrowRange(Rows, L2, H2)) {
                    if (L2 > Lo) Lo = L2;
                    if (H2 < Hi) Hi = H2;
                }
            }
        } else if (M->Kinds() & mkNarrowing) {
            TZqDatSRowListBase *Rows = Src;
            int L2 = Lo, H2 = Hi;
            if (M->NarrowRange(Rows, L2, H2)) {
                if (Rows != Src) {
                    Src = Rows;
                    Lo = L2;
                    Hi = H2;
                    Replaced = true;
                } else {
                    if (L2 > Lo) Lo = L2;
                    if (H2 < Hi) Hi = H2;
                }
            }
        }
    }
    if (Lo < 0) Lo = 0;
    if (Hi >= Src->Count()) Hi = Src->Count() - 1;
    if (Hi >= Lo) FRows->SetCapacity(0);
    TZqDatSRow **A = Src->RowData();
    bool HasFilters = false;
    for (int I = 0; I < FMechanisms->Count(); ++I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (M->ActualActive() && !M->Passive() && (M->Kinds() & mkFilter)) HasFilters = true;
    }
    for (int I = Lo; I <= Hi; ++I) {
        TZqDatSRow *R = A[I];
        TZqDatSRowState S = R->RowState();
        if (S == rsEditing || S == rsChecking) continue;
        if (HasFilters && !AcceptedByFilters(R)) continue;
        FRows->InsertRow(R, -1);
    }
    bool Sorted = false;
    for (int I = 0; I < FMechanisms->Count(); ++I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (!M->ActualActive() || !(M->Kinds() & mkSort)) continue;
        if (auto *S = dynamic_cast<IZqDataMechSort *>(M)) {
            S->Sort(FRows.get());
            Sorted = true;
        }
    }
    bool SourceInOrder = FSourceView ? FSourceView->FRows->InRowIDOrder()
                                     : static_cast<TZqDatSTableRowList *>(T->Rows())->InOrder();
    FRows->SetInRowIDOrder(!Sorted && !Replaced && SourceInOrder && !(FSortMech && FSortMech->GetSortKind() != skRowNumber));
    if (Sorted && FSortMech && FSortMech->GetSortKind() == skRowNumber) FRows->SetInRowIDOrder(true);
    FStateFlags &= uint8_t(~1);
    FAggregates->Recalc();
}

void TZqDatSView::RebuildIfNeeded() {
    if (FUsable && (FStateFlags & 1)) Rebuild();
}

void TZqDatSView::ForceRebuild() {
    if (FUsable)
        Rebuild();
    else
        Invalidate();
}

// ---- maintenance --------------------------------------------------------

int TZqDatSView::InsertPosition(TZqDatSRow *ARow, int AOldPos) {
    // The upper bound of the row among the other rows of the list (the row
    // itself, at AOldPos, left out), under the sort with row-number ties.
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(FSortMech);
    int N = FRows->Count() - (AOldPos >= 0 ? 1 : 0);
    TZqDatSRow **A = FRows->RowData();
    auto At = [&](int I) { return A[(AOldPos >= 0 && I >= AOldPos) ? I + 1 : I]; };
    int Lo = 0, Hi = N;
    bool RowOrder = !(FSortMech->GetSortOptions() & (soUnique | soPrimary));
    std::unique_ptr<TZqDatSSortKey> Key;
    if (Sort)
        Key = std::make_unique<TZqDatSSortKey>(Sort, ARow, rvDefault, Sort->CompareOptions(), -1, nullptr, nullptr,
                                               RowOrder || Sort->GetSortKind() == skRowNumber);
    while (Lo < Hi) {
        int Mid = Lo + (Hi - Lo) / 2;
        TZqDatSRow *M = At(Mid);
        int C = Key ? Key->Compare(M) : FSortMech->CompareRows(M, ARow, -1);
        if (C > 0)
            Hi = Mid;
        else
            Lo = Mid + 1;
    }
    return Lo;
}

int TZqDatSView::RowChanged(TZqDatSRow *ARow, int &ANewPos, int &AOldPos, bool AInsert) {
    FLastPosition = -1;
    if (AInsert) {
        AOldPos = -1;
        ANewPos = FPositionHint;
        FPositionHint = -1;
    } else {
        AOldPos = FPositionHint;
        FPositionHint = -1;
        if (AOldPos >= 0 && AOldPos < FRows->Count() && FRows->GetItem(AOldPos) == ARow) {
            ANewPos = AOldPos;
        } else if (FEditRow == ARow && FEditPos == -1) {
            // The row was not in the view when its edit began, and an edited
            // row neither enters a view nor is placed by a rebuild.
            AOldPos = ANewPos = -1;
        } else if (FEditRow == ARow && FEditPos >= 0 && FEditPos < FRows->Count() &&
                   FRows->GetItem(FEditPos) == ARow) {
            AOldPos = ANewPos = FEditPos;
        } else {
            AOldPos = ANewPos = IndexOf(ARow, rvPrevious);
        }
        if (FEditRow == ARow) {
            FEditRow = nullptr;
            FEditPos = -1;
        }
    }
    if (!AcceptedByFilters(ARow)) {
        if (AOldPos != -1) {
            FAggregates->RowRemoving(AOldPos);
            FRows->RemoveRow(AOldPos);
        }
        return 1;
    }
    if (!AInsert && AOldPos != -1 && (!FSortMech || FSortMech->GetSortKind() == skRowNumber)) {
        FAggregates->RowMoved(AOldPos, AOldPos);
        ANewPos = AOldPos;
        FLastPosition = ANewPos;
        return 2;
    }
    int P;
    if (!FSortMech) {
        if (AInsert && ANewPos >= 0 && ANewPos <= FRows->Count()) {
            P = ANewPos;
        } else if (FRows->InRowIDOrder() && SourceInRowIDOrder() && ARow->RowID() != -1) {
            // A row coming (back) into an unsorted view takes its place in
            // the source's order, where a rebuild would put it.
            TZqDatSRow **A = FRows->RowData();
            P = int(std::lower_bound(A, A + FRows->Count(), ARow,
                                     [](TZqDatSRow *X, TZqDatSRow *Y) {
                                         return uint32_t(X->RowID()) < uint32_t(Y->RowID());
                                     }) -
                    A);
        } else {
            P = FRows->Count();
        }
    } else {
        P = InsertPosition(ARow, AOldPos);
    }
    if (AOldPos != -1) {
        if (P != AOldPos) FRows->MoveRow(AOldPos, P);
        FAggregates->RowMoved(AOldPos, P);
    } else {
        FRows->InsertRow(ARow, P);
        FAggregates->RowInserted(P);
    }
    ANewPos = P;
    FLastPosition = P;
    return 0;
}

void TZqDatSView::SendChange(uint8_t AKind, int ANewIndex, int AOldIndex, TZqDatSRow *ARow) {
    TZqDatSViewChange Ch;
    Ch.ChangeKind = AKind;
    Ch.NewIndex = ANewIndex;
    Ch.OldIndex = AOldIndex;
    Ch.Row = ARow;
    TZqDatSNotification N;
    N.Kind = nkViewRowsChanged;
    N.Sender = this;
    N.Change = &Ch;
    Notify(N);
}

void TZqDatSView::RowInserted(TZqDatSRow *ARow) {
    if (!FUsable) {
        Invalidate();
        return;
    }
    int NewPos, OldPos;
    if (RowChanged(ARow, NewPos, OldPos, true) == 0) SendChange(0, NewPos, -1, ARow);
}

void TZqDatSView::RowModified(TZqDatSRow *ARow) {
    if (!FUsable) {
        Invalidate();
        return;
    }
    int NewPos, OldPos;
    switch (RowChanged(ARow, NewPos, OldPos, false)) {
    case 0:
        if (OldPos != -1)
            SendChange(1, NewPos, OldPos, ARow);
        else
            SendChange(0, NewPos, -1, ARow);
        break;
    case 1:
        if (OldPos != -1) SendChange(2, OldPos, -1, ARow);
        break;
    default:
        // Kept in place (an unsorted view): views built on this one still
        // judge the new values.
        if (OldPos != -1) SendChange(1, OldPos, OldPos, ARow);
        break;
    }
}

void TZqDatSView::RowRemoved(TZqDatSRow *ARow) {
    if (!FUsable) {
        Invalidate();
        return;
    }
    int Pos = -1;
    if (FPositionHint >= 0 && FPositionHint < FRows->Count() && FRows->GetItem(FPositionHint) == ARow)
        Pos = FPositionHint;
    else
        Pos = IndexOf(ARow, rvPrevious);
    FPositionHint = -1;
    if (FEditRow == ARow) {
        FEditRow = nullptr;
        FEditPos = -1;
    }
    if (Pos < 0) return;
    FAggregates->RowRemoving(Pos);
    FRows->RemoveRow(Pos);
    SendChange(2, Pos, -1, ARow);
}

// ---- search -------------------------------------------------------------

int TZqDatSView::SortedIndexOf(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) {
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(FSortMech);
    if (!Sort) return -1;
    uint8_t Kind = Sort->GetSortKind();
    if (Kind == skExpression && AVersion != rvDefault) return -1;
    if (Kind == skRowNumber) {
        if (ARow->RowID() == -1) return -1;
    } else if (!ARow->GetBuffer(AVersion)) {
        return -1;
    }
    bool RowOrder = Kind == skRowNumber || !Sort->Unique();
    TZqDatSCompareRowsCache Cache;
    TZqDatSRow **A = FRows->RowData();
    int Lo = 0, Hi = FRows->Count();
    TZqDatSSortKey Key(Sort, ARow, AVersion, Sort->CompareOptions(), -1, nullptr, nullptr, RowOrder);
    // Lower bound of the row's key.
    while (Lo < Hi) {
        int Mid = Lo + (Hi - Lo) / 2;
        int C = Key.Compare(A[Mid]);
        if (C < 0)
            Lo = Mid + 1;
        else
            Hi = Mid;
    }
    // Only the very row counts as a hit; equal keys of a unique sort are
    // walked.
    for (int I = Lo; I < FRows->Count(); ++I) {
        if (A[I] == ARow) return I;
        if (RowOrder) break;
        if (Sort->CompareKey(A[I], ARow, AVersion, Sort->CompareOptions() | cmpCache, -1, nullptr, nullptr, &Cache,
                             false) != 0)
            break;
    }
    return -1;
}

int TZqDatSView::IndexOf(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) {
    DATS_ASSERT(ARow != nullptr);
    TZqDatSTable *T = GetTable();
    if (T && T->DefaultView() == this && !FSortMech) {
        int I = T->Rows()->IndexOf(ARow);
        if (I >= 0 && I < FRows->Count() && FRows->GetItem(I) == ARow) return I;
    }
    if (FSortMech) {
        int I = SortedIndexOf(ARow, AVersion);
        if (I >= 0) return I;
        // A deleted row keeps the values it was sorted by as its default
        // version; look there before scanning.
        if (AVersion == rvPrevious) {
            I = SortedIndexOf(ARow, rvDefault);
            if (I >= 0) return I;
        }
    }
    return FRows->FindRow(ARow);
}

int TZqDatSView::Search(TZqDatSRow *AKeyRow, TZqDatSColumnSublist *AKeyColumns, TZqDatSColumnSublist *AKeyRowColumns,
                        int AColumnCount, TZqDatSSearchOptions AOptions, int &AIndex, bool &AFound,
                        TZqDatSRowVersion AVersion) {
    DATS_ASSERT(AKeyRow != nullptr);
    AIndex = -1;
    AFound = false;
    int Result = -1;
    bool Done = false;
    if (FSortMech) {
        bool Can = true;
        if (AKeyColumns) {
            TZqSortOptions Req = (AOptions & srNoCase) ? soNoCase : 0;
            TZqSortOptions Forb = (AOptions & srNoCase) ? 0 : soNoCase;
            Can = FSortMech->MatchesColumns(AKeyColumns, AColumnCount, Req, Forb);
        }
        if (Can) {
            FSortMech->Search(FRows.get(), AKeyRow, AVersion, AFound, AIndex, AOptions & (srPartial | srNoCase | srLast |
                                                                                    srSkipKeyRow | srRowOrder),
                              AColumnCount, AKeyRowColumns, AKeyColumns);
            Result = AFound ? 0 : -1;
            Done = true;
        }
    }
    if (!Done) {
        TZqDatSTable *T = GetTable();
        TZqDatSLoadMode Mode = T ? T->LoadMode() : lmNormal;
        bool Skip = (Mode == lmFetchRowset || Mode == lmFetchAll) && AKeyRow->RowState() == rsUnchanged &&
                    (AKeyRow->PriorState() == rsInitializing || AKeyRow->PriorState() == rsDetached);
        if (!Skip) {
            if (AKeyRow->Table() == T && AKeyRow->InTable()) {
                // A row of this table is found by identity; a detached row
                // (a locate key) is searched by its values below.
                AIndex = IndexOf(AKeyRow, AVersion);
                AFound = AIndex >= 0;
            } else {
                TZqDatSCompareOptions O = cmpCache;
                if (AOptions & srPartial) O |= cmpPartial;
                if (AOptions & srNoCase) O |= cmpNoCase;
                TZqDatSCompareRowsCache Cache;
                for (int I = 0; I < FRows->Count(); ++I) {
                    TZqDatSRow *R = FRows->GetItem(I);
                    if ((AOptions & srSkipKeyRow) && R == AKeyRow) continue;
                    if (TZqDatSRow::CompareRows(R, AKeyColumns, nullptr, &Cache, O, rvDefault, AKeyRowColumns, AKeyRow,
                                                AColumnCount, nullptr, AVersion) == 0) {
                        AIndex = I;
                        AFound = true;
                        break;
                    }
                }
            }
            if (AFound) Result = 0;
        }
    }
    if (!AFound && (AOptions & srEndPosition)) {
        AIndex = FRows->Count();
        Result = 1;
    }
    return Result;
}

int TZqDatSView::GetSortKeyCount() {
    if (!FSortMech) return 0;
    switch (FSortMech->GetSortKind()) {
    case skColumns: return FSortMech->GetSortColumns()->Count();
    case skExpression: return 1;
    default: return 0;
    }
}

TZqDatSMechBase *TZqDatSView::FindMechanism(const std::type_info &AClass, uint8_t AKindBit) {
    for (int I = 0; I < FMechanisms->Count(); ++I) {
        TZqDatSMechBase *M = FMechanisms->GetItem(I);
        if (typeid(*M) == AClass && (AKindBit == 0 || (M->Kinds() & AKindBit))) return M;
    }
    return nullptr;
}

std::string TZqDatSView::GetRowFilter() {
    auto *F = static_cast<TZqDatSMechFilter *>(FindMechanism(typeid(TZqDatSMechFilter), 0));
    return F ? F->Expression() : std::string();
}

void TZqDatSView::SetRowFilter(const std::string &AText) {
    auto *F = static_cast<TZqDatSMechFilter *>(FindMechanism(typeid(TZqDatSMechFilter), 0));
    if (F) {
        F->SetExpression(AText);
        F->SetActive(true);
    } else {
        FMechanisms->AddFilter(AText);
    }
}

bool TZqDatSView::FindFilteredRow(int &AIndex, bool AForward, bool ARestart) {
    int I = ARestart ? (AForward ? 0 : FRows->Count() - 1) : (AForward ? AIndex + 1 : AIndex - 1);
    for (; I >= 0 && I < FRows->Count(); I += AForward ? 1 : -1) {
        TZqDatSRow *R = FRows->GetItem(I);
        bool Ok = true;
        for (int K = 0; K < FMechanisms->Count() && Ok; ++K) {
            TZqDatSMechBase *M = FMechanisms->GetItem(K);
            if (M->ActualActive() && M->Passive() && (M->Kinds() & mkFilter)) Ok = M->AcceptRow(R, rvDefault);
        }
        if (Ok) {
            AIndex = I;
            return true;
        }
    }
    return false;
}

void TZqDatSView::DeleteRows() {
    for (int I = FRows->Count() - 1; I >= 0; --I)
        if (I < FRows->Count()) FRows->GetItem(I)->Delete();
}

// ---- notifications ------------------------------------------------------

void TZqDatSView::HandleNotification(TZqDatSNotification &N) {
    FMechanisms->HandleNotification(N);
    FAggregates->HandleNotification(N);
    if (N.Kind == nkMechanismChanged) {
        auto *M = dynamic_cast<TZqDatSMechBase *>(N.Sender);
        if (M && (M->View() == this || (M->View() && M->View()->IsSourceOf(this)))) {
            FindSortMech();
            ForceRebuild();
        }
        return;
    }
    if (N.Kind == nkBeforeRemove) {
        if (auto *V = dynamic_cast<TZqDatSView *>(N.Item)) {
            if (V == FSourceView)
                SetSourceView(nullptr);
            else if (V->IsSourceOf(this))
                FindSortMech(V);
            return;
        }
    }
    TZqDatSTable *T = GetTable();
    if (!T) return;
    if (!FSourceView) {
        switch (N.Kind) {
        case nkAfterInsert:
            if (N.Sender == T->Rows()) RowInserted(static_cast<TZqDatSRow *>(N.Item));
            break;
        case nkAfterRemove:
            if (N.Sender == T->Rows()) RowRemoved(static_cast<TZqDatSRow *>(N.Item));
            break;
        case nkRowChanged:
        case nkRowErrorChanged: {
            auto *R = dynamic_cast<TZqDatSRow *>(N.Sender);
            if (!R || R->Table() != T) break;
            TZqDatSRowState S = R->RowState();
            if (N.Kind == nkRowChanged && S == rsEditing) {
                // Where the row stands while its old key is still readable.
                // A binary search by the key the row is sorted by: the
                // previous version while it is being edited.
                if (FUsable && FSortMech && FSortMech->GetSortKind() == skColumns) {
                    FEditRow = R;
                    FEditPos = SortedIndexOf(R, rvPrevious);
                }
                break;
            }
            if (N.Kind == nkRowChanged && S >= rsImportingCurent && S <= rsImportingProposed) break;
            RowModified(R);
            break;
        }
        default: break;
        }
    } else if (N.Kind == nkViewRowsChanged && N.Sender == FSourceView && N.Change) {
        switch (N.Change->ChangeKind) {
        case 0: RowInserted(N.Change->Row); break;
        case 1: RowModified(N.Change->Row); break;
        case 2: RowRemoved(N.Change->Row); break;
        default: break;
        }
    }
}

void TZqDatSView::AfterInsert() { UpdateActive(); }

void TZqDatSView::BeforeRemove() { SetActive(false); }

void TZqDatSView::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSView *>(ASource);
    DATS_ASSERT(S != nullptr);
    SetActive(false);
    TZqDatSNamedObject::Assign(S);
    FCreatorKind = S->FCreatorKind;
    TZqDatSView *Src = nullptr;
    if (S->FSourceView && GetTable()) Src = GetTable()->Views()->FindView(S->FSourceView->Name());
    SetSourceView(Src);
    FMechanisms->Assign(S->FMechanisms.get());
    SetActive(S->FActive);
}

bool TZqDatSView::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSNamedObject::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSView *>(AOther);
    std::string A = FSourceView ? FSourceView->Name() : "", B = O->FSourceView ? O->FSourceView->Name() : "";
    return A == B && FMechanisms->IsEqual(O->FMechanisms.get());
}

// ---- view list ----------------------------------------------------------

TZqDatSViewList::TZqDatSViewList(TZqDatSTable *ATable) : FTable(ATable) {
    DATS_ASSERT(ATable != nullptr);
    FOwner = ATable;
}

TZqDatSView *TZqDatSViewList::FindView(const std::string &AName) {
    return static_cast<TZqDatSView *>(ItemByName(AName));
}

TZqDatSView *TZqDatSViewList::FindSortedView(const std::string &AColumnNames, TZqSortOptions ARequired,
                                             TZqSortOptions AForbidden, bool AExact) {
    for (int I = 0; I < Count(); ++I) {
        TZqDatSView *V = GetItem(I);
        if (!V->IsValid() || V->Mechanisms()->Count() != 1) continue;
        TZqDatSMechBase *M = V->Mechanisms()->GetItem(0);
        if (M->Kinds() != mkSort) continue;
        auto *S = dynamic_cast<IZqDataMechSort *>(M);
        if (!S || !S->MatchesColumnNames(AColumnNames, ARequired, AForbidden)) continue;
        if (AExact && rtl::CompareText(static_cast<TZqDatSMechSort *>(M)->Columns(), AColumnNames) != 0) continue;
        return V;
    }
    return nullptr;
}

void TZqDatSViewList::SetViewsActive(bool AValue) {
    if (AValue == FViewsActive) return;
    FViewsActive = AValue;
    for (int I = 0; I < Count(); ++I) GetItem(I)->UpdateActive();
    if (AValue)
        for (int I = 0; I < Count(); ++I) GetItem(I)->RebuildIfNeeded();
}

void TZqDatSViewList::RebuildAll() {
    for (int I = 0; I < Count(); ++I) GetItem(I)->Rebuild();
}

void TZqDatSViewList::Clear() {
    for (int I = 0; I < Count(); ++I) GetItem(I)->SetActive(false);
    TZqDatSNamedList::Clear();
}

void TZqDatSViewList::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSViewList *>(ASource);
    DATS_ASSERT(S != nullptr);
    SetViewsActive(false);
    TZqDatSNamedList::Assign(S);
    SetViewsActive(S->FViewsActive);
}

void TZqDatSViewList::HandleNotification(TZqDatSNotification &N) {
    if (N.ListKind == 1 && (FTable->LoadMode() == lmBatch || FTable->LoadMode() == lmFetchAll)) return;
    for (int I = 0; I < Count(); ++I) GetItem(I)->HandleNotification(N);
}

} // namespace dats
