// Grouped aggregates kept current incrementally, checked against a
// recomputation from the view's rows after every step.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "dataaccess/dats/qxZqDatSAggregates.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

class Aggregates : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterStanExpr();
        T.Columns()->AddColumn("G", dtInt32);
        T.Columns()->AddColumn("X", dtInt32);
        V = TZqDatSView::CreateForTable(&T, "", "G", 0);
    }
    TZqDatSRow *Add(int G, int X, bool XNull = false) {
        TZqDatSRow *R = T.NewRow();
        SetInt(R, 0, G);
        if (!XNull) SetInt(R, 1, X);
        T.Rows()->Add(R);
        return R;
    }
    rtl::Variant Value(TZqDatSAggregate *A, int I) {
        rtl::Variant R;
        A->GetValue(I, R);
        return R;
    }
    TZqDatSTable T;
    TZqDatSView *V = nullptr;
};

TEST_F(Aggregates, AvgOverTwoNullFourThenRemovals) {
    TZqDatSAggregate *A = V->Aggregates()->AddAggregate("A", "AVG(X)", 0);
    TZqDatSAggregate *N = V->Aggregates()->AddAggregate("N", "COUNT(X)", 0);
    TZqDatSAggregate *S = V->Aggregates()->AddAggregate("S", "SUM(X)", 0);
    TZqDatSRow *Two = Add(1, 2);
    TZqDatSRow *Null = Add(1, 0, true);
    TZqDatSRow *Four = Add(1, 4);
    EXPECT_DOUBLE_EQ(Value(A, 0).AsDouble(), 3.0);
    EXPECT_EQ(Value(N, 2).AsInteger(), 2);
    Two->Delete();
    EXPECT_DOUBLE_EQ(Value(A, 0).AsDouble(), 4.0);
    Null->Delete(); // a NULL argument leaves the count alone
    EXPECT_EQ(Value(N, 0).AsInteger(), 1);
    Add(1, 0, true);
    Four->Delete();
    EXPECT_TRUE(Value(A, 0).IsNull());
    EXPECT_TRUE(Value(N, 0).IsNull());
    EXPECT_TRUE(Value(S, 0).IsNull()); // as a recomputation gives: no values, no sum
}

TEST_F(Aggregates, MinFoundAgainAfterItsRowLeaves) {
    TZqDatSAggregate *Mi = V->Aggregates()->AddAggregate("MI", "MIN(X)", 1);
    Add(1, 5);
    TZqDatSRow *Low = Add(1, 1);
    Add(1, 3);
    Add(2, 0);
    EXPECT_EQ(Value(Mi, 0).AsInteger(), 1);
    Low->Delete();
    EXPECT_EQ(Value(Mi, 0).AsInteger(), 3);
    EXPECT_EQ(Value(Mi, 2).AsInteger(), 0);
}

TEST_F(Aggregates, GroupingDeeperThanTheSortRaises31AndExpressionChangeSwitchesOff) {
    Add(1, 1);
    EXPECT_EQ(ErrorCodeOf([&] { V->Aggregates()->AddAggregate("BAD", "SUM(X)", 2); }), 31);
    // The refused aggregate is not kept, and its name is free again.
    EXPECT_EQ(V->Aggregates()->Count(), 0);
    EXPECT_EQ(V->Aggregates()->AddAggregate("BAD", "SUM(X)", 1)->Name(), "BAD");
    V->Aggregates()->Clear();
    TZqDatSAggregate *S = V->Aggregates()->AddAggregate("S", "SUM(X)", 1);
    EXPECT_EQ(Value(S, 0).AsInteger(), 1);
    S->SetExpression("SUM(X) + 1");
    EXPECT_FALSE(S->Active());
    EXPECT_TRUE(Value(S, 0).IsEmpty());
    S->SetActive(true);
    EXPECT_EQ(Value(S, 0).AsInteger(), 2);
}

TEST_F(Aggregates, OneAggregateReadsAnotherThroughTheDataSource) {
    V->Aggregates()->AddAggregate("TOT", "SUM(X)", 0);
    TZqDatSAggregate *R = V->Aggregates()->AddAggregate("R", "TOT * 2 + COUNT(X)", 0);
    Add(1, 3);
    Add(2, 4);
    EXPECT_EQ(Value(R, 1).AsInteger(), 16);
    TZqIntfPtr<TZqDatSAggregateExpressionDS> DS(new TZqDatSAggregateExpressionDS(V, R));
    EXPECT_EQ(DS->GetVarIndex("X"), 1);
    EXPECT_EQ(DS->GetVarIndex("tot"), 2);
    EXPECT_EQ(DS->GetVarIndex("NONE"), -1);
    EXPECT_EQ(DS->GetVarScope(2), ckAggregate);
    EXPECT_EQ(DS->GetVarScope(0), ckField);
    DS->PointAt(1);
    EXPECT_EQ(DS->GetRowNum(), 2);
    rtl::Variant Tot;
    DS->GetVarData(2, Tot);
    EXPECT_EQ(Tot.AsInteger(), 7);
}

TEST_F(Aggregates, RowsLeavingAFilteredViewTakeTheirShareAlong) {
    TZqDatSView *F = TZqDatSView::CreateForTable(&T, "X < 10", "G", 0);
    TZqDatSAggregate *S = F->Aggregates()->AddAggregate("S", "SUM(X)", 1);
    TZqDatSRow *R = Add(1, 4);
    Add(1, 5);
    EXPECT_EQ(Value(S, 0).AsInteger(), 9);
    R->BeginEdit();
    SetInt(R, 1, 40); // out of the view
    R->EndEdit();
    ASSERT_EQ(F->Rows()->Count(), 1);
    EXPECT_EQ(Value(S, 0).AsInteger(), 5);
    R->BeginEdit();
    SetInt(R, 1, 3); // back, into the same group
    R->EndEdit();
    EXPECT_EQ(Value(S, 1).AsInteger(), 8);
}

