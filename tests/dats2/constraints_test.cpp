// Unique, foreign-key and check constraints, and relation checks.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSConstraints.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterStanExpr();
        P = M.Tables()->AddTable("P");
        P->Columns()->AddColumn("ID", dtInt32);
        C = M.Tables()->AddTable("C");
        C->Columns()->AddColumn("CID", dtInt32);
        C->Columns()->AddColumn("PID", dtInt32);
        ZqAddUnique(P->Constraints(), "PK", "ID", true);
        FK = ZqAddForeignKey(C->Constraints(), "FK", "PID", P, "ID");
    }
    TZqDatSRow *AddP(int Id) {
        TZqDatSRow *R = P->NewRow();
        SetInt(R, 0, Id);
        AddOrFree(P, R);
        return R;
    }
    TZqDatSRow *AddC(int Id, int Pid) {
        TZqDatSRow *R = C->NewRow();
        SetInt(R, 0, Id);
        SetInt(R, 1, Pid);
        AddOrFree(C, R);
        return R;
    }
    // A refused row stays the caller's.
    static void AddOrFree(TZqDatSTable *T, TZqDatSRow *R) {
        try {
            T->Rows()->Add(R);
        } catch (...) {
            R->Free();
            throw;
        }
    }
    int LiveChildren(int Pid) {
        int N = 0;
        for (int I = 0; I < C->Rows()->Count(); ++I) {
            TZqDatSRow *R = C->Rows()->GetItem(I);
            if (R->RowState() != rsDeleted && !R->IsNull(1) && GetInt(R, 1) == Pid) ++N;
        }
        return N;
    }
    TZqDatSManager M;
    TZqDatSTable *P = nullptr, *C = nullptr;
    TZqDatSForeignKeyConstraint *FK = nullptr;
};

TEST_F(Keys, DuplicateKeyRaises15AndADeletedKeyMayComeBack) {
    TZqDatSRow *A = AddP(1);
    AddP(2);
    EXPECT_EQ(ErrorCodeOf([&] { AddP(1); }), 15);
    A->AcceptChanges();
    A->Delete();
    EXPECT_EQ(A->RowState(), rsDeleted);
    EXPECT_EQ(ErrorCodeOf([&] { AddP(1); }), 0);
}

TEST_F(Keys, EditingIntoAnotherRowsKeyRaises15) {
    AddP(1);
    TZqDatSRow *B = AddP(2);
    B->BeginEdit();
    SetInt(B, 0, 1);
    EXPECT_EQ(ErrorCodeOf([&] { B->EndEdit(); }), 15);
}

TEST_F(Keys, ChildWithoutParentRaises16UnlessKeyIncompleteAndAllowed) {
    AddP(1);
    EXPECT_EQ(ErrorCodeOf([&] { AddC(10, 1); }), 0);
    EXPECT_EQ(ErrorCodeOf([&] { AddC(11, 7); }), 16);
    FK->SetCompleteKeysOnly(true);
    TZqDatSRow *R = C->NewRow();
    SetInt(R, 0, 12);
    EXPECT_EQ(ErrorCodeOf([&] { C->Rows()->Add(R); }), 0);
}

TEST_F(Keys, RestrictDeleteRaises17UntilChildrenAreDeleted) {
    TZqDatSRow *Par = AddP(1);
    TZqDatSRow *Kid = AddC(10, 1);
    Par->AcceptChanges();
    Kid->AcceptChanges();
    FK->SetDeleteRule(1);
    EXPECT_EQ(ErrorCodeOf([&] { Par->Delete(); }), 17);
    Kid->Delete();
    EXPECT_EQ(ErrorCodeOf([&] { Par->Delete(); }), 0);
}

TEST_F(Keys, RestrictUpdateRaisesOnlyWhenTheKeyReallyChanges) {
    TZqDatSRow *Par = AddP(1);
    AddC(10, 1);
    FK->SetUpdateRule(1);
    Par->BeginEdit();
    SetInt(Par, 0, 1);
    EXPECT_EQ(ErrorCodeOf([&] { Par->EndEdit(); }), 0);
    Par->BeginEdit();
    SetInt(Par, 0, 5);
    EXPECT_EQ(ErrorCodeOf([&] { Par->EndEdit(); }), 17);
}

TEST_F(Keys, CascadeUpdateThenDeleteFollowsTheLastPostedKey) {
    TZqDatSRow *Par = AddP(1);
    AddC(10, 1);
    AddC(11, 1);
    Par->AcceptChanges();
    Par->BeginEdit();
    SetInt(Par, 0, 2);
    Par->EndEdit();
    EXPECT_EQ(LiveChildren(2), 2);
    Par->BeginEdit();
    SetInt(Par, 0, 3);
    Par->EndEdit();
    EXPECT_EQ(LiveChildren(3), 2);
    Par->Delete(); // re-keyed twice: its children carry 3, not the loaded 1
    EXPECT_EQ(LiveChildren(3), 0);
    EXPECT_EQ(LiveChildren(1), 0);
}

