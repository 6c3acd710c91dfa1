// Key buffers over the index view: key searches (SetKey/GotoKey,
// FindKey/FindNearest) and ranges (SetRange, ApplyRange, CancelRange and
// editing the bounds).
#include <gtest/gtest.h>

#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

class DataSetKeys : public TStationFixture {
protected:
    void SetUp() override
    {
        Make({{10, "Kilo", 1, 1.0},
              {20, "Lima", 1, 2.0},
              {30, "Mike", 2, 3.0},
              {40, "November", 2, 4.0},
              {50, "Oscar", 3, 5.0},
              {60, "Papa", 3, 6.0}});
        DS->SetIndexFieldNames("GRP;ID");
    }
    int Id() { return DS->FieldByName("ID")->AsInteger(); }
};

TEST_F(DataSetKeys, KeyEditingNeedsAnIndex)
{
    DS->SetIndexFieldNames("");
    try {
        DS->SetKey();
        FAIL() << "no index";
    } catch (const EDatabaseError &E) {
        EXPECT_NE(std::string(E.what()).find("No index currently active"), std::string::npos);
    }
    EXPECT_EQ(DS->State(), dsBrowse);
}

TEST_F(DataSetKeys, GotoKeyFindsAnExactKeyAndKeepsTheCursorOtherwise)
{
    DS->SetKey();
    EXPECT_EQ(DS->State(), dsSetKey);
    DS->FieldByName("GRP")->SetAsInteger(2);
    DS->FieldByName("ID")->SetAsInteger(40);
    EXPECT_TRUE(DS->GotoKey());
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_EQ(Id(), 40);
    DS->SetKey();
    DS->FieldByName("GRP")->SetAsInteger(2);
    DS->FieldByName("ID")->SetAsInteger(45);
    EXPECT_FALSE(DS->GotoKey());
    EXPECT_EQ(Id(), 40);
}

TEST_F(DataSetKeys, KeyFieldCountSearchesByTheLeadingFields)
{
    DS->SetKey();
    DS->FieldByName("GRP")->SetAsInteger(3);
    DS->SetKeyFieldCount(1);
    EXPECT_TRUE(DS->GotoKey());
    EXPECT_EQ(Id(), 50) << "the first record of the group";
}

TEST_F(DataSetKeys, FindKeyAndFindNearest)
{
    EXPECT_TRUE(DS->FindKey({rtl::Variant(1), rtl::Variant(20)}));
    EXPECT_EQ(Id(), 20);
    EXPECT_TRUE(DS->FindKey({rtl::Variant(2)}));
    EXPECT_EQ(Id(), 30);
    EXPECT_FALSE(DS->FindKey({rtl::Variant(9)}));
    EXPECT_EQ(Id(), 30);
    DS->FindNearest({rtl::Variant(2), rtl::Variant(35)});
    EXPECT_EQ(Id(), 40) << "the first key above";
    DS->FindNearest({rtl::Variant(0)});
    EXPECT_EQ(Id(), 10);
    DS->FindNearest({rtl::Variant(9)});
    EXPECT_EQ(Id(), 60) << "past every key: the last record";
    EXPECT_THROW(DS->FindKey({rtl::Variant(1), rtl::Variant(2), rtl::Variant(3)}), EDatabaseError)
        << "more values than index fields";
}

TEST_F(DataSetKeys, ExclusiveNearestGoesPastEqualKeys)
{
    DS->SetKey();
    DS->FieldByName("GRP")->SetAsInteger(1);
    DS->SetKeyFieldCount(1);
    DS->SetKeyExclusive(true);
    DS->GotoNearest();
    EXPECT_EQ(Id(), 30);
}

TEST_F(DataSetKeys, CancelledKeyEditRestoresTheKey)
{
    DS->SetKey();
    DS->FieldByName("GRP")->SetAsInteger(3);
    DS->FieldByName("ID")->SetAsInteger(60);
    DS->Post();
    DS->EditKey();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 60) << "EditKey keeps the key";
    DS->FieldByName("ID")->SetAsInteger(10);
    DS->Cancel();
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_TRUE(DS->GotoKey());
    EXPECT_EQ(Id(), 60);
}

