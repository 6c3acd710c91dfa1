// dats_bench: the in-memory tables on the hot paths of the program: loading
// fetched rows, sorting a view, key searches and edits on a sorted view.
// One table of 10 columns (integers, doubles, texts, dates); each figure is
// the median of several runs after a warm-up.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSAggregates.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanExpr.h"

using namespace dats;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int CRows = 1000000;

double Seconds(const std::function<void()> &AFn) {
    auto T0 = Clock::now();
    AFn();
    return std::chrono::duration<double>(Clock::now() - T0).count();
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

TZqDatSTable *MakeTable() {
    auto *T = new TZqDatSTable("BENCH");
    TZqDatSColumnList *C = T->Columns();
    C->AddColumn("ID", dtInt32);
    C->AddColumn("STATION", dtInt32);
    C->AddColumn("DEPTH", dtInt32);
    C->AddColumn("TEMP", dtDouble);
    C->AddColumn("PSAL", dtDouble);
    C->AddColumn("NAME", dtAnsiString, 20);
    C->AddColumn("SHIP", dtAnsiString, 10);
    C->AddColumn("CAST_DATE", dtDate);
    C->AddColumn("CAST_TIME", dtDateTime);
    C->AddColumn("FLAGS", dtInt64);
    return T;
}

void Load(TZqDatSTable *T, int ACount, uint32_t ASeed) {
    std::mt19937 Rng(ASeed);
    char Name[24];
    T->BeginLoadData(lmFetchAll);
    T->SetRowsCapacity(ACount);
    for (int I = 0; I < ACount; ++I) {
        TZqDatSRow *R = T->NewRow(false);
        int32_t Id = I, Station = int32_t(Rng() % 100000), Depth = int32_t(Rng() % 5000);
        double Temp = (Rng() % 30000) / 1000.0, Psal = (Rng() % 40000) / 1000.0;
        int N = std::snprintf(Name, sizeof Name, "STN%07d", Station);
        int32_t Date = 700000 + int32_t(Rng() % 40000);
        double Ms = double(Date) * 86400000.0 + double(Rng() % 86400000);
        int64_t Flags = int64_t(Rng());
        R->SetData(0, &Id, 4);
        R->SetData(1, &Station, 4);
        R->SetData(2, &Depth, 4);
        R->SetData(3, &Temp, 8);
        R->SetData(4, &Psal, 8);
        R->SetData(5, Name, uint32_t(N));
        R->SetData(6, "MARLIN", 6);
        R->SetData(7, &Date, 4);
        R->SetData(8, &Ms, 8);
        R->SetData(9, &Flags, 8);
        T->Rows()->Add(R);
    }
    T->EndLoadData();
}

int32_t IntAt(TZqDatSRow *R, uint32_t AOffset) {
    int32_t V;
    std::memcpy(&V, R->GetBuffer(rvDefault) + AOffset, 4);
    return V;
}

// The benchmark checks its answer: the view's order against std::sort's.
bool SameOrder(TZqDatSViewRowList *AList, const std::vector<TZqDatSRow *> &AWant, const char *AWhat) {
    for (int I = 0; I < CRows; ++I)
        if (AList->GetItem(I) != AWant[size_t(I)]) {
            std::printf("%s sort orders differ at %d\n", AWhat, I);
            return false;
        }
    return true;
}

} // namespace