TEST_F(Keys, SetNullRuleClearsTheChildrensKeys) {
    TZqDatSRow *Par = AddP(1);
    TZqDatSRow *Kid = AddC(10, 1);
    AddC(11, 2 - 1);
    Par->AcceptChanges();
    FK->SetDeleteRule(2);
    Par->Delete();
    EXPECT_TRUE(Kid->IsNull(1));
    EXPECT_EQ(LiveChildren(1), 0);
    EXPECT_EQ(C->Rows()->Count(), 2);
}

TEST_F(Keys, DeleteWithChildrenOfTheSameTableCascadesDownAndDetectsALoop) {
    TZqDatSTable *T = M.Tables()->AddTable("TREE");
    T->Columns()->AddColumn("ID", dtInt32);
    T->Columns()->AddColumn("UP", dtInt32);
    ZqAddForeignKey(T->Constraints(), "SELF", "UP", T, "ID")->SetCompleteKeysOnly(true);
    auto Add = [&](int Id, int Up) {
        TZqDatSRow *R = T->NewRow();
        SetInt(R, 0, Id);
        if (Up) SetInt(R, 1, Up);
        T->Rows()->Add(R);
        R->AcceptChanges();
        return R;
    };
    TZqDatSRow *Root = Add(1, 0);
    Add(2, 1);
    Add(3, 2);
    Root->Delete();
    for (int I = 0; I < T->Rows()->Count(); ++I) EXPECT_EQ(T->Rows()->GetItem(I)->RowState(), rsDeleted);
    // 4 <-> 5 point at each other.
    TZqDatSRow *A = Add(4, 0);
    Add(5, 4);
    A->BeginEdit();
    SetInt(A, 1, 5);
    A->EndEdit();
    A->AcceptChanges();
    EXPECT_EQ(ErrorCodeOf([&] { A->Delete(); }), 39);
}

TEST_F(Keys, KeyTypeMismatchRaises33AndEmptyUniqueKeyRaises34) {
    TZqDatSTable *D = M.Tables()->AddTable("D");
    D->Columns()->AddColumn("PID", dtAnsiString, 5);
    EXPECT_EQ(ErrorCodeOf([&] { ZqAddForeignKey(D->Constraints(), "BAD", "PID", P, "ID"); }), 33);
    EXPECT_EQ(ErrorCodeOf([&] { ZqAddUnique(D->Constraints(), "U", "", false); }), 34);
}

TEST_F(Keys, CheckConstraintRaises5AndPassesOnNull) {
    ZqAddCheck(C->Constraints(), "POS", "CID > 0", "positive ids", 0);
    AddP(1);
    try {
        AddC(-1, 1);
        ADD_FAILURE();
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 5);
        EXPECT_NE(std::string(E.what()).find("Check condition violated. Constraint [positive ids]"),
                  std::string::npos);
    }
    TZqDatSTable *F = M.Tables()->AddTable("F");
    F->Columns()->AddColumn("OK", dtBoolean);
    ZqAddCheck(F->Constraints(), "OKC", "OK", "", 0);
    TZqDatSRow *R = F->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { AddOrFree(F, R); }), 0); // NULL: undecided, passes
    R = F->NewRow();
    R->SetDataFromVariant(0, rtl::Variant(false));
    EXPECT_EQ(ErrorCodeOf([&] { AddOrFree(F, R); }), 5);
}

TEST_F(Keys, NoCheckWhileLoading) {
    P->BeginLoadData(lmBatchLive);
    AddP(1);
    EXPECT_EQ(ErrorCodeOf([&] { AddP(1); }), 0);
    P->EndLoadData();
}

TEST_F(Keys, RelationValidation) {
    auto *R = new TZqDatSRelation();
    R->SetName("R");
    M.Relations()->AddSafe(R);
    R->SetParentTable(P);
    R->SetChildTable(P);
    R->SetParentColumnNames("ID");
    EXPECT_EQ(ErrorCodeOf([&] { R->SetChildColumnNames("ID"); }), 36);
    EXPECT_EQ(R->ChildColumnNames(), "");
    auto *R2 = new TZqDatSRelation();
    M.Relations()->AddSafe(R2);
    R2->SetChildKeyConstraint(FK);
    EXPECT_EQ(R2->ChildTable(), C);
    EXPECT_EQ(R2->ParentTable(), P);
    EXPECT_EQ(R2->ParentColumnNames(), "ID");
    EXPECT_FALSE(R2->Nested());
    EXPECT_EQ(M.Relations()->FindRelation(P, C, false), R2);
    auto *R3 = new TZqDatSRelation();
    M.Relations()->AddSafe(R3);
    R3->SetNested(true);
    R3->SetChildTable(C);
    EXPECT_EQ(ErrorCodeOf([&] { R3->SetChildColumnNames("PID"); }), 36);
    EXPECT_EQ(R3->ChildColumnNames(), "");
}

