// The dataset's features on queries over a copy of the demo station
// database: index order, filters, key searches and aggregates against what
// SQLite itself answers; cached updates applied to the file with their error
// count and settled by Reconcile; both master-detail styles between cruises
// and casts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dataset/TDataSource.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

using DataSetOnStations = StationDb;

std::vector<std::string> Column(const std::vector<TRow> &ARows)
{
    std::vector<std::string> R;
    for (const TRow &Row : ARows)
        R.push_back(Row.at(0));
    return R;
}

std::vector<std::string> FieldColumn(TDataSet &D, const std::string &AField)
{
    std::vector<std::string> R;
    for (D.First(); !D.Eof(); D.Next())
        R.push_back(D.FieldByName(AField)->AsString());
    return R;
}

TEST_F(DataSetOnStations, IndexFilterKeysAndAggregatesAgreeWithTheDatabase)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 3");
    Q->Open();
    TZqIndex *X = Q->Indexes()->Add();
    X->SetName("NEWEST");
    X->SetFields("ID_Cast");
    X->SetDescFields("ID_Cast");
    X->SetActive(true);
    Q->SetIndexName("NEWEST");
    const auto Ids = Column(Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 order by ID_Cast desc"));
    ASSERT_GT(Ids.size(), 5u);
    EXPECT_EQ(FieldColumn(*Q, "ID_Cast"), Ids);

    EXPECT_TRUE(Q->FindKey({rtl::Variant(std::atoi(Ids[4].c_str()))}));
    EXPECT_EQ(Q->RecNo(), 5);

    const auto Lats = Column(Sql("select Lat from Cast_Titles where ID_Cruise = 3 and Lat is not null order by Lat"));
    const std::string Mid = Lats.at(Lats.size() / 2);
    Q->SetFilterText("Lat > " + Mid);
    Q->SetFiltered(true);
    EXPECT_EQ(FieldColumn(*Q, "ID_Cast"),
              Column(Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 and Lat > " + Mid +
                         " order by ID_Cast desc")));
    Q->SetFiltered(false);

    TZqAggregate *N = Q->Aggregates()->Add();
    N->SetName("N");
    N->SetExpression("COUNT(*)");
    N->SetActive(true);
    TZqAggregate *Top = Q->Aggregates()->Add();
    Top->SetName("TOP");
    Top->SetExpression("MAX(ID_Cast)");
    Top->SetActive(true);
    Q->SetAggregatesActive(true);
    EXPECT_EQ(N->Value().AsInt64(), int64_t(Ids.size()));
    EXPECT_EQ(Top->Value().AsString(), Ids[0]);
}

TEST_F(DataSetOnStations, CachedUpdatesReachTheFileWithTheirErrorCount)
{
    TZqQuery *Q = New("Select * from Cast_Titles where ID_Cruise = 3 order by ID_Cast");
    Q->SetCachedUpdates(true);
    Q->Open();
    const auto Ids = Column(Sql("select ID_Cast from Cast_Titles where ID_Cruise = 3 order by ID_Cast"));
    ASSERT_GT(Ids.size(), 5u);
    const auto Before = Sql("select Velosity from Cast_Titles where ID_Cast = " + Ids[0]);
    Q->First();
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(1111.5);
    Q->Post();
    Q->Next();
    Q->Edit();
    Q->FieldByName("Velosity")->SetAsFloat(2222.5);
    Q->Post();
    // A new cast under an ID the file already holds: its primary key refuses it.
    Q->Append();
    Q->FieldByName("ID_Cast")->SetAsString(Ids[5]);
    Q->FieldByName("ID_Cruise")->SetAsInteger(3);
    Q->Post();
    EXPECT_EQ(Sql("select Velosity from Cast_Titles where ID_Cast = " + Ids[0]), Before) << "nothing written yet";
    EXPECT_EQ(Q->ApplyUpdates(-1), 1);
    EXPECT_EQ(Sql("select Velosity from Cast_Titles where ID_Cast = " + Ids[0])[0][0], "1111.5");
    EXPECT_EQ(Sql("select Velosity from Cast_Titles where ID_Cast = " + Ids[1])[0][0], "2222.5");

    std::vector<TUpdateKind> Kinds;
    Q->OnReconcileError = [&](TZqDataSet *, EZqException *E, TUpdateKind K, TZqDAptReconcileAction &A) {
        EXPECT_NE(E, nullptr);
        Kinds.push_back(K);
        A = raCancel;
    };
    Q->Reconcile();
    EXPECT_EQ(Kinds, std::vector<TUpdateKind>{ukInsert});
    Q->CommitUpdates();
    EXPECT_FALSE(Q->UpdatesPending());
    EXPECT_EQ(Q->RecordCount(), int(Ids.size()));
}

TEST_F(DataSetOnStations, ParameterDetailFollowsItsMasterCruise)
{
    TZqQuery *M = New("Select * from Cruise_Titles order by ID_Cruise");
    M->Open();
    TDataSource S;
    S.SetDataSet(M);
    TZqQuery *D = New("Select * from Cast_Titles where ID_Cruise = :ID_Cruise order by ID_Cast");
    D->SetMasterSource(&S);
    D->Open();
    for (int I = 0; I < 3 && !M->Eof(); ++I, M->Next()) {
        const std::string Cruise = M->FieldByName("ID_Cruise")->AsString();
        EXPECT_EQ(FieldColumn(*D, "ID_Cast"),
                  Column(Sql("select ID_Cast from Cast_Titles where ID_Cruise = " + Cruise + " order by ID_Cast")))
            << "cruise " << Cruise;
    }
    D->SetMasterSource(nullptr);
}

TEST_F(DataSetOnStations, RangeDetailCutsTheCastsOfTheMasterCruise)
{
    TZqQuery *M = New("Select * from Cruise_Titles order by ID_Cruise");
    M->Open();
    TDataSource S;
    S.SetDataSet(M);
    TZqQuery *D = New("Select * from Cast_Titles");
    D->SetIndexFieldNames("ID_Cruise;ID_Cast");
    D->SetMasterSource(&S);
    D->SetMasterFields("ID_Cruise");
    D->Open();
    const int All = int(Sql("select 1 from Cast_Titles").size());
    for (int I = 0; I < 3 && !M->Eof(); ++I, M->Next()) {
        const std::string Cruise = M->FieldByName("ID_Cruise")->AsString();
        EXPECT_EQ(FieldColumn(*D, "ID_Cast"),
                  Column(Sql("select ID_Cast from Cast_Titles where ID_Cruise = " + Cruise + " order by ID_Cast")))
            << "cruise " << Cruise;
    }
    EXPECT_LE(D->Table()->Rows()->Count(), All);
    D->SetMasterSource(nullptr);
}

} // namespace
