// Key discovery while a query describes its result set, and the stored
// procedure parameters built from the catalog.
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/phys_meta/meta_fixture.h"

using Strings = std::vector<std::string>;

namespace {

// The source table T of the fixture's query has the key ID.
void KeyOfT(const char *AColumn = "ID") { MetaFixture::Catalog(mikPrimaryKeyFields, {"", "", "T", "PK_T", AColumn, 1}); }

} // namespace

class KeyDiscovery : public MetaFixture {
protected:
    TZqDatSTable Table;
};

TEST_F(KeyDiscovery, PrimaryKeyColumnsOfThePlainSourceTableBecomeKeyColumns)
{
    KeyOfT();
    Cmd->Define(&Table);
    EXPECT_EQ(KeyColumns(&Table), (Strings{"ID"}));
    EXPECT_EQ(fake::MetaLog(), (Strings{"6:||T|"}));
}

TEST_F(KeyDiscovery, ASecondQueryOnTheTableAsksTheCatalogNoMore)
{
    KeyOfT();
    Cmd->Define(&Table);
    TZqIntfPtr<IZqPhysCommand> Other;
    Conn->CreateCommand(Other);
    Other->SetCommandText("SELECT ID, NAME FROM t WHERE ID > 3");
    TZqDatSTable Second;
    Other->Define(&Second);
    EXPECT_EQ(KeyColumns(&Second), (Strings{"ID"}));
    EXPECT_EQ(fake::MetaLog().size(), 1u);
}

TEST_F(KeyDiscovery, KeyColumnsAreFoundWhateverCaseTheCatalogWrites)
{
    KeyOfT("id");
    Cmd->Define(&Table);
    EXPECT_EQ(KeyColumns(&Table), (Strings{"ID"}));
}

TEST_F(KeyDiscovery, NoKeyQueryWithoutMetaItemsOrForASubQuery)
{
    KeyOfT();
    Fetch()->SetItems({fiBlobs});
    Cmd->Define(&Table);
    EXPECT_TRUE(KeyColumns(&Table).empty());
    Fetch()->SetItems({fiMeta});
    Cmd->SetCommandText("SELECT ID, NAME FROM (SELECT ID, NAME FROM T) X");
    TZqDatSTable Sub;
    Cmd->Define(&Sub);
    EXPECT_TRUE(KeyColumns(&Sub).empty());
    EXPECT_TRUE(fake::MetaLog().empty());
}

TEST_F(KeyDiscovery, WithoutMetaInTheCacheItemsEveryDefineAsksAgain)
{
    KeyOfT();
    Fetch()->SetCache({fiBlobs, fiDetails});
    Cmd->Define(&Table);
    TZqDatSTable Again;
    Cmd->Define(&Again);
    EXPECT_EQ(KeyColumns(&Again), (Strings{"ID"}));
    EXPECT_EQ(fake::MetaLog().size(), 2u);
    // and nothing of it stays behind in the cache
    auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(Meta().Get());
    EXPECT_EQ(M->MetaCache()->Tables()->GetItem(0)->Rows()->Count(), 0);
}

TEST_F(KeyDiscovery, ATableQualifiedByADottedDatabasePathHasNoKeysButTheQueryRuns)
{
    UseDialect(mkMSAccess);
    KeyOfT();
    Cmd->SetCommandText("SELECT ID, NAME FROM \"/data/st.v2/x.mdb\".T WHERE ID > 0");
    EXPECT_EQ(RaisedCode([&] { Cmd->Define(&Table); }), 0);
    EXPECT_EQ(Table.Columns()->Count(), 2);
    EXPECT_TRUE(KeyColumns(&Table).empty());
    EXPECT_TRUE(fake::MetaLog().empty());
    fake::Script().Rows = 3;
    Cmd->Open();
    Cmd->Fetch(&Table, true);
    EXPECT_EQ(Table.Rows()->Count(), 3);
}

TEST_F(KeyDiscovery, ACatalogFailureStillFailsTheDefine)
{
    KeyOfT();
    fake::Script().CatalogFails = true;
    EXPECT_EQ(RaisedCode([&] { Cmd->Define(&Table); }), 4);
}

