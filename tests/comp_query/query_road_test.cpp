// The application's road through a query: open, read every row, move by
// record number and by Locate, post single fields, cached edits that stay
// in memory, statements without a result set, and what a disconnect does.
// Every expectation is read back from the file through SQLite itself.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/SysUtils.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

const char *const CCastSql = "Select * from Cast_Titles where ID_Cruise = 3 order by Date_Cast, Time_Cast";

double ToDouble(const std::string &S) { return S == "<null>" ? 0.0 : rtl::StrToFloat(S); }

} // namespace

using QueryRead = StationDb;

TEST_F(QueryRead, CastsOfACruiseArriveWholeInTheFilesOrderWithItsValues)
{
    const auto Expected = Sql("select ID_Cast, Lon, Lat, StationName, Velosity, FLon from Cast_Titles "
                              "where ID_Cruise = 3 order by Date_Cast, Time_Cast");
    ASSERT_GT(Expected.size(), 10u);
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    // fmAll is set on the connection only: the whole result is there at once.
    EXPECT_EQ(Q->Table()->Rows()->Count(), int(Expected.size()));
    EXPECT_EQ(Q->RecordCount(), int(Expected.size()));
    size_t I = 0;
    for (Q->First(); !Q->Eof(); Q->Next(), ++I) {
        ASSERT_LT(I, Expected.size());
        EXPECT_EQ(Q->RecNo(), int(I) + 1);
        EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Expected[I][0]);
        EXPECT_DOUBLE_EQ(Q->FieldByName("Lon")->AsFloat(), ToDouble(Expected[I][1]));
        EXPECT_DOUBLE_EQ(Q->FieldByName("Lat")->AsFloat(), ToDouble(Expected[I][2]));
        EXPECT_EQ(Q->FieldByName("StationName")->AsString(), Expected[I][3] == "<null>" ? "" : Expected[I][3]);
        EXPECT_DOUBLE_EQ(Q->FieldByName("Velosity")->AsFloat(), ToDouble(Expected[I][4]));
        EXPECT_EQ(Q->FieldByName("FLon")->AsInteger(), int(ToDouble(Expected[I][5])));
    }
    EXPECT_EQ(I, Expected.size());
}

TEST_F(QueryRead, WithoutFetchAllOnTheConnectionOnlyTheFirstRowsetArrives)
{
    Conn->FetchOptions()->SetMode(fmOnDemand);
    Conn->FetchOptions()->SetRowsetSize(4);
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    EXPECT_EQ(Q->Table()->Rows()->Count(), 4);
    // The query's own setting overrides the connection's.
    Q->Close();
    Q->FetchOptions()->SetMode(fmAll);
    Q->Open();
    EXPECT_EQ(Q->Table()->Rows()->Count(), int(Sql("select 1 from Cast_Titles where ID_Cruise = 3").size()));
}

TEST_F(QueryRead, ARowsetOfTwoStillBringsEveryRowUnderFetchAll)
{
    // A station, read last, holds a date the driver cannot read: its field
    // is empty, its row names the column, its other fields are as stored.
    const auto Last = Sql("select ID_Cast, Lon from Cast_Titles where ID_Cruise = 3 limit 1")[0];
    SqliteExec(DbPath, "update Cast_Titles set Date_Cast = '1999-02-29' where ID_Cast = " + Last[0]);
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 3 order by ID_Cast = " + Last[0]);
    Q->FetchOptions()->SetRowsetSize(2);
    Q->FetchOptions()->SetRecordCountMode(cmFetched);
    Q->Open();
    const int Expected = int(Sql("select 1 from Cast_Titles where ID_Cruise = 3").size());
    EXPECT_EQ(Q->Table()->Rows()->Count(), Expected);
    EXPECT_EQ(Q->RecordCount(), Expected);
    Q->Last();
    ASSERT_NE(Q->RowError(), nullptr);
    EXPECT_NE(Q->RowError()->Message().find("'1999-02-29' is no date"), std::string::npos);
    EXPECT_EQ(dynamic_cast<EZqDBEngineException *>(Q->RowError())->Errors(0).ObjName, "Date_Cast");
    EXPECT_TRUE(Q->FieldByName("Date_Cast")->IsNull());
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Last[0]);
    EXPECT_DOUBLE_EQ(Q->FieldByName("Lon")->AsFloat(), ToDouble(Last[1]));
    Q->Prior();
    EXPECT_EQ(Q->RowError(), nullptr);
}

