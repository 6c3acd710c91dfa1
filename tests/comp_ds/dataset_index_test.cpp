// Indexes of the dataset: IndexFieldNames, IndexName over TZqIndex and the
// table's views, index definitions and the rows an index view shows.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSMech.h"
#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

class DataSetIndex : public TStationFixture {
protected:
    void SetUp() override { Make(FiveStations()); }
    int CreatedIndexViews()
    {
        int N = 0;
        for (int I = 0; I < Table->Views()->Count(); ++I)
            if (Table->Views()->GetItem(I)->Name().rfind("_Zq_IND_", 0) == 0)
                ++N;
        return N;
    }
};

TEST_F(DataSetIndex, IndexFieldNamesOrdersAndKeepsTheCurrentRecord)
{
    DS->Locate("ID", 3);
    DS->SetIndexFieldNames("NAME");
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3) << "the cursor stays on its record";
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2, 3, 4, 5}));
    DS->SetIndexFieldNames("GRP;AMT");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2, 3, 4, 5}));
    DS->SetIndexFieldNames("");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 1, 5, 2, 3})) << "back to the table's order";
    EXPECT_EQ(DS->IndexView(), nullptr);
}

TEST_F(DataSetIndex, IndexFieldNamesReusesAnExistingSortedViewOverTheSameFields)
{
    DS->Close();
    TZqDatSView *Own = TZqDatSView::CreateEx(Table, "BYGRP", 0, false);
    Own->Mechanisms()->AddSort("GRP;NAME");
    Own->SetActive(true);
    DS->SetIndexFieldNames("GRP;NAME");
    DS->Open();
    EXPECT_EQ(DS->IndexView(), Own);
    EXPECT_EQ(CreatedIndexViews(), 0);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2, 3, 4, 5}));
    DS->SetIndexFieldNames("GRP");
    EXPECT_NE(DS->IndexView(), Own) << "a view over more fields is not the index over GRP";
    EXPECT_EQ(CreatedIndexViews(), 1);
    DS->Close();
    EXPECT_EQ(CreatedIndexViews(), 0) << "created views go on close";
}

TEST_F(DataSetIndex, IndexNameSelectsATableViewAndRefusesAnUnsortedOne)
{
    TZqDatSView *Sorted = Table->Select("", "AMT");
    Sorted->SetName("BYAMT");
    TZqDatSView *Plain = Table->Select("GRP = 1", "");
    Plain->SetName("ONLYONE");
    DS->SetIndexName("BYAMT");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ErrorCodeOf([&] { DS->SetIndexName("ONLYONE"); }), 201);
}

TEST_F(DataSetIndex, DefinedIndexWithDescendingFieldsAndAFilter)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BIG");
    X->SetFields("AMT");
    X->SetDescFields("AMT");
    X->SetFilter("AMT > 15");
    X->SetActive(true);
    X->SetSelected(true);
    EXPECT_EQ(DS->IndexName(), "BIG");
    EXPECT_TRUE(X->Selected());
    EXPECT_EQ(Ids(*DS), (std::vector<int>{5, 4, 3, 2}));
    // A change of the index rebuilds its view and the dataset follows it.
    X->SetFilter("AMT > 35");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{5, 4}));
    // Renamed while in use: the dataset follows it under its new name.
    X->SetName("LARGE");
    EXPECT_EQ(DS->IndexName(), "LARGE");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{5, 4}));
    EXPECT_EQ(DS->IndexView(), X->View());
    X->SetSelected(false);
    EXPECT_EQ(DS->IndexName(), "");
    EXPECT_EQ(DS->RecordCount(), 5);
}

TEST_F(DataSetIndex, SwitchingIndexesOffAndOnKeepsTheSelectedOrder)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BYAMT");
    X->SetFields("AMT");
    X->SetDescFields("AMT");
    X->SetActive(true);
    DS->SetIndexName("BYAMT");
    DS->SetIndexesActive(false);
    EXPECT_EQ(X->View(), nullptr);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{4, 1, 5, 2, 3})) << "no index view: the table's order";
    DS->SetIndexesActive(true);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{5, 4, 3, 2, 1}));
}

TEST_F(DataSetIndex, CaseInsensitiveIndexOrdersAndFindsWithoutRegardToCase)
{
    DS->Close();
    for (auto [Id, Name] : {std::pair<int, const char *>{6, "ALPHA"}, {7, "bravo"}}) {
        Table->BeginLoadData(lmFetchAll);
        TZqDatSRow *R = Table->NewRow(false);
        PutInt(R, cID, Id);
        PutStr(R, cNAME, Name);
        Table->Rows()->Add(R);
        Table->EndLoadData();
    }
    DS->Open();
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("NOCASE");
    X->SetFields("NAME;ID");
    X->SetOptions(soNoCase);
    X->SetActive(true);
    DS->SetIndexName("NOCASE");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 6, 2, 7, 3, 4, 5}));
    EXPECT_TRUE(DS->FindKey({rtl::Variant("BRAVO"), rtl::Variant(7)}));
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 7);
}

TEST_F(DataSetIndex, ExpressionIndexOrdersByItsValue)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BYREST");
    X->SetExpression("AMT - GRP * 25");
    X->SetActive(true);
    DS->SetIndexName("BYREST");
    // 10-25, 20-25, 30-50, 40-50, 50-50: -15, -5, -20, -10, 0.
    EXPECT_EQ(Ids(*DS), (std::vector<int>{3, 1, 4, 2, 5}));
    EXPECT_EQ(DS->IndexFieldCount(), 0) << "no key fields";
    EXPECT_THROW(DS->SetKey(), EDatabaseError) << "keys need index fields";
}

