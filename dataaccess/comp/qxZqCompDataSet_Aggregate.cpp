// qxZqCompDataSet_Aggregate: the dataset's smaller companions: aggregates
// (the published collection and one item per aggregate field, each built
// into the active view's aggregate list), the blob stream, the wide-memo
// and auto-increment fields.
//
// Aggregates exist only while AggregatesActive and an active view exist;
// every recomposition of the views drops them first and builds them again
// on the new active view, because a view frees its aggregates with it.
#include "dataaccess/comp/qxZqCompDataSet.h"

#include <algorithm>
#include <cstring>

#include "dataaccess/comp/qxZqCompDataSetInt.h"
#include "dataaccess/dats/qxZqDatSAggregates.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/SysUtils.h"

using namespace dats;
using compds::RaiseDS;

// ---- TZqAggregate -----------------------------------------------------------------

TZqAggregate::TZqAggregate(TZqAggregates *ACollection) : FCollection(ACollection) {}

TZqAggregate::~TZqAggregate() { ReleaseAggregate(); }

TZqDataSet *TZqAggregate::DataSet() const { return FCollection ? FCollection->DataSet() : nullptr; }

std::string TZqAggregate::GetDisplayName() const { return FName.empty() ? std::string("TZqAggregate") : FName; }

void TZqAggregate::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Build();
}

void TZqAggregate::SetName(const std::string &AValue)
{
    if (compds::StoreChanged(FName, AValue))
        Build();
}

void TZqAggregate::SetExpression(const std::string &AValue)
{
    if (compds::StoreChanged(FExpression, AValue))
        Build();
}

void TZqAggregate::SetGroupingLevel(int AValue)
{
    if (compds::StoreChanged(FGroupingLevel, AValue))
        Build();
}

void TZqAggregate::SetIndexName(const std::string &AValue)
{
    if (compds::StoreChanged(FIndexName, AValue))
        Build();
}

void TZqAggregate::SetActive(bool AValue)
{
    if (AValue == FActive)
        return;
    TZqDataSet *DS = DataSet();
    bool Reading = DS && (DS->HasState(rtl::csReading) || DS->HasState(rtl::csLoading));
    if (AValue && !Reading && (FName.empty() || FExpression.empty()))
        RaiseDS(210);
    FActive = AValue;
    Build();
}

void TZqAggregate::Assign(const TZqAggregate &ASource)
{
    BeginUpdate();
    FName = ASource.FName;
    FExpression = ASource.FExpression;
    FGroupingLevel = ASource.FGroupingLevel;
    FIndexName = ASource.FIndexName;
    FActive = ASource.FActive;
    EndUpdate();
}

void TZqAggregate::AssignField(TAggregateField *AField)
{
    BeginUpdate();
    FExpression = AField->Expression();
    FGroupingLevel = AField->GroupingLevel();
    FIndexName = AField->IndexName();
    FActive = AField->Active();
    FName = "_Zq_#" + AField->FieldName();
    EndUpdate();
}

void TZqAggregate::ReleaseAggregate()
{
    FAggregate.Reset();
}

void TZqAggregate::Build()
{
    if (FUpdateCount > 0)
        return;
    ReleaseAggregate();
    TZqDataSet *DS = DataSet();
    if (!DS || FExpression.empty() || !FActive || !DS->Table() || !DS->AggregatesActive() || !DS->ActiveView())
        return;
    int Level = 0;
    if (!FIndexName.empty()) {
        TZqDatSView *IV = DS->IndexView();
        // Built only over the index it groups by.
        std::string Current = !DS->IndexName().empty() ? DS->IndexName() : (IV ? IV->Name() : std::string());
        if (!IV || rtl::CompareText(Current, FIndexName) != 0)
            return;
        FCollection->FMaxGroupingLevel = std::max(FCollection->FMaxGroupingLevel, FGroupingLevel);
        Level = FGroupingLevel;
    }
    TZqDatSAggregate *A = DS->ActiveView()->Aggregates()->AddAggregate(FName, FExpression, Level);
    A->CountRef(1);
    // Not built unless it activates: a failure frees it from the view again.
    auto Hold = TZqDatSRef<TZqDatSAggregate>::Adopt(A);
    A->SetActive(true);
    FAggregate = std::move(Hold);
}

