// qxZqStanOption: option objects, their own-or-parent reading, assignment
// and defaults, and the transaction options.
#include "dataaccess/stan/qxZqStanOption.h"

#include "dataaccess/stan/qxZqStanConvert.h"

namespace {

// Copies one option of the source when the source assigned it, through the
// target's write accessor so that it becomes assigned there too.
template <class C, class T, class S>
void CopyIfAssigned(C &ATarget, const C &ASource, int ABit, T AValue, S ASetter)
{
    if (ASource.IsAssigned(ABit))
        (ATarget.*ASetter)(AValue);
}

} // namespace

IZqStanOptions *TZqCustomOptions::ParentHolder() const
{
    IZqStanOptions *P = nullptr;
    if (FOwner && FOwner->GetParentOptions(P))
        return P;
    return nullptr;
}

// ---- TZqFetchOptions ----------------------------------------------------------

TZqFetchOptions::TZqFetchOptions(IZqStanOptions *AOwner) : TZqCustomOptions(AOwner) { ResetToDefaults(); }

TZqFetchOptions *TZqFetchOptions::OfParent(IZqStanOptions *P) { return P->GetFetchOptions(); }

void TZqFetchOptions::ResetToDefaults()
{
    TZqCustomOptions::ResetToDefaults();
    FMode = fmOnDemand;
    FItems = {fiBlobs, fiDetails, fiMeta};
    FCache = {fiBlobs, fiDetails, fiMeta};
    FRecsMax = -1;
    FRowsetSize = 50;
    FAutoClose = true;
    FRecordCountMode = cmVisible;
}

void TZqFetchOptions::Assign(const TZqCustomOptions *ASource)
{
    auto *S = dynamic_cast<const TZqFetchOptions *>(ASource);
    if (!S || S == this)
        return;
    CopyIfAssigned(*this, *S, foMode, S->FMode, &TZqFetchOptions::SetMode);
    CopyIfAssigned(*this, *S, foItems, S->FItems, &TZqFetchOptions::SetItems);
    CopyIfAssigned(*this, *S, foCache, S->FCache, &TZqFetchOptions::SetCache);
    CopyIfAssigned(*this, *S, foRecsMax, S->FRecsMax, &TZqFetchOptions::SetRecsMax);
    CopyIfAssigned(*this, *S, foRowsetSize, S->FRowsetSize, &TZqFetchOptions::SetRowsetSize);
    CopyIfAssigned(*this, *S, foAutoClose, S->FAutoClose, &TZqFetchOptions::SetAutoClose);
    CopyIfAssigned(*this, *S, foRecordCountMode, S->FRecordCountMode, &TZqFetchOptions::SetRecordCountMode);
}

TZqFetchMode TZqFetchOptions::Mode() const { return Read(&TZqFetchOptions::FMode, foMode, &OfParent); }
void TZqFetchOptions::SetMode(TZqFetchMode AValue) { Write(&TZqFetchOptions::FMode, foMode, AValue); }
TZqFetchItems TZqFetchOptions::Items() const { return Read(&TZqFetchOptions::FItems, foItems, &OfParent); }
void TZqFetchOptions::SetItems(TZqFetchItems AValue) { Write(&TZqFetchOptions::FItems, foItems, AValue); }
TZqFetchItems TZqFetchOptions::Cache() const { return Read(&TZqFetchOptions::FCache, foCache, &OfParent); }
void TZqFetchOptions::SetCache(TZqFetchItems AValue) { Write(&TZqFetchOptions::FCache, foCache, AValue); }
int TZqFetchOptions::RecsMax() const { return Read(&TZqFetchOptions::FRecsMax, foRecsMax, &OfParent); }
void TZqFetchOptions::SetRecsMax(int AValue) { Write(&TZqFetchOptions::FRecsMax, foRecsMax, AValue); }
int TZqFetchOptions::RowsetSize() const { return Read(&TZqFetchOptions::FRowsetSize, foRowsetSize, &OfParent); }
void TZqFetchOptions::SetRowsetSize(int AValue) { Write(&TZqFetchOptions::FRowsetSize, foRowsetSize, AValue); }
bool TZqFetchOptions::AutoClose() const { return Read(&TZqFetchOptions::FAutoClose, foAutoClose, &OfParent); }
void TZqFetchOptions::SetAutoClose(bool AValue) { Write(&TZqFetchOptions::FAutoClose, foAutoClose, AValue); }
TZqRecordCountMode TZqFetchOptions::RecordCountMode() const
{
    return Read(&TZqFetchOptions::FRecordCountMode, foRecordCountMode, &OfParent);
}
void TZqFetchOptions::SetRecordCountMode(TZqRecordCountMode AValue)
{
    Write(&TZqFetchOptions::FRecordCountMode, foRecordCountMode, AValue);
}

