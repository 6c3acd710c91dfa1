// qxZqPhysODBCMeta: the generic ODBC driver's dialect, forwarded to the
// DBMS kind's own dialect or read from the ODBC driver.
#include "dataaccess/phys/odbc/qxZqPhysODBCMeta.h"

#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"
#include "dataaccess/phys/qxZqPhysManager.h"

namespace {

TZqPhysNameParts AllWhen(bool ACondition) { return ACondition ? ZqAllNameParts : TZqPhysNameParts(0); }

} // namespace

// ---- what the driver tells ---------------------------------------------------------------

void TZqPhysODBCDialectInfo::SetQuoteChars(const std::string &AAnswer)
{
    if (AAnswer.size() == 2) {
        NameQuoteChar1 = AAnswer[0];
        NameQuoteChar2 = AAnswer[1];
    } else if (!AAnswer.empty()) {
        NameQuoteChar1 = NameQuoteChar2 = AAnswer[0];
    } else {
        // A driver that answers nothing at all has told us no quote
        // character; a blank is how drivers say "names cannot be quoted",
        // and the dialect then never writes quotes around a name.
        NameQuoteChar1 = NameQuoteChar2 = ' ';
    }
}

TZqPhysODBCDialectInfo TZqPhysODBCDialectInfo::Read(TODBCConnection &AConnection)
{
    TZqPhysODBCDialectInfo I;
    I.TxSupported = AConnection.GetInfoSmallint(SQL_TXN_CAPABLE) != SQL_TC_NONE;
    I.NameMaxLength = AConnection.GetInfoSmallint(SQL_MAX_COLUMN_NAME_LEN);
    I.SetQuoteChars(AConnection.GetInfoStr(SQL_IDENTIFIER_QUOTE_CHAR));
    I.QuotedIdentifierCase = AConnection.GetInfoSmallint(SQL_QUOTED_IDENTIFIER_CASE);
    I.IdentifierCase = AConnection.GetInfoSmallint(SQL_IDENTIFIER_CASE);
    I.CatalogUsage = AConnection.GetInfoInt(SQL_CATALOG_USAGE);
    I.SchemaUsage = AConnection.GetInfoInt(SQL_SCHEMA_USAGE);
    I.AsyncAbort = AConnection.GetFunctions(SQL_API_SQLCANCEL) == SQL_TRUE;
    return I;
}

// ---- the metadata ----------------------------------------------------------------------------

TZqPhysODBCMetadata::TZqPhysODBCMetadata(TZqPhysConnection *AConnection,
                                         const TZqIntfPtr<TZqPhysConnectionMetadata> &AInner,
                                         TODBCConnection *AODBCConnection)
    : FInner(AInner)
{
    // Only an open connection can be asked; before that the base values
    // stand (the connection drops its metadata once it is open).
    if (!FInner && AConnection && AODBCConnection && AConnection->GetState() == 3)
        FInfo = TZqPhysODBCDialectInfo::Read(*AODBCConnection);
}

TZqPhysODBCMetadata::TZqPhysODBCMetadata(const TZqPhysODBCDialectInfo &AInfo) : FInfo(AInfo) {}

TZqRDBMSKind TZqPhysODBCMetadata::GetKind()
{
    return FInner ? FInner->GetKind() : TZqPhysConnectionMetadata::GetKind();
}

bool TZqPhysODBCMetadata::GetTxSupported() { return FInner ? FInner->GetTxSupported() : FInfo.TxSupported; }

bool TZqPhysODBCMetadata::GetTxNested()
{
    // An ODBC connection has one transaction at a time, and SQLEndTran ends
    // all of it. SQL_MULTIPLE_ACTIVE_TXN only says that several connections
    // may each have one; taking it for nesting would let an inner Commit
    // commit the outer transaction's work, which the outer Rollback could
    // then no longer undo. A nested start is refused instead (no savepoints
    // are known without a dialect).
    return FInner ? FInner->GetTxNested() : false;
}

bool TZqPhysODBCMetadata::GetTxSavepoints()
{
    return FInner ? FInner->GetTxSavepoints() : TZqPhysConnectionMetadata::GetTxSavepoints();
}

