// Fetch modes, rowsets, RecsMax, the exact fetch and the command states
// around them.
#include "tests/support/phys_fixture.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRowList.h"

namespace {

class CommandFetch : public PhysFixture {
protected:
    int OpenAndFetchRows(bool AAll)
    {
        Cmd->Open();
        Cmd->Define(&Table);
        Cmd->Fetch(&Table, AAll);
        return Table.Rows()->Count();
    }
    TZqDatSTable Table;
};

TEST_F(CommandFetch, AllWithRecsMaxStopsAtLimitInThreeCallsAndSetsEof)
{
    fake::Script().Rows = 100;
    Fetch()->SetRecsMax(25);
    Fetch()->SetRowsetSize(10);
    Fetch()->SetAutoClose(false);
    EXPECT_EQ(OpenAndFetchRows(true), 25);
    EXPECT_EQ(fake::FetchCalls(), (std::vector<int>{10, 10, 5}));
    auto *C = dynamic_cast<TZqPhysCommand *>(Cmd.Get());
    EXPECT_TRUE(C->Eof());
    EXPECT_EQ(Cmd->GetRowsAffected(), 25);
    EXPECT_EQ(Cmd->GetState(), 3);
}

TEST_F(CommandFetch, OnDemandFetchesOneRowsetPerCall)
{
    fake::Script().Rows = 25;
    Fetch()->SetMode(fmOnDemand);
    Fetch()->SetRowsetSize(10);
    EXPECT_EQ(OpenAndFetchRows(false), 10);
    Cmd->Fetch(&Table, false);
    EXPECT_EQ(Table.Rows()->Count(), 20);
    Cmd->Fetch(&Table, false);
    EXPECT_EQ(Table.Rows()->Count(), 25);
    // the short last rowset is the end: AutoClose (default on) closes the cursor
    EXPECT_EQ(Cmd->GetState(), 1);
}

// A driver that does not visit its rows in place fills a table defined for
// the purpose, whose rows are visited after, within the fetch's limits.
TEST_F(CommandFetch, RowsOfADriverThatKeepsThemInATableAreVisitedFromIt)
{
    fake::Script().Rows = 30;
    Fetch()->SetRecsMax(25);
    Cmd->Open();
    std::string Seen;
    EXPECT_EQ(Cmd->FetchRows([&](IZqPhysFetchedRow &R) {
        void *Name = nullptr;
        uint32_t Len = 0;
        if (R.ColumnType(1) == dtAnsiString && R.GetValue(1, Name, Len)) Seen.append(static_cast<char *>(Name), Len);
    }), 25);
    EXPECT_EQ(Seen.substr(0, 8) + "." + Seen.substr(Seen.size() - 5), "row1row2.row25");
}

TEST_F(CommandFetch, ShortRowsetEndsFetchingEvenWhenMoreRowsExist)
{
    fake::Script().Rows = 50;
    fake::Script().ShortRowsetAt = 10;
    Fetch()->SetRowsetSize(10);
    Fetch()->SetAutoClose(false);
    EXPECT_EQ(OpenAndFetchRows(true), 11);
    EXPECT_TRUE(dynamic_cast<TZqPhysCommand *>(Cmd.Get())->Eof());
}

TEST_F(CommandFetch, ExactRecsMaxAcceptsExactlyTheLimit)
{
    fake::Script().Rows = 10;
    Fetch()->SetMode(fmExactRecsMax);
    Fetch()->SetRecsMax(10);
    EXPECT_EQ(OpenAndFetchRows(false), 10);
}

TEST_F(CommandFetch, ExactRecsMaxRaises312ForOneRowTooMany)
{
    fake::Script().Rows = 11;
    Fetch()->SetMode(fmExactRecsMax);
    Fetch()->SetRecsMax(10);
    EXPECT_EQ(RaisedCode([&] { OpenAndFetchRows(false); }), 312);
    // a failed fetch leaves the cursor open
    EXPECT_EQ(Cmd->GetState(), 3);
    // the setting was not changed on the way
    EXPECT_EQ(Fetch()->RecsMax(), 10);
}

TEST_F(CommandFetch, ExactRecsMaxRaises312ForTooFewRows)
{
    fake::Script().Rows = 9;
    Fetch()->SetMode(fmExactRecsMax);
    Fetch()->SetRecsMax(10);
    EXPECT_EQ(RaisedCode([&] { OpenAndFetchRows(false); }), 312);
}

TEST_F(CommandFetch, FetchOnAClosedCommandRaises311)
{
    EXPECT_EQ(RaisedCode([&] { Cmd->Fetch(&Table, true); }), 311);
}

TEST_F(CommandFetch, DefineTwiceWithOverrideKeepsColumnsResetRebuilds)
{
    fake::Script().Rows = 3;
    Cmd->Open();
    Cmd->Define(&Table, mmOverride);
    ASSERT_EQ(Table.Columns()->Count(), 2);
    Cmd->Define(&Table, mmOverride);
    EXPECT_EQ(Table.Columns()->Count(), 2);
    EXPECT_EQ(Table.Columns()->GetItem(0)->Name(), "ID");
    EXPECT_EQ(Table.Columns()->GetItem(1)->Size(), 20);
}

TEST_F(CommandFetch, UnnamedColumnIsMarkedAndNamedFromItsPosition)
{
    fake::Script().UnnamedSecondColumn = true;
    Cmd->Open();
    Cmd->Define(&Table);
    ASSERT_EQ(Table.Columns()->Count(), 2);
    EXPECT_TRUE(Table.Columns()->GetItem(1)->Attributes().Contains(caUnnamed));
    EXPECT_FALSE(Table.Columns()->GetItem(1)->Name().empty());
    EXPECT_FALSE(Table.Columns()->GetItem(0)->Attributes().Contains(caUnnamed));
}

TEST_F(CommandFetch, RelyOnATableWithoutTheColumnsDefinesNothingNew)
{
    Cmd->Open();
    EXPECT_EQ(RaisedCode([&] { Cmd->Define(nullptr, nullptr, mmRely); }), 313);
    Cmd->Define(&Table, mmRely);
    EXPECT_EQ(Table.Columns()->Count(), 0);
}

TEST_F(CommandFetch, CatalogQueryDefinesItsLayoutOnlyUnderReset)
{
    Cmd->SetMetaInfoKind(1);
    Cmd->Prepare();
    EXPECT_EQ(RaisedCode([&] { Cmd->Define(&Table, mmOverride); }), 328);
    std::unique_ptr<TZqDatSTable> T(Cmd->Define(&Table, mmReset));
    ASSERT_EQ(T->Columns()->Count(), 6);
    EXPECT_EQ(T->Columns()->GetItem(3)->Name(), "TABLE_NAME");
    EXPECT_EQ(T->Columns()->GetItem(3)->Size(), 128);
    EXPECT_EQ(T->Columns()->GetItem(4)->DataType(), dtInt16);
    EXPECT_EQ(T->Name(), "_Zq_##TABLES");
}

TEST_F(CommandFetch, ChangingSchemaOnAnOpenCommandClosesAndUnprepares)
{
    fake::Script().Rows = 3;
    Cmd->Open();
    ASSERT_EQ(Cmd->GetState(), 3);
    Cmd->SetSchemaName("other");
    EXPECT_EQ(Cmd->GetState(), 0);
    EXPECT_EQ(fake::LogText(), "prepare open close unprepare");
}

TEST_F(CommandFetch, ExecuteOfASelectRaises310AndReturnsToPrepared)
{
    Cmd->SetCommandKind(skSelect);
    EXPECT_EQ(RaisedCode([&] { Cmd->Execute(); }), 310);
    EXPECT_EQ(Cmd->GetState(), 1);
}

TEST_F(CommandFetch, SecondResultSetNameCarriesItsIndex)
{
    Cmd->SetSourceRecordSetName("N");
    Fetch()->SetAutoClose(false);
    Cmd->Open();
    EXPECT_EQ(Cmd->GetSourceRecordSetName(), "N");
}

} // namespace
