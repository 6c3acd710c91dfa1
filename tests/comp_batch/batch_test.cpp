// Batches and the provider's single-record update over hand-filled tables.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "platform/rtl/Variant.h"
#include "tests/support/comp_test_util.h"
#include "tests/support/query_fixture.h"

using namespace comptest;
using namespace dats;

namespace {

// Filters and checks need the expression engine registered.
const bool ServicesReady = (querytest::InitServices(), true);

class Batch : public TTableFixture {
protected:
    void SetUp() override { Make("CAST", {{1, "one"}, {2, "two"}, {3, "three"}}); }
};

TEST_F(Batch, SwitchesEverythingOffOnceAndEndBatchRestoresIt)
{
    TZqUpdateOptions *UO = DS->UpdateOptions();
    UO->SetUpdateMode(upWhereAll);
    UO->SetLockMode(lmPessimistic);
    UO->SetRefreshMode(rmAll);
    UO->SetUpdateChangedFields(false);
    UO->SetCacheUpdateCommands(false);
    ASSERT_FALSE(UO->FastUpdates());
    DS->SetAggregatesActive(true);

    DS->BeginBatch(true);
    DS->BeginBatch(false); // nested: the first call's mode stands
    EXPECT_TRUE(DS->InBatch());
    EXPECT_TRUE(DS->Silent());
    EXPECT_TRUE(UO->FastUpdates());
    EXPECT_FALSE(DS->IndexesActive());
    EXPECT_FALSE(DS->AggregatesActive());
    EXPECT_FALSE(DS->ConstraintsEnabled());
    EXPECT_FALSE(Table->Constraints()->Enforce());
    EXPECT_TRUE(DS->ControlsDisabled());
    EXPECT_EQ(Table->LoadMode(), lmBatchLive);

    DS->EndBatch();
    EXPECT_FALSE(DS->InBatch());
    EXPECT_FALSE(DS->Silent());
    EXPECT_EQ(UO->UpdateMode(), upWhereAll);
    EXPECT_EQ(UO->LockMode(), lmPessimistic);
    EXPECT_EQ(UO->RefreshMode(), rmAll);
    EXPECT_FALSE(UO->UpdateChangedFields());
    EXPECT_FALSE(UO->CacheUpdateCommands());
    EXPECT_TRUE(DS->IndexesActive());
    EXPECT_TRUE(DS->AggregatesActive());
    EXPECT_TRUE(DS->ConstraintsEnabled());
    EXPECT_TRUE(Table->Constraints()->Enforce());
    EXPECT_FALSE(DS->ControlsDisabled());
    EXPECT_EQ(Table->LoadMode(), lmNormal);
}

TEST_F(Batch, WithoutDeleteLoadsInSuspendedModeAndClosingEndsIt)
{
    DS->BeginBatch(false);
    EXPECT_EQ(Table->LoadMode(), lmBatch);
    DS->Close();
    EXPECT_FALSE(DS->InBatch());
    // The shared table must not stay in load mode with its checks off.
    EXPECT_EQ(Table->LoadMode(), lmNormal);
    EXPECT_TRUE(DS->ConstraintsEnabled());
    EXPECT_FALSE(DS->Silent());
}

TEST_F(Batch, ConstraintsEnabledCountsAndTheSetterSettlesTheState)
{
    DS->DisableConstraints();
    DS->DisableConstraints();
    EXPECT_EQ(DS->ConstraintsDisabledCount(), 2);
    DS->EnableConstraints();
    EXPECT_FALSE(Table->Constraints()->Enforce());
    DS->SetConstraintsEnabled(true);
    EXPECT_EQ(DS->ConstraintsDisabledCount(), 0);
    EXPECT_TRUE(Table->Constraints()->Enforce());
    DS->EnableConstraints(); // never below zero
    EXPECT_EQ(DS->ConstraintsDisabledCount(), 0);
}

// A delta: a second dataset over a table of the same columns, holding one
// change record.
class ProviderUpdate : public Batch {
protected:
    void SetUp() override
    {
        Batch::SetUp();
        DS->FieldByName("ID")->SetProviderFlags(pfInKey);
        DeltaTable = NewTable("DELTA");
        DeltaTable->Columns()->AddColumn("ID", dtInt32);
        DeltaTable->Columns()->AddColumn("NAME", dtAnsiString, 20);
        Delta = std::make_unique<TTestDataSet>();
        Delta->AttachTable(DeltaTable, nullptr);
    }
    void TearDown() override
    {
        Delta.reset();
        DeltaTable->Release();
        Batch::TearDown();
    }
    void Load(int AId, const std::string &AName)
    {
        LoadRows(DeltaTable, {{AId, AName}});
        Delta->Open();
        Delta->FieldByName("ID")->SetProviderFlags(pfInKey);
    }
    std::string Names()
    {
        std::string S;
        for (int I = 0; I < Table->Rows()->Count(); ++I)
            if (Table->Rows()->GetItem(I)->RowState() != rsDeleted)
                S += Table->Rows()->GetItem(I)->GetDataAsVariant(1).AsString() + ",";
        return S;
    }
    TZqDatSTable *DeltaTable = nullptr;
    std::unique_ptr<TTestDataSet> Delta;
};

TEST_F(ProviderUpdate, ModifyFindsTheRowByItsOldKeyAndReturnsToTheCursor)
{
    Load(2, "two");
    Delta->Edit();
    Delta->FieldByName("ID")->SetAsInteger(20);
    Delta->FieldByName("NAME")->SetAsString("TWO");
    Delta->Post();
    DS->Last(); // on "three"
    EXPECT_TRUE(DS->PSUpdateRecord(ukModify, Delta.get()));
    EXPECT_EQ(Names(), "one,TWO,three,");
    EXPECT_EQ(Table->Rows()->GetItem(1)->GetDataAsVariant(0).AsInteger(), 20);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "three");
    EXPECT_FALSE(DS->InBatch());
}

