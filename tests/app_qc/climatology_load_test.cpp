// The climatology loader: files split and read as the import dialog reads
// them, rows sent to the table of their sea, "already loaded", ranges left
// out, a failing row taking its table with it; and the staged installation.
#include "tests/app_qc/qc_fixture.h"

#include "app/UQC.h"
#include "app/manual/map.h"
#include "platform/localdb/LocalEngine.h"
#include "tests/support/query_fixture.h"

#include <cstdlib>
#include <fstream>

namespace qctest {
namespace {

class ClimatologyLoad : public QcEngineTest {
protected:
    void SetUp() override
    {
        QcEngineTest::SetUp();
        MsSquares = {MakeWorldRect(8, 44, 10, 46)};
        MsSquareNames.Clear();
        MsSquareNames.Add("M44N008E");
        for (TTable *T : {&Tmpl, &MS, &BS})
            T->SetDatabaseName(WorkDir);
    }
    TClimImport Read(const std::string &Text)
    {
        const std::string File = Dir + "clim.txt";
        std::ofstream(File) << Text;
        TClimImport Import;
        std::string Error;
        EXPECT_TRUE(ReadClimatologyFile(File, Import, Error)) << Error;
        return Import;
    }
    int Load(const TClimImport &Import) { return LoadClimatology(Import, Tmpl, MS, BS, WorkDir); }
    bool Exists(const std::string &Name) { return LocalTableFileExists(WorkDir + Name + ".db"); }
    TTable Tmpl, MS, BS;
};

const char *const MixedFile = "REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD;PSAL_PAVG;PSAL_PSTD\n"
                              "7;6;0;15.5;0.5;18.1;0.2\n"
                              "7;6;10;15.0;0.4;18.2;0.2\n"
                              "M44N008E;6;0;21.0;0.8;38.0;0.1\n"
                              "9;6;0;1;1;1;1\n";

TEST_F(ClimatologyLoad, RowsGoToTheTableOfTheirSea)
{
    TClimImport Import = Read(MixedFile);
    EXPECT_TRUE(Import.HasBs);
    EXPECT_TRUE(Import.HasMs);
    EXPECT_EQ(Import.Params.Items, (std::vector<std::string>{"TEMP(climat)", "PSAL(climat)"}));
    EXPECT_EQ(Import.SubRegions.Items, (std::vector<std::string>{"7", "M44N008E", "9"}));
    EXPECT_EQ(Load(Import), 6);
    EXPECT_EQ(Local("Select Region, Month, Pres, PAVG, PSTD from BS_TEMP order by Pres"),
              (TRows{{"7", "6", "0", "15.5", "0.5"}, {"7", "6", "10", "15", "0.4"}}));
    // The second parameter's pair comes from the sixth and seventh columns.
    EXPECT_EQ(Local("Select Region, PAVG, PSTD from MS_PSAL"), (TRows{{"M44N008E", "38", "0.1"}}));
    EXPECT_EQ(Local("Select count(*) from BS_PSAL"), (TRows{{"2"}}));
    EXPECT_TRUE(Dialogs->Messages.empty());
}

TEST_F(ClimatologyLoad, UntickedSubRegionOrParameterStaysOut)
{
    TClimImport Import = Read(MixedFile);
    Import.SubRegions.Checked[0] = false; // "7"
    Import.Params.Checked[1] = false;      // PSAL
    EXPECT_EQ(Load(Import), 1);
    EXPECT_EQ(Local("Select count(*) from BS_TEMP"), (TRows{{"0"}}));
    EXPECT_EQ(Local("Select count(*) from MS_TEMP"), (TRows{{"1"}}));
    EXPECT_FALSE(Exists("MS_PSAL"));
}

TEST_F(ClimatologyLoad, AlreadyLoadedSeaIsLeftAloneTheOtherGoesOn)
{
    TClimImport Import = Read(MixedFile);
    Import.Params.Checked[1] = false;
    Import.HasBs = false;
    EXPECT_EQ(Load(Import), 1);
    Import.HasBs = true;
    EXPECT_EQ(Load(Import), 2);
    EXPECT_EQ(Dialogs->Texts(), std::vector<std::string>{"Climat for TEMP in the Mediterranean Sea is already loaded"});
    EXPECT_EQ(Local("Select count(*) from MS_TEMP"), (TRows{{"1"}}));
}

TEST_F(ClimatologyLoad, RangesAreNotLoadedAsMeanAndDeviation)
{
    TClimImport Import = Read("REGION;Month;PRES;NO3_PMIN;NO3_PMAX;TEMP_PAVG;TEMP_PSTD\n7;6;0;0;12;15;0.5\n");
    EXPECT_EQ(Import.Params.Items, (std::vector<std::string>{"NO3(ranges)", "TEMP(climat)"}));
    EXPECT_EQ(Load(Import), 1);
    EXPECT_FALSE(Exists("BS_NO3"));
    EXPECT_EQ(Local("Select PAVG, PSTD from BS_TEMP"), (TRows{{"15", "0.5"}}));
}

TEST_F(ClimatologyLoad, FailingRowTakesItsTableAndIsNamed)
{
    // Line 4 repeats the key of line 2.
    TClimImport Import = Read("REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD\n7;6;0;15;0.5\nM44N008E;6;0;21;0.8\n7;6;0;16;0.5\n");
    EXPECT_EQ(Load(Import), 1);
    EXPECT_FALSE(Exists("BS_TEMP"));
    EXPECT_TRUE(Exists("MS_TEMP"));
    ASSERT_EQ(Dialogs->Texts().size(), 1u);
    EXPECT_EQ(Dialogs->Texts()[0].rfind("Climat for TEMP in the Black Sea is not loaded: " + Dir + "clim.txt, line 4", 0), 0u)
        << Dialogs->Texts()[0];
    // Nothing is left half made: loading again succeeds.
    Import.Grid.pop_back();
    EXPECT_EQ(Load(Import), 1);
    EXPECT_EQ(Local("Select count(*) from BS_TEMP"), (TRows{{"1"}}));
}

TEST_F(ClimatologyLoad, LinesSplitAsTheImportDialogSplitsThem)
{
    EXPECT_EQ(SplitClimLine("a;;b;", ';'), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitClimLine("a,b\r", ','), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(SplitClimLine("", ';').empty());
    const std::string File = Dir + "bad.txt";
    TClimImport Import;
    std::string Error;
    std::ofstream(File) << "Station;Month;PRES;TEMP_PAVG;TEMP_PSTD\n";
    EXPECT_FALSE(ReadClimatologyFile(File, Import, Error));
    EXPECT_EQ(Error, "Wrong File Format");
    std::ofstream(File) << "Region;Month;PRES;TEMP_PAVG;PSAL_PSTD\n";
    EXPECT_FALSE(ReadClimatologyFile(File, Import, Error));
    EXPECT_EQ(Error, "Error in the First String");
    // An odd last value column is ignored.
    std::ofstream(File) << "Region\tMonth\tPRES\tTEMP_PAVG\tTEMP_PSTD\tPSAL_PAVG\n7\t6\t0\t1\t2\t3\n";
    EXPECT_TRUE(ReadClimatologyFile(File, Import, Error));
    EXPECT_EQ(Import.Params.Items, std::vector<std::string>{"TEMP(climat)"});
}

TEST_F(ClimatologyLoad, InstallationComesWithItsClimatologyLoaded)
{
    const std::string Program = std::string(std::getenv("MARLIN_PROGRAM_DIR")) + "/";
    const std::string Db = Program + "SoftDB/worktables.sqlite3";
    auto Lines = [&](const std::string &F) {
        std::ifstream In(Program + "Clim/" + F);
        int N = -1; // the header
        for (std::string L; std::getline(In, L);)
            N += L.empty() ? 0 : 1;
        return std::to_string(N);
    };
    for (const char *T : {"BS_TEMP", "BS_PSAL"})
        EXPECT_EQ(querytest::SqliteRows(Db, std::string("select count(*) from ") + T)[0][0], Lines("BlackSea_TS.txt"));
    for (const char *T : {"MS_TEMP", "MS_PSAL"})
        EXPECT_EQ(querytest::SqliteRows(Db, std::string("select count(*) from ") + T)[0][0],
                  Lines("Mediterranean_TS.txt"));
}

} // namespace
} // namespace qctest
