// The object family (lists, names, notifications) and the sort mechanism's
// options: markers, case-insensitive tables, ranges on part of a key and
// child rows through a single-row reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <random>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

// A named item that records what its list tells it.
class TProbe : public TZqDatSNamedObject {
public:
    explicit TProbe(std::vector<std::string> *ALog) : FLog(ALog) {}
    ~TProbe() override { FLog->push_back("free " + Name()); }
    void BeforeRemove() override { FLog->push_back("remove " + Name()); }
    void HandleNotification(TZqDatSNotification &N) override {
        if (N.Kind == nkNameChanged) FLog->push_back("seen rename of " + *N.PrevName);
    }

private:
    std::vector<std::string> *FLog;
};

class TProbeList : public TZqDatSNamedList {};

std::vector<std::string> SortedNames(TZqDatSView *V, int AColumn) {
    std::vector<std::string> R;
    for (int I = 0; I < V->Rows()->Count(); ++I) R.push_back(GetStr(V->Rows()->GetItem(I), AColumn));
    return R;
}

} // namespace

TEST(DatSObjects, ClearAnnouncesAndFreesFromTheLast) {
    std::vector<std::string> Log;
    TProbeList L;
    for (const char *N : {"A", "B", "C"}) {
        auto *P = new TProbe(&Log);
        P->SetName(N);
        L.Add(P);
    }
    Log.clear(); // the first names replace the class name and are announced
    L.Clear();
    EXPECT_EQ(Log, (std::vector<std::string>{"remove C", "free C", "remove B", "free B", "remove A", "free A"}));
}

TEST(DatSObjects, NamesStayUniqueAndRenamesReachTheTree) {
    std::vector<std::string> Log;
    TProbeList L;
    auto *A = new TProbe(&Log);
    A->SetName("Alpha");
    L.Add(A);
    auto *Dup = new TProbe(&Log);
    Dup->SetName("ALPHA");
    EXPECT_EQ(ErrorCodeOf([&] { L.Add(Dup); }), 1);
    EXPECT_EQ(L.Count(), 1);
    delete Dup;
    A->SetName("Beta");
    EXPECT_EQ(L.IndexOfName("beta"), 0);
    EXPECT_EQ(L.IndexOfName("alpha"), -1);
    EXPECT_NE(std::find(Log.begin(), Log.end(), "seen rename of Alpha"), Log.end());
    EXPECT_EQ(L.BuildUniqueName("Beta"), "Beta_1");
    EXPECT_EQ(ErrorCodeOf([&] { L.ItemByName("Gamma"); }), 2);
    // Under an update lock the rename still changes the index but tells nobody.
    Log.clear();
    L.BeginUpdate();
    A->SetName("Gamma");
    L.EndUpdate();
    EXPECT_EQ(L.IndexOfName("gamma"), 0);
    EXPECT_TRUE(Log.empty());
}

TEST(DatSObjects, TableAssignCopiesTheStructure) {
    TZqDatSTable S("S");
    S.Columns()->AddColumn("ID", dtInt32);
    S.Columns()->AddColumn("NAME", dtAnsiString, 12);
    S.SetCaseSensitive(false);
    TZqDatSTable D("D");
    D.Assign(&S);
    EXPECT_EQ(D.Name(), "S"); // the name comes along
    EXPECT_TRUE(D.IsEqual(&S));
    D.SetName("D");
    EXPECT_FALSE(D.IsEqual(&S));
    EXPECT_EQ(D.Columns()->GetItem(1)->Size(), 12);
    EXPECT_FALSE(D.CaseSensitive());
}

TEST(DatSSortMech, MarkersAndCaseInsensitiveTables) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("N", dtAnsiString, 5);
    T.Columns()->AddColumn("I", dtInt32);
    int K = 0;
    for (const char *S : {"b", "A", "a", "B"}) {
        TZqDatSRow *R = T.NewRow();
        SetStr(R, 0, S);
        SetInt(R, 1, K++);
        T.Rows()->Add(R);
    }
    // Case-sensitive: upper case letters first.
    EXPECT_EQ(SortedNames(T.Select("", "N"), 0), (std::vector<std::string>{"A", "B", "a", "b"}));
    // The markers: descending and case-insensitive (ties by row number).
    EXPECT_EQ(SortedNames(T.Select("", "N:DN"), 0), (std::vector<std::string>{"b", "B", "A", "a"}));
    // A table that is not case-sensitive makes its sorts case-insensitive.
    T.SetCaseSensitive(false);
    TZqDatSView *V = T.Select("", "N");
    EXPECT_EQ(SortedNames(V, 0), (std::vector<std::string>{"A", "a", "b", "B"}));
    EXPECT_TRUE(V->SortMech()->GetSortOptions() & soNoCase);
    auto *Explicit = TZqDatSView::CreateEx(&T, "X", 0, false);
    TZqDatSMechSort *S = Explicit->Mechanisms()->AddSort("N");
    S->SetSortOptions(0);
    S->SetActive(true);
    Explicit->SetActive(true);
    EXPECT_FALSE(S->GetSortOptions() & soNoCase);
    // Setting an expression switches the sort off and forgets the columns.
    S->SetExpression("I");
    EXPECT_FALSE(S->Active());
    EXPECT_TRUE(S->Columns().empty());
}

