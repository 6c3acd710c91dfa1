// qxZqPhysODBCBase: what every driver that reaches its DBMS through an ODBC
// driver manager shares. A concrete driver adds its ID, its keyword map,
// its connect-string prefix and its dialect; the connect string, the
// connect itself, the transactions and the one retry after a lost
// connection live here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/DB.h"

namespace rtl {
class TStringList;
}
class TZqPhysODBCCommand;
class TZqParam;
namespace dats {
class TZqDatSRow;
class TZqDatSColumn;
}
using dats::TZqDatSRow;

class TZqPhysODBCDriverBase : public TZqPhysDriver, public virtual IZqPhysODBCDriver {
public:
    explicit TZqPhysODBCDriverBase(TZqPhysDriverHost *AHost);
    ~TZqPhysODBCDriverBase() override;
    std::string ClassName() const override { return "TZqPhysODBCDriverBase"; }

    int GetParamCount(const rtl::TStrings *AParams) override;
    void GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                      std::string &ADefault, std::string &ACaption, int &ALoginIndex) override;
    void GetODBCDriver(TZqIntfPtr<IZqPhysODBCDriver> &ADriver) override;

    // The connect string of a connection definition: the keyword map applied,
    // the prefix in front, "ODBCAdvanced" behind, no DRIVER when the
    // definition names a data source or a file data source.
    std::string BuildConnectionString(const TZqIntfPtr<IZqStanConnectionDef> &ADef);
    // Lets the driver manager's dialog complete the definition; False when
    // the user cancelled it.
    bool EditConnectionDef(const TZqIntfPtr<IZqStanConnectionDef> &ADef);

    TODBCLib *Lib() const { return FLib; }
    TODBCEnvironment *Environment() const { return FEnvironment.get(); }
    const rtl::TStringList &Keywords() const { return *FKeywords; }

protected:
    // Called by the concrete constructor once the object is complete, so
    // that the most derived keyword map and prefix answer.
    void InitKeywords();
    // A concrete driver adds its own lines first, then calls this one.
    virtual void GetConnectionStringKeywords(rtl::TStringList &AKeywords);
    virtual std::string GetConnectionStringPrefix() = 0;

private:
    TODBCLib *FLib = nullptr;
    std::unique_ptr<TODBCEnvironment> FEnvironment;
    std::unique_ptr<rtl::TStringList> FKeywords;
};

class TZqPhysODBCConnectionBase : public TZqPhysConnection {
public:
    TZqPhysODBCConnectionBase(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost);
    ~TZqPhysODBCConnectionBase() override;
    std::string ClassName() const override { return "TZqPhysODBCConnectionBase"; }

    // IZqMoniAdapter: the driver manager's and the driver's identity follow
    // the base's items.
    int GetItemCount() override;
    void GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind) override;
    void *GetCliHandle() override { return FODBCConnection->Handle(); }
    void *GetCliObj() override { return FODBCConnection.get(); }
    // The driver's SQL_DATA_SOURCE_READ_ONLY.
    bool GetDataSourceReadOnly() override;

    // Runs ARun; when it fails with a lost connection (kind 10), the
    // connection may be re-established and ARun tried once more: only with
    // AllowReconnect and only outside a transaction, since the work of an
    // open transaction is gone with the old connection. AUnprepare and
    // APrepare let the commands of the connection drop and rebuild their
    // statements around the reconnect.
    bool ExecuteWithReconnect(const std::function<bool()> &ARun, const std::function<void()> &AUnprepare = {},
                              const std::function<void()> &APrepare = {});
    // The two halves of that: whether the failure AError of a first run may
    // be met with a reconnect, and the reconnect itself.
    bool MayReconnect(const EODBCNativeException &AError);
    void Reconnect(const std::function<void()> &AUnprepare, const std::function<void()> &APrepare);
    // One SQL text, once, on a temporary statement (savepoint commands).
    void ExecuteDirect(const std::string &ASQL);

    TODBCConnection *ODBCConnection() const { return FODBCConnection.get(); }
    bool Connected() const { return FConnected; }
    bool GetDataInBlock() const { return FGetDataInBlock; }
    bool PrimaryKeysSupported() const { return FPrimaryKeysSupported; }
    // The driver runs a statement that returns rows with an array of
    // parameter sets (SQL_PARAM_ARRAY_SELECTS is not SQL_PAS_NO_SELECT).
    bool ParamArraySelects() const { return FParamArraySelects; }
    SQLUINTEGER IsolationMap(TZqTxIsolation ALevel) const { return FIsolationMap[ALevel]; }
    TZqPhysODBCDriverBase *ODBCDriver() const;

    // The nearest supported level of AWanted in the SQL_TXN bits ASupported:
    // the nearest weaker one, else the nearest stronger one, else 0.
    static SQLUINTEGER MapIsolation(SQLUINTEGER AWanted, SQLUINTEGER ASupported);

