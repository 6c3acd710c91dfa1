// The table adapter against the tests' driver: defining and filling a
// table, and posting rows through generated statements.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "tests/dapt/dapt_fake.h"
#include "tests/support/fake_driver.h"

using namespace dats;

namespace {

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        daptfake::Script() = daptfake::TScript();
        daptfake::Log().clear();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        daptfake::Register(Mgr);
        Manager->Open();
        Manager->CreateConnection(std::string("DriverID=DaptDrv;Database=demo"), Conn);
        Conn->Open();
        Conn->CreateCommand(Select);
        Select->SetCommandText("SELECT ID, NAME FROM T");
        Adapter = TZqIntfPtr<IZqPhysMappingHandler>(static_cast<IZqPhysMappingHandler *>(Obj));
        Obj->SetSelectCommand(Select);
    }
    void TearDown() override
    {
        Adapter.Reset();
        Select.Reset();
        Conn.Reset();
        Manager->Close(true);
        Manager.Reset();
    }
    TZqUpdateOptions *Upd() { return Select->GetOptions()->GetUpdateOptions(); }
    TZqDatSTable *Load()
    {
        TZqDatSTable *T = Obj->Define();
        Select->Open();
        Obj->Fetch(true);
        daptfake::Log().clear();
        return T;
    }
    // Edits NAME of the first row and answers the row.
    TZqDatSRow *EditFirst(TZqDatSTable *T, const std::string &AName)
    {
        TZqDatSRow *R = T->Rows()->GetItem(0);
        R->BeginEdit();
        R->SetDataFromVariant(1, AName);
        R->EndEdit();
        return R;
    }
    template <typename F> static int Code(F &&ACall, std::string *AMessage = nullptr)
    {
        try {
            ACall();
        } catch (const EZqException &E) {
            if (AMessage) *AMessage = E.Message();
            return E.ErrorCode();
        }
        return 0;
    }

    TZqPhysManager *Mgr = nullptr;
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
    TZqIntfPtr<IZqPhysCommand> Select;
    TZqDAptTableAdapter *Obj = new TZqDAptTableAdapter();
    TZqIntfPtr<IZqPhysMappingHandler> Adapter; // keeps Obj alive
};

TEST_F(AdapterTest, DefineMakesAndBindsTheTableThenFetchFillsIt)
{
    TZqDatSTable *T = Obj->Define();
    ASSERT_NE(T, nullptr);
    EXPECT_EQ(Obj->GetDatSTable(), T);
    ASSERT_EQ(T->Columns()->Count(), 2);
    EXPECT_EQ(T->Columns()->GetItem(0)->Name(), "ID");
    EXPECT_EQ(T->Columns()->GetItem(1)->Name(), "NAME");
    Select->Open();
    Obj->Fetch(true);
    ASSERT_EQ(T->Rows()->Count(), 3);
    EXPECT_EQ(T->Rows()->GetItem(2)->GetDataAsVariant(0).AsInteger(), 3);
    EXPECT_EQ(T->Rows()->GetItem(1)->GetDataAsVariant(1).AsString(), "beta");
    EXPECT_EQ(T->Rows()->GetItem(0)->RowState(), rsUnchanged);
    // A second define reuses the bound table.
    EXPECT_EQ(Obj->Define(), T);
}

TEST_F(AdapterTest, ColumnMappingsRenameAndLeaveOutColumns)
{
    TZqDAptColumnMapping *M = Obj->GetColumnMappings()->Add();
    M->SetSourceColumnName("NAME");
    M->SetDatSColumnName("TITLE");
    TZqDatSTable *T = Load();
    ASSERT_EQ(T->Columns()->Count(), 1);
    EXPECT_EQ(T->Columns()->GetItem(0)->Name(), "TITLE");
    ASSERT_EQ(T->Rows()->Count(), 3);
    EXPECT_EQ(T->Rows()->GetItem(0)->GetDataAsVariant(0).AsString(), "alpha");
}