bool TZqPhysODBCMetadata::GetServerAutoCommit()
{
    return FInner ? FInner->GetServerAutoCommit() : TZqPhysConnectionMetadata::GetServerAutoCommit();
}

int TZqPhysODBCMetadata::GetNameMaxLength() { return FInner ? FInner->GetNameMaxLength() : FInfo.NameMaxLength; }

TZqPhysNameParts TZqPhysODBCMetadata::GetNameParts()
{
    if (FInner) return FInner->GetNameParts();
    TZqPhysNameParts P = TZqPhysConnectionMetadata::GetNameParts();
    if (FInfo.CatalogUsage & SQL_CU_DML_STATEMENTS) P |= ZqNamePart(npCatalog);
    if (FInfo.SchemaUsage & SQL_SU_DML_STATEMENTS) P |= ZqNamePart(npSchema);
    return P;
}

TZqPhysNameParts TZqPhysODBCMetadata::GetNameQuotedCaseSensParts()
{
    return FInner ? FInner->GetNameQuotedCaseSensParts() : AllWhen(FInfo.QuotedIdentifierCase == SQL_IC_SENSITIVE);
}

TZqPhysNameParts TZqPhysODBCMetadata::GetNameCaseSensParts()
{
    return FInner ? FInner->GetNameCaseSensParts() : AllWhen(FInfo.IdentifierCase == SQL_IC_SENSITIVE);
}

TZqPhysNameParts TZqPhysODBCMetadata::GetNameDefLowCaseParts()
{
    return FInner ? FInner->GetNameDefLowCaseParts() : AllWhen(FInfo.IdentifierCase == SQL_IC_LOWER);
}

char TZqPhysODBCMetadata::GetNameQuoteChar1() { return FInner ? FInner->GetNameQuoteChar1() : FInfo.NameQuoteChar1; }

char TZqPhysODBCMetadata::GetNameQuoteChar2() { return FInner ? FInner->GetNameQuoteChar2() : FInfo.NameQuoteChar2; }

bool TZqPhysODBCMetadata::GetLocatorLobs()
{
    return FInner ? FInner->GetLocatorLobs() : TZqPhysConnectionMetadata::GetLocatorLobs();
}

bool TZqPhysODBCMetadata::GetIdentityInsertSupported()
{
    return FInner ? FInner->GetIdentityInsertSupported() : TZqPhysConnectionMetadata::GetIdentityInsertSupported();
}

bool TZqPhysODBCMetadata::GetTruncateSupported()
{
    return FInner ? FInner->GetTruncateSupported() : TZqPhysConnectionMetadata::GetTruncateSupported();
}

uint8_t TZqPhysODBCMetadata::GetDefaultValuesForm()
{
    return FInner ? FInner->GetDefaultValuesForm() : TZqPhysConnectionMetadata::GetDefaultValuesForm();
}

bool TZqPhysODBCMetadata::GetInlineRefreshSupported()
{
    return FInner ? FInner->GetInlineRefreshSupported() : TZqPhysConnectionMetadata::GetInlineRefreshSupported();
}

bool TZqPhysODBCMetadata::GetRefreshIdentityByExpr()
{
    return FInner ? FInner->GetRefreshIdentityByExpr() : TZqPhysConnectionMetadata::GetRefreshIdentityByExpr();
}

bool TZqPhysODBCMetadata::GetDialectFlagB()
{
    return FInner ? FInner->GetDialectFlagB() : TZqPhysConnectionMetadata::GetDialectFlagB();
}

bool TZqPhysODBCMetadata::GetAsyncAbortSupported()
{
    return FInner ? FInner->GetAsyncAbortSupported() : FInfo.AsyncAbort;
}

std::string TZqPhysODBCMetadata::TranslateEscape(TZqPhysEscapeData &AEscape)
{
    // The inner dialect writes its own literals, functions and LIKE escapes.
    return FInner ? FInner->TranslateEscape(AEscape) : TZqPhysConnectionMetadata::TranslateEscape(AEscape);
}

TZqPhysCommandKind TZqPhysODBCMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    return FInner ? FInner->GetKeywordCommandKind(AToken) : TZqPhysConnectionMetadata::GetKeywordCommandKind(AToken);
}
