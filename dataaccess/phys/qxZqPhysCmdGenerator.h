// qxZqPhysCmdGenerator: writes the SQL that posts one changed row of an
// in-memory table back to its base table (INSERT, UPDATE, DELETE, delete
// all, the refresh SELECT, the lock SELECT, the large-object UPDATE) and the
// small statements around them (last identity, savepoints, block calls),
// creating one parameter per value it writes or compares. The table adapter
// asks one statement per row request; each dialect (dialects/) overrides
// the few virtual texts its DBMS writes differently.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "platform/rtl/DB.h"

class IZqStanOptions;
class TZqUpdateOptions;
class TZqParams;
class TZqParam;

namespace dats {
class TZqDatSColumn;
class TZqDatSRow;
class TZqDatSTable;
} // namespace dats

// GenOptions bits: which columns take part.
constexpr uint8_t goBlobs = 1;        // large objects (dtBlob .. dtHBFile)
constexpr uint8_t goDetails = 2;      // nested datasets (dtRowSetRef, dtCursorRef)
constexpr uint8_t goOthers = 4;       // every other column
constexpr uint8_t goAfterInsert = 8;  // refreshing after an insert
constexpr uint8_t goAfterUpdate = 16; // refreshing after an update
constexpr uint8_t goInWhereOnly = 32; // only WHERE columns (and locator lobs under pessimistic locks)
constexpr uint8_t goAll = 127;

// NameOptions bits: how names and markers are written.
constexpr uint8_t gnQuoteTable = 1;
constexpr uint8_t gnTableQuoted = 2;
constexpr uint8_t gnQuoteColumns = 4;
constexpr uint8_t gnColumnsQuoted = 8;
constexpr uint8_t gnPlainParams = 16; // ":" + column name, no OLD_/NEW_, no dialect marker
constexpr uint8_t gnMultiLine = 32;   // CR LF between clauses, lists broken at about 60 characters

// The table adapter component's say over the names and flags the generator
// writes: the update table's name, and each column's update name,
// attributes and options.
class IZqPhysDescribeHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysDescribeHandler;
    virtual void DescribeTable(dats::TZqDatSTable *ATable, std::string &AUpdateName) = 0;
    virtual void DescribeColumn(dats::TZqDatSColumn *AColumn, std::string &AUpdateName,
                                TZqDataAttributes &AAttributes, TZqDataOptions &AOptions) = 0;
};

class IZqPhysCommandGenerator : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysCommandGenerator;
    virtual uint8_t GetGenOptions() = 0;
    virtual uint8_t GetNameOptions() = 0;
    virtual bool GetHasLocatorLob() = 0;
    virtual TZqParams *GetParams() = 0;
    virtual dats::TZqDatSRow *GetRow() = 0;
    virtual dats::TZqDatSTable *GetTable() = 0;
    virtual dats::TZqDatSColumn *GetColumn() = 0;
    virtual uint8_t GetExtraFlags() = 0;
    virtual void SetColumn(dats::TZqDatSColumn *AValue) = 0;
    virtual void SetParams(TZqParams *AValue) = 0;
    virtual void SetRow(dats::TZqDatSRow *AValue) = 0;
    virtual void SetTable(dats::TZqDatSTable *AValue) = 0;
    virtual void SetExtraFlags(uint8_t AValue) = 0;
    virtual void SetGenOptions(uint8_t AValue) = 0;
    virtual void SetNameOptions(uint8_t AValue) = 0;
    virtual TZqPhysCommandKind GetCommandKind() = 0;
    virtual IZqStanOptions *GetOptions() = 0;
    virtual void SetOptions(IZqStanOptions *AValue) = 0;
    virtual TZqIntfPtr<IZqPhysDescribeHandler> GetDescribeHandler() = 0;
    virtual void SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue) = 0;
    virtual TZqIntfPtr<IZqPhysMappingHandler> GetMappingHandler() = 0;
    virtual void SetMappingHandler(const TZqIntfPtr<IZqPhysMappingHandler> &AValue) = 0;

    virtual std::string GenerateDelete() = 0;
    virtual std::string GenerateDeleteAll(bool ANoUndo) = 0;
    virtual std::string GenerateInsert() = 0;
    virtual std::string GenerateLock() = 0;
    virtual std::string GenerateSavepoint(const std::string &AName) = 0;
    virtual std::string GenerateRollbackToSavepoint(const std::string &AName) = 0;
    virtual std::string GenerateCommitSavepoint(const std::string &AName) = 0;
    virtual std::string GenerateSelect() = 0;
    virtual std::string GenerateUnLock() = 0;
    virtual std::string GenerateUpdate() = 0;
    virtual std::string GenerateUpdateHBlobs() = 0;
    virtual std::string GenerateReadIdentity(const std::string &AName) = 0;
    virtual std::string GenerateCall(const std::string &AText) = 0;
};

