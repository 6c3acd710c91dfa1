// The adapter components: the table adapter component over one adapter
// object, the schema adapter component sharing one in-memory manager among
// several of them, and the update object base.
#include "dataaccess/comp/qxZqCompClientDataSets.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanUtil.h"

using namespace dats;

namespace {

const char *const CUnit = "qxZqCompClient";

// Index into the component's command slots: arSelect .. arFetchRow.
int Slot(TZqPhysRequest ARequest)
{
    ZQ_ASSERT(ARequest >= arSelect && ARequest <= arFetchRow, CUnit);
    return int(ARequest) - int(arSelect);
}

TZqIntfPtr<IZqDAptTableAdapter> NewTableAdapter()
{
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface<IZqDAptTableAdapter>(A);
    return A;
}

TZqIntfPtr<IZqPhysCommand> AdapterCommand(IZqDAptTableAdapter *A, TZqPhysRequest ARequest)
{
    switch (ARequest) {
    case arSelect: return A->GetSelectCommand();
    case arInsert: return A->GetInsertCommand();
    case arUpdate: return A->GetUpdateCommand();
    case arDelete: return A->GetDeleteCommand();
    case arLock: return A->GetLockCommand();
    case arUnlock: return A->GetUnLockCommand();
    case arFetchRow: return A->GetFetchRowCommand();
    default: return {};
    }
}

void SetAdapterCommand(IZqDAptTableAdapter *A, TZqPhysRequest ARequest, const TZqIntfPtr<IZqPhysCommand> &C)
{
    switch (ARequest) {
    case arSelect: A->SetSelectCommand(C); break;
    case arInsert: A->SetInsertCommand(C); break;
    case arUpdate: A->SetUpdateCommand(C); break;
    case arDelete: A->SetDeleteCommand(C); break;
    case arLock: A->SetLockCommand(C); break;
    case arUnlock: A->SetUnLockCommand(C); break;
    case arFetchRow: A->SetFetchRowCommand(C); break;
    default: break;
    }
}

bool HasText(TZqCustomCommand *ACommand) { return !rtl::Trim(ACommand->CommandText().Text()).empty(); }

} // namespace

// ---- table adapter component ---------------------------------------------------------

TZqCustomTableAdapter::TZqCustomTableAdapter(rtl::TComponent *AOwner) : TZqComponent(AOwner)
{
    SetAdapterIntf(NewTableAdapter(), true);
}

TZqCustomTableAdapter::~TZqCustomTableAdapter()
{
    FDestroying = true;
    // The dataset lets go while this component is still whole.
    if (TZqAdaptedDataSet *D = FDataSet) {
        D->Close();
        D->SetAdapter(nullptr);
    }
    for (int R = arSelect; R <= arFetchRow; ++R)
        SetCommand(TZqPhysRequest(R), nullptr);
    if (FAdapter && FAdapterOwned)
        FAdapter->SetDatSTable(nullptr);
    SetSchemaAdapter(nullptr);
    SetAdapterIntf(nullptr, false);
}

void TZqCustomTableAdapter::SetAdapterIntf(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter, bool AOwned)
{
    if (FAdapter) {
        // A shared adapter may serve another component by now.
        if (FAdapter->GetErrorHandler().Get() == static_cast<IZqStanErrorHandler *>(this))
            FAdapter->SetErrorHandler(nullptr);
        if (FAdapter->GetUpdateHandler().Get() == static_cast<IZqDAptUpdateHandler *>(this))
            FAdapter->SetUpdateHandler(nullptr);
        if (FAdapter->GetDescribeHandler().Get() == static_cast<IZqPhysDescribeHandler *>(this))
            FAdapter->SetDescribeHandler(nullptr);
    }
    FAdapter = AAdapter;
    FAdapterOwned = AAdapter && AOwned;
    if (FAdapter) {
        FAdapter->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(static_cast<IZqStanErrorHandler *>(this)));
        FAdapter->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(static_cast<IZqDAptUpdateHandler *>(this)));
        FAdapter->SetDescribeHandler(
            TZqIntfPtr<IZqPhysDescribeHandler>(static_cast<IZqPhysDescribeHandler *>(this)));
        for (int R = arSelect; R <= arFetchRow; ++R)
            HandOver(TZqPhysRequest(R));
    }
}

void TZqCustomTableAdapter::CheckAdapter() const { ZQ_ASSERT(FAdapter, CUnit); }

TZqCustomCommand *TZqCustomTableAdapter::Command(TZqPhysRequest ARequest) const
{
    return FCommands[Slot(ARequest)];
}

