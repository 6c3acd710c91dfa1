// The catalog cache on a station database through the Access driver, the
// real unixODBC driver manager and the station-database ODBC driver: the
// key of Cast_Titles found for a query and asked for once per connection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "tests/phys_meta/meta_fixture.h"

using Strings = std::vector<std::string>;

class StationCatalog : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        const char *Program = std::getenv("MARLIN_PROGRAM_DIR");
        ASSERT_NE(Program, nullptr);
        // A folder with a dot in its name: a table qualified by this path
        // cannot be taken apart as a name.
        Dir = std::filesystem::temp_directory_path() /
              ("phys_meta_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()) /
              "st.v2";
        std::filesystem::create_directories(Dir);
        DbPath = (Dir / "station.mdb").string();
        std::filesystem::copy_file(std::filesystem::path(Program) / "demo" / "marlin_demo.mdb", DbPath);
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        Mgr->RegisterDriverClass(&ZqPhysMSAccConnectionClass);
        Manager->Open();
        Manager->CreateConnection("DriverID=MSAcc;Database=" + DbPath, Conn);
        Conn->Open();
    }
    void TearDown() override
    {
        Conn.Reset();
        if (Manager) Manager->Close(true);
        Manager.Reset();
        std::error_code Ec;
        std::filesystem::remove_all(Dir.parent_path(), Ec);
    }
    // Defines, opens and fetches a query into ATable.
    void Query(const std::string &AText, TZqDatSTable &ATable)
    {
        TZqIntfPtr<IZqPhysCommand> Cmd;
        Conn->CreateCommand(Cmd);
        Cmd->SetCommandText(AText);
        Cmd->Define(&ATable);
        Cmd->Open();
        Cmd->Fetch(&ATable, true);
    }
    // Rows the cache holds for a kind (0 before the kind was ever asked).
    int CachedRows(TZqPhysMetaInfoKind AKind)
    {
        TZqIntfPtr<IZqPhysConnectionMetadata> M;
        Conn->CreateMetadata(M);
        auto *Meta = dynamic_cast<TZqPhysConnectionMetadata *>(M.Get());
        const int I = Meta->MetaCache()->Tables()->IndexOfName(Meta->GetMetaInfoTableName(AKind));
        return I < 0 ? 0 : Meta->MetaCache()->Tables()->GetItem(I)->Rows()->Count();
    }

    std::filesystem::path Dir;
    std::string DbPath;
    TZqPhysManager *Mgr = nullptr; // kept alive by Manager
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
};

TEST_F(StationCatalog, TheKeyOfCastTitlesIsFoundOncePerConnection)
{
    TZqDatSTable Casts;
    Query("Select * from Cast_Titles where ID_Cruise = 1 order by Date_Cast, Time_Cast", Casts);
    EXPECT_GT(Casts.Rows()->Count(), 0);
    EXPECT_EQ(MetaFixture::KeyColumns(&Casts), (Strings{"ID_Cast"}));
    EXPECT_EQ(CachedRows(mikPrimaryKeyFields), 1);
    // Another query on the table: the key comes from the cache, and a
    // second catalog call would have appended its row again.
    TZqDatSTable Again;
    Query("select ID_Cast, Lat, Lon from cast_titles where ID_Cruise = 2", Again);
    EXPECT_EQ(MetaFixture::KeyColumns(&Again), (Strings{"ID_Cast"}));
    EXPECT_EQ(CachedRows(mikPrimaryKeyFields), 1);
}

TEST_F(StationCatalog, ATableQualifiedByTheDottedDatabasePathRunsWithoutKeys)
{
    TZqDatSTable Casts;
    Query("Select * from \"" + DbPath + "\".Cast_Titles where ID_Cruise = 1", Casts);
    EXPECT_GT(Casts.Rows()->Count(), 0);
    EXPECT_TRUE(MetaFixture::KeyColumns(&Casts).empty());
}

TEST_F(StationCatalog, FieldsAndIndexesOfCastTitles)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    TZqPhysMetaView F = Meta->GetTableFields("", "", "Cast_Titles", "");
    const Strings Names = MetaFixture::Column(F, "COLUMN_NAME");
    ASSERT_GE(Names.size(), 4u);
    EXPECT_EQ(Strings(Names.begin(), Names.begin() + 4), (Strings{"ID_Cast", "ID_Cruise", "Date_Cast", "Time_Cast"}));
    TZqPhysMetaView Lat = Meta->GetTableFields("", "", "CAST_TITLES", "la%");
    EXPECT_EQ(MetaFixture::Column(Lat, "COLUMN_NAME"), (Strings{"Lat"}));
    EXPECT_EQ(CachedRows(mikTableFields), int(Names.size()));
    TZqPhysMetaView Pk = Meta->GetPrimaryKey("", "", "Cast_Titles");
    EXPECT_EQ(Pk.RowCount(), 1);
}
