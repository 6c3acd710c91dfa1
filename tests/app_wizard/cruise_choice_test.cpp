// The run's cruise table for the four wizard modes and the custom choice:
// the local copy of the cruise/ship/country join, the cascading lists, the
// cruise-name search and the ticked cruises carried by their ID_Cruise.
#include "tests/app_wizard/wizard_fixture.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/CruiseChoice.h"
#include "app/Globals.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"

using namespace wizardtest;

namespace {

using TTexts = std::vector<std::string>;

class CruiseChoice : public WizardDb {
protected:
    void SetUp() override
    {
        WizardDb::SetUp();
        WorkQry.SetDatabaseName(WorkDir);
        ZqCruQuery = new TZqQuery(Owner.get()); // owned by Owner
        ZqCruQuery->SetConnection(Conn);
        ZqQuery1 = new TZqQuery(Owner.get()); // owned by Owner
        ZqQuery1->SetConnection(Conn);
    }
    void TearDown() override
    {
        TmpCruTbl.Close();
        WorkQry.Close();
        WizardDb::TearDown();
    }
    void Build()
    {
        BuildCruiseChoiceData(WorkQry, *ZqCruQuery, TmpCruTbl, WorkDir, MainDbSqlName, Countries, Lists, Notes);
    }
    static int IndexOf(const TCheckListBox &L, const std::string &AText)
    {
        for (int I = 0; I < L.Count(); ++I)
            if (L.ItemText(I) == AText)
                return I;
        return -1;
    }
    static TTexts Texts(const TCheckListBox &L, bool ATickedOnly = false)
    {
        TTexts R;
        for (int I = 0; I < L.Count(); ++I)
            if (!ATickedOnly || L.Checked(I))
                R.push_back(L.ItemText(I));
        return R;
    }
    int Search(std::string AText, bool AAutoStar)
    {
        return SearchCruises(*ZqQuery1, CruiseSearchPattern(AText, AAutoStar), Results);
    }

