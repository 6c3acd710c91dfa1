// qxZqPhysIntf: the free routines of the driver layer's vocabulary.
#include "dataaccess/phys/qxZqPhysIntf.h"

#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/SysUtils.h"

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

// ---- catalog views of a dialect without a catalog ----------------------------------

namespace {
[[noreturn]] void NoCatalog()
{
    ZqRaiseCapabilityNotSupported(nullptr, {"Phys"});
    throw rtl::EAbort();
}
} // namespace

std::string IZqPhysConnectionMetadata::GetMetaInfoTableName(TZqPhysMetaInfoKind) { NoCatalog(); }
void IZqPhysConnectionMetadata::DefineMetaInfoTable(TZqPhysMetaInfoKind, TZqDatSTable *) { NoCatalog(); }
TZqPhysMetaView IZqPhysConnectionMetadata::GetTables(const std::string &, const std::string &, const std::string &,
                                                     uint8_t, uint8_t)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetTableFields(const std::string &, const std::string &,
                                                          const std::string &, const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetIndexes(const std::string &, const std::string &, const std::string &,
                                                      const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetIndexFields(const std::string &, const std::string &,
                                                          const std::string &, const std::string &,
                                                          const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetPrimaryKey(const std::string &, const std::string &,
                                                         const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetPrimaryKeyFields(const std::string &, const std::string &,
                                                               const std::string &, const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetPackages(const std::string &, const std::string &,
                                                       const std::string &, uint8_t)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetPackageProcs(const std::string &, const std::string &,
                                                           const std::string &, const std::string &)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetProcs(const std::string &, const std::string &, const std::string &,
                                                    uint8_t)
{
    NoCatalog();
}
TZqPhysMetaView IZqPhysConnectionMetadata::GetProcArgs(const std::string &, const std::string &,
                                                       const std::string &, const std::string &, uint16_t,
                                                       const std::string &)
{
    NoCatalog();
}
