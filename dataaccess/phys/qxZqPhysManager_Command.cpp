// qxZqPhysManager_Command: the command base: names and text, preprocessing,
// prepare/open/fetch/execute with fetch modes and array execution, abort,
// and the three operations handed to the asynchronous executor.
#include <optional>
#include <thread>

#include "dataaccess/dats/qxZqDatSIntf.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"

namespace {

const char *const CUnit = "qxZqPhysManager";
const std::vector<std::string> CPhys{"Phys"};

bool IsStoredProcKind(TZqPhysCommandKind AKind)
{
    return AKind == skStoredProc || AKind == skStoredProcWithCrs || AKind == skStoredProcNoCrs;
}

// The operations the asynchronous executor runs.
class TZqPhysCommandAsyncOperation : public TZqObject, public virtual IZqStanAsyncOperation {
public:
    // AKeepAlive false: the command is held by whoever runs the operation.
    explicit TZqPhysCommandAsyncOperation(TZqPhysCommand *ACommand, bool AKeepAlive = true)
        : FCommand(AKeepAlive ? static_cast<IZqPhysCommandInternal *>(ACommand) : nullptr), FCmd(ACommand) {}
    void AbortJob() override
    {
        FCmd->AbortJob(false);
        while (FCmd->GetState() == 5) std::this_thread::yield();
    }
    bool AbortSupported() override { return FCmd->AbortSupported(); }

protected:
    TZqIntfPtr<IZqPhysCommandInternal> FCommand; // keeps the command alive while the operation runs
    TZqPhysCommand *FCmd;
};

class TZqPhysCommandAsyncOpen : public TZqPhysCommandAsyncOperation {
public:
    using TZqPhysCommandAsyncOperation::TZqPhysCommandAsyncOperation;
    void Execute() override { FCmd->OpenTask(); }
};

class TZqPhysCommandAsyncExecute : public TZqPhysCommandAsyncOperation {
public:
    TZqPhysCommandAsyncExecute(TZqPhysCommand *ACommand, int ATimes, int AOffset, bool AKeepAlive = true)
        : TZqPhysCommandAsyncOperation(ACommand, AKeepAlive), FTimes(ATimes), FOffset(AOffset) {}
    void Execute() override { FCmd->ExecuteTask(FTimes, FOffset); }
    void Set(int ATimes, int AOffset)
    {
        FTimes = ATimes;
        FOffset = AOffset;
    }

private:
    int FTimes, FOffset;
};

class TZqPhysCommandAsyncFetch : public TZqPhysCommandAsyncOperation {
public:
    TZqPhysCommandAsyncFetch(TZqPhysCommand *ACommand, TZqDatSTable *ATable, bool AAll)
        : TZqPhysCommandAsyncOperation(ACommand), FTable(ATable), FAll(AAll) {}
    void Execute() override { FCmd->FetchTask(FTable, FAll); }

private:
    TZqDatSTable *FTable; // the caller's, alive until Fetch returns
    bool FAll;
};

} // namespace

// The operation of a blocking execute without a time limit. It runs within
// ExecuteWith, whose caller holds the command, so it holds no reference to
// the command (one would tie the two together for good), and the command
// keeps it for its next execute instead of making one per statement.
class TZqPhysBlockingExecute : public TZqPhysCommandAsyncExecute {
public:
    explicit TZqPhysBlockingExecute(TZqPhysCommand *ACommand) : TZqPhysCommandAsyncExecute(ACommand, 1, 0, false) {}
};

TZqPhysCommand::TZqPhysCommand()
    : FMacros(std::make_unique<TZqMacros>()), FParams(std::make_unique<TZqParams>()),
      FBuffer(std::make_unique<TZqFormatConversionBuffer>())
{
    FMoniHelper = std::make_unique<TZqMoniAdapterHelper>(this, nullptr);
    SetOptions(nullptr);
}

TZqPhysCommand::~TZqPhysCommand() = default;

