// The adapted datasets: the source operations of TZqDataSet carried out
// over a table adapter component and its select command, the client and
// RDBMS datasets, the query and the table.
#include "dataaccess/comp/qxZqCompClientDataSets.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"

using namespace dats;

namespace {

const char *const CUnit = "qxZqCompClient";
const std::vector<std::string> CCompClnt = {"Comp", "Clnt"};

} // namespace

// ---- adapted dataset ----------------------------------------------------------------------

TZqDatSRef<TZqDatSManager> TZqAdaptedDataSet::NewDatSManager()
{
    auto *New = new TZqDatSManager();
    New->CountRef(1);
    auto M = TZqDatSRef<TZqDatSManager>::Adopt(New);
    M->SetUpdatesRegistry(true);
    return M;
}

TZqAdaptedDataSet::TZqAdaptedDataSet(rtl::TComponent *AOwner) : TZqDataSet(AOwner),
      FDatSManager(NewDatSManager())
{
    if (AOwner && AOwner->HasState(rtl::csDesigning)) {
        TZqIntfPtr<IZqPhysManager> M;
        GetZqPhysManager(M);
        if (M)
            M->SetDesignTime(true);
    }
}

TZqAdaptedDataSet::~TZqAdaptedDataSet()
{
    UnhookAdapter();
    FProviderParams.reset();
    if (FUpdateObject)
        FUpdateObject->SetDataSet(nullptr);
    FDatSManager.Reset();
}

TZqCustomCommand *TZqAdaptedDataSet::Command() const { return FAdapter ? FAdapter->SelectCommand() : nullptr; }

void TZqAdaptedDataSet::SetAdapter(TZqCustomTableAdapter *AValue)
{
    if (FAdapter == AValue)
        return;
    UnhookAdapter();
    FAdapter = AValue;
    HookAdapter();
}

void TZqAdaptedDataSet::UnhookAdapter()
{
    if (!FAdapter)
        return;
    if (FAdapter->DatSManager() == FDatSManager)
        FAdapter->SetDatSManager(nullptr);
    ZqUnlinkFreeNotification(FAdapter, this);
    if (TZqCustomCommand *C = FAdapter->SelectCommand())
        ZqUnlinkFreeNotification(C, this);
    if (FAdapter->DataSet() == this)
        FAdapter->SetDataSet(nullptr);
    if (FUpdateObject)
        FUpdateObject->DetachFromAdapter();
    FAdapter = nullptr;
}

void TZqAdaptedDataSet::HookAdapter()
{
    if (!FAdapter)
        return;
    FAdapter->FreeNotification(this);
    if (TZqCustomCommand *C = FAdapter->SelectCommand())
        C->FreeNotification(this);
    FAdapter->SetDataSet(this);
    if (TZqDatSManager *M = FAdapter->DatSManager()) {
        // The adapter's manager (a schema's) is shared.
        FDatSManager.Reset(M);
    } else {
        FAdapter->SetDatSManager(FDatSManager);
    }
    if (FUpdateObject)
        FUpdateObject->AttachToAdapter();
}

void TZqAdaptedDataSet::SetUpdateObject(TZqCustomUpdateObject *AValue)
{
    if (FUpdateObject == AValue)
        return;
    TZqCustomUpdateObject *Old = FUpdateObject;
    FUpdateObject = AValue;
    if (Old) {
        ZqUnlinkFreeNotification(Old, this);
        if (FAdapter)
            Old->DetachFromAdapter();
        if (Old->DataSet() == this)
            Old->SetDataSet(nullptr);
    }
    if (FUpdateObject) {
        FUpdateObject->FreeNotification(this);
        if (FUpdateObject->DataSet() != this)
            FUpdateObject->SetDataSet(this);
        if (FAdapter)
            FUpdateObject->AttachToAdapter();
    }
}

void TZqAdaptedDataSet::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TZqDataSet::Notification(AComponent, AOperation);
    if (AOperation != rtl::opRemove)
        return;
    if (AComponent == FAdapter) {
        Close();
        SetAdapter(nullptr);
    } else if (FAdapter && AComponent == FAdapter->SelectCommand()) {
        // The command is half gone: the adapter forgets it before the
        // dataset closes, so that closing does not reach it.
        FAdapter->ForgetCommand(AComponent);
        Close();
    } else if (AComponent == FUpdateObject) {
        FUpdateObject = nullptr;
    }
}

