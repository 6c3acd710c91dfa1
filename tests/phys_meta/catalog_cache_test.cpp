// The catalog views of the connection metadata and the per-connection
// catalog cache behind them.
#include "tests/phys_meta/meta_fixture.h"

using Strings = std::vector<std::string>;

namespace {

void StationCatalog()
{
    // Two tables of a station database, fields in catalog order.
    for (const char *F : {"ID_Cast", "ID_Cruise", "Lat", "Lon"})
        MetaFixture::Catalog(mikTableFields, {"", "", "Cast_Titles", F});
    for (const char *F : {"ID_Cruise", "Ship"}) MetaFixture::Catalog(mikTableFields, {"", "", "Cruise_Titles", F});
    MetaFixture::Catalog(mikPrimaryKey, {"", "", "Cast_Titles", "PK_CAST", "PK_CAST", 2});
    MetaFixture::Catalog(mikPrimaryKeyFields, {"", "", "Cast_Titles", "PK_CAST", "ID_Cast", 1});
    MetaFixture::Catalog(mikIndexes, {"", "", "Cast_Titles", "PK_CAST", "PK_CAST", 2});
    MetaFixture::Catalog(mikIndexes, {"", "", "Cast_Titles", "IX_CRUISE", "", 1});
    MetaFixture::Catalog(mikIndexFields, {"", "", "Cast_Titles", "IX_CRUISE", "ID_Cruise", 1, "A"});
    MetaFixture::Catalog(mikIndexFields, {"", "", "Cast_Titles", "PK_CAST", "ID_Cast", 1, "A"});
}

} // namespace

// The station database's own dialect unless a test says otherwise: names
// that lose their case, compared upper-cased.
class CatalogCache : public MetaFixture {
protected:
    void SetUp() override
    {
        MetaFixture::SetUp();
        UseDialect(mkMSAccess);
    }
};

TEST_F(CatalogCache, TableFieldsAskedTwiceRunCatalogOnce)
{
    StationCatalog();
    {
        TZqPhysMetaView V = Meta()->GetTableFields("", "", "Cast_Titles", "");
        EXPECT_EQ(Column(V, "COLUMN_NAME"), (Strings{"ID_Cast", "ID_Cruise", "Lat", "Lon"}));
    }
    TZqPhysMetaView Again = Meta()->GetTableFields("", "", "cast_titles", "");
    EXPECT_EQ(Column(Again, "COLUMN_NAME"), (Strings{"ID_Cast", "ID_Cruise", "Lat", "Lon"}));
    // Access names fold to upper case.
    EXPECT_EQ(fake::MetaLog(), (Strings{"2:|||CAST_TITLES"}));
}

TEST_F(CatalogCache, EachObjectHasItsOwnRowsAndOneCall)
{
    StationCatalog();
    TZqPhysMetaView A = Meta()->GetTableFields("", "", "Cast_Titles", "");
    TZqPhysMetaView B = Meta()->GetTableFields("", "", "Cruise_Titles", "");
    TZqPhysMetaView C = Meta()->GetTableFields("", "", "Cast_Titles", "");
    EXPECT_EQ(Column(B, "COLUMN_NAME"), (Strings{"ID_Cruise", "Ship"}));
    EXPECT_EQ(C.RowCount(), 4);
    EXPECT_EQ(fake::MetaLog().size(), 2u);
    // Both objects share the one cache table of their kind; the record
    // numbers run on across them.
    EXPECT_EQ(A->GetTable(), B->GetTable());
    EXPECT_EQ(Column(B, "RECNO"), (Strings{"5", "6"}));
}

TEST_F(CatalogCache, AnObjectTheCatalogDoesNotKnowIsNotAskedAgain)
{
    StationCatalog();
    EXPECT_EQ(Meta()->GetPrimaryKeyFields("", "", "Cruise_Titles", "").RowCount(), 0);
    EXPECT_EQ(Meta()->GetPrimaryKeyFields("", "", "Cruise_Titles", "").RowCount(), 0);
    EXPECT_EQ(fake::MetaLog(), (Strings{"6:||CRUISE_TITLES|"}));
}

