// The driver's handle objects (environment, connection, statement), their
// diagnostics and the column/value model shared by the statement, the value
// conversions and the catalog functions. The ODBC entry points (DrvEntry.cpp)
// reach these objects only through the guards of DrvGuard.h.
//
// Statement states (transitions in TDrvStatement):
//   Allocated --Prepare--> Prepared --Execute--> Cursor | Executed | NeedData
//   NeedData --ParamData/PutData...--> Cursor | Executed
//   Prepared --Execute with SQL_ATTR_PARAMSET_SIZE n > 1--> Executed (RunArray:
//     the sets one after another, up to the first that fails)
//   Cursor --Fetch...--> Cursor (rows) --CloseCursor--> Prepared
//   any --Catalog function--> Cursor over a materialised result
#pragma once

#include "platform/accessodbc/JetSqlTranslator.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

static_assert(sizeof(SQLLEN) == 8, "the driver is built for 64-bit SQLLEN");
static_assert(sizeof(SQLULEN) == 8, "the driver is built for 64-bit SQLULEN");
static_assert(sizeof(SQLWCHAR) == 2, "SQL_C_WCHAR data is UTF-16 in two-byte units");

namespace accessodbc {

// An error that ends the current ODBC call; the guard turns it into a diagnostic.
struct TDrvError {
    std::string State;
    int Native;
    std::string Message;
};
[[noreturn]] void Fail(const char *AState, int ANative, const std::string &AMessage);

struct TDiagRecord {
    std::string State;
    int Native = 0;
    std::string Message;
    // The rowset row and the column a record is about (a value a fetch
    // could not convert), else unknown.
    SQLLEN Row = SQL_ROW_NUMBER_UNKNOWN;
    SQLINTEGER Column = SQL_COLUMN_NUMBER_UNKNOWN;
};

enum class TJetType { Unknown, Byte, Short, Long, Counter, Single, Double, Currency, DateTime, YesNo, Text, Memo,
                      Binary, LongBinary };

TJetType JetTypeOfDecl(const char *ADecl, int &ASize);
SQLSMALLINT SqlTypeOf(TJetType AType);
const char *TypeNameOf(TJetType AType);
SQLULEN ColumnSizeOf(TJetType AType, int ASize);
SQLSMALLINT DecimalDigitsOf(TJetType AType);
SQLLEN OctetLengthOf(TJetType AType, int ASize);

struct TColumnInfo {
    std::string Name;
    std::string BaseTable, BaseColumn;
    TJetType Type = TJetType::Unknown;
    int Size = 0;          // declared characters for TEXT, bytes for BINARY
    bool Nullable = true;
    bool AutoUnique = false;
    bool Updatable = false;
};

// A value as it came from SQLite (or from a materialised catalog row).
struct TValue {
    int Kind = 5; // SQLITE_INTEGER 1, SQLITE_FLOAT 2, SQLITE_TEXT 3, SQLITE_BLOB 4, SQLITE_NULL 5
    std::int64_t I = 0;
    double D = 0;
    std::string S;
    static TValue Null() { return {}; }
    static TValue Int(std::int64_t V) { TValue R; R.Kind = 1; R.I = V; return R; }
    static TValue Text(std::string V) { TValue R; R.Kind = 3; R.S = std::move(V); return R; }
};

// Non-owning view used on the fetch path so that bound columns are written
// straight from SQLite's buffers.
struct TValueView {
    int Kind = 5;
    std::int64_t I = 0;
    double D = 0;
    const char *P = nullptr;
    size_t N = 0;
};
TValueView ViewOf(const TValue &V);
TValueView ViewOf(sqlite3_stmt *AStmt, int ACol);
// Into a value of a row kept before, reusing its text's buffer.
void CopyInto(TValue &ADst, const TValueView &V);

// Progress of SQLGetData on one column: the bytes (or UTF-16 units) handed out.
struct TPieceState {
    int Column = -1;
    size_t Offset = 0;
    bool Started = false;
    bool Done = false;
    std::u16string Wide; // the value converted once for SQL_C_WCHAR pieces
    std::string Text;    // the value's text once for SQL_C_CHAR pieces of non-text values
};

class TDrvEnvironment;
class TDrvConnection;
class TDrvStatement;
class TDrvStatementCache;
struct TDrvPlan;

// What SQLite's authorizer reports while a statement is prepared: the
// columns read and the tables read or written.
struct TReadSet {
    std::map<std::string, std::pair<std::string, std::string>> Columns; // upper column -> (table, column)
    std::set<std::string> Tables;
};

class TDrvHandle {
public:
    explicit TDrvHandle(SQLSMALLINT AType) : HandleType(AType) {}
    virtual ~TDrvHandle() = default;
    const SQLSMALLINT HandleType;
    std::vector<TDiagRecord> Diags;
    SQLLEN DiagRowCount = 0;
    void ClearDiags() { Diags.clear(); }
    void AddDiag(const std::string &AState, int ANative, const std::string &AMessage);
};

class TDrvEnvironment : public TDrvHandle {
public:
    TDrvEnvironment() : TDrvHandle(SQL_HANDLE_ENV) {}
    SQLINTEGER OdbcVersion = SQL_OV_ODBC3;
    std::vector<TDrvConnection *> Connections;
};

struct TTableColumn {
    std::string Name;
    std::string Decl;
    TJetType Type = TJetType::Unknown;
    int Size = 0;
    bool NotNull = false;
    int PkIndex = 0; // 1-based position in the primary key, 0 when not in it
    std::string Default;
    bool HasDefault = false;
};

// What TDrvStatement::Prepare computes for every text, kept on the
// connection between statements so that its buffers are reused.
struct TPrepareScratch {
    jet::TJetShape Shape;
    std::string Key;
};

class TDrvConnection : public TDrvHandle {
public:
    explicit TDrvConnection(TDrvEnvironment *AEnv);
    ~TDrvConnection() override;
    TDrvEnvironment *Env;
    sqlite3 *Db = nullptr;
    std::string Path;
    std::string ConnectString;
    // Why writes are refused ("was opened read-only (ReadOnly=1)"), empty when they are not.
    std::string ReadOnlyWhy;
    bool ReadOnly() const { return !ReadOnlyWhy.empty(); }
    // The file was empty (0 bytes) when opened and nothing has been written
    // into it since: it is no station database, and it stays untouched (no
    // journal mode, no file beside it) until a client writes into it (a new
    // database is made that way), when the journal mode is set as for any
    // station database.
    bool EmptyFile = false;
    // Called before a statement that writes runs.
    void BeforeWrite();
    bool AutoCommit = true;
    SQLUINTEGER LoginTimeout = 0;
    SQLUINTEGER Isolation = SQL_TXN_SERIALIZABLE;
    std::int64_t Identity = 0;
    std::vector<TDrvStatement *> Statements;

