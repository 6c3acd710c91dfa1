// Catalog questions through the ODBC command on the fixture station
// database: tables, table fields, the primary key and its fields, the
// missing-name error, and array execution against a driver that runs
// parameter sets one by one.
#include <memory>

#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "tests/support/StationE2EFixture.h"

namespace {

// The rows of a catalog question, fetched into the kind's table.
std::unique_ptr<TZqDatSTable> Catalog(TZqIntfPtr<IZqPhysCommand> ACmd)
{
    ACmd->Prepare();
    ACmd->Open();
    std::unique_ptr<TZqDatSTable> T(ACmd->Define(static_cast<TZqDatSTable *>(nullptr)));
    if (ACmd->GetState() == 3) ACmd->Fetch(T.get(), true);
    return T;
}

} // namespace

class CatalogE2E : public StationE2E {
protected:
    TZqIntfPtr<IZqPhysCommand> Meta(TZqPhysMetaInfoKind AKind, const std::string &AObject = std::string(),
                                    const std::string &ABase = std::string())
    {
        TZqIntfPtr<IZqPhysCommand> Cmd;
        Conn->CreateCommand(Cmd);
        Cmd->SetMetaInfoKind(AKind);
        Cmd->SetCommandText(AObject);
        Cmd->SetBaseObjectName(ABase);
        return Cmd;
    }
    static std::string Text(TZqDatSTable &T, int ARow, const char *ACol) { return Value(T, ARow, ACol).AsString(); }
};

TEST_P(CatalogE2E, TablesListsTheStationTableAsAnOwnTable)
{
    CreateCastTitles();
    Exec("CREATE TABLE PTS_Data (ID_Cast " + GetParam().Long + ", PRES " + GetParam().Double + ")");
    auto T = Catalog(Meta(1));
    int Found = 0;
    for (int I = 0; I < T->Rows()->Count(); ++I) {
        const std::string Name = Text(*T, I, "TABLE_NAME");
        if (Name != "Cast_Titles" && Name != "PTS_Data") continue;
        ++Found;
        EXPECT_EQ(Value(*T, I, "TABLE_TYPE").AsInteger(), 1) << Name;
        EXPECT_EQ(Value(*T, I, "RECNO").AsInteger(), I + 1);
    }
    EXPECT_EQ(Found, 2);
}

TEST_P(CatalogE2E, TableFieldsDescribeEveryColumnInOrder)
{
    CreateCastTitles();
    auto T = Catalog(Meta(2, "Cast_Titles"));
    ASSERT_EQ(T->Rows()->Count(), 7);
    const char *Names[] = {"ID", "ID_Cruise", "Date_Cast", "Time_Cast", "Velosity", "Station", "Note"};
    for (int I = 0; I < 7; ++I) {
        EXPECT_EQ(Text(*T, I, "COLUMN_NAME"), Names[I]);
        EXPECT_EQ(Value(*T, I, "COLUMN_POSITION").AsInteger(), I + 1);
        EXPECT_EQ(Text(*T, I, "TABLE_NAME"), "Cast_Titles");
    }
    EXPECT_EQ(Value(*T, 0, "COLUMN_DATATYPE").AsInteger(), dtInt32);
    EXPECT_EQ(Value(*T, 4, "COLUMN_DATATYPE").AsInteger(), dtDouble);
    EXPECT_EQ(Value(*T, 5, "COLUMN_DATATYPE").AsInteger(), dtAnsiString);
    EXPECT_EQ(Value(*T, 5, "COLUMN_LENGTH").AsInteger(), 20);
    const TZqDataAttributes Note =
        TZqDataAttributes::FromBits(uint16_t(Value(*T, 6, "COLUMN_ATTRIBUTES").AsInteger()));
    EXPECT_TRUE(Note.Contains(caBlobData));
    EXPECT_TRUE(Note.Contains(caAllowNull));
}

