// qxZqStanOption: the option objects through which the data-access layers
// are tuned (fetch, format, update, resource and transaction options), the
// map rules that redirect data types, and the type mapping between library
// data types and the dataset model's field types.
//
// The driver manager, every connection, every command and every dataset hold
// fetch, format, update and resource options. An option that a holder has
// not set itself is read from the holder's parent (IZqStanOptions::
// GetParentOptions) every time it is read, so one setting on the manager or
// a connection governs every command under it until a command sets its own.
// Nothing is cached: a change up the chain is seen at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/DB.h"
#include "platform/rtl/Sets.h"

class TZqCustomOptions;
class TZqFetchOptions;
class TZqFormatOptions;
class TZqUpdateOptions;
class TZqResourceOptions;
class TZqTopResourceOptions;

// Every holder of option objects. The option objects keep a plain pointer to
// their holder: the holder creates them and frees them with itself.
class IZqStanOptions {
public:
    virtual TZqFetchOptions *GetFetchOptions() = 0;
    virtual TZqFormatOptions *GetFormatOptions() = 0;
    virtual TZqUpdateOptions *GetUpdateOptions() = 0;
    virtual TZqResourceOptions *GetResourceOptions() = 0;
    // The parent holder; False (and nil) at the top of the chain.
    virtual bool GetParentOptions(IZqStanOptions *&AParent) = 0;

protected:
    ~IZqStanOptions() = default;
};

// ---- enumerations ------------------------------------------------------------

enum TZqFetchMode : uint8_t { fmManual, fmOnDemand, fmAll, fmExactRecsMax };
enum TZqFetchItem : uint8_t { fiBlobs, fiDetails, fiMeta };
enum TZqRecordCountMode : uint8_t { cmVisible, cmFetched, cmTotal };
enum TZqLockMode : uint8_t { lmPessimistic, lmOptimistic, lmRely };
enum TZqLockPoint : uint8_t { lpImmediate, lpDeferred };
enum TZqRefreshMode : uint8_t { rmManual, rmOnDemand, rmAll };
enum TZqTxDisconnectAction : uint8_t { xdNone, xdCommmit, xdRollback };
enum TZqTxIsolation : uint8_t { xiDirtyRead, xiReadCommitted, xiRepeatableRead, xiSerializible };
// Which columns identify a row in generated update statements (the dataset
// model's update modes, in its order).
enum TUpdateMode : uint8_t { upWhereAll, upWhereChanged, upWhereKeyOnly };

using TZqFetchItems = rtl::TSet<TZqFetchItem, uint8_t>;

// ---- TZqCustomOptions --------------------------------------------------------

// The base of the four option classes that inherit values. Each option has a
// flag in the assigned set, set when the option is given a value on this
// object; the flag is also the option's "stored" test, so streaming writes
// only what was set here.
class TZqCustomOptions {
public:
    using TNotify = std::function<void(TZqCustomOptions *)>;

    // AOwner: the holder, or nil for a free-standing object that always reads
    // its own values.
    explicit TZqCustomOptions(IZqStanOptions *AOwner) : FOwner(AOwner) {}
    virtual ~TZqCustomOptions() = default;
    TZqCustomOptions(const TZqCustomOptions &) = delete;
    TZqCustomOptions &operator=(const TZqCustomOptions &) = delete;

    IZqStanOptions *Owner() const noexcept { return FOwner; }
    // Copies the options assigned in ASource (same class only); a nil source
    // or the object itself does nothing.
    virtual void Assign(const TZqCustomOptions *ASource) = 0;
    // Empties the assigned set and stores the defaults.
    virtual void ResetToDefaults() { FAssigned = 0; }
    // Whether the option with this index (the class's own enumeration) was
    // set on this object.
    bool IsAssigned(int AOption) const noexcept { return (FAssigned >> AOption) & 1u; }

    // Fired before and after a change, set by the holder.
    TNotify OnChanging;
    TNotify OnChanged;

protected:
    void Changing() { if (OnChanging) OnChanging(this); }
    void Changed() { if (OnChanged) OnChanged(this); }
    // The parent holder, or nil.
    IZqStanOptions *ParentHolder() const;