// ---- options ----

TZqFetchOptions *TZqAdaptedDataSet::GetFetchOptions()
{
    TZqCustomCommand *C = Command();
    ZQ_ASSERT(C, CUnit);
    return C->FetchOptions();
}

TZqFormatOptions *TZqAdaptedDataSet::GetFormatOptions()
{
    TZqCustomCommand *C = Command();
    ZQ_ASSERT(C, CUnit);
    return C->FormatOptions();
}

TZqUpdateOptions *TZqAdaptedDataSet::GetUpdateOptions()
{
    TZqCustomCommand *C = Command();
    ZQ_ASSERT(C, CUnit);
    return C->UpdateOptions();
}

TZqResourceOptions *TZqAdaptedDataSet::GetResourceOptions()
{
    TZqCustomCommand *C = Command();
    ZQ_ASSERT(C, CUnit);
    return C->ResourceOptions();
}

TZqParams *TZqAdaptedDataSet::GetParams()
{
    TZqCustomCommand *C = Command();
    return C ? &C->Params() : nullptr;
}

// ---- source operations ----

void TZqAdaptedDataSet::PrepareSource()
{
    TZqCustomCommand *C = Command();
    if (!C || C->Prepared())
        return;
    FieldDefs().SetUpdated(false);
    C->SetPrepared(true);
}

void TZqAdaptedDataSet::UnprepareSource()
{
    TZqCustomCommand *C = Command();
    if (!C || FUnpreparing)
        return;
    FUnpreparing = true;
    try {
        if (C->Prepared()) {
            FieldDefs().SetUpdated(false);
            C->SetPrepared(false);
        }
        FAdapter->Reset();
    } catch (...) {
        FUnpreparing = false;
        throw;
    }
    FUnpreparing = false;
}

void TZqAdaptedDataSet::DefineSource()
{
    if (!Command())
        return;
    AttachTable(FAdapter->Define(), nullptr);
}

void TZqAdaptedDataSet::OpenSource(bool AAsync, bool AInfoQuery, bool ADefine)
{
    (void)AAsync;
    (void)AInfoQuery;
    (void)ADefine;
    TZqCustomCommand *C = Command();
    if (C && C->CommandState() == 1)
        C->SetActive(true);
}

bool TZqAdaptedDataSet::IsSourceOpen()
{
    TZqCustomCommand *C = Command();
    return C && C->Active();
}

void TZqAdaptedDataSet::CloseSource()
{
    TZqCustomCommand *C = Command();
    if (C && C->Active())
        C->SetActive(false);
}

int TZqAdaptedDataSet::FetchFromSource(TZqDatSTable *ATable, bool AAll)
{
    if (!IsSourceOpen())
        return 0;
    ZQ_ASSERT(ATable == FAdapter->DatSTable(), CUnit);
    FAdapter->Fetch(AAll);
    return std::max(Command()->RowsAffected(), 0);
}

bool TZqAdaptedDataSet::FetchRowFromSource(TZqDatSRow *ARow, int AColumnIndex, uint32_t AFlags)
{
    (void)AFlags;
    if (!FAdapter || !Command())
        return false;
    TZqErrorAction Action = eaDefault;
    // A single column is a long value left out of the fetch.
    TZqFetchItems Items = GetFetchOptions()->Items();
    if (AColumnIndex >= 0)
        Items.Include(fiBlobs);
    FAdapter->FetchRow(ARow, Action, Items, AColumnIndex);
    return Action == eaApplied || Action == eaExitSuccess;
}

int TZqAdaptedDataSet::ApplySourceUpdates(int AMaxErrors)
{
    if (!FAdapter)
        return 0;
    ZQ_ASSERT(!Table() || Table() == FAdapter->DatSTable(), CUnit);
    return FAdapter->ApplyUpdates(AMaxErrors);
}

void TZqAdaptedDataSet::ExecuteSource(int ATimes, int AOffset)
{
    TZqCustomCommand *C = Command();
    if (!C)
        return;
    FAdapter->PrepareCommands(ZqReq(arSelect));
    C->Execute(ATimes, AOffset);
}

