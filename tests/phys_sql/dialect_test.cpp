// Dialects: name decoding and encoding, literal forms, escape functions.
#include <gtest/gtest.h>

#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysOraMeta.h"

namespace {

TZqIntfPtr<TZqPhysConnectionMetadata> Dialect(TZqRDBMSKind AKind, int32_t AServerVersion = 0)
{
    return ZqCreateDialectMetadata(AKind, AServerVersion);
}

TZqPhysEscapeData Fn(const std::string &AName, std::vector<std::string> AArgs)
{
    TZqPhysEscapeData E;
    E.FKind = eskFunction;
    E.FName = AName;
    E.FArgs = std::move(AArgs);
    return E;
}

std::string Translate(TZqRDBMSKind AKind, TZqPhysEscapeData AEscape, int32_t AServerVersion = 0)
{
    return Dialect(AKind, AServerVersion)->TranslateEscape(AEscape);
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

TEST(DialectNames, FourPartNamesOnMSSQLAndTheirLimitsOnAccess)
{
    auto M = Dialect(mkMSSQL);
    TZqPhysParsedName N;
    M->DecodeName("a.b.c.d", N);
    EXPECT_EQ(N.FCatalog, "a");
    EXPECT_EQ(N.FSchema, "b");
    EXPECT_EQ(N.FBaseObject, "c");
    EXPECT_EQ(N.FObject, "d");
    M->DecodeName("db..t", N);
    EXPECT_EQ(N.FCatalog, "db");
    EXPECT_EQ(N.FSchema, "");
    EXPECT_EQ(N.FObject, "t");
    EXPECT_EQ(M->BuildName(N), "db..t");
    M->DecodeName("[my.db].dbo.t", N);
    EXPECT_EQ(N.FCatalog, "[my.db]");

    auto A = Dialect(mkMSAccess);
    EXPECT_EQ(ErrorCodeOf([&] { A->DecodeName("a.b.c", N); }), 331);
    EXPECT_EQ(ErrorCodeOf([&] { A->DecodeName("[unclosed", N); }), 331);
    A->DecodeName("Cast_Titles", N);
    EXPECT_EQ(N.FObject, "Cast_Titles");
}

TEST(DialectNames, OracleLinkRoundTrips)
{
    auto M = Dialect(mkOracle);
    TZqPhysParsedName N;
    M->DecodeName("x@lnk", N);
    EXPECT_EQ(N.FObject, "x");
    EXPECT_EQ(N.FLink, "lnk");
    EXPECT_EQ(M->BuildName(N), "x@lnk");
}

TEST(DialectNames, NormalisingAndQuoting)
{
    EXPECT_EQ(Dialect(mkDB2)->NormalizeName("MixedCase", npObject), "MIXEDCASE");
    // A dialect folds every unquoted part it does not list as case-sensitive,
    // so SQL Server and Access (case-insensitive names) fold too; the catalog
    // cache compares the folded name with UPPER(...) of the stored one.
    EXPECT_EQ(Dialect(mkMSSQL)->NormalizeName("MixedCase", npObject), "MIXEDCASE");
    EXPECT_EQ(Dialect(mkMSSQL)->NormalizeName("with space", npObject), "[WITH SPACE]");
    EXPECT_EQ(Dialect(mkMySQL)->NormalizeName("MixedCase", npObject), "mixedcase");
    EXPECT_EQ(ZqCreateDialectMetadata(mkMySQL, 0, 0, true)->NormalizeName("MixedCase", npObject), "MixedCase");
    // Quoted names keep their case where quoting makes a name case-sensitive.
    EXPECT_EQ(Dialect(mkDB2)->NormalizeName("\"MixedCase\"", npObject), "\"MixedCase\"");
    EXPECT_EQ(Dialect(mkMSAccess)->QuoteIfNeeded("Velosity", npObject), "Velosity");
    EXPECT_EQ(Dialect(mkMSAccess)->QuoteIfNeeded("My Table", npObject), "[My Table]");
    // An identifier escape comes out in the dialect's quotes.
    TZqPhysEscapeData Id;
    Id.FKind = eskIdentifier;
    Id.FArgs = {"'Cast_Titles'"};
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(Id), "[Cast_Titles]");
    // Parsing with normalise and dequote gives the bare names.
    TZqPhysParsedName N;
    Dialect(mkMSAccess)->ParseObjName("[Cast_Titles]", N, poNormalize | poDequote, nullptr);
    EXPECT_EQ(N.FObject, "CAST_TITLES");
    Dialect(mkMSAccess)->ParseObjName("[Cast_Titles]", N, poDequote, nullptr);
    EXPECT_EQ(N.FObject, "Cast_Titles");
}

TEST(DialectLiterals, DatesAndTheQuotedEmptyString)
{
    TZqPhysEscapeData D;
    D.FKind = eskDate;
    D.FArgs = {"'2001-02-03'"};
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(D), "DATEVALUE('2001-02-03')");
    EXPECT_EQ(Dialect(mkOracle)->TranslateEscape(D), "TO_DATE('2001-02-03', 'YYYY-MM-DD')");
    EXPECT_EQ(Dialect(mkOther)->TranslateEscape(D), "'2001-02-03'");
    D.FKind = eskDateTime;
    D.FArgs = {"'2001-02-03 04:05:06'"};
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(D), "CDATE('2001-02-03 04:05:06')");
    // '' has fewer than three characters: it is not dequoted.
    D.FKind = eskDate;
    D.FArgs = {"''"};
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(D), "DATEVALUE('''')");
    TZqPhysEscapeData B;
    B.FKind = eskBoolean;
    B.FArgs = {"true"};
    EXPECT_EQ(Dialect(mkMSSQL)->TranslateEscape(B), "1");
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(B), "true");
}