    // The own-or-parent rule: the own value when there is no owner or the
    // option is assigned here; else the parent's option object of the same
    // kind (AParentOf) read by the same rule; the own default at the top.
    template <class C, class T>
    T Read(T C::*AField, int ABit, C *(*AParentOf)(IZqStanOptions *)) const
    {
        const C *Self = static_cast<const C *>(this);
        IZqStanOptions *P;
        if (!FOwner || IsAssigned(ABit) || !(P = ParentHolder()))
            return Self->*AField;
        const C *Parent = AParentOf(P);
        if (!Parent || Parent == Self)
            return Self->*AField;
        return Parent->template Read<C, T>(AField, ABit, AParentOf);
    }

    // Writing: nothing when assigned and equal; else notify, store, mark.
    template <class C, class T>
    void Write(T C::*AField, int ABit, const T &AValue)
    {
        C *Self = static_cast<C *>(this);
        if (IsAssigned(ABit) && Self->*AField == AValue)
            return;
        Changing();
        Self->*AField = AValue;
        FAssigned |= uint64_t(1) << ABit;
        Changed();
    }

    void Unassign(int ABit) noexcept { FAssigned &= ~(uint64_t(1) << ABit); }
    void MarkAssigned(int ABit) noexcept { FAssigned |= uint64_t(1) << ABit; }

private:
    IZqStanOptions *FOwner; // not counted: the holder owns this object
    uint64_t FAssigned = 0;
};

// ---- TZqFetchOptions ----------------------------------------------------------

class TZqFetchOptions : public TZqCustomOptions {
public:
    enum TOption { foMode, foItems, foCache, foRecsMax, foRowsetSize, foAutoClose, foRecordCountMode };

    explicit TZqFetchOptions(IZqStanOptions *AOwner);
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;

    TZqFetchMode Mode() const;
    void SetMode(TZqFetchMode AValue);
    TZqFetchItems Items() const;
    void SetItems(TZqFetchItems AValue);
    TZqFetchItems Cache() const;
    void SetCache(TZqFetchItems AValue);
    int RecsMax() const;
    void SetRecsMax(int AValue);
    int RowsetSize() const;
    void SetRowsetSize(int AValue);
    bool AutoClose() const;
    void SetAutoClose(bool AValue);
    TZqRecordCountMode RecordCountMode() const;
    void SetRecordCountMode(TZqRecordCountMode AValue);

    // Rows per round trip: RecsMax in fmExactRecsMax mode (when not
    // negative), else RowsetSize; never below 1.
    int ActualRowsetSize() const;

private:
    static TZqFetchOptions *OfParent(IZqStanOptions *P);
    TZqFetchMode FMode;
    TZqFetchItems FItems;
    TZqFetchItems FCache;
    int FRecsMax;
    int FRowsetSize;
    bool FAutoClose;
    TZqRecordCountMode FRecordCountMode;
};

// ---- map rules -----------------------------------------------------------------

class TZqMapRules;

// One rule: columns of SourceDataType within the bounds become
// TargetDataType (and back). A bound of -1 always holds.
class TZqMapRule {
public:
    explicit TZqMapRule(TZqMapRules *ACollection = nullptr) : FCollection(ACollection) {}

    int PrecMax() const noexcept { return FPrecMax; }
    int PrecMin() const noexcept { return FPrecMin; }
    int ScaleMax() const noexcept { return FScaleMax; }
    int ScaleMin() const noexcept { return FScaleMin; }
    int64_t SizeMax() const noexcept { return FSizeMax; }
    int64_t SizeMin() const noexcept { return FSizeMin; }
    TZqDataType SourceDataType() const noexcept { return FSourceDataType; }
    TZqDataType TargetDataType() const noexcept { return FTargetDataType; }
    void SetPrecMax(int AValue);
    void SetPrecMin(int AValue);
    void SetScaleMax(int AValue);
    void SetScaleMin(int AValue);
    void SetSizeMax(int64_t AValue);
    void SetSizeMin(int64_t AValue);
    // Setting one type while the other is set checks the pair against the
    // conversion matrix (error 19, the old value kept) when the rule belongs
    // to a format options object.
    void SetSourceDataType(TZqDataType AValue);
    void SetTargetDataType(TZqDataType AValue);

