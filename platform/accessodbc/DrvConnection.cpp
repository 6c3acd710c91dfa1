// Connection: the Access connect string, opening the station database file,
// transactions, and the schema questions the statements and catalog ask.
#include "platform/accessodbc/DrvObjects.h"

#include "platform/accessodbc/DrvQuery.h"
#include "platform/accessodbc/DrvStatementCache.h"
#include "platform/accessodbc/JetFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace accessodbc {

namespace {

std::string Upper(std::string S) { return jet::UpperAscii(std::move(S)); }

const char *const CatalogWhat = "read the database's catalog";

std::string SqlText(const std::string &S)
{
    std::string R = "'";
    for (const char C : S) {
        R += C;
        if (C == '\'')
            R += '\'';
    }
    return R + "'";
}

std::string FolderOf(const std::string &APath)
{
    const size_t Slash = APath.find_last_of('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : APath.substr(0, Slash);
}

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
            // A '}' inside braces is written twice.
            size_t E = V + 1;
            while (E < S.size()) {
                if (S[E] == '}') {
                    if (E + 1 < S.size() && S[E + 1] == '}') {
                        Value += '}';
                        E += 2;
                        continue;
                    }
                    break;
                }
                Value += S[E++];
            }
            P = E >= S.size() ? S.size() : E + 1;
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

// A program sends a few dozen statement shapes over and over (a row's
// update, a station's profile, a cruise's stations); 64 holds them all with
// room to spare, and a text built anew each time cannot crowd out more.
constexpr size_t KeptStatements = 64;

TDrvConnection::TDrvConnection(TDrvEnvironment *AEnv)
    : TDrvHandle(SQL_HANDLE_DBC), Env(AEnv), FPlans(std::make_unique<TDrvStatementCache>(KeptStatements))
{
}

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
    sqlite3_finalize(RealStmt);
    RealStmt = nullptr;
    FPlans->Invalidate();
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

sqlite3_stmt *TDrvConnection::CatalogStatement(sqlite3_stmt *&ASlot, const char *ASql)
{
    if (!ASlot) {
        const int Rc = sqlite3_prepare_v3(Db, ASql, -1, SQLITE_PREPARE_PERSISTENT, &ASlot, nullptr);
        if (Rc != SQLITE_OK) {
            sqlite3_finalize(ASlot);
            ASlot = nullptr;
            TDrvQuery::Raise(Db, Rc, CatalogWhat);
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
    const bool AskedReadOnly = Ro == "1" || Ro == "TRUE" || Ro == "YES";

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
        // An empty file holds no station database; a client may make one
        // in it by writing (see EmptyFile).
        EmptyFile = Got == 0;
        if (Got > 0 && (Got < 16 || std::memcmp(Head, "SQLite format 3", 16) != 0))
            Fail("HY000", -1206, "Unrecognized database format '" + Path + "': the file is no station database (SQLite 3).");
    }
    // A file that cannot be written (ReadOnly=1, a read-only file, folder or
    // mount) is opened read-only: no journal-mode switch, nothing created
    // beside it, and a write is refused saying why. A file that nobody may
    // write is marked read-only, as an archived or shared copy is: that
    // mark holds for every user, the administrator too.
    ReadOnlyWhy.clear();
    if (AskedReadOnly)
        ReadOnlyWhy = "was opened read-only (ReadOnly=1)";
    else if (::access(Path.c_str(), W_OK) != 0 || ::access(FolderOf(Path).c_str(), W_OK) != 0)
        ReadOnlyWhy = "is in a file or folder that cannot be written";
    else if ((St.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        ReadOnlyWhy = "is marked read-only";
    const bool OpenReadOnly = !ReadOnlyWhy.empty();
    try {
        OpenFile(Path, OpenReadOnly, false);
        try {
            // Reading the schema proves the file is a readable database.
            Exec("SELECT count(*) FROM sqlite_master");
        } catch (const TDrvError &) {
            // A WAL file in a folder where the shared-memory index cannot be
            // made: nobody can be writing it there, so read it as it stands.
            // A lock held by another session or a damaged file is no such case.
            const int Code = sqlite3_errcode(Db) & 0xFF;
            if (!OpenReadOnly || ::access(FolderOf(Path).c_str(), W_OK) == 0 || Code == SQLITE_BUSY ||
                Code == SQLITE_LOCKED || Code == SQLITE_NOTADB || Code == SQLITE_CORRUPT)
                throw;
            CloseDb();
            OpenFile(Path, true, true);
            Exec("SELECT count(*) FROM sqlite_master");
        }
        // SQLite itself falls back to reading a file it cannot write.
        if (!OpenReadOnly && sqlite3_db_readonly(Db, "main") == 1)
            ReadOnlyWhy = "cannot be written";
        if (ReadOnlyWhy.empty() && !EmptyFile) {
            // WAL with synchronous=NORMAL: a commit appends to the log without a
            // disk flush, so an UPDATE in autocommit costs no fsync.
            Exec("PRAGMA journal_mode=WAL");
            Exec("PRAGMA synchronous=NORMAL");
            GuardTextSizes();
        }
    } catch (const TDrvError &E) {
        if (!Db)
            throw; // the file could not be opened at all; OpenFile said why
        // Only a file SQLite cannot read as a database has an unrecognized
        // format; a locked or unreadable one is said to be so.
        const int Code = sqlite3_errcode(Db) & 0xFF;
        CloseDb();
        if (Code == SQLITE_BUSY || Code == SQLITE_LOCKED)
            Fail("HY000", -1032, "Could not use '" + Path + "'; file already in use.");
        if (Code == SQLITE_NOTADB || Code == SQLITE_CORRUPT)
            Fail("HY000", -1206, "Unrecognized database format '" + Path + "': " + E.Message);
        Fail("HY000", -1032, "Could not open the database '" + Path + "': " + E.Message);
    }
    this->Path = Path;
    ConnectString = AConnectString;
}

void TDrvConnection::BeforeWrite()
{
    // Switching the journal mode needs no transaction open; one opened by
    // the client keeps the file in the rollback journal until it reconnects.
    if (!EmptyFile)
        return;
    EmptyFile = false;
    if (!Db || !sqlite3_get_autocommit(Db))
        return;
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
}

namespace {

int Authorizer(void *AUser, int ACode, const char *A1, const char *A2, const char *, const char *)
{
    auto *C = static_cast<TDrvConnection *>(AUser);
    if (C->RefuseCompile) {
        C->CompileRefused = true;
        return SQLITE_DENY;
    }
    TReadSet *R = C->Collecting;
    if (!R)
        return SQLITE_OK;
    if (ACode == SQLITE_READ && A1 && A2)
        R->Columns.emplace(Upper(A2), std::make_pair(std::string(A1), std::string(A2)));
    if ((ACode == SQLITE_READ || ACode == SQLITE_UPDATE || ACode == SQLITE_INSERT || ACode == SQLITE_DELETE) && A1 &&
        std::strncmp(A1, "sqlite_", 7) != 0)
        R->Tables.insert(A1);
    return SQLITE_OK;
}

} // namespace

void TDrvConnection::OpenFile(const std::string &APath, bool AReadOnly, bool AImmutable)
{
    // An empty authority, so that a path beginning with "//" stays a path.
    std::string Uri = !APath.empty() && APath[0] == '/' ? "file://" : "file:";
    for (const char C : APath) {
        if (C == '%' || C == '?' || C == '#') {
            char Buf[4];
            std::snprintf(Buf, sizeof Buf, "%%%02X", static_cast<unsigned char>(C));
            Uri += Buf;
        } else {
            Uri += C;
        }
    }
    Uri += AReadOnly ? "?mode=ro" : "?mode=rw";
    if (AImmutable)
        Uri += "&immutable=1";
    sqlite3 *D = nullptr;
    // No mutex of SQLite's own on the link: the driver manager (Threading = 2)
    // lets one call at a time into a connection and its statements, and the
    // one call it lets through beside them, SQLCancel, only interrupts, which
    // SQLite allows from any thread. A locked mutex per column read was a
    // tenth of a fetch.
    const int Flags = (AReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
    const int Rc = sqlite3_open_v2(Uri.c_str(), &D, Flags, nullptr);
    if (Rc != SQLITE_OK) {
        const std::string Msg = D ? sqlite3_errmsg(D) : sqlite3_errstr(Rc);
        sqlite3_close_v2(D);
        Fail("HY000", -1032, "Could not open the database '" + APath + "': " + Msg + ".");
    }
    Db = D;
    sqlite3_extended_result_codes(Db, 0);
    // A name in double quotes is a name: a misspelt [column] must not turn
    // into a text value.
    sqlite3_db_config(Db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    // Another process writing the file holds its lock for a moment only.
    sqlite3_busy_timeout(Db, LoginTimeout ? static_cast<int>(LoginTimeout) * 1000 : 5000);
    // A station database runs to hundreds of megabytes and a check reads it
    // station by station through the ID_Cast index: with SQLite's 2 MB page
    // cache every station's pages come back through a read call and a copy.
    // Mapped reads and a larger cache keep them at hand; writes still go
    // through the journal as before.
    sqlite3_exec(Db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    sqlite3_exec(Db, "PRAGMA mmap_size=1073741824", nullptr, nullptr, nullptr);
    jet::RegisterJetFunctions(Db, &Identity);
    sqlite3_set_authorizer(Db, Authorizer, this);
}

// Jet refuses a text longer than its field in every table. Tables the driver
// creates carry that as a CHECK; for text columns of tables written by other
// tools the connection adds the same rule as temporary triggers, which live
// with the connection and leave the file untouched.
void TDrvConnection::GuardTextSizes()
{
    struct TGuard {
        std::string Table, Column;
        int Size;
    };
    std::vector<TGuard> Guards;
    {
        TDrvQuery Q(Db, "SELECT m.name, m.sql, c.name, c.type FROM sqlite_master m, pragma_table_info(m.name) c "
                        "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                    CatalogWhat);
        while (Q.Next()) {
            int Size = 0;
            const std::string Decl = Q.Text(3);
            if (JetTypeOfDecl(Decl.c_str(), Size) != TJetType::Text || Size <= 0)
                continue;
            const std::string Column = Q.Text(2);
            if (Q.Text(1).find(jet::QuoteSqliteName(Column + "$size")) != std::string::npos)
                continue;
            Guards.push_back({Q.Text(0), Column, Size});
        }
    }
    for (const auto &G : Guards) {
        const std::string Col = jet::QuoteSqliteName(G.Column);
        const std::string Body = " ON main." + jet::QuoteSqliteName(G.Table) + " FOR EACH ROW WHEN length(NEW." + Col +
                                 ") > " + std::to_string(G.Size) + " BEGIN SELECT RAISE(ABORT, " +
                                 SqlText("CHECK constraint failed: " + G.Column + "$size") + "); END";
        const std::string Name = G.Table + "$" + G.Column + "$size";
        Exec("CREATE TEMP TRIGGER IF NOT EXISTS " + jet::QuoteSqliteName(Name + "$ins") + " BEFORE INSERT" + Body);
        Exec("CREATE TEMP TRIGGER IF NOT EXISTS " + jet::QuoteSqliteName(Name + "$upd") + " BEFORE UPDATE OF " + Col + Body);
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
    // A rolled back CREATE or ALTER takes the schema version back to a
    // number the kept statements may next meet with another schema.
    if (!ACommit) {
        try {
            RefreshSchema();
        } catch (const TDrvError &) {
            FPlans->Invalidate();
        }
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
    TDrvQuery Q(Db, S, CatalogWhat);
    Q.Bind(1, ATable);
    const bool Found = Q.Next();
    if (Found && AExactName)
        *AExactName = Q.Text(0);
    return Found;
}

long long TDrvConnection::SchemaVersionNow()
{
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    TDrvQuery Q(Db, CatalogStatement(SchemaVersionStmt, "PRAGMA schema_version"), CatalogWhat);
    return Q.Next() ? Q.Int(0) : -1;
}

void TDrvConnection::RefreshSchema()
{
    // Reading the schema table makes SQLite load the schema again when it
    // changed; while the version stays the one last seen there is nothing
    // new to load, and the version costs far less to read.
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    const long long Version = SchemaVersionNow();
    FPlans->CheckSchemaVersion(Version);
    if (Version >= 0 && Version == SeenSchemaVersion)
        return;
    TableExists(std::string());
    SeenSchemaVersion = Version;
}

double TDrvConnection::RealOfLiteral(const std::string &AText)
{
    // SQLite's own reading of the digits: a value bound in a literal's place
    // must be the very double the literal gave, to the last bit, or an
    // equality on a REAL column would miss.
    if (const auto It = RealCache.find(AText); It != RealCache.end())
        return It->second;
    std::lock_guard<std::recursive_mutex> G(CatalogLock);
    sqlite3_stmt *S = CatalogStatement(RealStmt, "SELECT CAST(?1 AS REAL)");
    sqlite3_bind_text(S, 1, AText.data(), static_cast<int>(AText.size()), SQLITE_STATIC);
    const int Rc = sqlite3_step(S);
    const double V = Rc == SQLITE_ROW ? sqlite3_column_double(S, 0) : 0.0;
    sqlite3_reset(S);
    sqlite3_clear_bindings(S);
    if (Rc != SQLITE_ROW)
        TDrvQuery::Raise(Db, Rc, CatalogWhat);
    // Bounded: a program that writes ever new values must not grow it without end.
    if (RealCache.size() >= 4096)
        RealCache.clear();
    RealCache.emplace(AText, V);
    return V;
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
    TDrvQuery Q(Db, S, CatalogWhat);
    Q.Bind(1, Exact);
    while (Q.Next()) {
        TTableColumn C;
        C.Name = Q.Text(0);
        C.Decl = Q.Text(1);
        C.Type = JetTypeOfDecl(C.Decl.c_str(), C.Size);
        C.NotNull = Q.Int(2) != 0;
        if (!Q.IsNull(3)) {
            C.HasDefault = true;
            C.Default = Q.Text(3);
        }
        C.PkIndex = static_cast<int>(Q.Int(4));
        R.push_back(C);
    }
    return ColumnCache[Key] = R;
}

} // namespace accessodbc
