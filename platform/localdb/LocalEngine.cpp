// The local table engine: folder databases, names, DDL, transactions and the
// installation definitions.
#include "platform/localdb/LocalEngine.h"

#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/dataset/TFieldDef.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::unique_ptr<TLocalDatabase>> &Databases()
{
    static std::map<std::string, std::unique_ptr<TLocalDatabase>> Map;
    return Map;
}

[[noreturn]] void RaiseSqlite(sqlite3 *ADb, int ARc)
{
    int Ext = ADb ? sqlite3_extended_errcode(ADb) : ARc;
    if (Ext == SQLITE_CONSTRAINT_UNIQUE || Ext == SQLITE_CONSTRAINT_PRIMARYKEY)
        throw ELocalDbError(SKeyViolation, Ext);
    std::string Msg = ADb ? sqlite3_errmsg(ADb) : sqlite3_errstr(ARc);
    if (Msg.rfind("no such table", 0) == 0)
        throw ELocalDbError(std::string(STableNotFound) + " (" + Msg + ")", Ext);
    throw ELocalDbError(Msg, Ext);
}

bool EndsWithNoCase(const std::string &S, const std::string &Suffix)
{
    return S.size() >= Suffix.size() &&
           rtl::SameText(S.substr(S.size() - Suffix.size()), Suffix);
}

} // namespace

// ---- values ---------------------------------------------------------------------

double TLocalValue::AsDouble() const
{
    switch (Kind) {
    case lvInteger:
        return double(I);
    case lvReal:
        return D;
    case lvText: {
        double V = 0;
        rtl::TryStrToFloat(S, V);
        return V;
    }
    default:
        return 0;
    }
}

int64_t TLocalValue::AsInt64() const
{
    switch (Kind) {
    case lvInteger:
        return I;
    case lvReal:
        return int64_t(std::nearbyint(D));
    case lvText: {
        int64_t V = 0;
        if (!rtl::TryStrToInt64(S, V)) {
            double F = 0;
            if (rtl::TryStrToFloat(S, F))
                V = int64_t(std::nearbyint(F));
        }
        return V;
    }
    default:
        return 0;
    }
}

std::string TLocalValue::AsText() const
{
    switch (Kind) {
    case lvInteger:
        return rtl::IntToStr(I);
    case lvReal:
        return rtl::FloatToStr(D);
    case lvText:
    case lvBlob:
        return S;
    default:
        return "";
    }
}

// ---- statements -----------------------------------------------------------------

TLocalStatement::TLocalStatement(sqlite3 *ADb, const std::string &ASql) : FDb(ADb)
{
    int Rc = sqlite3_prepare_v2(ADb, ASql.c_str(), int(ASql.size()), &FStmt, nullptr);
    if (Rc != SQLITE_OK)
        RaiseSqlite(ADb, Rc);
    if (!FStmt)
        throw ELocalDbError("Empty SQL statement");
}

TLocalStatement::~TLocalStatement()
{
    if (FStmt)
        sqlite3_finalize(FStmt);
}

TLocalStatement::TLocalStatement(TLocalStatement &&AOther) noexcept
    : FDb(AOther.FDb), FStmt(AOther.FStmt)
{
    AOther.FStmt = nullptr;
}

TLocalStatement &TLocalStatement::operator=(TLocalStatement &&AOther) noexcept
{
    if (this != &AOther) {
        if (FStmt)
            sqlite3_finalize(FStmt);
        FDb = AOther.FDb;
        FStmt = AOther.FStmt;
        AOther.FStmt = nullptr;
    }
    return *this;
}

void TLocalStatement::Fail(int ARc) const { RaiseSqlite(FDb, ARc); }

