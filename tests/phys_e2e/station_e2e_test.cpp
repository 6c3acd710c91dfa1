// Statements from end to end on a fixture station database through the
// driver manager, the ODBC command and unixODBC: selects into in-memory
// tables, writes seen from a second connection, errors, transactions,
// cancel and long values.
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/StationE2EFixture.h"

namespace {

// The rows of a select in their order: "ID@Date_Cast".
std::vector<std::string> IdsAndDates(TZqDatSTable &T, int AId, int ADate)
{
    std::vector<std::string> R;
    for (int I = 0; I < T.Rows()->Count(); ++I) {
        TZqDatSRow *Row = T.Rows()->GetItem(I);
        const rtl::TSQLTimeStamp D = Row->GetDataAsVariant(ADate).AsSQLTimeStamp();
        R.push_back(std::to_string(Row->GetDataAsVariant(AId).AsInteger()) + "@" + std::to_string(D.Year) + "-" +
                    std::to_string(D.Month) + "-" + std::to_string(D.Day) + " " + std::to_string(D.Hour));
    }
    return R;
}

} // namespace

TEST_P(StationE2E, CruiseSelectFillsTableWithTypesAndValuesInOrder)
{
    CreateCastTitles();
    TZqDatSTable T;
    Query("Select * from Cast_Titles where ID_Cruise = 7 order by Date_Cast, Time_Cast", T);
    ASSERT_EQ(T.Rows()->Count(), 3);
    const int Id = Column(T, "ID"), Date = Column(T, "Date_Cast");
    EXPECT_EQ(T.Columns()->GetItem(Id)->DataType(), dtInt32);
    EXPECT_EQ(T.Columns()->GetItem(Date)->DataType(), GetParam().DateTimeType);
    EXPECT_EQ(T.Columns()->GetItem(Column(T, "Velosity"))->DataType(), dtDouble);
    EXPECT_EQ(T.Columns()->GetItem(Column(T, "Station"))->DataType(), dtAnsiString);
    // 20 characters, held as UTF-8 of up to three bytes each.
    EXPECT_EQ(T.Columns()->GetItem(Column(T, "Station"))->Size(), 3 * 20);
    EXPECT_EQ(T.Columns()->GetItem(Column(T, "Note"))->DataType(), GetParam().MemoType);
    // 1888 first; the two casts of one day by their time.
    EXPECT_EQ(IdsAndDates(T, Id, Date), (std::vector<std::string>{"2@1888-11-30 0", "4@1975-6-2 0", "1@1975-6-2 0"}));
    EXPECT_DOUBLE_EQ(Value(T, 0, "Velosity").AsDouble(), 1490.5);
    EXPECT_EQ(Value(T, 2, "Station").AsString(), "BS-1");
    EXPECT_EQ(Value(T, 1, "Time_Cast").AsSQLTimeStamp().Hour, 9);
    EXPECT_TRUE(Value(T, 0, "Note").IsNull());
    // the catalog named the key while the result was described
    EXPECT_TRUE(T.Columns()->GetItem(Id)->Options().Contains(coInKey));
    EXPECT_FALSE(T.Columns()->GetItem(Date)->Options().Contains(coInKey));
    // fetched rows enter unchanged
    EXPECT_EQ(T.Rows()->GetItem(0)->RowState(), dats::rsUnchanged);
}

TEST_P(StationE2E, ParameterisedUpdateChangesExactlyOneRowSeenElsewhere)
{
    CreateCastTitles();
    auto Upd = Command("UPDATE Cast_Titles SET Velosity = :V WHERE ID = :ID");
    Upd->GetParams()->ParamByName("V")->SetAsFloat(1499.125);
    Upd->GetParams()->ParamByName("ID")->SetAsInteger(4);
    Upd->Execute();
    EXPECT_EQ(Upd->GetRowsAffected(), 1);

    auto Other = Connect();
    TZqDatSTable T;
    Query("SELECT ID, Velosity FROM Cast_Titles ORDER BY ID", T, Other);
    ASSERT_EQ(T.Rows()->Count(), 4);
    const double Expected[] = {1503.25, 1490.5, 1511.0, 1499.125};
    for (int I = 0; I < 4; ++I) EXPECT_DOUBLE_EQ(Value(T, I, "Velosity").AsDouble(), Expected[I]) << I;
}

TEST_P(StationE2E, MissingTableRaisesWithKindAndName)
{
    auto Cmd = Command("SELECT * FROM Cast_Tittles");
    try {
        Cmd->Open();
        FAIL() << "no error";
    } catch (const EODBCNativeException &E) {
        ASSERT_GT(E.ErrorCount(), 0);
        if (GetParam().MissingTableKind != 0) {
            EXPECT_EQ(E.Errors(0).Kind, GetParam().MissingTableKind);
            EXPECT_EQ(E.Errors(0).ObjName, "Cast_Tittles");
        }
        EXPECT_NE(std::string(E.what()).find("Cast_Tittles"), std::string::npos) << E.what();
    }
    // the failed prepare left no statement behind
    EXPECT_EQ(Cmd->GetState(), 0);
}

TEST_P(StationE2E, RollbackUndoesAndCommitKeepsWrites)
{
    CreateCastTitles();
    Conn->StartTransaction();
    EXPECT_EQ(Exec("UPDATE Cast_Titles SET Station = 'X' WHERE ID_Cruise = 7"), 3);
    Conn->Rollback();
    TZqDatSTable T;
    Query("SELECT ID FROM Cast_Titles WHERE Station = 'X'", T, Connect());
    EXPECT_EQ(T.Rows()->Count(), 0);

    Conn->StartTransaction();
    EXPECT_EQ(Exec("DELETE FROM Cast_Titles WHERE ID = 3"), 1);
    Conn->Commit();
    TZqDatSTable U;
    Query("SELECT ID FROM Cast_Titles", U, Connect());
    EXPECT_EQ(U.Rows()->Count(), 3);
}

