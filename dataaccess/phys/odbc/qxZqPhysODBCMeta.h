// qxZqPhysODBCMeta: the SQL dialect of a connection made by the generic ODBC
// driver. When the DBMS kind is known the facts, literal forms and function
// escapes are those of that kind's dialect object (the inner dialect); when
// it is not, they come from what the ODBC driver itself answers through
// SQLGetInfo and SQLGetFunctions.
#pragma once

#include <cstdint>

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TODBCConnection;
class TZqPhysConnection;

// What an ODBC driver tells of its dialect. The defaults are those of a
// connection that is not open yet (the base dialect's values).
struct TZqPhysODBCDialectInfo {
    bool TxSupported = true;
    int NameMaxLength = 32;
    char NameQuoteChar1 = '"';
    char NameQuoteChar2 = '"';
    uint16_t QuotedIdentifierCase = 3; // SQL_IC_SENSITIVE
    uint16_t IdentifierCase = 1;       // SQL_IC_UPPER
    uint32_t CatalogUsage = 0;         // SQL_CU_* bits
    uint32_t SchemaUsage = 0;          // SQL_SU_* bits
    bool AsyncAbort = true;

    // Reads the facts of an open ODBC connection; an ODBC failure raises
    // EODBCNativeException.
    static TZqPhysODBCDialectInfo Read(TODBCConnection &AConnection);
    // The quote characters of an SQL_IDENTIFIER_QUOTE_CHAR answer.
    void SetQuoteChars(const std::string &AAnswer);
};

class TZqPhysODBCMetadata : public TZqPhysConnectionMetadata {
public:
    // With an inner dialect every fact is the inner one's. Without one, the
    // facts are read from AODBCConnection when AConnection is open, else
    // they are the defaults of TZqPhysODBCDialectInfo.
    TZqPhysODBCMetadata(TZqPhysConnection *AConnection, const TZqIntfPtr<TZqPhysConnectionMetadata> &AInner,
                        TODBCConnection *AODBCConnection);
    // Without an inner dialect, from facts already known.
    explicit TZqPhysODBCMetadata(const TZqPhysODBCDialectInfo &AInfo);

    TZqPhysConnectionMetadata *Inner() const { return FInner.Get(); }
    const TZqPhysODBCDialectInfo &Info() const { return FInfo; }

    TZqRDBMSKind GetKind() override;
    bool GetTxSupported() override;
    bool GetTxNested() override;
    bool GetTxSavepoints() override;
    bool GetServerAutoCommit() override;
    int GetNameMaxLength() override;
    TZqPhysNameParts GetNameParts() override;
    TZqPhysNameParts GetNameQuotedCaseSensParts() override;
    TZqPhysNameParts GetNameCaseSensParts() override;
    TZqPhysNameParts GetNameDefLowCaseParts() override;
    char GetNameQuoteChar1() override;
    char GetNameQuoteChar2() override;
    bool GetLocatorLobs() override;
    bool GetIdentityInsertSupported() override;
    bool GetTruncateSupported() override;
    uint8_t GetDefaultValuesForm() override;
    bool GetInlineRefreshSupported() override;
    bool GetRefreshIdentityByExpr() override;
    bool GetDialectFlagB() override;
    bool GetAsyncAbortSupported() override;

    std::string TranslateEscape(TZqPhysEscapeData &AEscape) override;
    TZqPhysCommandKind GetKeywordCommandKind(const std::string &AToken) override;

private:
    TZqIntfPtr<TZqPhysConnectionMetadata> FInner;
    TZqPhysODBCDialectInfo FInfo;
};
