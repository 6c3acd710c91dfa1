// qxZqPhysDb2Meta: the SQL dialect of DB2.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysDb2Metadata : public TZqPhysConnectionMetadata {
public:
    TZqRDBMSKind GetKind() override { return mkDB2; }
    bool GetTxSavepoints() override { return true; }
    int GetNameMaxLength() override { return 128; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npSchema) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return ZqAllNameParts; }
    bool GetRefreshIdentityByExpr() override { return false; }
    bool GetAsyncAbortSupported() override { return true; }
    bool GetTruncateSupported() override { return false; }
    std::string FormatBoolean(const std::string &AValue) override;
    std::string FormatDate(const std::string &AValue) override;
    std::string FormatDateTime(const std::string &AValue) override;
    std::string FormatTime(const std::string &AValue) override;
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;
};
