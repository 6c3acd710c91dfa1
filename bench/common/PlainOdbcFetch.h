// The plain ODBC loop the benchmarks measure the library against: the
// PTS_Data columns fetched column-wise in rowsets of 50 and summed.
#pragma once

#include <sql.h>
#include <sqlext.h>

// Answers the sum of every value (0 when nothing arrived); ARows gets the
// number of rows.
inline double PlainOdbcFetchPtsData(SQLHDBC ADbc, long long &ARows)
{
    constexpr int Rowset = 50;
    SQLHSTMT S;
    SQLAllocHandle(SQL_HANDLE_STMT, ADbc, &S);
    SQLINTEGER Id[Rowset];
    double Pres[Rowset], Temp[Rowset], Psal[Rowset];
    SQLSMALLINT F1[Rowset], F2[Rowset], F3[Rowset];
    SQLLEN Ind[7][Rowset];
    SQLULEN Fetched = 0;
    SQLSetStmtAttr(S, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(S, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(Rowset)), 0);
    SQLSetStmtAttr(S, SQL_ATTR_ROWS_FETCHED_PTR, &Fetched, 0);
    const char *Select = "SELECT ID_Cast, PRES, FPRES, TEMP, FTEMP, PSAL, FPSAL FROM PTS_Data";
    double Sum = 0;
    ARows = 0;
    if (SQL_SUCCEEDED(SQLExecDirect(S, (SQLCHAR *)Select, SQL_NTS))) {
        SQLBindCol(S, 1, SQL_C_SLONG, Id, sizeof(SQLINTEGER), Ind[0]);
        SQLBindCol(S, 2, SQL_C_DOUBLE, Pres, sizeof(double), Ind[1]);
        SQLBindCol(S, 3, SQL_C_SSHORT, F1, sizeof(SQLSMALLINT), Ind[2]);
        SQLBindCol(S, 4, SQL_C_DOUBLE, Temp, sizeof(double), Ind[3]);
        SQLBindCol(S, 5, SQL_C_SSHORT, F2, sizeof(SQLSMALLINT), Ind[4]);
        SQLBindCol(S, 6, SQL_C_DOUBLE, Psal, sizeof(double), Ind[5]);
        SQLBindCol(S, 7, SQL_C_SSHORT, F3, sizeof(SQLSMALLINT), Ind[6]);
        while (SQL_SUCCEEDED(SQLFetch(S))) {
            for (SQLULEN i = 0; i < Fetched; ++i)
                Sum += Id[i] + F1[i] + F2[i] + F3[i] + Pres[i] + Temp[i] + Psal[i];
            ARows += (long long)Fetched;
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    return Sum;
}
