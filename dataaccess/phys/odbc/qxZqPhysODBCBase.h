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

#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/DB.h"

namespace rtl {
class TStringList;
}

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

    // Runs ARun; when it fails with a lost connection (kind 10), the
    // connection may be re-established and ARun tried once more: only with
    // AllowReconnect and only outside a transaction, since the work of an
    // open transaction is gone with the old connection. AUnprepare and
    // APrepare let the commands of the connection drop and rebuild their
    // statements around the reconnect.
    bool ExecuteWithReconnect(const std::function<bool()> &ARun, const std::function<void()> &AUnprepare = {},
                              const std::function<void()> &APrepare = {});
    // One SQL text, once, on a temporary statement (savepoint commands).
    void ExecuteDirect(const std::string &ASQL);

    TODBCConnection *ODBCConnection() const { return FODBCConnection.get(); }
    bool Connected() const { return FConnected; }
    bool GetDataInBlock() const { return FGetDataInBlock; }
    bool PrimaryKeysSupported() const { return FPrimaryKeysSupported; }
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