    void Connect(const std::string &AConnectString);
    void Disconnect();
    void RequireOpen() const;
    void EndTransaction(bool ACommit);
    void SetAutoCommit(bool AOn);
    // Before a statement runs in manual-commit mode: the transaction it joins.
    void BeginIfManual();
    // Statement text through SQLite, for the driver's own bookkeeping.
    void Exec(const std::string &ASql);

    // Columns of a table as declared, or empty when there is no such table.
    std::vector<TTableColumn> TableColumns(const std::string &ATable);
    bool TableExists(const std::string &ATable, std::string *AExactName = nullptr);
    // Makes SQLite read the schema again when the file's schema changed
    // since it last read it (a step of a kept statement checks that), and
    // drops the kept statements prepared for the schema before.
    void RefreshSchema();
    // Statements kept prepared for texts of the same shape (RefreshSchema
    // keeps them true to the file's schema).
    TDrvStatementCache &Plans() { return *FPlans; }
    // A real literal's value exactly as SQLite reads it in a statement text.
    double RealOfLiteral(const std::string &AText);
    // Held by a Prepare while it runs (null then).
    std::unique_ptr<TPrepareScratch> Scratch;

    // The authorizer stays installed for the life of the link (installing
    // one expires every prepared statement of the connection). While
    // Collecting is set it gathers what a prepare reads; while RefuseCompile
    // is set any compilation is refused and noted in CompileRefused: a kept
    // statement that SQLite would compile again because the schema changed
    // then fails before it touches a row.
    TReadSet *Collecting = nullptr;
    bool RefuseCompile = false;
    bool CompileRefused = false;
    // The catalog name the driver reports: the database path without ".mdb".
    std::string CatalogName() const;

private:
    // Every statement prepare asks for the columns of the tables it reads:
    // the two catalog look-ups stay prepared for the life of the link
    // (SQLite prepares them again by itself after a schema change).
    sqlite3_stmt *CatalogStatement(sqlite3_stmt *&ASlot, const char *ASql);
    void FinalizeCatalogStatements();
    void CloseDb();
    void OpenFile(const std::string &APath, bool AReadOnly, bool AImmutable);
    void GuardTextSizes();
    std::recursive_mutex CatalogLock;
    sqlite3_stmt *TableExistsStmt = nullptr;
    sqlite3_stmt *TableInfoStmt = nullptr;
    sqlite3_stmt *SchemaVersionStmt = nullptr;
    sqlite3_stmt *RealStmt = nullptr;
    std::unique_ptr<TDrvStatementCache> FPlans;
    // Columns of the tables described so far, by upper-cased name, good
    // while the file's schema version stays CachedSchemaVersion: every
    // prepared statement asks for the columns of the tables it reads, and a
    // write-back prepares a million statements on the same two tables.
    std::map<std::string, std::vector<TTableColumn>> ColumnCache;
    // Real literals read before: a write-back sends the same few pressures
    // in a million texts, and each reading is a step of an SQLite statement.
    std::unordered_map<std::string, double> RealCache;
    long long CachedSchemaVersion = -1;
    // The schema version at the last RefreshSchema that read the schema.
    long long SeenSchemaVersion = -1;
    // The file's schema version now (-1 when it cannot be read).
    long long SchemaVersionNow();
};

struct TColBinding {
    SQLSMALLINT CType = 0;
    SQLPOINTER Data = nullptr;
    SQLLEN BufferLength = 0;
    SQLLEN *Indicator = nullptr;
    bool Bound() const { return Data != nullptr || Indicator != nullptr; }
};

struct TParamBinding {
    bool Bound = false;
    SQLSMALLINT IoType = SQL_PARAM_INPUT;
    SQLSMALLINT CType = SQL_C_DEFAULT;
    SQLSMALLINT SqlType = SQL_VARCHAR;
    SQLULEN ColumnSize = 0;
    SQLSMALLINT Digits = 0;
    SQLPOINTER Data = nullptr;
    SQLLEN BufferLength = 0;
    SQLLEN *Indicator = nullptr;
    // Data at execution: what SQLPutData delivered.
    bool AtExec = false;
    bool Received = false;
    bool ReceivedNull = false;
    std::string Received8;
};

class TDrvStatement : public TDrvHandle {
public:
    explicit TDrvStatement(TDrvConnection *AConn) : TDrvHandle(SQL_HANDLE_STMT), Conn(AConn) {}
    ~TDrvStatement() override;
    TDrvConnection *Conn;

