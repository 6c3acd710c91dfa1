// qxZqPhysMSSQLMeta: the SQL dialect of Microsoft SQL Server, and of Adaptive Server Anywhere, which differs from it in a few function escapes and facts.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysMSSQLMetadata : public TZqPhysConnectionMetadata {
public:
    TZqRDBMSKind GetKind() override { return mkMSSQL; }
    bool GetTxSavepoints() override { return true; }
    int GetNameMaxLength() override { return 128; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npCatalog) | ZqNamePart(npSchema) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return 0; }
    char GetNameQuoteChar1() override { return '['; }
    char GetNameQuoteChar2() override { return ']'; }
    bool GetIdentityInsertSupported() override { return true; }
    bool GetDialectFlagB() override { return true; }
    bool GetAsyncAbortSupported() override { return true; }
    std::string GetCommandSeparator() override { return "GO"; }
    uint8_t GetDefaultValuesForm() override { return 1; }
    bool GetInlineRefreshSupported() override { return true; }
    std::string FormatBoolean(const std::string &AValue) override;
    std::string FormatDate(const std::string &AValue) override;
    std::string FormatDateTime(const std::string &AValue) override;
    std::string FormatTime(const std::string &AValue) override;
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;
};

// Adaptive Server Anywhere: MSSQL's literal forms and most of its function
// table, its own facts.
class TZqPhysASAMetadata : public TZqPhysMSSQLMetadata {
public:
    TZqRDBMSKind GetKind() override { return mkASA; }
    TZqPhysNameParts GetNameParts() override
    {
        return ZqNamePart(npSchema) | ZqNamePart(npBaseObject) | ZqNamePart(npObject);
    }
    char GetNameQuoteChar1() override { return '"'; }
    char GetNameQuoteChar2() override { return '"'; }
    bool GetDialectFlagB() override { return false; }
    std::string GetCommandSeparator() override { return ";"; }
    uint8_t GetDefaultValuesForm() override { return 2; }
    bool GetInlineRefreshSupported() override { return false; }
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;
};
