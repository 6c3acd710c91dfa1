// qxZqPhysMSAcc: Microsoft Access databases (.mdb) through the Access ODBC
// driver, DriverID "MSAcc". Everything that talks ODBC is the ODBC base's;
// this unit names the driver, maps the definition to Access's keywords,
// gives the Access dialect and reads Access's own error numbers.
#pragma once

#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

class TZqPhysODBCMSAccessDriver : public TZqPhysODBCDriverBase {
public:
    explicit TZqPhysODBCMSAccessDriver(TZqPhysDriverHost *AHost);
    std::string ClassName() const override { return "TZqPhysODBCMSAccessDriver"; }
    std::string GetDriverID() override { return "MSAcc"; }
    std::string GetDescription() override { return "MS Access Driver"; }
    int GetParamCount(const rtl::TStrings *AParams) override;
    void GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                      std::string &ADefault, std::string &ACaption, int &ALoginIndex) override;

protected:
    void GetConnectionStringKeywords(rtl::TStringList &AKeywords) override;
    std::string GetConnectionStringPrefix() override;
};

class TZqPhysODBCMSAccessConnection : public TZqPhysODBCConnectionBase {
public:
    using TZqPhysODBCConnectionBase::TZqPhysODBCConnectionBase;
    std::string ClassName() const override { return "TZqPhysODBCMSAccessConnection"; }

    // Public for the driver's own checks: Access's error numbers as kinds,
    // and its text and binary size limits.
    void GetErrorInfo(TODBCHandle *AHandle, int ARecord, const std::string &ASQLState, int32_t ANativeError,
                      const std::string &AMessage, const std::string &ACommandText, std::string &AObjName,
                      uint8_t &AKind, int32_t &ACommandTextOffset) override;
    void GetMaxSizes(SQLSMALLINT ACType, bool AFixedLenType, bool ANumericType, SQLULEN &AMaxColSize,
                     SQLLEN &AMaxDataSize) override;

protected:
    IZqPhysConnectionMetadata *InternalCreateMetadata() override;
    void InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                        const TZqIntfPtr<IZqPhysCommand> &ACommand) override;
};

// Stating that the Access driver is part of the program: the driver is
// registered when the first link is made.
class TZqPhysMSAccessDriverLink : public TZqPhysDriverLinkBase {
public:
    explicit TZqPhysMSAccessDriverLink(rtl::TComponent *AOwner = nullptr);
};

// The Access driver's class pair, as a manager registers it.
extern const TZqPhysDriverClass ZqPhysMSAccDriverClass;
extern const TZqPhysConnectionClass ZqPhysMSAccConnectionClass;
// Registers the Access driver with the process's driver manager (once).
void ZqPhysMSAccRegister();