TEST_F(CatalogCache, PatternSelectsAmongCachedRowsWithoutAskingAgain)
{
    StationCatalog();
    TZqPhysMetaView All = Meta()->GetTableFields("", "", "Cast_Titles", "");
    TZqPhysMetaView Ids = Meta()->GetTableFields("", "", "Cast_Titles", "id%");
    EXPECT_EQ(Column(Ids, "COLUMN_NAME"), (Strings{"ID_Cast", "ID_Cruise"}));
    TZqPhysMetaView L = Meta()->GetTableFields("", "", "Cast_Titles", "L_n");
    EXPECT_EQ(Column(L, "COLUMN_NAME"), (Strings{"Lon"}));
    EXPECT_EQ(fake::MetaLog().size(), 1u);
    EXPECT_EQ(All.RowCount(), 4); // the narrower views leave the others alone
}

TEST_F(CatalogCache, PartsOfATableCarryTheTableAsBaseObject)
{
    StationCatalog();
    TZqPhysMetaView Idx = Meta()->GetIndexes("", "", "Cast_Titles", "");
    EXPECT_EQ(Column(Idx, "INDEX_NAME"), (Strings{"PK_CAST", "IX_CRUISE"}));
    TZqPhysMetaView F = Meta()->GetIndexFields("", "", "Cast_Titles", "ix_cruise", "");
    EXPECT_EQ(Column(F, "COLUMN_NAME"), (Strings{"ID_Cruise"}));
    TZqPhysMetaView Pk = Meta()->GetPrimaryKey("", "", "Cast_Titles");
    EXPECT_EQ(Column(Pk, "PKEY_NAME"), (Strings{"PK_CAST"}));
    TZqPhysMetaView PkF = Meta()->GetPrimaryKeyFields("", "", "Cast_Titles", "");
    EXPECT_EQ(Column(PkF, "COLUMN_NAME"), (Strings{"ID_Cast"}));
    EXPECT_EQ(fake::MetaLog(), (Strings{"3:|||CAST_TITLES", "4:||CAST_TITLES|IX_CRUISE", "5:|||CAST_TITLES",
                                        "6:||CAST_TITLES|"}));
}

TEST_F(CatalogCache, ReconnectForgetsTheCatalog)
{
    StationCatalog();
    Meta()->GetTableFields("", "", "Cast_Titles", "");
    Conn->Close();
    Conn->Open();
    EXPECT_EQ(Meta()->GetTableFields("", "", "Cast_Titles", "").RowCount(), 4);
    EXPECT_EQ(fake::MetaLog().size(), 2u);
}

TEST_F(CatalogCache, AViewOutlivesTheConnectionThatGaveIt)
{
    StationCatalog();
    TZqPhysMetaView V = Meta()->GetTableFields("", "", "Cast_Titles", "");
    Cmd.Reset();
    Conn.Reset(); // the connection and its hold on the metadata are gone
    EXPECT_EQ(Column(V, "COLUMN_NAME").back(), "Lon");
}

TEST_F(CatalogCache, ACatalogErrorReachesTheCallerAndIsNotCached)
{
    StationCatalog();
    fake::Script().CatalogFails = true;
    EXPECT_EQ(RaisedCode([&] { Meta()->GetTableFields("", "", "Cast_Titles", ""); }), 4);
    fake::Script().CatalogFails = false;
    EXPECT_EQ(Meta()->GetTableFields("", "", "Cast_Titles", "").RowCount(), 4);
    EXPECT_EQ(fake::MetaLog().size(), 2u);
}

TEST_F(CatalogCache, ANameWithAQuoteIsALiteralNotFilterText)
{
    Catalog(mikTableFields, {"", "", "O'Hara", "X"});
    TZqPhysMetaView V = Meta()->GetTableFields("", "", "[O'Hara]", "");
    EXPECT_EQ(Column(V, "COLUMN_NAME"), (Strings{"X"}));
}

