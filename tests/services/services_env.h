// The services test suite's start-up: the registry with the units under
// test registered once for the whole process.
#pragma once

void ZqServicesTestSetup();
