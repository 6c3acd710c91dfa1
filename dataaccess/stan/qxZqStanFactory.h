// qxZqStanFactory: the base of every service object (TZqObject), the class
// factories and the one registry that maps an interface identifier to the
// factory that makes an object for it. A layer never creates another
// layer's service object by class: it asks ZqCreateInterface<I>, and the
// unit that registered a factory for I::IID supplies the object.
//
// Registry life:
//   ZqStartupManager()   creates the registry and clears the shutdown flag;
//                        each unit's Register...() function calls it first.
//   Register...()        adds the unit's factories (first registered wins,
//                        nothing is ever unregistered).
//   ZqShutdownManager()  sets the shutdown flag once and frees the registry,
//                        factories last-registered first; from then on
//                        ZqCreateInterface answers nil.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/Classes.h"

// The base of every reference-counted service object of all layers. It
// frees itself when its count reaches zero. Aggregated by an outer object
// (SetOuterObject), it answers queries for interfaces it lacks with the
// outer object's answer.
class TZqObject : public rtl::TObject, public virtual IZqStanAggregated {
public:
    TZqObject();
    ~TZqObject() override;
    TZqObject(const TZqObject &) = delete;
    TZqObject &operator=(const TZqObject &) = delete;

    // Called once after construction by the class reference that created
    // the object; services that set themselves up override it.
    virtual void Initialize() {}

    int32_t _AddRef() override { return IncRefCount(1); }
    int32_t _Release() override;
    // Add or take Delta from the count and return the new count; neither
    // frees the object.
    int32_t IncRefCount(int32_t ADelta = 1);
    int32_t DecRefCount(int32_t ADelta = 1);
    int32_t RefCount() const { return FRefCount.load(std::memory_order_acquire); }

    void SetOuterObject(const TZqIntfPtr<IInterface> &AObject) override;
    IInterface *OuterInterface() const override { return FOuter.Get(); }

private:
    std::atomic<int32_t> FRefCount{0};
    TZqIntfPtr<IInterface> FOuter;
};

// The base of the library's components.
class TZqComponent : public rtl::TComponent {
public:
    using rtl::TComponent::TComponent;
};

// A class reference: makes a new object of one TZqObject class (through
// its constructor, then Initialize).
using TZqObjectClass = std::function<TZqObject *()>;

template <typename T> TZqObjectClass ZqClass()
{
    return []() -> TZqObject * {
        T *Obj = new T();
        try {
            Obj->Initialize();
        } catch (...) {
            delete Obj;
            throw;
        }
        return Obj;
    };
}

class TZqFactory {
public:
    TZqFactory(TZqObjectClass AClass, const rtl::TGUID &AIID) : FClass(std::move(AClass)), FIID(AIID) {}
    virtual ~TZqFactory() = default;
    TZqFactory(const TZqFactory &) = delete;
    TZqFactory &operator=(const TZqFactory &) = delete;
    // The object for one request; the caller takes a reference to it.
    virtual TZqObject *CreateObject() = 0;
    // Whether every request gets the same object while the factory lives.
    virtual bool IsSingleton() const { return false; }
    const rtl::TGUID &IID() const { return FIID; }

protected:
    TZqObjectClass FClass;
    rtl::TGUID FIID;
};

// One instance, made on the first request (guarded, so that threads asking
// at once get the same object) and kept alive by the factory until it is
// freed at shutdown.
class TZqSingletonFactory : public TZqFactory {
public:
    using TZqFactory::TZqFactory;
    ~TZqSingletonFactory() override;
    TZqObject *CreateObject() override;
    bool IsSingleton() const override { return true; }

private:
    std::mutex FLock;
    std::atomic<TZqObject *> FObject{nullptr};
    TZqIntfPtr<IInterface> FInstance; // the counted reference that keeps it alive
};

// A new object per request.
class TZqMultyInstanceFactory : public TZqFactory {
public:
    using TZqFactory::TZqFactory;
    TZqObject *CreateObject() override { return FClass(); }
};

namespace qxZqStanFactory {

// The factory registry. Look-ups take the read lock, so any number of
// threads may create services at once; registration takes the write lock.
class TZqManager {
public:
    TZqManager();
    ~TZqManager();
    TZqManager(const TZqManager &) = delete;
    TZqManager &operator=(const TZqManager &) = delete;

    void AddFactory(std::unique_ptr<TZqFactory> AFactory);
    // The first factory registered for the identifier, nil when none.
    TZqFactory *FindFactory(const rtl::TGUID &AIID) const;

    // No factory: nil when not Required, else a plain rtl::Exception
    // "Object factory for class {GUID} missing". An object without the
    // interface: "Class [name] does not implement interface [{GUID}]".
    template <typename T> void CreateInterface(TZqIntfPtr<T> &AIntf, bool ARequired = true)
    {
        AIntf.Reset();
        // A singleton is the same object for as long as this registry lives
        // (its factory holds it, and the first factory of an identifier
        // stays the one asked): each thread looks it up once per registry.
        // The wait cursor is asked for on every statement.
        struct TKnown {
            uint64_t Generation = 0;
            T *Intf = nullptr;
        };
        static thread_local TKnown Known;
        if (Known.Intf && Known.Generation == FGeneration) {
            AIntf = TZqIntfPtr<T>(Known.Intf);
            return;
        }
        TZqFactory *Factory = nullptr;
        TZqIntfPtr<IInterface> Obj = CreateObject(T::IID, ARequired, &Factory);
        if (!Obj) return;
        AIntf = TZqIntfPtr<T>::Query(Obj);
        if (!AIntf) RaiseNotImplemented(Obj.Get(), T::IID);
        if (Factory->IsSingleton()) Known = {FGeneration, AIntf.Get()};
    }