TEST_F(AdapterTest, GeneratedStatementsWriteTheUpdateTableAndColumnNames)
{
    Upd()->SetRefreshMode(rmManual);
    Obj->SetUpdateTableName("STATIONS");
    TZqDAptColumnMapping *Key = Obj->GetColumnMappings()->Add();
    Key->SetSourceColumnName("ID");
    Key->SetUpdateColumnName("STATION_ID");
    TZqDAptColumnMapping *M = Obj->GetColumnMappings()->Add();
    M->SetSourceColumnName("NAME");
    M->SetDatSColumnName("TITLE");
    M->SetUpdateColumnName("STATION_NAME");
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arUpdate, 0);
    ASSERT_EQ(daptfake::Log().size(), 1u);
    EXPECT_EQ(daptfake::Log()[0].rfind("exec:UPDATE STATIONS SET STATION_NAME = ? WHERE STATION_ID = ?", 0), 0u)
        << daptfake::Log()[0];
}

TEST_F(AdapterTest, InsertedRowPostsAnInsertAndResetDropsGeneratedCommands)
{
    Upd()->SetRefreshMode(rmManual);
    Upd()->SetCacheUpdateCommands(true);
    Upd()->SetLockMode(lmRely);
    Upd()->SetUpdateChangedFields(false);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = T->NewRow();
    R->SetDataFromVariant(0, 4);
    R->SetDataFromVariant(1, std::string("new"));
    T->Rows()->Add(R);
    ASSERT_EQ(R->RowState(), rsInserted);
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arFromRow, 0);
    ASSERT_EQ(daptfake::Log().size(), 1u);
    const std::string &L = daptfake::Log()[0];
    EXPECT_EQ(L.rfind("exec:INSERT INTO T", 0), 0u) << L;
    EXPECT_NE(L.find("=4"), std::string::npos) << L;
    EXPECT_NE(L.find("=new"), std::string::npos) << L;
    EXPECT_TRUE(Obj->GetCommand(arInsert));
    Obj->Reset();
    EXPECT_FALSE(Obj->GetCommand(arInsert));
    EXPECT_TRUE(Obj->GetSelectCommand());
}

// An inserted row has no original values: the re-read after the insert
// finds it by the values just written.
TEST_F(AdapterTest, InsertRereadsTheServerDefaultsByTheInsertedKey)
{
    daptfake::Script().NameHasDefault = true;
    Upd()->SetRefreshMode(rmOnDemand);
    Upd()->SetLockMode(lmRely);
    TZqDatSTable *T = Load();
    daptfake::Script().Rows.push_back({4, "by default"});
    TZqDatSRow *R = T->NewRow();
    R->SetDataFromVariant(0, 4);
    T->Rows()->Add(R);
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arInsert, 0);
    ASSERT_EQ(daptfake::Log().size(), 2u);
    EXPECT_EQ(daptfake::Log()[1], "open:SELECT A.NAME FROM T A WHERE A.ID = ?");
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "by default");
    EXPECT_EQ(R->RowState(), rsInserted);
}

TEST_F(AdapterTest, NamesFollowTheirRules)
{
    Obj->SetSourceRecordSetID(2);
    Obj->SetSourceRecordSetName("Casts");
    EXPECT_EQ(Obj->GetSourceRecordSetID(), -1);
    EXPECT_EQ(Obj->GetDatSTableName(), "Casts");
    EXPECT_EQ(Obj->GetUpdateTableName(), "Casts");
    Obj->SetSourceRecordSetID(0);
    EXPECT_EQ(Obj->GetSourceRecordSetName(), "");
    EXPECT_TRUE(Obj->MatchesName(TZqMappingKey(0), mkSourceID));
    EXPECT_TRUE(Obj->MatchesName(TZqMappingKey(), mkNone));
    Obj->SetDatSTableName("Stations");
    EXPECT_TRUE(Obj->MatchesName(TZqMappingKey("STATIONS"), mkDatSName));
}

TEST_F(AdapterTest, UnlockAcceptsAPostedRowWithoutCachedUpdates)
{
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    ASSERT_EQ(R->RowState(), rsModified);
    ASSERT_TRUE(T->Journal()->HasChanges());
    TZqErrorAction A = eaDefault;
    Obj->UnLock(R, A, ZqUpdOpt(uoImmediateUpd));
    EXPECT_EQ(A, eaApplied);
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "delta");
    EXPECT_FALSE(T->Journal()->HasChanges());
    EXPECT_TRUE(daptfake::Log().empty()); // nothing locked: no statement
}

