// Definitions and the definition file: inheritance from "VexaSettings",
// naming, parents, errors 250-255, save and reload; connection definitions
// with their keys, option lines and connection strings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "tests/services/services_env.h"

namespace fs = std::filesystem;

namespace {

class DefinitionFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZqServicesTestSetup();
        FDir = fs::temp_directory_path() / ("marlin_defs_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(FDir);
        FFile = (FDir / "ZqConnectionDefs.ini").string();
    }
    void TearDown() override { fs::remove_all(FDir); }

    void WriteFile(const std::string &AText)
    {
        std::ofstream(FFile) << AText;
    }

    TZqIntfPtr<IZqStanConnectionDefs> NewList()
    {
        TZqIntfPtr<IZqStanConnectionDefs> L;
        ZqCreateInterface(L);
        L->GetStorage()->SetFileName(FFile);
        return L;
    }

    fs::path FDir;
    std::string FFile;
};

} // namespace

TEST_F(DefinitionFile, SettingsSectionIsTheHiddenParent)
{
    WriteFile("[Main]\nDatabase=a.mdb\nDriverID=MSAcc\n\n[VexaSettings]\nDriverID=MSAcc\nUser_Name=admin\n");
    auto L = NewList();
    EXPECT_EQ(L->GetCount(), 1);
    auto Main = L->ConnectionDefByName("main");
    EXPECT_EQ(Main->GetDriverID(), "MSAcc");
    EXPECT_EQ(Main->GetUserName(), "admin");
    EXPECT_EQ(Main->GetName(), "Main");
    EXPECT_FALSE(Main->HasValue("DriverID")); // equal to the settings' value: dropped at load
    EXPECT_EQ(Main->GetParams().Values("Database"), "a.mdb");
    EXPECT_EQ(Main->GetState(), ZqDefStored);
    EXPECT_EQ(Main->GetStyle(), ZqDefPersistent);
    EXPECT_TRUE(L->GetLoaded());
    EXPECT_EQ(CodeOf([&] { L->Load(); }), 253);
}

TEST_F(DefinitionFile, ValueEqualToTheParentsIsDroppedOnlyWhenExactlyEqual)
{
    WriteFile("[VexaSettings]\nDriverID=MSAcc\nPassword=Secret\n[Main]\nDatabase=a.mdb\nDriverID=ODBC\n");
    auto L = NewList();
    auto Main = L->ConnectionDefByName("Main");
    EXPECT_TRUE(Main->HasValue("DriverID"));
    Main->SetAsString("DriverID", "MSAcc");
    EXPECT_FALSE(Main->HasValue("DriverID"));
    EXPECT_EQ(Main->GetState(), ZqDefModified);
    Main->SetPassword("secret");
    EXPECT_TRUE(Main->HasValue("Password"));
    EXPECT_EQ(Main->GetPassword(), "secret");
    Main->SetDatabase("/data/A.mdb");
    Main->SetDatabase("/data/a.mdb");
    EXPECT_EQ(Main->GetDatabase(), "/data/a.mdb");
}

TEST_F(DefinitionFile, UnnamedDefinitionsAreNumbered)
{
    auto L = NewList();
    EXPECT_EQ(L->Add()->GetName(), "Unnamed");
    EXPECT_EQ(L->Add()->GetName(), "Unnamed_1");
    EXPECT_EQ(L->Add()->GetName(), "Unnamed_2");
    EXPECT_EQ(L->GetCount(), 3);
    EXPECT_EQ(L->GetItems(0)->GetStyle(), ZqDefPrivate);
    EXPECT_FALSE(L->GetLoaded()); // no file: the list stays not loaded
}

TEST_F(DefinitionFile, DuplicateNameIsRefusedAndTheOldNameKept)
{
    auto L = NewList();
    auto A = L->Add();
    auto B = L->Add();
    A->SetName("Main");
    EXPECT_EQ(CodeOf([&] { B->SetName("MAIN"); }), 255);
    EXPECT_EQ(B->GetName(), "Unnamed_1");
    EXPECT_EQ(L->FindDefinition("none"), nullptr);
    EXPECT_EQ(CodeOf([&] { L->DefinitionByName("none"); }), 254);
}