int32_t TZqPhysCommand::_Release()
{
    const int32_t N = DecRefCount();
    if (N != 0) return N;
    IncRefCount(1000000); // nothing below may free this object again
    try {
        Disconnect();
    } catch (...) {
        // a command going away cannot report a statement that will not close
    }
    if (FConnectionObj) FConnectionObj->RemoveCommand(this);
    FConnectionObj = nullptr;
    FConnectionIntf.Reset();
    delete this;
    return 0;
}

void TZqPhysCommand::BindToConnection(TZqPhysConnection *AConn)
{
    FConnectionObj = AConn;
    FConnectionIntf = TZqIntfPtr<IZqPhysConnection>(static_cast<IZqPhysConnection *>(AConn));
    FMoniHelper->SetOwner(AConn, std::string());
}

void TZqPhysCommand::RaisePhys(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    ZqRaiseError(this, CPhys, ACode, AArgs);
}

// ---- options, identity, errors ----------------------------------------------------------------

void TZqPhysCommand::SetOptions(IZqStanOptions *AValue)
{
    if (AValue && AValue == FOptions) return;
    FOptions = AValue;
    // Without a holder the command reads options of its own, with their
    // defaults: made when first asked for, since a command kept between
    // two texts of its component goes without a holder in between.
    FUpdateOptions.reset();
    FFetchOptions.reset();
    FFormatOptions.reset();
    FResourceOptions.reset();
}

TZqFetchOptions *TZqPhysCommand::GetFetchOptions()
{
    if (FOptions) return FOptions->GetFetchOptions();
    if (!FFetchOptions) FFetchOptions = std::make_unique<TZqFetchOptions>(this);
    return FFetchOptions.get();
}
TZqFormatOptions *TZqPhysCommand::GetFormatOptions()
{
    if (FOptions) return FOptions->GetFormatOptions();
    if (!FFormatOptions) FFormatOptions = std::make_unique<TZqFormatOptions>(this);
    return FFormatOptions.get();
}
TZqUpdateOptions *TZqPhysCommand::GetUpdateOptions()
{
    if (FOptions) return FOptions->GetUpdateOptions();
    if (!FUpdateOptions) FUpdateOptions = std::make_unique<TZqUpdateOptions>(this);
    return FUpdateOptions.get();
}
TZqResourceOptions *TZqPhysCommand::GetResourceOptions()
{
    if (FOptions) return FOptions->GetResourceOptions();
    if (!FResourceOptions) FResourceOptions = std::make_unique<TZqResourceOptions>(this);
    return FResourceOptions.get();
}
bool TZqPhysCommand::GetParentOptions(IZqStanOptions *&AParent)
{
    if (FOptions) return FOptions->GetParentOptions(AParent);
    AParent = FConnectionObj ? FConnectionObj->GetOptions() : nullptr;
    return AParent != nullptr;
}

void TZqPhysCommand::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                     std::unique_ptr<rtl::Exception> &AException)
{
    if (FErrorHandler) FErrorHandler->HandleException(AInitiator, AException);
}

std::string TZqPhysCommand::GetName() { return FMoniHelper->GetName(); }
TZqIntfPtr<IZqStanObject> TZqPhysCommand::GetParent() { return FMoniHelper->GetParent(); }
void TZqPhysCommand::SetOwner(rtl::TObject *AOwner, const std::string &ARole)
{
    FMoniHelper->SetOwner(AOwner, ARole);
}

TZqIntfPtr<IZqStanAsyncHandler> TZqPhysCommand::GetAsyncHandler() { return FAsyncHandler; }
void TZqPhysCommand::SetAsyncHandler(const TZqIntfPtr<IZqStanAsyncHandler> &AValue) { FAsyncHandler = AValue; }

