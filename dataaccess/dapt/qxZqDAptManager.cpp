// The table adapter: see qxZqDAptManager.h.
#include "dataaccess/dapt/qxZqDAptManager.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanFastCode.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/CLocaleText.h"

using namespace dats;

namespace {

// Preconditions of the adapter guard what it posts: they raise in every
// build, so a caller's slip is an error, never a write of the wrong row.
const char *const CUnit = "qxZqDAptManager";

const std::vector<std::string> CWords{"DApt"};

bool SameName(const std::string &A, const std::string &B) { return ZqCompareText(A, B) == 0; }

// Each command gets its own forwarder, so that a command never keeps the
// adapter itself alive; the adapter detaches them when it lets go.
class TMappingHandler : public TZqObject, public virtual IZqPhysMappingHandler {
public:
    explicit TMappingHandler(TZqDAptTableAdapter *AAdapter) : FAdapter(AAdapter) {}
    int MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult) override
    {
        return FAdapter->MapTable(AKey, AKind, AResult);
    }
    int MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind, const TZqMappingKey &AColumnKey,
                  TZqMappingKeyKind AColumnKind, TZqColumnMapResult &AResult) override
    {
        return FAdapter->MapColumn(ATableKey, ATableKind, AColumnKey, AColumnKind, AResult);
    }

private:
    TZqDAptTableAdapter *FAdapter;
};

size_t Slot(TZqPhysRequest ARequest)
{
    ZQ_ASSERT(ARequest >= arSelect && ARequest <= arDeleteAll, CUnit);
    return size_t(ARequest - arSelect);
}

bool Has(TZqPhysUpdateRowOptions AOptions, TZqPhysUpdateRowOption AOption)
{
    return (AOptions & ZqUpdOpt(AOption)) != 0;
}

const char *RequestName(TZqPhysRequest ARequest)
{
    switch (ARequest) {
    case arInsert: return "Insert";
    case arUpdate: return "Update";
    case arDelete: return "Delete";
    case arLock: return "Lock";
    case arUnlock: return "Unlock";
    case arFetchRow: return "Fetch";
    default: return "";
    }
}

TZqDatSColumn *FindColumn(TZqDatSTable *ATable, const std::string &AName)
{
    const int I = ATable->Columns()->IndexOfName(AName);
    return I >= 0 ? ATable->Columns()->GetItem(I) : nullptr;
}

// The column a parameter name reads: "NEW_x"/"OLD_x" or a plain name.
TZqDatSColumn *ParamColumn(TZqDatSRow *ARow, const std::string &AName, TZqDatSRowVersion &AVersion)
{
    AVersion = rvCurrent;
    std::string Name = AName;
    if (Name.size() > 4 && ZqCompareText(std::string_view(Name).substr(0, 4), "NEW_") == 0) {
        Name.erase(0, 4);
    } else if (Name.size() > 4 && ZqCompareText(std::string_view(Name).substr(0, 4), "OLD_") == 0) {
        Name.erase(0, 4);
        AVersion = rvOriginal;
    }
    if (!ARow || !ARow->Table()) return nullptr;
    return FindColumn(ARow->Table(), Name);
}

// Writes values into a row as a load, so that a row that was unchanged
// before stays unchanged after.
class TRowWriter {
public:
    explicit TRowWriter(TZqDatSRow *ARow) : FRow(ARow), FWasUnchanged(ARow->RowState() == rsUnchanged)
    {
        FRow->Table()->BeginLoadData(6);
    }
    void Write(int AColumn, const rtl::Variant &AValue)
    {
        if (!FEditing && FRow->RowState() != rsDetached) {
            FRow->BeginEdit();
            FEditing = true;
        }
        FRow->SetDataFromVariant(AColumn, AValue);
    }
    ~TRowWriter()
    {
        if (FEditing) FRow->EndEdit();
        if (FEditing && FWasUnchanged) FRow->AcceptChanges(false);
        FRow->Table()->EndLoadData();
    }

private:
    TZqDatSRow *FRow;
    bool FWasUnchanged;
    bool FEditing = false;
};

} // namespace

// ---- parameters and rows -------------------------------------------------------

void ZqSetParamsFromRow(TZqParams *AParams, TZqDatSRow *ARow)
{
    if (!AParams || !ARow) return;
    for (int I = 0; I < AParams->Count(); ++I) {
        TZqParam *P = AParams->Items(I);
        if (P->ParamType() != rtl::ptUnknown && P->ParamType() != rtl::ptInput &&
            P->ParamType() != rtl::ptInputOutput)
            continue;
        TZqDatSRowVersion Version;
        if (TZqDatSColumn *C = ParamColumn(ARow, P->Name(), Version))
            P->SetValue(ARow->GetDataAsVariant(C->Index(), Version));
    }
}

