// The per-database work tables: the table-name prefix and the making rule.
#include "tests/localdb/LocalDbFixture.h"

#include "app/WorkTables.h"

namespace {

class WorkTables : public LocalDbFixture {
protected:
    TTable StructTbl, TmpCruTbl, CastFlagtbl, CastOldFlagTbl, UndoCastTbl, UndoParamTbl;
    TWorkTableSet Set{StructTbl, TmpCruTbl, CastFlagtbl, CastOldFlagTbl, UndoCastTbl, UndoParamTbl};
    std::string Dir() { return Folder + "/"; }
    std::vector<std::string> FieldNames(TTable &T)
    {
        std::vector<std::string> N;
        T.Fields().GetFieldNames(N);
        return N;
    }
};

} // namespace

TEST(DbTablePrefix, CutAtTheFirstOccurrenceOfTheExtension)
{
    EXPECT_EQ(ComputeDbTablePrefix("D:\\data\\black2007.mdb"), "black2007");
    EXPECT_EQ(ComputeDbTablePrefix("/data/black2007.mdb"), "black2007");
    EXPECT_EQ(ComputeDbTablePrefix("/data/a.mdb.b.mdb"), "a");
    EXPECT_EQ(ComputeDbTablePrefix("/data/x.y.mdb"), "x.y");
    EXPECT_EQ(ComputeDbTablePrefix("/data/noext"), "");
}

TEST_F(WorkTables, FirstStartMakesTheFiveTablesSecondStartOpensThemUnchanged)
{
    CreateWorkTables("/data/x.mdb", Dir(), Set);
    EXPECT_EQ(DbTablePrefix, "x");
    for (const char *N : {"x-QCCruise.db", "x-Cast_TitlesFlags.db", "x-Cast_TitlesOldFlags.db",
                          "x-undocast.db", "x-Undoparam.db"})
        EXPECT_TRUE(LocalTableFileExists(Dir() + N)) << N;
    for (TTable *T : {&TmpCruTbl, &CastFlagtbl, &CastOldFlagTbl, &UndoCastTbl, &UndoParamTbl})
        EXPECT_TRUE(T->Active());
    EXPECT_EQ(TmpCruTbl.FieldCount(), 15);
    EXPECT_EQ(TmpCruTbl.PrimaryKeyFields(), "ID_Cruise");
    EXPECT_EQ(CastFlagtbl.PrimaryKeyFields(), "ID_Cruise;ID_Cast");
    EXPECT_EQ(UndoCastTbl.PrimaryKeyFields(), "");
    EXPECT_EQ(FieldNames(UndoParamTbl), (std::vector<std::string>{"ID_Cast", "Pres", "FldName", "FldValue", "FirstCh"}));
    // Data and a structure change survive the second start.
    TmpCruTbl.Append();
    TmpCruTbl.FieldByName("ID_Cruise")->SetAsInteger(17);
    TmpCruTbl.Post();
    Exec("ALTER TABLE \"x-undocast\" ADD COLUMN Extra INTEGER");
    for (TTable *T : {&StructTbl, &TmpCruTbl, &CastFlagtbl, &CastOldFlagTbl, &UndoCastTbl, &UndoParamTbl})
        T->Close();
    TLocalDatabase::CloseAll();
    CreateWorkTables("/data/x.mdb", Dir(), Set);
    EXPECT_EQ(TmpCruTbl.RecordCount(), 1);
    EXPECT_EQ(UndoCastTbl.FieldCount(), 6);
}

// Databases of one file name in other folders (and of a name that differs in
// case only) get tables of their own; one reached through a link, or again,
// its own; the tables an earlier version made go to the first that comes.
TEST_F(WorkTables, EachDatabaseKeepsTheTablesRecordedForItsPath)
{
    namespace fs = std::filesystem;
    for (const char *Sub : {"a", "b", "prog/demo"})
        fs::create_directories(Dir() + Sub);
    fs::create_directory_symlink(Dir() + "b", Dir() + "link");
    FromTemplate("s-QCCruise", "QCCruise", "ID_Cruise");
    Exec("INSERT INTO \"s-QCCruise\" (ID_Cruise) VALUES (7)");
    const struct {
        std::string Path, Prefix;
        int Rows;
    } Steps[] = {{"a/s.mdb", "s", 1},        {"b/s.mdb", "s~2", 0},   {"c/S.mdb", "S~3", 0},
                 {"a/s.mdb", "s", 1},        {"link/s.mdb", "s~2", 0}, {"prog/demo/s.mdb", "s~4", 0}};
    for (const auto &Step : Steps) {
        CreateWorkTables(Dir() + Step.Path, Dir(), Set, Dir() + "prog/");
        EXPECT_EQ(DbTablePrefix + " " + std::to_string(TmpCruTbl.RecordCount()),
                  Step.Prefix + " " + std::to_string(Step.Rows)) << Step.Path;
    }
    EXPECT_EQ(Rows("Select DbPath from DbPrefixes where Prefix = 's~4'"), (Lines{"demo/s.mdb"}));
}

TEST_F(WorkTables, ParameterFlagTableTakesTheParametersFlagNameAndTheStationFlagTableItsPrints)
{
    DbTablePrefix = "x";
    // A station-flag table an earlier version made, with a row of its run.
    Exec("CREATE TABLE \"x-Cast_TitlesFlags\" (ID_Cruise INTEGER, ID_Cast INTEGER, FLon SMALLINT, FLat SMALLINT, "
         "FDT SMALLINT, FD SMALLINT, PRIMARY KEY (ID_Cruise, ID_Cast))");
    Exec("INSERT INTO \"x-Cast_TitlesFlags\" VALUES (3, 7, 1, 1, 2, 1)");
    TTable NO3, Casts;
    MakeParamFlagTable(NO3, StructTbl, Dir(), "NO3");
    MakeWorkTable(Casts, StructTbl, Dir(), "-Cast_TitlesFlags.db", "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
    EXPECT_TRUE(LocalTableFileExists(Dir() + "x-NO3flags.db"));
    EXPECT_EQ(FieldNames(NO3), (std::vector<std::string>{"ID_Cast", "PRES", "FPRES", "FNO3"}));
    EXPECT_EQ(NO3.PrimaryKeyFields(), "ID_Cast;PRES");
    EXPECT_EQ(Rows("Select ID_Cast, FDT, ProfilePrints from \"x-Cast_TitlesFlags\""), (Lines{"7|2|"}));
    // The template keeps its own last field.
    StructTbl.Close();
    StructTbl.SetTableName("ChemFlags");
    StructTbl.Open();
    EXPECT_EQ(StructTbl.Fields()[3]->FieldName(), "FCHEM");
}

TEST_F(WorkTables, EmptyPrefixGivesNamesBeginningWithADash)
{
    CreateWorkTables("/data/plainfile", Dir(), Set);
    EXPECT_EQ(DbTablePrefix, "");
    EXPECT_TRUE(LocalTableFileExists(Dir() + "-QCCruise.db"));
    EXPECT_EQ(Rows("Select count(*) from \"-Cast_TitlesFlags\""), (Lines{"0"}));
}

TEST_F(WorkTables, MissingTemplateRaises)
{
    Exec("DROP TABLE undocast");
    EXPECT_THROW(CreateWorkTables("/data/y.mdb", Dir(), Set), EDatabaseError);
}