// A command's rows visited where the driver fetched them hold what a fetch
// into an in-memory table holds, byte for byte, and a value the driver
// cannot read is empty there too, its row naming the column; a text longer
// than its column is cut and said alike (61 and 71 bytes in a Text(20)).
TEST_F(QueryRead, RowsVisitedInPlaceHoldWhatTheFetchReads)
{
    const auto Last = Sql("select max(ID_Cast) from Cast_Titles where ID_Cruise = 3")[0];
    SqliteExec(DbPath, "update Cast_Titles set Lon = 'east', StationName = 'A" + std::string(70, 'x') +
                           "' where ID_Cast = " + Last[0]);
    std::string Long = "B";
    for (int I = 0; I < 30; ++I) Long += "\u0416";
    SqliteExec(DbPath, "update Cast_Titles set StationName = '" + Long +
                           "' where ID_Cast = (select min(ID_Cast) from Cast_Titles where ID_Cruise = 3)");
    const std::string Text = "Select ID_Cast, Lon, StationName, Date_Cast from Cast_Titles where ID_Cruise = 3 "
                             "order by ID_Cast";
    std::vector<TZqCommand *> Cmds{New<TZqCommand>(), New<TZqCommand>()};
    dats::TZqDatSTable T;
    for (TZqCommand *C : Cmds) {
        C->CommandText().Add(Text);
        C->Open();
    }
    Cmds[1]->CommandIntf()->Define(&T);
    Cmds[1]->CommandIntf()->Fetch(&T, true);
    int I = 0;
    std::string Unread;
    const int Visited = Cmds[0]->CommandIntf()->FetchRows([&](IZqPhysFetchedRow &R) {
        ASSERT_LT(I, T.Rows()->Count());
        dats::TZqDatSRow &Row = *T.Rows()->GetItem(I++);
        ASSERT_EQ(R.ColumnCount(), 4);
        for (int C = 0; C < 4; ++C) {
            void *A = nullptr, *B = nullptr;
            uint32_t LA = 0, LB = 0;
            const bool HasA = R.GetValue(C, A, LA), HasB = Row.GetData(C, dats::rvDefault, B, 0, LB, false);
            EXPECT_EQ(R.ColumnType(C), T.Columns()->GetItem(C)->DataType());
            EXPECT_EQ(HasA, HasB) << I << ":" << C;
            EXPECT_TRUE(!HasA || (LA == LB && std::memcmp(A, B, LA) == 0)) << I << ":" << C;
        }
        const auto *E = dynamic_cast<const EZqDBEngineException *>(R.RowError());
        ASSERT_EQ(E != nullptr, Row.GetRowError() != nullptr);
        if (!E)
            return;
        EXPECT_EQ(E->Message(), Row.GetRowError()->Message());
        Unread += " " + Row.GetDataAsVariant(0).AsString();
        for (int K = 0; K < E->ErrorCount(); ++K)
            Unread += ":" + E->Errors(K).ObjName;
    });
    EXPECT_EQ(Visited, T.Rows()->Count());
    EXPECT_EQ(I, T.Rows()->Count());
    const std::string First = Sql("select min(ID_Cast) from Cast_Titles where ID_Cruise = 3")[0][0];
    EXPECT_EQ(Unread, " " + First + ":StationName " + Last[0] + ":Lon:StationName");
}

