// Blob streams over memo, binary and wide-memo columns, and the wide-memo
// and auto-increment field classes.
#include <gtest/gtest.h>

#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

class DataSetBlobs : public TStationFixture {
protected:
    void SetUp() override { Make({{1, "Alpha", 1, 1.0}, {2, "Bravo", 1, 2.0}}); }
};

TEST_F(DataSetBlobs, MemoAndBinaryValuesRoundTripThroughStreams)
{
    std::string Bin("\x00\x01\xff\x00zz", 6);
    DS->Edit();
    DS->FieldByName("MEMO")->SetAsString("bottle 7 leaked");
    {
        auto S = DS->CreateBlobStream(DS->FieldByName("BIN"), bmWrite);
        EXPECT_EQ(S->Write(Bin.data(), 3), 3);
        EXPECT_EQ(S->Write(Bin.data() + 3, 3), 3);
    }
    DS->Post();
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "bottle 7 leaked");
    EXPECT_EQ(DS->FieldByName("BIN")->AsString(), Bin);
    auto R = DS->CreateBlobStream(DS->FieldByName("BIN"), bmRead);
    EXPECT_EQ(R->Size(), 6);
    char Part[4] = {};
    R->Seek(2, soBeginning);
    EXPECT_EQ(R->Read(Part, 4), 4);
    EXPECT_EQ(std::string(Part, 4), Bin.substr(2, 4));
    EXPECT_EQ(R->Read(Part, 4), 0);
}

TEST_F(DataSetBlobs, ReadWriteStreamStartsWithTheValueAndAppends)
{
    DS->Edit();
    DS->FieldByName("MEMO")->SetAsString("abc");
    {
        auto S = DS->CreateBlobStream(DS->FieldByName("MEMO"), bmReadWrite);
        EXPECT_EQ(S->Size(), 3);
        S->Seek(0, soEnd);
        S->Write("def", 3);
    }
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "abcdef");
    {
        auto S = DS->CreateBlobStream(DS->FieldByName("MEMO"), bmReadWrite);
        S->Seek(2, soBeginning);
        S->Truncate();
    }
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "ab");
    DS->Cancel();
    EXPECT_TRUE(DS->FieldByName("MEMO")->IsNull()) << "cancel throws the stream's writes away";
}

TEST_F(DataSetBlobs, ReadStreamKeepsItsBytesWhenTheRowChanges)
{
    std::string Big(1 << 20, 'x');
    Big[12345] = 'y';
    DS->Edit();
    DS->FieldByName("MEMO")->SetAsString(Big);
    DS->Post();
    auto R = DS->CreateBlobStream(DS->FieldByName("MEMO"), bmRead);
    // The row's value is replaced by one of the same length (stored in
    // place) and then freed; the open stream still reads what it opened.
    DS->Edit();
    DS->FieldByName("MEMO")->SetAsString(std::string(1 << 20, 'z'));
    DS->Post();
    DS->Edit();
    DS->FieldByName("MEMO")->Clear();
    DS->Post();
    std::string Got = R->ReadAll();
    ASSERT_EQ(Got.size(), Big.size());
    EXPECT_EQ(Got, Big);
}

TEST_F(DataSetBlobs, WritingNeedsEditModeAndAWritableField)
{
    try {
        DS->CreateBlobStream(DS->FieldByName("MEMO"), bmWrite);
        FAIL() << "browse mode";
    } catch (const EDatabaseError &E) {
        EXPECT_NE(std::string(E.what()).find("Dataset not in edit or insert mode"), std::string::npos);
    }
    DS->FieldByName("BIN")->SetReadOnly(true);
    DS->Edit();
    try {
        DS->CreateBlobStream(DS->FieldByName("BIN"), bmReadWrite);
        FAIL() << "read-only field";
    } catch (const EDatabaseError &E) {
        EXPECT_NE(std::string(E.what()).find("Field 'BIN' cannot be modified"), std::string::npos);
    }
    auto R = DS->CreateBlobStream(DS->FieldByName("MEMO"), bmRead);
    EXPECT_THROW(R->Write("a", 1), EDatabaseError) << "a read stream does not write";
    EXPECT_THROW(R->Truncate(), EDatabaseError);
    DS->Cancel();
}