int TZqFetchOptions::ActualRowsetSize() const
{
    int R = RowsetSize();
    if (Mode() == fmExactRecsMax && RecsMax() >= 0)
        R = RecsMax();
    return R < 1 ? 1 : R;
}

// ---- TZqFormatOptions ------------------------------------------------------------

TZqFormatOptions::TZqFormatOptions(IZqStanOptions *AOwner)
    : TZqCustomOptions(AOwner), FMapRules(std::make_unique<TZqMapRules>(this))
{
    ResetToDefaults();
}

TZqFormatOptions::~TZqFormatOptions() = default;

TZqFormatOptions *TZqFormatOptions::OfParent(IZqStanOptions *P) { return P->GetFormatOptions(); }

TZqFormatOptions *TZqFormatOptions::ParentFormat() const
{
    IZqStanOptions *P = Owner() ? ParentHolder() : nullptr;
    TZqFormatOptions *F = P ? P->GetFormatOptions() : nullptr;
    return F == this ? nullptr : F;
}

void TZqFormatOptions::ResetToDefaults()
{
    TZqCustomOptions::ResetToDefaults();
    FOwnMapRules = false;
    // The rules are cleared without notification, as the other defaults are
    // stored without one.
    FMapRules->FItems.clear();
    FStrsEmpty2Null = true;
    FStrsTrim = false;
    FStrsDivLen2 = false;
    FMaxStringSize = 8192;
    FMaxBcdPrecision = 18;
    FMaxBcdScale = 4;
    FInlineDataSize = -1;
    FDefaultParamDataType = rtl::ftUnknown;
}

void TZqFormatOptions::Assign(const TZqCustomOptions *ASource)
{
    auto *S = dynamic_cast<const TZqFormatOptions *>(ASource);
    if (!S || S == this)
        return;
    if (S->IsAssigned(foOwnMapRules) && S->FOwnMapRules)
        SetMapRules(*S->FMapRules);
    else
        CopyIfAssigned(*this, *S, foOwnMapRules, S->FOwnMapRules, &TZqFormatOptions::SetOwnMapRules);
    CopyIfAssigned(*this, *S, foStrsEmpty2Null, S->FStrsEmpty2Null, &TZqFormatOptions::SetStrsEmpty2Null);
    CopyIfAssigned(*this, *S, foStrsTrim, S->FStrsTrim, &TZqFormatOptions::SetStrsTrim);
    CopyIfAssigned(*this, *S, foStrsDivLen2, S->FStrsDivLen2, &TZqFormatOptions::SetStrsDivLen2);
    CopyIfAssigned(*this, *S, foMaxStringSize, S->FMaxStringSize, &TZqFormatOptions::SetMaxStringSize);
    CopyIfAssigned(*this, *S, foMaxBcdPrecision, S->FMaxBcdPrecision, &TZqFormatOptions::SetMaxBcdPrecision);
    CopyIfAssigned(*this, *S, foMaxBcdScale, S->FMaxBcdScale, &TZqFormatOptions::SetMaxBcdScale);
    CopyIfAssigned(*this, *S, foInlineDataSize, S->FInlineDataSize, &TZqFormatOptions::SetInlineDataSize);
    CopyIfAssigned(*this, *S, foDefaultParamDataType, S->FDefaultParamDataType,
                   &TZqFormatOptions::SetDefaultParamDataType);
}

// Whether this object owns its rules is its own matter: a command under a
// connection with its own rules still reads the connection's rules.
bool TZqFormatOptions::OwnMapRules() const { return FOwnMapRules; }

void TZqFormatOptions::SetOwnMapRules(bool AValue)
{
    if (IsAssigned(foOwnMapRules) && FOwnMapRules == AValue)
        return;
    Changing();
    if (TZqFormatOptions *P = ParentFormat()) {
        if (AValue) {
            TZqMapRules *Inherited = P->MapRules();
            if (Inherited != FMapRules.get())
                FMapRules->Assign(*Inherited);
        } else {
            FMapRules->FItems.clear();
        }
    }
    FOwnMapRules = AValue;
    MarkAssigned(foOwnMapRules);
    Changed();
}

