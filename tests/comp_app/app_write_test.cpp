// What the manual QC editor and the QC engine rely on when they write: posts
// of single fields and the values that must not be stored, cached edits that
// stay in memory, tables without provider flags, statements run by command
// components, and the hourglass while a statement runs.
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/DB.h"
#include "tests/support/query_fixture.h"

using namespace querytest;
using namespace ZqCursors;

class AppPost : public StationDb {
protected:
    std::string Flag(const std::string &AField, int AId)
    {
        const auto Rows = Sql("select " + AField + " from Cast_Titles where ID_Cast = " + std::to_string(AId));
        return Rows.empty() ? "<none>" : Rows[0][0];
    }
};

TEST_F(AppPost, AFlagValueThatDoesNotFitIsRefusedAndNothingWrappedIsWritten)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cast = 11");
    Q->Open();
    Q->Edit();
    // 70000 would wrap to 4464 in a two-byte column: the field refuses it.
    EXPECT_THROW(Q->FieldByName("FLon")->SetAsInteger(70000), rtl::EDatabaseError);
    EXPECT_NE(Q->FieldByName("FLon")->AsInteger(), 70000 - 65536);
    Q->Cancel();
    EXPECT_EQ(Flag("FLon", 11), "0");
    // A value that fits still posts.
    Q->Edit();
    Q->FieldByName("FLon")->SetAsInteger(-3);
    Q->Post();
    EXPECT_EQ(Flag("FLon", 11), "-3");
}

TEST_F(AppPost, ADatabaseErrorOnPostRaisesTheLibrarysExceptionAndWritesNothing)
{
    // The key of another station: the file refuses the duplicate.
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cast = 12");
    Q->Open();
    Q->Edit();
    Q->FieldByName("ID_Cast")->SetAsInteger(13);
    Q->FieldByName("FD")->SetAsInteger(8);
    std::string Msg;
    try {
        Q->Post();
    } catch (const EZqException &E) {
        Msg = E.what();
    }
    EXPECT_EQ(Msg.rfind("[Vexa]", 0), 0u) << Msg;
    EXPECT_EQ(Q->State(), dsEdit);
    Q->Cancel();
    EXPECT_EQ(Flag("FD", 12), "0");
    EXPECT_EQ(Sql("select 1 from Cast_Titles where ID_Cast = 13").size(), 1u);
}

TEST_F(AppPost, CachedInsertAndUpdateRecordStayInTheQuery)
{
    const auto Before = Sql("select * from Cast_Titles order by ID_Cast");
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 6 order by ID_Cast");
    Q->SetCachedUpdates(true);
    Q->Open();
    const int Count = Q->RecordCount();
    Q->Insert();
    Q->FieldByName("ID_Cast")->SetAsInteger(888888);
    Q->FieldByName("ID_Cruise")->SetAsInteger(6);
    Q->UpdateRecord();
    Q->Post();
    Q->Last();
    Q->Edit();
    Q->FieldByName("FDT")->SetAsInteger(2);
    Q->UpdateRecord();
    Q->Post();
    EXPECT_EQ(Q->RecordCount(), Count + 1);
    ASSERT_TRUE(Q->Locate("ID_Cast", rtl::Variant(888888)));
    EXPECT_EQ(Sql("select * from Cast_Titles order by ID_Cast"), Before);
    // Closing drops the cached rows: the next open reads the file again.
    Q->Close();
    Q->Open();
    EXPECT_EQ(Q->RecordCount(), Count);
}

TEST_F(AppPost, ATableWithoutProviderFlagsPostsAFlagAndFiresAfterPost)
{
    TZqTable *T = New<TZqTable>();
    T->SetTableName("Cast_Titles");
    T->UpdateOptions()->SetUseProviderFlags(false);
    int AfterPost = 0;
    T->AfterPost = [&](TDataSet *) { ++AfterPost; };
    T->Open();
    ASSERT_TRUE(T->Locate("ID_Cast", rtl::Variant(20)));
    T->Edit();
    T->FieldByName("FDT")->SetAsInteger(1);
    T->Post();
    EXPECT_EQ(AfterPost, 1);
    EXPECT_EQ(Flag("FDT", 20), "1");
    EXPECT_EQ(Sql("select 1 from Cast_Titles where FDT = 1").size(), 1u);
    // The name is fixed while the table is open.
    EXPECT_THROW(T->SetTableName("Cruise_Titles"), std::exception);
    EXPECT_EQ(T->TableName(), "Cast_Titles");
}

