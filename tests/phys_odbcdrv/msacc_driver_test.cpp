// The Access driver over the ODBC driver base: a definition opened through
// the manager on a fresh station database, its connect string, its
// transactions seen from a second connection, Access's error numbers and
// size limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <unistd.h>

#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/Classes.h"

namespace {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

void Services()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        ZqStanInitialize();
        ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    });
}

class MSAccDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        Services();
        Dir = std::filesystem::temp_directory_path() /
              ("phys_odbcdrv_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
        DbPath = (Dir / "station.mdb").string();
        std::ofstream(DbPath).close();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        Mgr->RegisterDriverClass(&ZqPhysMSAccConnectionClass);
        Manager->Open();
    }
    void TearDown() override
    {
        Conn.Reset();
        Manager->Close(true);
        Manager.Reset();
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }
    void OpenStation()
    {
        Manager->CreateConnection("DriverID=MSAcc;Database=" + DbPath, Conn);
        Conn->Open();
    }
    TZqPhysODBCMSAccessConnection *Acc() { return dynamic_cast<TZqPhysODBCMSAccessConnection *>(Conn.Get()); }
    TZqPhysODBCMSAccessDriver *Drv()
    {
        TZqIntfPtr<IZqPhysDriver> D;
        Conn->GetDriver(D);
        return dynamic_cast<TZqPhysODBCMSAccessDriver *>(D.Get());
    }
    TZqIntfPtr<IZqStanConnectionDef> Def(const std::string &AText)
    {
        TZqIntfPtr<IZqStanConnectionDef> D;
        ZqCreateInterface(D, true);
        std::string Rest;
        D->ParseString(AText, nullptr, Rest);
        return D;
    }
    // Rows an UPDATE touches on a second, independent connection.
    SQLLEN RowsSeenElsewhere(const std::string &AWhere)
    {
        TODBCLib *Lib = ZqODBCLibAcquire("", "", nullptr);
        SQLLEN Rows = -1;
        {
            TODBCEnvironment Env(Lib, nullptr);
            TODBCConnection Other(&Env, nullptr);
            Other.DriverConnect("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + DbPath, false);
            TODBCCommandStatement S(&Other, nullptr);
            const std::string Sql = "UPDATE Cast_Titles SET Velosity = Velosity WHERE " + AWhere;
            S.Execute(1, 0, &Sql, false, Rows);
            S.Close();
            Other.Disconnect();
        }
        ZqODBCLibRelease(Lib);
        return Rows;
    }

    std::filesystem::path Dir;
    std::string DbPath;
    TZqPhysManager *Mgr = nullptr;
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
};

} // namespace

TEST_F(MSAccDriver, OpensStationDatabaseThroughManagerAndReportsTheDriver)
{
    OpenStation();
    ASSERT_NE(Acc(), nullptr);
    EXPECT_TRUE(Acc()->Connected());
    EXPECT_EQ(Acc()->ODBCConnection()->RDBMSKind, ODBCKindMSAccess);
    EXPECT_EQ(Conn->GetCliObj(), Acc()->ODBCConnection());
    EXPECT_EQ(Conn->GetCliHandle(), Acc()->ODBCConnection()->Handle());
    EXPECT_EQ(Drv()->GetDriverID(), "MSAcc");
    EXPECT_EQ(Drv()->GetDescription(), "MS Access Driver");

    // Base items, the driver-manager version, and five more while connected.
    ASSERT_EQ(Acc()->GetItemCount(), 2 + 1 + 5);
    std::string Name;
    rtl::Variant V;
    uint8_t Kind = 0;
    Acc()->GetItem(2, Name, V, Kind);
    EXPECT_EQ(Name, "Driver Manager version");
    EXPECT_EQ(Kind, 3);
    EXPECT_FALSE(V.AsString().empty());
    Acc()->GetItem(3, Name, V, Kind);
    EXPECT_EQ(Name, "Driver name");
    EXPECT_EQ(Kind, 4);
    Acc()->GetItem(7, Name, V, Kind);
    EXPECT_EQ(Name, "DBMS version");

    Conn->Close();
    EXPECT_FALSE(Acc()->Connected());
    EXPECT_EQ(Acc()->GetItemCount(), 3);
}

TEST_F(MSAccDriver, MissingDatabaseFolderFailsOpenAndLeavesNoConnection)
{
    Manager->CreateConnection("DriverID=MSAcc;Database=" + (Dir / "no" / "such.mdb").string(), Conn);
    EXPECT_THROW(Conn->Open(), EODBCNativeException);
    EXPECT_FALSE(Acc()->Connected());
}

