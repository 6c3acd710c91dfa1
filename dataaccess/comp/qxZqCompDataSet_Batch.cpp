// qxZqCompDataSet_Batch: the dataset's batches (many changes loaded at
// once), the provider's single-record update, cursor clones and the check
// constraints the dataset puts on its table while open.
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/comp/qxZqCompDataSetInt.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSConstraints.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/Variant.h"

using namespace dats;

// ---- batches -----------------------------------------------------------------------

void TZqDataSet::BeginBatch(bool AWithDelete)
{
    CheckBrowseMode();
    if (FBatch)
        return;
    TZqUpdateOptions *UO = GetUpdateOptions();
    FBatch = std::make_unique<TBatchSave>(TBatchSave{
        FIndexesActive, FAggregatesActive, FSilent, uint8_t(UO->RefreshMode()), UO->CacheUpdateCommands(),
        UO->UpdateChangedFields(), uint8_t(UO->LockMode()), uint8_t(UO->UpdateMode())});
    DisableControls();
    DisableConstraints();
    SetIndexesActive(false);
    SetAggregatesActive(false);
    if (FTable)
        FTable->BeginLoadData(AWithDelete ? lmBatchLive : lmBatch);
    FSilent = true;
    UO->SetFastUpdates(true);
}

void TZqDataSet::EndBatch()
{
    if (!FBatch)
        return;
    const TBatchSave S = *FBatch;
    TZqUpdateOptions *UO = GetUpdateOptions();
    UO->SetRefreshMode(TZqRefreshMode(S.RefreshMode));
    UO->SetCacheUpdateCommands(S.CacheUpdateCommands);
    UO->SetUpdateChangedFields(S.UpdateChangedFields);
    UO->SetLockMode(TZqLockMode(S.LockMode));
    UO->SetUpdateMode(TUpdateMode(S.UpdateMode));
    FSilent = S.Silent;
    // The table leaves its load mode even when the dataset closed in the
    // middle of the batch: a table stuck loading would skip every check.
    if (FTable && (FTable->LoadMode() == lmBatchLive || FTable->LoadMode() == lmBatch))
        FTable->EndLoadData();
    if (Active()) {
        SetIndexesActive(S.IndexesActive);
        SetAggregatesActive(S.AggregatesActive);
    } else {
        FIndexesActive = S.IndexesActive;
        FAggregatesActive = S.AggregatesActive;
    }
    EnableConstraints();
    FBatch.reset();
    if (Active())
        Resync(0);
    EnableControls();
}

// ---- provider update -----------------------------------------------------------------

namespace {

// The delta's row behind its current record, when the delta is one of ours.
TZqDatSRow *DeltaRow(TDataSet *ADelta)
{
    auto *D = dynamic_cast<TZqDataSet *>(ADelta);
    return D ? D->GetRowOfBuffer() : nullptr;
}

// The value a delta field had before the change (its current value when
// the delta keeps no earlier version).
rtl::Variant DeltaOldValue(TDataSet *ADelta, TField *AField)
{
    auto *D = dynamic_cast<TZqDataSet *>(ADelta);
    TZqDatSRow *R = DeltaRow(ADelta);
    TZqDatSColumn *C = D ? D->FieldColumn(AField) : nullptr;
    if (R && C && R->RowState() == rsModified)
        return R->GetDataAsVariant(C->Index(), rvOriginal);
    return AField->AsVariant();
}

// Whether a delta field is left as it was by the change.
bool DeltaFieldUnchanged(TDataSet *ADelta, TField *AField)
{
    auto *D = dynamic_cast<TZqDataSet *>(ADelta);
    TZqDatSRow *R = DeltaRow(ADelta);
    TZqDatSColumn *C = D ? D->FieldColumn(AField) : nullptr;
    if (!R || !C || R->RowState() != rsModified)
        return false;
    const rtl::Variant Old = R->GetDataAsVariant(C->Index(), rvOriginal);
    const rtl::Variant New = R->GetDataAsVariant(C->Index(), rvCurrent);
    if (Old.IsNull() || New.IsNull())
        return Old.IsNull() == New.IsNull();
    return rtl::VarCompareValue(Old, New) == rtl::vrEqual;
}

} // namespace

