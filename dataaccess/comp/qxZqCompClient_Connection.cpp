// qxZqCompClient_Connection: the connection component: definition
// resolution, connect with its login step, disconnect closing the
// attached datasets and commands, transactions and the use count shared
// with the manager component.
#include "dataaccess/comp/qxZqCompClient.h"

#include <algorithm>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanResStrs.h"

namespace {

const std::vector<std::string> CClnt = {"Comp", "Clnt"};

// A part written "<NULL>" by a designer stands for no part.
std::string PartOrEmpty(const std::string &APart) { return APart == "<NULL>" ? std::string() : APart; }

} // namespace

TZqCustomConnection::TZqCustomConnection(rtl::TComponent *AOwner) : TCustomConnection(AOwner)
{
    ZqCreateInterface(FDef, true);
    FDef->SetOnChanging([this](IZqStanDefinition *) { DefinitionChanging(); });
    FFetchOptions = std::make_unique<TZqFetchOptions>(this);
    FFormatOptions = std::make_unique<TZqFormatOptions>(this);
    FUpdateOptions = std::make_unique<TZqUpdateOptions>(this);
    FResourceOptions = std::make_unique<TZqTopResourceOptions>(this);
    FTxOptions = std::make_unique<TZqTxOptions>();
    SetLoginPrompt(true);
    ZqManager()->AddConnection(this);
    if (HasState(rtl::csDesigning)) {
        TZqIntfPtr<IZqPhysManager> M;
        if (ZqCreateInterface(M, false)) M->SetDesignTime(true);
    }
}

TZqCustomConnection::~TZqCustomConnection()
{
    SetState(rtl::csDestroying, true);
    try {
        Close();
    } catch (...) {
        // a destructor reports nothing; the driver connection is released below in any case
    }
    ReleasePhysConnection();
    if (TZqCustomManager *M = ZqCurrentManager()) M->RemoveConnection(this);
    try {
        SetLoginDialog(nullptr);
    } catch (...) {
        // the dialog is dropped in any case
    }
    FLoginDialog.Reset();
    FDef->SetOnChanging(nullptr);
    FDef.Reset();
}

// ---- identity, options, errors -----------------------------------------------------------------------

std::string TZqCustomConnection::GetName() { return ZqComponentTraceName(this); }

TZqIntfPtr<IZqStanObject> TZqCustomConnection::GetParent()
{
    return TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(ZqManager()));
}

bool TZqCustomConnection::GetParentOptions(IZqStanOptions *&AParent)
{
    AParent = ZqManager();
    return true;
}

void TZqCustomConnection::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                          std::unique_ptr<rtl::Exception> &AException)
{
    if (!OnError) return;
    TZqIntfPtr<IZqStanObject> Initiator = AInitiator;
    if (!Initiator) Initiator = TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(this));
    OnError(this, Initiator, AException);
}

// ---- definition --------------------------------------------------------------------------------------

rtl::TStrings &TZqCustomConnection::Params() { return FDef->GetParams(); }

void TZqCustomConnection::SetParams(const rtl::TStrings &AValue)
{
    CheckInactive();
    FDef->SetParams(AValue);
}

std::string TZqCustomConnection::ConnectionDefName() { return FDef->GetAsString("ConnectionDef"); }

void TZqCustomConnection::SetConnectionDefName(const std::string &AValue)
{
    if (AValue == ConnectionDefName()) return;
    FDef->SetDriverID("");
    FDef->SetAsString("ConnectionDef", AValue);
}

std::string TZqCustomConnection::DriverName() { return FDef->GetDriverID(); }

void TZqCustomConnection::SetDriverName(const std::string &AValue)
{
    if (AValue == DriverName()) return;
    FDef->SetAsString("ConnectionDef", "");
    FDef->SetDriverID(AValue);
}

void TZqCustomConnection::SetConnectionName(const std::string &AValue)
{
    if (HasState(rtl::csLoading)) {
        FConnectionName = AValue;
        return;
    }
    if (AValue == FConnectionName) return;
    CheckInactive();
    if (!AValue.empty()) {
        TZqCustomManager *M = ZqManager();
        TZqCustomConnection *Other = M->FindConnection(AValue);
        if (Other && Other != this) {
            if (!Other->FTemporary || Other->FRefCount != 0)
                ZqRaiseError(this, CClnt, 503, {AValue});
            delete Other;
        }
    }
    FConnectionName = AValue;
}

void TZqCustomConnection::DefinitionChanging()
{
    // Parameters of a live connection cannot change under it.
    CheckInactive();
}

void TZqCustomConnection::SetKeepConnection(bool AValue)
{
    if (FKeepConnection == AValue) return;
    FKeepConnection = AValue;
    if (!AValue && FRefCount == 0) Close();
}

