// qxZqStanIntf: what every layer of the data-access library shares at the
// bottom: the data types and column properties, the interface identifiers,
// the interface base with its counted smart pointer, and the interfaces of
// object identity, tracing and aggregation.
//
// Interfaces are abstract classes deriving virtually from IInterface, so
// that one object implementing several of them has one reference count.
// Each carries its identifier as `IID`. Interfaces are never deleted: hold
// them in TZqIntfPtr<T>, which adds a reference on copy and releases it on
// destruction; the object frees itself when the last reference goes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/Classes.h"
#include "platform/rtl/Sets.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/Variant.h"

// ---- data types -------------------------------------------------------------

// The order is part of the contract: the reference types (dtRowSetRef ..
// dtParentRowRef), the string types (dtAnsiString .. dtByteString) and the
// large-object types (dtBlob .. dtHBFile) are contiguous ranges.
enum TZqDataType : uint8_t {
    dtUnknown, dtBoolean, dtSByte, dtInt16, dtInt32, dtInt64, dtByte, dtUInt16, dtUInt32, dtUInt64,
    dtDouble, dtCurrency, dtBCD, dtFmtBCD, dtDateTime, dtTime, dtDate, dtDateTimeStamp, dtAnsiString,
    dtWideString, dtByteString, dtBlob, dtMemo, dtWideMemo, dtHBlob, dtHMemo, dtWideHMemo, dtHBFile,
    dtRowSetRef, dtCursorRef, dtRowRef, dtArrayRef, dtParentRowRef, dtGUID, dtObject
};
constexpr int ZqDataTypeCount = int(dtObject) + 1;
static_assert(ZqDataTypeCount == 35, "the library has 35 data types");

enum TZqDataAttribute : uint8_t {
    caSearchable, caAllowNull, caFixedLen, caBlobData, caReadOnly, caAutoInc, caROWID, caDefault,
    caRowVersion, caInternal, caCalculated, caVolatile, caUnnamed
};
using TZqDataAttributes = rtl::TSet<TZqDataAttribute, uint16_t>;

enum TZqDataOption : uint8_t {
    coAllowNull, coUnique, coReadOnly, coInUpdate, coInWhere, coInKey, coAfterInsChanged, coAfterUpdChanged
};
using TZqDataOptions = rtl::TSet<TZqDataOption, uint8_t>;

enum TZqErrorAction : uint8_t { eaFail, eaSkip, eaRetry, eaApplied, eaDefault, eaExitSuccess, eaExitFailure };

enum TZqExpressionOption : uint8_t { ekNoCase, ekPartial };
using TZqExpressionOptions = rtl::TSet<TZqExpressionOption, uint8_t>;

enum TZqStanAsyncMode : uint8_t { amBlocking, amNonBlocking, amCancelDialog, amAsync };

using TZqVariantArray = std::vector<rtl::Variant>;

// ---- interface identifiers --------------------------------------------------

// The family {3E9B315B-F456-4175-A864-B2573C4A2nnn}: the last four hex
// digits name the layer (20xx services, 21xx driver layer, 22xx user
// interface services, 23xx adapters, 24xx datasets) and the interface.
constexpr rtl::TGUID ZqIID(uint16_t ALast4)
{
    return rtl::TGUID{0x3E9B315B, 0xF456, 0x4175,
                      {0xA8, 0x64, 0xB2, 0x57, 0x3C, 0x4A, uint8_t(ALast4 >> 8), uint8_t(ALast4 & 0xFF)}};
}