std::string TZqPhysCommand::GetTraceText()
{
    static const char *const CLabels[] = {"",
                                          "Table List",
                                          "Table Fields (",
                                          "Table Indexes (",
                                          "Table Index Fields (",
                                          "Table PKeys (",
                                          "Table PKey Fields (",
                                          "Table FKeys (",
                                          "Table FKey Fields (",
                                          "Packages(",
                                          "Procedures (",
                                          "Procedure Args ("};
    auto Qualified = [&](const std::string &AObject) {
        std::string R;
        for (const std::string *P : std::initializer_list<const std::string *>{&FCatalogName, &FSchemaName, &AObject})
            if (!P->empty()) R += (R.empty() ? "" : ".") + *P;
        return R;
    };
    if (FMetaInfoKind > 0 && FMetaInfoKind <= 11) {
        std::string R = CLabels[FMetaInfoKind];
        if (FMetaInfoKind == 1) return R;
        if (FMetaInfoKind == 4 || FMetaInfoKind == 8)
            R += Qualified(FBaseObjectName) + ", " + FCommandText;
        else if (FMetaInfoKind == 6)
            R += Qualified(FBaseObjectName);
        else
            R += Qualified(FCommandText);
        return R + ")";
    }
    if (IsStoredProcKind(FCommandKind)) {
        std::string R = Qualified(FCommandText);
        if (FOverload != 0) R += ";" + std::to_string(FOverload);
        return R;
    }
    return FCommandText;
}

int TZqPhysCommand::GetItemCount() { return 5 + FParams->Count() + FMacros->Count(); }

void TZqPhysCommand::GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind)
{
    AKind = 2;
    switch (AIndex) {
    case 0: AName = "ExecuteCount"; AValue = FExecuteCount; return;
    case 1: AName = "RowsAffected"; AValue = FRowsAffected; return;
    case 2: AName = "RecordsFetched"; AValue = FRecordsFetched; return;
    case 3:
        AName = "Status";
        AValue = FState == 1 ? std::string("Prepared")
                 : FState == 3 ? std::string(FEof ? "Active, EOF" : "Active") : std::string();
        return;
    case 4: AName = "@CommandText"; AValue = GetTraceText(); return;
    default: break;
    }
    AKind = 1;
    int I = AIndex - 5;
    if (I < FParams->Count()) {
        TZqParam *P = FParams->Items(I);
        AName = P->Name();
        AValue = P->ArrayType() != atScalar ? rtl::Variant(std::string("<array>")) : P->Value();
        return;
    }
    TZqMacro *M = FMacros->Items(I - FParams->Count());
    AName = M->Name();
    AValue = M->Value();
}

// ---- setters --------------------------------------------------------------------------------

namespace {
template <typename T> bool Differs(const T &A, const T &B) { return !(A == B); }
} // namespace

void TZqPhysCommand::SetSchemaName(const std::string &AValue)
{
    if (!Differs(FSchemaName, AValue)) return;
    Disconnect();
    FSchemaName = AValue;
}
void TZqPhysCommand::SetCatalogName(const std::string &AValue)
{
    if (!Differs(FCatalogName, AValue)) return;
    Disconnect();
    FCatalogName = AValue;
}
void TZqPhysCommand::SetBaseObjectName(const std::string &AValue)
{
    if (!Differs(FBaseObjectName, AValue)) return;
    Disconnect();
    FBaseObjectName = AValue;
}
void TZqPhysCommand::SetOverload(uint16_t AValue)
{
    if (FOverload == AValue) return;
    Disconnect();
    FOverload = AValue;
}
uint8_t TZqPhysCommand::GetParamBindMode() { return FParams->BindMode(); }
void TZqPhysCommand::SetParamBindMode(uint8_t AValue)
{
    if (FParams->BindMode() == AValue) return;
    Disconnect();
    FParams->SetBindMode(AValue);
}
void TZqPhysCommand::SetMetaInfoKind(TZqPhysMetaInfoKind AValue)
{
    if (FMetaInfoKind == AValue) return;
    Disconnect();
    FMetaInfoKind = AValue;
}
void TZqPhysCommand::SetTableKinds(uint8_t AValue)
{
    if (FTableKinds == AValue) return;
    Disconnect();
    FTableKinds = AValue;
}
void TZqPhysCommand::SetWildcard(const std::string &AValue)
{
    if (FWildcard == AValue) return;
    Disconnect();
    FWildcard = AValue;
}
void TZqPhysCommand::SetObjectScopes(uint8_t AValue)
{
    if (FObjectScopes == AValue) return;
    Disconnect();
    FObjectScopes = AValue;
}

