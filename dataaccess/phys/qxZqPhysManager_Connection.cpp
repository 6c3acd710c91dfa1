// qxZqPhysManager_Connection: the connection base: state machine, options,
// command list, transaction stack with savepoints, automatic transactions,
// the cursor limit and the hand-over to and from a connection pool.
#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanPool.h"

namespace {

const char *const CUnit = "qxZqPhysManager";
const std::vector<std::string> CPhys{"Phys"};

int32_t RandomTxID()
{
    static std::mutex Lock;
    static std::mt19937 Gen{std::random_device{}()};
    std::lock_guard G(Lock);
    return int32_t(std::uniform_int_distribution<int32_t>(0, 2147483646)(Gen));
}

} // namespace

TZqPhysConnection::TZqPhysConnection(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost)
    : FDriverIntf(static_cast<IZqPhysDriver *>(ADriver)), FDriverObj(ADriver), FHost(AHost)
{
    FMoniHelper = std::make_unique<TZqMoniAdapterHelper>(this, nullptr);
    FInPool = AHost->Pool() != nullptr;
    FLoginPrompt = !FInPool;
    ADriver->AddConnection(this);
    AHost->ConnectionCreated();
    TZqIntfPtr<IZqStanConnectionDef> Def = AHost->ConnectionDef();
    if (Def->GetStyle() != ZqDefStandalone) {
        ZqCreateInterface(FPrivateDef, true);
        FPrivateDef->SetParentDefinition(TZqIntfPtr<IZqStanDefinition>(Def));
    }
    SetTxOptions(nullptr);
    SetOptions(nullptr);
    GetConnectionDef()->ReadOptions(FFetchOptions.get(), FFormatOptions.get(), FUpdateOptions.get(),
                                    FResourceOptions.get());
}

TZqPhysConnection::~TZqPhysConnection() = default;

void TZqPhysConnection::BeforeDestroy()
{
    IncRefCount(1000000); // nothing below may free this object again
    try {
        ForceClose();
    } catch (...) {
        // a connection going away cannot report a failing disconnect
    }
    FDriverObj->RemoveConnection(this);
    FErrorHandler.Reset();
    FLoginDialog.Reset();
    DropMetadata();
    FHost->ConnectionDestroyed();
    FPrivateDef.Reset();
    FDriverIntf.Reset();
}

int32_t TZqPhysConnection::_Release()
{
    const int32_t N = DecRefCount();
    if (N == 1 && FHost->Pool() && !FInPool) {
        std::unique_lock L(FLock);
        FInPool = true;
        IncRefCount(1);
        L.unlock();
        // The pool's release takes its own reference and gives the
        // connection back through PoolReleased.
        FHost->Pool()->Release(TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(this)));
        return _Release();
    }
    if (N == 0) {
        BeforeDestroy();
        delete this;
    }
    return N;
}

void TZqPhysConnection::RaisePhys(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    ZqRaiseError(this, CPhys, ACode, AArgs);
}

TZqIntfPtr<IZqStanConnectionDef> TZqPhysConnection::GetConnectionDef()
{
    return FPrivateDef ? FPrivateDef : FHost->ConnectionDef();
}

bool TZqPhysConnection::GetInTransaction()
{
    std::lock_guard L(FLock);
    return !FTxStack.empty();
}

std::vector<std::string> TZqPhysConnection::TxStack()
{
    std::lock_guard L(FLock);
    return FTxStack;
}

int TZqPhysConnection::GetCommandCount()
{
    std::lock_guard L(FLock);
    return int(FCommands.size());
}

void TZqPhysConnection::GetCommands(int AIndex, TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    std::lock_guard L(FLock);
    ACommand = TZqIntfPtr<IZqPhysCommand>(static_cast<IZqPhysCommandInternal *>(FCommands.at(size_t(AIndex))));
}

// ---- options ------------------------------------------------------------------------------

