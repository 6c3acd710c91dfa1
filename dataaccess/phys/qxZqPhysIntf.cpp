// qxZqPhysIntf: the free routines of the driver layer's vocabulary.
#include "dataaccess/phys/qxZqPhysIntf.h"

#include "dataaccess/stan/qxZqStanOption.h"

uint8_t FetchOptionsToFillRowOptions(const TZqFetchOptions *AOptions)
{
    if (!AOptions) return 7;
    uint8_t Result = 4;
    const TZqFetchItems Items = AOptions->Items();
    if (Items.Contains(fiBlobs)) Result |= 1;
    if (Items.Contains(fiDetails)) Result |= 2;
    return Result;
}

#include "dataaccess/stan/qxZqStanFactory.h"

void GetZqPhysManager(TZqIntfPtr<IZqPhysManager> &AManager)
{
    ZqCreateInterface(AManager, true);
}