void TZqPhysCommand::SetCommandText(const std::string &AValue)
{
    if (FCommandText == AValue) return;
    Disconnect();
    FCommandText = AValue;
    if (!IsStoredProcKind(FCommandKind)) {
        TZqResourceOptions *R = GetResourceOptions();
        Preprocess(R->ParamCreate(), R->MacroCreate(), false, false, false, false);
    }
}

void TZqPhysCommand::SetCommandKind(TZqPhysCommandKind AValue)
{
    FCommandKind = AValue;
    FKindFixed = AValue != skUnknown;
}

std::string TZqPhysCommand::GetSourceRecordSetName()
{
    if (FSourceRecordSetName.empty()) return FSourceObjectName;
    if (FRecordSetIndex > 0) return FSourceRecordSetName + "#" + std::to_string(FRecordSetIndex);
    return FSourceRecordSetName;
}

// ---- preprocessing ----------------------------------------------------------------------------

void TZqPhysCommand::Preprocess(bool ACreateParams, bool ACreateMacros, bool AWantText, bool AExpandEscapes,
                                bool AExpandMacros, bool AExpandParams)
{
    if (!(ACreateParams || ACreateMacros || AWantText || AExpandEscapes || AExpandMacros || AExpandParams)) return;
    TZqPhysPreprocessor Run;
    Run.Instrs = uint8_t((ACreateParams ? piParamCreate : 0) | (ACreateMacros ? piMacroCreate : 0) |
                         (AExpandParams ? piParamExpand : 0) | (AExpandMacros ? piMacroExpand : 0) |
                         (AExpandEscapes ? piEscapeExpand : 0) | (AWantText ? piAnalyze : 0));
    // On the stack: every prepare makes them, and most texts leave them empty.
    std::optional<TZqParams> NewParams;
    std::optional<TZqMacros> NewMacros;
    if (ACreateParams) {
        NewParams.emplace();
        NewParams->SetBindMode(FParams->BindMode());
        Run.Params = &*NewParams;
    } else {
        Run.Params = FParams.get();
    }
    if (ACreateMacros) {
        NewMacros.emplace();
        Run.Macros = &*NewMacros;
    } else {
        Run.Macros = FMacros.get();
    }
    Run.MacrosSource = FMacros.get();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    if (FConnectionObj) FConnectionObj->CreateMetadata(Meta);
    Run.ConnMetadata = Meta.Get();
    Run.Source = FCommandText;
    Run.Execute();
    if (AWantText) {
        FDbCommandText = Run.Destination();
        FSourceObjectName = Run.FromObjectName();
        FSQLOrderByPos = Run.OrderByPos();
        FSQLValuesPos = Run.ValuesPos();
        if (!FKindFixed && FCommandKind == skUnknown) FCommandKind = Run.CommandKind();
    }
    if (NewParams) {
        NewParams->AssignValues(*FParams);
        FParams->Clear();
        FParams->Assign(*NewParams);
    }
    if (NewMacros) {
        NewMacros->AssignValues(*FMacros);
        FMacros->Clear();
        FMacros->Assign(*NewMacros);
    }
}

// ---- prepare ------------------------------------------------------------------------------------

void TZqPhysCommand::Prepare(const std::string &ACommandText)
{
    Disconnect();
    if (FState.load() != 0) RaisePhys(305);
    if (!FConnectionObj) RaisePhys(307);
    FConnectionObj->CheckActive(0);
    if (!ACommandText.empty()) FCommandText = ACommandText;
    if (FMetaInfoKind == 0 && FCommandText.empty()) RaisePhys(306);
    if (!IsStoredProcKind(FCommandKind)) {
        TZqResourceOptions *R = GetResourceOptions();
        if (FMetaInfoKind == 0)
            Preprocess(R->ParamCreate(), R->MacroCreate(), true, R->EscapeExpand(), R->MacroExpand(),
                       R->ParamExpand());
    }
    FParams->Prepare(GetFormatOptions()->DefaultParamDataType());
    FBuffer->Clear();
    FRecordSetIndex = -1;
    FConnectionObj->CursorOpened(this);
    try {
        InternalPrepare();
    } catch (...) {
        try {
            InternalUnprepare();
        } catch (...) {
            // the first failure is the one to report
        }
        FConnectionObj->CursorClosed();
        throw;
    }
    FState = 1;
}

