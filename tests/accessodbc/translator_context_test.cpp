// The Jet translator on its own, with the column context the driver hands
// it on a second pass (CURRENCY and DATETIME columns), where a statement can
// reach forms that SQLite would never see from the first pass.
#include "platform/accessodbc/JetFunctions.h"
#include "platform/accessodbc/JetSqlTranslator.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

jet::TJetTranslateContext CurrencyInsert()
{
    jet::TJetTranslateContext C;
    C.CurrencyColumns = {"PRICE"};
    C.InsertTargetColumns = {"ID", "Price"};
    return C;
}

} // namespace

TEST(JetTranslator, AnEmptySelectItemUnderCurrencyContextIsASyntaxError)
{
    for (const char *Sql : {"INSERT INTO t SELECT a, FROM u", "INSERT INTO t (ID, Price) SELECT , b FROM u",
                            "INSERT INTO t SELECT DISTINCT , FROM u"}) {
        try {
            jet::TranslateJetSql(Sql, CurrencyInsert());
            ADD_FAILURE() << Sql;
        } catch (const jet::TJetSqlError &E) {
            EXPECT_EQ(E.State, "42000") << Sql;
        }
    }
    EXPECT_NE(jet::TranslateJetSql("INSERT INTO t SELECT a, b FROM u", CurrencyInsert()).Sql.find("jet_currency"),
              std::string::npos);
}

TEST(JetTranslator, ConditionsKeepTheirFormAndValuesOfComparisonsAreNegated)
{
    const jet::TJetTranslateContext C;
    // An index on ID_Cruise still serves the condition.
    EXPECT_EQ(jet::TranslateJetSql("SELECT ID FROM t WHERE ID_Cruise = 3 AND (Depth > 0 OR Depth IS NULL)", C).Sql,
              "SELECT ID FROM t WHERE ID_Cruise = 3 AND (Depth > 0 OR Depth IS NULL)");
    EXPECT_EQ(jet::TranslateJetSql("SELECT Depth > 0 AS Deep FROM t", C).Sql, "SELECT - (Depth > 0) AS Deep FROM t");
    EXPECT_EQ(jet::TranslateJetSql("SELECT ID FROM t WHERE (Depth > 0) = True", C).Sql,
              "SELECT ID FROM t WHERE (- (Depth > 0)) = -1");
    EXPECT_EQ(jet::TranslateJetSql("SELECT a > 1, b, c = 2 AS X, Sum(d > 3), e FROM t WHERE (e > 0) = True AND f = 1 "
                                   "GROUP BY b HAVING Count(*) > 1",
                                   C).Sql,
              "SELECT - (a > 1) , b , - (c = 2) AS X , Sum (- (d > 3)) , e FROM t WHERE (- (e > 0)) = -1 AND f = 1 "
              "GROUP BY b HAVING Count (*) > 1");
    EXPECT_EQ(jet::TranslateJetSql("UPDATE t SET a = b > 1, c = 2, d = Not e WHERE k = ?", C).Sql,
              "UPDATE t SET a = - (b > 1) , c = 2 , d = - (Not e) WHERE k = ?");
    EXPECT_EQ(jet::TranslateJetSql("INSERT INTO t (a, b) VALUES (1 < 2, 3)", C).Sql,
              "INSERT INTO \"t\" (a , b) VALUES (- (1 < 2) , 3)");
    EXPECT_EQ(jet::TranslateJetSql("SELECT Left(Name, 1) = 'A' FROM t LEFT JOIN u ON t.k = u.k", C).Sql,
              "SELECT - (jet_LEFT (Name , 1) = 'A') FROM t LEFT JOIN u ON t . k = u . k");
}