    // Live service objects (changed by TZqObject construction and destruction).
    int32_t ObjectCount() const { return FObjCount.load(); }
    void ObjectCreated() { FObjCount.fetch_add(1); }
    void ObjectDestroyed() { FObjCount.fetch_sub(1); }

    // Unique to this registry for the life of the process: a registry made
    // after a shutdown may be allocated at the address of the one it
    // replaces, so "already filled" is decided by this number, never by
    // the address.
    uint64_t Generation() const noexcept { return FGeneration; }

private:
    TZqIntfPtr<IInterface> CreateObject(const rtl::TGUID &AIID, bool ARequired, TZqFactory **AFactory = nullptr);
    [[noreturn]] static void RaiseNotImplemented(IInterface *AObject, const rtl::TGUID &AIID);
    struct TIIDHash {
        size_t operator()(const rtl::TGUID &A) const noexcept
        {
            uint64_t Tail = 0;
            for (const uint8_t B : A.D4) Tail = (Tail << 8) | B;
            return std::hash<uint64_t>()(((uint64_t(A.D1) << 32) | (uint64_t(A.D2) << 16) | A.D3) ^
                                         (Tail * 0x9E3779B97F4A7C15ull));
        }
    };
    std::vector<std::unique_ptr<TZqFactory>> FFactories;
    // Services are asked for on every statement: the first factory of each
    // identifier is found without walking the list.
    std::unordered_map<rtl::TGUID, TZqFactory *, TIIDHash> FFirstOfIID;
    mutable std::shared_mutex FLock;
    std::atomic<int32_t> FObjCount{0};
    const uint64_t FGeneration;
};

// The one registry; nil before start-up and after shutdown.
TZqManager *Manager();

} // namespace qxZqStanFactory

// Creates the registry when there is none and clears the shutdown flag.
void ZqStartupManager();
// Sets the shutdown flag (once) and frees the registry.
void ZqShutdownManager();
bool ZqIsShuttingDown();
// The generation of the current registry, 0 when there is none. A layer's
// start-up remembers it to register its services once per registry.
uint64_t ZqManagerGeneration();

// Registers a factory (the registry owns it). Starts the registry if needed.
void ZqRegisterFactory(std::unique_ptr<TZqFactory> AFactory);
template <typename TClass> void ZqRegisterMultiInstance(const rtl::TGUID &AIID)
{
    ZqRegisterFactory(std::make_unique<TZqMultyInstanceFactory>(ZqClass<TClass>(), AIID));
}
template <typename TClass> void ZqRegisterSingleton(const rtl::TGUID &AIID)
{
    ZqRegisterFactory(std::make_unique<TZqSingletonFactory>(ZqClass<TClass>(), AIID));
}

// The one way to obtain a service. After shutdown has begun (or before
// start-up) it answers nil and does nothing else. Returns whether AIntf is set.
template <typename T> bool ZqCreateInterface(TZqIntfPtr<T> &AIntf, bool ARequired = true)
{
    AIntf.Reset();
    if (ZqIsShuttingDown()) return false;
    qxZqStanFactory::TZqManager *M = qxZqStanFactory::Manager();
    if (!M) return false;
    M->CreateInterface(AIntf, ARequired);
    return bool(AIntf);
}

// ---- trace naming -------------------------------------------------------------

// The identity of a plain component that has none of its own.
class TZqMoniAdapterComponentProxy : public TZqObject, public virtual IZqStanObject {
public:
    // The component must outlive the proxy (its owner keeps it).
    explicit TZqMoniAdapterComponentProxy(rtl::TComponent *AComponent) : FComponent(AComponent) {}
    // The component's name, else "ClassName($XXXXXXXX)".
    std::string GetName() override;
    // Nil at the top (no owner, or the application object owns it).
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}

private:
    rtl::TComponent *FComponent;
};

// Kept by each driver-layer object to answer its IZqStanObject methods.
class TZqMoniAdapterHelper {
public:
    // AObject: the object served (it owns this helper). AOwner: its owner.
    TZqMoniAdapterHelper(rtl::TObject *AObject, rtl::TObject *AOwner);
    // A component owner is wrapped in a proxy that becomes the identity;
    // any other owner is kept as the owner object.
    void SetOwner(rtl::TObject *AOwner, const std::string &ARole);
    std::string GetName();
    TZqIntfPtr<IZqStanObject> GetParent();
    uint32_t Handle() const { return FHandle; }
    void SetHandle(uint32_t AValue) { FHandle = AValue; }

private:
    TZqIntfPtr<IZqStanObject> FIdentity;
    std::string FSubName;
    uint32_t FHandle = 0;
    rtl::TObject *FObject;               // the served object, which owns this helper
    rtl::TObject *FOwnerObj = nullptr;   // kept alive by whoever owns the served object
};

// "ClassName($XXXXXXXX)": the low 32 bits of the address in 8 hex digits.
std::string ZqObjectTraceName(const rtl::TObject *AObject);
