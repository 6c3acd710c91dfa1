// TBatchMove: one transaction per move; SQL inside the engine when the source
// is itself a local table, record by record otherwise.
#include "platform/localdb/TBatchMove.h"

#include <sqlite3.h>

#include "platform/localdb/TQuery.h"

namespace {

TLocalValue FieldValue(TDataSet *ASource, TField *AField)
{
    if (auto *L = dynamic_cast<TLocalDataSet *>(ASource); L && AField->FieldNo() > 0)
        return L->CurrentValue(AField);
    return LocalValueOf(AField->DataType(), AField->AsVariant());
}

std::string JoinQuoted(const std::vector<std::string> &ANames, const std::string &APrefix = "")
{
    std::string R;
    for (const auto &N : ANames)
        R += (R.empty() ? "" : ", ") + APrefix + LocalQuoteName(N);
    return R;
}

} // namespace

void TBatchMove::Execute()
{
    if (!Source || !Destination)
        DatabaseError("Batch move needs a source and a destination");
    FMovedCount = FKeyViolCount = FChangedCount = 0;
    if (!Source->Active())
        Source->Open();
    Source->CheckBrowseMode();
    bool DestWasActive = Destination->Active();
    if (DestWasActive)
        Destination->CheckBrowseMode();
    TLocalDatabase &Db = Destination->Database();
    if (Mode == batCopy) {
        if (DestWasActive)
            Destination->Close();
        Destination->FieldDefs().Assign(Source->FieldDefs());
    }
    Db.BeginTransaction();
    try {
        if (Mode == batCopy)
            Db.CreateTable(Destination->TableName(), Destination->FieldDefs());
        std::vector<TLocalColumn> Cols = Db.Columns(Destination->TableName());
        std::string Key;
        for (const TLocalIndex &X : Db.Indexes(Destination->TableName()))
            if (X.Options & ixPrimary)
                Key = X.Fields;
        if ((Mode == batUpdate || Mode == batAppendUpdate || Mode == batDelete) && Key.empty())
            DatabaseError("Destination must be indexed", Destination);

        // (destination column, source field) pairs.
        std::vector<std::pair<int, int>> Map;
        auto ColumnIndex = [&](const std::string &AName) {
            for (size_t I = 0; I < Cols.size(); ++I)
                if (rtl::SameText(Cols[I].Name, AName))
                    return int(I);
            DatabaseError(rtl::Format(DBText::SFieldNotFound, {rtl::Variant(AName)}), Destination);
        };
        if (Mappings.empty()) {
            int N = std::min(Source->FieldCount(), int(Cols.size()));
            for (int I = 0; I < N; ++I)
                Map.emplace_back(I, I);
        } else {
            for (const std::string &M : Mappings) {
                size_t Eq = M.find('=');
                std::string D = rtl::Trim(M.substr(0, Eq));
                std::string S = Eq == std::string::npos ? D : rtl::Trim(M.substr(Eq + 1));
                Map.emplace_back(ColumnIndex(D), Source->FieldByName(S)->Index());
            }
        }
        std::vector<std::string> DestCols;
        for (auto &P : Map)
            DestCols.push_back(Cols[size_t(P.first)].Name);

        if (!ExecuteInEngine(Map, DestCols, Key)) {
            std::vector<std::string> KeyCols = SplitFieldNames(Key);
            auto IsKey = [&](const std::string &N) {
                for (const auto &K : KeyCols)
                    if (rtl::SameText(K, N))
                        return true;
                return false;
            };
            std::string Table = Destination->SqlName();
            std::string Sql;
            // Order of the bound values: for update, the non-key columns
            // then the key; for delete, the key alone; else every column.
            std::vector<size_t> Order;
            if (Mode == batUpdate || Mode == batDelete) {
                std::string Sets, Where;
                for (size_t I = 0; I < DestCols.size(); ++I)
                    if (!IsKey(DestCols[I]) && Mode == batUpdate) {
                        Sets += (Sets.empty() ? "" : ", ") + LocalQuoteName(DestCols[I]) + "=?";
                        Order.push_back(I);
                    }
                for (const auto &K : KeyCols) {
                    size_t I = 0;
                    while (I < DestCols.size() && !rtl::SameText(DestCols[I], K))
                        ++I;
                    if (I == DestCols.size())
                        DatabaseError("Key field " + K + " is not moved", Destination);
                    Where += (Where.empty() ? "" : " AND ") + LocalQuoteName(DestCols[I]) + " IS ?";
                    Order.push_back(I);
                }
                Sql = Mode == batDelete ? "DELETE FROM " + Table + " WHERE " + Where
                      : Sets.empty()    ? "SELECT 1 WHERE 0"
                                        : "UPDATE " + Table + " SET " + Sets + " WHERE " + Where;
            } else {
                std::string Marks;
                for (size_t I = 0; I < DestCols.size(); ++I) {
                    Marks += I ? ", ?" : "?";
                    Order.push_back(I);
                }
                Sql = "INSERT INTO " + Table + " (" + JoinQuoted(DestCols) + ") VALUES (" + Marks + ")";
                if (Mode == batAppendUpdate)
                    Sql += LocalAppendUpdateClause(DestCols, KeyCols);
            }
            TLocalStatement Stmt(Db.Handle(), Sql);
            std::vector<TField *> Fields;
            for (auto &P : Map)
                Fields.push_back(Source->Fields()[P.second]);
            Source->DisableControls();
            try {
                Source->First();
                while (!Source->Eof()) {
                    Stmt.Reset();
                    for (size_t K = 0; K < Order.size(); ++K)
                        Stmt.Bind(int(K) + 1, FieldValue(Source, Fields[Order[K]]));
                    try {
                        Stmt.Execute();
                        int Changed = sqlite3_changes(Db.Handle());
                        if (Mode == batUpdate || Mode == batDelete) {
                            FChangedCount += Changed;
                            FMovedCount += Changed;
                        } else {
                            ++FMovedCount;
                        }
                    } catch (ELocalDbError &E) {
                        if (E.Message() != SKeyViolation || AbortOnKeyViol)
                            throw;
                        ++FKeyViolCount;
                    }
                    Source->Next();
                }
            } catch (...) {
                Source->EnableControls();
                throw;
            }
            Source->EnableControls();
        }
    } catch (...) {
        Db.Rollback();
        Destination->InvalidateRows();
        if (DestWasActive && !Destination->Active())
            Destination->Open();
        throw;
    }
    Db.Commit();
    Destination->InvalidateRows();
    if (DestWasActive) {
        if (Destination->Active())
            Destination->First();
        else
            Destination->Open();
    }
}

