// Services and fixture of the client-component tests (see client_fixture.h).
#include "tests/comp_client/client_fixture.h"

#include <mutex>

#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"

namespace client_test {

TLoginScript &LoginScript()
{
    static TLoginScript S;
    return S;
}

namespace {

class TScriptedDialog : public TZqObject, public virtual IZqGUIxLoginDialog {
public:
    void SetConnectionDef(const TZqIntfPtr<IZqStanConnectionDef> &ADef) override { FDef = ADef; }
    bool Execute(const std::function<void()> &AConnect) override
    {
        TLoginScript &S = LoginScript();
        ++S.Executions;
        S.HadDefinition = bool(FDef);
        if (!S.Proceed) return false;
        if (FDef && !S.TypedPassword.empty()) FDef->SetPassword(S.TypedPassword);
        AConnect();
        return true;
    }

private:
    TZqIntfPtr<IZqStanConnectionDef> FDef;
};

class TScriptedProvider : public TZqObject, public virtual IZqGUIxLoginDialogProvider {
public:
    TZqIntfPtr<IZqGUIxLoginDialog> GetLoginDialog() override
    {
        if (!LoginScript().Offer) return {};
        return TZqIntfPtr<IZqGUIxLoginDialog>(new TScriptedDialog());
    }
};

TZqPhysManager *PhysManager()
{
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    return dynamic_cast<TZqPhysManager *>(M.Get());
}

} // namespace

void Services()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        ZqStanInitialize();
        RegisterPhysManager();
        RegisterGUIxFormsWait();
        ZqRegisterSingleton<TScriptedProvider>(IID_IZqGUIxLoginService);
        fake::Register(PhysManager());
        ZqPhysMSAccRegister();
    });
}

TZqIntfPtr<IZqStanConnectionDef> AddDefinition(const std::string &AName, const std::string &ADriverID, bool APooled)
{
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    TZqIntfPtr<IZqStanConnectionDef> D = M->ConnectionDefs()->AddConnectionDef();
    D->SetName(AName);
    D->SetDriverID(ADriverID);
    D->SetDatabase("demo");
    if (APooled) D->SetPooled(true);
    return D;
}

} // namespace client_test

void ClientFixture::SetUp()
{
    client_test::Services();
    fake::Script() = fake::TScript();
    fake::Log().clear();
    client_test::LoginScript() = client_test::TLoginScript();
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    M->ConnectionDefs()->SetAutoLoad(false);
    M->ConnectionDefs()->Clear();
}

void ClientFixture::TearDown()
{
    delete ZqCurrentManager();
    ZqGUISilent = false;
    TZqIntfPtr<IZqPhysManager> M;
    GetZqPhysManager(M);
    if (M->GetState() != 0) M->Close(true);
    M->ConnectionDefs()->Clear();
}

std::unique_ptr<TZqConnection> ClientFixture::FakeConnection(const std::string &AName)
{
    auto C = std::make_unique<TZqConnection>();
    if (!AName.empty()) C->SetConnectionName(AName);
    C->Params().Clear();
    C->Params().Add("DriverID=FakeDrv");
    C->Params().Add("Database=demo");
    return C;
}

std::unique_ptr<TZqCommand> ClientFixture::CommandOn(TZqCustomConnection *AConnection, const std::string &ASQL)
{
    auto C = std::make_unique<TZqCommand>();
    C->SetConnection(AConnection);
    C->CommandText().Add(ASQL);
    return C;
}
