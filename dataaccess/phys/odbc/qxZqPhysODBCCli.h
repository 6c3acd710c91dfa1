// qxZqPhysODBCCli: the ODBC call-level constants and the sizes this platform's
// driver manager uses. The standard unixODBC headers give the names and
// values; the entry points themselves are resolved at run time (see
// qxZqPhysODBCWrapper), so nothing here links against the driver manager.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

// 64-bit unixODBC writes 8-byte lengths and indicators; every buffer layout
// of the bridge is sized from these types, never from 4-byte literals.
static_assert(sizeof(SQLLEN) == sizeof(void *), "SQLLEN is pointer-sized on this platform");
static_assert(sizeof(SQLULEN) == sizeof(void *), "SQLULEN is pointer-sized on this platform");
static_assert(sizeof(SQLINTEGER) == 4, "SQLINTEGER is 32 bits");
static_assert(sizeof(SQLSMALLINT) == 2, "SQLSMALLINT is 16 bits");
static_assert(sizeof(SQL_TIMESTAMP_STRUCT) == 16, "ODBC time stamps are 16 bytes");
static_assert(sizeof(SQL_DATE_STRUCT) == 6 && sizeof(SQL_TIME_STRUCT) == 6, "ODBC dates and times are 6 bytes");

// Length of one indicator slot and of one long-data pointer slot in a page.
constexpr int ODBC_IND_SIZE = int(sizeof(SQLLEN));
constexpr int ODBC_PTR_SIZE = int(sizeof(void *));

// Drivers size character columns in characters (UTF-16 units); text crosses
// the bridge as UTF-8, which takes up to three bytes for each of them. A
// buffer of this many bytes per character never cuts a Cyrillic or Greek name.
constexpr int ODBC_UTF8_UNIT_BYTES = 3;

// Driver-specific long types treated as long data.
constexpr SQLSMALLINT SQL_SS_VARIANT_TYPE = -150;
constexpr SQLUSMALLINT SQL_CA_SS_VARIANT_TYPE_ATTR = 1215;
// A parameter the statement never binds (a table-valued placeholder).
constexpr SQLSMALLINT SQL_SS_TABLE_TYPE = -403;

inline constexpr SQLLEN ZqSqlLenDataAtExec(SQLLEN ALength) { return -100 - ALength; }
inline constexpr bool ZqIsIntervalCType(int AType) { return AType >= 101 && AType <= 113; }
// The bytes of a number of C type AType that a buffer holds as it is (the
// integers, FLOAT and DOUBLE), or 0 for any other C type.
inline constexpr int ZqPlainNumberCSize(int AType)
{
    switch (AType) {
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: return 4;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT: return 8;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: return 1;
    default: return 0;
    }
}