protected:
    void InternalConnect() override;
    void InternalDisconnect() override;
    void InternalTxBegin(int32_t AID) override;
    void InternalTxCommit(int32_t AID) override;
    void InternalTxRollback(int32_t AID) override;
    void InternalTxSetSavepoint(const std::string &AName) override;
    void InternalTxRollbackToSavepoint(const std::string &AName) override;
    void InternalTxCommitSavepoint(const std::string &AName) override;
    void InternalTxChanged() override;
    // Every ODBC-based connection runs its statements through the ODBC command.
    TZqPhysCommand *InternalCreateCommand() override;

    // Called for every diagnostic record: the kind of the record's error.
    virtual void GetErrorInfo(TODBCHandle *AHandle, int ARecord, const std::string &ASQLState, int32_t ANativeError,
                              const std::string &AMessage, const std::string &ACommandText, std::string &AObjName,
                              uint8_t &AKind, int32_t &ACommandTextOffset);
    // Called when a character or binary variable is sized.
    virtual void GetMaxSizes(SQLSMALLINT ACType, bool AFixedLenType, bool ANumericType, SQLULEN &AMaxColSize,
                             SQLLEN &AMaxDataSize) = 0;
    virtual void SetupDecimalSeparators();

private:
    void BuildIsolationMap();
    void ApplyTxOptions();
    std::string GeneratedTxText(int AWhich, const std::string &AName);

    std::unique_ptr<TODBCConnection> FODBCConnection;
    bool FConnected = false;
    bool FGetDataInBlock = false;
    bool FPrimaryKeysSupported = false;
    bool FParamArraySelects = true;
    SQLUINTEGER FIsolationMap[4] = {0, 0, 0, 0};
};

// ---- type maps of the ODBC commands ---------------------------------------------------

// What an ODBC SQL type of a described column or parameter becomes.
// ColumnSize above 8192 or negative makes character and binary types long.
struct TZqODBCTypeMapping {
    TZqDataType Type = dtUnknown;
    TZqDataAttributes Attrs;
    int64_t Size = 0;
    int Precision = 0;
    int Scale = 0;
};
TZqODBCTypeMapping ZqODBCSQLTypeToDataType(SQLSMALLINT ASQLType, SQLLEN AColumnSize, SQLSMALLINT ADecimalDigits,
                                           int AMaxBcdPrecision, int AMaxBcdScale);
// The SQL type a value of the data type is bound with (0: none) on a DBMS
// kind: Access takes DECIMAL and BIGINT values as NUMERIC, DB2 a BIT as
// DECIMAL.
SQLSMALLINT ZqODBCDataTypeToSQLType(TZqDataType AType, uint8_t ARDBMSKind);
// The C type of a variable holding the data type (0: none).
SQLSMALLINT ZqODBCDataTypeToCType(TZqDataType AType);
// The ODBC direction of a parameter.
SQLSMALLINT ZqODBCParamDirection(rtl::TParamType AType);