TEST_F(AdapterTest, UnlockWithCancelRejectsTheChange)
{
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    TZqErrorAction A = eaDefault;
    Obj->UnLock(R, A, ZqUpdOpt(uoImmediateUpd) | ZqUpdOpt(uoCancelUnlock));
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "alpha");
}

TEST_F(AdapterTest, UpdateRowPostsAGeneratedUpdateWithOldAndNewValues)
{
    Upd()->SetRefreshMode(rmManual);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arFromRow, 0);
    EXPECT_EQ(A, eaDefault);
    ASSERT_EQ(daptfake::Log().size(), 1u);
    const std::string &L = daptfake::Log()[0];
    EXPECT_EQ(L.rfind("exec:UPDATE", 0), 0u) << L;
    // The new value goes into SET, the key as it was read into WHERE.
    EXPECT_NE(L.find("|NEW_NAME=delta"), std::string::npos) << L;
    EXPECT_NE(L.find("|OLD_ID=1"), std::string::npos) << L;
    EXPECT_EQ(R->RowState(), rsModified); // accepting is the unlock's business
}

TEST_F(AdapterTest, UpdateAffectingNoRecordRaises400UnlessNotCounted)
{
    Upd()->SetRefreshMode(rmManual);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    daptfake::Script().Affected = 0;
    TZqErrorAction A = eaDefault;
    std::string Msg;
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }, &Msg), 400);
    EXPECT_NE(Msg.find("[Vexa][DApt]"), std::string::npos) << Msg;
    EXPECT_NE(Msg.find("Update command updated [0] instead of [1] record."), std::string::npos) << Msg;
    EXPECT_EQ(R->RowState(), rsModified);
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "delta");
    Upd()->SetCountUpdatedRecords(false);
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 0);
}

TEST_F(AdapterTest, FromRowOnAnUnchangedRowDoesNothing)
{
    TZqDatSTable *T = Load();
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(T->Rows()->GetItem(0), A, arFromRow, 0);
    EXPECT_TRUE(daptfake::Log().empty());
}

TEST_F(AdapterTest, DisabledRequestsAndMissingSelectCommandRaise)
{
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    TZqErrorAction A = eaDefault;
    Upd()->SetEnableUpdate(false);
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 405);
    Upd()->SetEnableDelete(false);
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arDelete, 0); }), 407);
    Upd()->SetEnableInsert(false);
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arInsert, 0); }), 406);
    EXPECT_TRUE(daptfake::Log().empty());
    Obj->SetSelectCommand(TZqIntfPtr<IZqPhysCommand>());
    EXPECT_EQ(Code([&] { Obj->Define(); }), 402);
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 402);
    EXPECT_EQ(A, eaExitFailure);
}

TEST_F(AdapterTest, KeyOnlyDeleteReusesItsCommandWhileChangedFieldUpdatesAreMadeAnew)
{
    Upd()->SetRefreshMode(rmManual);
    Upd()->SetCacheUpdateCommands(true);
    Upd()->SetLockMode(lmRely);
    Upd()->SetUpdateMode(upWhereKeyOnly);
    Upd()->SetUpdateChangedFields(true);
    TZqDatSTable *T = Load();
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(T->Rows()->GetItem(0), A, arDelete, 0);
    TZqIntfPtr<IZqPhysCommand> First = Obj->GetCommand(arDelete);
    ASSERT_TRUE(First);
    EXPECT_TRUE(Obj->IsGenerated(arDelete));
    Obj->UpdateRow(T->Rows()->GetItem(1), A, arDelete, 0);
    EXPECT_EQ(Obj->GetCommand(arDelete).Get(), First.Get());
    ASSERT_EQ(daptfake::Log().size(), 2u);
    EXPECT_NE(daptfake::Log()[1].find("=2"), std::string::npos) << daptfake::Log()[1];

    TZqDatSRow *R = EditFirst(T, "delta");
    Obj->UpdateRow(R, A, arUpdate, 0);
    EXPECT_FALSE(Obj->GetCommand(arUpdate));
}