// The generic generator. Fields are set by the caller before each Generate
// call; CommandKind, HasLocatorLob and IdentityInserted are left for the
// caller to read afterwards.
class TZqPhysCommandGenerator : public TZqObject, public virtual IZqPhysCommandGenerator {
public:
    // AMetadata: the connection's dialect (required). AOptions: the
    // connection's or command's options (nil: library defaults). ANames: the
    // schema, catalog and base-object names that complete table names (nil:
    // none); not counted, the caller keeps it alive.
    TZqPhysCommandGenerator(const TZqIntfPtr<IZqPhysConnectionMetadata> &AMetadata, IZqStanOptions *AOptions,
                            IZqPhysCommandNames *ANames = nullptr);
    ~TZqPhysCommandGenerator() override;

    uint8_t GetGenOptions() override { return FGenOptions; }
    uint8_t GetNameOptions() override { return FNameOptions; }
    bool GetHasLocatorLob() override { return FHasLocatorLob; }
    bool GetIdentityInserted() const { return FIdentityInserted; }
    TZqParams *GetParams() override { return FParams; }
    dats::TZqDatSRow *GetRow() override { return FRow; }
    dats::TZqDatSTable *GetTable() override { return FTable; }
    dats::TZqDatSColumn *GetColumn() override { return FColumn; }
    uint8_t GetExtraFlags() override { return FExtraFlags; }
    void SetColumn(dats::TZqDatSColumn *AValue) override { FColumn = AValue; }
    void SetParams(TZqParams *AValue) override { FParams = AValue; }
    void SetRow(dats::TZqDatSRow *AValue) override { FRow = AValue; }
    void SetTable(dats::TZqDatSTable *AValue) override;
    void SetExtraFlags(uint8_t AValue) override { FExtraFlags = AValue; }
    void SetGenOptions(uint8_t AValue) override { FGenOptions = AValue; }
    void SetNameOptions(uint8_t AValue) override { FNameOptions = AValue; }
    TZqPhysCommandKind GetCommandKind() override { return FCommandKind; }
    IZqStanOptions *GetOptions() override { return FOptions; }
    void SetOptions(IZqStanOptions *AValue) override { FOptions = AValue; }
    TZqIntfPtr<IZqPhysDescribeHandler> GetDescribeHandler() override { return FDescribeHandler; }
    void SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue) override;
    TZqIntfPtr<IZqPhysMappingHandler> GetMappingHandler() override { return FMappingHandler; }
    // The update table name and the columns' update names come from it
    // first (a table adapter's names and column mappings).
    void SetMappingHandler(const TZqIntfPtr<IZqPhysMappingHandler> &AValue) override;
    const std::string &TableAlias() const { return FTableAlias; }
    void SetTableAlias(const std::string &AValue) { FTableAlias = AValue; }

    std::string GenerateDelete() override;
    std::string GenerateDeleteAll(bool ANoUndo) override;
    std::string GenerateInsert() override;
    std::string GenerateLock() override;
    std::string GenerateSavepoint(const std::string &AName) override;
    std::string GenerateRollbackToSavepoint(const std::string &AName) override;
    std::string GenerateCommitSavepoint(const std::string &AName) override;
    std::string GenerateSelect() override;
    std::string GenerateUnLock() override;
    std::string GenerateUpdate() override;
    std::string GenerateUpdateHBlobs() override;
    std::string GenerateReadIdentity(const std::string &AName) override;
    std::string GenerateCall(const std::string &AText) override;