// ---- commands --------------------------------------------------------------------------

class AppCommand : public StationDb {
protected:
    TZqCommand *Command(const std::string &ASql)
    {
        auto *C = new TZqCommand(Owner.get());
        C->SetConnection(Conn);
        C->CommandText().Clear();
        C->CommandText().Add(ASql);
        C->AfterExecute = [this](rtl::TObject *) { ++AfterExecute; };
        return C;
    }
    std::string Count(const std::string &AWhere)
    {
        return Sql("select count(*) from Cast_Titles where " + AWhere)[0][0];
    }
    int AfterExecute = 0;
};

TEST_F(AppCommand, ActiveTrueThenFalseRunsAnUpdate)
{
    const std::string Cruise2 = Count("ID_Cruise = 2");
    TZqCommand *C = Command("UPDATE Cast_Titles SET FD = 9 WHERE ID_Cruise = 2");
    int BeforeOpen = 0;
    C->BeforeOpen = [&](rtl::TObject *) { ++BeforeOpen; };
    C->SetActive(true);
    EXPECT_EQ(BeforeOpen, 1);
    C->SetActive(false);
    EXPECT_FALSE(C->Active());
    EXPECT_EQ(Count("FD = 9"), Cruise2);
}

TEST_F(AppCommand, ExecuteRunsEachNewTextAndFiresAfterExecuteOnce)
{
    TZqCommand *C = Command("UPDATE Cast_Titles SET FLon = 1 WHERE ID_Cruise = 3");
    C->Execute(0, 0);
    EXPECT_EQ(AfterExecute, 1);
    EXPECT_EQ(Count("FLon = 1"), Count("ID_Cruise = 3"));
    C->CommandText().Clear();
    C->CommandText().Add("UPDATE Cast_Titles SET FLon = 0 WHERE ID_Cruise = 3");
    C->Execute(0, 0);
    EXPECT_EQ(AfterExecute, 2);
    EXPECT_EQ(Count("FLon = 1"), "0");
}

TEST_F(AppCommand, AFailingStatementRaisesWithThePrefixAndFiresNothing)
{
    TZqCommand *C = Command("UPDATE No_Such_Table SET A = 1");
    std::string Msg;
    try {
        C->Execute(0, 0);
    } catch (const EZqException &E) {
        Msg = E.what();
    }
    EXPECT_EQ(Msg.rfind("[Vexa]", 0), 0u) << Msg;
    EXPECT_EQ(AfterExecute, 0);
    // The connection is still usable and no transaction was left open.
    EXPECT_TRUE(Conn->Connected());
    EXPECT_FALSE(Conn->InTransaction());
    C->CommandText().Clear();
    C->CommandText().Add("UPDATE Cast_Titles SET FD = 1 WHERE ID_Cast = 1");
    C->Execute(0, 0);
    EXPECT_FALSE(Conn->InTransaction());
    EXPECT_EQ(Count("FD = 1"), "1");
}

TEST_F(AppCommand, AnotherConnectionDropsThePreparedStateAndRunsThere)
{
    const std::string Other = (Dir / "other.mdb").string();
    std::filesystem::copy_file(DbPath, Other);
    auto *Second = new TZqConnection(Owner.get());
    Second->Params().Add("DriverID=MSAcc");
    Second->Params().Add("Database=" + Other);
    TZqCommand *C = Command("UPDATE Cast_Titles SET FDT = 5 WHERE ID_Cast = 2");
    C->Prepare();
    ASSERT_TRUE(C->Prepared());
    C->SetConnection(Second);
    EXPECT_FALSE(C->Prepared());
    C->Execute(0, 0);
    EXPECT_EQ(SqliteRows(Other, "select FDT from Cast_Titles where ID_Cast = 2")[0][0], "5");
    EXPECT_EQ(Count("FDT = 5"), "0");
    Second->SetConnected(false);
}

TEST_F(AppCommand, DisconnectClosesAndUnpreparesCommandsAndQueries)
{
    TZqCommand *C = Command("Select * from Cruise_Titles");
    TZqCommand *U = Command("UPDATE Cast_Titles SET FD = 2 WHERE ID_Cast = 3");
    TZqQuery *Q = New("Select * from Cruise_Titles");
    C->SetActive(true);
    U->Prepare();
    Q->Open();
    ASSERT_TRUE(C->Active());
    Conn->SetConnected(false);
    EXPECT_FALSE(C->Active());
    EXPECT_FALSE(C->Prepared());
    EXPECT_FALSE(U->Prepared());
    EXPECT_FALSE(Q->Active());
    // Each of them reconnects on its next use.
    U->Execute(0, 0);
    EXPECT_TRUE(Conn->Connected());
    EXPECT_EQ(Count("FD = 2"), "1");
}

