// TTable: a work-folder table as a dataset.
#include "platform/localdb/TTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

#include "platform/localdb/TBatchMove.h"

namespace {

// The order SQLite gives stored values under the binary collation: no
// value, numbers, texts, blobs.
int CompareStored(const TLocalValue &A, const TLocalValue &B)
{
    auto Rank = [](const TLocalValue &V) {
        switch (V.Kind) {
        case TLocalValue::lvNull:
            return 0;
        case TLocalValue::lvInteger:
        case TLocalValue::lvReal:
            return 1;
        case TLocalValue::lvText:
            return 2;
        default:
            return 3;
        }
    };
    const int RA = Rank(A), RB = Rank(B);
    if (RA != RB)
        return RA < RB ? -1 : 1;
    if (RA == 1) {
        if (A.Kind == TLocalValue::lvInteger && B.Kind == TLocalValue::lvInteger)
            return A.I < B.I ? -1 : A.I > B.I ? 1 : 0;
        const long double X = A.Kind == TLocalValue::lvInteger ? (long double)A.I : (long double)A.D;
        const long double Y = B.Kind == TLocalValue::lvInteger ? (long double)B.I : (long double)B.D;
        return X < Y ? -1 : X > Y ? 1 : 0;
    }
    const int C = A.S.compare(B.S);
    return C < 0 ? -1 : C > 0 ? 1 : 0;
}

} // namespace

TTable::TTable(rtl::TComponent *AOwner) : TLocalDataSet(AOwner) {}

TTable::TStamp TTable::Stamp() const
{
    TLocalDatabase &Db = Database();
    TStamp S;
    S.Changes = sqlite3_total_changes64(Db.Handle());
    unsigned V = 0;
    sqlite3_file_control(Db.Handle(), "main", SQLITE_FCNTL_DATA_VERSION, &V);
    S.DataVersion = V;
    S.Generation = Db.Generation();
    return S;
}

TTable::~TTable()
{
    try {
        Close();
    } catch (...) {
        // A table that cannot close cleanly still frees its buffers.
    }
}

void TTable::SetTableName(const std::string &AValue)
{
    CheckInactive();
    FTableName = AValue;
    FFieldDefs->SetUpdated(false);
    FIndexDefs->SetUpdated(false);
}

std::string TTable::SqlName() const { return Database().ResolveTable(FTableName); }

bool TTable::Exists() const
{
    if (Active())
        return true;
    return !FTableName.empty() && Database().TableExists(FTableName);
}

void TTable::CreateTable()
{
    CheckInactive();
    if (FTableName.empty())
        DatabaseError("Table name missing", this);
    Database().CreateTable(FTableName, *FFieldDefs);
}

void TTable::DeleteTable()
{
    CheckInactive();
    Database().DropTable(FTableName);
}

void TTable::AddField(const std::string &AName, rtl::TFieldType AType, int ASize)
{
    CheckInactive();
    for (const TLocalColumn &C : Database().Columns(FTableName))
        if (rtl::SameText(C.Name, AName))
            return;
    Database().AddColumn(FTableName, AName, AType, ASize);
}

void TTable::EmptyTable()
{
    if (Active())
        CheckBrowseMode();
    Database().ExecPrepared("DELETE FROM " + SqlName());
    if (Active()) {
        FRowsValid = false;
        First();
    }
}

void TTable::AddIndex(const std::string &AName, const std::string &AFields, TIndexOptions AOptions)
{
    Database().AddIndex(FTableName, AName, AFields, AOptions);
    FIndexDefs->SetUpdated(false);
    if (Active() && (AOptions & ixPrimary)) {
        FKeyFields = AFields;
        FKeyColumns.clear();
        for (const std::string &F : SplitFieldNames(AFields))
            for (size_t I = 0; I < FColumns.size(); ++I)
                if (rtl::SameText(FColumns[I].Name, F))
                    FKeyColumns.push_back(int(I));
        FRowsValid = false;
        First();
    }
}