protected:
    // ---- the dialect's texts (base: none) ----
    virtual std::string GenerateInlineRefresh(const std::string &AText, TZqPhysRequest ARequest);
    virtual std::string GenerateIdentityInsert(const std::string &ATable, const std::string &AText);
    virtual std::string GetIdentity() { return std::string(); }
    virtual std::string GetSingleRowTable() { return std::string(); }
    virtual std::string GenerateLockSelect() { return std::string(); }
    virtual std::string DoGenerateSavepoint(const std::string &AName);
    virtual std::string DoGenerateRollbackToSavepoint(const std::string &AName);
    virtual std::string DoGenerateCommitSavepoint(const std::string &) { return std::string(); }
    virtual std::string DoGenerateReadIdentity(const std::string &AName);
    virtual std::string DoGenerateCall(const std::string &AText);

    // ---- pieces the dialects build with ----
    // The facts of one column as this statement sees them.
    struct TColumnInfo {
        dats::TZqDatSColumn *Column = nullptr;
        std::string UpdateName; // empty: cannot be written
        TZqDataAttributes Attributes;
        TZqDataOptions Options;
        std::string SQLName; // encoded, alias prefixed
        bool Usable = false, InWhere = false, InUpdate = false, IsKey = false;
    };
    const TColumnInfo &ColumnInfo(dats::TZqDatSColumn *AColumn);
    bool IsChanged(const TColumnInfo &AInfo);
    static bool IsLocatorLob(const TColumnInfo &AInfo);
    // ARequest: arInsert or arUpdate; AByGenOptions: the refresh SELECT's
    // rule (RefreshMode disregarded).
    bool NeedsRefresh(const TColumnInfo &AInfo, TZqPhysRequest ARequest, bool AByGenOptions);

    std::string Sep() const;
    std::string TableName();
    // Creates the parameter of a value (ANew: current value, else original)
    // and answers its marker.
    std::string AddParam(const TColumnInfo &AInfo, bool ANew, rtl::TParamType AType = rtl::ptInput);
    // AKeyForm: current values, key columns only (falling back to all).
    std::string WhereCondition(bool AKeyForm);
    std::string SelectList(bool &AReadsColumn);
    // "SELECT list FROM table WHERE key-condition" + Sep + ATail (the
    // lock SELECTs of the dialects); sets skSelectForUpdate.
    std::string KeyLockSelect(const std::string &ATail);
    // Joins list items by ", ", breaking long lists in the multi-line layout.
    class TListBuilder {
    public:
        explicit TListBuilder(const TZqPhysCommandGenerator &AOwner) : FOwner(AOwner) {}
        void Add(const std::string &AItem);
        const std::string &Text() const { return FText; }
        bool Empty() const { return FText.empty(); }

    private:
        const TZqPhysCommandGenerator &FOwner;
        std::string FText;
        size_t FLineStart = 0;
    };
    [[noreturn]] void Error(int32_t ACode);
    void SetCommandKindFromDML(TZqPhysCommandKind AKind);
    TZqUpdateOptions *UpdateOptions();

    TZqIntfPtr<IZqPhysConnectionMetadata> FMetadata;
    IZqStanOptions *FOptions;
    IZqPhysCommandNames *FNames; // the command that made us keeps it alive
    dats::TZqDatSColumn *FColumn = nullptr;
    dats::TZqDatSTable *FTable = nullptr;
    dats::TZqDatSRow *FRow = nullptr;
    TZqParams *FParams = nullptr;
    std::string FTableAlias = "A";
    bool FHasLocatorLob = false;
    bool FIdentityInserted = false;
    uint8_t FExtraFlags = 0;
    uint8_t FGenOptions = goAll;
    uint8_t FNameOptions = 0;
    TZqPhysCommandKind FCommandKind = skUnknown;
    TZqIntfPtr<IZqPhysDescribeHandler> FDescribeHandler;
    TZqIntfPtr<IZqPhysMappingHandler> FMappingHandler;

private:
    std::string InsertOrUpdate(bool AInsert, bool AHBlobsOnly);
    std::string PlainSelect(bool AKeyForm);
    // Encoded column names by column index, kept while the update name,
    // the alias and the name options they were made under stay the same:
    // parsing and encoding a name is most of the cost of a statement.
    struct TNameCache {
        std::string UpdateName, Alias, SQLName;
        uint8_t NameOptions = 0;
        bool Valid = false;
    };
    std::vector<TNameCache> FNameCache;
    TColumnInfo FLastInfo;
    std::string FLastInfoAlias;
    uint8_t FLastInfoNameOptions = 0;
    std::unique_ptr<TZqUpdateOptions> FDefaultUpdateOptions;
};
