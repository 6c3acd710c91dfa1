// Statements from end to end on PostgreSQL through the generic ODBC driver
// and psqlODBC: a table created, rows written with parameters, read back
// into an in-memory table, written inside transactions, and a long
// statement cancelled from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "odbcgen_fixture.h"

namespace {

rtl::TSQLTimeStamp Stamp(int AY, int AM, int AD, int AH, int AMin)
{
    rtl::TSQLTimeStamp S;
    S.Year = int16_t(AY);
    S.Month = uint16_t(AM);
    S.Day = uint16_t(AD);
    S.Hour = uint16_t(AH);
    S.Minute = uint16_t(AMin);
    return S;
}

int Column(TZqDatSTable &T, const std::string &AName)
{
    for (int I = 0; I < T.Columns()->Count(); ++I)
        if (T.Columns()->GetItem(I)->Name() == AName) return I;
    ADD_FAILURE() << "no column " << AName;
    return 0;
}

} // namespace

class PgStatements : public PgTest {
protected:
    void SetUp() override
    {
        PgTest::SetUp();
        if (HasFatalFailure()) return;
        Conn = Connection(PgParams());
        Conn->Open();
        T = Table("cast");
        Exec("DROP TABLE IF EXISTS " + T);
        Exec("CREATE TABLE " + T +
             " (id integer PRIMARY KEY, station varchar(20), depth double precision, taken timestamp, note text)");
    }
    void TearDown() override
    {
        if (Conn) {
            try {
                Exec("DROP TABLE IF EXISTS " + T);
            } catch (...) {
            }
            Conn.Reset();
        }
        PgTest::TearDown();
    }
    TZqIntfPtr<IZqPhysCommand> Command(const std::string &ASql)
    {
        TZqIntfPtr<IZqPhysCommand> Cmd;
        Conn->CreateCommand(Cmd);
        Cmd->SetCommandText(ASql);
        return Cmd;
    }
    int Exec(const std::string &ASql)
    {
        auto Cmd = Command(ASql);
        Cmd->Execute();
        return Cmd->GetRowsAffected();
    }
    void Query(const std::string &ASql, TZqDatSTable &ATable)
    {
        auto Cmd = Command(ASql);
        Cmd->Open();
        Cmd->Define(&ATable);
        Cmd->Fetch(&ATable, true);
    }
    void Insert(int AId, const char *AStation, const rtl::Variant &ADepth, const rtl::TSQLTimeStamp &ATaken)
    {
        auto Ins = Command("INSERT INTO " + T + " (id, station, depth, taken) VALUES (:ID, :ST, :DEPTH, :TAKEN)");
        TZqParams *P = Ins->GetParams();
        P->ParamByName("ID")->SetAsInteger(AId);
        P->ParamByName("ST")->SetAsString(AStation);
        if (ADepth.IsNull()) {
            P->ParamByName("DEPTH")->SetDataType(rtl::ftFloat);
            P->ParamByName("DEPTH")->Clear();
        } else {
            P->ParamByName("DEPTH")->SetAsFloat(ADepth.AsDouble());
        }
        P->ParamByName("TAKEN")->SetAsSQLTimeStamp(ATaken);
        Ins->Execute();
        EXPECT_EQ(Ins->GetRowsAffected(), 1);
    }
    long long Count()
    {
        TOutsideView Other(TPgServer::Get().ConnectString());
        return Other.Scalar("SELECT COUNT(*) FROM " + T);
    }

    TZqIntfPtr<IZqPhysConnection> Conn;
    std::string T;
};

TEST_F(PgStatements, ParameterisedRowsComeBackWithTheirTypes)
{
    Insert(2, "BS-2", 1490.5, Stamp(1888, 11, 30, 6, 15));
    Insert(1, "BS-1", rtl::Variant::Null(), Stamp(1975, 6, 2, 14, 0));
    TZqDatSTable Tab;
    Query("SELECT id, station, depth, taken, note FROM " + T + " ORDER BY id", Tab);
    ASSERT_EQ(Tab.Rows()->Count(), 2);
    // psqlODBC describes integer as SQL_INTEGER, double precision as
    // SQL_DOUBLE, timestamp as SQL_TYPE_TIMESTAMP; to a connection made
    // through the ANSI functions varchar is SQL_VARCHAR and text
    // SQL_LONGVARCHAR (its default "text as long varchar").
    auto TypeOf = [&](const char *AName) { return Tab.Columns()->GetItem(Column(Tab, AName))->DataType(); };
    EXPECT_EQ(TypeOf("id"), dtInt32);
    EXPECT_EQ(TypeOf("depth"), dtDouble);
    EXPECT_EQ(TypeOf("taken"), dtDateTimeStamp);
    EXPECT_EQ(TypeOf("station"), dtAnsiString);
    EXPECT_EQ(TypeOf("note"), dtMemo);

    TZqDatSRow *R0 = Tab.Rows()->GetItem(0);
    TZqDatSRow *R1 = Tab.Rows()->GetItem(1);
    EXPECT_EQ(R0->GetDataAsVariant(Column(Tab, "id")).AsInteger(), 1);
    EXPECT_TRUE(R0->GetDataAsVariant(Column(Tab, "depth")).IsNull());
    EXPECT_TRUE(R0->GetDataAsVariant(Column(Tab, "note")).IsNull());
    EXPECT_EQ(R1->GetDataAsVariant(Column(Tab, "station")).AsString(), "BS-2");
    EXPECT_DOUBLE_EQ(R1->GetDataAsVariant(Column(Tab, "depth")).AsDouble(), 1490.5);
    const rtl::TSQLTimeStamp D = R1->GetDataAsVariant(Column(Tab, "taken")).AsSQLTimeStamp();
    EXPECT_EQ(D.Year, 1888);
    EXPECT_EQ(D.Month, 11);
    EXPECT_EQ(D.Day, 30);
    EXPECT_EQ(D.Hour, 6);
    EXPECT_EQ(D.Minute, 15);
}