TEST_P(StationE2E, HundredKilobyteMemoComesBackWhole)
{
    CreateCastTitles();
    std::string Memo;
    for (int I = 0; Memo.size() < 100 * 1024; ++I) Memo += "level " + std::to_string(I) + " checked;\n";
    auto Upd = Command("UPDATE Cast_Titles SET Note = :N WHERE ID = 2");
    Upd->GetParams()->ParamByName("N")->SetDataType(rtl::ftMemo);
    Upd->GetParams()->ParamByName("N")->SetAsMemo(Memo);
    Upd->Execute();
    EXPECT_EQ(Upd->GetRowsAffected(), 1);
    TZqDatSTable T;
    Query("SELECT ID, Note FROM Cast_Titles ORDER BY ID", T);
    ASSERT_EQ(T.Rows()->Count(), 4);
    const std::string Got = Value(T, 1, "Note").AsString();
    EXPECT_EQ(Got.size(), Memo.size());
    EXPECT_TRUE(Got == Memo);
    EXPECT_TRUE(Value(T, 0, "Note").IsNull());
}

TEST_P(StationE2E, RowsetsOfFiveFetchEveryRowOnce)
{
    CreateCastTitles();
    auto Ins = Command("INSERT INTO Cast_Titles (ID, ID_Cruise, Velosity) VALUES (:ID, 9, :V)");
    for (int I = 100; I < 123; ++I) {
        Ins->GetParams()->ParamByName("ID")->SetAsInteger(I);
        Ins->GetParams()->ParamByName("V")->SetAsFloat(I / 4.0);
        Ins->Execute();
    }
    auto Cmd = Command("SELECT ID, Velosity FROM Cast_Titles WHERE ID_Cruise = 9 ORDER BY ID");
    Cmd->GetOptions()->GetFetchOptions()->SetRowsetSize(5);
    TZqDatSTable T;
    Cmd->Open();
    Cmd->Define(&T);
    Cmd->Fetch(&T, true);
    ASSERT_EQ(T.Rows()->Count(), 23);
    for (int I = 0; I < 23; ++I) {
        EXPECT_EQ(Value(T, I, "ID").AsInteger(), 100 + I);
        EXPECT_DOUBLE_EQ(Value(T, I, "Velosity").AsDouble(), (100 + I) / 4.0);
    }
}

TEST_P(StationE2E, CancelFromAnotherThreadEndsLongStatement)
{
    if (!GetParam().CancelsFromAnotherThread) GTEST_SKIP() << "driver does not cancel across threads";
    CreateCastTitles();
    // A cross join of a few thousand rows runs for seconds when not cancelled.
    auto Ins = Command("INSERT INTO Cast_Titles (ID, ID_Cruise) VALUES (:ID, 5)");
    Conn->StartTransaction();
    for (int I = 1000; I < 1400; ++I) {
        Ins->GetParams()->ParamByName("ID")->SetAsInteger(I);
        Ins->Execute();
    }
    Conn->Commit();
    auto Cmd = Command("SELECT COUNT(*) FROM Cast_Titles A, Cast_Titles B, Cast_Titles C WHERE A.ID + B.ID > C.ID");
    Cmd->Prepare();
    std::atomic<bool> Done{false};
    std::thread Canceller([&] {
        while (!Done && Cmd->GetState() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Cmd->AbortJob(false);
    });
    const auto T0 = std::chrono::steady_clock::now();
    bool Cancelled = false;
    try {
        Cmd->Open();
    } catch (const EODBCNativeException &E) {
        Cancelled = E.Kind() == ekCmdAborted;
    } catch (const EZqException &) {
        Cancelled = true;
    }
    Done = true;
    Canceller.join();
    const double Secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
    if (GetParam().CancelRaises) {
        EXPECT_TRUE(Cancelled);
        EXPECT_EQ(Cmd->GetState(), 1);
    }
    EXPECT_LT(Secs, 20.0);
    // the connection still serves statements
    TZqDatSTable T;
    Query("SELECT ID FROM Cast_Titles WHERE ID = 1", T);
    EXPECT_EQ(T.Rows()->Count(), 1);
}

TEST_P(StationE2E, ExactRecsMaxTellsTooManyRowsFromExactlyEnough)
{
    CreateCastTitles();
    auto Run = [&](int ARecsMax) {
        auto Cmd = Command("SELECT ID FROM Cast_Titles WHERE ID_Cruise = 7");
        TZqFetchOptions *F = Cmd->GetOptions()->GetFetchOptions();
        F->SetMode(fmExactRecsMax);
        F->SetRecsMax(ARecsMax);
        TZqDatSTable T;
        try {
            Cmd->Open();
            Cmd->Define(&T);
            Cmd->Fetch(&T, false);
        } catch (const EZqException &E) {
            return E.ErrorCode();
        }
        return T.Rows()->Count() == ARecsMax ? 0 : -1;
    };
    EXPECT_EQ(Run(3), 0);
    EXPECT_EQ(Run(2), 312); // a fourth row would be one too many as well
    EXPECT_EQ(Run(4), 312);
}

INSTANTIATE_TEST_SUITE_P(Drivers, StationE2E, ::testing::ValuesIn(E2ETargets()), E2ETargetName);