TEST_F(DefinitionFile, ParentByNameMissingItselfAndCycles)
{
    WriteFile("[Child]\nParent=Nowhere\nDatabase=x\n[Self]\nParent=Self\n[A]\nParent=B\n[B]\nParent=A\n"
              "[Base]\nDriverID=MSAcc\nDatabase=base.mdb\n[Derived]\nConnectionDef=Base\n");
    auto L = NewList();
    EXPECT_EQ(CodeOf([&] { L->FindDefinition("Child")->GetAsString("DriverID"); }), 254);
    EXPECT_EQ(CodeOf([&] { L->FindDefinition("Self")->GetAsString("DriverID"); }), 250);
    EXPECT_EQ(CodeOf([&] { L->FindDefinition("A")->GetAsString("DriverID"); }), 250);
    auto D = L->FindConnectionDef("Derived");
    EXPECT_EQ(D->GetDatabase(), "base.mdb");
    EXPECT_EQ(D->GetParentDefinition()->GetName(), "Base");
    int Level = 0;
    EXPECT_TRUE(D->IsSpecifiedLevel("Database", Level));
    EXPECT_EQ(Level, 1);
    EXPECT_FALSE(D->IsSpecifiedLevel("Password", Level));
    EXPECT_EQ(Level, 2147483647);
}

TEST_F(DefinitionFile, SaveAndReload)
{
    {
        auto L = NewList();
        auto D = L->AddConnectionDef();
        D->SetName("Station");
        EXPECT_EQ(CodeOf([&] { D->MarkPersistent(); }), 252); // no driver yet
        D->SetDriverID("MSAcc");
        D->SetDatabase("/data/black2007.mdb");
        D->SetPooled(true);
        D->MarkPersistent();
        auto P = L->AddConnectionDef(); // private: never written
        P->SetDriverID("MSAcc");
        L->Save();
        EXPECT_EQ(D->GetState(), ZqDefStored);
    }
    {
        auto L = NewList();
        ASSERT_EQ(L->GetCount(), 1);
        auto D = L->ConnectionDefByName("Station");
        EXPECT_EQ(D->GetDatabase(), "/data/black2007.mdb");
        EXPECT_TRUE(D->GetPooled());
        EXPECT_EQ(D->GetParams().Values("Pooled"), "True");
        // Rename, apply: the old section goes.
        D->SetName("Black");
        EXPECT_EQ(D->GetState(), ZqDefModified);
        D->Apply();
    }
    {
        auto L = NewList();
        EXPECT_EQ(L->FindDefinition("Station"), nullptr);
        auto D = L->DefinitionByName("Black");
        D->Delete();
        EXPECT_EQ(D->GetState(), ZqDefDeleted);
        D->Cancel();
        EXPECT_EQ(D->GetState(), ZqDefStored);
        D->Delete();
        L->Save();
        EXPECT_EQ(L->GetCount(), 0);
    }
    auto L = NewList();
    EXPECT_EQ(L->GetCount(), 0);
}

TEST_F(DefinitionFile, CancelTakesBackAChange)
{
    WriteFile("[Main]\nDriverID=MSAcc\nDatabase=a.mdb\n");
    auto L = NewList();
    auto D = L->DefinitionByName("Main");
    D->SetAsString("Database", "b.mdb");
    D->SetName("Other");
    D->Cancel();
    EXPECT_EQ(D->GetName(), "Main");
    EXPECT_EQ(D->GetAsString("Database"), "a.mdb");
    auto New = L->Add();
    New->Cancel();
    EXPECT_EQ(L->GetCount(), 1);
}

TEST_F(DefinitionFile, AssociatedConnectionForbidsChangeAndDelete)
{
    auto L = NewList();
    auto D = L->Add();
    int Conn = 0, Other = 0;
    D->SetAssociatedConnection(&Conn, {doChange, doDelete});
    EXPECT_EQ(CodeOf([&] { D->SetAsString("Database", "x"); }), 251);
    EXPECT_EQ(CodeOf([&] { D->GetParams().Add("Database=x"); }), 251);
    EXPECT_EQ(CodeOf([&] { D->Delete(); }), 251);
    EXPECT_EQ(CodeOf([&] { D->SetAssociatedConnection(&Other, {doChange}); }), 251);
    D->SetAssociatedConnection(&Conn, {});
    D->SetAsString("Database", "x");
    EXPECT_EQ(D->GetAsString("Database"), "x");
}

TEST_F(DefinitionFile, ListFileFromTheSettingWhenNoneIsGiven)
{
    WriteFile("[FromSetting]\nDriverID=MSAcc\n");
    ::setenv("ConnectionDefFile", FFile.c_str(), 1);
    TZqIntfPtr<IZqStanConnectionDefs> L;
    ZqCreateInterface(L);
    ::unsetenv("ConnectionDefFile");
    EXPECT_EQ(L->GetStorage()->GetDefaultFileName(), "ZqConnectionDefs.ini");
    EXPECT_EQ(L->GetStorage()->GetActualFileName(), FFile);
    EXPECT_NE(L->FindDefinition("FromSetting"), nullptr);
}

