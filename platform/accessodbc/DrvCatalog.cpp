// The ODBC catalog functions over the station database's schema, in their
// ODBC 3 result layouts. An unknown table gives an empty result, not an error.
#include "platform/accessodbc/DrvGuard.h"
#include "platform/accessodbc/DrvQuery.h"

#include <sqlite3.h>

#include <algorithm>

namespace accessodbc {

namespace {

std::string Upper(std::string S) { return jet::UpperAscii(std::move(S)); }

const char *const CatalogWhat = "read the database's catalog";

TColumnInfo TextCol(const char *AName, int ASize = 128)
{
    TColumnInfo C;
    C.Name = AName;
    C.Type = TJetType::Text;
    C.Size = ASize;
    return C;
}
TColumnInfo ShortCol(const char *AName)
{
    TColumnInfo C;
    C.Name = AName;
    C.Type = TJetType::Short;
    return C;
}
TColumnInfo LongCol(const char *AName)
{
    TColumnInfo C;
    C.Name = AName;
    C.Type = TJetType::Long;
    return C;
}

TValue Str(const std::string &S) { return TValue::Text(S); }
TValue Int(std::int64_t V) { return TValue::Int(V); }
TValue Null() { return TValue::Null(); }

// Search patterns of the catalog functions: % and _ wildcards, case-insensitive.
bool Matches(const std::string &APattern, const std::string &AName)
{
    if (APattern.empty() || APattern == "%")
        return true;
    const std::string P = Upper(APattern), N = Upper(AName);
    std::vector<std::vector<bool>> M(P.size() + 1, std::vector<bool>(N.size() + 1, false));
    M[0][0] = true;
    for (size_t i = 1; i <= P.size(); ++i) {
        if (P[i - 1] == '%')
            M[i][0] = M[i - 1][0];
        for (size_t j = 1; j <= N.size(); ++j) {
            if (P[i - 1] == '%')
                M[i][j] = M[i - 1][j] || M[i][j - 1];
            else if (P[i - 1] == '_' || P[i - 1] == N[j - 1])
                M[i][j] = M[i - 1][j - 1];
        }
    }
    return M[P.size()][N.size()];
}

struct TTableEntry {
    std::string Name;
    std::string Type; // TABLE, VIEW, SYSTEM TABLE
};

std::vector<TTableEntry> AllTables(TDrvConnection &C)
{
    std::vector<TTableEntry> R;
    TDrvQuery Q(C.Db, "SELECT name, type FROM sqlite_master WHERE type IN ('table','view') "
                      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name COLLATE NOCASE",
                CatalogWhat);
    while (Q.Next()) {
        TTableEntry E;
        E.Name = Q.Text(0);
        const std::string T = Q.Text(1);
        E.Type = T == "view" ? "VIEW" : Upper(E.Name).rfind("MSYS", 0) == 0 ? "SYSTEM TABLE" : "TABLE";
        R.push_back(E);
    }
    return R;
}

std::string ExactTable(TDrvConnection &C, const std::string &ATable)
{
    std::string Exact;
    return C.TableExists(ATable, &Exact) ? Exact : std::string();
}

TValue CatalogValue(TDrvConnection &C) { return Str(C.CatalogName()); }

// The primary key's columns in key order.
std::vector<TTableColumn> PrimaryKeyColumns(TDrvConnection &C, const std::string &ATable)
{
    std::vector<TTableColumn> Key;
    for (const auto &Col : C.TableColumns(ATable))
        if (Col.PkIndex > 0)
            Key.push_back(Col);
    std::sort(Key.begin(), Key.end(), [](const TTableColumn &A, const TTableColumn &B) { return A.PkIndex < B.PkIndex; });
    return Key;
}

} // namespace

void CatalogTables(TDrvStatement &S, const std::string &ATable, const std::string &ATypes)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {TextCol("TABLE_CAT"), TextCol("TABLE_SCHEM"), TextCol("TABLE_NAME"),
                                     TextCol("TABLE_TYPE"), TextCol("REMARKS", 254)};
    std::vector<std::string> Types;
    {
        std::string T;
        for (char Ch : ATypes + ",") {
            if (Ch == ',') {
                T.erase(0, T.find_first_not_of(" '"));
                T.erase(T.find_last_not_of(" '") + 1);
                if (!T.empty())
                    Types.push_back(Upper(T));
                T.clear();
            } else {
                T += Ch;
            }
        }
    }
    std::vector<std::vector<TValue>> Rows;
    if (ATypes == "%" && ATable.empty()) {
        for (const char *T : {"SYSTEM TABLE", "TABLE", "VIEW"})
            Rows.push_back({Null(), Null(), Null(), Str(T), Null()});
    } else {
        for (const auto &E : AllTables(C)) {
            if (!Matches(ATable, E.Name))
                continue;
            if (!Types.empty() && std::find(Types.begin(), Types.end(), E.Type) == Types.end() &&
                std::find(Types.begin(), Types.end(), "%") == Types.end())
                continue;
            Rows.push_back({CatalogValue(C), Null(), Str(E.Name), Str(E.Type), Null()});
        }
    }
    S.SetResult(Cols, Rows);
}