bool TBatchMove::ExecuteInEngine(const std::vector<std::pair<int, int>> &AMap,
                                 const std::vector<std::string> &ADestCols, const std::string &AKey)
{
    auto *Src = dynamic_cast<TTable *>(Source);
    if (!Src || Src->Filtered() || (Mode != batAppend && Mode != batAppendUpdate && Mode != batCopy))
        return false;
    TLocalDatabase &Db = Destination->Database();
    std::string SrcFolder = LocalNormalizeFolder(Src->DatabaseName().empty() ? "." : Src->DatabaseName());
    std::string SrcName = SrcFolder == Db.Folder() ? Src->TableName()
                                                   : SrcFolder + "/" + LocalTableBaseName(Src->TableName());
    std::vector<TLocalColumn> SrcCols = Db.Columns(SrcName);
    if (int(SrcCols.size()) != Src->FieldCount())
        return false;
    std::vector<std::string> Pick;
    for (auto &P : AMap)
        Pick.push_back(SrcCols[size_t(P.second)].Name);
    std::string From = Db.ResolveTable(SrcName);
    std::string Dest = Destination->SqlName();
    bool Ignore = Mode != batAppendUpdate && !AbortOnKeyViol;
    std::string Sql = std::string("INSERT ") + (Ignore ? "OR IGNORE " : "") + "INTO " + Dest + " (" +
                      JoinQuoted(ADestCols) + ") SELECT " + JoinQuoted(Pick) + " FROM " + From;
    // "WHERE true" keeps ON CONFLICT from being read as a join clause.
    if (Mode == batAppendUpdate)
        Sql += " WHERE true" + LocalAppendUpdateClause(ADestCols, SplitFieldNames(AKey));
    Db.ExecPrepared(Sql);
    FMovedCount = sqlite3_changes(Db.Handle());
    if (Ignore) {
        TLocalDatabase::TLease Count(Db, "SELECT count(*) FROM " + From);
        Count->Step();
        FKeyViolCount = Count->Column(0).I - FMovedCount;
    }
    return true;
}
