// qxZqDatSMech: the mechanism base, the mechanism list, and the row-state,
// range, filter and child-rows mechanisms.
#include "dataaccess/dats/qxZqDatSMech.h"

#include "dataaccess/dats/qxZqDatSExpr.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"

namespace dats {



// ---- base ---------------------------------------------------------------

TZqDatSView *TZqDatSMechBase::View() const {
    auto *L = dynamic_cast<TZqDatSViewMechList *>(FOwner);
    return L ? L->View() : nullptr;
}

TZqDatSTable *TZqDatSMechBase::GetTable() {
    TZqDatSView *V = View();
    return V ? V->GetTable() : nullptr;
}

bool TZqDatSMechBase::GetActualActive() {
    TZqDatSView *V = View();
    return FActive && V && V->GetActualActive();
}

void TZqDatSMechBase::ActualActiveChanged() {
    if (!FPassive) SendNotify(nkMechanismChanged, 0, nullptr, this);
}

void TZqDatSMechBase::UpdateActualActive() {
    bool A = GetActualActive();
    if (A == FActualActive) return;
    FActualActive = A;
    try {
        ActualActiveChanged();
    } catch (...) {
        // A mechanism that cannot prepare stays off.
        FActualActive = false;
        FActive = false;
        throw;
    }
}

void TZqDatSMechBase::SetActive(bool AValue) {
    if (AValue == FActive) return;
    FActive = AValue;
    UpdateActualActive();
}

bool TZqDatSMechBase::NarrowRange(TZqDatSRowListBase *&, int &, int &) { return false; }

bool TZqDatSMechBase::AcceptRow(TZqDatSRow *, TZqDatSRowVersion) { return true; }

void TZqDatSMechBase::Assign(TZqDatSObject *ASource) {
    if (auto *S = dynamic_cast<TZqDatSMechBase *>(ASource)) SetActive(S->FActive);
}

bool TZqDatSMechBase::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSObject::IsEqual(AOther)) return false;
    return FActive == static_cast<TZqDatSMechBase *>(AOther)->FActive;
}

// ---- row state ----------------------------------------------------------

TZqDatSMechRowState::TZqDatSMechRowState(TZqDatSRowStates AStates) : FStates(AStates) { FKinds = mkFilter; }

void TZqDatSMechRowState::SetStates(TZqDatSRowStates AValue) {
    if (AValue == FStates) return;
    SetActive(false);
    FStates = AValue;
}

bool TZqDatSMechRowState::AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion) {
    TZqDatSRowState S = ARow->RowState();
    return S <= 15 && (FStates & RowStateBit(S)) != 0;
}

void TZqDatSMechRowState::Assign(TZqDatSObject *ASource) {
    if (auto *S = dynamic_cast<TZqDatSMechRowState *>(ASource)) {
        SetStates(S->FStates);
        TZqDatSMechBase::Assign(S);
    }
}

bool TZqDatSMechRowState::IsEqual(TZqDatSObject *AOther) {
    return TZqDatSMechBase::IsEqual(AOther) && FStates == static_cast<TZqDatSMechRowState *>(AOther)->FStates;
}

// ---- range --------------------------------------------------------------

TZqDatSMechRange::TZqDatSMechRange() { FKinds = mkFilter; }

void TZqDatSMechRange::SetTop(TZqDatSRow *ARow) {
    if (ARow == FTop) return;
    SetActive(false);
    FTop = ARow;
}
void TZqDatSMechRange::SetBottom(TZqDatSRow *ARow) {
    if (ARow == FBottom) return;
    SetActive(false);
    FBottom = ARow;
}
void TZqDatSMechRange::SetTopExclusive(bool AValue) {
    if (AValue == FTopExclusive) return;
    SetActive(false);
    FTopExclusive = AValue;
}
void TZqDatSMechRange::SetBottomExclusive(bool AValue) {
    if (AValue == FBottomExclusive) return;
    SetActive(false);
    FBottomExclusive = AValue;
}
void TZqDatSMechRange::SetTopColumnCount(int AValue) {
    if (AValue == FTopColumnCount) return;
    SetActive(false);
    FTopColumnCount = AValue;
}
void TZqDatSMechRange::SetBottomColumnCount(int AValue) {
    if (AValue == FBottomColumnCount) return;
    SetActive(false);
    FBottomColumnCount = AValue;
}
void TZqDatSMechRange::SetSort(IZqDataMechSort *ASort) {
    if (ASort == FSort) return;
    SetActive(false);
    FSort = ASort;
}
void TZqDatSMechRange::SetTopColumns(TZqDatSColumnSublist *AColumns) {
    if (AColumns == FTopColumns) return;
    SetActive(false);
    FTopColumns = AColumns;
}
void TZqDatSMechRange::SetBottomColumns(TZqDatSColumnSublist *AColumns) {
    if (AColumns == FBottomColumns) return;
    SetActive(false);
    FBottomColumns = AColumns;
}

