// Option sets: the own-or-parent rule along a manager -> connection ->
// command chain, assignment, defaults, derived options, map rules and type
// mapping.
#include <gtest/gtest.h>

#include <memory>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"



namespace {

// A holder of the four option objects with an optional parent, as the
// driver manager, a connection and a command are.
class THolder : public IZqStanOptions {
public:
    explicit THolder(THolder *AParent, bool ATop = false) : FParent(AParent)
    {
        FFetch = std::make_unique<TZqFetchOptions>(this);
        FFormat = std::make_unique<TZqFormatOptions>(this);
        FUpdate = std::make_unique<TZqUpdateOptions>(this);
        if (ATop)
            FResource = std::make_unique<TZqTopResourceOptions>(this);
        else
            FResource = std::make_unique<TZqResourceOptions>(this);
    }
    TZqFetchOptions *GetFetchOptions() override { return FFetch.get(); }
    TZqFormatOptions *GetFormatOptions() override { return FFormat.get(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FUpdate.get(); }
    TZqResourceOptions *GetResourceOptions() override { return FResource.get(); }
    bool GetParentOptions(IZqStanOptions *&AParent) override
    {
        AParent = FParent;
        return FParent != nullptr;
    }
    TZqTopResourceOptions *Top() { return dynamic_cast<TZqTopResourceOptions *>(FResource.get()); }

    THolder *FParent;
    std::unique_ptr<TZqFetchOptions> FFetch;
    std::unique_ptr<TZqFormatOptions> FFormat;
    std::unique_ptr<TZqUpdateOptions> FUpdate;
    std::unique_ptr<TZqResourceOptions> FResource;
};

class OptionChain : public ::testing::Test {
protected:
    THolder Manager{nullptr, true};
    THolder Connection{&Manager, true};
    THolder Command{&Connection};
};

} // namespace

TEST_F(OptionChain, UnsetOptionFollowsTheNearestHolderThatSetIt)
{
    EXPECT_EQ(Command.FFetch->RowsetSize(), 50);
    Manager.FFetch->SetRowsetSize(20);
    EXPECT_EQ(Command.FFetch->RowsetSize(), 20);
    Connection.FFetch->SetRowsetSize(30);
    EXPECT_EQ(Command.FFetch->RowsetSize(), 30);
    Command.FFetch->SetRowsetSize(40);
    Connection.FFetch->SetRowsetSize(35);
    EXPECT_EQ(Command.FFetch->RowsetSize(), 40);
    EXPECT_EQ(Connection.FFetch->RowsetSize(), 35);
}

TEST_F(OptionChain, FetchAllOnTheConnectionReachesEveryCommand)
{
    Connection.FFetch->SetMode(fmAll);
    THolder Dataset{&Command};
    EXPECT_EQ(Command.FFetch->Mode(), fmAll);
    EXPECT_EQ(Dataset.FFetch->Mode(), fmAll);
    EXPECT_EQ(Manager.FFetch->Mode(), fmOnDemand);
}

TEST_F(OptionChain, SettingTheInheritedValueStillMarksItSet)
{
    Command.FFetch->SetRowsetSize(50);
    EXPECT_TRUE(Command.FFetch->IsAssigned(TZqFetchOptions::foRowsetSize));
    Connection.FFetch->SetRowsetSize(10);
    EXPECT_EQ(Command.FFetch->RowsetSize(), 50);
}

TEST_F(OptionChain, ResetReturnsToInheriting)
{
    Command.FUpdate->SetLockWait(true);
    Connection.FUpdate->SetLockWait(false);
    EXPECT_TRUE(Command.FUpdate->LockWait());
    Command.FUpdate->ResetToDefaults();
    EXPECT_FALSE(Command.FUpdate->IsAssigned(TZqUpdateOptions::uoLockWait));
    Connection.FUpdate->SetLockWait(true);
    EXPECT_TRUE(Command.FUpdate->LockWait());
}

TEST_F(OptionChain, AssignCopiesOnlyWhatTheSourceSet)
{
    THolder Other{&Connection};
    Command.FFormat->SetMaxStringSize(100);
    Other.FFormat->Assign(Command.FFormat.get());
    EXPECT_TRUE(Other.FFormat->IsAssigned(TZqFormatOptions::foMaxStringSize));
    EXPECT_EQ(Other.FFormat->MaxStringSize(), 100u);
    EXPECT_FALSE(Other.FFormat->IsAssigned(TZqFormatOptions::foStrsTrim));
    Connection.FFormat->SetStrsTrim(true);
    EXPECT_TRUE(Other.FFormat->StrsTrim());
    // Nil and self are ignored.
    Other.FFormat->Assign(nullptr);
    Other.FFormat->Assign(Other.FFormat.get());
    EXPECT_EQ(Other.FFormat->MaxStringSize(), 100u);
}

TEST_F(OptionChain, TopResourceOptionsInheritBetweenTopHolders)
{
    Manager.Top()->SetMaxCursors(7);
    EXPECT_EQ(Connection.Top()->MaxCursors(), 7);
    Connection.FResource->SetAsyncCmdTimeout(1000);
    EXPECT_EQ(Command.FResource->AsyncCmdTimeout(), 1000u);
    EXPECT_EQ(Manager.FResource->AsyncCmdTimeout(), TZqResourceOptions::CNoTimeout);
    TZqTopResourceOptions Copy(nullptr);
    Copy.Assign(Connection.FResource.get());
    EXPECT_EQ(Copy.AsyncCmdTimeout(), 1000u);
    EXPECT_EQ(Copy.MaxCursors(), -1); // inherited by the source, so not copied
}

TEST(OptionObject, WithoutOwnerReadsItsOwnValuesAndDefaults)
{
    TZqFetchOptions F(nullptr);
    EXPECT_EQ(F.Mode(), fmOnDemand);
    EXPECT_TRUE(F.Items().Contains(fiMeta));
    EXPECT_EQ(F.RecsMax(), -1);
    EXPECT_TRUE(F.AutoClose());
    TZqFormatOptions Fm(nullptr);
    EXPECT_TRUE(Fm.StrsEmpty2Null());
    EXPECT_EQ(Fm.MaxStringSize(), 8192u);
    EXPECT_EQ(Fm.MaxBcdPrecision(), 18);
    EXPECT_EQ(Fm.MaxBcdScale(), 4);
    EXPECT_EQ(Fm.DefaultParamDataType(), rtl::ftUnknown);
    TZqResourceOptions R(nullptr);
    EXPECT_EQ(R.AsyncCmdMode(), amBlocking);
    EXPECT_EQ(R.AsyncCmdTimeout(), 4294967295u);
    EXPECT_EQ(R.DefaultParamType(), rtl::ptInput);
    EXPECT_TRUE(R.MacroExpand());
}

TEST(OptionObject, NotificationsOnlyOnRealChanges)
{
    TZqFetchOptions F(nullptr);
    int Before = 0, After = 0;
    F.OnChanging = [&](TZqCustomOptions *) { ++Before; };
    F.OnChanged = [&](TZqCustomOptions *) { ++After; };
    F.SetRowsetSize(50); // not yet assigned: a change although equal
    F.SetRowsetSize(50); // assigned and equal: nothing
    F.SetRowsetSize(60);
    EXPECT_EQ(Before, 2);
    EXPECT_EQ(After, 2);
}

TEST(OptionObject, ActualRowsetSize)
{
    TZqFetchOptions F(nullptr);
    EXPECT_EQ(F.ActualRowsetSize(), 50);
    F.SetMode(fmExactRecsMax);
    F.SetRecsMax(0);
    EXPECT_EQ(F.ActualRowsetSize(), 1);
    F.SetRecsMax(-1);
    EXPECT_EQ(F.ActualRowsetSize(), 50);
    F.SetRecsMax(7);
    EXPECT_EQ(F.ActualRowsetSize(), 7);
    F.SetMode(fmAll);
    F.SetRowsetSize(0);
    EXPECT_EQ(F.ActualRowsetSize(), 1);
}

TEST_F(OptionChain, DerivedUpdateOptions)
{
    TZqUpdateOptions &U = *Command.FUpdate;
    EXPECT_FALSE(U.ReadOnly());
    U.SetReadOnly(true);
    EXPECT_FALSE(U.EnableInsert());
    EXPECT_TRUE(U.ReadOnly());
    EXPECT_FALSE(U.RequestLive());
    U.SetRequestLive(true);
    EXPECT_TRUE(U.RequestLive());
    EXPECT_FALSE(U.UseProviderFlags());
    EXPECT_TRUE(Command.FFetch->Items().Contains(fiMeta));

    EXPECT_FALSE(U.FastUpdates());
    U.SetFastUpdates(true);
    EXPECT_TRUE(U.FastUpdates());
    EXPECT_EQ(U.RefreshMode(), rmManual);
    U.SetFastUpdates(false);
    EXPECT_FALSE(U.IsAssigned(TZqUpdateOptions::uoRefreshMode));
    Connection.FUpdate->SetRefreshMode(rmAll);
    EXPECT_EQ(U.RefreshMode(), rmAll);
}

TEST(TxOptions, ChangeSetTracksRealChanges)
{
    TZqTxOptions T;
    EXPECT_EQ(T.Changes(), 0);
    EXPECT_TRUE(T.AutoCommit());
    EXPECT_EQ(T.DisconnectAction(), xdRollback);
    EXPECT_EQ(T.Isolation(), xiReadCommitted);
    T.SetAutoCommit(true);
    EXPECT_EQ(T.Changes(), 0);
    T.SetIsolation(xiSerializible);
    EXPECT_EQ(T.Changes(), TZqTxOptions::tcIsolation);
    T.SetDisconnectAction(xdCommmit);
    EXPECT_EQ(T.Changes(), TZqTxOptions::tcIsolation);
    T.ClearChanges();
    EXPECT_EQ(T.Changes(), 0);
}

// ---- map rules and type mapping --------------------------------------------------

TEST_F(OptionChain, MapRulesFirstMatchWinsAndBoundsHold)
{
    TZqFormatOptions &F = *Connection.FFormat;
    EXPECT_EQ(F.MapDataType(dtBCD, 0, true, 2, 10), dtBCD);
    TZqMapRules Rules;
    TZqMapRule *R = Rules.Add();
    R->SetSourceDataType(dtBCD);
    R->SetTargetDataType(dtInt32);
    R->SetPrecMax(10);
    TZqMapRule *R2 = Rules.Add();
    R2->SetSourceDataType(dtBCD);
    R2->SetTargetDataType(dtDouble);
    F.SetMapRules(Rules);
    EXPECT_EQ(F.MapDataType(dtBCD, 0, true, 0, 10), dtInt32);
    EXPECT_EQ(F.MapDataType(dtBCD, 0, true, 0, 11), dtDouble);
    EXPECT_EQ(F.MapDataType(dtBCD, 0, true, 0, 0), dtInt32);
    EXPECT_EQ(F.MapDataType(dtInt32, 0, false, 0, 5), dtBCD);
    // The command has no rules of its own and reads the connection's.
    EXPECT_EQ(Command.FFormat->MapDataType(dtBCD, 0, true, 0, 5), dtInt32);
    EXPECT_EQ(F.MapRules()->Items(0)->DisplayName(), "dtBCD -> dtInt32");
}

TEST_F(OptionChain, OwnMapRulesCopiesAndClears)
{
    TZqMapRule *R = Manager.FFormat->MapRules()->Add();
    R->SetSourceDataType(dtInt16);
    R->SetTargetDataType(dtInt32);
    EXPECT_EQ(Command.FFormat->MapDataType(dtInt16, 0, true, 0, 0), dtInt32);
    Command.FFormat->SetOwnMapRules(true);
    EXPECT_EQ(Command.FFormat->MapRules()->Count(), 1);
    Command.FFormat->MapRules()->Items(0)->SetTargetDataType(dtInt64);
    EXPECT_EQ(Command.FFormat->MapDataType(dtInt16, 0, true, 0, 0), dtInt64);
    EXPECT_EQ(Connection.FFormat->MapDataType(dtInt16, 0, true, 0, 0), dtInt32);
    Command.FFormat->SetOwnMapRules(false);
    EXPECT_EQ(Command.FFormat->MapDataType(dtInt16, 0, true, 0, 0), dtInt32);
}

TEST(MapRule, PairOutsideTheMatrixIsRefusedAndKeepsTheOldType)
{
    TZqFormatOptions F(nullptr);
    int Changes = 0;
    F.OnChanged = [&](TZqCustomOptions *) { ++Changes; };
    TZqMapRule *R = F.MapRules()->Add();
    R->SetSourceDataType(dtBlob);
    try {
        R->SetTargetDataType(dtInt32);
        FAIL() << "no error";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 19);
    }
    EXPECT_EQ(R->TargetDataType(), dtUnknown);
    EXPECT_EQ(R->DisplayName(), "dtBlob -> dtUnknown");
    EXPECT_EQ(Changes, 2); // the add and the source type
}

