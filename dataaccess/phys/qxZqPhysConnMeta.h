// qxZqPhysConnMeta: the SQL dialect of a connection. The base class gives the
// generic answers; one subclass per DBMS (dialects/) overrides the facts, the
// literal forms, the first keywords it knows and the function escapes. The
// preprocessor and the command generator are its main users. Its catalog
// views and the per-connection catalog cache under them live in
// qxZqPhysConnMeta_Catalog.cpp.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"

class TZqPhysConnection;

class TZqPhysConnectionMetadata : public TZqObject, public virtual IZqPhysConnectionMetadata {
public:
    TZqPhysConnectionMetadata();
    ~TZqPhysConnectionMetadata() override;

    // The connection whose catalog this object caches (not counted: the
    // connection holds this object and clears the link before it lets go).
    void SetConnection(TZqPhysConnection *AConnection) { FConnection = AConnection; }
    TZqPhysConnection *Connection() const { return FConnection; }
    // The cached catalog tables, one per catalog query kind (to be read:
    // the views handed out stand on them). Like every in-memory table they
    // serve one thread at a time.
    TZqDatSManager *MetaCache() const { return FMetaCache.get(); }

    // The connection's default catalog and schema ("MetaDefCatalog" and
    // "MetaDefSchema" of its definition): CompleteName fills empty parts
    // from them, and the short encoding leaves them out.
    void SetDefaultNames(const std::string &ACatalog, const std::string &ASchema)
    {
        FDefCatalog = ACatalog;
        FDefSchema = ASchema;
    }

    // ---- dialect facts (base values) ----
    TZqRDBMSKind GetKind() override { return mkOther; }
    int32_t GetClientVersion() override { return 0; }
    int32_t GetServerVersion() override { return 0; }
    bool GetTxSupported() override { return true; }
    bool GetTxNested() override { return false; }
    bool GetTxSavepoints() override { return false; }
    bool GetServerAutoCommit() override { return true; }
    int GetNameMaxLength() override { return 32; }
    TZqPhysNameParts GetNameParts() override { return ZqNamePart(npBaseObject) | ZqNamePart(npObject); }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return ZqAllNameParts; }
    TZqPhysNameParts GetNameCaseSensParts() override { return 0; }
    TZqPhysNameParts GetNameDefLowCaseParts() override { return 0; }
    char GetNameQuoteChar1() override { return '"'; }
    char GetNameQuoteChar2() override { return '"'; }
    bool GetLocatorLobs() override { return false; }
    bool GetIdentityInsertSupported() override { return false; }
    uint8_t GetParamMark() override { return 0; }
    bool GetTruncateSupported() override { return true; }
    uint8_t GetDefaultValuesForm() override { return 2; }
    bool GetInlineRefreshSupported() override { return false; }
    bool GetRefreshIdentityByExpr() override { return true; }
    bool GetDialectFlagB() override { return false; }
    bool GetAsyncAbortSupported() override { return false; }
    std::string GetCommandSeparator() override { return ";"; }

    // ---- names ----
    void ParseObjName(const std::string &AName, TZqPhysParsedName &AParsedName, uint8_t AOpts,
                      IZqPhysCommandNames *ACommand) override;
    std::string EncodeObjName(const TZqPhysParsedName &AParsedName, IZqPhysCommandNames *ACommand,
                              uint8_t AOpts) override;
    std::string BuildName(const TZqPhysParsedName &AParsedName);
    void DecodeName(const std::string &AName, TZqPhysParsedName &AParsedName);
    void CompleteName(TZqPhysParsedName &AParsedName, IZqPhysCommandNames *ACommand);

    bool IsQuoted(const std::string &AName);
    static bool IsPlainIdentifier(const std::string &AName);
    std::string Quote(const std::string &AName);
    static std::string Dequote(const std::string &AName, char AOpen, char AClose);
    std::string NormalizeName(const std::string &AName, TZqPhysNamePart APart);
    std::string QuoteIfNeeded(const std::string &AName, TZqPhysNamePart APart);

    // ---- literals and escapes ----
    virtual std::string FormatBoolean(const std::string &AValue) { return AValue; }
    virtual std::string FormatDate(const std::string &AValue) { return "'" + AValue + "'"; }
    virtual std::string FormatDateTime(const std::string &AValue) { return "'" + AValue + "'"; }
    virtual std::string FormatFloat(const std::string &AValue) { return AValue; }
    virtual std::string FormatTime(const std::string &AValue) { return "'" + AValue + "'"; }
    virtual std::string FormatLikeEscape(char AEscape, const std::string &APattern);
    virtual std::string TranslateFunction(TZqPhysEscapeData &AEscape);
    std::string TranslateEscape(TZqPhysEscapeData &AEscape) override;

    TZqPhysCommandKind GetSQLCommandKind(const std::string &AToken) override;

    // ---- catalog (qxZqPhysConnMeta_Catalog.cpp) ----
    std::string GetMetaInfoTableName(TZqPhysMetaInfoKind AKind) override;
    void DefineMetaInfoTable(TZqPhysMetaInfoKind AKind, TZqDatSTable *ATable) override;
    TZqPhysMetaView GetTables(const std::string &ACatalog, const std::string &ASchema, const std::string &APattern,
                              uint8_t ATableKinds = 7, uint8_t AObjectScopes = 1) override;
    TZqPhysMetaView GetTableFields(const std::string &ACatalog, const std::string &ASchema,
                                   const std::string &ATable, const std::string &APattern) override;
    TZqPhysMetaView GetIndexes(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable,
                               const std::string &APattern) override;
    TZqPhysMetaView GetIndexFields(const std::string &ACatalog, const std::string &ASchema,
                                   const std::string &ATable, const std::string &AIndex,
                                   const std::string &APattern) override;
    TZqPhysMetaView GetPrimaryKey(const std::string &ACatalog, const std::string &ASchema,
                                  const std::string &ATable) override;
    TZqPhysMetaView GetPrimaryKeyFields(const std::string &ACatalog, const std::string &ASchema,
                                        const std::string &ATable, const std::string &APattern) override;
    TZqPhysMetaView GetPackages(const std::string &ACatalog, const std::string &ASchema,
                                const std::string &APattern, uint8_t AObjectScopes = 1) override;
    TZqPhysMetaView GetPackageProcs(const std::string &ACatalog, const std::string &ASchema,
                                    const std::string &APackage, const std::string &APattern) override;
    TZqPhysMetaView GetProcs(const std::string &ACatalog, const std::string &ASchema, const std::string &APattern,
                             uint8_t AObjectScopes = 1) override;
    TZqPhysMetaView GetProcArgs(const std::string &ACatalog, const std::string &ASchema,
                                const std::string &APackage, const std::string &AProc, uint16_t AOverload,
                                const std::string &APattern) override;
    // Drops a cached view's rows and the note that its object was asked.
    void Uncache(TZqPhysMetaView &AView);
    // The filter text a cached view of the kind applies for the (parsed,
    // normalised) names; exposed for the tests of the case rules.
    std::string CatalogFilter(TZqPhysMetaInfoKind AKind, const TZqPhysParsedName &AName, int AOverload,
                              const std::string &APattern);
    virtual TZqPhysCommandKind GetKeywordCommandKind(const std::string &) { return skOther; }

    // The code of a function escape's name (upper case); -1 when unknown.
    static int FunctionCode(const std::string &AName);
    // The names of the DBMS kinds as the IF escape writes them.
    static const char *KindName(TZqRDBMSKind AKind);

