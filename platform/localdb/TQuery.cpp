// TQuery: local SQL statements and their results.
#include "platform/localdb/TQuery.h"

#include <sqlite3.h>

#include <optional>

#include "platform/localdb/LocalSql.h"

TQuery::TQuery(rtl::TComponent *AOwner) : TLocalDataSet(AOwner) {}

TQuery::~TQuery()
{
    try {
        Close();
    } catch (...) {
        // Closing a query only frees memory.
    }
}

namespace {

std::string StatementText(const rtl::TStringList &AList)
{
    std::string S = AList.Text();
    while (!S.empty() && (S.back() == '\n' || S.back() == '\r' || S.back() == ' '))
        S.pop_back();
    return S;
}

} // namespace

void TQuery::PrepareText()
{
    std::string Text = StatementText(FSQL);
    if (Text.empty())
        DatabaseError("No SQL statement available", this);
    FExecutedSql = LocalSqlRewrite(Text, Database());
}

void TQuery::OpenSource()
{
    TLocalDatabase &Db = Database();
    const std::string Text = StatementText(FSQL);
    if (Text.empty())
        DatabaseError("No SQL statement available", this);
    // The first try rewrites from what the engine keeps of its tables and
    // asks, inside the read of the rows, whether the schema moved since;
    // if it did (or the statement failed and it did), the second try
    // rewrites from the catalog as it now is.
    for (int Try = 0;; ++Try) {
        const bool Trusting = Try == 0;
        try {
            FExecutedSql = Trusting ? LocalSqlRewriteKnown(Text, Db) : LocalSqlRewrite(Text, Db);
            // The same query for another key runs the statement prepared for
            // the first one (the write-back opens one per cast).
            std::vector<int64_t> Keys;
            const std::string Shared = LocalSqlShareable(FExecutedSql, Keys);
            std::optional<TLocalDatabase::TLease> Lease;
            std::optional<TLocalStatement> Own;
            TLocalStatement *S = nullptr;
            if (!Shared.empty()) {
                try {
                    Lease.emplace(Db, Shared);
                    S = &**Lease;
                    for (size_t I = 0; I < Keys.size(); ++I)
                        S->BindInt(int(I) + 1, Keys[I]);
                } catch (const ELocalDbError &) {
                    // Its failure is reported as the statement's own.
                    S = nullptr;
                }
            }
            if (!S)
                S = &Own.emplace(Db.Handle(), FExecutedSql);
            if (S->ColumnCount() == 0)
                DatabaseError("Query has no result set: " + Text, this);
            bool HasRow = S->Step();
            if (Trusting && !Db.SchemaUnchanged())
                continue;
            // Read after the first step: a statement prepared before a
            // schema change is prepared again by it.
            const int N = S->ColumnCount();
            FColumns.clear();
            for (int I = 0; I < N; ++I) {
                TLocalColumn C;
                C.Name = S->ColumnName(I);
                C.DeclType = S->ColumnDeclType(I);
                FColumns.push_back(C);
            }
            // The rows of the last result are filled again in place: a
            // query reopened per key keeps its storage.
            FRowCount = 0;
            for (; HasRow; HasRow = S->Step()) {
                if (FRowCount == FRows.size())
                    FRows.emplace_back();
                TLocalRow &Row = FRows[FRowCount++];
                Row.resize(static_cast<size_t>(N));
                for (int I = 0; I < N; ++I)
                    S->ReadColumn(I, Row[size_t(I)]);
            }
        } catch (const ELocalDbError &) {
            if (Trusting && !Db.SchemaUnchanged())
                continue;
            throw;
        }
        break;
    }
    // A computed column (an aggregate, an expression) has no declared type:
    // its values decide.
    for (size_t I = 0; I < FColumns.size(); ++I) {
        if (!FColumns[I].DeclType.empty())
            continue;
        TLocalValue::TKind Kind = TLocalValue::lvNull;
        for (size_t Row = 0; Row < FRowCount; ++Row) {
            const TLocalRow &R = FRows[Row];
            if (R[I].Kind == TLocalValue::lvNull)
                continue;
            if (Kind == TLocalValue::lvNull || (Kind == TLocalValue::lvInteger && R[I].Kind == TLocalValue::lvReal))
                Kind = R[I].Kind;
        }
        FColumns[I].DeclType = Kind == TLocalValue::lvInteger ? "BIGINT"
                               : Kind == TLocalValue::lvReal  ? "DOUBLE"
                               : Kind == TLocalValue::lvBlob  ? "BLOB"
                                                              : "VARCHAR(255)";
    }
    // Two result columns of one name (D.ID_Cast, D1.ID_Cast) become X and X_1.
    for (size_t I = 0; I < FColumns.size(); ++I) {
        std::string Base = FColumns[I].Name;
        for (int K = 1;; ++K) {
            bool Clash = false;
            for (size_t J = 0; J < I; ++J)
                Clash = Clash || rtl::SameText(FColumns[J].Name, FColumns[I].Name);
            if (!Clash)
                break;
            FColumns[I].Name = Base + "_" + rtl::IntToStr(K);
        }
    }
}