    void Assign(const TZqMapRule &ASource);
    // "dtBCD -> dtInt32", or "TZqMapRule" while both types are unknown.
    std::string DisplayName() const;
    // Whether the rule turns AType (a source type when ADirection, else a
    // target type) with these attributes.
    bool Matches(TZqDataType AType, int64_t ALength, bool ADirection, int AScale, int APrecision) const;

private:
    friend class TZqMapRules;
    template <class T>
    void Change(T &AField, const T &AValue);
    void CheckPair(TZqDataType ASource, TZqDataType ATarget) const;
    TZqMapRules *FCollection; // the owning collection, or nil
    int FPrecMax = -1;
    int FPrecMin = -1;
    int FScaleMax = -1;
    int FScaleMin = -1;
    int64_t FSizeMax = -1;
    int64_t FSizeMin = -1;
    TZqDataType FSourceDataType = dtUnknown;
    TZqDataType FTargetDataType = dtUnknown;
};

// An ordered list of rules, owned by one format options object.
class TZqMapRules {
public:
    explicit TZqMapRules(TZqFormatOptions *AOwner = nullptr) : FOwner(AOwner) {}
    TZqMapRules(const TZqMapRules &) = delete;
    TZqMapRules &operator=(const TZqMapRules &) = delete;

    TZqFormatOptions *Owner() const noexcept { return FOwner; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TZqMapRule *Items(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)).get(); }
    TZqMapRule *Add();
    void Delete(int AIndex);
    void Clear();
    void Assign(const TZqMapRules &ASource);

private:
    friend class TZqMapRule;
    friend class TZqFormatOptions;
    void Changing();
    void Changed();
    TZqFormatOptions *FOwner;
    std::vector<std::unique_ptr<TZqMapRule>> FItems;
};

// ---- TZqFormatOptions ------------------------------------------------------------

class TZqFormatOptions : public TZqCustomOptions {
public:
    enum TOption {
        foOwnMapRules, foMapRules, foStrsEmpty2Null, foStrsTrim, foStrsDivLen2, foMaxStringSize,
        foMaxBcdPrecision, foMaxBcdScale, foInlineDataSize, foDefaultParamDataType
    };

    explicit TZqFormatOptions(IZqStanOptions *AOwner);
    ~TZqFormatOptions() override;
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;

    // Whether this object keeps rules of its own (not inherited).
    bool OwnMapRules() const;
    void SetOwnMapRules(bool AValue);
    // The effective rules: the own ones when owned or at the top, else the
    // parent's effective rules.
    TZqMapRules *MapRules() const;
    // Copies the rules into the own collection and makes them owned.
    void SetMapRules(const TZqMapRules &AValue);
    bool StrsEmpty2Null() const;
    void SetStrsEmpty2Null(bool AValue);
    bool StrsTrim() const;
    void SetStrsTrim(bool AValue);
    bool StrsDivLen2() const;
    void SetStrsDivLen2(bool AValue);
    uint32_t MaxStringSize() const;
    void SetMaxStringSize(uint32_t AValue);
    int MaxBcdPrecision() const;
    void SetMaxBcdPrecision(int AValue);
    int MaxBcdScale() const;
    void SetMaxBcdScale(int AValue);
    int InlineDataSize() const;
    void SetInlineDataSize(int AValue);
    rtl::TFieldType DefaultParamDataType() const;
    void SetDefaultParamDataType(rtl::TFieldType AValue);

    // Field type to data type, attributes, length, precision and scale.
    void FieldTypeToDataType(rtl::TFieldType AFieldType, uint32_t ASize, int APrecision, TZqDataType &ADataType,
                             TZqDataAttributes &AAttributes, uint32_t &ALength, int &AResultPrecision,
                             int &AScale) const;
    // Data type to field type, size and precision ("fits": MaxStringSize is
    // at least ALength).
    void DataTypeToFieldType(TZqDataType ADataType, TZqDataAttributes AAttributes, uint32_t ALength,
                             int APrecision, int AScale, rtl::TFieldType &AFieldType, uint32_t &ASize,
                             int &AResultPrecision) const;
    // The type after the map rules: the first matching rule wins; ADirection
    // True maps a source (database) type to its target, False back.
    TZqDataType MapDataType(TZqDataType ADataType, uint32_t ALength, bool ADirection, int AScale,
                            int APrecision) const;
    // A field type through the map rules: the data type to use and the field
    // type, size and precision that follow from it. AColumnType keeps the
    // finer types the field type cannot tell (wide HMemo, HBFile, time stamp).
    void ResolveFieldType(rtl::TFieldType AFieldType, TZqDataType AColumnType, bool ADirection, uint32_t ASize,
                          int APrecision, TZqDataType &ADataType, rtl::TFieldType &AResultFieldType,
                          uint32_t &AResultSize, int &AResultPrecision) const;
    // See ZqConvertRawData (qxZqStanConvert).
    void ConvertRawData(TZqDataType ASourceType, TZqDataType ATargetType, void *ASource, uint32_t ASourceLength,
                        void *&ATarget, uint32_t ATargetSize, uint32_t &ATargetLength) const;

private:
    friend class TZqMapRules;
    static TZqFormatOptions *OfParent(IZqStanOptions *P);
    TZqFormatOptions *ParentFormat() const;
    bool FOwnMapRules;
    std::unique_ptr<TZqMapRules> FMapRules;
    bool FStrsEmpty2Null;
    bool FStrsTrim;
    bool FStrsDivLen2;
    uint32_t FMaxStringSize;
    int FMaxBcdPrecision;
    int FMaxBcdScale;
    int FInlineDataSize;
    rtl::TFieldType FDefaultParamDataType;
};

