// Tables around the core: calculated and default columns, nested rows, the
// row dump, layouts that outlive their structure, aggregate slots of a row
// list, sorting doubles with NaN, and stale position hints.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {
struct TExprRegistration {
    TExprRegistration() { RegisterStanExpr(); }
};
void NeedExpressions() { static TExprRegistration Once; }
} // namespace

TEST(DatSTableMisc, CalculatedColumnsFollowTheirInputs) {
    NeedExpressions();
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    T.Columns()->AddColumn("B", dtInt32);
    TZqDatSColumn *Sum = T.Columns()->AddColumn("S", dtInt32);
    Sum->SetExpression("A + B");
    EXPECT_TRUE(HasAttr(Sum->Attributes(), caCalculated));
    EXPECT_TRUE(Sum->GetReadOnly());
    TZqDatSRow *R = T.NewRow();
    SetInt(R, 0, 2);
    SetInt(R, 1, 3);
    T.Rows()->Add(R);
    EXPECT_EQ(GetInt(R, 2), 5);
    R->BeginEdit();
    SetInt(R, 1, 10);
    EXPECT_EQ(ErrorCodeOf([&] { SetInt(R, 2, 1); }), 12);
    R->EndEdit();
    EXPECT_EQ(GetInt(R, 2), 12);
    // A view sorted by the calculated column sees the computed value.
    TZqDatSRow *R2 = T.NewRow();
    SetInt(R2, 0, 1);
    SetInt(R2, 1, 1);
    T.Rows()->Add(R2);
    TZqDatSView *V = T.Select("", "S");
    EXPECT_EQ(V->Rows()->GetItem(0), R2);
    R2->BeginEdit();
    SetInt(R2, 0, 100);
    R2->EndEdit();
    EXPECT_EQ(V->Rows()->GetItem(1), R2);
}

TEST(DatSTableMisc, BoundColumnsWithAnExpressionGetDefaults) {
    NeedExpressions();
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    TZqDatSColumn *D = T.Columns()->AddColumn("D", dtInt32);
    D->SetSourceID(2);
    D->SetExpression("7 * 6");
    EXPECT_FALSE(HasAttr(D->Attributes(), caCalculated));
    TZqDatSRow *R = T.NewRow();
    EXPECT_EQ(GetInt(R, 1), 42);
    EXPECT_EQ(R->RowState(), rsDetached);
    SetInt(R, 1, 1); // a default can be overwritten
    EXPECT_EQ(GetInt(R, 1), 1);
    delete R;
}

TEST(DatSTableMisc, ExpressionSortAndBadExpressions) {
    NeedExpressions();
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    for (int V : {3, -5, 1}) {
        TZqDatSRow *R = T.NewRow();
        SetInt(R, 0, V);
        T.Rows()->Add(R);
    }
    auto *View = TZqDatSView::CreateEx(&T, "E", 0, false);
    View->Mechanisms()->AddSortExpression("A * A");
    View->SetActive(true);
    EXPECT_EQ(GetInt(View->Rows()->GetItem(0), 0), 1);
    EXPECT_EQ(GetInt(View->Rows()->GetItem(2), 0), -5);
    EXPECT_EQ(View->GetSortKeyCount(), 1);
    EXPECT_NE(ErrorCodeOf([&] { T.Select("A >", ""); }), 0);
    EXPECT_EQ(T.Views()->Count(), 1); // the failed view is not left behind
}

TEST(DatSTableMisc, NestedRowsLinkUnderTheirParent) {
    TZqDatSManager M;
    TZqDatSTable *P, *C;
    MakeNestedTables(M, dtRowSetRef, P, C);
    EXPECT_EQ(P->Columns()->GetItem(0)->GetNestedTable(), C);
    EXPECT_EQ(C->Columns()->GetItem(1)->GetParentColumn(), P->Columns()->GetItem(0));
    TZqDatSRow *Parent = P->NewRow();
    TZqDatSRow *Child = C->NewRow();
    Child->SetParentRow(Parent);
    EXPECT_EQ(Child->GetParentRow(), Parent);
    ASSERT_EQ(Parent->GetNestedRows(0)->Count(), 1);
    EXPECT_EQ(Parent->GetNestedRows(0)->GetItem(0), Child);
    TZqDatSRow *Other = P->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { Child->SetParentRow(Other); }), 23);
    Child->SetParentRow(nullptr);
    EXPECT_EQ(Parent->GetNestedRows(0)->Count(), 0);
    EXPECT_EQ(ErrorCodeOf([&] { Parent->SetParentRow(Child); }), 24);
    Child->SetParentRow(Other);
    // A detached child goes with its parent (ASan tells a leak or a
    // second free).
    delete Other;
    delete Parent;
}