void TZqPhysConnection::SetOptions(IZqStanOptions *AOptions)
{
    if (AOptions && AOptions == FOptions && FMetadata) return;
    FOptions = AOptions;
    if (AOptions) {
        FFetchOptions.reset();
        FFormatOptions.reset();
        FUpdateOptions.reset();
        FResourceOptions.reset();
    } else {
        FFetchOptions = std::make_unique<TZqFetchOptions>(this);
        FFormatOptions = std::make_unique<TZqFormatOptions>(this);
        FUpdateOptions = std::make_unique<TZqUpdateOptions>(this);
        FResourceOptions = std::make_unique<TZqTopResourceOptions>(this);
    }
}

void TZqPhysConnection::SetTxOptions(TZqTxOptions *AOptions)
{
    FExtTxOptions = AOptions;
    if (AOptions) FTxOptions.reset();
    else FTxOptions = std::make_unique<TZqTxOptions>();
}

TZqFetchOptions *TZqPhysConnection::GetFetchOptions()
{
    return FOptions ? FOptions->GetFetchOptions() : FFetchOptions.get();
}
TZqFormatOptions *TZqPhysConnection::GetFormatOptions()
{
    return FOptions ? FOptions->GetFormatOptions() : FFormatOptions.get();
}
TZqUpdateOptions *TZqPhysConnection::GetUpdateOptions()
{
    return FOptions ? FOptions->GetUpdateOptions() : FUpdateOptions.get();
}
TZqResourceOptions *TZqPhysConnection::GetResourceOptions()
{
    return FOptions ? FOptions->GetResourceOptions() : FResourceOptions.get();
}
TZqTopResourceOptions *TZqPhysConnection::GetTopResourceOptions()
{
    TZqResourceOptions *R = GetResourceOptions();
    return R ? R->AsTop() : nullptr;
}

bool TZqPhysConnection::GetParentOptions(IZqStanOptions *&AParent)
{
    if (FOptions) return FOptions->GetParentOptions(AParent);
    AParent = FDriverObj->Host()->Manager()->GetOptions();
    return AParent != nullptr;
}

// ---- identity and errors ---------------------------------------------------------------------

void TZqPhysConnection::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                        std::unique_ptr<rtl::Exception> &AException)
{
    if (FErrorHandler) FErrorHandler->HandleException(AInitiator, AException);
}

std::string TZqPhysConnection::GetName() { return FMoniHelper->GetName(); }
TZqIntfPtr<IZqStanObject> TZqPhysConnection::GetParent() { return FMoniHelper->GetParent(); }
void TZqPhysConnection::SetOwner(rtl::TObject *AOwner, const std::string &ARole)
{
    FMoniHelper->SetOwner(AOwner, ARole);
}

void TZqPhysConnection::GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind)
{
    AKind = 2;
    if (AIndex == 0) {
        AName = "Commands";
        AValue = GetCommandCount();
    } else {
        AName = "Transactions";
        AValue = FTxSerialID;
    }
}

void TZqPhysConnection::PoolAcquired()
{
    if (FState.load() == 1) Open();
    FInPool = false;
}

void TZqPhysConnection::PoolReleased()
{
    FInPool = true;
    EndCommandsAndTransactions();
    SetTxOptions(nullptr);
    SetOptions(nullptr);
    FErrorHandler.Reset();
}

// ---- open and close --------------------------------------------------------------------------

void TZqPhysConnection::CheckActive(int AMode)
{
    const TZqPhysConnectionState S = FState.load();
    if (S == 3 || (AMode == 1 && S == 0)) return;
    RaisePhys(302);
}

void TZqPhysConnection::DropMetadata()
{
    // Whoever still holds the metadata (a catalog view) keeps a dialect
    // whose catalog can no longer be asked through this connection.
    if (auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(FMetadata.Get())) M->SetConnection(nullptr);
    FMetadata.Reset();
}

void TZqPhysConnection::Open()
{
    TZqIntfPtr<IZqStanConnectionDef> Def = GetConnectionDef();
    TZqPhysWaitScope Wait(true);
    std::unique_lock L(FLock);
    if (FState.load() != 1) RaisePhys(316);
    FState = 2;
    try {
        if (!Def->GetPooled() && FLoginPrompt) Login();
        else InternalConnect();
        FMetaDefSchema = Def->GetAsString("MetaDefSchema");
        FMetaDefCatalog = Def->GetAsString("MetaDefCatalog");
        DropMetadata();
        FTxSerialID = 0;
        FState = 3;
    } catch (...) {
        FState = 1;
        throw;
    }
}