rtl::Variant TZqAggregate::Value() const
{
    TZqDataSet *DS = DataSet();
    if (!FAggregate || !DS || !DS->Active() || DS->IsEmpty())
        return rtl::Variant();
    TRecordBuffer B = DS->ActiveBuffer();
    if (!B || DS->GetBookmarkFlag(B) != bfCurrent)
        return rtl::Variant();
    TZqDatSRow *Row = DS->GetRowOfBuffer(B, true);
    TZqDatSViewRowList *Rows = DS->ActiveView()->Rows();
    int Pos = DS->RecInfo(B)->RecordIndex;
    if (!(Pos >= 0 && Pos < Rows->Count() && Rows->GetItem(Pos) == Row))
        Pos = Row ? DS->ActiveView()->IndexOf(Row) : -1;
    if (Pos < 0)
        return rtl::Variant();
    rtl::Variant V;
    FAggregate->GetValue(Pos, V);
    return V;
}

// ---- TZqAggregates ------------------------------------------------------------------

TZqAggregates::~TZqAggregates() { Clear(); }

TZqAggregate *TZqAggregates::Add()
{
    FItems.push_back(std::make_unique<TZqAggregate>(this));
    return FItems.back().get();
}

void TZqAggregates::Delete(int AIndex) { FItems.erase(FItems.begin() + AIndex); }

void TZqAggregates::Clear() { FItems.clear(); }

TZqAggregate *TZqAggregates::FindAggregate(const std::string &AName) const
{
    for (const auto &A : FItems)
        if (rtl::CompareText(A->Name(), AName) == 0)
            return A.get();
    return nullptr;
}

void TZqAggregates::ActivateAll()
{
    FMaxGroupingLevel = -1;
    for (auto &A : FItems)
        A->Build();
    if (FMaxGroupingLevel == -1)
        FMaxGroupingLevel = (!FDataSet->IndexName().empty() && FDataSet->IndexView()) ? FDataSet->IndexFieldCount() : 0;
}

void TZqAggregates::DeactivateAll()
{
    for (auto &A : FItems)
        A->ReleaseAggregate();
}

// ---- the dataset's side -----------------------------------------------------------------

void TZqDataSet::SetAggregatesActive(bool AValue)
{
    if (AValue == FAggregatesActive)
        return;
    FAggregatesActive = AValue;
    if (FActiveView) {
        if (AValue) {
            FAggregates->ActivateAll();
            FAggFieldItems->ActivateAll();
        } else {
            FAggregates->DeactivateAll();
            FAggFieldItems->DeactivateAll();
        }
    }
    if (Active())
        DataEvent(deRecordChange, 0);
}

rtl::Variant TZqDataSet::GetAggregateValue(TField *AField)
{
    auto *F = dynamic_cast<TAggregateField *>(AField);
    auto *Item = F ? static_cast<TZqAggregate *>(F->Handle) : nullptr;
    return Item ? Item->Value() : rtl::Variant();
}

void TZqDataSet::ResetAggField(TField *AField)
{
    auto *F = dynamic_cast<TAggregateField *>(AField);
    if (!F || F->DataSet() != this || !F->Handle)
        return;
    auto *Item = static_cast<TZqAggregate *>(F->Handle);
    Item->ReleaseAggregate();
    Item->AssignField(F);
}

void TZqDataSet::OpenFieldExtras()
{
    for (int I = 0; I < FieldCount(); ++I) {
        TField *F = Fields()[I];
        if (auto *A = dynamic_cast<TAggregateField *>(F)) {
            TZqAggregate *Item = FAggFieldItems->Add();
            Item->AssignField(A);
            A->Handle = Item;
        } else if (auto *AI = dynamic_cast<TZqAutoIncField *>(F); AI && !DefaultFields()) {
            // A persistent auto-increment field tells its column how values
            // are made.
            // Only what differs: a column of a table holding rows refuses
            // structure changes.
            if (TZqDatSColumn *C = FieldColumn(F)) {
                if (C->AutoIncrement() != AI->ClientAutoIncrement())
                    C->SetAutoIncrement(AI->ClientAutoIncrement());
                bool Own = !AI->ServerAutoIncrement();
                if ((AI->AutoIncrementSeed() != -1 || Own) && C->AutoIncrementSeed() != AI->AutoIncrementSeed())
                    C->SetAutoIncrementSeed(AI->AutoIncrementSeed());
                if ((AI->AutoIncrementStep() != -1 || Own) && C->AutoIncrementStep() != AI->AutoIncrementStep())
                    C->SetAutoIncrementStep(AI->AutoIncrementStep());
            }
        }
    }
    if (FAggregatesActive)
        FAggFieldItems->ActivateAll();
}

void TZqDataSet::CloseFieldExtras()
{
    FAggFieldItems->DeactivateAll();
    for (int I = 0; I < FieldCount(); ++I)
        if (auto *A = dynamic_cast<TAggregateField *>(Fields()[I]))
            A->Handle = nullptr;
    FAggFieldItems->Clear();
}

