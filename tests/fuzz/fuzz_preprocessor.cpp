// The command preprocessor over any text: the statement it hands on, or the
// library's error, under the station database's dialect and two others
// whose parameter markers and escapes differ.
#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzPreprocessor(const uint8_t *AData, size_t ASize)
{
    const std::string Source(fuzz::Text(AData, ASize));
    for (const TZqRDBMSKind Kind : {mkMSAccess, mkOracle, mkMSSQL}) {
        TZqIntfPtr<TZqPhysConnectionMetadata> Meta = ZqCreateDialectMetadata(Kind);
        TZqParams Params;
        TZqMacros Macros, Source2;
        TZqPhysPreprocessor P;
        P.ConnMetadata = Meta.Get();
        P.Params = &Params;
        P.Macros = &Macros;
        P.MacrosSource = &Source2;
        P.Instrs = piParamCreate | piMacroCreate | piParamExpand | piMacroExpand | piEscapeExpand | piAnalyze;
        P.Source = Source;
        try {
            P.Execute();
        } catch (const rtl::Exception &) {
            continue;
        }
        (void)P.Destination();
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzPreprocessor)