void TZqCustomConnection::SetLoginDialog(const TZqIntfPtr<IZqGUIxLoginDialog> &AValue)
{
    if (FLoginDialog == AValue) return;
    if (FLoginDialog) {
        FLoginDialog->SetConnectionDef(nullptr);
        if (auto *C = dynamic_cast<rtl::TComponent *>(FLoginDialog.Get())) {
            C->RemoveFreeNotification(this);
            RemoveFreeNotification(C);
        }
    }
    FLoginDialog = AValue;
    if (FLoginDialog) {
        if (auto *C = dynamic_cast<rtl::TComponent *>(FLoginDialog.Get())) FreeNotification(C);
        FLoginDialog->SetConnectionDef(FDef);
    }
}

void TZqCustomConnection::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TCustomConnection::Notification(AComponent, AOperation);
    if (AOperation == rtl::opRemove && FLoginDialog &&
        dynamic_cast<rtl::TComponent *>(FLoginDialog.Get()) == AComponent)
        FLoginDialog.Reset(); // the dialog is going: nothing may be called on it
}

// ---- state -------------------------------------------------------------------------------------------------

bool TZqCustomConnection::GetConnected() { return FPhysConnection && FPhysConnection->GetState() == 3; }

void TZqCustomConnection::SetConnected(bool AValue)
{
    if (HasState(rtl::csLoading) && !HasState(rtl::csDesigning) && FConnectedAtRunTime != arStandard) return;
    // A client closing the connection while a disconnect closes the clients
    // is already served by that disconnect.
    if (!AValue && FDisconnecting) return;
    TCustomConnection::SetConnected(AValue);
}

void TZqCustomConnection::Loaded()
{
    FTxOptions->ClearChanges();
    TCustomConnection::Loaded();
    if (FConnectedAtRunTime == arActive) SetConnected(true);
    if (!FStreamedConnected) {
        try {
            CheckPhysManager(false);
        } catch (...) {
            if (!HasState(rtl::csDesigning)) throw;
        }
    }
}

void TZqCustomConnection::CheckActive()
{
    if (!GetConnected()) ZqRaiseError(this, CClnt, 505, {GetName()});
}

void TZqCustomConnection::CheckInactive()
{
    if (!GetConnected()) return;
    if (HasState(rtl::csDesigning))
        Close();
    else
        ZqRaiseError(this, CClnt, 504, {GetName()});
}

void TZqCustomConnection::CheckPhysManager(bool AOpen)
{
    TZqIntfPtr<IZqPhysManager> M;
    ZqCreateInterface(M, false);
    if (!M) ZqRaiseManagerNotLinked(this, CClnt, "Phys");
    if (AOpen && M->GetState() == 0) M->Open();
}

void TZqCustomConnection::ResolveConnectionDef()
{
    ZqManager();
    TZqIntfPtr<IZqPhysManager> M;
    ZqCreateInterface(M, true);
    try {
        TZqIntfPtr<IZqStanConnectionDefs> Defs = M->ConnectionDefs();
        if (DriverName().empty()) {
            TZqIntfPtr<IZqStanConnectionDef> Parent;
            const std::string DefName = ConnectionDefName();
            if (!DefName.empty())
                Parent = Defs->ConnectionDefByName(DefName);
            else if (!FConnectionName.empty())
                Parent = Defs->FindConnectionDef(FConnectionName);
            FDef->SetParentDefinition(Parent);
        }
        if (FDef->GetPooled()) {
            rtl::TStrings &Own = FDef->GetParams();
            const bool OnlyTheName = Own.Count() == 1 && ZqCompareText(Own.Names(0), "ConnectionDef") == 0;
            if (Own.Count() != 0 && !OnlyTheName) ZqRaiseError(this, CClnt, 507);
        }
        if (FDef->GetDriverID().empty()) ZqRaiseError(this, CClnt, 340);
    } catch (...) {
        FDef->SetParentDefinition(nullptr);
        throw;
    }
}