void TZqPhysConnection::Login()
{
    TZqIntfPtr<IZqGUIxLoginDialog> Dlg = FLoginDialog;
    bool FromProvider = false;
    if (!Dlg) {
        ZqCreateInterface(Dlg, false);
        if (Dlg) {
            Dlg->SetConnectionDef(GetConnectionDef());
            FromProvider = true;
        }
    }
    if (!Dlg) {
        InternalConnect();
        return;
    }
    const bool Done = Dlg->Execute([this] { InternalConnect(); });
    if (FromProvider) Dlg->SetConnectionDef(nullptr);
    if (!Done) {
        std::string Name = GetConnectionDef()->GetName();
        ZqRaiseError(this, {"Comp", "Clnt"}, 506, {Name.empty() ? std::string("Unnamed") : Name});
    }
}

void TZqPhysConnection::Close()
{
    TZqPhysWaitScope Wait(false);
    std::unique_lock L(FLock);
    CheckActive(0);
    FState = 0;
    try {
        EndCommandsAndTransactions();
        InternalDisconnect();
    } catch (...) {
        // The server connection is still there: the connection stays usable
        // (and closable again) instead of being stuck half-closed.
        FState = 3;
        throw;
    }
    DropMetadata();
    FState = 1;
}

void TZqPhysConnection::EndCommandsAndTransactions()
{
    std::unique_lock L(FLock);
    std::vector<TZqPhysCommand *> Cmds = FCommands;
    for (TZqPhysCommand *C : Cmds) C->Disconnect();
    while (!FTxStack.empty()) {
        const TZqTxDisconnectAction A = GetTxOptions()->DisconnectAction();
        if (A == xdNone) break;
        if (A == xdCommmit) Commit();
        else Rollback();
    }
    FTxStack.clear();
    FAutoTxID = 0;
    FPreparedCount = 0;
}

void TZqPhysConnection::ForceClose()
{
    std::vector<TZqPhysCommand *> Cmds;
    {
        std::lock_guard L(FLock);
        Cmds = FCommands;
    }
    for (TZqPhysCommand *C : Cmds) {
        const TZqPhysCommandState S = C->GetState();
        if (S == 2 || S == 4) C->AbortJob(true);
        C->Disconnect();
    }
    if (FState.load() == 3) Close();
}

// ---- metadata, generator, commands ----------------------------------------------------------------

void TZqPhysConnection::CreateMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta)
{
    std::lock_guard L(FLock);
    AMeta = TZqIntfPtr<IZqPhysConnectionMetadata>(LockedMetadata());
}

IZqPhysConnectionMetadata *TZqPhysConnection::LockedMetadata()
{
    if (!FMetadata) {
        FMetadata = TZqIntfPtr<IZqPhysConnectionMetadata>(InternalCreateMetadata());
        if (auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(FMetadata.Get())) M->SetConnection(this);
    }
    return FMetadata.Get();
}

void TZqPhysConnection::CreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                               const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    InternalCreateCommandGenerator(AGen, ACommand);
}

void TZqPhysConnection::CreateCommand(TZqIntfPtr<IZqPhysCommandInternal> &ACommand)
{
    TZqPhysCommand *Cmd = InternalCreateCommand();
    ACommand = TZqIntfPtr<IZqPhysCommandInternal>(static_cast<IZqPhysCommandInternal *>(Cmd));
    Cmd->BindToConnection(this);
    std::lock_guard L(FLock);
    FCommands.push_back(Cmd);
}

void TZqPhysConnection::CreateCommand(TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    TZqIntfPtr<IZqPhysCommandInternal> Cmd;
    CreateCommand(Cmd);
    ACommand = Cmd;
}

void TZqPhysConnection::RemoveCommand(TZqPhysCommand *ACommand)
{
    std::lock_guard L(FLock);
    auto It = std::find(FCommands.begin(), FCommands.end(), ACommand);
    if (It == FCommands.end()) return;
    try {
        ACommand->Disconnect();
    } catch (...) {
        // a command going away leaves even when its statement will not close
    }
    FCommands.erase(std::find(FCommands.begin(), FCommands.end(), ACommand));
}