void TTable::UpdateIndexDefs()
{
    FIndexDefs->Clear();
    if (FTableName.empty() || !Database().TableExists(FTableName))
        return;
    for (const TLocalIndex &X : Database().Indexes(FTableName))
        FIndexDefs->Add(X.Name, X.Fields, X.Options);
    FIndexDefs->SetUpdated(true);
}

TIndexDefs &TTable::IndexDefs()
{
    UpdateIndexDefs();
    return *FIndexDefs;
}

// ---- the rows ---------------------------------------------------------------------

void TTable::OpenSource()
{
    if (FTableName.empty())
        DatabaseError("Table name missing", this);
    TLocalDatabase &Db = Database();
    TLocalDatabase::TSchemaPin Pin(Db);
    bool Exists = false;
    FSqlName = Db.ResolveTable(FTableName, &Exists);
    if (!Exists)
        throw ELocalDbError(std::string(STableNotFound) + " (" + LocalTableBaseName(FTableName) + ")");
    FColumns = Db.Columns(FTableName);
    FKeyFields.clear();
    FKeyColumns.clear();
    for (const TLocalIndex &X : Db.Indexes(FTableName)) {
        if (X.Options & ixPrimary) {
            FKeyFields = X.Fields;
            for (const std::string &F : SplitFieldNames(X.Fields))
                for (size_t I = 0; I < FColumns.size(); ++I)
                    if (rtl::SameText(FColumns[I].Name, F))
                        FKeyColumns.push_back(int(I));
        }
    }
    FReadStmt = TLocalStatement(Db.Handle(), "SELECT * FROM " + FSqlName + " WHERE rowid=?");
    FRowsValid = false;
    // Only a table of this folder's own database: the database's state says
    // nothing of an attached one.
    FKeyMemo = !FKeyColumns.empty() && !FSqlName.empty() && FSqlName[0] == '"';
    FKnownKeys.clear();
    FKnownStamp = TStamp();
}

bool TTable::StoredKey(const TLocalRow &AValues, TLocalRow &AKey) const
{
    // A number in a numeric column or a text in a text column is stored as
    // it was given; the rest is left to the engine to place.
    AKey.clear();
    if (!FKeyMemo)
        return false;
    for (int C : FKeyColumns) {
        const TLocalValue &V = AValues[size_t(C)];
        const std::string T = rtl::UpperCase(FColumns[size_t(C)].DeclType);
        const bool TextAff = T.find("INT") == std::string::npos &&
                             (T.find("CHAR") != std::string::npos || T.find("CLOB") != std::string::npos ||
                              T.find("TEXT") != std::string::npos);
        const bool NumAff = T.find("INT") != std::string::npos ||
                            (!TextAff && !T.empty() && T.find("BLOB") == std::string::npos);
        bool Ok = false;
        if (V.Kind == TLocalValue::lvInteger)
            Ok = NumAff && V.I < (int64_t(1) << 53) && V.I > -(int64_t(1) << 53);
        else if (V.Kind == TLocalValue::lvReal)
            Ok = NumAff && std::isfinite(V.D);
        else
            Ok = V.Kind == TLocalValue::lvText && TextAff;
        if (!Ok)
            return false;
        AKey.push_back(V);
    }
    return true;
}

void TTable::KnowKey(int64_t ARowId, TLocalRow AKey, const TStamp &ABefore, bool AKnown)
{
    if (!FKeyMemo)
        return;
    // A walk through a large table must not keep a key per row.
    if (!(ABefore == FKnownStamp) || ABefore.Changes < 0 || FKnownKeys.size() >= 4096)
        FKnownKeys.clear();
    FKnownStamp = Stamp();
    if (AKnown)
        FKnownKeys[ARowId] = std::move(AKey);
    else
        FKnownKeys.erase(ARowId);
}

