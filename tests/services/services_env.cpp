// Registers the services under test once, as the program's start-up does.
#include "tests/services/services_env.h"

#include <mutex>

#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanFactory.h"

void ZqServicesTestSetup()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        ZqStartupManager();
        RegisterStanDef();
        RegisterStanConnDef();
    });
}
