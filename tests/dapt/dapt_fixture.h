// A connection over the adapter tests' driver and helpers to make adapters
// on it, shared by the journal and schema adapter tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "tests/dapt/dapt_fake.h"
#include "tests/support/fake_driver.h"

class DaptConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Services();
        ZqDAptInitialize();
        daptfake::Script() = daptfake::TScript();
        daptfake::Log().clear();
        Mgr = new TZqPhysManager();
        Manager = TZqIntfPtr<IZqPhysManager>(static_cast<IZqPhysManager *>(Mgr));
        daptfake::Register(Mgr);
        Manager->Open();
        Manager->CreateConnection(std::string("DriverID=DaptDrv;Database=demo"), Conn);
        Conn->Open();
    }
    void TearDown() override
    {
        Conn.Reset();
        Manager->Close(true);
        Manager.Reset();
    }
    // A select command over the scripted table; row posts are not re-read
    // and rely on the server for locking unless a test says otherwise.
    TZqIntfPtr<IZqPhysCommand> NewSelect()
    {
        TZqIntfPtr<IZqPhysCommand> C;
        Conn->CreateCommand(C);
        C->SetCommandText("SELECT ID, NAME FROM T");
        TZqUpdateOptions *U = C->GetOptions()->GetUpdateOptions();
        U->SetRefreshMode(rmManual);
        U->SetLockMode(lmRely);
        return C;
    }
    // Defines and fills the adapter's table, then forgets the statements.
    static dats::TZqDatSTable *Load(IZqDAptTableAdapter *A)
    {
        dats::TZqDatSTable *T = A->Define();
        A->GetSelectCommand()->Open();
        A->Fetch(true);
        daptfake::Log().clear();
        return T;
    }
    static dats::TZqDatSRow *Row(dats::TZqDatSTable *T, int AIndex) { return T->Rows()->GetItem(AIndex); }
    static void Edit(dats::TZqDatSRow *R, const std::string &AName)
    {
        R->BeginEdit();
        R->SetDataFromVariant(1, AName);
        R->EndEdit();
    }
    static dats::TZqDatSRow *Insert(dats::TZqDatSTable *T, int AID, const std::string &AName)
    {
        dats::TZqDatSRow *R = T->NewRow();
        R->SetDataFromVariant(0, AID);
        R->SetDataFromVariant(1, AName);
        T->Rows()->Add(R);
        return R;
    }
    // The executed statements, each cut at its first blank after the verb.
    static std::vector<std::string> Verbs()
    {
        std::vector<std::string> V;
        for (const std::string &L : daptfake::Log()) V.push_back(L.substr(0, L.find(' ')));
        return V;
    }

    TZqPhysManager *Mgr = nullptr;
    TZqIntfPtr<IZqPhysManager> Manager;
    TZqIntfPtr<IZqPhysConnection> Conn;
};