void TZqCustomTableAdapter::SetCommand(TZqPhysRequest ARequest, TZqCustomCommand *ACommand)
{
    TZqCustomCommand *&Cur = FCommands[Slot(ARequest)];
    if (Cur == ACommand)
        return;
    if (Cur) {
        if (Cur->CommandUser() == this)
            Cur->SetCommandUser(nullptr);
        ZqUnlinkFreeNotification(Cur, this);
        if (FAdapter)
            SetAdapterCommand(FAdapter.Get(), ARequest, nullptr);
    }
    Cur = ACommand;
    if (Cur) {
        Cur->SetCommandUser(this);
        Cur->FreeNotification(this);
        HandOver(ARequest);
    }
}

void TZqCustomTableAdapter::HandOver(TZqPhysRequest ARequest)
{
    if (!FAdapter)
        return;
    TZqCustomCommand *C = FCommands[Slot(ARequest)];
    TZqIntfPtr<IZqPhysCommand> Phys(C ? C->CommandIntf() : nullptr);
    if (!Phys || AdapterCommand(FAdapter.Get(), ARequest).Get() == Phys.Get())
        return;
    SetAdapterCommand(FAdapter.Get(), ARequest, Phys);
}

void TZqCustomTableAdapter::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TZqComponent::Notification(AComponent, AOperation);
    if (AOperation != rtl::opRemove)
        return;
    ForgetCommand(AComponent);
    if (FDataSet && AComponent == static_cast<rtl::TComponent *>(FDataSet))
        FDataSet = nullptr;
    if (AComponent == FSchemaAdapter) {
        FSchemaAdapter = nullptr;
        if (FAdapter && !FAdapterOwned && !FDestroying)
            SetAdapterIntf(NewTableAdapter(), true);
    }
}

void TZqCustomTableAdapter::ForgetCommand(rtl::TComponent *AComponent)
{
    // The component is being destroyed: only its slot is cleared, none of
    // its own operations may run any more.
    for (int R = arSelect; R <= arFetchRow; ++R)
        if (FCommands[Slot(TZqPhysRequest(R))] == AComponent) {
            FCommands[Slot(TZqPhysRequest(R))] = nullptr;
            if (FAdapter)
                SetAdapterCommand(FAdapter.Get(), TZqPhysRequest(R), nullptr);
            // A dataset cannot stay open on a source that is gone.
            if (R == arSelect && FDataSet)
                FDataSet->Close();
        }
}

void TZqCustomTableAdapter::PrepareCommands(TZqPhysRequests ARequests)
{
    for (int R = arSelect; R <= arFetchRow; ++R) {
        if (!(ARequests & ZqReq(TZqPhysRequest(R))))
            continue;
        TZqCustomCommand *C = FCommands[Slot(TZqPhysRequest(R))];
        if (!C)
            continue;
        if (!C->CommandIntf() && HasText(C)) {
            // Everything goes to a new driver command, whose own prepare
            // waits until the adapter runs it.
            C->SetNoDriverPrepare(true);
            try {
                C->SetPrepared(true);
            } catch (...) {
                C->SetNoDriverPrepare(false);
                throw;
            }
            C->SetNoDriverPrepare(false);
        }
        if (C->CommandIntf())
            HandOver(TZqPhysRequest(R));
    }
}

TZqDatSTable *TZqCustomTableAdapter::Define()
{
    CheckAdapter();
    PrepareCommands(ZqReq(arSelect));
    return FAdapter->Define();
}

int TZqCustomTableAdapter::Fetch(bool AAll)
{
    CheckAdapter();
    PrepareCommands(ZqReq(arSelect));
    TZqCustomCommand *Select = SelectCommand();
    if (Select)
        Select->SetRowsAffected(0);
    FAdapter->Fetch(AAll);
    TZqIntfPtr<IZqPhysCommand> Phys = FAdapter->GetSelectCommand();
    const int Fetched = Phys ? std::max(Phys->GetRowsAffected(), 0) : 0;
    if (Select)
        Select->SetRowsAffected(Fetched);
    return Fetched;
}

int TZqCustomTableAdapter::ApplyUpdates(int AMaxErrors)
{
    CheckAdapter();
    PrepareCommands(CZqRowRequests);
    return FAdapter->ApplyUpdates(AMaxErrors);
}

void TZqCustomTableAdapter::FetchRow(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn)
{
    CheckAdapter();
    PrepareCommands(ZqReq(arFetchRow));
    FAdapter->FetchRow(ARow, AAction, AItems, AColumn);
}

