// qxZqCompClient_Manager: the manager component (the registry of connection
// components, the top of the option chain, the switch of the driver
// manager), the toolkit's connection base and the update options of the
// datasets and commands.
#include "dataaccess/comp/qxZqCompClient.h"

#include <algorithm>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFastCode.h"
#include "platform/rtl/SysUtils.h"

namespace {

const std::vector<std::string> CClnt = {"Comp", "Clnt"};

// The current manager component. A global raw pointer on purpose: the
// automatically made manager lives as long as the process.
TZqCustomManager *GManager = nullptr;

// Guards of the manager's multi-reader/single-writer lock.
class TWriteLock {
public:
    explicit TWriteLock(TZqReadWriteLock &ALock) : FLock(ALock) { FLock.BeginWrite(); }
    ~TWriteLock() { FLock.EndWrite(); }
    TWriteLock(const TWriteLock &) = delete;
    TWriteLock &operator=(const TWriteLock &) = delete;

private:
    TZqReadWriteLock &FLock;
};

TZqGUIxWaitCursorImpl *WaitCursorService()
{
    TZqIntfPtr<IZqGUIxWaitCursor> Cursor;
    ZqCreateInterface(Cursor, true);
    return dynamic_cast<TZqGUIxWaitCursorImpl *>(Cursor.Get());
}

} // namespace

std::string ZqComponentTraceName(const rtl::TComponent *AComponent)
{
    std::string Name = AComponent->Name();
    if (Name.empty())
        Name = "$" + rtl::IntToHex(uint32_t(reinterpret_cast<uintptr_t>(AComponent)), 8);
    return Name + ": " + AComponent->ClassName();
}

// ---- TZqTableUpdateOptions ----------------------------------------------------------------------

void TZqTableUpdateOptions::Assign(const TZqCustomOptions *ASource)
{
    TZqUpdateOptions::Assign(ASource);
    if (auto *S = dynamic_cast<const TZqTableUpdateOptions *>(ASource); S && S != this)
        SetUpdateTableName(S->FUpdateTableName);
}

void TZqTableUpdateOptions::ResetToDefaults()
{
    TZqUpdateOptions::ResetToDefaults();
    FUpdateTableName.clear();
}

void TZqTableUpdateOptions::SetUpdateTableName(const std::string &AValue)
{
    if (FUpdateTableName == AValue) return;
    Changing();
    FUpdateTableName = AValue;
    Changed();
}

// ---- TCustomConnection ----------------------------------------------------------------------------

TCustomConnection::TCustomConnection(rtl::TComponent *AOwner) : TZqComponent(AOwner) {}

TCustomConnection::~TCustomConnection() = default;

void TCustomConnection::SetConnected(bool AValue)
{
    if (HasState(rtl::csLoading)) {
        FStreamedConnected = AValue;
        return;
    }
    if (AValue == GetConnected()) return;
    if (AValue) {
        if (BeforeConnect) BeforeConnect(this);
        DoConnect();
        SendConnectEvent(true);
        if (AfterConnect) AfterConnect(this);
    } else {
        if (BeforeDisconnect) BeforeDisconnect(this);
        SendConnectEvent(false);
        DoDisconnect();
        if (AfterDisconnect) AfterDisconnect(this);
    }
}

void TCustomConnection::Loaded()
{
    SetState(rtl::csLoading, false);
    if (FStreamedConnected) SetConnected(true);
}

void TCustomConnection::RegisterClient(rtl::TObject *AClient, TConnectChangeEvent AEvent)
{
    RegisterClientAs(AClient, dynamic_cast<TDataSet *>(AClient), std::move(AEvent));
}

void TCustomConnection::RegisterClientAs(rtl::TObject *AClient, TDataSet *ADataSet, TConnectChangeEvent AEvent)
{
    if (ADataSet && std::find(FDataSets.begin(), FDataSets.end(), ADataSet) == FDataSets.end())
        FDataSets.push_back(ADataSet);
    for (TClient &C : FClients)
        if (C.Object == AClient) {
            C.Event = std::move(AEvent);
            return;
        }
    FClients.push_back({AClient, std::move(AEvent)});
}

void TCustomConnection::UnRegisterClient(rtl::TObject *AClient)
{
    FDataSets.erase(std::remove(FDataSets.begin(), FDataSets.end(), AClient), FDataSets.end());
    FClients.erase(std::remove_if(FClients.begin(), FClients.end(),
                                  [&](const TClient &C) { return C.Object == AClient; }),
                   FClients.end());
}