void ZqSetRowFromParams(TZqDatSRow *ARow, TZqParams *AParams)
{
    if (!AParams || !ARow) return;
    TRowWriter W(ARow);
    for (int I = 0; I < AParams->Count(); ++I) {
        TZqParam *P = AParams->Items(I);
        if (P->ParamType() != rtl::ptOutput && P->ParamType() != rtl::ptInputOutput) continue;
        TZqDatSRowVersion Version;
        if (TZqDatSColumn *C = ParamColumn(ARow, P->Name(), Version)) W.Write(C->Index(), P->Value());
    }
}

void ZqMergeRowFromRow(TZqDatSRow *ATarget, TZqDatSRow *ASource, bool AClearFirst)
{
    TZqDatSColumnList *Src = ASource->Table()->Columns();
    const int DstCount = ATarget->Table()->Columns()->Count();
    TRowWriter W(ATarget);
    if (AClearFirst)
        for (int I = 0; I < DstCount; ++I) W.Write(I, rtl::Variant::Null());
    for (int I = 0; I < Src->Count(); ++I) {
        TZqDatSColumn *S = Src->GetItem(I);
        if (TZqDatSColumn *D = FindColumn(ATarget->Table(), S->Name())) W.Write(D->Index(), ASource->GetDataAsVariant(I));
    }
}

// ---- the adapter -----------------------------------------------------------------

TZqDAptTableAdapter::TZqDAptTableAdapter(TZqDAptTableAdapters *AList)
    : FColumnMappings(std::make_unique<TZqDAptColumnMappings>())
{
    if (AList) AList->Attach(this);
}

TZqDAptTableAdapter::~TZqDAptTableAdapter()
{
    for (auto &C : FCommands)
        if (C) {
            C->SetMappingHandler(TZqIntfPtr<IZqPhysMappingHandler>());
            C->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>());
        }
    SetDatSTable(nullptr);
    SetDatSManager(nullptr);
    if (FList) FList->Detach(this);
}

int32_t TZqDAptTableAdapter::_AddRef()
{
    const int32_t N = IncRefCount(1);
    if (FList && FList->Schema()) FList->Schema()->_AddRef();
    return N;
}

int32_t TZqDAptTableAdapter::_Release()
{
    if (FList) {
        const int32_t N = DecRefCount(1);
        // The schema adapter may free the list and with it this adapter.
        if (TZqDAptSchemaAdapter *S = FList->Schema()) S->_Release();
        return N;
    }
    return TZqObject::_Release();
}

TZqDAptSchemaAdapter *TZqDAptTableAdapter::Schema() const { return FList ? FList->Schema() : nullptr; }

TZqIntfPtr<IZqDAptTableAdapters> TZqDAptTableAdapter::GetTableAdapters()
{
    return TZqIntfPtr<IZqDAptTableAdapters>(FList);
}

std::string TZqDAptTableAdapter::GetName()
{
    return GetSourceRecordSetName() + ": " + ZqObjectTraceName(this);
}

TZqIntfPtr<IZqStanObject> TZqDAptTableAdapter::GetParent()
{
    return TZqIntfPtr<IZqStanObject>(Schema());
}

void TZqDAptTableAdapter::HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                                          std::unique_ptr<rtl::Exception> &AException)
{
    if (TZqIntfPtr<IZqStanErrorHandler> H = GetErrorHandler()) H->HandleException(AInitiator, AException);
}

TZqIntfPtr<IZqStanErrorHandler> TZqDAptTableAdapter::GetErrorHandler()
{
    if (FErrorHandler) return FErrorHandler;
    if (TZqDAptSchemaAdapter *S = Schema()) return S->GetErrorHandler();
    return TZqIntfPtr<IZqStanErrorHandler>();
}

TZqIntfPtr<IZqDAptUpdateHandler> TZqDAptTableAdapter::GetUpdateHandler()
{
    if (FUpdateHandler) return FUpdateHandler;
    if (TZqDAptSchemaAdapter *S = Schema()) return S->GetUpdateHandler();
    return TZqIntfPtr<IZqDAptUpdateHandler>();
}

TZqDatSTable *TZqDAptTableAdapter::GetDatSTable()
{
    if (FDatSTable || !FList) return FDatSTable;
    const std::string Name = GetDatSTableName();
    if (Name.empty()) return nullptr;
    TZqDatSManager *M = GetDatSManager();
    const int I = M->Tables()->IndexOfName(Name);
    return I >= 0 ? M->Tables()->GetItem(I) : nullptr;
}

TZqDatSManager *TZqDAptTableAdapter::GetDatSManager()
{
    if (TZqDAptSchemaAdapter *S = Schema()) return S->GetDatSManager();
    return FDatSManager;
}

void TZqDAptTableAdapter::SetSourceRecordSetID(int32_t AValue)
{
    FSourceRecordSetID = AValue;
    if (AValue >= 0) FSourceRecordSetName.clear();
}

std::string TZqDAptTableAdapter::GetSourceRecordSetName()
{
    if (!FSourceRecordSetName.empty() || !FCommands[0]) return FSourceRecordSetName;
    return FCommands[0]->GetSourceRecordSetName();
}

