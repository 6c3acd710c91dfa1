// qxZqCompDataSet: the dataset over in-memory tables (see the header for
// the record buffer, bookmark and editing rules).
#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompDataSetInt.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/Format.h"

using namespace dats;

namespace {

const std::vector<std::string> CCompDS = {"Comp", "DS"};

constexpr TZqPhysUpdateRowOptions Opt(std::initializer_list<TZqPhysUpdateRowOption> AItems)
{
    TZqPhysUpdateRowOptions R = 0;
    for (TZqPhysUpdateRowOption O : AItems)
        R = TZqPhysUpdateRowOptions(R | (1u << O));
    return R;
}
constexpr TZqPhysUpdateRowOptions CImmediate = Opt({uoImmediateUpd});                       // 2
constexpr TZqPhysUpdateRowOptions CCancelImmediate = Opt({uoCancelUnlock, uoImmediateUpd}); // 3
constexpr TZqPhysUpdateRowOptions CEditPostLock = Opt({uoImmediateUpd, uoDeferedLock});      // 6
constexpr TZqPhysUpdateRowOptions CDeleteLock = Opt({uoImmediateUpd, uoOneMomLock});         // 10
constexpr TZqPhysUpdateRowOptions CDeleteUnlock = Opt({uoImmediateUpd, uoNoSrvRecord});      // 18
constexpr TZqPhysUpdateRowOptions CInsertPostLock =
    Opt({uoImmediateUpd, uoDeferedLock, uoNoSrvRecord}); // 22
constexpr TZqPhysUpdateRowOptions CInsertLock =
    Opt({uoImmediateUpd, uoNoSrvRecord, uoNoClntRecord}); // 50
constexpr TZqPhysUpdateRowOptions CInsertCancel =
    Opt({uoCancelUnlock, uoImmediateUpd, uoNoSrvRecord, uoNoClntRecord}); // 51
static_assert(CInsertLock == 50 && CInsertCancel == 51 && CInsertPostLock == 22 && CDeleteUnlock == 18 &&
              CDeleteLock == 10 && CEditPostLock == 6 && CCancelImmediate == 3 && CImmediate == 2);

// A bookmark: the table, the attach serial of the dataset that made it and
// the row's RowID. Never a row address (see the header).
struct TZqBookmark {
    const TZqDatSTable *Table;
    uint32_t Serial;
    int32_t RowID;
};
static_assert(sizeof(TZqBookmark) == 16);

// Narrows a value through the library's conversion so that a value that
// does not fit its column raises EConvertError instead of wrapping.
void ConvertInto(TZqDataType ASource, TZqDataType ATarget, const void *AValue, void *ADest)
{
    void *Target = ADest;
    uint32_t Len = 0;
    ZqConvertRawData(ASource, ATarget, const_cast<void *>(AValue), 0, Target, 8, Len);
    if (Target != ADest)
        std::memcpy(ADest, Target, ZqDataTypeStorageSize(ATarget));
}

} // namespace

namespace compds {

void RaiseDS(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    ZqRaiseError(nullptr, CCompDS, ACode, AArgs);
    // A cleared error cannot leave the dataset in a usable state here.
    throw EZqException(ACode, ZqBuildErrorMessage(CCompDS, ACode, AArgs));
}

TWaitScope::TWaitScope(bool ASilent)
{
    if (!ASilent)
        ZqCreateInterface(FCursor, false);
    if (FCursor)
        FCursor->StartWait();
}

TWaitScope::~TWaitScope()
{
    if (FCursor) {
        try {
            FCursor->StopWait();
        } catch (...) {
        }
    }
}

} // namespace compds

using compds::RaiseDS;
using compds::TWaitScope;


// The table callback: a column with a field takes the field's Required and
// ReadOnly into its effective options.
class TZqDataSet::TTableCallback final : public IZqDataTableCallback {
public:
    explicit TTableCallback(TZqDataSet *ADataSet) : FDataSet(ADataSet) {}
    void GetColumnOptions(TZqDatSColumn *AColumn, TZqDataOptions &AOptions) override
    {
        for (int I = 0; I < FDataSet->FieldCount(); ++I) {
            TField *F = FDataSet->Fields()[I];
            if (F->FieldNo() > 0 && FDataSet->FieldColumn(F) == AColumn) {
                if (F->Required())
                    AOptions.Exclude(coAllowNull);
                if (F->ReadOnly())
                    AOptions.Include(coReadOnly);
                return;
            }
        }
    }
    void CalculateRow(TZqDatSRow *) override {}

private:
    TZqDataSet *FDataSet; // the dataset owns this callback
};

TZqDataSet::TZqDataSet(rtl::TComponent *AOwner)
    : TDataSet(AOwner), FIndexes(std::make_unique<TZqIndexes>(this)),
      FAggregates(std::make_unique<TZqAggregates>(this)), FAggFieldItems(std::make_unique<TZqAggregates>(this)),
      FMasterLink(std::make_unique<TZqMasterDataLink>(this))
{
    ObjectView = true;
    FMasterLink->OnMasterChange = [this](TMasterDataLink *) { RefreshDetail(); };
    FMasterLink->OnMasterDisable = [this](TMasterDataLink *) { MasterDisabled(); };
}

TZqDataSet::~TZqDataSet()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report a failing close.
    }
    // The companions hold views of the table: they go before it.
    FMasterLink.reset();
    FAggFieldItems.reset();
    FAggregates.reset();
    FIndexes.reset();
    // Views a failed close left held go while their table is still there.
    FActiveView.Reset();
    FFilterView.Reset();
    FIndexView.Reset();
    ReleaseIndexViewsCreated();
    // The table before the view, as they were attached.
    FTable.Reset();
    FView.Reset();
}

void TZqDataSet::AttachTable(TZqDatSTable *ATable, TZqDatSView *AView)
{
    Close();
    // The indexes' views belong to the table: they move with it.
    if (ATable != FTable)
        FIndexes->ReleaseAll();
    FTable.Reset(ATable);
    FView.Reset(AView);
    // Bookmarks of the previous attachment must not find rows of this one.
    ++FAttachSerial;
    // A clone is a clone of its source's table only.
    if (FCloneSource && FTable != FCloneSource->Table()) {
        FCloneSource->RemoveFreeNotification(this);
        FCloneSource = nullptr;
    }
    FIndexes->BuildAll();
}

void TZqDataSet::SetCachedUpdates(bool AValue)
{
    if (AValue == FCachedUpdates)
        return;
    if (!AValue && Active()) {
        TZqDatSUpdatesJournal *J = GetUpdates();
        if (J && J->HasChanges(FTable))
            throw rtl::Exception("Dataset has updated rows. Cant turn off cached updates mode");
    }
    FCachedUpdates = AValue;
    if (AValue) {
        TZqFetchItems C = GetFetchOptions()->Cache();
        C.Include(fiDetails);
        GetFetchOptions()->SetCache(C);
    }
}

