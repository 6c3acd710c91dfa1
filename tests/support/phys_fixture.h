// A manager of the test's own with the fake driver, an open connection and
// one command on it.
#pragma once

#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "tests/support/fake_driver.h"

class PhysFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        fake::Script() = fake::TScript();
        fake::Log().clear();
        fake::MetaLog().clear();
        fake::FetchCalls().clear();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        fake::Register(Mgr);
        Manager->Open();
        Manager->CreateConnection(std::string("DriverID=FakeDrv;Database=demo"), Conn);
        Conn->Open();
        Conn->CreateCommand(Cmd);
        Cmd->SetCommandText("SELECT ID, NAME FROM T");
        fake::Log().clear();
    }
    void TearDown() override
    {
        Cmd.Reset();
        Conn.Reset();
        Manager->Close(true);
        Manager.Reset();
    }
    TZqFetchOptions *Fetch() { return Cmd->GetOptions()->GetFetchOptions(); }
    TZqPhysConnection *ConnObj() { return dynamic_cast<TZqPhysConnection *>(Conn.Get()); }

    TZqPhysManager *Mgr = nullptr; // kept alive by Manager
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
    TZqIntfPtr<IZqPhysCommand> Cmd;
};

// The error code of what a call raised; 0 when it raised nothing.
template <typename F> int RaisedCode(F &&ACall)
{
    try {
        ACall();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}