void TZqDatSMechRange::ActualActiveChanged() {
    if (FActualActive && !FSort)
        if (TZqDatSView *V = View()) FSort = V->SortMech();
    TZqDatSMechBase::ActualActiveChanged();
}

void TZqDatSMechRange::HandleNotification(TZqDatSNotification &N) {
    // The sort the range compares with may be switched off or removed: the
    // range then stops using it rather than read a stale key.
    if (!FSort) return;
    if (N.Kind == nkMechanismChanged) {
        auto *M = dynamic_cast<TZqDatSMechBase *>(N.Sender);
        if (M && dynamic_cast<IZqDataMechSort *>(M) == FSort && !M->ActualActive()) FSort = nullptr;
    } else if (N.Kind == nkBeforeRemove && N.Item) {
        if (dynamic_cast<IZqDataMechSort *>(N.Item) == FSort) FSort = nullptr;
    }
}

bool TZqDatSMechRange::AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion) {
    if (!FSort || (FSort->GetSortKind() == skColumns && FSort->GetSortColumns()->Count() == 0)) return true;
    TZqSortOptions SO = FSort->GetSortOptions();
    TZqDatSCompareOptions O = 0;
    if (SO & soNoCase) O |= cmpNoCase;
    if (SO & soNullLess) O |= cmpNullFirst;
    if (SO & soDescending) O |= cmpDescending;
    if (FTop) {
        int C = TZqDatSRow::CompareRows(ARow, FSort->GetSortColumns(), FSort->GetDescendingColumns(), nullptr, O,
                                        rvDefault, FTopColumns, FTop, FTopColumnCount, FSort->GetNoCaseColumns());
        if (!(C > 0 || (C == 0 && !FTopExclusive))) return false;
    }
    if (FBottom) {
        int C = TZqDatSRow::CompareRows(ARow, FSort->GetSortColumns(), FSort->GetDescendingColumns(), nullptr, O,
                                        rvDefault, FBottomColumns, FBottom, FBottomColumnCount,
                                        FSort->GetNoCaseColumns());
        if (!(C < 0 || (C == 0 && !FBottomExclusive))) return false;
    }
    return true;
}

bool TZqDatSMechRange::NarrowRange(TZqDatSRowListBase *&ARows, int &AFirst, int &ALast) {
    if (!FSort || !FTop || !FBottom) return NarrowsUnsorted();
    TZqDatSSearchOptions O = srPartial;
    if (FSort->GetSortOptions() & soNoCase) O |= srNoCase;
    bool Found;
    int Index;
    // The narrowed span holds every row the range accepts: it runs from the
    // first row not below the top key to the last row not above the bottom
    // key; AcceptRow still decides the exclusive bounds.
    FSort->Search(ARows, FTop, rvDefault, Found, Index, O, FTopColumnCount, FTopColumns, nullptr);
    int First = Index < 0 ? 0 : Index;
    if (!Found && Index >= 0 && Index < ARows->Count()) {
        // The search may stop one row short of the insertion point.
        auto *S = dynamic_cast<TZqDatSMechSort *>(FSort);
        if (S && S->CompareKey(ARows->GetItem(Index), FTop, rvDefault, S->CompareOptions(), FTopColumnCount,
                               FTopColumns, nullptr, nullptr, false) < 0)
            ++First;
    }
    FSort->Search(ARows, FBottom, rvDefault, Found, Index, O | srLast, FBottomColumnCount, FBottomColumns, nullptr);
    int Last = Index >= ARows->Count() ? ARows->Count() - 1 : Index;
    if (!Found && Index >= 0 && Index < ARows->Count()) {
        auto *S = dynamic_cast<TZqDatSMechSort *>(FSort);
        if (S && S->CompareKey(ARows->GetItem(Index), FBottom, rvDefault, S->CompareOptions(), FBottomColumnCount,
                               FBottomColumns, nullptr, nullptr, false) > 0)
            --Last;
    }
    AFirst = First;
    ALast = Last;
    return true;
}

