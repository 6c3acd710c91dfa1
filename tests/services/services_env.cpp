// Registers the services under test once, as the program's start-up does.
#include "tests/services/services_env.h"

#include "dataaccess/stan/qxZqStanInit.h"

void ZqServicesTestSetup() { ZqStanInitialize(); }
