// The ODBC type maps of the commands, from ODBC's own type numbers.
#include <gtest/gtest.h>

#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

namespace {
TZqODBCTypeMapping Map(SQLSMALLINT T, SQLLEN Size, SQLSMALLINT Digits = 0)
{
    return ZqODBCSQLTypeToDataType(T, Size, Digits, 18, 4);
}
} // namespace

TEST(ODBCTypeMap, CharacterAndBinaryTurnLongAbove8192OrUnknownSize)
{
    auto M = Map(SQL_VARCHAR, 8192);
    EXPECT_EQ(M.Type, dtAnsiString);
    EXPECT_EQ(M.Size, 8192);
    EXPECT_FALSE(M.Attrs.Contains(caFixedLen));
    EXPECT_TRUE(M.Attrs.Contains(caSearchable));
    M = Map(SQL_VARCHAR, 8193);
    EXPECT_EQ(M.Type, dtMemo);
    EXPECT_TRUE(M.Attrs.Contains(caBlobData));
    EXPECT_EQ(Map(SQL_VARCHAR, -4).Type, dtMemo);
    EXPECT_TRUE(Map(SQL_CHAR, 10).Attrs.Contains(caFixedLen));
    EXPECT_EQ(Map(SQL_WVARCHAR, 40).Type, dtWideString);
    EXPECT_EQ(Map(SQL_WCHAR, 9000).Type, dtWideMemo);
    EXPECT_EQ(Map(SQL_VARBINARY, 510).Type, dtByteString);
    EXPECT_TRUE(Map(SQL_BINARY, 16).Attrs.Contains(caFixedLen));
    EXPECT_EQ(Map(SQL_LONGVARBINARY, 1 << 30).Type, dtBlob);
    M = Map(SQL_LONGVARCHAR, 1 << 30);
    EXPECT_EQ(M.Type, dtMemo);
    EXPECT_FALSE(M.Attrs.Contains(caSearchable));
    EXPECT_EQ(Map(SQL_INTERVAL_DAY, 12).Type, dtAnsiString);
}

TEST(ODBCTypeMap, NumbersDatesAndPrecisions)
{
    EXPECT_EQ(Map(SQL_DOUBLE, 53).Precision, 16);
    EXPECT_EQ(Map(SQL_REAL, 24).Precision, 8);
    EXPECT_EQ(Map(SQL_FLOAT, 15).Precision, 15);
    auto M = Map(SQL_NUMERIC, 20, 4);
    EXPECT_EQ(M.Type, dtFmtBCD); // above MaxBcdPrecision 18
    EXPECT_EQ(M.Precision, 20);
    EXPECT_EQ(M.Scale, 4);
    EXPECT_EQ(Map(SQL_DECIMAL, 18, 4).Type, dtBCD);
    EXPECT_EQ(Map(SQL_DECIMAL, 10, 5).Type, dtFmtBCD); // scale above MaxBcdScale 4
    EXPECT_EQ(Map(SQL_INTEGER, 10).Type, dtInt32);
    EXPECT_EQ(Map(SQL_TINYINT, 3).Type, dtSByte);
    EXPECT_EQ(Map(SQL_BIGINT, 19).Type, dtInt64);
    EXPECT_EQ(Map(SQL_BIT, 1).Type, dtBoolean);
    EXPECT_EQ(Map(SQL_TYPE_TIMESTAMP, 19).Type, dtDateTimeStamp);
    EXPECT_EQ(Map(SQL_TYPE_DATE, 10).Type, dtDate);
    EXPECT_EQ(Map(SQL_TYPE_TIME, 8).Type, dtTime);
    EXPECT_EQ(Map(SQL_GUID, 36).Type, dtGUID);
    EXPECT_EQ(Map(0, 0).Type, dtUnknown);
}

TEST(ODBCTypeMap, BindTypesFollowTheDBMS)
{
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtInt64, ODBCKindMSAccess), SQL_NUMERIC);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtBCD, ODBCKindMSAccess), SQL_NUMERIC);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtBCD, ODBCKindMSSQL), SQL_DECIMAL);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtInt64, ODBCKindOther), SQL_BIGINT);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtBoolean, ODBCKindDB2), SQL_DECIMAL);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtBoolean, ODBCKindMSAccess), SQL_BIT);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtUInt16, ODBCKindOther), SQL_SMALLINT);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtDateTime, ODBCKindOther), SQL_TIMESTAMP);
    EXPECT_EQ(ZqODBCDataTypeToSQLType(dtObject, ODBCKindOther), 0);

    EXPECT_EQ(ZqODBCDataTypeToCType(dtUInt32), SQL_C_ULONG);
    EXPECT_EQ(ZqODBCDataTypeToCType(dtBCD), SQL_C_CHAR);
    EXPECT_EQ(ZqODBCDataTypeToCType(dtWideMemo), SQL_C_WCHAR);
    EXPECT_EQ(ZqODBCDataTypeToCType(dtHBFile), SQL_C_BINARY);
    EXPECT_EQ(ZqODBCDataTypeToCType(dtRowRef), 0);

    EXPECT_EQ(ZqODBCParamDirection(rtl::ptUnknown), SQL_PARAM_INPUT);
    EXPECT_EQ(ZqODBCParamDirection(rtl::ptResult), SQL_PARAM_OUTPUT);
    EXPECT_EQ(ZqODBCParamDirection(rtl::ptInputOutput), SQL_PARAM_INPUT_OUTPUT);
}