TZqMapRules *TZqFormatOptions::MapRules() const
{
    if (FOwnMapRules)
        return FMapRules.get();
    TZqFormatOptions *P = ParentFormat();
    return P ? P->MapRules() : FMapRules.get();
}

void TZqFormatOptions::SetMapRules(const TZqMapRules &AValue)
{
    Changing();
    if (&AValue != FMapRules.get()) {
        FMapRules->FItems.clear();
        for (const auto &R : AValue.FItems) {
            FMapRules->FItems.push_back(std::make_unique<TZqMapRule>(FMapRules.get()));
            FMapRules->FItems.back()->Assign(*R);
        }
    }
    FOwnMapRules = true;
    MarkAssigned(foOwnMapRules);
    MarkAssigned(foMapRules);
    Changed();
}

bool TZqFormatOptions::StrsEmpty2Null() const
{
    return Read(&TZqFormatOptions::FStrsEmpty2Null, foStrsEmpty2Null, &OfParent);
}
void TZqFormatOptions::SetStrsEmpty2Null(bool AValue)
{
    Write(&TZqFormatOptions::FStrsEmpty2Null, foStrsEmpty2Null, AValue);
}
bool TZqFormatOptions::StrsTrim() const { return Read(&TZqFormatOptions::FStrsTrim, foStrsTrim, &OfParent); }
void TZqFormatOptions::SetStrsTrim(bool AValue) { Write(&TZqFormatOptions::FStrsTrim, foStrsTrim, AValue); }
bool TZqFormatOptions::StrsDivLen2() const
{
    return Read(&TZqFormatOptions::FStrsDivLen2, foStrsDivLen2, &OfParent);
}
void TZqFormatOptions::SetStrsDivLen2(bool AValue)
{
    Write(&TZqFormatOptions::FStrsDivLen2, foStrsDivLen2, AValue);
}
uint32_t TZqFormatOptions::MaxStringSize() const
{
    return Read(&TZqFormatOptions::FMaxStringSize, foMaxStringSize, &OfParent);
}
void TZqFormatOptions::SetMaxStringSize(uint32_t AValue)
{
    Write(&TZqFormatOptions::FMaxStringSize, foMaxStringSize, AValue);
}
int TZqFormatOptions::MaxBcdPrecision() const
{
    return Read(&TZqFormatOptions::FMaxBcdPrecision, foMaxBcdPrecision, &OfParent);
}
void TZqFormatOptions::SetMaxBcdPrecision(int AValue)
{
    Write(&TZqFormatOptions::FMaxBcdPrecision, foMaxBcdPrecision, AValue);
}
int TZqFormatOptions::MaxBcdScale() const
{
    return Read(&TZqFormatOptions::FMaxBcdScale, foMaxBcdScale, &OfParent);
}
void TZqFormatOptions::SetMaxBcdScale(int AValue)
{
    Write(&TZqFormatOptions::FMaxBcdScale, foMaxBcdScale, AValue);
}
int TZqFormatOptions::InlineDataSize() const
{
    return Read(&TZqFormatOptions::FInlineDataSize, foInlineDataSize, &OfParent);
}
void TZqFormatOptions::SetInlineDataSize(int AValue)
{
    Write(&TZqFormatOptions::FInlineDataSize, foInlineDataSize, AValue);
}
rtl::TFieldType TZqFormatOptions::DefaultParamDataType() const
{
    return Read(&TZqFormatOptions::FDefaultParamDataType, foDefaultParamDataType, &OfParent);
}
void TZqFormatOptions::SetDefaultParamDataType(rtl::TFieldType AValue)
{
    Write(&TZqFormatOptions::FDefaultParamDataType, foDefaultParamDataType, AValue);
}

void TZqFormatOptions::ConvertRawData(TZqDataType ASourceType, TZqDataType ATargetType, void *ASource,
                                      uint32_t ASourceLength, void *&ATarget, uint32_t ATargetSize,
                                      uint32_t &ATargetLength) const
{
    ZqConvertRawData(ASourceType, ATargetType, ASource, ASourceLength, ATarget, ATargetSize, ATargetLength);
}

// ---- TZqUpdateOptions ------------------------------------------------------------

TZqUpdateOptions::TZqUpdateOptions(IZqStanOptions *AOwner) : TZqCustomOptions(AOwner) { ResetToDefaults(); }

TZqUpdateOptions *TZqUpdateOptions::OfParent(IZqStanOptions *P) { return P->GetUpdateOptions(); }

