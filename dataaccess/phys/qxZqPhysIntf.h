// qxZqPhysIntf: the vocabulary of the driver layer, shared by the drivers,
// the adapters of the in-memory tables and the client components: command
// kinds, update requests, state bytes, DBMS kinds, parsed names, escape
// records, the array-execute exception and the counted interfaces through
// which the layers above reach a driver.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDAptColumn.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanIntf.h"

class TZqParams;
class TZqMacros;
namespace dats {
class TZqDatSManager;
class TZqDatSTable;
class TZqDatSColumn;
class TZqDatSView;
class TZqDatSRow;
} // namespace dats
using dats::TZqDatSColumn;
using dats::TZqDatSManager;
using dats::TZqDatSRow;
using dats::TZqDatSTable;
using dats::TZqDatSView;
class IZqStanOptions;
class IZqStanDefinitions;
class IZqStanConnectionDefs;
class IZqStanConnectionDef;
class IZqStanAsyncHandler;
class TZqTxOptions;

// ---- enumerations ------------------------------------------------------------

enum TZqPhysCommandKind : uint8_t {
    skUnknown, skSelect, skSelectForUpdate, skDelete, skInsert, skUpdate, skCreate, skAlter, skDrop,
    skStoredProc, skStoredProcWithCrs, skStoredProcNoCrs, skExecute, skOther
};

enum TZqPhysRequest : uint8_t {
    arNone, arFromRow, arSelect, arInsert, arUpdate, arDelete, arLock, arUnlock, arFetchRow, arUpdateHBlobs,
    arDeleteAll
};
using TZqPhysUpdateRequest = TZqPhysRequest; // arInsert .. arDeleteAll

enum TZqPhysUpdateRowOption : uint8_t {
    uoCancelUnlock, uoImmediateUpd, uoDeferedLock, uoOneMomLock, uoNoSrvRecord, uoNoClntRecord
};
using TZqPhysUpdateRowOptions = uint8_t; // bit n = option n

enum TZqPhysMetaInfoMergeMode : uint8_t { mmReset, mmOverride, mmRely };

// Manager: 0 inactive, 1 active, 2 stopping (usable again after), 3 terminating.
using TZqPhysManagerState = uint8_t;
// Driver host: 0 unloaded, 1 loaded, 2 registered, 3 initializing, 4 active,
// 5 idle, 6 stopping, 7 finalizing.
using TZqPhysDriverHostState = uint8_t;
// Connection: 0 closing, 1 closed, 2 opening, 3 open ("connected" = 3).
using TZqPhysConnectionState = uint8_t;
// Command: 0 unprepared, 1 prepared, 2 executing, 3 open, 4 fetching,
// 5 aborting; 2 and 4 are busy.
using TZqPhysCommandState = uint8_t;

enum TZqRDBMSKind : uint8_t {
    mkUnknown, mkOracle, mkMSSQL, mkMSAccess, mkMySQL, mkDB2, mkASA, mkADS, mkOther
};

// The catalog query a command runs instead of SQL text (0 = none).
using TZqPhysMetaInfoKind = uint8_t;

// Parts of an object name; a set of parts is a bit set (bit n = part n).
enum TZqPhysNamePart : uint8_t { npCatalog, npSchema, npDBLink, npBaseObject, npObject };
using TZqPhysNameParts = uint8_t;
constexpr TZqPhysNameParts ZqNamePart(TZqPhysNamePart APart) { return TZqPhysNameParts(1u << APart); }
constexpr TZqPhysNameParts ZqAllNameParts = 0x1F;

struct TZqPhysParsedName {
    std::string FCatalog;
    std::string FSchema;
    std::string FBaseObject;
    std::string FObject;
    std::string FLink;
};

// ParseObjName / EncodeObjName option bits.
constexpr uint8_t poDequote = 2;   // remove quotes from each part
constexpr uint8_t poNormalize = 4; // normalise each part
constexpr uint8_t poSingle = 16;   // the text is one object name, not split
constexpr uint8_t eoQuote = 2;     // quote every part
constexpr uint8_t eoNormalize = 4; // normalise every part
constexpr uint8_t eoBeShort = 16;  // drop default catalog/schema, quote only where needed

// ---- escape sequences ---------------------------------------------------------

enum TZqPhysEscapeKind : uint8_t {
    eskFloat, eskDate, eskTime, eskDateTime, eskIdentifier, eskBoolean, eskFunction, eskIF, eskEscape
};