void TZqAdaptedDataSet::RequestRow(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions)
{
    // The cached-updates rule is applied by the caller (SendRequest): what
    // arrives here goes to the adapter.
    if (!FAdapter)
        return;
    TZqDatSRow *Row = GetRowOfBuffer();
    TZqErrorAction Action = eaDefault;
    switch (ARequest) {
    case arInsert:
    case arUpdate:
    case arDelete:
        FAdapter->UpdateRow(Row, ARequest, AOptions, Action);
        break;
    case arLock:
        FAdapter->Lock(Row, AOptions, Action);
        break;
    case arUnlock:
        FAdapter->UnLock(Row, AOptions, Action);
        break;
    default:
        break;
    }
}

void TZqAdaptedDataSet::ResetSource()
{
    AttachTable(nullptr, nullptr);
    if (FDatSManager && FAdapter) {
        TZqDatSTable *T = FAdapter->DatSTable();
        const bool Ours = T && T->Manager() == FDatSManager;
        if (Ours)
            FAdapter->SetDatSTable(nullptr);
        // Counted users besides this dataset: the adapter holds one too.
        const int Others = FDatSManager->RefCount() - 1 - (FAdapter->DatSManager() == FDatSManager ? 1 : 0);
        if (Others <= 0) {
            FDatSManager->Clear();
        } else {
            if (Ours)
                FDatSManager->Tables()->Remove(T, false);
            auto M = NewDatSManager();
            if (FAdapter->DatSManager() == FDatSManager)
                FAdapter->SetDatSManager(M);
            FDatSManager = std::move(M);
        }
    }
    ZQ_ASSERT(!Table(), CUnit);
}

void TZqAdaptedDataSet::CloneCursorHook(bool AReset, bool AKeepSettings)
{
    TZqDataSet::CloneCursorHook(AReset, AKeepSettings);
    TZqDatSManager *M = CloneSource() ? CloneSource()->GetDatSManager() : nullptr;
    if (!M || M == FDatSManager)
        return;
    if (FAdapter && FAdapter->DatSManager() == FDatSManager)
        FAdapter->SetDatSManager(M);
    FDatSManager.Reset(M);
}

void TZqAdaptedDataSet::Disconnect(bool AAbortJob)
{
    if (AAbortJob)
        if (TZqCustomCommand *C = Command())
            C->AbortJob(true);
    Close();
}

// ---- adapter callbacks ----

template <class F> void TZqAdaptedDataSet::WithRow(TZqDatSRow *ARow, F &&AFn)
{
    if (!ARow || ARow == GetRowOfBuffer()) {
        AFn();
        return;
    }
    SetForcedRow(ARow, false, false);
    try {
        AFn();
    } catch (...) {
        ClearForcedRow();
        throw;
    }
    ClearForcedRow();
}

void TZqAdaptedDataSet::AdapterError(const TZqIntfPtr<IZqStanObject> &AInitial,
                                     std::unique_ptr<rtl::Exception> &AException)
{
    if (auto *U = dynamic_cast<EZqDAptRowUpdateException *>(AException.get())) {
        TZqErrorAction Action = U->Action;
        DoUpdateErrorHandler(U->Row, U->Exception, U->Request, Action);
        U->Action = Action;
    } else if (auto *A = dynamic_cast<EZqPhysArrayExecuteError *>(AException.get())) {
        if (OnExecuteError) {
            OnExecuteError(this, A, A->Action);
        }
    } else if (OnError) {
        OnError(this, AInitial, AException);
    }
}

void TZqAdaptedDataSet::AdapterReconcileRow(TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)
{
    TUpdateKind Kind = ukModify;
    if (ARow) {
        switch (ARow->RowState()) {
        case rsInserted: Kind = ukInsert; break;
        case rsDeleted: Kind = ukDelete; break;
        default: break;
        }
    }
    DoReconcileErrorHandler(ARow, ARow ? ARow->GetRowError() : nullptr, Kind, AAction);
}

void TZqAdaptedDataSet::AdapterUpdateRow(TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                         TZqErrorAction &AAction)
{
    DoUpdateRecordHandler(ARow, ARequest, AAction, AOptions);
}