TEST_F(DataSetBlobs, InsertedRecordTakesStreamedValues)
{
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(3);
    DS->FieldByName("MEMO")->SetAsString("new cast");
    DS->Post();
    DS->First();
    DS->Last();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(DS->FieldByName("MEMO")->AsString(), "new cast");
    EXPECT_EQ(static_cast<TBlobField *>(DS->FieldByName("MEMO"))->BlobSize(), 8);
}

TEST_F(DataSetBlobs, WideMemoKeepsSixteenBitCharacters)
{
    TField *W = DS->FieldByName("WMEMO");
    ASSERT_NE(dynamic_cast<TZqWideMemoField *>(W), nullptr);
    EXPECT_EQ(W->DataType(), rtl::ftFmtMemo);
    EXPECT_EQ(W->DisplayText(), "(WideMemo)");
    DS->Edit();
    W->SetAsString("Чёрное море");
    DS->Post();
    EXPECT_EQ(W->AsString(), "Чёрное море");
    EXPECT_EQ(W->AsVariant().AsString(), "Чёрное море");
    EXPECT_EQ(W->DisplayText(), "(WIDEMEMO)");
    // 11 characters, each stored in 16 bits.
    EXPECT_EQ(DS->CreateBlobStream(W, bmRead)->Size(), 22);
    TZqDatSRow *Row = DS->ActiveView()->Rows()->GetItem(0);
    EXPECT_EQ(Row->GetDataAsVariant(cWMEMO).AsString(), "Чёрное море");
}

TEST_F(DataSetBlobs, AutoIncrementFieldDefaults)
{
    auto *F = new TZqAutoIncField(nullptr);
    EXPECT_TRUE(F->ReadOnly());
    EXPECT_FALSE(F->Required());
    EXPECT_EQ(F->ProviderFlags(), TProviderFlags(pfInWhere));
    EXPECT_EQ(F->AutoGenerateValue(), TAutoRefreshFlag::arAutoInc);
    EXPECT_EQ(F->AutoIncrementSeed(), -1);
    F->SetServerAutoIncrement(false);
    EXPECT_TRUE(F->ProviderFlags() & pfInUpdate) << "the client's values are posted";
    EXPECT_EQ(F->AutoGenerateValue(), TAutoRefreshFlag::arNone);
    EXPECT_EQ(F->AutoIncrementSeed(), 1);
    EXPECT_EQ(F->AutoIncrementStep(), 1);
    F->SetServerAutoIncrement(true);
    EXPECT_FALSE(F->ProviderFlags() & pfInUpdate);
    EXPECT_EQ(F->AutoIncrementStep(), -1);
    delete F;
}

TEST_F(DataSetBlobs, AutoIncrementColumnGetsItsFieldClassAndSettings)
{
    DS.reset();
    Table->Release();
    Table = NewTable("SAMPLES");
    Table->Columns()->AddColumn("ID", dtInt32);
    Table->Columns()->AddColumn("SEQ", dtInt32)->SetAutoIncrementAttrs(true);
    DS = std::make_unique<TTestDataSet>();
    DS->AttachTable(Table, nullptr);
    DS->FieldDefs().Update();
    for (int I = 0; I < DS->FieldDefs().Count(); ++I)
        DS->FieldDefs()[I]->CreateField(DS.get());
    auto *Seq = dynamic_cast<TZqAutoIncField *>(DS->FindField("SEQ"));
    ASSERT_NE(Seq, nullptr);
    Seq->SetServerAutoIncrement(false);
    Seq->SetAutoIncrementSeed(100);
    Seq->SetAutoIncrementStep(5);
    DS->Open();
    EXPECT_EQ(Table->Columns()->ColumnByName("SEQ")->AutoIncrementSeed(), 100);
    EXPECT_EQ(Table->Columns()->ColumnByName("SEQ")->AutoIncrementStep(), 5);
    EXPECT_THROW(Seq->SetAutoIncrementStep(1), EDatabaseError) << "settings change only while closed";
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(1);
    DS->Post();
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(2);
    DS->Post();
    DS->First();
    EXPECT_EQ(Seq->AsInteger(), 100);
    DS->Next();
    EXPECT_EQ(Seq->AsInteger(), 105);
}

} // namespace