void CatalogColumns(TDrvStatement &S, const std::string &ATable, const std::string &AColumn)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {
        TextCol("TABLE_CAT"), TextCol("TABLE_SCHEM"), TextCol("TABLE_NAME"), TextCol("COLUMN_NAME"),
        ShortCol("DATA_TYPE"), TextCol("TYPE_NAME"), LongCol("COLUMN_SIZE"), LongCol("BUFFER_LENGTH"),
        ShortCol("DECIMAL_DIGITS"), ShortCol("NUM_PREC_RADIX"), ShortCol("NULLABLE"), TextCol("REMARKS", 254),
        TextCol("COLUMN_DEF", 254), ShortCol("SQL_DATA_TYPE"), ShortCol("SQL_DATETIME_SUB"),
        LongCol("CHAR_OCTET_LENGTH"), LongCol("ORDINAL_POSITION"), TextCol("IS_NULLABLE", 254)};
    std::vector<std::vector<TValue>> Rows;
    for (const auto &E : AllTables(C)) {
        if (!Matches(ATable, E.Name))
            continue;
        int Pos = 0;
        for (const auto &Col : C.TableColumns(E.Name)) {
            ++Pos;
            if (!Matches(AColumn, Col.Name))
                continue;
            const SQLSMALLINT T = SqlTypeOf(Col.Type);
            const bool Nullable = !Col.NotNull && Col.PkIndex == 0;
            const bool Numeric = T == SQL_TINYINT || T == SQL_SMALLINT || T == SQL_INTEGER || T == SQL_REAL ||
                                 T == SQL_DOUBLE || T == SQL_NUMERIC;
            const bool Chars = T == SQL_VARCHAR || T == SQL_LONGVARCHAR || T == SQL_VARBINARY || T == SQL_LONGVARBINARY;
            Rows.push_back({CatalogValue(C), Null(), Str(E.Name), Str(Col.Name), Int(T), Str(TypeNameOf(Col.Type)),
                            Int(static_cast<std::int64_t>(ColumnSizeOf(Col.Type, Col.Size))),
                            Int(OctetLengthOf(Col.Type, Col.Size)),
                            T == SQL_NUMERIC || T == SQL_TYPE_TIMESTAMP || T == SQL_TINYINT || T == SQL_SMALLINT || T == SQL_INTEGER
                                ? Int(DecimalDigitsOf(Col.Type)) : Null(),
                            Numeric ? Int(T == SQL_REAL || T == SQL_DOUBLE ? 2 : 10) : Null(),
                            Int(Nullable ? SQL_NULLABLE : SQL_NO_NULLS), Null(),
                            Col.HasDefault ? Str(Col.Default) : Null(),
                            Int(T == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : T),
                            T == SQL_TYPE_TIMESTAMP ? Int(SQL_CODE_TIMESTAMP) : Null(),
                            Chars ? Int(OctetLengthOf(Col.Type, Col.Size)) : Null(), Int(Pos),
                            Str(Nullable ? "YES" : "NO")});
        }
    }
    S.SetResult(Cols, Rows);
}