// ---- the ODBC command ---------------------------------------------------------------

// One result column of the current result set.
struct TZqPhysODBCColumnInfo {
    std::string Name;
    SQLSMALLINT ColumnNumber = 0;     // 1-based
    SQLLEN ColumnSize = 0;            // as described by the driver
    SQLSMALLINT DecimalDigits = 0;
    SQLSMALLINT SQLType = 0;          // as described
    SQLSMALLINT BindSQLType = 0;      // the SQL type the variable is bound with
    TZqDataType SourceType = dtUnknown; // of the described SQL type
    TZqDataType VarType = dtUnknown;    // of the bound variable
    TZqDataType DestType = dtUnknown;   // handed to the in-memory column
    TODBCVariable *Variable = nullptr;  // owned by the statement; nil when not fetched
    TZqDataAttributes Attributes;
    int64_t DestSize = 0;
};

// One active parameter of the command.
struct TZqPhysODBCParamInfo {
    std::string Name;
    SQLSMALLINT Position = 0;         // 0-based among the active parameters
    SQLULEN ColumnSize = 0;
    SQLSMALLINT DecimalDigits = 0;
    SQLSMALLINT SourceSQLType = 0;
    SQLSMALLINT BindSQLType = 0;
    TZqDataType SourceType = dtUnknown; // the form the parameter holds its values in
    TZqDataType VarType = dtUnknown;    // the form of the bound variable
    TZqDataType DestType = dtUnknown;   // the form the server is sent
    TODBCVariable *Variable = nullptr;  // owned by the statement
    SQLSMALLINT InputOutputType = SQL_PARAM_INPUT;
    rtl::TFieldType FieldType = rtl::ftUnknown;
};

// The command of every ODBC-based driver: SQL text or a stored-procedure
// call prepared on an ODBC statement, or a catalog question (a metadata
// kind other than 0) answered by one ODBC catalog function.
class TZqPhysODBCCommand : public TZqPhysCommand {
public:
    // StatementFlags bits.
    enum : uint8_t {
        sfParamArrays = 1,   // the driver took the parameter array size
        sfRowArrays = 2,     // the driver took the rowset size
        sfLongData = 4,      // some bound column reads through SQLGetData
        sfParamsToBind = 8,  // parameters not yet transferred since prepare
        sfCursorClosed = 16,
        sfSSDefaultResultSet = 32,
        sfSSLongThenShort = 64
    };

    TZqPhysODBCCommand();
    ~TZqPhysODBCCommand() override;
    std::string ClassName() const override { return "TZqPhysODBCCommand"; }
    void *GetCliObj() override { return FStatement; }

    TODBCStatementBase *Statement() const { return FStatement; }
    TODBCCommandStatement *CommandStatement() const { return FCommandStatement; }
    TODBCMetaInfoStatement *MetaInfoStatement() const { return FMetaInfoStatement; }
    uint8_t StatementFlags() const { return FStatementFlags; }
    const std::vector<TZqPhysODBCColumnInfo> &ColumnInfos() const { return FColumnInfos; }
    const std::vector<TZqPhysODBCParamInfo> &ParamInfos() const { return FParamInfos; }
    TZqPhysODBCConnectionBase *ODBCConn() const;

    // Runs the catalog function of the metadata kind; False when the kind
    // has none (generators).
    bool ExecuteMetaInfo();
    // The ODBC table-type list of a catalog table query.
    static std::string BuildTableTypeList(uint8_t ATableKinds, uint8_t AObjectScopes);
    // "{? = CALL name(?, ?)}" for the procedure and the command's parameters.
    std::string BuildStoredProcCall(const TZqPhysParsedName &AName);