TEST_F(MSAccDriver, ConnectStringCarriesPrefixAndDatabaseUnderDBQ)
{
    OpenStation();
    const std::string Prefix = "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1";
    EXPECT_EQ(Drv()->BuildConnectionString(Def("DriverID=MSAcc;Database=/data/st.mdb")), Prefix + ";DBQ=/data/st.mdb");
    EXPECT_EQ(Drv()->BuildConnectionString(Def("DriverID=MSAcc;Database=/d/a.mdb;User_Name=qc;ODBCAdvanced=PageTimeout=9")),
              Prefix + ";DBQ=/d/a.mdb;UID=qc;PageTimeout=9");
    // A data source brings its own driver: no DRIVER pair, the rest kept.
    const std::string S = Drv()->BuildConnectionString(Def("DriverID=MSAcc;DSN=Stations;Database=/d/a.mdb"));
    EXPECT_EQ(S.find("DRIVER="), std::string::npos) << S;
    EXPECT_NE(S.find("DSN=Stations"), std::string::npos) << S;
    EXPECT_NE(S.find("DBQ=/d/a.mdb"), std::string::npos) << S;
    // Database holding connect-string text of its own: its pairs join the
    // definition's, and a data source among them drops the DRIVER pair.
    const std::string T =
        Drv()->BuildConnectionString(Def("DriverID=MSAcc;User_Name=qc;Database=\"DSN=Stations;ReadOnly=1\""));
    EXPECT_EQ(T.find("DRIVER="), std::string::npos) << T;
    EXPECT_NE(T.find("DSN=Stations"), std::string::npos) << T;
    EXPECT_NE(T.find("ReadOnly=1"), std::string::npos) << T;
    EXPECT_NE(T.find("UID=qc"), std::string::npos) << T;
}

TEST_F(MSAccDriver, ParametersExtendTheODBCBaseAndTheBase)
{
    OpenStation();
    rtl::TStringList P;
    const int Base = Drv()->TZqPhysDriver::GetParamCount(&P);
    EXPECT_EQ(Drv()->TZqPhysODBCDriverBase::GetParamCount(&P), Base + 2);
    EXPECT_EQ(Drv()->GetParamCount(&P), Base + 4);
    std::string N, T, D, C;
    int L = 0;
    const char *Names[] = {"ODBCAdvanced", "LoginTimeout", "SystemDB", "ReadOnly"};
    const char *Types[] = {"@S", "@I", "@S", "@L"};
    for (int I = 0; I < 4; ++I) {
        Drv()->GetParamInfo(&P, Base + I, N, T, D, C, L);
        EXPECT_EQ(N, Names[I]);
        EXPECT_EQ(T, Types[I]);
        EXPECT_EQ(C, N);
        EXPECT_EQ(L, -1);
    }
    for (int I = 0; I < Base; ++I) {
        Drv()->GetParamInfo(&P, I, N, T, D, C, L);
        if (N == "Database") {
            EXPECT_EQ(L, 2);
        } else if (N != "User_Name" && N != "Password") {
            EXPECT_EQ(L, -1) << N;
        }
    }
}

TEST_F(MSAccDriver, CommitIsSeenByASecondConnectionRollbackIsNot)
{
    OpenStation();
    Acc()->ExecuteDirect("CREATE TABLE Cast_Titles (ID LONG, Velosity DOUBLE)");
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (1, 1.5)");
    EXPECT_EQ(RowsSeenElsewhere("ID = 1"), 1); // autocommit outside a transaction

    Conn->StartTransaction();
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (2, 2.5)");
    Conn->Rollback();
    EXPECT_EQ(RowsSeenElsewhere("ID = 2"), 0);

    Conn->StartTransaction();
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (3, 3.5)");
    Conn->Commit();
    EXPECT_EQ(RowsSeenElsewhere("ID = 3"), 1);

    // Back in autocommit after the transaction.
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (4, 4.5)");
    EXPECT_EQ(RowsSeenElsewhere("ID = 4"), 1);
}

TEST_F(MSAccDriver, LastAutoGenValueIsTheCounterOfTheLastInsert)
{
    OpenStation();
    Acc()->ExecuteDirect("CREATE TABLE Cruise_Titles (ID_Cruise COUNTER, Name TEXT(20))");
    Acc()->ExecuteDirect("INSERT INTO Cruise_Titles (Name) VALUES ('Akademik')");
    rtl::Variant V;
    Conn->GetLastAutoGenValue("", V);
    EXPECT_EQ(V.AsInteger(), 1);
    Acc()->ExecuteDirect("INSERT INTO Cruise_Titles (Name) VALUES ('Vityaz')");
    Acc()->ExecuteDirect("INSERT INTO Cruise_Titles (Name) VALUES ('Knorr')");
    Conn->GetLastAutoGenValue("", V);
    EXPECT_EQ(V.AsInteger(), 3);
}