    TQuery WorkQry;
    TTable TmpCruTbl;
    TZqQuery *ZqCruQuery = nullptr;
    TZqQuery *ZqQuery1 = nullptr;
    TCheckListBox Countries, Ships, Cruises, Results;
    TTexts Notes; // what the rows said, for the start to say
    rtl::TStringList CountryCodes, ShipNames, ShipCodes, ShipCountryCodes, CruiseMars, CruiseNames,
        CruiseShipCodes, CruiseIds, CruiseCountryCodes;
    TCruiseChoiceLists Lists{CountryCodes, ShipNames,       ShipCodes, ShipCountryCodes,  CruiseMars,
                             CruiseNames,  CruiseShipCodes, CruiseIds, CruiseCountryCodes};
};

// Rows another tool wrote besides: an identity beyond 32 bits, which cut would be cruise 3, is named and left out;
// a name longer than its Text(50) column is listed, and found by the search.
TEST_F(CruiseChoice, LocalCruisesHoldTheJoinAndCruisesWithoutShipAreLeftOut)
{
    TScriptedDialogs Dialogs;
    const std::string Long(300, 'L');
    apptest::SqliteExec(DbPath, "insert into Cruise_Titles values (31, 'ABYSS_01', 'XX2001001', 'ZZZZ', 'TR'), "
                                "(4294967299, 'BIG_ID', 'XX1', 'TRBL', 'TR'), (33, '" + Long + "', 'XX3', 'TRBL', 'TR')");
    Build();
    EXPECT_EQ(Local("select count(*) from Cruises"), TTexts{"31"});
    EXPECT_EQ(Local("select ID_Cruise, Cruise_Name, Ship_Name, NAME from Cruises where ID_Cruise = 7"),
              TTexts{"7|BS94_AD03|AKADEMIK|BULGARIA"});
    // Twelve countries with cruises (not Greece), by name, with their
    // codes in step.
    ASSERT_EQ(Countries.Count(), 12);
    EXPECT_EQ(Countries.ItemText(0), "BULGARIA");
    EXPECT_EQ(CountryCodes[0], "BG");
    EXPECT_EQ(Countries.ItemText(11), "UKRAINE");
    EXPECT_EQ(CountryCodes[11], "UA");
    // AEGAEO has no cruise, so it is not among the ships.
    EXPECT_EQ(ShipNames.Count(), 13);
    EXPECT_EQ(ShipNames.IndexOf("AEGAEO"), -1);
    EXPECT_EQ(CruiseIds.Count(), 31);
    EXPECT_EQ(CruiseNames.IndexOf("ABYSS_01"), -1);
    EXPECT_EQ(CruiseNames.IndexOf("BIG_ID"), -1);
    EXPECT_EQ(CruiseNames[CruiseIds.IndexOf("33")], std::string(150, 'L'));
    ASSERT_EQ(Notes.size(), 2u); // said by the caller, once for the start
    EXPECT_EQ(Notes[0].rfind("A row of Cruise_Titles (Cruise_Name BIG_ID) is left out: its ID_Cruise cannot be read. ", 0),
              0u) << Notes[0];
    EXPECT_NE(Notes[0].find("4294967299"), std::string::npos) << Notes[0];
    EXPECT_EQ(Notes[1], "The text of Cruise_Titles.Cruise_Name in the row with ID_Cruise 33 is longer than its column "
                        "takes: the first 150 bytes are read.");
    // The search reads the main database itself and finds it.
    EXPECT_EQ(Search("ABY", true), 1);
    EXPECT_EQ(CruiseItemId(Results, 0), 31);
    EXPECT_EQ(Search("BIG*", false), 0);
    EXPECT_EQ(Search("LLL*", false), 1);
    EXPECT_EQ(CruiseItemId(Results, 0), 33);
    // A second build starts from an empty Cruises again.
    Build();
    EXPECT_EQ(Local("select count(*) from Cruises"), TTexts{"31"});
}

TEST_F(CruiseChoice, CountryShipCruiseCascade)
{
    Build();
    const int Romania = IndexOf(Countries, "ROMANIA");
    ASSERT_GE(Romania, 0);
    // Ticking a country (the click highlights it too) shows its ships
    // unticked, hence no cruise yet.
    Countries.SetChecked(Romania, true);
    Countries.setCurrentRow(Romania);
    ASSERT_EQ(FillShipList(Countries, Ships, true, Lists), 1);
    EXPECT_EQ(Ships.ItemText(0), "MARE NIGRUM (Code: ROMN; ROMANIA)");
    EXPECT_FALSE(Ships.Checked(0));
    Ships.setCurrentRow(-1);
    EXPECT_EQ(FillCruiseList(Ships, Cruises, true, Lists), 0);
    // Highlighting the ship with "Show cruises for the selected ship" lists
    // and ticks its cruises, sorted by name.
    Ships.setCurrentRow(0);
    std::vector<int> Progress;
    EXPECT_EQ(FillCruiseList(Ships, Cruises, true, Lists, [&](int P) { Progress.push_back(P); }), 3);
    EXPECT_EQ(Texts(Cruises, true), (TTexts{"BS92_MN03", "BS93_MN04", "BS95_MN05"}));
    EXPECT_EQ(Progress, std::vector<int>{100});
    EXPECT_EQ(CruiseItemId(Cruises, 0), 3);
    // Without the option a highlighted ship that is not ticked lists nothing.
    EXPECT_EQ(FillCruiseList(Ships, Cruises, false, Lists), 0);
    // A ticked ship lists its cruises unticked; ticks given by the operator
    // survive a refill.
    Ships.SetChecked(0, true);
    ASSERT_EQ(FillCruiseList(Ships, Cruises, true, Lists), 3);
    EXPECT_TRUE(Texts(Cruises, true).empty());
    Cruises.SetChecked(2, true);
    FillCruiseList(Ships, Cruises, true, Lists);
    EXPECT_EQ(Texts(Cruises, true), TTexts{"BS95_MN05"});
    // A country only highlighted (not ticked) shows its ships ticked; the
    // ship ticked before keeps its tick.
    const int Israel = IndexOf(Countries, "ISRAEL");
    Countries.setCurrentRow(Israel);
    ASSERT_EQ(FillShipList(Countries, Ships, true, Lists), 2);
    EXPECT_EQ(Texts(Ships, true), (TTexts{"MARE NIGRUM (Code: ROMN; ROMANIA)", "SHIKMONA (Code: ILSH; ISRAEL)"}));
    // Without "Show ships for the selected country" only ticked countries count.
    EXPECT_EQ(FillShipList(Countries, Ships, false, Lists), 1);
}

TEST_F(CruiseChoice, TwoCruisesOfOneNameStayTwoCruises)
{
    apptest::SqliteExec(DbPath, "insert into Cruise_Titles values (31, 'BS91_BI01', 'TR1991009', 'TRBL', 'TR')");
    Build();
    Countries.SetChecked(IndexOf(Countries, "TURKEY"), true);
    FillShipList(Countries, Ships, false, Lists);
    ASSERT_EQ(Ships.Count(), 1);
    Ships.SetChecked(0, true);
    ASSERT_EQ(FillCruiseList(Ships, Cruises, false, Lists), 3);
    EXPECT_EQ(Texts(Cruises), (TTexts{"BS91_BI01", "BS91_BI01", "BS98_BI05"}));
    Cruises.SetChecked(0, true);
    Cruises.SetChecked(1, true);
    EXPECT_EQ(BuildCustomCruiseTable(Cruises, TmpCruTbl, WorkDir), 2);
    TmpCruTbl.Close();
    EXPECT_EQ(Local("select ID_Cruise, Cruise_Name from TmpCru order by ID_Cruise"),
              (TTexts{"1|BS91_BI01", "31|BS91_BI01"}));
    // Unticking one keeps the other ticked across a refill, by id.
    Cruises.SetChecked(0, false);
    const int Kept = CruiseItemId(Cruises, 1);
    FillCruiseList(Ships, Cruises, false, Lists);
    int Ticked = 0;
    for (int I = 0; I < Cruises.Count(); ++I)
        if (Cruises.Checked(I)) {
            ++Ticked;
            EXPECT_EQ(CruiseItemId(Cruises, I), Kept);
        }
    EXPECT_EQ(Ticked, 1);
}

TEST_F(CruiseChoice, TickedNamesAsLongAsTheStationAllowsReachTheRunWhole)
{
    std::string Cyrillic50, Latin31(31, 'Q');
    for (int I = 0; I < 5; ++I)
        Cyrillic50 += "ЧЕРНОМОРСК";
    const TTexts Names = {Latin31, Cyrillic50, "BS91_BI01"};
    for (size_t I = 0; I < Names.size(); ++I)
        AddCruiseItem(Cruises, Names[I], int(I) + 1);
    for (int I = 0; I < Cruises.Count(); ++I)
        Cruises.SetChecked(I, true);
    EXPECT_EQ(BuildCustomCruiseTable(Cruises, TmpCruTbl, WorkDir), 3);
    TmpCruTbl.Close();
    EXPECT_EQ(Local("select Cruise_Name from TmpCru order by ID_Cruise"), Names);
}

TEST_F(CruiseChoice, SearchPatternRules)
{
    std::string Text = "AB";
    int Caret = -1;
    EXPECT_EQ(CruiseSearchPattern(Text, true, &Caret), "AB%");
    EXPECT_EQ(Text, "AB*");
    EXPECT_EQ(Caret, 2);
    Text = "AB**";
    EXPECT_EQ(CruiseSearchPattern(Text, true), "AB%");
    EXPECT_EQ(Text, "AB*");
    Text = "A*B**";
    EXPECT_EQ(CruiseSearchPattern(Text, false), "A%B%%");
    Text = "";
    EXPECT_EQ(CruiseSearchPattern(Text, true), "");
    EXPECT_EQ(Text, "");
    EXPECT_EQ(CruiseSearchSql("BS07%"), "Select * from Cruise_Titles where Cruise_Name like 'BS07%'");
    EXPECT_EQ(CruiseSearchSql("O'B%"), "Select * from Cruise_Titles where Cruise_Name like 'O''B%'");
}

TEST_F(CruiseChoice, SearchFindsByNameAndQuotesStayText)
{
    apptest::SqliteExec(DbPath, "insert into Cruise_Titles values (31, 'ABC_01', 'XX1', 'TRBL', 'TR')");
    apptest::SqliteExec(DbPath, "insert into Cruise_Titles values (32, 'O''BRIEN 2', 'XX2', 'TRBL', 'TR')");
    EXPECT_EQ(Search("AB*", false), 1);
    EXPECT_EQ(Results.ItemText(0), "ABC_01");
    EXPECT_EQ(CruiseItemId(Results, 0), 31);
    // Case does not matter to the station database's LIKE.
    EXPECT_EQ(Search("bs9", true), 11);
    EXPECT_EQ(Search("O'BRIEN*", false), 1);
    EXPECT_EQ(CruiseItemId(Results, 0), 32);
    // Text that would end the literal early finds nothing and changes nothing.
    const auto Before = Station("select count(*) from Cruise_Titles");
    EXPECT_EQ(Search("x' or '1'='1", false), 0);
    EXPECT_EQ(Search("'; delete from Cruise_Titles; --", false), 0);
    EXPECT_EQ(Station("select count(*) from Cruise_Titles"), Before);
    // Only '*' is a wildcard: every other character is matched as typed.
    apptest::SqliteExec(DbPath, "insert into Cruise_Titles values (41, 'A%B', 'XX', 'TRBL', 'TR'), (42, 'AxB', 'XX', "
                                "'TRBL', 'TR'), (43, 'A_B', 'XX', 'TRBL', 'TR'), (44, 'A[1]', 'XX', 'TRBL', 'TR'), (45, "
                                "'A#1', 'XX', 'TRBL', 'TR'), (46, 'A?1', 'XX', 'TRBL', 'TR'), (47, 'A11', 'XX', 'TRBL', 'TR')");
    const std::pair<const char *, TTexts> Cases[] = {
        {"A%B", {"A%B"}}, {"A_B", {"A_B"}}, {"A[*", {"A[1]"}}, {"A[1]", {"A[1]"}}, {"A#1", {"A#1"}},
        {"A?1", {"A?1"}}, {"%", {}},        {"_*", {}},        {"A*B", {"A%B", "A_B", "AxB"}}};
    for (const auto &[Typed, Found] : Cases) {
        Search(Typed, false);
        TTexts Got = Texts(Results);
        std::sort(Got.begin(), Got.end());
        EXPECT_EQ(Got, Found) << Typed;
    }
    EXPECT_EQ(Search("", true), 0);
    EXPECT_EQ(Results.Count(), 0);
}

TEST_F(CruiseChoice, ModesBuildTheRunsCruiseTable)
{
    // Three cruises: never checked, checked once, checked by every test.
    {
        TTable Struct;
        Struct.SetDatabaseName(WorkDir);
        Struct.SetTableName("QCCruise");
        Struct.Open();
        TTable T;
        T.SetDatabaseName(WorkDir);
        T.SetTableName("x-QCCruise");
        T.FieldDefs().Assign(Struct.FieldDefs());
        T.CreateTable();
        T.AddIndex("", "ID_Cruise", ixPrimary);
        T.Open();
        for (int Id = 1; Id <= 3; ++Id) {
            T.Append();
            T.FieldByName("ID_Cruise")->SetAsInteger(Id);
            T.FieldByName("Cruise_Name")->SetAsString("C" + std::to_string(Id));
            for (const char *F : {"ChDuplicates", "ChLocation", "ChVelosity", "ChDepth", "ChDataClimat", "ChDataSpike",
                                  "Duplicates", "Location", "Velosity", "Depth", "DataClimat", "DataSpike"})
                T.FieldByName(F)->SetAsBoolean(Id == 3 || (Id == 2 && std::string(F) == "ChDepth"));
            T.Post();
        }
    }
    TQuery QCCruQry;
    QCCruQry.SetDatabaseName(WorkDir);
    QCCruQry.SQL().Add("Select * from \"x-QCCruise\" order by Cruise_Name");
    QCCruQry.Open();
    const struct {
        int Mode;
        TTexts Ids;
    } Cases[] = {{0, {"1", "2", "3"}}, {1, {"1"}}, {2, {"1", "2"}}};
    for (const auto &C : Cases) {
        QCCruQry.Last();
        EXPECT_EQ(BuildModeCruiseTable(C.Mode, QCCruQry, TmpCruTbl, WorkDir), int(C.Ids.size())) << C.Mode;
        EXPECT_EQ(QCCruQry.RecNo(), 1);
        TmpCruTbl.Close();
        EXPECT_EQ(Local("select ID_Cruise from TmpCru order by ID_Cruise"), C.Ids) << C.Mode;
    }
    // The run's table keeps every field of QCCruise.
    EXPECT_EQ(Local("select Cruise_Name, ChDepth, DataSpike from TmpCru where ID_Cruise = 2"), TTexts{"C2|True|False"});
}

} // namespace
