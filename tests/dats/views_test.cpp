// Views: incremental maintenance against an independent rebuild over 10,000
// random row operations, searches with a detached key row, and the view
// edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

struct TExprRegistration {
    TExprRegistration() { RegisterStanExpr(); }
};

class Views : public ::testing::Test {
public:
    static void SetUpTestSuite() { static TExprRegistration Once; }
    void SetUp() override {
        T = new TZqDatSTable("T");
        T->Columns()->AddColumn("K1", dtInt32);
        T->Columns()->AddColumn("K2", dtAnsiString, 8);
        T->Columns()->AddColumn("V", dtDouble);
    }
    void TearDown() override { delete T; }

    std::optional<int> K1(TZqDatSRow *R) {
        if (R->IsNull(0)) return std::nullopt;
        return GetInt(R, 0);
    }
    std::optional<std::string> K2(TZqDatSRow *R) {
        if (R->IsNull(1)) return std::nullopt;
        return GetStr(R, 1);
    }
    TZqDatSRow *Add(std::optional<int> A, std::optional<std::string> B) {
        TZqDatSRow *R = T->NewRow();
        if (A) SetInt(R, 0, *A); else R->SetData(0, nullptr, 0);
        if (B) SetStr(R, 1, *B); else R->SetData(1, nullptr, 0);
        T->Rows()->Add(R);
        return R;
    }
    std::vector<TZqDatSRow *> RowsOf(TZqDatSView *V) {
        std::vector<TZqDatSRow *> R;
        for (int I = 0; I < V->Rows()->Count(); ++I) R.push_back(V->Rows()->GetItem(I));
        return R;
    }
    TZqDatSTable *T;
};

// Three-way order of optional values with NULLs last in either direction.
template <class TV> int Order(const std::optional<TV> &A, const std::optional<TV> &B, bool ADesc) {
    if (A && B) {
        int R = *A < *B ? -1 : (*B < *A ? 1 : 0);
        return ADesc ? -R : R;
    }
    if (A) return -1;
    if (B) return 1;
    return 0;
}

} // namespace