TEST_F(QueryRead, AStationNameLongerThanItsColumnIsKeptToItsLastWholeCharacterAndSaidSo)
{
    // StationName is Text(20), 60 bytes in memory: the cut falls inside the
    // 30th Cyrillic letter (2 bytes) and inside the 15th emoji (4 bytes).
    std::string Cyrillic = "A", Emoji = "AB";
    for (int I = 0; I < 30; ++I) Cyrillic += "\u0416";
    for (int I = 0; I < 15; ++I) Emoji += "\U0001F30A";
    const struct {
        std::string Stored;
        size_t Kept;
    } Cases[] = {{Cyrillic, 59}, {Emoji, 58}};
    const std::string Id = Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 limit 1")[0][0];
    for (const auto &C : Cases) {
        SqliteExec(DbPath, "update Cast_Titles set StationName = '" + C.Stored + "' where ID_Cast = " + Id);
        TZqQuery *Q = New("Select ID_Cast, StationName from Cast_Titles where ID_Cast = " + Id);
        Q->Open();
        EXPECT_EQ(Q->FieldByName("StationName")->AsString(), C.Stored.substr(0, C.Kept));
        ASSERT_NE(Q->RowError(), nullptr);
        EXPECT_EQ(Q->RowError()->Message(), "The text of Cast_Titles.StationName in the row with ID_Cast " + Id +
                                                " holds " + std::to_string(C.Stored.size()) +
                                                " bytes, more than its column takes: the first " +
                                                std::to_string(C.Kept) + " bytes are read.");
    }
}

TEST_F(QueryRead, TotalCountModeCountsTheTextBeforeOrderByWithoutFetching)
{
    Conn->FetchOptions()->SetMode(fmOnDemand);
    Conn->FetchOptions()->SetRowsetSize(3);
    TZqQuery *Q = New(CCastSql);
    Q->FetchOptions()->SetRecordCountMode(cmTotal);
    Q->Open();
    const int Expected = int(Sql("select 1 from Cast_Titles where ID_Cruise = 3").size());
    EXPECT_EQ(Q->RecordCount(), Expected);
    // Counting ran a statement of its own: this query still holds one rowset.
    EXPECT_EQ(Q->Table()->Rows()->Count(), 3);
}

TEST_F(QueryRead, RecNoAndLocateMoveAndAMissDoesNotMove)
{
    const auto Ids = Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 order by Date_Cast, Time_Cast");
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    Q->SetRecNoValue(5);
    EXPECT_EQ(Q->RecNo(), 5);
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Ids[4][0]);
    ASSERT_TRUE(Q->Locate("ID_Cast", rtl::Variant(std::atoi(Ids[7][0].c_str()))));
    EXPECT_EQ(Q->RecNo(), 8);
    EXPECT_FALSE(Q->Locate("ID_Cast", rtl::Variant(-12345)));
    EXPECT_EQ(Q->RecNo(), 8);
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Ids[7][0]);
}

TEST_F(QueryRead, AFailingStatementLeavesTheQueryClosedAndNamesTheLibrary)
{
    TZqQuery *Q = New("Select * from No_Such_Table");
    const std::string Msg = MessageOf([&] { Q->Open(); });
    EXPECT_NE(Msg.find("[Vexa]"), std::string::npos) << Msg;
    EXPECT_FALSE(Q->Active());
}

TEST_F(QueryRead, ChangingTheTextClosesAndUnpreparesSoTheNextOpenRunsTheNewText)
{
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    ASSERT_TRUE(Q->Prepared());
    Q->SQL()->Clear();
    Q->SQL()->Add("Select * from Cruise_Titles order by ID_Cruise");
    EXPECT_FALSE(Q->Active());
    EXPECT_FALSE(Q->Prepared());
    Q->Open();
    EXPECT_EQ(Q->RecordCount(), int(Sql("select 1 from Cruise_Titles").size()));
    EXPECT_NE(Q->FieldDefs().IndexOf("Cruise_Name"), -1);
}

