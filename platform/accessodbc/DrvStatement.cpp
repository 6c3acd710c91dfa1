// Statement: prepare (Jet SQL translated for SQLite), parameters, execution,
// row sets into bound buffers, SQLGetData in pieces, and the driver's own
// bookkeeping around statements (COUNTER columns, @@IDENTITY, SELECT INTO).
#include "platform/accessodbc/DrvObjects.h"
#include "platform/accessodbc/DrvQuery.h"
#include "platform/accessodbc/DrvStatementCache.h"

#include "platform/accessodbc/JetDate.h"
#include "platform/rtl/CLocaleText.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace accessodbc {

namespace {

const char *const CounterTable = "MSysMarlinCounters";

std::string Upper(std::string S) { return jet::UpperAscii(std::move(S)); }

std::string SqlString(const std::string &S)
{
    std::string R = "'";
    for (char C : S) {
        R += C;
        if (C == '\'')
            R += '\'';
    }
    return R + "'";
}

size_t CTypeSize(SQLSMALLINT C, SQLLEN ABufferLength)
{
    switch (C) {
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: return 8;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    default: return static_cast<size_t>(ABufferLength);
    }
}

bool IsNumericSqlType(SQLSMALLINT T)
{
    switch (T) {
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT: case SQL_TINYINT: case SQL_BIGINT:
    case SQL_FLOAT: case SQL_REAL: case SQL_DOUBLE: case SQL_BIT:
        return true;
    default:
        return false;
    }
}
bool IsDateSqlType(SQLSMALLINT T)
{
    return T == SQL_DATE || T == SQL_TIME || T == SQL_TIMESTAMP || T == SQL_TYPE_DATE || T == SQL_TYPE_TIME ||
           T == SQL_TYPE_TIMESTAMP;
}
bool IsTimeOnly(SQLSMALLINT T) { return T == SQL_TIME || T == SQL_TYPE_TIME; }
bool IsDateOnly(SQLSMALLINT T) { return T == SQL_DATE || T == SQL_TYPE_DATE; }

// A date value cut to what the parameter's SQL type carries.
double ShapeDate(double AValue, SQLSMALLINT ASqlType)
{
    std::int64_t Day, Ms;
    jet::SplitJetDate(AValue, Day, Ms);
    if (IsTimeOnly(ASqlType))
        return jet::JoinJetDate(0, Ms);
    if (IsDateOnly(ASqlType))
        return static_cast<double>(Day);
    return AValue;
}

void BindNumberText(sqlite3_stmt *S, int I, const std::string &AText, SQLSMALLINT ASqlType)
{
    std::string T = AText;
    T.erase(0, T.find_first_not_of(" \t"));
    T.erase(T.find_last_not_of(" \t") + 1);
    char *End = nullptr;
    if (!T.empty() && T.find_first_of(".eE") == std::string::npos) {
        errno = 0;
        const long long V = std::strtoll(T.c_str(), &End, 10);
        if (End == T.c_str() + T.size() && errno == 0) {
            sqlite3_bind_int64(S, I, ASqlType == SQL_BIT ? (V ? -1 : 0) : V);
            return;
        }
    }
    double D = 0;
    if (!rtl::CTryTextToFloat(T, D) || !std::isfinite(D))
        Fail("22018", -3030, "Invalid character value for a conversion: parameter " + std::to_string(I) +
                                 " ('" + AText.substr(0, 40) + "') is no number.");
    if (ASqlType == SQL_BIT)
        sqlite3_bind_int(S, I, D != 0 ? -1 : 0);
    else
        sqlite3_bind_double(S, I, D);
}

void BindText(sqlite3_stmt *S, int I, const std::string &AText, SQLSMALLINT ASqlType)
{
    if (IsNumericSqlType(ASqlType))
        return BindNumberText(S, I, AText, ASqlType);
    if (IsDateSqlType(ASqlType)) {
        jet::TJetDateTime V;
        if (jet::ParseJetDateText(AText, V) == jet::TJetDateParts::None)
            Fail("22007", -3030, "Invalid datetime format: parameter " + std::to_string(I) + " ('" + AText.substr(0, 40) + "').");
        sqlite3_bind_double(S, I, ShapeDate(jet::EncodeJetDate(V), ASqlType));
        return;
    }
    sqlite3_bind_text(S, I, AText.data(), static_cast<int>(AText.size()), SQLITE_TRANSIENT);
}

void BindInteger(sqlite3_stmt *S, int I, long long V, SQLSMALLINT ASqlType)
{
    if (ASqlType == SQL_BIT)
        sqlite3_bind_int(S, I, V ? -1 : 0);
    else
        sqlite3_bind_int64(S, I, V);
}

// The value and indicator of parameter P in parameter set ARow: column-wise
// (ABindType SQL_PARAM_BIND_BY_COLUMN) a parameter's values lie one
// element apart (its C type's size, or its buffer length for text and
// bytes) and its indicators one SQLLEN apart; row-wise both lie ABindType
// bytes apart. The bind offset moves every address.
inline void ParamAt(const TParamBinding &P, SQLSMALLINT ACType, SQLULEN ARow, SQLLEN AOffset, SQLULEN ABindType,
                    const char *&AData, const SQLLEN *&AInd)
{
    size_t Step = 0, IndStep = 0;
    if (ARow > 0) {
        const bool ByColumn = ABindType == SQL_PARAM_BIND_BY_COLUMN;
        Step = ARow * (ByColumn ? CTypeSize(ACType, P.BufferLength) : ABindType);
        IndStep = ARow * (ByColumn ? sizeof(SQLLEN) : ABindType);
    }
    AData = P.Data ? static_cast<const char *>(P.Data) + AOffset + Step : nullptr;
    AInd = P.Indicator
               ? reinterpret_cast<const SQLLEN *>(reinterpret_cast<const char *>(P.Indicator) + AOffset + IndStep)
               : nullptr;
}

// The parameter sends its value in set ARow through SQLPutData.
inline bool AtExecution(const TDrvStatement &S, const TParamBinding &P, SQLULEN ARow)
{
    const char *Data;
    const SQLLEN *Ind;
    ParamAt(P, SQL_C_DEFAULT, ARow, S.ParamBindOffsetPtr ? *S.ParamBindOffsetPtr : 0, S.ParamBindType, Data, Ind);
    return Ind && (*Ind == SQL_DATA_AT_EXEC || *Ind <= SQL_LEN_DATA_AT_EXEC_OFFSET);
}

std::string CapitalWord(const std::string &U)
{
    std::string R = U;
    for (size_t i = 1; i < R.size(); ++i)
        R[i] = rtl::CLowCase(R[i]);
    if (U == "STDEV") return "StDev";
    if (U == "STDEVP") return "StDevP";
    if (U == "VARP") return "VarP";
    return R;
}

} // namespace

TDrvStatement::~TDrvStatement()
{
    ReleaseStmt();
    ReleaseSpare();
}

// A kept statement goes back to the connection for the next text of its
// shape; any other is finalized.
void TDrvStatement::GiveBack(std::shared_ptr<const TDrvPlan> &APlan, sqlite3_stmt *&AStmt,
                             std::uint64_t AGeneration) noexcept
{
    if (!AStmt)
        return;
    sqlite3_stmt *S = AStmt;
    AStmt = nullptr;
    if (APlan && Conn->Db) {
        try {
            Conn->Plans().Give(std::move(APlan), S, AGeneration);
        } catch (...) {
            sqlite3_finalize(S);
        }
    } else {
        sqlite3_finalize(S);
    }
    APlan.reset();
}

void TDrvStatement::ReleaseStmt() noexcept
{
    GiveBack(Plan, Stmt, PlanGeneration);
    Stepped = false;
}

void TDrvStatement::ReleaseSpare() noexcept
{
    GiveBack(SparePlan, SpareStmt, SpareGeneration);
}

