// qxZqCompClient_Command: the command component: its settings while
// unprepared, the hand-over to a driver command on prepare, open, close
// and execute through the driver command with the completion coming back
// through the asynchronous handler, and the re-reading of parameter and
// macro names when the text changes.
#include "dataaccess/comp/qxZqCompClient.h"

#include <algorithm>
#include <optional>

#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"
#include "dataaccess/stan/qxZqStanError.h"

namespace {

const std::vector<std::string> CClnt = {"Comp", "Clnt"};

// Flag bits of TZqCustomCommand::FFlags.
constexpr uint8_t CMacroValuesChanging = 1;
constexpr uint8_t CTextChanging = 2;
// Set while an unprepare runs, so that an owning dataset closing itself in
// the middle of it does not detach and release a second time.
constexpr uint8_t CUnpreparing = 4;

bool IsStoredProcKind(TZqPhysCommandKind AKind)
{
    return AKind == skStoredProc || AKind == skStoredProcWithCrs || AKind == skStoredProcNoCrs;
}

// Sets bits of a flag byte for the life of a scope.
class TFlagScope {
public:
    TFlagScope(uint8_t &AFlags, uint8_t ABits) : FFlags(AFlags), FBits(ABits) { FFlags |= ABits; }
    ~TFlagScope() { FFlags &= uint8_t(~FBits); }
    TFlagScope(const TFlagScope &) = delete;
    TFlagScope &operator=(const TFlagScope &) = delete;

private:
    uint8_t &FFlags;
    uint8_t FBits;
};

} // namespace

TZqCustomCommand::TZqCustomCommand(rtl::TComponent *AOwner)
    : TZqComponent(AOwner), FMacros([this] { return ParamsOwner(); })
{
    FFetchOptions = std::make_unique<TZqFetchOptions>(this);
    FFormatOptions = std::make_unique<TZqFormatOptions>(this);
    FUpdateOptions = std::make_unique<TZqTableUpdateOptions>(this);
    FResourceOptions = std::make_unique<TZqResourceOptions>(this);
    FCommandText.OnChange = [this](rtl::TObject *) { CommandTextChanged(); };
    FMacros.OnChanged = [this](TZqMacros *) { MacrosChanged(); };
    FOwnParams = std::make_unique<TZqParams>([this] { return ParamsOwner(); });
    FParams = FOwnParams.get();
    if (Designing()) {
        TZqIntfPtr<IZqPhysManager> M;
        if (ZqCreateInterface(M, false)) M->SetDesignTime(true);
        SetConnection(TZqCustomConnection::FindDefaultConnection(this));
    }
}

TZqCustomCommand::~TZqCustomCommand()
{
    SetState(rtl::csDestroying, true);
    try {
        Disconnect(true);
    } catch (...) {
        // a destructor reports nothing; the driver command is released below
    }
    DropSpareCommand();
    if (FPhysCommand) {
        // A failed disconnect must still give the use of the connection back.
        FPhysCommand.Reset();
        if (FConnection) {
            FConnection->DetachClient(this);
            ReleaseConnectionUse();
        }
    }
    FCommandText.OnChange = nullptr;
    FMacros.OnChanged = nullptr;
}

rtl::TComponent *TZqCustomCommand::ParamsOwner()
{
    if (FOwningDataSet) return FOwningDataSet;
    return this;
}

// ---- identity, options, errors, completion ------------------------------------------------------------

std::string TZqCustomCommand::GetName() { return ZqComponentTraceName(this); }

TZqIntfPtr<IZqStanObject> TZqCustomCommand::GetParent()
{
    TZqCustomConnection *C = GetConnection(false);
    if (!C) return {};
    return TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(C));
}

bool TZqCustomCommand::GetParentOptions(IZqStanOptions *&AParent)
{
    TZqCustomConnection *C = GetConnection(false);
    AParent = C;
    return C != nullptr;
}

