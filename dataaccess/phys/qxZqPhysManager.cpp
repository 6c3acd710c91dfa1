// qxZqPhysManager: the driver manager, its driver and connection hosts, its
// worker thread and the driver base. The connection base and the command
// base are in qxZqPhysManager_Connection.cpp and qxZqPhysManager_Command.cpp.
#include "dataaccess/phys/qxZqPhysManager.h"

#include "dataaccess/phys/qxZqPhysConnMeta.h"

#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanPool.h"
#include "platform/rtl/Format.h"

namespace {

const char *const CUnit = "qxZqPhysManager";
const std::vector<std::string> CPhys{"Phys"};

uint32_t SteadyTick()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool SameText(const std::string &A, const std::string &B) { return ZqCompareText(A, B) == 0; }

int32_t RandomOwnerID()
{
    static std::mutex Lock;
    static std::mt19937 Gen{std::random_device{}()};
    std::lock_guard G(Lock);
    return int32_t(std::uniform_int_distribution<int32_t>(0, 2147483646)(Gen));
}

// How long a waiting Close gives the thread to empty the hosts.
constexpr uint32_t CShutdownTimeout = 10000;

} // namespace

// ---- the manager thread ---------------------------------------------------------------

class TZqPhysManagerThread : public TZqThread {
public:
    explicit TZqPhysManagerThread(TZqPhysManager *AManager) : FManager(AManager) {}
    ~TZqPhysManagerThread() override { Shutdown(true); }

protected:
    void DoIdle() override { FManager->ThreadTick(); }

private:
    TZqPhysManager *FManager; // owns this thread and joins it before it goes
};

// ---- driver host ---------------------------------------------------------------------

TZqPhysDriverHost::TZqPhysDriverHost(TZqPhysManager *AManager, const std::string &ADriverID,
                                     const std::string &ABaseDriverID)
    : FManager(AManager), FDriverID(ADriverID), FBaseDriverID(ABaseDriverID.empty() ? ADriverID : ABaseDriverID)
{
}

TZqPhysDriverHost::~TZqPhysDriverHost() = default;

void TZqPhysDriverHost::GetVendorParams(std::string &AHome, std::string &ALib)
{
    AHome.clear();
    ALib.clear();
    if (!FDefinition) return;
    AHome = FDefinition->GetAsString("VendorHome");
    ALib = FDefinition->GetAsString("VendorLib");
}

void TZqPhysDriverHost::CheckState(std::initializer_list<TZqPhysDriverHostState> AStates, const char *AAction)
{
    for (TZqPhysDriverHostState S : AStates)
        if (FState.load() == S) return;
    ZqRaiseError(FManager, CPhys, 318, {std::string(AAction)});
}

void TZqPhysDriverHost::LoadDriver()
{
    CheckState({0}, "load driver");
    // Every driver of the program is linked in: there is no module to load.
    if (FModuleName.empty()) ZqRaiseError(FManager, CPhys, 319);
    if (FState.load() == 0) FState = 1;
}

void TZqPhysDriverHost::RegisterDriver(const TZqPhysConnectionClass *AClass)
{
    CheckState({0, 1}, "register driver");
    FDriverClass = AClass->DriverClass;
    FConnectionClass = AClass;
    FState = 2;
}

void TZqPhysDriverHost::UnregisterDriver()
{
    if (FState.load() == 5) FinalizeDriver();
    CheckState({2}, "unregister driver");
    FDriverClass = nullptr;
    FConnectionClass = nullptr;
    FState = 1;
}

void TZqPhysDriverHost::InitializeDriver()
{
    CheckState({2}, "initialize driver");
    FState = 3;
    try {
        FDriverObj = FDriverClass->Create(this);
        FDriverIntf = TZqIntfPtr<IZqPhysDriver>(FDriverObj);
    } catch (...) {
        FDriverIntf.Reset();
        FDriverObj = nullptr;
        FState = 2;
        throw;
    }
    FState = 4;
}

