// Cruise and station names of Black Sea and Mediterranean cruises in the work
// tables: a text field of n characters holds n letters of any alphabet on
// every road into a table (fields, local SQL, batch moves) and refuses more,
// never keeping a cut name.
#include <functional>
#include <memory>
#include <string>

#include "platform/localdb/TBatchMove.h"
#include "tests/localdb/LocalDbFixture.h"

namespace {

// "Cruises".Cruise_Name and "TmpCast".StationName hold 40 and 30 characters.
const std::string CCyrillic40 = "Научно-исследовательское судно Академик ";
const std::string CGreek30 = "Θεσσαλονίκη Θερμαϊκός Κόλπος 1";
const std::string CTurkish30 = "Çanakkale Boğazı Gökçeada Ğüşı";
const std::string CCyrillic41 = CCyrillic40 + "В";

class LocalText : public LocalDbFixture {
protected:
    std::string MessageOf(const std::function<void()> &AAction)
    {
        try {
            AAction();
        } catch (const std::exception &E) {
            return E.what();
        }
        return {};
    }
};

} // namespace

TEST_F(LocalText, NamesOfEveryAlphabetRoundTripWholeThroughTablesAndQueries)
{
    ASSERT_EQ(TextCharCount(CCyrillic40), 40);
    ASSERT_EQ(TextCharCount(CGreek30), 30);
    ASSERT_EQ(TextCharCount(CTurkish30), 30);
    Fill("Cruises", {{1, CCyrillic40, "Черное море"}, {2, CGreek30}, {3, CTurkish30}});
    Fill("TmpCast", {{1, 10, rtl::Variant(), rtl::Variant(), 0, 30.5, 0, 44.5, 0, 100.0, 0, CGreek30},
                     {3, 30, rtl::Variant(), rtl::Variant(), 0, 26.4, 0, 40.1, 0, 50.0, 0, CTurkish30}});

    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("Cruises");
    T.Open();
    EXPECT_EQ(T.FieldByName("Cruise_Name")->Size(), 40); // the template's size, in characters
    ASSERT_TRUE(T.Locate("ID_Cruise", 1));
    EXPECT_EQ(T.FieldByName("Cruise_Name")->AsString(), CCyrillic40);
    EXPECT_EQ(T.FieldByName("MAR")->AsString(), "Черное море");

    // Edited in place and read back by a query that joins the two tables.
    T.Edit();
    T.FieldByName("Cruise_Name")->SetAsString(CGreek30 + CTurkish30.substr(0, 10));
    T.Post();
    EXPECT_EQ(Rows("Select Cruise_Name from Cruises where ID_Cruise = 1"),
              (Lines{CGreek30 + CTurkish30.substr(0, 10)}));
    EXPECT_EQ(Rows("Select c.Cruise_Name, t.StationName from Cruises c, TmpCast t "
                   "where c.ID_Cruise = t.ID_Cruise order by t.ID_Cast"),
              (Lines{CGreek30 + CTurkish30.substr(0, 10) + "|" + CGreek30, CTurkish30 + "|" + CTurkish30}));

    // Local SQL and a batch move copy them whole, too.
    Exec("Insert into Cruises (ID_Cruise, Cruise_Name) Select ID_Cast, StationName from TmpCast");
    EXPECT_EQ(Rows("Select Cruise_Name from Cruises where ID_Cruise in (10, 30) order by ID_Cruise"),
              (Lines{CGreek30, CTurkish30}));
    FromTemplate("x-Cruises", "Cruises", "ID_Cruise");
    TBatchMove M;
    M.Source = &T;
    auto Dest = std::make_unique<TTable>();
    Dest->SetDatabaseName(Folder);
    Dest->SetTableName("x-Cruises");
    M.Destination = Dest.get();
    M.Mode = batAppend;
    M.Execute();
    EXPECT_EQ(Rows("Select Cruise_Name from \"x-Cruises\" where ID_Cruise = 2"), (Lines{CGreek30}));
}

TEST_F(LocalText, ANameLongerThanItsFieldIsRefusedOnEveryRoad)
{
    Fill("Cruises", {{1, CGreek30}});
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("Cruises");
    T.Open();
    T.Edit();
    const std::string FieldMsg = MessageOf([&] { T.FieldByName("Cruise_Name")->SetAsString(CCyrillic41); });
    EXPECT_NE(FieldMsg.find("'Cruise_Name' is too long: 41 characters where the field holds 40"), std::string::npos)
        << FieldMsg;
    T.Post();
    EXPECT_EQ(Rows("Select Cruise_Name from Cruises"), (Lines{CGreek30}));

    // Local SQL: the engine refuses the row and names the limit.
    const std::string SqlMsg =
        MessageOf([&] { Exec("Update Cruises set Cruise_Name = '" + CCyrillic41 + "' where ID_Cruise = 1"); });
    EXPECT_NE(SqlMsg.find("Cruise_Name holds at most 40 characters"), std::string::npos) << SqlMsg;
    EXPECT_FALSE(MessageOf([&] {
                     Exec("Insert into TmpCast (ID_Cruise, ID_Cast, StationName) values (1, 1, '" + CCyrillic40 +
                          "')");
                 }).empty());
    EXPECT_EQ(Count("TmpCast"), 0);
    EXPECT_EQ(Rows("Select Cruise_Name from Cruises"), (Lines{CGreek30}));

    // A batch move from a wider table into the 30 characters of StationName.
    Fill("Cruises", {{2, CCyrillic40}});
    TQuery Q;
    Q.SetDatabaseName(Folder);
    Q.SQL().Add("Select ID_Cruise, ID_Cruise as ID_Cast, Cruise_Name as StationName from Cruises");
    Q.Open();
    TTable Dest;
    Dest.SetDatabaseName(Folder);
    Dest.SetTableName("TmpCast");
    TBatchMove M;
    M.Source = &Q;
    M.Destination = &Dest;
    M.Mode = batAppend;
    M.Mappings = {"ID_Cruise", "ID_Cast", "StationName"};
    EXPECT_THROW(M.Execute(), std::exception);
    EXPECT_EQ(Count("TmpCast"), 0);
}

TEST_F(LocalText, AStoredNameLongerThanItsColumnIsReportedNotShownCut)
{
    // A table made by other means than the engine keeps whatever it is given.
    TLocalDatabase::ForFolder(Folder).Exec("CREATE TABLE Old (Name VARCHAR(5))");
    TLocalDatabase::ForFolder(Folder).Exec("INSERT INTO Old VALUES ('Σεβαστούπολη')");
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("Old");
    T.Open();
    EXPECT_THROW(T.FieldByName("Name")->AsString(), EDatabaseError);
}
