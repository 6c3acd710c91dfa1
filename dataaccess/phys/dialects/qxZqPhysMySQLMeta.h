// qxZqPhysMySQLMeta: the SQL dialect of MySQL.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysMySQLMetadata : public TZqPhysConnectionMetadata {
public:
    TZqPhysMySQLMetadata(int32_t AServerVersion = 0, int32_t AClientVersion = 0, bool ANamesCaseSensitive = false)
        : FServerVersion(AServerVersion), FClientVersion(AClientVersion), FNamesCaseSensitive(ANamesCaseSensitive) {}
    TZqRDBMSKind GetKind() override { return mkMySQL; }
    int32_t GetClientVersion() override { return FClientVersion; }
    int32_t GetServerVersion() override { return FServerVersion; }
    bool GetTxSavepoints() override { return FServerVersion >= 401000000; }
    int GetNameMaxLength() override { return 64; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npCatalog) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return GetNameCaseSensParts(); }
    TZqPhysNameParts GetNameCaseSensParts() override
    {
        return FNamesCaseSensitive ? TZqPhysNameParts(ZqNamePart(npCatalog) | ZqNamePart(npBaseObject) | ZqNamePart(npObject)) : 0;
    }
    TZqPhysNameParts GetNameDefLowCaseParts() override
    {
        return FServerVersion < 400020000 ? TZqPhysNameParts(ZqNamePart(npBaseObject) | ZqNamePart(npObject))
                                          : TZqPhysNameParts(ZqNamePart(npCatalog) | ZqNamePart(npBaseObject) | ZqNamePart(npObject));
    }
    char GetNameQuoteChar1() override { return '`'; }
    char GetNameQuoteChar2() override { return '`'; }
    uint8_t GetDefaultValuesForm() override { return FServerVersion < 400000000 ? 0 : 2; }
    std::string FormatBoolean(const std::string &AValue) override;
    std::string FormatDate(const std::string &AValue) override;
    std::string FormatDateTime(const std::string &AValue) override;
    std::string FormatTime(const std::string &AValue) override;
    std::string FormatLikeEscape(char AEscape, const std::string &APattern) override;
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;

private:
    int32_t FServerVersion, FClientVersion;
    bool FNamesCaseSensitive;
};