void TZqDataSet::CopyDeltaFields(TDataSet *ADelta, bool AChangedOnly)
{
    for (int I = 0; I < ADelta->FieldCount(); ++I) {
        TField *Src = ADelta->Fields()[I];
        if (Src->FieldKind() != fkData)
            continue;
        TField *Dst = FindField(Src->FieldName());
        if (!Dst || Dst->FieldKind() != fkData)
            continue;
        if (AChangedOnly && DeltaFieldUnchanged(ADelta, Src))
            continue;
        if (Src->IsNull())
            Dst->Clear();
        else if (Src->DataType() == rtl::ftLargeint)
            Dst->SetAsLargeInt(Src->AsLargeInt());
        else if (Src->IsBlob() && Dst->IsBlob()) {
            std::unique_ptr<TBlobStream> In = ADelta->CreateBlobStream(Src, bmRead);
            std::string Bytes(size_t(In->Size()), '\0');
            if (!Bytes.empty())
                In->Read(Bytes.data(), int64_t(Bytes.size()));
            std::unique_ptr<TBlobStream> Out = CreateBlobStream(Dst, bmWrite);
            Out->Truncate();
            if (!Bytes.empty())
                Out->Write(Bytes.data(), int64_t(Bytes.size()));
        } else
            Dst->SetAsVariant(Src->AsVariant());
    }
}

bool TZqDataSet::PSUpdateRecord(TUpdateKind AUpdateKind, TDataSet *ADelta)
{
    const bool WasActive = Active();
    TBookmark Mark;
    if (WasActive)
        Mark = GetBookmark();
    else
        Open();
    // The record a modify or delete is about, found by its key as it was.
    auto LocateDelta = [&]() {
        std::string Keys = PSGetKeyFields();
        if (Keys.empty())
            Keys = ADelta->PSGetKeyFields();
        if (Keys.empty())
            return false;
        std::vector<TField *> KeyFields;
        ADelta->GetFieldList(KeyFields, Keys);
        std::vector<rtl::Variant> Values;
        for (TField *F : KeyFields)
            Values.push_back(DeltaOldValue(ADelta, F));
        return Locate(Keys, Values.size() == 1 ? Values[0] : rtl::VarArrayOf(Values));
    };
    bool Applied = false;
    BeginBatch(true);
    try {
        switch (AUpdateKind) {
        case ukModify:
            if (LocateDelta()) {
                Edit();
                CopyDeltaFields(ADelta, true);
                Post();
                Applied = true;
            }
            break;
        case ukInsert:
            Append();
            CopyDeltaFields(ADelta, false);
            Post();
            Applied = true;
            break;
        case ukDelete:
            if (LocateDelta()) {
                Delete();
                Applied = true;
            }
            break;
        }
    } catch (...) {
        if (State() == dsEdit || State() == dsInsert)
            Cancel();
        EndBatch();
        throw;
    }
    EndBatch();
    if (!WasActive)
        // Opened only for this change: it goes back to how it was found.
        Close();
    else if (Applied && !Mark.empty() && BookmarkValid(Mark))
        GotoBookmark(Mark);
    return Applied;
}

EUpdateError *TZqDataSet::PSGetUpdateException(const std::exception *AException, EUpdateError *APrior)
{
    auto *E = dynamic_cast<const EZqDBEngineException *>(AException);
    if (!E || E->ErrorCount() == 0)
        return TDataSet::PSGetUpdateException(AException, APrior);
    return new EUpdateError(E->what(), "", E->Errors(0).ErrorCode, APrior ? APrior->ErrorCode : 0);
}

