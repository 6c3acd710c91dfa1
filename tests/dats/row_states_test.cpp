// Row states and versions: a scripted walk through every state operation
// with the version each read sees, the journal's order, load modes and the
// faults mended in the state machine.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

class RowStates : public ::testing::Test {
protected:
    void SetUp() override {
        T = new TZqDatSTable("T");
        T->Columns()->AddColumn("ID", dtInt32);
        T->Columns()->AddColumn("NAME", dtAnsiString, 20);
    }
    void TearDown() override { delete T; }
    TZqDatSRow *Insert(int AId, const std::string &AName) {
        TZqDatSRow *R = T->NewRow();
        SetInt(R, 0, AId);
        SetStr(R, 1, AName);
        T->Rows()->Add(R);
        return R;
    }
    // Every version of column ID as text, "-" for no buffer.
    std::string Versions(TZqDatSRow *R) {
        std::string S;
        for (TZqDatSRowVersion V : {rvDefault, rvCurrent, rvOriginal, rvPrevious, rvProposed}) {
            if (!S.empty()) S += ",";
            S += R->GetBuffer(V) ? std::to_string(GetInt(R, 0, V)) : "-";
        }
        return S;
    }
    TZqDatSTable *T;
};

// A check that fails while Armed, for the rows it is asked about.
class TFailingCheck : public TZqDatSConstraintBase {
public:
    void DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) override {
        (void)ARow;
        if (Armed && (AAction == rsModified || AAction == rsInserted)) DatSError(5, "CHK");
    }
    bool Armed = false;
};

} // namespace

TEST_F(RowStates, DetachedRowReadsItsProposedValues) {
    TZqDatSRow *R = T->NewRow();
    SetInt(R, 0, 1);
    EXPECT_EQ(R->RowState(), rsDetached);
    EXPECT_EQ(Versions(R), "1,1,-,1,1");
    delete R;
}

TEST_F(RowStates, WalkThroughInsertEditPostAcceptRejectDelete) {
    TZqDatSRow *R = Insert(1, "a");
    EXPECT_EQ(R->RowState(), rsInserted);
    EXPECT_EQ(Versions(R), "1,1,-,1,-");
    EXPECT_EQ(R->ChangeSerial(), 0);

    // Edit an inserted row and post: still inserted, prior detached.
    R->BeginEdit();
    EXPECT_EQ(R->RowState(), rsEditing);
    SetInt(R, 0, 2);
    EXPECT_EQ(Versions(R), "2,2,-,1,2");
    R->EndEdit();
    EXPECT_EQ(R->RowState(), rsInserted);
    EXPECT_EQ(R->PriorState(), rsDetached);
    EXPECT_EQ(Versions(R), "2,2,-,2,-");

    // Accept: unchanged, original holds the inserted values, out of the journal.
    R->AcceptChanges();
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_EQ(Versions(R), "2,2,2,2,-");
    EXPECT_EQ(R->ChangeSerial(), -1);

    // Edit an unchanged row: original visible during the edit.
    R->BeginEdit();
    SetInt(R, 0, 3);
    EXPECT_EQ(Versions(R), "3,3,2,2,3");
    R->CancelEdit();
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_EQ(Versions(R), "2,2,2,2,-");
    R->BeginEdit();
    SetInt(R, 0, 3);
    R->EndEdit();
    EXPECT_EQ(R->RowState(), rsModified);
    EXPECT_EQ(Versions(R), "3,3,2,2,-");

    // A second edit of a modified row.
    R->BeginEdit();
    SetInt(R, 0, 4);
    EXPECT_EQ(Versions(R), "4,4,2,3,4");
    R->EndEdit();
    EXPECT_EQ(R->RowState(), rsModified);
    EXPECT_EQ(R->PriorState(), rsUnchanged);
    EXPECT_EQ(Versions(R), "4,4,2,2,-");

    // Delete a modified row: the modified values stay visible as previous.
    R->Delete();
    EXPECT_EQ(R->RowState(), rsDeleted);
    EXPECT_EQ(Versions(R), "2,-,2,4,-");
    EXPECT_EQ(ErrorCodeOf([&] { R->Delete(); }), 8);
    EXPECT_EQ(ErrorCodeOf([&] { R->BeginEdit(); }), 6);

    // Reject: unchanged with the original values; the modification is gone too.
    R->RejectChanges();
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_EQ(Versions(R), "2,2,2,2,-");
    EXPECT_EQ(T->Journal()->First(), nullptr);

    // Reject of a modification.
    R->BeginEdit();
    SetInt(R, 0, 9);
    R->EndEdit();
    R->RejectChanges();
    EXPECT_EQ(GetInt(R, 0), 2);
    EXPECT_EQ(R->RowState(), rsUnchanged);

    // Accept of a delete frees the row.
    R->Delete();
    R->AcceptChanges();
    EXPECT_EQ(T->Rows()->Count(), 0);
}