namespace {

struct TIndex {
    std::string Name;
    bool Unique = false;
    bool Primary = false;
    std::vector<std::string> Columns;
};

std::vector<TIndex> Indexes(TDrvConnection &C, const std::string &ATable)
{
    std::vector<TIndex> R;
    {
        TDrvQuery Q(C.Db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY name", CatalogWhat);
        Q.Bind(1, ATable);
        while (Q.Next()) {
            TIndex I;
            I.Name = Q.Text(0);
            I.Unique = Q.Int(1) != 0;
            I.Primary = Q.Text(2) == "pk";
            R.push_back(I);
        }
    }
    for (auto &I : R) {
        TDrvQuery Q(C.Db, "SELECT name FROM pragma_index_info(?1) ORDER BY seqno", CatalogWhat);
        Q.Bind(1, I.Name);
        while (Q.Next())
            I.Columns.push_back(Q.Text(0));
        // Jet calls the primary key's index PrimaryKey.
        if (I.Primary)
            I.Name = "PrimaryKey";
    }
    return R;
}

} // namespace

void CatalogStatistics(TDrvStatement &S, const std::string &ATable, SQLUSMALLINT AUnique)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {
        TextCol("TABLE_CAT"), TextCol("TABLE_SCHEM"), TextCol("TABLE_NAME"), ShortCol("NON_UNIQUE"),
        TextCol("INDEX_QUALIFIER"), TextCol("INDEX_NAME"), ShortCol("TYPE"), ShortCol("ORDINAL_POSITION"),
        TextCol("COLUMN_NAME"), TextCol("ASC_OR_DESC", 1), LongCol("CARDINALITY"), LongCol("PAGES"),
        TextCol("FILTER_CONDITION")};
    std::vector<std::vector<TValue>> Rows;
    const std::string T = ExactTable(C, ATable);
    if (!T.empty()) {
        Rows.push_back({CatalogValue(C), Null(), Str(T), Null(), Null(), Null(), Int(SQL_TABLE_STAT), Null(), Null(),
                        Null(), Null(), Null(), Null()});
        for (const auto &I : Indexes(C, T)) {
            if (AUnique == SQL_INDEX_UNIQUE && !I.Unique)
                continue;
            for (size_t k = 0; k < I.Columns.size(); ++k)
                Rows.push_back({CatalogValue(C), Null(), Str(T), Int(I.Unique ? SQL_FALSE : SQL_TRUE), Str(T),
                                Str(I.Name), Int(SQL_INDEX_OTHER), Int(static_cast<std::int64_t>(k) + 1),
                                Str(I.Columns[k]), Str("A"), Null(), Null(), Null()});
        }
    }
    S.SetResult(Cols, Rows);
}

void CatalogPrimaryKeys(TDrvStatement &S, const std::string &ATable)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {TextCol("TABLE_CAT"), TextCol("TABLE_SCHEM"), TextCol("TABLE_NAME"),
                                     TextCol("COLUMN_NAME"), ShortCol("KEY_SEQ"), TextCol("PK_NAME")};
    std::vector<std::vector<TValue>> Rows;
    const std::string T = ExactTable(C, ATable);
    if (!T.empty()) {
        const std::vector<TTableColumn> Key = PrimaryKeyColumns(C, T);
        for (const auto &Col : Key)
            Rows.push_back({CatalogValue(C), Null(), Str(T), Str(Col.Name), Int(Col.PkIndex), Str("PrimaryKey")});
    }
    S.SetResult(Cols, Rows);
}

void CatalogSpecialColumns(TDrvStatement &S, SQLUSMALLINT AType, const std::string &ATable)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {ShortCol("SCOPE"), TextCol("COLUMN_NAME"), ShortCol("DATA_TYPE"),
                                     TextCol("TYPE_NAME"), LongCol("COLUMN_SIZE"), LongCol("BUFFER_LENGTH"),
                                     ShortCol("DECIMAL_DIGITS"), ShortCol("PSEUDO_COLUMN")};
    std::vector<std::vector<TValue>> Rows;
    const std::string T = ExactTable(C, ATable);
    if (!T.empty() && AType == SQL_BEST_ROWID) {
        const std::vector<TTableColumn> Key = PrimaryKeyColumns(C, T);
        for (const auto &Col : Key)
            Rows.push_back({Int(SQL_SCOPE_SESSION), Str(Col.Name), Int(SqlTypeOf(Col.Type)), Str(TypeNameOf(Col.Type)),
                            Int(static_cast<std::int64_t>(ColumnSizeOf(Col.Type, Col.Size))),
                            Int(OctetLengthOf(Col.Type, Col.Size)), Int(DecimalDigitsOf(Col.Type)),
                            Int(SQL_PC_NOT_PSEUDO)});
    }
    S.SetResult(Cols, Rows);
}