// ---- standalone definitions and connection strings ------------------------------------

namespace {

TZqIntfPtr<IZqStanConnectionDef> Standalone()
{
    ZqServicesTestSetup();
    TZqIntfPtr<IZqStanConnectionDef> D;
    ZqCreateInterface(D);
    return D;
}

} // namespace

TEST(ConnectionString, ApplicationStringRoundTrips)
{
    auto D = Standalone();
    EXPECT_EQ(D->GetParams().Count(), 0);
    EXPECT_EQ(D->GetStyle(), ZqDefStandalone);
    std::string Rest = "x";
    D->ParseString("DriverID=MSAcc;Database=/data/black2007.mdb", nullptr, Rest);
    EXPECT_EQ(Rest, "");
    EXPECT_EQ(D->GetParams().Count(), 2);
    EXPECT_EQ(D->GetDriverID(), "MSAcc");
    EXPECT_EQ(D->BuildString(nullptr), "DriverID=MSAcc;Database=/data/black2007.mdb");

    auto W = Standalone();
    W->ParseString("DriverID=MSAcc;Database=C:\\data\\a.mdb", nullptr, Rest);
    EXPECT_EQ(W->BuildString(nullptr), "DriverID=MSAcc;Database=C:\\data\\a.mdb");
}

TEST(ConnectionString, SpecialCharactersAreBracedAndParseBack)
{
    for (std::string Value : {"a;b.mdb", "x}y;z", "{q", "p=1", "weird}", "@home"}) {
        auto D = Standalone();
        D->SetDatabase(Value);
        std::string Text = D->BuildString(nullptr);
        EXPECT_EQ(Text.substr(0, 10), "Database={") << Text;
        auto E = Standalone();
        std::string Rest;
        E->ParseString(Text + ";DriverID=MSAcc", nullptr, Rest);
        EXPECT_EQ(E->GetDatabase(), Value) << Text;
        EXPECT_EQ(E->GetDriverID(), "MSAcc") << Text;
    }
    auto D = Standalone();
    std::string Rest;
    D->ParseString("Password=\"a;b\";DRIVER={Microsoft Access Driver (*.mdb)}", nullptr, Rest);
    EXPECT_EQ(D->GetPassword(), "a;b");
    EXPECT_EQ(D->GetAsString("DRIVER"), "Microsoft Access Driver (*.mdb)");
}

TEST(ConnectionString, KeywordsRenameAndCollectTheRest)
{
    rtl::TStringList Keys;
    Keys.Add("Database=DBQ");
    Keys.Add("DriverID");
    auto D = Standalone();
    std::string Rest;
    D->ParseString("DBQ=a.mdb;UID=u;DriverID=MSAcc", &Keys, Rest);
    EXPECT_EQ(D->GetDatabase(), "a.mdb");
    EXPECT_EQ(Rest, "UID=u");
    EXPECT_FALSE(D->HasValue("UID"));
    // Output in the keyword list's order.
    EXPECT_EQ(D->BuildString(&Keys), "DBQ=a.mdb;DriverID=MSAcc");
}

TEST(ConnectionString, EmptyValuesAndOwnValuesFirst)
{
    auto D = Standalone();
    D->GetParams().Add("Password=");
    D->SetDriverID("MSAcc");
    EXPECT_EQ(D->BuildString(nullptr), "DriverID=MSAcc");
    auto P = Standalone();
    P->SetDriverID("ODBC");
    P->SetAsString("User_Name", "parent");
    D->SetParentDefinition(TZqIntfPtr<IZqStanDefinition>::Query(P));
    EXPECT_EQ(D->BuildString(nullptr), "DriverID=MSAcc;User_Name=parent");
    // "User name" of the definition itself is nearer than the parent's User_Name.
    D->GetParams().Add("User name=own");
    EXPECT_EQ(D->GetUserName(), "own");
    D->SetUserName("newer");
    EXPECT_EQ(D->GetParams().Values("User_Name"), "newer");
}

