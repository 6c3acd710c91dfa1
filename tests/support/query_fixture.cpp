#include "tests/support/query_fixture.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

#include <sqlite3.h>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "tests/support/TestEnvironment.h"

namespace querytest {

namespace {

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

std::filesystem::path DemoDb()
{
    return std::filesystem::path(testsupport::ProgramDir()) / "demo" / "marlin_demo.mdb";
}

} // namespace

void InitServices()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        ZqStanInitialize();
        RegisterPhysManager();
        RegisterDAptManager();
        ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
        ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass);
    });
}

std::vector<TRow> SqliteRows(const std::string &ADbPath, const std::string &ASql)
{
    sqlite3 *Db = nullptr;
    if (sqlite3_open_v2(ADbPath.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(Db);
        throw std::runtime_error("cannot open " + ADbPath);
    }
    sqlite3_stmt *St = nullptr;
    if (sqlite3_prepare_v2(Db, ASql.c_str(), -1, &St, nullptr) != SQLITE_OK) {
        std::string E = sqlite3_errmsg(Db);
        sqlite3_close(Db);
        throw std::runtime_error(E);
    }
    std::vector<TRow> Rows;
    while (sqlite3_step(St) == SQLITE_ROW) {
        TRow R;
        for (int C = 0; C < sqlite3_column_count(St); ++C) {
            const unsigned char *T = sqlite3_column_text(St, C);
            R.push_back(T ? reinterpret_cast<const char *>(T) : "<null>");
        }
        Rows.push_back(std::move(R));
    }
    sqlite3_finalize(St);
    sqlite3_close(Db);
    return Rows;
}

void SqliteExec(const std::string &ADbPath, const std::string &ASql)
{
    sqlite3 *Db = nullptr;
    sqlite3_open_v2(ADbPath.c_str(), &Db, SQLITE_OPEN_READWRITE, nullptr);
    char *Err = nullptr;
    const int Rc = sqlite3_exec(Db, ASql.c_str(), nullptr, nullptr, &Err);
    std::string Msg = Err ? Err : "";
    sqlite3_free(Err);
    sqlite3_close(Db);
    if (Rc != SQLITE_OK)
        throw std::runtime_error(Msg);
}

void StationDb::SetUp()
{
    InitServices();
    Dir = std::filesystem::temp_directory_path() /
          ("comp_query_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Dir);
    DbPath = (Dir / "station.mdb").string();
    std::filesystem::copy_file(DemoDb(), DbPath, std::filesystem::copy_options::overwrite_existing);
    Owner = std::make_unique<rtl::TComponent>(nullptr);
    Conn = new TZqConnection(Owner.get());
    // As the program opens its main database.
    Conn->FetchOptions()->SetMode(fmAll);
    Conn->SetConnected(false);
    Conn->Params().Clear();
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + DbPath);
    Conn->SetConnected(true);
}

void StationDb::TearDown()
{
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

} // namespace querytest
