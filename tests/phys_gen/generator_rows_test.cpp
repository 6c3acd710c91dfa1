// The generator's row statements: WHERE modes and their fallback, NULL
// comparisons, parameter names and markers, layout, inline refresh,
// identity inserts, empty inserts, locator large objects and its errors.
#include <gtest/gtest.h>

#include "tests/phys_gen/gen_test_util.h"

using namespace gentest;

namespace {

class GeneratorRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        Opts.FUpdate.SetUpdateMode(upWhereKeyOnly);
        Opts.FUpdate.SetUpdateChangedFields(true);
        Opts.FUpdate.SetRefreshMode(rmManual);
    }
    TZqIntfPtr<IZqPhysCommandGenerator> Gen(TZqRDBMSKind AKind = mkOther)
    {
        Params.Clear();
        auto G = MakeGen(AKind, &Opts, &Params, &Dialect);
        G->SetTable(&S.Table);
        G->SetRow(S.Row);
        G->SetGenOptions(goOthers);
        return G;
    }
    TOptions Opts;
    TSample S;
    TZqParams Params;
    TFakeDialect *Dialect = nullptr;
};

TEST_F(GeneratorRows, WhereChangedKeepsTheUnchangedKey)
{
    Opts.FUpdate.SetUpdateMode(upWhereChanged);
    S.Read();
    EXPECT_EQ(Gen()->GenerateDelete(), "DELETE FROM STATION WHERE ID = ?");
    S.Edit();
    EXPECT_EQ(Gen()->GenerateDelete(), "DELETE FROM STATION WHERE ID = ? AND CRUISE = ?");
    EXPECT_EQ(ParamNames(Params), "OLD_ID,OLD_CRUISE");
    EXPECT_EQ(Params.FindParam("OLD_CRUISE")->DataType(), rtl::ftString);
    EXPECT_EQ(Params.FindParam("OLD_CRUISE")->Position(), 2);
}

TEST_F(GeneratorRows, KeyOnlyWithoutKeyFallsBackToAllAndNullsTakeNoParameter)
{
    S.Table.Columns()->GetItem(0)->SetOptions({coInUpdate, coInWhere});
    S.Read();
    S.Edit();
    EXPECT_EQ(Gen()->GenerateDelete(), "DELETE FROM STATION WHERE ID = ? AND CRUISE = ? AND DEPTH IS NULL");
    EXPECT_EQ(ParamNames(Params), "OLD_ID,OLD_CRUISE");
    // The original value is compared, not the edited one.
    EXPECT_EQ(Params.FindParam("OLD_CRUISE")->ZqDataType(), dtAnsiString);
}

TEST_F(GeneratorRows, NoSearchableColumnIsAnEmptyWhere)
{
    for (int I = 0; I < 3; ++I) S.Table.Columns()->GetItem(I)->SetAttributes({caAllowNull});
    S.Read();
    EXPECT_EQ(ErrorCodeOf([&] { Gen()->GenerateDelete(); }), 329);
}

TEST_F(GeneratorRows, SameParameterNameGetsANumber)
{
    Opts.FUpdate.SetUpdateChangedFields(false);
    S.Read();
    S.Edit();
    auto G = Gen();
    G->SetNameOptions(gnPlainParams);
    EXPECT_EQ(G->GenerateUpdate(), "UPDATE STATION SET ID = :ID, CRUISE = :CRUISE, DEPTH = :DEPTH WHERE ID = :ID#1");
    EXPECT_EQ(ParamNames(Params), "ID,CRUISE,DEPTH,ID#1");
    EXPECT_EQ(Params.Items(3)->Position(), 4);
}

TEST_F(GeneratorRows, MarkersFollowTheDialect)
{
    S.Read();
    S.Edit();
    auto G = Gen(mkOracle);
    Dialect->FParamMark = 2;
    EXPECT_EQ(G->GenerateUpdate(), "UPDATE STATION SET CRUISE = :0 WHERE ID = :1");
    G = Gen(mkOracle);
    EXPECT_EQ(G->GenerateUpdate(), "UPDATE STATION SET CRUISE = :NEW_CRUISE WHERE ID = :OLD_ID");
}

TEST_F(GeneratorRows, NothingChangedIsNoUpdate)
{
    S.Read();
    auto G = Gen();
    EXPECT_EQ(G->GenerateUpdate(), "");
    EXPECT_EQ(Params.Count(), 0);
}

