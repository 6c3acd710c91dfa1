// Test fixture: a fresh station database in a temporary folder, reached
// through the unixODBC driver manager exactly as the program reaches it
// (ODBCSYSINI points at the build's odbcinst.ini, which names the staged
// program folder's driver).
#pragma once

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <filesystem>
#include <string>
#include <vector>

struct TDiagInfo {
    std::string State;
    int Native = 0;
    std::string Message;
};

class TOdbcTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Connect string of the Access driver for a database file.
    static std::string ConnectString(const std::string &APath);
    SQLRETURN Connect(const std::string &APath);

    // Runs a statement on a fresh statement handle, expecting success.
    void Exec(const std::string &ASql);
    // The SQLRETURN of a statement (and its first diagnostic when it failed).
    SQLRETURN Try(const std::string &ASql, TDiagInfo *ADiag = nullptr);
    // All rows as text (NULL as "<null>"), read with SQLGetData.
    std::vector<std::vector<std::string>> Query(const std::string &ASql);
    SQLLEN RowCountOf(const std::string &ASql);

    TDiagInfo Diag(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec = 1);
    SQLHSTMT NewStmt();
    void Free(SQLHSTMT AStmt);
    // Creates the small fixture station database used by most tests.
    void MakeStationFixture();

    std::filesystem::path Dir;
    std::string DbPath;
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
};

#define ODBC_OK(expr)                                                                                   \
    do {                                                                                                \
        const SQLRETURN rc_ = (expr);                                                                   \
        ASSERT_TRUE(SQL_SUCCEEDED(rc_)) << #expr << " returned " << rc_;                                \
    } while (0)
