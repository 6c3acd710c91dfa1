// Checked SQLite statements for the driver's own questions.
#include "platform/accessodbc/DrvQuery.h"

#include "platform/accessodbc/DrvObjects.h"

#include <sqlite3.h>

namespace accessodbc {

void TDrvQuery::Raise(sqlite3 *ADb, int ARc, const char *AWhat)
{
    const int Primary = ARc & 0xFF;
    if (Primary == SQLITE_BUSY || Primary == SQLITE_LOCKED)
        Fail("HY000", -1102, std::string("Could not ") + AWhat +
                                 "; the database is currently locked by another session on this machine.");
    const std::string Msg = ADb ? sqlite3_errmsg(ADb) : sqlite3_errstr(ARc);
    Fail("HY000", -1032, std::string("Could not ") + AWhat + ": " + Msg + ".");
}

TDrvQuery::TDrvQuery(sqlite3 *ADb, const std::string &ASql, const char *AWhat) : FDb(ADb), FWhat(AWhat)
{
    const int Rc = sqlite3_prepare_v2(FDb, ASql.c_str(), static_cast<int>(ASql.size()), &FStmt, nullptr);
    if (Rc != SQLITE_OK || !FStmt) {
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
        Raise(FDb, Rc == SQLITE_OK ? SQLITE_ERROR : Rc, FWhat);
    }
}

TDrvQuery::TDrvQuery(sqlite3 *ADb, sqlite3_stmt *AKept, const char *AWhat)
    : FDb(ADb), FStmt(AKept), FKept(true), FWhat(AWhat)
{
}

TDrvQuery::~TDrvQuery()
{
    if (FKept) {
        sqlite3_reset(FStmt);
        sqlite3_clear_bindings(FStmt);
    } else {
        sqlite3_finalize(FStmt);
    }
}

TDrvQuery &TDrvQuery::Bind(int AIndex, const std::string &AText)
{
    const int Rc = sqlite3_bind_text(FStmt, AIndex, AText.data(), static_cast<int>(AText.size()), SQLITE_TRANSIENT);
    if (Rc != SQLITE_OK)
        Raise(FDb, Rc, FWhat);
    return *this;
}

TDrvQuery &TDrvQuery::Bind(int AIndex, std::int64_t AValue)
{
    const int Rc = sqlite3_bind_int64(FStmt, AIndex, AValue);
    if (Rc != SQLITE_OK)
        Raise(FDb, Rc, FWhat);
    return *this;
}

bool TDrvQuery::Next()
{
    const int Rc = sqlite3_step(FStmt);
    if (Rc == SQLITE_ROW)
        return true;
    if (Rc == SQLITE_DONE)
        return false;
    // The error text belongs to the step; read it before the reset of a kept statement.
    Raise(FDb, Rc, FWhat);
}

bool TDrvQuery::IsNull(int ACol) const { return sqlite3_column_type(FStmt, ACol) == SQLITE_NULL; }

std::string TDrvQuery::Text(int ACol) const
{
    const unsigned char *T = sqlite3_column_text(FStmt, ACol);
    return T ? std::string(reinterpret_cast<const char *>(T), static_cast<size_t>(sqlite3_column_bytes(FStmt, ACol)))
             : std::string();
}

std::int64_t TDrvQuery::Int(int ACol) const { return sqlite3_column_int64(FStmt, ACol); }

} // namespace accessodbc