TEST_F(Views, RandomOperationsKeepEveryViewEqualToARebuild) {
    TZqDatSView *Plain = T->GetDefaultView();
    TZqDatSView *ByK1 = T->Select("", "K1");
    TZqDatSView *ByK1Desc = T->Select("", "K1:D");
    auto *ByTwoDesc = TZqDatSView::CreateEx(T, "TWO", 0, false);
    ByTwoDesc->Mechanisms()->AddSort("K2;K1", soDescending);
    ByTwoDesc->Mechanisms()->AddRowState(CDefaultViewRowStates);
    ByTwoDesc->SetActive(true);
    TZqDatSView *Filtered = T->Select("K1 > 10", "");
    TZqDatSView *FilteredSorted = T->Select("K1 > 10", "K2");
    const TZqDatSRowStates Changed = RowStateBit(rsInserted) | RowStateBit(rsModified) | RowStateBit(rsDeleted);
    TZqDatSView *ChangedRows = T->Select("", "", Changed);

    std::mt19937 Rng(20261207);
    auto RandK1 = [&]() -> std::optional<int> {
        if (Rng() % 8 == 0) return std::nullopt;
        return int(Rng() % 21);
    };
    const char *Names[] = {"a", "ab", "b", "B", "ba", "zz"};
    auto RandK2 = [&]() -> std::optional<std::string> {
        if (Rng() % 8 == 0) return std::nullopt;
        return std::string(Names[Rng() % 6]);
    };
    auto Live = [&]() { return T->Rows()->GetItem(int(Rng() % uint32_t(T->Rows()->Count()))); };

    // A snapshot of every row's keys, taken once per step; each view's
    // expected rows come from it by plain filtering and sorting.
    struct TSnap {
        TZqDatSRow *Row;
        std::optional<int> K1;
        std::optional<std::string> K2;
        TZqDatSRowState State;
        uint32_t ID;
    };
    std::vector<TSnap> Snap;
    auto TakeSnapshot = [&] {
        Snap.clear();
        for (int I = 0; I < T->Rows()->Count(); ++I) {
            TZqDatSRow *R = T->Rows()->GetItem(I);
            Snap.push_back({R, K1(R), K2(R), R->RowState(), uint32_t(R->RowID())});
        }
    };
    auto Expected = [&](bool (*Keep)(const TSnap &), int (*Cmp)(const TSnap &, const TSnap &)) {
        std::vector<const TSnap *> E;
        for (const TSnap &X : Snap)
            if (Keep(X)) E.push_back(&X);
        std::sort(E.begin(), E.end(), [&](const TSnap *A, const TSnap *B) {
            int C = Cmp ? Cmp(*A, *B) : 0;
            return C ? C < 0 : A->ID < B->ID;
        });
        std::vector<TZqDatSRow *> Rows;
        for (const TSnap *X : E) Rows.push_back(X->Row);
        return Rows;
    };
    auto Visible = [](const TSnap &X) { return (CDefaultViewRowStates & RowStateBit(X.State)) != 0; };

    for (int Op = 0; Op < 10000; ++Op) {
        int Kind = int(Rng() % 100);
        // About 200 rows: big enough for every case, small enough to check
        // all views after every step.
        int InsertShare = T->Rows()->Count() < 200 ? 30 : 12;
        if (T->Rows()->Count() < 5 || Kind < InsertShare) {
            Add(RandK1(), RandK2());
        } else {
            TZqDatSRow *R = Live();
            TZqDatSRowState S = R->RowState();
            Kind = InsertShare + int(Rng() % uint32_t(100 - InsertShare));
            if (Kind < 55) {
                if (S == rsDeleted) continue;
                R->BeginEdit();
                if (Rng() % 2) { auto A = RandK1(); if (A) SetInt(R, 0, *A); else R->SetData(0, nullptr, 0); }
                if (Rng() % 2) { auto B = RandK2(); if (B) SetStr(R, 1, *B); else R->SetData(1, nullptr, 0); }
                if (Rng() % 5 == 0)
                    R->CancelEdit();
                else
                    R->EndEdit();
            } else if (Kind < 70) {
                if (S == rsDeleted) continue;
                R->Delete();
            } else if (Kind < 85) {
                R->AcceptChanges();
            } else {
                R->RejectChanges();
            }
        }
        TakeSnapshot();
        ASSERT_EQ(RowsOf(Plain), Expected(Visible, nullptr)) << "plain view, op " << Op;
        ASSERT_EQ(RowsOf(ByK1), Expected(Visible, [](const TSnap &A, const TSnap &B) {
                      return Order(A.K1, B.K1, false);
                  })) << "K1 view, op " << Op;
        ASSERT_EQ(RowsOf(ByK1Desc), Expected(Visible, [](const TSnap &A, const TSnap &B) {
                      return Order(A.K1, B.K1, true);
                  })) << "K1 descending view, op " << Op;
        ASSERT_EQ(RowsOf(ByTwoDesc), Expected(Visible, [](const TSnap &A, const TSnap &B) {
                      int C = Order(A.K2, B.K2, true);
                      return C ? C : Order(A.K1, B.K1, true);
                  })) << "two-column descending view, op " << Op;
        ASSERT_EQ(RowsOf(Filtered), Expected([](const TSnap &X) {
                      return (CDefaultViewRowStates & RowStateBit(X.State)) && X.K1 && *X.K1 > 10;
                  }, nullptr)) << "filtered view, op " << Op;
        ASSERT_EQ(RowsOf(FilteredSorted), Expected([](const TSnap &X) {
                      return (CDefaultViewRowStates & RowStateBit(X.State)) && X.K1 && *X.K1 > 10;
                  }, [](const TSnap &A, const TSnap &B) { return Order(A.K2, B.K2, false); }))
            << "filtered sorted view, op " << Op;
        ASSERT_EQ(RowsOf(ChangedRows), Expected([](const TSnap &X) {
                      return X.State == rsInserted || X.State == rsModified || X.State == rsDeleted;
                  }, nullptr)) << "row-state view, op " << Op;
    }
    // A real rebuild agrees too.
    auto Before = RowsOf(ByTwoDesc);
    ByTwoDesc->Rebuild();
    EXPECT_EQ(RowsOf(ByTwoDesc), Before);
}

