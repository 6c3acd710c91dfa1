// Connection: the Access connect string, opening the station database file,
// transactions, and the schema questions the statements and catalog ask.
#include "platform/accessodbc/DrvObjects.h"

#include "platform/accessodbc/JetFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace accessodbc {

namespace {

std::string Upper(std::string S) { return jet::UpperAscii(std::move(S)); }

// KEY=value;KEY={value with ; inside};...
std::map<std::string, std::string> ParseConnectString(const std::string &S)
{
    std::map<std::string, std::string> R;
    size_t P = 0;
    while (P < S.size()) {
        const size_t Eq = S.find('=', P);
        if (Eq == std::string::npos)
            break;
        std::string Key = S.substr(P, Eq - P);
        Key.erase(0, Key.find_first_not_of(" \t"));
        Key.erase(Key.find_last_not_of(" \t") + 1);
        size_t V = Eq + 1;
        std::string Value;
        if (V < S.size() && S[V] == '{') {
            const size_t E = S.find('}', V + 1);
            Value = S.substr(V + 1, (E == std::string::npos ? S.size() : E) - V - 1);
            P = E == std::string::npos ? S.size() : E + 1;
            const size_t Semi = S.find(';', P);
            P = Semi == std::string::npos ? S.size() : Semi + 1;
        } else {
            const size_t Semi = S.find(';', V);
            Value = S.substr(V, (Semi == std::string::npos ? S.size() : Semi) - V);
            P = Semi == std::string::npos ? S.size() : Semi + 1;
        }
        R[Upper(Key)] = Value;
    }
    return R;
}

} // namespace

TDrvConnection::~TDrvConnection()
{
    CloseDb();
}

void TDrvConnection::FinalizeCatalogStatements()
{
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    sqlite3_finalize(TableExistsStmt);
    sqlite3_finalize(TableInfoStmt);
    sqlite3_finalize(SchemaVersionStmt);
    TableExistsStmt = nullptr;
    TableInfoStmt = nullptr;
    SchemaVersionStmt = nullptr;
    ColumnCache.clear();
    CachedSchemaVersion = -1;
    SeenSchemaVersion = -1;
}

void TDrvConnection::CloseDb()
{
    FinalizeCatalogStatements();
    if (Db)
        sqlite3_close_v2(Db);
    Db = nullptr;
}

namespace {

// A kept statement is handed back reset and unbound on every way out.
struct TResetOnExit {
    sqlite3_stmt *S;
    ~TResetOnExit()
    {
        sqlite3_reset(S);
        sqlite3_clear_bindings(S);
    }
};

} // namespace

sqlite3_stmt *TDrvConnection::CatalogStatement(sqlite3_stmt *&ASlot, const char *ASql)
{
    if (!ASlot) {
        const int Rc = sqlite3_prepare_v3(Db, ASql, -1, SQLITE_PREPARE_PERSISTENT, &ASlot, nullptr);
        if (Rc != SQLITE_OK) {
            sqlite3_finalize(ASlot);
            ASlot = nullptr;
            Fail("HY000", -1032, std::string("Could not read the database's catalog: ") + sqlite3_errmsg(Db) + ".");
        }
    }
    return ASlot;
}

void TDrvConnection::RequireOpen() const
{
    if (!Db)
        Fail("08003", 0, "Connection not open.");
}

void TDrvConnection::Connect(const std::string &AConnectString)
{
    if (Db)
        Fail("08002", 0, "Connection name in use: the connection is already open.");
    const auto Keys = ParseConnectString(AConnectString);
    auto Find = [&](const char *K) -> std::string {
        const auto It = Keys.find(K);
        return It == Keys.end() ? std::string() : It->second;
    };
    std::string Path = Find("DBQ");
    if (Path.empty())
        Path = Find("DATABASE");
    if (Path.empty())
        Fail("IM007", -1811, "No database file was named: the connect string needs DBQ=<path of the station database>.");
    const std::string Ro = Upper(Find("READONLY"));
    ReadOnly = Ro == "1" || Ro == "TRUE" || Ro == "YES";

    struct stat St{};
    if (::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode))
        Fail("HY000", -1811, "Could not find file '" + Path + "'.");
    {
        std::ifstream In(Path, std::ios::binary);
        char Head[32] = {};
        In.read(Head, sizeof Head);
        const std::streamsize Got = In.gcount();
        if (Got >= 19 && (std::memcmp(Head + 4, "Standard Jet DB", 15) == 0 ||
                          std::memcmp(Head + 4, "Standard ACE DB", 15) == 0))
            Fail("HY000", -1206,
                 "The file '" + Path + "' is a Microsoft Access (Jet) database file. This driver keeps station "
                 "databases in SQLite 3 files and cannot open Jet files; convert the database first.");
        // An empty file is a new, empty station database.
        if (Got > 0 && (Got < 16 || std::memcmp(Head, "SQLite format 3", 16) != 0))
            Fail("HY000", -1206, "Unrecognized database format '" + Path + "': the file is no station database (SQLite 3).");
    }
    sqlite3 *D = nullptr;
    const int Flags = (ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
    int Rc = sqlite3_open_v2(Path.c_str(), &D, Flags, nullptr);
    if (Rc != SQLITE_OK) {
        const std::string Msg = D ? sqlite3_errmsg(D) : sqlite3_errstr(Rc);
        sqlite3_close_v2(D);
        Fail("HY000", -1032, "Could not open the database '" + Path + "': " + Msg + ".");
    }
    Db = D;
    this->Path = Path;
    ConnectString = AConnectString;
    sqlite3_extended_result_codes(Db, 0);
    // Another process writing the file holds its lock for a moment only.
    sqlite3_busy_timeout(Db, LoginTimeout ? static_cast<int>(LoginTimeout) * 1000 : 5000);
    jet::RegisterJetFunctions(Db, &Identity);
    try {
        if (!ReadOnly) {
            // WAL with synchronous=NORMAL: a commit appends to the log without a
            // disk flush, so an UPDATE in autocommit costs no fsync.
            Exec("PRAGMA journal_mode=WAL");
            Exec("PRAGMA synchronous=NORMAL");
        }
        // Reading the schema proves the file is a readable database.
        Exec("SELECT count(*) FROM sqlite_master");
    } catch (const TDrvError &E) {
        CloseDb();
        Fail("HY000", -1206, "Unrecognized database format '" + Path + "': " + E.Message);
    }
}

