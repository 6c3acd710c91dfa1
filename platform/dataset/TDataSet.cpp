// TDataSet: buffer window, states, navigation, editing and events.
#include "platform/dataset/TDataSet.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/dataset/TDataSource.h"

void DatabaseError(const std::string &AMessage, const TDataSet *AComponent)
{
    if (AComponent && !AComponent->Name().empty())
        throw EDatabaseError(AComponent->Name() + ": " + AMessage);
    throw EDatabaseError(AMessage);
}


TDataSet::TDataSet(rtl::TComponent *AOwner)
    : rtl::TComponent(AOwner), FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)),
      FIndexDefs(std::make_unique<TIndexDefs>(this))
{
}

TDataSet::~TDataSet()
{
    // A concrete dataset closes itself in its own destructor (its buffers and
    // cursor are gone by the time this runs); here only the links are cut.
    // The sources let go without calling back into this half-destroyed
    // dataset (its concrete part is gone already).
    for (TDataSource *S : std::vector<TDataSource *>(FDataSources)) {
        S->FDataSet = nullptr;
        S->NotifyState();
    }
    FDataSources.clear();
    // Buffers still allocated here belong to a dataset that did not close
    // itself; they cannot be freed without it.
}

void TDataSet::Loaded()
{
    // An Active read in with the component's settings takes effect now.
    if (FStreamedActive) {
        FStreamedActive = false;
        SetActive(true);
    }
}

// ---- opening and closing ---------------------------------------------------

void TDataSet::SetActive(bool AValue)
{
    if (HasState(rtl::csReading) || HasState(rtl::csLoading)) {
        FStreamedActive = AValue;
        return;
    }
    // An open that is still completing (dsOpening) can be cancelled, not
    // started again.
    if (FState == dsOpening ? AValue : AValue == Active())
        return;
    if (AValue) {
        if (BeforeOpen)
            BeforeOpen(this);
        FEnableEvent = deLayoutChange;
        try {
            OpenCursor(false);
        } catch (...) {
            SetState(dsInactive);
            CloseCursor();
            throw;
        }
        if (FState != dsOpening)
            OpenCursorComplete();
    } else {
        if (BeforeClose)
            BeforeClose(this);
        SetState(dsInactive);
        CloseCursor();
        if (AfterClose)
            AfterClose(this);
    }
}

void TDataSet::OpenCursor(bool AInfoQuery)
{
    if (AInfoQuery)
        InternalInitFieldDefs();
    else if (FState != dsOpening)
        DoInternalOpen();
}

void TDataSet::DoInternalOpen()
{
    FDefaultFields = FFields->Count() == 0;
    InternalOpen();
    FInternalOpenComplete = true;
    UpdateBufferCount();
    FBOF = true;
}

void TDataSet::OpenCursorComplete()
{
    try {
        if (FState == dsOpening)
            DoInternalOpen();
    } catch (...) {
        SetState(dsInactive);
        CloseCursor();
        throw;
    }
    if (FInternalOpenComplete) {
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty())
            DoAfterScroll();
    } else {
        SetState(dsInactive);
        CloseCursor();
    }
}

void TDataSet::CloseCursor()
{
    FInternalOpenComplete = false;
    FreeFieldBuffers();
    ClearBuffers();
    SetBufferCount(0);
    if (IsCursorOpen() || FDefaultFields || FFields->Count() > 0)
        InternalClose();
    FBufferCount = 0;
    FDefaultFields = false;
}

void TDataSet::OpenParentDataSet(TDataSet *AParent)
{
    if (AParent && !AParent->Active())
        AParent->Open();
}

void TDataSet::InitFieldDefs()
{
    if (IsCursorOpen()) {
        InternalInitFieldDefs();
    } else {
        try {
            OpenCursor(true);
        } catch (...) {
            CloseCursor();
            throw;
        }
        CloseCursor();
    }
}