TEST_F(Views, SearchWithADetachedKeyRowLocatesByValue) {
    for (int I = 0; I < 10; ++I) Add(I % 5, std::string(1, char('a' + I)));
    TZqDatSView *Plain = T->GetDefaultView();
    TZqDatSView *Sorted = T->Select("", "K1");
    TZqDatSRow *Key = T->NewRow();
    SetInt(Key, 0, 3);
    TZqDatSColumnSublist Cols;
    Cols.Parse(T, "K1");
    int Index;
    bool Found;
    EXPECT_EQ(Plain->Search(Key, &Cols, &Cols, 1, 0, Index, Found), 0);
    EXPECT_TRUE(Found);
    EXPECT_EQ(Index, 3); // the first row whose K1 is 3, in table order
    EXPECT_EQ(Sorted->Search(Key, &Cols, &Cols, 1, 0, Index, Found), 0);
    EXPECT_EQ(GetInt(Sorted->Rows()->GetItem(Index), 0), 3);
    EXPECT_EQ(Index, 6); // 0,0,1,1,2,2,3,3: the first 3
    SetInt(Key, 0, 7);
    EXPECT_EQ(Sorted->Search(Key, &Cols, &Cols, 1, srEndPosition, Index, Found), 1);
    EXPECT_FALSE(Found);
    EXPECT_EQ(Index, 10);
    EXPECT_EQ(Plain->Search(Key, &Cols, &Cols, 1, 0, Index, Found), -1);
    // A row of the table is found as itself.
    TZqDatSRow *Own = T->Rows()->GetItem(4);
    EXPECT_EQ(Plain->Search(Own, nullptr, nullptr, -1, 0, Index, Found), 0);
    EXPECT_EQ(Index, 4);
    delete Key;
}

TEST_F(Views, IndexOfOnAUniqueViewAcceptsOnlyTheSameRow) {
    for (int I = 0; I < 6; ++I) Add(I * 10, "x");
    auto *U = TZqDatSView::CreateEx(T, "U", 0, false);
    U->Mechanisms()->AddSort("K1", soUnique);
    U->SetActive(true);
    TZqDatSRow *Third = T->Rows()->GetItem(2);
    EXPECT_EQ(U->IndexOf(Third), 2);
    TZqDatSRow *Twin = T->NewRow();
    SetInt(Twin, 0, 20); // the same key, another row
    EXPECT_EQ(U->IndexOf(Twin), -1);
    delete Twin;
    // After the key changes the row is found where it now stands.
    Third->BeginEdit();
    SetInt(Third, 0, 55);
    Third->EndEdit();
    EXPECT_EQ(U->IndexOf(Third), 5);
}

