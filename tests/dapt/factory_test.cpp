// The adapters as the client components obtain them: through the object
// factory, held by interface.
#include <gtest/gtest.h>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "tests/support/fake_driver.h"

namespace {

class AdapterFactory : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        ZqDAptInitialize();
    }
};

TEST_F(AdapterFactory, EachRequestMakesANewAdapter)
{
    TZqIntfPtr<IZqDAptTableAdapter> A, B;
    ASSERT_TRUE(ZqCreateInterface(A));
    ASSERT_TRUE(ZqCreateInterface(B));
    EXPECT_NE(A.Get(), B.Get());
    EXPECT_EQ(A->GetSourceRecordSetID(), -1);
    EXPECT_FALSE(A->GetTableAdapters());
    // A free-standing adapter is its own object: no parent.
    auto Obj = TZqIntfPtr<IZqStanObject>::Query(A);
    ASSERT_TRUE(Obj);
    EXPECT_FALSE(Obj->GetParent());
    A->SetSourceRecordSetName("Cruise_Titles");
    EXPECT_EQ(Obj->GetName().rfind("Cruise_Titles: TZqDAptTableAdapter($", 0), 0u) << Obj->GetName();

    TZqIntfPtr<IZqDAptSchemaAdapter> S;
    ASSERT_TRUE(ZqCreateInterface(S));
    auto SObj = TZqIntfPtr<IZqStanObject>::Query(S);
    EXPECT_EQ(SObj->GetName().rfind("TZqDAptSchemaAdapter($", 0), 0u) << SObj->GetName();
    S->GetDatSManager()->SetName("Stations");
    EXPECT_EQ(SObj->GetName().rfind("Stations: TZqDAptSchemaAdapter($", 0), 0u) << SObj->GetName();
}

TEST_F(AdapterFactory, AdaptersOfASchemaLiveAsLongAsTheSchemaIsHeld)
{
    TZqIntfPtr<IZqDAptSchemaAdapter> S;
    ZqCreateInterface(S);
    TZqIntfPtr<IZqDAptTableAdapter> A = S->GetTableAdapters()->Add("Cast_Titles", "Casts", "CAST_TITLES");
    EXPECT_EQ(A->GetDatSTableName(), "Casts");
    EXPECT_EQ(A->GetUpdateTableName(), "CAST_TITLES");
    auto Parent = TZqIntfPtr<IZqStanObject>::Query(A)->GetParent();
    EXPECT_EQ(Parent.Get(), TZqIntfPtr<IZqStanObject>::Query(S).Get());
    // Letting go of the schema first keeps the adapter held alive, and the
    // adapter keeps the schema.
    S.Reset();
    TZqIntfPtr<IZqDAptTableAdapters> L = A->GetTableAdapters();
    ASSERT_TRUE(L);
    EXPECT_EQ(L->GetCount(), 1);
    L.Reset();
    A.Reset(); // frees both; the sanitizer reports a leak or a double free
}

} // namespace

namespace {

TEST(AdapterLayerStartup, ARestartedRegistryGetsTheAdaptersAgain)
{
    // The registry of a restart often takes the freed block of the last one.
    for (int I = 0; I < 6; ++I) {
        ZqShutdownManager();
        fake::Services();
        ZqDAptInitialize();
        TZqIntfPtr<IZqDAptTableAdapter> A;
        ASSERT_TRUE(ZqCreateInterface(A, false)) << "restart " << I;
    }
}

} // namespace