void TLocalStatement::Reset()
{
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

void TLocalStatement::Bind(int AIndex, const TLocalValue &AValue)
{
    switch (AValue.Kind) {
    case TLocalValue::lvNull:
        BindNull(AIndex);
        break;
    case TLocalValue::lvInteger:
        BindInt(AIndex, AValue.I);
        break;
    case TLocalValue::lvReal:
        BindDouble(AIndex, AValue.D);
        break;
    case TLocalValue::lvText:
        BindText(AIndex, AValue.S);
        break;
    case TLocalValue::lvBlob:
        sqlite3_bind_blob(FStmt, AIndex, AValue.S.data(), int(AValue.S.size()), SQLITE_TRANSIENT);
        break;
    }
}

void TLocalStatement::BindNull(int AIndex) { sqlite3_bind_null(FStmt, AIndex); }
void TLocalStatement::BindInt(int AIndex, int64_t AValue) { sqlite3_bind_int64(FStmt, AIndex, AValue); }
void TLocalStatement::BindDouble(int AIndex, double AValue) { sqlite3_bind_double(FStmt, AIndex, AValue); }
void TLocalStatement::BindText(int AIndex, const std::string &AValue)
{
    sqlite3_bind_text(FStmt, AIndex, AValue.data(), int(AValue.size()), SQLITE_TRANSIENT);
}

bool TLocalStatement::Step()
{
    int Rc = sqlite3_step(FStmt);
    if (Rc == SQLITE_ROW)
        return true;
    if (Rc == SQLITE_DONE)
        return false;
    sqlite3_reset(FStmt);
    Fail(Rc);
}

void TLocalStatement::Execute()
{
    while (Step()) {
    }
    sqlite3_reset(FStmt);
}

int TLocalStatement::ColumnCount() const { return sqlite3_column_count(FStmt); }

std::string TLocalStatement::ColumnName(int AIndex) const
{
    const char *N = sqlite3_column_name(FStmt, AIndex);
    return N ? N : "";
}

std::string TLocalStatement::ColumnDeclType(int AIndex) const
{
    const char *T = sqlite3_column_decltype(FStmt, AIndex);
    return T ? T : "";
}

TLocalValue TLocalStatement::Column(int AIndex) const
{
    switch (sqlite3_column_type(FStmt, AIndex)) {
    case SQLITE_INTEGER:
        return TLocalValue::Integer(sqlite3_column_int64(FStmt, AIndex));
    case SQLITE_FLOAT:
        return TLocalValue::Real(sqlite3_column_double(FStmt, AIndex));
    default: {
        TLocalValue V;
        ReadColumn(AIndex, V);
        return V;
    }
    }
}

bool TLocalStatement::ColumnInt64(int AIndex, int64_t &AValue) const
{
    // The column's value asked once, its type and number read from it: a
    // scan reads some columns of every row. (Its connection is reached
    // from one thread: see the constructor.)
    sqlite3_value *Value = sqlite3_column_value(FStmt, AIndex);
    switch (sqlite3_value_type(Value)) {
    case SQLITE_NULL:
        AValue = 0;
        return false;
    case SQLITE_INTEGER:
        AValue = sqlite3_value_int64(Value);
        return true;
    default: {
        TLocalValue V;
        ReadColumn(AIndex, V);
        AValue = V.AsInt64();
        return true;
    }
    }
}

bool TLocalStatement::ColumnDouble(int AIndex, double &AValue) const
{
    sqlite3_value *Value = sqlite3_column_value(FStmt, AIndex);
    switch (sqlite3_value_type(Value)) {
    case SQLITE_NULL:
        AValue = 0;
        return false;
    case SQLITE_FLOAT:
        AValue = sqlite3_value_double(Value);
        return true;
    default: {
        TLocalValue V;
        ReadColumn(AIndex, V);
        AValue = V.AsDouble();
        return true;
    }
    }
}

void TLocalStatement::ReadColumn(int AIndex, TLocalValue &AValue) const
{
    const int Type = sqlite3_column_type(FStmt, AIndex);
    switch (Type) {
    case SQLITE_INTEGER:
        AValue.Kind = TLocalValue::lvInteger;
        AValue.I = sqlite3_column_int64(FStmt, AIndex);
        AValue.S.clear();
        break;
    case SQLITE_FLOAT:
        AValue.Kind = TLocalValue::lvReal;
        AValue.D = sqlite3_column_double(FStmt, AIndex);
        AValue.S.clear();
        break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        // The pointer first, then the length, as SQLite asks.
        const bool Text = Type == SQLITE_TEXT;
        AValue.Kind = Text ? TLocalValue::lvText : TLocalValue::lvBlob;
        const char *P = Text ? reinterpret_cast<const char *>(sqlite3_column_text(FStmt, AIndex))
                             : static_cast<const char *>(sqlite3_column_blob(FStmt, AIndex));
        AValue.S.assign(P ? P : "", size_t(sqlite3_column_bytes(FStmt, AIndex)));
        break;
    }
    default:
        AValue.Kind = TLocalValue::lvNull;
        AValue.I = 0;
        AValue.D = 0;
        AValue.S.clear();
        break;
    }
}

// ---- names ------------------------------------------------------------------------

std::string LocalQuoteName(const std::string &AName)
{
    std::string R = "\"";
    for (char C : AName) {
        R += C;
        if (C == '"')
            R += '"';
    }
    return R + "\"";
}

std::string LocalAppendUpdateClause(const std::vector<std::string> &ACols, const std::vector<std::string> &AKeyCols)
{
    std::string Key, Sets;
    for (const auto &K : AKeyCols)
        Key += (Key.empty() ? "" : ", ") + LocalQuoteName(K);
    for (const auto &C : ACols) {
        bool IsKey = false;
        for (const auto &K : AKeyCols)
            IsKey = IsKey || rtl::SameText(K, C);
        if (!IsKey)
            Sets += (Sets.empty() ? "" : ", ") + LocalQuoteName(C) + "=excluded." + LocalQuoteName(C);
    }
    return " ON CONFLICT(" + Key + ") DO " + (Sets.empty() ? std::string("NOTHING") : "UPDATE SET " + Sets);
}