// ---- blob streams ------------------------------------------------------------------------

std::unique_ptr<TBlobStream> TZqDataSet::CreateBlobStream(TField *AField, TBlobStreamMode AMode)
{
    return std::make_unique<TZqBlobStream>(this, AField, AMode);
}

TZqBlobStream::TZqBlobStream(TZqDataSet *ADataSet, TField *AField, TBlobStreamMode AMode)
    : FField(AField), FDataSet(ADataSet), FMode(AMode)
{
    TZqDatSColumn *C = ADataSet->FieldColumn(AField);
    TDataSetState St = ADataSet->State();
    TZqFetchOptions *FO = ADataSet->GetFetchOptions();
    if (C && St != dsInsert && St != dsSetKey && St != dsFilter && St != dsNewValue && FO->Mode() != fmManual &&
        !FO->Items().Contains(fiBlobs)) {
        // Blob values left out of the fetch come from the source now.
        TRecordBuffer Rec = ADataSet->ReadBuffer();
        TZqDatSRow *Row = Rec ? ADataSet->GetRowOfBuffer(Rec) : nullptr;
        if (Row && Row->InTable() && Row->IsNull(C->Index()))
            ADataSet->FetchRowFromSource(Row, C->Index(), 0);
    }
    TRecordBuffer Rec = ADataSet->ReadBuffer();
    FRow = Rec ? ADataSet->GetRowOfBuffer(Rec) : nullptr;
    if (AMode != bmRead && !ADataSet->FForcedBuffer) {
        if (AField->ReadOnly())
            DatabaseError(rtl::Format(DBText::SFieldReadOnly, {rtl::Variant(AField->DisplayName())}), ADataSet);
        if (St != dsEdit && St != dsInsert && St != dsNewValue)
            DatabaseError(DBText::SNotEditing, ADataSet);
    }
    if (AMode == bmWrite) {
        FModified = true;
        return;
    }
    if (!FRow || !C)
        return;
    TZqDatSRowVersion Ver = rvDefault;
    if (!ADataSet->FForcedBuffer) {
        if (St == dsOldValue)
            Ver = rvOriginal;
        else if (St == dsNewValue)
            Ver = rvCurrent;
    }
    void *P = nullptr;
    uint32_t Len = 0;
    if (FRow->GetData(C->Index(), Ver, P, 0, Len, false) && P) {
        size_t Bytes = IsWideType(C->DataType()) ? size_t(Len) * 2 : size_t(Len);
        // Our own copy: the row's value may be replaced or freed while the
        // stream is open.
        FData.assign(static_cast<const char *>(P), Bytes);
    }
}

TZqBlobStream::~TZqBlobStream()
{
    if (!FModified)
        return;
    try {
        Store();
    } catch (...) {
        // A destructor cannot pass on a failed store; the value stays as it
        // was.
    }
}

void TZqBlobStream::Store()
{
    TZqDatSColumn *C = FDataSet->FieldColumn(FField);
    if (!FRow || !C)
        return;
    TZqDatSRowState S = FRow->RowState();
    if (S == rsInserted || S == rsModified || S == rsUnchanged)
        FRow->BeginEdit();
    uint32_t Len = uint32_t(IsWideType(C->DataType()) ? FData.size() / 2 : FData.size());
    FRow->SetData(C->Index(), Len ? FData.data() : nullptr, Len);
    TDataSetState St = FDataSet->State();
    if (!FDataSet->FForcedBuffer && St != dsCalcFields && St != dsFilter && St != dsNewValue)
        FDataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
}

void TZqBlobStream::CheckWritable()
{
    if (FMode == bmRead)
        DatabaseError(rtl::Format(DBText::SFieldReadOnly, {rtl::Variant(FField->DisplayName())}), FDataSet);
}

int64_t TZqBlobStream::Read(void *ABuffer, int64_t ACount)
{
    int64_t N = std::max<int64_t>(0, std::min<int64_t>(ACount, int64_t(FData.size()) - FPos));
    if (N > 0)
        std::memcpy(ABuffer, FData.data() + FPos, size_t(N));
    FPos += N;
    return N;
}

int64_t TZqBlobStream::Write(const void *ABuffer, int64_t ACount)
{
    CheckWritable();
    if (ACount <= 0)
        return 0;
    if (size_t(FPos) + size_t(ACount) > FData.size())
        FData.resize(size_t(FPos + ACount));
    std::memcpy(FData.data() + FPos, ABuffer, size_t(ACount));
    FPos += ACount;
    FModified = true;
    return ACount;
}