void TZqPhysDriverHost::StopDriver()
{
    CheckState({4}, "stop driver");
    FState = 6;
    FDriverIntf->CloseConnections();
}

void TZqPhysDriverHost::FinalizeDriver()
{
    CheckState({5}, "finalize driver");
    FState = 7;
    TZqIntfPtr<IZqPhysDriver> Last = std::move(FDriverIntf);
    FDriverObj = nullptr;
    FState = 2;
    FReleaseTick = 0;
    Last.Reset();
}

TZqIntfPtr<IZqPhysDriver> TZqPhysDriverHost::GetDriverIntf()
{
    if (FState.load() == 0) LoadDriver();
    const TZqPhysDriverHostState S = FState.load();
    if (S != 2 && S != 4 && S != 5) {
        if (S == 1)
            ZqRaiseError(FManager, CPhys, 333,
                         {FDriverID, rtl::Format("driver [%s] main unit is not linked", {FBaseDriverID})});
        ZqRaiseError(FManager, CPhys, 318, {std::string("create driver interface")});
    }
    if (S == 2) InitializeDriver();
    if (FState.load() == 5) FState = 4;
    return FDriverIntf;
}

// ---- connection host ----------------------------------------------------------------------

TZqPhysConnectionHost::TZqPhysConnectionHost(TZqPhysManager *AManager, const TZqIntfPtr<IZqStanConnectionDef> &ADef)
    : FManager(AManager), FDef(ADef), FPrivate(ADef->GetStyle() == ZqDefStandalone)
{
    (void)RandomOwnerID(); // the owner identity is this host's address
    if (FDef->GetPooled() && !FManager->GetDesignTime()) {
        if (!FPrivate) FDef->SetAssociatedConnection(this, TZqDefinitionOperations{doChange, doDelete});
        ZqCreateInterface(FPool, true);
        FPool->Open(TZqIntfPtr<IZqStanObjectHost>(this), TZqIntfPtr<IZqStanDefinition>(FDef));
    } else if (!FPrivate) {
        FDef->SetAssociatedConnection(this, TZqDefinitionOperations{doDelete});
    }
}

TZqPhysConnectionHost::~TZqPhysConnectionHost()
{
    ZQ_ASSERT(FCount.load() == 0, CUnit);
    StopPool();
    // Only the connection that holds the definition may let it go.
    if (!FPrivate) FDef->SetAssociatedConnection(this, TZqDefinitionOperations{});
    FPool.Reset();
}

void TZqPhysConnectionHost::StopPool()
{
    if (!FPool) return;
    try {
        FPool->Close();
    } catch (const EZqException &) {
        // a pool already closed has nothing left to stop
    }
}

std::string TZqPhysConnectionHost::GetObjectKindName()
{
    std::string Name = FDef->GetName();
    return Name.empty() ? std::string("connection") : "connection " + Name;
}

void TZqPhysConnectionHost::CreateObject(TZqIntfPtr<IZqStanObject> &AObject)
{
    AObject.Reset();
    if (FManager->GetState() != 1) return;
    TZqIntfPtr<IZqPhysConnection> Conn;
    CreateConnection(Conn);
    AObject = TZqIntfPtr<IZqStanObject>::Query(Conn);
}

void TZqPhysConnectionHost::AcquireConnection(TZqIntfPtr<IZqPhysConnection> &AConn)
{
    if (FPool && !FManager->GetDesignTime()) {
        TZqIntfPtr<IZqStanObject> Obj;
        FPool->Acquire(Obj);
        AConn = TZqIntfPtr<IZqPhysConnection>::Query(Obj);
        return;
    }
    CreateConnection(AConn);
}