TEST_F(ProviderUpdate, ModifyCopiesOnlyTheChangedFields)
{
    Load(2, "two");
    Delta->Edit();
    Delta->FieldByName("ID")->SetAsInteger(20);
    Delta->Post();
    // A change made here meanwhile to the field the delta did not touch.
    DS->Next();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("Two!");
    DS->Post();
    EXPECT_TRUE(DS->PSUpdateRecord(ukModify, Delta.get()));
    EXPECT_EQ(Names(), "one,Two!,three,");
    EXPECT_EQ(Table->Rows()->GetItem(1)->GetDataAsVariant(0).AsInteger(), 20);
}

TEST_F(ProviderUpdate, InsertAppendsAndDeleteRemoves)
{
    Load(7, "seven");
    EXPECT_TRUE(DS->PSUpdateRecord(ukInsert, Delta.get()));
    EXPECT_EQ(Names(), "one,two,three,seven,");
    Delta->Close();
    DeltaTable->ClearRows();
    Load(2, "two");
    EXPECT_TRUE(DS->PSUpdateRecord(ukDelete, Delta.get()));
    EXPECT_EQ(Names(), "one,three,seven,");
    EXPECT_EQ(DS->RecordCount(), 3);
}

TEST_F(ProviderUpdate, AMissingRowAppliesNothingAndAnInactiveDatasetIsClosedAgain)
{
    Load(42, "nobody");
    DS->Close();
    EXPECT_FALSE(DS->PSUpdateRecord(ukDelete, Delta.get()));
    EXPECT_FALSE(DS->Active());
    EXPECT_EQ(Names(), "one,two,three,");
    EXPECT_EQ(Table->LoadMode(), lmNormal);
}

class CheckConstraints : public TTableFixture {
protected:
    void SetUp() override { Make("CAST", {{1, "one"}}, false); }
};

TEST_F(CheckConstraints, FieldAndDatasetChecksHoldWhileOpenAndGoOnClose)
{
    const int Before = Table->Constraints()->Count();
    DS->Constraints().push_back({"NAME <> 'bad'", "", "no bad names"});
    // Persistent fields keep their constraints from one open to the next.
    DS->FieldDefs().Update();
    for (int I = 0; I < DS->FieldDefs().Count(); ++I)
        DS->FieldDefs()[I]->CreateField(DS.get());
    DS->FieldByName("ID")->SetCustomConstraint("ID > 0");
    DS->Open();
    EXPECT_EQ(Table->Constraints()->Count(), Before + 2);

    DS->Edit();
    DS->FieldByName("ID")->SetAsInteger(-1);
    EXPECT_EQ(ErrorCodeOf([&] { DS->Post(); }), 5);
    DS->Cancel();
    DS->Edit();
    DS->FieldByName("NAME")->SetAsString("bad");
    try {
        DS->Post();
        ADD_FAILURE();
    } catch (const EZqException &E) {
        EXPECT_NE(std::string(E.what()).find("no bad names"), std::string::npos);
    }
    DS->Cancel();

    DS->DisableConstraints();
    DS->Edit();
    DS->FieldByName("ID")->SetAsInteger(-1);
    EXPECT_EQ(ErrorCodeOf([&] { DS->Post(); }), 0);
    DS->EnableConstraints();

    DS->Close();
    EXPECT_EQ(Table->Constraints()->Count(), Before);
}

} // namespace

namespace {

TEST_F(Batch, AnEngineErrorBecomesAnUpdateErrorWithTheFirstErrorsCode)
{
    EZqDBEngineException E(401, "key violation");
    E.Append(std::make_unique<TZqDBError>(0, 2627, "duplicate key", "", 1, -1));
    E.Append(std::make_unique<TZqDBError>(0, 3621, "statement ended", "", 0, -1));
    EUpdateError Prior("earlier", "", 77, 0);
    std::unique_ptr<EUpdateError> U(DS->PSGetUpdateException(&E, &Prior));
    EXPECT_EQ(U->ErrorCode, 2627);
    EXPECT_EQ(U->PreviousError, 77);
    EXPECT_EQ(std::string(U->what()), std::string(E.what()));
    EXPECT_EQ(U->Context, "");

    // Without engine errors the toolkit's rule stands: no code of its own.
    rtl::Exception Plain("plain");
    std::unique_ptr<EUpdateError> P(DS->PSGetUpdateException(&Plain, nullptr));
    EXPECT_EQ(P->ErrorCode, 0);
    EXPECT_EQ(P->PreviousError, 0);
}

} // namespace