void TZqCustomCommand::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                       std::unique_ptr<rtl::Exception> &AException)
{
    TZqIntfPtr<IZqStanObject> Initiator = AInitiator;
    if (!Initiator && FOwningDataSet) Initiator = TZqIntfPtr<IZqStanObject>::Query(FOwningDataSet);
    if (!Initiator) Initiator = TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(this));
    if (OnError)
        OnError(this, Initiator, AException);
    else if (FConnection)
        FConnection->HandleException(Initiator, AException);
}

void TZqCustomCommand::HandleFinished(IInterface *, uint8_t AState, const rtl::Exception *AException)
{
    if (!FPendingCompletion) return;
    TCompletion Completion = FPendingCompletion;
    FPendingCompletion = nullptr;
    (this->*Completion)(AState, AException);
}

void TZqCustomCommand::PropertyChanged()
{
    if (FOwningDataSet && !FOwningDataSet->HasState(rtl::csDestroying))
        FOwningDataSet->DataEvent(dePropertyChange, 0);
}

// ---- connection ------------------------------------------------------------------------------------------

TZqCustomConnection *TZqCustomCommand::GetConnection(bool ACheck)
{
    if (FConnection) return FConnection;
    TZqCustomConnection *C = FConnectionName.empty() ? nullptr : ZqManager()->FindConnection(FConnectionName);
    if (!C && ACheck) ZqRaiseError(this, CClnt, 508, {FConnectionName});
    return C;
}

void TZqCustomCommand::SetConnection(TZqCustomConnection *AValue)
{
    if (AValue == FConnection && FConnectionRef == (AValue ? 2 : 0)) return;
    CheckUnprepared();
    DropSpareCommand();
    if (FConnection && FConnectionRef == 2) {
        FConnection->RemoveFreeNotification(this);
        RemoveFreeNotification(FConnection);
    }
    FConnection = AValue;
    if (AValue) {
        FreeNotification(AValue);
        FConnectionName = AValue->ConnectionName();
        FConnectionRef = 2;
    } else {
        FConnectionName.clear();
        FConnectionRef = 0;
    }
}

void TZqCustomCommand::SetConnectionName(const std::string &AValue)
{
    if (AValue == FConnectionName && FConnectionRef == 1) return;
    CheckUnprepared();
    DropSpareCommand();
    if (FConnection && FConnectionRef == 2) {
        FConnection->RemoveFreeNotification(this);
        RemoveFreeNotification(FConnection);
    }
    FConnection = nullptr;
    FConnectionName = AValue;
    FConnectionRef = 1;
}

void TZqCustomCommand::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TZqComponent::Notification(AComponent, AOperation);
    if (AOperation == rtl::opRemove && AComponent == FConnection && FConnectionRef == 2) SetConnection(nullptr);
}

// ---- settings ------------------------------------------------------------------------------------------------

void TZqCustomCommand::SetCommandText(const rtl::TStrings &AValue)
{
    if (&AValue != &FCommandText) FCommandText.Assign(AValue);
}

TZqPhysCommandKind TZqCustomCommand::CommandKind()
{
    if (!FKindExplicit && FPhysCommand) return FPhysCommand->GetCommandKind();
    return FCommandKind;
}

void TZqCustomCommand::SetCommandKind(TZqPhysCommandKind AValue)
{
    if (AValue == FCommandKind && FKindExplicit == (AValue != skUnknown)) return;
    CheckUnprepared();
    FCommandKind = AValue;
    FKindExplicit = AValue != skUnknown;
}

void TZqCustomCommand::SetObjectNamePart(std::string &APart, const std::string &AValue)
{
    if (AValue == APart) return;
    CheckUnprepared();
    APart = AValue;
    // The parameters belonged to the object named before.
    if (!Loading()) FParams->Clear();
}

void TZqCustomCommand::SetBaseObjectName(const std::string &AValue) { SetObjectNamePart(FBaseObjectName, AValue); }
void TZqCustomCommand::SetSchemaName(const std::string &AValue) { SetObjectNamePart(FSchemaName, AValue); }
void TZqCustomCommand::SetCatalogName(const std::string &AValue) { SetObjectNamePart(FCatalogName, AValue); }

void TZqCustomCommand::SetOverload(uint16_t AValue)
{
    if (AValue == FOverload) return;
    CheckUnprepared();
    FOverload = AValue;
    if (!Loading()) FParams->Clear();
}