TEST_F(AdapterTest, PessimisticLockRereadsTheRowInATransactionAndUnlockCommits)
{
    Upd()->SetLockMode(lmPessimistic);
    Upd()->SetLockPoint(lpImmediate);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = T->Rows()->GetItem(1);
    TZqErrorAction A = eaDefault;
    Obj->Lock(R, A, 0);
    EXPECT_EQ(A, eaApplied);
    EXPECT_TRUE(R->GetLocked());
    EXPECT_TRUE(Conn->GetInTransaction());
    ASSERT_GE(daptfake::Log().size(), 2u) << daptfake::Log()[0];
    EXPECT_EQ(daptfake::Log()[0], "begin");
    EXPECT_EQ(daptfake::Log()[1].rfind("open:SELECT", 0), 0u) << daptfake::Log()[1];
    // A second lock of a locked row asks nothing more of the server, and
    // starts no transaction that its one unlock would leave open.
    const size_t Before = daptfake::Log().size();
    Obj->Lock(R, A, 0);
    EXPECT_EQ(daptfake::Log().size(), Before);
    Obj->UnLock(R, A, ZqUpdOpt(uoImmediateUpd));
    EXPECT_FALSE(R->GetLocked());
    EXPECT_FALSE(Conn->GetInTransaction());
    EXPECT_EQ(daptfake::Log().back(), "commit");
}

TEST_F(AdapterTest, ALockWhoseRowChangedOnTheServerRaises400)
{
    Upd()->SetLockMode(lmPessimistic);
    Upd()->SetLockPoint(lpImmediate);
    TZqDatSTable *T = Load();
    daptfake::Script().Rows[0].second = "changed";
    TZqErrorAction A = eaDefault;
    std::string Msg;
    EXPECT_EQ(Code([&] { Obj->Lock(T->Rows()->GetItem(0), A, 0); }, &Msg), 400);
    EXPECT_NE(Msg.find("Lock command locked [1] instead of [1] record."), std::string::npos) << Msg;
    EXPECT_FALSE(T->Rows()->GetItem(0)->GetLocked());
}

TEST_F(AdapterTest, DeferredLockRunsOnlyAtItsLockPoint)
{
    Upd()->SetLockMode(lmPessimistic);
    Upd()->SetLockPoint(lpDeferred);
    TZqDatSTable *T = Load();
    TZqErrorAction A = eaDefault;
    Obj->Lock(T->Rows()->GetItem(0), A, 0);
    EXPECT_EQ(A, eaApplied);
    EXPECT_TRUE(daptfake::Log().empty());
    EXPECT_FALSE(T->Rows()->GetItem(0)->GetLocked());
    Obj->Lock(T->Rows()->GetItem(0), A, ZqUpdOpt(uoDeferedLock));
    EXPECT_TRUE(T->Rows()->GetItem(0)->GetLocked());
}

// Re-reading on demand asks only for what the server may have changed: a
// row whose key changed must not be found (or overwritten) by its old key.
TEST_F(AdapterTest, AnUpdateOfTheKeyKeepsTheNewValuesWhenRefreshIsOnDemand)
{
    Upd()->SetRefreshMode(rmOnDemand);
    Upd()->SetLockMode(lmRely);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = T->Rows()->GetItem(0);
    R->BeginEdit();
    R->SetDataFromVariant(0, 9);
    R->SetDataFromVariant(1, std::string("delta"));
    R->EndEdit();
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arUpdate, 0);
    ASSERT_EQ(daptfake::Log().size(), 1u);
    EXPECT_EQ(daptfake::Log()[0], "exec:UPDATE T SET ID = ?, NAME = ? WHERE ID = ?|NEW_ID=9|NEW_NAME=delta|OLD_ID=1");
    EXPECT_EQ(R->GetDataAsVariant(0).AsInteger(), 9);
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "delta");
}

TEST_F(AdapterTest, UpdateRereadsTheRowWhenRefreshIsAsked)
{
    Upd()->SetRefreshMode(rmAll);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    daptfake::Script().Rows[0].second = "by trigger";
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arUpdate, 0);
    ASSERT_EQ(daptfake::Log().size(), 2u);
    EXPECT_EQ(daptfake::Log()[1].rfind("open:SELECT", 0), 0u) << daptfake::Log()[1];
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "by trigger");
    EXPECT_EQ(R->RowState(), rsModified);
}

