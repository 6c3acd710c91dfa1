// The wizard tests' world: a private station database and work folder.
#include "tests/app_wizard/wizard_fixture.h"

#include "app/Globals.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"

#include <QWidget>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

#include <sqlite3.h>

namespace wizardtest {

void InitServices()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        RegisterGUIxFormsWait();
        ZqStanInitialize();
        RegisterPhysManager();
        RegisterDAptManager();
        ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass);
    });
}

std::string ProgramFolder()
{
    const char *Dir = std::getenv("MARLIN_PROGRAM_DIR");
    if (!Dir)
        throw std::runtime_error("MARLIN_PROGRAM_DIR is not set");
    return std::string(Dir) + "/";
}

namespace {

struct TSqlite {
    sqlite3 *Db = nullptr;
    TSqlite(const std::string &APath, int AFlags)
    {
        if (sqlite3_open_v2(APath.c_str(), &Db, AFlags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + APath);
    }
    ~TSqlite() { sqlite3_close(Db); }
};

} // namespace

std::vector<std::string> SqliteRows(const std::string &ADbPath, const std::string &ASql)
{
    TSqlite S(ADbPath, SQLITE_OPEN_READONLY);
    sqlite3_stmt *St = nullptr;
    if (sqlite3_prepare_v2(S.Db, ASql.c_str(), -1, &St, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(S.Db));
    std::vector<std::string> Rows;
    while (sqlite3_step(St) == SQLITE_ROW) {
        std::string Line;
        for (int C = 0; C < sqlite3_column_count(St); ++C) {
            const unsigned char *T = sqlite3_column_text(St, C);
            Line += (C ? "|" : "") + std::string(T ? reinterpret_cast<const char *>(T) : "<null>");
        }
        Rows.push_back(Line);
    }
    sqlite3_finalize(St);
    return Rows;
}

void SqliteExec(const std::string &ADbPath, const std::string &ASql)
{
    TSqlite S(ADbPath, SQLITE_OPEN_READWRITE);
    char *Err = nullptr;
    if (sqlite3_exec(S.Db, ASql.c_str(), nullptr, nullptr, &Err) != SQLITE_OK) {
        std::string Msg = Err ? Err : "";
        sqlite3_free(Err);
        throw std::runtime_error(Msg);
    }
}

std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql)
{
    TQuery Q;
    Q.SetDatabaseName(AFolder);
    Q.SQL().Add(ASql);
    Q.Open();
    std::vector<std::string> R;
    for (Q.First(); !Q.Eof(); Q.Next()) {
        std::string Line;
        for (int I = 0; I < Q.FieldCount(); ++I)
            Line += (I ? "|" : "") + Q.Fields()[I]->AsString();
        R.push_back(Line);
    }
    return R;
}

void SaveShot(QWidget &AWindow, const std::string &AName)
{
    AWindow.grab().save(QString::fromStdString(std::string(WIZARD_ARTEFACT_DIR) + "/" + AName + ".png"));
}

void WizardDb::SetUp()
{
    InitServices();
    Dir = std::filesystem::temp_directory_path() /
          ("app_wizard_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "SoftDB");
    DbPath = (Dir / "station.mdb").string();
    std::filesystem::copy_file(ProgramFolder() + "demo/marlin_demo.mdb", DbPath);
    std::filesystem::copy_file(ProgramFolder() + "SoftDB/worktables.def", Dir / "SoftDB" / "worktables.def");
    WorkDir = (Dir / "SoftDB").string() + "/";
    ProgramDir = ProgramFolder();
    ImgsDir = ProgramDir + "Imgs/";
    CfgDir = ProgramDir + "Cfg/";
    LocalDbDir = WorkDir;
    MainDbPath = DbPath;
    MainDbSqlName = "\"" + DbPath.substr(0, DbPath.size() - 4) + "\"";
    Owner = std::make_unique<rtl::TComponent>(nullptr);
    Conn = new TZqConnection(Owner.get()); // owned by Owner
    Conn->FetchOptions()->SetMode(fmAll);
    Conn->Params().Clear();
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + DbPath);
    Conn->SetConnected(true);
}

void WizardDb::TearDown()
{
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    TLocalDatabase::CloseAll();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

} // namespace wizardtest
