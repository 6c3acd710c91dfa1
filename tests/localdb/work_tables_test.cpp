// The per-database work tables: the table-name prefix and the making rule.
#include "tests/localdb/LocalDbFixture.h"

#include "app/WorkTables.h"

#include <sys/wait.h>
#include <unistd.h>

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
// its own; the tables an earlier version made go to the first that comes. A
// database moved or renamed (From) takes its history along where its
// cruises are those of the history; another that comes to its old place
// does not.
TEST_F(WorkTables, EachDatabaseKeepsTheTablesRecordedForItsPath)
{
    namespace fs = std::filesystem;
    fs::create_directories(Dir() + "b");
    fs::create_directory_symlink(Dir() + "b", Dir() + "link");
    FromTemplate("s-QCCruise", "QCCruise", "ID_Cruise");
    Exec("INSERT INTO \"s-QCCruise\" (ID_Cruise, Cruise_Name) VALUES (7, 'C7')");
    const struct {
        std::string Path, From;
        int Cruise;
        std::string Prefix;
        int Rows;
    } Steps[] = {{"a/s.mdb", "", 7, "s", 1},          {"b/s.mdb", "", 7, "s~2", 0},
                 {"c/S.mdb", "", 8, "S~3", 0},        {"a/s.mdb", "", 7, "s", 1},
                 {"link/s.mdb", "", 7, "s~2", 0},     {"prog/demo/s.mdb", "", 8, "s~4", 0},
                 {"m/s.mdb", "a/s.mdb", 7, "s", 1},   {"m/r.mdb", "m/s.mdb", 7, "s", 1},
                 {"a/s.mdb", "", 7, "s~5", 0}};
    for (const auto &Step : Steps) {
        fs::create_directories(fs::path(Dir() + Step.Path).parent_path());
        if (!Step.From.empty())
            fs::rename(Dir() + Step.From, Dir() + Step.Path);
        std::ofstream(Dir() + Step.Path, std::ios::app).flush();
        CreateWorkTables(Dir() + Step.Path, Dir(), Set, Dir() + "prog/", [&Step] {
            return std::vector<TCruiseIdentity>{{Step.Cruise, "C" + std::to_string(Step.Cruise)}};
        });
        EXPECT_EQ(DbTablePrefix + " " + std::to_string(TmpCruTbl.RecordCount()),
                  Step.Prefix + " " + std::to_string(Step.Rows)) << Step.Path;
    }
    EXPECT_EQ(Rows("Select Prefix, DbPath from DbPrefixes where Prefix in ('s', 's~4')"),
              (Lines{"s|" + fs::canonical(Dir() + "m/r.mdb").generic_string(), "s~4|demo/s.mdb"}));
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

// Programs that come at once on one work folder, two on each of eight databases of one file name: one prefix a
// database, and none fails on another's record.
TEST_F(WorkTables, ProgramsComingAtOnceRecordOnePrefixADatabase)
{
    Rows("Select count(*) from DbPrefixes"); // the folder made before any fork
    TLocalDatabase::CloseAll();
    int Go[2];
    ASSERT_EQ(::pipe(Go), 0);
    std::vector<pid_t> Children(16);
    for (size_t I = 0; I < Children.size(); ++I)
        if ((Children[I] = ::fork()) == 0) {
            char C;
            ::close(Go[1]);
            const bool Together = ::read(Go[0], &C, 1) == 0; // all at once, when the pipe closes
            try {
                RecordedDbTablePrefix(Dir(), "/d" + std::to_string(I % 8) + "/s.mdb", "s");
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(Together ? 0 : 2);
        }
    ::close(Go[0]);
    ::close(Go[1]);
    for (const pid_t Child : Children) {
        int Status = -1;
        ::waitpid(Child, &Status, 0);
        EXPECT_EQ(Status, 0);
    }
    EXPECT_EQ(Rows("Select count(*), count(distinct DbPath) from DbPrefixes"), (Lines{"8|8"}));
}