TEST_F(KeyDiscovery, GeneratedUpdateAndDeleteNameTheKey)
{
    KeyOfT();
    fake::Script().Rows = 1;
    Cmd->Define(&Table);
    Cmd->Open();
    Cmd->Fetch(&Table, true);
    dats::TZqDatSRow *Row = Table.Rows()->GetItem(0);
    Row->BeginEdit();
    Row->SetDataFromVariant(1, std::string("renamed"));
    Row->EndEdit();
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, Cmd);
    TZqParams Params;
    Gen->SetParams(&Params);
    Gen->SetTable(&Table);
    Gen->SetRow(Row);
    Cmd->GetOptions()->GetUpdateOptions()->SetUpdateMode(upWhereKeyOnly);
    const std::string Update = Gen->GenerateUpdate();
    EXPECT_NE(Update.find("WHERE ID = "), std::string::npos) << Update;
    EXPECT_EQ(Update.find("NAME = :OLD"), std::string::npos) << Update;
    const std::string Delete = Gen->GenerateDelete();
    EXPECT_NE(Delete.find("WHERE ID = "), std::string::npos) << Delete;
}

// ---- stored procedure parameters ---------------------------------------------------------

class ProcParams : public MetaFixture {
protected:
    TZqPhysCommand *CmdObj() { return dynamic_cast<TZqPhysCommand *>(Cmd.Get()); }
    static TZqPhysParsedName Proc(const char *AName)
    {
        TZqPhysParsedName N;
        N.FObject = AName;
        return N;
    }
};

TEST_F(ProcParams, OneParameterPerArgumentInCatalogOrder)
{
    // RECNO follows; CATALOG, SCHEMA, PACK, PROC, OVERLOAD, PARAM_NAME,
    // PARAM_POSITION, PARAM_TYPE, PARAM_DATATYPE, PARAM_TYPENAME,
    // PARAM_ATTRIBUTES, PARAM_PRECISION, PARAM_SCALE, PARAM_LENGTH.
    Catalog(mikProcArgs, {"", "", "", "CALC", "", "", 0, 4, int(dtDouble), "FLOAT", 0, 15, 0, 8});
    Catalog(mikProcArgs, {"", "", "", "CALC", "", "STATION", 1, 1, int(dtInt32), "INT", 0, 10, 0, 4});
    Catalog(mikProcArgs, {"", "", "", "CALC", "", "NOTE", 2, 3, int(dtAnsiString), "VARCHAR", 0, 0, 0, 40});
    CmdObj()->FillStoredProcParams(Proc("calc"), 0);
    TZqParams *P = Cmd->GetParams();
    ASSERT_EQ(P->Count(), 3);
    EXPECT_EQ(P->Items(0)->Name(), "Result");
    EXPECT_EQ(P->Items(0)->ParamType(), rtl::ptResult);
    EXPECT_EQ(P->Items(0)->DataType(), rtl::ftFloat);
    EXPECT_EQ(P->Items(1)->Name(), "STATION");
    EXPECT_EQ(P->Items(1)->Position(), 1);
    EXPECT_EQ(P->Items(1)->ParamType(), rtl::ptInput);
    EXPECT_EQ(P->Items(1)->DataType(), rtl::ftInteger);
    EXPECT_EQ(P->Items(2)->ParamType(), rtl::ptInputOutput);
    EXPECT_EQ(P->Items(2)->DataType(), rtl::ftString);
    EXPECT_EQ(P->Items(2)->Size(), 40);
}

TEST_F(ProcParams, ACursorArgumentMakesAStoredProcedureReturnACursor)
{
    Catalog(mikProcArgs, {"", "", "", "CASTS", "", "CRS", 1, 2, int(dtCursorRef), "REF CURSOR", 0, 0, 0, 0});
    Cmd->SetCommandKind(skStoredProc);
    CmdObj()->FillStoredProcParams(Proc("CASTS"), 0);
    ASSERT_EQ(Cmd->GetParams()->Count(), 1);
    EXPECT_EQ(Cmd->GetParams()->Items(0)->DataType(), rtl::ftCursor);
    EXPECT_EQ(Cmd->GetCommandKind(), skStoredProcWithCrs);
}

TEST_F(ProcParams, AnUnknownProcedureLeavesNoParameters)
{
    Cmd->GetParams()->Add()->SetName("stale");
    CmdObj()->FillStoredProcParams(Proc("NOWHERE"), 0);
    EXPECT_EQ(Cmd->GetParams()->Count(), 0);
}