const TLocalRow *TTable::KnownKey(int64_t ARowId, const TStamp &ANow) const
{
    if (!FKeyMemo || ANow.Changes < 0 || !(ANow == FKnownStamp))
        return nullptr;
    auto It = FKnownKeys.find(ARowId);
    return It == FKnownKeys.end() ? nullptr : &It->second;
}

TLocalStatement &TTable::Cached(const std::string &ASql)
{
    auto It = FStatements.find(ASql);
    if (It == FStatements.end())
        It = FStatements.emplace(ASql, TLocalStatement(Database().Handle(), ASql)).first;
    It->second.Reset();
    return It->second;
}

void TTable::CloseSource()
{
    FStatements.clear();
    FReadStmt = TLocalStatement();
    FRowIds.clear();
    FRowIds.shrink_to_fit();
    FRowsValid = false;
}

void TTable::LoadRows()
{
    std::string Order;
    for (int C : FKeyColumns)
        Order += (Order.empty() ? "" : ", ") + LocalQuoteName(FColumns[size_t(C)].Name);
    if (Order.empty())
        Order = "rowid";
    TLocalStatement S(Database().Handle(), "SELECT rowid FROM " + FSqlName + " ORDER BY " + Order);
    FRowIds.clear();
    while (S.Step())
        FRowIds.push_back(S.Column(0).I);
    FRowsValid = true;
    FKnownKeys.clear();
    FKnownStamp = TStamp();
}

int TTable::RowCount()
{
    if (!FRowsValid)
        LoadRows();
    return int(FRowIds.size());
}

void TTable::ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark)
{
    if (!FRowsValid)
        LoadRows();
    ABookmark = FRowIds.at(size_t(AIndex));
    FReadStmt.Reset();
    FReadStmt.BindInt(1, ABookmark);
    if (!FReadStmt.Step()) {
        FReadStmt.Reset();
        // The row went away underneath (another component changed the
        // table): read the list again next time.
        FRowsValid = false;
        DatabaseError(DBText::SRecordNotFound, this);
    }
    int N = FReadStmt.ColumnCount();
    ARow.resize(size_t(N));
    for (int I = 0; I < N; ++I)
        FReadStmt.ReadColumn(I, ARow[size_t(I)]);
    FReadStmt.Reset();
    if (FKeyMemo && ARow.size() == FColumns.size()) {
        // As read, the values are the stored ones.
        TLocalRow Key;
        bool Known = true;
        for (int C : FKeyColumns) {
            Known = Known && !ARow[size_t(C)].IsNull();
            Key.push_back(ARow[size_t(C)]);
        }
        KnowKey(ABookmark, std::move(Key), Stamp(), Known);
    }
}

int TTable::IndexOfBookmark(int64_t ABookmark)
{
    if (!FRowsValid)
        LoadRows();
    auto It = std::find(FRowIds.begin(), FRowIds.end(), ABookmark);
    return It == FRowIds.end() ? -1 : int(It - FRowIds.begin());
}

bool TTable::KeyBeyond(const TLocalRow &AValues, int64_t ARowId, bool AAfter)
{
    std::string Cols, Marks;
    for (int C : FKeyColumns) {
        Cols += (Cols.empty() ? "" : ", ") + LocalQuoteName(FColumns[size_t(C)].Name);
        Marks += Marks.empty() ? "?" : ", ?";
    }
    TLocalStatement &L =
        Cached("SELECT (" + Marks + ") " + (AAfter ? ">" : "<") + " (" + Cols + ") FROM " + FSqlName + " WHERE rowid=?");
    for (size_t I = 0; I < FKeyColumns.size(); ++I)
        L.Bind(int(I) + 1, AValues[size_t(FKeyColumns[I])]);
    L.BindInt(int(FKeyColumns.size()) + 1, ARowId);
    const bool Beyond = L.Step() && L.Column(0).Kind == TLocalValue::lvInteger && L.Column(0).I == 1;
    L.Reset();
    return Beyond;
}