TEST(DatSSortMech, RangeOnTheFirstColumnOfATwoColumnSort) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    T.Columns()->AddColumn("B", dtInt32);
    for (int A = 1; A <= 3; ++A)
        for (int B = 1; B <= 2; ++B) {
            TZqDatSRow *R = T.NewRow();
            SetInt(R, 0, A);
            SetInt(R, 1, B);
            T.Rows()->Add(R);
        }
    TZqDatSView *V = T.Select("", "A;B");
    TZqDatSRow *Key = T.NewRow();
    SetInt(Key, 0, 2);
    SetInt(Key, 1, 99);
    auto *R = new TZqDatSMechRange();
    R->SetTop(Key);
    R->SetBottom(Key);
    R->SetTopColumnCount(1);
    R->SetBottomColumnCount(1);
    V->Mechanisms()->AddMech(R);
    R->SetActive(true);
    ASSERT_EQ(V->Rows()->Count(), 2); // both rows with A = 2, whatever B
    EXPECT_EQ(GetInt(V->Rows()->GetItem(0), 1), 1);
    EXPECT_EQ(GetInt(V->Rows()->GetItem(1), 1), 2);
    V->Mechanisms()->Clear();
    delete Key;
}

TEST(DatSSortMech, ChildRowsThroughASingleRowReference) {
    TZqDatSManager M;
    TZqDatSTable *P, *C;
    MakeNestedTables(M, dtRowRef, P, C);
    TZqDatSRow *Parent = P->NewRow();
    TZqDatSRow *Kid = C->NewRow();
    SetInt(Kid, 0, 5);
    Kid->SetParentRow(Parent);
    EXPECT_EQ(Parent->GetNestedRow(0), Kid);
    P->Rows()->Add(Parent);
    EXPECT_EQ(C->Rows()->Count(), 1);
    TZqDatSRow *Other = C->NewRow(); // in no parent's reference
    auto *Keep = P->NewRow();
    Other->SetParentRow(Keep);
    P->Rows()->Add(Keep);
    TZqDatSView *V = C->Select("", "");
    ASSERT_EQ(V->Rows()->Count(), 2);
    auto *Childs = new TZqDatSMechChilds(Parent);
    V->Mechanisms()->AddMech(Childs);
    Childs->SetActive(true);
    ASSERT_EQ(V->Rows()->Count(), 1);
    EXPECT_EQ(V->Rows()->GetItem(0), Kid);
    Childs->SetParentRow(nullptr);
    Childs->SetActive(true);
    EXPECT_EQ(V->Rows()->Count(), 0);
}

TEST(DatSSortMech, ManagerSettingsReachItsTablesAndTheirViews) {
    TZqDatSManager M;
    TZqDatSTable *T = M.Tables()->AddTable("T");
    T->Columns()->AddColumn("N", dtAnsiString, 5);
    for (const char *S : {"b", "A"}) {
        TZqDatSRow *R = T->NewRow();
        SetStr(R, 0, S);
        T->Rows()->Add(R);
    }
    auto *V = TZqDatSView::CreateEx(T, "V", 0, false);
    TZqDatSMechSort *S = V->Mechanisms()->AddSort("N");
    V->SetActive(true);
    EXPECT_EQ(SortedNames(V, 0), (std::vector<std::string>{"A", "b"}));
    M.SetCaseSensitive(false);
    EXPECT_FALSE(T->CaseSensitive());
    M.SetLocale(1049);
    EXPECT_EQ(T->Locale(), 1049);
    EXPECT_EQ(V->Rows()->Count(), 2); // rebuilt, nothing lost
    (void)S;
    EXPECT_TRUE(T->HasChanges(RowStateBit(rsInserted)));
    T->Journal()->AcceptChanges(T);
    EXPECT_FALSE(T->HasChanges(RowStateBit(rsInserted)));
}