void TZqDataSet::SetUpdateRecordTypes(TUpdateRecordTypes AValue)
{
    UpdateRecordTypesChanging();
    if (AValue == FUpdateRecordTypes)
        return;
    if (Active())
        CheckBrowseMode();
    FUpdateRecordTypes = AValue;
    if (Active()) {
        BuildFilterView();
        Recompose();
    }
}

TZqDatSUpdatesJournal *TZqDataSet::GetUpdates() const
{
    if (!FTable)
        return nullptr;
    // The rows' own rule (TZqDatSRow::Journal), read now: the table's
    // own-journal flag is only taken when it joins its manager and goes
    // stale when the manager's registry is switched afterwards.
    TZqDatSManager *M = FTable->Manager();
    if (M && M->UpdatesRegistry())
        return M->Journal();
    return FTable->Journal();
}

TZqDatSColumn *TZqDataSet::FieldColumn(const TField *AField) const
{
    int N = AField ? AField->FieldNo() : 0;
    if (N < 1 || N > int(FFieldMap.size()))
        return nullptr;
    return FFieldMap[size_t(N - 1)].Column;
}

// ---- record buffers ----------------------------------------------------------

TZqDataSet::TRecInfo *TZqDataSet::RecInfo(TRecordBuffer ABuffer) const
{
    return reinterpret_cast<TRecInfo *>(ABuffer + FRecInfoOffset);
}

TRecordBuffer TZqDataSet::AllocRecordBuffer()
{
    FRecInfoOffset = (FCalcFieldsSize + 7) & ~7;
    size_t Size = size_t(FRecInfoOffset) + sizeof(TRecInfo);
    auto *B = new (std::align_val_t(alignof(TRecInfo))) uint8_t[Size];
    std::memset(B, 0, Size);
    RecInfo(B)->RecordIndex = -1;
    return B;
}

void TZqDataSet::FreeRecordBuffer(TRecordBuffer &ABuffer)
{
    operator delete[](ABuffer, std::align_val_t(alignof(TRecInfo)));
    ABuffer = nullptr;
}

void TZqDataSet::ClearCalcFields(TRecordBuffer ABuffer)
{
    if (ABuffer)
        std::memset(ABuffer, 0, size_t(FCalcFieldsSize));
}

TBookmarkFlag TZqDataSet::GetBookmarkFlag(TRecordBuffer ABuffer) { return RecInfo(ABuffer)->BookmarkFlag; }

void TZqDataSet::SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue)
{
    RecInfo(ABuffer)->BookmarkFlag = AValue;
}

void TZqDataSet::GetBookmarkData(TRecordBuffer ABuffer, void *AData)
{
    // The buffer's own row, never the new row of an insert.
    TZqDatSRow *Row = RecInfo(ABuffer)->Row;
    TZqBookmark B{FTable, FAttachSerial, Row ? Row->RowID() : -1};
    std::memcpy(AData, &B, sizeof B);
}

void TZqDataSet::SetBookmarkData(TRecordBuffer, const void *) {}

TZqDatSRow *TZqDataSet::GetRowOfBuffer(TRecordBuffer ABuffer, bool ABufferRowOnly) const
{
    if (!ABuffer) {
        if (FForcedBuffer)
            ABuffer = FForcedBuffer;
        else if (!IsCursorOpen() || IsEmpty())
            return nullptr;
        else
            ABuffer = ActiveBuffer();
    }
    if (!ABuffer)
        return nullptr;
    TRecInfo *I = RecInfo(ABuffer);
    if (!ABufferRowOnly && ABuffer != FForcedBuffer && FNewRow &&
        (I->BookmarkFlag == bfBOF || I->BookmarkFlag == bfEOF || I->BookmarkFlag == bfInserted))
        return FNewRow;
    return I->Row;
}

EZqException *TZqDataSet::RowError() const
{
    const TZqDatSRow *Row = GetRowOfBuffer();
    return Row ? Row->GetRowError() : nullptr;
}

void TZqDataSet::SetForcedRow(TZqDatSRow *ARow, bool AForceWrite, bool ARecalc)
{
    ClearForcedRow();
    FForcedBuffer = AllocRecordBuffer();
    TRecInfo *I = RecInfo(FForcedBuffer);
    I->Row = ARow;
    I->RecordIndex = -1;
    I->BookmarkFlag = bfBOF;
    if (AForceWrite && ARow)
        ARow->BeginForceWrite();
    if (ARecalc)
        GetCalcFields(FForcedBuffer);
}

void TZqDataSet::ClearForcedRow()
{
    if (!FForcedBuffer)
        return;
    TZqDatSRow *Row = RecInfo(FForcedBuffer)->Row;
    if (Row && Row->RowState() == rsForceWrite)
        Row->EndForceWrite();
    FreeRecordBuffer(FForcedBuffer);
}

// ---- opening and closing -------------------------------------------------------

void TZqDataSet::SetActive(bool AValue)
{
    if ((HasState(rtl::csReading) || HasState(rtl::csLoading)) && FActiveAtRunTime != arStandard)
        return;
    TDataSet::SetActive(AValue);
}

void TZqDataSet::Loaded()
{
    TDataSet::Loaded();
    if (FActiveAtRunTime == arActive)
        SetActive(true);
}

void TZqDataSet::OpenCursor(bool AInfoQuery)
{
    TWaitScope Wait(FSilent);
    FSourceEOF = false;
    FDiscardedRows = 0;
    ResolveMasterFields();
    if (FMasterLink->Active() && !FMasterLink->Fields().empty())
        SetMasterParams(FMasterLink->Fields());
    // A clone reads its source's rows; it has no source of its own to run.
    if (FCloneSource) {
        TDataSet::OpenCursor(AInfoQuery);
        return;
    }
    PrepareSource();
    DefineSource();
    if (AInfoQuery) {
        OpenSource(false, true, true);
        TDataSet::OpenCursor(true);
        return;
    }
    if (IsSourceAsync()) {
        OpenSource(true, AInfoQuery, true);
        SetState(dsOpening);
        return;
    }
    TDataSet::OpenCursor(false);
}