TEST_F(RowStates, DeletingAnInsertedRowLeavesTableAndJournal) {
    TZqDatSRow *R = Insert(1, "a");
    Insert(2, "b");
    R->Delete();
    EXPECT_EQ(T->Rows()->Count(), 1);
    EXPECT_EQ(T->Journal()->First(), T->Rows()->GetItem(0));
    EXPECT_EQ(T->Journal()->First()->JournalNext(), nullptr);
}

TEST_F(RowStates, RejectOfAnInsertFreesTheRow) {
    TZqDatSRow *R = Insert(1, "a");
    R->RejectChanges();
    EXPECT_EQ(T->Rows()->Count(), 0);
    EXPECT_EQ(T->Journal()->First(), nullptr);
}

TEST_F(RowStates, DeletingAnEditedNeverPostedInsertCancelsTheEditFirst) {
    TZqDatSRow *R = Insert(1, "a");
    R->BeginEdit();
    SetInt(R, 0, 5);
    R->Delete();
    EXPECT_EQ(T->Rows()->Count(), 0);
    EXPECT_EQ(T->Journal()->First(), nullptr);
}

TEST_F(RowStates, WritesNeedAnEditableStateAndReadOnlyColumnsAreGuarded) {
    TZqDatSRow *R = Insert(1, "a");
    R->AcceptChanges();
    EXPECT_EQ(ErrorCodeOf([&] { SetInt(R, 0, 7); }), 11);
    TZqDataOptions O = T->Columns()->GetItem(1)->Options();
    O.Include(coReadOnly);
    T->Columns()->GetItem(1)->SetOptions(O);
    R->BeginEdit();
    EXPECT_EQ(ErrorCodeOf([&] { SetStr(R, 1, "x"); }), 12);
    SetInt(R, 0, 7);
    R->EndEdit();
    EXPECT_EQ(GetInt(R, 0), 7);
    EXPECT_EQ(ErrorCodeOf([&] { R->AcceptChanges(); }), 0);
}

TEST_F(RowStates, NotNullColumnsAreCheckedOnInsertAndPost) {
    TZqDataAttributes A = T->Columns()->GetItem(1)->Attributes();
    A.Exclude(caAllowNull);
    T->Columns()->GetItem(1)->SetAttributes(A);
    TZqDatSRow *R = T->NewRow();
    SetInt(R, 0, 1);
    EXPECT_EQ(ErrorCodeOf([&] { T->Rows()->Add(R); }), 14);
    EXPECT_EQ(R->RowState(), rsDetached);
    SetStr(R, 1, "x");
    T->Rows()->Add(R);
    EXPECT_EQ(R->RowState(), rsInserted);
}

TEST_F(RowStates, AFailedCheckLeavesNoTemporaryStateAndCanBeCorrected) {
    auto *C = new TFailingCheck();
    T->Constraints()->AddSafe(C);
    TZqDatSRow *R = Insert(1, "a");
    R->AcceptChanges();
    R->BeginEdit();
    SetInt(R, 0, 2);
    C->Armed = true;
    EXPECT_EQ(ErrorCodeOf([&] { R->EndEdit(); }), 5);
    // Both states are back: the row is still being edited.
    EXPECT_EQ(R->RowState(), rsEditing);
    EXPECT_EQ(R->PriorState(), rsUnchanged);
    EXPECT_EQ(GetInt(R, 0), 2);
    C->Armed = false;
    R->EndEdit();
    EXPECT_EQ(R->RowState(), rsModified);
    // And a failed post can be cancelled instead.
    R->BeginEdit();
    SetInt(R, 0, 3);
    C->Armed = true;
    EXPECT_EQ(ErrorCodeOf([&] { R->EndEdit(); }), 5);
    R->CancelEdit();
    EXPECT_EQ(R->RowState(), rsModified);
    EXPECT_EQ(GetInt(R, 0), 2);
}