void TZqUpdateOptions::ResetToDefaults()
{
    TZqCustomOptions::ResetToDefaults();
    FEnableDelete = FEnableInsert = FEnableUpdate = true;
    FUpdateChangedFields = true;
    FUpdateMode = upWhereKeyOnly;
    FLockMode = lmRely;
    FLockPoint = lpDeferred;
    FLockWait = false;
    FRefreshMode = rmOnDemand;
    FCountUpdatedRecords = true;
    FCacheUpdateCommands = true;
    FUseProviderFlags = true;
}

void TZqUpdateOptions::Assign(const TZqCustomOptions *ASource)
{
    auto *S = dynamic_cast<const TZqUpdateOptions *>(ASource);
    if (!S || S == this)
        return;
    using U = TZqUpdateOptions;
    CopyIfAssigned(*this, *S, uoEnableDelete, S->FEnableDelete, &U::SetEnableDelete);
    CopyIfAssigned(*this, *S, uoEnableInsert, S->FEnableInsert, &U::SetEnableInsert);
    CopyIfAssigned(*this, *S, uoEnableUpdate, S->FEnableUpdate, &U::SetEnableUpdate);
    CopyIfAssigned(*this, *S, uoUpdateChangedFields, S->FUpdateChangedFields, &U::SetUpdateChangedFields);
    CopyIfAssigned(*this, *S, uoUpdateMode, S->FUpdateMode, &U::SetUpdateMode);
    CopyIfAssigned(*this, *S, uoLockMode, S->FLockMode, &U::SetLockMode);
    CopyIfAssigned(*this, *S, uoLockPoint, S->FLockPoint, &U::SetLockPoint);
    CopyIfAssigned(*this, *S, uoLockWait, S->FLockWait, &U::SetLockWait);
    CopyIfAssigned(*this, *S, uoRefreshMode, S->FRefreshMode, &U::SetRefreshMode);
    CopyIfAssigned(*this, *S, uoCountUpdatedRecords, S->FCountUpdatedRecords, &U::SetCountUpdatedRecords);
    CopyIfAssigned(*this, *S, uoCacheUpdateCommands, S->FCacheUpdateCommands, &U::SetCacheUpdateCommands);
    CopyIfAssigned(*this, *S, uoUseProviderFlags, S->FUseProviderFlags, &U::SetUseProviderFlags);
}

