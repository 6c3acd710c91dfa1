// qxZqPhysOraMeta: the SQL dialect of Oracle.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysOraMetadata : public TZqPhysConnectionMetadata {
public:
    TZqPhysOraMetadata(int32_t AServerVersion = 0, int32_t AClientVersion = 0)
        : FServerVersion(AServerVersion), FClientVersion(AClientVersion) {}
    TZqRDBMSKind GetKind() override { return mkOracle; }
    int32_t GetClientVersion() override { return FClientVersion; }
    int32_t GetServerVersion() override { return FServerVersion; }
    bool GetTxSavepoints() override { return true; }
    int GetNameMaxLength() override { return 30; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npSchema) | ZqNamePart(npDBLink) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    bool GetLocatorLobs() override { return FClientVersion < 801000000; }
    uint8_t GetParamMark() override { return 1; }
    bool GetRefreshIdentityByExpr() override { return false; }
    bool GetDialectFlagB() override { return true; }
    bool GetAsyncAbortSupported() override { return true; }
    uint8_t GetDefaultValuesForm() override { return FServerVersion < 900010101 ? 0 : 2; }
    bool GetInlineRefreshSupported() override { return true; }
    std::string FormatBoolean(const std::string &AValue) override;
    std::string FormatDate(const std::string &AValue) override;
    std::string FormatDateTime(const std::string &AValue) override;
    std::string FormatTime(const std::string &AValue) override;
    std::string FormatFloat(const std::string &AValue) override;
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;

private:
    int32_t FServerVersion, FClientVersion;
};