TEST_F(RowStates, TemporaryStatesRefuseAcceptRejectAndNest) {
    TZqDatSRow *R = Insert(1, "a");
    {
        TZqTempState Calc(R, rsCalculating);
        EXPECT_EQ(ErrorCodeOf([&] { R->AcceptChanges(); }), 28);
        EXPECT_EQ(ErrorCodeOf([&] { R->RejectChanges(); }), 28);
        TZqTempState Check(R, rsChecking);
        // Nested: the real state underneath still decides the buffers.
        EXPECT_EQ(R->PriorState(), rsInserted);
        EXPECT_EQ(GetInt(R, 0), 1);
    }
    EXPECT_EQ(R->RowState(), rsInserted);
}

TEST_F(RowStates, ForcedWritesAndClear) {
    TZqDataOptions O = T->Columns()->GetItem(1)->Options();
    O.Include(coReadOnly);
    T->Columns()->GetItem(1)->SetOptions(O);
    TZqDatSRow *R = T->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { SetStr(R, 1, "x"); }), 12);
    R->BeginForceWrite();
    EXPECT_EQ(R->RowState(), rsForceWrite);
    SetStr(R, 1, "x");
    R->EndForceWrite();
    EXPECT_EQ(R->RowState(), rsDetached);
    EXPECT_EQ(GetStr(R, 1), "x");
    SetInt(R, 0, 1);
    T->Rows()->Add(R);
    R->Clear(false);
    EXPECT_EQ(R->RowState(), rsInserted);
    EXPECT_TRUE(IsNullAt(R, 0, rvDefault));
    EXPECT_TRUE(IsNullAt(R, 1, rvDefault));
    EXPECT_TRUE(R->GetColumnChanged(0));
    TZqDatSRow *D = T->NewRow();
    SetInt(D, 0, 2);
    D->Clear(false);
    EXPECT_EQ(D->RowState(), rsDetached);
    EXPECT_TRUE(IsNullAt(D, 0, rvDefault));
    delete D;
}

TEST_F(RowStates, ErrorsAndLocks) {
    TZqDatSRow *R = Insert(1, "a");
    EZqException E(77, "boom");
    EXPECT_FALSE(R->SetRowError(&E));
    ASSERT_TRUE(R->HasErrors());
    EXPECT_EQ(R->GetRowError()->ErrorCode(), 77);
    EXPECT_EQ(std::string(R->GetRowError()->what()), "boom");
    R->ClearErrors();
    EXPECT_FALSE(R->HasErrors());
    R->Lock(5);
    EXPECT_EQ(ErrorCodeOf([&] { R->Lock(6); }), 40);
    R->Unlock();
    R->Lock(6);
    R->Unlock();
    EXPECT_EQ(ErrorCodeOf([&] { R->Unlock(); }), 0); // no side record left: nothing to do
}

TEST_F(RowStates, RowIDsRiseAndSurviveReinsertion) {
    TZqDatSRow *A = Insert(1, "a");
    TZqDatSRow *B = Insert(2, "b");
    EXPECT_EQ(A->RowID(), 0);
    EXPECT_EQ(B->RowID(), 1);
    T->Rows()->Remove(A, true);
    EXPECT_EQ(A->RowState(), rsDetached);
    T->Rows()->Add(A);
    EXPECT_EQ(A->RowID(), 0);
    // The row came back with an old number: the list is no longer in
    // row-number order, and IndexOf still finds every row.
    EXPECT_FALSE(T->Rows()->InOrder());
    EXPECT_EQ(T->Rows()->IndexOf(A), 1);
    EXPECT_EQ(T->Rows()->IndexOf(B), 0);
}

TEST_F(RowStates, FetchedRowsArriveUnchangedAndUnjournalled) {
    for (TZqDatSLoadMode M : {lmFetchRowset, lmFetchAll, lmRefreshMerge}) {
        T->BeginLoadData(M);
        TZqDatSRow *R = T->NewRow();
        EXPECT_FALSE(R->GetColumnChanged(0));
        SetInt(R, 0, 42);
        EXPECT_TRUE(R->GetColumnChanged(0));
        EXPECT_FALSE(R->GetColumnChanged(1));
        T->Rows()->Add(R);
        T->EndLoadData();
        EXPECT_EQ(R->RowState(), rsUnchanged);
        EXPECT_EQ(Versions(R), "42,42,42,42,-");
        EXPECT_EQ(T->Journal()->First(), nullptr);
    }
}

