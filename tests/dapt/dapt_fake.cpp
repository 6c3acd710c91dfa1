// The adapter tests' driver: see dapt_fake.h.
#include "tests/dapt/dapt_fake.h"

#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"

namespace daptfake {

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

namespace {

class TCommand : public TZqPhysCommand {
public:
    std::string ClassName() const override { return "TDaptFakeCommand"; }

protected:
    void InternalPrepare() override {}
    void InternalUnprepare() override {}
    bool InternalOpen() override
    {
        Log().push_back("open:" + GetCommandText());
        FPos = 0;
        // A statement with a parameter of the key reads that row only.
        FKey = -1;
        for (int I = 0; I < GetParams()->Count(); ++I) {
            const std::string &N = GetParams()->Items(I)->Name();
            if (N.size() >= 2 && N.compare(N.size() - 2, 2, "ID") == 0) FKey = GetParams()->Items(I)->Value().AsInteger();
        }
        return true;
    }
    bool InternalNextRecordSet() override { return false; }
    void InternalClose() override {}
    void InternalExecute(int, int, int &ACount) override
    {
        std::string Line = "exec:" + GetCommandText();
        for (int I = 0; I < GetParams()->Count(); ++I) {
            TZqParam *P = GetParams()->Items(I);
            Line += "|" + P->Name() + "=" + (P->Value().IsNull() ? std::string("NULL") : P->Value().AsString());
        }
        Log().push_back(Line);
        for (int I = 0; I < GetParams()->Count(); ++I) {
            TZqParam *P = GetParams()->Items(I);
            const std::string &N = P->Name();
            if (N.size() >= 2 && N.compare(N.size() - 2, 2, "ID") == 0 && !P->Value().IsNull() &&
                Script().FailKeys.count(P->Value().AsInteger()))
                throw EZqDBEngineException(Script().FailCode, "[Vexa][Phys][Fake]-" +
                                                                  std::to_string(Script().FailCode) + ". key violation");
        }
        ACount = Script().Affected;
    }
    bool InternalColInfoStart(TZqPhysDataTableInfo &ATab) override
    {
        ATab.FSourceName = "T";
        ATab.FSourceID = 0;
        FCol = 0;
        return true;
    }
    bool InternalColInfoGet(TZqPhysDataColumnInfo &ACol) override
    {
        if (FCol >= 2) return false;
        ++FCol;
        ACol.FSourceID = FCol;
        ACol.FSourceName = FCol == 1 ? "ID" : "NAME";
        ACol.FOriginName = ACol.FSourceName;
        ACol.FType = FCol == 1 ? dtInt32 : dtAnsiString;
        ACol.FLen = FCol == 1 ? 0 : 20;
        ACol.FAttrs = TZqDataAttributes{caAllowNull};
        ACol.FAttrs.Include(caSearchable);
        ACol.FForceAddOpts.Include(coInUpdate).Include(coInWhere);
        if (FCol == 1) ACol.FForceAddOpts.Include(coInKey);
        if (FCol == 2 && Script().NameHasDefault) ACol.FAttrs.Include(caDefault);
        return true;
    }
    int InternalFetchRowSet(TZqDatSTable *ATable, void *, int ARowsetSize) override
    {
        int N = 0;
        for (; N < ARowsetSize && FPos < int(Script().Rows.size()); ++FPos) {
            if (FKey >= 0 && Script().Rows[size_t(FPos)].first != FKey) continue;
            ++N;
            dats::TZqDatSRow *R = ATable->NewRow();
            int Col = 0;
            for (int I = 0; I < ATable->Columns()->Count(); ++I) {
                const std::string &Name = ATable->Columns()->GetItem(I)->SourceName();
                if (Name == "ID") R->SetDataFromVariant(I, Script().Rows[size_t(FPos)].first);
                else if (Name == "NAME") R->SetDataFromVariant(I, Script().Rows[size_t(FPos)].second);
                ++Col;
            }
            ATable->Rows()->Add(R);
        }
        return N;
    }

private:
    int FPos = 0;
    int FCol = 0;
    int FKey = -1;
};

class TConnection : public TZqPhysConnection {
public:
    using TZqPhysConnection::TZqPhysConnection;
    std::string ClassName() const override { return "TDaptFakeConnection"; }

protected:
    void InternalConnect() override {}
    void InternalDisconnect() override {}
    IZqPhysConnectionMetadata *InternalCreateMetadata() override { return new TZqPhysConnectionMetadata(); }
    TZqPhysCommand *InternalCreateCommand() override { return new TCommand(); }
    void InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                        const TZqIntfPtr<IZqPhysCommand> &ACommand) override
    {
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        CreateMetadata(Meta);
        AGen = TZqIntfPtr<IZqPhysCommandGenerator>(
            new TZqPhysCommandGenerator(Meta, ACommand ? ACommand->GetOptions() : nullptr, ACommand.Get()));
    }
    void InternalTxBegin(int32_t) override { Log().push_back("begin"); }
    void InternalTxCommit(int32_t) override { Log().push_back("commit"); }
    void InternalTxRollback(int32_t) override { Log().push_back("rollback"); }
    void InternalTxSetSavepoint(const std::string &) override {}
    void InternalTxRollbackToSavepoint(const std::string &) override {}
    void InternalTxCommitSavepoint(const std::string &) override {}
    void InternalTxChanged() override {}
};

class TDriver : public TZqPhysDriver {
public:
    using TZqPhysDriver::TZqPhysDriver;
};

const TZqPhysDriverClass CDriverClass{"DaptDrv", [](TZqPhysDriverHost *H) -> TZqPhysDriver * {
                                          return new TDriver(H);
                                      }};
const TZqPhysConnectionClass CConnClass{&CDriverClass,
                                        [](TZqPhysDriver *D, TZqPhysConnectionHost *H) -> TZqPhysConnection * {
                                            return new TConnection(D, H);
                                        }};

} // namespace

void Register(TZqPhysManager *AManager) { AManager->RegisterDriverClass(&CConnClass); }

} // namespace daptfake