// ---- TZqUpdateOptions ------------------------------------------------------------

class TZqUpdateOptions : public TZqCustomOptions {
public:
    enum TOption {
        uoEnableDelete, uoEnableInsert, uoEnableUpdate, uoUpdateChangedFields, uoUpdateMode, uoLockMode,
        uoLockPoint, uoLockWait, uoRefreshMode, uoCountUpdatedRecords, uoCacheUpdateCommands, uoUseProviderFlags
    };

    explicit TZqUpdateOptions(IZqStanOptions *AOwner);
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;

    bool EnableDelete() const;
    void SetEnableDelete(bool AValue);
    bool EnableInsert() const;
    void SetEnableInsert(bool AValue);
    bool EnableUpdate() const;
    void SetEnableUpdate(bool AValue);
    bool UpdateChangedFields() const;
    void SetUpdateChangedFields(bool AValue);
    TUpdateMode UpdateMode() const;
    void SetUpdateMode(TUpdateMode AValue);
    TZqLockMode LockMode() const;
    void SetLockMode(TZqLockMode AValue);
    TZqLockPoint LockPoint() const;
    void SetLockPoint(TZqLockPoint AValue);
    bool LockWait() const;
    void SetLockWait(bool AValue);
    TZqRefreshMode RefreshMode() const;
    void SetRefreshMode(TZqRefreshMode AValue);
    bool CountUpdatedRecords() const;
    void SetCountUpdatedRecords(bool AValue);
    bool CacheUpdateCommands() const;
    void SetCacheUpdateCommands(bool AValue);
    bool UseProviderFlags() const;
    void SetUseProviderFlags(bool AValue);

    // True when delete, insert and update are all disabled; writing sets all
    // three to the negation.
    bool ReadOnly() const;
    void SetReadOnly(bool AValue);
    // The combination of the five options that makes posting cheapest.
    bool FastUpdates() const;
    void SetFastUpdates(bool AValue);
    // Live result sets: the owner fetches metadata and the options are not
    // read-only.
    bool RequestLive() const;
    void SetRequestLive(bool AValue);

private:
    static TZqUpdateOptions *OfParent(IZqStanOptions *P);
    bool FEnableDelete;
    bool FEnableInsert;
    bool FEnableUpdate;
    bool FUpdateChangedFields;
    TUpdateMode FUpdateMode;
    TZqLockMode FLockMode;
    TZqLockPoint FLockPoint;
    bool FLockWait;
    TZqRefreshMode FRefreshMode;
    bool FCountUpdatedRecords;
    bool FCacheUpdateCommands;
    bool FUseProviderFlags;
};

// ---- TZqResourceOptions ----------------------------------------------------------

class TZqResourceOptions : public TZqCustomOptions {
public:
    enum TOption {
        roParamCreate, roMacroCreate, roParamExpand, roMacroExpand, roEscapeExpand, roDisconnectable,
        roAsyncCmdMode, roAsyncCmdTimeout, roDirectExecute, roDefaultParamType,
        // TZqTopResourceOptions
        roMaxCursors, roServerOutput, roServerOutputSize
    };
    // The time limit that means none.
    static constexpr uint32_t CNoTimeout = 0xFFFFFFFFu;

