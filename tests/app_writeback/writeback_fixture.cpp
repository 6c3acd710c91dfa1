// The write-back fixture: station database copy, work folder, flag tables.
#include "tests/app_writeback/writeback_fixture.h"

#include <QImage>
#include <QPushButton>
#include <QToolButton>

#include <cmath>
#include <cstdlib>
#include <unistd.h>

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/uflagcru.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TForm.h"
#include "tests/app_support/AppTestSupport.h"
#include "tests/support/query_fixture.h"

namespace wbtest {

namespace {

std::string ProgramFolder()
{
    const char *Dir = std::getenv("MARLIN_PROGRAM_DIR");
    return Dir ? Dir : "";
}

std::string InList(const std::set<int> &AValues)
{
    std::string S;
    for (int V : AValues)
        S += (S.empty() ? "" : ",") + std::to_string(V);
    return S;
}

} // namespace

int NewFlag(int AIdCast, double APres, int AColumn)
{
    return 1 + int((AIdCast * 7 + std::lround(APres * 10) + AColumn * 3) % 4);
}

void SaveShot(QWidget &AWindow, const std::string &AName)
{
    AWindow.show();
    AWindow.grab().toImage().save(QString::fromStdString(std::string(WRITEBACK_ARTEFACT_DIR) + "/" + AName + ".png"));
}

void Click(TForm &AForm, const char *AName)
{
    if (auto *B = AForm.findChild<QAbstractButton *>(QString::fromLatin1(AName)))
        B->click();
    else
        ADD_FAILURE() << "no button " << AName << " on " << AForm.objectName().toStdString();
}

void MakeWriteBackObjects(rtl::TComponent *AOwner, TZqConnection *AConn, const std::string &AWorkDir, int &AExecuted)
{
    FlagParamsQry = new TZqQuery(AOwner);
    FlagParamsQry->SetConnection(AConn);
    FlagUpdateCmd = new TZqCommand(AOwner);
    FlagUpdateCmd->SetConnection(AConn);
    FlagUpdateCmd->AfterExecute = [&AExecuted](rtl::TObject *) { ++AExecuted; };
    for (TQuery **Q : {&FlagCastQry, &FlagLevelQry}) {
        *Q = new TQuery(AOwner);
        (*Q)->SetDatabaseName(AWorkDir);
    }
    FlagCruiseList.Clear();
}

void ScriptWriteBack(TScriptedDialogs &ADialogs, const char *AConfirm, std::function<void(TForm &)> AChoose,
                     const char *AClose)
{
    ADialogs.ModalHandlers.push_back([AConfirm](TForm &F) {
        Click(F, AConfirm);
        return F.ModalResult();
    });
    ADialogs.ModalHandlers.push_back([AChoose, AClose](TForm &F) {
        if (AChoose)
            AChoose(F);
        Click(F, AClose);
        return F.ModalResult();
    });
}

void WriteBack::SetUp()
{
    querytest::InitServices();
    Dir = std::filesystem::temp_directory_path() /
          ("app_writeback_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "work");
    DbPath = (Dir / "station.mdb").string();
    std::filesystem::copy_file(ProgramFolder() + "/demo/marlin_demo.mdb", DbPath);
    WorkDir = (Dir / "work").string() + "/";
    std::filesystem::copy_file(ProgramFolder() + "/SoftDB/worktables.def", WorkDir + "worktables.def");

    Owner = std::make_unique<rtl::TComponent>(nullptr);
    Conn = querytest::OpenStationDb(Owner.get(), DbPath);
    MakeWriteBackObjects(Owner.get(), Conn, WorkDir, FExecuted);

    DbTablePrefix = "station";
    FillFlagTables();

    CruiseTbl = std::make_unique<TTable>();
    CruiseTbl->SetDatabaseName(WorkDir);
    CruiseTbl->SetTableName("TmpCru");
    CruiseTbl->Open();
    for (int Id : RunCruises) {
        const auto Name = querytest::SqliteRows(
            DbPath, "select Cruise_Name from Cruise_Titles where ID_Cruise = " + std::to_string(Id));
        CruiseTbl->Append();
        CruiseTbl->FieldByName("ID_Cruise")->SetAsInteger(Id);
        CruiseTbl->FieldByName("Cruise_Name")->SetAsString(Name.at(0).at(0));
        CruiseTbl->Post();
    }

    MainWindow = std::make_unique<QWidget>();
    MainWindow->setObjectName(QStringLiteral("Form1"));
    Dialogs = std::make_unique<TScriptedDialogs>();

    // The engine's state as the main window leaves it after a run.
    ::CruiseTbl = CruiseTbl.get();
    LocalDbDir = WorkDir;
    AbortRequested = QcInterrupted = false;
}

void WriteBack::TearDown()
{
    Qc = TQcState{};
    Dialogs.reset();
    MainWindow.reset();
    CruiseTbl.reset();
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

void WriteBack::FillFlagTables()
{
    TTable Struct, CastFlags, PtsFlags, No3Flags;
    for (TTable *T : {&Struct, &CastFlags, &PtsFlags, &No3Flags})
        T->SetDatabaseName(WorkDir);
    MakeWorkTable(CastFlags, Struct, WorkDir, "-Cast_TitlesFlags.db", "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
    MakeWorkTable(PtsFlags, Struct, WorkDir, "-PTS_DataFlags.db", "PTS_DAtaFlags", "ID_Cast;PRES");
    MakeParamFlagTable(No3Flags, Struct, WorkDir, "NO3");
    const std::set<int> Cruises = {RunCruises[0], RunCruises[1], FlagOnlyCruise};

    Session.StartTransaction(WorkDir);
    for (const auto &Row : querytest::SqliteRows(DbPath, "select ID_Cruise, ID_Cast from Cast_Titles where ID_Cruise in (" +
                                                           InList(Cruises) + ") order by ID_Cast")) {
        CastFlags.Append();
        CastFlags.FieldByName("ID_Cruise")->SetAsInteger(std::stoi(Row[0]));
        CastFlags.FieldByName("ID_Cast")->SetAsInteger(std::stoi(Row[1]));
        for (const char *F : {"FLon", "FLat", "FDT", "FD"})
            CastFlags.FieldByName(F)->SetAsInteger(1);
        CastFlags.Post();
    }
    const std::string Casts = "select ID_Cast from Cast_Titles where ID_Cruise in (" + InList(Cruises) + ")";
    // Every level of a main-database table gets its known flags, column by
    // column in the flag table's order.
    auto FillLevels = [&](TTable &AFlags, const std::string &ATable, std::initializer_list<const char *> AColumns) {
        for (const auto &Row : querytest::SqliteRows(DbPath, "select ID_Cast, PRES from " + ATable +
                                                                 " where ID_Cast in (" + Casts + ")")) {
            const int Id = std::stoi(Row[0]);
            const double Pres = rtl::StrToFloat(Row[1]);
            AFlags.Append();
            AFlags.FieldByName("ID_Cast")->SetAsInteger(Id);
            AFlags.FieldByName("PRES")->SetAsFloat(Pres);
            int C = 0;
            for (const char *F : AColumns)
                AFlags.FieldByName(F)->SetAsInteger(NewFlag(Id, Pres, C++));
            AFlags.Post();
        }
    };
    FillLevels(PtsFlags, "PTS_Data", {"FPRES", "FTEMP", "FPSAL"});
    FillLevels(No3Flags, "NO3", {"FPRES", "FNO3"});
    Session.Commit(WorkDir);
    // The prints of the profiles the "run" judged: the station database's.
    for (const char *Table : {"PTS_Data", "NO3"})
        apptest::KeepProfilePrints(DbPath, WorkDir, Table);
    for (TTable *T : {&Struct, &CastFlags, &PtsFlags, &No3Flags})
        T->Close();
}

std::vector<std::string> WriteBack::MainFlags(const std::string &ATable, const std::set<int> &ACruises)
{
    const std::string Flags = ATable == "PTS_Data" ? "FPRES, FTEMP, FPSAL" : "FPRES, F" + ATable;
    std::vector<std::string> Out;
    for (const auto &Row : querytest::SqliteRows(
             DbPath, "select ID_Cast, PRES, " + Flags + " from " + ATable +
                         " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise in (" + InList(ACruises) +
                         ")) order by ID_Cast, PRES")) {
        std::string S;
        for (const std::string &V : Row)
            S += (S.empty() ? "" : "|") + V;
        Out.push_back(S);
    }
    return Out;
}

int WriteBack::ExecutesOf(const std::set<int> &ACruises)
{
    const std::string Of = " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise in (" + InList(ACruises) + "))";
    return std::stoi(querytest::SqliteRows(DbPath, "select (select count(distinct ID_Cast) from PTS_Data" + Of +
                                                       ") + (select count(distinct ID_Cast) from NO3" + Of + ")")[0][0]);
}

std::vector<std::string> WriteBack::ExpectedFlags(const std::string &ATable, const std::set<int> &ACruises)
{
    const int Columns = ATable == "PTS_Data" ? 3 : 2;
    std::vector<std::string> Out;
    for (const auto &Row : querytest::SqliteRows(
             DbPath, "select ID_Cast, PRES from " + ATable +
                         " where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise in (" + InList(ACruises) +
                         ")) order by ID_Cast, PRES")) {
        std::string S = Row[0] + "|" + Row[1];
        for (int C = 0; C < Columns; ++C)
            S += "|" + std::to_string(NewFlag(std::stoi(Row[0]), rtl::StrToFloat(Row[1]), C));
        Out.push_back(S);
    }
    return Out;
}

void WriteBack::WorkSql(const std::string &ASql)
{
    TQuery Q;
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add(ASql);
    Q.ExecSQL();
}

TWriteFlagsResult WriteBackAfterRun::WriteBackEveryCruise()
{
    MakeWriteBackObjects(Owner.get(), Conn, WorkDir, FExecuted);
    ScriptWriteBack(*Dialogs, "BitBtn1", [](TForm &F) { Click(F, "SpeedButton21"); });
    QWidget MainWindow;
    return WriteFlagsToMainDb(&MainWindow);
}

std::vector<std::string> WriteBackAfterRun::StationLevels(int ACast)
{
    std::vector<std::string> Out;
    for (const auto &Row : StationRows("select PRES, FPRES, FTEMP, FPSAL from PTS_Data where ID_Cast = " +
                                       std::to_string(ACast) + " order by PRES"))
        Out.push_back(Row[0] + "|" + Row[1] + "|" + Row[2] + "|" + Row[3]);
    return Out;
}

} // namespace wbtest