// Before the handle takes another text: its kept statement, reset, becomes
// the spare, and the spare before it goes back to the connection.
void TDrvStatement::ParkStmt() noexcept
{
    if (!Stmt || !Plan || PlanGeneration != Conn->Plans().Generation())
        return;
    ResetStmt();
    // Its texts were bound without a copy, from values the handle reuses.
    sqlite3_clear_bindings(Stmt);
    ReleaseSpare();
    SparePlan = std::move(Plan);
    SpareStmt = Stmt;
    SpareGeneration = PlanGeneration;
    Stmt = nullptr;
}

const TColumnInfo &TDrvStatement::Column(SQLUSMALLINT ACol) const
{
    if (ACol < 1 || ACol > Columns.size())
        Fail("07009", 0, "Invalid descriptor index: column " + std::to_string(ACol) + " does not exist.");
    return Columns[ACol - 1];
}

[[noreturn]] void TDrvStatement::SqliteFail(int ARc)
{
    const std::string Msg = sqlite3_errmsg(Conn->Db);
    auto After = [&](const char *Prefix) -> std::string {
        const size_t P = Msg.find(Prefix);
        return P == std::string::npos ? std::string() : Msg.substr(P + std::strlen(Prefix));
    };
    const int Primary = ARc & 0xFF;
    if (Primary == SQLITE_INTERRUPT || CancelRequested)
        Fail("HY008", 0, "Operation canceled.");
    if (Primary == SQLITE_BUSY || Primary == SQLITE_LOCKED)
        Fail("HY000", -1102, "Could not update; currently locked by another session on this machine.");
    if (Primary == SQLITE_READONLY)
        Fail("HY000", -1019, "Cannot update. Database or object is read-only: the database '" + Conn->Path + "' " +
                                 (Conn->ReadOnlyWhy.empty() ? std::string("cannot be written") : Conn->ReadOnlyWhy) + ".");
    if (Msg.rfind("no such table: ", 0) == 0) {
        std::string Name = After("no such table: ");
        if (Name.rfind("main.", 0) == 0)
            Name = Name.substr(5);
        Fail("42S02", -1305, "The database engine cannot find the input table or query '" + Name +
                                 "'. Make sure it exists and that its name is spelled correctly." +
                                 (Conn->EmptyFile ? " The file '" + Conn->Path +
                                                        "' is empty (0 bytes): it holds no station database."
                                                  : std::string()));
    }
    if (Msg.rfind("no such column: ", 0) == 0)
        Fail("07002", -3010, "Too few parameters. Expected 1: '" + After("no such column: ") +
                                 "' is no column of the tables in the statement.");
    if (Msg.find("UNIQUE constraint failed") != std::string::npos)
        Fail("23000", -1605, "The changes you requested to the table were not successful because they would create "
                             "duplicate values in the index, primary key, or relationship (" + After("failed: ") + ").");
    if (Msg.find("FOREIGN KEY constraint failed") != std::string::npos)
        Fail("23000", -1613, "You cannot add or change a record because a related record is required.");
    if (Msg.find("NOT NULL constraint failed") != std::string::npos)
        Fail("23000", -3162, "The field '" + After("failed: ") + "' cannot contain a Null value.");
    if (Msg.find("already exists") != std::string::npos && Msg.rfind("table ", 0) == 0) {
        std::string Name = Msg.substr(6, Msg.rfind(" already exists") - 6);
        if (Name.size() >= 2 && Name.front() == '"' && Name.back() == '"')
            Name = Name.substr(1, Name.size() - 2);
        Fail("42S01", -1303, "Table '" + Name + "' already exists.");
    }
    if (Msg.rfind("no such function: ", 0) == 0) {
        std::string Name = After("no such function: ");
        if (Name.rfind("jet_", 0) == 0)
            Name = Name.substr(4);
        Fail("42000", -3085, "Undefined function '" + Name + "' in expression (or wrong number of arguments).");
    }
    if (Msg == "Division by zero.")
        Fail("22012", -3076, "Division by zero.");
    if (Msg.find("wrong number of arguments") != std::string::npos)
        Fail("42000", -3085, "Wrong number of arguments used with function in query expression: " + Msg + ".");
    if (Msg.find("syntax error") != std::string::npos || Msg.find("unrecognized token") != std::string::npos)
        Fail("42000", -3100, "Syntax error in query (" + Msg + ").");
    if (Msg.rfind("CHECK constraint failed: ", 0) == 0 && Msg.size() > 5 && Msg.compare(Msg.size() - 5, 5, "$size") == 0)
        Fail("22001", -3163, "The field '" + After("failed: ").substr(0, After("failed: ").size() - 5) +
                                 "' is too small to accept the amount of data you attempted to add.");
    if (Primary == SQLITE_CONSTRAINT)
        Fail("23000", -3317, "One or more values are prohibited by the validation rule: " + Msg + ".");
    Fail("HY000", -1, Msg + ".");
}

int TDrvStatement::Step()
{
    Stepped = true;
    return sqlite3_step(Stmt);
}

// A statement reset and not stepped since needs no reset: a write-back's
// statement would otherwise be reset four times per level.
void TDrvStatement::ResetStmt() noexcept
{
    if (Stmt && Stepped)
        sqlite3_reset(Stmt);
    Stepped = false;
}

void TDrvStatement::Prepare(const std::string &AJetSql)
{
    Conn->RequireOpen();
    // The connection's shape and key buffers: a text of a shape seen before
    // then costs no allocation to look up.
    std::unique_ptr<TPrepareScratch> Scratch = std::move(Conn->Scratch);
    if (!Scratch)
        Scratch = std::make_unique<TPrepareScratch>();
    struct TGiveBack {
        TDrvConnection *Conn;
        std::unique_ptr<TPrepareScratch> &Scratch;
        ~TGiveBack()
        {
            if (!Conn->Scratch)
                Conn->Scratch = std::move(Scratch);
        }
    } GiveBack{Conn, Scratch};
    jet::TJetShape &Shape = Scratch->Shape;
    std::string &Key = Scratch->Key;
    const bool Shaped = jet::JetStatementShape(AJetSql, Shape);
    // A handle kept for one text after another of the same shape (a
    // write-back's level updates) keeps its statement: only the values
    // change. Every other text gives the statement back first.
    // Pressures written as 10.5 and 21 are two shapes (a real and an
    // integer literal): such a handle keeps the statement of the one shape
    // as its spare while it runs the other.
    const std::uint64_t Now = Conn->Plans().Generation();
    if (Shaped && Plan && Stmt && PlanGeneration == Now && TDrvStatementCache::Fits(Shape, *Plan)) {
        CloseCursor();
        NeedData = false;
        Columns = Plan->Columns;
        if (UseKept(AJetSql, Shape))
            return;
    } else if (Shaped && SpareStmt && SpareGeneration == Now && TDrvStatementCache::Fits(Shape, *SparePlan)) {
        std::shared_ptr<const TDrvPlan> P = std::move(SparePlan);
        sqlite3_stmt *S = SpareStmt;
        SpareStmt = nullptr;
        ParkStmt();
        Unprepare(false);
        if (HoldKept(std::move(P), S, AJetSql, Shape))
            return;
    }
    ParkStmt();
    Unprepare(false);
    if (Shaped && Conn->Plans().KeyOf(Shape, Key)) {
        std::shared_ptr<const TDrvPlan> Kept;
        if (sqlite3_stmt *S = Conn->Plans().Take(Key, Kept)) {
            if (HoldKept(std::move(Kept), S, AJetSql, Shape))
                return;
        }
    }
    // SQLite describes a statement from the schema it last read; another
    // connection may have changed the file since. A kept statement of an
    // older schema is dropped here too.
    Conn->RefreshSchema();
    if (!Shaped) {
        PrepareText(AJetSql, nullptr);
        return;
    }
    try {
        PrepareText(AJetSql, &Shape);
    } catch (const TDrvError &) {
        // SQLite names the token it stumbled on: prepared again with the
        // literals written, the error reads as it always did.
        if (Tr->LiftedLiterals.empty())
            throw;
        Unprepare();
        PrepareText(AJetSql, nullptr);
        return;
    }
    using K = jet::TJetStatementKind;
    if (Tr->Kind == K::Select || Tr->Kind == K::Insert || Tr->Kind == K::Update || Tr->Kind == K::Delete) {
        auto P = std::make_shared<TDrvPlan>();
        P->Key = Conn->Plans().Learn(Shape, Tr->LiftedLiterals, P->Written);
        P->Tr = *Tr;
        P->Columns = Columns;
        Plan = std::move(P);
        PlanGeneration = Conn->Plans().Generation();
    }
    try {
        LiftValues(Shape);
    } catch (...) {
        Unprepare();
        throw;
    }
}