void TZqPhysConnectionHost::CreateConnection(TZqIntfPtr<IZqPhysConnection> &AConn)
{
    TZqPhysDriverHost *Host = FManager->FindDriverHost(FDef->GetDriverID(), 1);
    std::unique_lock<std::recursive_mutex> L(Host->Lock(), std::adopt_lock);
    TZqIntfPtr<IZqPhysDriver> Drv = Host->FState.load() == 4 ? Host->FDriverIntf : Host->GetDriverIntf();
    TZqPhysConnection *Conn = Host->ConnectionClass()->Create(Host->DriverObj(), this);
    AConn = TZqIntfPtr<IZqPhysConnection>(Conn);
}

void TZqPhysConnectionHost::ConnectionCreated()
{
    if (FCount.fetch_add(1) == 0 && !FPrivate && !FPool)
        FDef->SetAssociatedConnection(this, TZqDefinitionOperations{doChange, doDelete});
}

void TZqPhysConnectionHost::ConnectionDestroyed()
{
    if (FCount.fetch_sub(1) == 1 && !FPrivate && !FPool)
        FDef->SetAssociatedConnection(this, TZqDefinitionOperations{doDelete});
}

// ---- the manager ------------------------------------------------------------------------------

TZqPhysManager::TZqPhysManager()
    : FFetchOptions(std::make_unique<TZqFetchOptions>(this)),
      FFormatOptions(std::make_unique<TZqFormatOptions>(this)),
      FUpdateOptions(std::make_unique<TZqUpdateOptions>(this)),
      FResourceOptions(std::make_unique<TZqTopResourceOptions>(this)), FClock(&SteadyTick)
{
}

TZqPhysManager::~TZqPhysManager()
{
    // The final close: stop the drivers, then let the thread go before the
    // hosts it walks are freed.
    try {
        std::lock_guard CS(FCriticalSection);
        if (FState.load() == 1)
            for (auto &C : FConnectionHosts) C->StopPool();
        for (auto &H : FDriverHosts) {
            std::lock_guard HL(H->Lock());
            if (H->FState.load() == 4) H->StopDriver();
        }
    } catch (...) {
        // a driver failing while the program ends must not stop the rest
    }
    FState = 3;
    FThread.reset();
    for (auto &H : FDriverHosts)
        if (H->FState.load() == 5) H->FinalizeDriver();
    Reset();
    FDriverHosts.clear();
}

void TZqPhysManager::SetClock(TZqPhysClock AClock)
{
    std::lock_guard L(FClockLock);
    FClock = AClock ? std::move(AClock) : TZqPhysClock(&SteadyTick);
}

uint32_t TZqPhysManager::Now() const
{
    std::lock_guard L(FClockLock);
    return FClock();
}

TZqIntfPtr<IZqStanDefinitions> TZqPhysManager::DriverDefs()
{
    std::lock_guard L(FLock);
    if (!FDriverDefs) {
        ZqCreateInterface(FDriverDefs, true);
        TZqIntfPtr<IZqStanDefinitionStorage> S = FDriverDefs->GetStorage();
        S->SetDefaultFileName("ZqDrivers.ini");
        S->SetGlobalFileName(ZqReadRegistryValue("DriverFile"));
    }
    return FDriverDefs;
}

TZqIntfPtr<IZqStanConnectionDefs> TZqPhysManager::ConnectionDefs()
{
    std::lock_guard L(FLock);
    if (!FConnectionDefs) ZqCreateInterface(FConnectionDefs, true);
    return FConnectionDefs;
}