void TZqCustomConnection::DoConnect()
{
    if (GetConnected()) return;
    bool HadPassword = true;
    try {
        TCustomConnection::DoConnect();
        CheckPhysManager(true);
        ResolveConnectionDef();
        HadPassword = !FDef->GetPassword().empty();
        // Whatever happens below, a password typed at login is not kept.
        struct TForgetPassword {
            TZqCustomConnection &C;
            bool Had;
            ~TForgetPassword()
            {
                if (Had) return;
                try {
                    TZqDefinitionEvent Hook = C.FDef->GetOnChanging();
                    C.FDef->SetOnChanging(nullptr);
                    C.FDef->SetPassword("");
                    C.FDef->SetOnChanging(std::move(Hook));
                } catch (...) {
                    // the definition keeps its lines; nothing else can be done here
                }
            }
        } Forget{*this, HadPassword};

        TZqIntfPtr<IZqPhysManager> M;
        ZqCreateInterface(M, true);
        const bool Pooled = FDef->GetPooled();
        if (Pooled)
            M->CreateConnection(TZqIntfPtr<IZqStanConnectionDef>::Query(FDef->GetParentDefinition().Get()),
                                FPhysConnection);
        else
            M->CreateConnection(FDef, FPhysConnection);
        if (auto *Obj = ZqQueryRaw<IZqStanObject>(FPhysConnection.Get())) Obj->SetOwner(this, "");
        FPhysConnection->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(static_cast<IZqStanErrorHandler *>(this)));
        FPhysConnection->SetOptions(this);
        FDef->ReadOptions(FFetchOptions.get(), FFormatOptions.get(), FUpdateOptions.get(), FResourceOptions.get());
        FPhysConnection->SetTxOptions(FTxOptions.get());
        if (LoginPrompt() && !Pooled && !ZqIsGUISilent()) DoLogin(FDef);
        if (FPhysConnection && FPhysConnection->GetState() == 1) DoInternalLogin();
    } catch (...) {
        ReleasePhysConnection();
        FDef->SetParentDefinition(nullptr);
        throw;
    }
}

void TZqCustomConnection::DoLogin(const TZqIntfPtr<IZqStanConnectionDef> &ADef)
{
    if (OnLogin) {
        OnLogin(this, ADef);
        return;
    }
    TZqIntfPtr<IZqGUIxLoginDialog> Dialog = FLoginDialog;
    bool FromProvider = false;
    if (!Dialog) {
        TZqIntfPtr<IZqGUIxLoginDialogProvider> Provider;
        if (ZqCreateInterface(Provider, false)) Dialog = Provider->GetLoginDialog();
        FromProvider = bool(Dialog);
    }
    if (!Dialog) {
        DoInternalLogin();
        return;
    }
    if (FromProvider) Dialog->SetConnectionDef(FDef);
    bool Proceed = false;
    try {
        Proceed = Dialog->Execute([this] { DoInternalLogin(); });
    } catch (...) {
        if (FromProvider) Dialog->SetConnectionDef(nullptr);
        throw;
    }
    if (FromProvider) Dialog->SetConnectionDef(nullptr);
    if (!Proceed) RaiseLoginCanceled();
}

void TZqCustomConnection::DoInternalLogin()
{
    FPhysConnection->SetLoginPrompt(false);
    FPhysConnection->Open();
}

void TZqCustomConnection::RaiseLoginCanceled()
{
    std::string Name = FConnectionName;
    if (Name.empty()) Name = ConnectionDefName();
    if (Name.empty()) Name = S_ZqStanUnnamed;
    ZqRaiseError(this, CClnt, 506, {Name});
    // The error handler cleared the error, yet there is no connection to go on with.
    throw EZqException(506, ZqBuildErrorMessage(CClnt, 506, {Name}));
}

void TZqCustomConnection::ReleasePhysConnection()
{
    // A kept driver command holds the driver connection open.
    while (!FSpareHolders.empty()) FSpareHolders.back()->DropSpareCommand();
    if (!FPhysConnection) return;
    // Whoever still holds the driver connection must not reach back into
    // this component once it is gone.
    try {
        FPhysConnection->SetErrorHandler(nullptr);
        FPhysConnection->SetTxOptions(nullptr);
        FPhysConnection->SetOptions(nullptr);
    } catch (...) {
        // released below in any case
    }
    FPhysConnection.Reset();
}

void TZqCustomConnection::DoDisconnect()
{
    if (!GetConnected()) return;
    FDisconnecting = true;
    struct TReset {
        bool &Flag;
        ~TReset() { Flag = false; }
    } Reset{FDisconnecting};
    if (FPhysConnection) {
        try {
            CloseClients();
        } catch (...) {
            ReleasePhysConnection();
            FRefCount = 0;
            FDef->SetParentDefinition(nullptr);
            throw;
        }
        ReleasePhysConnection();
        FRefCount = 0;
    }
    FDef->SetParentDefinition(nullptr);
}

void TZqCustomConnection::CloseClients()
{
    for (int I = DataSetCount() - 1; I >= 0; --I) {
        if (I >= DataSetCount()) continue;
        if (auto *DS = dynamic_cast<TZqDataSet *>(DataSets(I))) DS->Disconnect(true);
    }
    for (int I = int(FCommands.size()) - 1; I >= 0; --I) {
        if (I >= int(FCommands.size())) continue;
        FCommands[size_t(I)]->Disconnect(true);
    }
}