void TZqDataSet::InternalOpen()
{
    if (!FTable)
        RaiseDS(206);
    TZqFetchOptions *FO = GetFetchOptions();
    FTable->SetRowsCapacity(FO->RecsMax() != -1 ? FO->RecsMax() : FO->RowsetSize());
    bool DetailWithRows = FMasterLink->Active() && !FMasterLink->Fields().empty();
    if (FCloneSource)
        FSourceEOF = true;
    else if (FO->Mode() != fmManual && FState != dsOpening && !DetailWithRows)
        OpenSource(false, false, true);
    OpenIndexes();
    SetIndexView(false);
    BuildFilterView();
    ComposeViews();
    FCurrentIndex = -1;
    if (FFieldDefs->Updated()) {
        // Definitions are current: the field numbers follow the columns.
        FFieldMap.clear();
        for (int I = 0; I < FTable->Columns()->Count(); ++I) {
            TZqDatSColumn *C = FTable->Columns()->GetItem(I);
            if (!C->Attributes().Contains(caInternal))
                FFieldMap.push_back(TZqColMapItem{C, I, {}});
        }
    } else {
        FFieldDefs->Update();
    }
    if (DefaultFields())
        CreateFields();
    BindFields(true);
    if (DefaultFields()) {
        // Column properties into the default fields.
        for (int I = 0; I < FieldCount(); ++I) {
            TField *F = Fields()[I];
            TZqDatSColumn *C = FieldColumn(F);
            if (!C)
                continue;
            if (!C->SourceName().empty())
                F->SetOrigin(C->SourceName());
            TProviderFlags P = 0;
            if (C->Options().Contains(coInUpdate))
                P |= pfInUpdate;
            if (C->Options().Contains(coInWhere))
                P |= pfInWhere;
            if (C->Options().Contains(coInKey))
                P |= pfInKey;
            F->SetProviderFlags(P);
            if (F->AutoGenerateValue() == TAutoRefreshFlag::arNone) {
                if (C->Attributes().Contains(caAutoInc))
                    F->SetAutoGenerateValue(TAutoRefreshFlag::arAutoInc);
                else if (C->Attributes().Contains(caCalculated) || C->Attributes().Contains(caVolatile) ||
                         C->Attributes().Contains(caROWID))
                    F->SetAutoGenerateValue(TAutoRefreshFlag::arDefault);
            }
        }
    }
    OpenFieldExtras();
    AddCheckConstraints();
    ApplyConstraintEnforcement();
    FCallback = std::make_unique<TTableCallback>(this);
    FTable->SetCallback(FCallback.get());
    FBookmarkSize = int(sizeof(TZqBookmark));
    if (FIndexView)
        AllocKeyBuffers();
    if (FO->Mode() != fmManual && FState != dsOpening && DetailWithRows)
        RefreshDetail();
}

void TZqDataSet::InternalClose()
{
    EndBatch();
    RemoveCheckConstraints();
    if (FTable && FTable->Callback() == FCallback.get())
        FTable->SetCallback(nullptr);
    FCallback.reset();
    ClearForcedRow();
    FreeNewRow();
    FreeKeyBuffers();
    FTotalRecordCount = -1;
    CloseFieldExtras();
    BindFields(false);
    if (DefaultFields())
        DestroyFields();
    FAggregates->DeactivateAll();
    ReleaseViews();
    DropFilterView();
    FIndexView.Reset();
    ReleaseIndexViewsCreated();
    CloseIndexes();
    FChildsParentRow = nullptr;
    FSourceEOF = true;
    FDiscardedRows = 0;
    if (FLocateRow) {
        FLocateRow->Free();
        FLocateRow = nullptr;
    }
    FLocateFields.clear();
    FLocateFieldList.clear();
    CloseSource();
    ResetSource();
}

bool TZqDataSet::IsCursorOpen() const { return FActiveView && FActiveView->GetActualActive(); }

void TZqDataSet::ReleaseViews()
{
    FActiveView.Reset();
}

void TZqDataSet::InternalInitFieldDefs()
{
    FFieldMap.clear();
    if (!FTable) {
        FFieldDefs->Clear();
        return;
    }
    TZqFormatOptions *Fmt = GetFormatOptions();
    // A query reopened with a new text mostly describes the same columns:
    // definitions whose names come back in the same order are rewritten in
    // place rather than thrown away and made again.
    int Visible = 0;
    for (int I = 0; I < FTable->Columns()->Count(); ++I)
        if (!FTable->Columns()->GetItem(I)->Attributes().Contains(caInternal))
            ++Visible;
    bool Reuse = FFieldDefs->Count() == Visible;
    for (int I = 0, K = 0; Reuse && I < FTable->Columns()->Count(); ++I) {
        TZqDatSColumn *C = FTable->Columns()->GetItem(I);
        if (C->Attributes().Contains(caInternal))
            continue;
        TFieldDef *D = FFieldDefs->Items(K++);
        Reuse = D->Name() == C->Name() && !D->HasChildDefs() && D->DefaultExpression().empty();
    }
    if (!Reuse)
        FFieldDefs->Clear();
    for (int I = 0; I < FTable->Columns()->Count(); ++I) {
        TZqDatSColumn *C = FTable->Columns()->GetItem(I);
        TZqDataAttributes A = C->Attributes();
        if (A.Contains(caInternal))
            continue;
        rtl::TFieldType FT;
        uint32_t Size = 0;
        int Prec = 0;
        Fmt->DataTypeToFieldType(C->DataType(), A, uint32_t(std::max(C->Size(), 0)), C->Precision(), C->Scale(),
                                 FT, Size, Prec);
        TFieldDef *D;
        if (Reuse) {
            D = FFieldDefs->Items(int(FFieldMap.size()));
        } else {
            std::string Name = C->Name();
            for (int N = 1; FFieldDefs->IndexOf(Name) >= 0; ++N)
                Name = rtl::Format("%s_%d", {rtl::Variant(C->Name()), rtl::Variant(N)});
            D = FFieldDefs->AddFieldDef();
            D->SetName(Name);
        }
        D->SetDataType(FT);
        D->SetSize(int(Size));
        D->SetPrecision(Prec);
        D->SetInternalCalcField(A.Contains(caCalculated));
        TFieldAttributes FA = 0;
        if (!C->GetAllowNull())
            FA |= faRequired;
        if (C->GetReadOnly())
            FA |= faReadonly;
        if (A.Contains(caUnnamed))
            FA |= faUnNamed;
        if (A.Contains(caFixedLen))
            FA |= faFixed;
        D->SetAttributes(FA);
        FFieldMap.push_back(TZqColMapItem{C, I, {}});
        D->SetFieldNo(int(FFieldMap.size()));
    }
    FFieldDefs->SetUpdated(true);
}

int TZqDataSet::GetRecordSize() const
{
    if (!FTable || !FTable->Columns()->Layout())
        return 0;
    uint32_t Size = FTable->Columns()->Layout()->ValuesSize;
    ZQ_ASSERT(Size < 65536, "qxZqCompDataSet");
    return int(Size);
}

void TZqDataSet::FreeNewRow()
{
    if (FNewRow) {
        if (!FNewRow->InTable())
            FNewRow->Free();
        FNewRow = nullptr;
    }
    FNewRowFresh = false;
}

// ---- fetching --------------------------------------------------------------------

bool TZqDataSet::FetchMore(bool AAll, bool AOnDemand)
{
    TZqFetchOptions *FO = GetFetchOptions();
    if (AOnDemand && FO->Mode() == fmManual)
        return false;
    if (FSourceEOF || FO->RowsetSize() == 0)
        return false;
    TWaitScope Wait(FSilent);
    DoBeforeGetRecords();
    int Got;
    do {
        if (FUnidirectional) {
            // Rows already read are dropped; record numbers keep counting.
            // Changes made to them must not go without a word.
            TZqDatSUpdatesJournal *J = GetUpdates();
            if (J && J->HasChanges(FTable))
                RaiseDS(205);
            FDiscardedRows += FTable->Rows()->Count();
            FTable->ClearRows();
            FCurrentIndex = -1;
        }
        Got = FetchFromSource(FTable, AAll);
    } while (AAll && Got > 0);
    if (Got == 0) {
        FSourceEOF = true;
        if (FUnidirectional && FActiveView->Rows()->Count() == 0)
            ClearBuffers();
    }
    DoAfterGetRecords();
    return Got > 0;
}