int TTable::KeyPosition(const TLocalRow &AValues, int AHint)
{
    if (FKeyColumns.empty())
        return int(FRowIds.size());
    // Rows mostly arrive in key order (the level flags of a profile) or keep
    // their key when edited: a position whose neighbours bracket the key is
    // taken without counting the rows before it.
    const int Size = int(FRowIds.size());
    if (AHint < 0 || AHint > Size)
        AHint = Size;
    if ((AHint == 0 || KeyBeyond(AValues, FRowIds[size_t(AHint) - 1], true)) &&
        (AHint == Size || KeyBeyond(AValues, FRowIds[size_t(AHint)], false)))
        return AHint;
    std::string Cols, Marks;
    for (int C : FKeyColumns) {
        Cols += (Cols.empty() ? "" : ", ") + LocalQuoteName(FColumns[size_t(C)].Name);
        Marks += Marks.empty() ? "?" : ", ?";
    }
    TLocalStatement &S = Cached("SELECT count(*) FROM " + FSqlName + " WHERE (" + Cols + ") < (" + Marks + ")");
    for (size_t I = 0; I < FKeyColumns.size(); ++I)
        S.Bind(int(I) + 1, AValues[size_t(FKeyColumns[I])]);
    S.Step();
    int Result = int(S.Column(0).I);
    S.Reset();
    return Result;
}

// ---- editing --------------------------------------------------------------------

void TTable::ExecuteWrite(TLocalStatement &AStatement)
{
    try {
        AStatement.Execute();
    } catch (ELocalDbError &E) {
        // The engine's words for a required field left empty.
        if (rtl::Pos("NOT NULL", E.Message()) > 0)
            DatabaseError("Field value required.", this);
        throw;
    }
}

void TTable::WriteRecord(TRecordBuffer ABuffer, bool AInsert)
{
    THeader &H = Header(ABuffer);
    H.Values.resize(FColumns.size());
    TLocalDatabase &Db = Database();
    if (!FRowsValid)
        LoadRows();
    if (AInsert) {
        // Empty fields are left out, so that a column's default fills them.
        std::string Cols, Marks;
        std::vector<size_t> Used;
        for (size_t I = 0; I < FColumns.size(); ++I) {
            if (H.Values[I].IsNull())
                continue;
            Cols += (Cols.empty() ? "" : ", ") + LocalQuoteName(FColumns[I].Name);
            Marks += Marks.empty() ? "?" : ", ?";
            Used.push_back(I);
        }
        std::string Sql = Used.empty() ? "INSERT INTO " + FSqlName + " DEFAULT VALUES"
                                       : "INSERT INTO " + FSqlName + " (" + Cols + ") VALUES (" + Marks + ")";
        const TStamp Before = FKeyMemo ? Stamp() : TStamp();
        TLocalStatement &S = Cached(Sql);
        for (size_t K = 0; K < Used.size(); ++K)
            S.Bind(int(K) + 1, H.Values[Used[K]]);
        ExecuteWrite(S);
        int64_t RowId = sqlite3_last_insert_rowid(Db.Handle());
        TLocalRow Key;
        const bool KeyOk = StoredKey(H.Values, Key);
        int Pos = -1;
        if (const TLocalRow *Last = KeyOk && !FRowIds.empty() ? KnownKey(FRowIds.back(), Before) : nullptr) {
            int C = 0;
            for (size_t I = 0; I < Key.size() && C == 0; ++I)
                C = CompareStored(Key[I], (*Last)[I]);
            if (C > 0)
                Pos = int(FRowIds.size());
        }
        if (Pos < 0)
            Pos = KeyPosition(H.Values);
        KnowKey(RowId, std::move(Key), Before, KeyOk);
        FRowIds.insert(FRowIds.begin() + Pos, RowId);
        FCursor = Pos;
        H.Bookmark = RowId;
        H.Index = Pos;
        H.Flag = bfCurrent;
    } else {
        std::string Sets;
        for (size_t I = 0; I < FColumns.size(); ++I)
            Sets += (Sets.empty() ? "" : ", ") + LocalQuoteName(FColumns[I].Name) + "=?";
        TLocalStatement &S = Cached("UPDATE " + FSqlName + " SET " + Sets + " WHERE rowid=?");
        for (size_t I = 0; I < FColumns.size(); ++I)
            S.Bind(int(I) + 1, H.Values[I]);
        S.BindInt(int(FColumns.size()) + 1, H.Bookmark);
        const TStamp Before = FKeyMemo ? Stamp() : TStamp();
        bool KeyKept = false;
        TLocalRow Key;
        const bool KeyOk = StoredKey(H.Values, Key);
        if (const TLocalRow *Was = KeyOk ? KnownKey(H.Bookmark, Before) : nullptr) {
            KeyKept = true;
            for (size_t I = 0; I < Key.size() && KeyKept; ++I)
                KeyKept = CompareStored(Key[I], (*Was)[I]) == 0;
        }
        ExecuteWrite(S);
        KnowKey(H.Bookmark, std::move(Key), Before, KeyOk);
        int Old = IndexOfBookmark(H.Bookmark);
        if (!FKeyColumns.empty() && Old >= 0 && !KeyKept) {
            FRowIds.erase(FRowIds.begin() + Old);
            int Pos = KeyPosition(H.Values, Old);
            FRowIds.insert(FRowIds.begin() + Pos, H.Bookmark);
            FCursor = Pos;
        } else {
            FCursor = Old;
        }
        H.Index = FCursor;
    }
}