void TZqPhysCommand::Unprepare()
{
    if (FState.load() == 0) return;
    CheckNotBusy();
    if (FState.load() == 3) CloseAll();
    if (FState.load() != 1) RaisePhys(305);
    FBuffer->Clear();
    InternalUnprepare();
    if (FConnectionObj) FConnectionObj->CursorClosed();
    FExecuteCount = 0;
    FRecordsFetched = 0;
    if (!FKindFixed) FCommandKind = skUnknown;
    FSourceObjectName.clear();
    FState = 0;
}

void TZqPhysCommand::CheckNotBusy()
{
    const TZqPhysCommandState S = FState.load();
    if (S == 2 || S == 4) RaisePhys(326);
}

void TZqPhysCommand::Disconnect()
{
    CheckNotBusy();
    if (FState.load() == 3) CloseAll();
    if (FState.load() == 1) Unprepare();
}

void TZqPhysCommand::InternalAbort() { ZqRaiseCapabilityNotSupported(this, CPhys); }

void TZqPhysCommand::AbortJob(bool AWait)
{
    const TZqPhysCommandState S = FState.load();
    if (S != 2 && S != 4) return;
    FState = 5;
    InternalAbort();
    if (AWait)
        while (FState.load() >= 2 && FState.load() != 3) std::this_thread::yield();
}

bool TZqPhysCommand::AbortSupported()
{
    if (!FConnectionObj) return false;
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    FConnectionObj->CreateMetadata(Meta);
    return Meta->GetAsyncAbortSupported();
}

void TZqPhysCommand::RunAsync(const TZqIntfPtr<IZqStanAsyncOperation> &AOp, TZqStanAsyncMode AMode,
                              uint32_t ATimeout)
{
    // A command runs a statement at a time, mostly blocking and without a
    // time limit: the executor of such a run is kept for the next instead of
    // made anew per statement. A run inside a run (a fetch during an open)
    // finds none kept and makes its own.
    TZqIntfPtr<IZqStanAsyncExecutor> Exec = std::move(FIdleExecutor);
    if (!Exec) ZqCreateInterface(Exec, true);
    Exec->Setup(AOp, AMode, ATimeout, FAsyncHandler);
    Exec->Run();
    if (AMode == amBlocking && ATimeout == CZqAsyncNoTimeout && Exec->GetMode() == amBlocking) {
        Exec->Clear();
        FIdleExecutor = std::move(Exec);
    }
}

// ---- open and close ---------------------------------------------------------------------------------

void TZqPhysCommand::Open()
{
    TZqResourceOptions *R = GetResourceOptions();
    OpenWith(R->AsyncCmdMode(), R->AsyncCmdTimeout());
}

void TZqPhysCommand::OpenWith(TZqStanAsyncMode AMode, uint32_t ATimeout)
{
    if (FState.load() == 3) return;
    CheckNotBusy();
    if (FState.load() == 0) Prepare();
    if (FState.load() != 1) RaisePhys(305);
    FState = 2;
    try {
        RunAsync(TZqIntfPtr<IZqStanAsyncOperation>(new TZqPhysCommandAsyncOpen(this)), AMode, ATimeout);
    } catch (...) {
        FState = 1;
        throw;
    }
}

void TZqPhysCommand::OpenTask()
{
    if (FState.load() == 5) {
        FState = 1;
        return;
    }
    const bool Opened = FNextRecordSet ? InternalNextRecordSet() : InternalOpen();
    if (!Opened) {
        FState = 1;
        return;
    }
    FBuffer->Check(0);
    FEof = false;
    FFirstFetch = true;
    FRecordsFetched = 0;
    ++FExecuteCount;
    ++FRecordSetIndex;
    // an abort that came while the cursor opened ends the operation closed
    TZqPhysCommandState Expected = 2;
    if (!FState.compare_exchange_strong(Expected, 3)) {
        InternalClose();
        FState = 1;
    }
}

