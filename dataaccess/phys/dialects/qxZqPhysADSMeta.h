// qxZqPhysADSMeta: the SQL dialect of Advantage Database Server.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysADSMetadata : public TZqPhysConnectionMetadata {
public:
    TZqRDBMSKind GetKind() override { return mkADS; }
    bool GetTxSavepoints() override { return true; }
    int GetNameMaxLength() override { return 63; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npCatalog) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return 0; }
    bool GetIdentityInsertSupported() override { return false; }
    bool GetRefreshIdentityByExpr() override { return true; }
    bool GetDialectFlagB() override { return false; }
    bool GetAsyncAbortSupported() override { return true; }
    bool GetInlineRefreshSupported() override { return false; }
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;
};