void TTable::InternalPost()
{
    TLocalDataSet::InternalPost();
    WriteRecord(ActiveBuffer(), FState == dsInsert);
}

void TTable::InternalAddRecord(TRecordBuffer ABuffer, bool) { WriteRecord(ABuffer, true); }

void TTable::InternalDelete()
{
    THeader &H = Header(ActiveBuffer());
    TLocalStatement &S = Cached("DELETE FROM " + FSqlName + " WHERE rowid=?");
    S.BindInt(1, H.Bookmark);
    S.Execute();
    int I = IndexOfBookmark(H.Bookmark);
    if (I >= 0) {
        FRowIds.erase(FRowIds.begin() + I);
        FCursor = I;
    }
}

// ---- searching ---------------------------------------------------------------------


bool TTable::Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                    TLocateOptions AOptions)
{
    // Exact searches go to the engine (through the primary index when the
    // fields are its fields); the rest scans.
    if (AOptions != 0 || (FFiltered && FOnFilterRecord))
        return TLocalDataSet::Locate(AKeyFields, AKeyValues, AOptions);
    CheckBrowseMode();
    std::vector<TField *> Keys;
    GetFieldList(Keys, AKeyFields);
    std::string Where;
    for (TField *F : Keys) {
        if (F->FieldNo() < 1)
            return TLocalDataSet::Locate(AKeyFields, AKeyValues, AOptions);
        Where += (Where.empty() ? "" : " AND ") + LocalQuoteName(FColumns[size_t(F->FieldNo() - 1)].Name) + " IS ?";
    }
    std::string Order;
    for (int C : FKeyColumns)
        Order += (Order.empty() ? "" : ", ") + LocalQuoteName(FColumns[size_t(C)].Name);
    if (Order.empty())
        Order = "rowid";
    TLocalStatement &S = Cached("SELECT rowid FROM " + FSqlName + " WHERE " + Where + " ORDER BY " + Order + " LIMIT 1");
    for (size_t I = 0; I < Keys.size(); ++I) {
        rtl::Variant V = (Keys.size() == 1 && !AKeyValues.IsArray()) ? AKeyValues : AKeyValues[int(I)];
        S.Bind(int(I) + 1, LocalValueOf(Keys[I]->DataType(), V));
    }
    if (!S.Step())
        return false;
    int64_t RowId = S.Column(0).I;
    S.Reset();
    int Index = IndexOfBookmark(RowId);
    if (Index < 0)
        return false;
    DoBeforeScroll();
    FCursor = Index;
    Resync(rmExact | rmCenter);
    DoAfterScroll();
    return true;
}