    // The type maps the command describes columns and parameters with.
    static TZqODBCTypeMapping SQLTypeToDataType(SQLSMALLINT ASQLType, SQLLEN AColumnSize,
                                                SQLSMALLINT ADecimalDigits, TZqFormatOptions *AFormat);

protected:
    void InternalAbort() override;
    void InternalPrepare() override;
    void InternalUnprepare() override;
    bool InternalOpen() override;
    bool InternalNextRecordSet() override;
    void InternalClose() override;
    void InternalExecute(int ATimes, int AOffset, int &ACount) override;
    bool InternalColInfoStart(TZqPhysDataTableInfo &ATabInfo) override;
    bool InternalColInfoGet(TZqPhysDataColumnInfo &AColInfo) override;
    int InternalFetchRowSet(TZqDatSTable *ATable, void *AParentRow, int ARowsetSize) override;
    bool VisitsRows() override { return GetMetaInfoKind() == 0; }

private:
    bool UseDirectExecute();
    void SetupStatement(TODBCStatementBase *AStatement);
    // Asks the driver for arrays of AArraySize parameter sets (sfParamArrays
    // when it takes them); false when it was not asked.
    bool OfferParamArrays(int AArraySize);
    void CreateParamInfos();
    void CreateColumnInfos();
    void BindColumnsForRowset();
    void SetParamValues(int ARow);
    void GetParamValues(int ARow);
    void SetParamValue(TZqPhysODBCParamInfo &AInfo, TZqParam *AParam, int AParamRow, int AVarRow);
    // FFetchSlots of a rowset of ARows rows just fetched.
    void FindFetchSlots(int ARows);
    // Rows AFirst..ALast of a parameter array into the same rows of its variable.
    void SetParamRows(TZqPhysODBCParamInfo &AInfo, TZqParam *AParam, int AFirst, int ALast);
    // A value converted between two storage forms through the command's
    // conversion buffer (valid until the next conversion).
    void *ConvertValue(TZqDataType AFrom, TZqDataType ATo, void *ASource, uint32_t ALength, uint32_t &AOutLength);
    void CloseStatement(int ARow, bool AForce);
    bool SkipEmptyResults();
    int GetRowsetSize(int ARowsetSize) const;
    int GetParamArraySize(int AArraySize) const;
    bool ParamArraySizeFits(int AWanted, int ABound) const;
    bool IsAborting();
    // The one road of every execution: the connection retries it once
    // after a lost connection. The run goes first as it is: the reconnect's
    // own steps are made only when it is needed.
    template <class TRun> bool RunWithReconnect(TRun &&ARun)
    {
        try {
            return ARun();
        } catch (EODBCNativeException &E) {
            if (!ODBCConn()->MayReconnect(E)) throw;
        }
        ReconnectCommands();
        return ARun();
    }
    // Every command of the connection that holds a statement drops it,
    // the connection is made anew, and they build their statements again.
    void ReconnectCommands();
    void ExecuteRows(int ATimes, int AOffset, bool ARaiseOnNoData, SQLLEN &ACount);
    void FetchRow(TZqDatSTable *ATable, TZqDatSRow *AParentRow, int ARow);
    // Page row ARow handed to AVisit, its values read in place.
    void VisitRow(const TZqPhysRowVisitor &AVisit, int ARow);
    // A fetched value of page row ARow in the form its in-memory column
    // keeps: where the variable holds it so, else converted (into AFixed,
    // 64 bytes, or the conversion buffer). False for NULL.
    bool ColumnValue(const TZqPhysODBCColumnInfo &AInfo, int ARow, void *&AData, uint32_t &ALen, uint8_t *AFixed);
    // Cuts a text longer than the in-memory column (of type AType, ASize
    // bytes or characters, ABlob for a long one) to what it takes; true
    // when it did. APrefix: the data is the first part of a longer text
    // (the statement read no further), cut whatever its length.
    static bool FitText(TZqDataType AType, int64_t ASize, bool ABlob, const void *&AData, uint32_t &ALen,
                        bool APrefix);
    // The same for a fetched value of page row ARow of AInfo's column in the
    // form its in-memory column (of ASize) keeps: AWhole receives its stored
    // length (-1: not known).
    bool FitFetchedText(const TZqPhysODBCColumnInfo &AInfo, int64_t ASize, int ARow, const void *&AData,
                        uint32_t &ALen, int64_t &AWhole);
    // The row's words on a text of AInfo's column kept cut; AWhole is its
    // stored length, -1 when not known; ARowNumber its row's place in the
    // result (1 for the first), said when no identity names it.
    std::string CutTextMessage(const TZqPhysODBCColumnInfo &AInfo, int ARow, int ARowNumber, int64_t AWhole,
                               uint32_t AKept);
    bool FetchMetaRow(TZqDatSTable *ATable, TZqDatSRow *AParentRow, int ARow);
    void DecodeMetaName(TZqPhysParsedName &AName);
    void FreeColumnInfos();
    void FreeParamInfos();
    // The statement of the last prepare when it is still good for this
    // connection, else a new one.
    TODBCCommandStatement *TakeCommandStatement(TODBCConnection *AConnection);