TEST_F(DataSetIndex, IncompleteIndexCannotBeActivated)
{
    TZqIndex *X = DS->Indexes()->Add();
    EXPECT_EQ(ErrorCodeOf([&] { X->SetActive(true); }), 209);
    X->SetName("NONAME");
    EXPECT_EQ(ErrorCodeOf([&] { X->SetActive(true); }), 209) << "a name alone is not enough";
    X->SetFields("ID");
    EXPECT_EQ(ErrorCodeOf([&] { X->SetActive(true); }), 0);
}

TEST_F(DataSetIndex, FindIndexForFieldsStopsAtANameBoundary)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("AB");
    X->SetFields("A;B");
    EXPECT_EQ(DS->Indexes()->FindIndexForFields("A"), X);
    EXPECT_EQ(DS->Indexes()->FindIndexForFields("A;B"), X);
    EXPECT_EQ(DS->Indexes()->FindIndexForFields("AB"), nullptr);
    EXPECT_EQ(DS->Indexes()->FindIndexForFields("A", soUnique), nullptr);
    EXPECT_EQ(DS->Indexes()->FindIndex("ab"), X) << "names compare without regard to case";
}

TEST_F(DataSetIndex, IndexDefsBecomeIndexesOnOpenAndGoOnClose)
{
    DS->Close();
    DS->IndexDefs().Add("PK", "ID", ixPrimary);
    DS->IndexDefs().Add("BYNAME", "NAME", ixDescending | ixNonMaintained);
    DS->Open();
    ASSERT_EQ(DS->Indexes()->Count(), 2);
    TZqIndex *PK = DS->Indexes()->FindIndex("PK");
    EXPECT_EQ(PK->Options(), TZqSortOptions(soPrimary | soUnique));
    EXPECT_TRUE(PK->Active());
    EXPECT_FALSE(DS->Indexes()->FindIndex("BYNAME")->Active());
    DS->SetIndexName("PK");
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 2, 3, 4, 5}));
    DS->Close();
    EXPECT_EQ(DS->Indexes()->Count(), 0);
    EXPECT_EQ(DS->IndexDefs().Count(), 2);
}

TEST_F(DataSetIndex, IndexesDescribeThemselvesAsDefinitionsWhileOpen)
{
    DS->Close();
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BYNAME");
    X->SetFields("NAME");
    X->SetOptions(soNoCase);
    DS->Open();
    ASSERT_EQ(DS->IndexDefs().Count(), 1);
    EXPECT_EQ(DS->IndexDefs().Items(0)->Options, TIndexOptions(ixCaseInsensitive | ixNonMaintained));
    DS->Close();
    EXPECT_EQ(DS->IndexDefs().Count(), 0);
    EXPECT_EQ(DS->Indexes()->Count(), 1) << "the own indexes stay";
}

TEST_F(DataSetIndex, IsIndexFieldFollowsTheIndexView)
{
    EXPECT_FALSE(DS->FieldByName("NAME")->IsIndexField());
    DS->SetIndexFieldNames("GRP;NAME");
    EXPECT_TRUE(DS->FieldByName("NAME")->IsIndexField());
    EXPECT_TRUE(DS->FieldByName("GRP")->IsIndexField());
    EXPECT_FALSE(DS->FieldByName("AMT")->IsIndexField());
    ASSERT_EQ(DS->IndexFieldCount(), 2);
    EXPECT_EQ(DS->IndexFields(1), DS->FieldByName("NAME"));
}

TEST_F(DataSetIndex, DeletedRowsStayHiddenUnderAnIndex)
{
    DS->SetCachedUpdates(true);
    DS->SetIndexFieldNames("NAME");
    DS->Locate("ID", 2);
    DS->Delete();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{1, 3, 4, 5}));
    DS->SetUpdateRecordTypes(rtDeleted);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{2}));
}

TEST_F(DataSetIndex, EditedRowMovesToItsNewPlace)
{
    DS->SetIndexFieldNames("AMT");
    DS->Locate("ID", 1);
    DS->Edit();
    DS->FieldByName("AMT")->SetAsFloat(35.0);
    DS->Post();
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(DS->RecNo(), 3);
    EXPECT_EQ(Ids(*DS), (std::vector<int>{2, 3, 1, 4, 5}));
}

TEST_F(DataSetIndex, IndexViewsMoveWithTheAttachedTable)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BYNAME");
    X->SetFields("NAME");
    X->SetActive(true);
    ASSERT_NE(X->View(), nullptr);
    EXPECT_EQ(X->View()->GetTable(), Table);
    TZqDatSTable *Other = MakeStations("OTHER", {{7, "Zulu", 1, 0}, {8, "Yankee", 1, 0}});
    DS->AttachTable(Other, nullptr);
    ASSERT_NE(X->View(), nullptr);
    EXPECT_EQ(X->View()->GetTable(), Other);
    EXPECT_EQ(Table->Views()->IndexOfName("BYNAME"), -1) << "the old table keeps no view of the index";
    DS->SetIndexName("BYNAME");
    DS->Open();
    EXPECT_EQ(Ids(*DS), (std::vector<int>{8, 7}));
    DS->Close();
    DS->AttachTable(Table, nullptr);
    Other->Release();
}

TEST_F(DataSetIndex, ReferenceHandsOutTheViewTheDatasetShows)
{
    DS->SetIndexFieldNames("NAME");
    TZqIntfPtr<IZqDataSetReference> R = DS->DataSetReference();
    EXPECT_EQ(R->GetDataView(), DS->ActiveView());
    EXPECT_EQ(R->GetDataView()->Rows()->Count(), 5);
    DS->Close();
    EXPECT_EQ(DS->DataSetReference()->GetDataView(), Table->GetDefaultView());
    // The reference keeps its view object alive past the close.
    EXPECT_EQ(R->GetDataView()->Name(), "_Zq_FLT");
}

} // namespace