TEST_P(CatalogE2E, PrimaryKeyAndItsFieldsNameTheIdColumn)
{
    CreateCastTitles();
    auto K = Catalog(Meta(5, "Cast_Titles"));
    ASSERT_EQ(K->Rows()->Count(), 1);
    EXPECT_EQ(Value(*K, 0, "INDEX_TYPE").AsInteger(), 2);
    EXPECT_EQ(Text(*K, 0, "TABLE_NAME"), "Cast_Titles");

    // The table as the base object, and by its own name.
    for (auto Cmd : {Meta(6, "", "Cast_Titles"), Meta(6, "Cast_Titles")}) {
        auto F = Catalog(Cmd);
        ASSERT_EQ(F->Rows()->Count(), 1);
        EXPECT_EQ(Text(*F, 0, "COLUMN_NAME"), "ID");
        EXPECT_EQ(Value(*F, 0, "COLUMN_POSITION").AsInteger(), 1);
    }
}

TEST_P(CatalogE2E, MissingTableNameRaises339AndGeneratorsAnswerNothing)
{
    int Code = 0;
    try {
        Catalog(Meta(2));
    } catch (const EZqException &E) {
        Code = E.ErrorCode();
        EXPECT_NE(std::string(E.what()).find("table name"), std::string::npos) << E.what();
    }
    EXPECT_EQ(Code, 339);
    auto G = Catalog(Meta(9));
    EXPECT_EQ(G->Rows()->Count(), 0);
}

TEST_P(CatalogE2E, ArrayInsertFromOffsetRunsTheRemainingRows)
{
    CreateCastTitles();
    auto Ins = Command("INSERT INTO Cast_Titles (ID, ID_Cruise, Velosity) VALUES (:ID, 12, :V)");
    TZqParams *P = Ins->GetParams();
    P->ParamByName("ID")->SetArraySize(3);
    P->ParamByName("V")->SetArraySize(3);
    for (int R = 0; R < 3; ++R) {
        P->ParamByName("ID")->SetAsInteger(20 + R, R);
        P->ParamByName("V")->SetAsFloat(R * 1.5, R);
    }
    Ins->Execute(3, 1);
    EXPECT_EQ(Ins->GetRowsAffected(), 2);
    TZqDatSTable T;
    Query("SELECT ID, Velosity FROM Cast_Titles WHERE ID_Cruise = 12 ORDER BY ID", T);
    ASSERT_EQ(T.Rows()->Count(), 2);
    EXPECT_EQ(Value(T, 0, "ID").AsInteger(), 21);
    EXPECT_EQ(Value(T, 1, "ID").AsInteger(), 22);
    EXPECT_DOUBLE_EQ(Value(T, 1, "Velosity").AsDouble(), 3.0);

    // A plain execute of an array command runs its first row only.
    P->ParamByName("ID")->SetAsInteger(30, 0);
    Ins->Execute();
    EXPECT_EQ(Ins->GetRowsAffected(), 1);
}


