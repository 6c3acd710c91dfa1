// The connection's store of prepared statements: LRU order, bound, and
// invalidation by schema version and generation (see DrvStatementCache.h).
#include "platform/accessodbc/DrvStatementCache.h"

#include <sqlite3.h>

namespace accessodbc {

namespace {

// A statement's key: its shape and the literals written into its text
// (each as length and text), built into AKey's buffer.
void PutKey(std::string &AKey, const jet::TJetShape &AShape, const std::vector<bool> &AWritten)
{
    AKey.assign(AShape.Key);
    AKey += '|';
    for (size_t i = 0; i < AShape.Literals.size(); ++i)
        if (AWritten[i]) {
            const std::string &Text = AShape.Literals[i].Text;
            AKey += std::to_string(Text.size());
            AKey += ':';
            AKey += Text;
        }
}

} // namespace

TDrvStatementCache::~TDrvStatementCache()
{
    Invalidate();
}

bool TDrvStatementCache::KeyOf(const jet::TJetShape &AShape, std::string &AKey) const
{
    const auto It = FShapes.find(AShape.Key);
    if (It == FShapes.end() || It->second.size() != AShape.Literals.size())
        return false;
    PutKey(AKey, AShape, It->second);
    return true;
}

bool TDrvStatementCache::Fits(const jet::TJetShape &AShape, const TDrvPlan &APlan)
{
    // PutKey's key, compared where it stands in the plan's key.
    const std::string &Key = APlan.Key;
    const size_t N = AShape.Key.size();
    if (APlan.Written.size() != AShape.Literals.size() || Key.size() <= N || Key[N] != '|' ||
        Key.compare(0, N, AShape.Key) != 0)
        return false;
    size_t P = N + 1;
    for (size_t i = 0; i < AShape.Literals.size(); ++i)
        if (APlan.Written[i]) {
            const std::string &Text = AShape.Literals[i].Text;
            const std::string Length = std::to_string(Text.size());
            if (Key.compare(P, Length.size(), Length) != 0 || P + Length.size() >= Key.size() ||
                Key[P + Length.size()] != ':')
                return false;
            P += Length.size() + 1;
            if (Key.compare(P, Text.size(), Text) != 0)
                return false;
            P += Text.size();
        }
    return P == Key.size();
}

std::string TDrvStatementCache::Learn(const jet::TJetShape &AShape, const std::vector<int> &ALifted,
                                      std::vector<bool> &AWritten)
{
    std::vector<bool> Written(AShape.Literals.size(), true);
    for (const int L : ALifted)
        if (L >= 0 && static_cast<size_t>(L) < Written.size())
            Written[static_cast<size_t>(L)] = false;
    // Shapes are few in a program (its statement texts are fixed); a text
    // built anew for every use would grow the table without end.
    if (FShapes.size() >= 4 * FBound)
        FShapes.clear();
    std::string Key;
    PutKey(Key, AShape, Written);
    AWritten = Written;
    FShapes[AShape.Key] = std::move(Written);
    return Key;
}

sqlite3_stmt *TDrvStatementCache::Take(const std::string &AKey, std::shared_ptr<const TDrvPlan> &APlan)
{
    const auto It = FByKey.find(AKey);
    if (It == FByKey.end() || It->second->Held)
        return nullptr;
    TEntry &E = *It->second;
    sqlite3_stmt *S = E.Stmt;
    E.Stmt = nullptr;
    E.Held = true;
    --FIdle;
    APlan = E.Plan;
    return S;
}

void TDrvStatementCache::Give(std::shared_ptr<const TDrvPlan> APlan, sqlite3_stmt *AStmt, std::uint64_t AGeneration)
{
    if (!AStmt)
        return;
    if (!APlan || AGeneration != FGeneration || FBound == 0) {
        sqlite3_finalize(AStmt);
        return;
    }
    const auto It = FByKey.find(APlan->Key);
    if (It != FByKey.end() && (!It->second->Held || It->second->Plan != APlan)) {
        sqlite3_finalize(AStmt);
        return;
    }
    sqlite3_reset(AStmt);
    sqlite3_clear_bindings(AStmt);
    if (It != FByKey.end()) {
        It->second->Stmt = AStmt;
        It->second->Held = false;
        FLru.splice(FLru.begin(), FLru, It->second);
    } else {
        FLru.push_front({std::move(APlan), AStmt, false});
        FByKey.emplace(std::string_view(FLru.front().Plan->Key), FLru.begin());
    }
    ++FIdle;
    // Past the bound the least recently given back idle statement goes; a
    // held one stays with its statement.
    auto Last = FLru.end();
    while (FIdle > FBound && Last != FLru.begin()) {
        --Last;
        if (Last->Held)
            continue;
        FByKey.erase(std::string_view(Last->Plan->Key));
        sqlite3_finalize(Last->Stmt);
        Last = FLru.erase(Last);
        --FIdle;
    }
}

void TDrvStatementCache::Invalidate()
{
    ++FGeneration;
    for (auto &E : FLru)
        if (!E.Held)
            sqlite3_finalize(E.Stmt);
    FByKey.clear();
    FLru.clear();
    FIdle = 0;
    FShapes.clear();
}

void TDrvStatementCache::CheckSchemaVersion(long long AVersion)
{
    if (AVersion != FSchemaVersion || AVersion < 0) {
        Invalidate();
        FSchemaVersion = AVersion;
    }
}

} // namespace accessodbc
