// Fixture of the bridge tests: a fresh station database reached through the
// run-time bound driver manager and the station-database driver.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"

class TODBCBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = std::filesystem::temp_directory_path() /
              ("phys_odbc_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(Dir);
        DbPath = (Dir / "station.mdb").string();
        std::ofstream(DbPath).close();
        Lib = ZqODBCLibAcquire("", "", nullptr);
        Env = std::make_unique<TODBCEnvironment>(Lib, nullptr);
        Conn = std::make_unique<TODBCConnection>(Env.get(), nullptr);
    }
    void TearDown() override
    {
        Conn.reset();
        Env.reset();
        ZqODBCLibRelease(Lib);
        std::error_code Ec;
        std::filesystem::remove_all(Dir, Ec);
    }
    // Runs a statement directly, expecting success.
    void Exec(const std::string &ASql)
    {
        TODBCCommandStatement S(Conn.get(), nullptr);
        SQLLEN Rows = 0;
        S.Execute(1, 0, &ASql, false, Rows);
    }
    void Connect() { Conn->DriverConnect("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + DbPath, false); }

    std::filesystem::path Dir;
    std::string DbPath;
    TODBCLib *Lib = nullptr;
    std::unique_ptr<TODBCEnvironment> Env;
    std::unique_ptr<TODBCConnection> Conn;
};