// An unprepared handle takes a kept statement (reset) for this text.
bool TDrvStatement::HoldKept(std::shared_ptr<const TDrvPlan> APlan, sqlite3_stmt *AStmt, const std::string &AJetSql,
                             const jet::TJetShape &AShape)
{
    Stmt = AStmt;
    Plan = std::move(APlan);
    PlanGeneration = Conn->Plans().Generation();
    Tr = &Plan->Tr;
    Columns = Plan->Columns;
    Prepared = true;
    Params.resize(std::max<size_t>(Params.size(), static_cast<size_t>(Tr->ParamCount) + 1));
    return UseKept(AJetSql, AShape);
}

// The kept statement the handle now holds serves this text: its values are
// lifted. False when the statement was given up (the schema changed under
// a query): the text is then prepared anew.
bool TDrvStatement::UseKept(const std::string &AJetSql, const jet::TJetShape &AShape)
{
    try {
        LiftValues(AShape);
    } catch (...) {
        // Never left prepared with the values of the text before.
        Unprepare();
        throw;
    }
    using K = jet::TJetStatementKind;
    if (Tr->Kind == K::Insert || Tr->Kind == K::Update || Tr->Kind == K::Delete) {
        // Nothing is described before it runs: Run sees a schema
        // change as SQLite compiling the statement again, refuses
        // that and prepares the text anew, so a write-back of a
        // million rows does not read the schema version a million times.
        JetText = AJetSql;
        return true;
    }
    JetText.clear();
    // A result is described now, from the schema as it is now.
    const std::uint64_t Generation = Conn->Plans().Generation();
    Conn->RefreshSchema();
    if (Generation == Conn->Plans().Generation())
        return true;
    Unprepare();
    return false;
}

void TDrvStatement::LiftValues(const jet::TJetShape &AShape)
{
    LiftedValues.resize(Tr->LiftedLiterals.size());
    for (size_t i = 0; i < Tr->LiftedLiterals.size(); ++i) {
        const jet::TJetLiteral &Lit = AShape.Literals.at(static_cast<size_t>(Tr->LiftedLiterals[i]));
        TValue &V = LiftedValues[i];
        if (Lit.Kind == 'S') {
            V.Kind = SQLITE_TEXT;
            V.S.assign(Lit.Text);
        } else if (Lit.Kind == 'I') {
            V.Kind = SQLITE_INTEGER;
            V.I = Lit.HasValue ? Lit.Int : std::strtoll(Lit.Text.c_str(), nullptr, 10);
        } else {
            V.Kind = SQLITE_FLOAT;
            V.D = Lit.HasValue ? Lit.Real : Conn->RealOfLiteral(Lit.Text);
        }
    }
}

