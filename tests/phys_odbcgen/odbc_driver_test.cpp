// The generic ODBC driver through the manager and the real driver manager:
// its parameters, its connect strings, and how a connection decides its
// DBMS kind, on Debian's SQLite ODBC driver and on our station-database
// driver (which answers as the Access driver does).
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdlib>
#include <fstream>
#include <typeinfo>

#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAccMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysMSSQLMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysMySQLMeta.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCMeta.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "odbcgen_fixture.h"
#include "platform/rtl/Classes.h"

using ::testing::HasSubstr;

namespace {

struct TParam {
    std::string Name, Type, Default, Caption;
    int Login = 0;
};

TParam ParamAt(TZqPhysODBCDriver *ADriver, const rtl::TStrings *AParams, int AIndex)
{
    TParam P;
    ADriver->GetParamInfo(AParams, AIndex, P.Name, P.Type, P.Default, P.Caption, P.Login);
    return P;
}

TZqPhysODBCMetadata *OdbcMeta(const TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta)
{
    return dynamic_cast<TZqPhysODBCMetadata *>(AMeta.Get());
}

} // namespace

class OdbcGenDriver : public OdbcGenTest {};

TEST_F(OdbcGenDriver, ParametersFollowTheOdbcBase)
{
    auto Conn = Connection(SQLiteParams());
    TZqPhysODBCDriver *D = Driver(Conn);
    ASSERT_NE(D, nullptr);
    EXPECT_EQ(D->GetDriverID(), "ODBC");
    EXPECT_EQ(D->GetDescription(), "ODBC Driver");

    // Seven of every driver, two of the ODBC base, five of this driver.
    ASSERT_EQ(D->GetParamCount(nullptr), 14);
    const char *const Names[] = {"Driver", "DataSource", "MetaDefSchema", "MetaDefCatalog", "RDBMS"};
    for (int I = 0; I < 5; ++I) {
        const TParam P = ParamAt(D, nullptr, 9 + I);
        EXPECT_EQ(P.Name, Names[I]);
        EXPECT_EQ(P.Caption, Names[I]);
        EXPECT_EQ(P.Default, "");
        EXPECT_EQ(P.Login, I == 1 ? 2 : -1) << P.Name;
    }
    EXPECT_EQ(ParamAt(D, nullptr, 7).Name, "ODBCAdvanced");
    EXPECT_EQ(ParamAt(D, nullptr, 11).Type, "@S");
    EXPECT_EQ(ParamAt(D, nullptr, 12).Type, "@S");
    // The kind names without the empty one of kind 0.
    EXPECT_EQ(ParamAt(D, nullptr, 13).Type, "ORACLE;MSSQL;MSACCESS;MYSQL;DB2;ASA;ADS;OTHER");
    // The station-database driver's description holds parentheses: braced.
    EXPECT_THAT(ParamAt(D, nullptr, 9).Type, HasSubstr("{Microsoft Access Driver (*.mdb)}"));

    // A pooled definition has six more parameters of every driver before these.
    rtl::TStringList Pooled;
    Pooled.Add("Pooled=True");
    EXPECT_EQ(D->GetParamCount(&Pooled), 20);
    EXPECT_EQ(ParamAt(D, &Pooled, 15).Name, "Driver");
    EXPECT_EQ(ParamAt(D, &Pooled, 19).Name, "RDBMS");
}

TEST_F(OdbcGenDriver, DataSourceListIsReadAgainAndOpensThroughItsName)
{
    auto Conn = Connection(SQLiteParams());
    TZqPhysODBCDriver *D = Driver(Conn);
    // A user data-source file of this test; the list is read each time the
    // parameter is described, so a source defined now shows at once.
    const std::string Ini = (Dir / "odbc.ini").string();
    {
        std::ofstream Out(Ini);
        Out << "[MarlinGenSource]\nDriver = " << SQLiteODBCDriver << "\nDatabase = " << (Dir / "dsn.db").string()
            << "\n\n[Gen(2)]\nDriver = " << SQLiteODBCDriver << "\n";
    }
    const char *Old = std::getenv("ODBCINI");
    const std::string Saved = Old ? Old : "";
    ::setenv("ODBCINI", Ini.c_str(), 1);
    const std::string List = ParamAt(D, nullptr, 10).Type;
    if (Old) ::setenv("ODBCINI", Saved.c_str(), 1);
    else ::unsetenv("ODBCINI");
    EXPECT_THAT(List, HasSubstr("MarlinGenSource"));
    EXPECT_THAT(List, HasSubstr("{Gen(2)}"));

    ::setenv("ODBCINI", Ini.c_str(), 1);
    auto ByName = Connection({{"DataSource", "MarlinGenSource"}});
    EXPECT_EQ(D->BuildConnectionString(ByName->GetConnectionDef()), "DSN=MarlinGenSource");
    EXPECT_NO_THROW(ByName->Open());
    if (Old) ::setenv("ODBCINI", Saved.c_str(), 1);
    else ::unsetenv("ODBCINI");
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    ByName->CreateMetadata(Meta);
    EXPECT_EQ(Odbc(ByName)->RDBMSKind(), mkOther);
}