void TZqCustomTableAdapter::UpdateRow(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                      TZqErrorAction &AAction)
{
    CheckAdapter();
    if (ARequest == arFromRow)
        PrepareCommands(CZqRowRequests);
    else if (ARequest >= arSelect && ARequest <= arFetchRow)
        PrepareCommands(ZqReq(ARequest));
    FAdapter->UpdateRow(ARow, AAction, ARequest, AOptions);
}

void TZqCustomTableAdapter::Lock(TZqDatSRow *ARow, TZqPhysUpdateRowOptions AOptions, TZqErrorAction &AAction)
{
    CheckAdapter();
    PrepareCommands(ZqReq(arLock));
    FAdapter->Lock(ARow, AAction, AOptions);
}

void TZqCustomTableAdapter::UnLock(TZqDatSRow *ARow, TZqPhysUpdateRowOptions AOptions, TZqErrorAction &AAction)
{
    CheckAdapter();
    PrepareCommands(ZqReq(arUnlock));
    FAdapter->UnLock(ARow, AAction, AOptions);
}

void TZqCustomTableAdapter::CommandUnprepared(TZqCustomCommand *ACommand)
{
    if (ACommand && ACommand == SelectCommand())
        Reset();
}

void TZqCustomTableAdapter::Reset()
{
    if (!FAdapter)
        return;
    for (int R = arSelect; R <= arFetchRow; ++R) {
        TZqCustomCommand *C = FCommands[Slot(TZqPhysRequest(R))];
        if (!C)
            continue;
        SetAdapterCommand(FAdapter.Get(), TZqPhysRequest(R), nullptr);
        C->SetPrepared(false);
    }
    FAdapter->Reset();
}

// ---- pass-through ----

int32_t TZqCustomTableAdapter::SourceRecordSetID() const { return FAdapter ? FAdapter->GetSourceRecordSetID() : -1; }

void TZqCustomTableAdapter::SetSourceRecordSetID(int32_t AValue)
{
    CheckAdapter();
    if (FSchemaAdapter)
        RelinkInSchema(TZqMappingKey(AValue), mkSourceID);
    else
        FAdapter->SetSourceRecordSetID(AValue);
}

std::string TZqCustomTableAdapter::SourceRecordSetName() const
{
    return FAdapter ? FAdapter->GetSourceRecordSetName() : std::string();
}

void TZqCustomTableAdapter::SetSourceRecordSetName(const std::string &AValue)
{
    CheckAdapter();
    if (FSchemaAdapter)
        RelinkInSchema(TZqMappingKey(AValue), mkSourceName);
    else
        FAdapter->SetSourceRecordSetName(AValue);
}

std::string TZqCustomTableAdapter::UpdateTableName() const
{
    return FAdapter ? FAdapter->GetUpdateTableName() : std::string();
}

void TZqCustomTableAdapter::SetUpdateTableName(const std::string &AValue)
{
    CheckAdapter();
    FAdapter->SetUpdateTableName(AValue);
}

std::string TZqCustomTableAdapter::DatSTableName() const
{
    return FAdapter ? FAdapter->GetDatSTableName() : std::string();
}

void TZqCustomTableAdapter::SetDatSTableName(const std::string &AValue)
{
    CheckAdapter();
    FAdapter->SetDatSTableName(AValue);
}

TZqPhysMetaInfoMergeMode TZqCustomTableAdapter::MetaInfoMergeMode() const
{
    return FAdapter ? FAdapter->GetMetaInfoMergeMode() : mmReset;
}

void TZqCustomTableAdapter::SetMetaInfoMergeMode(TZqPhysMetaInfoMergeMode AValue)
{
    CheckAdapter();
    FAdapter->SetMetaInfoMergeMode(AValue);
}

TZqDAptColumnMappings *TZqCustomTableAdapter::ColumnMappings() const
{
    return FAdapter ? FAdapter->GetColumnMappings() : nullptr;
}

void TZqCustomTableAdapter::SetColumnMappings(const TZqDAptColumnMappings *AValue)
{
    CheckAdapter();
    if (AValue)
        FAdapter->GetColumnMappings()->Assign(*AValue);
    else
        FAdapter->GetColumnMappings()->Clear();
}

TZqDatSTable *TZqCustomTableAdapter::DatSTable() const { return FAdapter ? FAdapter->GetDatSTable() : nullptr; }

void TZqCustomTableAdapter::SetDatSTable(TZqDatSTable *AValue)
{
    CheckAdapter();
    FAdapter->SetDatSTable(AValue);
}

TZqDatSManager *TZqCustomTableAdapter::DatSManager() const { return FAdapter ? FAdapter->GetDatSManager() : nullptr; }

