// A fresh work folder per test, holding the program's installation
// definitions, and helpers to fill tables and read query results.
#pragma once

#include "tests/support/TestEnvironment.h"
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "tests/support/LocalRows.h"

class LocalDbFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char Tmpl[] = "/tmp/marlin_localdb_XXXXXX";
        Folder = mkdtemp(Tmpl);
        std::string Def = testsupport::SourceDir() + "data/SoftDB/worktables.def";
        std::filesystem::copy_file(Def, Folder + "/worktables.def");
    }
    void TearDown() override
    {
        TLocalDatabase::CloseAll();
        std::error_code Ec;
        std::filesystem::remove_all(Folder, Ec);
    }

    // Creates a table from a template of the installation data.
    void FromTemplate(const std::string &AName, const std::string &ATemplate,
                      const std::string &AKey = "")
    {
        TTable Struct;
        Struct.SetDatabaseName(Folder);
        Struct.SetTableName(ATemplate);
        Struct.Open();
        TTable T;
        T.SetDatabaseName(Folder);
        T.SetTableName(AName);
        T.FieldDefs().Assign(Struct.FieldDefs());
        T.CreateTable();
        if (!AKey.empty())
            T.AddIndex("", AKey, ixPrimary);
    }

    // Appends records through the table component, values in field order.
    void Fill(const std::string &AName, const std::vector<std::vector<rtl::Variant>> &ARows)
    {
        TTable T;
        T.SetDatabaseName(Folder);
        T.SetTableName(AName);
        T.Open();
        for (const auto &Row : ARows) {
            T.Append();
            for (size_t I = 0; I < Row.size(); ++I)
                T.Fields()[int(I)]->SetValue(Row[I]);
            T.Post();
        }
    }

    // The rows of a query, each "a|b|c" from the fields' texts.
    std::vector<std::string> Rows(const std::string &ASql) { return testsupport::LocalRows(Folder, ASql); }

    void Exec(const std::string &ASql)
    {
        TQuery Q;
        Q.SetDatabaseName(Folder);
        Q.SQL().Add(ASql);
        Q.ExecSQL();
    }

    int Count(const std::string &ATable)
    {
        return int(Rows("Select count(*) from \"" + ATable + "\"").size() == 1
                       ? std::stoi(Rows("Select count(*) from \"" + ATable + "\"")[0])
                       : -1);
    }

    std::string Folder;
};

using Lines = std::vector<std::string>;