void TZqDAptTableAdapter::SetSourceRecordSetName(const std::string &AValue)
{
    FSourceRecordSetName = AValue;
    if (!AValue.empty()) FSourceRecordSetID = -1;
}

std::string TZqDAptTableAdapter::GetUpdateTableName()
{
    return FUpdateTableName.empty() ? GetSourceRecordSetName() : FUpdateTableName;
}

std::string TZqDAptTableAdapter::GetDatSTableName()
{
    if (!FDatSTableName.empty()) return FDatSTableName;
    // Binding a table drops the stored name: the bound table's own name is
    // the one it is known by (the schema adapter finds adapters by it).
    if (FDatSTable) return FDatSTable->Name();
    return GetSourceRecordSetName();
}

void TZqDAptTableAdapter::SetDatSTableName(const std::string &AValue)
{
    if (AValue == FDatSTableName) return;
    SetDatSTable(nullptr);
    FDatSTableName = AValue;
}

void TZqDAptTableAdapter::SetDatSTable(TZqDatSTable *AValue)
{
    if (AValue == FDatSTable) return;
    FDatSTable.Reset(AValue);
    FDatSTableName.clear();
}

TZqDAptColumnMappings *TZqDAptTableAdapter::GetColumnMappings()
{
    FColumnMappings->SetDatSTable(GetDatSTable());
    return FColumnMappings.get();
}

void TZqDAptTableAdapter::SetDatSManager(TZqDatSManager *AValue)
{
    if (AValue == FDatSManager) return;
    SetDatSTable(nullptr);
    FDatSManager.Reset(AValue);
}

TZqIntfPtr<IZqPhysCommand> TZqDAptTableAdapter::GetCommand(TZqPhysRequest ARequest) const
{
    return FCommands[Slot(ARequest)];
}

TZqIntfPtr<IZqPhysMappingHandler> TZqDAptTableAdapter::NewMappingHandler()
{
    return TZqIntfPtr<IZqPhysMappingHandler>(new TMappingHandler(this));
}

void TZqDAptTableAdapter::SetCommand(TZqPhysRequest ARequest, const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    TZqIntfPtr<IZqPhysCommand> &Kept = FCommands[Slot(ARequest)];
    if (Kept.Get() == ACommand.Get()) return;
    if (Kept) {
        Kept->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>());
        Kept->SetMappingHandler(TZqIntfPtr<IZqPhysMappingHandler>());
    }
    Kept = ACommand;
    if (Kept) {
        Kept->SetErrorHandler(GetErrorHandler());
        Kept->SetMappingHandler(NewMappingHandler());
        FGenerated &= uint16_t(~(1u << ARequest));
    } else {
        FGenerated |= uint16_t(1u << ARequest);
    }
}

void TZqDAptTableAdapter::SetSelectCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    if (FCommands[0].Get() == ACommand.Get()) return;
    SetCommand(arSelect, ACommand);
    DropGenerated();
}

void TZqDAptTableAdapter::DropGenerated()
{
    for (int R = arInsert; R <= arDeleteAll; ++R)
        if (IsGenerated(TZqPhysRequest(R)) && FCommands[Slot(TZqPhysRequest(R))]) {
            FCommands[Slot(TZqPhysRequest(R))]->SetMappingHandler(TZqIntfPtr<IZqPhysMappingHandler>());
            FCommands[Slot(TZqPhysRequest(R))].Reset();
        }
}

IZqStanOptions *TZqDAptTableAdapter::GetOptions() { return FCommands[0] ? FCommands[0]->GetOptions() : nullptr; }

void TZqDAptTableAdapter::SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue)
{
    FErrorHandler = AValue;
    RefreshCommandHandlers();
}

void TZqDAptTableAdapter::RefreshCommandHandlers()
{
    const TZqIntfPtr<IZqStanErrorHandler> H = GetErrorHandler();
    for (auto &C : FCommands)
        if (C) {
            C->SetErrorHandler(H);
            C->SetMappingHandler(NewMappingHandler());
        }
}

void TZqDAptTableAdapter::SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue)
{
    FDescribeHandler = AValue;
    DropGenerated();
}

bool TZqDAptTableAdapter::CheckSelectCommand()
{
    // The error handler may clear the error: the caller then does nothing.
    if (!FCommands[0]) ZqRaiseError(this, CWords, 402);
    return bool(FCommands[0]);
}

TZqDatSTable *TZqDAptTableAdapter::Define()
{
    if (!CheckSelectCommand()) return nullptr;
    TZqDatSManager *M = GetDatSManager();
    TZqDatSTable *Bound = GetDatSTable();
    TZqDatSTable *T = M ? FCommands[0]->Define(M, Bound, FMergeMode) : FCommands[0]->Define(Bound, FMergeMode);
    // A table the command made outside any manager has no other owner: the
    // adapter's reference is the one that frees it.
    if (T && !FDatSTable) {
        if (!M && !Bound) T->CountRef(0);
        SetDatSTable(T);
    }
    return T;
}

void TZqDAptTableAdapter::Fetch(bool AAll)
{
    if (CheckSelectCommand()) FCommands[0]->Fetch(GetDatSTable(), AAll);
}