TEST_F(RowStates, ClearRowsAndLoadModeNesting) {
    Insert(1, "a");
    TZqDatSView *V = T->GetDefaultView();
    EXPECT_EQ(V->Rows()->Count(), 1);
    T->BeginLoadData(lmBatch);
    T->BeginLoadData(lmFetchRowset); // ignored: mode 2 stays
    EXPECT_EQ(T->LoadMode(), lmBatch);
    Insert(2, "b");
    T->EndLoadData(); // ends the ignored inner load only
    EXPECT_EQ(T->LoadMode(), lmBatch);
    EXPECT_FALSE(T->ConstraintsEnforced());
    T->EndLoadData();
    EXPECT_EQ(T->LoadMode(), lmNormal);
    EXPECT_TRUE(T->ConstraintsEnforced());
    EXPECT_EQ(V->Rows()->Count(), 2);
    T->ClearRows();
    EXPECT_EQ(T->Rows()->Count(), 0);
    EXPECT_EQ(V->Rows()->Count(), 0);
    T->ClearRows();
    EXPECT_EQ(T->LoadMode(), lmNormal);
}

TEST_F(RowStates, ImportRowConvertsByNameAndSkipsMissingColumns) {
    TZqDatSTable S("S");
    S.Columns()->AddColumn("NAME", dtAnsiString, 20);
    S.Columns()->AddColumn("ID", dtAnsiString, 5);
    S.Columns()->AddColumn("EXTRA", dtInt32);
    TZqDatSRow *Src = S.NewRow();
    SetStr(Src, 0, "zed");
    SetStr(Src, 1, "42");
    SetInt(Src, 2, 9);
    S.Rows()->Add(Src);
    TZqDatSRow *D = T->ImportRow(Src);
    EXPECT_TRUE(D->InTable());
    EXPECT_EQ(D->RowState(), rsInserted);
    EXPECT_EQ(GetInt(D, 0), 42);
    EXPECT_EQ(GetStr(D, 1), "zed");
    EXPECT_EQ(T->Journal()->First(), D);
}

TEST_F(RowStates, FailedImportFreesOnlyItsOwnRowAndRestoresStates) {
    TZqDatSTable S("S");
    S.Columns()->AddColumn("ID", dtAnsiString, 5);
    TZqDatSRow *Src = S.NewRow();
    SetStr(Src, 0, "abc"); // no number
    S.Rows()->Add(Src);
    EXPECT_EQ(ErrorCodeOf([&] { T->ImportRow(Src); }), 42);
    EXPECT_EQ(T->Rows()->Count(), 0);
    EXPECT_EQ(Src->RowState(), rsInserted);
    TZqDatSRow *Mine = T->NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { T->ImportRow(Src, Mine); }), 42);
    EXPECT_EQ(Mine->RowState(), rsDetached); // still the caller's, still usable
    SetInt(Mine, 0, 3);
    EXPECT_EQ(GetInt(Mine, 0), 3);
    delete Mine;
}

// ---- journal and manager --------------------------------------------------

