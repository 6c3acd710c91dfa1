// The command preprocessor over any text: the statement it hands on, or the
// library's error, under the station database's dialect and two others
// whose parameter markers and escapes differ.
#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"

#include <cstdlib>

#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

namespace {

bool MayTakeShortReading(const std::string &AText)
{
    static const std::string Acted("\0\r:!&{}^'\"()`[]", 15);
    if (AText.find_first_of(Acted) != std::string::npos) return false;
    for (const char *Opener : {"--", "-*", "/-", "/*"})
        if (AText.find(Opener) != std::string::npos) return false;
    return true;
}

} // namespace

// One reading of a text with every instruction on; false when the
// preprocessor refuses it with the library's error.
struct TReading {
    TZqParams Params;
    TZqMacros Macros, MacrosSource;
    TZqPhysPreprocessor P;

    bool Read(TZqPhysConnectionMetadata *AMeta, const std::string &AText)
    {
        P.ConnMetadata = AMeta;
        P.Params = &Params;
        P.Macros = &Macros;
        P.MacrosSource = &MacrosSource;
        P.Instrs = piParamCreate | piMacroCreate | piParamExpand | piMacroExpand | piEscapeExpand | piAnalyze;
        P.Source = AText;
        try {
            P.Execute();
        } catch (const rtl::Exception &) {
            return false;
        }
        return true;
    }
};

int FuzzPreprocessor(const uint8_t *AData, size_t ASize)
{
    const std::string Source(fuzz::Text(AData, ASize));
    for (const TZqRDBMSKind Kind : {mkMSAccess, mkOracle, mkMSSQL}) {
        TZqIntfPtr<TZqPhysConnectionMetadata> Meta = ZqCreateDialectMetadata(Kind);
        TReading First;
        if (!First.Read(Meta.Get(), Source)) continue;
        // A text handed on unchanged may have taken the short reading; a CR
        // behind it (which never reaches the output) forces the whole
        // scanner, and both must tell the same. Only a text with nothing the
        // scanner acts on can take the short reading: in any other a CR at
        // the end may close a comment or an escape left open, and the two
        // readings may rightly differ.
        const TZqPhysPreprocessor &P = First.P;
        if (P.Destination() != Source || !MayTakeShortReading(Source)) continue;
        TReading Second;
        if (!Second.Read(Meta.Get(), Source + "\r")) continue;
        const TZqPhysPreprocessor &Full = Second.P;
        if (Full.Destination() != P.Destination() || Full.CommandKind() != P.CommandKind() ||
            Full.FromObjectName() != P.FromObjectName() || Full.OrderByPos() != P.OrderByPos() ||
            Full.ValuesPos() != P.ValuesPos())
            std::abort(); // the two readings of one text must agree
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzPreprocessor)
