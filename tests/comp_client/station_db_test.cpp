// The connection and command components end to end through the Access
// driver on a station database of the test's own: connect from the two
// parameter lines the application writes, run UPDATE statements through
// Active and through Execute and read them back on a second connection,
// a duplicate CREATE TABLE, and a disconnect closing the commands.
#include "tests/comp_client/client_fixture.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

using client_test::Raised;

namespace {

class StationDb : public ClientFixture {
protected:
    void SetUp() override
    {
        ClientFixture::SetUp();
        Dir = std::filesystem::temp_directory_path() /
              ("comp_client_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
        DbPath = (Dir / "station.mdb").string();
        std::ofstream(DbPath).close();
        Main = Connect();
        Run(Main.get(), "CREATE TABLE Cast_Titles (ID_Cast Long, ID_Cruise Long, Velosity Double, "
                        "FLon Short, PRIMARY KEY (ID_Cast))");
        Run(Main.get(), "INSERT INTO Cast_Titles VALUES (1, 10, 0.5, 0)");
        Run(Main.get(), "INSERT INTO Cast_Titles VALUES (2, 10, 0.7, 0)");
        Run(Main.get(), "INSERT INTO Cast_Titles VALUES (3, 11, 0.9, 0)");
    }
    void TearDown() override
    {
        Main.reset();
        ClientFixture::TearDown();
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }
    // As the main window does it: clear the lines, add the two, connect.
    std::unique_ptr<TZqConnection> Connect()
    {
        auto C = std::make_unique<TZqConnection>();
        C->SetConnected(false);
        C->Params().Clear();
        C->Params().Add("DriverID=MSAcc");
        C->Params().Add("Database=" + DbPath);
        C->SetConnected(true);
        return C;
    }
    void Run(TZqCustomConnection *AConn, const std::string &ASQL)
    {
        TZqCommand Cmd;
        Cmd.SetConnection(AConn);
        Cmd.CommandText().Add(ASQL);
        Cmd.Execute(0, 0);
    }
    // One column of every row, read on a connection of its own (or on AOn).
    std::vector<std::string> ReadBack(const std::string &ASQL, TZqCustomConnection *AOn = nullptr)
    {
        auto Second = AOn ? nullptr : Connect();
        TZqCommand Cmd;
        Cmd.SetConnection(AOn ? AOn : Second.get());
        Cmd.CommandText().Add(ASQL);
        Cmd.Open();
        dats::TZqDatSTable Table;
        Cmd.CommandIntf()->Define(&Table);
        Cmd.CommandIntf()->Fetch(&Table, true);
        std::vector<std::string> R;
        for (int I = 0; I < Table.Rows()->Count(); ++I)
            R.push_back(Table.Rows()->GetItem(I)->GetDataAsVariant(0).AsString());
        return R;
    }

    std::filesystem::path Dir;
    std::string DbPath;
    std::unique_ptr<TZqConnection> Main;
};

} // namespace

TEST_F(StationDb, TwoParameterLinesConnect)
{
    ASSERT_TRUE(Main->Connected());
    EXPECT_EQ(Main->GetRDBMSKind(), mkMSAccess);
    EXPECT_EQ(ReadBack("SELECT ID_Cast FROM Cast_Titles ORDER BY ID_Cast"),
              (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(StationDb, UpdateThroughActiveTrueThenFalse)
{
    TZqCommand Cmd;
    Cmd.SetConnection(Main.get());
    Cmd.CommandText().Clear();
    Cmd.CommandText().Add("UPDATE Cast_Titles SET FLon = 4 WHERE ID_Cruise = 10");
    Cmd.SetActive(true);
    Cmd.SetActive(false);
    EXPECT_FALSE(Cmd.Active());
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"),
              (std::vector<std::string>{"4", "4", "0"}));
}

TEST_F(StationDb, UpdateThroughExecuteFiresAfterExecute)
{
    TZqCommand Cmd;
    Cmd.SetConnection(Main.get());
    int After = 0;
    Cmd.AfterExecute = [&](rtl::TObject *) { ++After; };
    Cmd.CommandText().Clear();
    Cmd.CommandText().Add("UPDATE Cast_Titles SET Velosity = 1.25 WHERE ID_Cast = 3");
    Cmd.Execute(0, 0);
    EXPECT_EQ(After, 1);
    EXPECT_EQ(Cmd.RowsAffected(), 1);
    EXPECT_EQ(ReadBack("SELECT Velosity FROM Cast_Titles WHERE ID_Cast = 3"), (std::vector<std::string>{"1.25"}));
}

TEST_F(StationDb, SecondCreateOfATableRaisesWithThePrefix)
{
    TZqCommand Cmd;
    Cmd.SetConnection(Main.get());
    Cmd.CommandText().Add("CREATE TABLE Work (A Long)");
    Cmd.Execute();
    EXPECT_FALSE(Cmd.Prepared());
    auto R = Raised([&] { Cmd.Execute(); });
    EXPECT_NE(R.Code, 0);
    EXPECT_EQ(R.Message.rfind("[Vexa][Phys][ODBC]", 0), 0u) << R.Message;
    EXPECT_NE(R.Message.find("Table 'Work' already exists"), std::string::npos) << R.Message;
    EXPECT_TRUE(Main->Connected());
}

TEST_F(StationDb, TransactionRolledBackLeavesTheRowsAlone)
{
    Main->StartTransaction();
    Run(Main.get(), "UPDATE Cast_Titles SET FLon = 8");
    Main->Rollback();
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"),
              (std::vector<std::string>{"0", "0", "0"}));
    Main->StartTransaction();
    Run(Main.get(), "UPDATE Cast_Titles SET FLon = 8 WHERE ID_Cast = 1");
    Main->Commit();
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"),
              (std::vector<std::string>{"8", "0", "0"}));
}

TEST_F(StationDb, DisconnectClosesTheCommands)
{
    TZqCommand Cmd;
    Cmd.SetConnection(Main.get());
    Cmd.CommandText().Add("SELECT ID_Cast FROM Cast_Titles");
    Cmd.Open();
    ASSERT_TRUE(Cmd.Active());
    Main->SetConnected(false);
    EXPECT_FALSE(Cmd.Active());
    EXPECT_FALSE(Cmd.Prepared());
    Main->SetConnected(true);
    Cmd.Open();
    EXPECT_TRUE(Cmd.Active());
}

TEST_F(StationDb, ObjectNamesAreQuotedOnlyWhereNeeded)
{
    EXPECT_EQ(Main->EncodeObjectName("<NULL>", "", "", "Cast_Titles"), "Cast_Titles");
    EXPECT_EQ(Main->EncodeObjectName("", "<NULL>", "", "Cast Titles"), "[Cast Titles]");
    std::string Catalog, Schema, Base, Object;
    Main->DecodeObjectName("[Cast Titles]", Catalog, Schema, Base, Object);
    EXPECT_EQ(Object, "Cast Titles");
    EXPECT_EQ(Catalog + Schema + Base, "");
    Main->Close();
    EXPECT_EQ(Raised([&] { Main->EncodeObjectName("", "", "", "T"); }).Code, 505);
}

// One command whose text changes at every execute, as the flag write-back
// drives it: each text reports its own rows and its own failure, whatever
// the text before it bound, opened or failed on the command.
TEST_F(StationDb, CommandWithANewTextAtEveryExecuteAnswersForEachText)
{
    TZqCommand Cmd;
    Cmd.SetConnection(Main.get());
    auto SetText = [&](const std::string &ASQL) {
        Cmd.CommandText().BeginUpdate();
        Cmd.CommandText().Clear();
        Cmd.CommandText().Add(ASQL);
        Cmd.CommandText().EndUpdate();
    };
    auto Exec = [&](const std::string &ASQL) {
        SetText(ASQL);
        Cmd.Execute(0, 0);
        return Cmd.RowsAffected();
    };
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 1 WHERE ID_Cruise = 10"), 2);
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 2 WHERE ID_Cast = 3"), 1);
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 3 WHERE ID_Cast = 99"), 0);

    // A failure is the failing text's alone.
    const auto R = Raised([&] { Exec("UPDATE No_Such_Table SET FLon = 1"); });
    EXPECT_NE(R.Code, 0);
    EXPECT_NE(R.Message.find("No_Such_Table"), std::string::npos) << R.Message;
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 4 WHERE ID_Cast = 1"), 1);

    // A text with a parameter, then texts without: no bound value is left
    // over for them.
    SetText("UPDATE Cast_Titles SET FLon = :F WHERE ID_Cast = :ID");
    Cmd.Params().ParamByName("F")->SetAsInteger(7);
    Cmd.Params().ParamByName("ID")->SetAsInteger(2);
    Cmd.Execute(0, 0);
    EXPECT_EQ(Cmd.RowsAffected(), 1);
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET Velosity = 2.5 WHERE ID_Cruise = 11"), 1);

    // A text with a result set read to its end, then an update, then a
    // second result set of another shape on the same command.
    auto Rows = [&](const std::string &ASQL) {
        SetText(ASQL);
        Cmd.Open();
        dats::TZqDatSTable Table;
        Cmd.CommandIntf()->Define(&Table);
        Cmd.CommandIntf()->Fetch(&Table, true);
        std::vector<std::string> Got;
        for (int I = 0; I < Table.Rows()->Count(); ++I) {
            std::string Row;
            for (int C = 0; C < Table.Columns()->Count(); ++C)
                Row += (C ? "|" : "") + Table.Rows()->GetItem(I)->GetDataAsVariant(C).AsString();
            Got.push_back(Row);
        }
        Cmd.Close();
        return Got;
    };
    EXPECT_EQ(Rows("SELECT ID_Cast FROM Cast_Titles ORDER BY ID_Cast"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 5 WHERE ID_Cast = 3"), 1);
    EXPECT_EQ(Rows("SELECT FLon, Velosity FROM Cast_Titles WHERE ID_Cruise = 11"),
              (std::vector<std::string>{"5|2.5"}));
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"), (std::vector<std::string>{"4", "7", "5"}));

    // The handle kept between texts fetches in the rowset each text's setup
    // asks for, whatever size the fetch before it or the update left on it.
    for (const int Size : {2, 1, 3, 1, 2}) {
        Cmd.FetchOptions()->SetRowsetSize(Size);
        EXPECT_EQ(Rows("SELECT ID_Cast, FLon FROM Cast_Titles ORDER BY ID_Cast"),
                  (std::vector<std::string>{"1|4", "2|7", "3|5"}))
            << "rowset " << Size;
        EXPECT_EQ(Exec("UPDATE Cast_Titles SET FLon = 5 WHERE ID_Cast = 3"), 1) << "rowset " << Size;
    }

    // An update leaves no cursor behind: the same text runs again at once,
    // and a select after it reads its rows.
    SetText("UPDATE Cast_Titles SET FLon = FLon + 10 WHERE ID_Cast = 1");
    for (int Round = 0; Round < 3; ++Round) {
        Cmd.Execute(0, 0);
        EXPECT_EQ(Cmd.RowsAffected(), 1) << Round;
    }
    EXPECT_EQ(Rows("SELECT FLon FROM Cast_Titles WHERE ID_Cast = 1"), (std::vector<std::string>{"34"}));
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"), (std::vector<std::string>{"34", "7", "5"}));
}

// An array stops at the set that fails, and the error names it, whether the
// driver runs the sets in one execute or, for a memo sent at execution, one
// by one: the sets before it (the first changes no row) wait in the
// caller's transaction, the failing set leaves nothing, the rest do not run.
TEST_F(StationDb, ArrayExecuteStopsAtTheFailingSetForTheCallersRollback)
{
    Run(Main.get(), "ALTER TABLE Cast_Titles ADD COLUMN Note MEMO");
    for (const bool Memo : {false, true}) {
        SCOPED_TRACE(Memo ? "set by set" : "one execute");
        TZqCommand Cmd;
        Cmd.SetConnection(Main.get());
        Cmd.CommandText().Add(std::string("UPDATE Cast_Titles SET ID_Cast = :NEW, FLon = 7") +
                              (Memo ? ", Note = :N" : "") + " WHERE ID_Cast = :OLD");
        const int Old[] = {99, 1, 2, 3}, New[] = {98, 10, 3, 30}; // 2 -> 3 meets cast 3
        TZqParams &P = Cmd.Params();
        for (int I = 0; I < P.Count(); ++I) P.Items(I)->SetArraySize(4);
        if (Memo) P.ParamByName("N")->SetDataType(rtl::ftMemo);
        for (int R = 0; R < 4; ++R) {
            P.ParamByName("OLD")->SetAsInteger(Old[R], R);
            P.ParamByName("NEW")->SetAsInteger(New[R], R);
            if (Memo) P.ParamByName("N")->SetAsMemo("note", R);
        }
        int Offset = -1;
        Cmd.OnError = [&](rtl::TObject *, const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &E) {
            if (auto *A = dynamic_cast<EZqPhysArrayExecuteError *>(E.get())) Offset = A->Offset;
        };
        Main->StartTransaction();
        EXPECT_NE(Raised([&] { Cmd.Execute(4, 0); }).Code, 0);
        EXPECT_EQ(Offset, 2);
        const auto *Odbc = dynamic_cast<TZqPhysODBCCommand *>(Cmd.CommandIntf());
        EXPECT_EQ((Odbc->StatementFlags() & TZqPhysODBCCommand::sfParamArrays) != 0, !Memo);
        EXPECT_EQ(ReadBack("SELECT ID_Cast & '|' & FLon FROM Cast_Titles ORDER BY ID_Cast", Main.get()),
                  (std::vector<std::string>{"2|0", "3|0", "10|7"}));
        Main->Rollback();
        EXPECT_EQ(ReadBack("SELECT ID_Cast FROM Cast_Titles ORDER BY ID_Cast"),
                  (std::vector<std::string>{"1", "2", "3"}));
    }
}

// A command keeps what it needs for its next text while unprepared; the
// connection going away or closing must still take everything with it.
TEST_F(StationDb, ConnectionClosedOrFreedUnderAnUnpreparedCommand)
{
    auto Cmd = std::make_unique<TZqCommand>();
    Cmd->SetConnection(Main.get());
    Cmd->CommandText().Add("UPDATE Cast_Titles SET FLon = 1 WHERE ID_Cast = 1");
    Cmd->Execute(0, 0);
    Cmd->CommandText().SetText("UPDATE Cast_Titles SET FLon = 2 WHERE ID_Cast = 2");
    EXPECT_FALSE(Cmd->Prepared());

    // Closed and opened again: the next text runs on the new link.
    Main->SetConnected(false);
    EXPECT_EQ(Main->ConnectionIntf(), nullptr);
    Main->SetConnected(true);
    Cmd->Execute(0, 0);
    EXPECT_EQ(Cmd->RowsAffected(), 1);
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"), (std::vector<std::string>{"1", "2", "0"}));

    // Freed first: the command is left without a connection, and goes
    // away later without touching it.
    Cmd->CommandText().SetText("UPDATE Cast_Titles SET FLon = 3 WHERE ID_Cast = 3");
    Main.reset();
    EXPECT_EQ(Cmd->Connection(), nullptr);
    Cmd.reset();
    EXPECT_EQ(ReadBack("SELECT FLon FROM Cast_Titles ORDER BY ID_Cast"), (std::vector<std::string>{"1", "2", "0"}));
}