void TZqAdaptedDataSet::AdapterDescribeColumn(TZqDatSColumn *AColumn, std::string &AUpdateName,
                                              TZqDataAttributes &AAttributes, TZqDataOptions &AOptions)
{
    if (!Command() || !GetUpdateOptions()->UseProviderFlags() || !Active())
        return;
    TField *F = nullptr;
    for (int I = 0; I < FieldCount() && !F; ++I)
        if (FieldColumn(Fields()[I]) == AColumn)
            F = Fields()[I];
    if (!F)
        return;
    const TProviderFlags P = F->ProviderFlags();
    auto Put = [&AOptions](TZqDataOption O, bool On) {
        if (On)
            AOptions.Include(O);
        else
            AOptions.Exclude(O);
    };
    Put(coInUpdate, P & pfInUpdate);
    Put(coInWhere, P & pfInWhere);
    Put(coInKey, P & pfInKey);
    switch (F->AutoGenerateValue()) {
    case TAutoRefreshFlag::arAutoInc:
        AOptions.Include(coAfterInsChanged);
        AAttributes.Include(caAutoInc);
        break;
    case TAutoRefreshFlag::arDefault:
        AOptions.Include(coAfterInsChanged);
        AAttributes.Include(caDefault);
        break;
    default:
        AOptions.Exclude(coAfterInsChanged);
        AAttributes.Exclude(caAutoInc);
        AAttributes.Exclude(caDefault);
        break;
    }
    if (!F->Origin().empty())
        AUpdateName = F->Origin();
}

void TZqAdaptedDataSet::AdapterDescribeTable(TZqDatSTable *ATable, std::string &AUpdateName)
{
    (void)ATable;
    TZqCustomCommand *C = Command();
    if (C && !C->UpdateOptions()->UpdateTableName().empty())
        AUpdateName = C->UpdateOptions()->UpdateTableName();
}

// ---- provider operations ----

bool TZqAdaptedDataSet::PSInTransaction()
{
    TZqCustomCommand *C = Command();
    TZqCustomConnection *Conn = C ? C->GetConnection(false) : nullptr;
    return Conn && Conn->InTransaction();
}

void TZqAdaptedDataSet::PSStartTransaction()
{
    TZqCustomCommand *C = Command();
    if (TZqCustomConnection *Conn = C ? C->GetConnection(true) : nullptr)
        Conn->StartTransaction();
}

void TZqAdaptedDataSet::PSEndTransaction(bool ACommit)
{
    TZqCustomCommand *C = Command();
    if (TZqCustomConnection *Conn = C ? C->GetConnection(true) : nullptr) {
        if (ACommit)
            Conn->Commit();
        else
            Conn->Rollback();
    }
}

bool TZqAdaptedDataSet::PSIsSQLBased()
{
    TZqCustomCommand *C = Command();
    TZqCustomConnection *Conn = C ? C->GetConnection(false) : nullptr;
    if (!Conn)
        return false;
    const TZqRDBMSKind K = Conn->GetRDBMSKind();
    return K >= mkOracle && K <= mkOther;
}

std::string TZqAdaptedDataSet::PSGetQuoteChar()
{
    TZqCustomCommand *C = Command();
    TZqCustomConnection *Conn = C ? C->GetConnection(false) : nullptr;
    if (Conn) {
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        Conn->GetConnectionMetadata(false, Meta);
        if (Meta)
            return std::string(1, Meta->GetNameQuoteChar1());
    }
    return "\"";
}

TZqParams *TZqAdaptedDataSet::PSGetParams()
{
    if (!FProviderParams)
        FProviderParams = std::make_unique<TZqParams>();
    if (TZqParams *P = GetParams())
        FProviderParams->Assign(*P);
    else
        FProviderParams->Clear();
    return FProviderParams.get();
}

void TZqAdaptedDataSet::PSSetParams(const TZqParams &AParams)
{
    if (AParams.Count() > 0)
        if (TZqParams *P = GetParams())
            P->Assign(AParams);
    Close();
}

void TZqAdaptedDataSet::PSSetCommandText(const std::string &AText)
{
    if (TZqCustomCommand *C = Command())
        C->CommandText().SetText(AText);
}

int TZqAdaptedDataSet::PSExecuteStatement(const std::string &ASQL, const TZqParams *AParams,
                                          std::unique_ptr<TZqDataSet> *AResultSet)
{
    TZqCustomCommand *C = Command();
    if (!FAdapter || !C)
        throw rtl::Exception("Cant execute statement. No adapter assigned");
    auto Q = std::make_unique<TZqQuery>(nullptr);
    Q->SetConnection(C->Connection());
    if (!C->Connection())
        Q->SetConnectionName(C->ConnectionName());
    Q->SQL()->SetText(ASQL);
    if (AParams)
        Q->Params()->Assign(*AParams);
    if (AResultSet) {
        Q->Open();
        *AResultSet = std::move(Q);
        return -1;
    }
    Q->ExecSQL();
    return Q->RowsAffected();
}