TEST_F(CatalogCache, TablesPackagesAndProcsAreAskedAfreshEachTime)
{
    Catalog(mikTables, {"", "", "Cast_Titles", 1, 0});
    Catalog(mikTables, {"", "", "Cruise_Titles", 1, 0});
    TZqPhysMetaView A = Meta()->GetTables("", "", "");
    TZqPhysMetaView B = Meta()->GetTables("", "", "");
    EXPECT_EQ(Column(B, "TABLE_NAME"), (Strings{"Cast_Titles", "Cruise_Titles"}));
    EXPECT_NE(A->GetTable(), B->GetTable());
    // A fresh table belongs to no cache: it is not one of the cache tables.
    auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(Meta().Get());
    EXPECT_EQ(M->MetaCache()->Tables()->Count(), 0);
    Meta()->GetProcs("", "", "");
    EXPECT_EQ(fake::MetaLog(), (Strings{"1:|||", "1:|||", "10:|||"}));
}

TEST_F(CatalogCache, ProcedureArgumentsByOverload)
{
    Catalog(mikProcArgs, {"", "", "", "CALC_DEPTH", 1, "PRESS", 1, 1});
    Catalog(mikProcArgs, {"", "", "", "CALC_DEPTH", 2, "PRESS", 1, 1});
    Catalog(mikProcArgs, {"", "", "", "CALC_DEPTH", 2, "LAT", 2, 1});
    TZqPhysMetaView Two = Meta()->GetProcArgs("", "", "", "Calc_Depth", 2, "");
    EXPECT_EQ(Column(Two, "PARAM_NAME"), (Strings{"PRESS", "LAT"}));
    // The number written after ";" names the overload as well.
    TZqPhysMetaView One = Meta()->GetProcArgs("", "", "", "Calc_Depth;1", 0, "");
    EXPECT_EQ(Column(One, "PARAM_NAME"), (Strings{"PRESS"}));
    // The catalog answered for every overload at the first question.
    EXPECT_EQ(fake::MetaLog().size(), 1u);
    // A number no overload can have stays part of the name.
    EXPECT_EQ(Meta()->GetProcArgs("", "", "", "Calc_Depth;99999999999", 0, "").RowCount(), 0);
    EXPECT_EQ(fake::MetaLog().back(), "11:|||CALC_DEPTH;99999999999");
}

TEST_F(CatalogCache, ProceduresOfACatalogWithoutOverloadsServeAnyNumber)
{
    Catalog(mikProcArgs, {"", "", "", "CALC_DEPTH", "", "PRESS", 1, 1});
    EXPECT_EQ(Meta()->GetProcArgs("", "", "", "CALC_DEPTH", 0, "").RowCount(), 1);
    EXPECT_EQ(Meta()->GetProcArgs("", "", "", "CALC_DEPTH", 1, "").RowCount(), 1);
}

// ---- names and case by dialect ---------------------------------------------------------------

TEST_F(CatalogCache, MSSQLFoldsAndComparesUpperCase)
{
    UseDialect(mkMSSQL);
    auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(Meta().Get());
    TZqPhysParsedName N;
    N.FBaseObject = "CAST_TITLES";
    EXPECT_EQ(M->CatalogFilter(mikTableFields, N, 0, ""), "UPPER(TABLE_NAME) = 'CAST_TITLES'");
    StationCatalog();
    EXPECT_EQ(Meta()->GetTableFields("", "", "cast_titles", "").RowCount(), 4);
}

TEST_F(CatalogCache, DB2ComparesQuotedCaseSensitiveNamesUnwrapped)
{
    UseDialect(mkDB2);
    auto *M = dynamic_cast<TZqPhysConnectionMetadata *>(Meta().Get());
    TZqPhysParsedName N;
    N.FBaseObject = "CAST_TITLES";
    EXPECT_EQ(M->CatalogFilter(mikTableFields, N, 0, "A%"), "TABLE_NAME = 'CAST_TITLES' AND COLUMN_NAME LIKE 'A%'");
    Catalog(mikTableFields, {"", "", "CAST_TITLES", "ID"});
    Catalog(mikTableFields, {"", "", "Cast_Titles", "OTHER"});
    EXPECT_EQ(Column(Meta()->GetTableFields("", "", "cast_titles", ""), "COLUMN_NAME"), (Strings{"ID"}));
    EXPECT_EQ(Column(Meta()->GetTableFields("", "", "\"Cast_Titles\"", ""), "COLUMN_NAME"), (Strings{"OTHER"}));
}