TEST_P(CatalogE2E, GeneratedUpdateNamesTheDiscoveredKeyAndChangesOneRow)
{
    CreateCastTitles();
    TZqDatSTable T;
    Query("SELECT * FROM Cast_Titles WHERE ID_Cruise = 7 ORDER BY ID", T);
    ASSERT_EQ(T.Rows()->Count(), 3);
    // The key as the catalog tells it.
    auto Key = Catalog(Meta(6, "", "Cast_Titles"));
    ASSERT_EQ(Key->Rows()->Count(), 1);
    TZqDatSColumn *KeyCol = T.Columns()->GetItem(Column(T, Text(*Key, 0, "COLUMN_NAME")));
    TZqDataOptions O = KeyCol->Options();
    KeyCol->SetOptions(O.Include(coInKey));

    TZqDatSRow *Row = T.Rows()->GetItem(1); // ID 2, the cast of 1888
    Row->BeginEdit();
    Row->SetDataFromVariant(Column(T, "Velosity"), 1491.0);
    Row->EndEdit();

    auto Upd = Command("");
    Upd->GetOptions()->GetResourceOptions()->SetParamCreate(false);
    Upd->GetOptions()->GetUpdateOptions()->SetUpdateMode(upWhereKeyOnly);
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, Upd);
    Gen->SetOptions(Upd->GetOptions());
    Gen->SetTable(&T);
    Gen->SetRow(Row);
    Gen->SetParams(Upd->GetParams());
    const std::string Sql = Gen->GenerateUpdate();
    const size_t Where = Sql.find("WHERE");
    ASSERT_NE(Where, std::string::npos) << Sql;
    EXPECT_NE(Sql.find("ID", Where), std::string::npos) << Sql;
    EXPECT_EQ(Sql.find("Velosity", Where), std::string::npos) << Sql;
    // The values as an adapter hands them: new ones current, old ones original.
    TZqParams *P = Upd->GetParams();
    for (int I = 0; I < P->Count(); ++I) {
        const std::string Name = P->Items(I)->Name();
        const bool New = Name.rfind("NEW_", 0) == 0;
        const dats::TZqDatSRowVersion Version = New ? dats::rvCurrent : dats::rvOriginal;
        P->Items(I)->SetValue(Row->GetDataAsVariant(Column(T, Name.substr(4)), Version));
    }
    Upd->SetCommandText(Sql);
    Upd->Execute();
    EXPECT_EQ(Upd->GetRowsAffected(), 1);

    TZqDatSTable U;
    Query("SELECT ID, Velosity FROM Cast_Titles ORDER BY ID", U, Connect());
    const double Expected[] = {1503.25, 1491.0, 1511.0, 1502.75};
    ASSERT_EQ(U.Rows()->Count(), 4);
    for (int I = 0; I < 4; ++I) EXPECT_DOUBLE_EQ(Value(U, I, "Velosity").AsDouble(), Expected[I]) << I;
}

TEST_P(CatalogE2E, IndexesGiveOneRowEachAndTheKeyIsMarked)
{
    CreateCastTitles();
    Exec("CREATE INDEX ByCruise ON Cast_Titles (ID_Cruise, Date_Cast)");
    auto T = Catalog(Meta(3, "Cast_Titles"));
    int Key = -1, ByCruise = -1;
    for (int I = 0; I < T->Rows()->Count(); ++I) {
        if (Value(*T, I, "INDEX_TYPE").AsInteger() == 2) Key = I;
        if (Text(*T, I, "INDEX_NAME") == "ByCruise") ByCruise = I;
    }
    ASSERT_GE(Key, 0);
    ASSERT_GE(ByCruise, 0);
    EXPECT_EQ(Value(*T, ByCruise, "INDEX_TYPE").AsInteger(), 0);
    EXPECT_EQ(T->Rows()->Count(), 2);

    auto F = Catalog(Meta(4, "ByCruise", "Cast_Titles"));
    ASSERT_EQ(F->Rows()->Count(), 2);
    EXPECT_EQ(Text(*F, 0, "COLUMN_NAME"), "ID_Cruise");
    EXPECT_EQ(Text(*F, 1, "COLUMN_NAME"), "Date_Cast");
    EXPECT_EQ(Value(*F, 1, "COLUMN_POSITION").AsInteger(), 2);
}

TEST_P(CatalogE2E, KeyOfAnUnreadableTableNameIsNoKeyNotAFailure)
{
    CreateCastTitles();
    // Too many dotted parts for any name of the dialect.
    const std::string Name = "a.b.c.d.e.Cast_Titles";
    EXPECT_EQ(Catalog(Meta(5, Name))->Rows()->Count(), 0);
    EXPECT_EQ(Catalog(Meta(6, "", Name))->Rows()->Count(), 0);
    // other questions still report the name
    EXPECT_THROW(Catalog(Meta(2, Name)), EZqException);
}

INSTANTIATE_TEST_SUITE_P(Drivers, CatalogE2E, ::testing::ValuesIn(E2ETargets()), E2ETargetName);