void TZqPhysConnection::CursorOpened(TZqPhysCommand *ACommand)
{
    std::lock_guard L(FLock);
    TZqTopResourceOptions *R = GetTopResourceOptions();
    const int Max = R ? R->MaxCursors() : 0;
    if (Max > 0 && Max < FPreparedCount + 1) {
        std::vector<TZqPhysCommand *> Order = FCommands;
        std::stable_sort(Order.begin(), Order.end(), [](TZqPhysCommand *A, TZqPhysCommand *B) {
            const bool DA = A->GetResourceOptions()->Disconnectable();
            const bool DB = B->GetResourceOptions()->Disconnectable();
            if (DA != DB) return DA;
            return A->ExecuteCount() > B->ExecuteCount();
        });
        const int Goal = int(std::lround(Max * 80.0 / 100.0));
        int Done = 0;
        for (auto It = Order.rbegin(); It != Order.rend() && Done < Goal; ++It) {
            TZqPhysCommand *C = *It;
            if (C == ACommand || !C->GetResourceOptions()->Disconnectable() || C->GetState() == 0) continue;
            C->Disconnect();
            ++Done;
        }
    }
    ++FPreparedCount;
}

void TZqPhysConnection::CursorClosed()
{
    std::lock_guard L(FLock);
    if (FPreparedCount > 0) --FPreparedCount;
}

// ---- transactions ------------------------------------------------------------------------------

int32_t TZqPhysConnection::InnermostTxID()
{
    for (auto It = FTxStack.rbegin(); It != FTxStack.rend(); ++It)
        if (!It->empty() && (*It)[0] >= '0' && (*It)[0] <= '9') return int32_t(std::stol(*It));
    return 0;
}

void TZqPhysConnection::ApplyTxOptionChanges()
{
    TZqTxOptions *Tx = GetTxOptions();
    if (Tx->Changes() == 0) return;
    TZqPhysWaitScope Wait(true);
    std::lock_guard L(FLock);
    InternalTxChanged();
    Tx->ClearChanges();
}

int TZqPhysConnection::StartTransaction()
{
    CheckActive(0);
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    CreateMetadata(Meta);
    if (!Meta->GetTxSupported()) RaisePhys(303);
    TZqPhysWaitScope Wait(true);
    std::lock_guard L(FLock);
    if (!FTxStack.empty() && !Meta->GetTxNested()) {
        if (!Meta->GetTxSavepoints()) RaisePhys(303);
        std::string Name = "SP_" + std::to_string(FTxStack.size());
        InternalTxSetSavepoint(Name);
        FTxStack.push_back(Name);
    } else {
        ApplyTxOptionChanges();
        const int32_t ID = RandomTxID();
        InternalTxBegin(ID);
        FTxStack.push_back(std::to_string(ID));
    }
    return ++FTxSerialID;
}

void TZqPhysConnection::Commit() { EndTransaction(true); }

void TZqPhysConnection::Rollback() { EndTransaction(false); }

void TZqPhysConnection::EndTransaction(bool ACommit)
{
    CheckActive(1);
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    CreateMetadata(Meta);
    if (!Meta->GetTxSupported()) RaisePhys(303);
    TZqPhysWaitScope Wait(true);
    std::lock_guard L(FLock);
    if (FTxStack.empty()) RaisePhys(304);
    const bool WholeTx = FTxStack.size() == 1 || Meta->GetTxNested();
    if (ACommit) {
        if (WholeTx) InternalTxCommit(InnermostTxID());
        else InternalTxCommitSavepoint("SP_" + std::to_string(FTxStack.size() - 1));
    } else {
        if (WholeTx) InternalTxRollback(InnermostTxID());
        else InternalTxRollbackToSavepoint(FTxStack.back());
    }
    FTxStack.pop_back();
}