void TZqDatSMechRange::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSMechRange *>(ASource);
    if (!S) return;
    SetSort(S->FSort);
    SetTopExclusive(S->FTopExclusive);
    SetBottomExclusive(S->FBottomExclusive);
    SetTopColumnCount(S->FTopColumnCount);
    SetBottomColumnCount(S->FBottomColumnCount);
    TZqDatSTable *T = GetTable();
    if (!S->FTop || S->FTop->Table() != T) SetTop(S->FTop);
    if (!S->FBottom || S->FBottom->Table() != T) SetBottom(S->FBottom);
    TZqDatSMechBase::Assign(S);
}

bool TZqDatSMechRange::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSMechBase::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSMechRange *>(AOther);
    return FSort == O->FSort && FTopExclusive == O->FTopExclusive && FBottomExclusive == O->FBottomExclusive &&
           FTopColumnCount == O->FTopColumnCount && FBottomColumnCount == O->FBottomColumnCount;
}

// ---- filter -------------------------------------------------------------

TZqDatSMechFilter::TZqDatSMechFilter(const std::string &AExpression, uint8_t AOptions, TZqDatSFilterRowEvent ACallback)
    : FExpression(AExpression), FOptions(AOptions), FCallback(std::move(ACallback)) {
    FKinds = mkFilter;
}

TZqDatSMechFilter::~TZqDatSMechFilter() = default;

void TZqDatSMechFilter::SetExpression(const std::string &AValue) {
    if (AValue == FExpression) return;
    SetActive(false);
    FExpression = AValue;
}

void TZqDatSMechFilter::SetOptions(uint8_t AValue) {
    if (AValue == FOptions) return;
    SetActive(false);
    FOptions = AValue;
}

void TZqDatSMechFilter::SetCallback(TZqDatSFilterRowEvent AValue) {
    SetActive(false);
    FCallback = std::move(AValue);
}

void TZqDatSMechFilter::ActualActiveChanged() {
    if (FActualActive && !FExpression.empty())
        FEvaluator = TZqDatSExpression::Prepare(GetTable(), FExpression, FOptions, 1, "");
    else
        FEvaluator.reset();
    TZqDatSMechBase::ActualActiveChanged();
}

bool TZqDatSMechFilter::AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) {
    if (FEvaluator) {
        rtl::Variant V = FEvaluator->Evaluate(ARow);
        // A condition that is NULL (or unassigned) does not hold: the row is
        // rejected.
        if (V.IsClear()) return false;
        if (!V.AsBoolean()) return false;
    }
    if (FCallback) return FCallback(this, ARow, AVersion);
    return true;
}

void TZqDatSMechFilter::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSMechFilter *>(ASource);
    if (!S) return;
    SetOptions(S->FOptions);
    SetExpression(S->FExpression);
    SetCallback(S->FCallback);
    TZqDatSMechBase::Assign(S);
}

bool TZqDatSMechFilter::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSMechBase::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSMechFilter *>(AOther);
    // Callbacks are compared by presence: a std::function has no identity.
    return FExpression == O->FExpression && FOptions == O->FOptions && bool(FCallback) == bool(O->FCallback);
}

// ---- child rows ---------------------------------------------------------

TZqDatSMechChilds::TZqDatSMechChilds(TZqDatSRow *AParent) : FParent(AParent) { FKinds = mkFilter | mkNarrowing; }

TZqDatSMechChilds::~TZqDatSMechChilds() = default;

void TZqDatSMechChilds::SetParentRow(TZqDatSRow *AValue) {
    if (AValue == FParent) return;
    SetActive(false);
    FParent = AValue;
}

void TZqDatSMechChilds::ActualActiveChanged() {
    FSingle.reset();
    FRefColumn = -1;
    FRefType = dtUnknown;
    if (FActualActive && FParent) {
        TZqDatSTable *T = GetTable();
        TZqDatSManager *M = T ? T->GetManager() : nullptr;
        TZqDatSRelation *R = M ? M->Relations()->FindRelation(FParent->Table(), T, false) : nullptr;
        if (!R || !R->GetParentColumn(0)) {
            FActive = false;
            FActualActive = false;
            return;
        }
        FRefColumn = R->GetParentColumn(0)->Index();
        FRefType = R->GetParentColumn(0)->DataType();
        if (FRefType == dtRowRef || FRefType == dtArrayRef) FSingle = std::make_unique<TZqDatSNestedRowList>(FParent);
    }
    TZqDatSMechBase::ActualActiveChanged();
}

