// qxZqCompDataSet_Index: which rows the dataset's cursor shows and in which
// order. Every choice is a view of the dataset's table:
//   index view  - the sort (IndexFieldNames, IndexName or a TZqIndex);
//   filter view - "_Zq_FLT", stacked on the index view (or the caller-given
//                 or default view) with, in this order, the child-rows,
//                 range, filter and row-state mechanisms that apply;
//   active view - the filter view when there is one, else the index view,
//                 else the caller-given view, else the table's default view.
// Key buffers (SetKey, ranges): six detached rows of the table in
// force-write, each with its Modified and Exclusive flags and key field
// count: 1 range start, 2 range end, 3 and 4 the range in force, 5 the
// copy a cancelled key edit goes back to, 0 the lookup key.
#include "dataaccess/comp/qxZqCompDataSet.h"

#include <algorithm>
#include <cstring>

#include "dataaccess/comp/qxZqCompDataSetInt.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/SysUtils.h"

using namespace dats;
using compds::RaiseDS;

namespace {

uint8_t ExprOptionBits(TZqExpressionOptions AOptions)
{
    uint8_t R = 0;
    if (AOptions.Contains(ekNoCase))
        R |= uint8_t(1u << ekNoCase);
    if (AOptions.Contains(ekPartial))
        R |= uint8_t(1u << ekPartial);
    return R;
}

// The names of AList joined by ";".
std::string JoinNames(const std::vector<std::string> &AList)
{
    std::string R;
    for (const std::string &N : AList) {
        if (!R.empty())
            R += ";";
        R += N;
    }
    return R;
}

// Copies every column value of one detached key row into another.
void CopyRowValues(TZqDatSRow *AFrom, TZqDatSRow *ATo)
{
    TZqDatSTable *T = AFrom->Table();
    for (int C = 0; C < T->Columns()->Count(); ++C) {
        void *P = nullptr;
        uint32_t Len = 0;
        if (AFrom->GetData(C, rvDefault, P, 0, Len, false))
            ATo->SetData(C, P, Len);
        else
            ATo->SetData(C, nullptr, 0);
    }
}

} // namespace

// ---- TZqIndex -------------------------------------------------------------------

TZqIndex::TZqIndex(TZqIndexes *ACollection) : FCollection(ACollection) {}

TZqIndex::~TZqIndex() { ReleaseView(); }

TZqDataSet *TZqIndex::DataSet() const { return FCollection ? FCollection->DataSet() : nullptr; }

std::string TZqIndex::GetDisplayName() const { return FName.empty() ? std::string("TZqIndex") : FName; }

void TZqIndex::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

void TZqIndex::SetName(const std::string &AValue)
{
    if (AValue == FName)
        return;
    // A dataset ordered by this index keeps it under its new name.
    TZqDataSet *DS = DataSet();
    bool Followed = DS && !FName.empty() && rtl::CompareText(FName, DS->FIndexName) == 0;
    FName = AValue;
    if (Followed)
        DS->FIndexName = AValue;
    Changed();
}

void TZqIndex::SetActive(bool AValue)
{
    if (AValue == FActive)
        return;
    TZqDataSet *DS = DataSet();
    bool Reading = DS && (DS->HasState(rtl::csReading) || DS->HasState(rtl::csLoading));
    if (AValue && !Reading && (FName.empty() || (FFields.empty() && FExpression.empty() && FFilter.empty())))
        RaiseDS(209);
    FActive = AValue;
    Changed();
}

void TZqIndex::SetFilter(const std::string &AValue)
{
    if (compds::StoreChanged(FFilter, AValue))
        Changed();
}

void TZqIndex::SetFieldList(std::string &AList, const std::string &AValue)
{
    // A sort by fields replaces a sort by expression.
    if (!compds::StoreChanged(AList, AValue))
        return;
    FExpression.clear();
    Changed();
}

void TZqIndex::SetFields(const std::string &AValue) { SetFieldList(FFields, AValue); }
void TZqIndex::SetCaseInsFields(const std::string &AValue) { SetFieldList(FCaseInsFields, AValue); }
void TZqIndex::SetDescFields(const std::string &AValue) { SetFieldList(FDescFields, AValue); }

void TZqIndex::SetExpression(const std::string &AValue)
{
    if (!compds::StoreChanged(FExpression, AValue))
        return;
    FFields.clear();
    FCaseInsFields.clear();
    FDescFields.clear();
    Changed();
}

void TZqIndex::SetFilterOptions(TZqExpressionOptions AValue)
{
    if (compds::StoreChanged(FFilterOptions, AValue))
        Changed();
}

void TZqIndex::SetOptions(TZqSortOptions AValue)
{
    if (compds::StoreChanged(FOptions, AValue))
        Changed();
}

bool TZqIndex::Selected() const
{
    TZqDataSet *DS = DataSet();
    if (!DS)
        return false;
    return (!FName.empty() && rtl::CompareText(FName, DS->IndexName()) == 0) ||
           (!FFields.empty() && FFields == DS->IndexFieldNames());
}

void TZqIndex::SetSelected(bool AValue)
{
    TZqDataSet *DS = DataSet();
    if (!DS)
        return;
    if (AValue) {
        SetActive(true);
        DS->SetIndexName(FName);
    } else if (Selected()) {
        DS->SetIndexName("");
        DS->SetIndexFieldNames("");
    }
}

