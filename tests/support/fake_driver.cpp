// The fake driver: see fake_driver.h.
#include "tests/support/fake_driver.h"

#include <map>
#include <mutex>
#include <thread>

#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysDb2Meta.h"
#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAccMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysMSSQLMeta.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/SysUtils.h"

namespace fake {

TScript &Script()
{
    static TScript S;
    return S;
}
std::vector<std::string> &Log()
{
    static std::vector<std::string> L;
    return L;
}
std::vector<std::string> &MetaLog()
{
    static std::vector<std::string> L;
    return L;
}
std::string LogText()
{
    std::string R;
    for (auto &S : Log()) R += (R.empty() ? "" : " ") + S;
    return R;
}
std::vector<int> &FetchCalls()
{
    static std::vector<int> F;
    return F;
}
std::atomic<int> &LiveDrivers()
{
    static std::atomic<int> N{0};
    return N;
}

namespace {

// The base dialect with the transaction facts the test asks for.
class TMeta : public TZqPhysConnectionMetadata {
public:
    bool GetTxSupported() override { return Script().TxSupported; }
    bool GetTxNested() override { return Script().TxNested; }
    bool GetTxSavepoints() override { return Script().TxSavepoints; }
    bool GetServerAutoCommit() override { return Script().ServerAutoCommit; }
    bool GetAsyncAbortSupported() override { return Script().AbortSupported; }
};

class TCommand : public TZqPhysCommand {
public:
    std::string ClassName() const override { return "TFakeCommand"; }

protected:
    void InternalPrepare() override
    {
        if (GetMetaInfoKind() == 0) {
            Log().push_back("prepare");
            return;
        }
        // The names arrive as a real catalog command reads them.
        TZqIntfPtr<IZqPhysConnection> Conn;
        GetConnection(Conn);
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        Conn->CreateMetadata(Meta);
        FName = TZqPhysParsedName();
        Meta->ParseObjName(rtl::Trim(GetCommandText()), FName, poDequote, this);
        CheckMetaInfoArgs(FName);
    }
    void InternalUnprepare() override
    {
        if (GetMetaInfoKind() == 0) Log().push_back("unprepare");
    }
    bool InternalOpen() override
    {
        FPos = 0;
        if (GetMetaInfoKind() != 0) {
            MetaLog().push_back(std::to_string(GetMetaInfoKind()) + ":" + FName.FCatalog + "|" + FName.FSchema + "|" +
                                FName.FBaseObject + "|" + FName.FObject);
            if (Script().CatalogFails) ZqRaiseError(nullptr, {"Phys", "Fake"}, 4, {std::string("catalog down")});
            FMatches.clear();
            for (const TCatalogRow &R : Script().Catalog)
                if (R.Kind == GetMetaInfoKind() && Matches(R)) FMatches.push_back(&R);
            return true;
        }
        Log().push_back("open");
        return true;
    }
    bool InternalNextRecordSet() override { return false; }
    void InternalClose() override
    {
        if (GetMetaInfoKind() == 0) Log().push_back("close");
    }
    void InternalAbort() override
    {
        if (!Script().AbortSupported) TZqPhysCommand::InternalAbort();
        FAborted = true;
    }
    void InternalExecute(int ATimes, int AOffset, int &ACount) override
    {
        ACount = 0;
        if (Script().DuringExecute) Script().DuringExecute();
        for (int Row = AOffset; Row < ATimes; ++Row) {
            if (GetState() == 5) return;
            if (Script().FailingRows.count(Row) && FFailures[Row]++ < Script().FailTimes) {
                Log().push_back("fail:" + std::to_string(Row));
                ZqRaiseError(nullptr, {"Phys", "Fake"}, 1, {std::string("row failed")});
            }
            Log().push_back("row:" + std::to_string(Row));
            ++ACount;
        }
    }
    bool InternalColInfoStart(TZqPhysDataTableInfo &ATab) override
    {
        ATab.FSourceName = "FAKE";
        ATab.FSourceID = 1;
        FCol = 0;
        return true;
    }
    bool InternalColInfoGet(TZqPhysDataColumnInfo &ACol) override
    {
        if (FCol >= 2) return false;
        ++FCol;
        ACol.FSourceID = FCol;
        ACol.FSourceName = FCol == 1 ? "ID" : Script().UnnamedSecondColumn ? "" : "NAME";
        ACol.FType = FCol == 1 ? dtInt32 : dtAnsiString;
        ACol.FLen = FCol == 1 ? 0 : 20;
        ACol.FAttrs = TZqDataAttributes{caAllowNull, caSearchable};
        return true;
    }
    int InternalFetchRowSet(TZqDatSTable *ATable, void *, int ARowsetSize) override
    {
        if (GetMetaInfoKind() != 0) {
            int N = 0;
            for (; N < ARowsetSize && FPos < int(FMatches.size()); ++N, ++FPos) {
                dats::TZqDatSRow *R = ATable->NewRow();
                R->SetDataFromVariant(0, ATable->Rows()->Count() + 1);
                const auto &V = FMatches[size_t(FPos)]->Values;
                for (size_t I = 0; I < V.size(); ++I) R->SetDataFromVariant(int(I) + 1, V[I]);
                ATable->Rows()->Add(R);
            }
            return N;
        }
        FetchCalls().push_back(ARowsetSize);
        int N = std::min(ARowsetSize, Script().Rows - FPos);
        if (Script().ShortRowsetAt == FPos) N = std::min(N, 1);
        for (int I = 0; I < N; ++I) {
            dats::TZqDatSRow *R = ATable->NewRow();
            R->SetDataFromVariant(0, FPos + I + 1);
            R->SetDataFromVariant(1, std::string("row") + std::to_string(FPos + I + 1));
            ATable->Rows()->Add(R);
        }
        FPos += N;
        return N;
    }

private:
    // Whether a catalog row belongs to the object asked about, compared as
    // a catalog without case-sensitive names would.
    bool Matches(const TCatalogRow &ARow)
    {
        auto Text = [&](size_t AColumn) {
            return AColumn - 1 < ARow.Values.size() && !ARow.Values[AColumn - 1].IsNull()
                       ? ARow.Values[AColumn - 1].AsString()
                       : std::string();
        };
        auto Same = [&](size_t AColumn, const std::string &AName) {
            return AName.empty() || rtl::SameText(Text(AColumn), AName);
        };
        switch (GetMetaInfoKind()) {
        case 2: case 3: case 5: case 7: return Same(3, FName.FObject);
        case 4: case 8: return Same(3, FName.FBaseObject) && Same(4, FName.FObject);
        case 6: return Same(3, FName.FBaseObject);
        case 10: return Same(3, FName.FBaseObject);
        case 11: return Same(3, FName.FBaseObject) && Same(4, FName.FObject);
        default: return true;
        }
    }

