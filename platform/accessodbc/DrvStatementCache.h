// The connection's store of translated and prepared statements, keyed by the
// shape of their Jet text (see jet::TJetShape): a statement that differs from
// one seen before only in literal values is neither translated nor prepared
// again. A statement takes its SQLite statement out of the store while it
// holds it and gives it back when it is prepared anew or freed, so that two
// handles never share one SQLite statement.
//
// Entry states (an entry keeps its place in the store while it is held, so
// that a statement taken and given back costs no allocation):
//   idle (reset, bindings cleared) --Take--> held by a statement
//   held --Give--> idle; a statement given back when the store has moved on
//   (Invalidate since it was taken) or that is not the entry's own (a
//   second statement prepared for a key while its entry was held) is finalized
//   idle --Invalidate / eviction past the bound--> finalized
//   held --Invalidate--> forgotten (its statement is finalized when given back)
#pragma once

#include "platform/accessodbc/DrvObjects.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3_stmt;

namespace accessodbc {

// What a prepare found out once for all texts of a key.
struct TDrvPlan {
    std::string Key;
    // Which of the shape's literals are written into the statement (the
    // rest are bound): with the shape it gives the key of a text.
    std::vector<bool> Written;
    jet::TJetTranslation Tr;
    std::vector<TColumnInfo> Columns; // as described at prepare, before a first row settles unknown types
};

class TDrvStatementCache {
public:
    explicit TDrvStatementCache(size_t ABound) : FBound(ABound) {}
    ~TDrvStatementCache();
    TDrvStatementCache(const TDrvStatementCache &) = delete;
    TDrvStatementCache &operator=(const TDrvStatementCache &) = delete;

    // The key of a text of this shape, once a prepare taught the store which
    // of the shape's literals are written into the statement (those are part
    // of the key) and which are bound; false for a shape not seen yet.
    bool KeyOf(const jet::TJetShape &AShape, std::string &AKey) const;
    // Records which literals a translation of this shape lifted and returns
    // the key; AWritten receives which literals stay written.
    std::string Learn(const jet::TJetShape &AShape, const std::vector<int> &ALifted, std::vector<bool> &AWritten);
    // Whether a text of this shape has the plan's key: the same shape, and
    // the same literals where the plan's statement has them written.
    static bool Fits(const jet::TJetShape &AShape, const TDrvPlan &APlan);

    // The idle statement of a key (its plan in APlan), or null.
    sqlite3_stmt *Take(const std::string &AKey, std::shared_ptr<const TDrvPlan> &APlan);
    // A statement handed back, reset; AGeneration is Generation() when it was
    // taken or prepared.
    void Give(std::shared_ptr<const TDrvPlan> APlan, sqlite3_stmt *AStmt, std::uint64_t AGeneration);

    // Forgets every idle statement and every learned shape: after a schema
    // change the translation (CURRENCY and date columns) and the columns
    // described may differ. Held statements are finalized when given back.
    void Invalidate();
    // Invalidates when the file's schema version is not the one last seen.
    void CheckSchemaVersion(long long AVersion);
    std::uint64_t Generation() const { return FGeneration; }

    // Idle statements kept.
    size_t Size() const { return FIdle; }
    size_t Bound() const { return FBound; }

private:
    struct TEntry {
        std::shared_ptr<const TDrvPlan> Plan;
        sqlite3_stmt *Stmt = nullptr; // null while held
        bool Held = false;
    };
    size_t FBound;
    std::uint64_t FGeneration = 1;
    long long FSchemaVersion = -1;
    std::list<TEntry> FLru; // most recently given back first
    // Keyed by the entry's own plan key, which lives as long as the entry.
    std::unordered_map<std::string_view, std::list<TEntry>::iterator> FByKey;
    size_t FIdle = 0;
    // Per shape key: which literals stay in the text (true) and which are bound.
    std::unordered_map<std::string, std::vector<bool>> FShapes;
};

} // namespace accessodbc