void TCustomConnection::SendConnectEvent(bool AConnecting)
{
    // A handler may unregister its client: walk a copy.
    std::vector<TClient> Clients = FClients;
    for (const TClient &C : Clients)
        if (C.Event) C.Event(this, AConnecting);
}

// ---- TZqCustomManager -----------------------------------------------------------------------------

TZqCustomManager *ZqManager()
{
    if (!GManager) {
        GManager = new TZqCustomManager(nullptr);
        GManager->FAutoCreated = true;
    }
    return GManager;
}

TZqCustomManager *ZqCurrentManager() { return GManager; }

TZqCustomManager::TZqCustomManager(rtl::TComponent *AOwner) : TZqComponent(AOwner)
{
    if (GManager && !GManager->FAutoCreated) ZqRaiseError(this, CClnt, 500);
    TWriteLock L(FLock);
    FFetchOptions = std::make_unique<TZqFetchOptions>(this);
    FFormatOptions = std::make_unique<TZqFormatOptions>(this);
    FFormatOptions->SetOwnMapRules(true);
    FUpdateOptions = std::make_unique<TZqUpdateOptions>(this);
    FResourceOptions = std::make_unique<TZqTopResourceOptions>(this);
    TZqCustomManager *Predecessor = GManager;
    GManager = this;
    if (Predecessor) {
        // The automatic manager hands its connections over and goes.
        std::vector<TZqCustomConnection *> Handed = Predecessor->FConnections;
        for (TZqCustomConnection *C : Handed)
            if (C->Owner() == Predecessor) InsertComponent(C);
        delete Predecessor;
        for (TZqCustomConnection *C : Handed) AddConnection(C);
    }
}

TZqCustomManager::~TZqCustomManager()
{
    {
        TWriteLock L(FLock);
        SetState(rtl::csDestroying, true);
    }
    if (GManager == this) {
        try {
            if (Active()) SetActive(false);
        } catch (...) {
            // a destructor reports nothing; the driver manager closes itself at shutdown
        }
        GManager = nullptr;
    }
    // The toolkit destructor unlinks the free notifications of the listed connections.
}

TZqIntfPtr<IZqPhysManager> TZqCustomManager::PhysManager(bool ACheck)
{
    TZqIntfPtr<IZqPhysManager> M;
    ZqCreateInterface(M, false);
    if (!M && ACheck) ZqRaiseManagerNotLinked(this, CClnt, "Phys");
    return M;
}

std::string TZqCustomManager::GetName() { return ZqComponentTraceName(this); }

void TZqCustomManager::Loaded()
{
    SetState(rtl::csLoading, false);
    if (FStreamedActive || FActiveAtRunTime == arActive) SetActive(true);
}

bool TZqCustomManager::Active()
{
    TZqIntfPtr<IZqPhysManager> M = PhysManager(false);
    return M && M->GetState() == 1;
}

void TZqCustomManager::SetActive(bool AValue)
{
    if (HasState(rtl::csLoading)) {
        if (!(!HasState(rtl::csDesigning) && FActiveAtRunTime != arStandard)) FStreamedActive = AValue;
        return;
    }
    if (AValue == Active()) return;
    TZqIntfPtr<IZqPhysManager> M;
    if (AValue) {
        {
            TWriteLock L(FLock);
            CheckInactive();
            M = PhysManager(true);
        }
        M->Open();
        if (OnStartup) OnStartup(this);
    } else {
        {
            TWriteLock L(FLock);
            CheckActive();
            for (int I = int(FConnections.size()) - 1; I >= 0; --I) {
                if (I >= int(FConnections.size())) continue;
                TZqCustomConnection *C = FConnections[size_t(I)];
                if (C->Temporary())
                    delete C;
                else
                    C->Close();
            }
            M = PhysManager(true);
        }
        M->Close(true);
        if (OnShutdown) OnShutdown(this);
    }
}

void TZqCustomManager::CheckActive()
{
    if (!Active()) ZqRaiseError(this, CClnt, 502);
}

void TZqCustomManager::CheckInactive()
{
    if (!Active()) return;
    if (HasState(rtl::csDesigning))
        SetActive(false);
    else
        ZqRaiseError(this, CClnt, 501);
}

bool TZqCustomManager::SilentMode() const { return ZqGUISilent.load(); }
void TZqCustomManager::SetSilentMode(bool AValue) { ZqGUISilent.store(AValue); }

TZqGUIxScreenCursor TZqCustomManager::WaitCursor() const
{
    TZqGUIxWaitCursorImpl *C = WaitCursorService();
    return C ? C->GetScreenCursor() : gcrSQLWait;
}

