// The generic ODBC dialect: facts an ODBC driver reports, turned into name
// handling, and the forwarding to a known DBMS kind's own dialect.
#include <gtest/gtest.h>

#include "dataaccess/phys/dialects/qxZqPhysOraMeta.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCMeta.h"
#include "dataaccess/stan/qxZqStanError.h"

namespace {

constexpr TZqPhysNameParts Part(TZqPhysNamePart P) { return ZqNamePart(P); }

TZqIntfPtr<TZqPhysODBCMetadata> FromInfo(const TZqPhysODBCDialectInfo &AInfo)
{
    return TZqIntfPtr<TZqPhysODBCMetadata>(new TZqPhysODBCMetadata(AInfo));
}

int ErrorCodeOf(const std::function<void()> &AAction)
{
    try {
        AAction();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}

} // namespace

TEST(OdbcDialectFacts, CatalogAndSchemaJoinTheNameOnlyWhenUsableInStatements)
{
    TZqPhysODBCDialectInfo I;
    // Catalogs usable in table definitions and privileges only (bits 2 and
    // 8), schemas in statements (bit 1): only the schema is a name part.
    I.CatalogUsage = 0x2 | 0x8;
    I.SchemaUsage = 0x1;
    auto M = FromInfo(I);
    EXPECT_EQ(M->GetNameParts(), Part(npSchema) | Part(npBaseObject) | Part(npObject));

    TZqPhysParsedName N;
    M->ParseObjName("sales.orders", N, 0, nullptr);
    EXPECT_EQ(N.FSchema, "sales");
    EXPECT_EQ(N.FObject, "orders");
    // Four pieces are one too many without catalogs.
    EXPECT_EQ(ErrorCodeOf([&] { M->ParseObjName("db.sales.orders.pk", N, 0, nullptr); }), 331);

    I.CatalogUsage = 0x1;
    M = FromInfo(I);
    M->ParseObjName("db.sales.orders", N, 0, nullptr);
    EXPECT_EQ(N.FCatalog, "db");
    EXPECT_EQ(N.FSchema, "sales");
    EXPECT_EQ(N.FObject, "orders");
    M->ParseObjName("db.sales.orders.pk", N, 0, nullptr);
    EXPECT_EQ(N.FBaseObject, "orders");
    EXPECT_EQ(N.FObject, "pk");
}

TEST(OdbcDialectFacts, IdentifierCaseDecidesFoldingOfNames)
{
    TZqPhysODBCDialectInfo I;
    I.IdentifierCase = 2;       // SQL_IC_LOWER, as PostgreSQL folds
    I.QuotedIdentifierCase = 3; // SQL_IC_SENSITIVE
    auto M = FromInfo(I);
    EXPECT_EQ(M->NormalizeName("Station_List", npObject), "station_list");
    EXPECT_EQ(M->NormalizeName("\"Station_List\"", npObject), "\"Station_List\"");

    I.IdentifierCase = 3;       // sensitive: kept as written
    I.QuotedIdentifierCase = 4; // SQL_IC_MIXED: quoted names fold too
    M = FromInfo(I);
    EXPECT_EQ(M->NormalizeName("Station_List", npObject), "Station_List");
    EXPECT_EQ(M->GetNameQuotedCaseSensParts(), 0);
    EXPECT_EQ(M->NormalizeName("\"Station_List\"", npObject), "\"STATION_LIST\"");

    I.IdentifierCase = 1; // SQL_IC_UPPER
    M = FromInfo(I);
    EXPECT_EQ(M->NormalizeName("Station_List", npObject), "STATION_LIST");
}

TEST(OdbcDialectFacts, QuoteCharacterAnswers)
{
    TZqPhysODBCDialectInfo I;
    I.SetQuoteChars("[]");
    EXPECT_EQ(I.NameQuoteChar1, '[');
    EXPECT_EQ(I.NameQuoteChar2, ']');
    I.SetQuoteChars("`");
    EXPECT_EQ(I.NameQuoteChar1, '`');
    EXPECT_EQ(I.NameQuoteChar2, '`');

    // A blank (the standard's "not supported") and an empty answer both
    // leave names unquoted, even names that would need quotes.
    for (const char *Answer : {" ", ""}) {
        I.SetQuoteChars(Answer);
        auto M = FromInfo(I);
        EXPECT_EQ(M->QuoteIfNeeded("two words", npObject), "two words") << "answer '" << Answer << "'";
        TZqPhysParsedName N;
        N.FObject = "Cast_Titles";
        EXPECT_EQ(M->EncodeObjName(N, nullptr, eoQuote), "Cast_Titles");
    }
}

TEST(OdbcDialectFacts, NoNestingWithoutADialectWhateverTheDriverSays)
{
    // SQL_MULTIPLE_ACTIVE_TXN is about several connections; a second start
    // on one ODBC connection could only end the first one's work with it.
    TZqPhysODBCDialectInfo I;
    auto M = FromInfo(I);
    EXPECT_FALSE(M->GetTxNested());
    EXPECT_FALSE(M->GetTxSavepoints());
}

TEST(OdbcDialectFacts, FunctionEscapesNeedAKnownDialect)
{
    auto M = FromInfo(TZqPhysODBCDialectInfo());
    TZqPhysEscapeData E;
    E.FKind = eskFunction;
    E.FName = "UCASE";
    E.FArgs = {"Name"};
    EXPECT_EQ(ErrorCodeOf([&] { M->TranslateEscape(E); }), 303);
    TZqPhysEscapeData D;
    D.FKind = eskDate;
    D.FArgs = {"'2024-03-01'"};
    EXPECT_EQ(M->TranslateEscape(D), "'2024-03-01'");
}

TEST(OdbcDialectInner, FactsAndEscapesAreTheInnerDialects)
{
    TZqIntfPtr<TZqPhysConnectionMetadata> Ora(new TZqPhysOraMetadata(0, 0));
    TZqIntfPtr<TZqPhysODBCMetadata> M(new TZqPhysODBCMetadata(nullptr, Ora, nullptr));
    EXPECT_EQ(M->Inner(), Ora.Get());
    EXPECT_EQ(M->GetKind(), mkOracle);
    EXPECT_EQ(M->GetNameMaxLength(), 30);
    EXPECT_TRUE(M->GetTxSavepoints());
    EXPECT_TRUE(M->GetLocatorLobs()); // client version 0 is before 8.1
    EXPECT_EQ(M->GetNameParts(), Part(npSchema) | Part(npDBLink) | Part(npBaseObject) | Part(npObject));

    TZqPhysEscapeData D;
    D.FKind = eskDate;
    D.FArgs = {"'2024-03-01'"};
    EXPECT_EQ(M->TranslateEscape(D), "TO_DATE('2024-03-01', 'YYYY-MM-DD')");
    TZqPhysEscapeData If;
    If.FKind = eskIF;
    If.FArgs = {"MSSQL", "a", "ORACLE", "b", "c"};
    EXPECT_EQ(M->TranslateEscape(If), "b");
    EXPECT_EQ(M->GetSQLCommandKind("BEGIN"), skExecute);

    // Through ODBC parameters are marked with "?", whatever the server's
    // own marker, and scripts are split with the generic separator.
    EXPECT_EQ(M->GetParamMark(), 0);
    EXPECT_EQ(M->GetCommandSeparator(), ";");
    EXPECT_EQ(M->GetServerVersion(), 0);

    // Names are split by the inner dialect's parts: the link of a name.
    TZqPhysParsedName N;
    M->ParseObjName("scott.emp@remote", N, 0, nullptr);
    EXPECT_EQ(N.FSchema, "scott");
    EXPECT_EQ(N.FObject, "emp");
    EXPECT_EQ(N.FLink, "remote");
}