TEST_F(GeneratorRows, MultiLineLayoutBreaksClausesAndLongLists)
{
    S.Read();
    S.Edit();
    auto G = Gen();
    G->SetNameOptions(gnMultiLine);
    EXPECT_EQ(G->GenerateUpdate(), "UPDATE STATION\r\nSET CRUISE = ?\r\nWHERE ID = ?");

    TSample Wide;
    for (int I = 0; I < 6; ++I) Wide.Add("A_RATHER_LONG_COLUMN_NAME_" + std::to_string(I), dtInt32, 0);
    Params.Clear();
    auto W = MakeGen(mkOther, &Opts, &Params);
    W->SetTable(&Wide.Table);
    W->SetNameOptions(gnMultiLine);
    const std::string Text = W->GenerateInsert();
    // A break comes before the item once the line holds 60 characters or
    // more: "ID, CRUISE, DEPTH, " and one long name (27) make 46, the second
    // long name makes 75; the next line reaches 56 after two names and 85
    // after three.
    EXPECT_EQ(Text.substr(0, Text.find(")\r\nVALUES")),
              "INSERT INTO STATION\r\n(ID, CRUISE, DEPTH, A_RATHER_LONG_COLUMN_NAME_0, A_RATHER_LONG_COLUMN_NAME_1,\r\n"
              "A_RATHER_LONG_COLUMN_NAME_2, A_RATHER_LONG_COLUMN_NAME_3, A_RATHER_LONG_COLUMN_NAME_4,\r\n"
              "A_RATHER_LONG_COLUMN_NAME_5");
}

// A table T (ID server-numbered key, NAME).
struct TIdentityTable {
    explicit TIdentityTable(bool AIdWritable)
    {
        Table.SetSourceName("T");
        auto *Id = Table.Columns()->AddColumn("ID", dtInt32);
        Id->SetAttributes({caSearchable, caAutoInc});
        Id->SetOptions(AIdWritable ? TZqDataOptions{coInUpdate, coInWhere, coInKey} : TZqDataOptions{coInWhere, coInKey});
        auto *Name = Table.Columns()->AddColumn("NAME", dtAnsiString, 20);
        Name->SetAttributes({caSearchable, caAllowNull});
        Row = Table.NewRow();
        const int32_t Zero = 0;
        Row->SetData(0, &Zero, 4);
        Row->SetData(1, "N", 1);
        Table.Rows()->Add(Row);
    }
    dats::TZqDatSTable Table{"T"};
    dats::TZqDatSRow *Row;
};

TEST_F(GeneratorRows, MSSQLInsertReadsTheIdentityBack)
{
    TIdentityTable T(false);
    auto G = MakeGen(mkMSSQL, &Opts, &Params);
    G->SetTable(&T.Table);
    G->SetRow(T.Row);
    EXPECT_EQ(G->GenerateInsert(), "INSERT INTO T (NAME) VALUES (?); SELECT SCOPE_IDENTITY() AS ID");
    EXPECT_EQ(ParamNames(Params), "NEW_NAME");
    // Fresh from construction the kind is left to the command's own analysis.
    EXPECT_EQ(G->GetCommandKind(), skUnknown);
    G->GenerateDelete();
    EXPECT_EQ(G->GetCommandKind(), skDelete);
    G->GenerateInsert();
    EXPECT_EQ(G->GetCommandKind(), skInsert);
}

TEST_F(GeneratorRows, MSSQLExplicitIdentityIsSwitchedOn)
{
    TIdentityTable T(true);
    auto G = MakeGen(mkMSSQL, &Opts, &Params);
    G->SetTable(&T.Table);
    G->SetRow(T.Row);
    G->SetNameOptions(gnQuoteTable);
    EXPECT_EQ(G->GenerateInsert(), "SET IDENTITY_INSERT [T] ON; INSERT INTO [T] (ID, NAME) VALUES (?, ?); "
                                   "SELECT SCOPE_IDENTITY() AS ID; SET IDENTITY_INSERT [T] OFF");
    // Without the dialect's switch the text is left alone.
    Params.Clear();
    auto D = MakeGen(mkDB2, &Opts, &Params);
    D->SetTable(&T.Table);
    D->SetRow(T.Row);
    EXPECT_EQ(D->GenerateInsert(), "INSERT INTO T (ID, NAME) VALUES (?, ?)");
}

TEST_F(GeneratorRows, InsertWithoutWritableColumn)
{
    dats::TZqDatSTable T("T");
    auto *Id = T.Columns()->AddColumn("ID", dtInt32);
    Id->SetAttributes({caSearchable, caReadOnly});
    Id->SetOptions({coInWhere, coInKey});
    auto *Note = T.Columns()->AddColumn("NOTE", dtAnsiString, 20);
    Note->SetOptions({coAllowNull});
    auto G = MakeGen(mkMSSQL, &Opts, &Params);
    G->SetTable(&T);
    G->SetNameOptions(gnQuoteTable | gnQuoteColumns);
    EXPECT_EQ(G->GenerateInsert(), "INSERT INTO [T] DEFAULT VALUES");
    auto A = MakeGen(mkMSAccess, &Opts, &Params);
    A->SetTable(&T);
    A->SetNameOptions(gnQuoteTable | gnQuoteColumns);
    EXPECT_EQ(A->GenerateInsert(), "INSERT INTO [T] ([NOTE]) VALUES (NULL)");
    auto B = MakeGen(mkOther, &Opts, &Params);
    B->SetTable(&T);
    EXPECT_EQ(B->GenerateInsert(), "INSERT INTO T (NOTE) VALUES (DEFAULT)");
}

