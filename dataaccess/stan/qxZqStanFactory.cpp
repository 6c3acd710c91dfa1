// qxZqStanFactory: service objects, factories and the registry.
#include "dataaccess/stan/qxZqStanFactory.h"

#include <cstdio>

#include "platform/rtl/Format.h"

namespace {

std::atomic<qxZqStanFactory::TZqManager *> GManager{nullptr};
std::atomic<bool> GShuttingDown{false};
std::mutex GStartupLock;
std::atomic<uint64_t> GLastGeneration{0};

const char *const SObjectFactoryMissing = "Object factory for class %s missing";
const char *const SClassNotImplementIntf = "Class [%s] does not implement interface [%s]";
const char *const SDropComponent = ".\r\nTo register it, you can drop component [%s] into your project";

} // namespace

// ---- TZqObject -------------------------------------------------------------------

TZqObject::TZqObject()
{
    if (auto *M = GManager.load(std::memory_order_acquire)) M->ObjectCreated();
}

TZqObject::~TZqObject()
{
    if (auto *M = GManager.load(std::memory_order_acquire)) M->ObjectDestroyed();
}

int32_t TZqObject::_Release()
{
    int32_t N = DecRefCount(1);
    if (N == 0) delete this;
    return N;
}

int32_t TZqObject::IncRefCount(int32_t ADelta)
{
    return FRefCount.fetch_add(ADelta, std::memory_order_acq_rel) + ADelta;
}

int32_t TZqObject::DecRefCount(int32_t ADelta)
{
    return FRefCount.fetch_sub(ADelta, std::memory_order_acq_rel) - ADelta;
}

void TZqObject::SetOuterObject(const TZqIntfPtr<IInterface> &AObject) { FOuter = AObject; }

// ---- factories -----------------------------------------------------------------------

TZqObject *TZqSingletonFactory::CreateObject()
{
    TZqObject *Obj = FObject.load(std::memory_order_acquire);
    if (Obj) return Obj;
    std::lock_guard<std::mutex> G(FLock);
    Obj = FObject.load(std::memory_order_relaxed);
    if (!Obj) {
        Obj = FClass();
        FInstance = TZqIntfPtr<IInterface>(static_cast<IInterface *>(Obj));
        FObject.store(Obj, std::memory_order_release);
    }
    return Obj;
}

TZqSingletonFactory::~TZqSingletonFactory()
{
    TZqObject *Obj = FObject.load();
    if (Obj && !GShuttingDown.load() && Obj->RefCount() > 1) {
        // Outside the registry's own shutdown someone still holds the
        // singleton. Say so where it cannot block the program.
        std::fprintf(stderr, "Vexa Warning: Class [%s] singleton factory has unreleased interfaces\n",
                     Obj->ClassName().c_str());
    }
    FInstance.Reset();
}

// ---- the registry ------------------------------------------------------------------------

namespace qxZqStanFactory {

TZqManager::TZqManager() : FGeneration(GLastGeneration.fetch_add(1) + 1) {}

TZqManager::~TZqManager()
{
    std::unique_lock<std::shared_mutex> G(FLock);
    FFirstOfIID.clear();
    while (!FFactories.empty()) FFactories.pop_back(); // last registered first
}

void TZqManager::AddFactory(std::unique_ptr<TZqFactory> AFactory)
{
    std::unique_lock<std::shared_mutex> G(FLock);
    if (!AFactory) return;
    FFirstOfIID.emplace(AFactory->IID(), AFactory.get()); // an identifier already there keeps its factory
    FFactories.push_back(std::move(AFactory));
}

TZqFactory *TZqManager::FindFactory(const rtl::TGUID &AIID) const
{
    std::shared_lock<std::shared_mutex> G(FLock);
    const auto Found = FFirstOfIID.find(AIID);
    return Found == FFirstOfIID.end() ? nullptr : Found->second;
}

TZqIntfPtr<IInterface> TZqManager::CreateObject(const rtl::TGUID &AIID, bool ARequired, TZqFactory **AFactory)
{
    TZqFactory *F = FindFactory(AIID);
    if (AFactory) *AFactory = F;
    if (!F) {
        if (!ARequired) return nullptr;
        std::string Msg = SObjectFactoryMissing;
        if (AIID == IID_IZqGUIxWaitCursor) Msg += rtl::Format(SDropComponent, {"TZqGUIxWaitCursor"});
        throw rtl::Exception(rtl::Format(Msg, {rtl::GUIDToString(AIID)}));
    }
    return TZqIntfPtr<IInterface>(static_cast<IInterface *>(F->CreateObject()));
}

void TZqManager::RaiseNotImplemented(IInterface *AObject, const rtl::TGUID &AIID)
{
    auto *Obj = dynamic_cast<rtl::TObject *>(AObject);
    std::string Name = Obj ? Obj->ClassName() : std::string("?");
    throw rtl::Exception(rtl::Format(SClassNotImplementIntf, {Name, rtl::GUIDToString(AIID)}));
}

TZqManager *Manager() { return GManager.load(std::memory_order_acquire); }

} // namespace qxZqStanFactory

