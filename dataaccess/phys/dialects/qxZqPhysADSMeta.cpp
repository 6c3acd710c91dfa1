// qxZqPhysADSMeta: Advantage Database Server. Only IFNULL is translated.
#include "dataaccess/phys/dialects/qxZqPhysADSMeta.h"

std::string TZqPhysADSMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    if (E.FFunc == efIFNULL) return CaseWhen(E);
    Unsupported(E);
}

TZqPhysCommandKind TZqPhysADSMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    return AToken == "DECLARE" ? skExecute : skOther;
}
