// qxZqDatSIntf: raising the in-memory tables' errors.
#include "dataaccess/dats/qxZqDatSIntf.h"

#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/SysUtils.h"

namespace dats {

void DatSError(int ACode) {
    ZqRaiseError(nullptr, {"DatS"}, ACode, {});
    throw EZqException(ACode, "");
}

void DatSError(int ACode, const std::string &AArg) {
    ZqRaiseError(nullptr, {"DatS"}, ACode, {rtl::Variant(AArg)});
    throw EZqException(ACode, "");
}

void DatSError(int ACode, const std::string &AArg, int64_t AN1, int64_t AN2) {
    ZqRaiseError(nullptr, {"DatS"}, ACode, {rtl::Variant(AArg), rtl::Variant(AN1), rtl::Variant(AN2)});
    throw EZqException(ACode, "");
}

void DatSError(int ACode, const std::string &AArg1, const std::string &AArg2, const std::string &AArg3) {
    ZqRaiseError(nullptr, {"DatS"}, ACode, {rtl::Variant(AArg1), rtl::Variant(AArg2), rtl::Variant(AArg3)});
    throw EZqException(ACode, "");
}

void DatSAssertFailed(const char *AFile, int ALine) {
    rtl::Assert(false, AFile, ALine);
    throw rtl::Exception("Assertion failure");
}

} // namespace dats
