// dataset_bench: the client dataset's ways to find and restrict records
// over one 200k-row table of stations and depths: a key search under an
// index against Locate over the unindexed records, a range against the
// same restriction by filter text, and a grouped aggregate. Each figure is
// the median of several runs after a warm-up; every run checks its answer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "dataaccess/stan/qxZqStanOption.h"

using namespace dats;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int CRows = 200000;
constexpr int CStations = 2000; // 100 depths each
constexpr int CSearches = 2000;

class TBenchDataSet : public TZqDataSet, public IZqStanOptions {
public:
    TBenchDataSet() : FFetch(nullptr), FFormat(nullptr), FUpdate(nullptr), FResource(nullptr) {}
    ~TBenchDataSet() override { Close(); }
    TZqFetchOptions *GetFetchOptions() override { return &FFetch; }
    TZqFormatOptions *GetFormatOptions() override { return &FFormat; }
    TZqUpdateOptions *GetUpdateOptions() override { return &FUpdate; }
    TZqResourceOptions *GetResourceOptions() override { return &FResource; }
    bool GetParentOptions(IZqStanOptions *&AParent) override
    {
        AParent = nullptr;
        return false;
    }

private:
    TZqFetchOptions FFetch;
    TZqFormatOptions FFormat;
    TZqUpdateOptions FUpdate;
    TZqResourceOptions FResource;
};

double Seconds(const std::function<void()> &AFn)
{
    auto T0 = Clock::now();
    AFn();
    return std::chrono::duration<double>(Clock::now() - T0).count();
}

double Median(const std::function<void()> &AFn, int ARuns = 5)
{
    AFn(); // warm-up
    std::vector<double> V;
    for (int I = 0; I < ARuns; ++I)
        V.push_back(Seconds(AFn));
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

void Check(bool AOk, const char *AWhat)
{
    if (!AOk) {
        std::fprintf(stderr, "check failed: %s\n", AWhat);
        std::exit(1);
    }
}

TZqDatSTable *MakeTable()
{
    auto *T = new TZqDatSTable("STATIONS");
    T->CountRef(1);
    T->Columns()->AddColumn("ID", dtInt32);
    T->Columns()->AddColumn("STATION", dtInt32);
    T->Columns()->AddColumn("DEPTH", dtInt32);
    T->Columns()->AddColumn("TEMP", dtDouble);
    std::mt19937 Rng(7);
    std::vector<int32_t> Order(CRows);
    for (int I = 0; I < CRows; ++I)
        Order[size_t(I)] = I;
    std::shuffle(Order.begin(), Order.end(), Rng);
    T->BeginLoadData(lmFetchAll);
    T->SetRowsCapacity(CRows);
    for (int32_t Id : Order) {
        TZqDatSRow *R = T->NewRow(false);
        int32_t Station = Id / 100, Depth = (Id % 100) * 10;
        double Temp = 1.0; // sums are exact: 100 per station
        R->SetData(0, &Id, 4);
        R->SetData(1, &Station, 4);
        R->SetData(2, &Depth, 4);
        R->SetData(3, &Temp, 8);
        T->Rows()->Add(R);
    }
    T->EndLoadData();
    return T;
}

} // namespace

int main()
{
    RegisterStanExpr();
    TZqDatSTable *T = MakeTable();
    std::vector<int> Keys;
    std::mt19937 Rng(11);
    for (int I = 0; I < CSearches; ++I)
        Keys.push_back(int(Rng() % CStations));
    {
        TBenchDataSet D;
        D.AttachTable(T, nullptr);
        D.Open();

        // The scan is slow: a tenth of the keys, counted per search.
        std::vector<int> Few(Keys.begin(), Keys.begin() + CSearches / 10);
        double LocateTime = Median(
            [&] {
                for (int K : Few) {
                    bool Found = D.Locate("STATION;DEPTH", rtl::VarArrayOf({rtl::Variant(K), rtl::Variant(500)}));
                    Check(Found && D.FieldByName("ID")->AsInteger() == K * 100 + 50, "locate");
                }
            },
            3);

        double IndexTime = Median([&] {
            D.SetIndexFieldNames("");
            D.SetIndexFieldNames("STATION;DEPTH");
            Check(D.IndexFieldCount() == 2, "index");
        });

        double FindKeyTime = Median([&] {
            for (int K : Keys) {
                bool Found = D.FindKey({rtl::Variant(K), rtl::Variant(500)});
                Check(Found && D.FieldByName("ID")->AsInteger() == K * 100 + 50, "findkey");
            }
        });

        // Moving a restriction from station to station, as a detail does.
        constexpr int CMoves = 20;
        double RangeTime = Median([&] {
            for (int I = 0; I < CMoves; ++I) {
                D.SetRange({rtl::Variant(Keys[size_t(I)])}, {rtl::Variant(Keys[size_t(I)])});
                Check(D.RecordCount() == 100, "range");
            }
        });
        D.CancelRange();

        D.SetIndexFieldNames("");
        D.SetFiltered(true);
        double FilterTime = Median([&] {
            for (int I = 0; I < CMoves; ++I) {
                D.SetFilterText("STATION = " + std::to_string(Keys[size_t(I)]));
                Check(D.RecordCount() == 100, "filter");
            }
        });
        D.SetFiltered(false);

        TZqIndex *X = D.Indexes()->Add();
        X->SetName("BYSTATION");
        X->SetFields("STATION;DEPTH");
        X->SetActive(true);
        D.SetIndexName("BYSTATION");
        TZqAggregate *A = D.Aggregates()->Add();
        A->SetName("PERSTATION");
        A->SetExpression("SUM(TEMP)");
        A->SetGroupingLevel(1);
        A->SetIndexName("BYSTATION");
        A->SetActive(true);
        double AggTime = Median([&] {
            D.SetAggregatesActive(true);
            D.First();
            Check(A->Value().AsDouble() == 100.0, "aggregate");
            D.SetAggregatesActive(false);
        });

        double LocateEach = LocateTime / double(Few.size()), FindKeyEach = FindKeyTime / CSearches;
        std::printf("locate_unindexed: %.1f us\n", LocateEach * 1e6);
        std::printf("findkey_indexed: %.2f us\n", FindKeyEach * 1e6);
        std::printf("ratio locate_over_findkey: %.1f\n", LocateEach / FindKeyEach);
        std::printf("index_build: %.1f ms\n", IndexTime * 1e3);
        std::printf("range_move: %.3f ms\n", RangeTime / CMoves * 1e3);
        std::printf("filter_move: %.3f ms\n", FilterTime / CMoves * 1e3);
        std::printf("ratio filter_over_range: %.1f\n", FilterTime / RangeTime);
        std::printf("grouped_sum_build: %.1f ms\n", AggTime * 1e3);
    }
    T->Release();
    return 0;
}
