// What the generic ODBC driver's tests share: the library's services, a
// driver manager with the generic and the Access drivers registered, a
// per-test folder, connections opened through "DriverID=ODBC", and a second
// connection of our own that looks at the data from outside.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "dataaccess/phys/odbc/qxZqPhysODBC.h"
#include "dataaccess/stan/qxZqStanIntf.h"

// The ODBC drivers Debian installs for the tests.
inline const char *const SQLiteODBCDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
inline const char *const PgODBCDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";

class OdbcGenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connection of the generic driver for the definition's parameters
    // (name=value lines); not opened.
    TZqIntfPtr<IZqPhysConnection> Connection(const std::map<std::string, std::string> &AParams);
    // The parameters for an SQLite database file of this test's folder.
    std::map<std::string, std::string> SQLiteParams(const std::string &AFile = "gen.db");
    TZqPhysODBCConnection *Odbc(const TZqIntfPtr<IZqPhysConnection> &AConn)
    {
        return dynamic_cast<TZqPhysODBCConnection *>(AConn.Get());
    }
    TZqPhysODBCDriver *Driver(const TZqIntfPtr<IZqPhysConnection> &AConn);

    std::filesystem::path Dir;
    TZqIntfPtr<IZqPhysManager> Manager;
};

// A plain ODBC connection beside the one under test: runs statements and
// reads one number, so that a test sees what another session sees.
class TOutsideView {
public:
    explicit TOutsideView(const std::string &AConnectString);
    ~TOutsideView();
    void Exec(const std::string &ASQL);
    long long Scalar(const std::string &ASQL);

private:
    struct TImpl;
    TImpl *FImpl;
};

// The throw-away PostgreSQL server of the ctest fixture: its port, and the
// parameters of a generic ODBC connection to it. A test fails with a clear
// message when the server is not running.
struct TPgServer {
    bool Running = false;
    std::string Port;
    std::string Why;
    static const TPgServer &Get();
    std::string ConnectString() const; // for TOutsideView
};

class PgTest : public OdbcGenTest {
protected:
    void SetUp() override;
    std::map<std::string, std::string> PgParams();
    // A table name of this test alone: tests run in parallel on one server.
    std::string Table(const std::string &ABase);
};
