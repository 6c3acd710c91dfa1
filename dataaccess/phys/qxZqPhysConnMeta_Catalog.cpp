// qxZqPhysConnMeta_Catalog: the catalog views of the connection metadata and
// the per-connection catalog cache under them.
//
// The cache (MetaCache) holds one table per catalog query kind, named
// "_Zq_#" + connection definition name + "#TABLES" and so on. A cached view
// is a filtered view of that table for one object (a table, an index, a
// package, a procedure). When the view is empty, a metadata command of the
// kind runs the catalog function for the object and appends its rows; rows
// are never removed, so asking again about the same object finds them and
// runs nothing. The cache lives as long as this metadata object, which the
// connection drops (and so forgets the catalog) on every open and close.
//
// What a metadata command receives (the driver's catalog commands read
// these):
//   kinds 2, 3, 5, 7 (about one table): the table in CommandText;
//   kinds 4, 6, 8 (a part of a table): the table in BaseObjectName, the index
//     or foreign key (none for 6) in CommandText;
//   kinds 10, 11: the package (if any) in BaseObjectName, the procedure (11)
//     in CommandText and its number in Overload;
//   always: CatalogName and SchemaName. Names arrive normalised, and
//     CommandText quoted where the dialect needs it, so that decoding it with
//     ParseObjName (dequoting, with the command) gives the parts back.
#include <algorithm>
#include <cctype>
#include <utility>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "platform/rtl/SysUtils.h"

namespace {

bool HasPart(TZqPhysNameParts AParts, TZqPhysNamePart APart) { return (AParts & ZqNamePart(APart)) != 0; }

// A text as a string literal of the filter language.
std::string Literal(const std::string &AValue)
{
    std::string R = "'";
    for (char C : AValue) {
        if (C == '\'') R += '\'';
        R += C;
    }
    return R + "'";
}

// The column a kind's pattern applies to.
const char *PatternColumn(TZqPhysMetaInfoKind AKind)
{
    switch (AKind) {
    case mikIndexes: case mikPrimaryKey: return "INDEX_NAME";
    case mikForeignKeys: return "FKEY_NAME";
    case mikProcs: return "PROC_NAME";
    case mikProcArgs: return "PARAM_NAME";
    default: return "COLUMN_NAME";
    }
}

// The column of the second name of a kind (none for the others).
const char *ObjectColumn(TZqPhysMetaInfoKind AKind)
{
    switch (AKind) {
    case mikIndexFields: return "INDEX_NAME";
    case mikForeignKeyFields: return "FKEY_NAME";
    case mikProcArgs: return "PROC_NAME";
    default: return nullptr;
    }
}

bool IsProcKind(TZqPhysMetaInfoKind AKind) { return AKind == mikProcs || AKind == mikProcArgs || AKind == mikPackages; }

// A procedure name written "name;n" names overload n (an overload number
// fits 16 bits; a longer tail of digits is part of the name).
void SplitOverload(std::string &AProc, int &AOverload)
{
    const size_t P = AProc.rfind(';');
    if (P == std::string::npos || P + 1 >= AProc.size() || AProc.size() - P - 1 > 5) return;
    int N = 0;
    for (size_t I = P + 1; I < AProc.size(); ++I) {
        if (!std::isdigit(static_cast<unsigned char>(AProc[I]))) return;
        N = N * 10 + (AProc[I] - '0');
    }
    if (N > 65535) return;
    AOverload = N;
    AProc.erase(P);
}

// A metadata command of the kind on the connection.
TZqIntfPtr<IZqPhysCommand> NewCatalogCommand(TZqPhysConnection *AConn, TZqPhysMetaInfoKind AKind)
{
    TZqIntfPtr<IZqPhysCommand> Cmd;
    AConn->CreateCommand(Cmd);
    // The caller waits for the answer: an asynchronous mode inherited from
    // the connection would return before the rows are there.
    TZqResourceOptions *Res = Cmd->GetOptions()->GetResourceOptions();
    if (Res->AsyncCmdMode() == amAsync) Res->SetAsyncCmdMode(amBlocking);
    Cmd->SetMetaInfoKind(AKind);
    return Cmd;
}

} // namespace