TEST_F(GeneratorRows, OracleReturnsWhatTheServerChanged)
{
    Opts.FUpdate.SetRefreshMode(rmOnDemand);
    auto Ver = S.Add("VER", dtInt32, 0).Attributes() + TZqDataAttributes{caRowVersion};
    S.Table.Columns()->GetItem(3)->SetAttributes(Ver);
    S.Read();
    S.Edit();
    auto G = Gen(mkOracle);
    EXPECT_EQ(G->GenerateUpdate(),
              "UPDATE STATION SET CRUISE = :NEW_CRUISE WHERE ID = :OLD_ID RETURNING VER INTO :NEW_VER");
    EXPECT_EQ(Params.FindParam("NEW_VER")->ParamType(), rtl::ptOutput);
    EXPECT_EQ(Params.FindParam("NEW_CRUISE")->ParamType(), rtl::ptInput);
    // Nothing to return leaves the statement as it is.
    Opts.FUpdate.SetRefreshMode(rmManual);
    EXPECT_EQ(Gen(mkOracle)->GenerateUpdate(), "UPDATE STATION SET CRUISE = :NEW_CRUISE WHERE ID = :OLD_ID");
}

TEST_F(GeneratorRows, LocatorLobsAreWrittenEmptyThenReturned)
{
    S.Add("NOTE", dtHMemo, 0);
    S.Add("IMG", dtHBlob, 0);
    S.Read();
    auto G = Gen(mkOracle);
    Dialect->FLocatorLobs = true;
    G->SetNameOptions(0);
    Opts.FUpdate.SetUpdateChangedFields(false);
    EXPECT_EQ(G->GenerateUpdate(),
              "UPDATE STATION SET ID = :NEW_ID, CRUISE = :NEW_CRUISE, DEPTH = :NEW_DEPTH, NOTE = EMPTY_CLOB(), "
              "IMG = EMPTY_BLOB() WHERE ID = :OLD_ID");
    EXPECT_TRUE(G->GetHasLocatorLob());

    // Without locators the large objects are ordinary parameters, and the
    // separate large-object UPDATE writes only those that changed.
    auto P = Gen(mkOther);
    EXPECT_EQ(P->GenerateUpdateHBlobs(), "");
    S.Row->BeginEdit();
    S.Row->SetData(3, "memo", 4);
    S.Row->EndEdit();
    P = Gen(mkOther);
    EXPECT_EQ(P->GenerateUpdateHBlobs(), "UPDATE STATION SET NOTE = ? WHERE ID = ?");
    EXPECT_EQ(P->GetCommandKind(), skUpdate);
    EXPECT_TRUE(P->GetHasLocatorLob());
    EXPECT_EQ(ParamNames(Params), "NEW_NOTE,OLD_ID");
}

TEST_F(GeneratorRows, RefreshSelectAfterUpdateReadsCurrentKey)
{
    auto Ver = S.Add("VER", dtInt32, 0).Attributes() + TZqDataAttributes{caRowVersion};
    S.Table.Columns()->GetItem(3)->SetAttributes(Ver);
    S.Read();
    S.Edit();
    auto G = Gen();
    G->SetGenOptions(goOthers | goAfterUpdate);
    EXPECT_EQ(G->GenerateSelect(), "SELECT A.VER FROM STATION A WHERE A.ID = ?");
    EXPECT_EQ(ParamNames(Params), "NEW_ID");
    EXPECT_EQ(G->GetCommandKind(), skSelect);
    // One column only.
    G = Gen();
    G->SetColumn(S.Table.Columns()->GetItem(1));
    EXPECT_EQ(G->GenerateSelect(), "SELECT A.CRUISE FROM STATION A WHERE A.ID = ?");
}

// Hides one column and renames the update table.
class TDescribe : public TZqObject, public virtual IZqPhysDescribeHandler {
public:
    void DescribeTable(dats::TZqDatSTable *, std::string &AName) override { AName = FTableName; }
    void DescribeColumn(dats::TZqDatSColumn *AColumn, std::string &AName, TZqDataAttributes &,
                        TZqDataOptions &) override
    {
        if (AColumn->Name() == "DEPTH") AName.clear();
        if (AColumn->Name() == "CRUISE") AName = "CRUISE_CODE";
    }
    std::string FTableName = "ST2";
};

TEST_F(GeneratorRows, DescribeHandlerNamesTableAndColumns)
{
    Opts.FUpdate.SetUpdateChangedFields(false);
    S.Read();
    auto *D = new TDescribe;
    TZqIntfPtr<IZqPhysDescribeHandler> H(D);
    auto G = Gen();
    G->SetDescribeHandler(H);
    EXPECT_EQ(G->GenerateUpdate(), "UPDATE ST2 SET ID = ?, CRUISE_CODE = ? WHERE ID = ?");
    // The parameters keep the in-memory names, by which the row fills them.
    EXPECT_EQ(ParamNames(Params), "NEW_ID,NEW_CRUISE,OLD_ID");
    D->FTableName.clear();
    EXPECT_EQ(ErrorCodeOf([&] { G->GenerateDelete(); }), 330);
}

} // namespace