TEST_F(QueryRead, DisconnectClosesOpenQueriesAndDropsTheirStatements)
{
    TZqQuery *A = New(CCastSql);
    TZqQuery *B = New("Select * from Cruise_Titles");
    A->Open();
    B->Open();
    Conn->SetConnected(false);
    EXPECT_FALSE(A->Active());
    EXPECT_FALSE(B->Active());
    EXPECT_FALSE(A->Prepared());
    // Opening again reconnects.
    A->Open();
    EXPECT_TRUE(Conn->Connected());
    EXPECT_GT(A->RecordCount(), 0);
}

// ---- posting -----------------------------------------------------------------------------

using QueryPost = StationDb;

TEST_F(QueryPost, EditPostWritesVelosityAndTheFourFlagsAndLeavesTheRowUnchanged)
{
    const auto Ids = Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 order by Date_Cast, Time_Cast");
    const std::string Id = Ids[2][0];
    TZqQuery *Q = New(CCastSql);
    int AfterPost = 0;
    Q->AfterPost = [&](TDataSet *) { ++AfterPost; };
    Q->Open();
    ASSERT_TRUE(Q->Locate("ID_Cast", rtl::Variant(std::atoi(Id.c_str()))));
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(17.25);
    Q->FieldByName("FLon")->SetAsInteger(1);
    Q->FieldByName("FLat")->SetAsInteger(2);
    Q->FieldByName("FDT")->SetAsInteger(3);
    Q->FieldByName("FD")->SetAsInteger(4);
    Q->Post();
    EXPECT_EQ(AfterPost, 1);
    EXPECT_EQ(Q->State(), dsBrowse);
    EXPECT_EQ(Q->UpdateStatus(), usUnmodified);
    EXPECT_FALSE(Q->GetUpdates()->HasChanges(Q->Table()));
    const auto Row = Sql("select Velosity, FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = " + Id);
    ASSERT_EQ(Row.size(), 1u);
    EXPECT_DOUBLE_EQ(ToDouble(Row[0][0]), 17.25);
    EXPECT_EQ(Row[0][1], "1");
    EXPECT_EQ(Row[0][2], "2");
    EXPECT_EQ(Row[0][3], "3");
    EXPECT_EQ(Row[0][4], "4");
    // Only that row changed.
    EXPECT_EQ(Sql("select 1 from Cast_Titles where FD = 4 and FDT = 3").size(), 1u);
}

TEST_F(QueryPost, TheProgramsDataQuerySettingsWriteTheFlags)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 4 order by Date_Cast, Time_Cast");
    Q->UpdateOptions()->SetUpdateChangedFields(false);
    Q->UpdateOptions()->SetRefreshMode(rmManual);
    Q->Open();
    Q->Last();
    const std::string Id = Q->FieldByName("ID_Cast")->AsString();
    Q->Edit();
    Q->FieldByName("FLon")->SetAsInteger(2);
    Q->FieldByName("FD")->SetAsInteger(5);
    Q->Post();
    EXPECT_EQ(Sql("select FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = " + Id)[0],
              (TRow{"2", "0", "0", "5"}));
    EXPECT_EQ(Q->UpdateStatus(), usUnmodified);
}

TEST_F(QueryPost, ASecondConnectionSeesThePostedValue)
{
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    const int Id = Q->FieldByName("ID_Cast")->AsInteger();
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(3.5);
    Q->Post();

    TZqConnection Other(nullptr);
    Other.Params().Add("DriverID=MSAcc");
    Other.Params().Add("Database=" + DbPath);
    TZqQuery R(nullptr);
    R.SetConnection(&Other);
    R.SQL()->Add("Select Velosity from Cast_Titles where ID_Cast = " + std::to_string(Id));
    R.Open();
    EXPECT_DOUBLE_EQ(R.FieldByName("Velosity")->AsFloat(), 3.5);
    R.Close();
    Other.SetConnected(false);
}

