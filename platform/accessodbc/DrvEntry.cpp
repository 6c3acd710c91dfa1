// The ODBC 3 entry points that unixODBC resolves in this library. Each one
// runs its body inside Guard (DrvGuard.h); the objects do the work.
#include "platform/accessodbc/DrvGuard.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace accessodbc {

namespace {
std::mutex GHandlesLock;
std::unordered_set<const void *> GHandles;
// Counts the handles freed: a handle found live stays live while no handle
// has been freed since, so a thread that calls on the same handle again
// (a fetch loop: SQLFetch, then SQLGetData per column) skips the lock.
std::atomic<std::uint64_t> GHandlesFreed{0};
thread_local const void *TLastHandle = nullptr;
thread_local std::uint64_t TLastFreed = 0;
} // namespace

void RegisterHandle(TDrvHandle *H)
{
    std::lock_guard<std::mutex> L(GHandlesLock);
    GHandles.insert(H);
}
void UnregisterHandle(TDrvHandle *H)
{
    std::lock_guard<std::mutex> L(GHandlesLock);
    GHandles.erase(H);
    GHandlesFreed.fetch_add(1, std::memory_order_acq_rel);
}
TDrvHandle *LookupHandle(SQLHANDLE AHandle, SQLSMALLINT AType)
{
    if (!AHandle)
        return nullptr;
    if (AHandle != TLastHandle || GHandlesFreed.load(std::memory_order_acquire) != TLastFreed) {
        std::lock_guard<std::mutex> L(GHandlesLock);
        if (!GHandles.count(AHandle))
            return nullptr;
        TLastHandle = AHandle;
        TLastFreed = GHandlesFreed.load(std::memory_order_acquire);
    }
    auto *H = static_cast<TDrvHandle *>(AHandle);
    return H->HandleType == AType ? H : nullptr;
}