std::string LocalNormalizeFolder(const std::string &AFolder)
{
    std::string F = AFolder;
    for (char &C : F)
        if (C == '\\')
            C = '/';
    if (F.empty())
        F = ".";
    std::error_code Ec;
    fs::path P = fs::weakly_canonical(fs::absolute(fs::path(F), Ec), Ec);
    std::string R = P.generic_string();
    while (R.size() > 1 && R.back() == '/')
        R.pop_back();
    return R;
}

std::string LocalTableBaseName(const std::string &AName, std::string *AFolder)
{
    std::string N = AName;
    for (char &C : N)
        if (C == '\\')
            C = '/';
    size_t Slash = N.rfind('/');
    if (AFolder)
        *AFolder = Slash == std::string::npos ? std::string() : N.substr(0, Slash);
    if (Slash != std::string::npos)
        N = N.substr(Slash + 1);
    if (EndsWithNoCase(N, ".db"))
        N.resize(N.size() - 3);
    return N;
}

bool LocalTableFileExists(const std::string &APath)
{
    std::string Folder;
    std::string Name = LocalTableBaseName(APath, &Folder);
    if (Folder.empty())
        Folder = ".";
    std::error_code Ec;
    if (!fs::is_directory(Folder, Ec))
        return false;
    // A folder that has no work database (and none to install) has no
    // tables; asking must not create one there.
    if (!Databases().count(LocalNormalizeFolder(Folder)) &&
        !fs::exists(Folder + "/" + LocalDbFileName, Ec) && !fs::exists(Folder + "/" + LocalDbDefinitionFile, Ec))
        return false;
    return TLocalDatabase::ForFolder(Folder).TableExists(Name);
}

TLocalValue LocalValueOf(rtl::TFieldType AType, const rtl::Variant &AValue)
{
    if (AValue.IsClear())
        return {};
    switch (AType) {
    case rtl::ftSmallint:
    case rtl::ftInteger:
    case rtl::ftWord:
    case rtl::ftAutoInc:
    case rtl::ftLargeint:
        return TLocalValue::Integer(AValue.AsInt64());
    case rtl::ftBoolean:
        return TLocalValue::Integer(AValue.AsBoolean() ? 1 : 0);
    case rtl::ftFloat:
    case rtl::ftCurrency:
    case rtl::ftBCD:
    case rtl::ftFMTBcd:
    case rtl::ftDate:
    case rtl::ftTime:
    case rtl::ftDateTime:
    case rtl::ftTimeStamp:
        return TLocalValue::Real(AValue.AsDouble());
    default: {
        std::string S = AValue.AsString();
        return S.empty() ? TLocalValue() : TLocalValue::Text(S);
    }
    }
}

// ---- declared types -----------------------------------------------------------------

std::string LocalTextLengthCheck(const std::string &AName, rtl::TFieldType AType, int ASize)
{
    // SQLite keeps any length in a VARCHAR(n); the engine refuses what a
    // Paradox field of n characters could not hold, whatever road the row
    // takes (a field, local SQL, a batch move). SQLite counts characters.
    switch (AType) {
    case rtl::ftString:
    case rtl::ftFixedChar:
    case rtl::ftWideString:
    case rtl::ftGuid:
        break;
    default:
        return {};
    }
    const std::string N = rtl::IntToStr(ASize > 0 ? ASize : 255);
    return " CONSTRAINT " + LocalQuoteName(AName + " holds at most " + N + " characters") + " CHECK (length(" +
           LocalQuoteName(AName) + ") <= " + N + ")";
}

std::string LocalDeclType(rtl::TFieldType AType, int ASize, int APrecision)
{
    switch (AType) {
    case rtl::ftString:
    case rtl::ftFixedChar:
    case rtl::ftWideString:
    case rtl::ftGuid:
        return "VARCHAR(" + rtl::IntToStr(ASize > 0 ? ASize : 255) + ")";
    case rtl::ftSmallint:
        return "SMALLINT";
    case rtl::ftWord:
        return "WORD INTEGER";
    case rtl::ftInteger:
        return "INTEGER";
    case rtl::ftAutoInc:
        return "AUTOINC INTEGER";
    case rtl::ftLargeint:
        return "BIGINT";
    case rtl::ftBoolean:
        return "BOOLEAN";
    case rtl::ftFloat:
        return "DOUBLE";
    case rtl::ftCurrency:
        return "MONEY REAL";
    case rtl::ftBCD:
    case rtl::ftFMTBcd:
        return "DECIMAL(" + rtl::IntToStr(APrecision > 0 ? APrecision : 18) + "," +
               rtl::IntToStr(ASize) + ")";
    case rtl::ftDate:
        return "DATE";
    case rtl::ftTime:
        return "TIME";
    case rtl::ftDateTime:
    case rtl::ftTimeStamp:
        return "TIMESTAMP";
    case rtl::ftMemo:
    case rtl::ftFmtMemo:
    case rtl::ftOraClob:
        return "MEMO TEXT";
    case rtl::ftBlob:
    case rtl::ftGraphic:
    case rtl::ftBytes:
    case rtl::ftVarBytes:
    case rtl::ftOraBlob:
    case rtl::ftTypedBinary:
        return "BLOB";
    default:
        return "VARCHAR(255)";
    }
}

