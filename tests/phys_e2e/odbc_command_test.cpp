// What the ODBC command decides on the Access driver: statement flags,
// bound types of parameters and money columns, shortened parameter names,
// procedure-call texts and catalog table-type lists.
#include "tests/support/StationE2EFixture.h"

#include <utility>

TEST(ODBCCommandTableTypes, ListFollowsKindsAndScopes)
{
    // bits: 1 synonym, 2 table, 4 view, 8 global temporary, 16 local temporary; scope 4 system
    EXPECT_EQ(TZqPhysODBCCommand::BuildTableTypeList(4, 1), "VIEW");
    EXPECT_EQ(TZqPhysODBCCommand::BuildTableTypeList(4, 4), "VIEW");
    EXPECT_EQ(TZqPhysODBCCommand::BuildTableTypeList(2, 4), "TABLE,SYSTEM TABLE");
    EXPECT_EQ(TZqPhysODBCCommand::BuildTableTypeList(31, 7),
              "TABLE,VIEW,SYNONYM,GLOBAL TEMPORARY,LOCAL TEMPORARY,SYSTEM TABLE");
    EXPECT_EQ(TZqPhysODBCCommand::BuildTableTypeList(0, 7), "");
}

class AccessCommand : public StationE2E {
protected:
    TZqPhysODBCCommand *Odbc(const TZqIntfPtr<IZqPhysCommand> &ACmd)
    {
        return dynamic_cast<TZqPhysODBCCommand *>(ACmd.Get());
    }
};

// The driver manager's execute and parameter binding, counted while a
// scope holds them.
struct TCountedCalls {
    static inline int Executes = 0, Binds = 0;
    static inline decltype(TODBCLib::SQLExecute) Execute = nullptr;
    static inline decltype(TODBCLib::SQLBindParameter) Bind = nullptr;
    TODBCLib *Lib;
    explicit TCountedCalls(TODBCLib *ALib) : Lib(ALib)
    {
        Execute = std::exchange(Lib->SQLExecute, [](SQLHSTMT S) { return ++Executes, Execute(S); });
        Bind = std::exchange(Lib->SQLBindParameter, [](auto... A) { return ++Binds, Bind(A...); });
        Executes = Binds = 0;
    }
    ~TCountedCalls()
    {
        Lib->SQLExecute = Execute;
        Lib->SQLBindParameter = Bind;
    }
};

TEST_P(AccessCommand, ParameterArraysRunInOneExecuteBoundOnceAndRowsetsAreBlocks)
{
    CreateCastTitles();
    auto Ins = Command("INSERT INTO Cast_Titles (ID, ID_Cruise) VALUES (:ID, 3)");
    TZqParam *P = Ins->GetParams()->ParamByName("ID");
    P->SetArraySize(3);
    for (int R = 0; R < 3; ++R) P->SetAsInteger(50 + R, R);
    Ins->Prepare();
    EXPECT_NE(Odbc(Ins)->StatementFlags() & TZqPhysODBCCommand::sfParamArrays, 0);
    {
        TCountedCalls Calls(Odbc(Ins)->CommandStatement()->Lib());
        Ins->Execute(3, 0);
        EXPECT_EQ(Ins->GetRowsAffected(), 3);
        const int FirstBinds = TCountedCalls::Binds;
        // Arrays no longer than the first go to the page it was bound to.
        for (const int Sets : {2, 3}) {
            P = Ins->GetParams()->ParamByName("ID"); // the prepare's list
            P->SetArraySize(Sets);
            for (int R = 0; R < Sets; ++R) P->SetAsInteger(60 + 10 * Sets + R, R);
            Ins->Execute(Sets, 0);
            EXPECT_EQ(Ins->GetRowsAffected(), Sets);
        }
        EXPECT_EQ(TCountedCalls::Executes, 3);
        EXPECT_EQ(TCountedCalls::Binds, FirstBinds);
        // A command prepared for one set asks for arrays at its first.
        auto Upd = Command("UPDATE Cast_Titles SET ID_Cruise = 4 WHERE ID = :ID");
        Upd->GetParams()->ParamByName("ID")->SetAsInteger(1);
        Upd->Execute();
        Upd->GetParams()->ParamByName("ID")->SetArraySize(2);
        Upd->GetParams()->ParamByName("ID")->SetAsInteger(2, 1);
        Upd->Execute(2, 0);
        EXPECT_EQ(Upd->GetRowsAffected(), 2);
        EXPECT_EQ(TCountedCalls::Executes, 5);
    }

    auto Sel = Command("SELECT ID FROM Cast_Titles");
    Sel->Prepare();
    EXPECT_NE(Odbc(Sel)->StatementFlags() & TZqPhysODBCCommand::sfRowArrays, 0);

    // A cursor on an array command opens on its first parameter set.
    auto ById = Command("SELECT ID FROM Cast_Titles WHERE ID = :ID");
    TZqParam *Q = ById->GetParams()->ParamByName("ID");
    Q->SetArraySize(2);
    Q->SetAsInteger(51, 0);
    Q->SetAsInteger(50, 1);
    TZqDatSTable T;
    ById->Open();
    EXPECT_EQ(Odbc(ById)->StatementFlags() & TZqPhysODBCCommand::sfParamArrays, 0);
    ById->Define(&T);
    ById->Fetch(&T, true);
    ASSERT_EQ(T.Rows()->Count(), 1);
    EXPECT_EQ(Value(T, 0, "ID").AsInteger(), 51);
}