namespace {

// ------------------------------------------------------------ SQLGetInfo

enum class TInfoKind { Str, U16, U32 };
struct TInfo {
    SQLUSMALLINT Id;
    TInfoKind Kind;
    SQLUINTEGER Num;
    const char *Text;
};

const TInfo *FindInfo(SQLUSMALLINT AId)
{
    static const TInfo Infos[] = {
        {SQL_ACTIVE_ENVIRONMENTS, TInfoKind::U16, 0, nullptr},
        {SQL_AGGREGATE_FUNCTIONS, TInfoKind::U32, SQL_AF_ALL | SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM, nullptr},
        {SQL_ALTER_TABLE, TInfoKind::U32, SQL_AT_ADD_COLUMN_SINGLE, nullptr},
        {SQL_BOOKMARK_PERSISTENCE, TInfoKind::U32, 0, nullptr},
        {SQL_CATALOG_LOCATION, TInfoKind::U16, SQL_CL_START, nullptr},
        {SQL_CATALOG_NAME, TInfoKind::Str, 0, "N"},
        {SQL_CATALOG_NAME_SEPARATOR, TInfoKind::Str, 0, "."},
        {SQL_CATALOG_TERM, TInfoKind::Str, 0, "DATABASE"},
        {SQL_CATALOG_USAGE, TInfoKind::U32, 0, nullptr},
        {SQL_COLLATION_SEQ, TInfoKind::Str, 0, ""},
        {SQL_COLUMN_ALIAS, TInfoKind::Str, 0, "Y"},
        {SQL_CONCAT_NULL_BEHAVIOR, TInfoKind::U16, SQL_CB_NON_NULL, nullptr},
        {SQL_CORRELATION_NAME, TInfoKind::U16, SQL_CN_ANY, nullptr},
        {SQL_CURSOR_COMMIT_BEHAVIOR, TInfoKind::U16, SQL_CB_PRESERVE, nullptr},
        {SQL_CURSOR_ROLLBACK_BEHAVIOR, TInfoKind::U16, SQL_CB_CLOSE, nullptr},
        {SQL_CURSOR_SENSITIVITY, TInfoKind::U32, SQL_UNSPECIFIED, nullptr},
        {SQL_DATA_SOURCE_NAME, TInfoKind::Str, 0, ""},
        {SQL_DATA_SOURCE_READ_ONLY, TInfoKind::Str, 0, "N"}, // "Y" when opened read-only: GetInfo
        {SQL_DBMS_NAME, TInfoKind::Str, 0, "ACCESS"},
        {SQL_DBMS_VER, TInfoKind::Str, 0, "04.00.0000"},
        {SQL_DDL_INDEX, TInfoKind::U32, SQL_DI_CREATE_INDEX | SQL_DI_DROP_INDEX, nullptr},
        {SQL_DEFAULT_TXN_ISOLATION, TInfoKind::U32, SQL_TXN_SERIALIZABLE, nullptr},
        {SQL_DESCRIBE_PARAMETER, TInfoKind::Str, 0, "N"},
        // The name the Access driver answers; the ODBC bridge recognises the
        // Access dialect by it (with the DBMS name ACCESS).
        {SQL_DRIVER_NAME, TInfoKind::Str, 0, "ODBCJT32.DLL"},
        {SQL_DRIVER_ODBC_VER, TInfoKind::Str, 0, "03.51"},
        {SQL_DRIVER_VER, TInfoKind::Str, 0, "01.00.0000"},
        {SQL_DROP_TABLE, TInfoKind::U32, SQL_DT_DROP_TABLE, nullptr},
        {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, TInfoKind::U32, 0, nullptr},
        {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, TInfoKind::U32, 0, nullptr},
        {SQL_EXPRESSIONS_IN_ORDERBY, TInfoKind::Str, 0, "Y"},
        {SQL_FILE_USAGE, TInfoKind::U16, SQL_FILE_CATALOG, nullptr},
        {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, TInfoKind::U32, SQL_CA1_NEXT | SQL_CA1_POS_POSITION, nullptr},
        {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, TInfoKind::U32, SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT, nullptr},
        {SQL_GETDATA_EXTENSIONS, TInfoKind::U32, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK, nullptr},
        {SQL_GROUP_BY, TInfoKind::U16, SQL_GB_GROUP_BY_CONTAINS_SELECT, nullptr},
        {SQL_IDENTIFIER_CASE, TInfoKind::U16, SQL_IC_MIXED, nullptr},
        {SQL_IDENTIFIER_QUOTE_CHAR, TInfoKind::Str, 0, "`"},
        {SQL_KEYWORDS, TInfoKind::Str, 0, "ALPHANUMERIC,AUTOINCREMENT,BINARY,BYTE,COUNTER,CURRENCY,DATABASE,DATABASENAME,DATETIME,DISALLOW,DISTINCTROW,DOUBLEFLOAT,FLOAT4,FLOAT8,GENERAL,IEEEDOUBLE,IEEESINGLE,IGNORE,INT,INTEGER1,INTEGER2,INTEGER4,LEVEL,LOGICAL,LOGICAL1,LONG,LONGBINARY,LONGCHAR,LONGTEXT,MEMO,MONEY,NOTE,NUMBER,OLEOBJECT,OPTION,OWNERACCESS,PARAMETERS,PERCENT,PIVOT,SHORT,SINGLE,SINGLEFLOAT,SMALLINT,STDEV,STDEVP,STRING,TABLEID,TEXT,TOP,TRANSFORM,UNSIGNEDBYTE,VALUES,VAR,VARBINARY,VARP,YESNO"},
        {SQL_LIKE_ESCAPE_CLAUSE, TInfoKind::Str, 0, "N"},
        {SQL_MAX_CATALOG_NAME_LEN, TInfoKind::U16, 260, nullptr},
        {SQL_MAX_COLUMN_NAME_LEN, TInfoKind::U16, 64, nullptr},
        {SQL_MAX_COLUMNS_IN_GROUP_BY, TInfoKind::U16, 10, nullptr},
        {SQL_MAX_COLUMNS_IN_INDEX, TInfoKind::U16, 10, nullptr},
        {SQL_MAX_COLUMNS_IN_ORDER_BY, TInfoKind::U16, 10, nullptr},
        {SQL_MAX_COLUMNS_IN_SELECT, TInfoKind::U16, 255, nullptr},
        {SQL_MAX_COLUMNS_IN_TABLE, TInfoKind::U16, 255, nullptr},
        {SQL_MAX_CONCURRENT_ACTIVITIES, TInfoKind::U16, 0, nullptr},
        {SQL_MAX_CURSOR_NAME_LEN, TInfoKind::U16, 64, nullptr},
        {SQL_MAX_DRIVER_CONNECTIONS, TInfoKind::U16, 64, nullptr},
        {SQL_MAX_IDENTIFIER_LEN, TInfoKind::U16, 64, nullptr},
        {SQL_MAX_INDEX_SIZE, TInfoKind::U32, 255, nullptr},
        {SQL_MAX_ROW_SIZE, TInfoKind::U32, 4052, nullptr},
        {SQL_MAX_SCHEMA_NAME_LEN, TInfoKind::U16, 0, nullptr},
        {SQL_MAX_STATEMENT_LEN, TInfoKind::U32, 65000, nullptr},
        {SQL_MAX_TABLE_NAME_LEN, TInfoKind::U16, 64, nullptr},
        {SQL_MAX_TABLES_IN_SELECT, TInfoKind::U16, 16, nullptr},
        {SQL_MAX_USER_NAME_LEN, TInfoKind::U16, 20, nullptr},
        {SQL_MULT_RESULT_SETS, TInfoKind::Str, 0, "N"},
        {SQL_MULTIPLE_ACTIVE_TXN, TInfoKind::Str, 0, "Y"},
        {SQL_NEED_LONG_DATA_LEN, TInfoKind::Str, 0, "N"},
        {SQL_NON_NULLABLE_COLUMNS, TInfoKind::U16, SQL_NNC_NON_NULL, nullptr},
        {SQL_NULL_COLLATION, TInfoKind::U16, SQL_NC_LOW, nullptr},
        {SQL_NUMERIC_FUNCTIONS, TInfoKind::U32, SQL_FN_NUM_ABS | SQL_FN_NUM_ATAN | SQL_FN_NUM_CEILING | SQL_FN_NUM_COS | SQL_FN_NUM_EXP | SQL_FN_NUM_FLOOR | SQL_FN_NUM_LOG | SQL_FN_NUM_MOD | SQL_FN_NUM_SIGN | SQL_FN_NUM_SIN | SQL_FN_NUM_SQRT | SQL_FN_NUM_TAN | SQL_FN_NUM_PI | SQL_FN_NUM_POWER | SQL_FN_NUM_ROUND | SQL_FN_NUM_TRUNCATE | SQL_FN_NUM_LOG10 | SQL_FN_NUM_DEGREES | SQL_FN_NUM_RADIANS, nullptr},
        {SQL_ODBC_INTERFACE_CONFORMANCE, TInfoKind::U32, SQL_OIC_CORE, nullptr},
        {SQL_OJ_CAPABILITIES, TInfoKind::U32, SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_ALL_COMPARISON_OPS, nullptr},
        {SQL_ORDER_BY_COLUMNS_IN_SELECT, TInfoKind::Str, 0, "N"},
        {SQL_OUTER_JOINS, TInfoKind::Str, 0, "Y"},
        // An array of parameter sets reports one row count, the sum over its
        // sets, and runs writes only.
        {SQL_PARAM_ARRAY_ROW_COUNTS, TInfoKind::U32, SQL_PARC_NO_BATCH, nullptr},
        {SQL_PARAM_ARRAY_SELECTS, TInfoKind::U32, SQL_PAS_NO_SELECT, nullptr},
        {SQL_PROCEDURE_TERM, TInfoKind::Str, 0, "QUERY"},
        {SQL_PROCEDURES, TInfoKind::Str, 0, "N"},
        {SQL_QUOTED_IDENTIFIER_CASE, TInfoKind::U16, SQL_IC_MIXED, nullptr},
        {SQL_ROW_UPDATES, TInfoKind::Str, 0, "N"},
        {SQL_SCHEMA_TERM, TInfoKind::Str, 0, ""},
        {SQL_SCHEMA_USAGE, TInfoKind::U32, 0, nullptr},
        {SQL_SCROLL_OPTIONS, TInfoKind::U32, SQL_SO_FORWARD_ONLY, nullptr},
        {SQL_SEARCH_PATTERN_ESCAPE, TInfoKind::Str, 0, "\\"},
        {SQL_SERVER_NAME, TInfoKind::Str, 0, "ACCESS"},
        {SQL_SPECIAL_CHARACTERS, TInfoKind::Str, 0, "~@#$%^&*_-+=\\}{\"';:?/><,.![]|"},
        {SQL_SQL_CONFORMANCE, TInfoKind::U32, SQL_SC_SQL92_ENTRY, nullptr},
        {SQL_STATIC_CURSOR_ATTRIBUTES1, TInfoKind::U32, 0, nullptr},
        {SQL_STATIC_CURSOR_ATTRIBUTES2, TInfoKind::U32, 0, nullptr},
        {SQL_STRING_FUNCTIONS, TInfoKind::U32, SQL_FN_STR_CONCAT | SQL_FN_STR_LEFT | SQL_FN_STR_LTRIM | SQL_FN_STR_LENGTH | SQL_FN_STR_LOCATE | SQL_FN_STR_LCASE | SQL_FN_STR_RIGHT | SQL_FN_STR_RTRIM | SQL_FN_STR_SUBSTRING | SQL_FN_STR_UCASE | SQL_FN_STR_ASCII | SQL_FN_STR_CHAR | SQL_FN_STR_SPACE | SQL_FN_STR_REPLACE, nullptr},
        {SQL_SUBQUERIES, TInfoKind::U32, SQL_SQ_CORRELATED_SUBQUERIES | SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_QUANTIFIED, nullptr},
        {SQL_SYSTEM_FUNCTIONS, TInfoKind::U32, SQL_FN_SYS_DBNAME | SQL_FN_SYS_IFNULL | SQL_FN_SYS_USERNAME, nullptr},
        {SQL_TABLE_TERM, TInfoKind::Str, 0, "TABLE"},
        {SQL_TIMEDATE_FUNCTIONS, TInfoKind::U32, SQL_FN_TD_CURDATE | SQL_FN_TD_CURTIME | SQL_FN_TD_DAYNAME | SQL_FN_TD_DAYOFMONTH | SQL_FN_TD_DAYOFWEEK | SQL_FN_TD_DAYOFYEAR | SQL_FN_TD_HOUR | SQL_FN_TD_MINUTE | SQL_FN_TD_MONTH | SQL_FN_TD_MONTHNAME | SQL_FN_TD_NOW | SQL_FN_TD_QUARTER | SQL_FN_TD_SECOND | SQL_FN_TD_WEEK | SQL_FN_TD_YEAR | SQL_FN_TD_TIMESTAMPADD | SQL_FN_TD_TIMESTAMPDIFF, nullptr},
        {SQL_TXN_CAPABLE, TInfoKind::U16, SQL_TC_ALL, nullptr},
        {SQL_TXN_ISOLATION_OPTION, TInfoKind::U32, SQL_TXN_SERIALIZABLE, nullptr},
        {SQL_UNION, TInfoKind::U32, SQL_U_UNION | SQL_U_UNION_ALL, nullptr},
        {SQL_USER_NAME, TInfoKind::Str, 0, "admin"},
        {SQL_CONVERT_FUNCTIONS, TInfoKind::U32, SQL_FN_CVT_CONVERT, nullptr},
        {SQL_BATCH_SUPPORT, TInfoKind::U32, 0, nullptr},
        {SQL_ASYNC_MODE, TInfoKind::U32, SQL_AM_NONE, nullptr},
        {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, TInfoKind::U32, 0, nullptr},
        {SQL_DATETIME_LITERALS, TInfoKind::U32, SQL_DL_SQL92_DATE | SQL_DL_SQL92_TIME | SQL_DL_SQL92_TIMESTAMP, nullptr},
        {SQL_TXN_ISOLATION_OPTION, TInfoKind::U32, SQL_TXN_SERIALIZABLE, nullptr},
        {SQL_POS_OPERATIONS, TInfoKind::U32, SQL_POS_POSITION, nullptr},
        {SQL_STATIC_SENSITIVITY, TInfoKind::U32, 0, nullptr},
        {SQL_LOCK_TYPES, TInfoKind::U32, SQL_LCK_NO_CHANGE, nullptr},
        {SQL_SCROLL_CONCURRENCY, TInfoKind::U32, SQL_SCCO_READ_ONLY, nullptr},
        {SQL_ACCESSIBLE_TABLES, TInfoKind::Str, 0, "Y"},
        {SQL_ACCESSIBLE_PROCEDURES, TInfoKind::Str, 0, "N"},
        {SQL_INTEGRITY, TInfoKind::Str, 0, "N"},
        {SQL_MAX_CHAR_LITERAL_LEN, TInfoKind::U32, 255, nullptr},
        {SQL_MAX_BINARY_LITERAL_LEN, TInfoKind::U32, 255, nullptr},
        {SQL_MAX_ROW_SIZE_INCLUDES_LONG, TInfoKind::Str, 0, "N"},
    };
    for (const TInfo &I : Infos)
        if (I.Id == AId)
            return &I;
    return nullptr;
}

SQLRETURN GetInfo(TDrvConnection &C, SQLUSMALLINT AType, SQLPOINTER AValue, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    if (AType == SQL_DATABASE_NAME)
        return PutString(C.CatalogName(), AValue, ALen, AOut, C);
    if (AType == SQL_DATA_SOURCE_READ_ONLY)
        return PutString(C.ReadOnly() ? "Y" : "N", AValue, ALen, AOut, C);
    const TInfo *I = FindInfo(AType);
    if (!I)
        Fail("HY096", 0, "Information type " + std::to_string(AType) + " is not supported by this driver.");
    switch (I->Kind) {
    case TInfoKind::Str:
        return PutString(I->Text, AValue, ALen, AOut, C);
    case TInfoKind::U16:
        if (AValue)
            *static_cast<SQLUSMALLINT *>(AValue) = static_cast<SQLUSMALLINT>(I->Num);
        if (AOut)
            *AOut = sizeof(SQLUSMALLINT);
        return SQL_SUCCESS;
    case TInfoKind::U32:
        if (AValue)
            *static_cast<SQLUINTEGER *>(AValue) = I->Num;
        if (AOut)
            *AOut = sizeof(SQLUINTEGER);
        return SQL_SUCCESS;
    }
    return SQL_ERROR;
}

// The functions this driver implements, for SQLGetFunctions.
const SQLUSMALLINT Implemented[] = {
    SQL_API_SQLALLOCHANDLE, SQL_API_SQLBINDCOL, SQL_API_SQLBINDPARAMETER, SQL_API_SQLCANCEL,
    SQL_API_SQLCLOSECURSOR, SQL_API_SQLCOLATTRIBUTE, SQL_API_SQLCOLUMNS, SQL_API_SQLCONNECT,
    SQL_API_SQLDESCRIBECOL, SQL_API_SQLDISCONNECT, SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLENDTRAN, SQL_API_SQLEXECDIRECT, SQL_API_SQLEXECUTE, SQL_API_SQLFETCH, SQL_API_SQLFETCHSCROLL,
    SQL_API_SQLFOREIGNKEYS, SQL_API_SQLFREEHANDLE, SQL_API_SQLFREESTMT, SQL_API_SQLGETCONNECTATTR,
    SQL_API_SQLGETCURSORNAME, SQL_API_SQLGETDATA, SQL_API_SQLGETDIAGFIELD, SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETENVATTR, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLGETINFO, SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLGETTYPEINFO, SQL_API_SQLMORERESULTS, SQL_API_SQLNATIVESQL, SQL_API_SQLNUMPARAMS,
    SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLPARAMDATA, SQL_API_SQLPREPARE, SQL_API_SQLPRIMARYKEYS,
    SQL_API_SQLPROCEDURECOLUMNS, SQL_API_SQLPROCEDURES, SQL_API_SQLPUTDATA, SQL_API_SQLROWCOUNT,
    SQL_API_SQLSETCONNECTATTR, SQL_API_SQLSETCURSORNAME, SQL_API_SQLSETENVATTR, SQL_API_SQLSETPOS,
    SQL_API_SQLSETSTMTATTR, SQL_API_SQLSPECIALCOLUMNS, SQL_API_SQLSTATISTICS, SQL_API_SQLTABLES,
    SQL_API_SQLDESCRIBEPARAM};

SQLRETURN ColAttribute(TDrvStatement &S, SQLUSMALLINT ACol, SQLUSMALLINT AField, SQLPOINTER AChar, SQLSMALLINT ALen,
                       SQLSMALLINT *AOutLen, SQLLEN *ANum)
{
    if (AField == SQL_DESC_COUNT || AField == SQL_COLUMN_COUNT) {
        if (ANum)
            *ANum = S.ColumnCount();
        return SQL_SUCCESS;
    }
    const TColumnInfo &C = S.Column(ACol);
    auto Num = [&](SQLLEN V) {
        if (ANum)
            *ANum = V;
        return SQL_SUCCESS;
    };
    const SQLSMALLINT T = SqlTypeOf(C.Type);
    switch (AField) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL: return PutString(C.Name, AChar, ALen, AOutLen, S);
    case SQL_DESC_BASE_COLUMN_NAME: return PutString(C.BaseColumn.empty() ? C.Name : C.BaseColumn, AChar, ALen, AOutLen, S);
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_TABLE_NAME: return PutString(C.BaseTable, AChar, ALen, AOutLen, S);
    case SQL_DESC_CATALOG_NAME: return PutString(C.BaseTable.empty() ? "" : S.Conn->CatalogName(), AChar, ALen, AOutLen, S);
    case SQL_DESC_SCHEMA_NAME: return PutString("", AChar, ALen, AOutLen, S);
    case SQL_DESC_TYPE_NAME: return PutString(TypeNameOf(C.Type), AChar, ALen, AOutLen, S);
    case SQL_DESC_LOCAL_TYPE_NAME: return PutString(TypeNameOf(C.Type), AChar, ALen, AOutLen, S);
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
        return PutString(T == SQL_VARCHAR || T == SQL_LONGVARCHAR ? "'" : T == SQL_TYPE_TIMESTAMP ? "#" : "", AChar, ALen, AOutLen, S);
    case SQL_DESC_CONCISE_TYPE: return Num(T);
    case SQL_DESC_TYPE: return Num(T == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : T);
    case SQL_DESC_DATETIME_INTERVAL_CODE: return Num(T == SQL_TYPE_TIMESTAMP ? SQL_CODE_TIMESTAMP : 0);
    case SQL_DESC_LENGTH:
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_PRECISION: return Num(static_cast<SQLLEN>(ColumnSizeOf(C.Type, C.Size)));
    case SQL_DESC_OCTET_LENGTH: return Num(OctetLengthOf(C.Type, C.Size));
    case SQL_DESC_DISPLAY_SIZE: return Num(T == SQL_DOUBLE ? 24 : T == SQL_REAL ? 14 : T == SQL_TYPE_TIMESTAMP ? 23 : static_cast<SQLLEN>(ColumnSizeOf(C.Type, C.Size)) + (T == SQL_INTEGER || T == SQL_SMALLINT ? 1 : 0));
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE: return Num(DecimalDigitsOf(C.Type));
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE: return Num(C.Nullable ? SQL_NULLABLE : SQL_NO_NULLS);
    case SQL_DESC_UNNAMED: return Num(C.Name.empty() ? SQL_UNNAMED : SQL_NAMED);
    case SQL_DESC_AUTO_UNIQUE_VALUE: return Num(C.AutoUnique ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_UPDATABLE: return Num(C.Updatable && !C.AutoUnique ? SQL_ATTR_WRITE : SQL_ATTR_READONLY);
    case SQL_DESC_FIXED_PREC_SCALE: return Num(C.Type == TJetType::Currency ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_UNSIGNED: return Num(C.Type == TJetType::Byte || T == SQL_VARCHAR || T == SQL_LONGVARCHAR || T == SQL_VARBINARY || T == SQL_LONGVARBINARY || T == SQL_TYPE_TIMESTAMP || T == SQL_BIT ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_CASE_SENSITIVE: return Num(SQL_FALSE);
    case SQL_DESC_SEARCHABLE: return Num(C.Type == TJetType::Memo || C.Type == TJetType::LongBinary ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE);
    case SQL_DESC_NUM_PREC_RADIX: return Num(T == SQL_REAL || T == SQL_DOUBLE ? 2 : (T == SQL_INTEGER || T == SQL_SMALLINT || T == SQL_TINYINT || T == SQL_NUMERIC) ? 10 : 0);
    case SQL_DESC_ROWVER: return Num(SQL_FALSE);
    default:
        Fail("HY091", 0, "Invalid descriptor field identifier " + std::to_string(AField) + ".");
    }
}

SQLRETURN DiagField(TDrvHandle &H, SQLSMALLINT ARec, SQLSMALLINT AField, SQLPOINTER AInfo, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    if (ARec == 0) {
        switch (AField) {
        case SQL_DIAG_NUMBER:
            if (AInfo)
                *static_cast<SQLINTEGER *>(AInfo) = static_cast<SQLINTEGER>(H.Diags.size());
            return SQL_SUCCESS;
        case SQL_DIAG_RETURNCODE:
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_COUNT:
            if (H.HandleType != SQL_HANDLE_STMT)
                return SQL_ERROR;
            if (AInfo)
                *static_cast<SQLLEN *>(AInfo) = static_cast<TDrvStatement &>(H).RowCount;
            return SQL_SUCCESS;
        case SQL_DIAG_CURSOR_ROW_COUNT:
            if (AInfo)
                *static_cast<SQLLEN *>(AInfo) = -1;
            return SQL_SUCCESS;
        case SQL_DIAG_DYNAMIC_FUNCTION:
            return PutString("", AInfo, ALen, AOut, H);
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            if (AInfo)
                *static_cast<SQLINTEGER *>(AInfo) = SQL_DIAG_UNKNOWN_STATEMENT;
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
        }
    }
    if (ARec < 1 || static_cast<size_t>(ARec) > H.Diags.size())
        return SQL_NO_DATA;
    const TDiagRecord &R = H.Diags[static_cast<size_t>(ARec - 1)];
    switch (AField) {
    case SQL_DIAG_SQLSTATE: return PutString(R.State, AInfo, ALen, AOut, H);
    case SQL_DIAG_MESSAGE_TEXT: return PutString(R.Message, AInfo, ALen, AOut, H);
    case SQL_DIAG_NATIVE:
        if (AInfo)
            *static_cast<SQLINTEGER *>(AInfo) = R.Native;
        return SQL_SUCCESS;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
        return PutString(R.State.rfind("IM", 0) == 0 ? "ODBC 3.0" : "ISO 9075", AInfo, ALen, AOut, H);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: return PutString("ACCESS", AInfo, ALen, AOut, H);
    case SQL_DIAG_COLUMN_NUMBER:
        if (AInfo)
            *static_cast<SQLINTEGER *>(AInfo) = R.Column;
        return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER:
        if (AInfo)
            *static_cast<SQLLEN *>(AInfo) = R.Row;
        return SQL_SUCCESS;
    default:
        return SQL_ERROR;
    }
}

std::string NativeSql(TDrvConnection &C, const std::string &AJetSql)
{
    jet::TJetTranslateContext Ctx;
    Ctx.DatabasePath = C.Path;
    try {
        return jet::TranslateJetSql(AJetSql, Ctx).Sql;
    } catch (const jet::TJetSqlError &E) {
        Fail(E.State.c_str(), E.Native, E.what());
    }
}

TDrvHandle *AnyHandle(SQLSMALLINT AType, SQLHANDLE AHandle) { return LookupHandle(AHandle, AType); }

SQLRETURN FreeStatement(TDrvStatement *S)
{
    auto &List = S->Conn->Statements;
    List.erase(std::remove(List.begin(), List.end(), S), List.end());
    UnregisterHandle(S);
    delete S;
    return SQL_SUCCESS;
}

SQLRETURN SetStmtAttr(TDrvStatement &S, SQLINTEGER A, SQLPOINTER V)
{
    const SQLULEN U = reinterpret_cast<SQLULEN>(V);
    switch (A) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE:
        if (U < 1)
            Fail("HY024", 0, "Invalid attribute value: the row array size must be at least 1.");
        S.RowArraySize = U;
        return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE: S.RowBindType = U; return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: S.RowsFetchedPtr = static_cast<SQLULEN *>(V); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: S.RowStatusPtr = static_cast<SQLUSMALLINT *>(V); return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: S.RowBindOffsetPtr = static_cast<SQLLEN *>(V); return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: S.MaxRows = U; return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: S.ParamBindType = U; return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: S.ParamsProcessedPtr = static_cast<SQLULEN *>(V); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: S.ParamStatusPtr = static_cast<SQLUSMALLINT *>(V); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: S.ParamBindOffsetPtr = static_cast<SQLLEN *>(V); return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
        // Arrays of parameter sets run set by set in one execute (RunArray).
        S.ParamsetSize = U > 1 ? U : 1;
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
        if (U != SQL_CURSOR_FORWARD_ONLY) {
            S.AddDiag("01S02", 0, "Option value changed: the cursor is forward-only.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
        if (U != SQL_CONCUR_READ_ONLY) {
            S.AddDiag("01S02", 0, "Option value changed: the cursor is read-only.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
        if (U != SQL_NONSCROLLABLE)
            Fail("HYC00", 0, "Optional feature not implemented: scrollable cursors.");
        return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_USE_BOOKMARKS:
    case SQL_ATTR_ENABLE_AUTO_IPD:
    case SQL_ATTR_ASYNC_ENABLE:
        return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT: S.QueryTimeout = U; return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH: S.MaxLength = U; return SQL_SUCCESS;
    default:
        Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(A) + ".");
    }
}

SQLRETURN GetStmtAttr(TDrvStatement &S, SQLINTEGER A, SQLPOINTER V)
{
    auto Put = [&](SQLULEN X) {
        if (V)
            *static_cast<SQLULEN *>(V) = X;
        return SQL_SUCCESS;
    };
    auto PutPtr = [&](void *P) {
        if (V)
            *static_cast<SQLPOINTER *>(V) = P;
        return SQL_SUCCESS;
    };
    switch (A) {
    case SQL_ATTR_APP_ROW_DESC: return PutPtr(&S.DescriptorTags[0]);
    case SQL_ATTR_APP_PARAM_DESC: return PutPtr(&S.DescriptorTags[1]);
    case SQL_ATTR_IMP_ROW_DESC: return PutPtr(&S.DescriptorTags[2]);
    case SQL_ATTR_IMP_PARAM_DESC: return PutPtr(&S.DescriptorTags[3]);
    case SQL_ATTR_ROW_ARRAY_SIZE:
    case SQL_ROWSET_SIZE: return Put(S.RowArraySize);
    case SQL_ATTR_ROW_BIND_TYPE: return Put(S.RowBindType);
    case SQL_ATTR_ROWS_FETCHED_PTR: return PutPtr(S.RowsFetchedPtr);
    case SQL_ATTR_ROW_STATUS_PTR: return PutPtr(S.RowStatusPtr);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: return PutPtr(S.RowBindOffsetPtr);
    case SQL_ATTR_MAX_ROWS: return Put(S.MaxRows);
    case SQL_ATTR_PARAMSET_SIZE: return Put(S.ParamsetSize);
    case SQL_ATTR_PARAM_BIND_TYPE: return Put(S.ParamBindType);
    case SQL_ATTR_PARAMS_PROCESSED_PTR: return PutPtr(S.ParamsProcessedPtr);
    case SQL_ATTR_PARAM_STATUS_PTR: return PutPtr(S.ParamStatusPtr);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return PutPtr(S.ParamBindOffsetPtr);
    case SQL_ATTR_CURSOR_TYPE: return Put(SQL_CURSOR_FORWARD_ONLY);
    case SQL_ATTR_CONCURRENCY: return Put(SQL_CONCUR_READ_ONLY);
    case SQL_ATTR_CURSOR_SCROLLABLE: return Put(SQL_NONSCROLLABLE);
    case SQL_ATTR_CURSOR_SENSITIVITY: return Put(SQL_UNSPECIFIED);
    case SQL_ATTR_QUERY_TIMEOUT: return Put(S.QueryTimeout);
    case SQL_ATTR_MAX_LENGTH: return Put(S.MaxLength);
    case SQL_ATTR_NOSCAN: return Put(SQL_NOSCAN_OFF);
    case SQL_ATTR_RETRIEVE_DATA: return Put(SQL_RD_ON);
    case SQL_ATTR_USE_BOOKMARKS: return Put(SQL_UB_OFF);
    case SQL_ATTR_ASYNC_ENABLE: return Put(SQL_ASYNC_ENABLE_OFF);
    case SQL_ATTR_ENABLE_AUTO_IPD: return Put(SQL_FALSE);
    case SQL_ATTR_ROW_NUMBER: return Put(S.RowsetCount ? S.RowsDelivered - S.RowsetCount + S.CurrentRow + 1 : 0);
    default:
        Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(A) + ".");
    }
}

} // namespace

} // namespace accessodbc

using namespace accessodbc;

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT AType, SQLHANDLE AInput, SQLHANDLE *AOutput)
{
    if (!AOutput)
        return SQL_ERROR;
    if (AType == SQL_HANDLE_ENV) {
        try {
            auto *E = new TDrvEnvironment();
            RegisterHandle(E);
            *AOutput = E;
            return SQL_SUCCESS;
        } catch (...) {
            *AOutput = SQL_NULL_HANDLE;
            return SQL_ERROR;
        }
    }
    if (AType == SQL_HANDLE_DBC)
        return Guard<TDrvEnvironment>(AInput, SQL_HANDLE_ENV, [&](TDrvEnvironment &E) -> SQLRETURN {
            auto *C = new TDrvConnection(&E);
            E.Connections.push_back(C);
            RegisterHandle(C);
            *AOutput = C;
            return SQL_SUCCESS;
        });
    if (AType == SQL_HANDLE_STMT)
        return Guard<TDrvConnection>(AInput, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
            C.RequireOpen();
            auto *S = new TDrvStatement(&C);
            C.Statements.push_back(S);
            RegisterHandle(S);
            *AOutput = S;
            return SQL_SUCCESS;
        });
    if (AType == SQL_HANDLE_DESC)
        return Guard<TDrvConnection>(AInput, SQL_HANDLE_DBC, [&](TDrvConnection &) -> SQLRETURN {
            Fail("HYC00", 0, "Optional feature not implemented: explicit descriptors.");
        });
    return SQL_ERROR;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT AType, SQLHANDLE AHandle)
{
    if (AType == SQL_HANDLE_ENV)
        return Guard<TDrvEnvironment>(AHandle, AType, [&](TDrvEnvironment &E) -> SQLRETURN {
            if (!E.Connections.empty())
                Fail("HY010", 0, "Function sequence error: the environment still has connections.");
            UnregisterHandle(&E);
            delete &E;
            return SQL_SUCCESS;
        });
    if (AType == SQL_HANDLE_DBC)
        return Guard<TDrvConnection>(AHandle, AType, [&](TDrvConnection &C) -> SQLRETURN {
            if (C.Db)
                Fail("HY010", 0, "Function sequence error: the connection is still open.");
            auto &L = C.Env->Connections;
            L.erase(std::remove(L.begin(), L.end(), &C), L.end());
            for (TDrvStatement *S : std::vector<TDrvStatement *>(C.Statements))
                FreeStatement(S);
            UnregisterHandle(&C);
            delete &C;
            return SQL_SUCCESS;
        });
    if (AType == SQL_HANDLE_STMT)
        return Guard<TDrvStatement>(AHandle, AType, [&](TDrvStatement &S) -> SQLRETURN { return FreeStatement(&S); });
    return SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT AStmt, SQLUSMALLINT AOption)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        switch (AOption) {
        case SQL_CLOSE: S.CloseCursor(); return SQLRETURN(SQL_SUCCESS);
        case SQL_UNBIND: S.Unbind(); return SQLRETURN(SQL_SUCCESS);
        case SQL_RESET_PARAMS: S.ResetParams(); S.Params.resize(static_cast<size_t>(S.Tr->ParamCount) + 1); return SQLRETURN(SQL_SUCCESS);
        case SQL_DROP: return FreeStatement(&S);
        default: Fail("HY092", 0, "Invalid attribute/option identifier.");
        }
    });
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV AEnv, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER)
{
    return Guard<TDrvEnvironment>(AEnv, SQL_HANDLE_ENV, [&](TDrvEnvironment &E) -> SQLRETURN {
        if (AAttr == SQL_ATTR_ODBC_VERSION) {
            E.OdbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(AValue));
            return SQL_SUCCESS;
        }
        if (AAttr == SQL_ATTR_OUTPUT_NTS || AAttr == SQL_ATTR_CONNECTION_POOLING || AAttr == SQL_ATTR_CP_MATCH)
            return SQL_SUCCESS;
        Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(AAttr) + ".");
    });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV AEnv, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER, SQLINTEGER *AOut)
{
    return Guard<TDrvEnvironment>(AEnv, SQL_HANDLE_ENV, [&](TDrvEnvironment &E) -> SQLRETURN {
        SQLINTEGER V;
        if (AAttr == SQL_ATTR_ODBC_VERSION)
            V = E.OdbcVersion;
        else if (AAttr == SQL_ATTR_OUTPUT_NTS)
            V = SQL_TRUE;
        else if (AAttr == SQL_ATTR_CONNECTION_POOLING)
            V = SQL_CP_OFF;
        else
            Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(AAttr) + ".");
        if (AValue)
            *static_cast<SQLINTEGER *>(AValue) = V;
        if (AOut)
            *AOut = sizeof V;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC AConn, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
        const SQLULEN U = reinterpret_cast<SQLULEN>(AValue);
        switch (AAttr) {
        case SQL_ATTR_AUTOCOMMIT: C.SetAutoCommit(U != SQL_AUTOCOMMIT_OFF); return SQLRETURN(SQL_SUCCESS);
        case SQL_ATTR_LOGIN_TIMEOUT: C.LoginTimeout = static_cast<SQLUINTEGER>(U); return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_TIMEOUT: return SQL_SUCCESS;
        case SQL_ATTR_TXN_ISOLATION:
            // SQLite transactions are serializable; weaker levels are served by it.
            C.Isolation = SQL_TXN_SERIALIZABLE;
            if (U != SQL_TXN_SERIALIZABLE) {
                C.AddDiag("01S02", 0, "Option value changed: transactions are serializable.");
                return SQL_SUCCESS_WITH_INFO;
            }
            return SQL_SUCCESS;
        case SQL_ATTR_ACCESS_MODE:
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_ASYNC_ENABLE:
        case SQL_ATTR_METADATA_ID:
        case SQL_ATTR_TRACE:
        case SQL_ATTR_ODBC_CURSORS:
            return SQL_SUCCESS;
        case SQL_ATTR_CURRENT_CATALOG:
            Fail("HYC00", 0, "Optional feature not implemented: the catalog is the open database file.");
        default:
            Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(AAttr) + ".");
        }
    });
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC AConn, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER ALen, SQLINTEGER *AOut)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
        SQLUINTEGER V;
        switch (AAttr) {
        case SQL_ATTR_AUTOCOMMIT: V = C.AutoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF; break;
        case SQL_ATTR_LOGIN_TIMEOUT: V = C.LoginTimeout; break;
        case SQL_ATTR_CONNECTION_TIMEOUT: V = 0; break;
        case SQL_ATTR_TXN_ISOLATION: V = C.Isolation; break;
        case SQL_ATTR_ACCESS_MODE: V = C.ReadOnly() ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE; break;
        case SQL_ATTR_CONNECTION_DEAD: V = C.Db ? SQL_CD_FALSE : SQL_CD_TRUE; break;
        case SQL_ATTR_ASYNC_ENABLE: V = SQL_ASYNC_ENABLE_OFF; break;
        case SQL_ATTR_METADATA_ID: V = SQL_FALSE; break;
        case SQL_ATTR_CURRENT_CATALOG: return PutString(C.CatalogName(), AValue, ALen, AOut, C);
        default: Fail("HY092", 0, "Invalid attribute/option identifier " + std::to_string(AAttr) + ".");
        }
        if (AValue)
            *static_cast<SQLUINTEGER *>(AValue) = V;
        if (AOut)
            *AOut = sizeof V;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT AStmt, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return SetStmtAttr(S, AAttr, AValue); });
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT AStmt, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER, SQLINTEGER *AOut)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (AOut)
            *AOut = sizeof(SQLULEN);
        return GetStmtAttr(S, AAttr, AValue);
    });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC AConn, SQLHWND, SQLCHAR *AIn, SQLSMALLINT AInLen, SQLCHAR *AOut,
                                   SQLSMALLINT AOutMax, SQLSMALLINT *AOutLen, SQLUSMALLINT ACompletion)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
        (void)ACompletion; // no dialog: the connect string must be complete
        const std::string In = InText(AIn, AInLen);
        C.Connect(In);
        return PutString(In, AOut, AOutMax, AOutLen, C);
    });
}