void ZqStartupManager()
{
    std::lock_guard<std::mutex> G(GStartupLock);
    if (!GManager.load()) GManager.store(new qxZqStanFactory::TZqManager());
    GShuttingDown.store(false);
}

void ZqShutdownManager()
{
    std::lock_guard<std::mutex> G(GStartupLock);
    if (GShuttingDown.exchange(true)) return;
    // Keep the registry reachable while its singletons are released, so
    // that their destruction is counted, then clear the global reference.
    qxZqStanFactory::TZqManager *M = GManager.load();
    delete M;
    GManager.store(nullptr);
}

uint64_t ZqManagerGeneration()
{
    const qxZqStanFactory::TZqManager *M = GManager.load(std::memory_order_acquire);
    return M ? M->Generation() : 0;
}

bool ZqIsShuttingDown() { return GShuttingDown.load(std::memory_order_acquire); }

void ZqRegisterFactory(std::unique_ptr<TZqFactory> AFactory)
{
    ZqStartupManager();
    qxZqStanFactory::Manager()->AddFactory(std::move(AFactory));
}

// ---- trace naming ------------------------------------------------------------------------------

std::string ZqObjectTraceName(const rtl::TObject *AObject)
{
    if (!AObject) return {};
    return AObject->ClassName() + "($" + rtl::IntToHex(uint32_t(reinterpret_cast<uintptr_t>(AObject)), 8) + ")";
}

std::string TZqMoniAdapterComponentProxy::GetName()
{
    if (!FComponent->Name().empty()) return FComponent->Name();
    return ZqObjectTraceName(FComponent);
}

TZqIntfPtr<IZqStanObject> TZqMoniAdapterComponentProxy::GetParent()
{
    rtl::TComponent *Owner = FComponent->Owner();
    if (!Owner || Owner->InheritsFromName("TApplication")) return nullptr;
    if (auto Own = TZqIntfPtr<IZqStanObject>::Query(Owner)) return Own;
    return TZqIntfPtr<IZqStanObject>(new TZqMoniAdapterComponentProxy(Owner));
}

TZqMoniAdapterHelper::TZqMoniAdapterHelper(rtl::TObject *AObject, rtl::TObject *AOwner) : FObject(AObject)
{
    SetOwner(AOwner, "");
}

void TZqMoniAdapterHelper::SetOwner(rtl::TObject *AOwner, const std::string &ARole)
{
    if (auto *C = dynamic_cast<rtl::TComponent *>(AOwner)) {
        FIdentity = TZqIntfPtr<IZqStanObject>(new TZqMoniAdapterComponentProxy(C));
        FOwnerObj = nullptr;
    } else {
        FIdentity.Reset();
        FOwnerObj = AOwner;
    }
    FSubName = ARole;
}

std::string TZqMoniAdapterHelper::GetName()
{
    std::string N = FIdentity ? FIdentity->GetName() : ZqObjectTraceName(FObject);
    if (!FSubName.empty()) N += ": " + FSubName;
    return N;
}

TZqIntfPtr<IZqStanObject> TZqMoniAdapterHelper::GetParent()
{
    if (FIdentity) return FIdentity->GetParent();
    return TZqIntfPtr<IZqStanObject>::Query(FOwnerObj);
}
