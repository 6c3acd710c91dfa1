// The driver-manager binding, handles and diagnostics against the station
// database driver.
#include <gtest/gtest.h>

#include "tests/phys_odbc/OdbcBridgeFixture.h"

namespace {

TEST(ODBCLibLoading, NamesAndEncoding)
{
    EXPECT_EQ(TODBCLib::LibraryName("/opt/odbc", ""), "/opt/odbc/libodbc.so.2");
    EXPECT_EQ(TODBCLib::LibraryName("/opt/odbc/", ""), "/opt/odbc/libodbc.so.2");
    EXPECT_EQ(TODBCLib::LibraryName("", "libiodbc.so.2"), "libiodbc.so.2");
    EXPECT_EQ(TODBCLib::EntryNames().size(), 51u);
    EXPECT_STREQ(TODBCLib::EntryNames()[49], "SQLTablePrivileges");
    EXPECT_EQ(TODBCLib::EncodeValue("Plain Driver"), "Plain Driver");
    EXPECT_EQ(TODBCLib::EncodeValue("Microsoft Access Driver (*.mdb)"), "{Microsoft Access Driver (*.mdb)}");
}

TEST(ODBCLibLoading, MissingLibraryRaises314AndCountsNothing)
{
    const int Before = ZqODBCLibRefCount();
    try {
        ZqODBCLibAcquire("/nonexistent", "libnothing.so", nullptr);
        FAIL() << "no exception";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 314);
        EXPECT_NE(E.Message().find("Cannot load vendor library [/nonexistent/libnothing.so]"), std::string::npos);
    }
    EXPECT_EQ(ZqODBCLibRefCount(), Before);
}

TEST(ODBCLibLoading, LibraryWithoutEntryPointsRaises315NamingTheFirst)
{
    // libc has none of the ODBC functions: the first name tried is reported.
    try {
        TODBCLib L(nullptr, "", "libc.so.6");
        FAIL() << "no exception";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 315);
        EXPECT_NE(E.Message().find("Cannot get vendor library entry point [SQLAllocHandle]"), std::string::npos);
    }
}

TEST(ODBCLibLoading, SecondAcquisitionSharesTheFirstLibrary)
{
    TODBCLib *A = ZqODBCLibAcquire("", "", nullptr);
    TODBCLib *B = ZqODBCLibAcquire("", "libother.so", nullptr);
    EXPECT_EQ(A, B);
    EXPECT_EQ(ZqODBCLibRefCount(), 2);
    ZqODBCLibRelease(B);
    ZqODBCLibRelease(A);
    EXPECT_EQ(ZqODBCLibRefCount(), 0);
    ZqODBCLibRelease(A); // a stale release changes nothing
    EXPECT_EQ(ZqODBCLibRefCount(), 0);
}

TEST(ODBCDriverKind, DetectedFromDriverFileName)
{
    EXPECT_EQ(TODBCConnection::KindOfDriver("odbcjt32.dll", "ACCESS"), ODBCKindMSAccess);
    EXPECT_EQ(TODBCConnection::KindOfDriver("ODBCJT32.DLL", "EXCEL"), ODBCKindOther);
    EXPECT_EQ(TODBCConnection::KindOfDriver("NTLXM.DLL", ""), ODBCKindMSSQL);
    EXPECT_EQ(TODBCConnection::KindOfDriver("NTLXX.DLL", ""), ODBCKindOther);
    EXPECT_EQ(TODBCConnection::KindOfDriver("sqlncli10.dll", ""), ODBCKindMSSQL);
    EXPECT_EQ(TODBCConnection::KindOfDriver("libdb2.so", ""), ODBCKindDB2);
    EXPECT_EQ(TODBCConnection::KindOfDriver("libsqlite3odbc.so", ""), ODBCKindOther);
}

TEST_F(TODBCBinding, ConnectsToStationDatabaseAsAccess)
{
    Connect();
    EXPECT_TRUE(Conn->Connected);
    EXPECT_EQ(Conn->RDBMSKind, ODBCKindMSAccess);
    EXPECT_EQ(Conn->GetInfoStr(SQL_DBMS_NAME), "ACCESS");
    EXPECT_EQ(Conn->GetFunctions(SQL_API_SQLFETCH), SQL_TRUE);
    Conn->Disconnect();
    EXPECT_FALSE(Conn->Connected);
}

TEST_F(TODBCBinding, ConnectFailureCarriesDiagnosticRecords)
{
    try {
        Conn->DriverConnect("DRIVER={No Such Driver Here};DBQ=x", false);
        FAIL() << "no exception";
    } catch (const EODBCNativeException &E) {
        EXPECT_EQ(E.ErrorCode(), 1200);
        ASSERT_GE(E.ErrorCount(), 1);
        EXPECT_EQ(E.Message().rfind("[Vexa][Phys][ODBC]", 0), 0u) << E.Message();
        EXPECT_EQ(E.Errors(0).Level, 1);
        // The exception's message is the prefix and the first record's
        // text; the item holds the state line, CR LF, then that text.
        const std::string Text = E.Message().substr(std::string("[Vexa][Phys][ODBC]").size());
        EXPECT_NE(Text.find("No Such Driver Here"), std::string::npos) << Text;
        EXPECT_EQ(E.Errors(0).Message, "SQL state: 01000. Native error: 0. Error message: \r\n" + Text);
    }
}

// A refusal of the connection itself (an attribute here, a commit on a full
// disk in the program) says the driver's words, not the bare status.
TEST_F(TODBCBinding, ConnectionRefusalKeepsTheDriversWords)
{
    Connect();
    try {
        Conn->SetIntAttr(SQLINTEGER(9999), 1);
        FAIL() << "no exception";
    } catch (const EODBCNativeException &E) {
        EXPECT_NE(E.Message().find("Invalid attribute/option identifier 9999."), std::string::npos) << E.Message();
    }
}

TEST_F(TODBCBinding, NoDataWithoutRecordsRaisesKindOne)
{
    Connect();
    try {
        Conn->Check(SQL_NO_DATA);
        FAIL() << "no exception";
    } catch (const EODBCNativeException &E) {
        ASSERT_EQ(E.ErrorCount(), 1);
        EXPECT_EQ(E.Errors(0).Message, "SQL_NO_DATA");
        EXPECT_EQ(E.Errors(0).Kind, 1);
        EXPECT_EQ(E.Errors(0).ErrorCode, 100);
        EXPECT_EQ(E.Message(), "[Vexa][Phys][ODBC][ODBCJT32.DLL] SQL_NO_DATA");
    }
    EXPECT_NO_THROW(Conn->Check(SQL_SUCCESS));
}

TEST_F(TODBCBinding, EnvironmentRefusesTextAttributes)
{
    std::string S;
    try {
        Env->GetStrAttr(SQL_ATTR_ODBC_VERSION, S);
        FAIL() << "no exception";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 303);
    }
    EXPECT_EQ(Env->GetIntAttr(SQL_ATTR_ODBC_VERSION), SQL_OV_ODBC3);
}

TEST_F(TODBCBinding, DriversListNamesTheStationDriver)
{
    std::string Desc, Attrs;
    bool Found = false;
    for (bool More = Env->DriversFirst(Desc, Attrs); More; More = Env->DriversNext(Desc, Attrs))
        Found = Found || Desc == "Microsoft Access Driver (*.mdb)";
    EXPECT_TRUE(Found);
}

} // namespace