bool TZqDatSMechChilds::NarrowRange(TZqDatSRowListBase *&ARows, int &AFirst, int &ALast) {
    if (!FParent || FRefColumn < 0) {
        ALast = -1;
        return true;
    }
    if (FRefType == dtRowSetRef || FRefType == dtCursorRef) {
        ARows = FParent->GetNestedRows(FRefColumn);
    } else if (FSingle) {
        while (FSingle->Count() > 0) FSingle->RemoveLinked(FSingle->GetItem(0));
        if (TZqDatSRow *R = FParent->GetNestedRow(FRefColumn)) FSingle->AddLinked(R);
        ARows = FSingle.get();
    }
    AFirst = 0;
    ALast = ARows ? ARows->Count() - 1 : -1;
    return true;
}

bool TZqDatSMechChilds::AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion) {
    if (!FParent || FRefColumn < 0) return false;
    if (FRefType == dtRowSetRef || FRefType == dtCursorRef) {
        TZqDatSNestedRowList *L = FParent->GetNestedRows(FRefColumn);
        for (int I = 0; L && I < L->Count(); ++I)
            if (L->GetItem(I) == ARow) return true;
        return false;
    }
    return FParent->GetNestedRow(FRefColumn) == ARow;
}

void TZqDatSMechChilds::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSMechChilds *>(ASource);
    if (!S) return;
    if (!S->FParent || S->FParent->Table() != GetTable()) SetParentRow(S->FParent);
    TZqDatSMechBase::Assign(S);
}

// ---- mechanism list -----------------------------------------------------

TZqDatSViewMechList::TZqDatSViewMechList(TZqDatSView *AView) : FView(AView) {
    DATS_ASSERT(AView != nullptr);
    FOwner = AView;
    FOwnsItems = true;
}

TZqDatSTable *TZqDatSViewMechList::GetTable() { return FView->GetTable(); }

int TZqDatSViewMechList::AddMech(TZqDatSMechBase *AMech) { return AddSafe(AMech); }

TZqDatSMechSort *TZqDatSViewMechList::AddSort(const std::string &AColumns, TZqSortOptions AOptions,
                                              const std::string &ADescending, const std::string &ANoCase) {
    auto S = std::make_unique<TZqDatSMechSort>();
    S->SetColumns(AColumns);
    S->SetDescendingColumns(ADescending);
    S->SetNoCaseColumns(ANoCase);
    if (AOptions) S->SetSortOptions(AOptions);
    S->SetActive(true);
    return AddOwned(std::move(S));
}

TZqDatSMechSort *TZqDatSViewMechList::AddSortExpression(const std::string &AExpression, TZqSortOptions AOptions) {
    auto S = std::make_unique<TZqDatSMechSort>();
    S->SetExpression(AExpression);
    if (AOptions) S->SetSortOptions(AOptions);
    S->SetActive(true);
    return AddOwned(std::move(S));
}

TZqDatSMechFilter *TZqDatSViewMechList::AddFilter(const std::string &AExpression, uint8_t AOptions,
                                                  TZqDatSFilterRowEvent ACallback) {
    auto F = std::make_unique<TZqDatSMechFilter>(AExpression, AOptions, std::move(ACallback));
    F->SetActive(true);
    return AddOwned(std::move(F));
}

TZqDatSMechRowState *TZqDatSViewMechList::AddRowState(TZqDatSRowStates AStates) {
    auto M = std::make_unique<TZqDatSMechRowState>(AStates);
    M->SetActive(true);
    return AddOwned(std::move(M));
}

void TZqDatSViewMechList::Clear() {
    for (int I = 0; I < Count(); ++I) GetItem(I)->SetActive(false);
    TZqDatSList::Clear();
}

void TZqDatSViewMechList::HandleNotification(TZqDatSNotification &N) {
    if (N.ListKind == 1) return;
    TZqDatSList::HandleNotification(N);
}

} // namespace dats