TEST_F(Views, DescendingSearchAnswersTheInsertionPosition) {
    for (int V : {3, 9, 5, 7}) Add(V, "x");
    TZqDatSView *D = T->Select("", "K1:D");
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(D->SortMech());
    ASSERT_NE(Sort, nullptr);
    // Rows are 9, 7, 5, 3.
    TZqDatSRow *Key = T->NewRow();
    bool Found;
    int Index;
    SetInt(Key, 0, 6);
    Sort->Search(D->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_FALSE(Found);
    EXPECT_EQ(Index, 2);
    SetInt(Key, 0, 8);
    Sort->Search(D->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_EQ(Index, 1);
    SetInt(Key, 0, 7);
    Sort->Search(D->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_TRUE(Found);
    EXPECT_EQ(Index, 1);
    // Appending a row places it after the equal key.
    TZqDatSRow *Seven = Add(7, "y");
    EXPECT_EQ(D->Rows()->GetItem(2), Seven);
    delete Key;
}

TEST_F(Views, SearchWithSrLastOnAscendingKeys) {
    for (int V : {1, 2, 2, 2, 5}) Add(V, "x");
    TZqDatSView *A = T->Select("", "K1");
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(A->SortMech());
    TZqDatSRow *Key = T->NewRow();
    bool Found;
    int Index;
    SetInt(Key, 0, 2);
    Sort->Search(A->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_TRUE(Found);
    EXPECT_EQ(Index, 3);
    Sort->Search(A->Rows(), Key, rvDefault, Found, Index, 0, -1, nullptr, nullptr);
    EXPECT_EQ(Index, 1);
    SetInt(Key, 0, 9);
    Sort->Search(A->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_EQ(Index, 5);
    SetInt(Key, 0, 0);
    Sort->Search(A->Rows(), Key, rvDefault, Found, Index, srLast, -1, nullptr, nullptr);
    EXPECT_EQ(Index, -1);
    delete Key;
}

TEST_F(Views, RowNumberSortAndUniqueDuplicates) {
    Add(2, "b");
    Add(1, "a");
    Add(2, "c");
    TZqDatSView *ByNumber = T->Select("", "#");
    EXPECT_EQ(GetStr(ByNumber->Rows()->GetItem(0), 1), "b");
    EXPECT_EQ(ByNumber->GetSortKeyCount(), 0);
    TZqDatSView *Equal = T->Select("", "K1");
    EXPECT_EQ(GetStr(Equal->Rows()->GetItem(1), 1), "b"); // equal keys keep insertion order
    EXPECT_EQ(GetStr(Equal->Rows()->GetItem(2), 1), "c");
    auto *U = TZqDatSView::CreateEx(T, "U", 0, false);
    U->Mechanisms()->AddSort("K1", soUnique);
    EXPECT_EQ(ErrorCodeOf([&] { U->SetActive(true); }), 15);
}

TEST_F(Views, ViewNamesDefaultViewAndDeletedRows) {
    TZqDatSRow *R = Add(1, "a");
    Add(2, "b");
    R->AcceptChanges();
    EXPECT_EQ(T->GetDefaultView(), T->GetDefaultView());
    EXPECT_EQ(T->GetDefaultView()->Name(), "_Zq_ZqF");
    EXPECT_EQ(T->Select("", "")->Name(), "_Zq_SEL");
    EXPECT_EQ(T->Select("", "")->Name(), "_Zq_SEL_1");
    TZqDatSView *V = T->GetDefaultView();
    R->Delete();
    EXPECT_EQ(V->Rows()->Count(), 1);
    R->RejectChanges();
    EXPECT_EQ(V->Rows()->GetItem(0), R); // back in table order
}

TEST_F(Views, FilterRejectionIsAnnouncedToViewsBuiltOnTheView) {
    TZqDatSRow *R = Add(20, "a");
    TZqDatSView *F = T->Select("K1 > 10", "");
    auto *Child = TZqDatSView::CreateEx(T, "CHILD", 0, false);
    Child->SetSourceView(F);
    Child->Mechanisms()->AddSort("K2");
    Child->SetActive(true);
    EXPECT_EQ(Child->Rows()->Count(), 1);
    R->BeginEdit();
    SetInt(R, 0, 5);
    R->EndEdit();
    EXPECT_EQ(F->Rows()->Count(), 0);
    EXPECT_EQ(Child->Rows()->Count(), 0);
    R->BeginEdit();
    SetInt(R, 0, 15);
    R->EndEdit();
    EXPECT_EQ(Child->Rows()->Count(), 1);
}

// A row edited in place in an unsorted view keeps its position there, but
// a view built on that view may judge it anew.
TEST_F(Views, InPlaceEditInAnUnsortedViewReachesViewsBuiltOnIt) {
    TZqDatSRow *R = Add(20, "a");
    TZqDatSView *F = T->Select("K1 > 10", "");
    auto *Child = TZqDatSView::CreateEx(T, "CHILD", 0, false);
    Child->SetSourceView(F);
    Child->Mechanisms()->AddFilter("K2 = 'b'");
    Child->SetActive(true);
    EXPECT_EQ(Child->Rows()->Count(), 0);
    R->BeginEdit();
    SetStr(R, 1, "b");
    R->EndEdit();
    EXPECT_EQ(F->Rows()->Count(), 1);
    EXPECT_EQ(Child->Rows()->Count(), 1);
    R->BeginEdit();
    SetStr(R, 1, "c");
    R->EndEdit();
    EXPECT_EQ(Child->Rows()->Count(), 0);
}

TEST_F(Views, SourceViewIsMovedInFrontAndViewsSleepWhileInactive) {
    Add(1, "a");
    TZqDatSView *A = T->Select("", "");
    TZqDatSView *B = T->Select("", "K1");
    A->SetSourceView(B);
    EXPECT_FALSE(A->Active());
    EXPECT_LT(T->Views()->IndexOf(B), T->Views()->IndexOf(A));
    T->Views()->SetViewsActive(false);
    Add(2, "b");
    EXPECT_FALSE(B->IsValid());
    EXPECT_EQ(B->Rows()->Count(), 0);
    T->Views()->SetViewsActive(true);
    EXPECT_EQ(B->Rows()->Count(), 2);
}

TEST_F(Views, FindSortedViewPassesViewsWithMoreMechanisms) {
    Add(1, "a");
    auto *Only = TZqDatSView::CreateEx(T, "ONLY", 0, false);
    Only->Mechanisms()->AddSort("K1;K2");
    Only->SetActive(true);
    EXPECT_EQ(T->Views()->FindSortedView("K1", 0, 0), Only);
    Only->Mechanisms()->AddSort("K2");
    EXPECT_EQ(T->Views()->FindSortedView("K1", 0, 0), nullptr);
}

TEST_F(Views, ChangingAFilterSwitchesItOffUntilSwitchedOn) {
    Add(20, "a");
    Add(5, "b");
    TZqDatSView *V = T->Select("K1 > 10", "");
    EXPECT_EQ(V->Rows()->Count(), 1);
    auto *F = static_cast<TZqDatSMechFilter *>(V->FindMechanism(typeid(TZqDatSMechFilter), 0));
    F->SetExpression("K1 < 10");
    EXPECT_FALSE(F->Active());
    EXPECT_EQ(V->Rows()->Count(), 2);
    F->SetActive(true);
    ASSERT_EQ(V->Rows()->Count(), 1);
    EXPECT_EQ(GetInt(V->Rows()->GetItem(0), 0), 5);
    EXPECT_EQ(V->GetRowFilter(), "K1 < 10");
}

TEST_F(Views, RangeKeepsRowsBetweenItsKeys) {
    for (int I = 1; I <= 5; ++I) Add(I, std::string(1, char('A' + I - 1)));
    TZqDatSView *V = T->Select("", "K2");
    TZqDatSRow *Top = T->NewRow(), *Bottom = T->NewRow();
    SetStr(Top, 1, "B");
    SetStr(Bottom, 1, "D");
    auto *R = new TZqDatSMechRange();
    R->SetTop(Top);
    R->SetBottom(Bottom);
    R->SetTopExclusive(true);
    TZqDatSColumnSublist KeyCols;
    KeyCols.Parse(T, "K2");
    R->SetTopColumns(&KeyCols);
    R->SetBottomColumns(&KeyCols);
    V->Mechanisms()->AddMech(R);
    R->SetActive(true);
    ASSERT_EQ(V->Rows()->Count(), 2);
    EXPECT_EQ(GetStr(V->Rows()->GetItem(0), 1), "C");
    EXPECT_EQ(GetStr(V->Rows()->GetItem(1), 1), "D");
    V->Mechanisms()->Clear();
    delete Top;
    delete Bottom;
}
