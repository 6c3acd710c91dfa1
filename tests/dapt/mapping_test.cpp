// Update names reach generated statements through the mapping handler, and
// the adapter's own errors reach its error handler.
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/dapt/dapt_fixture.h"

using namespace dats;

namespace {

// Renames the table and the NAME column; leaves every other column alone.
class TRenamer : public TZqObject, public virtual IZqPhysMappingHandler {
public:
    int MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult) override
    {
        EXPECT_EQ(AKind, mkDatSTable);
        EXPECT_NE(AKey.Table, nullptr);
        AResult.UpdateName = "STATIONS";
        return 1;
    }
    int MapColumn(const TZqMappingKey &, TZqMappingKeyKind, const TZqMappingKey &AColumnKey,
                  TZqMappingKeyKind AColumnKind, TZqColumnMapResult &AResult) override
    {
        EXPECT_EQ(AColumnKind, mkDatSColumn);
        if (AColumnKey.Column->Name() != "NAME") return 2;
        AResult.UpdateName = "STATION_NAME";
        return 1;
    }
};

class MappingNames : public DaptConnection {};

TEST_F(MappingNames, TheGeneratorAsksTheMappingHandlerForUpdateNames)
{
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface(A);
    A->SetSelectCommand(NewSelect());
    TZqDatSTable *T = Load(A.Get());
    TZqDatSRow *R = Row(T, 0);
    Edit(R, "delta");
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, A->GetSelectCommand());
    TZqParams Params;
    Gen->SetTable(T);
    Gen->SetRow(R);
    Gen->SetParams(&Params);
    Gen->SetGenOptions(goOthers);
    EXPECT_EQ(Gen->GenerateUpdate(), "UPDATE T SET NAME = ? WHERE ID = ?");
    Gen->SetMappingHandler(TZqIntfPtr<IZqPhysMappingHandler>(new TRenamer()));
    Params.Clear();
    EXPECT_EQ(Gen->GenerateUpdate(), "UPDATE STATIONS SET STATION_NAME = ? WHERE ID = ?");
}

TEST_F(MappingNames, AnAdapterInASchemaWritesItsUpdateNames)
{
    TZqIntfPtr<IZqDAptSchemaAdapter> S;
    ZqCreateInterface(S);
    TZqIntfPtr<IZqDAptTableAdapter> A = S->GetTableAdapters()->Add("", "Stations", "STATION_TITLES");
    TZqDAptColumnMapping *Key = A->GetColumnMappings()->Add();
    Key->SetSourceColumnName("ID");
    Key->SetUpdateColumnName("STATION_ID");
    TZqDAptColumnMapping *Name = A->GetColumnMappings()->Add();
    Name->SetSourceColumnName("NAME");
    Name->SetDatSColumnName("TITLE");
    A->SetSelectCommand(NewSelect());
    TZqDatSTable *T = Load(A.Get());
    ASSERT_EQ(T->Columns()->GetItem(1)->Name(), "TITLE");
    Edit(Row(T, 1), "b");
    Row(T, 2)->Delete();
    EXPECT_EQ(S->ApplyUpdates(-1), 0);
    ASSERT_EQ(daptfake::Log().size(), 2u);
    // Without an update column name the mapping writes its source name.
    EXPECT_EQ(daptfake::Log()[0], "exec:UPDATE STATION_TITLES SET NAME = ? WHERE STATION_ID = ?|NEW_TITLE=b|OLD_ID=2");
    EXPECT_EQ(daptfake::Log()[1], "exec:DELETE FROM STATION_TITLES WHERE STATION_ID = ?|OLD_ID=3");
}

// Clears every error it is shown.
class TSwallower : public TZqObject, public virtual IZqStanErrorHandler {
public:
    void HandleException(const TZqIntfPtr<IZqStanObject> &, std::unique_ptr<rtl::Exception> &AException) override
    {
        if (auto *E = dynamic_cast<EZqException *>(AException.get())) Codes.push_back(E->ErrorCode());
        AException.reset();
    }
    std::vector<int> Codes;
};

TEST_F(MappingNames, AClearedMissingSelectCommandErrorLeavesTheCallsDoingNothing)
{
    TZqIntfPtr<IZqDAptTableAdapter> A;
    ZqCreateInterface(A);
    auto *H = new TSwallower();
    A->SetErrorHandler(TZqIntfPtr<IZqStanErrorHandler>(H));
    EXPECT_EQ(A->Define(), nullptr);
    EXPECT_NO_THROW(A->Fetch(true));
    EXPECT_EQ(A->ApplyUpdates(-1), 0);
    EXPECT_TRUE(A->Reconcile());
    TZqDatSTable T("T");
    T.Columns()->AddColumn("ID", dtInt32);
    TZqDatSRow *R = T.NewRow();
    TZqErrorAction Action = eaDefault;
    A->UpdateRow(R, Action, arInsert, 0);
    EXPECT_EQ(Action, eaExitFailure);
    delete R;
    EXPECT_EQ(H->Codes, (std::vector<int>{402, 402, 402, 402, 402}));
}

} // namespace
