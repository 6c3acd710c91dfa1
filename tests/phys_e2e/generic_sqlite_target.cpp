// The end-to-end suite once more, through the generic ODBC driver on
// Debian's SQLite ODBC driver: a DBMS of no known kind, so the dialect
// facts are the ones the driver reports.
#include "dataaccess/phys/odbc/qxZqPhysODBC.h"
#include "tests/support/StationE2EFixture.h"

namespace {

TE2ETarget GenericSQLite()
{
    TE2ETarget T;
    T.Name = "ODBC_SQLite";
    // The SQLite driver knows its file as "Database" only, not as DBQ.
    T.ConnectionString = "DriverID=ODBC;Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;"
                         "ODBCAdvanced={Database=%DB%}";
    T.Register = [](TZqPhysManager *M) { M->RegisterDriverClass(&ZqPhysODBCConnectionClass); };
    // SQLite's driver types columns by the words of their declaration.
    T.Long = "INTEGER";
    T.DateTime = "TIMESTAMP";
    T.Double = "DOUBLE";
    T.Text20 = "VARCHAR(20)";
    T.Memo = "TEXT";
    // "no such table" comes as the general error HY000, naming no kind.
    T.MissingTableKind = 0;
    // An interrupted SQLite statement is not reported as cancelled.
    T.CancelRaises = false;
    return T;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Generic, StationE2E, ::testing::Values(GenericSQLite()),
                         [](const ::testing::TestParamInfo<TE2ETarget> &I) { return I.param.Name; });