void TZqDataSet::FetchAll()
{
    CheckBrowseMode();
    if (!FSourceEOF) {
        UpdateCursorPos();
        FetchMore(true, true);
        Resync(0);
    }
}

void TZqDataSet::Execute(int ATimes, int AOffset)
{
    CheckInactive();
    TWaitScope Wait(FSilent);
    DoBeforeExecute();
    PrepareSource();
    ExecuteSource(ATimes, AOffset);
    if (!IsSourceAsync())
        DoAfterExecute();
}

// ---- navigation ------------------------------------------------------------------

TGetResult TZqDataSet::GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck)
{
    try {
        int Count = FActiveView->Rows()->Count();
        switch (AGetMode) {
        case gmNext:
            while (FCurrentIndex + 1 >= Count) {
                if (!FetchMore(false, true))
                    break;
                Count = FActiveView->Rows()->Count();
            }
            FCurrentIndex = FCurrentIndex + 1 < Count ? FCurrentIndex + 1 : Count;
            break;
        case gmPrior:
            if (FCurrentIndex >= 0)
                --FCurrentIndex;
            if (FCurrentIndex >= Count)
                FCurrentIndex = Count - 1;
            break;
        case gmCurrent:
            break;
        }
        if (FCurrentIndex >= Count)
            return grEOF;
        if (FCurrentIndex < 0)
            return grBOF;
        if (!ABuffer)
            return grOK;
        TRecInfo *I = RecInfo(ABuffer);
        I->Row = FActiveView->Rows()->GetItem(FCurrentIndex);
        I->RecordIndex = FCurrentIndex;
        I->BookmarkFlag = bfCurrent;
        GetCalcFields(ABuffer);
        return grOK;
    } catch (...) {
        if (ADoCheck)
            throw;
        return grError;
    }
}

void TZqDataSet::InternalLast()
{
    FetchMore(true, true);
    FCurrentIndex = FActiveView->Rows()->Count();
}

TZqDatSRow *TZqDataSet::FindRowByID(int32_t AID) const
{
    if (AID < 0)
        return nullptr;
    TZqDatSTableRowList *Rows = FTable->Rows();
    TZqDatSRow **A = Rows->RowData();
    int N = Rows->Count();
    if (Rows->InOrder()) {
        int Lo = 0, Hi = N - 1;
        while (Lo <= Hi) {
            int Mid = (Lo + Hi) / 2;
            int32_t M = A[Mid]->RowID();
            if (M == AID)
                return A[Mid];
            if (M < AID)
                Lo = Mid + 1;
            else
                Hi = Mid - 1;
        }
        return nullptr;
    }
    for (int I = 0; I < N; ++I)
        if (A[I]->RowID() == AID)
            return A[I];
    return nullptr;
}

TZqDatSRow *TZqDataSet::RowOfBookmark(const void *ABookmark) const
{
    if (!ABookmark || !FTable)
        return nullptr;
    TZqBookmark B;
    std::memcpy(&B, ABookmark, sizeof B);
    if (B.Table != FTable || B.Serial != FAttachSerial)
        return nullptr;
    return FindRowByID(B.RowID);
}

void TZqDataSet::InternalGotoBookmark(const void *ABookmark)
{
    TZqDatSRow *Row = RowOfBookmark(ABookmark);
    FCurrentIndex = Row ? FActiveView->IndexOf(Row) : -1;
    if (FCurrentIndex < 0 && !FRelocating)
        RaiseDS(200);
}

void TZqDataSet::InternalSetToRecord(TRecordBuffer ABuffer)
{
    TRecInfo *I = RecInfo(ABuffer);
    if (I->BookmarkFlag == bfBOF || I->BookmarkFlag == bfEOF || I->BookmarkFlag == bfInserted) {
        FCurrentIndex = FActiveView->Rows()->Count();
        return;
    }
    // The buffer's row may have moved in the view since it was read.
    int Pos = I->RecordIndex;
    TZqDatSViewRowList *Rows = FActiveView->Rows();
    if (Pos >= 0 && Pos < Rows->Count() && Rows->GetItem(Pos) == I->Row) {
        FCurrentIndex = Pos;
        return;
    }
    FCurrentIndex = I->Row ? FActiveView->IndexOf(I->Row) : -1;
    if (FCurrentIndex < 0 && !FRelocating)
        RaiseDS(200);
}

bool TZqDataSet::BookmarkValid(const TBookmark &ABookmark)
{
    if (ABookmark.size() != sizeof(TZqBookmark) || !IsCursorOpen())
        return false;
    TZqDatSRow *Row = RowOfBookmark(ABookmark.data());
    return Row && FActiveView->IndexOf(Row) >= 0;
}

int TZqDataSet::CompareBookmarks(const TBookmark &A, const TBookmark &B)
{
    if (A.empty() && B.empty())
        return 0;
    if (B.empty())
        return -1;
    if (A.empty())
        return 1;
    TZqDatSRow *RA = RowOfBookmark(A.data());
    TZqDatSRow *RB = RowOfBookmark(B.data());
    int PA = RA ? FActiveView->IndexOf(RA) : -1;
    int PB = RB ? FActiveView->IndexOf(RB) : -1;
    return PA < PB ? -1 : (PA > PB ? 1 : 0);
}

bool TZqDataSet::GetCurrentRecord(TRecordBuffer ABuffer)
{
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent)
        return false;
    UpdateCursorPos();
    return GetRecord(ABuffer, gmCurrent, false) == grOK;
}

int TZqDataSet::GetRecNo() const
{
    CheckActive();
    TRecordBuffer B = FState == dsCalcFields ? FCalcBuffer : (IsEmpty() ? nullptr : ActiveBuffer());
    int Index = B ? RecInfo(B)->RecordIndex : -1;
    return Index + FDiscardedRows + 1;
}

void TZqDataSet::SetRecNo(int AValue)
{
    CheckBrowseMode();
    if (AValue == GetRecNo())
        return;
    DoBeforeScroll();
    int Want = AValue - 1 - FDiscardedRows;
    UpdateCursorPos();
    while (Want >= FActiveView->Rows()->Count() && FetchMore(false, true)) {
    }
    int Count = FActiveView->Rows()->Count();
    if (Want < 0)
        FCurrentIndex = 0;
    else
        FCurrentIndex = Want < Count ? Want : Count - 1;
    Resync(rmCenter);
    DoAfterScroll();
}