void TZqPhysCommand::Close()
{
    if (FState.load() < 2) return;
    CheckNotBusy();
    if (FState.load() == 3) {
        InternalClose();
        FState = 1;
        if (!FNextRecordSet) FRecordSetIndex = -1;
    }
}

void TZqPhysCommand::CloseAll()
{
    FNextRecordSet = false;
    Close();
}

// ---- execute -------------------------------------------------------------------------------------

void TZqPhysCommand::Execute(int ATimes, int AOffset)
{
    TZqResourceOptions *R = GetResourceOptions();
    ExecuteWith(ATimes, AOffset, R->AsyncCmdTimeout(), R->AsyncCmdMode());
}

void TZqPhysCommand::ExecuteWith(int ATimes, int AOffset, uint32_t ATimeout, TZqStanAsyncMode AMode)
{
    FRowsAffected = -1;
    FRowsAffectedReal = true;
    FErrorAction = eaExitSuccess;
    CheckNotBusy();
    if (FState.load() == 0) Prepare();
    if (FState.load() != 1) RaisePhys(309);
    FState = 2;
    try {
        if (FCommandKind == skSelect || FCommandKind == skSelectForUpdate || FCommandKind == skStoredProcWithCrs ||
            FMetaInfoKind != 0)
            RaisePhys(310);
        for (int I = 0; I < FParams->Count(); ++I)
            if (FParams->Items(I)->ArraySize() < ATimes) RaisePhys(325, {FParams->Items(I)->Name()});
        if (ATimes < 1) ATimes = 1;
        if (AOffset < 0) AOffset = 0;
        if (ATimes <= AOffset) {
            FRowsAffected = 0;
            FErrorAction = eaExitSuccess;
            FState = 1;
            return;
        }
        if (AMode == amBlocking && ATimeout == CZqAsyncNoTimeout) {
            if (!FBlockingExecuteOp) {
                FBlockingExecuteOp = new TZqPhysBlockingExecute(this);
                FBlockingExecute = TZqIntfPtr<IZqStanAsyncOperation>(FBlockingExecuteOp);
            }
            FBlockingExecuteOp->Set(ATimes, AOffset);
            RunAsync(FBlockingExecute, AMode, ATimeout);
        } else {
            RunAsync(TZqIntfPtr<IZqStanAsyncOperation>(new TZqPhysCommandAsyncExecute(this, ATimes, AOffset)), AMode,
                     ATimeout);
        }
    } catch (...) {
        if (FState.load() == 2 || FState.load() == 5) FState = 1;
        throw;
    }
}

void TZqPhysCommand::AddRowsAffected(int ACount)
{
    if (ACount == -1) {
        FRowsAffectedReal = false;
        return;
    }
    FRowsAffected = FRowsAffected == -1 ? ACount : FRowsAffected + ACount;
    FExecuteCount += ACount;
}