    // Attributes
    SQLULEN RowArraySize = 1;
    SQLULEN RowBindType = SQL_BIND_BY_COLUMN;
    SQLULEN *RowsFetchedPtr = nullptr;
    SQLUSMALLINT *RowStatusPtr = nullptr;
    SQLLEN *RowBindOffsetPtr = nullptr;
    SQLULEN MaxRows = 0;
    SQLULEN ParamsetSize = 1;
    SQLULEN ParamBindType = SQL_PARAM_BIND_BY_COLUMN;
    SQLULEN *ParamsProcessedPtr = nullptr;
    SQLUSMALLINT *ParamStatusPtr = nullptr;
    SQLLEN *ParamBindOffsetPtr = nullptr;
    SQLULEN QueryTimeout = 0;
    SQLULEN MaxLength = 0;
    SQLULEN RowNumber = 0;
    std::string CursorName;
    // Stand-ins for the four descriptors unixODBC asks for at allocation.
    char DescriptorTags[4] = {};

    // Prepared statement
    bool Prepared = false;
private:
    jet::TJetTranslation OwnTr;
public:
    // The statement's translation: its own, or the kept plan's while it holds
    // one (a copy per statement was most of a kept statement's allocations).
    const jet::TJetTranslation *Tr = &OwnTr;
    std::string JetText; // the text of a kept statement, for a prepare anew after a schema change
    sqlite3_stmt *Stmt = nullptr;
    // The connection's kept statement this one holds (Stmt goes back to
    // Conn->Plans() when the statement is prepared anew or freed), and the
    // values bound for the literals the translation lifted.
    std::shared_ptr<const TDrvPlan> Plan;
    std::uint64_t PlanGeneration = 0;
    // The kept statement the handle held before Stmt, reset (see Prepare).
    std::shared_ptr<const TDrvPlan> SparePlan;
    sqlite3_stmt *SpareStmt = nullptr;
    std::uint64_t SpareGeneration = 0;
    std::vector<TValue> LiftedValues;
    std::vector<TColumnInfo> Columns;
    std::vector<TColBinding> Bindings; // index 0 unused (bookmarks are not offered)
    std::vector<TParamBinding> Params; // index 0 unused