// Function escapes by code; several names may share a code.
using TZqPhysEscapeFunction = uint8_t;
constexpr TZqPhysEscapeFunction efASCII = 0, efLTRIM = 1, efREPLACE = 2, efRTRIM = 3, efSOUNDEX = 4, efABS = 5,
    efCOS = 6, efEXP = 7, efFLOOR = 8, efMOD = 9, efPOWER = 10, efROUND = 11, efSIGN = 12, efSIN = 13,
    efSQRT = 14, efTAN = 15, efDECODE = 16, efBIT_LENGTH = 17, efCHAR = 18, efCHAR_LENGTH = 19, efCONCAT = 20,
    efDIFFERENCE = 21, efINSERT = 22, efLCASE = 23, efLEFT = 24, efLENGTH = 25, efLOCATE = 26,
    efOCTET_LENGTH = 27, efPOSITION = 28, efREPEAT = 29, efRIGHT = 30, efSPACE = 31, efSUBSTRING = 32,
    efUCASE = 33, efACOS = 34, efASIN = 35, efATAN = 36, efATAN2 = 37, efCOT = 38, efCEILING = 39,
    efDEGREES = 40, efLOG = 41, efLOG10 = 42, efPI = 43, efRADIANS = 44, efRANDOM = 45, efTRUNCATE = 46,
    efCURDATE = 47, efCURTIME = 48, efNOW = 49, efDAYNAME = 50, efDAYOFMONTH = 51, efDAYOFWEEK = 52,
    efDAYOFYEAR = 53, efEXTRACT = 54, efHOUR = 55, efMINUTE = 56, efMONTH = 57, efMONTHNAME = 58,
    efQUARTER = 59, efSECOND = 60, efTIMESTAMPADD = 61, efTIMESTAMPDIFF = 62, efWEEK = 63, efYEAR = 64,
    efCATALOG = 65, efSCHEMA = 66, efIFNULL = 67, efIF = 68, efCONVERT = 69;
constexpr TZqPhysEscapeFunction ZqEscapeFunctionLast = efCONVERT;

struct TZqPhysEscapeData {
    TZqPhysEscapeKind FKind = eskFloat;
    TZqPhysEscapeFunction FFunc = 0;
    std::string FName;
    std::vector<std::string> FArgs;
};

// ---- exceptions --------------------------------------------------------------

// Handed to the error handler when one row of an array execute fails.
class EZqPhysArrayExecuteError : public EZqException {
public:
    EZqPhysArrayExecuteError(int32_t ATimes, int32_t AOffset, EZqException *AException)
        : EZqException(0, std::string()), Times(ATimes), Offset(AOffset), Exception(AException) {}
    [[noreturn]] void Raise() const override { throw *this; }

    int32_t Times;
    int32_t Offset;
    TZqErrorAction Action = eaFail;
    EZqException *Exception; // the failing row's exception, not owned
};

// ---- interfaces --------------------------------------------------------------

// One row of an open command's result, read where the driver fetched it
// while FetchRows visits it: nothing is copied into an in-memory table.
// A value takes its column's data type (the one Define gives the column),
// in the form an in-memory row keeps it.
class IZqPhysFetchedRow {
public:
    virtual int ColumnCount() = 0;
    virtual TZqDataType ColumnType(int AColumn) = 0;
    // False for NULL, and for a value the driver could not read (RowError
    // names its column). AData is good until the next GetValue.
    virtual bool GetValue(int AColumn, void *&AData, uint32_t &ALen) = 0;
    // What the driver reported of the row (a value it could not read), or
    // nil for a sound row.
    virtual const EZqException *RowError() = 0;

protected:
    ~IZqPhysFetchedRow() = default;
};
using TZqPhysRowVisitor = std::function<void(IZqPhysFetchedRow &ARow)>;

// What the name operations of the dialect read of a command: the default
// parts of the names it works with.
class IZqPhysCommandNames : public virtual IInterface {
public:
    virtual std::string GetCatalogName() = 0;
    virtual std::string GetSchemaName() = 0;
    virtual std::string GetBaseObjectName() = 0;
};

class TZqPhysMetaView;