void TZqCustomManager::SetWaitCursor(TZqGUIxScreenCursor AValue)
{
    if (TZqGUIxWaitCursorImpl *C = WaitCursorService()) C->SetScreenCursor(AValue);
}

std::string TZqCustomManager::ConnectionDefFileName()
{
    return PhysManager(true)->ConnectionDefs()->GetStorage()->GetActualFileName();
}

void TZqCustomManager::SetConnectionDefFileName(const std::string &AValue)
{
    PhysManager(true)->ConnectionDefs()->GetStorage()->SetFileName(AValue);
}

bool TZqCustomManager::ConnectionDefFileAutoLoad() { return PhysManager(true)->ConnectionDefs()->GetAutoLoad(); }

void TZqCustomManager::SetConnectionDefFileAutoLoad(bool AValue)
{
    PhysManager(true)->ConnectionDefs()->SetAutoLoad(AValue);
}

TZqDefinitionsEvent TZqCustomManager::BeforeLoadConnectionDefFile()
{
    return PhysManager(true)->ConnectionDefs()->GetBeforeLoad();
}

void TZqCustomManager::SetBeforeLoadConnectionDefFile(TZqDefinitionsEvent AValue)
{
    PhysManager(true)->ConnectionDefs()->SetBeforeLoad(std::move(AValue));
}

TZqDefinitionsEvent TZqCustomManager::AfterLoadConnectionDefFile()
{
    return PhysManager(true)->ConnectionDefs()->GetAfterLoad();
}

void TZqCustomManager::SetAfterLoadConnectionDefFile(TZqDefinitionsEvent AValue)
{
    PhysManager(true)->ConnectionDefs()->SetAfterLoad(std::move(AValue));
}

void TZqCustomManager::AddConnection(TZqCustomConnection *AConnection)
{
    TWriteLock L(FLock);
    if (std::find(FConnections.begin(), FConnections.end(), AConnection) != FConnections.end()) return;
    FConnections.push_back(AConnection);
    AConnection->FreeNotification(this);
}

void TZqCustomManager::RemoveConnection(TZqCustomConnection *AConnection)
{
    TWriteLock L(FLock);
    FConnections.erase(std::remove(FConnections.begin(), FConnections.end(), AConnection), FConnections.end());
}

int TZqCustomManager::ConnectionCount()
{
    TWriteLock L(FLock);
    return int(FConnections.size());
}

TZqCustomConnection *TZqCustomManager::Connections(int AIndex)
{
    TWriteLock L(FLock);
    return FConnections.at(size_t(AIndex));
}

void TZqCustomManager::Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation)
{
    TZqComponent::Notification(AComponent, AOperation);
    if (AOperation == rtl::opRemove)
        if (auto *C = dynamic_cast<TZqCustomConnection *>(AComponent)) RemoveConnection(C);
}

TZqCustomConnection *TZqCustomManager::FindConnection(const std::string &AName)
{
    TWriteLock L(FLock);
    for (TZqCustomConnection *C : FConnections)
        if ((!C->ConnectionName().empty() || C->Owner() == this) &&
            ZqCompareText(C->ConnectionName(), AName) == 0)
            return C;
    return nullptr;
}

TZqCustomConnection *TZqCustomManager::AcquireConnection(TZqCustomConnection *AConnection,
                                                         const std::string &AName)
{
    if (!AConnection && AName.empty()) ZqRaiseError(this, CClnt, 512);
    TWriteLock L(FLock);
    TZqCustomConnection *C = AConnection;
    bool MadeHere = false;
    if (!C) {
        C = FindConnection(AName);
        if (!C) {
            MadeHere = true;
            // Owned by the manager; freed again when setting it up fails.
            auto Made = std::make_unique<TZqCustomConnection>(this);
            Made->SetConnectionName(AName);
            Made->SetKeepConnection(FKeepConnections);
            Made->FTemporary = true;
            C = Made.release();
        }
    }
    if (!C->Connected()) {
        try {
            C->Open();
        } catch (...) {
            // A connection made only for this request goes again.
            if (MadeHere) delete C;
            throw;
        }
    }
    ++C->FRefCount;
    return C;
}

void TZqCustomManager::ReleaseConnection(TZqCustomConnection *&AConnection)
{
    if (!AConnection) return;
    TWriteLock L(FLock);
    TZqCustomConnection *C = AConnection;
    if (C->FRefCount > 0) --C->FRefCount;
    if (C->FRefCount == 0 && !C->FKeepConnection) {
        if (C->FTemporary) {
            if (!C->HasState(rtl::csDestroying)) {
                delete C;
                AConnection = nullptr;
            }
        } else {
            C->Close();
        }
    }
}