    std::vector<TZqPhysODBCColumnInfo> FColumnInfos;
    std::vector<TZqPhysODBCParamInfo> FParamInfos;
    int FColumnIndex = 0;
    TODBCStatementBase *FStatement = nullptr;
    TODBCCommandStatement *FCommandStatement = nullptr;
    TODBCMetaInfoStatement *FMetaInfoStatement = nullptr;
    std::string FIndexFilter;        // kept for the index catalog query
    std::string FProcCallText;       // the text a stored-procedure call runs
    TZqPhysParsedName FMetaName;     // the decoded object name of a catalog query
    uint8_t FStatementFlags = 0;
    uint8_t FResultPending = 0;
    uint8_t FNextResultAvailable = 0;
    std::vector<int> FFetchMap;      // in-memory column -> column info, per fetch call
    // Per in-memory column, where a number fetched as it is stored lies in
    // the page (Size 0: a column read through its variable), per rowset.
    struct TFetchSlots {
        int Size = 0;
        uint8_t *Data = nullptr;
        SQLLEN *Ind = nullptr;
        ptrdiff_t Step = 0, IndStep = 0;
    };
    std::vector<TFetchSlots> FFetchSlots;
    // Of the rows a FetchRows visits: how many since the cursor opened, and
    // the columns of the row under visit kept cut, with the length kept.
    int FRowsVisited = 0;
    std::vector<std::pair<size_t, uint32_t>> FVisitCuts;
    // The statement handle outlives an unprepare: the next text is prepared
    // on it (a command whose text changes per execute allocates no handle).
    TODBCCommandStatement *FSpareStatement = nullptr; // owned
    // Statement attributes the last setup moved off the driver's defaults
    // (bits of SetupStatement), which a later setup on the same handle that
    // does not set them again puts back.
    uint8_t FSetupAttrs = 0;
    bool FStatementReused = false; // the statement of this prepare is the kept one
    // The cursor type and concurrency set on the statement (-1: none).
    SQLLEN FCursorTypeSet = -1, FConcurrencySet = -1;
    std::string FFlagsText; // the text sfSSLongThenShort was learnt on
    bool FNoResultColumns = false; // prepared without result columns, for good
    bool FParamsSized = false;     // some parameter takes its size from its values (text, BCD)
    // The driver refused parameter arrays to this statement, or its
    // parameters send data at execution: an array runs set by set.
    bool FParamArraysRefused = false;
    // SetParamValues' list of the parameters it writes, kept between
    // executes so that it is not made anew each time.
    std::vector<std::pair<TZqParam *, TZqPhysODBCParamInfo *>> FParamsToSet;
};

// The key name a best-row identifier stands in for.
extern std::string BestRowIDName;