TEST_F(CatalogCache, CatalogAndSchemaFilterOnlyWhereTheDialectHasThem)
{
    UseDialect(mkMSSQL);
    Catalog(mikTableFields, {"st", "dbo", "CAST_TITLES", "ID"});
    Catalog(mikTableFields, {"archive", "dbo", "CAST_TITLES", "OLD_ID"});
    TZqPhysMetaView V = Meta()->GetTableFields("st", "dbo", "Cast_Titles", "");
    EXPECT_EQ(Column(V, "COLUMN_NAME"), (Strings{"ID"}));
    // Access names have neither: the arguments do not narrow the answer.
    UseDialect(mkMSAccess);
    EXPECT_EQ(Meta()->GetTableFields("st", "dbo", "Cast_Titles", "").RowCount(), 2);
}

// ---- the cache tables ------------------------------------------------------------------------

TEST_F(CatalogCache, CacheTablesAreNamedByConnectionAndKind)
{
    const std::string Def = Conn->GetConnectionDef()->GetName();
    EXPECT_EQ(Meta()->GetMetaInfoTableName(mikPrimaryKeyFields), "_Zq_#" + Def + "#PRIMARYKEYFIELDS");
    EXPECT_EQ(Meta()->GetMetaInfoTableName(mikProcArgs), "_Zq_#" + Def + "#PROCARGS");
    StationCatalog();
    TZqPhysMetaView V = Meta()->GetIndexFields("", "", "Cast_Titles", "PK_CAST", "");
    EXPECT_EQ(V->GetTable()->Name(), "_Zq_#" + Def + "#INDEXFIELDS");
}

TEST_F(CatalogCache, LayoutsHaveTheirColumnsAndTypes)
{
    const int Counts[] = {0, 6, 12, 7, 9, 7, 9, 10, 8, 5, 10, 15};
    for (TZqPhysMetaInfoKind K = 1; K <= 11; ++K) {
        TZqDatSTable T;
        Meta()->DefineMetaInfoTable(K, &T);
        EXPECT_EQ(T.Columns()->Count(), Counts[K]) << int(K);
        EXPECT_EQ(T.Columns()->GetItem(0)->Name(), "RECNO");
        EXPECT_EQ(T.Columns()->GetItem(0)->DataType(), dtInt32);
    }
    TZqDatSTable Args;
    Meta()->DefineMetaInfoTable(mikProcArgs, &Args);
    auto Col = [&](const char *N) { return Args.Columns()->ColumnByName(N); };
    EXPECT_EQ(Col("PARAM_ATTRIBUTES")->DataType(), dtUInt32);
    EXPECT_EQ(Col("PARAM_LENGTH")->DataType(), dtInt32);
    EXPECT_EQ(Col("PARAM_SCALE")->DataType(), dtInt16);
    EXPECT_EQ(Col("PARAM_TYPENAME")->DataType(), dtAnsiString);
    EXPECT_EQ(Col("PARAM_TYPENAME")->Size(), 128);
    EXPECT_TRUE(Col("PROC_NAME")->Attributes().Contains(caReadOnly));
    EXPECT_TRUE(Col("PROC_NAME")->Attributes().Contains(caAllowNull));
}

TEST_F(CatalogCache, AnAsynchronousConnectionStillAnswersWithTheRows)
{
    StationCatalog();
    Conn->GetOptions()->GetResourceOptions()->SetAsyncCmdMode(amAsync);
    EXPECT_EQ(Meta()->GetTableFields("", "", "Cast_Titles", "").RowCount(), 4);
    EXPECT_EQ(Meta()->GetTables("", "", "").RowCount(), 0); // asked, and answered before returning
    EXPECT_EQ(fake::MetaLog().size(), 2u);
}