TEST_F(QueryPost, PostAgainstARowDeletedMeanwhileRaises400StaysInEditAndCancelReverts)
{
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    const std::string Id = Q->FieldByName("ID_Cast")->AsString();
    const double Before = Q->FieldByName("Velosity")->AsFloat();
    SqliteExec(DbPath, "delete from Cast_Titles where ID_Cast = " + Id);
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(Before + 1);
    EXPECT_EQ(ErrorCodeOf([&] { Q->Post(); }), 400);
    EXPECT_EQ(Q->State(), dsEdit);
    Q->Cancel();
    EXPECT_EQ(Q->State(), dsBrowse);
    EXPECT_DOUBLE_EQ(Q->FieldByName("Velosity")->AsFloat(), Before);
    EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Id);
}

TEST_F(QueryPost, CachedEditsInsertsAndDeletesNeverReachTheFile)
{
    const auto Before = Sql("select * from Cast_Titles order by ID_Cast");
    TZqQuery *Q = New(CCastSql);
    // As the editor's profile query.
    Q->UpdateOptions()->SetRefreshMode(rmAll);
    Q->SetCachedUpdates(true);
    Q->Open();
    const int Count = Q->RecordCount();
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(99);
    Q->Post();
    Q->Next();
    Q->Delete();
    Q->Append();
    Q->FieldByName("ID_Cast")->SetAsInteger(999999);
    Q->FieldByName("ID_Cruise")->SetAsInteger(3);
    Q->Post();
    EXPECT_EQ(Q->RecordCount(), Count);
    EXPECT_TRUE(Q->GetUpdates()->HasChanges(Q->Table()));
    EXPECT_EQ(Sql("select * from Cast_Titles order by ID_Cast"), Before);
}

// ---- statements -----------------------------------------------------------------------------

using QueryExec = StationDb;

TEST_F(QueryExec, CreateTableRunsOnceAndTheSecondRaisesTheDatabaseError)
{
    TZqQuery *Q = New("CREATE TABLE QC_Scratch (ID LONG, Note TEXT(20))");
    Q->ExecSQL();
    EXPECT_EQ(Sql("select name from sqlite_master where name = 'QC_Scratch'").size(), 1u);
    const std::string Msg = MessageOf([&] { Q->ExecSQL(); });
    EXPECT_FALSE(Msg.empty());
    EXPECT_NE(Msg.find("[Vexa]"), std::string::npos) << Msg;
}

TEST_F(QueryExec, ExecSQLRunsAnUpdateAndFiresTheExecuteEvents)
{
    TZqQuery *Q = New("UPDATE Cast_Titles SET FD = 7 WHERE ID_Cruise = 3");
    int Before = 0, After = 0;
    Q->BeforeExecute = [&](TDataSet *) { ++Before; };
    Q->AfterExecute = [&](TDataSet *) { ++After; };
    Q->ExecSQL();
    EXPECT_EQ(Before, 1);
    EXPECT_EQ(After, 1);
    EXPECT_EQ(Q->RowsAffected(), int(Sql("select 1 from Cast_Titles where ID_Cruise = 3").size()));
    EXPECT_EQ(Sql("select 1 from Cast_Titles where ID_Cruise = 3 and FD <> 7").size(), 0u);
}

TEST_F(QueryExec, ExecSQLOnAnOpenQueryIsRefused)
{
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    EXPECT_THROW(Q->ExecSQL(), std::exception);
    EXPECT_TRUE(Q->Active());
}

