// The generator's texts for the sample STATION table in every dialect (the
// connections' own dialect objects), with table and column names quoted so
// that each dialect's quotes show.
#include <gtest/gtest.h>

#include "tests/phys_gen/gen_test_util.h"

using namespace gentest;

namespace {

struct TDialectTexts {
    TZqRDBMSKind Kind;
    const char *Update;
    const char *Insert;
    const char *Delete;
    const char *Lock;
    const char *ReadIdentity; // "" = not supported (303)
    const char *Savepoint;    // "" = not supported (303)
    const char *Rollback;
    const char *Commit;
    const char *DeleteAll;
};

void PrintTo(const TDialectTexts &T, std::ostream *O) { *O << "kind " << int(T.Kind); }

const TDialectTexts Dialects[] = {
    {mkOther, R"(UPDATE "STATION" SET "CRUISE" = ? WHERE "ID" = ?)",
     R"(INSERT INTO "STATION" ("ID", "CRUISE", "DEPTH") VALUES (?, ?, ?))", R"(DELETE FROM "STATION" WHERE "ID" = ?)",
     R"(SELECT A."ID", A."CRUISE", A."DEPTH" FROM "STATION" A WHERE A."ID" = ?)", "", "", "", "",
     R"(TRUNCATE TABLE "STATION")"},
    {mkMSSQL, "UPDATE [STATION] SET [CRUISE] = ? WHERE [ID] = ?",
     "INSERT INTO [STATION] ([ID], [CRUISE], [DEPTH]) VALUES (?, ?, ?)", "DELETE FROM [STATION] WHERE [ID] = ?",
     "SET LOCK_TIMEOUT 0; SELECT A.[ID], A.[CRUISE], A.[DEPTH] FROM [STATION] A WITH(ROWLOCK,UPDLOCK) "
     "WHERE A.[ID] = ?",
     "SELECT SCOPE_IDENTITY()",
     "IF @@TRANCOUNT = 0 BEGIN SET IMPLICIT_TRANSACTIONS OFF BEGIN TRANSACTION END ELSE SAVE TRANSACTION SP1",
     "IF @@TRANCOUNT = 1 ROLLBACK TRANSACTION ELSE ROLLBACK TRANSACTION SP1", "IF @@TRANCOUNT >= 1 COMMIT TRANSACTION",
     "TRUNCATE TABLE [STATION]"},
    {mkDB2, R"(UPDATE "STATION" SET "CRUISE" = ? WHERE "ID" = ?)",
     R"(INSERT INTO "STATION" ("ID", "CRUISE", "DEPTH") VALUES (?, ?, ?))", R"(DELETE FROM "STATION" WHERE "ID" = ?)",
     R"(SELECT A."ID", A."CRUISE", A."DEPTH" FROM "STATION" A WHERE A."ID" = ? FOR UPDATE)",
     "SELECT IDENTITY_VAL_LOCAL()", "SAVEPOINT SP1 ON ROLLBACK RETAIN CURSORS", "ROLLBACK TO SAVEPOINT SP1",
     "RELEASE SAVEPOINT SP1", R"(DELETE FROM "STATION")"},
    {mkOracle, R"(UPDATE "STATION" SET "CRUISE" = :NEW_CRUISE WHERE "ID" = :OLD_ID)",
     R"(INSERT INTO "STATION" ("ID", "CRUISE", "DEPTH") VALUES (:NEW_ID, :NEW_CRUISE, :NEW_DEPTH))",
     R"(DELETE FROM "STATION" WHERE "ID" = :OLD_ID)",
     R"(SELECT A."ID", A."CRUISE", A."DEPTH" FROM "STATION" A WHERE A."ID" = :NEW_ID FOR UPDATE NOWAIT)",
     "SELECT SEQ1.CURRVAL FROM DUAL", "SAVEPOINT SP1", "ROLLBACK TO SAVEPOINT SP1", "", R"(TRUNCATE TABLE "STATION")"},
    {mkASA, R"(UPDATE "STATION" SET "CRUISE" = ? WHERE "ID" = ?)",
     R"(INSERT INTO "STATION" ("ID", "CRUISE", "DEPTH") VALUES (?, ?, ?))", R"(DELETE FROM "STATION" WHERE "ID" = ?)",
     R"(SELECT A."ID", A."CRUISE", A."DEPTH" FROM "STATION" A WHERE A."ID" = ? FOR UPDATE)", "SELECT @@IDENTITY",
     "SAVEPOINT SP1", "ROLLBACK TO SAVEPOINT SP1", "", R"(TRUNCATE TABLE "STATION")"},
    {mkADS, R"(UPDATE "STATION" SET "CRUISE" = ? WHERE "ID" = ?)",
     R"(INSERT INTO "STATION" ("ID", "CRUISE", "DEPTH") VALUES (?, ?, ?))", R"(DELETE FROM "STATION" WHERE "ID" = ?)",
     R"(SELECT A."ID", A."CRUISE", A."DEPTH" FROM "STATION" A WHERE A."ID" = ?)",
     "SELECT LASTAUTOINC(STATEMENT) FROM SYSTEM.IOTA", "SAVEPOINT SP1", "ROLLBACK TO SAVEPOINT SP1", "",
     R"(TRUNCATE TABLE "STATION")"},
    {mkMSAccess, "UPDATE [STATION] SET [CRUISE] = ? WHERE [ID] = ?",
     "INSERT INTO [STATION] ([ID], [CRUISE], [DEPTH]) VALUES (?, ?, ?)", "DELETE FROM [STATION] WHERE [ID] = ?",
     "SELECT A.[ID], A.[CRUISE], A.[DEPTH] FROM [STATION] A WHERE A.[ID] = ?", "SELECT @@IDENTITY", "", "", "",
     "DELETE FROM [STATION]"},
};

class GeneratorDialect : public ::testing::TestWithParam<TDialectTexts> {
protected:
    void SetUp() override
    {
        Opts.FUpdate.SetUpdateMode(upWhereKeyOnly);
        Opts.FUpdate.SetUpdateChangedFields(true);
        Opts.FUpdate.SetRefreshMode(rmManual);
        Opts.FUpdate.SetLockMode(lmPessimistic);
        Opts.FUpdate.SetLockWait(false);
        S.Read();
        S.Edit();
    }
    TZqIntfPtr<IZqPhysCommandGenerator> Gen()
    {
        Params.Clear();
        auto G = MakeRealGen(GetParam().Kind, &Opts, &Params);
        G->SetTable(&S.Table);
        G->SetRow(S.Row);
        G->SetNameOptions(gnQuoteTable | gnQuoteColumns);
        G->SetGenOptions(goOthers);
        return G;
    }
    TOptions Opts;
    TSample S;
    TZqParams Params;
};

TEST_P(GeneratorDialect, SampleTableStatements)
{
    const TDialectTexts &T = GetParam();
    EXPECT_EQ(Gen()->GenerateUpdate(), T.Update);
    EXPECT_EQ(ParamNames(Params), "NEW_CRUISE,OLD_ID");
    EXPECT_EQ(Gen()->GenerateInsert(), T.Insert);
    EXPECT_EQ(ParamNames(Params), "NEW_ID,NEW_CRUISE,NEW_DEPTH");
    EXPECT_EQ(Gen()->GenerateDelete(), T.Delete);
    EXPECT_EQ(ParamNames(Params), "OLD_ID");
    EXPECT_EQ(Gen()->GenerateDeleteAll(true), T.DeleteAll);
    EXPECT_EQ(Gen()->GenerateDeleteAll(false), std::string(T.DeleteAll).find("TRUNCATE") == 0
                                                   ? "DELETE FROM " + std::string(T.DeleteAll).substr(15)
                                                   : std::string(T.DeleteAll));
}

TEST_P(GeneratorDialect, PessimisticLockSelect)
{
    const TDialectTexts &T = GetParam();
    auto G = Gen();
    EXPECT_EQ(G->GenerateLock(), T.Lock);
    const bool OwnLock = T.Kind != mkOther && T.Kind != mkADS && T.Kind != mkMSAccess;
    EXPECT_EQ(G->GetCommandKind(), OwnLock ? skSelectForUpdate : skSelect);
    // The dialects' own lock SELECTs find the row by its current key, the
    // generic one by the values read.
    EXPECT_EQ(ParamNames(Params), OwnLock ? "NEW_ID" : "OLD_ID");
}

TEST_P(GeneratorDialect, IdentityAndSavepoints)
{
    const TDialectTexts &T = GetParam();
    if (*T.ReadIdentity)
        EXPECT_EQ(Gen()->GenerateReadIdentity("SEQ1"), T.ReadIdentity);
    else
        EXPECT_EQ(ErrorCodeOf([&] { Gen()->GenerateReadIdentity("SEQ1"); }), 303);
    if (*T.Savepoint) {
        EXPECT_EQ(Gen()->GenerateSavepoint("SP1"), T.Savepoint);
        EXPECT_EQ(Gen()->GenerateRollbackToSavepoint("SP1"), T.Rollback);
    } else {
        EXPECT_EQ(ErrorCodeOf([&] { Gen()->GenerateSavepoint("SP1"); }), 303);
        EXPECT_EQ(ErrorCodeOf([&] { Gen()->GenerateRollbackToSavepoint("SP1"); }), 303);
    }
    auto G = Gen();
    EXPECT_EQ(G->GenerateCommitSavepoint("SP1"), T.Commit);
    EXPECT_EQ(G->GetCommandKind(), skOther);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, GeneratorDialect, ::testing::ValuesIn(Dialects));

TEST(GeneratorMySQL, SharedLockOnlyWhenWaiting)
{
    TOptions Opts;
    Opts.FUpdate.SetLockMode(lmPessimistic);
    TSample S;
    S.Read();
    TZqParams Params;
    auto G = MakeGen(mkMySQL, &Opts, &Params);
    G->SetTable(&S.Table);
    G->SetRow(S.Row);
    G->SetGenOptions(goOthers);
    G->SetNameOptions(gnQuoteTable | gnQuoteColumns);
    Opts.FUpdate.SetLockWait(true);
    EXPECT_EQ(G->GenerateLock(),
              "SELECT A.`ID`, A.`CRUISE`, A.`DEPTH` FROM `STATION` A WHERE A.`ID` = ? LOCK IN SHARE MODE");
    Opts.FUpdate.SetLockWait(false);
    EXPECT_EQ(ErrorCodeOf([&] { G->GenerateLock(); }), 303);
}

TEST(GeneratorOracle, CallBlockAndSequence)
{
    TOptions Opts;
    auto G = MakeGen(mkOracle, &Opts, nullptr);
    EXPECT_EQ(G->GenerateCall("P1(:A)"), "BEGIN P1(:A); END;");
    EXPECT_EQ(G->GenerateCall("P1(:A);"), "BEGIN P1(:A); END;");
    EXPECT_EQ(G->GetCommandKind(), skExecute);
    G->SetNameOptions(gnMultiLine);
    EXPECT_EQ(G->GenerateReadIdentity("S"), "SELECT S.CURRVAL\r\nFROM DUAL");
    EXPECT_EQ(ErrorCodeOf([&] { MakeGen(mkMSSQL, &Opts, nullptr)->GenerateCall("X"); }), 303);
}

} // namespace