TEST_F(DataSetKeys, ClearFieldsEmptiesTheKeyBeingEdited)
{
    DS->SetKey();
    DS->FieldByName("GRP")->SetAsInteger(3);
    DS->SetKeyFieldCount(1);
    DS->Post();
    DS->EditKey();
    DS->ClearFields();
    EXPECT_TRUE(DS->FieldByName("GRP")->IsNull());
    DS->Cancel();
    DS->Last();
    EXPECT_EQ(Id(), 60) << "the records keep their values";
    EXPECT_TRUE(DS->GotoKey()) << "the cancelled edit kept GRP = 3";
    EXPECT_EQ(Id(), 50);
}

TEST_F(DataSetKeys, OnlyDataFieldsTakeKeyValues)
{
    DS->Close();
    DS->FieldDefs().Update();
    for (int I = 0; I < DS->FieldDefs().Count(); ++I)
        DS->FieldDefs()[I]->CreateField(DS.get());
    TField *Calc = new TIntegerField(DS.get());
    Calc->SetFieldName("TWICE");
    Calc->SetFieldKind(fkCalculated);
    Calc->SetDataSet(DS.get());
    DS->Open();
    DS->SetKey();
    try {
        Calc->SetAsInteger(2);
        FAIL() << "a calculated field is no key";
    } catch (const EDatabaseError &E) {
        EXPECT_NE(std::string(E.what()).find("Field 'TWICE' is not indexed and cannot be modified"), std::string::npos);
    }
    DS->Cancel();
}

TEST_F(DataSetKeys, SetRangeKeepsTheRowsBetweenItsBounds)
{
    DS->SetRange({rtl::Variant(1), rtl::Variant(20)}, {rtl::Variant(3), rtl::Variant(50)});
    EXPECT_TRUE(DS->RangeActive());
    EXPECT_EQ(Ids(*DS), (std::vector<int>{20, 30, 40, 50}));
    EXPECT_EQ(DS->RecordCount(), 4);
    DS->SetRange({rtl::Variant(2)}, {rtl::Variant(2)});
    EXPECT_EQ(Ids(*DS), (std::vector<int>{30, 40})) << "one key field: the whole group";
    DS->CancelRange();
    EXPECT_FALSE(DS->RangeActive());
    EXPECT_EQ(DS->RecordCount(), 6);
}

TEST_F(DataSetKeys, ExclusiveBoundsAndOneSidedRanges)
{
    DS->SetRangeStart();
    DS->FieldByName("GRP")->SetAsInteger(1);
    DS->SetKeyFieldCount(1);
    DS->SetKeyExclusive(true);
    DS->Post();
    DS->ApplyRange();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{30, 40, 50, 60})) << "no end bound";
    DS->EditRangeEnd();
    DS->FieldByName("GRP")->SetAsInteger(3);
    DS->FieldByName("ID")->SetAsInteger(60);
    DS->SetKeyExclusive(true);
    DS->Post();
    DS->ApplyRange();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{30, 40, 50}));
    DS->EditRangeStart();
    EXPECT_TRUE(DS->KeyExclusive()) << "EditRangeStart keeps the bound as it was";
    DS->Cancel();
}

TEST_F(DataSetKeys, ApplyingTheSameRangeAgainChangesNothing)
{
    DS->SetRange({rtl::Variant(2)}, {rtl::Variant(3)});
    DS->Last();
    ASSERT_EQ(Id(), 60);
    DS->ApplyRange();
    EXPECT_EQ(Id(), 60) << "an unchanged range does not move the cursor";
}

TEST_F(DataSetKeys, RangeFollowsEditsAndInserts)
{
    DS->SetRange({rtl::Variant(2)}, {rtl::Variant(2)});
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(35);
    DS->FieldByName("GRP")->SetAsInteger(2);
    DS->Post();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{30, 35, 40}));
    DS->First();
    DS->Edit();
    DS->FieldByName("GRP")->SetAsInteger(1);
    DS->Post();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{35, 40}));
}

TEST_F(DataSetKeys, ChangingTheIndexDropsTheRange)
{
    DS->SetRange({rtl::Variant(3)}, {rtl::Variant(3)});
    DS->SetIndexFieldNames("NAME");
    EXPECT_FALSE(DS->RangeActive());
    EXPECT_EQ(DS->RecordCount(), 6);
}

TEST_F(DataSetKeys, RangeAndFilterTogether)
{
    DS->SetRange({rtl::Variant(1)}, {rtl::Variant(2)});
    DS->SetFilterText("ID <> 20");
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{10, 30, 40}));
}

} // namespace