// Translation and SQLite prepare of a text; with AShape its plain values
// are lifted into parameters (LiftValues binds them from the shape).
void TDrvStatement::PrepareText(const std::string &AJetSql, const jet::TJetShape *AShape)
{
    jet::TJetTranslateContext Ctx;
    Ctx.DatabasePath = Conn->Path;
    Ctx.LiftLiterals = AShape != nullptr;
    try {
        OwnTr = jet::TranslateJetSql(AJetSql, Ctx);
        Tr = &OwnTr;
    } catch (const jet::TJetSqlError &E) {
        Fail(E.State.c_str(), E.Native, E.what());
    }
    if (Tr->Kind == jet::TJetStatementKind::CreateTable) {
        for (const auto &C : Tr->Columns)
            if (Upper(C.Name).empty())
                Fail("42000", -3292, "Syntax error in field definition.");
    }
    TReadSet Reads;
    auto PrepareSqlite = [&]() {
        Reads = TReadSet();
        Conn->Collecting = &Reads;
        const int Rc = sqlite3_prepare_v3(Conn->Db, Tr->Sql.c_str(), static_cast<int>(Tr->Sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &Stmt, nullptr);
        Conn->Collecting = nullptr;
        if (Rc != SQLITE_OK) {
            sqlite3_finalize(Stmt);
            Stmt = nullptr;
            SqliteFail(Rc);
        }
    };
    PrepareSqlite();
    if (Stmt && Conn->EmptyFile && !sqlite3_stmt_readonly(Stmt))
        Conn->BeforeWrite();
    // CURRENCY columns are stored scaled: a statement that touches one is
    // translated again with their names, and prepared again.
    // Date columns joined with &, computed with or compared, and text
    // columns compared in a condition, grouping or ordering are translated
    // again the same way.
    if (Stmt && Tr->Kind != jet::TJetStatementKind::CreateTable) {
        const std::vector<std::string> &Compared = Tr->ComparedNames, &Operands = Tr->OperandNames;
        const auto Among = [](const std::vector<std::string> &ANames, const std::string &AName) {
            return std::find(ANames.begin(), ANames.end(), AName) != ANames.end();
        };
        bool DateRead = AJetSql.find('&') != std::string::npos;
        for (const auto &Table : Reads.Tables)
            for (const auto &C : Conn->TableColumns(Table)) {
                if (C.Type == TJetType::Currency)
                    Ctx.CurrencyColumns.push_back(Upper(C.Name));
                else if (C.Type == TJetType::DateTime) {
                    Ctx.DateColumns.push_back(Upper(C.Name));
                    DateRead = DateRead || Among(Operands, Upper(C.Name)) || Among(Compared, Upper(C.Name));
                } else if ((C.Type == TJetType::Text || C.Type == TJetType::Memo) && Among(Compared, Upper(C.Name)))
                    Ctx.TextColumns.push_back(Upper(C.Name));
            }
        if (!DateRead)
            Ctx.DateColumns.clear();
        if (!Ctx.CurrencyColumns.empty() || !Ctx.DateColumns.empty() || !Ctx.TextColumns.empty()) {
            if (Tr->Kind == jet::TJetStatementKind::Insert)
                for (const auto &C : Conn->TableColumns(Tr->TargetTable))
                    Ctx.InsertTargetColumns.push_back(C.Name);
            sqlite3_finalize(Stmt);
            Stmt = nullptr;
            try {
                OwnTr = jet::TranslateJetSql(AJetSql, Ctx);
                Tr = &OwnTr;
            } catch (const jet::TJetSqlError &E) {
                Fail(E.State.c_str(), E.Native, E.what());
            }
            PrepareSqlite();
        }
    }
    if (!Stmt)
        Fail("42000", -3100, "Invalid SQL statement: nothing to execute.");
    if (Tr->Kind == jet::TJetStatementKind::SelectInto && Conn->TableExists(Tr->TargetTable))
        Fail("42S01", -1303, "Table '" + Tr->TargetTable + "' already exists.");
    Prepared = true;
    Params.resize(std::max<size_t>(Params.size(), static_cast<size_t>(Tr->ParamCount) + 1));

    // Columns: table columns keep their declared Jet type; expressions get
    // Jet's names (Expr1000, MinOfPRES) and the type their function gives.
    Columns.clear();
    if (Tr->Kind == jet::TJetStatementKind::SelectInto)
        OwnTr.SelectItems.clear();
    std::map<std::string, std::vector<TTableColumn>> Schemas;
    auto ColumnOf = [&](const std::string &ATable, const std::string &AColumn) -> const TTableColumn * {
        auto It = Schemas.find(ATable);
        if (It == Schemas.end())
            It = Schemas.emplace(ATable, Conn->TableColumns(ATable)).first;
        for (const auto &C : It->second)
            if (Upper(C.Name) == Upper(AColumn))
                return &C;
        return nullptr;
    };
    const int N = sqlite3_column_count(Stmt);
    size_t ExprIndex = 0;
    for (int i = 0; i < N; ++i) {
        TColumnInfo C;
        const char *Name = sqlite3_column_name(Stmt, i);
        const char *Table = sqlite3_column_table_name(Stmt, i);
        const char *Origin = sqlite3_column_origin_name(Stmt, i);
        const char *Decl = sqlite3_column_decltype(Stmt, i);
        C.Name = Name ? Name : "";
        if (Table && Origin) {
            C.BaseTable = Table;
            C.BaseColumn = Origin;
            C.Type = JetTypeOfDecl(Decl, C.Size);
            if (const TTableColumn *T = ColumnOf(Table, Origin)) {
                C.Nullable = !T->NotNull && T->PkIndex == 0;
                C.AutoUnique = T->Type == TJetType::Counter;
            }
            C.Updatable = true;
        } else {
            const jet::TJetSelectItem *Item = nullptr;
            size_t Seen = 0;
            for (const auto &S : Tr->SelectItems)
                if (S.Expression && Seen++ == ExprIndex) {
                    Item = &S;
                    break;
                }
            const std::string F = Item ? Item->Function : "";
            static const std::set<std::string> Aggregates = {"MIN", "MAX", "SUM", "AVG", "COUNT", "FIRST", "LAST",
                                                             "STDEV", "STDEVP", "VAR", "VARP"};
            if (Item && !Item->HasAlias)
                C.Name = Aggregates.count(F) && !Item->ArgColumn.empty() ? CapitalWord(F) + "Of" + Item->ArgColumn
                                                                        : "Expr" + std::to_string(1000 + ExprIndex);
            ++ExprIndex;
            const TTableColumn *Arg = nullptr;
            if (Item && !Item->ArgColumn.empty()) {
                const auto It = Reads.Columns.find(Upper(Item->ArgColumn));
                if (It != Reads.Columns.end())
                    Arg = ColumnOf(It->second.first, It->second.second);
            }
            if (Decl) {
                C.Type = JetTypeOfDecl(Decl, C.Size);
            } else if (F == "COUNT" || F == "LEN" || F == "INSTR" || F == "DATEDIFF" || F == "CLNG") {
                C.Type = TJetType::Long;
            } else if (F == "AVG" || F == "STDEV" || F == "STDEVP" || F == "VAR" || F == "VARP" || F == "CDBL" ||
                       F == "VAL" || F == "LOG" || F == "EXP" || F == "SQR") {
                C.Type = TJetType::Double;
            } else if (F == "MONTH" || F == "YEAR" || F == "DAY" || F == "HOUR" || F == "MINUTE" || F == "SECOND" ||
                       F == "WEEKDAY" || F == "DATEPART" || F == "CINT") {
                C.Type = TJetType::Short;
            } else if (F == "CDATE" || F == "DATEVALUE" || F == "TIMEVALUE" || F == "DATEADD" || F == "NOW" ||
                       F == "DATE" || F == "TIME" || F == "DATESERIAL" || F == "TIMESERIAL") {
                C.Type = TJetType::DateTime;
            } else if (F == "UCASE" || F == "LCASE" || F == "TRIM" || F == "LTRIM" || F == "RTRIM" || F == "MID" ||
                       F == "LEFT" || F == "RIGHT" || F == "CSTR" || F == "SPACE" || F == "CHR") {
                C.Type = TJetType::Text;
                C.Size = 255;
            } else if (F == "CBOOL" || F == "ISNULL") {
                C.Type = TJetType::YesNo;
            } else if (F == "NZ" && Arg && Arg->Type != TJetType::Text && Arg->Type != TJetType::Memo) {
                // Nz(x) alone gives a zero-length text for Null: in a query
                // Jet types it as text, whatever x is.
                C.Type = TJetType::Text;
                C.Size = 255;
            } else if (Arg && (F == "MIN" || F == "MAX" || F == "FIRST" || F == "LAST" || F == "SUM" || F == "ABS" ||
                               F == "INT" || F == "FIX" || F == "NZ")) {
                C.Type = Arg->Type == TJetType::Counter ? TJetType::Long : Arg->Type;
                C.Size = Arg->Size;
                if (F == "SUM" && (C.Type == TJetType::Byte || C.Type == TJetType::Short || C.Type == TJetType::YesNo))
                    C.Type = TJetType::Long;
            } else {
                C.Type = TJetType::Unknown; // settled by the first row's value
            }
        }
        Columns.push_back(C);
    }
}

void TDrvStatement::Unprepare(bool AWithSpare)
{
    CloseCursor();
    ReleaseStmt();
    if (AWithSpare)
        ReleaseSpare();
    LiftedValues.clear();
    JetText.clear();
    Prepared = false;
    NeedData = false;
    Columns.clear();
    // While a kept plan's translation served, the own one stayed as the
    // last Unprepare left it: empty.
    if (Tr == &OwnTr)
        OwnTr = {};
    Tr = &OwnTr;
}

void TDrvStatement::CloseCursor()
{
    HasCursor = false;
    Materialised = false;
    Rows.clear();
    RowPos = 0;
    RowPending = false;
    StepDone = false;
    RowsDelivered = 0;
    RowsetCount = 0;
    CurrentRow = 0;
    Piece = TPieceState();
    ResetStmt();
}

void TDrvStatement::SetResult(std::vector<TColumnInfo> ACols, std::vector<std::vector<TValue>> ARows)
{
    Unprepare();
    Columns = std::move(ACols);
    Rows = std::move(ARows);
    Materialised = true;
    HasCursor = true;
    RowCount = -1;
}

SQLRETURN TDrvStatement::ExecDirect(const std::string &AJetSql)
{
    Prepare(AJetSql);
    return Execute();
}

SQLRETURN TDrvStatement::Execute()
{
    if (!Prepared)
        Fail("HY010", 0, "Function sequence error: the statement is not prepared.");
    Conn->RequireOpen();
    if (HasCursor)
        CloseCursor();
    NeedData = false;
    ArrayRow = 0;
    for (int i = 1; i <= Tr->ParamCount; ++i) {
        TParamBinding &P = Params[static_cast<size_t>(i)];
        if (!P.Bound)
            Fail("07002", -3010, "COUNT field incorrect: the statement has " + std::to_string(Tr->ParamCount) +
                                     " parameter markers, parameter " + std::to_string(i) + " is not bound.");
        P.AtExec = AtExecution(*this, P, 0);
        P.Received = false;
        P.ReceivedNull = false;
        P.Received8.clear();
        NeedData = NeedData || P.AtExec;
    }
    if (ParamsetSize > 1) {
        NeedData = false;
        return RunArray();
    }
    if (NeedData) {
        NeedDataParam = 0;
        return SQL_NEED_DATA;
    }
    return RunOneSet();
}

SQLRETURN TDrvStatement::RunOneSet()
{
    SQLRETURN Rc;
    try {
        Rc = Run();
    } catch (...) {
        if (ParamStatusPtr)
            ParamStatusPtr[0] = SQL_PARAM_ERROR;
        if (ParamsProcessedPtr)
            *ParamsProcessedPtr = 1;
        throw;
    }
    if (ParamStatusPtr)
        ParamStatusPtr[0] = SQL_PARAM_SUCCESS;
    if (ParamsProcessedPtr)
        *ParamsProcessedPtr = 1;
    return Rc;
}

// An array of parameter sets: the one prepared statement runs once per set,
// in order, each set bound straight from the caller's arrays. A set is one
// SQLite statement, so a set that fails leaves nothing of itself (SQLite
// takes back what the statement changed before it failed); the array stops
// there, the status array and the processed count say which set it was and
// its record names it (SQL_DIAG_ROW_NUMBER), and the execute answers
// SQL_ERROR, so that no caller takes the sets before it for the whole. The
// sets before it stay applied in the caller's transaction, which the caller
// commits or rolls back; in autocommit mode each set commits on its own, as
// it would run alone. The row count is the sum over the sets that ran.
SQLRETURN TDrvStatement::RunArray()
{
    using K = jet::TJetStatementKind;
    const SQLULEN Sets = ParamsetSize;
    // Arrays are for writes: SQLGetInfo answers SQL_PAS_NO_SELECT.
    if (Tr->Kind != K::Insert && Tr->Kind != K::Update && Tr->Kind != K::Delete)
        Fail("HYC00", 0, "Optional feature not implemented: an array of parameter sets runs INSERT, UPDATE and "
                         "DELETE statements only.");
    for (SQLULEN R = 0; R < Sets; ++R)
        for (int i = 1; i <= Tr->ParamCount; ++i)
            if (AtExecution(*this, Params[static_cast<size_t>(i)], R))
                Fail("HYC00", 0, "Optional feature not implemented: parameter " + std::to_string(i) +
                                     " sends its data at execution in an array of parameter sets.");
    if (ParamStatusPtr)
        std::fill(ParamStatusPtr, ParamStatusPtr + Sets, static_cast<SQLUSMALLINT>(SQL_PARAM_UNUSED));
    if (ParamsProcessedPtr)
        *ParamsProcessedPtr = 0;
    struct TArrayScope {
        TDrvStatement &S;
        explicit TArrayScope(TDrvStatement &AS) : S(AS)
        {
            S.CancelRequested = false;
            S.InArray = true;
        }
        ~TArrayScope()
        {
            S.InArray = false;
            S.ArrayRow = 0;
        }
    } Scope(*this);
    SQLLEN Total = 0;
    for (SQLULEN R = 0; R < Sets; ++R) {
        ArrayRow = R;
        try {
            if (CancelRequested)
                Fail("HY008", 0, "Operation canceled.");
            Run();
        } catch (const TDrvError &E) {
            if (ParamStatusPtr)
                ParamStatusPtr[R] = SQL_PARAM_ERROR;
            if (ParamsProcessedPtr)
                *ParamsProcessedPtr = R + 1;
            RowCount = Total;
            AddDiag(E.State, E.Native,
                    E.Message + " (parameter set " + std::to_string(R + 1) + " of " + std::to_string(Sets) + ")");
            Diags.back().Row = static_cast<SQLLEN>(R + 1);
            return SQL_ERROR;
        }
        if (RowCount > 0)
            Total += RowCount;
        if (ParamStatusPtr)
            ParamStatusPtr[R] = SQL_PARAM_SUCCESS;
        if (ParamsProcessedPtr)
            *ParamsProcessedPtr = R + 1;
    }
    RowCount = Total;
    return Total == 0 && Tr->Kind != K::Insert ? SQL_NO_DATA : SQL_SUCCESS;
}

SQLRETURN TDrvStatement::ParamData(SQLPOINTER *AToken)
{
    if (!NeedData)
        Fail("HY010", 0, "Function sequence error: no parameter is waiting for data.");
    for (int i = NeedDataParam + 1; i <= Tr->ParamCount; ++i) {
        if (Params[static_cast<size_t>(i)].AtExec) {
            NeedDataParam = i;
            if (AToken)
                *AToken = Params[static_cast<size_t>(i)].Data;
            return SQL_NEED_DATA;
        }
    }
    NeedData = false;
    NeedDataParam = 0;
    return RunOneSet();
}

void TDrvStatement::PutData(SQLPOINTER AData, SQLLEN ALength)
{
    if (!NeedData || NeedDataParam == 0)
        Fail("HY010", 0, "Function sequence error: SQLPutData without a parameter asking for data.");
    TParamBinding &P = Params[static_cast<size_t>(NeedDataParam)];
    P.Received = true;
    if (ALength == SQL_NULL_DATA) {
        P.ReceivedNull = true;
        return;
    }
    const SQLSMALLINT C = P.CType == SQL_C_DEFAULT ? DefaultCType(P.SqlType) : P.CType;
    if (ALength == SQL_NTS) {
        if (C == SQL_C_WCHAR) {
            const auto *W = static_cast<const SQLWCHAR *>(AData);
            SQLLEN N = 0;
            while (W[N])
                ++N;
            ALength = N * 2;
        } else {
            ALength = static_cast<SQLLEN>(std::strlen(static_cast<const char *>(AData)));
        }
    }
    if (ALength < 0)
        Fail("HY090", 0, "Invalid string or buffer length.");
    if (!(C == SQL_C_CHAR || C == SQL_C_WCHAR || C == SQL_C_BINARY) && P.Received8.size())
        Fail("HY019", 0, "Non-character and non-binary data sent in pieces.");
    P.Received8.append(static_cast<const char *>(AData), static_cast<size_t>(ALength));
}

void TDrvStatement::BindParameters()
{
    // Every marker and every lifted literal is bound below (or the call
    // fails); only a statement with markers beyond those keeps old values.
    if (sqlite3_bind_parameter_count(Stmt) > Tr->ParamCount + static_cast<int>(LiftedValues.size()))
        sqlite3_clear_bindings(Stmt);
    const SQLLEN Offset = ParamBindOffsetPtr ? *ParamBindOffsetPtr : 0;
    for (int i = 1; i <= Tr->ParamCount; ++i) {
        const TParamBinding &P = Params[static_cast<size_t>(i)];
        const SQLSMALLINT C = P.CType == SQL_C_DEFAULT ? DefaultCType(P.SqlType) : P.CType;
        const char *Data;
        const SQLLEN *IndPtr;
        ParamAt(P, C, ArrayRow, Offset, ParamBindType, Data, IndPtr);
        SQLLEN Ind = IndPtr ? *IndPtr : SQL_NTS;
        if (P.AtExec) {
            if (!P.Received || P.ReceivedNull) {
                sqlite3_bind_null(Stmt, i);
                continue;
            }
            Data = P.Received8.data();
            Ind = static_cast<SQLLEN>(P.Received8.size());
        }
        if (Ind == SQL_NULL_DATA || (!Data && C != SQL_C_DEFAULT)) {
            sqlite3_bind_null(Stmt, i);
            continue;
        }
        switch (C) {
        case SQL_C_CHAR: {
            size_t Len;
            if (Ind == SQL_NTS)
                Len = P.BufferLength > 0 ? strnlen(Data, static_cast<size_t>(P.BufferLength)) : std::strlen(Data);
            else
                Len = static_cast<size_t>(Ind);
            BindText(Stmt, i, std::string(Data, Len), P.SqlType);
            break;
        }
        case SQL_C_WCHAR: {
            const auto *W = reinterpret_cast<const SQLWCHAR *>(Data);
            SQLLEN Chars = SQL_NTS;
            if (Ind != SQL_NTS)
                Chars = Ind / 2;
            BindText(Stmt, i, Utf16ToUtf8(W, Chars), P.SqlType);
            break;
        }
        case SQL_C_BINARY:
            sqlite3_bind_blob(Stmt, i, Data, static_cast<int>(Ind < 0 ? P.BufferLength : Ind), SQLITE_TRANSIENT);
            break;
        case SQL_C_BIT:
            sqlite3_bind_int(Stmt, i, *reinterpret_cast<const unsigned char *>(Data) ? (P.SqlType == SQL_BIT ? -1 : 1) : 0);
            break;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT: BindInteger(Stmt, i, *reinterpret_cast<const signed char *>(Data), P.SqlType); break;
        case SQL_C_UTINYINT: BindInteger(Stmt, i, *reinterpret_cast<const unsigned char *>(Data), P.SqlType); break;
        case SQL_C_SHORT:
        case SQL_C_SSHORT: BindInteger(Stmt, i, *reinterpret_cast<const short *>(Data), P.SqlType); break;
        case SQL_C_USHORT: BindInteger(Stmt, i, *reinterpret_cast<const unsigned short *>(Data), P.SqlType); break;
        case SQL_C_LONG:
        case SQL_C_SLONG: BindInteger(Stmt, i, *reinterpret_cast<const SQLINTEGER *>(Data), P.SqlType); break;
        case SQL_C_ULONG: BindInteger(Stmt, i, *reinterpret_cast<const SQLUINTEGER *>(Data), P.SqlType); break;
        case SQL_C_SBIGINT: BindInteger(Stmt, i, *reinterpret_cast<const SQLBIGINT *>(Data), P.SqlType); break;
        case SQL_C_UBIGINT:
            BindInteger(Stmt, i, static_cast<long long>(*reinterpret_cast<const SQLUBIGINT *>(Data)), P.SqlType);
            break;
        case SQL_C_FLOAT:
        case SQL_C_DOUBLE: {
            const double D = C == SQL_C_FLOAT ? static_cast<double>(*reinterpret_cast<const float *>(Data))
                                              : *reinterpret_cast<const double *>(Data);
            if (P.SqlType == SQL_BIT)
                sqlite3_bind_int(Stmt, i, D != 0 ? -1 : 0);
            else
                sqlite3_bind_double(Stmt, i, D);
            break;
        }
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE: {
            const auto *D = reinterpret_cast<const SQL_DATE_STRUCT *>(Data);
            if (!jet::ValidDate(D->year, D->month, D->day))
                Fail("22007", -3030, "Invalid datetime format: parameter " + std::to_string(i) + " is no valid date.");
            jet::TJetDateTime V{D->year, D->month, D->day};
            sqlite3_bind_double(Stmt, i, ShapeDate(jet::EncodeJetDate(V), P.SqlType));
            break;
        }
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME: {
            const auto *T = reinterpret_cast<const SQL_TIME_STRUCT *>(Data);
            if (T->hour > 23 || T->minute > 59 || T->second > 59)
                Fail("22007", -3030, "Invalid datetime format: parameter " + std::to_string(i) + " is no valid time.");
            jet::TJetDateTime V;
            V.Hour = T->hour;
            V.Minute = T->minute;
            V.Second = T->second;
            sqlite3_bind_double(Stmt, i, jet::EncodeJetDate(V));
            break;
        }
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            const auto *T = reinterpret_cast<const SQL_TIMESTAMP_STRUCT *>(Data);
            const bool TimeOnly = IsTimeOnly(P.SqlType);
            if ((!TimeOnly && !jet::ValidDate(T->year, T->month, T->day)) || T->hour > 23 || T->minute > 59 ||
                T->second > 59 || T->fraction >= 1000000000u)
                Fail("22007", -3030, "Invalid datetime format: parameter " + std::to_string(i) + " is no valid timestamp.");
            jet::TJetDateTime V;
            if (!TimeOnly) {
                V.Year = T->year;
                V.Month = T->month;
                V.Day = T->day;
            }
            V.Hour = T->hour;
            V.Minute = T->minute;
            V.Second = T->second;
            V.Millisecond = static_cast<int>((T->fraction + 500000u) / 1000000u);
            if (V.Millisecond == 1000)
                V.Millisecond = 999;
            sqlite3_bind_double(Stmt, i, ShapeDate(jet::EncodeJetDate(V), P.SqlType));
            break;
        }
        default:
            Fail("HYC00", 0, "Optional feature not implemented: C type " + std::to_string(C) + " for parameter " +
                                 std::to_string(i) + ".");
        }
    }
    // The literals the translation lifted follow the markers.
    int Slot = Tr->ParamCount;
    for (const TValue &V : LiftedValues) {
        ++Slot;
        if (V.Kind == SQLITE_INTEGER)
            sqlite3_bind_int64(Stmt, Slot, V.I);
        else if (V.Kind == SQLITE_FLOAT)
            sqlite3_bind_double(Stmt, Slot, V.D);
        else
            sqlite3_bind_text(Stmt, Slot, V.S.data(), static_cast<int>(V.S.size()), SQLITE_STATIC);
    }
}