void TZqPhysConnection::AutoTransaction(int AStep)
{
    // Every statement runs two steps: each takes the lock once and reads the
    // metadata where the connection keeps it (the lock keeps it there).
    std::lock_guard L(FLock);
    // The end of a statement has something to do only when its start began
    // a transaction: most statements end here.
    if (AStep != 0 && FAutoTxID == 0) return;
    IZqPhysConnectionMetadata *Meta = LockedMetadata();
    if (!Meta->GetTxSupported()) return;
    if (Meta->GetServerAutoCommit()) {
        if (AStep == 0 && FTxStack.empty()) ApplyTxOptionChanges();
        return;
    }
    if (!GetTxOptions()->AutoCommit()) return;
    if (AStep == 0) {
        if (FTxStack.empty()) {
            StartTransaction();
            FAutoTxID = InnermostTxID();
        } else {
            FAutoTxID = 0;
        }
    } else if (FAutoTxID != 0 && !FTxStack.empty() && InnermostTxID() == FAutoTxID) {
        FAutoTxID = 0;
        if (AStep == 1) Commit();
        else Rollback();
    }
}

// ---- the rest -----------------------------------------------------------------------------------

void TZqPhysConnection::InternalChangePassword(const std::string &, const std::string &, const std::string &)
{
    RaisePhys(303);
}

void TZqPhysConnection::ChangePassword(const std::string &ANewPassword)
{
    TZqIntfPtr<IZqGUIxWaitCursor> Wait;
    ZqCreateInterface(Wait, false);
    if (Wait) Wait->RestoreWait();
    struct TSuspend {
        TZqIntfPtr<IZqGUIxWaitCursor> &W;
        ~TSuspend() { if (W) W->SuspendWait(); }
    } Suspend{Wait};
    TZqIntfPtr<IZqStanConnectionDef> Def = GetConnectionDef();
    InternalChangePassword(Def->GetUserName(), Def->GetPassword(), ANewPassword);
}

void TZqPhysConnection::GetLastAutoGenValue(const std::string &AName, rtl::Variant &AValue)
{
    // The statement that reads the value is the dialect's (@@IDENTITY,
    // SCOPE_IDENTITY(), a sequence's CURRVAL, ...); a generator of a dialect
    // that has none raises 303 before anything runs.
    AValue = rtl::Variant::Null();
    TZqIntfPtr<IZqPhysCommand> Cmd;
    CreateCommand(Cmd);
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    CreateCommandGenerator(Gen, Cmd);
    const std::string Text = Gen->GenerateReadIdentity(AName);
    Cmd->SetCommandText(Text);
    Cmd->SetCommandKind(Gen->GetCommandKind());
    Cmd->Prepare();
    std::unique_ptr<TZqDatSTable> Table(Cmd->Define(static_cast<TZqDatSTable *>(nullptr), mmReset));
    Cmd->Open();
    if (Table && Cmd->GetState() == 3) Cmd->Fetch(Table.get(), true);
    if (Table && Table->Rows()->Count() > 0 && Table->Columns()->Count() > 0)
        AValue = Table->Rows()->GetItem(0)->GetDataAsVariant(0, dats::rvCurrent);
    Cmd->CloseAll();
}

void TZqPhysConnection::FillMetaDefaults(TZqPhysParsedName &AName, IZqPhysCommand *ACommand)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    CreateMetadata(Meta);
    const TZqPhysNameParts Parts = Meta->GetNameParts();
    auto *Internal = dynamic_cast<IZqPhysCommandInternal *>(ACommand);
    const bool MetaQuery = Internal && Internal->GetMetaInfoKind() != 0;
    if (AName.FCatalog.empty() && (Parts & ZqNamePart(npCatalog))) {
        AName.FCatalog = FMetaDefCatalog;
        if (AName.FCatalog.empty() && MetaQuery) AName.FCatalog = GetConnectionDef()->GetExpandedDatabase();
    }
    if (AName.FSchema.empty() && (Parts & ZqNamePart(npSchema))) {
        AName.FSchema = FMetaDefSchema;
        if (AName.FSchema.empty() && MetaQuery && Internal->GetObjectScopes() == 1 && Meta->GetKind() != mkMSSQL)
            AName.FSchema = GetConnectionDef()->GetAsString("User_Name");
    }
}