// ---- client dataset ----------------------------------------------------------------------

TZqCustomClientDataSet::TZqCustomClientDataSet(rtl::TComponent *AOwner) : TZqAdaptedDataSet(AOwner)
{
    CreateOwnOptions();
}

TZqCustomClientDataSet::~TZqCustomClientDataSet()
{
    Close();
    SetAdapter(nullptr);
}

void TZqCustomClientDataSet::CreateOwnOptions()
{
    if (FFetchOptions)
        return;
    FFetchOptions = std::make_unique<TZqFetchOptions>(nullptr);
    FFormatOptions = std::make_unique<TZqFormatOptions>(nullptr);
    FUpdateOptions = std::make_unique<TZqTableUpdateOptions>(nullptr);
    FResourceOptions = std::make_unique<TZqResourceOptions>(nullptr);
    FFetchOptions->SetMode(fmAll);
}

void TZqCustomClientDataSet::FreeOwnOptions()
{
    FFetchOptions.reset();
    FFormatOptions.reset();
    FUpdateOptions.reset();
    FResourceOptions.reset();
}

void TZqCustomClientDataSet::SetAdapter(TZqCustomTableAdapter *AValue)
{
    if (AValue == Adapter())
        return;
    CheckInactive();
    TZqAdaptedDataSet::SetAdapter(AValue);
    if (TZqCustomCommand *C = Command()) {
        if (FFetchOptions) {
            C->SetFetchOptions(FFetchOptions.get());
            C->SetFormatOptions(FFormatOptions.get());
            C->SetUpdateOptions(FUpdateOptions.get());
            C->SetResourceOptions(FResourceOptions.get());
            FreeOwnOptions();
        }
    } else if (!HasState(rtl::csDestroying)) {
        CreateOwnOptions();
    }
}

TZqFetchOptions *TZqCustomClientDataSet::GetFetchOptions()
{
    return Command() ? TZqAdaptedDataSet::GetFetchOptions() : FFetchOptions.get();
}

TZqFormatOptions *TZqCustomClientDataSet::GetFormatOptions()
{
    return Command() ? TZqAdaptedDataSet::GetFormatOptions() : FFormatOptions.get();
}

TZqUpdateOptions *TZqCustomClientDataSet::GetUpdateOptions()
{
    return Command() ? TZqAdaptedDataSet::GetUpdateOptions() : FUpdateOptions.get();
}

TZqResourceOptions *TZqCustomClientDataSet::GetResourceOptions()
{
    return Command() ? TZqAdaptedDataSet::GetResourceOptions() : FResourceOptions.get();
}

// ---- RDBMS dataset --------------------------------------------------------------------------

TZqRdbmsDataSet::TZqRdbmsDataSet(rtl::TComponent *AOwner) : TZqAdaptedDataSet(AOwner)
{
    SetAdapter(CreateAdapter());
    Command()->SetOwningDataSet(this);
    if (HasState(rtl::csDesigning))
        SetConnection(TZqCustomConnection::FindDefaultConnection(this));
}

TZqRdbmsDataSet::~TZqRdbmsDataSet()
{
    TZqCustomTableAdapter *A = Adapter();
    try {
        Disconnect(true);
    } catch (...) {
        // A destructor must not throw; the connection reports its own errors.
    }
    if (A) {
        if (TZqCustomCommand *C = A->SelectCommand())
            C->SetOwningDataSet(nullptr);
        SetAdapter(nullptr);
        delete A;
    }
}

TZqCustomTableAdapter *TZqRdbmsDataSet::CreateAdapter()
{
    auto *A = new TZqTableAdapter(nullptr);
    A->SetSelectCommand(new TZqCommand(A));
    return A;
}

TZqCustomConnection *TZqRdbmsDataSet::Connection() const { return Command()->Connection(); }

void TZqRdbmsDataSet::SetConnection(TZqCustomConnection *AValue)
{
    if (Command()->Connection() == AValue)
        return;
    if (Active())
        Close();
    SetPrepared(false);
    Command()->SetConnection(AValue);
}

std::string TZqRdbmsDataSet::ConnectionName() const { return Command()->ConnectionName(); }