int64_t TZqBlobStream::Seek(int64_t AOffset, TSeekOrigin AOrigin)
{
    int64_t Base = AOrigin == soBeginning ? 0 : (AOrigin == soCurrent ? FPos : int64_t(FData.size()));
    FPos = std::max<int64_t>(0, Base + AOffset);
    return FPos;
}

void TZqBlobStream::Truncate()
{
    CheckWritable();
    FData.resize(std::min(FData.size(), size_t(FPos)));
    FModified = true;
}

// ---- the view reference ------------------------------------------------------------

TZqDataSetIntfImpl::TZqDataSetIntfImpl(TZqDatSView *AView) : FView(AView) {}

TZqDataSetIntfImpl::~TZqDataSetIntfImpl() = default;

TZqIntfPtr<IZqDataSetReference> TZqDataSet::DataSetReference()
{
    TZqDatSView *V = FActiveView ? FActiveView.Get() : FView.Get();
    if (!V && FTable)
        V = FTable->GetDefaultView();
    return TZqIntfPtr<IZqDataSetReference>(new TZqDataSetIntfImpl(V));
}

// ---- special fields -------------------------------------------------------------------

TFieldClass TZqDataSet::GetFieldClass(rtl::TFieldType AFieldType) const
{
    switch (AFieldType) {
    case rtl::ftFmtMemo:
        return [](TDataSet *AOwner, rtl::TFieldType) -> TField * { return new TZqWideMemoField(AOwner); };
    case rtl::ftAutoInc:
        return [](TDataSet *AOwner, rtl::TFieldType) -> TField * { return new TZqAutoIncField(AOwner); };
    default:
        return TDataSet::GetFieldClass(AFieldType);
    }
}

TZqWideMemoField::TZqWideMemoField(TDataSet *AOwner) : TBlobField(AOwner, rtl::ftFmtMemo) {}

std::string TZqWideMemoField::GetAsString() const
{
    if (!FDataSet)
        return "";
    std::string Bytes = FDataSet->CreateBlobStream(const_cast<TZqWideMemoField *>(this), bmRead)->ReadAll();
    std::u16string W(Bytes.size() / 2, u'\0');
    std::memcpy(W.data(), Bytes.data(), W.size() * 2);
    return DatSUtf16ToUtf8(W.data(), W.size());
}

void TZqWideMemoField::SetAsStringValue(const std::string &AValue)
{
    if (!FDataSet)
        AccessError("String");
    std::u16string W = DatSUtf8ToUtf16(AValue);
    auto S = FDataSet->CreateBlobStream(this, bmWrite);
    S->Write(W.data(), int64_t(W.size() * 2));
}

rtl::Variant TZqWideMemoField::GetAsVariant() const
{
    if (IsNull())
        return rtl::Null();
    return rtl::Variant(GetAsString());
}

void TZqWideMemoField::SetVarValue(const rtl::Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else
        SetAsStringValue(AValue.AsString());
}

void TZqWideMemoField::GetText(std::string &AText, bool) const
{
    AText = IsNull() ? "(WideMemo)" : "(WIDEMEMO)";
}

TZqAutoIncField::TZqAutoIncField(TDataSet *AOwner) : TIntegerField(AOwner, rtl::ftAutoInc)
{
    FRequired = false;
    FProviderFlags = pfInWhere;
    FAutoGenerateValue = TAutoRefreshFlag::arAutoInc;
    FReadOnly = true;
}

void TZqAutoIncField::CheckChange() const
{
    if (FDataSet)
        FDataSet->CheckInactive();
}

void TZqAutoIncField::SetClientAutoIncrement(bool AValue)
{
    CheckChange();
    FClientAutoIncrement = AValue;
}

void TZqAutoIncField::SetServerAutoIncrement(bool AValue)
{
    CheckChange();
    if (AValue == FServerAutoIncrement)
        return;
    FServerAutoIncrement = AValue;
    if (!AValue) {
        FProviderFlags |= pfInUpdate;
        FAutoGenerateValue = TAutoRefreshFlag::arNone;
        FAutoIncrementSeed = 1;
        FAutoIncrementStep = 1;
    } else {
        FRequired = false;
        FProviderFlags &= TProviderFlags(~pfInUpdate);
        FAutoGenerateValue = TAutoRefreshFlag::arAutoInc;
        FAutoIncrementSeed = -1;
        FAutoIncrementStep = -1;
    }
}

void TZqAutoIncField::SetAutoIncrementSeed(int AValue)
{
    CheckChange();
    FAutoIncrementSeed = AValue;
}

void TZqAutoIncField::SetAutoIncrementStep(int AValue)
{
    CheckChange();
    FAutoIncrementStep = AValue;
}