#define ZQ_UPDATE_OPTION(TYPE, NAME, BIT)                                                                      \
    TYPE TZqUpdateOptions::NAME() const { return Read(&TZqUpdateOptions::F##NAME, BIT, &OfParent); }        \
    void TZqUpdateOptions::Set##NAME(TYPE AValue) { Write(&TZqUpdateOptions::F##NAME, BIT, AValue); }

ZQ_UPDATE_OPTION(bool, EnableDelete, uoEnableDelete)
ZQ_UPDATE_OPTION(bool, EnableInsert, uoEnableInsert)
ZQ_UPDATE_OPTION(bool, EnableUpdate, uoEnableUpdate)
ZQ_UPDATE_OPTION(bool, UpdateChangedFields, uoUpdateChangedFields)
ZQ_UPDATE_OPTION(TUpdateMode, UpdateMode, uoUpdateMode)
ZQ_UPDATE_OPTION(TZqLockMode, LockMode, uoLockMode)
ZQ_UPDATE_OPTION(TZqLockPoint, LockPoint, uoLockPoint)
ZQ_UPDATE_OPTION(bool, LockWait, uoLockWait)
ZQ_UPDATE_OPTION(TZqRefreshMode, RefreshMode, uoRefreshMode)
ZQ_UPDATE_OPTION(bool, CountUpdatedRecords, uoCountUpdatedRecords)
ZQ_UPDATE_OPTION(bool, CacheUpdateCommands, uoCacheUpdateCommands)
ZQ_UPDATE_OPTION(bool, UseProviderFlags, uoUseProviderFlags)
#undef ZQ_UPDATE_OPTION

bool TZqUpdateOptions::ReadOnly() const { return !EnableDelete() && !EnableInsert() && !EnableUpdate(); }

void TZqUpdateOptions::SetReadOnly(bool AValue)
{
    SetEnableDelete(!AValue);
    SetEnableInsert(!AValue);
    SetEnableUpdate(!AValue);
}

bool TZqUpdateOptions::FastUpdates() const
{
    return !UpdateChangedFields() && UpdateMode() == upWhereKeyOnly && LockMode() == lmRely &&
           RefreshMode() == rmManual && CacheUpdateCommands();
}

void TZqUpdateOptions::SetFastUpdates(bool AValue)
{
    if (AValue) {
        SetUpdateChangedFields(false);
        SetUpdateMode(upWhereKeyOnly);
        SetLockMode(lmRely);
        SetRefreshMode(rmManual);
        SetCacheUpdateCommands(true);
        return;
    }
    // Back to the defaults of the five, which then follow the parent again.
    FUpdateChangedFields = true;
    FUpdateMode = upWhereKeyOnly;
    FLockMode = lmRely;
    FRefreshMode = rmOnDemand;
    FCacheUpdateCommands = true;
    for (int B : {uoUpdateChangedFields, uoUpdateMode, uoLockMode, uoRefreshMode, uoCacheUpdateCommands})
        Unassign(B);
}

bool TZqUpdateOptions::RequestLive() const
{
    if (!Owner())
        return false;
    TZqFetchOptions *F = Owner()->GetFetchOptions();
    return F && F->Items().Contains(fiMeta) && !ReadOnly();
}

void TZqUpdateOptions::SetRequestLive(bool AValue)
{
    if (RequestLive() == AValue)
        return;
    TZqFetchOptions *F = Owner() ? Owner()->GetFetchOptions() : nullptr;
    if (F) {
        TZqFetchItems I = F->Items();
        if (AValue)
            I.Include(fiMeta);
        else
            I.Exclude(fiMeta);
        F->SetItems(I);
    }
    SetReadOnly(!AValue);
    SetUseProviderFlags(!AValue);
}

// ---- TZqResourceOptions ----------------------------------------------------------

TZqResourceOptions::TZqResourceOptions(IZqStanOptions *AOwner) : TZqCustomOptions(AOwner)
{
    TZqResourceOptions::ResetToDefaults();
}

TZqResourceOptions *TZqResourceOptions::OfParent(IZqStanOptions *P) { return P->GetResourceOptions(); }

void TZqResourceOptions::ResetToDefaults()
{
    TZqCustomOptions::ResetToDefaults();
    FParamCreate = FMacroCreate = FParamExpand = FMacroExpand = FEscapeExpand = FDisconnectable = true;
    FAsyncCmdMode = amBlocking;
    FAsyncCmdTimeout = CNoTimeout;
    FDirectExecute = false;
    FDefaultParamType = rtl::ptInput;
}

void TZqResourceOptions::AssignResource(const TZqResourceOptions &ASource)
{
    const TZqResourceOptions *S = &ASource;
    using R = TZqResourceOptions;
    CopyIfAssigned(*this, *S, roParamCreate, S->FParamCreate, &R::SetParamCreate);
    CopyIfAssigned(*this, *S, roMacroCreate, S->FMacroCreate, &R::SetMacroCreate);
    CopyIfAssigned(*this, *S, roParamExpand, S->FParamExpand, &R::SetParamExpand);
    CopyIfAssigned(*this, *S, roMacroExpand, S->FMacroExpand, &R::SetMacroExpand);
    CopyIfAssigned(*this, *S, roEscapeExpand, S->FEscapeExpand, &R::SetEscapeExpand);
    CopyIfAssigned(*this, *S, roDisconnectable, S->FDisconnectable, &R::SetDisconnectable);
    CopyIfAssigned(*this, *S, roAsyncCmdMode, S->FAsyncCmdMode, &R::SetAsyncCmdMode);
    CopyIfAssigned(*this, *S, roAsyncCmdTimeout, S->FAsyncCmdTimeout, &R::SetAsyncCmdTimeout);
    CopyIfAssigned(*this, *S, roDirectExecute, S->FDirectExecute, &R::SetDirectExecute);
    CopyIfAssigned(*this, *S, roDefaultParamType, S->FDefaultParamType, &R::SetDefaultParamType);
}

void TZqResourceOptions::Assign(const TZqCustomOptions *ASource)
{
    auto *S = dynamic_cast<const TZqResourceOptions *>(ASource);
    if (!S || S == this)
        return;
    AssignResource(*S);
}

#define ZQ_RESOURCE_OPTION(TYPE, NAME, BIT)                                                                    \
    TYPE TZqResourceOptions::NAME() const { return Read(&TZqResourceOptions::F##NAME, BIT, &OfParent); }    \
    void TZqResourceOptions::Set##NAME(TYPE AValue) { Write(&TZqResourceOptions::F##NAME, BIT, AValue); }

ZQ_RESOURCE_OPTION(bool, ParamCreate, roParamCreate)
ZQ_RESOURCE_OPTION(bool, MacroCreate, roMacroCreate)
ZQ_RESOURCE_OPTION(bool, ParamExpand, roParamExpand)
ZQ_RESOURCE_OPTION(bool, MacroExpand, roMacroExpand)
ZQ_RESOURCE_OPTION(bool, EscapeExpand, roEscapeExpand)
ZQ_RESOURCE_OPTION(bool, Disconnectable, roDisconnectable)
ZQ_RESOURCE_OPTION(TZqStanAsyncMode, AsyncCmdMode, roAsyncCmdMode)
ZQ_RESOURCE_OPTION(uint32_t, AsyncCmdTimeout, roAsyncCmdTimeout)
ZQ_RESOURCE_OPTION(bool, DirectExecute, roDirectExecute)
ZQ_RESOURCE_OPTION(rtl::TParamType, DefaultParamType, roDefaultParamType)
#undef ZQ_RESOURCE_OPTION

// ---- TZqTopResourceOptions -------------------------------------------------------

TZqTopResourceOptions::TZqTopResourceOptions(IZqStanOptions *AOwner) : TZqResourceOptions(AOwner)
{
    TZqTopResourceOptions::ResetToDefaults();
}

// The parent's resource options when they are top ones; a parent holding
// plain resource options leaves the top options at this object's values.
TZqTopResourceOptions *TZqTopResourceOptions::OfParent(IZqStanOptions *P)
{
    TZqResourceOptions *R = P->GetResourceOptions();
    return R ? R->AsTop() : nullptr;
}

void TZqTopResourceOptions::ResetToDefaults()
{
    TZqResourceOptions::ResetToDefaults();
    FMaxCursors = -1;
    FServerOutput = false;
    FServerOutputSize = 20000;
}

void TZqTopResourceOptions::Assign(const TZqCustomOptions *ASource)
{
    auto *R = dynamic_cast<const TZqResourceOptions *>(ASource);
    if (!R || R == this)
        return;
    AssignResource(*R);
    if (auto *S = dynamic_cast<const TZqTopResourceOptions *>(R)) {
        using T = TZqTopResourceOptions;
        CopyIfAssigned(*this, *S, roMaxCursors, S->FMaxCursors, &T::SetMaxCursors);
        CopyIfAssigned(*this, *S, roServerOutput, S->FServerOutput, &T::SetServerOutput);
        CopyIfAssigned(*this, *S, roServerOutputSize, S->FServerOutputSize, &T::SetServerOutputSize);
    }
}

int TZqTopResourceOptions::MaxCursors() const
{
    return Read(&TZqTopResourceOptions::FMaxCursors, roMaxCursors, &OfParent);
}
void TZqTopResourceOptions::SetMaxCursors(int AValue)
{
    Write(&TZqTopResourceOptions::FMaxCursors, roMaxCursors, AValue);
}
bool TZqTopResourceOptions::ServerOutput() const
{
    return Read(&TZqTopResourceOptions::FServerOutput, roServerOutput, &OfParent);
}
void TZqTopResourceOptions::SetServerOutput(bool AValue)
{
    Write(&TZqTopResourceOptions::FServerOutput, roServerOutput, AValue);
}
int TZqTopResourceOptions::ServerOutputSize() const
{
    return Read(&TZqTopResourceOptions::FServerOutputSize, roServerOutputSize, &OfParent);
}
void TZqTopResourceOptions::SetServerOutputSize(int AValue)
{
    Write(&TZqTopResourceOptions::FServerOutputSize, roServerOutputSize, AValue);
}

// ---- TZqTxOptions -----------------------------------------------------------------

void TZqTxOptions::SetAutoCommit(bool AValue)
{
    if (FAutoCommit == AValue)
        return;
    FAutoCommit = AValue;
    FChanges |= tcAutoCommit;
}

void TZqTxOptions::SetIsolation(TZqTxIsolation AValue)
{
    if (FIsolation == AValue)
        return;
    FIsolation = AValue;
    FChanges |= tcIsolation;
}

void TZqTxOptions::Assign(const TZqTxOptions &ASource)
{
    if (&ASource == this)
        return;
    SetAutoCommit(ASource.FAutoCommit);
    SetIsolation(ASource.FIsolation);
    FDisconnectAction = ASource.FDisconnectAction;
}