TEST(DialectEscapes, IfPicksTheBranchOfTheConnection)
{
    TZqPhysEscapeData E;
    E.FKind = eskIF;
    E.FArgs = {"MSSQL", "a", "ORACLE", "b", "c"};
    EXPECT_EQ(Dialect(mkMSSQL)->TranslateEscape(E), "a");
    EXPECT_EQ(Dialect(mkOracle)->TranslateEscape(E), "b");
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(E), "c");
    E.FArgs = {"x > 1", "v", "w"}; // an unknown non-empty condition selects its value
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(E), "v");
    E.FArgs = {"MSSQL", "a"};
    EXPECT_EQ(Dialect(mkMSAccess)->TranslateEscape(E), "");
}

TEST(DialectEscapes, AccessFunctions)
{
    EXPECT_EQ(Translate(mkMSAccess, Fn("UCASE", {"name"})), "{fn UCASE(name)}");
    EXPECT_EQ(Translate(mkMSAccess, Fn("LCASE", {"x"})), "{fn LCASE(x)}");
    EXPECT_EQ(Translate(mkMSAccess, Fn("LENGTH", {"s"})), "LEN(s)");
    EXPECT_EQ(Translate(mkMSAccess, Fn("POSITION", {"'b'", "s"})), "INSTR(1, s, 'b')");
    EXPECT_EQ(Translate(mkMSAccess, Fn("TIMESTAMPADD", {"'DAY'", "1", "d"})), "DATEADD('d', 1, d)");
    EXPECT_EQ(ErrorCodeOf([] { Translate(mkMSAccess, Fn("TIMESTAMPADD", {"FORTNIGHT", "1", "d"})); }), 327);
    EXPECT_EQ(Translate(mkMSAccess, Fn("IFNULL", {"a", "0"})), "IIF(a IS NULL, 0, a)");
    EXPECT_EQ(Translate(mkMSAccess, Fn("CONVERT", {"x", "'varchar'"})), "{fn CONVERT(x, SQL_VARCHAR)}");
    EXPECT_EQ(Translate(mkMSAccess, Fn("SCHEMA", {})), "{fn USER()}");
    EXPECT_EQ(Translate(mkMSAccess, Fn("CATALOG", {})), "{fn DATABASE()}");
    EXPECT_EQ(Translate(mkMSAccess, Fn("EXTRACT", {"YEAR", "d"})), "DATEPART('yyyy', d)");
    EXPECT_EQ(Translate(mkMSAccess, Fn("DECODE", {"x", "1", "'a'", "2", "'b'", "'c'"})),
              "IIF(x = 1, 'a', IIF(x = 2, 'b', 'c'))");
    EXPECT_EQ(Translate(mkMSAccess, Fn("DECODE", {"x", "'c'"})), "'c'");
    EXPECT_EQ(Translate(mkMSAccess, Fn("INSERT", {"s", "2", "3", "'z'"})),
              "MID(s, 1, 2- 1) & 'z'& MID(s, (2) + (3), LEN(s))");
    EXPECT_EQ(ErrorCodeOf([] { Translate(mkMSAccess, Fn("NOSUCH", {"x"})); }), 327);
}

