// Station names in the alphabets of Black Sea and Mediterranean cruises
// (Cyrillic, Greek, Turkish) through every road of a query: fetch, parameters
// and Edit/Post. StationName is TEXT(20): it holds 20 letters in any language,
// and a longer name is refused, never cut.
#include <string>

#include "platform/dataset/TField.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

// 11, 15 and 20 letters, two bytes each in UTF-8.
const std::string CSevastopol = "Севастополь";
const std::string CSevastopolskaya = "Севастопольская";
const std::string CTwentyCyrillic = "Новороссийская бухта";
const std::string CThessaloniki = "Θεσσαλονίκη";
const std::string CCanakkale = "Çanakkale Boğazı";
const std::string CTwentyOneCyrillic = "Новороссийская бухта1";

} // namespace

class StationNames : public StationDb {
protected:
    void SetUp() override
    {
        StationDb::SetUp();
        Id = Sql("select min(ID_Cast) from Cast_Titles")[0][0];
    }
    void SetName(const std::string &AName)
    {
        SqliteExec(DbPath, "update Cast_Titles set StationName = '" + AName + "' where ID_Cast = " + Id);
    }
    std::string StoredName() { return Sql("select StationName from Cast_Titles where ID_Cast = " + Id)[0][0]; }
    std::string Id;
};

TEST_F(StationNames, ANameOfAnyAlphabetArrivesWholeThroughOpen)
{
    for (const std::string &Name : {CSevastopol, CThessaloniki, CCanakkale, CTwentyCyrillic}) {
        SetName(Name);
        TZqQuery *Q = New("Select ID_Cast, StationName from Cast_Titles where ID_Cast = " + Id);
        Q->Open();
        EXPECT_EQ(Q->FieldByName("StationName")->AsString(), Name);
        Q->Close();
    }
}

TEST_F(StationNames, AWholeCruiseOfCyrillicNamesArrivesInOneFetch)
{
    SqliteExec(DbPath, "update Cast_Titles set StationName = '" + CTwentyCyrillic + "'");
    TZqQuery *Q = New("Select StationName from Cast_Titles");
    Q->FetchOptions()->SetRowsetSize(7);
    Q->Open();
    int Rows = 0;
    for (Q->First(); !Q->Eof(); Q->Next(), ++Rows)
        ASSERT_EQ(Q->FieldByName("StationName")->AsString(), CTwentyCyrillic) << "row " << Rows;
    EXPECT_EQ(Rows, int(Sql("select 1 from Cast_Titles").size()));
}

TEST_F(StationNames, AParameterFindsTheStationByItsName)
{
    for (const std::string &Name : {CSevastopolskaya, CThessaloniki, CCanakkale}) {
        SetName(Name);
        TZqQuery *Q = New("Select ID_Cast from Cast_Titles where StationName = :N");
        Q->ParamByName("N")->SetAsString(Name);
        Q->Open();
        ASSERT_EQ(Q->RecordCount(), 1) << Name;
        EXPECT_EQ(Q->FieldByName("ID_Cast")->AsString(), Id);
        Q->Close();
    }
}

TEST_F(StationNames, AParameterWritesTheWholeName)
{
    TZqQuery *Q = New("UPDATE Cast_Titles SET StationName = :N WHERE ID_Cast = :I");
    Q->ParamByName("I")->SetAsInteger(std::stoi(Id));
    for (const std::string &Name : {CTwentyCyrillic, CThessaloniki, CCanakkale}) {
        Q->ParamByName("N")->SetAsString(Name);
        Q->ExecSQL();
        EXPECT_EQ(StoredName(), Name);
    }
}

TEST_F(StationNames, EditPostStoresTheWholeName)
{
    for (const std::string &Name : {CSevastopolskaya, CTwentyCyrillic, CThessaloniki, CCanakkale}) {
        TZqQuery *Q = New("Select ID_Cast, StationName from Cast_Titles where ID_Cast = " + Id);
        Q->Open();
        Q->Edit();
        Q->FieldByName("StationName")->SetAsString(Name);
        Q->Post();
        EXPECT_EQ(StoredName(), Name);
        EXPECT_EQ(Q->FieldByName("StationName")->AsString(), Name);
        Q->Close();
    }
}

TEST_F(StationNames, ANameLongerThanTheColumnIsRefusedNotCut)
{
    SetName(CSevastopol);
    TZqQuery *Q = New("Select ID_Cast, StationName from Cast_Titles where ID_Cast = " + Id);
    Q->Open();
    Q->Edit();
    const std::string Msg = MessageOf([&] {
        Q->FieldByName("StationName")->SetAsString(CTwentyOneCyrillic);
        Q->Post();
    });
    EXPECT_FALSE(Msg.empty());
    Q->Cancel();
    EXPECT_EQ(StoredName(), CSevastopol);

    TZqQuery *U = New("UPDATE Cast_Titles SET StationName = :N WHERE ID_Cast = " + Id);
    U->ParamByName("N")->SetAsString(CTwentyOneCyrillic);
    EXPECT_FALSE(MessageOf([&] { U->ExecSQL(); }).empty());
    EXPECT_EQ(StoredName(), CSevastopol);
}