// ---- the view handle ------------------------------------------------------------------------

TZqPhysMetaView::TZqPhysMetaView(TZqDatSView *AView, TOwnership AOwnership,
                                 const TZqIntfPtr<IZqPhysConnectionMetadata> &AKeep, const std::string &ACacheKey)
    : FView(AView), FOwnership(AOwnership), FKeep(AKeep), FCacheKey(ACacheKey)
{
}

TZqPhysMetaView::TZqPhysMetaView(TZqPhysMetaView &&AOther) noexcept
    : FView(std::exchange(AOther.FView, nullptr)), FOwnership(std::exchange(AOther.FOwnership, voShared)),
      FKeep(std::move(AOther.FKeep)), FCacheKey(std::move(AOther.FCacheKey))
{
}

TZqPhysMetaView &TZqPhysMetaView::operator=(TZqPhysMetaView &&AOther) noexcept
{
    if (this != &AOther) {
        Free();
        FView = std::exchange(AOther.FView, nullptr);
        FOwnership = std::exchange(AOther.FOwnership, voShared);
        FKeep = std::move(AOther.FKeep);
        FCacheKey = std::move(AOther.FCacheKey);
    }
    return *this;
}

TZqPhysMetaView::~TZqPhysMetaView() { Free(); }

void TZqPhysMetaView::Free() noexcept
{
    // The view goes before the reference that keeps its table alive.
    if (FView) {
        if (FOwnership == voTable) delete FView->GetTable();
        else if (FOwnership == voView) FView->Free();
    }
    FView = nullptr;
    FOwnership = voShared;
    FKeep.Reset();
    FCacheKey.clear();
}

void TZqPhysMetaView::Uncache()
{
    if (auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(FKeep.Get())) M->Uncache(*this);
}

int TZqPhysMetaView::RowCount() const
{
    if (!FView) return 0;
    FView->RebuildIfNeeded();
    return FView->Rows()->Count();
}

TZqDatSRow *TZqPhysMetaView::Row(int AIndex) const { return FView->Rows()->GetItem(AIndex); }

rtl::Variant TZqPhysMetaView::Value(int AIndex, const std::string &AColumn) const
{
    TZqDatSTable *T = FView->GetTable();
    const int Col = T->Columns()->IndexOfName(AColumn);
    ZQ_ASSERT(Col >= 0, "qxZqPhysConnMeta_Catalog");
    return Row(AIndex)->GetDataAsVariant(Col);
}

// ---- the metadata's catalog -----------------------------------------------------------------

TZqPhysConnectionMetadata::TZqPhysConnectionMetadata() : FMetaCache(std::make_unique<TZqDatSManager>()) {}

TZqPhysConnectionMetadata::~TZqPhysConnectionMetadata() = default;

TZqPhysConnection *TZqPhysConnectionMetadata::CheckConnection()
{
    ZQ_ASSERT(FConnection != nullptr, "qxZqPhysConnMeta_Catalog");
    return FConnection;
}

std::string TZqPhysConnectionMetadata::DefCatalog()
{
    return FConnection ? FConnection->MetaDefCatalog() : FDefCatalog;
}

std::string TZqPhysConnectionMetadata::DefSchema()
{
    return FConnection ? FConnection->MetaDefSchema() : FDefSchema;
}

std::string TZqPhysConnectionMetadata::GetMetaInfoTableName(TZqPhysMetaInfoKind AKind)
{
    return ZqPhysMetaInfoTableName(AKind, CheckConnection()->GetConnectionDef()->GetName());
}

void TZqPhysConnectionMetadata::DefineMetaInfoTable(TZqPhysMetaInfoKind AKind, TZqDatSTable *ATable)
{
    ZqPhysDefineMetaInfoTable(AKind, ATable);
}