void TZqPhysCommand::ExecuteTask(int ATimes, int AOffset)
{
    if (FState.load() == 5) {
        FState = 1;
        return;
    }
    try {
        FConnectionObj->AutoTransaction(0);
        TZqErrorAction Action;
        do {
            Action = eaExitSuccess;
            int Count = 0;
            try {
                InternalExecute(ATimes, AOffset, Count);
                AddRowsAffected(Count);
            } catch (const EZqException &E) {
                AddRowsAffected(Count);
                // The failing row: the one the error names (a driver error
                // of an array or a row of one), else as many rows on as
                // the rows before it changed.
                const auto *DB = dynamic_cast<const EZqDBEngineException *>(&E);
                const int Named = DB && DB->ErrorCount() > 0 ? DB->Errors(0).RowIndex : -1;
                if (Named >= AOffset && Named < ATimes)
                    AOffset = Named;
                else if (Count > 0)
                    AOffset += Count;
                Action = eaFail;
                if (FErrorHandler) {
                    std::unique_ptr<EZqException> Row;
                    E.Duplicate(Row);
                    std::unique_ptr<rtl::Exception> Err =
                        std::make_unique<EZqPhysArrayExecuteError>(ATimes, AOffset, Row.get());
                    FErrorHandler->HandleException(TZqIntfPtr<IZqStanObject>(), Err);
                    if (auto *AE = dynamic_cast<EZqPhysArrayExecuteError *>(Err.get())) Action = AE->Action;
                }
                switch (Action) {
                case eaFail:
                case eaDefault: throw;
                case eaSkip: ++AOffset; break;
                case eaApplied:
                    ++AOffset;
                    FRowsAffected = FRowsAffected == -1 ? 1 : FRowsAffected + 1;
                    break;
                default: break;
                }
            }
            // The rows processed reached the size sent: nothing is left to run.
            if (AOffset >= ATimes) Action = eaExitSuccess;
        } while (Action != eaExitSuccess && Action != eaExitFailure);
        FErrorAction = Action;
        FConnectionObj->AutoTransaction(Action == eaExitSuccess ? 1 : 2);
        FState = 1;
    } catch (...) {
        FState = 1;
        FErrorAction = eaFail;
        try {
            FConnectionObj->AutoTransaction(2);
        } catch (...) {
            // the execute's own error is the one the caller must see
        }
        if (FRowsAffected == -1) FRowsAffected = 0;
        throw;
    }
    if (FRowsAffected == -1) FRowsAffected = 0;
}

// ---- fetch ------------------------------------------------------------------------------------------

void TZqPhysCommand::Fetch(TZqDatSTable *ATable, bool AAll)
{
    TZqResourceOptions *R = GetResourceOptions();
    FetchWith(ATable, AAll, R->AsyncCmdTimeout(), R->AsyncCmdMode());
}

void TZqPhysCommand::FetchWith(TZqDatSTable *ATable, bool AAll, uint32_t ATimeout, TZqStanAsyncMode AMode)
{
    ZQ_ASSERT(ATable, CUnit);
    FRowsAffected = 0;
    CheckNotBusy();
    if (FState.load() != 3) RaisePhys(311);
    if (FEof) return;
    FState = 4;
    try {
        RunAsync(TZqIntfPtr<IZqStanAsyncOperation>(new TZqPhysCommandAsyncFetch(this, ATable, AAll)), AMode,
                 ATimeout);
    } catch (...) {
        TZqPhysCommandState S = FState.load();
        if (S == 4 || S == 5) FState = 3;
        throw;
    }
}

int TZqPhysCommand::FetchRows(const TZqPhysRowVisitor &AVisit)
{
    // The fetch's own road (state, rowsets, limits, end of data) with a
    // table it leaves empty when the driver visits its rows; another
    // driver fills a table defined for the purpose, whose rows are visited
    // after.
    const bool InPlace = VisitsRows();
    std::unique_ptr<TZqDatSTable> Own;
    if (!InPlace) {
        Own = std::make_unique<TZqDatSTable>();
        Define(Own.get());
    } else if (!FVisitTable) {
        // A table takes its rows' loading only with a column.
        FVisitTable = std::make_unique<TZqDatSTable>();
        FVisitTable->Columns()->AddColumn("Row", dtInt32);
    }
    struct TScope {
        const TZqPhysRowVisitor *&Slot;
        ~TScope() { Slot = nullptr; }
    } Scope{FRowVisitor};
    FRowVisitor = InPlace ? &AVisit : nullptr;
    Fetch(InPlace ? FVisitTable.get() : Own.get(), true);
    const int Rows = FRowsAffected;
    if (!InPlace) {
        class TRow final : public IZqPhysFetchedRow {
        public:
            explicit TRow(TZqDatSRow &ARow) : FRow(ARow) {}
            int ColumnCount() override { return FRow.Table()->Columns()->Count(); }
            TZqDataType ColumnType(int AColumn) override
            {
                return FRow.Table()->Columns()->GetItem(AColumn)->DataType();
            }
            bool GetValue(int AColumn, void *&AData, uint32_t &ALen) override
            {
                return FRow.GetData(AColumn, dats::rvDefault, AData, 0, ALen, false);
            }
            const EZqException *RowError() override { return FRow.GetRowError(); }

        private:
            TZqDatSRow &FRow;
        };
        for (int I = 0; I < Own->Rows()->Count(); ++I) {
            TRow Row(*Own->Rows()->GetItem(I));
            AVisit(Row);
        }
    }
    return Rows;
}