TEST(DialectEscapes, AccessLikeEscapesBecomeBrackets)
{
    auto A = Dialect(mkMSAccess);
    EXPECT_EQ(A->FormatLikeEscape('\\', "'a\\%b'"), "'a[%]b'");
    EXPECT_EQ(A->FormatLikeEscape('\\', "'\\\\'"), "'[\\]'");
    // A trailing escape character is kept as a literal, not dropped.
    EXPECT_EQ(A->FormatLikeEscape('!', "abc!"), "abc[!]");
    EXPECT_EQ(Dialect(mkOther)->FormatLikeEscape('!', "'a!%'"), "'a!%' ESCAPE '!'");
    EXPECT_EQ(Dialect(mkMySQL)->FormatLikeEscape('\\', "'a\\%'"), "'a\\%' ESCAPE '\\\\'");
}

TEST(DialectEscapes, OtherDialects)
{
    EXPECT_EQ(Translate(mkMSSQL, Fn("CONCAT", {"a", "b"})), "(a + b)");
    EXPECT_EQ(Translate(mkMSSQL, Fn("LOCATE", {"a", "b"})), "CHARINDEX(a, b)");
    EXPECT_EQ(Translate(mkMSSQL, Fn("LOCATE", {"a", "b", "3"})), "CHARINDEX(a, b, 3)");
    EXPECT_EQ(Translate(mkMSSQL, Fn("EXTRACT", {"'day'", "d"})), "DATEPART(DAY, d)");
    EXPECT_EQ(Translate(mkASA, Fn("LOCATE", {"a", "b"})), "LOCATE(a, b)");
    EXPECT_EQ(Translate(mkADS, Fn("IFNULL", {"a", "0"})), "CASE WHEN a IS NULL THEN 0 ELSE a END");
    EXPECT_EQ(ErrorCodeOf([] { Translate(mkADS, Fn("UCASE", {"a"})); }), 327);
    // Oracle before 9.0.1.1.1 (the generic ODBC connection passes 0).
    EXPECT_EQ(Translate(mkOracle, Fn("RANDOM", {})), "MOD(TRUNC((SYSDATE - TRUNC(SYSDATE)) * 60 * 60 * 24), 1000)");
    EXPECT_EQ(ErrorCodeOf([] { Translate(mkOracle, Fn("IF", {"a", "b", "c"})); }), 327);
    EXPECT_EQ(Translate(mkOracle, Fn("IF", {"a", "b", "c"}), 900010101), "CASE WHEN a THEN b ELSE c END");
    EXPECT_EQ(Translate(mkDB2, Fn("TIMESTAMPDIFF", {"'DAY'", "a", "b"})), "TIMESTAMPDIFF(16, CHAR((b) - (a)))");
    EXPECT_EQ(Translate(mkDB2, Fn("CONVERT", {"x", "'datetime'"})), "TIMESTAMP(x)");
    EXPECT_EQ(Translate(mkMySQL, Fn("TIMESTAMPADD", {"'week'", "2", "d"})), "DATE_ADD(d, INTERVAL 2 * 7 DAY)");
    EXPECT_EQ(Translate(mkMySQL, Fn("POSITION", {"a", "b"})), "POSITION(a IN b)");
    EXPECT_EQ(ErrorCodeOf([] { Translate(mkOther, Fn("UCASE", {"a"})); }), 303);
}

TEST(DialectFacts, CommandKindsAndAccessFacts)
{
    auto A = Dialect(mkMSAccess);
    EXPECT_EQ(A->GetSQLCommandKind("SELECT"), skSelect);
    EXPECT_EQ(A->GetSQLCommandKind("TRANSFORM"), skOther);
    EXPECT_EQ(Dialect(mkMSSQL)->GetSQLCommandKind("EXEC"), skExecute);
    EXPECT_EQ(Dialect(mkMySQL)->GetSQLCommandKind("SHOW"), skSelect);
    EXPECT_FALSE(A->GetTxNested());
    EXPECT_FALSE(A->GetTxSavepoints());
    EXPECT_FALSE(A->GetTruncateSupported());
    EXPECT_EQ(A->GetNameQuoteChar1(), '[');
    EXPECT_EQ(A->GetParamMark(), 0);
    EXPECT_EQ(A->GetNameMaxLength(), 30);
    EXPECT_TRUE(TZqPhysOraMetadata(0, 800000000).GetLocatorLobs());
    EXPECT_FALSE(TZqPhysOraMetadata(0, 900000000).GetLocatorLobs());
}