TEST(JetTranslator, DateOperandsOfConcatenationAndGuardedDivisors)
{
    jet::TJetTranslateContext C;
    C.DateColumns = {"DATE_CAST"};
    EXPECT_EQ(jet::TranslateJetSql("SELECT Name & Date_Cast & Depth FROM t", C).Sql,
              "SELECT jet_concat ((Name) , (jet_datetext (((jet_datecol (Date_Cast))))) , (Depth)) FROM t");
    EXPECT_EQ(jet::TranslateJetSql("SELECT a / Len(b) FROM t", C).Sql,
              "SELECT a * 1.0 / (jet_divisor ((jet_LEN (b)))) FROM t");
    EXPECT_EQ(jet::TranslateJetSql("SELECT a Mod (b + 1) FROM t", C).Sql, "SELECT a % (jet_divisor (((b + 1)))) FROM t");
    EXPECT_EQ(jet::TranslateJetSql("SELECT a / 4, a / 0 FROM t", C).Sql,
              "SELECT a * 1.0 / 4 , a * 1.0 / (jet_divisor ((0))) FROM t");
}

TEST(JetTranslator, TextColumnsAreComparedIgnoringCaseWhereTheyAreCompared)
{
    jet::TJetTranslateContext C;
    C.TextColumns = {"NAME"};
    // The select list keeps its plain columns; functions, tables and joins are no columns.
    EXPECT_EQ(jet::TranslateJetSql("SELECT Name, Len(Name) FROM t LEFT JOIN u ON t.Name = u.Name WHERE Left(Name, 1) IN "
                                   "(SELECT Name FROM v WHERE v.[Name] <> ?) GROUP BY Name ORDER BY u.Name DESC", C).Sql,
              "SELECT Name , jet_LEN (Name) FROM t LEFT JOIN u ON t . Name COLLATE JETNOCASE = u . Name COLLATE JETNOCASE "
              "WHERE jet_LEFT (Name COLLATE JETNOCASE , 1) IN (SELECT Name FROM v WHERE v . \"Name\" COLLATE JETNOCASE <> ?) "
              "GROUP BY Name COLLATE JETNOCASE ORDER BY u . Name COLLATE JETNOCASE DESC");
}

TEST(JetTranslator, DateColumnsComparedWithAValueKeepTheirIndexAndReadTheirTextsApart)
{
    jet::TJetTranslateContext C;
    C.DateColumns = {"DATE_CAST", "TIME_CAST"};
    const std::string Sql = jet::TranslateJetSql("SELECT ID_Cast FROM Cast_Titles WHERE (ID_Cruise <> 17) and "
                                                 "((Date_Cast >= ?) and (Date_Cast <= ?)) and (Date_Cast + Time_Cast <= ?)",
                                                 C).Sql;
    EXPECT_EQ(Sql, "SELECT ID_Cast FROM Cast_Titles WHERE ID_Cruise <> 17 AND ((Date_Cast >= ?1 AND Date_Cast <= ?2 AND "
                   "+ Date_Cast < '') OR (Date_Cast >= '' AND (jet_datecol (Date_Cast)) >= ?1 AND (jet_datecol "
                   "(Date_Cast)) <= ?2)) AND (jet_datecol (Date_Cast)) + (jet_datecol (Time_Cast)) <= ?3");
    // Two ranges of the index: the numbers as written, and the texts.
    sqlite3 *Db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &Db), SQLITE_OK);
    const std::int64_t Identity = 0;
    jet::RegisterJetFunctions(Db, &Identity);
    ASSERT_EQ(sqlite3_exec(Db, "CREATE TABLE Cast_Titles (ID_Cast INTEGER, ID_Cruise INTEGER, Date_Cast DATETIME, "
                               "Time_Cast DATETIME); CREATE INDEX D ON Cast_Titles (Date_Cast, Time_Cast)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt *Plan = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Db, ("EXPLAIN QUERY PLAN " + Sql).c_str(), -1, &Plan, nullptr), SQLITE_OK);
    std::string Steps;
    while (sqlite3_step(Plan) == SQLITE_ROW)
        Steps += std::string(reinterpret_cast<const char *>(sqlite3_column_text(Plan, 3))) + "\n";
    sqlite3_finalize(Plan);
    sqlite3_close(Db);
    EXPECT_EQ(Steps, "MULTI-INDEX OR\nINDEX 1\nSEARCH Cast_Titles USING INDEX D (Date_Cast>? AND Date_Cast<?)\n"
                     "INDEX 2\nSEARCH Cast_Titles USING INDEX D (Date_Cast>?)\n");
}