int TZqPhysCommand::FetchRowSets(TZqDatSTable *ATable, int ARequested, int ARecsMax)
{
    TZqFetchOptions *F = GetFetchOptions();
    const int RecsMax = ARecsMax;
    if (RecsMax != -1 && int64_t(FRecordsFetched) + ARequested > RecsMax) ARequested = RecsMax - FRecordsFetched;
    const int Rowset = std::max(1, std::min(F->RowsetSize(), ARequested));
    int Total = 0;
    int Last = 0;
    int Asked = Rowset;
    // The last call asks only for what is left, so a limit is never overrun.
    if (ARequested > 0)
        do {
            Asked = std::min(Rowset, ARequested - Total);
            Last = InternalFetchRowSet(ATable, nullptr, Asked);
            FRecordsFetched += Last;
            Total += Last;
        } while (FState.load() == 4 && Last == Asked && Total < ARequested);
    FEof = Last < Asked || (RecsMax != -1 && FRecordsFetched >= RecsMax);
    FRowsAffected = Total;
    return Total;
}

void TZqPhysCommand::FetchTask(TZqDatSTable *ATable, bool AAll)
{
    if (FState.load() != 5) {
        TZqFetchOptions *F = GetFetchOptions();
        TZqFetchMode Mode = AAll ? fmAll : FFirstFetch ? F->Mode() : fmOnDemand;
        ATable->BeginLoadData(Mode == fmAll || Mode == fmExactRecsMax ? dats::lmFetchAll : dats::lmFetchRowset);
        struct TEndLoad {
            TZqDatSTable *T;
            ~TEndLoad() { T->EndLoadData(); }
        } EndLoad{ATable};
        switch (Mode) {
        case fmManual:
        case fmOnDemand: FetchRowSets(ATable, F->RowsetSize(), F->RecsMax()); break;
        case fmAll: FetchRowSets(ATable, 2147483647, F->RecsMax()); break;
        case fmExactRecsMax: {
            // One row more than asked for tells "too many" from "exactly".
            const int RecsMax = F->RecsMax();
            if (FetchRowSets(ATable, RecsMax + 1, -1) != RecsMax) {
                FFirstFetch = false;
                if (FState.load() == 4) FState = 3;
                RaisePhys(312);
            }
            FEof = true;
            break;
        }
        }
        FFirstFetch = false;
    }
    TZqPhysCommandState Expected = 4;
    if (!FState.compare_exchange_strong(Expected, 3) && Expected == 5) {
        FState = 3;
        FEof = true;
    }
    if (FEof && GetFetchOptions()->AutoClose()) Close();
}

void TZqPhysCommand::OpenAndFetch(TZqDatSManager *AManager, TZqPhysMetaInfoMergeMode AMergeMode)
{
    CheckNotBusy();
    if (FState.load() == 0) Prepare();
    if (AMergeMode == mmReset) {
        AManager->Clear();
        AMergeMode = mmOverride;
    }
    TZqResourceOptions *R = GetResourceOptions();
    TZqStanAsyncMode Mode = R->AsyncCmdMode() == amAsync ? amBlocking : R->AsyncCmdMode();
    int Total = 0;
    for (;;) {
        if (FState.load() == 1) OpenWith(Mode, R->AsyncCmdTimeout());
        if (FState.load() != 3) break;
        TZqDatSTable *Table = Define(AManager, nullptr, AMergeMode);
        if (Table) {
            FetchWith(Table, true, R->AsyncCmdTimeout(), Mode);
            Total += FRowsAffected;
        }
        FNextRecordSet = true;
        // A cursor left open (AutoClose off) ends the walk: the next result
        // set is reached only from a closed one.
        if (FState.load() != 1) break;
    }
    FNextRecordSet = false;
    if (FState.load() == 3 && GetFetchOptions()->AutoClose()) Close();
    FRowsAffected = Total;
}
