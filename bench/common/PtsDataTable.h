// The PTS_Data-shaped table that the driver and fetch benchmarks read: one
// row per level, 100 levels a cast, written straight into a station-database
// file in the stored forms the driver reads.
#pragma once

#include <sqlite3.h>

#include <string>

// Writes ARows rows into a new file at APath; false when SQLite refuses.
inline bool GeneratePtsDataTable(const std::string &APath, int ARows, int ALevelsPerCast)
{
    sqlite3 *Db = nullptr;
    if (sqlite3_open(APath.c_str(), &Db) != SQLITE_OK) {
        sqlite3_close(Db);
        return false;
    }
    sqlite3_exec(Db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    sqlite3_exec(Db, "CREATE TABLE PTS_Data (ID_Cast LONG, PRES DOUBLE, FPRES SHORT, TEMP DOUBLE, FTEMP SHORT, "
                     "PSAL DOUBLE, FPSAL SHORT, PRIMARY KEY (ID_Cast, PRES))", nullptr, nullptr, nullptr);
    sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *S = nullptr;
    sqlite3_prepare_v2(Db, "INSERT INTO PTS_Data VALUES (?,?,?,?,?,?,?)", -1, &S, nullptr);
    bool Ok = S != nullptr;
    for (int i = 0; Ok && i < ARows; ++i) {
        const int Cast = 1 + i / ALevelsPerCast, Level = i % ALevelsPerCast;
        sqlite3_bind_int(S, 1, Cast);
        sqlite3_bind_double(S, 2, 2.5 * Level);
        sqlite3_bind_int(S, 3, 0);
        sqlite3_bind_double(S, 4, 24.0 - 0.15 * Level + 0.001 * (Cast % 97));
        sqlite3_bind_int(S, 5, Level % 4);
        sqlite3_bind_double(S, 6, 17.5 + 0.02 * Level);
        sqlite3_bind_int(S, 7, 0);
        Ok = sqlite3_step(S) == SQLITE_DONE;
        sqlite3_reset(S);
    }
    sqlite3_finalize(S);
    sqlite3_exec(Db, Ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(Db);
    return Ok;
}
