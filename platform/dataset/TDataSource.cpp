// Data sources and data links.
#include "platform/dataset/TDataSource.h"

#include <algorithm>

#include "platform/dataset/TDataSet.h"

TDataSource::TDataSource(rtl::TComponent *AOwner) : rtl::TComponent(AOwner) {}

TDataSource::~TDataSource()
{
    for (TDataLink *L : std::vector<TDataLink *>(FDataLinks))
        L->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet *AValue)
{
    if (AValue == FDataSet)
        return;
    if (AValue && AValue->IsLinkedTo(this))
        DatabaseError(DBText::SCircularDataLink);
    // The controls write what they hold (a grid's open cell) into the dataset
    // they are about to leave; what that write starts may have moved the
    // source on already. A control that cannot write it raises (EAbort): the
    // source stays, and the text with it.
    if (FDataSet && FState == dsBrowse) {
        for (TDataLink *L : std::vector<TDataLink *>(FDataLinks))
            L->DataEvent(deCheckBrowseMode, 0);
        if (AValue == FDataSet)
            return;
    }
    if (FDataSet) {
        auto &L = FDataSet->FDataSources;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
        TDataSet *Old = FDataSet;
        FDataSet = nullptr;
        Old->UpdateBufferCount();
    }
    FDataSet = AValue;
    if (FDataSet) {
        FDataSet->FDataSources.push_back(this);
        FDataSet->UpdateBufferCount();
    }
    NotifyState();
}

void TDataSource::SetEnabled(bool AValue)
{
    FEnabled = AValue;
    NotifyState();
}

void TDataSource::Edit()
{
    if (AutoEdit && FState == dsBrowse)
        FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet *ADataSet) const
{
    return ADataSet && ADataSet->IsLinkedTo(const_cast<TDataSource *>(this));
}

void TDataSource::NotifyState()
{
    TDataSetState NewState = (FEnabled && FDataSet) ? FDataSet->State() : dsInactive;
    if (NewState == FState)
        return;
    TDataSetState Old = FState;
    FState = NewState;
    for (TDataLink *L : std::vector<TDataLink *>(FDataLinks))
        L->DataEvent(deUpdateState, 0);
    if (OnStateChange)
        OnStateChange(this);
    // A control that starts to show a dataset shows its current record.
    if (Old == dsInactive && NewState != dsInactive && OnDataChange)
        OnDataChange(this, nullptr);
}

void TDataSource::DataEvent(TDataEvent AEvent, intptr_t AInfo)
{
    if (AEvent == deUpdateState) {
        NotifyState();
        return;
    }
    if (FState == dsInactive)
        return;
    for (TDataLink *L : std::vector<TDataLink *>(FDataLinks))
        L->DataEvent(AEvent, AInfo);
    switch (AEvent) {
    case deFieldChange:
        if (OnDataChange)
            OnDataChange(this, reinterpret_cast<TField *>(AInfo));
        break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (OnDataChange)
            OnDataChange(this, nullptr);
        break;
    case deUpdateRecord:
        if (OnUpdateData)
            OnUpdateData(this);
        break;
    default:
        break;
    }
}

void TDataSource::AddDataLink(TDataLink *ALink)
{
    FDataLinks.push_back(ALink);
    ALink->FDataSource = this;
    if (FDataSet)
        FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink *ALink)
{
    FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), ALink), FDataLinks.end());
    ALink->FDataSource = nullptr;
    if (FDataSet)
        FDataSet->UpdateBufferCount();
}

// ---- TDataLink ----------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink()
{
    if (FDataSource)
        FDataSource->RemoveDataLink(this);
}

TDataSet *TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource *AValue)
{
    if (AValue == FDataSource)
        return;
    if (FDataSource)
        FDataSource->RemoveDataLink(this);
    if (AValue)
        AValue->AddDataLink(this);
    UpdateState();
}

void TDataLink::SetBufferCount(int AValue)
{
    if (AValue < 1)
        AValue = 1;
    if (AValue == FBufferCount)
        return;
    FBufferCount = AValue;
    if (TDataSet *D = DataSet(); D && D->Active()) {
        D->UpdateBufferCount();
        KeepActiveInWindow(); // the window may have moved under this link
    }
}