void TZqRdbmsDataSet::SetConnectionName(const std::string &AValue)
{
    if (Command()->ConnectionName() == AValue && !Command()->Connection())
        return;
    if (Active())
        Close();
    SetPrepared(false);
    Command()->SetConnectionName(AValue);
}

bool TZqRdbmsDataSet::Prepared() const { return Command() && Command()->Prepared(); }

void TZqRdbmsDataSet::SetPrepared(bool AValue)
{
    if (HasState(rtl::csReading) || HasState(rtl::csLoading)) {
        if (HasState(rtl::csDesigning) || ActiveAtRunTime() == arStandard)
            FPreparedOnLoad = AValue;
        return;
    }
    if (AValue == Prepared())
        return;
    if (AValue)
        PrepareSource();
    else
        UnprepareSource();
}

int TZqRdbmsDataSet::RowsAffected() const { return Command()->RowsAffected(); }

TZqParams *TZqRdbmsDataSet::Params() const { return &Command()->Params(); }

void TZqRdbmsDataSet::SetParams(const TZqParams &AValue) { Command()->SetParams(AValue); }

TZqParam *TZqRdbmsDataSet::ParamByName(const std::string &AName) const { return Params()->ParamByName(AName); }

TZqTableUpdateOptions *TZqRdbmsDataSet::TableUpdateOptions() { return Command()->UpdateOptions(); }

void TZqRdbmsDataSet::Loaded()
{
    TZqAdaptedDataSet::Loaded();
    if (FPreparedOnLoad || ActiveAtRunTime() == arActive)
        SetPrepared(true);
}

void TZqRdbmsDataSet::Disconnect(bool AAbortJob)
{
    TZqAdaptedDataSet::Disconnect(AAbortJob);
    SetPrepared(false);
}

void TZqRdbmsDataSet::OpenCursor(bool AInfoQuery)
{
    // A clone runs no statement: it needs no connection.
    if (CloneSource()) {
        TZqAdaptedDataSet::OpenCursor(AInfoQuery);
        return;
    }
    TZqCustomCommand *C = Command();
    TZqCustomConnection *Conn = ZqManager()->AcquireConnection(C->Connection(), C->ConnectionName());
    const bool Attaching = !FClientAttached;
    try {
        if (Attaching) {
            Conn->AttachClient(this);
            FClientAttached = true;
        }
        TZqAdaptedDataSet::OpenCursor(AInfoQuery);
    } catch (...) {
        // A failed open leaves no registration behind: the dataset is closed.
        if (Attaching && FClientAttached) {
            FClientAttached = false;
            Conn->DetachClient(this);
        }
        ZqManager()->ReleaseConnection(Conn);
        throw;
    }
    ZqManager()->ReleaseConnection(Conn);
}

void TZqRdbmsDataSet::InternalClose()
{
    TZqAdaptedDataSet::InternalClose();
    if (FClientAttached) {
        FClientAttached = false;
        if (TZqCustomConnection *Conn = Command()->GetConnection(false))
            Conn->DetachClient(this);
    }
}

void TZqRdbmsDataSet::UpdateRecordTypesChanging()
{
    if (!CachedUpdates())
        ZqRaiseError(this, CCompClnt, 511);
}

// ---- query --------------------------------------------------------------------------------------

TZqCustomQuery::TZqCustomQuery(rtl::TComponent *AOwner) : TZqRdbmsDataSet(AOwner) {}

TZqStringList *TZqCustomQuery::SQL() const { return &Command()->CommandText(); }

void TZqCustomQuery::SetSQL(const rtl::TStrings &AValue) { Command()->SetCommandText(AValue); }

TZqMacros *TZqCustomQuery::Macros() const { return &Command()->Macros(); }

void TZqCustomQuery::SetMacros(const TZqMacros &AValue) { Command()->SetMacros(AValue); }

void TZqCustomQuery::ExecSQL() { Execute(0, 0); }

void TZqCustomQuery::SetDataSource(TDataSource *AValue)
{
    SetMasterSource(AValue);
    SetMasterFields(std::string());
}

std::string ZqCountStatement(const std::string &AText, int AOrderByPos)
{
    std::string Body = AOrderByPos > 0 ? AText.substr(0, size_t(AOrderByPos - 1)) : AText;
    return "SELECT COUNT(*) FROM (\n" + Body + "\n) A";
}