void TZqDAptTableAdapter::Reset()
{
    for (auto &C : FCommands)
        if (C) C->Disconnect();
    DropGenerated();
}

void TZqDAptTableAdapter::UpdateRow(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysRequest ARequest,
                                    TZqPhysUpdateRowOptions AOptions)
{
    ZQ_ASSERT(ARow || Has(AOptions, uoNoClntRecord), CUnit);
    if (ARequest == arNone) return;
    if (ARequest == arFromRow) {
        switch (ARow ? ARow->RowState() : rsDetached) {
        case rsInserted: ARequest = arInsert; break;
        case rsDeleted: ARequest = arDelete; break;
        case rsModified: ARequest = arUpdate; break;
        default: return;
        }
    }
    ProcessRequest(ARow, AAction, -1, TZqFetchItems(), AOptions, ARequest);
}

void TZqDAptTableAdapter::Lock(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions)
{
    ZQ_ASSERT(ARow || Has(AOptions, uoNoClntRecord), CUnit);
    ProcessRequest(ARow, AAction, -1, TZqFetchItems(), AOptions, arLock);
}

void TZqDAptTableAdapter::UnLock(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions)
{
    ZQ_ASSERT(ARow || Has(AOptions, uoNoClntRecord), CUnit);
    ProcessRequest(ARow, AAction, -1, TZqFetchItems(), AOptions, arUnlock);
}

void TZqDAptTableAdapter::FetchRow(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn)
{
    FetchRow(ARow, AAction, AItems, AColumn, false);
}

void TZqDAptTableAdapter::FetchRow(TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn,
                                   bool AClearFirst)
{
    ZQ_ASSERT(ARow, CUnit);
    const bool Saved = FClearOnFetch;
    FClearOnFetch = AClearFirst;
    try {
        ProcessRequest(ARow, AAction, AColumn, AItems, 0, arFetchRow);
    } catch (...) {
        FClearOnFetch = Saved;
        throw;
    }
    FClearOnFetch = Saved;
}

int TZqDAptTableAdapter::ApplyUpdates(int AMaxErrors)
{
    if (!CheckSelectCommand()) return 0;
    TZqDAptUpdatesJournalProcessor P(this);
    return P.Process(AMaxErrors);
}

bool TZqDAptTableAdapter::Reconcile()
{
    if (!CheckSelectCommand()) return true;
    TZqDAptUpdatesJournalProcessor P(this);
    return P.Reconcile();
}

// ---- mapping --------------------------------------------------------------------

bool TZqDAptTableAdapter::MatchesName(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    switch (AKind) {
    case mkNone: return true;
    case mkSourceID: return FSourceRecordSetID == AKey.ID;
    case mkSourceName: return SameName(GetSourceRecordSetName(), AKey.Name);
    case mkDatSName: return SameName(GetDatSTableName(), AKey.Name);
    case mkDatSColumn: break;
    }
    return false;
}

bool TZqDAptTableAdapter::MatchesTable(TZqDatSTable *ATable)
{
    if (ATable == FDatSTable) return true;
    const std::string SetName = GetSourceRecordSetName(), DatSName = GetDatSTableName();
    // An adapter that names nothing reads whatever its commands bring.
    if (FSourceRecordSetID < 0 && SetName.empty() && DatSName.empty()) return true;
    return (FSourceRecordSetID != -1 && ATable->SourceID() == FSourceRecordSetID) ||
           (!SetName.empty() && SameName(ATable->SourceName(), SetName)) ||
           (!DatSName.empty() && SameName(ATable->Name(), DatSName));
}

bool TZqDAptTableAdapter::MatchesKey(const TZqMappingKey &AKey, TZqMappingKeyKind AKind)
{
    return AKind == mkDatSTable ? AKey.Table && MatchesTable(AKey.Table) : MatchesName(AKey, AKind);
}

int TZqDAptTableAdapter::MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult)
{
    // Inside a schema adapter another adapter may own the name; the asking
    // adapter answers first, so that adapters with like names still read
    // their own commands.
    if (!MatchesKey(AKey, AKind)) return Schema() && AKind != mkNone ? Schema()->MapTable(AKey, AKind, AResult) : 2;
    return AnswerTable(AResult);
}

int TZqDAptTableAdapter::AnswerTable(TZqTableMapResult &AResult)
{
    if (FSourceRecordSetID != -1) AResult.SourceID = FSourceRecordSetID;
    std::string Name = GetSourceRecordSetName();
    if (!Name.empty()) AResult.SourceName = Name;
    Name = GetDatSTableName();
    if (!Name.empty()) AResult.DatSName = Name;
    Name = GetUpdateTableName();
    if (!Name.empty()) AResult.UpdateName = Name;
    if (TZqDatSTable *T = GetDatSTable()) AResult.DatSTable = T;
    return 1;
}