// ---- clones ----------------------------------------------------------------------------

void TZqDataSet::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TDataSet::Notification(AComponent, AOperation);
    if (AOperation == rtl::opRemove && AComponent == FCloneSource)
        FCloneSource = nullptr;
}

void TZqDataSet::CloneCursor(TZqDataSet *ASource, bool AReset, bool AKeepSettings)
{
    ASource->CheckActive();
    ASource->UpdateCursorPos();
    AttachTable(ASource->Table(), ASource->View());
    if (FCloneSource && FCloneSource != ASource)
        FCloneSource->RemoveFreeNotification(this);
    FCloneSource = ASource;
    ASource->FreeNotification(this);
    if (AReset) {
        SetFiltered(false);
        SetFilterText("");
        SetOnFilterRecord(nullptr);
        SetIndexName("");
        SetMasterSource(nullptr);
        SetMasterFields("");
        GetUpdateOptions()->SetReadOnly(false);
    } else if (!AKeepSettings) {
        SetFilterText(ASource->Filter());
        SetOnFilterRecord(ASource->OnFilterRecord());
        SetFilterOptions(ASource->FilterOptions());
        SetFiltered(ASource->Filtered());
        if (!ASource->IndexName().empty()) {
            // The source's index is named in its own list: the clone needs
            // the same definition to follow the same order.
            if (!FIndexes->FindIndex(ASource->IndexName()))
                if (TZqIndex *Src = ASource->Indexes()->FindIndex(ASource->IndexName()))
                    FIndexes->Add()->Assign(*Src);
            SetIndexName(ASource->IndexName());
        } else
            SetIndexFieldNames(ASource->IndexFieldNames());
        SetMasterSource(ASource->MasterSource());
        SetMasterFields(ASource->MasterFields());
        GetUpdateOptions()->SetReadOnly(ASource->GetUpdateOptions()->ReadOnly());
    }
    CloneCursorHook(AReset, AKeepSettings);
    Open();
}

// ---- constraints -----------------------------------------------------------------------

void TZqDataSet::ApplyConstraintEnforcement()
{
    if (FTable)
        FTable->Constraints()->SetEnforce(ConstraintsEnabled());
}

void TZqDataSet::DisableConstraints()
{
    if (FConstraintsDisabledCount++ == 0)
        ApplyConstraintEnforcement();
}

void TZqDataSet::EnableConstraints()
{
    if (FConstraintsDisabledCount == 0)
        return;
    if (--FConstraintsDisabledCount == 0)
        ApplyConstraintEnforcement();
}

void TZqDataSet::SetConstraintsEnabled(bool AValue)
{
    while (ConstraintsEnabled() != AValue) {
        if (AValue)
            EnableConstraints();
        else
            DisableConstraints();
    }
}

void TZqDataSet::AddCheckConstraints()
{
    RemoveCheckConstraints();
    if (!FTable)
        return;
    auto Add = [&](const std::string &AExpression, const std::string &AMessage) {
        if (!AExpression.empty())
            FCheckConstraints.push_back(ZqAddCheck(FTable->Constraints(), "", AExpression, AMessage, 0));
    };
    for (const TZqCheckConstraintItem &I : FConstraints) {
        Add(I.CustomConstraint, I.ErrorMessage);
        Add(I.ImportedConstraint, I.ErrorMessage);
    }
    for (int I = 0; I < FieldCount(); ++I) {
        TField *F = Fields()[I];
        Add(F->CustomConstraint(), F->ConstraintErrorMessage());
        Add(F->ImportedConstraint(), F->ConstraintErrorMessage());
    }
}

void TZqDataSet::RemoveCheckConstraints()
{
    if (FTable)
        for (TZqDatSConstraintBase *C : FCheckConstraints)
            if (FTable->Constraints()->Contains(C))
                FTable->Constraints()->Remove(C, false);
    FCheckConstraints.clear();
}