SQLRETURN TDrvStatement::Run()
{
    RowCount = -1;
    Conn->BeginIfManual();
    if (Tr->Kind == jet::TJetStatementKind::SelectInto) {
        RunSelectInto();
        return SQL_SUCCESS;
    }
    ResetStmt();
    BindParameters();
    const bool Ddl = Tr->Kind == jet::TJetStatementKind::CreateTable || Tr->Kind == jet::TJetStatementKind::DropTable ||
                     (Tr->Kind == jet::TJetStatementKind::Other && !Tr->Columns.empty());
    if (Ddl)
        Conn->Exec("SAVEPOINT jet_ddl");
    // A cancel that came between two sets of an array still stands.
    if (!InArray)
        CancelRequested = false;
    Executing = true;
    const bool Guarded = !JetText.empty();
    Conn->RefuseCompile = Guarded;
    Conn->CompileRefused = false;
    const int Rc = Step();
    Conn->RefuseCompile = false;
    Executing = false;
    if (Guarded && Conn->CompileRefused) {
        // The schema changed since the statement was kept: SQLite stopped
        // before its first row. The text is prepared anew, as a text never
        // seen, and run.
        ResetStmt();
        const std::string Text = JetText;
        Conn->Plans().Invalidate();
        Prepare(Text);
        return Run();
    }
    try {
        if (Rc != SQLITE_ROW && Rc != SQLITE_DONE) {
            ResetStmt();
            SqliteFail(Rc);
        }
        if (sqlite3_column_count(Stmt) > 0) {
            HasCursor = true;
            RowPending = Rc == SQLITE_ROW;
            StepDone = Rc == SQLITE_DONE;
            // Expression columns whose type only a value tells.
            for (size_t i = 0; i < Columns.size(); ++i) {
                if (Columns[i].Type != TJetType::Unknown)
                    continue;
                const int K = RowPending ? sqlite3_column_type(Stmt, static_cast<int>(i)) : SQLITE_NULL;
                Columns[i].Type = K == SQLITE_INTEGER ? TJetType::Long
                                 : K == SQLITE_TEXT   ? TJetType::Text
                                 : K == SQLITE_BLOB   ? TJetType::LongBinary
                                                      : TJetType::Double;
                if (Columns[i].Type == TJetType::Text)
                    Columns[i].Size = 255;
            }
            return SQL_SUCCESS;
        }
        RowCount = sqlite3_changes(Conn->Db);
        ResetStmt();
        AfterStatement();
        if (Ddl)
            Conn->Exec("RELEASE jet_ddl");
    } catch (...) {
        if (Ddl) {
            sqlite3_exec(Conn->Db, "ROLLBACK TO jet_ddl", nullptr, nullptr, nullptr);
            sqlite3_exec(Conn->Db, "RELEASE jet_ddl", nullptr, nullptr, nullptr);
        }
        throw;
    }
    if ((Tr->Kind == jet::TJetStatementKind::Update || Tr->Kind == jet::TJetStatementKind::Delete) && RowCount == 0)
        return SQL_NO_DATA;
    if (Tr->Kind != jet::TJetStatementKind::Insert && Tr->Kind != jet::TJetStatementKind::Update &&
        Tr->Kind != jet::TJetStatementKind::Delete)
        RowCount = -1;
    return SQL_SUCCESS;
}