protected:
    // Raises a driver-layer error; never returns (an error cleared by a
    // handler still ends the operation, silently).
    [[noreturn]] void Error(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});
    // Pieces shared by the dialects' function translations.
    static std::string Arg(const TZqPhysEscapeData &AEscape, size_t AIndex);
    static std::string Args(const TZqPhysEscapeData &AEscape);
    static std::string Call(const std::string &AName, const TZqPhysEscapeData &AEscape);
    static std::string CaseWhen(const TZqPhysEscapeData &AEscape); // IFNULL and IF as CASE
    static std::string Decode(const TZqPhysEscapeData &AEscape);   // DECODE as CASE
    // EXTRACT(unit, x) as the function named by the unit: a dialect's
    // translation of that function with the single argument x.
    std::string ExtractAsFunction(TZqPhysEscapeData &AEscape);
    [[noreturn]] void Unsupported(const TZqPhysEscapeData &AEscape) { Error(327, {AEscape.FName}); }

private:
    // One cached view: the names of the object (table or package in the
    // base object, index or procedure in the object), the overload of a
    // procedure and the pattern on the kind's own name column.
    TZqPhysMetaView CachedView(TZqPhysMetaInfoKind AKind, TZqPhysParsedName AName, int AOverload,
                               const std::string &APattern);
    // A fresh, uncached result of a catalog query.
    TZqPhysMetaView FreshView(TZqPhysMetaInfoKind AKind, const std::string &ACatalog, const std::string &ASchema,
                              const std::string &APattern, uint8_t ATableKinds, uint8_t AObjectScopes);
    // Catalog and schema from the arguments, then the connection's defaults;
    // the table name parsed and normalised into the base object.
    TZqPhysParsedName ParseOwner(const std::string &ACatalog, const std::string &ASchema,
                                 const std::string &AOwner);
    TZqPhysConnection *CheckConnection();
    std::string DefCatalog();
    std::string DefSchema();

    int NamePartCount();
    std::string FoldCase(const std::string &AName, TZqPhysNamePart APart);
    std::string FDefCatalog, FDefSchema;
    TZqPhysConnection *FConnection = nullptr; // see SetConnection
    std::unique_ptr<TZqDatSManager> FMetaCache;
    std::recursive_mutex FCacheLock; // one fill of the cache at a time
    // The cache entries (table name and filter) whose catalog function has
    // run: an object the catalog knows nothing about (a table without a
    // primary key) is not asked again either.
    std::set<std::string> FAsked;
    // The view of each object asked about, by the same key; owned by the
    // cache table's view list.
    std::map<std::string, TZqDatSView *> FViews;
};

// A dialect object of the given kind (the base dialect for mkOther and
// mkUnknown), versions as the connection read them.
TZqIntfPtr<TZqPhysConnectionMetadata> ZqCreateDialectMetadata(TZqRDBMSKind AKind, int32_t AServerVersion = 0,
                                                              int32_t AClientVersion = 0,
                                                              bool ANamesCaseSensitive = false);
