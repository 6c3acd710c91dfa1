// Editing the dataset over in-memory tables: row versions, the journal, the
// row requests announced to the source, cached updates, and values that do
// not fit their column.
#include <gtest/gtest.h>

#include "platform/rtl/SysUtils.h"
#include "tests/support/comp_test_util.h"

using namespace comptest;
using namespace dats;

namespace {

using TReq = std::vector<std::pair<TZqPhysRequest, int>>;

class DataSetEdit : public TTableFixture {
protected:
    void SetUp() override { Make("CAST", {{1, "one"}, {2, "two"}, {3, "three"}}); }
    TZqDatSRow *Row(int I) { return Table->Rows()->GetItem(I); }
    bool Journalled() { return Table->Journal()->HasChanges(Table); }
};

TEST_F(DataSetEdit, PostKeepsOriginalVersionAndJournalsTheRow)
{
    DS->Next();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("TWO");
    EXPECT_EQ(Row(1)->RowState(), rsEditing);
    DS->Post();
    EXPECT_EQ(Row(1)->RowState(), rsModified);
    EXPECT_EQ(Row(1)->GetDataAsVariant(1, rvCurrent).AsString(), "TWO");
    EXPECT_EQ(Row(1)->GetDataAsVariant(1, rvOriginal).AsString(), "two");
    EXPECT_TRUE(Journalled());
    EXPECT_EQ(DS->UpdateStatus(), usModified);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "TWO");
    EXPECT_EQ(DS->RecNo(), 2);
    // Lock at edit, then deferred lock, update and unlock at post.
    EXPECT_EQ(DS->Requests, (TReq{{arLock, 2}, {arLock, 6}, {arUpdate, 2}, {arUnlock, 2}}));
}

TEST_F(DataSetEdit, CancelRestoresTheRow)
{
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("changed");
    DS->Cancel();
    EXPECT_EQ(Row(0)->RowState(), rsUnchanged);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "one");
    EXPECT_FALSE(Journalled());
    EXPECT_EQ(DS->Requests.back(), std::make_pair(arUnlock, 3));
}

TEST_F(DataSetEdit, InsertPlacesRowAtCursorAndAppendAtEnd)
{
    DS->Next(); // on "two"
    DS->Insert();
    DS->FieldByName("ID")->SetAsInteger(15);
    DS->Post();
    EXPECT_EQ(DS->RecNo(), 2);
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(99);
    DS->Post();
    std::vector<int> Ids;
    for (DS->First(); !DS->Eof(); DS->Next())
        Ids.push_back(DS->FieldByName("ID")->AsInteger());
    EXPECT_EQ(Ids, (std::vector<int>{1, 15, 2, 3, 99}));
    EXPECT_EQ(Table->Rows()->Count(), 5);
    DS->Last();
    EXPECT_EQ(DS->UpdateStatus(), usInserted);
}

TEST_F(DataSetEdit, CancelledInsertLeavesTableUnchanged)
{
    DS->Insert();
    DS->FieldByName("ID")->SetAsInteger(7);
    DS->Cancel();
    EXPECT_EQ(Table->Rows()->Count(), 3);
    EXPECT_EQ(DS->RecordCount(), 3);
    EXPECT_FALSE(Journalled());
    EXPECT_EQ(DS->Requests, (TReq{{arLock, 50}, {arUnlock, 51}}));
}

TEST_F(DataSetEdit, FailedInsertRequestRemovesTheAddedRow)
{
    DS->FailOn = arInsert;
    DS->FailWith = std::make_unique<EZqException>(1, "refused");
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(8);
    EXPECT_THROW(DS->Post(), EZqException);
    EXPECT_EQ(Table->Rows()->Count(), 3);
    EXPECT_EQ(DS->State(), dsInsert);
    EXPECT_EQ(DS->Requests.back(), std::make_pair(arUnlock, 51));
    DS->Cancel();
    EXPECT_EQ(DS->RecordCount(), 3);
}

TEST_F(DataSetEdit, DeleteHidesRowAndJournalsIt)
{
    DS->Next();
    DS->Delete();
    EXPECT_EQ(DS->RecordCount(), 2);
    EXPECT_EQ(Row(1)->RowState(), rsDeleted);
    EXPECT_TRUE(Journalled());
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(DS->Requests, (TReq{{arLock, 10}, {arDelete, 2}, {arUnlock, 18}}));
}