void CatalogForeignKeys(TDrvStatement &S, const std::string &APkTable, const std::string &AFkTable)
{
    TDrvConnection &C = *S.Conn;
    C.RequireOpen();
    std::vector<TColumnInfo> Cols = {
        TextCol("PKTABLE_CAT"), TextCol("PKTABLE_SCHEM"), TextCol("PKTABLE_NAME"), TextCol("PKCOLUMN_NAME"),
        TextCol("FKTABLE_CAT"), TextCol("FKTABLE_SCHEM"), TextCol("FKTABLE_NAME"), TextCol("FKCOLUMN_NAME"),
        ShortCol("KEY_SEQ"), ShortCol("UPDATE_RULE"), ShortCol("DELETE_RULE"), TextCol("FK_NAME"), TextCol("PK_NAME"),
        ShortCol("DEFERRABILITY")};
    std::vector<std::vector<TValue>> Rows;
    auto Rule = [](const std::string &R) -> std::int64_t {
        const std::string U = Upper(R);
        if (U == "CASCADE") return SQL_CASCADE;
        if (U == "SET NULL") return SQL_SET_NULL;
        if (U == "SET DEFAULT") return SQL_SET_DEFAULT;
        if (U == "RESTRICT") return SQL_RESTRICT;
        return SQL_NO_ACTION;
    };
    for (const auto &E : AllTables(C)) {
        if (!AFkTable.empty() && Upper(E.Name) != Upper(AFkTable))
            continue;
        TDrvQuery St(C.Db, "SELECT id, seq, \"table\", \"from\", \"to\", on_update, on_delete "
                           "FROM pragma_foreign_key_list(?1) ORDER BY id, seq",
                     CatalogWhat);
        St.Bind(1, E.Name);
        while (St.Next()) {
            const std::string PkTable = St.Text(2);
            if (!APkTable.empty() && Upper(PkTable) != Upper(APkTable))
                continue;
            const std::string From = St.Text(3);
            std::string ToCol = St.IsNull(4) ? std::string() : St.Text(4);
            if (ToCol.empty()) // a reference to the other table's primary key
                for (const auto &Col : C.TableColumns(PkTable))
                    if (Col.PkIndex == St.Int(1) + 1)
                        ToCol = Col.Name;
            const std::string FkName = E.Name + PkTable + std::to_string(St.Int(0));
            Rows.push_back({CatalogValue(C), Null(), Str(PkTable), Str(ToCol), CatalogValue(C), Null(), Str(E.Name),
                            Str(From), Int(St.Int(1) + 1), Int(Rule(St.Text(5))), Int(Rule(St.Text(6))), Str(FkName),
                            Str("PrimaryKey"), Int(SQL_NOT_DEFERRABLE)});
        }
    }
    S.SetResult(Cols, Rows);
}

void CatalogProcedures(TDrvStatement &S)
{
    S.Conn->RequireOpen();
    S.SetResult({TextCol("PROCEDURE_CAT"), TextCol("PROCEDURE_SCHEM"), TextCol("PROCEDURE_NAME"),
                 ShortCol("NUM_INPUT_PARAMS"), ShortCol("NUM_OUTPUT_PARAMS"), ShortCol("NUM_RESULT_SETS"),
                 TextCol("REMARKS", 254), ShortCol("PROCEDURE_TYPE")},
                {});
}

void CatalogProcedureColumns(TDrvStatement &S)
{
    S.Conn->RequireOpen();
    S.SetResult({TextCol("PROCEDURE_CAT"), TextCol("PROCEDURE_SCHEM"), TextCol("PROCEDURE_NAME"),
                 TextCol("COLUMN_NAME"), ShortCol("COLUMN_TYPE"), ShortCol("DATA_TYPE"), TextCol("TYPE_NAME"),
                 LongCol("COLUMN_SIZE"), LongCol("BUFFER_LENGTH"), ShortCol("DECIMAL_DIGITS"),
                 ShortCol("NUM_PREC_RADIX"), ShortCol("NULLABLE"), TextCol("REMARKS", 254), TextCol("COLUMN_DEF", 254),
                 ShortCol("SQL_DATA_TYPE"), ShortCol("SQL_DATETIME_SUB"), LongCol("CHAR_OCTET_LENGTH"),
                 LongCol("ORDINAL_POSITION"), TextCol("IS_NULLABLE", 254)},
                {});
}