int main() {
    RegisterStanExpr();
    // ---- load ----
    std::vector<double> LoadTimes;
    for (int Run = 0; Run < 4; ++Run) {
        TZqDatSTable *T = MakeTable();
        T->GetDefaultView();
        double S = Seconds([&] { Load(T, CRows, 7 + Run); });
        if (Run > 0) LoadTimes.push_back(S);
        delete T;
    }
    std::printf("load_mode4_append: %.0f rows/s\n", CRows / Median(LoadTimes));

    TZqDatSTable *T = MakeTable();
    Load(T, CRows, 11);
    const uint32_t StationOffset = T->Columns()->Offset(1);

    // ---- sort: the view's sort against std::sort over the same pointers ----
    auto *View = TZqDatSView::CreateEx(T, "BY_STATION", 0, false);
    TZqDatSMechSort *Sort = View->Mechanisms()->AddSort("STATION");
    View->SetActive(true);
    std::vector<TZqDatSRow *> Shuffled(T->Rows()->RowData(), T->Rows()->RowData() + CRows);
    std::shuffle(Shuffled.begin(), Shuffled.end(), std::mt19937(3));
    std::vector<double> ViewSort, StdSort;
    for (int Run = 0; Run < 6; ++Run) {
        TZqDatSViewRowList *L = View->Rows();
        std::copy(Shuffled.begin(), Shuffled.end(), L->RowData());
        double SV = Seconds([&] { Sort->Sort(L); });
        std::vector<TZqDatSRow *> P = Shuffled;
        double SS = Seconds([&] {
            std::sort(P.begin(), P.end(), [StationOffset](TZqDatSRow *A, TZqDatSRow *B) {
                int32_t X = IntAt(A, StationOffset), Y = IntAt(B, StationOffset);
                if (X != Y) return X < Y;
                return uint32_t(A->RowID()) < uint32_t(B->RowID());
            });
        });
        if (Run == 0) {
            // Both orders are the same total order.
            if (!SameOrder(L, P, "int")) return 1;
            continue;
        }
        ViewSort.push_back(SV);
        StdSort.push_back(SS);
    }
    std::printf("view_sort_1M_int: %.1f ms\n", Median(ViewSort) * 1000);
    std::printf("stdsort_1M_int: %.1f ms\n", Median(StdSort) * 1000);
    std::printf("ratio stdsort_over_view: %.2f\n", Median(StdSort) / Median(ViewSort));
    // A double column (levels by pressure): std::sort with the row
    // comparison's tolerance against the view's sort, which orders exact
    // images of the values and mends the runs the tolerance calls equal.
    const uint32_t TempOffset = T->Columns()->Offset(3);
    auto *ByTemp = TZqDatSView::CreateEx(T, "BY_TEMP", 0, false);
    TZqDatSMechSort *TempSort = ByTemp->Mechanisms()->AddSort("TEMP");
    ByTemp->SetActive(true);
    std::vector<double> ViewSortD, StdSortD;
    for (int Run = 0; Run < 4; ++Run) {
        TZqDatSViewRowList *L = ByTemp->Rows();
        std::copy(Shuffled.begin(), Shuffled.end(), L->RowData());
        double SV = Seconds([&] { TempSort->Sort(L); });
        std::vector<TZqDatSRow *> P = Shuffled;
        double SS = Seconds([&] {
            std::sort(P.begin(), P.end(), [TempOffset](TZqDatSRow *A, TZqDatSRow *B) {
                double X, Y;
                std::memcpy(&X, A->GetBuffer(rvDefault) + TempOffset, 8);
                std::memcpy(&Y, B->GetBuffer(rvDefault) + TempOffset, 8);
                double D = X - Y;
                if (D > 1e-13) return false;
                if (D < -1e-13) return true;
                return uint32_t(A->RowID()) < uint32_t(B->RowID());
            });
        });
        if (Run == 0) {
            if (!SameOrder(L, P, "double")) return 1;
            continue;
        }
        ViewSortD.push_back(SV);
        StdSortD.push_back(SS);
    }
    std::printf("view_sort_1M_double: %.1f ms\n", Median(ViewSortD) * 1000);
    std::printf("ratio stdsort_over_view_double: %.2f\n", Median(StdSortD) / Median(ViewSortD));
    ByTemp->Free();

    std::vector<double> Rebuilds;
    for (int Run = 0; Run < 3; ++Run) Rebuilds.push_back(Seconds([&] { View->Rebuild(); }));
    std::printf("view_rebuild_1M_sorted: %.1f ms\n", Median(Rebuilds) * 1000);

    // ---- key searches on a unique sorted view ----
    auto *ById = TZqDatSView::CreateEx(T, "BY_ID", 0, false);
    ById->Mechanisms()->AddSort("ID", soUnique);
    ById->SetActive(true);
    TZqDatSRow *Key = T->NewRow(false);
    std::vector<int32_t> Keys(1000000);
    std::mt19937 Rng(5);
    for (int32_t &K : Keys) K = int32_t(Rng() % CRows);
    std::vector<double> Searches;
    long Hits = 0;
    for (int Run = 0; Run < 4; ++Run) {
        double S = Seconds([&] {
            for (int32_t K : Keys) {
                Key->SetData(0, &K, 4);
                int Index;
                bool Found;
                ById->Search(Key, nullptr, nullptr, -1, 0, Index, Found);
                Hits += Found;
            }
        });
        if (Run > 0) Searches.push_back(S);
    }
    if (Hits != 4L * CRows) {
        std::printf("search missed keys\n");
        return 1;
    }
    std::printf("unique_view_key_search: %.0f searches/s\n", Keys.size() / Median(Searches));
    delete Key;
    ById->Free();

    // ---- edits of the sort column ----
    std::vector<double> Edits;
    const int CEdits = 100000;
    for (int Run = 0; Run < 3; ++Run) {
        std::mt19937 ER(100 + Run);
        double S = Seconds([&] {
            for (int I = 0; I < CEdits; ++I) {
                TZqDatSRow *R = T->Rows()->GetItem(int(ER() % CRows));
                int32_t V = int32_t(ER() % 100000);
                R->BeginEdit();
                R->SetData(1, &V, 4);
                R->EndEdit();
            }
        });
        Edits.push_back(S);
    }
    // The view is still in order.
    for (int I = 1; I < CRows; ++I)
        if (IntAt(View->Rows()->GetItem(I - 1), StationOffset) > IntAt(View->Rows()->GetItem(I), StationOffset)) {
            std::printf("view out of order after edits\n");
            return 1;
        }
    std::printf("sorted_view_edits: %.0f edits/s\n", CEdits / Median(Edits));

    // ---- grouped aggregates: full recompute and incremental upkeep ----
    // Five aggregates over TEMP, grouped by station (about 10 rows a group).
    const char *Funcs[] = {"SUM", "AVG", "COUNT", "MIN", "MAX"};
    std::vector<TZqDatSAggregate *> Aggs;
    for (const char *F : Funcs)
        Aggs.push_back(View->Aggregates()->AddAggregate(std::string("A_") + F, std::string(F) + "(TEMP)", 1));
    std::vector<double> Recalcs;
    for (int Run = 0; Run < 4; ++Run) {
        double S = Seconds([&] { View->Aggregates()->Recalc(); });
        if (Run > 0) Recalcs.push_back(S);
    }
    std::printf("aggregates_recompute_5_grouped_1M: %.0f rows/s\n", CRows / Median(Recalcs));
    std::vector<double> AggEdits;
    const int CAggEdits = 200000;
    for (int Run = 0; Run < 3; ++Run) {
        std::mt19937 ER(200 + Run);
        double S = Seconds([&] {
            for (int I = 0; I < CAggEdits; ++I) {
                TZqDatSRow *R = T->Rows()->GetItem(int(ER() % CRows));
                R->BeginEdit();
                if (I % 4 == 0) { // one edit in four moves the row to another group
                    int32_t V = int32_t(ER() % 100000);
                    R->SetData(1, &V, 4);
                } else {
                    double V = (ER() % 30000) / 1000.0;
                    R->SetData(3, &V, 8);
                }
                R->EndEdit();
            }
        });
        AggEdits.push_back(S);
    }
    // The values kept up equal a recomputation.
    std::vector<rtl::Variant> Kept;
    for (int I = 0; I < CRows; I += 997)
        for (TZqDatSAggregate *A : Aggs) {
            Kept.emplace_back();
            A->GetValue(I, Kept.back());
        }
    View->Aggregates()->Recalc();
    size_t K = 0;
    for (int I = 0; I < CRows; I += 997)
        for (TZqDatSAggregate *A : Aggs) {
            rtl::Variant V;
            A->GetValue(I, V);
            const rtl::Variant &W = Kept[K++];
            if (V.IsNull() != W.IsNull() || (!V.IsNull() && std::abs(V.AsDouble() - W.AsDouble()) > 1e-6)) {
                std::printf("aggregate kept up differs from recompute at row %d\n", I);
                return 1;
            }
        }
    std::printf("aggregates_incremental_edits: %.0f edits/s\n", CAggEdits / Median(AggEdits));
    delete T;
    return 0;
}