    // Execution state
    bool HasCursor = false;
    bool Materialised = false;
    std::vector<std::vector<TValue>> Rows; // a catalog result
    size_t RowPos = 0;
    bool RowPending = false;  // Stmt holds a stepped row not yet fetched
    bool StepDone = false;
    SQLULEN RowsDelivered = 0;
    SQLLEN RowCount = -1;
    bool NeedData = false;
    int NeedDataParam = 0;
    std::atomic<bool> Executing{false};
    std::atomic<bool> CancelRequested{false};
    // An array of parameter sets is running (RunArray): a cancel between
    // two sets stops it before the next one.
    std::atomic<bool> InArray{false};
    // The parameter set BindParameters reads (0 outside an array).
    SQLULEN ArrayRow = 0;

    // The current rowset: values of the columns that are not bound, per row.
    std::vector<std::vector<TValue>> Rowset;
    SQLULEN RowsetCount = 0;
    SQLULEN CurrentRow = 0;
    TPieceState Piece;

    void Prepare(const std::string &AJetSql);
    SQLRETURN Execute();
    SQLRETURN ExecDirect(const std::string &AJetSql);
    SQLRETURN ParamData(SQLPOINTER *AToken);
    void PutData(SQLPOINTER AData, SQLLEN ALength);
    SQLRETURN Fetch();
    SQLRETURN GetData(SQLUSMALLINT ACol, SQLSMALLINT ACType, SQLPOINTER ABuf, SQLLEN ALen, SQLLEN *AInd);
    void SetPos(SQLSETPOSIROW ARow, SQLUSMALLINT AOp);
    SQLRETURN MoreResults();
    void CloseCursor();
    // Gives the statement up; AWithSpare false keeps the spare (Prepare).
    void Unprepare(bool AWithSpare = true);
    void ResetParams() { Params.clear(); }
    void Unbind() { Bindings.clear(); }
    void Cancel();
    // A catalog function's answer becomes the statement's result.
    void SetResult(std::vector<TColumnInfo> ACols, std::vector<std::vector<TValue>> ARows);
    SQLSMALLINT ColumnCount() const { return static_cast<SQLSMALLINT>(Columns.size()); }
    const TColumnInfo &Column(SQLUSMALLINT ACol) const;

private:
    void PrepareText(const std::string &AJetSql, const jet::TJetShape *AShape);
    bool HoldKept(std::shared_ptr<const TDrvPlan> APlan, sqlite3_stmt *AStmt, const std::string &AJetSql,
                  const jet::TJetShape &AShape);
    bool UseKept(const std::string &AJetSql, const jet::TJetShape &AShape);
    void LiftValues(const jet::TJetShape &AShape);
    void GiveBack(std::shared_ptr<const TDrvPlan> &APlan, sqlite3_stmt *&AStmt, std::uint64_t AGeneration) noexcept;
    void ReleaseStmt() noexcept;
    void ReleaseSpare() noexcept;
    void ParkStmt() noexcept;
    void ResetStmt() noexcept;
    bool Stepped = false; // Stmt was stepped since it was last reset
    void BindParameters();
    SQLRETURN Run();
    // Run for one parameter set, with the processed count and status set.
    SQLRETURN RunOneSet();
    SQLRETURN RunArray();
    void RunSelectInto();
    void AfterStatement();
    int Step();
    [[noreturn]] void SqliteFail(int ARc);
    SQLRETURN WriteRow(SQLULEN ARowIndex, SQLUSMALLINT &AStatus);
};

// Writes a value into an application buffer of the given C type. APiece is
// null for bound columns (each fetch starts afresh) and the column's piece
// state for SQLGetData. AMaxLength (SQL_ATTR_MAX_LENGTH, 0: none) is the
// most bytes a text or binary value has: one longer is handed out cut to it,
// its length AMaxLength, without a truncation warning of its own. Returns
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004 or 01S07 recorded on ADiag) or
// SQL_NO_DATA; conversion errors are thrown.
SQLRETURN PutValue(const TValueView &AValue, const TColumnInfo &ACol, SQLSMALLINT ACType, SQLPOINTER ABuf,
                   SQLLEN ALen, SQLLEN *AInd, TPieceState *APiece, TDrvHandle &ADiag, SQLULEN AMaxLength = 0);
SQLSMALLINT DefaultCType(SQLSMALLINT ASqlType);

// UTF-8 <-> UTF-16 for the W entry points and SQL_C_WCHAR.
std::u16string Utf8ToUtf16(const char *AText, size_t ALen);
std::string Utf16ToUtf8(const SQLWCHAR *AText, SQLLEN ALen); // ALen in characters or SQL_NTS

// Diagnostics text prefix of this driver.
extern const char *const DriverPrefix;

} // namespace accessodbc
