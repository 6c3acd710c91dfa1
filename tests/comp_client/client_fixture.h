// The client components over the fake driver of the driver-layer tests,
// registered with the process's one driver manager. Each test starts from
// no manager component at all and ends by freeing what it made, so that the
// automatic manager and its connection registry start empty every time.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "tests/support/fake_driver.h"

namespace client_test {

// Starts the services once: factories, the driver manager, the real wait
// cursor, the fake driver and the Access driver, and a login-dialog
// provider that offers the dialog a test puts into LoginScript().
void Services();

// The dialog the provider hands out (nil: the provider offers none).
struct TLoginScript {
    bool Offer = false;
    bool Proceed = true;           // what Execute answers
    std::string TypedPassword;     // written into the definition before connecting
    int Executions = 0;
    bool HadDefinition = false;    // the dialog held the definition while it ran
};
TLoginScript &LoginScript();

// The error code and message of what a call raised; 0 and "" when nothing.
struct TRaised {
    int Code = 0;
    std::string Message;
};
template <typename F> TRaised Raised(F &&ACall)
{
    try {
        ACall();
    } catch (const EZqException &E) {
        return {E.ErrorCode(), E.Message()};
    }
    return {};
}

// A named definition of the driver manager's list.
TZqIntfPtr<IZqStanConnectionDef> AddDefinition(const std::string &AName, const std::string &ADriverID,
                                               bool APooled = false);

} // namespace client_test

class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connection on the fake driver, from the two parameter lines.
    std::unique_ptr<TZqConnection> FakeConnection(const std::string &AName = "");
    std::unique_ptr<TZqCommand> CommandOn(TZqCustomConnection *AConnection, const std::string &ASQL);
    std::string Log() { return fake::LogText(); }
};