// ---- clients and the use count ---------------------------------------------------------------------------

void TZqCustomConnection::AttachClient(rtl::TObject *AClient)
{
    if (auto *Cmd = dynamic_cast<TZqCustomCommand *>(AClient))
        AttachClient(Cmd);
    else
        AttachUse(AClient, dynamic_cast<TDataSet *>(AClient));
}

void TZqCustomConnection::AttachClient(TZqCustomCommand *ACommand)
{
    if (std::find(FCommands.begin(), FCommands.end(), ACommand) == FCommands.end()) FCommands.push_back(ACommand);
    AttachUse(ACommand, nullptr);
}

void TZqCustomConnection::AttachUse(rtl::TObject *AClient, TDataSet *ADataSet)
{
    RegisterClientAs(AClient, ADataSet);
    if (FRefCount == 0)
        Open();
    else
        ++FRefCount;
}

void TZqCustomConnection::DetachClient(rtl::TObject *AClient)
{
    if (auto *Cmd = dynamic_cast<TZqCustomCommand *>(AClient))
        DetachClient(Cmd);
    else
        DetachUse(AClient);
}

void TZqCustomConnection::DetachClient(TZqCustomCommand *ACommand)
{
    FCommands.erase(std::remove(FCommands.begin(), FCommands.end(), ACommand), FCommands.end());
    DetachUse(ACommand);
}

void TZqCustomConnection::DetachUse(rtl::TObject *AClient)
{
    UnRegisterClient(AClient);
    if (FRefCount == 1) {
        if (!FKeepConnection) Close();
    } else if (FRefCount > 1) {
        --FRefCount;
    }
}

TZqCustomConnection *TZqCustomConnection::FindDefaultConnection(rtl::TComponent *AComponent)
{
    for (rtl::TComponent *Owner = AComponent ? AComponent->Owner() : nullptr; Owner; Owner = Owner->Owner())
        for (int I = 0; I < Owner->ComponentCount(); ++I)
            if (auto *C = dynamic_cast<TZqCustomConnection *>(Owner->Components(I))) return C;
    return nullptr;
}

// ---- metadata and names ------------------------------------------------------------------------------------

void TZqCustomConnection::GetConnectionMetadata(bool AOpen, TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta)
{
    AMeta.Reset();
    if (AOpen) ZqManager()->AcquireConnection(this, FConnectionName);
    if (FPhysConnection) FPhysConnection->CreateMetadata(AMeta);
}

TZqRDBMSKind TZqCustomConnection::GetRDBMSKind()
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    GetConnectionMetadata(false, Meta);
    return Meta ? Meta->GetKind() : mkUnknown;
}

bool TZqCustomConnection::RDBMSKindKnown()
{
    const TZqRDBMSKind K = GetRDBMSKind();
    return K >= mkOracle && K <= mkOther;
}

std::string TZqCustomConnection::EncodeObjectName(const std::string &ACatalog, const std::string &ASchema,
                                                  const std::string &ABaseObject, const std::string &AObject)
{
    CheckActive();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    GetConnectionMetadata(false, Meta);
    TZqPhysParsedName Name;
    Name.FCatalog = PartOrEmpty(ACatalog);
    Name.FSchema = PartOrEmpty(ASchema);
    Name.FBaseObject = PartOrEmpty(ABaseObject);
    Name.FObject = PartOrEmpty(AObject);
    // Quote only the parts that need it, so that plain names stay readable.
    return Meta->EncodeObjName(Name, nullptr, eoBeShort);
}

void TZqCustomConnection::DecodeObjectName(const std::string &AName, std::string &ACatalog, std::string &ASchema,
                                           std::string &ABaseObject, std::string &AObject)
{
    CheckActive();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    GetConnectionMetadata(false, Meta);
    TZqPhysParsedName Name;
    Meta->ParseObjName(AName, Name, poDequote, nullptr);
    ACatalog = Name.FCatalog;
    ASchema = Name.FSchema;
    ABaseObject = Name.FBaseObject;
    AObject = Name.FObject;
}

// ---- transactions --------------------------------------------------------------------------------------------

void TZqCustomConnection::StartTransaction()
{
    CheckActive();
    FPhysConnection->StartTransaction();
}

void TZqCustomConnection::Commit()
{
    CheckActive();
    FPhysConnection->Commit();
}

void TZqCustomConnection::Rollback()
{
    CheckActive();
    FPhysConnection->Rollback();
}

bool TZqCustomConnection::InTransaction() { return GetConnected() && FPhysConnection->GetInTransaction(); }