bool TTable::FindKey(const std::vector<rtl::Variant> &AKeyValues)
{
    CheckActive();
    if (FKeyFields.empty())
        DatabaseError(DBText::SNoFieldIndexes, this);
    std::vector<std::string> Names = SplitFieldNames(FKeyFields);
    size_t N = std::min(Names.size(), AKeyValues.size());
    std::string Fields;
    std::vector<rtl::Variant> Values;
    for (size_t I = 0; I < N; ++I) {
        Fields += (I ? ";" : "") + Names[I];
        Values.push_back(AKeyValues[I]);
    }
    return Locate(Fields, N == 1 ? Values[0] : rtl::VarArrayOf(Values));
}

int64_t TTable::BatchMove(TDataSet *ASource, TBatchMode AMode)
{
    TBatchMove Move;
    Move.Source = ASource;
    Move.Destination = this;
    Move.Mode = AMode;
    Move.Execute();
    return Move.MovedCount();
}

void TTable::AppendUpdateRows(const std::vector<std::string> &AColumns, const std::vector<TLocalRow> &ARows)
{
    CheckActive();
    if (FKeyColumns.empty())
        DatabaseError("Destination must be indexed", this);
    std::vector<std::string> Cols, Keys;
    for (const std::string &Name : AColumns) {
        size_t I = 0;
        while (I < FColumns.size() && !rtl::SameText(FColumns[I].Name, Name))
            ++I;
        if (I == FColumns.size())
            DatabaseError(rtl::Format(DBText::SFieldNotFound, {rtl::Variant(Name)}), this);
        Cols.push_back(FColumns[I].Name);
    }
    for (int C : FKeyColumns)
        Keys.push_back(FColumns[size_t(C)].Name);
    std::string Names, Marks;
    for (const std::string &C : Cols) {
        Names += (Names.empty() ? "" : ", ") + LocalQuoteName(C);
        Marks += Marks.empty() ? "?" : ", ?";
    }
    // Rows go in blocks of one statement each (kept prepared per block
    // size): a level-flag merge writes a hundred rows per station, and a
    // statement per row costs the engine about as much again as the rows
    // themselves. A key twice in one block updates the row the first one
    // made, as one statement per row would.
    const size_t Block = std::max<size_t>(1, 256 / std::max<size_t>(1, Cols.size()));
    const std::string Head = "INSERT INTO " + FSqlName + " (" + Names + ") VALUES (" + Marks + ")";
    const std::string Tail = LocalAppendUpdateClause(Cols, Keys);
    const auto InsertSql = [&](size_t ARowCount) {
        std::string Sql = Head;
        for (size_t R = 1; R < ARowCount; ++R)
            Sql += ", (" + Marks + ")";
        return Sql + Tail;
    };
    TLocalDatabase &Db = Database();
    Db.BeginTransaction();
    try {
        size_t Done = 0;
        while (Done < ARows.size()) {
            const size_t N = std::min(Block, ARows.size() - Done);
            TLocalStatement &S = Cached(InsertSql(N));
            for (size_t R = 0; R < N; ++R) {
                const TLocalRow &Row = ARows[Done + R];
                for (size_t K = 0; K < Cols.size(); ++K)
                    S.Bind(int(R * Cols.size() + K) + 1, K < Row.size() ? Row[K] : TLocalValue());
            }
            ExecuteWrite(S);
            Done += N;
        }
    } catch (...) {
        Db.Rollback();
        FRowsValid = false;
        throw;
    }
    Db.Commit();
    Db.Touch();
    FRowsValid = false;
}
