// The local table engine underneath TSession, TTable, TQuery and TBatchMove.
//
// All tables of one work folder live in one SQLite database in that folder
// (LocalDbFileName), opened once per process and shared by every component
// that names the folder. A table's name is its Paradox file name without
// ".db"; SQLite matches table names without regard to ASCII letter case, as
// the Paradox engine matched file names. A table of another folder is reached
// by attaching that folder's database under a schema name of its own.
//
// A folder that holds the installation definitions (LocalDbDefinitionFile)
// gets every table defined there that its database lacks, with its rows,
// when the database is first opened.
//
// Column types are stored as declared types that keep SQLite's affinity
// right (VARCHAR(n) is text, INTEGER and SMALLINT integers, DOUBLE real;
// BOOLEAN, DATE, TIME and TIMESTAMP hold numbers: 0/1 and day counts).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/DB.h"
#include "platform/rtl/Variant.h"

struct sqlite3;
struct sqlite3_stmt;
class TFieldDefs;

inline constexpr const char *LocalDbFileName = "worktables.sqlite3";
inline constexpr const char *LocalDbDefinitionFile = "worktables.def";

// One stored value as the engine hands it over.
struct TLocalValue {
    enum TKind : uint8_t { lvNull, lvInteger, lvReal, lvText, lvBlob };
    TKind Kind = lvNull;
    int64_t I = 0;
    double D = 0;
    std::string S;

    static TLocalValue Null() { return {}; }
    static TLocalValue Integer(int64_t V) { TLocalValue R; R.Kind = lvInteger; R.I = V; return R; }
    static TLocalValue Real(double V) { TLocalValue R; R.Kind = lvReal; R.D = V; return R; }
    static TLocalValue Text(std::string V) { TLocalValue R; R.Kind = lvText; R.S = std::move(V); return R; }
    bool IsNull() const { return Kind == lvNull; }
    double AsDouble() const;
    int64_t AsInt64() const;
    std::string AsText() const;
};

using TLocalRow = std::vector<TLocalValue>;

// The engine's error; its text is what the Paradox engine would report
// where the program shows it ("Key violation.", "Table does not exist.").
class ELocalDbError : public EDatabaseError {
public:
    ELocalDbError(const std::string &AMessage, int ACode = 0) : EDatabaseError(AMessage), Code(ACode) {}
    int Code;
};

inline constexpr const char *SKeyViolation = "Key violation.";
inline constexpr const char *STableNotFound = "Table does not exist.";

// A prepared statement; finalized on destruction.
class TLocalStatement {
public:
    TLocalStatement() = default;
    TLocalStatement(sqlite3 *ADb, const std::string &ASql);
    ~TLocalStatement();
    TLocalStatement(TLocalStatement &&AOther) noexcept;
    TLocalStatement &operator=(TLocalStatement &&AOther) noexcept;
    TLocalStatement(const TLocalStatement &) = delete;
    TLocalStatement &operator=(const TLocalStatement &) = delete;

    bool Valid() const { return FStmt != nullptr; }
    void Reset();
    void Bind(int AIndex, const TLocalValue &AValue);
    void BindNull(int AIndex);
    void BindInt(int AIndex, int64_t AValue);
    void BindDouble(int AIndex, double AValue);
    void BindText(int AIndex, const std::string &AValue);
    // Steps once: true while a row is available.
    bool Step();
    // Steps to the end of a statement without rows.
    void Execute();
    int ColumnCount() const;
    std::string ColumnName(int AIndex) const;
    std::string ColumnDeclType(int AIndex) const;
    TLocalValue Column(int AIndex) const;
    // The same into a value kept by the caller (its text storage reused).
    void ReadColumn(int AIndex, TLocalValue &AValue) const;
    // A column as a number, as a value's AsInt64 and AsDouble read it, with
    // no value made between (a reader of many rows of numbers); false, and
    // 0, for NULL.
    bool ColumnInt64(int AIndex, int64_t &AValue) const;
    bool ColumnDouble(int AIndex, double &AValue) const;
    sqlite3_stmt *Handle() const { return FStmt; }

private:
    [[noreturn]] void Fail(int ARc) const;
    sqlite3 *FDb = nullptr;
    sqlite3_stmt *FStmt = nullptr;
};

struct TLocalColumn {
    std::string Name;
    std::string DeclType;
    bool NotNull = false;
    std::string Default;
};

struct TLocalIndex {
    std::string Name;   // the Paradox index name ("" for the primary index)
    std::string Fields; // "A;B"
    TIndexOptions Options = 0;
};

// One work folder's database.
class TLocalDatabase {
public:
    explicit TLocalDatabase(const std::string &AFolder);
    ~TLocalDatabase();
    TLocalDatabase(const TLocalDatabase &) = delete;
    TLocalDatabase &operator=(const TLocalDatabase &) = delete;

    // The shared database of a folder (created on first use).
    static TLocalDatabase &ForFolder(const std::string &AFolder);
    // Closes every open database (the session's close).
    static void CloseAll();

    const std::string &Folder() const { return FFolder; }
    sqlite3 *Handle() const { return FDb; }
    void Exec(const std::string &ASql);
    // One statement run as Exec runs it, kept prepared for the next time the
    // same text comes (merges run per station with the same text).
    void ExecPrepared(const std::string &ASql);

    // A statement prepared once per text and kept while the database is
    // open; the lease resets it when it ends, so that no read stays open.
    // Counts the engine's own statements that may change tables beside
    // their rows (DDL, transaction ends, merges); with SQLite's count of
    // changed rows it tells a component that nothing moved since it looked.
    uint64_t Generation() const { return FGeneration; }
    // Rows inserted, updated or deleted through this database since it was
    // opened (SQLite's count; what a benchmark counts as local writes).
    int64_t TotalChanges() const;
    void Touch() { ++FGeneration; }