TEST_F(OdbcGenDriver, ConnectStringHoldsOnlyMappedParameters)
{
    auto Conn = Connection(SQLiteParams());
    TZqPhysODBCDriver *D = Driver(Conn);
    auto Full = Connection({{"Driver", "Microsoft Access Driver (*.mdb)"},
                            {"Database", "/data/cruise.mdb"},
                            {"User_Name", "qc"},
                            {"Password", "pw"},
                            {"RDBMS", "MSAccess"},
                            {"MetaDefSchema", "dbo"},
                            {"ODBCAdvanced", "ExtendedAnsiSQL=1"}});
    // Map order, no prefix, RDBMS and the MetaDef names left out, the
    // advanced text last.
    EXPECT_EQ(D->BuildConnectionString(Full->GetConnectionDef()),
              "Driver={Microsoft Access Driver (*.mdb)};DBQ=/data/cruise.mdb;UID=qc;PWD=pw;ExtendedAnsiSQL=1");
}

TEST_F(OdbcGenDriver, KindNamedInTheDefinitionWinsAnyLetterCase)
{
    auto Conn = Connection({{"DataSource", "NoSuchSource"}, {"RDBMS", "mssql"}});
    TZqPhysODBCConnection *C = Odbc(Conn);
    ASSERT_NE(C, nullptr);
    // Decided at construction, before any connect.
    EXPECT_EQ(C->RDBMSKind(), mkMSSQL);
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    ASSERT_NE(OdbcMeta(Meta), nullptr);
    EXPECT_NE(dynamic_cast<TZqPhysMSSQLMetadata *>(OdbcMeta(Meta)->Inner()), nullptr);
    EXPECT_EQ(Meta->GetKind(), mkMSSQL);
    EXPECT_EQ(Meta->GetNameQuoteChar1(), '[');
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, TZqIntfPtr<IZqPhysCommand>());
    EXPECT_NE(dynamic_cast<TZqPhysMSSQLCommandGenerator *>(Gen.Get()), nullptr);

    struct {
        const char *Name;
        TZqRDBMSKind Kind;
    } const Names[] = {{"Oracle", mkOracle}, {"MSACCESS", mkMSAccess}, {"MySql", mkMySQL}, {"db2", mkDB2},
                       {"ASA", mkASA},       {"ads", mkADS},           {"other", mkOther}, {"Sybase", mkUnknown}};
    for (const auto &N : Names) {
        auto K = Connection({{"DataSource", "NoSuchSource"}, {"RDBMS", N.Name}});
        EXPECT_EQ(Odbc(K)->RDBMSKind(), N.Kind) << N.Name;
    }
}

TEST_F(OdbcGenDriver, DriverNameDecidesAfterConnectUnlessTheDefinitionNamesAKind)
{
    const std::string Mdb = (Dir / "station.mdb").string();
    std::ofstream(Mdb).close();
    // Our station-database driver answers as the Access driver does.
    auto Acc = Connection({{"Driver", "Microsoft Access Driver (*.mdb)"}, {"Database", Mdb}, {"RDBMS", "Paradox"}});
    EXPECT_EQ(Odbc(Acc)->RDBMSKind(), mkUnknown); // an unknown name decides nothing
    Acc->Open();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Acc->CreateMetadata(Meta);
    EXPECT_EQ(Odbc(Acc)->RDBMSKind(), mkMSAccess);
    EXPECT_NE(dynamic_cast<TZqPhysMSAccMetadata *>(OdbcMeta(Meta)->Inner()), nullptr);
    EXPECT_EQ(Meta->GetNameQuoteChar1(), '[');
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Acc->CreateCommandGenerator(Gen, TZqIntfPtr<IZqPhysCommand>());
    EXPECT_NE(dynamic_cast<TZqPhysMSAccCommandGenerator *>(Gen.Get()), nullptr);

    // A kind in the definition wins over the driver's name, in the ODBC
    // connection too.
    auto AsMySQL = Connection({{"Driver", "Microsoft Access Driver (*.mdb)"}, {"Database", Mdb}, {"RDBMS", "MYSQL"}});
    AsMySQL->Open();
    AsMySQL->CreateMetadata(Meta);
    EXPECT_EQ(Meta->GetKind(), mkMySQL);
    EXPECT_NE(dynamic_cast<TZqPhysMySQLMetadata *>(OdbcMeta(Meta)->Inner()), nullptr);
    EXPECT_EQ(Odbc(AsMySQL)->ODBCConnection()->RDBMSKind, ODBCKindMySQL);
}