int TZqDAptTableAdapter::MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind,
                                   const TZqMappingKey &AColumnKey, TZqMappingKeyKind AColumnKind,
                                   TZqColumnMapResult &AResult)
{
    if (!MatchesKey(ATableKey, ATableKind))
        return Schema() ? Schema()->MapColumn(ATableKey, ATableKind, AColumnKey, AColumnKind, AResult) : 2;
    return AnswerColumn(AColumnKey, AColumnKind, AResult);
}

int TZqDAptTableAdapter::AnswerColumn(const TZqMappingKey &AColumnKey, TZqMappingKeyKind AColumnKind,
                                      TZqColumnMapResult &AResult)
{
    TZqDAptColumnMappings *M = GetColumnMappings();
    if (M->Count() == 0) return 0;
    TZqDAptColumnMapping *Item = M->Lookup(AColumnKey, AColumnKind);
    // Not mapped; the driver asks by name after a position.
    if (!Item) return 2;
    Item->FillResult(AResult);
    return 1;
}

// ---- row requests ----------------------------------------------------------------

void TZqDAptTableAdapter::RaiseCount(TZqPhysRequest ARequest, int ACount)
{
    std::string Name = RequestName(ARequest);
    std::string Past = Name;
    for (auto &Ch : Past) Ch = rtl::CLowCase(Ch);
    // The blob update has no name of its own: its empty name still gets a
    // suffix, and nothing reads before the first character.
    Past += !Past.empty() && Past.back() == 'e' ? "d" : "ed";
    // Raised inside a row request: the error handler sees it once, as the
    // row's failure.
    ZqRaiseError(nullptr, CWords, 400, {Name, Past, ACount});
}