void TQuery::CloseSource()
{
    FRowCount = 0;
    // A small result's storage waits for the next open; a large one is
    // given back.
    if (FRows.size() > 4096) {
        FRows.clear();
        FRows.shrink_to_fit();
    }
}

void TQuery::ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark)
{
    ARow = FRows.at(size_t(AIndex));
    ABookmark = AIndex + 1;
}

const TLocalRow *TQuery::RowAt(int AIndex, int64_t &ABookmark)
{
    if (AIndex < 0 || size_t(AIndex) >= FRowCount)
        DatabaseError(DBText::SBookmarkNotFound, this);
    ABookmark = AIndex + 1;
    return &FRows[size_t(AIndex)];
}

int TQuery::IndexOfBookmark(int64_t ABookmark)
{
    return ABookmark >= 1 && ABookmark <= int64_t(FRowCount) ? int(ABookmark - 1) : -1;
}

void TQuery::InternalDelete() { DatabaseError(DBText::SDataSetReadOnly, this); }

void TQuery::InternalAddRecord(TRecordBuffer, bool) { DatabaseError(DBText::SDataSetReadOnly, this); }

void TQuery::ExecSQL()
{
    TLocalDatabase &Db = Database();
    PrepareText();
    int Before = sqlite3_total_changes(Db.Handle());
    Db.Touch();
    const char *Tail = FExecutedSql.c_str();
    // Several statements run as one unit.
    Db.BeginTransaction();
    try {
        while (Tail && *Tail) {
            std::string Rest(Tail);
            if (rtl::Trim(Rest).empty())
                break;
            sqlite3_stmt *Raw = nullptr;
            const char *Next = nullptr;
            int Rc = sqlite3_prepare_v2(Db.Handle(), Tail, -1, &Raw, &Next);
            if (Rc != SQLITE_OK) {
                std::string Msg = sqlite3_errmsg(Db.Handle());
                throw ELocalDbError(rtl::Pos("no such table", Msg) == 1
                                        ? std::string(STableNotFound) + " (" + Msg + ")"
                                        : Msg,
                                    Rc);
            }
            if (Raw) {
                int Step;
                while ((Step = sqlite3_step(Raw)) == SQLITE_ROW) {
                }
                int Ext = sqlite3_extended_errcode(Db.Handle());
                std::string Msg = sqlite3_errmsg(Db.Handle());
                sqlite3_finalize(Raw);
                if (Step != SQLITE_DONE) {
                    if (Ext == SQLITE_CONSTRAINT_UNIQUE || Ext == SQLITE_CONSTRAINT_PRIMARYKEY)
                        throw ELocalDbError(SKeyViolation, Ext);
                    throw ELocalDbError(Msg, Ext);
                }
            }
            Tail = Next;
        }
    } catch (...) {
        Db.Rollback();
        throw;
    }
    Db.Commit();
    FRowsAffected = sqlite3_total_changes(Db.Handle()) - Before;
}