    class TLease {
    public:
        TLease(TLocalDatabase &ADb, const std::string &ASql);
        ~TLease();
        TLease(const TLease &) = delete;
        TLease &operator=(const TLease &) = delete;
        TLocalStatement &operator*() const { return *FStmt; }
        TLocalStatement *operator->() const { return FStmt; }

    private:
        TLocalDatabase &FDb;
        TLocalStatement *FStmt;
    };

    // Resolves a table name as the program writes it (case, ".db", a folder)
    // into the SQL that names it here: "name" or "schema"."name". AExists
    // tells whether the table is there; the name then carries its stored
    // spelling.
    //
    // What these learn of a table (its stored name, columns and indexes) is
    // kept until the schema of a database of this connection changes (its
    // schema cookie moves: DDL here or by any other connection) or this
    // connection rolls back; every call outside a TSchemaPin compares the
    // cookies first.
    std::string ResolveTable(const std::string &AName, bool *AExists = nullptr,
                             std::string *AStoredName = nullptr);
    bool TableExists(const std::string &AName);
    std::vector<TLocalColumn> Columns(const std::string &AName);
    std::vector<TLocalIndex> Indexes(const std::string &AName);

    // Creates a table afresh from field definitions (an existing one of the
    // same name is dropped first).
    void CreateTable(const std::string &AName, const TFieldDefs &ADefs);
    void DropTable(const std::string &AName);
    // Adds a column at the end of an existing table: its rows take no value
    // there. Tables stored before a column was known get it so.
    void AddColumn(const std::string &ATable, const std::string &AName, rtl::TFieldType AType, int ASize = 0);
    void AddIndex(const std::string &ATable, const std::string &AIndexName,
                  const std::string &AFields, TIndexOptions AOptions);

    // Transactions nest: only the outermost begins and commits; a rollback
    // at any depth undoes the whole unit.
    void BeginTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return FTxDepth > 0; }

    // Reads the installation definitions file and creates what is missing.
    void InstallDefinitions(const std::string &APath);

    // Reads the schema cookies; when they moved since what is kept of the
    // tables was learnt, forgets it and answers false. Inside an open read
    // (a statement that has stepped to a row) it tells whether what that
    // statement was built from still holds for the rows it reads.
    bool SchemaUnchanged();
    // Forgets what is kept of the tables.
    void ForgetTables();

    // While a pin lives, the tables' kept facts are used without comparing
    // the schema cookies again (one comparison for a statement's several
    // names; none when ACheck is false and the caller checks afterwards).
    class TSchemaPin {
    public:
        explicit TSchemaPin(TLocalDatabase &ADb, bool ACheck = true);
        ~TSchemaPin();
        TSchemaPin(const TSchemaPin &) = delete;
        TSchemaPin &operator=(const TSchemaPin &) = delete;

    private:
        TLocalDatabase &FDb;
    };

private:
    struct TTableFacts {
        bool Exists = false;
        std::string Stored;
        bool HaveColumns = false;
        std::vector<TLocalColumn> Columns;
        bool HaveIndexes = false;
        std::vector<TLocalIndex> Indexes;
    };
    // The kept facts of a table (looked up on first use), with its schema
    // name ("" for this folder's own database).
    TTableFacts &Facts(const std::string &AName, std::string &ASchema, std::string &ABase);
    std::vector<int64_t> ReadSchemaStamp();
    std::string SchemaForFolder(const std::string &AFolder);
    std::string FFolder;
    sqlite3 *FDb = nullptr;
    std::map<std::string, std::string> FAttached; // folder -> schema
    // Texts to their prepared statements; a map, so that a statement in use
    // keeps its place while others are added.
    std::map<std::string, TLocalStatement> FPrepared;
    int FLeases = 0;
    uint64_t FGeneration = 0;
    int FTxDepth = 0;
    bool FTxFailed = false;
    // Schema name + "\n" + the table name in ASCII capitals -> its facts.
    std::map<std::string, TTableFacts> FTables;
    std::vector<int64_t> FSchemaStamp;
    int FPins = 0;
};

// A program value as the engine stores it for a field type (numbers by the
// type, an empty text as no value).
TLocalValue LocalValueOf(rtl::TFieldType AType, const rtl::Variant &AValue);
// Declared type of a field type as the engine stores it, and back.
std::string LocalDeclType(rtl::TFieldType AType, int ASize, int APrecision);
// The column constraint that keeps a text column to its characters ("" for
// other types).
std::string LocalTextLengthCheck(const std::string &AName, rtl::TFieldType AType, int ASize);
void LocalFieldType(const std::string &ADeclType, rtl::TFieldType &AType, int &ASize);
// "Table.db" -> "Table"; folder parts are split off into AFolder.
std::string LocalTableBaseName(const std::string &AName, std::string *AFolder = nullptr);
// Normalised folder path (absolute, "/" separated, no trailing slash).
std::string LocalNormalizeFolder(const std::string &AFolder);
std::string LocalQuoteName(const std::string &AName);
// The tail of an INSERT that makes it an append-or-update by the key
// AKeyCols: " ON CONFLICT(key) DO UPDATE SET c=excluded.c, ..." for every
// column of ACols outside the key ("DO NOTHING" when none is left).
std::string LocalAppendUpdateClause(const std::vector<std::string> &ACols, const std::vector<std::string> &AKeyCols);
// Does the table file "Folder/Name.db" exist, asked of the engine.
bool LocalTableFileExists(const std::string &APath);