TEST(DatSTableMisc, NestedRowsEnterAndLeaveWithTheirParent) {
    TZqDatSManager M;
    TZqDatSTable *P, *C;
    MakeNestedTables(M, dtRowSetRef, P, C);
    TZqDatSRow *Parent = P->NewRow();
    TZqDatSRow *Kid = C->NewRow();
    SetInt(Kid, 0, 1);
    Kid->SetParentRow(Parent);
    // A nested row cannot enter its table without a live parent.
    TZqDatSRow *Orphan = C->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { C->Rows()->Add(Orphan); }), 13);
    delete Orphan;
    P->Rows()->Add(Parent);
    EXPECT_EQ(C->Rows()->Count(), 1);
    EXPECT_EQ(Kid->RowState(), rsInserted);
    Parent->AcceptChanges();
    EXPECT_EQ(Kid->RowState(), rsUnchanged);
    Parent->Delete();
    EXPECT_EQ(Kid->RowState(), rsDeleted);
    Parent->AcceptChanges(); // the parent goes, and its child with it
    EXPECT_EQ(P->Rows()->Count(), 0);
    EXPECT_EQ(C->Rows()->Count(), 0);
}

TEST(DatSTableMisc, DumpShowsNamesValuesAndNulls) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("ID", dtInt32);
    T.Columns()->AddColumn("NAME", dtAnsiString, 10);
    TZqDatSRow *R = T.NewRow();
    SetInt(R, 0, 7);
    R->SetData(1, nullptr, 0);
    std::string S;
    R->DumpRow(true, rvDefault, S);
    EXPECT_EQ(S, "T: ID: 7; NAME: <null>");
    S.clear();
    R->DumpRow(false, rvDefault, S);
    EXPECT_EQ(S, "7; <null>");
    T.Rows()->Add(R);
    TZqDatSRow *R2 = T.NewRow();
    SetInt(R2, 0, 8);
    SetStr(R2, 1, "x");
    T.Rows()->Add(R2);
    EXPECT_EQ(T.Rows()->ColumnText("NAME", ",", "-"), "-,x");
}

TEST(DatSTableMisc, ADetachedRowOutlivesTheStructureItWasMadeFor) {
    auto *T = new TZqDatSTable("T");
    T->Columns()->AddColumn("S", dtMemo);
    TZqDatSRow *Kept = T->NewRow();
    SetStr(Kept, 0, "long text kept out of line");
    T->Reset(); // columns gone, layout reset under a live row
    EXPECT_EQ(T->Columns()->Count(), 0);
    T->Columns()->AddColumn("I", dtInt32);
    TZqDatSRow *Fresh = T->NewRow();
    SetInt(Fresh, 0, 1);
    EXPECT_NE(Fresh->Layout(), Kept->Layout());
    EXPECT_EQ(GetStr(Kept, 0), "long text kept out of line");
    delete T; // the kept row still owns its layout and blob
    delete Kept;
    delete Fresh;
}

TEST(DatSTableMisc, AggregateSlotsOfARowList) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    for (int I = 0; I < 3; ++I) T.Rows()->Add(T.NewRow());
    TZqDatSView *V = T.GetDefaultView();
    TZqDatSViewRowList *L = V->Rows();
    int Slots[64];
    for (int I = 0; I < 64; ++I) Slots[I] = L->TakeSlot();
    EXPECT_EQ(Slots[63], 63);
    EXPECT_EQ(ErrorCodeOf([&] { L->TakeSlot(); }), 30);
    auto *Val = new TZqDatSAggregateValue();
    L->SetValue(1, 5, Val);
    EXPECT_EQ(Val->RefCount(), 2);
    EXPECT_EQ(L->GetValue(1, 5), Val);
    int S5 = 5;
    L->FreeSlot(S5);
    EXPECT_EQ(S5, -1);
    EXPECT_EQ(Val->RefCount(), 1);
    EXPECT_EQ(L->TakeSlot(), 5);
    // A row added to the view gets its own empty array.
    T.Rows()->Add(T.NewRow());
    EXPECT_EQ(L->GetValue(3, 0), nullptr);
    Val->Release();
}

