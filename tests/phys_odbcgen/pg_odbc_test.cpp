// The generic ODBC driver on PostgreSQL through psqlODBC, on the throw-away
// server of the ctest fixture: a DBMS of no known kind, its dialect facts
// read from the driver, no nested transactions, and the one reconnect after
// the server ended the session.
#include <gtest/gtest.h>

#include <unistd.h>

#include "dataaccess/phys/odbc/qxZqPhysODBCMeta.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "odbcgen_fixture.h"

class PgGeneric : public PgTest {};

TEST_F(PgGeneric, KindOtherWithTheServersFacts)
{
    auto Conn = Connection(PgParams());
    EXPECT_EQ(Odbc(Conn)->RDBMSKind(), mkUnknown);
    Conn->Open();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    EXPECT_EQ(Odbc(Conn)->RDBMSKind(), mkOther);
    auto *M = dynamic_cast<TZqPhysODBCMetadata *>(Meta.Get());
    ASSERT_NE(M, nullptr);
    EXPECT_EQ(M->Inner(), nullptr);
    EXPECT_EQ(Odbc(Conn)->ODBCConnection()->GetInfoStr(SQL_DBMS_NAME), "PostgreSQL");

    // psqlODBC's answers: '"' quotes, 63-character names (NAMEDATALEN - 1),
    // transactions, unquoted names folded to lower case and quoted ones
    // kept, catalogs and schemas usable in statements, SQLCancel.
    EXPECT_EQ(Meta->GetKind(), mkOther);
    EXPECT_EQ(Meta->GetNameQuoteChar1(), '"');
    EXPECT_EQ(Meta->GetNameQuoteChar2(), '"');
    EXPECT_TRUE(Meta->GetTxSupported());
    EXPECT_EQ(Meta->GetNameMaxLength(), 63);
    EXPECT_EQ(Meta->GetNameDefLowCaseParts(), ZqAllNameParts);
    EXPECT_EQ(Meta->GetNameCaseSensParts(), 0);
    EXPECT_EQ(Meta->GetNameQuotedCaseSensParts(), ZqAllNameParts);
    EXPECT_EQ(Meta->GetNameParts(),
              ZqNamePart(npCatalog) | ZqNamePart(npSchema) | ZqNamePart(npBaseObject) | ZqNamePart(npObject));
    EXPECT_TRUE(Meta->GetAsyncAbortSupported());
    // The driver answers "Y" for several active transactions, which is
    // about several connections: one connection does not nest.
    EXPECT_EQ(Odbc(Conn)->ODBCConnection()->GetInfoStr(SQL_MULTIPLE_ACTIVE_TXN), "Y");
    EXPECT_FALSE(Meta->GetTxNested());

    // The facts at work: a three-part name and PostgreSQL's folding.
    TZqPhysParsedName N;
    M->ParseObjName("postgres.public.Cast_Titles", N, poNormalize, nullptr);
    EXPECT_EQ(N.FCatalog, "postgres");
    EXPECT_EQ(N.FSchema, "public");
    EXPECT_EQ(N.FObject, "cast_titles");

    // Every isolation level is offered, so each maps to itself.
    auto *C = Odbc(Conn);
    EXPECT_EQ(C->IsolationMap(xiDirtyRead), SQLUINTEGER(SQL_TXN_READ_UNCOMMITTED));
    EXPECT_EQ(C->IsolationMap(xiSerializible), SQLUINTEGER(SQL_TXN_SERIALIZABLE));
}

class PgTransactions : public PgTest {};

TEST_F(PgTransactions, NestedStartIsRefusedAndTheOuterRollbackStillUndoes)
{
    const std::string T = Table("station");
    auto Conn = Connection(PgParams());
    Conn->Open();
    auto *C = Odbc(Conn);
    TOutsideView Other(TPgServer::Get().ConnectString());
    Other.Exec("DROP TABLE IF EXISTS " + T);
    Other.Exec("CREATE TABLE " + T + " (id integer PRIMARY KEY)");

    Conn->StartTransaction();
    C->ExecuteDirect("INSERT INTO " + T + " VALUES (1)");
    int Code = 0;
    try {
        Conn->StartTransaction();
    } catch (const EZqException &E) {
        Code = E.ErrorCode();
    }
    EXPECT_EQ(Code, 303); // no savepoints without a dialect that has them
    EXPECT_TRUE(Conn->GetInTransaction());
    Conn->Rollback();
    EXPECT_FALSE(Conn->GetInTransaction());
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T), 0);
    Other.Exec("DROP TABLE " + T);
}

class PgReconnect : public PgTest {
protected:
    // A session the server can be told to end: its application name.
    TZqIntfPtr<IZqPhysConnection> Victim(bool AAllowReconnect)
    {
        auto P = PgParams();
        P["ODBCAdvanced"] += ";pqopt={application_name=" + Table("victim") + "}";
        if (AAllowReconnect) P["AllowReconnect"] = "True";
        return Connection(P);
    }
    void EndSession(TOutsideView &AOther)
    {
        ASSERT_EQ(AOther.Scalar("SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                "WHERE application_name = '" + Table("victim") + "'"),
                  1);
    }
    // The server ends a session asynchronously: wait until it is gone, so
    // that the next statement surely finds it ended.
    void WaitGone(TOutsideView &AOther)
    {
        for (int I = 0; I < 200; ++I) {
            if (AOther.Scalar("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = '" +
                              Table("victim") + "'") == 0)
                return;
            ::usleep(10000);
        }
        FAIL() << "the ended session did not go away";
    }
};

TEST_F(PgReconnect, StatementAfterTheSessionEndedRunsOnANewConnection)
{
    const std::string T = Table("log");
    TOutsideView Other(TPgServer::Get().ConnectString());
    Other.Exec("DROP TABLE IF EXISTS " + T);
    Other.Exec("CREATE TABLE " + T + " (id integer)");
    auto Conn = Victim(true);
    Conn->Open();
    auto *C = Odbc(Conn);
    EndSession(Other);
    WaitGone(Other);

    int Runs = 0;
    const bool Done = C->ExecuteWithReconnect([&] {
        ++Runs;
        C->ExecuteDirect("INSERT INTO " + T + " VALUES (1)");
        return true;
    });
    EXPECT_TRUE(Done);
    EXPECT_EQ(Runs, 2);
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T), 1);
    Other.Exec("DROP TABLE " + T);
}

TEST_F(PgReconnect, LostSessionInsideATransactionOrWithoutPermissionIsReported)
{
    TOutsideView Other(TPgServer::Get().ConnectString());
    for (bool InTx : {true, false}) {
        SCOPED_TRACE(InTx ? "inside a transaction" : "reconnect not allowed");
        auto Conn = Victim(InTx);
        Conn->Open();
        auto *C = Odbc(Conn);
        if (InTx) Conn->StartTransaction();
        EndSession(Other);
        WaitGone(Other);
        int Runs = 0;
        uint8_t Kind = 0;
        try {
            C->ExecuteWithReconnect([&] {
                ++Runs;
                C->ExecuteDirect("SELECT 1");
                return true;
            });
        } catch (const EODBCNativeException &E) {
            Kind = E.Kind();
        }
        // The lost connection is recognised, but neither run is repeated:
        // the open transaction's work is gone with the session.
        EXPECT_EQ(Kind, 10);
        EXPECT_EQ(Runs, 1);
        Conn.Reset();
    }
}