TEST_F(QueryExec, ParametersPassThroughToTheCommand)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = :C order by ID_Cast");
    ASSERT_NE(Q->ParamByName("C"), nullptr);
    Q->ParamByName("C")->SetAsInteger(4);
    Q->Open();
    EXPECT_EQ(Q->RecordCount(), int(Sql("select 1 from Cast_Titles where ID_Cruise = 4").size()));
    EXPECT_EQ(Q->Params(), &Q->Command()->Params());
}

TEST_F(QueryRead, ADetailQueryTakesItsParametersFromTheMastersFields)
{
    TZqQuery *Master = New("Select * from Cruise_Titles order by ID_Cruise");
    TDataSource Src(Owner.get());
    Src.SetDataSet(Master);
    TZqQuery *Detail = New("Select * from Cast_Titles where ID_Cruise = :ID_Cruise order by ID_Cast");
    Detail->SetDataSource(&Src);
    EXPECT_EQ(Detail->DataSource(), &Src);
    Master->Open();
    Detail->Open();
    for (int Step = 0; Step < 3; ++Step, Master->Next()) {
        const std::string Cruise = Master->FieldByName("ID_Cruise")->AsString();
        const auto Expected = Sql("select ID_Cast from Cast_Titles where ID_Cruise = " + Cruise + " order by ID_Cast");
        ASSERT_EQ(Detail->RecordCount(), int(Expected.size())) << "cruise " << Cruise;
        Detail->First();
        EXPECT_EQ(Detail->FieldByName("ID_Cast")->AsString(), Expected[0][0]);
    }
}

TEST_F(QueryPost, ATableWithoutKeyIsFoundByItsOldValuesNullsIncluded)
{
    SqliteExec(DbPath, "CREATE TABLE NoKey (A INTEGER, B DOUBLE, C TEXT);"
                       "INSERT INTO NoKey VALUES (1, NULL, 'x'), (2, 2.5, NULL);");
    TZqQuery *Q = New("Select * from NoKey order by A");
    Q->Open();
    // The row is found by every old value (B is NULL); the re-read after the
    // post finds it by the new ones.
    Q->Edit();
    Q->FieldByName("B")->SetAsFloat(7.5);
    Q->Post();
    Q->Next();
    Q->Edit();
    Q->FieldByName("C")->SetAsString("y");
    Q->Post();
    EXPECT_EQ(Sql("select A, B, C from NoKey order by A"), (std::vector<TRow>{{"1", "7.5", "x"}, {"2", "2.5", "y"}}));
    EXPECT_FALSE(Q->GetUpdates()->HasChanges(Q->Table()));
}

TEST_F(QueryPost, TheUpdateErrorHandlerSeesTheFailedRowFirstAndMaySkipIt)
{
    TZqQuery *Q = New(CCastSql);
    Q->Open();
    const std::string Id = Q->FieldByName("ID_Cast")->AsString();
    SqliteExec(DbPath, "delete from Cast_Titles where ID_Cast = " + Id);
    std::string Order;
    int Code = 0;
    Q->OnUpdateError = [&](TZqDataSet *, EZqException *AException, dats::TZqDatSRow *ARow, TZqPhysRequest ARequest,
                           TZqErrorAction &AAction) {
        Order += "D";
        Code = AException ? AException->ErrorCode() : -1;
        EXPECT_EQ(ARequest, arUpdate);
        EXPECT_EQ(ARow, Q->GetRowOfBuffer());
        AAction = eaSkip;
    };
    Q->Adapter()->OnError = [&](rtl::TObject *, const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &) {
        Order += "E";
    };
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(4.25);
    EXPECT_NO_THROW(Q->Post());
    // Every error raised on the way passes the component's event; the
    // failed row reaches the dataset once, and the event after it.
    ASSERT_GE(Order.size(), 2u);
    EXPECT_EQ(Order.substr(Order.size() - 2), "DE");
    EXPECT_EQ(std::count(Order.begin(), Order.end(), 'D'), 1);
    EXPECT_EQ(Code, 400);
    EXPECT_EQ(Q->State(), dsBrowse);
}
