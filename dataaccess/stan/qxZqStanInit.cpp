// qxZqStanInit: the layer's explicit registrations. A unit that registers
// factories adds its Register...() call here, in unit order: static
// registration objects would be dropped by the linker from a static library.
#include "dataaccess/stan/qxZqStanInit.h"

#include <mutex>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanPool.h"

void ZqStanInitialize()
{
    static std::mutex Lock;
    static uint64_t Done = 0;
    std::lock_guard<std::mutex> G(Lock);
    ZqStartupManager();
    // Once per registry: a registry started anew (tests) is filled again.
    const uint64_t Current = ZqManagerGeneration();
    if (Done == Current) return;
    Done = Current;
    RegisterStanDef();
    RegisterStanConnDef();
    RegisterStanAsync();
    RegisterStanPool();
    RegisterStanExpr();
}