void TZqCustomQuery::CountTotalRecords()
{
    FTotalRecordCount = 0;
    SetPrepared(true);
    IZqPhysCommand *Phys = Command()->CommandIntf();
    const std::string Text = Phys ? Phys->GetCommandText() : SQL()->Text();
    const int OrderBy = Phys ? Phys->GetSQLOrderByPos() : 0;
    TZqQuery Q(nullptr);
    Q.SetConnectionName(ConnectionName());
    Q.SetConnection(Connection());
    TZqFetchOptions *F = Q.FetchOptions();
    F->SetMode(fmExactRecsMax);
    F->SetItems(TZqFetchItems());
    F->SetRecsMax(1);
    F->SetRecordCountMode(cmVisible);
    Q.Params()->Assign(*Params());
    Q.Macros()->Assign(*Macros());
    Q.SQL()->SetText(ZqCountStatement(Text, OrderBy));
    Q.Open();
    FTotalRecordCount = Q.Fields()[0]->AsInteger();
}

// ---- table --------------------------------------------------------------------------------------

std::vector<std::string> ZqBuildTableSelect(const std::string &AObjectName, bool AWithRowID,
                                            const std::string &AOrderFields, const std::string &ADescFields,
                                            const std::vector<std::string> &AMasterFields,
                                            const std::function<std::string(const std::string &)> &AQuoteColumn)
{
    std::vector<std::string> Lines;
    Lines.push_back(std::string("SELECT T.*") + (AWithRowID ? ", T.ROWID" : "") + " FROM " + AObjectName + " T");
    std::string Where, OrderBy;
    const std::string Desc = ";" + rtl::UpperCase(ADescFields) + ";";
    const std::vector<std::string> Names = SplitFieldNames(AOrderFields);
    for (size_t I = 0; I < Names.size(); ++I) {
        const std::string Col = "T." + AQuoteColumn(Names[I]);
        if (I < AMasterFields.size()) {
            Where += Where.empty() ? "WHERE " : " AND ";
            Where += Col + " = :" + AMasterFields[I];
        }
        OrderBy += OrderBy.empty() ? "ORDER BY " : ", ";
        OrderBy += Col;
        if (Desc.find(";" + rtl::UpperCase(Names[I]) + ";") != std::string::npos)
            OrderBy += " DESC";
    }
    if (!Where.empty())
        Lines.push_back(Where);
    if (!OrderBy.empty())
        Lines.push_back(OrderBy);
    return Lines;
}

std::string ZqTableObjectName(IZqPhysConnectionMetadata *AMeta, const std::string &ATableName,
                              const std::string &ACatalogName, const std::string &ASchemaName)
{
    TZqPhysParsedName Name;
    if (ATableName.find('.') != std::string::npos) {
        AMeta->ParseObjName(ATableName, Name, 0, nullptr);
        if (Name.FCatalog.empty())
            Name.FCatalog = ACatalogName;
        if (Name.FSchema.empty())
            Name.FSchema = ASchemaName;
    } else {
        Name.FCatalog = ACatalogName;
        Name.FSchema = ASchemaName;
        Name.FObject = ATableName;
    }
    for (std::string *Part : {&Name.FCatalog, &Name.FSchema, &Name.FBaseObject, &Name.FObject})
        if (*Part == "<NULL>")
            Part->clear();
    return AMeta->EncodeObjName(Name, nullptr, eoBeShort);
}

TZqTable::TZqTable(rtl::TComponent *AOwner) : TZqCustomQuery(AOwner)
{
    Command()->UpdateOptions()->SetRequestLive(true);
    // The SELECT is built again at the next open after an unprepare.
    Command()->AfterUnprepare = [this](rtl::TObject *) {
        if (SQL()->Count() > 0)
            SQL()->Clear();
    };
}

TZqTable::~TZqTable()
{
    // The base's destructor unprepares the command; by then this is no
    // longer a table, so the table's own unprepare hook must be gone.
    if (TZqCustomCommand *C = Command())
        C->AfterUnprepare = nullptr;
}

void TZqTable::SetNamePart(std::string &APart, const std::string &AValue)
{
    CheckInactive();
    if (APart == AValue)
        return;
    SetPrepared(false);
    APart = AValue;
    // A stale SELECT must not survive a name change, prepared or not.
    SQL()->Clear();
}