void TZqPhysManager::Open()
{
    if (FState.load() != 0) ZqRaiseError(this, CPhys, 320, {std::string("Inactive")});
    {
        TZqPhysWaitScope Wait(true);
        std::lock_guard L(FLock);
        TZqIntfPtr<IZqStanDefinitions> Defs = DriverDefs();
        for (int I = 0; I < Defs->GetCount(); ++I) {
            TZqIntfPtr<IZqStanDefinition> Def = Defs->GetItems(I);
            std::string Base = Def->GetAsString("BaseDriverID");
            if (!Base.empty() && !Def->GetParentDefinition())
                if (auto Parent = Defs->FindDefinition(Base)) Def->SetParentDefinition(Parent);
            auto Host = std::make_unique<TZqPhysDriverHost>(this, Def->GetName(), Base);
            // Built without loadable driver modules: the module name is the
            // package named by the definition, else the driver's own unit.
            Host->FModuleName = Def->GetAsString("Package");
            if (Host->FModuleName.empty()) {
                std::string Name = Host->FBaseDriverID;
                if (Name == "DBX") Name = "DBExp";
                else if (Name == "Ora") Name = "Oracl";
                Host->FModuleName = "qxZqPhys" + Name;
            }
            Host->FDefinition = Def;
            Host->FState = 1;
            FDriverHosts.push_back(std::move(Host));
        }
        FState = 1;
        std::vector<const TZqPhysConnectionClass *> Pending;
        Pending.swap(FPending);
        for (const TZqPhysConnectionClass *C : Pending) RegisterDriverClass(C);
    }
    CreateThreadIfNone();
}

void TZqPhysManager::CreateThreadIfNone()
{
    if (FThread) return;
    FThread = std::make_unique<TZqPhysManagerThread>(this);
    FThread->SetTimeout(1000);
    FThread->SetActive(true);
}

void TZqPhysManager::RegisterDriverClass(const TZqPhysConnectionClass *AClass)
{
    ZQ_ASSERT(AClass, CUnit);
    std::lock_guard L(FLock);
    if (FState.load() != 1) {
        FPending.push_back(AClass);
        return;
    }
    const std::string &ID = AClass->DriverClass->DriverID;
    bool Matched = false;
    for (auto &H : FDriverHosts)
        if (SameText(H->BaseDriverID(), ID)) {
            std::lock_guard HL(H->Lock());
            H->RegisterDriver(AClass);
            Matched = true;
        }
    if (!Matched) {
        auto Host = std::make_unique<TZqPhysDriverHost>(this, ID, ID);
        Host->FState = 1;
        Host->RegisterDriver(AClass);
        FDriverHosts.push_back(std::move(Host));
    }
}

TZqPhysDriverHost *TZqPhysManager::FindDriverHost(const std::string &ADriverID, int ACheckMode)
{
    if (ADriverID.empty()) ZqRaiseError(this, CPhys, 340);
    std::lock_guard L(FLock);
    const TZqPhysManagerState S = FState.load();
    if (ACheckMode == 1 && S != 1) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
    if (ACheckMode == 2 && S != 1 && S != 2 && S != 3)
        ZqRaiseError(this, CPhys, 320, {std::string("Active or Stoping")});
    if (ACheckMode == 3 && S != 1) return nullptr;
    for (auto &H : FDriverHosts)
        if (SameText(H->DriverID(), ADriverID)) {
            H->Lock().lock();
            return H.get();
        }
    ZqRaiseError(this, CPhys, 300, {ADriverID, ADriverID});
    return nullptr;
}

std::vector<std::string> TZqPhysManager::HostDriverIDs()
{
    std::lock_guard L(FLock);
    std::vector<std::string> R;
    for (auto &H : FDriverHosts) R.push_back(H->DriverID());
    return R;
}

void TZqPhysManager::CreateDriver(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriver> &ADriver,
                                  bool ACheckActive)
{
    ADriver.Reset();
    TZqPhysDriverHost *Host = FindDriverHost(ADriverID, ACheckActive ? 1 : 3);
    if (!Host) return;
    std::unique_lock<std::recursive_mutex> HL(Host->Lock(), std::adopt_lock);
    ADriver = Host->FState.load() == 4 ? Host->FDriverIntf : Host->GetDriverIntf();
}