void TZqCustomCommand::SetParams(const TZqParams &AValue)
{
    if (&AValue != FParams) FParams->Assign(AValue);
}

void TZqCustomCommand::SetMacros(const TZqMacros &AValue)
{
    if (&AValue != &FMacros) FMacros.Assign(AValue);
}

void TZqCustomCommand::SetFetchOptions(const TZqFetchOptions *AValue)
{
    CheckUnprepared();
    FFetchOptions->Assign(AValue);
}

void TZqCustomCommand::SetFormatOptions(const TZqFormatOptions *AValue)
{
    CheckUnprepared();
    FFormatOptions->Assign(AValue);
}

void TZqCustomCommand::SetUpdateOptions(const TZqUpdateOptions *AValue)
{
    CheckUnprepared();
    FUpdateOptions->Assign(AValue);
}

void TZqCustomCommand::SetResourceOptions(const TZqResourceOptions *AValue)
{
    CheckUnprepared();
    FResourceOptions->Assign(AValue);
}

// ---- text processing ----------------------------------------------------------------------------------------

void TZqCustomCommand::PreprocessCommandText(TZqParams *AParams, TZqMacros *AMacros, bool ACreateParams,
                                             bool ACreateMacros, bool AExpandMacros)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    if (TZqCustomConnection *C = GetConnection(false)) C->GetConnectionMetadata(false, Meta);
    if (!Meta) {
        TZqIntfPtr<IZqPhysManager> M;
        if (ZqCreateInterface(M, false)) M->CreateDefaultMetadata(Meta);
    }
    TZqPhysPreprocessor Run;
    Run.ConnMetadata = Meta.Get();
    Run.Params = AParams ? AParams : FParams;
    Run.Macros = AMacros ? AMacros : &FMacros;
    Run.MacrosSource = &FMacros;
    Run.DesignTime = Designing();
    Run.Instrs = uint8_t((ACreateParams ? piParamCreate : 0) | (ACreateMacros ? piMacroCreate : 0) |
                         (AExpandMacros ? piMacroExpand : 0) | (Meta ? piAnalyze : 0));
    Run.Source = FCommandText.Text();
    Run.Execute();
    if (!FKindExplicit && Meta) FCommandKind = Run.CommandKind();
}

void TZqCustomCommand::CommandTextChanged()
{
    if (Loading() || FCommandText.UpdateCount() > 0 || (FFlags & CTextChanging)) return;
    TFlagScope Scope(FFlags, CTextChanging);
    Disconnect(false);
    const bool ParamCreate = FResourceOptions->ParamCreate();
    const bool MacroCreate = FResourceOptions->MacroCreate() && !(FFlags & CMacroValuesChanging);
    const bool MacroExpand = FResourceOptions->MacroExpand();
    if (ParamCreate || MacroCreate || Designing()) {
        // On the stack: every change of text makes them.
        std::optional<TZqParams> NewParams;
        std::optional<TZqMacros> NewMacros;
        if (ParamCreate || Designing()) {
            NewParams.emplace([this] { return ParamsOwner(); });
            NewParams->SetBindMode(FParams->BindMode());
        }
        if (MacroCreate || Designing()) NewMacros.emplace();
        PreprocessCommandText(NewParams ? &*NewParams : nullptr, NewMacros ? &*NewMacros : nullptr,
                              NewParams.has_value(), NewMacros.has_value(), MacroExpand);
        if (NewParams) {
            // A parameter that keeps its name keeps its value.
            NewParams->AssignValues(*FParams);
            FParams->Clear();
            FParams->Assign(*NewParams);
        }
        if (NewMacros) {
            NewMacros->AssignValues(FMacros);
            FMacros.Clear();
            FMacros.Assign(*NewMacros);
        }
        Fire(OnCommandChanged);
    }
    Fire(OnCommandChanged);
    PropertyChanged();
}

void TZqCustomCommand::MacrosChanged()
{
    if (FCommandText.Count() == 0) return;
    TFlagScope Scope(FFlags, CMacroValuesChanging);
    CommandTextChanged();
}