void TZqTable::SetTableName(const std::string &AValue)
{
    SetNamePart(FTableName, AValue);
    Command()->UpdateOptions()->SetUpdateTableName(AValue);
}

void TZqTable::SetCatalogName(const std::string &AValue) { SetNamePart(FCatalogName, AValue); }

void TZqTable::SetSchemaName(const std::string &AValue) { SetNamePart(FSchemaName, AValue); }

void TZqTable::Rebuild()
{
    if (Active()) {
        DisableControls();
        try {
            Disconnect(false);
            Open();
        } catch (...) {
            EnableControls();
            throw;
        }
        EnableControls();
    } else {
        SQL()->Clear();
    }
}

void TZqTable::OpenCursor(bool AInfoQuery)
{
    if (CloneSource()) {
        TZqCustomQuery::OpenCursor(AInfoQuery);
        return;
    }
    const int MasterCount = int(MasterLink()->Fields().size());
    if (SQL()->Count() == 0 || (HasIndex() && MasterCount != Params()->Count())) {
        GenerateSQL();
        SetMasterParams(MasterLink()->Fields());
    }
    TZqCustomQuery::OpenCursor(AInfoQuery);
}

void TZqTable::SetMasterParams(const std::vector<TField *> &AFields)
{
    if (int(AFields.size()) != Params()->Count() && HasIndex())
        Rebuild();
    else
        TZqCustomQuery::SetMasterParams(AFields);
}

void TZqTable::DoOnNewRecord()
{
    const std::vector<TField *> &Master = MasterLink()->Fields();
    if (MasterLink()->Active() && !Master.empty()) {
        const int N = std::min(int(Master.size()), IndexFieldCount());
        for (int I = 0; I < N; ++I)
            if (TField *F = IndexFields(I))
                F->SetAsVariant(Master[size_t(I)]->AsVariant());
    }
    TZqCustomQuery::DoOnNewRecord();
}

void TZqTable::RefreshDetail()
{
    if (HasIndex())
        TZqCustomQuery::RefreshDetail();
}

void TZqTable::OrderFields(std::string &AFields, std::string &ADescFields)
{
    AFields.clear();
    ADescFields.clear();
    if (!IndexFieldNames().empty()) {
        AFields = IndexFieldNames();
        return;
    }
    if (IndexName().empty())
        return;
    for (int I = 0; I < IndexDefs().Count(); ++I) {
        const TIndexDef *D = IndexDefs().Items(I);
        if (!rtl::SameText(D->Name, IndexName()))
            continue;
        // An index the server cannot order by is left to the dataset.
        if (D->Expression.empty() && D->Source.empty() &&
            !(D->Options & (ixCaseInsensitive | ixExpression | ixNonMaintained))) {
            AFields = D->Fields;
            ADescFields = D->DescFields;
        }
        return;
    }
}

void TZqTable::GenerateSQL()
{
    TZqCustomCommand *C = Command();
    SetPrepared(false);
    TZqCustomConnection *Conn = ZqManager()->AcquireConnection(C->Connection(), C->ConnectionName());
    try {
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        Conn->GetConnectionMetadata(false, Meta);
        ZQ_ASSERT(Meta, CUnit);
        const std::string Object = ZqTableObjectName(Meta.Get(), FTableName, FCatalogName, FSchemaName);
        auto QuoteColumn = [&Meta](const std::string &AName) {
            TZqPhysParsedName Col;
            Col.FObject = AName;
            return Meta->EncodeObjName(Col, nullptr, eoBeShort);
        };
        std::string Order, Desc;
        OrderFields(Order, Desc);
        std::vector<std::string> Masters;
        if (MasterLink()->Active())
            for (TField *F : MasterLink()->Fields())
                Masters.push_back(F->FieldName());
        const std::vector<std::string> Lines =
            ZqBuildTableSelect(Object, Meta->GetKind() == mkOracle, Order, Desc, Masters, QuoteColumn);
        TZqStringList &S = C->CommandText();
        S.BeginUpdate();
        try {
            S.Clear();
            for (const std::string &L : Lines)
                S.Add(L);
        } catch (...) {
            S.EndUpdate();
            throw;
        }
        S.EndUpdate();
    } catch (...) {
        ZqManager()->ReleaseConnection(Conn);
        throw;
    }
    ZqManager()->ReleaseConnection(Conn);
}