void TDrvConnection::Disconnect()
{
    for (TDrvStatement *S : Statements)
        S->Unprepare();
    if (Db) {
        if (!sqlite3_get_autocommit(Db))
            sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
        CloseDb();
    }
}

void TDrvConnection::Exec(const std::string &ASql)
{
    char *Err = nullptr;
    if (sqlite3_exec(Db, ASql.c_str(), nullptr, nullptr, &Err) != SQLITE_OK) {
        const std::string Msg = Err ? Err : "unknown error";
        sqlite3_free(Err);
        Fail("HY000", -1, Msg);
    }
}

void TDrvConnection::BeginIfManual()
{
    if (!AutoCommit && sqlite3_get_autocommit(Db))
        Exec("BEGIN");
}

void TDrvConnection::EndTransaction(bool ACommit)
{
    if (!Db || sqlite3_get_autocommit(Db))
        return;
    if (!ACommit) {
        // A rollback closes the cursors of the connection (SQL_CB_CLOSE).
        for (TDrvStatement *S : Statements)
            if (S->HasCursor)
                S->CloseCursor();
    }
    char *Err = nullptr;
    if (sqlite3_exec(Db, ACommit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, &Err) != SQLITE_OK) {
        const std::string Msg = Err ? Err : "unknown error";
        sqlite3_free(Err);
        Fail(ACommit ? "40001" : "HY000", -1102, std::string(ACommit ? "Commit" : "Rollback") + " failed: " + Msg);
    }
}

void TDrvConnection::SetAutoCommit(bool AOn)
{
    // Switching autocommit on commits the open transaction, as ODBC requires.
    if (AOn && !AutoCommit)
        EndTransaction(true);
    AutoCommit = AOn;
}

std::string TDrvConnection::CatalogName() const
{
    std::string P = Path;
    if (P.size() > 4) {
        std::string E = Upper(P.substr(P.size() - 4));
        if (E == ".MDB")
            P.resize(P.size() - 4);
    }
    return P;
}

bool TDrvConnection::TableExists(const std::string &ATable, std::string *AExactName)
{
    RequireOpen();
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    sqlite3_stmt *S = CatalogStatement(
        TableExistsStmt, "SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE");
    TResetOnExit Reset{S};
    sqlite3_bind_text(S, 1, ATable.c_str(), -1, SQLITE_TRANSIENT);
    const bool Found = sqlite3_step(S) == SQLITE_ROW;
    if (Found && AExactName)
        *AExactName = reinterpret_cast<const char *>(sqlite3_column_text(S, 0));
    return Found;
}

long long TDrvConnection::SchemaVersionNow()
{
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    sqlite3_stmt *V = CatalogStatement(SchemaVersionStmt, "PRAGMA schema_version");
    TResetOnExit Reset{V};
    return sqlite3_step(V) == SQLITE_ROW ? sqlite3_column_int64(V, 0) : -1;
}

void TDrvConnection::RefreshSchema()
{
    // Reading the schema table makes SQLite load the schema again when it
    // changed; while the version stays the one last seen there is nothing
    // new to load, and the version costs far less to read.
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    const long long Version = SchemaVersionNow();
    if (Version >= 0 && Version == SeenSchemaVersion)
        return;
    TableExists(std::string());
    SeenSchemaVersion = Version;
}

std::vector<TTableColumn> TDrvConnection::TableColumns(const std::string &ATable)
{
    RequireOpen();
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    // The schema version changes with every change of the schema, by this
    // connection or another one, so a description is reused only while the
    // file's tables are what they were when it was read.
    const long long Version = SchemaVersionNow();
    if (Version != CachedSchemaVersion || Version < 0) {
        ColumnCache.clear();
        CachedSchemaVersion = Version;
    }
    const std::string Key = Upper(ATable);
    if (const auto It = ColumnCache.find(Key); It != ColumnCache.end())
        return It->second;
    std::vector<TTableColumn> R;
    std::string Exact;
    if (!TableExists(ATable, &Exact))
        return ColumnCache[Key] = R;
    sqlite3_stmt *S =
        CatalogStatement(TableInfoStmt, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1)");
    TResetOnExit Reset{S};
    sqlite3_bind_text(S, 1, Exact.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(S) == SQLITE_ROW) {
        TTableColumn C;
        C.Name = reinterpret_cast<const char *>(sqlite3_column_text(S, 0));
        const unsigned char *T = sqlite3_column_text(S, 1);
        C.Decl = T ? reinterpret_cast<const char *>(T) : "";
        C.Type = JetTypeOfDecl(C.Decl.c_str(), C.Size);
        C.NotNull = sqlite3_column_int(S, 2) != 0;
        if (sqlite3_column_type(S, 3) != SQLITE_NULL) {
            C.HasDefault = true;
            C.Default = reinterpret_cast<const char *>(sqlite3_column_text(S, 3));
        }
        C.PkIndex = sqlite3_column_int(S, 4);
        R.push_back(C);
    }
    return ColumnCache[Key] = R;
}

} // namespace accessodbc
