// Filters of the dataset: the library's expression text, the filter event,
// their options, and the searches through a filter that is not applied.
#include <gtest/gtest.h>

#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

class DataSetFilter : public TStationFixture {
protected:
    void SetUp() override { Make(FiveStations()); }
};

TEST_F(DataSetFilter, ExpressionTextRestrictsTheRecordsWhileFiltered)
{
    DS->SetFilterText("GRP = 2 AND AMT < 45");
    EXPECT_EQ(DS->RecordCount(), 5) << "the text alone filters nothing";
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 3}));
    EXPECT_EQ(DS->RecordCount(), 2);
    DS->SetFilterText("AMT >= 30");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 5, 3}));
    DS->SetFiltered(false);
    EXPECT_EQ(DS->RecordCount(), 5);
}

TEST_F(DataSetFilter, CaseAndPartialComparisonFollowTheOptions)
{
    DS->SetFilterText("NAME = 'ECHO'");
    DS->SetFiltered(true);
    EXPECT_TRUE(Ids(*DS).empty());
    DS->SetFilterOptions(foCaseInsensitive);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{5}));
    // A trailing "*" matches the beginning of the text unless partial
    // comparison is switched off.
    DS->SetFilterText("NAME = 'Ch*'");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{3}));
    DS->SetFilterOptions(foCaseInsensitive | foNoPartialCompare);
    EXPECT_TRUE(Ids(*DS).empty());
}

TEST_F(DataSetFilter, FilterEventReadsTheTestedRowNotTheCurrentRecord)
{
    DS->Locate("ID", 5);
    std::vector<int> Seen;
    DS->SetOnFilterRecord([&](TDataSet *D, bool &Accept) {
        int Id = D->FieldByName("ID")->AsInteger();
        Seen.push_back(Id);
        Accept = D->FieldByName("AMT")->AsFloat() < 25.0;
    });
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2}));
    std::sort(Seen.begin(), Seen.end());
    Seen.erase(std::unique(Seen.begin(), Seen.end()), Seen.end());
    EXPECT_EQ(Seen, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(DS->State(), dsBrowse);
}

TEST_F(DataSetFilter, EventAndTextBothApply)
{
    DS->SetFilterText("GRP = 2");
    DS->SetOnFilterRecord([](TDataSet *D, bool &Accept) { Accept = D->FieldByName("ID")->AsInteger() != 5; });
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 3}));
}

TEST_F(DataSetFilter, FilterStacksOnTheIndexOrder)
{
    DS->SetIndexFieldNames("AMT");
    DS->SetFilterText("GRP = 2");
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{3, 4, 5}));
    DS->SetIndexFieldNames("NAME");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{3, 4, 5}));
}

TEST_F(DataSetFilter, PostedEditLeavesTheFilteredSet)
{
    DS->SetFilterText("GRP = 1");
    DS->SetFiltered(true);
    DS->First();
    DS->Edit();
    DS->FieldByName("GRP")->SetAsInteger(2);
    DS->Post();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{2}));
}

TEST_F(DataSetFilter, FindFirstAndFindNextUseTheFilterWithoutApplyingIt)
{
    DS->SetFilterText("GRP = 2");
    EXPECT_TRUE(DS->FindFirst());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 4);
    EXPECT_TRUE(DS->FindNext());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 5);
    EXPECT_TRUE(DS->FindNext());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_FALSE(DS->FindNext());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3) << "a failed search leaves the cursor";
    EXPECT_TRUE(DS->FindPrior());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 5);
    EXPECT_TRUE(DS->FindLast());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(DS->RecordCount(), 5) << "the records stay unfiltered";
}

TEST_F(DataSetFilter, FindRecordWithTheFilterEvent)
{
    DS->SetOnFilterRecord([](TDataSet *D, bool &Accept) { Accept = D->FieldByName("NAME")->AsString() == "Bravo"; });
    EXPECT_TRUE(DS->FindFirst());
    EXPECT_EQ(DS->RecNo(), 4);
    EXPECT_FALSE(DS->FindNext());
}

TEST_F(DataSetFilter, MalformedExpressionRaisesAndLeavesTheDatasetUsable)
{
    DS->SetFilterText("GRP = = 2");
    EXPECT_THROW(DS->SetFiltered(true), EZqException);
    DS->SetFilterText("GRP = 1");
    DS->SetFiltered(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2}));
}

} // namespace