TEST_F(OdbcGenDriver, KindIsDecidedAgainAfterEveryConnect)
{
    const std::string Mdb = (Dir / "station.mdb").string();
    std::ofstream(Mdb).close();
    auto Conn = Connection({{"Driver", "Microsoft Access Driver (*.mdb)"}, {"Database", Mdb}});
    Conn->Open();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    EXPECT_EQ(Meta->GetKind(), mkMSAccess);
    Conn->Close();

    // The same connection re-opened on another driver takes that driver's
    // dialect, not the old one's.
    TZqIntfPtr<IZqStanConnectionDef> Def = Conn->GetConnectionDef();
    Def->SetAsString("Driver", SQLiteODBCDriver);
    Def->SetAsString("ODBCAdvanced", "Database=" + (Dir / "gen.db").string());
    Conn->Open();
    Conn->CreateMetadata(Meta);
    EXPECT_EQ(Odbc(Conn)->RDBMSKind(), mkOther);
    EXPECT_EQ(Meta->GetKind(), mkOther);
    EXPECT_EQ(OdbcMeta(Meta)->Inner(), nullptr);
    EXPECT_EQ(Meta->GetNameQuoteChar1(), '"');
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    Conn->CreateCommandGenerator(Gen, TZqIntfPtr<IZqPhysCommand>());
    EXPECT_EQ(typeid(*Gen.Get()), typeid(TZqPhysCommandGenerator));
}

TEST_F(OdbcGenDriver, LastAutoGenValueIsReadWhereTheDialectSaysHow)
{
    // Through the generic driver the station driver is an Access dialect:
    // its identity expression reads the counter of the last insert.
    const std::string Mdb = (Dir / "station.mdb").string();
    std::ofstream(Mdb).close();
    auto Acc = Connection({{"Driver", "Microsoft Access Driver (*.mdb)"}, {"Database", Mdb}});
    Acc->Open();
    auto Run = [&](const std::string &ASql) {
        TZqIntfPtr<IZqPhysCommand> Cmd;
        Acc->CreateCommand(Cmd);
        Cmd->Prepare(ASql);
        Cmd->Execute();
    };
    Run("CREATE TABLE Cruise_Titles (ID_Cruise COUNTER, Name TEXT(20))");
    Run("INSERT INTO Cruise_Titles (Name) VALUES ('Akademik')");
    Run("INSERT INTO Cruise_Titles (Name) VALUES ('Vityaz')");
    rtl::Variant V;
    Acc->GetLastAutoGenValue("", V);
    EXPECT_EQ(V.AsInteger(), 2);

    // SQLite's ODBC driver names no known dialect: 303 as before.
    auto Other = Connection({{"Driver", SQLiteODBCDriver}, {"ODBCAdvanced", "Database=" + (Dir / "gen.db").string()}});
    Other->Open();
    try {
        Other->GetLastAutoGenValue("", V);
        ADD_FAILURE() << "no error";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 303);
    }
}

// ---- SQLite: a driver of no known kind -------------------------------------------------------------

class OdbcGenSQLite : public OdbcGenTest {};

TEST_F(OdbcGenSQLite, FactsComeFromTheDriver)
{
    auto Conn = Connection(SQLiteParams());
    Conn->Open();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    EXPECT_EQ(Odbc(Conn)->RDBMSKind(), mkOther);
    ASSERT_NE(OdbcMeta(Meta), nullptr);
    EXPECT_EQ(OdbcMeta(Meta)->Inner(), nullptr);
    // What the SQLite ODBC driver answers (read with pyodbc's getinfo as a
    // second route): transactions, '"' quotes, 255-character names, names
    // case-sensitive quoted or not, no catalogs or schemas in statements.
    EXPECT_EQ(Meta->GetKind(), mkOther);
    EXPECT_TRUE(Meta->GetTxSupported());
    EXPECT_FALSE(Meta->GetTxNested());
    EXPECT_EQ(Meta->GetNameMaxLength(), 255);
    EXPECT_EQ(Meta->GetNameQuoteChar1(), '"');
    EXPECT_EQ(Meta->GetNameQuoteChar2(), '"');
    EXPECT_EQ(Meta->GetNameParts(), ZqNamePart(npBaseObject) | ZqNamePart(npObject));
    EXPECT_EQ(Meta->GetNameCaseSensParts(), ZqAllNameParts);
    EXPECT_EQ(Meta->GetNameQuotedCaseSensParts(), ZqAllNameParts);
    EXPECT_EQ(Meta->GetNameDefLowCaseParts(), 0);
    // The driver exports SQLCancel.
    EXPECT_TRUE(Meta->GetAsyncAbortSupported());

    // Through the driver manager's connection too: the DBMS is SQLite.
    EXPECT_EQ(Odbc(Conn)->ODBCConnection()->GetInfoStr(SQL_DBMS_NAME), "SQLite");
    EXPECT_EQ(Odbc(Conn)->ODBCConnection()->RDBMSKind, ODBCKindOther);
}