TEST_F(AdapterTest, FetchRowOfAnUnchangedRowKeepsItUnchanged)
{
    TZqDatSTable *T = Load();
    daptfake::Script().Rows[2].second = "fresh";
    TZqDatSRow *R = T->Rows()->GetItem(2);
    TZqErrorAction A = eaDefault;
    Obj->FetchRow(R, A, TZqFetchItems());
    EXPECT_EQ(R->GetDataAsVariant(1).AsString(), "fresh");
    EXPECT_EQ(R->RowState(), rsUnchanged);
    EXPECT_FALSE(T->Journal()->HasChanges());
}

// Answers every row failure with the action it was given, counting calls.
class TActionHandler : public TZqObject, public virtual IZqStanErrorHandler {
public:
    explicit TActionHandler(TZqErrorAction AAction) : Action(AAction) {}
    void HandleException(const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &AException) override
    {
        ++Calls;
        if (auto *U = dynamic_cast<EZqDAptRowUpdateException *>(AException.get())) {
            Seen = U->Request;
            Code = U->ErrorCode();
            U->Action = Action;
            if (Action == eaRetry && Calls == 2) daptfake::Script().Affected = 1;
        }
    }
    TZqErrorAction Action;
    int Calls = 0;
    int Code = 0;
    TZqPhysRequest Seen = arNone;
};

// Does the request itself for updates.
class TPostHandler : public TZqObject, public virtual IZqDAptUpdateHandler {
public:
    void ReconcileRowHandler(TZqDatSRow *, TZqDAptReconcileAction &) override {}
    void UpdateRowHandler(TZqDatSRow *, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                          TZqPhysUpdateRowOptions) override
    {
        ++Calls;
        if (ARequest == arUpdate) AAction = eaApplied;
    }
    int Calls = 0;
};

TEST_F(AdapterTest, ErrorHandlerSkipsOrRetriesAFailedPost)
{
    Upd()->SetRefreshMode(rmManual);
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    daptfake::Script().Affected = 0;
    auto *Skip = new TActionHandler(eaSkip);
    Obj->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(Skip));
    TZqErrorAction A = eaDefault;
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 0);
    EXPECT_EQ(A, eaSkip);
    EXPECT_EQ(Skip->Calls, 1);
    EXPECT_EQ(Skip->Code, 400);
    EXPECT_EQ(Skip->Seen, arUpdate);

    auto *Retry = new TActionHandler(eaRetry); // the second failure's retry succeeds
    Obj->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(Retry));
    daptfake::Log().clear();
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 0);
    EXPECT_EQ(Retry->Calls, 2);
    EXPECT_EQ(daptfake::Log().size(), 3u);

    auto *Fail = new TActionHandler(eaDefault);
    Obj->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(Fail));
    daptfake::Script().Affected = 0;
    EXPECT_EQ(Code([&] { Obj->UpdateRow(R, A, arUpdate, 0); }), 400);
    EXPECT_EQ(A, eaFail);
}

TEST_F(AdapterTest, UpdateHandlerThatPostsItselfStopsTheStatement)
{
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    auto *H = new TPostHandler();
    Obj->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(H));
    TZqErrorAction A = eaDefault;
    Obj->UpdateRow(R, A, arUpdate, 0);
    EXPECT_EQ(H->Calls, 1);
    EXPECT_EQ(A, eaApplied);
    EXPECT_TRUE(daptfake::Log().empty());
    // A delete the handler leaves alone still runs its statement.
    Obj->UpdateRow(T->Rows()->GetItem(1), A, arDelete, 0);
    ASSERT_EQ(daptfake::Log().size(), 1u);
    EXPECT_EQ(daptfake::Log()[0].rfind("exec:DELETE", 0), 0u) << daptfake::Log()[0];
}

// An update handler that fails as the program's own code may: with a
// standard exception or with something that is no exception class at all.
class TThrowingHandler : public TZqObject, public virtual IZqDAptUpdateHandler {
public:
    explicit TThrowingHandler(int AKind) : Kind(AKind) {}
    void ReconcileRowHandler(TZqDatSRow *, TZqDAptReconcileAction &) override {}
    void UpdateRowHandler(TZqDatSRow *, TZqPhysRequest, TZqErrorAction &, TZqPhysUpdateRowOptions) override
    {
        if (Kind == 0) throw std::runtime_error("flag table is read-only");
        if (Kind == 1) throw rtl::Exception("station not in the work table");
        throw 42;
    }
    int Kind;
};

