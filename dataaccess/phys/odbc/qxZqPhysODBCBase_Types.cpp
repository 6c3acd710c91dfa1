#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

TZqODBCTypeMapping ZqODBCSQLTypeToDataType(SQLSMALLINT ASQLType, SQLLEN AColumnSize, SQLSMALLINT ADecimalDigits,
                                           int AMaxBcdPrecision, int AMaxBcdScale)
{
    TZqODBCTypeMapping M;
    M.Attrs.Include(caSearchable);
    const bool Long = AColumnSize > 8192 || AColumnSize < 0;
    // A short character or binary type: its long form, else the sized one.
    auto Sized = [&](TZqDataType ALong, TZqDataType AShort, bool AFixed) {
        if (Long) {
            M.Type = ALong;
            M.Attrs.Include(caBlobData);
        } else {
            M.Type = AShort;
            M.Size = AColumnSize;
            if (AFixed) M.Attrs.Include(caFixedLen);
        }
    };
    // A long-only type: never searchable.
    auto LongOnly = [&](TZqDataType AType, bool AWithSize) {
        M.Type = AType;
        M.Attrs.Include(caBlobData).Exclude(caSearchable);
        if (AWithSize) M.Size = AColumnSize;
    };
    switch (ASQLType) {
    case SQL_CHAR: case SQL_VARCHAR: Sized(dtMemo, dtAnsiString, ASQLType == SQL_CHAR); break;
    case SQL_WCHAR: case SQL_WVARCHAR: Sized(dtWideMemo, dtWideString, ASQLType == SQL_WCHAR); break;
    case SQL_BINARY: case SQL_VARBINARY: case -150: Sized(dtBlob, dtByteString, ASQLType == SQL_BINARY); break;
    case SQL_LONGVARCHAR: case -99: LongOnly(dtMemo, false); break;
    case SQL_WLONGVARCHAR: case -97: LongOnly(dtWideMemo, true); break;
    case SQL_LONGVARBINARY: case -98: LongOnly(dtBlob, true); break;
    case SQL_NUMERIC: case SQL_DECIMAL:
        M.Precision = int(AColumnSize);
        M.Scale = ADecimalDigits;
        M.Type = AMaxBcdPrecision >= AColumnSize && AMaxBcdScale >= ADecimalDigits ? dtBCD : dtFmtBCD;
        break;
    case SQL_INTEGER: M.Type = dtInt32; break;
    case SQL_SMALLINT: M.Type = dtInt16; break;
    case SQL_TINYINT: M.Type = dtSByte; break;
    case SQL_BIGINT: M.Type = dtInt64; break;
    case SQL_BIT: M.Type = dtBoolean; break;
    case SQL_FLOAT: case SQL_REAL: case SQL_DOUBLE:
        M.Type = dtDouble;
        // binary digits of the mantissa as decimal digits
        M.Precision = AColumnSize == 53 ? 16 : AColumnSize == 24 ? 8 : int(AColumnSize);
        break;
    case SQL_DATETIME: M.Type = dtDateTime; break;
    case SQL_TIME: case SQL_TYPE_TIME: M.Type = dtTime; break;
    case SQL_TYPE_DATE: M.Type = dtDate; break;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: M.Type = dtDateTimeStamp; break;
    case SQL_GUID: M.Type = dtGUID; break;
    case -403: M.Type = dtCursorRef; break;
    default:
        if (ASQLType >= 101 && ASQLType <= 113) { // intervals travel as text
            M.Type = dtAnsiString;
            M.Size = AColumnSize;
        }
        break;
    }
    return M;
}

SQLSMALLINT ZqODBCDataTypeToSQLType(TZqDataType AType, uint8_t ARDBMSKind)
{
    SQLSMALLINT T = 0;
    switch (AType) {
    case dtBoolean: T = SQL_BIT; break;
    case dtSByte: T = SQL_TINYINT; break;
    case dtInt16: case dtByte: case dtUInt16: T = SQL_SMALLINT; break;
    case dtInt32: case dtUInt32: T = SQL_INTEGER; break;
    case dtInt64: case dtUInt64: T = SQL_BIGINT; break;
    case dtDouble: T = SQL_DOUBLE; break;
    case dtCurrency: case dtBCD: case dtFmtBCD: T = SQL_DECIMAL; break;
    case dtDateTime: case dtDateTimeStamp: T = SQL_TIMESTAMP; break;
    case dtTime: T = SQL_TYPE_TIME; break;
    case dtDate: T = SQL_TYPE_DATE; break;
    case dtAnsiString: T = SQL_VARCHAR; break;
    case dtWideString: T = SQL_WVARCHAR; break;
    case dtByteString: T = SQL_VARBINARY; break;
    case dtBlob: case dtHBlob: case dtHBFile: T = SQL_LONGVARBINARY; break;
    case dtMemo: case dtHMemo: T = SQL_LONGVARCHAR; break;
    case dtWideMemo: case dtWideHMemo: T = SQL_WLONGVARCHAR; break;
    case dtCursorRef: T = -403; break;
    case dtGUID: T = SQL_GUID; break;
    default: break;
    }
    if (ARDBMSKind == ODBCKindMSAccess && (T == SQL_DECIMAL || T == SQL_BIGINT)) T = SQL_NUMERIC;
    else if (ARDBMSKind == ODBCKindDB2 && T == SQL_BIT) T = SQL_DECIMAL;
    return T;
}

SQLSMALLINT ZqODBCDataTypeToCType(TZqDataType AType)
{
    switch (AType) {
    case dtBoolean: return SQL_C_BIT;
    case dtSByte: return SQL_C_STINYINT;
    case dtInt16: return SQL_C_SSHORT;
    case dtInt32: return SQL_C_SLONG;
    case dtInt64: return SQL_C_SBIGINT;
    case dtByte: return SQL_C_UTINYINT;
    case dtUInt16: return SQL_C_USHORT;
    case dtUInt32: return SQL_C_ULONG;
    case dtUInt64: return SQL_C_UBIGINT;
    case dtDouble: return SQL_C_DOUBLE;
    case dtCurrency: case dtBCD: case dtFmtBCD: return SQL_C_CHAR;
    case dtDateTime: case dtDateTimeStamp: return SQL_C_TIMESTAMP;
    case dtTime: return SQL_C_TYPE_TIME;
    case dtDate: return SQL_C_TYPE_DATE;
    case dtAnsiString: case dtMemo: case dtHMemo: return SQL_C_CHAR;
    case dtWideString: case dtWideMemo: case dtWideHMemo: return SQL_C_WCHAR;
    case dtByteString: case dtBlob: case dtHBlob: case dtHBFile: return SQL_C_BINARY;
    case dtGUID: return SQL_C_GUID;
    default: return 0;
    }
}

SQLSMALLINT ZqODBCParamDirection(rtl::TParamType AType)
{
    switch (AType) {
    case rtl::ptOutput: case rtl::ptResult: return SQL_PARAM_OUTPUT;
    case rtl::ptInputOutput: return SQL_PARAM_INPUT_OUTPUT;
    default: return SQL_PARAM_INPUT;
    }
}
