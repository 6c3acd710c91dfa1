// The services test suite's start-up and shared helpers.
#pragma once

#include <functional>

#include "dataaccess/stan/qxZqStanError.h"

// The registry with the services layer's units registered, as the
// program's start-up does.
void ZqServicesTestSetup();

// The library error code that AAction raises, 0 when it raises none.
inline int CodeOf(const std::function<void()> &AAction)
{
    try {
        AAction();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}