TEST_P(AccessCommand, LargeIntegersAndDecimalsAreSentAsNumeric)
{
    CreateCastTitles();
    auto Upd = Command("UPDATE Cast_Titles SET Velosity = :V WHERE ID = :ID");
    Upd->GetParams()->ParamByName("V")->SetAsFMTBCD(rtl::StrToBcd("1500.125"));
    Upd->GetParams()->ParamByName("ID")->SetAsLargeInt(3);
    Upd->Execute();
    EXPECT_EQ(Upd->GetRowsAffected(), 1);
    ASSERT_EQ(Odbc(Upd)->ParamInfos().size(), 2u);
    for (const TZqPhysODBCParamInfo &I : Odbc(Upd)->ParamInfos()) EXPECT_EQ(I.BindSQLType, SQL_NUMERIC) << I.Name;
    TZqDatSTable T;
    Query("SELECT Velosity FROM Cast_Titles WHERE ID = 3", T);
    ASSERT_EQ(T.Rows()->Count(), 1);
    EXPECT_DOUBLE_EQ(Value(T, 0, "Velosity").AsDouble(), 1500.125);
}

TEST_P(AccessCommand, MoneyColumnIsCurrencyFetchedThroughDecimalText)
{
    Exec("CREATE TABLE Fees (ID LONG, Amount CURRENCY)");
    Exec("INSERT INTO Fees (ID, Amount) VALUES (1, 12.3456)");
    Exec("INSERT INTO Fees (ID, Amount) VALUES (2, -0.5)");
    auto Sel = Command("SELECT ID, Amount FROM Fees ORDER BY ID");
    TZqDatSTable T;
    Sel->Open();
    Sel->Define(&T);
    Sel->Fetch(&T, true);
    const TZqPhysODBCColumnInfo &Info = Odbc(Sel)->ColumnInfos()[1];
    EXPECT_EQ(Info.DestType, dtCurrency);
    EXPECT_EQ(Info.VarType, dtBCD);
    EXPECT_EQ(T.Columns()->GetItem(1)->DataType(), dtCurrency);
    ASSERT_EQ(T.Rows()->Count(), 2);
    EXPECT_EQ(Value(T, 0, "Amount").AsCurrency().Value, 123456);
    EXPECT_EQ(Value(T, 1, "Amount").AsCurrency().Value, -5000);
}

TEST_P(AccessCommand, LongParameterNameIsCutAndNumbered)
{
    CreateCastTitles();
    // Access names are at most 30 characters: 30 - 1 - len("2") kept, then "_2".
    const std::string Long = "A_VERY_LONG_PARAMETER_NAME_FOR_THE_ID";
    auto Sel = Command("SELECT ID FROM Cast_Titles WHERE ID_Cruise = :C AND ID = :" + Long);
    Sel->GetParams()->ParamByName("C")->SetAsInteger(7);
    Sel->GetParams()->ParamByName(Long)->SetAsInteger(2);
    TZqDatSTable T;
    Sel->Open();
    Sel->Define(&T);
    Sel->Fetch(&T, true);
    EXPECT_EQ(T.Rows()->Count(), 1);
    ASSERT_EQ(Odbc(Sel)->ParamInfos().size(), 2u);
    EXPECT_EQ(Odbc(Sel)->ParamInfos()[0].Name, "C");
    EXPECT_EQ(Odbc(Sel)->ParamInfos()[1].Name, Long.substr(0, 28) + "_2");
}

TEST_P(AccessCommand, ProcedureCallTextsCarryResultAndArgumentMarkers)
{
    auto Cmd = Command("");
    TZqPhysParsedName N;
    N.FObject = "CalcDepth"; // Access's encoder brackets every name part
    EXPECT_EQ(Odbc(Cmd)->BuildStoredProcCall(N), "{CALL [CalcDepth]}");
    TZqParam *R = Cmd->GetParams()->Add();
    R->SetName("Result");
    R->SetParamType(rtl::ptResult);
    TZqParam *A = Cmd->GetParams()->Add();
    A->SetName("Pres");
    A->SetParamType(rtl::ptInput);
    EXPECT_EQ(Odbc(Cmd)->BuildStoredProcCall(N), "{? = CALL [CalcDepth](?)}");
    TZqParam *B = Cmd->GetParams()->Add();
    B->SetName("Lat");
    EXPECT_EQ(Odbc(Cmd)->BuildStoredProcCall(N), "{? = CALL [CalcDepth](?, ?)}");
}

INSTANTIATE_TEST_SUITE_P(Drivers, AccessCommand, ::testing::Values(E2ETargets().front()), E2ETargetName);

TEST(MSAccessDriverLink, MakingALinkRegistersTheDriverWithTheProcessManager)
{
    e2e::Services();
    RegisterPhysManager();
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    M->Open();
    {
        TZqPhysMSAccessDriverLink Link;
        (void)Link;
    }
    TZqIntfPtr<IZqPhysManagerMetadata> Meta;
    M->GetManagerMetadata(Meta);
    bool Found = false;
    for (int I = 0; I < Meta->GetDriverCount(); ++I) Found = Found || Meta->GetDriverID(I) == "MSAcc";
    EXPECT_TRUE(Found);
    M->Close(true);
}