TEST(DatSSortMech, LargeSortsKeepTheOrderOfTheRowComparison) {
    // Lists of 64 rows and more take the key and plan paths; their order
    // must be the one the plain row comparison gives.
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    T.Columns()->AddColumn("D", dtDouble);
    T.Columns()->AddColumn("S", dtAnsiString, 6);
    std::mt19937 Rng(42);
    for (int K = 0; K < 500; ++K) {
        TZqDatSRow *R = T.NewRow();
        if (Rng() % 10 == 0) R->SetData(0, nullptr, 0); else SetInt(R, 0, int(Rng() % 50) - 25);
        double D = double(Rng() % 40) / 4;
        if (Rng() % 10 == 0) R->SetData(1, nullptr, 0); else R->SetData(1, &D, 8);
        std::string S(1 + Rng() % 3, char('a' + Rng() % 3));
        if (Rng() % 2) S[0] = char(S[0] - 32);
        SetStr(R, 2, S);
        T.Rows()->Add(R);
    }
    struct TCase {
        const char *Columns;
        TZqSortOptions Options;
    };
    const TCase Cases[] = {{"I", 0}, {"I", soDescending}, {"I", soNullLess}, {"I", soNullLess | soDescending},
                           {"I:D", 0}, {"D", 0}, {"D;I", soDescending}, {"S:N;I", 0}, {"S;D:D", soNullLess}};
    for (const TCase &C : Cases) {
        auto *V = TZqDatSView::CreateEx(&T, "V", 0, false);
        TZqDatSMechSort *S = V->Mechanisms()->AddSort(C.Columns, C.Options);
        V->SetActive(true);
        std::vector<TZqDatSRow *> Want(T.Rows()->RowData(), T.Rows()->RowData() + T.Rows()->Count());
        std::stable_sort(Want.begin(), Want.end(), [&](TZqDatSRow *A, TZqDatSRow *B) {
            int R = TZqDatSRow::CompareRows(A, S->GetSortColumns(), S->GetDescendingColumns(), nullptr,
                                            S->CompareOptions(), rvDefault, nullptr, B, -1, S->GetNoCaseColumns());
            return R ? R < 0 : A->RowID() < B->RowID();
        });
        std::vector<TZqDatSRow *> Got(V->Rows()->RowData(), V->Rows()->RowData() + V->Rows()->Count());
        EXPECT_EQ(Got, Want) << C.Columns << " options " << int(C.Options);
        V->Free();
    }
}

namespace {

// The order the plain row comparison gives, row number for ties.
std::vector<TZqDatSRow *> RowComparisonOrder(TZqDatSTable &T, TZqDatSMechSort *S) {
    std::vector<TZqDatSRow *> Want(T.Rows()->RowData(), T.Rows()->RowData() + T.Rows()->Count());
    std::stable_sort(Want.begin(), Want.end(), [&](TZqDatSRow *A, TZqDatSRow *B) {
        int R = TZqDatSRow::CompareRows(A, S->GetSortColumns(), S->GetDescendingColumns(), nullptr,
                                        S->CompareOptions(), rvDefault, nullptr, B, -1, S->GetNoCaseColumns());
        return R ? R < 0 : uint32_t(A->RowID()) < uint32_t(B->RowID());
    });
    return Want;
}

} // namespace

TEST(DatSSortMech, ExtremeKeysSortAsTheyAreSearchedAndInserted) {
    // 64-bit keys at both ends of the range and doubles that differ by
    // less than the comparison's tolerance, each direction: the sorted
    // list, the rows inserted into an active view afterwards and the row
    // comparison agree.
    const int64_t Ints[] = {INT64_MIN, INT64_MIN + 1, INT64_MAX, INT64_MAX - 1, 0, -1, 1};
    const double Nan = std::numeric_limits<double>::quiet_NaN(), Inf = std::numeric_limits<double>::infinity();
    const double Doubles[] = {1.0, 1.0 + 4e-14, 1.0 + 8e-14, 1.0 + 2e-14, -0.0, 0.0, Nan, -Inf, Inf, -2.5, 1e300};
    for (const TZqDataType Type : {dtInt64, dtDouble}) {
        for (const TZqSortOptions Options : {TZqSortOptions(0), TZqSortOptions(soDescending)}) {
            TZqDatSTable T("T");
            T.Columns()->AddColumn("K", Type);
            auto Put = [&](int I) {
                TZqDatSRow *R = T.NewRow();
                if (Type == dtInt64) {
                    int64_t V = Ints[size_t(I) % std::size(Ints)];
                    R->SetData(0, &V, 8);
                } else {
                    double V = Doubles[size_t(I) % std::size(Doubles)];
                    R->SetData(0, &V, 8);
                }
                T.Rows()->Add(R);
            };
            for (int I = 0; I < 90; ++I) Put(I * 5);
            auto *V = TZqDatSView::CreateEx(&T, "V", 0, false);
            TZqDatSMechSort *S = V->Mechanisms()->AddSort("K", Options);
            V->SetActive(true);
            std::vector<TZqDatSRow *> Got(V->Rows()->RowData(), V->Rows()->RowData() + V->Rows()->Count());
            EXPECT_EQ(Got, RowComparisonOrder(T, S)) << "sorted, type " << int(Type) << " options " << int(Options);
            for (int I = 0; I < 12; ++I) Put(I);
            Got.assign(V->Rows()->RowData(), V->Rows()->RowData() + V->Rows()->Count());
            EXPECT_EQ(Got, RowComparisonOrder(T, S)) << "inserted, type " << int(Type) << " options " << int(Options);
            V->Free();
        }
    }
}
