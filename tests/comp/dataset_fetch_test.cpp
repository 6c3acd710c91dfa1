// Rows arriving from a source: on-demand rowsets, manual fetching,
// unidirectional record numbers, and the count modes.
#include <gtest/gtest.h>

#include "tests/support/comp_test_util.h"

using namespace comptest;
using namespace dats;

namespace {

// A source of N numbered rows handed out one rowset per call.
class TRowsetDataSet : public TTestDataSet {
public:
    int Total = 10;
    int Given = 0;
    int Calls = 0;

protected:
    int FetchFromSource(TZqDatSTable *ATable, bool AAll) override
    {
        ++Calls;
        int Want = AAll ? Total - Given : std::min(GetFetchOptions()->RowsetSize(), Total - Given);
        ATable->BeginLoadData(lmFetchRowset);
        for (int I = 0; I < Want; ++I) {
            TZqDatSRow *R = ATable->NewRow(false);
            PutInt(R, 0, ++Given);
            ATable->Rows()->Add(R);
        }
        ATable->EndLoadData();
        return Want;
    }
    void OpenSource(bool, bool, bool) override { Given = 0; }
    void CountTotalRecords() override { FTotalRecordCount = Total; }
};

class DataSetFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table = NewTable("PTS");
        Table->Columns()->AddColumn("N", dtInt32);
        DS = std::make_unique<TRowsetDataSet>();
        DS->GetFetchOptions()->SetRowsetSize(3);
        DS->AttachTable(Table, nullptr);
    }
    void TearDown() override
    {
        DS.reset();
        Table->Release();
    }
    TZqDatSTable *Table = nullptr;
    std::unique_ptr<TRowsetDataSet> DS;
};

TEST_F(DataSetFetch, OnDemandFetchesOneRowsetWhenTheCursorNeedsIt)
{
    DS->Open();
    EXPECT_EQ(Table->Rows()->Count(), 3);
    int N = 0;
    for (; !DS->Eof(); DS->Next())
        EXPECT_EQ(DS->FieldByName("N")->AsInteger(), ++N);
    EXPECT_EQ(N, 10);
    EXPECT_TRUE(DS->SourceEOF());
    EXPECT_EQ(DS->RecordCount(), 10);
}

TEST_F(DataSetFetch, LastAndLocateFetchEverything)
{
    DS->Open();
    EXPECT_TRUE(DS->Locate("N", 9));
    EXPECT_EQ(DS->RecNo(), 9);
    EXPECT_EQ(Table->Rows()->Count(), 10);
}

TEST_F(DataSetFetch, ManualModeReportsEofWithoutFetching)
{
    DS->GetFetchOptions()->SetMode(fmManual);
    DS->Open();
    EXPECT_TRUE(DS->Eof());
    EXPECT_EQ(DS->Calls, 0);
    EXPECT_EQ(DS->RecordCount(), 0);
}

TEST_F(DataSetFetch, UnidirectionalKeepsCountingAcrossRowsets)
{
    DS->SetUnidirectional(true);
    DS->GetFetchOptions()->SetRecordCountMode(cmFetched);
    DS->Open();
    for (int I = 0; I < 7; ++I)
        DS->Next();
    EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 8);
    EXPECT_EQ(DS->RecNo(), 8);
    EXPECT_LE(Table->Rows()->Count(), 3);
    EXPECT_EQ(DS->DiscardedRows(), 6);
    EXPECT_EQ(DS->RecordCount(), 9);
}

TEST_F(DataSetFetch, TotalCountModeAsksTheSourceBeforeFetching)
{
    DS->GetFetchOptions()->SetRecordCountMode(cmTotal);
    DS->Open();
    EXPECT_EQ(DS->RecordCount(), 10);
    EXPECT_EQ(Table->Rows()->Count(), 3);
}

TEST_F(DataSetFetch, SetRecNoFetchesUpToTheRecord)
{
    DS->Open();
    DS->SetRecNoValue(8);
    EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 8);
    EXPECT_EQ(DS->RecNo(), 8);
}

} // namespace