// ---- prepare and unprepare ---------------------------------------------------------------------------------

bool TZqCustomCommand::Prepared() const { return FPhysCommand && FPhysCommand->GetState() != 0; }

bool TZqCustomCommand::Active() const { return Prepared() && FPhysCommand->GetState() == 3; }

TZqPhysCommandState TZqCustomCommand::CommandState() const { return FPhysCommand ? FPhysCommand->GetState() : 0; }

void TZqCustomCommand::Loaded()
{
    SetState(rtl::csLoading, false);
    if (FStreamedPrepared || FActiveAtRunTime == arActive) SetPrepared(true);
    if (FStreamedActive || FActiveAtRunTime == arActive) SetActive(true);
}

void TZqCustomCommand::SetPrepared(bool AValue)
{
    if (Loading()) {
        if (Designing() || FActiveAtRunTime == arStandard) FStreamedPrepared = AValue;
        return;
    }
    if (AValue) {
        if (Prepared()) return;
        DoBeforePrepare();
        TZqCustomConnection *Conn =
            ZqManager()->AcquireConnection(FConnectionRef == 2 ? FConnection : nullptr, FConnectionName);
        FConnection = Conn;
        try {
            try {
                CreatePhysCommand();
                InternalPrepare();
            } catch (...) {
                try {
                    InternalUnprepare();
                } catch (...) {
                    // the prepare's own failure is the one to report
                }
                FPhysCommand.Reset();
                throw;
            }
            Conn->AttachClient(this);
        } catch (...) {
            ReleaseConnectionUse();
            throw;
        }
        DoAfterPrepare();
    } else {
        if ((!Prepared() && !FPhysCommand) || (FFlags & CUnpreparing)) return;
        TFlagScope Scope(FFlags, CUnpreparing);
        if (FPhysCommand) FPhysCommand->CheckNotBusy();
        DoBeforeUnprepare();
        if (FConnection) FConnection->DetachClient(this);
        try {
            InternalUnprepare();
            if (FOwningDataSet) FOwningDataSet->Disconnect(false);
            Fire(OnCommandChanged);
        } catch (...) {
            ReleaseAfterUnprepare();
            throw;
        }
        ReleaseAfterUnprepare(true);
        DoAfterUnprepare();
    }
    PropertyChanged();
}

void TZqCustomCommand::ReleaseAfterUnprepare(bool AKeepDriverCommand)
{
    // Only a command of its own on a connection component that stays open
    // keeps its driver command: the release below neither frees nor closes
    // that connection, and a dataset's command is the dataset's business.
    TZqIntfPtr<IZqPhysCommand> Spare;
    if (AKeepDriverCommand && FPhysCommand && FPhysCommand->GetState() == 0 && !FOwningDataSet && !Designing() &&
        !HasState(rtl::csDestroying) && FConnectionRef == 2 && FConnection && FConnection->KeepConnection() &&
        FConnection->Connected()) {
        TZqIntfPtr<IZqPhysConnection> Of;
        FPhysCommand->GetConnection(Of);
        if (Of.Get() == FConnection->ConnectionIntf()) Spare = FPhysCommand;
    }
    // The driver command goes first: it holds the driver connection, which
    // must not outlive a temporary connection component freed by the release.
    FPhysCommand.Reset();
    ReleaseConnectionUse();
    if (Spare && FConnection && FConnection->Connected()) {
        DropSpareCommand();
        FSpareCommand = std::move(Spare);
        FSpareConnection = FConnection;
        FSpareConnection->FSpareHolders.push_back(this);
    }
    Spare.Reset();
    if (FCommandUser) FCommandUser->CommandUnprepared(this);
}

void TZqCustomCommand::DropSpareCommand()
{
    if (FSpareConnection) {
        auto &H = FSpareConnection->FSpareHolders;
        H.erase(std::remove(H.begin(), H.end(), this), H.end());
        FSpareConnection = nullptr;
    }
    FSpareCommand.Reset();
}

