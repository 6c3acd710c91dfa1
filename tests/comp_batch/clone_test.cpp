// Cursor clones over hand-filled tables, and the dataset hooks the query
// and table components rely on.
#include <gtest/gtest.h>

#include "tests/support/comp_test_util.h"
#include "tests/support/query_fixture.h"

using namespace comptest;
using namespace dats;

namespace {

// Filters and checks need the expression engine registered.
const bool ServicesReady = (querytest::InitServices(), true);

class Clone : public TTableFixture {
protected:
    void SetUp() override
    {
        Make("CAST", {{1, "one"}, {2, "two"}, {3, "three"}});
        Copy = std::make_unique<TTestDataSet>();
    }
    void TearDown() override
    {
        Copy.reset();
        TTableFixture::TearDown();
    }
    std::unique_ptr<TTestDataSet> Copy;
};

TEST_F(Clone, SharesTheRowsButKeepsItsOwnCursor)
{
    DS->Last();
    Copy->CloneCursor(DS.get(), false);
    EXPECT_EQ(Copy->Table(), Table);
    EXPECT_EQ(Copy->CloneSource(), DS.get());
    EXPECT_EQ(Copy->RecordCount(), 3);
    EXPECT_EQ(Copy->FieldByName("NAME")->AsString(), "one");
    Copy->Next();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "three");

    Copy->Edit();
    Copy->FieldByName("NAME")->SetAsString("TWO");
    Copy->Post();
    DS->First();
    DS->Next();
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "TWO");
    DS->Append();
    DS->FieldByName("ID")->SetAsInteger(4);
    DS->Post();
    Copy->Last();
    EXPECT_EQ(Copy->FieldByName("ID")->AsInteger(), 4);
    EXPECT_EQ(Copy->RecordCount(), 4);
}

TEST_F(Clone, CopiesTheSourcesSettingsUnlessResetOrKept)
{
    DS->SetFilterText("ID > 1");
    DS->SetFiltered(true);
    DS->UpdateOptions()->SetReadOnly(true);
    Copy->CloneCursor(DS.get(), false);
    EXPECT_TRUE(Copy->Filtered());
    EXPECT_EQ(Copy->RecordCount(), 2);
    EXPECT_TRUE(Copy->UpdateOptions()->ReadOnly());

    auto Reset = std::make_unique<TTestDataSet>();
    Reset->SetFilterText("ID = 3");
    Reset->SetFiltered(true);
    Reset->CloneCursor(DS.get(), true);
    EXPECT_FALSE(Reset->Filtered());
    EXPECT_EQ(Reset->Filter(), "");
    EXPECT_EQ(Reset->RecordCount(), 3);
    EXPECT_FALSE(Reset->UpdateOptions()->ReadOnly());

    auto Kept = std::make_unique<TTestDataSet>();
    Kept->SetFilterText("ID = 3");
    Kept->SetFiltered(true);
    Kept->CloneCursor(DS.get(), false, true);
    EXPECT_EQ(Kept->RecordCount(), 1);
    EXPECT_FALSE(Kept->UpdateOptions()->ReadOnly());
}

TEST_F(Clone, FollowsTheSourcesNamedIndex)
{
    TZqIndex *I = DS->Indexes()->Add();
    I->SetName("BYNAME");
    I->SetFields("NAME");
    I->SetActive(true);
    DS->SetIndexName("BYNAME");
    Copy->CloneCursor(DS.get(), false);
    EXPECT_EQ(Copy->IndexName(), "BYNAME");
    EXPECT_EQ(Copy->FieldByName("NAME")->AsString(), "one");
    Copy->Last();
    EXPECT_EQ(Copy->FieldByName("NAME")->AsString(), "two");
}

TEST_F(Clone, ASourceFreedFirstLeavesNoDanglingLink)
{
    Copy->CloneCursor(DS.get(), true);
    DS.reset();
    EXPECT_EQ(Copy->CloneSource(), nullptr);
    EXPECT_EQ(Copy->RecordCount(), 3);
}

TEST_F(Clone, ACloneRequiresAnActiveSource)
{
    DS->Close();
    EXPECT_ANY_THROW(Copy->CloneCursor(DS.get(), true));
}

// New records go through an overridable hook, so that a detail can fill
// in its master's key.
class NewRecordHook : public TTestDataSet {
protected:
    void DoOnNewRecord() override
    {
        FieldByName("NAME")->SetAsString("fresh");
        TTestDataSet::DoOnNewRecord();
    }
};

TEST(DataSetHooks, NewRecordHookRunsBeforeTheEvent)
{
    TZqDatSTable *T = NewTable("CAST");
    T->Columns()->AddColumn("ID", dtInt32);
    T->Columns()->AddColumn("NAME", dtAnsiString, 20);
    {
        NewRecordHook D;
        std::string Seen;
        D.OnNewRecord = [&](TDataSet *ADS) { Seen = ADS->FieldByName("NAME")->AsString(); };
        D.AttachTable(T, nullptr);
        D.Open();
        D.Append();
        EXPECT_EQ(Seen, "fresh");
        D.Cancel();
    }
    T->Release();
}

} // namespace