// Catalog query kinds (TZqPhysMetaInfoKind values).
constexpr TZqPhysMetaInfoKind mikTables = 1, mikTableFields = 2, mikIndexes = 3, mikIndexFields = 4,
                              mikPrimaryKey = 5, mikPrimaryKeyFields = 6, mikForeignKeys = 7, mikForeignKeyFields = 8,
                              mikPackages = 9, mikProcs = 10, mikProcArgs = 11;

// The SQL dialect of one connection.
class IZqPhysConnectionMetadata : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysConnectionMetadata;
    virtual TZqRDBMSKind GetKind() = 0;
    virtual int32_t GetClientVersion() = 0;
    virtual int32_t GetServerVersion() = 0;
    virtual bool GetTxSupported() = 0;
    virtual bool GetTxNested() = 0;
    virtual bool GetTxSavepoints() = 0;
    virtual bool GetServerAutoCommit() = 0;
    virtual int GetNameMaxLength() = 0;
    virtual TZqPhysNameParts GetNameParts() = 0;
    virtual TZqPhysNameParts GetNameQuotedCaseSensParts() = 0;
    virtual TZqPhysNameParts GetNameCaseSensParts() = 0;
    virtual TZqPhysNameParts GetNameDefLowCaseParts() = 0;
    virtual char GetNameQuoteChar1() = 0;
    virtual char GetNameQuoteChar2() = 0;
    virtual bool GetLocatorLobs() = 0;
    virtual bool GetIdentityInsertSupported() = 0;
    virtual uint8_t GetParamMark() = 0;
    virtual bool GetTruncateSupported() = 0;
    virtual uint8_t GetDefaultValuesForm() = 0;
    virtual bool GetInlineRefreshSupported() = 0;
    virtual bool GetRefreshIdentityByExpr() = 0;
    virtual bool GetDialectFlagB() = 0;
    virtual bool GetAsyncAbortSupported() = 0;
    virtual std::string GetCommandSeparator() = 0;
    virtual void ParseObjName(const std::string &AName, TZqPhysParsedName &AParsedName, uint8_t AOpts,
                              IZqPhysCommandNames *ACommand) = 0;
    virtual std::string EncodeObjName(const TZqPhysParsedName &AParsedName, IZqPhysCommandNames *ACommand,
                                      uint8_t AOpts) = 0;
    virtual std::string TranslateEscape(TZqPhysEscapeData &AEscape) = 0;
    virtual TZqPhysCommandKind GetSQLCommandKind(const std::string &AToken) = 0;
    // The name of the catalog cache table of a kind on this connection, and
    // its column layout (also the layout a metadata command fetches into).
    // These and the catalog views answer 303 ("Capability is not supported")
    // from a dialect object that has no connection catalog behind it.
    virtual std::string GetMetaInfoTableName(TZqPhysMetaInfoKind AKind);
    virtual void DefineMetaInfoTable(TZqPhysMetaInfoKind AKind, TZqDatSTable *ATable);

    // The catalog views. Tables, packages and procedures are asked afresh
    // every time; the others are answered from the connection's catalog
    // cache, which runs the catalog function once per object.
    virtual TZqPhysMetaView GetTables(const std::string &ACatalog, const std::string &ASchema,
                                      const std::string &APattern, uint8_t ATableKinds = 7,
                                      uint8_t AObjectScopes = 1);
    virtual TZqPhysMetaView GetTableFields(const std::string &ACatalog, const std::string &ASchema,
                                           const std::string &ATable, const std::string &APattern);
    virtual TZqPhysMetaView GetIndexes(const std::string &ACatalog, const std::string &ASchema,
                                       const std::string &ATable, const std::string &APattern);
    virtual TZqPhysMetaView GetIndexFields(const std::string &ACatalog, const std::string &ASchema,
                                           const std::string &ATable, const std::string &AIndex,
                                           const std::string &APattern);
    virtual TZqPhysMetaView GetPrimaryKey(const std::string &ACatalog, const std::string &ASchema,
                                          const std::string &ATable);
    virtual TZqPhysMetaView GetPrimaryKeyFields(const std::string &ACatalog, const std::string &ASchema,
                                                const std::string &ATable, const std::string &APattern);
    virtual TZqPhysMetaView GetPackages(const std::string &ACatalog, const std::string &ASchema,
                                        const std::string &APattern, uint8_t AObjectScopes = 1);
    virtual TZqPhysMetaView GetPackageProcs(const std::string &ACatalog, const std::string &ASchema,
                                            const std::string &APackage, const std::string &APattern);
    virtual TZqPhysMetaView GetProcs(const std::string &ACatalog, const std::string &ASchema,
                                     const std::string &APattern, uint8_t AObjectScopes = 1);
    virtual TZqPhysMetaView GetProcArgs(const std::string &ACatalog, const std::string &ASchema,
                                        const std::string &APackage, const std::string &AProc, uint16_t AOverload,
                                        const std::string &APattern);
};