void TZqCustomCommand::ReleaseConnectionUse()
{
    TZqCustomConnection *C = FConnection;
    if (FConnectionRef != 2) FConnection = nullptr;
    // The use was counted by the current manager; while that manager is
    // being freed there is none, and the connection goes with it.
    if (TZqCustomManager *M = ZqCurrentManager(); M && C) M->ReleaseConnection(C);
}

void TZqCustomCommand::CreatePhysCommand()
{
    IZqPhysConnection *Conn = FConnection ? FConnection->ConnectionIntf() : nullptr;
    if (!Conn) FConnection->CheckActive();
    if (FSpareCommand) {
        TZqIntfPtr<IZqPhysCommand> Spare = FSpareCommand;
        DropSpareCommand();
        TZqIntfPtr<IZqPhysConnection> Of;
        Spare->GetConnection(Of);
        if (Of.Get() == Conn && Spare->GetState() == 0) FPhysCommand = std::move(Spare);
        // A kept driver command is only ever one this command made without
        // an owning dataset (see ReleaseAfterUnprepare): its owner is set.
        if (FPhysCommand && !FOwningDataSet) return;
    }
    if (!FPhysCommand) Conn->CreateCommand(FPhysCommand);
    if (auto *Obj = ZqQueryRaw<IZqStanObject>(FPhysCommand.Get())) {
        if (FOwningDataSet)
            Obj->SetOwner(FOwningDataSet, "");
        else
            Obj->SetOwner(this, "");
    }
}

void TZqCustomCommand::InternalPrepare()
{
    IZqPhysCommand *C = FPhysCommand.Get();
    C->SetAsyncHandler(TZqIntfPtr<IZqStanAsyncHandler>(static_cast<IZqStanAsyncHandler *>(this)));
    C->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(static_cast<IZqStanErrorHandler *>(this)));
    C->SetOptions(this);
    // Also on a driver command kept from before, which may hold an old kind.
    C->SetCommandKind(FKindExplicit ? FCommandKind : skUnknown);
    C->SetCatalogName(FCatalogName);
    C->SetSchemaName(FSchemaName);
    C->SetBaseObjectName(FBaseObjectName);
    C->GetMacros()->Assign(FMacros);
    C->SetOverload(FOverload);
    C->SetParamBindMode(FParams->BindMode());
    if (IsStoredProcKind(FCommandKind) && FFetchOptions->Items().Contains(fiMeta)) {
        C->SetCommandText(FCommandText.Text());
        // The server describes the parameters; the values set here go onto them.
        if (!FNoDriverPrepare) C->Prepare();
        C->GetParams()->AssignValues(*FParams);
    } else if (FNoDriverPrepare) {
        C->SetCommandText(FCommandText.Text());
        C->GetParams()->Assign(*FParams);
    } else {
        // The driver command reads the text once, when it prepares: the
        // parameters and macros it would make of it on a change of text are
        // the ones given here.
        const std::string Text = FCommandText.Text();
        if (Text.empty()) C->SetCommandText(Text);
        C->GetParams()->Assign(*FParams);
        C->Prepare(Text);
    }
    if (C->GetParams() != FParams) {
        if (!Designing()) {
            // One list from now on: values set on the command reach the driver at once.
            // The private list stays for the next unprepare (a command whose
            // text changes per execute goes through both every time).
            FParams = C->GetParams();
        } else {
            FParams->Assign(*C->GetParams());
        }
    }
    FRowsAffected = -1;
}

void TZqCustomCommand::TakePrivateParams()
{
    if (FOwnParams && FParams == FOwnParams.get()) return;
    if (!FOwnParams) FOwnParams = std::make_unique<TZqParams>([this] { return ParamsOwner(); });
    FOwnParams->Assign(*FParams);
    FParams = FOwnParams.get();
}

void TZqCustomCommand::InternalUnprepare()
{
    if (!Designing()) TakePrivateParams();
    if (!FPhysCommand) return;
    if (FPhysCommand->GetState() == 3) FPhysCommand->CloseAll();
    if (FPhysCommand->GetState() == 1) FPhysCommand->Unprepare();
    FPhysCommand->SetAsyncHandler(nullptr);
    FPhysCommand->SetErrorHandler(nullptr);
    FPhysCommand->SetOptions(nullptr);
}