// What each function gives over the group's X values in view order.
struct TExpected {
    rtl::Variant Sum = rtl::Variant::Null(), Avg = rtl::Variant::Null(), Count = rtl::Variant::Null();
    rtl::Variant Min = rtl::Variant::Null(), Max = rtl::Variant::Null(), First = rtl::Variant::Null(),
                 Last = rtl::Variant::Null();
};

void ExpectSame(const rtl::Variant &Got, const rtl::Variant &Want, const char *What, int Step, int Row) {
    if (Want.IsNull()) {
        EXPECT_TRUE(Got.IsNull()) << What << " step " << Step << " row " << Row << " got " << Got.AsString();
        return;
    }
    ASSERT_FALSE(Got.IsClear()) << What << " step " << Step << " row " << Row;
    EXPECT_NEAR(Got.AsDouble(), Want.AsDouble(), 1e-9) << What << " step " << Step << " row " << Row;
}

TEST_F(Aggregates, IncrementalValuesEqualARecomputeAfterEveryRandomStep) {
    TZqDatSAggregateList *L = V->Aggregates();
    TZqDatSAggregate *S = L->AddAggregate("S", "SUM(X)", 1);
    TZqDatSAggregate *A = L->AddAggregate("A", "AVG(X)", 1);
    TZqDatSAggregate *N = L->AddAggregate("N", "COUNT(X)", 1);
    TZqDatSAggregate *Mi = L->AddAggregate("MI", "MIN(X)", 1);
    TZqDatSAggregate *Ma = L->AddAggregate("MA", "MAX(X)", 1);
    TZqDatSAggregate *F = L->AddAggregate("F", "TFIRST(X)", 1);
    TZqDatSAggregate *La = L->AddAggregate("LA", "TLAST(X)", 1);
    TZqDatSAggregate *All = L->AddAggregate("ALL", "SUM(X)", 0);
    std::mt19937 Rng(20261207);
    auto Pick = [&](int N) { return int(Rng() % uint32_t(N)); };
    for (int Step = 0; Step < 400; ++Step) {
        int Live = V->Rows()->Count();
        int Op = Live < 3 ? 0 : Pick(10);
        if (Op < 4) {
            Add(Pick(5), Pick(21) - 10, Pick(5) == 0);
        } else if (Op < 8) {
            TZqDatSRow *R = V->Rows()->GetItem(Pick(Live));
            R->BeginEdit();
            if (Pick(2)) SetInt(R, 0, Pick(5));
            if (Pick(4) == 0)
                R->SetDataFromVariant(1, rtl::Variant::Null());
            else if (Pick(2))
                SetInt(R, 1, Pick(21) - 10);
            R->EndEdit();
        } else if (Op < 9) {
            TZqDatSRow *R = V->Rows()->GetItem(Pick(Live));
            if (Pick(2)) R->AcceptChanges();
            R->Delete();
        } else {
            V->Rows()->GetItem(Pick(Live))->AcceptChanges();
        }
        // Second route: group the view's rows by G in view order.
        std::map<int, TExpected> Want;
        std::map<int, int> Counts;
        TExpected Whole;
        for (int I = 0; I < V->Rows()->Count(); ++I) {
            TZqDatSRow *R = V->Rows()->GetItem(I);
            TExpected &E = Want[GetInt(R, 0)];
            if (R->IsNull(1)) continue;
            int X = GetInt(R, 1);
            int &C = Counts[GetInt(R, 0)];
            ++C;
            E.Sum = rtl::Variant((E.Sum.IsNull() ? 0 : E.Sum.AsInteger()) + X);
            E.Count = rtl::Variant(C);
            E.Avg = rtl::Variant(E.Sum.AsDouble() / C);
            if (E.Min.IsNull() || X < E.Min.AsInteger()) E.Min = rtl::Variant(X);
            if (E.Max.IsNull() || X > E.Max.AsInteger()) E.Max = rtl::Variant(X);
            if (E.First.IsNull()) E.First = rtl::Variant(X);
            E.Last = rtl::Variant(X);
            Whole.Sum = rtl::Variant((Whole.Sum.IsNull() ? 0 : Whole.Sum.AsInteger()) + X);
        }
        for (int I = 0; I < V->Rows()->Count(); ++I) {
            const TExpected &E = Want[GetInt(V->Rows()->GetItem(I), 0)];
            ExpectSame(Value(S, I), E.Sum, "SUM", Step, I);
            ExpectSame(Value(A, I), E.Avg, "AVG", Step, I);
            ExpectSame(Value(N, I), E.Count, "COUNT", Step, I);
            ExpectSame(Value(Mi, I), E.Min, "MIN", Step, I);
            ExpectSame(Value(Ma, I), E.Max, "MAX", Step, I);
            ExpectSame(Value(F, I), E.First, "TFIRST", Step, I);
            ExpectSame(Value(La, I), E.Last, "TLAST", Step, I);
            ExpectSame(Value(All, I), Whole.Sum, "SUM all", Step, I);
        }
        if (HasFailure()) return;
    }
}

} // namespace