void TZqDAptTableAdapter::ProcessRequest(TZqDatSRow *ARow, TZqErrorAction &AAction, int AColumn,
                                         TZqFetchItems AItems, TZqPhysUpdateRowOptions AOptions,
                                         TZqPhysRequest ARequest)
{
    AAction = eaExitFailure;
    if (!CheckSelectCommand()) return;
    AAction = eaApplied;
    TZqUpdateOptions *Upd = GetOptions()->GetUpdateOptions();
    if (ARequest == arLock) {
        const bool Deferred = Has(AOptions, uoDeferedLock), OneMom = Has(AOptions, uoOneMomLock);
        if (Upd->LockPoint() == lpDeferred ? !(Deferred || OneMom) : (Deferred && !OneMom)) return;
    }
    TZqIntfPtr<IZqPhysConnection> Conn;
    FCommands[0]->GetConnection(Conn);
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    AAction = eaDefault;

    const size_t S = Slot(ARequest);
    TZqIntfPtr<IZqPhysCommand> Cmd;
    bool Keep = false;
    const bool UserCommand = FCommands[S] && !IsGenerated(ARequest);
    if (UserCommand) {
        Cmd = FCommands[S];
    } else {
        const bool Rely = Upd->CacheUpdateCommands() && Upd->LockMode() == lmRely;
        Keep = Rely && ((ARequest == arDelete && Upd->UpdateMode() == upWhereKeyOnly) ||
                        (ARequest == arInsert && !Upd->UpdateChangedFields()) ||
                        (ARequest == arUpdate && !Upd->UpdateChangedFields() && Upd->UpdateMode() == upWhereKeyOnly));
        if (Keep) Cmd = FCommands[S];
        else if (FCommands[S]) SetCommand(ARequest, TZqIntfPtr<IZqPhysCommand>());
    }

    int LockSerial = -1;
    bool Ran = false, HBlobs = false;
    const TZqIntfPtr<IZqDAptUpdateHandler> UpdHandler = GetUpdateHandler();
    const TZqIntfPtr<IZqStanErrorHandler> ErrHandler = GetErrorHandler();
    do {
        try {
            if (UpdHandler && !FInUpdateHandler) {
                FInUpdateHandler = true;
                try {
                    UpdHandler->UpdateRowHandler(ARow, ARequest, AAction, AOptions);
                } catch (...) {
                    FInUpdateHandler = false;
                    throw;
                }
                FInUpdateHandler = false;
                if (AAction != eaDefault) Keep = false;
            }
            if (AAction == eaRetry || AAction == eaDefault) {
                AAction = eaDefault;
                if (!Cmd) {
                    bool Generate = false;
                    switch (ARequest) {
                    case arInsert:
                    case arUpdateHBlobs:
                        if (!Upd->EnableInsert()) ZqRaiseError(nullptr, CWords, 406);
                        Generate = true;
                        break;
                    case arUpdate:
                        if (!Upd->EnableUpdate()) ZqRaiseError(nullptr, CWords, 405);
                        Generate = true;
                        break;
                    case arDelete:
                        if (!Upd->EnableDelete()) ZqRaiseError(nullptr, CWords, 407);
                        Generate = true;
                        break;
                    case arLock:
                        if (Upd->LockMode() == lmRely) break;
                        // A row locked already has its transaction: a second
                        // one would be left open by the row's single unlock.
                        if (ARow && ARow->GetLocked() && !Has(AOptions, uoNoClntRecord)) break;
                        if (Meta->GetTxSupported() &&
                            (!Conn->GetInTransaction() || Meta->GetTxNested() || Meta->GetTxSavepoints()))
                            LockSerial = Conn->StartTransaction();
                        Generate = !Has(AOptions, uoNoSrvRecord);
                        break;
                    case arUnlock:
                        Generate = Upd->LockMode() != lmRely && !Has(AOptions, uoNoSrvRecord) &&
                                   (Has(AOptions, uoNoClntRecord) || (ARow && ARow->GetLocked()));
                        break;
                    case arFetchRow: {
                        const TZqDatSRowState St = ARow->RowState();
                        Generate = St == rsInserted || St == rsDeleted || St == rsModified || St == rsUnchanged;
                        break;
                    }
                    default: break;
                    }
                    if (Generate)
                        Cmd = GenerateRowCommand(Conn.Get(), ARow, AColumn, AItems, AOptions, ARequest, Keep, HBlobs);
                    if (!Cmd)
                        AAction = ARequest == arInsert || ARequest == arDelete ? eaFail : eaApplied;
                }
                if (Cmd) {
                    ExecuteRowCommand(Cmd.Get(), ARow, AItems, AOptions, ARequest);
                    Ran = true;
                }
            }
            const bool Done = (AAction == eaApplied && !Cmd) || (AAction == eaDefault && Ran);
            switch (ARequest) {
            case arLock:
                if (Done && !Has(AOptions, uoNoClntRecord) && Upd->LockMode() != lmRely && ARow && !ARow->GetLocked())
                {
                    ARow->Lock(LockSerial);
                    FLockSerials[ARow->RowID()] = LockSerial;
                }
                AAction = eaApplied;
                break;
            case arUnlock:
                if (Done && !Has(AOptions, uoNoClntRecord) && ARow) {
                    // Accepting or rejecting the row clears its lock mark:
                    // what the lock was is read first.
                    const bool WasLocked = ARow->GetLocked();
                    if (Has(AOptions, uoImmediateUpd)) {
                        if (Has(AOptions, uoCancelUnlock)) ARow->RejectChanges();
                        else ARow->AcceptChanges();
                    }
                    bool OwnTx = false;
                    if (Upd->LockMode() != lmRely && WasLocked) {
                        auto It = FLockSerials.find(ARow->RowID());
                        OwnTx = It != FLockSerials.end() && Conn->GetTxSerialID() == It->second;
                        if (It != FLockSerials.end()) FLockSerials.erase(It);
                        if (ARow->GetLocked()) ARow->Unlock();
                    }
                    if (Upd->LockMode() != lmRely && Meta->GetTxSupported() && Conn->GetInTransaction() && OwnTx) {
                        if (Has(AOptions, uoCancelUnlock)) Conn->Rollback();
                        else Conn->Commit();
                    }
                }
                AAction = eaApplied;
                break;
            case arInsert:
            case arUpdate:
                if (Cmd && ARow && Upd->RefreshMode() != rmManual && !Meta->GetInlineRefreshSupported()) {
                    TZqErrorAction A = eaDefault;
                    // The re-read finds the row by the values just posted.
                    const uint8_t Saved = FRefreshAfter;
                    // An inserted row has no original values: it is found
                    // by its current ones, and so is an updated row (its
                    // key may have changed), which re-reads only what the
                    // server may have changed. rmAll re-reads every column.
                    FRefreshAfter = ARequest == arInsert           ? goAfterInsert
                                    : Upd->RefreshMode() == rmAll ? uint8_t(0)
                                                                   : goAfterUpdate;
                    try {
                        ProcessRequest(ARow, A, -1, FCommands[0]->GetOptions()->GetFetchOptions()->Items(), 0,
                                       arFetchRow);
                    } catch (...) {
                        FRefreshAfter = Saved;
                        throw;
                    }
                    FRefreshAfter = Saved;
                }
                if (Cmd && ARequest == arInsert && HBlobs && !Meta->GetLocatorLobs()) {
                    TZqErrorAction A = eaDefault;
                    ProcessRequest(ARow, A, -1, TZqFetchItems(),
                                   TZqPhysUpdateRowOptions(AOptions & ~(ZqUpdOpt(uoNoSrvRecord) | ZqUpdOpt(uoNoClntRecord))),
                                   arUpdateHBlobs);
                }
                break;
            default:
                AAction = eaApplied;
                break;
            }
        } catch (...) {
            TZqErrorAction Act = eaFail;
            if (ErrHandler) {
                // Every failure reaches the handler, whatever raised it (a
                // handler of our own, the toolkit, the standard library);
                // one that is not of the library's family travels as one
                // of its plain exceptions with the same message.
                std::unique_ptr<EZqException> Plain;
                EZqException *Cause = nullptr;
                try {
                    throw;
                } catch (EZqException &E) {
                    Cause = &E;
                } catch (const std::exception &E) {
                    Plain = std::make_unique<EZqException>(0, E.what());
                } catch (...) {
                    Plain = std::make_unique<EZqException>(0, "Unknown exception");
                }
                if (!Cause) Cause = Plain.get();
                std::unique_ptr<rtl::Exception> X(new EZqDAptRowUpdateException(ARequest, ARow, eaFail, Cause));
                ErrHandler->HandleException(TZqIntfPtr<IZqStanObject>(static_cast<IZqStanObject *>(this)), X);
                auto *U = dynamic_cast<EZqDAptRowUpdateException *>(X.get());
                Act = U ? U->Action : AAction;
            }
            AAction = Act == eaDefault ? eaFail : Act;
            if (AAction == eaFail) throw;
        }
    } while (AAction == eaRetry);
    if (AAction == eaFail) ZqRaiseError(this, CWords, 404);
    if (Keep && !UserCommand) {
        if (Cmd) {
            FCommands[S] = Cmd;
            FGenerated |= uint16_t(1u << ARequest);
        } else {
            FGenerated &= uint16_t(~(1u << ARequest));
        }
    }
}