void TZqPhysManager::CreateConnection(const TZqIntfPtr<IZqStanConnectionDef> &ADef,
                                      TZqIntfPtr<IZqPhysConnection> &AConn, bool ACheckActive)
{
    ZQ_ASSERT(ADef, CUnit);
    AConn.Reset();
    TZqPhysConnectionHost *Host = nullptr;
    {
        std::lock_guard L(FLock);
        if (FState.load() != 1) {
            if (ACheckActive) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
            return;
        }
        for (auto &H : FConnectionHosts)
            if (H->ConnectionDef().Get() == ADef.Get()) Host = H.get();
        if (!Host) {
            FConnectionHosts.push_back(std::make_unique<TZqPhysConnectionHost>(this, ADef));
            Host = FConnectionHosts.back().get();
        }
    }
    Host->AcquireConnection(AConn);
}

void TZqPhysManager::CreateConnection(const std::string &ADefinition, TZqIntfPtr<IZqPhysConnection> &AConn,
                                      bool ACheckActive)
{
    AConn.Reset();
    if (FState.load() != 1) {
        if (ACheckActive) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
        return;
    }
    TZqIntfPtr<IZqStanConnectionDef> Def;
    if (ADefinition.find('=') != std::string::npos) {
        ZqCreateInterface(Def, true);
        std::string Rest;
        Def->ParseString(ADefinition, nullptr, Rest);
    } else {
        Def = ConnectionDefs()->ConnectionDefByName(ADefinition);
    }
    CreateConnection(Def, AConn, ACheckActive);
}

void TZqPhysManager::GetManagerMetadata(TZqIntfPtr<IZqPhysManagerMetadata> &AMeta)
{
    AMeta = TZqIntfPtr<IZqPhysManagerMetadata>(this);
}

void TZqPhysManager::CreateDefaultMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta)
{
    AMeta = TZqIntfPtr<IZqPhysConnectionMetadata>(new TZqPhysConnectionMetadata());
}

int TZqPhysManager::GetDriverCount()
{
    std::lock_guard L(FLock);
    if (FState.load() != 1) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
    return int(FDriverHosts.size());
}

std::string TZqPhysManager::GetDriverID(int AIndex)
{
    std::lock_guard L(FLock);
    if (FState.load() != 1) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
    return FDriverHosts.at(size_t(AIndex))->DriverID();
}

void TZqPhysManager::GetDriverMetadata(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriverMetadata> &AMeta)
{
    TZqIntfPtr<IZqPhysDriver> Drv;
    CreateDriver(ADriverID, Drv, true);
    Drv->GetDriverMetadata(AMeta);
}

void TZqPhysManager::DriverReleased(TZqPhysDriver *ADriver)
{
    ZQ_ASSERT(ADriver, CUnit);
    TZqPhysDriverHost *Host = FindDriverHost(ADriver->Host()->DriverID(), 2);
    std::unique_lock<std::recursive_mutex> HL(Host->Lock(), std::adopt_lock);
    if (Host->FDriverObj != ADriver) return; // being finalised
    Host->FState = 5;
    if (FState.load() == 1) Host->FReleaseTick = Now();
    else WakeThread();
}

void TZqPhysManager::WakeThread()
{
    if (FThread) FThread->WakeUp();
}

int TZqPhysManager::HostCount()
{
    std::lock_guard L(FLock);
    return int(FDriverHosts.size());
}

TZqPhysDriverHost *TZqPhysManager::Host(int AIndex)
{
    std::lock_guard L(FLock);
    return FDriverHosts.at(size_t(AIndex)).get();
}

void TZqPhysManager::ThreadTick()
{
    std::lock_guard CS(FCriticalSection);
    std::unique_lock L(FLock);
    const TZqPhysManagerState MS = FState.load();
    const bool Stopping = MS == 2 || MS == 3;
    const uint32_t TickNow = Now();
    for (int I = int(FDriverHosts.size()) - 1; I >= 0; --I) {
        TZqPhysDriverHost *H = FDriverHosts[size_t(I)].get();
        std::unique_lock HL(H->Lock());
        const TZqPhysDriverHostState S = H->FState.load();
        const bool Handle = (Stopping && (S == 0 || S == 1 || S == 2 || S == 5)) ||
                            (S == 5 && ZqTimeoutElapsed(H->FReleaseTick, FDriverIdleTimeout, TickNow));
        if (!Handle) continue;
        if (S == 5) H->FinalizeDriver();
        if (Stopping) {
            if (H->FState.load() == 2) H->UnregisterDriver();
            HL.unlock();
            FDriverHosts.erase(FDriverHosts.begin() + I);
        }
    }
    if (Stopping && FDriverHosts.empty() && MS == 2) {
        Reset();
        FShutdownEvent.SetEvent();
    }
}