TEST_F(PgStatements, TransactionsThroughCommands)
{
    Insert(1, "BS-1", 10.0, Stamp(1975, 6, 2, 14, 0));
    Conn->StartTransaction();
    EXPECT_EQ(Exec("UPDATE " + T + " SET station = 'X'"), 1);
    Insert(2, "BS-2", 20.0, Stamp(1975, 6, 3, 14, 0));
    EXPECT_EQ(Count(), 1); // not seen by another session before the end
    Conn->Rollback();
    EXPECT_EQ(Count(), 1);
    TZqDatSTable Tab;
    Query("SELECT station FROM " + T, Tab);
    ASSERT_EQ(Tab.Rows()->Count(), 1);
    EXPECT_EQ(Tab.Rows()->GetItem(0)->GetDataAsVariant(0).AsString(), "BS-1");

    Conn->StartTransaction();
    Insert(3, "BS-3", 30.0, Stamp(1975, 6, 4, 14, 0));
    Conn->Commit();
    EXPECT_EQ(Count(), 2);
    // Auto-commit again after the commit: a write is seen at once.
    Insert(4, "BS-4", 40.0, Stamp(1975, 6, 5, 14, 0));
    EXPECT_EQ(Count(), 3);
}

TEST_F(PgStatements, SleepingStatementIsCancelledFromAnotherThread)
{
    auto Cmd = Command("SELECT pg_sleep(30)");
    Cmd->Prepare();
    std::atomic<bool> Done{false};
    std::thread Canceller([&] {
        while (!Done && Cmd->GetState() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Cmd->AbortJob(false);
    });
    const auto T0 = std::chrono::steady_clock::now();
    bool Aborted = false;
    uint8_t Kind = 0;
    try {
        Cmd->Open();
    } catch (const EODBCNativeException &E) {
        Kind = E.Kind();
    } catch (const rtl::EAbort &) {
        Aborted = true;
    }
    Done = true;
    Canceller.join();
    // Ended long before the thirty seconds; the server's "canceling
    // statement due to user request" (57014) is known for a cancel.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count(), 10.0);
    EXPECT_TRUE(Aborted || Kind == ekCmdAborted) << "kind " << int(Kind);
    // The connection still serves statements.
    EXPECT_EQ(Exec("UPDATE " + T + " SET depth = 1"), 0);
}

TEST_F(PgStatements, KeyAndColumnsComeThroughTheCatalogCache)
{
    // A query's source table: its key, asked of psqlODBC's SQLPrimaryKeys
    // under the name PostgreSQL folded to lower case, marks the key column.
    auto Cmd = Command("SELECT ID, Station FROM " + T);
    TZqDatSTable Tab;
    Cmd->Define(&Tab);
    std::vector<std::string> Keys;
    for (int I = 0; I < Tab.Columns()->Count(); ++I)
        if (Tab.Columns()->GetItem(I)->Options().Contains(coInKey)) Keys.push_back(Tab.Columns()->GetItem(I)->Name());
    EXPECT_EQ(Keys, std::vector<std::string>{"id"});

    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    TZqPhysMetaView Fields = Meta->GetTableFields("", "", T, "");
    ASSERT_TRUE(Fields);
    EXPECT_EQ(Fields.RowCount(), 5);
    TZqPhysMetaView Tables = Meta->GetTables("", "", T);
    ASSERT_TRUE(Tables);
    EXPECT_EQ(Tables.RowCount(), 1);
}

TEST_F(PgStatements, GeneratedUpdateAndDeleteReachTheServer)
{
    Insert(1, "BS-1", 10.0, Stamp(1975, 6, 2, 14, 0));
    Insert(2, "BS-2", 20.0, Stamp(1975, 6, 3, 14, 0));
    // A table adapter over the select: it learns the key from the catalog
    // and writes its UPDATE and DELETE in the generic dialect.
    auto Select = Command("SELECT id, station, depth FROM " + T + " ORDER BY id");
    Select->GetOptions()->GetUpdateOptions()->SetRefreshMode(rmManual);
    auto *Adapter = new TZqDAptTableAdapter();
    TZqIntfPtr<IZqPhysMappingHandler> Keep(static_cast<IZqPhysMappingHandler *>(Adapter));
    Adapter->SetSelectCommand(Select);
    TZqDatSTable *Tab = Adapter->Define();
    Select->Open();
    Adapter->Fetch(true);
    ASSERT_EQ(Tab->Rows()->Count(), 2);

    TZqDatSRow *R = Tab->Rows()->GetItem(1);
    R->BeginEdit();
    R->SetDataFromVariant(Column(*Tab, "station"), std::string("BS-2a"));
    R->EndEdit();
    TZqErrorAction A = eaDefault;
    Adapter->UpdateRow(R, A, arUpdate, 0);
    TOutsideView Other(TPgServer::Get().ConnectString());
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T + " WHERE station = 'BS-2a' AND id = 2"), 1);
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T + " WHERE station = 'BS-1'"), 1);

    Adapter->UpdateRow(Tab->Rows()->GetItem(0), A, arDelete, 0);
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T), 1);
    EXPECT_EQ(Other.Scalar("SELECT COUNT(*) FROM " + T + " WHERE id = 1"), 0);
}