TZqIntfPtr<IZqPhysCommand> TZqDAptTableAdapter::GenerateRowCommand(IZqPhysConnection *AConn, TZqDatSRow *ARow,
                                                                   int AColumn, TZqFetchItems AItems,
                                                                   TZqPhysUpdateRowOptions AOptions,
                                                                   TZqPhysRequest ARequest, bool AKeep, bool &AHBlobs)
{
    TZqIntfPtr<IZqPhysCommand> Cmd;
    AConn->CreateCommand(Cmd);
    TZqResourceOptions *Res = Cmd->GetOptions()->GetResourceOptions();
    Res->SetParamCreate(false);
    Res->SetMacroCreate(false);
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    AConn->CreateCommandGenerator(Gen, FCommands[0]);
    if (!Gen) return TZqIntfPtr<IZqPhysCommand>();
    IZqStanOptions *SelOpts = FCommands[0]->GetOptions();
    Gen->SetOptions(SelOpts);
    TZqDatSTable *Table = ARow ? ARow->Table() : GetDatSTable();
    Gen->SetTable(Table);
    Gen->SetRow(ARow);
    Gen->SetParams(Cmd->GetParams());
    Gen->SetColumn(AColumn >= 0 && Table ? Table->Columns()->GetItem(AColumn) : nullptr);
    uint8_t GenOpts = goOthers;
    if (AItems.Contains(fiBlobs)) GenOpts |= goBlobs;
    if (AItems.Contains(fiDetails)) GenOpts |= goDetails;
    (void)AOptions;
    // The update table and column names come through the mapping handler:
    // this adapter's names and its column mappings.
    Gen->SetMappingHandler(NewMappingHandler());
    Gen->SetDescribeHandler(FDescribeHandler);
    // Row posts write every kind of column and find the row by its
    // original values; the generator's own default would also ask for the
    // after-post refresh forms, whose WHERE reads the current values (a
    // deleted row has none, a changed key names another row).
    if (ARequest == arInsert || ARequest == arUpdate || ARequest == arDelete)
        Gen->SetGenOptions(uint8_t(goBlobs | goDetails | goOthers));
    std::string Text;
    switch (ARequest) {
    case arInsert: Text = Gen->GenerateInsert(); break;
    case arUpdate: Text = Gen->GenerateUpdate(); break;
    case arDelete: Text = Gen->GenerateDelete(); break;
    case arLock:
        // The lock reads back the row's own columns to compare them.
        Gen->SetGenOptions(GenOpts);
        Text = Gen->GenerateLock();
        break;
    case arUnlock: Text = Gen->GenerateUnLock(); break;
    case arFetchRow:
        Gen->SetGenOptions(uint8_t(GenOpts | goBlobs | goDetails | FRefreshAfter));
        Text = Gen->GenerateSelect();
        break;
    case arUpdateHBlobs: Text = Gen->GenerateUpdateHBlobs(); break;
    default: break;
    }
    AHBlobs = Gen->GetHasLocatorLob();
    if (Text.empty()) return TZqIntfPtr<IZqPhysCommand>();
    Cmd->SetCommandText(Text);
    Cmd->SetCommandKind(Gen->GetCommandKind());
    IZqStanOptions *Own = Cmd->GetOptions();
    Own->GetFetchOptions()->Assign(SelOpts->GetFetchOptions());
    Own->GetFormatOptions()->Assign(SelOpts->GetFormatOptions());
    Own->GetUpdateOptions()->Assign(SelOpts->GetUpdateOptions());
    Own->GetResourceOptions()->Assign(SelOpts->GetResourceOptions());
    Res = Own->GetResourceOptions();
    if (Res->AsyncCmdMode() == amAsync) Res->SetAsyncCmdMode(amBlocking);
    if (ARequest == arLock && SelOpts->GetUpdateOptions()->LockMode() == lmPessimistic &&
        !SelOpts->GetUpdateOptions()->LockWait()) {
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        AConn->CreateMetadata(Meta);
        Res->SetAsyncCmdTimeout(!Meta->GetDialectFlagB() && Meta->GetAsyncAbortSupported() ? 1000 : -1);
    }
    Res->SetParamCreate(false);
    Res->SetMacroCreate(false);
    Res->SetDisconnectable(true);
    Res->SetDirectExecute(!AKeep);
    TZqFetchOptions *F = Own->GetFetchOptions();
    F->SetMode(fmExactRecsMax);
    F->SetRecsMax(1);
    TZqFetchItems Items;
    if (AItems.Contains(fiBlobs)) Items.Include(fiBlobs);
    if (AItems.Contains(fiDetails)) Items.Include(fiDetails);
    F->SetItems(Items);
    F->SetCache(TZqFetchItems());
    F->SetAutoClose(true);
    Cmd->SetMappingHandler(NewMappingHandler());
    return Cmd;
}