// Keeps the message of every failure it is handed, then skips the row.
class TRecordingHandler : public TZqObject, public virtual IZqStanErrorHandler {
public:
    void HandleException(const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &AException) override
    {
        if (auto *U = dynamic_cast<EZqDAptRowUpdateException *>(AException.get())) {
            Messages.push_back(U->Exception ? U->Exception->Message() : std::string("<none>"));
            U->Action = Action;
        }
    }
    TZqErrorAction Action = eaSkip;
    std::vector<std::string> Messages;
};

TEST_F(AdapterTest, FailuresOfEveryKindReachTheErrorHandler)
{
    TZqDatSTable *T = Load();
    TZqDatSRow *R = EditFirst(T, "delta");
    auto *Rec = new TRecordingHandler();
    Obj->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(Rec));
    for (int Kind = 0; Kind < 3; ++Kind) {
        Obj->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(new TThrowingHandler(Kind)));
        TZqErrorAction A = eaDefault;
        EXPECT_NO_THROW(Obj->UpdateRow(R, A, arUpdate, 0)) << Kind;
        EXPECT_EQ(A, eaSkip);
    }
    EXPECT_EQ(Rec->Messages, (std::vector<std::string>{"flag table is read-only", "station not in the work table",
                                                        "Unknown exception"}));
    EXPECT_TRUE(daptfake::Log().empty()); // no statement ran for a skipped row
    // A handler that lets it fail: the original exception goes on.
    Rec->Action = eaFail;
    Obj->SetUpdateHandler(TZqIntfPtr<IZqDAptUpdateHandler>(new TThrowingHandler(0)));
    TZqErrorAction A = eaDefault;
    EXPECT_THROW(Obj->UpdateRow(R, A, arUpdate, 0), std::runtime_error);
    EXPECT_EQ(A, eaFail);
}

TEST_F(AdapterTest, ARowlessRequestWithoutNoClientRecordIsRefusedInEveryBuild)
{
    Load();
    TZqErrorAction A = eaDefault;
    EXPECT_THROW(Obj->UpdateRow(nullptr, A, arUpdate, 0), rtl::EAssertionFailed);
    EXPECT_THROW(Obj->FetchRow(nullptr, A, TZqFetchItems(), -1), rtl::EAssertionFailed);
    EXPECT_TRUE(daptfake::Log().empty());
}

TEST_F(AdapterTest, MappingAnswersNotMappedWithTwo)
{
    // A free adapter without a position: a position is not mapped, its
    // source name is; the result set still reaches its table.
    TZqTableMapResult TR;
    EXPECT_EQ(Adapter->MapTable(TZqMappingKey(0), mkSourceID, TR), 2);
    Obj->SetSourceRecordSetName("T");
    EXPECT_EQ(Adapter->MapTable(TZqMappingKey("t"), mkSourceName, TR), 1);
    EXPECT_EQ(Adapter->MapTable(TZqMappingKey("U"), mkSourceName, TR), 2);
    Obj->SetSourceRecordSetID(0);
    EXPECT_EQ(Adapter->MapTable(TZqMappingKey(0), mkSourceID, TR), 1);
    EXPECT_EQ(Adapter->MapTable(TZqMappingKey(1), mkSourceID, TR), 2);
    Obj->SetSourceRecordSetName("T");

    // With mappings, a column that no mapping names by position or by name
    // is not mapped (2) and stays out of the table.
    TZqDAptColumnMapping *M = Obj->GetColumnMappings()->Add();
    M->SetSourceColumnName("NAME");
    M->SetDatSColumnName("STATION");
    TZqDatSTable *T = Load();
    ASSERT_EQ(T->Columns()->Count(), 1);
    EXPECT_EQ(T->Columns()->GetItem(0)->Name(), "STATION");
    TZqColumnMapResult CR;
    EXPECT_EQ(Adapter->MapColumn(TZqMappingKey(T), mkDatSTable, TZqMappingKey(0), mkSourceID, CR), 2);
    EXPECT_EQ(Adapter->MapColumn(TZqMappingKey(T), mkDatSTable, TZqMappingKey("ID"), mkSourceName, CR), 2);
    EXPECT_EQ(Adapter->MapColumn(TZqMappingKey(T), mkDatSTable, TZqMappingKey("NAME"), mkSourceName, CR), 1);
}

} // namespace