void TDataSet::CheckActive() const
{
    if (FState == dsInactive)
        DatabaseError(DBText::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const
{
    if (Active())
        DatabaseError(DBText::SDataSetOpen, this);
}

void TDataSet::InternalHandleException()
{
    // Called from a handler that caught an error it cannot show itself;
    // without a display of its own the dataset passes the error on.
    if (std::exception_ptr E = std::current_exception())
        std::rethrow_exception(E);
}

// ---- state ------------------------------------------------------------------

void TDataSet::SetState(TDataSetState AValue)
{
    if (FState != AValue) {
        FState = AValue;
        FModified = false;
        DataEvent(deUpdateState, 0);
    }
}

TDataSetState TDataSet::SetTempState(TDataSetState AValue)
{
    TDataSetState Old = FState;
    FState = AValue;
    ++FDisableCount;
    return Old;
}

void TDataSet::RestoreState(TDataSetState AValue)
{
    FState = AValue;
    --FDisableCount;
}

void TDataSet::DisableControls()
{
    if (FDisableCount == 0) {
        FDisableState = FState;
        FEnableEvent = deDataSetChange;
    }
    ++FDisableCount;
}

void TDataSet::EnableControls()
{
    if (FDisableCount == 0)
        return;
    if (--FDisableCount == 0) {
        if (FDisableState != FState)
            DataEvent(deUpdateState, 0);
        if (FDisableState != dsInactive && FState != dsInactive)
            DataEvent(FEnableEvent, 0);
    }
}

bool TDataSet::IsLinkedTo(TDataSource *ADataSource) const
{
    // Walks the master chain: a dataset whose master source leads back to
    // this one would link in a circle.
    for (TDataSource *S = ADataSource; S && S->DataSet();) {
        if (S->DataSet() == this)
            return true;
        S = S->DataSet()->GetDataSource();
        if (S == ADataSource)
            break;
    }
    return false;
}

void TDataSet::DataEvent(TDataEvent AEvent, intptr_t AInfo)
{
    switch (AEvent) {
    case deFieldChange: {
        TField *F = reinterpret_cast<TField *>(AInfo);
        if (F && (F->FieldKind() == fkData || F->FieldKind() == fkInternalCalc))
            SetModified(true);
        if (FState != dsSetKey && FCalcFieldsSize != 0 && AutoCalcFields &&
            (FState == dsEdit || FState == dsInsert))
            CalculateFields(ActiveBuffer());
        if (F && F->OnChange)
            F->OnChange(F);
        break;
    }
    case deFieldListChange:
        break;
    case dePropertyChange:
        FFieldDefs->SetUpdated(false);
        break;
    default:
        break;
    }
    if (FDisableCount == 0 && FState != dsBlockRead) {
        for (TDataSource *S : std::vector<TDataSource *>(FDataSources))
            S->DataEvent(AEvent, AInfo);
    } else if ((AEvent == deUpdateState && FState == dsInactive) || AEvent == deLayoutChange) {
        FEnableEvent = deLayoutChange;
    }
}

// ---- buffers -------------------------------------------------------------

TRecordBuffer TDataSet::ActiveBuffer() const
{
    return FActiveRecord < int(FBuffers.size()) ? FBuffers[size_t(FActiveRecord)] : nullptr;
}

TRecordBuffer TDataSet::TempBuffer() const
{
    return FRecordCount < int(FBuffers.size()) ? FBuffers[size_t(FRecordCount)] : nullptr;
}

TRecordBuffer TDataSet::GetStateRecordBuffer() const
{
    switch (FState) {
    case dsBrowse:
    case dsBlockRead:
    case dsNewValue:
    case dsOldValue:
    case dsCurValue:
        return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
        return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc:
        return FCalcBuffer;
    case dsFilter:
        return TempBuffer();
    default:
        return nullptr;
    }
}

void TDataSet::ClearBuffers()
{
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = true;
    FEOF = true;
}

void TDataSet::ActivateBuffers()
{
    FRecordCount = 1;
    FActiveRecord = 0;
    FCurrentRecord = 0;
    FBOF = false;
    FEOF = false;
}

void TDataSet::MoveBuffer(int ACurIndex, int ANewIndex)
{
    if (ACurIndex == ANewIndex)
        return;
    TRecordBuffer B = FBuffers[size_t(ACurIndex)];
    FBuffers.erase(FBuffers.begin() + ACurIndex);
    FBuffers.insert(FBuffers.begin() + ANewIndex, B);
}

void TDataSet::UpdateBufferCount()
{
    if (!IsCursorOpen())
        return;
    int Count = 1;
    for (TDataSource *S : FDataSources)
        for (TDataLink *L : S->DataLinks())
            Count = std::max(Count, L->BufferCount());
    SetBufferCount(Count);
}

void TDataSet::SetBufferCount(int AValue)
{
    if (AValue == FBufferCount && int(FBuffers.size()) == (AValue > 0 ? AValue + 1 : 0))
        return;
    // Shrinking keeps the active record inside the new window.
    if (AValue > 0 && FRecordCount > AValue) {
        int Drop = std::max(0, FActiveRecord - (AValue - 1));
        for (int I = 0; I < Drop; ++I)
            MoveBuffer(0, FRecordCount - 1);
        FActiveRecord -= Drop;
        if (FCurrentRecord >= 0)
            FCurrentRecord -= Drop;
        if (FCurrentRecord >= AValue || FCurrentRecord < 0)
            FCurrentRecord = -1;
        for (TDataSource *S : FDataSources)
            for (TDataLink *L : S->DataLinks())
                L->FFirstRecord = std::max(0, L->FFirstRecord - Drop);
        FRecordCount = AValue;
    }
    size_t Want = AValue > 0 ? size_t(AValue) + 1 : 0;
    while (FBuffers.size() > Want) {
        TRecordBuffer B = FBuffers.back();
        FBuffers.pop_back();
        FreeRecordBuffer(B);
    }
    while (FBuffers.size() < Want)
        FBuffers.push_back(AllocRecordBuffer());
    int Old = FBufferCount;
    FBufferCount = AValue;
    // A grown window (or a freshly opened cursor) is filled forward.
    if (AValue > Old && FState != dsInsert && FState != dsSetKey && IsCursorOpen())
        GetNextRecords();
}

void TDataSet::SetCurrentRecord(int AIndex)
{
    if (FCurrentRecord == AIndex)
        return;
    TRecordBuffer B = FBuffers[size_t(AIndex)];
    switch (GetBookmarkFlag(B)) {
    case bfCurrent:
    case bfInserted:
        InternalSetToRecord(B);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        InternalLast();
        break;
    }
    FCurrentRecord = AIndex;
}

void TDataSet::UpdateCursorPos()
{
    if (FRecordCount > 0)
        SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord()
{
    TGetMode Mode = gmNext;
    if (FRecordCount > 0) {
        SetCurrentRecord(FRecordCount - 1);
        if (FState == dsInsert && FCurrentRecord == FActiveRecord &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            Mode = gmCurrent;
    }
    bool Ok = GetRecord(FBuffers[size_t(FRecordCount)], Mode, true) == grOK;
    if (Ok) {
        if (FRecordCount == 0) {
            ActivateBuffers();
        } else if (FRecordCount < FBufferCount) {
            ++FRecordCount;
        } else {
            MoveBuffer(0, FRecordCount);
        }
        FCurrentRecord = FRecordCount - 1;
    } else {
        CursorPosChanged();
    }
    return Ok;
}

bool TDataSet::GetPriorRecord()
{
    if (FRecordCount > 0)
        SetCurrentRecord(0);
    bool Ok = GetRecord(FBuffers[size_t(FRecordCount)], gmPrior, true) == grOK;
    if (Ok) {
        if (FRecordCount == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(FRecordCount, 0);
            if (FRecordCount < FBufferCount) {
                ++FRecordCount;
                ++FActiveRecord;
            }
        }
        FCurrentRecord = 0;
    } else {
        CursorPosChanged();
    }
    return Ok;
}

int TDataSet::GetNextRecords()
{
    int N = 0;
    while (FRecordCount < FBufferCount && GetNextRecord())
        ++N;
    return N;
}

int TDataSet::GetPriorRecords()
{
    int N = 0;
    while (FRecordCount < FBufferCount && GetPriorRecord())
        ++N;
    return N;
}

// ---- navigation -------------------------------------------------------------

void TDataSet::DoBeforeScroll()
{
    if (BeforeScroll)
        BeforeScroll(this);
}

void TDataSet::DoAfterScroll()
{
    if (AfterScroll)
        AfterScroll(this);
}

void TDataSet::DoAfterOpen()
{
    if (AfterOpen)
        AfterOpen(this);
}

void TDataSet::First()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        if (GetNextRecord())
            GetNextRecords();
    } catch (...) {
        FBOF = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    FBOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

void TDataSet::Last()
{
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        if (GetPriorRecord())
            GetPriorRecords();
    } catch (...) {
        FEOF = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

int TDataSet::MoveBy(int ADistance)
{
    CheckBrowseMode();
    int Result = 0;
    if ((ADistance > 0 && !FEOF) || (ADistance < 0 && !FBOF)) {
        DoBeforeScroll();
        FBOF = false;
        FEOF = false;
        int OldRecordCount = FRecordCount;
        int Scrolled = 0;
        if (ADistance > 0) {
            while (Result < ADistance) {
                if (FActiveRecord < FRecordCount - 1) {
                    ++FActiveRecord;
                } else {
                    bool Full = FRecordCount >= FBufferCount;
                    if (!GetNextRecord()) {
                        FEOF = true;
                        break;
                    }
                    if (Full)
                        ++Scrolled;
                    FActiveRecord = FRecordCount - 1;
                }
                ++Result;
            }
        } else {
            while (Result > ADistance) {
                if (FActiveRecord > 0) {
                    --FActiveRecord;
                } else {
                    bool Full = FRecordCount >= FBufferCount;
                    if (!GetPriorRecord()) {
                        FBOF = true;
                        break;
                    }
                    if (Full)
                        --Scrolled;
                    FActiveRecord = 0;
                }
                --Result;
            }
        }
        if (FRecordCount != OldRecordCount)
            DataEvent(deDataSetChange, 0);
        else
            DataEvent(deDataSetScroll, Scrolled);
        DoAfterScroll();
    }
    return Result;
}

void TDataSet::Resync(TResyncMode AMode)
{
    TRecordBuffer Spare = FBuffers[size_t(FRecordCount)];
    if (AMode & rmExact) {
        CursorPosChanged();
        if (GetRecord(Spare, gmCurrent, true) != grOK)
            DatabaseError(DBText::SRecordNotFound, this);
    } else if (GetRecord(Spare, gmCurrent, false) != grOK &&
               GetRecord(Spare, gmNext, false) != grOK &&
               GetRecord(Spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int Count = (AMode & rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
    MoveBuffer(FRecordCount, 0);
    ActivateBuffers();
    try {
        while (Count > 0 && GetPriorRecord())
            --Count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    if (BeforeRefresh)
        BeforeRefresh(this);
    UpdateCursorPos();
    InternalRefresh();
    Resync(0);
    if (AfterRefresh)
        AfterRefresh(this);
}

// ---- bookmarks ----------------------------------------------------------------

bool TDataSet::BookmarkAvailable() const
{
    return Active() && !IsEmpty() &&
           const_cast<TDataSet *>(this)->GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() const
{
    TBookmark Result;
    if (BookmarkAvailable()) {
        Result.resize(size_t(FBookmarkSize));
        const_cast<TDataSet *>(this)->GetBookmarkData(ActiveBuffer(), Result.data());
    }
    return Result;
}

void TDataSet::GotoBookmark(const TBookmark &ABookmark)
{
    if (ABookmark.empty())
        return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(ABookmark.data());
    Resync(rmExact | rmCenter);
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark &) { return false; }

int TDataSet::CompareBookmarks(const TBookmark &, const TBookmark &) { return 0; }

// ---- editing ------------------------------------------------------------------

void TDataSet::CheckCanModify()
{
    if (!CanModify())
        DatabaseError(DBText::SDataSetReadOnly, this);
}

void TDataSet::CheckFieldWrite(TField *AField) const
{
    if (FState != dsEdit && FState != dsInsert && FState != dsSetKey && FState != dsFilter &&
        FState != dsNewValue && FState != dsInternalCalc)
        DatabaseError(DBText::SNotEditing, this);
    if (AField->ReadOnly() && FState != dsSetKey && FState != dsFilter)
        DatabaseError(rtl::Format(DBText::SFieldReadOnly, {rtl::Variant(AField->DisplayName())}), this);
}

void TDataSet::CheckOperation(void (TDataSet::*AOperation)(), const TDataSetErrorEvent &AErrorEvent)
{
    for (;;) {
        try {
            UpdateCursorPos();
            (this->*AOperation)();
            return;
        } catch (EDatabaseError &E) {
            if (!AErrorEvent)
                throw;
            TDataAction Action = daFail;
            AErrorEvent(this, E, Action);
            if (Action == daFail)
                throw;
            if (Action == daAbort)
                rtl::Abort();
        }
    }
}

void TDataSet::DoBeforeEdit()
{
    if (BeforeEdit)
        BeforeEdit(this);
}

void TDataSet::DoBeforeInsert()
{
    if (BeforeInsert)
        BeforeInsert(this);
}

void TDataSet::DoBeforeDelete()
{
    if (BeforeDelete)
        BeforeDelete(this);
}

void TDataSet::DoOnNewRecord()
{
    if (OnNewRecord)
        OnNewRecord(this);
}

void TDataSet::DoOnCalcFields()
{
    if (OnCalcFields)
        OnCalcFields(this);
}

void TDataSet::InitRecord(TRecordBuffer ABuffer)
{
    InternalInitRecord(ABuffer);
    ClearCalcFields(ABuffer);
    SetBookmarkFlag(ABuffer, bfInserted);
}

void TDataSet::Edit()
{
    if (FState == dsEdit || FState == dsInsert)
        return;
    if (FRecordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation(&TDataSet::InternalEdit, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    if (AfterEdit)
        AfterEdit(this);
}

void TDataSet::BeginInsertAppend()
{
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend()
{
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    FModified = false;
    DataEvent(deDataSetChange, 0);
    if (AfterInsert)
        AfterInsert(this);
    DoAfterScroll();
}

void TDataSet::Insert()
{
    BeginInsertAppend();
    TBookmark OldCurrent = GetBookmark();
    MoveBuffer(FRecordCount, FActiveRecord);
    TRecordBuffer Buffer = ActiveBuffer();
    InitRecord(Buffer);
    if (FRecordCount == 0)
        SetBookmarkFlag(Buffer, bfBOF);
    else if (!OldCurrent.empty())
        SetBookmarkData(Buffer, OldCurrent.data());
    if (FRecordCount < FBufferCount)
        ++FRecordCount;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append()
{
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer Buffer = FBuffers[0];
    InitRecord(Buffer);
    SetBookmarkFlag(Buffer, bfEOF);
    FRecordCount = 1;
    FBOF = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::UpdateRecord()
{
    if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
        DatabaseError(DBText::SNotEditing, this);
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::InternalPost()
{
    // Required fields are checked here, before the concrete dataset stores
    // the record.
    for (int I = 0; I < FFields->Count(); ++I) {
        TField *F = FFields->Fields(I);
        if (F->Required() && !F->ReadOnly() && F->FieldKind() == fkData && F->IsNull()) {
            F->FocusControl();
            DatabaseError(rtl::Format(DBText::SFieldRequired, {F->DisplayName()}));
        }
    }
}

void TDataSet::Post()
{
    UpdateRecord();
    if (FState == dsEdit || FState == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        if (BeforePost)
            BeforePost(this);
        CheckOperation(&TDataSet::InternalPost, OnPostError);
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        if (AfterPost)
            AfterPost(this);
    }
}

void TDataSet::Cancel()
{
    if (FState == dsEdit || FState == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        if (BeforeCancel)
            BeforeCancel(this);
        UpdateCursorPos();
        InternalCancel();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        if (AfterCancel)
            AfterCancel(this);
    }
}

void TDataSet::Delete()
{
    CheckActive();
    if (FState == dsInsert || FState == dsSetKey) {
        Cancel();
        return;
    }
    if (FRecordCount == 0)
        DatabaseError(DBText::SDataSetEmpty, this);
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation(&TDataSet::InternalDelete, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    if (AfterDelete)
        AfterDelete(this);
    DoAfterScroll();
}

void TDataSet::ClearFields()
{
    if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
        DatabaseError(DBText::SNotEditing, this);
    DataEvent(deCheckBrowseMode, 0);
    InternalInitRecord(ActiveBuffer());
    if (FState != dsSetKey)
        GetCalcFields(ActiveBuffer());
    DataEvent(deRecordChange, 0);
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    switch (FState) {
    case dsEdit:
    case dsInsert:
        UpdateRecord();
        if (FModified)
            Post();
        else
            Cancel();
        break;
    case dsSetKey:
        Post();
        break;
    default:
        break;
    }
}

// ---- fields -----------------------------------------------------------------

void TDataSet::CreateFields()
{
    FFieldDefs->Update();
    for (int I = 0; I < FFieldDefs->Count(); ++I) {
        TFieldDef *D = FFieldDefs->Items(I);
        if (!(D->Attributes() & faHiddenCol) && !FFields->FindField(D->Name()))
            D->CreateField(this);
    }
}

void TDataSet::DestroyFields()
{
    FFields->Clear();
}

void TDataSet::BindFields(bool ABinding)
{
    FCalcFieldsSize = 0;
    FInternalCalcFields = false;
    for (int I = 0; I < FFields->Count(); ++I) {
        TField *F = FFields->Fields(I);
        if (ABinding) {
            if (F->FieldKind() == fkData || F->FieldKind() == fkInternalCalc) {
                int Idx = FFieldDefs->IndexOf(F->FieldName());
                if (Idx < 0)
                    DatabaseError(rtl::Format(DBText::SFieldNotFound, {F->FieldName()}), this);
                TFieldDef *D = FFieldDefs->Items(Idx);
                if (F->FieldKind() == fkData && D->DataType() != F->DataType() &&
                    !(F->DataType() == rtl::ftString && D->DataType() == rtl::ftFixedChar))
                    DatabaseError(rtl::Format(DBText::SFieldTypeMismatch,
                                           {F->DisplayName(), rtl::FieldTypeName(F->DataType()),
                                            rtl::FieldTypeName(D->DataType())}),
                                  this);
                F->SetFieldNo(D->FieldNo());
                if (F->FieldKind() == fkInternalCalc)
                    FInternalCalcFields = true;
            } else if (F->FieldKind() == fkAggregate) {
                // Aggregates keep nothing in the record buffer.
                F->SetFieldNo(0);
            } else {
                // Calculated and lookup fields live in the record buffer's
                // calculated area: a presence byte, then the native value.
                F->SetFieldNo(-(I + 1));
                F->SetOffset(FCalcFieldsSize);
                FCalcFieldsSize += F->DataSize() + 1;
            }
        }
        F->Bind(ABinding);
    }
}

TFieldClass TDataSet::GetFieldClass(rtl::TFieldType AFieldType) const
{
    return DefaultFieldClass(AFieldType);
}

void TDataSet::GetFieldList(std::vector<TField *> &AList, const std::string &AFieldNames) const
{
    for (const std::string &N : SplitFieldNames(AFieldNames))
        AList.push_back(FieldByName(N));
}

void TDataSet::GetFieldNames(std::vector<std::string> &AList)
{
    if (FFields->Count() > 0) {
        FFields->GetFieldNames(AList);
    } else {
        FFieldDefs->Update();
        for (int I = 0; I < FFieldDefs->Count(); ++I)
            AList.push_back(FFieldDefs->Items(I)->Name());
    }
}

rtl::Variant TDataSet::FieldValues(const std::string &AFieldNames) const
{
    std::vector<TField *> List;
    GetFieldList(List, AFieldNames);
    if (List.size() == 1)
        return List[0]->Value();
    std::vector<rtl::Variant> Values;
    for (TField *F : List)
        Values.push_back(F->Value());
    return rtl::VarArrayOf(std::move(Values));
}

void TDataSet::SetFieldValues(const std::string &AFieldNames, const rtl::Variant &AValue)
{
    std::vector<TField *> List;
    GetFieldList(List, AFieldNames);
    if (List.size() == 1 && !AValue.IsArray()) {
        List[0]->SetValue(AValue);
        return;
    }
    for (size_t I = 0; I < List.size(); ++I)
        List[I]->SetValue(AValue[int(I)]);
}

void TDataSet::GetCalcFields(TRecordBuffer ABuffer)
{
    if (FCalcFieldsSize > 0 || FInternalCalcFields) {
        TDataSetState Save = SetTempState(dsCalcFields);
        try {
            FCalcBuffer = ABuffer;
            ClearCalcFields(ABuffer);
            CalculateFields(ABuffer);
        } catch (...) {
            RestoreState(Save);
            throw;
        }
        RestoreState(Save);
    }
}

void TDataSet::CalculateFields(TRecordBuffer ABuffer)
{
    FCalcBuffer = ABuffer;
    if (FState != dsInternalCalc) {
        ClearCalcFields(ABuffer);
        for (int I = 0; I < FFields->Count(); ++I) {
            TField *F = FFields->Fields(I);
            if (F->FieldKind() == fkLookup)
                F->CalcLookupValue();
        }
    }
    DoOnCalcFields();
}

bool TDataSet::GetCalcFieldData(TField *AField, TRecordBuffer ARecBuf, void *ABuffer) const
{
    if (!ARecBuf)
        return false;
    const uint8_t *P = ARecBuf + AField->Offset();
    if (!P[0])
        return false;
    if (ABuffer)
        std::memcpy(ABuffer, P + 1, size_t(AField->DataSize()));
    return true;
}

void TDataSet::SetCalcFieldData(TField *AField, TRecordBuffer ARecBuf, const void *ABuffer)
{
    if (!ARecBuf)
        return;
    uint8_t *P = ARecBuf + AField->Offset();
    P[0] = ABuffer ? 1 : 0;
    if (ABuffer)
        std::memcpy(P + 1, ABuffer, size_t(AField->DataSize()));
    else
        std::memset(P + 1, 0, size_t(AField->DataSize()));
}

bool TDataSet::RecordFilterAccepts(TRecordBuffer ABuffer)
{
    if (!FFiltered || !FOnFilterRecord)
        return true;
    // Fields read the temporary buffer in dsFilter; the record under test is
    // copied there when it sits elsewhere.
    bool Accept = true;
    TRecordBuffer Temp = TempBuffer();
    TDataSetState Save = SetTempState(dsFilter);
    TRecordBuffer Swapped = nullptr;
    if (ABuffer != Temp) {
        auto It = std::find(FBuffers.begin(), FBuffers.end(), ABuffer);
        auto T = std::find(FBuffers.begin(), FBuffers.end(), Temp);
        if (It != FBuffers.end() && T != FBuffers.end()) {
            std::iter_swap(It, T);
            Swapped = ABuffer;
        }
    }
    try {
        FOnFilterRecord(this, Accept);
    } catch (...) {
        if (Swapped) {
            auto It = std::find(FBuffers.begin(), FBuffers.end(), Swapped);
            auto T = std::find(FBuffers.begin(), FBuffers.end(), Temp);
            std::iter_swap(It, T);
        }
        RestoreState(Save);
        throw;
    }
    if (Swapped) {
        auto It = std::find(FBuffers.begin(), FBuffers.end(), Swapped);
        auto T = std::find(FBuffers.begin(), FBuffers.end(), Temp);
        std::iter_swap(It, T);
    }
    RestoreState(Save);
    return Accept;
}

// ---- data of fields -----------------------------------------------------------

bool TDataSet::GetFieldData(TField *, void *)
{
    return false;
}

bool TDataSet::GetFieldData(TField *AField, void *ABuffer, bool ANativeFormat)
{
    if (ANativeFormat || !ABuffer)
        return GetFieldData(AField, ABuffer);
    std::vector<uint8_t> Native(size_t(std::max(AField->DataSize(), 1)) + 2, 0);
    bool Result = GetFieldData(AField, Native.data());
    if (Result)
        DataConvert(AField, Native.data(), ABuffer, false);
    return Result;
}

void TDataSet::SetFieldData(TField *, const void *) {}

void TDataSet::SetFieldData(TField *AField, const void *ABuffer, bool ANativeFormat)
{
    if (ANativeFormat || !ABuffer) {
        SetFieldData(AField, ABuffer);
        return;
    }
    std::vector<uint8_t> Native(size_t(std::max(AField->DataSize(), 1)) + 2, 0);
    DataConvert(AField, ABuffer, Native.data(), true);
    SetFieldData(AField, Native.data());
}

void TDataSet::DataConvert(TField *AField, const void *ASource, void *ADest, bool AToNative)
{
    ConvertNativeData(AField->DataType(), AField->Size(), ASource, ADest, AToNative);
}

std::string TBlobStream::ReadAll()
{
    Seek(0, soBeginning);
    std::string S(size_t(Size()), '\0');
    S.resize(size_t(Read(S.data(), int64_t(S.size()))));
    return S;
}

namespace {

class TMemoryBlobStream : public TBlobStream {
public:
    TMemoryBlobStream(TDataSet *ADataSet, TField *AField, TBlobStreamMode AMode)
        : FDataSet(ADataSet), FField(AField), FMode(AMode)
    {
        if (AMode != bmWrite)
            FDataSet->GetBlobData(AField, FData);
    }
    ~TMemoryBlobStream() override
    {
        if (FModified) {
            try {
                FDataSet->SetBlobData(FField, FData.empty() ? nullptr : &FData);
            } catch (...) {
                // A destructor cannot report; the write was checked when
                // the stream was opened for writing.
            }
        }
    }
    int64_t Read(void *ABuffer, int64_t ACount) override
    {
        int64_t N = std::max<int64_t>(0, std::min<int64_t>(ACount, int64_t(FData.size()) - FPos));
        std::memcpy(ABuffer, FData.data() + FPos, size_t(N));
        FPos += N;
        return N;
    }
    int64_t Write(const void *ABuffer, int64_t ACount) override
    {
        if (FMode == bmRead)
            DatabaseError("Cannot write to a blob opened for reading");
        if (FPos + ACount > int64_t(FData.size()))
            FData.resize(size_t(FPos + ACount));
        std::memcpy(FData.data() + FPos, ABuffer, size_t(ACount));
        FPos += ACount;
        FModified = true;
        return ACount;
    }
    int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override
    {
        int64_t Base = AOrigin == soBeginning ? 0 : AOrigin == soCurrent ? FPos : int64_t(FData.size());
        FPos = std::max<int64_t>(0, Base + AOffset);
        return FPos;
    }
    int64_t Size() override { return int64_t(FData.size()); }
    void Truncate() override
    {
        FData.resize(size_t(std::min<int64_t>(FPos, int64_t(FData.size()))));
        FModified = true;
    }

private:
    TDataSet *FDataSet;
    TField *FField;
    TBlobStreamMode FMode;
    std::string FData;
    int64_t FPos = 0;
    bool FModified = false;
};

} // namespace

std::unique_ptr<TBlobStream> TDataSet::CreateBlobStream(TField *AField, TBlobStreamMode AMode)
{
    if (AMode != bmRead)
        CheckFieldWrite(AField);
    auto S = std::make_unique<TMemoryBlobStream>(this, AField, AMode);
    // Writing replaces the value; the stream starts empty.
    if (AMode == bmWrite)
        S->Truncate();
    return S;
}

bool TDataSet::GetBlobData(TField *, std::string &AValue)
{
    AValue.clear();
    return false;
}

void TDataSet::SetBlobData(TField *, const std::string *) {}

// ---- filters ------------------------------------------------------------------

void TDataSet::SetFiltered(bool AValue)
{
    if (FFiltered == AValue)
        return;
    FFiltered = AValue;
    if (Active()) {
        CheckBrowseMode();
        First();
    }
}

void TDataSet::SetFilterText(const std::string &AValue)
{
    FFilterText = AValue;
}

void TDataSet::SetFilterOptions(TFilterOptions AValue)
{
    FFilterOptions = AValue;
}

void TDataSet::SetOnFilterRecord(const TFilterRecordEvent &AValue)
{
    FOnFilterRecord = AValue;
    if (Active() && FFiltered) {
        CheckBrowseMode();
        First();
    }
}

// ---- searching ----------------------------------------------------------------

namespace {

bool ValuesMatch(TField *AField, const rtl::Variant &AKey, TLocateOptions AOptions)
{
    if (AKey.IsClear())
        return AField->IsNull();
    if (AField->IsNull())
        return false;
    rtl::TFieldType T = AField->DataType();
    if (T == rtl::ftString || T == rtl::ftFixedChar || T == rtl::ftWideString ||
        T == rtl::ftMemo || T == rtl::ftGuid || (AKey.IsStr() && (AOptions & loPartialKey))) {
        std::string V = AField->AsString();
        std::string K = AKey.AsString();
        if (AOptions & loPartialKey)
            V = V.substr(0, K.size());
        return (AOptions & loCaseInsensitive) ? rtl::AnsiSameText(V, K) : V == K;
    }
    return rtl::VarSameValue(AField->Value(), AKey);
}

} // namespace

bool TDataSet::LocateRecord(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                            TLocateOptions AOptions)
{
    CheckBrowseMode();
    std::vector<TField *> Keys;
    GetFieldList(Keys, AKeyFields);
    auto KeyValue = [&](size_t I) -> rtl::Variant {
        if (Keys.size() == 1 && !AKeyValues.IsArray())
            return AKeyValues;
        return AKeyValues[int(I)];
    };
    CursorPosChanged();
    TRecordBuffer Temp = TempBuffer();
    TDataSetState Save = SetTempState(dsFilter);
    bool Found = false;
    try {
        InternalFirst();
        while (GetRecord(Temp, gmNext, true) == grOK) {
            bool All = true;
            for (size_t I = 0; I < Keys.size() && All; ++I)
                All = ValuesMatch(Keys[I], KeyValue(I), AOptions);
            if (All) {
                Found = true;
                break;
            }
        }
    } catch (...) {
        RestoreState(Save);
        throw;
    }
    RestoreState(Save);
    return Found;
}

bool TDataSet::Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                      TLocateOptions AOptions)
{
    DoBeforeScroll();
    bool Found = LocateRecord(AKeyFields, AKeyValues, AOptions);
    if (Found) {
        Resync(rmExact | rmCenter);
        DoAfterScroll();
    } else {
        // The concrete cursor went through the table; bring it back.
        CursorPosChanged();
        UpdateCursorPos();
    }
    return Found;
}

rtl::Variant TDataSet::Lookup(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                              const std::string &AResultFields)
{
    rtl::Variant Result = rtl::Null();
    bool Found = LocateRecord(AKeyFields, AKeyValues, 0);
    if (Found) {
        // Read the found record (in the temporary buffer) before the cursor
        // goes back.
        TDataSetState Save = SetTempState(dsFilter);
        try {
            Result = FieldValues(AResultFields);
        } catch (...) {
            RestoreState(Save);
            CursorPosChanged();
            UpdateCursorPos();
            throw;
        }
        RestoreState(Save);
    }
    CursorPosChanged();
    UpdateCursorPos();
    return Result;
}

bool TDataSet::FindRecord(bool, bool) { return false; }

// ---- provider support -----------------------------------------------------------

std::string TDataSet::PSGetKeyFields()
{
    std::string Result;
    for (int I = 0; I < FFields->Count(); ++I) {
        TField *F = FFields->Fields(I);
        if (F->ProviderFlags() & pfInKey)
            Result += (Result.empty() ? "" : ";") + F->FieldName();
    }
    if (Result.empty()) {
        UpdateIndexDefs();
        for (int I = 0; I < FIndexDefs->Count(); ++I)
            if (FIndexDefs->Items(I)->Options & (ixPrimary | ixUnique))
                return FIndexDefs->Items(I)->Fields;
    }
    return Result;
}

void TDataSet::PSGetIndexDefs(TIndexDefs &AResult, TIndexOptions AIndexTypes)
{
    UpdateIndexDefs();
    AResult.Clear();
    for (int I = 0; I < FIndexDefs->Count(); ++I) {
        TIndexDef *D = FIndexDefs->Items(I);
        if (AIndexTypes == 0 || (D->Options & AIndexTypes))
            AResult.Add(D->Name, D->Fields, D->Options);
    }
}

EUpdateError *TDataSet::PSGetUpdateException(const std::exception *AException, EUpdateError *APrior)
{
    int Prev = APrior ? APrior->ErrorCode : 0;
    return new EUpdateError(AException ? AException->what() : "", "", 0, Prev);
}

bool TDataSet::PSUpdateRecord(TUpdateKind, TDataSet *) { return false; }

void TDataSet::GetDetailLinkFields(std::vector<TField *> &AMasterFields,
                                   std::vector<TField *> &ADetailFields)
{
    AMasterFields.clear();
    ADetailFields.clear();
}

rtl::Variant TDataSet::GetAggregateValue(TField *) { return rtl::Null(); }