// The driver's bookkeeping after a statement changed the schema or inserted:
// COUNTER columns get their next value from MSysMarlinCounters through two
// triggers per column, and @@IDENTITY reads the value of the last insert.
void TDrvStatement::AfterStatement()
{
    using K = jet::TJetStatementKind;
    // An UPDATE or DELETE (a write-back sends a million) has nothing to keep.
    if (Tr->Kind == K::Update || Tr->Kind == K::Delete || (Tr->Kind == K::Insert && RowCount <= 0))
        return;
    const std::string Q = jet::QuoteSqliteName(CounterTable);
    if (Tr->Kind == K::CreateTable || (Tr->Kind == K::Other && !Tr->Columns.empty())) {
        for (const auto &C : Tr->Columns) {
            if (C.Type == "YESNO") {
                // Jet stores every true value as -1, whatever number was written.
                const std::string T = jet::QuoteSqliteName(Tr->TargetTable), Col = jet::QuoteSqliteName(C.Name);
                const std::string Fix = " FOR EACH ROW WHEN NEW." + Col + " NOT IN (0, -1) BEGIN UPDATE " + T + " SET " +
                                        Col + " = -1 WHERE rowid = NEW.rowid; END";
                Conn->Exec("CREATE TRIGGER " + jet::QuoteSqliteName(Tr->TargetTable + "$" + C.Name + "$yesno") +
                           " AFTER INSERT ON " + T + Fix);
                Conn->Exec("CREATE TRIGGER " + jet::QuoteSqliteName(Tr->TargetTable + "$" + C.Name + "$yesnoupd") +
                           " AFTER UPDATE OF " + Col + " ON " + T + Fix);
            }
            if (C.Type != "COUNTER")
                continue;
            const std::string T = jet::QuoteSqliteName(Tr->TargetTable), Col = jet::QuoteSqliteName(C.Name);
            const std::string Where = " WHERE TableName = " + SqlString(Tr->TargetTable) + " AND ColumnName = " + SqlString(C.Name);
            Conn->Exec("CREATE TABLE IF NOT EXISTS " + Q +
                       " (TableName TEXT(64) COLLATE NOCASE, ColumnName TEXT(64) COLLATE NOCASE, NextValue LONG,"
                       " PRIMARY KEY (TableName, ColumnName))");
            Conn->Exec("INSERT OR REPLACE INTO " + Q + " VALUES (" + SqlString(Tr->TargetTable) + ", " + SqlString(C.Name) + ", 1)");
            Conn->Exec("CREATE TRIGGER " + jet::QuoteSqliteName(Tr->TargetTable + "$" + C.Name + "$counter") +
                       " AFTER INSERT ON " + T + " FOR EACH ROW WHEN NEW." + Col + " IS NULL BEGIN UPDATE " + T +
                       " SET " + Col + " = (SELECT NextValue FROM " + Q + Where + ") WHERE rowid = NEW.rowid; UPDATE " +
                       Q + " SET NextValue = NextValue + 1" + Where + "; END");
            Conn->Exec("CREATE TRIGGER " + jet::QuoteSqliteName(Tr->TargetTable + "$" + C.Name + "$seed") +
                       " AFTER INSERT ON " + T + " FOR EACH ROW WHEN NEW." + Col + " IS NOT NULL BEGIN UPDATE " + Q +
                       " SET NextValue = max(NextValue, NEW." + Col + " + 1)" + Where + "; END");
        }
    } else if (Tr->Kind == K::DropTable) {
        if (Conn->TableExists(CounterTable))
            Conn->Exec("DELETE FROM " + Q + " WHERE TableName = " + SqlString(Tr->TargetTable));
    } else if (Tr->Kind == K::Insert && RowCount > 0 && !Tr->TargetTable.empty()) {
        if (!Conn->TableExists(CounterTable))
            return;
        const char *What = "read the inserted row's COUNTER value";
        std::string Col;
        {
            TDrvQuery Ask(Conn->Db, "SELECT ColumnName FROM " + Q + " WHERE TableName = ?1", What);
            Ask.Bind(1, Tr->TargetTable);
            if (Ask.Next())
                Col = Ask.Text(0);
        }
        if (Col.empty())
            return;
        TDrvQuery Ask(Conn->Db, "SELECT " + jet::QuoteSqliteName(Col) + " FROM " + jet::QuoteSqliteName(Tr->TargetTable) +
                                  " WHERE rowid = ?1", What);
        Ask.Bind(1, static_cast<std::int64_t>(sqlite3_last_insert_rowid(Conn->Db)));
        if (Ask.Next())
            Conn->Identity = Ask.Int(0);
    }
}