void TZqCustomTableAdapter::SetDatSManager(TZqDatSManager *AValue)
{
    ZQ_ASSERT(FAdapter || FDestroying, CUnit);
    if (FAdapter)
        FAdapter->SetDatSManager(AValue);
}

bool TZqCustomTableAdapter::IsDatSTableNameStored() const
{
    return FAdapter && FAdapter->GetDatSTableName() != SourceRecordSetName();
}

bool TZqCustomTableAdapter::IsUpdateTableNameStored() const
{
    return FAdapter && FAdapter->GetUpdateTableName() != SourceRecordSetName();
}

bool TZqCustomTableAdapter::IsSourceRecordSetNameStored() const
{
    if (!FAdapter)
        return false;
    TZqIntfPtr<IZqPhysCommand> Phys = FAdapter->GetSelectCommand();
    return !Phys || SourceRecordSetName() != Phys->GetSourceObjectName();
}

bool TZqCustomTableAdapter::IsColumnMappingsStored() const
{
    return FAdapter && FAdapter->GetColumnMappings()->Count() > 0;
}

// ---- schema adapter link ----

void TZqCustomTableAdapter::SetSchemaAdapter(TZqCustomSchemaAdapter *AValue)
{
    if (FSchemaAdapter == AValue)
        return;
    if (FSchemaAdapter) {
        ZqUnlinkFreeNotification(FSchemaAdapter, this);
        if (FDataSet && FDataSet->FDatSManager == FSchemaAdapter->DatSManager()) {
            FDataSet->FDatSManager = TZqAdaptedDataSet::NewDatSManager();
        }
        if (FAdapter) {
            if (FAdapterOwned) {
                FSchemaAdapter->TableAdapters()->RemoveAdapter(FAdapter);
            } else if (!FDestroying) {
                // A shared adapter stays with the schema; this component
                // gets an adapter of its own again.
                SetAdapterIntf(NewTableAdapter(), true);
            }
        }
        if (FDataSet && FAdapter && !FDestroying)
            FAdapter->SetDatSManager(FDataSet->FDatSManager);
    }
    FSchemaAdapter = AValue;
    if (FSchemaAdapter) {
        FSchemaAdapter->FreeNotification(this);
        if (FAdapter && FAdapterOwned)
            FSchemaAdapter->TableAdapters()->AddAdapter(FAdapter);
        if (FDataSet) {
            FDataSet->FDatSManager.Reset(FSchemaAdapter->DatSManager());
        }
    }
}

void TZqCustomTableAdapter::RelinkInSchema(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    TZqIntfPtr<IZqDAptTableAdapters> List = FSchemaAdapter->TableAdapters();
    if (FAdapter && FAdapterOwned)
        List->RemoveAdapter(FAdapter);
    if (TZqIntfPtr<IZqDAptTableAdapter> Found = List->Lookup(AKey, AKind)) {
        SetAdapterIntf(Found, false);
    } else {
        TZqIntfPtr<IZqDAptTableAdapter> A = List->Add(AKind == mkSourceName ? AKey.Name : std::string());
        if (AKind == mkSourceID)
            A->SetSourceRecordSetID(AKey.ID);
        SetAdapterIntf(A, true);
    }
}

// ---- callbacks ----

void TZqCustomTableAdapter::HandleError(const TZqIntfPtr<IZqStanObject> &AInitial,
                                        std::unique_ptr<rtl::Exception> &AException)
{
    if (FDataSet)
        FDataSet->AdapterError(AInitial, AException);
    if (OnError && AException)
        OnError(this, AInitial, AException);
}

void TZqCustomTableAdapter::ReconcileRow(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)
{
    if (FDataSet)
        FDataSet->AdapterReconcileRow(ARow, AAction);
    if (OnReconcileRow)
        OnReconcileRow(this, ARow, AAction);
}

void TZqCustomTableAdapter::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                            std::unique_ptr<rtl::Exception> &AException)
{
    HandleError(AInitiator, AException);
}

void TZqCustomTableAdapter::ReconcileRowHandler(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)
{
    ReconcileRow(ARow, AAction);
}

void TZqCustomTableAdapter::UpdateRowHandler(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                                             TZqPhysUpdateRowOptions AOptions)
{
    if (FDataSet)
        FDataSet->AdapterUpdateRow(ARow, ARequest, AOptions, AAction);
    if (OnUpdateRow)
        OnUpdateRow(this, ARow, ARequest, AOptions, AAction);
}