TZqPhysParsedName TZqPhysConnectionMetadata::ParseOwner(const std::string &ACatalog, const std::string &ASchema,
                                                        const std::string &AOwner)
{
    TZqPhysParsedName N;
    if (!AOwner.empty()) ParseObjName(AOwner, N, poNormalize | poDequote, nullptr);
    // The name given names the owner itself (a table or a package); a piece
    // in front of it that the dialect takes for a base object qualifies
    // nothing the catalog knows and is not used.
    N.FBaseObject = N.FObject;
    N.FObject.clear();
    const char Q1 = GetNameQuoteChar1(), Q2 = GetNameQuoteChar2();
    auto Norm = [&](const std::string &AName, TZqPhysNamePart APart) {
        return AName.empty() ? AName : Dequote(NormalizeName(AName, APart), Q1, Q2);
    };
    const TZqPhysNameParts Parts = GetNameParts();
    if (N.FCatalog.empty()) N.FCatalog = Norm(ACatalog, npCatalog);
    if (N.FSchema.empty()) N.FSchema = Norm(ASchema, npSchema);
    if (N.FCatalog.empty()) N.FCatalog = Norm(DefCatalog(), npCatalog);
    if (N.FSchema.empty()) N.FSchema = Norm(DefSchema(), npSchema);
    // Parts the dialect's names do not have mean nothing to its catalog.
    if (!HasPart(Parts, npCatalog)) N.FCatalog.clear();
    if (!HasPart(Parts, npSchema)) N.FSchema.clear();
    return N;
}

std::string TZqPhysConnectionMetadata::CatalogFilter(TZqPhysMetaInfoKind AKind, const TZqPhysParsedName &AName,
                                                     int AOverload, const std::string &APattern)
{
    const TZqPhysNameParts Quoted = GetNameQuotedCaseSensParts();
    const TZqPhysNameParts Low = GetNameDefLowCaseParts();
    // A part whose names lose their case even when quoted is compared folded,
    // the way the normalised name was folded.
    auto Wrap = [&](const std::string &ACol, TZqPhysNamePart APart) {
        if (HasPart(Quoted, APart)) return ACol;
        return (HasPart(Low, APart) ? "LOWER(" : "UPPER(") + ACol + ")";
    };
    std::string R;
    auto Add = [&](const std::string &ACond) { R += (R.empty() ? "" : " AND ") + ACond; };
    auto AddName = [&](const char *ACol, TZqPhysNamePart APart, const std::string &AValue) {
        if (ACol && !AValue.empty()) Add(Wrap(ACol, APart) + " = " + Literal(AValue));
    };
    AddName("CATALOG_NAME", npCatalog, AName.FCatalog);
    AddName("SCHEMA_NAME", npSchema, AName.FSchema);
    AddName(IsProcKind(AKind) ? "PACK_NAME" : "TABLE_NAME", npBaseObject, AName.FBaseObject);
    AddName(ObjectColumn(AKind), npObject, AName.FObject);
    // A catalog that does not number overloads leaves OVERLOAD empty: such
    // rows describe the one procedure of that name, whatever number is asked.
    if (AKind == mikProcArgs && AOverload > 0)
        Add("(OVERLOAD IS NULL OR OVERLOAD = " + std::to_string(AOverload) + ")");
    if (!APattern.empty()) {
        std::string Pattern = APattern;
        if (!HasPart(Quoted, npObject))
            Pattern = HasPart(Low, npObject) ? rtl::LowerCase(Pattern) : rtl::UpperCase(Pattern);
        Add(Wrap(PatternColumn(AKind), npObject) + " LIKE " + Literal(Pattern));
    }
    return R;
}