void LocalFieldType(const std::string &ADeclType, rtl::TFieldType &AType, int &ASize)
{
    std::string T = rtl::UpperCase(rtl::Trim(ADeclType));
    ASize = 0;
    auto Arg = [&]() {
        size_t P = T.find('(');
        if (P == std::string::npos)
            return 0;
        size_t E = T.find_first_not_of("0123456789", P + 1);
        return rtl::StrToIntDef(T.substr(P + 1, E == std::string::npos ? std::string::npos : E - P - 1), 0);
    };
    auto Starts = [&](const char *Word) { return T.rfind(Word, 0) == 0; };
    if (Starts("VARCHAR") || Starts("CHAR") || Starts("ALPHA")) {
        AType = rtl::ftString;
        ASize = Arg() > 0 ? Arg() : 255;
    } else if (Starts("SMALLINT") || Starts("SHORT")) {
        AType = rtl::ftSmallint;
    } else if (Starts("WORD")) {
        AType = rtl::ftWord;
    } else if (Starts("AUTOINC")) {
        AType = rtl::ftAutoInc;
    } else if (Starts("BIGINT")) {
        AType = rtl::ftLargeint;
    } else if (Starts("INT") || Starts("LONG")) {
        AType = rtl::ftInteger;
    } else if (Starts("BOOL") || Starts("LOGICAL")) {
        AType = rtl::ftBoolean;
    } else if (Starts("DOUBLE") || Starts("FLOAT") || Starts("REAL") || Starts("NUMBER")) {
        AType = rtl::ftFloat;
    } else if (Starts("MONEY")) {
        AType = rtl::ftCurrency;
    } else if (Starts("DECIMAL") || Starts("BCD")) {
        AType = rtl::ftFloat;
    } else if (Starts("DATE")) {
        AType = rtl::ftDate;
    } else if (Starts("TIMESTAMP")) {
        AType = rtl::ftDateTime;
    } else if (Starts("TIME")) {
        AType = rtl::ftTime;
    } else if (Starts("MEMO") || Starts("TEXT")) {
        AType = rtl::ftMemo;
    } else if (Starts("BLOB")) {
        AType = rtl::ftBlob;
    } else {
        AType = rtl::ftUnknown;
    }
}

// ---- databases ------------------------------------------------------------------------

