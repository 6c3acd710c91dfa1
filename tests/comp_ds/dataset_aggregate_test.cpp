// Aggregates of the dataset: the Aggregates collection, grouping by the
// index, aggregate fields and AggregatesActive.
#include <gtest/gtest.h>

#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

class DataSetAggregates : public TStationFixture {
protected:
    void SetUp() override { Make(FiveStations()); }
    TZqAggregate *AddAggregate(const std::string &AName, const std::string &AExpr, int ALevel = 0,
                               const std::string &AIndex = "")
    {
        TZqAggregate *A = DS->Aggregates()->Add();
        A->SetName(AName);
        A->SetExpression(AExpr);
        A->SetGroupingLevel(ALevel);
        A->SetIndexName(AIndex);
        A->SetActive(true);
        return A;
    }
};

TEST_F(DataSetAggregates, WholeSetValuesNeedAggregatesActive)
{
    TZqAggregate *Sum = AddAggregate("TOTAL", "SUM(AMT)");
    TZqAggregate *Cnt = AddAggregate("N", "COUNT(*)");
    EXPECT_TRUE(Sum->Value().IsEmpty()) << "not built while aggregates are off";
    DS->SetAggregatesActive(true);
    EXPECT_DOUBLE_EQ(Sum->Value().AsDouble(), 150.0);
    EXPECT_EQ(Cnt->Value().AsInt64(), 5);
    DS->SetAggregatesActive(false);
    EXPECT_FALSE(Sum->Built());
}

TEST_F(DataSetAggregates, ValuesFollowEditsFiltersAndRanges)
{
    DS->SetAggregatesActive(true);
    TZqAggregate *Sum = AddAggregate("TOTAL", "SUM(AMT)");
    TZqAggregate *Max = AddAggregate("TOP", "MAX(AMT) - MIN(AMT)");
    DS->Locate("ID", 1);
    DS->Edit();
    DS->FieldByName("AMT")->SetAsFloat(100.0);
    DS->Post();
    EXPECT_DOUBLE_EQ(Sum->Value().AsDouble(), 240.0);
    EXPECT_DOUBLE_EQ(Max->Value().AsDouble(), 80.0);
    DS->SetFilterText("GRP = 1");
    DS->SetFiltered(true);
    EXPECT_DOUBLE_EQ(Sum->Value().AsDouble(), 120.0) << "over the records the cursor shows";
    DS->SetFiltered(false);
    DS->SetIndexFieldNames("GRP");
    DS->SetRange({rtl::Variant(2)}, {rtl::Variant(2)});
    EXPECT_DOUBLE_EQ(Sum->Value().AsDouble(), 120.0);
    ASSERT_EQ(DS->FieldByName("ID")->AsInteger(), 4);
    DS->Delete();
    EXPECT_DOUBLE_EQ(Sum->Value().AsDouble(), 80.0) << "the deleted record leaves the sum";
}

TEST_F(DataSetAggregates, GroupedByTheNamedIndexOnly)
{
    TZqIndex *X = DS->Indexes()->Add();
    X->SetName("BYGRP");
    X->SetFields("GRP;ID");
    X->SetActive(true);
    DS->SetAggregatesActive(true);
    TZqAggregate *PerGroup = AddAggregate("GSUM", "SUM(AMT)", 1, "BYGRP");
    EXPECT_TRUE(PerGroup->Value().IsEmpty()) << "another index (none) is current";
    EXPECT_FALSE(PerGroup->Built());
    DS->SetIndexName("BYGRP");
    ASSERT_TRUE(PerGroup->Built());
    DS->First();
    EXPECT_DOUBLE_EQ(PerGroup->Value().AsDouble(), 30.0);
    DS->Last();
    EXPECT_DOUBLE_EQ(PerGroup->Value().AsDouble(), 120.0);
    EXPECT_EQ(DS->Aggregates()->MaxGroupingLevel(), 1);
}

TEST_F(DataSetAggregates, IncompleteAggregateCannotBeActivated)
{
    TZqAggregate *A = DS->Aggregates()->Add();
    A->SetExpression("SUM(AMT)");
    EXPECT_EQ(ErrorCodeOf([&] { A->SetActive(true); }), 210);
    A->SetName("S");
    EXPECT_EQ(ErrorCodeOf([&] { A->SetActive(true); }), 0);
}

TEST_F(DataSetAggregates, AggregateFieldReadsItsGroupValue)
{
    DS->Close();
    DS->FieldDefs().Update();
    for (int I = 0; I < DS->FieldDefs().Count(); ++I)
        DS->FieldDefs()[I]->CreateField(DS.get());
    auto *Avg = new TAggregateField(DS.get());
    Avg->SetFieldName("AVGAMT");
    Avg->SetExpression("AVG(AMT)");
    Avg->SetActive(true);
    Avg->SetDataSet(DS.get());
    DS->SetAggregatesActive(true);
    DS->Open();
    EXPECT_DOUBLE_EQ(Avg->AsFloat(), 30.0);
    EXPECT_EQ(Avg->AsString(), "30");
    Avg->SetExpression("SUM(AMT) / 10");
    EXPECT_DOUBLE_EQ(Avg->AsFloat(), 15.0) << "a changed definition applies at once";
    DS->Close();
    EXPECT_TRUE(Avg->IsNull());
}

TEST_F(DataSetAggregates, EmptyDatasetGivesEmptyValues)
{
    DS->SetAggregatesActive(true);
    TZqAggregate *Sum = AddAggregate("TOTAL", "SUM(AMT)");
    DS->SetFilterText("GRP = 9");
    DS->SetFiltered(true);
    EXPECT_TRUE(Sum->Value().IsEmpty());
}

} // namespace
