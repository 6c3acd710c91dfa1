// Both master-detail styles: a detail cut out of its cached rows by a range
// over its index fields, and a detail that re-runs its source with the
// master's values as parameters.
#include <gtest/gtest.h>

#include <map>

#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/comp_ds/ds_fixture.h"

using namespace comptest;
using namespace dstest;
using namespace dats;

namespace {

// A detail whose source holds cast rows per cruise: each run with the
// parameter CRUISE brings that cruise's rows.
class TParamDetail : public TTestDataSet {
public:
    TParamDetail()
    {
        FParams.Add()->SetName("CRUISE");
    }
    TZqParams *GetParams() override { return &FParams; }
    std::map<int, std::vector<int>> Source; // cruise -> cast IDs
    int Runs = 0;
    std::vector<rtl::Variant> ParamValues;

protected:
    void OpenSource(bool, bool, bool) override
    {
        FOpen = true;
        FPending = true;
        ++Runs;
        ParamValues.push_back(FParams.FindParam("CRUISE")->Value());
    }
    void CloseSource() override { FOpen = false; }
    bool IsSourceOpen() override { return FOpen; }
    int FetchFromSource(TZqDatSTable *ATable, bool) override
    {
        if (!FOpen || !FPending)
            return 0;
        FPending = false;
        rtl::Variant V = FParams.FindParam("CRUISE")->Value();
        if (V.IsClear())
            return 0;
        int Cruise = int(V.AsInt64());
        int N = 0;
        ATable->BeginLoadData(lmFetchRowset);
        for (int Id : Source[Cruise]) {
            TZqDatSRow *R = ATable->NewRow(false);
            PutInt(R, cID, Id);
            PutStr(R, cNAME, "cast");
            PutInt(R, cGRP, Cruise);
            ATable->Rows()->Add(R);
            ++N;
        }
        ATable->EndLoadData();
        return N;
    }

private:
    TZqParams FParams;
    bool FOpen = false;
    bool FPending = false;
};

// Masters: cruises 1 to 3 in a table of their own.
class MasterDetail : public ::testing::Test {
protected:
    void SetUp() override
    {
        MasterTable = NewTable("CRUISES");
        MasterTable->Columns()->AddColumn("CRUISE", dtInt32);
        MasterTable->Columns()->AddColumn("NAME", dtAnsiString, 20);
        MasterTable->BeginLoadData(lmFetchAll);
        for (int I = 1; I <= 3; ++I) {
            TZqDatSRow *R = MasterTable->NewRow(false);
            PutInt(R, 0, I);
            PutStr(R, 1, "cruise");
            MasterTable->Rows()->Add(R);
        }
        MasterTable->EndLoadData();
        Master = std::make_unique<TTestDataSet>();
        Master->AttachTable(MasterTable, nullptr);
        Source = std::make_unique<TDataSource>();
        Source->SetDataSet(Master.get());
        Master->Open();
    }
    void TearDown() override
    {
        Detail.reset();
        Source.reset();
        Master.reset();
        if (DetailTable)
            DetailTable->Release();
        MasterTable->Release();
    }
    // A detail over cast rows (GRP = cruise) cut by a range on GRP.
    void OpenRangeDetail(const std::vector<TStation> &ARows)
    {
        DetailTable = MakeStations("CASTS", ARows);
        Detail = std::make_unique<TTestDataSet>();
        Detail->AttachTable(DetailTable, nullptr);
        Detail->SetIndexFieldNames("GRP");
        Detail->SetMasterSource(Source.get());
        Detail->SetMasterFields("CRUISE");
        Detail->Open();
    }
    TZqDatSTable *MasterTable = nullptr;
    TZqDatSTable *DetailTable = nullptr;
    std::unique_ptr<TTestDataSet> Master;
    std::unique_ptr<TDataSource> Source;
    std::unique_ptr<TTestDataSet> Detail;
};

TEST_F(MasterDetail, RangeOverCachedRowsFollowsTheMaster)
{
    // Casts 11, 12 of cruise 1; 21 of cruise 2; none of cruise 3.
    OpenRangeDetail({{21, "b", 2, 0}, {11, "a", 1, 0}, {12, "a", 1, 0}});
    EXPECT_EQ(Ids(*Detail), (std::vector<int>{11, 12}));
    Master->Next();
    EXPECT_EQ(Ids(*Detail), (std::vector<int>{21}));
    Master->Next();
    EXPECT_TRUE(Detail->IsEmpty());
    Master->First();
    EXPECT_EQ(Detail->RecordCount(), 2);
    EXPECT_EQ(DetailTable->Rows()->Count(), 3) << "the cached rows stay";
}

TEST_F(MasterDetail, DetailLinkFieldsOfTheRangeStyle)
{
    DetailTable = MakeStations("CASTS", {{11, "a", 1, 0}});
    Detail = std::make_unique<TTestDataSet>();
    Detail->AttachTable(DetailTable, nullptr);
    TZqIndex *X = Detail->Indexes()->Add();
    X->SetName("BYGRP");
    X->SetFields("GRP;ID");
    X->SetActive(true);
    Detail->SetIndexName("BYGRP");
    Detail->SetMasterSource(Source.get());
    Detail->SetMasterFields("CRUISE");
    Detail->Open();
    std::vector<TField *> M, D;
    Detail->GetDetailLinkFields(M, D);
    ASSERT_EQ(M.size(), 1u);
    EXPECT_EQ(M[0], Master->FieldByName("CRUISE"));
    ASSERT_EQ(D.size(), 2u);
    EXPECT_EQ(D[0], Detail->FieldByName("GRP"));
}

TEST_F(MasterDetail, MasterSourceCannotLeadBackToTheDetail)
{
    TDataSource DetailSource;
    DetailSource.SetDataSet(Master.get());
    Detail = std::make_unique<TTestDataSet>();
    Detail->AttachTable(MasterTable, nullptr);
    TDataSource Back;
    Back.SetDataSet(Detail.get());
    Master->Close();
    EXPECT_EQ(ErrorCodeOf([&] {
                  Detail->SetMasterSource(Source.get());
                  Master->SetMasterSource(&Back);
              }),
              204);
    Detail->SetMasterSource(nullptr);
    Master->SetMasterSource(nullptr);
}

TEST_F(MasterDetail, ParameterDetailResolvesItsMasterFieldsAndRequeries)
{
    DetailTable = MakeStations("CASTS", {});
    auto *P = new TParamDetail();
    Detail.reset(P);
    P->Source = {{1, {11, 12}}, {2, {21}}, {3, {}}};
    P->AttachTable(DetailTable, nullptr);
    P->SetMasterSource(Source.get());
    EXPECT_EQ(P->MasterFields(), "CRUISE") << "the parameter named like a master field";
    P->Open();
    EXPECT_EQ(Ids(*P), (std::vector<int>{11, 12}));
    Master->Next();
    EXPECT_EQ(Ids(*P), (std::vector<int>{21}));
    EXPECT_EQ(DetailTable->Rows()->Count(), 1) << "the previous master's rows went";
    Master->Next();
    EXPECT_TRUE(P->IsEmpty());
    ASSERT_FALSE(P->ParamValues.empty());
    EXPECT_EQ(P->ParamValues.back().AsInt64(), 3);
}

TEST_F(MasterDetail, ParameterTakesTheMasterFieldsTypeWithItsValue)
{
    // A parameter typed as text beforehand is bound as the master's field
    // is: an integer cruise number, with the field's size.
    DetailTable = MakeStations("CASTS", {});
    auto *P = new TParamDetail();
    Detail.reset(P);
    P->Source = {{1, {11, 12}}, {2, {21}}, {3, {}}};
    TZqParam *Par = P->GetParams()->FindParam("CRUISE");
    Par->SetDataType(rtl::ftString);
    P->AttachTable(DetailTable, nullptr);
    P->SetMasterSource(Source.get());
    P->Open();
    TField *F = Master->FieldByName("CRUISE");
    EXPECT_EQ(Par->DataType(), F->DataType());
    EXPECT_EQ(Par->Size(), F->Size());
    EXPECT_TRUE(Par->Bound());
    EXPECT_EQ(Par->Value().AsInt64(), 1);
    EXPECT_EQ(Ids(*P), (std::vector<int>{11, 12}));
}

TEST_F(MasterDetail, RequeryNeverDropsCachedChangesSilently)
{
    DetailTable = MakeStations("CASTS", {});
    auto *P = new TParamDetail();
    Detail.reset(P);
    P->Source = {{1, {11, 12}}, {2, {21}}};
    P->AttachTable(DetailTable, nullptr);
    P->SetCachedUpdates(true);
    P->SetMasterSource(Source.get());
    P->Open();
    P->Edit();
    P->FieldByName("NAME")->SetAsString("changed");
    P->Post();
    EXPECT_EQ(ErrorCodeOf([&] { Master->Next(); }), 205);
    P->CancelUpdates();
    Master->Last();
    EXPECT_TRUE(P->IsEmpty());
}

TEST_F(MasterDetail, ClosedMasterCancelsTheRange)
{
    OpenRangeDetail({{21, "b", 2, 0}, {11, "a", 1, 0}});
    EXPECT_EQ(Detail->RecordCount(), 1);
    Master->Close();
    EXPECT_FALSE(Detail->RangeActive());
    EXPECT_EQ(Detail->RecordCount(), 2);
}

} // namespace