TLocalDatabase::TLocalDatabase(const std::string &AFolder) : FFolder(LocalNormalizeFolder(AFolder))
{
    std::error_code Ec;
    if (!fs::is_directory(FFolder, Ec))
        throw ELocalDbError(rtl::Format("Work folder %s does not exist", {rtl::Variant(FFolder)}));
    std::string Path = FFolder + "/" + LocalDbFileName;
    // The engine's databases are reached from one thread (the folder map
    // itself is unguarded): SQLite's own lock around every call is pure cost.
    int Rc = sqlite3_open_v2(Path.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (Rc != SQLITE_OK) {
        std::string Msg = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(Rc);
        if (FDb)
            sqlite3_close(FDb);
        FDb = nullptr;
        throw ELocalDbError("Cannot open the work database " + Path + ": " + Msg, Rc);
    }
    sqlite3_busy_timeout(FDb, 5000);
    // WAL: readers never block the writer, and a commit is one append; NORMAL
    // sync keeps commits durable across a process crash (not a power cut).
    // Not OFF: a QC run's verdicts could be made again from the main
    // database, but these tables also hold the operator's own flags and undo
    // rows until they are written back; and in WAL mode NORMAL syncs at
    // checkpoints only, not at commits, which a QC run does not feel.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA wal_autocheckpoint=8000");
    // The per-database flag tables grow to a row per checked level; merges
    // into them look rows up by key all over the file.
    Exec("PRAGMA cache_size=-65536");
    Exec("PRAGMA mmap_size=1073741824");
    // A double-quoted word is never taken for a string here; the rewriter
    // decides that before SQLite sees the text.
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    std::string Def = FFolder + "/" + LocalDbDefinitionFile;
    if (fs::exists(Def, Ec))
        InstallDefinitions(Def);
}

TLocalDatabase::~TLocalDatabase()
{
    FPrepared.clear();
    if (FDb)
        sqlite3_close_v2(FDb);
}

TLocalDatabase::TLease::TLease(TLocalDatabase &ADb, const std::string &ASql) : FDb(ADb), FStmt(nullptr)
{
    auto It = ADb.FPrepared.find(ASql);
    if (It == ADb.FPrepared.end()) {
        // Texts with names in them (one per table) are few, but a program
        // that makes tables without end must not grow this without end.
        if (ADb.FPrepared.size() >= 512 && ADb.FLeases == 0)
            ADb.FPrepared.clear();
        It = ADb.FPrepared.emplace(ASql, TLocalStatement(ADb.FDb, ASql)).first;
    }
    FStmt = &It->second;
    FStmt->Reset();
    ++ADb.FLeases;
}

TLocalDatabase::TLease::~TLease()
{
    FStmt->Reset();
    --FDb.FLeases;
}

int64_t TLocalDatabase::TotalChanges() const { return sqlite3_total_changes64(FDb); }

void TLocalDatabase::ExecPrepared(const std::string &ASql)
{
    Touch();
    TLease S(*this, ASql);
    S->Execute();
}

namespace {

// Absolute folder names as the callers write them, to their databases:
// every table operation asks for its database, and resolving the name in
// the file system each time costs more than the operation. A relative name
// is resolved every time, since it depends on the current directory.
std::map<std::string, TLocalDatabase *> &ResolvedFolders()
{
    static std::map<std::string, TLocalDatabase *> Map;
    return Map;
}

} // namespace

TLocalDatabase &TLocalDatabase::ForFolder(const std::string &AFolder)
{
    const bool Absolute = !AFolder.empty() && AFolder[0] == '/';
    if (Absolute) {
        auto Known = ResolvedFolders().find(AFolder);
        if (Known != ResolvedFolders().end())
            return *Known->second;
    }
    std::string Key = LocalNormalizeFolder(AFolder);
    auto &Map = Databases();
    auto It = Map.find(Key);
    TLocalDatabase *Ref = nullptr;
    if (It != Map.end()) {
        Ref = It->second.get();
    } else {
        auto Db = std::make_unique<TLocalDatabase>(Key);
        Ref = Db.get();
        Map.emplace(Key, std::move(Db));
    }
    if (Absolute)
        ResolvedFolders()[AFolder] = Ref;
    return *Ref;
}

void TLocalDatabase::CloseAll()
{
    ResolvedFolders().clear();
    Databases().clear();
}

void TLocalDatabase::Exec(const std::string &ASql)
{
    Touch();
    char *Err = nullptr;
    int Rc = sqlite3_exec(FDb, ASql.c_str(), nullptr, nullptr, &Err);
    if (Rc != SQLITE_OK) {
        sqlite3_free(Err);
        RaiseSqlite(FDb, Rc);
    }
}

std::string TLocalDatabase::SchemaForFolder(const std::string &AFolder)
{
    std::string Key = LocalNormalizeFolder(AFolder);
    if (Key == FFolder)
        return "";
    auto It = FAttached.find(Key);
    if (It != FAttached.end())
        return It->second;
    std::error_code Ec;
    if (!fs::is_directory(Key, Ec))
        throw ELocalDbError(rtl::Format("Work folder %s does not exist", {rtl::Variant(Key)}));
    // Make sure the other folder's own database exists (with its
    // installation tables) before it is attached here.
    TLocalDatabase::ForFolder(Key);
    std::string Schema = "f" + rtl::IntToStr(int64_t(FAttached.size()) + 1);
    TLocalStatement S(FDb, "ATTACH DATABASE ? AS " + Schema);
    S.BindText(1, Key + "/" + LocalDbFileName);
    S.Execute();
    FAttached[Key] = Schema;
    return Schema;
}

namespace {

std::string AsciiUpper(const std::string &S)
{
    // SQLite's NOCASE folds ASCII letters only; so does the key.
    std::string R = S;
    for (char &C : R)
        if (C >= 'a' && C <= 'z')
            C = char(C - 'a' + 'A');
    return R;
}

} // namespace

std::vector<int64_t> TLocalDatabase::ReadSchemaStamp()
{
    std::vector<int64_t> Stamp;
    Stamp.reserve(FAttached.size() + 1);
    auto Read = [&](const std::string &ASql) {
        TLease S(*this, ASql);
        Stamp.push_back(S->Step() ? sqlite3_column_int64(S->Handle(), 0) : -1);
    };
    Read("PRAGMA main.schema_version");
    for (const auto &A : FAttached)
        Read("PRAGMA " + A.second + ".schema_version");
    return Stamp;
}

bool TLocalDatabase::SchemaUnchanged()
{
    std::vector<int64_t> Now = ReadSchemaStamp();
    if (Now == FSchemaStamp)
        return true;
    // Facts learnt under older cookies were learnt at most at these
    // (cookies only grow between our own rollbacks, which forget), so
    // nothing is kept that the new cookies do not cover.
    const bool HadFacts = !FTables.empty();
    FTables.clear();
    FSchemaStamp = std::move(Now);
    return !HadFacts;
}

void TLocalDatabase::ForgetTables()
{
    FTables.clear();
    FSchemaStamp.clear();
}

TLocalDatabase::TSchemaPin::TSchemaPin(TLocalDatabase &ADb, bool ACheck) : FDb(ADb)
{
    if (ACheck && FDb.FPins == 0)
        FDb.SchemaUnchanged();
    ++FDb.FPins;
}

TLocalDatabase::TSchemaPin::~TSchemaPin() { --FDb.FPins; }

TLocalDatabase::TTableFacts &TLocalDatabase::Facts(const std::string &AName, std::string &ASchema,
                                                   std::string &ABase)
{
    std::string Folder;
    ABase = LocalTableBaseName(AName, &Folder);
    ASchema = Folder.empty() ? std::string() : SchemaForFolder(Folder);
    if (FPins == 0)
        SchemaUnchanged();
    std::string Key = ASchema + "\n" + AsciiUpper(ABase);
    auto It = FTables.find(Key);
    if (It != FTables.end())
        return It->second;
    std::string Master = ASchema.empty() ? "sqlite_master" : ASchema + ".sqlite_master";
    TTableFacts F;
    {
        TLease S(*this, "SELECT name FROM " + Master + " WHERE type='table' AND name=? COLLATE NOCASE");
        S->BindText(1, ABase);
        F.Exists = S->Step();
        if (F.Exists)
            F.Stored = S->Column(0).AsText();
    }
    // Texts made of table names are few, but a program that makes tables
    // without end must not grow this without end.
    if (FTables.size() >= 1024)
        FTables.clear();
    return FTables.emplace(std::move(Key), std::move(F)).first->second;
}

std::string TLocalDatabase::ResolveTable(const std::string &AName, bool *AExists,
                                         std::string *AStoredName)
{
    std::string Schema, Base;
    const TTableFacts &F = Facts(AName, Schema, Base);
    // A missing table keeps the spelling it was asked by.
    const std::string &Stored = F.Exists ? F.Stored : Base;
    if (AExists)
        *AExists = F.Exists;
    if (AStoredName)
        *AStoredName = Stored;
    return Schema.empty() ? LocalQuoteName(Stored) : Schema + "." + LocalQuoteName(Stored);
}

bool TLocalDatabase::TableExists(const std::string &AName)
{
    bool Exists = false;
    ResolveTable(AName, &Exists);
    return Exists;
}

std::vector<TLocalColumn> TLocalDatabase::Columns(const std::string &AName)
{
    std::string Schema, Base;
    TTableFacts &F = Facts(AName, Schema, Base);
    if (!F.Exists)
        throw ELocalDbError(std::string(STableNotFound) + " (" + Base + ")");
    if (F.HaveColumns)
        return F.Columns;
    // The table-valued form reads the catalog when it runs; a PRAGMA kept
    // prepared would answer with the columns of its preparation.
    TLease S(*this, "SELECT cid, name, type, \"notnull\", dflt_value FROM pragma_table_info(?, ?) ORDER BY cid");
    S->BindText(1, F.Stored);
    S->BindText(2, Schema.empty() ? std::string("main") : Schema);
    std::vector<TLocalColumn> Result;
    while (S->Step()) {
        TLocalColumn C;
        C.Name = S->Column(1).AsText();
        C.DeclType = S->Column(2).AsText();
        C.NotNull = S->Column(3).AsInt64() != 0;
        C.Default = S->Column(4).AsText();
        Result.push_back(C);
    }
    F.Columns = Result;
    F.HaveColumns = true;
    return Result;
}

std::vector<TLocalIndex> TLocalDatabase::Indexes(const std::string &AName)
{
    std::string Schema, Base;
    TTableFacts &F = Facts(AName, Schema, Base);
    std::vector<TLocalIndex> Result;
    if (!F.Exists)
        return Result;
    if (F.HaveIndexes)
        return F.Indexes;
    // Index names carry the Paradox name: "pk$<table>" for the primary
    // index, "ix$<table>$<name>" for a secondary one.
    const std::string SchemaName = Schema.empty() ? std::string("main") : Schema;
    TLease L(*this, "SELECT seq, name, \"unique\" FROM pragma_index_list(?, ?) ORDER BY seq");
    L->BindText(1, F.Stored);
    L->BindText(2, SchemaName);
    while (L->Step()) {
        std::string Name = L->Column(1).AsText();
        bool Unique = L->Column(2).AsInt64() != 0;
        TLocalIndex X;
        if (Name.rfind("pk$", 0) == 0) {
            X.Options = ixPrimary | ixUnique;
        } else if (Name.rfind("ix$", 0) == 0) {
            size_t P = Name.rfind('$');
            X.Name = Name.substr(P + 1);
            X.Options = Unique ? ixUnique : 0;
        } else {
            continue;
        }
        TLease I(*this, "SELECT seqno, cid, name FROM pragma_index_info(?, ?) ORDER BY seqno");
        I->BindText(1, Name);
        I->BindText(2, SchemaName);
        while (I->Step())
            X.Fields += (X.Fields.empty() ? "" : ";") + I->Column(2).AsText();
        Result.push_back(X);
    }
    F.Indexes = Result;
    F.HaveIndexes = true;
    return Result;
}

void TLocalDatabase::CreateTable(const std::string &AName, const TFieldDefs &ADefs)
{
    if (ADefs.Count() == 0)
        throw ELocalDbError("Table has no fields: " + LocalTableBaseName(AName));
    std::string Target = ResolveTable(AName);
    std::string Sql = "CREATE TABLE " + Target + " (";
    for (int I = 0; I < ADefs.Count(); ++I) {
        TFieldDef *D = ADefs.Items(I);
        if (I)
            Sql += ", ";
        Sql += LocalQuoteName(D->Name()) + " " + LocalDeclType(D->DataType(), D->Size(), D->Precision());
        Sql += LocalTextLengthCheck(D->Name(), D->DataType(), D->Size());
        if (D->Required())
            Sql += " NOT NULL";
        if (!D->DefaultExpression().empty()) {
            double Num;
            const std::string &E = D->DefaultExpression();
            Sql += " DEFAULT " + (rtl::TryStrToFloat(E, Num) ? E : "'" + rtl::StringReplace(E, "'", "''") + "'");
        }
    }
    Sql += ")";
    BeginTransaction();
    try {
        Exec("DROP TABLE IF EXISTS " + Target);
        Exec(Sql);
    } catch (...) {
        Rollback();
        throw;
    }
    Commit();
}

void TLocalDatabase::DropTable(const std::string &AName)
{
    bool Exists = false;
    std::string Target = ResolveTable(AName, &Exists);
    if (!Exists)
        throw ELocalDbError(std::string(STableNotFound) + " (" + LocalTableBaseName(AName) + ")");
    Exec("DROP TABLE " + Target);
}

void TLocalDatabase::AddColumn(const std::string &ATable, const std::string &AName, rtl::TFieldType AType, int ASize)
{
    bool Exists = false;
    const std::string Target = ResolveTable(ATable, &Exists);
    if (!Exists)
        throw ELocalDbError(std::string(STableNotFound) + " (" + LocalTableBaseName(ATable) + ")");
    Exec("ALTER TABLE " + Target + " ADD COLUMN " + LocalQuoteName(AName) + " " + LocalDeclType(AType, ASize, 0) +
         LocalTextLengthCheck(AName, AType, ASize));
}

void TLocalDatabase::AddIndex(const std::string &ATable, const std::string &AIndexName,
                              const std::string &AFields, TIndexOptions AOptions)
{
    bool Exists = false;
    std::string Stored;
    std::string Target = ResolveTable(ATable, &Exists, &Stored);
    if (!Exists)
        throw ELocalDbError(std::string(STableNotFound) + " (" + LocalTableBaseName(ATable) + ")");
    std::string Schema = Target[0] != '"' ? Target.substr(0, Target.find('.')) + "." : std::string();
    std::string Cols;
    for (const std::string &F : SplitFieldNames(AFields))
        Cols += (Cols.empty() ? "" : ", ") + LocalQuoteName(F);
    if (Cols.empty())
        throw ELocalDbError("Index has no fields");
    bool Primary = (AOptions & ixPrimary) != 0;
    std::string IndexName = Primary ? "pk$" + Stored : "ix$" + Stored + "$" + AIndexName;
    std::string Sql = std::string("CREATE ") + (Primary || (AOptions & ixUnique) ? "UNIQUE " : "") +
                      "INDEX " + Schema + LocalQuoteName(IndexName) + " ON " + LocalQuoteName(Stored) +
                      " (" + Cols + ")";
    try {
        Exec(Sql);
    } catch (ELocalDbError &E) {
        if (E.Code == SQLITE_CONSTRAINT_UNIQUE || E.Code == SQLITE_CONSTRAINT)
            throw ELocalDbError(SKeyViolation, E.Code);
        throw;
    }
}

void TLocalDatabase::BeginTransaction()
{
    if (FTxDepth++ == 0) {
        FTxFailed = false;
        Exec("BEGIN IMMEDIATE");
    }
}

void TLocalDatabase::Commit()
{
    if (FTxDepth == 0)
        return;
    if (--FTxDepth == 0) {
        // A rolled-back unit takes its DDL with it and puts the schema
        // cookie back, where other DDL could bring it to the same count.
        if (FTxFailed) {
            ForgetTables();
            Exec("ROLLBACK");
            throw ELocalDbError("Transaction rolled back by an inner failure");
        }
        try {
            Exec("COMMIT");
        } catch (...) {
            ForgetTables();
            throw;
        }
    }
}

void TLocalDatabase::Rollback()
{
    ForgetTables();
    if (FTxDepth == 0)
        return;
    if (--FTxDepth == 0) {
        if (!sqlite3_get_autocommit(FDb))
            Exec("ROLLBACK");
    } else {
        FTxFailed = true;
    }
}

// ---- installation definitions ----------------------------------------------------------

namespace {

struct TDefTable {
    std::string Name;
    std::vector<std::tuple<std::string, rtl::TFieldType, int>> Fields;
    std::string Primary;
    std::vector<std::vector<std::string>> Rows;
};

rtl::TFieldType DefFieldType(const std::string &AWord, const std::string &APath, int ALine)
{
    for (int T = 0; T < rtl::FieldTypeCount; ++T)
        if (rtl::SameText(AWord, rtl::FieldTypeName(rtl::TFieldType(T))))
            return rtl::TFieldType(T);
    throw ELocalDbError(rtl::Format("%s(%d): unknown field type %s",
                                    {rtl::Variant(APath), rtl::Variant(ALine), rtl::Variant(AWord)}));
}

std::vector<std::string> SplitRow(const std::string &ALine)
{
    std::vector<std::string> Cells;
    size_t Start = 0;
    for (;;) {
        size_t Bar = ALine.find('|', Start);
        Cells.push_back(rtl::Trim(ALine.substr(Start, Bar == std::string::npos ? std::string::npos : Bar - Start)));
        if (Bar == std::string::npos)
            break;
        Start = Bar + 1;
    }
    return Cells;
}

} // namespace

void TLocalDatabase::InstallDefinitions(const std::string &APath)
{
    // Format, one statement a line ("#" starts a comment):
    //   table <name>
    //   field <name> <type> [<size>] [required]
    //   primary <field;field>
    //   row <value> | <value> | ...      (empty = no value; booleans True/False)
    //   end
    std::ifstream In(APath);
    if (!In)
        throw ELocalDbError("Cannot read " + APath);
    std::vector<TDefTable> Tables;
    std::string Line;
    int LineNo = 0;
    TDefTable *Cur = nullptr;
    while (std::getline(In, Line)) {
        ++LineNo;
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        std::string T = rtl::Trim(Line);
        if (T.empty() || T[0] == '#')
            continue;
        std::istringstream Words(T);
        std::string Key;
        Words >> Key;
        if (Key == "table") {
            Tables.emplace_back();
            Cur = &Tables.back();
            Words >> Cur->Name;
        } else if (!Cur) {
            throw ELocalDbError(rtl::Format("%s(%d): statement outside a table",
                                            {rtl::Variant(APath), rtl::Variant(LineNo)}));
        } else if (Key == "field") {
            std::string Name, Type, Extra;
            int Size = 0;
            Words >> Name >> Type;
            rtl::TFieldType FT = DefFieldType(Type, APath, LineNo);
            if (Words >> Extra)
                Size = rtl::StrToIntDef(Extra, 0);
            Cur->Fields.emplace_back(Name, FT, Size);
        } else if (Key == "primary") {
            Words >> Cur->Primary;
        } else if (Key == "row") {
            Cur->Rows.push_back(SplitRow(rtl::Trim(T.substr(3))));
        } else if (Key == "end") {
            Cur = nullptr;
        } else {
            throw ELocalDbError(rtl::Format("%s(%d): unknown statement %s",
                                            {rtl::Variant(APath), rtl::Variant(LineNo), rtl::Variant(Key)}));
        }
    }
    BeginTransaction();
    try {
        for (const TDefTable &D : Tables) {
            if (TableExists(D.Name))
                continue;
            TFieldDefs Defs(nullptr);
            for (const auto &[Name, Type, Size] : D.Fields)
                Defs.Add(Name, Type, Size);
            CreateTable(D.Name, Defs);
            if (!D.Primary.empty())
                AddIndex(D.Name, "", D.Primary, ixPrimary);
            if (D.Rows.empty())
                continue;
            std::string Marks;
            for (size_t I = 0; I < D.Fields.size(); ++I)
                Marks += I ? ",?" : "?";
            TLocalStatement Ins(FDb, "INSERT INTO " + LocalQuoteName(D.Name) + " VALUES (" + Marks + ")");
            for (const auto &Row : D.Rows) {
                Ins.Reset();
                for (size_t I = 0; I < D.Fields.size(); ++I) {
                    std::string V = I < Row.size() ? Row[I] : std::string();
                    rtl::TFieldType FT = std::get<1>(D.Fields[I]);
                    if (V.empty())
                        Ins.BindNull(int(I) + 1);
                    else if (FT == rtl::ftBoolean)
                        Ins.BindInt(int(I) + 1, rtl::SameText(V, "True") ? 1 : 0);
                    else if (FT == rtl::ftFloat || FT == rtl::ftCurrency)
                        Ins.BindDouble(int(I) + 1, rtl::StrToFloat(V));
                    else if (FT == rtl::ftSmallint || FT == rtl::ftInteger || FT == rtl::ftWord ||
                             FT == rtl::ftLargeint || FT == rtl::ftAutoInc)
                        Ins.BindInt(int(I) + 1, rtl::StrToInt64(V));
                    else
                        Ins.BindText(int(I) + 1, V);
                }
                Ins.Execute();
            }
        }
    } catch (...) {
        Rollback();
        throw;
    }
    Commit();
}