// SELECT ... INTO t: t is made with the source columns' declared Jet types
// (a COUNTER becomes LONG: the values are copied, not numbered again), then
// filled, all in one savepoint.
void TDrvStatement::RunSelectInto()
{
    if (Conn->TableExists(Tr->TargetTable))
        Fail("42S01", -1303, "Table '" + Tr->TargetTable + "' already exists.");
    std::string Ddl = "CREATE TABLE " + jet::QuoteSqliteName(Tr->TargetTable) + " (";
    std::set<std::string> Names;
    for (size_t i = 0; i < Columns.size(); ++i) {
        const TColumnInfo &C = Columns[i];
        std::string Name = C.Name;
        while (!Names.insert(Upper(Name)).second)
            Name += "1";
        const char *Decl = sqlite3_column_decltype(Stmt, static_cast<int>(i));
        std::string Type;
        switch (C.Type) {
        case TJetType::Counter: Type = "LONG"; break;
        case TJetType::Text: Type = "TEXT(" + std::to_string(C.Size ? C.Size : 255) + ")"; break;
        case TJetType::Binary: Type = "BINARY(" + std::to_string(C.Size) + ")"; break;
        case TJetType::Unknown: Type = "DOUBLE"; break;
        default: Type = Decl ? Upper(Decl) : TypeNameOf(C.Type);
        }
        if (C.Type == TJetType::Long) Type = "LONG";
        if (C.Type == TJetType::Short) Type = "SHORT";
        if (C.Type == TJetType::Byte) Type = "BYTE";
        if (C.Type == TJetType::Single) Type = "SINGLE";
        if (C.Type == TJetType::Double) Type = "DOUBLE";
        if (C.Type == TJetType::DateTime) Type = "DATETIME";
        if (C.Type == TJetType::YesNo) Type = "YESNO";
        if (C.Type == TJetType::Currency) Type = "CURRENCY";
        if (C.Type == TJetType::Memo) Type = "LONGTEXT";
        if (C.Type == TJetType::LongBinary) Type = "LONGBINARY";
        if (i)
            Ddl += ", ";
        Ddl += jet::QuoteSqliteName(Name) + " " + Type;
        if (C.Type == TJetType::Text || C.Type == TJetType::Memo)
            Ddl += " COLLATE NOCASE";
        if (C.Type == TJetType::Text)
            Ddl += " CONSTRAINT " + jet::QuoteSqliteName(Name + "$size") + " CHECK (length(" + jet::QuoteSqliteName(Name) +
                   ") <= " + std::to_string(C.Size ? C.Size : 255) + ")";
    }
    Ddl += ")";
    Conn->Exec("SAVEPOINT jet_into");
    try {
        Conn->Exec(Ddl);
        const std::string Insert = "INSERT INTO " + jet::QuoteSqliteName(Tr->TargetTable) + " " + Tr->Sql;
        sqlite3_stmt *Ins = nullptr;
        int Rc = sqlite3_prepare_v2(Conn->Db, Insert.c_str(), -1, &Ins, nullptr);
        if (Rc != SQLITE_OK) {
            sqlite3_finalize(Ins);
            SqliteFail(Rc);
        }
        std::swap(Stmt, Ins);
        try {
            BindParameters();
        } catch (...) {
            std::swap(Stmt, Ins);
            sqlite3_finalize(Ins);
            throw;
        }
        CancelRequested = false;
        Executing = true;
        Rc = sqlite3_step(Stmt);
        Executing = false;
        std::swap(Stmt, Ins);
        if (Rc != SQLITE_DONE) {
            sqlite3_finalize(Ins);
            SqliteFail(Rc);
        }
        sqlite3_finalize(Ins);
        RowCount = sqlite3_changes(Conn->Db);
        Conn->Exec("RELEASE jet_into");
    } catch (...) {
        sqlite3_exec(Conn->Db, "ROLLBACK TO jet_into", nullptr, nullptr, nullptr);
        sqlite3_exec(Conn->Db, "RELEASE jet_into", nullptr, nullptr, nullptr);
        throw;
    }
}

