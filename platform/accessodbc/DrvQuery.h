// The one way the driver's own catalog, identity and bookkeeping code asks
// SQLite something: every prepare, bind and step is checked, so a busy or
// damaged file ends the ODBC call with an error instead of a short answer.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace accessodbc {

class TDrvQuery {
public:
    // Prepares ASql; AWhat names the question in an error ("read the catalog").
    TDrvQuery(sqlite3 *ADb, const std::string &ASql, const char *AWhat);
    // Runs a statement the connection keeps prepared; it is handed back reset
    // and unbound on every way out.
    TDrvQuery(sqlite3 *ADb, sqlite3_stmt *AKept, const char *AWhat);
    ~TDrvQuery();
    TDrvQuery(const TDrvQuery &) = delete;
    TDrvQuery &operator=(const TDrvQuery &) = delete;

    TDrvQuery &Bind(int AIndex, const std::string &AText);
    TDrvQuery &Bind(int AIndex, std::int64_t AValue);
    // True with a row, false at the end; any other outcome fails the call.
    bool Next();
    bool IsNull(int ACol) const;
    std::string Text(int ACol) const;
    std::int64_t Int(int ACol) const;

    // The error of a failed SQLite call, as the driver reports it.
    [[noreturn]] static void Raise(sqlite3 *ADb, int ARc, const char *AWhat);

private:
    sqlite3 *FDb;
    sqlite3_stmt *FStmt = nullptr;
    bool FKept = false;
    const char *FWhat;
};

} // namespace accessodbc