SQLRETURN SQL_API SQLConnect(SQLHDBC AConn, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &) -> SQLRETURN {
        Fail("IM007", 0, "No data source: connect with SQLDriverConnect and DBQ=<path of the station database>.");
    });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC AConn)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
        C.Disconnect();
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC AConn, SQLUSMALLINT AType, SQLPOINTER AValue, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN { return GetInfo(C, AType, AValue, ALen, AOut); });
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC AConn, SQLUSMALLINT AId, SQLUSMALLINT *ASupported)
{
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &) -> SQLRETURN {
        if (AId == SQL_API_ODBC3_ALL_FUNCTIONS) {
            std::memset(ASupported, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
            for (SQLUSMALLINT F : Implemented)
                ASupported[F >> 4] |= static_cast<SQLUSMALLINT>(1 << (F & 0xF));
        } else if (AId == SQL_API_ALL_FUNCTIONS) {
            std::memset(ASupported, 0, 100 * sizeof(SQLUSMALLINT));
            for (SQLUSMALLINT F : Implemented)
                if (F < 100)
                    ASupported[F] = SQL_TRUE;
        } else {
            *ASupported = SQL_FALSE;
            for (SQLUSMALLINT F : Implemented)
                if (F == AId)
                    *ASupported = SQL_TRUE;
        }
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT AStmt, SQLCHAR *AText, SQLINTEGER ALen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        S.Prepare(InText(AText, ALen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT AStmt)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.Execute(); });
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT AStmt, SQLCHAR *AText, SQLINTEGER ALen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.ExecDirect(InText(AText, ALen)); });
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC AConn, SQLCHAR *AIn, SQLINTEGER AInLen, SQLCHAR *AOut, SQLINTEGER AOutMax, SQLINTEGER *AOutLen)
{
    // The text as this driver runs it: the SQLite translation of the Jet SQL.
    return Guard<TDrvConnection>(AConn, SQL_HANDLE_DBC, [&](TDrvConnection &C) -> SQLRETURN {
        return PutString(NativeSql(C, InText(AIn, AInLen)), AOut, AOutMax, AOutLen, C);
    });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT AStmt, SQLSMALLINT *ACount)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ACount)
            *ACount = S.ColumnCount();
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLCHAR *AName, SQLSMALLINT AMax, SQLSMALLINT *ANameLen,
                                 SQLSMALLINT *AType, SQLULEN *ASize, SQLSMALLINT *ADigits, SQLSMALLINT *ANullable)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        const TColumnInfo &C = S.Column(ACol);
        if (AType)
            *AType = SqlTypeOf(C.Type);
        if (ASize)
            *ASize = ColumnSizeOf(C.Type, C.Size);
        if (ADigits)
            *ADigits = DecimalDigitsOf(C.Type);
        if (ANullable)
            *ANullable = C.Nullable ? SQL_NULLABLE : SQL_NO_NULLS;
        return PutString(C.Name, AName, AMax, ANameLen, S);
    });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLUSMALLINT AField, SQLPOINTER AChar,
                                  SQLSMALLINT ALen, SQLSMALLINT *AOutLen, SQLLEN *ANum)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        return ColAttribute(S, ACol, AField, AChar, ALen, AOutLen, ANum);
    });
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLSMALLINT ACType, SQLPOINTER AData, SQLLEN ALen, SQLLEN *AInd)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ACol == 0)
            Fail("07009", 0, "Invalid descriptor index: bookmarks are not supported.");
        if (ALen < 0)
            Fail("HY090", 0, "Invalid string or buffer length.");
        if (S.Bindings.size() <= ACol)
            S.Bindings.resize(ACol + 1u);
        S.Bindings[ACol] = TColBinding{ACType, AData, ALen, AInd};
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT AStmt)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.Fetch(); });
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT AStmt, SQLSMALLINT AOrientation, SQLLEN)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (AOrientation != SQL_FETCH_NEXT)
            Fail("HY106", 0, "Fetch type out of range: the cursor is forward-only.");
        return S.Fetch();
    });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLSMALLINT ACType, SQLPOINTER ABuf, SQLLEN ALen, SQLLEN *AInd)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.GetData(ACol, ACType, ABuf, ALen, AInd); });
}