TEST_F(DataSetEdit, DeleteOfRowGoneOnServerStands)
{
    auto E = std::make_unique<EZqDBEngineException>(1, "no data");
    E->Append(std::make_unique<TZqDBError>(1, 0, "no data", "", ekNoDataFound, -1));
    DS->FailOn = arDelete;
    DS->FailWith = std::move(E);
    DS->Delete();
    EXPECT_EQ(DS->RecordCount(), 2);
    EXPECT_EQ(DS->Requests.back(), std::make_pair(arUnlock, 18));
}

TEST_F(DataSetEdit, CachedUpdatesSendOnlyLocksThatAreNotDeferred)
{
    DS->SetCachedUpdates(true);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("x");
    DS->Post();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(4);
    DS->Post();
    DS->First();
    DS->Delete();
    EXPECT_EQ(DS->Requests, (TReq{{arLock, 2}, {arLock, 50}, {arLock, 10}}));
    EXPECT_TRUE(Journalled());
    EXPECT_THROW(DS->SetCachedUpdates(false), rtl::Exception);
    EXPECT_TRUE(DS->CachedUpdates());
}

TEST_F(DataSetEdit, DisabledOperationsRaiseTheirCodes)
{
    DS->GetUpdateOptions()->SetEnableUpdate(false);
    DS->GetUpdateOptions()->SetEnableInsert(false);
    DS->GetUpdateOptions()->SetEnableDelete(false);
    EXPECT_EQ(ErrorCodeOf([&] { DS->Edit(); }), 405);
    EXPECT_EQ(ErrorCodeOf([&] { DS->Insert(); }), 406);
    EXPECT_EQ(ErrorCodeOf([&] { DS->Delete(); }), 407);
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_EQ(DS->RecordCount(), 3);
}

TEST_F(DataSetEdit, WriteOutsideEditModeIsRefused)
{
    EXPECT_THROW(DS->FieldByName("ID")->SetAsInteger(5), EDatabaseError);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSetEdit, EmptyStringStoresNullWithEmpty2Null)
{
    DS->GetFormatOptions()->SetStrsEmpty2Null(true);
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("");
    DS->Post();
    EXPECT_TRUE(Row(0)->IsNull(1));
}

class DataSetConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        Table = NewTable("NUM");
        Table->Columns()->AddColumn("U8", dtByte);
        Table->Columns()->AddColumn("S8", dtSByte);
        Table->Columns()->AddColumn("C", dtCurrency);
        Table->Columns()->AddColumn("U32", dtUInt32);
        Table->BeginLoadData(lmFetchAll);
        TZqDatSRow *R = Table->NewRow(false);
        uint8_t U = 7;
        int8_t S = -7;
        int64_t C = 10000;
        uint32_t W = 5;
        R->SetData(0, &U, 1);
        R->SetData(1, &S, 1);
        R->SetData(2, &C, 8);
        R->SetData(3, &W, 4);
        Table->Rows()->Add(R);
        Table->EndLoadData();
        DS = std::make_unique<TTestDataSet>();
        DS->AttachTable(Table, nullptr);
        DS->Open();
        DS->Edit();
    }
    void TearDown() override
    {
        DS.reset();
        Table->Release();
    }
    TZqDatSTable *Table = nullptr;
    std::unique_ptr<TTestDataSet> DS;
};

TEST_F(DataSetConversion, ValuesThatFitAreStored)
{
    DS->FieldByName("U8")->SetAsInteger(255);
    DS->FieldByName("S8")->SetAsInteger(-128);
    DS->FieldByName("C")->SetAsFloat(2.00005); // half to even at the 4th decimal
    DS->Post();
    EXPECT_EQ(DS->FieldByName("U8")->AsInteger(), 255);
    EXPECT_EQ(DS->FieldByName("S8")->AsInteger(), -128);
    EXPECT_DOUBLE_EQ(DS->FieldByName("C")->AsFloat(), 2.0);
}

TEST_F(DataSetConversion, OutOfRangeValuesRaiseInsteadOfWrapping)
{
    EXPECT_THROW(DS->FieldByName("U8")->SetAsInteger(300), rtl::EConvertError);
    EXPECT_THROW(DS->FieldByName("S8")->SetAsInteger(200), rtl::EConvertError);
    EXPECT_THROW(DS->FieldByName("C")->SetAsFloat(1.0e16), rtl::EConvertError);
    EXPECT_THROW(DS->FieldByName("U32")->SetAsInteger(-1), rtl::EConvertError);
    EXPECT_EQ(DS->FieldByName("U8")->AsInteger(), 7);
    EXPECT_EQ(DS->FieldByName("S8")->AsInteger(), -7);
    EXPECT_DOUBLE_EQ(DS->FieldByName("C")->AsFloat(), 1.0);
    EXPECT_EQ(DS->FieldByName("U32")->AsInteger(), 5);
}

} // namespace