// A catalog view handed out by the connection metadata. It keeps the
// metadata (and with it the cache table under the view) alive while it
// lives. What freeing it frees depends on how the view was made: nothing
// for the cache's own view of an object (it serves every later question),
// the view for a narrower view made for this question, the table too for a
// fresh uncached result.
class TZqPhysMetaView {
public:
    enum TOwnership : uint8_t { voShared, voView, voTable };
    TZqPhysMetaView() = default;
    TZqPhysMetaView(TZqDatSView *AView, TOwnership AOwnership, const TZqIntfPtr<IZqPhysConnectionMetadata> &AKeep,
                    const std::string &ACacheKey = std::string());
    TZqPhysMetaView(TZqPhysMetaView &&AOther) noexcept;
    TZqPhysMetaView &operator=(TZqPhysMetaView &&AOther) noexcept;
    TZqPhysMetaView(const TZqPhysMetaView &) = delete;
    TZqPhysMetaView &operator=(const TZqPhysMetaView &) = delete;
    ~TZqPhysMetaView();

    TZqDatSView *Get() const { return FView; }
    TZqDatSView *operator->() const { return FView; }
    explicit operator bool() const { return FView != nullptr; }
    int RowCount() const;
    TZqDatSRow *Row(int AIndex) const;
    // The value of a named column of a row of the view (Null when unset).
    rtl::Variant Value(int AIndex, const std::string &AColumn) const;
    // The cache entry a cached view shows (empty for a fresh result).
    const std::string &CacheKey() const { return FCacheKey; }
    // Takes the rows shown out of the cache, so that the next question
    // about the object asks the catalog again.
    void Uncache();

private:
    void Free() noexcept;
    TZqDatSView *FView = nullptr;
    TOwnership FOwnership = voShared;
    TZqIntfPtr<IZqPhysConnectionMetadata> FKeep;
    std::string FCacheKey;
};

// ---- driver manager, drivers, connections, commands ------------------------------

class IZqPhysDriver;
class IZqPhysConnection;
class IZqPhysCommand;
class IZqPhysCommandInternal;
class IZqPhysCommandGenerator;
class IZqPhysDriverMetadata;

// What an ODBC driver offers beyond any driver: its ODBC library object.
class IZqPhysODBCDriver : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysODBCDriver;
};

// The login step a connection may run around its connect: Execute calls
// AConnect (possibly several times) and answers False when the user gave up.
class IZqGUIxLoginDialog : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxLoginDialog;
    virtual void SetConnectionDef(const TZqIntfPtr<IZqStanConnectionDef> &ADef) = 0;
    virtual bool Execute(const std::function<void()> &AConnect) = 0;
};

class IZqPhysManagerMetadata : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysManagerMetadata;
    virtual int GetDriverCount() = 0;
    virtual std::string GetDriverID(int AIndex) = 0;
    virtual void GetDriverMetadata(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriverMetadata> &AMeta) = 0;
};

class IZqPhysManager : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysManager;
    virtual TZqIntfPtr<IZqStanDefinitions> DriverDefs() = 0;
    virtual TZqIntfPtr<IZqStanConnectionDefs> ConnectionDefs() = 0;
    virtual IZqStanOptions *GetOptions() = 0;
    virtual TZqPhysManagerState GetState() = 0;
    virtual bool GetDesignTime() = 0;
    virtual void SetDesignTime(bool AValue) = 0;
    virtual void CreateConnection(const TZqIntfPtr<IZqStanConnectionDef> &ADef, TZqIntfPtr<IZqPhysConnection> &AConn,
                                  bool ACheckActive = true) = 0;
    // A definition name, or a connection string (a text holding "=").
    virtual void CreateConnection(const std::string &ADefinition, TZqIntfPtr<IZqPhysConnection> &AConn,
                                  bool ACheckActive = true) = 0;
    virtual void CreateDriver(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriver> &ADriver,
                              bool ACheckActive = true) = 0;
    virtual void GetManagerMetadata(TZqIntfPtr<IZqPhysManagerMetadata> &AMeta) = 0;
    virtual void CreateDefaultMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta) = 0;
    virtual void Open() = 0;
    virtual void Close(bool AWait = false) = 0;
};