void TZqCustomCommand::CheckPrepared()
{
    SetPrepared(true);
    FPhysCommand->CheckNotBusy();
}

void TZqCustomCommand::CheckInactive()
{
    if (!Active()) return;
    if (Designing())
        SetActive(false);
    else
        ZqRaiseError(this, CClnt, 510);
}

void TZqCustomCommand::CheckUnprepared()
{
    CheckInactive();
    SetPrepared(false);
}

// ---- open, close, execute -----------------------------------------------------------------------------------

void TZqCustomCommand::SetActive(bool AValue)
{
    if (Loading()) {
        if (Designing() || FActiveAtRunTime == arStandard) FStreamedActive = AValue;
        return;
    }
    if (AValue == Active()) return;
    if (AValue) {
        CheckPrepared();
        DoBeforeOpen();
        DoOpen();
    } else {
        FPhysCommand->CheckNotBusy();
        DoBeforeClose();
        DoClose(false);
        DoAfterClose();
    }
}

void TZqCustomCommand::DoOpen()
{
    if (Active()) return;
    if (Designing()) FPhysCommand->GetParams()->AssignValues(*FParams);
    // The driver command may go away during its own completion (a DDL
    // statement unprepares the component): hold it for the call.
    TZqIntfPtr<IZqPhysCommand> Keep = FPhysCommand;
    FPendingCompletion = &TZqCustomCommand::OpenFinished;
    try {
        Keep->Open();
    } catch (...) {
        FPendingCompletion = nullptr;
        throw;
    }
}

void TZqCustomCommand::OpenFinished(uint8_t AState, const rtl::Exception *)
{
    if (AState != ZqAsyncFinished) return;
    if (Designing() && FPhysCommand) FParams->AssignValues(*FPhysCommand->GetParams());
    DoAfterOpen();
}

void TZqCustomCommand::DoClose(bool AAll)
{
    if (!Active()) return;
    if (AAll)
        FPhysCommand->CloseAll();
    else
        FPhysCommand->Close();
}

void TZqCustomCommand::CloseAll()
{
    if (!Active()) return;
    FPhysCommand->CheckNotBusy();
    DoBeforeClose();
    DoClose(true);
    DoAfterClose();
}

void TZqCustomCommand::Execute(int ATimes, int AOffset)
{
    CheckPrepared();
    DoBeforeExecute();
    DoExecute(ATimes, AOffset);
}

void TZqCustomCommand::DoExecute(int ATimes, int AOffset)
{
    FRowsAffected = -1;
    if (Designing()) FPhysCommand->GetParams()->AssignValues(*FParams);
    TZqIntfPtr<IZqPhysCommand> Keep = FPhysCommand;
    FPendingCompletion = &TZqCustomCommand::ExecuteFinished;
    try {
        Keep->Execute(ATimes, AOffset);
    } catch (...) {
        FPendingCompletion = nullptr;
        throw;
    }
}

void TZqCustomCommand::ExecuteFinished(uint8_t AState, const rtl::Exception *)
{
    if (FPhysCommand) FRowsAffected = FPhysCommand->GetRowsAffected();
    if (AState == ZqAsyncFinished && Designing() && FPhysCommand)
        FParams->AssignValues(*FPhysCommand->GetParams());
    const TZqPhysCommandKind Kind = CommandKind();
    // The server's catalog changed: a prepared statement on it is stale.
    if (Kind == skCreate || Kind == skAlter || Kind == skDrop) SetPrepared(false);
    if (AState == ZqAsyncFinished) DoAfterExecute();
}

void TZqCustomCommand::AbortJob(bool AWait)
{
    if (!FPhysCommand) return;
    const TZqPhysCommandState S = FPhysCommand->GetState();
    if (S == 2 || S == 4) FPhysCommand->AbortJob(AWait);
}

void TZqCustomCommand::Disconnect(bool AAbortJob)
{
    if (AAbortJob) AbortJob(true);
    SetActive(false);
    SetPrepared(false);
}