void TZqIndex::Assign(const TZqIndex &ASource)
{
    BeginUpdate();
    try {
        FName = ASource.FName;
        FFields = ASource.FFields;
        FCaseInsFields = ASource.FCaseInsFields;
        FDescFields = ASource.FDescFields;
        FExpression = ASource.FExpression;
        FFilter = ASource.FFilter;
        FFilterOptions = ASource.FFilterOptions;
        FOptions = ASource.FOptions;
        FActive = ASource.FActive;
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TZqIndex::ReleaseView()
{
    FView.Reset();
}

void TZqIndex::BuildView()
{
    TZqDataSet *DS = DataSet();
    TZqDatSTable *T = DS ? DS->Table() : nullptr;
    // The previous view is let go once the dataset has moved off it, also
    // when moving fails.
    TZqDatSRef<TZqDatSView> Old(std::move(FView));
    bool Usable = FActive && FUpdateCount == 0 && T && DS->IndexesActive() &&
                  (!FFields.empty() || !FExpression.empty() || !FFilter.empty());
    if (Usable) {
        // Named once the previous view of this index is gone, so that the
        // name stays the index's.
        auto V = TZqDatSRef<TZqDatSView>::Adopt(TZqDatSView::CreateEx(T, "", 0, true));
        try {
            if (!FFields.empty())
                V->Mechanisms()->AddSort(FFields, FOptions, FDescFields, FCaseInsFields);
            else if (!FExpression.empty())
                V->Mechanisms()->AddSortExpression(FExpression, FOptions);
            if (!FFilter.empty())
                V->Mechanisms()->AddFilter(FFilter, ExprOptionBits(FFilterOptions));
            V->SetActive(true);
        } catch (...) {
            FView = std::move(Old);
            throw;
        }
        FView = std::move(V);
    }
    // The dataset walking the old view follows to the new one.
    if (DS && Old && DS->IndexView() == Old)
        DS->ChangeIndexView(FView);
    Old.Reset();
    if (FView && !FName.empty())
        FView->SetName(T->Views()->BuildUniqueName(FName));
    if (DS)
        DS->IndexDefs().SetUpdated(false);
}

void TZqIndex::Changed()
{
    if (FUpdateCount == 0)
        BuildView();
}

// ---- TZqIndexes -----------------------------------------------------------------

TZqIndexes::~TZqIndexes() { Clear(); }

TZqIndex *TZqIndexes::Add()
{
    FItems.push_back(std::make_unique<TZqIndex>(this));
    return FItems.back().get();
}

void TZqIndexes::Delete(int AIndex)
{
    FItems.erase(FItems.begin() + AIndex);
}

void TZqIndexes::Clear()
{
    // Views first, so that a dataset following one never sees it freed.
    for (auto &I : FItems)
        I->ReleaseView();
    FItems.clear();
}

TZqIndex *TZqIndexes::FindIndex(const std::string &AName) const
{
    for (const auto &I : FItems)
        if (rtl::CompareText(I->Name(), AName) == 0)
            return I.get();
    return nullptr;
}

TZqIndex *TZqIndexes::FindIndexForFields(const std::string &AFields, TZqSortOptions ARequired,
                                         TZqSortOptions AForbidden) const
{
    for (const auto &I : FItems) {
        if (!I->Expression().empty())
            continue;
        if (!I->Filter().empty() && !I->Selected())
            continue;
        const std::string &F = I->Fields();
        if (F.size() < AFields.size() || rtl::CompareText(F.substr(0, AFields.size()), AFields) != 0)
            continue;
        if (F.size() != AFields.size() && F[AFields.size()] != ';')
            continue;
        if ((I->Options() & ARequired) != ARequired || (I->Options() & AForbidden) != 0)
            continue;
        return I.get();
    }
    return nullptr;
}

void TZqIndexes::BuildAll()
{
    for (auto &I : FItems)
        I->BuildView();
}

void TZqIndexes::ReleaseAll()
{
    for (auto &I : FItems) {
        const TZqDatSRef<TZqDatSView> Old(std::move(I->FView));
        if (Old && FDataSet->IndexView() == Old)
            FDataSet->ChangeIndexView(nullptr);
    }
}

// ---- index definitions ---------------------------------------------------------

void TZqDataSet::UpdateIndexDefs()
{
    TIndexDefs &Defs = IndexDefs();
    if (Defs.Updated())
        return;
    Defs.Clear();
    for (int I = 0; I < FIndexes->Count(); ++I) {
        TZqIndex *X = FIndexes->Items(I);
        TIndexOptions O = 0;
        if (X->Options() & soPrimary)
            O |= ixPrimary | ixUnique;
        if (X->Options() & soUnique)
            O |= ixUnique;
        if (X->Options() & soDescending)
            O |= ixDescending;
        if (X->Options() & soNoCase)
            O |= ixCaseInsensitive;
        if (!X->Active())
            O |= ixNonMaintained;
        if (X->Fields().empty() && !X->Expression().empty())
            O |= ixExpression;
        TIndexDef *D = Defs.Add(X->Name(), X->Fields(), O);
        D->CaseInsFields = X->CaseInsFields();
        D->DescFields = X->DescFields();
        D->Expression = X->Expression();
    }
    Defs.SetUpdated(true);
}

void TZqDataSet::OpenIndexes()
{
    TIndexDefs &Defs = IndexDefs();
    FIndexesFromDefs = false;
    FIndexDefsFromIndexes = false;
    if (Defs.Count() > 0) {
        FIndexes->Clear();
        for (int I = 0; I < Defs.Count(); ++I) {
            TIndexDef *D = Defs.Items(I);
            TZqIndex *X = FIndexes->Add();
            X->BeginUpdate();
            X->FName = D->Name;
            if (!D->Fields.empty()) {
                X->FFields = D->Fields;
                X->FDescFields = D->DescFields;
                X->FCaseInsFields = D->CaseInsFields;
            } else {
                X->FExpression = D->Expression;
            }
            TZqSortOptions O = 0;
            if (D->Options & (ixPrimary | ixUnique))
                O |= soUnique;
            if (D->Options & ixPrimary)
                O |= soPrimary;
            if (D->Options & ixDescending)
                O |= soDescending;
            if (D->Options & ixCaseInsensitive)
                O |= soNoCase;
            X->FOptions = O;
            X->FActive = !(D->Options & ixNonMaintained);
            X->FFilter.clear();
            X->FUpdateCount = 0;
        }
        FIndexesFromDefs = true;
    } else {
        Defs.SetUpdated(false);
        UpdateIndexDefs();
        FIndexDefsFromIndexes = true;
    }
    FIndexes->BuildAll();
    Defs.SetUpdated(true);
}

void TZqDataSet::CloseIndexes()
{
    FIndexes->ReleaseAll();
    if (FIndexesFromDefs)
        FIndexes->Clear();
    if (FIndexDefsFromIndexes)
        IndexDefs().Clear();
    FIndexesFromDefs = false;
    FIndexDefsFromIndexes = false;
}

// ---- the index view ----------------------------------------------------------------

void TZqDataSet::SetIndexName(const std::string &AValue)
{
    if (AValue == FIndexName && FIndexFieldNames.empty())
        return;
    FIndexName = AValue;
    FIndexFieldNames.clear();
    if (Active()) {
        IndexChanged();
        SetIndexView(true);
    }
}

void TZqDataSet::SetIndexFieldNames(const std::string &AValue)
{
    if (AValue == FIndexFieldNames && FIndexName.empty())
        return;
    FIndexFieldNames = AValue;
    FIndexName.clear();
    if (Active()) {
        IndexChanged();
        SetIndexView(true);
    }
}

void TZqDataSet::SetIndexesActive(bool AValue)
{
    if (AValue == FIndexesActive)
        return;
    FIndexesActive = AValue;
    if (!FTable)
        return;
    if (!AValue) {
        FIndexes->ReleaseAll();
        return;
    }
    FIndexes->BuildAll();
    // A dataset ordered by one of them takes its view up again.
    if (Active() && !FIndexName.empty() && !FIndexView && FIndexes->FindIndex(FIndexName))
        SetIndexView(true);
}

void TZqDataSet::ReleaseIndexViewsCreated()
{
    // Taken out first: a view that goes may call back into the dataset.
    std::vector<TZqDatSRef<TZqDatSView>> L;
    L.swap(FCreatedViews);
}

void TZqDataSet::SetIndexView(bool ARecompose)
{
    TZqDatSView *V = nullptr;
    if (!FIndexFieldNames.empty() || !FIndexName.empty()) {
        bool DetailCached = FMasterLink->DataSource() && FetchesDetails();
        if (!DetailCached && GetFetchOptions()->Mode() != fmManual && FState != dsInactive && FState != dsOpening &&
            !FSourceEOF) {
            UpdateCursorPos();
            FetchMore(true, true);
        }
        if (!FIndexFieldNames.empty()) {
            V = FTable->Views()->FindSortedView(FIndexFieldNames, 0, 0, true);
            if (!V) {
                auto Made = TZqDatSRef<TZqDatSView>::Adopt(
                    TZqDatSView::CreateEx(FTable, "_Zq_IND_" + FIndexFieldNames, 0, true));
                Made->Mechanisms()->AddSort(FIndexFieldNames);
                Made->SetActive(true);
                V = Made;
                FCreatedViews.push_back(std::move(Made));
            }
        } else {
            int At = -1;
            V = static_cast<TZqDatSView *>(FTable->Views()->FindByName(FIndexName, At));
            if (!V && FIndexes->FindIndex(FIndexName)) {
                // An index whose view is not built yet (inactive indexes).
                TZqIndex *X = FIndexes->FindIndex(FIndexName);
                if (!X->Active())
                    X->SetActive(true);
                V = X->View();
            }
            if (!V || !V->SortMech())
                RaiseDS(201, {rtl::Variant(FIndexName)});
        }
    }
    if (V == FIndexView) {
        if (ARecompose && Active())
            Recompose();
        return;
    }
    ChangeIndexView(V);
    (void)ARecompose;
}

void TZqDataSet::ChangeIndexView(TZqDatSView *AView)
{
    if (AView == FIndexView)
        return;
    bool Open = FState != dsInactive && FActiveView;
    if (Open) {
        CheckBrowseMode();
        // A range is over the old index's fields.
        FRangeStartRow = FRangeEndRow = nullptr;
        if (FKeyBuffersAllocated) {
            ClearKeyBuffer(kiCurRangeStart);
            ClearKeyBuffer(kiCurRangeEnd);
        }
    }
    // The old view is let go once the dataset has moved off it, also when
    // moving fails.
    const TZqDatSRef<TZqDatSView> Old(std::move(FIndexView));
    FIndexView.Reset(AView);
    if (Open) {
        if (FIndexView && !FKeyBuffersAllocated)
            AllocKeyBuffers();
        BuildFilterView();
        Recompose();
    }
}

int TZqDataSet::IndexFieldCount() const
{
    if (!FIndexView || !FIndexView->SortMech())
        return 0;
    return FIndexView->SortMech()->GetSortColumns()->Count();
}

TField *TZqDataSet::IndexFields(int AIndex) const
{
    if (AIndex < 0 || AIndex >= IndexFieldCount())
        DatabaseError(DBText::SFieldIndexError, this);
    TZqDatSColumn *C = FIndexView->SortMech()->GetSortColumns()->GetItem(AIndex);
    for (int I = 0; I < FieldCount(); ++I)
        if (FieldColumn(Fields()[I]) == C)
            return Fields()[I];
    return nullptr;
}

bool TZqDataSet::GetIsIndexField(TField *AField) const
{
    TZqDatSColumn *C = FieldColumn(AField);
    if (!C || !FIndexView || !FIndexView->SortMech())
        return false;
    TZqDatSColumnSublist *L = FIndexView->SortMech()->GetSortColumns();
    for (int I = 0; I < L->Count(); ++I)
        if (L->GetItem(I) == C)
            return true;
    return false;
}

// ---- composing the views ---------------------------------------------------------

void TZqDataSet::ComposeViews()
{
    if (FAggregatesActive) {
        FAggregates->DeactivateAll();
        FAggFieldItems->DeactivateAll();
    }
    ReleaseViews();
    TZqDatSView *Base = FIndexView ? FIndexView.Get() : FView ? FView.Get() : FTable->GetDefaultView();
    if (!Base->Active())
        Base->SetActive(true);
    TZqDatSView *V = Base;
    if (FFilterView) {
        // Without an index or a caller-given view the filter view reads the
        // table's rows itself: the table's default view drops deleted rows,
        // which the row-state choice (UpdateRecordTypes) may ask to show.
        FFilterView->SetSourceView(FIndexView ? FIndexView.Get() : FView.Get());
        V = FFilterView;
    }
    FActiveView.Reset(V);
    if (!V->Active())
        V->SetActive(true);
    if (FAggregatesActive) {
        FAggregates->ActivateAll();
        FAggFieldItems->ActivateAll();
    }
    if (Active() && !IsEmpty()) {
        TZqDatSRow *Row = GetRowOfBuffer(ActiveBuffer(), true);
        FCurrentIndex = Row ? FActiveView->IndexOf(Row) : -1;
    }
}

void TZqDataSet::Recompose()
{
    ComposeViews();
    if (Active()) {
        FRelocating = true;
        try {
            Resync(0);
        } catch (...) {
            FRelocating = false;
            throw;
        }
        FRelocating = false;
    }
}

void TZqDataSet::DropFilterView()
{
    if (!FFilterView)
        return;
    // Off first: taking its mechanisms away one by one would rebuild it
    // each time. The mechanisms go even while someone still holds the view,
    // since its range points at the dataset's key rows.
    FFilterView->SetActive(false);
    FFilterView->Mechanisms()->Clear();
    FFilterView.Reset();
}

void TZqDataSet::BuildFilterView()
{
    // Aggregates live in the active view's list: they go before the view.
    if (FAggregatesActive) {
        FAggregates->DeactivateAll();
        FAggFieldItems->DeactivateAll();
    }
    if (FActiveView && FActiveView == FFilterView)
        ReleaseViews();
    DropFilterView();
    if (!FTable)
        return;
    // Made on first need; this holder keeps its one count until the view
    // becomes the dataset's filter view (or is dropped with a failure).
    TZqDatSRef<TZqDatSView> V;
    auto Need = [&]() {
        if (!V)
            V = TZqDatSRef<TZqDatSView>::Adopt(TZqDatSView::CreateEx(FTable, "_Zq_FLT", 0, true));
        return V.Get();
    };
    try {
        if (RangeActive() && HasKeyIndex()) {
            auto R = std::make_unique<TZqDatSMechRange>();
            R->SetSort(FIndexView->SortMech());
            R->SetTop(FRangeStartRow);
            R->SetTopExclusive(FRangeStartExclusive);
            R->SetTopColumnCount(FRangeStartCount);
            R->SetBottom(FRangeEndRow);
            R->SetBottomExclusive(FRangeEndExclusive);
            R->SetBottomColumnCount(FRangeEndCount);
            TZqDatSViewMechList *Mechs = Need()->Mechanisms();
            Mechs->AddOwned(std::move(R))->SetActive(true);
        }
        if (FFiltered && (!FFilterText.empty() || FOnFilterRecord)) {
            auto F = NewFilterMech();
            TZqDatSViewMechList *Mechs = Need()->Mechanisms();
            Mechs->AddOwned(std::move(F))->SetActive(true);
        }
        // The index views hold nothing but their sort, and the table's rows
        // are of every state: the row states the dataset shows are decided
        // here unless a caller-given view is the source.
        TUpdateRecordTypes Default = rtModified | rtInserted | rtUnmodified;
        bool SourceDecidesStates = !FIndexView && FView;
        if (FUpdateRecordTypes != Default || FIndexView || (V && !SourceDecidesStates)) {
            TZqDatSRowStates S = 0;
            if (FUpdateRecordTypes & rtModified)
                S |= RowStateBit(rsModified);
            if (FUpdateRecordTypes & rtInserted)
                S |= RowStateBit(rsInserted);
            if (FUpdateRecordTypes & rtDeleted)
                S |= RowStateBit(rsDeleted);
            if (FUpdateRecordTypes & rtUnmodified)
                S |= RowStateBit(rsUnchanged);
            // Rows passing through edits and checks keep their place.
            S |= RowStateBit(rsEditing) | RowStateBit(rsCalculating) | RowStateBit(rsChecking);
            Need()->Mechanisms()->AddRowState(S);
        }
    } catch (...) {
        if (V)
            V->Mechanisms()->Clear();
        throw;
    }
    FFilterView = std::move(V);
}

// ---- filters ------------------------------------------------------------------

bool TZqDataSet::FilterEventAccepts(TZqDatSRow *ARow)
{
    // The handler reads the tested row through the fields, whatever the
    // current record is.
    TRecordBuffer SavedForced = FForcedBuffer;
    FForcedBuffer = nullptr;
    SetForcedRow(ARow, false, true);
    TDataSetState Save = SetTempState(dsFilter);
    bool Accept = true;
    try {
        FOnFilterRecord(this, Accept);
    } catch (...) {
        RestoreState(Save);
        ClearForcedRow();
        FForcedBuffer = SavedForced;
        throw;
    }
    RestoreState(Save);
    ClearForcedRow();
    FForcedBuffer = SavedForced;
    return Accept;
}

void TZqDataSet::SetFiltered(bool AValue)
{
    if (AValue == FFiltered)
        return;
    if (Active())
        CheckBrowseMode();
    FFiltered = AValue;
    if (Active()) {
        BuildFilterView();
        ComposeViews();
        First();
    }
}

void TZqDataSet::ChangeFilter(const std::function<void()> &AChange)
{
    bool Applies = Active() && FFiltered;
    if (Applies)
        CheckBrowseMode();
    AChange();
    if (Applies) {
        BuildFilterView();
        ComposeViews();
        First();
    }
}

void TZqDataSet::SetFilterText(const std::string &AValue)
{
    if (AValue != FFilterText)
        ChangeFilter([&] { FFilterText = AValue; });
}

void TZqDataSet::SetFilterOptions(TFilterOptions AValue)
{
    if (AValue != FFilterOptions)
        ChangeFilter([&] { FFilterOptions = AValue; });
}

void TZqDataSet::SetOnFilterRecord(const TFilterRecordEvent &AValue)
{
    ChangeFilter([&] { FOnFilterRecord = AValue; });
}

std::unique_ptr<TZqDatSMechFilter> TZqDataSet::NewFilterMech()
{
    uint8_t O = 0;
    if (FFilterOptions & foCaseInsensitive)
        O |= uint8_t(1u << ekNoCase);
    if (!(FFilterOptions & foNoPartialCompare))
        O |= uint8_t(1u << ekPartial);
    TZqDatSFilterRowEvent CB;
    if (FOnFilterRecord)
        CB = [this](TZqDatSMechFilter *, TZqDatSRow *ARow, TZqDatSRowVersion) { return FilterEventAccepts(ARow); };
    return std::make_unique<TZqDatSMechFilter>(FFilterText, O, CB);
}

bool TZqDataSet::FindRecord(bool ARestart, bool AGoForward)
{
    CheckBrowseMode();
    DoBeforeScroll();
    UpdateCursorPos();
    CursorPosChanged();
    FetchMore(true, true);
    TZqDatSMechFilter *Temp = nullptr;
    if (!FFiltered && (!FFilterText.empty() || FOnFilterRecord)) {
        auto New = NewFilterMech();
        // Navigation only: the view keeps its rows, the search skips.
        New->SetPassive(true);
        Temp = FActiveView->Mechanisms()->AddOwned(std::move(New));
    }
    int Index = FCurrentIndex;
    bool Found = false;
    try {
        if (Temp)
            Temp->SetActive(true);
        Found = FActiveView->FindFilteredRow(Index, AGoForward, ARestart);
    } catch (...) {
        if (Temp)
            Temp->Free();
        throw;
    }
    if (Temp)
        Temp->Free();
    if (Found) {
        FCurrentIndex = Index;
        Resync(rmExact | rmCenter);
        DoAfterScroll();
    }
    return Found;
}

// ---- key buffers ------------------------------------------------------------------

void TZqDataSet::AllocKeyBuffers()
{
    if (FKeyBuffersAllocated || !FTable)
        return;
    for (TKeyBuffer &K : FKeyBuffers) {
        K = TKeyBuffer();
        K.Buffer = AllocRecordBuffer();
        K.Row = FTable->NewRow(false);
        K.Row->BeginForceWrite();
        TRecInfo *I = RecInfo(K.Buffer);
        I->Row = K.Row;
        I->RecordIndex = -1;
        I->BookmarkFlag = bfCurrent;
    }
    FKeyBuffersAllocated = true;
}

void TZqDataSet::FreeKeyBuffers()
{
    FRangeStartRow = FRangeEndRow = nullptr;
    if (!FKeyBuffersAllocated)
        return;
    for (TKeyBuffer &K : FKeyBuffers) {
        if (K.Row) {
            if (K.Row->RowState() == rsForceWrite)
                K.Row->EndForceWrite();
            K.Row->Free();
        }
        if (K.Buffer)
            FreeRecordBuffer(K.Buffer);
        K = TKeyBuffer();
    }
    FKeyBuffersAllocated = false;
}

void TZqDataSet::ClearKeyBuffer(int AIndex)
{
    TKeyBuffer &K = FKeyBuffers[AIndex];
    K.Modified = false;
    K.Exclusive = false;
    K.FieldCount = 0;
    if (K.Row)
        K.Row->Clear(false);
}

void TZqDataSet::CopyKeyBuffer(int AFrom, int ATo)
{
    TKeyBuffer &F = FKeyBuffers[AFrom];
    TKeyBuffer &T = FKeyBuffers[ATo];
    T.Modified = F.Modified;
    T.Exclusive = F.Exclusive;
    T.FieldCount = F.FieldCount;
    CopyRowValues(F.Row, T.Row);
}

bool TZqDataSet::KeyBuffersEqual(int A, int B)
{
    TKeyBuffer &X = FKeyBuffers[A];
    TKeyBuffer &Y = FKeyBuffers[B];
    if (X.Modified != Y.Modified || X.Exclusive != Y.Exclusive || X.FieldCount != Y.FieldCount)
        return false;
    if (!FIndexView || !FIndexView->SortMech())
        return true;
    TZqDatSColumnSublist *Cols = FIndexView->SortMech()->GetSortColumns();
    int N = X.FieldCount > 0 ? X.FieldCount : Cols->Count();
    return TZqDatSRow::CompareRows(X.Row, Cols, nullptr, nullptr, 0, rvDefault, Cols, Y.Row, N, nullptr) == 0;
}

bool TZqDataSet::HasKeyIndex() const { return IndexFieldCount() > 0; }

void TZqDataSet::CheckIndexView() const
{
    // Keys and ranges compare index fields: an index by an expression has
    // none.
    if (!HasKeyIndex())
        DatabaseError(DBText::SNoFieldIndexes, this);
}

void TZqDataSet::SetKeyBuffer(int AIndex, bool AClear)
{
    CheckBrowseMode();
    CheckIndexView();
    AllocKeyBuffers();
    FKeyIndex = AIndex;
    CopyKeyBuffer(AIndex, kiSave);
    if (AClear)
        ClearKeyBuffer(AIndex);
    SetState(dsSetKey);
    SetModified(FKeyBuffers[AIndex].Modified);
    DataEvent(deDataSetChange, 0);
}

void TZqDataSet::EndKeyEdit(bool ACommit)
{
    DataEvent(deCheckBrowseMode, 0);
    if (ACommit)
        FKeyBuffers[FKeyIndex].Modified = Modified();
    else
        CopyKeyBuffer(kiSave, FKeyIndex);
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
}

void TZqDataSet::Post()
{
    if (FState == dsSetKey) {
        UpdateRecord();
        EndKeyEdit(true);
        return;
    }
    TDataSet::Post();
}

void TZqDataSet::Cancel()
{
    if (FState == dsSetKey) {
        EndKeyEdit(false);
        return;
    }
    TDataSet::Cancel();
}

void TZqDataSet::SetKeyFields(int AIndex, const std::vector<rtl::Variant> &AValues)
{
    CheckIndexView();
    AllocKeyBuffers();
    if (int(AValues.size()) > IndexFieldCount())
        DatabaseError(DBText::SFieldIndexError, this);
    int SavedIndex = FKeyIndex;
    FKeyIndex = AIndex;
    TDataSetState Save = SetTempState(dsSetKey);
    try {
        ClearKeyBuffer(AIndex);
        for (size_t I = 0; I < AValues.size(); ++I) {
            TField *F = IndexFields(int(I));
            if (!F)
                DatabaseError(DBText::SNoFieldIndexes, this);
            if (F->DataType() == rtl::ftLargeint && !AValues[I].IsClear())
                F->SetAsLargeInt(AValues[I].AsInt64());
            else
                F->SetValue(AValues[I]);
        }
        FKeyBuffers[AIndex].FieldCount = int32_t(AValues.size());
        FKeyBuffers[AIndex].Modified = true;
    } catch (...) {
        RestoreState(Save);
        FKeyIndex = SavedIndex;
        throw;
    }
    RestoreState(Save);
    FKeyIndex = SavedIndex;
}

// A key buffer's settings are read and written only while a key is edited.
void TZqDataSet::CheckKeyEditing() const
{
    if (FState != dsSetKey)
        DatabaseError(DBText::SNotEditing, this);
}

bool TZqDataSet::KeyExclusive() const
{
    CheckKeyEditing();
    return FKeyBuffers[FKeyIndex].Exclusive;
}

void TZqDataSet::SetKeyExclusive(bool AValue)
{
    CheckKeyEditing();
    FKeyBuffers[FKeyIndex].Exclusive = AValue;
}

int TZqDataSet::KeyFieldCount() const
{
    CheckKeyEditing();
    return FKeyBuffers[FKeyIndex].FieldCount;
}

void TZqDataSet::SetKeyFieldCount(int AValue)
{
    CheckKeyEditing();
    FKeyBuffers[FKeyIndex].FieldCount = AValue;
}

void TZqDataSet::SetKey() { SetKeyBuffer(kiLookup, true); }
void TZqDataSet::EditKey() { SetKeyBuffer(kiLookup, false); }
void TZqDataSet::SetRangeStart() { SetKeyBuffer(kiRangeStart, true); }
void TZqDataSet::SetRangeEnd() { SetKeyBuffer(kiRangeEnd, true); }
void TZqDataSet::EditRangeStart() { SetKeyBuffer(kiRangeStart, false); }
void TZqDataSet::EditRangeEnd() { SetKeyBuffer(kiRangeEnd, false); }

// ---- key searches ------------------------------------------------------------------

int TZqDataSet::SearchKey(int AIndex, bool ANearest, bool &AFound)
{
    TKeyBuffer &K = FKeyBuffers[AIndex];
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(FIndexView->SortMech());
    TZqDatSColumnSublist *Cols = FIndexView->SortMech()->GetSortColumns();
    int N = K.FieldCount > 0 ? std::min<int>(K.FieldCount, Cols->Count()) : Cols->Count();
    TZqDatSSearchOptions O = 0;
    if (FIndexView->SortMech()->GetSortOptions() & soNoCase)
        O |= srNoCase;
    if (K.Exclusive)
        O |= srLast;
    int Index = -1;
    AFound = false;
    FActiveView->Search(K.Row, nullptr, nullptr, N, O, Index, AFound);
    if (!ANearest)
        return AFound ? Index : -1;
    int Count = FActiveView->Rows()->Count();
    if (AFound)
        return K.Exclusive ? Index + 1 : Index;
    // The first row above the key: the search stops next to it.
    if (Index < 0)
        return 0;
    if (Index >= Count)
        return Count;
    if (Sort && Sort->CompareKey(FActiveView->Rows()->GetItem(Index), K.Row, rvDefault, Sort->CompareOptions(), N,
                                 nullptr, nullptr, nullptr, false) < 0)
        ++Index;
    return Index;
}

bool TZqDataSet::GotoKey()
{
    CheckBrowseMode();
    CheckIndexView();
    AllocKeyBuffers();
    DoBeforeScroll();
    UpdateCursorPos();
    CursorPosChanged();
    FetchMore(true, true);
    bool Found = false;
    int Index = SearchKey(kiLookup, false, Found);
    if (!Found)
        return false;
    FCurrentIndex = Index;
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
}

void TZqDataSet::GotoNearest()
{
    CheckBrowseMode();
    CheckIndexView();
    AllocKeyBuffers();
    DoBeforeScroll();
    UpdateCursorPos();
    CursorPosChanged();
    FetchMore(true, true);
    bool Found = false;
    int Index = SearchKey(kiLookup, true, Found);
    int Count = FActiveView->Rows()->Count();
    if (Count == 0) {
        First();
        return;
    }
    // Past every key: the last record.
    FCurrentIndex = std::min(Index, Count - 1);
    Resync(rmCenter);
    DoAfterScroll();
}

bool TZqDataSet::FindKey(const std::vector<rtl::Variant> &AKeyValues)
{
    CheckBrowseMode();
    SetKeyFields(kiLookup, AKeyValues);
    return GotoKey();
}

void TZqDataSet::FindNearest(const std::vector<rtl::Variant> &AKeyValues)
{
    CheckBrowseMode();
    SetKeyFields(kiLookup, AKeyValues);
    GotoNearest();
}

// ---- ranges --------------------------------------------------------------------

bool TZqDataSet::SetCursorRange()
{
    if (!FKeyBuffersAllocated)
        return false;
    if (!FKeyBuffers[kiRangeStart].Modified && !FKeyBuffers[kiRangeEnd].Modified)
        return false;
    if (KeyBuffersEqual(kiRangeStart, kiCurRangeStart) && KeyBuffersEqual(kiRangeEnd, kiCurRangeEnd))
        return false;
    CopyKeyBuffer(kiRangeStart, kiCurRangeStart);
    CopyKeyBuffer(kiRangeEnd, kiCurRangeEnd);
    const TKeyBuffer &S = FKeyBuffers[kiCurRangeStart];
    const TKeyBuffer &E = FKeyBuffers[kiCurRangeEnd];
    FRangeStartRow = S.Modified ? S.Row : nullptr;
    FRangeStartExclusive = S.Exclusive;
    FRangeStartCount = S.FieldCount == 0 ? -1 : S.FieldCount;
    FRangeEndRow = E.Modified ? E.Row : nullptr;
    FRangeEndExclusive = E.Exclusive;
    FRangeEndCount = E.FieldCount == 0 ? -1 : E.FieldCount;
    return true;
}

bool TZqDataSet::ResetCursorRange()
{
    if (!RangeActive())
        return false;
    FRangeStartRow = FRangeEndRow = nullptr;
    ClearKeyBuffer(kiCurRangeStart);
    ClearKeyBuffer(kiCurRangeEnd);
    return true;
}

void TZqDataSet::ApplyRange()
{
    CheckBrowseMode();
    CheckIndexView();
    if (SetCursorRange()) {
        BuildFilterView();
        ComposeViews();
        First();
    }
}

void TZqDataSet::CancelRange()
{
    CheckBrowseMode();
    UpdateCursorPos();
    if (ResetCursorRange()) {
        BuildFilterView();
        Recompose();
    }
}

void TZqDataSet::SetRange(const std::vector<rtl::Variant> &AStartValues, const std::vector<rtl::Variant> &AEndValues)
{
    CheckBrowseMode();
    SetKeyFields(kiRangeStart, AStartValues);
    SetKeyFields(kiRangeEnd, AEndValues);
    ApplyRange();
}

// ---- master-detail ---------------------------------------------------------------

TZqMasterDataLink::TZqMasterDataLink(TZqDataSet *ADetail) : TMasterDataLink(ADetail), FZqDetail(ADetail) {}

void TZqMasterDataLink::ActiveChanged()
{
    // The detail resolves its master fields (from its parameters) before
    // the link reads them.
    if (Active() && DataSet() && !FActivating) {
        FActivating = true;
        try {
            FZqDetail->MasterActivated();
        } catch (...) {
            FActivating = false;
            throw;
        }
        FActivating = false;
    }
    TMasterDataLink::ActiveChanged();
}

TDataSource *TZqDataSet::MasterSource() const { return FMasterLink->DataSource(); }

void TZqDataSet::SetMasterSource(TDataSource *AValue)
{
    if (AValue == FMasterLink->DataSource())
        return;
    if (AValue && IsLinkedTo(AValue))
        RaiseDS(204);
    FMasterLink->SetDataSource(AValue);
    ResolveMasterFields();
}

const std::string &TZqDataSet::MasterFields() const { return FMasterLink->FieldNames(); }

void TZqDataSet::SetMasterFields(const std::string &AValue) { FMasterLink->SetFieldNames(AValue); }

bool TZqDataSet::FetchesDetails() { return GetFetchOptions()->Cache().Contains(fiDetails); }

void TZqDataSet::MasterActivated() { ResolveMasterFields(); }

void TZqDataSet::ResolveMasterFields()
{
    if (FResolvingMaster || !MasterFields().empty())
        return;
    TDataSet *M = MasterSource() ? MasterSource()->DataSet() : nullptr;
    TZqParams *P = GetParams();
    if (!M || !P || P->Count() == 0)
        return;
    std::vector<std::string> Names;
    for (int I = 0; I < M->FieldCount(); ++I) {
        TField *F = M->Fields()[I];
        TZqParam *Par = P->FindParam(F->FieldName());
        if (!Par)
            continue;
        Names.push_back(F->FieldName());
        if (Par->DataType() == rtl::ftUnknown)
            Par->SetDataType(F->DataType());
    }
    if (Names.empty())
        return;
    FResolvingMaster = true;
    try {
        SetMasterFields(JoinNames(Names));
    } catch (...) {
        FResolvingMaster = false;
        throw;
    }
    FResolvingMaster = false;
}

void TZqDataSet::SetMasterParams(const std::vector<TField *> &AFields)
{
    TZqParams *P = GetParams();
    if (!P)
        return;
    // The parameter takes the field's type and size with its value, so a
    // master field of another type than the parameter was prepared with is
    // bound as what it is.
    for (TField *F : AFields)
        if (TZqParam *Par = P->FindParam(F->FieldName()))
            Par->AssignFieldValue(*F, F->Value());
}

bool TZqDataSet::IsMasterParamBound(const std::vector<TField *> &AFields)
{
    TZqParams *P = GetParams();
    if (!P)
        return false;
    for (TField *F : AFields)
        if (P->FindParam(F->FieldName()))
            return true;
    return false;
}

bool TZqDataSet::DetailHasRows() const { return FActiveView && FActiveView->Rows()->Count() > 0; }

void TZqDataSet::RequeryDetail(bool AAppend)
{
    if (!IsMasterParamBound(FMasterLink->Fields()))
        return;
    CloseSource();
    SetMasterParams(FMasterLink->Fields());
    FSourceEOF = false;
    FDiscardedRows = 0;
    OpenSource(false, false, FTable->Columns()->Count() == 0);
    FetchMore(AAppend, true);
}

void TZqDataSet::RefreshDetailRows()
{
    if (GetFetchOptions()->Mode() == fmManual)
        return;
    TDataSet *M = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (M && (M->State() == dsInsert || M->State() == dsSetKey))
        return;
    if (!FetchesDetails()) {
        if (!IsSourceOpen() || Active())
            RequeryDetail(false);
    } else if (!Active() || !DetailHasRows()) {
        RequeryDetail(true);
    }
    if (Active()) {
        ComposeViews();
        First();
    }
}

void TZqDataSet::RefreshDetail()
{
    // Also reached while opening (the views exist, the state is not yet
    // browsing).
    if (!FActiveView)
        return;
    if (Active())
        CheckBrowseMode();
    if (!FMasterLink->Active() || FMasterLink->Fields().empty()) {
        if (FetchesDetails() && RangeActive()) {
            BuildFilterView();
            Recompose();
        }
        return;
    }
    if (!HasKeyIndex()) {
        TZqFetchItems C = GetFetchOptions()->Cache();
        C.Exclude(fiDetails);
        GetFetchOptions()->SetCache(C);
    }
    if (FetchesDetails()) {
        AllocKeyBuffers();
        const std::vector<TField *> &MF = FMasterLink->Fields();
        int SavedIndex = FKeyIndex;
        FKeyIndex = kiRangeStart;
        TDataSetState Save = SetTempState(dsSetKey);
        try {
            ClearKeyBuffer(kiRangeStart);
            for (size_t I = 0; I < MF.size() && int(I) < IndexFieldCount(); ++I) {
                TField *F = IndexFields(int(I));
                if (!F)
                    continue;
                if (MF[I]->IsNull())
                    F->Clear();
                else if (MF[I]->DataType() == rtl::ftLargeint)
                    F->SetAsLargeInt(MF[I]->AsLargeInt());
                else
                    F->SetValue(MF[I]->Value());
            }
            FKeyBuffers[kiRangeStart].FieldCount = int32_t(MF.size());
            FKeyBuffers[kiRangeStart].Modified = true;
        } catch (...) {
            RestoreState(Save);
            FKeyIndex = SavedIndex;
            throw;
        }
        RestoreState(Save);
        FKeyIndex = SavedIndex;
        CopyKeyBuffer(kiRangeStart, kiRangeEnd);
        if (SetCursorRange()) {
            BuildFilterView();
            ComposeViews();
        }
    } else {
        // The rows of the previous master go; changes made to them must
        // not be lost without a word.
        TZqDatSUpdatesJournal *J = GetUpdates();
        if (J && J->HasChanges(FTable))
            RaiseDS(205);
        // The record buffers show rows that are about to be freed.
        if (Active())
            ClearBuffers();
        FTable->ClearRows();
        FCurrentIndex = -1;
        // The record buffers showed the rows just freed.
        ClearBuffers();
    }
    if (GetFetchOptions()->Mode() != fmManual)
        RefreshDetailRows();
    else if (Active()) {
        ComposeViews();
        First();
    }
}

void TZqDataSet::MasterDisabled()
{
    if (FetchesDetails() && FState != dsInactive) {
        UpdateCursorPos();
        if (ResetCursorRange()) {
            BuildFilterView();
            Recompose();
        }
    }
    MasterFieldsChanged();
}

void TZqDataSet::GetDetailLinkFields(std::vector<TField *> &AMasterFields, std::vector<TField *> &ADetailFields)
{
    AMasterFields.clear();
    ADetailFields.clear();
    ResolveMasterFields();
    TDataSet *M = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (!M)
        return;
    TZqParams *P = GetParams();
    if (P && P->Count() > 0 && !FetchesDetails()) {
        for (int I = 0; I < P->Count(); ++I) {
            TField *MF = M->FindField(P->Items(I)->Name());
            TField *DF = FindField(P->Items(I)->Name());
            if (MF && DF) {
                AMasterFields.push_back(MF);
                ADetailFields.push_back(DF);
            }
        }
        return;
    }
    if (!FetchesDetails() || MasterFields().empty())
        return;
    M->GetFieldList(AMasterFields, MasterFields());
    std::string Names;
    if (!FIndexName.empty()) {
        if (TZqIndex *X = FIndexes->FindIndex(FIndexName))
            Names = X->Fields();
    } else if (!FIndexFieldNames.empty()) {
        TZqIndex *X = FIndexes->FindIndexForFields(FIndexFieldNames);
        Names = X ? X->Fields() : FIndexFieldNames;
    }
    if (!Names.empty())
        GetFieldList(ADetailFields, Names);
}