int TZqDataSet::GetRecordCount() const
{
    if (FState == dsInactive || FState == dsOpening || !FActiveView)
        return 0;
    auto *Self = const_cast<TZqDataSet *>(this);
    switch (Self->GetFetchOptions()->RecordCountMode()) {
    case cmVisible:
        return FActiveView->Rows()->Count();
    case cmFetched:
        return FDiscardedRows + FTable->Rows()->Count();
    case cmTotal:
        if (FTotalRecordCount == -1) {
            if (!(Filtered() && (!Filter().empty() || OnFilterRecord())) && !RangeActive() &&
                (FUpdateRecordTypes & rtUnmodified)) {
                Self->CountTotalRecords();
            } else {
                Self->FetchMore(true, true);
                Self->FTotalRecordCount = FActiveView->Rows()->Count();
            }
        }
        return FTotalRecordCount;
    }
    return 0;
}

void TZqDataSet::InternalRefresh()
{
    TZqDatSUpdatesJournal *J = GetUpdates();
    if (J && J->HasChanges(FTable))
        RaiseDS(205);
    if (FUnidirectional)
        RaiseDS(211);
    // A clone's rows are its source's: refreshing them is the source's job.
    if (FCloneSource)
        return;
    if (FMasterLink->Active() && IsMasterParamBound(FMasterLink->Fields())) {
        // A detail fills itself from its master's current values; the
        // record buffers show rows that are about to be freed.
        ClearBuffers();
        FTable->ClearRows();
        FCurrentIndex = -1;
        FSourceEOF = true;
        if (GetFetchOptions()->Mode() != fmManual)
            RefreshDetail();
        return;
    }
    int RecNo = IsEmpty() ? -1 : GetRecNo();
    std::string Keys = PSGetKeyFields();
    rtl::Variant KeyValues;
    if (!Keys.empty() && !IsEmpty())
        KeyValues = FieldValues(Keys);
    FTable->ClearRows();
    CloseSource();
    FSourceEOF = false;
    FDiscardedRows = 0;
    FTotalRecordCount = -1;
    OpenSource(false, false, false);
    int Index = -1;
    if (!Keys.empty() && !KeyValues.IsEmpty() && LocateSearch(Keys, KeyValues, 0, Index)) {
        FCurrentIndex = Index;
        return;
    }
    int Count = FActiveView->Rows()->Count();
    FCurrentIndex = RecNo < 1 ? -1 : std::min(RecNo - 1 - FDiscardedRows, Count - 1);
}

void TZqDataSet::InternalHandleException()
{
    TDataSet::InternalHandleException();
}

void TZqDataSet::DataEvent(TDataEvent AEvent, intptr_t AInfo)
{
    if (AEvent == deParentScroll)
        RefreshDetail();
    TDataSet::DataEvent(AEvent, AInfo);
}

// ---- field data ------------------------------------------------------------------

TRecordBuffer TZqDataSet::ReadBuffer() const
{
    // A forced row wins over whatever the state would read; a key edit
    // reads and writes the key buffer being edited.
    if (FForcedBuffer)
        return FForcedBuffer;
    if (FState == dsSetKey)
        return FKeyBuffersAllocated ? FKeyBuffers[FKeyIndex].Buffer : nullptr;
    return GetStateRecordBuffer();
}

bool TZqDataSet::GetFieldData(TField *AField, void *ABuffer)
{
    TRecordBuffer Rec = ReadBuffer();
    if (AField->FieldNo() < 1) {
        switch (FState) {
        case dsBrowse: case dsEdit: case dsInsert: case dsCalcFields: case dsFilter: case dsBlockRead:
            return GetCalcFieldData(AField, Rec, ABuffer);
        default:
            return FForcedBuffer ? GetCalcFieldData(AField, Rec, ABuffer) : false;
        }
    }
    if (!Rec)
        return false;
    TZqDatSRow *Row = GetRowOfBuffer(Rec);
    const TZqColMapItem *M = size_t(AField->FieldNo()) <= FFieldMap.size() ? &FFieldMap[size_t(AField->FieldNo() - 1)] : nullptr;
    if (!Row || !M)
        return false;
    TZqDatSRowVersion Ver = rvDefault;
    if (!FForcedBuffer) {
        if (FState == dsNewValue)
            Ver = rvCurrent;
        else if (FState == dsOldValue)
            Ver = rvOriginal;
    }
    TZqDataType T = M->Column->DataType();
    int Col = M->ColumnIndex;
    if (T == dtRowSetRef || T == dtCursorRef) {
        TZqDatSNestedRowList *L = Row->GetNestedRows(Col);
        return L && L->Count() > 0;
    }
    if (T == dtRowRef || T == dtArrayRef)
        return Row->GetNestedRow(Col) != nullptr;
    void *P = nullptr;
    uint32_t Len = 0;
    if (!Row->GetData(Col, Ver, P, 0, Len, false))
        return false;
    // The format options matter to strings only; numbers, read by the
    // million in a profile loop, do not look them up.
    const auto Fmt = [this] { return GetFormatOptions(); };
    const auto Fixed = [M] { return M->Column->Attributes().Contains(caFixedLen); };
    auto *B = static_cast<uint8_t *>(ABuffer);
    switch (T) {
    case dtBoolean: case dtInt16: case dtUInt16:
        if (B) std::memcpy(B, P, 2);
        return true;
    case dtSByte: {
        int16_t V = *static_cast<int8_t *>(P);
        if (B) std::memcpy(B, &V, 2);
        return true;
    }
    case dtByte: {
        uint16_t V = *static_cast<uint8_t *>(P);
        if (B) std::memcpy(B, &V, 2);
        return true;
    }
    case dtInt32: case dtUInt32: case dtTime: case dtDate:
        if (B) std::memcpy(B, P, 4);
        return true;
    case dtInt64: case dtUInt64: case dtDouble: case dtDateTime:
        if (B) std::memcpy(B, P, 8);
        return true;
    case dtCurrency: {
        int64_t C;
        std::memcpy(&C, P, 8);
        double D = double(C) / 10000.0;
        if (B) std::memcpy(B, &D, 8);
        return true;
    }
    case dtBCD: case dtFmtBCD:
        if (B) std::memcpy(B, P, sizeof(rtl::TBcd));
        return true;
    case dtDateTimeStamp:
        if (B) std::memcpy(B, P, sizeof(rtl::TSQLTimeStamp));
        return true;
    case dtAnsiString: {
        const char *S = static_cast<const char *>(P);
        if (Fixed() && Fmt()->StrsTrim())
            while (Len > 0 && uint8_t(S[Len - 1]) <= 32)
                --Len;
        if (Len == 0 && Fmt()->StrsEmpty2Null())
            return false;
        if (B) {
            uint32_t N = std::min<uint32_t>(Len, uint32_t(std::max(AField->DataSize() - 1, 0)));
            std::memcpy(B, S, N);
            B[N] = 0;
        }
        return true;
    }
    case dtWideString: {
        const char16_t *S = static_cast<const char16_t *>(P);
        if (Fixed() && Fmt()->StrsTrim())
            while (Len > 0 && S[Len - 1] <= 32)
                --Len;
        if (Len == 0 && Fmt()->StrsEmpty2Null())
            return false;
        if (B) {
            uint32_t N = std::min<uint32_t>(Len, uint32_t(std::max(AField->Size(), 0)));
            std::memcpy(B, S, N * 2);
            std::memset(B + N * 2, 0, 2);
        }
        return true;
    }
    case dtByteString: {
        if (Fixed()) {
            if (B) {
                uint32_t N = std::min<uint32_t>(Len, uint32_t(std::max(AField->Size(), 0)));
                std::memcpy(B, P, N);
            }
            return true;
        }
        if (Len == 0 && Fmt()->StrsEmpty2Null())
            return false;
        if (B) {
            uint16_t N = uint16_t(std::min<uint32_t>(Len, uint32_t(std::max(AField->Size(), 0))));
            std::memcpy(B, &N, 2);
            std::memcpy(B + 2, P, N);
        }
        return true;
    }
    case dtGUID:
        if (B) {
            std::string S = ZqGuidBytesToText(P);
            std::memcpy(B, S.c_str(), S.size() + 1);
        }
        return true;
    case dtObject:
        if (B) std::memcpy(B, P, sizeof(void *));
        return true;
    default:
        // Blobs and memos: presence only; the value travels through streams.
        return true;
    }
}