SQLRETURN SQL_API SQLSetPos(SQLHSTMT AStmt, SQLSETPOSIROW ARow, SQLUSMALLINT AOp, SQLUSMALLINT)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        S.SetPos(ARow, AOp);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT AStmt, SQLUSMALLINT ANum, SQLSMALLINT AIo, SQLSMALLINT ACType, SQLSMALLINT ASqlType,
                                   SQLULEN ASize, SQLSMALLINT ADigits, SQLPOINTER AData, SQLLEN ALen, SQLLEN *AInd)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ANum < 1)
            Fail("07009", 0, "Invalid descriptor index: parameters count from 1.");
        if (AIo != SQL_PARAM_INPUT)
            Fail("HYC00", 0, "Optional feature not implemented: output parameters (a station database has no procedures).");
        if (S.Params.size() <= ANum)
            S.Params.resize(ANum + 1u);
        TParamBinding &P = S.Params[ANum];
        P = TParamBinding();
        P.Bound = true;
        P.IoType = AIo;
        P.CType = ACType;
        P.SqlType = ASqlType;
        P.ColumnSize = ASize;
        P.Digits = ADigits;
        P.Data = AData;
        P.BufferLength = ALen;
        P.Indicator = AInd;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT AStmt, SQLSMALLINT *ACount)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ACount)
            *ACount = static_cast<SQLSMALLINT>(S.Tr->ParamCount);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT AStmt, SQLUSMALLINT ANum, SQLSMALLINT *AType, SQLULEN *ASize,
                                   SQLSMALLINT *ADigits, SQLSMALLINT *ANullable)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ANum < 1 || ANum > S.Tr->ParamCount)
            Fail("07009", 0, "Invalid descriptor index: no parameter " + std::to_string(ANum) + ".");
        // Jet does not describe parameters; text is the type every value reads as.
        if (AType) *AType = SQL_VARCHAR;
        if (ASize) *ASize = 255;
        if (ADigits) *ADigits = 0;
        if (ANullable) *ANullable = SQL_NULLABLE;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT AStmt, SQLPOINTER *AToken)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.ParamData(AToken); });
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT AStmt, SQLPOINTER AData, SQLLEN ALen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        S.PutData(AData, ALen);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT AStmt, SQLLEN *ACount)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (ACount)
            *ACount = S.RowCount;
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT AStmt)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN { return S.MoreResults(); });
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT AStmt)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (!S.HasCursor)
            Fail("24000", 0, "Invalid cursor state: no cursor is open.");
        S.CloseCursor();
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ACompletion)
{
    const bool Commit = ACompletion == SQL_COMMIT;
    if (ACompletion != SQL_COMMIT && ACompletion != SQL_ROLLBACK)
        return SQL_ERROR;
    if (AType == SQL_HANDLE_DBC)
        return Guard<TDrvConnection>(AHandle, AType, [&](TDrvConnection &C) -> SQLRETURN {
            C.EndTransaction(Commit);
            return SQL_SUCCESS;
        });
    if (AType == SQL_HANDLE_ENV)
        return Guard<TDrvEnvironment>(AHandle, AType, [&](TDrvEnvironment &E) -> SQLRETURN {
            for (TDrvConnection *C : E.Connections)
                C->EndTransaction(Commit);
            return SQL_SUCCESS;
        });
    return SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT AStmt)
{
    // Called from another thread while the statement runs: it touches nothing
    // but the interrupt flag, and leaves the statement's diagnostics alone.
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        S.Cancel();
        return SQL_SUCCESS;
    }, TGuardMode::KeepDiags);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec, SQLCHAR *AState,
                                SQLINTEGER *ANative, SQLCHAR *AMessage, SQLSMALLINT AMax, SQLSMALLINT *ALen)
{
    TDrvHandle *H = AnyHandle(AType, AHandle);
    if (!H)
        return SQL_INVALID_HANDLE;
    if (ARec < 1)
        return SQL_ERROR;
    if (static_cast<size_t>(ARec) > H->Diags.size())
        return SQL_NO_DATA;
    const TDiagRecord &R = H->Diags[static_cast<size_t>(ARec - 1)];
    if (AState) {
        std::memcpy(AState, R.State.c_str(), 5);
        AState[5] = 0;
    }
    if (ANative)
        *ANative = R.Native;
    if (ALen)
        *ALen = static_cast<SQLSMALLINT>(R.Message.size());
    if (AMessage && AMax > 0) {
        const size_t N = std::min(R.Message.size(), static_cast<size_t>(AMax - 1));
        std::memcpy(AMessage, R.Message.data(), N);
        AMessage[N] = 0;
        if (N < R.Message.size())
            return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec, SQLSMALLINT AField,
                                  SQLPOINTER AInfo, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    TDrvHandle *H = AnyHandle(AType, AHandle);
    if (!H)
        return SQL_INVALID_HANDLE;
    return DiagField(*H, ARec, AField, AInfo, ALen, AOut);
}

SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT AStmt, SQLCHAR *AName, SQLSMALLINT AMax, SQLSMALLINT *ALen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        if (S.CursorName.empty())
            S.CursorName = "SQL_CUR" + std::to_string(reinterpret_cast<std::uintptr_t>(&S) & 0xFFFFFF);
        return PutString(S.CursorName, AName, AMax, ALen, S);
    });
}

SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT AStmt, SQLCHAR *AName, SQLSMALLINT ALen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        S.CursorName = InText(AName, ALen);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLTables(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *ATable,
                            SQLSMALLINT ATableLen, SQLCHAR *ATypes, SQLSMALLINT ATypesLen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogTables(S, InText(ATable, ATableLen), InText(ATypes, ATypesLen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *ATable,
                             SQLSMALLINT ATableLen, SQLCHAR *AColumn, SQLSMALLINT AColumnLen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogColumns(S, InText(ATable, ATableLen), InText(AColumn, AColumnLen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *ATable,
                                SQLSMALLINT ATableLen, SQLUSMALLINT AUnique, SQLUSMALLINT)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogStatistics(S, InText(ATable, ATableLen), AUnique);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *ATable, SQLSMALLINT ATableLen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogPrimaryKeys(S, InText(ATable, ATableLen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT AStmt, SQLUSMALLINT AType, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                    SQLCHAR *ATable, SQLSMALLINT ATableLen, SQLUSMALLINT, SQLUSMALLINT)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogSpecialColumns(S, AType, InText(ATable, ATableLen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *APk, SQLSMALLINT APkLen,
                                 SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *AFk, SQLSMALLINT AFkLen)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogForeignKeys(S, InText(APk, APkLen), InText(AFk, AFkLen));
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLProcedures(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogProcedures(S);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT AStmt, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                      SQLCHAR *, SQLSMALLINT)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogProcedureColumns(S);
        return SQL_SUCCESS;
    });
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT AStmt, SQLSMALLINT AType)
{
    return Guard<TDrvStatement>(AStmt, SQL_HANDLE_STMT, [&](TDrvStatement &S) -> SQLRETURN {
        CatalogTypeInfo(S, AType);
        return SQL_SUCCESS;
    });
}

} // extern "C"

// ---------------------------------------------------------------------------
// The wide (UTF-16) entry points: texts in and out are converted and the
// narrow entry points above do the work, so both faces answer alike.

namespace {

std::string W8(const SQLWCHAR *AText, SQLLEN ALen)
{
    if (!AText)
        return {};
    return Utf16ToUtf8(AText, ALen);
}

// Writes UTF-8 text as UTF-16 into ABuf of ACapacity units (bytes when
// ABytes); the full length goes to AOut in the same unit.
template <typename L>
SQLRETURN PutW(const std::string &AText, SQLPOINTER ABuf, SQLLEN ACapacity, L *AOut, bool ABytes, SQLSMALLINT AType,
               SQLHANDLE AHandle)
{
    const std::u16string W = Utf8ToUtf16(AText.data(), AText.size());
    if (AOut)
        *AOut = static_cast<L>(ABytes ? W.size() * 2 : W.size());
    const SQLLEN Units = ABytes ? ACapacity / 2 : ACapacity;
    if (!ABuf || Units <= 0)
        return SQL_SUCCESS;
    const size_t N = std::min(W.size(), static_cast<size_t>(Units - 1));
    std::memcpy(ABuf, W.data(), N * 2);
    static_cast<SQLWCHAR *>(ABuf)[N] = 0;
    if (N < W.size()) {
        if (TDrvHandle *H = LookupHandle(AHandle, AType))
            H->AddDiag("01004", 0, "String data, right truncated.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLCHAR *Narrow(const std::string &S, bool AGiven) { return AGiven ? (SQLCHAR *)S.c_str() : nullptr; }

SQLRETURN Worse(SQLRETURN A, SQLRETURN B) { return A == SQL_SUCCESS ? B : A; }

bool IsStringInfo(SQLUSMALLINT AType)
{
    if (AType == SQL_DATABASE_NAME)
        return true;
    const TInfo *I = FindInfo(AType);
    return I && I->Kind == TInfoKind::Str;
}

} // namespace

extern "C" {

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC AConn, SQLHWND AWnd, SQLWCHAR *AIn, SQLSMALLINT AInLen, SQLWCHAR *AOut,
                                    SQLSMALLINT AOutMax, SQLSMALLINT *AOutLen, SQLUSMALLINT ACompletion)
{
    const std::string In = W8(AIn, AInLen);
    std::vector<SQLCHAR> Out(4096);
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLDriverConnect(AConn, AWnd, (SQLCHAR *)In.c_str(), SQL_NTS, Out.data(),
                                          static_cast<SQLSMALLINT>(Out.size()), &Len, ACompletion);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(reinterpret_cast<char *>(Out.data()), AOut, AOutMax, AOutLen, false, SQL_HANDLE_DBC, AConn));
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC AConn, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT)
{
    return SQLConnect(AConn, nullptr, 0, nullptr, 0, nullptr, 0);
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT AStmt, SQLWCHAR *AText, SQLINTEGER ALen)
{
    const std::string T = W8(AText, ALen);
    return SQLExecDirect(AStmt, (SQLCHAR *)T.c_str(), static_cast<SQLINTEGER>(T.size()));
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT AStmt, SQLWCHAR *AText, SQLINTEGER ALen)
{
    const std::string T = W8(AText, ALen);
    return SQLPrepare(AStmt, (SQLCHAR *)T.c_str(), static_cast<SQLINTEGER>(T.size()));
}

SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC AConn, SQLWCHAR *AIn, SQLINTEGER AInLen, SQLWCHAR *AOut, SQLINTEGER AOutMax,
                                SQLINTEGER *AOutLen)
{
    const std::string In = W8(AIn, AInLen);
    std::vector<SQLCHAR> Out(In.size() * 2 + 4096);
    SQLINTEGER Len = 0;
    const SQLRETURN Rc = SQLNativeSql(AConn, (SQLCHAR *)In.c_str(), SQL_NTS, Out.data(), static_cast<SQLINTEGER>(Out.size()), &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(reinterpret_cast<char *>(Out.data()), AOut, AOutMax, AOutLen, false, SQL_HANDLE_DBC, AConn));
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLWCHAR *AName, SQLSMALLINT AMax, SQLSMALLINT *ANameLen,
                                  SQLSMALLINT *AType, SQLULEN *ASize, SQLSMALLINT *ADigits, SQLSMALLINT *ANullable)
{
    SQLCHAR Name[1024];
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLDescribeCol(AStmt, ACol, Name, sizeof Name, &Len, AType, ASize, ADigits, ANullable);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(reinterpret_cast<char *>(Name), AName, AMax, ANameLen, false, SQL_HANDLE_STMT, AStmt));
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT AStmt, SQLUSMALLINT ACol, SQLUSMALLINT AField, SQLPOINTER AChar,
                                   SQLSMALLINT ALen, SQLSMALLINT *AOutLen, SQLLEN *ANum)
{
    SQLCHAR Text[1024] = {};
    SQLSMALLINT Len = -1;
    const SQLRETURN Rc = SQLColAttribute(AStmt, ACol, AField, Text, sizeof Text, &Len, ANum);
    if (!SQL_SUCCEEDED(Rc) || Len < 0)
        return Rc; // a numeric field: nothing to convert
    return Worse(Rc, PutW(reinterpret_cast<char *>(Text), AChar, ALen, AOutLen, true, SQL_HANDLE_STMT, AStmt));
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec, SQLWCHAR *AState,
                                 SQLINTEGER *ANative, SQLWCHAR *AMessage, SQLSMALLINT AMax, SQLSMALLINT *ALen)
{
    SQLCHAR State[6] = {};
    std::vector<SQLCHAR> Msg(4096);
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLGetDiagRec(AType, AHandle, ARec, State, ANative, Msg.data(), static_cast<SQLSMALLINT>(Msg.size()), &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    if (AState) {
        for (int i = 0; i < 6; ++i)
            AState[i] = State[i];
    }
    const std::u16string W = Utf8ToUtf16(reinterpret_cast<char *>(Msg.data()), std::strlen(reinterpret_cast<char *>(Msg.data())));
    if (ALen)
        *ALen = static_cast<SQLSMALLINT>(W.size());
    if (AMessage && AMax > 0) {
        const size_t N = std::min(W.size(), static_cast<size_t>(AMax - 1));
        std::memcpy(AMessage, W.data(), N * 2);
        AMessage[N] = 0;
        if (N < W.size())
            return SQL_SUCCESS_WITH_INFO;
    }
    return Rc;
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT AType, SQLHANDLE AHandle, SQLSMALLINT ARec, SQLSMALLINT AField,
                                   SQLPOINTER AInfo, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    const bool Text = AField == SQL_DIAG_SQLSTATE || AField == SQL_DIAG_MESSAGE_TEXT || AField == SQL_DIAG_CLASS_ORIGIN ||
                      AField == SQL_DIAG_SUBCLASS_ORIGIN || AField == SQL_DIAG_CONNECTION_NAME ||
                      AField == SQL_DIAG_SERVER_NAME || AField == SQL_DIAG_DYNAMIC_FUNCTION;
    if (!Text)
        return SQLGetDiagField(AType, AHandle, ARec, AField, AInfo, ALen, AOut);
    std::vector<char> Buf(4096);
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLGetDiagField(AType, AHandle, ARec, AField, Buf.data(), static_cast<SQLSMALLINT>(Buf.size()), &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    const std::u16string W = Utf8ToUtf16(Buf.data(), std::strlen(Buf.data()));
    if (AOut)
        *AOut = static_cast<SQLSMALLINT>(W.size() * 2);
    if (AInfo && ALen >= 2) {
        const size_t N = std::min(W.size(), static_cast<size_t>(ALen / 2 - 1));
        std::memcpy(AInfo, W.data(), N * 2);
        static_cast<SQLWCHAR *>(AInfo)[N] = 0;
        if (N < W.size())
            return SQL_SUCCESS_WITH_INFO;
    }
    return Rc;
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC AConn, SQLUSMALLINT AType, SQLPOINTER AValue, SQLSMALLINT ALen, SQLSMALLINT *AOut)
{
    if (!IsStringInfo(AType))
        return SQLGetInfo(AConn, AType, AValue, ALen, AOut);
    std::vector<char> Buf(4096);
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLGetInfo(AConn, AType, Buf.data(), static_cast<SQLSMALLINT>(Buf.size()), &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(std::string(Buf.data()), AValue, ALen, AOut, true, SQL_HANDLE_DBC, AConn));
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC AConn, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER ALen, SQLINTEGER *AOut)
{
    if (AAttr != SQL_ATTR_CURRENT_CATALOG)
        return SQLGetConnectAttr(AConn, AAttr, AValue, ALen, AOut);
    std::vector<char> Buf(4096);
    SQLINTEGER Len = 0;
    const SQLRETURN Rc = SQLGetConnectAttr(AConn, AAttr, Buf.data(), static_cast<SQLINTEGER>(Buf.size()), &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(std::string(Buf.data()), AValue, ALen, AOut, true, SQL_HANDLE_DBC, AConn));
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC AConn, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER ALen)
{
    return SQLSetConnectAttr(AConn, AAttr, AValue, ALen);
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT AStmt, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER ALen, SQLINTEGER *AOut)
{
    return SQLGetStmtAttr(AStmt, AAttr, AValue, ALen, AOut);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT AStmt, SQLINTEGER AAttr, SQLPOINTER AValue, SQLINTEGER ALen)
{
    return SQLSetStmtAttr(AStmt, AAttr, AValue, ALen);
}

SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT AStmt, SQLWCHAR *AName, SQLSMALLINT AMax, SQLSMALLINT *ALen)
{
    SQLCHAR Name[256];
    SQLSMALLINT Len = 0;
    const SQLRETURN Rc = SQLGetCursorName(AStmt, Name, sizeof Name, &Len);
    if (!SQL_SUCCEEDED(Rc))
        return Rc;
    return Worse(Rc, PutW(reinterpret_cast<char *>(Name), AName, AMax, ALen, false, SQL_HANDLE_STMT, AStmt));
}

SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT AStmt, SQLWCHAR *AName, SQLSMALLINT ALen)
{
    const std::string N = W8(AName, ALen);
    return SQLSetCursorName(AStmt, (SQLCHAR *)N.c_str(), SQL_NTS);
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *ATable,
                             SQLSMALLINT ATableLen, SQLWCHAR *ATypes, SQLSMALLINT ATypesLen)
{
    const std::string T = W8(ATable, ATableLen), Y = W8(ATypes, ATypesLen);
    return SQLTables(AStmt, nullptr, 0, nullptr, 0, Narrow(T, ATable), SQL_NTS, Narrow(Y, ATypes), SQL_NTS);
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *ATable,
                              SQLSMALLINT ATableLen, SQLWCHAR *AColumn, SQLSMALLINT AColumnLen)
{
    const std::string T = W8(ATable, ATableLen), C = W8(AColumn, AColumnLen);
    return SQLColumns(AStmt, nullptr, 0, nullptr, 0, Narrow(T, ATable), SQL_NTS, Narrow(C, AColumn), SQL_NTS);
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *ATable,
                                 SQLSMALLINT ATableLen, SQLUSMALLINT AUnique, SQLUSMALLINT AReserved)
{
    const std::string T = W8(ATable, ATableLen);
    return SQLStatistics(AStmt, nullptr, 0, nullptr, 0, Narrow(T, ATable), SQL_NTS, AUnique, AReserved);
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *ATable,
                                  SQLSMALLINT ATableLen)
{
    const std::string T = W8(ATable, ATableLen);
    return SQLPrimaryKeys(AStmt, nullptr, 0, nullptr, 0, Narrow(T, ATable), SQL_NTS);
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT AStmt, SQLUSMALLINT AType, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT,
                                     SQLWCHAR *ATable, SQLSMALLINT ATableLen, SQLUSMALLINT AScope, SQLUSMALLINT ANullable)
{
    const std::string T = W8(ATable, ATableLen);
    return SQLSpecialColumns(AStmt, AType, nullptr, 0, nullptr, 0, Narrow(T, ATable), SQL_NTS, AScope, ANullable);
}

SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *APk,
                                  SQLSMALLINT APkLen, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *AFk,
                                  SQLSMALLINT AFkLen)
{
    const std::string P = W8(APk, APkLen), F = W8(AFk, AFkLen);
    return SQLForeignKeys(AStmt, nullptr, 0, nullptr, 0, Narrow(P, APk), SQL_NTS, nullptr, 0, nullptr, 0, Narrow(F, AFk), SQL_NTS);
}

SQLRETURN SQL_API SQLProceduresW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT)
{
    return SQLProcedures(AStmt, nullptr, 0, nullptr, 0, nullptr, 0);
}

SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT AStmt, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *, SQLSMALLINT, SQLWCHAR *,
                                       SQLSMALLINT, SQLWCHAR *, SQLSMALLINT)
{
    return SQLProcedureColumns(AStmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT AStmt, SQLSMALLINT AType) { return SQLGetTypeInfo(AStmt, AType); }

} // extern "C"
