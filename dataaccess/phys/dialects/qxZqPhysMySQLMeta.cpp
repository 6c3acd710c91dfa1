// qxZqPhysMySQLMeta: MySQL.
#include "dataaccess/phys/dialects/qxZqPhysMySQLMeta.h"

#include "platform/rtl/SysUtils.h"

namespace {
constexpr int32_t MySQL4 = 400000000;
constexpr int32_t MySQL5 = 500000000;
} // namespace

std::string TZqPhysMySQLMetadata::FormatBoolean(const std::string &AValue) { return "'" + AValue + "'"; }
std::string TZqPhysMySQLMetadata::FormatDate(const std::string &AValue)
{
    return FServerVersion < MySQL4 ? "'" + AValue + "'" : "CAST('" + AValue + "' AS DATE)";
}
std::string TZqPhysMySQLMetadata::FormatTime(const std::string &AValue)
{
    return FServerVersion < MySQL4 ? "'" + AValue + "'" : "CAST('" + AValue + "' AS TIME)";
}
std::string TZqPhysMySQLMetadata::FormatDateTime(const std::string &AValue)
{
    return FServerVersion < MySQL4 ? "'" + AValue + "'" : "CAST('" + AValue + "' AS DATETIME)";
}
std::string TZqPhysMySQLMetadata::FormatLikeEscape(char AEscape, const std::string &APattern)
{
    // MySQL reads a backslash inside a string literal as an escape itself.
    if (AEscape == '\\') return APattern + " ESCAPE '\\\\'";
    return TZqPhysConnectionMetadata::FormatLikeEscape(AEscape, APattern);
}

std::string TZqPhysMySQLMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1), A3 = Arg(E, 2);
    switch (E.FFunc) {
    case efROUND:
    case efTRUNCATE: return E.FArgs.size() >= 2 ? Call(E.FName, E) : E.FName + "(" + A1 + ", 0)";
    case efDECODE: return Decode(E);
    case efBIT_LENGTH: return "(LENGTH(" + A1 + ") * 8)";
    case efDIFFERENCE: return "(SOUNDEX(" + A1 + ") - SOUNDEX(" + A2 + "))";
    case efLENGTH: return "LENGTH(RTRIM(" + A1 + "))";
    case efPOSITION: return "POSITION(" + A1 + " IN " + A2 + ")";
    case efRANDOM: return Call("RAND", E);
    case efEXTRACT: return E.FName + "(" + A1 + " FROM " + A2 + ")";
    case efTIMESTAMPADD: {
        if (FServerVersion >= MySQL5) return Call(E.FName, E);
        std::string Unit = rtl::Trim(Dequote(rtl::Trim(A1), '\'', '\''));
        std::string Count = A2;
        if (rtl::SameText(Unit, "week")) {
            Count = A2 + " * 7";
            Unit = "DAY";
        }
        return "DATE_ADD(" + A3 + ", INTERVAL " + Count + " " + Unit + ")";
    }
    case efTIMESTAMPDIFF:
        if (FServerVersion < MySQL5) Unsupported(E);
        return Call(E.FName, E);
    case efWEEK: return "(WEEK(" + A1 + ") + 1)";
    case efCATALOG: return "DATABASE()";
    case efSCHEMA: return "''";
    case efIF: return CaseWhen(E);
    case efCONVERT: return FServerVersion >= MySQL4 ? Call(E.FName, E) : A1;
    default:
        // 0-10, 12-15, 18-20, 22-24, 26, 27, 29-44, 47-53, 55-60, 64, 67
        if (E.FFunc <= efPOWER || (E.FFunc >= efSIGN && E.FFunc <= efTAN) ||
            (E.FFunc >= efCHAR && E.FFunc <= efCONCAT) || (E.FFunc >= efINSERT && E.FFunc <= efLEFT) ||
            E.FFunc == efLOCATE || E.FFunc == efOCTET_LENGTH || (E.FFunc >= efREPEAT && E.FFunc <= efRADIANS) ||
            (E.FFunc >= efCURDATE && E.FFunc <= efDAYOFYEAR) || (E.FFunc >= efHOUR && E.FFunc <= efSECOND) ||
            E.FFunc == efYEAR || E.FFunc == efIFNULL)
            return Call(E.FName, E);
        Unsupported(E);
    }
}

TZqPhysCommandKind TZqPhysMySQLMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    if (AToken == "SHOW" || AToken == "EXPLAIN") return skSelect;
    return AToken == "CALL" ? skExecute : skOther;
}
