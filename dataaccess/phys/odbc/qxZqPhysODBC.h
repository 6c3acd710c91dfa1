// qxZqPhysODBC: the driver for any ODBC data source, DriverID "ODBC". The
// connection is the ODBC connection base with a DBMS kind: named by the
// definition's "RDBMS" parameter, else read from the ODBC driver's file
// name once connected. A known kind brings its dialect and command
// generator; an unknown one (kind "other") takes its dialect facts from the
// ODBC driver itself (qxZqPhysODBCMeta).
#pragma once

#include <atomic>
#include <string>

#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

class TZqPhysODBCDriver : public TZqPhysODBCDriverBase {
public:
    explicit TZqPhysODBCDriver(TZqPhysDriverHost *AHost);
    std::string ClassName() const override { return "TZqPhysODBCDriver"; }
    std::string GetDriverID() override { return "ODBC"; }
    std::string GetDescription() override { return "ODBC Driver"; }
    int GetParamCount(const rtl::TStrings *AParams) override;
    // Past the ODBC base's parameters: Driver, DataSource, MetaDefSchema,
    // MetaDefCatalog and RDBMS. The type texts of Driver and DataSource are
    // the driver manager's lists as they are at the moment of the call.
    void GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                      std::string &ADefault, std::string &ACaption, int &ALoginIndex) override;

    // The installed ODBC drivers' descriptions and the defined data
    // sources' names, each as a list item (braced when it holds a
    // separator or another special character), joined with ";".
    std::string InstalledDrivers();
    std::string DataSources();

protected:
    void GetConnectionStringKeywords(rtl::TStringList &AKeywords) override;
    // Empty: the connect string holds only the mapped parameters and
    // "ODBCAdvanced".
    std::string GetConnectionStringPrefix() override { return std::string(); }
};

class TZqPhysODBCConnection : public TZqPhysODBCConnectionBase {
public:
    TZqPhysODBCConnection(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost);
    std::string ClassName() const override { return "TZqPhysODBCConnection"; }

    // The DBMS kind; mkUnknown until it is decided.
    TZqRDBMSKind RDBMSKind() const { return TZqRDBMSKind(FRDBMSKind.load()); }
    // Decides the kind when it is not decided yet: the definition's "RDBMS"
    // (a kind name, any letter case) first; else, once connected, the kind
    // the ODBC driver's file name stands for. An unknown name leaves the
    // kind to the driver's name.
    void DetectKind();

    // The base's kinds; besides, SQLSTATE 57014 is a cancelled statement,
    // and an error that leaves the ODBC driver reporting its connection
    // dead counts as a lost connection whatever its SQLSTATE (a server that
    // ends the session reports its own state for the first statement that
    // finds it gone).
    void GetErrorInfo(TODBCHandle *AHandle, int ARecord, const std::string &ASQLState, int32_t ANativeError,
                      const std::string &AMessage, const std::string &ACommandText, std::string &AObjName,
                      uint8_t &AKind, int32_t &ACommandTextOffset) override;
    // No size limits of its own: the ODBC driver's described sizes stand.
    void GetMaxSizes(SQLSMALLINT ACType, bool AFixedLenType, bool ANumericType, SQLULEN &AMaxColSize,
                     SQLLEN &AMaxDataSize) override;

protected:
    // The base connect; the kind is then decided afresh on the next use, so
    // that a connection re-opened on another data source does not keep the
    // old server's dialect.
    void InternalConnect() override;
    IZqPhysConnectionMetadata *InternalCreateMetadata() override;
    void InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                        const TZqIntfPtr<IZqPhysCommand> &ACommand) override;

private:
    bool ConnectionDead();
    std::atomic<uint8_t> FRDBMSKind{mkUnknown};
};

// The kind a "RDBMS" parameter names ("MSSQL", "oracle", ...); mkUnknown for
// an empty or unknown name.
TZqRDBMSKind ZqPhysODBCKindByName(const std::string &AName);

// The generic ODBC driver's class pair, as a manager registers it.
extern const TZqPhysDriverClass ZqPhysODBCDriverClass;
extern const TZqPhysConnectionClass ZqPhysODBCConnectionClass;
// Registers the generic ODBC driver with the process's driver manager (once).
void ZqPhysODBCRegister();