void TDataLink::KeepActiveInWindow()
{
    int Active = DataSet()->ActiveRecordIndex();
    if (FFirstRecord > Active)
        FFirstRecord = Active;
    else if (FFirstRecord + FBufferCount <= Active)
        FFirstRecord = Active - FBufferCount + 1;
    if (FFirstRecord < 0)
        FFirstRecord = 0;
}

int TDataLink::RecordCount() const
{
    TDataSet *D = DataSet();
    if (!D || !FActive)
        return 0;
    int N = D->BufferRecordCount() - FFirstRecord;
    return std::max(0, std::min(N, FBufferCount));
}

int TDataLink::ActiveRecord() const
{
    TDataSet *D = DataSet();
    if (!D || !FActive || FDataSource->State() == dsSetKey)
        return 0;
    return D->ActiveRecordIndex() - FFirstRecord;
}

void TDataLink::SetActiveRecord(int AValue)
{
    TDataSet *D = DataSet();
    if (D && FActive && FDataSource->State() != dsSetKey)
        D->FActiveRecord = AValue + FFirstRecord;
}

bool TDataLink::Edit()
{
    if (FDataSource && !FReadOnly)
        FDataSource->Edit();
    return FEditing;
}

void TDataLink::UpdateRecord()
{
    FUpdating = true;
    try {
        UpdateData();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
}

void TDataLink::SetActive(bool AValue)
{
    if (FActive != AValue) {
        FActive = AValue;
        if (AValue)
            FFirstRecord = 0;
        ActiveChanged();
    }
}

void TDataLink::SetEditing(bool AValue)
{
    if (FEditing != AValue) {
        FEditing = AValue;
        EditingChanged();
    }
}

void TDataLink::UpdateState()
{
    TDataSetState S = FDataSource ? FDataSource->State() : dsInactive;
    SetActive(S != dsInactive);
    SetEditing(S == dsEdit || S == dsInsert || S == dsSetKey);
}

void TDataLink::DataEvent(TDataEvent AEvent, intptr_t AInfo)
{
    if (AEvent == deUpdateState) {
        UpdateState();
        return;
    }
    if (!FActive)
        return;
    switch (AEvent) {
    case deFieldChange:
    case deRecordChange:
        if (!FUpdating)
            RecordChanged(reinterpret_cast<TField *>(AInfo));
        break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
        int Count = 0;
        if (FDataSource->State() != dsSetKey) {
            if (AEvent == deDataSetScroll)
                Count = int(AInfo);
            // Buffers scrolled forward by Count records; keep the active
            // record inside this link's window.
            int Old = FFirstRecord;
            FFirstRecord -= Count;
            KeepActiveInWindow();
            Count = Old - FFirstRecord;
        }
        if (AEvent == deDataSetChange)
            DataSetChanged();
        else if (AEvent == deDataSetScroll)
            DataSetScrolled(Count);
        else
            LayoutChanged();
        break;
    }
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(reinterpret_cast<TField *>(AInfo));
        break;
    default:
        break;
    }
}

// ---- TMasterDataLink -------------------------------------------------------

void TMasterDataLink::SetFieldNames(const std::string &AValue)
{
    if (FFieldNames != AValue) {
        FFieldNames = AValue;
        ActiveChanged();
    }
}

void TMasterDataLink::ActiveChanged()
{
    FFields.clear();
    if (Active()) {
        try {
            DataSet()->GetFieldList(FFields, FFieldNames);
        } catch (...) {
            FFields.clear();
            throw;
        }
    }
    if (!FDetail || !FDetail->Active())
        return;
    if (Active() && !FFields.empty()) {
        if (OnMasterChange)
            OnMasterChange(this);
    } else if (OnMasterDisable) {
        OnMasterDisable(this);
    }
}

void TMasterDataLink::CheckBrowseMode()
{
    // The master moves: a pending edit of the detail is settled first.
    if (FDetail && FDetail->Active())
        FDetail->CheckBrowseMode();
}

void TMasterDataLink::RecordChanged(TField *AField)
{
    if (DataSource()->State() == dsSetKey || !FDetail || !FDetail->Active() || FFields.empty())
        return;
    if ((!AField || std::find(FFields.begin(), FFields.end(), AField) != FFields.end()) && OnMasterChange)
        OnMasterChange(this);
}