void TZqPhysManager::Close(bool AWait)
{
    std::optional<TZqPhysWaitScope> Wait;
    if (AWait) Wait.emplace(false);
    {
        std::lock_guard CS(FCriticalSection);
        std::unique_lock L(FLock);
        const TZqPhysManagerState S = FState.load();
        if (S == 0) {
            FState = 2;
            // no driver was started: nothing for the thread to wait on
            if (!FThread) {
                Reset();
                return;
            }
        } else {
            if (S != 1) ZqRaiseError(this, CPhys, 320, {std::string("Active")});
            // A pool's thread hands its connections back through the
            // driver hosts, which needs the manager's lock: stop the pools
            // without holding it. Hosts are only freed under the critical
            // section held here, so the pointers stay good.
            std::vector<TZqPhysConnectionHost *> Pooled;
            Pooled.reserve(FConnectionHosts.size());
            for (auto &C : FConnectionHosts) Pooled.push_back(C.get());
            L.unlock();
            for (TZqPhysConnectionHost *C : Pooled) C->StopPool();
            L.lock();
            FState = 2;
            FPending.clear();
            for (auto &H : FDriverHosts)
                if (H->ConnectionClass()) FPending.push_back(H->ConnectionClass());
            for (auto &H : FDriverHosts) {
                std::lock_guard HL(H->Lock());
                if (H->FState.load() == 4) H->StopDriver();
            }
        }
        L.unlock();
    }
    WakeThread();
    if (!AWait || !FThread) return;
    // Waiting in short slices against the manager's clock lets a test's
    // clock decide the time-out.
    const uint32_t Start = Now();
    for (;;) {
        if (FShutdownEvent.WaitFor(10)) return;
        if (FState.load() == 0) return;
        WakeThread();
        if (ZqTimeoutElapsed(Start, CShutdownTimeout, Now())) break;
    }
    ZqRaiseError(this, CPhys, 334);
}

void TZqPhysManager::Reset()
{
    std::lock_guard L(FLock);
    FConnectionHosts.clear();
    if (FDriverDefs) FDriverDefs->Clear();
    if (FConnectionDefs) FConnectionDefs->Clear();
    FState = 0;
}

void RegisterPhysManager()
{
    ZqRegisterSingleton<TZqPhysManager>(IID_IZqPhysManager);
}

void ZqPhysRegisterDriverClass(const TZqPhysConnectionClass *AClass)
{
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    dynamic_cast<TZqPhysManager &>(*M.Get()).RegisterDriverClass(AClass);
}

// ---- the driver base ------------------------------------------------------------------------

TZqPhysDriver::TZqPhysDriver(TZqPhysDriverHost *AHost) : FHost(AHost) {}

TZqPhysDriver::~TZqPhysDriver() = default;

int32_t TZqPhysDriver::_Release()
{
    const int32_t N = DecRefCount();
    if (N == 1 && FHost->DriverObj() == this) FHost->Manager()->DriverReleased(this);
    if (N == 0) delete this;
    return N;
}

std::string TZqPhysDriver::GetDriverID() { return FHost->DriverID(); }

int TZqPhysDriver::GetParamCount(const rtl::TStrings *AParams)
{
    if (AParams && SameText(AParams->Values("Pooled"), "True")) return 13;
    return 7;
}