constexpr rtl::TGUID IID_IZqStanObject = ZqIID(0x2001);
constexpr rtl::TGUID IID_IZqStanObjectHost = ZqIID(0x2002);
constexpr rtl::TGUID IID_IZqStanObjectFactory = ZqIID(0x2003);
constexpr rtl::TGUID IID_IZqMoniAdapter = ZqIID(0x2006);
constexpr rtl::TGUID IID_IZqStanErrorHandler = ZqIID(0x2007);
constexpr rtl::TGUID IID_IZqStanExpressionDataSource = ZqIID(0x2008);
constexpr rtl::TGUID IID_IZqStanExpressionParser = ZqIID(0x2009);
constexpr rtl::TGUID IID_IZqStanExpressionEvaluator = ZqIID(0x2010);
constexpr rtl::TGUID IID_IZqStanDefinitionStorage = ZqIID(0x2012);
constexpr rtl::TGUID IID_IZqStanDefinition = ZqIID(0x2013);
constexpr rtl::TGUID IID_IZqStanDefinitions = ZqIID(0x2014);
constexpr rtl::TGUID IID_IZqStanConnectionDef = ZqIID(0x2015);
constexpr rtl::TGUID IID_IZqStanConnectionDefs = ZqIID(0x2016);
constexpr rtl::TGUID IID_IZqStanOptions = ZqIID(0x2018);
constexpr rtl::TGUID IID_IZqDataMechSort = ZqIID(0x2019);
constexpr rtl::TGUID IID_IZqDataTableCallback = ZqIID(0x2020);
constexpr rtl::TGUID IID_IZqStanAsyncOperation = ZqIID(0x2022);
constexpr rtl::TGUID IID_IZqStanAsyncExecutor = ZqIID(0x2023);
constexpr rtl::TGUID IID_IZqStanAsyncHandler = ZqIID(0x2025);
constexpr rtl::TGUID IID_IZqStanAggregated = ZqIID(0x2029);
constexpr rtl::TGUID IID_IZqPhysManagerMetadata = ZqIID(0x2100);
constexpr rtl::TGUID IID_IZqPhysManager = ZqIID(0x2101);
constexpr rtl::TGUID IID_IZqPhysDriverMetadata = ZqIID(0x2102);
constexpr rtl::TGUID IID_IZqPhysDriver = ZqIID(0x2103);
constexpr rtl::TGUID IID_IZqPhysConnectionMetadata = ZqIID(0x2104);
constexpr rtl::TGUID IID_IZqPhysConnection = ZqIID(0x2105);
constexpr rtl::TGUID IID_IZqPhysDescribeHandler = ZqIID(0x2106);
constexpr rtl::TGUID IID_IZqPhysCommandGenerator = ZqIID(0x2107);
constexpr rtl::TGUID IID_IZqPhysMappingHandler = ZqIID(0x2108);
constexpr rtl::TGUID IID_IZqPhysCommand = ZqIID(0x2109);
constexpr rtl::TGUID IID_IZqPhysCommandInternal = ZqIID(0x2110);
constexpr rtl::TGUID IID_IZqPhysODBCDriver = ZqIID(0x2111);
constexpr rtl::TGUID IID_IZqGUIxLoginDialog = ZqIID(0x2200);
constexpr rtl::TGUID IID_IZqGUIxWaitCursor = ZqIID(0x2201);
constexpr rtl::TGUID IID_IZqGUIxAsyncExecuteDialog = ZqIID(0x2202);
constexpr rtl::TGUID IID_IZqGUIxLoginService = ZqIID(0x2204);
constexpr rtl::TGUID IID_IZqDAptUpdateHandler = ZqIID(0x2301);
constexpr rtl::TGUID IID_IZqDAptTableAdapter = ZqIID(0x2304);
constexpr rtl::TGUID IID_IZqDAptTableAdapters = ZqIID(0x2305);
constexpr rtl::TGUID IID_IZqDAptSchemaAdapter = ZqIID(0x2306);
constexpr rtl::TGUID IID_IZqDataSetReference = ZqIID(0x2400);

// ---- the interface base -----------------------------------------------------

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = int32_t(0x80004002u);

class IInterface {
public:
    static constexpr rtl::TGUID IID = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual int32_t _AddRef() = 0;
    virtual int32_t _Release() = 0;
    // The outer object that answers for interfaces this one lacks (nil
    // unless it is aggregated).
    virtual IInterface *OuterInterface() const { return nullptr; }

protected:
    virtual ~IInterface() = default;
};