void TZqDAptTableAdapter::ExecuteRowCommand(IZqPhysCommand *ACommand, TZqDatSRow *ARow, TZqFetchItems AItems,
                                            TZqPhysUpdateRowOptions AOptions, TZqPhysRequest ARequest)
{
    (void)AOptions;
    ACommand->CloseAll();
    const TZqIntfPtr<IZqStanErrorHandler> ErrHandler = GetErrorHandler();
    const bool LentHandler = !ACommand->GetErrorHandler() && ErrHandler;
    if (LentHandler) ACommand->SetErrorHandler(ErrHandler);
    TZqUpdateOptions *Upd = ACommand->GetOptions()->GetUpdateOptions();
    const bool Count = Upd->CountUpdatedRecords();
    auto Cleanup = [&] {
        ACommand->CloseAll();
        if (LentHandler) ACommand->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>());
    };
    try {
        const TZqPhysCommandKind Kind = ACommand->GetCommandKind();
        if (Kind == skStoredProc || Kind == skStoredProcWithCrs || Kind == skStoredProcNoCrs) {
            if (ACommand->GetState() == 0) ACommand->Prepare();
            ZqSetParamsFromRow(ACommand->GetParams(), ARow);
        } else {
            ZqSetParamsFromRow(ACommand->GetParams(), ARow);
            if (ACommand->GetState() == 0) ACommand->Prepare();
        }
        ACommand->SetSourceRecordSetName(FCommands[0]->GetSourceRecordSetName());
        if (Kind != skSelect && Kind != skSelectForUpdate && Kind != skStoredProcWithCrs) {
            ACommand->Execute(0, 0);
            if (ACommand->GetRowsAffectedReal() && ACommand->GetRowsAffected() != 1 && Count)
                RaiseCount(ARequest, ACommand->GetRowsAffected());
            if (ARow && (ARequest == arInsert || ARequest == arUpdate || ARequest == arFetchRow ||
                         ARequest == arUpdateHBlobs))
                ZqSetRowFromParams(ARow, ACommand->GetParams());
            ACommand->SetNextRecordSet(true);
        }
        for (;;) {
            ACommand->Open();
            if (ACommand->GetState() != 3) break;
            std::unique_ptr<TZqDatSTable> Temp(new TZqDatSTable());
            ACommand->Define(Temp.get(), mmReset);
            ACommand->Fetch(Temp.get(), true);
            const int N = Temp->Rows()->Count();
            if (ARequest == arLock) {
                bool Equal = N == 1 && ARow;
                // The server row is compared with what the client last read:
                // a row locked while (or after) it is edited must not fail
                // for its own pending change.
                const TZqDatSRowVersion Version = ARow && ARow->GetBuffer(rvOriginal) ? rvOriginal : rvCurrent;
                if (Equal)
                    for (int I = 0; I < Temp->Columns()->Count() && Equal; ++I) {
                        TZqDatSColumn *C = FindColumn(ARow->Table(), Temp->Columns()->GetItem(I)->Name());
                        Equal = !C || Temp->Rows()->GetItem(0)->GetDataAsVariant(I) ==
                                          ARow->GetDataAsVariant(C->Index(), Version);
                    }
                if (!Equal && Count) RaiseCount(ARequest, N);
            } else if (ARequest == arInsert || ARequest == arUpdate || ARequest == arFetchRow) {
                if (N != 1 && Count) RaiseCount(ARequest, N);
                if (N > 0 && ARow)
                    ZqMergeRowFromRow(ARow, Temp->Rows()->GetItem(0), ARequest == arFetchRow && FClearOnFetch);
            }
            (void)AItems;
            Temp.reset();
            ACommand->SetNextRecordSet(true);
            ACommand->Close();
        }
    } catch (EZqDBEngineException &E) {
        if (ARow && ARequest >= arInsert && ARequest <= arFetchRow) ARow->SetRowError(&E);
        Cleanup();
        if (E.Kind() == 2) ZqRaiseError(nullptr, CWords, 401);
        if (E.Kind() == 1) {
            if (Count) RaiseCount(ARequest, ACommand->GetRowsAffected());
            return;
        }
        throw;
    } catch (...) {
        Cleanup();
        throw;
    }
    Cleanup();
}
