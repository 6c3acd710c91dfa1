// The dataset over in-memory tables: field definitions, navigation, record
// numbers and counts, value reading and bookmarks.
#include <gtest/gtest.h>

#include "platform/rtl/SysUtils.h"
#include "tests/support/comp_test_util.h"

using namespace comptest;
using namespace dats;

namespace {

class DataSetBrowse : public TTableFixture {
protected:
    void SetUp() override { Make("STATIONS", {{10, "alpha"}, {20, "beta"}, {30, "gamma"}, {40, "delta"}}, false); }
    std::vector<int> Walk()
    {
        std::vector<int> R;
        for (DS->First(); !DS->Eof(); DS->Next())
            R.push_back(DS->FieldByName("ID")->AsInteger());
        return R;
    }
};

TEST_F(DataSetBrowse, OpenWithoutTableRaises206)
{
    TTestDataSet Bare;
    EXPECT_EQ(ErrorCodeOf([&] { Bare.Open(); }), 206);
    EXPECT_FALSE(Bare.Active());
}

TEST_F(DataSetBrowse, WalksRowsInTableOrderWithRecNoAndCount)
{
    DS->Open();
    EXPECT_EQ(DS->RecordCount(), 4);
    EXPECT_EQ(Walk(), (std::vector<int>{10, 20, 30, 40}));
    DS->First();
    DS->Next();
    DS->Next();
    EXPECT_EQ(DS->RecNo(), 3);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "gamma");
    DS->SetRecNoValue(2);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 20);
    DS->SetRecNoValue(99); // past the end: the last record
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 40);
    DS->Last();
    EXPECT_EQ(DS->RecNo(), 4);
}

TEST_F(DataSetBrowse, EmptyTableCountsZeroAndRecNoZero)
{
    TZqDatSTable *Empty = NewTable("E");
    Empty->Columns()->AddColumn("ID", dtInt32);
    TTestDataSet E;
    E.AttachTable(Empty, nullptr);
    E.Open();
    EXPECT_TRUE(E.Eof());
    EXPECT_EQ(E.RecordCount(), 0);
    EXPECT_EQ(E.RecNo(), 0);
    E.Close();
    E.AttachTable(nullptr, nullptr);
    Empty->Release();
}

TEST_F(DataSetBrowse, FetchedCountModeCountsTableRows)
{
    DS->GetFetchOptions()->SetRecordCountMode(cmFetched);
    DS->Open();
    EXPECT_EQ(DS->RecordCount(), 4);
}

TEST_F(DataSetBrowse, FieldTypesFollowTheColumnTypes)
{
    TZqDatSTable *T = NewTable("TYPES");
    T->Columns()->AddColumn("B", dtBoolean);
    T->Columns()->AddColumn("S8", dtSByte);
    T->Columns()->AddColumn("U8", dtByte);
    T->Columns()->AddColumn("I64", dtInt64);
    T->Columns()->AddColumn("C", dtCurrency);
    T->Columns()->AddColumn("DT", dtDateTime);
    T->Columns()->AddColumn("M", dtMemo);
    TTestDataSet D;
    D.AttachTable(T, nullptr);
    D.Open();
    EXPECT_EQ(D.FieldByName("B")->DataType(), rtl::ftBoolean);
    EXPECT_EQ(D.FieldByName("S8")->DataType(), rtl::ftSmallint);
    EXPECT_EQ(D.FieldByName("U8")->DataType(), rtl::ftWord);
    EXPECT_EQ(D.FieldByName("I64")->DataType(), rtl::ftLargeint);
    EXPECT_EQ(D.FieldByName("C")->DataType(), rtl::ftCurrency);
    EXPECT_EQ(D.FieldByName("DT")->DataType(), rtl::ftDateTime);
    EXPECT_EQ(D.FieldByName("M")->DataType(), rtl::ftMemo);
    D.Close();
    D.AttachTable(nullptr, nullptr);
    T->Release();
}

TEST_F(DataSetBrowse, CurrencyReadsStoredIntegerOverTenThousand)
{
    TZqDatSTable *T = NewTable("CUR");
    T->Columns()->AddColumn("C", dtCurrency);
    TZqDatSRow *R = T->NewRow(false);
    int64_t Stored = 25000;
    R->SetData(0, &Stored, 8);
    T->Rows()->Add(R);
    TTestDataSet D;
    D.AttachTable(T, nullptr);
    D.Open();
    EXPECT_DOUBLE_EQ(D.FieldByName("C")->AsFloat(), 2.5);
    D.Close();
    D.AttachTable(nullptr, nullptr);
    T->Release();
}

TEST_F(DataSetBrowse, FixedLengthTextIsTrimmedAndBlankReadsNull)
{
    TZqDatSTable *T = NewTable("FIX");
    TZqDatSColumn *C = T->Columns()->AddColumn("F", dtAnsiString, 5);
    TZqDataAttributes A = C->Attributes();
    A.Include(caFixedLen);
    C->SetAttributes(A);
    TZqDatSRow *R1 = T->NewRow(false);
    PutStr(R1, 0, "ab   ");
    T->Rows()->Add(R1);
    TZqDatSRow *R2 = T->NewRow(false);
    PutStr(R2, 0, "     ");
    T->Rows()->Add(R2);
    TTestDataSet D;
    D.GetFormatOptions()->SetStrsTrim(true);
    D.GetFormatOptions()->SetStrsEmpty2Null(true);
    D.AttachTable(T, nullptr);
    D.Open();
    EXPECT_EQ(D.FieldByName("F")->AsString(), "ab");
    D.Next();
    EXPECT_TRUE(D.FieldByName("F")->IsNull());
    EXPECT_EQ(D.FieldByName("F")->AsString(), "");
    D.Close();
    D.AttachTable(nullptr, nullptr);
    T->Release();
}

TEST_F(DataSetBrowse, BookmarkReturnsToItsRow)
{
    DS->Open();
    DS->Next();
    TBookmark B = DS->GetBookmark();
    DS->Last();
    EXPECT_TRUE(DS->BookmarkValid(B));
    DS->GotoBookmark(B);
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 20);
    DS->First();
    TBookmark First = DS->GetBookmark();
    EXPECT_EQ(DS->CompareBookmarks(First, B), -1);
    EXPECT_EQ(DS->CompareBookmarks(B, First), 1);
    EXPECT_EQ(DS->CompareBookmarks(B, B), 0);
}

TEST_F(DataSetBrowse, BookmarkOfFreedRowRaises200)
{
    DS->Open();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(50);
    DS->Post();
    TBookmark B = DS->GetBookmark();
    // An inserted row that is deleted leaves the table and is freed; its
    // bookmark must not reach the freed memory.
    DS->Delete();
    EXPECT_FALSE(DS->BookmarkValid(B));
    EXPECT_EQ(ErrorCodeOf([&] { DS->GotoBookmark(B); }), 200);
}

TEST_F(DataSetBrowse, BookmarkFromEarlierAttachmentIsStale)
{
    DS->Open();
    TBookmark B = DS->GetBookmark();
    DS->AttachTable(Table, nullptr);
    DS->Open();
    EXPECT_FALSE(DS->BookmarkValid(B));
    EXPECT_EQ(ErrorCodeOf([&] { DS->GotoBookmark(B); }), 200);
}

} // namespace