TZqPhysMetaView TZqPhysConnectionMetadata::CachedView(TZqPhysMetaInfoKind AKind, TZqPhysParsedName AName,
                                                      int AOverload, const std::string &APattern)
{
    std::lock_guard L(FCacheLock);
    TZqPhysConnection *Conn = CheckConnection();
    const std::string Name = GetMetaInfoTableName(AKind);
    dats::TZqDatSTableList *Tables = FMetaCache->Tables();
    TZqDatSTable *Table = nullptr;
    const int I = Tables->IndexOfName(Name);
    if (I >= 0) {
        Table = Tables->GetItem(I);
    } else {
        auto New = std::make_unique<TZqDatSTable>(Name);
        DefineMetaInfoTable(AKind, New.get());
        Tables->Add(New.get());
        Table = New.release();
    }
    const std::string Filter = CatalogFilter(AKind, AName, AOverload, std::string());
    const std::string Key = Name + '\n' + Filter;
    const TZqIntfPtr<IZqPhysConnectionMetadata> Self(static_cast<IZqPhysConnectionMetadata *>(this));
    // Each object asked about keeps its view on the cache table, so that
    // asking again is one look-up instead of a filter compiled and run over
    // the whole cache.
    TZqDatSView *&Shared = FViews[Key];
    if (!Shared) Shared = TZqDatSView::CreateForTable(Table, Filter, std::string(), 0);
    TZqPhysMetaView Result(Shared, TZqPhysMetaView::voShared, Self, Key);
    if (Result.RowCount() == 0 && FAsked.count(Key) == 0) {
        TZqIntfPtr<IZqPhysCommand> Cmd = NewCatalogCommand(Conn, AKind);
        Cmd->SetCatalogName(AName.FCatalog);
        Cmd->SetSchemaName(AName.FSchema);
        std::string Object = AName.FObject;
        if (AKind == mikTableFields || AKind == mikIndexes || AKind == mikPrimaryKey || AKind == mikForeignKeys)
            Object = AName.FBaseObject; // these ask about the table itself
        else
            Cmd->SetBaseObjectName(AName.FBaseObject);
        Cmd->SetOverload(uint16_t(std::max(AOverload, 0)));
        Cmd->Prepare(QuoteIfNeeded(Object, npObject));
        if (Table->Columns()->Count() == 0) DefineMetaInfoTable(AKind, Table);
        Cmd->Open();
        if (Cmd->GetState() == 3) Cmd->Fetch(Table, true);
        FAsked.insert(Key);
    }
    if (APattern.empty()) return Result;
    return TZqPhysMetaView(
        TZqDatSView::CreateForTable(Table, CatalogFilter(AKind, AName, AOverload, APattern), std::string(), 0),
        TZqPhysMetaView::voView, Self, Key);
}

TZqPhysMetaView TZqPhysConnectionMetadata::FreshView(TZqPhysMetaInfoKind AKind, const std::string &ACatalog,
                                                     const std::string &ASchema, const std::string &APattern,
                                                     uint8_t ATableKinds, uint8_t AObjectScopes)
{
    TZqIntfPtr<IZqPhysCommand> Cmd = NewCatalogCommand(CheckConnection(), AKind);
    Cmd->SetCatalogName(ACatalog);
    Cmd->SetSchemaName(ASchema);
    Cmd->SetWildcard(APattern);
    Cmd->SetTableKinds(ATableKinds);
    Cmd->SetObjectScopes(AObjectScopes);
    Cmd->Prepare();
    std::unique_ptr<TZqDatSTable> Table(Cmd->Define(static_cast<TZqDatSTable *>(nullptr), mmReset));
    Cmd->Open();
    if (Cmd->GetState() == 3) Cmd->Fetch(Table.get(), true);
    TZqDatSView *View = Table->GetDefaultView();
    Table.release(); // from here the handle owns it
    return TZqPhysMetaView(View, TZqPhysMetaView::voTable,
                           TZqIntfPtr<IZqPhysConnectionMetadata>(static_cast<IZqPhysConnectionMetadata *>(this)));
}