TEST_F(MSAccDriver, MissingTableRaisesKindFiveWithTheTableName)
{
    OpenStation();
    try {
        Acc()->ExecuteDirect("SELECT * FROM Cast_Titles_Gone");
        FAIL() << "no error";
    } catch (const EODBCNativeException &E) {
        // The station driver speaks Access's numbers; fall back to the
        // message when it does not name the table between apostrophes.
        if (E.Errors(0).Kind == 5) EXPECT_EQ(E.Errors(0).ObjName, "Cast_Titles_Gone");
        else ADD_FAILURE() << E.Message();
    }
}

TEST_F(MSAccDriver, AccessNativeErrorsBecomeKinds)
{
    OpenStation();
    auto KindOf = [&](int32_t ANative, const std::string &AMsg, const std::string &AState, std::string &AObj) {
        uint8_t K = 99;
        int32_t Off = 0;
        AObj.clear();
        Acc()->GetErrorInfo(nullptr, 1, AState, ANative, AMsg, "", AObj, K, Off);
        return int(K);
    };
    std::string Obj;
    EXPECT_EQ(KindOf(-1305, "The Microsoft Jet database engine cannot find the input table or query 'Cast_X'.", "42S02", Obj), 5);
    EXPECT_EQ(Obj, "Cast_X");
    EXPECT_EQ(KindOf(-1305, "cannot find the table", "42S02", Obj), 5);
    EXPECT_EQ(Obj, "");
    EXPECT_EQ(KindOf(-1102, "", "", Obj), 2);
    EXPECT_EQ(KindOf(-1605, "", "", Obj), 3);
    EXPECT_EQ(KindOf(-1613, "", "", Obj), 4);
    EXPECT_EQ(KindOf(-1905, "", "", Obj), 6);
    EXPECT_EQ(KindOf(0, "", "HY008", Obj), 9);
    EXPECT_EQ(KindOf(0, "", "08S01", Obj), 10);
    EXPECT_EQ(KindOf(0, "", "42000", Obj), 0);
}

TEST_F(MSAccDriver, SizeLimitsOfTextAndBinary)
{
    OpenStation();
    SQLULEN Col = 0;
    SQLLEN Data = 0;
    Acc()->GetMaxSizes(SQL_C_CHAR, true, false, Col, Data);
    EXPECT_EQ(Col, 255u);
    // 255 characters of UTF-8 (a Cyrillic station name takes two bytes a letter).
    EXPECT_EQ(Data, 3 * 255);
    Acc()->GetMaxSizes(SQL_C_WCHAR, true, false, Col, Data);
    EXPECT_EQ(Col, 255u);
    EXPECT_EQ(Data, 510);
    Acc()->GetMaxSizes(SQL_C_CHAR, false, true, Col, Data);
    EXPECT_EQ(Col, 38u);
    EXPECT_EQ(Data, 40);
    Acc()->GetMaxSizes(SQL_C_BINARY, true, false, Col, Data);
    EXPECT_EQ(Col, 510u);
    EXPECT_EQ(Data, 510);
    try {
        Acc()->GetMaxSizes(SQL_C_LONG, false, false, Col, Data);
        FAIL() << "no error";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 303);
    }
}

TEST(ODBCIsolationMap, FallsToNearestWeakerThenStrongerLevel)
{
    // Supported: read committed (2) and serializable (8).
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(1, 2 | 8), 2u);// none weaker: next stronger
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(2, 2 | 8), 2u);
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(4, 2 | 8), 2u);              // weaker wins over stronger
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(8, 2 | 8), 8u);
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(2, 8), 8u);
    EXPECT_EQ(TZqPhysODBCConnectionBase::MapIsolation(8, 0), 0u);                  // nothing supported
}

namespace {

[[noreturn]] void ThrowLostLink()
{
    EODBCNativeException E(1, "[08S01] communication link failure");
    E.Append(std::make_unique<TZqDBError>(1, 0, "communication link failure", "", ekServerGone, -1));
    throw E;
}

} // namespace