void CatalogTypeInfo(TDrvStatement &S, SQLSMALLINT AType)
{
    S.Conn->RequireOpen();
    std::vector<TColumnInfo> Cols = {
        TextCol("TYPE_NAME"), ShortCol("DATA_TYPE"), LongCol("COLUMN_SIZE"), TextCol("LITERAL_PREFIX"),
        TextCol("LITERAL_SUFFIX"), TextCol("CREATE_PARAMS"), ShortCol("NULLABLE"), ShortCol("CASE_SENSITIVE"),
        ShortCol("SEARCHABLE"), ShortCol("UNSIGNED_ATTRIBUTE"), ShortCol("FIXED_PREC_SCALE"),
        ShortCol("AUTO_UNIQUE_VALUE"), TextCol("LOCAL_TYPE_NAME"), ShortCol("MINIMUM_SCALE"), ShortCol("MAXIMUM_SCALE"),
        ShortCol("SQL_DATA_TYPE"), ShortCol("SQL_DATETIME_SUB"), LongCol("NUM_PREC_RADIX"),
        ShortCol("INTERVAL_PRECISION")};
    struct TRow { TJetType T; int Size; const char *Prefix; const char *Params; };
    const TRow Types[] = {{TJetType::YesNo, 0, nullptr, nullptr},      {TJetType::Byte, 0, nullptr, nullptr},
                          {TJetType::LongBinary, 0, "0x", nullptr},      {TJetType::Binary, 510, "0x", "max length"},
                          {TJetType::Memo, 0, "'", nullptr},             {TJetType::Currency, 0, nullptr, nullptr},
                          {TJetType::Counter, 0, nullptr, nullptr},      {TJetType::Long, 0, nullptr, nullptr},
                          {TJetType::Short, 0, nullptr, nullptr},        {TJetType::Single, 0, nullptr, nullptr},
                          {TJetType::Double, 0, nullptr, nullptr},       {TJetType::Text, 255, "'", "max length"},
                          {TJetType::DateTime, 0, "#", nullptr}};
    std::vector<std::vector<TValue>> Rows;
    for (const auto &R : Types) {
        const SQLSMALLINT T = SqlTypeOf(R.T);
        if (AType != SQL_ALL_TYPES && AType != T)
            continue;
        const bool Text = R.T == TJetType::Text || R.T == TJetType::Memo;
        Rows.push_back({Str(TypeNameOf(R.T)), Int(T), Int(static_cast<std::int64_t>(ColumnSizeOf(R.T, R.Size))),
                        R.Prefix ? Str(R.Prefix) : Null(),
                        R.Prefix ? Str(std::string(R.Prefix) == "0x" ? "" : R.Prefix) : Null(),
                        R.Params ? Str(R.Params) : Null(), Int(R.T == TJetType::Counter ? SQL_NO_NULLS : SQL_NULLABLE),
                        Int(SQL_FALSE), Int(R.T == TJetType::Memo || R.T == TJetType::LongBinary ? SQL_PRED_CHAR : SQL_SEARCHABLE),
                        Text || R.T == TJetType::DateTime || R.T == TJetType::Binary || R.T == TJetType::LongBinary
                            ? Null() : Int(R.T == TJetType::Byte ? SQL_TRUE : SQL_FALSE),
                        Int(R.T == TJetType::Currency ? SQL_TRUE : SQL_FALSE),
                        Text ? Null() : Int(R.T == TJetType::Counter ? SQL_TRUE : SQL_FALSE), Str(TypeNameOf(R.T)),
                        Int(DecimalDigitsOf(R.T)), Int(DecimalDigitsOf(R.T)),
                        Int(T == SQL_TYPE_TIMESTAMP ? SQL_DATETIME : T),
                        T == SQL_TYPE_TIMESTAMP ? Int(SQL_CODE_TIMESTAMP) : Null(),
                        R.T == TJetType::Single || R.T == TJetType::Double ? Int(2) : Text ? Null() : Int(10), Null()});
    }
    S.SetResult(Cols, Rows);
}

} // namespace accessodbc