void TZqPhysConnectionMetadata::Uncache(TZqPhysMetaView &AView)
{
    std::lock_guard L(FCacheLock);
    const auto It = FViews.find(AView.CacheKey());
    if (It == FViews.end()) return;
    // All the object's rows go, also those a narrower view did not show.
    TZqDatSView *Object = It->second;
    Object->RebuildIfNeeded();
    std::vector<TZqDatSRow *> Rows;
    for (int I = 0; I < Object->Rows()->Count(); ++I) Rows.push_back(Object->Rows()->GetItem(I));
    // Fetched rows leave a table through a delete made final.
    for (TZqDatSRow *R : Rows) {
        R->Delete();
        R->AcceptChanges();
    }
    FAsked.erase(AView.CacheKey());
}

// ---- the ten views ---------------------------------------------------------------------------

TZqPhysMetaView TZqPhysConnectionMetadata::GetTables(const std::string &ACatalog, const std::string &ASchema,
                                                     const std::string &APattern, uint8_t ATableKinds,
                                                     uint8_t AObjectScopes)
{
    return FreshView(mikTables, ACatalog, ASchema, APattern, ATableKinds, AObjectScopes);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetPackages(const std::string &ACatalog, const std::string &ASchema,
                                                       const std::string &APattern, uint8_t AObjectScopes)
{
    return FreshView(mikPackages, ACatalog, ASchema, APattern, 7, AObjectScopes);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetProcs(const std::string &ACatalog, const std::string &ASchema,
                                                    const std::string &APattern, uint8_t AObjectScopes)
{
    return FreshView(mikProcs, ACatalog, ASchema, APattern, 7, AObjectScopes);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetTableFields(const std::string &ACatalog, const std::string &ASchema,
                                                          const std::string &ATable, const std::string &APattern)
{
    return CachedView(mikTableFields, ParseOwner(ACatalog, ASchema, ATable), 0, APattern);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetIndexes(const std::string &ACatalog, const std::string &ASchema,
                                                      const std::string &ATable, const std::string &APattern)
{
    return CachedView(mikIndexes, ParseOwner(ACatalog, ASchema, ATable), 0, APattern);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetIndexFields(const std::string &ACatalog, const std::string &ASchema,
                                                          const std::string &ATable, const std::string &AIndex,
                                                          const std::string &APattern)
{
    TZqPhysParsedName N = ParseOwner(ACatalog, ASchema, ATable);
    TZqPhysParsedName Index;
    if (!AIndex.empty()) ParseObjName(AIndex, Index, poNormalize | poDequote | poSingle, nullptr);
    N.FObject = Index.FObject;
    return CachedView(mikIndexFields, N, 0, APattern);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetPrimaryKey(const std::string &ACatalog, const std::string &ASchema,
                                                         const std::string &ATable)
{
    return CachedView(mikPrimaryKey, ParseOwner(ACatalog, ASchema, ATable), 0, std::string());
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetPrimaryKeyFields(const std::string &ACatalog,
                                                               const std::string &ASchema, const std::string &ATable,
                                                               const std::string &APattern)
{
    return CachedView(mikPrimaryKeyFields, ParseOwner(ACatalog, ASchema, ATable), 0, APattern);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetPackageProcs(const std::string &ACatalog, const std::string &ASchema,
                                                           const std::string &APackage, const std::string &APattern)
{
    return CachedView(mikProcs, ParseOwner(ACatalog, ASchema, APackage), 0, APattern);
}

TZqPhysMetaView TZqPhysConnectionMetadata::GetProcArgs(const std::string &ACatalog, const std::string &ASchema,
                                                       const std::string &APackage, const std::string &AProc,
                                                       uint16_t AOverload, const std::string &APattern)
{
    TZqPhysParsedName N = ParseOwner(ACatalog, ASchema, APackage);
    std::string Proc = AProc;
    int Overload = AOverload;
    SplitOverload(Proc, Overload);
    TZqPhysParsedName P;
    if (!Proc.empty()) ParseObjName(Proc, P, poNormalize | poDequote | poSingle, nullptr);
    N.FObject = P.FObject;
    return CachedView(mikProcArgs, N, Overload, APattern);
}