TEST(DatSTableMisc, NaNSortsAfterNumbersAndBeforeNulls) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("D", dtDouble);
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    double Values[] = {3, NaN, -1, NaN, 2, 0.5, NaN, 7};
    for (double D : Values) {
        TZqDatSRow *R = T.NewRow();
        R->SetData(0, &D, 8);
        T.Rows()->Add(R);
    }
    TZqDatSRow *Null = T.NewRow();
    Null->SetData(0, nullptr, 0);
    T.Rows()->Add(Null);
    TZqDatSView *V = T.Select("", "D");
    ASSERT_EQ(V->Rows()->Count(), 9);
    std::vector<double> Got;
    for (int I = 0; I < 8; ++I) {
        void *P;
        uint32_t L;
        ASSERT_TRUE(V->Rows()->GetItem(I)->GetData(0, rvDefault, P, 0, L, false));
        double D;
        std::memcpy(&D, P, 8);
        Got.push_back(D);
    }
    EXPECT_EQ(Got[0], -1);
    EXPECT_EQ(Got[4], 7);
    for (int I = 5; I < 8; ++I) EXPECT_TRUE(std::isnan(Got[size_t(I)]));
    EXPECT_EQ(V->Rows()->GetItem(8), Null);
}

TEST(DatSTableMisc, AStalePositionHintIsIgnored) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    for (int I = 0; I < 4; ++I) {
        TZqDatSRow *R = T.NewRow();
        SetInt(R, 0, I);
        T.Rows()->Add(R);
    }
    TZqDatSView *V = T.Select("", "I");
    TZqDatSRow *R = T.Rows()->GetItem(1);
    V->SetPositionHint(1000);
    R->BeginEdit();
    SetInt(R, 0, 10);
    R->EndEdit();
    EXPECT_EQ(V->Rows()->GetItem(3), R);
    V->SetPositionHint(0); // in range but another row
    R->BeginEdit();
    SetInt(R, 0, -1);
    R->EndEdit();
    EXPECT_EQ(V->Rows()->GetItem(0), R);
    EXPECT_EQ(V->Rows()->Count(), 4);
}

TEST(DatSTableMisc, UpdateLockDropsNotificationsOnTheWayUp) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    TZqDatSView *V = T.GetDefaultView();
    T.BeginUpdate();
    T.Rows()->Add(T.NewRow());
    EXPECT_EQ(V->Rows()->Count(), 0);
    T.EndUpdate();
    V->Rebuild();
    EXPECT_EQ(V->Rows()->Count(), 1);
}

TEST(DatSTableMisc, TeardownInAnyOrderLeavesNothingBehind) {
    // ASan reports any use after free or leak of these sequences.
    {
        auto *M = new TZqDatSManager();
        for (const char *N : {"A", "B"}) {
            TZqDatSTable *T = M->Tables()->AddTable(N);
            T->Columns()->AddColumn("I", dtInt32);
            T->Columns()->AddColumn("M", dtMemo);
        }
        M->SetUpdatesRegistry(true);
        for (int K = 0; K < 3; ++K)
            for (int I = 0; I < M->Tables()->Count(); ++I) {
                TZqDatSTable *T = M->Tables()->GetItem(I);
                TZqDatSRow *R = T->NewRow();
                SetInt(R, 0, K);
                SetStr(R, 1, "memo text");
                T->Rows()->Add(R);
                T->Select("", "I");
            }
        EXPECT_EQ(M->Journal()->FirstChange()->Table()->Name(), "A");
        delete M; // rows linked into the shared journal go first
    }
    {
        TZqDatSTable T("T");
        T.Columns()->AddColumn("I", dtInt32);
        TZqDatSView *A = T.Select("", "I");
        auto *B = TZqDatSView::CreateEx(&T, "B", 0, false);
        B->SetSourceView(A);
        B->SetActive(true);
        TZqDatSRow *R = T.NewRow();
        SetInt(R, 0, 1);
        T.Rows()->Add(R);
        EXPECT_EQ(B->Rows()->Count(), 1);
        A->Free();
        EXPECT_EQ(B->SourceView(), nullptr);
        B->SetActive(true);
        EXPECT_EQ(B->Rows()->Count(), 1);
        T.Views()->Clear();
        T.Rows()->Add(T.NewRow());
    }
    {
        auto *T = new TZqDatSTable("T");
        T->Columns()->AddColumn("I", dtInt32);
        T->CountRef(1);
        TZqDatSView *V = T->GetDefaultView();
        V->CountRef(1);
        V->Release(); // the view leaves its table's list and goes
        EXPECT_EQ(T->Views()->Count(), 0);
        EXPECT_EQ(T->DefaultView(), nullptr);
        T->Release();
    }
}
