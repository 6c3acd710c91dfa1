// The generic ODBC tests' fixture, outside view and PostgreSQL server state.
#include "odbcgen_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "platform/rtl/Classes.h"
#include "tests/support/StationE2EFixture.h"
#include "tests/support/TestEnvironment.h"

namespace {

std::string Unquote(std::string V)
{
    if (V.size() >= 2 && V.front() == '\'' && V.back() == '\'') V = V.substr(1, V.size() - 2);
    return V;
}

} // namespace

// ---- the fixture -------------------------------------------------------------------------------

void OdbcGenTest::SetUp()
{
    e2e::Services(); // the library's services and a silent wait cursor
    const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = std::filesystem::temp_directory_path() /
          ("phys_odbcgen_" + std::to_string(::getpid()) + "_" + Info->test_suite_name() + "_" + Info->name());
    std::filesystem::create_directories(Dir);
    auto *Mgr = new TZqPhysManager();
    Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
    Mgr->RegisterDriverClass(&ZqPhysODBCConnectionClass);
    Mgr->RegisterDriverClass(&ZqPhysMSAccConnectionClass);
    Manager->Open();
}

void OdbcGenTest::TearDown()
{
    Manager->Close(true);
    Manager.Reset();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
}

TZqIntfPtr<IZqPhysConnection> OdbcGenTest::Connection(const std::map<std::string, std::string> &AParams)
{
    TZqIntfPtr<IZqStanConnectionDef> Def;
    ZqCreateInterface(Def, true);
    Def->SetAsString("DriverID", "ODBC");
    for (const auto &[Name, Value] : AParams) Def->SetAsString(Name, Value);
    TZqIntfPtr<IZqPhysConnection> Conn;
    Manager->CreateConnection(Def, Conn);
    return Conn;
}

std::map<std::string, std::string> OdbcGenTest::SQLiteParams(const std::string &AFile)
{
    // The SQLite driver knows its file as "Database" only, not as DBQ, so
    // the file travels in the advanced text.
    return {{"Driver", SQLiteODBCDriver}, {"ODBCAdvanced", "Database=" + (Dir / AFile).string()}};
}

TZqPhysODBCDriver *OdbcGenTest::Driver(const TZqIntfPtr<IZqPhysConnection> &AConn)
{
    TZqIntfPtr<IZqPhysDriver> D;
    AConn->GetDriver(D);
    return dynamic_cast<TZqPhysODBCDriver *>(D.Get());
}

// ---- the outside view ----------------------------------------------------------------------------

struct TOutsideView::TImpl {
    TODBCLib *Lib = nullptr;
    std::unique_ptr<TODBCEnvironment> Env;
    std::unique_ptr<TODBCConnection> Conn;
};

TOutsideView::TOutsideView(const std::string &AConnectString) : FImpl(new TImpl)
{
    FImpl->Lib = ZqODBCLibAcquire("", "", nullptr);
    FImpl->Env = std::make_unique<TODBCEnvironment>(FImpl->Lib, nullptr);
    FImpl->Conn = std::make_unique<TODBCConnection>(FImpl->Env.get(), nullptr);
    FImpl->Conn->DriverConnect(AConnectString, false);
}

TOutsideView::~TOutsideView()
{
    try {
        FImpl->Conn->Disconnect();
    } catch (...) {
    }
    FImpl->Conn.reset();
    FImpl->Env.reset();
    ZqODBCLibRelease(FImpl->Lib);
    delete FImpl;
}

void TOutsideView::Exec(const std::string &ASQL)
{
    TODBCCommandStatement S(FImpl->Conn.get(), nullptr);
    SQLLEN Rows = 0;
    S.Execute(1, 0, &ASQL, false, Rows);
    S.Close();
}