TEST(TypeMapping, DataTypeToFieldType)
{
    TZqFormatOptions F(nullptr);
    rtl::TFieldType FT;
    uint32_t Size;
    int Prec;
    F.DataTypeToFieldType(dtAnsiString, {}, 8192, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftString);
    EXPECT_EQ(Size, 8192u);
    F.DataTypeToFieldType(dtAnsiString, {}, 8193, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftMemo);
    F.DataTypeToFieldType(dtAnsiString, {caFixedLen}, 10, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftFixedChar);
    F.DataTypeToFieldType(dtBCD, {}, 0, 19, 2, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftFMTBcd);
    F.DataTypeToFieldType(dtBCD, {}, 0, 18, 4, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftBCD);
    EXPECT_EQ(Size, 4u);
    EXPECT_EQ(Prec, 18);
    F.DataTypeToFieldType(dtInt32, {caAutoInc}, 0, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftAutoInc);
    F.DataTypeToFieldType(dtGUID, {}, 0, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftGuid);
    EXPECT_EQ(Size, 38u);
    F.DataTypeToFieldType(dtWideHMemo, {}, 0, 0, 0, FT, Size, Prec);
    EXPECT_EQ(FT, rtl::ftOraClob);
}

TEST(TypeMapping, FieldTypeToDataTypeAndResolve)
{
    TZqFormatOptions F(nullptr);
    TZqDataType DT;
    TZqDataAttributes A;
    uint32_t Len;
    int Prec, Scale;
    F.FieldTypeToDataType(rtl::ftFixedChar, 12, 0, DT, A, Len, Prec, Scale);
    EXPECT_EQ(DT, dtAnsiString);
    EXPECT_EQ(Len, 12u);
    EXPECT_TRUE(A.Contains(caFixedLen));
    F.FieldTypeToDataType(rtl::ftBCD, 2, 10, DT, A, Len, Prec, Scale);
    EXPECT_EQ(DT, dtBCD);
    EXPECT_EQ(Scale, 2);
    EXPECT_EQ(Prec, 10);
    F.FieldTypeToDataType(rtl::ftGraphic, 0, 0, DT, A, Len, Prec, Scale);
    EXPECT_EQ(DT, dtBlob);
    EXPECT_TRUE(A.Contains(caBlobData));
    F.FieldTypeToDataType(rtl::ftVariant, 0, 0, DT, A, Len, Prec, Scale);
    EXPECT_EQ(DT, dtUnknown);

    rtl::TFieldType FT;
    uint32_t Size;
    F.ResolveFieldType(rtl::ftDateTime, dtDateTimeStamp, true, 0, 0, DT, FT, Size, Prec);
    EXPECT_EQ(DT, dtDateTimeStamp);
    EXPECT_EQ(FT, rtl::ftTimeStamp);
    TZqMapRule *R = F.MapRules()->Add();
    R->SetSourceDataType(dtBCD);
    R->SetTargetDataType(dtDouble);
    F.ResolveFieldType(rtl::ftBCD, dtUnknown, true, 2, 10, DT, FT, Size, Prec);
    EXPECT_EQ(DT, dtDouble);
    EXPECT_EQ(FT, rtl::ftFloat);
}