TEST_F(Keys, NewChildRowTakesTheParentsKeyUnlessTold) {
    TZqDatSRow *Par = AddP(4);
    TZqDatSRow *Kid = C->NewChildRow(true, {Par});
    EXPECT_EQ(GetInt(Kid, 1), 4);
    Kid->Free();
    FK->SetNoChildRowFill(true);
    Kid = C->NewChildRow(true, {Par});
    EXPECT_TRUE(Kid->IsNull(1));
    Kid->Free();
}

TEST_F(Keys, AcceptAndRejectCascadeToTheChildren) {
    TZqDatSRow *Par = AddP(1);
    TZqDatSRow *Kid = AddC(10, 1);
    Par->AcceptChanges();
    EXPECT_EQ(Kid->RowState(), rsUnchanged);
    Kid->BeginEdit();
    SetInt(Kid, 0, 11);
    Kid->EndEdit();
    Par->BeginEdit();
    Par->EndEdit();
    Par->RejectChanges();
    EXPECT_EQ(GetInt(Kid, 0), 10);
    EXPECT_EQ(Kid->RowState(), rsUnchanged);
}

TEST_F(Keys, NoCaseKeysCollideAndExistingDuplicatesAreCheckedOnlyWhenAsked) {
    TZqDatSTable *S = M.Tables()->AddTable("S");
    S->Columns()->AddColumn("NAME", dtAnsiString, 10);
    auto Add = [&](const char *N) {
        TZqDatSRow *R = S->NewRow();
        SetStr(R, 0, N);
        AddOrFree(S, R);
    };
    Add("Argo");
    Add("Argo");
    TZqDatSUniqueConstraint *U = ZqAddUnique(S->Constraints(), "UN", "NAME", false);
    EXPECT_TRUE(U->Enabled()); // existing duplicates are not looked at
    U->SetSkipExistingRows(false);
    EXPECT_EQ(ErrorCodeOf([&] { U->SetEnabled(false); U->SetEnabled(true); }), 15);
    EXPECT_FALSE(U->Enabled());
    S->Rows()->GetItem(1)->AcceptChanges();
    S->Rows()->GetItem(1)->Delete();
    U->SetSkipExistingRows(true);
    U->SetOptions(soUnique | soNoCase);
    U->SetEnabled(true);
    EXPECT_EQ(ErrorCodeOf([&] { Add("ARGO"); }), 15);
    EXPECT_EQ(ErrorCodeOf([&] { Add("Meteor"); }), 0);
}

TEST_F(Keys, PrimaryKeyMarksItsColumnsWhileActive) {
    TZqDatSColumn *Id = P->Columns()->GetItem(0);
    EXPECT_FALSE(HasAttr(Id->Attributes(), caAllowNull));
    EXPECT_TRUE(InSet(Id->Options(), coInKey));
    P->Constraints()->ConstraintByName("PK")->SetEnabled(false);
    EXPECT_TRUE(HasAttr(Id->Attributes(), caAllowNull));
    EXPECT_FALSE(InSet(Id->Options(), coInKey));
    EXPECT_TRUE(InSet(Id->Options(), coAllowNull));
}

TEST_F(Keys, PrimaryKeyColumnRefusesNull) {
    // A row without its key value is refused (error 14) while the key is
    // active, and accepted once it is switched off.
    TZqDatSColumn *Id = P->Columns()->GetItem(0);
    EXPECT_FALSE(InSet(Id->Options(), coAllowNull));
    TZqDatSRow *R = P->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { P->Rows()->Add(R); }), 14);
    EXPECT_EQ(R->RowState(), rsDetached);
    R->Free();
}

TEST_F(Keys, RelationLookupsPreferCompleteAndForgetRemovedTables) {
    TZqDatSTable *N = M.Tables()->AddTable("N");
    N->Columns()->AddColumn("REF", dtRowSetRef);
    TZqDatSTable *K = M.Tables()->AddTable("K");
    K->Columns()->AddColumn("UP", dtParentRowRef);
    auto *Half = new TZqDatSRelation();
    M.Relations()->AddSafe(Half);
    Half->SetNested(true);
    Half->SetParentTable(N);
    Half->SetParentColumnNames("REF");
    auto *Full = new TZqDatSRelation();
    M.Relations()->AddSafe(Full);
    Full->SetNested(true);
    Full->SetParentTable(N);
    Full->SetChildTable(K);
    Full->SetParentColumnNames("REF");
    Full->SetChildColumnNames("UP");
    EXPECT_EQ(M.Relations()->FindNestedByChildTable(K), Full);
    auto *R = new TZqDatSRelation();
    M.Relations()->AddSafe(R);
    R->SetChildKeyConstraint(FK);
    EXPECT_EQ(M.Relations()->GetRelationsOf(false, P).size(), 1u);
    M.Tables()->Remove(P, true); // a table leaving resets, which drops its relations
    EXPECT_TRUE(M.Relations()->GetRelationsOf(true, C).empty());
    delete P;
    P = nullptr;
}

} // namespace