class IZqPhysDriverMetadata : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysDriverMetadata;
    virtual std::string GetDriverID() = 0;
    virtual std::string GetDescription() = 0;
    virtual int GetParamCount(const rtl::TStrings *AParams) = 0;
    virtual void GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                              std::string &ADefault, std::string &ACaption, int &ALoginIndex) = 0;
};

class IZqPhysDriver : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysDriver;
    virtual std::string GetDriverID() = 0;
    virtual int GetRefCount() = 0;
    virtual int GetConnectionCount() = 0;
    virtual void GetConnections(int AIndex, TZqIntfPtr<IZqPhysConnection> &AConn) = 0;
    virtual TZqPhysDriverHostState GetState() = 0;
    virtual void CloseConnections() = 0;
    virtual void GetDriverMetadata(TZqIntfPtr<IZqPhysDriverMetadata> &AMeta) = 0;
    virtual void GetODBCDriver(TZqIntfPtr<IZqPhysODBCDriver> &ADriver) = 0;
};

class IZqPhysConnection : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysConnection;
    virtual int GetRefCount() = 0;
    virtual void GetDriver(TZqIntfPtr<IZqPhysDriver> &ADriver) = 0;
    virtual TZqPhysConnectionState GetState() = 0;
    virtual IZqStanOptions *GetOptions() = 0;
    virtual TZqTxOptions *GetTxOptions() = 0;
    virtual bool GetInTransaction() = 0;
    virtual int GetTxSerialID() = 0;
    virtual int GetCommandCount() = 0;
    virtual void GetCommands(int AIndex, TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() = 0;
    virtual TZqIntfPtr<IZqGUIxLoginDialog> GetLoginDialog() = 0;
    virtual TZqIntfPtr<IZqStanConnectionDef> GetConnectionDef() = 0;
    virtual bool GetLoginPrompt() = 0;
    virtual void *GetCliHandle() = 0;
    virtual void *GetCliObj() = 0;
    virtual void SetOptions(IZqStanOptions *AOptions) = 0;
    virtual void SetTxOptions(TZqTxOptions *AOptions) = 0;
    virtual void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AHandler) = 0;
    virtual void SetLoginDialog(const TZqIntfPtr<IZqGUIxLoginDialog> &ADialog) = 0;
    virtual void SetLoginPrompt(bool AValue) = 0;
    virtual void CreateMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta) = 0;
    virtual void CreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                        const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual void CreateCommand(TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual void CreateCommand(TZqIntfPtr<IZqPhysCommandInternal> &ACommand) = 0;
    virtual void ForceClose() = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual int StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual void ChangePassword(const std::string &ANewPassword) = 0;
    virtual void GetLastAutoGenValue(const std::string &AName, rtl::Variant &AValue) = 0;
    // True when the open data source takes no writes (a database file
    // opened read-only); false where the driver cannot tell.
    virtual bool GetDataSourceReadOnly() = 0;
};

// The adapters' say in how a result set lands in DatS tables and which
// names a generated statement writes: 0 not handled (names as they are),
// 1 mapped (the outputs are filled), 2 leave it out. A table is named by
// its source position (kind 1), source name (2), DatS table name (3) or the
// DatS table itself (4); a column likewise, 4 being the DatS column.
class IZqPhysMappingHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysMappingHandler;
    virtual int MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult) = 0;
    virtual int MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind,
                          const TZqMappingKey &AColumnKey, TZqMappingKeyKind AColumnKind,
                          TZqColumnMapResult &AResult) = 0;
};