void TZqPhysDriver::GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                                 std::string &ADefault, std::string &ACaption, int &ALoginIndex)
{
    struct TInfo {
        const char *Name, *Type, *Default, *Caption;
        int Login;
    };
    static const TInfo CInfo[] = {
        {"DriverID", "", "", nullptr, -1},
        {"Pooled", "@L", "False", nullptr, -1},
        {"Database", "@S", "", nullptr, -1},
        {"User_Name", "@S", "", "User name", 0},
        {"Password", "@S", "", "Password", 1},
        {"MonitorBy", "FlatFile;Indy;Custom", "", nullptr, -1},
        {"AllowReconnect", "@L", "False", "", -1},
        {"POOL_WorkerTimeout", "@I", "100", nullptr, -1},
        {"POOL_MaxWaitForItemTime", "@I", "10000", nullptr, -1},
        {"POOL_GCLatencyPeriod", "@I", "30000", nullptr, -1},
        {"POOL_MaximumItems", "@I", "50", nullptr, -1},
        {"POOL_OptimalItems", "@I", "10", nullptr, -1},
        {"POOL_PoolGrowDelta", "@I", "10", nullptr, -1},
    };
    AName.clear(); AType.clear(); ADefault.clear(); ACaption.clear(); ALoginIndex = -1;
    if (AIndex < 0 || AIndex >= GetParamCount(AParams)) return;
    const TInfo &I = CInfo[AIndex];
    AName = I.Name;
    AType = I.Type;
    ADefault = I.Default;
    ACaption = I.Caption ? I.Caption : I.Name;
    ALoginIndex = I.Login;
    if (AIndex == 0) {
        std::string Ids;
        for (const std::string &Id : FHost->Manager()->HostDriverIDs()) Ids += (Ids.empty() ? "" : ";") + Id;
        AType = Ids;
        ADefault = GetDriverID();
    }
}

int TZqPhysDriver::GetConnectionCount()
{
    std::lock_guard L(FHost->Lock());
    return int(FConnections.size());
}

void TZqPhysDriver::GetConnections(int AIndex, TZqIntfPtr<IZqPhysConnection> &AConn)
{
    std::lock_guard L(FHost->Lock());
    AConn = TZqIntfPtr<IZqPhysConnection>(FConnections.at(size_t(AIndex)));
}

void TZqPhysDriver::CloseConnections()
{
    std::vector<TZqPhysConnection *> List;
    {
        std::lock_guard L(FHost->Lock());
        List = FConnections;
    }
    for (auto It = List.rbegin(); It != List.rend(); ++It) (*It)->ForceClose();
}

void TZqPhysDriver::GetDriverMetadata(TZqIntfPtr<IZqPhysDriverMetadata> &AMeta)
{
    AMeta = TZqIntfPtr<IZqPhysDriverMetadata>(this);
    ZQ_ASSERT(AMeta, CUnit);
}

void TZqPhysDriver::GetODBCDriver(TZqIntfPtr<IZqPhysODBCDriver> &ADriver)
{
    ADriver = TZqIntfPtr<IZqPhysODBCDriver>::Query(static_cast<IZqPhysDriver *>(this));
}

TZqIntfPtr<IZqStanObject> TZqPhysDriver::GetParent()
{
    return TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(FHost->Manager()));
}

void TZqPhysDriver::AddConnection(TZqPhysConnection *AConn)
{
    std::lock_guard L(FHost->Lock());
    FConnections.push_back(AConn);
}

void TZqPhysDriver::RemoveConnection(TZqPhysConnection *AConn)
{
    std::lock_guard L(FHost->Lock());
    std::erase(FConnections, AConn);
}

TZqPhysWaitScope::TZqPhysWaitScope(bool ARequired)
{
    ZqCreateInterface(FCursor, ARequired);
    if (FCursor) FCursor->StartWait();
}

TZqPhysWaitScope::~TZqPhysWaitScope()
{
    if (FCursor) FCursor->StopWait();
}
