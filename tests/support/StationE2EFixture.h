// Fixture of the end-to-end suite: a fresh station database reached through
// a driver of the library. What differs between the drivers the suite runs
// on (the connection string, the driver class, the type names of the
// tables) is a parameter, so that a further driver only adds one target.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>
#include <unistd.h>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"

// One driver the suite runs on.
struct TE2ETarget {
    std::string Name;
    // The connection string; "%DB%" stands for the database file's path.
    std::string ConnectionString;
    // Registers the driver's classes with a fresh manager.
    std::function<void(TZqPhysManager *)> Register;
    // The table's column types in the driver's own words.
    std::string Long = "LONG", DateTime = "DATETIME", Double = "DOUBLE", Text20 = "TEXT(20)", Memo = "MEMO";
    // The data type of a fetched DATETIME column and of a MEMO column.
    TZqDataType DateTimeType = dtDateTimeStamp;
    TZqDataType MemoType = dtMemo;
    // The error kind of a statement on a missing table (0: not told).
    uint8_t MissingTableKind = 5;
    // The ODBC driver answers SQLCancel from another thread.
    bool CancelsFromAnotherThread = true;
    // A cancelled statement ends with the "operation cancelled" error
    // (some drivers end it early and report success).
    bool CancelRaises = true;
};

inline std::ostream &operator<<(std::ostream &S, const TE2ETarget &T) { return S << T.Name; }

// Every driver the suites run on; a driver joins by adding its target here.
inline std::vector<TE2ETarget> E2ETargets()
{
    return {TE2ETarget{"MSAcc", "DriverID=MSAcc;Database=%DB%",
                       [](TZqPhysManager *M) { M->RegisterDriverClass(&ZqPhysMSAccConnectionClass); }}};
}

inline std::string E2ETargetName(const ::testing::TestParamInfo<TE2ETarget> &I) { return I.param.Name; }

namespace e2e {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

inline void Services()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        ZqStanInitialize();
        ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    });
}

} // namespace e2e

class StationE2E : public ::testing::TestWithParam<TE2ETarget> {
protected:
    void SetUp() override
    {
        e2e::Services();
        std::string Test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char &C : Test)
            if (C == '/') C = '_';
        Dir = std::filesystem::temp_directory_path() / ("phys_e2e_" + std::to_string(::getpid()) + "_" + Test);
        std::filesystem::create_directories(Dir);
        DbPath = (Dir / "station.mdb").string();
        std::ofstream(DbPath).close();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        GetParam().Register(Mgr);
        Manager->Open();
        Conn = Connect();
    }
    void TearDown() override
    {
        Conn.Reset();
        Manager->Close(true);
        Manager.Reset();
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }

    std::string ConnectionString() const
    {
        std::string S = GetParam().ConnectionString;
        const size_t P = S.find("%DB%");
        if (P != std::string::npos) S.replace(P, 4, DbPath);
        return S;
    }
    // A further, independent connection to the same database.
    TZqIntfPtr<IZqPhysConnection> Connect()
    {
        TZqIntfPtr<IZqPhysConnection> C;
        Manager->CreateConnection(ConnectionString(), C);
        C->Open();
        return C;
    }
    TZqIntfPtr<IZqPhysCommand> Command(const std::string &ASql, TZqIntfPtr<IZqPhysConnection> AConn = {})
    {
        TZqIntfPtr<IZqPhysCommand> Cmd;
        (AConn ? AConn : Conn)->CreateCommand(Cmd);
        Cmd->SetCommandText(ASql);
        return Cmd;
    }
    // Runs a statement; answers the rows it touched.
    int Exec(const std::string &ASql, TZqIntfPtr<IZqPhysConnection> AConn = {})
    {
        auto Cmd = Command(ASql, AConn);
        Cmd->Execute();
        return Cmd->GetRowsAffected();
    }
    // Opens a select and fetches all its rows into ATable.
    void Query(const std::string &ASql, TZqDatSTable &ATable, TZqIntfPtr<IZqPhysConnection> AConn = {})
    {
        auto Cmd = Command(ASql, AConn);
        Cmd->Open();
        Cmd->Define(&ATable);
        Cmd->Fetch(&ATable, true);
    }
    // The station table of the suite: three casts of cruise 7 (one dated
    // before 1899), one of cruise 8; casts are written with parameters.
    void CreateCastTitles()
    {
        const TE2ETarget &T = GetParam();
        Exec("CREATE TABLE Cast_Titles (ID " + T.Long + ", ID_Cruise " + T.Long + ", Date_Cast " + T.DateTime +
             ", Time_Cast " + T.DateTime + ", Velosity " + T.Double + ", Station " + T.Text20 + ", Note " + T.Memo +
             ", PRIMARY KEY (ID))");
        auto Ins = Command("INSERT INTO Cast_Titles (ID, ID_Cruise, Date_Cast, Time_Cast, Velosity, Station) "
                           "VALUES (:ID, :CRUISE, :D, :T, :V, :S)");
        struct TCast {
            int Id, Cruise, Y, M, D, H;
            double V;
            const char *S;
        };
        const TCast Casts[] = {{1, 7, 1975, 6, 2, 14, 1503.25, "BS-1"},
                               {2, 7, 1888, 11, 30, 6, 1490.5, "BS-2"},
                               {3, 8, 1990, 1, 15, 0, 1511.0, "MS-1"},
                               {4, 7, 1975, 6, 2, 9, 1502.75, "BS-3"}};
        for (const TCast &C : Casts) {
            TZqParams *P = Ins->GetParams();
            P->ParamByName("ID")->SetAsInteger(C.Id);
            P->ParamByName("CRUISE")->SetAsInteger(C.Cruise);
            P->ParamByName("D")->SetAsSQLTimeStamp(Stamp(C.Y, C.M, C.D));
            P->ParamByName("T")->SetAsSQLTimeStamp(Stamp(1899, 12, 30, C.H));
            P->ParamByName("V")->SetAsFloat(C.V);
            P->ParamByName("S")->SetAsString(C.S);
            Ins->Execute();
            EXPECT_EQ(Ins->GetRowsAffected(), 1);
        }
    }
    static rtl::TSQLTimeStamp Stamp(int AY, int AM, int AD, int AH = 0)
    {
        rtl::TSQLTimeStamp S;
        S.Year = int16_t(AY);
        S.Month = uint16_t(AM);
        S.Day = uint16_t(AD);
        S.Hour = uint16_t(AH);
        return S;
    }
    static int Column(TZqDatSTable &T, const std::string &AName)
    {
        for (int I = 0; I < T.Columns()->Count(); ++I)
            if (T.Columns()->GetItem(I)->Name() == AName) return I;
        ADD_FAILURE() << "no column " << AName;
        return 0;
    }
    static rtl::Variant Value(TZqDatSTable &T, int ARow, const std::string &AColumn)
    {
        return T.Rows()->GetItem(ARow)->GetDataAsVariant(Column(T, AColumn));
    }

    std::filesystem::path Dir;
    std::string DbPath;
    TZqPhysManager *Mgr = nullptr; // kept alive by Manager
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
};