bool TZqDataSet::GetBlobData(TField *AField, std::string &AValue)
{
    AValue.clear();
    TRecordBuffer Rec = ReadBuffer();
    TZqDatSRow *Row = Rec ? GetRowOfBuffer(Rec) : nullptr;
    TZqDatSColumn *C = FieldColumn(AField);
    if (!Row || !C)
        return false;
    void *P = nullptr;
    uint32_t Len = 0;
    TZqDatSRowVersion Ver = FState == dsOldValue ? rvOriginal : (FState == dsNewValue ? rvCurrent : rvDefault);
    if (!Row->GetData(C->Index(), Ver, P, 0, Len, false))
        return false;
    if (IsWideType(C->DataType()))
        AValue = DatSUtf16ToUtf8(static_cast<const char16_t *>(P), Len);
    else
        AValue.assign(static_cast<const char *>(P), Len);
    return true;
}

void TZqDataSet::SetBlobData(TField *AField, const std::string *AValue)
{
    TRecordBuffer Rec = ReadBuffer();
    TZqDatSRow *Row = Rec ? GetRowOfBuffer(Rec) : nullptr;
    TZqDatSColumn *C = FieldColumn(AField);
    if (!Row || !C)
        return;
    if (!FForcedBuffer)
        CheckFieldWrite(AField);
    TZqDatSRowState S = Row->RowState();
    if (S == rsInserted || S == rsModified || S == rsUnchanged)
        Row->BeginEdit();
    if (!AValue) {
        Row->SetData(C->Index(), nullptr, 0);
    } else if (IsWideType(C->DataType())) {
        std::u16string W = DatSUtf8ToUtf16(*AValue);
        Row->SetData(C->Index(), W.data(), uint32_t(W.size()));
    } else {
        Row->SetData(C->Index(), AValue->data(), uint32_t(AValue->size()));
    }
    if (!FForcedBuffer && FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
}

void TZqDataSet::SetFieldData(TField *AField, const void *ABuffer)
{
    bool Forced = FForcedBuffer != nullptr;
    if (!Forced) {
        switch (FState) {
        case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter: case dsNewValue:
        case dsInternalCalc:
            break;
        default:
            DatabaseError(DBText::SNotEditing, this);
        }
    }
    TRecordBuffer Rec = ReadBuffer();
    if (FState == dsSetKey && !Forced && AField->FieldNo() < 1)
        DatabaseError(rtl::Format(DBText::SNotIndexField, {rtl::Variant(AField->DisplayName())}), this);
    if (AField->FieldNo() < 1) {
        SetCalcFieldData(AField, Rec, ABuffer);
        if (!Forced && FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
            DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
        return;
    }
    if (!Forced) {
        if (FState == dsCalcFields)
            DatabaseError(DBText::SNotEditing, this);
        if (AField->ReadOnly() && FState != dsSetKey && FState != dsFilter)
            DatabaseError(rtl::Format(DBText::SFieldReadOnly, {rtl::Variant(AField->DisplayName())}), this);
        AField->Validate(ABuffer);
    }
    TZqDatSRow *Row = Rec ? GetRowOfBuffer(Rec) : nullptr;
    const TZqColMapItem &M = FFieldMap.at(size_t(AField->FieldNo() - 1));
    if (!Row)
        return;
    TZqFormatOptions *Fmt = GetFormatOptions();
    TZqDataType T = M.Column->DataType();
    bool Fixed = M.Column->Attributes().Contains(caFixedLen);
    const void *Value = ABuffer;
    uint32_t Len = 0;
    uint8_t Scratch[16];
    std::string Narrow;
    std::u16string Wide;
    if (ABuffer) {
        switch (T) {
        case dtSByte:
            ConvertInto(dtInt16, dtSByte, ABuffer, Scratch);
            Value = Scratch;
            break;
        case dtByte:
            ConvertInto(dtUInt16, dtByte, ABuffer, Scratch);
            Value = Scratch;
            break;
        case dtUInt32:
            ConvertInto(dtInt32, dtUInt32, ABuffer, Scratch);
            Value = Scratch;
            break;
        case dtUInt64:
            ConvertInto(dtInt64, dtUInt64, ABuffer, Scratch);
            Value = Scratch;
            break;
        case dtCurrency:
            ConvertInto(dtDouble, dtCurrency, ABuffer, Scratch);
            Value = Scratch;
            break;
        case dtAnsiString: {
            const char *S = static_cast<const char *>(ABuffer);
            // The field's buffer, not its size, bounds the text: a value too
            // long for the column is refused by the row, never cut here.
            size_t N = strnlen(S, size_t(std::max(AField->DataSize() - 1, 0)));
            if (Fixed && Fmt->StrsTrim())
                while (N > 0 && S[N - 1] == ' ')
                    --N;
            if (N == 0 && Fmt->StrsEmpty2Null()) {
                Value = nullptr;
            } else {
                Len = uint32_t(N);
            }
            break;
        }
        case dtWideString: {
            const char16_t *S = static_cast<const char16_t *>(ABuffer);
            size_t Max = size_t(std::max(AField->Size(), 0));
            size_t N = 0;
            while (N < Max && S[N] != 0)
                ++N;
            if (Fixed && Fmt->StrsTrim())
                while (N > 0 && S[N - 1] == u' ')
                    --N;
            if (N == 0 && Fmt->StrsEmpty2Null())
                Value = nullptr;
            else
                Len = uint32_t(N);
            break;
        }
        case dtByteString:
            if (Fixed) {
                Len = uint32_t(std::max(M.Column->Size(), 0));
            } else {
                uint16_t N;
                std::memcpy(&N, ABuffer, 2);
                if (N == 0 && Fmt->StrsEmpty2Null()) {
                    Value = nullptr;
                } else {
                    Value = static_cast<const uint8_t *>(ABuffer) + 2;
                    Len = N;
                }
            }
            break;
        case dtGUID: {
            std::string S(static_cast<const char *>(ABuffer));
            if (S.empty() || S[0] != '{')
                S = "{" + S + "}";
            ZqGuidTextToBytes(S, Scratch);
            Value = Scratch;
            break;
        }
        default:
            break;
        }
    }
    TZqDatSRowState S = Row->RowState();
    if (S == rsInserted || S == rsModified || S == rsUnchanged)
        Row->BeginEdit();
    Row->SetData(M.ColumnIndex, Value, Len);
    if (!Forced && FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
}

// ---- editing ----------------------------------------------------------------------

void TZqDataSet::SendRequest(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions)
{
    // Cached updates keep the changes in the journal: only the locks that
    // are not deferred still go out.
    if (FCachedUpdates && (AOptions & (1u << uoImmediateUpd)) &&
        !(ARequest == arLock && !(AOptions & (1u << uoDeferedLock))))
        return;
    RequestRow(ARequest, AOptions);
}

void TZqDataSet::DoBeforeEdit()
{
    if (!GetUpdateOptions()->EnableUpdate())
        RaiseDS(405);
    TDataSet::DoBeforeEdit();
}

void TZqDataSet::DoBeforeInsert()
{
    TDataSet::DoBeforeInsert();
    if (!GetUpdateOptions()->EnableInsert())
        RaiseDS(406);
    FInsertIndex = (!IsEmpty() && ActiveBuffer()) ? std::max(RecInfo(ActiveBuffer())->RecordIndex, 0) : 0;
    TWaitScope Wait(FSilent);
    SendRequest(arLock, CInsertLock);
}

void TZqDataSet::DoBeforeDelete()
{
    if (!GetUpdateOptions()->EnableDelete())
        RaiseDS(407);
    TDataSet::DoBeforeDelete();
}

void TZqDataSet::InitRecord(TRecordBuffer ABuffer)
{
    FreeNewRow();
    FNewRow = FTable->NewRow(true);
    FNewRowFresh = true;
    TRecInfo *I = RecInfo(ABuffer);
    I->Row = FNewRow;
    TDataSet::InitRecord(ABuffer);
    FNewRowFresh = false;
    I->Row = FNewRow;
    I->RecordIndex = -1;
    I->BookmarkFlag = bfInserted;
}

void TZqDataSet::InternalInitRecord(TRecordBuffer ABuffer)
{
    // A key edit clears the key being edited, whatever buffer is active.
    if (FState == dsSetKey) {
        if (FKeyBuffersAllocated)
            FKeyBuffers[FKeyIndex].Row->Clear(false);
        return;
    }
    // Only the new row of an insert is cleared wholesale: the buffer may
    // still point at a row of the table, whose values must not be touched.
    TZqDatSRow *Row = RecInfo(ABuffer)->Row;
    if (!Row)
        return;
    if (Row == FNewRow) {
        if (!FNewRowFresh)
            Row->Clear(true);
        return;
    }
    if (FState == dsEdit && Row->InTable()) {
        TZqDatSRowState S = Row->RowState();
        if (S == rsInserted || S == rsModified || S == rsUnchanged)
            Row->BeginEdit();
        for (const TZqColMapItem &M : FFieldMap)
            if (!M.Column->GetReadOnly())
                Row->SetData(M.ColumnIndex, nullptr, 0);
    }
}

void TZqDataSet::InternalEdit()
{
    TWaitScope Wait(FSilent);
    SendRequest(arLock, CImmediate);
}

void TZqDataSet::Reposition(TZqDatSRow *ARow)
{
    FActiveView->SetPositionHint(-1);
    FInsertIndex = -1;
    int Pos = FActiveView->LastPosition();
    TZqDatSViewRowList *Rows = FActiveView->Rows();
    if (!(Pos >= 0 && Pos < Rows->Count() && Rows->GetItem(Pos) == ARow))
        Pos = FActiveView->IndexOf(ARow);
    if (Pos >= 0)
        FCurrentIndex = Pos;
}

void TZqDataSet::InternalPost()
{
    TDataSet::InternalPost();
    TWaitScope Wait(FSilent);
    if (FState == dsInsert) {
        InternalAddRecord(ActiveBuffer(), GetBookmarkFlag(ActiveBuffer()) == bfEOF);
        return;
    }
    TZqDatSRow *Row = RecInfo(ActiveBuffer())->Row;
    bool Changed = Row && Row->RowState() == rsEditing;
    if (Changed) {
        FActiveView->SetPositionHint(FCurrentIndex);
        Row->EndEdit();
        Reposition(Row);
        SendRequest(arLock, CEditPostLock);
        SendRequest(arUpdate, CImmediate);
    }
    SendRequest(arUnlock, CImmediate);
}

void TZqDataSet::InternalAddRecord(TRecordBuffer, bool AAppend)
{
    TZqDatSRow *Row = FNewRow;
    SendRequest(arLock, CInsertPostLock);
    bool Added = false;
    try {
        if (AAppend) {
            FetchMore(true, true);
            FActiveView->SetPositionHint(FActiveView->Rows()->Count());
        } else {
            FActiveView->SetPositionHint(FInsertIndex);
        }
        FTable->Rows()->Add(Row);
        Added = true;
        FNewRow = nullptr;
        Reposition(Row);
        SendRequest(arInsert, CImmediate);
        SendRequest(arUnlock, CImmediate);
    } catch (...) {
        FActiveView->SetPositionHint(-1);
        try {
            SendRequest(arUnlock, CInsertCancel);
        } catch (...) {
        }
        if (Added && Row->InTable()) {
            // The failed insert leaves the table as it was; the new row is
            // kept for the user to correct and post again.
            Row->Free();
        } else if (!Added) {
            FNewRow = Row;
        }
        throw;
    }
}

void TZqDataSet::InternalCancel()
{
    TWaitScope Wait(FSilent);
    if (FState == dsEdit) {
        TZqDatSRow *Row = IsEmpty() ? nullptr : RecInfo(ActiveBuffer())->Row;
        if (Row && Row->RowState() == rsEditing)
            Row->CancelEdit();
        SendRequest(arUnlock, CCancelImmediate);
    } else if (FState == dsInsert) {
        SendRequest(arUnlock, CInsertCancel);
        if (!IsEmpty() && RecInfo(ActiveBuffer())->Row == FNewRow)
            RecInfo(ActiveBuffer())->Row = nullptr;
        FreeNewRow();
    }
}

void TZqDataSet::InternalDelete()
{
    TWaitScope Wait(FSilent);
    TZqDatSRow *Row = RecInfo(ActiveBuffer())->Row;
    SendRequest(arLock, CDeleteLock);
    try {
        FActiveView->SetPositionHint(FCurrentIndex);
        Row->Delete();
        FActiveView->SetPositionHint(-1);
        FInsertIndex = -1;
        try {
            SendRequest(arDelete, CImmediate);
        } catch (EZqDBEngineException &E) {
            // The row was gone on the server already: the delete stands.
            if (E.ErrorCount() == 0 || E.GetError(0).Kind != ekNoDataFound)
                throw;
        }
        SendRequest(arUnlock, CDeleteUnlock);
    } catch (...) {
        FActiveView->SetPositionHint(-1);
        try {
            SendRequest(arUnlock, CCancelImmediate);
        } catch (...) {
        }
        throw;
    }
}

TUpdateStatus TZqDataSet::UpdateStatus() const
{
    if (FState == dsInternalCalc)
        return usUnmodified;
    TRecordBuffer B = FState == dsCalcFields ? FCalcBuffer : (IsEmpty() ? nullptr : ActiveBuffer());
    TZqDatSRow *Row = B ? RecInfo(B)->Row : nullptr;
    if (!Row)
        return usUnmodified;
    TZqDatSRowState S = Row->RowState();
    if (S == rsEditing || S == rsCalculating || S == rsChecking)
        S = Row->PriorState();
    switch (S) {
    case rsModified: return usModified;
    case rsDetached: case rsDeleted: return usDeleted;
    case rsInserted: return usInserted;
    default: return usUnmodified;
    }
}

void TZqDataSet::DoUpdateErrorHandler(TZqDatSRow *ARow, EZqException *AException, TZqPhysRequest ARequest,
                                      TZqErrorAction &AAction)
{
    if (!AException || !OnUpdateError) {
        AAction = eaDefault;
        return;
    }
    bool Force = ARow && ARow != GetRowOfBuffer();
    if (Force)
        SetForcedRow(ARow, false, true);
    try {
        OnUpdateError(this, AException, ARow, ARequest, AAction);
    } catch (...) {
        AAction = eaFail;
    }
    if (Force)
        ClearForcedRow();
}

void TZqDataSet::DoUpdateRecordHandler(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                                       TZqPhysUpdateRowOptions AOptions)
{
    if (!OnUpdateRecord) {
        AAction = eaDefault;
        return;
    }
    bool Force = ARow && ARow != GetRowOfBuffer();
    if (Force)
        SetForcedRow(ARow, false, true);
    AAction = eaApplied;
    try {
        OnUpdateRecord(this, ARequest, AAction, AOptions);
    } catch (...) {
        AAction = eaFail;
    }
    if (Force)
        ClearForcedRow();
}

void TZqDataSet::DoReconcileErrorHandler(TZqDatSRow *ARow, EZqException *AException, TUpdateKind AUpdateKind,
                                         TZqDAptReconcileAction &AAction)
{
    if (!OnReconcileError) {
        AAction = raMerge;
        return;
    }
    bool Force = ARow && ARow != GetRowOfBuffer();
    if (Force)
        SetForcedRow(ARow, false, true);
    try {
        OnReconcileError(this, AException, AUpdateKind, AAction);
    } catch (...) {
        AAction = raSkip;
    }
    if (Force)
        ClearForcedRow();
}

std::string TZqDataSet::PSGetTableName()
{
    // Changes may be meant for another table than the one read.
    if (auto *U = dynamic_cast<TZqTableUpdateOptions *>(GetUpdateOptions()))
        if (!U->UpdateTableName().empty())
            return U->UpdateTableName();
    return FTable ? FTable->Name() : std::string();
}

void TZqDataSet::PSReset()
{
    if (Active() && !Bof())
        First();
}

// ---- locate and lookup -----------------------------------------------------------

bool TZqDataSet::LocateSearch(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                              TLocateOptions AOptions, int &AIndex)
{
    AIndex = -1;
    if (!FSourceEOF) {
        UpdateCursorPos();
        FetchMore(true, true);
    }
    if (!FLocateRow)
        FLocateRow = FTable->NewRow(false);
    if (!FLocateColumns || FLocateFields != AKeyFields) {
        std::vector<TField *> List;
        GetFieldList(List, AKeyFields);
        auto Cols = std::make_unique<TZqDatSColumnSublist>();
        for (TField *F : List) {
            TZqDatSColumn *C = FieldColumn(F);
            if (!C)
                DatabaseError(rtl::Format(DBText::SFieldNotFound, {rtl::Variant(F->FieldName())}), this);
            Cols->Add(C);
        }
        FLocateColumns = std::move(Cols);
        FLocateFieldList = std::move(List);
        FLocateFields = AKeyFields;
    }
    // The key goes through the fields, so that it is converted exactly as
    // a stored value would be.
    FLocateRow->Clear(false);
    SetForcedRow(FLocateRow, true, false);
    try {
        if (FLocateFieldList.size() == 1) {
            rtl::Variant V = AKeyValues.IsArray() ? AKeyValues[0] : AKeyValues;
            TField *F = FLocateFieldList[0];
            if (F->DataType() == rtl::ftLargeint && !V.IsClear())
                F->SetAsLargeInt(V.AsInt64());
            else
                F->SetValue(V);
        } else {
            for (size_t I = 0; I < FLocateFieldList.size(); ++I)
                FLocateFieldList[I]->SetValue(AKeyValues[int(I)]);
        }
    } catch (...) {
        ClearForcedRow();
        throw;
    }
    ClearForcedRow();
    TZqDatSSearchOptions Opts = 0;
    if (AOptions & loCaseInsensitive)
        Opts |= srNoCase;
    if (AOptions & loPartialKey)
        Opts |= srPartial;
    bool Found = false;
    FActiveView->Search(FLocateRow, FLocateColumns.get(), FLocateColumns.get(), FLocateColumns->Count(), Opts, AIndex,
                        Found);
    return Found;
}

bool TZqDataSet::Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues, TLocateOptions AOptions)
{
    DoBeforeScroll();
    CheckBrowseMode();
    UpdateCursorPos();
    int Index = -1;
    bool Found = LocateSearch(AKeyFields, AKeyValues, AOptions, Index);
    if (Found) {
        FCurrentIndex = Index;
        Resync(rmExact | rmCenter);
        DoAfterScroll();
    } else {
        // The cursor stays on the record it was on.
        CursorPosChanged();
        UpdateCursorPos();
    }
    return Found;
}

rtl::Variant TZqDataSet::Lookup(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                                const std::string &AResultFields)
{
    CheckBrowseMode();
    UpdateCursorPos();
    int Index = -1;
    if (!LocateSearch(AKeyFields, AKeyValues, 0, Index))
        return rtl::Null();
    SetForcedRow(FActiveView->Rows()->GetItem(Index), false, true);
    rtl::Variant Result;
    try {
        Result = FieldValues(AResultFields);
    } catch (...) {
        ClearForcedRow();
        throw;
    }
    ClearForcedRow();
    return Result;
}
