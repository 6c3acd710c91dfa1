// The query tests' station database: a private copy of the demo database
// the build makes, opened through a connection component the way the
// program opens its main database, and read back independently through
// SQLite itself.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "tests/support/comp_test_util.h"

namespace querytest {

// One row of an SQLite result, every value as SQLite's text (NULL: "<null>").
using TRow = std::vector<std::string>;
// Reads straight from the file, past the driver and the library.
std::vector<TRow> SqliteRows(const std::string &ADbPath, const std::string &ASql);
void SqliteExec(const std::string &ADbPath, const std::string &ASql);

// Registers the library's services and the Access driver once per process.
void InitServices();

using comptest::ErrorCodeOf;

// The message of the exception a call raises, empty when none.
template <class F> std::string MessageOf(F &&AFn)
{
    try {
        AFn();
    } catch (const std::exception &E) {
        return E.what();
    }
    return std::string();
}

class StationDb : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A new query (or table) on the fixture's connection, freed with it.
    template <class T = TZqQuery> T *New(const std::string &ASql = std::string())
    {
        auto *Q = new T(Owner.get());
        Q->SetConnection(Conn);
        if (!ASql.empty())
            if (auto *CQ = dynamic_cast<TZqCustomQuery *>(Q))
                CQ->SQL()->Add(ASql);
        return Q;
    }
    std::vector<TRow> Sql(const std::string &ASql) { return SqliteRows(DbPath, ASql); }

    std::filesystem::path Dir;
    std::string DbPath;
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
};

} // namespace querytest
