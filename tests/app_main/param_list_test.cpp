// The local parameter table follows the parameters of the main database:
// a parameter with a table of its own comes in, with QC when a climatology
// of either sea exists; one without a table, or whose name is not a plain
// name, stays out; the checked parameters get their level-flag tables.
#include "tests/app_support/main_fixture.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"

using namespace maintest;

namespace {

// A parameter of the main database with a table of its own and one level.
void AddParameter(const std::string &ADb, const std::string &AAbbr, const std::string &AName,
                  const std::string &AUnit)
{
    apptest::SqliteExec(ADb, "create table " + AAbbr + " (ID_Cast integer, PRES double, FPRES integer, " + AAbbr +
                                 " double, F" + AAbbr + " integer)");
    apptest::SqliteExec(ADb, "insert into " + AAbbr + " select ID_Cast, PRES, 0, 1.5, 0 from PTS_Data limit 1");
    apptest::SqliteExec(ADb, "insert into Parameters (ID_Cast, ParamAbr, ParName, Unit) select ID_Cast, '" + AAbbr +
                                 "', '" + AName + "', '" + AUnit + "' from Cast_Titles limit 1");
}

// A climatology table of the work folder, as the climatology loading makes
// it from its template.
void AddClimatology(const std::string &AFolder, const std::string &AName)
{
    TTable Template(nullptr);
    Template.SetDatabaseName(AFolder);
    Template.SetTableName("Clim");
    Template.Open();
    TTable Table(nullptr);
    Table.SetDatabaseName(AFolder);
    Table.SetTableName(AName);
    Table.FieldDefs().Assign(Template.FieldDefs());
    Table.CreateTable();
}

} // namespace

using ParamForming = MainWindow;

TEST_F(ParamForming, EachTabledParameterOnceWithItsQcBitAndFlagTablesForTheChecked)
{
    const std::string Db = Install->DbPath();
    AddParameter(Db, "SIO4", "Silicate", "umol/l");
    AddParameter(Db, "PHOS", "Phosphate", "umol/l");
    // The same parameter under a second unit gives a second distinct row.
    apptest::SqliteExec(Db, "insert into Parameters (ID_Cast, ParamAbr, ParName, Unit) select ID_Cast, 'SIO4', "
                            "'Silicate', 'mmol/m3' from Cast_Titles limit 1");
    // Listed but without a table: never offered.
    apptest::SqliteExec(Db, "insert into Parameters (ID_Cast, ParamAbr, ParName, Unit) select ID_Cast, 'NOTAB', "
                            "'No table', 'x' from Cast_Titles limit 1");
    AddClimatology(Install->Dir() + "SoftDB/", "BS_SIO4");

    ASSERT_TRUE(Start());
    EXPECT_TRUE(Dialogs->Messages.empty());
    const auto Rows = WorkRows("param", {"Param", "ParamName", "QC"});
    const auto Find = [&Rows](const std::string &AParam) {
        int Count = 0;
        std::string Found = "<none>";
        for (const std::string &R : Rows)
            if (R.substr(0, R.find('|')) == AParam) {
                ++Count;
                Found = R;
            }
        return Count > 1 ? std::string("<twice>") : Found;
    };
    // The installation's rows stay as they were.
    EXPECT_EQ(Find("TEMP"), "TEMP|TEMPERATURE DEG C|True");
    EXPECT_EQ(Find("PSAL"), "PSAL|SALINITY PSU|True");
    EXPECT_EQ(Find("NO3"), "NO3|NITRATE UMOL/L|False");
    // New: the name in upper case with the first unit met.
    const std::string Sio4 = Find("SIO4");
    EXPECT_TRUE(Sio4 == "SIO4|SILICATE UMOL/L|True" || Sio4 == "SIO4|SILICATE MMOL/M3|True") << Sio4;
    EXPECT_EQ(Find("PHOS"), "PHOS|PHOSPHATE UMOL/L|False");
    EXPECT_EQ(Find("NOTAB"), "<none>");
    EXPECT_EQ(Find("PRESS"), "<none>");

    // Checked parameters other than TEMP, PSAL and DENS get their own
    // level-flag table, its last field the parameter's flag.
    ASSERT_EQ(ChemParamList.Count(), 1);
    EXPECT_EQ(ChemParamList.Strings(0), "SIO4");
    ASSERT_EQ(ChemFlagTbls.size(), 1u);
    ASSERT_NE(ChemFlagTbls[0], nullptr);
    EXPECT_TRUE(ChemFlagTbls[0]->Active());
    std::vector<std::string> Names;
    for (int I = 0; I < ChemFlagTbls[0]->FieldDefs().Count(); ++I)
        Names.push_back(ChemFlagTbls[0]->FieldDefs().Items(I)->Name());
    EXPECT_EQ(Names, (std::vector<std::string>{"ID_Cast", "PRES", "FPRES", "FSIO4"}));
    EXPECT_TRUE(Form->PTS_DataFlagTbl->Active());
    EXPECT_EQ(Form->PTS_DataFlagTbl->TableName(), "marlin_demo-PTS_DataFlags.db");
    EXPECT_EQ(RangeQry, static_cast<TDataSet *>(Form->TmpParamQry));

    // A second start finds everything in place and adds nothing.
    Stop();
    ASSERT_TRUE(Start());
    EXPECT_EQ(WorkRows("param", {"Param", "ParamName", "QC"}), Rows);
}

TEST_F(ParamForming, AnAbbreviationThatIsNoPlainNameNeverReachesTheStatement)
{
    const std::string Db = Install->DbPath();
    // The column holds ten characters: each value fits it.
    for (const char *Abbr : {"Ships;--", "PTS_Data x", "NO3''x", "[DOX1]"})
        apptest::SqliteExec(Db, std::string("insert into Parameters (ID_Cast, ParamAbr, ParName, Unit) select "
                                            "ID_Cast, '") + Abbr + "', 'Odd', 'x' from Cast_Titles limit 1");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Dialogs->Messages.empty()) << Dialogs->Texts().front();
    for (const std::string &Row : WorkRows("param", {"Param"}))
        EXPECT_EQ(Row.find_first_of(" ;'[-"), std::string::npos) << Row;
    EXPECT_EQ(apptest::SqliteRows(Db, "select count(*) from sqlite_master where name = 'Ships'")[0][0], "1");
}