    explicit TZqResourceOptions(IZqStanOptions *AOwner);
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;
    // This object as top options, nil when it is not: asked at every
    // prepare, where a type test would cost more than the answer.
    virtual TZqTopResourceOptions *AsTop() noexcept { return nullptr; }
    virtual const TZqTopResourceOptions *AsTop() const noexcept { return nullptr; }

    bool ParamCreate() const;
    void SetParamCreate(bool AValue);
    bool MacroCreate() const;
    void SetMacroCreate(bool AValue);
    bool ParamExpand() const;
    void SetParamExpand(bool AValue);
    bool MacroExpand() const;
    void SetMacroExpand(bool AValue);
    bool EscapeExpand() const;
    void SetEscapeExpand(bool AValue);
    bool Disconnectable() const;
    void SetDisconnectable(bool AValue);
    TZqStanAsyncMode AsyncCmdMode() const;
    void SetAsyncCmdMode(TZqStanAsyncMode AValue);
    uint32_t AsyncCmdTimeout() const;
    void SetAsyncCmdTimeout(uint32_t AValue);
    bool DirectExecute() const;
    void SetDirectExecute(bool AValue);
    rtl::TParamType DefaultParamType() const;
    void SetDefaultParamType(rtl::TParamType AValue);

protected:
    static TZqResourceOptions *OfParent(IZqStanOptions *P);
    void AssignResource(const TZqResourceOptions &ASource);

private:
    bool FParamCreate;
    bool FMacroCreate;
    bool FParamExpand;
    bool FMacroExpand;
    bool FEscapeExpand;
    bool FDisconnectable;
    TZqStanAsyncMode FAsyncCmdMode;
    uint32_t FAsyncCmdTimeout;
    bool FDirectExecute;
    rtl::TParamType FDefaultParamType;
};

// The resource options of the top holders (manager, connection).
class TZqTopResourceOptions : public TZqResourceOptions {
public:
    explicit TZqTopResourceOptions(IZqStanOptions *AOwner);
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;
    TZqTopResourceOptions *AsTop() noexcept override { return this; }
    const TZqTopResourceOptions *AsTop() const noexcept override { return this; }

    int MaxCursors() const;
    void SetMaxCursors(int AValue);
    bool ServerOutput() const;
    void SetServerOutput(bool AValue);
    int ServerOutputSize() const;
    void SetServerOutputSize(int AValue);

private:
    static TZqTopResourceOptions *OfParent(IZqStanOptions *P);
    int FMaxCursors;
    bool FServerOutput;
    int FServerOutputSize;
};

// ---- option values as text ------------------------------------------------------

// Lines "FetchOptions.RowsetSize=10" for every option assigned in the given
// objects (any may be nil), in the order of the classes' properties.
void ZqWriteOptionLines(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                        TZqResourceOptions *AResource, rtl::TStrings &ALines);
// Sets one option per line through its write accessor (which marks it
// assigned), in line order. A line naming no option or carrying a value of
// the wrong form raises rtl::EConvertError.
void ZqReadOptionLines(const rtl::TStrings &ALines, TZqFetchOptions *AFetch, TZqFormatOptions *AFormat,
                       TZqUpdateOptions *AUpdate, TZqResourceOptions *AResource);

// ---- TZqTxOptions -----------------------------------------------------------------

// Transaction options belong to the connection alone: no owner, no parent.
class TZqTxOptions {
public:
    enum TChange : uint8_t { tcAutoCommit = 1, tcIsolation = 2 };

    TZqTxOptions() { ClearChanges(); }

    bool AutoCommit() const noexcept { return FAutoCommit; }
    void SetAutoCommit(bool AValue);
    TZqTxDisconnectAction DisconnectAction() const noexcept { return FDisconnectAction; }
    void SetDisconnectAction(TZqTxDisconnectAction AValue) noexcept { FDisconnectAction = AValue; }
    TZqTxIsolation Isolation() const noexcept { return FIsolation; }
    void SetIsolation(TZqTxIsolation AValue);
    // Bits of TChange: which of AutoCommit and Isolation changed.
    uint8_t Changes() const noexcept { return FChanges; }
    void ClearChanges() noexcept { FChanges = 0; }
    void Assign(const TZqTxOptions &ASource);

private:
    bool FAutoCommit = true;
    TZqTxDisconnectAction FDisconnectAction = xdRollback;
    TZqTxIsolation FIsolation = xiReadCommitted;
    uint8_t FChanges = 0;
};