// ---- the hourglass ---------------------------------------------------------------------

class AppWait : public StationDb {
protected:
    void SetUp() override
    {
        StationDb::SetUp();
        TZqGUIxScreenHooks H;
        H.HasScreen = [] { return true; };
        H.GetCursor = [this] { return Cursor; };
        H.SetCursor = [this](int AValue) { Cursor = AValue; };
        H.StartTimer = [this](uint32_t, std::function<void()> ACallback) -> uintptr_t {
            Timer = std::move(ACallback);
            return 1;
        };
        H.KillTimer = [this](uintptr_t) { Timer = nullptr; };
        H.Tick = [this] { return Tick; };
        ZqSetGUIxScreenHooks(H);
        // The main window's wait-cursor component.
        WaitCursor = new TZqGUIxWaitCursor(Owner.get());
        WaitCursor->SetScreenCursor(gcrHourGlass);
        WaitCursor->SetOnShow([this](rtl::TObject *ASender) { Shown += ASender == WaitCursor; });
    }
    void TearDown() override
    {
        // Let a pending hide run before the hooks go.
        Idle();
        ZqManager()->SetSilentMode(false);
        ZqManager()->SetWaitCursor(gcrSQLWait);
        ZqSetGUIxScreenHooks({});
        StationDb::TearDown();
    }
    // The program's message loop going idle for a while.
    void Idle()
    {
        Tick += 1000;
        if (Timer)
            Timer();
    }
    TZqGUIxWaitCursor *WaitCursor = nullptr;
    int Shown = 0;
    int Cursor = crDefault;
    uint32_t Tick = 5000;
    std::function<void()> Timer;
};

TEST_F(AppWait, TheHourglassShowsWhileAQueryOpensOrACommandRunsAndGoesWhenIdle)
{
    TZqQuery *Q = New("Select * from Cast_Titles");
    int DuringOpen = crDefault;
    Q->AfterOpen = [&](TDataSet *) { DuringOpen = Cursor; };
    Q->Open();
    EXPECT_EQ(DuringOpen, crHourGlass);
    EXPECT_EQ(WaitCursor->ScreenCursor(), gcrHourGlass);
    EXPECT_EQ(Shown, 1);
    Idle();
    EXPECT_EQ(Cursor, crDefault);

    auto *C = new TZqCommand(Owner.get());
    C->SetConnection(Conn);
    C->CommandText().Add("UPDATE Cast_Titles SET FD = 1 WHERE ID_Cast = 4");
    int DuringExecute = crDefault;
    C->AfterExecute = [&](rtl::TObject *) { DuringExecute = Cursor; };
    C->Execute(0, 0);
    EXPECT_EQ(DuringExecute, crHourGlass);
    Idle();
    EXPECT_EQ(Cursor, crDefault);
}

TEST_F(AppWait, SilentModeAndOtherThreadsShowNothing)
{
    EXPECT_FALSE(ZqIsGUISilent());
    bool OtherThread = false;
    std::thread([&] { OtherThread = ZqIsGUISilent(); }).join();
    EXPECT_TRUE(OtherThread);

    ZqManager()->SetSilentMode(true);
    EXPECT_TRUE(ZqIsGUISilent());
    TZqQuery *Q = New("Select * from Cast_Titles");
    int DuringOpen = -1;
    Q->AfterOpen = [&](TDataSet *) { DuringOpen = Cursor; };
    Q->Open();
    EXPECT_EQ(DuringOpen, crDefault);
    EXPECT_EQ(Shown, 0);
}

TEST(AppServices, TheAsyncExecuteDialogIsRegisteredByNobody)
{
    InitServices();
    TZqIntfPtr<IZqGUIxAsyncExecuteDialog> Dialog;
    std::string Msg;
    try {
        ZqCreateInterface(Dialog, true);
    } catch (const std::exception &E) {
        Msg = E.what();
    }
    EXPECT_EQ(Msg, "Object factory for class {3E9B315B-F456-4175-A864-B2573C4A2202} missing");
    EXPECT_FALSE(ZqCreateInterface(Dialog, false));
}