long long TOutsideView::Scalar(const std::string &ASQL)
{
    TODBCCommandStatement S(FImpl->Conn.get(), nullptr);
    SQLLEN Rows = 0;
    S.Execute(1, 0, &ASQL, false, Rows);
    SQLBIGINT V = -1;
    SQLLEN Ind = 0;
    TODBCLib *L = FImpl->Lib;
    S.Check(L->SQLFetch(S.Handle()));
    S.Check(L->SQLGetData(S.Handle(), 1, SQL_C_SBIGINT, &V, sizeof V, &Ind));
    S.Close();
    return Ind == SQL_NULL_DATA ? -1 : V;
}

// ---- the PostgreSQL server -------------------------------------------------------------------------

namespace {

// The server this process started itself, stopped when the process ends.
std::string GOwnPgState, GOwnPgFolder;

void StopOwnPgServer()
{
    const std::string Cmd = "sh '" + testsupport::SourceDir() + "tests/phys_odbcgen/pg_server.sh' stop '" +
                            GOwnPgState + "' >/dev/null 2>&1";
    if (std::system(Cmd.c_str()) != 0)
        std::fprintf(stderr, "could not stop the PostgreSQL test server of %s\n", GOwnPgState.c_str());
    std::error_code Ec;
    std::filesystem::remove_all(GOwnPgFolder, Ec);
}

// Run by hand, outside ctest's fixture, the binary starts a server of its
// own with the same script, so that its Pg cases run as they do there.
bool StartOwnPgServer(std::string &AState, std::string &AWhy)
{
    const std::string Base =
        (std::filesystem::temp_directory_path() / ("marlin_pg_" + std::to_string(::getpid()))).string();
    AState = Base + ".env";
    const std::string Cmd = "sh '" + testsupport::SourceDir() + "tests/phys_odbcgen/pg_server.sh' start '" + AState +
                            "' '" + Base + "' >/dev/null";
    GOwnPgState = AState;
    GOwnPgFolder = Base;
    std::atexit(StopOwnPgServer);
    if (std::system(Cmd.c_str()) != 0) {
        AWhy = "the PostgreSQL test server did not start (tests/phys_odbcgen/pg_server.sh start " + AState + " " +
               Base + " says why)";
        return false;
    }
    return true;
}

} // namespace

const TPgServer &TPgServer::Get()
{
    static const TPgServer S = [] {
        TPgServer R;
        const char *Env = std::getenv("MARLIN_PG_STATE");
        std::string Path = Env && *Env ? Env : MARLIN_PG_STATE;
        if (!std::filesystem::exists(Path) && !StartOwnPgServer(Path, R.Why))
            return R;
        std::ifstream In(Path);
        if (!In) {
            R.Why = "the PostgreSQL test server's state file " + Path + " cannot be read";
            return R;
        }
        std::string Line;
        while (std::getline(In, Line)) {
            const size_t Eq = Line.find('=');
            if (Eq != std::string::npos && Line.compare(0, Eq, "PGPORT") == 0) R.Port = Unquote(Line.substr(Eq + 1));
        }
        R.Running = !R.Port.empty();
        if (!R.Running) R.Why = "the PostgreSQL test server's state file " + Path + " names no port";
        return R;
    }();
    return S;
}

std::string TPgServer::ConnectString() const
{
    return std::string("DRIVER=") + PgODBCDriver + ";Servername=127.0.0.1;Port=" + Port +
           ";Database=postgres;UID=marlin";
}

void PgTest::SetUp()
{
    OdbcGenTest::SetUp();
    const TPgServer &S = TPgServer::Get();
    if (!S.Running) FAIL() << S.Why;
}

std::map<std::string, std::string> PgTest::PgParams()
{
    return {{"Driver", PgODBCDriver},
            {"User_Name", "marlin"},
            {"ODBCAdvanced", "Servername=127.0.0.1;Port=" + TPgServer::Get().Port + ";Database=postgres"}};
}

std::string PgTest::Table(const std::string &ABase)
{
    // Short enough for PostgreSQL's 63-character names.
    const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
    char Hash[17];
    std::snprintf(Hash, sizeof Hash, "%016zx",
                  std::hash<std::string>()(std::string(Info->test_suite_name()) + "." + Info->name()));
    return ABase + "_" + Hash;
}