TEST(DatSJournal, KeepsRowsInTheOrderOfTheirFirstChange) {
    TZqDatSManager M;
    TZqDatSTable *A = M.Tables()->AddTable("A");
    TZqDatSTable *B = M.Tables()->AddTable("B");
    for (TZqDatSTable *X : {A, B}) X->Columns()->AddColumn("ID", dtInt32);
    M.SetUpdatesRegistry(true);
    EXPECT_FALSE(A->OwnJournal());
    auto Add = [](TZqDatSTable *X, int V) {
        TZqDatSRow *R = X->NewRow();
        SetInt(R, 0, V);
        X->Rows()->Add(R);
        return R;
    };
    TZqDatSRow *A1 = Add(A, 1);
    TZqDatSRow *B1 = Add(B, 2);
    // Changing A1 again keeps its first place and serial.
    A1->BeginEdit();
    SetInt(A1, 0, 3);
    A1->EndEdit();
    TZqDatSRow *A2 = Add(A, 4);
    TZqDatSUpdatesJournal *J = M.Journal();
    std::vector<TZqDatSRow *> Walk;
    for (TZqDatSRow *R = J->FirstChange(); R; R = J->NextChange(R)) Walk.push_back(R);
    EXPECT_EQ(Walk, (std::vector<TZqDatSRow *>{A1, B1, A2}));
    EXPECT_EQ(A1->ChangeSerial(), 0);
    Walk.clear();
    for (TZqDatSRow *R = J->FirstChange(A); R; R = J->NextChange(R, A)) Walk.push_back(R);
    EXPECT_EQ(Walk, (std::vector<TZqDatSRow *>{A1, A2}));
    EXPECT_EQ(J->NextChange(nullptr), nullptr);
    // Switching the registry back while changes are pending is refused.
    EXPECT_EQ(ErrorCodeOf([&] { M.SetUpdatesRegistry(false); }), 29);
    J->AcceptChanges(A);
    EXPECT_EQ(J->FirstChange(), B1);
    J->AcceptChanges(&M);
    EXPECT_EQ(J->FirstChange(), nullptr);
    M.SetUpdatesRegistry(false);
    EXPECT_TRUE(A->OwnJournal());
}

TEST(DatSJournal, NewManagerDefaultsAndUniqueTableNames) {
    TZqDatSManager M;
    EXPECT_TRUE(M.EnforceConstraints());
    EXPECT_TRUE(M.CaseSensitive());
    EXPECT_EQ(M.Locale(), 1024);
    EXPECT_FALSE(M.UpdatesRegistry());
    TZqDatSTable *T1 = new TZqDatSTable();
    TZqDatSTable *T2 = new TZqDatSTable();
    M.Tables()->Add(T1);
    M.Tables()->Add(T2);
    EXPECT_EQ(T1->Name(), "TZqDatSTable");
    EXPECT_EQ(T2->Name(), "TZqDatSTable_1");
    EXPECT_EQ(ErrorCodeOf([&] { M.Tables()->TableByName("nope"); }), 2);
    // Freeing a table that sits in the list takes it out once.
    T1->Free();
    EXPECT_EQ(M.Tables()->Count(), 1);
    EXPECT_EQ(M.Tables()->TableByName("tzqdatstable_1"), T2);
}

TEST(DatSJournal, ReferenceCounterFreesItsObject) {
    auto *T = new TZqDatSTable("T");
    T->Release(); // counting not started: nothing happens
    T->CountRef(0);
    T->AddRef();
    T->AddRef();
    T->Release();
    T->Release(); // freed here (ASan would report a leak otherwise)
    SUCCEED();
}

// A row keeps room for one version beside itself; as versions come and go
// that room is handed on, and whatever takes it next must start empty and
// leave the other versions alone.
TEST_F(RowStates, VersionsPassingThroughTheRowsOwnRoomKeepTheirValues) {
    TZqDatSRow *R = Insert(1, "first");
    R->AcceptChanges();                    // the original is the row's own room
    R->BeginEdit();
    SetInt(R, 0, 2);
    SetStr(R, 1, "second");
    R->EndEdit();
    R->AcceptChanges();                    // the room is free again
    EXPECT_EQ(Versions(R), "2,2,2,2,-");
    R->BeginEdit();                        // the proposed version takes it
    SetInt(R, 0, 3);
    EXPECT_EQ(Versions(R), "3,3,2,2,3");
    EXPECT_EQ(GetStr(R, 1, rvProposed), "second");
    R->CancelEdit();
    EXPECT_EQ(Versions(R), "2,2,2,2,-");
    EXPECT_EQ(GetStr(R, 1), "second");
    R->BeginEdit();
    SetStr(R, 1, "third");
    R->EndEdit();                          // the current version now lives there
    R->Clear(false);                       // and a cleared row reads nothing old
    EXPECT_TRUE(IsNullAt(R, 0, rvDefault));
    EXPECT_TRUE(IsNullAt(R, 1, rvDefault));
    R->BeginEdit();
    SetInt(R, 0, 4);
    R->EndEdit();
    EXPECT_EQ(GetInt(R, 0), 4);
    EXPECT_TRUE(IsNullAt(R, 1, rvDefault));
}
