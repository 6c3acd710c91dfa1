// A plain ODBC connection to a station database through the Access driver,
// for the loops the benchmarks measure the library against.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>

struct TPlainOdbc {
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    explicit TPlainOdbc(const std::string &APath)
    {
        const std::string Cs = "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + APath;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        if (!SQL_SUCCEEDED(SQLDriverConnect(Dbc, nullptr, (SQLCHAR *)Cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT))) {
            Free();
            throw std::runtime_error("plain ODBC cannot connect to " + APath);
        }
    }
    TPlainOdbc(const TPlainOdbc &) = delete;
    TPlainOdbc &operator=(const TPlainOdbc &) = delete;
    ~TPlainOdbc()
    {
        SQLDisconnect(Dbc);
        Free();
    }

private:
    void Free() noexcept
    {
        SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
};