TEST(ConnectionString, VariablesAreExpanded)
{
    ::setenv("MARLIN_TEST_DATA", "/srv/data", 1);
    ZqClearVariables();
    auto D = Standalone();
    D->SetDatabase("$(MARLIN_TEST_DATA)/a.mdb");
    EXPECT_EQ(D->GetDatabase(), "$(MARLIN_TEST_DATA)/a.mdb");
    EXPECT_EQ(D->GetExpandedDatabase(), "/srv/data/a.mdb");
    EXPECT_EQ(D->BuildString(nullptr), "Database=/srv/data/a.mdb");
    ::unsetenv("MARLIN_TEST_DATA");
    ZqClearVariables();
}

TEST(ConnectionDefinition, TypedValues)
{
    auto D = Standalone();
    EXPECT_FALSE(D->GetPooled());
    D->SetPooled(true);
    EXPECT_EQ(D->GetParams().Values("Pooled"), "True");
    D->SetAsString("Pooled", "yes");
    EXPECT_TRUE(D->GetPooled());
    D->SetAsInteger("POOL_MaximumItems", 7);
    EXPECT_EQ(D->GetAsInteger("pool_maximumitems"), 7);
    D->SetAsString("Count", "abc");
    EXPECT_EQ(D->GetAsInteger("Count"), 0);
    D->SetDriverID("mssql");
    EXPECT_EQ(D->GetDriverID(), "mssql");
    rtl::TStringList L;
    L.Add("DriverID=mssql");
    D->SetParams(L);
    EXPECT_EQ(D->GetDriverID(), "MSSQL2000");
}

TEST(ConnectionDefinition, OptionsWrittenAndReadBack)
{
    auto D = Standalone();
    TZqFetchOptions F(nullptr);
    TZqFormatOptions Fm(nullptr);
    TZqUpdateOptions U(nullptr);
    TZqTopResourceOptions R(nullptr);
    F.SetMode(fmAll);
    F.SetItems({fiBlobs, fiMeta});
    U.SetUpdateChangedFields(false);
    R.SetAsyncCmdTimeout(5000);
    R.SetMaxCursors(3);
    TZqMapRule *Rule = Fm.MapRules()->Add();
    Rule->SetSourceDataType(dtBCD);
    Rule->SetTargetDataType(dtInt32);
    Rule->SetPrecMax(10);
    Fm.SetOwnMapRules(true);
    D->WriteOptions(&F, &Fm, &U, &R);
    EXPECT_EQ(D->GetAsString("FetchOptions.Mode"), "fmAll");
    EXPECT_EQ(D->GetAsString("FetchOptions.Items"), "[fiBlobs,fiMeta]");
    EXPECT_FALSE(D->HasValue("FetchOptions.RowsetSize"));

    TZqFetchOptions F2(nullptr);
    TZqFormatOptions Fm2(nullptr);
    TZqUpdateOptions U2(nullptr);
    TZqTopResourceOptions R2(nullptr);
    D->ReadOptions(&F2, &Fm2, &U2, &R2);
    EXPECT_EQ(F2.Mode(), fmAll);
    EXPECT_TRUE(F2.IsAssigned(TZqFetchOptions::foMode));
    EXPECT_FALSE(F2.Items().Contains(fiDetails));
    EXPECT_FALSE(U2.UpdateChangedFields());
    EXPECT_EQ(R2.AsyncCmdTimeout(), 5000u);
    EXPECT_EQ(R2.MaxCursors(), 3);
    EXPECT_FALSE(F2.IsAssigned(TZqFetchOptions::foRowsetSize));
    ASSERT_EQ(Fm2.MapRules()->Count(), 1);
    EXPECT_EQ(Fm2.MapDataType(dtBCD, 0, true, 0, 8), dtInt32);
    EXPECT_EQ(Fm2.MapDataType(dtBCD, 0, true, 0, 12), dtBCD);

    // A definition's own option value wins over its parent's.
    auto P = Standalone();
    P->SetAsString("FetchOptions.RowsetSize", "7");
    P->SetAsString("FetchOptions.Mode", "fmManual");
    D->SetParentDefinition(TZqIntfPtr<IZqStanDefinition>::Query(P));
    TZqFetchOptions F3(nullptr);
    D->ReadOptions(&F3, nullptr, nullptr, nullptr);
    EXPECT_EQ(F3.Mode(), fmAll);
    EXPECT_EQ(F3.RowsetSize(), 7);

    auto Bad = Standalone();
    Bad->SetAsString("FetchOptions.Nonsense", "1");
    EXPECT_THROW(Bad->ReadOptions(&F3, nullptr, nullptr, nullptr), rtl::EConvertError);
}