// Query: the object's own interfaces first, then its outer object's.
// Works from any polymorphic pointer (an interface or an rtl::TObject).
template <typename T, typename P> T *ZqQueryRaw(P *AObject)
{
    if (!AObject) return nullptr;
    if (T *R = dynamic_cast<T *>(AObject)) return R;
    if (auto *I = dynamic_cast<IInterface *>(AObject))
        if (IInterface *Outer = I->OuterInterface()) return ZqQueryRaw<T>(Outer);
    return nullptr;
}

// A counted interface reference.
template <typename T> class TZqIntfPtr {
public:
    TZqIntfPtr() noexcept = default;
    TZqIntfPtr(std::nullptr_t) noexcept {}
    explicit TZqIntfPtr(T *P) : FPtr(P) { AddRef(); }
    TZqIntfPtr(const TZqIntfPtr &O) : FPtr(O.FPtr) { AddRef(); }
    TZqIntfPtr(TZqIntfPtr &&O) noexcept : FPtr(std::exchange(O.FPtr, nullptr)) {}
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U *, T *>>>
    TZqIntfPtr(const TZqIntfPtr<U> &O) : FPtr(O.Get()) { AddRef(); }
    ~TZqIntfPtr() { Release(); }
    TZqIntfPtr &operator=(const TZqIntfPtr &O)
    {
        TZqIntfPtr(O).Swap(*this);
        return *this;
    }
    TZqIntfPtr &operator=(TZqIntfPtr &&O) noexcept
    {
        TZqIntfPtr(std::move(O)).Swap(*this);
        return *this;
    }
    TZqIntfPtr &operator=(std::nullptr_t) { Reset(); return *this; }

    // The interface of any object that offers it (nil when it does not).
    template <typename P> static TZqIntfPtr Query(P *AObject) { return TZqIntfPtr(ZqQueryRaw<T>(AObject)); }
    template <typename U> static TZqIntfPtr Query(const TZqIntfPtr<U> &AObject) { return Query(AObject.Get()); }

    T *Get() const noexcept { return FPtr; }
    T *operator->() const noexcept { return FPtr; }
    T &operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }
    void Reset() { TZqIntfPtr().Swap(*this); }
    void Swap(TZqIntfPtr &O) noexcept { std::swap(FPtr, O.FPtr); }
    friend bool operator==(const TZqIntfPtr &A, const TZqIntfPtr &B) { return A.FPtr == B.FPtr; }
    friend bool operator==(const TZqIntfPtr &A, std::nullptr_t) { return A.FPtr == nullptr; }

private:
    void AddRef() { if (FPtr) static_cast<IInterface *>(FPtr)->_AddRef(); }
    void Release() { if (T *P = std::exchange(FPtr, nullptr)) static_cast<IInterface *>(P)->_Release(); }
    T *FPtr = nullptr;
};

// Supports(AObject, Intf): True and the interface when the object offers it.
template <typename T, typename P> bool ZqSupports(P *AObject, TZqIntfPtr<T> &AIntf)
{
    AIntf = TZqIntfPtr<T>::Query(AObject);
    return bool(AIntf);
}
template <typename T, typename P> bool ZqSupports(P *AObject) { return ZqQueryRaw<T>(AObject) != nullptr; }

// ---- interfaces of identity, tracing and aggregation --------------------------

// The identity of a library object: its trace name and its owner's identity.
class IZqStanObject : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanObject;
    virtual std::string GetName() = 0;
    virtual TZqIntfPtr<IZqStanObject> GetParent() = 0;
    virtual void PoolAcquired() = 0;
    virtual void PoolReleased() = 0;
    virtual void SetOwner(rtl::TObject *AOwner, const std::string &ARole) = 0;
};

// The trace monitor's view of a driver object.
class IZqMoniAdapter : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqMoniAdapter;
    virtual uint32_t GetHandle() = 0;
    virtual int GetItemCount() = 0;
    virtual void GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind) = 0;
};

class IZqStanAggregated : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanAggregated;
    virtual void SetOuterObject(const TZqIntfPtr<IInterface> &AObject) = 0;
};

class EZqException;

// An object that sees the exceptions it raises before they leave it: it may
// replace the exception object or clear it (then nothing is raised).
class IZqStanErrorHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanErrorHandler;
    virtual void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                 std::unique_ptr<rtl::Exception> &AException) = 0;
};