SQLRETURN TDrvStatement::WriteRow(SQLULEN ARow, SQLUSMALLINT &AStatus)
{
    SQLRETURN Result = SQL_SUCCESS;
    bool Failed = false;
    const SQLLEN Offset = RowBindOffsetPtr ? *RowBindOffsetPtr : 0;
    const size_t N = Columns.size();
    std::vector<TValue> *Cache = nullptr;
    if (Rowset.size() <= ARow)
        Rowset.resize(ARow + 1);
    Cache = &Rowset[ARow];
    Cache->resize(N + 1);
    // A value kept for SQLGetData: as far as SQL_ATTR_MAX_LENGTH lets it be
    // read (in UTF-8, up to three bytes a UTF-16 unit), else whole.
    const auto Keep = [this](TValue &ADst, TValueView AValue) {
        if (MaxLength)
            AValue.N = std::min<size_t>(AValue.N, 2 * MaxLength);
        CopyInto(ADst, AValue);
    };
    for (size_t c = 1; c <= N; ++c) {
        const TValueView V = Materialised ? ViewOf(Rows[RowPos - 1][c - 1]) : ViewOf(Stmt, static_cast<int>(c - 1));
        const TColBinding *B = c < Bindings.size() ? &Bindings[c] : nullptr;
        if (!B || !B->Bound()) {
            Keep((*Cache)[c], V);
            continue;
        }
        const SQLSMALLINT CType = B->CType == SQL_C_DEFAULT ? DefaultCType(SqlTypeOf(Columns[c - 1].Type)) : B->CType;
        char *Data = static_cast<char *>(B->Data);
        SQLLEN *Ind = B->Indicator;
        if (RowBindType == SQL_BIND_BY_COLUMN) {
            if (Data)
                Data += ARow * CTypeSize(CType, B->BufferLength) + static_cast<size_t>(Offset);
            if (Ind)
                Ind = reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(Ind + ARow) + Offset);
        } else {
            if (Data)
                Data += ARow * RowBindType + static_cast<size_t>(Offset);
            if (Ind)
                Ind = reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(Ind) + ARow * RowBindType + Offset);
        }
        try {
            if (PutValue(V, Columns[c - 1], CType, Data, B->BufferLength, Ind, nullptr, *this, MaxLength) ==
                SQL_SUCCESS_WITH_INFO) {
                Result = SQL_SUCCESS_WITH_INFO;
                // A value its buffer cut (01004) is kept, so that the caller
                // can unbind the column and read it with SQLGetData.
                if (CType == SQL_C_CHAR || CType == SQL_C_WCHAR || CType == SQL_C_BINARY)
                    Keep((*Cache)[c], V);
            } else if ((*Cache)[c].Kind != SQLITE_NULL)
                (*Cache)[c] = TValue();
        } catch (const TDrvError &E) {
            // A stored value the bound type cannot take (a text that is no
            // date, say) is no value of the row: the row's other columns are
            // read as stored, and the record names the row and the column.
            if (!Ind)
                throw;
            *Ind = SQL_NULL_DATA;
            AddDiag(E.State, E.Native, E.Message + " (column " + Columns[c - 1].Name + ")");
            Diags.back().Row = static_cast<SQLLEN>(ARow + 1);
            Diags.back().Column = static_cast<SQLINTEGER>(c);
            Failed = true;
        }
    }
    AStatus = Failed ? SQL_ROW_ERROR : Result == SQL_SUCCESS ? SQL_ROW_SUCCESS : SQL_ROW_SUCCESS_WITH_INFO;
    return Failed ? SQL_SUCCESS_WITH_INFO : Result;
}

SQLRETURN TDrvStatement::Fetch()
{
    if (!HasCursor)
        Fail("24000", 0, "Invalid cursor state: no result set is open.");
    Piece = TPieceState();
    CurrentRow = 0;
    SQLULEN Count = 0;
    SQLRETURN Result = SQL_SUCCESS;
    const SQLULEN Size = RowArraySize ? RowArraySize : 1;
    for (; Count < Size; ++Count) {
        if (MaxRows && RowsDelivered >= MaxRows)
            break;
        if (Materialised) {
            if (RowPos >= Rows.size())
                break;
            ++RowPos;
        } else if (RowPending) {
            RowPending = false;
        } else {
            if (StepDone)
                break;
            CancelRequested = false;
            Executing = true;
            const int Rc = Step();
            Executing = false;
            if (Rc == SQLITE_DONE) {
                StepDone = true;
                break;
            }
            if (Rc != SQLITE_ROW) {
                StepDone = true;
                SqliteFail(Rc);
            }
        }
        SQLUSMALLINT Status = SQL_ROW_SUCCESS;
        SQLRETURN Rc;
        try {
            Rc = WriteRow(Count, Status);
        } catch (const TDrvError &E) {
            if (Size == 1)
                throw;
            AddDiag(E.State, E.Native, E.Message);
            Status = SQL_ROW_ERROR;
            Rc = SQL_SUCCESS_WITH_INFO;
        }
        if (Rc == SQL_SUCCESS_WITH_INFO)
            Result = SQL_SUCCESS_WITH_INFO;
        if (RowStatusPtr)
            RowStatusPtr[Count] = Status;
        ++RowsDelivered;
    }
    RowsetCount = Count;
    if (RowsFetchedPtr)
        *RowsFetchedPtr = Count;
    if (RowStatusPtr)
        for (SQLULEN i = Count; i < Size; ++i)
            RowStatusPtr[i] = SQL_ROW_NOROW;
    if (Count == 0)
        return SQL_NO_DATA;
    return Result;
}

SQLRETURN TDrvStatement::GetData(SQLUSMALLINT ACol, SQLSMALLINT ACType, SQLPOINTER ABuf, SQLLEN ALen, SQLLEN *AInd)
{
    if (!HasCursor || RowsetCount == 0)
        Fail("24000", 0, "Invalid cursor state: no row is positioned.");
    if (ACol == 0)
        Fail("07009", 0, "Invalid descriptor index: bookmarks are not supported.");
    const TColumnInfo &C = Column(ACol);
    if (ACol < Bindings.size() && Bindings[ACol].Bound())
        Fail("07009", 0, "Invalid descriptor index: column " + std::to_string(ACol) +
                             " is bound; SQLGetData reads unbound columns only.");
    if (ALen < 0)
        Fail("HY090", 0, "Invalid string or buffer length.");
    if (Piece.Column != ACol) {
        Piece = TPieceState();
        Piece.Column = ACol;
    }
    return PutValue(ViewOf(Rowset[CurrentRow][ACol]), C, ACType, ABuf, ALen, AInd, &Piece, *this, MaxLength);
}

void TDrvStatement::SetPos(SQLSETPOSIROW ARow, SQLUSMALLINT AOp)
{
    if (AOp != SQL_POSITION)
        Fail("HYC00", 0, "Optional feature not implemented: SQLSetPos serves SQL_POSITION only (the cursor is read-only).");
    if (!HasCursor || RowsetCount == 0)
        Fail("24000", 0, "Invalid cursor state: no rowset is fetched.");
    if (ARow < 1 || ARow > RowsetCount)
        Fail("HY107", 0, "Row value out of range: row " + std::to_string(ARow) + " of a rowset of " +
                             std::to_string(RowsetCount) + ".");
    CurrentRow = ARow - 1;
    Piece = TPieceState();
}

SQLRETURN TDrvStatement::MoreResults()
{
    // One statement gives one result; asking for the next one closes it.
    if (HasCursor)
        CloseCursor();
    return SQL_NO_DATA;
}

void TDrvStatement::Cancel()
{
    if (NeedData) {
        NeedData = false;
        NeedDataParam = 0;
        return;
    }
    if ((Executing || InArray) && Conn->Db) {
        CancelRequested = true;
        sqlite3_interrupt(Conn->Db);
    }
}

} // namespace accessodbc