class IZqPhysCommand : public virtual IZqPhysCommandNames {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysCommand;
    // readers
    virtual void GetConnection(TZqIntfPtr<IZqPhysConnection> &AConn) = 0;
    virtual IZqStanOptions *GetOptions() = 0;
    virtual TZqPhysCommandState GetState() = 0;
    virtual std::string GetCommandText() = 0;
    virtual TZqPhysCommandKind GetCommandKind() = 0;
    virtual TZqParams *GetParams() = 0;
    virtual TZqMacros *GetMacros() = 0;
    virtual uint8_t GetParamBindMode() = 0;
    virtual uint16_t GetOverload() = 0;
    virtual bool GetNextRecordSet() = 0;
    virtual TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() = 0;
    virtual std::string GetSourceObjectName() = 0;
    virtual std::string GetSourceRecordSetName() = 0;
    virtual TZqIntfPtr<IZqStanAsyncHandler> GetAsyncHandler() = 0;
    virtual int GetRowsAffected() = 0;
    virtual bool GetRowsAffectedReal() = 0;
    virtual TZqErrorAction GetErrorAction() = 0;
    virtual TZqIntfPtr<IZqPhysMappingHandler> GetMappingHandler() = 0;
    virtual int GetSQLOrderByPos() = 0;
    virtual void *GetCliObj() = 0;
    // writers
    virtual void SetSchemaName(const std::string &AValue) = 0;
    virtual void SetCatalogName(const std::string &AValue) = 0;
    virtual void SetBaseObjectName(const std::string &AValue) = 0;
    virtual void SetOptions(IZqStanOptions *AValue) = 0;
    virtual void SetCommandText(const std::string &AValue) = 0;
    virtual void SetCommandKind(TZqPhysCommandKind AValue) = 0;
    virtual void SetSourceObjectName(const std::string &AValue) = 0;
    virtual void SetSourceRecordSetName(const std::string &AValue) = 0;
    virtual void SetNextRecordSet(bool AValue) = 0;
    virtual void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) = 0;
    virtual void SetParamBindMode(uint8_t AValue) = 0;
    virtual void SetOverload(uint16_t AValue) = 0;
    virtual void SetAsyncHandler(const TZqIntfPtr<IZqStanAsyncHandler> &AValue) = 0;
    virtual void SetMappingHandler(const TZqIntfPtr<IZqPhysMappingHandler> &AValue) = 0;
    // actions
    virtual void AbortJob(bool AWait = false) = 0;
    virtual void Close() = 0;
    virtual void CloseAll() = 0;
    virtual void CheckNotBusy() = 0;
    virtual void Disconnect() = 0;
    virtual TZqDatSTable *Define(TZqDatSManager *AManager, TZqDatSTable *ATable = nullptr,
                                 TZqPhysMetaInfoMergeMode AMergeMode = mmReset) = 0;
    virtual TZqDatSTable *Define(TZqDatSTable *ATable, TZqPhysMetaInfoMergeMode AMergeMode = mmReset) = 0;
    virtual void Execute(int ATimes = 0, int AOffset = 0) = 0;
    virtual void Fetch(TZqDatSTable *ATable, bool AAll = true) = 0;
    // Every row left of the open command, in order, handed to AVisit as
    // the driver fetched it; answers the rows.
    virtual int FetchRows(const TZqPhysRowVisitor &AVisit) = 0;
    virtual void OpenAndFetch(TZqDatSManager *AManager, TZqPhysMetaInfoMergeMode AMergeMode = mmReset) = 0;
    virtual void Open() = 0;
    virtual void Prepare(const std::string &ACommandText = std::string()) = 0;
    virtual void Unprepare() = 0;
    // metadata queries
    virtual TZqPhysMetaInfoKind GetMetaInfoKind() = 0;
    virtual void SetMetaInfoKind(TZqPhysMetaInfoKind AValue) = 0;
    virtual uint8_t GetTableKinds() = 0;
    virtual void SetTableKinds(uint8_t AValue) = 0;
    virtual std::string GetWildcard() = 0;
    virtual void SetWildcard(const std::string &AValue) = 0;
    virtual uint8_t GetObjectScopes() = 0;
    virtual void SetObjectScopes(uint8_t AValue) = 0;
};

// The same operations, asked for by the layers that drive a command
// through its whole cycle.
class IZqPhysCommandInternal : public virtual IZqPhysCommand {
public:
    static constexpr rtl::TGUID IID = IID_IZqPhysCommandInternal;
};

// The one driver manager (created on the first request; a missing factory
// raises).
void GetZqPhysManager(TZqIntfPtr<IZqPhysManager> &AManager);

class TZqFetchOptions;

// The option byte used when a row is re-read from the server: bit 2 always,
// bit 0 with fiBlobs, bit 1 with fiDetails; 7 without options.
uint8_t FetchOptionsToFillRowOptions(const TZqFetchOptions *AOptions);