    TZqPhysParsedName FName;
    std::vector<const TCatalogRow *> FMatches;
    int FPos = 0;
    int FCol = 0;
    std::atomic<bool> FAborted{false};
    std::map<int, int> FFailures;
};

class TConnection : public TZqPhysConnection {
public:
    using TZqPhysConnection::TZqPhysConnection;
    std::string ClassName() const override { return "TFakeConnection"; }

protected:
    void InternalConnect() override
    {
        if (Script().FailConnect) ZqRaiseError(nullptr, {"Phys", "Fake"}, 2, {std::string("cannot connect")});
        Log().push_back("connect");
    }
    void InternalDisconnect() override
    {
        if (Script().FailDisconnect) ZqRaiseError(nullptr, {"Phys", "Fake"}, 3, {std::string("link busy")});
        Log().push_back("disconnect");
    }
    IZqPhysConnectionMetadata *InternalCreateMetadata() override
    {
        switch (Script().Dialect) {
        case mkMSAccess: return new TZqPhysMSAccMetadata();
        case mkMSSQL: return new TZqPhysMSSQLMetadata();
        case mkDB2: return new TZqPhysDb2Metadata();
        default: return new TMeta();
        }
    }
    TZqPhysCommand *InternalCreateCommand() override { return new TCommand(); }
    void InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                        const TZqIntfPtr<IZqPhysCommand> &ACommand) override
    {
        AGen = ZqCreateCommandGenerator(ACommand);
    }
    void InternalTxBegin(int32_t) override { Log().push_back("begin"); }
    void InternalTxCommit(int32_t) override { Log().push_back("commit"); }
    void InternalTxRollback(int32_t) override { Log().push_back("rollback"); }
    void InternalTxSetSavepoint(const std::string &AName) override { Log().push_back("save:" + AName); }
    void InternalTxRollbackToSavepoint(const std::string &AName) override { Log().push_back("undo:" + AName); }
    void InternalTxCommitSavepoint(const std::string &AName) override { Log().push_back("release:" + AName); }
    void InternalTxChanged() override { Log().push_back("txchanged"); }
};

class TDriver : public TZqPhysDriver {
public:
    explicit TDriver(TZqPhysDriverHost *AHost) : TZqPhysDriver(AHost) { ++LiveDrivers(); }
    ~TDriver() override { --LiveDrivers(); }
};

const TZqPhysDriverClass CDriverClass{"FakeDrv", [](TZqPhysDriverHost *H) -> TZqPhysDriver * {
                                          return new TDriver(H);
                                      }};
const TZqPhysConnectionClass CConnClass{&CDriverClass,
                                        [](TZqPhysDriver *D, TZqPhysConnectionHost *H) -> TZqPhysConnection * {
                                            return new TConnection(D, H);
                                        }};

class TSilentCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

} // namespace

void Register(TZqPhysManager *AManager) { AManager->RegisterDriverClass(&CConnClass); }

void Services()
{
    // Once per registry, so that a test that restarts the registry leaves
    // the next one a filled registry again.
    static std::mutex Lock;
    static uint64_t Done = 0;
    std::lock_guard<std::mutex> G(Lock);
    ZqStanInitialize();
    if (Done == ZqManagerGeneration())
        return;
    Done = ZqManagerGeneration();
    ZqRegisterSingleton<TSilentCursor>(IID_IZqGUIxWaitCursor);
}

} // namespace fake