TEST_F(MSAccDriver, LostConnectionIsReconnectedOnceOutsideTransactions)
{
    Manager->CreateConnection("DriverID=MSAcc;AllowReconnect=True;Database=" + DbPath, Conn);
    Conn->Open();
    Acc()->ExecuteDirect("CREATE TABLE Cast_Titles (ID LONG, Velosity DOUBLE)");
    std::vector<std::string> Steps;
    int Runs = 0;
    const bool R = Acc()->ExecuteWithReconnect(
        [&] {
            Steps.push_back("run");
            if (++Runs == 1) ThrowLostLink();
            return true;
        },
        [&] { Steps.push_back("unprepare"); }, [&] { Steps.push_back("prepare"); });
    EXPECT_TRUE(R);
    EXPECT_EQ(Steps, (std::vector<std::string>{"run", "unprepare", "prepare", "run"}));
    // The new link works and runs in autocommit again.
    EXPECT_TRUE(Acc()->Connected());
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (1, 1.5)");
    EXPECT_EQ(RowsSeenElsewhere("ID = 1"), 1);

    // Only once: a second loss goes to the caller.
    Runs = 0;
    EXPECT_THROW(Acc()->ExecuteWithReconnect([&]() -> bool { ++Runs; ThrowLostLink(); }), EODBCNativeException);
    EXPECT_EQ(Runs, 2);

    // Inside a transaction the work done so far is gone with the link:
    // the failure is reported, never silently retried.
    Conn->StartTransaction();
    Runs = 0;
    EXPECT_THROW(Acc()->ExecuteWithReconnect([&]() -> bool { ++Runs; ThrowLostLink(); }), EODBCNativeException);
    EXPECT_EQ(Runs, 1);
    Conn->Rollback();
}

// A command keeps its statement handle over an unprepare and prepares the
// next text on it; a reconnect in between took that handle with the old
// link, and the next text must get a live one.
TEST_F(MSAccDriver, CommandPreparedAgainAfterAReconnectRunsOnTheNewLink)
{
    Manager->CreateConnection("DriverID=MSAcc;AllowReconnect=True;Database=" + DbPath, Conn);
    Conn->Open();
    Acc()->ExecuteDirect("CREATE TABLE Cast_Titles (ID LONG, Velosity DOUBLE)");
    Acc()->ExecuteDirect("INSERT INTO Cast_Titles (ID, Velosity) VALUES (1, 1.5)");
    TZqIntfPtr<IZqPhysCommand> Cmd;
    Conn->CreateCommand(Cmd);
    Cmd->Prepare("UPDATE Cast_Titles SET Velosity = 2 WHERE ID = 1");
    Cmd->Execute();
    EXPECT_EQ(Cmd->GetRowsAffected(), 1);
    Cmd->Unprepare();
    int Runs = 0;
    EXPECT_TRUE(Acc()->ExecuteWithReconnect([&] {
        if (++Runs == 1) ThrowLostLink();
        return true;
    }));
    Cmd->Prepare("UPDATE Cast_Titles SET Velosity = 3 WHERE ID = 1");
    Cmd->Execute();
    EXPECT_EQ(Cmd->GetRowsAffected(), 1);
    Cmd->Unprepare();
    EXPECT_EQ(RowsSeenElsewhere("Velosity = 3"), 1);
}

TEST_F(MSAccDriver, WithoutAllowReconnectALostConnectionGoesToTheCaller)
{
    OpenStation();
    int Runs = 0;
    EXPECT_THROW(Acc()->ExecuteWithReconnect([&]() -> bool { ++Runs; ThrowLostLink(); }), EODBCNativeException);
    EXPECT_EQ(Runs, 1);
    // Other failures are never retried either.
    Manager->CreateConnection("DriverID=MSAcc;AllowReconnect=True;Database=" + DbPath, Conn);
    Conn->Open();
    Runs = 0;
    EXPECT_THROW(Acc()->ExecuteWithReconnect([&]() -> bool {
        ++Runs;
        throw EODBCNativeException(1, "syntax");
    }),
                 EODBCNativeException);
    EXPECT_EQ(Runs, 1);
}

TEST_F(MSAccDriver, EditedDefinitionTakesBackTheCompletedConnectString)
{
    OpenStation();
    TZqIntfPtr<IZqStanConnectionDef> D = Def("DriverID=MSAcc;Database=" + DbPath);
    ASSERT_TRUE(Drv()->EditConnectionDef(D));
    // Known keywords come back under their parameter names; the Access
    // driver's own pairs are dropped, nothing is left in the rest.
    EXPECT_EQ(D->GetAsString("Database"), DbPath);
    EXPECT_FALSE(D->GetParams().IndexOfName("DRIVER") >= 0);
    EXPECT_EQ(D->GetParams().IndexOfName("DBQ"), -1);
    EXPECT_EQ(D->GetAsString("ODBCAdvanced"), "");
}
