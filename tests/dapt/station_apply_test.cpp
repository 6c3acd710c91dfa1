// Cached changes of a station table posted to a real database through a
// table adapter: the Access driver, the ODBC command and our ODBC driver.
#include <map>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "tests/support/StationE2EFixture.h"

using namespace dats;

namespace {

class StationApply : public StationE2E {
protected:
    void SetUp() override
    {
        StationE2E::SetUp();
        ZqDAptInitialize();
        CreateCastTitles();
        ZqCreateInterface(Adapter);
        Select = Command("SELECT ID, Velosity, Station FROM Cast_Titles ORDER BY ID");
        Adapter->SetSelectCommand(Select);
        Adapter->SetUpdateTableName("Cast_Titles");
    }
    void TearDown() override
    {
        Adapter.Reset();
        Select.Reset();
        StationE2E::TearDown();
    }
    TZqDatSTable *Load()
    {
        TZqDatSTable *T = Adapter->Define();
        Select->Open();
        Adapter->Fetch(true);
        return T;
    }
    // ID -> "velocity/station" as a second connection reads them.
    std::map<int, std::string> OnServer()
    {
        TZqDatSTable T;
        Query("SELECT ID, Velosity, Station FROM Cast_Titles ORDER BY ID", T, Connect());
        std::map<int, std::string> M;
        for (int I = 0; I < T.Rows()->Count(); ++I)
            M[Value(T, I, "ID").AsInteger()] =
                std::to_string(int(Value(T, I, "Velosity").AsDouble() * 100)) + "/" + Value(T, I, "Station").AsString();
        return M;
    }
    static void Set(TZqDatSRow *R, int AColumn, const rtl::Variant &AValue)
    {
        R->BeginEdit();
        R->SetDataFromVariant(AColumn, AValue);
        R->EndEdit();
    }

    TZqIntfPtr<IZqDAptTableAdapter> Adapter;
    TZqIntfPtr<IZqPhysCommand> Select;
};

TEST_P(StationApply, ChangesReachTheDatabaseAndARowGoneOnTheServerIsCounted)
{
    TZqDatSTable *T = Load();
    ASSERT_EQ(T->Rows()->Count(), 4);
    Set(T->Rows()->GetItem(0), 1, 1600.5);  // ID 1
    Set(T->Rows()->GetItem(3), 2, "BS-9"); // ID 4
    T->Rows()->GetItem(2)->Delete();        // ID 3
    TZqDatSRow *New = T->NewRow();
    New->SetDataFromVariant(0, 5);
    New->SetDataFromVariant(1, 1480.0);
    New->SetDataFromVariant(2, "MS-2");
    T->Rows()->Add(New);
    // Someone else removes cast 1 meanwhile: its update finds no record.
    EXPECT_EQ(Exec("DELETE FROM Cast_Titles WHERE ID = 1", Connect()), 1);

    EXPECT_EQ(Adapter->ApplyUpdates(-1), 1);
    EXPECT_EQ(OnServer(), (std::map<int, std::string>{{2, "149050/BS-2"}, {4, "150275/BS-9"}, {5, "148000/MS-2"}}));
    // The row keeps the server's "no data" answer for Reconcile.
    ASSERT_TRUE(T->Rows()->GetItem(0)->HasErrors());
    auto *E = dynamic_cast<const EZqDBEngineException *>(T->Rows()->GetItem(0)->GetRowError());
    ASSERT_NE(E, nullptr);
    EXPECT_EQ(E->Kind(), ekNoDataFound);
    EXPECT_FALSE(T->Rows()->GetItem(1)->HasErrors());
}

TEST_P(StationApply, AFailureBeyondTheMaximumLeavesTheRestUnposted)
{
    TZqDatSTable *T = Load();
    Set(T->Rows()->GetItem(0), 1, 1600.5);
    Set(T->Rows()->GetItem(1), 1, 1601.5);
    Set(T->Rows()->GetItem(3), 1, 1602.5);
    EXPECT_EQ(Exec("DELETE FROM Cast_Titles WHERE ID IN (1, 2)", Connect()), 2);
    EXPECT_EQ(Adapter->ApplyUpdates(1), 2);
    // Cast 4 came after the second failure and stays as it was.
    EXPECT_EQ(OnServer(), (std::map<int, std::string>{{3, "151100/MS-1"}, {4, "150275/BS-3"}}));
    EXPECT_EQ(T->Rows()->GetItem(3)->RowState(), rsModified);
}

INSTANTIATE_TEST_SUITE_P(
    Access, StationApply,
    ::testing::Values(TE2ETarget{"MSAcc", "DriverID=MSAcc;Database=%DB%",
                                 [](TZqPhysManager *M) { M->RegisterDriverClass(&ZqPhysMSAccConnectionClass); }}),
    [](const ::testing::TestParamInfo<TE2ETarget> &I) { return I.param.Name; });

} // namespace