void TZqCustomTableAdapter::DescribeTable(TZqDatSTable *ATable, std::string &AUpdateName)
{
    if (FDataSet)
        FDataSet->AdapterDescribeTable(ATable, AUpdateName);
    if (OnDescribeTable)
        OnDescribeTable(this, ATable, AUpdateName);
}

void TZqCustomTableAdapter::DescribeColumn(TZqDatSColumn *AColumn, std::string &AUpdateName,
                                           TZqDataAttributes &AAttributes, TZqDataOptions &AOptions)
{
    if (FDataSet)
        FDataSet->AdapterDescribeColumn(AColumn, AUpdateName, AAttributes, AOptions);
    if (OnDescribeColumn)
        OnDescribeColumn(this, AColumn, AUpdateName, AAttributes, AOptions);
}

// ---- schema adapter component ----------------------------------------------------------

// The schema's error and update handler: passes each call to the
// component's virtual operations.
class TZqCustomSchemaAdapter::THandler : public virtual IZqStanErrorHandler, public virtual IZqDAptUpdateHandler {
public:
    explicit THandler(TZqCustomSchemaAdapter *AOwner) : FOwner(AOwner) {}
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override
    {
        FOwner->DoError(AInitiator, AException);
    }
    void UpdateRowHandler(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                          TZqPhysUpdateRowOptions AOptions) override
    {
        FOwner->DoUpdateRow(ARow, ARequest, AOptions, AAction);
    }
    void ReconcileRowHandler(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction) override
    {
        FOwner->DoReconcileRow(ARow, AAction);
    }

private:
    TZqCustomSchemaAdapter *FOwner;
};

TZqCustomSchemaAdapter::TZqCustomSchemaAdapter(rtl::TComponent *AOwner)
    : TZqComponent(AOwner), FHandler(new THandler(this))
{
    ZqCreateInterface<IZqDAptSchemaAdapter>(FSchema);
    // The schema's holder counts the new manager in; until then it is ours.
    auto M = std::make_unique<TZqDatSManager>();
    M->SetUpdatesRegistry(true);
    M->CountRef(0);
    FSchema->SetDatSManager(M.release());
    FSchema->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(static_cast<IZqStanErrorHandler *>(FHandler.get())));
    FSchema->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(static_cast<IZqDAptUpdateHandler *>(FHandler.get())));
}

TZqCustomSchemaAdapter::~TZqCustomSchemaAdapter()
{
    FSchema->SetErrorHandler(nullptr);
    FSchema->SetUpdateHandler(nullptr);
    FSchema->SetDatSManager(nullptr);
    FSchema.Reset();
}

TZqDatSManager *TZqCustomSchemaAdapter::DatSManager() const { return FSchema->GetDatSManager(); }

TZqIntfPtr<IZqDAptTableAdapters> TZqCustomSchemaAdapter::TableAdapters() const { return FSchema->GetTableAdapters(); }

int TZqCustomSchemaAdapter::ApplyUpdates(int AMaxErrors) { return FSchema->ApplyUpdates(AMaxErrors); }

bool TZqCustomSchemaAdapter::Reconcile() { return FSchema->Reconcile(); }

void TZqCustomSchemaAdapter::DoError(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                     std::unique_ptr<rtl::Exception> &AException)
{
    if (OnError)
        OnError(this, AInitiator, AException);
}

void TZqCustomSchemaAdapter::DoReconcileRow(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)
{
    if (OnReconcileRow)
        OnReconcileRow(this, ARow, AAction);
}

void TZqCustomSchemaAdapter::DoUpdateRow(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                         TZqErrorAction &AAction)
{
    if (OnUpdateRow)
        OnUpdateRow(this, ARow, ARequest, AOptions, AAction);
}

// ---- update object ---------------------------------------------------------------------

TZqCustomUpdateObject::~TZqCustomUpdateObject() { SetDataSet(nullptr); }

void TZqCustomUpdateObject::SetDataSet(TZqAdaptedDataSet *AValue)
{
    if (FDataSet == AValue)
        return;
    TZqAdaptedDataSet *Old = FDataSet;
    FDataSet = nullptr;
    if (Old) {
        ZqUnlinkFreeNotification(Old, this);
        if (Old->UpdateObject() == this)
            Old->SetUpdateObject(nullptr);
    }
    FDataSet = AValue;
    if (FDataSet) {
        FDataSet->FreeNotification(this);
        FDataSet->SetUpdateObject(this);
    }
}

void TZqCustomUpdateObject::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TZqComponent::Notification(AComponent, AOperation);
    if (AOperation == rtl::opRemove && AComponent == FDataSet)
        FDataSet = nullptr;
}
